#pragma once

// An independent oracle for our own AES, SHA-512 and MD5: OpenSSL's libcrypto on Linux;
// on Windows, where OpenSSL has no mingw build here, the system's own CNG (bcrypt).
#ifdef _WIN32
#include <windows.h>
#include <bcrypt.h>

#include "protect/sha512_recorded.h"
#else
#define OPENSSL_SUPPRESS_DEPRECATED  // SHA512_Transform: hand-padded blocks
#include <openssl/evp.h>
#include <openssl/sha.h>
#endif

#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace hsc::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes random_bytes(std::mt19937& rng, std::size_t n) {
    Bytes b(n);
    for (auto& x : b) x = static_cast<std::uint8_t>(rng());
    return b;
}

inline Bytes from_hex(const std::string& hex) {
    Bytes b;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) b.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return b;
}

inline std::string to_hex(const std::uint8_t* p, std::size_t n) {
    static const char* digits = "0123456789abcdef";
    std::string s;
    for (std::size_t i = 0; i < n; ++i) {
        s.push_back(digits[p[i] >> 4]);
        s.push_back(digits[p[i] & 15]);
    }
    return s;
}
inline std::string to_hex(const Bytes& b) { return to_hex(b.data(), b.size()); }

#ifdef _WIN32
// AES in ECB fashion without padding; data must be a multiple of 16 bytes.
inline Bytes oracle_aes_ecb(const Bytes& key, const Bytes& data, bool encrypt) {
    BCRYPT_ALG_HANDLE alg = nullptr;
    BCRYPT_KEY_HANDLE k = nullptr;
    if (BCryptOpenAlgorithmProvider(&alg, BCRYPT_AES_ALGORITHM, nullptr, 0) != 0) throw std::runtime_error("bcrypt aes");
    BCryptSetProperty(alg, BCRYPT_CHAINING_MODE, reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(BCRYPT_CHAIN_MODE_ECB)),
                      sizeof(BCRYPT_CHAIN_MODE_ECB), 0);
    BCryptGenerateSymmetricKey(alg, &k, nullptr, 0, const_cast<PUCHAR>(key.data()), static_cast<ULONG>(key.size()), 0);
    Bytes in = data, out(data.size());
    ULONG n = 0;
    const NTSTATUS rc = encrypt ? BCryptEncrypt(k, in.data(), static_cast<ULONG>(in.size()), nullptr, nullptr, 0,
                                                out.data(), static_cast<ULONG>(out.size()), &n, 0)
                                : BCryptDecrypt(k, in.data(), static_cast<ULONG>(in.size()), nullptr, nullptr, 0,
                                                out.data(), static_cast<ULONG>(out.size()), &n, 0);
    BCryptDestroyKey(k);
    BCryptCloseAlgorithmProvider(alg, 0);
    if (rc != 0) throw std::runtime_error("bcrypt aes ecb");
    out.resize(n);
    return out;
}

inline Bytes cng_digest(LPCWSTR algorithm, const Bytes& data) {
    BCRYPT_ALG_HANDLE alg = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    DWORD size = 0, got = 0;
    if (BCryptOpenAlgorithmProvider(&alg, algorithm, nullptr, 0) != 0) throw std::runtime_error("bcrypt hash");
    BCryptGetProperty(alg, BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&size), sizeof size, &got, 0);
    Bytes out(size);
    const bool ok = BCryptCreateHash(alg, &hash, nullptr, 0, nullptr, 0, 0) == 0 &&
                    BCryptHashData(hash, const_cast<PUCHAR>(data.data()), static_cast<ULONG>(data.size()), 0) == 0 &&
                    BCryptFinishHash(hash, out.data(), size, 0) == 0;
    if (hash) BCryptDestroyHash(hash);
    BCryptCloseAlgorithmProvider(alg, 0);
    if (!ok) throw std::runtime_error("bcrypt hash");
    return out;
}
inline Bytes oracle_sha512(const Bytes& data) { return cng_digest(BCRYPT_SHA512_ALGORITHM, data); }
inline Bytes oracle_md5(const Bytes& data) { return cng_digest(BCRYPT_MD5_ALGORITHM, data); }

// CNG offers no bare compression function, so the two-block padding of the lengths the
// tests use is a recorded answer (made with OpenSSL's transform on Linux), found by the
// message's standard digest. The standard rule is the standard digest itself.
inline Bytes sha512_hand_padded(const Bytes& message, bool two_block_at_111) {
    const Bytes standard = oracle_sha512(message);
    if (!two_block_at_111 || message.size() % 128 != 111) return standard;
    for (const auto& [digest, padded] : RECORDED_TWO_BLOCK_SHA512)
        if (to_hex(standard) == digest) return from_hex(padded);
    throw std::runtime_error("no recorded two-block digest for this message");
}
#else
// AES in ECB fashion without padding; data must be a multiple of 16 bytes.
inline Bytes oracle_aes_ecb(const Bytes& key, const Bytes& data, bool encrypt) {
    const EVP_CIPHER* kind = key.size() == 16 ? EVP_aes_128_ecb() : key.size() == 24 ? EVP_aes_192_ecb() : EVP_aes_256_ecb();
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    Bytes out(data.size() + 16);
    int n = 0, m = 0;
    EVP_CipherInit_ex(ctx, kind, nullptr, key.data(), nullptr, encrypt ? 1 : 0);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    EVP_CipherUpdate(ctx, out.data(), &n, data.data(), static_cast<int>(data.size()));
    EVP_CipherFinal_ex(ctx, out.data() + n, &m);
    EVP_CIPHER_CTX_free(ctx);
    out.resize(static_cast<std::size_t>(n + m));
    return out;
}

inline Bytes openssl_digest(const EVP_MD* md, const Bytes& data) {
    Bytes out(EVP_MD_size(md));
    unsigned n = 0;
    EVP_Digest(data.data(), data.size(), out.data(), &n, md, nullptr);
    return out;
}
inline Bytes oracle_sha512(const Bytes& data) { return openssl_digest(EVP_sha512(), data); }
inline Bytes oracle_md5(const Bytes& data) { return openssl_digest(EVP_md5(), data); }

// SHA-512 over blocks padded by hand, compressed with OpenSSL's own transform.
// two_block_at_111: pad a 111 mod 128 message over two blocks (0x80 fills the first).
inline Bytes sha512_hand_padded(const Bytes& message, bool two_block_at_111) {
    Bytes padded = message;
    padded.push_back(0x80);
    const bool extra = two_block_at_111 ? padded.size() % 128 >= 112 || padded.size() % 128 == 0
                                         : padded.size() % 128 > 112 || padded.size() % 128 == 0;
    // Fill to the start of the length field (byte 112 of the last block) ...
    if (extra && padded.size() % 128 != 0)
        while (padded.size() % 128 != 0) padded.push_back(0);
    while (padded.size() % 128 != 112) padded.push_back(0);
    // ... then the 128-bit big-endian bit count.
    const unsigned __int128 bits = static_cast<unsigned __int128>(message.size()) * 8;
    for (int i = 15; i >= 0; --i) padded.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
    SHA512_CTX ctx;
    SHA512_Init(&ctx);
    for (std::size_t off = 0; off < padded.size(); off += 128) SHA512_Transform(&ctx, padded.data() + off);
    Bytes out;
    for (auto h : ctx.h)
        for (int i = 7; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(h >> (8 * i)));
    return out;
}

#endif

}  // namespace hsc::test
