#include "package/package_entries.h"

#include "core/status.h"
#include "package/zip_package.h"

namespace hsc {

int list_package_entries(const std::filesystem::path& archive, std::vector<std::string>& names) {
    // The one bounded reader, with every check it makes before extracting.
    MfileRegistry reg;
    return list_zip_entries(reg, archive, ZIP_MAX_ENTRIES, names) == RC_OK ? RC_OK : RC_OPEN;
}

bool is_backup_entry(std::string_view name) {
    return name == BACKUP_SHARED_STRINGS || name.starts_with(BACKUP_DRAWING_PREFIX);
}

std::vector<std::string> backup_entries(const std::vector<std::string>& names) {
    std::vector<std::string> found;
    for (const auto& n : names)
        if (is_backup_entry(n)) found.push_back(n);
    return found;
}

}  // namespace hsc
