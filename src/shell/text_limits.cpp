#include "shell/text_limits.h"

#include <algorithm>

#include "core/cp932.h"

namespace hsc {
namespace {

// Bytes of the UTF-8 character that starts with lead (1 for a stray byte).
std::size_t utf8_char_size(unsigned char lead) {
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) return 2;
    if ((lead & 0xF0) == 0xE0) return 3;
    if ((lead & 0xF8) == 0xF0) return 4;
    return 1;
}

// CP932 bytes of one character; its UTF-8 size when it has no CP932 form.
std::size_t char_length(std::string_view ch) {
    if (ch.size() == 1) return 1;
    std::string cp932;
    return utf8_to_cp932(ch, cp932) ? cp932.size() : ch.size();
}

}  // namespace

std::string utf8_prefix(std::string_view text, std::size_t max_bytes) {
    std::size_t end = 0;
    while (end < text.size()) {
        std::size_t n = utf8_char_size(static_cast<unsigned char>(text[end]));
        if (end + n > text.size() || end + n > max_bytes) break;
        end += n;
    }
    return std::string(text.substr(0, end));
}

std::size_t cp932_length(std::string_view text) {
    std::size_t total = 0;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t n = std::min(utf8_char_size(static_cast<unsigned char>(text[i])), text.size() - i);
        total += char_length(text.substr(i, n));
        i += n;
    }
    return total;
}

std::string cp932_prefix(std::string_view text, std::size_t max_bytes) {
    std::size_t total = 0, end = 0;
    while (end < text.size()) {
        std::size_t n = std::min(utf8_char_size(static_cast<unsigned char>(text[end])), text.size() - end);
        std::size_t len = char_length(text.substr(end, n));
        if (total + len > max_bytes) break;
        total += len;
        end += n;
    }
    return std::string(text.substr(0, end));
}

}  // namespace hsc
