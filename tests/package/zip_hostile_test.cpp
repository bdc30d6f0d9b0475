// Archives that are damaged or built to hurt: every one is refused before anything is
// extracted (or, for damage inside entry data, with a clear reason), and nothing is
// ever written outside the disk-mode target.
#include <gtest/gtest.h>
#include <minizip/unzip.h>

#include <functional>

#include "core/status.h"
#include "engine/refusal_text.h"
#include "package/entry_reader.h"
#include "package/zip_package.h"
#include "support/raw_zip.h"
#include "support/zip_builder.h"
#include "support/temp_dir.h"

namespace hsc {
namespace {

namespace fs = std::filesystem;
using test::RawEntry;

RawEntry entry(std::string name, std::string data, std::uint16_t method = 8) {
    RawEntry e;
    e.name = std::move(name);
    e.data = std::move(data);
    e.method = method;
    return e;
}

// Unzips bytes held in a memory stream, as the fuzz target does.
int unzip_bytes(MfileRegistry& reg, const std::string& bytes, std::vector<std::string>& names) {
    Mfile* f = mopen(reg, "archive.zip", "wb");
    if (!f || !mwrite_all(f, bytes)) return RC_NOMEM;
    mclose(f);
    ZipArchiveLocation memory;
    tiv_zip_on_memory(memory, 0);
    return unzip_package(reg, ZIP_MODE_MEMORY, "archive.zip", {}, ZIP_MAX_ENTRIES, names, memory);
}

struct RefusalCase {
    const char* label;
    std::function<std::string()> archive;
    int expected;
    RefusalKind kind;
    const char* reason;       // a fragment of its words in Japanese
    bool before_extraction;  // refused by the checks: no stream at all
    friend void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.label; }
};

class ZipRefusalTest : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(ZipRefusalTest, IsRefusedWithItsReason) {
    const auto& c = GetParam();
    MfileRegistry reg;
    std::vector<std::string> names;
    EXPECT_EQ(unzip_bytes(reg, c.archive(), names), c.expected);
    EXPECT_EQ(reg.refusal.kind, c.kind) << refusal_text(Lang::en, reg.refusal);
    EXPECT_NE(refusal_text(Lang::ja, reg.refusal).find(c.reason), std::string::npos)
        << refusal_text(Lang::ja, reg.refusal);
    if (c.before_extraction) {
        EXPECT_TRUE(names.empty());
        EXPECT_EQ(mcount(reg), 1) << "only the archive stream itself";
    }
}

// The streaming reader of single entries refuses what the extraction refuses: when the
// archive, or every entry, is read to its end.
TEST_P(ZipRefusalTest, IsRefusedByTheStreamingReaderToo) {
    test::TempDir dir;
    test::write_file(dir / "in.zip", GetParam().archive());
    ZipEntryReader reader;
    if (reader.open(dir / "in.zip") != ZipEntryReader::Status::ok) {
        EXPECT_TRUE(GetParam().before_extraction) << "refused at the opening, as by the checks";
        return;
    }
    EXPECT_FALSE(GetParam().before_extraction) << "the checks refuse it before extraction";
    bool refused = false;
    for (const char* name : {"[Content_Types].xml", "xl/sharedStrings.xml"}) {
        std::string bytes;
        const auto status = reader.read(name, std::size_t{1} << 30, bytes);
        if (status != ZipEntryReader::Status::ok && status != ZipEntryReader::Status::missing) refused = true;
    }
    EXPECT_TRUE(refused);
}

std::string with(std::function<void(RawEntry&)> change, std::string data = "<sst>secret</sst>") {
    RawEntry e = entry("xl/sharedStrings.xml", std::move(data));
    change(e);
    return test::build_raw_zip({entry("[Content_Types].xml", "<Types/>"), e});
}

std::string zeros(std::size_t n) { return std::string(n, '\0'); }

// Bytes that deflate poorly.
std::string noise(std::size_t n) {
    std::string s(n, '\0');
    unsigned seed = 7;
    for (auto& c : s) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 16);
    }
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Archives, ZipRefusalTest,
    ::testing::Values(
        RefusalCase{"Encrypted", [] { return with([](RawEntry& e) { e.flags = 1; }); }, RC_FAIL, RefusalKind::encrypted_entry, "暗号化", true},
        RefusalCase{"Bzip2Method", [] { return with([](RawEntry& e) { e.method = 12; e.payload = e.data; }); },
                    RC_FAIL, RefusalKind::unsupported_method, "圧縮形式", true},
        RefusalCase{"LzmaMethod", [] { return with([](RawEntry& e) { e.method = 14; e.payload = e.data; }); },
                    RC_FAIL, RefusalKind::unsupported_method, "圧縮形式", true},
        RefusalCase{"DuplicateName",
                    [] { return test::build_raw_zip({entry("xl/a.xml", "one"), entry("xl/a.xml", "two")}); },
                    RC_FAIL, RefusalKind::duplicate_entry, "同じ名前", true},
        RefusalCase{"DuplicateAfterLeadingSlash",
                    [] { return test::build_raw_zip({entry("xl/a.xml", "one"), entry("/xl/a.xml", "two")}); },
                    RC_FAIL, RefusalKind::duplicate_entry, "同じ名前", true},
        RefusalCase{"EmptyName", [] { return test::build_raw_zip({entry("", "x")}); }, RC_FAIL, RefusalKind::bad_entry_name, "不正な名前", true},
        RefusalCase{"LocalHeaderOutsideFile", [] { return with([](RawEntry& e) { e.offset = 0x7FFFFFF0; }); },
                    UNZ_BADZIPFILE, RefusalKind::entry_damaged, "破損", true},
        RefusalCase{"DataRunsPastTheEnd",
                    [] { return with([](RawEntry& e) { e.compressed_size = 1u << 20; }); }, UNZ_BADZIPFILE, RefusalKind::entry_damaged, "破損",
                    true},
        RefusalCase{"StoredSizesDisagree",
                    [] { return with([](RawEntry& e) { e.method = 0; e.uncompressed_size = 3; }); }, UNZ_BADZIPFILE, RefusalKind::entry_damaged,
                    "破損", true},
        RefusalCase{"DeclaresMoreThanDeflateCanGive",
                    [] { return with([](RawEntry& e) { e.uncompressed_size = 16u << 20; }); }, UNZ_BADZIPFILE, RefusalKind::entry_damaged,
                    "破損", true},
        // Enough stored data to give the size declared: a real size over the limit.
        RefusalCase{"EntryBeyondAStream",
                    [] { return with([](RawEntry& e) { e.uncompressed_size = 0x80000000u; }, noise(2200000)); }, RC_SIZE_LIMIT,
                    RefusalKind::entry_too_large, "サイズ", true},
        // A few bytes that claim gigabytes, with a checksum to match nothing: a damaged
        // header, not a workbook too large (a larger memory limit would not help).
        RefusalCase{"HeaderClaimsMoreThanItsDataCanGive",
                    [] { return with([](RawEntry& e) { e.uncompressed_size = 0xFFFFFFF0u; e.crc = 0x12345678; }); }, UNZ_BADZIPFILE,
                    RefusalKind::entry_damaged, "破損", true},
        // Many directory records sharing one deflated kernel: 40 x 64 MiB declared.
        RefusalCase{"OverlappingEntriesBeyondThePackageLimit",
                    [] {
                        RawEntry kernel = entry("k00", noise(70000));  // enough to declare 64 MiB
                        kernel.uncompressed_size = 64u << 20;
                        std::vector<RawEntry> entries{kernel};
                        for (int i = 1; i < 40; ++i) {
                            RawEntry alias = kernel;
                            alias.name = (i < 10 ? "k0" : "k") + std::to_string(i);
                            alias.local_header = false;
                            entries.push_back(alias);
                        }
                        return test::build_raw_zip(entries);
                    },
                    RC_SIZE_LIMIT, RefusalKind::entry_too_large, "サイズ", true},
        // Records pointing at one entry's data, each declaring a single byte: no size
        // bound sees them, yet extraction would hold the data once per record.
        RefusalCase{"EntriesSharingTheirData",
                    [] {
                        RawEntry kernel = entry("k00", noise(20000));
                        kernel.uncompressed_size = 1;
                        std::vector<RawEntry> entries{entry("[Content_Types].xml", "<Types/>"), kernel};
                        for (int i = 1; i < 10; ++i) {
                            RawEntry alias = kernel;
                            alias.name = "k0" + std::to_string(i);
                            alias.local_header = false;
                            entries.push_back(alias);
                        }
                        return test::build_raw_zip(entries);
                    },
                    UNZ_BADZIPFILE, RefusalKind::overlapping_entries, "データが別のエントリのデータと重なって", true},
        RefusalCase{"DataRunsIntoTheNextEntry",
                    [] {
                        RawEntry first = entry("a.xml", noise(5000));
                        first.compressed_size = 6000;  // reaches into b.xml's local header and data
                        return test::build_raw_zip({first, entry("b.xml", noise(5000))});
                    },
                    UNZ_BADZIPFILE, RefusalKind::overlapping_entries, "エントリ(b.xml)のデータが別のエントリ", true},
        // Found while inflating: the data itself is wrong.
        RefusalCase{"ChecksumMismatch", [] { return with([](RawEntry& e) { e.crc = 0x12345678; }); }, UNZ_CRCERROR, RefusalKind::entry_checksum,
                    "チェックサム", false},
        RefusalCase{"InflatesBeyondItsDeclaredSize",
                    [] { return with([](RawEntry& e) { e.uncompressed_size = 1000; }, zeros(1 << 20)); },
                    RC_SIZE_LIMIT, RefusalKind::larger_than_declared, "サイズ", false},
        RefusalCase{"InflatesShortOfItsDeclaredSize",
                    [] { return with([](RawEntry& e) { e.uncompressed_size = 4096; }); }, UNZ_BADZIPFILE, RefusalKind::entry_damaged, "破損",
                    false},
        RefusalCase{"DeflateDataCutShort",
                    [] {
                        return with([](RawEntry& e) {
                            std::string d = test::raw_deflate(e.data, 9);
                            e.payload = d.substr(0, d.size() / 2);
                        }, std::string(5000, 'a') + "secret");
                    },
                    UNZ_BADZIPFILE, RefusalKind::entry_damaged, "破損", false},
        RefusalCase{"DeflateDataGarbage", [] { return with([](RawEntry& e) { e.payload = std::string(64, '\xFF'); }); },
                    UNZ_BADZIPFILE, RefusalKind::entry_damaged, "破損", false},
        RefusalCase{"TruncatedArchive",
                    [] {
                        std::string z = test::build_raw_zip({entry("a.xml", "abc"), entry("b.xml", "def")});
                        return z.substr(0, z.size() - 30);
                    },
                    RC_OPEN, RefusalKind::not_a_zip, "zip形式", true}),
    [](const auto& info) { return std::string(info.param.label); });

