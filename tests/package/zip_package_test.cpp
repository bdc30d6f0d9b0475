#include "package/zip_package.h"

#include <gtest/gtest.h>
#include <minizip/unzip.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <random>

#include "core/mask_settings.h"
#include "core/refusal.h"
#include "core/status.h"
#include "os/atomic_file.h"
#include "os/file.h"
#include "package/package_entries.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

namespace hsc {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::ZipEntry;

// Bytes that deflate poorly, so that entries span several read and write pieces.
std::string noise(std::size_t n, unsigned seed) {
    std::string s(n, '\0');
    for (auto& c : s) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 16);
    }
    return s;
}

test::ZipBuildOptions stored() {
    test::ZipBuildOptions o;
    o.deflate = false;
    return o;
}

test::ZipBuildOptions dated(std::uint16_t date, std::uint16_t time) {
    test::ZipBuildOptions o;
    o.dos_date = date;
    o.dos_time = time;
    return o;
}

const std::vector<ZipEntry>& sample_package() {
    static const std::vector<ZipEntry> entries = {
        {"[Content_Types].xml", "<?xml version=\"1.0\"?><Types/>"},
        {"_rels/.rels", "<Relationships/>"},
        {"xl/", ""},
        {"xl/workbook.xml", "<workbook><sheets/></workbook>"},
        {"xl/media/", ""},
        {"xl/media/image1.png", noise(40000, 7)},
        {"xl/empty.bin", ""},
        {"docProps/売上.xml", "<p>売上表</p>"},
    };
    return entries;
}

std::vector<ZipEntry> files_only(const std::vector<ZipEntry>& entries) {
    std::vector<ZipEntry> out;
    for (const auto& e : entries)
        if (e.name.back() != '/' && e.name.back() != '\\') out.push_back(e);
    return out;
}

std::vector<std::string> names_of(const std::vector<ZipEntry>& entries) {
    std::vector<std::string> out;
    for (const auto& e : entries) out.push_back(e.name);
    return out;
}

// The live streams of the registry as (name, bytes), in registry order.
std::vector<ZipEntry> streams_of(MfileRegistry& reg) {
    std::vector<std::string> names;
    mlist(reg, names);
    std::vector<ZipEntry> out;
    for (const auto& n : names) {
        Mfile* f = mopen(reg, n, "rb");
        auto bytes = mdata(f);
        out.push_back({n, std::string(bytes.begin(), bytes.end())});
        mclose(f);
    }
    return out;
}

