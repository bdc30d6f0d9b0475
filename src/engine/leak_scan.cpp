#include "engine/leak_scan.h"

#include <algorithm>
#include <array>
#include <new>

#include "core/status.h"
#include "engine/side_by_side.h"
#include "engine/text_routines.h"

namespace hsc {
namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view trim(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && is_space(s[b])) ++b;
    while (e > b && is_space(s[e - 1])) --e;
    return s.substr(b, e - b);
}

// Digits with signs, points and commas only, and fewer than seven digits: the sizes,
// positions and values that stand in every part. Longer runs of digits (phone, account
// and postal numbers) are looked for.
bool is_plain_number(std::string_view s) {
    std::size_t digits = 0;
    for (char c : s) {
        if (c >= '0' && c <= '9')
            ++digits;
        else if (c != '.' && c != ',' && c != '-' && c != '+')
            return false;
    }
    return digits < 7;
}

std::size_t char_count(std::string_view s) {
    std::size_t n = 0;
    for (char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool is_scalar(std::uint32_t cp) { return cp != 0 && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF); }

// "&...;" at `p`: the code point or -1, and the length of the reference.
long entity_at(std::string_view s, std::size_t p, std::size_t& length) {
    const std::size_t semi = s.find(';', p + 1);
    if (semi == std::string_view::npos || semi - p > 12) return -1;
    const std::string_view name = s.substr(p + 1, semi - p - 1);
    length = semi - p + 1;
    if (name == "amp") return '&';
    if (name == "lt") return '<';
    if (name == "gt") return '>';
    if (name == "quot") return '"';
    if (name == "apos") return '\'';
    if (name.size() < 2 || name[0] != '#') return -1;
    const bool hex = name[1] == 'x' || name[1] == 'X';
    const std::string_view digits = name.substr(hex ? 2 : 1);
    if (digits.empty()) return -1;
    std::uint32_t cp = 0;
    for (char c : digits) {
        const int d = hex ? hex_value(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
        if (d < 0 || cp > 0x10FFFF) return -1;
        cp = cp * (hex ? 16 : 10) + static_cast<std::uint32_t>(d);
    }
    return is_scalar(cp) ? static_cast<long>(cp) : -1;
}

// "_xHHHH_" at `p`: the UTF-16 code unit or -1.
long escape_at(std::string_view s, std::size_t p) {
    if (s.size() - p < 7 || s[p] != '_' || s[p + 1] != 'x' || s[p + 6] != '_') return -1;
    long unit = 0;
    for (std::size_t k = p + 2; k < p + 6; ++k) {
        const int d = hex_value(s[k]);
        if (d < 0) return -1;
        unit = unit * 16 + d;
    }
    return unit;
}

// The elements `<prefix name ...>...</prefix name>` of a text, as the masker walks them;
// `<name/>` gives an empty range.
struct ElementRanges {
    std::string name;
    explicit ElementRanges(std::string_view prefix, std::string_view local) { name.append(prefix).append(local); }

    // The next element at or after `from`: its content in [begin, end), `next` after it.
    bool next(std::string_view text, std::size_t& from, std::size_t& begin, std::size_t& end) const {
        ElementAt at;
        if (!next_element(text, name, from, text.size(), at)) {
            from = text.size();
            return false;
        }
        begin = at.inner_begin;
        end = at.inner_end;
        from = at.end;
        return true;
    }
};

// The contents of the same element in two texts, k-th beside k-th, walked together so
// that neither list is held: `take(before, after, has_after)` for each element of `a`.
template <class Take>
void walk_side_by_side(std::string_view a, const ElementRanges& in_a, std::string_view b, const ElementRanges& in_b,
                       Take take) {
    std::size_t from_a = 0, from_b = 0, begin = 0, end = 0;
    bool more_b = true;
    while (in_a.next(a, from_a, begin, end)) {
        const std::string_view before = a.substr(begin, end - begin);
        std::string_view after;
        more_b = more_b && in_b.next(b, from_b, begin, end);
        if (more_b) after = b.substr(begin, end - begin);
        take(before, after, more_b);
    }
}

// The text a reader sees of one shared-string item, and its phonetic reading: the
// contents of its <t> elements, those inside <rPh> apart.
void item_texts(std::string_view item, const ElementRanges& t, const ElementRanges& rph, std::string& visible,
                std::string& phonetic) {
    std::size_t from = 0, begin = 0, end = 0;
    // Phonetic runs first, to know which <t> to leave out of the visible text.
    std::vector<std::pair<std::size_t, std::size_t>> phonetic_ranges;
    while (rph.next(item, from, begin, end)) phonetic_ranges.emplace_back(begin, end);
    from = 0;
    while (t.next(item, from, begin, end)) {
        bool in_phonetic = false;
        for (const auto& [b, e] : phonetic_ranges) in_phonetic = in_phonetic || (begin >= b && end <= e);
        (in_phonetic ? phonetic : visible).append(item.substr(begin, end - begin));
    }
}

// What a part is, for the kinds of its elements.
enum class PartType { worksheet, workbook, table, plain };

struct PartInfo {
    LeakKind kind = LeakKind::other;
    PartType type = PartType::plain;
};

PartInfo part_info(std::string_view name) {
    const auto under = [&](std::string_view prefix) { return name.starts_with(prefix); };
    if (name == "xl/sharedStrings.xml") return {LeakKind::shared_strings};
    if (name == "xl/workbook.xml") return {LeakKind::other, PartType::workbook};
    if (under("xl/worksheets/_rels/")) return {LeakKind::hyperlinks};  // targets of the sheets' links
    if (under("xl/worksheets/") || under("xl/chartsheets/") || under("xl/dialogsheets/") || under("xl/macrosheets/"))
        return {LeakKind::other, PartType::worksheet};
    if (under("xl/tables/")) return {LeakKind::other, PartType::table};
    if (under("xl/comments") || under("xl/threadedComments/") || under("xl/persons/")) return {LeakKind::comments};
    if (under("xl/drawings/vmlDrawing")) return {LeakKind::vml};
    if (under("xl/drawings/drawing")) return {LeakKind::shapes};
    if (under("xl/charts/")) return {LeakKind::charts};
    if (under("xl/pivotCache/")) return {LeakKind::pivot_cache};
    if (under("xl/pivotTables/")) return {LeakKind::pivot_table};
    if (under("docProps/")) return {LeakKind::doc_properties};
    if (under("xl/externalLinks/")) return {LeakKind::external_links};
    if (under("customXml/")) return {LeakKind::custom_xml};
    return {};
}

std::string_view local_name(std::string_view qname) {
    const std::size_t colon = qname.find(':');
    return colon == std::string_view::npos ? qname : qname.substr(colon + 1);
}

// The kind of an element's text and attributes inside a worksheet or the workbook part.
LeakKind element_kind(PartType type, std::string_view name, std::string_view cell_type, LeakKind parent) {
    // The autoFilter of a sheet, of its custom views and of a table keeps the values it shows.
    if ((type == PartType::worksheet || type == PartType::table) && (name == "filter" || name == "customFilter"))
        return LeakKind::filters;
    if (type == PartType::worksheet) {
        if (name == "c") return cell_type == "inlineStr" ? LeakKind::inline_strings : LeakKind::formula_results;
        // The formula of an x14 validation (<xm:f>) is its list.
        if (name == "f") return parent == LeakKind::data_validation ? parent : LeakKind::formulas;
        // Conditional formats: the rule's text and its formulas.
        if (name == "cfRule" || name == "formula") return LeakKind::formulas;
        if (name == "inputCells") return LeakKind::scenarios;
        if (name == "headerFooter") return LeakKind::headers_footers;
        if (name == "hyperlink") return LeakKind::hyperlinks;
        if (name == "dataValidation") return LeakKind::data_validation;
    } else if (type == PartType::workbook) {
        if (name == "definedName") return LeakKind::defined_names;
        if (name == "sheet") return LeakKind::sheet_names;
    }
    return parent;
}

// Whether some attribute values of an element can hold text a reader sees. In sheets and
// the workbook part most attributes are references, styles and sizes ("A1" is a cell's
// position there, not its text).
bool attributes_hold_text(PartType type, std::string_view name) {
    if (type == PartType::worksheet)
        return name == "hyperlink" || name == "dataValidation" || name == "filter" || name == "customFilter" ||
               name == "cfRule" || name == "inputCells";
    if (type == PartType::workbook) return name == "sheet" || name == "definedName";
    // Run formatting names fonts and styles ("Calibri", "superscript") in any part.
    static constexpr std::string_view FORMATTING[] = {"rFont", "font", "latin", "ea", "cs", "sym", "vertAlign",
                                                      "u", "scheme", "family", "charset", "sz", "color"};
    return std::find(std::begin(FORMATTING), std::end(FORMATTING), name) == std::end(FORMATTING);
}

// Which attributes of such an element: a filter's value, a rule's text and a scenario's
// input are values beside references ("A1") and sizes.
bool attribute_holds_text(PartType type, std::string_view element, std::string_view attribute) {
    if (type != PartType::worksheet) return true;
    if (element == "filter" || element == "customFilter" || element == "inputCells") return attribute == "val";
    if (element == "cfRule") return attribute == "text";
    return true;
}

// Calls `look` with a value and with the pieces of it that a reader sees on their own:
// its lines, a mail address behind "mailto:", the string literals of a formula or a
// validation list, the texts between the codes of a header or footer.
template <typename Look>
void for_each_piece(std::string_view v, LeakKind kind, Look&& look) {
    // A whole text, and the address of a "mailto:" link up to its query.
    const auto look_text = [&](std::string_view t) {
        look(t);
        if (t.starts_with("mailto:")) look(t.substr(7, t.find('?') == std::string_view::npos ? t.npos : t.find('?') - 7));
    };
    look_text(v);
    if (v.find_first_of("\r\n") != std::string_view::npos) {
        std::size_t b = 0;
        for (std::size_t e; (e = v.find_first_of("\r\n", b)) != std::string_view::npos; b = e + 1) look(v.substr(b, e - b));
        look(v.substr(b));
    }
    if (kind == LeakKind::formulas || kind == LeakKind::data_validation || kind == LeakKind::defined_names) {
        std::size_t open = v.find('"');
        while (open != std::string_view::npos) {
            const std::size_t close = v.find('"', open + 1);
            if (close == std::string_view::npos) break;
            const std::string_view literal = v.substr(open + 1, close - open - 1);
            look_text(literal);
            if (kind == LeakKind::data_validation && literal.find(',') != std::string_view::npos) {
                std::size_t b = 0;
                for (std::size_t e; (e = literal.find(',', b)) != std::string_view::npos; b = e + 1)
                    look(literal.substr(b, e - b));
                look(literal.substr(b));
            }
            open = v.find('"', close + 1);
        }
    }
    if (kind == LeakKind::headers_footers && v.find('&') != std::string_view::npos) {
        // &L &C &R &P &"font,style" &12 &K00FF00 ...: the texts between the codes.
        std::string piece;
        std::size_t i = 0;
        while (i < v.size()) {
            if (v[i] != '&' || i + 1 >= v.size()) {
                piece += v[i++];
                continue;
            }
            const char c = v[i + 1];
            if (c == '&') {
                piece += '&';
                i += 2;
                continue;
            }
            look(piece);
            piece.clear();
            if (c == '"') {
                const std::size_t close = v.find('"', i + 2);
                i = close == std::string_view::npos ? v.size() : close + 1;
            } else if (c >= '0' && c <= '9') {
                i += 1;
                while (i < v.size() && v[i] >= '0' && v[i] <= '9') ++i;
            } else if (c == 'K') {
                i += 2;
                for (int k = 0; k < 6 && i < v.size() && hex_value(v[i]) >= 0; ++k) ++i;
            } else {
                i += 2;
            }
        }
        look(piece);
    }
}

// Counts the values of one part that are masked texts, by kind.
class PartScanner {
public:
    PartScanner(const MaskedTexts& texts, PartInfo info) : texts_(texts), info_(info) {}
    // A scanner that starts at `at` inside the elements `stack` gives the kinds of.
    PartScanner(const MaskedTexts& texts, PartInfo info, std::vector<LeakKind> stack, std::size_t at)
        : texts_(texts), info_(info), stack_(std::move(stack)), p_(at) {}

    // Counts a value that is (or holds a piece that is) a masked text; true when it does.
    bool value(std::string_view raw, LeakKind kind, bool decode) {
        // Decoding never lengthens a text and the pieces are parts of it: a value shorter
        // than every masked text holds none. Numbers are never looked for.
        raw = trim(raw);
        if (raw.size() < texts_.shortest() || is_plain_number(raw)) return false;
        std::string decoded;
        std::string_view v = raw;
        if (decode && (raw.find('&') != std::string_view::npos || raw.find("_x") != std::string_view::npos)) {
            decoded = decode_xml_text(raw);
            v = decoded;
        }
        bool found = false;
        std::uint64_t owners = 0;
        for_each_piece(v, kind, [&](std::string_view piece) {
            if (const std::optional<std::uint64_t> o = texts_.owners_of(trim(piece))) {
                found = true;
                owners |= *o;
            }
        });
        if (found) {
            ++counts_[static_cast<std::size_t>(kind)];
            owners_[static_cast<std::size_t>(kind)] |= owners;
        }
        return found;
    }

    // Scans from where the scanner stands until it stands at or after `stop`.
    void run(std::string_view x, std::size_t stop = std::string_view::npos) {
        std::vector<LeakKind>& stack = stack_;
        std::vector<std::pair<std::string_view, std::string_view>>& attributes = attributes_;
        const auto current = [&] { return stack.empty() ? info_.kind : stack.back(); };
        const std::size_t n = x.size();
        std::size_t& p = p_;
        while (p < n && p < stop) {
            const std::size_t lt = find_byte(x, '<', p);
            const std::size_t text_end = lt == std::string_view::npos ? n : lt;
            if (text_end > p) {
                const std::string_view text = x.substr(p, text_end - p);
                // The <v> of a shared-string cell is the item's index, never a text.
                const bool found = !index_depth_ && value(text, current(), true);
                if (in_run_) join_run(text, found);
            }
            in_run_ = false;
            if (lt == std::string_view::npos) break;
            // Most tags are start and end tags: one look at the byte after '<' tells them.
            const char second = lt + 1 < n ? x[lt + 1] : '\0';
            if (second == '/') {
                if (!stack.empty()) stack.pop_back();
                if (index_depth_ && stack.size() < index_depth_) index_depth_ = 0;
                if (join_.depth && stack.size() < join_.depth) end_join();
                if (join_.phonetic_depth && stack.size() < join_.phonetic_depth) join_.phonetic_depth = 0;
                p = past_byte(x, '>', lt + 2);
            } else if (second == '?') {
                p = skip_past(x, lt + 2, "?>");
            } else if (second != '!') {
                p = start_tag(x, lt + 1, stack, attributes);
            } else if (x.substr(lt).starts_with("<!--")) {
                p = skip_past(x, lt + 4, "-->");
            } else if (x.substr(lt).starts_with("<![CDATA[")) {
                const std::size_t end = x.find("]]>", lt + 9);
                value(x.substr(lt + 9, (end == std::string_view::npos ? n : end) - lt - 9), current(), false);
                p = end == std::string_view::npos ? n : end + 3;
            } else {
                p = past_byte(x, '>', lt + 2);
            }
        }
    }

    std::size_t position() const { return p_; }
    const std::vector<LeakKind>& stack() const { return stack_; }
    bool in_index_cell() const { return index_depth_ != 0; }
    // Takes the counts of a scanner that scanned the rest of the part.
    void add_counts(const PartScanner& other) {
        for (std::size_t k = 0; k < counts_.size(); ++k) counts_[k] += other.counts_[k], owners_[k] |= other.owners_[k];
    }

    void report(std::string_view part, std::vector<LeakFinding>& findings) const {
        for (std::size_t k = 0; k < counts_.size(); ++k)
            if (counts_[k]) findings.push_back({static_cast<LeakKind>(k), std::string(part), counts_[k], owners_[k]});
    }

private:
    // The rest of a start tag whose attributes hold no text: to its '>' outside quotes.
    std::size_t skip_tag(std::string_view x, std::size_t p, std::string_view name, std::vector<LeakKind>& stack) {
        char quote = 0;
        for (; p < x.size(); ++p) {
            const char c = x[p];
            if (quote) {
                if (c == quote) quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>' || c == '<') {
                break;
            }
        }
        const bool empty = p < x.size() && x[p] == '>' && x[p - 1] == '/';
        if (!empty) stack.push_back(element_kind(info_.type, name, {}, stack.empty() ? info_.kind : stack.back()));
        note_start(name, empty, stack);
        return p < x.size() && x[p] == '>' ? p + 1 : p;
    }

    // A text split into runs (rich text, a paragraph of a drawing or chart title) reads as
    // one: the runs of an item, comment text or paragraph are joined and compared whole.
    // Only the texts of run elements (<t>, <a:t>) count: the spaces that indent the runs
    // are none of the text, and a phonetic reading is a text of its own.
    void note_start(std::string_view name, bool empty, const std::vector<LeakKind>& stack) {
        if (join_.depth) {
            if (name == "t")
                in_run_ = !empty && !join_.phonetic_depth;
            else if (name == "br")
                join_.text += '\n';
            else if (name == "rPh" && !empty && !join_.phonetic_depth)
                join_.phonetic_depth = stack.size();
        } else if (!empty && (name == "si" || name == "is" || name == "text" || name == "p")) {
            join_.depth = stack.size();
            join_.kind = stack.back();
        }
    }

    void join_run(std::string_view text, bool found) {
        join_.text.append(text);
        ++join_.runs;
        join_.found = join_.found || found;
    }

    // A run that matched on its own is already counted.
    void end_join() {
        if (join_.runs > 1 && !join_.found) value(join_.text, join_.kind, true);
        join_.text.clear();  // keeps its room: no allocation for each item
        join_.depth = join_.phonetic_depth = join_.runs = 0;
        join_.found = false;
    }

    // The texts and tags between two '<' are short: a loop costs less than a call to the
    // library's search for each of them.
    static std::size_t find_byte(std::string_view x, char c, std::size_t from) {
        for (; from < x.size(); ++from)
            if (x[from] == c) return from;
        return std::string_view::npos;
    }

    static std::size_t past_byte(std::string_view x, char c, std::size_t from) {
        const std::size_t at = find_byte(x, c, from);
        return at == std::string_view::npos ? x.size() : at + 1;
    }

    static std::size_t skip_past(std::string_view x, std::size_t from, std::string_view end) {
        const std::size_t at = x.find(end, from);
        return at == std::string_view::npos ? x.size() : at + end.size();
    }

    // A start tag from its name at `p`; the position after it.
    std::size_t start_tag(std::string_view x, std::size_t p, std::vector<LeakKind>& stack,
                          std::vector<std::pair<std::string_view, std::string_view>>& attributes) {
        const std::size_t n = x.size();
        const std::size_t name_begin = p;
        while (p < n && !is_space(x[p]) && x[p] != '>' && x[p] != '/' && x[p] != '<') ++p;
        const std::string_view name = local_name(x.substr(name_begin, p - name_begin));
        attributes.clear();
        const bool wanted = attributes_hold_text(info_.type, name) || (info_.type == PartType::worksheet && name == "c");
        if (!wanted) return skip_tag(x, p, name, stack);
        bool empty = false;
        while (p < n) {
            while (p < n && is_space(x[p])) ++p;
            if (p >= n || x[p] == '<') break;  // a tag without its end: what follows is read anew
            if (x[p] == '>') {
                ++p;
                break;
            }
            if (x[p] == '/') {
                empty = p + 1 < n && x[p + 1] == '>';
                p += empty ? 2 : 1;
                if (empty) break;
                continue;
            }
            const std::size_t an = p;
            while (p < n && x[p] != '=' && x[p] != '>' && x[p] != '/' && x[p] != '<' && !is_space(x[p])) ++p;
            const std::string_view attribute = x.substr(an, p - an);
            while (p < n && is_space(x[p])) ++p;
            if (p >= n || x[p] != '=') {
                if (p == an) ++p;
                continue;
            }
            ++p;
            while (p < n && is_space(x[p])) ++p;
            if (p >= n || (x[p] != '"' && x[p] != '\'')) continue;
            const char quote = x[p++];
            std::size_t close = x.find(quote, p);
            if (close == std::string_view::npos) close = n;
            attributes.emplace_back(local_name(attribute), x.substr(p, close - p));
            p = close < n ? close + 1 : n;
        }
        std::string_view cell_type;
        if (info_.type == PartType::worksheet && name == "c")
            for (const auto& [a, v] : attributes)
                if (a == "t") cell_type = v;
        const LeakKind kind =
            element_kind(info_.type, name, cell_type, stack.empty() ? info_.kind : stack.back());
        if (attributes_hold_text(info_.type, name))
            for (const auto& [a, v] : attributes)
                if (attribute_holds_text(info_.type, name, a)) value(v, kind, true);
        if (!empty) stack.push_back(kind);
        if (!empty && cell_type == "s") index_depth_ = stack.size();
        note_start(name, empty, stack);
        return p;
    }

    const MaskedTexts& texts_;
    PartInfo info_;
    std::vector<LeakKind> stack_;  // the kinds of the elements the scanner stands in
    std::size_t p_ = 0;
    std::vector<std::pair<std::string_view, std::string_view>> attributes_;
    std::array<std::size_t, static_cast<std::size_t>(LeakKind::other) + 1> counts_{};
    std::array<std::uint64_t, static_cast<std::size_t>(LeakKind::other) + 1> owners_{};  // whose texts they were
    // The element whose runs are being joined: `depth` is the stack's size inside it (0
    // when none), `phonetic_depth` that inside a phonetic reading of it.
    struct Join {
        std::string text;
        std::size_t depth = 0, phonetic_depth = 0, runs = 0;
        bool found = false;
        LeakKind kind = LeakKind::other;
    } join_;
    bool in_run_ = false;  // the next text node is the text of a run being joined
    std::size_t index_depth_ = 0;  // the stack's size inside a shared-string cell (0 when not in one)
};

// Scans a part, a long one with two scanners at once: the element that repeats through
// it (the rows of a worksheet, the items of the shared-string table) gives a place near
// its middle where the second begins, inside the elements the first stands in at the
// first such element. What the second found counts only when the first arrives exactly
// there, inside the same elements; otherwise the first scans on alone.
void scan_in_pieces(std::string_view bytes, PartScanner& first, const MaskedTexts& texts, PartInfo info) {
    constexpr std::size_t SPLIT_BYTES = std::size_t{8} << 20;
    const std::string_view repeated = info.type == PartType::worksheet             ? "row"
                                      : info.kind == LeakKind::shared_strings ? "si"
                                                                                   : "";
    if (bytes.size() < SPLIT_BYTES || repeated.empty()) return first.run(bytes);
    const std::string name = std::string(root_element_prefix(bytes)) + std::string(repeated);
    ElementAt head, middle;
    if (!next_element(bytes, name, 0, bytes.size(), head) ||
        !next_element(bytes, name, bytes.size() / 2, bytes.size(), middle) || middle.begin <= head.begin)
        return first.run(bytes);
    first.run(bytes, head.begin);
    if (first.position() != head.begin) return first.run(bytes);
    const std::vector<LeakKind> inside = first.stack();
    PartScanner second(texts, info, inside, middle.begin);
    bool second_done = false;
    run_side_by_side([&] { first.run(bytes, middle.begin); },
                     [&] {
                         try {
                             second.run(bytes);
                             second_done = true;
                         } catch (const std::bad_alloc&) {
                             // the first scans the rest
                         }
                     });
    if (second_done && first.position() == middle.begin && first.stack() == inside && !first.in_index_cell())
        first.add_counts(second);
    else
        first.run(bytes);
}

// Parts that never hold workbook data: the theme and the styles name fonts, colours and
// formats only, and a masked text that happens to be a font name ("Nyala") is no leak.
bool never_holds_data(std::string_view name) { return name.starts_with("xl/theme/") || name == "xl/styles.xml"; }

bool looks_like_xml(std::string_view bytes) {
    std::size_t p = bytes.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    while (p < bytes.size() && is_space(bytes[p])) ++p;
    return p < bytes.size() && bytes[p] == '<';
}

}  // namespace

std::string decode_xml_text(std::string_view raw) {
    std::string out;
    out.reserve(raw.size());
    for (std::size_t p = 0; p < raw.size();) {
        if (raw[p] == '&') {
            std::size_t length = 0;
            const long cp = entity_at(raw, p, length);
            if (cp >= 0) {
                append_utf8(out, static_cast<std::uint32_t>(cp));
                p += length;
                continue;
            }
        } else if (raw[p] == '_') {
            const long unit = escape_at(raw, p);
            if (unit >= 0xD800 && unit <= 0xDBFF) {
                const long low = escape_at(raw, p + 7 <= raw.size() ? p + 7 : raw.size());
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    append_utf8(out, 0x10000 + ((static_cast<std::uint32_t>(unit) - 0xD800) << 10) +
                                         (static_cast<std::uint32_t>(low) - 0xDC00));
                    p += 14;
                    continue;
                }
            } else if (unit >= 0 && is_scalar(static_cast<std::uint32_t>(unit))) {
                append_utf8(out, static_cast<std::uint32_t>(unit));
                p += 7;
                continue;
            }
        }
        out += raw[p++];
    }
    return out;
}

