#pragma once

#include <string>
#include <string_view>

// The Japanese ANSI code page (CP932, Microsoft's Shift-JIS): the system's own tables,
// so that the bytes match what Windows programs make of the same text.
namespace hsc::os {

// Whole-text conversions; false on any character without a form in the target.
bool utf8_to_cp932(std::string_view utf8, std::string& out);
bool cp932_to_utf8(std::string_view cp932, std::string& out);

}  // namespace hsc::os
