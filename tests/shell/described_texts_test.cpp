// The Japanese texts the window and the shell show, byte for byte as the program has
// always shown them: the catalogue's Japanese is not to drift while English is added.
#include <gtest/gtest.h>

#include <string>

#include "core/catalog.h"
#include "shell/messages.h"
#include "shell/texts.h"

namespace hsc {
namespace {

struct Described {
    const char* label;
    std::string shown;  // what the program produces in Japanese
    std::string text;   // as it has always read
};
void PrintTo(const Described& d, std::ostream* os) { *os << d.label; }

std::string ja(Msg key) { return std::string(message_template(Lang::ja, key)); }

std::string help_line(int index) {
    const std::string help = help_text(Lang::ja);
    std::size_t start = 0;
    for (int i = 0; i < index; ++i) start = help.find("\r\n", start) + 2;
    return help.substr(start, help.find("\r\n", start) - start);
}

class DescribedTexts : public ::testing::TestWithParam<Described> {};

TEST_P(DescribedTexts, AreUnchangedInJapanese) { EXPECT_EQ(GetParam().shown, GetParam().text); }

INSTANTIATE_TEST_SUITE_P(
    Shell, DescribedTexts,
    ::testing::Values(
        Described{"open_output", ja(Msg::open_output), "%sを出力しました。内容を確認しますか？"},
        Described{"close_spreadsheet", ja(Msg::close_spreadsheet),
                  "自動再暗号化のためにExcelを終了させてください。\n処理を中断しますか？"},
        Described{"recrypt", ja(Msg::recrypt), "自動再暗号化"},
        Described{"save_settings", ja(Msg::save_settings), "設定を保存しますか？"},
        Described{"path_too_long", ja(Msg::path_too_long), "ファイルパスが長すぎます。"},
        Described{"password_hint_too_long", ja(Msg::password_hint_too_long), "パスワードヒントが長すぎます。"},
        Described{"keyfile_hint_too_long", ja(Msg::keyfile_hint_too_long), "認証ファイルヒントが長すぎます。"},
        Described{"init_error", ja(Msg::init_error), "%s初期化エラー。処理を中断します。"},
        Described{"init_error_row",
                  [] {
                      std::string row;
                      tiv_find_message(MessageTable::standard(Lang::ja), TIV_MSG_INIT_ERROR, row);
                      return row;
                  }(),
                  "%s初期化エラー。処理を中断します。"},
        Described{"strong", std::string(strength_items(Lang::ja)[0]), "強"},
        Described{"medium", std::string(strength_items(Lang::ja)[1]), "中"},
        Described{"weak", std::string(strength_items(Lang::ja)[2]), "弱"},
        Described{"kanji_none", std::string(kanji_mask_items(Lang::ja)[3]), "なし"},
        Described{"alpha_none", std::string(alpha_mask_items(Lang::ja)[2]), "なし"},
        Described{"digit_none", std::string(digit_mask_items(Lang::ja)[2]), "なし"},
        Described{"help_first", help_line(0), "[はじめに]"},
        Described{"help_masked_prefix", help_line(8), "    マスクの場合、元のフォルダに、先頭に「●」が付いたブックが出力されます。"},
        Described{"help_restored_prefix", help_line(9),
                  "    マスク解除の場合、元のフォルダに、先頭に「〇」が付いたブックが出力されます。"},
        Described{"help_write_password", help_line(35),
                  "    書き込みパスワードは、パスワードの先頭に\"z\"を付けたものになります。"},
        Described{"help_last", help_line(38), "    「上書き更新」オプションは、元に戻る事が確認出来たブックで利用してください。"}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace hsc
