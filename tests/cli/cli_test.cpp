#include <gtest/gtest.h>

#include <map>
#include <set>

#include "cli_run.h"
#include "package/file_type.h"
#include "shell/settings_file.h"
#include "support/temp_dir.h"
#include "support/workbook_fixture.h"
#include "support/zip_builder.h"

namespace hsc {
namespace {

namespace fs = std::filesystem;
using test::run_hushcel;

// The runs read no settings file: run_hushcel points HOME and XDG_CONFIG_HOME at an
// empty folder, and none lies beside the built program. The defaults, then.
std::vector<std::string> args(std::vector<std::string> a) { return a; }

const std::map<std::string, std::string> PW = {{"HUSHCEL_PASSWORD", "correct horse"}};

std::map<std::string, std::string> folder(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file()) files[fs::relative(e.path(), dir).string()] = test::read_file(e.path());
    return files;
}

std::vector<std::string> people(int seed) {
    const char* family[] = {"山田", "佐藤", "鈴木", "高橋", "田中"};
    const char* given[] = {"太郎", "花子", "一郎", "美咲"};
    std::vector<std::string> s;
    for (int i = 0; i < 6; ++i) {
        s.push_back(std::string(family[(seed + i) % 5]) + given[(seed * 3 + i) % 4]);
        s.push_back("東京都新宿区" + std::to_string(seed) + "-" + std::to_string(i));
        s.push_back("090-" + std::to_string(1000 + seed) + "-" + std::to_string(2000 + i));
    }
    return s;
}

// The parts whose text is masked and must come back byte for byte.
std::map<std::string, std::string> text_parts(const fs::path& book) {
    std::map<std::string, std::string> parts;
    for (const auto& e : test::read_zip(book))
        if (e.name == "xl/sharedStrings.xml" ||
            (e.name.starts_with("xl/drawings/drawing") && e.name.ends_with(".xml")))
            parts[e.name] = e.data;
    return parts;
}

TEST(Cli, MasksAndRestoresWithThePasswordFromEachSource) {
    test::TempDir dir;
    test::write_zip(dir / "名簿.xlsx", test::small_workbook(people(1)));
    test::write_file(dir / "pw.txt", "correct horse\r\nsecond line ignored\n");
    const auto original = text_parts(dir / "名簿.xlsx");

    auto r = run_hushcel(dir.path(), args({"mask", "--password-file", "pw.txt", "名簿.xlsx"}));
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "名簿.xlsx: マスクしました -> ●名簿.xlsx(共有文字列 18件、図形の文字 0件)\n");
    EXPECT_NE(text_parts(dir / "●名簿.xlsx"), original);

    r = run_hushcel(dir.path(), args({"restore", "--password-file", "-", "●名簿.xlsx"}), {}, "correct horse\n");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "●名簿.xlsx: 復元しました -> 〇●名簿.xlsx\n");
    EXPECT_EQ(text_parts(dir / "〇●名簿.xlsx"), original);

    // The environment, and the settings file's password when nothing else is given.
    // The restored workbook of the first run is there: replaced only with --force.
    r = run_hushcel(dir.path(), args({"●名簿.xlsx"}), PW);
    EXPECT_EQ(r.exit_code, 1) << r.err;
    r = run_hushcel(dir.path(), args({"--force", "●名簿.xlsx"}), PW);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    r = run_hushcel(dir.path(), args({"●名簿.xlsx"}));
    EXPECT_EQ(r.exit_code, 3);
}

