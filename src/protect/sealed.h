#pragma once

#include <string>
#include <string_view>

namespace hsc {

// The built-in password that the footer hint and the settings file seal with.
inline constexpr std::string_view SEAL_PASSWORD = "71209486";

// A short text enciphered unit by unit with AES-128 and written as lowercase hex:
// 32 digits per 16 bytes of text. An empty text seals to the empty text.
int seal_text(std::string_view plain, std::string_view password, std::string& sealed);
// 0; the plain text stops at the first zero byte of each deciphered unit.
int unseal_text(std::string_view sealed, std::string_view password, std::string& plain);

}  // namespace hsc
