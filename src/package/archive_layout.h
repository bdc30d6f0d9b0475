#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "stream/mfile.h"

// The directory of a package kept beside its entries' bytes (see ArchiveLayout): the
// order composition writes in, and the layout as a record that a backup can hold.
namespace hsc {

// The names composition writes, in order: the layout's entries that are folders or live
// streams (`live`), in the layout's order, then the other live streams in their order.
std::vector<std::string> composition_order(const ArchiveLayout& layout, const std::vector<std::string>& live);

// The layout as a record of its own: a first line that names the record, the comment,
// then one line per entry with its header fields in hexadecimal and its name, extra
// field and comment as hexadecimal bytes, so that no byte of them can break a line.
std::string layout_record(const ArchiveLayout& layout);
// False, with `layout` unchanged, when `record` is not one layout_record made.
bool read_layout_record(std::string_view record, ArchiveLayout& layout);

}  // namespace hsc
