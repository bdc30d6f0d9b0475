// One workbook through the core pipeline from disk to disk, without the command-line
// tool's footer and settings: for peak-memory measurements of the engine itself.
//   hushcel_bench_pipeline mask|restore INPUT
// Masks columns A and B (and the shapes) with the benchmark password; the output is
// written beside the input with the usual "●"/"〇" prefix.
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "core/mask_settings.h"
#include "engine/read_excel.h"
#include "stream/mfile.h"
#include "package/zip_package.h"
#include "workbook_gen.h"

int main(int argc, char** argv) {
    const bool mask = argc == 3 && std::strcmp(argv[1], "mask") == 0;
    if (argc != 3 || (!mask && std::strcmp(argv[1], "restore") != 0)) {
        std::fprintf(stderr, "usage: %s mask|restore INPUT\n", argv[0]);
        return 2;
    }
    const std::filesystem::path input = argv[2];
    const hsc::Direction direction = mask ? hsc::Direction::mask : hsc::Direction::unmask;
    hsc::StoredSettings s;
    s.password = "bench-password";
    s.is_autoshape = true;
    hsc::MfileRegistry reg;
    if (int rc = hsc::hsc_read_excel(reg, input, s, hsc::bench::columns_a_b(direction)); rc != 0) {
        std::fprintf(stderr, "hsc_read_excel() rc=%d\n", rc);
        return 1;
    }
    std::filesystem::path output;
    if (int rc = hsc::hsc_write_excel(reg, input, output, direction, false,
                                              hsc::output_path_for(input, direction, false));
        rc != 0) {
        std::fprintf(stderr, "hsc_write_excel() rc=%d\n", rc);
        return 1;
    }
    hsc::mfree_all(reg);
    std::printf("%s\n", output.c_str());
    return 0;
}
