#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protect/backup_key.h"
#include "stream/mfile.h"

// What masking changes in the package itself, besides its parts' text: the content
// types, the package's relationships (the striped thumbnail) and the archive's directory
// (new entries, and the footer as the archive comment). Masking keeps them in the package
// backup; restoring gives them back, so that the restored package equals the original
// entry by entry and in the same order.
namespace hsc {

inline constexpr std::string_view CONTENT_TYPES_NAME = "[Content_Types].xml";
inline constexpr std::string_view ROOT_RELATIONSHIPS_NAME = "_rels/.rels";
inline constexpr std::string_view PACKAGE_TEMP_NAME = "Temppackage.xml";

// The package as it was before masking changed anything.
struct PackageOriginal {
    std::string content_types;
    std::string relationships;
    ArchiveLayout layout;
};

// What a package backup holds: the original parts, each with the size and CRC-32 of the
// part as masking left it, and the original directory.
struct PackageBackup {
    struct Part {
        std::uint64_t masked_size = 0;
        std::uint32_t masked_crc = 0;
        std::string original;
    };
    Part content_types, relationships;
    ArchiveLayout layout;
};

// The record a package backup holds, and back; false when `plain` is not one.
std::string package_backup_text(const PackageBackup& backup);
bool read_package_backup_text(std::string_view plain, PackageBackup& backup);

// Takes the content types, the relationships and the directory of the unpacked package
// before masking changes them. 0, -1 a part missing.
int take_package_original(MfileRegistry& reg, PackageOriginal& original);

// Masking, after every other backup is made: declares each backup entry opaque data in
// the content types (an Override, so that no Default of the package can make one a part
// of another kind), then keeps `original` with the masked parts' sizes and checksums in
// the package backup. 0, -1, -101, -103.
int back_up_package(MfileRegistry& reg, const PackageOriginal& original, const BackupKey& key);

// A restore's view of the package backup: what it holds, and whether each part was still
// as masking left it when the package was unpacked.
struct PackageRestore {
    PackageBackup backup;
    bool content_types_unchanged = false;
    bool relationships_unchanged = false;
};

// Restoring, before anything is rewritten: reads the package backup, when the package
// has one. 0 (nothing when there is none); -1 a backup that holds no such record; or a
// code of read_backup.
int read_package_backup(MfileRegistry& reg, const BackupKey& key, std::optional<PackageRestore>& restore);

// Restoring, last: each part that was still as masking left it takes its original bytes,
// and the directory and comment of the original package go into the registry for
// composition; the backup entry is removed. A part changed since masking (or a package
// masked without a package backup) keeps the restore's own rewrite, without the
// Overrides masking gave the backups. 0, -1, -101, -103.
// `entries` are the names of the masked package.
int restore_package(MfileRegistry& reg, const std::vector<std::string>& entries,
                    const std::optional<PackageRestore>& restore);

}  // namespace hsc
