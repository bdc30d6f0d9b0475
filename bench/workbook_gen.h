#pragma once

// A large workbook made up for the benchmarks: mixed Japanese and ASCII shared strings,
// two worksheets that refer to them, a few drawings with shape text.
#include <cstddef>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "core/mask_settings.h"

namespace hsc::bench {

struct WorkbookShape {
    std::size_t shared_strings = 100000;
    std::size_t drawings = 4;
    std::size_t shapes_per_drawing = 50;
};

using PackageEntries = std::vector<std::pair<std::string, std::string>>;

// The parts of the workbook, in the order a spreadsheet program writes them.
// Worksheet rows hold string cells in columns A, B and D and a number in C.
PackageEntries make_workbook(const WorkbookShape& shape);

// Bytes of the shared-string part among the entries (0 when there is none).
std::size_t shared_strings_bytes(const PackageEntries& entries);

// The entries deflated into a zip archive, held in memory. Empty on failure.
std::string zip_bytes(const PackageEntries& entries);

// A table of `rows` rows and 8 columns (A to H) in one worksheet, every cell a shared
// string, 7 in 10 of them Japanese text; written straight to a zip file at `path`, part
// by part, so that a million rows fit in memory. True on success.
bool write_table_workbook(const std::filesystem::path& path, std::size_t rows);

// Per-file values that mask columns A and B.
FileContext columns_a_b(Direction direction);

}  // namespace hsc::bench
