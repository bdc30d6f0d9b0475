// A masked copy that came back saved by a spreadsheet program (openpyxl; LibreOffice, from
// committed files that tests/cli/returned_cases.py makes), and a copy sent out without
// backups: what masking, restoring and the automatic mode do with each, checked cell by
// cell with openpyxl (tests/cli/returned_cases.py).
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "cli_run.h"
#include "support/temp_dir.h"

namespace hsc {
namespace {

namespace fs = std::filesystem;

// Debian's interpreter, which has python3-openpyxl.
std::string python() { return fs::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3"; }

int returned_case(const test::TempDir& dir, const std::string& args) {
    const fs::path script = test::source_dir() / "tests" / "cli" / "returned_cases.py";
    return test::run_shell(python() + " '" + script.string() + "' '" + (test::binary_dir() / "hushcel").string() +
                           "' '" + dir.path().string() + "' " + args + " >'" + (dir / "log.txt").string() + "' 2>&1");
}

std::string log_of(const test::TempDir& dir) {
    std::ifstream in(dir / "log.txt");
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class Returned : public ::testing::TestWithParam<const char*> {};

TEST_P(Returned, EachCommandDoesWhatTheCaseSays) {
    test::TempDir dir;
    std::string args = GetParam();
    if (args == "libreoffice") args += " '" + (test::source_dir() / "tests" / "cli" / "returned").string() + "'";
    EXPECT_EQ(returned_case(dir, args), 0) << log_of(dir);
}

INSTANTIATE_TEST_SUITE_P(Cases, Returned, ::testing::Values("openpyxl", "libreoffice", "no-backup", "short-list", "real-list"),
                         [](const auto& info) {
                             std::string name = info.param;
                             for (char& ch : name)
                                 if (ch == '-') ch = '_';
                             return name;
                         });

}  // namespace
}  // namespace hsc
