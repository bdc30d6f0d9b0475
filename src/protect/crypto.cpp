#include "protect/crypto.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

#include "core/status.h"
#include "stream/byte_stream.h"

namespace hsc {
namespace {

// ---------------------------------------------------------------------------------------
// AES tables: eight 256-byte tables computed by the compiler from the field arithmetic,
// so they are constant data with no start-up cost and no typed-in numbers to get wrong.

constexpr std::uint8_t xtime(std::uint8_t a) {
    return static_cast<std::uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1B : 0x00));
}

constexpr std::uint8_t gf_mul(std::uint8_t a, std::uint8_t b) {
    std::uint8_t product = 0;
    while (b) {
        if (b & 1) product ^= a;
        a = xtime(a);
        b >>= 1;
    }
    return product;
}

constexpr std::uint8_t rotl8(std::uint8_t x, int n) {
    return static_cast<std::uint8_t>((x << n) | (x >> (8 - n)));
}

struct AesTables {
    std::uint8_t sbox[256]{};
    std::uint8_t inv_sbox[256]{};
    std::uint8_t sbox_x2[256]{};  // 2 * S(x), for the encryption rounds
    std::uint8_t sbox_x3[256]{};  // 3 * S(x)
    std::uint8_t mul9[256]{};
    std::uint8_t mul11[256]{};
    std::uint8_t mul13[256]{};
    std::uint8_t mul14[256]{};
};

constexpr AesTables make_aes_tables() {
    AesTables t;
    // Powers of the generator 3 give every non-zero element; the inverse of 3^k is 3^(255-k).
    std::uint8_t power[256]{};
    std::uint8_t log[256]{};
    std::uint8_t p = 1;
    for (int k = 0; k < 255; ++k) {
        power[k] = p;
        log[p] = static_cast<std::uint8_t>(k);
        p = gf_mul(p, 3);
    }
    for (int x = 0; x < 256; ++x) {
        const std::uint8_t inverse = x == 0 ? 0 : power[(255 - log[x]) % 255];
        const auto s = static_cast<std::uint8_t>(inverse ^ rotl8(inverse, 1) ^ rotl8(inverse, 2) ^
                                                 rotl8(inverse, 3) ^ rotl8(inverse, 4) ^ 0x63);
        t.sbox[x] = s;
        t.inv_sbox[s] = static_cast<std::uint8_t>(x);
    }
    for (int x = 0; x < 256; ++x) {
        const auto b = static_cast<std::uint8_t>(x);
        t.sbox_x2[x] = gf_mul(t.sbox[x], 2);
        t.sbox_x3[x] = gf_mul(t.sbox[x], 3);
        t.mul9[x] = gf_mul(b, 9);
        t.mul11[x] = gf_mul(b, 11);
        t.mul13[x] = gf_mul(b, 13);
        t.mul14[x] = gf_mul(b, 14);
    }
    return t;
}

constexpr AesTables AES = make_aes_tables();
static_assert(AES.sbox[0x00] == 0x63 && AES.sbox[0x53] == 0xED && AES.inv_sbox[0x63] == 0x00);

// ---------------------------------------------------------------------------------------
// SHA-512 constants: fractional parts of the square roots (initial words) and cube roots
// (round constants) of the first primes.

constexpr std::uint64_t SHA512_INIT[8] = {
    0x6a09e667f3bcc908ULL, 0xbb67ae8584caa73bULL, 0x3c6ef372fe94f82bULL, 0xa54ff53a5f1d36f1ULL,
    0x510e527fade682d1ULL, 0x9b05688c2b3e6c1fULL, 0x1f83d9abfb41bd6bULL, 0x5be0cd19137e2179ULL,
};

