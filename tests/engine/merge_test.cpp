// The pieces of a restore into an edited workbook that the round trips of tests/cli do
// not single out: which items count as masked from which originals, and how a cell given
// back is written.
#include <gtest/gtest.h>

#include "core/status.h"
#include "engine/merge.h"
#include "package_fixture.h"
#include "support/workbook_fixture.h"

namespace hsc {
namespace {

struct MaskingCase {
    const char* label;
    std::string masked, original;
    bool is_masking;
};
void PrintTo(const MaskingCase& c, std::ostream* os) { *os << c.label; }

const MaskingCase MASKING_CASES[] = {
    {"letters", "<t>*** ***</t>", "<t>Tom Lee</t>", true},
    {"letters_x_and_digits", "<t>XXX-0000</t>", "<t>abc-1234</t>", true},
    {"kanji", "<t>●● ■■</t>", "<t>山田 太郎</t>", true},
    {"four_bytes_as_two_masks", "<t>××</t>", "<t>😀</t>", true},
    {"unchanged", "<t>Tokyo</t>", "<t>Tokyo</t>", true},
    {"character_reference", "<t>&#09679;&#x25CF;</t>", "<t>&#23665;&#x7530;</t>", true},
    // What the other side typed over a masked text is no masking of the original.
    {"same_length_edit", "<t>Mike</t>", "<t>Tom1</t>", false},
    {"reference_to_a_letter", "<t>&#00065;</t>", "<t>&#23665;</t>", false},
    {"other_length", "<t>***</t>", "<t>Tomm</t>", false},
    {"markup_changed", "<t xml:space=\"preserve\">***</t>", "<t>Tom</t>", false},
    {"mask_splits_a_character", "<t>*●</t>", "<t>Ab●</t>", false},
};

class IsMaskingOf : public ::testing::TestWithParam<MaskingCase> {};

TEST_P(IsMaskingOf, TellsMaskedItemsFromEditedOnes) {
    const MaskingCase& c = GetParam();
    EXPECT_EQ(is_masking_of(c.masked, c.original), c.is_masking);
}

INSTANTIATE_TEST_SUITE_P(Items, IsMaskingOf, ::testing::ValuesIn(MASKING_CASES),
                         [](const auto& info) { return std::string(info.param.label); });

std::string table(const std::vector<std::string>& items) {
    std::string t = "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">";
    for (const std::string& i : items) t += "<si><t>" + i + "</t></si>";
    return t + "</sst>";
}

TEST(TableFits, OnlyTheTableMaskingMade) {
    const std::string original = table({"Tom", "Osaka", "Ann"});
    EXPECT_TRUE(table_fits(table({"***", "Osaka", "***"}), original));
    EXPECT_FALSE(table_fits(table({"***", "Osaka", "***", "new"}), original));  // a string added
    EXPECT_FALSE(table_fits(table({"Osaka", "***", "***"}), original));         // items moved
    EXPECT_FALSE(table_fits(table({"***", "Kyoto", "***"}), original));         // edited, same length
}

// The kept copy: row 1 "C001" and a masked name (rich text before masking), row 2 a
// number, a masked name and a city.
MergeSource kept_copy() {
    MergeSource source;
    source.original_items = {"<r><rPr><b/></rPr><t>山田</t></r><r><t> 太郎</t></r>", "<t>Ann</t>"};
    SourceSheet sheet{"名簿", {}};
    sheet.rows.push_back({0, {{0, "sC001", false, 0}, {1, "s●● ●●", true, 0}}});
    sheet.rows.push_back({1, {{0, "n42", false, 0}, {1, "s***", true, 1}, {2, "sOsaka", false, 0}}});
    source.sheets.push_back(std::move(sheet));
    return source;
}

TEST(MergeIntoPackage, GivesBackAsNewItemsKeepingRichTextAndTouchesNothingElse) {
    MfileRegistry reg;
    for (auto& e : test::small_workbook({"C001", "●● ●●", "x"})) test::put_stream(reg, e.name, e.data);
    std::string sheet = test::stream(reg, "xl/worksheets/sheet1.xml");
    // Row 2 as the other side left it: the number, a formula where the masked name was
    // (its cached result shows the masked text) and the city.
    sheet.insert(sheet.find("</sheetData>"),
                 "<row r=\"2\"><c r=\"A2\"><v>42</v></c><c r=\"B2\" t=\"str\"><f>\"***\"</f><v>***</v></c>"
                 "<c r=\"C2\" t=\"inlineStr\"><is><t>Osaka</t></is></c></row>");
    test::put_stream(reg, "xl/worksheets/sheet1.xml", sheet);

    MergeReport report;
    ASSERT_EQ(merge_into_package(reg, kept_copy(), report), RC_OK);
    EXPECT_TRUE(report.produced);
    EXPECT_EQ(report.given_back, 1u);
    EXPECT_TRUE(report.ambiguous.empty());
    EXPECT_TRUE(report.unmatched.empty());
    // The formula's cell is the other side's: its masked name is counted as changed.
    EXPECT_EQ(report.changed, (std::vector<MergeCell>{{"名簿", "B2"}}));

    const std::string out = test::stream(reg, "xl/worksheets/sheet1.xml");
    EXPECT_NE(out.find("<c r=\"B1\" t=\"s\"><v>3</v></c>"), std::string::npos) << out;
    EXPECT_NE(out.find("<c r=\"A1\" t=\"s\"><v>0</v></c>"), std::string::npos) << out;
    EXPECT_NE(out.find("<c r=\"B2\" t=\"str\"><f>\"***\"</f><v>***</v></c>"), std::string::npos) << out;
    const std::string strings = test::stream(reg, "xl/sharedStrings.xml");
    EXPECT_NE(strings.find("<si><r><rPr><b/></rPr><t>山田</t></r><r><t> 太郎</t></r></si></sst>"), std::string::npos)
        << strings;
    EXPECT_NE(strings.find("count=\"4\" uniqueCount=\"4\""), std::string::npos) << strings;
}

// A workbook whose table has a name this program does not add gets inline strings.
TEST(MergeIntoPackage, TableUnderAnotherNameGetsInlineStrings) {
    MfileRegistry reg;
    for (auto& e : test::small_workbook({"C001", "●● ●●", "x"})) {
        if (e.name == "xl/sharedStrings.xml") e.name = "xl/strings.xml";
        if (e.name == "xl/_rels/workbook.xml.rels") {
            const std::size_t at = e.data.find("Target=\"sharedStrings.xml\"");
            e.data.replace(at, 26, "Target=\"strings.xml\"");
        }
        test::put_stream(reg, e.name, e.data);
    }
    // The sheet's strings are inline, as the table cannot be read under its name.
    std::string sheet = test::stream(reg, "xl/worksheets/sheet1.xml");
    for (const auto& [from, to] : {std::pair<std::string, std::string>{"t=\"s\"><v>0</v>", "t=\"inlineStr\"><is><t>C001</t></is>"},
                                   {"t=\"s\"><v>1</v>", "t=\"inlineStr\"><is><t>●● ●●</t></is>"}})
        sheet.replace(sheet.find(from), from.size(), to);
    test::put_stream(reg, "xl/worksheets/sheet1.xml", sheet);

    MergeReport report;
    ASSERT_EQ(merge_into_package(reg, kept_copy(), report), RC_OK);
    EXPECT_EQ(report.given_back, 1u);
    const std::string out = test::stream(reg, "xl/worksheets/sheet1.xml");
    EXPECT_NE(out.find("<c r=\"B1\" t=\"inlineStr\"><is><t xml:space=\"preserve\">山田 太郎</t></is></c>"),
              std::string::npos)
        << out;
    EXPECT_FALSE(test::has_stream(reg, "xl/sharedStrings.xml"));
}

// Rows made only of a masked text that hundreds of rows share cannot be told apart:
// they stay masked and are listed as such, not as rows the other side deleted.
TEST(MergeIntoPackage, RowsOfCommonMaskedTextsAreLeftNotDeleted) {
    constexpr int ROWS = 300;  // more rows than a text shared by all of them proposes
    MergeSource source;
    source.original_items = {"<t>Tom</t>", "<t>Ann</t>"};
    SourceSheet kept{"名簿", {}};
    std::string rows;
    for (int r = 0; r < ROWS; ++r) {
        kept.rows.push_back({r, {{0, "s***", true, static_cast<std::size_t>(r % 2)}}});
        rows += "<row r=\"" + std::to_string(r + 1) + "\"><c r=\"A" + std::to_string(r + 1) +
                "\" t=\"inlineStr\"><is><t>***</t></is></c></row>";
    }
    source.sheets.push_back(std::move(kept));
    MfileRegistry reg;
    for (auto& e : test::small_workbook({"x"})) test::put_stream(reg, e.name, e.data);
    test::put_stream(reg, "xl/worksheets/sheet1.xml",
                     "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>" + rows +
                         "</sheetData></worksheet>");

    MergeReport report;
    ASSERT_EQ(merge_into_package(reg, source, report), RC_OK);
    EXPECT_EQ(report.given_back, 0u);
    EXPECT_EQ(report.left_masked(), static_cast<std::size_t>(ROWS));
    EXPECT_TRUE(report.row_deleted.empty());
}

}  // namespace
}  // namespace hsc
