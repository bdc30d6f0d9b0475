#include "protect/footer.h"

#include <gtest/gtest.h>
#include <minizip/unzip.h>
#include <minizip/zip.h>

#include <cstring>
#include <functional>

#include "core/cp932.h"
#include "core/status.h"
#include "protect/oracle.h"
#include "support/recording_reporter.h"
#include "support/temp_dir.h"

namespace hsc {
namespace {

// An empty zip archive: only the end-of-central-directory record, comment length 0.
const std::string EMPTY_ZIP("PK\x05\x06" + std::string(18, '\0'));

std::string oracle_sha512_hex(std::string_view bytes) {
    return test::to_hex(test::oracle_sha512(test::Bytes(bytes.begin(), bytes.end())));
}

// AES-128-ECB of the zero-filled units under "71209486": what a sealed hint must be.
std::string oracle_seal(std::string_view plain) {
    test::Bytes key(16, 0);
    std::memcpy(key.data(), "71209486", 8);
    test::Bytes units(plain.begin(), plain.end());
    units.resize((plain.size() + 15) / 16 * 16, 0);
    return test::to_hex(test::oracle_aes_ecb(key, units, true));
}

StoredSettings stored(MaskSettings s) {
    StoredSettings out;
    std::string message;
    EXPECT_TRUE(stored_settings(s, out, message)) << message;
    return out;
}

std::string record_text(const std::string& record) { return record.substr(0, record.find('\0')); }

struct HintCase {
    const char* label;
    std::string hint;  // UTF-8
    std::size_t sealed_digits;
};
void PrintTo(const HintCase& c, std::ostream* os) { *os << c.label; }
class FooterHint : public ::testing::TestWithParam<HintCase> {};

TEST_P(FooterHint, FullFormSealsTheHintAndHashesThePassword) {
    MaskSettings s;
    s.password = "秘密pass";
    s.password_hint = GetParam().hint;
    s.keyfile_hint = "not this one";
    StoredSettings st = stored(s);
    std::string record;
    ASSERT_EQ(hsc_format_footer(st, record), RC_OK);
    ASSERT_EQ(record.size(), FOOTER_SIZE);
    EXPECT_EQ(record.find_first_not_of('\0', record_text(record).size()), std::string::npos);
    const std::string sealed = st.password_hint.empty() ? "" : oracle_seal(st.password_hint);
    EXPECT_EQ(sealed.size(), GetParam().sealed_digits);
    EXPECT_EQ(record_text(record), "COMPANY=KESTRIL PRODUCT=Hushcel VERSION=2.0.0.0 HINT=\"" + sealed +
                                       "\" FILE=N HASH=" + oracle_sha512_hex(st.password));
}

INSTANTIATE_TEST_SUITE_P(Lengths, FooterHint,
                         ::testing::Values(HintCase{"none", "", 0}, HintCase{"one_byte", "a", 32},
                                           HintCase{"sixteen_bytes", "0123456789abcdef", 32},
                                           HintCase{"seventeen_bytes", "0123456789abcdefg", 64},
                                           HintCase{"sixteen_kanji_32_bytes", "猫猫猫猫猫猫猫猫猫猫猫猫猫猫猫猫", 64}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(FooterFormat, FileModeHashesTheKeyFileAndSealsItsHint) {
    test::TempDir dir;
    const std::string key_bytes(1000, '\x5a');
    test::write_file(dir / "key.bin", key_bytes);
    MaskSettings s;
    s.is_file_hash = true;
    s.key_file = (dir / "key.bin").string();
    s.keyfile_hint = "USBの鍵";
    StoredSettings st = stored(s);
    std::string record;
    ASSERT_EQ(hsc_format_footer(st, record), RC_OK);
    EXPECT_EQ(record_text(record), "COMPANY=KESTRIL PRODUCT=Hushcel VERSION=2.0.0.0 HINT=\"" +
                                       oracle_seal(st.keyfile_hint) + "\" FILE=Y HASH=" + oracle_sha512_hex(key_bytes));
}

TEST(FooterFormat, ShortFormWhenNothingIsRecorded) {
    MaskSettings s;
    s.is_no_password = true;
    s.password_hint = "ignored";
    std::string record;
    ASSERT_EQ(hsc_format_footer(stored(s), record), RC_OK);
    EXPECT_EQ(record_text(record), "COMPANY=KESTRIL PRODUCT=Hushcel VERSION=2.0.0.0 FILE=N");
}

TEST(FooterWrite, BecomesTheZipCommentOfTheArchive) {
    test::TempDir dir;
    const auto book = dir / "book.xlsx";
    zipFile out = zipOpen64(book.c_str(), APPEND_STATUS_CREATE);
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(zipOpenNewFileInZip64(out, "xl/workbook.xml", nullptr, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                    Z_DEFAULT_COMPRESSION, 0),
              ZIP_OK);
    ASSERT_EQ(zipWriteInFileInZip(out, "<workbook/>", 11), ZIP_OK);
    ASSERT_EQ(zipCloseFileInZip(out), ZIP_OK);
    ASSERT_EQ(zipClose(out, nullptr), ZIP_OK);
    const std::string packed = test::read_file(book);
    ASSERT_EQ(packed.substr(packed.size() - 2), std::string(2, '\0'));

    MaskSettings s;
    ASSERT_EQ(hsc_write_footer(book, stored(s)), RC_OK);
    const std::string bytes = test::read_file(book);
    ASSERT_EQ(bytes.size(), packed.size() + FOOTER_SIZE);
    EXPECT_EQ(bytes.substr(0, packed.size() - 2), packed.substr(0, packed.size() - 2));
    EXPECT_EQ(bytes.substr(packed.size() - 2, 2), std::string("\x00\x02", 2));
    const std::string record = bytes.substr(bytes.size() - FOOTER_SIZE);
    EXPECT_TRUE(record.starts_with(FOOTER_PREFIX));

    unzFile zf = unzOpen64(book.c_str());
    ASSERT_NE(zf, nullptr);
    std::string comment(FOOTER_SIZE + 1, '\0');
    int n = unzGetGlobalComment(zf, comment.data(), static_cast<uLong>(comment.size()));
    unzClose(zf);
    ASSERT_EQ(n, static_cast<int>(FOOTER_SIZE));
    EXPECT_EQ(comment.substr(0, FOOTER_SIZE), record);
}

TEST(FooterWrite, UnreadableKeyFileLeavesTheWorkbookUntouched) {
    test::TempDir dir;
    const auto book = dir / "book.xlsx";
    test::write_file(book, EMPTY_ZIP);
    MaskSettings s;
    s.is_file_hash = true;
    s.key_file = (dir / "gone.key").string();
    EXPECT_EQ(hsc_write_footer(book, stored(s)), RC_REFUSED);
    s.key_file.clear();
    EXPECT_EQ(hsc_write_footer(book, stored(s)), RC_REFUSED);
    EXPECT_EQ(test::read_file(book), EMPTY_ZIP);
}

TEST(FooterWrite, MissingFolderCannotBeOpened) {
    test::TempDir dir;
    EXPECT_EQ(hsc_write_footer(dir / "no" / "book.xlsx", stored(MaskSettings{})), RC_OPEN);
}

// Masks with one set of settings, checks with another.
struct CheckCase {
    const char* label;
    std::function<void(MaskSettings&)> masked_with;
    std::function<void(MaskSettings&)> checked_with;
    int status;
    int present;
    std::string message;  // empty: no message
};
void PrintTo(const CheckCase& c, std::ostream* os) { *os << c.label; }

class FooterCheck : public ::testing::TestWithParam<CheckCase> {
protected:
    void SetUp() override {
        test::write_file(dir / "right.key", "the right key file");
        test::write_file(dir / "wrong.key", "another key file");
    }
    std::string key(const char* name) { return (dir / name).string(); }
    test::TempDir dir;
};

TEST_P(FooterCheck, VerifiesAndReports) {
    const CheckCase& c = GetParam();
    const auto book = dir / "book.xlsx";
    test::write_file(book, EMPTY_ZIP);
    MaskSettings mask;
    mask.key_file = key("right.key");
    c.masked_with(mask);
    ASSERT_EQ(hsc_write_footer(book, stored(mask)), RC_OK);
    const std::string before = test::read_file(book);

    MaskSettings check;
    check.key_file = key("right.key");
    c.checked_with(check);
    int present = 99;
    test::RecordingReporter rep;
    EXPECT_EQ(hsc_check_footer(book, stored(check), present, rep), c.status);
    EXPECT_EQ(present, c.present);
    std::string expected = c.message;
    if (auto at = expected.find("KEY"); at != std::string::npos) expected.replace(at, 3, key("gone.key"));
    if (c.message.empty())
        EXPECT_TRUE(rep.errors.empty());
    else
        EXPECT_EQ(rep.errors, std::vector<std::string>{expected});
    EXPECT_EQ(test::read_file(book), before);
}

auto nothing = [](MaskSettings&) {};
auto file_mode = [](MaskSettings& s) { s.is_file_hash = true; };

INSTANTIATE_TEST_SUITE_P(
    Cases, FooterCheck,
    ::testing::Values(
        CheckCase{"same_password", nothing, nothing, 0, 0, ""},
        CheckCase{"password_differing_in_case", [](MaskSettings& s) { s.password = "Secret"; },
                  [](MaskSettings& s) { s.password = "secret"; }, -3, 0,
                  "パスワードが一致しませんでした。処理を中断します。"},
        CheckCase{"wrong_password_shows_japanese_hint",
                  [](MaskSettings& s) {
                      s.password = "犬の名前";
                      s.password_hint = "最初の犬";
                  },
                  [](MaskSettings& s) { s.password = "猫の名前"; }, -3, 0,
                  "パスワードが一致しませんでした。ヒントは\"最初の犬\"です。"},
        CheckCase{"kanji_password_matches", [](MaskSettings& s) { s.password = "犬の名前"; },
                  [](MaskSettings& s) { s.password = "犬の名前"; }, 0, 0, ""},
        CheckCase{"file_mode_right_key", file_mode, file_mode, 0, 0, ""},
        CheckCase{"file_mode_footer_checked_in_password_mode", file_mode, nothing, -3, 0,
                  "ファイル認証モードで暗号化されています。処理を中断します。"},
        CheckCase{"file_mode_wrong_key",
                  [](MaskSettings& s) {
                      s.is_file_hash = true;
                  },
                  [](MaskSettings& s) {
                      s.is_file_hash = true;
                      s.key_file = s.key_file.substr(0, s.key_file.size() - 9) + "wrong.key";
                  },
                  -3, 0, "認証ファイルが一致しませんでした。処理を中断します。"},
        CheckCase{"file_mode_wrong_key_with_hint",
                  [](MaskSettings& s) {
                      s.is_file_hash = true;
                      s.keyfile_hint = "blue stick";
                      s.password_hint = "not shown";
                  },
                  [](MaskSettings& s) {
                      s.is_file_hash = true;
                      s.key_file = s.key_file.substr(0, s.key_file.size() - 9) + "wrong.key";
                  },
                  -3, 0, "認証ファイルが一致しませんでした。ヒントは\"blue stick\"です。"},
        CheckCase{"file_mode_key_file_unreadable", file_mode,
                  [](MaskSettings& s) {
                      s.is_file_hash = true;
                      s.key_file = s.key_file.substr(0, s.key_file.size() - 9) + "gone.key";
                  },
                  -3, 0, "認証ファイル(KEY)を読み込む事が出来ませんでした。処理を中断します。"},
        CheckCase{"password_footer_checked_in_file_mode_uses_the_password", nothing, file_mode, 0, 0, ""},
        CheckCase{"password_footer_in_file_mode_wrong_password", nothing,
                  [](MaskSettings& s) {
                      s.is_file_hash = true;
                      s.password = "other";
                  },
                  -3, 0, "パスワードが一致しませんでした。処理を中断します。"},
        CheckCase{"short_form_accepts_any_password", [](MaskSettings& s) { s.is_no_password = true; },
                  [](MaskSettings& s) { s.password = "anything"; }, 0, 0, ""}),
    [](const auto& info) { return std::string(info.param.label); });

struct TailCase {
    const char* label;
    std::string bytes;
    int status;
    int present;
};
void PrintTo(const TailCase& c, std::ostream* os) { *os << c.label; }
class FooterTail : public ::testing::TestWithParam<TailCase> {};

TEST_P(FooterTail, RecognisesThePrefixOnly) {
    test::TempDir dir;
    test::write_file(dir / "f.xlsx", GetParam().bytes);
    int present = 99;
    test::RecordingReporter rep;
    EXPECT_EQ(hsc_check_footer(dir / "f.xlsx", StoredSettings{}, present, rep), GetParam().status);
    EXPECT_EQ(present, GetParam().present);
    EXPECT_TRUE(rep.errors.empty());
}

std::string tail_with(std::string text) {
    text.resize(FOOTER_SIZE, '\0');
    return std::string(100, 'z') + text;
}

INSTANTIATE_TEST_SUITE_P(
    Tails, FooterTail,
    ::testing::Values(TailCase{"no_footer", std::string(2000, 'z'), 0, -1},
                      TailCase{"other_version_same_prefix",
                               tail_with("COMPANY=KESTRIL PRODUCT=Hushcel VERSION=9.9 FILE=N"), 0, 0},
                      TailCase{"prefix_without_trailing_space", tail_with("COMPANY=KESTRIL PRODUCT=Hushcel"), 0, -1},
                      TailCase{"record_without_hash", tail_with("COMPANY=KESTRIL PRODUCT=Hushcel HINT=\"\""), 0, 0},
                      TailCase{"shorter_than_512", std::string(511, 'z'), -103, -1}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(FooterCheckFile, MissingFileCannotBeOpened) {
    test::TempDir dir;
    int present = 99;
    test::RecordingReporter rep;
    EXPECT_EQ(hsc_check_footer(dir / "missing.xlsx", StoredSettings{}, present, rep), RC_OPEN);
    EXPECT_EQ(present, -1);
}

TEST(FooterRead, ReportsWhatIsRecordedWithoutVerifying) {
    test::TempDir dir;
    const auto book = dir / "book.xlsx";
    test::write_file(book, EMPTY_ZIP);
    MaskSettings s;
    s.password_hint = "ヒント";
    ASSERT_EQ(hsc_write_footer(book, stored(s)), RC_OK);
    FooterInfo info;
    ASSERT_EQ(hsc_read_footer(book, info), RC_OK);
    EXPECT_TRUE(info.present);
    EXPECT_FALSE(info.file_mode);
    EXPECT_TRUE(info.has_hash);
    EXPECT_EQ(cp932_display(info.hint), "ヒント");
    EXPECT_EQ(info.version, "2.0.0.0");
}

}  // namespace
}  // namespace hsc

namespace hsc {
namespace {

std::vector<std::uint8_t> block_of(std::string text, std::size_t size = FOOTER_SIZE) {
    text.resize(size, '\0');
    return {text.begin(), text.end()};
}

const std::string HASH_HEX(128, 'a');

struct RecordCase {
    const char* label;
    std::vector<std::uint8_t> block;
    std::optional<FooterRecord> expected;
};
void PrintTo(const RecordCase& c, std::ostream* os) { *os << c.label; }
class FooterParse : public ::testing::TestWithParam<RecordCase> {};

TEST_P(FooterParse, ReadsTheRecordFromBytes) {
    EXPECT_EQ(parse_footer(GetParam().block), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, FooterParse,
    ::testing::Values(
        RecordCase{"full_form",
                   block_of("COMPANY=KESTRIL PRODUCT=Hushcel VERSION=2.0.0.0 HINT=\"0a1b\" FILE=Y HASH=" + HASH_HEX),
                   FooterRecord{"2.0.0.0", true, "0a1b", HASH_HEX}},
        RecordCase{"short_form", block_of("COMPANY=KESTRIL PRODUCT=Hushcel VERSION=2.0.0.0 FILE=N"),
                   FooterRecord{"2.0.0.0", false, std::nullopt, std::nullopt}},
        RecordCase{"keys_in_any_case_and_order",
                   block_of("COMPANY=KESTRIL PRODUCT=Hushcel hash=ABC file=y Version=1.5 hint=\"\""),
                   FooterRecord{"1.5", true, "", "ABC"}},
        RecordCase{"first_value_of_a_key_counts",
                   block_of("COMPANY=KESTRIL PRODUCT=Hushcel VERSION=2 FILE=Y FILE=N HASH=a HASH=b"),
                   FooterRecord{"2", true, std::nullopt, "a"}},
        RecordCase{"text_ends_at_the_first_zero",
                   block_of(std::string("COMPANY=KESTRIL PRODUCT=Hushcel VERSION=2\0HASH=a FILE=Y", 56)),
                   FooterRecord{"2", false, std::nullopt, std::nullopt}},
        RecordCase{"later_keys_are_kept_as_extensions_in_order",
                   block_of("COMPANY=KESTRIL PRODUCT=Hushcel VERSION=2 HINT=\"\" FILE=N HASH=a format=2 SALT=00ff "
                            "FORMAT=3"),
                   FooterRecord{"2", false, "", "a", {{"FORMAT", "2"}, {"SALT", "00ff"}}}},
        RecordCase{"no_prefix", block_of("COMPANY=KESTRIL PRODUCT=Other VERSION=2 FILE=N"), std::nullopt},
        RecordCase{"not_512_bytes", block_of("COMPANY=KESTRIL PRODUCT=Hushcel VERSION=2 FILE=N", 511),
                   std::nullopt}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(FooterRecordWrite, WritesTheTwoFormsByteForByte) {
    const std::string full = "COMPANY=KESTRIL PRODUCT=Hushcel VERSION=2.0.0.0 HINT=\"\" FILE=N HASH=" + HASH_HEX;
    const auto written = write_footer(FooterRecord{"2.0.0.0", false, "", HASH_HEX});
    ASSERT_TRUE(written);
    EXPECT_EQ(std::vector<std::uint8_t>(written->begin(), written->end()), block_of(full));

    const auto short_form = write_footer(FooterRecord{"2.0.0.0", true, std::nullopt, std::nullopt});
    ASSERT_TRUE(short_form);
    EXPECT_EQ(std::vector<std::uint8_t>(short_form->begin(), short_form->end()),
              block_of("COMPANY=KESTRIL PRODUCT=Hushcel VERSION=2.0.0.0 FILE=Y"));
    // What is written reads back as the same record.
    EXPECT_EQ(parse_footer(*written), (FooterRecord{"2.0.0.0", false, "", HASH_HEX}));

    // Extensions follow the hash, in their order.
    const FooterRecord extended{"2.0.0.0", false, "", HASH_HEX, {{"FORMAT", "2"}, {"SALT", "0a"}}};
    const auto with_extensions = write_footer(extended);
    ASSERT_TRUE(with_extensions);
    EXPECT_EQ(std::vector<std::uint8_t>(with_extensions->begin(), with_extensions->end()),
              block_of(full + " FORMAT=2 SALT=0a"));
    EXPECT_EQ(parse_footer(*with_extensions), extended);
}

TEST(FooterRecordWrite, RefusesWhatWouldNotReadBack) {
    const std::vector<FooterRecord> refused = {
        {"", false, std::nullopt, std::nullopt},             // no version
        {"2 0", false, std::nullopt, std::nullopt},          // a space splits the token
        {"2=0", false, std::nullopt, std::nullopt},          // "=" is a token of its own
        {"2.0", false, "a\"b", HASH_HEX},                    // a quote ends the hint
        {"2.0", false, std::nullopt, HASH_HEX},              // hash without hint
        {"2.0", false, "", std::nullopt},                    // hint without hash
        {"2.0", false, "", ""},                              // empty hash
        {"2.0", false, "", std::string(460, 'a')},           // does not fit the record
        {"2.0;", false, std::nullopt, std::nullopt},         // a last ";" is dropped on reading
        {"2\x81", false, std::nullopt, std::nullopt},        // a lead byte would take the space
        {"2.0", false, "", "a", {{"format", "2"}}},          // keys are read back in upper case
        {"2.0", false, "", "a", {{"HASH", "b"}}},            // the first HASH would be the one read
        {"2.0", false, "", "a", {{"SALT", "a b"}}},          // a space splits the value
        {"2.0", false, "", "a", {{"SALT", ""}}},             // an empty value is not a token
    };
    for (const FooterRecord& r : refused) EXPECT_FALSE(write_footer(r)) << r.version << " " << r.hash.value_or("-");
}

TEST(FooterRecordWrite, FormatFooterIsTheRecordOfTheSettings) {
    MaskSettings s;
    s.password = "pw";
    std::string record;
    ASSERT_EQ(hsc_format_footer(stored(s), record), RC_OK);
    const auto parsed = parse_footer(std::span(reinterpret_cast<const std::uint8_t*>(record.data()), record.size()));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->version, std::string(FOOTER_VERSION));
    EXPECT_EQ(parsed->hash, oracle_sha512_hex("pw"));
    const auto again = write_footer(*parsed);
    ASSERT_TRUE(again);
    EXPECT_EQ(std::string(again->begin(), again->end()), record);
}

// A copy without backups: the same record whatever the settings (no hint, no check value
// of the password or key file), BACKUP=NONE after a HASH no password gives. This program
// reads it as masked without anything to verify; a reader of the original format as a
// password that does not match, in either mode of its settings.
TEST(FooterNoBackup, SaysSoAndMatchesNoPassword) {
    const std::string expected = "COMPANY=KESTRIL PRODUCT=Hushcel VERSION=2.0.0.0 HINT=\"\" FILE=N HASH=" +
                                 std::string(128, '0') + " BACKUP=NONE";
    MaskSettings with_hint;
    with_hint.password = "pw";
    with_hint.password_hint = "the hint";
    MaskSettings unrecorded = with_hint;
    unrecorded.is_no_password = true;
    FooterProtection none;
    none.no_backup = true;
    for (const MaskSettings& s : {with_hint, unrecorded}) {
        std::string record;
        ASSERT_EQ(hsc_format_footer(stored(s), nullptr, none, record), RC_OK);
        EXPECT_EQ(record_text(record), expected);
        EXPECT_TRUE(read_footer_info(record).no_backup);
        EXPECT_FALSE(read_footer_info(record).has_hash);

        int present = FOOTER_ABSENT;
        test::RecordingReporter rep;
        hsc::FooterCheck check;
        EXPECT_EQ(hsc_check_footer_block(record, stored(s), nullptr, present, rep, nullptr, Lang::en, check), RC_OK);
        EXPECT_EQ(present, FOOTER_PRESENT);
        EXPECT_TRUE(check.no_backup);
        EXPECT_TRUE(rep.errors.empty());

        hsc::FooterCheck original;
        original.original_only = true;
        FailReason why = FailReason::none;
        EXPECT_EQ(hsc_check_footer_block(record, stored(s), nullptr, present, rep, &why, Lang::en, original),
                  RC_REFUSED);
        EXPECT_EQ(present, FOOTER_PRESENT);
        EXPECT_EQ(why, FailReason::wrong_password);
        EXPECT_FALSE(original.no_backup);
    }
}

}  // namespace
}  // namespace hsc
