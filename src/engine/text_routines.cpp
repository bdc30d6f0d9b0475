#include "engine/text_routines.h"

#include <algorithm>

#include "core/status.h"

namespace hsc {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Parts of an entry name for the natural order: stem, number, extension.
struct NameParts {
    std::string_view stem;
    std::string_view extension;
    long number = 0;
};

constexpr std::size_t EXTENSION_MAX = 8;
constexpr std::size_t NUMBER_DIGITS_MAX = 8;

// False when the name has no '.' within its last 9 characters or more than 8 digits
// before it; such names compare in plain byte order.
bool split_name(std::string_view name, NameParts& parts) {
    std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || name.size() - dot - 1 > EXTENSION_MAX) return false;
    std::size_t digits_begin = dot;
    while (digits_begin > 0 && is_digit(name[digits_begin - 1])) {
        if (dot - digits_begin + 1 > NUMBER_DIGITS_MAX) return false;
        --digits_begin;
    }
    parts.stem = name.substr(0, digits_begin);
    parts.extension = name.substr(dot + 1);
    parts.number = 0;
    for (std::size_t i = digits_begin; i < dot; ++i) parts.number = parts.number * 10 + (name[i] - '0');
    return true;
}

int byte_order(std::string_view a, std::string_view b) {
    int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

}  // namespace

int mb_extra_bytes(int mode, unsigned char byte, std::size_t& position) {
    int extra = 0;
    switch (mode) {
    case ENC_SJIS:
        if ((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC)) extra = 1;
        break;
    case ENC_EUC:
        if ((byte >= 0xA1 && byte <= 0xFE) || byte == 0x8E) extra = 1;
        break;
    case ENC_UTF8:
        if (byte >= 0xC0 && byte <= 0xDF)
            extra = 1;
        else if (byte >= 0xE0 && byte <= 0xEF)
            extra = 2;
        else if (byte >= 0xF0 && byte <= 0xF7)
            extra = 3;
        break;
    case ENC_UTF16:
        extra = (byte >= 0xD8 && byte <= 0xDB) ? 3 : 1;
        break;
    default:
        break;
    }
    position += static_cast<std::size_t>(extra);
    return extra;
}

int split_next_item(int mode, std::string_view text, std::size_t& offset, std::string& item) {
    item.clear();
    std::size_t p = std::min(offset, text.size());
    while (p < text.size()) {
        const char c = text[p];
        if (c == ',') {
            if (!item.empty()) {
                offset = p;
                return RC_OK;
            }
            ++p;
            continue;
        }
        std::size_t end = p;
        mb_extra_bytes(mode, static_cast<unsigned char>(c), end);
        end = std::min(end + 1, text.size());  // a character cut off by the end is taken as far as it goes
        if (item.size() + (end - p) > ITEM_MAX) {
            item.clear();
            return RC_SIZE_LIMIT;
        }
        item.append(text.substr(p, end - p));
        p = end;
    }
    offset = text.size();
    if (!item.empty() && item.back() == ';') item.pop_back();
    // An item that was only the closing ';' is no item: empty items never come back.
    return item.empty() ? RC_NOT_FOUND : RC_OK;
}

int is_numeric_text(std::string_view text) {
    bool digit = false;
    bool dot = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (is_digit(c))
            digit = true;
        else if (c == ',')
            continue;
        else if (c == '.' && !dot)
            dot = true;
        else if ((c == '+' || c == '-') && i == 0)
            continue;
        else
            return RC_FAIL;
    }
    return digit ? RC_OK : RC_FAIL;
}

