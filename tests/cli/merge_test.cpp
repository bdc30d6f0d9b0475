// Restoring into a workbook edited elsewhere: each kind of edit the other side makes,
// alone and all together, and the result compared cell by cell with openpyxl against
// the same edit made to the original (tests/cli/merge_cases.py does the round trip).
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>

#include "cli_run.h"
#include "support/temp_dir.h"
#include "support/workbook_fixture.h"
#include "support/zip_builder.h"

namespace hsc {
namespace {

namespace fs = std::filesystem;

struct MergeCase {
    const char* edit;  // the edit of merge_cases.py
    int left;          // cells still masked: the two order rows that only their masked name told apart, and
                       // a masked text copied into a new sheet
    int row_deleted;   // masked cells whose row the other side deleted
    int changed;       // masked cells the other side wrote over
};
void PrintTo(const MergeCase& c, std::ostream* os) { *os << c.edit; }

const MergeCase CASES[] = {
    {"unchanged", 2, 0, 0},       {"new_column", 2, 0, 0},   {"edit_unmasked", 2, 0, 0},
    {"edit_masked", 2, 0, 1},     {"sort_rows", 2, 0, 0},    {"insert_rows", 2, 0, 0},
    {"delete_rows", 2, 8, 0},     {"rename_sheet", 2, 0, 0}, {"new_sheet", 3, 0, 0},
    {"shared_strings", 2, 0, 0},  {"all_together", 3, 4, 0}, {"all_shared", 3, 4, 0},
    // The original as the source, masked again with the columns of the copy sent.
    {"all_together+original", 3, 4, 0}, {"all_shared+original", 3, 4, 0},
};

// Debian's interpreter, which has python3-openpyxl.
std::string python() { return fs::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3"; }

int round_trip(const test::TempDir& dir, const std::string& args) {
    const fs::path script = test::source_dir() / "tests" / "cli" / "merge_cases.py";
    return test::run_shell(python() + " '" + script.string() + "' '" + (test::binary_dir() / "hushcel").string() +
                           "' '" + dir.path().string() + "' " + args + " >'" + (dir / "log.txt").string() + "' 2>&1");
}

std::string log_of(const test::TempDir& dir) {
    std::ifstream in(dir / "log.txt");
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class Merge : public ::testing::TestWithParam<MergeCase> {};

TEST_P(Merge, GivesBackEveryCertainCellAndListsTheRest) {
    const MergeCase& c = GetParam();
    test::TempDir dir;
    const int rc = round_trip(dir, std::string(c.edit) + " " + std::to_string(c.left) + " " +
                                       std::to_string(c.row_deleted) + " " + std::to_string(c.changed));
    EXPECT_EQ(rc, 0) << log_of(dir);
}

INSTANTIATE_TEST_SUITE_P(Edits, Merge, ::testing::ValuesIn(CASES),
                         [](const auto& info) {
                             std::string name = info.param.edit;
                             std::replace(name.begin(), name.end(), '+', '_');
                             return name;
                         });

// A masked workbook edited by a program that keeps its backups: the forced restore gives
// the table back item by item, and the cell the other side added still has its string.
TEST(MergeForce, EditedMaskedWorkbookRestoresIntoAValidWorkbook) {
    test::TempDir dir;
    EXPECT_EQ(round_trip(dir, "force"), 0) << log_of(dir);
}

// What restore --from refuses, and how it says so: a returned workbook that still holds
// its backups, a source the password does not open (named in the message), --from
// without restore.
TEST(MergeRefusals, EachWithItsKindAndStatus) {
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", test::small_workbook({"山田太郎", "東京都", "090-1111-2222"}));
    const std::map<std::string, std::string> pw = {{"HUSHCEL_PASSWORD", "correct horse"}, {"LANG", "C"}};
    ASSERT_EQ(test::run_hushcel(dir.path(), {"mask", "book.xlsx"}, pw).exit_code, 0);

    auto r = test::run_hushcel(dir.path(), {"restore", "--json", "--from", "book.xlsx", "●book.xlsx"}, pw);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.out.find("\"kind\":\"still-masked\""), std::string::npos) << r.out;

    test::write_zip(dir / "returned.xlsx", test::small_workbook({"●●●●", "●●●", "999-9999-9999"}));
    r = test::run_hushcel(dir.path(), {"restore", "--from", "●book.xlsx", "returned.xlsx"},
                          {{"HUSHCEL_PASSWORD", "wrong"}, {"LANG", "C"}});
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_NE(r.err.find("(●book.xlsx)"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "〇returned.xlsx"));

    r = test::run_hushcel(dir.path(), {"mask", "--from", "●book.xlsx", "returned.xlsx"}, pw);
    EXPECT_EQ(r.exit_code, 2);

    // A source cut short before its directory, too short for a footer: damaged, in words.
    test::write_file(dir / "cut.xlsx", test::read_file(dir / "●book.xlsx").substr(0, 300));
    r = test::run_hushcel(dir.path(), {"restore", "--json", "--from", "cut.xlsx", "returned.xlsx"}, pw);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.out.find("\"kind\":\"damaged\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("cannot be read as a zip archive"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("(cut.xlsx)"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Internal error"), std::string::npos) << r.out;

    // The same returned workbook with the right password: every cell given back.
    r = test::run_hushcel(dir.path(), {"restore", "--from", "●book.xlsx", "returned.xlsx"}, pw);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.out.find("cells given back 3, still masked 0"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace hsc
