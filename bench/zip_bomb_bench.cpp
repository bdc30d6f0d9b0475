// Zip bombs against the workbook unpacker: each must be refused with the size-limit
// status within a second and without the memory it asks for. Reports the time per
// refusal and the process's peak resident memory (peak_rss_mb) after the runs.
//   cmake -DHUSHCEL_BENCH=ON ... && build/bench/hushcel_bench --benchmark_filter=Bomb
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/status.h"
#include "package/zip_package.h"

namespace {

namespace fs = std::filesystem;

void put16(std::string& s, std::uint32_t v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void put32(std::string& s, std::uint32_t v) {
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}

// Raw deflate of `n` zero bytes, made piece by piece so that building it stays small.
std::string deflated_zeros(std::uint64_t n, std::uint32_t& crc) {
    z_stream zs{};
    deflateInit2(&zs, 9, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY);
    const std::vector<unsigned char> zeros(1 << 20, 0);
    std::string out;
    std::vector<unsigned char> buf(1 << 16);
    uLong c = crc32(0L, Z_NULL, 0);
    for (std::uint64_t done = 0; done < n || zs.avail_in > 0;) {
        if (zs.avail_in == 0) {
            const auto piece = static_cast<uInt>(std::min<std::uint64_t>(zeros.size(), n - done));
            zs.next_in = const_cast<unsigned char*>(zeros.data());
            zs.avail_in = piece;
            c = crc32(c, zeros.data(), piece);
            done += piece;
        }
        const int flush = (done == n) ? Z_FINISH : Z_NO_FLUSH;
        do {
            zs.next_out = buf.data();
            zs.avail_out = static_cast<uInt>(buf.size());
            deflate(&zs, flush);
            out.append(reinterpret_cast<char*>(buf.data()), buf.size() - zs.avail_out);
        } while (zs.avail_out == 0);
        if (flush == Z_FINISH) break;
    }
    deflateEnd(&zs);
    crc = static_cast<std::uint32_t>(c);
    return out;
}

struct Record {
    std::string name;
    std::uint32_t crc, csize, usize, offset;
};

// One local entry holding `payload`, and central records for it under several names.
std::string bomb(const std::string& payload, std::uint32_t crc, std::uint32_t declared, int aliases) {
    std::string out;
    const std::string name = "xl/k0000.xml";
    put32(out, 0x04034b50);
    for (std::uint32_t v : {20u, 0u, 8u, 0u, 0x21u}) put16(out, v);
    put32(out, crc);
    put32(out, static_cast<std::uint32_t>(payload.size()));
    put32(out, declared);
    put16(out, static_cast<std::uint32_t>(name.size()));
    put16(out, 0);
    out += name;
    out += payload;
    const auto cd_at = static_cast<std::uint32_t>(out.size());
    std::string central;
    for (int i = 0; i < aliases; ++i) {
        char alias[32];
        std::snprintf(alias, sizeof alias, "xl/k%04d.xml", i);
        put32(central, 0x02014b50);
        for (std::uint32_t v : {20u, 20u, 0u, 8u, 0u, 0x21u}) put16(central, v);
        put32(central, crc);
        put32(central, static_cast<std::uint32_t>(payload.size()));
        put32(central, declared);
        put16(central, static_cast<std::uint32_t>(name.size()));
        for (int k = 0; k < 4; ++k) put16(central, 0);
        put32(central, 0);
        put32(central, 0);
        central += alias;
    }
    out += central;
    put32(out, 0x06054b50);
    put16(out, 0);
    put16(out, 0);
    put16(out, static_cast<std::uint32_t>(aliases));
    put16(out, static_cast<std::uint32_t>(aliases));
    put32(out, static_cast<std::uint32_t>(central.size()));
    put32(out, cd_at);
    put16(out, 0);
    return out;
}

double peak_rss_mb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

void refuse(benchmark::State& state, const std::string& archive) {
    const fs::path path = fs::temp_directory_path() / ("hushcel-bomb-" + std::to_string(::getpid()) + ".xlsx");
    std::ofstream(path, std::ios::binary) << archive;
    for (auto _ : state) {
        hsc::MfileRegistry reg;
        std::vector<std::string> names;
        const int rc = hsc::unzip_package(reg, hsc::ZIP_MODE_MEMORY, path, {}, hsc::ZIP_MAX_ENTRIES, names);
        if (rc != hsc::RC_SIZE_LIMIT) state.SkipWithError("the bomb was not refused with the size limit");
    }
    fs::remove(path);
    state.counters["archive_kb"] = static_cast<double>(archive.size()) / 1024.0;
    state.counters["peak_rss_mb"] = peak_rss_mb();
}

// 1 GiB of zeros, honestly declared, named by 300 central records: 300 GiB in all.
void BM_BombOverlappingEntries(benchmark::State& state) {
    std::uint32_t crc = 0;
    static const std::string kernel = deflated_zeros(std::uint64_t{1} << 30, crc);
    static const std::uint32_t kernel_crc = crc;
    refuse(state, bomb(kernel, kernel_crc, 1u << 30, 300));
}
BENCHMARK(BM_BombOverlappingEntries)->Unit(benchmark::kMillisecond);

// One entry that declares 64 MiB and inflates to 1 GiB.
void BM_BombInflatesBeyondItsSize(benchmark::State& state) {
    std::uint32_t crc = 0;
    static const std::string kernel = deflated_zeros(std::uint64_t{1} << 30, crc);
    refuse(state, bomb(kernel, crc, 64u << 20, 1));
}
BENCHMARK(BM_BombInflatesBeyondItsSize)->Unit(benchmark::kMillisecond);

// One entry that declares 4 GiB - 1 bytes.
void BM_BombDeclaresMoreThanAStreamHolds(benchmark::State& state) {
    std::uint32_t crc = 0;
    const std::string kernel = deflated_zeros(1 << 20, crc);
    refuse(state, bomb(kernel, crc, 0xFFFFFFFFu, 1));
}
BENCHMARK(BM_BombDeclaresMoreThanAStreamHolds)->Unit(benchmark::kMillisecond);

// 60,000 tiny central records.
void BM_BombTooManyEntries(benchmark::State& state) {
    std::uint32_t crc = 0;
    const std::string kernel = deflated_zeros(100, crc);
    refuse(state, bomb(kernel, crc, 100, 60000));
}
BENCHMARK(BM_BombTooManyEntries)->Unit(benchmark::kMillisecond);

}  // namespace
