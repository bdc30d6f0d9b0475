#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/suggest.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

namespace hsc {
namespace {

const std::string DECL = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
const std::string NS = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const std::string REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

std::string relationship(const std::string& id, const std::string& type, const std::string& target) {
    return "<Relationship Id=\"" + id + "\" Type=\"" + REL + "/" + type + "\" Target=\"" + target + "\"/>";
}

std::string inline_cell(const std::string& ref, const std::string& text) {
    return "<c r=\"" + ref + "\" t=\"inlineStr\"><is><t>" + text + "</t></is></c>";
}

const char* const FAMILY[] = {"山田", "佐藤", "鈴木", "高橋", "田中", "伊藤", "渡辺"};
const char* const GIVEN[] = {"太郎", "花子", "一郎", "美咲", "健太"};
const char* const READING[] = {"ヤマダ タロウ", "サトウ ハナコ", "スズキ イチロウ", "タカハシ ミサキ", "タナカ ケンタ"};

// Two worksheets in the opposite order of their parts, and a chart sheet:
//  "顧客 & 会員" (sheet2.xml): a title in row 1, the header in row 3, then 20 rows of
//    A number, B 氏名, C フリガナ, D E-mail (inline strings), E 電話 (numbers that lost
//    the zero), F 生年月日 (day numbers in a custom date format), G 金額 (numbers in a
//    number format), H no header: names as rich runs with phonetic readings.
//  "集計" (sheet1.xml): elements with an x: prefix, cells without references: A amounts,
//    B mail addresses.
std::vector<test::ZipEntry> workbook() {
    std::vector<std::string> strings;
    auto shared = [&](const std::string& si) {
        strings.push_back(si);
        return "<v>" + std::to_string(strings.size() - 1) + "</v>";
    };
    std::string rows = "<row r=\"1\">" + inline_cell("A1", "顧客一覧") + "</row><row r=\"3\">";
    const char* headers[] = {"No.", "氏名", "フリガナ", "E-mail", "電話", "生年月日", "金額"};
    for (int j = 0; j < 7; ++j)
        rows += "<c r=\"" + std::string(1, static_cast<char>('A' + j)) + "3\" t=\"s\">" +
                shared("<si><t>" + std::string(headers[j]) + "</t></si>") + "</c>";
    rows += "</row>";
    for (int i = 0; i < 20; ++i) {
        const std::string r = std::to_string(i + 4);
        const std::string name = std::string(FAMILY[i % 7]) + " " + GIVEN[i % 5];
        rows += "<row r=\"" + r + "\"><c r=\"A" + r + "\"><v>" + std::to_string(i + 1) + "</v></c>";
        rows += "<c r=\"B" + r + "\" t=\"s\">" + shared("<si><t>" + name + "</t></si>") + "</c>";
        rows += "<c r=\"C" + r + "\" t=\"s\">" + shared("<si><t>" + std::string(READING[i % 5]) + "</t></si>") + "</c>";
        rows += inline_cell("D" + r, "user" + std::to_string(i) + "@example.jp");
        rows += "<c r=\"E" + r + "\"><v>90" + std::to_string(12345670 + i) + "</v></c>";
        rows += "<c r=\"F" + r + "\" s=\"2\"><v>" + std::to_string(18000 + i * 800) + "</v></c>";
        rows += "<c r=\"G" + r + "\" s=\"3\"><v>" + std::to_string(1000 + i * 37) + "</v></c>";
        rows += "<c r=\"H" + r + "\" t=\"s\">" +
                shared("<si><r><rPr><b/></rPr><t>" + std::string(FAMILY[(i + 1) % 7]) +
                       "</t></r><r><t xml:space=\"preserve\"> " + GIVEN[(i + 2) % 5] +
                       "</t></r><rPh sb=\"0\" eb=\"2\"><t>ヤマダタロウ</t></rPh><phoneticPr fontId=\"1\"/></si>") +
                "</c></row>";
    }
    std::string sst = DECL + "<sst xmlns=\"" + NS + "\">";
    for (const auto& s : strings) sst += s;
    sst += "</sst>";

    std::string prefixed = DECL + "<x:worksheet xmlns:x=\"" + NS + "\"><x:sheetData>";
    for (int i = 0; i < 12; ++i)
        prefixed += "<x:row><x:c><x:v>" + std::to_string(500 + i) + "</x:v></x:c><x:c t=\"inlineStr\"><x:is><x:t>m" +
                    std::to_string(i) + "@example.co.jp</x:t></x:is></x:c></x:row>";
    prefixed += "</x:sheetData></x:worksheet>";

    return {
        {"[Content_Types].xml", DECL + "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>"},
        {"xl/workbook.xml", DECL + "<workbook xmlns=\"" + NS + "\" xmlns:r=\"" + REL + "\"><sheets>" +
                                "<sheet name=\"顧客 &amp; 会員\" sheetId=\"2\" r:id=\"rId2\"/>"
                                "<sheet name=\"集計\" sheetId=\"1\" r:id=\"rId1\"/>"
                                "<sheet name=\"グラフ\" sheetId=\"3\" r:id=\"rId3\"/></sheets></workbook>"},
        {"xl/_rels/workbook.xml.rels",
         DECL + "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" +
             relationship("rId1", "worksheet", "worksheets/sheet1.xml") +
             relationship("rId2", "worksheet", "/xl/worksheets/sheet2.xml") +
             relationship("rId3", "chartsheet", "chartsheets/sheet1.xml") +
             relationship("rId4", "sharedStrings", "sharedStrings.xml") + "</Relationships>"},
        {"xl/styles.xml", DECL + "<styleSheet xmlns=\"" + NS + "\"><numFmts count=\"2\">"
                                 "<numFmt numFmtId=\"164\" formatCode=\"yyyy&quot;年&quot;m&quot;月&quot;d&quot;日&quot;\"/>"
                                 "<numFmt numFmtId=\"165\" formatCode=\"#,##0&quot;円&quot;\"/></numFmts>"
                                 "<cellXfs count=\"4\"><xf numFmtId=\"0\"/><xf numFmtId=\"14\"/><xf numFmtId=\"164\"/>"
                                 "<xf numFmtId=\"165\"/></cellXfs></styleSheet>"},
        {"xl/worksheets/sheet1.xml", prefixed},
        {"xl/worksheets/sheet2.xml", DECL + "<worksheet xmlns=\"" + NS + "\"><sheetData>" + rows +
                                         "</sheetData></worksheet>"},
        {"xl/sharedStrings.xml", sst},
    };
}

std::vector<std::string> letters(const SheetSuggestion& sheet) {
    std::vector<std::string> out;
    for (const auto& c : sheet.columns) out.push_back(column_letters(c.column));
    return out;
}

const ColumnVerdict* column(const SheetSuggestion& sheet, const std::string& letter) {
    for (const auto& c : sheet.columns)
        if (column_letters(c.column) == letter) return &c.verdict;
    return nullptr;
}

TEST(Suggest, FindsThePersonalColumnsOfEveryWorksheetByHeaderAndByContent) {
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", workbook());
    const WorkbookSuggestion s = suggest_columns(dir / "book.xlsx", {.reference_year = 2026});
    ASSERT_EQ(s.status, SuggestStatus::ok);
    ASSERT_EQ(s.sheets.size(), 2u);  // the chart sheet has no cells

    const SheetSuggestion& people = s.sheets[0];
    EXPECT_EQ(people.name, "顧客 & 会員");
    EXPECT_EQ(people.part, "xl/worksheets/sheet2.xml");
    EXPECT_EQ(people.header_row, 3);
    EXPECT_FALSE(people.sampled);
    EXPECT_EQ(letters(people), (std::vector<std::string>{"B", "C", "D", "E", "F", "H"}));
    const ColumnVerdict* birth = column(people, "F");
    ASSERT_NE(birth, nullptr);
    EXPECT_EQ(birth->kind, DataKind::birth_date);
    ASSERT_FALSE(birth->content.empty());  // the day numbers were read as dates
    EXPECT_EQ(birth->content.front().matched, 20u);
    const ColumnVerdict* phone = column(people, "E");
    ASSERT_NE(phone, nullptr);
    ASSERT_FALSE(phone->content.empty());
    EXPECT_EQ(phone->content.front().kind, DataKind::phone);
    // H has no header: its runs make names only without the phonetic reading
    const ColumnVerdict* runs = column(people, "H");
    ASSERT_NE(runs, nullptr);
    EXPECT_FALSE(runs->header);
    EXPECT_EQ(runs->kind, DataKind::name);
    EXPECT_EQ(runs->values, 20u);

    const SheetSuggestion& totals = s.sheets[1];
    EXPECT_EQ(totals.name, "集計");
    EXPECT_EQ(totals.header_row, 0);
    EXPECT_EQ(letters(totals), (std::vector<std::string>{"B"}));

    EXPECT_EQ(s.columns, "B,C,D,E,F,H");
}

TEST(Suggest, LooksAtNoMoreRowsThanTheSample) {
    // Five mail addresses under the header, then 45 rows of something else.
    std::string rows = "<row r=\"1\">" + inline_cell("A1", "連絡用") + "</row>";
    for (int i = 2; i <= 51; ++i)
        rows += "<row r=\"" + std::to_string(i) + "\">" +
                inline_cell("A" + std::to_string(i), i <= 6 ? "p" + std::to_string(i) + "@example.jp" : "-") + "</row>";
    auto entries = workbook();
    for (auto& e : entries)
        if (e.name == "xl/worksheets/sheet1.xml")
            e.data = DECL + "<worksheet xmlns=\"" + NS + "\"><sheetData>" + rows + "</sheetData></worksheet>";
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", entries);

    const WorkbookSuggestion few = suggest_columns(dir / "book.xlsx", {.sample_rows = 5, .header_rows = 1});
    ASSERT_EQ(few.status, SuggestStatus::ok);
    const SheetSuggestion& sheet = few.sheets[1];
    EXPECT_TRUE(sheet.sampled);
    EXPECT_EQ(sheet.rows_read, 6u);
    ASSERT_EQ(letters(sheet), (std::vector<std::string>{"A"}));
    EXPECT_EQ(sheet.columns[0].verdict.values, 5u);

    const WorkbookSuggestion all = suggest_columns(dir / "book.xlsx");
    EXPECT_FALSE(all.sheets[1].sampled);
    EXPECT_TRUE(all.sheets[1].columns.empty());  // 5 of 50 values are too few
}

TEST(Suggest, ReportsWhatCannotBeRead) {
    test::TempDir dir;
    EXPECT_EQ(suggest_columns(dir / "missing.xlsx").status, SuggestStatus::cannot_open);
    test::write_file(dir / "text.xlsx", "just some text, not a zip archive");
    EXPECT_EQ(suggest_columns(dir / "text.xlsx").status, SuggestStatus::not_a_workbook);
    test::write_zip(dir / "other.zip", {{"readme.txt", "hello"}});
    EXPECT_EQ(suggest_columns(dir / "other.zip").status, SuggestStatus::not_a_workbook);

    // A shared-string index beyond the table shows nothing; it is no failure.
    auto entries = workbook();
    for (auto& e : entries)
        if (e.name == "xl/worksheets/sheet1.xml")
            e.data = DECL + "<worksheet xmlns=\"" + NS +
                     "\"><sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>999999</v></c></row></sheetData></worksheet>";
    test::write_zip(dir / "book.xlsx", entries);
    const WorkbookSuggestion s = suggest_columns(dir / "book.xlsx");
    EXPECT_EQ(s.status, SuggestStatus::ok);
    EXPECT_TRUE(s.sheets[1].columns.empty());
}

// The second worksheet of workbook() ("集計") with these rows of inline strings; a cell
// whose text starts with '#' is a number.
SheetSuggestion suggest_rows(const std::vector<std::vector<std::string>>& rows, const std::string& merged = "") {
    std::string xml;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const std::string row = std::to_string(r + 1);
        xml += "<row r=\"" + row + "\">";
        for (std::size_t c = 0; c < rows[r].size(); ++c) {
            const std::string& text = rows[r][c];
            const std::string ref = column_letters(static_cast<int>(c)) + row;
            if (text.empty()) continue;
            xml += text[0] == '#' ? "<c r=\"" + ref + "\"><v>" + text.substr(1) + "</v></c>" : inline_cell(ref, text);
        }
        xml += "</row>";
    }
    auto entries = workbook();
    for (auto& e : entries)
        if (e.name == "xl/worksheets/sheet1.xml")
            e.data = DECL + "<worksheet xmlns=\"" + NS + "\"><sheetData>" + xml + "</sheetData>" + merged + "</worksheet>";
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", entries);
    const WorkbookSuggestion s = suggest_columns(dir / "book.xlsx", {.reference_year = 2026});
    EXPECT_EQ(s.status, SuggestStatus::ok);
    return s.sheets.size() > 1 ? s.sheets[1] : SheetSuggestion{};
}

std::vector<std::vector<std::string>> customers(std::vector<std::vector<std::string>> above) {
    above.push_back({"顧客ID", "氏　名", "電話番号（自宅）", "ステータス", "メモ"});
    const char* const names[] = {"高橋美咲", "佐藤健一", "中村翼", "小林さやか", "渡辺隆", "伊藤裕子"};
    for (int i = 0; i < 6; ++i)
        above.push_back({"C00" + std::to_string(i), names[i], "03-1111-22" + std::to_string(10 + i), i % 2 ? "受付" : "完了",
                         i % 3 ? "" : "至急"});
    return above;
}

TEST(Suggest, TheHeaderRowIsTheRowNamingTheMostColumnsAboveTheData) {
    // a group row of merged cells whose words are header words
    SheetSuggestion s = suggest_rows(customers({{"基本情報", "", "連絡先", "", "住所情報"}}),
                                     "<mergeCells count=\"1\"><mergeCell ref=\"A1:B1\"/></mergeCells>");
    EXPECT_EQ(s.header_row, 2);
    EXPECT_EQ(letters(s), (std::vector<std::string>{"B", "C"}));
    // a title holding a header word, then a blank row
    s = suggest_rows(customers({{"都道府県別売上"}, {}}));
    EXPECT_EQ(s.header_row, 3);
    EXPECT_EQ(letters(s), (std::vector<std::string>{"B", "C"}));
    // a sheet of things with katakana headers and no word for personal data
    s = suggest_rows({{"品番", "商品名", "ステータス", "単価"},
                      {"03-1234-5678", "ボルト M6", "受付", "#120"},
                      {"06-2345-6789", "LED電球", "完了", "#980"},
                      {"045-123-4567", "コピー用紙", "受付", "#450"},
                      {"011-222-3333", "ゴム手袋", "保留", "#300"}});
    EXPECT_EQ(s.header_row, 1);
    EXPECT_TRUE(s.columns.empty());  // the part numbers are parts, not phones
    // no header at all: the first row is data
    s = suggest_rows({{"高橋 美咲", "03-1111-2210", "営業一課"},
                      {"佐藤 健一", "03-1111-2211", "総務課"},
                      {"中村 翼", "03-1111-2212", "営業一課"},
                      {"小林 さやか", "03-1111-2213", "総務課"}});
    EXPECT_EQ(s.header_row, 0);
    EXPECT_EQ(letters(s), (std::vector<std::string>{"A", "B"}));
}

// The header row and what stands above it stay readable when the proposal is followed:
// a cell up there in a proposed column that looks like personal data is named; a title
// and cells of columns not proposed are not.
TEST(Suggest, NamesThePersonalLookingCellsAboveTheHeaderRow) {
    SheetSuggestion s = suggest_rows(customers({{"都道府県別売上"}, {}}));
    ASSERT_EQ(s.header_row, 3);
    EXPECT_TRUE(s.kept_above.empty());
    s = suggest_rows(customers({{"担当", "高橋 美咲", "03-9999-0000", "", "info@example.jp"}, {}}));
    ASSERT_EQ(s.header_row, 3);
    ASSERT_EQ(letters(s), (std::vector<std::string>{"B", "C"}));
    EXPECT_EQ(s.kept_above, (std::vector<std::pair<long, int>>{{1, 1}, {1, 2}}));
    // without a header row nothing stands above it
    s = suggest_rows({{"高橋 美咲", "03-1111-2210"}, {"佐藤 健一", "03-1111-2211"}, {"中村 翼", "03-1111-2212"}});
    ASSERT_EQ(s.header_row, 0);
    EXPECT_TRUE(s.kept_above.empty());
}

TEST(DateStyles, LibreOfficesGeneralAndExponentsAreNoDates) {
    const std::string styles =
        R"(<styleSheet><numFmts count="4"><numFmt numFmtId="164" formatCode="General"/>)"
        R"(<numFmt numFmtId="165" formatCode="0.00E+00"/><numFmt numFmtId="166" formatCode="[$-411]ge.m.d"/>)"
        R"(<numFmt numFmtId="167" formatCode="YYYY/MM/DD"/></numFmts><cellXfs count="4">)"
        R"(<xf numFmtId="164"/><xf numFmtId="165"/><xf numFmtId="166"/><xf numFmtId="167"/></cellXfs></styleSheet>)";
    EXPECT_EQ(date_styles(styles), (std::vector<bool>{false, false, true, true}));
}

TEST(Suggest, ColumnLetters) {
    const std::vector<std::pair<int, std::string>> cases = {
        {0, "A"}, {25, "Z"}, {26, "AA"}, {51, "AZ"}, {701, "ZZ"}, {702, "AAA"}, {16383, "XFD"}};
    for (const auto& [n, want] : cases) EXPECT_EQ(column_letters(n), want) << n;
}

}  // namespace
}  // namespace hsc
