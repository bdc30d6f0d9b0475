// The strong protection format through the whole driver: every backup kind round-trips
// in both formats, tampering is refused before anything is written, a wrong password is
// told apart from damage, and a reader restricted to the original format refuses a
// strong workbook at its password check while it restores a compatible one.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <span>

#include "core/status.h"
#include "engine/driver.h"
#include "engine/package_fixture.h"
#include "engine/workbook_part.h"
#include "package/package_entries.h"
#include "protect/footer.h"
#include "support/recording_reporter.h"
#include "support/temp_dir.h"
#include "support/workbook_fixture.h"
#include "support/zip_builder.h"

namespace hsc {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> NAMES = {"山田太郎", "東京都千代田区1-1", "03-1234-5678",
                                        "佐藤花子", "大阪市北区2-2",     "06-9876-5432"};

// A workbook with a backup of every kind: the shared strings, two drawings, the workbook
// part and a thumbnail.
std::vector<test::ZipEntry> every_backup_kind() {
    auto entries = test::small_workbook(NAMES);
    entries[0].data.insert(entries[0].data.find("</Types>"), R"(<Default Extension="jpeg" ContentType="image/jpeg"/>)");
    entries[1].data.insert(entries[1].data.find("</Relationships>"),
                           "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/package/2006/"
                           "relationships/metadata/thumbnail\" Target=\"docProps/thumbnail.jpeg\"/>");
    entries.push_back({"xl/drawings/drawing1.xml", test::drawing("図形の山田太郎")});
    entries.push_back({"xl/drawings/drawing2.xml", test::drawing("Shape of Sato")});
    entries.push_back({"docProps/thumbnail.jpeg", std::string("\xFF\xD8 a preview of the data\0", 26)});
    return entries;
}

std::map<std::string, std::string> by_name(const std::vector<test::ZipEntry>& entries) {
    std::map<std::string, std::string> m;
    for (const auto& e : entries) m[e.name] = e.data;
    return m;
}

// Cheap derivations for the tests; the footer records the cost used.
ProcessOptions cheap(ProcessOptions o = {}) {
    o.kdf_cost = KdfCost{1, 64 << 10};
    o.lang = Lang::en;
    return o;
}

// Tests derive cheaply (test::QUICK_KDF); the product's cost stays what the README and the
// guess-cost figures say.
TEST(StrongFormatCost, TheProductDerivesAtItsOwnCost) {
    EXPECT_EQ(KDF_DEFAULT, (KdfCost{12, std::uint64_t{128} << 20}));
    EXPECT_EQ(ProcessOptions{}.kdf_cost, KDF_DEFAULT);
}

class StrongFormat : public ::testing::Test {
protected:
    StrongFormat() {
        settings.password = "tulip-ankle-crisp-mango-violet";
        settings.is_autoshape = true;
        test::write_zip(book(), every_backup_kind());
    }
    fs::path book() const { return dir / "book.xlsx"; }
    fs::path masked() const { return dir / "●book.xlsx"; }
    fs::path restored() const { return dir / "〇●book.xlsx"; }
    int process(const fs::path& input, const MaskSettings& s, const ProcessOptions& options = cheap()) {
        rep = test::RecordingReporter{};
        output.clear();
        return hsc_process_file(input, output, s, ctx, rep, options);
    }
    int process(const fs::path& input, const ProcessOptions& options = cheap()) { return process(input, settings, options); }
    std::string first_error() const { return rep.errors.empty() ? std::string() : rep.errors.front(); }
    std::set<std::string> listing() const {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(dir.path())) names.insert(e.path().filename().string());
        return names;
    }
    // Rewrites the masked workbook's entries (the footer stays as the archive comment).
    void rewrite_masked(const std::function<void(std::map<std::string, std::string>&)>& change) {
        const auto info = test::read_zip_info(masked());
        std::map<std::string, std::string> entries;
        std::vector<std::string> order;
        for (const auto& e : info.entries) {
            entries[e.name] = e.data;
            order.push_back(e.name);
        }
        change(entries);
        std::vector<test::ZipEntry> out;
        for (const auto& name : order) out.push_back({name, entries.at(name)});
        test::ZipBuildOptions options;
        options.comment = info.comment;
        test::write_zip(masked(), out, options);
    }
    // `by_original_reader`: restored as a reader of the original format does, which
    // passes the package backup over and leaves it in the package.
    void expect_every_part_back(bool by_original_reader = false) {
        const auto original = by_name(every_backup_kind());
        auto back = by_name(test::read_zip(restored()));
        if (by_original_reader) EXPECT_EQ(back.erase(std::string(BACKUP_PACKAGE)), 1u);
        for (const auto& [name, bytes] : original) {
            // A reader of the original format keeps the content types as masking wrote them.
            if (!by_original_reader || name != "[Content_Types].xml") EXPECT_EQ(back.at(name), bytes) << name;
        }
        EXPECT_EQ(back.size(), original.size());
    }

