#include "protect/footer.h"

#include <cstdint>
#include <cstdio>
#include <strings.h>

#include "core/cp932.h"
#include "core/status.h"
#include "package/tokenizer.h"
#include "protect/crypto.h"
#include "protect/rfile.h"
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

bool file_digest(const std::string& key_file, std::string& hex) {
    if (key_file.empty()) return false;
    std::uint8_t digest[64];
    if (sha512_file(std::filesystem::path(key_file), digest) != RC_OK) return false;
    hex = hex_digest(digest);
    return true;
}

bool equals_ignoring_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// The last 512 bytes of the file. A file shorter than that cannot be positioned before
// its start; the read from where the position stayed then comes up short.
int read_last_block(const std::filesystem::path& path, std::string& block) {
    auto f = rfile_open(path, RFILE_READ);
    if (!f) return RC_OPEN;
    int rc = rfile_seek(*f, -static_cast<std::int32_t>(FOOTER_SIZE), RFILE_SEEK_END);
    if (rc != RC_OK) {
        rfile_close(std::move(f));
        return RC_SEEK;
    }
    block.assign(FOOTER_SIZE, '\0');
    std::size_t n = rfile_read(block.data(), FOOTER_SIZE, *f);
    rfile_close(std::move(f));
    return n < FOOTER_SIZE ? RC_SHORT_WRITE : RC_OK;
}

enum class Key { none, hint, file, hash, version };

struct FooterFields {
    std::string hint;  // unsealed, CP932
    bool file_y = false;
    bool has_hash = false;
    std::string version;
};

// Walks the record as key, "=", value triples. HINT and FILE are taken as they come;
// at the HASH value `on_hash` decides, and a non-zero answer ends the walk with it.
template <class OnHash>
int walk_record(std::string_view block, FooterFields& fields, OnHash on_hash) {
    std::string_view text = block.substr(0, std::min(block.find('\0'), block.size()));
    std::size_t position = 0;
    std::string token;
    Key key = Key::none;
    for (int step = 0;; step = (step + 1) % 3) {
        if (next_token(CHARSET_SJIS, text, position, token) != RC_OK) return RC_OK;
        if (step == 0) {
            key = equals_ignoring_case(token, "HASH")      ? Key::hash
                  : equals_ignoring_case(token, "HINT")    ? Key::hint
                  : equals_ignoring_case(token, "FILE")    ? Key::file
                  : equals_ignoring_case(token, "VERSION") ? Key::version
                                                           : Key::none;
        } else if (step == 2) {
            switch (key) {
                case Key::hint: {
                    strip_quotes(token);
                    std::string plain;
                    if (!token.empty() && unseal_text(token, SEAL_PASSWORD, plain) == RC_OK) fields.hint = plain;
                    break;
                }
                case Key::file: fields.file_y = equals_ignoring_case(token, "Y"); break;
                case Key::version: fields.version = token; break;
                case Key::hash:
                    fields.has_hash = true;
                    if (int rc = on_hash(token); rc != RC_OK) return rc;
                    break;
                case Key::none: break;
            }
        }
    }
}

std::string fill(std::string_view format, std::string_view value) {
    std::string text(format);
    if (auto at = text.find("%s"); at != std::string::npos) text.replace(at, 2, value);
    return text;
}

}  // namespace

int hsc_format_footer(const MaskSettings& stored, std::string& record) {
    std::string hash;
    if (stored.is_file_hash) {
        if (!file_digest(stored.key_file, hash)) return RC_REFUSED;
    } else {
        hash = password_digest(stored.password);
    }
    const char* file = stored.is_file_hash ? "Y" : "N";
    std::string text;
    if (stored.is_no_password) {
        text = std::string(FOOTER_HEAD) + " FILE=" + file;
    } else {
        const std::string& hint = stored.is_file_hash ? stored.keyfile_hint : stored.password_hint;
        std::string sealed;
        if (!hint.empty() && seal_text(hint, SEAL_PASSWORD, sealed) != RC_OK) return RC_FAIL;
        text = std::string(FOOTER_HEAD) + " HINT=\"" + sealed + "\" FILE=" + file + " HASH=" + hash;
    }
    // Hints are at most 32 bytes (64 sealed digits): the text stays far inside the record.
    if (text.size() >= FOOTER_SIZE) return RC_SIZE_LIMIT;
    record = text;
    record.resize(FOOTER_SIZE, '\0');
    return RC_OK;
}

