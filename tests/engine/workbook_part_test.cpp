#include "engine/workbook_part.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "core/status.h"
#include "support/temp_dir.h"

namespace hsc {
namespace {

void put(MfileRegistry& reg, std::string_view name, std::string_view bytes) {
    Mfile* f = mopen(reg, name, "wb");
    ASSERT_NE(f, nullptr) << name;
    ASSERT_TRUE(mwrite_all(f, bytes));
    mclose(f);
}

std::vector<std::string> live_names(const MfileRegistry& reg) {
    std::vector<std::string> names;
    mlist(reg, names);
    std::sort(names.begin(), names.end());
    return names;
}

bool is_live(const MfileRegistry& reg, std::string_view name) {
    auto names = live_names(reg);
    return std::find(names.begin(), names.end(), name) != names.end();
}

std::string get(MfileRegistry& reg, std::string_view name) {
    EXPECT_TRUE(is_live(reg, name)) << name;
    std::string out;
    EXPECT_EQ(read_whole_file(reg, 0, name, out), Status::ok) << name;
    return out;
}

// ---------------------------------------------------------------------------------------
// The write-password verifier. Reference values: openpyxl's hash_password for ASCII texts
// of up to 24 characters (where its unbounded integers agree with 32-bit arithmetic), and
// for CP932 bytes passed to it as the sign-extended characters U+FF80-U+FFFF; a separate
// Python transcription of the verifier loop in 32-bit arithmetic for the wider values.

struct HashCase {
    std::string name;
    std::string text;
    std::uint32_t expected;
};

void PrintTo(const HashCase& c, std::ostream* os) { *os << c.name; }

class ReservationHash : public ::testing::TestWithParam<HashCase> {};

TEST_P(ReservationHash, MatchesReference) {
    EXPECT_EQ(reservation_password_hash(GetParam().text), GetParam().expected) << std::hex << GetParam().expected;
}

INSTANTIATE_TEST_SUITE_P(
    Reference, ReservationHash,
    ::testing::Values(HashCase{"one_letter", "z", 0xCEBE},                                   // openpyxl
                      HashCase{"fallback", "Q-Marle", 0xEDE2},                               // openpyxl
                      HashCase{"default_password", "zQ-Marle", 0x89EB},                      // openpyxl
                      HashCase{"word", "zpassword", 0xD56F},                                 // openpyxl
                      HashCase{"punctuation", "zSecret-2024!", 0x9EEA},                      // openpyxl
                      HashCase{"cp932_bytes", "z\x93\xfa\x96\x7b", 0xB935},                  // openpyxl
                      HashCase{"below_0x1000", "zJBd0Kh8oOOL8dKLzdocJ2is", 0x526},           // openpyxl
                      HashCase{"below_0x100", "zzmaZsV2GenFmtX0moDoqW4s", 0x0E},             // openpyxl
                      HashCase{"thirty_two_bytes", "z0123456789abcdefghijklmnopqrstu", 0xCDEB},  // 32-bit loop
                      HashCase{"high_bytes_late", "zaaaaaaaaaaaaaaa\x82\xa0\x82", 0xFFFF4A7Bu},   // 32-bit loop
                      HashCase{"high_byte_at_32", "zaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\xe9", 0xFFFF31F5u}),
    [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------------------------------------
// The workbook part.

constexpr std::string_view FS_DEFAULT = R"(<fileSharing reservationPassword="89EB" userName="Hushcel"/>)";

struct WorkbookCase {
    std::string name;
    Direction direction;
    std::string password;
    std::string input;
    int expected_rc;
    std::string expected;  // the rewritten text (when expected_rc is 0)
};

void PrintTo(const WorkbookCase& c, std::ostream* os) { *os << c.name; }

class WorkbookRewrite : public ::testing::TestWithParam<WorkbookCase> {};

TEST_P(WorkbookRewrite, RewritesAndWritesBack) {
    const WorkbookCase& c = GetParam();
    MfileRegistry reg;
    put(reg, "xl/workbook.xml", "untouched");
    StoredSettings s;
    s.password = c.password;
    std::string text = c.input;
    ASSERT_EQ(rewrite_workbook_part(reg, text, s, c.direction), c.expected_rc);
    if (c.expected_rc == RC_OK) {
        EXPECT_EQ(text, c.expected);
        EXPECT_EQ(get(reg, "xl/workbook.xml"), c.expected);
    } else {
        EXPECT_EQ(text, c.input);  // a failure leaves the caller's text alone
    }
}

const std::string PLAIN = R"(<workbook><fileVersion appName="xl"/><workbookPr date1904="0"/><bookViews/></workbook>)";
const std::string MASKED = R"(<workbook><fileVersion appName="xl"/>)" + std::string(FS_DEFAULT) +
                           R"(<workbookPr date1904="0"/><bookViews/></workbook>)";

std::string with_before_pr(std::string_view element) {
    return R"(<workbook><fileVersion appName="xl"/>)" + std::string(element) +
           R"(<workbookPr date1904="0"/><bookViews/></workbook>)";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WorkbookRewrite,
    ::testing::Values(
        WorkbookCase{"mask_inserts_before_workbookPr", Direction::mask, "Q-Marle", PLAIN, RC_OK, MASKED},
        WorkbookCase{"mask_empty_password_uses_fallback", Direction::mask, "", PLAIN, RC_OK,
                     with_before_pr(R"(<fileSharing reservationPassword="EDE2" userName="Hushcel"/>)")},
        WorkbookCase{"mask_three_hex_digits", Direction::mask, "JBd0Kh8oOOL8dKLzdocJ2is", PLAIN, RC_OK,
                     with_before_pr(R"(<fileSharing reservationPassword="526" userName="Hushcel"/>)")},
        WorkbookCase{"mask_two_hex_digits", Direction::mask, "zmaZsV2GenFmtX0moDoqW4s", PLAIN, RC_OK,
                     with_before_pr(R"(<fileSharing reservationPassword="0E" userName="Hushcel"/>)")},
        WorkbookCase{"mask_wide_value_eight_digits", Direction::mask, "aaaaaaaaaaaaaaa\x82\xa0\x82", PLAIN, RC_OK,
                     with_before_pr(R"(<fileSharing reservationPassword="FFFF4A7B" userName="Hushcel"/>)")},
        WorkbookCase{"mask_replaces_earlier_masking", Direction::mask, "Q-Marle",
                     with_before_pr(R"(<fileSharing reservationPassword="1234" userName="Hushcel"/>)"), RC_OK,
                     MASKED},
        WorkbookCase{"mask_replaces_users_reservation", Direction::mask, "Q-Marle",
                     with_before_pr(R"(<fileSharing readOnlyRecommended="1" userName="Ann" reservationPassword="CC1A"/>)"),
                     RC_OK, MASKED},
        WorkbookCase{"mask_replaces_hashed_file_sharing", Direction::mask, "Q-Marle",
                     with_before_pr(R"(<fileSharing userName="Ann" algorithmName="SHA-512" hashValue="q/w=" saltValue="e+r=" spinCount="100000"/>)"),
                     RC_OK, MASKED},
        WorkbookCase{"mask_before_workbookProtection_without_workbookPr", Direction::mask, "Q-Marle",
                     R"(<workbook><workbookProtection lockStructure="1"/><sheets/></workbook>)", RC_OK,
                     "<workbook>" + std::string(FS_DEFAULT) + R"(<workbookProtection lockStructure="1"/><sheets/></workbook>)"},
        // Wherever the part stands, the element goes where the schema puts it.
        WorkbookCase{"mask_without_workbookPr_first_in_the_root", Direction::mask, "Q-Marle",
                     R"(<workbook><fileSharing reservationPassword="1234"/><sheets/></workbook>)", RC_OK,
                     "<workbook>" + std::string(FS_DEFAULT) + "<sheets/></workbook>"},
        WorkbookCase{"mask_without_workbookPr_after_fileVersion", Direction::mask, "Q-Marle",
                     R"(<?xml version="1.0"?><workbook xmlns="m"><fileVersion appName="x"></fileVersion><bookViews/></workbook>)",
                     RC_OK,
                     R"(<?xml version="1.0"?><workbook xmlns="m"><fileVersion appName="x"></fileVersion>)" +
                         std::string(FS_DEFAULT) + "<bookViews/></workbook>"},
        WorkbookCase{"mask_prefixed_part", Direction::mask, "Q-Marle",
                     R"(<x:workbook xmlns:x="m"><x:fileVersion appName="HCell"/><x:bookViews/></x:workbook>)", RC_OK,
                     R"(<x:workbook xmlns:x="m"><x:fileVersion appName="HCell"/><x:fileSharing reservationPassword="89EB" userName="Hushcel"/><x:bookViews/></x:workbook>)"},
        WorkbookCase{"mask_prefixed_before_workbookPr", Direction::mask, "Q-Marle",
                     R"(<x:workbook xmlns:x="m"><x:workbookPr/></x:workbook>)", RC_OK,
                     R"(<x:workbook xmlns:x="m"><x:fileSharing reservationPassword="89EB" userName="Hushcel"/><x:workbookPr/></x:workbook>)"},
        WorkbookCase{"mask_no_root_inserts_nothing", Direction::mask, "Q-Marle", "<other/>", RC_OK, "<other/>"},
        WorkbookCase{"unmask_removes_reservation", Direction::unmask, "other", MASKED, RC_OK, PLAIN},
        WorkbookCase{"unmask_removes_prefixed_element", Direction::unmask, "",
                     with_before_pr(R"(<x:fileSharing reservationPassword="89EB" userName="Hushcel"/>)"), RC_OK, PLAIN},
        WorkbookCase{"unmask_removes_element_with_closing_tag", Direction::unmask, "",
                     with_before_pr(R"(<fileSharing reservationPassword="89EB"></fileSharing>)"), RC_OK, PLAIN},
        WorkbookCase{"unmask_quoted_bracket_in_user_name", Direction::unmask, "",
                     with_before_pr(R"(<fileSharing userName="a>b" reservationPassword="89EB"/>)"), RC_OK, PLAIN},
        WorkbookCase{"unmask_removes_every_occurrence", Direction::unmask, "",
                     with_before_pr(R"(<fileSharing reservationPassword="1"/><fileSharing reservationPassword="2"/>)"),
                     RC_OK, PLAIN},
        WorkbookCase{"unmask_without_reservation_unchanged", Direction::unmask, "", PLAIN, RC_OK, PLAIN},
        WorkbookCase{"unmask_keeps_hashed_file_sharing", Direction::unmask, "",
                     with_before_pr(R"(<fileSharing userName="Ann" hashValue="q/w="/>)"), RC_OK,
                     with_before_pr(R"(<fileSharing userName="Ann" hashValue="q/w="/>)")},
        // The text in other places is data: a sheet or a defined name must survive.
        WorkbookCase{"sheet_named_reservationPassword_kept", Direction::unmask, "",
                     R"(<workbook><sheets><sheet name="reservationPassword" sheetId="1"/></sheets></workbook>)", RC_OK,
                     R"(<workbook><sheets><sheet name="reservationPassword" sheetId="1"/></sheets></workbook>)"},
        WorkbookCase{"defined_name_text_kept", Direction::unmask, "",
                     R"(<workbook><definedNames><definedName name="a">reservationPassword</definedName></definedNames></workbook>)",
                     RC_OK,
                     R"(<workbook><definedNames><definedName name="a">reservationPassword</definedName></definedNames></workbook>)"},
        WorkbookCase{"no_opening_bracket", Direction::unmask, "", R"(reservationPassword="1"/><workbookPr/>)", RC_FAIL, ""},
        WorkbookCase{"no_closing_bracket", Direction::mask, "x", R"(<workbook><fileSharing reservationPassword="1")",
                     RC_FAIL, ""}),
    [](const auto& info) { return info.param.name; });

TEST(WorkbookRewrite, RestoreGivesBackTheOriginalText) {
    for (const std::string& original :
         {PLAIN, std::string(R"(<workbook><workbookPr/></workbook>)"),
          std::string(R"(<x:workbook><x:workbookPr codeName="ThisWorkbook"/><x:sheets/></x:workbook>)"),
          std::string(R"(<workbook><sheets/></workbook>)")}) {
        MfileRegistry reg;
        StoredSettings s;
        s.password = "pw";
        std::string text = original;
        ASSERT_EQ(rewrite_workbook_part(reg, text, s, Direction::mask), RC_OK);
        ASSERT_EQ(rewrite_workbook_part(reg, text, s, Direction::unmask), RC_OK);
        EXPECT_EQ(text, original);
        EXPECT_EQ(get(reg, "xl/workbook.xml"), original);
    }
}

TEST(WorkbookRewrite, SizeLimitCountsFromWorkbookPrToTheEnd) {
    const std::string head = "<workbook>" + std::string(200000, ' ');  // bytes before do not count
    for (auto [tail_size, expected_rc] : {std::pair{WORKBOOK_PR_TAIL_MAX - 1, RC_OK},
                                          std::pair{WORKBOOK_PR_TAIL_MAX, RC_SIZE_LIMIT}}) {
        std::string tail = "<workbookPr/>";
        tail += std::string(tail_size - tail.size() - 11, ' ') + "</workbook>";
        ASSERT_EQ(tail.size(), tail_size);
        MfileRegistry reg;
        StoredSettings s;
        std::string text = head + tail;
        EXPECT_EQ(rewrite_workbook_part(reg, text, s, Direction::mask), expected_rc) << tail_size;
        // Restoring inserts nothing, so the limit does not apply.
        text = head + tail;
        EXPECT_EQ(rewrite_workbook_part(reg, text, s, Direction::unmask), RC_OK) << tail_size;
    }
}

// Without <workbookPr> the reservation goes after the root's start tag: a large part
// (many sheets or defined names) is no reason to refuse.
TEST(WorkbookRewrite, LargePartWithoutWorkbookPrIsMarked) {
    std::string names;
    while (names.size() <= WORKBOOK_PR_TAIL_MAX) names += "<definedName name=\"n" + std::to_string(names.size()) + "\">A1</definedName>";
    for (const std::string head : {"<workbook>", "<workbook><fileVersion appName=\"xl\"/>"}) {
        const std::string original = head + "<definedNames>" + names + "</definedNames></workbook>";
        MfileRegistry reg;
        StoredSettings s;
        std::string text = original;
        ASSERT_EQ(rewrite_workbook_part(reg, text, s, Direction::mask), RC_OK) << head;
        EXPECT_EQ(text.find("<fileSharing "), head.size()) << head;
        ASSERT_EQ(rewrite_workbook_part(reg, text, s, Direction::unmask), RC_OK);
        EXPECT_EQ(text, original);
    }
}

// ---------------------------------------------------------------------------------------
// The thumbnail.

constexpr std::string_view JPEG_DEFAULT = R"(<Default Extension="jpeg" ContentType="image/jpeg"/>)";
constexpr std::string_view TYPES_HEAD =
    R"(<Types><Default Extension="rels" ContentType="r"/><Default Extension="xml" ContentType="application/xml"/>)";
constexpr std::string_view RELS_BASE =
    R"(<Relationships><Relationship Id="rId3" Type="e" Target="docProps/app.xml"/>)"
    R"(<Relationship Id="rId2" Type="c" Target="docProps/core.xml"/>)"
    R"(<Relationship Id="rId1" Type="o" Target="xl/workbook.xml"/>)";
constexpr std::string_view THUMB_TYPE =
    "http://schemas.openxmlformats.org/package/2006/relationships/metadata/thumbnail";

std::string new_relationship(int n) {
    return R"(<Relationship Target="docProps/thumbnail.jpeg" Type=")" + std::string(THUMB_TYPE) + R"(" Id="rId)" +
           std::to_string(n) + R"("/>)";
}
std::string thumb_relationship(std::string_view target) {
    return R"(<Relationship Id="rId4" Type=")" + std::string(THUMB_TYPE) + R"(" Target=")" + std::string(target) +
           R"("/>)";
}

