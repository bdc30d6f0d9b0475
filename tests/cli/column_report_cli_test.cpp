// The report per column on the command line: --report prints one line per chosen column
// in both languages, --json always carries the table, --dry-run prints it and writes
// nothing, and a chosen column left readable is named in a warning (exit status 4).
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "cli_run.h"
#include "support/temp_dir.h"
#include "support/workbook_fixture.h"
#include "support/zip_builder.h"

namespace hsc {
namespace {

namespace fs = std::filesystem;
using test::run_hushcel;

const std::map<std::string, std::string> PW = {{"HUSHCEL_PASSWORD", "correct horse"}};

// Sheet 名簿, rows 1 and 2 shared strings in A to C (names, addresses, phone numbers), then
//   A3 boolean, B3 number, C3 ISO date;  A4 error, B4 formula without a result, C4 no value.
std::vector<test::ZipEntry> book(const std::string& extra_part = {}, const std::string& extra_text = {}) {
    auto entries = test::small_workbook(
        {"山田太郎", "東京都新宿区1-2", "090-1111-2222", "佐藤花子", "大阪府大阪市", "080-3333-4444"});
    for (auto& e : entries)
        if (e.name == "xl/worksheets/sheet1.xml")
            e.data.insert(e.data.find("</sheetData>"),
                          "<row r=\"3\"><c r=\"A3\" t=\"b\"><v>0</v></c><c r=\"B3\"><v>9012345678</v></c>"
                          "<c r=\"C3\" t=\"d\"><v>1985-03-12</v></c></row>"
                          "<row r=\"4\"><c r=\"A4\" t=\"e\"><v>#REF!</v></c><c r=\"B4\"><f>B3*2</f></c>"
                          "<c r=\"C4\" s=\"0\"/></row>");
    if (!extra_part.empty()) entries.push_back({extra_part, extra_text});
    return entries;
}

// Every file of the folder with its bytes.
std::map<std::string, std::string> folder(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(dir)) {
        std::ifstream in(e.path(), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        files[e.path().filename().string()] = bytes.str();
    }
    return files;
}

TEST(ColumnReport, ADryRunPrintsOneLinePerColumnInBothLanguagesAndWritesNothing) {
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", book());
    const auto before = folder(dir.path());
    auto r = run_hushcel(dir.path(), {"--lang", "en", "--columns", "A,B,C", "--report", "--dry-run", "book.xlsx"}, PW);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "book.xlsx: would be masked (shared strings 6, cells 6, shape texts 0, numbers and dates 2, text cells 0);"
              " nothing written (--dry-run)\n"
              "  Per column:\n"
              "    名簿!A: masked texts 2, numbers 0, dates 0 (formula results 0) / left: booleans 1, errors 1 / "
              "readable: none\n"
              "    名簿!B: masked texts 2, numbers 1, dates 0 (formula results 0) / left: formulas 1 / readable: none\n"
              "    名簿!C: masked texts 2, numbers 0, dates 1 (formula results 0) / left: empty 1 / readable: none\n");
    r = run_hushcel(dir.path(), {"--lang", "ja", "--columns", "A,B,C", "--report", "--dry-run", "book.xlsx"}, PW);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out,
              "book.xlsx: マスクできます(共有文字列 6件、セル 6件、図形の文字 0件、数値・日付 2件、文字のセル 0件)。"
              "--dry-run のため何も書き込んでいません\n"
              "  列ごとの結果:\n"
              "    名簿!A: マスク 文字 2・数値 0・日付 0(うち数式の結果 0)/ 残したもの: 真偽値 1、エラー値 1 / 読める形: なし\n"
              "    名簿!B: マスク 文字 2・数値 1・日付 0(うち数式の結果 0)/ 残したもの: 数式 1 / 読める形: なし\n"
              "    名簿!C: マスク 文字 2・数値 0・日付 1(うち数式の結果 0)/ 残したもの: 空 1 / 読める形: なし\n");
    // Kept on purpose: only text is masked, and a kept header row.
    r = run_hushcel(dir.path(),
                    {"--lang", "en", "--columns", "B", "--text-only", "--keep-header", "--report", "--dry-run", "book.xlsx"},
                    PW);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.out.find("    名簿!B: masked texts 1, numbers 0, dates 0 (formula results 0) / left: header 1, "
                         "formulas 1, numbers and dates kept by the settings 1 / readable: none\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(folder(dir.path()), before);
}

// Without --report the text output stays as it was; JSON always has the table.
TEST(ColumnReport, JsonAlwaysCarriesTheTable) {
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", book());
    auto r = run_hushcel(dir.path(), {"--lang", "en", "--columns", "B", "--dry-run", "book.xlsx"}, PW);
    EXPECT_EQ(r.out.find("Per column"), std::string::npos) << r.out;
    r = run_hushcel(dir.path(), {"--json", "--columns", "B", "book.xlsx"}, PW);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.out.find(",\"columns\":[{\"sheet\":\"名簿\",\"part\":\"xl/worksheets/sheet1.xml\",\"column\":\"B\","
                         "\"header\":null,\"masked\":{\"texts\":2,\"numbers\":1,\"dates\":0,\"formulas\":0},"
                         "\"left\":{\"header\":0,\"formulas\":1,\"booleans\":0,\"errors\":0,\"empty\":0,\"numbers_kept\":0},"
                         "\"readable\":{\"unmasked\":0,\"inline_strings\":0,\"found_elsewhere\":[]},\"complete\":true}]}"),
              std::string::npos)
        << r.out;
}

