#include "shell/report_text.h"

#include <algorithm>

#include "engine/suggest.h"
#include "os/file.h"
#include "engine/text_routines.h"

namespace hsc {
namespace {

struct Place {
    std::string_view kind;
    Msg words;
};

// Where a masked text was found, as a user names that place in a workbook.
constexpr Place PLACES[] = {
    {"shared-strings", Msg::place_shared_strings},
    {"inline-strings", Msg::place_inline_strings},
    {"formula-results", Msg::place_formula_results},
    {"formulas", Msg::place_formulas},
    {"comments", Msg::place_comments},
    {"vml", Msg::place_vml},
    {"shapes", Msg::place_shapes},
    {"charts", Msg::place_charts},
    {"pivot-cache", Msg::place_pivot_cache},
    {"pivot-table", Msg::place_pivot_table},
    {"doc-properties", Msg::place_doc_properties},
    {"headers-footers", Msg::place_headers_footers},
    {"defined-names", Msg::place_defined_names},
    {"sheet-names", Msg::place_sheet_names},
    {"hyperlinks", Msg::place_hyperlinks},
    {"data-validation", Msg::place_data_validation},
    {"filters", Msg::place_filters},
    {"scenarios", Msg::place_scenarios},
    {"external-links", Msg::place_external_links},
    {"custom-xml", Msg::place_custom_xml},
};

Msg place_words(std::string_view kind) {
    for (const Place& p : PLACES)
        if (p.kind == kind) return p.words;
    return Msg::place_other;
}

std::string_view list_separator(Lang lang) { return lang == Lang::ja ? "、" : ", "; }

// What of a column can still be read, in words; empty when nothing.
std::string readable_words(const ColumnReport& c, Lang lang) {
    std::vector<std::string> items;
    if (c.unmasked > 0) items.push_back(say(lang, Msg::column_readable_unmasked, {std::to_string(c.unmasked)}));
    if (c.inline_left > 0) items.push_back(say(lang, Msg::column_readable_inline, {std::to_string(c.inline_left)}));
    if (!c.found_elsewhere.empty()) {
        std::vector<Msg> places;
        for (const LeakFinding& f : c.found_elsewhere)
            if (const Msg m = place_words(leak_kind_name(f.kind)); std::find(places.begin(), places.end(), m) == places.end())
                places.push_back(m);
        std::string words;
        for (Msg m : places) words.append(words.empty() ? "" : list_separator(lang)).append(message_template(lang, m));
        items.push_back(say(lang, Msg::column_readable_elsewhere, {words}));
    }
    std::string text;
    for (const std::string& item : items) text.append(text.empty() ? "" : list_separator(lang)).append(item);
    return text;
}

}  // namespace

std::string column_label(const ColumnReport& column) {
    std::string label = printable(column.sheet.empty() ? column.part : column.sheet) + "!" + column_letters(column.column);
    if (!column.header.empty()) label += " (" + printable(column.header) + ")";
    return label;
}

std::vector<std::string> column_report_lines(const MaskReport& report, Lang lang) {
    std::vector<std::string> lines;
    for (const ColumnReport& c : report.columns) {
        std::string left;
        const auto add = [&](Msg key, std::size_t n) {
            if (n > 0) left.append(left.empty() ? "" : list_separator(lang)).append(say(lang, key, {std::to_string(n)}));
        };
        add(Msg::column_left_header, c.header_kept);
        add(Msg::column_left_formulas, c.formulas_left);
        add(Msg::column_left_booleans, c.booleans);
        add(Msg::column_left_errors, c.errors);
        add(Msg::column_left_empty, c.empty);
        add(Msg::column_left_numbers_kept, c.numbers_kept);
        const std::string nothing = say(lang, Msg::column_nothing);
        const std::string readable = readable_words(c, lang);
        lines.push_back(say(lang, Msg::report_column,
                            {column_label(c), std::to_string(c.texts), std::to_string(c.numbers), std::to_string(c.dates),
                             std::to_string(c.formulas), left.empty() ? nothing : left,
                             readable.empty() ? nothing : readable}));
    }
    return lines;
}

std::string report_counts_text(const MaskReport& report, Lang lang) {
    const std::string strings = std::to_string(report.shared_strings), shapes = std::to_string(report.shapes);
    std::string text = report.cells ? say(lang, Msg::counts_with_cells, {strings, std::to_string(*report.cells), shapes})
                                    : say(lang, Msg::counts, {strings, shapes});
    if (report.values.changed() > 0)
        text += (lang == Lang::ja ? "、" : ", ") +
                say(lang, Msg::counts_values, {std::to_string(report.values.numbers + report.values.dates),
                                               std::to_string(report.values.texts)});
    return text;
}

std::vector<std::string> report_warning_texts(const MaskReport& report, Lang lang) {
    std::vector<std::string> texts;
    for (const ReportWarning& w : report_warnings(report)) {
        if (w.kind == WARNING_NOTHING_MASKED) {
            texts.push_back(say(lang, Msg::warn_nothing_masked));
            continue;
        }
        if (w.kind == WARNING_UNMASKED_STRINGS) {
            texts.push_back(say(lang, Msg::warn_unmasked_strings, {std::to_string(report.unmasked_items)}));
            continue;
        }
        if (w.kind == WARNING_UNMASKED_INLINE_STRINGS) {
            texts.push_back(say(lang, Msg::warn_unmasked_inline, {std::to_string(report.inline_cells_left)}));
            continue;
        }
        std::string parts;
        for (const std::string& part : w.parts) parts.append(parts.empty() ? "" : ", ").append(printable(part));
        if (w.kind == WARNING_UNMASKED_VALUES) {
            texts.push_back(say(lang, Msg::warn_unmasked_values, {std::to_string(report.values.left), parts}));
            continue;
        }
        if (w.kind == WARNING_HEADER_NOT_FOUND)
            texts.push_back(say(lang, Msg::warn_header_not_found, {printable(w.header), parts}));
        else if (w.kind == WARNING_HEADER_MASKED)
            texts.push_back(say(lang, Msg::warn_header_masked, {parts}));
        else
            texts.push_back(say(lang, Msg::warn_left_readable, {message_template(lang, place_words(w.kind)), parts}));
    }
    // Which chosen column stays readable, and why.
    for (const ColumnReport& c : report.columns)
        if (c.readable()) texts.push_back(say(lang, Msg::warn_column_readable, {column_label(c), readable_words(c, lang)}));
    return texts;
}

std::string merge_counts_text(const MergeReport& report, Lang lang) {
    return say(lang, Msg::merge_counts,
               {std::to_string(report.given_back), std::to_string(report.left_masked()),
                std::to_string(report.row_deleted.size()), std::to_string(report.changed.size())});
}

std::vector<std::string> merge_warning_texts(const MergeReport& report, Lang lang, std::size_t max_cells) {
    std::vector<std::string> texts;
    const auto add = [&](Msg key, const std::vector<MergeCell>& cells) {
        if (cells.empty()) return;
        std::string list;
        for (std::size_t i = 0; i < cells.size() && i < max_cells; ++i)
            list.append(i ? ", " : "").append(printable(cells[i].sheet)).append("!").append(cells[i].ref);
        if (cells.size() > max_cells) list += ", … (+" + std::to_string(cells.size() - max_cells) + ")";
        texts.push_back(say(lang, key, {list}));
    };
    add(Msg::warn_merge_ambiguous, report.ambiguous);
    add(Msg::warn_merge_unmatched, report.unmatched);
    add(Msg::warn_merge_row_deleted, report.row_deleted);
    add(Msg::warn_merge_changed, report.changed);
    return texts;
}

std::string outcome_text(const FileOutcome& outcome, Lang lang) {
    const std::string input = os::path_u8(outcome.input.filename());
    const std::string output = os::path_u8(outcome.output.filename());
    switch (outcome.result) {
        case FileOutcome::Result::masked:
            if (!outcome.report.produced) return say(lang, Msg::outcome_masked, {input, output});
            return say(lang, Msg::outcome_masked_counts, {input, output, report_counts_text(outcome.report, lang)});
        case FileOutcome::Result::restored:
            if (outcome.merge.produced)
                return say(lang, Msg::outcome_restored, {input, output}) + " (" + merge_counts_text(outcome.merge, lang) + ")";
            return say(lang, Msg::outcome_restored, {input, output});
        case FileOutcome::Result::cancelled:
            return say(lang, Msg::outcome_cancelled, {input});
        case FileOutcome::Result::failed:
            break;
    }
    std::string text = say(lang, Msg::outcome_failed, {input});
    for (std::size_t i = 0; i < outcome.messages.size(); ++i) text.append(i ? " " : ": ").append(outcome.messages[i]);
    return text;
}

std::string outcome_text(const FileOutcome& outcome) { return outcome_text(outcome, outcome.lang); }

}  // namespace hsc
