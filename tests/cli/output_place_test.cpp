// Output where the user wants it: -o FILE for one input, --output-dir DIR for many,
// restore --original-name; an existing file is replaced only with --force, never the
// input itself, and a command line that mixes the ways is refused before anything runs.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "cli_run.h"
#include "protect/footer.h"
#include "support/temp_dir.h"
#include "support/workbook_fixture.h"
#include "support/zip_builder.h"

namespace hsc {
namespace {

namespace fs = std::filesystem;
using test::run_hushcel;

const std::map<std::string, std::string> PW = {{"HUSHCEL_PASSWORD", "correct horse"}, {"LANG", "C.UTF-8"}};
const std::vector<std::string> TEXTS = {"山田太郎", "東京都新宿区1-2-3", "090-1234-5678"};

bool masked(const fs::path& book) {
    FooterInfo info;
    return hsc_read_footer(book, info) == 0 && info.present;
}

// Every file below `dir`, by its path from there.
std::set<std::string> files_below(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file()) names.insert(fs::relative(e.path(), dir).string());
    return names;
}

class CliOutputPlace : public ::testing::Test {
protected:
    CliOutputPlace() {
        fs::create_directories(dir / "out");
        for (const char* name : {"a.xlsx", "b.xlsx"}) test::write_zip(dir / name, test::small_workbook(TEXTS));
    }
    // The masked copy of a.xlsx as ●a.xlsx in the folder `where`, without a.xlsx there.
    void masked_copy_in(const std::string& where) {
        fs::create_directories(dir / where);
        fs::copy_file(dir / "a.xlsx", dir / where / "a.xlsx");
        ASSERT_EQ(run_hushcel(dir / where, {"mask", "a.xlsx"}, PW).exit_code, 0);
        fs::remove(dir / where / "a.xlsx");
    }
    void expect_restored(const fs::path& file) {
        ASSERT_TRUE(fs::exists(file)) << file;
        EXPECT_FALSE(masked(file));
        EXPECT_EQ(test::entry_data(test::read_zip(file), "xl/sharedStrings.xml"),
                  test::entry_data(test::small_workbook(TEXTS), "xl/sharedStrings.xml"));
    }
    test::TempDir dir;
};

struct Refusal {
    const char* label;
    std::vector<std::string> args;
    const char* words;  // in the usage message
};
void PrintTo(const Refusal& c, std::ostream* os) { *os << c.label; }
class CliOutputRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(CliOutputRefusal, IsAUsageErrorBeforeAnythingIsWritten) {
    test::TempDir dir;
    test::write_zip(dir / "a.xlsx", test::small_workbook(TEXTS));
    test::write_zip(dir / "b.xlsx", test::small_workbook(TEXTS));
    const auto r = run_hushcel(dir.path(), GetParam().args, PW);
    EXPECT_EQ(r.exit_code, 2) << r.err;
    EXPECT_NE(r.err.find(GetParam().words), std::string::npos) << r.err;
    EXPECT_EQ(files_below(dir.path()), (std::set<std::string>{"a.xlsx", "b.xlsx"}));
}

INSTANTIATE_TEST_SUITE_P(
    Options, CliOutputRefusal,
    ::testing::Values(Refusal{"OutputForTwoFiles", {"-o", "x.xlsx", "a.xlsx", "b.xlsx"}, "--output-dir"},
                      Refusal{"OutputAndOutputDir", {"-o", "x.xlsx", "--output-dir", ".", "a.xlsx"}, "cannot be given together"},
                      Refusal{"OutputAndOverwrite", {"--overwrite", "-o", "x.xlsx", "a.xlsx"}, "cannot be given together"},
                      Refusal{"OriginalNameAndOutput", {"restore", "--original-name", "-o", "x.xlsx", "a.xlsx"},
                              "cannot be given together"},
                      Refusal{"OriginalNameWhenMasking", {"mask", "--original-name", "a.xlsx"}, "goes with restore"},
                      Refusal{"OriginalNameWithoutCommand", {"--original-name", "a.xlsx"}, "goes with restore"},
                      Refusal{"OutputDirWithInspect", {"inspect", "--output-dir", ".", "a.xlsx"}, "inspect writes nothing"},
                      Refusal{"MissingOutputDir", {"--output-dir", "nowhere", "a.xlsx"}, "does not exist"},
                      Refusal{"OutputWithoutValue", {"a.xlsx", "-o"}, "-o"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(CliOutputPlace, OutputFileForOneInput) {
    const auto r = run_hushcel(dir.path(), {"mask", "-o", "out/sent.xlsx", "a.xlsx"}, PW);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.out.find("out/sent.xlsx"), std::string::npos) << r.out;
    EXPECT_TRUE(masked(dir / "out/sent.xlsx"));
    EXPECT_EQ(files_below(dir.path()), (std::set<std::string>{"a.xlsx", "b.xlsx", "out/sent.xlsx"}));
    // Restored under a name of its own choosing too.
    ASSERT_EQ(run_hushcel(dir.path(), {"restore", "--output=back.xlsx", "out/sent.xlsx"}, PW).exit_code, 0);
    expect_restored(dir / "back.xlsx");
}

TEST_F(CliOutputPlace, OutputDirForMany) {
    const auto r = run_hushcel(dir.path(), {"--output-dir", "out", "a.xlsx", "b.xlsx"}, PW);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(files_below(dir.path()), (std::set<std::string>{"a.xlsx", "b.xlsx", "out/●a.xlsx", "out/●b.xlsx"}));
    EXPECT_TRUE(masked(dir / "out/●a.xlsx"));
    EXPECT_TRUE(masked(dir / "out/●b.xlsx"));
}

// The settings' overwrite does not apply when the run names the output.
TEST_F(CliOutputPlace, NamedOutputWinsOverTheOverwriteSetting) {
    test::write_file(dir / "Hushcel.ini", "IS_OVERWRITE=Y\n");
    const std::string before = test::read_file(dir / "a.xlsx");
    const auto r = run_hushcel(dir.path(), {"--settings", "Hushcel.ini", "-o", "out/x.xlsx", "a.xlsx"}, PW);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(test::read_file(dir / "a.xlsx"), before);
    EXPECT_TRUE(masked(dir / "out/x.xlsx"));
}

TEST_F(CliOutputPlace, OriginalNameIsTheNameWithoutTheMaskPrefix) {
    masked_copy_in("m");
    ASSERT_EQ(run_hushcel(dir / "m", {"restore", "--original-name", "●a.xlsx"}, PW).exit_code, 0);
    expect_restored(dir / "m/a.xlsx");
    // Into another folder as well.
    ASSERT_EQ(run_hushcel(dir / "m", {"restore", "--original-name", "--output-dir", "../out", "●a.xlsx"}, PW).exit_code, 0);
    expect_restored(dir / "out/a.xlsx");
}

// An existing file at the output is kept, whatever way named it, and replaced only with
// --force; the input itself is never the output.
struct ExistingCase {
    const char* label;
    std::vector<std::string> args;  // run in the folder "m", which holds ●a.xlsx
    std::string existing;           // a file that is there before, in "m"
    const char* kind;               // the JSON kind without --force
};
void PrintTo(const ExistingCase& c, std::ostream* os) { *os << c.label; }
class CliOutputExisting : public CliOutputPlace, public ::testing::WithParamInterface<ExistingCase> {};

TEST_P(CliOutputExisting, IsRefusedUnlessForced) {
    const ExistingCase& c = GetParam();
    masked_copy_in("m");
    if (!c.existing.empty()) test::write_file(dir / "m" / c.existing, "someone's own file");
    std::vector<std::string> args = c.args;
    args.insert(args.begin() + 1, "--json");
    const auto refused = run_hushcel(dir / "m", args, PW);
    EXPECT_EQ(refused.exit_code, 1) << refused.err;
    EXPECT_NE(refused.out.find(std::string("\"kind\":\"") + c.kind + "\""), std::string::npos) << refused.out;
    EXPECT_TRUE(masked(dir / "m/●a.xlsx"));
    if (!c.existing.empty()) EXPECT_EQ(test::read_file(dir / "m" / c.existing), "someone's own file");
    if (c.existing.empty()) return;  // the input itself: no --force makes it the output
    args.push_back("--force");
    const auto forced = run_hushcel(dir / "m", args, PW);
    ASSERT_EQ(forced.exit_code, 0) << forced.err;
    expect_restored(dir / "m" / c.existing);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, CliOutputExisting,
    ::testing::Values(ExistingCase{"OriginalName", {"restore", "--original-name", "●a.xlsx"}, "a.xlsx", "output-exists"},
                      ExistingCase{"OutputFile", {"restore", "-o", "mine.xlsx", "●a.xlsx"}, "mine.xlsx", "output-exists"},
                      ExistingCase{"OutputDir", {"restore", "--output-dir", ".", "●a.xlsx"}, "〇●a.xlsx", "output-exists"},
                      ExistingCase{"OutputIsTheInput", {"restore", "-o", "●a.xlsx", "●a.xlsx"}, "", "output-is-input"}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace hsc
