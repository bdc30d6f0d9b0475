#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "core/status.h"

// Cuts key=value texts (the footer record, the lines of the settings file) into tokens.
namespace hsc {

// Character sets: they decide which bytes begin a multi-byte character. Any other value
// treats every byte as a character of its own.
inline constexpr int CHARSET_SJIS = 1;  // lead bytes 0x81-0x9F, 0xE0-0xFC; 2 bytes
inline constexpr int CHARSET_EUC = 2;   // lead bytes 0xA1-0xFE, 0x8E; 2 bytes
inline constexpr int CHARSET_UTF8 = 3;  // lead bytes 0xC0-0xDF / 0xE0-0xEF / 0xF0-0xF7; 2 / 3 / 4

inline constexpr std::size_t TOKEN_MAX = 4000;  // bytes of one token

// The next token of `text` from `position`. The text ends at its first zero byte or at
// the end of the view. Tokens are separated by TAB, LF, CR and space; "=" is a token of
// its own; a token that begins with a double or a single quote runs to the closing quote
// and keeps both quotes. A last token of the text loses one trailing ";".
// ok: `token` holds the token and `position` is moved past it.
// not_found: no token is left; `token` is empty and `position` unchanged.
// size_limit: the token would exceed TOKEN_MAX bytes; `position` unchanged, `token` is
//     to be ignored.
Status next_token(int charset, std::string_view text, std::size_t& position, std::string& token);

// Removes one enclosing pair of double quotes: "\"x\"" becomes "x", "\"\"" the empty
// text; a lone double quote or any other text stays as it is.
void strip_quotes(std::string& text);

}  // namespace hsc
