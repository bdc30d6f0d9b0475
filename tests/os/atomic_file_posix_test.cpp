#include "os/atomic_file.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <thread>
#include <functional>
#include <set>
#include <tuple>

#include "support/temp_dir.h"

namespace hsc {
namespace {

namespace fs = std::filesystem;

std::set<std::string> listing(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

void write_through(const fs::path& path, const std::string& bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::close(fd);
}

mode_t mode_of(const fs::path& p) {
    struct stat st {};
    ::stat(p.c_str(), &st);
    return st.st_mode & 07777;
}

class AtomicFileKinds : public ::testing::TestWithParam<TempKind> {};

TEST_P(AtomicFileKinds, TemporaryFileIsPrivateAndNewTargetsAreNeverReplaced) {
    test::TempDir dir;
    const mode_t old_mask = ::umask(0);  // whatever the umask, nobody else reads the plaintext
    AtomicFile out(GetParam());
    ASSERT_EQ(out.open(dir / "out.xlsx"), 0);
    ::umask(old_mask);
    EXPECT_EQ(out.unnamed(), GetParam() == TempKind::unnamed_if_possible);
    EXPECT_EQ(mode_of(out.temp_path()), 0600u);
    write_through(out.temp_path(), "new content");
    ASSERT_EQ(out.sync(0640), 0);

    test::write_file(dir / "out.xlsx", "someone else's file");
    EXPECT_EQ(out.commit(false), EEXIST);
    EXPECT_EQ(test::read_file(dir / "out.xlsx"), "someone else's file");
    ASSERT_EQ(out.commit(true), 0);
    EXPECT_EQ(test::read_file(dir / "out.xlsx"), "new content");
    EXPECT_EQ(mode_of(dir / "out.xlsx"), 0640u);
    EXPECT_EQ(listing(dir.path()), std::set<std::string>{"out.xlsx"});
}

TEST_P(AtomicFileKinds, NewTargetIsCreatedAndDiscardLeavesNothing) {
    test::TempDir dir;
    {
        AtomicFile out(GetParam());
        ASSERT_EQ(out.open(dir / "a.xlsx"), 0);
        write_through(out.temp_path(), "a");
        ASSERT_EQ(out.sync(0600), 0);
        ASSERT_EQ(out.commit(false), 0);
    }
    {
        AtomicFile out(GetParam());
        ASSERT_EQ(out.open(dir / "b.xlsx"), 0);
        write_through(out.temp_path(), "b");
    }  // never committed
    EXPECT_EQ(listing(dir.path()), std::set<std::string>{"a.xlsx"});
    EXPECT_EQ(test::read_file(dir / "a.xlsx"), "a");
}

TEST_P(AtomicFileKinds, ReplacedFileKeepsTheExtendedAttributesOfTheOriginal) {
    test::TempDir dir;
    test::write_file(dir / "book.xlsx", "old");
    if (::setxattr((dir / "book.xlsx").c_str(), "user.origin", "mail", 4, 0) != 0)
        GTEST_SKIP() << "no user attributes on this file system";
    InputFile in;
    ASSERT_EQ(in.open(dir / "book.xlsx"), 0);
    AtomicFile out(GetParam());
    ASSERT_EQ(out.open(dir / "book.xlsx"), 0);
    write_through(out.temp_path(), "new");
    ASSERT_EQ(out.sync(in.mode(), in.fd()), 0);
    ASSERT_EQ(out.commit(true), 0);
    char value[16] = {};
    ASSERT_EQ(::getxattr((dir / "book.xlsx").c_str(), "user.origin", value, sizeof value), 4);
    EXPECT_EQ(std::string(value), "mail");
    EXPECT_EQ(test::read_file(dir / "book.xlsx"), "new");
}

INSTANTIATE_TEST_SUITE_P(Kinds, AtomicFileKinds, ::testing::Values(TempKind::unnamed_if_possible, TempKind::named),
                         [](const auto& info) { return info.param == TempKind::named ? "named" : "unnamed"; });

// A named temporary file is removed when the process is told to stop, and the process
// still dies of the signal.
class AtomicFileStop : public ::testing::TestWithParam<int> {};

TEST_P(AtomicFileStop, NamedTemporaryFileIsRemovedOnTheSignal) {
    test::TempDir dir;
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        AtomicFile out(TempKind::named);
        if (out.open(dir / "out.xlsx") != 0) ::_exit(3);
        int fd = ::open(out.temp_path().c_str(), O_WRONLY);
        if (fd < 0 || ::write(fd, "plain text", 10) != 10) ::_exit(4);
        ::raise(GetParam());
        ::_exit(5);  // not reached: the signal ends the process
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), GetParam());
    EXPECT_TRUE(listing(dir.path()).empty());
}

INSTANTIATE_TEST_SUITE_P(Signals, AtomicFileStop, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

// Replacing only what is still the file that was read: the exchange and the look at
// what came out leave no gap for another save.
struct ReplaceCase {
    const char* label;
    std::function<void(const fs::path&)> meanwhile;  // done to the target after the read
    AtomicFile::Replaced outcome;
    std::string left;  // the target's content afterwards; empty: no target
};
void PrintTo(const ReplaceCase& c, std::ostream* os) { *os << c.label; }
class AtomicFileReplaceIf : public ::testing::TestWithParam<std::tuple<ReplaceCase, TempKind>> {};

TEST_P(AtomicFileReplaceIf, ReplacesOnlyTheFileThatWasRead) {
    const auto& [c, kind] = GetParam();
    test::TempDir dir;
    const fs::path book = dir / "book.xlsx";
    test::write_file(book, "old");
    InputFile in;
    ASSERT_EQ(in.open(book, InputLock::exclusive), 0);
    AtomicFile out(kind);
    ASSERT_EQ(out.open(book), 0);
    write_through(out.temp_path(), "new");
    ASSERT_EQ(out.sync(0600), 0);
    c.meanwhile(book);
    EXPECT_EQ(out.replace_if(in).outcome, c.outcome);
    out.discard();
    if (c.left.empty()) {
        EXPECT_TRUE(listing(dir.path()).empty());
    } else {
        EXPECT_EQ(listing(dir.path()), std::set<std::string>{"book.xlsx"});
        EXPECT_EQ(test::read_file(book), c.left);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AtomicFileReplaceIf,
    ::testing::Combine(
        ::testing::Values(ReplaceCase{"untouched", [](const fs::path&) {}, AtomicFile::Replaced::done, "new"},
                          ReplaceCase{"saved_over_the_name",
                                      [](const fs::path& p) {
                                          test::write_file(p.parent_path() / "saving", "edit");
                                          fs::rename(p.parent_path() / "saving", p);
                                      },
                                      AtomicFile::Replaced::changed, "edit"},
                          ReplaceCase{"moved_away", [](const fs::path& p) { fs::remove(p); },
                                      AtomicFile::Replaced::changed, ""}),
        ::testing::Values(TempKind::unnamed_if_possible, TempKind::named)),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).label) +
               (std::get<1>(info.param) == TempKind::named ? "_named" : "_unnamed");
    });

