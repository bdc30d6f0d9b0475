#include "os/terminal.h"

#include <fcntl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <iterator>

namespace hsc::os {
namespace {

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

}  // namespace

Terminal::Terminal() : tty_(::open("/dev/tty", O_RDWR | O_CLOEXEC)) {}

Terminal::~Terminal() {
    if (tty_ >= 0) ::close(static_cast<int>(tty_));
}

bool Terminal::read_hidden(std::string_view prompt, std::size_t max, std::string& line) {
    if (tty_ < 0) return false;
    const int tty = static_cast<int>(tty_);
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
        if (line.size() == max) too_long = true;
        else line += c;
    }
    while (!line.empty() && line.back() == '\r') line.pop_back();
    return !too_long && (got_end || !line.empty());
}


}  // namespace hsc::os
