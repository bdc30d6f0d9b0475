#pragma once

#include <array>
#include <string>
#include <string_view>

#include "core/catalog.h"

namespace hsc {

inline constexpr std::string_view APP_NAME = "Hushcel";
inline constexpr std::string_view APP_VERSION = HUSHCEL_VERSION;  // the project version of the build
// Third line of the version box.
inline constexpr std::string_view APP_THIRD_LINE = "Copyright (C) KESTRIL";

// The built-in help in `lang`: its lines joined by CR LF, with a CR LF after the last.
std::string help_text(Lang lang);
// The Japanese built-in help.
extern const std::string hsc_help_text;

// "Hushcel                 \r\nversion : 2.0.0.0\r\n<third line>\r\n"
std::string hsc_version_text(std::string_view third_line);

// Items of the drop-down lists in `lang`, in order; the indices are the settings' values.
std::array<std::string_view, 3> strength_items(Lang lang);
std::array<std::string_view, 4> kanji_mask_items(Lang lang);
std::array<std::string_view, 3> alpha_mask_items(Lang lang);
std::array<std::string_view, 3> digit_mask_items(Lang lang);
std::array<std::string_view, 3> wchar_mask_items(Lang lang);

// The Japanese items, as the window has listed them so far.
extern const std::array<std::string_view, 3> STRENGTH_ITEMS;
extern const std::array<std::string_view, 4> KANJI_MASK_ITEMS;
extern const std::array<std::string_view, 3> ALPHA_MASK_ITEMS;
extern const std::array<std::string_view, 3> DIGIT_MASK_ITEMS;
extern const std::array<std::string_view, 3> WCHAR_MASK_ITEMS;

}  // namespace hsc
