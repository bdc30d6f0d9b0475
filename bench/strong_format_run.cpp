// What one password guess costs in each protection format, and what the strong format
// costs a masking and a restore, measured in the same run on one core:
//   hushcel_bench_strong [ROWS]         default 1000000 (0: guesses only)
// A guess against the described format is the cheaper of the two checks its workbook
// offers: the footer's unsalted SHA-512 of the password, or an AES-128 key schedule and
// one block deciphered (the key is the password's first 16 bytes). Both are timed with
// this program's own routines on one core; optimised code or a graphics card does better,
// so the ratio printed is a floor. A guess against the strong format is one Argon2id
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
#include <filesystem>
#include <string>

#include "core/reporter.h"
#include "engine/driver.h"
#include "protect/crypto.h"
#include "protect/footer.h"
#include "protect/strong_key.h"
#include "workbook_gen.h"

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

// A candidate password of the usual length, different each time.
void candidate(std::uint64_t n, char out[16]) {
    std::snprintf(out, 16, "pw%013llu", static_cast<unsigned long long>(n));
}

volatile std::uint8_t sink;

double time_process(const std::filesystem::path& input, const hsc::MaskSettings& s, std::filesystem::path& output) {
    hsc::FileContext ctx;
    hsc::SilentReporter quiet;
    hsc::ProcessOptions options;
    options.force = true;
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

    // The described format: SHA-512 of the password (the footer) ...
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
    // ... or the AES key from the password and one block of the backup deciphered.
    const double aes_rate = rate([](std::uint64_t n) {
        char p[16];
        candidate(n, p);
        hsc::aes_context c;
        hsc::aes_set_key(reinterpret_cast<const std::uint8_t*>(p), 16, c);
        std::uint8_t block[16] = {};
        hsc::aes_decrypt_block(block, block, c);
        sink = block[0];
    });
    const double described_rate = std::max(sha_rate, aes_rate);

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
    std::printf("  described format: %.3g guesses/s (SHA-512 of the password %.3g/s, AES key + one block %.3g/s)\n",
                described_rate, sha_rate, aes_rate);
    std::printf("  strong format:    %.3f s and %llu MiB per guess (Argon2id, %u passes; peak memory grew %.0f MiB)\n",
                strong_seconds, static_cast<unsigned long long>(hsc::KDF_DEFAULT.mem_bytes >> 20), hsc::KDF_DEFAULT.ops,
                rss_growth / 1024.0);
    std::printf("  ratio:            one strong guess costs as much time as %.3g described guesses\n",
                strong_seconds * described_rate);
    if (rows == 0) return 0;

    const auto dir = std::filesystem::temp_directory_path() / ("hushcel-bench-strong-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto book = dir / "book.xlsx";
    if (!hsc::bench::write_table_workbook(book, rows)) {
        std::fprintf(stderr, "cannot write %s\n", book.c_str());
        return 1;
    }
    std::printf("Bench workbook, %zu rows of 8 shared-string cells, columns B and D masked:\n", rows);
    double times[2][2];  // [strong?][restore?]
    for (const bool compat : {true, false}) {
        hsc::MaskSettings s;
        s.password = "bench-password";
        s.target_column = "B,D";
        s.is_compat = compat;
        std::filesystem::path masked, restored;
        times[!compat][0] = time_process(book, s, masked);
        times[!compat][1] = time_process(masked, s, restored);
        std::printf("  %-11s mask %6.2f s   restore %6.2f s\n", compat ? "compatible" : "strong", times[!compat][0],
                    times[!compat][1]);
        std::filesystem::remove(masked);
        std::filesystem::remove(restored);
    }
    std::printf("  strong / compatible: mask %.2fx, restore %.2fx\n", times[1][0] / times[0][0], times[1][1] / times[0][1]);
    std::filesystem::remove_all(dir);
    return 0;
}
