#include "package/open_package.h"

#include <gtest/gtest.h>

#include <string>

#include "core/status.h"
#include "os/file.h"
#include "package/file_type.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

namespace hsc {
namespace {

namespace fs = std::filesystem;

// The descriptor a run holds open, closed with the test.
struct OpenFile {
    int fd;
    explicit OpenFile(const fs::path& path) : fd(os::open(path, os::Access::read)) {}
    ~OpenFile() {
        if (fd >= 0) os::close(fd);
    }
};

std::string text_of(MfileRegistry& reg, std::string_view name, Status& rc) {
    std::string text;
    rc = read_whole_file(reg, 0, name, text);
    return text;
}

// Every step asks the open file, never the path: the package reads the same after its
// name is gone, and the descriptor's own position does not move.
TEST(OpenPackage, ReadsTypeFooterDirectoryAndEntriesFromTheOpenFileAlone) {
    test::TempDir dir;
    const fs::path book = dir / "book.xlsx";
    test::ZipBuildOptions options;
    options.comment = "COMMENT AT THE END";
    const std::string sheet(100000, 'x');
    test::write_zip(book, {{"xl/", ""}, {"xl/workbook.xml", "<workbook/>"}, {"xl/worksheets/sheet1.xml", sheet}},
                    options);
    OpenFile file(book);
    ASSERT_GE(file.fd, 0);
    fs::remove(book);

    MfileRegistry reg;
    OpenPackage package;
    ASSERT_EQ(package.open(file.fd, book, reg), RC_OK);
    EXPECT_EQ(package.file_type(), TYPE_XLSX);
    std::string tail;
    ASSERT_EQ(package.last_bytes(6, tail), RC_OK);
    EXPECT_EQ(tail, "HE END");
    ASSERT_EQ(package.directory_status(), RC_OK);
    EXPECT_EQ(package.entry_names(), (std::vector<std::string>{"xl/", "xl/workbook.xml", "xl/worksheets/sheet1.xml"}));
    EXPECT_EQ(package.entry_sizes(), (std::vector<std::uint64_t>{0, 11, sheet.size()}));

    std::vector<std::string> names;
    ASSERT_EQ(package.extract(reg, names), RC_OK);
    EXPECT_EQ(names, (std::vector<std::string>{"xl/workbook.xml", "xl/worksheets/sheet1.xml"}));
    Status rc = Status::ok;
    EXPECT_EQ(text_of(reg, "xl/worksheets/sheet1.xml", rc), sheet);
    EXPECT_EQ(rc, Status::ok);
    EXPECT_EQ(os::seek(file.fd, 0, os::Whence::current), 0);
}

// A file shorter than what is asked of its end has no such bytes; a zip-looking file
// whose directory cannot be read keeps the reader's refusal for the step that unpacks.
TEST(OpenPackage, ShortFilesAndUnreadableDirectoriesAreToldApart) {
    test::TempDir dir;
    const fs::path book = dir / "broken.xlsx";
    {
        std::string bytes = "PK\x03\x04";
        bytes += std::string(60, 'z');
        std::FILE* f = os::open_stream(book, "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    OpenFile file(book);
    MfileRegistry reg;
    OpenPackage package;
    ASSERT_EQ(package.open(file.fd, book, reg), RC_OK);
    EXPECT_EQ(package.file_type(), TYPE_XLSX);
    std::string tail;
    EXPECT_EQ(package.last_bytes(512, tail), RC_SHORT_WRITE);
    EXPECT_NE(package.directory_status(), RC_OK);
    EXPECT_FALSE(reg.refusal.empty());
    std::vector<std::string> names;
    EXPECT_EQ(package.extract(reg, names), package.directory_status());
    EXPECT_TRUE(names.empty());
}

// The entry list (for inspect and the lost-footer check) takes the reader's checks: a
// name far longer than any buffer is refused, with nothing listed.
TEST(OpenPackage, TheEntryListTakesTheReadersChecks) {
    test::TempDir dir;
    const fs::path book = dir / "long.xlsx";
    test::write_zip(book, {{"a.xml", "a"}, {std::string(1100, 'n'), "b"}});
    OpenFile file(book);
    MfileRegistry reg;
    OpenPackage package;
    ASSERT_EQ(package.open(file.fd, book, reg), RC_OK);
    EXPECT_EQ(package.directory_status(), RC_SIZE_LIMIT);
    EXPECT_TRUE(package.entry_names().empty());
    EXPECT_EQ(reg.refusal.kind, RefusalKind::entry_name_too_long);
    EXPECT_EQ(reg.refusal.size, 1100u);
}

// Entries nobody reads are checked all the same (size and checksum) but kept only as
// stored, so that they cost no inflated copy; reading one fails instead of giving nothing.
TEST(OpenPackage, UnreadEntriesKeepOnlyTheirDeflatedBytesAndAreStillChecked) {
    test::TempDir dir;
    const fs::path book = dir / "book.xlsx";
    const std::string sheet = [] {
        std::string s;
        for (int i = 0; i < 20000; ++i) s += "<c r=\"A" + std::to_string(i) + "\"><v>" + std::to_string(i * 7) + "</v></c>";
        return s;
    }();
    test::write_zip(book, {{"xl/workbook.xml", "<workbook/>"}, {"xl/worksheets/sheet1.xml", sheet}});
    const auto stored = test::read_zip_info(book);

    OpenFile file(book);
    MfileRegistry reg;
    OpenPackage package;
    ASSERT_EQ(package.open(file.fd, book, reg), RC_OK);
    std::vector<std::string> names;
    ASSERT_EQ(package.extract(reg, names, nullptr, [](std::string_view n) { return n == "xl/workbook.xml"; }), RC_OK);
    Status rc = Status::ok;
    EXPECT_EQ(text_of(reg, "xl/workbook.xml", rc), "<workbook/>");
    EXPECT_EQ(rc, Status::ok);
    text_of(reg, "xl/worksheets/sheet1.xml", rc);
    EXPECT_NE(rc, Status::ok);
    EXPECT_EQ(msize(reg, "xl/worksheets/sheet1.xml"), static_cast<std::int64_t>(sheet.size()));
    Mfile* f = mopen(reg, "xl/worksheets/sheet1.xml", "rb");
    ASSERT_NE(f, nullptr);
    const auto deflated = mdeflated(f);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(deflated.data()), deflated.size()), stored.entries[1].compressed);
    mclose(f);

    // One byte changed inside the unread entry's deflated data: refused, not copied.
    std::string bytes;
    {
        std::FILE* in = os::open_stream(book, "rb");
        bytes.resize(fs::file_size(book));
        ASSERT_EQ(std::fread(bytes.data(), 1, bytes.size(), in), bytes.size());
        std::fclose(in);
    }
    const std::size_t at = bytes.find(stored.entries[1].compressed);
    ASSERT_NE(at, std::string::npos);
    bytes[at + stored.entries[1].compressed.size() / 2] ^= 0x55;
    const fs::path damaged = dir / "damaged.xlsx";
    {
        std::FILE* out = os::open_stream(damaged, "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), out);
        std::fclose(out);
    }
    OpenFile damaged_file(damaged);
    MfileRegistry again;
    OpenPackage damaged_package;
    ASSERT_EQ(damaged_package.open(damaged_file.fd, damaged, again), RC_OK);
    ASSERT_EQ(damaged_package.directory_status(), RC_OK);
    EXPECT_NE(damaged_package.extract(again, names, nullptr, [](std::string_view n) { return n == "xl/workbook.xml"; }),
              RC_OK);
    EXPECT_FALSE(again.refusal.empty());
}

// Bytes after an entry's deflated data keep it from being copied as stored: it is kept
// inflated, readable, whatever the filter says.
TEST(OpenPackage, AnUnreadEntryThatCannotBeCopiedAsStoredIsKeptInflated) {
    test::TempDir dir;
    const fs::path book = dir / "book.xlsx";
    test::ZipBuildOptions options;
    options.trailing = "JUNK";
    test::write_zip(book, {{"xl/worksheets/sheet1.xml", "<worksheet/>"}}, options);
    OpenFile file(book);
    MfileRegistry reg;
    OpenPackage package;
    ASSERT_EQ(package.open(file.fd, book, reg), RC_OK);
    std::vector<std::string> names;
    ASSERT_EQ(package.extract(reg, names, nullptr, [](std::string_view) { return false; }), RC_OK);
    Status rc = Status::ok;
    EXPECT_EQ(text_of(reg, "xl/worksheets/sheet1.xml", rc), "<worksheet/>");
    EXPECT_EQ(rc, Status::ok);
}

}  // namespace
}  // namespace hsc
