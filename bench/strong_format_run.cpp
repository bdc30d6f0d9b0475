// What one password guess costs in each protection format, and what the strong format
// costs a masking and a restore, measured in the same run on one core:
//   hushcel_bench_strong [ROWS]         default 1000000 (0: guesses only)
// A guess against the original format is the cheaper of the two checks its workbook
// offers: the footer's unsalted SHA-512 of the password, or an AES-128 key schedule and
// one block enciphered (the key is the password's first 16 bytes; the backup's first block
// is the known text `<?xml version="1`, so enciphering it and comparing is a test). Both
// are timed on one core with this program's own routines, with OpenSSL's, and the AES
// test also with the processor's AES instructions as someone trying passwords would write
// it; the fastest counts. A graphics card does far better still, so the ratio printed is
// a floor. A guess against the strong format is one Argon2id
// derivation at the cost new maskings use.
// Then the bench workbook (8 columns of shared strings, ROWS rows) is masked (columns B
// and D) and restored through the driver in both formats, and the times are printed as
// strong / compatible ratios.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "core/reporter.h"
#include "engine/driver.h"
#include "protect/crypto.h"
#include "protect/footer.h"
#include "protect/strong_key.h"
#include "workbook_gen.h"

#include <openssl/evp.h>
#include <openssl/sha.h>

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

long peak_rss_kib() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// Guesses per second of `guess` over at least half a second.
template <typename Guess>
double rate(Guess guess) {
    std::uint64_t n = 0;
    const auto start = Clock::now();
    double elapsed = 0;
    while ((elapsed = seconds_since(start)) < 0.5)
        for (int i = 0; i < 4096; ++i) guess(n++);
    return static_cast<double>(n) / elapsed;
}

// A candidate password of 15 bytes, different each time, made as cheaply as someone
// going through a list would (a formatted number would cost more than the guess).
void candidate(std::uint64_t n, char out[16]) {
    std::memcpy(out, "pw-candidate-00", 16);
    std::memcpy(out + 4, &n, sizeof n);
}

volatile std::uint8_t sink;

#if defined(__x86_64__)
#include <immintrin.h>
// AES-128 key expansion and one block, with the AES instructions (the expansion step of
// Intel's AES-NI white paper).
__attribute__((target("aes,sse2"))) __m128i expand_step(__m128i key, __m128i assist) {
    assist = _mm_shuffle_epi32(assist, 0xff);
    key = _mm_xor_si128(key, _mm_slli_si128(key, 4));
    key = _mm_xor_si128(key, _mm_slli_si128(key, 4));
    key = _mm_xor_si128(key, _mm_slli_si128(key, 4));
    return _mm_xor_si128(key, assist);
}
#define HSC_ROUND(k, rcon) k = expand_step(k, _mm_aeskeygenassist_si128(k, rcon)); b = (rcon == 0x36) ? _mm_aesenclast_si128(b, k) : _mm_aesenc_si128(b, k)
__attribute__((target("aes,sse2"))) void aesni_encrypt_one(const std::uint8_t key[16], const std::uint8_t in[16],
                                                           std::uint8_t out[16]) {
    __m128i k = _mm_loadu_si128(reinterpret_cast<const __m128i*>(key));
    __m128i b = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), k);
    HSC_ROUND(k, 0x01); HSC_ROUND(k, 0x02); HSC_ROUND(k, 0x04); HSC_ROUND(k, 0x08); HSC_ROUND(k, 0x10);
    HSC_ROUND(k, 0x20); HSC_ROUND(k, 0x40); HSC_ROUND(k, 0x80); HSC_ROUND(k, 0x1b); HSC_ROUND(k, 0x36);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), b);
}
#undef HSC_ROUND
bool aesni_available() { return __builtin_cpu_supports("aes"); }
#else
void aesni_encrypt_one(const std::uint8_t*, const std::uint8_t*, std::uint8_t*) {}
bool aesni_available() { return false; }
#endif

