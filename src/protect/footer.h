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
#include "protect/strong_key.h"

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

// Extension keys of the formats that a reader of the original format must refuse. The
// strong format writes FORMAT=2 with the key derivation's parameters and salt, and a HASH
// that is the key's own check value (CHECK=KEY) or, when no check is to be recorded,
// FOOTER_NO_CHECK_HASH (CHECK=NONE). The original format with backups that its readers
// do not know writes HASH as FOOTER_TAGGED_PREFIX's SHA-512 (CHECK=TAGGED), or the
// constant with CHECK=NONE. Either way a original reader sees a masked workbook whose
// check value no password matches, and stops before it writes anything.
inline constexpr std::string_view FOOTER_FORMAT_STRONG = "2";
inline constexpr std::string_view FOOTER_KDF_ARGON2ID = "ARGON2ID13";
inline constexpr std::string_view FOOTER_CHECK_KEY = "KEY";
inline constexpr std::string_view FOOTER_CHECK_NONE = "NONE";
inline constexpr std::string_view FOOTER_CHECK_TAGGED = "TAGGED";
// 128 zero digits: the SHA-512 of no text (finding one would break SHA-512's preimage
// resistance), and never a check value our key gives but by chance of 2^-512.
inline constexpr std::string_view FOOTER_NO_CHECK_HASH =
    "00000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000";
// Put before the secret (the password's bytes or the key file's hex digest) for the
// tagged check value, so it never equals the original one.
inline constexpr std::string_view FOOTER_TAGGED_PREFIX = "Hushcel tagged check 1\n";

// How the workbook's backups are protected, as the footer writer needs to know it.
struct FooterProtection {
    // The strong format: the key's salt, cost and check value are recorded. Null: the
    // original format.
    const StrongKey* strong = nullptr;
    // Original format only: the package carries backups that a reader of the original
    // format does not know; it must refuse the workbook rather than restore part of it.
    bool unknown_backups = false;
    // The package carries no backup at all (a copy to send out): the footer says so with
    // BACKUP=NONE after HASH, and HASH is FOOTER_NO_CHECK_HASH, so that a reader of the
    // original format sees a masked workbook whose password never matches. Outranks the
    // other two: there is nothing to protect.
    bool no_backup = false;
    // The memory restoring needs, in bytes (0: not recorded). Only formats of our own
    // (strong, or tagged with unknown backups) carry it, as the extension NEED; the
    // original format's footer stays as it is described.
    std::uint64_t restore_need = 0;
};

// The extension key and value of a footer without backups.
inline constexpr std::string_view FOOTER_BACKUP_KEY = "BACKUP";
inline constexpr std::string_view FOOTER_BACKUP_NONE = "NONE";
// True when the footer says the workbook carries no backup.
bool footer_without_backup(const FooterRecord& record);

// The memory a restore of the workbook needs, as its footer records it (NEED); nothing
// when the footer records none or no number.
std::optional<std::uint64_t> footer_restore_need(const FooterRecord& record);

// The strong key for these settings: the password normalised (stored.password_utf8) and,
// in file-authentication mode (`file_mode`: the settings' when masking, the footer's when
// restoring), the key file's secret. Nothing when the password is not valid UTF-8, the key
// file cannot be read, or the derivation fails (memory).
std::optional<StrongKey> derive_strong_key(const StoredSettings& stored, bool file_mode,
                                           std::span<const std::uint8_t, STRONG_SALT_SIZE> salt, KdfCost cost);

// What a footer says about the format of the backups, read without verifying anything.
enum class FooterFormat { original, tagged, strong };
FooterFormat footer_format(const FooterRecord& record);

inline constexpr int FOOTER_PRESENT = 0;
inline constexpr int FOOTER_ABSENT = -1;

// The 512-byte record for these settings (text, then zero bytes). 0; -3 when the
// authentication material is missing (file mode with no key_file, or a key file that
// cannot be read).
int hsc_format_footer(const StoredSettings& stored, std::string& record);
// The same with the authentication file's check value already taken (`key_check`, from
// key_file_check_value; null: taken here).
int hsc_format_footer(const StoredSettings& stored, const std::string* key_check, std::string& record);
// The record for a workbook whose backups are protected as `protection` says. With a
// default FooterProtection this is the original record, byte for byte.
int hsc_format_footer(const StoredSettings& stored, const std::string* key_check,
                      const FooterProtection& protection, std::string& record);

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
int hsc_write_footer(const std::filesystem::path& path, const StoredSettings& stored, const std::string* key_check,
                     const FooterProtection& protection);

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

// What the strong key's derivation needs, read from a footer whose parameters check out.
struct PendingDerivation {
    FooterRecord footer;
    std::array<std::uint8_t, STRONG_SALT_SIZE> salt{};
    KdfCost cost;
    bool has_check = false;  // CHECK=KEY: HASH is the key's check value
};

// The footer check's further inputs and findings.
struct FooterCheck {
    // In: read the footer as a reader of the original format does (extension keys passed
    // over, HASH taken as the SHA-512 of the password or key file). For tests that show
    // what such a reader does with our workbooks.
    bool original_only = false;
    // Out: the format the footer records.
    FooterFormat format = FooterFormat::original;
    // Out, strong format: the key derived from the footer's salt and cost, verified when
    // the footer records a check value (`verified`).
    std::optional<StrongKey> strong;
    bool verified = false;
    // In: leave a strong footer's key derivation to the caller, so it can run beside other
    // work: the check then returns with `pending` set and nothing derived or verified yet;
    // derive_pending and finish_strong_check do the rest.
    bool defer_derivation = false;
    std::optional<PendingDerivation> pending;
    // Out: the footer says the workbook has no backup (nothing verified: there is no
    // password to it). Never set with `original_only`.
    bool no_backup = false;
};
// The key a pending check needs. Safe to run on another thread.
std::optional<StrongKey> derive_pending(const StoredSettings& stored, const PendingDerivation& pending);
// Verifies the derived key (nothing: the derivation failed) against the pending footer and
// fills `strong` and `verified`. 0; -3 refused and reported as hsc_check_footer_block does.
int finish_strong_check(FooterCheck& check, std::optional<StrongKey> key, const StoredSettings& stored,
                        Reporter& reporter, FailReason* why, Lang lang);
// hsc_check_footer_block that also derives the strong key; -3 as there, with
// FailReason::damaged for a strong footer whose parameters cannot be read.
int hsc_check_footer_block(std::string_view block, const StoredSettings& stored, const std::string* key_check,
                           int& present, Reporter& reporter, FailReason* why, Lang lang, FooterCheck& check);

// What a footer records, read without verifying anything.
struct FooterInfo {
    bool present = false;
    bool file_mode = false;     // FILE=Y
    bool has_hash = false;      // a check value is recorded (full form, not CHECK=NONE)
    std::string hint;           // unsealed, CP932 bytes
    std::string version;
    FooterFormat format = FooterFormat::original;
    bool no_backup = false;     // BACKUP=NONE: masked without any backup
};
// 0 (info.present tells); -101, -104, -103 as for hsc_check_footer.
int hsc_read_footer(const std::filesystem::path& path, FooterInfo& info);
// The same from the file's last FOOTER_SIZE bytes, already read.
FooterInfo read_footer_info(std::string_view block);

}  // namespace hsc
