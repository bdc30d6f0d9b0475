#pragma once

#include <string>
#include <string_view>

#include "core/status.h"

namespace hsc {

// The built-in password that the footer hint and the settings file seal with.
inline constexpr std::string_view SEAL_PASSWORD = "71209486";

// A short text enciphered unit by unit with AES-128 and written as lowercase hex:
// 32 digits per 16 bytes of text. An empty text seals to the empty text.
// ok; invalid_text when the text holds a zero byte (it could not come back whole);
// no_memory.
Status seal_text(std::string_view plain, std::string_view password, std::string& sealed);
// ok; the plain text stops at the first zero byte of each deciphered unit. invalid_text
// when the sealed text holds anything but hex digits (either case); no_memory. A wrong
// password is not detected. On failure the output is untouched.
Status unseal_text(std::string_view sealed, std::string_view password, std::string& plain);

}  // namespace hsc
