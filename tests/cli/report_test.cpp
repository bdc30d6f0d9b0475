// The report of a masking: counts, warnings by kind and part, and the exit status.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "cli_run.h"
#include "support/temp_dir.h"
#include "support/workbook_fixture.h"
#include "support/zip_builder.h"

namespace hsc {
namespace {

namespace fs = std::filesystem;
using test::run_hushcel;

const std::map<std::string, std::string> PW = {{"HUSHCEL_PASSWORD", "correct horse"}};


// Rows A B C: 山田太郎 東京都新宿区1-2 090-1111-2222 / 佐藤花子 大阪府大阪市 080-3333-4444.
// Column A holds the two names.
const std::vector<std::string> STRINGS = {"山田太郎", "東京都新宿区1-2", "090-1111-2222",
                                          "佐藤花子", "大阪府大阪市",    "080-3333-4444"};
const std::string NAME = "山田太郎";

// Text put into an entry of the workbook, right before `marker` (or a new entry).
struct Edit {
    std::string entry;
    std::string marker;  // empty: the entry is new and holds `text`
    std::string text;
};

struct ReportCase {
    const char* label;
    std::vector<Edit> edits;
    std::vector<std::string> options;
    int exit_code;
    std::string counts;    // the JSON members from shared_strings to complete
    std::string warnings;  // the JSON array
};
void PrintTo(const ReportCase& c, std::ostream* os) { *os << c.label; }

std::vector<test::ZipEntry> workbook(const std::vector<Edit>& edits) {
    auto entries = test::small_workbook(STRINGS);
    for (const Edit& e : edits) {
        if (e.marker.empty()) {
            entries.push_back({e.entry, e.text});
            continue;
        }
        for (auto& entry : entries)
            if (entry.name == e.entry) entry.data.insert(entry.data.find(e.marker), e.text);
    }
    return entries;
}

Edit in_sheet(const std::string& text) { return {"xl/worksheets/sheet1.xml", "</sheetData>", text}; }
Edit after_sheet_data(const std::string& text) { return {"xl/worksheets/sheet1.xml", "</worksheet>", text}; }
Edit part(const std::string& name, const std::string& text) { return {name, "", text}; }

const std::string MASKED_A = "\"shared_strings\":2,\"cells\":2,\"shapes\":0,\"complete\":";
std::string one(const std::string& kind, const std::string& part) {
    return "[{\"kind\":\"" + kind + "\",\"parts\":[\"" + part + "\"]}]";
}

class Report : public ::testing::TestWithParam<ReportCase> {};

TEST_P(Report, JsonCountsWarningsAndExitStatus) {
    const ReportCase& c = GetParam();
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", workbook(c.edits));
    std::vector<std::string> a = {"--json", "--columns", "A"};
    a.insert(a.end(), c.options.begin(), c.options.end());
    a.push_back("book.xlsx");
    const auto r = run_hushcel(dir.path(), a, PW);
    EXPECT_EQ(r.exit_code, c.exit_code) << r.out << r.err;
    EXPECT_NE(r.out.find(c.counts), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(",\"warnings\":" + c.warnings + ",\"values\":{"), std::string::npos) << r.out;
    // The masked texts themselves are never printed.
    EXPECT_EQ(r.out.find(NAME), std::string::npos) << r.out;
    // The compatible format warns of its weakness, and only of that.
    const bool compatible = std::find(c.options.begin(), c.options.end(), "--compat") != c.options.end();
    if (compatible) EXPECT_EQ(r.err.find(NAME), std::string::npos) << r.err;
    if (!compatible) EXPECT_EQ(r.err, "");
    EXPECT_TRUE(fs::exists(dir / "●book.xlsx"));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, Report,
    ::testing::Values(
        ReportCase{"clean", {}, {}, 0, MASKED_A + "true", "[]"},
        ReportCase{"comments",
                   {part("xl/comments1.xml", "<comments><commentList><comment ref=\"B1\" authorId=\"0\"><text><r><t>" +
                                                 NAME + "</t></r></text></comment></commentList></comments>")},
                   {}, 4, MASKED_A + "false", one("comments", "xl/comments1.xml")},
        ReportCase{"threaded_comments",
                   {part("xl/threadedComments/threadedComment1.xml",
                         "<ThreadedComments><threadedComment ref=\"B1\"><text>" + NAME +
                             "</text></threadedComment></ThreadedComments>")},
                   {}, 4, MASKED_A + "false", one("comments", "xl/threadedComments/threadedComment1.xml")},
        ReportCase{"vml",
                   {part("xl/drawings/vmlDrawing1.vml",
                         "<xml><v:shape><v:textbox><div><font>" + NAME + "</font></div></v:textbox></v:shape></xml>")},
                   {}, 4, MASKED_A + "false", one("vml", "xl/drawings/vmlDrawing1.vml")},
        ReportCase{"shapes_off",
                   {part("xl/drawings/drawing1.xml", "<xdr:wsDr><xdr:sp><xdr:txBody><a:p><a:r><a:t>" + NAME +
                                                         "</a:t></a:r></a:p></xdr:txBody></xdr:sp></xdr:wsDr>")},
                   {}, 4, MASKED_A + "false", one("shapes", "xl/drawings/drawing1.xml")},
        ReportCase{"shapes_on",
                   {part("xl/drawings/drawing1.xml", "<xdr:wsDr><xdr:sp><xdr:txBody><a:p><a:r><a:t>" + NAME +
                                                         "</a:t></a:r></a:p></xdr:txBody></xdr:sp></xdr:wsDr>")},
                   {"--shapes"}, 0, "\"shared_strings\":2,\"cells\":2,\"shapes\":1,\"complete\":true", "[]"},
        ReportCase{"charts",
                   {part("xl/charts/chart1.xml", "<c:chartSpace><c:strCache><c:pt idx=\"0\"><c:v>" + NAME +
                                                     "</c:v></c:pt></c:strCache></c:chartSpace>")},
                   {}, 4, MASKED_A + "false", one("charts", "xl/charts/chart1.xml")},
        ReportCase{"pivot_cache",
                   {part("xl/pivotCache/pivotCacheDefinition1.xml",
                         "<pivotCacheDefinition><cacheFields><cacheField name=\"N\"><sharedItems><s v=\"" + NAME +
                             "\"/></sharedItems></cacheField></cacheFields></pivotCacheDefinition>")},
                   {}, 4, MASKED_A + "false", one("pivot-cache", "xl/pivotCache/pivotCacheDefinition1.xml")},
        ReportCase{"doc_properties",
                   {part("docProps/core.xml", "<cp:coreProperties><dc:creator>" + NAME + "</dc:creator></cp:coreProperties>")},
                   {}, 4, MASKED_A + "false", one("doc-properties", "docProps/core.xml")},
        // Masking drops every formula's cached result; the compatible format keeps those
        // of worksheets it writes no backup of, and the scan finds the name in them.
        ReportCase{"formula_results",
                   {in_sheet("<row r=\"3\"><c r=\"D3\" t=\"str\"><f>A1</f><v>" + NAME + "</v></c></row>")},
                   {}, 0, MASKED_A + "true", "[]"},
        ReportCase{"formula_results_compatible",
                   {in_sheet("<row r=\"3\"><c r=\"D3\" t=\"str\"><f>A1</f><v>" + NAME + "</v></c></row>")},
                   {"--compat"}, 4, MASKED_A + "false", one("formula-results", "xl/worksheets/sheet1.xml")},
        ReportCase{"headers_footers",
                   {after_sheet_data("<headerFooter><oddHeader>&amp;C&amp;\"Arial\"" + NAME + "</oddHeader></headerFooter>")},
                   {}, 4, MASKED_A + "false", one("headers-footers", "xl/worksheets/sheet1.xml")},
        ReportCase{"defined_names",
                   {{"xl/workbook.xml", "</workbook>",
                     "<definedNames><definedName name=\"who\">\"" + NAME + "\"</definedName></definedNames>"}},
                   {}, 4, MASKED_A + "false", one("defined-names", "xl/workbook.xml")},
        ReportCase{"hyperlinks",
                   {after_sheet_data("<hyperlinks><hyperlink ref=\"A1\" location=\"'x'!A1\" display=\"" + NAME +
                                     "\"/></hyperlinks>")},
                   {}, 4, MASKED_A + "false", one("hyperlinks", "xl/worksheets/sheet1.xml")},
        ReportCase{"data_validation",
                   {after_sheet_data("<dataValidations count=\"1\"><dataValidation type=\"list\" sqref=\"E1\">"
                                     "<formula1>\"" + NAME + ",佐藤花子\"</formula1></dataValidation></dataValidations>")},
                   {}, 4, MASKED_A + "false", one("data-validation", "xl/worksheets/sheet1.xml")},
        ReportCase{"several_parts_of_one_kind",
                   {part("xl/charts/chart1.xml", "<c:chartSpace><c:v>" + NAME + "</c:v></c:chartSpace>"),
                    part("xl/charts/chart2.xml", "<c:chartSpace><c:v>佐藤花子</c:v></c:chartSpace>")},
                   {}, 4, MASKED_A + "false",
                   "[{\"kind\":\"charts\",\"parts\":[\"xl/charts/chart1.xml\",\"xl/charts/chart2.xml\"]}]"},
        // A text of another column found elsewhere is not a leak of the masking.
        ReportCase{"other_column_elsewhere",
                   {part("docProps/core.xml", "<cp:coreProperties><dc:title>大阪府大阪市</dc:title></cp:coreProperties>")},
                   {}, 0, MASKED_A + "true", "[]"},
        // An inline string of column A whose start tag has a space is masked like any other.
        ReportCase{"inline_start_tag_with_space",
                   {in_sheet("<row r=\"3\"><c r=\"A3\" t=\"inlineStr\"><is ><t>鈴木一郎</t></is></c></row>")},
                   {}, 0, "\"shared_strings\":3,\"cells\":3,\"shapes\":0,\"complete\":true", "[]"},
        // Text of column A that the masker cannot reach is a warning, never a success.
        ReportCase{"inline_string_left",
                   {in_sheet("<row r=\"3\"><c r=\"A3\" t=\"inlineStr\"><is><t>鈴木一郎</t></c></row>")},
                   {}, 4, MASKED_A + "false", "[{\"kind\":\"unmasked-inline-strings\",\"parts\":[]}]"},
        ReportCase{"item_left",
                   {{"xl/sharedStrings.xml", "<si><t>佐藤花子", "<si><y:t>鈴木一郎</y:t></si>"}},
                   {}, 4, "\"shared_strings\":1,\"cells\":2,\"shapes\":0,\"complete\":false",
                   one("unmasked-strings", "xl/sharedStrings.xml")},
        // Column lists that hit nothing.
        ReportCase{"last_column", {}, {"--columns", "XFD"}, 4,
                   "\"shared_strings\":0,\"cells\":0,\"shapes\":0,\"complete\":false",
                   "[{\"kind\":\"nothing-masked\",\"parts\":[]}]"},
        // Numbers of a chosen column are masked like its text, unless only text is asked for.
        ReportCase{"numbers_only_column", {in_sheet("<row r=\"3\"><c r=\"D3\"><v>42</v></c></row>")}, {"--columns", "D"},
                   0, "\"shared_strings\":0,\"cells\":0,\"shapes\":0,\"complete\":true", "[]"},
        ReportCase{"numbers_only_column_text_only", {in_sheet("<row r=\"3\"><c r=\"D3\"><v>42</v></c></row>")},
                   {"--columns", "D", "--text-only"}, 4,
                   "\"shared_strings\":0,\"cells\":0,\"shapes\":0,\"complete\":false",
                   "[{\"kind\":\"nothing-masked\",\"parts\":[]}]"},
        // A masked number long enough to mean something is looked for elsewhere too.
        ReportCase{"masked_number_in_a_chart_cache",
                   {in_sheet("<row r=\"3\"><c r=\"A3\"><v>9012345678</v></c></row>"),
                    part("xl/charts/chart1.xml", "<c:chartSpace><c:numCache><c:pt idx=\"0\"><c:v>9012345678</c:v>"
                                                 "</c:pt></c:numCache></c:chartSpace>")},
                   {}, 4, MASKED_A + "false", one("charts", "xl/charts/chart1.xml")},
        ReportCase{"numbers_left_by_the_digit_mask", {in_sheet("<row r=\"3\"><c r=\"A3\"><v>9012345678</v></c></row>")},
                   {"--digit-mask", "none"}, 4, MASKED_A + "false",
                   one("unmasked-values", "xl/worksheets/sheet1.xml")}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ReportText, TheLineCountsAndTheWarningsNameThePlaces) {
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx",
                    workbook({part("xl/comments1.xml", "<comments><commentList><comment ref=\"B1\"><text><t>" + NAME +
                                                           "</t></text></comment></commentList></comments>"),
                              after_sheet_data("<headerFooter><oddFooter>" + NAME + "</oddFooter></headerFooter>")}));
    auto r = run_hushcel(dir.path(), {"--columns", "A", "book.xlsx"}, PW);
    EXPECT_EQ(r.exit_code, 4);
    EXPECT_EQ(r.out, "book.xlsx: マスクしました -> ●book.xlsx(共有文字列 2件、セル 2件、図形の文字 0件)\n");
    EXPECT_EQ(r.err,
              "book.xlsx: 警告: マスクした文字列がコメントに読める形で残っています(xl/comments1.xml)。\n"
              "book.xlsx: 警告: マスクした文字列がヘッダーやフッターに読める形で残っています(xl/worksheets/sheet1.xml)。\n"
              // and which chosen column it came from
              "book.xlsx: 警告: マスク列 名簿!A が読める形で残っています: マスクした値がほかの場所にあります"
              "(コメント、ヘッダーやフッター)。\n");

    // Text of a chosen column left readable is said in words.
    test::write_zip(dir / "left.xlsx",
                    workbook({in_sheet("<row r=\"3\"><c r=\"A3\" t=\"inlineStr\"><is><t>鈴木一郎</t></c></row>"),
                              {"xl/sharedStrings.xml", "<si><t>佐藤花子", "<si><y:t>鈴木一郎</y:t></si>"}}));
    r = run_hushcel(dir.path(), {"--columns", "A", "left.xlsx"}, PW);
    EXPECT_EQ(r.exit_code, 4);
    EXPECT_EQ(r.err, "left.xlsx: 警告: マスク列の文字列のうち 1件をマスクできませんでした。読める形で残っています。\n"
                     "left.xlsx: 警告: マスク列のセル内の文字列のうち 1件をマスクできませんでした。読める形で残っています。\n"
                     "left.xlsx: 警告: マスク列 名簿!A が読める形で残っています: マスクできなかったセル内の文字列 1件。\n");

    // Without a column list every string is masked; cells are not counted then.
    test::write_zip(dir / "all.xlsx", workbook({}));
    r = run_hushcel(dir.path(), {"all.xlsx"}, PW);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "all.xlsx: マスクしました -> ●all.xlsx(共有文字列 6件、図形の文字 0件)\n");

