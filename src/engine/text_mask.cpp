#include "engine/text_mask.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <functional>
#include <string_view>

#include "engine/text_routines.h"

namespace hsc {
namespace {

// UTF-8 bytes of the three-byte mask characters, by `mask_mchar` index.
constexpr const char* MCHAR_BYTES[] = {
    "\xE2\x97\x8F",  // ● U+25CF
    "\xE2\x96\xA0",  // ■ U+25A0
    "\xE2\x80\xBB",  // ※ U+203B
};

// UTF-8 bytes of the two-byte mask characters, by `mask_wchar` index.
constexpr const char* WCHAR_BYTES[] = {
    "\xC3\x97",  // × U+00D7
    "\xC2\xA4",  // ¤ U+00A4
};

// The replacement byte of a class, or 0 when the index has no character ("なし" or unknown).
char letter_mask(int index) { return index == CHAR_STAR ? '*' : index == CHAR_X ? 'X' : 0; }
char digit_mask(int index) { return index == NUMBER_NINE ? '9' : index == NUMBER_ZERO ? '0' : 0; }
const char* mchar_mask(int index) {
    return index >= 0 && index < static_cast<int>(std::size(MCHAR_BYTES)) ? MCHAR_BYTES[index] : nullptr;
}

const char* wchar_mask(int index) {
    return index >= 0 && index < static_cast<int>(std::size(WCHAR_BYTES)) ? WCHAR_BYTES[index] : nullptr;
}

bool is_hex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

// "_x" + four hexadecimal digits + "_" at i: one character of cell text.
bool escape_at(std::span<const char> run, std::size_t i) {
    constexpr std::size_t ESCAPE_LENGTH = 7;
    if (run.size() - i < ESCAPE_LENGTH || run[i] != '_' || run[i + 1] != 'x' || run[i + 6] != '_') return false;
    return is_hex(run[i + 2]) && is_hex(run[i + 3]) && is_hex(run[i + 4]) && is_hex(run[i + 5]);
}

// The UTF-16 unit an escape that escape_at found at `i` stands for.
long escape_unit(std::span<const char> run, std::size_t i) {
    long unit = 0;
    for (std::size_t k = i + 2; k < i + 6; ++k) {
        const char c = run[k];
        unit = unit * 16 + (c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
    }
    return unit;
}

// Overwrites the character of `length` bytes at `at` with mask characters of the same
// byte length, when its class has one.
void replace_character(char* at, int length, const char* mchar, const char* wchar) {
    if (length == 3 && mchar) std::copy_n(mchar, 3, at);
    if (length == 2 && wchar) std::copy_n(wchar, 2, at);
    if (length == 4 && wchar) {
        std::copy_n(wchar, 2, at);
        std::copy_n(wchar, 2, at + 2);
    }
}

// The code point a numeric character reference ("&#1048;", "&#x418;") at the start of
// `ref` (which ends with its ';') stands for, or -1 when it is no such reference.
long reference_code_point(std::string_view ref) {
    if (ref.size() < 4 || ref[1] != '#') return -1;
    const bool hex = ref[2] == 'x' || ref[2] == 'X';
    const std::string_view digits = ref.substr(hex ? 3 : 2, ref.size() - (hex ? 4 : 3));
    if (digits.empty() || digits.size() > 8) return -1;
    long value = 0;
    for (char c : digits) {
        int d = -1;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
        if (d < 0) return -1;
        value = value * (hex ? 16 : 10) + d;
    }
    return value <= 0x10FFFF ? value : -1;
}

// The code point of a mask character given by its UTF-8 bytes (one to three bytes).
long code_point_of(const char* utf8) {
    const auto b = [&](int i) { return static_cast<unsigned char>(utf8[i]); };
    if (b(0) < 0x80) return b(0);
    if (b(0) < 0xE0) return ((b(0) & 0x1F) << 6) | (b(1) & 0x3F);
    return ((b(0) & 0x0F) << 12) | ((b(1) & 0x3F) << 6) | (b(2) & 0x3F);
}

// Overwrites the reference `ref` with one to `code_point`, zero-padded to its length
// ("&#1048;" becomes "&#0215;"). A reference to a character of a class is always long
// enough for the mask character of that class.
void rewrite_reference(std::span<char> ref, long code_point) {
    const std::string digits = std::to_string(code_point);
    if (digits.size() + 3 > ref.size()) return;
    std::string text = "&#" + std::string(ref.size() - 3 - digits.size(), '0') + digits + ";";
    std::copy(text.begin(), text.end(), ref.begin());
}

bool is_continuation(unsigned char b) { return b >= 0x80 && b <= 0xBF; }

bool at(std::string_view text, std::size_t p, std::string_view what) {
    return text.size() - p >= what.size() && text.compare(p, what.size(), what) == 0;
}

// Position of `what` at or after `from`, or the end of the text.
std::size_t find_or_end(std::string_view text, std::string_view what, std::size_t from) {
    std::size_t p = text.find(what, from);
    return p == std::string_view::npos ? text.size() : p;
}

// Masks the run from `begin` to the next `close` (or the end of the text); returns the
// position after the closing tag.
std::size_t mask_element_run(std::string& text, std::size_t begin, std::string_view close, bool preserve,
                             const MaskSettings& s, RunEscapes escapes) {
    const std::size_t end = find_or_end(text, close, begin);
    mask_text_run(std::span<char>(text.data() + begin, end - begin), preserve, s, escapes);
    return std::min(end + close.size(), text.size());
}

// At a "<t" followed by whitespace: the end of its start tag ('>') when the element has
// content, or npos for an empty or unterminated element. `preserve` tells whether the
// tag carries xml:space="preserve" (either quote).
std::size_t text_start_tag_end(std::string_view text, std::size_t attrs, bool& preserve) {
    preserve = false;
    const std::size_t p = start_tag_end(text, attrs, true);
    if (p == std::string_view::npos || text[p - 1] == '/') return std::string_view::npos;
    std::string_view tag = text.substr(attrs, p - attrs);
    preserve = tag.find("xml:space=\"preserve\"") != std::string_view::npos ||
               tag.find("xml:space='preserve'") != std::string_view::npos;
    return p;
}

}  // namespace

std::size_t mask_character(std::string_view text) {
    static constexpr std::string_view MASKS[] = {"*", "X", "9", "0", "●", "■", "※", "×", "¤"};
    for (std::string_view m : MASKS)
        if (text.starts_with(m)) return m.size();
    return 0;
}

int mask_text_run(std::span<char> run, bool preserve, const MaskSettings& s, RunEscapes escapes) {
    const int step = std::max(s.mask_step, 1);
    const char* mchar = mchar_mask(s.mask_mchar);
    const char* wchar = wchar_mask(s.mask_wchar);
    const char letter = letter_mask(s.mask_char);
    const char digit = digit_mask(s.mask_number);
    int m = 0;  // multi-byte characters since the last replacement turn
    int single = 0;
    const std::size_t n = run.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b = static_cast<unsigned char>(run[i]);
        std::size_t after = i;
        const int extra = mb_extra_bytes(ENC_UTF8, b, after);
        if (extra > 0) {
            if (after >= n) break;  // a character cut off by the end of the run stays as it is
            bool whole = true;
            for (std::size_t k = i + 1; k <= after; ++k)
                whole = whole && is_continuation(static_cast<unsigned char>(run[k]));
            if (whole) {
                if (++m >= step) {
                    replace_character(run.data() + i, extra + 1, mchar, wchar);
                    m = 0;
                }
                i = after + 1;
                continue;
            }
            // A lead byte without its continuation bytes is no character: a single
            // byte that is never replaced, so no byte after it can be overwritten.
        } else if (preserve && b == ' ') {
            ++i;
            continue;
        } else if (b == '&') {
            std::size_t k = i + 1;
            while (k < n && run[k] != ';') ++k;
            // A bare '&' (as CDATA holds it: not the start of a name) names nothing, and
            // what follows is masked as text; a reference cut by the run's end stays whole.
            const bool starts_name = i + 1 < n && (run[i + 1] == '#' || std::isalpha(static_cast<unsigned char>(run[i + 1])));
            if (k >= n && !starts_name) {
                ++i;
                continue;
            }
            const long code_point =
                k < n ? reference_code_point(std::string_view(run.data() + i, k + 1 - i)) : -1;
            // A numeric reference is the character it names, masked like that character
            // (writers such as openpyxl store every non-ASCII character so); named
            // entities (&amp; &lt; ...) stay whole and uncounted.
            if (code_point >= 0) {
                const std::span<char> ref = run.subspan(i, k + 1 - i);
                const bool ascii_letter =
                    (code_point >= 'A' && code_point <= 'Z') || (code_point >= 'a' && code_point <= 'z');
                const bool ascii_digit = code_point >= '0' && code_point <= '9';
                if (code_point >= 0x80) {
                    if (++m >= step) {
                        const char* mask = code_point >= 0x800 && code_point <= 0xFFFF ? mchar : wchar;
                        // A character beyond the first plane is two UTF-16 units, as its
                        // mask is two characters: the reference and the second one as UTF-8.
                        if (mask && code_point > 0xFFFF && ref.size() >= 8) {
                            rewrite_reference(ref.first(ref.size() - 2), code_point_of(mask));
                            std::copy_n(mask, 2, ref.end() - 2);
                        } else if (mask) {
                            rewrite_reference(ref, code_point_of(mask));
                        }
                        m = 0;
                    }
                } else if (++single >= step) {
                    if (ascii_letter && letter) rewrite_reference(ref, letter);
                    if (ascii_digit && digit) rewrite_reference(ref, digit);
                    single = 0;
                }
            }
            i = k < n ? k + 1 : n;
            continue;
        } else if (escapes == RunEscapes::cell_text && escape_at(run, i)) {
            // One character as a spreadsheet shows it, masked like that character in
            // the same form ("_x0041_" becomes "_x002A_"); a surrogate pair of escapes is
            // one character of two units, masked as two two-byte mask characters.
            const long unit = escape_unit(run, i);
            const bool pair = unit >= 0xD800 && unit <= 0xDBFF && escape_at(run, i + 7) &&
                              escape_unit(run, i + 7) >= 0xDC00 && escape_unit(run, i + 7) <= 0xDFFF;
            const auto put = [&](std::size_t at, long code_point) {
                char hex[5];
                std::snprintf(hex, sizeof hex, "%04lX", code_point);
                std::copy_n(hex, 4, run.data() + at + 2);
            };
            if (pair || (unit >= 0x80 && (unit < 0xD800 || unit > 0xDFFF))) {
                if (++m >= step) {
                    const char* mask = pair || unit < 0x800 ? wchar : mchar;
                    if (mask) put(i, code_point_of(mask));
                    if (mask && pair) put(i + 7, code_point_of(mask));
                    m = 0;
                }
            } else if (unit < 0x80 && std::isalnum(static_cast<int>(unit)) && ++single >= step) {
                const char mask = std::isdigit(static_cast<int>(unit)) ? digit : letter;
                if (mask) put(i, mask);
                single = 0;
            }
            i += pair ? 14 : 7;
            continue;
        }
        if (++single >= step) {
            if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z')) {
                if (letter) run[i] = letter;
            } else if (b >= '0' && b <= '9') {
                if (digit) run[i] = digit;
            }
            single = 0;
        }
        ++i;
    }
    return 0;
}

