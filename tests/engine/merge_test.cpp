// The pieces of a restore into an edited workbook that the round trips of tests/cli do
// not single out: which items count as masked from which originals, and how a cell given
// back is written.
#include <gtest/gtest.h>

#include "core/status.h"
#include "engine/merge.h"
#include "engine/workbook_part.h"
#include "engine/workbook_scan.h"
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
    // The formula stays, without the result the other side computed from masked values;
    // the workbook asks for every formula to be computed on opening.
    EXPECT_NE(out.find("<c r=\"B2\" t=\"str\"><f>\"***\"</f></c>"), std::string::npos) << out;
    EXPECT_NE(test::stream(reg, "xl/workbook.xml").find("fullCalcOnLoad=\"1\""), std::string::npos);
    const std::string strings = test::stream(reg, "xl/sharedStrings.xml");
    EXPECT_NE(strings.find("<si><r><rPr><b/></rPr><t>山田</t></r><r><t> 太郎</t></r></si></sst>"), std::string::npos)
        << strings;
    EXPECT_NE(strings.find("count=\"4\" uniqueCount=\"4\""), std::string::npos) << strings;
}

struct CalculationCase {
    const char* workbook;
    const char* want;
};
void PrintTo(const CalculationCase& c, std::ostream* os) { *os << c.workbook; }

const CalculationCase CALCULATION_CASES[] = {
    {"<workbook><sheets/><calcPr calcId=\"191029\"/></workbook>",
     "<workbook><sheets/><calcPr fullCalcOnLoad=\"1\" calcId=\"191029\"/></workbook>"},
    {"<workbook><calcPr fullCalcOnLoad='0' calcId=\"1\"/></workbook>",
     "<workbook><calcPr fullCalcOnLoad='1' calcId=\"1\"/></workbook>"},
    // None yet: before the elements the schema puts after it, else last.
    {"<workbook><sheets/><definedNames/><pivotCaches/><extLst/></workbook>",
     "<workbook><sheets/><definedNames/><calcPr fullCalcOnLoad=\"1\"/><pivotCaches/><extLst/></workbook>"},
    {"<x:workbook xmlns:x=\"s\"><x:sheets/></x:workbook>",
     "<x:workbook xmlns:x=\"s\"><x:sheets/><x:calcPr fullCalcOnLoad=\"1\"/></x:workbook>"},
};

class AskFullCalculation : public ::testing::TestWithParam<CalculationCase> {};

TEST_P(AskFullCalculation, SetsTheFlagWhereTheSchemaPutsIt) {
    std::string text = GetParam().workbook;
    EXPECT_TRUE(ask_full_calculation(text));
    EXPECT_EQ(text, GetParam().want);
}

INSTANTIATE_TEST_SUITE_P(Workbooks, AskFullCalculation, ::testing::ValuesIn(CALCULATION_CASES));

