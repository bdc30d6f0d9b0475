#include "engine/suggest.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <map>
#include <new>
#include <optional>
#include <set>
#include <string_view>

#include "package/entry_reader.h"
#include "engine/text_routines.h"

namespace hsc {
namespace {

constexpr std::string_view WORKBOOK_PART = "xl/workbook.xml";
constexpr std::string_view WORKBOOK_RELS = "xl/_rels/workbook.xml.rels";
constexpr std::string_view STYLES_PART = "xl/styles.xml";
constexpr std::string_view SHARED_STRINGS_PART = "xl/sharedStrings.xml";
constexpr std::size_t SMALL_PART_LIMIT = std::size_t{64} << 20;  // workbook, relationships, styles
// An element longer than this (one cell, one string item) ends the reading of its part:
// the sample must not make us hold a whole hostile part after all.
constexpr std::size_t MAX_PENDING = std::size_t{16} << 20;

// ---- a few XML helpers over byte texts ----

struct Tag {
    std::string_view qname;  // with its prefix, if any
    std::string_view local;
    std::string_view attrs;
    bool end = false;
    bool empty = false;      // <x/>
    std::size_t begin = 0;   // '<'
    std::size_t after = 0;   // just after '>'
};

// The next tag at or after `from`; nothing when the text ends before one is complete.
// Declarations, comments and processing instructions are stepped over.
std::optional<Tag> next_tag(std::string_view s, std::size_t from) {
    for (;;) {
        const std::size_t lt = s.find('<', from);
        if (lt == std::string_view::npos) return std::nullopt;
        if (s.compare(lt, 4, "<!--") == 0) {
            const std::size_t close = s.find("-->", lt + 4);
            if (close == std::string_view::npos) return std::nullopt;
            from = close + 3;
            continue;
        }
        const std::size_t gt = s.find('>', lt);
        if (gt == std::string_view::npos) return std::nullopt;
        if (lt + 1 < s.size() && (s[lt + 1] == '?' || s[lt + 1] == '!')) {
            from = gt + 1;
            continue;
        }
        Tag t;
        t.begin = lt;
        t.after = gt + 1;
        std::string_view inner = s.substr(lt + 1, gt - lt - 1);
        if (!inner.empty() && inner.front() == '/') {
            t.end = true;
            inner.remove_prefix(1);
        }
        if (!inner.empty() && inner.back() == '/') {
            t.empty = true;
            inner.remove_suffix(1);
        }
        const std::size_t name_end = inner.find_first_of(" \t\r\n");
        t.qname = inner.substr(0, name_end);
        t.attrs = name_end == std::string_view::npos ? std::string_view() : inner.substr(name_end);
        const std::size_t colon = t.qname.find(':');
        t.local = colon == std::string_view::npos ? t.qname : t.qname.substr(colon + 1);
        return t;
    }
}

// The value of the attribute whose (qualified) name is `name`, or, with `any_prefix`,
// whose local name is `name` under some prefix (r:id).
std::optional<std::string_view> attribute(std::string_view attrs, std::string_view name, bool any_prefix = false) {
    std::size_t i = 0;
    while (i < attrs.size()) {
        while (i < attrs.size() && (attrs[i] == ' ' || attrs[i] == '\t' || attrs[i] == '\r' || attrs[i] == '\n')) ++i;
        const std::size_t eq = attrs.find('=', i);
        if (eq == std::string_view::npos) return std::nullopt;
        std::string_view key = attrs.substr(i, eq - i);
        while (!key.empty() && key.back() == ' ') key.remove_suffix(1);
        std::size_t q = eq + 1;
        while (q < attrs.size() && attrs[q] == ' ') ++q;
        if (q >= attrs.size() || (attrs[q] != '"' && attrs[q] != '\'')) return std::nullopt;
        const std::size_t close = attrs.find(attrs[q], q + 1);
        if (close == std::string_view::npos) return std::nullopt;
        const std::string_view value = attrs.substr(q + 1, close - q - 1);
        if (key == name) return value;
        if (any_prefix) {
            const std::size_t colon = key.find(':');
            if (colon != std::string_view::npos && key.substr(colon + 1) == name) return value;
        }
        i = close + 1;
    }
    return std::nullopt;
}

bool is_hex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// The text an XML text node stands for: entities and the _xHHHH_ escapes of the
// workbook format resolved.
std::string unescape(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        if (s[i] == '&') {
            const std::size_t semi = s.find(';', i);
            if (semi != std::string_view::npos && semi - i <= 10) {
                const std::string_view e = s.substr(i + 1, semi - i - 1);
                unsigned long c = 0;
                if (e == "amp") c = '&';
                else if (e == "lt") c = '<';
                else if (e == "gt") c = '>';
                else if (e == "quot") c = '"';
                else if (e == "apos") c = '\'';
                else if (e.size() > 1 && e[0] == '#') {
                    const bool hex = e[1] == 'x' || e[1] == 'X';
                    const std::string_view digits = e.substr(hex ? 2 : 1);
                    std::from_chars(digits.data(), digits.data() + digits.size(), c, hex ? 16 : 10);
                }
                if (c != 0) {
                    append_utf8(out, static_cast<char32_t>(c));
                    i = semi + 1;
                    continue;
                }
            }
        } else if (s[i] == '_' && i + 6 < s.size() && s[i + 1] == 'x' && s[i + 6] == '_' && is_hex(s[i + 2]) &&
                   is_hex(s[i + 3]) && is_hex(s[i + 4]) && is_hex(s[i + 5])) {
            unsigned long c = 0;
            std::from_chars(s.data() + i + 2, s.data() + i + 6, c, 16);
            append_utf8(out, static_cast<char32_t>(c));
            i += 7;
            continue;
        }
        out += s[i++];
    }
    return out;
}

// The text of a string item (<si> or <is> content): its <t> elements, also those of rich
// runs, but not the phonetic readings (<rPh>) that a spreadsheet does not show.
std::string item_text(std::string_view content) {
    std::string out;
    std::size_t pos = 0;
    int in_phonetic = 0;
    while (auto tag = next_tag(content, pos)) {
        pos = tag->after;
        if (tag->local == "rPh" && !tag->empty) {
            in_phonetic += tag->end ? -1 : 1;
            continue;
        }
        if (tag->local != "t" || tag->end || tag->empty || in_phonetic > 0) continue;
        const auto close = next_tag(content, pos);
        if (!close) break;
        out += unescape(content.substr(pos, close->begin - pos));
        pos = close->after;
    }
    return out;
}

// The content of the first element named `local` (any prefix) in `s`, or nothing.
std::optional<std::string_view> element_content(std::string_view s, std::string_view local) {
    std::size_t pos = 0;
    while (auto tag = next_tag(s, pos)) {
        pos = tag->after;
        if (tag->local != local || tag->end) continue;
        if (tag->empty) return std::string_view();
        const std::string close = "</" + std::string(tag->qname) + ">";
        const std::size_t end = s.find(close, pos);
        if (end == std::string_view::npos) return std::nullopt;
        return s.substr(pos, end - pos);
    }
    return std::nullopt;
}

// ---- cell references ----

// Column (zero-based) and row (one-based) of "AB12"; false when it is not one.
bool parse_ref(std::string_view r, int& column, long& row) {
    std::size_t i = 0;
    int col = 0;
    while (i < r.size() && ((r[i] >= 'A' && r[i] <= 'Z') || (r[i] >= 'a' && r[i] <= 'z'))) {
        col = col * 26 + ((r[i] | 0x20) - 'a' + 1);
        if (col > 16384) return false;
        ++i;
    }
    if (i == 0 || i == r.size()) return false;
    long rw = 0;
    const auto [end, ec] = std::from_chars(r.data() + i, r.data() + r.size(), rw);
    if (ec != std::errc() || end != r.data() + r.size() || rw < 1 || rw > 1048576) return false;
    column = col - 1;
    row = rw;
    return true;
}

// ---- the workbook's worksheets ----

std::string resolve_target(std::string_view target) {
    if (target.starts_with("/")) return std::string(target.substr(1));
    std::string path = "xl/" + std::string(target);
    // "../x" from xl/
    while (true) {
        const std::size_t up = path.find("/../");
        if (up == std::string::npos) break;
        const std::size_t before = path.rfind('/', up == 0 ? 0 : up - 1);
        path.erase(before == std::string::npos ? 0 : before + 1, up + 4 - (before == std::string::npos ? 0 : before + 1));
    }
    return path;
}

struct SheetRef {
    std::string name, part;
};

std::vector<SheetRef> worksheets(std::string_view workbook, std::string_view rels) {
    std::map<std::string, std::string, std::less<>> targets;  // worksheet relationships by id
    std::size_t pos = 0;
    while (auto tag = next_tag(rels, pos)) {
        pos = tag->after;
        if (tag->local != "Relationship" || tag->end) continue;
        const auto id = attribute(tag->attrs, "Id");
        const auto target = attribute(tag->attrs, "Target");
        const auto type = attribute(tag->attrs, "Type");
        if (id && target && type && type->ends_with("/worksheet")) targets[std::string(*id)] = resolve_target(*target);
    }
    std::vector<SheetRef> sheets;
    pos = 0;
    while (auto tag = next_tag(workbook, pos)) {
        pos = tag->after;
        if (tag->local != "sheet" || tag->end) continue;
        const auto name = attribute(tag->attrs, "name");
        const auto id = attribute(tag->attrs, "id", true);
        if (!name || !id) continue;
        const auto found = targets.find(*id);
        if (found == targets.end()) continue;  // a chart sheet or a dialog sheet
        sheets.push_back({unescape(*name), found->second});
    }
    return sheets;
}

// ---- number formats that show dates ----

bool is_date_format_code(std::string_view code) {
    bool quoted = false;
    for (std::size_t i = 0; i < code.size(); ++i) {
        const char c = code[i];
        if (c == '"') quoted = !quoted;
        if (quoted || c == '"') continue;
        if (c == '\\' || c == '_' || c == '*') {
            ++i;
            continue;
        }
        if (c == '[') {  // colours, conditions and locales
            const std::size_t close = code.find(']', i);
            if (close == std::string_view::npos) return false;
            i = close;
            continue;
        }
        if (c == ';') break;  // the first section decides
        // "General" (LibreOffice writes it as a format of its own) and exponents (0.0E+00)
        // hold the letters of dates without being one.
        if (code.size() - i >= 7 && (code.substr(i, 7) == "General" || code.substr(i, 7) == "GENERAL" ||
                                     code.substr(i, 7) == "general")) {
            i += 6;
            continue;
        }
        if ((c == 'E' || c == 'e') && i + 1 < code.size() && (code[i + 1] == '+' || code[i + 1] == '-')) {
            ++i;
            continue;
        }
        const char l = static_cast<char>(c | 0x20);
        if (l == 'y' || l == 'd' || l == 'e' || l == 'g') return true;
    }
    return false;
}

bool is_builtin_date_format(int id) { return (id >= 14 && id <= 17) || id == 22 || (id >= 27 && id <= 36) || (id >= 50 && id <= 58); }

}  // namespace

