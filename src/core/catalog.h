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
    ask_overwrite_opened,
    confirm_known_password,
    // -- the pipeline --
    // The processing of one workbook: the input.
    open_error,
    file_type_error,
    read_password,
    unsupported_file,
    old_xls,
    not_found,
    is_folder,
    not_a_file,
    no_read_permission,
    name_too_long,
    busy,
    open_cause,
    // The settings of the run.
    key_file_unreadable,
    key_file_too_short,
    invalid_columns,
    invalid_header_row,
    setting_password,
    setting_password_hint,
    setting_keyfile_hint,
    setting_not_cp932,
    setting_too_long,
    // The footer and the backups.
    check_footer_error,
    key_file_required,
    wrong_key_file,
    wrong_key_file_hint,
    wrong_password,
    wrong_password_hint,
    backup_password,
    backup_tampered,
    footer_damaged,
    key_derivation_failed,
    compat_weakness,
    compat_password_limit,
    already_masked,
    not_masked,
    changed_ask,
    changed_since_masking,
    footer_lost,
    merge_still_masked,
    looks_masked_ask,
    backups_lost_mask,
    backups_lost_restore,
    look_name,
    look_reservation,
    look_columns,
    look_cells,
    look_separator,
    no_backup_restore,
    no_backup_source,
    looks_masked_source,
    inspect_no_backup,
    no_backup_overwrite,
    hard_link,
    // Reading and transforming the package.
    out_of_memory,
    too_large,
    unsupported_objects,
    read_error,
    in_file,
    then,
    not_a_zip,
    encrypted_entry,
    unsupported_method,
    duplicate_entry,
    bad_entry_name,
    unsafe_entry_path,
    entry_checksum,
    entry_damaged,
    too_many_entries,
    entry_too_large,
    larger_than_declared,
    entry_name_too_long,
    over_memory_budget,
    overlapping_entries,
    too_short,
    damaged_advice,
    damaged_backup,
    table_in_sheet,
    table_without_sheet,
    table_header_masked,
    header_not_found,
    // The leak scan of a masked workbook.
    leak_unreadable,
    leak_not_masked,
    leak_no_decipher,
    // The output.
    write_error,
    footer_write_error,
    save_failed,
    ask_replace,
    output_exists,
    output_is_input,
    changed_during_run,
    input_read_only,
    input_not_writable,
    input_immutable,
    file_size_limit,
    output_not_replaceable,
    no_space,
    no_write_permission,
    read_only_fs,
    output_name_too_long,
    save_cause,

    // -- the command line and the shell --
    cli_masked,
    cli_masked_counts,
    cli_restored,
    cli_would_mask,
    cli_would_restore,
    cli_merged,
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
    option_from_needs_restore,
    option_no_backup_needs_mask,
    option_output_one_file,
    option_output_conflict,
    option_original_name_needs_restore,
    option_output_not_for_inspect,
    output_dir_missing,
    no_files,
    same_file_twice,
    output_named_as_input,
    mixed_batch,
    known_password_refused,
    known_password_file_mode,
    invalid_column_list,
    settings_file_missing,
    settings_file_unreadable,
    password_stdin_unreadable,
    password_file_unreadable,
    password_file_empty,
    password_file_too_long,
    password_no_terminal,
    password_prompt,
    password_prompt_again,
    password_not_typed,
    password_confirm_differs,
    password_empty,
    counts,
    counts_values,
    warn_unmasked_values,
    counts_with_cells,
    outcome_masked,
    outcome_masked_counts,
    outcome_restored,
    outcome_failed,
    outcome_cancelled,
    warn_nothing_masked,
    warn_unmasked_strings,
    warn_unmasked_inline,
    warn_header_not_found,
    warn_header_masked,
    warn_left_readable,
    merge_counts,
    warn_merge_ambiguous,
    warn_merge_unmatched,
    warn_merge_row_deleted,
    warn_merge_changed,
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
    place_filters,
    place_scenarios,
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
    // The column choice: per sheet, in a profile, against a workbook.
    choice_too_long,
    choice_too_many_columns,
    choice_empty_header,
    choice_not_a_letter,
    choice_unclosed_quote,
    choice_no_bang,
    choice_empty_sheet_name,
    choice_sheet_twice,
    choice_sheet_without_columns,
    choice_two_general,
    choice_no_profile_line,
    choice_bad_line,
    choice_key_outside_section,
    choice_unknown_key,
    choice_key_twice,
    choice_bad_header_row,
    choice_bad_flag,
    choice_section_twice,
    choice_reason,
    profile_error,
    profile_error_whole,
    profile_unreadable,
    profile_unwritable,
    option_profile_with,
    sheet_not_found,
    header_not_in_sheet,
    header_row_holds,
    header_row_empty,
    header_on_row,
    ambiguous_column,
    suggest_cells,
    suggest_shared_elsewhere,
    suggest_kept_above,
    suggest_command,
    suggest_needs_profile,
    suggest_profile_written,
    option_write_profile_one_file,

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
