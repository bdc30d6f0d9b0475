#include "shell/suggestion_text.h"

#include <algorithm>
#include <string_view>

#include "engine/choice_text.h"

#include "engine/text_routines.h"

namespace hsc {
namespace {

std::string share_percent(std::size_t matched, std::size_t values) {
    if (values == 0) return "0%";
    return std::to_string((matched * 100 + values / 2) / values) + "%";
}

std::string pad(std::string s, std::size_t width) {
    if (s.size() < width) s.append(width - s.size(), ' ');
    return s;
}

std::string kept_above_cells(const SheetSuggestion& sheet) {
    std::string cells;
    for (const auto& [row, column] : sheet.kept_above) {
        if (!cells.empty()) cells += ", ";
        cells += column_letters(column) + std::to_string(row);
    }
    return cells;
}

}  // namespace

std::string shell_quoted(std::string_view word) {
    const bool plain = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               std::string_view("_@%+=:,./-").find(c) != std::string_view::npos;
    });
    if (plain) return std::string(word);
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string suggested_command(const WorkbookSuggestion& s, const SuggestionRun& run) {
    const ColumnChoice choice = suggestion_choice(s);
    if (!choice.has_list()) return {};
    // The password is asked for: the command runs as it is, and no secret is printed.
    std::string command = "hushcel mask --ask-password";
    if (run.profile) {
        command += " --profile " + shell_quoted(*run.profile);
    } else {
        const auto text = column_text(choice);
        if (!one_header_row(choice) || !text) return {};
        command += " --columns " + shell_quoted(*text);
        const ColumnSet& set = choice.sheets.front().columns;
        if (set.header_row != 1) command += " --header-row " + std::to_string(set.header_row);
        if (set.keep_header) command += " --keep-header";
    }
    // A name that starts with '-' would read as an option.
    return command + (run.input.starts_with("-") ? " -- " : " ") + shell_quoted(run.input);
}

std::string suggestion_text(const WorkbookSuggestion& s, std::size_t sample_rows, Lang lang, const SuggestionRun* run) {
    std::string out = s.columns.empty() ? say(lang, Msg::suggest_none) : say(lang, Msg::suggest_columns, {s.columns});
    out += say(lang, Msg::suggest_sample, {std::to_string(sample_rows)});
    for (const SheetSuggestion& sheet : s.sheets) {
        out += "\n  " + say(lang, Msg::suggest_sheet, {printable(sheet.name), printable(sheet.part)});
        out += sheet.header_row > 0 ? say(lang, Msg::suggest_header_row, {std::to_string(sheet.header_row)})
                                    : say(lang, Msg::suggest_no_header_row);
        out += say(lang, sheet.sampled ? Msg::suggest_rows_sampled : Msg::suggest_rows, {std::to_string(sheet.rows_read)});
        if (sheet.columns.empty()) out += say(lang, Msg::suggest_nothing);
        for (const ColumnSuggestion& c : sheet.columns) {
            const ColumnVerdict& v = c.verdict;
            out += "\n    " + pad(column_letters(c.column), 4) + pad(std::string(data_kind_word(v.kind)), 16);
            std::string reasons;
            if (v.header) reasons = say(lang, Msg::suggest_header_word, {v.header->word});
            for (const ContentMatch& m : v.content) {
                if (!reasons.empty()) reasons += say(lang, Msg::suggest_reason_separator);
                reasons += say(lang, Msg::suggest_content,
                               {data_kind_word(m.kind), share_percent(m.matched, v.values), std::to_string(v.values)});
            }
            out += reasons;
            out += say(lang, Msg::suggest_cells,
                       {std::to_string(c.texts), std::to_string(c.numbers), std::to_string(c.dates)});
            if (c.shared_elsewhere > 0) out += say(lang, Msg::suggest_shared_elsewhere, {std::to_string(c.shared_elsewhere)});
        }
        if (!sheet.kept_above.empty()) out += "\n    " + say(lang, Msg::suggest_kept_above, {kept_above_cells(sheet)});
    }
    if (!run || s.columns.empty()) return out;
    const std::string command = suggested_command(s, *run);
    out += command.empty() ? "\n  " + say(lang, Msg::suggest_needs_profile) : "\n  " + say(lang, Msg::suggest_command) + "\n  " + command;
    return out;
}

std::string suggestion_error(SuggestStatus status, const std::string& input, Lang lang) {
    switch (status) {
        case SuggestStatus::ok: return {};
        case SuggestStatus::cannot_open: return say(lang, Msg::suggest_cannot_open, {input});
        case SuggestStatus::not_a_workbook: return say(lang, Msg::suggest_not_a_workbook);
        case SuggestStatus::damaged: return say(lang, Msg::suggest_damaged);
    }
    return {};
}

}  // namespace hsc
