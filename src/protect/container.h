#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "package/mfile.h"

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

int tiv_crypt_key_init(const CryptStreams& streams, tiv_crypt_key& key, std::string_view source_name,
                       std::string_view password, std::uint32_t cipher_kind, int key_bits);
int tiv_encrypt_stream(const CryptStreams& streams, const tiv_crypt_key& key, CryptStream source,
                       CryptStream destination);
int tiv_decrypt_stream(const CryptStreams& streams, const tiv_crypt_key& key, CryptStream container,
                       CryptStream destination);
int tiv_stream_digest(const CryptStreams& streams, CryptStream stream, std::uint8_t digest[16]);

}  // namespace hsc
