// The command line at a terminal (a pseudo-terminal here): the password asked when none
// is given, and the progress line of a long file.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "core/catalog.h"
#include "protect/footer.h"
#include "support/temp_dir.h"
#include "support/workbook_fixture.h"
#include "support/zip_builder.h"

namespace hsc {
namespace {

namespace fs = std::filesystem;

// hushcel on a pseudo-terminal of its own, as started from a shell: the terminal is its
// standard input, output and error and its controlling terminal.
class TerminalRun {
public:
    TerminalRun(const fs::path& cwd, const std::vector<std::string>& args) {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
        const std::string name = ::ptsname(master_);
        const std::string binary = (test::binary_dir() / "hushcel").string();
        std::vector<std::string> argv = {"hushcel", "--lang", "en"};
        argv.insert(argv.end(), args.begin(), args.end());
        pid_ = ::fork();
        if (pid_ != 0) return;
        ::setsid();
        const int tty = ::open(name.c_str(), O_RDWR);
        if (tty < 0 || ::ioctl(tty, TIOCSCTTY, 0) != 0) ::_exit(120);
        ::dup2(tty, 0), ::dup2(tty, 1), ::dup2(tty, 2);
        if (::chdir(cwd.c_str()) != 0) ::_exit(121);
        ::setenv("HOME", cwd.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", cwd.c_str(), 1);
        ::setenv("LC_ALL", "C.UTF-8", 1);
        ::unsetenv("HUSHCEL_PASSWORD");
        std::vector<char*> raw;
        for (auto& a : argv) raw.push_back(a.data());
        raw.push_back(nullptr);
        ::execv(binary.c_str(), raw.data());
        ::_exit(122);
    }
    ~TerminalRun() {
        if (pid_ > 0 && status_ < 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (master_ >= 0) ::close(master_);
    }
    bool started() const { return master_ >= 0 && pid_ > 0; }

    // Reads what the terminal shows until `part` has come, for at most 30 seconds.
    bool wait_for(const std::string& part) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (seen.find(part, from_) == std::string::npos && std::chrono::steady_clock::now() < end)
            if (read_some(100) < 0) break;  // the program ended
        const auto at = seen.find(part, from_);
        if (at == std::string::npos) return false;
        from_ = at + part.size();
        return true;
    }
    void type(const std::string& line) { [[maybe_unused]] auto n = ::write(master_, line.data(), line.size()); }

    // Reads everything up to the program's end; its exit code (-1 when it did not end).
    int finish() {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (std::chrono::steady_clock::now() < end) {
            read_some(50);
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                while (read_some(50) > 0) {}
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                return status_;
            }
        }
        return -1;
    }

    std::string seen;  // everything the terminal showed

private:
    // 1 something was read, 0 nothing came within ms, -1 the terminal was closed.
    int read_some(int ms) {
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, ms) <= 0) return 0;
        char buf[4096];
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0) return -1;
        seen.append(buf, static_cast<std::size_t>(n));
        return 1;
    }
    int master_ = -1;
    pid_t pid_ = -1;
    int status_ = -1;
    std::size_t from_ = 0;
};

const std::string PROMPT(message_template(Lang::en, Msg::password_prompt));
const std::string AGAIN(message_template(Lang::en, Msg::password_prompt_again));

bool masked(const fs::path& file) {
    FooterInfo info;
    return hsc_read_footer(file, info) == 0 && info.present;
}

// With no password given anywhere, masking asks twice and restoring once; what is typed
// is the password (the restore with another one fails).
TEST(TerminalPrompt, MaskingAsksTwiceAndRestoringOnce) {
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", test::small_workbook({"山田太郎", "東京都"}));
    {
        TerminalRun run(dir.path(), {"mask", "book.xlsx"});
        ASSERT_TRUE(run.started());
        ASSERT_TRUE(run.wait_for(PROMPT)) << run.seen;
        run.type("typed at the prompt\n");
        ASSERT_TRUE(run.wait_for(AGAIN)) << run.seen;
        run.type("typed at the prompt\n");
        EXPECT_EQ(run.finish(), 0) << run.seen;
        EXPECT_EQ(run.seen.find("typed at the prompt"), std::string::npos) << "echoed: " << run.seen;
    }
    ASSERT_TRUE(masked(dir / "●book.xlsx"));
    {
        TerminalRun run(dir.path(), {"restore", "●book.xlsx"});
        ASSERT_TRUE(run.wait_for(PROMPT)) << run.seen;
        run.type("not the password\n");
        EXPECT_NE(run.finish(), 0) << run.seen;
        EXPECT_EQ(run.seen.find(AGAIN), std::string::npos) << "asked twice to restore";
    }
    EXPECT_FALSE(fs::exists(dir / "〇●book.xlsx"));
    {
        TerminalRun run(dir.path(), {"restore", "●book.xlsx"});
        ASSERT_TRUE(run.wait_for(PROMPT)) << run.seen;
        run.type("typed at the prompt\n");
        EXPECT_EQ(run.finish(), 0) << run.seen;
    }
    EXPECT_EQ(test::entry_data(test::read_zip(dir / "〇●book.xlsx"), "xl/sharedStrings.xml"),
              test::entry_data(test::small_workbook({"山田太郎", "東京都"}), "xl/sharedStrings.xml"));
}

