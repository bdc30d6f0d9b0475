// Writes a generated benchmark workbook to a file:
//   hushcel_make_workbook PATH [SHARED_STRINGS [DRAWINGS]]
//   hushcel_make_workbook PATH --rows ROWS     8 columns, every cell a shared string
//   hushcel_make_workbook PATH --entries N     N entries in all, nearly all of them small
//                                              images
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "workbook_gen.h"

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: %s PATH [SHARED_STRINGS [DRAWINGS]] | PATH --rows ROWS\n", argv[0]);
        return 2;
    }
    if (argc == 4 && std::strcmp(argv[2], "--rows") == 0) {
        const std::size_t rows = std::strtoul(argv[3], nullptr, 10);
        if (!hsc::bench::write_table_workbook(argv[1], rows)) {
            std::fprintf(stderr, "cannot write %s\n", argv[1]);
            return 1;
        }
        std::printf("%s: %zu rows of 8 shared-string cells\n", argv[1], rows);
        return 0;
    }
    if (argc == 4 && std::strcmp(argv[2], "--entries") == 0) {
        const std::size_t wanted = std::strtoul(argv[3], nullptr, 10);
        hsc::bench::WorkbookShape shape;
        shape.shared_strings = 100;
        auto entries = hsc::bench::make_workbook(shape);
        // Small images fill the rest (a workbook may hold at most 1,000 drawings).
        for (auto& [name, data] : entries)
            if (name == "[Content_Types].xml")
                data.insert(data.find("<Default "), "<Default Extension=\"png\" ContentType=\"image/png\"/>");
        for (std::size_t k = 1; entries.size() < wanted; ++k)
            entries.emplace_back("xl/media/image" + std::to_string(k) + ".png",
                                 "\x89PNG\r\n\x1a\n small image " + std::to_string(k));
        const std::string zip = hsc::bench::zip_bytes(entries);
        std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
        out.write(zip.data(), static_cast<std::streamsize>(zip.size()));
        out.close();
        if (zip.empty() || !out) {
            std::fprintf(stderr, "cannot write %s\n", argv[1]);
            return 1;
        }
        std::printf("%s: %zu entries, %zu bytes\n", argv[1], entries.size(), zip.size());
        return 0;
    }
    hsc::bench::WorkbookShape shape;
    if (argc > 2) shape.shared_strings = std::strtoul(argv[2], nullptr, 10);
    if (argc > 3) shape.drawings = std::strtoul(argv[3], nullptr, 10);
    const auto entries = hsc::bench::make_workbook(shape);
    const std::string zip = hsc::bench::zip_bytes(entries);
    if (zip.empty()) {
        std::fprintf(stderr, "cannot compose the workbook\n");
        return 1;
    }
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(zip.data(), static_cast<std::streamsize>(zip.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("%s: %zu shared strings (%zu bytes of text), %zu drawings, %zu bytes\n", argv[1],
                shape.shared_strings, hsc::bench::shared_strings_bytes(entries), shape.drawings, zip.size());
    return 0;
}
