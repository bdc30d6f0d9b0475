#include "package/package_entries.h"

namespace hsc {
namespace {

// The backups that every reader of the format knows.
bool is_common_backup(std::string_view name) {
    return name == BACKUP_SHARED_STRINGS || name.starts_with(BACKUP_DRAWING_PREFIX);
}

}  // namespace

bool is_backup_entry(std::string_view name) {
    return known_to_original_readers(name) || !worksheet_of_backup(name).empty();
}

std::string worksheet_backup_name(std::string_view worksheet) {
    return std::string(BACKUP_WORKSHEET_PREFIX) + std::string(worksheet.substr(WORKSHEET_FOLDER.size()));
}

std::string worksheet_of_backup(std::string_view name) {
    if (!name.starts_with(BACKUP_WORKSHEET_PREFIX) || name.size() == BACKUP_WORKSHEET_PREFIX.size() ||
        name.find('/', BACKUP_WORKSHEET_PREFIX.size()) != std::string_view::npos)
        return {};
    return std::string(WORKSHEET_FOLDER) + std::string(name.substr(BACKUP_WORKSHEET_PREFIX.size()));
}

bool known_to_original_readers(std::string_view name) {
    return is_common_backup(name) || name == BACKUP_WORKBOOK || name == BACKUP_PACKAGE ||
           !thumbnail_backup_extension(name).empty();
}

std::vector<std::string> backup_entries(const std::vector<std::string>& names) {
    // The backups every reader knows first: messages name the first.
    std::vector<std::string> found;
    for (const auto& n : names)
        if (is_common_backup(n)) found.push_back(n);
    for (const auto& n : names)
        if (is_backup_entry(n) && !is_common_backup(n)) found.push_back(n);
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
