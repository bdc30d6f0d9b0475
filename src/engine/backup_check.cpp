#include "engine/backup_check.h"

#include <map>
#include <string>
#include <vector>

#include "engine/backups.h"
#include "engine/merge.h"
#include "engine/text_routines.h"
#include "engine/workbook_scan.h"
#include "package/package_entries.h"

namespace hsc {
namespace {

// A table of the same length can still have been edited: a text replaced by another of
// the same byte length, or items moved. Judged when the restore has read the table.
bool table_unchanged(MfileRegistry& reg, const std::string& plain_name, const MaskedTable* read) {
    const MaskedTable table = read ? MaskedTable{} : read_masked_table(reg);
    const MaskedTable& masked = read ? *read : table;
    if (!masked.present || !stream_exists(reg, plain_name)) return true;
    return table_fits(masked.text, masked.items, stream_bytes(reg, plain_name));
}

}  // namespace

MaskedTable read_masked_table(const MfileRegistry& reg) {
    MaskedTable table;
    if (!stream_exists(reg, SHARED_STRINGS_NAME)) return table;
    table.present = true;
    table.text = stream_bytes(reg, SHARED_STRINGS_NAME);
    table.items = shared_string_items(table.text);
    return table;
}

std::vector<std::string> parts_changed_since_masking(MfileRegistry& reg, const std::vector<std::string>& entries,
                                                     const std::vector<std::uint64_t>& sizes, const MaskedTable* table) {
    std::vector<std::string> changed;
    std::map<std::string, std::uint64_t, std::less<>> size_of;
    std::vector<std::string> names;  // the file entries
    for (std::size_t i = 0; i < entries.size() && i < sizes.size(); ++i) {
        if (entries[i].ends_with('/')) continue;
        size_of.emplace(entries[i], sizes[i]);
        names.push_back(entries[i]);
    }
    // Each backup with the part it restores: the table, and drawing k in the order the
    // restore numbers them.
    std::vector<std::pair<std::string, std::string>> pairs{
        {std::string(BACKUP_SHARED_STRINGS), std::string(SHARED_STRINGS_NAME)}};
    sort_entry_names(names);
    std::size_t k = 0;
    for (const std::string& name : names)
        if (name.starts_with("xl/drawings/drawing")) pairs.emplace_back(drawing_backup_name(++k), name);
    // A worksheet's backup names the worksheet as masking left it.
    for (const std::string& name : entries) {
        const std::string part = worksheet_of_backup(name);
        const std::string plain = deciphered_name(name);
        if (part.empty() || !stream_exists(reg, plain)) continue;
        const auto found = size_of.find(part);
        WorksheetBackup backup;
        if (found == size_of.end() || !read_worksheet_backup(stream_bytes(reg, plain), backup) || found->second != backup.masked_size ||
            stream_crc(reg, part) != backup.masked_crc)
            changed.push_back(part);
    }
    for (const auto& [backup, part] : pairs) {
        const std::string plain = deciphered_name(backup);
        if (!stream_exists(reg, plain)) continue;
        const auto found = size_of.find(part);
        if (found == size_of.end() || found->second != static_cast<std::uint64_t>(msize(reg, plain)))
            changed.push_back(part);
        else if (part == SHARED_STRINGS_NAME && !table_unchanged(reg, plain, table))
            changed.push_back(part);
    }
    return changed;
}

}  // namespace hsc
