#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/mask_settings.h"

// Selection of the shared strings to mask: which items do cells of the target columns
// refer to.
namespace hsc {

// Number of string items of the shared-string table (occurrences of "<si").
std::size_t count_shared_string_items(std::string_view shared_strings);

// Sets flags[N] to 1 for every shared-string cell of a target column whose value is
// N < flags.size(); returns the number of such cells. Never fails: what does not parse
// flags nothing.
std::size_t scan_worksheet(std::string_view sheet, const FileContext& ctx, std::vector<std::uint8_t>& flags);

}  // namespace hsc
