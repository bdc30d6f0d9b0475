#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "stream/mfile.h"
#include "protect/container.h"
#include "protect/crypto.h"

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

// The cipher alone over a 512-byte container block at a time, on each path: the
// processor's AES instructions (when it has them) and the byte-oriented reference.
template <hsc::AesPath path, bool encrypt>
void BM_AesBlocks(benchmark::State& state) {
    std::vector<std::uint8_t> data(STREAM_BYTES, 0x5A);
    hsc::aes_context ctx;
    hsc::aes_set_key(reinterpret_cast<const std::uint8_t*>("0123456789abcdef"), 16, ctx);
    for (auto _ : state) {
        for (std::size_t at = 0; at < data.size(); at += 512) {
            if (encrypt)
                hsc::aes_encrypt_blocks(data.data() + at, data.data() + at, 32, ctx, path);
            else
                hsc::aes_decrypt_blocks(data.data() + at, data.data() + at, 32, ctx, path);
        }
        benchmark::DoNotOptimize(data.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(STREAM_BYTES));
    state.SetLabel(path == hsc::AesPath::fastest && hsc::aes_hardware_available() ? "AES instructions" : "byte-oriented");
}
BENCHMARK(BM_AesBlocks<hsc::AesPath::fastest, true>)->Name("BM_AesEncryptFastest10MB")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AesBlocks<hsc::AesPath::fastest, false>)->Name("BM_AesDecryptFastest10MB")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AesBlocks<hsc::AesPath::reference, true>)->Name("BM_AesEncryptReference10MB")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AesBlocks<hsc::AesPath::reference, false>)->Name("BM_AesDecryptReference10MB")->Unit(benchmark::kMillisecond);

void BM_Md5(benchmark::State& state) {
    std::vector<std::uint8_t> data(STREAM_BYTES, 0x5A);
    std::uint8_t digest[16];
    for (auto _ : state) {
        hsc::md5_context ctx;
        hsc::md5_init(ctx);
        hsc::md5_update(ctx, data.data(), data.size());
        hsc::md5_final(ctx, digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(STREAM_BYTES));
}
BENCHMARK(BM_Md5)->Name("BM_Md5_10MB")->Unit(benchmark::kMillisecond);

}  // namespace
