// Columns per worksheet on the command line: --columns with sheet names, --profile, and
// the usage errors of a choice that does not fit the workbook.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "cli_run.h"
#include "support/temp_dir.h"
#include "support/workbook_fixture.h"
#include "support/zip_builder.h"

namespace hsc {
namespace {

namespace fs = std::filesystem;
using test::run_hushcel;

const std::map<std::string, std::string> PW = {{"HUSHCEL_PASSWORD", "correct horse"}};

const std::vector<test::NamedSheet> BOOK = {
    {"顧客", {{"氏名", "電話", "商品"}, {"高橋美咲", "03-1234-5678", "りんご"}}},
    {"注文", {{"注文一覧"}, {"品名", "住所"}, {"ぶどう", "東京都港区1-2"}}},
    {"A!b", {{"Name", "SSN"}, {"John Smith", "123-45-6789"}}},
};

// The masked parts of a workbook: its shared strings and worksheets.
std::map<std::string, std::string> masked_parts(const fs::path& book) {
    std::map<std::string, std::string> parts;
    for (const auto& e : test::read_zip(book))
        if (e.name == "xl/sharedStrings.xml" || e.name.starts_with("xl/worksheets/sheet")) parts[e.name] = e.data;
    return parts;
}

TEST(CliColumnChoice, ProfileMasksAsTheSameColumnsPerSheet) {
    test::TempDir by_text, by_profile;
    test::write_zip(by_text / "book.xlsx", test::sheets_workbook(BOOK));
    test::write_zip(by_profile / "book.xlsx", test::sheets_workbook(BOOK));
    test::write_file(by_profile / "book.profile",
                     "hushcel-profile 1\n[*]\nkeep-header = yes\n[顧客]\ncolumn = 氏名\n"
                     "['A!b']\ncolumn = h:SSN\n");
    // The profile's sheet "'A!b'" is not the sheet A!b: a profile names sheets as they are.
    auto r = run_hushcel(by_profile.path(), {"mask", "--profile", "book.profile", "book.xlsx"}, PW);
    EXPECT_EQ(r.exit_code, 2) << r.err;
    EXPECT_NE(r.err.find("シート「'A!b'」はこのブックにありません。シート: 顧客, 注文, A!b"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(by_profile / "●book.xlsx"));

    test::write_file(by_profile / "book.profile",
                     "hushcel-profile 1\n[*]\nkeep-header = yes\n[顧客]\ncolumn = 氏名\n[A!b]\ncolumn = h:SSN\n");
    r = run_hushcel(by_profile.path(), {"mask", "--profile", "book.profile", "book.xlsx"}, PW);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    r = run_hushcel(by_text.path(), {"mask", "--keep-header", "--columns", "顧客!氏名;'A!b'!h:SSN", "book.xlsx"}, PW);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const auto masked = masked_parts(by_text / "●book.xlsx");
    EXPECT_EQ(masked_parts(by_profile / "●book.xlsx"), masked);
    const std::string strings = masked.at("xl/sharedStrings.xml");
    for (const char* gone : {"高橋美咲", "123-45-6789"}) EXPECT_EQ(strings.find(gone), std::string::npos) << gone;
    for (const char* kept : {"氏名", "SSN", "03-1234-5678", "東京都港区1-2", "John Smith"})
        EXPECT_NE(strings.find(kept), std::string::npos) << kept;
}

struct ChoiceUsage {
    const char* label;
    std::vector<std::string> args;
    std::string profile;  // written as p.txt when not empty
    std::string ja, en;   // a piece of the message in each language
};
void PrintTo(const ChoiceUsage& c, std::ostream* os) { *os << c.label; }

class CliChoiceUsage : public testing::TestWithParam<ChoiceUsage> {};

TEST_P(CliChoiceUsage, ExitsWithTwoInEitherLanguageAndWritesNothing) {
    const ChoiceUsage& c = GetParam();
    for (const auto& [lang, piece] : {std::pair<std::string, std::string>{"ja", c.ja}, {"en", c.en}}) {
        test::TempDir dir;
        test::write_zip(dir / "book.xlsx", test::sheets_workbook(BOOK));
        if (!c.profile.empty()) test::write_file(dir / "p.txt", c.profile);
        std::vector<std::string> args = {"--lang", lang};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.push_back("book.xlsx");
        const auto r = run_hushcel(dir.path(), args, PW);
        EXPECT_EQ(r.exit_code, 2) << lang << ": " << r.err;
        EXPECT_NE(r.err.find(piece), std::string::npos) << lang << ": " << r.err;
        EXPECT_FALSE(fs::exists(dir / "●book.xlsx"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliChoiceUsage,
    testing::Values(
        // Today's spreadsheets have social security numbers under SSN; the letter SSN is
        // a column far to the right. Neither reading is taken silently.
        ChoiceUsage{"letter_that_is_a_header", {"--columns", "Name,SSN"}, "",
                    "「SSN」は列名(SSN列)とも、シート「A!b」の1行目の見出し(B列のセル)とも読めます。"
                    "列名なら col:SSN、見出しなら h:SSN と書いてください。",
                    "\"SSN\" is both a column letter (column SSN) and, in sheet \"A!b\", a header text of row 1 "
                    "(the cell in column B). Write col:SSN for the letter or h:SSN for the header."},
        ChoiceUsage{"sheet_not_in_the_workbook", {"--columns", "顧客!A;Orders!B"}, "",
                    "シート「Orders」はこのブックにありません。シート: 顧客, 注文, A!b",
                    "name sheet \"Orders\", which this workbook does not have. Its sheets: 顧客, 注文, A!b"},
        ChoiceUsage{"unclosed_quote", {"--columns", "'A!b!B"}, "", "引用符が閉じていません", "has no closing quote"},
        ChoiceUsage{"profile_with_columns", {"--profile", "p.txt", "--columns", "B"}, "hushcel-profile 1\n",
                    "--profile は --columns と一緒に指定できません", "--profile cannot be combined with --columns"},
        ChoiceUsage{"profile_with_header_row", {"--header-row", "2", "--profile", "p.txt"}, "hushcel-profile 1\n",
                    "--header-row と一緒に", "combined with --header-row"},
        ChoiceUsage{"profile_line_wrong", {"--profile", "p.txt"}, "hushcel-profile 1\n[*]\nheader-row = two\n",
                    "プロファイル p.txt の 3 行目: header-row「two」は", "Profile p.txt, line 3: header-row \"two\""},
        ChoiceUsage{"profile_missing", {"--profile", "none.txt"}, "", "プロファイル none.txt を読み込めません",
                    "The profile none.txt cannot be read"},
        ChoiceUsage{"write_profile_without_suggest", {"--write-profile", "p.txt"}, "",
                    "--suggest --write-profile は inspect", "--suggest --write-profile works only with inspect"}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace hsc
