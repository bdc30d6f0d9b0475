#pragma once

#include <cstdint>
#include <string>
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
std::vector<std::string> parts_changed_since_masking(MfileRegistry& reg, const std::vector<std::string>& entries,
                                                     const std::vector<std::uint64_t>& sizes);

}  // namespace hsc
