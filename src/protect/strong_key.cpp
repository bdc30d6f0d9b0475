#include "protect/strong_key.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

#include <sodium.h>
#include <utf8proc.h>

#include "os/file.h"

namespace hsc {
namespace {

// libsodium picks its fastest code once; later calls only return.
bool sodium_ready() { return sodium_init() >= 0; }

std::span<const std::uint8_t> bytes_of(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// The texts that set the two keys apart from the one Argon2id output.
constexpr std::string_view BACKUP_KEY_LABEL = "Hushcel backup key 1";
constexpr std::string_view CHECK_LABEL = "Hushcel footer check 1";

// The Argon2id input: a mode byte, then the password, then (file mode) the key file's
// secret of fixed length at the end, so no two pairs of secrets give the same input.
std::string kdf_input(std::string_view password, const std::array<std::uint8_t, KEY_FILE_SECRET_SIZE>* key_file) {
    std::string input;
    input.reserve(1 + password.size() + KEY_FILE_SECRET_SIZE);
    input += key_file ? 'F' : 'P';
    input += password;
    if (key_file) input.append(reinterpret_cast<const char*>(key_file->data()), key_file->size());
    return input;
}

bool cost_accepted(KdfCost cost) {
    return cost.ops >= crypto_pwhash_argon2id_OPSLIMIT_MIN && cost.mem_bytes >= crypto_pwhash_argon2id_MEMLIMIT_MIN &&
           cost.mem_bytes <= SIZE_MAX;
}

}  // namespace

std::string to_hex(std::span<const std::uint8_t> bytes) {
    std::string hex(bytes.size() * 2 + 1, '\0');
    sodium_bin2hex(hex.data(), hex.size(), bytes.data(), bytes.size());
    hex.pop_back();
    return hex;
}

std::optional<std::string> from_hex(std::string_view hex) {
    if (hex.size() % 2 != 0) return std::nullopt;
    for (char c : hex)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
    std::string bytes(hex.size() / 2, '\0');
    std::size_t n = 0;
    if (sodium_hex2bin(reinterpret_cast<unsigned char*>(bytes.data()), bytes.size(), hex.data(), hex.size(), nullptr,
                       &n, nullptr) != 0 ||
        n != bytes.size())
        return std::nullopt;
    return bytes;
}

std::optional<std::string> normalized_password(std::string_view utf8) {
    if (utf8.empty()) return std::string();
    utf8proc_uint8_t* out = nullptr;
    const utf8proc_ssize_t n =
        utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(utf8.data()), static_cast<utf8proc_ssize_t>(utf8.size()),
                     &out, static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_COMPOSE));
    if (n < 0) return std::nullopt;  // not valid UTF-8
    std::unique_ptr<utf8proc_uint8_t, decltype(&std::free)> owned(out, &std::free);
    return std::string(reinterpret_cast<const char*>(out), static_cast<std::size_t>(n));
}

std::optional<std::array<std::uint8_t, KEY_FILE_SECRET_SIZE>> key_file_secret(const std::string& path) {
    if (!sodium_ready() || path.empty()) return std::nullopt;
    std::unique_ptr<std::FILE, decltype(&std::fclose)> f(os::open_stream(path, "rb"), &std::fclose);
    if (!f) return std::nullopt;
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, KEY_FILE_SECRET_SIZE);
    unsigned char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f.get())) > 0) crypto_generichash_update(&state, buffer, n);
    if (std::ferror(f.get())) return std::nullopt;
    std::array<std::uint8_t, KEY_FILE_SECRET_SIZE> digest;
    crypto_generichash_final(&state, digest.data(), digest.size());
    return digest;
}

std::optional<std::string> argon2id_raw(std::string_view password, std::span<const std::uint8_t> salt, KdfCost cost,
                                        std::size_t length) {
    if (!sodium_ready() || salt.size() != crypto_pwhash_SALTBYTES || !cost_accepted(cost)) return std::nullopt;
    std::string out(length, '\0');
    if (crypto_pwhash(reinterpret_cast<unsigned char*>(out.data()), out.size(), password.data(), password.size(),
                      salt.data(), cost.ops, static_cast<std::size_t>(cost.mem_bytes),
                      crypto_pwhash_ALG_ARGON2ID13) != 0)
        return std::nullopt;
    return out;
}

std::optional<StrongKey> StrongKey::derive(std::string_view password_nfc,
                                           const std::array<std::uint8_t, KEY_FILE_SECRET_SIZE>* key_file,
                                           std::span<const std::uint8_t, STRONG_SALT_SIZE> salt, KdfCost cost) {
    static_assert(STRONG_SALT_SIZE == crypto_pwhash_SALTBYTES);
    if (!sodium_ready() || !cost_accepted(cost)) return std::nullopt;
    std::string input = kdf_input(password_nfc, key_file);
    std::array<std::uint8_t, 32> master;
    const int rc = crypto_pwhash(master.data(), master.size(), input.data(), input.size(), salt.data(), cost.ops,
                                 static_cast<std::size_t>(cost.mem_bytes), crypto_pwhash_ALG_ARGON2ID13);
    sodium_memzero(input.data(), input.size());
    if (rc != 0) return std::nullopt;
    StrongKey key;
    crypto_generichash(key.backup_key_.data(), key.backup_key_.size(), bytes_of(BACKUP_KEY_LABEL).data(),
                       BACKUP_KEY_LABEL.size(), master.data(), master.size());
    crypto_generichash(key.check_.data(), key.check_.size(), bytes_of(CHECK_LABEL).data(), CHECK_LABEL.size(),
                       master.data(), master.size());
    sodium_memzero(master.data(), master.size());
    std::copy(salt.begin(), salt.end(), key.salt_.begin());
    key.cost_ = cost;
    return key;
}