TEST(WithoutFormulaResults, DropsOnlyTheResultsOfFormulas) {
    const std::string sheet =
        "<worksheet><sheetData><row r=\"1\"><c r=\"A1\"><v>5</v></c><c r=\"B1\"><f>A1*2</f><v>10</v></c>"
        "<c r=\"C1\" t=\"str\"><f t=\"shared\" si=\"0\"/><v>x</v></c><c r=\"D1\"><f>A1</f></c></row></sheetData></worksheet>";
    EXPECT_EQ(without_formula_results(sheet),
              "<worksheet><sheetData><row r=\"1\"><c r=\"A1\"><v>5</v></c><c r=\"B1\"><f>A1*2</f></c>"
              "<c r=\"C1\" t=\"str\"><f t=\"shared\" si=\"0\"/></c><c r=\"D1\"><f>A1</f></c></row></sheetData></worksheet>");
    EXPECT_FALSE(without_formula_results("<worksheet><sheetData><row r=\"1\"><c r=\"A1\"><f>1</f></c></row></sheetData></worksheet>"));
    EXPECT_FALSE(without_formula_results("<worksheet><sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c></row></sheetData></worksheet>"));
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

// A worksheet the other side changed while keeping the backups (restore --force): values
// masked in the worksheet come back only in rows that are still their own.
struct SheetValuesCase {
    const char* name;
    const char* now_rows;   // the rows of the worksheet as returned
    const char* want_rows;  // after giving back
    std::size_t given;
    std::vector<std::string> left;
};
void PrintTo(const SheetValuesCase& c, std::ostream* os) { *os << c.name; }

// Before masking: an ID, a number, a date-styled serial, a text cell, an ISO date and an
// inline string that masking turned into shared item 0 ("Ann").
constexpr const char* ORIGINAL_ROWS =
    "<row r=\"2\"><c r=\"A2\" t=\"inlineStr\"><is><t>C001</t></is></c><c r=\"B2\"><v>1200</v></c>"
    "<c r=\"C2\" s=\"1\"><v>31118</v></c><c r=\"D2\" t=\"str\"><v>090-1&amp;2</v></c>"
    "<c r=\"E2\" t=\"d\"><v>1985-03-12</v></c></row>"
    "<row r=\"3\"><c r=\"A3\" t=\"inlineStr\"><is><t>C002</t></is></c><c r=\"B3\"><v>3500</v></c></row>";
// As masking left it (and the table restored: items 0 and 1 are "C001" and "C002").
constexpr const char* MASKED_ROW_2 =
    "<row r=\"2\"><c r=\"A2\" t=\"s\"><v>0</v></c><c r=\"B2\"><v>9999</v></c>"
    "<c r=\"C2\" s=\"1\"><v>99999</v></c><c r=\"D2\" t=\"str\"><v>999-9&amp;9</v></c>"
    "<c r=\"E2\" t=\"d\"><v>1900-01-01</v></c>";
constexpr const char* ORIGINAL_ROW_2_VALUES =
    "<c r=\"B2\"><v>1200</v></c><c r=\"C2\" s=\"1\"><v>31118</v></c><c r=\"D2\" t=\"str\"><v>090-1&amp;2</v></c>"
    "<c r=\"E2\" t=\"d\"><v>1985-03-12</v></c>";

const SheetValuesCase SHEET_VALUE_CASES[] = {
    {"cell_added_to_the_row",
     "MASKED_ROW_2<c r=\"F2\"><v>7</v></c></row><row r=\"3\"><c r=\"A3\" t=\"s\"><v>1</v></c><c r=\"B3\"><v>9999</v></c></row>",
     "<row r=\"2\"><c r=\"A2\" t=\"s\"><v>0</v></c>ORIGINAL_ROW_2_VALUES<c r=\"F2\"><v>7</v></c></row>"
     "<row r=\"3\"><c r=\"A3\" t=\"s\"><v>1</v></c><c r=\"B3\"><v>3500</v></c></row>",
     5, {}},
    // Rows swapped: each number is a masking of the other row's number too, but the IDs
    // tell that the rows are not their own.
    {"rows_sorted",
     "<row r=\"2\"><c r=\"A2\" t=\"s\"><v>1</v></c><c r=\"B2\"><v>9999</v></c></row>"
     "<row r=\"3\"><c r=\"A3\" t=\"s\"><v>0</v></c><c r=\"B3\"><v>9999</v></c></row>",
     "<row r=\"2\"><c r=\"A2\" t=\"s\"><v>1</v></c><c r=\"B2\"><v>9999</v></c></row>"
     "<row r=\"3\"><c r=\"A3\" t=\"s\"><v>0</v></c><c r=\"B3\"><v>9999</v></c></row>",
     0, {"B2", "B3"}},
    // A value the other side wrote over stays theirs; a row with a cell gone is not its own.
    {"edited_and_cleared",
     "<row r=\"2\"><c r=\"A2\" t=\"s\"><v>0</v></c><c r=\"B2\"><v>5</v></c></row>"
     "<row r=\"3\"><c r=\"B3\"><v>9999</v></c></row>",
     "<row r=\"2\"><c r=\"A2\" t=\"s\"><v>0</v></c><c r=\"B2\"><v>5</v></c></row>"
     "<row r=\"3\"><c r=\"B3\"><v>9999</v></c></row>",
     0, {"B3"}},
};

std::string sheet_of(std::string rows) {
    for (const auto& [mark, text] : {std::pair<std::string, std::string>{"MASKED_ROW_2", MASKED_ROW_2},
                                     {"ORIGINAL_ROW_2_VALUES", ORIGINAL_ROW_2_VALUES}})
        for (std::size_t at; (at = rows.find(mark)) != std::string::npos;) rows.replace(at, mark.size(), text);
    return "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>" + rows +
           "</sheetData></worksheet>";
}

class GiveBackSheetValues : public ::testing::TestWithParam<SheetValuesCase> {};

TEST_P(GiveBackSheetValues, OnlyInRowsThatAreStillTheirOwn) {
    const SheetValuesCase& c = GetParam();
    const std::string table =
        "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><si><t>C001</t></si><si><t>C002</t></si></sst>";
    std::string out;
    std::vector<std::string> left;
    const std::size_t given = give_back_sheet_values(sheet_of(c.now_rows), sheet_of(ORIGINAL_ROWS), table, out, &left);
    EXPECT_EQ(out, sheet_of(c.want_rows));
    EXPECT_EQ(left, c.left);
    EXPECT_EQ(given, c.given);
}

INSTANTIATE_TEST_SUITE_P(Rows, GiveBackSheetValues, ::testing::ValuesIn(SHEET_VALUE_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace hsc
