#include "engine/backup_check.h"

#include <map>
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

int verify_backup_password(const std::filesystem::path& input, std::string_view password,
                           std::uint64_t max_memory) {
    // Unpacked with every check and bound of the package reader (the file is untrusted),
    // but only the backups are inflated.
    MfileRegistry reg;
    reg.max_package_bytes = max_memory;
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

int parts_changed_since_masking(const std::filesystem::path& input, std::vector<std::string>& changed,
                                std::uint64_t max_memory) {
    changed.clear();
    MfileRegistry reg;
    reg.max_package_bytes = max_memory;
    // The parts' sizes are in the zip directory; only the backups are inflated, for the
    // plain size their trailers record.
    std::vector<std::string> listed, backups;
    std::vector<std::uint64_t> sizes;
    if (list_zip_entries(reg, input, ZIP_MAX_ENTRIES, listed, {}, &sizes) != RC_OK) return RC_FAIL;
    if (unzip_package(reg, ZIP_MODE_MEMORY, input, {}, ZIP_MAX_ENTRIES, backups, {}, is_backup_entry) != RC_OK)
        return RC_FAIL;
    std::map<std::string, std::uint64_t, std::less<>> size_of;
    std::vector<std::string> names;  // the file entries
    for (std::size_t i = 0; i < listed.size(); ++i) {
        if (listed[i].ends_with('/')) continue;
        size_of.emplace(listed[i], sizes[i]);
        names.push_back(listed[i]);
    }
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
        const auto found = size_of.find(part);
        if (found == size_of.end() || found->second != static_cast<std::uint64_t>(plain)) changed.push_back(part);
    }
    return RC_OK;
}

}  // namespace hsc
