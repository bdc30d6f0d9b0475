#include "engine/package_backup.h"

#include <charconv>
#include <cstdio>
#include <vector>

#include "core/status.h"
#include "engine/backups.h"
#include "package/archive_layout.h"
#include "package/package_entries.h"

namespace hsc {
namespace {

constexpr std::string_view PACKAGE_BACKUP_MARK = "HSCPACKAGE1";

// A part name of the content types for an entry name: "/" and the name, with the bytes a
// part name cannot hold as they are percent-encoded (UTF-8 names of worksheets, spaces).
std::string part_name_of(std::string_view entry) {
    static constexpr std::string_view HEX = "0123456789ABCDEF";
    std::string out = "/";
    for (unsigned char c : entry) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                           std::string_view("-._~/!$'()*+,;=:@").find(static_cast<char>(c)) != std::string_view::npos;
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += HEX[c >> 4];
            out += HEX[c & 15];
        }
    }
    return out;
}

std::string override_element(std::string_view entry) {
    return "<Override PartName=\"" + part_name_of(entry) + "\" ContentType=\"" + std::string(BACKUP_CONTENT_TYPE) + "\"/>";
}

// Takes the Overrides masking gave the backups out of the content types.
void cut_backup_overrides(std::string& types, const std::vector<std::string>& backups) {
    for (const std::string& name : backups) {
        const std::string element = override_element(name);
        for (std::size_t at; (at = types.find(element)) != std::string::npos;) types.erase(at, element.size());
    }
}

bool read_number_line(std::string_view& text, std::uint64_t& size, std::uint32_t& crc, std::uint64_t& length) {
    const std::size_t eol = text.find('\n');
    if (eol == std::string_view::npos || eol > 64) return false;
    const std::string line(text.substr(0, eol));
    unsigned long long s = 0, l = 0;
    unsigned c = 0;
    char end = 0;
    if (std::sscanf(line.c_str(), "%llu %8x %llu%c", &s, &c, &l, &end) != 3) return false;
    size = s;
    crc = c;
    length = l;
    text.remove_prefix(eol + 1);
    return true;
}

bool unchanged(const MfileRegistry& reg, std::string_view name, const PackageBackup::Part& part) {
    return stream_exists(reg, name) && static_cast<std::uint64_t>(msize(reg, name)) == part.masked_size &&
           stream_crc(reg, name) == part.masked_crc;
}

}  // namespace

std::string package_backup_text(const PackageBackup& backup) {
    std::string text(PACKAGE_BACKUP_MARK);
    text += '\n';
    char line[96];
    for (const PackageBackup::Part* part : {&backup.content_types, &backup.relationships}) {
        std::snprintf(line, sizeof line, "%llu %08x %llu\n", static_cast<unsigned long long>(part->masked_size),
                      static_cast<unsigned>(part->masked_crc), static_cast<unsigned long long>(part->original.size()));
        text += line;
    }
    text += backup.content_types.original;
    text += backup.relationships.original;
    text += layout_record(backup.layout);
    return text;
}

bool read_package_backup_text(std::string_view plain, PackageBackup& backup) {
    if (!plain.starts_with(PACKAGE_BACKUP_MARK) || plain.substr(PACKAGE_BACKUP_MARK.size(), 1) != "\n") return false;
    plain.remove_prefix(PACKAGE_BACKUP_MARK.size() + 1);
    PackageBackup read;
    std::uint64_t lengths[2] = {};
    if (!read_number_line(plain, read.content_types.masked_size, read.content_types.masked_crc, lengths[0]) ||
        !read_number_line(plain, read.relationships.masked_size, read.relationships.masked_crc, lengths[1]))
        return false;
    if (lengths[0] > plain.size() || lengths[1] > plain.size() - lengths[0]) return false;
    read.content_types.original.assign(plain.substr(0, lengths[0]));
    read.relationships.original.assign(plain.substr(lengths[0], lengths[1]));
    if (!read_layout_record(plain.substr(lengths[0] + lengths[1]), read.layout)) return false;
    backup = std::move(read);
    return true;
}

int take_package_original(MfileRegistry& reg, PackageOriginal& original) {
    if (read_whole_file(reg, 0, CONTENT_TYPES_NAME, original.content_types) != Status::ok ||
        read_whole_file(reg, 0, ROOT_RELATIONSHIPS_NAME, original.relationships) != Status::ok)
        return RC_FAIL;
    original.layout = reg.layout;
    return RC_OK;
}

int back_up_package(MfileRegistry& reg, const PackageOriginal& original, const BackupKey& key) {
    std::vector<std::string> names;
    mlist(reg, names);
    std::string types;
    if (read_whole_file(reg, 0, CONTENT_TYPES_NAME, types) != Status::ok) return RC_FAIL;
    const std::size_t end = types.rfind("</Types>");
    if (end == std::string::npos) return RC_FAIL;
    std::string overrides;
    for (const std::string& name : names)
        if (is_backup_entry(name)) overrides += override_element(name);
    overrides += override_element(BACKUP_PACKAGE);
    types.insert(end, overrides);
    if (Status st = write_whole_file(reg, CONTENT_TYPES_NAME, types); st != Status::ok) return code(st);

    PackageBackup backup;
    backup.content_types = {types.size(), stream_crc(reg, CONTENT_TYPES_NAME), original.content_types};
    backup.relationships = {static_cast<std::uint64_t>(msize(reg, ROOT_RELATIONSHIPS_NAME)),
                            stream_crc(reg, ROOT_RELATIONSHIPS_NAME), original.relationships};
    backup.layout = original.layout;
    return store_backup(reg, PACKAGE_TEMP_NAME, package_backup_text(backup), BACKUP_PACKAGE, key);
}

int read_package_backup(MfileRegistry& reg, const BackupKey& key, std::optional<PackageRestore>& restore) {
    restore.reset();
    if (!stream_exists(reg, BACKUP_PACKAGE)) return RC_OK;
    std::string plain;
    if (int rc = read_backup(reg, BACKUP_PACKAGE, key, plain); rc != RC_OK) return rc;
    PackageRestore read;
    if (!read_package_backup_text(plain, read.backup)) return RC_FAIL;
    read.content_types_unchanged = unchanged(reg, CONTENT_TYPES_NAME, read.backup.content_types);
    read.relationships_unchanged = unchanged(reg, ROOT_RELATIONSHIPS_NAME, read.backup.relationships);
    restore = std::move(read);
    return RC_OK;
}

int restore_package(MfileRegistry& reg, const std::vector<std::string>& entries,
                    const std::optional<PackageRestore>& restore) {
    if (!restore || !restore->content_types_unchanged) {
        std::string types;
        if (read_whole_file(reg, 0, CONTENT_TYPES_NAME, types) != Status::ok) return RC_FAIL;
        cut_backup_overrides(types, backup_entries(entries));
        if (Status st = write_whole_file(reg, CONTENT_TYPES_NAME, types); st != Status::ok) return code(st);
    }
    if (!restore) return RC_OK;
    const PackageBackup& backup = restore->backup;
    if (restore->content_types_unchanged)
        if (Status st = write_whole_file(reg, CONTENT_TYPES_NAME, backup.content_types.original); st != Status::ok)
            return code(st);
    if (restore->relationships_unchanged)
        if (Status st = write_whole_file(reg, ROOT_RELATIONSHIPS_NAME, backup.relationships.original); st != Status::ok)
            return code(st);
    reg.layout = backup.layout;
    reg.archive_comment = backup.layout.comment;
    mremove(reg, BACKUP_PACKAGE);
    return RC_OK;
}

}  // namespace hsc