namespace {

// The tags of the text runs of a shared-string table as it spells them: <t> or, written
// with a prefix, <x:t>.
struct TableTags {
    explicit TableTags(std::string_view table) : prefix(root_element_prefix(table)) {}
    std::string prefix;
    std::string si = prefix + "si";
    std::string t_open = "<" + prefix + "t>", t_start = "<" + prefix + "t", t_close = "</" + prefix + "t>";
};

// Masks every <t> run (phonetic readings among them) of one item's content. Nothing
// outside the item is read or written, so a run without its end tag stops at the item's
// end, and an item masks the same alone as in its table.
void mask_item(std::span<char> item, const TableTags& tags, const MaskSettings& s) {
    const std::string_view text(item.data(), item.size());
    std::size_t p = 0;
    while (p < text.size()) {
        std::size_t run = std::string_view::npos;
        bool preserve = false;
        if (at(text, p, tags.t_open)) {
            run = p + tags.t_open.size();
        } else if (at(text, p, tags.t_start) && p + tags.t_start.size() < text.size() &&
                   is_xml_space(text[p + tags.t_start.size()])) {
            const std::size_t close = text_start_tag_end(text, p + tags.t_start.size() + 1, preserve);
            if (close != std::string_view::npos) run = close + 1;
        }
        if (run != std::string_view::npos) {
            const std::size_t end = find_or_end(text, tags.t_close, run);
            mask_text_run(item.subspan(run, end - run), preserve, s, RunEscapes::cell_text);
            p = std::min(end + tags.t_close.size(), text.size());
            continue;
        }
        // Every tag looked for starts with '<': skip the bytes between tags in one step.
        p = find_or_end(text, "<", p + 1);
    }
}

bool selected(std::size_t item, const std::vector<std::uint8_t>& flags, int target_column_count) {
    return target_column_count == 0 || (item < flags.size() && flags[item] != 0);
}

// Whether masking would change some character data of an item (the text between its
// tags), whatever elements hold it.
bool has_maskable_text(std::string_view item, const MaskSettings& s) {
    std::string data;
    for (std::size_t p = 0; p < item.size();) {
        const std::size_t lt = find_or_end(item, "<", p);
        data.assign(item.substr(p, lt - p));
        const std::string before = data;
        mask_text_run(data, false, s, RunEscapes::cell_text);
        if (data != before) return true;
        p = find_or_end(item, ">", lt) + 1;
    }
    return false;
}

}  // namespace

