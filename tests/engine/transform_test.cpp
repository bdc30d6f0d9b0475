#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "core/status.h"
#include "engine/backups.h"
#include "engine/read_excel.h"
#include "protect/container.h"
#include "package_fixture.h"

namespace hsc {
namespace {

using test::context;
using test::Entries;
using test::has_stream;
using test::stream;

constexpr int COLUMN_B = 1;

StoredSettings mask_settings(bool shapes) {
    StoredSettings s;
    s.password = "secret";
    s.is_autoshape = shapes;
    return s;
}

// Names of the live streams of a registry, for a second pass over the same package.
std::vector<std::string> live_names(const MfileRegistry& reg) {
    std::vector<std::string> names;
    mlist(reg, names);
    return names;
}

// Item 0 "Alice" is used in B1 and D2, item 1 "Bob" only in D1, item 2 "東京" in B2.
Entries selection_package() {
    Entries e = test::base_package();
    e.push_back({"xl/sharedStrings.xml", test::shared_strings({"Alice", "Bob", "東京"})});
    e.push_back({"xl/worksheets/sheet1.xml",
                 test::worksheet(R"(<c r="B1" t="s"><v>0</v></c><c r="D1" t="s"><v>1</v></c>)"
                                 R"(<c r="B2" t="s"><v>2</v></c><c r="D2" t="s"><v>0</v></c>)")});
    return e;
}

TEST(Transform, MasksTheItemsOfTargetColumnsWhereverTheyAreUsed) {
    MfileRegistry reg;
    auto names = test::load_package(reg, selection_package());
    const std::string before = stream(reg, "xl/sharedStrings.xml");
    ASSERT_EQ(transform_package(reg, names, mask_settings(false), context(Direction::mask, {COLUMN_B})), RC_OK);
    EXPECT_EQ(stream(reg, "xl/sharedStrings.xml"), test::shared_strings({"*****", "Bob", "●●"}));
    EXPECT_EQ(stream(reg, "xl/sharedStrings.xml").size(), before.size());
    EXPECT_TRUE(has_stream(reg, "xl/BKsharedStrings.xml"));
    EXPECT_FALSE(has_stream(reg, "TempsharedStrings.xml"));
    // The backup's trailer names the stream it was made from as every writer of the format
    // names it, and records the plain size.
    const std::string backup = stream(reg, "xl/BKsharedStrings.xml");
    ASSERT_GE(backup.size(), std::size_t{CONTAINER_BLOCK});
    const auto trailer = parse_trailer(std::span(reinterpret_cast<const std::uint8_t*>(backup.data()) +
                                                     backup.size() - CONTAINER_BLOCK,
                                                 std::size_t{CONTAINER_BLOCK}));
    ASSERT_TRUE(trailer.has_value());
    EXPECT_EQ(trailer->source_name, "TempsharedStrings.xml");
    EXPECT_EQ(trailer->source_size, before.size());
}

TEST(Transform, MasksEveryItemWithoutTargetColumns) {
    MfileRegistry reg;
    auto names = test::load_package(reg, selection_package());
    ASSERT_EQ(transform_package(reg, names, mask_settings(false), context(Direction::mask)), RC_OK);
    EXPECT_EQ(stream(reg, "xl/sharedStrings.xml"), test::shared_strings({"*****", "***", "●●"}));
}

// Worksheets are scanned whatever order the extraction listed the entries in.
TEST(Transform, WorksheetListedBeforeTheTableStillSelects) {
    MfileRegistry reg;
    Entries e = selection_package();
    std::reverse(e.begin(), e.end());
    auto names = test::load_package(reg, e);
    ASSERT_EQ(transform_package(reg, names, mask_settings(false), context(Direction::mask, {COLUMN_B})), RC_OK);
    EXPECT_EQ(stream(reg, "xl/sharedStrings.xml"), test::shared_strings({"*****", "Bob", "●●"}));
}

Entries drawing_package(const std::vector<int>& numbers) {
    Entries e = selection_package();
    for (int n : numbers)
        e.push_back({"xl/drawings/drawing" + std::to_string(n) + ".xml", test::drawing("Shape " + std::to_string(n))});
    e.push_back({"xl/drawings/vmlDrawing1.vml", "<xml><x:ClientData>Note 1</x:ClientData></xml>"});
    e.push_back({"xl/charts/chart1.xml", "<c:chartSpace><a:t>Chart 1</a:t></c:chartSpace>"});
    return e;
}

class RoundTrip : public testing::TestWithParam<bool> {};

TEST_P(RoundTrip, RestoringGivesBackEveryMaskedPartByteForByte) {
    const bool shapes = GetParam();
    MfileRegistry reg;
    const Entries original = drawing_package({1, 2, 3});
    auto names = test::load_package(reg, original);
    ASSERT_EQ(transform_package(reg, names, mask_settings(shapes), context(Direction::mask, {COLUMN_B})), RC_OK);

    for (const auto& [name, bytes] : original) {
        if (name == "xl/workbook.xml" || name == "_rels/.rels" || name == "[Content_Types].xml") continue;
        const bool masked = name == "xl/sharedStrings.xml" || (shapes && name.starts_with("xl/drawings/drawing"));
        EXPECT_EQ(stream(reg, name).size(), bytes.size()) << name;
        EXPECT_EQ(stream(reg, name) != bytes, masked) << name;
    }
    for (int k = 1; k <= 3; ++k) EXPECT_EQ(has_stream(reg, drawing_backup_name(k)), shapes) << k;
    EXPECT_EQ(stream(reg, "xl/drawings/vmlDrawing1.vml"), original[original.size() - 2].second);

    auto again = live_names(reg);
    ASSERT_EQ(transform_package(reg, again, mask_settings(shapes), context(Direction::unmask)), RC_OK);
    for (const auto& [name, bytes] : original) {
        if (name == "xl/workbook.xml" || name == "_rels/.rels" || name == "[Content_Types].xml") continue;
        EXPECT_EQ(stream(reg, name), bytes) << name;
    }
    EXPECT_FALSE(has_stream(reg, "xl/BKsharedStrings.xml"));
    for (int k = 1; k <= 3; ++k) EXPECT_FALSE(has_stream(reg, drawing_backup_name(k))) << k;
}

INSTANTIATE_TEST_SUITE_P(Shapes, RoundTrip, testing::Bool(),
                         [](const auto& info) { return std::string(info.param ? "On" : "Off"); });

// Restoring reads neither the masked shared strings nor the masked drawings: the
// backups alone give back the text, whatever the masked parts hold by now.
TEST(Transform, RestoringTakesTheTextFromTheBackupsAlone) {
    MfileRegistry reg;
    const Entries original = drawing_package({1, 2});
    auto names = test::load_package(reg, original);
    ASSERT_EQ(transform_package(reg, names, mask_settings(true), context(Direction::mask, {COLUMN_B})), RC_OK);
    test::put_stream(reg, "xl/sharedStrings.xml", "");
    test::put_stream(reg, "xl/drawings/drawing2.xml", "<si><t>not a drawing</t></si>");

    auto again = live_names(reg);
    ASSERT_EQ(transform_package(reg, again, mask_settings(true), context(Direction::unmask)), RC_OK);
    for (const auto& [name, bytes] : original) {
        if (name == "xl/sharedStrings.xml" || name.starts_with("xl/drawings/drawing")) {
            EXPECT_EQ(stream(reg, name), bytes) << name;
        }
    }
}

TEST(Transform, DrawingBackupsAreNumberedInNaturalOrder) {
    std::vector<int> numbers(12);
    for (int i = 0; i < 12; ++i) numbers[i] = i + 1;
    std::mt19937 rng(3);
    std::shuffle(numbers.begin(), numbers.end(), rng);
    MfileRegistry reg;
    auto names = test::load_package(reg, drawing_package(numbers));
    ASSERT_EQ(transform_package(reg, names, mask_settings(true), context(Direction::mask)), RC_OK);
    // Backup k holds drawing k: drawing2 before drawing10.
    for (int k = 1; k <= 12; ++k) {
        ASSERT_EQ(restore_backup(reg, drawing_backup_name(k), "check.xml", BackupKey::original("secret")), RC_OK) << k;
        EXPECT_EQ(stream(reg, "check.xml"), test::drawing("Shape " + std::to_string(k))) << k;
    }
}

// With drawing1 and drawing3 only, backup 2 belongs to drawing3: restoring must write it
// there, not create a drawing2 and leave drawing3 masked.
TEST(Transform, GapInDrawingNumbersRestoresEachDrawingToItself) {
    MfileRegistry reg;
    const Entries original = drawing_package({1, 3});
    auto names = test::load_package(reg, original);
    ASSERT_EQ(transform_package(reg, names, mask_settings(true), context(Direction::mask)), RC_OK);
    EXPECT_EQ(stream(reg, "xl/drawings/drawing3.xml"), test::drawing("***** 9"));
    auto again = live_names(reg);
    ASSERT_EQ(transform_package(reg, again, mask_settings(true), context(Direction::unmask)), RC_OK);
    EXPECT_EQ(stream(reg, "xl/drawings/drawing3.xml"), test::drawing("Shape 3"));
    EXPECT_FALSE(has_stream(reg, "xl/drawings/drawing2.xml"));
}

TEST(Transform, ChartDrawingWithoutTextIsBackedUpUnchanged) {
    MfileRegistry reg;
    Entries e = selection_package();
    const std::string anchor = "<xdr:wsDr><xdr:graphicFrame><c:chart r:id=\"rId1\"/></xdr:graphicFrame></xdr:wsDr>";
    e.push_back({"xl/drawings/drawing1.xml", anchor});
    auto names = test::load_package(reg, e);
    ASSERT_EQ(transform_package(reg, names, mask_settings(true), context(Direction::mask)), RC_OK);
    EXPECT_EQ(stream(reg, "xl/drawings/drawing1.xml"), anchor);
    EXPECT_TRUE(has_stream(reg, drawing_backup_name(1)));
}

// Masked with shapes on, restored with shapes off: the drawing backups are still restored,
// so that no later masking can overwrite them with masked text.
TEST(Transform, RestoringWithShapesOffStillRestoresDrawingBackups) {
    MfileRegistry reg;
    const Entries original = drawing_package({1, 2});
    auto names = test::load_package(reg, original);
    ASSERT_EQ(transform_package(reg, names, mask_settings(true), context(Direction::mask)), RC_OK);
    auto again = live_names(reg);
    ASSERT_EQ(transform_package(reg, again, mask_settings(false), context(Direction::unmask)), RC_OK);
    EXPECT_EQ(stream(reg, "xl/drawings/drawing2.xml"), test::drawing("Shape 2"));
    EXPECT_FALSE(has_stream(reg, drawing_backup_name(1)));
}

TEST(Transform, RestoringWithShapesOnWhenMaskedWithShapesOffFails) {
    MfileRegistry reg;
    auto names = test::load_package(reg, drawing_package({1}));
    ASSERT_EQ(transform_package(reg, names, mask_settings(false), context(Direction::mask)), RC_OK);
    auto again = live_names(reg);
    EXPECT_EQ(transform_package(reg, again, mask_settings(true), context(Direction::unmask)), RC_OPEN);
}

TEST(Transform, RestoringWithoutTheSharedStringBackupFails) {
    MfileRegistry reg;
    auto names = test::load_package(reg, selection_package());
    EXPECT_EQ(transform_package(reg, names, mask_settings(false), context(Direction::unmask)), RC_OPEN);
}

TEST(Transform, PackageWithoutSharedStringsIsMaskedAndRestored) {
    MfileRegistry reg;
    Entries e = test::base_package();
    e.push_back({"xl/worksheets/sheet1.xml", test::worksheet(R"(<c r="B1"><v>1</v></c>)")});
    auto names = test::load_package(reg, e);
    ASSERT_EQ(transform_package(reg, names, mask_settings(false), context(Direction::mask)), RC_OK);
    EXPECT_FALSE(has_stream(reg, "xl/BKsharedStrings.xml"));
    auto again = live_names(reg);
    EXPECT_EQ(transform_package(reg, again, mask_settings(false), context(Direction::unmask)), RC_OK);
}

class Refusals : public testing::TestWithParam<Direction> {};

// A table that no worksheet names cannot be placed; masking refuses it untouched.
TEST(TableRefusal, UnnamedTablePartRefusedBeforeAnythingIsRewritten) {
    MfileRegistry reg;
    Entries e = selection_package();
    e.push_back({"xl/tables/table1.xml", "<table/>"});
    auto names = test::load_package(reg, e);
    EXPECT_EQ(transform_package(reg, names, mask_settings(true), context(Direction::mask)), RC_UNSUPPORTED_OBJECTS);
    EXPECT_EQ(stream(reg, "xl/sharedStrings.xml"), test::shared_strings({"Alice", "Bob", "東京"}));
    EXPECT_EQ(stream(reg, "xl/workbook.xml"), test::kWorkbook);
    EXPECT_FALSE(has_stream(reg, "xl/BKsharedStrings.xml"));
}

TEST_P(Refusals, ThousandDrawingsPassTheThousandAndFirstIsTooMany) {
    for (int count : {1000, 1001}) {
        MfileRegistry reg;
        Entries e = test::base_package();
        for (int n = 1; n <= count; ++n) e.push_back({"xl/drawings/drawing" + std::to_string(n) + ".xml", "<d/>"});
        auto names = test::load_package(reg, e);
        EXPECT_EQ(transform_package(reg, names, mask_settings(false), context(GetParam())),
                  count == 1000 ? RC_OK : RC_SIZE_LIMIT)
            << count;
    }
}

TEST_P(Refusals, PackageWithoutWorkbookPartFails) {
    MfileRegistry reg;
    Entries e = selection_package();
    e.erase(std::find_if(e.begin(), e.end(), [](const auto& p) { return p.first == "xl/workbook.xml"; }));
    auto names = test::load_package(reg, e);
    EXPECT_EQ(transform_package(reg, names, mask_settings(false), context(GetParam())), RC_FAIL);
}

INSTANTIATE_TEST_SUITE_P(Directions, Refusals, testing::Values(Direction::mask, Direction::unmask),
                         [](const auto& info) { return std::string(info.param == Direction::mask ? "Mask" : "Unmask"); });

// Masked before and its footer lost: masking again would overwrite the backups with
// masked text. Nothing is rewritten.
TEST(Transform, MaskingAPackageThatHoldsBackupsIsRefused) {
    for (const char* backup : {"xl/BKsharedStrings.xml", "xl/drawings/BKdrawing1.xml"}) {
        MfileRegistry reg;
        Entries e = selection_package();
        e.push_back({backup, "TIVA"});
        auto names = test::load_package(reg, e);
        EXPECT_EQ(transform_package(reg, names, mask_settings(false), context(Direction::mask)), RC_FAIL) << backup;
        EXPECT_EQ(stream(reg, backup), "TIVA") << backup;
        EXPECT_EQ(stream(reg, "xl/workbook.xml"), test::kWorkbook) << backup;
    }
}

// An entry that happens to carry the temporary name is part of the package: it stays.
TEST(Transform, PackageEntryWithTheTemporaryNameSurvives) {
    MfileRegistry reg;
    Entries e = drawing_package({1});
    e.push_back({"TempsharedStrings.xml", "mine"});
    e.push_back({"Tempdrawing.xml", "also mine"});
    auto names = test::load_package(reg, e);
    ASSERT_EQ(transform_package(reg, names, mask_settings(true), context(Direction::mask)), RC_OK);
    EXPECT_EQ(stream(reg, "TempsharedStrings.xml"), "mine");
    EXPECT_EQ(stream(reg, "Tempdrawing.xml"), "also mine");
    auto again = live_names(reg);
    ASSERT_EQ(transform_package(reg, again, mask_settings(true), context(Direction::unmask)), RC_OK);
    EXPECT_EQ(stream(reg, "xl/sharedStrings.xml"), test::shared_strings({"Alice", "Bob", "東京"}));
}

}  // namespace
}  // namespace hsc