struct ThumbCase {
    std::string name;
    std::vector<std::pair<std::string, std::string>> parts;  // besides the content types and rels
    std::string types;
    std::string rels;
    int expected_rc;
    std::string expected_types;
    std::string expected_rels;
    std::vector<std::string> expected_names;  // the live streams afterwards
};

void PrintTo(const ThumbCase& c, std::ostream* os) { *os << c.name; }

class ThumbnailMask : public ::testing::TestWithParam<ThumbCase> {};

const std::vector<std::uint8_t> IMAGE = {0xFF, 0xD8, 'p', 'i', 'c', 0xFF, 0xD9};

TEST_P(ThumbnailMask, ReplacesThumbnail) {
    const ThumbCase& c = GetParam();
    MfileRegistry reg;
    std::vector<std::string> entries = {"[Content_Types].xml", "_rels/.rels"};
    put(reg, "[Content_Types].xml", c.types);
    put(reg, "_rels/.rels", c.rels);
    for (const auto& [name, bytes] : c.parts) {
        put(reg, name, bytes);
        entries.push_back(name);
    }
    ASSERT_EQ(replace_thumbnail(reg, entries, IMAGE, Direction::mask), c.expected_rc);
    EXPECT_EQ(live_names(reg), c.expected_names);
    EXPECT_EQ(get(reg, "[Content_Types].xml"), c.expected_types);
    EXPECT_EQ(get(reg, "_rels/.rels"), c.expected_rels);
    if (c.expected_rc == RC_OK) {
        EXPECT_EQ(get(reg, "docProps/thumbnail.jpeg"), std::string(IMAGE.begin(), IMAGE.end()));
    }
}

