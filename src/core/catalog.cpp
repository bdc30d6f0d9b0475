#include "core/catalog.h"

#include <array>
#include <cstdlib>

namespace hsc {
namespace {

constexpr std::array TEXTS{
    MessageText{Msg::open_output, "open-output", "%sを出力しました。内容を確認しますか？",
                "%s has been written. Open it to check its content?"},
    MessageText{Msg::close_spreadsheet, "close-spreadsheet",
                "自動再暗号化のためにExcelを終了させてください。\n処理を中断しますか？",
                "Please close Excel so the workbook can be encrypted again automatically.\n"
                "Stop processing?"},
    MessageText{Msg::recrypt, "recrypt", "自動再暗号化", "Automatic re-encryption"},
    MessageText{Msg::save_settings, "save-settings", "設定を保存しますか？", "Save the settings?"},
    MessageText{Msg::unreadable_setting, "unreadable-setting",
                "設定ファイルの %s の値を読み取れませんでした。この項目は空として扱います。",
                "The value of %s in the settings file could not be read. It is taken as empty."},
    MessageText{Msg::known_password_status, "known-password-status",
                "既定のパスワードを使用中です(Hushcel があれば誰でも復元できます)",
                "Using the built-in password (anyone with Hushcel can restore)"},
    MessageText{Msg::ask_known_password, "ask-known-password",
                "ファイル認証モードでも、バックアップはパスワードで暗号化されます。既定のパスワードのままでは、"
                "Hushcel を持っている人なら誰でもブックを復元できます。このままマスクしますか？",
                "In authentication file mode too, the backup is encrypted with the password. With the "
                "built-in password, anyone who has Hushcel can restore the workbook. Mask anyway?"},
    MessageText{Msg::save_settings_failed, "save-settings-failed", "設定を保存できませんでした(rc=%s)。",
                "The settings could not be saved (rc=%s)."},
    MessageText{Msg::drop_hint, "drop-hint", "ここにブックをドロップしてください", "Drop workbooks here"},
    MessageText{Msg::path_too_long, "path-too-long", "ファイルパスが長すぎます。", "The file path is too long."},
    MessageText{Msg::password_hint_too_long, "password-hint-too-long", "パスワードヒントが長すぎます。",
                "The password hint is too long."},
    MessageText{Msg::keyfile_hint_too_long, "keyfile-hint-too-long", "認証ファイルヒントが長すぎます。",
                "The authentication file hint is too long."},
    // -- the pipeline --

    // -- the command line and the shell --

};

constexpr bool in_key_order() {
    for (std::size_t i = 0; i < TEXTS.size(); ++i)
        if (TEXTS[i].key != static_cast<Msg>(i)) return false;
    return TEXTS.size() == static_cast<std::size_t>(Msg::count_);
}
static_assert(in_key_order(), "one row per key, in the order of Msg");

bool set(const char* value) { return value != nullptr && *value != '\0'; }

}  // namespace

Lang lang_from_locale(const char* lc_all, const char* lc_messages, const char* lang) {
    for (const char* value : {lc_all, lc_messages, lang})
        if (set(value)) return std::string_view(value).starts_with("ja") ? Lang::ja : Lang::en;
    return Lang::en;
}

Lang lang_from_environment() {
    return lang_from_locale(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"));
}

std::optional<Lang> parse_lang(std::string_view name) {
    if (name == "ja") return Lang::ja;
    if (name == "en") return Lang::en;
    return std::nullopt;
}

std::string_view lang_name(Lang lang) { return lang == Lang::ja ? "ja" : "en"; }

std::span<const MessageText> message_texts() { return TEXTS; }

std::string_view message_template(Lang lang, Msg key) {
    const MessageText& row = TEXTS.at(static_cast<std::size_t>(key));
    return lang == Lang::ja ? row.ja : row.en;
}

std::string fill(std::string_view templ, std::initializer_list<std::string_view> args) {
    std::string out;
    out.reserve(templ.size());
    auto next = args.begin();
    for (std::size_t i = 0; i < templ.size(); ++i) {
        const bool filler = templ[i] == '%' && i + 1 < templ.size() &&
                            (templ[i + 1] == 's' || templ[i + 1] == 'd' || templ[i + 1] == 'e');
        if (filler && next != args.end()) {
            out += *next++;
            ++i;
        } else {
            out += templ[i];
        }
    }
    return out;
}

std::string say(Lang lang, Msg key, std::initializer_list<std::string_view> args) {
    return fill(message_template(lang, key), args);
}

}  // namespace hsc
