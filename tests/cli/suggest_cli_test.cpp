#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli_run.h"
#include "support/temp_dir.h"
#include "support/workbook_fixture.h"
#include "support/zip_builder.h"

namespace hsc {
namespace {

// Rows of A a part name (nothing in it tells), B an address, C a phone number.
std::vector<std::string> rows() {
    std::vector<std::string> s;
    for (int i = 0; i < 8; ++i) {
        s.push_back(std::string(i % 2 ? "ボルト" : "ナット") + (i % 3 ? "大" : "小"));
        s.push_back("東京都新宿区西新宿" + std::to_string(i + 1) + "-8-1");
        s.push_back("090-" + std::to_string(4100 + i) + "-" + std::to_string(5200 + i));
    }
    return s;
}

TEST(CliSuggest, SuggestsColumnsWithoutPasswordAndChangesNothing) {
    test::TempDir dir;
    test::write_zip(dir / "名簿.xlsx", test::small_workbook(rows()));
    const std::string before = test::read_file(dir / "名簿.xlsx");

    // No password from anywhere, and none is needed.
    const auto text = test::run_hushcel(dir.path(), {"inspect", "--suggest", "--lang", "en", "名簿.xlsx"});
    EXPECT_EQ(text.exit_code, 0) << text.err;
    EXPECT_NE(text.out.find("sheet \"名簿\" (xl/worksheets/sheet1.xml)"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("address values 100% of 8"), std::string::npos) << text.out;
    // The command masks the proposed columns of that sheet only; the book has no header row.
    EXPECT_NE(text.out.find("\n  hushcel mask --ask-password --columns '名簿!B,C' '名簿.xlsx'"), std::string::npos)
        << text.out;

    const auto json = test::run_hushcel(dir.path(), {"inspect", "--suggest", "--json", "名簿.xlsx"});
    EXPECT_EQ(json.exit_code, 0) << json.err;
    EXPECT_NE(json.out.find("\"columns\":\"B,C\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("{\"column\":\"C\",\"kind\":\"phone\",\"header_word\":null,\"values\":8,"
                            "\"cells\":{\"texts\":8,\"numbers\":0,\"dates\":0},\"shared_elsewhere\":0,"
                            "\"content\":[{\"kind\":\"phone\",\"matched\":8,\"share\":1.000}]}"),
              std::string::npos)
        << json.out;

    // The values themselves are never shown.
    for (const auto& out : {text.out + text.err, json.out + json.err})
        for (const char* value : {"西新宿", "090-", "ボルト", "ナット"}) EXPECT_EQ(out.find(value), std::string::npos) << value;
    EXPECT_EQ(test::read_file(dir / "名簿.xlsx"), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);  // no output file
}

TEST(CliSuggest, RefusesSuggestOutsideInspectAndReportsUnreadableFiles) {
    test::TempDir dir;
    test::write_file(dir / "notes.xlsx", "not a workbook");
    const auto misuse = test::run_hushcel(dir.path(), {"mask", "--suggest", "notes.xlsx"});
    EXPECT_EQ(misuse.exit_code, 2);
    EXPECT_NE(misuse.err.find("--suggest"), std::string::npos) << misuse.err;

    const auto bad = test::run_hushcel(dir.path(), {"inspect", "--suggest", "notes.xlsx", "gone.xlsx"});
    EXPECT_EQ(bad.exit_code, 1);
    EXPECT_NE(bad.err.find("notes.xlsx: ワークブック(xlsx/xlsm)として読み取れないため"), std::string::npos) << bad.err;
    EXPECT_NE(bad.err.find("gone.xlsx: ファイルオープンエラーです(gone.xlsx)"), std::string::npos) << bad.err;
}

}  // namespace
}  // namespace hsc
