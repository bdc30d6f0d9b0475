// How far a file has come, and a stop asked at any point of it.
#include <gtest/gtest.h>

#include <set>

#include "core/status.h"
#include "engine/driver.h"
#include "support/temp_dir.h"
#include "support/workbook_fixture.h"
#include "support/zip_builder.h"

namespace hsc {
namespace {

namespace fs = std::filesystem;

// Records the progress; says cancelled from its `cancel_at`-th look on (0: never).
class StoppingReporter final : public Reporter {
public:
    void error(std::string_view text) override { errors.emplace_back(text); }
    bool ask_yes_no(std::string_view) override { return false; }
    void progress(const Progress& p) override { seen.push_back(p); }
    bool cancelled() override { return cancel_at != 0 && ++looks >= cancel_at; }

    int cancel_at = 0;
    int looks = 0;
    std::vector<Progress> seen;
    std::vector<std::string> errors;
};

std::set<std::string> listing(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

std::vector<test::ZipEntry> book_entries() {
    std::vector<std::string> strings;
    for (int i = 0; i < 300; ++i) strings.push_back("山田太郎" + std::to_string(i));
    return test::small_workbook(strings);
}

ProcessOptions quick() {
    ProcessOptions o;
    o.kdf_cost = KDF_READ_MIN;  // the derivation's cost is not what is tested here
    return o;
}

TEST(Progress, GoesUpPartByPartToTheWholeFile) {
    test::TempDir dir;
    const auto entries = book_entries();
    test::write_zip(dir / "book.xlsx", entries);
    MaskSettings settings;
    settings.password = "a password of one's own";
    FileContext ctx;
    fs::path output;
    StoppingReporter r;
    ASSERT_EQ(hsc_process_file(dir / "book.xlsx", output, settings, ctx, r, quick()), RC_OK);
    ASSERT_GE(r.seen.size(), 3u);
    for (std::size_t i = 1; i < r.seen.size(); ++i) {
        EXPECT_GE(r.seen[i].percent(), r.seen[i - 1].percent());
        EXPECT_LT(r.seen[i - 1].percent(), 100);
    }
    const Progress& last = r.seen.back();
    EXPECT_EQ(last.percent(), 100);
    EXPECT_EQ(last.parts_total, entries.size());
    EXPECT_EQ(last.bytes_total, fs::file_size(dir / "book.xlsx"));
}

// A stop at each point where the driver or the zip code looks: the file fails as
// cancelled, nothing is reported, and the folder (the input, replaced or not) stays as it
// was. The first run that gets through marks the last point.
TEST(Progress, AStopAtAnyPointLeavesTheFolderAsItWas) {
    for (const bool overwrite : {false, true}) {
        test::TempDir dir;
        test::write_zip(dir / "book.xlsx", book_entries());
        const std::string before = test::read_file(dir / "book.xlsx");
        MaskSettings settings;
        settings.password = "a password of one's own";
        settings.is_overwrite = overwrite;
        int points = 0;
        for (int at = 1;; ++at) {
            SCOPED_TRACE("overwrite " + std::to_string(overwrite) + ", stop at look " + std::to_string(at));
            StoppingReporter r;
            r.cancel_at = at;
            FileContext ctx;
            fs::path output;
            const int rc = hsc_process_file(dir / "book.xlsx", output, settings, ctx, r, quick());
            if (rc == RC_OK) break;
            ++points;
            ASSERT_EQ(ctx.failure, FailReason::cancelled);
            EXPECT_TRUE(r.errors.empty()) << r.errors.front();
            EXPECT_TRUE(output.empty());
            EXPECT_EQ(listing(dir.path()), std::set<std::string>{"book.xlsx"});
            EXPECT_EQ(test::read_file(dir / "book.xlsx"), before);
            ASSERT_LT(at, 1000);
        }
        // Between the steps and part by part: more points than the workbook has parts.
        EXPECT_GT(points, 7);
    }
}

}  // namespace
}  // namespace hsc
