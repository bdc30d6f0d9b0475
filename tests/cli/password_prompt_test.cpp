// The password prompt on a real (pseudo) terminal: echo comes back whatever stops it.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "support/temp_dir.h"
#include "support/workbook_fixture.h"
#include "support/zip_builder.h"

namespace hsc {
namespace {

namespace fs = std::filesystem;

bool echo_on(int fd) {
    termios t{};
    return ::tcgetattr(fd, &t) == 0 && (t.c_lflag & ECHO) != 0;
}

// Output of the terminal until `part` shows, for at most 20 seconds.
bool wait_for(int master, const std::string& part) {
    std::string seen;
    for (int waited = 0; waited < 200 && seen.find(part) == std::string::npos; ++waited) {
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        char buf[256];
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n <= 0) return false;
        seen.append(buf, static_cast<std::size_t>(n));
    }
    return seen.find(part) != std::string::npos;
}

class PasswordPrompt : public ::testing::TestWithParam<int> {};

TEST_P(PasswordPrompt, SignalLeavesTheTerminalWithEcho) {
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", test::small_workbook({"山田太郎"}));
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string name = ::ptsname(master);
    const int slave = ::open(name.c_str(), O_RDWR | O_NOCTTY);  // to look at it afterwards
    ASSERT_GE(slave, 0);
    ASSERT_TRUE(echo_on(slave));
    const std::string binary = (test::binary_dir() / "hushcel").string();
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // The terminal becomes the child's own, as in a shell.
        ::setsid();
        const int tty = ::open(name.c_str(), O_RDWR);
        if (tty < 0 || ::ioctl(tty, TIOCSCTTY, 0) != 0) ::_exit(120);
        ::dup2(tty, 0), ::dup2(tty, 1), ::dup2(tty, 2);
        if (::chdir(dir.path().c_str()) != 0) ::_exit(121);
        ::setenv("HOME", dir.path().c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
        ::setenv("LC_ALL", "C.UTF-8", 1);
        ::setenv("LANG", "en_US.UTF-8", 1);
        ::execl(binary.c_str(), "hushcel", "--lang", "en", "--ask-password", "book.xlsx", nullptr);
        ::_exit(122);
    }
    ASSERT_TRUE(wait_for(master, "Password: "));
    EXPECT_FALSE(echo_on(slave)) << "the prompt hides what is typed";
    // What is typed there is kept out of core files.
    std::ifstream limits("/proc/" + std::to_string(pid) + "/limits");
    std::string line;
    while (std::getline(limits, line) && !line.starts_with("Max core file size")) {}
    std::string soft, hard;
    std::istringstream(line.substr(std::string_view("Max core file size").size())) >> soft >> hard;
    EXPECT_EQ(soft + " " + hard, "0 0") << line;
    ::kill(pid, GetParam());
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == GetParam()) << status;
    EXPECT_TRUE(echo_on(slave));
    EXPECT_FALSE(fs::exists(dir / "●book.xlsx"));
    ::close(slave);
    ::close(master);
}

INSTANTIATE_TEST_SUITE_P(Signals, PasswordPrompt, ::testing::Values(SIGINT, SIGTERM, SIGHUP, SIGQUIT),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

}  // namespace
}  // namespace hsc