// A masked value found elsewhere makes its own column readable, and only that one: the
// warning names the column and the place, the JSON marks the column incomplete.
TEST(ColumnReport, AColumnLeftReadableIsNamedAndEndsWithTheWarningStatus) {
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx",
                    book("docProps/core.xml", "<cp:coreProperties><dc:creator>佐藤花子</dc:creator>"
                                              "<dc:description>1985/3/12</dc:description></cp:coreProperties>"));
    auto r = run_hushcel(dir.path(), {"--lang", "en", "--columns", "A,B,C", "--report", "--dry-run", "book.xlsx"}, PW);
    EXPECT_EQ(r.exit_code, 4);
    EXPECT_NE(r.out.find("    名簿!A: masked texts 2, numbers 0, dates 0 (formula results 0) / left: booleans 1, "
                         "errors 1 / readable: masked values found elsewhere (the file's properties (author, title and so on))\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("    名簿!B: masked texts 2, numbers 1, dates 0 (formula results 0) / left: formulas 1 / "
                         "readable: none\n"),
              std::string::npos)
        << r.out;
    // The date is found in the form people write it.
    EXPECT_NE(r.out.find("    名簿!C: masked texts 2, numbers 0, dates 1 (formula results 0) / left: empty 1 / "
                         "readable: masked values found elsewhere (the file's properties (author, title and so on))\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.err.find("book.xlsx: warning: Mask column 名簿!A is still readable: masked values found elsewhere "
                         "(the file's properties (author, title and so on)).\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("Mask column 名簿!B"), std::string::npos) << r.err;
    r = run_hushcel(dir.path(), {"--lang", "ja", "--columns", "A", "book.xlsx"}, PW);
    EXPECT_EQ(r.exit_code, 4);
    EXPECT_NE(r.err.find("book.xlsx: 警告: マスク列 名簿!A が読める形で残っています: マスクした値がほかの場所にあります"
                         "(ファイルのプロパティ(作成者、タイトル等))。\n"),
              std::string::npos)
        << r.err;

    fs::remove(dir / "●book.xlsx");
    r = run_hushcel(dir.path(), {"--json", "--columns", "A,B", "book.xlsx"}, PW);
    EXPECT_NE(r.out.find("\"column\":\"A\""), std::string::npos);
    EXPECT_NE(r.out.find("\"found_elsewhere\":[{\"kind\":\"doc-properties\",\"part\":\"docProps/core.xml\"}]},"
                         "\"complete\":false}"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\"found_elsewhere\":[]},\"complete\":true}]"), std::string::npos) << r.out;  // B
}

// Values the mask characters leave as they are stay readable: the column says how many.
TEST(ColumnReport, ValuesLeftByTheMaskCharactersAreCountedPerColumn) {
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", book());
    auto r = run_hushcel(dir.path(),
                         {"--lang", "en", "--columns", "B", "--digit-mask", "none", "--report", "--dry-run", "book.xlsx"},
                         PW);
    EXPECT_EQ(r.exit_code, 4);
    EXPECT_NE(r.out.find("readable: 1 values the mask characters leave as they are\n"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("warning: Mask column 名簿!B is still readable: 1 values the mask characters leave as they are."),
              std::string::npos)
        << r.err;
}

}  // namespace
}  // namespace hsc
