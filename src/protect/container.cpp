#include "protect/container.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>

#include "core/status.h"
#include "os/file.h"
#include "protect/crypto.h"
#include "stream/byte_stream.h"

namespace hsc {
namespace {

constexpr int UNIT = 16;  // the format is defined for 16-byte units only
constexpr std::size_t DIGEST_PIECE = 1024;

// The stream of the routines' family, held on the stack: the routines allocate nothing.
class FamilyStream {
public:
    FamilyStream(const CryptStreams& streams, CryptStream s) {
        if (streams.stream_mode == 0) {
            if (s.mem) stream_ = &memory_.emplace(s.mem);
        } else if (s.file) {
            stream_ = &file_.emplace(s.file);
        }
    }
    FamilyStream(const FamilyStream&) = delete;
    FamilyStream& operator=(const FamilyStream&) = delete;
    // Null when the caller gave no stream of the family.
    ByteStream* get() { return stream_; }

private:
    std::optional<MemoryStream> memory_;
    std::optional<StdioStream> file_;
    ByteStream* stream_ = nullptr;
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
        if (kind == CIPHER_AES && aes_set_key(key_text, UNIT, aes) != Status::ok) return RC_FAIL;
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
void digest_and_count(ByteStream& io, std::uint8_t digest[16], std::int64_t& count) {
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
int read_trailer(ByteStream& container, TrailerInfo& info) {
    if (!container.seek(-CONTAINER_BLOCK, ByteStream::Origin::end)) return RC_SEEK;
    const std::int64_t trailer_at = container.tell();
    std::uint8_t block[CONTAINER_BLOCK];
    if (trailer_at < 0 || container.read(block, sizeof block) != sizeof block) return RC_SHORT_READ;
    if (std::memcmp(block + TRAILER_MAGIC, CONTAINER_MAGIC.data(), CONTAINER_MAGIC.size()) != 0)
        return RC_BAD_MAGIC;
    const auto trailer = parse_trailer(block);
    if (!trailer) return RC_BAD_MAGIC;
    // The payload the source size needs must be there, and be all there is before the trailer.
    const std::int64_t payload = static_cast<std::int64_t>(trailer->source_size) + trailer->pad_count;
    if (trailer_at < payload) return RC_SHORT_READ;
    if (static_cast<std::int64_t>(trailer->payload_length) != payload || trailer_at != payload) return RC_BAD_MAGIC;
    if (!container.seek(0, ByteStream::Origin::start)) return RC_SEEK;
    info.source_size = trailer->source_size;
    std::memcpy(info.digest, trailer->digest.data(), sizeof info.digest);
    return RC_OK;
}

// Notes why a restore is refused: the backup does not give back what it holds.
void note_damaged_backup(MfileRegistry& reg, std::string_view backup_name, int rc) {
    if (rc != RC_BAD_MAGIC && rc != RC_SHORT_READ && rc != RC_SEEK) return;
    reg.refusal = Refusal(RefusalKind::damaged_backup, std::string(backup_name));
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
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(os::open_stream(path, "rb"), &std::fclose);
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
    FamilyStream io(streams, stream);
    if (!io.get()) return RC_FAIL;
    std::int64_t count = 0;
    digest_and_count(*io.get(), digest, count);
    return RC_OK;
}

int tiv_encrypt_stream(const CryptStreams& streams, const tiv_crypt_key& key, CryptStream source,
                       CryptStream destination) {
    UnitCipher cipher;
    if (cipher.init(key) != RC_OK) return RC_FAIL;
    FamilyStream source_stream(streams, source), destination_stream(streams, destination);
    if (!source_stream.get() || !destination_stream.get()) return RC_FAIL;
    ByteStream& in = *source_stream.get();
    ByteStream& out = *destination_stream.get();

    std::uint8_t digest[16];
    std::int64_t counted = 0;
    digest_and_count(in, digest, counted);
    // The block loop trusts the recorded size to find the last unit: a stream that differs
    // from it would give a container that cannot restore it.
    if (counted != key.source_size) return RC_FAIL;
    if (!in.seek(0, ByteStream::Origin::start)) return RC_SEEK;

    const std::int64_t source_size = key.source_size;
    std::int64_t processed = 0;
    bool last = false;
    int pad = 0;
    std::uint8_t block[CONTAINER_BLOCK];
    std::uint8_t sealed[CONTAINER_BLOCK];
    std::uint8_t unit[UNIT];
    for (;;) {
        if (in.at_end()) last = true;
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

    ContainerTrailer record = trailer_for_size(static_cast<std::uint32_t>(source_size));
    std::memcpy(record.digest.data(), digest, sizeof digest);
    record.source_name = std::string_view(key.source_name, strnlen(key.source_name, CONTAINER_MAX_NAME));
    const auto trailer = write_trailer(record);
    // The block loop and the size rule agree on the payload; a difference is a fault here.
    if (record.payload_length != processed || record.pad_count != pad) return RC_FAIL;
    if (out.write(trailer.data(), trailer.size()) != trailer.size()) return RC_SHORT_WRITE;
    return RC_OK;
}

namespace {

// One pass over the payload: deciphers the blocks that hold the source, feeds the plain
// bytes to MD5 and, when `out` is given, writes them.
int decrypt_pass(ByteStream& in, const UnitCipher& cipher, std::int64_t source_size, ByteStream* out,
                 std::uint8_t digest[16]) {
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
int verify_container(ByteStream& in, const tiv_crypt_key& key, TrailerInfo& info, UnitCipher& cipher) {
    if (int rc = read_trailer(in, info); rc != RC_OK) return rc;
    if (cipher.init(key) != RC_OK) return RC_FAIL;
    std::uint8_t digest[16];
    if (int rc = decrypt_pass(in, cipher, info.source_size, nullptr, digest); rc != RC_OK) return rc;
    if (std::memcmp(digest, info.digest, sizeof digest) != 0) return RC_BAD_MAGIC;
    return in.seek(0, ByteStream::Origin::start) ? RC_OK : RC_SEEK;
}

}  // namespace

int tiv_decrypt_stream(const CryptStreams& streams, const tiv_crypt_key& key, CryptStream container,
                       CryptStream destination) {
    FamilyStream in(streams, container), out(streams, destination);
    if (!in.get() || !out.get()) return RC_FAIL;
    TrailerInfo info;
    UnitCipher cipher;
    if (int rc = verify_container(*in.get(), key, info, cipher); rc != RC_OK) return rc;
    std::uint8_t digest[16];
    return decrypt_pass(*in.get(), cipher, info.source_size, out.get(), digest);
}

int container_source_size(MfileRegistry& registry, std::string_view backup_name, std::int64_t& size) {
    if (!has_live_stream(registry, backup_name)) return RC_OPEN;
    Mfile* in = mopen(registry, backup_name, "rb");
    if (!in) return RC_OPEN;
    MemoryStream container(in);
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
    MemoryStream container(in);
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
    MemoryStream container(in), plain(out);
    std::uint8_t digest[16];
    const int rc = decrypt_pass(container, cipher, info.source_size, &plain, digest);
    mclose(in);
    mclose(out);
    if (rc != RC_OK) mremove(registry, plain_name);
    return rc;
}

int decipher_stream_once(MfileRegistry& registry, std::string_view backup_name, std::string_view plain_name,
                         std::string_view password) {
    if (plain_name == backup_name) return RC_FAIL;
    const CryptStreams streams{0, &registry};
    tiv_crypt_key key;
    if (int rc = tiv_crypt_key_init(streams, key, backup_name, password, CIPHER_AES, 128); rc != RC_OK) return rc;
    if (!has_live_stream(registry, backup_name)) return RC_OPEN;
    Mfile* in = mopen(registry, backup_name, "rb");
    if (!in) return RC_OPEN;
    MemoryStream container(in);
    TrailerInfo info;
    UnitCipher cipher;
    int rc = read_trailer(container, info);
    if (rc == RC_OK && cipher.init(key) != RC_OK) rc = RC_FAIL;
    Mfile* out = rc == RC_OK ? mopen(registry, plain_name, "wb") : nullptr;
    if (rc == RC_OK && !out) rc = RC_OPEN;
    // The whole plain text at once: no growth copies on the way.
    if (rc == RC_OK && mreserve(out, info.source_size) != Status::ok) rc = RC_FAIL;
    std::uint8_t digest[16];
    if (rc == RC_OK) {
        MemoryStream plain(out);
        rc = decrypt_pass(container, cipher, info.source_size, &plain, digest);
    }
    if (rc == RC_OK && std::memcmp(digest, info.digest, sizeof digest) != 0) rc = RC_BAD_MAGIC;
    mclose(in);
    if (out) mclose(out);
    if (rc != RC_OK) {
        mremove(registry, plain_name);
        note_damaged_backup(registry, backup_name, rc);
    }
    return rc;
}

ContainerTrailer trailer_for_size(std::uint32_t source_size) {
    ContainerTrailer t;
    t.source_size = source_size;
    const std::uint32_t in_last = source_size % CONTAINER_BLOCK;
    t.pad_count = static_cast<std::uint16_t>(in_last == 0 ? 0 : CONTAINER_BLOCK - in_last);
    t.payload_length = source_size + t.pad_count;
    return t;
}

std::optional<ContainerTrailer> parse_trailer(std::span<const std::uint8_t> block) {
    if (block.size() != CONTAINER_BLOCK) return std::nullopt;
    const std::uint8_t* b = block.data();
    if (std::memcmp(b + TRAILER_MAGIC, CONTAINER_MAGIC.data(), CONTAINER_MAGIC.size()) != 0) return std::nullopt;
    ContainerTrailer t;
    get_u32_le(b + TRAILER_VERSION, t.version);
    get_u32_le(b + TRAILER_RESERVED, t.reserved);
    get_u32_le(b + TRAILER_PAYLOAD_LENGTH, t.payload_length);
    get_u32_le(b + TRAILER_SOURCE_SIZE, t.source_size);
    get_u16_le(b + TRAILER_PAD_COUNT, t.pad_count);
    std::memcpy(t.digest.data(), b + TRAILER_DIGEST, t.digest.size());
    std::uint16_t name_length = 0;
    get_u16_le(b + TRAILER_NAME_LENGTH, name_length);
    if (name_length > CONTAINER_MAX_NAME) return std::nullopt;
    if (t.pad_count != trailer_for_size(t.source_size).pad_count) return std::nullopt;
    const auto rest = block.subspan(TRAILER_NAME + name_length);
    if (std::any_of(rest.begin(), rest.end(), [](std::uint8_t c) { return c != 0; })) return std::nullopt;
    t.source_name = std::string_view(reinterpret_cast<const char*>(b + TRAILER_NAME), name_length);
    return t;
}

std::array<std::uint8_t, CONTAINER_BLOCK> write_trailer(const ContainerTrailer& t) {
    std::array<std::uint8_t, CONTAINER_BLOCK> block{};
    std::uint8_t* b = block.data();
    std::memcpy(b + TRAILER_MAGIC, CONTAINER_MAGIC.data(), CONTAINER_MAGIC.size());
    put_u32_le(b + TRAILER_VERSION, t.version);
    put_u32_le(b + TRAILER_RESERVED, t.reserved);
    put_u32_le(b + TRAILER_PAYLOAD_LENGTH, t.payload_length);
    put_u32_le(b + TRAILER_SOURCE_SIZE, t.source_size);
    put_u16_le(b + TRAILER_PAD_COUNT, t.pad_count);
    std::memcpy(b + TRAILER_DIGEST, t.digest.data(), t.digest.size());
    const std::size_t name_length = std::min(t.source_name.size(), CONTAINER_MAX_NAME);
    put_u16_le(b + TRAILER_NAME_LENGTH, static_cast<std::uint16_t>(name_length));
    std::memcpy(b + TRAILER_NAME, t.source_name.data(), name_length);
    return block;
}

}  // namespace hsc