TEST(Cli, SettingsFileGivesTheFieldsAndOptionsOverrideSingleOnes) {
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", test::small_workbook(people(9)));
    MaskSettings saved;
    hsc_init_settings(saved);
    saved.password = "from the settings";
    saved.target_column = "A";
    saved.password_hint = "設定のヒント";
    ASSERT_EQ(hsc_write_ini(saved, dir / "my.ini"), 0);

    // Columns from the settings file: only column A is masked.
    auto r = run_hushcel(dir.path(), {"--settings", "my.ini", "book.xlsx"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const std::string sst = test::entry_data(test::read_zip(dir / "●book.xlsx"), "xl/sharedStrings.xml");
    EXPECT_EQ(sst.find(people(9)[0]), std::string::npos);
    EXPECT_NE(sst.find(people(9)[1]), std::string::npos);

    // The settings' password and hint were used; --columns overrides only the columns.
    r = run_hushcel(dir.path(), {"--settings", "my.ini", "inspect", "●book.xlsx"});
    EXPECT_NE(r.out.find("hint=\"設定のヒント\""), std::string::npos) << r.out;
    r = run_hushcel(dir.path(), {"--settings", "my.ini", "--columns", "A,h:", "●book.xlsx"});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_NE(r.err.find("マスク列(A,h:)の指定内容が不正です。"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("B,D,AA"), std::string::npos) << r.err;
    r = run_hushcel(dir.path(), {"--settings", "my.ini", "●book.xlsx"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(text_parts(dir / "〇●book.xlsx"), text_parts(dir / "book.xlsx"));
}

// --ask-password on a terminal (a pseudo-terminal here): asked twice when masking,
// never echoed; the prompts in the language of the run.
TEST(Cli, AskPasswordOnTheTerminalWithoutEcho) {
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", test::small_workbook(people(10)));
    const fs::path binary = test::binary_dir() / "hushcel";
    test::write_file(dir / "ask.py", R"(import os, pty, signal, sys
binary, folder, answer, lang = sys.argv[1:5]
prompts = {"ja": ("パスワード: ", "パスワード(確認): "), "en": ("Password: ", "Password (again): ")}[lang]
signal.alarm(60)  # a prompt that never comes fails the test instead of hanging it
pid, fd = pty.fork()
if pid == 0:
    os.chdir(folder)
    os.execv(binary, [binary, "--lang", lang, "--ask-password", "mask", "book.xlsx"])
seen = b""
def read_until(text):
    global seen
    while text.encode() not in seen:
        piece = os.read(fd, 1024)
        if not piece:
            sys.exit("no prompt %r in %r" % (text, seen))
        seen += piece
read_until(prompts[0])
os.write(fd, b"s3cret-word\n")
read_until(prompts[1])
os.write(fd, answer.encode() + b"\n")
try:
    while True:
        piece = os.read(fd, 1024)
        if not piece:
            break
        seen += piece
except OSError:
    pass
_, status = os.waitpid(pid, 0)
assert b"s3cret-word" not in seen, seen
sys.stdout.write(seen.decode())
sys.exit(os.waitstatus_to_exitcode(status))
)");
    const std::string run = "python3 " + (dir / "ask.py").string() + " " + binary.string() + " " + dir.path().string();
    EXPECT_EQ(test::run_shell(run + " other-word ja >" + (dir / "log1").string()), 2);
    EXPECT_FALSE(fs::exists(dir / "●book.xlsx"));
    EXPECT_EQ(test::run_shell(run + " s3cret-word en >" + (dir / "log2").string()), 0) << test::read_file(dir / "log2");
    ASSERT_TRUE(fs::exists(dir / "●book.xlsx"));
    auto r = run_hushcel(dir.path(), args({"restore", "●book.xlsx"}), {{"HUSHCEL_PASSWORD", "s3cret-word"}});
    EXPECT_EQ(r.exit_code, 0) << r.err;
}

TEST(Cli, WrongPasswordOnRestoreShowsTheHintAndChangesNothing) {
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", test::small_workbook(people(2)));
    auto r = run_hushcel(dir.path(), args({"--overwrite", "--hint", "馬の名前", "book.xlsx"}), PW);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const auto before = folder(dir.path());

    r = run_hushcel(dir.path(), args({"book.xlsx"}), {{"HUSHCEL_PASSWORD", "Correct horse"}});
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "book.xlsx: パスワードが一致しませんでした。ヒントは\"馬の名前\"です。\n");
    EXPECT_EQ(folder(dir.path()), before);
}

TEST(Cli, KeyFileModeRefusesAnotherKeyFile) {
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", test::small_workbook(people(3)));
    test::write_file(dir / "a.key", std::string(4096, 'a'));
    test::write_file(dir / "b.key", std::string(4096, 'b'));
    auto r = run_hushcel(dir.path(), args({"--key-file", "a.key", "--hint", "USB", "book.xlsx"}), PW);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    r = run_hushcel(dir.path(), args({"--key-file", "b.key", "●book.xlsx"}));
    EXPECT_EQ(r.exit_code, 3);
    // The key is made from the password and the file: the refusal cannot say which is wrong.
    EXPECT_EQ(r.err, "●book.xlsx: パスワードまたは認証ファイルが一致しませんでした(鍵は両方から作られ、どちらが違うかは"
                     "ブックに記録されていません)。ヒントは\"USB\"です。\n");
    r = run_hushcel(dir.path(), args({"●book.xlsx"}), PW);
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_EQ(r.err, "●book.xlsx: ファイル認証モードで暗号化されています。処理を中断します。\n");
    // The backup is enciphered with the password in this mode too.
    r = run_hushcel(dir.path(), args({"--key-file", "a.key", "●book.xlsx"}));
    EXPECT_EQ(r.exit_code, 3) << r.err;
    EXPECT_NE(r.err.find("パスワードまたは認証ファイルが一致しませんでした"), std::string::npos) << r.err;
    r = run_hushcel(dir.path(), args({"--key-file", "a.key", "●book.xlsx"}), PW);
    EXPECT_EQ(r.exit_code, 0) << r.err;
}

TEST(Cli, DirectionCommandsRefuseTheOtherStateAndExitCodesTellFailuresApart) {
    test::TempDir dir;
    test::write_zip(dir / "plain.xlsx", test::small_workbook(people(4)));
    test::write_zip(dir / "other.xlsx", test::small_workbook(people(5)));
    ASSERT_EQ(run_hushcel(dir.path(), args({"other.xlsx"}), PW).exit_code, 0);

    auto r = run_hushcel(dir.path(), args({"restore", "plain.xlsx"}), PW);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "plain.xlsx: マスクされたファイルではありません。復元は行いません(plain.xlsx)。\n");
    r = run_hushcel(dir.path(), args({"mask", "●other.xlsx"}), PW);
    EXPECT_EQ(r.exit_code, 1);

    // A refused password alone gives 3; together with another failure, 1.
    r = run_hushcel(dir.path(), args({"●other.xlsx"}), {{"HUSHCEL_PASSWORD", "x"}});
    EXPECT_EQ(r.exit_code, 3);
    test::write_file(dir / "notes.xlsx", "not a workbook at all, just text");
    r = run_hushcel(dir.path(), args({"●other.xlsx", "notes.xlsx"}), {{"HUSHCEL_PASSWORD", "x"}});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("notes.xlsx: サポート対象外のファイルです(notes.xlsx)。"), std::string::npos);
}

struct UsageCase {
    const char* label;
    std::vector<std::string> argv;
    std::string message_part;
};
void PrintTo(const UsageCase& c, std::ostream* os) { *os << c.label; }
class CliUsage : public ::testing::TestWithParam<UsageCase> {};

TEST_P(CliUsage, ExitsWithTwoAndTouchesNothing) {
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", test::small_workbook(people(6)));
    const auto before = folder(dir.path());
    auto r = run_hushcel(dir.path(), args(GetParam().argv), PW);
    EXPECT_EQ(r.exit_code, 2) << r.err;
    EXPECT_NE(r.err.find(GetParam().message_part), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(folder(dir.path()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Errors, CliUsage,
    ::testing::Values(UsageCase{"no_files", {"mask"}, "ファイルが指定されていません"},
                      UsageCase{"unknown_option", {"--colour", "book.xlsx"}, "不明なオプション"},
                      UsageCase{"password_as_option", {"--password", "x", "book.xlsx"}, "コマンドラインでは受け付けません"},
                      UsageCase{"bad_strength", {"--strength", "extreme", "book.xlsx"}, "strong|medium|weak"},
                      UsageCase{"bad_kanji_mask", {"--kanji-mask", "★", "book.xlsx"}, "●|■|※|none"},
                      UsageCase{"missing_value", {"book.xlsx", "--columns"}, "--columns には値が必要です"},
                      UsageCase{"version_with_value", {"--version=2", "book.xlsx"}, "--version は値をとりません"},
                      UsageCase{"bad_jobs", {"-j", "0", "book.xlsx"}, "-j には"},
                      UsageCase{"same_file_twice", {"book.xlsx", "./book.xlsx"}, "2回指定"},
                      UsageCase{"missing_password_file", {"--password-file", "nope.txt", "book.xlsx"}, "nope.txt"},
                      // A device without end is not read without end.
                      UsageCase{"password_file_without_line_end", {"--password-file", "/dev/zero", "book.xlsx"},
                                "パスワードファイル(/dev/zero)の1行目が1024バイトを超えています。"},
                      UsageCase{"hint_too_long_in_cp932", {"--hint", "長い長い長い長い長い長い長い長い長", "book.xlsx"},
                                "32バイトまで"},
                      UsageCase{"ask_without_terminal", {"--ask-password", "book.xlsx"}, "端末がありません"},
                      UsageCase{"missing_settings_file", {"--settings", "none.ini", "book.xlsx"},
                                "設定ファイル(none.ini)が見つかりません。"},
                      UsageCase{"invalid_column_list", {"--columns", "A,h:", "book.xlsx"}, "(例: B,D,AA"},
                      UsageCase{"bad_header_row", {"--header-row", "0", "book.xlsx"}, "--header-row には"},
                      UsageCase{"keep_header_with_value", {"--keep-header=yes", "book.xlsx"}, "値をとりません"},
                      UsageCase{"bad_max_memory", {"--max-memory", "lots", "book.xlsx"}, "512M"}),
    [](const auto& info) { return std::string(info.param.label); });

// Header texts choose the columns and keep the header row with the rows above it; letters
// mask it unless --keep-header; --header-row moves it. Row 1 of the book holds
// people(3)[0..2].
struct HeaderRun {
    const char* label;
    std::vector<std::string> options;
    int exit_code;
    std::vector<int> readable, masked;  // items of people(3)
};
void PrintTo(const HeaderRun& c, std::ostream* os) { *os << c.label; }
class CliHeaders : public testing::TestWithParam<HeaderRun> {};

TEST_P(CliHeaders, ChooseColumnsAndKeepTheHeaderRow) {
    const HeaderRun& c = GetParam();
    test::TempDir dir;
    const auto texts = people(3);
    test::write_zip(dir / "book.xlsx", test::small_workbook(texts));
    std::vector<std::string> argv = c.options;
    for (std::string& a : argv)
        if (a.starts_with("@")) a = texts[static_cast<std::size_t>(std::stoi(a.substr(1)))];  // @4: the text of item 4
    argv.push_back("book.xlsx");
    auto r = run_hushcel(dir.path(), argv, PW);
    ASSERT_EQ(r.exit_code, c.exit_code) << r.err;
    if (c.exit_code != 0) {
        EXPECT_NE(r.err.find("どのシートの"), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir / "●book.xlsx"));
        return;
    }
    const std::string sst = test::entry_data(test::read_zip(dir / "●book.xlsx"), "xl/sharedStrings.xml");
    for (int i : c.readable) EXPECT_NE(sst.find(texts[static_cast<std::size_t>(i)]), std::string::npos) << i;
    for (int i : c.masked) EXPECT_EQ(sst.find(texts[static_cast<std::size_t>(i)]), std::string::npos) << i;
}

INSTANTIATE_TEST_SUITE_P(
    Runs, CliHeaders,
    testing::Values(HeaderRun{"by_header", {"--columns", "@1"}, 0, {0, 1, 2, 3, 5}, {4, 7}},
                    HeaderRun{"letters_mask_the_header", {"--columns", "B"}, 0, {0, 2, 3, 5}, {1, 4, 7}},
                    HeaderRun{"keep_header", {"--columns", "B", "--keep-header"}, 0, {1, 3, 5}, {4, 7}},
                    HeaderRun{"header_row_two", {"--columns", "@4", "--header-row", "2"}, 0, {1, 4}, {7, 10}},
                    HeaderRun{"header_nowhere", {"--columns", "@4"}, 1, {}, {}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Cli, VersionPrintsTheProjectVersionAndTouchesNothing) {
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", test::small_workbook(people(5)));
    const auto before = folder(dir.path());
    const std::string expected = std::string("Hushcel ") + HUSHCEL_VERSION + "\nCopyright (C) KESTRIL\n";
    for (const auto& argv : std::vector<std::vector<std::string>>{{"--version"}, {"--version", "book.xlsx"},
                                                                   {"mask", "book.xlsx", "--version"}}) {
        auto r = run_hushcel(dir.path(), args(argv), PW);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(r.out, expected);
        EXPECT_EQ(r.err, "");
    }
    EXPECT_EQ(folder(dir.path()), before);
    // The version the package and the manual page carry.
    EXPECT_EQ(std::string(HUSHCEL_VERSION).find_first_not_of("0123456789."), std::string::npos);
}

TEST(Cli, JsonLinesParseAndCarryEachResult) {
    test::TempDir dir;
    test::write_zip(dir / "a \"quoted\" name.xlsx", test::small_workbook(people(7)));
    test::write_file(dir / "bad\x01.xlsx", "plain text, not a package");
    test::write_file(dir / "raw\xff.xlsx", "plain text, not a package");
    auto r = run_hushcel(dir.path(), args({"--json", "a \"quoted\" name.xlsx", "bad\x01.xlsx", "raw\xff.xlsx"}), PW);
    EXPECT_EQ(r.exit_code, 1);
    test::write_file(dir / "out.json", r.out);
    const std::string check =
        "python3 -c 'import json,sys\n"
        "rows=[json.loads(l) for l in open(sys.argv[1],encoding=\"utf-8\")]\n"
        "assert len(rows)==3, rows\n"
        "col=lambda c: dict(sheet=\"名簿\",part=\"xl/worksheets/sheet1.xml\",column=c,header=None,\n"
        "  masked=dict(texts=6,numbers=0,dates=0,formulas=0),\n"
        "  left=dict(header=0,formulas=0,booleans=0,errors=0,empty=0,numbers_kept=0),\n"
        "  readable=dict(unmasked=0,inline_strings=0,found_elsewhere=[]),complete=True)\n"
        "assert rows[0]==dict(schema=1,kind=\"masked\",input=\"a \\\"quoted\\\" name.xlsx\",output=\"●a \\\"quoted\\\" name.xlsx\",action=\"mask\",status=0,message=\"\",\n"
        "  shared_strings=18,cells=None,shapes=0,complete=True,warnings=[],\n"
        "  values=dict(numbers=0,dates=0,texts=0,formulas=0,left=0,formula_texts=0),columns=[col(\"A\"),col(\"B\"),col(\"C\")]), rows[0]\n"
        "assert \"warnings\" not in rows[1] and \"shared_strings\" not in rows[1], rows[1]\n"
        "assert rows[1][\"input\"]==\"bad\\x01.xlsx\" and rows[1][\"status\"]==-1, rows[1]\n"
        "assert rows[1][\"kind\"]==\"unsupported-file\", rows[1]\n"
        "assert rows[1][\"message\"].startswith(\"サポート対象外\"), rows[1]\n"
        "assert rows[2][\"input\"]==\"raw\\ufffd.xlsx\", rows[2]\n"
        "' " + (dir / "out.json").string();
    EXPECT_EQ(test::run_shell(check), 0) << r.out;

    r = run_hushcel(dir.path(), args({"inspect", "--json", "●a \"quoted\" name.xlsx"}));
    EXPECT_EQ(r.exit_code, 0) << r.err;
    test::write_file(dir / "inspect.json", r.out);
    EXPECT_EQ(test::run_shell("python3 -c 'import json,sys\n"
                              "d=json.loads(open(sys.argv[1],encoding=\"utf-8\").read())\n"
                              "assert d[\"action\"]==\"inspect\" and d[\"masked\"] and d[\"type\"]==12, d\n"
                              "assert d[\"authentication\"]==\"password\" and d[\"backups\"]==[\"xl/BKsharedStrings.xml\",\"xl/BKworkbook.xml\",\"docProps/BKpackage.xml\"], d\n"
                              "' " + (dir / "inspect.json").string()),
              0)
        << r.out;
}

TEST(Cli, InspectChangesNothing) {
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", test::small_workbook(people(8)));
    ASSERT_EQ(run_hushcel(dir.path(), args({"--overwrite", "--hint", "ひみつ", "book.xlsx"}), PW).exit_code, 0);
    const auto before = folder(dir.path());
    auto r = run_hushcel(dir.path(), args({"inspect", "book.xlsx"}));
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out,
              "book.xlsx: type=MS-Excel2007(12) masked=yes auth=password format=strong hint=\"ひみつ\" "
              "backups=xl/BKsharedStrings.xml,xl/BKworkbook.xml,docProps/BKpackage.xml\n");
    EXPECT_EQ(folder(dir.path()), before);
}

TEST(Cli, ParallelJobsGiveTheSameOutputsAsOne) {
    test::TempDir one, two;
    std::vector<std::string> files;
    for (int i = 0; i < 20; ++i) {
        const std::string name = "book" + std::to_string(i) + ".xlsx";
        test::write_zip(one / name, test::small_workbook(people(i)));
        test::write_zip(two / name, test::small_workbook(people(i)));
        files.push_back(name);
    }
    // The compatible format: the strong one draws a fresh salt and nonces for every
    // masking, so no two of its outputs are the same bytes.
    auto a = files, b = files;
    a.insert(a.begin(), {"-j", "1", "--compat", "--columns", "A,C"});
    b.insert(b.begin(), {"-j", "2", "--compat", "--columns", "A,C"});
    auto r1 = run_hushcel(one.path(), args(a), PW);
    auto r2 = run_hushcel(two.path(), args(b), PW);
    EXPECT_EQ(r1.exit_code, 0) << r1.err;
    EXPECT_EQ(r2.exit_code, 0) << r2.err;
    EXPECT_EQ(r1.out, r2.out);  // printed in the order given
    const auto f1 = folder(one.path()), f2 = folder(two.path());
    EXPECT_EQ(f1.size(), 40u);
    EXPECT_EQ(f1, f2);
}

// A masked workbook whose table was changed afterwards is refused untouched; --force
// restores it.
TEST(Cli, ChangedMaskedWorkbookNeedsForce) {
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", test::small_workbook(people(2)));
    const auto original = text_parts(dir / "book.xlsx");
    auto r = run_hushcel(dir.path(), args({"--overwrite", "book.xlsx"}), PW);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const test::ZipArchiveInfo info = test::read_zip_info(dir / "book.xlsx");
    std::vector<test::ZipEntry> entries;
    for (const auto& e : info.entries) {
        entries.push_back({e.name, e.data});
        if (e.name == "xl/sharedStrings.xml")
            entries.back().data.insert(entries.back().data.rfind("</sst>"), "<si><t>new</t></si>");
    }
    test::ZipBuildOptions options;
    options.comment = info.comment;
    test::write_zip(dir / "book.xlsx", entries, options);
    const auto edited = folder(dir.path());

    r = run_hushcel(dir.path(), args({"restore", "--overwrite", "book.xlsx"}), PW);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("マスク後にブックが変更されています(xl/sharedStrings.xml)"), std::string::npos) << r.err;
    EXPECT_EQ(folder(dir.path()), edited);

    // Forced, the table comes back item by item: the string added since masking stays
    // where its cells point.
    r = run_hushcel(dir.path(), args({"restore", "--force", "--overwrite", "book.xlsx"}), PW);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    auto restored = original;
    std::string& table = restored["xl/sharedStrings.xml"];
    table.insert(table.rfind("</sst>"), "<si><t>new</t></si>");
    EXPECT_EQ(text_parts(dir / "book.xlsx"), restored);
}

// Two-byte characters are masked by default; --wchar-mask chooses their mask character.
TEST(Cli, WcharMaskChoosesTheTwoByteMaskCharacter) {
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", test::small_workbook({"Иван", "Ωmega", "Zoë"}));
    auto r = run_hushcel(dir.path(), args({"book.xlsx"}), PW);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    std::string table = test::entry_data(test::read_zip(dir / "●book.xlsx"), "xl/sharedStrings.xml");
    EXPECT_NE(table.find("<t>××××</t>"), std::string::npos) << table;
    EXPECT_NE(table.find("<t>×****</t>"), std::string::npos) << table;
    EXPECT_NE(table.find("<t>**×</t>"), std::string::npos) << table;
    fs::remove(dir / "●book.xlsx");
    r = run_hushcel(dir.path(), args({"--wchar-mask", "none", "book.xlsx"}), PW);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    table = test::entry_data(test::read_zip(dir / "●book.xlsx"), "xl/sharedStrings.xml");
    EXPECT_NE(table.find("<t>Иван</t>"), std::string::npos) << table;
    EXPECT_EQ(run_hushcel(dir.path(), args({"--wchar-mask", "#", "book.xlsx"}), PW).exit_code, 2);
}

// Every workbook of the corpus, from the command line: mask, then restore.
TEST(CliCorpus, MaskThenRestoreGivesBackTheTextParts) {
    const fs::path corpus = test::corpus_dir();
    if (corpus.empty()) GTEST_SKIP() << "HUSHCEL_CORPUS not set";
    const std::set<std::string> must_round_trip = {
        "poi/SampleSS.xlsx",         "xlsxwriter/unicode_shift_jis.xlsx",     "poi/46535.xlsx",
        "poi/57826.xlsx",            "poi/stress002.xlsx",                    "sheetjs/large_strings.xlsx",
        "calamine/vba.xlsm",         "exceldatareader/Test_LotsOfSheets.xlsx", "xlsxwriter/textbox03.xlsx"};
    int round_trips = 0;
    for (const auto& entry : fs::recursive_directory_iterator(corpus)) {
        if (!entry.is_regular_file() || entry.path().filename() == "README.md") continue;
        const std::string rel = fs::relative(entry.path(), corpus).string();
        SCOPED_TRACE(rel);
        test::TempDir dir;
        const std::string name = entry.path().filename().string();
        fs::copy_file(entry.path(), dir / name);
        int code = -1;
        ASSERT_EQ(tiv_file_type(dir / name, code) == 0 || code == -1, true);

        // 4: masked, with warnings (texts of the workbook that stand elsewhere as well).
        auto r = run_hushcel(dir.path(), args({"--shapes", name}), PW);
        if (r.exit_code != 0 && r.exit_code != 4) {
            EXPECT_EQ(r.exit_code, 1) << r.err;
            EXPECT_TRUE(r.err.starts_with(name + ": ")) << r.err;
            EXPECT_EQ(folder(dir.path()), (std::map<std::string, std::string>{{name, test::read_file(entry.path())}}));
            EXPECT_EQ(must_round_trip.count(rel), 0u) << r.err;
            if (code == TYPE_XLS) {
                EXPECT_NE(r.err.find("古い形式(.xls)のブックです"), std::string::npos) << r.err;
            } else if (code == TYPE_XLSX_LOCKED) {
                EXPECT_NE(r.err.find("読み取りパスワードが設定されているファイルはサポート対象外です。"), std::string::npos);
            } else if (code != TYPE_XLSX && code != TYPE_XLSM) {
                // A compound file the table cannot name by its name is named by what it holds.
                EXPECT_TRUE(r.err.find("サポート対象外のファイルです") != std::string::npos ||
                            (code == TYPE_UNKNOWN && r.err.find("古い形式(.xls)のブックです") != std::string::npos))
                    << r.err;
            }
            continue;
        }
        EXPECT_TRUE(code == TYPE_XLSX || code == TYPE_XLSM);
        r = run_hushcel(dir.path(), args({"●" + name}), PW);
        ASSERT_EQ(r.exit_code, 0) << r.err;
        auto restored = text_parts(dir / ("〇●" + name)), original = text_parts(entry.path());
        // A table that took in the inline strings keeps them; openpyxl compares their
        // values in the engine's corpus test.
        bool inline_strings = false;
        for (const auto& e : test::read_zip(entry.path()))
            inline_strings = inline_strings || (e.name.starts_with("xl/worksheets/sheet") &&
                                                e.data.find("\"inlineStr\"") != std::string::npos);
        if (inline_strings) restored.erase("xl/sharedStrings.xml"), original.erase("xl/sharedStrings.xml");
        EXPECT_EQ(restored, original);
        EXPECT_EQ(test::read_file(dir / name), test::read_file(entry.path()));
        std::set<std::string> names;
        for (const auto& [n, bytes] : folder(dir.path())) names.insert(n);
        EXPECT_EQ(names, (std::set<std::string>{name, "●" + name, "〇●" + name}));
        ++round_trips;
    }
    EXPECT_GE(round_trips, static_cast<int>(must_round_trip.size()));
}

}  // namespace
}  // namespace hsc
