// The column choice: its text (--columns, the window's field) and the profile, read and
// written; and what a choice per worksheet masks.
#include <gtest/gtest.h>

#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "core/status.h"
#include "engine/choice_text.h"
#include "engine/driver.h"
#include "engine/read_excel.h"
#include "engine/refusal_text.h"
#include "engine/workbook_scan.h"
#include "package_fixture.h"
#include "support/workbook_fixture.h"

namespace hsc {
namespace {

ColumnSet set_of(std::vector<int> letters, std::vector<std::string> headers, std::vector<std::string> bare = {},
                 int header_row = 1, bool keep_header = false) {
    ColumnSet s;
    s.letters = std::move(letters);
    s.headers = std::move(headers);
    s.bare_letters = std::move(bare);
    s.header_row = header_row;
    s.keep_header = keep_header;
    return s;
}

std::string shown(const ColumnChoice& c) {
    const auto one = [](const ColumnSet& s) {
        std::string out = "{letters";
        for (int l : s.letters) out += " " + std::to_string(l);
        out += "; headers";
        for (const auto& h : s.headers) out += " " + h;
        out += "; bare";
        for (const auto& b : s.bare_letters) out += " " + b;
        return out + "; row " + std::to_string(s.header_row) + (s.keep_header ? " kept}" : "}");
    };
    std::string out = "general " + one(c.general);
    for (const auto& s : c.sheets) out += " [" + s.sheet + "] " + one(s.columns);
    return out;
}

// ---- the column text ----

struct TextCase {
    const char* label;
    std::string text;
    ColumnChoice expected;
};
void PrintTo(const TextCase& c, std::ostream* os) { *os << c.label; }

class ColumnText : public testing::TestWithParam<TextCase> {};

TEST_P(ColumnText, ReadsIntoTheChoice) {
    const TextCase& c = GetParam();
    ChoiceError error;
    const auto choice = parse_column_text(c.text, 1, false, error);
    ASSERT_TRUE(choice) << choice_problem_text(Lang::en, error);
    EXPECT_EQ(*choice, c.expected) << shown(*choice);
    // Written again, it reads back the same.
    const auto again = column_text(*choice);
    ASSERT_TRUE(again);
    ChoiceError second;
    const auto reread = parse_column_text(*again, 1, false, second);
    ASSERT_TRUE(reread) << *again;
    EXPECT_EQ(*reread, *choice) << *again;
}

ColumnChoice general(ColumnSet s) { return {std::move(s), {}}; }
ColumnChoice per_sheet(ColumnSet g, std::vector<SheetColumns> sheets) { return {std::move(g), std::move(sheets)}; }

INSTANTIATE_TEST_SUITE_P(
    Cases, ColumnText,
    testing::Values(
        TextCase{"letters_and_headers", "B,氏名, $d ,AA7", general(set_of({1, 3, 26}, {"氏名"}, {"B", "D", "AA"}))},
        TextCase{"nothing", "", ColumnChoice{}},
        TextCase{"forced_both_ways", "h:TEL,col:SSN,Col:b", general(set_of({13351, 1}, {"TEL"}))},
        // A trailing ';' has always been taken as the end of the list.
        TextCase{"trailing_semicolon", "B,C;", general(set_of({1, 2}, {}, {"B", "C"}))},
        TextCase{"per_sheet", "顧客!B,C;注文!住所",
                 per_sheet({}, {{"顧客", set_of({1, 2}, {}, {"B", "C"})}, {"注文", set_of({}, {"住所"})}})},
        TextCase{"general_among_sheets", "顧客!B; A ; 注文 !E",
                 per_sheet(set_of({0}, {}, {"A"}),
                           {{"顧客", set_of({1}, {}, {"B"})}, {"注文", set_of({4}, {}, {"E"})}})},
        TextCase{"quoted_bang_semicolon_comma", "'A!b;c,d'!C", per_sheet({}, {{"A!b;c,d", set_of({2}, {}, {"C"})}})},
        TextCase{"quoted_doubled_quote", "'It''s'!A;'x'''!B",
                 per_sheet({}, {{"It's", set_of({0}, {}, {"A"})}, {"x'", set_of({1}, {}, {"B"})}})},
        TextCase{"quoted_plain_name", "'顧客' !h:ID", per_sheet({}, {{"顧客", set_of({}, {"ID"})}})}),
    [](const auto& info) { return std::string(info.param.label); });

struct TextError {
    const char* label;
    std::string text;
    ChoiceProblem problem;
    std::string detail;
};
void PrintTo(const TextError& c, std::ostream* os) { *os << c.label; }

class ColumnTextErrors : public testing::TestWithParam<TextError> {};

TEST_P(ColumnTextErrors, AreRefusedNamingThePart) {
    const TextError& c = GetParam();
    ChoiceError error;
    EXPECT_FALSE(parse_column_text(c.text, 1, false, error));
    EXPECT_EQ(error.problem, c.problem) << choice_problem_text(Lang::en, error);
    EXPECT_EQ(error.detail, c.detail);
    EXPECT_FALSE(choice_problem_text(Lang::ja, error).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ColumnTextErrors,
    testing::Values(TextError{"empty_header", "A,h:", ChoiceProblem::empty_header, "h:"},
                    TextError{"col_before_a_text", "col:氏名", ChoiceProblem::not_a_letter, "col:氏名"},
                    TextError{"col_past_the_last_column", "col:XFE", ChoiceProblem::not_a_letter, "col:XFE"},
                    TextError{"unclosed_quote", "'顧客!B", ChoiceProblem::unclosed_quote, "'顧客!B"},
                    TextError{"quote_without_bang", "'顧客'B", ChoiceProblem::no_bang, "顧客"},
                    TextError{"empty_sheet_name", "!B", ChoiceProblem::empty_sheet_name, ""},
                    TextError{"sheet_twice", "顧客!B;顧客!C", ChoiceProblem::sheet_twice, "顧客"},
                    TextError{"sheet_without_columns", "顧客!;注文!B", ChoiceProblem::sheet_without_columns, "顧客"},
                    TextError{"two_general_parts", "B;C", ChoiceProblem::two_general, "C"},
                    TextError{"too_long", std::string(1024, 'A'), ChoiceProblem::too_long, "1023"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ColumnText, EverySetTakesTheHeaderRowAndKeepHeaderGiven) {
    ChoiceError error;
    const auto choice = parse_column_text("B;顧客!C", 3, true, error);
    ASSERT_TRUE(choice);
    EXPECT_EQ(choice->general.header_row, 3);
    EXPECT_TRUE(choice->general.keep_header);
    ASSERT_EQ(choice->sheets.size(), 1u);
    EXPECT_EQ(choice->sheets[0].columns.header_row, 3);
    EXPECT_TRUE(choice->sheets[0].columns.keep_header);
}

TEST(ColumnText, HeaderTextsThatLookLikeOtherItemsAreWrittenAsHeaders) {
    ColumnChoice c;
    c.general = set_of({}, {"TEL", "h:x", "col:B"});
    const auto text = column_text(c);
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, "h:TEL,h:h:x,h:col:B");
    // A header text with a separator in it has no column text; a profile holds it.
    c.general.headers = {"a,b"};
    EXPECT_FALSE(column_text(c));
    c.general.headers = {"a!b"};
    EXPECT_FALSE(column_text(c));
}

TEST(ColumnText, SheetNamesAreQuotedOnlyWhenTheyMustBe) {
    EXPECT_EQ(sheet_in_column_text("顧客"), "顧客");
    EXPECT_EQ(sheet_in_column_text("Sheet 1"), "Sheet 1");
    EXPECT_EQ(sheet_in_column_text("A!b"), "'A!b'");
    EXPECT_EQ(sheet_in_column_text("a;b,c"), "'a;b,c'");
    EXPECT_EQ(sheet_in_column_text("It's"), "'It''s'");
    EXPECT_EQ(sheet_in_column_text(" x"), "' x'");
}

// ---- the profile ----

constexpr std::string_view FULL_PROFILE =
    "hushcel-profile 1\n"
    "# customers and orders\n"
    "[*]\n"
    "header-row = 2\n"
    "column = B\n"
    "\n"
    "[顧客]\r\n"
    "  column = 氏名  \n"
    "column=col:D\n"
    "keep-header = yes\n"
    "[A!b;c]\n"
    "header-row = 4\n"
    "column = h:TEL\n";

TEST(Profile, ReadsSectionsWithTheGeneralDefaults) {
    ChoiceError error;
    const auto choice = parse_profile(FULL_PROFILE, error);
    ASSERT_TRUE(choice) << choice_problem_text(Lang::en, error) << " line " << error.line;
    const ColumnChoice expected = per_sheet(set_of({1}, {}, {"B"}, 2, false),
                                            {{"顧客", set_of({3}, {"氏名"}, {}, 2, true)},
                                             {"A!b;c", set_of({}, {"TEL"}, {}, 4, false)}});
    EXPECT_EQ(*choice, expected) << shown(*choice);
}

TEST(Profile, WrittenAndReadBackIsTheSameChoice) {
    const ColumnChoice choices[] = {
        ColumnChoice{},
        general(set_of({0, 27}, {"氏名", "TEL", "a,b;c!d"}, {"A"}, 5, true)),
        per_sheet({}, {{"It's", set_of({1}, {}, {"B"}, 3, false)}, {"A!b", set_of({}, {"電話番号"}, {}, 1, true)}}),
    };
    for (const ColumnChoice& c : choices) {
        const std::string text = profile_text(c);
        ChoiceError error;
        const auto back = parse_profile(text, error);
        ASSERT_TRUE(back) << text << choice_problem_text(Lang::en, error);
        EXPECT_EQ(*back, c) << text;
        EXPECT_EQ(profile_text(*back), text);
    }
}

struct ProfileError {
    const char* label;
    std::string text;
    ChoiceProblem problem;
    std::size_t line;
};
void PrintTo(const ProfileError& c, std::ostream* os) { *os << c.label; }

class ProfileErrors : public testing::TestWithParam<ProfileError> {};

TEST_P(ProfileErrors, NameTheLine) {
    const ProfileError& c = GetParam();
    ChoiceError error;
    EXPECT_FALSE(parse_profile(c.text, error));
    EXPECT_EQ(error.problem, c.problem) << choice_problem_text(Lang::en, error);
    EXPECT_EQ(error.line, c.line);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileErrors,
    testing::Values(
        ProfileError{"empty_file", "", ChoiceProblem::no_profile_line, 0},
        ProfileError{"settings_file_instead", "[Hushcel]\nTARGET_COLUMN=\"\"\n", ChoiceProblem::no_profile_line, 1},
        ProfileError{"another_version", "hushcel-profile 2\n[*]\n", ChoiceProblem::no_profile_line, 1},
        ProfileError{"key_before_a_section", "hushcel-profile 1\ncolumn = B\n", ChoiceProblem::key_outside_section, 2},
        ProfileError{"unknown_key", "hushcel-profile 1\n[*]\ncolumns = B\n", ChoiceProblem::unknown_key, 3},
        ProfileError{"not_a_line", "hushcel-profile 1\n[*]\nB\n", ChoiceProblem::bad_line, 3},
        ProfileError{"header_row_twice", "hushcel-profile 1\n[*]\nheader-row = 1\nheader-row = 2\n",
                     ChoiceProblem::key_twice, 4},
        ProfileError{"header_row_zero", "hushcel-profile 1\n[*]\nheader-row = 0\n", ChoiceProblem::bad_header_row, 3},
        ProfileError{"header_row_text", "hushcel-profile 1\n[*]\nheader-row = 2a\n", ChoiceProblem::bad_header_row, 3},
        ProfileError{"keep_header_not_yes_or_no", "hushcel-profile 1\n[*]\nkeep-header = Y\n", ChoiceProblem::bad_flag, 3},
        ProfileError{"section_twice", "hushcel-profile 1\n[顧客]\ncolumn = B\n[顧客]\n", ChoiceProblem::section_twice, 4},
        ProfileError{"general_twice", "hushcel-profile 1\n[*]\n[*]\n", ChoiceProblem::section_twice, 3},
        ProfileError{"empty_sheet_name", "hushcel-profile 1\n[]\n", ChoiceProblem::empty_sheet_name, 2},
        ProfileError{"empty_column", "hushcel-profile 1\n[*]\ncolumn =\n", ChoiceProblem::empty_header, 3},
        ProfileError{"bad_column", "hushcel-profile 1\n[*]\ncolumn = col:氏名\n", ChoiceProblem::not_a_letter, 3},
        ProfileError{"sheet_without_columns", "hushcel-profile 1\n[顧客]\nheader-row = 2\n",
                     ChoiceProblem::sheet_without_columns, 0}),
    [](const auto& info) { return std::string(info.param.label); });

// ---- masking by a choice per worksheet ----

// 顧客: 氏名 | 電話 | 商品 with the header on row 1; 注文: a title row, then 品名 | 住所 | メモ
// on row 2. りんご stands on both sheets (one shared string), 氏名 as a header and as the
// memo of an order.
const std::vector<test::NamedSheet> BOOK = {
    {"顧客", {{"氏名", "電話", "商品"}, {"高橋美咲", "03-1234-5678", "りんご"}, {"田中太郎", "090-1111-2222", "みかん"}}},
    {"注文", {{"注文一覧"}, {"品名", "住所", "メモ"}, {"りんご", "東京都港区1-2", "氏名"}, {"ぶどう", "大阪市北区3-4", "至急"}}},
    {"A!b", {{"Name", "SSN"}, {"John Smith", "123-45-6789"}}},
};

test::Entries entries_of(const std::vector<test::ZipEntry>& zip) {
    test::Entries e;
    for (const auto& z : zip) e.emplace_back(z.name, z.data);
    return e;
}

// The package after masking with `ctx`, part by part; the refusal when it failed.
struct Masked {
    int rc = RC_FAIL;
    Refusal refusal;
    std::vector<std::pair<std::string, std::string>> parts;
    std::set<std::string> masked_texts;  // shared strings whose text changed
};
Masked mask_book(FileContext ctx, const std::vector<test::NamedSheet>& book = BOOK) {
    MfileRegistry reg;
    auto names = test::load_package(reg, entries_of(test::sheets_workbook(book)));
    ctx.process_direction = Direction::mask;
    StoredSettings s;
    s.password = "secret";
    Masked m;
    m.rc = transform_package(reg, names, s, ctx);
    m.refusal = reg.refusal;
    if (m.rc != RC_OK) return m;
    for (const auto& name : {"xl/sharedStrings.xml", "xl/worksheets/sheet1.xml", "xl/worksheets/sheet2.xml",
                             "xl/worksheets/sheet3.xml"})
        m.parts.emplace_back(name, test::stream(reg, name));
    const auto strings = test::sheets_workbook_strings(book);
    const std::string table = test::stream(reg, "xl/sharedStrings.xml");
    const auto after = shared_string_items(table);
    for (std::size_t i = 0; i < strings.size() && i < after.size(); ++i)
        if ("<t>" + strings[i] + "</t>" != after[i]) m.masked_texts.insert(strings[i]);
    return m;
}

FileContext by_text(const std::string& text, int header_row = 1, bool keep_header = false) {
    FileContext ctx;
    ctx.header_row = header_row - 1;
    ctx.keep_header = keep_header;
    EXPECT_TRUE(parse_columns(text, ctx)) << text;
    return ctx;
}

FileContext by_profile(std::string_view profile) {
    ChoiceError error;
    const auto choice = parse_profile(profile, error);
    EXPECT_TRUE(choice) << choice_problem_text(Lang::en, error);
    FileContext ctx;
    if (choice) ctx.set_choice(*choice);
    return ctx;
}

TEST(SheetChoice, EachSheetMasksItsOwnColumnsAndSheetsNotNamedStay) {
    const Masked m = mask_book(by_text("顧客!A;注文!B"));
    ASSERT_EQ(m.rc, RC_OK) << refusal_text(Lang::en, m.refusal);
    // 顧客's A (header included: letters mask it) and 注文's B; A!b is not named.
    EXPECT_EQ(m.masked_texts,
              (std::set<std::string>{"氏名", "高橋美咲", "田中太郎", "住所", "東京都港区1-2", "大阪市北区3-4"}));
}

TEST(SheetChoice, GeneralChoiceHoldsForTheSheetsNotNamed) {
    const Masked m = mask_book(by_text("'A!b'!h:Name;A", 1, true));
    ASSERT_EQ(m.rc, RC_OK) << refusal_text(Lang::en, m.refusal);
    // A of 顧客 and 注文 below the kept header row 1 (注文一覧 is row 1 there), Name of A!b.
    EXPECT_EQ(m.masked_texts, (std::set<std::string>{"高橋美咲", "田中太郎", "品名", "りんご", "ぶどう", "John Smith"}));
}

TEST(SheetChoice, ProfileMasksAsTheSameColumnText) {
    const Masked text = mask_book(by_text("顧客!A,h:電話;注文!C", 1, true));
    const Masked profile = mask_book(by_profile("hushcel-profile 1\n[*]\nkeep-header = yes\n"
                                                "[顧客]\ncolumn = A\ncolumn = 電話\n[注文]\ncolumn = C\n"));
    ASSERT_EQ(text.rc, RC_OK) << refusal_text(Lang::en, text.refusal);
    ASSERT_EQ(profile.rc, RC_OK) << refusal_text(Lang::en, profile.refusal);
    EXPECT_EQ(profile.parts, text.parts);
    // メモ stands below the header row of 注文; 氏名 is the memo of an order and the kept
    // header of 顧客 (one shared string): masked, and the report warns of that header.
    EXPECT_EQ(text.masked_texts, (std::set<std::string>{"高橋美咲", "田中太郎", "03-1234-5678", "090-1111-2222",
                                                        "メモ", "氏名", "至急"}));
}

TEST(SheetChoice, ProfileGivesEachSheetItsHeaderRow) {
    const Masked m = mask_book(by_profile("hushcel-profile 1\n[顧客]\ncolumn = 氏名\n"
                                          "[注文]\nheader-row = 2\ncolumn = 住所\n"));
    ASSERT_EQ(m.rc, RC_OK) << refusal_text(Lang::en, m.refusal);
    EXPECT_EQ(m.masked_texts, (std::set<std::string>{"高橋美咲", "田中太郎", "東京都港区1-2", "大阪市北区3-4"}));
}

TEST(SheetChoice, SheetTheWorkbookDoesNotHaveIsRefusedListingTheSheets) {
    const Masked m = mask_book(by_text("顧客!A;注文書!B"));
    EXPECT_EQ(m.rc, RC_FAIL);
    EXPECT_EQ(m.refusal.kind, RefusalKind::sheet_not_found);
    EXPECT_EQ(refusal_text(Lang::en, m.refusal),
              "The mask columns name sheet \"注文書\", which this workbook does not have. Its sheets: 顧客, 注文, A!b");
    EXPECT_EQ(refusal_text(Lang::ja, m.refusal),
              "マスク列で指定したシート「注文書」はこのブックにありません。シート: 顧客, 注文, A!b");
}

// ---- errors that help ----

TEST(ChoiceErrors, LetterThatIsAlsoAHeaderTextIsRefusedWithBothReadings) {
    for (const std::string text : {"Name,SSN", "Name,ssn", "'A!b'!SSN"}) {
        const Masked m = mask_book(by_text(text));
        EXPECT_EQ(m.rc, RC_FAIL) << text;
        EXPECT_EQ(m.refusal.kind, RefusalKind::ambiguous_column) << text;
        EXPECT_EQ(refusal_text(Lang::en, m.refusal),
                  "\"SSN\" is both a column letter (column SSN) and, in sheet \"A!b\", a header text of row 1 "
                  "(the cell in column B). Write col:SSN for the letter or h:SSN for the header.");
        EXPECT_EQ(refusal_text(Lang::ja, m.refusal),
                  "「SSN」は列名(SSN列)とも、シート「A!b」の1行目の見出し(B列のセル)とも読めます。"
                  "列名なら col:SSN、見出しなら h:SSN と書いてください。");
    }
    // Either reading, written out, goes through.
    EXPECT_EQ(mask_book(by_text("Name,h:SSN")).masked_texts, (std::set<std::string>{"John Smith", "123-45-6789"}));
    EXPECT_EQ(mask_book(by_text("col:SSN")).rc, RC_OK);
    // A letter no header row holds is a letter.
    EXPECT_EQ(mask_book(by_text("注文!B")).rc, RC_OK);
}

TEST(ChoiceErrors, HeaderInNoSheetListsTheRowAndTheRowThatHasIt) {
    const Masked m = mask_book(by_text("住所"));
    EXPECT_EQ(m.rc, RC_FAIL);
    EXPECT_EQ(m.refusal.kind, RefusalKind::header_not_found);
    EXPECT_EQ(refusal_text(Lang::en, m.refusal),
              "No sheet has the mask column header \"住所\" in row 1. Sheet \"注文\", row 1 holds: 注文一覧. "
              "That header stands in row 2: give --header-row 2 (in a profile, header-row = 2).");
    EXPECT_EQ(refusal_text(Lang::ja, m.refusal),
              "マスク列の見出し「住所」が、どのシートの1行目にもありません。シート「注文」の1行目の見出し: 注文一覧。"
              "この見出しは2行目にあります: --header-row 2 を指定してください(プロファイルでは header-row = 2)。");
    // Nowhere at all: the row's texts only.
    const Masked typo = mask_book(by_text("顧客!氏 名前"));
    EXPECT_EQ(typo.refusal.kind, RefusalKind::header_not_in_sheet);
    EXPECT_EQ(refusal_text(Lang::en, typo.refusal),
              "The mask column header \"氏 名前\" is not in sheet \"顧客\", row 1. Sheet \"顧客\", row 1 holds: 氏名, 電話, 商品.");
}

}  // namespace
}  // namespace hsc
