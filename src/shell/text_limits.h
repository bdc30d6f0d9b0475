#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace hsc {

// The longest prefix of a UTF-8 text that fits in max_bytes without splitting a
// character.
std::string utf8_prefix(std::string_view text, std::size_t max_bytes);

// Byte length of a UTF-8 text in its CP932 form, the form in which passwords and hints
// are stored. A character CP932 cannot represent counts with its UTF-8 bytes: such a
// text is refused later, when it is used, with a message of its own.
std::size_t cp932_length(std::string_view text);

// The longest prefix of whole characters whose CP932 form fits in max_bytes.
std::string cp932_prefix(std::string_view text, std::size_t max_bytes);

}  // namespace hsc
