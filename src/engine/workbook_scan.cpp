#include "engine/workbook_scan.h"

#include <algorithm>
#include <new>
#include <optional>
#include <string>

#include "core/status.h"
#include "engine/suggest.h"
#include "engine/suggest_detect.h"
#include "engine/leak_scan.h"
#include "engine/side_by_side.h"
#include "engine/text_mask.h"
#include "engine/text_routines.h"

namespace hsc {
namespace {

constexpr std::size_t CELL_REF_MAX = 255;  // longer r values are not references

// The attributes of one cell's start tag that the scan needs.
struct CellTag {
    std::string_view r;
    std::string_view t;
    std::string_view s;
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
        } else if (name == "s") {
            tag.s = value;
        }
        p = value_end + 1;
    }
    tag.end = n;
    tag.empty = true;  // unterminated: nothing to read
    return tag;
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
    const std::string si = std::string(root_element_prefix(shared_strings)) + "si";
    std::size_t count = 0;
    ElementAt item;
    for (std::size_t p = 0; next_element(shared_strings, si, p, shared_strings.size(), item); p = item.end) ++count;
    return count;
}

namespace {

// A cell without r stands in the column after the previous cell of its row.
constexpr int UNKNOWN_COLUMN = -2;
constexpr int UNKNOWN_ROW = -2;

// One cell as the walk finds it.
struct CellAt {
    CellTag tag;
    std::size_t begin = 0;  // its '<'
    int column = UNKNOWN_COLUMN;
    int row = UNKNOWN_ROW;  // zero-based; from its r, else from its row element
};

// The tags of one worksheet as it spells them: <c> or, written with a prefix, <x:c>.
struct SheetTags {
    explicit SheetTags(std::string_view sheet) : prefix(root_element_prefix(sheet)) {}
    std::string start(std::string_view name) const { return "<" + prefix + std::string(name); }
    std::string open(std::string_view name) const { return start(name) + ">"; }
    std::string close(std::string_view name) const { return "</" + prefix + std::string(name) + ">"; }
    std::string prefix;
};

// Walks the cells of a sheet in document order, from where it stopped last.
class CellWalker {
public:
    CellWalker(std::string_view sheet, const SheetTags& tags)
        : sheet_(sheet), c_start_(tags.start("c")), row_start_(tags.start("row")), p_(sheet.find('<')) {}

    // A walker that starts at `at`, a row start tag whose r gives its number: what came
    // before does not change what it sees.
    CellWalker(std::string_view sheet, const SheetTags& tags, std::size_t at) : CellWalker(sheet, tags) {
        p_ = at;
        first_row_ = false;
    }

    // Calls visit(cell) for every cell from where the walk stands until it stands at or
    // after `stop`; visit returns the position from which the walk goes on (at least the
    // end of the cell's start tag).
    template <typename Visit>
    void walk(Visit&& visit, std::size_t stop = std::string_view::npos) {
        const std::string_view sheet = sheet_;
        std::size_t p = p_;
        while (p != std::string_view::npos && p < stop) {
            // Most tags are neither a row nor a cell ("<v>", "</c>"): their first letter tells.
            if (p + 1 < sheet.size() && sheet[p + 1] != c_start_[1] && sheet[p + 1] != row_start_[1]) {
                p = sheet.find('<', p + 1);
                continue;
            }
            if (sheet.compare(p, row_start_.size(), row_start_) == 0 && ends_name(p + row_start_.size())) {
                previous_column_ = -1;
                // A row without r follows the previous one.
                const int number = row_number_at(p);
                row_number_ = number != UNKNOWN_ROW ? number
                              : first_row_          ? 0
                                                    : (row_number_ == UNKNOWN_ROW ? UNKNOWN_ROW : row_number_ + 1);
                first_row_ = false;
                p = sheet.find('<', p + row_start_.size());
                continue;
            }
            if (sheet.compare(p, c_start_.size(), c_start_) != 0 || !ends_name(p + c_start_.size())) {  // <col, <cfRule, ...
                p = sheet.find('<', p + 1);
                continue;
            }
            CellAt cell;
            cell.begin = p;
            cell.tag = read_cell_tag(sheet, p + c_start_.size());
            // The attributes count wherever they stand in the tag: t before r is as good.
            int row = row_number_, column = UNKNOWN_COLUMN;
            if (cell.tag.has_r) {
                if (cell.tag.r.size() > CELL_REF_MAX || parse_cell_ref(cell.tag.r, row, column) != RC_OK) {
                    column = UNKNOWN_COLUMN;
                    row = row_number_;
                }
            } else if (previous_column_ != UNKNOWN_COLUMN) {
                column = previous_column_ + 1;
            }
            previous_column_ = column;
            cell.column = column;
            cell.row = row;
            p = std::max(visit(cell), cell.tag.end);
            p = sheet.find('<', p);
        }
        p_ = p;
    }