    // Nothing masked, said in words; a failure of another file still decides the status.
    test::write_zip(dir / "none.xlsx", workbook({}));
    test::write_file(dir / "notes.xlsx", "plain text");
    r = run_hushcel(dir.path(), {"--columns", "XFD", "none.xlsx"}, PW);
    EXPECT_EQ(r.exit_code, 4);
    EXPECT_EQ(r.err, "none.xlsx: 警告: マスクしたものがありません。マスク列の指定を確認してください(空の列は対象に"
                     "なりません。数値と日付は列を指定したとき、または --numbers のときだけ対象です)。\n");
    fs::remove(dir / "●none.xlsx");
    r = run_hushcel(dir.path(), {"--columns", "XFD", "none.xlsx", "notes.xlsx"}, PW);
    EXPECT_EQ(r.exit_code, 1);
}

// Names taken from a package never bring control characters to the terminal.
TEST(ReportText, NamesFromThePackageAreShownWithoutControlCharacters) {
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", workbook({part("xl/comments\x1b[2J1.xml", "<comments><text><t>" + NAME +
                                                                                 "</t></text></comments>")}));
    auto r = run_hushcel(dir.path(), {"--columns", "A", "book.xlsx"}, PW);
    EXPECT_EQ(r.exit_code, 4);
    EXPECT_NE(r.err.find("(xl/comments?[2J1.xml)"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos);

    auto entries = test::small_workbook(STRINGS);
    entries.push_back({"xl/tables/table\x1b]0;x\x07.xml", "<table/>"});
    test::write_zip(dir / "table.xlsx", entries);
    r = run_hushcel(dir.path(), {"--columns", "A", "table.xlsx"}, PW);
    EXPECT_NE(r.exit_code, 0);
    EXPECT_NE(r.err.find("xl/tables/table?]0;x?.xml"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos);
}

TEST(InspectLeaks, NamesThePartsOfAMaskedWorkbookAndNeedsItsPassword) {
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx",
                    workbook({part("xl/comments1.xml", "<comments><commentList><comment ref=\"B1\"><text><t>" + NAME +
                                                           "</t></text></comment></commentList></comments>")}));
    test::write_zip(dir / "clean.xlsx", workbook({}));
    ASSERT_EQ(run_hushcel(dir.path(), {"--columns", "A", "book.xlsx", "clean.xlsx"}, PW).exit_code, 4);

    auto r = run_hushcel(dir.path(), {"inspect", "--leaks", "●book.xlsx", "●clean.xlsx"}, PW);
    EXPECT_EQ(r.exit_code, 4) << r.err;
    EXPECT_NE(r.out.find("●book.xlsx: type=MS-Excel2007(12) masked=yes auth=password format=strong hint=\"\" "
                         "backups=xl/BKsharedStrings.xml,xl/BKworkbook.xml,docProps/BKpackage.xml strings=2 shapes=0 leaks=comments\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("●clean.xlsx: type=MS-Excel2007(12) masked=yes auth=password format=strong hint=\"\" "
                         "backups=xl/BKsharedStrings.xml,xl/BKworkbook.xml,docProps/BKpackage.xml strings=2 shapes=0 leaks=none\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.err, "●book.xlsx: 警告: マスクした文字列がコメントに読める形で残っています(xl/comments1.xml)。\n");

    r = run_hushcel(dir.path(), {"inspect", "--leaks", "--json", "●book.xlsx"}, PW);
    EXPECT_NE(r.out.find(",\"warnings\":" + one("comments", "xl/comments1.xml") + ",\"values\""), std::string::npos)
        << r.out;

    // Another password deciphers nothing; a workbook that is not masked has nothing to compare.
    r = run_hushcel(dir.path(), {"inspect", "--leaks", "●book.xlsx"}, {{"HUSHCEL_PASSWORD", "wrong"}});
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_NE(r.err.find("バックアップを復号できません"), std::string::npos) << r.err;
    r = run_hushcel(dir.path(), {"inspect", "--leaks", "book.xlsx"}, PW);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("マスクされたファイルではないため"), std::string::npos) << r.err;
    // Inspect without --leaks still needs no password and changes nothing.
    r = run_hushcel(dir.path(), {"inspect", "●book.xlsx"});
    EXPECT_EQ(r.exit_code, 0);
    r = run_hushcel(dir.path(), {"--leaks", "book.xlsx"}, PW);
    EXPECT_EQ(r.exit_code, 2);
}

// Real workbooks (copied, never written): masked workbooks whose comment boxes, sheet
// names or chart caches repeat masked texts name those parts; one whose comment and cell
// texts differ reports none.
TEST(InspectLeaksCorpus, NamesThePartsOfARealWorkbook) {
    const fs::path corpus = test::corpus_dir();
    if (corpus.empty()) GTEST_SKIP() << "HUSHCEL_CORPUS not set";
    test::TempDir dir;
    fs::copy_file(corpus / "poi/stress002.xlsx", dir / "stress.xlsx");
    fs::copy_file(corpus / "xlsxwriter/comment13.xlsx", dir / "comment.xlsx");
    fs::copy_file(corpus / "poi/47813.xlsx", dir / "chart.xlsx");
    auto r = run_hushcel(dir.path(), {"stress.xlsx", "comment.xlsx", "chart.xlsx"}, PW);
    EXPECT_EQ(r.exit_code, 4) << r.err;
    r = run_hushcel(dir.path(), {"inspect", "--leaks", "--json", "●stress.xlsx"}, PW);
    EXPECT_EQ(r.exit_code, 4) << r.err;
    for (const char* expected : {"{\"kind\":\"vml\",\"parts\":[\"xl/drawings/vmlDrawing2.vml\",\"xl/drawings/vmlDrawing5.vml\"]}",
                                 "{\"kind\":\"sheet-names\",\"parts\":[\"xl/workbook.xml\"]}",
                                 "{\"kind\":\"doc-properties\",\"parts\":[\"docProps/app.xml\"]}"})
        EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
    r = run_hushcel(dir.path(), {"inspect", "--leaks", "--json", "●chart.xlsx"}, PW);
    EXPECT_EQ(r.exit_code, 4) << r.err;
    EXPECT_NE(r.out.find(",\"warnings\":" + one("charts", "xl/charts/chart1.xml") + ",\"values\""), std::string::npos)
        << r.out;
    r = run_hushcel(dir.path(), {"inspect", "--leaks", "●comment.xlsx"}, PW);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.out.find(" strings=1 shapes=0 leaks=none\n"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace hsc

namespace hsc {
namespace {

std::set<std::string> listing(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

// A dry run reports what masking would do, in both languages and in JSON, and leaves the
// folder as it was; so does a dry run of a restore.
TEST(DryRun, ReportsTheCountsAndWritesNothing) {
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx",
                    workbook({in_sheet("<row r=\"3\"><c r=\"A3\"><v>9012345678</v></c><c r=\"A4\" t=\"str\"><v>Sato</v></c></row>")}));
    const auto before = listing(dir.path());
    auto r = run_hushcel(dir.path(), {"--lang", "en", "--columns", "A", "--dry-run", "book.xlsx"}, PW);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "book.xlsx: would be masked (shared strings 2, cells 2, shape texts 0, numbers and dates 1, "
                     "text cells 1); nothing written (--dry-run)\n");
    r = run_hushcel(dir.path(), {"--lang", "ja", "--columns", "A", "--dry-run", "book.xlsx"}, PW);
    EXPECT_EQ(r.out, "book.xlsx: マスクできます(共有文字列 2件、セル 2件、図形の文字 0件、数値・日付 1件、文字のセル 1件)。"
                     "--dry-run のため何も書き込んでいません\n");
    r = run_hushcel(dir.path(), {"--json", "--columns", "A", "--dry-run", "book.xlsx"}, PW);
    EXPECT_NE(r.out.find("\"kind\":\"masked\",\"input\":\"book.xlsx\",\"output\":\"\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"values\":{\"numbers\":1,\"dates\":0,\"texts\":1,\"formulas\":0,\"left\":0,\"formula_texts\":0}"),
              std::string::npos) << r.out;
    EXPECT_EQ(listing(dir.path()), before);

    r = run_hushcel(dir.path(), {"--columns", "A", "book.xlsx"}, PW);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const auto masked = listing(dir.path());
    r = run_hushcel(dir.path(), {"--lang", "en", "--dry-run", "●book.xlsx"}, PW);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "●book.xlsx: would be restored; nothing written (--dry-run)\n");
    EXPECT_EQ(listing(dir.path()), masked);
}

}  // namespace
}  // namespace hsc
