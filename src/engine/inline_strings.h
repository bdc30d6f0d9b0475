#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/mask_settings.h"
#include "stream/mfile.h"

// Inline strings of the chosen columns join the shared-string table before it is backed
// up, so that masking and restoring treat them like every other string of those columns.
namespace hsc {

// The worksheets themselves are converted by convert_inline_strings (workbook_scan.h);
// these two steps come before and after them.

// Whether the strings can join a table: a package without "xl/sharedStrings.xml" gets
// an empty one in `table` (has_table stays false until finish_inline_strings), unless
// its workbook already names a shared-string part under another name, or it has no
// workbook relationships to add one to (then `possible` is false).
// 0; -1 / -2 a part cannot be read.
int begin_inline_strings(MfileRegistry& reg, bool has_table, std::string& table, bool& possible);

// Appends the `added` collected items to the table and writes it as
// "xl/sharedStrings.xml"; a new table also gets its relationship and content type
// (`created`). With nothing added nothing changes. 0; -1; -2; -101; -103.
int finish_inline_strings(MfileRegistry& reg, bool& has_table, std::string& table, std::string_view items,
                          std::size_t added, bool& created);

// Appends `added` <si> items to the table text, raising its count and uniqueCount
// attributes by as many. false when the text has no <sst> root element.
bool append_shared_string_items(std::string& table, std::string_view items, std::size_t added);

}  // namespace hsc
