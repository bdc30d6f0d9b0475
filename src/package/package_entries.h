#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// Looks at the entry names of a workbook package without extracting anything.
namespace hsc {

inline constexpr std::string_view BACKUP_SHARED_STRINGS = "xl/BKsharedStrings.xml";
inline constexpr std::string_view BACKUP_DRAWING_PREFIX = "xl/drawings/BKdrawing";

// The entry names in central-directory order, read by the bounded package reader.
// 0; -101 not a readable zip archive or one the reader refuses.
int list_package_entries(const std::filesystem::path& archive, std::vector<std::string>& names);

// True for the name of a backup entry.
bool is_backup_entry(std::string_view name);

// The backup entries a masked workbook carries: "xl/BKsharedStrings.xml" and
// "xl/drawings/BKdrawing%d.xml".
std::vector<std::string> backup_entries(const std::vector<std::string>& names);

}  // namespace hsc
