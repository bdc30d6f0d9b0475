#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "stream/mfile.h"

// The encrypted stream container that holds the backups: 512-byte blocks of AES units,
// then a 512-byte trailer starting "TIVA".
namespace hsc {

inline constexpr std::uint32_t CIPHER_XOR = 0;
inline constexpr std::uint32_t CIPHER_AES = 1;
inline constexpr std::uint32_t CIPHER_RESERVED = 2;
inline constexpr int CONTAINER_BLOCK = 512;

struct tiv_crypt_key {
    std::uint32_t cipher_kind = CIPHER_AES;
    std::int32_t key_bytes = 16;
    std::int32_t key_bits = 128;
    char key_text[33] = {};
    char source_name[259] = {};
    std::int32_t source_size = 0;
};

// Which stream family the routines work on: memory streams of a registry, or files.
struct CryptStreams {
    int stream_mode = 0;                // 0: memory streams; other: buffered files
    MfileRegistry* registry = nullptr;  // for stream_mode 0
};

// A stream of either family; exactly one of the two is set.
struct CryptStream {
    Mfile* mem = nullptr;
    std::FILE* file = nullptr;
};

// The built-in key text; the password's bytes are laid over its start.
inline constexpr std::string_view BUILTIN_KEY_TEXT = "Hq3vN8wLz2Tc5Kp0Yd7Rb1Xs9Fm4Ge6J";
inline constexpr std::string_view CONTAINER_MAGIC = "TIVA";
inline constexpr std::uint32_t CONTAINER_VERSION = 1000;
inline constexpr std::size_t CONTAINER_MAX_NAME = 255;     // fits the trailer's name field
inline constexpr std::size_t CONTAINER_MAX_PASSWORD = 32;  // the key text's capacity
// Trailer offsets.
inline constexpr int TRAILER_MAGIC = 0;
inline constexpr int TRAILER_VERSION = 4;
inline constexpr int TRAILER_RESERVED = 8;
inline constexpr int TRAILER_PAYLOAD_LENGTH = 12;
inline constexpr int TRAILER_SOURCE_SIZE = 16;
inline constexpr int TRAILER_PAD_COUNT = 20;
inline constexpr int TRAILER_DIGEST = 22;
inline constexpr int TRAILER_NAME_LENGTH = 38;
inline constexpr int TRAILER_NAME = 40;

// The trailer block as a value. Reading and writing it are pure: bytes in, bytes out.
struct ContainerTrailer {
    std::uint32_t version = CONTAINER_VERSION;  // not examined by readers
    std::uint32_t reserved = 0;                 // not examined by readers
    std::uint32_t payload_length = 0;
    std::uint32_t source_size = 0;
    std::uint16_t pad_count = 0;
    std::array<std::uint8_t, 16> digest{};  // MD5 of the plain source
    // At most CONTAINER_MAX_NAME bytes. A view, so that the routines allocate nothing: from
    // parse_trailer it points into the block it was given.
    std::string_view source_name;
    bool operator==(const ContainerTrailer&) const = default;
};
// The pad count and payload length a source of `source_size` bytes gives.
ContainerTrailer trailer_for_size(std::uint32_t source_size);
// A 512-byte trailer that agrees with itself: the magic, a name of at most 255 bytes with
// only zero bytes after it, and the pad count that follows from the source size. Anything
// else, of any length other than 512, gives nothing. Whatever is accepted writes back to
// the same 512 bytes. Whether the payload length fits the container is the reader's check.
std::optional<ContainerTrailer> parse_trailer(std::span<const std::uint8_t> block);
// The trailer block; a name longer than 255 bytes is cut there.
std::array<std::uint8_t, CONTAINER_BLOCK> write_trailer(const ContainerTrailer& trailer);

// Builds the key record for one source. 0; -1 when the name is longer than 255 bytes, the
// password longer than 32, the key length not 128 bits, or (files) the source cannot be
// opened; -9 when the source is larger than the 32-bit size field holds.
int tiv_crypt_key_init(const CryptStreams& streams, tiv_crypt_key& key, std::string_view source_name,
                       std::string_view password, std::uint32_t cipher_kind, int key_bits);
// The routines never open or close the streams. Both refuse (-1) cipher kinds other than
// CIPHER_XOR and CIPHER_AES: the reserved kind has no cipher and would store plain units.
// 0; -1 bad kind, or the source's length differs from the size in the key record;
// -102 the source got shorter while reading; -103 short write; -104 cannot rewind.
int tiv_encrypt_stream(const CryptStreams& streams, const tiv_crypt_key& key, CryptStream source,
                       CryptStream destination);
// 0 with exactly the source size written; -104 container shorter than 512 bytes (or no
// rewind); -102 trailer or payload shorter than the trailer says; -4 bad magic, a trailer
// that disagrees with the container (payload length, pad count), or plain bytes whose MD5
// differs from the trailer's digest (a damaged container or another password); -1 bad
// kind; -103 short write. Everything is checked before the first byte is written, so a
// refused container leaves the destination untouched.
int tiv_decrypt_stream(const CryptStreams& streams, const tiv_crypt_key& key, CryptStream container,
                       CryptStream destination);
// MD5 of the rest of the stream, read to its end. 0; -1 when the stream is not set.
int tiv_stream_digest(const CryptStreams& streams, CryptStream stream, std::uint8_t digest[16]);

// Memory-stream conveniences for the workbook backups (AES, 128 bits).
// encrypt_stream_to: the live stream plain_name into a new container backup_name, whose
// trailer names plain_name. The caller removes plain_name afterwards (it is a temporary).
// decrypt_stream_to: the container backup_name into plain_name (created or truncated).
// The trailer and the digest are checked before plain_name is touched; a backup that
// does not give back its source sets the registry's refusal. The caller removes
// backup_name.
// Both: 0, -101 when a stream is missing or cannot be opened, -1 when the two names are the
// same, or a code of the routines above. A failure after the destination was opened removes
// it, so no partial stream can reach a package.
// The length of the plain text the container `backup_name` holds, from its checked
// trailer. 0; -101 no such stream; -4 / -102 / -104 as tiv_decrypt_stream.
int container_source_size(MfileRegistry& registry, std::string_view backup_name, std::int64_t& size);

int encrypt_stream_to(MfileRegistry& registry, std::string_view plain_name, std::string_view backup_name,
                      std::string_view password);
int decrypt_stream_to(MfileRegistry& registry, std::string_view backup_name, std::string_view plain_name,
                      std::string_view password);
// The checks of decrypt_stream_to alone (trailer, and the digest of what the container
// deciphers to with this password), writing nothing: one pass over the container.
// 0, or a code as decrypt_stream_to, with the registry's refusal set alike.
int verify_stream(MfileRegistry& registry, std::string_view backup_name, std::string_view password);
// decrypt_stream_to in one pass: the plain bytes are written to plain_name as they are
// deciphered and their digest taken on the way; plain_name is removed again when the
// digest (or the trailer) disagrees. The plain text exists only once the backup has
// proved itself. 0, or a code as decrypt_stream_to, with the refusal text set alike.
int decipher_stream_once(MfileRegistry& registry, std::string_view backup_name, std::string_view plain_name,
                         std::string_view password);

}  // namespace hsc