constexpr std::uint64_t SHA512_K[80] = {
    0x428a2f98d728ae22ULL, 0x7137449123ef65cdULL, 0xb5c0fbcfec4d3b2fULL, 0xe9b5dba58189dbbcULL,
    0x3956c25bf348b538ULL, 0x59f111f1b605d019ULL, 0x923f82a4af194f9bULL, 0xab1c5ed5da6d8118ULL,
    0xd807aa98a3030242ULL, 0x12835b0145706fbeULL, 0x243185be4ee4b28cULL, 0x550c7dc3d5ffb4e2ULL,
    0x72be5d74f27b896fULL, 0x80deb1fe3b1696b1ULL, 0x9bdc06a725c71235ULL, 0xc19bf174cf692694ULL,
    0xe49b69c19ef14ad2ULL, 0xefbe4786384f25e3ULL, 0x0fc19dc68b8cd5b5ULL, 0x240ca1cc77ac9c65ULL,
    0x2de92c6f592b0275ULL, 0x4a7484aa6ea6e483ULL, 0x5cb0a9dcbd41fbd4ULL, 0x76f988da831153b5ULL,
    0x983e5152ee66dfabULL, 0xa831c66d2db43210ULL, 0xb00327c898fb213fULL, 0xbf597fc7beef0ee4ULL,
    0xc6e00bf33da88fc2ULL, 0xd5a79147930aa725ULL, 0x06ca6351e003826fULL, 0x142929670a0e6e70ULL,
    0x27b70a8546d22ffcULL, 0x2e1b21385c26c926ULL, 0x4d2c6dfc5ac42aedULL, 0x53380d139d95b3dfULL,
    0x650a73548baf63deULL, 0x766a0abb3c77b2a8ULL, 0x81c2c92e47edaee6ULL, 0x92722c851482353bULL,
    0xa2bfe8a14cf10364ULL, 0xa81a664bbc423001ULL, 0xc24b8b70d0f89791ULL, 0xc76c51a30654be30ULL,
    0xd192e819d6ef5218ULL, 0xd69906245565a910ULL, 0xf40e35855771202aULL, 0x106aa07032bbd1b8ULL,
    0x19a4c116b8d2d0c8ULL, 0x1e376c085141ab53ULL, 0x2748774cdf8eeb99ULL, 0x34b0bcb5e19b48a8ULL,
    0x391c0cb3c5c95a63ULL, 0x4ed8aa4ae3418acbULL, 0x5b9cca4f7763e373ULL, 0x682e6ff3d6b2b8a3ULL,
    0x748f82ee5defb2fcULL, 0x78a5636f43172f60ULL, 0x84c87814a1f0ab72ULL, 0x8cc702081a6439ecULL,
    0x90befffa23631e28ULL, 0xa4506cebde82bde9ULL, 0xbef9a3f7b2c67915ULL, 0xc67178f2e372532bULL,
    0xca273eceea26619cULL, 0xd186b8c721c0c207ULL, 0xeada7dd6cde0eb1eULL, 0xf57d4f7fee6ed178ULL,
    0x06f067aa72176fbaULL, 0x0a637dc5a2c898a6ULL, 0x113f9804bef90daeULL, 0x1b710b35131c471bULL,
    0x28db77f523047d84ULL, 0x32caab7b40c72493ULL, 0x3c9ebe0a15c9bebcULL, 0x431d67c49c100d4cULL,
    0x4cc5d4becb3e42b6ULL, 0x597f299cfc657e2aULL, 0x5fcb6fab3ad6faecULL, 0x6c44198c4a475817ULL,
};

constexpr std::uint64_t rotr64(std::uint64_t x, int n) { return (x >> n) | (x << (64 - n)); }

