#pragma once

#include <cstdint>

#include "stream/mfile.h"

namespace hsc {

// The most memory masking or restoring the package unpacked into `reg` will hold at
// once, in bytes: what the registry holds now (plain and deflated bytes of every
// stream), and what the parsers, the masked copies and the backups add, by the size and
// the number of items of the shared strings, the worksheets and the drawings. The
// figures come from peaks measured on the shapes bench/bomb_memory.sh makes (many tiny
// items, one huge item, many parts, a large worksheet) and bound each of them from
// above; a workbook needing more than the budget is refused before any of it is parsed.
// On a masked package (backups enciphered, not yet deflated) it is what the restore of
// that masking will need.
std::uint64_t processing_need(const MfileRegistry& reg);

}  // namespace hsc
