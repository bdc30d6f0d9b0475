#include "protect/container.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "core/status.h"
#include "protect/crypto.h"

namespace hsc {
namespace {

constexpr int UNIT = 16;  // the format is defined for 16-byte units only
constexpr std::size_t DIGEST_PIECE = 1024;

// One stream of either family behind the four operations the container needs.
class Io {
public:
    Io(const CryptStreams& streams, CryptStream s) : memory_(streams.stream_mode == 0), s_(s) {}

    bool valid() const { return memory_ ? s_.mem != nullptr : s_.file != nullptr; }
    std::size_t read(void* dst, std::size_t n) {
        return memory_ ? mread(dst, 1, n, s_.mem) : std::fread(dst, 1, n, s_.file);
    }
    std::size_t write(const void* src, std::size_t n) {
        return memory_ ? mwrite(src, 1, n, s_.mem) : std::fwrite(src, 1, n, s_.file);
    }
    // origin 0: from the start; 2: from the end. True on success.
    bool seek(std::int64_t offset, int origin) {
        if (memory_) return mseek(s_.mem, offset, origin) == 0;
        return std::fseek(s_.file, static_cast<long>(offset), origin == 0 ? SEEK_SET : SEEK_END) == 0;
    }
    std::int64_t tell() const { return memory_ ? mtell(s_.mem) : std::ftell(s_.file); }
    bool eof() const { return memory_ ? meof(s_.mem) != 0 : std::feof(s_.file) != 0; }

private:
    bool memory_;
    CryptStream s_;
};

// The cipher of one stream routine, keyed from the record. Lives on the stack.
struct UnitCipher {
    std::uint32_t kind = CIPHER_AES;
    aes_context aes;
    std::uint8_t key_text[UNIT] = {};  // a copy: the cipher may outlive the key record

    // -1 for kinds that cannot protect anything.
    int init(const tiv_crypt_key& key) {
        if (key.cipher_kind != CIPHER_XOR && key.cipher_kind != CIPHER_AES) return RC_FAIL;
        if (key.key_bytes != UNIT) return RC_FAIL;
        kind = key.cipher_kind;
        std::memcpy(key_text, key.key_text, UNIT);
        if (kind == CIPHER_AES && aes_set_key(key_text, UNIT, aes) != 0) return RC_FAIL;
        return RC_OK;
    }
    // `units` independent units at once: the AES instructions take many side by side.
    void encrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t units = 1) const {
        if (kind == CIPHER_AES) {
            aes_encrypt_blocks(in, out, units, aes);
            return;
        }
        for (std::size_t i = 0; i < units; ++i) xor_unit(in + UNIT * i, key_text, UNIT, out + UNIT * i);
    }
    void decrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t units = 1) const {
        if (kind == CIPHER_AES) {
            aes_decrypt_blocks(in, out, units, aes);
            return;
        }
        for (std::size_t i = 0; i < units; ++i) xor_unit(in + UNIT * i, key_text, UNIT, out + UNIT * i);
    }
};

constexpr int UNITS_PER_BLOCK = CONTAINER_BLOCK / UNIT;

// Units of a block, from its start, that lie wholly before the unit holding the last
// source byte, when `remaining` source bytes start at the block (the strict rule: the
// unit that ends exactly at the source size is the last one).
int units_before_last(std::int64_t remaining) {
    if (remaining <= UNIT) return 0;
    return static_cast<int>(std::min<std::int64_t>(UNITS_PER_BLOCK, (remaining - 1) / UNIT));
}

// MD5 of the rest of the stream and the number of bytes it had.
void digest_and_count(Io& io, std::uint8_t digest[16], std::int64_t& count) {
    md5_context ctx;
    md5_init(ctx);
    std::uint8_t piece[DIGEST_PIECE];
    count = 0;
    for (;;) {
        const std::size_t got = io.read(piece, sizeof piece);
        if (got == 0) break;
        md5_update(ctx, piece, got);
        count += static_cast<std::int64_t>(got);
    }
    md5_final(ctx, digest);
}

struct TrailerInfo {
    std::int64_t source_size = 0;
    std::uint8_t digest[16] = {};
};

