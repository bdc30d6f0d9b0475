// A masked workbook gains backup entries (the table's, the drawings', the workbook
// part's, the package's) and a thumbnail; its folder entries stay. Masking refuses a
// package that they would push to the entry limit, because the masked result could then
// never be unpacked again to be restored.
#include <gtest/gtest.h>

#include "core/status.h"
#include "engine/read_excel.h"
#include "package/zip_package.h"
#include "package_fixture.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

namespace hsc {
namespace {

namespace fs = std::filesystem;

struct LimitCase {
    const char* label;
    int entries;   // in the input package, all file entries
    int drawings;  // of them
    bool shapes;
    int folders;  // folder entries besides them
    int expected;
    friend void PrintTo(const LimitCase& c, std::ostream* os) { *os << c.label; }
};

class EntryLimitMasking : public ::testing::TestWithParam<LimitCase> {};

TEST_P(EntryLimitMasking, RefusesWhatCouldNotBeRestored) {
    const auto& c = GetParam();
    test::Entries e = test::base_package();
    e.push_back({"xl/sharedStrings.xml", test::shared_strings({"Alice"})});
    for (int i = 1; i <= c.drawings; ++i) e.push_back({"xl/drawings/drawing" + std::to_string(i) + ".xml", test::drawing("Tanaka")});
    for (int i = 0; static_cast<int>(e.size()) < c.entries; ++i) e.push_back({"xl/media/f" + std::to_string(i) + ".bin", "x"});
    std::vector<test::ZipEntry> zip;
    for (const auto& [name, bytes] : e) zip.push_back({name, bytes});
    for (int i = 0; i < c.folders; ++i) zip.push_back({"xl/folder" + std::to_string(i) + "/", ""});
    test::TempDir dir;
    test::write_zip(dir / "in.xlsx", zip, {.deflate = false, .comment = {}});

    StoredSettings s;
    s.is_autoshape = c.shapes;
    MfileRegistry reg;
    ASSERT_EQ(hsc_read_excel(reg, dir / "in.xlsx", s, test::context(Direction::mask)), c.expected);
    if (c.expected != RC_OK) return;

    // What was accepted can be restored.
    fs::path output;
    ASSERT_EQ(hsc_write_excel(reg, dir / "in.xlsx", output, Direction::mask, false, dir / "masked.xlsx"), RC_OK);
    MfileRegistry again;
    EXPECT_EQ(hsc_read_excel(again, dir / "masked.xlsx", s, test::context(Direction::unmask)), RC_OK);
    std::string restored;
    ASSERT_TRUE(test::get_stream(again, "xl/sharedStrings.xml", restored));
    EXPECT_EQ(restored, test::shared_strings({"Alice"}));
}

INSTANTIATE_TEST_SUITE_P(
    Packages, EntryLimitMasking,
    ::testing::Values(LimitCase{"BackupsAndThumbnailStayBelow", 4995, 0, false, 0, RC_OK},
                      LimitCase{"BackupsAndThumbnailReachTheLimit", 4996, 0, false, 0, RC_SIZE_LIMIT},
                      LimitCase{"FolderEntriesCount", 4994, 0, false, 2, RC_SIZE_LIMIT},
                      LimitCase{"DrawingBackupsReachTheLimit", 4994, 2, true, 0, RC_SIZE_LIMIT},
                      LimitCase{"DrawingsLeftAloneStayBelow", 4994, 2, false, 0, RC_OK}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace hsc