// An entry may carry stored bytes beyond the end of its deflated data; extraction holds
// them all the same, so they count against the memory budget like inflated bytes.
TEST(ZipHostileTest, StoredBytesCountAgainstTheMemoryBudget) {
    std::vector<RawEntry> entries;
    for (int i = 0; i < 4; ++i) {
        RawEntry e = entry("xl/media/p" + std::to_string(i) + ".bin", "x");
        e.payload = test::raw_deflate("x") + zeros(400000);  // 1 byte inflated, 400 kB held
        entries.push_back(e);
    }
    const std::string archive = test::build_raw_zip(entries);
    MfileRegistry reg;
    reg.max_package_bytes = 1 << 20;
    std::vector<std::string> names;
    EXPECT_EQ(unzip_bytes(reg, archive, names), RC_SIZE_LIMIT);
    EXPECT_EQ(reg.refusal.kind, RefusalKind::over_memory_budget);
    EXPECT_NE(refusal_text(Lang::ja, reg.refusal).find("(必要/上限: 2 MB/1 MB)"), std::string::npos)
        << refusal_text(Lang::ja, reg.refusal);
    EXPECT_NE(refusal_text(Lang::en, reg.refusal).find("2 MB/1 MB"), std::string::npos)
        << refusal_text(Lang::en, reg.refusal);
    EXPECT_TRUE(names.empty());

    MfileRegistry roomy;
    roomy.max_package_bytes = 2 << 20;
    EXPECT_EQ(unzip_bytes(roomy, archive, names), RC_OK) << refusal_text(Lang::en, roomy.refusal);
    EXPECT_EQ(names.size(), 4u);
}

