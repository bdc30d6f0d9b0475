#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/catalog.h"
#include "core/fail_reason.h"
#include "core/mask_settings.h"
#include "core/reporter.h"

// The footer record of a masked workbook: 512 bytes appended as the zip archive comment.
// It marks the workbook as masked and, unless the user chose not to record them, holds
// the SHA-512 check value of the password (or of the authentication file) and a sealed
// hint.
//
// The settings handed to these routines are the stored form: password and hints in
// CP932 (StoredSettings). Messages to the user are UTF-8.
namespace hsc {

inline constexpr std::size_t FOOTER_SIZE = 512;
// The first 32 bytes shared by both forms; VERSION is not examined.
inline constexpr std::string_view FOOTER_PREFIX = "COMPANY=KESTRIL PRODUCT=Hushcel ";

inline constexpr std::string_view FOOTER_VERSION = "2.0.0.0";

// What a footer records, in its stored form (the hint still sealed). Reading and writing
// it are pure: bytes in, bytes out; the file routines below use them.
struct FooterRecord {
    std::string version;
    bool file_mode = false;                  // FILE=Y
    std::optional<std::string> sealed_hint;  // HINT, without its quotes; none in the short form
    std::optional<std::string> hash;         // HASH; none in the short form
    // Keys that only this program's later formats write, after HASH (or FILE) in this
    // order, each once: a reader of the original format passes over them. Such a format
    // also records a HASH that no password gives, so that such a reader refuses it.
    std::vector<std::pair<std::string, std::string>> extensions;
    bool operator==(const FooterRecord&) const = default;
};
// The value of an extension key (upper case), or null.
const std::string* footer_extension(const FooterRecord& record, std::string_view key);
// A 512-byte block that starts with FOOTER_PREFIX, read as key = value triples up to its
// first zero byte. Keys are matched ignoring case and in any order; the first value of a
// key counts; keys other than COMPANY, PRODUCT, VERSION, HINT, FILE and HASH are kept as
// extensions (upper case, the first value of each). Nothing for a block without the prefix or of
// another length.
std::optional<FooterRecord> parse_footer(std::span<const std::uint8_t> block);
// The record as the program writes it: the full form when a hash is set, the short form
// otherwise, then zero bytes to 512. Nothing when a value could not be read back as it
// is (empty, or with a space, "=", quote or control byte in it) or the text would not fit.
// Every record that parse_footer accepts and this writes reads back equal, and a written
// block reads and writes back to the same bytes.
std::optional<std::array<std::uint8_t, FOOTER_SIZE>> write_footer(const FooterRecord& record);

inline constexpr int FOOTER_PRESENT = 0;
inline constexpr int FOOTER_ABSENT = -1;

// The 512-byte record for these settings (text, then zero bytes). 0; -3 when the
// authentication material is missing (file mode with no key_file, or a key file that
// cannot be read).
int hsc_format_footer(const StoredSettings& stored, std::string& record);
// The same with the authentication file's check value already taken (`key_check`, from
// key_file_check_value; null: taken here).
int hsc_format_footer(const StoredSettings& stored, const std::string* key_check, std::string& record);

// The check value the footer records of an authentication file: the hex SHA-512 of its
// content. False when the file cannot be read. A run takes it once and hands it on.
bool key_file_check_value(const std::string& key_file, std::string& hex);

// Appends the record to a workbook whose zip comment is empty: sets the comment length
// to 512 and writes the record after it. The record is composed before the file is
// touched, so a failure to digest the key file leaves the workbook as it was.
// 0; -3 no authentication material; -101 cannot open; -104 cannot position; -103 a
// write (or the flush to disk) fell short.
int hsc_write_footer(const std::filesystem::path& path, const StoredSettings& stored);
int hsc_write_footer(const std::filesystem::path& path, const StoredSettings& stored, const std::string* key_check);

// Decides between masking and restoring and verifies the password or authentication
// file against a recorded check value. `present` gets FOOTER_PRESENT or FOOTER_ABSENT.
// 0 decided (and verified when a HASH is recorded); -3 refused and reported through the
// reporter in `lang`, with the reason in `*why` when given; -101 cannot open; -104
// cannot position; -103 fewer than 512 bytes read.
int hsc_check_footer(const std::filesystem::path& path, const StoredSettings& stored, int& present,
                     Reporter& reporter, FailReason* why = nullptr, Lang lang = Lang::ja);
// The same on the file's last 512 bytes, already read (`block`); `key_check` as for
// hsc_format_footer.
int hsc_check_footer_block(std::string_view block, const StoredSettings& stored, const std::string* key_check,
                           int& present, Reporter& reporter, FailReason* why = nullptr, Lang lang = Lang::ja);

// What a footer records, read without verifying anything.
struct FooterInfo {
    bool present = false;
    bool file_mode = false;     // FILE=Y
    bool has_hash = false;      // full form
    std::string hint;           // unsealed, CP932 bytes
    std::string version;
};
// 0 (info.present tells); -101, -104, -103 as for hsc_check_footer.
int hsc_read_footer(const std::filesystem::path& path, FooterInfo& info);
// The same from the file's last FOOTER_SIZE bytes, already read.
FooterInfo read_footer_info(std::string_view block);

}  // namespace hsc
