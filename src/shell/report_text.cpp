#include "shell/report_text.h"

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

}  // namespace

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