void put_stream(MfileRegistry& reg, const std::string& name, const std::string& bytes) {
    Mfile* f = mopen(reg, name, "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_TRUE(mwrite_all(f, bytes));
    mclose(f);
}

// Every entry as the composition writes it: one the input held keeps its method, date,
// attributes and extra fields (folder entries among them); one that is new is deflated,
// dated 1980-01-01 00:00:00 (the earliest valid DOS date) and plain. Never encrypted nor
// with a data descriptor, and the archive has no comment.
void expect_composed_form(const test::ZipArchiveInfo& info, const std::string& file_bytes,
                          const test::ZipArchiveInfo* input = nullptr) {
    for (const auto& e : info.entries) {
        SCOPED_TRACE(e.name);
        const test::ZipEntryInfo* was = nullptr;
        if (input)
            for (const auto& i : input->entries)
                if (i.name == e.name) was = &i;
        EXPECT_EQ(e.method, was ? was->method : 8);
        EXPECT_EQ(e.dos_date, was ? was->dos_date : 0x0021);
        EXPECT_EQ(e.dos_time, was ? was->dos_time : 0x0000);
        EXPECT_EQ(e.extra_length, was ? was->extra_length : 0);
        EXPECT_EQ(e.local_extra_length, 0);
        EXPECT_EQ(e.local_method, e.method);
        EXPECT_EQ(e.local_dos_date, e.dos_date);
        EXPECT_EQ(e.local_dos_time, e.dos_time);
        EXPECT_EQ(e.comment_length, was ? was->comment_length : 0);
        EXPECT_EQ(e.external_attributes, was ? was->external_attributes : 0u);
        EXPECT_EQ(e.flags & 1, 0) << "encrypted";
        EXPECT_EQ(e.flags & 8, 0) << "data descriptor";
        EXPECT_TRUE(e.crc_ok);
    }
    EXPECT_TRUE(info.comment.empty());
    EXPECT_TRUE(info.comment_ends_file);
    ASSERT_GE(file_bytes.size(), 2u);
    EXPECT_EQ(file_bytes.substr(file_bytes.size() - 2), std::string(2, '\0'));
}

class ZipPackageTest : public ::testing::Test {
protected:
    TempDir tmp;
    MfileRegistry reg;
    std::vector<std::string> names;
};

// ---- extraction ----

class UnzipMethodTest : public ZipPackageTest, public ::testing::WithParamInterface<bool> {};

TEST_P(UnzipMethodTest, ExtractsEveryFileEntryIntoStreamsAndSkipsDirectories) {
    test::ZipBuildOptions options;
    options.deflate = GetParam();
    test::write_zip(tmp / "in.xlsx", sample_package(), options);

    ASSERT_EQ(unzip_package(reg, ZIP_MODE_MEMORY, tmp / "in.xlsx", {}, ZIP_MAX_ENTRIES, names), RC_OK);

    const auto expected = files_only(sample_package());
    EXPECT_EQ(names, names_of(expected));
    EXPECT_EQ(mcount(reg), static_cast<int>(expected.size()));
    EXPECT_EQ(streams_of(reg), expected);
    for (const auto& slot : reg.slots) EXPECT_EQ(slot->state, MFILE_CLOSED) << slot->name;
}

INSTANTIATE_TEST_SUITE_P(Methods, UnzipMethodTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Deflated" : "Stored"; });

TEST_F(ZipPackageTest, BackslashDirectoryEntryIsSkipped) {
    test::write_zip(tmp / "in.xlsx", {{"xl\\media\\", ""}, {"xl/workbook.xml", "<w/>"}}, stored());
    ASSERT_EQ(unzip_package(reg, ZIP_MODE_MEMORY, tmp / "in.xlsx", {}, ZIP_MAX_ENTRIES, names), RC_OK);
    EXPECT_EQ(names, std::vector<std::string>{"xl/workbook.xml"});
    EXPECT_EQ(mcount(reg), 1);
}

struct EntryLimitCase {
    const char* label;
    int files;
    int directories;
    int expected;
    friend void PrintTo(const EntryLimitCase& c, std::ostream* os) { *os << c.label; }
};

class EntryLimitTest : public ZipPackageTest, public ::testing::WithParamInterface<EntryLimitCase> {};

TEST_P(EntryLimitTest, RefusesBeforeAnythingIsExtracted) {
    const auto& c = GetParam();
    std::vector<ZipEntry> entries;
    for (int i = 0; i < c.directories; ++i) entries.push_back({"d" + std::to_string(i) + "/", ""});
    for (int i = 0; i < c.files; ++i) entries.push_back({"f" + std::to_string(i), "x"});
    test::write_zip(tmp / "in.xlsx", entries, stored());

    EXPECT_EQ(unzip_package(reg, ZIP_MODE_MEMORY, tmp / "in.xlsx", {}, ZIP_MAX_ENTRIES, names), c.expected);
    if (c.expected == RC_OK) {
        EXPECT_EQ(names.size(), static_cast<std::size_t>(c.files));
        EXPECT_EQ(mcount(reg), c.files);
    } else {
        EXPECT_TRUE(names.empty());
        EXPECT_EQ(mcount(reg), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Limits, EntryLimitTest,
    ::testing::Values(EntryLimitCase{"Files4999", 4999, 0, RC_OK}, EntryLimitCase{"Files5000", 5000, 0, RC_SIZE_LIMIT},
                      EntryLimitCase{"Files4998Dirs2", 4998, 2, RC_SIZE_LIMIT}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(ZipPackageTest, SmallCapacityCountsEntries) {
    test::write_zip(tmp / "in.xlsx", {{"a", "1"}, {"b", "2"}});
    EXPECT_EQ(unzip_package(reg, ZIP_MODE_MEMORY, tmp / "in.xlsx", {}, 2, names), RC_SIZE_LIMIT);
    EXPECT_EQ(unzip_package(reg, ZIP_MODE_MEMORY, tmp / "in.xlsx", {}, 3, names), RC_OK);
    EXPECT_EQ(names.size(), 2u);
}

TEST_F(ZipPackageTest, EntryNamesOf256BytesOrMoreAreRefusedBeforeExtraction) {
    const std::string longest(255, 'n');
    test::write_zip(tmp / "ok.xlsx", {{"a.xml", "a"}, {longest, "b"}});
    ASSERT_EQ(unzip_package(reg, ZIP_MODE_MEMORY, tmp / "ok.xlsx", {}, ZIP_MAX_ENTRIES, names), RC_OK);
    EXPECT_EQ(names.back(), longest);

    MfileRegistry fresh;
    test::write_zip(tmp / "long.xlsx", {{"a.xml", "a"}, {std::string(256, 'n'), "b"}});
    EXPECT_EQ(unzip_package(fresh, ZIP_MODE_MEMORY, tmp / "long.xlsx", {}, ZIP_MAX_ENTRIES, names), RC_SIZE_LIMIT);
    EXPECT_EQ(mcount(fresh), 0);
    EXPECT_TRUE(names.empty());
}

// A filtered unpack checks every entry but inflates only the wanted ones: a damaged
// entry it does not want is not even read.
TEST_F(ZipPackageTest, FilteredUnpackExtractsOnlyTheWantedEntries) {
    test::write_zip(tmp / "in.xlsx", sample_package());
    auto only_xml = [](std::string_view name) { return name.ends_with(".xml"); };
    ASSERT_EQ(unzip_package(reg, ZIP_MODE_MEMORY, tmp / "in.xlsx", {}, ZIP_MAX_ENTRIES, names, {}, only_xml), RC_OK);
    EXPECT_EQ(names, (std::vector<std::string>{"[Content_Types].xml", "xl/workbook.xml", "docProps/売上.xml"}));
    EXPECT_EQ(mcount(reg), 3);

    std::string bytes = test::build_zip({{"a.xml", "<a/>"}, {"b.bin", noise(2000, 1)}});
    bytes[bytes.find("b.bin") + 5 + 10] ^= 0x55;  // inside b.bin's deflated data
    test::write_file(tmp / "damaged.xlsx", bytes);
    MfileRegistry fresh;
    EXPECT_EQ(unzip_package(fresh, ZIP_MODE_MEMORY, tmp / "damaged.xlsx", {}, ZIP_MAX_ENTRIES, names, {}, only_xml),
              RC_OK);
    EXPECT_EQ(names, std::vector<std::string>{"a.xml"});
    MfileRegistry whole;
    EXPECT_NE(unzip_package(whole, ZIP_MODE_MEMORY, tmp / "damaged.xlsx", {}, ZIP_MAX_ENTRIES, names), RC_OK);
}

struct BadInputCase {
    const char* label;
    std::string bytes;  // empty label "Missing": no file at all
    friend void PrintTo(const BadInputCase& c, std::ostream* os) { *os << c.label; }
};

class NotAZipTest : public ZipPackageTest, public ::testing::WithParamInterface<BadInputCase> {};

TEST_P(NotAZipTest, GivesCannotOpen) {
    const auto& c = GetParam();
    const fs::path path = tmp / "in.xlsx";
    if (std::string(c.label) != "Missing") test::write_file(path, c.bytes);
    EXPECT_EQ(unzip_package(reg, ZIP_MODE_MEMORY, path, {}, ZIP_MAX_ENTRIES, names), RC_OPEN);
    EXPECT_EQ(mcount(reg), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, NotAZipTest,
    ::testing::Values(BadInputCase{"Missing", ""}, BadInputCase{"Empty", ""},
                      BadInputCase{"Text", "name,amount\nsuzuki,100\n"},
                      BadInputCase{"CompoundFile", std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(600, '\0')},
                      // A local header and nothing else: no central directory.
                      BadInputCase{"LocalHeaderOnly", test::build_zip({{"a.xml", "abc"}}).substr(0, 40)}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(ZipPackageTest, InvalidArguments) {
    test::write_zip(tmp / "in.xlsx", {{"a", "1"}});
    EXPECT_EQ(unzip_package(reg, ZIP_MODE_MEMORY, tmp / "in.xlsx", {}, 0, names), RC_REFUSED);
    EXPECT_EQ(unzip_package(reg, ZIP_MODE_DISK, tmp / "in.xlsx", {}, ZIP_MAX_ENTRIES, names), RC_REFUSED);
}

TEST_F(ZipPackageTest, ChecksumMismatchIsPassedThrough) {
    std::string zip = test::build_zip({{"a.xml", "hello world"}}, stored());
    zip[30 + 5] ^= 0x20;  // first data byte after the 30-byte header and the 5-byte name
    test::write_file(tmp / "in.xlsx", zip);
    EXPECT_EQ(unzip_package(reg, ZIP_MODE_MEMORY, tmp / "in.xlsx", {}, ZIP_MAX_ENTRIES, names), UNZ_CRCERROR);
}

TEST_F(ZipPackageTest, EntryLargerThanAStreamCanHoldIsRefused) {
    // Deflated data enough to give 2 GiB: a size the data could have, over the limit.
    std::string zip = test::build_zip({{"a.xml", "abc"}, {"big.bin", noise(2200000, 7)}});
    // Declare 2 GiB for the second entry in its central record (uncompressed size at +24).
    std::size_t cd = zip.rfind(std::string("PK\x01\x02", 4));
    ASSERT_NE(cd, std::string::npos);
    zip.replace(cd + 24, 4, std::string("\x00\x00\x00\x80", 4));
    test::write_file(tmp / "in.xlsx", zip);

    EXPECT_EQ(unzip_package(reg, ZIP_MODE_MEMORY, tmp / "in.xlsx", {}, ZIP_MAX_ENTRIES, names), RC_SIZE_LIMIT);
    EXPECT_EQ(reg.refusal.kind, RefusalKind::entry_too_large);
    EXPECT_EQ(mcount(reg), 0);
}

// A stored entry of 4 bytes that says it inflates to 2 GiB: the sizes disagree, which
// is damage, not a size over the limit.
TEST_F(ZipPackageTest, StoredEntryClaimingMoreThanItHoldsIsDamaged) {
    std::string zip = test::build_zip({{"a.xml", "abc"}, {"big.bin", "tiny"}}, stored());
    std::size_t cd = zip.rfind(std::string("PK\x01\x02", 4));
    ASSERT_NE(cd, std::string::npos);
    zip.replace(cd + 24, 4, std::string("\x00\x00\x00\x80", 4));
    test::write_file(tmp / "in.xlsx", zip);

    EXPECT_EQ(unzip_package(reg, ZIP_MODE_MEMORY, tmp / "in.xlsx", {}, ZIP_MAX_ENTRIES, names), UNZ_BADZIPFILE);
    EXPECT_EQ(reg.refusal.kind, RefusalKind::entry_damaged);
    EXPECT_EQ(mcount(reg), 0);
}

TEST_F(ZipPackageTest, DataBeyondTheDeclaredSizeIsNeverWritten) {
    // The size check above relies on the data never outgrowing the declared size.
    std::string zip = test::build_zip({{"a.xml", noise(50000, 5)}});
    const std::string four("\x04\x00\x00\x00", 4);
    zip.replace(22, 4, four);  // local header: uncompressed size
    zip.replace(zip.rfind(std::string("PK\x01\x02", 4)) + 24, 4, four);
    test::write_file(tmp / "in.xlsx", zip);

    EXPECT_NE(unzip_package(reg, ZIP_MODE_MEMORY, tmp / "in.xlsx", {}, ZIP_MAX_ENTRIES, names), RC_OK);
    EXPECT_LE(msize(reg, "a.xml"), 4);
}

// ---- composition ----

// Folder entries, dates, methods and the order of the input come back; a stream the
// input did not hold follows them, dated as new.
TEST_F(ZipPackageTest, RoundTripKeepsNamesOrderFoldersDatesAndBytes) {
    test::write_zip(tmp / "in.xlsx", sample_package(), dated(0x5A86, 0x5295));
    ASSERT_EQ(unzip_package(reg, ZIP_MODE_MEMORY, tmp / "in.xlsx", {}, ZIP_MAX_ENTRIES, names), RC_OK);
    EXPECT_EQ(names, names_of(files_only(sample_package())));
    ASSERT_EQ(reg.layout.entries.size(), sample_package().size());
    EXPECT_TRUE(reg.layout.entries[2].folder);
    EXPECT_EQ(reg.layout.entries[2].name, "xl/");

    fs::path output;
    ASSERT_EQ(hsc_write_excel(reg, tmp / "in.xlsx", output, Direction::mask, false, tmp / "composed.tmp"), RC_OK);
    EXPECT_EQ(output, tmp / "●in.xlsx");
    EXPECT_FALSE(fs::exists(output)) << "composing into a given path leaves the final name to the caller";

    const std::string bytes = test::read_file(tmp / "composed.tmp");
    const auto input = test::read_zip_info(tmp / "in.xlsx");
    expect_composed_form(test::read_zip_bytes(bytes), bytes, &input);
    EXPECT_EQ(test::read_zip(tmp / "composed.tmp"), sample_package());

    // Stored entries stay stored; a new stream comes last.
    MfileRegistry stored_reg;
    test::write_zip(tmp / "stored.xlsx", sample_package(), stored());
    ASSERT_EQ(unzip_package(stored_reg, ZIP_MODE_MEMORY, tmp / "stored.xlsx", {}, ZIP_MAX_ENTRIES, names), RC_OK);
    put_stream(stored_reg, "xl/BKnew.xml", "new");
    ASSERT_EQ(hsc_write_excel(stored_reg, tmp / "stored.xlsx", output, Direction::mask, false, tmp / "stored.tmp"), RC_OK);
    const std::string stored_bytes = test::read_file(tmp / "stored.tmp");
    const auto stored_input = test::read_zip_info(tmp / "stored.xlsx");
    const auto stored_info = test::read_zip_bytes(stored_bytes);
    expect_composed_form(stored_info, stored_bytes, &stored_input);
    auto with_new = sample_package();
    with_new.push_back({"xl/BKnew.xml", "new"});
    EXPECT_EQ(test::read_zip(tmp / "stored.tmp"), with_new);
    EXPECT_EQ(stored_info.entries.back().method, 8);
}

// The archive comment as read is kept with the layout; composition writes only the
// comment it is given (a restore's), never the one it read (a masked workbook's footer).
TEST_F(ZipPackageTest, CommentIsReadAndWrittenOnlyWhenGiven) {
    test::ZipBuildOptions commented;
    commented.comment = "made by a spreadsheet program";
    test::write_zip(tmp / "in.xlsx", sample_package(), commented);
    ASSERT_EQ(unzip_package(reg, ZIP_MODE_MEMORY, tmp / "in.xlsx", {}, ZIP_MAX_ENTRIES, names), RC_OK);
    EXPECT_EQ(reg.layout.comment, commented.comment);
    fs::path output;
    ASSERT_EQ(hsc_write_excel(reg, tmp / "in.xlsx", output, Direction::mask, false, tmp / "plain.zip"), RC_OK);
    EXPECT_EQ(test::read_zip_info(tmp / "plain.zip").comment, "");
    reg.archive_comment = "the original comment";
    ASSERT_EQ(hsc_write_excel(reg, tmp / "in.xlsx", output, Direction::unmask, false, tmp / "given.zip"), RC_OK);
    const auto info = test::read_zip_info(tmp / "given.zip");
    EXPECT_EQ(info.comment, "the original comment");
    EXPECT_TRUE(info.comment_ends_file);
}

// Entries nothing writes to keep their deflated bytes (deflated here at level 1, which
// the composition never uses); stored entries that no directory says to keep stored,
// rewritten entries and entries with bytes after their deflated data are deflated anew.
TEST_F(ZipPackageTest, UntouchedEntriesAreCopiedAsDeflatedAndTheRestDeflatedAnew) {
    std::string text;
    for (int i = 0; i < 4000; ++i) text += "<row r=\"" + std::to_string(i) + "\"><c t=\"s\"><v>" + std::to_string(i % 97) + "</v></c></row>";
    const std::string level1 = test::raw_deflate(text, 1);
    ASSERT_NE(level1, test::raw_deflate(text)) << "the fixture must tell a copy from a new deflate";
    test::ZipBuildOptions fast = dated(0x5A86, 0x5295);
    fast.level = 1;
    const std::string deflated_zip = test::build_zip({{"a.xml", text}, {"b.xml", text}, {"c.xml", text}}, fast);
    test::ZipBuildOptions padded = fast;
    padded.trailing = "JUNK";
    const std::string padded_zip = test::build_zip({{"d.xml", text}}, padded);
    const std::string stored_zip = test::build_zip({{"e.xml", text}}, stored());
    for (const auto& [file, bytes] : {std::pair{"deflated.zip", deflated_zip}, std::pair{"padded.zip", padded_zip},
                                      std::pair{"stored.zip", stored_zip}}) {
        test::write_file(tmp / file, bytes);
        std::vector<std::string> part;
        ASSERT_EQ(unzip_package(reg, ZIP_MODE_MEMORY, tmp / file, {}, ZIP_MAX_ENTRIES, part), RC_OK) << file;
    }
    // Three archives in one registry have no one directory to follow: every entry is
    // written as a new one.
    reg.layout = {};
    put_stream(reg, "b.xml", text);  // the same bytes, but written: no longer the entry as read
    Mfile* c = mopen(reg, "c.xml", "rb");
    ASSERT_NE(c, nullptr);
    mseek(c, 0, 2);
    ASSERT_TRUE(mwrite_all(c, "<!-- appended -->"));
    mclose(c);

    fs::path output;
    ASSERT_EQ(hsc_write_excel(reg, tmp / "in.xlsx", output, Direction::mask, false, tmp / "out.zip"), RC_OK);
    const std::string out = test::read_file(tmp / "out.zip");
    const auto info = test::read_zip_bytes(out);
    expect_composed_form(info, out);
    ASSERT_EQ(info.entries.size(), 5u);
    const std::vector<std::string> want_data = {text, text, text + "<!-- appended -->", text, text};
    const std::vector<bool> copied = {true, false, false, false, false};
    for (std::size_t i = 0; i < info.entries.size(); ++i) {
        SCOPED_TRACE(info.entries[i].name);
        EXPECT_EQ(info.entries[i].data, want_data[i]);
        EXPECT_EQ(info.entries[i].compressed == level1, copied[i]);
        if (!copied[i]) {
            EXPECT_EQ(info.entries[i].compressed, test::raw_deflate(info.entries[i].data));
        }
    }
}

// A large rewritten part is deflated in pieces on both cores; the pieces make one
// deflate stream, with one checksum, that compresses about as well as in one go.
TEST_F(ZipPackageTest, LargePartsDeflatedInPiecesReadBackWhole) {
    std::string text;
    std::mt19937 rng(5);
    while (text.size() < (std::size_t{13} << 20)) text += "<si><t>田中 " + std::to_string(rng() % 100000) + "</t></si>";
    put_stream(reg, "xl/sharedStrings.xml", text);
    put_stream(reg, "small.xml", "<a/>");
    fs::path output;
    ASSERT_EQ(hsc_write_excel(reg, tmp / "in.xlsx", output, Direction::mask, false, tmp / "out.zip"), RC_OK);
    const std::string out = test::read_file(tmp / "out.zip");
    const auto info = test::read_zip_bytes(out);
    expect_composed_form(info, out);
    ASSERT_EQ(info.entries.size(), 2u);
    EXPECT_TRUE(info.entries[0].data == text) << "the pieces read back as the part";
    EXPECT_LT(info.entries[0].compressed.size(), test::raw_deflate(text).size() * 102 / 100);
}

// A backup that does not deflate (sealed, it looks random) is stored in the deflate
// stream as it is, at copying speed; one that deflates (the original format's ECB
// units repeat) is deflated at level 1, and any other part at the default level.
TEST_F(ZipPackageTest, BackupsThatDoNotDeflateAreStoredAsTheyAre) {
    std::string repeated;
    for (int i = 0; i < 20000; ++i) repeated += "0123456789abcdef";
    const std::string random = noise(200000, 7);
    put_stream(reg, "xl/BKsharedStrings.xml", random);
    put_stream(reg, "xl/BKworkbook.xml", repeated);
    put_stream(reg, "xl/noise.bin", random);
    fs::path output;
    ASSERT_EQ(hsc_write_excel(reg, tmp / "in.xlsx", output, Direction::mask, false, tmp / "out.zip"), RC_OK);
    const std::string out = test::read_file(tmp / "out.zip");
    const auto info = test::read_zip_bytes(out);
    expect_composed_form(info, out);
    ASSERT_EQ(info.entries.size(), 3u);
    EXPECT_EQ(info.entries[0].data, random);
    EXPECT_EQ(info.entries[0].compressed, test::raw_deflate(random, 0));
    EXPECT_EQ(info.entries[1].data, repeated);
    EXPECT_EQ(info.entries[1].compressed, test::raw_deflate(repeated, 1));
    EXPECT_EQ(info.entries[2].compressed, test::raw_deflate(random)) << "not a backup: the default level";
}

TEST_F(ZipPackageTest, RemovedStreamsAreLeftOutAndNewStreamsFollowInRegistryOrder) {
    test::write_zip(tmp / "in.xlsx", sample_package());
    ASSERT_EQ(unzip_package(reg, ZIP_MODE_MEMORY, tmp / "in.xlsx", {}, ZIP_MAX_ENTRIES, names), RC_OK);
    mremove(reg, "xl/media/image1.png");
    put_stream(reg, "xl/workbook.xml", "<workbook rewritten/>");  // keeps its place
    put_stream(reg, "xl/BKsharedStrings.xml", noise(3000, 3));

    fs::path output;
    ASSERT_EQ(hsc_write_excel(reg, tmp / "in.xlsx", output, Direction::mask, false, tmp / "out.zip"), RC_OK);
    const std::vector<ZipEntry> expected = {
        {"[Content_Types].xml", "<?xml version=\"1.0\"?><Types/>"},
        {"_rels/.rels", "<Relationships/>"},
        {"xl/", ""},
        {"xl/workbook.xml", "<workbook rewritten/>"},
        {"xl/media/", ""},
        {"xl/empty.bin", ""},
        {"docProps/売上.xml", "<p>売上表</p>"},
        {"xl/BKsharedStrings.xml", noise(3000, 3)},
    };
    EXPECT_EQ(test::read_zip(tmp / "out.zip"), expected);
}

TEST_F(ZipPackageTest, LeadingSeparatorsAreDroppedFromEntryNames) {
    put_stream(reg, "/\\xl/a.xml", "a");
    ASSERT_EQ(zip_package(reg, ZIP_MODE_MEMORY, tmp / "out.zip", {}, {"/\\xl/a.xml"}), RC_OK);
    EXPECT_EQ(test::read_zip(tmp / "out.zip"), (std::vector<ZipEntry>{{"xl/a.xml", "a"}}));
}

TEST_F(ZipPackageTest, EmptyPackageIsAValidArchiveWithoutComment) {
    ASSERT_EQ(zip_package(reg, ZIP_MODE_MEMORY, tmp / "out.zip", {}, {}), RC_OK);
    const std::string bytes = test::read_file(tmp / "out.zip");
    expect_composed_form(test::read_zip_bytes(bytes), bytes);
    EXPECT_TRUE(test::read_zip(tmp / "out.zip").empty());
}

TEST_F(ZipPackageTest, FailedCompositionLeavesNoArchive) {
    put_stream(reg, "a.xml", "a");
    test::write_file(tmp / "out.zip", "an older file at the archive path");
    // The second name is neither a stream nor a file: the source cannot be opened.
    EXPECT_EQ(zip_package(reg, ZIP_MODE_MEMORY, tmp / "out.zip", {}, {"a.xml", "no/such/part.xml"}), RC_OPEN);
    EXPECT_FALSE(fs::exists(tmp / "out.zip"));

    EXPECT_EQ(zip_package(reg, ZIP_MODE_MEMORY, tmp / "missing" / "out.zip", {}, {"a.xml"}), RC_OPEN);

    put_stream(reg, std::string(256, 'n'), "x");
    EXPECT_EQ(zip_package(reg, ZIP_MODE_MEMORY, tmp / "out.zip", {}, {std::string(256, 'n')}), RC_SIZE_LIMIT);
    EXPECT_FALSE(fs::exists(tmp / "out.zip"));
}

// ---- output naming and hsc_write_excel ----

struct NamingCase {
    const char* label;
    const char* input;
    Direction direction;
    bool overwrite;
    const char* expected;
    friend void PrintTo(const NamingCase& c, std::ostream* os) { *os << c.label; }
};

class OutputNameTest : public ::testing::TestWithParam<NamingCase> {};

TEST_P(OutputNameTest, PrefixGoesInFrontOfTheFileName) {
    const auto& c = GetParam();
    EXPECT_EQ(output_path_for(c.input, c.direction, c.overwrite).string(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, OutputNameTest,
    ::testing::Values(NamingCase{"Mask", "/data/売上表.xlsx", Direction::mask, false, "/data/●売上表.xlsx"},
                      NamingCase{"Unmask", "/data/売上表.xlsx", Direction::unmask, false, "/data/〇売上表.xlsx"},
                      NamingCase{"FolderWithKanji", "/表/売上.xlsm", Direction::mask, false, "/表/●売上.xlsm"},
                      NamingCase{"NoFolder", "売上.xlsx", Direction::mask, false, "●売上.xlsx"},
                      NamingCase{"RelativeFolder", "in/a b.xlsx", Direction::unmask, false, "in/〇a b.xlsx"},
                      NamingCase{"OverwriteMask", "/data/売上表.xlsx", Direction::mask, true, "/data/売上表.xlsx"},
                      NamingCase{"OverwriteUnmask", "/data/x.xlsx", Direction::unmask, true, "/data/x.xlsx"}),
    [](const auto& info) { return std::string(info.param.label); });

std::vector<std::string> folder_listing(const fs::path& dir) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) out.push_back(os::path_u8(e.path().filename()));
    std::sort(out.begin(), out.end());
    return out;
}

// The output is composed into the file the caller holds open (its temporary file): no
// file is made, removed or replaced by name, and the file keeps its mode.
TEST_F(ZipPackageTest, WriteExcelComposesIntoTheOpenFileItIsGiven) {
    test::write_zip(tmp / "売上表.xlsx", sample_package());
    const std::string original = test::read_file(tmp / "売上表.xlsx");
    ASSERT_EQ(unzip_package(reg, ZIP_MODE_MEMORY, tmp / "売上表.xlsx", {}, ZIP_MAX_ENTRIES, names), RC_OK);
    const fs::path held = tmp / "held.tmp";
    test::write_file(held, std::string(100000, 's'));  // older, longer content is not kept
    const int fd = os::open(held, os::Access::read_write);
    ASSERT_GE(fd, 0);
#ifndef _WIN32
    ASSERT_EQ(::fchmod(fd, 0600), 0);
#endif
    const FileIdentity before = identity_of(held);

    fs::path output;
    EXPECT_EQ(hsc_write_excel(reg, tmp / "売上表.xlsx", output, Direction::unmask, false, fd), RC_OK);
    EXPECT_EQ(output, tmp / "〇売上表.xlsx");
    EXPECT_EQ(identity_of(held).inode, before.inode) << "the same file, not a new one at its name";
#ifndef _WIN32
    struct stat after {};
    ASSERT_EQ(::stat(held.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode & 07777, 0600u);
#endif
    EXPECT_EQ(test::read_zip(held), sample_package());
    EXPECT_EQ(test::read_file(tmp / "売上表.xlsx"), original);
    EXPECT_EQ(folder_listing(tmp.path()), (std::vector<std::string>{"held.tmp", "売上表.xlsx"}));

    // A failed composition empties the file and leaves it to its holder.
    put_stream(reg, std::string(256, 'n'), "cannot be an entry name");
    EXPECT_EQ(hsc_write_excel(reg, tmp / "売上表.xlsx", output, Direction::unmask, false, fd), RC_SIZE_LIMIT);
    EXPECT_EQ(identity_of(held).inode, before.inode);
    EXPECT_EQ(identity_of(held).size, 0);
    os::close(fd);
}

// ---- archives in memory streams ----

TEST_F(ZipPackageTest, ArchivesCanLiveInMemoryStreams) {
    ZipArchiveLocation where;
    EXPECT_TRUE(where.on_disk);
    EXPECT_EQ(tiv_zip_on_memory(where, 0), RC_OK);
    EXPECT_FALSE(where.on_disk);

    put_stream(reg, "in.zip", test::build_zip(sample_package()));
    ASSERT_EQ(unzip_package(reg, ZIP_MODE_MEMORY, "in.zip", {}, ZIP_MAX_ENTRIES, names, where), RC_OK);
    ASSERT_EQ(zip_package(reg, ZIP_MODE_MEMORY, "out.zip", {}, names, where), RC_OK);
    EXPECT_FALSE(fs::exists("out.zip"));

    Mfile* out = mopen(reg, "out.zip", "rb");
    ASSERT_NE(out, nullptr);
    auto span = mdata(out);
    const std::string bytes(span.begin(), span.end());
    mclose(out);
    const auto info = test::read_zip_bytes(bytes);
    const auto input = test::read_zip_bytes(test::build_zip(sample_package()));
    expect_composed_form(info, bytes, &input);
    std::vector<ZipEntry> got;
    for (const auto& e : info.entries) got.push_back({e.name, e.data});
    EXPECT_EQ(got, files_only(sample_package())) << "the names it is given, with the headers they came with";

    EXPECT_EQ(tiv_zip_on_memory(where, -1), RC_OK);
    EXPECT_TRUE(where.on_disk);
}

// ---- disk mode ----

std::time_t local_time(int y, int mo, int d, int h, int mi, int s) {
    std::tm t{};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = s;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

TEST_F(ZipPackageTest, DiskModeExtractsInsideTheTargetWithEntryTimesAndPacksThemBack) {
    // 2025-04-06 10:20:42 local time.
    const std::uint16_t date = (45 << 9) | (4 << 5) | 6, time = (10 << 11) | (20 << 5) | 21;
    test::write_zip(tmp / "in.zip", sample_package(), dated(date, time));
    const fs::path target = tmp / "out";
    fs::create_directories(target / "old");
    test::write_file(target / "old" / "stale.txt", "left from before");

    ASSERT_EQ(unzip_package(reg, ZIP_MODE_DISK, tmp / "in.zip", target, ZIP_MAX_ENTRIES, names), RC_OK);
    EXPECT_EQ(mcount(reg), 0);
    EXPECT_EQ(names, names_of(files_only(sample_package())));
    EXPECT_FALSE(fs::exists(target / "old")) << "the target is emptied first";
    EXPECT_TRUE(fs::is_directory(target / "xl" / "media"));
    for (const auto& e : files_only(sample_package())) {
        SCOPED_TRACE(e.name);
        EXPECT_EQ(test::read_file(target / e.name), e.data);
        std::time_t modified = 0;
        ASSERT_EQ(os::modified_time(target / e.name, modified), 0);
        EXPECT_EQ(modified, local_time(2025, 4, 6, 10, 20, 42));
    }

    ASSERT_EQ(zip_package(reg, ZIP_MODE_DISK, tmp / "again.zip", target, names), RC_OK);
    const auto info = test::read_zip_info(tmp / "again.zip");
    ASSERT_EQ(info.entries.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(info.entries[i].name, names[i]);
        EXPECT_EQ(info.entries[i].data, files_only(sample_package())[i].data);
        EXPECT_EQ(info.entries[i].method, 8);
        EXPECT_EQ(info.entries[i].dos_date, date);
        EXPECT_EQ(info.entries[i].dos_time, time);
        EXPECT_EQ(info.entries[i].extra_length, 0);
    }
    EXPECT_TRUE(info.comment.empty());
}

TEST_F(ZipPackageTest, DiskModeRefusesNamesThatLeaveTheTarget) {
    test::write_zip(tmp / "in.zip", {{"a.xml", "a"}, {"../escaped.txt", "x"}});
    const fs::path target = tmp / "out";
    fs::create_directories(target);
    test::write_file(target / "keep.txt", "kept");

    EXPECT_EQ(unzip_package(reg, ZIP_MODE_DISK, tmp / "in.zip", target, ZIP_MAX_ENTRIES, names), RC_FAIL);
    EXPECT_FALSE(fs::exists(tmp / "escaped.txt"));
    EXPECT_EQ(test::read_file(target / "keep.txt"), "kept") << "a refused archive changes nothing";
}

TEST_F(ZipPackageTest, DosTimesRoundTripThroughAFile) {
    const fs::path file = tmp / "f.txt";
    test::write_file(file, "x");
    const std::uint32_t dos = ((44u << 9 | 12u << 5 | 31u) << 16) | (23u << 11 | 59u << 5 | 29u);  // 2024-12-31 23:59:58
    ASSERT_EQ(set_file_dos_time(file, dos), RC_OK);
    std::uint32_t back = 0;
    ASSERT_EQ(get_file_dos_time(file, back), RC_OK);
    EXPECT_EQ(back, dos);
    EXPECT_EQ(get_file_dos_time(tmp / "missing", back), RC_FAIL);
}

// ---- the real-workbook corpus ----

bool starts_with_zip_signature(const std::string& bytes) { return bytes.rfind("PK\x03\x04", 0) == 0; }

// A zip that an independent reader takes whole: every entry readable and its CRC right.
bool readable_by_independent_reader(const std::string& bytes) {
    if (!starts_with_zip_signature(bytes)) return false;
    try {
        const auto info = test::read_zip_bytes(bytes);
        return std::all_of(info.entries.begin(), info.entries.end(), [](const auto& e) { return e.crc_ok; });
    } catch (const std::exception&) {
        return false;
    }
}

constexpr const char* PYTHON_CHECK = R"(import sys, zipfile
bad = 0
for line in open(sys.argv[1], encoding="utf-8"):
    src, out = line.rstrip("\n").split("\t")
    with zipfile.ZipFile(src) as a, zipfile.ZipFile(out) as b:
        want = a.infolist()
        got = b.infolist()
        problems = []
        if [i.filename for i in want] != [i.filename for i in got]:
            problems.append("entry names differ")
        elif any(a.read(x) != b.read(y) for x, y in zip(want, got)):
            problems.append("entry bytes differ")
        if b.testzip() is not None:
            problems.append("bad CRC in output")
        fields = lambda i: (i.compress_type, i.date_time, i.create_system, i.create_version, i.internal_attr,
                            i.external_attr, i.comment, i.flag_bits & 0x806)
        odd = [x.filename for x, y in zip(want, got) if fields(x) != fields(y)]
        if odd:
            problems.append("%d entries with other header fields, first %s" % (len(odd), odd[0]))
        if b.comment:
            problems.append("archive comment")
        if problems:
            bad += 1
            print(src, "; ".join(problems))
sys.exit(1 if bad else 0)
)";

TEST(ZipCorpusTest, EveryWorkbookRoundTripsAndDamagedFilesFailCleanly) {
    const fs::path corpus = test::corpus_dir();
    if (corpus.empty()) GTEST_SKIP() << "HUSHCEL_CORPUS is not set";
    TempDir tmp;
    std::ofstream pairs(tmp / "pairs.tsv", std::ios::binary);
    int round_trips = 0;

    std::vector<fs::path> files;
    for (const auto& e : fs::recursive_directory_iterator(corpus))
        if (e.is_regular_file() && e.path().extension() != ".md") files.push_back(e.path());
    std::sort(files.begin(), files.end());

    for (const fs::path& file : files) {
        SCOPED_TRACE(file.string());
        const std::string bytes = test::read_file(file);
        MfileRegistry reg;
        std::vector<std::string> names;
        const int rc = unzip_package(reg, ZIP_MODE_MEMORY, file, {}, ZIP_MAX_ENTRIES, names);
        if (!readable_by_independent_reader(bytes)) {
            // Encrypted or legacy compound files, truncated archives, bad checksums.
            EXPECT_NE(rc, RC_OK);
            if (!starts_with_zip_signature(bytes)) {
                EXPECT_EQ(rc, RC_OPEN);
            }
            continue;
        }
        ASSERT_EQ(rc, RC_OK);
        const auto original = test::read_zip_bytes(bytes);
        std::vector<ZipEntry> expected;
        for (const auto& e : original.entries)
            if (e.name.back() != '/') expected.push_back({e.name, e.data});
        EXPECT_EQ(names, names_of(expected));

        const fs::path out = tmp / ("out" + std::to_string(++round_trips) + ".xlsx");
        fs::path output;
        ASSERT_EQ(hsc_write_excel(reg, file, output, Direction::mask, false, out), RC_OK);
        const std::string out_bytes = test::read_file(out);
        const auto composed = test::read_zip_bytes(out_bytes);
        expect_composed_form(composed, out_bytes, &original);
        std::vector<ZipEntry> got, whole;
        for (const auto& e : composed.entries) got.push_back({e.name, e.data});
        for (const auto& e : original.entries) whole.push_back({e.name, e.data});
        EXPECT_EQ(got, whole);
        pairs << file.string() << '\t' << out.string() << '\n';
    }
    pairs.close();
    EXPECT_GT(round_trips, 0);

    // A second, unrelated reader of the composed archives.
    if (std::system("python3 -c 'import zipfile' >/dev/null 2>&1") != 0) GTEST_SKIP() << "python3 is not available";
    test::write_file(tmp / "check.py", PYTHON_CHECK);
    const std::string cmd = "python3 '" + (tmp / "check.py").string() + "' '" + (tmp / "pairs.tsv").string() +
                            "' >'" + (tmp / "report.txt").string() + "' 2>&1";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << test::read_file(tmp / "report.txt");
}

}  // namespace
}  // namespace hsc