bool too_plain_to_look_for(std::string_view decoded) {
    const std::string_view t = trim(decoded);
    // The same rule as the scan's: a text it would skip is not looked for at all.
    return char_count(t) < LEAK_MIN_CHARS || is_plain_number(t);
}

std::size_t MaskedTexts::filter_slot(std::string_view s) noexcept {
    // Length, first two bytes and last byte: cheap, and they tell masked texts (which start
    // with the mask character) from the originals.
    const auto byte = [&](std::size_t i) { return static_cast<std::size_t>(static_cast<unsigned char>(s[i])); };
    const std::size_t h = (s.size() * 0x9E37u) ^ (byte(0) << 8) ^ byte(1) ^ (byte(s.size() - 1) * 0x3Bu);
    return (h ^ (h >> 16)) & 0xFFFFu;
}

MaskedTexts& MaskedTexts::operator=(MaskedTexts&& other) noexcept {
    blocks_ = std::move(other.blocks_);
    block_next_ = std::exchange(other.block_next_, nullptr);
    block_left_ = std::exchange(other.block_left_, 0);
    table_ = std::move(other.table_);
    other.table_.clear();
    count_ = std::exchange(other.count_, 0);
    filter_ = std::exchange(other.filter_, {});
    shortest_ = std::exchange(other.shortest_, static_cast<std::size_t>(-1));
    longest_ = std::exchange(other.longest_, 0);
    other.blocks_.clear();
    return *this;
}