std::vector<bool> date_styles(std::string_view styles) {
    std::set<int> custom_dates;
    std::size_t pos = 0;
    std::vector<bool> out;
    bool in_cell_xfs = false;
    while (auto tag = next_tag(styles, pos)) {
        pos = tag->after;
        if (tag->local == "numFmt" && !tag->end) {
            const auto id = attribute(tag->attrs, "numFmtId");
            const auto code = attribute(tag->attrs, "formatCode");
            int n = 0;
            if (id && code && std::from_chars(id->data(), id->data() + id->size(), n).ec == std::errc() &&
                is_date_format_code(unescape(*code)))
                custom_dates.insert(n);
        } else if (tag->local == "cellXfs") {
            in_cell_xfs = !tag->end && !tag->empty;
        } else if (in_cell_xfs && tag->local == "xf" && !tag->end) {
            int n = 0;
            const auto id = attribute(tag->attrs, "numFmtId");
            if (id) std::from_chars(id->data(), id->data() + id->size(), n);
            out.push_back(is_builtin_date_format(n) || custom_dates.count(n) > 0);
        }
    }
    return out;
}

namespace {

// ---- the start of one worksheet ----

struct Cell {
    long row = 0;
    int column = 0;
    long shared = -1;   // index into the shared strings, or -1
    std::string text;   // the shown text when it is not a shared string
    bool number = false;
    bool date = false;  // a date as its text (a date cell, or a number shown as a date)
    long item = -1;     // the shared string it uses, also once its text is filled in
    bool string = false;  // a shared or inline string
};

struct SheetSample {
    std::vector<Cell> cells;
    std::vector<long> rows;  // the rows with cells, in order
    bool more = false;       // rows beyond the sample
};

// Reads cells from the front of the worksheet text. Fed piece by piece; says when it
// has seen enough.
class SheetScanner {
public:
    SheetScanner(std::size_t row_limit, const std::vector<bool>& date_styles)
        : row_limit_(row_limit), date_styles_(date_styles) {}