// Where a folder takes neither hard links nor the no-replace rename, a taken name is
// still never replaced.
TEST(MoveWithoutReplacing, TakesOnlyAFreeName) {
    test::TempDir dir;
    test::write_file(dir / "temp", "new");
    test::write_file(dir / "taken.xlsx", "the user's");
    fs::create_symlink("nowhere.xlsx", dir / "link.xlsx");
    EXPECT_EQ(move_without_replacing(dir / "temp", dir / "taken.xlsx"), EEXIST);
    EXPECT_EQ(move_without_replacing(dir / "temp", dir / "link.xlsx"), EEXIST);
    EXPECT_EQ(test::read_file(dir / "taken.xlsx"), "the user's");
    EXPECT_FALSE(fs::exists(dir / "nowhere.xlsx"));
    EXPECT_EQ(move_without_replacing(dir / "temp", dir / "free.xlsx"), 0);
    EXPECT_EQ(test::read_file(dir / "free.xlsx"), "new");
    EXPECT_EQ(listing(dir.path()), (std::set<std::string>{"free.xlsx", "link.xlsx", "taken.xlsx"}));
    EXPECT_EQ(move_without_replacing(dir / "gone", dir / "other.xlsx"), ENOENT);
    EXPECT_FALSE(fs::exists(dir / "other.xlsx"));
}

