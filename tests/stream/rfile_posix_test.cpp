// What only POSIX has: permission bits, FIFOs and the always-full device.
#include "stream/rfile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "core/status.h"
#include "support/status_print.h"
#include "support/temp_dir.h"

namespace hsc {
namespace {

using test::TempDir;

TEST(RfileOpen, CreatedFileGetsTheAskedPermissions) {
    TempDir dir;
    auto path = dir / "secret";
    ASSERT_NE(rfile_open(path, RFILE_CREATE, 0600), nullptr);
    auto perms = std::filesystem::status(path).permissions();
    EXPECT_EQ(perms & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

// Reading means a file's content: a FIFO (which would wait for a writer) or a device is
// refused at once.
TEST(RfileOpen, ReadsOnlyRegularFilesAndNeverWaits) {
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    ::alarm(30);  // a wait for a writer ends the test instead of hanging it
    EXPECT_EQ(rfile_open(dir / "fifo", RFILE_READ), nullptr);
    ::alarm(0);
    EXPECT_EQ(rfile_open("/dev/zero", RFILE_READ), nullptr);
}

TEST(RfileWriteLine, FullDeviceReportsShortWrite) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    auto f = rfile_open("/dev/full", RFILE_APPEND);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(rfile_write_line("abc", *f), Status::short_write);
}

}  // namespace
}  // namespace hsc