void mask_shared_strings_text(std::string& text, const std::vector<std::uint8_t>& flags, int target_column_count,
                              const MaskSettings& s) {
    const TableTags tags(text);
    ElementAt item;
    std::size_t index = 0;
    // Every item counts, <si/> and <si ...> as well: the cells' indexes count them all.
    for (std::size_t p = 0; next_element(text, tags.si, p, text.size(), item); p = item.end, ++index)
        if (selected(index, flags, target_column_count))
            mask_item(std::span<char>(text).subspan(item.inner_begin, item.inner_end - item.inner_begin), tags, s);
}

std::size_t preview_masked_items(std::string_view text, const std::vector<std::uint8_t>& flags,
                                 int target_column_count, const MaskSettings& s,
                                 const std::function<void(std::string_view)>& changed) {
    return preview_masked_items(text, flags, target_column_count, s,
                                [&changed](std::size_t, std::string_view item) { changed(item); });
}

std::size_t preview_masked_items(std::string_view text, const std::vector<std::uint8_t>& flags,
                                 int target_column_count, const MaskSettings& s,
                                 const std::function<void(std::size_t, std::string_view)>& changed) {
    const TableTags tags(text);
    ElementAt item;
    std::string masked;
    std::size_t index = 0, unmasked = 0;
    for (std::size_t p = 0; next_element(text, tags.si, p, text.size(), item); p = item.end, ++index) {
        if (!selected(index, flags, target_column_count)) continue;
        const std::string_view before = text.substr(item.inner_begin, item.inner_end - item.inner_begin);
        masked.assign(before);
        mask_item(masked, tags, s);
        if (masked != before)
            changed(index, before);
        else if (has_maskable_text(before, s))
            ++unmasked;
    }
    return unmasked;
}