    test::TempDir dir;
    MaskSettings settings;
    FileContext ctx;
    fs::path output;
    test::RecordingReporter rep;
};

TEST_F(StrongFormat, EveryBackupKindRoundTripsInBothFormats) {
    for (const bool compat : {false, true}) {
        SCOPED_TRACE(compat ? "compatible format" : "strong format");
        fs::remove(masked());
        fs::remove(restored());
        MaskSettings s = settings;
        s.is_compat = compat;
        ASSERT_EQ(process(book(), s), RC_OK) << first_error();
        const auto info = test::read_zip_info(masked());
        const auto entries = by_name(test::read_zip(masked()));
        for (const char* backup : {"xl/BKsharedStrings.xml", "xl/drawings/BKdrawing1.xml", "xl/drawings/BKdrawing2.xml",
                                   "xl/BKworkbook.xml", "docProps/BKthumbnail.jpeg.xml"}) {
            ASSERT_EQ(entries.count(backup), 1u) << backup;
            // The strong layout starts with its magic; the original container ends with a
            // trailer that starts "TIVA".
            const std::string& b = entries.at(backup);
            EXPECT_EQ(b.substr(0, 4) == "HSBK", !compat) << backup;
            EXPECT_EQ(b.size() >= 512 && b.substr(b.size() - 512, 4) == "TIVA", compat) << backup;
            EXPECT_EQ(b.find("山田"), std::string::npos) << backup;
        }
        EXPECT_EQ(info.comment.find("FORMAT=2") != std::string::npos, !compat);
        // The compatible format says what it gives away, and only it.
        EXPECT_EQ(rep.infos.size(), compat ? 1u : 0u);
        if (compat) EXPECT_NE(rep.infos[0].find("ECB"), std::string::npos);
        // The write reservation's short hash: of "z" and the password in the compatible
        // format, of the built-in password in the strong one (it would filter guesses).
        char hex[16];
        std::snprintf(hex, sizeof hex, "\"%02X\"",
                      reservation_password_hash(compat ? "z" + s.password : std::string(FALLBACK_WRITE_PASSWORD)));
        const std::string& workbook = entries.at("xl/workbook.xml");
        const auto at = workbook.find("reservationPassword=");
        ASSERT_NE(at, std::string::npos);
        EXPECT_EQ(workbook.substr(at + 20, std::string_view(hex).size()), hex) << workbook;

        ASSERT_EQ(process(masked(), s), RC_OK) << first_error();
        expect_every_part_back();
    }
}

// Restoring reads both formats whatever the setting says.
TEST_F(StrongFormat, RestoringReadsBothFormatsWhateverTheSetting) {
    for (const bool mask_compat : {false, true}) {
        SCOPED_TRACE(mask_compat ? "masked compatible" : "masked strong");
        fs::remove(masked());
        fs::remove(restored());
        MaskSettings s = settings;
        s.is_compat = mask_compat;
        ASSERT_EQ(process(book(), s), RC_OK) << first_error();
        s.is_compat = !mask_compat;
        ASSERT_EQ(process(masked(), s), RC_OK) << first_error();
        expect_every_part_back();
    }
}

