#include "password_input.h"

#include "core/secret.h"

#include <fstream>
#include <iostream>

#include "os/file.h"
#include "os/terminal.h"

namespace hsc::cli {
namespace {

void drop_line_end(std::string& line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
}

// A password is at most 31 bytes in CP932, so a first line of this many bytes is no
// password: a device such as /dev/zero is not read without end.
constexpr std::size_t PASSWORD_LINE_MAX = 1024;

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
    } else if (std::ifstream in(os::u8_path(path), std::ios::binary); in) {
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
    os::Terminal tty;
    if (!tty.is_open()) {
        message = say(lang, Msg::password_no_terminal);
        return false;
    }
    std::string first, second;
    const WipeOnExit wipe_first(first), wipe_second(second);
    bool ok = tty.read_hidden(message_template(lang, Msg::password_prompt), PASSWORD_LINE_MAX, first);
    if (ok && confirm) ok = tty.read_hidden(message_template(lang, Msg::password_prompt_again), PASSWORD_LINE_MAX, second);

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
