#pragma once

#include <filesystem>
#include <string_view>

namespace hsc {

// Deciphers every backup entry of the workbook at `input` with `password` and compares
// the result with the MD5 digest its container recorded of the original. A workbook
// whose footer records no check value would otherwise be "restored" with a wrong
// password into meaningless text, and its backups removed.
// 0 every backup agrees, or nothing can be checked (no backups, a package that cannot be
// unpacked: the restore reports that itself); -3 a backup does not agree (another
// password, or a damaged backup: the two cannot be told apart).
int verify_backup_password(const std::filesystem::path& input, std::string_view password);

}  // namespace hsc
