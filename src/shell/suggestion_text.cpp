#include "shell/suggestion_text.h"

#include <string_view>

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

}  // namespace

std::string suggestion_text(const WorkbookSuggestion& s, std::size_t sample_rows) {
    std::string out = s.columns.empty() ? "no column looks like personal data"
                                        : "suggested columns " + s.columns;
    out += " (at most " + std::to_string(sample_rows) + " data rows of each worksheet looked at)";
    for (const SheetSuggestion& sheet : s.sheets) {
        out += "\n  sheet \"" + printable(sheet.name) + "\" (" + printable(sheet.part) + "): ";
        out += sheet.header_row > 0 ? "header row " + std::to_string(sheet.header_row) : std::string("no header row");
        out += ", " + std::to_string(sheet.rows_read) + (sheet.sampled ? " rows read of more" : " rows");
        if (sheet.columns.empty()) out += "; nothing suggested";
        for (const ColumnSuggestion& c : sheet.columns) {
            const ColumnVerdict& v = c.verdict;
            out += "\n    " + pad(column_letters(c.column), 4) + pad(std::string(data_kind_word(v.kind)), 16);
            std::string reasons;
            if (v.header) reasons = "header word \"" + std::string(v.header->word) + "\"";
            for (const ContentMatch& m : v.content) {
                if (!reasons.empty()) reasons += "; ";
                reasons += std::string(data_kind_word(m.kind)) + " values " + share_percent(m.matched, v.values) + " of " +
                           std::to_string(v.values);
            }
            out += reasons;
        }
    }
    if (!s.columns.empty()) out += "\n  --columns " + s.columns;
    return out;
}

std::string suggestion_error(SuggestStatus status, const std::string& input) {
    switch (status) {
        case SuggestStatus::ok: return {};
        case SuggestStatus::cannot_open:
            return "ファイルオープンエラーです(" + input + ")。ファイルを開いている場合は閉じてください。";
        case SuggestStatus::not_a_workbook:
            return "ワークブック(xlsx/xlsm)として読み取れないため、列を提案できません。";
        case SuggestStatus::damaged:
            return "ワークブックの一部が破損しているため、列を提案できません。";
    }
    return {};
}

}  // namespace hsc
