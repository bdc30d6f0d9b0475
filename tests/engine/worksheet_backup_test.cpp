#include <gtest/gtest.h>

#include <string>
#include <vector>
#include <zlib.h>

#include "core/status.h"
#include "engine/backups.h"
#include "engine/memory_need.h"
#include "engine/read_excel.h"
#include "package/package_entries.h"
#include "package_fixture.h"

namespace hsc {
namespace {

using test::context;
using test::Entries;
using test::has_stream;
using test::stream;

constexpr int COLUMN_B = 1;

// A part as a package holds it: a raw deflate stream.
std::string deflated(std::string_view bytes) {
    z_stream zs{};
    EXPECT_EQ(deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&zs, static_cast<uLong>(bytes.size())), '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    zs.avail_in = static_cast<uInt>(bytes.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

std::uint32_t crc_of(std::string_view bytes) {
    return static_cast<std::uint32_t>(crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

// The worksheet as it was, from a backup's plain text; nullopt when it does not read.
std::optional<std::string> original_of(std::string_view plain) {
    WorksheetBackup backup;
    std::string storage;
    std::string_view original;
    if (!read_worksheet_backup(plain, backup) || !worksheet_original(backup, storage, original)) return std::nullopt;
    return std::string(original);
}

// Both forms give the worksheet back; a deflated one must inflate to exactly the size
// and CRC-32 its line records, else it is refused rather than restored wrong.
TEST(WorksheetBackup, BothFormsGiveTheWorksheetBackAndADeflatedOneIsChecked) {
    const std::string original = test::worksheet(R"(<c r="B1"><v>1500001</v></c>)");
    const std::string masked = test::worksheet(R"(<c r="B1"><v>9999999</v></c>)");
    const std::string packed = deflated(original);
    const auto line = [&](std::uint64_t size, std::uint32_t crc) {
        return deflated_worksheet_backup_line(masked, size, crc);
    };
    struct Case {
        const char* label;
        std::string plain;
        bool gives_original;
    };
    const Case cases[] = {
        {"bytes", worksheet_backup_line(masked) + original, true},
        {"deflated", line(original.size(), crc_of(original)) + packed, true},
        {"deflated, another CRC", line(original.size(), crc_of(original) ^ 1) + packed, false},
        {"deflated, a byte longer", line(original.size() + 1, crc_of(original)) + packed, false},
        {"deflated, a byte shorter", line(original.size() - 1, crc_of(original)) + packed, false},
        {"deflated, cut", line(original.size(), crc_of(original)) + packed.substr(0, packed.size() / 2), false},
        {"deflated, more after its end", line(original.size(), crc_of(original)) + packed + "x", false},
        {"deflated, larger than any stream", line(std::uint64_t{1} << 40, crc_of(original)) + packed, false},
        {"unknown mark", "HSCSHEET9 1 00000000\n" + original, false},
    };
    for (const Case& c : cases) {
        const auto got = original_of(c.plain);
        EXPECT_EQ(got.has_value(), c.gives_original) << c.label;
        if (got) EXPECT_EQ(*got, original) << c.label;
    }
    // Either line names the worksheet as masking left it.
    for (const std::string& plain : {cases[0].plain, cases[1].plain}) {
        WorksheetBackup backup;
        ASSERT_TRUE(read_worksheet_backup(plain, backup));
        EXPECT_EQ(backup.masked_size, masked.size());
        EXPECT_EQ(backup.masked_crc, crc_of(masked));
    }
}

StoredSettings settings(bool text_only) {
    StoredSettings s;
    s.password = "secret";
    s.is_text_only = text_only;
    return s;
}

// A sheet long enough that its deflate stream is far smaller than it: column B holds
// numbers, a date and (`text`) a plain-text cell; column C a formula over B.
Entries number_package(bool text = true) {
    std::string rows;
    for (int r = 1; r <= 2000; ++r) {
        const std::string n = std::to_string(r);
        rows += "<row r=\"" + n + "\"><c r=\"A" + n + "\" t=\"s\"><v>0</v></c><c r=\"B" + n + "\"><v>" +
                std::to_string(1000000 + r * 7) + "</v></c><c r=\"C" + n + "\"><f>B" + n + "*2</f><v>" +
                std::to_string(2000000 + r * 14) + "</v></c></row>";
    }
    rows += R"(<row r="2001"><c r="B2001" t="d"><v>1985-03-12</v></c></row>)";
    if (text) rows += R"(<row r="2002"><c r="B2002" t="str"><v>Sato</v></c></row>)";
    std::string sheet = test::worksheet("");
    sheet.replace(sheet.find("<row r=\"1\"></row>"), std::string_view("<row r=\"1\"></row>").size(), rows);
    Entries e = test::base_package();
    e.push_back({"xl/sharedStrings.xml", test::shared_strings({"Alice"})});
    e.push_back({"xl/worksheets/sheet1.xml", sheet});
    return e;
}

// Loads the parts as unpacking a workbook leaves them: each keeps its deflated form
// (or, with `plain_only`, as a part stored without one).
std::vector<std::string> load(MfileRegistry& reg, const Entries& entries, bool plain_only) {
    std::vector<std::string> names = test::load_package(reg, entries);
    if (!plain_only)
        for (const auto& [name, bytes] : entries) mkeep_deflated(mopen(reg, name, "rb"), [&] {
                const std::string d = deflated(bytes);
                return std::vector<std::uint8_t>(d.begin(), d.end());
            }(), crc_of(bytes));
    return names;
}

// Masking numbers rewrites the worksheet where it stands and backs it up; the backup of a
// part that kept its deflated form is that form (a fraction of the worksheet), of one
// without it the worksheet's bytes. Either way the restore gives it back byte for byte.
TEST(WorksheetBackup, MaskedNumbersComeBackByteForByteFromEitherForm) {
    const Entries original = number_package();
    const std::string& sheet = original.back().second;
    for (const bool plain_only : {false, true}) {
        SCOPED_TRACE(plain_only ? "stored without a deflated form" : "deflated");
        MfileRegistry reg;
        auto names = load(reg, original, plain_only);
        MaskReport report;
        ASSERT_EQ(transform_package(reg, names, settings(false), context(Direction::mask, {COLUMN_B}), &report), RC_OK);
        EXPECT_EQ(report.values.numbers, 2000u);
        EXPECT_EQ(report.values.dates, 1u);
        EXPECT_EQ(report.values.texts, 1u);
        const std::string masked = stream(reg, "xl/worksheets/sheet1.xml");
        EXPECT_EQ(masked.find("<v>1000007</v>"), std::string::npos);
        EXPECT_NE(masked.find("<f>B1*2</f>"), std::string::npos) << "the formula stays";
        const std::string backup = worksheet_backup_name("xl/worksheets/sheet1.xml");
        ASSERT_TRUE(has_stream(reg, backup));
        if (plain_only)
            EXPECT_GT(stream(reg, backup).size(), sheet.size());
        else
            EXPECT_LT(stream(reg, backup).size(), sheet.size() / 4);

        std::vector<std::string> again;
        mlist(reg, again);
        ASSERT_EQ(transform_package(reg, again, settings(false), context(Direction::unmask)), RC_OK);
        EXPECT_EQ(stream(reg, "xl/worksheets/sheet1.xml"), sheet);
        EXPECT_FALSE(has_stream(reg, backup));
    }
}

// A worksheet whose numbers are masked and whose inline strings are turned into shared
// ones is backed up as it is finally written: the restore finds it unchanged and gives
// the whole worksheet back, inline strings and all.
TEST(WorksheetBackup, AWorksheetWithInlineStringsTooComesBackWhole) {
    Entries e = test::base_package();
    e.push_back({"xl/sharedStrings.xml", test::shared_strings({"Alice"})});
    e.push_back({"xl/worksheets/sheet1.xml",
                 test::worksheet(R"(<c r="A1" t="s"><v>0</v></c><c r="B1" t="inlineStr"><is><t>Sato</t></is></c>)"
                                 R"(<c r="B2"><v>9012345678</v></c>)")});
    for (const bool plain_only : {false, true}) {
        SCOPED_TRACE(plain_only ? "stored without a deflated form" : "deflated");
        MfileRegistry reg;
        auto names = load(reg, e, plain_only);
        ASSERT_EQ(transform_package(reg, names, settings(false), context(Direction::mask, {COLUMN_B})), RC_OK);
        ASSERT_EQ(stream(reg, "xl/worksheets/sheet1.xml").find("inlineStr"), std::string::npos);
        std::vector<std::string> again;
        mlist(reg, again);
        ASSERT_EQ(transform_package(reg, again, settings(false), context(Direction::unmask)), RC_OK);
        EXPECT_EQ(stream(reg, "xl/worksheets/sheet1.xml"), e.back().second);
    }
}

// The need counted before masking covers what the restore of that masking will need (so
// a run that will not fit is refused before it begins), and taking the numbers counts
// the worksheet's backup.
TEST(WorksheetBackup, TheNeedBeforeMaskingCoversTheRestoreOfIt) {
    const Entries original = number_package(false);
    const std::string packed = deflated(original.back().second);
    for (const bool text_only : {false, true}) {
        SCOPED_TRACE(text_only ? "text only" : "numbers");
        MfileRegistry reg;
        auto names = load(reg, original, false);
        const std::uint64_t before = processing_need(reg, ValueMasking{!text_only, false});
        if (!text_only)
            EXPECT_GE(before, processing_need(reg, ValueMasking{false, false}) + 3 * packed.size());
        ASSERT_EQ(transform_package(reg, names, settings(text_only), context(Direction::mask, {COLUMN_B})), RC_OK);
        EXPECT_GE(before, processing_need(reg));
    }
}

}  // namespace
}  // namespace hsc