TEST(ZipHostileTest, LongestCommentAndExtraFieldsAreAccepted) {
    RawEntry a = entry("xl/a.xml", "<a>text</a>");
    a.extra = std::string(65535 - 0, '\0');
    // A well-formed extra block: one unknown header id with 65531 bytes of data.
    a.extra[0] = '\x99';
    a.extra[1] = '\x99';
    a.extra[2] = '\xFB';
    a.extra[3] = '\xFF';
    const std::string bytes = test::build_raw_zip({a, entry("b.xml", "b", 0)}, std::string(65535, 'c'));
    MfileRegistry reg;
    std::vector<std::string> names;
    ASSERT_EQ(unzip_bytes(reg, bytes, names), RC_OK) << refusal_text(Lang::en, reg.refusal);
    EXPECT_EQ(names, (std::vector<std::string>{"xl/a.xml", "b.xml"}));
    EXPECT_EQ(msize(reg, "xl/a.xml"), 11);
    EXPECT_TRUE(reg.refusal.empty());
}

TEST(ZipHostileTest, ControlCharactersInNamesAreNotShown) {
    MfileRegistry reg;
    std::vector<std::string> names;
    const std::string name = "x\x1b]0;pwned\x07.xml";
    ASSERT_EQ(unzip_bytes(reg, test::build_raw_zip({entry(name, "1"), entry(name, "2")}), names), RC_FAIL);
    for (Lang lang : {Lang::ja, Lang::en}) {
        const std::string text = refusal_text(lang, reg.refusal);
        EXPECT_EQ(text.find('\x1b'), std::string::npos);
        EXPECT_NE(text.find("x?]0;pwned?.xml"), std::string::npos) << text;
    }
}

