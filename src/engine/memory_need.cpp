#include "engine/memory_need.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "engine/backups.h"
#include "engine/read_excel.h"
#include "package/package_entries.h"

namespace hsc {
namespace {

// Bytes held per four bytes and per item of each kind of part, beyond its stream, from
// peak resident memory over the shapes of bench/bomb_memory.sh (Release build, every
// text masked): one 300 MiB string took four times its size (its masked copy, the
// backup and its ciphertext), 5 million tiny strings 126 bytes each, inline strings of
// a large worksheet about 140 bytes a cell, while cells that refer to shared strings
// are only scanned. A part of another kind is copied into the output as it came.
struct PartCost {
    std::uint64_t per_four_bytes;
    std::uint64_t per_item;
    std::string_view item;  // how an item starts
};
constexpr PartCost SHARED_STRINGS_COST{16, 64, "<si"};
constexpr PartCost WORKSHEET_COST{1, 144, "t=\"inlineStr\""};
constexpr PartCost DRAWING_COST{16, 64, "<a:t"};
// A backup (enciphered) is read whole and written back as its part: twice its size (a
// restore of a million rows of shared strings peaked at 623 MiB).
constexpr PartCost BACKUP_COST{8, 0, {}};
constexpr std::uint64_t PER_STREAM = 512;       // a stream's record, name and list entries

std::uint64_t count_of(std::string_view text, std::string_view needle) {
    std::uint64_t n = 0;
    for (std::size_t at = text.find(needle); at != std::string_view::npos; at = text.find(needle, at + needle.size()))
        ++n;
    return n;
}

std::string_view text_of(const Mfile& f) {
    const auto bytes = mdata(&f);
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// What masking with `values` does to the worksheet `f`: whether its values may change
// (and it gets a backup), and whether a copy of it without its formula results is made.
struct WorksheetChange {
    bool backup = false;
    bool copy = false;
};
WorksheetChange worksheet_change(const Mfile& f, ValueMasking values) {
    const std::string_view text = text_of(f);
    const bool formulas = text.find("<f") != std::string_view::npos;  // also <f:..., a bound
    const bool changes = values.numbers || text.find("\"str\"") != std::string_view::npos ||
                         text.find("'str'") != std::string_view::npos;
    return {changes || (formulas && values.formula_results), formulas && (changes || values.formula_results)};
}

// A backup holds, besides its stream: the stream's room, what reading it whole and
// deciphering it take.
constexpr std::uint64_t BACKUP_TIMES = BACKUP_COST.per_four_bytes / 4 + 2;

}  // namespace

std::uint64_t processing_need(const MfileRegistry& reg, std::optional<ValueMasking> masking) {
    // With a masking, also what the restore of it will need: it reads the table, the
    // worksheets that get backups and the small parts, each beside its backup.
    std::uint64_t need = 0, restore = 0;
    for (const auto& f : reg.slots) {
        if (!f || f->state == MFILE_REMOVED) continue;
        const auto length = static_cast<std::uint64_t>(f->length);
        const std::uint64_t held = static_cast<std::uint64_t>(f->deflated_only ? 0 : f->capacity) + f->deflated.size() + PER_STREAM;
        need += held;
        if (f->deflated_only) continue;  // copied as it came, never parsed
        const std::string_view name = f->name;
        // A restore deciphers each backup into a stream beside it: counted here until
        // that stream is there (and then counted as held).
        if (is_backup_entry(name) && msize(reg, deciphered_name(name)) == 0) need += length;
        const PartCost* cost = nullptr;
        if (is_backup_entry(name))
            cost = &BACKUP_COST;
        else if (name == SHARED_STRINGS_NAME)
            cost = &SHARED_STRINGS_COST;
        else if (name.starts_with("xl/worksheets/") && name.ends_with(".xml"))
            cost = &WORKSHEET_COST;
        else if (name.starts_with("xl/drawings/") && name.ends_with(".xml"))
            cost = &DRAWING_COST;
        const std::uint64_t parsed =
            !cost ? 0
                  : cost->per_four_bytes * length / 4 + (cost->per_item ? cost->per_item * count_of(text_of(*f), cost->item) : 0);
        need += parsed;
        if (!masking) continue;
        if (cost == &WORKSHEET_COST) {
            // The backup of a worksheet whose values change is the worksheet as the package
            // held it (deflated, or its bytes when it was stored), sealed.
            const WorksheetChange change = worksheet_change(*f, *masking);
            const std::uint64_t backup = f->deflated.empty() ? length : f->deflated.size();
            if (change.backup) {
                need += (BACKUP_TIMES - 1) * backup + PER_STREAM;  // its deflated form was counted
                restore += held + parsed + BACKUP_TIMES * backup;
            }
            if (change.copy) need += length;
        } else if (cost == &SHARED_STRINGS_COST) {
            restore += held + parsed + BACKUP_TIMES * length;
        } else if (read_when_restoring(name)) {
            restore += held;
        }
    }
    return std::max(need, restore);
}

}  // namespace hsc