std::string_view MaskedTexts::keep(std::string_view text) {
    constexpr std::size_t BLOCK = std::size_t{1} << 20;
    if (text.size() > block_left_) {
        // A text longer than a block gets a block of its own.
        const std::size_t size = std::max(BLOCK, text.size());
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(size));
        block_next_ = blocks_.back().get();
        block_left_ = size;
    }
    char* const at = block_next_;
    std::copy(text.begin(), text.end(), at);
    block_next_ += text.size();
    block_left_ -= text.size();
    return {at, text.size()};
}

std::size_t MaskedTexts::place(std::string_view text, std::size_t hash) const noexcept {
    const std::size_t mask = table_.size() - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
        const Slot& slot = table_[at];
        if (!slot.data || (slot.hash == hash && std::string_view(slot.data, slot.size) == text)) return at;
    }
}

void MaskedTexts::rehash(std::size_t texts) {
    std::size_t size = 16;
    while (size < 2 * texts) size *= 2;
    if (size <= table_.size()) return;
    std::vector<Slot> old = std::exchange(table_, std::vector<Slot>(size));
    for (const Slot& slot : old)
        if (slot.data) table_[place(std::string_view(slot.data, slot.size), slot.hash)] = slot;
}

void MaskedTexts::reserve(std::size_t n) { rehash(n); }

