#pragma once

#include <array>
#include <string>
#include <string_view>

namespace hsc {

inline constexpr std::string_view APP_NAME = "Hushcel";
inline constexpr std::string_view APP_VERSION = HUSHCEL_VERSION;  // the project version of the build
// Third line of the version box.
inline constexpr std::string_view APP_THIRD_LINE = "Copyright (C) KESTRIL";

// The built-in help: its lines joined by CR LF, with a CR LF after the last.
extern const std::string_view hsc_help_text;

// "Hushcel                 \r\nversion : 2.0.0.0\r\n<third line>\r\n"
std::string hsc_version_text(std::string_view third_line);

// Items of the drop-down lists, in order; the indices are the settings' values.
inline constexpr std::array<std::string_view, 3> STRENGTH_ITEMS = {"強", "中", "弱"};
inline constexpr std::array<std::string_view, 4> KANJI_MASK_ITEMS = {"●", "■", "※", "なし"};
inline constexpr std::array<std::string_view, 3> ALPHA_MASK_ITEMS = {"*", "X", "なし"};
inline constexpr std::array<std::string_view, 3> DIGIT_MASK_ITEMS = {"9", "0", "なし"};
inline constexpr std::array<std::string_view, 3> WCHAR_MASK_ITEMS = {"×", "¤", "なし"};

// Questions and notices of the main window.
inline constexpr std::string_view MSG_OPEN_OUTPUT = "%sを出力しました。内容を確認しますか？";
inline constexpr std::string_view MSG_CLOSE_SPREADSHEET =
    "自動再暗号化のためにExcelを終了させてください。\n処理を中断しますか？";
inline constexpr std::string_view MSG_RECRYPT = "自動再暗号化";
inline constexpr std::string_view MSG_SAVE_SETTINGS = "設定を保存しますか？";
inline constexpr std::string_view MSG_UNREADABLE_SETTING =
    "設定ファイルの %s の値を読み取れませんでした。この項目は空として扱います。";
inline constexpr std::string_view MSG_KNOWN_PASSWORD_STATUS =
    "既定のパスワードを使用中です(Hushcel があれば誰でも復元できます)";
inline constexpr std::string_view MSG_ASK_KNOWN_PASSWORD =
    "ファイル認証モードでも、バックアップはパスワードで暗号化されます。既定のパスワードのままでは、"
    "Hushcel を持っている人なら誰でもブックを復元できます。このままマスクしますか？";
inline constexpr std::string_view MSG_SAVE_FAILED = "設定を保存できませんでした(rc=%s)。";
// Where the results of a drop will be listed, while nothing has been dropped yet.
inline constexpr std::string_view MSG_DROP_HINT = "ここにブックをドロップしてください";

// Messages of the dialogs when a text is over its limit.
inline constexpr std::string_view MSG_PATH_TOO_LONG = "ファイルパスが長すぎます。";
inline constexpr std::string_view MSG_PASSWORD_HINT_TOO_LONG = "パスワードヒントが長すぎます。";
inline constexpr std::string_view MSG_KEYFILE_HINT_TOO_LONG = "認証ファイルヒントが長すぎます。";

// "%s" of a message template replaced by text.
std::string format_message(std::string_view templ, std::string_view text);

}  // namespace hsc
