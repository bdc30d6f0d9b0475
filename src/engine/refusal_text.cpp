#include "engine/refusal_text.h"

#include "engine/suggest.h"
#include "engine/text_routines.h"

namespace hsc {
namespace {

// Names or header texts as one line, each as printable() shows it.
std::string listing(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& n : names) out += (out.empty() ? "" : ", ") + printable(n);
    return out;
}

std::string megabytes(std::uint64_t bytes) { return std::to_string((bytes + (1 << 20) - 1) >> 20) + " MB"; }
// The same as --max-memory takes it.
std::string megabytes_option(std::uint64_t bytes) { return std::to_string((bytes + (1 << 20) - 1) >> 20) + "M"; }

}  // namespace

// Every kind is listed, so that a new one without words does not compile quietly.
std::string refusal_text(Lang lang, const Refusal& r) {
    const std::string name = printable(r.name);
    const auto named = [&](Msg key) { return say(lang, key, {name}); };
    // A damaged archive: what the user can do is get a sound copy, or let the
    // spreadsheet program write the file anew.
    const auto damaged = [&](std::string text) { return say(lang, Msg::then, {text, say(lang, Msg::damaged_advice)}); };
    switch (r.kind) {
        case RefusalKind::none: return {};
        case RefusalKind::not_a_zip: return damaged(say(lang, Msg::not_a_zip));
        case RefusalKind::encrypted_entry: return named(Msg::encrypted_entry);
        case RefusalKind::unsupported_method: return named(Msg::unsupported_method);
        case RefusalKind::duplicate_entry: return named(Msg::duplicate_entry);
        case RefusalKind::bad_entry_name: return named(Msg::bad_entry_name);
        case RefusalKind::unsafe_entry_path: return named(Msg::unsafe_entry_path);
        case RefusalKind::entry_checksum: return damaged(named(Msg::entry_checksum));
        case RefusalKind::entry_damaged: return damaged(named(Msg::entry_damaged));
        case RefusalKind::too_many_entries: return say(lang, Msg::too_many_entries, {std::to_string(r.limit)});
        case RefusalKind::entry_too_large: return named(Msg::entry_too_large);
        case RefusalKind::larger_than_declared: return damaged(named(Msg::larger_than_declared));
        case RefusalKind::entry_name_too_long: return say(lang, Msg::entry_name_too_long, {std::to_string(r.size)});
        case RefusalKind::over_memory_budget:
            return say(lang, Msg::over_memory_budget, {megabytes(r.size), megabytes(r.limit), megabytes_option(r.size)});
        case RefusalKind::overlapping_entries: return damaged(named(Msg::overlapping_entries));
        case RefusalKind::damaged_backup: return named(Msg::damaged_backup);
        case RefusalKind::table: return say(lang, Msg::table_in_sheet, {printable(r.sheet), name});
        case RefusalKind::table_without_sheet: return named(Msg::table_without_sheet);
        case RefusalKind::table_header_masked:
            return say(lang, Msg::table_header_masked, {printable(r.sheet), printable(r.table), name});
        // The header text is the user's own, from the column list.
        case RefusalKind::header_not_found:
        case RefusalKind::header_not_in_sheet: {
            const std::string row = std::to_string(r.size), sheet = printable(r.sheet);
            std::string text = r.kind == RefusalKind::header_not_found
                                   ? say(lang, Msg::header_not_found, {r.name, row})
                                   : say(lang, Msg::header_not_in_sheet, {r.name, sheet, row});
            text = say(lang, Msg::then, {text, r.names.empty() ? say(lang, Msg::header_row_empty, {sheet, row})
                                                               : say(lang, Msg::header_row_holds, {sheet, row, listing(r.names)})});
            if (r.limit > 0) {
                const std::string found = std::to_string(r.limit);
                text = say(lang, Msg::then, {text, say(lang, Msg::header_on_row, {found, found, found})});
            }
            return text;
        }
        case RefusalKind::sheet_not_found: return say(lang, Msg::sheet_not_found, {name, listing(r.names)});
        case RefusalKind::ambiguous_column: {
            const std::string cell = column_letters(static_cast<int>(r.limit));
            return say(lang, Msg::ambiguous_column,
                       {name, name, printable(r.sheet), std::to_string(r.size), cell, name, name});
        }
    }
    return {};
}

std::string short_file_text(Lang lang, const Refusal& directory, std::uint64_t size) {
    if (!directory.empty()) return refusal_text(lang, directory);
    return say(lang, Msg::then, {say(lang, Msg::too_short, {std::to_string(size)}), say(lang, Msg::damaged_advice)});
}

}  // namespace hsc