int upper_ascii_unquoted(int mode, std::string& text) {
    char quote = 0;  // the quote of the open section, 0 outside
    for (std::size_t p = 0; p < text.size(); ++p) {
        char& c = text[p];
        if (quote != 0) {
            if (c == quote) {
                if (quote == '\'' && p + 1 < text.size() && text[p + 1] == '\'')
                    ++p;  // a doubled single quote stands for one inside the section
                else
                    quote = 0;
            }
            continue;
        }
        if (c == '\'' || c == '"') {
            quote = c;
            continue;
        }
        std::size_t next = p;
        if (mb_extra_bytes(mode, static_cast<unsigned char>(c), next) > 0) {
            p = std::min(next, text.size() - 1);
            continue;
        }
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return quote == 0 ? RC_OK : RC_FAIL;
}

int parse_cell_ref(std::string_view ref, int& row, int& column) {
    row = 0;
    column = 0;
    std::string_view rest = ref;
    if (!rest.empty() && rest.front() == '$') rest.remove_prefix(1);
    std::size_t split = 0;
    while (split < rest.size() && !is_digit(rest[split]) && rest[split] != '$') ++split;
    if (split == rest.size()) return RC_FAIL;
    std::string letters(rest.substr(0, split));
    std::string_view row_text = rest.substr(rest[split] == '$' ? split + 1 : split);

    // Row: plain decimal digits only; a sign, comma or point never belongs in a reference.
    if (is_numeric_text(row_text) != RC_OK || row_text.size() > 7) return RC_FAIL;
    if (!std::all_of(row_text.begin(), row_text.end(), is_digit)) return RC_FAIL;
    long r = 0;
    for (char c : row_text) r = r * 10 + (c - '0');
    r -= 1;

    if (upper_ascii_unquoted(ENC_SJIS, letters) != RC_OK) return RC_FAIL;
    if (letters.empty() || letters.size() > 3) return RC_FAIL;
    long col = 0;
    for (char c : letters) {
        if (c < 'A' || c > 'Z') return RC_FAIL;
        col = col * 26 + (c - 64);
    }
    col -= 1;

    if (r < 0 || r > 1048575 || col < 0 || col > 16383) return RC_FAIL;
    row = static_cast<int>(r);
    column = static_cast<int>(col);
    return RC_OK;
}

int compare_entry_names(std::string_view a, std::string_view b) {
    NameParts pa, pb;
    if (split_name(a, pa) && split_name(b, pb) && pa.stem == pb.stem && pa.extension == pb.extension &&
        pa.number != pb.number)
        return pa.number < pb.number ? -1 : 1;
    // Equal numbers written differently (drawing1 / drawing01) fall back to byte order,
    // so that distinct names never compare equal.
    return byte_order(a, b);
}

std::string_view root_element_prefix(std::string_view xml) {
    std::size_t p = 0;
    while ((p = xml.find('<', p)) != std::string_view::npos) {
        if (p + 1 < xml.size() && (xml[p + 1] == '?' || xml[p + 1] == '!')) {  // declaration, comment
            ++p;
            continue;
        }
        std::size_t end = p + 1;
        while (end < xml.size() && xml[end] != '>' && xml[end] != '/' && xml[end] != ' ' && xml[end] != '\t' &&
               xml[end] != '\r' && xml[end] != '\n')
            ++end;
        const std::string_view name = xml.substr(p + 1, end - p - 1);
        const std::size_t colon = name.find(':');
        return colon == std::string_view::npos ? std::string_view() : name.substr(0, colon + 1);
    }
    return {};
}

void append_utf8(std::string& out, char32_t c) {
    if (c == 0 || c > 0x10FFFF) return;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string printable(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        const bool c1 = c == 0xC2 && i + 1 < name.size() && static_cast<unsigned char>(name[i + 1]) <= 0x9F &&
                        static_cast<unsigned char>(name[i + 1]) >= 0x80;
        if (c1) ++i;  // both bytes of the one character
        out += c < 0x20 || c == 0x7F || c1 ? '?' : static_cast<char>(c);
    }
    return out;
}

std::size_t start_tag_end(std::string_view text, std::size_t from, bool stop_at_lt) {
    char quote = 0;
    for (std::size_t p = from; p < text.size(); ++p) {
        const char c = text[p];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return p;
        } else if (c == '<' && stop_at_lt) {
            return std::string_view::npos;
        }
    }
    return std::string_view::npos;
}

bool next_element(std::string_view text, std::string_view name, std::size_t from, std::size_t to, ElementAt& at) {
    const std::string_view range = text.substr(0, std::min(to, text.size()));
    for (std::size_t p = range.find('<', from); p != std::string_view::npos; p = range.find('<', p + 1)) {
        const std::size_t after = p + 1 + name.size();
        if (after >= range.size() || range.compare(p + 1, name.size(), name) != 0) continue;
        if (range[after] != '>' && range[after] != '/' && !is_xml_space(range[after])) continue;  // <sid>, <sit>
        const std::size_t q = start_tag_end(range, after);
        if (q == std::string_view::npos) return false;  // a start tag without its end
        at.begin = p;
        at.inner_begin = q + 1;
        at.closed = true;
        if (range[q - 1] == '/') {
            at.inner_end = at.end = q + 1;
            return true;
        }
        std::string close = "</";
        close.append(name).append(">");
        const std::size_t close_at = range.find(close, at.inner_begin);
        at.closed = close_at != std::string_view::npos;
        at.inner_end = at.closed ? close_at : range.size();
        at.end = close_at == std::string_view::npos ? range.size() : close_at + close.size();
        return true;
    }
    return false;
}

void sort_entry_names(std::vector<std::string>& names) {
    // A bottom-up merge sort: compare_entry_names mixes two orders and is not transitive
    // for every set of names (a2.x < a10.x < a1z.x < a2.x), which std::sort does not
    // tolerate. A merge never reads outside its ranges, whatever the comparison says.
    const std::size_t n = names.size();
    std::vector<std::string> buffer(n);
    for (std::size_t width = 1; width < n; width *= 2) {
        for (std::size_t lo = 0; lo < n; lo += 2 * width) {
            const std::size_t mid = std::min(lo + width, n), hi = std::min(lo + 2 * width, n);
            std::size_t i = lo, j = mid, k = lo;
            while (i < mid && j < hi)
                buffer[k++] = std::move(compare_entry_names(names[j], names[i]) < 0 ? names[j++] : names[i++]);
            while (i < mid) buffer[k++] = std::move(names[i++]);
            while (j < hi) buffer[k++] = std::move(names[j++]);
        }
        names.swap(buffer);
    }
}

}  // namespace hsc
