// Columns per worksheet on the command line: --columns with sheet names, --profile, and
// the usage errors of a choice that does not fit the workbook.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli_run.h"
#include "shell/settings_file.h"
#include "support/quick_kdf.h"
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

// The window stores the profile it uses and its memory budget in the settings file; a run
// of the command line over the same file takes both, and a column choice of its own puts
// the profile aside.
TEST(CliColumnChoice, ProfileAndBudgetOfTheSettingsReachARun) {
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", test::sheets_workbook(BOOK));
    test::write_file(dir / "book.profile", "hushcel-profile 1\n[*]\nkeep-header = yes\n[顧客]\ncolumn = 氏名\n");
    MaskSettings saved;
    hsc_init_settings(saved);
    saved.target_column = "商品";  // the fields the window leaves unused while its profile is in use
    saved.profile_file = (dir / "book.profile").string();
    saved.max_memory = std::uint64_t{1} << 20;  // 1 MiB: far too little for the key derivation alone
    ASSERT_EQ(hsc_write_ini(saved, dir / "my.ini"), 0);

    // At the product's key derivation cost, which the budget has to hold.
    auto product_cost = PW;
    product_cost[test::KDF_COST_ENV] = "";
    auto r = run_hushcel(dir.path(), {"--settings", "my.ini", "mask", "book.xlsx"}, product_cost);
    EXPECT_EQ(r.exit_code, 1) << r.err;
    EXPECT_NE(r.err.find("--max-memory"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "●book.xlsx"));

    // The budget of the command line wins; the profile of the settings chooses the columns.
    r = run_hushcel(dir.path(), {"--settings", "my.ini", "--max-memory", "1G", "mask", "book.xlsx"}, PW);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    std::string strings = test::entry_data(test::read_zip(dir / "●book.xlsx"), "xl/sharedStrings.xml");
    EXPECT_EQ(strings.find("高橋美咲"), std::string::npos);
    EXPECT_NE(strings.find("りんご"), std::string::npos);
    fs::remove(dir / "●book.xlsx");

    // --columns replaces the profile whole.
    r = run_hushcel(dir.path(), {"--settings", "my.ini", "--max-memory", "1G", "--columns", "顧客!商品", "mask", "book.xlsx"}, PW);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    strings = test::entry_data(test::read_zip(dir / "●book.xlsx"), "xl/sharedStrings.xml");
    EXPECT_NE(strings.find("高橋美咲"), std::string::npos);
    EXPECT_EQ(strings.find("りんご"), std::string::npos);
    fs::remove(dir / "●book.xlsx");

    // A profile of the settings that is gone is a usage error naming it, before anything is written.
    fs::remove(dir / "book.profile");
    r = run_hushcel(dir.path(), {"--settings", "my.ini", "--max-memory", "1G", "mask", "book.xlsx"}, PW);
    EXPECT_EQ(r.exit_code, 2) << r.err;
    EXPECT_NE(r.err.find("book.profile"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "●book.xlsx"));
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

namespace hsc {
namespace {

// The command the suggestion prints, run as it stands but for the password, which it
// asks for on a terminal: it masks the cells of the proposed columns but for each sheet's
// header row, and nothing else. Every text of the book stands in one column only, so that
// what the detectors propose does not matter here: what is proposed is what goes.
TEST(CliSuggestedCommand, RunAsPrintedMasksTheProposedColumnsOnly) {
    std::vector<std::vector<std::string>> customers = {{"氏名", "商品", "電話番号"}};
    // The title stands over the column of names: it stays readable with the header row.
    std::vector<std::vector<std::string>> orders = {{"", "", "注文一覧"}, {"品名", "数量", "お名前"}};
    const char* given[] = {"美咲", "太郎", "花子", "一郎"};
    for (int i = 0; i < 4; ++i) {
        customers.push_back({std::string("高橋") + given[i], i % 2 ? "りんご" : "みかん",
                             "090-1111-222" + std::to_string(i)});
        orders.push_back({i % 2 ? "ぶどう" : "もも", "箱" + std::to_string(i + 1), std::string("佐藤") + given[i]});
    }
    struct Layout {
        const char* label;
        std::vector<test::NamedSheet> book;
        std::vector<int> header_rows;  // per sheet, zero-based
        std::string options;           // what the command reads the choice from
    };
    const std::vector<std::vector<std::string>> orders_on_row_one(orders.begin() + 1, orders.end());
    const Layout layouts[] = {
        {"one_header_row", {{"顧客", customers}, {"注文 (2024)", orders_on_row_one}}, {0, 0}, "--columns "},
        {"header_rows_differ", {{"顧客", customers}, {"注文 (2024)", orders}}, {0, 1}, "--profile p.txt "},
    };
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.label);
        test::TempDir dir;
        test::write_zip(dir / "book.xlsx", test::sheets_workbook(layout.book));
        test::write_file(dir / "pw.txt", "correct horse\n");
        std::vector<std::string> args = {"--lang", "en", "inspect", "--suggest", "book.xlsx"};
        // Header rows that differ need the profile written.
        if (std::string(layout.options).starts_with("--profile")) args.insert(args.begin() + 4, {"--write-profile", "p.txt"});
        auto r = run_hushcel(dir.path(), args);
        ASSERT_EQ(r.exit_code, 0) << r.err;
        // The proposed letters per sheet, from the lines under each sheet's line.
        std::vector<std::set<int>> proposed;
        std::istringstream lines(r.out);
        for (std::string line; std::getline(lines, line);) {
            if (line.starts_with("  sheet \"")) proposed.emplace_back();
            else if (line.starts_with("    ") && !proposed.empty() && line[4] >= 'A' && line[4] <= 'C' && line[5] == ' ')
                proposed.back().insert(line[4] - 'A');
        }
        ASSERT_EQ(proposed.size(), 2u) << r.out;
        const std::string lead = "To mask as proposed:\n  ";
        const std::size_t at = r.out.find(lead);
        ASSERT_NE(at, std::string::npos) << r.out;
        std::string command = r.out.substr(at + lead.size(), r.out.find('\n', at + lead.size()) - at - lead.size());
        const std::string ask = "hushcel mask --ask-password ";
        ASSERT_TRUE(command.starts_with(ask + layout.options)) << command;
        command.replace(0, ask.size(), "hushcel mask --password-file pw.txt ");
        ASSERT_EQ(test::run_shell("cd '" + dir.path().string() + "' && PATH='" + test::binary_dir().string() +
                                  "':\"$PATH\" " + command + " >/dev/null"),
                  0)
            << command;
        const std::string strings = test::entry_data(test::read_zip(dir / "●book.xlsx"), "xl/sharedStrings.xml");
        for (std::size_t k = 0; k < layout.book.size(); ++k) {
            const auto& rows = layout.book[k].rows;
            for (std::size_t row = 0; row < rows.size(); ++row)
                for (std::size_t column = 0; column < rows[row].size(); ++column) {
                    const std::string& text = rows[row][column];
                    if (text.empty()) continue;
                    // The header row and the title above it are kept.
                    const bool masked = static_cast<int>(row) > layout.header_rows[k] &&
                                        proposed[k].count(static_cast<int>(column)) > 0;
                    EXPECT_EQ(strings.find("<t>" + text + "</t>") == std::string::npos, masked)
                        << layout.book[k].name << " " << text;
                }
        }
    }
}

}  // namespace
}  // namespace hsc
