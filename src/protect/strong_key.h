#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// The strong protection format: a key derived from the password (and the authentication
// file, in that mode) by Argon2id with a random salt per workbook, and backups sealed with
// XChaCha20-Poly1305 under it. All primitives are libsodium's; nothing here is written by
// hand but the layout.
namespace hsc {

// The cost of one key derivation; recorded in the footer, so a reader derives alike.
struct KdfCost {
    std::uint32_t ops = 0;        // Argon2 passes over the memory
    std::uint64_t mem_bytes = 0;  // memory one derivation fills
    bool operator==(const KdfCost&) const = default;
};
// Measured on the development machine (one core, Argon2id of libsodium 1.0.18): 128 MiB
// and 12 passes take 0.68 s, so one guess of someone trying passwords costs that much
// time and that much memory: as much time as some 14 million guesses against the original
// format with the processor's AES instructions. bench/strong_format_run.cpp prints both.
// The derivation runs beside the unpacking, so a run pays little of it.
inline constexpr KdfCost KDF_DEFAULT{12, std::uint64_t{128} << 20};
// What a reader accepts from a footer: a damaged or hostile footer must not ask for
// unbounded memory or time.
inline constexpr KdfCost KDF_READ_MIN{1, std::uint64_t{8} << 10};
inline constexpr KdfCost KDF_READ_MAX{32, std::uint64_t{1} << 30};
// And passes times memory at most 8 times the default's (about 5.5 s here).
inline constexpr std::uint64_t KDF_READ_MAX_WORK = 8 * KDF_DEFAULT.ops * KDF_DEFAULT.mem_bytes;

inline constexpr std::size_t STRONG_SALT_SIZE = 16;
inline constexpr std::size_t STRONG_KEY_SIZE = 32;
inline constexpr std::size_t STRONG_CHECK_SIZE = 64;
inline constexpr std::size_t KEY_FILE_SECRET_SIZE = 64;

// A sealed backup: magic, layout version, nonce, then the ciphertext with its 16-byte tag.
// The magic differs from the original container's "TIVA" trailer, and the layout has no
// trailer, so a reader of the original format refuses it.
inline constexpr std::string_view STRONG_BACKUP_MAGIC = "HSBK";
inline constexpr std::uint8_t STRONG_BACKUP_VERSION = 1;
inline constexpr std::size_t STRONG_NONCE_SIZE = 24;
inline constexpr std::size_t STRONG_TAG_SIZE = 16;
inline constexpr std::size_t STRONG_HEADER_SIZE = 4 + 1 + STRONG_NONCE_SIZE;

// The password as the strong format takes it: its UTF-8 text in Unicode normalisation form
// C, so that the same text typed where the system composes characters differently gives
// the same key. Nothing when the text is not valid UTF-8.
std::optional<std::string> normalized_password(std::string_view utf8);

// The authentication file as a second secret: the BLAKE2b-512 digest of its content.
// Nothing when it cannot be read.
std::optional<std::array<std::uint8_t, KEY_FILE_SECRET_SIZE>> key_file_secret(const std::string& path);

// Why a sealed backup does not open.
enum class OpenFailure {
    none,
    not_strong,  // no strong layout: another format, or cut before its header ends
    rejected,    // the tag does not verify: another key, or changed, cut, or moved
};

// The key of one workbook. Holds the backup key and the footer's check value, derived once
// per file; the memory is wiped when the key goes. Move only.
class StrongKey {
public:
    // Derives from the normalised password and, in file-authentication mode, the key
    // file's secret. Nothing when the cost is outside what libsodium takes or memory is short.
    static std::optional<StrongKey> derive(std::string_view password_nfc,
                                           const std::array<std::uint8_t, KEY_FILE_SECRET_SIZE>* key_file,
                                           std::span<const std::uint8_t, STRONG_SALT_SIZE> salt, KdfCost cost);
    // A fresh random salt for a new masking.
    static std::array<std::uint8_t, STRONG_SALT_SIZE> random_salt();

    StrongKey(StrongKey&& other) noexcept;
    StrongKey& operator=(StrongKey&& other) noexcept;
    StrongKey(const StrongKey&) = delete;
    StrongKey& operator=(const StrongKey&) = delete;
    ~StrongKey();

    const std::array<std::uint8_t, STRONG_SALT_SIZE>& salt() const { return salt_; }
    KdfCost cost() const { return cost_; }
    // 128 lowercase hex digits that only this key gives; it tells a wrong password from a
    // damaged backup without deciphering anything. Not the SHA-512 of any text.
    std::string check_hex() const;

    // `plain` sealed under a fresh random nonce, with `name` (the entry name) bound to it.
    std::string seal(std::string_view name, std::span<const std::uint8_t> plain) const;
    // The bytes `plain_size` bytes take sealed.
    static constexpr std::size_t sealed_size(std::size_t plain_size) {
        return STRONG_HEADER_SIZE + plain_size + STRONG_TAG_SIZE;
    }
    // The same sealing into `out` (sealed_size bytes): `fill` writes the plain bytes into
    // the room it is given inside `out`, and they are enciphered where they stand, so a
    // large backup needs no plain copy beside its sealed one.
    void seal_into(std::string_view name, std::span<std::uint8_t> out,
                   const std::function<void(std::span<std::uint8_t>)>& fill) const;
    // The plain bytes, or a failure; `plain` is untouched on failure.
    OpenFailure open(std::string_view name, std::span<const std::uint8_t> sealed, std::string& plain) const;

private:
    StrongKey() = default;
    void wipe();
    std::array<std::uint8_t, STRONG_KEY_SIZE> backup_key_{};
    std::array<std::uint8_t, STRONG_CHECK_SIZE> check_{};
    std::array<std::uint8_t, STRONG_SALT_SIZE> salt_{};
    KdfCost cost_{};
};

// The sealing with the nonce given, for known-answer tests of the construction: the
// XChaCha20-Poly1305 ciphertext and tag of `plain` under `key` and `nonce` with `ad` as
// associated data.
std::string xchacha_seal(std::span<const std::uint8_t, STRONG_KEY_SIZE> key,
                         std::span<const std::uint8_t, STRONG_NONCE_SIZE> nonce, std::span<const std::uint8_t> ad,
                         std::span<const std::uint8_t> plain);
// The raw Argon2id output of libsodium's crypto_pwhash for known-answer tests.
std::optional<std::string> argon2id_raw(std::string_view password, std::span<const std::uint8_t> salt,
                                        KdfCost cost, std::size_t length);

// Lowercase hex of bytes, and back (nothing for odd length or a non-hex digit).
std::string to_hex(std::span<const std::uint8_t> bytes);
std::optional<std::string> from_hex(std::string_view hex);

}  // namespace hsc
