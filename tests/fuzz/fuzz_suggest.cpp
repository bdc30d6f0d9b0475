// Any bytes as the worksheet, shared strings and styles of a workbook whose columns are
// suggested: the reading never fails on them, never looks at more rows than the sample,
// and the column list is the suggested columns of the worksheets.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

#include "engine/suggest.h"
#include "fuzz_support.h"
#include "package/zip_package.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace hsc;
    const auto [options, text] = fuzz::split_options(data, size);
    // The text holds the worksheet, then the shared strings, then the styles, split at NUL.
    std::vector<std::string> parts(3);
    std::size_t k = 0;
    for (char c : text) {
        if (c == '\0' && k < 2) ++k;
        else parts[k] += c;
    }
    const std::string rels =
        "<Relationships><Relationship Id=\"rId1\" Type=\"x/worksheet\" Target=\"worksheets/sheet1.xml\"/>"
        "<Relationship Id=\"rId2\" Type=\"x/worksheet\" Target=\"/xl/worksheets/sheet1.xml\"/></Relationships>";
    const std::string workbook =
        "<workbook><sheets><sheet name=\"a\" r:id=\"rId1\"/><sheet name=\"b\" r:id=\"rId2\"/></sheets></workbook>";

    MfileRegistry reg;
    fuzz::put(reg, "xl/workbook.xml", workbook);
    fuzz::put(reg, "xl/_rels/workbook.xml.rels", rels);
    fuzz::put(reg, "xl/worksheets/sheet1.xml", parts[0]);
    fuzz::put(reg, "xl/sharedStrings.xml", parts[1]);
    fuzz::put(reg, "xl/styles.xml", parts[2]);
    // The workbook is read from a file; scripts/fuzz points TMPDIR at a memory folder.
    std::string name = (std::filesystem::temp_directory_path() / "hushcel-fuzz-suggest-XXXXXX").string();
    const int fd = ::mkstemp(name.data());
    fuzz::check(fd >= 0);
    ::close(fd);
    const char* path = name.c_str();
    fuzz::check(zip_package(reg, ZIP_MODE_MEMORY, path, {},
                            {"xl/workbook.xml", "xl/_rels/workbook.xml.rels", "xl/worksheets/sheet1.xml",
                             "xl/sharedStrings.xml", "xl/styles.xml"}) == 0);

    SuggestLimits limits;
    limits.sample_rows = 1 + options % 16;
    limits.header_rows = options / 16;
    limits.reference_year = 2026;
    const WorkbookSuggestion s = suggest_columns(path, limits);
    std::remove(path);

    fuzz::check(s.status == SuggestStatus::ok);
    fuzz::check(s.sheets.size() == 2);
    std::set<int> all;
    for (const SheetSuggestion& sheet : s.sheets) {
        fuzz::check(sheet.rows_read <= limits.sample_rows + limits.header_rows);
        int previous = -1;
        for (const ColumnSuggestion& c : sheet.columns) {
            fuzz::check(c.column > previous && c.column <= 16383);
            fuzz::check(c.verdict.values <= limits.sample_rows * 16384);
            for (const ContentMatch& m : c.verdict.content) fuzz::check(m.matched <= c.verdict.values);
            previous = c.column;
            all.insert(c.column);
        }
    }
    std::string columns;
    for (int c : all) columns += (columns.empty() ? "" : ",") + column_letters(c);
    fuzz::check(columns == s.columns);
    return 0;
}
