// The masking engine over a whole workbook held in memory: unpack, mask or restore,
// compose. Throughput is reported per byte of shared-string text and per shared string.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "core/mask_settings.h"
#include "engine/read_excel.h"
#include "engine/text_mask.h"
#include "engine/workbook_scan.h"
#include "stream/mfile.h"
#include "package/zip_package.h"
#include "workbook_gen.h"

namespace {

using namespace hsc;

constexpr const char* INPUT_NAME = "bench-input.xlsx";
constexpr const char* OUTPUT_NAME = "bench-output.xlsx";

ZipArchiveLocation in_memory() {
    ZipArchiveLocation location;
    tiv_zip_on_memory(location, 0);
    return location;
}

StoredSettings bench_settings() {
    StoredSettings s;
    s.password = "bench-password";
    s.is_autoshape = true;
    return s;
}

// The archive is unpacked into the registry's streams; the archive stream itself is
// removed again so that composition sees only the package's parts.
int unpack(MfileRegistry& reg, const std::string& archive, std::vector<std::string>& entries) {
    Mfile* f = mopen(reg, INPUT_NAME, "wb");
    if (!f || !mwrite_all(f, archive)) return -1;
    mclose(f);
    const int rc = unzip_package(reg, ZIP_MODE_MEMORY, INPUT_NAME, {}, ZIP_MAX_ENTRIES, entries, in_memory());
    mremove(reg, INPUT_NAME);
    return rc;
}

int compose(MfileRegistry& reg, std::string& archive) {
    std::vector<std::string> names;
    mlist(reg, names);
    if (int rc = zip_package(reg, ZIP_MODE_MEMORY, OUTPUT_NAME, {}, names, in_memory()); rc != 0) return rc;
    const auto data = mdata(mopen(reg, OUTPUT_NAME, "rb"));
    archive.assign(reinterpret_cast<const char*>(data.data()), data.size());
    return 0;
}

// The whole in-memory road of one workbook: what hsc_read_excel and hsc_write_excel do
// between the input file and the output file.
int process(const std::string& input, Direction direction, std::string& output) {
    MfileRegistry reg;
    std::vector<std::string> entries;
    if (int rc = unpack(reg, input, entries); rc != 0) return rc;
    if (int rc = transform_package(reg, entries, bench_settings(), bench::columns_a_b(direction)); rc != 0) return rc;
    return compose(reg, output);
}

// One generated workbook per size, kept for the whole run.
struct Fixture {
    bench::PackageEntries entries;
    std::string plain_zip;
    std::string masked_zip;
    std::size_t text_bytes = 0;
};

const Fixture& fixture(std::size_t strings) {
    static std::vector<std::pair<std::size_t, Fixture>> made;
    for (const auto& [n, f] : made)
        if (n == strings) return f;
    Fixture f;
    f.entries = bench::make_workbook({.shared_strings = strings});
    f.text_bytes = bench::shared_strings_bytes(f.entries);
    f.plain_zip = bench::zip_bytes(f.entries);
    process(f.plain_zip, Direction::mask, f.masked_zip);
    made.emplace_back(strings, std::move(f));
    return made.back().second;
}

void report(benchmark::State& state, const Fixture& f, std::size_t strings) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.text_bytes));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * strings));
    state.counters["zip_MB"] = static_cast<double>(f.plain_zip.size()) / 1e6;
    state.counters["sst_MB"] = static_cast<double>(f.text_bytes) / 1e6;
}

