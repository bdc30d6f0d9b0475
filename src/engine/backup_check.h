#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "stream/mfile.h"

namespace hsc {

// The masked parts of a workbook whose length is not that of the plain text their backup
// holds. Masking keeps every length, so such a part was changed after masking (a string
// added or removed in a spreadsheet program), and restoring it from the backup would
// lose that change. A backup whose part is gone counts as well, and a shared-string
// table of the same length whose items are no longer what masking made of the backup's
// (judged when the table was read).
// `entries` and `sizes` are the package's entry names and declared inflated sizes (its
// directory); the plain lengths are those of the backups already deciphered into `reg`
// (decipher_backups). A backup that was not deciphered is not judged.
// The table's items may be read beforehand (read_masked_table): the judge then only
// reads the backup's.
struct MaskedTable;
std::vector<std::string> parts_changed_since_masking(MfileRegistry& reg, const std::vector<std::string>& entries,
                                                     const std::vector<std::uint64_t>& sizes,
                                                     const MaskedTable* table = nullptr);

// The masked shared-string table and its items as the package holds them, read before any
// backup is deciphered: a restore reads it while the strong format's key is still being
// derived. Views into the registry's stream, valid until that stream is written or removed.
struct MaskedTable {
    bool present = false;
    std::string_view text;
    std::vector<std::string_view> items;
};
MaskedTable read_masked_table(const MfileRegistry& reg);

}  // namespace hsc
