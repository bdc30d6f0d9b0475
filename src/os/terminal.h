#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace hsc::os {

// The process's terminal or console itself, not its standard streams (which may be
// redirected): where a password is typed without echo.
class Terminal {
public:
    Terminal();
    ~Terminal();
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    bool is_open() const { return tty_ >= 0; }

    // Shows the prompt and reads one line with echo off. Echo goes off before the prompt
    // shows, nothing typed after the prompt is discarded, and echo comes back at the end
    // or at any signal (console event) that stops the program. The line comes without
    // its end, as UTF-8. A line longer than max bytes is refused (false), though read to
    // its end; false also when nothing could be read.
    bool read_hidden(std::string_view prompt, std::size_t max, std::string& line);

private:
    std::intptr_t tty_ = -1;  // a descriptor (POSIX) or the console's input handle (Windows)
};

}  // namespace hsc::os
