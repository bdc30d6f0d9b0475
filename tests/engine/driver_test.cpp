#include "engine/driver.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <set>

#include "core/status.h"
#include "os/file.h"
#include "protect/footer.h"
#include "protect/strong_key.h"
#include "support/quick_kdf.h"
#include "support/recording_reporter.h"
#include "support/temp_dir.h"
#include "support/workbook_fixture.h"
#include "support/zip_builder.h"

namespace hsc {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> NAMES = {"山田太郎", "東京都千代田区1-1", "03-1234-5678",
                                        "佐藤花子", "大阪市北区2-2",     "06-9876-5432"};

std::set<std::string> folder_listing(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

class Driver : public ::testing::Test {
protected:
    fs::path book() const { return dir / "book.xlsx"; }
    void write_book(const std::vector<test::ZipEntry>& entries) { test::write_zip(book(), entries); }
    int process(const fs::path& input, const ProcessOptions& options = test::quick_kdf()) {
        rep = test::RecordingReporter{};
        output.clear();
        return hsc_process_file(input, output, settings, ctx, rep, options);
    }
    test::TempDir dir;
    MaskSettings settings;
    FileContext ctx;
    fs::path output;
    test::RecordingReporter rep;
};

TEST_F(Driver, MasksThenRestoresBesideTheInput) {
    write_book(test::small_workbook(NAMES));
    const std::string original = test::read_file(book());

    ASSERT_EQ(process(book()), RC_OK) << (rep.errors.empty() ? "" : rep.errors[0]);
    EXPECT_EQ(ctx.process_direction, Direction::mask);
    EXPECT_EQ(output, dir / "●book.xlsx");
    EXPECT_TRUE(rep.errors.empty());
    FooterInfo info;
    ASSERT_EQ(hsc_read_footer(output, info), RC_OK);
    EXPECT_TRUE(info.present);
    const auto masked = test::read_zip(output);
    EXPECT_EQ(test::entry_data(masked, "xl/sharedStrings.xml").find("山田"), std::string::npos);

    ASSERT_EQ(process(dir / "●book.xlsx"), RC_OK) << (rep.errors.empty() ? "" : rep.errors[0]);
    EXPECT_EQ(ctx.process_direction, Direction::unmask);
    EXPECT_EQ(output, dir / "〇●book.xlsx");
    ASSERT_EQ(hsc_read_footer(output, info), RC_OK);
    EXPECT_FALSE(info.present);
    const auto restored = test::read_zip(output);
    EXPECT_EQ(test::entry_data(restored, "xl/sharedStrings.xml"),
              test::entry_data(test::small_workbook(NAMES), "xl/sharedStrings.xml"));

    EXPECT_EQ(test::read_file(book()), original);
    EXPECT_EQ(folder_listing(dir.path()), (std::set<std::string>{"book.xlsx", "●book.xlsx", "〇●book.xlsx"}));
}

// The package is all the engine reads: files named like its parts in the folder the
// run starts from (the workbook's and a sheet's relationships, a table, other shared
// strings) change nothing, whether the package holds such a part or lacks it. Once, a
// table refusal named the sheet that the workbook's relationships on disk gave.
TEST_F(Driver, FilesNamedLikePartsInTheCurrentFolderAreNeverRead) {
    const auto named = test::workbook_with_table(NAMES);
    const std::vector<test::ZipEntry> planted = {
        {"xl/_rels/workbook.xml.rels", test::entry_data(named, "xl/_rels/workbook.xml.rels")},
        {"xl/worksheets/_rels/sheet1.xml.rels", test::entry_data(named, "xl/worksheets/_rels/sheet1.xml.rels")},
        {"xl/tables/table1.xml", test::entry_data(named, "xl/tables/table1.xml")},
        {"xl/sharedStrings.xml", test::entry_data(test::small_workbook({"PLANTED"}), "xl/sharedStrings.xml")},
    };
    // A table that cannot be read, named by its sheet, in a package without the
    // workbook's relationships: refused, naming no sheet.
    std::vector<test::ZipEntry> without_rels;
    for (const auto& e : named)
        if (e.name != "xl/_rels/workbook.xml.rels")
            without_rels.push_back(e.name == "xl/tables/table1.xml"
                                       ? test::ZipEntry{e.name, "<table xmlns=\"http://schemas.openxmlformats.org/"
                                                                "spreadsheetml/2006/main\" id=\"1\" name=\"T\"/>"}
                                       : e);
    struct Outcome {
        int rc;
        FailReason failure;
        std::vector<std::string> errors;
        std::vector<test::ZipEntry> parts;  // of the output, backups left out (their ciphertext differs)
    };
    const auto run_from = [&](const fs::path& folder) {
        const fs::path before = fs::current_path();
        fs::current_path(folder);
        Outcome o{process(book()), ctx.failure, rep.errors, {}};
        fs::current_path(before);
        if (o.rc == RC_OK) {
            for (auto& e : test::read_zip(output))
                if (e.name.find("/BK") == std::string::npos) o.parts.push_back(std::move(e));
            fs::remove(output);
        }
        return o;
    };
    const fs::path empty = dir / "empty", planting = dir / "planted";
    fs::create_directories(empty);
    for (const auto& e : planted) {
        fs::create_directories((planting / e.name).parent_path());
        test::write_file(planting / e.name, e.data);
    }
    for (const auto& book_entries : {without_rels, test::workbook_with_unnamed_table(NAMES), test::small_workbook(NAMES)}) {
        write_book(book_entries);
        const Outcome clean = run_from(empty), beside = run_from(planting);
        EXPECT_EQ(beside.rc, clean.rc);
        EXPECT_EQ(beside.failure, clean.failure);
        EXPECT_EQ(beside.errors, clean.errors);
        ASSERT_EQ(beside.parts.size(), clean.parts.size());
        for (std::size_t i = 0; i < clean.parts.size(); ++i) {
            EXPECT_EQ(beside.parts[i].name, clean.parts[i].name);
            EXPECT_EQ(beside.parts[i].data, clean.parts[i].data) << clean.parts[i].name;
        }
    }
}

// The budget holds what parsing adds, not only the unpacked bytes: a table of many tiny
// strings that unpacks well within the budget is refused before it is parsed, in words
// that name a budget that does for that step (the restore of the masking, counted once
// it is masked, may name more); following the words it is masked, and restored.
TEST_F(Driver, MemoryBudgetCountsWhatParsingHoldsAndNamesABudgetThatDoes) {
    write_book(test::small_workbook(std::vector<std::string>(60000, "a")));
    std::uint64_t unpacked = 0;
    for (const auto& e : test::read_zip_info(book()).entries) unpacked += e.data.size() + e.compressed.size();
    settings.is_compat = true;  // no key derivation, whose memory would count too
    ProcessOptions options = test::quick_kdf();
    options.max_memory = unpacked + (1 << 20);
    ASSERT_EQ(process(book(), options), RC_FAIL);
    EXPECT_EQ(ctx.failure, FailReason::too_large);
    ASSERT_EQ(rep.errors.size(), 1u);
    const auto advised = [&] {
        const std::string advice = "--max-memory を ";
        const std::size_t at = rep.errors.empty() ? std::string::npos : rep.errors[0].find(advice);
        return at == std::string::npos ? 0 : std::stoull(rep.errors[0].substr(at + advice.size())) << 20;
    };
    EXPECT_GT(advised(), options.max_memory) << rep.errors[0];
    EXPECT_FALSE(fs::exists(dir / "●book.xlsx"));

    int rc = RC_FAIL;
    for (int step = 0; step < 2 && rc != RC_OK; ++step) {
        const std::uint64_t enough = advised();
        ASSERT_GT(enough, options.max_memory) << (rep.errors.empty() ? "" : rep.errors[0]);
        options.max_memory = enough;
        rc = process(book(), options);
    }
    ASSERT_EQ(rc, RC_OK) << (rep.errors.empty() ? "" : rep.errors[0]);
    ASSERT_EQ(process(dir / "●book.xlsx", options), RC_OK) << (rep.errors.empty() ? "" : rep.errors[0]);
    EXPECT_EQ(test::entry_data(test::read_zip(output), "xl/sharedStrings.xml"),
              test::entry_data(test::read_zip(book()), "xl/sharedStrings.xml"));
}

// A masked workbook records what its restore needs, and a restore under a smaller
// budget is refused before anything is unpacked, naming that need.
TEST_F(Driver, RestoreNeedIsRecordedAndRefusedUpFrontUnderASmallerBudget) {
    write_book(test::small_workbook(NAMES));
    ProcessOptions options;
    options.kdf_cost = KdfCost{1, 64 << 10};
    ASSERT_EQ(process(book(), options), RC_OK) << (rep.errors.empty() ? "" : rep.errors[0]);
    const std::string masked = test::read_file(output);
    const auto footer = parse_footer(std::span(reinterpret_cast<const std::uint8_t*>(masked.data()) + masked.size() - FOOTER_SIZE,
                                               FOOTER_SIZE));
    ASSERT_TRUE(footer);
    const auto need = footer_restore_need(*footer);
    ASSERT_TRUE(need);
    EXPECT_GT(*need, masked.size());

    options.max_memory = *need - 1;
    EXPECT_EQ(process(dir / "●book.xlsx", options), RC_FAIL);
    EXPECT_EQ(ctx.failure, FailReason::too_large);
    ASSERT_EQ(rep.errors.size(), 1u);
    EXPECT_NE(rep.errors[0].find("--max-memory を " + std::to_string((*need + (1 << 20) - 1) >> 20) + "M"), std::string::npos)
        << rep.errors[0];
    options.max_memory = *need + (std::uint64_t{1} << 20);
    EXPECT_EQ(process(dir / "●book.xlsx", options), RC_OK) << (rep.errors.empty() ? "" : rep.errors[0]);
}

// One failing input per row: the status, and the one message it gives.
struct FailCase {
    const char* label;
    std::function<void(const fs::path& book, MaskSettings&)> setup;
    int status;
    std::string message;  // "PATH" stands for the input path, "KEY" for key_file
};
void PrintTo(const FailCase& c, std::ostream* os) { *os << c.label; }

class DriverFailure : public Driver, public ::testing::WithParamInterface<FailCase> {};

TEST_P(DriverFailure, ReportsOnceAndWritesNothing) {
    const FailCase& c = GetParam();
    c.setup(book(), settings);
    const auto before = folder_listing(dir.path());
    const std::string bytes = fs::is_regular_file(book()) ? test::read_file(book()) : "";

    EXPECT_EQ(process(book()), c.status);
    std::string expected = c.message;
    for (auto [token, value] : {std::pair<std::string, std::string>{"PATH", book().string()}, {"KEY", settings.key_file}})
        if (auto at = expected.find(token); at != std::string::npos) expected.replace(at, token.size(), value);
    EXPECT_EQ(rep.errors, std::vector<std::string>{expected});
    EXPECT_NE(ctx.failure, FailReason::none) << "a failure says why";
    EXPECT_TRUE(output.empty());
    EXPECT_EQ(folder_listing(dir.path()), before);
    if (fs::is_regular_file(book())) {
        EXPECT_EQ(test::read_file(book()), bytes);
    }
}

void good_book(const fs::path& p) { test::write_zip(p, test::small_workbook(NAMES)); }

void masked_book(const fs::path& p, MaskSettings& s, const std::string& password, const std::string& hint) {
    good_book(p);
    MaskSettings m;
    m.password = password;
    m.password_hint = hint;
    m.is_overwrite = true;
    FileContext ctx;
    fs::path out;
    test::RecordingReporter rep;
    ASSERT_EQ(hsc_process_file(p, out, m, ctx, rep, test::quick_kdf()), RC_OK);
    (void)s;
}

INSTANTIATE_TEST_SUITE_P(
    Messages, DriverFailure,
    ::testing::Values(
        FailCase{"missing_file", [](const fs::path&, MaskSettings&) {}, -1, "ファイル(PATH)が見つかりません。"},
        FailCase{"folder",
                 [](const fs::path& p, MaskSettings&) { fs::create_directory(p); }, -1,
                 "(PATH)はフォルダです。ブックのファイルを指定してください。"},

        // An old binary workbook saved under an .xlsx name is still an old workbook.
        FailCase{"old_xls_named_xlsx",
                 [](const fs::path& p, MaskSettings&) { test::write_file(p, test::compound_file(false)); }, -1,
                 "古い形式(.xls)のブックです(PATH)。表計算ソフトで .xlsx 形式で保存してから処理してください。"},
        FailCase{"read_password", [](const fs::path& p, MaskSettings&) { test::write_file(p, test::compound_file(true)); }, -1,
                 "読み取りパスワードが設定されているファイルはサポート対象外です。(PATH)"},
        FailCase{"text_file_named_xlsx",
                 [](const fs::path& p, MaskSettings&) { test::write_file(p, "name,address\nyamada,tokyo\n"); }, -1,
                 "サポート対象外のファイルです(PATH)。"},
        FailCase{"key_file_empty",
                 [](const fs::path& p, MaskSettings& s) {
                     good_book(p);
                     s.is_file_hash = true;
                 },
                 -1, "認証ファイル()を読み込む事が出来ませんでした。処理を中断します。"},
        FailCase{"key_file_missing",
                 [](const fs::path& p, MaskSettings& s) {
                     good_book(p);
                     s.is_file_hash = true;
                     s.key_file = (p.parent_path() / "none.key").string();
                 },
                 -1, "認証ファイル(KEY)を読み込む事が出来ませんでした。処理を中断します。"},
        FailCase{"key_file_is_a_folder",
                 [](const fs::path& p, MaskSettings& s) {
                     good_book(p);
                     s.is_file_hash = true;
                     s.key_file = p.parent_path().string();
                 },
                 -1, "認証ファイル(KEY)を読み込む事が出来ませんでした。処理を中断します。"},
        // Both languages say why; the English text is checked with the catalogue.
        FailCase{"key_file_of_15_bytes",
                 [](const fs::path& p, MaskSettings& s) {
                     good_book(p);
                     s.is_file_hash = true;
                     s.key_file = (p.parent_path() / "short.key").string();
                     test::write_file(s.key_file, std::string(15, 'k'));
                 },
                 -1, "認証ファイル(KEY)は15バイトしかありません。短いファイルは推測されやすいため、16バイト以上のファイルを指定してください。"},
        FailCase{"key_file_of_no_bytes",
                 [](const fs::path& p, MaskSettings& s) {
                     good_book(p);
                     s.is_file_hash = true;
                     s.key_file = (p.parent_path() / "empty.key").string();
                     test::write_file(s.key_file, "");
                 },
                 -1, "認証ファイル(KEY)は0バイトしかありません。短いファイルは推測されやすいため、16バイト以上のファイルを指定してください。"},
        FailCase{"invalid_columns_stop_restoring_too",
                 [](const fs::path& p, MaskSettings& s) {
                     masked_book(p, s, "Q-Marle", "");
                     s.target_column = "A,h:";
                 },
                 -1, "マスク列(A,h:)の指定内容が不正です。"},
        FailCase{"header_in_no_worksheet",
                 [](const fs::path& p, MaskSettings& s) {
                     good_book(p);
                     s.target_column = "B,会員番号";
                 },
                 -1,
                 "マスク列の見出し「会員番号」が、どのシートの1行目にもありません。"
                 "シート「名簿」の1行目の見出し: 山田太郎, 東京都千代田区1-1, 03-1234-5678。(PATH)"},
        FailCase{"header_row_out_of_range",
                 [](const fs::path& p, MaskSettings& s) {
                     good_book(p);
                     s.header_row = 0;
                 },
                 -1, "見出し行(0)の指定が不正です。1 から 1048576 の行番号を指定してください。"},
        FailCase{"wrong_password_with_hint",
                 [](const fs::path& p, MaskSettings& s) {
                     masked_book(p, s, "正しい", "いつもの");
                     s.password = "違う";
                 },
                 -3, "パスワードが一致しませんでした。ヒントは\"いつもの\"です。"},
        FailCase{"workbook_shorter_than_a_footer",
                 [](const fs::path& p, MaskSettings&) { test::write_zip(p, {{"a", ""}}); }, -1,
                 "ファイルが短すぎるため(102バイト)、ブックとして読み取れません。ファイルが破損しているか、途中で切れています。"
                 "ファイルをもう一度入手するか、表計算ソフトで開いて保存し直してから処理してください。(PATH)"},
        FailCase{"table_part_no_worksheet_names",
                 [](const fs::path& p, MaskSettings&) { test::write_zip(p, test::workbook_with_unnamed_table(NAMES)); },
                 -1,
                 "テーブル(xl/tables/table1.xml)が含まれているため処理できません。"
                 "表計算ソフトでテーブルを範囲に変換してから処理してください。(PATH)"},
        // A2 shows the table's first column name: masking column A would change the header.
        FailCase{"table_header_text_in_a_masked_cell",
                 [](const fs::path& p, MaskSettings& s) {
                     auto entries = test::workbook_with_table(NAMES);
                     for (auto& e : entries)
                         if (e.name == "xl/worksheets/sheet1.xml")
                             e.data.replace(e.data.find("<c r=\"A2\" t=\"s\"><v>3</v>"), 26, "<c r=\"A2\" t=\"s\"><v>0</v>");
                     test::write_zip(p, entries);
                     s.target_column = "A";
                 },
                 -1,
                 "シート「名簿」のテーブル「T」(xl/tables/table1.xml)の見出しまたは集計行と同じ文字列がマスクするセルにも"
                 "あるため、マスクするとテーブルが壊れます。マスク列を見直してください。処理を中断します。(PATH)"},
        FailCase{"broken_zip",
                 [](const fs::path& p, MaskSettings&) {
                     test::write_file(p, "PK\x03\x04" + std::string(2000, '\x11'));
                 },
                 -1, "zip形式のファイルとして読み取れません。ファイルが破損している可能性があります。"
                     "ファイルをもう一度入手するか、表計算ソフトで開いて保存し直してから処理してください。(PATH)"},
        FailCase{"encrypted_entry",
                 [](const fs::path& p, MaskSettings&) {
                     std::string zip = test::build_zip(test::small_workbook(NAMES));
                     zip[6] |= 1;  // first local header, then its central record: flag "encrypted"
                     zip[zip.find(std::string("PK\x01\x02", 4)) + 8] |= 1;
                     test::write_file(p, zip);
                 },
                 -1, "暗号化されたエントリ([Content_Types].xml)が含まれているため処理できません。(PATH)"},
        FailCase{"masked_workbook_that_lost_its_footer",
                 [](const fs::path& p, MaskSettings& s) {
                     masked_book(p, s, "Q-Marle", "");
                     std::string bytes = test::read_file(p);
                     bytes.resize(bytes.size() - FOOTER_SIZE);
                     bytes[bytes.size() - 1] = bytes[bytes.size() - 2] = '\0';
                     test::write_file(p, bytes);
                 },
                 -1,
                 "マスク済みのバックアップ(xl/BKsharedStrings.xml)がありますが、フッターがありません。"
                 "再マスクすると元のテキストが失われるため、処理を中断します。(PATH)"},
        FailCase{"password_without_cp932_form",
                 [](const fs::path& p, MaskSettings& s) {
                     good_book(p);
                     s.password = "pass\xF0\x9F\x94\x91";
                     s.is_compat = true;  // the strong format takes it
                 },
                 -1, "パスワードに使用できない文字が含まれています(Shift-JISで表せる文字のみ使用できます)。互換形式のパスワードはShift-JISで31バイトまでです(既定の強い形式には長さの制限はありません)。"},
        FailCase{"hint_too_long",
                 [](const fs::path& p, MaskSettings& s) {
                     good_book(p);
                     s.password_hint = std::string(33, 'h');
                 },
                 -1, "パスワードのヒントが長すぎます(Shift-JISで32バイトまで、現在33バイト)。"}),
    [](const auto& info) { return std::string(info.param.label); });

struct ColumnCase {
    const char* label;
    std::string text;
    std::vector<int> columns;
    std::vector<std::string> headers;
    bool valid = true;
};
void PrintTo(const ColumnCase& c, std::ostream* os) { *os << c.label; }
class DriverColumns : public ::testing::TestWithParam<ColumnCase> {};

TEST_P(DriverColumns, TurnsTheListIntoColumnsAndHeaders) {
    const ColumnCase& c = GetParam();
    FileContext ctx;
    ctx.target_headers = {"left over"};
    ASSERT_EQ(parse_columns(c.text, ctx), c.valid);
    if (!c.valid) return;
    EXPECT_EQ(std::vector<int>(ctx.target_column_numbers.begin(),
                               ctx.target_column_numbers.begin() + ctx.target_column_count),
              c.columns);
    EXPECT_EQ(ctx.target_headers, c.headers);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, DriverColumns,
    ::testing::Values(ColumnCase{"empty_means_all", "", {}, {}},
                      ColumnCase{"spellings_of_B", "b,$B,B,B7", {1, 1, 1, 1}, {}},
                      ColumnCase{"last_column", "XFD", {16383}, {}},
                      ColumnCase{"empty_items_and_final_semicolon", "A,,C;", {0, 2}, {}},
                      ColumnCase{"order_and_duplicates_kept", "C,A,C", {2, 0, 2}, {}},
                      ColumnCase{"spaces_around_letters", "A, B ", {0, 1}, {}},
                      // What is no column letter is a header text, trimmed and half-width.
                      ColumnCase{"beyond_last_column", "XFE", {}, {"XFE"}},
                      ColumnCase{"four_letters", "AAAA", {}, {"AAAA"}},
                      ColumnCase{"digit_only", "7", {}, {"7"}},
                      ColumnCase{"star", "B*", {}, {"B*"}},
                      ColumnCase{"fullwidth_letter", "Ａ", {}, {"A"}},
                      ColumnCase{"headers_and_letters_mixed", "氏名, 電話番号 ,E,　ＩＤ　", {4}, {"氏名", "電話番号", "ID"}},
                      ColumnCase{"letter_wins_over_header", "ID", {237}, {}},
                      ColumnCase{"prefix_forces_the_header", "h:ID,H:B", {}, {"ID", "B"}},
                      ColumnCase{"text_without_a_cp932_form", "名前\xF0\x9F\x98\x80", {}, {"名前\xF0\x9F\x98\x80"}},
                      ColumnCase{"empty_header", "A,h:", {}, {}, false},
                      ColumnCase{"blank_item", "A,　", {}, {}, false},
                      ColumnCase{"longer_than_1023_bytes", std::string(1024, ','), {}, {}, false}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(Driver, OnlyColumnsOfTheListAreMasked) {
    write_book(test::small_workbook(NAMES));
    settings.target_column = "A";
    ASSERT_EQ(process(book()), RC_OK);
    const std::string sst = test::entry_data(test::read_zip(output), "xl/sharedStrings.xml");
    EXPECT_EQ(sst.find("山田太郎"), std::string::npos);
    EXPECT_NE(sst.find("東京都千代田区1-1"), std::string::npos);
    EXPECT_NE(sst.find("03-1234-5678"), std::string::npos);
}

// A column list the driver cannot read (here: longer than the setting holds) is named as
// such; the command line refuses it before, so only the driver can show this reason.
TEST_F(Driver, ColumnListThatIsNotOneSaysWhy) {
    write_book(test::small_workbook(NAMES));
    settings.target_column = std::string(TARGET_COLUMN_MAX + 1, 'A');
    EXPECT_EQ(process(book()), RC_FAIL);
    EXPECT_EQ(ctx.failure, FailReason::invalid_columns);
    EXPECT_EQ(rep.errors.size(), 1u);
}

// An injected fault between the steps of an overwrite leaves the old workbook, whole,
// and nothing else in the folder.
class DriverOverwriteFault : public Driver, public ::testing::WithParamInterface<WriteStep> {};

TEST_P(DriverOverwriteFault, LeavesTheOldWorkbook) {
    write_book(test::small_workbook(NAMES));
    const std::string original = test::read_file(book());
    settings.is_overwrite = true;
    ProcessOptions options = test::quick_kdf();
    std::vector<WriteStep> seen;
    options.fault = [&](WriteStep step) {
        seen.push_back(step);
        return step == GetParam() ? RC_SHORT_WRITE : RC_OK;
    };
    EXPECT_EQ(process(book(), options), RC_FAIL);
    EXPECT_EQ(rep.errors.size(), 1u);
    EXPECT_EQ(ctx.failure, FailReason::cannot_save);
    EXPECT_EQ(seen.back(), GetParam());
    EXPECT_EQ(test::read_file(book()), original);
    EXPECT_EQ(folder_listing(dir.path()), std::set<std::string>{"book.xlsx"});

    // Without the fault the same call replaces it by the complete masked workbook.
    ASSERT_EQ(process(book()), RC_OK);
    EXPECT_EQ(ctx.failure, FailReason::none);
    EXPECT_EQ(output, book());
    FooterInfo info;
    ASSERT_EQ(hsc_read_footer(book(), info), RC_OK);
    EXPECT_TRUE(info.present);
    EXPECT_EQ(folder_listing(dir.path()), std::set<std::string>{"book.xlsx"});
}

INSTANTIATE_TEST_SUITE_P(Steps, DriverOverwriteFault,
                         ::testing::Values(WriteStep::composed, WriteStep::footer_written, WriteStep::synced),
                         [](const auto& info) {
                             switch (info.param) {
                                 case WriteStep::composed: return "composed";
                                 case WriteStep::footer_written: return "footer_written";
                                 default: return "synced";
                             }
                         });

#ifndef _WIN32  // permission bits, owners and folders that take no file: POSIX
TEST_F(Driver, OverwriteRoundTripKeepsPermissionsAndRestoresTheText) {
    write_book(test::small_workbook(NAMES));
    ::chmod(book().c_str(), 0640);
    settings.is_overwrite = true;
    ASSERT_EQ(process(book()), RC_OK);
    ASSERT_EQ(process(book()), RC_OK);
    EXPECT_EQ(ctx.process_direction, Direction::unmask);
    EXPECT_EQ(test::entry_data(test::read_zip(book()), "xl/sharedStrings.xml"),
              test::entry_data(test::small_workbook(NAMES), "xl/sharedStrings.xml"));
    struct stat st;
    ASSERT_EQ(::stat(book().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

// Where a folder takes no unnamed file (network shares, FAT), the output is composed in
// a hidden named file. It must be that very file, with the mode and flush given to its
// descriptor, that takes the output's name: a private workbook stays private.
class DriverNamedTemp : public Driver, public ::testing::WithParamInterface<bool> {};

TEST_P(DriverNamedTemp, OutputIsTheFlushedFileWithThePrivateMode) {
    write_book(test::small_workbook(NAMES));
    ::chmod(book().c_str(), 0600);
    settings.is_overwrite = GetParam();
    ProcessOptions options = test::quick_kdf();
    options.named_temp = true;
    std::vector<mode_t> hidden_modes;  // of the hidden files when the output is flushed
    options.fault = [&](WriteStep step) {
        struct stat st {};
        if (step == WriteStep::synced)
            for (const auto& name : folder_listing(dir.path()))
                if (name.starts_with(".hushcel-") && ::stat((dir / name).c_str(), &st) == 0)
                    hidden_modes.push_back(st.st_mode & 07777);
        return RC_OK;
    };
    const mode_t old_umask = ::umask(022);  // a file made anew by name would be 0644
    const int rc = process(book(), options);
    ::umask(old_umask);
    ASSERT_EQ(rc, RC_OK) << (rep.errors.empty() ? "" : rep.errors[0]);
    EXPECT_EQ(hidden_modes, std::vector<mode_t>{0600});
    struct stat st {};
    ASSERT_EQ(::stat(output.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    FooterInfo info;
    ASSERT_EQ(hsc_read_footer(output, info), RC_OK);
    EXPECT_TRUE(info.present);
    EXPECT_EQ(test::entry_data(test::read_zip(output), "xl/sharedStrings.xml").find("山田"), std::string::npos);
    const std::set<std::string> left =
        GetParam() ? std::set<std::string>{"book.xlsx"} : std::set<std::string>{"book.xlsx", "●book.xlsx"};
    EXPECT_EQ(folder_listing(dir.path()), left);
}

INSTANTIATE_TEST_SUITE_P(Targets, DriverNamedTemp, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "overwrite" : "beside"; });

TEST_F(Driver, OverwriteThroughASymbolicLinkReplacesTheWorkbookItNames) {
    fs::create_directory(dir / "real");
    test::write_zip(dir / "real" / "book.xlsx", test::small_workbook(NAMES));
    fs::create_symlink("real/book.xlsx", dir / "link.xlsx");
    settings.is_overwrite = true;
    ASSERT_EQ(process(dir / "link.xlsx"), RC_OK);
    EXPECT_EQ(output, fs::canonical(dir / "real" / "book.xlsx"));
    EXPECT_TRUE(fs::is_symlink(dir / "link.xlsx"));
    FooterInfo info;
    ASSERT_EQ(hsc_read_footer(dir / "real" / "book.xlsx", info), RC_OK);
    EXPECT_TRUE(info.present);
}

TEST_F(Driver, FolderThatTakesNoNewFileLeavesTheInputAlone) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
    write_book(test::small_workbook(NAMES));
    const std::string original = test::read_file(book());
    settings.is_overwrite = true;
    ::chmod(dir.path().c_str(), 0555);
    const int rc = process(book());
    ::chmod(dir.path().c_str(), 0755);
    EXPECT_EQ(rc, RC_FAIL);
    EXPECT_EQ(rep.errors, std::vector<std::string>{"フォルダに書き込む権限がないため、出力ファイル(" + book().string() +
                                                   ")を保存できませんでした。"});
    EXPECT_EQ(test::read_file(book()), original);
}

#endif

TEST_F(Driver, UnrecordedPasswordIsStillCheckedAgainstTheBackups) {
    write_book(test::small_workbook(NAMES));
    settings.is_overwrite = true;
    settings.is_no_password = true;
    settings.password = "right";
    ASSERT_EQ(process(book()), RC_OK);
    const std::string masked = test::read_file(book());

    settings.password = "wrong";
    EXPECT_EQ(process(book()), RC_REFUSED);
    EXPECT_EQ(rep.errors, std::vector<std::string>{
                              "パスワードが一致しないか、バックアップが破損しています(バックアップを復号できません)。処理を中断します。"});
    EXPECT_EQ(test::read_file(book()), masked);
    EXPECT_EQ(folder_listing(dir.path()), std::set<std::string>{"book.xlsx"});

    settings.password = "right";
    ASSERT_EQ(process(book()), RC_OK);
    EXPECT_EQ(test::entry_data(test::read_zip(book()), "xl/sharedStrings.xml"),
              test::entry_data(test::small_workbook(NAMES), "xl/sharedStrings.xml"));
}

TEST_F(Driver, InsistedDirectionRefusesTheOtherState) {
    write_book(test::small_workbook(NAMES));
    ProcessOptions only_restore = test::quick_kdf();
    only_restore.only_direction = Direction::unmask;
    EXPECT_EQ(process(book(), only_restore), RC_FAIL);
    EXPECT_EQ(rep.errors, std::vector<std::string>{"マスクされたファイルではありません。復元は行いません(" +
                                                   book().string() + ")。"});
    ProcessOptions only_mask = test::quick_kdf();
    only_mask.only_direction = Direction::mask;
    ASSERT_EQ(process(book(), only_mask), RC_OK);
    const fs::path masked = output;
    settings.password = "wrong";  // refused for its state before any password check
    EXPECT_EQ(process(masked, only_mask), RC_FAIL);
    EXPECT_EQ(rep.errors, std::vector<std::string>{"マスク済みのファイルです。マスクは行いません(" + masked.string() + ")。"});
}

TEST_F(Driver, OldBinaryWorkbookIsNamedWithTheWayOut) {
    test::write_file(dir / "old.xls", test::compound_file(false));
    EXPECT_EQ(process(dir / "old.xls"), RC_FAIL);
    EXPECT_EQ(rep.errors, std::vector<std::string>{"古い形式(.xls)のブックです(" + (dir / "old.xls").string() +
                                                   ")。表計算ソフトで .xlsx 形式で保存してから処理してください。"});
}

// A version saved by someone else between our read and our commit is never replaced.
struct ChangeCase {
    const char* label;
    std::function<void(const fs::path&)> change;
};
void PrintTo(const ChangeCase& c, std::ostream* os) { *os << c.label; }
class DriverInputChanged : public Driver, public ::testing::WithParamInterface<ChangeCase> {};

TEST_P(DriverInputChanged, IsNotReplaced) {
    write_book(test::small_workbook(NAMES));
    settings.is_overwrite = true;
    std::string changed;
    ProcessOptions options = test::quick_kdf();
    options.fault = [&](WriteStep step) {
        if (step == WriteStep::synced) {
            GetParam().change(book());
            changed = test::read_file(book());
        }
        return RC_OK;
    };
    EXPECT_EQ(process(book(), options), RC_FAIL);
    EXPECT_EQ(rep.errors, std::vector<std::string>{"処理中にファイル(" + book().string() +
                                                   ")が変更されました。変更を失わないよう結果は保存しませんでした。"
                                                   "もう一度処理してください。"});
    EXPECT_EQ(ctx.failure, FailReason::changed_during_run);
    EXPECT_EQ(test::read_file(book()), changed);
    EXPECT_EQ(folder_listing(dir.path()), std::set<std::string>{"book.xlsx"});
}

// One byte of the file changed in place, its modification time put back and moved on by
// `later_ns` nanoseconds.
void rewrite_in_place(const fs::path& p, long later_ns) {
    const auto written = fs::last_write_time(p);
    std::string bytes = test::read_file(p);
    bytes[bytes.size() / 2] ^= 1;
    test::write_file(p, bytes);
    fs::last_write_time(p, written + std::chrono::nanoseconds(later_ns));
}

INSTANTIATE_TEST_SUITE_P(
    Changes, DriverInputChanged,
    ::testing::Values(
        ChangeCase{"appended", [](const fs::path& p) { test::write_file(p, test::read_file(p) + "more"); }},
        // Same byte count, same second: only the nanoseconds tell.
        ChangeCase{"same_size_later_time", [](const fs::path& p) { rewrite_in_place(p, 1); }},
        // A rewrite in place that puts the old modification time back: only the change
        // time tells.
        ChangeCase{"same_size_same_times_in_place", [](const fs::path& p) { rewrite_in_place(p, 0); }},
        ChangeCase{"saved_as_a_new_file",
                   [](const fs::path& p) {
                       // What spreadsheet programs do: write a new file, rename it over.
                       const fs::path fresh = p.parent_path() / "saving.tmp";
                       test::write_zip(fresh, test::small_workbook({"新しい版"}));
                       fs::rename(fresh, p);
                   }}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(Driver, KeyFileOfSixteenBytesMasksAndTheRefusalSaysWhyInEnglishToo) {
    write_book(test::small_workbook(NAMES));
    settings.is_file_hash = true;
    settings.key_file = (dir / "k.key").string();
    test::write_file(settings.key_file, std::string(15, 'k'));
    ProcessOptions english = test::quick_kdf();
    english.lang = Lang::en;
    EXPECT_EQ(process(book(), english), RC_FAIL);
    EXPECT_EQ(ctx.failure, FailReason::key_file_too_short);
    EXPECT_EQ(rep.errors, std::vector<std::string>{"The authentication file " + settings.key_file +
                                                   " holds only 15 bytes. A short file is easy to guess, so give one "
                                                   "of at least 16 bytes."});
    test::write_file(settings.key_file, std::string(16, 'k'));
    EXPECT_EQ(process(book()), RC_OK) << (rep.errors.empty() ? "" : rep.errors[0]);
}

// A file its owner made read-only is not replaced, whatever the folder allows.
#ifndef _WIN32  // permission bits and the immutable flag: POSIX
class DriverReadOnlyInput : public Driver, public ::testing::WithParamInterface<mode_t> {};

TEST_P(DriverReadOnlyInput, IsNotOverwritten) {
    write_book(test::small_workbook(NAMES));
    ::chmod(book().c_str(), GetParam());
    const std::string original = test::read_file(book());
    settings.is_overwrite = true;
    ProcessOptions forced = test::quick_kdf();
    forced.force = true;
    EXPECT_EQ(process(book(), forced), RC_FAIL);
    EXPECT_EQ(ctx.failure, FailReason::not_writable);
    EXPECT_EQ(rep.errors, std::vector<std::string>{"ファイル(" + book().string() + ")は読み取り専用のため、上書きしませんでした。"});
    EXPECT_EQ(test::read_file(book()), original);
    settings.is_overwrite = false;  // a masked copy beside it is still made
    EXPECT_EQ(process(book()), RC_OK);
}

INSTANTIATE_TEST_SUITE_P(Modes, DriverReadOnlyInput, ::testing::Values(0444, 0400, 0464),
                         [](const auto& info) { return "mode_" + std::to_string(info.param); });

// A file marked unchangeable (chattr +i): neither the input nor an output is replaced,
// and the words say why.
TEST_F(Driver, ImmutableFilesAreNamedAsSuch) {
    write_book(test::small_workbook(NAMES));
    test::write_file(dir / "●book.xlsx", "the user's own");
    struct Mutable {
        fs::path dir;
        ~Mutable() { std::system(("chattr -i '" + dir.string() + "'/* 2>/dev/null").c_str()); }
    } restore{dir.path()};
    if (std::system(("chattr +i '" + book().string() + "' '" + (dir / "●book.xlsx").string() + "' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "chattr +i needs root on a file system that has it";
    settings.is_overwrite = true;
    EXPECT_EQ(process(book()), RC_FAIL);
    EXPECT_EQ(ctx.failure, FailReason::not_writable);
    EXPECT_EQ(rep.errors, std::vector<std::string>{"ファイル(" + book().string() + ")は変更できない設定(immutable)のため、上書きしませんでした。"});
    settings.is_overwrite = false;
    ProcessOptions forced = test::quick_kdf();
    forced.force = true;
    EXPECT_EQ(process(book(), forced), RC_FAIL);
    EXPECT_EQ(ctx.failure, FailReason::not_writable);
    EXPECT_EQ(rep.errors, std::vector<std::string>{"出力ファイル(" + (dir / "●book.xlsx").string() +
                                                   ")は置き換えが許可されていないため、保存できませんでした(変更できない設定のファイル、"
                                                   "または共有フォルダにある他のユーザーのファイル)。"});
    EXPECT_EQ(test::read_file(dir / "●book.xlsx"), "the user's own");
}

// A version saved over the name after the last look is still never replaced: the new
// file goes in by an exchange, and what came out is checked.
#endif

TEST_F(Driver, VersionSavedJustBeforeTheReplacementIsKept) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows lets no other program save over the input while the run holds it open";
#endif
    write_book(test::small_workbook(NAMES));
    settings.is_overwrite = true;
    ProcessOptions options = test::quick_kdf();
    options.fault = [&](WriteStep step) {
        if (step == WriteStep::checked) {
            test::write_zip(dir / "saving.tmp", test::small_workbook({"新しい版"}));
            fs::rename(dir / "saving.tmp", book());
        }
        return RC_OK;
    };
    EXPECT_EQ(process(book(), options), RC_FAIL);
    EXPECT_EQ(ctx.failure, FailReason::changed_during_run);
    EXPECT_NE(test::entry_data(test::read_zip(book()), "xl/sharedStrings.xml").find("新しい版"), std::string::npos);
    EXPECT_EQ(folder_listing(dir.path()), std::set<std::string>{"book.xlsx"});
}

// A run that replaces its input holds it alone; one that only reads it shares it.
class DriverInputLock : public Driver, public ::testing::WithParamInterface<bool> {};

TEST_P(DriverInputLock, IsExclusiveOnlyWhenTheInputIsReplaced) {
    write_book(test::small_workbook(NAMES));
    settings.is_overwrite = GetParam();
    int other_reader = -1;  // what a shared lock answered another reader while the run worked
    ProcessOptions options = test::quick_kdf();
    options.fault = [&](WriteStep step) {
        if (step == WriteStep::synced) {
            const int fd = os::open(book(), os::Access::read);
            other_reader = os::lock(fd, os::Lock::shared);
            os::close(fd);
        }
        return RC_OK;
    };
    ASSERT_EQ(process(book(), options), RC_OK);
    EXPECT_EQ(other_reader, GetParam() ? EWOULDBLOCK : 0);
}

INSTANTIATE_TEST_SUITE_P(Runs, DriverInputLock, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "overwrite" : "beside"; });

TEST_F(Driver, ExistingOutputIsReplacedOnlyWhenTheUserSaysSo) {
    write_book(test::small_workbook(NAMES));
    test::write_file(dir / "●book.xlsx", "someone's own file");
    const std::string question = "出力ファイル(" + (dir / "●book.xlsx").string() + ")は既に存在します。置き換えますか？";
    EXPECT_EQ(process(book()), RC_FAIL);
    EXPECT_EQ(rep.questions, std::vector<std::string>{question});
    EXPECT_EQ(test::read_file(dir / "●book.xlsx"), "someone's own file");
    EXPECT_EQ(folder_listing(dir.path()), (std::set<std::string>{"book.xlsx", "●book.xlsx"}));

    test::RecordingReporter yes;
    yes.answers = {true};
    ASSERT_EQ(hsc_process_file(book(), output, settings, ctx, yes, test::quick_kdf()), RC_OK);
    EXPECT_EQ(yes.questions, std::vector<std::string>{question});
    FooterInfo info;
    ASSERT_EQ(hsc_read_footer(dir / "●book.xlsx", info), RC_OK);
    EXPECT_TRUE(info.present);

    // With force nobody is asked.
    ProcessOptions force = test::quick_kdf();
    force.force = true;
    ASSERT_EQ(process(book(), force), RC_OK);
    EXPECT_TRUE(rep.questions.empty());
}

TEST_F(Driver, FailureInTheReadStepLeavesNothingForTheNextFile) {
    test::write_zip(dir / "table.xlsx", test::workbook_with_unnamed_table({"Table text"}));
    write_book(test::small_workbook(NAMES));
    EXPECT_EQ(process(dir / "table.xlsx"), RC_FAIL);
    ASSERT_EQ(process(book()), RC_OK);
    std::set<std::string> names;
    for (const auto& e : test::read_zip(output)) names.insert(e.name);
    EXPECT_EQ(names.count("xl/tables/table1.xml"), 0u);
    EXPECT_EQ(names.count("xl/BKsharedStrings.xml"), 1u);
}

// Rewrites one entry of a masked workbook as a spreadsheet program would after an edit,
// keeping its footer (the archive comment).
void edit_entry(const fs::path& book, const std::string& name, const std::function<void(std::string&)>& edit) {
    const test::ZipArchiveInfo info = test::read_zip_info(book);
    std::vector<test::ZipEntry> entries;
    for (const auto& e : info.entries) {
        entries.push_back({e.name, e.data});
        if (e.name == name) edit(entries.back().data);
    }
    test::ZipBuildOptions options;
    options.comment = info.comment;
    test::write_zip(book, entries, options);
}

void add_string(std::string& table) { table.insert(table.rfind("</sst>"), "<si><t>added later</t></si>"); }

TEST_F(Driver, WorkbookChangedAfterMaskingIsNotRestoredBlindly) {
    write_book(test::small_workbook(NAMES));
    settings.is_overwrite = true;
    ASSERT_EQ(process(book()), RC_OK);
    edit_entry(book(), "xl/sharedStrings.xml", add_string);
    const std::string edited = test::read_file(book());

    // Nobody to ask (or No): refused, the file untouched.
    EXPECT_EQ(process(book()), RC_FAIL);
    ASSERT_EQ(rep.questions.size(), 1u);
    EXPECT_NE(rep.questions[0].find("xl/sharedStrings.xml"), std::string::npos);
    ASSERT_EQ(rep.errors.size(), 1u);
    EXPECT_EQ(rep.errors[0], "マスク後にブックが変更されています(xl/sharedStrings.xml)。そのまま復元すると変更と食い違うため、"
                             "復元を中断しました。ファイルは変更していません(--force で文字列ごとに復元します)。(" +
                                 book().string() + ")");
    EXPECT_EQ(test::read_file(book()), edited);
    EXPECT_EQ(folder_listing(dir.path()), std::set<std::string>{"book.xlsx"});

    // Yes (the window's question) restores, as force does without asking: item by item,
    // so the string added since masking stays where its cells point.
    rep.answers = {};
    ProcessOptions force = test::quick_kdf();
    force.force = true;
    ASSERT_EQ(process(book(), force), RC_OK) << (rep.errors.empty() ? "" : rep.errors[0]);
    EXPECT_TRUE(rep.questions.empty());
    std::string restored = test::entry_data(test::small_workbook(NAMES), "xl/sharedStrings.xml");
    add_string(restored);
    EXPECT_EQ(test::entry_data(test::read_zip(book()), "xl/sharedStrings.xml"), restored);
    EXPECT_TRUE(ctx.merge.produced);
    EXPECT_EQ(ctx.merge.given_back, NAMES.size());
    EXPECT_EQ(ctx.merge.left_masked(), 0u);
}

TEST_F(Driver, ChangedWorkbookRestoresWhenTheUserSaysYes) {
    write_book(test::small_workbook(NAMES));
    ASSERT_EQ(process(book()), RC_OK);
    const fs::path masked = output;
    edit_entry(masked, "xl/sharedStrings.xml", add_string);
    rep = test::RecordingReporter{};
    rep.answers = {true};
    output.clear();
    ASSERT_EQ(hsc_process_file(masked, output, settings, ctx, rep, test::quick_kdf()), RC_OK);
    EXPECT_EQ(rep.questions.size(), 1u);
    EXPECT_TRUE(rep.errors.empty());
    std::string restored = test::entry_data(test::small_workbook(NAMES), "xl/sharedStrings.xml");
    add_string(restored);
    EXPECT_EQ(test::entry_data(test::read_zip(output), "xl/sharedStrings.xml"), restored);
}

// A masked text replaced by another of the same byte length keeps the table's length:
// the check looks at the items themselves, and the forced restore keeps that edit.
TEST_F(Driver, SameLengthEditIsCaughtAndKept) {
    write_book(test::small_workbook(NAMES));
    settings.is_overwrite = true;
    ASSERT_EQ(process(book()), RC_OK);
    const std::string masked_name = "●●●●";  // 山田太郎, masked
    const std::string typed = "Yamada Taro!";  // as many bytes
    ASSERT_EQ(masked_name.size(), typed.size());
    edit_entry(book(), "xl/sharedStrings.xml", [&](std::string& table) {
        const std::size_t at = table.find("<t>" + masked_name + "</t>");
        ASSERT_NE(at, std::string::npos);
        table.replace(at + 3, masked_name.size(), typed);
    });
    EXPECT_EQ(process(book()), RC_FAIL);
    ASSERT_EQ(rep.questions.size(), 1u);
    EXPECT_NE(rep.questions[0].find("xl/sharedStrings.xml"), std::string::npos);

    rep = test::RecordingReporter{};
    rep.answers = {true};
    ASSERT_EQ(hsc_process_file(book(), output, settings, ctx, rep, test::quick_kdf()), RC_OK);
    const std::string table = test::entry_data(test::read_zip(book()), "xl/sharedStrings.xml");
    EXPECT_NE(table.find("<t>" + typed + "</t>"), std::string::npos);
    EXPECT_EQ(table.find("<t>" + NAMES[0] + "</t>"), std::string::npos);
    for (std::size_t i = 1; i < NAMES.size(); ++i) EXPECT_NE(table.find("<t>" + NAMES[i] + "</t>"), std::string::npos) << i;
    EXPECT_EQ(ctx.merge.given_back, NAMES.size() - 1);
}

// Unchanged masked workbooks are restored without a question.
TEST_F(Driver, UnchangedWorkbookRestoresWithoutAQuestion) {
    write_book(test::small_workbook(NAMES));
    settings.is_overwrite = true;
    ASSERT_EQ(process(book()), RC_OK);
    ASSERT_EQ(process(book()), RC_OK);
    EXPECT_TRUE(rep.questions.empty());
}

}  // namespace
}  // namespace hsc

namespace hsc {
namespace {

// Restoring reads only the parts it changes; every other entry is copied with the bytes
// it was stored with, and is still checked: a damaged worksheet of a masked workbook is
// refused, the file left as it was, rather than carried into the restored one.
TEST_F(Driver, RestoringCopiesUnreadEntriesAsStoredAndStillChecksThem) {
    write_book(test::small_workbook(NAMES));
    ASSERT_EQ(process(book()), RC_OK) << (rep.errors.empty() ? "" : rep.errors[0]);
    const fs::path masked = output;
    const auto masked_info = test::read_zip_info(masked);
    ASSERT_EQ(process(masked), RC_OK) << (rep.errors.empty() ? "" : rep.errors[0]);
    const auto restored_info = test::read_zip_info(output);
    bool compared = false;
    for (const auto& e : restored_info.entries)
        if (e.name.starts_with("xl/worksheets/sheet")) {
            for (const auto& m : masked_info.entries)
                if (m.name == e.name) {
                    EXPECT_EQ(e.compressed, m.compressed) << e.name;
                    compared = true;
                }
        }
    EXPECT_TRUE(compared);
    fs::remove(output);

    // One byte of a worksheet's stored data changed.
    std::string bytes = test::read_file(masked);
    const auto& sheet = *std::find_if(masked_info.entries.begin(), masked_info.entries.end(),
                                      [](const auto& e) { return e.name.starts_with("xl/worksheets/sheet"); });
    const std::size_t at = bytes.find(sheet.compressed);
    ASSERT_NE(at, std::string::npos);
    bytes[at + sheet.compressed.size() / 2] ^= 0x20;
    test::write_file(masked, bytes);
    EXPECT_EQ(process(masked), RC_FAIL);
    ASSERT_EQ(rep.errors.size(), 1u);
    EXPECT_NE(rep.errors[0].find(sheet.name), std::string::npos) << rep.errors[0];
    EXPECT_EQ(ctx.failure, FailReason::damaged);
    EXPECT_EQ(test::read_file(masked), bytes);
    EXPECT_FALSE(fs::exists(dir / "〇●book.xlsx"));
}

}  // namespace
}  // namespace hsc

namespace hsc {
namespace {

// A sheet whose chosen columns hold numbers and a date besides strings.
std::vector<test::ZipEntry> book_with_values(const std::string& sheet_file = "sheet1.xml") {
    auto entries = test::small_workbook(NAMES);
    for (auto& e : entries) {
        if (e.name == "xl/worksheets/sheet1.xml")
            e.data.insert(e.data.find("</sheetData>"), R"(<row r="3"><c r="B3"><v>9012345678</v></c>)"
                                                        R"(<c r="C3" t="d"><v>1985-03-12</v></c><c r="D3"><v>42</v></c></row>)");
        for (std::size_t at = 0; (at = e.data.find("sheet1.xml", at)) != std::string::npos; at += sheet_file.size())
            e.data.replace(at, 10, sheet_file);
        if (e.name == "xl/worksheets/sheet1.xml") e.name = "xl/worksheets/" + sheet_file;
    }
    return entries;
}

TEST_F(Driver, NumbersAndDatesOfChosenColumnsAreMaskedAndComeBackByteForByte) {
    const auto original = book_with_values();
    write_book(original);
    settings.target_column = "B,C";
    ASSERT_EQ(process(book()), RC_OK) << (rep.errors.empty() ? "" : rep.errors[0]);
    EXPECT_EQ(ctx.report.values.numbers, 1u);
    EXPECT_EQ(ctx.report.values.dates, 1u);
    EXPECT_TRUE(ctx.report.complete());
    const auto masked = test::read_zip(output);
    const std::string sheet = test::entry_data(masked, "xl/worksheets/sheet1.xml");
    EXPECT_NE(sheet.find("<v>9999999999</v>"), std::string::npos) << sheet;
    EXPECT_NE(sheet.find("<v>1900-01-01</v>"), std::string::npos) << sheet;
    EXPECT_NE(sheet.find("<v>42</v>"), std::string::npos) << "column D was not chosen";
    EXPECT_EQ(sheet.size(), test::entry_data(original, "xl/worksheets/sheet1.xml").size());
    EXPECT_NO_THROW(test::entry_data(masked, "xl/worksheets/BKsheet1.xml"));

    const fs::path masked_path = output;
    ASSERT_EQ(process(masked_path), RC_OK) << (rep.errors.empty() ? "" : rep.errors[0]);
    const auto restored = test::read_zip(output);
    for (const char* name : {"xl/worksheets/sheet1.xml", "xl/sharedStrings.xml", "xl/workbook.xml"})
        EXPECT_EQ(test::entry_data(restored, name), test::entry_data(original, name)) << name;
    EXPECT_THROW(test::entry_data(restored, "xl/worksheets/BKsheet1.xml"), std::exception);
}

TEST_F(Driver, TextOnlyKeepsTheNumbersAndNeedsNoWorksheetBackup) {
    write_book(book_with_values());
    settings.target_column = "B,C";
    settings.is_text_only = true;
    ASSERT_EQ(process(book()), RC_OK) << (rep.errors.empty() ? "" : rep.errors[0]);
    EXPECT_EQ(ctx.report.values.changed(), 0u);
    const auto masked = test::read_zip(output);
    EXPECT_NE(test::entry_data(masked, "xl/worksheets/sheet1.xml").find("<v>9012345678</v>"), std::string::npos);
    EXPECT_THROW(test::entry_data(masked, "xl/worksheets/BKsheet1.xml"), std::exception);
}

// A masked number changed afterwards (same length, so only the content tells) is an edit
// that restoring the kept worksheet would undo.
TEST_F(Driver, WorksheetEditedAfterMaskingIsNotRestoredBlindly) {
    write_book(book_with_values());
    settings.target_column = "B";
    settings.is_overwrite = true;
    ASSERT_EQ(process(book()), RC_OK) << (rep.errors.empty() ? "" : rep.errors[0]);
    edit_entry(book(), "xl/worksheets/sheet1.xml", [](std::string& sheet) {
        sheet.replace(sheet.find("9999999999"), 10, "0312345678");
    });
    const std::string edited = test::read_file(book());
    EXPECT_EQ(process(book()), RC_FAIL);
    ASSERT_EQ(rep.errors.size(), 1u);
    EXPECT_NE(rep.errors[0].find("xl/worksheets/sheet1.xml"), std::string::npos) << rep.errors[0];
    EXPECT_EQ(test::read_file(book()), edited);
}

// Some writers name worksheets after the sheet: they are worksheets all the same.
TEST_F(Driver, WorksheetsNotNamedSheetNAreMasked) {
    write_book(book_with_values("customers.xml"));
    settings.target_column = "B";
    ASSERT_EQ(process(book()), RC_OK) << (rep.errors.empty() ? "" : rep.errors[0]);
    EXPECT_EQ(ctx.report.cells, std::optional<std::size_t>(2));
    EXPECT_EQ(ctx.report.values.numbers, 1u);
    const auto masked = test::read_zip(output);
    EXPECT_NE(test::entry_data(masked, "xl/worksheets/customers.xml").find("9999999999"), std::string::npos);
    EXPECT_NO_THROW(test::entry_data(masked, "xl/worksheets/BKcustomers.xml"));
}

}  // namespace
}  // namespace hsc
