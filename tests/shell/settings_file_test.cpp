#include "shell/settings_file.h"

#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/status.h"
#include "protect/oracle.h"
#include "protect/sealed.h"
#include "support/temp_dir.h"

namespace hsc {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::TempDir;
using test::write_file;

// Sealed text computed independently: AES-128-ECB under "71209486" padded with zero
// bytes to 16, each 16-byte unit of the text zero-filled, lowercase hex.
std::string oracle_seal(std::string_view plain) {
    test::Bytes key(16, 0);
    std::memcpy(key.data(), SEAL_PASSWORD.data(), SEAL_PASSWORD.size());
    test::Bytes units(plain.begin(), plain.end());
    units.resize((plain.size() + 15) / 16 * 16, 0);
    return test::to_hex(test::oracle_aes_ecb(key, units, true));
}

std::string line(std::string_view name, std::string_view value) {
    return std::string(name) + "=\"" + std::string(value) + "\"\r\n";
}

// A record in which every field differs from its default.
MaskSettings everything_set() {
    MaskSettings s;
    s.password = "pw";
    s.mask_mchar = 2;
    s.mask_char = 1;
    s.mask_number = 1;
    s.mask_wchar = 2;
    s.is_overwrite = s.is_autoshape = s.is_file_hash = s.is_no_password = s.is_recrypto = true;
    s.is_text_only = s.is_mask_numbers = true;
    s.key_file = "/home/u/key.bin";
    s.target_column = "A,C";
    s.password_hint = "hint";
    s.keyfile_hint = "khint";
    s.mask_step = 3;
    s.header_row = 3;
    s.is_keep_header = true;
    s.max_memory = 512ull << 20;
    s.profile_file = "/home/u/顧客.profile";
    return s;
}

// --- defaults and reading -------------------------------------------------------------

TEST(SettingsDefaults, InitPutsTheDefaultsIntoAnyRecord) {
    MaskSettings s = everything_set();
    EXPECT_EQ(hsc_init_settings(s), RC_OK);
    EXPECT_EQ(s.password, "Q-Marle");
    EXPECT_EQ(s.mask_step, STEP_STRONG);
    EXPECT_EQ(s.mask_mchar, 0);
    EXPECT_EQ(s.mask_char, 0);
    EXPECT_EQ(s.mask_number, 0);
    EXPECT_EQ(s.mask_wchar, WCHAR_TIMES);
    EXPECT_FALSE(s.is_overwrite || s.is_autoshape || s.is_file_hash || s.is_no_password ||
                 s.is_recrypto);
    EXPECT_EQ(s.key_file + s.target_column + s.password_hint + s.keyfile_hint, "");
}

TEST(SettingsRead, MissingFileLeavesTheRecordAsItWas) {
    TempDir dir;
    MaskSettings s;
    hsc_init_settings(s);
    EXPECT_EQ(hsc_read_ini(s, dir / "Hushcel.ini"), RC_OPEN);
    EXPECT_EQ(s, MaskSettings{});
    MaskSettings set = everything_set();
    EXPECT_EQ(hsc_read_ini(set, dir.path()), RC_OPEN);  // a folder is no settings file
    EXPECT_EQ(set, everything_set());
}

TEST(SettingsRead, OnlyTheSectionLineGivesTheMissingKeyValues) {
    TempDir dir;
    write_file(dir / "Hushcel.ini", "[Hushcel]\r\n");
    MaskSettings s = everything_set();
    ASSERT_EQ(hsc_read_ini(s, dir / "Hushcel.ini"), RC_OK);
    MaskSettings expected;
    expected.password = "";
    expected.key_file = everything_set().key_file;  // a missing KEY_FILE changes nothing
    EXPECT_EQ(s, expected);
}

TEST(SettingsRead, ReadsEveryKey) {
    TempDir dir;
    std::string file = "[Hushcel]\r\n" + line("HEADER_ROW", "3") + line("IS_AUTOSHAPE", "Y") + line("IS_FILE_HASH", "y") +
                       line("IS_KEEP_HEADER", "Y") + line("IS_MASK_NUMBERS", "Y") + line("IS_NO_PASSWORD", "Y") +
                       line("IS_OVERWRITE", "Y") + line("MAX_MEMORY_MB", "512") +
                       line("PROFILE_FILE", oracle_seal("/home/u/顧客.profile")) +
                       line("IS_RECRYPTO", "Y") + line("IS_TEXT_ONLY", "Y") + line("KEYFILE_HINT", oracle_seal("khint")) +
                       line("KEY_FILE", oracle_seal("/home/u/key.bin")) +
                       line("MASK_CHAR", "1") + line("MASK_MCHAR", "2") +
                       line("MASK_NUMBER", "1") + line("MASK_STEP", "3") + line("MASK_WCHAR", "2") +
                       line("PASSWORD", oracle_seal("pw")) +
                       line("PASSWORD_HINT", oracle_seal("hint")) +
                       line("TARGET_COLUMN", oracle_seal("A,C"));
    write_file(dir / "Hushcel.ini", file);
    MaskSettings s;
    ASSERT_EQ(hsc_read_ini(s, dir / "Hushcel.ini"), RC_OK);
    EXPECT_EQ(s, everything_set());
}

TEST(SettingsRead, OverwriteAloneLeavesTheOtherFlagsOff) {
    TempDir dir;
    write_file(dir / "Hushcel.ini", "[Hushcel]\nIS_OVERWRITE=\"Y\"\n");
    MaskSettings s = everything_set();
    ASSERT_EQ(hsc_read_ini(s, dir / "Hushcel.ini"), RC_OK);
    EXPECT_TRUE(s.is_overwrite);
    EXPECT_FALSE(s.is_autoshape);
    EXPECT_FALSE(s.is_recrypto);
    EXPECT_FALSE(s.is_file_hash);
    EXPECT_FALSE(s.is_no_password);
}

struct ValueCase {
    const char* name;
    std::string value;  // as it stands in the file after the "="
    int expected;
};
std::ostream& operator<<(std::ostream& os, const ValueCase& c) { return os << c.name; }

class SettingsFlag : public ::testing::TestWithParam<ValueCase> {};

TEST_P(SettingsFlag, OnOnlyForYInEitherCase) {
    TempDir dir;
    write_file(dir / "Hushcel.ini", "[Hushcel]\r\nIS_OVERWRITE=" + GetParam().value + "\r\n");
    MaskSettings s;
    ASSERT_EQ(hsc_read_ini(s, dir / "Hushcel.ini"), RC_OK);
    EXPECT_EQ(s.is_overwrite, GetParam().expected == 1);
}

INSTANTIATE_TEST_SUITE_P(Settings, SettingsFlag,
                         ::testing::Values(ValueCase{"QuotedY", "\"Y\"", 1},
                                           ValueCase{"LowerY", "y", 1},
                                           ValueCase{"Yes", "Yes", 0},
                                           ValueCase{"N", "\"N\"", 0},
                                           ValueCase{"Empty", "\"\"", 0},
                                           ValueCase{"YAndSpace", "\"Y \"", 0},
                                           ValueCase{"One", "1", 0}),
                         [](const auto& info) { return std::string(info.param.name); });

class SettingsNumber : public ::testing::TestWithParam<ValueCase> {};

TEST_P(SettingsNumber, LeadingDecimalNumber) {
    TempDir dir;
    write_file(dir / "Hushcel.ini", "[Hushcel]\r\nMASK_STEP=" + GetParam().value + "\r\n");
    MaskSettings s;
    ASSERT_EQ(hsc_read_ini(s, dir / "Hushcel.ini"), RC_OK);
    EXPECT_EQ(s.mask_step, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, SettingsNumber,
    ::testing::Values(ValueCase{"Plain", "\"2\"", 2}, ValueCase{"OutOfListRange", "7", 7},
                      ValueCase{"Negative", "-3", -3}, ValueCase{"Plus", "+4", 4},
                      ValueCase{"LeadingBlanks", "\" \t 5\"", 5},
                      ValueCase{"TrailingText", "12abc", 12}, ValueCase{"NoNumber", "abc", 0},
                      ValueCase{"Empty", "\"\"", 0}, ValueCase{"SignOnly", "-", 0},
                      ValueCase{"TooLarge", "99999999999999999999", INT_MAX},
                      ValueCase{"TooSmall", "-99999999999999999999", INT_MIN}),
    [](const auto& info) { return std::string(info.param.name); });

// A header row the sheet cannot have and a budget below nothing count as missing.
TEST(SettingsRead, HeaderRowAndBudgetOutsideTheirRangeTakeTheDefault) {
    struct Case {
        const char* header_row;
        int expected_row;
        const char* megabytes;
        std::uint64_t expected_bytes;
    };
    for (const Case& c : {Case{"7", 7, "100", 100ull << 20}, Case{"1048576", 1048576, "2000000", 2000000ull << 20},
                          Case{"0", 1, "-5", 0}, Case{"1048577", 1, "0", 0}, Case{"-2", 1, "abc", 0}}) {
        TempDir dir;
        write_file(dir / "Hushcel.ini", "[Hushcel]\r\n" + line("HEADER_ROW", c.header_row) + line("MAX_MEMORY_MB", c.megabytes));
        MaskSettings s = everything_set();
        ASSERT_EQ(hsc_read_ini(s, dir / "Hushcel.ini"), RC_OK);
        EXPECT_EQ(s.header_row, c.expected_row) << c.header_row;
        EXPECT_EQ(s.max_memory, c.expected_bytes) << c.megabytes;
    }
}

TEST(SettingsRead, SkipsCommentsBadLinesAndLongNamesAndTakesTheFirstDuplicate) {
    TempDir dir;
    std::string name80 = std::string(80 - 9, 'N') + "MASK_STEP";
    std::string file = "[Hushcel]\r\n"
                       ";MASK_CHAR=\"1\"\r\n"
                       "#MASK_MCHAR=\"1\"\r\n"
                       "MASK_NUMBER : \"1\"\r\n"  // second token is not "="
                       "IS_RECRYPTO\r\n"          // no "="
                       "IS_AUTOSHAPE =\r\n"       // no value
                       + std::string(81, 'X') + "=\"1\"\r\n" + name80 + "=\"1\"\r\n" +
                       "MASK_STEP=\"2\" trailing words\r\n"
                       "MASK_STEP=\"3\"\r\n"
                       "   IS_OVERWRITE   =   Y   \r\n";
    write_file(dir / "Hushcel.ini", file);

    INIFILE store;
    store.path = dir / "Hushcel.ini";
    ASSERT_EQ(ini_load(store), RC_OK);
    std::vector<std::string> names;
    for (const auto& e : store.entries) names.push_back(e.name);
    EXPECT_EQ(names, (std::vector<std::string>{name80, "MASK_STEP", "MASK_STEP", "IS_OVERWRITE"}));

    MaskSettings s;
    ASSERT_EQ(hsc_read_ini(s, dir / "Hushcel.ini"), RC_OK);
    EXPECT_EQ(s.mask_char, 0);
    EXPECT_EQ(s.mask_mchar, 0);
    EXPECT_EQ(s.mask_number, 0);
    EXPECT_FALSE(s.is_recrypto);
    EXPECT_FALSE(s.is_autoshape);
    EXPECT_EQ(s.mask_step, 2);
    EXPECT_TRUE(s.is_overwrite);
}

TEST(SettingsRead, SectionsDoNotGroupEntries) {
    TempDir dir;
    write_file(dir / "Hushcel.ini",
               "[Other]\r\nMASK_STEP=\"2\"\r\n[Hushcel]\r\nMASK_CHAR=\"1\"\r\n[Last one]\r\n"
               "[" + std::string(80, 's') + "]\r\n");  // 82 bytes: too long for a section line
    INIFILE store;
    store.path = dir / "Hushcel.ini";
    ASSERT_EQ(ini_load(store), RC_OK);
    EXPECT_EQ(store.section, "Last one");
    MaskSettings s;
    ASSERT_EQ(hsc_read_ini(s, dir / "Hushcel.ini"), RC_OK);
    EXPECT_EQ(s.mask_step, 2);
    EXPECT_EQ(s.mask_char, 1);
}

TEST(SettingsRead, LoneCrLinesAndCrAsLastByte) {
    TempDir dir;
    write_file(dir / "Hushcel.ini", "[Hushcel]\rMASK_CHAR=\"1\"\rMASK_STEP=\"2\"\r");
    MaskSettings s;
    ASSERT_EQ(hsc_read_ini(s, dir / "Hushcel.ini"), RC_OK);
    EXPECT_EQ(s.mask_char, 1);
    EXPECT_EQ(s.mask_step, 2);
}

TEST(SettingsStore, QuotedValueMaySpanLines) {
    TempDir dir;
    write_file(dir / "f.ini", "[S]\r\nNOTE=\"one\r\ntwo = 2\"\r\nNEXT=x\r\n");
    INIFILE store;
    store.path = dir / "f.ini";
    ASSERT_EQ(ini_load(store), RC_OK);
    std::string out;
    EXPECT_EQ(ini_get(store, INI_PLAIN, "NOTE", out), RC_OK);
    EXPECT_EQ(out, "one\r\ntwo = 2");
    EXPECT_EQ(ini_get(store, INI_PLAIN, "NEXT", out), RC_OK);
    EXPECT_EQ(out, "x");
}

struct KeyFileCase {
    const char* name;
    std::size_t length;
    bool taken;
};
std::ostream& operator<<(std::ostream& os, const KeyFileCase& c) { return os << c.name; }

class SettingsKeyFile : public ::testing::TestWithParam<KeyFileCase> {};

// A path is taken whole or left alone: a cut path would name another file.
TEST_P(SettingsKeyFile, TakenOnlyWhenItFitsTheField) {
    TempDir dir;
    std::string path = "/" + std::string(GetParam().length - 1, 'k');
    write_file(dir / "Hushcel.ini", "[Hushcel]\r\n" + line("KEY_FILE", oracle_seal(path)));
    MaskSettings s;
    s.key_file = "/before";
    ASSERT_EQ(hsc_read_ini(s, dir / "Hushcel.ini"), RC_OK);
    EXPECT_EQ(s.key_file, GetParam().taken ? path : "/before");
}

INSTANTIATE_TEST_SUITE_P(Settings, SettingsKeyFile,
                         ::testing::Values(KeyFileCase{"Bytes255", 255, true},
                                           KeyFileCase{"Bytes256", 256, true},
                                           KeyFileCase{"Bytes257", 257, false},
                                           KeyFileCase{"Bytes4000", 4000, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- values a hand-edited file may hold ------------------------------------------------

struct TextCase {
    const char* name;
    std::string stored;  // the value in the file
    std::string password;
};
std::ostream& operator<<(std::ostream& os, const TextCase& c) { return os << c.name; }

class SettingsSealedText : public ::testing::TestWithParam<TextCase> {};

// The compatible format's 31-byte limit; the strong format's password is read whole below.
TEST_P(SettingsSealedText, BadOrLongValuesNeverOverrunTheField) {
    TempDir dir;
    write_file(dir / "Hushcel.ini", "[Hushcel]\r\n" + line("COMPAT", "Y") + line("PASSWORD", GetParam().stored));
    MaskSettings s;
    ASSERT_EQ(hsc_read_ini(s, dir / "Hushcel.ini"), RC_OK);
    EXPECT_EQ(s.password, GetParam().password);
}

const std::string kKanji20 = [] {
    std::string s;
    for (int i = 0; i < 20; ++i) s += "漢";  // 2 bytes each in CP932, 3 in UTF-8
    return s;
}();

INSTANTIATE_TEST_SUITE_P(
    Settings, SettingsSealedText,
    ::testing::Values(
        TextCase{"Empty", "", ""},
        TextCase{"OddLength", oracle_seal("abc").substr(1), ""},
        TextCase{"NotAWholeUnit", oracle_seal("abc").substr(2), ""},
        TextCase{"NotHex", std::string(32, 'g'), ""},
        TextCase{"PlainText", "secret", ""},
        TextCase{"UpperCaseHex", [] {
                     std::string h = oracle_seal("Upper");
                     for (auto& c : h) c = static_cast<char>(std::toupper(c));
                     return h;
                 }(),
                 "Upper"},
        TextCase{"Exactly31", oracle_seal(std::string(31, 'p')), std::string(31, 'p')},
        TextCase{"LongAsciiIsCut", oracle_seal(std::string(40, 'p')), std::string(31, 'p')},
        // 20 kanji are 40 CP932 bytes: 15 of them (30 bytes) fit, never half a character
        TextCase{"LongKanjiIsCutBetweenCharacters", oracle_seal(kKanji20),
                 kKanji20.substr(0, 15 * 3)},
        // 31 bytes in CP932, 37 in UTF-8
        TextCase{"HalfWidthKatakanaCountOne", oracle_seal(std::string(28, 'a') + "ｱｲｳ"),
                 std::string(28, 'a') + "ｱｲｳ"},
        TextCase{"NotUtf8", oracle_seal("\xff\xfe"), ""},
        TextCase{"TruncatedUtf8", oracle_seal("ab\xe6\xbc"), ""}),
    [](const auto& info) { return std::string(info.param.name); });

// Outside the compatible format a password of any length and any characters comes back
// whole, and the COMPAT key round-trips.
TEST(SettingsRead, StrongFormatPasswordIsReadWhole) {
    TempDir dir;
    MaskSettings s;
    s.password = std::string(200, 'p') + "\xF0\x9F\x94\x91" + kKanji20;  // emoji: no CP932 form
    ASSERT_EQ(hsc_write_ini(s, dir / "Hushcel.ini"), RC_OK);
    MaskSettings read;
    ASSERT_EQ(hsc_read_ini(read, dir / "Hushcel.ini"), RC_OK);
    EXPECT_EQ(read.password, s.password);
    EXPECT_FALSE(read.is_compat);

    s.is_compat = true;
    ASSERT_EQ(hsc_write_ini(s, dir / "Hushcel.ini"), RC_OK);
    ASSERT_EQ(hsc_read_ini(read, dir / "Hushcel.ini"), RC_OK);
    EXPECT_TRUE(read.is_compat);
    EXPECT_EQ(read.password, std::string(31, 'p'));
}

TEST(SettingsRead, LongHintsAndTargetColumnsAreCutToTheirFields) {
    TempDir dir;
    std::string columns;
    while (columns.size() < 1100) columns += "AB,";
    write_file(dir / "Hushcel.ini",
               "[Hushcel]\r\n" + line("PASSWORD_HINT", oracle_seal(std::string(50, 'h'))) +
                   line("KEYFILE_HINT", oracle_seal(kKanji20)) +
                   line("TARGET_COLUMN", oracle_seal(columns)));
    MaskSettings s;
    ASSERT_EQ(hsc_read_ini(s, dir / "Hushcel.ini"), RC_OK);
    EXPECT_EQ(s.password_hint, std::string(32, 'h'));
    EXPECT_EQ(s.keyfile_hint, kKanji20.substr(0, 16 * 3));
    EXPECT_EQ(s.target_column, columns.substr(0, TARGET_COLUMN_MAX));
}

struct MalformedCase {
    const char* name;
    std::string bytes;
    bool tail_read = true;  // false: an open quote in the bytes swallows the next line
};
std::ostream& operator<<(std::ostream& os, const MalformedCase& c) { return os << c.name; }

class SettingsMalformed : public ::testing::TestWithParam<MalformedCase> {};

// Whatever the file holds, reading finishes and the fields stay within their limits;
// the valid line at the end is still read.
TEST_P(SettingsMalformed, ReadsWithoutHarm) {
    TempDir dir;
    write_file(dir / "Hushcel.ini", GetParam().bytes + "\r\nMASK_CHAR=\"1\"\r\n");
    MaskSettings s;
    ASSERT_EQ(hsc_read_ini(s, dir / "Hushcel.ini"), RC_OK);
    EXPECT_LE(s.password.size(), PASSWORD_MAX * 3 / 2);
    EXPECT_LE(s.key_file.size(), KEY_FILE_MAX);
    EXPECT_LE(s.target_column.size(), TARGET_COLUMN_MAX);
    if (GetParam().tail_read) {
        EXPECT_EQ(s.mask_char, 1);
    }
}

std::string garbage(std::size_t n) {
    std::mt19937 rng(7);
    std::string s(n, '\0');
    for (auto& c : s) {
        c = static_cast<char>(rng());
        if (c == '"') c = 'q';  // an open quote would swallow the valid line
    }
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Settings, SettingsMalformed,
    ::testing::Values(
        MalformedCase{"BinaryGarbage", garbage(100000)},
        MalformedCase{"TenMegabyteLine", "MASK_STEP=\"" + std::string(10 << 20, '7')},
        // the line is cut every 16383 bytes, so its closing quote opens a new stretch
        MalformedCase{"TenMegabyteQuoted", "PASSWORD=\"" + std::string(10 << 20, 'a') + "\"",
                      false},
        MalformedCase{"UnterminatedQuoteThenClosed", "PASSWORD=\"abc\r\nX=\"\r\n"},
        MalformedCase{"ValueOfExactlyTheTokenLimit",
                      "PASSWORD=\"" + std::string(3998, 'a') + "\""},
        MalformedCase{"ZeroBytes", std::string("PASS\0WORD=\"1\"\0\0", 15)},
        MalformedCase{"OnlyEquals", "=\r\n==\r\n= = =\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SettingsRead, UnterminatedQuoteAtTheEndOfTheFile) {
    TempDir dir;
    write_file(dir / "Hushcel.ini", "[Hushcel]\r\nMASK_STEP=\"2\"\r\nPASSWORD=\"abc");
    MaskSettings s;
    ASSERT_EQ(hsc_read_ini(s, dir / "Hushcel.ini"), RC_OK);
    EXPECT_EQ(s.mask_step, 2);
    EXPECT_EQ(s.password, "");  // "\"abc" is not sealed text
}

// --- writing ---------------------------------------------------------------------------

TEST(SettingsWrite, DefaultsGiveTwentyThreeSortedLines) {
    TempDir dir;
    MaskSettings s;
    ASSERT_EQ(hsc_write_ini(s, dir / "Hushcel.ini"), RC_OK);
    std::string expected = "[Hushcel]\r\n" + line("COMPAT", "N") + line("HEADER_ROW", "1") + line("IS_AUTOSHAPE", "N") +
                           line("IS_FILE_HASH", "N") + line("IS_KEEP_HEADER", "N") + line("IS_MASK_NUMBERS", "N") +
                           line("IS_NO_PASSWORD", "N") +
                           line("IS_OVERWRITE", "N") + line("IS_RECRYPTO", "N") + line("IS_TEXT_ONLY", "N") +
                           line("KEYFILE_HINT", "") + line("KEY_FILE", "") +
                           line("MASK_CHAR", "0") + line("MASK_MCHAR", "0") +
                           line("MASK_NUMBER", "0") + line("MASK_STEP", "1") + line("MASK_WCHAR", "0") +
                           line("MAX_MEMORY_MB", "0") +
                           line("PASSWORD", oracle_seal("Q-Marle")) + line("PASSWORD_HINT", "") +
                           line("PROFILE_FILE", "") + line("TARGET_COLUMN", "");
    EXPECT_EQ(read_file(dir / "Hushcel.ini"), expected);
}

TEST(SettingsWrite, EveryFieldIsStoredInItsForm) {
    TempDir dir;
    MaskSettings s = everything_set();
    s.mask_char = -12;
    ASSERT_EQ(hsc_write_ini(s, dir / "Hushcel.ini"), RC_OK);
    std::string text = read_file(dir / "Hushcel.ini");
    for (const auto& expected :
         {line("IS_RECRYPTO", "Y"), line("KEY_FILE", oracle_seal("/home/u/key.bin")),
          line("MASK_CHAR", "-12"), line("MASK_WCHAR", "2"), line("TARGET_COLUMN", oracle_seal("A,C")),
          line("PASSWORD_HINT", oracle_seal("hint")), line("KEYFILE_HINT", oracle_seal("khint"))})
        EXPECT_NE(text.find(expected), std::string::npos) << expected;
}

TEST(SettingsWrite, CreatesTheFolderAndAnOwnerOnlyFileAndLeavesNoTemporaryFile) {
    TempDir dir;
    fs::path file = dir / "config" / "Hushcel" / "Hushcel.ini";
    ASSERT_EQ(hsc_write_ini(MaskSettings{}, file), RC_OK);
    ASSERT_TRUE(fs::is_regular_file(file));
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    // saving again replaces it; nothing else appears beside it
    write_file(file, "old contents that are longer than nothing\r\nEXTRA=\"1\"\r\n");
    fs::permissions(file, fs::perms::all);
    ASSERT_EQ(hsc_write_ini(everything_set(), file), RC_OK);
    std::vector<fs::path> beside;
    for (auto& e : fs::directory_iterator(file.parent_path())) beside.push_back(e.path());
    EXPECT_EQ(beside, std::vector<fs::path>{file});
    EXPECT_EQ(read_file(file).find("EXTRA"), std::string::npos);
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}

TEST(SettingsWrite, FailedSaveKeepsWhatWasThereAndSaysSo) {
    TempDir dir;
    // the target is a folder: the rename over it fails
    fs::create_directory(dir / "Hushcel.ini");
    write_file(dir / "Hushcel.ini" / "inside", "x");
    EXPECT_EQ(hsc_write_ini(MaskSettings{}, dir / "Hushcel.ini"), RC_OPEN);
    EXPECT_EQ(read_file(dir / "Hushcel.ini" / "inside"), "x");
    std::size_t entries = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 1u) << "a temporary file was left behind";

    // the folder cannot be made: a file stands where it should be
    write_file(dir / "blocker", "keep");
    EXPECT_EQ(hsc_write_ini(MaskSettings{}, dir / "blocker" / "Hushcel.ini"), RC_OPEN);
    EXPECT_EQ(read_file(dir / "blocker"), "keep");
}

TEST(SettingsWrite, SavingThroughALinkKeepsTheLink) {
    TempDir dir;
    write_file(dir / "real.ini", "");
    fs::create_symlink(dir / "real.ini", dir / "Hushcel.ini");
    ASSERT_EQ(hsc_write_ini(everything_set(), dir / "Hushcel.ini"), RC_OK);
    EXPECT_TRUE(fs::is_symlink(dir / "Hushcel.ini"));
    MaskSettings s;
    ASSERT_EQ(hsc_read_ini(s, dir / "real.ini"), RC_OK);
    EXPECT_EQ(s, everything_set());
}

// Random records survive a write and a read exactly.
class SettingsRoundTrip : public ::testing::TestWithParam<unsigned> {};

std::string random_text(std::mt19937& rng, std::size_t limit, bool cp932_measure) {
    static const std::vector<std::string> pieces = {
        "a", "Z", "0", "9", " ", "\"", "=", ";", "#", "[", "\\", "~", ",", "\t",
        "あ", "漢", "●", "ｱ", "ﾟ", "é", "\r\n", "'"};
    std::string s;
    std::size_t measured = 0;
    std::size_t target = std::uniform_int_distribution<std::size_t>(0, limit)(rng);
    for (;;) {
        const std::string& p = pieces[rng() % pieces.size()];
        std::size_t cost = p.size();
        if (cp932_measure && p.size() == 3) cost = (p == "ｱ" || p == "ﾟ") ? 1 : 2;
        if (measured + cost > target) break;
        measured += cost;
        s += p;
    }
    return s;
}

TEST_P(SettingsRoundTrip, WriteThenReadGivesTheSameRecord) {
    std::mt19937 rng(GetParam());
    auto pick = [&] { return static_cast<int>(rng()); };
    auto coin = [&] { return (rng() & 1) != 0; };
    MaskSettings s;
    s.password = random_text(rng, PASSWORD_MAX, true);
    s.mask_mchar = rng() % 3 ? static_cast<int>(rng() % 4) : pick();
    s.mask_char = rng() % 3 ? static_cast<int>(rng() % 3) : pick();
    s.mask_number = rng() % 3 ? static_cast<int>(rng() % 3) : pick();
    s.mask_wchar = rng() % 3 ? static_cast<int>(rng() % 3) : pick();
    s.is_overwrite = coin();
    s.is_autoshape = coin();
    s.is_file_hash = coin();
    s.is_no_password = coin();
    s.is_recrypto = coin();
    s.key_file = random_text(rng, KEY_FILE_MAX, false);
    s.target_column = random_text(rng, TARGET_COLUMN_MAX, false);
    s.password_hint = random_text(rng, HINT_MAX, true);
    s.keyfile_hint = random_text(rng, HINT_MAX, true);
    s.mask_step = rng() % 3 ? static_cast<int>(rng() % 3 + 1) : pick();
    s.header_row = static_cast<int>(rng() % 1048576 + 1);
    s.is_keep_header = coin();
    s.max_memory = static_cast<std::uint64_t>(rng() % 100000) << 20;
    s.profile_file = random_text(rng, 300, false);

    TempDir dir;
    ASSERT_EQ(hsc_write_ini(s, dir / "Hushcel.ini"), RC_OK);
    MaskSettings back = everything_set();
    ASSERT_EQ(hsc_read_ini(back, dir / "Hushcel.ini"), RC_OK);
    EXPECT_EQ(back, s) << "seed " << GetParam();
}

INSTANTIATE_TEST_SUITE_P(Settings, SettingsRoundTrip, ::testing::Range(0u, 300u));

// --- the store -------------------------------------------------------------------------

TEST(SettingsStore, SetReplacesTheFirstAndGetFindsTheFirst) {
    INIFILE store;
    store.seal_password = SEAL_PASSWORD;
    EXPECT_EQ(ini_set(store, INI_PLAIN, "B", "1"), RC_OK);
    EXPECT_EQ(ini_set(store, INI_SEALED, "A", "secret"), RC_OK);
    EXPECT_EQ(ini_set(store, INI_PLAIN, "B", "a longer value"), RC_OK);
    ASSERT_EQ(store.entries.size(), 2u);
    EXPECT_EQ(store.entries[0].value, "a longer value");
    EXPECT_EQ(store.entries[1].value, oracle_seal("secret"));

    std::string out = "stale";
    EXPECT_EQ(ini_get(store, INI_SEALED, "A", out), RC_OK);
    EXPECT_EQ(out, "secret");
    EXPECT_EQ(ini_get(store, INI_PLAIN, "A", out), RC_OK);
    EXPECT_EQ(out, oracle_seal("secret"));
    EXPECT_EQ(ini_get(store, INI_PLAIN, "a", out), RC_NOT_FOUND);  // names are case-sensitive
    EXPECT_EQ(out, "");
    EXPECT_EQ(ini_get(store, INI_SEALED, "B", out), RC_FAIL);  // not sealed text
    EXPECT_EQ(out, "");

    store.entries[0].state = INI_DELETED;
    EXPECT_EQ(ini_get(store, INI_PLAIN, "B", out), RC_NOT_FOUND);
    EXPECT_EQ(ini_free(store), RC_OK);
    EXPECT_TRUE(store.entries.empty());
}

TEST(SettingsStore, ValuesThatCannotBeStoredLeaveTheStoreUnchanged) {
    INIFILE store;
    store.seal_password = SEAL_PASSWORD;
    EXPECT_EQ(ini_set(store, INI_PLAIN, "V", std::string(INI_VALUE_MAX, 'v')), RC_OK);
    EXPECT_EQ(ini_set(store, INI_PLAIN, "V", std::string(INI_VALUE_MAX + 1, 'w')), RC_SIZE_LIMIT);
    EXPECT_EQ(ini_set(store, INI_SEALED, "S", std::string(INI_VALUE_MAX / 2 + 1, 's')),
              RC_SIZE_LIMIT);  // its sealed form is twice as long and more
    EXPECT_EQ(ini_set(store, INI_SEALED, "Z", std::string("a\0b", 3)), RC_FAIL);
    ASSERT_EQ(store.entries.size(), 1u);
    EXPECT_EQ(store.entries[0].value, std::string(INI_VALUE_MAX, 'v'));
}

TEST(SettingsStore, SaveSortsByteWiseAndWritesOnlyLiveEntries) {
    TempDir dir;
    INIFILE store;
    store.path = dir / "s.ini";
    store.section = "Sec";
    ini_set(store, INI_PLAIN, "b", "2");
    ini_set(store, INI_PLAIN, "\xC3\xA9", "3");  // above every ASCII byte
    ini_set(store, INI_PLAIN, "B", "1");
    ini_set(store, INI_PLAIN, "gone", "x");
    store.entries.back().state = INI_DELETED;
    ASSERT_EQ(ini_save(store), RC_OK);
    EXPECT_EQ(read_file(store.path), "[Sec]\r\nB=\"1\"\r\nb=\"2\"\r\n\xC3\xA9=\"3\"\r\n");
}

TEST(SettingsStore, LoadReplacesEntriesAndReportsAMissingFile) {
    TempDir dir;
    INIFILE store;
    store.path = dir / "missing.ini";
    ini_set(store, INI_PLAIN, "X", "1");
    EXPECT_EQ(ini_load(store), RC_OPEN);
    write_file(dir / "missing.ini", "Y=2\r\n");
    EXPECT_EQ(ini_load(store), RC_OK);
    ASSERT_EQ(store.entries.size(), 1u);
    EXPECT_EQ(store.entries[0].name, "Y");
}

// --- the change test -------------------------------------------------------------------

struct ChangeCase {
    const char* name;
    void (*change)(MaskSettings&);
    int expected;
};
std::ostream& operator<<(std::ostream& os, const ChangeCase& c) { return os << c.name; }

class SettingsChanged : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(SettingsChanged, EveryFieldButTheStrengthCounts) {
    MaskSettings s;
    hsc_init_settings(s);
    SettingsSnapshot snapshot = hsc_take_snapshot(s);
    GetParam().change(s);
    EXPECT_EQ(hsc_settings_changed(s, snapshot), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, SettingsChanged,
    ::testing::Values(
        ChangeCase{"Nothing", [](MaskSettings&) {}, -1},
        ChangeCase{"StrengthOnly", [](MaskSettings& s) { s.mask_step = STEP_WEAK; }, -1},
        // A copy to send out is chosen for one run and never stored.
        ChangeCase{"NoBackupOnly", [](MaskSettings& s) { s.is_no_backup = true; }, -1},
        ChangeCase{"Password", [](MaskSettings& s) { s.password = "other"; }, 0},
        ChangeCase{"MaskMchar", [](MaskSettings& s) { s.mask_mchar = 1; }, 0},
        ChangeCase{"MaskChar", [](MaskSettings& s) { s.mask_char = 1; }, 0},
        ChangeCase{"MaskNumber", [](MaskSettings& s) { s.mask_number = 1; }, 0},
        ChangeCase{"MaskWchar", [](MaskSettings& s) { s.mask_wchar = 1; }, 0},
        ChangeCase{"Overwrite", [](MaskSettings& s) { s.is_overwrite = true; }, 0},
        ChangeCase{"Autoshape", [](MaskSettings& s) { s.is_autoshape = true; }, 0},
        ChangeCase{"FileHash", [](MaskSettings& s) { s.is_file_hash = true; }, 0},
        ChangeCase{"NoPassword", [](MaskSettings& s) { s.is_no_password = true; }, 0},
        ChangeCase{"Recrypto", [](MaskSettings& s) { s.is_recrypto = true; }, 0},
        ChangeCase{"KeyFile", [](MaskSettings& s) { s.key_file = "/k"; }, 0},
        ChangeCase{"TargetColumn", [](MaskSettings& s) { s.target_column = "B"; }, 0},
        ChangeCase{"PasswordHint", [](MaskSettings& s) { s.password_hint = "h"; }, 0},
        ChangeCase{"KeyfileHint", [](MaskSettings& s) { s.keyfile_hint = "h"; }, 0},
        ChangeCase{"HeaderRow", [](MaskSettings& s) { s.header_row = 2; }, 0},
        ChangeCase{"KeepHeader", [](MaskSettings& s) { s.is_keep_header = true; }, 0},
        ChangeCase{"MaxMemory", [](MaskSettings& s) { s.max_memory = 1u << 30; }, 0},
        ChangeCase{"ProfileFile", [](MaskSettings& s) { s.profile_file = "p.profile"; }, 0},
        ChangeCase{"StrengthAndPassword",
                   [](MaskSettings& s) {
                       s.mask_step = 2;
                       s.password = "x";
                   },
                   0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SettingsChangedAfterSave, SnapshotIsNotRefreshedBySaving) {
    TempDir dir;
    MaskSettings s;
    SettingsSnapshot snapshot = hsc_take_snapshot(s);
    s.password = "new";
    ASSERT_EQ(hsc_write_ini(s, dir / "Hushcel.ini"), RC_OK);
    EXPECT_EQ(hsc_settings_changed(s, snapshot), 0);
}

// --- where the file lives --------------------------------------------------------------

TEST(SettingsPath, PortableFileBesideTheProgramWins) {
    TempDir dir;
    fs::create_directory(dir / "bin");
    EXPECT_EQ(settings_path(dir / "bin", "/xdg", "/home/u"), fs::path("/xdg/Hushcel/Hushcel.ini"));
    EXPECT_EQ(settings_path(dir / "bin", "", "/home/u"),
              fs::path("/home/u/.config/Hushcel/Hushcel.ini"));
    EXPECT_EQ(settings_path(dir / "bin", "relative/xdg", "/home/u"),
              fs::path("/home/u/.config/Hushcel/Hushcel.ini"));
    EXPECT_EQ(settings_path(dir / "bin", "", ""), dir / "bin" / "Hushcel.ini");
    write_file(dir / "bin" / "Hushcel.ini", "");
    EXPECT_EQ(settings_path(dir / "bin", "/xdg", "/home/u"), dir / "bin" / "Hushcel.ini");
}

TEST(SettingsPath, EnvironmentFormReadsXdgConfigHome) {
    TempDir dir;
    const char* old = std::getenv("XDG_CONFIG_HOME");
    std::string saved = old ? old : "";
    ::setenv("XDG_CONFIG_HOME", (dir / "cfg").c_str(), 1);
    EXPECT_EQ(settings_path(dir / "bin"), dir / "cfg" / "Hushcel" / "Hushcel.ini");
    if (old) {
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
}

}  // namespace
}  // namespace hsc
