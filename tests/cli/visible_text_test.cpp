// Texts from files on a terminal: control characters are shown, never obeyed.
#include <gtest/gtest.h>

#include <string>

#include "cli_run.h"
#include "core/visible_text.h"
#include "support/temp_dir.h"
#include "support/workbook_fixture.h"
#include "support/zip_builder.h"

namespace hsc {
namespace {

namespace fs = std::filesystem;

struct VisibleCase {
    const char* label;
    std::string text, shown;
};
void PrintTo(const VisibleCase& c, std::ostream* os) { *os << c.label; }
class VisibleControls : public ::testing::TestWithParam<VisibleCase> {};

TEST_P(VisibleControls, ShowsEachControlAndKeepsTheRest) {
    EXPECT_EQ(visible_controls(GetParam().text), GetParam().shown);
    // What is shown is shown again unchanged: names made visible may go into a message
    // that is made visible as a whole.
    EXPECT_EQ(visible_controls(GetParam().shown), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, VisibleControls,
    ::testing::Values(VisibleCase{"plain_japanese", "顧客名簿 2024.xlsx", "顧客名簿 2024.xlsx"},
                      VisibleCase{"title_change", "\x1b]0;owned\x07", "\\x1b]0;owned\\x07"},
                      VisibleCase{"clear_screen", "a\x1b[2Jb", "a\\x1b[2Jb"},
                      VisibleCase{"line_breaks_and_tab", "a\r\nb\tc", "a\\x0d\\x0ab\\x09c"},
                      VisibleCase{"delete", "a\x7f", "a\\x7f"},
                      VisibleCase{"c1_introducer", "a\xc2\x9b" "2J", "a\\u009b2J"},
                      VisibleCase{"right_to_left_override", "exe\xe2\x80\xae" "xslx.txt", "exe\\u202exslx.txt"},
                      VisibleCase{"not_utf8", "\x9b\xff\xe3\x81", "\\x9b\\xff\\xe3\\x81"},
                      VisibleCase{"overlong_escape", "\xc0\x9b", "\\xc0\\x9b"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(VisibleControls, KeepsOurOwnLineBreaksWhenAsked) {
    EXPECT_EQ(visible_controls("one\ntwo\x1b", true), "one\ntwo\\x1b");
}

// A received workbook whose hint and name hold terminal commands, through the commands
// that print them.
TEST(CliScreen, TextsFromFilesReachTheTerminalMadeVisible) {
    test::TempDir dir;
    const std::string name = "a\x1b[2Jb.xlsx";
    const std::string hint = "\x1b]0;owned\x07\x1b[2J";
    test::write_zip(dir / name, test::small_workbook({"山田太郎", "佐藤花子"}));
    const std::map<std::string, std::string> pw = {{"HUSHCEL_PASSWORD", "correct horse"}};
    std::string everything;
    auto run = [&](const std::vector<std::string>& args, const std::map<std::string, std::string>& env) {
        const test::CliResult r = test::run_hushcel(dir.path(), args, env);
        everything += r.out + r.err;
        return r;
    };
    auto r = run({"--hint", hint, name}, pw);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.out.find("a\\x1b[2Jb.xlsx"), std::string::npos) << r.out;
    r = run({"inspect", "●" + name}, {});
    EXPECT_NE(r.out.find("hint=\"\\x1b]0;owned\\x07\\x1b[2J\""), std::string::npos) << r.out;
    r = run({"●" + name}, {{"HUSHCEL_PASSWORD", "wrong"}});  // the refusal names the hint
    EXPECT_NE(r.err.find("\\x1b]0;owned"), std::string::npos) << r.err;
    run({"nope\x1b[2J.xlsx"}, pw);
    EXPECT_EQ(everything.find('\x1b'), std::string::npos) << everything;
}

}  // namespace
}  // namespace hsc
