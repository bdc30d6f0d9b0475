#include "core/cp932.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "engine/driver.h"
#include "engine/read_excel.h"
#include "protect/footer.h"

namespace hsc {
namespace {

TEST(Cp932, ConvertsBothWays) {
    std::string sjis;
    ASSERT_TRUE(utf8_to_cp932("●山田〇ｱ～A", sjis));
    EXPECT_EQ(sjis, "\x81\x9C\x8E\x52\x93\x63\x81\x5A\xB1\x81\x60" "A");
    std::string back;
    ASSERT_TRUE(cp932_to_utf8(sjis, back));
    EXPECT_EQ(back, "●山田〇ｱ～A");
}

TEST(Cp932, RefusesWhatItCannotRepresent) {
    std::string out = "untouched";
    EXPECT_FALSE(utf8_to_cp932("emoji \xF0\x9F\x98\x80", out));
    EXPECT_FALSE(utf8_to_cp932("한국어", out));
    EXPECT_FALSE(utf8_to_cp932("bad \xC3", out));  // cut UTF-8 sequence
    EXPECT_FALSE(cp932_to_utf8("\x81", out));      // lead byte without trail byte
    EXPECT_EQ(out, "untouched");
}

TEST(Cp932, DisplayEscapesOnlyTheBadBytes) {
    EXPECT_EQ(cp932_display("\x8E\x52\x93\x63"), "山田");
    EXPECT_EQ(cp932_display("ab\x85\x40" "c"), "ab\\x85\\x40c");
}

struct LimitCase {
    const char* label;
    std::string password, password_hint, keyfile_hint;
    bool ok;
    const char* message_part;
};
void PrintTo(const LimitCase& c, std::ostream* os) { *os << c.label; }

class StoredForm : public ::testing::TestWithParam<LimitCase> {};

// The limits of the compatible format; the strong one takes any password (below).
TEST_P(StoredForm, ChecksCharactersAndByteLimits) {
    const LimitCase& c = GetParam();
    MaskSettings s;
    s.is_compat = true;
    s.password = c.password;
    s.password_hint = c.password_hint;
    s.keyfile_hint = c.keyfile_hint;
    StoredSettings stored;
    std::string message;
    EXPECT_EQ(stored_settings(s, stored, message), c.ok) << message;
    if (c.ok) {
        std::string p;
        ASSERT_TRUE(utf8_to_cp932(c.password, p));
        EXPECT_EQ(stored.password, p);
        EXPECT_EQ(stored.target_column, s.target_column);
    } else {
        EXPECT_NE(message.find(c.message_part), std::string::npos) << message;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Limits, StoredForm,
    ::testing::Values(
        // 15 kanji are 30 bytes in CP932 (45 in UTF-8): within the 31-byte limit.
        LimitCase{"password_15_kanji", "山山山山山山山山山山山山山山山", "", "", true, ""},
        LimitCase{"password_31_ascii", std::string(31, 'p'), "", "", true, ""},
        LimitCase{"password_32_ascii", std::string(32, 'p'), "", "", false, "31バイト"},
        LimitCase{"password_16_kanji", "山山山山山山山山山山山山山山山山", "", "", false, "パスワードが長すぎます"},
        LimitCase{"password_emoji", "pass\xF0\x9F\x98\x80", "", "", false, "パスワードに使用できない文字"},
        LimitCase{"hint_16_kanji", "pw", "山山山山山山山山山山山山山山山山", "", true, ""},
        LimitCase{"hint_33_bytes", "pw", std::string(33, 'h'), "", false, "パスワードのヒントが長すぎます"},
        LimitCase{"keyfile_hint_korean", "pw", "", "한", false, "認証ファイルのヒントに使用できない文字"}),
    [](const auto& info) { return std::string(info.param.label); });

// Outside the compatible format any password is taken as given; its CP932 form is kept
// when it has one within 31 bytes (for restoring workbooks of the original format), and
// the message the compatible format would give is at hand for them.
TEST(StoredFormStrong, AnyPasswordIsTakenAndItsOriginalFormOnlyWhenItFits) {
    struct Case {
        std::string password;
        bool fits;
    };
    for (const Case& c : {Case{std::string(31, 'p'), true}, Case{std::string(32, 'p'), false},
                          Case{std::string(200, 'p'), false}, Case{"鍵\xF0\x9F\x94\x91", false},
                          Case{"漢字かな", true}}) {
        MaskSettings s;
        s.password = c.password;
        s.password_hint = "ヒント";
        StoredSettings stored;
        std::string message;
        ASSERT_TRUE(stored_settings(s, stored, message)) << message;
        EXPECT_EQ(stored.password_utf8, c.password);
        EXPECT_EQ(stored.has_original_password, c.fits) << c.password;
        std::string cp932;
        if (c.fits) ASSERT_TRUE(utf8_to_cp932(c.password, cp932));
        EXPECT_EQ(stored.password, cp932);
        EXPECT_EQ(original_password_problem(s).empty(), c.fits);
        ASSERT_TRUE(utf8_to_cp932("ヒント", cp932));
        EXPECT_EQ(stored.password_hint, cp932);  // the hints keep their limits in both formats
    }
    MaskSettings long_hint;
    long_hint.password_hint = std::string(33, 'h');
    StoredSettings stored;
    std::string message;
    EXPECT_FALSE(stored_settings(long_hint, stored, message));
}

// The UTF-8 settings and their stored form do not stand in for each other: what writes
// or checks stored bytes takes only the stored form, what makes the stored form takes
// only the UTF-8 settings.
template <class S>
concept formats_footer = requires(const S& s, std::string& record) { hsc_format_footer(s, record); };
template <class S>
concept checks_footer = requires(const S& s, int& present, Reporter& r) {
    hsc_check_footer(std::filesystem::path(), s, present, r);
};
template <class S>
concept reads_package = requires(const S& s, MfileRegistry& reg, const FileContext& ctx) {
    hsc_read_excel(reg, std::filesystem::path(), s, ctx);
};
template <class S>
concept converts_to_stored = requires(const S& s, StoredSettings& out, std::string& message) {
    stored_settings(s, out, message);
};
template <class S>
concept processes_file = requires(const S& s, std::filesystem::path& out, FileContext& ctx, Reporter& r) {
    hsc_process_file(std::filesystem::path(), out, s, ctx, r);
};
static_assert(formats_footer<StoredSettings> && !formats_footer<MaskSettings>);
static_assert(checks_footer<StoredSettings> && !checks_footer<MaskSettings>);
static_assert(reads_package<StoredSettings> && !reads_package<MaskSettings>);
static_assert(converts_to_stored<MaskSettings> && !converts_to_stored<StoredSettings>);
static_assert(processes_file<MaskSettings> && !processes_file<StoredSettings>);

}  // namespace
}  // namespace hsc
