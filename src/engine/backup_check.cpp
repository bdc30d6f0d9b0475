#include "engine/backup_check.h"

#include <minizip/unzip.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/status.h"
#include "package/mfile.h"
#include "package/package_entries.h"
#include "protect/container.h"

namespace hsc {
namespace {

constexpr int BACKUP_KEY_BITS = 128;
constexpr std::size_t TRAILER_DIGEST_AT = 22;

bool read_entry(unzFile zf, const std::string& name, std::string& data) {
    if (unzLocateFile(zf, name.c_str(), 1) != UNZ_OK || unzOpenCurrentFile(zf) != UNZ_OK) return false;
    data.clear();
    char piece[16384];
    int n;
    while ((n = unzReadCurrentFile(zf, piece, sizeof piece)) > 0) data.append(piece, static_cast<std::size_t>(n));
    return unzCloseCurrentFile(zf) == UNZ_OK && n == 0;
}

// 1 agrees, 0 does not, -1 cannot be checked.
int backup_agrees(const std::string& name, const std::string& container, std::string_view password) {
    if (container.size() < static_cast<std::size_t>(CONTAINER_BLOCK)) return -1;
    MfileRegistry reg;
    Mfile* in = mopen(reg, name, "wb");
    if (!in || !mwrite_all(in, container)) return -1;
    mseek(in, 0, 0);
    Mfile* out = mopen(reg, "plain", "wb");
    if (!out) return -1;
    const CryptStreams streams{0, &reg};
    tiv_crypt_key key;
    if (tiv_crypt_key_init(streams, key, name, password, CIPHER_AES, BACKUP_KEY_BITS) != RC_OK) return -1;
    if (tiv_decrypt_stream(streams, key, CryptStream{in, nullptr}, CryptStream{out, nullptr}) != RC_OK) return -1;
    mseek(out, 0, 0);
    std::uint8_t digest[16];
    if (tiv_stream_digest(streams, CryptStream{out, nullptr}, digest) != RC_OK) return -1;
    const char* recorded = container.data() + container.size() - CONTAINER_BLOCK + TRAILER_DIGEST_AT;
    return std::memcmp(digest, recorded, sizeof digest) == 0 ? 1 : 0;
}

}  // namespace

int verify_backup_password(const std::filesystem::path& input, std::string_view password) {
    std::vector<std::string> names;
    if (list_package_entries(input, names) != RC_OK) return RC_OK;
    const std::vector<std::string> backups = backup_entries(names);
    if (backups.empty()) return RC_OK;
    unzFile zf = unzOpen64(input.c_str());
    if (!zf) return RC_OK;
    int rc = RC_OK;
    for (const auto& name : backups) {
        std::string container;
        if (!read_entry(zf, name, container)) continue;
        if (backup_agrees(name, container, password) == 0) {
            rc = RC_REFUSED;
            break;
        }
    }
    unzClose(zf);
    return rc;
}

}  // namespace hsc
