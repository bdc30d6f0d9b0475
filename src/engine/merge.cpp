#include "engine/merge.h"
#include "os/file.h"
#include "engine/refusal_text.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>
#include <optional>
#include <set>
#include <unordered_map>

#include "core/status.h"
#include "engine/backups.h"
#include "engine/driver.h"
#include "engine/inline_strings.h"
#include "engine/masked_look.h"
#include "engine/read_excel.h"
#include "engine/suggest.h"
#include "engine/text_mask.h"
#include "engine/text_routines.h"
#include "engine/workbook_part.h"
#include "engine/workbook_scan.h"
#include "package/file_type.h"
#include "package/open_package.h"
#include "package/package_entries.h"
#include "protect/footer.h"
#include "os/atomic_file.h"

namespace hsc {
namespace {

constexpr std::string_view WORKBOOK_NAME = "xl/workbook.xml";
constexpr std::string_view WORKBOOK_RELS_NAME = "xl/_rels/workbook.xml.rels";

// A text that stands in more rows of a sheet than this (a city, a masked name of a
// common length) does not propose rows by itself: the rows it would propose are found
// through the row's rarer texts, and a row made only of such texts is not told apart.
constexpr std::size_t COMMON_TEXT_ROWS = 256;

// Cells are compared by a typed text, so that the number 1 and the string "1" differ:
// 's' and the shown text for strings (shared, inline or a text cell), 'n' and the number for numbers,
// 'b' and 'd' with the value for booleans and dates. Formulas and errors are not
// compared: another program may drop or recompute their cached values.
constexpr char STRING_TEXT = 's';

// A number as every writer agrees on it: "1.50", "1.5" and "1.5E0" are one number.
std::string number_text(std::string_view v) {
    const std::string text(v);
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size()) return "n" + text;
    char out[32];
    std::snprintf(out, sizeof out, "n%.15g", value);
    return out;
}

// The shown texts of a shared-string table's items, made when first asked for.
class ItemTexts {
public:
    explicit ItemTexts(std::string_view table) : items_(shared_string_items(table)), texts_(items_.size()) {}
    std::size_t size() const { return items_.size(); }
    std::string_view content(std::size_t i) const { return items_[i]; }
    const std::string& text(std::size_t i) {
        if (!texts_[i]) texts_[i] = STRING_TEXT + shown_item_text(items_[i]);
        return *texts_[i];
    }

private:
    std::vector<std::string_view> items_;
    std::vector<std::optional<std::string>> texts_;
};

// What a cell holds, as far as the merge looks at it.
struct CellValue {
    enum class Kind { none, shared, inline_string, sheet_text, other } kind = Kind::none;
    std::size_t index = 0;  // of a shared string
    std::string text;       // the typed text; empty: nothing to compare
};

// A shared-string index: decimal digits only.
bool parse_item_index(std::string_view text, std::size_t& index) {
    if (text.empty() || text.size() > 18) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), index);
    return ec == std::errc() && end == text.data() + text.size();
}

CellValue read_cell(std::string_view sheet, const SheetCell& cell, const std::string& prefix, ItemTexts& items) {
    CellValue value;
    if (cell.empty || cell.row < 0 || cell.column < 0) return value;
    const std::string_view content = sheet.substr(cell.tag_end, cell.end - cell.tag_end);
    ElementAt at;
    if (next_element(content, prefix + "f", 0, content.size(), at)) return value;  // a formula
    const std::string_view type = cell.has_type ? cell.type : std::string_view("n");
    if (type == "inlineStr") {
        if (!next_element(content, prefix + "is", 0, content.size(), at) || !at.closed) return value;
        value.kind = CellValue::Kind::inline_string;
        value.text = STRING_TEXT + shown_item_text(content.substr(at.inner_begin, at.inner_end - at.inner_begin));
        return value;
    }
    if (!next_element(content, prefix + "v", 0, content.size(), at) || !at.closed) return value;
    const std::string_view v = content.substr(at.inner_begin, at.inner_end - at.inner_begin);
    if (type == "s") {
        std::size_t index = 0;
        if (!parse_item_index(v, index) || index >= items.size()) return value;
        value.kind = CellValue::Kind::shared;
        value.index = index;
        value.text = items.text(index);
    } else if (type == "str") {  // a text kept in the worksheet, without a formula
        value.kind = CellValue::Kind::sheet_text;
        value.text = STRING_TEXT + shown_value_text(v);
    } else if (type == "n") {
        value.kind = CellValue::Kind::other;
        value.text = number_text(v);
    } else if (type == "b" || type == "d") {
        value.kind = CellValue::Kind::other;
        value.text = std::string(1, type[0]) + std::string(v);
    }
    if (value.text.size() == 1) value.text.clear();  // an empty string says nothing of its row
    return value;
}

// A part from `reg`, or from `unread` where `reg` keeps only the stored form of a part
// that masking left as it was.
int read_either(MfileRegistry& reg, MfileRegistry* unread, std::string_view name, std::string& out) {
    const int rc = read_part(reg, name, out);
    return rc == RC_OK || !unread ? rc : read_part(*unread, name, out);
}

// The worksheets of an unpacked package, with their names.
int package_sheets(MfileRegistry& reg, std::vector<WorkbookSheet>& sheets, MfileRegistry* unread = nullptr) {
    std::string workbook, rels;
    if (int rc = read_either(reg, unread, WORKBOOK_NAME, workbook); rc != RC_OK) return rc;
    if (int rc = read_either(reg, unread, WORKBOOK_RELS_NAME, rels); rc != RC_OK) return rc;
    sheets = workbook_sheets(workbook, rels);
    return RC_OK;
}

bool is_sheet_or_workbook(std::string_view name) {
    return name.starts_with("xl/worksheets/") || name == WORKBOOK_NAME || name == WORKBOOK_RELS_NAME;
}

std::string cell_ref(int row, int column) { return column_letters(column) + std::to_string(row + 1); }

// The bytes of `text` as XML character data.
std::string xml_text(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '&') out += "&amp;";
        else if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else out += c;
    }
    return out;
}