bool MaskedTexts::add(std::string_view text, std::uint64_t owners) {
    const std::string_view t = trim(text);
    if (too_plain_to_look_for(t)) return false;
    if (2 * (count_ + 1) > table_.size()) rehash(count_ + 1);
    const std::size_t hash = std::hash<std::string_view>{}(t);
    Slot& slot = table_[place(t, hash)];
    if (slot.data) {
        slot.owners |= owners;
        return true;
    }
    const std::string_view kept = keep(t);
    slot = {hash, kept.data(), kept.size(), owners};
    ++count_;
    filter_.set(filter_slot(t));
    shortest_ = std::min(shortest_, t.size());
    longest_ = std::max(longest_, t.size());
    return true;
}

bool MaskedTexts::add_raw(std::string_view xml_text, std::uint64_t owners) {
    // Without '&' and '_' there is no reference or escape: the text reads as it is written.
    if (xml_text.find_first_of("&_") == std::string_view::npos) return add(xml_text, owners);
    return add(decode_xml_text(xml_text), owners);
}

std::optional<std::uint64_t> MaskedTexts::owners_of(std::string_view text) const {
    if (text.size() < shortest_ || text.size() > longest_ || !filter_.test(filter_slot(text))) return std::nullopt;
    const Slot& slot = table_[place(text, std::hash<std::string_view>{}(text))];
    if (!slot.data) return std::nullopt;
    return slot.owners;
}

