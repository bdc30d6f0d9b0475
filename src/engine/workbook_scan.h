#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/mask_settings.h"

// Selection of the shared strings to mask: which items do cells of the target columns
// refer to.
namespace hsc {

// Number of string items of the shared-string table: every <si> element, empty or not.
std::size_t count_shared_string_items(std::string_view shared_strings);

// Sets flags[N] to 1 for every shared-string cell of a target column whose value is
// N < flags.size(); returns the number of such cells. Never fails: what does not parse
// flags nothing.
std::size_t scan_worksheet(std::string_view sheet, const FileContext& ctx, std::vector<std::uint8_t>& flags);

// Turns the inline-string cells of the target columns (of every column when none are
// chosen) into shared-string cells: t="inlineStr" becomes t="s" and the <is> element a
// <v> with the next index, counting from `next_index`. The string of each cell is appended
// to `items` as an <si> item, its markup written with the table's element prefix
// `table_prefix`. Returns the number of cells turned; with 0 the sheet is untouched.
// Cells of those columns without a well-formed <is> element are added to `unconverted`.
std::size_t convert_inline_strings(std::string& sheet, const FileContext& ctx, std::string_view table_prefix,
                                   std::size_t next_index, std::string& items, std::size_t& unconverted);

}  // namespace hsc
