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
    std::vector<std::string> found;
    for (const auto& n : names)
        if (n == BACKUP_SHARED_STRINGS || std::string_view(n).starts_with(BACKUP_DRAWING_PREFIX)) found.push_back(n);
    return found;
}

}  // namespace hsc
