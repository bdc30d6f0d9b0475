#pragma once

#include <string>
#include <string_view>

namespace hsc {

// A text from a file (a name, a hint, a path) as it may go to a terminal: every control
// character would reach it as a command (a title change, a cleared screen), so each is
// written out instead. C0 characters, DEL and bytes that are not UTF-8 become "\x1b";
// C1 characters and the bidirectional overrides, which reorder what is shown, become
// "\u009b". Everything else stays as it is.
// With `keep_line_breaks` a line feed stays one: for texts of several lines of our own,
// whose names from files were made visible before they went in.
std::string visible_controls(std::string_view text, bool keep_line_breaks = false);

}  // namespace hsc
