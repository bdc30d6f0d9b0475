#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace hsc {

// Why a package (or one of its parts) was refused, as data: the layer that finds the
// fault says what it is, the edge turns it into words in the user's language.
enum class RefusalKind {
    none,
    // The zip archive.
    not_a_zip,             // no readable end record or directory
    encrypted_entry,       // `name`
    unsupported_method,    // `name`: neither stored nor deflated
    duplicate_entry,       // `name`
    bad_entry_name,        // `name`: empty or with a zero byte
    unsafe_entry_path,     // `name`: would leave the folder it is extracted to
    entry_checksum,        // `name`: CRC-32 of the inflated bytes differs
    entry_damaged,         // `name`: truncated or inconsistent
    too_many_entries,      // `limit`: the most entries a package may hold
    entry_too_large,       // `name`: inflates past the limit of one part or the package
    larger_than_declared,  // `name`: inflates past its recorded size
    entry_name_too_long,   // `size`: the length of the name
    over_memory_budget,    // `size` needed, `limit` allowed (bytes)
    overlapping_entries,   // `name`: its data is also another entry's
    // The backups.
    damaged_backup,  // `name`: does not give back what it recorded
    // What stands in the way of masking.
    table,                // `name` the table part, `sheet` its worksheet's name
    table_without_sheet,  // `name` the table part, no worksheet names it
    table_header_masked,  // `name` the table part, `table` its display name, `sheet`
    // The column choice against this workbook.
    header_not_found,  // `name` the header text, `size` the header row (1-based), `sheet` where it
                       // was looked for, `names` that row's texts, `limit` a row that holds it (0: none)
    header_not_in_sheet,  // the same, for a header text of the choice of the worksheet `sheet`
    sheet_not_found,   // `name` the sheet the choice names, `names` the workbook's sheets
    ambiguous_column,  // `name` an item that is a letter and a header text of `sheet`'s row `size`,
                       // whose cell stands in column `limit` (zero-based)
};

struct Refusal {
    Refusal() = default;
    // A refusal that names one thing of the package, and where it stands.
    explicit Refusal(RefusalKind k, std::string n = {}, std::string s = {}, std::string t = {})
        : kind(k), name(std::move(n)), sheet(std::move(s)), table(std::move(t)) {}
    // A refusal about a size (or count) and its limit.
    static Refusal of_size(RefusalKind k, std::uint64_t size, std::uint64_t limit) {
        Refusal r(k);
        r.size = size;
        r.limit = limit;
        return r;
    }

    RefusalKind kind = RefusalKind::none;
    std::string name;   // an entry, a backup, a table part or a header text, as stored
    std::string sheet;  // the worksheet's name
    std::string table;  // the table's display name
    std::vector<std::string> names;  // sheet names or header texts, as the kind says
    std::uint64_t size = 0;
    std::uint64_t limit = 0;

    bool empty() const { return kind == RefusalKind::none; }
};

}  // namespace hsc
