#include "package/package_entries.h"

#include <minizip/unzip.h>

#include "core/status.h"

namespace hsc {

int list_package_entries(const std::filesystem::path& archive, std::vector<std::string>& names) {
    names.clear();
    unzFile zf = unzOpen64(archive.c_str());
    if (!zf) return RC_OPEN;
    int rc = unzGoToFirstFile(zf);
    while (rc == UNZ_OK) {
        unz_file_info64 info;
        char name[1024];
        if (unzGetCurrentFileInfo64(zf, &info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK) break;
        names.emplace_back(name);
        rc = unzGoToNextFile(zf);
    }
    unzClose(zf);
    return rc == UNZ_END_OF_LIST_OF_FILE ? RC_OK : RC_OPEN;
}

std::vector<std::string> backup_entries(const std::vector<std::string>& names) {
    // The backups every reader knows first: messages name the first.
    std::vector<std::string> found;
    for (const auto& n : names)
        if (n == BACKUP_SHARED_STRINGS || std::string_view(n).starts_with(BACKUP_DRAWING_PREFIX)) found.push_back(n);
    for (const auto& n : names)
        if (n == BACKUP_WORKBOOK || !thumbnail_backup_extension(n).empty()) found.push_back(n);
    return found;
}

std::string thumbnail_backup_name(std::string_view extension) {
    return std::string(BACKUP_THUMBNAIL_PREFIX) + std::string(extension) + std::string(BACKUP_THUMBNAIL_SUFFIX);
}

std::string_view thumbnail_backup_extension(std::string_view name) {
    if (!name.starts_with(BACKUP_THUMBNAIL_PREFIX) || !name.ends_with(BACKUP_THUMBNAIL_SUFFIX) ||
        name.size() <= BACKUP_THUMBNAIL_PREFIX.size() + BACKUP_THUMBNAIL_SUFFIX.size())
        return {};
    return name.substr(BACKUP_THUMBNAIL_PREFIX.size(),
                       name.size() - BACKUP_THUMBNAIL_PREFIX.size() - BACKUP_THUMBNAIL_SUFFIX.size());
}

}  // namespace hsc
