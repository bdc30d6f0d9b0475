#include "suggest_report.h"

#include <cstdio>

#include "json_text.h"

namespace hsc::cli {
namespace {

std::string percent(std::size_t matched, std::size_t values) {
    if (values == 0) return "0%";
    return std::to_string((matched * 100 + values / 2) / values) + "%";
}

std::string fraction(std::size_t matched, std::size_t values) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", values == 0 ? 0.0 : static_cast<double>(matched) / static_cast<double>(values));
    return buf;
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
        out += "\n  sheet \"" + sheet.name + "\" (" + sheet.part + "): ";
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
                reasons += std::string(data_kind_word(m.kind)) + " values " + percent(m.matched, v.values) + " of " +
                           std::to_string(v.values);
            }
            out += reasons;
        }
    }
    if (!s.columns.empty()) out += "\n  --columns " + s.columns;
    return out;
}

std::string suggestion_json(const WorkbookSuggestion& s, std::size_t sample_rows) {
    std::string j = ",\"suggestion\":{\"sample_rows\":" + std::to_string(sample_rows) +
                    ",\"columns\":" + json_string(s.columns) + ",\"sheets\":[";
    for (std::size_t i = 0; i < s.sheets.size(); ++i) {
        const SheetSuggestion& sheet = s.sheets[i];
        if (i) j += ',';
        j += "{\"name\":" + json_string(sheet.name) + ",\"part\":" + json_string(sheet.part) +
             ",\"header_row\":" + std::to_string(sheet.header_row) + ",\"rows_read\":" + std::to_string(sheet.rows_read) +
             ",\"sampled\":" + (sheet.sampled ? "true" : "false") + ",\"columns\":[";
        for (std::size_t k = 0; k < sheet.columns.size(); ++k) {
            const ColumnSuggestion& c = sheet.columns[k];
            const ColumnVerdict& v = c.verdict;
            if (k) j += ',';
            j += "{\"column\":" + json_string(column_letters(c.column)) + ",\"kind\":" +
                 json_string(data_kind_word(v.kind)) + ",\"header_word\":" +
                 (v.header ? json_string(v.header->word) : std::string("null")) + ",\"values\":" +
                 std::to_string(v.values) + ",\"content\":[";
            for (std::size_t m = 0; m < v.content.size(); ++m) {
                if (m) j += ',';
                j += "{\"kind\":" + json_string(data_kind_word(v.content[m].kind)) +
                     ",\"matched\":" + std::to_string(v.content[m].matched) +
                     ",\"share\":" + fraction(v.content[m].matched, v.values) + "}";
            }
            j += "]}";
        }
        j += "]}";
    }
    return j + "]}";
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

}  // namespace hsc::cli
