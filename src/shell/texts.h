#pragma once

#include <array>
#include <string>
#include <string_view>

namespace hsc {

inline constexpr std::string_view APP_NAME = "Hushcel";
inline constexpr std::string_view APP_VERSION = HUSHCEL_VERSION;  // the project version of the build
// Third line of the version box.
inline constexpr std::string_view APP_THIRD_LINE = "Copyright (C) KESTRIL";

// The built-in help: its lines joined by CR LF, with a CR LF after the last.
extern const std::string_view hsc_help_text;

// "Hushcel                 \r\nversion : 2.0.0.0\r\n<third line>\r\n"
std::string hsc_version_text(std::string_view third_line);

// Items of the drop-down lists, in order; the indices are the settings' values.
inline constexpr std::array<std::string_view, 3> STRENGTH_ITEMS = {"強", "中", "弱"};
inline constexpr std::array<std::string_view, 4> KANJI_MASK_ITEMS = {"●", "■", "※", "なし"};
inline constexpr std::array<std::string_view, 3> ALPHA_MASK_ITEMS = {"*", "X", "なし"};
inline constexpr std::array<std::string_view, 3> DIGIT_MASK_ITEMS = {"9", "0", "なし"};
inline constexpr std::array<std::string_view, 3> WCHAR_MASK_ITEMS = {"×", "¤", "なし"};

}  // namespace hsc