std::array<std::uint8_t, STRONG_SALT_SIZE> StrongKey::random_salt() {
    std::array<std::uint8_t, STRONG_SALT_SIZE> salt{};
    if (sodium_ready()) randombytes_buf(salt.data(), salt.size());
    return salt;
}

StrongKey::StrongKey(StrongKey&& other) noexcept
    : backup_key_(other.backup_key_), check_(other.check_), salt_(other.salt_), cost_(other.cost_) {
    other.wipe();
}

StrongKey& StrongKey::operator=(StrongKey&& other) noexcept {
    if (this != &other) {
        backup_key_ = other.backup_key_;
        check_ = other.check_;
        salt_ = other.salt_;
        cost_ = other.cost_;
        other.wipe();
    }
    return *this;
}

StrongKey::~StrongKey() { wipe(); }

void StrongKey::wipe() {
    sodium_memzero(backup_key_.data(), backup_key_.size());
    sodium_memzero(check_.data(), check_.size());
}

std::string StrongKey::check_hex() const { return to_hex(check_); }

std::string xchacha_seal(std::span<const std::uint8_t, STRONG_KEY_SIZE> key,
                         std::span<const std::uint8_t, STRONG_NONCE_SIZE> nonce, std::span<const std::uint8_t> ad,
                         std::span<const std::uint8_t> plain) {
    if (!sodium_ready()) return {};
    std::string out(plain.size() + crypto_aead_xchacha20poly1305_ietf_ABYTES, '\0');
    unsigned long long n = 0;
    crypto_aead_xchacha20poly1305_ietf_encrypt(reinterpret_cast<unsigned char*>(out.data()), &n, plain.data(),
                                               plain.size(), ad.data(), ad.size(), nullptr, nonce.data(), key.data());
    out.resize(static_cast<std::size_t>(n));
    return out;
}

std::string StrongKey::seal(std::string_view name, std::span<const std::uint8_t> plain) const {
    std::string sealed(sealed_size(plain.size()), '\0');
    seal_into(name, {reinterpret_cast<std::uint8_t*>(sealed.data()), sealed.size()},
              [&](std::span<std::uint8_t> room) { std::copy(plain.begin(), plain.end(), room.begin()); });
    return sealed;
}

void StrongKey::seal_into(std::string_view name, std::span<std::uint8_t> out,
                          const std::function<void(std::span<std::uint8_t>)>& fill) const {
    static_assert(STRONG_NONCE_SIZE == crypto_aead_xchacha20poly1305_ietf_NPUBBYTES);
    static_assert(STRONG_TAG_SIZE == crypto_aead_xchacha20poly1305_ietf_ABYTES);
    const std::size_t plain_size = out.size() - STRONG_HEADER_SIZE - STRONG_TAG_SIZE;
    std::uint8_t* header = out.data();
    std::copy(STRONG_BACKUP_MAGIC.begin(), STRONG_BACKUP_MAGIC.end(), header);
    header[4] = STRONG_BACKUP_VERSION;
    sodium_ready();
    randombytes_buf(header + 5, STRONG_NONCE_SIZE);
    fill(out.subspan(STRONG_HEADER_SIZE, plain_size));
    // The header is bound to the ciphertext too: the associated data is the header, then
    // the entry name, so an entry moved to another name no longer opens. The cipher
    // works in place: the plain bytes become the ciphertext, the tag follows them.
    std::string ad(reinterpret_cast<const char*>(header), STRONG_HEADER_SIZE);
    ad += name;
    unsigned long long n = 0;
    std::uint8_t* text = header + STRONG_HEADER_SIZE;
    crypto_aead_xchacha20poly1305_ietf_encrypt(text, &n, text, plain_size, bytes_of(ad).data(), ad.size(), nullptr,
                                               header + 5, backup_key_.data());
}

OpenFailure StrongKey::open(std::string_view name, std::span<const std::uint8_t> sealed, std::string& plain) const {
    if (sealed.size() < STRONG_HEADER_SIZE + STRONG_TAG_SIZE ||
        std::string_view(reinterpret_cast<const char*>(sealed.data()), 4) != STRONG_BACKUP_MAGIC ||
        sealed[4] != STRONG_BACKUP_VERSION)
        return OpenFailure::not_strong;
    if (!sodium_ready()) return OpenFailure::rejected;
    const std::string ad = std::string(reinterpret_cast<const char*>(sealed.data()), STRONG_HEADER_SIZE) + std::string(name);
    std::string out(sealed.size() - STRONG_HEADER_SIZE - STRONG_TAG_SIZE, '\0');
    unsigned long long n = 0;
    if (crypto_aead_xchacha20poly1305_ietf_decrypt(reinterpret_cast<unsigned char*>(out.data()), &n, nullptr,
                                                   sealed.data() + STRONG_HEADER_SIZE, sealed.size() - STRONG_HEADER_SIZE,
                                                   bytes_of(ad).data(), ad.size(), sealed.data() + 5,
                                                   backup_key_.data()) != 0)
        return OpenFailure::rejected;
    out.resize(static_cast<std::size_t>(n));
    plain = std::move(out);
    return OpenFailure::none;
}

}  // namespace hsc
