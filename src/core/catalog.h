#pragma once

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace hsc {

// The languages the program speaks. The core never picks one itself: the front doors
// (command line, window) decide and pass it down.
enum class Lang { ja, en };

// The language a locale asks for: the first of LC_ALL, LC_MESSAGES and LANG that is set
// and not empty decides; "ja…" is Japanese, anything else (C, POSIX, en_US…) English.
// Nothing set is the C locale: English.
Lang lang_from_locale(const char* lc_all, const char* lc_messages, const char* lang);
// The same from this process's environment.
Lang lang_from_environment();
// "ja" or "en", as the command line's --lang takes them.
std::optional<Lang> parse_lang(std::string_view name);
std::string_view lang_name(Lang lang);

// Every text a user reads, by key. Keep the order of the table in catalog.cpp.
enum class Msg {
    // The window's questions and notices.
    open_output,
    close_spreadsheet,
    recrypt,
    save_settings,
    unreadable_setting,
    known_password_status,
    ask_known_password,
    save_settings_failed,
    drop_hint,
    path_too_long,
    password_hint_too_long,
    keyfile_hint_too_long,
    // -- the pipeline --

    // -- the command line and the shell --

    count_  // not a message: the number of keys
};

struct MessageText {
    Msg key;
    std::string_view id;  // a stable name for tests and translators
    std::string_view ja;
    std::string_view en;
};

// The whole table, in the order of Msg.
std::span<const MessageText> message_texts();

// The template of `key` in `lang`.
std::string_view message_template(Lang lang, Msg key);

// `templ` with each filler ("%s", "%d", "%e") replaced in turn by the next of `args`;
// the arguments' own text is never scanned again. A filler without an argument stays
// as written.
std::string fill(std::string_view templ, std::initializer_list<std::string_view> args);

// The text of `key` in `lang`, its fillers replaced in turn by `args`.
std::string say(Lang lang, Msg key, std::initializer_list<std::string_view> args = {});

}  // namespace hsc