    // false: enough rows (or the end of the rows) were seen.
    bool feed(std::string_view piece) {
        buffer_.append(piece);
        std::size_t pos = 0;
        bool go_on = true;
        while (go_on) {
            const auto tag = next_tag(buffer_, pos);
            if (!tag) break;
            if (tag->local == "sheetData" && tag->end) {
                go_on = false;
            } else if (tag->local == "row" && !tag->end) {
                if (!row_started(*tag)) {
                    sample.more = true;
                    go_on = false;
                }
            } else if (tag->local == "c" && !tag->end) {
                if (tag->empty) {
                    cell_position(*tag);
                } else {
                    const std::string close = "</" + std::string(tag->qname) + ">";
                    const std::size_t end = buffer_.find(close, tag->after);
                    if (end == std::string::npos) {
                        pos = tag->begin;  // the rest of the cell comes with the next piece
                        break;
                    }
                    cell(*tag, std::string_view(buffer_).substr(tag->after, end - tag->after));
                    pos = end + close.size();
                    continue;
                }
            }
            pos = tag->after;
        }
        if (!go_on) return false;
        if (auto tag_start = buffer_.find('<', pos); tag_start != std::string::npos) pos = std::min(pos, tag_start);
        else pos = buffer_.size();
        buffer_.erase(0, pos);
        return buffer_.size() <= MAX_PENDING;
    }

