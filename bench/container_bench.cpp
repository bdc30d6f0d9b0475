#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "package/mfile.h"
#include "protect/container.h"

namespace {

constexpr std::size_t STREAM_BYTES = 10 * 1024 * 1024;

// AES-128 container encryption of a 10 MB memory stream, as the backups are made.
void BM_EncryptContainer10MB(benchmark::State& state) {
    hsc::MfileRegistry reg;
    std::string plain(STREAM_BYTES, '\0');
    std::mt19937 rng(1);
    for (auto& c : plain) c = static_cast<char>(rng());
    hsc::Mfile* f = hsc::mopen(reg, "TempsharedStrings.xml", "wb");
    hsc::mwrite_all(f, plain);
    hsc::mclose(f);
    for (auto _ : state) {
        const int rc = hsc::encrypt_stream_to(reg, "TempsharedStrings.xml", "xl/BKsharedStrings.xml", "password");
        if (rc != 0) state.SkipWithError("encryption failed");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(STREAM_BYTES));
}
BENCHMARK(BM_EncryptContainer10MB)->Unit(benchmark::kMillisecond);

void BM_DecryptContainer10MB(benchmark::State& state) {
    hsc::MfileRegistry reg;
    hsc::Mfile* f = hsc::mopen(reg, "TempsharedStrings.xml", "wb");
    hsc::mwrite_all(f, std::string(STREAM_BYTES, 'x'));
    hsc::mclose(f);
    hsc::encrypt_stream_to(reg, "TempsharedStrings.xml", "xl/BKsharedStrings.xml", "password");
    for (auto _ : state) {
        const int rc = hsc::decrypt_stream_to(reg, "xl/BKsharedStrings.xml", "xl/sharedStrings.xml", "password");
        if (rc != 0) state.SkipWithError("decryption failed");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(STREAM_BYTES));
}
BENCHMARK(BM_DecryptContainer10MB)->Unit(benchmark::kMillisecond);

}  // namespace