// Reads and checks the trailer; leaves the container at its start. Everything the
// trailer says about the container must agree with it: the payload length is the
// container's length less the trailer, the payload holds exactly the blocks the source
// size needs, and the pad count is the one the writer derives from the source size.
// A damaged container is refused here rather than decrypted into a wrong length.
int read_trailer(Io& container, TrailerInfo& info) {
    if (!container.seek(-CONTAINER_BLOCK, 2)) return RC_SEEK;
    const std::int64_t trailer_at = container.tell();
    std::uint8_t trailer[CONTAINER_BLOCK];
    if (trailer_at < 0 || container.read(trailer, sizeof trailer) != sizeof trailer) return RC_SHORT_READ;
    if (std::memcmp(trailer + TRAILER_MAGIC, CONTAINER_MAGIC.data(), CONTAINER_MAGIC.size()) != 0)
        return RC_BAD_MAGIC;
    std::uint32_t payload_length = 0, size = 0;
    std::uint16_t pad = 0;
    get_u32_le(trailer + TRAILER_PAYLOAD_LENGTH, payload_length);
    get_u32_le(trailer + TRAILER_SOURCE_SIZE, size);
    get_u16_le(trailer + TRAILER_PAD_COUNT, pad);
    const std::int64_t in_last = size % CONTAINER_BLOCK;
    if (pad != (in_last == 0 ? 0 : CONTAINER_BLOCK - in_last)) return RC_BAD_MAGIC;
    const std::int64_t payload = (static_cast<std::int64_t>(size) + pad);
    if (trailer_at < payload) return RC_SHORT_READ;
    if (static_cast<std::int64_t>(payload_length) != payload || trailer_at != payload) return RC_BAD_MAGIC;
    if (!container.seek(0, 0)) return RC_SEEK;
    info.source_size = size;
    std::memcpy(info.digest, trailer + TRAILER_DIGEST, sizeof info.digest);
    return RC_OK;
}

// Tells the user why a restore is refused: the backup does not give back what it holds.
void note_damaged_backup(MfileRegistry& reg, std::string_view backup_name, int rc) {
    if (rc != RC_BAD_MAGIC && rc != RC_SHORT_READ && rc != RC_SEEK) return;
    reg.refusal = "バックアップ(" + std::string(backup_name) +
                  ")が破損しているか、別のパスワードでマスクされています。元のテキストを復元できないため、処理を中断します。";
}

bool has_live_stream(const MfileRegistry& reg, std::string_view name) {
    for (const auto& f : reg.slots)
        if (f->state != MFILE_REMOVED && f->name == name) return true;
    return false;
}

}  // namespace

int tiv_crypt_key_init(const CryptStreams& streams, tiv_crypt_key& key, std::string_view source_name,
                       std::string_view password, std::uint32_t cipher_kind, int key_bits) {
    if (source_name.size() > CONTAINER_MAX_NAME || source_name.find('\0') != std::string_view::npos)
        return RC_FAIL;
    if (password.size() > CONTAINER_MAX_PASSWORD) return RC_FAIL;
    if (key_bits != 128) return RC_FAIL;

    std::int64_t size = 0;
    if (streams.stream_mode == 0) {
        if (!streams.registry) return RC_FAIL;
        size = msize(*streams.registry, source_name);
    } else {
        const std::filesystem::path path{std::string(source_name)};
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
        if (!file) return RC_FAIL;
        std::error_code ec;
        const auto bytes = std::filesystem::file_size(path, ec);
        if (ec) return RC_FAIL;
        if (bytes > static_cast<std::uintmax_t>(INT32_MAX)) return RC_SIZE_LIMIT;
        size = static_cast<std::int64_t>(bytes);
    }
    if (size > INT32_MAX) return RC_SIZE_LIMIT;

    key = tiv_crypt_key{};
    std::memcpy(key.source_name, source_name.data(), source_name.size());
    key.cipher_kind = cipher_kind;
    key.key_bits = key_bits;
    key.key_bytes = key_bits / 8;
    std::memcpy(key.key_text, BUILTIN_KEY_TEXT.data(), BUILTIN_KEY_TEXT.size());
    std::memcpy(key.key_text, password.data(), password.size());
    key.source_size = static_cast<std::int32_t>(size);
    return RC_OK;
}

int tiv_stream_digest(const CryptStreams& streams, CryptStream stream, std::uint8_t digest[16]) {
    Io io(streams, stream);
    if (!io.valid()) return RC_FAIL;
    std::int64_t count = 0;
    digest_and_count(io, digest, count);
    return RC_OK;
}

