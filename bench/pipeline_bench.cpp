#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

#include "core/reporter.h"
#include "engine/driver.h"

namespace {

namespace fs = std::filesystem;

// The sample workbook (3000 customers): HUSHCEL_SAMPLE, else examples/ of the working folder.
fs::path sample() {
    const char* env = std::getenv("HUSHCEL_SAMPLE");
    return env && *env ? fs::path(env) : fs::path("examples/sample_customers.xlsx");
}

// One whole mask and one whole restore of the sample, files on disk, as the tool does it.
void BM_MaskAndRestoreSample(benchmark::State& state) {
    const fs::path source = sample();
    if (!fs::exists(source)) {
        state.SkipWithError("sample workbook not found (run from the repository or set HUSHCEL_SAMPLE)");
        return;
    }
    const fs::path dir = fs::temp_directory_path() / ("hushcel-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path book = dir / "book.xlsx";
    hsc::MaskSettings settings;
    settings.is_overwrite = true;
    settings.target_column = "B,C,E,F,G";
    hsc::SilentReporter reporter;
    for (auto _ : state) {
        state.PauseTiming();
        fs::copy_file(source, book, fs::copy_options::overwrite_existing);
        state.ResumeTiming();
        hsc::FileContext ctx;
        fs::path out;
        if (hsc::hsc_process_file(book, out, settings, ctx, reporter) != 0 ||
            hsc::hsc_process_file(book, out, settings, ctx, reporter) != 0)
            state.SkipWithError("processing failed");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(fs::file_size(source)));
    fs::remove_all(dir);
}
BENCHMARK(BM_MaskAndRestoreSample)->Unit(benchmark::kMillisecond);

}  // namespace