// ---- the edited workbook ----

struct ReturnedCell {
    int column = 0;
    std::string shown;  // typed, as SourceCell::shown
    std::size_t cell = 0;     // in ReturnedSheet::cells
    bool string_cell = false;  // a string without a formula
};
struct ReturnedRow {
    int row = 0;
    std::vector<ReturnedCell> cells;
};
// Where the original of a masked cell is: MergeSource::original_items, or with
// `in_sheet` MergeSource::original_values.
struct OriginalRef {
    bool in_sheet = false;
    std::size_t index = 0;
};
struct ReturnedSheet {
    std::string name, part, text, prefix;
    std::vector<SheetCell> cells;
    std::vector<ReturnedRow> rows;
    std::map<std::size_t, OriginalRef> given;  // cell -> its original
};

int read_returned_sheets(MfileRegistry& reg, ItemTexts& items, std::vector<ReturnedSheet>& out) {
    std::vector<WorkbookSheet> sheets;
    if (int rc = package_sheets(reg, sheets); rc != RC_OK) return rc;
    for (WorkbookSheet& s : sheets) {
        ReturnedSheet sheet;
        sheet.name = std::move(s.name);
        sheet.part = std::move(s.part);
        if (!stream_exists(reg, sheet.part)) continue;
        if (int rc = read_part(reg, sheet.part, sheet.text); rc != RC_OK) return rc;
        sheet.prefix = root_element_prefix(sheet.text);
        sheet.cells = sheet_cells(sheet.text);
        std::map<int, ReturnedRow> rows;
        for (std::size_t i = 0; i < sheet.cells.size(); ++i) {
            CellValue v = read_cell(sheet.text, sheet.cells[i], sheet.prefix, items);
            if (v.text.empty()) continue;
            ReturnedRow& row = rows[sheet.cells[i].row];
            row.row = sheet.cells[i].row;
            row.cells.push_back({sheet.cells[i].column, std::move(v.text), i, v.kind != CellValue::Kind::other});
        }
        for (auto& [number, row] : rows) sheet.rows.push_back(std::move(row));
        out.push_back(std::move(sheet));
    }
    return RC_OK;
}

// ---- matching ----

// How many texts two sorted lists share, each counted as often as both hold it.
std::size_t shared_count(const std::vector<std::string_view>& a, const std::vector<std::string_view>& b) {
    std::size_t n = 0;
    for (std::size_t i = 0, k = 0; i < a.size() && k < b.size();) {
        if (a[i] < b[k]) ++i;
        else if (b[k] < a[i]) ++k;
        else ++n, ++i, ++k;
    }
    return n;
}

// The texts of a row of either workbook, sorted.
template <typename Row>
std::vector<std::string_view> texts_of(const Row& row) {
    std::vector<std::string_view> texts;
    for (const auto& c : row.cells) texts.emplace_back(c.shown);
    std::sort(texts.begin(), texts.end());
    return texts;
}

// The rows of the kept copy that a row of the edited workbook is: those that share the
// most texts with it, when they share more than half of their own. Several when rows
// of the copy cannot be told apart by what the edited row shows.
class RowMatcher {
public:
    explicit RowMatcher(const SourceSheet& sheet) {
        for (std::size_t r = 0; r < sheet.rows.size(); ++r) {
            texts_.push_back(texts_of(sheet.rows[r]));
            const auto& t = texts_.back();
            for (std::size_t i = 0; i < t.size(); ++i)
                if (i == 0 || t[i] != t[i - 1]) rows_of_[t[i]].push_back(r);
        }
    }

    std::vector<std::size_t> match(const ReturnedRow& row) const {
        const std::vector<std::string_view> mine = texts_of(row);
        std::set<std::size_t> proposed;
        for (std::string_view t : mine) {
            const auto found = rows_of_.find(t);
            if (found != rows_of_.end() && found->second.size() <= COMMON_TEXT_ROWS)
                proposed.insert(found->second.begin(), found->second.end());
        }
        std::vector<std::size_t> best;
        std::size_t best_score = 0;
        for (std::size_t r : proposed) {
            const std::size_t score = shared_count(mine, texts_[r]);
            if (score * 2 <= texts_[r].size()) continue;
            if (score > best_score) {
                best_score = score;
                best.clear();
            }
            if (score == best_score) best.push_back(r);
        }
        return best;
    }

private:
    std::vector<std::vector<std::string_view>> texts_;
    std::unordered_map<std::string_view, std::vector<std::size_t>> rows_of_;
};

// Which sheet of the kept copy each sheet of the edited workbook is: the same name, or
// for a renamed sheet the unclaimed sheet of the copy whose texts it shares most (more
// than half of the copy's). -1: a sheet the copy does not have.
std::vector<int> match_sheets(const MergeSource& source, const std::vector<ReturnedSheet>& returned) {
    std::vector<int> match(returned.size(), -1);
    std::vector<bool> claimed(source.sheets.size(), false);
    for (std::size_t r = 0; r < returned.size(); ++r)
        for (std::size_t s = 0; s < source.sheets.size(); ++s)
            if (!claimed[s] && source.sheets[s].name == returned[r].name) {
                match[r] = static_cast<int>(s);
                claimed[s] = true;
                break;
            }
    const auto text_set = [](const auto& rows) {
        std::set<std::string_view> set;
        for (const auto& row : rows)
            for (const auto& c : row.cells) set.insert(c.shown);
        return set;
    };
    for (std::size_t r = 0; r < returned.size(); ++r) {
        if (match[r] >= 0) continue;
        const auto mine = text_set(returned[r].rows);
        int best = -1;
        std::size_t best_shared = 0;
        for (std::size_t s = 0; s < source.sheets.size(); ++s) {
            if (claimed[s]) continue;
            const auto theirs = text_set(source.sheets[s].rows);
            std::size_t shared = 0;
            for (std::string_view t : mine) shared += theirs.count(t);
            if (shared * 2 > theirs.size() && shared > best_shared) {
                best_shared = shared;
                best = static_cast<int>(s);
            }
        }
        if (best >= 0) {
            match[r] = best;
            claimed[static_cast<std::size_t>(best)] = true;
        }
    }
    return match;
}

