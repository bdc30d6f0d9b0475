#include "engine/read_excel.h"

#include <algorithm>
#include <new>
#include <string_view>

#include "core/status.h"
#include "engine/backups.h"
#include "engine/text_routines.h"
#include "engine/workbook_part.h"
#include "engine/workbook_scan.h"
#include "package/package_entries.h"
#include "package/zip_package.h"

namespace hsc {
namespace {

constexpr std::string_view WORKBOOK_NAME = "xl/workbook.xml";
constexpr std::string_view WORKSHEET_PREFIX = "xl/worksheets/sheet";
constexpr std::string_view DRAWING_PREFIX = "xl/drawings/drawing";
constexpr std::string_view TABLE_PREFIX = "xl/tables/table";
constexpr std::string_view DRAWING_BACKUP_PREFIX = "xl/drawings/BKdrawing";

// The parts of one package that the rewrite needs, read from the memory streams.
struct PackageParts {
    bool has_workbook = false;
    std::string workbook_text;
    bool has_shared_strings = false;
    std::string shared_strings_text;  // read only when masking
    std::vector<std::uint8_t> shared_string_flags;
    std::vector<std::string> drawing_part_names;
    std::vector<std::string> drawing_texts;  // read only when masking
    std::size_t target_cells = 0;  // shared-string cells of the target columns
};

int read_part(MfileRegistry& reg, std::string_view name, std::string& text) {
    const int rc = read_whole_file(reg, 0, name, text);
    if (rc == RC_OK) return RC_OK;
    return rc == RC_NOMEM ? RC_NOMEM : RC_FAIL;
}

// Classifies the sorted entries, reads the parts that matter and selects the shared
// strings that cells of the target columns refer to.
int read_parts(MfileRegistry& reg, const std::vector<std::string>& entries, const FileContext& ctx,
               PackageParts& parts) {
    const bool masking = ctx.process_direction == DIRECTION_MASK;
    std::vector<std::string_view> worksheets;
    // A table part anywhere stops the processing before anything is read or rewritten.
    for (const std::string& name : entries)
        if (name.starts_with(TABLE_PREFIX)) return RC_UNSUPPORTED_OBJECTS;
    for (const std::string& name : entries) {
        if (name == WORKBOOK_NAME) {
            if (int rc = read_part(reg, name, parts.workbook_text); rc != RC_OK) return rc;
            parts.has_workbook = true;
        } else if (name == SHARED_STRINGS_NAME) {
            parts.has_shared_strings = true;
            // Restoring takes the text from the backup: the masked text is never read.
            if (!masking) continue;
            if (int rc = read_part(reg, name, parts.shared_strings_text); rc != RC_OK) return rc;
            parts.shared_string_flags.assign(count_shared_string_items(parts.shared_strings_text), 0);
        } else if (name.starts_with(WORKSHEET_PREFIX)) {
            worksheets.push_back(name);
        } else if (name.starts_with(DRAWING_PREFIX)) {
            if (parts.drawing_part_names.size() >= DRAWING_PARTS_MAX) return RC_SIZE_LIMIT;
            parts.drawing_part_names.push_back(name);
            if (!masking) continue;
            parts.drawing_texts.emplace_back();
            if (int rc = read_part(reg, name, parts.drawing_texts.back()); rc != RC_OK) return rc;
        }
    }
    // Worksheets are scanned once the table is known, whatever order the names came in.
    if (masking && parts.has_shared_strings && ctx.target_column_count > 0) {
        std::string sheet;
        for (std::string_view name : worksheets) {
            if (int rc = read_part(reg, name, sheet); rc != RC_OK) return rc;
            parts.target_cells += scan_worksheet(sheet, ctx, parts.shared_string_flags);
        }
    }
    return RC_OK;
}

// The bytes of a live stream, without copying; empty when there is none.
std::string_view stream_bytes(const MfileRegistry& reg, std::string_view name) {
    for (const auto& f : reg.slots)
        if (f && f->state != MFILE_REMOVED && !name.empty() && f->name == name) {
            const auto data = mdata(f.get());
            return {reinterpret_cast<const char*>(data.data()), data.size()};
        }
    return {};
}

// With `report`: what the masking changed is compared with the untouched texts, which
// also gives the set of masked texts for the leak scan.
int mask_parts(MfileRegistry& reg, PackageParts& parts, const MaskSettings& s, const FileContext& ctx,
               MaskReport* report, MaskedTexts& masked) {
    const std::string_view password = s.password;
    if (parts.has_shared_strings) {
        std::string original;
        if (report) original = parts.shared_strings_text;
        if (int rc = mask_shared_strings(reg, parts.shared_strings_text, parts.shared_string_flags,
                                         ctx.target_column_count, s, password);
            rc != RC_OK)
            return rc;
        if (report) report->shared_strings = collect_masked_items(original, parts.shared_strings_text, masked);
    }
    if (s.is_autoshape) {
        std::vector<std::string> originals;
        if (report) originals = parts.drawing_texts;
        if (int rc = mask_drawings(reg, parts.drawing_part_names, parts.drawing_texts, s, password); rc != RC_OK)
            return rc;
        if (report)
            for (std::size_t i = 0; i < originals.size() && i < parts.drawing_part_names.size(); ++i)
                report->shapes +=
                    collect_masked_runs(originals[i], stream_bytes(reg, parts.drawing_part_names[i]), masked);
    }
    if (report && ctx.target_column_count > 0) report->cells = parts.target_cells;
    return RC_OK;
}

int restore_parts(MfileRegistry& reg, const PackageParts& parts, const MaskSettings& s) {
    const std::string_view password = s.password;
    if (parts.has_shared_strings)
        if (int rc = restore_shared_strings(reg, password); rc != RC_OK) return rc;
    if (s.is_autoshape) return restore_drawings(reg, parts.drawing_part_names, password);
    // With the option off, drawing backups that the package still holds (masked with the
    // option on) are restored all the same: leaving them would let a later masking
    // overwrite the only copy of the original text with masked text.
    for (std::size_t i = 0; i < parts.drawing_part_names.size(); ++i) {
        const std::string backup = drawing_backup_name(i + 1);
        if (!stream_exists(reg, backup)) continue;
        if (int rc = restore_backup(reg, backup, parts.drawing_part_names[i], password); rc != RC_OK) return rc;
    }
    return RC_OK;
}

// The entries a masked package will hold: the backups masking adds, and the thumbnail
// when the package has none to replace.
std::size_t entries_after_masking(const std::vector<std::string>& entries, const PackageParts& parts,
                                  const MaskSettings& s) {
    std::size_t count = entries.size();
    if (parts.has_shared_strings) ++count;
    if (s.is_autoshape) count += parts.drawing_part_names.size();
    const bool has_thumbnail = std::any_of(entries.begin(), entries.end(), [](const std::string& name) {
        return name.starts_with("docProps/thumbnail.");
    });
    if (!has_thumbnail) ++count;
    return count;
}

std::size_t live_streams(const MfileRegistry& reg) {
    std::vector<std::string> names;
    mlist(reg, names);
    return names.size();
}

bool holds_backups(const std::vector<std::string>& entries) {
    for (const std::string& name : entries)
        if (name == SHARED_STRINGS_BACKUP_NAME || name.starts_with(DRAWING_BACKUP_PREFIX)) return true;
    return false;
}

int transform(MfileRegistry& reg, std::vector<std::string>& entries, const MaskSettings& s, const FileContext& ctx,
              MaskReport* report) {
    const int direction = ctx.process_direction;
    if (direction != DIRECTION_MASK && direction != DIRECTION_UNMASK) return RC_FAIL;
    sort_entry_names(entries);
    PackageParts parts;
    if (int rc = read_parts(reg, entries, ctx, parts); rc != RC_OK) return rc;
    // Every workbook package has a workbook part; without one there is nothing to mark.
    if (!parts.has_workbook) return RC_FAIL;

    // A package that still holds backups was masked before: masking it again would put
    // masked text into the backups, over the only copy of the original.
    if (direction == DIRECTION_MASK && holds_backups(entries)) return RC_FAIL;
    // A masked package must unpack again to be restored: refuse, before anything is
    // masked, one that its backups would push to the entry limit.
    if (direction == DIRECTION_MASK && entries_after_masking(entries, parts, s) >= ENTRY_LIST_CAPACITY)
        return RC_SIZE_LIMIT;

    if (int rc = rewrite_workbook_part(reg, parts.workbook_text, s, direction); rc != RC_OK) return rc;
    MaskReport found;
    MaskedTexts masked;
    const int rc = direction == DIRECTION_MASK ? mask_parts(reg, parts, s, ctx, report ? &found : nullptr, masked)
                                               : restore_parts(reg, parts, s);
    if (rc != RC_OK) return rc;

    const int trc = replace_thumbnail(reg, entries, striped_thumbnail_jpeg(), direction);
    if (trc == RC_SIZE_LIMIT || trc == RC_REFUSED || trc == RC_NOMEM) return trc;
    if (trc != RC_OK) return RC_FAIL;
    if (direction == DIRECTION_MASK && live_streams(reg) >= ENTRY_LIST_CAPACITY) return RC_SIZE_LIMIT;
    if (report && direction == DIRECTION_MASK) {
        found.texts_looked_for = masked.size();
        found.leaks = scan_package_for_leaks(reg, masked);
        found.produced = true;
        *report = std::move(found);
    }
    return RC_OK;
}

}  // namespace

std::vector<LeakFinding> scan_package_for_leaks(const MfileRegistry& reg, const MaskedTexts& texts) {
    std::vector<std::string> names;
    mlist(reg, names);
    sort_entry_names(names);
    std::vector<std::string> skipped = backup_entries(names);
    std::vector<LeakFinding> findings;
    if (texts.empty()) return findings;
    for (const std::string& name : names) {
        if (std::find(skipped.begin(), skipped.end(), name) != skipped.end()) continue;
        scan_part(name, stream_bytes(reg, name), texts, findings);
    }
    return findings;
}

int transform_package(MfileRegistry& reg, std::vector<std::string>& entries, const MaskSettings& s,
                      const FileContext& ctx, MaskReport* report) {
    try {
        return transform(reg, entries, s, ctx, report);
    } catch (const std::bad_alloc&) {
        return RC_NOMEM;
    }
}

int hsc_read_excel(MfileRegistry& reg, const std::filesystem::path& input_path, const MaskSettings& s,
                   const FileContext& ctx, MaskReport* report) {
    try {
        std::vector<std::string> entries;
        const int rc = unzip_package(reg, ZIP_MODE_MEMORY, input_path, {}, ENTRY_LIST_CAPACITY, entries);
        if (rc == RC_SIZE_LIMIT || rc == RC_NOMEM) return rc;
        if (rc != RC_OK) return RC_FAIL;
        return transform(reg, entries, s, ctx, report);
    } catch (const std::bad_alloc&) {
        return RC_NOMEM;
    }
}

}  // namespace hsc
