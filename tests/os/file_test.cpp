// The platform layer's file calls as both systems must answer them.
#include "os/file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "os/atomic_file.h"
#include "support/temp_dir.h"

namespace hsc {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::TempDir;
using test::write_file;

TEST(OsPath, Utf8NamesSurviveTheRoundTripAndReachTheDisk) {
    TempDir dir;
    for (const std::string name : {"●顧客 一覧.xlsx", "〇データ.xlsm", "plain.xlsx", "Ünïcödé ÷ 名前"}) {
        SCOPED_TRACE(name);
        const fs::path path = dir.path() / os::u8_path(name);
        EXPECT_EQ(os::path_u8(path.filename()), name);
        write_file(path, "x");
        bool listed = false;
        for (const auto& e : fs::directory_iterator(dir.path())) listed = listed || os::path_u8(e.path().filename()) == name;
        EXPECT_TRUE(listed) << "the folder shows the name as written";
        const int fd = os::open(path, os::Access::read);
        ASSERT_GE(fd, 0);
        os::close(fd);
    }
}

TEST(OsFile, ReadAtLeavesTheDescriptorsPositionAlone) {
    TempDir dir;
    write_file(dir / "f", "0123456789");
    const int fd = os::open(dir / "f", os::Access::read);
    ASSERT_GE(fd, 0);
    char buf[4] = {};
    ASSERT_EQ(os::read(fd, buf, 2), 2);
    ASSERT_EQ(os::read_at(fd, buf, 4, 6), 4);
    EXPECT_EQ(std::string(buf, 4), "6789");
    EXPECT_EQ(os::read_at(fd, buf, 4, 8), 2) << "short at the end";
    EXPECT_EQ(os::seek(fd, 0, os::Whence::current), 2);
    ASSERT_EQ(os::read(fd, buf, 2), 2);
    EXPECT_EQ(std::string(buf, 2), "23");
    os::close(fd);
}

TEST(OsFile, BinaryBytesAndTruncation) {
    TempDir dir;
    const std::string bytes("a\r\nb\n\x1a\0c", 8);  // no text-mode translation anywhere
    const int fd = os::open(dir / "f", os::Access::create_truncate);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(os::write(fd, bytes.data(), bytes.size()), 8);
    os::FileStatus st;
    ASSERT_EQ(os::status(fd, st), 0);
    EXPECT_TRUE(st.regular);
    EXPECT_EQ(st.size, 8);
    ASSERT_EQ(os::truncate(fd, 3), 0);
    os::close(fd);
    EXPECT_EQ(read_file(dir / "f"), "a\r\n");
    EXPECT_EQ(os::open(dir / "f", os::Access::create_exclusive), -1);
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(os::open(dir / "missing", os::Access::read), -1);
    EXPECT_EQ(errno, ENOENT);
}

TEST(OsFile, SharedLocksShareAndAnExclusiveOneExcludes) {
    TempDir dir;
    write_file(dir / "f", "x");
    const int a = os::open(dir / "f", os::Access::read), b = os::open(dir / "f", os::Access::read);
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    EXPECT_EQ(os::lock(a, os::Lock::shared), 0);
    EXPECT_EQ(os::lock(b, os::Lock::shared), 0);
    EXPECT_EQ(os::lock(b, os::Lock::release), 0);
    EXPECT_EQ(os::lock(b, os::Lock::exclusive), EWOULDBLOCK);
    EXPECT_EQ(os::lock(a, os::Lock::release), 0);
    EXPECT_EQ(os::lock(b, os::Lock::exclusive), 0);
    EXPECT_EQ(os::lock(a, os::Lock::shared), EWOULDBLOCK);
    // The lock stops other lockers, not readers of the content.
    char c = 0;
    EXPECT_EQ(os::read_at(a, &c, 1, 0), 1);
    os::close(a);
    os::close(b);
}

TEST(OsAtomicFile, CommitsWithoutReplacingUnlessAskedAndLeavesNoTemporaryFile) {
    TempDir dir;
    const fs::path target = dir / "●結果.xlsx";
    {
        AtomicFile out;
        ASSERT_EQ(out.open(target), 0);
        ASSERT_EQ(os::write(out.fd(), "new", 3), 3);
        ASSERT_EQ(out.sync(os::DEFAULT_FILE_MODE), 0);
        ASSERT_EQ(out.commit(false), 0);
    }
    EXPECT_EQ(read_file(target), "new");
    {
        AtomicFile out;
        ASSERT_EQ(out.open(target), 0);
        ASSERT_EQ(os::write(out.fd(), "newer", 5), 5);
        EXPECT_EQ(out.commit(false), EEXIST) << "an existing file is kept";
        EXPECT_EQ(read_file(target), "new");
        ASSERT_EQ(out.commit(true), 0);
    }
    EXPECT_EQ(read_file(target), "newer");
    {
        AtomicFile out;
        ASSERT_EQ(out.open(target), 0);
        ASSERT_EQ(os::write(out.fd(), "dropped", 7), 7);
    }  // not committed: removed
    EXPECT_EQ(read_file(target), "newer");
    int entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 1);
}

TEST(OsAtomicFile, ReplacesTheInputOnlyWhileItIsTheFileThatWasRead) {
    TempDir dir;
    const fs::path book = dir / "台帳.xlsx";
    write_file(book, "original");
    InputFile in;
    ASSERT_EQ(in.open(book, InputLock::exclusive), 0);
    EXPECT_TRUE(in.unchanged(book));
    {
        AtomicFile out;
        ASSERT_EQ(out.open(book), 0);
        ASSERT_EQ(os::write(out.fd(), "masked", 6), 6);
        const auto r = out.replace_if(in);
        EXPECT_EQ(r.outcome, AtomicFile::Replaced::done) << r.error;
    }
    EXPECT_EQ(read_file(book), "masked") << "replaced while held open by the run";
    EXPECT_FALSE(in.unchanged(book)) << "the name now holds another file";

#ifndef _WIN32  // Windows lets no other program save over a file held open
    write_file(dir / "other.xlsx", "someone else's save");
    InputFile again;
    ASSERT_EQ(again.open(book), 0);
    fs::rename(dir / "other.xlsx", book);
    AtomicFile out;
    ASSERT_EQ(out.open(book), 0);
    EXPECT_EQ(out.replace_if(again).outcome, AtomicFile::Replaced::changed);
    EXPECT_EQ(read_file(book), "someone else's save");
#endif
}

}  // namespace
}  // namespace hsc