    SheetSample sample;

private:
    bool row_started(const Tag& tag) {
        long r = row_ + 1;
        if (const auto a = attribute(tag.attrs, "r")) {
            long v = 0;
            if (std::from_chars(a->data(), a->data() + a->size(), v).ec == std::errc() && v >= 1) r = v;
        }
        row_ = r;
        column_ = -1;
        if (tag.empty) return true;
        if (rows_with_cells_ >= row_limit_) return false;
        ++rows_with_cells_;
        sample.rows.push_back(r);
        return true;
    }

    void cell_position(const Tag& tag) {
        int col = column_ + 1;
        long row = row_;
        if (const auto r = attribute(tag.attrs, "r")) {
            int c = 0;
            long rw = 0;
            if (parse_ref(*r, c, rw)) {
                col = c;
                row = rw;
            }
        }
        column_ = col;
        row_ = row;
    }

    void cell(const Tag& tag, std::string_view content) {
        cell_position(tag);
        if (sample.rows.empty() || row_ != sample.rows.back()) return;  // a cell outside a counted row
        Cell c;
        c.row = row_;
        c.column = column_;
        const std::string_view type = attribute(tag.attrs, "t").value_or("n");
        if (type == "inlineStr") {
            if (const auto is = element_content(content, "is")) c.text = item_text(*is);
            c.string = true;
        } else {
            const auto v = element_content(content, "v");
            if (!v || v->empty()) return;
            if (type == "s") {
                long index = -1;
                const auto [end, ec] = std::from_chars(v->data(), v->data() + v->size(), index);
                if (ec != std::errc() || end != v->data() + v->size() || index < 0) return;
                c.shared = index;
                c.string = true;
            } else if (type == "str") {
                c.text = unescape(*v);
            } else if (type == "d") {  // 1985-03-12T00:00:00: the date is what shows
                c.text = std::string(v->substr(0, v->find('T')));
                c.date = true;
            } else if (type == "n") {
                c.text = std::string(*v);
                c.number = true;
                long style = 0;
                if (const auto s = attribute(tag.attrs, "s"))
                    std::from_chars(s->data(), s->data() + s->size(), style);
                if (style >= 0 && static_cast<std::size_t>(style) < date_styles_.size() &&
                    date_styles_[static_cast<std::size_t>(style)]) {
                    double serial = 0;
                    if (std::from_chars(v->data(), v->data() + v->size(), serial).ec == std::errc())
                        if (const auto d = serial_date(serial)) {
                            char shown[16];
                            std::snprintf(shown, sizeof shown, "%04d-%02d-%02d", d->year, d->month, d->day);
                            c.text = shown;
                            c.number = false;
                            c.date = true;
                        }
                }
            } else {
                return;  // booleans and errors say nothing about persons
            }
        }
        sample.cells.push_back(std::move(c));
    }