void mask_drawing_text(std::string& text, const MaskSettings& s) {
    std::size_t p = text.find("<a:t");
    while (p != std::string::npos) {
        const std::size_t after = p + 4;
        if (after < text.size() && text[after] == '>') {
            p = mask_element_run(text, after + 1, "</a:t>", false, s, RunEscapes::none);
        } else if (after < text.size() && is_xml_space(text[after])) {
            // <a:t> with attributes holds shape text as well; spaces count as in <a:t>.
            bool preserve = false;
            const std::size_t close = text_start_tag_end(text, after + 1, preserve);
            p = close == std::string_view::npos ? after : mask_element_run(text, close + 1, "</a:t>", false, s, RunEscapes::none);
        } else {
            p = after;  // <a:tab>, <a:tbl>, <a:tc>, ...
        }
        p = text.find("<a:t", p);
    }
}

bool mask_number_text(std::span<char> value, const MaskSettings& s) {
    const char digit = digit_mask(s.mask_number);
    if (!digit) return false;
    const int step = std::max(s.mask_step, 1);
    int turn = 0;
    bool changed = false;
    for (char& c : value) {
        if (c == 'E' || c == 'e') break;  // the exponent tells the size, not the value
        if (c < '0' || c > '9') continue;
        if (++turn < step) continue;
        turn = 0;
        changed = changed || c != digit;
        c = digit;
    }
    return changed;
}

