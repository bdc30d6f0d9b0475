#include <gtest/gtest.h>

#include <algorithm>
#include <iconv.h>

#include <array>
#include <vector>

#include "shell/controls.h"
#include "shell/text_limits.h"
#include "shell/texts.h"

namespace hsc {
namespace {

// glibc's converter as an independent measure of the CP932 form.
std::string to_cp932(std::string_view utf8) {
    iconv_t cd = iconv_open("CP932", "UTF-8");
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
    std::string in(utf8), out(utf8.size() * 2 + 16, '\0');
    char* ip = in.data();
    char* op = out.data();
    std::size_t il = in.size(), ol = out.size();
    EXPECT_NE(iconv(cd, &ip, &il, &op, &ol), static_cast<std::size_t>(-1));
    iconv_close(cd);
    out.resize(out.size() - ol);
    return out;
}

// The help says what the program does today: every section and setting of the window,
// and none of the old claims (tables refused, "encryption" for masking, a picture as the
// authentication file).
TEST(HelpText, ExplainsEverySettingAndNoLongerMakesTheOldClaims) {
    std::string_view text = hsc_help_text;
    EXPECT_TRUE(text.ends_with("ブックで利用してください。\r\n"));
    EXPECT_EQ(text.find('\n'), text.find("\r\n") + 1);  // no bare LF anywhere
    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find("\r\n", start);
        ASSERT_NE(end, std::string_view::npos);
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    ASSERT_GE(lines.size(), 26u);
    EXPECT_EQ(lines[0], "[はじめに]");
    for (const char* section : {"[使用方法]", "[設定]", "[認証]", "[自動再暗号化]", "[注意事項]"})
        EXPECT_NE(std::find(lines.begin(), lines.end(), section), lines.end()) << section;
    // The settings of the window, each by the word it shows.
    for (const char* word : {"マスク列", "見出し行", "見出し行を残す", "プロファイル", "マスク強度", "強は", "中は", "弱は",
                             "マスク文字", "数値と日付は残す", "図形の文字をマスク", "メモリ上限", "互換形式でマスク",
                             "送付用のコピー", "ファイル認証モード", "パスワードを記録しない", "上書き更新", "自動再暗号化",
                             "「開く」"})
        EXPECT_NE(text.find(word), std::string_view::npos) << word;
    for (const char* old : {"テーブルとしての書式設定", "画像", "(暗号化)", "(復号)", "数値や日付、計算式の結果文字列はマスクできません"})
        EXPECT_EQ(text.find(old), std::string_view::npos) << old;
    EXPECT_NE(text.find("    書き込みパスワードは、パスワードの先頭に\"z\"を付けたものになります。\r\n"), std::string_view::npos);
}

std::vector<std::string_view> crlf_lines(std::string_view text) {
    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string_view::npos) break;
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// The English help is the Japanese one line for line: the same sections and blank lines,
// the same indentation, CR LF throughout, and no Japanese letter left in it.
TEST(HelpText, EnglishFollowsTheJapaneseLineForLine) {
    EXPECT_EQ(help_text(Lang::ja), hsc_help_text);
    const std::string en = help_text(Lang::en);
    ASSERT_TRUE(en.ends_with("\r\n"));
    EXPECT_EQ(en.find('\n'), en.find("\r\n") + 1);
    const auto ja_lines = crlf_lines(hsc_help_text), en_lines = crlf_lines(en);
    ASSERT_EQ(en_lines.size(), ja_lines.size());
    for (std::size_t i = 0; i < ja_lines.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(en_lines[i].empty(), ja_lines[i].empty());
        EXPECT_EQ(en_lines[i].starts_with("["), ja_lines[i].starts_with("["));
        EXPECT_EQ(en_lines[i].starts_with("    "), ja_lines[i].starts_with("    "));
    }
    // Nothing Japanese but the prefix of a restored workbook's name.
    std::string words = en;
    for (std::size_t at; (at = words.find("〇")) != std::string::npos;) words.erase(at, 3);
    for (unsigned char c : words) EXPECT_LT(c, 0xE3);
    EXPECT_NE(en.find("starts with \"●\""), std::string::npos);
    EXPECT_NE(en.find("starts with \"〇\""), std::string::npos);
}

// The lists show their established Japanese items; in English only the words change,
// the mask characters stay.
TEST(ListItems, JapaneseAsListedAndEnglishWords) {
    using Items3 = std::array<std::string_view, 3>;
    EXPECT_EQ(strength_items(Lang::ja), (Items3{"強", "中", "弱"}));
    EXPECT_EQ(strength_items(Lang::en), (Items3{"Strong", "Medium", "Weak"}));
    EXPECT_EQ(kanji_mask_items(Lang::ja), (std::array<std::string_view, 4>{"●", "■", "※", "なし"}));
    EXPECT_EQ(kanji_mask_items(Lang::en), (std::array<std::string_view, 4>{"●", "■", "※", "None"}));
    EXPECT_EQ(alpha_mask_items(Lang::ja), (Items3{"*", "X", "なし"}));
    EXPECT_EQ(alpha_mask_items(Lang::en), (Items3{"*", "X", "None"}));
    EXPECT_EQ(digit_mask_items(Lang::en), (Items3{"9", "0", "None"}));
    EXPECT_EQ(wchar_mask_items(Lang::en), (Items3{"×", "¤", "None"}));
    EXPECT_EQ(STRENGTH_ITEMS, strength_items(Lang::ja));
    EXPECT_EQ(WCHAR_MASK_ITEMS, wchar_mask_items(Lang::ja));
}

TEST(VersionText, IsTheThreeLineFormat) {
    EXPECT_EQ(hsc_version_text("third"), "Hushcel                 \r\nversion : 2.0.0.0\r\nthird\r\n");
}

TEST(TextLimits, Cp932LengthCountsDoubleByteCharacters) {
    EXPECT_EQ(cp932_length("abc"), 3u);
    EXPECT_EQ(cp932_length("山田ｱ"), 5u);  // half-width katakana is one byte
    EXPECT_EQ(cp932_length("😀"), 4u);      // no CP932 form: its UTF-8 bytes
    EXPECT_EQ(cp932_prefix("山田太郎", 5), "山田");
    EXPECT_EQ(utf8_prefix("山田", 5), "山");
    EXPECT_EQ(utf8_prefix("ab", 9), "ab");
}

TEST(Controls, SettingsRoundTripThroughTheControls) {
    MaskSettings s;
    s.password = "秘密pass";
    s.target_column = "A,C";
    s.mask_step = 3;
    s.mask_mchar = 2;
    s.mask_char = 1;
    s.mask_number = 2;
    s.mask_wchar = 1;
    s.is_overwrite = true;
    s.is_no_password = true;
    s.is_recrypto = true;
    s.header_row = 4;
    s.is_keep_header = true;
    s.profile_file = "/p/顧客.profile";
    s.max_memory = 700ull << 20;
    ControlValues c = hsc_set_controls(s);
    EXPECT_EQ(c.strength, 2);
    EXPECT_EQ(c.header_row, 4);
    EXPECT_EQ(c.max_memory_mb, 700);
    EXPECT_EQ(c.kanji, 2);
    EXPECT_EQ(c.wchar, 1);
    EXPECT_TRUE(c.overwrite && c.no_password && c.recrypto);
    EXPECT_FALSE(c.file_hash || c.autoshape);
    MaskSettings back;
    hsc_get_controls(c, back);
    EXPECT_EQ(back, s);
}

// A budget from the command line's settings need not be whole MiB: the field never
// shows less than the budget.
TEST(Controls, BudgetShowsInWholeMegabytesRoundedUp) {
    MaskSettings s;
    for (const auto& [bytes, mb] : {std::pair<std::uint64_t, int>{0, 0}, {1, 1}, {(1ull << 20) + 1, 2}, {5ull << 30, 5120}})
    {
        s.max_memory = bytes;
        EXPECT_EQ(hsc_set_controls(s).max_memory_mb, mb) << bytes;
    }
}

TEST(Controls, OutOfRangeIndexSelectsNothingAndReadsBackAsNone) {
    MaskSettings s;
    s.mask_step = 7;
    s.mask_mchar = 9;
    s.mask_char = -4;
    ControlValues c = hsc_set_controls(s);
    EXPECT_EQ(c.strength, -1);
    EXPECT_EQ(c.kanji, -1);
    EXPECT_EQ(c.alpha, -1);
    EXPECT_EQ(c.digit, 0);
    hsc_get_controls(c, s);
    EXPECT_EQ(s.mask_step, 0);
    EXPECT_EQ(s.mask_mchar, -1);
}

TEST(Controls, LongTextsAreCutWhenRead) {
    ControlValues c;
    c.password = std::string(40, 'p');
    c.target_column = std::string(1030, 'A');
    MaskSettings s;
    hsc_get_controls(c, s);
    EXPECT_EQ(s.password, std::string(40, 'p'));  // the strong format takes any length
    EXPECT_FALSE(s.is_compat);
    c.compat = true;
    hsc_get_controls(c, s);
    EXPECT_TRUE(s.is_compat);
    EXPECT_TRUE(hsc_set_controls(s).compat);
    EXPECT_FALSE(s.is_no_backup);
    c.send_copy = true;
    hsc_get_controls(c, s);
    EXPECT_TRUE(s.is_no_backup);
    EXPECT_TRUE(hsc_set_controls(s).send_copy);
    c.send_copy = false;
    EXPECT_EQ(s.password, std::string(31, 'p'));
    EXPECT_EQ(s.target_column.size(), 1023u);

    c.password.clear();
    for (int i = 0; i < 20; ++i) c.password += "漢";  // two bytes each in CP932
    hsc_get_controls(c, s);
    EXPECT_EQ(to_cp932(s.password).size(), 30u);  // the 16th would make 32
}

}  // namespace
}  // namespace hsc
