// The command that the suggestion prints: quoted for a POSIX shell, per sheet, with the
// header rows it keeps.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/choice_text.h"
#include "shell/suggestion_text.h"

namespace hsc {
namespace {

SheetSuggestion sheet(std::string name, int header_row, std::vector<int> columns) {
    SheetSuggestion s;
    s.name = std::move(name);
    s.header_row = header_row;
    for (int c : columns) s.columns.push_back({c, ColumnVerdict{DataKind::name, {}, {}, 3}});
    return s;
}

WorkbookSuggestion book(std::vector<SheetSuggestion> sheets) {
    WorkbookSuggestion s;
    s.sheets = std::move(sheets);
    for (const auto& sh : s.sheets)
        for (const auto& c : sh.columns) s.columns += (s.columns.empty() ? "" : ",") + column_letters(c.column);
    return s;
}

TEST(ShellQuoted, QuotesOnlyWhatAShellWouldRead) {
    EXPECT_EQ(shell_quoted("book.xlsx"), "book.xlsx");
    EXPECT_EQ(shell_quoted("dir/a-b_c+1=x:y,z@%"), "dir/a-b_c+1=x:y,z@%");
    EXPECT_EQ(shell_quoted("顧客.xlsx"), "'顧客.xlsx'");
    EXPECT_EQ(shell_quoted("a b"), "'a b'");
    EXPECT_EQ(shell_quoted("$HOME;rm *"), "'$HOME;rm *'");
    EXPECT_EQ(shell_quoted("It's"), "'It'\\''s'");
    EXPECT_EQ(shell_quoted(""), "''");
}

struct CommandCase {
    const char* label;
    WorkbookSuggestion suggestion;
    SuggestionRun run;
    std::string command;
};
void PrintTo(const CommandCase& c, std::ostream* os) { *os << c.label; }

class SuggestedCommand : public testing::TestWithParam<CommandCase> {};

TEST_P(SuggestedCommand, MasksExactlyTheProposedColumnsOfEachSheet) {
    const CommandCase& c = GetParam();
    EXPECT_EQ(suggested_command(c.suggestion, c.run), c.command);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SuggestedCommand,
    testing::Values(
        CommandCase{"nothing_proposed", book({sheet("S", 1, {})}), {"b.xlsx", {}}, ""},
        // Sheets without a proposal are not named, and no general part: they stay.
        CommandCase{"one_header_row_for_all", book({sheet("顧客", 1, {0, 2}), sheet("商品", 1, {}), sheet("注文", 1, {4})}),
                    {"shop.xlsx", {}},
                    "hushcel mask --ask-password --columns '顧客!A,C;注文!E' --keep-header shop.xlsx"},
        // '!' is quoted too: an interactive shell expands it.
        CommandCase{"header_row_three", book({sheet("Customers", 3, {1})}), {"a b.xlsx", {}},
                    "hushcel mask --ask-password --columns 'Customers!B' --header-row 3 --keep-header 'a b.xlsx'"},
        CommandCase{"no_header_rows", book({sheet("Data", 0, {1})}), {"d.xlsx", {}},
                    "hushcel mask --ask-password --columns 'Data!B' d.xlsx"},
        // A sheet with a header row and one without need a profile.
        CommandCase{"header_rows_differ", book({sheet("A", 1, {0}), sheet("B", 2, {0})}), {"x.xlsx", {}}, ""},
        CommandCase{"header_and_none", book({sheet("A", 1, {0}), sheet("B", 0, {0})}), {"x.xlsx", {}}, ""},
        CommandCase{"with_a_profile", book({sheet("A", 1, {0}), sheet("B", 2, {0})}), {"x.xlsx", "my profile.txt"},
                    "hushcel mask --ask-password --profile 'my profile.txt' x.xlsx"},
        CommandCase{"sheet_names_quoted_twice", book({sheet("It's!", 1, {3})}), {"-book.xlsx", {}},
                    R"(hushcel mask --ask-password --columns ''\''It'\'''\''s!'\''!D' --keep-header -- -book.xlsx)"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(SuggestedCommand, ProfileHoldsEachSheetsHeaderRow) {
    const ColumnChoice choice = suggestion_choice(book({sheet("A", 1, {0, 1}), sheet("B", 0, {2}), sheet("C", 4, {})}));
    ChoiceError error;
    const auto back = parse_profile(profile_text(choice), error);
    ASSERT_TRUE(back);
    ASSERT_EQ(back->sheets.size(), 2u);
    EXPECT_TRUE(back->general.empty());
    EXPECT_EQ(back->sheets[0].sheet, "A");
    EXPECT_EQ(back->sheets[0].columns.letters, (std::vector<int>{0, 1}));
    EXPECT_TRUE(back->sheets[0].columns.keep_header);
    EXPECT_EQ(back->sheets[1].sheet, "B");
    EXPECT_EQ(back->sheets[1].columns.letters, (std::vector<int>{2}));
    EXPECT_FALSE(back->sheets[1].columns.keep_header);  // no header row: row 1 is data
}

TEST(SuggestionText, EachColumnSaysWhatItHoldsAndWhatItShares) {
    WorkbookSuggestion s = book({sheet("顧客", 1, {0})});
    s.sheets[0].columns[0].texts = 5;
    s.sheets[0].columns[0].numbers = 2;
    s.sheets[0].columns[0].dates = 1;
    s.sheets[0].columns[0].shared_elsewhere = 3;
    const SuggestionRun run{"b.xlsx", {}};
    const std::string en = suggestion_text(s, 1000, Lang::en, &run);
    EXPECT_NE(en.find("text 5, numbers 2, dates 1"), std::string::npos) << en;
    EXPECT_NE(en.find("3 of its strings stand also in cells not proposed"), std::string::npos) << en;
    EXPECT_NE(en.find("To mask as proposed:\n  hushcel mask --ask-password --columns '顧客!A' --keep-header b.xlsx"),
              std::string::npos)
        << en;
    const std::string ja = suggestion_text(s, 1000, Lang::ja, &run);
    EXPECT_NE(ja.find("文字 5、数値 2、日付 1"), std::string::npos) << ja;
    EXPECT_NE(ja.find("うち 3 個の文字列は候補外のセルにもあり"), std::string::npos) << ja;
    // Header rows that differ: no command without a profile, and the text says why.
    const std::string differ = suggestion_text(book({sheet("A", 1, {0}), sheet("B", 2, {0})}), 1000, Lang::en, &run);
    EXPECT_NE(differ.find("run again with --write-profile FILE"), std::string::npos) << differ;
    EXPECT_EQ(differ.find("hushcel mask"), std::string::npos) << differ;
}

}  // namespace
}  // namespace hsc
