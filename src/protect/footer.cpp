#include "protect/footer.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <strings.h>

#include "core/cp932.h"
#include "core/status.h"
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
    return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
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

}  // namespace

const std::string* footer_extension(const FooterRecord& record, std::string_view key) {
    for (const auto& [k, v] : record.extensions)
        if (k == key) return &v;
    return nullptr;
}

bool key_file_check_value(const std::string& key_file, std::string& hex) {
    if (key_file.empty()) return false;
    std::uint8_t digest[64];
    if (sha512_file(std::filesystem::path(key_file), digest) != Status::ok) return false;
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

int hsc_format_footer(const StoredSettings& stored, std::string& record) {
    return hsc_format_footer(stored, nullptr, record);
}

int hsc_format_footer(const StoredSettings& stored, const std::string* key_check, std::string& record) {
    FooterRecord footer;
    footer.version = std::string(FOOTER_VERSION);
    footer.file_mode = stored.is_file_hash;
    // The digest is taken in both forms: an unreadable authentication file is refused alike.
    std::string hash;
    if (stored.is_file_hash) {
        if (!file_digest(stored, key_check, hash)) return RC_REFUSED;
    } else {
        hash = password_digest(stored.password);
    }
    if (!stored.is_no_password) {
        const std::string& hint = stored.is_file_hash ? stored.keyfile_hint : stored.password_hint;
        std::string sealed;
        if (!hint.empty() && seal_text(hint, SEAL_PASSWORD, sealed) != Status::ok) return RC_FAIL;
        footer.sealed_hint = sealed;
        footer.hash = hash;
    }
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
    std::string record;
    if (int rc = hsc_format_footer(stored, key_check, record); rc != RC_OK) return rc;
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
    present = FOOTER_ABSENT;
    const auto footer = parse_footer(bytes_of(block));
    if (!footer) return RC_OK;
    present = FOOTER_PRESENT;
    // The short form records no hash: nothing to verify.
    if (!footer->hash) return RC_OK;

    const auto refuse = [&](FailReason reason, const std::string& text) {
        if (why) *why = reason;
        reporter.error(text);
        return RC_REFUSED;
    };
    std::string hash;
    if (footer->file_mode) {
        if (!stored.is_file_hash)
            return refuse(FailReason::key_file_required, say(lang, Msg::key_file_required));
        if (!file_digest(stored, key_check, hash))
            return refuse(FailReason::key_file_unreadable,
                          say(lang, Msg::key_file_unreadable, {stored.key_file}));
    } else {
        hash = password_digest(stored.password);
    }
    if (equals_ignoring_case(hash, *footer->hash)) return RC_OK;
    const std::string hint = cp932_display(unsealed_hint(*footer));
    if (footer->file_mode)
        return refuse(FailReason::wrong_key_file,
                      hint.empty() ? say(lang, Msg::wrong_key_file) : say(lang, Msg::wrong_key_file_hint, {hint}));
    return refuse(FailReason::wrong_password,
                  hint.empty() ? say(lang, Msg::wrong_password) : say(lang, Msg::wrong_password_hint, {hint}));
}

FooterInfo read_footer_info(std::string_view block) {
    FooterInfo info;
    const auto footer = parse_footer(bytes_of(block));
    if (!footer) return info;
    info.present = true;
    info.file_mode = footer->file_mode;
    info.has_hash = footer->hash.has_value();
    info.hint = unsealed_hint(*footer);
    info.version = footer->version;
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