    // Where the walk stands: a '<' not walked yet, or npos at the end.
    std::size_t position() const { return p_; }

    // The zero-based number the r of the row start tag at `at` gives, or UNKNOWN_ROW.
    int row_number_at(std::size_t at) const {
        const CellTag row_tag = read_cell_tag(sheet_, at + row_start_.size());
        std::size_t number = 0;
        return row_tag.has_r && parse_index(row_tag.r, number) && number >= 1 && number <= 1048576
                   ? static_cast<int>(number - 1)
                   : UNKNOWN_ROW;
    }

    // The first row start tag at or after `from` whose r gives its number, where a second
    // walker can start; npos when there is none.
    std::size_t numbered_row_from(std::size_t from) const {
        for (std::size_t at = sheet_.find(row_start_, from); at != std::string_view::npos;
             at = sheet_.find(row_start_, at + 1))
            if (ends_name(at + row_start_.size()) && row_number_at(at) != UNKNOWN_ROW) return at;
        return std::string_view::npos;
    }

private:
    bool ends_name(std::size_t at) const {
        return at < sheet_.size() && (is_xml_space(sheet_[at]) || sheet_[at] == '>' || sheet_[at] == '/');
    }

    std::string_view sheet_;
    std::string c_start_, row_start_;
    std::size_t p_;
    int previous_column_ = -1;
    int row_number_ = UNKNOWN_ROW;  // of the current row element, zero-based
    bool first_row_ = true;
};

// Calls visit(cell) for every cell of the sheet, in document order; visit returns the
// position from which the walk goes on (at least the end of the cell's start tag).
template <typename Visit>
void walk_cells(std::string_view sheet, const SheetTags& tags, Visit&& visit) {
    CellWalker(sheet, tags).walk(std::forward<Visit>(visit));
}

// Where an element stands inside [from, to); outer_begin is npos when it is not there.
// An empty element "<is/>" has an empty inner range.
struct Inner {
    std::size_t outer_begin = std::string_view::npos, inner_begin = 0, inner_end = 0, outer_end = 0;
};
Inner find_element(std::string_view text, std::size_t from, std::size_t to, const SheetTags& tags,
                   std::string_view name) {
    Inner in;
    ElementAt at;
    // An element whose end tag is missing before `to` is no element to convert.
    if (!next_element(text, tags.prefix + std::string(name), from, to, at) || !at.closed) return in;
    in.outer_begin = at.begin;
    in.inner_begin = at.inner_begin;
    in.inner_end = at.inner_end;
    in.outer_end = at.end;
    return in;
}

// The markup of `xml` with every element of the main namespace written with prefix
// `to` instead of `from` (either may be empty). Other prefixes stay.
std::string reprefix(std::string_view xml, std::string_view from, std::string_view to) {
    if (from == to) return std::string(xml);
    std::string out;
    out.reserve(xml.size() + xml.size() / 8);
    std::size_t p = 0;
    while (p < xml.size()) {
        const std::size_t lt = xml.find('<', p);
        if (lt == std::string_view::npos) break;
        std::size_t name = lt + 1;
        if (name < xml.size() && xml[name] == '/') ++name;
        out.append(xml, p, name - p);
        p = name;
        if (name >= xml.size() || xml[name] == '?' || xml[name] == '!') continue;
        std::size_t name_end = name;
        while (name_end < xml.size() && !is_xml_space(xml[name_end]) && xml[name_end] != '>' && xml[name_end] != '/')
            ++name_end;
        const std::string_view element = xml.substr(name, name_end - name);
        if (!from.empty() && element.starts_with(from)) {
            out.append(to).append(element.substr(from.size()));
            p = name_end;
        } else if (from.empty() && element.find(':') == std::string_view::npos) {
            out.append(to).append(element);
            p = name_end;
        }
    }
    out.append(xml, p);
    return out;
}

// Whose kept block holds the cell, or nothing.
std::optional<int> kept_owner(const CellAt& cell, const SheetSelection& selection) {
    if (cell.row == UNKNOWN_ROW || cell.column == UNKNOWN_COLUMN) return std::nullopt;
    for (const CellBlock& b : selection.kept)
        if (cell.row >= b.first_row && cell.row <= b.last_row && cell.column >= b.first_column &&
            cell.column <= b.last_column)
            return b.owner;
    return std::nullopt;
}

bool is_chosen(const CellAt& cell, const SheetSelection& selection) {
    if (selection.every_column) return true;
    return cell.column != UNKNOWN_COLUMN &&
           std::find(selection.columns.begin(), selection.columns.end(), cell.column) != selection.columns.end();
}

// The <v> text of a cell whose start tag ends at tag.end, looking no further than its
// "</c>"; `cell_end` receives that position.
std::string_view cell_value(std::string_view sheet, const CellTag& tag, const SheetTags& tags, std::size_t& cell_end) {
    const std::string c_close = tags.close("c"), v_open = tags.open("v"), v_close = tags.close("v");
    cell_end = std::min(sheet.find(c_close, tag.end), sheet.size());
    const std::string_view content = sheet.substr(tag.end, cell_end - tag.end);
    const std::size_t v = content.find(v_open);
    if (v == std::string_view::npos) return {};
    const std::size_t v_begin = v + v_open.size();
    const std::size_t v_end = content.find(v_close, v_begin);
    if (v_end == std::string_view::npos) return {};
    return content.substr(v_begin, v_end - v_begin);
}

}  // namespace

