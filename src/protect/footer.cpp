#include "protect/footer.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>

#include "core/cp932.h"
#include "core/status.h"
#include "os/file.h"
#include "stream/tokenizer.h"
#include "protect/crypto.h"
#include "stream/rfile.h"
#include "protect/sealed.h"

namespace hsc {
namespace {

std::string hex_digest(const std::uint8_t digest[64]) {
    std::string hex;
    hex.reserve(128);
    for (int i = 0; i < 64; ++i) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", digest[i]);
        hex += two;
    }
    return hex;
}

std::string password_digest(std::string_view password) {
    sha512_context ctx;
    sha512_init(ctx);
    sha512_update(ctx, password.data(), password.size());
    std::uint8_t digest[64];
    sha512_final(ctx, digest);
    return hex_digest(digest);
}

bool equals_ignoring_case(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return std::ranges::equal(a, b, [&](char x, char y) { return lower(x) == lower(y); });
}

// The last 512 bytes of the file. A file shorter than that cannot be positioned before
// its start; the read from where the position stayed then comes up short.
int read_last_block(const std::filesystem::path& path, std::string& block) {
    auto f = rfile_open(path, RFILE_READ);
    if (!f) return RC_OPEN;
    if (rfile_seek(*f, -static_cast<std::int32_t>(FOOTER_SIZE), RFILE_SEEK_END) != Status::ok) {
        rfile_close(std::move(f));
        return RC_SEEK;
    }
    block.assign(FOOTER_SIZE, '\0');
    std::size_t n = rfile_read(block.data(), FOOTER_SIZE, *f);
    rfile_close(std::move(f));
    return n < FOOTER_SIZE ? RC_SHORT_WRITE : RC_OK;
}

// A value that reads back as the same single token wherever it stands in the record.
bool plain_value(std::string_view value, bool may_be_empty) {
    if (value.empty()) return may_be_empty;
    return std::all_of(value.begin(), value.end(), [](char c) {
        return c > ' ' && c < 0x7F && c != '=' && c != '"' && c != '\'' && c != ';';
    });
}

std::span<const std::uint8_t> bytes_of(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string unsealed_hint(const FooterRecord& record) {
    std::string plain;
    if (record.sealed_hint && !record.sealed_hint->empty() &&
        unseal_text(*record.sealed_hint, SEAL_PASSWORD, plain) == Status::ok)
        return plain;
    return {};
}

// The authentication file's check value: the one taken for this run, or taken now.
bool file_digest(const StoredSettings& stored, const std::string* key_check, std::string& hex) {
    if (key_check) {
        hex = *key_check;
        return !hex.empty();
    }
    return key_file_check_value(stored.key_file, hex);
}

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

bool reserved_key(std::string_view key) {
    for (std::string_view k : {"COMPANY", "PRODUCT", "VERSION", "HINT", "FILE", "HASH"})
        if (key == k) return true;
    return false;
}

// The refusal of a check value that differs, with the recorded hint when there is one.
int mismatch(const FooterRecord& footer, const std::function<int(FailReason, const std::string&)>& refuse, Lang lang,
             bool key_of_both = false) {
    const std::string hint = cp932_display(unsealed_hint(footer));
    // The strong format's key in file mode comes from the password and the file together,
    // and its one check value cannot say which is wrong. A second value of either secret
    // alone would tell, but would also let whoever holds the workbook try that secret on
    // its own: guessing both would cost the sum of the two searches, not their product.
    if (footer.file_mode && key_of_both)
        return refuse(FailReason::wrong_password_or_key_file,
                      hint.empty() ? say(lang, Msg::wrong_password_or_key_file)
                                   : say(lang, Msg::wrong_password_or_key_file_hint, {hint}));
    if (footer.file_mode)
        return refuse(FailReason::wrong_key_file,
                      hint.empty() ? say(lang, Msg::wrong_key_file) : say(lang, Msg::wrong_key_file_hint, {hint}));
    return refuse(FailReason::wrong_password,
                  hint.empty() ? say(lang, Msg::wrong_password) : say(lang, Msg::wrong_password_hint, {hint}));
}

std::string tagged_digest(std::string_view secret) {
    return password_digest(std::string(FOOTER_TAGGED_PREFIX) + std::string(secret));
}

// The secret the original check value is taken over: the password's bytes, or the
// authentication file's hex digest (the tagged form takes the digest's text).
bool check_secret(const StoredSettings& stored, bool file_mode, const std::string* key_check, std::string& secret) {
    if (file_mode) return file_digest(stored, key_check, secret);
    secret = stored.password;
    return true;
}

std::optional<std::uint64_t> decimal(const std::string* text, std::uint64_t min, std::uint64_t max) {
    if (!text || text->empty() || text->size() > 19) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : *text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (value < min || value > max) return std::nullopt;
    return value;
}

// The strong format's parameters as a footer records them; nothing when one is missing,
// unknown or out of bounds.
struct StrongParameters {
    KdfCost cost;
    std::array<std::uint8_t, STRONG_SALT_SIZE> salt{};
    bool has_check = false;
};
std::optional<StrongParameters> strong_parameters(const FooterRecord& footer) {
    const std::string* format = footer_extension(footer, "FORMAT");
    const std::string* kdf = footer_extension(footer, "KDF");
    const std::string* salt = footer_extension(footer, "SALT");
    const std::string* check = footer_extension(footer, "CHECK");
    if (!format || *format != FOOTER_FORMAT_STRONG || !kdf || *kdf != FOOTER_KDF_ARGON2ID || !salt || !check ||
        !footer.hash)
        return std::nullopt;
    const auto ops = decimal(footer_extension(footer, "OPS"), KDF_READ_MIN.ops, KDF_READ_MAX.ops);
    const auto mem = decimal(footer_extension(footer, "MEM"), KDF_READ_MIN.mem_bytes, KDF_READ_MAX.mem_bytes);
    const auto salt_bytes = from_hex(*salt);
    if (!ops || !mem || !salt_bytes || salt_bytes->size() != STRONG_SALT_SIZE || *ops * *mem > KDF_READ_MAX_WORK)
        return std::nullopt;
    StrongParameters p;
    p.cost = KdfCost{static_cast<std::uint32_t>(*ops), *mem};
    std::copy(salt_bytes->begin(), salt_bytes->end(), p.salt.begin());
    if (*check == FOOTER_CHECK_KEY)
        p.has_check = true;
    else if (*check != FOOTER_CHECK_NONE)
        return std::nullopt;
    return p;
}

}  // namespace

std::optional<StrongKey> derive_strong_key(const StoredSettings& stored, bool file_mode,
                                           std::span<const std::uint8_t, STRONG_SALT_SIZE> salt, KdfCost cost) {
    const auto password = normalized_password(stored.password_utf8);
    if (!password) return std::nullopt;
    std::optional<std::array<std::uint8_t, KEY_FILE_SECRET_SIZE>> file;
    if (file_mode && !(file = key_file_secret(stored.key_file))) return std::nullopt;
    return StrongKey::derive(*password, file ? &*file : nullptr, salt, cost);
}

FooterFormat footer_format(const FooterRecord& record) {
    // Any FORMAT is ours: one this program does not know is refused as damaged, never read
    // as the original format.
    if (footer_extension(record, "FORMAT")) return FooterFormat::strong;
    if (footer_extension(record, "CHECK")) return FooterFormat::tagged;
    return FooterFormat::original;
}

const std::string* footer_extension(const FooterRecord& record, std::string_view key) {
    for (const auto& [k, v] : record.extensions)
        if (k == key) return &v;
    return nullptr;
}

bool key_file_check_value(const std::string& key_file, std::string& hex) {
    if (key_file.empty()) return false;
    std::uint8_t digest[64];
    if (sha512_file(os::u8_path(key_file), digest) != Status::ok) return false;
    hex = hex_digest(digest);
    return true;
}

std::optional<FooterRecord> parse_footer(std::span<const std::uint8_t> block) {
    if (block.size() != FOOTER_SIZE) return std::nullopt;
    const std::string_view all(reinterpret_cast<const char*>(block.data()), block.size());
    if (!all.starts_with(FOOTER_PREFIX)) return std::nullopt;
    const std::string_view text = all.substr(0, std::min(all.find('\0'), all.size()));

    enum class Key { none, hint, file, hash, version, extension };
    FooterRecord record;
    bool seen_file = false, seen_version = false;
    std::size_t position = 0;
    std::string token;
    Key key = Key::none;
    std::string extension_key;
    // The text is a run of key, "=", value triples.
    for (int step = 0; next_token(CHARSET_SJIS, text, position, token) == Status::ok; step = (step + 1) % 3) {
        if (step == 0) {
            key = equals_ignoring_case(token, "HASH")      ? Key::hash
                  : equals_ignoring_case(token, "HINT")    ? Key::hint
                  : equals_ignoring_case(token, "FILE")    ? Key::file
                  : equals_ignoring_case(token, "VERSION") ? Key::version
                  : equals_ignoring_case(token, "COMPANY") || equals_ignoring_case(token, "PRODUCT") ? Key::none
                                                           : Key::extension;
            extension_key = upper(token);
            continue;
        }
        if (step != 2) continue;
        switch (key) {
            case Key::hint:
                if (!record.sealed_hint) {
                    strip_quotes(token);
                    record.sealed_hint = token;
                }
                break;
            case Key::file:
                if (!seen_file) record.file_mode = equals_ignoring_case(token, "Y");
                seen_file = true;
                break;
            case Key::version:
                if (!seen_version) record.version = token;
                seen_version = true;
                break;
            case Key::hash:
                if (!record.hash) record.hash = token;
                break;
            case Key::extension:
                if (!footer_extension(record, extension_key)) record.extensions.emplace_back(extension_key, token);
                break;
            case Key::none: break;
        }
    }
    return record;
}

std::optional<std::array<std::uint8_t, FOOTER_SIZE>> write_footer(const FooterRecord& record) {
    // The full form carries both the hint and the hash, the short form neither.
    if (record.hash.has_value() != record.sealed_hint.has_value()) return std::nullopt;
    if (!plain_value(record.version, false)) return std::nullopt;
    const char* file = record.file_mode ? "Y" : "N";
    std::string text = std::string(FOOTER_PREFIX) + "VERSION=" + record.version;
    if (record.hash) {
        if (!plain_value(*record.hash, false) || !plain_value(*record.sealed_hint, true)) return std::nullopt;
        text += " HINT=\"" + *record.sealed_hint + "\" FILE=" + file + " HASH=" + *record.hash;
    } else {
        text += std::string(" FILE=") + file;
    }
    for (const auto& [key, value] : record.extensions) {
        if (!plain_value(key, false) || !plain_value(value, false) || key != upper(key) || reserved_key(key))
            return std::nullopt;
        text += " " + key + "=" + value;
    }
    // The text ends at a zero byte inside the record.
    if (text.size() >= FOOTER_SIZE) return std::nullopt;
    std::array<std::uint8_t, FOOTER_SIZE> block{};
    std::copy(text.begin(), text.end(), block.begin());
    return block;
}

std::optional<std::uint64_t> footer_restore_need(const FooterRecord& record) {
    return decimal(footer_extension(record, "NEED"), 1, UINT64_MAX / 2);
}

int hsc_format_footer(const StoredSettings& stored, std::string& record) {
    return hsc_format_footer(stored, nullptr, record);
}

int hsc_format_footer(const StoredSettings& stored, const std::string* key_check, std::string& record) {
    return hsc_format_footer(stored, key_check, FooterProtection{}, record);
}

bool footer_without_backup(const FooterRecord& record) {
    const std::string* backup = footer_extension(record, FOOTER_BACKUP_KEY);
    return backup && *backup == FOOTER_BACKUP_NONE;
}

int hsc_format_footer(const StoredSettings& stored, const std::string* key_check, const FooterProtection& protection,
                      std::string& record) {
    if (protection.no_backup) {
        // No password opens anything here: no check value, no hint, password mode (a
        // reader of the original format then asks for no authentication file).
        FooterRecord footer;
        footer.version = std::string(FOOTER_VERSION);
        footer.sealed_hint = std::string();
        footer.hash = std::string(FOOTER_NO_CHECK_HASH);
        footer.extensions = {{std::string(FOOTER_BACKUP_KEY), std::string(FOOTER_BACKUP_NONE)}};
        const auto block = write_footer(footer);
        if (!block) return RC_SIZE_LIMIT;
        record.assign(block->begin(), block->end());
        return RC_OK;
    }
    FooterRecord footer;
    footer.version = std::string(FOOTER_VERSION);
    footer.file_mode = stored.is_file_hash;
    const bool recorded = !stored.is_no_password;
    // Outside the original format the full form always, so that a reader of the
    // original format verifies a HASH and fails; the hint only with a check value.
    if (recorded || protection.strong || protection.unknown_backups) {
        const std::string& hint = stored.is_file_hash ? stored.keyfile_hint : stored.password_hint;
        std::string sealed;
        if (recorded && !hint.empty() && seal_text(hint, SEAL_PASSWORD, sealed) != Status::ok) return RC_FAIL;
        footer.sealed_hint = sealed;
    }
    std::string_view check = FOOTER_CHECK_NONE;
    if (const StrongKey* key = protection.strong) {
        footer.hash = recorded ? key->check_hex() : std::string(FOOTER_NO_CHECK_HASH);
        if (recorded) check = FOOTER_CHECK_KEY;
        footer.extensions = {{"FORMAT", std::string(FOOTER_FORMAT_STRONG)},
                             {"KDF", std::string(FOOTER_KDF_ARGON2ID)},
                             {"OPS", std::to_string(key->cost().ops)},
                             {"MEM", std::to_string(key->cost().mem_bytes)},
                             {"SALT", to_hex(key->salt())}};
    } else {
        // The check value's secret is taken in every form: an unreadable authentication
        // file is refused alike.
        std::string secret;
        if (!check_secret(stored, stored.is_file_hash, key_check, secret)) return RC_REFUSED;
        if (protection.unknown_backups) {
            footer.hash = recorded ? tagged_digest(secret) : std::string(FOOTER_NO_CHECK_HASH);
            if (recorded) check = FOOTER_CHECK_TAGGED;
        } else if (recorded) {
            // A key file's secret is its digest already.
            footer.hash = stored.is_file_hash ? secret : password_digest(secret);
        }
    }
    if (protection.strong || protection.unknown_backups) footer.extensions.emplace_back("CHECK", std::string(check));
    if ((protection.strong || protection.unknown_backups) && protection.restore_need > 0)
        footer.extensions.emplace_back("NEED", std::to_string(protection.restore_need));
    // Hints are at most 32 bytes (64 sealed digits): the text stays far inside the record.
    const auto block = write_footer(footer);
    if (!block) return RC_SIZE_LIMIT;
    record.assign(block->begin(), block->end());
    return RC_OK;
}

int hsc_write_footer(const std::filesystem::path& path, const StoredSettings& stored) {
    return hsc_write_footer(path, stored, nullptr);
}

int hsc_write_footer(const std::filesystem::path& path, const StoredSettings& stored, const std::string* key_check) {
    return hsc_write_footer(path, stored, key_check, FooterProtection{});
}

int hsc_write_footer(const std::filesystem::path& path, const StoredSettings& stored, const std::string* key_check,
                     const FooterProtection& protection) {
    std::string record;
    if (int rc = hsc_format_footer(stored, key_check, protection, record); rc != RC_OK) return rc;
    auto f = rfile_open(path, RFILE_APPEND);
    if (!f) return RC_OPEN;
    auto fail = [&](int rc) {
        rfile_close(std::move(f));
        return rc;
    };
    if (rfile_seek(*f, -2, RFILE_SEEK_END) != Status::ok) return fail(RC_SEEK);
    const std::uint8_t length[2] = {static_cast<std::uint8_t>(FOOTER_SIZE & 0xFF),
                                    static_cast<std::uint8_t>(FOOTER_SIZE >> 8)};
    if (rfile_write(length, 2, *f) < 2) return fail(RC_SHORT_WRITE);
    if (rfile_write(record.data(), FOOTER_SIZE, *f) < FOOTER_SIZE) return fail(RC_SHORT_WRITE);
    if (rfile_sync(*f) != Status::ok) return fail(RC_SHORT_WRITE);
    rfile_close(std::move(f));
    return RC_OK;
}

int hsc_check_footer(const std::filesystem::path& path, const StoredSettings& stored, int& present,
                     Reporter& reporter, FailReason* why, Lang lang) {
    present = FOOTER_ABSENT;
    std::string block;
    if (int rc = read_last_block(path, block); rc != RC_OK) return rc;
    return hsc_check_footer_block(block, stored, nullptr, present, reporter, why, lang);
}

int hsc_check_footer_block(std::string_view block, const StoredSettings& stored, const std::string* key_check,
                           int& present, Reporter& reporter, FailReason* why, Lang lang) {
    FooterCheck check;
    return hsc_check_footer_block(block, stored, key_check, present, reporter, why, lang, check);
}

int hsc_check_footer_block(std::string_view block, const StoredSettings& stored, const std::string* key_check,
                           int& present, Reporter& reporter, FailReason* why, Lang lang, FooterCheck& check) {
    present = FOOTER_ABSENT;
    check.strong.reset();
    check.pending.reset();
    check.verified = false;
    check.no_backup = false;
    check.format = FooterFormat::original;
    const auto footer = parse_footer(bytes_of(block));
    if (!footer) return RC_OK;
    present = FOOTER_PRESENT;
    check.format = check.original_only ? FooterFormat::original : footer_format(*footer);
    // Nothing to verify and nothing to restore from: the caller says what to do instead.
    if (!check.original_only && footer_without_backup(*footer)) {
        check.no_backup = true;
        return RC_OK;
    }

    const auto refuse = [&](FailReason reason, const std::string& text) {
        if (why) *why = reason;
        reporter.error(text);
        return RC_REFUSED;
    };
    if (footer->file_mode && footer->hash && !stored.is_file_hash)
        return refuse(FailReason::key_file_required, say(lang, Msg::key_file_required));

    if (check.format == FooterFormat::strong) {
        const auto parameters = strong_parameters(*footer);
        if (!parameters) return refuse(FailReason::damaged, say(lang, Msg::footer_damaged, {"FORMAT, KDF, OPS, MEM, SALT, CHECK"}));
        if (footer->file_mode && !key_file_secret(stored.key_file))
            return refuse(FailReason::key_file_unreadable, say(lang, Msg::key_file_unreadable, {stored.key_file}));
        check.pending = PendingDerivation{*footer, parameters->salt, parameters->cost, parameters->has_check};
        if (check.defer_derivation) return RC_OK;
        return finish_strong_check(check, derive_pending(stored, *check.pending), stored, reporter, why, lang);
    }

    // The short form records no hash, nor does the tagged form without a check: nothing
    // to verify.
    if (!footer->hash) return RC_OK;
    const std::string* tag = footer_extension(*footer, "CHECK");
    if (check.format == FooterFormat::tagged && *tag != FOOTER_CHECK_TAGGED) {
        if (*tag == FOOTER_CHECK_NONE) return RC_OK;
        return refuse(FailReason::damaged, say(lang, Msg::footer_damaged, {"CHECK"}));
    }
    std::string secret;
    if (!check_secret(stored, footer->file_mode, key_check, secret))
        return refuse(FailReason::key_file_unreadable, say(lang, Msg::key_file_unreadable, {stored.key_file}));
    // A key file's check value is its digest already; the tagged form digests it again.
    const std::string hash = check.format == FooterFormat::tagged ? tagged_digest(secret)
                             : footer->file_mode                  ? secret
                                                                  : password_digest(secret);
    if (equals_ignoring_case(hash, *footer->hash)) return RC_OK;
    return mismatch(*footer, refuse, lang);
}


std::optional<StrongKey> derive_pending(const StoredSettings& stored, const PendingDerivation& pending) {
    return derive_strong_key(stored, pending.footer.file_mode, pending.salt, pending.cost);
}

int finish_strong_check(FooterCheck& check, std::optional<StrongKey> key, const StoredSettings& stored,
                        Reporter& reporter, FailReason* why, Lang lang) {
    const auto refuse = [&](FailReason reason, const std::string& text) {
        if (why) *why = reason;
        reporter.error(text);
        return RC_REFUSED;
    };
    const PendingDerivation& pending = *check.pending;
    if (!key && pending.footer.file_mode && !key_file_secret(stored.key_file))
        return refuse(FailReason::key_file_unreadable, say(lang, Msg::key_file_unreadable, {stored.key_file}));
    if (!key)
        return refuse(FailReason::out_of_memory,
                      say(lang, Msg::key_derivation_failed, {std::to_string(pending.cost.mem_bytes >> 20)}));
    if (pending.has_check && !equals_ignoring_case(key->check_hex(), *pending.footer.hash))
        return mismatch(pending.footer, refuse, lang, true);
    check.verified = pending.has_check;
    check.strong = std::move(key);
    check.pending.reset();
    return RC_OK;
}

FooterInfo read_footer_info(std::string_view block) {
    FooterInfo info;
    const auto footer = parse_footer(bytes_of(block));
    if (!footer) return info;
    info.present = true;
    info.file_mode = footer->file_mode;
    // A check value is recorded: the full form, unless it says it holds none.
    const std::string* check = footer_extension(*footer, "CHECK");
    info.has_hash = footer->hash.has_value() && !(check && *check == FOOTER_CHECK_NONE);
    info.hint = unsealed_hint(*footer);
    info.version = footer->version;
    info.format = footer_format(*footer);
    info.no_backup = footer_without_backup(*footer);
    if (info.no_backup) info.has_hash = false;
    return info;
}

int hsc_read_footer(const std::filesystem::path& path, FooterInfo& info) {
    info = FooterInfo{};
    std::string block;
    if (int rc = read_last_block(path, block); rc != RC_OK) return rc;
    info = read_footer_info(block);
    return RC_OK;
}

}  // namespace hsc