int tiv_encrypt_stream(const CryptStreams& streams, const tiv_crypt_key& key, CryptStream source,
                       CryptStream destination) {
    UnitCipher cipher;
    if (cipher.init(key) != RC_OK) return RC_FAIL;
    Io in(streams, source), out(streams, destination);
    if (!in.valid() || !out.valid()) return RC_FAIL;

    std::uint8_t digest[16];
    std::int64_t counted = 0;
    digest_and_count(in, digest, counted);
    // The block loop trusts the recorded size to find the last unit: a stream that differs
    // from it would give a container that cannot restore it.
    if (counted != key.source_size) return RC_FAIL;
    if (!in.seek(0, 0)) return RC_SEEK;

    const std::int64_t source_size = key.source_size;
    std::int64_t processed = 0;
    bool last = false;
    int pad = 0;
    std::uint8_t block[CONTAINER_BLOCK];
    std::uint8_t sealed[CONTAINER_BLOCK];
    std::uint8_t unit[UNIT];
    for (;;) {
        if (in.eof()) last = true;
        if (last) break;
        const std::size_t n = in.read(block, sizeof block);
        if (n == 0) break;
        const int whole = units_before_last(source_size - processed);
        if (static_cast<std::size_t>(whole * UNIT) > n) return RC_SHORT_READ;
        cipher.encrypt(block, sealed, static_cast<std::size_t>(whole));
        if (whole < UNITS_PER_BLOCK) {
            // The last unit: the bytes left, zero-filled; nothing after it is enciphered.
            const int offset = whole * UNIT;
            if (static_cast<std::size_t>(offset) >= n) return RC_SHORT_READ;
            std::memset(unit, 0, sizeof unit);
            std::memcpy(unit, block + offset, std::min<std::size_t>(n - offset, UNIT));
            cipher.encrypt(unit, sealed + offset);
            std::memset(sealed + offset + UNIT, 0, CONTAINER_BLOCK - offset - UNIT);
            pad = CONTAINER_BLOCK - static_cast<int>(n);
            last = true;
        }
        if (out.write(sealed, sizeof sealed) != sizeof sealed) return RC_SHORT_WRITE;
        processed += CONTAINER_BLOCK;
    }

    std::uint8_t trailer[CONTAINER_BLOCK] = {};
    std::memcpy(trailer + TRAILER_MAGIC, CONTAINER_MAGIC.data(), CONTAINER_MAGIC.size());
    put_u32_le(trailer + TRAILER_VERSION, CONTAINER_VERSION);
    put_u32_le(trailer + TRAILER_RESERVED, 0);
    put_u32_le(trailer + TRAILER_PAYLOAD_LENGTH, static_cast<std::uint32_t>(processed));
    put_u32_le(trailer + TRAILER_SOURCE_SIZE, static_cast<std::uint32_t>(source_size));
    put_u16_le(trailer + TRAILER_PAD_COUNT, static_cast<std::uint16_t>(pad));
    std::memcpy(trailer + TRAILER_DIGEST, digest, sizeof digest);
    const std::size_t name_length = strnlen(key.source_name, CONTAINER_MAX_NAME);
    put_u16_le(trailer + TRAILER_NAME_LENGTH, static_cast<std::uint16_t>(name_length));
    std::memcpy(trailer + TRAILER_NAME, key.source_name, name_length);
    if (out.write(trailer, sizeof trailer) != sizeof trailer) return RC_SHORT_WRITE;
    return RC_OK;
}

namespace {

// One pass over the payload: deciphers the blocks that hold the source, feeds the plain
// bytes to MD5 and, when `out` is given, writes them.
int decrypt_pass(Io& in, const UnitCipher& cipher, std::int64_t source_size, Io* out, std::uint8_t digest[16]) {
    md5_context md5;
    md5_init(md5);
    std::int64_t written = 0;
    std::uint8_t block[CONTAINER_BLOCK];
    std::uint8_t plain[CONTAINER_BLOCK];
    while (written < source_size) {
        // The trailer check made sure every needed block is there.
        if (in.read(block, sizeof block) != sizeof block) return RC_SHORT_READ;
        // Every unit up to the one that holds the last source byte.
        const std::int64_t remaining = source_size - written;
        const int whole = units_before_last(remaining);
        const int units = std::min(whole + 1, UNITS_PER_BLOCK);
        cipher.decrypt(block, plain, static_cast<std::size_t>(units));
        const std::size_t out_count = whole < UNITS_PER_BLOCK ? static_cast<std::size_t>(remaining) : CONTAINER_BLOCK;
        md5_update(md5, plain, out_count);
        if (out && out->write(plain, out_count) != out_count) return RC_SHORT_WRITE;
        written += static_cast<std::int64_t>(out_count);
    }
    md5_final(md5, digest);
    return RC_OK;
}

}  // namespace

namespace {

// Checks the trailer and proves, by a first pass that writes nothing, that this key gives
// back the source whose digest the trailer holds. The container holds no check of the
// key, so this is what keeps a damaged backup or another password from writing garbage as
// "restored" text. Leaves the container at its start.
int verify_container(Io& in, const tiv_crypt_key& key, TrailerInfo& info, UnitCipher& cipher) {
    if (int rc = read_trailer(in, info); rc != RC_OK) return rc;
    if (cipher.init(key) != RC_OK) return RC_FAIL;
    std::uint8_t digest[16];
    if (int rc = decrypt_pass(in, cipher, info.source_size, nullptr, digest); rc != RC_OK) return rc;
    if (std::memcmp(digest, info.digest, sizeof digest) != 0) return RC_BAD_MAGIC;
    return in.seek(0, 0) ? RC_OK : RC_SEEK;
}

}  // namespace

