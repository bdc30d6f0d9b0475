// The leak scan's share of the masking time, on a large generated workbook from disk to
// disk (what the tool does, without its footer and settings):
//   hushcel_bench_leak_scan [SHARED_STRINGS [ROUNDS]]     (default 1000000 and 3)
// Each round masks the workbook twice, without and with the report (the masked-text set
// and the scan of every part), and times the set and the scan on their own. Medians are
// printed; the ratios compare runs of the same process, so they hold on a busy machine
// better than the times.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "core/mask_settings.h"
#include "engine/leak_scan.h"
#include "engine/read_excel.h"
#include "stream/mfile.h"
#include "package/zip_package.h"
#include "workbook_gen.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::string stream_text(hsc::MfileRegistry& reg, const char* name) {
    std::string text;
    hsc::read_whole_file(reg, 0, name, text);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t strings = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const fs::path dir = fs::temp_directory_path() / ("hushcel-leak-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path input = dir / "large.xlsx";

    const hsc::bench::PackageEntries entries = hsc::bench::make_workbook({.shared_strings = strings});
    std::string original_sst;
    std::size_t xml_bytes = 0;
    for (const auto& [name, bytes] : entries) {
        xml_bytes += bytes.size();
        if (name == "xl/sharedStrings.xml") original_sst = bytes;
    }
    {
        const std::string zip = hsc::bench::zip_bytes(entries);
        std::ofstream(input, std::ios::binary).write(zip.data(), static_cast<std::streamsize>(zip.size()));
    }
    std::printf("workbook: %zu shared strings, %zu rows, %.1f MB of XML\n", strings, (strings + 2) / 3,
                static_cast<double>(xml_bytes) / 1e6);

    hsc::StoredSettings s;
    s.password = "bench-password";
    s.is_autoshape = true;
    const hsc::FileContext ctx = hsc::bench::columns_a_b(hsc::Direction::mask);

    std::vector<double> plain, reported, set_times, scan_times;
    std::size_t texts = 0, findings = 0;
    for (int round = 0; round < rounds; ++round) {
        for (const bool with_report : {false, true}) {
            const auto start = Clock::now();
            hsc::MfileRegistry reg;
            hsc::MaskReport report;
            if (int rc = hsc::hsc_read_excel(reg, input, s, ctx, with_report ? &report : nullptr); rc != 0) {
                std::fprintf(stderr, "hsc_read_excel() rc=%d\n", rc);
                return 1;
            }
            fs::path output;
            std::string masked_sst;
            if (with_report) masked_sst = stream_text(reg, "xl/sharedStrings.xml");
            if (int rc = hsc::hsc_write_excel(reg, input, output, hsc::Direction::mask, false,
                                                  hsc::output_path_for(input, hsc::Direction::mask, false));
                rc != 0) {
                std::fprintf(stderr, "hsc_write_excel() rc=%d\n", rc);
                return 1;
            }
            const double total = seconds_since(start);
            (with_report ? reported : plain).push_back(total);
            if (!with_report) {
                hsc::mfree_all(reg);
                fs::remove(output);
                continue;
            }
            // The two halves of the report's work on their own, over the same package.
            auto t = Clock::now();
            hsc::MaskedTexts set;
            hsc::collect_masked_items(original_sst, masked_sst, set);
            set_times.push_back(seconds_since(t));
            // The masked package keeps only the stored form of what masking left unchanged:
            // the scan is timed over the output, unpacked whole.
            hsc::MfileRegistry masked;
            std::vector<std::string> names;
            if (hsc::unzip_package(masked, hsc::ZIP_MODE_MEMORY, output, {}, hsc::ZIP_MAX_ENTRIES, names) != 0) {
                std::fprintf(stderr, "cannot unpack %s\n", output.c_str());
                return 1;
            }
            t = Clock::now();
            findings = hsc::scan_package_for_leaks(masked, set).size();
            scan_times.push_back(seconds_since(t));
            hsc::mfree_all(masked);
            texts = set.size();
            hsc::mfree_all(reg);
            fs::remove(output);
        }
    }
    fs::remove_all(dir);

    const double p = median(plain), r = median(reported), set_time = median(set_times), scan = median(scan_times);
    std::printf("masked texts looked for: %zu; findings: %zu\n", texts, findings);
    std::printf("masking without report   %8.3f s (median of %d)\n", p, rounds);
    std::printf("masking with report      %8.3f s   x%.3f of the masking without report\n", r, r / p);
    std::printf("  masked-text set        %8.3f s   %5.1f%% of the masking with report\n", set_time, 100 * set_time / r);
    std::printf("  leak scan              %8.3f s   %5.1f%% of the masking with report\n", scan, 100 * scan / r);
    return 0;
}