// The column of the copy that most often holds the same text as each column of the
// edited sheet, in the rows matched one to one; and the other way round.
struct ColumnMap {
    std::map<int, int> to_source, to_returned;
};

ColumnMap map_columns(const SourceSheet& source, const ReturnedSheet& returned,
                      const std::vector<std::vector<std::size_t>>& matches) {
    std::map<std::pair<int, int>, std::size_t> votes;  // (returned, source) column
    for (std::size_t r = 0; r < returned.rows.size(); ++r) {
        if (matches[r].size() != 1) continue;
        const SourceRow& src = source.rows[matches[r][0]];
        for (const ReturnedCell& c : returned.rows[r].cells) {
            const auto same = [&](const auto& x) { return x == c.shown; };
            std::size_t mine = 0, theirs = 0;
            int column = 0;
            for (const ReturnedCell& o : returned.rows[r].cells) mine += same(o.shown);
            for (const SourceCell& s : src.cells)
                if (same(s.shown)) ++theirs, column = s.column;
            if (mine == 1 && theirs == 1) ++votes[{c.column, column}];
        }
    }
    ColumnMap map;
    std::map<int, std::size_t> best_r, best_s;
    for (const auto& [pair, n] : votes) {
        if (n > best_r[pair.first]) best_r[pair.first] = n, map.to_source[pair.first] = pair.second;
        if (n > best_s[pair.second]) best_s[pair.second] = n, map.to_returned[pair.second] = pair.first;
    }
    return map;
}

// The one original of `candidates`, or nothing when they differ. A cell that was never
// masked is its own original: nullptr.
std::optional<const SourceCell*> single_original(const MergeSource& source,
                                                 const std::vector<const SourceCell*>& candidates) {
    const auto same = [&](const SourceCell* a, const SourceCell* b) {
        if (!a || !b) return a == b;
        if (a->in_sheet != b->in_sheet) return false;
        return a->in_sheet ? source.original_values[a->item] == source.original_values[b->item]
                           : source.original_items[a->item] == source.original_items[b->item];
    };
    std::optional<const SourceCell*> one;
    for (const SourceCell* c : candidates) {
        const SourceCell* original = c->masked ? c : nullptr;
        if (!one) one = original;
        else if (!same(*one, original)) return std::nullopt;
    }
    return one;
}

void merge_sheet(const MergeSource& source, const SourceSheet& src, ReturnedSheet& ret,
                 const std::set<std::string_view>& masked_texts, MergeReport& report) {
    const RowMatcher matcher(src);
    std::vector<std::vector<std::size_t>> matches;
    for (const ReturnedRow& row : ret.rows) matches.push_back(matcher.match(row));
    const ColumnMap columns = map_columns(src, ret, matches);

    std::vector<bool> seen(src.rows.size(), false);
    std::vector<std::vector<bool>> used(src.rows.size());
    for (std::size_t s = 0; s < src.rows.size(); ++s) used[s].assign(src.rows[s].cells.size(), false);

    for (std::size_t r = 0; r < ret.rows.size(); ++r) {
        const ReturnedRow& row = ret.rows[r];
        for (std::size_t s : matches[r]) seen[s] = true;
        for (const ReturnedCell& c : row.cells) {
            const MergeCell where{ret.name, cell_ref(row.row, c.column)};
            std::vector<const SourceCell*> candidates;
            std::vector<std::pair<std::size_t, std::size_t>> places;
            for (std::size_t s : matches[r])
                for (std::size_t k = 0; k < src.rows[s].cells.size(); ++k)
                    if (src.rows[s].cells[k].shown == c.shown) {
                        candidates.push_back(&src.rows[s].cells[k]);
                        places.emplace_back(s, k);
                    }
            const bool any_masked =
                std::any_of(candidates.begin(), candidates.end(), [](const SourceCell* x) { return x->masked; });
            if (!any_masked) {
                // Not a masked cell of its row; a masked text all the same is one the row
                // did not have (copied from elsewhere, or no row matched).
                if (candidates.empty() && c.string_cell && masked_texts.count(c.shown))
                    report.unmatched.push_back(where);
                continue;
            }
            for (const auto& [s, k] : places) used[s][k] = true;
            std::optional<const SourceCell*> original = single_original(source, candidates);
            if (!original) {
                // The column tells apart cells of one row that look alike.
                const auto mapped = columns.to_source.find(c.column);
                if (mapped != columns.to_source.end()) {
                    std::vector<const SourceCell*> in_column;
                    for (const SourceCell* x : candidates)
                        if (x->column == mapped->second) in_column.push_back(x);
                    if (!in_column.empty()) original = single_original(source, in_column);
                }
            }
            if (!original) {
                report.ambiguous.push_back(where);
            } else if (*original) {
                ret.given[c.cell] = {(*original)->in_sheet, (*original)->item};
                ++report.given_back;
            }
        }
    }
    // What became of the masked cells of the copy that no cell of the edited workbook
    // showed any more. A row that no row matched is deleted, unless its masked texts
    // are among those listed as left masked here: it may well be one of those rows.
    std::set<std::string_view> left_texts;
    for (const ReturnedRow& row : ret.rows)
        for (const ReturnedCell& c : row.cells)
            if (c.string_cell && masked_texts.count(c.shown) && !ret.given.count(c.cell)) left_texts.insert(c.shown);
    // A row matched one to one tells where its cells now stand.
    std::vector<std::optional<int>> now_rows(src.rows.size());
    for (std::size_t r = 0; r < ret.rows.size(); ++r)
        if (matches[r].size() == 1 && !now_rows[matches[r][0]]) now_rows[matches[r][0]] = ret.rows[r].row;
    for (std::size_t s = 0; s < src.rows.size(); ++s) {
        const SourceRow& row = src.rows[s];
        const std::optional<int>& now_row = now_rows[s];
        for (std::size_t k = 0; k < row.cells.size(); ++k) {
            const SourceCell& c = row.cells[k];
            if (!c.masked || used[s][k]) continue;
            if (!seen[s]) {
                if (!left_texts.count(c.shown)) report.row_deleted.push_back({src.name, cell_ref(row.row, c.column)});
            } else if (now_row) {
                const auto to = columns.to_returned.find(c.column);
                report.changed.push_back(to != columns.to_returned.end() ? MergeCell{ret.name, cell_ref(*now_row, to->second)}
                                                                         : MergeCell{src.name, cell_ref(row.row, c.column)});
            }
        }
    }
}

