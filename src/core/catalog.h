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
    cli_masked,
    cli_masked_counts,
    cli_restored,
    cli_warning,
    cli_not_processed,
    usage_hint,
    option_needs_value,
    option_takes_no_value,
    option_choice,
    option_max_memory,
    option_jobs,
    option_header_row,
    option_key_file_empty,
    option_password,
    option_unknown,
    option_needs_inspect,
    option_leaks_and_suggest,
    no_files,
    same_file_twice,
    output_is_input,
    mixed_batch,
    known_password_refused,
    known_password_file_mode,
    invalid_column_list,
    settings_file_missing,
    settings_file_unreadable,
    password_stdin_unreadable,
    password_file_unreadable,
    password_file_empty,
    password_no_terminal,
    password_prompt,
    password_prompt_again,
    password_not_typed,
    password_confirm_differs,
    password_empty,
    counts,
    counts_with_cells,
    outcome_masked,
    outcome_masked_counts,
    outcome_restored,
    outcome_failed,
    warn_nothing_masked,
    warn_unmasked_strings,
    warn_unmasked_inline,
    warn_header_not_found,
    warn_header_masked,
    warn_left_readable,
    place_shared_strings,
    place_inline_strings,
    place_formula_results,
    place_formulas,
    place_comments,
    place_vml,
    place_shapes,
    place_charts,
    place_pivot_cache,
    place_pivot_table,
    place_doc_properties,
    place_headers_footers,
    place_defined_names,
    place_sheet_names,
    place_hyperlinks,
    place_data_validation,
    place_external_links,
    place_custom_xml,
    place_other,
    suggest_none,
    suggest_columns,
    suggest_sample,
    suggest_sheet,
    suggest_header_row,
    suggest_no_header_row,
    suggest_rows,
    suggest_rows_sampled,
    suggest_nothing,
    suggest_header_word,
    suggest_content,
    suggest_reason_separator,
    suggest_cannot_open,
    suggest_not_a_workbook,
    suggest_damaged,
    item_strong,
    item_medium,
    item_weak,
    item_none,
    init_error,
    cli_help,
    builtin_help,

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
