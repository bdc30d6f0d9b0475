// The protection format from the command line: the strong format by default, with
// passwords of any length; --compat writes the original format, says what it gives
// away, and keeps its 31-byte limit.
#include <gtest/gtest.h>

#include "cli_run.h"
#include "support/quick_kdf.h"
#include "support/temp_dir.h"
#include "support/workbook_fixture.h"
#include "support/zip_builder.h"

namespace hsc {
namespace {

using test::run_hushcel;

const std::vector<std::string> NAMES = {"山田太郎", "東京都千代田区1-1", "03-1234-5678"};

std::string footer_of(const std::filesystem::path& path) { return test::read_zip_info(path).comment; }

TEST(CliFormat, StrongByDefaultWithAPasswordOfAnyLength) {
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", test::small_workbook(NAMES));
    const std::map<std::string, std::string> pw = {{"HUSHCEL_PASSWORD", std::string(120, 'k') + "🔑"}};
    auto r = run_hushcel(dir.path(), {"book.xlsx"}, pw);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "");  // no warning in the strong format
    EXPECT_NE(footer_of(dir / "●book.xlsx").find(" FORMAT=2 KDF=ARGON2ID13 "), std::string::npos);
    r = run_hushcel(dir.path(), {"inspect", "--json", "●book.xlsx"}, pw);
    EXPECT_NE(r.out.find("\"format\":\"strong\""), std::string::npos) << r.out;
    r = run_hushcel(dir.path(), {"restore", "●book.xlsx"}, {{"HUSHCEL_PASSWORD", std::string(120, 'k')}});
    EXPECT_EQ(r.exit_code, 3) << r.err;
    r = run_hushcel(dir.path(), {"restore", "●book.xlsx"}, pw);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(test::entry_data(test::read_zip(dir / "〇●book.xlsx"), "xl/sharedStrings.xml"),
              test::entry_data(test::small_workbook(NAMES), "xl/sharedStrings.xml"));
}

// The tests' cheap derivation comes from their environment only: without it the program
// derives at the product's cost, and the footer records it.
TEST(CliFormat, KeyDerivationCostIsTheProductsUnlessTheTestsSetTheirs) {
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", test::small_workbook(NAMES));
    auto r = run_hushcel(dir.path(), {"-o", "product.xlsx", "book.xlsx"},
                         {{test::KDF_COST_ENV, ""}, {"HUSHCEL_PASSWORD", "a password of its own"}});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(footer_of(dir / "product.xlsx").find(" OPS=12 MEM=134217728 "), std::string::npos)
        << footer_of(dir / "product.xlsx");
    r = run_hushcel(dir.path(), {"-o", "tests.xlsx", "book.xlsx"}, {{"HUSHCEL_PASSWORD", "a password of its own"}});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(footer_of(dir / "tests.xlsx").find(" OPS=1 MEM=8192 "), std::string::npos) << footer_of(dir / "tests.xlsx");
}

TEST(CliFormat, CompatWarnsInBothLanguagesAndKeepsItsLimit) {
    struct Lang {
        const char* lang;
        const char* warning;  // a phrase of the warning
        const char* limit;    // a phrase of the limit's message
    };
    for (const Lang& l : {Lang{"ja_JP.UTF-8", "ECBモード", "31バイトまで"},
                          Lang{"C.UTF-8", "ECB mode", "at most 31 bytes"}}) {
        SCOPED_TRACE(l.lang);
        test::TempDir dir;
        test::write_zip(dir / "book.xlsx", test::small_workbook(NAMES));
        auto r = run_hushcel(dir.path(), {"--compat", "book.xlsx"}, {{"HUSHCEL_PASSWORD", "correct horse"}, {"LANG", l.lang}});
        ASSERT_EQ(r.exit_code, 0) << r.err;
        EXPECT_NE(r.err.find(l.warning), std::string::npos) << r.err;
        const std::string footer = footer_of(dir / "●book.xlsx");
        EXPECT_EQ(footer.find("FORMAT="), std::string::npos);
        EXPECT_NE(footer.find(" HASH="), std::string::npos);
        // Restored without --compat: restoring reads both formats.
        r = run_hushcel(dir.path(), {"●book.xlsx"}, {{"HUSHCEL_PASSWORD", "correct horse"}, {"LANG", l.lang}});
        EXPECT_EQ(r.exit_code, 0) << r.err;

        r = run_hushcel(dir.path(), {"--compat", "book.xlsx"},
                        {{"HUSHCEL_PASSWORD", std::string(32, 'p')}, {"LANG", l.lang}});
        EXPECT_EQ(r.exit_code, 2);
        EXPECT_NE(r.err.find(l.limit), std::string::npos) << r.err;
    }
}

}  // namespace
}  // namespace hsc