bool is_xml_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The cell rewritten with the t attribute `type` (none when empty), its other attributes
// kept, and `content` inside; false when its markup is not one to rewrite.
bool rewrite_cell(std::string_view sheet, const SheetCell& cell, const std::string& prefix, std::string_view type,
                  std::string_view content, std::string& out) {
    const std::string close = "</" + prefix + "c>";
    if (cell.empty || cell.end > sheet.size() || cell.tag_end < cell.begin + 2 || sheet[cell.tag_end - 1] != '>' ||
        !sheet.substr(0, cell.end).ends_with(close))
        return false;
    // The attribute as written, from the space before its name to its closing quote;
    // without one, the new attribute goes just before the tag's '>'.
    std::size_t attr_begin = cell.tag_end - 1, attr_end = cell.tag_end - 1;
    if (cell.has_type) {
        const std::size_t value_at = static_cast<std::size_t>(cell.type.data() - sheet.data());
        if (value_at <= cell.begin || value_at + cell.type.size() >= cell.tag_end) return false;
        std::size_t p = value_at - 1;  // the opening quote
        while (p > cell.begin && (is_xml_space(sheet[p - 1]) || sheet[p - 1] == '=')) --p;
        if (p <= cell.begin + 1 || sheet[p - 1] != 't' || !is_xml_space(sheet[p - 2])) return false;
        attr_begin = p - 2;
        attr_end = value_at + cell.type.size() + 1;
    }
    out.append(sheet, cell.begin, attr_begin - cell.begin);
    if (!type.empty()) out.append(" t=\"").append(type).append("\"");
    out.append(sheet, attr_end, cell.tag_end - attr_end).append(content).append(close);
    return true;
}

std::string value_element(const std::string& prefix, std::string_view value) {
    return "<" + prefix + "v>" + std::string(value) + "</" + prefix + "v>";
}
std::string inline_element(const std::string& prefix, std::string_view text) {
    return "<" + prefix + "is><" + prefix + "t xml:space=\"preserve\">" + xml_text(text) + "</" + prefix + "t></" +
           prefix + "is>";
}
// The content of a cell that holds `value`.
std::string value_content(const std::string& prefix, const CellOriginal& value) {
    return value.type == "inlineStr" ? inline_element(prefix, value.value) : value_element(prefix, value.value);
}

// Writes the cells given back: each original item once more at the end of the table,
// and the cells pointing at it. A package whose table has another name than the one
// this program adds gets inline strings instead.
int write_given_back(MfileRegistry& reg, const MergeSource& source, std::vector<ReturnedSheet>& sheets) {
    bool has_table = stream_exists(reg, SHARED_STRINGS_NAME), possible = true;
    std::string table;
    if (has_table)
        if (int rc = read_part(reg, SHARED_STRINGS_NAME, table); rc != RC_OK) return rc;
    if (int rc = begin_inline_strings(reg, has_table, table, possible); rc != RC_OK) return rc;
    const std::string table_prefix(possible ? root_element_prefix(table) : std::string_view());
    const std::size_t base = has_table ? count_shared_string_items(table) : 0;
    std::map<std::size_t, std::size_t> new_index;  // original item -> its index in the table
    std::string items;
    for (ReturnedSheet& sheet : sheets) {
        if (sheet.given.empty()) continue;
        std::string out;
        out.reserve(sheet.text.size() + sheet.given.size() * 16);
        std::size_t copied = 0;
        for (const auto& [cell_index, original] : sheet.given) {
            const SheetCell& cell = sheet.cells[cell_index];
            std::string type, value;
            if (original.in_sheet) {
                const CellOriginal& o = source.original_values[original.index];
                type = o.type;
                value = value_content(sheet.prefix, o);
            } else if (const std::size_t item = original.index; possible) {
                const std::string_view content = source.original_items[item];
                auto [at, added] = new_index.try_emplace(item, base + new_index.size());
                if (added) {
                    items += "<" + table_prefix + "si>";
                    if (source.table_prefix == table_prefix && !content.empty())
                        items += content;
                    else
                        items += "<" + table_prefix + "t xml:space=\"preserve\">" +
                                 xml_text(shown_item_text(content)) + "</" + table_prefix + "t>";
                    items += "</" + table_prefix + "si>";
                }
                type = "s";
                value = value_element(sheet.prefix, std::to_string(at->second));
            } else {
                type = "inlineStr";
                value = inline_element(sheet.prefix, shown_item_text(source.original_items[item]));
            }
            std::string rewritten;
            if (cell.begin < copied || !rewrite_cell(sheet.text, cell, sheet.prefix, type, value, rewritten)) continue;
            out.append(sheet.text, copied, cell.begin - copied).append(rewritten);
            copied = cell.end;
        }
        out.append(sheet.text, copied);
        if (Status st = write_whole_file(reg, sheet.part, out); st != Status::ok) return code(st);
    }
    if (!possible) return RC_OK;
    bool created = false;
    return finish_inline_strings(reg, has_table, table, items, new_index.size(), created);
}

// The workbook part asks for every formula to be computed on opening.
int ask_recalculation(MfileRegistry& reg) {
    std::string workbook;
    if (int rc = read_part(reg, WORKBOOK_NAME, workbook); rc != RC_OK) return rc;
    if (!ask_full_calculation(workbook)) return RC_OK;
    return code(write_whole_file(reg, WORKBOOK_NAME, workbook));
}

