// Many independent AES blocks with one key: the container enciphers its 16-byte units
// one by one (electronic-codebook fashion), so they can be run side by side. Processors
// with AES instructions take eight blocks at a time through them; others fall back to
// the byte-oriented routines, which stay the reference the fast path is tested against.
#include "protect/crypto.h"

// The instructions are reached through GCC's and Clang's x86 intrinsics (also with the
// MinGW compilers); elsewhere only the byte-oriented routines are built.
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define HSC_AES_NI 1
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace hsc {
namespace {

#ifdef HSC_AES_NI
constexpr std::size_t LANES = 8;  // blocks in flight: hides the latency of one round

bool cpu_has_aes() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
    return (c & bit_AES) != 0 && (d & bit_SSE2) != 0;
}

#define HSC_AES_TARGET __attribute__((target("aes,sse2")))

HSC_AES_TARGET void encrypt_ni(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks, const aes_context& ctx) {
    const int rounds = ctx.rounds;
    __m128i rk[15];
    for (int r = 0; r <= rounds; ++r) rk[r] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ctx.round_keys + 16 * r));
    std::size_t i = 0;
    for (; i + LANES <= blocks; i += LANES) {
        __m128i s[LANES];
        for (std::size_t k = 0; k < LANES; ++k)
            s[k] = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16 * (i + k))), rk[0]);
        for (int r = 1; r < rounds; ++r)
            for (std::size_t k = 0; k < LANES; ++k) s[k] = _mm_aesenc_si128(s[k], rk[r]);
        for (std::size_t k = 0; k < LANES; ++k)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * (i + k)), _mm_aesenclast_si128(s[k], rk[rounds]));
    }
    for (; i < blocks; ++i) {
        __m128i s = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16 * i)), rk[0]);
        for (int r = 1; r < rounds; ++r) s = _mm_aesenc_si128(s, rk[r]);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * i), _mm_aesenclast_si128(s, rk[rounds]));
    }
}

HSC_AES_TARGET void decrypt_ni(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks, const aes_context& ctx) {
    const int rounds = ctx.rounds;
    // The equivalent inverse cipher: round keys in reverse, the middle ones through
    // InvMixColumns.
    __m128i dk[15];
    for (int r = 0; r <= rounds; ++r) {
        const __m128i k = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ctx.round_keys + 16 * (rounds - r)));
        dk[r] = (r == 0 || r == rounds) ? k : _mm_aesimc_si128(k);
    }
    std::size_t i = 0;
    for (; i + LANES <= blocks; i += LANES) {
        __m128i s[LANES];
        for (std::size_t k = 0; k < LANES; ++k)
            s[k] = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16 * (i + k))), dk[0]);
        for (int r = 1; r < rounds; ++r)
            for (std::size_t k = 0; k < LANES; ++k) s[k] = _mm_aesdec_si128(s[k], dk[r]);
        for (std::size_t k = 0; k < LANES; ++k)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * (i + k)), _mm_aesdeclast_si128(s[k], dk[rounds]));
    }
    for (; i < blocks; ++i) {
        __m128i s = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16 * i)), dk[0]);
        for (int r = 1; r < rounds; ++r) s = _mm_aesdec_si128(s, dk[r]);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * i), _mm_aesdeclast_si128(s, dk[rounds]));
    }
}

#undef HSC_AES_TARGET
#else
bool cpu_has_aes() { return false; }
void encrypt_ni(const std::uint8_t*, std::uint8_t*, std::size_t, const aes_context&) {}
void decrypt_ni(const std::uint8_t*, std::uint8_t*, std::size_t, const aes_context&) {}
#endif

}  // namespace

bool aes_hardware_available() {
    static const bool available = cpu_has_aes();  // the processor does not change under us
    return available;
}

Status aes_encrypt_blocks(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks, const aes_context& ctx,
                          AesPath path) {
    if (ctx.rounds == 0) return Status::not_keyed;
    if (path == AesPath::fastest && aes_hardware_available()) {
        encrypt_ni(in, out, blocks, ctx);
        return Status::ok;
    }
    for (std::size_t i = 0; i < blocks; ++i) aes_encrypt_block(in + 16 * i, out + 16 * i, ctx);
    return Status::ok;
}

Status aes_decrypt_blocks(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks, const aes_context& ctx,
                          AesPath path) {
    if (ctx.rounds == 0) return Status::not_keyed;
    if (path == AesPath::fastest && aes_hardware_available()) {
        decrypt_ni(in, out, blocks, ctx);
        return Status::ok;
    }
    for (std::size_t i = 0; i < blocks; ++i) aes_decrypt_block(in + 16 * i, out + 16 * i, ctx);
    return Status::ok;
}

}  // namespace hsc
