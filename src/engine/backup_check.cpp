#include "engine/backup_check.h"

#include <string>
#include <vector>

#include "core/status.h"
#include "engine/backups.h"
#include "engine/text_routines.h"
#include "stream/mfile.h"
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

int parts_changed_since_masking(const std::filesystem::path& input, std::vector<std::string>& changed) {
    changed.clear();
    MfileRegistry reg;
    std::vector<std::string> names;
    if (unzip_package(reg, ZIP_MODE_MEMORY, input, {}, ZIP_MAX_ENTRIES, names) != RC_OK) return RC_FAIL;
    // Each backup with the part it restores: the table, and drawing k in the order the
    // restore numbers them.
    std::vector<std::pair<std::string, std::string>> pairs{
        {std::string(BACKUP_SHARED_STRINGS), std::string(SHARED_STRINGS_NAME)}};
    sort_entry_names(names);
    std::size_t k = 0;
    for (const std::string& name : names)
        if (name.starts_with("xl/drawings/drawing")) pairs.emplace_back(drawing_backup_name(++k), name);
    for (const auto& [backup, part] : pairs) {
        if (!stream_exists(reg, backup)) continue;
        std::int64_t plain = 0;
        if (container_source_size(reg, backup, plain) != RC_OK) return RC_FAIL;
        if (!stream_exists(reg, part) || msize(reg, part) != plain) changed.push_back(part);
    }
    return RC_OK;
}

}  // namespace hsc