double time_process(const std::filesystem::path& input, const hsc::MaskSettings& s, std::filesystem::path& output,
                    hsc::KdfCost cost) {
    hsc::FileContext ctx;
    hsc::SilentReporter quiet;
    hsc::ProcessOptions options;
    options.force = true;
    options.kdf_cost = cost;
    const auto start = Clock::now();
    const int rc = hsc::hsc_process_file(input, output, s, ctx, quiet, options);
    const double t = seconds_since(start);
    if (rc != 0) {
        std::fprintf(stderr, "hsc_process_file(%s) rc=%d\n", input.c_str(), rc);
        std::exit(1);
    }
    return t;
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t rows = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1000000;

    // The original format: SHA-512 of the password (the footer) ...
    const double sha_rate = rate([](std::uint64_t n) {
        char p[16];
        candidate(n, p);
        hsc::sha512_context c;
        hsc::sha512_init(c);
        hsc::sha512_update(c, p, 15);
        std::uint8_t d[64];
        hsc::sha512_final(c, d);
        sink = d[0];
    });
    // ... or the AES key from the password and the backup's known first block enciphered.
    const auto* known = reinterpret_cast<const std::uint8_t*>("<?xml version=\"1");
    const double aes_rate = rate([known](std::uint64_t n) {
        char p[16];
        candidate(n, p);
        hsc::aes_context c;
        hsc::aes_set_key(reinterpret_cast<const std::uint8_t*>(p), 16, c);
        std::uint8_t block[16];
        hsc::aes_encrypt_block(known, block, c);
        sink = block[0];
    });
    double aesni_rate = 0;
    if (aesni_available()) {
        // The same bytes as the program's own AES, or the figure would mean nothing.
        const auto* key = reinterpret_cast<const std::uint8_t*>("pw0000000000042");
        hsc::aes_context c;
        hsc::aes_set_key(key, 16, c);
        std::uint8_t ours[16], theirs[16];
        hsc::aes_encrypt_block(known, ours, c);
        aesni_encrypt_one(key, known, theirs);
        if (std::memcmp(ours, theirs, 16) != 0) {
            std::fprintf(stderr, "the AES-instruction test gives other bytes\n");
            return 1;
        }
        aesni_rate = rate([known](std::uint64_t n) {
            char p[16];
            candidate(n, p);
            std::uint8_t block[16];
            aesni_encrypt_one(reinterpret_cast<const std::uint8_t*>(p), known, block);
            sink = block[0];
        });
    }
    // The same two with OpenSSL, as someone trying passwords would run them.
    const double ossl_sha_rate = rate([](std::uint64_t n) {
        char p[16];
        candidate(n, p);
        unsigned char d[64];
        SHA512(reinterpret_cast<const unsigned char*>(p), 15, d);
        sink = d[0];
    });
    EVP_CIPHER_CTX* evp = EVP_CIPHER_CTX_new();
    EVP_DecryptInit_ex(evp, EVP_aes_128_ecb(), nullptr, nullptr, nullptr);
    EVP_CIPHER_CTX_set_padding(evp, 0);
    const double ossl_aes_rate = rate([evp, known](std::uint64_t n) {
        char p[16];
        candidate(n, p);
        EVP_DecryptInit_ex(evp, nullptr, nullptr, reinterpret_cast<const unsigned char*>(p), nullptr);
        unsigned char out[32];
        int len = 0;
        EVP_DecryptUpdate(evp, out, &len, known, 16);
        sink = out[0];
    });
    EVP_CIPHER_CTX_free(evp);
    const double original_rate = std::max({sha_rate, aes_rate, ossl_sha_rate, ossl_aes_rate, aesni_rate});

    // The strong format: one Argon2id derivation at the default cost.
    const auto salt = hsc::StrongKey::random_salt();
    const long rss_before = peak_rss_kib();
    constexpr int derivations = 3;
    const auto start = Clock::now();
    for (int i = 0; i < derivations; ++i) {
        const auto key = hsc::StrongKey::derive("pw0000000000001", nullptr, salt, hsc::KDF_DEFAULT);
        if (!key) {
            std::fprintf(stderr, "derivation failed\n");
            return 1;
        }
    }
    const double strong_seconds = seconds_since(start) / derivations;
    const long rss_growth = peak_rss_kib() - rss_before;

    std::printf("One password guess, one core:\n");
    std::printf("  compatible format: %.3g guesses/s (SHA-512 of the password %.3g/s, AES key + one block %.3g/s;\n"
                "                     with OpenSSL %.3g/s and %.3g/s; with AES instructions %.3g/s)\n",
                original_rate, sha_rate, aes_rate, ossl_sha_rate, ossl_aes_rate, aesni_rate);
    std::printf("  strong format:    %.3f s and %llu MiB per guess (Argon2id, %u passes; peak memory grew %.0f MiB)\n",
                strong_seconds, static_cast<unsigned long long>(hsc::KDF_DEFAULT.mem_bytes >> 20), hsc::KDF_DEFAULT.ops,
                rss_growth / 1024.0);
    std::printf("  ratio:            one strong guess costs as much time as %.3g compatible guesses\n",
                strong_seconds * original_rate);
    if (rows == 0) return 0;

    const auto dir = std::filesystem::temp_directory_path() / ("hushcel-bench-strong-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto book = dir / "book.xlsx";
    if (!hsc::bench::write_table_workbook(book, rows)) {
        std::fprintf(stderr, "cannot write %s\n", book.c_str());
        return 1;
    }
    std::printf("Bench workbook, %zu rows of 8 shared-string cells, columns B and D masked:\n", rows);
    // The fastest of a few rounds, the formats taking turns: the machine is shared. The
    // third run is the strong format with the cheapest derivation: its sealing alone.
    constexpr int rounds = 3;
    struct Run {
        const char* label;
        bool compat;
        hsc::KdfCost cost;
        double mask = 1e9, restore = 1e9;
    };
    Run runs[] = {{"compatible", true, hsc::KDF_DEFAULT},
                  {"strong", false, hsc::KDF_DEFAULT},
                  {"strong, cheapest key", false, hsc::KDF_READ_MIN}};
    for (int round = 0; round < rounds; ++round)
        for (Run& run : runs) {
            hsc::MaskSettings s;
            s.password = "bench-password";
            s.target_column = "B,D";
            s.is_compat = run.compat;
            std::filesystem::path masked, restored;
            run.mask = std::min(run.mask, time_process(book, s, masked, run.cost));
            run.restore = std::min(run.restore, time_process(masked, s, restored, run.cost));
            std::filesystem::remove(masked);
            std::filesystem::remove(restored);
        }
    for (const Run& run : runs)
        std::printf("  %-21s mask %6.2f s   restore %6.2f s   (fastest of %d)\n", run.label, run.mask, run.restore,
                    rounds);
    std::printf("  strong / compatible: mask %.2fx, restore %.2fx\n", runs[1].mask / runs[0].mask,
                runs[1].restore / runs[0].restore);
    std::printf("  strong with the cheapest key / compatible (the sealing alone): mask %.2fx, restore %.2fx\n",
                runs[2].mask / runs[0].mask, runs[2].restore / runs[0].restore);
    std::filesystem::remove_all(dir);
    return 0;
}