void sha512_compress(std::uint64_t state[8], const std::uint8_t block[128]) {
    std::uint64_t w[80];
    for (int i = 0; i < 16; ++i) {
        std::uint64_t v = 0;
        for (int j = 0; j < 8; ++j) v = (v << 8) | block[8 * i + j];
        w[i] = v;
    }
    for (int i = 16; i < 80; ++i) {
        const std::uint64_t s0 = rotr64(w[i - 15], 1) ^ rotr64(w[i - 15], 8) ^ (w[i - 15] >> 7);
        const std::uint64_t s1 = rotr64(w[i - 2], 19) ^ rotr64(w[i - 2], 61) ^ (w[i - 2] >> 6);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::uint64_t a = state[0], b = state[1], c = state[2], d = state[3];
    std::uint64_t e = state[4], f = state[5], g = state[6], h = state[7];
    for (int i = 0; i < 80; ++i) {
        const std::uint64_t t1 =
            h + (rotr64(e, 14) ^ rotr64(e, 18) ^ rotr64(e, 41)) + ((e & f) ^ (~e & g)) + SHA512_K[i] + w[i];
        const std::uint64_t t2 = (rotr64(a, 28) ^ rotr64(a, 34) ^ rotr64(a, 39)) + ((a & b) ^ (a & c) ^ (b & c));
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    state[0] += a; state[1] += b; state[2] += c; state[3] += d;
    state[4] += e; state[5] += f; state[6] += g; state[7] += h;
}

// ---------------------------------------------------------------------------------------
// MD5 constants: floor(|sin(i + 1)| * 2^32) and the per-round shift amounts.

constexpr std::uint32_t MD5_T[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

constexpr int MD5_SHIFT[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

constexpr std::uint32_t rotl32(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// One of the 64 steps, with the step number a constant so that the compiler lays the
// whole block out straight (the backups' digest runs over every plain byte).
template <int I>
inline void md5_step(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d, const std::uint32_t* m) {
    constexpr int round = I / 16;
    std::uint32_t f;
    int g;
    if constexpr (round == 0) {
        f = d ^ (b & (c ^ d));  // (b & c) | (~b & d)
        g = I;
    } else if constexpr (round == 1) {
        f = c ^ (d & (b ^ c));  // (d & b) | (~d & c)
        g = (5 * I + 1) % 16;
    } else if constexpr (round == 2) {
        f = b ^ c ^ d;
        g = (3 * I + 5) % 16;
    } else {
        f = c ^ (b | ~d);
        g = (7 * I) % 16;
    }
    a = b + rotl32(a + f + MD5_T[I] + m[g], MD5_SHIFT[round][I % 4]);
}

// Four steps; the roles of the chaining words turn by one at each step.
template <int I>
inline void md5_four(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c, std::uint32_t& d, const std::uint32_t* m) {
    md5_step<I>(a, b, c, d, m);
    md5_step<I + 1>(d, a, b, c, m);
    md5_step<I + 2>(c, d, a, b, m);
    md5_step<I + 3>(b, c, d, a, m);
}

template <int... G>
inline void md5_steps(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c, std::uint32_t& d, const std::uint32_t* m,
                      std::integer_sequence<int, G...>) {
    (md5_four<4 * G>(a, b, c, d, m), ...);
}

void md5_compress(std::uint32_t state[4], const std::uint8_t block[64]) {
    std::uint32_t m[16];
    for (int i = 0; i < 16; ++i) get_u32_le(block + 4 * i, m[i]);
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    md5_steps(a, b, c, d, m, std::make_integer_sequence<int, 16>{});
    state[0] += a; state[1] += b; state[2] += c; state[3] += d;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// AES

Status aes_set_key(const std::uint8_t* key, unsigned length, aes_context& ctx) {
    int key_size;
    switch (length) {
        case 16: case 128: key_size = 16; break;
        case 24: case 192: key_size = 24; break;
        case 32: key_size = 32; break;
        default:
            ctx.rounds = 0;
            return Status::bad_key_length;
    }
    std::uint8_t* w = ctx.round_keys;
    std::memcpy(w, key, static_cast<std::size_t>(key_size));
    const int end = key_size * 4 + 112;
    std::uint8_t rcon = 1;
    for (int off = key_size; off < end; off += 4) {
        std::uint8_t t[4] = {w[off - 4], w[off - 3], w[off - 2], w[off - 1]};
        if (off % key_size == 0) {
            const std::uint8_t first = t[0];
            t[0] = static_cast<std::uint8_t>(AES.sbox[t[1]] ^ rcon);
            t[1] = AES.sbox[t[2]];
            t[2] = AES.sbox[t[3]];
            t[3] = AES.sbox[first];
            rcon = xtime(rcon);
        } else if (key_size == 32 && off % key_size == 16) {
            for (auto& b : t) b = AES.sbox[b];
        }
        for (int j = 0; j < 4; ++j) w[off + j] = static_cast<std::uint8_t>(w[off - key_size + j] ^ t[j]);
    }
    ctx.rounds = static_cast<std::uint8_t>(end / 16 - 1);
    return Status::ok;
}

Status aes_encrypt_block(const std::uint8_t in[16], std::uint8_t out[16], const aes_context& ctx) {
    if (ctx.rounds == 0) return Status::not_keyed;
    const std::uint8_t* rk = ctx.round_keys;
    std::uint8_t s[16];
    for (int i = 0; i < 16; ++i) s[i] = in[i] ^ rk[i];
    std::uint8_t t[16];
    for (int round = 1; round < ctx.rounds; ++round) {
        rk += 16;
        for (int c = 0; c < 4; ++c) {
            // ShiftRows: row r of column c comes from column c + r.
            const std::uint8_t a0 = s[4 * c], a1 = s[4 * ((c + 1) & 3) + 1];
            const std::uint8_t a2 = s[4 * ((c + 2) & 3) + 2], a3 = s[4 * ((c + 3) & 3) + 3];
            t[4 * c + 0] = AES.sbox_x2[a0] ^ AES.sbox_x3[a1] ^ AES.sbox[a2] ^ AES.sbox[a3] ^ rk[4 * c + 0];
            t[4 * c + 1] = AES.sbox[a0] ^ AES.sbox_x2[a1] ^ AES.sbox_x3[a2] ^ AES.sbox[a3] ^ rk[4 * c + 1];
            t[4 * c + 2] = AES.sbox[a0] ^ AES.sbox[a1] ^ AES.sbox_x2[a2] ^ AES.sbox_x3[a3] ^ rk[4 * c + 2];
            t[4 * c + 3] = AES.sbox_x3[a0] ^ AES.sbox[a1] ^ AES.sbox[a2] ^ AES.sbox_x2[a3] ^ rk[4 * c + 3];
        }
        std::memcpy(s, t, 16);
    }
    rk += 16;
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) t[4 * c + r] = AES.sbox[s[4 * ((c + r) & 3) + r]] ^ rk[4 * c + r];
    std::memcpy(out, t, 16);
    return Status::ok;
}

Status aes_decrypt_block(const std::uint8_t in[16], std::uint8_t out[16], const aes_context& ctx) {
    if (ctx.rounds == 0) return Status::not_keyed;
    const std::uint8_t* rk = ctx.round_keys + 16 * ctx.rounds;
    std::uint8_t s[16];
    for (int i = 0; i < 16; ++i) s[i] = in[i] ^ rk[i];
    std::uint8_t t[16];
    for (int round = ctx.rounds - 1; round > 0; --round) {
        rk -= 16;
        // InvShiftRows (row r of column c comes from column c - r), InvSubBytes, AddRoundKey.
        for (int c = 0; c < 4; ++c)
            for (int r = 0; r < 4; ++r) t[4 * c + r] = AES.inv_sbox[s[4 * ((c - r) & 3) + r]] ^ rk[4 * c + r];
        for (int c = 0; c < 4; ++c) {
            const std::uint8_t a0 = t[4 * c], a1 = t[4 * c + 1], a2 = t[4 * c + 2], a3 = t[4 * c + 3];
            s[4 * c + 0] = AES.mul14[a0] ^ AES.mul11[a1] ^ AES.mul13[a2] ^ AES.mul9[a3];
            s[4 * c + 1] = AES.mul9[a0] ^ AES.mul14[a1] ^ AES.mul11[a2] ^ AES.mul13[a3];
            s[4 * c + 2] = AES.mul13[a0] ^ AES.mul9[a1] ^ AES.mul14[a2] ^ AES.mul11[a3];
            s[4 * c + 3] = AES.mul11[a0] ^ AES.mul13[a1] ^ AES.mul9[a2] ^ AES.mul14[a3];
        }
    }
    rk -= 16;
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) t[4 * c + r] = AES.inv_sbox[s[4 * ((c - r) & 3) + r]] ^ rk[4 * c + r];
    std::memcpy(out, t, 16);
    return Status::ok;
}

// ---------------------------------------------------------------------------------------
// SHA-512

void sha512_init(sha512_context& ctx) {
    std::memcpy(ctx.state, SHA512_INIT, sizeof ctx.state);
    ctx.bit_count = 0;
    ctx.buffered = 0;
}

void sha512_update(sha512_context& ctx, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        if (ctx.buffered == 0 && size >= 128) {
            sha512_compress(ctx.state, bytes);
            ctx.bit_count += 1024;
            bytes += 128;
            size -= 128;
            continue;
        }
        const std::size_t take = std::min<std::size_t>(size, 128 - ctx.buffered);
        std::memcpy(ctx.block + ctx.buffered, bytes, take);
        ctx.buffered += take;
        bytes += take;
        size -= take;
        if (ctx.buffered == 128) {
            sha512_compress(ctx.state, ctx.block);
            ctx.bit_count += 1024;
            ctx.buffered = 0;
        }
    }
}

void sha512_final(sha512_context& ctx, std::uint8_t digest[64]) {
    ctx.bit_count += 8 * ctx.buffered;
    ctx.block[ctx.buffered++] = 0x80;
    // 112 or more bytes buffered take a second block: a message of 111 mod 128 bytes is
    // padded over two blocks. Stored check values depend on this, so it stays.
    if (ctx.buffered >= 112) {
        std::memset(ctx.block + ctx.buffered, 0, 128 - ctx.buffered);
        sha512_compress(ctx.state, ctx.block);
        ctx.buffered = 0;
    }
    std::memset(ctx.block + ctx.buffered, 0, 120 - ctx.buffered);
    for (int i = 0; i < 8; ++i) ctx.block[120 + i] = static_cast<std::uint8_t>(ctx.bit_count >> (56 - 8 * i));
    sha512_compress(ctx.state, ctx.block);
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 8; ++j) digest[8 * i + j] = static_cast<std::uint8_t>(ctx.state[i] >> (56 - 8 * j));
}

Status sha512_file(const std::filesystem::path& path, std::uint8_t digest[64]) {
    const auto file = StdioStream::open_read(path);
    if (!file) return Status::open_failed;
    sha512_context ctx;
    sha512_init(ctx);
    std::uint8_t buffer[1024];
    for (;;) {
        const std::size_t got = file->read(buffer, sizeof buffer);
        sha512_update(ctx, buffer, got);
        if (got == sizeof buffer) continue;
        // A digest of part of the file would key a workbook with a key file that can
        // never give it again: a read that stops before the end is a failure.
        if (!file->at_end()) return Status::short_read;
        break;
    }
    sha512_final(ctx, digest);
    return Status::ok;
}

// ---------------------------------------------------------------------------------------
// MD5

void md5_init(md5_context& ctx) {
    ctx.count[0] = ctx.count[1] = 0;
    ctx.state[0] = 0x67452301;
    ctx.state[1] = 0xefcdab89;
    ctx.state[2] = 0x98badcfe;
    ctx.state[3] = 0x10325476;
}

void md5_update(md5_context& ctx, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::size_t used = ctx.count[0] & 63;
    const std::uint64_t total = ((static_cast<std::uint64_t>(ctx.count[1]) << 32) | ctx.count[0]) + size;
    ctx.count[0] = static_cast<std::uint32_t>(total);
    ctx.count[1] = static_cast<std::uint32_t>(total >> 32);
    while (size > 0) {
        if (used == 0 && size >= 64) {
            md5_compress(ctx.state, bytes);
            bytes += 64;
            size -= 64;
            continue;
        }
        const std::size_t take = std::min<std::size_t>(size, 64 - used);
        std::memcpy(ctx.block + used, bytes, take);
        used += take;
        bytes += take;
        size -= take;
        if (used == 64) {
            md5_compress(ctx.state, ctx.block);
            used = 0;
        }
    }
}

void md5_final(md5_context& ctx, std::uint8_t digest[16]) {
    const std::uint64_t bits = ((static_cast<std::uint64_t>(ctx.count[1]) << 32) | ctx.count[0]) << 3;
    std::size_t used = ctx.count[0] & 63;
    ctx.block[used++] = 0x80;
    if (used > 56) {
        std::memset(ctx.block + used, 0, 64 - used);
        md5_compress(ctx.state, ctx.block);
        used = 0;
    }
    std::memset(ctx.block + used, 0, 56 - used);
    put_u32_le(ctx.block + 56, static_cast<std::uint32_t>(bits));
    put_u32_le(ctx.block + 60, static_cast<std::uint32_t>(bits >> 32));
    md5_compress(ctx.state, ctx.block);
    for (int i = 0; i < 4; ++i) put_u32_le(digest + 4 * i, ctx.state[i]);
}

// ---------------------------------------------------------------------------------------
// XOR unit, reserved hooks, little-endian packing

void xor_unit(const std::uint8_t* in, const std::uint8_t* key, std::size_t length, std::uint8_t* out) {
    for (std::size_t i = 0; i < length; ++i) out[i] = in[i] ^ key[i];
}

Status reserved_set_key(int, const std::uint8_t*, reserved_cipher_context&) { return Status::ok; }
Status reserved_encrypt_unit(int, const std::uint8_t*, const reserved_cipher_context&, std::uint8_t*) {
    return Status::ok;
}
Status reserved_decrypt_unit(int, const std::uint8_t*, const reserved_cipher_context&, std::uint8_t*) {
    return Status::ok;
}

void put_u16_le(std::uint8_t* dst, std::uint16_t value) {
    dst[0] = static_cast<std::uint8_t>(value);
    dst[1] = static_cast<std::uint8_t>(value >> 8);
}

void put_u32_le(std::uint8_t* dst, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) dst[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void get_u16_le(const std::uint8_t* src, std::uint16_t& value) {
    value = static_cast<std::uint16_t>(src[0] | (src[1] << 8));
}

void get_u32_le(const std::uint8_t* src, std::uint32_t& value) {
    value = static_cast<std::uint32_t>(src[0]) | (static_cast<std::uint32_t>(src[1]) << 8) |
            (static_cast<std::uint32_t>(src[2]) << 16) | (static_cast<std::uint32_t>(src[3]) << 24);
}

}  // namespace hsc
