// Files and secrets from the command line: nothing replaced by surprise, no lost update,
// no plaintext exposed, no known key, and messages that name the cause.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <set>

#include "cli_run.h"
#include "protect/footer.h"
#include "shell/settings_file.h"
#include "support/temp_dir.h"
#include "support/workbook_fixture.h"
#include "support/zip_builder.h"

namespace hsc {
namespace {

namespace fs = std::filesystem;
using test::run_hushcel;

const std::map<std::string, std::string> PW = {{"HUSHCEL_PASSWORD", "correct horse"}};
const std::vector<std::string> TEXTS = {"山田太郎", "東京都新宿区1-2-3", "090-1234-5678", "佐藤花子", "大阪市北区", "06-1111-2222"};

std::map<std::string, std::string> folder(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(dir))
        files[e.path().filename().string()] = e.is_regular_file() ? test::read_file(e.path()) : "<not a file>";
    return files;
}

bool masked(const fs::path& book) {
    FooterInfo info;
    return hsc_read_footer(book, info) == 0 && info.present;
}

mode_t mode_of(const fs::path& p) {
    struct stat st {};
    ::stat(p.c_str(), &st);
    return st.st_mode & 07777;
}

// Python's zipfile reads the whole package and checks every CRC.
bool complete_zip(const fs::path& book) {
    return test::run_shell("python3 -c 'import sys,zipfile; z=zipfile.ZipFile(sys.argv[1]); "
                           "sys.exit(1 if z.testzip() else 0)' '" + book.string() + "' 2>/dev/null") == 0;
}

// A shell line run in `dir` with no settings of the user's; its exit status, and
// stderr in `err`.
int shell_in(const fs::path& dir, const std::string& line, std::string& err) {
    const fs::path log = dir.parent_path() / (dir.filename().string() + ".err");
    const std::string binary = "'" + (test::binary_dir() / "hushcel").string() + "'";
    std::string script = line;
    for (std::size_t at = 0; (at = script.find("HUSHCEL", at)) != std::string::npos; at += binary.size())
        script.replace(at, 7, binary);
    // Japanese messages, whatever the machine's locale.
    const std::string cmd = "cd '" + dir.string() + "' && unset LC_ALL LC_MESSAGES && export HOME=/nonexistent "
                            "XDG_CONFIG_HOME=/nonexistent LANG=ja_JP.UTF-8 HUSHCEL_PASSWORD='correct horse' && " + script;
    const int status = test::run_shell("bash -c \"" + cmd + "\" 2>'" + log.string() + "'");
    err = test::read_file(log);
    fs::remove(log);
    return status;
}

// ---- no surprise replacement ----

struct ExistingCase {
    const char* label;
    std::vector<std::string> argv;  // the run whose output exists
    std::string output;
    bool first_masks;  // the output exists because the input was masked first
};
void PrintTo(const ExistingCase& c, std::ostream* os) { *os << c.label; }
class CliExistingOutput : public ::testing::TestWithParam<ExistingCase> {};

TEST_P(CliExistingOutput, IsKeptAndReplacedOnlyWithForce) {
    const ExistingCase& c = GetParam();
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", test::small_workbook(TEXTS));
    if (c.first_masks) ASSERT_EQ(run_hushcel(dir.path(), {"book.xlsx"}, PW).exit_code, 0);
    test::write_file(dir / c.output, "the user's own file, not a workbook");
    ::chmod((dir / c.output).c_str(), 0444);  // read-only ones too
    const auto before = folder(dir.path());

    auto r = run_hushcel(dir.path(), c.argv, PW);
    EXPECT_EQ(r.exit_code, 1) << r.err;
    EXPECT_NE(r.err.find("出力ファイル(" + c.output + ")が既に存在するため、保存しませんでした。"), std::string::npos) << r.err;
    EXPECT_EQ(folder(dir.path()), before);

    auto argv = c.argv;
    argv.insert(argv.begin(), "--force");
    r = run_hushcel(dir.path(), argv, PW);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(complete_zip(dir / c.output));
    EXPECT_EQ(folder(dir.path()).size(), before.size());
}

INSTANTIATE_TEST_SUITE_P(Outputs, CliExistingOutput,
                         ::testing::Values(ExistingCase{"masked", {"book.xlsx"}, "●book.xlsx", false},
                                           ExistingCase{"restored", {"●book.xlsx"}, "〇●book.xlsx", true}),
                         [](const auto& info) { return std::string(info.param.label); });

// Batches refused as usage errors before any file is touched.
struct BatchCase {
    const char* label;
    std::vector<std::string> argv;
    std::string message_part;
};
void PrintTo(const BatchCase& c, std::ostream* os) { *os << c.label; }
class CliBatch : public ::testing::TestWithParam<BatchCase> {};

TEST_P(CliBatch, IsRefusedBeforeAnyChange) {
    test::TempDir dir;
    test::write_zip(dir / "a.xlsx", test::small_workbook(TEXTS));
    test::write_zip(dir / "b.xlsx", test::small_workbook(TEXTS));
    ASSERT_EQ(run_hushcel(dir.path(), {"b.xlsx"}, PW).exit_code, 0);  // ●b.xlsx: masked
    const auto before = folder(dir.path());
    auto r = run_hushcel(dir.path(), GetParam().argv, PW);
    EXPECT_EQ(r.exit_code, 2) << r.err;
    EXPECT_NE(r.err.find(GetParam().message_part), std::string::npos) << r.err;
    EXPECT_EQ(folder(dir.path()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Batches, CliBatch,
    ::testing::Values(
        BatchCase{"output_named_as_input", {"mask", "b.xlsx", "●b.xlsx"}, "出力ファイル名(●b.xlsx)が入力ファイルとして"},
        BatchCase{"restored_output_named_as_input", {"restore", "●b.xlsx", "〇●b.xlsx"}, "(〇●b.xlsx)"},
        // "hushcel *.xlsx" run a second time in the folder.
        BatchCase{"automatic_mode_mixes_states", {"a.xlsx", "●b.xlsx"}, "mask か restore を指定してください"}),
    [](const auto& info) { return std::string(info.param.label); });

// "●x.xlsx" is a link to another workbook: given with x.xlsx, the one run would mask x
// over the link and then restore that into plain text.
TEST(CliBatch, OutputNameThatIsALinkToAnotherInputIsRefused) {
    test::TempDir dir;
    test::write_zip(dir / "x.xlsx", test::small_workbook(TEXTS));
    test::write_zip(dir / "y.xlsx", test::small_workbook(TEXTS));
    fs::create_symlink("y.xlsx", dir / "●x.xlsx");
    const auto before = folder(dir.path());
    auto r = run_hushcel(dir.path(), {"--force", "x.xlsx", "●x.xlsx"}, PW);
    EXPECT_EQ(r.exit_code, 2) << r.err;
    EXPECT_NE(r.err.find("出力ファイル名(●x.xlsx)が入力ファイルとして"), std::string::npos) << r.err;
    EXPECT_EQ(folder(dir.path()), before);
    EXPECT_TRUE(fs::is_symlink(dir / "●x.xlsx"));
}

TEST(CliBatch, MixedStatesWithAnExplicitCommandDoOnlyThatCommand) {
    test::TempDir dir;
    test::write_zip(dir / "a.xlsx", test::small_workbook(TEXTS));
    test::write_zip(dir / "b.xlsx", test::small_workbook(TEXTS));
    ASSERT_EQ(run_hushcel(dir.path(), {"--overwrite", "b.xlsx"}, PW).exit_code, 0);
    auto r = run_hushcel(dir.path(), {"mask", "a.xlsx", "b.xlsx"}, PW);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(masked(dir / "●a.xlsx"));
    EXPECT_FALSE(fs::exists(dir / "●b.xlsx"));
}

// ---- no exposed plaintext ----

class CliModes : public ::testing::TestWithParam<mode_t> {};

// A restored copy is also held to the umask: plain text is no more open than new files.
TEST_P(CliModes, OutputsTakeTheInputsMode) {
    const mode_t mode = GetParam();
    const mode_t umask = ::umask(022);  // what the runs inherit
    ::umask(umask);
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", test::small_workbook(TEXTS));
    ::chmod((dir / "book.xlsx").c_str(), mode);
    ASSERT_EQ(run_hushcel(dir.path(), {"book.xlsx"}, PW).exit_code, 0);
    EXPECT_EQ(mode_of(dir / "●book.xlsx"), mode);
    ASSERT_EQ(run_hushcel(dir.path(), {"●book.xlsx"}, PW).exit_code, 0);
    EXPECT_EQ(mode_of(dir / "〇●book.xlsx"), mode & ~umask);
    ASSERT_EQ(run_hushcel(dir.path(), {"--overwrite", "book.xlsx"}, PW).exit_code, 0);
    EXPECT_EQ(mode_of(dir / "book.xlsx"), mode);
    EXPECT_TRUE(masked(dir / "book.xlsx"));
}

INSTANTIATE_TEST_SUITE_P(Modes, CliModes, ::testing::Values(0600, 0640, 0604, 0664),
                         [](const auto& info) { return "mode_" + std::to_string(info.param); });

TEST(CliModes, RestoredCopyKeepsToAPrivateUmask) {
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", test::small_workbook(TEXTS));
    ::chmod((dir / "book.xlsx").c_str(), 0644);
    std::string err;
    ASSERT_EQ(shell_in(dir.path(), "umask 077; HUSHCEL book.xlsx && HUSHCEL ●book.xlsx", err), 0) << err;
    EXPECT_EQ(mode_of(dir / "●book.xlsx"), 0644u);  // masked: as the input
    EXPECT_EQ(mode_of(dir / "〇●book.xlsx"), 0600u);
}

// A run stopped by SIGTERM at any moment leaves the old workbook or the complete new
// one, and no other file.
TEST(CliStop, NoTemporaryFileIsLeftAfterSigterm) {
    test::TempDir dir;
    std::vector<std::string> many;
    for (int i = 0; i < 4000; ++i) many.push_back("顧客" + std::to_string(i) + "様 東京都" + std::to_string(i));
    test::write_zip(dir / "original.xlsx", test::small_workbook(many));
    const std::string original = test::read_file(dir / "original.xlsx");
    int finished = 0, stopped = 0;
    for (int delay_ms : {0, 5, 20, 50, 100, 150, 200, 300, 400, 600}) {
        SCOPED_TRACE(delay_ms);
        fs::copy_file(dir / "original.xlsx", dir / "book.xlsx", fs::copy_options::overwrite_existing);
        std::string err;
        const int status = shell_in(dir.path(),
                                    "HUSHCEL --overwrite book.xlsx >/dev/null & pid=\\$!; sleep " +
                                        std::to_string(delay_ms / 1000.0) + "; kill -TERM \\$pid; wait \\$pid",
                                    err);
        (status == 0 ? finished : stopped)++;
        std::set<std::string> names;
        for (const auto& [name, bytes] : folder(dir.path())) names.insert(name);
        EXPECT_EQ(names, (std::set<std::string>{"book.xlsx", "original.xlsx"}));
        const bool replaced = test::read_file(dir / "book.xlsx") != original;
        if (replaced) {
            EXPECT_TRUE(masked(dir / "book.xlsx"));
            EXPECT_TRUE(complete_zip(dir / "book.xlsx"));
        }
        fs::remove_all(dir / ".home");
    }
    EXPECT_GT(stopped, 0) << "no run was stopped: the workbook is too small to catch it working";
}

TEST(CliOverwrite, HardLinkedInputIsRefusedUnlessForced) {
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", test::small_workbook(TEXTS));
    fs::create_hard_link(dir / "book.xlsx", dir / "other-name.xlsx");
    const std::string original = test::read_file(dir / "book.xlsx");
    auto r = run_hushcel(dir.path(), {"--overwrite", "book.xlsx"}, PW);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("ハードリンク"), std::string::npos) << r.err;
    EXPECT_EQ(test::read_file(dir / "book.xlsx"), original);
    EXPECT_EQ(fs::hard_link_count(dir / "book.xlsx"), 2u);

    r = run_hushcel(dir.path(), {"--overwrite", "--force", "book.xlsx"}, PW);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(masked(dir / "book.xlsx"));
    EXPECT_EQ(test::read_file(dir / "other-name.xlsx"), original);  // what --force accepts
}

// ---- no known key ----

struct KeyCase {
    const char* label;
    std::vector<std::string> argv;
    std::map<std::string, std::string> env;
    int exit_code;
};
void PrintTo(const KeyCase& c, std::ostream* os) { *os << c.label; }
class CliKnownKey : public ::testing::TestWithParam<KeyCase> {};

TEST_P(CliKnownKey, MaskingNeedsAPasswordOfOnesOwn) {
    const KeyCase& c = GetParam();
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", test::small_workbook(TEXTS));
    test::write_file(dir / "usb.key", std::string(1000, 'k'));
    const auto before = folder(dir.path());
    auto r = run_hushcel(dir.path(), c.argv, c.env);
    EXPECT_EQ(r.exit_code, c.exit_code) << r.err;
    if (c.exit_code == 2) {
        EXPECT_NE(r.err.find("Hushcel を持っている人なら誰でもブックを復元できます"), std::string::npos) << r.err;
        EXPECT_EQ(folder(dir.path()), before);
    } else {
        EXPECT_TRUE(masked(dir / "●book.xlsx"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Passwords, CliKnownKey,
    ::testing::Values(KeyCase{"no_password_anywhere", {"book.xlsx"}, {}, 2},
                      KeyCase{"mask_command", {"mask", "book.xlsx"}, {}, 2},
                      KeyCase{"built_in_password_given", {"book.xlsx"}, {{"HUSHCEL_PASSWORD", "Q-Marle"}}, 2},
                      KeyCase{"key_file_mode", {"--key-file", "usb.key", "book.xlsx"}, {}, 2},
                      KeyCase{"allowed_on_request", {"--allow-default-password", "book.xlsx"}, {}, 0},
                      KeyCase{"own_password", {"book.xlsx"}, PW, 0}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(CliKnownKey, RestoringWithTheBuiltInPasswordStillWorks) {
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", test::small_workbook(TEXTS));
    ASSERT_EQ(run_hushcel(dir.path(), {"--allow-default-password", "book.xlsx"}).exit_code, 0);
    auto r = run_hushcel(dir.path(), {"●book.xlsx"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(test::entry_data(test::read_zip(dir / "〇●book.xlsx"), "xl/sharedStrings.xml"),
              test::entry_data(test::small_workbook(TEXTS), "xl/sharedStrings.xml"));
}

// ---- settings ----

TEST(CliSettings, UnsealableValueGivesAWarningNamingTheField) {
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", test::small_workbook(TEXTS));
    test::write_file(dir / "my.ini", "[Hushcel]\r\nPASSWORD=\"not sealed text\"\r\nTARGET_COLUMN=\"0123\"\r\n");
    auto r = run_hushcel(dir.path(), {"--settings", "my.ini", "inspect", "book.xlsx"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.err.find("設定ファイルの PASSWORD の値を読み取れませんでした"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("設定ファイルの TARGET_COLUMN の値を読み取れませんでした"), std::string::npos) << r.err;
    // The password fell back to empty: masking is refused rather than done with it.
    r = run_hushcel(dir.path(), {"--settings", "my.ini", "book.xlsx"});
    EXPECT_EQ(r.exit_code, 2) << r.err;
}

// ---- messages that say what happened ----

struct CauseCase {
    const char* label;
    std::function<void(const fs::path& dir)> setup;
    std::string line;  // HUSHCEL stands for the program
    std::string message_part;
    bool needs_other_user = false;
};
void PrintTo(const CauseCase& c, std::ostream* os) { *os << c.label; }
class CliCause : public ::testing::TestWithParam<CauseCase> {};

const std::string LONG_NAME = std::string(248, 'n') + ".xlsx";  // 253 bytes: "●" makes it 256

TEST_P(CliCause, MessageNamesTheCause) {
    const CauseCase& c = GetParam();
    test::TempDir dir;
    std::string line = c.line;
    if (c.needs_other_user) {
        // Permissions do not bind root: run as nobody.
        if (::geteuid() != 0) GTEST_SKIP() << "needs root to become another user";
        ::chmod(dir.path().c_str(), 0755);
        line = "setpriv --reuid=65534 --regid=65534 --clear-groups " + line;
    }
    c.setup(dir.path());
    const auto before = folder(dir.path());
    std::string err;
    const int status = shell_in(dir.path(), line, err);
    EXPECT_NE(status, 0);
    EXPECT_NE(err.find(c.message_part), std::string::npos) << err;
    EXPECT_EQ(folder(dir.path()), before) << "nothing written";
}

void book_in(const fs::path& dir) { test::write_zip(dir / "book.xlsx", test::small_workbook(TEXTS)); }

INSTANTIATE_TEST_SUITE_P(
    Causes, CliCause,
    ::testing::Values(
        CauseCase{"no_such_file", [](const fs::path&) {}, "HUSHCEL nope.xlsx", "ファイル(nope.xlsx)が見つかりません。"},
        CauseCase{"is_a_folder", [](const fs::path& d) { fs::create_directory(d / "folder.xlsx"); },
                  "HUSHCEL folder.xlsx", "(folder.xlsx)はフォルダです。"},
        CauseCase{"file_name_too_long", [](const fs::path&) {}, "HUSHCEL " + std::string(300, 'x') + ".xlsx",
                  "ファイル名が長すぎます"},
        CauseCase{"output_name_too_long",
                  [](const fs::path& d) { test::write_zip(d / LONG_NAME, test::small_workbook(TEXTS)); },
                  "HUSHCEL " + LONG_NAME, "出力ファイル名が長すぎます"},
        // The write fails with EFBIG: a limit of the user's, not a full disk.
        CauseCase{"file_size_limit", book_in, "ulimit -f 2; HUSHCEL book.xlsx",
                  "ファイルサイズの上限(ulimit -f)を超えるため、出力ファイル(●book.xlsx)を保存できませんでした。"},
        CauseCase{"file_size_limit_when_overwriting", book_in, "ulimit -f 2; HUSHCEL --overwrite book.xlsx",
                  "ファイルサイズの上限(ulimit -f)を超えるため"},
        CauseCase{"permission_denied",
                  [](const fs::path& d) {
                      book_in(d);
                      ::chmod((d / "book.xlsx").c_str(), 0600);
                  },
                  "HUSHCEL book.xlsx", "ファイル(book.xlsx)を読み取る権限がありません。", true},
        CauseCase{"folder_takes_no_file",
                  [](const fs::path& d) {
                      book_in(d);
                      ::chmod((d / "book.xlsx").c_str(), 0644);
                  },
                  "HUSHCEL book.xlsx", "フォルダに書き込む権限がないため", true},
        // The folder lets anyone rename over the file; the file is not theirs to write.
        CauseCase{"overwrite_of_a_file_one_may_only_read",
                  [](const fs::path& d) {
                      book_in(d);
                      ::chmod((d / "book.xlsx").c_str(), 0644);
                      ::chmod(d.c_str(), 0777);
                  },
                  "HUSHCEL --overwrite --force book.xlsx", "ファイル(book.xlsx)に書き込む権限がないため、上書きしませんでした。",
                  true},
        CauseCase{"overwrite_of_a_read_only_file",
                  [](const fs::path& d) {
                      book_in(d);
                      ::chmod((d / "book.xlsx").c_str(), 0444);
                  },
                  "HUSHCEL --overwrite --force book.xlsx", "ファイル(book.xlsx)は読み取り専用のため、上書きしませんでした。"},
        CauseCase{"table_part",
                  [](const fs::path& d) { test::write_zip(d / "book.xlsx", test::workbook_with_unnamed_table(TEXTS)); },
                  "HUSHCEL book.xlsx", "テーブル(xl/tables/table1.xml)が含まれているため処理できません。表計算ソフトでテーブルを範囲に変換"},
        CauseCase{"old_binary_workbook",
                  [](const fs::path& d) {
                      std::string cfb("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
                      cfb.resize(4096, '\0');
                      test::write_file(d / "old.xls", cfb);
                  },
                  "HUSHCEL old.xls", "古い形式(.xls)のブックです(old.xls)。表計算ソフトで .xlsx 形式で保存して"}),
    [](const auto& info) { return std::string(info.param.label); });

// ---- only files are read ----

// A FIFO, device or socket named like a workbook is refused by name at once; the rest
// of the batch is processed.
class CliNotAFile : public ::testing::TestWithParam<std::string> {};

TEST_P(CliNotAFile, IsRefusedAndTheBatchGoesOn) {
    test::TempDir dir;
    book_in(dir.path());
    ASSERT_EQ(::mkfifo((dir / "fifo.xlsx").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", dir / "device.xlsx");
    std::string err;
    // A hang ends with timeout's status 124.
    const int status = shell_in(dir.path(), "timeout 60 HUSHCEL " + GetParam() + " fifo.xlsx device.xlsx book.xlsx", err);
    EXPECT_EQ(status, 1) << err;
    EXPECT_NE(err.find("(fifo.xlsx)は通常のファイルではありません。"), std::string::npos) << err;
    EXPECT_NE(err.find("(device.xlsx)は通常のファイルではありません。"), std::string::npos) << err;
    EXPECT_TRUE(masked(dir / (GetParam() == "--overwrite" ? "book.xlsx" : "●book.xlsx")));
}

INSTANTIATE_TEST_SUITE_P(Commands, CliNotAFile, ::testing::Values("", "mask", "--overwrite"),
                         [](const auto& info) { return info.param.empty() ? std::string("automatic") : info.param.substr(info.param.find_first_not_of('-')); });

// A full disk: a small file system of its own (mounting needs root).
TEST(CliCauseDisk, FullDiskIsNamed) {
    test::TempDir dir;
    const fs::path small = dir / "small";
    fs::create_directory(small);
    if (::geteuid() != 0 || test::run_shell("mount -t tmpfs -o size=64k tmpfs '" + small.string() + "' 2>/dev/null") != 0)
        GTEST_SKIP() << "needs root to mount a small file system";
    struct Unmount {
        fs::path at;
        ~Unmount() { test::run_shell("umount '" + at.string() + "'"); }
    } unmount{small};
    std::vector<std::string> many;
    for (int i = 0; i < 3000; ++i) many.push_back("顧客" + std::to_string(i) + "様 東京都" + std::to_string(i * 7919));
    test::write_zip(small / "book.xlsx", test::small_workbook(many));
    std::string err;
    for (const char* line : {"HUSHCEL book.xlsx", "HUSHCEL --overwrite book.xlsx"}) {
        EXPECT_EQ(shell_in(small, line, err), 1) << line;
        EXPECT_NE(err.find("ディスクの空き容量が足りないため"), std::string::npos) << err;
        EXPECT_EQ(folder(small), (std::map<std::string, std::string>{{"book.xlsx", test::read_file(small / "book.xlsx")}}));
    }
}

// ---- memory budget ----

TEST(CliMemory, PackageOverTheBudgetIsRefusedAndTheBudgetIsShared) {
    test::TempDir dir;
    auto big = test::small_workbook(TEXTS);
    big.push_back({"xl/media/padding.bin", std::string(3 << 20, 'p')});  // 3 MiB inflated
    test::write_zip(dir / "a.xlsx", big);
    test::write_zip(dir / "b.xlsx", big);

    auto r = run_hushcel(dir.path(), {"--max-memory", "2M", "a.xlsx"}, PW);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("使用できるメモリの上限を超える"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("(必要/上限: 4 MB/2 MB)"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "●a.xlsx"));

    // The compatible format derives no key, whose memory would count too.
    r = run_hushcel(dir.path(), {"--compat", "--max-memory", "6M", "-j", "1", "a.xlsx", "b.xlsx"}, PW);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    fs::remove(dir / "●a.xlsx");
    fs::remove(dir / "●b.xlsx");
    // Two workers share the 6 MB: 3 MB each is too little for 3 MiB and the rest.
    r = run_hushcel(dir.path(), {"--compat", "--max-memory", "6M", "-j", "2", "a.xlsx", "b.xlsx"}, PW);
    EXPECT_EQ(r.exit_code, 1) << r.err;
    EXPECT_FALSE(fs::exists(dir / "●a.xlsx"));
}

}  // namespace
}  // namespace hsc
