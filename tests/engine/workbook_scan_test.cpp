#include "engine/workbook_scan.h"
#include "engine/inline_strings.h"
#include "engine/suggest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ostream>

#include <string>
#include <vector>

namespace hsc {
namespace {

FileContext context_of(std::vector<int> numbers) {
    FileContext ctx;
    ctx.process_direction = Direction::mask;
    for (std::size_t i = 0; i < numbers.size(); ++i) ctx.target_column_numbers[i] = numbers[i];
    ctx.target_column_count = static_cast<int>(numbers.size());
    return ctx;
}
SheetSelection columns(std::vector<int> numbers) { return letter_selection(context_of(std::move(numbers))); }

std::string sheet(const std::string& cells) {
    return "<?xml version=\"1.0\"?><worksheet><cols><col min=\"1\" max=\"2\" width=\"9\"/></cols>"
           "<sheetData><row r=\"1\">" +
           cells + "</row></sheetData></worksheet>";
}

struct ScanCase {
    const char* name;
    std::vector<int> columns;  // zero-based target columns
    std::string cells;
    std::vector<std::uint8_t> flags;  // expected, over 4 items
};

void PrintTo(const ScanCase& c, std::ostream* os) { *os << c.name; }

class ScanWorksheet : public testing::TestWithParam<ScanCase> {};

TEST_P(ScanWorksheet, FlagsTheItemsOfTargetCells) {
    const auto& c = GetParam();
    std::vector<std::uint8_t> flags(4, 0);
    scan_worksheet(sheet(c.cells), columns(c.columns), flags);
    EXPECT_EQ(flags, c.flags);
}

const int B = 1, C = 2, D = 3;

INSTANTIATE_TEST_SUITE_P(
    Cases, ScanWorksheet,
    testing::Values(
        ScanCase{"NoColumnsFlagsNothing", {}, R"(<c r="B1" t="s"><v>0</v></c>)", {0, 0, 0, 0}},
        ScanCase{"StringInTargetColumn", {B}, R"(<c r="B1" t="s"><v>2</v></c>)", {0, 0, 1, 0}},
        ScanCase{"StringInOtherColumn", {B}, R"(<c r="D1" t="s"><v>2</v></c>)", {0, 0, 0, 0}},
        ScanCase{"SecondOfSeveralColumns", {C, D}, R"(<c r="D7" s="3" t="s"><v>1</v></c>)", {0, 1, 0, 0}},
        ScanCase{"AbsoluteAndLowercaseReference", {B}, R"(<c r="$b$1" t="s"><v>3</v></c>)", {0, 0, 0, 1}},
        // Each cell is judged by its own reference: the number cell in B does not make
        // the string cell in D a target.
        ScanCase{"NumberInTargetThenStringElsewhere", {B},
                 R"(<c r="B1"><v>5</v></c><c r="D1" t="s"><v>1</v></c>)", {0, 0, 0, 0}},
        ScanCase{"OtherTypesNeverFlag", {B},
                 R"(<c r="B1" t="str"><f>A1</f><v>1</v></c><c r="B2" t="inlineStr"><is><t>x</t></is></c>)"
                 R"(<c r="B3" t="b"><v>1</v></c><c r="B4" t="e"><v>#N/A</v></c><c r="B5"><v>2</v></c>)",
                 {0, 0, 0, 0}},
        ScanCase{"IndexAtItemCountFlagsNothing", {B}, R"(<c r="B1" t="s"><v>4</v></c>)", {0, 0, 0, 0}},
        ScanCase{"NonNumericIndexFlagsNothing", {B},
                 R"(<c r="B1" t="s"><v>1a</v></c><c r="B2" t="s"><v>-1</v></c><c r="B3" t="s"><v>1.0</v></c>)",
                 {0, 0, 0, 0}},
        ScanCase{"BadReferenceFlagsNothing", {B}, R"(<c r="B0" t="s"><v>1</v></c>)", {0, 0, 0, 0}},
        // The value belongs to this cell only: an empty string cell must not take the
        // value of the next cell.
        ScanCase{"EmptyCellDoesNotBorrowTheNextValue", {B},
                 R"(<c r="B1" t="s"/><c r="D1" t="s"><v>2</v></c><c r="B2" t="s"></c><c r="D2" t="s"><v>3</v></c>)",
                 {0, 0, 0, 0}},
        // Attribute order does not matter: t before r is the same cell.
        ScanCase{"TypeBeforeReference", {B}, R"(<c t="s" s="1" r="B1"><v>0</v></c>)", {1, 0, 0, 0}},
        ScanCase{"OtherAttributesEndingInRorT", {B}, R"(<c cr="B1" r="D1" ct="s" t="n"><v>0</v></c>)",
                 {0, 0, 0, 0}},
        ScanCase{"SingleQuotedAttributes", {B}, R"(<c r='B1' t='s'><v>1</v></c>)", {0, 1, 0, 0}},
        ScanCase{"ManyCells", {B, C},
                 R"(<c r="A1" t="s"><v>0</v></c><c r="B1" t="s"><v>1</v></c><c r="C1" t="s"><v>3</v></c>)"
                 R"(<c r="D1" t="s"><v>2</v></c>)",
                 {0, 1, 0, 1}},
        ScanCase{"UnterminatedTag", {B}, R"(<c r="B1" t="s")", {0, 0, 0, 0}},
        // Cells may leave out r: each then stands in the column after the previous cell.
        ScanCase{"CellsWithoutReference", {B},
                 R"(<c t="s"><v>0</v></c><c t="s"><v>1</v></c><c><v>7</v></c><c t="s"><v>3</v></c>)", {0, 1, 0, 0}},
        ScanCase{"ImplicitColumnAfterExplicit", {C}, R"(<c r="B1" t="s"><v>0</v></c><c t="s"><v>2</v></c>)",
                 {0, 0, 1, 0}},
        ScanCase{"ImplicitColumnAfterBadReference", {C}, R"(<c r="B0" t="s"><v>0</v></c><c t="s"><v>2</v></c>)",
                 {0, 0, 0, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ScanWorksheet, EachRowStartsAgainAtTheFirstColumn) {
    const std::string text = "<worksheet><sheetData><row r=\"1\"><c t=\"s\"><v>0</v></c><c t=\"s\"><v>1</v></c></row>"
                             "<row r=\"2\" spans=\"1:2\"><c t=\"s\"><v>2</v></c><c t=\"s\"><v>3</v></c></row></sheetData>"
                             "<rowBreaks/></worksheet>";
    std::vector<std::uint8_t> flags(4, 0);
    scan_worksheet(text, columns({B}), flags);
    EXPECT_EQ(flags, (std::vector<std::uint8_t>{0, 1, 0, 1}));
}

TEST(ScanWorksheet, ColumnsBeyondTheCountAreIgnored) {
    FileContext ctx = context_of({B});
    ctx.target_column_numbers[1] = D;  // present in the array, but not counted
    std::vector<std::uint8_t> flags(4, 0);
    scan_worksheet(sheet(R"(<c r="D1" t="s"><v>1</v></c>)"), letter_selection(ctx), flags);
    EXPECT_EQ(flags, (std::vector<std::uint8_t>{0, 0, 0, 0}));
}

TEST(ScanWorksheet, PrefixedElementsAreScanned) {
    const std::string text =
        "<?xml version=\"1.0\"?><x:worksheet xmlns:x=\"m\"><x:cols><x:col min=\"1\" max=\"1\"/></x:cols>"
        "<x:sheetData><x:row r=\"1\"><x:c r=\"B1\" t=\"s\"><x:v>2</x:v></x:c><x:c r=\"D1\" t=\"s\"><x:v>1</x:v></x:c>"
        "</x:row></x:sheetData></x:worksheet>";
    std::vector<std::uint8_t> flags(4, 0);
    scan_worksheet(text, columns({B}), flags);
    EXPECT_EQ(flags, (std::vector<std::uint8_t>{0, 0, 1, 0}));
}

TEST(CountSharedStringItems, CountsEveryItemAsCellsIndexThem) {
    EXPECT_EQ(count_shared_string_items(""), 0u);
    EXPECT_EQ(count_shared_string_items("<sst><si><t>a</t></si><si><r><t>b</t></r></si></sst>"), 2u);
    EXPECT_EQ(count_shared_string_items("<?xml?><x:sst><x:si><x:t>a</x:t></x:si></x:sst>"), 1u);
    // Empty items and items with attributes are items all the same.
    EXPECT_EQ(count_shared_string_items("<sst><si/><si ><t>a</t></si><si\tx=\"1\"/><si><t>b</t></si></sst>"), 4u);
    EXPECT_EQ(count_shared_string_items("<x:sst><x:si/><x:si><x:t>a</x:t></x:si></x:sst>"), 2u);
}

// ---- inline strings joining the table ---------------------------------------------------

struct InlineCase {
    const char* name;
    std::vector<int> columns;
    std::string sheet;          // whole worksheet text
    std::string table_prefix;
    std::string expected_sheet;
    std::string expected_items;
    std::size_t unconverted = 0;  // chosen cells whose string could not be taken
};

void PrintTo(const InlineCase& c, std::ostream* os) { *os << c.name; }

class ConvertInlineStrings : public testing::TestWithParam<InlineCase> {};

TEST_P(ConvertInlineStrings, TurnsChosenCellsIntoSharedStringCells) {
    const auto& c = GetParam();
    std::string text = c.sheet, items;
    const std::size_t items_before = 5;
    std::size_t unconverted = 0;
    const std::size_t n =
        convert_inline_strings(text, columns(c.columns), c.table_prefix, items_before, items, unconverted);
    EXPECT_EQ(text, c.expected_sheet);
    EXPECT_EQ(items, c.expected_items);
    EXPECT_EQ(unconverted, c.unconverted);
    // One item per turned cell, in cell order.
    const std::string si_close = "</" + c.table_prefix + "si>";
    std::size_t items_written = 0;
    for (std::size_t p = items.find(si_close); p != std::string::npos; p = items.find(si_close, p + 1))
        ++items_written;
    EXPECT_EQ(n, items_written);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConvertInlineStrings,
    testing::Values(
        InlineCase{"OnlyTheChosenColumn", {B},
                   sheet(R"(<c r="A1" t="inlineStr"><is><t>keep</t></is></c><c r="B1" s="2" t="inlineStr"><is><t>Alice</t></is></c>)"),
                   "",
                   sheet(R"(<c r="A1" t="inlineStr"><is><t>keep</t></is></c><c r="B1" s="2" t="s"><v>5</v></c>)"),
                   "<si><t>Alice</t></si>"},
        InlineCase{"EveryColumnWithoutAList", {},
                   sheet(R"(<c r="A1" t="inlineStr"><is><t>a</t></is></c><c t="inlineStr"><is><t xml:space="preserve"> b </t></is></c>)"),
                   "",
                   sheet(R"(<c r="A1" t="s"><v>5</v></c><c t="s"><v>6</v></c>)"),
                   R"(<si><t>a</t></si><si><t xml:space="preserve"> b </t></si>)"},
        InlineCase{"RichRunsAndPhoneticsKept", {B},
                   sheet(R"(<c r="B1" t="inlineStr"><is><r><rPr><b/></rPr><t>山田</t></r><r><t>太郎</t></r><rPh sb="0" eb="2"><t>ヤマダ</t></rPh></is></c>)"),
                   "",
                   sheet(R"(<c r="B1" t="s"><v>5</v></c>)"),
                   R"(<si><r><rPr><b/></rPr><t>山田</t></r><r><t>太郎</t></r><rPh sb="0" eb="2"><t>ヤマダ</t></rPh></si>)"},
        InlineCase{"PrefixedSheetUnprefixedTable", {B},
                   "<x:worksheet xmlns:x=\"m\"><x:sheetData><x:row r=\"1\"><x:c r=\"B1\" t=\"inlineStr\"><x:is>"
                   "<x:r><x:rPr><x:b/></x:rPr><x:t>Ann</x:t></x:r></x:is></x:c></x:row></x:sheetData></x:worksheet>",
                   "",
                   "<x:worksheet xmlns:x=\"m\"><x:sheetData><x:row r=\"1\"><x:c r=\"B1\" t=\"s\"><x:v>5</x:v></x:c>"
                   "</x:row></x:sheetData></x:worksheet>",
                   "<si><r><rPr><b/></rPr><t>Ann</t></r></si>"},
        InlineCase{"UnprefixedSheetPrefixedTable", {B},
                   sheet(R"(<c r="B1" t="inlineStr"><is><t xml:space="preserve">Bo b</t></is></c>)"), "x:",
                   sheet(R"(<c r="B1" t="s"><v>5</v></c>)"),
                   R"(<x:si><x:t xml:space="preserve">Bo b</x:t></x:si>)"},
        InlineCase{"EmptyInlineString", {B}, sheet(R"(<c r="B1" t="inlineStr"><is/></c>)"), "",
                   sheet(R"(<c r="B1" t="s"><v>5</v></c>)"), "<si><t/></si>"},
        // The start tag may carry whitespace and attributes like any other.
        InlineCase{"StartTagWithSpaceOrAttributes", {B},
                   sheet(R"(<c r="B1" t="inlineStr"><is ><t>Spaced</t></is></c>)"
                         R"(<c r="B2" t="inlineStr"><is xml:space="preserve"><t>Attr</t></is></c>)"
                         R"(<c r="B3" t="inlineStr"><is a=">"/></c>)"),
                   "",
                   sheet(R"(<c r="B1" t="s"><v>5</v></c><c r="B2" t="s"><v>6</v></c><c r="B3" t="s"><v>7</v></c>)"),
                   "<si><t>Spaced</t></si><si><t>Attr</t></si><si><t/></si>"},
        InlineCase{"PrefixedStartTagWithSpace", {B},
                   "<x:worksheet xmlns:x=\"m\"><x:sheetData><x:row r=\"1\"><x:c r=\"B1\" t=\"inlineStr\">"
                   "<x:is\n><x:t>Ann</x:t></x:is></x:c></x:row></x:sheetData></x:worksheet>",
                   "",
                   "<x:worksheet xmlns:x=\"m\"><x:sheetData><x:row r=\"1\"><x:c r=\"B1\" t=\"s\"><x:v>5</x:v></x:c>"
                   "</x:row></x:sheetData></x:worksheet>",
                   "<si><t>Ann</t></si>"},
        // A chosen cell whose string cannot be taken is counted, the others are not.
        InlineCase{"UnterminatedStringIsCounted", {B},
                   sheet(R"(<c r="A1" t="inlineStr"><is><t>x</t></c><c r="B1" t="inlineStr"><is><t>Bob</t></c>)"
                         R"(<c r="B2" t="inlineStr"><isx><t>Eve</t></isx></c>)"),
                   "",
                   sheet(R"(<c r="A1" t="inlineStr"><is><t>x</t></c><c r="B1" t="inlineStr"><is><t>Bob</t></c>)"
                         R"(<c r="B2" t="inlineStr"><isx><t>Eve</t></isx></c>)"),
                   "", 2},
        InlineCase{"OtherTypesStay", {B},
                   sheet(R"(<c r="B1" t="str"><f>A1</f><v>x</v></c><c r="B2" t="s"><v>0</v></c><c r="B3" t="inlineStr"/>)"),
                   "",
                   sheet(R"(<c r="B1" t="str"><f>A1</f><v>x</v></c><c r="B2" t="s"><v>0</v></c><c r="B3" t="inlineStr"/>)"),
                   ""}),
    [](const auto& info) { return std::string(info.param.name); });

// After the conversion the scan sees the new cells as ordinary shared-string cells.
TEST(ConvertInlineStrings, ScanFlagsTheNewItems) {
    std::string text = sheet(R"(<c r="B1" t="inlineStr"><is><t>x</t></is></c><c r="C1" t="inlineStr"><is><t>y</t></is></c>)");
    std::string items;
    std::size_t unconverted = 0;
    ASSERT_EQ(convert_inline_strings(text, columns({B, C}), "", 2, items, unconverted), 2u);
    std::vector<std::uint8_t> flags(4, 0);
    scan_worksheet(text, columns({C}), flags);
    EXPECT_EQ(flags, (std::vector<std::uint8_t>{0, 0, 0, 1}));
}

struct AppendCase {
    const char* name;
    std::string table;
    std::string expected;
};

void PrintTo(const AppendCase& c, std::ostream* os) { *os << c.name; }

class AppendSharedStringItems : public testing::TestWithParam<AppendCase> {};

TEST_P(AppendSharedStringItems, AppendsAndRaisesTheCounts) {
    std::string table = GetParam().table;
    ASSERT_TRUE(append_shared_string_items(table, "<si><t>n</t></si><si><t>m</t></si>", 2));
    EXPECT_EQ(table, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AppendSharedStringItems,
    testing::Values(
        AppendCase{"BothCounts", R"(<?xml?><sst xmlns="m" count="7" uniqueCount="3"><si><t>a</t></si></sst>)",
                   R"(<?xml?><sst xmlns="m" count="9" uniqueCount="5"><si><t>a</t></si><si><t>n</t></si><si><t>m</t></si></sst>)"},
        AppendCase{"UniqueCountFirst", R"(<sst uniqueCount='1' count='1'><si><t>a</t></si></sst>)",
                   R"(<sst uniqueCount='3' count='3'><si><t>a</t></si><si><t>n</t></si><si><t>m</t></si></sst>)"},
        AppendCase{"NoCounts", R"(<sst xmlns="m"></sst>)", R"(<sst xmlns="m"><si><t>n</t></si><si><t>m</t></si></sst>)"},
        AppendCase{"EmptyRoot", R"(<?xml?><sst xmlns="m" count="0" uniqueCount="0"/>)",
                   R"(<?xml?><sst xmlns="m" count="2" uniqueCount="2"><si><t>n</t></si><si><t>m</t></si></sst>)"},
        AppendCase{"Prefixed", R"(<x:sst xmlns:x="m" uniqueCount="9"><x:si><x:t>a</x:t></x:si></x:sst>)",
                   R"(<x:sst xmlns:x="m" uniqueCount="11"><x:si><x:t>a</x:t></x:si><si><t>n</t></si><si><t>m</t></si></x:sst>)"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AppendSharedStringItems, NoRootNoAppend) {
    std::string table = "<other/>";
    EXPECT_FALSE(append_shared_string_items(table, "<si/>", 1));
    EXPECT_EQ(table, "<other/>");
}

// ---- long sheets, walked by two walkers at once ------------------------------------------

// A sheet long enough to be walked in two pieces: row r holds B{r} -> item r and D{r} ->
// item `items - r`; rows in the middle hold only padding. `broken` leaves the row before
// the padding with a B cell without its end tag (and no D cell), so that a walk from the
// start reads that cell up to the end of the first cell after the padding.
struct LongSheet {
    std::string text;
    std::size_t items = 0;
    int first_after_padding = 0;  // the row after the padding
};
LongSheet long_sheet(bool broken) {
    constexpr int ROWS = 20000, PADDING_ROWS = 60000;
    LongSheet s;
    s.items = 2 * ROWS + 10;
    s.text = "<worksheet><sheetData>";
    const std::string padding(150, ' ');
    int row = 1;
    const auto cells = [&](int r, bool whole) {
        s.text += "<row r=\"" + std::to_string(r) + "\"><c r=\"B" + std::to_string(r) + "\" t=\"s\"><v>" +
                  std::to_string(r) + "</v>";
        if (whole)
            s.text += "</c><c r=\"D" + std::to_string(r) + "\" t=\"s\"><v>" +
                      std::to_string(s.items - static_cast<std::size_t>(r)) + "</v></c>";
        s.text += "</row>";
    };
    for (; row <= ROWS / 2; ++row) cells(row, !(broken && row == ROWS / 2));
    for (int k = 0; k < PADDING_ROWS; ++k, ++row) s.text += "<row r=\"" + std::to_string(row) + "\">" + padding + "</row>";
    s.first_after_padding = row;
    for (; row <= ROWS / 2 + PADDING_ROWS + ROWS / 2; ++row) cells(row - PADDING_ROWS, true);
    s.text += "</sheetData></worksheet>";
    return s;
}

TEST(ScanWorksheet, ALongSheetFlagsWhatOneWalkWould) {
    const LongSheet s = long_sheet(false);
    ASSERT_GT(s.text.size(), std::size_t{8} << 20) << "long enough to be walked in two pieces";
    std::vector<std::uint8_t> flags(s.items, 0);
    SheetSelection selection = columns({B});
    // The first row and the last (a table's totals row) stay readable: one kept use in
    // each piece, listed in the sheet's order.
    selection.kept.push_back({0, 0, 0, 16383, KEPT_HEADER_ROW});
    selection.kept.push_back({19999, 19999, 0, 16383, 0});
    std::vector<KeptUse> kept;
    const std::size_t cells = scan_worksheet(s.text, selection, flags, &kept);
    EXPECT_EQ(cells, 20000u - 2);
    for (std::size_t i = 2; i < 20000; ++i) EXPECT_EQ(flags[i], STRING_TARGET) << i;
    EXPECT_EQ(flags[1], STRING_KEPT);
    EXPECT_EQ(flags[20000], STRING_KEPT);
    EXPECT_EQ(std::count(flags.begin(), flags.end(), 0), static_cast<std::ptrdiff_t>(s.items - 20000 - 2))
        << "besides the B items, only the D items of the kept rows";
    ASSERT_EQ(kept.size(), 4u);
    EXPECT_EQ(kept[0].index, 1u);
    EXPECT_EQ(kept[1].index, s.items - 1);
    EXPECT_EQ(kept[2].index, 20000u);
    EXPECT_EQ(kept[2].owner, 0);
    EXPECT_EQ(kept[3].index, s.items - 20000);
}

// A cell without its end tag reads on to the next cell's end: the cell after the padding
// is inside it, and a walk that began in the padding must not count what it saw there.
TEST(ScanWorksheet, ALongSheetWhoseMiddleIsInsideACellIsWalkedAsOne) {
    const LongSheet s = long_sheet(true);
    std::vector<std::uint8_t> flags(s.items, 0);
    const std::size_t cells = scan_worksheet(s.text, columns({B}), flags);
    const auto hidden = static_cast<std::size_t>(s.first_after_padding - 60000);
    EXPECT_EQ(flags[hidden], 0) << "B of the row after the padding is inside the broken cell";
    EXPECT_EQ(cells, 20000u - 1);
    for (std::size_t i = 1; i <= 20000; ++i)
        if (i != hidden) EXPECT_EQ(flags[i], STRING_TARGET) << i;
}

}  // namespace
}  // namespace hsc

namespace hsc {
namespace {

// The values the cells of chosen columns hold themselves, masked in place. Each case is
// one row of a sheet whose column B is chosen; row 1 is kept as the header row.
struct ValueCellCase {
    const char* label;
    std::string cells;
    std::string masked;  // the row as masking leaves it ("" : unchanged)
    ValueCounts counts;
    bool numbers = true;
};
void PrintTo(const ValueCellCase& c, std::ostream* os) { *os << c.label; }
class MaskCellValues : public ::testing::TestWithParam<ValueCellCase> {};

std::string value_sheet(const std::string& row) {
    return R"(<worksheet><sheetData><row r="1"><c r="B1"><v>2024</v></c></row><row r="2">)" + row +
           "</row></sheetData></worksheet>";
}

TEST_P(MaskCellValues, KeepsTheLengthAndTheKind) {
    const auto& c = GetParam();
    SheetSelection selection = columns({1});
    selection.kept.push_back({0, 0, 0, 16383, KEPT_HEADER_ROW});
    const std::string sheet = value_sheet(c.cells);
    std::string masked = sheet;
    std::vector<std::string> originals;
    ValueUndo undo;
    const ValueCounts counts = mask_cell_values(masked, selection, c.numbers, MaskSettings{}, &undo,
                                                [&](std::string_view v) { originals.emplace_back(v); });
    EXPECT_EQ(counts.numbers, c.counts.numbers);
    EXPECT_EQ(counts.dates, c.counts.dates);
    EXPECT_EQ(counts.texts, c.counts.texts);
    EXPECT_EQ(counts.formulas, c.counts.formulas);
    EXPECT_EQ(counts.left, c.counts.left);
    EXPECT_EQ(counts.literals, c.counts.literals);
    EXPECT_EQ(originals.size(), counts.changed() - counts.literals);
    EXPECT_EQ(undo.size(), counts.changed());
    EXPECT_EQ(masked, c.masked.empty() ? sheet : value_sheet(c.masked));
    // What was recorded gives the worksheet back byte for byte.
    undo.apply(masked);
    EXPECT_EQ(masked, sheet);
}

ValueCounts counted(std::size_t numbers, std::size_t dates, std::size_t texts, std::size_t formulas = 0,
                        std::size_t left = 0, std::size_t literals = 0) {
    ValueCounts c;
    c.numbers = numbers, c.dates = dates, c.texts = texts, c.formulas = formulas, c.left = left, c.literals = literals;
    return c;
}

const ValueCellCase VALUE_CELLS[] = {

        ValueCellCase{"integer", R"(<c r="B2"><v>1500001</v></c>)", R"(<c r="B2"><v>9999999</v></c>)", counted(1, 0, 0)},
        ValueCellCase{"negative_decimal_with_type", R"(<c r="B2" t="n"><v>-12.75</v></c>)",
                      R"(<c r="B2" t="n"><v>-99.99</v></c>)", counted(1, 0, 0)},
        ValueCellCase{"exponent", R"(<c r="B2"><v>1.5E+20</v></c>)", R"(<c r="B2"><v>9.9E+20</v></c>)",
                      counted(1, 0, 0)},
        // A phone number typed into a spreadsheet loses its leading zero and becomes a number.
        ValueCellCase{"phone_as_number", R"(<c r="B2" s="3"><v>9012345678</v></c>)",
                      R"(<c r="B2" s="3"><v>9999999999</v></c>)", counted(1, 0, 0)},
        // A date or time is a number with a date format: masked like one, still a date.
        ValueCellCase{"date_time_serial", R"(<c r="B2" s="1"><v>33309.354166666664</v></c>)",
                      R"(<c r="B2" s="1"><v>99999.999999999999</v></c>)", counted(1, 0, 0)},
        ValueCellCase{"iso_date", R"(<c r="B2" t="d"><v>1985-03-12T00:00:00</v></c>)",
                      R"(<c r="B2" t="d"><v>1900-01-01T00:00:00</v></c>)", counted(0, 1, 0)},
        ValueCellCase{"plain_text_cell", R"(<c r="B2" t="str"><v>Yamada 03-1234</v></c>)",
                      R"(<c r="B2" t="str"><v>****** 99-9999</v></c>)", counted(0, 0, 1)},
        ValueCellCase{"formula_keeps_its_formula", R"(<c r="B2"><f>A2*2</f><v>246</v></c>)",
                      R"(<c r="B2"><f>A2*2</f><v>999</v></c>)", counted(1, 0, 0, 1)},
        ValueCellCase{"shared_formula_text_result", R"(<c r="B2" t="str"><f t="shared" si="0"/><v>Mr. Sato</v></c>)",
                      R"(<c r="B2" t="str"><f t="shared" si="0"/><v>**. ****</v></c>)", counted(0, 0, 1, 1)},
        // A text literal of a formula shows again when the spreadsheet recalculates: it is
        // masked, with or without a cached result, also in a formula of a number cell.
        ValueCellCase{"formula_text_literal", R"(<c r="B2" t="str"><f>"Sato"&amp;" Hanako"</f><v>Sato Hanako</v></c>)",
                      R"(<c r="B2" t="str"><f>"****"&amp;" ******"</f><v>**** ******</v></c>)", counted(0, 0, 1, 1, 0, 1)},
        ValueCellCase{"formula_literal_without_result", R"(<c r="B2" t="str"><f>HYPERLINK("tel:0312345678","Call")</f></c>)",
                      R"(<c r="B2" t="str"><f>HYPERLINK("***:9999999999","****")</f></c>)", counted(0, 0, 0, 0, 0, 1)},
        ValueCellCase{"formula_literal_other_column_stays", R"(<c r="C2" t="str"><f>"Sato"</f><v>Sato</v></c>)", "",
                      counted(0, 0, 0)},
        ValueCellCase{"boolean_error_empty_stay",
                      R"(<c r="B2" t="b"><v>1</v></c><c r="B3" t="e"><v>#N/A</v></c><c r="B4" s="2"/>)", "",
                      counted(0, 0, 0)},
        ValueCellCase{"strings_are_the_tables", R"(<c r="B2" t="s"><v>7</v></c><c r="B3" t="inlineStr"><is><t>x</t></is></c>)",
                      "", counted(0, 0, 0)},
        ValueCellCase{"other_column_stays", R"(<c r="C2"><v>1500001</v></c><c r="A2" t="str"><v>Sato</v></c>)", "",
                      counted(0, 0, 0)},
        ValueCellCase{"text_only_keeps_numbers", R"(<c r="B2"><v>1500001</v></c><c r="B3" t="str"><v>ab</v></c>)",
                      R"(<c r="B2"><v>1500001</v></c><c r="B3" t="str"><v>**</v></c>)", counted(0, 0, 1), false},
        ValueCellCase{"cdata_inside_its_markers", R"(<c r="B2" t="str"><v><![CDATA[Sato & Co]]></v></c>)",
                      R"(<c r="B2" t="str"><v><![CDATA[**** & **]]></v></c>)", counted(0, 0, 1)},
        ValueCellCase{"other_markup_is_left_and_counted", R"(<c r="B2" t="str"><v><x>Sato</x></v></c>)", "",
                      counted(0, 0, 0, 0, 1)},
        ValueCellCase{"number_and_date_in_one_row", R"(<c r="B2"><v>1985</v></c><c r="B2" t="d"><v>2001-01-01</v></c>)",
                      R"(<c r="B2"><v>9999</v></c><c r="B2" t="d"><v>1900-01-01</v></c>)", counted(1, 1, 0)}};

INSTANTIATE_TEST_SUITE_P(Cells, MaskCellValues, ::testing::ValuesIn(VALUE_CELLS),
    [](const auto& info) { return std::string(info.param.label); });

// Every masked number still reads as a number, and the header row keeps its value.
TEST(MaskCellValues, MaskedNumbersStillParseAndTheHeaderRowStays) {
    SheetSelection selection = columns({1});
    selection.kept.push_back({0, 0, 0, 16383, KEPT_HEADER_ROW});
    std::string masked = value_sheet(R"(<c r="B2"><v>-0.000123</v></c>)");
    ASSERT_EQ(mask_cell_values(masked, selection, true, MaskSettings{}).numbers, 1u);
    EXPECT_NE(masked.find("<v>2024</v>"), std::string::npos);
    const std::size_t v = masked.find("<v>-") + 3, end = masked.find("</v>", v);
    const std::string number = masked.substr(v, end - v);
    char* stop = nullptr;
    std::strtod(number.c_str(), &stop);
    EXPECT_EQ(stop, number.c_str() + number.size()) << number;
    EXPECT_EQ(number, "-9.999999");
}

}  // namespace
}  // namespace hsc

namespace hsc {
namespace {

// A number whose cell style shows a date counts as a date in the report; the masking is
// the same.
TEST(MaskCellValues, NumbersWithADateStyleCountAsDates) {
    const std::string sheet =
        R"(<worksheet><sheetData><row r="2"><c r="B2" s="1"><v>33309</v></c><c r="B3" s="2"><v>42</v></c>)"
        R"(<c r="B4"><v>7</v></c></row></sheetData></worksheet>)";
    std::string masked = sheet;
    const ValueCounts counts =
        mask_cell_values(masked, columns({1}), true, MaskSettings{}, nullptr, nullptr, {false, true, false});
    EXPECT_EQ(counts.dates, 1u);
    EXPECT_EQ(counts.numbers, 2u);
    EXPECT_NE(masked.find(R"(<c r="B2" s="1"><v>99999</v>)"), std::string::npos) << masked;
}

// Custom and built-in date formats of a styles part, per cell style.
TEST(DateStyles, BuiltInAndCustomDateFormats) {
    const std::string styles =
        R"(<styleSheet><numFmts count="2"><numFmt numFmtId="164" formatCode="yyyy/m/d"/>)"
        R"(<numFmt numFmtId="165" formatCode="&quot;day&quot;0.00"/></numFmts><cellXfs count="5">)"
        R"(<xf numFmtId="0"/><xf numFmtId="14"/><xf numFmtId="164"/><xf numFmtId="165"/><xf numFmtId="3"/></cellXfs></styleSheet>)";
    EXPECT_EQ(date_styles(styles), (std::vector<bool>{false, true, true, false, false}));
}

}  // namespace
}  // namespace hsc