const std::string TYPES_PLAIN = std::string(TYPES_HEAD) + "</Types>";
const std::string TYPES_WITH_JPEG = std::string(TYPES_HEAD) + std::string(JPEG_DEFAULT) + "</Types>";
const std::string RELS_PLAIN = std::string(RELS_BASE) + "</Relationships>";
const std::vector<std::string> NAMES_AFTER = {"[Content_Types].xml", "_rels/.rels", "docProps/thumbnail.jpeg"};

std::string types_with(std::string_view elements) { return std::string(TYPES_HEAD) + std::string(elements) + "</Types>"; }
std::string rels_with(std::string_view elements) { return std::string(RELS_BASE) + std::string(elements) + "</Relationships>"; }

INSTANTIATE_TEST_SUITE_P(
    Cases, ThumbnailMask,
    ::testing::Values(
        ThumbCase{"none_gets_jpeg_default_and_rId4", {}, TYPES_PLAIN, RELS_PLAIN, RC_OK, TYPES_WITH_JPEG,
                  rels_with(new_relationship(4)), NAMES_AFTER},
        ThumbCase{"existing_jpeg_default_not_repeated", {}, TYPES_WITH_JPEG, RELS_PLAIN, RC_OK, TYPES_WITH_JPEG,
                  rels_with(new_relationship(4)), NAMES_AFTER},
        ThumbCase{"upper_case_jpeg_default_not_repeated", {}, types_with(R"(<Default Extension="JPEG" ContentType="image/jpeg"/>)"),
                  RELS_PLAIN, RC_OK, types_with(R"(<Default Extension="JPEG" ContentType="image/jpeg"/>)"),
                  rels_with(new_relationship(4)), NAMES_AFTER},
        ThumbCase{"rId_numbers_compare_as_numbers", {}, TYPES_WITH_JPEG,
                  R"(<Relationships><Relationship Id="rId9" Target="a"/><Relationship Id="rId10" Target="b"/></Relationships>)",
                  RC_OK, TYPES_WITH_JPEG,
                  R"(<Relationships><Relationship Id="rId9" Target="a"/><Relationship Id="rId10" Target="b"/>)" +
                      new_relationship(11) + "</Relationships>",
                  NAMES_AFTER},
        ThumbCase{"rId_without_relationships_is_rId1", {}, TYPES_WITH_JPEG, "<Relationships></Relationships>", RC_OK,
                  TYPES_WITH_JPEG, "<Relationships>" + new_relationship(1) + "</Relationships>", NAMES_AFTER},
        ThumbCase{"jpeg_present_is_replaced",
                  {{"docProps/thumbnail.jpeg", "old preview"}},
                  TYPES_WITH_JPEG, rels_with(thumb_relationship("docProps/thumbnail.jpeg")), RC_OK, TYPES_WITH_JPEG,
                  rels_with(thumb_relationship("docProps/thumbnail.jpeg")), NAMES_AFTER},
        ThumbCase{"wmf_replaced",
                  {{"docProps/thumbnail.wmf", "wmf preview"}},
                  types_with(R"(<Default Extension="wmf" ContentType="image/x-wmf"/>)"),
                  rels_with(thumb_relationship("docProps/thumbnail.wmf")), RC_OK, TYPES_WITH_JPEG,
                  rels_with(thumb_relationship("docProps/thumbnail.jpeg")), NAMES_AFTER},
        ThumbCase{"wmf_override_replaced",
                  {{"docProps/thumbnail.wmf", "wmf preview"}},
                  types_with(R"(<Override PartName="/docProps/thumbnail.wmf" ContentType="image/x-wmf"/>)"),
                  rels_with(thumb_relationship("/docProps/thumbnail.wmf")), RC_OK, TYPES_WITH_JPEG,
                  rels_with(thumb_relationship("/docProps/thumbnail.jpeg")), NAMES_AFTER},
        ThumbCase{"emf_replaced",
                  {{"docProps/thumbnail.emf", "emf preview"}},
                  types_with(R"(<Default Extension="emf" ContentType="image/x-emf"/>)"),
                  rels_with(thumb_relationship("docProps/thumbnail.emf")), RC_OK, TYPES_WITH_JPEG,
                  rels_with(thumb_relationship("docProps/thumbnail.jpeg")), NAMES_AFTER},
        // Another WMF picture of the workbook still needs the Default.
        ThumbCase{"wmf_default_kept_for_other_pictures",
                  {{"docProps/thumbnail.wmf", "wmf preview"}, {"xl/media/image1.WMF", "picture"}},
                  types_with(R"(<Default Extension="wmf" ContentType="image/x-wmf"/>)"),
                  rels_with(thumb_relationship("docProps/thumbnail.wmf")), RC_OK,
                  types_with(R"(<Default Extension="wmf" ContentType="image/x-wmf"/>)" + std::string(JPEG_DEFAULT)),
                  rels_with(thumb_relationship("docProps/thumbnail.jpeg")),
                  {"[Content_Types].xml", "_rels/.rels", "docProps/thumbnail.jpeg", "xl/media/image1.WMF"}},
        // A thumbnail of any other kind is replaced like a WMF one.
        ThumbCase{"png_replaced",
                  {{"docProps/thumbnail.png", "png preview"}},
                  types_with(R"(<Default Extension="png" ContentType="image/png"/>)"),
                  rels_with(thumb_relationship("docProps/thumbnail.png")), RC_OK, TYPES_WITH_JPEG,
                  rels_with(thumb_relationship("docProps/thumbnail.jpeg")), NAMES_AFTER},
        ThumbCase{"png_default_kept_for_other_pictures",
                  {{"docProps/thumbnail.png", "png preview"}, {"xl/media/image1.png", "picture"}},
                  types_with(R"(<Default Extension="png" ContentType="image/png"/>)"),
                  rels_with(thumb_relationship("/docProps/thumbnail.png")), RC_OK,
                  types_with(R"(<Default Extension="png" ContentType="image/png"/>)" + std::string(JPEG_DEFAULT)),
                  rels_with(thumb_relationship("/docProps/thumbnail.jpeg")),
                  {"[Content_Types].xml", "_rels/.rels", "docProps/thumbnail.jpeg", "xl/media/image1.png"}},
        ThumbCase{"gif_override_replaced",
                  {{"docProps/thumbnail.gif", "gif preview"}},
                  types_with(R"(<Override PartName="/docProps/thumbnail.gif" ContentType="image/gif"/>)"),
                  rels_with(thumb_relationship("docProps/thumbnail.gif")), RC_OK, TYPES_WITH_JPEG,
                  rels_with(thumb_relationship("docProps/thumbnail.jpeg")), NAMES_AFTER},
        ThumbCase{"missing_relationships_end", {}, TYPES_WITH_JPEG, "<Relationships/>", RC_FAIL, TYPES_WITH_JPEG,
                  "<Relationships/>", {"[Content_Types].xml", "_rels/.rels"}},
        ThumbCase{"rId_value_too_long",
                  {},
                  TYPES_WITH_JPEG,
                  R"(<Relationships><Relationship Id="rId)" + std::string(RELATIONSHIP_VALUE_MAX + 1, '7') +
                      R"(" Target="a"/></Relationships>)",
                  RC_SIZE_LIMIT, TYPES_WITH_JPEG,
                  R"(<Relationships><Relationship Id="rId)" + std::string(RELATIONSHIP_VALUE_MAX + 1, '7') +
                      R"(" Target="a"/></Relationships>)",
                  {"[Content_Types].xml", "_rels/.rels"}},
        ThumbCase{"text_after_old_target_too_long",
                  {{"docProps/thumbnail.wmf", "wmf preview"}},
                  TYPES_WITH_JPEG,
                  rels_with(thumb_relationship("docProps/thumbnail.wmf") +
                            "<!--" + std::string(RELATIONSHIP_VALUE_MAX, '-') + "-->"),
                  RC_SIZE_LIMIT, TYPES_WITH_JPEG,
                  rels_with(thumb_relationship("docProps/thumbnail.wmf") +
                            "<!--" + std::string(RELATIONSHIP_VALUE_MAX, '-') + "-->"),
                  {"[Content_Types].xml", "_rels/.rels"}}),
    [](const auto& info) { return info.param.name; });

