#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "core/status.h"

// The published algorithms the stored formats are built on, written here: AES (single
// blocks), SHA-512 (with this program's own padding rule) and MD5. Contexts are plain
// caller-owned values; nothing here allocates.
namespace hsc {

struct aes_context {
    std::uint8_t round_keys[240];
    std::uint8_t rounds = 0;  // 10, 12 or 14; 0 means not keyed
};

// length 16 or 128: 16-byte key; 24 or 192: 24-byte key; 32: 32-byte key. ok, or
// bad_key_length for any other (the context is then not keyed).
Status aes_set_key(const std::uint8_t* key, unsigned length, aes_context& ctx);
// ok; not_keyed (output untouched) when the context has no key. In place is allowed.
Status aes_encrypt_block(const std::uint8_t in[16], std::uint8_t out[16], const aes_context& ctx);
Status aes_decrypt_block(const std::uint8_t in[16], std::uint8_t out[16], const aes_context& ctx);

// Which code enciphers a run of blocks: the processor's AES instructions when it has
// them (`fastest`), or the byte-oriented routines above (`reference`). Same bytes.
enum class AesPath { fastest, reference };
// True when `fastest` runs on the processor's AES instructions.
bool aes_hardware_available();
// `blocks` independent 16-byte blocks with one context, as many single-block calls
// would give them. In place is allowed. ok, or not_keyed (nothing written).
Status aes_encrypt_blocks(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks, const aes_context& ctx,
                          AesPath path = AesPath::fastest);
Status aes_decrypt_blocks(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks, const aes_context& ctx,
                          AesPath path = AesPath::fastest);

struct sha512_context {
    std::uint64_t state[8];
    std::uint64_t bit_count;
    std::uint64_t buffered;
    std::uint8_t block[128];
};
void sha512_init(sha512_context& ctx);
void sha512_update(sha512_context& ctx, const void* data, std::size_t size);
void sha512_final(sha512_context& ctx, std::uint8_t digest[64]);
// ok; open_failed when the file cannot be opened for binary reading, short_read when a
// read fails before the end (a folder, an I/O error). The digest is set only on ok.
Status sha512_file(const std::filesystem::path& path, std::uint8_t digest[64]);

struct md5_context {
    std::uint32_t count[2];
    std::uint32_t state[4];
    std::uint8_t block[64];
};
void md5_init(md5_context& ctx);
void md5_update(md5_context& ctx, const void* data, std::size_t size);
void md5_final(md5_context& ctx, std::uint8_t digest[16]);

// Output byte i = input byte i XOR key byte i, for i below length. Its own inverse.
void xor_unit(const std::uint8_t* in, const std::uint8_t* key, std::size_t length, std::uint8_t* out);

// Hooks of the reserved cipher kind. No cipher stands behind them: they do nothing and
// report ok (the container refuses that kind rather than store unenciphered units).
struct reserved_cipher_context {};
Status reserved_set_key(int key_bits, const std::uint8_t* key_text, reserved_cipher_context& ctx);
Status reserved_encrypt_unit(int key_bits, const std::uint8_t* in, const reserved_cipher_context& ctx,
                             std::uint8_t* out);
Status reserved_decrypt_unit(int key_bits, const std::uint8_t* in, const reserved_cipher_context& ctx,
                             std::uint8_t* out);

// Little-endian packing used by the stored records.
void put_u16_le(std::uint8_t* dst, std::uint16_t value);
void put_u32_le(std::uint8_t* dst, std::uint32_t value);
void get_u16_le(const std::uint8_t* src, std::uint16_t& value);
void get_u32_le(const std::uint8_t* src, std::uint32_t& value);

}  // namespace hsc