// The formulas of the edited workbook were computed by the other side from masked
// values: their results go, and the spreadsheet program computes them anew from the
// originals when it opens the workbook.
int recalculate_on_opening(MfileRegistry& reg, const std::vector<ReturnedSheet>& sheets) {
    for (const ReturnedSheet& sheet : sheets) {
        std::string text;
        if (int rc = read_part(reg, sheet.part, text); rc != RC_OK) return rc;
        if (std::optional<std::string> fresh = without_formula_results(text))
            if (Status st = write_whole_file(reg, sheet.part, *fresh); st != Status::ok) return code(st);
    }
    return ask_recalculation(reg);
}

// "&#9679;" or "&#x25CF;": a reference to a mask character.
bool is_mask_reference(std::string_view ref) {
    if (!ref.starts_with("&#") || !ref.ends_with(";")) return false;
    const bool hex = ref.size() > 3 && (ref[2] == 'x' || ref[2] == 'X');
    const std::string_view digits = ref.substr(hex ? 3 : 2, ref.size() - (hex ? 4 : 3));
    std::uint32_t c = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), c, hex ? 16 : 10);
    if (ec != std::errc() || end != digits.data() + digits.size()) return false;
    std::string text;
    append_utf8(text, static_cast<char32_t>(c));
    return !text.empty() && mask_character(text) == text.size();
}

std::size_t utf8_length(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xF0) return 4;
    if (lead >= 0xE0) return 3;
    if (lead >= 0xC0) return 2;
    return 1;
}

}  // namespace

bool is_masking_of(std::string_view masked, std::string_view original) {
    if (masked.size() != original.size()) return false;
    for (std::size_t p = 0; p < original.size();) {
        // A character reference is masked as a reference of the same length.
        if (original[p] == '&') {
            const std::size_t end = original.find(';', p);
            if (end == std::string_view::npos) return masked.substr(p) == original.substr(p);
            const std::string_view theirs = original.substr(p, end + 1 - p), mine = masked.substr(p, end + 1 - p);
            if (mine != theirs && !is_mask_reference(mine)) return false;
            p = end + 1;
            continue;
        }
        const std::size_t n = std::min(utf8_length(static_cast<unsigned char>(original[p])), original.size() - p);
        if (masked.compare(p, n, original, p, n) != 0) {
            // The character became one or two mask characters that fill its bytes.
            std::size_t q = p;
            while (q < p + n) {
                const std::size_t m = mask_character(masked.substr(q, p + n - q));
                if (m == 0) return false;
                q += m;
            }
        }
        p += n;
    }
    return true;
}

bool table_fits(std::string_view current, std::string_view original) {
    if (current.size() != original.size()) return false;
    return table_fits(current, shared_string_items(current), original);
}

bool table_fits(std::string_view current, const std::vector<std::string_view>& now, std::string_view original) {
    if (current.size() != original.size()) return false;
    const std::vector<std::string_view> before = shared_string_items(original);
    if (now.size() != before.size()) return false;
    for (std::size_t i = 0; i < now.size(); ++i)
        if (!is_masking_of(now[i], before[i])) return false;
    return true;
}

int restore_table(MfileRegistry& reg, const BackupKey& key, MergeReport& report) {
    if (!stream_exists(reg, BACKUP_SHARED_STRINGS)) return RC_OPEN;
    std::string original, current;
    if (int rc = read_backup(reg, BACKUP_SHARED_STRINGS, key, original); rc != RC_OK) return rc;
    if (int rc = read_part(reg, SHARED_STRINGS_NAME, current); rc != RC_OK) return rc;
    // A part that holds no item at all is no table anything points into: the backup is
    // all there is of it.
    const bool whole = table_fits(current, original) || shared_string_items(current).empty();
    const int rc = whole ? code(write_whole_file(reg, SHARED_STRINGS_NAME, original))
                         : restore_table_items(reg, original, report);
    if (rc == RC_OK) mremove(reg, BACKUP_SHARED_STRINGS);
    return rc;
}

namespace {

// A cell as its markup holds it, for comparing a row with its original: the t attribute
// and the raw <v> (a shared string by its index), or nothing for a formula or an empty
// cell.
std::optional<std::pair<std::string_view, std::string_view>> raw_cell(std::string_view sheet, const SheetCell& cell,
                                                                      const std::string& prefix) {
    if (cell.empty || cell.end > sheet.size()) return std::nullopt;
    const std::string_view content = sheet.substr(cell.tag_end, cell.end - cell.tag_end);
    ElementAt at;
    if (next_element(content, prefix + "f", 0, content.size(), at)) return std::nullopt;
    const std::string_view type = cell.has_type && cell.type != "n" ? cell.type : std::string_view();
    if (next_element(content, prefix + (type == "inlineStr" ? "is" : "v"), 0, content.size(), at) && at.closed)
        return std::pair(type, content.substr(at.inner_begin, at.inner_end - at.inner_begin));
    return std::nullopt;
}

// A value of the worksheet itself (no shared string, no formula): its type and raw
// value (for an inline string the text it shows), and the typed text it shows.
std::optional<CellOriginal> sheet_value(std::string_view sheet, const SheetCell& cell, const std::string& prefix) {
    const auto raw = raw_cell(sheet, cell, prefix);
    if (!raw) return std::nullopt;
    ItemTexts no_items{std::string_view()};
    CellValue v = read_cell(sheet, cell, prefix, no_items);
    if (v.text.empty() || v.kind == CellValue::Kind::shared) return std::nullopt;
    CellOriginal value;
    value.type = raw->first;
    value.value = v.kind == CellValue::Kind::inline_string ? v.text.substr(1)  // after its type letter
                                                           : std::string(raw->second);
    value.shown = std::move(v.text);
    return value;
}

// The cells of a worksheet as they were before masking, from its backup.
class OriginalCells {
public:
    OriginalCells() = default;
    OriginalCells(const OriginalCells&) = delete;  // the cells point into the text
    OriginalCells& operator=(const OriginalCells&) = delete;

