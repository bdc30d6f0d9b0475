#pragma once

#include <cstdint>
#include <optional>

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
//
// A masking (`masking` given) that takes the cells' own values of a worksheet keeps its backup: the
// worksheet as the package held it (its deflate stream, or its bytes when it has none),
// sealed, which a restore then reads whole and deciphers beside it. Counted before masking
// for every worksheet the masking may change, so that a run whose restore would not fit
// is refused before it begins.
struct ValueMasking {
    bool numbers = false;          // numbers and dates (else only plain-text cells, t="str")
    bool formula_results = false;  // worksheets with formulas lose their cached results
};
std::uint64_t processing_need(const MfileRegistry& reg, std::optional<ValueMasking> masking = std::nullopt);

}  // namespace hsc
