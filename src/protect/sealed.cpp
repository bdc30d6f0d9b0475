#include "protect/sealed.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

#include "protect/crypto.h"

namespace hsc {
namespace {

constexpr std::size_t UNIT = 16;

// Key: the password's first 16 bytes, zero-filled when shorter (never repeated).
void seal_key(std::string_view password, aes_context& aes) {
    std::uint8_t key[UNIT] = {};
    std::memcpy(key, password.data(), std::min(password.size(), UNIT));
    aes_set_key(key, UNIT, aes);
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

Status seal_text(std::string_view plain, std::string_view password, std::string& sealed) {
    // A zero byte would end the text when it is unsealed: refuse rather than lose the rest.
    if (plain.find('\0') != std::string_view::npos) return Status::invalid_text;
    static constexpr char DIGITS[] = "0123456789abcdef";
    try {
        aes_context aes;
        seal_key(password, aes);
        std::string out;
        out.reserve((plain.size() + UNIT - 1) / UNIT * 2 * UNIT);
        for (std::size_t p = 0; p < plain.size(); p += UNIT) {
            std::uint8_t unit[UNIT] = {};
            std::memcpy(unit, plain.data() + p, std::min(UNIT, plain.size() - p));
            aes_encrypt_block(unit, unit, aes);
            for (std::uint8_t b : unit) {
                out.push_back(DIGITS[b >> 4]);
                out.push_back(DIGITS[b & 15]);
            }
        }
        sealed = std::move(out);
    } catch (const std::bad_alloc&) {
        return Status::no_memory;
    }
    return Status::ok;
}

Status unseal_text(std::string_view sealed, std::string_view password, std::string& plain) {
    // Digits are read in pairs; a single digit left at the end is read alone.
    for (char c : sealed)
        if (hex_value(c) < 0) return Status::invalid_text;
    try {
        aes_context aes;
        seal_key(password, aes);
        std::string bytes((sealed.size() + 1) / 2, '\0');
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            int value = hex_value(sealed[2 * i]);
            if (2 * i + 1 < sealed.size()) value = value * 16 + hex_value(sealed[2 * i + 1]);
            bytes[i] = static_cast<char>(value);
        }
        std::string out;
        out.reserve(bytes.size());
        for (std::size_t p = 0; p < bytes.size(); p += UNIT) {
            std::uint8_t unit[UNIT] = {};
            std::memcpy(unit, bytes.data() + p, std::min(UNIT, bytes.size() - p));
            aes_decrypt_block(unit, unit, aes);
            // Each unit's text ends at its first zero byte (the fill of the last unit).
            const auto* text = reinterpret_cast<const char*>(unit);
            out.append(text, strnlen(text, UNIT));
        }
        plain = std::move(out);
    } catch (const std::bad_alloc&) {
        return Status::no_memory;
    }
    return Status::ok;
}

}  // namespace hsc