    // Nothing when masking left the worksheet as it was (it has no backup).
    int read(MfileRegistry& reg, const BackupKey& key, const std::string& part) {
        const std::string backup = worksheet_backup_name(part);
        if (!stream_exists(reg, backup)) return RC_OK;
        std::string plain;
        if (int rc = read_backup(reg, backup, key, plain); rc != RC_OK) return rc;
        WorksheetBackup parsed;
        std::string inflated;
        std::string_view original;
        if (!read_worksheet_backup(plain, parsed) || !worksheet_original(parsed, inflated, original)) return RC_FAIL;
        set(original);
        return RC_OK;
    }
    void set(std::string_view original) {
        text_.assign(original);
        prefix_ = root_element_prefix(text_);
        cells_.clear();
        for (const SheetCell& cell : sheet_cells(text_))
            if (!cell.empty && cell.row >= 0 && cell.column >= 0) cells_.emplace(std::pair(cell.row, cell.column), cell);
    }

    // What the cell at the place of `now` held, when it was a value of the worksheet
    // (no shared string, no formula) that showed something else than `shown`.
    std::optional<CellOriginal> masked_from(const SheetCell& now, const std::string& shown) const {
        const auto found = cells_.find({now.row, now.column});
        if (found == cells_.end()) return std::nullopt;
        std::optional<CellOriginal> was = sheet_value(text_, found->second, prefix_);
        if (!was || was->shown == shown) return std::nullopt;
        return was;
    }

private:
    std::string text_, prefix_;
    std::map<std::pair<int, int>, SheetCell> cells_;
};

// True when `now`, the raw value of a cell of the type `original` has, is what masking
// makes of the original: each character the same or a mask character, or for an ISO
// date the fixed moment masking writes.
bool is_masked_value(std::string_view now, const CellOriginal& original) {
    if (original.type == "d") {
        std::string masked = original.value;
        return mask_iso_date(masked) && masked == now;
    }
    return now != original.value && is_masking_of(now, original.value);
}

}  // namespace

int read_merge_source(MfileRegistry& reg, const BackupKey& key, MergeSource& source, MfileRegistry* unread) {
    std::vector<WorkbookSheet> sheets;
    if (int rc = package_sheets(reg, sheets, unread); rc != RC_OK) return rc;
    std::string masked_table, original_table;
    if (stream_exists(reg, SHARED_STRINGS_NAME) && stream_exists(reg, BACKUP_SHARED_STRINGS)) {
        if (int rc = read_part(reg, SHARED_STRINGS_NAME, masked_table); rc != RC_OK) return rc;
        if (int rc = read_backup(reg, BACKUP_SHARED_STRINGS, key, original_table); rc != RC_OK) return rc;
    }
    ItemTexts masked(masked_table), original(original_table);
    source.table_prefix = root_element_prefix(original_table);
    source.original_items.clear();
    for (std::size_t i = 0; i < original.size(); ++i) source.original_items.emplace_back(original.content(i));
    source.original_values.clear();
    for (const WorkbookSheet& s : sheets) {
        std::string text;
        if (!stream_exists(reg, s.part)) continue;
        if (int rc = read_either(reg, unread, s.part, text); rc != RC_OK) return rc;
        const std::string prefix(root_element_prefix(text));
        OriginalCells before;
        if (int rc = before.read(reg, key, s.part); rc != RC_OK) return rc;
        SourceSheet sheet{s.name, {}};
        std::map<int, SourceRow> rows;
        for (const SheetCell& cell : sheet_cells(text)) {
            CellValue v = read_cell(text, cell, prefix, masked);
            if (v.text.empty()) continue;
            SourceCell c{cell.column, std::move(v.text), false, 0};
            // Masking keeps the table's order: item N of the backup is item N of the copy.
            if (v.kind == CellValue::Kind::shared && v.index < original.size() && original.text(v.index) != c.shown) {
                c.masked = true;
                c.item = v.index;
            } else if (v.kind != CellValue::Kind::shared) {
                // A value masked in the worksheet itself: its cell before masking differs.
                if (std::optional<CellOriginal> was = before.masked_from(cell, c.shown)) {
                    c.masked = c.in_sheet = true;
                    c.item = source.original_values.size();
                    source.original_values.push_back(std::move(*was));
                }
            }
            SourceRow& row = rows[cell.row];
            row.row = cell.row;
            row.cells.push_back(std::move(c));
        }
        for (auto& [number, row] : rows) sheet.rows.push_back(std::move(row));
        source.sheets.push_back(std::move(sheet));
    }
    return RC_OK;
}


std::size_t give_back_sheet_values(std::string_view now, std::string_view original, std::string_view table,
                                   std::string& out, std::vector<std::string>* left) {
    const std::string prefix(root_element_prefix(now)), original_prefix(root_element_prefix(original));
    ItemTexts items(table), no_items{std::string_view()};
    // The same cell as before masking: the same markup, or an inline string that masking
    // turned into a shared one showing the same text.
    const auto same = [&](const SheetCell& w, const SheetCell& c) {
        const auto was = raw_cell(original, w, original_prefix);
        if (was && raw_cell(now, c, prefix) == was) return true;
        const CellValue v = read_cell(original, w, original_prefix, no_items);
        return v.kind == CellValue::Kind::inline_string && v.text == read_cell(now, c, prefix, items).text;
    };
    OriginalCells before;
    before.set(original);
    const std::vector<SheetCell> cells = sheet_cells(now), was_cells = sheet_cells(original);
    std::map<std::pair<int, int>, std::size_t> now_at;  // (row, column) -> cell
    for (std::size_t i = 0; i < cells.size(); ++i) now_at.emplace(std::pair(cells[i].row, cells[i].column), i);

    // Per cell: the value masking made of the original at its place, or nothing.
    std::vector<std::optional<CellOriginal>> masked(cells.size());
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const std::optional<CellOriginal> value = sheet_value(now, cells[i], prefix);
        if (!value) continue;
        std::optional<CellOriginal> was = before.masked_from(cells[i], value->shown);
        if (was && was->type == value->type && is_masked_value(value->value, *was)) masked[i] = std::move(was);
    }
    // A masked value is given back only in a row that is still its own: every cell the
    // row had before masking is there, the same or masked, and one at least is the same
    // and not a masked one. Rows sorted or rewritten by the other side fail this.
    std::map<int, bool> row_is_own, row_has_same;
    for (const SheetCell& w : was_cells) {
        const auto was = raw_cell(original, w, original_prefix);
        if (!was) continue;
        bool& own = row_is_own.try_emplace(w.row, true).first->second;
        const auto found = now_at.find({w.row, w.column});
        if (found == now_at.end()) {
            own = false;
            continue;
        }
        if (masked[found->second]) continue;
        if (same(w, cells[found->second])) row_has_same[w.row] = true;
        else own = false;
    }

    out.clear();
    out.reserve(now.size());
    std::size_t copied = 0, given = 0;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (!masked[i]) continue;
        const SheetCell& cell = cells[i];
        std::string rewritten;
        if (!row_is_own[cell.row] || !row_has_same[cell.row] || cell.begin < copied ||
            !rewrite_cell(now, cell, prefix, masked[i]->type, value_content(prefix, *masked[i]), rewritten)) {
            if (left) left->push_back(cell_ref(cell.row, cell.column));
            continue;
        }
        out.append(now, copied, cell.begin - copied).append(rewritten);
        copied = cell.end;
        ++given;
    }
    out.append(now, copied);
    return given;
}

