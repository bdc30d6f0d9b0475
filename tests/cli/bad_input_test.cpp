// The labelled bad-input corpus (scripts/make_bad_inputs.py) through the CLI: every
// damaged or hostile workbook gets its expected outcome, a refusal writes nothing and
// says why, and nothing ever appears outside the workbook's folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "cli_run.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

namespace hsc {
namespace {

namespace fs = std::filesystem;

fs::path source_dir() {
    if (const char* dir = std::getenv("HUSHCEL_SOURCE_DIR"); dir && *dir) return dir;
    return fs::path(__FILE__).parent_path().parent_path().parent_path();
}

struct Case {
    std::string file, password, expected, fragment;
};

std::vector<Case> read_manifest(const fs::path& path) {
    std::vector<Case> cases;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        Case c;
        std::getline(fields, c.file, '\t');
        std::getline(fields, c.password, '\t');
        std::getline(fields, c.expected, '\t');
        std::getline(fields, c.fragment, '\t');
        cases.push_back(c);
    }
    return cases;
}

std::map<std::string, std::string> listing(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file()) files[fs::relative(e.path(), dir).string()] = test::read_file(e.path());
    return files;
}

std::string entry(const std::vector<test::ZipEntry>& entries, const std::string& name, bool& found) {
    for (const auto& e : entries)
        if (e.name == name) {
            found = true;
            return e.data;
        }
    found = false;
    return {};
}

TEST(BadInputCorpus, EveryCaseGetsItsExpectedOutcome) {
    test::TempDir tmp;
    const fs::path corpus = tmp / "corpus";
    const std::string make = "python3 '" + (source_dir() / "scripts" / "make_bad_inputs.py").string() + "' '" +
                             corpus.string() + "'";
    ASSERT_EQ(test::run_shell(make), 0) << make;
    const std::string original = test::read_file(corpus / "ORIGINAL_SHARED_STRINGS");
    const auto cases = read_manifest(corpus / "manifest.tsv");
    ASSERT_GT(cases.size(), 30u);

    const fs::path sandbox = tmp / "a" / "b";  // room for "../.." to reach without leaving tmp
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.file + " (" + c.expected + ")");
        const fs::path dir = sandbox / std::to_string(i);
        fs::create_directories(dir);
        fs::copy_file(corpus / c.file, dir / c.file);
        const std::string input = test::read_file(dir / c.file);
        const auto outside_before = listing(tmp.path());

        const auto r = test::run_hushcel(dir, {c.file},
                                         {{"HUSHCEL_PASSWORD", c.password}});
        EXPECT_EQ(test::read_file(dir / c.file), input) << "the input is never changed";
        auto after = listing(tmp.path());
        // Everything new is inside the case's folder.
        for (const auto& [name, bytes] : after) {
            if (!outside_before.count(name)) {
                EXPECT_TRUE(name.starts_with(fs::relative(dir, tmp.path()).string() + "/")) << name;
            }
        }
        EXPECT_FALSE(fs::exists(tmp / "escaped.txt"));
        EXPECT_FALSE(fs::exists(tmp / "a" / "escaped.txt"));
        EXPECT_FALSE(fs::exists("/tmp/escaped-abs.txt"));

        const auto in_folder = listing(dir);
        if (c.expected == "refused") {
            EXPECT_TRUE(r.exit_code == 1 || r.exit_code == 3) << r.exit_code << "\n" << r.err;
            EXPECT_NE(r.err.find(c.fragment), std::string::npos) << r.err;
            EXPECT_EQ(in_folder.size(), 1u) << "no output for a refusal";
            continue;
        }
        ASSERT_EQ(r.exit_code, 0) << r.err;
        const std::string output = (c.expected == "masks" ? "●" : "〇") + c.file;
        ASSERT_TRUE(in_folder.count(output)) << r.out;
        const auto entries = test::read_zip(dir / output);
        bool found = false;
        const std::string shared = entry(entries, "xl/sharedStrings.xml", found);
        EXPECT_TRUE(found);
        entry(entries, "xl/BKsharedStrings.xml", found);
        if (c.expected == "masks") {
            EXPECT_TRUE(found) << "a masked workbook holds its backup";
            const std::string bytes = in_folder.at(output);
            EXPECT_EQ(bytes.compare(bytes.size() - 512, 32, "COMPANY=KESTRIL PRODUCT=Hushcel "), 0);
        } else {
            EXPECT_FALSE(found) << "a restored workbook holds no backup";
            EXPECT_EQ(shared, original);
        }
    }
}

}  // namespace
}  // namespace hsc