int hsc_write_footer(const std::filesystem::path& path, const MaskSettings& stored) {
    std::string record;
    if (int rc = hsc_format_footer(stored, record); rc != RC_OK) return rc;
    auto f = rfile_open(path, RFILE_APPEND);
    if (!f) return RC_OPEN;
    auto fail = [&](int rc) {
        rfile_close(std::move(f));
        return rc;
    };
    if (rfile_seek(*f, -2, RFILE_SEEK_END) != RC_OK) return fail(RC_SEEK);
    const std::uint8_t length[2] = {static_cast<std::uint8_t>(FOOTER_SIZE & 0xFF),
                                    static_cast<std::uint8_t>(FOOTER_SIZE >> 8)};
    if (rfile_write(length, 2, *f) < 2) return fail(RC_SHORT_WRITE);
    if (rfile_write(record.data(), FOOTER_SIZE, *f) < FOOTER_SIZE) return fail(RC_SHORT_WRITE);
    if (rfile_sync(*f) != RC_OK) return fail(RC_SHORT_WRITE);
    rfile_close(std::move(f));
    return RC_OK;
}

int hsc_check_footer(const std::filesystem::path& path, const MaskSettings& stored, int& present,
                     Reporter& reporter, FailReason* why) {
    present = FOOTER_ABSENT;
    std::string block;
    if (int rc = read_last_block(path, block); rc != RC_OK) return rc;
    if (block.compare(0, FOOTER_PREFIX.size(), FOOTER_PREFIX) != 0) return RC_OK;
    present = FOOTER_PRESENT;

    const auto refuse = [&](FailReason reason, const std::string& text) {
        if (why) *why = reason;
        reporter.error(text);
        return RC_REFUSED;
    };
    FooterFields fields;
    return walk_record(block, fields, [&](std::string_view recorded) {
        std::string hash;
        if (fields.file_y) {
            if (!stored.is_file_hash)
                return refuse(FailReason::key_file_required, "ファイル認証モードで暗号化されています。処理を中断します。");
            if (!file_digest(stored.key_file, hash))
                return refuse(FailReason::key_file_unreadable,
                              fill("認証ファイル(%s)を読み込む事が出来ませんでした。処理を中断します。", stored.key_file));
        } else {
            hash = password_digest(stored.password);
        }
        if (equals_ignoring_case(hash, recorded)) return RC_OK;
        const std::string hint = cp932_display(fields.hint);
        if (fields.file_y)
            return refuse(FailReason::wrong_key_file,
                          hint.empty() ? std::string("認証ファイルが一致しませんでした。処理を中断します。")
                                       : fill("認証ファイルが一致しませんでした。ヒントは\"%s\"です。", hint));
        return refuse(FailReason::wrong_password,
                      hint.empty() ? std::string("パスワードが一致しませんでした。処理を中断します。")
                                   : fill("パスワードが一致しませんでした。ヒントは\"%s\"です。", hint));
    });
}

int hsc_read_footer(const std::filesystem::path& path, FooterInfo& info) {
    info = FooterInfo{};
    std::string block;
    if (int rc = read_last_block(path, block); rc != RC_OK) return rc;
    if (block.compare(0, FOOTER_PREFIX.size(), FOOTER_PREFIX) != 0) return RC_OK;
    info.present = true;
    FooterFields fields;
    walk_record(block, fields, [](std::string_view) { return RC_OK; });
    info.file_mode = fields.file_y;
    info.has_hash = fields.has_hash;
    info.hint = fields.hint;
    info.version = fields.version;
    return RC_OK;
}

}  // namespace hsc