int give_back_worksheet(MfileRegistry& reg, const std::string& part, std::string_view original, MergeReport& report) {
    try {
        std::string now, table, merged;
        if (int rc = read_part(reg, part, now); rc != RC_OK) return rc;
        if (stream_exists(reg, SHARED_STRINGS_NAME))
            if (int rc = read_part(reg, SHARED_STRINGS_NAME, table); rc != RC_OK) return rc;
        std::vector<std::string> left;
        const std::size_t given = give_back_sheet_values(now, original, table, merged, &left);
        report.given_back += given;
        // As after a merge: what the other side computed from masked values goes.
        if (given > 0) {
            if (std::optional<std::string> fresh = without_formula_results(merged)) {
                merged = std::move(*fresh);
                if (int rc = ask_recalculation(reg); rc != RC_OK) return rc;
            }
        }
        std::string name = part;
        std::vector<WorkbookSheet> sheets;
        if (package_sheets(reg, sheets) == RC_OK)
            for (const WorkbookSheet& s : sheets)
                if (s.part == part) name = s.name;
        for (std::string& ref : left) report.unmatched.push_back({name, std::move(ref)});
        return code(write_whole_file(reg, part, merged));
    } catch (const std::bad_alloc&) {
        return RC_NOMEM;
    }
}

int merge_into_package(MfileRegistry& reg, const MergeSource& source, MergeReport& report) {
    try {
        report = MergeReport{};
        std::string table;
        if (stream_exists(reg, SHARED_STRINGS_NAME))
            if (int rc = read_part(reg, SHARED_STRINGS_NAME, table); rc != RC_OK) return rc;
        ItemTexts items(table);
        std::vector<ReturnedSheet> sheets;
        if (int rc = read_returned_sheets(reg, items, sheets); rc != RC_OK) return rc;

        std::set<std::string_view> masked_texts;
        for (const SourceSheet& s : source.sheets)
            for (const SourceRow& row : s.rows)
                for (const SourceCell& c : row.cells)
                    if (c.masked) masked_texts.insert(c.shown);

        const std::vector<int> match = match_sheets(source, sheets);
        std::vector<bool> claimed(source.sheets.size(), false);
        for (std::size_t r = 0; r < sheets.size(); ++r) {
            if (match[r] >= 0) {
                claimed[static_cast<std::size_t>(match[r])] = true;
                merge_sheet(source, source.sheets[static_cast<std::size_t>(match[r])], sheets[r], masked_texts, report);
                continue;
            }
            for (const ReturnedRow& row : sheets[r].rows)
                for (const ReturnedCell& c : row.cells)
                    if (c.string_cell && masked_texts.count(c.shown))
                        report.unmatched.push_back({sheets[r].name, cell_ref(row.row, c.column)});
        }
        // A sheet of the copy that the edited workbook no longer has: its rows are gone.
        for (std::size_t s = 0; s < source.sheets.size(); ++s) {
            if (claimed[s]) continue;
            for (const SourceRow& row : source.sheets[s].rows)
                for (const SourceCell& c : row.cells)
                    if (c.masked) report.row_deleted.push_back({source.sheets[s].name, cell_ref(row.row, c.column)});
        }
        if (int rc = write_given_back(reg, source, sheets); rc != RC_OK) return rc;
        if (report.given_back > 0)
            if (int rc = recalculate_on_opening(reg, sheets); rc != RC_OK) return rc;
        report.produced = true;
        return RC_OK;
    } catch (const std::bad_alloc&) {
        return RC_NOMEM;
    }
}

int restore_table_items(MfileRegistry& reg, std::string_view original_table, MergeReport& report) {
    try {
        report = MergeReport{};
        std::string current;
        if (int rc = read_part(reg, SHARED_STRINGS_NAME, current); rc != RC_OK) return rc;
        const std::vector<std::string_view> now = shared_string_items(current);
        const std::vector<std::string_view> before = shared_string_items(original_table);
        // Per item of the table as it is: given back, or still showing a masked text of
        // the backup without being the item masking made (a copy, or another place).
        enum class Item : std::uint8_t { kept, given_back, masked_elsewhere };
        std::vector<Item> state(now.size(), Item::kept);
        std::set<std::string> masked_texts;
        for (std::size_t i = 0; i < now.size() && i < before.size(); ++i)
            if (now[i] != before[i] && is_masking_of(now[i], before[i])) {
                state[i] = Item::given_back;
                masked_texts.insert(shown_item_text(now[i]));
            }
        for (std::size_t i = 0; i < now.size(); ++i)
            if (state[i] != Item::given_back && masked_texts.count(shown_item_text(now[i])))
                state[i] = Item::masked_elsewhere;

        std::string out;
        out.reserve(current.size());
        std::size_t copied = 0;
        for (std::size_t i = 0; i < now.size(); ++i) {
            if (state[i] != Item::given_back) continue;
            const std::size_t at = static_cast<std::size_t>(now[i].data() - current.data());
            out.append(current, copied, at - copied).append(before[i]);
            copied = at + now[i].size();
        }
        out.append(current, copied);

        // The report counts cells, as a merge does, in the worksheets the workbook names.
        std::vector<WorkbookSheet> sheets;
        if (package_sheets(reg, sheets) != RC_OK) sheets.clear();
        ItemTexts items(current);
        for (const WorkbookSheet& s : sheets) {
            std::string text;
            if (!stream_exists(reg, s.part) || read_part(reg, s.part, text) != RC_OK) continue;
            const std::string prefix(root_element_prefix(text));
            for (const SheetCell& cell : sheet_cells(text)) {
                const CellValue v = read_cell(text, cell, prefix, items);
                if (v.kind != CellValue::Kind::shared) continue;
                const MergeCell where{s.name, cell_ref(cell.row, cell.column)};
                if (state[v.index] == Item::given_back) ++report.given_back;
                else if (state[v.index] == Item::masked_elsewhere) report.unmatched.push_back(where);
            }
        }
        if (Status st = write_whole_file(reg, SHARED_STRINGS_NAME, out); st != Status::ok) return code(st);
        report.produced = true;
        return RC_OK;
    } catch (const std::bad_alloc&) {
        return RC_NOMEM;
    }
}

