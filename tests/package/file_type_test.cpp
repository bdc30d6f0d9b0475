#include "package/file_type.h"

#include <gtest/gtest.h>

#include <set>

#include "core/status.h"
#include "support/temp_dir.h"

namespace hsc {
namespace {

std::string padded(std::string_view head, std::size_t size = 64) {
    std::string s(head);
    s.resize(std::max(size, s.size()), 'x');
    return s;
}

std::string utf16(std::string_view ascii) {
    std::string out;
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

// A compound file: header sector, one directory sector (root entry plus `entry`), one
// data sector. The directory sector is found by its root entry, not by the header.
std::string compound_file(std::string_view entry, std::uint32_t first_sector = 1) {
    std::string file(SIG_CFB);
    file.resize(512, '\0');
    std::string dir(512, '\0');
    auto put_entry = [&](std::size_t at, std::string_view name, std::uint32_t sector, std::uint32_t size) {
        std::string n = utf16(name);
        dir.replace(at, n.size(), n);
        for (int i = 0; i < 4; ++i) {
            dir[at + 116 + i] = static_cast<char>(sector >> (8 * i));
            dir[at + 120 + i] = static_cast<char>(size >> (8 * i));
        }
    };
    put_entry(0, "Root Entry", 0xFFFFFFFE, 0);
    put_entry(128, "EncryptionInfo", 0, 200);
    put_entry(256, entry, first_sector, 4096);
    std::fill(dir.begin() + 384, dir.begin() + 388, '\xFF');
    file += dir;
    file += std::string(512, 'd');
    return file;
}

void put_u32(std::string& s, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>(v >> (8 * i));
}

// A compound file whose directory runs over sectors 0 and 2 with the allocation table
// between them: the entry is only found by following the directory's sector chain.
std::string compound_file_split_directory(std::string_view entry) {
    std::string header(SIG_CFB);
    header.resize(512, '\0');
    header[30] = 9;                 // 512-byte sectors
    put_u32(header, 44, 1);         // one FAT sector
    put_u32(header, 48, 0);         // directory starts in sector 0
    put_u32(header, 68, 0xFFFFFFFE);  // no further DIFAT sectors
    for (int i = 0; i < 109; ++i) put_u32(header, 76 + 4 * i, 0xFFFFFFFF);
    put_u32(header, 76, 1);         // the FAT is sector 1
    auto dir_entry = [](std::string_view name) {
        std::string e(128, '\0');
        std::string n = utf16(name);
        e.replace(0, n.size(), n);
        e[64] = static_cast<char>(n.size() + 2);
        e[66] = 2;
        return e;
    };
    std::string dir0 = dir_entry("Root Entry") + dir_entry("EncryptionInfo") + dir_entry("DataSpaces") +
                       dir_entry("Version");
    std::string fat(512, '\xFF');
    put_u32(fat, 0, 2);           // directory: sector 0, then sector 2
    put_u32(fat, 4, 0xFFFFFFFD);  // sector 1 holds the FAT
    put_u32(fat, 8, 0xFFFFFFFE);
    std::string dir2 = dir_entry(entry) + std::string(384, '\xFF');
    return header + dir0 + fat + dir2;
}

struct TypeCase {
    std::string label;
    std::string name;
    std::string content;
    int status;
    int code;
};

void PrintTo(const TypeCase& c, std::ostream* os) { *os << c.label; }

class FileTypeByFile : public ::testing::TestWithParam<TypeCase> {};

TEST_P(FileTypeByFile, ClassifiesSignatureAndExtension) {
    const TypeCase& c = GetParam();
    test::TempDir dir;
    test::write_file(dir / c.name, c.content);
    int code = 12345;
    EXPECT_EQ(tiv_file_type(dir / c.name, code), c.status);
    EXPECT_EQ(code, c.code);
}

const std::string ZIP = padded(SIG_ZIP);
const std::string CFB_LOCKED = compound_file("EncryptedPackage");
const std::string CFB_PLAIN = compound_file("Workbook");

INSTANTIATE_TEST_SUITE_P(
    Table, FileTypeByFile,
    ::testing::Values(
        TypeCase{"xlsx", "book.xlsx", ZIP, 0, 12}, TypeCase{"XLSX_upper", "BOOK.XLSX", ZIP, 0, 12},
        TypeCase{"zip", "book.zip", ZIP, 0, 301}, TypeCase{"docx", "book.docx", ZIP, 0, 22},
        TypeCase{"xlsm", "book.xlsm", ZIP, 0, 14}, TypeCase{"xlsb", "book.xlsb", ZIP, 0, 13},
        TypeCase{"no_dot_needed", "reportxlsx", ZIP, 0, 12},
        TypeCase{"japanese_name", "顧客名簿.xlsx", ZIP, 0, 12},
        TypeCase{"locked_xlsx", "secret.xlsx", CFB_LOCKED, 0, 19},
        TypeCase{"compound_xlsx_without_package", "old.xlsx", CFB_PLAIN, -1, -1},
        TypeCase{"locked_xlsx_directory_in_two_runs", "secret.xlsx",
                 compound_file_split_directory("EncryptedPackage"), 0, 19},
        TypeCase{"split_directory_without_package", "old.xlsx", compound_file_split_directory("Workbook"), -1, -1},
        TypeCase{"locked_docx", "secret.docx", CFB_LOCKED, 0, 29},
        TypeCase{"locked_pptx", "secret.pptx", CFB_LOCKED, 0, 39},
        TypeCase{"compound_xlsm_has_no_row", "secret.xlsm", CFB_LOCKED, 0, -1},
        TypeCase{"legacy_xls", "old.xls", CFB_PLAIN, 0, 11},
        TypeCase{"text_named_xlsx", "notes.xlsx", padded("just some text, not a zip"), 0, -1},
        TypeCase{"csv_any_content", "data.csv", padded("\x89PNG"), 0, 0},
        TypeCase{"png_named_jpg", "pic.jpg", padded("\x89PNG\r\n\x1A\n"), 0, -1},
        TypeCase{"jpeg_second_row", "pic.JPEG", padded("\xFF\xD8\xFF"), 0, 202},
        TypeCase{"tif", "scan.tif", padded(std::string("II*\0", 4)), 0, 205},
        TypeCase{"emf", "figure.emf", padded(std::string("\x01\0\0\0", 4)), 0, 206},
        TypeCase{"fifteen_bytes", "book.xlsx", ZIP.substr(0, 15), 0, -1},
        TypeCase{"fifteen_bytes_csv", "data.csv", "a,b,c\n1,2,3\n4,5", 0, -1},
        TypeCase{"sixteen_bytes", "book.xlsx", ZIP.substr(0, 16), 0, 12},
        TypeCase{"empty", "book.xlsx", "", 0, -1},
        TypeCase{"name_shorter_than_extension", "x", padded(SIG_ZIP), 0, -1}),
    [](const auto& info) { return info.param.label; });

TEST(FileType, MissingFileCannotBeOpened) {
    test::TempDir dir;
    int code = 0;
    EXPECT_EQ(tiv_file_type(dir / "missing.xlsx", code), RC_OPEN);
    EXPECT_EQ(code, -1);
}

TEST(FileType, FolderIsNotAFile) {
    test::TempDir dir;
    int code = 0;
    EXPECT_EQ(tiv_file_type(dir.path(), code), RC_OPEN);
}

TEST(FileType, UnreachableFirstSectorOfLockedStreamIsNotFoundInMemory) {
    // The entry is there, but its first sector lies beyond the end of the stream.
    MfileRegistry reg;
    Mfile* f = mopen(reg, "far.xlsx", "wb");
    ASSERT_TRUE(mwrite_all(f, compound_file("EncryptedPackage", 100)));
    mclose(f);
    int code = 0;
    EXPECT_EQ(tiv_file_type(reg, FILE_TYPE_STREAM, "far.xlsx", code), RC_FAIL);
    EXPECT_EQ(code, -1);
}

TEST(FileType, BufferModeComparesSignaturesOnly) {
    MfileRegistry reg;
    int code = 0;
    EXPECT_EQ(tiv_file_type(reg, FILE_TYPE_BUFFER, ZIP, code), 0);
    EXPECT_EQ(code, 301);  // the "Zip" row comes before the workbook rows
    EXPECT_EQ(tiv_file_type(reg, FILE_TYPE_BUFFER, CFB_LOCKED, code), 0);
    EXPECT_EQ(code, 11);
    EXPECT_EQ(tiv_file_type(reg, FILE_TYPE_BUFFER, padded("a,b,c"), code), 0);
    EXPECT_EQ(code, -1);  // the extension-only CSV row never matches without a name
    EXPECT_EQ(tiv_file_type(reg, FILE_TYPE_BUFFER, ZIP.substr(0, 15), code), 0);
    EXPECT_EQ(code, -1);
}

TEST(FileType, StreamModeLeavesTheStreamRegisteredAndClosed) {
    MfileRegistry reg;
    Mfile* f = mopen(reg, "in/secret.xlsx", "wb");
    ASSERT_TRUE(mwrite_all(f, CFB_LOCKED));
    mclose(f);
    int code = 0;
    EXPECT_EQ(tiv_file_type(reg, FILE_TYPE_STREAM, "in/secret.xlsx", code), 0);
    EXPECT_EQ(code, 19);
    EXPECT_EQ(mcount(reg), 1);
    EXPECT_EQ(reg.slots[0]->state, MFILE_CLOSED);
    EXPECT_EQ(msize(reg, "in/secret.xlsx"), static_cast<std::int64_t>(CFB_LOCKED.size()));
}

// Stream mode looks at memory streams only: a disk file of that name is not a stream.
TEST(FileType, StreamModeNeverReadsADiskFileOfThatName) {
    test::TempDir dir;
    test::write_file(dir / "book.xlsm", ZIP);
    MfileRegistry reg;
    int code = 0;
    EXPECT_EQ(tiv_file_type(reg, FILE_TYPE_STREAM, (dir / "book.xlsm").string(), code), RC_OPEN);
    EXPECT_EQ(code, TYPE_UNKNOWN);
    EXPECT_EQ(mcount(reg), 0);
}

TEST(FileType, TableIsAsListed) {
    ASSERT_EQ(FILE_SIGNATURES.size(), 32u);
    EXPECT_EQ(FILE_SIGNATURES[15].type_name, "MS-Word2007-Macrp");
    EXPECT_EQ(FILE_SIGNATURES[25].type_name, "Windows-MataFile");
    EXPECT_EQ(FILE_SIGNATURES[26].type_name, "Enhanced-MataFile");
    EXPECT_EQ(FILE_SIGNATURES[28].code, 0);
    EXPECT_TRUE(FILE_SIGNATURES[28].signature.empty());
    EXPECT_EQ(FILE_SIGNATURES[31].signature.size(), 8u);
    EXPECT_EQ(FILE_SIGNATURES[30].signature, std::string_view("\0\0\x01", 3));
    std::set<int> locked;
    for (const auto& row : FILE_SIGNATURES)
        if (row.type_name.ends_with("-Locked")) locked.insert(row.code);
    EXPECT_EQ(locked, (std::set<int>{19, 29, 39}));
}

TEST(FileType, CorpusFilesOfEachKind) {
    const auto corpus = test::corpus_dir();
    if (corpus.empty()) GTEST_SKIP() << "HUSHCEL_CORPUS not set";
    struct Expect {
        const char* file;
        int status, code;
    } cases[] = {
        {"poi/protect.xlsx", 0, 19},
        {"msoffcrypto/example_password.xlsx", 0, 19},
        {"xlnt/6_encrypted_libre.xlsx", 0, 19},
        {"exceldatareader/standard_AES128_SHA1_ECB_pwd_password.xlsx", 0, 19},
        {"roo/type_excel.xlsx", -1, -1},
        {"poi/SampleSS.xlsx", 0, 12},
        {"calamine/vba.xlsm", 0, 14},
        {"poi/SampleSS.xls", 0, 11},
    };
    for (const auto& c : cases) {
        int code = 0;
        EXPECT_EQ(tiv_file_type(corpus / c.file, code), c.status) << c.file;
        EXPECT_EQ(code, c.code) << c.file;
    }
}

TEST(FileType, CompoundFileWhoseFatSectorsNameThemselvesStaysSmall) {
    // 8 KiB whose header claims a million FAT sectors, all listed by one DIFAT sector
    // that names itself as the next: the FAT would have grown to 4 GiB.
    std::string file(8192, '\0');
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) file[at + i] = static_cast<char>(v >> (8 * i));
    };
    file.replace(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");
    file[30] = 12;  // 4096-byte sectors
    put32(44, 1u << 20);
    put32(68, 0);
    put32(72, 1u << 20);
    MfileRegistry reg;
    Mfile* f = mopen(reg, "book.xlsx", "wb");
    ASSERT_TRUE(mwrite_all(f, file));
    mclose(f);
    int code = 0;
    EXPECT_EQ(tiv_file_type(reg, FILE_TYPE_STREAM, "book.xlsx", code), RC_FAIL);
}

}  // namespace
}  // namespace hsc
