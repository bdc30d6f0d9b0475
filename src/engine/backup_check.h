#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace hsc {

// Deciphers every backup entry of the workbook at `input` with `password` and compares
// the result with the MD5 digest its container recorded of the original. A workbook
// whose footer records no check value would otherwise be "restored" with a wrong
// password into meaningless text, and its backups removed.
// 0 every backup agrees, or nothing can be checked (no backups, a package that cannot be
// unpacked: the restore reports that itself); -3 a backup does not agree (another
// password, or a damaged backup: the two cannot be told apart). `max_memory` bounds the
// bytes held at once as the package reader's budget does (0: no budget).
int verify_backup_password(const std::filesystem::path& input, std::string_view password,
                           std::uint64_t max_memory);

// The masked parts of the workbook at `input` whose length is not that of the plain text
// their backup holds. Masking keeps every length, so such a part was changed after
// masking (a string added or removed in a spreadsheet program), and restoring it from
// the backup would lose that change. A backup whose part is gone counts as well.
// 0 with the part names in `changed` (empty: nothing changed); -1 the package or a
// backup could not be read, or the package exceeds `max_memory` (the restore reports
// that itself). Only the backups are inflated.
int parts_changed_since_masking(const std::filesystem::path& input, std::vector<std::string>& changed,
                                std::uint64_t max_memory);

}  // namespace hsc