    std::size_t row_limit_;
    const std::vector<bool>& date_styles_;
    std::string buffer_;
    long row_ = 0;
    int column_ = -1;
    std::size_t rows_with_cells_ = 0;
};

// Fills in the texts of the shared strings the sampled cells refer to, reading the table
// only as far as the highest of them.
bool resolve_shared_strings(ZipEntryReader& zip, std::vector<SheetSample>& samples) {
    std::map<long, std::string> wanted;
    for (const auto& s : samples)
        for (const auto& c : s.cells)
            if (c.shared >= 0) wanted.emplace(c.shared, std::string());
    if (wanted.empty()) return true;
    const long last = wanted.rbegin()->first;

    std::string buffer;
    long index = 0;
    const auto status = zip.stream(SHARED_STRINGS_PART, [&](std::string_view piece) {
        buffer.append(piece);
        std::size_t pos = 0;
        while (index <= last) {
            const auto tag = next_tag(buffer, pos);
            if (!tag) break;
            if (tag->local != "si" || tag->end) {
                pos = tag->after;
                continue;
            }
            if (tag->empty) {
                ++index;
                pos = tag->after;
                continue;
            }
            const std::string close = "</" + std::string(tag->qname) + ">";
            const std::size_t end = buffer.find(close, tag->after);
            if (end == std::string::npos) {
                pos = tag->begin;
                break;
            }
            if (const auto w = wanted.find(index); w != wanted.end())
                w->second = item_text(std::string_view(buffer).substr(tag->after, end - tag->after));
            ++index;
            pos = end + close.size();
        }
        buffer.erase(0, pos);
        return index <= last && buffer.size() <= MAX_PENDING;
    });
    if (status != ZipEntryReader::Status::ok && status != ZipEntryReader::Status::missing) return false;
    for (auto& s : samples)
        for (auto& c : s.cells)
            if (c.shared >= 0) {
                c.text = wanted[c.shared];  // an index beyond the table shows nothing
                c.item = c.shared;
                c.shared = -1;
            }
    return true;
}

int this_year() {
    const auto now = std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now());
    return static_cast<int>(std::chrono::year_month_day(now).year());
}