// Each change to a backup is refused as damage (the password was proved by the footer),
// before anything is written, and named in plain words.
TEST_F(StrongFormat, TamperingIsRefusedBeforeAnythingIsWritten) {
    ASSERT_EQ(process(book()), RC_OK) << first_error();
    const std::string pristine = test::read_file(masked());
    struct Case {
        const char* label;
        std::function<void(std::map<std::string, std::string>&)> change;
        const char* named;  // the backup the message names
    };
    const Case cases[] = {
        {"one bit", [](auto& e) { e["xl/BKsharedStrings.xml"][40] ^= 0x01; }, "xl/BKsharedStrings.xml"},
        {"truncated", [](auto& e) { e["xl/BKsharedStrings.xml"].resize(e["xl/BKsharedStrings.xml"].size() - 7); },
         "xl/BKsharedStrings.xml"},
        {"two drawings swapped",
         [](auto& e) { std::swap(e["xl/drawings/BKdrawing1.xml"], e["xl/drawings/BKdrawing2.xml"]); },
         "xl/drawings/BKdrawing1.xml"},
        {"workbook and table swapped", [](auto& e) { std::swap(e["xl/BKworkbook.xml"], e["xl/BKsharedStrings.xml"]); },
         "xl/BKsharedStrings.xml"},
        {"thumbnail emptied", [](auto& e) { e["docProps/BKthumbnail.jpeg.xml"].clear(); },
         "docProps/BKthumbnail.jpeg.xml"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        test::write_file(masked(), pristine);
        rewrite_masked(c.change);
        EXPECT_EQ(process(masked()), RC_REFUSED);
        EXPECT_EQ(ctx.failure, FailReason::damaged);
        ASSERT_EQ(rep.errors.size(), 1u);
        EXPECT_NE(rep.errors[0].find("tampered"), std::string::npos) << rep.errors[0];
        EXPECT_NE(rep.errors[0].find(c.named), std::string::npos) << rep.errors[0];
        EXPECT_TRUE(output.empty());
        EXPECT_EQ(listing(), (std::set<std::string>{"book.xlsx", "●book.xlsx"}));
    }
}

// A wrong password stops at the footer's check value, as a wrong password; without a
// check value (not recorded) the backups refuse it, with words that cannot tell it from
// damage.
TEST_F(StrongFormat, WrongPasswordIsToldApartFromDamage) {
    ASSERT_EQ(process(book()), RC_OK) << first_error();
    MaskSettings wrong = settings;
    wrong.password = "tulip-ankle-crisXXXXXXXX";  // the same first 16 bytes
    EXPECT_EQ(process(masked(), wrong), RC_REFUSED);
    EXPECT_EQ(ctx.failure, FailReason::wrong_password);
    EXPECT_EQ(rep.errors, std::vector<std::string>{"The password does not match. Processing stopped."});

    fs::remove(masked());
    MaskSettings unrecorded = settings;
    unrecorded.is_no_password = true;
    ASSERT_EQ(process(book(), unrecorded), RC_OK) << first_error();
    wrong.is_no_password = true;
    EXPECT_EQ(process(masked(), wrong), RC_REFUSED);
    EXPECT_EQ(ctx.failure, FailReason::wrong_password);
    ASSERT_EQ(rep.errors.size(), 1u);
    EXPECT_NE(rep.errors[0].find("or the backup is damaged"), std::string::npos) << rep.errors[0];
    EXPECT_EQ(listing(), (std::set<std::string>{"book.xlsx", "●book.xlsx"}));
    ASSERT_EQ(process(masked(), unrecorded), RC_OK) << first_error();
    expect_every_part_back();
}

// A reader that knows only the original format refuses a strong workbook at its
// password check, with or without a recorded check value and in key-file mode, and writes
// nothing; it restores a workbook of the compatible format exactly.
TEST_F(StrongFormat, OriginalReaderRefusesStrongAndRestoresCompatible) {
    ProcessOptions original = cheap();
    original.original_only = true;
    test::write_file(dir / "auth.key", "the authentication file");
    struct Mode {
        const char* label;
        bool no_password;
        bool key_file;
        FailReason expected;
    };
    for (const Mode& m : {Mode{"password recorded", false, false, FailReason::wrong_password},
                          Mode{"password not recorded", true, false, FailReason::wrong_password},
                          Mode{"key file", false, true, FailReason::wrong_key_file}}) {
        SCOPED_TRACE(m.label);
        fs::remove(masked());
        MaskSettings s = settings;
        s.is_no_password = m.no_password;
        s.is_file_hash = m.key_file;
        s.key_file = m.key_file ? (dir / "auth.key").string() : "";
        ASSERT_EQ(process(book(), s), RC_OK) << first_error();
        const std::string before = test::read_file(masked());
        EXPECT_EQ(process(masked(), s, original), RC_REFUSED);
        EXPECT_EQ(ctx.failure, m.expected);
        EXPECT_EQ(rep.errors.size(), 1u);
        EXPECT_TRUE(output.empty());
        EXPECT_EQ(listing(), (std::set<std::string>{"auth.key", "book.xlsx", "●book.xlsx"}));
        EXPECT_EQ(test::read_file(masked()), before);
        // Never masked again either: it counts as masked.
        ProcessOptions mask_only = original;
        mask_only.only_direction = Direction::mask;
        EXPECT_EQ(process(masked(), s, mask_only), RC_FAIL);
        EXPECT_EQ(ctx.failure, FailReason::already_masked);
    }

    fs::remove(masked());
    MaskSettings compat = settings;
    compat.is_compat = true;
    ASSERT_EQ(process(book(), compat), RC_OK) << first_error();
    ASSERT_EQ(process(masked(), compat, original), RC_OK) << first_error();
    expect_every_part_back(true);
}

// Masked numbers are kept in a worksheet backup that a reader of the original format does
// not know: in the compatible format too, with or without a recorded check value, such a
// reader refuses the workbook instead of restoring its text and leaving its numbers
// masked. This program restores it in either format, the worksheet byte for byte.
TEST_F(StrongFormat, MaskedNumbersMakeAnOriginalReaderRefuseInEveryFormat) {
    auto entries = every_backup_kind();
    for (auto& e : entries)
        if (e.name == "xl/worksheets/sheet1.xml")
            e.data.insert(e.data.find("</sheetData>"), R"(<row r="9"><c r="A9"><v>9012345678</v></c></row>)");
    test::write_zip(book(), entries);
    ProcessOptions original = cheap();
    original.original_only = true;
    struct Mode {
        const char* label;
        bool compat;
        bool no_password;
    };
    for (const Mode& m : {Mode{"compatible, recorded", true, false}, Mode{"compatible, not recorded", true, true},
                          Mode{"strong, recorded", false, false}, Mode{"strong, not recorded", false, true}}) {
        SCOPED_TRACE(m.label);
        fs::remove(masked());
        fs::remove(restored());
        MaskSettings s = settings;
        s.target_column = "A";
        s.is_compat = m.compat;
        s.is_no_password = m.no_password;
        ASSERT_EQ(process(book(), s), RC_OK) << first_error();
        ASSERT_EQ(by_name(test::read_zip(masked())).count("xl/worksheets/BKsheet1.xml"), 1u);
        const std::string before = test::read_file(masked());
        EXPECT_EQ(process(masked(), s, original), RC_REFUSED);
        EXPECT_TRUE(output.empty());
        EXPECT_EQ(test::read_file(masked()), before);
        EXPECT_FALSE(fs::exists(restored()));
        ASSERT_EQ(process(masked(), s), RC_OK) << first_error();
        EXPECT_EQ(by_name(test::read_zip(restored())).at("xl/worksheets/sheet1.xml"),
                  by_name(entries).at("xl/worksheets/sheet1.xml"));
    }
}

// The strong format takes passwords of any length and characters and tells them apart
// (the original format would take only their first 16 bytes); the compatible one keeps
// its limits with a message that says so.
TEST_F(StrongFormat, PasswordsOfAnyLengthInTheStrongFormatOnly) {
    const std::string emoji = "\xF0\x9F\x94\x91\xF0\x9F\x90\x88";
    const std::string nfc = "caf\xC3\xA9-\xE3\x81\x8C", nfd = "caf\x65\xCC\x81-\xE3\x81\x8B\xE3\x82\x99";
    const std::vector<std::string> passwords = {"a", std::string(16, 'p'), std::string(17, 'p'), std::string(31, 'p'),
                                                std::string(32, 'p'), std::string(200, 'p'), emoji, nfc};
    for (const std::string& p : passwords) {
        SCOPED_TRACE(p.size());
        fs::remove(masked());
        fs::remove(restored());
        MaskSettings s = settings;
        s.is_autoshape = false;
        s.password = p;
        ASSERT_EQ(process(book(), s), RC_OK) << first_error();
        // A password that differs only after its 16th byte is another password.
        MaskSettings other = s;
        other.password = p + "x";
        EXPECT_EQ(process(masked(), other), RC_REFUSED);
        EXPECT_EQ(ctx.failure, FailReason::wrong_password);
        ASSERT_EQ(process(masked(), s), RC_OK) << first_error();
    }
    // The other normal form of the same text opens it.
    fs::remove(masked());
    MaskSettings composed = settings, decomposed = settings;
    composed.password = nfc;
    decomposed.password = nfd;
    ASSERT_EQ(process(book(), composed), RC_OK) << first_error();
    fs::remove(restored());
    EXPECT_EQ(process(masked(), decomposed), RC_OK) << first_error();

    // The compatible format: 31 bytes of Shift-JIS at most, said plainly, nothing written.
    for (const std::string& p : {std::string(32, 'p'), emoji}) {
        fs::remove(masked());
        MaskSettings s = settings;
        s.is_compat = true;
        s.password = p;
        EXPECT_EQ(process(book(), s), RC_FAIL);
        EXPECT_EQ(ctx.failure, FailReason::invalid_settings);
        ASSERT_EQ(rep.errors.size(), 1u);
        EXPECT_NE(rep.errors[0].find("at most 31 bytes"), std::string::npos) << rep.errors[0];
        EXPECT_FALSE(fs::exists(masked()));
    }
    // A workbook of the compatible format cannot be restored with a password it cannot take.
    MaskSettings compat = settings;
    compat.is_compat = true;
    ASSERT_EQ(process(book(), compat), RC_OK) << first_error();
    MaskSettings long_password = settings;
    long_password.password = std::string(40, 'p');
    EXPECT_EQ(process(masked(), long_password), RC_FAIL);
    EXPECT_EQ(ctx.failure, FailReason::invalid_settings);
    ASSERT_EQ(rep.errors.size(), 1u);
    EXPECT_NE(rep.errors[0].find("at most 31 bytes"), std::string::npos) << rep.errors[0];
}

}  // namespace
}  // namespace hsc

