#include "password_input.h"

#include <cstdio>
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

// One line from the terminal with echo off; echo is restored on every path. Echo goes
// off before the prompt shows, and nothing typed after the prompt is discarded.
bool read_hidden(int tty, std::string_view prompt, std::string& line) {
    termios old{};
    const bool have_termios = ::tcgetattr(tty, &old) == 0;
    if (have_termios) {
        termios quiet = old;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        ::tcsetattr(tty, TCSANOW, &quiet);
    }
    if (::write(tty, prompt.data(), prompt.size()) < 0) {
        if (have_termios) ::tcsetattr(tty, TCSANOW, &old);
        return false;
    }
    line.clear();
    char c;
    bool got_end = false;
    while (::read(tty, &c, 1) == 1) {
        if (c == '\n') {
            got_end = true;
            break;
        }
        line += c;
    }
    if (have_termios) ::tcsetattr(tty, TCSANOW, &old);
    drop_line_end(line);
    return got_end || !line.empty();
}

}  // namespace

bool read_password_file(const std::string& path, Lang lang, std::string& password, std::string& message) {
    std::string line;
    if (path == "-") {
        if (!std::getline(std::cin, line)) {
            message = say(lang, Msg::password_stdin_unreadable);
            return false;
        }
    } else {
        std::ifstream in(path, std::ios::binary);
        if (!in || !std::getline(in, line)) {
            message = say(lang, Msg::password_file_unreadable, {path});
            return false;
        }
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