namespace {

// Every failure of the source names the source: the reporter's words are about the
// returned workbook otherwise.
class SourceReporter final : public Reporter {
public:
    SourceReporter(Reporter& inner, std::string name, Lang lang) : inner_(inner), name_(std::move(name)), lang_(lang) {}
    void error(std::string_view text) override { inner_.error(say(lang_, Msg::in_file, {text, name_})); }
    bool ask_yes_no(std::string_view text) override { return inner_.ask_yes_no(text); }
    void info(std::string_view text) override { inner_.info(text); }

private:
    Reporter& inner_;
    std::string name_;
    Lang lang_;
};

}  // namespace

int load_merge_source(const std::filesystem::path& path, const StoredSettings& s, const std::string* key_check,
                      const FileContext& ctx, std::uint64_t memory_budget, MergeSource& source, Reporter& to_user,
                      Lang lang, FailReason& why) {
    const std::string name = os::path_u8(path);
    SourceReporter reporter(to_user, name, lang);
    // `named`: the text names the source already.
    const auto fail = [&](FailReason reason, const std::string& text, bool named = false) {
        why = reason;
        (named ? to_user : reporter).error(text);
        return RC_FAIL;
    };
    InputFile in;
    if (int error = in.open(path); error != 0)
        return fail(open_failure_reason(error), open_failure_message(error, path, lang), true);
    MfileRegistry reg;
    reg.max_package_bytes = memory_budget;
    OpenPackage package;
    if (package.open(in.fd(), path, reg) != RC_OK)
        return fail(FailReason::cannot_open, say(lang, Msg::open_error, {name}), true);
    const int type = package.file_type();
    if (type != TYPE_XLSX && type != TYPE_XLSM)
        return fail(FailReason::unsupported_file, say(lang, Msg::unsupported_file, {name}), true);
    std::string block;
    if (package.last_bytes(FOOTER_SIZE, block) != RC_OK)
        return fail(FailReason::damaged,
                    package.size() < FOOTER_SIZE
                        ? say(lang, Msg::in_file, {short_file_text(lang, reg.refusal, package.size()), name})
                        : say(lang, Msg::check_footer_error, {std::to_string(RC_SHORT_READ)}),
                    package.size() < FOOTER_SIZE);
    int present = FOOTER_ABSENT;
    FooterCheck check;
    int rc = hsc_check_footer_block(block, s, key_check, present, reporter, &why, lang, check);
    if (rc == RC_REFUSED) return RC_REFUSED;
    if (check.no_backup) return fail(FailReason::no_backup, say(lang, Msg::no_backup_source, {name}), true);
    // The kept copy's backups open with its own key: the strong one its footer gives, or
    // the password; the original is masked here in the original format.
    const BackupKey key = check.strong ? BackupKey::strong(std::move(*check.strong)) : BackupKey::original(s.password);
    if (rc != RC_OK) return fail(FailReason::damaged, say(lang, Msg::check_footer_error, {std::to_string(rc)}));

    std::vector<std::string> entries;
    MfileRegistry unread;
    try {
        rc = package.extract(reg, entries);
        const std::vector<std::string> backups = backup_entries(entries);
        if (rc == RC_OK && (present == FOOTER_PRESENT || !backups.empty())) {
            if (decipher_backups(reg, backups, key) == RC_REFUSED) {
                why = FailReason::wrong_password;
                reporter.error(say(lang, Msg::backup_password));
                return RC_REFUSED;
            }
        } else if (rc == RC_OK) {
            // Without footer and backups it must be the original: a masked copy that a
            // spreadsheet program saved again holds no original text to give back.
            if (const MaskedLook look = masked_look_of_file(path); look.looks_masked())
                return fail(FailReason::backups_lost, say(lang, Msg::looks_masked_source, {name, masked_look_text(look, lang)}),
                            true);
            // The original itself: masked here as the copy was, which gives the masked
            // texts the copy showed and the backup to take the originals from. Masking
            // keeps only the stored form of the parts it leaves alone: those are read
            // from a second unpacking.
            FileContext masking = ctx;
            masking.process_direction = Direction::mask;
            rc = transform_package(reg, entries, s, masking);
            std::vector<std::string> names;
            unread.max_package_bytes = memory_budget;
            if (rc == RC_OK) rc = package.extract(unread, names, is_sheet_or_workbook);
        }
        if (rc == RC_OK) rc = read_merge_source(reg, key, source, &unread);
    } catch (const std::bad_alloc&) {
        rc = RC_NOMEM;
    }
    if (rc == RC_NOMEM) return fail(FailReason::out_of_memory, say(lang, Msg::out_of_memory));
    if (rc != RC_OK) return fail(FailReason::damaged, say(lang, Msg::read_error, {std::to_string(rc)}));
    return RC_OK;
}

}  // namespace hsc
