// The report per column: every kind of cell of a chosen column counted as masking treats
// it, the texts of the masked values given to the leak scan under their column, and the
// forms a masked date is looked for in.
#include "engine/column_report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace hsc {
namespace {

// Columns A to E of rows 1 to 4; row 1 is the header, kept readable.
//   A: shared strings, an inline string, an empty cell, text of an inline-string cell
//      without its string element (which nothing can mask)
//   B: numbers: an integer, a negative decimal, a formula with its cached result, a
//      number whose style (1) shows a date
//   C: an ISO date cell, a boolean, an error, a formula without a cached result
//      and a number that is its own mask (99 under the digit mask 9)
//   D: plain text cells (t="str"), one of them a formula's result; an empty inline string,
//      and a text with nothing to mask ("-")
//   E: not chosen: counted nowhere
const std::string SHEET =
    "<worksheet><sheetData>"
    "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c><c r=\"C1\" t=\"s\"><v>2</v></c>"
    "<c r=\"D1\" t=\"s\"><v>3</v></c></row>"
    "<row r=\"2\"><c r=\"A2\" t=\"s\"><v>4</v></c><c r=\"B2\"><v>9012345678</v></c>"
    "<c r=\"C2\" t=\"d\"><v>1985-03-12</v></c><c r=\"D2\" t=\"str\"><v>鈴木一郎</v></c><c r=\"E2\"><v>5</v></c></row>"
    "<row r=\"3\"><c r=\"A3\" t=\"inlineStr\"><is><t>田中次郎</t></is></c><c r=\"B3\"><v>-12.5</v></c>"
    "<c r=\"C3\" t=\"b\"><v>1</v></c><c r=\"D3\" t=\"str\"><f>A2&amp;\"様\"</f><v>山田太郎様</v></c></row>"
    "<row r=\"4\"><c r=\"A4\" s=\"3\"/><c r=\"B4\"><f>B2*2</f><v>18024691356</v></c><c r=\"C4\" t=\"e\"><v>#N/A</v></c>"
    "<c r=\"D4\" t=\"inlineStr\"></c></row>"
    "<row r=\"5\"><c r=\"A5\" t=\"inlineStr\">鈴木</c><c r=\"B5\" s=\"1\"><v>31119</v></c><c r=\"C5\"><f>NOW()</f></c></row>"
    "<row r=\"6\"><c r=\"B6\"><v>99</v></c><c r=\"D6\" t=\"str\"><v>-</v></c></row>"
    "</sheetData></worksheet>";

struct CountCase {
    const char* name;
    bool numbers = true;
    bool joinable = true;
    int digit_mask = NUMBER_NINE;
    std::vector<ColumnReport> expected;  // part, sheet and header as set below
};
void PrintTo(const CountCase& c, std::ostream* os) { *os << c.name; }

ColumnReport column(int index) {
    ColumnReport c;
    c.part = "xl/worksheets/sheet1.xml";
    c.sheet = "名簿";
    c.column = index;
    c.header_kept = 1;
    return c;
}

// The counts of the table above under each case's settings.
std::vector<ColumnReport> expected_counts(bool numbers, bool joinable, bool digits_masked) {
    ColumnReport a = column(0), b = column(1), c = column(2), d = column(3);
    a.texts = joinable ? 2 : 1;
    a.inline_left = joinable ? 1 : 2;
    a.empty = 1;
    if (!numbers) {
        b.numbers_kept = 4;
        b.formulas_left = 1;
        c.numbers_kept = 1;
    } else if (digits_masked) {
        b.numbers = 4, b.dates = 1, b.formulas = 1;
        c.dates = 1;
    } else {
        b.unmasked = 5;  // the digit mask "none" leaves them as they are
        c.dates = 1;     // an ISO date is masked whatever the digit mask says
    }
    c.booleans = 1, c.errors = 1, c.formulas_left = 1;
    d.texts = 2, d.formulas = 1, d.empty = 2;
    return {a, b, c, d};
}

class ColumnCounts : public ::testing::TestWithParam<CountCase> {};

TEST_P(ColumnCounts, EveryCellKindOfAChosenColumnIsCountedOnce) {
    const CountCase& k = GetParam();
    MaskSettings settings;
    settings.mask_number = k.digit_mask;
    SheetSelection selection;
    selection.columns = {3, 0, 2, 1};  // listed in any order: reported in column order
    selection.kept.push_back({0, 0, 0, 16383, KEPT_HEADER_ROW});
    const std::vector<bool> date_styles = {false, true, false, false};
    const ColumnCountSetup setup{"xl/worksheets/sheet1.xml", "名簿", k.numbers, k.joinable, false, &date_styles,
                                 &settings};
    std::vector<ColumnReport> columns;
    MaskedTexts texts;
    std::vector<std::uint64_t> owners(5, 0);
    count_sheet_columns(SHEET, selection, setup, columns, texts, owners);
    EXPECT_EQ(columns, k.expected);
    // The header row's items are kept, the values' items belong to their column.
    EXPECT_EQ(owners, (std::vector<std::uint64_t>{0, 0, 0, 0, column_bit(0)}));
}

INSTANTIATE_TEST_SUITE_P(Settings, ColumnCounts,
                         ::testing::Values(CountCase{"numbers_masked", true, true, NUMBER_NINE,
                                                     expected_counts(true, true, true)},
                                           CountCase{"text_only", false, true, NUMBER_NINE,
                                                     expected_counts(false, true, true)},
                                           CountCase{"digit_mask_none", true, true, NUMBER_NONE,
                                                     expected_counts(true, true, false)},
                                           CountCase{"inline_strings_cannot_join", true, false, NUMBER_NINE,
                                                     expected_counts(true, false, true)}),
                         [](const auto& info) { return std::string(info.param.name); });

// The masked values' texts go to the leak scan under their own column, so that a finding
// names the column it came from; a date also in the forms it is written elsewhere.
TEST(ColumnCount, MaskedValuesAreLookedForUnderTheirColumn) {
    MaskSettings settings;
    SheetSelection selection;
    selection.columns = {0, 1, 2, 3};
    const std::vector<bool> date_styles = {false, true};
    const ColumnCountSetup setup{"xl/worksheets/sheet1.xml", "名簿", true, true, false, &date_styles, &settings};
    std::vector<ColumnReport> columns;
    MaskedTexts texts;
    std::vector<std::uint64_t> owners(5, 0);
    count_sheet_columns(SHEET, selection, setup, columns, texts, owners);
    ASSERT_EQ(columns.size(), 4u);
    EXPECT_FALSE(texts.contains("田中次郎"));  // an inline string is looked for as the item it becomes
    EXPECT_EQ(texts.owners_of("9012345678"), column_bit(1));
    EXPECT_EQ(texts.owners_of("1985-03-12"), column_bit(2));  // as the cell holds it
    EXPECT_EQ(texts.owners_of("1985/3/12"), column_bit(2));
    EXPECT_EQ(texts.owners_of("1985-03-13T00:00:00"), column_bit(1));  // B5, a number shown as a date
    EXPECT_EQ(texts.owners_of("山田太郎様"), column_bit(3));
    EXPECT_FALSE(texts.contains("-12.5"));  // short numbers are everywhere: never looked for
    EXPECT_FALSE(texts.contains("5"));      // column E was not chosen
}

// A column of the list that holds no cell is still reported; without a list, every column
// met is, in the order met.
TEST(ColumnCount, ListedColumnsWithoutCellsAndEveryColumnWithout) {
    MaskSettings settings;
    const std::vector<bool> no_dates;
    const ColumnCountSetup setup{"xl/worksheets/sheet1.xml", "名簿", false, true, false, &no_dates, &settings};
    MaskedTexts texts;
    std::vector<std::uint64_t> owners;
    SheetSelection listed;
    listed.columns = {25};
    std::vector<ColumnReport> columns;
    count_sheet_columns(SHEET, listed, setup, columns, texts, owners);
    ASSERT_EQ(columns.size(), 1u);
    EXPECT_EQ(columns[0].column, 25);
    EXPECT_EQ(columns[0].masked(), 0u);

    SheetSelection every;
    every.every_column = true;
    columns.clear();
    count_sheet_columns(SHEET, every, setup, columns, texts, owners);
    std::vector<int> met;
    for (const ColumnReport& c : columns) met.push_back(c.column);
    EXPECT_EQ(met, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(columns[4].numbers_kept, 1u);  // numbers stay without a list unless asked for
}

// A value that masking leaves as it is counts as left readable only when the settings
// pass its characters by, for the report per column and for the file's count alike.
TEST(ColumnCount, AValueThatIsItsOwnMaskIsNoValueLeft) {
    const std::string sheet = "<worksheet><sheetData><row r=\"1\"><c r=\"A1\"><v>99</v></c>"
                              "<c r=\"B1\" t=\"str\"><v>XX</v></c></row></sheetData></worksheet>";
    SheetSelection selection;
    selection.columns = {0, 1};
    for (const int digits : {NUMBER_NINE, NUMBER_NONE}) {
        MaskSettings settings;
        settings.mask_number = digits;
        std::string masked = sheet;
        EXPECT_EQ(mask_cell_values(masked, selection, true, settings).left, digits == NUMBER_NONE ? 1u : 0u);
        EXPECT_EQ(why_unchanged("99", "n", settings),
                  digits == NUMBER_NONE ? Unchanged::readable : Unchanged::already_masked);
    }
    const MaskSettings defaults;
    MaskSettings letters_x;
    letters_x.mask_char = CHAR_X;
    EXPECT_EQ(why_unchanged("XX", "str", letters_x), Unchanged::already_masked);
    EXPECT_EQ(why_unchanged("-", "str", defaults), Unchanged::nothing_to_mask);
    EXPECT_EQ(why_unchanged("1900-01-01", "d", defaults), Unchanged::already_masked);
}

struct DateCase {
    const char* value;
    bool iso;
    bool date1904;
    std::vector<std::string> forms;
};

TEST(DateTexts, TheFormsOfADayFromItsSerialOrItsIsoValue) {
    const std::vector<std::string> day = {"1985-03-12", "1985-03-12T00:00:00", "1985/03/12", "1985/3/12"};
    const DateCase cases[] = {
        {"31118", false, false, day},
        {"31118.0", false, false, day},
        {"3.1118E4", false, false, day},
        {"29656", false, true, day},  // the same day counted from 1904
        {"31118.395833333332", false, false, {"1985-03-12T09:30:00"}},
        {"1", false, false, {"1900-01-01", "1900-01-01T00:00:00", "1900/01/01", "1900/1/1"}},
        {"59", false, false, {"1900-02-28", "1900-02-28T00:00:00", "1900/02/28", "1900/2/28"}},
        {"60", false, false, {}},  // the 29th of February 1900, which never was
        {"61", false, false, {"1900-03-01", "1900-03-01T00:00:00", "1900/03/01", "1900/3/1"}},
        {"0.5", false, false, {}},  // a time of day alone
        {"-3", false, false, {}},
        {"2958466", false, false, {}},  // past the year 9999
        {"abc", false, false, {}},
        {"1985-03-12", true, false, day},
        {"1985-03-12T00:00:00", true, false, day},
        {"1985-03-12T09:30:00", true, false, {"1985-03-12T09:30:00"}},
        {"T09:30:00", true, false, {}},
        {"1985-02-30", true, false, {}},
        {"1985-03-12X", true, false, {}},
    };
    for (const DateCase& c : cases) EXPECT_EQ(date_texts(c.value, c.iso, c.date1904), c.forms) << c.value;
}

TEST(AttributeLeaks, EachColumnGetsTheFindingsThatHoldItsTexts) {
    std::vector<ColumnReport> columns(3);
    const std::vector<LeakFinding> leaks = {
        {LeakKind::comments, "xl/comments1.xml", 3, column_bit(0) | column_bit(2)},
        {LeakKind::charts, "xl/charts/chart1.xml", 1, column_bit(2)},
        {LeakKind::shapes, "xl/drawings/drawing1.xml", 1, 0},  // a shape's own text: no column
    };
    attribute_leaks(leaks, columns);
    ASSERT_EQ(columns[0].found_elsewhere.size(), 1u);
    EXPECT_EQ(columns[0].found_elsewhere[0].part, "xl/comments1.xml");
    EXPECT_TRUE(columns[1].found_elsewhere.empty());
    EXPECT_FALSE(columns[1].readable());
    ASSERT_EQ(columns[2].found_elsewhere.size(), 2u);
    EXPECT_EQ(columns[2].found_elsewhere[1].kind, LeakKind::charts);
    EXPECT_TRUE(columns[2].readable());
}

TEST(Uses1904Dates, ReadFromTheWorkbookProperties) {
    EXPECT_TRUE(uses_1904_dates("<workbook><workbookPr date1904=\"1\"/></workbook>"));
    EXPECT_TRUE(uses_1904_dates("<workbook><workbookPr date1904=\"true\" codeName=\"x\"/></workbook>"));
    EXPECT_FALSE(uses_1904_dates("<workbook><workbookPr date1904=\"0\"/></workbook>"));
    EXPECT_FALSE(uses_1904_dates("<workbook><workbookPr/></workbook>"));
}

}  // namespace
}  // namespace hsc