// Two different answers, or none, mask nothing.
TEST(TerminalPrompt, DifferentAnswersMaskNothing) {
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", test::small_workbook({"山田太郎"}));
    TerminalRun run(dir.path(), {"book.xlsx"});
    ASSERT_TRUE(run.wait_for(PROMPT)) << run.seen;
    run.type("first\n");
    ASSERT_TRUE(run.wait_for(AGAIN)) << run.seen;
    run.type("second\n");
    EXPECT_EQ(run.finish(), 2) << run.seen;
    EXPECT_NE(run.seen.find(message_template(Lang::en, Msg::password_confirm_differs)), std::string::npos) << run.seen;
    EXPECT_FALSE(fs::exists(dir / "●book.xlsx"));
}

// A password given any other way is not asked for, nor when the built-in one is allowed.
TEST(TerminalPrompt, NotAskedWhenAPasswordIsGiven) {
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", test::small_workbook({"山田太郎"}));
    test::write_file(dir / "pw.txt", "from a file\n");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--password-file", "pw.txt", "mask", "book.xlsx"},
          std::vector<std::string>{"--allow-default-password", "--overwrite", "mask", "book.xlsx"}}) {
        TerminalRun run(dir.path(), args);
        EXPECT_EQ(run.finish(), 0) << run.seen;
        EXPECT_EQ(run.seen.find(PROMPT), std::string::npos) << run.seen;
    }
}

// Without a terminal nothing is asked: masking stays a usage error.
TEST(TerminalPrompt, WithoutATerminalMaskingStaysAUsageError) {
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", test::small_workbook({"山田太郎"}));
    const auto r = test::run_hushcel(dir.path(), {"--lang", "en", "mask", "book.xlsx"});
    EXPECT_EQ(r.exit_code, 2) << r.err;
    EXPECT_EQ(r.err.find(PROMPT), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "●book.xlsx"));
}

// A long file shows its percentage on the terminal, rewritten in place and erased before
// its result; --quiet and --json never show it, nor does a run whose standard error is
// not a terminal.
TEST(TerminalProgress, ALongFileShowsItsPercentageOnlyOnATerminal) {
    test::TempDir dir;
    std::vector<std::string> strings;
    for (int i = 0; i < 60000; ++i) strings.push_back("山田太郎" + std::to_string(i));
    test::write_zip(dir / "long.xlsx", test::small_workbook(strings));
    test::write_file(dir / "pw.txt", "a password of one's own\n");
    const std::string erase = "\r\033[K";
    {
        TerminalRun run(dir.path(), {"--password-file", "pw.txt", "long.xlsx"});
        ASSERT_EQ(run.finish(), 0) << run.seen;
        std::vector<int> shown;  // the percentages, in order
        for (std::size_t at = 0; (at = run.seen.find(erase + "long.xlsx ", at)) != std::string::npos;) {
            at += erase.size() + 10;
            shown.push_back(std::stoi(run.seen.substr(at)));
        }
        ASSERT_GE(shown.size(), 2u) << run.seen;
        EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
        EXPECT_GT(shown.back(), 0);
        EXPECT_LT(shown.back(), 100);
        // Erased before the result line, which stands alone on its line.
        const std::size_t result = run.seen.find("long.xlsx: masked");
        ASSERT_NE(result, std::string::npos) << run.seen;
        EXPECT_EQ(run.seen.rfind(erase, result), run.seen.rfind('%', result) + 1) << run.seen;
    }
    fs::remove(dir / "●long.xlsx");
    for (const char* option : {"--quiet", "--json"}) {
        TerminalRun run(dir.path(), {"--password-file", "pw.txt", option, "long.xlsx"});
        EXPECT_EQ(run.finish(), 0) << run.seen;
        EXPECT_EQ(run.seen.find('%'), std::string::npos) << option << ": " << run.seen;
        EXPECT_EQ(run.seen.find("long.xlsx: masked"), std::string::npos) << option;
        fs::remove(dir / "●long.xlsx");
    }
    const auto r = test::run_hushcel(dir.path(), {"--lang", "en", "--password-file", "pw.txt", "long.xlsx"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err.find('%'), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("\033"), std::string::npos);
}

}  // namespace
}  // namespace hsc