// ---- disk mode never writes outside its target ----

class UnsafeNameTest : public ::testing::TestWithParam<const char*> {};

TEST_P(UnsafeNameTest, IsRefusedAndNothingIsWritten) {
    test::TempDir tmp;
    const fs::path target = tmp / "a" / "b" / "out";
    fs::create_directories(target);
    test::write_file(target / "keep.txt", "kept");
    const std::string bytes = test::build_raw_zip({entry("ok.xml", "fine"), entry(GetParam(), "escaped")});
    test::write_file(tmp / "in.zip", bytes);

    MfileRegistry reg;
    std::vector<std::string> names;
    EXPECT_EQ(unzip_package(reg, ZIP_MODE_DISK, tmp / "in.zip", target, ZIP_MAX_ENTRIES, names), RC_FAIL);
    EXPECT_EQ(reg.refusal.kind, RefusalKind::unsafe_entry_path) << refusal_text(Lang::en, reg.refusal);
    std::vector<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(tmp.path()))
        if (e.is_regular_file()) files.push_back(fs::relative(e.path(), tmp.path()).string());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"a/b/out/keep.txt", "in.zip"}));
}

INSTANTIATE_TEST_SUITE_P(Names, UnsafeNameTest,
                         ::testing::Values("../escaped.txt", "x/../../escaped.txt", "x/../../../escaped.txt",
                                           "..\\escaped.txt", "x\\..\\..\\escaped.txt", "/tmp/escaped.txt",
                                           "\\escaped.txt", "C:/escaped.txt", "C:escaped.txt", "c:\\escaped.txt",
                                           "ok.xml:stream", "../", "x/../../sub/"),
                         [](const auto& info) {
                             std::string s;
                             for (char c : std::string(info.param))
                                 s += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return s + "_" + std::to_string(info.index);
                         });

TEST(ZipHostileTest, DiskModeKeepsHarmlessDotsInsideTheTarget) {
    test::TempDir tmp;
    const fs::path target = tmp / "out";
    test::write_file(tmp / "in.zip", test::build_raw_zip({entry("./a/./b..c.xml", "x"), entry("a/..d/e", "y")}));
    MfileRegistry reg;
    std::vector<std::string> names;
    ASSERT_EQ(unzip_package(reg, ZIP_MODE_DISK, tmp / "in.zip", target, ZIP_MAX_ENTRIES, names), RC_OK)
        << refusal_text(Lang::en, reg.refusal);
    EXPECT_EQ(test::read_file(target / "a" / "b..c.xml"), "x");
    EXPECT_EQ(test::read_file(target / "a" / "..d" / "e"), "y");
}

}  // namespace
}  // namespace hsc