SheetSelection letter_selection(const FileContext& ctx) {
    SheetSelection selection;
    selection.every_column = !ctx.has_column_list();
    const int count = std::clamp(ctx.target_column_count, 0, static_cast<int>(ctx.target_column_numbers.size()));
    selection.columns.assign(ctx.target_column_numbers.begin(), ctx.target_column_numbers.begin() + count);
    return selection;
}

std::size_t scan_worksheet(std::string_view sheet, const SheetSelection& selection, std::vector<std::uint8_t>& flags,
                           std::vector<KeptUse>* kept_uses) {
    // Without a column list and nothing kept, every string goes: there is nothing to flag.
    if ((selection.every_column ? selection.kept.empty() : selection.columns.empty() && selection.kept.empty()) ||
        flags.empty())
        return 0;
    const SheetTags tags(sheet);
    // What one walker finds: its own flags, kept uses and count of target cells.
    struct Found {
        std::vector<std::uint8_t>& flags;
        std::vector<KeptUse>* kept_uses;
        std::size_t cells = 0;
    };
    const auto visitor = [&](Found& into) {
        return [&sheet, &tags, &selection, &found = into](const CellAt& cell) {
            const CellTag& tag = cell.tag;
            if (tag.empty || !tag.has_t || tag.t != "s") return tag.end;
            const std::optional<int> owner = kept_owner(cell, selection);
            if (!owner && !is_chosen(cell, selection)) return tag.end;
            std::size_t cell_end = 0, index = 0;
            const std::string_view value = cell_value(sheet, tag, tags, cell_end);
            if (!parse_index(value, index) || index >= found.flags.size()) return cell_end;
            if (owner) {
                found.flags[index] |= STRING_KEPT;
                if (found.kept_uses) found.kept_uses->push_back({index, *owner});
            } else {
                found.flags[index] |= STRING_TARGET;
                ++found.cells;
            }
            return cell_end;
        };
    };
    Found mine{flags, kept_uses};
    CellWalker first(sheet, tags);
    // A long sheet is walked by two walkers at once, the second from a numbered row near
    // the middle. What the second found counts only when the first arrives exactly where
    // the second began (markup that hides a row inside a cell makes it walk past there);
    // otherwise the first walks on alone.
    constexpr std::size_t SPLIT_BYTES = std::size_t{8} << 20;
    const std::size_t cut =
        sheet.size() >= SPLIT_BYTES ? first.numbered_row_from(sheet.size() / 2) : std::string_view::npos;
    if (cut != std::string_view::npos) {
        std::vector<std::uint8_t> other_flags(flags.size(), 0);
        std::vector<KeptUse> other_kept;
        Found other{other_flags, kept_uses ? &other_kept : nullptr};
        CellWalker second(sheet, tags, cut);
        bool second_done = false;
        run_side_by_side([&] { first.walk(visitor(mine), cut); },
                         [&] {
                             try {
                                 second.walk(visitor(other));
                                 second_done = true;
                             } catch (const std::bad_alloc&) {
                                 // the first walks the rest
                             }
                         });
        if (second_done && first.position() == cut) {
            for (std::size_t i = 0; i < flags.size(); ++i) flags[i] |= other_flags[i];
            if (kept_uses) kept_uses->insert(kept_uses->end(), other_kept.begin(), other_kept.end());
            return mine.cells + other.cells;
        }
    }
    first.walk(visitor(mine));
    return mine.cells;
}