int tiv_decrypt_stream(const CryptStreams& streams, const tiv_crypt_key& key, CryptStream container,
                       CryptStream destination) {
    Io in(streams, container), out(streams, destination);
    if (!in.valid() || !out.valid()) return RC_FAIL;
    TrailerInfo info;
    UnitCipher cipher;
    if (int rc = verify_container(in, key, info, cipher); rc != RC_OK) return rc;
    std::uint8_t digest[16];
    return decrypt_pass(in, cipher, info.source_size, &out, digest);
}

int container_source_size(MfileRegistry& registry, std::string_view backup_name, std::int64_t& size) {
    if (!has_live_stream(registry, backup_name)) return RC_OPEN;
    Mfile* in = mopen(registry, backup_name, "rb");
    if (!in) return RC_OPEN;
    Io container(CryptStreams{0, &registry}, {in, nullptr});
    TrailerInfo info;
    const int rc = read_trailer(container, info);
    mclose(in);
    if (rc == RC_OK) size = info.source_size;
    return rc;
}

int encrypt_stream_to(MfileRegistry& registry, std::string_view plain_name, std::string_view backup_name,
                      std::string_view password) {
    if (plain_name == backup_name) return RC_FAIL;
    const CryptStreams streams{0, &registry};
    tiv_crypt_key key;
    if (int rc = tiv_crypt_key_init(streams, key, plain_name, password, CIPHER_AES, 128); rc != RC_OK) return rc;
    if (!has_live_stream(registry, plain_name)) return RC_OPEN;
    Mfile* in = mopen(registry, plain_name, "rb");
    if (!in) return RC_OPEN;
    Mfile* out = mopen(registry, backup_name, "wb");
    if (!out) {
        mclose(in);
        return RC_OPEN;
    }
    const int rc = tiv_encrypt_stream(streams, key, {in, nullptr}, {out, nullptr});
    mclose(in);
    mclose(out);
    if (rc != RC_OK) mremove(registry, backup_name);
    return rc;
}

namespace {

// A backup opened for reading whose trailer and digest have been checked with this
// password; `in` is left open at its start for the caller to close. Sets the refusal
// text for a backup that does not give back its source.
int open_verified(MfileRegistry& registry, std::string_view backup_name, std::string_view password, Mfile*& in,
                  TrailerInfo& info, UnitCipher& cipher) {
    in = nullptr;
    const CryptStreams streams{0, &registry};
    tiv_crypt_key key;
    if (int rc = tiv_crypt_key_init(streams, key, backup_name, password, CIPHER_AES, 128); rc != RC_OK) return rc;
    if (!has_live_stream(registry, backup_name)) return RC_OPEN;
    in = mopen(registry, backup_name, "rb");
    if (!in) return RC_OPEN;
    Io container(streams, {in, nullptr});
    const int rc = verify_container(container, key, info, cipher);
    if (rc != RC_OK) {
        mclose(in);
        in = nullptr;
        note_damaged_backup(registry, backup_name, rc);
    }
    return rc;
}

}  // namespace

int verify_stream(MfileRegistry& registry, std::string_view backup_name, std::string_view password) {
    Mfile* in = nullptr;
    TrailerInfo info;
    UnitCipher cipher;
    const int rc = open_verified(registry, backup_name, password, in, info, cipher);
    if (in) mclose(in);
    return rc;
}

int decrypt_stream_to(MfileRegistry& registry, std::string_view backup_name, std::string_view plain_name,
                      std::string_view password) {
    if (plain_name == backup_name) return RC_FAIL;
    // The part is opened for writing only once the backup has proved itself.
    Mfile* in = nullptr;
    TrailerInfo info;
    UnitCipher cipher;
    if (int rc = open_verified(registry, backup_name, password, in, info, cipher); rc != RC_OK) return rc;
    Mfile* out = mopen(registry, plain_name, "wb");
    if (!out) {
        mclose(in);
        return RC_OPEN;
    }
    const CryptStreams streams{0, &registry};
    Io container(streams, {in, nullptr}), plain(streams, {out, nullptr});
    std::uint8_t digest[16];
    const int rc = decrypt_pass(container, cipher, info.source_size, &plain, digest);
    mclose(in);
    mclose(out);
    if (rc != RC_OK) mremove(registry, plain_name);
    return rc;
}

}  // namespace hsc