bool mask_formula_literals(std::span<char> formula, const MaskSettings& s) {
    const std::string_view f(formula.data(), formula.size());
    // The length of the quote of `kind` at `i` ('"' or '\''), raw or as an entity; 0 if none.
    const auto quote_at = [f](std::size_t i, char kind) -> std::size_t {
        if (i >= f.size()) return 0;
        if (f[i] == kind) return 1;
        const std::string_view entity = kind == '"' ? "&quot;" : "&apos;";
        return f.substr(i).starts_with(entity) ? entity.size() : 0;
    };
    // The end of the quoted run whose content starts at `i`: its closing quote, or the end.
    const auto closing = [&](std::size_t i, char kind) {
        while (i < f.size()) {
            const std::size_t q = quote_at(i, kind);
            if (!q) {
                ++i;
                continue;
            }
            const std::size_t doubled = quote_at(i + q, kind);
            if (!doubled) return i;
            i += q + doubled;
        }
        return f.size();
    };
    bool changed = false;
    for (std::size_t i = 0; i < f.size();) {
        if (const std::size_t q = quote_at(i, '\'')) {  // a sheet name: not text the cell shows
            const std::size_t end = closing(i + q, '\'');
            i = end + quote_at(end, '\'');
            continue;
        }
        const std::size_t q = quote_at(i, '"');
        if (!q) {
            ++i;
            continue;
        }
        const std::size_t end = closing(i + q, '"');
        const std::span<char> literal = formula.subspan(i + q, end - (i + q));
        const std::string before(literal.begin(), literal.end());
        mask_text_run(literal, true, s);
        changed = changed || !std::equal(literal.begin(), literal.end(), before.begin());
        i = end + quote_at(end, '"');
    }
    return changed;
}

bool mask_iso_date(std::span<char> value) {
    // The runs of digits in order: year, month, day, then hours, minutes, seconds and
    // fractions. A value without a date part starts with its time ("T09:30" or "09:30").
    static constexpr std::string_view DATE_RUNS[] = {"1900", "01", "01"};
    const std::string_view text(value.data(), value.size());
    const bool has_date = text.find('-') != std::string_view::npos &&
                          (text.find('T') == std::string_view::npos || text.find('-') < text.find('T'));
    std::size_t run = has_date ? 0 : std::size(DATE_RUNS);
    bool changed = false;
    for (std::size_t i = 0; i < value.size();) {
        if (value[i] < '0' || value[i] > '9') {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < value.size() && value[end] >= '0' && value[end] <= '9') ++end;
        const std::string_view fixed = run < std::size(DATE_RUNS) ? DATE_RUNS[run] : std::string_view();
        for (std::size_t k = i; k < end; ++k) {
            // A run of another length than the fixed one (a five-digit year) is padded with zeros
            // in front, as such a year reads.
            const std::size_t from_end = end - k;
            const char wanted = from_end <= fixed.size() ? fixed[fixed.size() - from_end] : '0';
            changed = changed || value[k] != wanted;
            value[k] = wanted;
        }
        ++run;
        i = end;
    }
    return changed;
}

}  // namespace hsc