void ValueUndo::record(std::size_t at, std::string_view original) {
    at_.push_back(at);
    bytes_.append(original);
    ends_.push_back(bytes_.size());
}

void ValueUndo::apply(std::span<char> sheet) const {
    std::size_t begin = 0;
    for (std::size_t k = 0; k < at_.size(); ++k) {
        std::copy(bytes_.begin() + begin, bytes_.begin() + ends_[k], sheet.begin() + at_[k]);
        begin = ends_[k];
    }
}

bool mask_value_bytes(std::string_view before, std::string& value, std::string_view type, const MaskSettings& s) {
    value.assign(before);
    std::span<char> bytes(value.data(), value.size());
    // A CDATA section is masked inside its markers; other markup is nothing the
    // maskers read, and its text stays.
    constexpr std::string_view CDATA_OPEN = "<![CDATA[", CDATA_CLOSE = "]]>";
    if (before.starts_with(CDATA_OPEN) && before.ends_with(CDATA_CLOSE) &&
        before.size() >= CDATA_OPEN.size() + CDATA_CLOSE.size())
        bytes = bytes.subspan(CDATA_OPEN.size(), before.size() - CDATA_OPEN.size() - CDATA_CLOSE.size());
    if (std::string_view(bytes.data(), bytes.size()).find('<') != std::string_view::npos) bytes = {};
    if (type == "str") mask_text_run(bytes, true, s, RunEscapes::cell_text);
    if (type == "d") mask_iso_date(bytes);
    if (type == "n") mask_number_text(bytes, s);
    return value != before;
}

Unchanged why_unchanged(std::string_view value, std::string_view type, const MaskSettings& s) {
    const bool maskable = std::any_of(value.begin(), value.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
               static_cast<unsigned char>(c) >= 0x80;
    });
    if (!maskable) return Unchanged::nothing_to_mask;
    // A value of mask characters only ("9" under the digit mask 9) reads the same masked,
    // yet masking went over it: a value of the same shape with other letters and digits
    // tells whether it did.
    std::string other(value), masked;
    for (char& c : other)
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))
            c = c == '9' ? '0' : c == 'Z' ? 'A' : c == 'z' ? 'a' : static_cast<char>(c + 1);
    return mask_value_bytes(other, masked, type, s) ? Unchanged::already_masked : Unchanged::readable;
}

