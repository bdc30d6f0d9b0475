#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "core/status.h"
#include "os/system.h"
#include "shell/platform.h"
#include "support/temp_dir.h"

extern char** environ;

namespace hsc {
namespace {
namespace fs = std::filesystem;
using Argv = std::vector<std::string>;

struct SplitCase {
    const char* name;
    const char* line;
    std::optional<Argv> expected;
};

class SplitCommandLine : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandLine, Words) { EXPECT_EQ(split_command_line(GetParam().line), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitCommandLine,
    ::testing::Values(SplitCase{"Blanks", "  calc  --view\tx ", Argv{"calc", "--view", "x"}},
                      SplitCase{"DoubleQuotes", "\"/opt/My App/calc\" -a", Argv{"/opt/My App/calc", "-a"}},
                      SplitCase{"SingleQuotesKeepBackslash", "a 'b\\c d'", Argv{"a", "b\\c d"}},
                      SplitCase{"EscapedBlank", "my\\ app x", Argv{"my app", "x"}},
                      SplitCase{"EmptyQuotedWord", "a \"\" b", Argv{"a", "", "b"}},
                      SplitCase{"OpenQuote", "a \"b", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

struct ExecCase {
    const char* name;
    const char* exec;
    std::optional<Argv> expected;
};

class DesktopExec : public ::testing::TestWithParam<ExecCase> {};

TEST_P(DesktopExec, ExpandsForOneFile) {
    EXPECT_EQ(desktop_exec_argv(GetParam().exec, "/t/my book.xlsx"), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DesktopExec,
    ::testing::Values(
        ExecCase{"FileList", "libreoffice --calc %U", Argv{"libreoffice", "--calc", "/t/my book.xlsx"}},
        ExecCase{"SingleFile", "gnumeric %f", Argv{"gnumeric", "/t/my book.xlsx"}},
        ExecCase{"NoFieldCodeAppends", "calc -n", Argv{"calc", "-n", "/t/my book.xlsx"}},
        ExecCase{"DroppedCodesAndPercent", "app %i %c --x=100%% %F", Argv{"app", "--x=100%", "/t/my book.xlsx"}},
        ExecCase{"CodeInsideAWord", "app --open=%f", Argv{"app", "--open=/t/my book.xlsx"}},
        ExecCase{"Empty", "", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

void make_executable(const fs::path& p, std::string_view text) {
    test::write_file(p, text);
    fs::permissions(p, fs::perms::owner_all);
}

TEST(ResolveSpreadsheet, DesktopDefaultFromTheDataDirsWithSubfolderIds) {
    test::TempDir dir;
    fs::create_directories(dir.path() / "bin");
    fs::create_directories(dir.path() / "share2/applications/vendor");
    make_executable(dir.path() / "bin/sheets", "#!/bin/sh\n");
    test::write_file(dir.path() / "share2/applications/vendor/sheets.desktop",
                     "[Desktop Action new]\nExec=other\n[Desktop Entry]\nName=Sheets\nExec = sheets --open %U\n");
    SpreadsheetLookup lookup;
    lookup.desktop_id = "vendor-sheets.desktop";
    lookup.data_dirs = {dir.path() / "share1", dir.path() / "share2"};
    lookup.search_path = (dir.path() / "bin").string();
    auto cmd = resolve_spreadsheet(lookup, "/w/b.xlsx");
    ASSERT_TRUE(cmd);
    EXPECT_EQ(cmd->argv, (Argv{"sheets", "--open", "/w/b.xlsx"}));
    EXPECT_EQ(cmd->program, dir.path() / "bin/sheets");
    EXPECT_EQ(cmd->process_name, "sheets");
}

TEST(ResolveSpreadsheet, FallsBackToLibreOfficeCalcWhichRunsAsSofficeBin) {
    test::TempDir dir;
    make_executable(dir / "libreoffice", "#!/bin/sh\n");
    SpreadsheetLookup lookup;
    lookup.desktop_id = "missing.desktop";
    lookup.search_path = dir.path().string();
    auto cmd = resolve_spreadsheet(lookup, "/w/b.xlsx");
    ASSERT_TRUE(cmd);
    EXPECT_EQ(cmd->argv, (Argv{"libreoffice", "--calc", "/w/b.xlsx"}));
    EXPECT_EQ(cmd->process_name, "soffice.bin");

    lookup.search_path = (dir / "nothing-here").string();
    EXPECT_FALSE(resolve_spreadsheet(lookup, "/w/b.xlsx"));
}

TEST(ResolveSpreadsheet, OverrideWinsAndTakesThePathAsOneArgument) {
    test::TempDir dir;
    make_executable(dir / "fake app", "#!/bin/sh\n");
    SpreadsheetLookup lookup;
    lookup.override_command = "'" + (dir / "fake app").string() + "' --flag";
    lookup.desktop_id = "ignored.desktop";
    auto cmd = resolve_spreadsheet(lookup, "/w/a b;rm -rf x.xlsx");
    ASSERT_TRUE(cmd);
    EXPECT_EQ(cmd->argv, (Argv{(dir / "fake app").string(), "--flag", "/w/a b;rm -rf x.xlsx"}));
}

TEST(OpenWithExcel, StartsTheApplicationOnThePathAndWaitsForItsEnd) {
    test::TempDir dir;
    fs::path app = dir / "app.sh";
    // Writes its arguments after a pause: if the call returned early, the file would be missing.
    make_executable(app, "#!/bin/sh\nsleep 0.3\nprintf '%s|' \"$@\" > \"$(dirname \"$0\")/args\"\n");
    SpreadsheetLookup lookup;
    lookup.override_command = app.string() + " -x";
    LinuxPlatform platform(lookup);
    fs::path book = dir / "〇帳簿 1.xlsx";
    EXPECT_EQ(platform.open_with_excel(book), RC_OK);
    EXPECT_EQ(test::read_file(dir / "args"), "-x|" + book.string() + "|");
}

TEST(OpenWithExcel, NoApplicationIsMinusOne) {
    SpreadsheetLookup lookup;
    lookup.override_command = "/nonexistent/calc";
    LinuxPlatform platform(lookup);
    EXPECT_EQ(platform.open_with_excel("/tmp/x.xlsx"), RC_FAIL);
    EXPECT_EQ(platform.find_spreadsheet_process(), RC_FAIL);
}

TEST(FindProcess, SeesARunningExecutableByItsFileName) {
    test::TempDir dir;
    fs::path exe = dir / "hushcel-fake-calc.bin";
    fs::copy_file("/bin/sleep", exe);
    fs::permissions(exe, fs::perms::owner_all);
    EXPECT_EQ(hsc_find_process("hushcel-fake-calc.bin"), RC_FAIL);

    std::string exe_s = exe.string();
    char* args[] = {exe_s.data(), const_cast<char*>("30"), nullptr};
    pid_t pid;
    ASSERT_EQ(posix_spawn(&pid, exe_s.c_str(), nullptr, nullptr, args, environ), 0);
    // The exe link appears once the new image runs.
    int found = RC_FAIL;
    for (int i = 0; i < 200 && found != RC_OK; ++i) {
        found = hsc_find_process("hushcel-fake-calc.bin");
        if (found != RC_OK) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(found, RC_OK);
    EXPECT_EQ(hsc_find_process("hushcel-fake-calc"), RC_FAIL);  // the whole name, not a part
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    EXPECT_EQ(hsc_find_process("hushcel-fake-calc.bin"), RC_FAIL);
}

TEST(FileTime, LocalCalendarFieldsAndMissingFile) {
    test::TempDir dir;
    fs::path f = dir / "t.xlsx";
    test::write_file(f, "x");
    struct timespec times[2] = {{0, 0}, {86400 + 3723, 500}};  // 1970-01-02 01:02:03.0000005 UTC
    ASSERT_EQ(::utimensat(AT_FDCWD, f.c_str(), times, 0), 0);
    std::string old_tz = std::getenv("TZ") ? std::getenv("TZ") : "";
    ::setenv("TZ", "JST-9", 1);
    ::tzset();
    FileTime t;
    int rc = hsc_get_file_time(f, t);
    if (old_tz.empty()) ::unsetenv("TZ");
    else ::setenv("TZ", old_tz.c_str(), 1);
    ::tzset();
    EXPECT_EQ(rc, RC_OK);
    EXPECT_EQ(t, (FileTime{1970, 1, 2, 10, 2, 3, 500}));
    EXPECT_EQ(hsc_get_file_time(dir / "missing.xlsx", t), RC_OPEN);
}

// A process that holds a password writes no core file and cannot be read by a debugger.
TEST(KeepMemoryPrivate, NoCoreFileAndNoDebugger) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (!os::keep_memory_private()) ::_exit(1);
        rlimit core{};
        if (::getrlimit(RLIMIT_CORE, &core) != 0 || core.rlim_cur != 0 || core.rlim_max != 0) ::_exit(2);
        ::_exit(::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0) == 0 ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace hsc