TEST(Thumbnail, IdValueAtTheLimitIsRead) {
    MfileRegistry reg;
    const std::string rels = R"(<Relationships><Relationship Id="rId)" + std::string(RELATIONSHIP_VALUE_MAX - 1, '0') +
                             R"(5" Target="a"/></Relationships>)";
    put(reg, "[Content_Types].xml", TYPES_WITH_JPEG);
    put(reg, "_rels/.rels", rels);
    ASSERT_EQ(replace_thumbnail(reg, {"[Content_Types].xml", "_rels/.rels"}, IMAGE, Direction::mask), RC_OK);
    EXPECT_NE(get(reg, "_rels/.rels").find(R"(Id="rId1"/>)"), std::string::npos);  // too long to count: no clash
}

TEST(Thumbnail, RestoreRemovesThumbnailAndRelationshipKeepsJpegDefault) {
    struct Original {
        std::string name;
        std::vector<std::pair<std::string, std::string>> parts;
        std::string types, rels;
        std::string restored_rels;
    };
    for (const Original& o :
         {Original{"none", {}, TYPES_PLAIN, RELS_PLAIN, RELS_PLAIN},
          Original{"jpeg", {{"docProps/thumbnail.jpeg", "old"}}, TYPES_WITH_JPEG,
                   rels_with(thumb_relationship("docProps/thumbnail.jpeg")), RELS_PLAIN},
          Original{"wmf", {{"docProps/thumbnail.wmf", "old"}},
                   types_with(R"(<Default Extension="wmf" ContentType="image/x-wmf"/>)"),
                   rels_with(thumb_relationship("docProps/thumbnail.wmf")), RELS_PLAIN}}) {
        SCOPED_TRACE(o.name);
        MfileRegistry reg;
        std::vector<std::string> entries = {"[Content_Types].xml", "_rels/.rels"};
        put(reg, "[Content_Types].xml", o.types);
        put(reg, "_rels/.rels", o.rels);
        for (const auto& [name, bytes] : o.parts) {
            put(reg, name, bytes);
            entries.push_back(name);
        }
        ASSERT_EQ(replace_thumbnail(reg, entries, striped_thumbnail_jpeg(), Direction::mask), RC_OK);
        mlist(reg, entries);
        ASSERT_EQ(replace_thumbnail(reg, entries, striped_thumbnail_jpeg(), Direction::unmask), RC_OK);
        EXPECT_EQ(live_names(reg), (std::vector<std::string>{"[Content_Types].xml", "_rels/.rels"}));
        EXPECT_EQ(get(reg, "_rels/.rels"), o.restored_rels);
        EXPECT_EQ(get(reg, "[Content_Types].xml"), TYPES_WITH_JPEG);
    }
}