void for_each_chosen_cell(std::string_view sheet, const SheetSelection& selection,
                          const std::function<void(const ChosenCell&)>& visit) {
    if (!selection.every_column && selection.columns.empty()) return;
    const SheetTags tags(sheet);
    const std::string f_name = tags.prefix + "f";
    walk_cells(sheet, tags, [&](const CellAt& at) -> std::size_t {
        const CellTag& tag = at.tag;
        if (!is_chosen(at, selection)) return tag.end;
        ChosenCell cell;
        cell.row = at.row;
        cell.column = at.column;
        cell.kept = kept_owner(at, selection).has_value();
        cell.type = tag.has_t ? tag.t : std::string_view("n");
        cell.style = tag.s;
        cell.empty = tag.empty;
        if (tag.empty) {
            visit(cell);
            return tag.end;
        }
        std::size_t cell_end = 0;
        cell.value = cell_value(sheet, tag, tags, cell_end);
        ElementAt found;
        cell.formula = next_element(sheet, f_name, tag.end, cell_end, found);
        if (cell.type == "inlineStr") {
            const Inner is = find_element(sheet, tag.end, cell_end, tags, "is");
            cell.inline_string = is.outer_begin != std::string_view::npos;
            cell.value = cell.inline_string ? sheet.substr(is.inner_begin, is.inner_end - is.inner_begin)
                                            : sheet.substr(tag.end, cell_end - tag.end);
        }
        visit(cell);
        return std::max(cell_end, tag.end);
    });
}

ValueCounts mask_cell_values(std::span<char> bytes, const SheetSelection& selection, bool numbers,
                             const MaskSettings& s, ValueUndo* undo,
                             const std::function<void(std::string_view)>& masked_value,
                             const std::vector<bool>& date_styles) {
    ValueCounts counts;
    const std::string_view sheet(bytes.data(), bytes.size());
    if (!selection.every_column && selection.columns.empty()) return counts;
    const SheetTags tags(sheet);
    const std::string f_name = tags.prefix + "f";
    const bool formulas = sheet.find("<" + f_name + ">") != std::string_view::npos ||
                          sheet.find("<" + f_name + " ") != std::string_view::npos;
    // Without numbers only plain-text cells and formulas count: most sheets have neither.
    if (!numbers && !formulas && sheet.find("\"str\"") == std::string_view::npos &&
        sheet.find("'str'") == std::string_view::npos)
        return counts;
    const std::string c_close = tags.close("c");
    std::string value_bytes;
    const auto rewrite = [&](std::string_view original, std::string_view masked) {
        const auto at = static_cast<std::size_t>(original.data() - sheet.data());
        if (undo) undo->record(at, original);
        std::copy(masked.begin(), masked.end(), bytes.begin() + at);
    };
    // The walk reads ahead of where it writes: a value is rewritten, with its length, only
    // once the walk has read it and its cell.
    walk_cells(sheet, tags, [&](const CellAt& cell) -> std::size_t {
        const CellTag& tag = cell.tag;
        if (tag.empty || !is_chosen(cell, selection) || kept_owner(cell, selection)) return tag.end;
        // A formula's text literals show again once the spreadsheet recalculates it.
        ElementAt f;
        if (formulas && next_element(sheet, f_name, tag.end, std::min(sheet.find(c_close, tag.end), sheet.size()), f) &&
            f.closed && f.inner_end > f.inner_begin) {
            const std::string_view original = sheet.substr(f.inner_begin, f.inner_end - f.inner_begin);
            value_bytes.assign(original);
            if (mask_formula_literals(value_bytes, s)) {
                rewrite(original, value_bytes);
                ++counts.literals;
            }
        }
        const std::string_view type = tag.has_t ? tag.t : std::string_view("n");
        const bool text = type == "str", number = type == "n", date = type == "d";
        if (!text && !((number || date) && numbers)) return tag.end;
        std::size_t cell_end = 0;
        const std::string_view value = cell_value(sheet, tag, tags, cell_end);
        const std::size_t next = std::max(cell_end, tag.end);
        if (value.empty()) return next;
        if (!mask_value_bytes(value, value_bytes, type, s)) {
            if (why_unchanged(value, type, s) == Unchanged::readable) ++counts.left;
            return next;
        }
        std::size_t style = 0;
        const bool date_style = number && parse_index(tag.s, style) && style < date_styles.size() && date_styles[style];
        ++(text ? counts.texts : date || date_style ? counts.dates : counts.numbers);
        ElementAt formula;
        if (next_element(sheet, f_name, tag.end, cell_end, formula)) ++counts.formulas;
        if (masked_value) masked_value(value);
        rewrite(value, value_bytes);
        return next;
    });
    return counts;
}