namespace hsc {
namespace {

// A copy to send out: no entry holds anything of the original or of the password (two
// passwords give the same bytes), the footer says it is masked without backups, a reader
// of the original format refuses it at its password check, and this program restores it
// only from the original.
TEST_F(StrongFormat, CopyWithoutBackupHoldsNothingToDecipher) {
    MaskSettings send = settings;
    send.is_no_backup = true;
    ASSERT_EQ(process(book(), send), RC_OK) << first_error();
    const std::string copy = test::read_file(masked());
    for (const auto& [name, bytes] : by_name(test::read_zip(masked()))) {
        EXPECT_FALSE(is_backup_entry(name)) << name;
        for (const std::string& text : NAMES) EXPECT_EQ(bytes.find(text), std::string::npos) << name << ": " << text;
        EXPECT_EQ(bytes.find("a preview of the data"), std::string::npos) << name;
    }
    const auto footer = parse_footer(std::span(reinterpret_cast<const std::uint8_t*>(copy.data()) + copy.size() - FOOTER_SIZE,
                                               FOOTER_SIZE));
    ASSERT_TRUE(footer.has_value());
    EXPECT_EQ(footer->hash, std::string(FOOTER_NO_CHECK_HASH));
    EXPECT_TRUE(footer_without_backup(*footer));
    EXPECT_LT(copy.find(std::string(FOOTER_NO_CHECK_HASH)), copy.find("BACKUP=NONE"));

    fs::remove(masked());
    send.password = "another-password-entirely";
    ASSERT_EQ(process(book(), send), RC_OK) << first_error();
    EXPECT_EQ(test::read_file(masked()), copy);
}

TEST_F(StrongFormat, CopyWithoutBackupIsRestoredOnlyFromTheKeptCopy) {
    MaskSettings send = settings;
    send.is_no_backup = true;
    ASSERT_EQ(process(book(), send), RC_OK) << first_error();
    const std::string copy = test::read_file(masked());

    ProcessOptions original = cheap();
    original.original_only = true;
    EXPECT_EQ(process(masked(), settings, original), RC_REFUSED);
    EXPECT_EQ(ctx.failure, FailReason::wrong_password);
    EXPECT_TRUE(output.empty());

    struct Refusal {
        const char* label;
        std::optional<Direction> only;
        FailReason expected;
    };
    for (const Refusal& r : {Refusal{"automatic", std::nullopt, FailReason::no_backup},
                             Refusal{"restore", Direction::unmask, FailReason::no_backup},
                             Refusal{"mask", Direction::mask, FailReason::already_masked}}) {
        SCOPED_TRACE(r.label);
        ProcessOptions o = cheap();
        o.only_direction = r.only;
        EXPECT_EQ(process(masked(), send, o), RC_FAIL);
        EXPECT_EQ(ctx.failure, r.expected);
        if (r.expected == FailReason::no_backup) {
            EXPECT_NE(first_error().find("--from"), std::string::npos);
        }
    }
    EXPECT_EQ(test::read_file(masked()), copy);
    EXPECT_FALSE(fs::exists(restored()));

    // Never over its input: the only copy with the originals would go.
    MaskSettings over = send;
    over.is_overwrite = true;
    const std::string plain = test::read_file(book());
    EXPECT_EQ(process(book(), over), RC_FAIL);
    EXPECT_EQ(ctx.failure, FailReason::invalid_settings);
    EXPECT_EQ(test::read_file(book()), plain);

    // Neither is it a source to restore from.
    ProcessOptions from_copy = cheap();
    from_copy.merge_from = masked();
    fs::copy_file(masked(), dir / "returned.xlsx");
    EXPECT_NE(process(dir / "returned.xlsx", settings, from_copy), RC_OK);
    EXPECT_EQ(ctx.failure, FailReason::no_backup);

    ProcessOptions from_original = cheap();
    from_original.merge_from = book();
    ASSERT_EQ(process(masked(), settings, from_original), RC_OK) << first_error();
    EXPECT_EQ(ctx.merge.given_back, NAMES.size());
    EXPECT_EQ(ctx.merge.left_masked(), 0u);
    EXPECT_EQ(read_footer_info(test::read_file(restored()).substr(test::read_file(restored()).size() - FOOTER_SIZE)).present,
              false);
    EXPECT_EQ(by_name(test::read_zip(restored())).at("xl/workbook.xml").find("fileSharing"), std::string::npos);
}

}  // namespace
}  // namespace hsc