TEST(Thumbnail, RefusesPackagesWithoutTheirIndexParts) {
    MfileRegistry reg;
    put(reg, "_rels/.rels", RELS_PLAIN);
    EXPECT_EQ(replace_thumbnail(reg, {"_rels/.rels"}, IMAGE, Direction::mask), RC_FAIL);
    EXPECT_EQ(replace_thumbnail(reg, {"_rels/.rels"}, IMAGE, Direction::unmask), RC_FAIL);
    EXPECT_EQ(live_names(reg), std::vector<std::string>{"_rels/.rels"});  // nothing created
}

// ---------------------------------------------------------------------------------------
// The built-in striped thumbnail.

std::uint16_t be16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] << 8 | b[at + 1]);
}

TEST(StripedThumbnail, IsBaselineJfifJpegOf200By200) {
    const auto jpeg = striped_thumbnail_jpeg();
    ASSERT_GT(jpeg.size(), 4u);
    EXPECT_EQ(be16(jpeg, 0), 0xFFD8);                // SOI
    EXPECT_EQ(be16(jpeg, jpeg.size() - 2), 0xFFD9);  // EOI

    bool jfif = false, sof0 = false;
    std::size_t at = 2;
    while (at + 4 <= jpeg.size()) {
        ASSERT_EQ(jpeg[at], 0xFF) << "marker expected at " << at;
        const std::uint8_t marker = jpeg[at + 1];
        const std::size_t length = be16(jpeg, at + 2);
        ASSERT_LE(at + 2 + length, jpeg.size());
        const auto seg = jpeg.subspan(at + 4, length - 2);
        if (marker == 0xE0) {  // APP0: JFIF 1.01, dots per inch, 96 x 96
            ASSERT_GE(seg.size(), 12u);
            EXPECT_EQ(std::string(seg.begin(), seg.begin() + 5), std::string("JFIF\0", 5));
            EXPECT_EQ(seg[5], 1);
            EXPECT_EQ(seg[6], 1);
            EXPECT_EQ(seg[7], 1);
            EXPECT_EQ(be16(seg, 8), 96);
            EXPECT_EQ(be16(seg, 10), 96);
            jfif = true;
        }
        if (marker == 0xC0) {  // SOF0: baseline, 8-bit samples, height, width, components
            EXPECT_EQ(seg[0], 8);
            EXPECT_EQ(be16(seg, 1), 200);
            EXPECT_EQ(be16(seg, 3), 200);
            EXPECT_EQ(seg[5], 3);
            sof0 = true;
        }
        EXPECT_FALSE(marker >= 0xC1 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
            << "not a baseline frame: marker " << int(marker);
        if (marker == 0xDA) break;  // SOS: entropy-coded data follows
        at += 2 + length;
    }
    EXPECT_TRUE(jfif);
    EXPECT_TRUE(sof0);
}

TEST(StripedThumbnail, BuiltInBytesMatchTheResourceFile) {
    const std::string file = test::read_file(test::source_dir() / "resources" / "striped_thumbnail.jpg");
    const auto built_in = striped_thumbnail_jpeg();
    EXPECT_TRUE(file == std::string(built_in.begin(), built_in.end())) << "run resources/make_thumbnail.py again";
}

}  // namespace
}  // namespace hsc
