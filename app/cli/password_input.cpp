#include "password_input.h"

#include "core/secret.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <iterator>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <termios.h>
#include <unistd.h>

namespace hsc::cli {
namespace {

void drop_line_end(std::string& line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
}

// A password is at most 31 bytes in CP932, so a first line of this many bytes is no
// password: a device such as /dev/zero is not read without end.
constexpr std::size_t PASSWORD_LINE_MAX = 1024;

// The terminal while echo is off, for the signal handlers: a signal at the prompt must
// not leave the shell without echo. A handler can reach only static data; this holds
// nothing but the terminal's own settings, and only while the prompt stands.
int g_prompt_tty = -1;
termios g_prompt_saved{};
constexpr int PROMPT_STOP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

extern "C" void restore_echo_and_stop(int sig) {
    const int saved = errno;
    if (g_prompt_tty >= 0) ::tcsetattr(g_prompt_tty, TCSANOW, &g_prompt_saved);
    // Then die of the signal as if it had not been caught (it is delivered on return).
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    ::sigaction(sig, &dfl, nullptr);
    ::raise(sig);
    errno = saved;
}

// Echo off for its lifetime, and back on at its end or at any signal that stops the
// program; Ctrl-Z is ignored meanwhile, as a stopped prompt would come back without echo.
class EchoOff {
public:
    explicit EchoOff(int tty) {
        if (::tcgetattr(tty, &g_prompt_saved) != 0) return;
        struct sigaction act {};
        act.sa_handler = restore_echo_and_stop;
        ::sigemptyset(&act.sa_mask);
        for (int sig : PROMPT_STOP_SIGNALS) ::sigaddset(&act.sa_mask, sig);
        for (std::size_t i = 0; i < std::size(PROMPT_STOP_SIGNALS); ++i)
            ::sigaction(PROMPT_STOP_SIGNALS[i], &act, &previous_[i]);
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGTSTP, &ignore, &previous_tstp_);
        g_prompt_tty = tty;
        termios quiet = g_prompt_saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        ::tcsetattr(tty, TCSANOW, &quiet);
        active_ = true;
    }
    ~EchoOff() {
        if (!active_) return;
        ::tcsetattr(g_prompt_tty, TCSANOW, &g_prompt_saved);
        g_prompt_tty = -1;
        for (std::size_t i = 0; i < std::size(PROMPT_STOP_SIGNALS); ++i)
            ::sigaction(PROMPT_STOP_SIGNALS[i], &previous_[i], nullptr);
        ::sigaction(SIGTSTP, &previous_tstp_, nullptr);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    bool active_ = false;
    struct sigaction previous_[std::size(PROMPT_STOP_SIGNALS)] {};
    struct sigaction previous_tstp_ {};
};

// One line from the terminal with echo off. Echo goes off before the prompt shows, and
// nothing typed after the prompt is discarded. A line longer than any password is
// refused (false), though read to its end.
bool read_hidden(int tty, std::string_view prompt, std::string& line) {
    const EchoOff quiet(tty);
    if (::write(tty, prompt.data(), prompt.size()) < 0) return false;
    line.clear();
    char c;
    bool got_end = false, too_long = false;
    while (::read(tty, &c, 1) == 1) {
        if (c == '\n') {
            got_end = true;
            break;
        }
        if (line.size() == PASSWORD_LINE_MAX) too_long = true;
        else line += c;
    }
    drop_line_end(line);
    return !too_long && (got_end || !line.empty());
}

enum class LineRead { ok, unreadable, too_long };

// The first line of `in`, read byte by byte up to PASSWORD_LINE_MAX.
LineRead first_line(std::istream& in, std::string& line) {
    line.clear();
    for (char c; in.get(c);) {
        if (c == '\n') return LineRead::ok;
        if (line.size() == PASSWORD_LINE_MAX) return LineRead::too_long;
        line += c;
    }
    return line.empty() ? LineRead::unreadable : LineRead::ok;
}

}  // namespace

bool read_password_file(const std::string& path, Lang lang, std::string& password, std::string& message) {
    std::string line;
    const WipeOnExit wipe_line(line);
    LineRead read = LineRead::unreadable;
    if (path == "-") {
        read = first_line(std::cin, line);
    } else if (std::ifstream in(path, std::ios::binary); in) {
        read = first_line(in, line);
    }
    if (read == LineRead::too_long) {
        message = say(lang, Msg::password_file_too_long, {path == "-" ? "-" : path, std::to_string(PASSWORD_LINE_MAX)});
        return false;
    }
    if (read == LineRead::unreadable) {
        message = path == "-" ? say(lang, Msg::password_stdin_unreadable) : say(lang, Msg::password_file_unreadable, {path});
        return false;
    }
    drop_line_end(line);
    if (line.empty()) {
        message = say(lang, Msg::password_file_empty, {path});
        return false;
    }
    password = line;
    return true;
}

bool ask_password(bool confirm, Lang lang, std::string& password, std::string& message) {
    int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (tty < 0) {
        message = say(lang, Msg::password_no_terminal);
        return false;
    }
    std::string first, second;
    const WipeOnExit wipe_first(first), wipe_second(second);
    bool ok = read_hidden(tty, message_template(lang, Msg::password_prompt), first);
    if (ok && confirm) ok = read_hidden(tty, message_template(lang, Msg::password_prompt_again), second);
    ::close(tty);
    if (!ok) {
        message = say(lang, Msg::password_not_typed);
        return false;
    }
    if (confirm && first != second) {
        message = say(lang, Msg::password_confirm_differs);
        return false;
    }
    if (first.empty()) {
        message = say(lang, Msg::password_empty);
        return false;
    }
    password = first;
    return true;
}

}  // namespace hsc::cli
