// Restored means restored to the last part: the content types, the package's
// relationships, the order of the entries, their folder entries, dates and header fields
// and the archive comment come back as they were; every backup entry is declared opaque
// data, so that a reader which restores only the table and the drawings still leaves a
// valid package; a thumbnail of any kind is backed up and striped.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <regex>

#include "core/status.h"
#include "engine/driver.h"
#include "engine/package_backup.h"
#include "engine/package_fixture.h"
#include "package/archive_layout.h"
#include "package/package_entries.h"
#include "support/quick_kdf.h"
#include "support/recording_reporter.h"
#include "support/temp_dir.h"
#include "support/workbook_fixture.h"
#include "support/zip_builder.h"

namespace hsc {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view MAIN_TYPE = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml";

// A workbook as some writers make it: folder entries, its own dates, a comment, a PNG
// thumbnail, drawings, and a Default for "xml" that is the workbook part's type (the
// workbook part has no Override of its own).
std::vector<test::ZipEntry> writer_workbook() {
    auto e = test::small_workbook({"山田太郎", "東京都千代田区", "03-1234-5678", "Alice", "Bob", "Carol"});
    std::string& types = e[0].data;
    types.replace(types.find("application/xml"), 15, MAIN_TYPE);
    const std::string workbook_override =
        R"(<Override PartName="/xl/workbook.xml" ContentType=")" + std::string(MAIN_TYPE) + R"("/>)";
    types.erase(types.find(workbook_override), workbook_override.size());
    types.insert(types.find("</Types>"),
                 R"(<Default Extension="png" ContentType="image/png"/><Override PartName="/xl/drawings/drawing1.xml" )"
                 R"(ContentType="application/vnd.openxmlformats-officedocument.drawing+xml"/>)");
    e[1].data.insert(e[1].data.find("</Relationships>"),
                     R"(<Relationship Id="rId9" Type="http://schemas.openxmlformats.org/package/2006/relationships/metadata/thumbnail" Target="docProps/thumbnail.png"/>)");
    e.insert(e.begin() + 2, {"xl/", ""});
    e.push_back({"xl/drawings/", ""});
    e.push_back({"xl/drawings/drawing1.xml", test::drawing("図形の山田太郎")});
    e.push_back({"docProps/thumbnail.png", std::string("\x89PNG\r\n\x1a\n a preview of the data", 31)});
    return e;
}

// The content type a package's [Content_Types].xml gives an entry.
std::string content_type_of(const std::string& types, const std::string& entry) {
    const std::regex override_re(R"re(<Override PartName="/([^"]*)" ContentType="([^"]*)"/>)re");
    for (std::sregex_iterator m(types.begin(), types.end(), override_re), end; m != end; ++m)
        if ((*m)[1] == entry) return (*m)[2];
    const std::regex default_re(R"re(<Default Extension="([^"]*)" ContentType="([^"]*)"/>)re");
    const std::string ext = entry.substr(entry.rfind('.') + 1);
    for (std::sregex_iterator m(types.begin(), types.end(), default_re), end; m != end; ++m)
        if ((*m)[1] == ext) return (*m)[2];
    return {};
}

class PackageBackupTest : public ::testing::Test {
protected:
    PackageBackupTest() {
        settings.password = "tulip-ankle-crisp";
        settings.is_autoshape = true;
        test::ZipBuildOptions o;
        o.dos_date = 0x5A86;  // 2025-04-06
        o.dos_time = 0x5295;
        o.comment = "written by a spreadsheet program";
        test::write_zip(book(), writer_workbook(), o);
    }
    fs::path book() const { return dir / "book.xlsx"; }
    fs::path masked() const { return dir / "●book.xlsx"; }
    fs::path restored() const { return dir / "〇●book.xlsx"; }
    int process(const fs::path& input, const MaskSettings& s, ProcessOptions options = test::quick_kdf()) {
        options.kdf_cost = KdfCost{1, 64 << 10};
        options.lang = Lang::en;
        rep = test::RecordingReporter{};
        fs::path output;
        return hsc_process_file(input, output, s, ctx, rep, options);
    }
    std::string first_error() const { return rep.errors.empty() ? std::string() : rep.errors.front(); }

    test::TempDir dir;
    MaskSettings settings;
    FileContext ctx;
    test::RecordingReporter rep;
};

TEST_F(PackageBackupTest, RestoredEqualsTheOriginalEntryByEntryInBothFormats) {
    for (const bool compat : {false, true}) {
        SCOPED_TRACE(compat ? "compatible format" : "strong format");
        fs::remove(masked());
        fs::remove(restored());
        MaskSettings s = settings;
        s.is_compat = compat;
        ASSERT_EQ(process(book(), s), RC_OK) << first_error();
        const auto m = test::read_zip_info(masked());
        std::map<std::string, std::string> masked_parts;
        for (const auto& e : m.entries) {
            masked_parts[e.name] = e.data;
            // Every entry carries a valid date: its own, or 1980-01-01 for a new one.
            EXPECT_NE(e.dos_date & 0x1F, 0) << e.name;
            EXPECT_NE((e.dos_date >> 5) & 0x0F, 0) << e.name;
        }
        EXPECT_EQ(masked_parts.count("docProps/thumbnail.png"), 0u) << "striped like any other";
        EXPECT_EQ(masked_parts.count("docProps/BKthumbnail.png.xml"), 1u);
        EXPECT_EQ(masked_parts.count(std::string(BACKUP_PACKAGE)), 1u);
        // Every backup is opaque data, whatever the Default for "xml" says.
        for (const auto& [name, bytes] : masked_parts)
            if (is_backup_entry(name))
                EXPECT_EQ(content_type_of(masked_parts.at("[Content_Types].xml"), name), BACKUP_CONTENT_TYPE) << name;

        ASSERT_EQ(process(masked(), s), RC_OK) << first_error();
        const auto original = test::read_zip_info(book());
        const auto back = test::read_zip_info(restored());
        ASSERT_EQ(back.entries.size(), original.entries.size());
        for (std::size_t i = 0; i < original.entries.size(); ++i) {
            const auto& a = original.entries[i];
            const auto& b = back.entries[i];
            SCOPED_TRACE(a.name);
            EXPECT_EQ(b.name, a.name);
            EXPECT_TRUE(b.data == a.data);
            EXPECT_EQ(b.dos_date, a.dos_date);
            EXPECT_EQ(b.dos_time, a.dos_time);
            EXPECT_EQ(b.method, a.method);
            EXPECT_EQ(b.external_attributes, a.external_attributes);
        }
        EXPECT_EQ(back.comment, original.comment);
    }
}

// With the package backup switched off, as a reader built to the original format's
// description restores (the table and drawings back, the thumbnail removed, the content
// types kept as masking wrote them): the backups it leaves behind are still opaque data
// and no second workbook part appears, so the package stays valid.
TEST_F(PackageBackupTest, AReaderOfTheOriginalFormatLeavesAValidPackage) {
    MaskSettings s = settings;
    s.is_compat = true;
    ASSERT_EQ(process(book(), s), RC_OK) << first_error();
    ProcessOptions original = test::quick_kdf();
    original.original_only = true;
    ASSERT_EQ(process(masked(), s, original), RC_OK) << first_error();
    std::map<std::string, std::string> parts;
    for (const auto& e : test::read_zip(restored())) parts[e.name] = e.data;
    const std::string& types = parts.at("[Content_Types].xml");
    int workbooks = 0;
    for (const auto& [name, bytes] : parts) {
        if (name.ends_with("/") || name == "[Content_Types].xml") continue;
        const std::string type = content_type_of(types, name);
        EXPECT_FALSE(type.empty()) << name << " has no content type";
        if (type == MAIN_TYPE) ++workbooks;
        if (is_backup_entry(name)) EXPECT_EQ(type, BACKUP_CONTENT_TYPE) << name;
    }
    EXPECT_EQ(workbooks, 1) << types;
    EXPECT_EQ(parts.count(std::string(BACKUP_PACKAGE)), 1u) << "left behind, as such a reader does";
    EXPECT_EQ(parts.at("xl/sharedStrings.xml"), test::entry_data(writer_workbook(), "xl/sharedStrings.xml"));

    // An independent reader opens it.
    if (std::system("/usr/bin/python3 -c 'import openpyxl' >/dev/null 2>&1") != 0) GTEST_SKIP() << "no openpyxl";
    const std::string cmd = "/usr/bin/python3 -c 'import openpyxl,sys; wb=openpyxl.load_workbook(sys.argv[1]); "
                            "sys.exit(0 if wb.active[\"A1\"].value == \"山田太郎\" else 1)' '" +
                            restored().string() + "' >/dev/null 2>&1";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
}

// Content types edited after masking are not replaced blindly: the restore keeps them,
// without the Overrides masking gave the backups; the rest still comes back.
TEST_F(PackageBackupTest, EditedContentTypesKeepTheirEditsWithoutBackupTypes) {
    ASSERT_EQ(process(book(), settings), RC_OK) << first_error();
    const auto info = test::read_zip_info(masked());
    std::vector<test::ZipEntry> entries;
    for (const auto& e : info.entries) {
        entries.push_back({e.name, e.data});
        if (e.name == "[Content_Types].xml")
            entries.back().data.insert(e.data.find("</Types>"), R"(<Default Extension="bin" ContentType="application/x-edited"/>)");
    }
    test::ZipBuildOptions o;
    o.comment = info.comment;
    test::write_zip(masked(), entries, o);
    ASSERT_EQ(process(masked(), settings), RC_OK) << first_error();
    const auto back = test::read_zip_info(restored());
    std::string types;
    for (const auto& e : back.entries)
        if (e.name == "[Content_Types].xml") types = e.data;
    EXPECT_NE(types.find("application/x-edited"), std::string::npos);
    EXPECT_EQ(types.find(BACKUP_CONTENT_TYPE), std::string::npos) << types;
    EXPECT_EQ(back.comment, "written by a spreadsheet program");
    EXPECT_EQ(back.entries.size(), writer_workbook().size());
}

TEST(PackageBackupRecord, ReadsBackWhatItWritesAndRefusesAnythingElse) {
    PackageBackup b;
    b.content_types = {1234, 0xDEADBEEF, "<Types>\n two lines</Types>"};
    b.relationships = {7, 0x1, ""};
    b.layout.comment = std::string("a comment\0with a zero byte\n", 27);
    ArchiveEntryHeader folder;
    folder.name = "xl/";
    folder.folder = true;
    folder.method = 0;
    ArchiveEntryHeader file;
    file.name = "xl/表 1.xml";
    file.dos_date_time = 0x5A865295;
    file.version_made_by = 0x031E;
    file.flag = 0x0806;
    file.internal_attributes = 1;
    file.external_attributes = 0x81A40000;
    file.extra = std::string("UT\x05\0\x03\x01\x02\x03\x04", 9);
    file.comment = "entry comment";
    b.layout.entries = {folder, file};
    const std::string text = package_backup_text(b);
    PackageBackup read;
    ASSERT_TRUE(read_package_backup_text(text, read));
    EXPECT_EQ(read.content_types.original, b.content_types.original);
    EXPECT_EQ(read.content_types.masked_size, 1234u);
    EXPECT_EQ(read.content_types.masked_crc, 0xDEADBEEFu);
    EXPECT_EQ(read.relationships.original, "");
    EXPECT_EQ(read.layout, b.layout);

    for (const std::string& bad : {std::string(), std::string("HSCPACKAGE1"), text.substr(0, text.size() - 1),
                                   text.substr(0, 40), "HSCPACKAGE2" + text.substr(11), text + "E F 0 0 0 8 0 0 - - -\n",
                                   text + "C 00\n"}) {
        PackageBackup untouched;
        EXPECT_FALSE(read_package_backup_text(bad, untouched)) << bad.size();
    }
}

TEST(CompositionOrder, FollowsTheLayoutThenTheRest) {
    ArchiveLayout layout;
    for (const char* name : {"b.xml", "dir/", "a.xml", "gone.xml"}) {
        ArchiveEntryHeader e;
        e.name = name;
        e.folder = std::string_view(name).ends_with('/');
        layout.entries.push_back(e);
    }
    EXPECT_EQ(composition_order(layout, {"new.xml", "a.xml", "b.xml"}),
              (std::vector<std::string>{"b.xml", "dir/", "a.xml", "new.xml"}));
    EXPECT_EQ(composition_order({}, {"x", "y"}), (std::vector<std::string>{"x", "y"}));
}

}  // namespace
}  // namespace hsc
