#include "stream/rfile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/status.h"
#include "os/file.h"
#include "support/status_print.h"
#include "support/temp_dir.h"

namespace hsc {
namespace {

using test::read_file;
using test::TempDir;
using test::write_file;

std::string read_some(RFILE& f, std::size_t n) {
    std::string out(n, '\0');
    out.resize(rfile_read(out.data(), n, f));
    return out;
}

// The lowest free descriptor (the one the next open gets): it rises when handles leak.
int next_descriptor(const std::filesystem::path& any_file) {
    const int fd = os::open(any_file, os::Access::read);
    os::close(fd);
    return fd;
}

TEST(RfileOpen, MissingFileFailsForReadingAndIsCreatedEmptyOtherwise) {
    TempDir dir;
    EXPECT_EQ(rfile_open(dir / "r", RFILE_READ), nullptr);
    EXPECT_FALSE(std::filesystem::exists(dir / "r"));
    for (int mode : {RFILE_CREATE, RFILE_APPEND, RFILE_UPDATE}) {
        auto path = dir / ("m" + std::to_string(mode));
        auto f = rfile_open(path, mode);
        ASSERT_NE(f, nullptr) << "mode " << mode;
        EXPECT_EQ(f->mode(), mode);
        EXPECT_TRUE(std::filesystem::exists(path)) << "mode " << mode;
        EXPECT_EQ(std::filesystem::file_size(path), 0u);
    }
}

TEST(RfileOpen, RefusesUnknownModesAndFolders) {
    TempDir dir;
    write_file(dir / "f", "x");
    for (int mode : {0, 5, -1}) EXPECT_EQ(rfile_open(dir / "f", mode), nullptr) << mode;
    for (int mode : {RFILE_READ, RFILE_UPDATE}) EXPECT_EQ(rfile_open(dir.path(), mode), nullptr);
    EXPECT_EQ(read_file(dir / "f"), "x");
}

TEST(RfileOpen, EachModeStartsWhereItShould) {
    TempDir dir;
    auto path = dir / "f";
    write_file(path, "0123456789");
    {
        auto f = rfile_open(path, RFILE_UPDATE);  // keeps the bytes, starts at 0
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(read_some(*f, 3), "012");
        EXPECT_EQ(rfile_write("ab", 2, *f), 2u);
    }
    EXPECT_EQ(read_file(path), "012ab56789");
    {
        auto f = rfile_open(path, RFILE_APPEND);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(rfile_write("Z", 1, *f), 1u);
    }
    EXPECT_EQ(read_file(path), "012ab56789Z");
    {
        auto f = rfile_open(path, RFILE_CREATE);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(read_file(path), "");
        EXPECT_EQ(rfile_write("new", 3, *f), 3u);
    }
    EXPECT_EQ(read_file(path), "new");
}

TEST(RfileOpen, AccessFollowsTheMode) {
    TempDir dir;
    auto path = dir / "f";
    write_file(path, "abc");
    char buf[4];
    {
        auto r = rfile_open(path, RFILE_READ);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(rfile_write("x", 1, *r), 0u);
        std::string line;
        EXPECT_EQ(rfile_read_line(line, 16, *r), true);
        EXPECT_EQ(line, "abc");
    }
    auto w = rfile_open(path, RFILE_APPEND);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(rfile_read(buf, 3, *w), 0u);
    std::string line;
    EXPECT_EQ(rfile_read_line(line, 16, *w), false);
}

// A writer never truncates or changes a file that a reader of this program holds.
TEST(RfileOpen, WritersWaitForNoOneButNeverTruncateUnderAReader) {
    TempDir dir;
    auto path = dir / "f";
    write_file(path, "keep me");
    auto reader = rfile_open(path, RFILE_READ);
    ASSERT_NE(reader, nullptr);
    for (int mode : {RFILE_CREATE, RFILE_APPEND, RFILE_UPDATE})
        EXPECT_EQ(rfile_open(path, mode), nullptr) << "mode " << mode;
    EXPECT_EQ(read_file(path), "keep me");
    auto second_reader = rfile_open(path, RFILE_READ);
    EXPECT_NE(second_reader, nullptr);
    rfile_close(std::move(reader));
    second_reader.reset();

    auto w1 = rfile_open(path, RFILE_UPDATE);
    auto w2 = rfile_open(path, RFILE_CREATE);  // writers share
    ASSERT_NE(w1, nullptr);
    ASSERT_NE(w2, nullptr);
    EXPECT_EQ(read_file(path), "");
}

TEST(RfileOpen, ReaderIsRefusedWhileAnotherHoldsTheFileExclusively) {
    TempDir dir;
    auto path = dir / "f";
    write_file(path, "x");
    int fd = os::open(path, os::Access::read);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(os::lock(fd, os::Lock::exclusive), 0);
    EXPECT_EQ(rfile_open(path, RFILE_READ), nullptr);
    os::close(fd);
    EXPECT_NE(rfile_open(path, RFILE_READ), nullptr);
}

TEST(RfileClose, HandlesReleaseTheirDescriptors) {
    TempDir dir;
    write_file(dir / "f", "x");
    const int before = next_descriptor(dir / "f");
    for (int i = 0; i < 50; ++i) {
        auto f = rfile_open(dir / "f", RFILE_READ);
        ASSERT_NE(f, nullptr);
        if (i % 2) {
            rfile_close(std::move(f));
        }  // else: the destructor closes
    }
    EXPECT_EQ(next_descriptor(dir / "f"), before);
}

TEST(RfileSeek, AppendThenSeekFromEndOverwritesTheLastBytes) {
    TempDir dir;
    auto path = dir / "f";
    write_file(path, "abcdef");
    auto f = rfile_open(path, RFILE_APPEND);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(rfile_seek(*f, -2, RFILE_SEEK_END), Status::ok);
    EXPECT_EQ(rfile_write("XY", 2, *f), 2u);
    f.reset();
    EXPECT_EQ(read_file(path), "abcdXY");
}

TEST(RfileSeek, OriginsMoveFromStartEndAndCurrent) {
    TempDir dir;
    write_file(dir / "f", "0123456789");
    auto f = rfile_open(dir / "f", RFILE_READ);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(rfile_seek(*f, 4, RFILE_SEEK_SET), Status::ok);
    EXPECT_EQ(read_some(*f, 2), "45");
    EXPECT_EQ(rfile_seek(*f, -3, RFILE_SEEK_CUR), Status::ok);
    EXPECT_EQ(read_some(*f, 1), "3");
    EXPECT_EQ(rfile_seek(*f, -1, RFILE_SEEK_END), Status::ok);
    EXPECT_EQ(read_some(*f, 5), "9");
    EXPECT_EQ(read_some(*f, 5), "");  // at the end
    EXPECT_EQ(rfile_seek(*f, 20, RFILE_SEEK_SET), Status::ok);  // beyond the end is allowed
    EXPECT_EQ(read_some(*f, 1), "");
}

TEST(RfileSeek, UnknownOriginIsRefusedWithoutMoving) {
    TempDir dir;
    write_file(dir / "f", "0123456789");
    auto f = rfile_open(dir / "f", RFILE_READ);
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(read_some(*f, 2), "01");
    for (int origin : {0, 4, -1}) EXPECT_EQ(rfile_seek(*f, 5, origin), Status::bad_origin) << origin;
    EXPECT_EQ(read_some(*f, 1), "2");
}

TEST(RfileSeek, MoveBeforeTheStartReturnsZeroAndStays) {
    TempDir dir;
    write_file(dir / "f", std::string(100, 'a') + "");
    auto f = rfile_open(dir / "f", RFILE_UPDATE);
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(rfile_seek(*f, 90, RFILE_SEEK_SET), Status::ok);
    EXPECT_EQ(rfile_seek(*f, -512, RFILE_SEEK_END), Status::ok);
    EXPECT_EQ(rfile_seek(*f, -91, RFILE_SEEK_CUR), Status::ok);
    EXPECT_EQ(rfile_seek(*f, -1, RFILE_SEEK_SET), Status::ok);
    EXPECT_EQ(rfile_write("Z", 1, *f), 1u);  // still at 90
    f.reset();
    std::string bytes = read_file(dir / "f");
    EXPECT_EQ(bytes.find('Z'), 90u);
}

// Line reading reads ahead; plain reads and seeks afterwards see the logical position.
TEST(RfileReadLine, ReadAheadIsInvisibleToReadsAndSeeks) {
    TempDir dir;
    write_file(dir / "f", "first\r\nsecond\rthird\n");
    auto f = rfile_open(dir / "f", RFILE_UPDATE);
    ASSERT_NE(f, nullptr);
    std::string line;
    ASSERT_EQ(rfile_read_line(line, 64, *f), true);
    EXPECT_EQ(read_some(*f, 3), "sec");
    ASSERT_EQ(rfile_read_line(line, 64, *f), true);
    EXPECT_EQ(line, "ond");
    EXPECT_EQ(rfile_seek(*f, -1, RFILE_SEEK_CUR), Status::ok);  // back onto the CR
    EXPECT_EQ(read_some(*f, 1), "\r");
    ASSERT_EQ(rfile_read_line(line, 64, *f), true);
    EXPECT_EQ(line, "third");
    EXPECT_EQ(rfile_write("!", 1, *f), 1u);
    f.reset();
    EXPECT_EQ(read_file(dir / "f"), "first\r\nsecond\rthird\n!");
}

struct LineCase {
    const char* name;
    std::string bytes;
    std::size_t size;
    std::vector<std::string> lines;
};

std::ostream& operator<<(std::ostream& os, const LineCase& c) { return os << c.name; }

class RfileReadLineCases : public ::testing::TestWithParam<LineCase> {};

TEST_P(RfileReadLineCases, ReadsTheExpectedLines) {
    const auto& c = GetParam();
    TempDir dir;
    write_file(dir / "f", c.bytes);
    auto f = rfile_open(dir / "f", RFILE_READ);
    ASSERT_NE(f, nullptr);
    std::vector<std::string> got;
    std::string line;
    while (rfile_read_line(line, c.size, *f)) {
        EXPECT_LE(line.size(), c.size - 1);
        got.push_back(line);
        ASSERT_LT(got.size(), 1000u) << "no progress";
    }
    EXPECT_EQ(got, c.lines);
    EXPECT_EQ(rfile_read_line(line, c.size, *f), false);
    EXPECT_EQ(line, "");
}

const std::string kQuoted = std::string("A=\"x\r\ny\"\r\n");

INSTANTIATE_TEST_SUITE_P(
    Rfile, RfileReadLineCases,
    ::testing::Values(
        LineCase{"CrLf", "one\r\ntwo\r\n", 64, {"one", "two"}},
        LineCase{"Lf", "one\ntwo\n", 64, {"one", "two"}},
        LineCase{"LoneCr", "one\rtwo\r", 64, {"one", "two"}},
        LineCase{"Mixed", "a\r\rb\n\r\nc", 64, {"a", "", "b", "", "c"}},
        LineCase{"LastLineWithoutEnd", "one\ntwo", 64, {"one", "two"}},
        LineCase{"CrIsLastByte", "one\r", 64, {"one"}},
        LineCase{"EmptyFile", "", 64, {}},
        LineCase{"OnlyLineEnds", "\r\n\n", 64, {"", ""}},
        LineCase{"QuotedStretchKeepsLineEnds", kQuoted, 64, {"A=\"x\r\ny\""}},
        LineCase{"TwoQuotedStretches", "\"a\nb\" \"c\rd\"\nz", 64, {"\"a\nb\" \"c\rd\"", "z"}},
        LineCase{"UnterminatedQuoteEndsAtEof", "k=\"open\nstill", 64, {"k=\"open\nstill"}},
        LineCase{"TenBytesInEight", "0123456789\n", 8, {"0123456", "789"}},
        LineCase{"SevenBytesInEight", "0123456\nx", 8, {"0123456", "", "x"}},
        LineCase{"CutInsideQuotes", "\"abcdefgh\"\n", 5, {"\"abc", "defg", "h\"\n"}},
        LineCase{"ZeroBytesKept", std::string("a\0b\n", 4), 64, {std::string("a\0b", 3)}},
        LineCase{"SizeOneReadsNothing", "abc\n", 1, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// The 8-byte case of the quoted line: exactly A = " x CR LF y ".
TEST(RfileReadLine, QuotedLineHoldsEightBytes) {
    TempDir dir;
    write_file(dir / "f", kQuoted);
    auto f = rfile_open(dir / "f", RFILE_READ);
    ASSERT_NE(f, nullptr);
    std::string line;
    ASSERT_EQ(rfile_read_line(line, 64, *f), true);
    EXPECT_EQ(line.size(), 8u);
}

struct WriteCase {
    const char* name;
    std::string text;
    std::string written;
};

std::ostream& operator<<(std::ostream& os, const WriteCase& c) { return os << c.name; }

class RfileWriteLineCases : public ::testing::TestWithParam<WriteCase> {};

TEST_P(RfileWriteLineCases, WritesTheLineEndOnlyWhenMissing) {
    const auto& c = GetParam();
    TempDir dir;
    {
        auto f = rfile_open(dir / "f", RFILE_CREATE);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(rfile_write_line(c.text, *f), Status::ok);
    }
    EXPECT_EQ(read_file(dir / "f"), c.written);
}

INSTANTIATE_TEST_SUITE_P(
    Rfile, RfileWriteLineCases,
    ::testing::Values(WriteCase{"Plain", "abc", "abc\r\n"},
                      WriteCase{"AlreadyCrLf", "abc\r\n", "abc\r\n"},
                      WriteCase{"AlreadyLf", "abc\n", "abc\n"},
                      WriteCase{"Empty", "", "\r\n"},
                      WriteCase{"SingleLf", "\n", "\n\r\n"},
                      // A CR before the last byte does not end the line: the line end
                      // is still written, so the next line stays separate.
                      WriteCase{"InnerCr", "x\ry", "x\ry\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RfileWriteLine, ReadOnlyHandleReportsShortWrite) {
    TempDir dir;
    write_file(dir / "f", "");
    auto f = rfile_open(dir / "f", RFILE_READ);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(rfile_write_line("abc", *f), Status::short_write);
}

}  // namespace
}  // namespace hsc
