#include "shell/texts.h"

namespace hsc {

const std::string_view hsc_help_text =
    "[はじめに]\r\n"
    "    Excelブックのセルの中の文字列をマスク(暗号化)するプログラムです。\r\n"
    "    マスク後は縞模様のサムネイルと、書き込みパスワードが付いたブックとなります。\r\n"
    "    同じパスワードでマスクを解除(復号)することができます。\r\n"
    "    対象は拡張子が xlsx,xlsm (2007以降)で、読み取りパスワードが設定されていないブックです。\r\n"
    "\r\n"
    "[使用方法]\r\n"
    "    処理対象ブックをドラッグ＆ドロップしてください(複数可)。\r\n"
    "    マスクの場合、元のフォルダに、先頭に「●」が付いたブックが出力されます。\r\n"
    "    マスク解除の場合、元のフォルダに、先頭に「〇」が付いたブックが出力されます。\r\n"
    "    「上書き更新」をチェックすると、元のブックを更新します。\r\n"
    "\r\n"
    "    パスワードの代わりに画像等のファイルを使用する、ファイル認証モードもあります。\r\n"
    "    パスワードとファイル認証で個別に、「認証」メニューからヒントを付けることができます。\r\n"
    "\r\n"
    "[注意事項]\r\n"
    "    数値や日付、計算式の結果文字列はマスクできません。\r\n"
    "    マスク対象列と同じ文字列が、対象外のセルに存在する場合でもマスクされます。\r\n"
    "\r\n"
    "    書き込みパスワードは、パスワードの先頭に\"z\"を付けたものになります。\r\n"
    "    書き込みパスワードを入力してブックを上書きすると、元に戻すことができなくなります。\r\n"
    "\r\n"
    "    [テーブルとしての書式設定] されたシートが存在するブックは処理ができません。\r\n"
    "    サイズの大きなブックは、メモリ不足エラーとなる可能性があります。\r\n"
    "\r\n"
    "    「上書き更新」オプションは、元に戻る事が確認出来たブックで利用してください。\r\n";

std::string hsc_version_text(std::string_view third_line) {
    std::string text(APP_NAME);
    text += "                 \r\nversion : ";
    text += APP_VERSION;
    text += "\r\n";
    text += third_line;
    text += "\r\n";
    return text;
}

std::string format_message(std::string_view templ, std::string_view text) {
    std::string out(templ);
    if (auto at = out.find("%s"); at != std::string::npos) out.replace(at, 2, text);
    return out;
}

}  // namespace hsc
