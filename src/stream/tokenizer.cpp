#include "stream/tokenizer.h"

namespace hsc {
namespace {

bool is_space(unsigned char c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }

// Bytes in a multi-byte character that starts with `c`; 1 for a byte of its own.
std::size_t char_width(int charset, unsigned char c) {
    switch (charset) {
        case CHARSET_SJIS:
            return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC) ? 2 : 1;
        case CHARSET_EUC:
            return (c >= 0xA1 && c <= 0xFE) || c == 0x8E ? 2 : 1;
        case CHARSET_UTF8:
            if (c >= 0xC0 && c <= 0xDF) return 2;
            if (c >= 0xE0 && c <= 0xEF) return 3;
            if (c >= 0xF0 && c <= 0xF7) return 4;
            return 1;
        default:
            return 1;
    }
}

// Appends one byte to the token unless that would make it longer than the limit.
bool take(std::string& token, char c) {
    if (token.size() >= TOKEN_MAX) return false;
    token.push_back(c);
    return true;
}

}  // namespace

Status next_token(int charset, std::string_view text, std::size_t& position, std::string& token) {
    // The text ends at its first zero byte.
    if (auto nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);
    token.clear();
    const std::size_t end = text.size();
    auto at = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };

    std::size_t i = position;
    while (i < end) {
        unsigned char c = at(i);
        if (is_space(c)) {
            if (!token.empty()) {
                position = i;
                return Status::ok;
            }
            ++i;
            continue;
        }
        if (c == '=') {
            if (!token.empty()) {
                position = i;
                return Status::ok;
            }
            token.assign(1, '=');
            position = i + 1;
            return Status::ok;
        }
        if (c == '"') {
            if (!token.empty()) {
                position = i;
                return Status::ok;
            }
            token.push_back('"');
            for (std::size_t j = i + 1; j < end; ++j) {
                if (!take(token, text[j])) return token.clear(), Status::size_limit;
                if (at(j) == '"') {
                    position = j + 1;
                    return Status::ok;
                }
            }
            position = end;  // unterminated: the quote and the rest of the text
            return Status::ok;
        }
        if (c == '\'') {
            if (!token.empty()) {
                position = i;
                return Status::ok;
            }
            token.push_back('\'');
            std::size_t j = i + 1;
            while (j < end) {
                if (at(j) == '\'' && at(j - 1) == '\'') {
                    // A doubled quote: it and the byte after it are taken.
                    if (!take(token, text[j])) return token.clear(), Status::size_limit;
                    if (j + 1 < end && !take(token, text[j + 1])) return token.clear(), Status::size_limit;
                    j += 2;
                    continue;
                }
                if (!take(token, text[j])) return token.clear(), Status::size_limit;
                if (at(j) == '\'') {
                    position = j + 1;
                    return Status::ok;
                }
                ++j;
            }
            position = end;
            return Status::ok;
        }
        // A multi-byte character is taken whole, whatever its trailing bytes are.
        std::size_t width = char_width(charset, c);
        for (std::size_t k = 0; k < width && i < end; ++k, ++i)
            if (!take(token, text[i])) return token.clear(), Status::size_limit;
    }
    if (token.empty()) return Status::not_found;
    if (token.back() == ';') token.pop_back();
    position = end;
    return Status::ok;
}

void strip_quotes(std::string& text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        text = text.substr(1, text.size() - 2);
}

}  // namespace hsc
