#include "engine/workbook_scan.h"

#include <algorithm>
#include <string>

#include "core/status.h"
#include "engine/text_routines.h"

namespace hsc {
namespace {

constexpr std::size_t CELL_REF_MAX = 255;  // longer r values are not references

bool is_xml_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The attributes of one cell's start tag that the scan needs.
struct CellTag {
    std::string_view r;
    std::string_view t;
    bool has_r = false;
    bool has_t = false;
    bool empty = false;       // "<c .../>"
    std::size_t end = 0;      // position after the start tag
};

// Reads the attributes from `p` (just after "<c") to the closing '>' of the start tag.
CellTag read_cell_tag(std::string_view text, std::size_t p) {
    CellTag tag;
    const std::size_t n = text.size();
    while (p < n) {
        while (p < n && is_xml_space(text[p])) ++p;
        if (p >= n) break;
        if (text[p] == '>') {
            tag.end = p + 1;
            return tag;
        }
        if (text[p] == '/' && p + 1 < n && text[p + 1] == '>') {
            tag.empty = true;
            tag.end = p + 2;
            return tag;
        }
        if (text[p] == '<') break;  // no end to this tag
        const std::size_t name_begin = p;
        while (p < n && text[p] != '=' && text[p] != '>' && text[p] != '/' && !is_xml_space(text[p])) ++p;
        const std::string_view name = text.substr(name_begin, p - name_begin);
        while (p < n && is_xml_space(text[p])) ++p;
        if (p >= n || text[p] != '=') {
            if (p == name_begin) ++p;  // a stray byte: step over it
            continue;
        }
        ++p;
        while (p < n && is_xml_space(text[p])) ++p;
        if (p >= n || (text[p] != '"' && text[p] != '\'')) continue;
        const char quote = text[p++];
        const std::size_t value_end = text.find(quote, p);
        if (value_end == std::string_view::npos) break;
        const std::string_view value = text.substr(p, value_end - p);
        if (name == "r") {
            tag.r = value;
            tag.has_r = true;
        } else if (name == "t") {
            tag.t = value;
            tag.has_t = true;
        }
        p = value_end + 1;
    }
    tag.end = n;
    tag.empty = true;  // unterminated: nothing to read
    return tag;
}

bool is_target_column(int column, const FileContext& ctx) {
    const int count = std::clamp(ctx.target_column_count, 0, static_cast<int>(ctx.target_column_numbers.size()));
    return std::find(ctx.target_column_numbers.begin(), ctx.target_column_numbers.begin() + count, column) !=
           ctx.target_column_numbers.begin() + count;
}

// A shared-string index: plain decimal digits only (a sign or a fraction is no index).
bool parse_index(std::string_view text, std::size_t& index) {
    if (is_numeric_text(text) != RC_OK || text.size() > 18) return false;
    index = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        index = index * 10 + static_cast<std::size_t>(c - '0');
    }
    return true;
}

}  // namespace

std::size_t count_shared_string_items(std::string_view shared_strings) {
    std::string si(1, '<');
    si.append(root_element_prefix(shared_strings)).append("si");
    std::size_t count = 0;
    for (std::size_t p = shared_strings.find(si); p != std::string_view::npos; p = shared_strings.find(si, p + si.size()))
        ++count;
    return count;
}

std::size_t scan_worksheet(std::string_view sheet, const FileContext& ctx, std::vector<std::uint8_t>& flags) {
    std::size_t cells = 0;
    if (ctx.target_column_count <= 0 || flags.empty()) return cells;
    // Tags as this part spells them: <c> or, written with a prefix, <x:c>.
    const std::string prefix(root_element_prefix(sheet));
    const std::string c_start = "<" + prefix + "c", c_close = "</" + prefix + "c>";
    const std::string row_start = "<" + prefix + "row";
    const std::string v_open = "<" + prefix + "v>", v_close = "</" + prefix + "v>";
    // A cell without r stands in the column after the previous cell of its row.
    constexpr int UNKNOWN = -2;
    int previous_column = -1;
    const auto ends_name = [&](std::size_t at) {
        return at < sheet.size() && (is_xml_space(sheet[at]) || sheet[at] == '>' || sheet[at] == '/');
    };
    std::size_t p = sheet.find('<');
    while (p != std::string_view::npos) {
        if (sheet.compare(p, row_start.size(), row_start) == 0 && ends_name(p + row_start.size())) {
            previous_column = -1;
            p = sheet.find('<', p + row_start.size());
            continue;
        }
        if (sheet.compare(p, c_start.size(), c_start) != 0 || !ends_name(p + c_start.size())) {  // <col, <cfRule, ...
            p = sheet.find('<', p + 1);
            continue;
        }
        const CellTag tag = read_cell_tag(sheet, p + c_start.size());
        p = tag.end;
        // The attributes count wherever they stand in the tag: t before r is as good.
        int row = 0, column = UNKNOWN;
        if (tag.has_r) {
            if (tag.r.size() > CELL_REF_MAX || parse_cell_ref(tag.r, row, column) != RC_OK) column = UNKNOWN;
        } else if (previous_column != UNKNOWN) {
            column = previous_column + 1;
        }
        previous_column = column;
        if (column != UNKNOWN && is_target_column(column, ctx) && !tag.empty && tag.has_t && tag.t == "s") {
            // The value is that of this cell only: look no further than its "</c>".
            const std::size_t cell_end = std::min(sheet.find(c_close, p), sheet.size());
            const std::string_view content = sheet.substr(p, cell_end - p);
            const std::size_t v = content.find(v_open);
            const std::size_t v_begin = v == std::string_view::npos ? v : v + v_open.size();
            const std::size_t v_end = v == std::string_view::npos ? v : content.find(v_close, v_begin);
            std::size_t index = 0;
            if (v_end != std::string_view::npos && parse_index(content.substr(v_begin, v_end - v_begin), index) &&
                index < flags.size()) {
                flags[index] = 1;
                ++cells;
            }
            p = cell_end;
        }
        p = sheet.find('<', p);
    }
    return cells;
}

}  // namespace hsc
