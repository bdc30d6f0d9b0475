#include "package/archive_io.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "core/status.h"
#include "package/zip_package.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

namespace hsc {
namespace {

namespace fs = std::filesystem;

struct OpenFile {
    int fd;
    OpenFile(const fs::path& path, int flags) : fd(::open(path.c_str(), flags | O_CLOEXEC, 0600)) {}
    ~OpenFile() {
        if (fd >= 0) ::close(fd);
    }
};

// Bytes that differ at every offset (a repeated pattern would hide a read from the wrong place).
std::string numbered_bytes(std::size_t n) {
    std::string s(n, '\0');
    std::uint32_t x = 12345;
    for (char& c : s) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    return s;
}

struct ReadCase {
    const char* label;
    std::uint64_t at;
    std::size_t n;
};

// Reads before and after the tail is kept, across the window's edge and into the tail,
// larger than the window, at and past the end: each gives exactly the file's bytes there.
TEST(ArchiveReader, EveryReadGivesTheFilesBytesAtThatPlace) {
    constexpr std::size_t SIZE = 3 * ArchiveReader::WINDOW + ArchiveReader::TAIL + 777;
    test::TempDir dir;
    const std::string bytes = numbered_bytes(SIZE);
    test::write_file(dir / "f", bytes);
    OpenFile f(dir / "f", O_RDONLY);
    ASSERT_GE(f.fd, 0);
    ArchiveReader from_file(f.fd, SIZE);
    ArchiveReader from_memory(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    const std::uint64_t tail_at = SIZE - ArchiveReader::TAIL;
    const std::vector<ReadCase> cases = {
        {"first bytes", 0, 30},
        {"one byte inside the window", 17, 1},
        {"across the window's edge", ArchiveReader::WINDOW - 5, 10},
        {"larger than the window", 100, 2 * ArchiveReader::WINDOW + 3},
        {"into the tail", tail_at - 100, 300},
        {"inside the tail", tail_at + 1000, 1028},
        {"backwards near the end", SIZE - 1028, 1028},
        {"up to the end", SIZE - 10, 10},
        {"past the end", SIZE - 4, 16},
        {"at the end", SIZE, 8},
        {"early again", 3, 5},
    };
    for (bool kept : {false, true}) {
        if (kept) {
            ASSERT_TRUE(from_file.keep_tail());
            ASSERT_TRUE(from_memory.keep_tail());
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(from_file.tail().data()), from_file.tail().size()),
                      bytes.substr(tail_at));
        }
        for (const ReadCase& c : cases) {
            const std::string want = c.at < SIZE ? bytes.substr(c.at, c.n) : std::string();
            for (ArchiveReader* r : {&from_file, &from_memory}) {
                std::string got(c.n, '\0');
                got.resize(r->read_at(c.at, got.data(), c.n));
                EXPECT_EQ(got, want) << c.label << (kept ? " (tail kept)" : "") << (r == &from_file ? " file" : " memory");
            }
        }
    }
    EXPECT_EQ(from_file.error(), 0);
}

// A file that ends before the size it was opened with: the read comes up short and
// says why, instead of handing out bytes that are not there.
TEST(ArchiveReader, AFileShorterThanItsSizeIsAFailedRead) {
    test::TempDir dir;
    test::write_file(dir / "f", numbered_bytes(100));
    OpenFile f(dir / "f", O_RDONLY);
    ArchiveReader r(f.fd, 200);
    std::string got(150, '\0');
    EXPECT_LT(r.read_at(0, got.data(), got.size()), 150u);
    EXPECT_EQ(r.error(), EIO);
}

// The reason for the reader: minizip walks the directory a byte at a time, and reads
// each local header in pieces. A package of 4,000 small entries is checked and
// extracted with a handful of system reads (one per byte once took 1.36 million).
TEST(ArchiveReader, ManySmallEntriesTakeAHandfulOfSystemReads) {
    test::TempDir dir;
    std::vector<test::ZipEntry> entries;
    for (int i = 0; i < 4000; ++i)
        entries.push_back({"xl/drawings/drawing" + std::to_string(i) + ".xml", "<d n=\"" + std::to_string(i) + "\"/>"});
    test::write_zip(dir / "many.xlsx", entries);
    OpenFile f(dir / "many.xlsx", O_RDONLY);
    ArchiveReader reader(f.fd, fs::file_size(dir / "many.xlsx"));
    MfileRegistry reg;
    CheckedArchive archive;
    ASSERT_EQ(archive.open(reg, reader), RC_OK);
    EXPECT_EQ(archive.names().size(), 4000u);
    std::vector<std::string> names;
    ASSERT_EQ(archive.extract(reg, names), RC_OK);
    ASSERT_EQ(names.size(), 4000u);
    std::string text;
    ASSERT_EQ(read_whole_file(reg, 0, "xl/drawings/drawing3999.xml", text), Status::ok);
    EXPECT_EQ(text, "<d n=\"3999\"/>");
    const std::uint64_t file_size = fs::file_size(dir / "many.xlsx");
    EXPECT_LE(reader.system_reads(), 4 + 2 * (file_size / ArchiveReader::WINDOW + 1)) << file_size << " bytes";
}

// Small writes gather in the buffer, a write back into bytes not yet handed over changes
// them there, a write back into bytes already written goes to the file, and a write
// larger than the buffer goes straight through: the file ends up as the writes say.
TEST(ArchiveWriter, TheFileHoldsWhatWasWrittenWhereverItWasWritten) {
    test::TempDir dir;
    OpenFile f(dir / "out", O_RDWR | O_CREAT | O_TRUNC);
    ASSERT_GE(f.fd, 0);
    ArchiveWriter w(f.fd);
    std::string model;
    const auto write = [&](std::uint64_t at, const std::string& bytes) {
        w.seek(at);
        ASSERT_EQ(w.write(bytes.data(), bytes.size()), bytes.size());
        if (model.size() < at + bytes.size()) model.resize(at + bytes.size(), '\0');
        model.replace(at, bytes.size(), bytes);
    };
    write(0, "PK\3\4 header with sizes to fill in");
    write(34, numbered_bytes(5000));
    write(14, "SIZE");  // filled in while still buffered
    write(model.size(), numbered_bytes(ArchiveWriter::BUFFER + 10));  // straight through
    write(20, "LATE");  // into bytes already in the file
    write(model.size(), "PK\5\6 end");
    EXPECT_EQ(w.end(), model.size());
    ASSERT_TRUE(w.flush());
    EXPECT_EQ(test::read_file(dir / "out"), model);
    EXPECT_LE(w.system_writes(), 6u);
}

// A failed write is reported once the bytes reach the system, with the system's cause,
// and nothing more is taken after it.
TEST(ArchiveWriter, AFailedWriteIsReportedWithItsCause) {
    test::TempDir dir;
    test::write_file(dir / "ro", "");
    OpenFile f(dir / "ro", O_RDONLY);
    ArchiveWriter w(f.fd);
    EXPECT_EQ(w.write("abc", 3), 3u);  // buffered
    EXPECT_FALSE(w.flush());
    EXPECT_EQ(w.error(), EBADF);
    EXPECT_EQ(w.write("abc", 3), 0u);
}

// A composed archive ends with its comment, written through the same handle: any bytes
// (zeros too), its length in the end record, and the entries read back as they went in.
TEST(ArchiveWriter, CompositionEndsWithTheCommentGiven) {
    test::TempDir dir;
    MfileRegistry reg;
    ASSERT_EQ(write_whole_file(reg, "a.xml", "<a/>"), Status::ok);
    ASSERT_EQ(write_whole_file(reg, "b.bin", numbered_bytes(3 * ArchiveWriter::BUFFER)), Status::ok);
    std::string comment = "FOOTER VERSION=1";
    comment.resize(512, '\0');
    OpenFile f(dir / "out.xlsx", O_RDWR | O_CREAT | O_TRUNC);
    ZipArchiveLocation into;
    into.into = f.fd;
    into.comment = comment;
    ASSERT_EQ(zip_package(reg, ZIP_MODE_MEMORY, "unused", {}, {"a.xml", "b.bin"}, into), RC_OK);
    const auto info = test::read_zip_info(dir / "out.xlsx");
    EXPECT_EQ(info.comment, comment);
    EXPECT_TRUE(info.comment_ends_file);
    ASSERT_EQ(info.entries.size(), 2u);
    EXPECT_EQ(info.entries[0].data, "<a/>");
    EXPECT_EQ(info.entries[1].data, numbered_bytes(3 * ArchiveWriter::BUFFER));
}

}  // namespace
}  // namespace hsc