// The header row (one-based, 0: none): of the top rows, the one that names the most
// columns. A header row is short texts that are no values (no names, phone numbers,
// dates...) and that do not come again in the rows below it; a title (都道府県別売上) or a
// group row of merged cells (連絡先 over three columns) names fewer columns than the header
// row under it. Among rows naming as many, one with a header word, then the upper one.
long find_header_row(const SheetSample& s, std::size_t header_rows) {
    constexpr std::size_t HEADER_TEXT_LIMIT = 60;  // bytes; longer texts are notes
    constexpr unsigned VALUE_SHAPES = VALUE_EMAIL | VALUE_PHONE | VALUE_POSTAL | VALUE_SEVEN_DIGITS | VALUE_DATE |
                                      VALUE_ADDRESS | VALUE_PERSON_NAME | VALUE_CARD |
                                      VALUE_PERSONAL_NUMBER | VALUE_ZIP | VALUE_PHONE_IN_TEXT;
    constexpr double HEADER_SHARE = 0.8;  // of the row's cells, header-like
    const std::size_t top = std::min(header_rows, s.rows.size());
    if (top == 0) return 0;
    const long last_top = s.rows[top - 1];
    struct Candidate {
        std::size_t cells = 0, header_like = 0, repeated = 0;
        bool word = false;
    };
    std::map<long, Candidate> rows;
    std::map<int, std::multiset<std::string>> column_texts;  // of the top rows
    for (const Cell& c : s.cells) {
        if (c.row > last_top) break;
        if (!c.number) column_texts[c.column].insert(c.text);
    }
    for (const Cell& c : s.cells) {
        if (c.row > last_top) break;
        const bool blank = !c.number && c.text.find_first_not_of(" \t\r\n") == std::string::npos;
        if (blank) continue;
        Candidate& r = rows[c.row];
        ++r.cells;
        if (c.number || c.text.size() > HEADER_TEXT_LIMIT) continue;
        const bool word = match_header(c.text).has_value();
        // Katakana alone is a header as often as a value (ステータス, メモ); a reading with a
        // space between family and given name is a value.
        const unsigned f = classify_value(c.text);
        const bool reading = (f & VALUE_KANA) && to_halfwidth(c.text).find(' ') != std::string::npos;
        if (!word && ((f & VALUE_SHAPES) != 0 || reading)) continue;
        ++r.header_like;
        r.word = r.word || word;
        if (column_texts[c.column].count(c.text) > 1) ++r.repeated;
    }
    long best = 0;
    const Candidate* chosen = nullptr;
    for (const auto& [row, r] : rows) {
        if (r.header_like < 2 || static_cast<double>(r.header_like) < HEADER_SHARE * static_cast<double>(r.cells) ||
            r.repeated * 4 > r.header_like)
            continue;
        if (!chosen || r.header_like > chosen->header_like || (r.header_like == chosen->header_like && r.word && !chosen->word)) {
            best = row;
            chosen = &r;
        }
    }
    if (chosen) return best;
    // A single header cell over a single column of data.
    for (const auto& [row, r] : rows)
        if (r.word && r.cells == 1) return row;
    return 0;
}

bool proposed_column(int column, const SheetSuggestion& sheet) {
    return std::any_of(sheet.columns.begin(), sheet.columns.end(),
                       [&](const ColumnSuggestion& s) { return s.column == column; });
}

// Whether the cell is masked when the proposal of its sheet is followed: a cell of a
// proposed column below the header row (the header row and the rows above it stay
// readable).
bool proposed(const Cell& c, long header_row, const SheetSuggestion& sheet) {
    return c.row > header_row && proposed_column(c.column, sheet);
}

// The cells above the header row of the proposed columns that look like personal data by
// their own value: a title rarely does, but a table whose header stands low may have
// people's details above it, which the proposal keeps readable.
void find_kept_above(const SheetSample& s, long header_row, SheetSuggestion& out) {
    constexpr unsigned PERSONAL_SHAPES = VALUE_EMAIL | VALUE_PHONE | VALUE_POSTAL | VALUE_ADDRESS |
                                         VALUE_PERSON_NAME | VALUE_CARD | VALUE_PERSONAL_NUMBER | VALUE_ZIP |
                                         VALUE_PHONE_IN_TEXT;
    for (const Cell& c : s.cells) {
        if (c.row >= header_row) break;
        if (proposed_column(c.column, out) && (classify_value(c.text, c.number) & PERSONAL_SHAPES) != 0)
            out.kept_above.emplace_back(c.row, c.column);
    }
}