std::vector<HeaderCell> header_row_cells(std::string_view sheet, int row) {
    std::vector<HeaderCell> cells;
    const SheetTags tags(sheet);
    bool passed = false;
    walk_cells(sheet, tags, [&](const CellAt& cell) -> std::size_t {
        // Rows stand in order: once past the header row, nothing more to find.
        if (passed || (cell.row != UNKNOWN_ROW && cell.row > row)) {
            passed = true;
            return sheet.size();
        }
        const CellTag& tag = cell.tag;
        if (cell.row != row || cell.column == UNKNOWN_COLUMN || tag.empty || !tag.has_t) return tag.end;
        std::size_t cell_end = 0;
        if (tag.t == "s") {
            HeaderCell h;
            h.column = cell.column;
            h.shared = true;
            if (parse_index(cell_value(sheet, tag, tags, cell_end), h.index)) cells.push_back(std::move(h));
            return std::max(cell_end, tag.end);
        }
        if (tag.t == "str") {  // plain text in the cell, as some writers store every text
            HeaderCell h;
            h.column = cell.column;
            h.text = decode_xml_text(cell_value(sheet, tag, tags, cell_end));
            cells.push_back(std::move(h));
            return std::max(cell_end, tag.end);
        }
        if (tag.t != "inlineStr") return tag.end;
        cell_end = std::min(sheet.find(tags.close("c"), tag.end), sheet.size());
        const Inner is = find_element(sheet, tag.end, cell_end, tags, "is");
        if (is.outer_begin == std::string_view::npos) return cell_end;
        HeaderCell h;
        h.column = cell.column;
        h.text = shown_item_text(sheet.substr(is.inner_begin, is.inner_end - is.inner_begin));
        cells.push_back(std::move(h));
        return cell_end;
    });
    return cells;
}

std::vector<SheetCell> sheet_cells(std::string_view sheet) {
    std::vector<SheetCell> cells;
    const SheetTags tags(sheet);
    const std::string c_close = tags.close("c");
    walk_cells(sheet, tags, [&](const CellAt& at) -> std::size_t {
        SheetCell cell;
        cell.row = at.row;
        cell.column = at.column;
        cell.type = at.tag.t;
        cell.has_type = at.tag.has_t;
        cell.begin = at.begin;
        cell.tag_end = at.tag.end;
        cell.empty = at.tag.empty;
        if (at.tag.empty) {
            cell.end = at.tag.end;
        } else {
            const std::size_t close = sheet.find(c_close, at.tag.end);
            cell.end = close == std::string_view::npos ? sheet.size() : close + c_close.size();
        }
        cells.push_back(cell);
        return cell.end;
    });
    return cells;
}

std::vector<std::string_view> shared_string_items(std::string_view shared_strings) {
    std::vector<std::string_view> items;
    const std::string prefix(root_element_prefix(shared_strings));
    const std::string si = "<" + prefix + "si", close = "</" + prefix + "si>";
    for (std::size_t p = shared_strings.find(si); p != std::string_view::npos; p = shared_strings.find(si, p + 1)) {
        const std::size_t gt = shared_strings.find('>', p);
        if (gt == std::string_view::npos) break;
        if (shared_strings[gt - 1] == '/') {  // <si/>
            items.emplace_back();
            continue;
        }
        const std::size_t end = shared_strings.find(close, gt);
        items.push_back(shared_strings.substr(gt + 1, (end == std::string_view::npos ? shared_strings.size() : end) - gt - 1));
    }
    return items;
}

std::string header_key(std::string_view text) {
    const auto trim = [](std::string_view t) {
        while (!t.empty() && is_xml_space(t.front())) t.remove_prefix(1);
        while (!t.empty() && is_xml_space(t.back())) t.remove_suffix(1);
        return t;
    };
    return std::string(trim(to_halfwidth(trim(text))));
}

