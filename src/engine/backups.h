#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/mask_settings.h"
#include "stream/mfile.h"
#include "package/package_entries.h"
#include "core/merge_report.h"
#include "protect/backup_key.h"

// Masking with an encrypted backup inside the package, and restoring from it. Every
// backup goes through the routines here, sealed as the key says: in the strong format
// (XChaCha20-Poly1305 under the derived key, the entry name bound to each), or as the
// original format's stream containers (AES, 128-bit key from the password bytes).
namespace hsc {

inline constexpr std::string_view SHARED_STRINGS_NAME = "xl/sharedStrings.xml";
inline constexpr std::string_view SHARED_STRINGS_TEMP_NAME = "TempsharedStrings.xml";
inline constexpr std::string_view DRAWING_TEMP_NAME = "Tempdrawing.xml";
inline constexpr std::string_view WORKBOOK_TEMP_NAME = "Tempworkbook.xml";
inline constexpr std::string_view THUMBNAIL_TEMP_NAME = "Tempthumbnail.xml";
inline constexpr std::string_view WORKSHEET_TEMP_NAME = "Tempworksheet.xml";

// True when the registry holds a live stream of that name (never looks at the disk).
bool stream_exists(const MfileRegistry& reg, std::string_view name);

// "xl/drawings/BKdrawing%d.xml" for the drawing at position k (1-based).
std::string drawing_backup_name(std::size_t k);

// Encrypts `plain` into the stream `backup_name`, by way of the temporary stream
// `temp_name` (its name is the container's source name). 0, -1, -101, -103.
int store_backup(MfileRegistry& reg, std::string_view temp_name, std::string_view plain,
                 std::string_view backup_name, const BackupKey& key);
// The same for plain bytes that `fill` writes (`size` of them) into the room it is given:
// the strong format seals them where they are written, inside the backup's own stream, so
// no plain copy is held beside the sealed one; the original format's container reads
// them from the temporary stream. 0, -1, -2, -101, -103.
int store_backup_filled(MfileRegistry& reg, std::string_view temp_name, std::size_t size,
                        const std::function<void(std::span<char>)>& fill, std::string_view backup_name,
                        const BackupKey& key);
// Decrypts the stream `backup_name` into `target_name` and removes the backup.
// 0, -1, -101 (backup missing or a stream cannot be opened).
int restore_backup(MfileRegistry& reg, std::string_view backup_name, std::string_view target_name,
                   const BackupKey& key);

// Restoring deciphers each backup once, before anything is decided: into a stream of
// this name (longer than any entry name), checked by its digest. restore_backup and
// read_backup then take it instead of deciphering again.
std::string deciphered_name(std::string_view backup_name);
// Deciphers each of `backups` into its deciphered stream. 0; -3 a backup does not give
// back what it recorded (another password, or damage: `reg.refusal` says which backup);
// -1 one cannot be read at all.
int decipher_backups(MfileRegistry& reg, const std::vector<std::string>& backups, const BackupKey& key);
// Removes the deciphered streams that no restore took, so they never reach the output.
void drop_deciphered(MfileRegistry& reg);

// The plain bytes a backup holds, checked by its digest; the backup stays.
// 0, -101 (no such backup), or a code of the container.
int read_backup(MfileRegistry& reg, std::string_view backup_name, const BackupKey& key, std::string& plain);

// A worksheet's backup holds a line that names the worksheet as masking left it (its size
// and CRC-32, as the package's directory records them), then the worksheet as it was:
// its bytes, or the raw deflate stream the package held it in, with its size and CRC-32
// on the line too (so the backup of a large worksheet is as small as the part was).
// The line for the worksheet `masked`, followed by the bytes:
std::string worksheet_backup_line(std::string_view masked);
// The line for the worksheet `masked`, followed by the deflate stream of `original_size`
// bytes whose CRC-32 is `original_crc`:
std::string deflated_worksheet_backup_line(std::string_view masked, std::uint64_t original_size,
                                           std::uint32_t original_crc);
struct WorksheetBackup {
    std::uint64_t masked_size = 0;
    std::uint32_t masked_crc = 0;
    std::string_view stored;  // what follows the line
    bool deflated = false;    // `stored` is a raw deflate stream of:
    std::uint64_t original_size = 0;
    std::uint32_t original_crc = 0;
};
// False when `plain` does not begin with such a line.
bool read_worksheet_backup(std::string_view plain, WorksheetBackup& backup);
// The worksheet as it was: `stored`, or inflated into `storage`. False when a deflate
// stream does not give exactly the size and CRC-32 its line records.
bool worksheet_original(const WorksheetBackup& backup, std::string& storage, std::string_view& original);
// The bytes of a live stream, without copying; empty when there is none.
std::string_view stream_bytes(const MfileRegistry& reg, std::string_view name);
// The CRC-32 of a stream's content: the one it was unpacked with, or taken now.
std::uint32_t stream_crc(const MfileRegistry& reg, std::string_view name);
// Every worksheet kept by masking back over its part, and its backup removed: whole when
// the part is still as masking left it, else value by value (counted in `report`).
// 0, -1 (a backup that is not one), -101, -103.
int restore_worksheets(MfileRegistry& reg, const std::vector<std::string>& entries, const BackupKey& key,
                       MergeReport& report);

// Stores the backup of "xl/sharedStrings.xml" as it is, masks the items `flags` select
// (every item with `target_column_count` 0) and writes the masked text over the part.
// 0, -1, -2, -101, -103.
int mask_shared_strings(MfileRegistry& reg, const std::vector<std::uint8_t>& flags, int target_column_count,
                        const MaskSettings& s, const BackupKey& key);
// "xl/sharedStrings.xml" from its backup. 0, -1, -101 (no backup).
int restore_shared_strings(MfileRegistry& reg, const BackupKey& key);

// For each drawing k (1-based, in list order): backup k, then the masked text written
// back under the drawing's own name. 0, -1, -101, -103.
int mask_drawings(MfileRegistry& reg, const std::vector<std::string>& names, std::vector<std::string>& texts,
                  const MaskSettings& s, const BackupKey& key);
// Backup k back over the k-th drawing of `names` (the same ordered list that masking
// numbered). 0, -1, -101 (a backup missing).
int restore_drawings(MfileRegistry& reg, const std::vector<std::string>& names, const BackupKey& key);

}  // namespace hsc