void BM_MaskWorkbook(benchmark::State& state) {
    const auto strings = static_cast<std::size_t>(state.range(0));
    const Fixture& f = fixture(strings);
    std::string out;
    for (auto _ : state) {
        if (process(f.plain_zip, Direction::mask, out) != 0) state.SkipWithError("masking failed");
        benchmark::DoNotOptimize(out.data());
    }
    report(state, f, strings);
}
BENCHMARK(BM_MaskWorkbook)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_RestoreWorkbook(benchmark::State& state) {
    const auto strings = static_cast<std::size_t>(state.range(0));
    const Fixture& f = fixture(strings);
    if (f.masked_zip.empty()) state.SkipWithError("no masked workbook");
    std::string out;
    for (auto _ : state) {
        if (process(f.masked_zip, Direction::unmask, out) != 0) state.SkipWithError("restoring failed");
        benchmark::DoNotOptimize(out.data());
    }
    report(state, f, strings);
}
BENCHMARK(BM_RestoreWorkbook)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// Many small parts: the package limit of 1000 drawings, each with one shape. Shows work
// that grows with the number of entries rather than with their bytes.
void BM_MaskManyDrawings(benchmark::State& state) {
    const auto drawings = static_cast<std::size_t>(state.range(0));
    const bench::PackageEntries entries =
        bench::make_workbook({.shared_strings = 1000, .drawings = drawings, .shapes_per_drawing = 1});
    const std::string zip = bench::zip_bytes(entries);
    std::string out;
    for (auto _ : state) {
        if (process(zip, Direction::mask, out) != 0) state.SkipWithError("masking failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * drawings));
}
BENCHMARK(BM_MaskManyDrawings)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

// The stages of masking one by one, to see where the time goes.
void BM_StageUnpack(benchmark::State& state) {
    const Fixture& f = fixture(100000);
    for (auto _ : state) {
        MfileRegistry reg;
        std::vector<std::string> entries;
        if (unpack(reg, f.plain_zip, entries) != 0) state.SkipWithError("unpack failed");
    }
    report(state, f, 100000);
}
BENCHMARK(BM_StageUnpack)->Unit(benchmark::kMillisecond);

void BM_StageTransformMask(benchmark::State& state) {
    const Fixture& f = fixture(100000);
    for (auto _ : state) {
        state.PauseTiming();
        MfileRegistry reg;
        std::vector<std::string> entries;
        for (const auto& [name, bytes] : f.entries) {
            Mfile* m = mopen(reg, name, "wb");
            mwrite_all(m, bytes);
            mclose(m);
            entries.push_back(name);
        }
        state.ResumeTiming();
        if (transform_package(reg, entries, bench_settings(), bench::columns_a_b(Direction::mask)) != 0)
            state.SkipWithError("transform failed");
        state.PauseTiming();
        mfree_all(reg);  // freeing is not part of the stage
        state.ResumeTiming();
    }
    report(state, f, 100000);
}
BENCHMARK(BM_StageTransformMask)->Unit(benchmark::kMillisecond);

void BM_StageCompose(benchmark::State& state) {
    const Fixture& f = fixture(100000);
    MfileRegistry reg;
    std::vector<std::string> entries;
    unpack(reg, f.plain_zip, entries);
    std::string out;
    for (auto _ : state) {
        if (compose(reg, out) != 0) state.SkipWithError("compose failed");
        mremove(reg, OUTPUT_NAME);
    }
    report(state, f, 100000);
}
BENCHMARK(BM_StageCompose)->Unit(benchmark::kMillisecond);

// The text passes alone, without crypto or zip: worksheet scan and shared-string masking.
void BM_ScanAndMaskText(benchmark::State& state) {
    const Fixture& f = fixture(100000);
    const std::string* sst = nullptr;
    std::vector<const std::string*> sheets;
    for (const auto& [name, bytes] : f.entries) {
        if (name == "xl/sharedStrings.xml") sst = &bytes;
        if (name.starts_with("xl/worksheets/")) sheets.push_back(&bytes);
    }
    const FileContext ctx = bench::columns_a_b(Direction::mask);
    const MaskSettings s = bench_settings();
    std::string text;
    for (auto _ : state) {
        text = *sst;
        std::vector<std::uint8_t> flags(count_shared_string_items(text), 0);
        for (const std::string* sheet : sheets) scan_worksheet(*sheet, letter_selection(ctx), flags);
        mask_shared_strings_text(text, flags, ctx.target_column_count, s);
        benchmark::DoNotOptimize(text.data());
    }
    report(state, f, 100000);
}
BENCHMARK(BM_ScanAndMaskText)->Unit(benchmark::kMillisecond);

// The worksheet scan alone, against the number of chosen columns (the text of the column
// setting holds at most about 500 of them). The chosen columns are the last ones of the
// list, so that every cell goes through the whole list.
void BM_ScanWorksheetColumns(benchmark::State& state) {
    const Fixture& f = fixture(100000);
    const auto columns = static_cast<int>(state.range(0));
    FileContext ctx;
    ctx.process_direction = Direction::mask;
    for (int i = 0; i < columns; ++i) ctx.target_column_numbers[static_cast<std::size_t>(i)] = 1000 + i;
    ctx.target_column_numbers[static_cast<std::size_t>(columns - 2)] = 0;
    ctx.target_column_numbers[static_cast<std::size_t>(columns - 1)] = 1;
    ctx.target_column_count = columns;
    const SheetSelection selection = letter_selection(ctx);
    std::size_t sheet_bytes = 0;
    for (auto _ : state) {
        std::vector<std::uint8_t> flags(100000, 0);
        sheet_bytes = 0;
        for (const auto& [name, bytes] : f.entries)
            if (name.starts_with("xl/worksheets/")) {
                scan_worksheet(bytes, selection, flags);
                sheet_bytes += bytes.size();
            }
        benchmark::DoNotOptimize(flags.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * sheet_bytes));
}
BENCHMARK(BM_ScanWorksheetColumns)->Arg(2)->Arg(50)->Arg(500)->Unit(benchmark::kMillisecond);

// The growth pattern of a memory stream written in many small pieces, as the maskers and
// the zip reader do. Arguments: piece size, total megabytes (above 100 MiB the steps
// become linear).
void BM_MwriteSmallPieces(benchmark::State& state) {
    const auto piece = static_cast<std::size_t>(state.range(0));
    const auto total = static_cast<std::size_t>(state.range(1)) << 20;
    const std::string bytes(piece, 'x');
    for (auto _ : state) {
        MfileRegistry reg;
        Mfile* f = mopen(reg, "xl/sharedStrings.xml", "wb");
        for (std::size_t done = 0; done < total; done += piece)
            if (mwrite(bytes.data(), 1, piece, f) != piece) {
                state.SkipWithError("write failed");
                break;
            }
        benchmark::DoNotOptimize(f->capacity);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * total));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * (total / piece)));
}
BENCHMARK(BM_MwriteSmallPieces)
    ->Args({16, 16})
    ->Args({256, 16})
    ->Args({8192, 16})
    ->Args({256, 200})
    ->Unit(benchmark::kMillisecond);

}  // namespace
