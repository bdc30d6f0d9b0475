#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/catalog.h"
#include "core/mask_settings.h"
#include "core/merge_report.h"
#include "core/reporter.h"
#include "protect/backup_key.h"
#include "stream/mfile.h"

// Restoring into a workbook that was edited elsewhere: the masked copy went out, came
// back changed (rows sorted, inserted, deleted, columns and sheets added, the string
// table rebuilt), and its backups are gone. Each cell that still shows a masked text is
// matched to a cell of the masked copy that was kept, by its sheet and by its row (the
// other cells of the row, masked or not), never by its place alone, and gets its
// original back only when exactly one original fits.
namespace hsc {

// One cell of the kept copy: what the copy shows and, for a masked cell, what it held
// before masking: a string item, or a value of the worksheet itself (a number, a date,
// a text cell).
struct SourceCell {
    int column = 0;
    std::string shown;      // a typed text: see the cell texts in merge.cpp
    bool masked = false;    // the copy shows something else than the original
    std::size_t item = 0;   // with `masked`: its index in MergeSource::original_items, or
                            // with `in_sheet` in MergeSource::original_values
    bool in_sheet = false;  // masked in the worksheet, not in the shared-string table
};
// A value as the original worksheet held it: the cell's t attribute (empty for a
// number) and the content of its <v>, or for an inline string the text it shows.
struct CellOriginal {
    std::string type;
    std::string value;
    std::string shown;  // the typed text it shows (see the cell texts in merge.cpp)
    bool operator==(const CellOriginal&) const = default;
};
struct SourceRow {
    int row = 0;  // zero-based
    std::vector<SourceCell> cells;
};
struct SourceSheet {
    std::string name;
    std::vector<SourceRow> rows;
};
// The kept copy as the merge reads it.
struct MergeSource {
    std::vector<SourceSheet> sheets;
    std::vector<std::string> original_items;  // the content of each <si> before masking
    std::vector<CellOriginal> original_values;  // from the worksheets' backups
    std::string table_prefix;                 // the element prefix of that table
};

// The kept copy from a masked package unpacked into `reg`, whose backups decipher with
// `key` (deciphered already or not): masked strings from the shared-string table's
// backup, masked numbers, dates and text cells from each worksheet's backup. Parts `reg`
// holds only in their stored form are read from `unread` when given. 0; -1 a part cannot be read; -2; or the backup's status.
int read_merge_source(MfileRegistry& reg, const BackupKey& key, MergeSource& source,
                      MfileRegistry* unread = nullptr);

// The source of `restore --from`: the file at `path` is the masked copy that was kept
// (its footer is checked and its backups deciphered with the settings' password) or
// the original before masking (masked here with the settings, as the copy was). Every
// failure is reported through `reporter`, with the reason in `why`. 0; -1; -3 refused
// (a wrong password, reported by the footer check).
int load_merge_source(const std::filesystem::path& path, const StoredSettings& s, const std::string* key_check,
                      const FileContext& ctx, std::uint64_t memory_budget, MergeSource& source, Reporter& reporter,
                      Lang lang, FailReason& why);

// Gives the originals back into the edited workbook unpacked into `reg`: rewrites only
// the cells given back (each becomes a shared-string cell of a new item that holds its
// original) and the shared-string table. 0; -1; -2; -101; -103.
int merge_into_package(MfileRegistry& reg, const MergeSource& source, MergeReport& report);

// A worksheet changed since masking (restored with --force): each cell that still holds
// what masking made of the value at its place in `original` (the worksheet before
// masking) gets that value back, when its row is still the row it was; every other cell
// stays as the other side left it. `table` is the shared-string table as restored.
// `out` is the worksheet so given back; the places of masked values left as they are
// go to `left`. Returns how many cells were given back.
std::size_t give_back_sheet_values(std::string_view now, std::string_view original, std::string_view table,
                                   std::string& out, std::vector<std::string>* left = nullptr);
// The same for the part `part` of `reg`, written back; counted in `report` (the cells
// left masked as unmatched, named by their sheet). 0; -1; -2; -101; -103.
int give_back_worksheet(MfileRegistry& reg, const std::string& part, std::string_view original, MergeReport& report);

// Restoring a masked package whose shared-string table changed since masking (strings
// added or removed elsewhere, the backups kept): the table is given back item by item.
// An item that is still what masking made of the backup's item at the same place gets
// the original; every other item stays as it is, so each cell keeps pointing at an item
// that exists. `original_table` is the backup's plain text. 0; -1; -2; -101; -103.
int restore_table_items(MfileRegistry& reg, std::string_view original_table, MergeReport& report);

// True when the shared-string table `current` is still what masking made of `original`
// (the backup's text): the same items in the same order, each the same or masked.
bool table_fits(std::string_view current, std::string_view original);
// The same with the items of `current` already read (shared_string_items).
bool table_fits(std::string_view current, const std::vector<std::string_view>& current_items,
                std::string_view original);

// "xl/sharedStrings.xml" from its backup: the backup's text whole when the table still
// fits it, else item by item (restore_table_items, which fills `report`). The backup
// leaves the package. 0; -101 no backup; or the failing step's status.
int restore_table(MfileRegistry& reg, const BackupKey& key, MergeReport& report);

// True when `masked` is what masking can make of `original`: the same bytes but for
// characters that became mask characters of the same byte length.
bool is_masking_of(std::string_view masked, std::string_view original);

}  // namespace hsc
