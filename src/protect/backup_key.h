#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "protect/strong_key.h"

namespace hsc {

// How the backups of one workbook are sealed: as the original format's containers under
// the password's stored (CP932) bytes, or in the strong format under a derived key. Every
// backup is stored and read through one of these, so that every kind of backup follows
// the workbook's format. Move only.
class BackupKey {
public:
    static BackupKey original(std::string password) { return BackupKey(std::move(password)); }
    static BackupKey strong(StrongKey key) { return BackupKey(std::move(key)); }

    // Null for the original format.
    const StrongKey* strong_key() const { return std::get_if<StrongKey>(&key_); }
    // The password of the original format (empty for the strong one).
    std::string_view password() const {
        const std::string* p = std::get_if<std::string>(&key_);
        return p ? std::string_view(*p) : std::string_view();
    }

private:
    explicit BackupKey(std::string password) : key_(std::move(password)) {}
    explicit BackupKey(StrongKey key) : key_(std::move(key)) {}
    std::variant<std::string, StrongKey> key_;
};

}  // namespace hsc