// What the proposed columns' cells below the header row hold, in the data rows judged.
void count_cells(const SheetSample& s, long header_row, std::size_t sample_rows, SheetSuggestion& out) {
    std::set<long> data_rows;
    for (const Cell& c : s.cells) {
        if (c.row <= header_row) continue;
        if (data_rows.count(c.row) == 0) {
            if (data_rows.size() >= sample_rows) continue;
            data_rows.insert(c.row);
        }
        for (ColumnSuggestion& column : out.columns)
            if (column.column == c.column) ++(c.date ? column.dates : c.number ? column.numbers : column.texts);
    }
}

// Per proposed column, its shared strings that a cell the proposal does not mask uses too.
void count_shared_elsewhere(const std::vector<SheetSample>& samples, std::vector<SheetSuggestion>& sheets) {
    std::set<long> elsewhere;
    for (std::size_t i = 0; i < samples.size(); ++i)
        for (const Cell& c : samples[i].cells)
            if (c.item >= 0 && !proposed(c, sheets[i].header_row, sheets[i])) elsewhere.insert(c.item);
    for (std::size_t i = 0; i < samples.size(); ++i)
        for (ColumnSuggestion& column : sheets[i].columns) {
            std::set<long> shared;
            for (const Cell& c : samples[i].cells)
                if (c.column == column.column && c.item >= 0 && proposed(c, sheets[i].header_row, sheets[i]) &&
                    elsewhere.count(c.item) > 0)
                    shared.insert(c.item);
            column.shared_elsewhere = shared.size();
        }
}

SheetSuggestion judge_sheet(const SheetRef& ref, const SheetSample& s, const SuggestLimits& limits, int year) {
    SheetSuggestion out;
    out.name = ref.name;
    out.part = ref.part;
    out.rows_read = s.rows.size();
    out.sampled = s.more;
    const long header_row = find_header_row(s, limits.header_rows);
    out.header_row = static_cast<int>(header_row);

    std::map<int, ColumnSample> columns;
    std::set<long> data_rows;
    for (const Cell& c : s.cells) {
        if (c.row < header_row) continue;
        if (c.row == header_row) {
            ColumnSample& col = columns[c.column];
            if (!c.number) col.header = match_header(c.text);
            col.other_header = !col.header && c.text.find_first_not_of(" \t\r\n") != std::string::npos;
            col.header_text = c.text;
            continue;
        }
        if (data_rows.count(c.row) == 0) {
            if (data_rows.size() >= limits.sample_rows) continue;
            data_rows.insert(c.row);
        }
        const std::string_view text = c.text;
        if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) continue;
        ColumnSample& col = columns[c.column];
        col.values.push_back(c.text);
        col.numbers.push_back(c.number);
    }
    for (const auto& [column, sample] : columns)
        if (auto verdict = judge_column(sample, year)) out.columns.push_back({column, std::move(*verdict)});
    count_cells(s, header_row, limits.sample_rows, out);
    find_kept_above(s, header_row, out);
    return out;
}

// Opens the workbook at `path` and reads its workbook part and that part's relationships.
SuggestStatus open_workbook(ZipEntryReader& zip, const std::filesystem::path& path, std::string& workbook,
                            std::string& rels) {
    switch (zip.open(path)) {
        case ZipEntryReader::Status::ok: break;
        case ZipEntryReader::Status::cannot_open: return SuggestStatus::cannot_open;
        default: return SuggestStatus::not_a_workbook;
    }
    if (zip.read(WORKBOOK_PART, SMALL_PART_LIMIT, workbook) != ZipEntryReader::Status::ok ||
        zip.read(WORKBOOK_RELS, SMALL_PART_LIMIT, rels) != ZipEntryReader::Status::ok)
        return SuggestStatus::not_a_workbook;
    return SuggestStatus::ok;
}

// The first `rows` rows of each worksheet, their shared strings filled in.
SuggestStatus sample_sheets(ZipEntryReader& zip, const std::vector<SheetRef>& sheets, std::size_t rows,
                            const std::vector<bool>& dates, std::vector<SheetSample>& samples) {
    for (const SheetRef& sheet : sheets) {
        SheetScanner scanner(rows, dates);
        const auto status = zip.stream(sheet.part, [&](std::string_view piece) { return scanner.feed(piece); });
        if (status != ZipEntryReader::Status::ok && status != ZipEntryReader::Status::missing)
            return SuggestStatus::damaged;
        samples.push_back(std::move(scanner.sample));
    }
    return resolve_shared_strings(zip, samples) ? SuggestStatus::ok : SuggestStatus::damaged;
}

