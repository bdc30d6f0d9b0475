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
#include "engine/read_excel.h"
#include "engine/suggest.h"
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
// 's' and the shown text for strings (shared or inline), 'n' and the number for numbers,
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
    enum class Kind { none, shared, inline_string, other } kind = Kind::none;
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
    bool string_cell = false;  // a shared or inline string without a formula: may be given back
};
struct ReturnedRow {
    int row = 0;
    std::vector<ReturnedCell> cells;
};
struct ReturnedSheet {
    std::string name, part, text, prefix;
    std::vector<SheetCell> cells;
    std::vector<ReturnedRow> rows;
    std::map<std::size_t, std::size_t> given;  // cell -> original item
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

// One original among the candidates: a masked cell's item, or the cell's own text for
// a cell that was never masked.
constexpr std::size_t NOT_MASKED = static_cast<std::size_t>(-1);

// The one original of `candidates` (NOT_MASKED included), or nothing when they differ.
std::optional<std::size_t> single_original(const MergeSource& source,
                                           const std::vector<const SourceCell*>& candidates) {
    std::optional<std::size_t> one;
    for (const SourceCell* c : candidates) {
        const std::size_t item = c->masked ? c->item : NOT_MASKED;
        if (!one) one = item;
        else if (*one != item && (*one == NOT_MASKED || item == NOT_MASKED ||
                                  source.original_items[*one] != source.original_items[item]))
            return std::nullopt;
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
            if (!c.string_cell) continue;
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
                if (candidates.empty() && masked_texts.count(c.shown)) report.unmatched.push_back(where);
                continue;
            }
            for (const auto& [s, k] : places) used[s][k] = true;
            std::optional<std::size_t> original = single_original(source, candidates);
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
            } else if (*original != NOT_MASKED) {
                ret.given[c.cell] = *original;
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

// The cell rewritten as a string cell whose value is `value` (a <v> index, or with
// `inline_text` an inline string); false when its markup is not one to rewrite.
bool rewrite_cell(std::string_view sheet, const SheetCell& cell, const std::string& prefix, std::string_view value,
                  bool inline_text, std::string& out) {
    const std::string close = "</" + prefix + "c>";
    if (cell.empty || !cell.has_type || cell.end > sheet.size() || !sheet.substr(0, cell.end).ends_with(close))
        return false;
    const std::size_t t_at = static_cast<std::size_t>(cell.type.data() - sheet.data());
    if (t_at < cell.begin || t_at + cell.type.size() > cell.tag_end) return false;
    out.append(sheet, cell.begin, t_at - cell.begin).append(inline_text ? "inlineStr" : "s");
    out.append(sheet, t_at + cell.type.size(), cell.tag_end - t_at - cell.type.size());
    if (inline_text)
        out.append("<" + prefix + "is><" + prefix + "t xml:space=\"preserve\">")
            .append(value)
            .append("</" + prefix + "t></" + prefix + "is>");
    else
        out.append("<" + prefix + "v>").append(value).append("</" + prefix + "v>");
    out.append(close);
    return true;
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
        for (const auto& [cell_index, item] : sheet.given) {
            const SheetCell& cell = sheet.cells[cell_index];
            const std::string_view content = source.original_items[item];
            std::string value;
            if (possible) {
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
                value = std::to_string(at->second);
            } else {
                value = xml_text(shown_item_text(content));
            }
            std::string rewritten;
            if (cell.begin < copied || !rewrite_cell(sheet.text, cell, sheet.prefix, value, !possible, rewritten))
                continue;
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

// A mask character at the start of `text`: its byte length, or 0.
std::size_t mask_character(std::string_view text) {
    static constexpr std::string_view MASKS[] = {"*", "X", "9", "0", "●", "■", "※", "×", "¤"};
    for (std::string_view m : MASKS)
        if (text.starts_with(m)) return m.size();
    return 0;
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
    const std::vector<std::string_view> now = shared_string_items(current), before = shared_string_items(original);
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
    for (const WorkbookSheet& s : sheets) {
        std::string text;
        if (!stream_exists(reg, s.part)) continue;
        if (int rc = read_either(reg, unread, s.part, text); rc != RC_OK) return rc;
        const std::string prefix(root_element_prefix(text));
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
