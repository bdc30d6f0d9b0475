#include "engine/backup_check.h"

#include <string>
#include <vector>

#include "core/status.h"
#include "package/mfile.h"
#include "package/package_entries.h"
#include "package/zip_package.h"
#include "protect/container.h"

namespace hsc {

int verify_backup_password(const std::filesystem::path& input, std::string_view password) {
    // Unpacked with every check and bound of the package reader (the file is untrusted),
    // but only the backups are inflated.
    MfileRegistry reg;
    std::vector<std::string> names;
    if (unzip_package(reg, ZIP_MODE_MEMORY, input, {}, ZIP_MAX_ENTRIES, names, {}, is_backup_entry) != RC_OK)
        return RC_OK;
    for (const std::string& name : backup_entries(names)) {
        // The container's trailer and the digest of what it deciphers to.
        const int rc = verify_stream(reg, name, password);
        if (rc == RC_BAD_MAGIC || rc == RC_SHORT_READ || rc == RC_SEEK) return RC_REFUSED;
    }
    return RC_OK;
}

}  // namespace hsc
