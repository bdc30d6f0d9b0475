#pragma once

#include <string>
#include <string_view>

namespace hsc::cli {

// The version of the objects --json prints; raised when a member changes its meaning or
// goes away (new members do not raise it).
inline constexpr int JSON_SCHEMA = 1;

// A JSON string literal, quotes included. Bytes that are not valid UTF-8 (file names
// may hold any bytes) become U+FFFD so the output always parses.
std::string json_string(std::string_view text);

}  // namespace hsc::cli
