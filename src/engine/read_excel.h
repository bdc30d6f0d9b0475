#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/mask_report.h"
#include "core/merge_report.h"
#include "core/mask_settings.h"
#include "engine/leak_scan.h"
#include "protect/backup_key.h"
#include "stream/mfile.h"

namespace hsc {

inline constexpr std::size_t DRAWING_PARTS_MAX = 1000;

// Unpacks the workbook at `input_path` into `reg` and rewrites its parts there for
// ctx.process_direction: masks (with backups) or restores the shared strings, the
// drawings when `is_autoshape` is on, the workbook part and the thumbnail. The password
// bytes for the backups and the write reservation are `s.password`, in its stored form.
// Masking keeps the content types, the package's relationships and the archive's
// directory in the package backup, and restoring gives them back (the registry's layout
// and archive comment become the original's).
// 0; -1 unreadable package or part, failed encryption; -2 out of memory; -9 a size
// limit; -101 a stream cannot be opened (a backup missing);
// -103 short stream write; -9999 the package holds table parts. Masking refuses (-1) a
// package that already holds backups, before anything is rewritten.
// With `report`, a masking fills it: what was masked, and the leak scan of the masked
// package (the original texts of the masked strings looked for in every other part).
int hsc_read_excel(MfileRegistry& reg, const std::filesystem::path& input_path, const StoredSettings& s,
                   const FileContext& ctx, MaskReport* report = nullptr);

// The rewrite of a package already unpacked into `reg`, whose entry names are `entries`
// (sorted here). Results as hsc_read_excel. With `merge`, a restore whose shared-string
// table no longer fits its backup (edited since masking) fills it: that table is given
// back item by item, and reading it needs the worksheets and the workbook's
// relationships unpacked. The backups are sealed (or read) with `key`; without one, in
// the original format under `s.password`. In the strong format the write reservation
// takes the built-in password, since its short hash would tell password guesses apart
// cheaply.
int transform_package(MfileRegistry& reg, std::vector<std::string>& entries, const StoredSettings& s,
                      const FileContext& ctx, MaskReport* report = nullptr, MergeReport* merge = nullptr,
                      const BackupKey* key = nullptr);

// Whether masking takes the numbers and dates of the chosen cells as well as their plain
// text: with a column list unless the user keeps them, without one only when asked.
bool masks_numbers(const FileContext& ctx, const MaskSettings& s);

// The parts a restore reads: the workbook part, the content types, the package's
// relationships, the shared-string table and the backups. Every other entry is copied into the output unread.
bool read_when_restoring(std::string_view name);

// The leak scan over the parts of a package held in `reg`, backups left out, and with
// `wanted` only the parts it accepts. Findings in the order of the entry names.
std::vector<LeakFinding> scan_package_for_leaks(const MfileRegistry& reg, const MaskedTexts& texts,
                                               const std::function<bool(std::string_view)>& wanted = {});

}  // namespace hsc
