#include "core/visible_text.h"

#include <cstdio>

namespace hsc {
namespace {

// The length of the UTF-8 sequence at `i` and its code point; 0 when it is not one.
std::size_t utf8_at(std::string_view s, std::size_t i, char32_t& c) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = b(i);
    std::size_t n = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                                  : lead >= 0xF0 && lead <= 0xF4   ? 4
                                                                   : 0;
    if (n == 0 || i + n > s.size()) return 0;
    c = n == 1 ? lead : lead & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) {
        if ((b(i + k) & 0xC0) != 0x80) return 0;
        c = (c << 6) | (b(i + k) & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    static constexpr char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < least[n] || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) return 0;
    return n;
}

bool reorders(char32_t c) { return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069); }

}  // namespace

std::string visible_controls(std::string_view text, bool keep_line_breaks) {
    std::string out;
    out.reserve(text.size());
    char escape[8];
    for (std::size_t i = 0; i < text.size();) {
        char32_t c = 0;
        const std::size_t n = utf8_at(text, i, c);
        if (n == 0 || (c < 0x20 && !(c == '\n' && keep_line_breaks)) || c == 0x7F) {
            std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned char>(text[i]));
            out += escape;
            ++i;
            continue;
        }
        if ((c >= 0x80 && c <= 0x9F) || reorders(c)) {
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            out += escape;
        } else {
            out.append(text.substr(i, n));
        }
        i += n;
    }
    return out;
}

}  // namespace hsc
