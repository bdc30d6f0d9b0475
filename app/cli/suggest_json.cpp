#include "suggest_json.h"

#include <cstdio>

#include "json_text.h"

namespace hsc::cli {
namespace {

std::string fraction(std::size_t matched, std::size_t values) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", values == 0 ? 0.0 : static_cast<double>(matched) / static_cast<double>(values));
    return buf;
}

}  // namespace

std::string suggestion_json(const WorkbookSuggestion& s, std::size_t sample_rows, const std::string& command,
                            const std::optional<std::string>& profile) {
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
                 std::to_string(v.values) + ",\"cells\":{\"texts\":" + std::to_string(c.texts) +
                 ",\"numbers\":" + std::to_string(c.numbers) + ",\"dates\":" + std::to_string(c.dates) +
                 "},\"shared_elsewhere\":" + std::to_string(c.shared_elsewhere) + ",\"content\":[";
            for (std::size_t m = 0; m < v.content.size(); ++m) {
                if (m) j += ',';
                j += "{\"kind\":" + json_string(data_kind_word(v.content[m].kind)) +
                     ",\"matched\":" + std::to_string(v.content[m].matched) +
                     ",\"share\":" + fraction(v.content[m].matched, v.values) + "}";
            }
            j += "]}";
        }
        j += "],\"kept_above\":[";
        for (std::size_t k = 0; k < sheet.kept_above.size(); ++k) {
            if (k) j += ',';
            j += json_string(column_letters(sheet.kept_above[k].second) + std::to_string(sheet.kept_above[k].first));
        }
        j += "]}";
    }
    j += "],\"command\":" + (command.empty() ? std::string("null") : json_string(command));
    j += ",\"needs_profile\":" + std::string(command.empty() && !s.columns.empty() && !profile ? "true" : "false");
    j += ",\"profile\":" + (profile ? json_string(*profile) : std::string("null"));
    return j + "}";
}

}  // namespace hsc::cli