namespace {

// One walk over the sheet; what convert_inline_strings does, once.
std::size_t convert_inline_strings_once(std::string& sheet, const SheetSelection& selection,
                                        std::string_view table_prefix, std::size_t next_index, std::string& items,
                                        std::size_t& unconverted) {
    const SheetTags tags(sheet);
    const std::string c_close = tags.close("c");
    const std::string si_open = "<" + std::string(table_prefix) + "si>";
    const std::string si_close = "</" + std::string(table_prefix) + "si>";
    const std::string empty_text = "<" + std::string(table_prefix) + "t/>";
    std::string out;
    std::size_t copied = 0, converted = 0;
    walk_cells(sheet, tags, [&](const CellAt& cell) {
        const CellTag& tag = cell.tag;
        // Without a column list every inline string goes, as every shared string does;
        // a kept cell stays as it is.
        if (!is_chosen(cell, selection) || kept_owner(cell, selection) || tag.empty || !tag.has_t ||
            tag.t != "inlineStr")
            return tag.end;
        const std::size_t cell_end = std::min(sheet.find(c_close, tag.end), sheet.size());
        const Inner is = find_element(sheet, tag.end, cell_end, tags, "is");
        if (is.outer_begin == std::string_view::npos) {
            // A cell with no string at all ("<c t="inlineStr"></c>", as some writers store
            // an empty text) holds nothing readable; any other text stays as it is, and the
            // report says so.
            const std::string_view content = std::string_view(sheet).substr(tag.end, cell_end - tag.end);
            if (!std::all_of(content.begin(), content.end(), is_xml_space)) ++unconverted;
            return cell_end;
        }
        // Markup that nests a cell or a row before the string is not a cell we can turn:
        // count it and go on inside it, so what is nested is judged on its own.
        if (std::min(sheet.find(tags.start("c"), tag.end), sheet.find(tags.start("row"), tag.end)) < is.outer_begin) {
            ++unconverted;
            return tag.end;
        }
        const std::size_t t_at = static_cast<std::size_t>(tag.t.data() - sheet.data());
        if (out.empty()) out.reserve(sheet.size() + sheet.size() / 8);
        out.append(sheet, copied, t_at - copied).append("s");
        out.append(sheet, t_at + tag.t.size(), is.outer_begin - (t_at + tag.t.size()));
        out.append(tags.open("v")).append(std::to_string(next_index + converted)).append(tags.close("v"));
        copied = is.outer_end;
        const std::string_view inner = std::string_view(sheet).substr(is.inner_begin, is.inner_end - is.inner_begin);
        items.append(si_open).append(inner.empty() ? empty_text : reprefix(inner, tags.prefix, table_prefix));
        items.append(si_close);
        ++converted;
        // Go on right after the string: a cell that stands before this one's end (markup
        // that nests cells) is visited now, as a second pass would visit it.
        return is.outer_end;
    });
    if (converted == 0) return 0;
    out.append(sheet, copied);
    sheet = std::move(out);
    return converted;
}

}  // namespace

std::size_t convert_inline_strings(std::string& sheet, const SheetSelection& selection, std::string_view table_prefix,
                                   std::size_t next_index, std::string& items, std::size_t& unconverted) {
    // Malformed markup (cells and rows inside cells) can read differently once a cell is
    // turned; walk again until nothing is left to turn. Each walk that turns a cell takes
    // one "inlineStr" out, so this ends.
    std::size_t converted = 0, left = 0;
    for (std::size_t n = 1; n > 0; converted += n) {
        left = 0;
        n = convert_inline_strings_once(sheet, selection, table_prefix, next_index + converted, items, left);
    }
    unconverted += left;
    return converted;
}

std::optional<std::string> without_formula_results(std::string_view sheet) {
    const std::string prefix(root_element_prefix(sheet));
    ElementAt any;
    if (!next_element(sheet, prefix + "f", 0, sheet.size(), any)) return std::nullopt;  // the common case
    std::string out;
    std::size_t copied = 0;
    for (const SheetCell& cell : sheet_cells(sheet)) {
        if (cell.empty) continue;
        ElementAt f, v;
        if (!next_element(sheet, prefix + "f", cell.tag_end, cell.end, f) ||
            !next_element(sheet, prefix + "v", cell.tag_end, cell.end, v) || v.end > cell.end)
            continue;
        if (copied == 0) out.reserve(sheet.size());
        out.append(sheet, copied, v.begin - copied);
        copied = v.end;
    }
    if (copied == 0) return std::nullopt;
    out.append(sheet, copied);
    return out;
}

}  // namespace hsc