void MaskedItemTexts::add(std::string_view item, std::uint64_t owners) {
    visible_.clear();
    phonetic_.clear();
    item_texts(item, ElementRanges(prefix_, "t"), ElementRanges(prefix_, "rPh"), visible_, phonetic_);
    texts_.add_raw(visible_, owners);
    texts_.add_raw(phonetic_, owners);
}

std::size_t collect_masked_items(std::string_view original, std::string_view masked, MaskedTexts& texts) {
    const std::string_view prefix = root_element_prefix(original);
    MaskedItemTexts collect(prefix, texts);
    std::size_t changed = 0;
    walk_side_by_side(original, ElementRanges(prefix, "si"), masked, ElementRanges(root_element_prefix(masked), "si"),
                      [&](std::string_view before, std::string_view after, bool has_after) {
                          if (has_after && before == after) return;
                          ++changed;
                          collect.add(before);
                      });
    return changed;
}

std::size_t collect_masked_runs(std::string_view original, std::string_view masked, MaskedTexts& texts) {
    const ElementRanges run("a:", "t");
    std::size_t changed = 0;
    walk_side_by_side(original, run, masked, run, [&](std::string_view before, std::string_view after, bool has_after) {
        if (has_after && before == after) return;
        ++changed;
        texts.add_raw(before);
    });
    return changed;
}

void scan_part(std::string_view name, std::string_view bytes, const MaskedTexts& texts,
               std::vector<LeakFinding>& findings) {
    if (texts.empty() || never_holds_data(name) || !looks_like_xml(bytes)) return;
    const PartInfo info = part_info(name);
    PartScanner scanner(texts, info);
    scan_in_pieces(bytes, scanner, texts, info);
    scanner.report(name, findings);
}

std::vector<LeakFinding> scan_for_leaks(std::span<const PartBytes> parts, const MaskedTexts& texts) {
    std::vector<LeakFinding> findings;
    for (const PartBytes& part : parts) scan_part(part.name, part.bytes, texts, findings);
    return findings;
}

}  // namespace hsc
