// Columns chosen by header text, header rows kept readable, and workbooks with tables.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "core/status.h"
#include "engine/refusal_text.h"
#include "engine/driver.h"
#include "engine/read_excel.h"
#include "engine/workbook_scan.h"
#include "package_fixture.h"
#include "support/quick_kdf.h"
#include "support/recording_reporter.h"
#include "support/temp_dir.h"
#include "support/workbook_fixture.h"
#include "support/zip_builder.h"

namespace hsc {
namespace {

using test::Entries;
using test::stream;

const std::vector<std::string> STRINGS = {
    "ID",        " 氏名 ",  "ＴＥＬ", "001",     "山田", "03-1111-2222",  // 0-5: sheet 1
    "メモ",      "TEL",     "氏名",   "memo",    "06-2222-3333", "佐藤",  // 6-11: sheet 2
};

std::string row(int r, const std::string& cells) { return "<row r=\"" + std::to_string(r) + "\">" + cells + "</row>"; }
std::string s_cell(const std::string& ref, int index) {
    return "<c r=\"" + ref + "\" t=\"s\"><v>" + std::to_string(index) + "</v></c>";
}
std::string inline_cell(const std::string& ref, const std::string& text) {
    return "<c r=\"" + ref + "\" t=\"inlineStr\"><is><t>" + text + "</t></is></c>";
}
std::string sheet(const std::string& rows) {
    return R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
           R"(<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>)" +
           rows + "</sheetData></worksheet>";
}

// Sheet 1: ID | " 氏名 " | ＴＥＬ | メール (inline) over 001 | 山田 | 03-… | a@x.jp (inline) | メモ (E2),
//          and 佐藤 in B3
// Sheet 2: メモ | TEL | 氏名 over memo | 06-… | 佐藤: the same headers at other letters.
Entries two_sheets() {
    Entries e = test::base_package();
    e.push_back({"xl/sharedStrings.xml", test::shared_strings(STRINGS)});
    e.push_back({"xl/worksheets/sheet1.xml",
                 sheet(row(1, s_cell("A1", 0) + s_cell("B1", 1) + s_cell("C1", 2) + inline_cell("D1", "メール")) +
                       row(2, s_cell("A2", 3) + s_cell("B2", 4) + s_cell("C2", 5) + inline_cell("D2", "a@x.jp") +
                                  s_cell("E2", 6)) +
                       row(3, s_cell("B3", 11)))});
    e.push_back({"xl/worksheets/sheet2.xml", sheet(row(1, s_cell("A1", 6) + s_cell("B1", 7) + s_cell("C1", 8)) +
                                                   row(2, s_cell("A2", 9) + s_cell("B2", 10) + s_cell("C2", 11)))});
    return e;
}

// The indices of the items whose text masking changed.
std::set<std::size_t> masked_items(std::string_view before, std::string_view after) {
    const auto a = shared_string_items(before), b = shared_string_items(after);
    std::set<std::size_t> changed;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (a[i] != b[i]) changed.insert(i);
    return changed;
}

struct HeaderCase {
    const char* label;
    std::string columns;
    int header_row = 1;
    bool keep_header = false;
    std::set<std::size_t> masked;  // items of STRINGS (the converted inline strings not counted)
    std::vector<ReportWarning> warnings;
};
void PrintTo(const HeaderCase& c, std::ostream* os) { *os << c.label; }

class HeaderColumns : public testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderColumns, ChooseTheColumnsOfEachWorksheet) {
    const HeaderCase& c = GetParam();
    MfileRegistry reg;
    auto names = test::load_package(reg, two_sheets());
    FileContext ctx;
    ctx.process_direction = Direction::mask;
    ASSERT_TRUE(parse_columns(c.columns, ctx));
    ctx.header_row = c.header_row - 1;
    ctx.keep_header = c.keep_header;
    StoredSettings s;
    s.password = "secret";
    MaskReport report;
    ASSERT_EQ(transform_package(reg, names, s, ctx, &report), RC_OK) << refusal_text(Lang::en, reg.refusal);
    const std::string before = test::shared_strings(STRINGS);
    std::set<std::size_t> masked;
    for (std::size_t i : masked_items(before, stream(reg, "xl/sharedStrings.xml")))
        if (i < STRINGS.size()) masked.insert(i);
    EXPECT_EQ(masked, c.masked);
    EXPECT_EQ(report.column_warnings, c.warnings);
    // What was chosen was masked: nothing is reported left readable.
    EXPECT_EQ(report.unmasked_items, 0u);
}

const std::string SHEET1 = "xl/worksheets/sheet1.xml", SHEET2 = "xl/worksheets/sheet2.xml";
ReportWarning NOT_IN(const std::string& header, const std::string& part) {
    return {std::string(WARNING_HEADER_NOT_FOUND), {part}, header};
}
ReportWarning HEADER_MASKED(const std::string& part) { return {std::string(WARNING_HEADER_MASKED), {part}, {}}; }

INSTANTIATE_TEST_SUITE_P(
    Cases, HeaderColumns,
    testing::Values(
        // " 氏名 " in sheet 1 (B, trimmed) and 氏名 in sheet 2 (C): the data, not the headers.
        HeaderCase{"same_header_two_sheets_other_letters", "氏名", 1, false, {4, 11}, {}},
        // TEL is a column letter; h: makes it a header; ＴＥＬ and TEL compare equal.
        HeaderCase{"fullwidth_and_halfwidth_equal", "h:TEL", 1, false, {5, 10}, {}},
        HeaderCase{"fullwidth_list_item", "ＴＥＬ", 1, false, {5, 10}, {}},
        HeaderCase{"missing_in_one_sheet", "h:ID", 1, false, {3}, {NOT_IN("ID", SHEET2)}},
        // Letters and headers mixed: D (inline strings, the header cell kept) and 氏名.
        HeaderCase{"letters_and_headers_mixed", "D,氏名", 1, false, {4, 11}, {}},
        // Row 2 as header row: 山田 chooses sheet 1's B; what stands above the header row
        // (a title, a group row) stays readable with it, and B3 is masked. 佐藤 is also
        // sheet 2's C2, a header cell with row 2 as the header row: it shows masked.
        HeaderCase{"header_row_two", "山田", 2, false, {11}, {NOT_IN("山田", SHEET2), HEADER_MASKED(SHEET2)}},
        // Letters mask the header row as they always did, unless it is kept.
        HeaderCase{"letters_mask_the_header", "B", 1, false, {1, 4, 7, 10, 11}, {}},
        HeaderCase{"keep_header_with_letters", "B", 1, true, {4, 10, 11}, {}},
        // Kept, the header row keeps the rows above it: in both sheets B1 and B2 stay.
        HeaderCase{"keep_header_keeps_the_rows_above", "B", 2, true, {11}, {HEADER_MASKED(SHEET2)}},
        // E2 of sheet 1 holds メモ, sheet 2's header: that header shows masked.
        HeaderCase{"header_shares_a_masked_string", "E,h:メモ", 1, false, {6, 9}, {NOT_IN("メモ", SHEET1), HEADER_MASKED(SHEET2)}},
        // No column list with the header kept: everything but the header rows.
        // (メモ, a header of sheet 2, is also E2 of sheet 1.)
        HeaderCase{"everything_but_the_headers", "", 1, true, {3, 4, 5, 6, 9, 10, 11}, {HEADER_MASKED(SHEET2)}}),
    [](const auto& info) { return std::string(info.param.label); });

// Writers that store every text as a plain-text cell (t="str") write the header row so too.
TEST(HeaderColumns, PlainTextHeaderCellsNameTheirColumns) {
    MfileRegistry reg;
    Entries e = test::base_package();
    e.push_back({"xl/worksheets/sheet1.xml",
                 sheet(row(1, R"(<c r="A1" t="str"><v>氏名</v></c><c r="B1" t="str"><v>電話 &amp; FAX</v></c>)") +
                       row(2, R"(<c r="A2" t="str"><v>山田太郎</v></c><c r="B2"><v>312345678</v></c>)"))});
    auto names = test::load_package(reg, e);
    FileContext ctx;
    ctx.process_direction = Direction::mask;
    ASSERT_TRUE(parse_columns("電話 & FAX", ctx));
    StoredSettings s;
    s.password = "secret";
    MaskReport report;
    ASSERT_EQ(transform_package(reg, names, s, ctx, &report), RC_OK) << refusal_text(Lang::en, reg.refusal);
    EXPECT_EQ(report.values.numbers, 1u);
    const std::string masked(stream(reg, "xl/worksheets/sheet1.xml"));
    EXPECT_NE(masked.find("<v>999999999</v>"), std::string::npos) << masked;
    // The header row stays; the other column is not chosen.
    EXPECT_NE(masked.find("<v>電話 &amp; FAX</v>"), std::string::npos) << masked;
    EXPECT_NE(masked.find("<v>山田太郎</v>"), std::string::npos) << masked;
}

TEST(HeaderColumns, HeaderInNoWorksheetIsRefusedNamingIt) {
    MfileRegistry reg;
    auto names = test::load_package(reg, two_sheets());
    FileContext ctx;
    ctx.process_direction = Direction::mask;
    ASSERT_TRUE(parse_columns("氏名,会員番号", ctx));
    StoredSettings s;
    EXPECT_EQ(transform_package(reg, names, s, ctx), RC_FAIL);
    EXPECT_EQ(reg.refusal.kind, RefusalKind::header_not_found);
    EXPECT_EQ(refusal_text(Lang::ja, reg.refusal),
              "マスク列の見出し「会員番号」が、どのシートの1行目にもありません。"
              "シート「xl/worksheets/sheet1.xml」の1行目の見出し: ID, 氏名, TEL, メール。");
    EXPECT_EQ(stream(reg, "xl/sharedStrings.xml"), test::shared_strings(STRINGS));
}

// TEL is a column letter and, in both sheets, a header text (ＴＥＬ reads as TEL): the
// list must say which it means, and nothing is masked until it does.
TEST(HeaderColumns, LetterThatIsAHeaderTextIsRefused) {
    MfileRegistry reg;
    auto names = test::load_package(reg, two_sheets());
    FileContext ctx;
    ctx.process_direction = Direction::mask;
    ASSERT_TRUE(parse_columns("TEL", ctx));
    StoredSettings s;
    EXPECT_EQ(transform_package(reg, names, s, ctx), RC_FAIL);
    EXPECT_EQ(reg.refusal.kind, RefusalKind::ambiguous_column);
    EXPECT_EQ(reg.refusal.sheet, SHEET1);
    EXPECT_EQ(reg.refusal.limit, 2u);  // C1
    EXPECT_EQ(stream(reg, "xl/sharedStrings.xml"), test::shared_strings(STRINGS));
}

TEST(HeaderColumns, KeptInlineHeaderStaysInline) {
    MfileRegistry reg;
    auto names = test::load_package(reg, two_sheets());
    FileContext ctx;
    ctx.process_direction = Direction::mask;
    ASSERT_TRUE(parse_columns("D", ctx));
    ctx.keep_header = true;
    StoredSettings s;
    ASSERT_EQ(transform_package(reg, names, s, ctx), RC_OK);
    const std::string sheet1 = stream(reg, SHEET1);
    EXPECT_NE(sheet1.find(inline_cell("D1", "メール")), std::string::npos) << sheet1;
    EXPECT_EQ(sheet1.find("a@x.jp"), std::string::npos);
    EXPECT_NE(sheet1.find("<c r=\"D2\" t=\"s\"><v>12</v></c>"), std::string::npos) << sheet1;
}

// ---- tables ----

// A table over A1:B4 of sheet 1: header row (名前, 電話), two data rows, totals row (合計).
Entries table_package(const std::string& b3_value = "<v>5</v>", bool totals = true) {
    Entries e = test::base_package();
    e.push_back({"xl/sharedStrings.xml", test::shared_strings({"名前", "電話", "山田", "03-1", "佐藤", "06-2", "合計"})});
    e.push_back({"xl/worksheets/sheet1.xml",
                 sheet(row(1, s_cell("A1", 0) + s_cell("B1", 1)) + row(2, s_cell("A2", 2) + s_cell("B2", 3)) +
                       row(3, s_cell("A3", 4) + "<c r=\"B3\" t=\"s\">" + b3_value + "</c>") +
                       row(4, s_cell("A4", 6) + "<c r=\"B4\"><f>SUBTOTAL(103,B2:B3)</f><v>2</v></c>"))});
    e.push_back({"xl/worksheets/_rels/sheet1.xml.rels",
                 R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
                 R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/table" Target="../tables/table1.xml"/></Relationships>)"});
    e.push_back({"xl/tables/table1.xml",
                 std::string(R"(<table xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" id="1" name="顧客" displayName="顧客" ref="A1:B4")") +
                     (totals ? R"( totalsRowCount="1")" : "") +
                     R"(><tableColumns count="2"><tableColumn id="1" name="名前" totalsRowLabel="合計"/><tableColumn id="2" name="電話"/></tableColumns></table>)"});
    return e;
}

struct TableCase {
    const char* label;
    std::string columns;
    bool totals;
    std::set<std::size_t> masked;
};
void PrintTo(const TableCase& c, std::ostream* os) { *os << c.label; }
class Tables : public testing::TestWithParam<TableCase> {};

TEST_P(Tables, HeaderAndTotalsRowsKeepTheirText) {
    const TableCase& c = GetParam();
    MfileRegistry reg;
    const Entries e = table_package("<v>5</v>", c.totals);
    auto names = test::load_package(reg, e);
    FileContext ctx;
    ctx.process_direction = Direction::mask;
    ASSERT_TRUE(parse_columns(c.columns, ctx));
    StoredSettings s;
    ASSERT_EQ(transform_package(reg, names, s, ctx), RC_OK) << refusal_text(Lang::en, reg.refusal);
    EXPECT_EQ(masked_items(e[3].second, stream(reg, "xl/sharedStrings.xml")), c.masked);
    EXPECT_EQ(stream(reg, "xl/tables/table1.xml"), e[6].second);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Tables,
    testing::Values(TableCase{"letters", "A,B", true, {2, 3, 4, 5}},
                    TableCase{"no_column_list", "", true, {2, 3, 4, 5}},
                    // Without a totals row the last row is data.
                    TableCase{"no_totals_row", "A", false, {2, 4, 6}},
                    TableCase{"by_header", "電話", true, {3, 5}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Tables, HeaderTextInAMaskedCellIsRefusedNamingTheTable) {
    MfileRegistry reg;
    const Entries e = table_package("<v>1</v>");  // B3 shows 電話, the header of B
    auto names = test::load_package(reg, e);
    FileContext ctx;
    ctx.process_direction = Direction::mask;
    ASSERT_TRUE(parse_columns("B", ctx));
    StoredSettings s;
    EXPECT_EQ(transform_package(reg, names, s, ctx), RC_UNSUPPORTED_OBJECTS);
    EXPECT_EQ(reg.refusal.kind, RefusalKind::table_header_masked);
    EXPECT_NE(refusal_text(Lang::ja, reg.refusal).find("テーブル「顧客」(xl/tables/table1.xml)"), std::string::npos)
        << refusal_text(Lang::ja, reg.refusal);
    EXPECT_EQ(stream(reg, "xl/sharedStrings.xml"), e[3].second);
    EXPECT_FALSE(test::has_stream(reg, "xl/BKsharedStrings.xml"));
}

// The table's name is read as it shows: its entities resolved once ("&amp;lt;" is "&lt;").
TEST(Tables, RefusalNamesTheTableAsItsNameReads) {
    MfileRegistry reg;
    Entries e = table_package("<v>1</v>");
    std::string& table = e[6].second;
    for (std::string_view attribute : {"displayName=\"顧客\"", "name=\"顧客\""})
        table.replace(table.find(attribute), attribute.size(),
                      std::string(attribute.substr(0, attribute.find('"') + 1)) + "R&amp;lt;D&amp;amp;Co\"");
    auto names = test::load_package(reg, e);
    FileContext ctx;
    ctx.process_direction = Direction::mask;
    ASSERT_TRUE(parse_columns("B", ctx));
    StoredSettings s;
    EXPECT_EQ(transform_package(reg, names, s, ctx), RC_UNSUPPORTED_OBJECTS);
    EXPECT_NE(refusal_text(Lang::ja, reg.refusal).find("テーブル「R&lt;D&amp;Co」"), std::string::npos)
        << refusal_text(Lang::ja, reg.refusal);
}

// Without a column list a data cell that repeats a header stays readable with it.
TEST(Tables, WithoutAColumnListHeaderTextsAreNeverMasked) {
    MfileRegistry reg;
    const Entries e = table_package("<v>1</v>");
    auto names = test::load_package(reg, e);
    FileContext ctx;
    ctx.process_direction = Direction::mask;
    StoredSettings s;
    ASSERT_EQ(transform_package(reg, names, s, ctx), RC_OK) << refusal_text(Lang::en, reg.refusal);
    EXPECT_EQ(masked_items(e[3].second, stream(reg, "xl/sharedStrings.xml")), (std::set<std::size_t>{2, 3, 4, 5}));
}


// ---- whole workbooks, read back by independent readers ----

namespace fs = std::filesystem;

std::string python() { return fs::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3"; }
bool has_openpyxl() { return std::system((python() + " -c 'import openpyxl' 2>/dev/null").c_str()) == 0; }

// Masks `input` into `output` through the driver with the given column list.
void mask_into(const fs::path& input, const fs::path& output, const std::string& columns) {
    MaskSettings s;
    s.password = "secret-words";
    s.target_column = columns;
    FileContext ctx;
    test::RecordingReporter rep;
    fs::path written;
    ASSERT_EQ(hsc_process_file(input, written, s, ctx, rep, test::quick_kdf()), RC_OK) << (rep.errors.empty() ? "" : rep.errors[0]);
    fs::rename(written, output);
}

// By header the sample workbook masks exactly what the letters the headers stand for
// mask, except that the header row stays as it was.
TEST(SampleWorkbook, MaskingByHeaderEqualsMaskingByLettersButForTheHeaderRow) {
    if (!has_openpyxl()) GTEST_SKIP() << "openpyxl not installed";
    test::TempDir dir;
    fs::copy_file(test::source_dir() / "examples" / "sample_customers.xlsx", dir / "book.xlsx");
    mask_into(dir / "book.xlsx", dir / "letters.xlsx", "B,C,E,F,G");
    mask_into(dir / "book.xlsx", dir / "headers.xlsx", "氏名,フリガナ,住所,電話番号,メールアドレス");
    test::write_file(dir / "check.py", R"(import sys, openpyxl
def cells(path):
    ws = openpyxl.load_workbook(path).worksheets[0]
    return {c.coordinate: c.value for row in ws.iter_rows() for c in row}
original, letters, headers = (cells(p) for p in sys.argv[1:4])
bad = []
for ref, value in original.items():
    row = int("".join(ch for ch in ref if ch.isdigit()))
    if row == 1:
        if headers[ref] != value: bad.append(("header changed", ref))
        if ref[0] in "BCEFG" and letters[ref] == value: bad.append(("letters kept the header", ref))
    elif headers[ref] != letters[ref]:
        bad.append(("differs", ref))
    elif ref[0] in "BCEFG" and value and headers[ref] == value:
        bad.append(("not masked", ref))
print(bad[:5] if bad else "ok")
sys.exit(1 if bad else 0)
)");
    const std::string command = python() + " '" + (dir / "check.py").string() + "' '" + (dir / "book.xlsx").string() +
                                "' '" + (dir / "letters.xlsx").string() + "' '" + (dir / "headers.xlsx").string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
}

// Every corpus workbook with tables masks and restores (the restored cell values are the
// original ones); in the masked workbook every table's header cells still hold its column
// names, read by openpyxl, and LibreOffice opens it.
TEST(CorpusTables, MaskedWorkbooksKeepTheirTablesAndRestore) {
    const fs::path corpus = test::corpus_dir();
    if (corpus.empty()) GTEST_SKIP() << "HUSHCEL_CORPUS not set";
    test::TempDir dir;
    std::vector<fs::path> books;
    for (const auto& entry : fs::recursive_directory_iterator(corpus)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".xlsx") continue;
        const std::string bytes = test::read_file(entry.path());
        if (bytes.substr(0, 2) == "PK" && bytes.find("xl/tables/table") != std::string::npos) books.push_back(entry.path());
    }
    ASSERT_FALSE(books.empty());
    std::string list;
    for (std::size_t k = 0; k < books.size(); ++k) {
        SCOPED_TRACE(books[k].string());
        const fs::path book = dir / ("book" + std::to_string(k) + ".xlsx");
        fs::copy_file(books[k], book);
        for (const std::string columns : {"", "A,B,C,D,E,F,G,H,I,J"}) {
            const fs::path masked = dir / ("masked" + std::to_string(k) + (columns.empty() ? "all" : "letters") + ".xlsx");
            mask_into(book, masked, columns);
            MaskSettings s;
            s.password = "secret-words";
            FileContext ctx;
            test::RecordingReporter rep;
            fs::path restored;
            ASSERT_EQ(hsc_process_file(masked, restored, s, ctx, rep, test::quick_kdf()), RC_OK) << (rep.errors.empty() ? "" : rep.errors[0]);
            list += masked.string() + "\t" + restored.string() + "\t" + book.string() + "\n";
        }
    }
    if (!has_openpyxl()) GTEST_SKIP() << "openpyxl not installed";
    test::write_file(dir / "list.txt", list);
    test::write_file(dir / "check.py", R"(import sys, openpyxl
from openpyxl.utils.cell import range_boundaries
def values(path):
    wb = openpyxl.load_workbook(path)
    return {(ws.title, c.coordinate): c.value for ws in wb.worksheets for row in ws.iter_rows() for c in row}
bad, tables = [], 0
for line in open(sys.argv[1], encoding="utf-8").read().splitlines():
    path, restored, original = line.split("\t")
    if values(restored) != values(original):
        bad.append((restored, "not restored"))
    wb = openpyxl.load_workbook(path)
    for ws in wb.worksheets:
        for table in ws.tables.values():
            tables += 1
            left, top, right, _ = range_boundaries(table.ref)
            names = [c.name for c in table.tableColumns]
            shown = [ws.cell(row=top, column=col).value for col in range(left, right + 1)]
            if names != shown:
                bad.append((path, table.displayName, names, shown))
print(tables, bad[:3] if bad else "ok")
sys.exit(1 if bad or tables == 0 else 0)
)");
    EXPECT_EQ(std::system((python() + " '" + (dir / "check.py").string() + "' '" + (dir / "list.txt").string() + "'").c_str()), 0);
    if (std::system("command -v soffice >/dev/null 2>&1") != 0) GTEST_SKIP() << "LibreOffice not installed";
    const fs::path first = dir / "masked0all.xlsx";
    const std::string convert = "cd '" + dir.path().string() + "' && HOME='" + dir.path().string() +
                                "' timeout 180 soffice --headless --convert-to csv --outdir out '" + first.string() +
                                "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(convert.c_str()), 0);
    EXPECT_TRUE(fs::exists(dir / "out" / "masked0all.csv"));
}

}  // namespace
}  // namespace hsc
