#include "engine/read_excel.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include "core/status.h"
#include "engine/backup_check.h"
#include "engine/backups.h"
#include "engine/leak_check.h"
#include "package/open_package.h"
#include "package/zip_package.h"
#include "os/atomic_file.h"
#include "package_fixture.h"
#include "support/recording_reporter.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

namespace hsc {
namespace {

namespace fs = std::filesystem;
using test::context;

StoredSettings settings(bool shapes) {
    StoredSettings s;
    s.password = "pass word";
    s.is_autoshape = shapes;
    return s;
}

std::vector<test::ZipEntry> zip_entries(const test::Entries& entries) {
    std::vector<test::ZipEntry> out;
    for (const auto& [name, bytes] : entries) out.push_back({name, bytes});
    return out;
}

std::map<std::string, std::string> by_name(const std::vector<test::ZipEntry>& entries) {
    std::map<std::string, std::string> m;
    for (const auto& e : entries) m[e.name] = e.data;
    return m;
}

bool is_drawing_part(const std::string& name) { return name.starts_with("xl/drawings/drawing"); }

// Masks `input` into `masked`, then restores `masked` into `restored`. Returns the status
// of the first step that failed.
int mask_and_restore(const fs::path& input, const fs::path& masked, const fs::path& restored, const StoredSettings& s,
                     const FileContext& mask_ctx) {
    {
        MfileRegistry reg;
        if (int rc = hsc_read_excel(reg, input, s, mask_ctx); rc != RC_OK) return rc;
        fs::path output;
        if (int rc = hsc_write_excel(reg, input, output, Direction::mask, false, masked); rc != RC_OK) return rc;
    }
    MfileRegistry reg;
    if (int rc = hsc_read_excel(reg, masked, s, context(Direction::unmask)); rc != RC_OK) return rc;
    fs::path output;
    return hsc_write_excel(reg, masked, output, Direction::unmask, false, restored);
}

test::Entries fixture_package() {
    test::Entries e = test::base_package();
    e.push_back({"xl/sharedStrings.xml", test::shared_strings({"Alice", "Bob"})});
    e.push_back({"xl/worksheets/sheet1.xml",
                 test::worksheet(R"(<c r="B1" t="s"><v>0</v></c><c r="D1" t="s"><v>1</v></c>)")});
    e.push_back({"xl/drawings/drawing1.xml", test::drawing("Total 2015")});
    return e;
}

TEST(HscReadExcel, MasksAndRestoresAPackageOnDisk) {
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", zip_entries(fixture_package()));
    ASSERT_EQ(mask_and_restore(dir / "book.xlsx", dir / "masked.xlsx", dir / "restored.xlsx", settings(true),
                               context(Direction::mask, {1})),
              RC_OK);
    auto masked = by_name(test::read_zip(dir / "masked.xlsx"));
    EXPECT_EQ(masked["xl/sharedStrings.xml"], test::shared_strings({"*****", "Bob"}));
    EXPECT_EQ(masked["xl/drawings/drawing1.xml"], test::drawing("***** 9999"));
    EXPECT_TRUE(masked.count("xl/BKsharedStrings.xml"));
    EXPECT_TRUE(masked.count("xl/drawings/BKdrawing1.xml"));
    EXPECT_FALSE(masked.count("TempsharedStrings.xml"));
    EXPECT_FALSE(masked.count("Tempdrawing.xml"));

    auto restored = by_name(test::read_zip(dir / "restored.xlsx"));
    EXPECT_EQ(restored["xl/sharedStrings.xml"], test::shared_strings({"Alice", "Bob"}));
    EXPECT_EQ(restored["xl/drawings/drawing1.xml"], test::drawing("Total 2015"));
    EXPECT_FALSE(restored.count("xl/BKsharedStrings.xml"));
    EXPECT_FALSE(restored.count("xl/drawings/BKdrawing1.xml"));
}

// A table that no worksheet names cannot be placed: masking refuses it.
TEST(HscReadExcel, RefusesATablePartNoWorksheetNames) {
    test::TempDir dir;
    auto e = fixture_package();
    e.push_back({"xl/tables/table1.xml", "<table/>"});
    test::write_zip(dir / "book.xlsx", zip_entries(e));
    MfileRegistry reg;
    EXPECT_EQ(hsc_read_excel(reg, dir / "book.xlsx", settings(false), context(Direction::mask)), RC_UNSUPPORTED_OBJECTS);
}

TEST(HscReadExcel, NotAZipFails) {
    test::TempDir dir;
    test::write_file(dir / "book.xlsx", "this is no zip archive");
    MfileRegistry reg;
    EXPECT_EQ(hsc_read_excel(reg, dir / "book.xlsx", settings(false), context(Direction::mask)), RC_FAIL);
    EXPECT_EQ(hsc_read_excel(reg, dir / "missing.xlsx", settings(false), context(Direction::mask)), RC_FAIL);
}

// Debian's interpreter, which has python3-openpyxl, before any other python3 on the path.
std::string python() { return fs::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3"; }

int run_python(const fs::path& script, const std::string& args) {
    const std::string command = python() + " '" + script.string() + "' " + args;
    return std::system(command.c_str());
}

// ---- the corpus -------------------------------------------------------------------------

std::vector<fs::path> corpus_zips() {
    std::vector<fs::path> files;
    const fs::path dir = test::corpus_dir();
    if (dir.empty()) return files;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (!entry.is_regular_file()) continue;
        const auto ext = entry.path().extension();
        if (ext != ".xlsx" && ext != ".xlsm") continue;
        if (test::read_file(entry.path()).substr(0, 2) == "PK") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

class CorpusRoundTrip : public testing::TestWithParam<bool> {};

TEST_P(CorpusRoundTrip, RestoringGivesBackTheMaskedPartsByteForByte) {
    const auto files = corpus_zips();
    if (files.empty()) GTEST_SKIP() << "HUSHCEL_CORPUS not set";
    const bool shapes = GetParam();
    int round_trips = 0;
    test::TempDir kept;  // restored workbooks whose cell values are compared at the end
    std::string pairs;
    for (const fs::path& input : files) {
        SCOPED_TRACE(input.string());
        std::vector<test::ZipEntry> original_list;
        try {
            original_list = test::read_zip(input);
        } catch (const std::exception&) {
            continue;  // not a readable zip: the extraction's own tests cover it
        }
        const auto original = by_name(original_list);
        bool bad_crc = false;
        for (const auto& info : test::read_zip_info(input).entries) bad_crc = bad_crc || !info.crc_ok;
        test::TempDir dir;
        const int rc = mask_and_restore(input, dir / "masked.xlsx", dir / "restored.xlsx", settings(shapes),
                                        context(Direction::mask));
        if (bad_crc) {  // an entry that fails its checksum is not taken in
            EXPECT_EQ(rc, RC_FAIL);
            continue;
        }
        ASSERT_EQ(rc, RC_OK);
        ++round_trips;
        auto masked = by_name(test::read_zip(dir / "masked.xlsx"));
        auto restored = by_name(test::read_zip(dir / "restored.xlsx"));
        const bool has_sst = original.count("xl/sharedStrings.xml") > 0;
        bool has_inline = false;
        for (const auto& [name, bytes] : original)
            has_inline = has_inline || (name.starts_with("xl/worksheets/sheet") && bytes.find("\"inlineStr\"") != std::string::npos);
        // Inline strings join the table (created when there is none) before the backup.
        EXPECT_EQ(masked.count("xl/BKsharedStrings.xml") > 0, has_sst || has_inline);
        if (!shapes) {
            const fs::path copy = kept / ("restored" + std::to_string(round_trips) + ".xlsx");
            fs::copy_file(dir / "restored.xlsx", copy);
            pairs += input.string() + "\t" + copy.string() + "\n";
        }
        std::size_t drawings = 0;
        for (const auto& [name, bytes] : original) {
            const bool is_drawing = is_drawing_part(name);
            if (name != "xl/sharedStrings.xml" && !is_drawing) continue;
            drawings += is_drawing;
            if (is_drawing || !has_inline) {  // a table that took inline strings grew
                EXPECT_EQ(masked[name].size(), bytes.size()) << name;
                EXPECT_EQ(restored[name], bytes) << name;
            }
            if (is_drawing && !shapes) {
                EXPECT_EQ(masked[name], bytes) << name;
            }
        }
        for (std::size_t k = 1; k <= drawings; ++k)
            EXPECT_EQ(masked.count(drawing_backup_name(k)) > 0, shapes) << k;
        // What masking marked comes back byte for byte: the workbook part (with any
        // fileSharing of its own) and the thumbnail.
        EXPECT_EQ(restored["xl/workbook.xml"], original.at("xl/workbook.xml"));
        for (const auto& [name, bytes] : original)
            if (name.starts_with("docProps/thumbnail.")) {
                EXPECT_EQ(restored[name], bytes) << name;
                EXPECT_EQ(restored["_rels/.rels"], original.at("_rels/.rels"));
            }
        for (const auto& [name, bytes] : restored) EXPECT_FALSE(name.find("/BK") != std::string::npos) << name;
        // Tables are left as they are: their column names still match the kept header cells.
        for (const auto& [name, bytes] : original)
            if (name.starts_with("xl/tables/")) {
                EXPECT_EQ(masked[name], bytes) << name;
                EXPECT_EQ(restored[name], bytes) << name;
            }
    }
    EXPECT_GT(round_trips, 0);
    if (pairs.empty()) return;  // with shapes masked no cell values are compared
    if (std::system((python() + " -c 'import openpyxl' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "openpyxl is not installed: the restored cell values were not compared";
    // Every restored workbook has the cell values of its original, read by openpyxl.
    test::write_file(kept / "pairs.txt", pairs);
    test::write_file(kept / "check.py", R"(import sys, warnings, openpyxl
warnings.simplefilter("ignore")
def values(path):
    wb = openpyxl.load_workbook(path)
    return {(ws.title, c.coordinate): c.value for ws in wb.worksheets for row in ws.iter_rows() for c in row
            if c.value is not None}
bad = []
for line in open(sys.argv[1], encoding="utf-8"):
    original, restored = line.rstrip("\n").split("\t")
    try:
        before = values(original)
    except Exception:
        continue  # a workbook openpyxl cannot read has nothing to compare
    if values(restored) != before:
        bad.append(original)
print(bad if bad else "ok")
sys.exit(1 if bad else 0)
)");
    EXPECT_EQ(run_python(kept / "check.py", "'" + (kept / "pairs.txt").string() + "'"), 0);
}

INSTANTIATE_TEST_SUITE_P(Shapes, CorpusRoundTrip, testing::Bool(),
                         [](const auto& info) { return std::string(info.param ? "On" : "Off"); });

// ---- an independent reader ----------------------------------------------------------------


// Every corpus workbook masked in full (all columns, shapes on, strongest step), then read
// by Python's zipfile and re: no worksheet keeps an inline string, and inside every text
// element of the shared strings and the drawings no letter, no digit but 9 and no
// multi-byte character but the mask characters ● and × is left, except the column names
// of tables, which their header cells keep.
TEST(HscReadExcel, CorpusMaskedTextHoldsOnlyMaskCharacters) {
    const auto files = corpus_zips();
    if (files.empty()) GTEST_SKIP() << "HUSHCEL_CORPUS not set";
    test::TempDir dir;
    int masked_count = 0;
    for (const fs::path& input : files) {
        MfileRegistry reg;
        if (hsc_read_excel(reg, input, settings(true), context(Direction::mask)) != RC_OK) continue;
        fs::path output;
        const fs::path masked = dir / ("masked" + std::to_string(masked_count++) + ".xlsx");
        ASSERT_EQ(hsc_write_excel(reg, input, output, Direction::mask, false, masked), RC_OK) << input;
    }
    ASSERT_GT(masked_count, 0);
    test::write_file(dir / "check.py", R"(import sys, re, zipfile, glob
text_element = re.compile(r"<(?:x:)?t(?:\s[^>]*)?>(.*?)</(?:x:)?t>|<a:t(?:\s[^>]*)?>(.*?)</a:t>", re.S)
bad = []
for path in sorted(glob.glob(sys.argv[1] + "/masked*.xlsx")):
    z = zipfile.ZipFile(path)
    table_names = {m.group(1) for name in z.namelist() if name.startswith("xl/tables/")
                   for m in re.finditer(r'<tableColumn [^>]*?name="([^"]*)[\x22]', z.read(name).decode("utf-8"))}
    for name in z.namelist():
        if name.startswith("xl/worksheets/sheet") and b'"inlineStr"' in z.read(name):
            bad.append((path, name, "inline string left"))
        if name != "xl/sharedStrings.xml" and not name.startswith("xl/drawings/drawing"):
            continue
        for m in text_element.finditer(z.read(name).decode("utf-8")):
            if m.group(1) in table_names:
                continue
            run = re.sub(r"&[^;]*;", "", m.group(1) if m.group(1) is not None else m.group(2))
            run = re.sub(r"_x[0-9A-Fa-f]{4}_", "", run)
            left = [c for c in run if re.match(r"[A-Za-z0-8]", c) or
                    (len(c.encode("utf-8")) > 1 and c not in "●×")]
            if left:
                bad.append((path, name, run[:40]))
print(len(bad), bad[:5])
sys.exit(1 if bad else 0)
)");
    EXPECT_EQ(run_python(dir / "check.py", "'" + dir.path().string() + "'"), 0);
}

// A complete small workbook, masked in columns B and C and read back by openpyxl: the
// target cells hold mask characters of the same length, a string used in B and D is
// masked in both, the others keep their text.
test::Entries readable_workbook() {
    const std::string ct =
        R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
        R"(<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
        R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
        R"(<Default Extension="xml" ContentType="application/xml"/>)"
        R"(<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>)"
        R"(<Override PartName="/xl/worksheets/sheet1.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>)"
        R"(<Override PartName="/xl/sharedStrings.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"/>)"
        R"(</Types>)";
    const std::string wb_rels =
        R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
        R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
        R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.xml"/>)"
        R"(<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings" Target="sharedStrings.xml"/>)"
        R"(</Relationships>)";
    const std::string sheet = test::worksheet(
        R"(<c r="A1" t="s"><v>0</v></c><c r="B1" t="s"><v>1</v></c><c r="C1" t="s"><v>2</v></c>)"
        R"(<c r="D1" t="s"><v>3</v></c></row><row r="2"><c r="B2"><v>42</v></c><c r="D2" t="s"><v>1</v></c>)"
        R"(</row><row r="3"><c r="C3" t="s"><v>4</v></c>)");
    return {{"[Content_Types].xml", ct},
            {"_rels/.rels", test::kRootRels},
            {"xl/workbook.xml", test::kWorkbook},
            {"xl/_rels/workbook.xml.rels", wb_rels},
            {"xl/worksheets/sheet1.xml", sheet},
            {"xl/sharedStrings.xml",
             test::shared_strings({"Header", "Alice Smith", "東京都ABC123", "Not masked", "Tom &amp; Jerry"})}};
}

TEST(HscReadExcel, MaskedWorkbookReadsBackAsMaskCharacters) {
    if (std::system((python() + " -c 'import openpyxl' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "openpyxl not installed";
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", zip_entries(readable_workbook()));
    test::write_file(dir / "check.py", R"(import sys, openpyxl
ws = openpyxl.load_workbook(sys.argv[1]).active
expected = {"A1": "Header", "B1": "***** *****", "C1": "●●●***999", "D1": "Not masked", "B2": 99,
            "D2": "***** *****", "C3": "*** & *****"}
bad = {k: ws[k].value for k, v in expected.items() if ws[k].value != v}
print(bad if bad else "ok")
sys.exit(1 if bad else 0)
)");
    MfileRegistry reg;
    ASSERT_EQ(hsc_read_excel(reg, dir / "book.xlsx", settings(false), context(Direction::mask, {1, 2})), RC_OK);
    fs::path output;
    ASSERT_EQ(hsc_write_excel(reg, dir / "book.xlsx", output, Direction::mask, false, dir / "masked.xlsx"), RC_OK);
    EXPECT_EQ(run_python(dir / "check.py", "'" + (dir / "masked.xlsx").string() + "'"), 0);
}

// ---- changes after masking ------------------------------------------------------------------

// The checks before a restore as a run makes them: the package opened once from its open
// file, unpacked, each backup deciphered once, then the lengths compared. The status of
// the first step that failed.
int changed_parts(const fs::path& book, std::vector<std::string>& changed, std::uint64_t budget = 0) {
    changed = {"stale"};
    InputFile in;
    if (in.open(book) != 0) return RC_OPEN;
    MfileRegistry reg;
    reg.max_package_bytes = budget;
    OpenPackage package;
    if (int rc = package.open(in.fd(), book, reg); rc != RC_OK) return rc;
    std::vector<std::string> entries;
    if (int rc = package.extract(reg, entries); rc != RC_OK) return rc;
    if (int rc = decipher_backups(reg, backup_entries(entries), BackupKey::original("pass word")); rc != RC_OK) return rc;
    changed = parts_changed_since_masking(reg, package.entry_names(), package.entry_sizes());
    return RC_OK;
}

// A masked part whose length differs from its backup's plain text was changed after
// masking; each drawing is paired with the backup of its position.
TEST(PartsChangedSinceMasking, NamesThePartsThatChangedLength) {
    test::TempDir dir;
    test::Entries e = fixture_package();
    e.push_back({"xl/drawings/drawing2.xml", test::drawing("Second")});
    test::write_zip(dir / "book.xlsx", zip_entries(e));
    MfileRegistry reg;
    ASSERT_EQ(hsc_read_excel(reg, dir / "book.xlsx", settings(true), context(Direction::mask)), RC_OK);
    fs::path output;
    ASSERT_EQ(hsc_write_excel(reg, dir / "book.xlsx", output, Direction::mask, false, dir / "masked.xlsx"), RC_OK);
    std::vector<std::string> changed;
    ASSERT_EQ(changed_parts(dir / "masked.xlsx", changed), RC_OK);
    EXPECT_EQ(changed, std::vector<std::string>{});

    auto entries = test::read_zip(dir / "masked.xlsx");
    for (auto& entry : entries)
        if (entry.name == "xl/drawings/drawing2.xml") entry.data.insert(entry.data.find("</a:t>"), " added");
    test::write_zip(dir / "edited.xlsx", entries);
    ASSERT_EQ(changed_parts(dir / "edited.xlsx", changed), RC_OK);
    EXPECT_EQ(changed, std::vector<std::string>{"xl/drawings/drawing2.xml"});

    std::erase_if(entries, [](const test::ZipEntry& entry) { return entry.name == "xl/sharedStrings.xml"; });
    test::write_zip(dir / "no_table.xlsx", entries);
    ASSERT_EQ(changed_parts(dir / "no_table.xlsx", changed), RC_OK);
    EXPECT_EQ(changed, (std::vector<std::string>{"xl/sharedStrings.xml", "xl/drawings/drawing2.xml"}));
}

// The checks before a restore and the leak scan unpack the package too: each keeps to the
// memory budget that the read keeps to.
TEST(PartsChangedSinceMasking, UnpackingStepsKeepToTheMemoryBudget) {
    test::TempDir dir;
    test::Entries e = fixture_package();
    e.push_back({"xl/media/padding.bin", std::string(3 << 20, 'p')});
    test::write_zip(dir / "book.xlsx", zip_entries(e));
    MfileRegistry reg;
    ASSERT_EQ(hsc_read_excel(reg, dir / "book.xlsx", settings(true), context(Direction::mask)), RC_OK);
    fs::path output;
    ASSERT_EQ(hsc_write_excel(reg, dir / "book.xlsx", output, Direction::mask, false, dir / "masked.xlsx"), RC_OK);
    mfree_all(reg);

    constexpr std::uint64_t TIGHT = 2 << 20, ROOMY = 16 << 20;
    std::vector<std::string> changed;
    EXPECT_EQ(changed_parts(dir / "masked.xlsx", changed, TIGHT), RC_SIZE_LIMIT);
    EXPECT_EQ(changed_parts(dir / "masked.xlsx", changed, ROOMY), RC_OK);
    EXPECT_EQ(changed, std::vector<std::string>{});

    MaskReport report;
    test::RecordingReporter tight;
    EXPECT_EQ(hsc_inspect_leaks(dir / "masked.xlsx", MaskSettings(settings(true)), report, tight, TIGHT), RC_FAIL);
    ASSERT_EQ(tight.errors.size(), 1u);
    EXPECT_NE(tight.errors[0].find("使用できるメモリの上限を超える"), std::string::npos) << tight.errors[0];
    test::RecordingReporter roomy;
    EXPECT_EQ(hsc_inspect_leaks(dir / "masked.xlsx", MaskSettings(settings(true)), report, roomy, ROOMY), RC_OK)
        << (roomy.errors.empty() ? "" : roomy.errors[0]);
}

// ---- what masking marks comes back --------------------------------------------------------

struct MarkCase {
    const char* name;
    std::string thumbnail;  // extension of the package's own thumbnail, or empty
};

void PrintTo(const MarkCase& c, std::ostream* os) { *os << c.name; }

// A workbook with its own fileSharing element (a read-only recommendation and a modern
// write-protection hash) and a thumbnail.
test::Entries marked_workbook(const std::string& thumbnail) {
    test::Entries e = fixture_package();
    std::string types = test::kContentTypes;
    std::string rels = test::kRootRels;
    if (!thumbnail.empty()) {
        const std::string type = thumbnail == "wmf" ? "image/x-wmf" : "image/jpeg";
        types.insert(types.find("</Types>"), "<Default Extension=\"" + thumbnail + "\" ContentType=\"" + type + "\"/>");
        rels.insert(rels.find("</Relationships>"),
                    "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/package/2006/relationships/"
                    "metadata/thumbnail\" Target=\"docProps/thumbnail." + thumbnail + "\"/>");
        e.push_back({"docProps/thumbnail." + thumbnail, std::string("\xFF\xD8 picture of ") + thumbnail + std::string(1, '\0')});
    }
    e[0].second = types;
    e[1].second = rels;
    e[2].second =
        R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
        "\r\n"
        R"(<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><fileVersion appName="xl"/>)"
        R"(<fileSharing readOnlyRecommended="1" userName="Ann" algorithmName="SHA-512" hashValue="q/w=" saltValue="e+r=" spinCount="100000"/>)"
        R"(<workbookPr defaultThemeVersion="124226"/><sheets><sheet name="S" sheetId="1" r:id="rId1"/></sheets></workbook>)";
    return e;
}

// Every entry has a content type: a Default for its extension or an Override.
std::vector<std::string> untyped_entries(const std::map<std::string, std::string>& package) {
    const std::string& types = package.at("[Content_Types].xml");
    std::vector<std::string> untyped;
    for (const auto& [name, bytes] : package) {
        if (name == "[Content_Types].xml") continue;
        const std::string ext = name.substr(name.rfind('.') + 1);
        if (types.find("Extension=\"" + ext + "\"") == std::string::npos &&
            types.find("PartName=\"/" + name + "\"") == std::string::npos)
            untyped.push_back(name);
    }
    return untyped;
}

class MarksComeBack : public testing::TestWithParam<MarkCase> {};

TEST_P(MarksComeBack, WorkbookPartAndThumbnailByteForByte) {
    const std::string ext = GetParam().thumbnail;
    test::TempDir dir;
    const auto original = marked_workbook(ext);
    test::write_zip(dir / "book.xlsx", zip_entries(original));
    ASSERT_EQ(mask_and_restore(dir / "book.xlsx", dir / "masked.xlsx", dir / "restored.xlsx", settings(true),
                               context(Direction::mask)),
              RC_OK);
    const auto masked = by_name(test::read_zip(dir / "masked.xlsx"));
    EXPECT_NE(masked.at("xl/workbook.xml").find("<fileSharing reservationPassword="), std::string::npos);
    EXPECT_EQ(masked.at("xl/workbook.xml").find("Ann"), std::string::npos);
    EXPECT_EQ(masked.count("xl/BKworkbook.xml"), 1u);
    EXPECT_EQ(masked.count("docProps/BKthumbnail." + ext + ".xml"), ext.empty() ? 0u : 1u);
    // A reader that knows only the table's and the drawings' backups leaves the others
    // in place: the package stays valid, every entry has its content type.
    EXPECT_EQ(untyped_entries(masked), std::vector<std::string>{});

    const auto restored = by_name(test::read_zip(dir / "restored.xlsx"));
    // Every part but the content types, which keep the JPEG default masking added.
    for (const auto& [name, bytes] : original) {
        if (name != "[Content_Types].xml") {
            EXPECT_EQ(restored.at(name), bytes) << name;
        }
    }
    EXPECT_EQ(restored.size(), original.size());  // no backup, no striped thumbnail left
    EXPECT_EQ(untyped_entries(restored), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Thumbnails, MarksComeBack,
                         testing::Values(MarkCase{"NoThumbnail", ""}, MarkCase{"Jpeg", "jpeg"}, MarkCase{"Wmf", "wmf"}),
                         [](const auto& info) { return std::string(info.param.name); });

// A package with two thumbnails gets both back, and no backup stays behind: the
// restored workbook can be masked again.
TEST(MarksComeBackTwoThumbnails, EveryThumbnailComesBack) {
    test::TempDir dir;
    auto original = marked_workbook("wmf");
    original[0].second.insert(original[0].second.find("</Types>"),
                              R"(<Default Extension="jpeg" ContentType="image/jpeg"/>)");
    original.push_back({"docProps/thumbnail.jpeg", std::string("\xFF\xD8 second picture")});
    test::write_zip(dir / "book.xlsx", zip_entries(original));
    ASSERT_EQ(mask_and_restore(dir / "book.xlsx", dir / "masked.xlsx", dir / "restored.xlsx", settings(false),
                               context(Direction::mask)),
              RC_OK);
    const auto restored = by_name(test::read_zip(dir / "restored.xlsx"));
    // Every part but the content types, whose defaults may come back in another order.
    for (const auto& [name, bytes] : original) {
        if (name != "[Content_Types].xml") {
            EXPECT_EQ(restored.at(name), bytes) << name;
        }
    }
    EXPECT_EQ(restored.size(), original.size());
    EXPECT_EQ(untyped_entries(restored), std::vector<std::string>{});
    MfileRegistry reg;
    EXPECT_EQ(hsc_read_excel(reg, dir / "restored.xlsx", settings(false), context(Direction::mask)), RC_OK);
}

// A workbook part changed after masking (a sheet added in a spreadsheet program) keeps
// its change: only the reservation is cut out of it.
TEST(MarksComeBackTransform, ChangedWorkbookPartKeepsItsChanges) {
    MfileRegistry reg;
    auto names = test::load_package(reg, marked_workbook("jpeg"));
    ASSERT_EQ(transform_package(reg, names, settings(false), context(Direction::mask)), RC_OK);
    std::string workbook = test::stream(reg, "xl/workbook.xml");
    workbook.insert(workbook.find("</sheets>"), R"(<sheet name="Added" sheetId="2" r:id="rId9"/>)");
    test::put_stream(reg, "xl/workbook.xml", workbook);
    names.clear();
    mlist(reg, names);
    ASSERT_EQ(transform_package(reg, names, settings(false), context(Direction::unmask)), RC_OK);
    const std::string restored = test::stream(reg, "xl/workbook.xml");
    EXPECT_NE(restored.find(R"(<sheet name="Added")"), std::string::npos);
    EXPECT_EQ(restored.find("reservationPassword"), std::string::npos);
    EXPECT_FALSE(test::has_stream(reg, "xl/BKworkbook.xml"));
}

// ---- inline strings -------------------------------------------------------------------------

const char* kSheetType = "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml";

std::string content_types(bool with_table) {
    return std::string(R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
                       R"(<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
                       R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
                       R"(<Default Extension="xml" ContentType="application/xml"/>)"
                       R"(<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>)"
                       R"(<Override PartName="/xl/worksheets/sheet1.xml" ContentType=")") +
           kSheetType + "\"/>" +
           (with_table ? R"(<Override PartName="/xl/sharedStrings.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"/>)"
                       : "") +
           "</Types>";
}

std::string workbook_rels(bool with_table) {
    return std::string(R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
                       R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
                       R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.xml"/>)") +
           (with_table ? R"(<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings" Target="sharedStrings.xml"/>)"
                       : "") +
           "</Relationships>";
}

struct InlineBook {
    const char* name;
    test::Entries entries;
    std::string expected_masked;  // Python dict of cell -> value after masking column B
};

void PrintTo(const InlineBook& b, std::ostream* os) { *os << b.name; }

// No shared-string table at all: masking creates one, with its relationship and type.
InlineBook book_without_table() {
    const std::string sheet = test::worksheet(
        R"(<c r="A1" t="inlineStr"><is><t>Header</t></is></c><c r="B1" t="inlineStr"><is><t>Alice Smith</t></is></c>)"
        R"(<c r="D1" t="inlineStr"><is><t>Bob</t></is></c></row><row r="2"><c r="B2" t="inlineStr"><is>)"
        R"(<r><rPr><b/></rPr><t>山田</t></r><r><t xml:space="preserve"> 太郎</t></r></is></c><c r="C2"><v>42</v></c>)");
    return {"NoTable",
            {{"[Content_Types].xml", content_types(false)},
             {"_rels/.rels", test::kRootRels},
             {"xl/workbook.xml", test::kWorkbook},
             {"xl/_rels/workbook.xml.rels", workbook_rels(false)},
             {"xl/worksheets/sheet1.xml", sheet}},
            R"({"A1": "Header", "B1": "***** *****", "D1": "Bob", "B2": "●● ●●", "C2": 42})"};
}

// A table with counts, and a worksheet written with the x: prefix.
InlineBook book_with_prefixed_sheet() {
    const std::string sheet =
        R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
        R"(<x:worksheet xmlns:x="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><x:sheetData>)"
        R"(<x:row r="1"><x:c r="A1" t="s"><x:v>0</x:v></x:c><x:c r="B1" t="s"><x:v>1</x:v></x:c></x:row>)"
        R"(<x:row r="2"><x:c r="B2" t="inlineStr"><x:is><x:t>Dave Miller</x:t></x:is></x:c>)"
        R"(<x:c r="C2" t="inlineStr"><x:is><x:t>keep</x:t></x:is></x:c></x:row></x:sheetData></x:worksheet>)";
    std::string table = test::shared_strings({"Header", "Carol"});
    table.replace(table.find("<sst "), 5, R"(<sst count="2" uniqueCount="2" )");
    return {"PrefixedSheet",
            {{"[Content_Types].xml", content_types(true)},
             {"_rels/.rels", test::kRootRels},
             {"xl/workbook.xml", test::kWorkbook},
             {"xl/_rels/workbook.xml.rels", workbook_rels(true)},
             {"xl/sharedStrings.xml", table},
             {"xl/worksheets/sheet1.xml", sheet}},
            R"({"A1": "Header", "B1": "*****", "B2": "**** ******", "C2": "keep"})"};
}

class InlineStrings : public testing::TestWithParam<InlineBook> {};

// Masked in column B and read by openpyxl: the inline strings of B show mask characters,
// the others their text; restored, every cell has the value it had.
TEST_P(InlineStrings, MaskAndRestoreThroughAnIndependentReader) {
    if (std::system((python() + " -c 'import openpyxl' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "openpyxl not installed";
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", zip_entries(GetParam().entries));
    ASSERT_EQ(mask_and_restore(dir / "book.xlsx", dir / "masked.xlsx", dir / "restored.xlsx", settings(false),
                               context(Direction::mask, {1})),
              RC_OK);
    test::write_file(dir / "check.py", std::string(R"(import re, sys, openpyxl, zipfile
def values(path):
    wb = openpyxl.load_workbook(path)
    return {c.coordinate: c.value for ws in wb for row in ws.iter_rows() for c in row if c.value is not None}
masked, restored, original = (values(sys.argv[i]) for i in (2, 3, 1))
expected = )") + GetParam().expected_masked + R"(
bad = []
if masked != expected: bad.append(("masked", masked))
if restored != original: bad.append(("restored", restored, original))
if re.search(rb'<(?:x:)?c r="B[0-9]+"[^>]*t="inlineStr"', zipfile.ZipFile(sys.argv[2]).read("xl/worksheets/sheet1.xml")):
    bad.append("an inline string of column B is left")
print(bad if bad else "ok")
sys.exit(1 if bad else 0)
)");
    const auto q = [&](const char* name) { return "'" + (dir / name).string() + "' "; };
    EXPECT_EQ(run_python(dir / "check.py", q("book.xlsx") + q("masked.xlsx") + q("restored.xlsx")), 0);
    // The table was taken into the backup with the new items: restoring gives back the
    // worksheet as masking rewrote it and the table that belongs to it.
    const auto masked = by_name(test::read_zip(dir / "masked.xlsx"));
    const auto restored = by_name(test::read_zip(dir / "restored.xlsx"));
    EXPECT_EQ(restored.at("xl/worksheets/sheet1.xml"), masked.at("xl/worksheets/sheet1.xml"));
    EXPECT_EQ(restored.at("xl/sharedStrings.xml").size(), masked.at("xl/sharedStrings.xml").size());
    EXPECT_EQ(restored.count("xl/BKsharedStrings.xml"), 0u);
}

INSTANTIATE_TEST_SUITE_P(Books, InlineStrings, testing::Values(book_without_table(), book_with_prefixed_sheet()),
                         [](const auto& info) { return std::string(info.param.name); });

// Only worksheets that hold inline strings of the chosen columns are rewritten.
TEST(InlineStringsPackage, OtherWorksheetsStayByteForByte) {
    test::Entries e = book_without_table().entries;
    const std::string untouched = test::worksheet(R"(<c r="A1" t="inlineStr"><is><t>only A</t></is></c>)");
    e.push_back({"xl/worksheets/sheet2.xml", untouched});
    MfileRegistry reg;
    auto names = test::load_package(reg, e);
    ASSERT_EQ(transform_package(reg, names, settings(false), context(Direction::mask, {1})), RC_OK);
    EXPECT_EQ(test::stream(reg, "xl/worksheets/sheet2.xml"), untouched);
    EXPECT_NE(test::stream(reg, "xl/worksheets/sheet1.xml"), e[4].second);
    const std::string rels = test::stream(reg, "xl/_rels/workbook.xml.rels");
    EXPECT_NE(rels.find(R"(Target="sharedStrings.xml" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings" Id="rId2")"),
              std::string::npos) << rels;
    EXPECT_NE(test::stream(reg, "[Content_Types].xml").find("PartName=\"/xl/sharedStrings.xml\""), std::string::npos);
}

// A package that names its shared-string part under another name gets no second table.
TEST(InlineStringsPackage, TableUnderAnotherNameIsLeftAlone) {
    test::Entries e = book_without_table().entries;
    e[3].second = workbook_rels(true);
    std::string rels = e[3].second;
    rels.replace(rels.find("Target=\"sharedStrings.xml\""), 26, "Target=\"SharedStrings.xml\"");
    e[3].second = rels;
    MfileRegistry reg;
    auto names = test::load_package(reg, e);
    MaskReport report;
    ASSERT_EQ(transform_package(reg, names, settings(false), context(Direction::mask, {1}), &report), RC_OK);
    EXPECT_FALSE(test::has_stream(reg, "xl/sharedStrings.xml"));
    // The strings of column B stay readable: the report says so.
    EXPECT_EQ(report.inline_cells_left, 2u);
    EXPECT_FALSE(report.complete());
    EXPECT_EQ(test::stream(reg, "xl/_rels/workbook.xml.rels"), rels);
    EXPECT_EQ(test::stream(reg, "xl/worksheets/sheet1.xml"), e[4].second);
}

// Cells index every item of the table, the empty <si/> among them: the flag of B1 falls
// on the item it refers to and the report counts what was masked.
TEST(SharedStringItems, EmptyItemDoesNotShiftTheMaskedItem) {
    test::Entries e = test::base_package();
    std::string table = test::shared_strings({"Public0", "SecretName", "Public3"});
    table.insert(table.find("<si><t>SecretName"), "<si/>");
    e.push_back({"xl/sharedStrings.xml", table});
    e.push_back({"xl/worksheets/sheet1.xml", test::worksheet(R"(<c r="A1" t="s"><v>0</v></c><c r="B1" t="s"><v>2</v></c>)")});
    MfileRegistry reg;
    auto names = test::load_package(reg, e);
    MaskReport report;
    ASSERT_EQ(transform_package(reg, names, settings(false), context(Direction::mask, {1}), &report), RC_OK);
    std::string expected = table;
    expected.replace(expected.find("SecretName"), 10, "**********");
    EXPECT_EQ(test::stream(reg, "xl/sharedStrings.xml"), expected);
    EXPECT_EQ(report.shared_strings, 1u);
    EXPECT_EQ(report.cells, 1u);
    EXPECT_EQ(report.unmasked_items, 0u);
    EXPECT_TRUE(report.complete());
}

// A workbook part of more than 100 kB without <workbookPr> masks and restores.
TEST(WorkbookPartPackage, LargePartWithoutWorkbookPrMasks) {
    test::Entries e = fixture_package();
    std::string names;
    for (int i = 0; names.size() <= 120000; ++i)
        names += "<definedName name=\"n" + std::to_string(i) + "\">Sheet1!$A$1</definedName>";
    std::string workbook = test::kWorkbook;
    workbook.erase(workbook.find("<workbookPr"), std::string_view(R"(<workbookPr defaultThemeVersion="124226"/>)").size());
    workbook.insert(workbook.find("</workbook>"), "<definedNames>" + names + "</definedNames>");
    e[2].second = workbook;
    MfileRegistry reg;
    auto names_in = test::load_package(reg, e);
    ASSERT_EQ(transform_package(reg, names_in, settings(false), context(Direction::mask, {1})), RC_OK);
    EXPECT_NE(test::stream(reg, "xl/workbook.xml").find("<fileSharing "), std::string::npos);
    EXPECT_EQ(test::stream(reg, "xl/sharedStrings.xml"), test::shared_strings({"*****", "Bob"}));
}

}  // namespace
}  // namespace hsc