WorkbookSuggestion suggest(const std::filesystem::path& path, const SuggestLimits& limits) {
    WorkbookSuggestion result;
    ZipEntryReader zip;
    std::string workbook, rels, styles;
    if ((result.status = open_workbook(zip, path, workbook, rels)) != SuggestStatus::ok) return result;
    // Without readable styles no number shows as a date; everything else still works.
    if (zip.read(STYLES_PART, SMALL_PART_LIMIT, styles) != ZipEntryReader::Status::ok) styles.clear();
    const std::vector<bool> dates = date_styles(styles);

    const std::vector<SheetRef> sheets = worksheets(workbook, rels);
    std::vector<SheetSample> samples;
    if ((result.status = sample_sheets(zip, sheets, limits.header_rows + limits.sample_rows, dates, samples)) !=
        SuggestStatus::ok)
        return result;

    const int year = limits.reference_year > 0 ? limits.reference_year : this_year();
    std::set<int> all_columns;
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        result.sheets.push_back(judge_sheet(sheets[i], samples[i], limits, year));
        for (const auto& c : result.sheets.back().columns) all_columns.insert(c.column);
    }
    count_shared_elsewhere(samples, result.sheets);
    for (int column : all_columns) {
        if (!result.columns.empty()) result.columns += ',';
        result.columns += column_letters(column);
    }
    return result;
}

// The text, number and date cells at the start of each worksheet, and the workbook part.
WorkbookStrings sample_strings(const std::filesystem::path& path, std::size_t rows) {
    WorkbookStrings result;
    ZipEntryReader zip;
    std::string rels;
    if ((result.status = open_workbook(zip, path, result.workbook, rels)) != SuggestStatus::ok) return result;
    const std::vector<SheetRef> sheets = worksheets(result.workbook, rels);
    std::vector<SheetSample> samples;
    // No date styles: a date-formatted number is judged as the number it is.
    if ((result.status = sample_sheets(zip, sheets, rows, {}, samples)) != SuggestStatus::ok) return result;
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        SheetStrings out{sheets[i].name, {}};
        for (Cell& c : samples[i].cells) {
            const StringCell::Kind kind = c.number ? StringCell::Kind::number
                                          : c.date ? StringCell::Kind::date
                                                   : StringCell::Kind::text;
            if (c.string || c.number || c.date || !c.text.empty())
                out.cells.push_back({c.row, c.column, std::move(c.text), kind});
        }
        result.sheets.push_back(std::move(out));
    }
    return result;
}

}  // namespace

std::string shown_item_text(std::string_view item_content) { return item_text(item_content); }

std::string shown_value_text(std::string_view value) { return unescape(value); }

std::vector<WorkbookSheet> workbook_sheets(std::string_view workbook, std::string_view rels) {
    std::vector<WorkbookSheet> sheets;
    for (SheetRef& s : worksheets(workbook, rels)) sheets.push_back({std::move(s.name), std::move(s.part)});
    return sheets;
}

std::string column_letters(int column) {
    std::string letters;
    for (int n = column + 1; n > 0; n = (n - 1) / 26) letters.insert(letters.begin(), static_cast<char>('A' + (n - 1) % 26));
    return letters;
}

WorkbookStrings sample_workbook_strings(const std::filesystem::path& workbook, std::size_t rows) {
    try {
        return sample_strings(workbook, rows);
    } catch (const std::bad_alloc&) {
        WorkbookStrings failed;
        failed.status = SuggestStatus::damaged;
        return failed;
    }
}

WorkbookSuggestion suggest_columns(const std::filesystem::path& workbook, const SuggestLimits& limits) {
    try {
        return suggest(workbook, limits);
    } catch (const std::bad_alloc&) {
        WorkbookSuggestion failed;
        failed.status = SuggestStatus::damaged;
        return failed;
    }
}

}  // namespace hsc