TEST(InputFile, ExclusiveLockKeepsOutEveryOtherLock) {
    test::TempDir dir;
    test::write_file(dir / "book.xlsx", "one");
    {
        InputFile reader, other_reader, writer;
        ASSERT_EQ(reader.open(dir / "book.xlsx"), 0);
        ASSERT_EQ(other_reader.open(dir / "book.xlsx"), 0);
        EXPECT_EQ(writer.open(dir / "book.xlsx", InputLock::exclusive), EWOULDBLOCK);
    }
    InputFile writer, reader, other_writer;
    ASSERT_EQ(writer.open(dir / "book.xlsx", InputLock::exclusive), 0);
    EXPECT_EQ(reader.open(dir / "book.xlsx"), EWOULDBLOCK);
    EXPECT_EQ(other_writer.open(dir / "book.xlsx", InputLock::exclusive), EWOULDBLOCK);
}

TEST(InputFile, RewriteInPlaceWithTheOldTimesIsSeen) {
    test::TempDir dir;
    const fs::path book = dir / "book.xlsx";
    test::write_file(book, "one");
    InputFile in;
    ASSERT_EQ(in.open(book), 0);
    EXPECT_TRUE(in.unchanged());
    struct stat st {};
    ASSERT_EQ(::stat(book.c_str(), &st), 0);
    test::write_file(book, "two");
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, book.c_str(), times, 0), 0);
    EXPECT_FALSE(in.unchanged());
}

// A run killed outright (SIGKILL) leaves its hidden file; the next run in the folder
// removes it, but never the file of a run still at work, nor anything else.
TEST(AtomicFileStale, KilledRunsFileIsRemovedByTheNext) {
    test::TempDir dir;
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        AtomicFile out(TempKind::named);
        if (out.open(dir / "out.xlsx") != 0) ::_exit(3);
        write_through(out.temp_path(), "plain text");
        ::raise(SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status));
    const auto left = listing(dir.path());
    ASSERT_EQ(left.size(), 1u);
    ASSERT_TRUE(left.begin()->starts_with(".hushcel-"));
    test::write_file(dir / ".hushcel-notmine.tmp", "not of our making");
    AtomicFile working(TempKind::named);  // a run at work meanwhile
    ASSERT_EQ(working.open(dir / "other.xlsx"), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));  // past the grace for files being made

    AtomicFile next(TempKind::named);
    ASSERT_EQ(next.open(dir / "out.xlsx"), 0);
    const auto now = listing(dir.path());
    EXPECT_FALSE(now.contains(*left.begin()));
    EXPECT_TRUE(now.contains(working.temp_path().filename().string()));
    EXPECT_TRUE(now.contains(".hushcel-notmine.tmp"));
    EXPECT_EQ(now.size(), 3u);  // the working run's, the next run's, and the foreign one
}

TEST(InputFile, IdentityTellsAChangedFile) {
    test::TempDir dir;
    test::write_file(dir / "book.xlsx", "one");
    InputFile in;
    ASSERT_EQ(in.open(dir / "book.xlsx"), 0);
    EXPECT_TRUE(in.unchanged(dir / "book.xlsx"));
    test::write_file(dir / "book.xlsx", "two");  // same size; the time moves
    struct timespec times[2] = {{0, UTIME_OMIT}, {0, 0}};
    times[1].tv_sec = 1'000'000'000;
    ::utimensat(AT_FDCWD, (dir / "book.xlsx").c_str(), times, 0);
    EXPECT_FALSE(in.unchanged(dir / "book.xlsx"));
    EXPECT_FALSE(in.unchanged(dir / "gone.xlsx"));
}

TEST(InputFile, OpenFailuresGiveTheSystemsCause) {
    test::TempDir dir;
    InputFile in;
    EXPECT_EQ(in.open(dir / "none.xlsx"), ENOENT);
    EXPECT_EQ(in.open(dir.path()), EISDIR);
    EXPECT_EQ(in.open(dir / std::string(300, 'x')), ENAMETOOLONG);
    EXPECT_EQ(in.open("/dev/null"), EINVAL);
}

}  // namespace
}  // namespace hsc
