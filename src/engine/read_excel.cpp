#include "engine/read_excel.h"

#include <algorithm>
#include <functional>
#include <map>
#include <new>
#include <optional>
#include <string_view>

#include "core/status.h"
#include "engine/backups.h"
#include "engine/column_report.h"
#include "engine/inline_strings.h"
#include "engine/merge.h"
#include "engine/package_backup.h"
#include "engine/text_mask.h"
#include "engine/suggest.h"
#include "engine/text_routines.h"
#include "engine/workbook_part.h"
#include "engine/workbook_scan.h"
#include "package/package_entries.h"
#include "package/zip_package.h"

namespace hsc {
namespace {

constexpr std::string_view WORKBOOK_NAME = "xl/workbook.xml";
constexpr std::string_view DRAWING_PREFIX = "xl/drawings/drawing";
constexpr std::string_view TABLE_PREFIX = "xl/tables/table";
constexpr std::string_view THUMBNAIL_PREFIX = "docProps/thumbnail.";

// A worksheet part: any part of the worksheets' folder but the backups (some writers
// name them after the sheet rather than "sheetN.xml").
bool is_worksheet_name(std::string_view name) {
    return name.starts_with(WORKSHEET_FOLDER) && name.ends_with(".xml") &&
           name.find('/', WORKSHEET_FOLDER.size()) == std::string_view::npos && !is_backup_entry(name);
}

// The parts of one package that the rewrite needs, read from the memory streams.
struct PackageParts {
    bool has_workbook = false;
    std::string workbook_text;
    bool has_shared_strings = false;
    // Masking: the table as its stream holds it, looked at in place; the text is copied
    // only where this run makes or extends the table.
    std::string_view shared_strings;
    std::string shared_strings_text;
    std::vector<std::uint8_t> shared_string_flags;
    std::vector<std::string> drawing_part_names;
    std::vector<std::string> drawing_texts;  // read only when masking
    std::size_t inline_cells = 0;            // inline-string cells turned into shared-string cells
    bool created_shared_strings = false;     // the package had no table before
    std::size_t target_cells = 0;  // shared-string cells of the target columns
    std::size_t inline_cells_left = 0;  // inline strings of the target columns left unconverted
    bool select_by_flags = false;   // the flags say which strings are masked (else every one)
    ValueCounts values;         // cells whose own values were masked
    std::vector<std::string> values_left_parts;
    std::size_t worksheet_backups = 0;
    bool formula_results_dropped = false;  // the workbook must ask for a calculation
    MaskedTexts masked_values;  // their values as they were, for the leak scan
    // The report per column, and per shared-string item the bits of the columns that show it.
    std::vector<ColumnReport> columns;
    std::vector<std::uint64_t> item_owners;
    std::vector<ReportWarning> column_warnings;
};

// A worksheet whose values masking changed (or whose formula results go): as it stands
// (`in_place`: the values masked where the package holds it), as it will be written
// (`masked`), and the CRC-32 of the part as the package held it.
struct MaskedWorksheet {
    std::string_view in_place;
    std::string_view masked;
    std::uint32_t original_crc = 0;
};

// Seals the worksheet's backup: the line naming it as masked, then the worksheet as it
// was, which needs no copy of it: the deflate stream the package held it in (`deflated`),
// or, without one, the bytes in place with `undo`'s original values put back.
int back_up_worksheet(MfileRegistry& reg, std::string_view name, const MaskedWorksheet& sheet,
                      const std::vector<std::uint8_t>& deflated, const ValueUndo& undo, const BackupKey& key) {
    const std::string line = deflated.empty() ? worksheet_backup_line(sheet.masked)
                                              : deflated_worksheet_backup_line(sheet.masked, sheet.in_place.size(),
                                                                               sheet.original_crc);
    const std::size_t size = line.size() + (deflated.empty() ? sheet.in_place.size() : deflated.size());
    const auto fill = [&](std::span<char> room) {
        std::copy(line.begin(), line.end(), room.begin());
        const std::span<char> rest = room.subspan(line.size());
        if (!deflated.empty()) {
            std::copy(deflated.begin(), deflated.end(), rest.begin());
            return;
        }
        std::copy(sheet.in_place.begin(), sheet.in_place.end(), rest.begin());
        undo.apply(rest);
    };
    return store_backup_filled(reg, WORKSHEET_TEMP_NAME, size, fill, worksheet_backup_name(name), key);
}

// The value of attribute `name` (with its `="`) in the element around `at`.
std::string attribute_near(std::string_view xml, std::size_t at, std::string_view element, std::string_view name) {
    const std::size_t open = xml.rfind(element, at);
    if (open == std::string_view::npos) return {};
    const std::size_t close = xml.find('>', open);
    const std::string_view tag = xml.substr(open, close == std::string_view::npos ? std::string_view::npos : close - open);
    std::size_t from = 0;
    while ((from = tag.find(name, from)) != std::string_view::npos) {
        // " name=" and not the end of a longer attribute name
        if (from > 0 && (tag[from - 1] == ' ' || tag[from - 1] == '\t' || tag[from - 1] == '\n' || tag[from - 1] == '\r')) {
            const std::size_t start = from + name.size();
            const std::size_t end = tag.find('"', start);
            if (end == std::string_view::npos) return {};
            return std::string(tag.substr(start, end - start));
        }
        from += name.size();
    }
    return {};
}

// An attribute value as it reads: the five named entities resolved in one pass, so that
// "&amp;lt;" stays "&lt;".
std::string xml_unescape(std::string_view text) {
    static constexpr std::pair<std::string_view, char> ENTITIES[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto* hit = std::find_if(std::begin(ENTITIES), std::end(ENTITIES),
                                       [&](const auto& e) { return text.substr(i).starts_with(e.first); });
        if (hit == std::end(ENTITIES)) {
            out += text[i++];
        } else {
            out += hit->second;
            i += hit->first.size();
        }
    }
    return out;
}

// The name of the sheet whose relationships name the table part `table` ("xl/tables/
// table1.xml"), found by text search like every other part; empty when not found.
std::string sheet_of_table(MfileRegistry& reg, const std::vector<std::string>& entries, std::string_view table) {
    const std::string wanted = "tables/" + std::string(table.substr(table.rfind('/') + 1)) + "\"";
    constexpr std::string_view SHEET_RELS = "xl/worksheets/_rels/";
    std::string text, sheet_file;
    for (const std::string& name : entries) {
        if (!name.starts_with(SHEET_RELS) || !name.ends_with(".xml.rels")) continue;
        if (read_part(reg, name, text) == RC_OK && text.find(wanted) != std::string::npos) {
            sheet_file = name.substr(SHEET_RELS.size(), name.size() - SHEET_RELS.size() - 5);  // "sheet1.xml"
            break;
        }
    }
    if (sheet_file.empty() || read_part(reg, "xl/_rels/workbook.xml.rels", text) != RC_OK) return {};
    const std::size_t target = text.find("worksheets/" + sheet_file + "\"");
    if (target == std::string::npos) return {};
    const std::string id = attribute_near(text, target, "<Relationship", "Id=\"");
    if (id.empty() || read_part(reg, WORKBOOK_NAME, text) != RC_OK) return {};
    const std::size_t ref = text.find(":id=\"" + id + "\"");
    if (ref == std::string::npos) return {};
    return xml_unescape(attribute_near(text, ref, "<sheet ", "name=\""));
}

// The part a relationship target names, from the folder of the part that holds it
// ("xl/worksheets/" and "../tables/table1.xml" give "xl/tables/table1.xml").
std::string resolve_part_name(std::string_view folder, std::string_view target) {
    if (target.starts_with("/")) return std::string(target.substr(1));
    std::string path(folder);
    while (target.starts_with("../")) {
        target.remove_prefix(3);
        if (!path.empty()) path.pop_back();  // the trailing '/'
        const std::size_t slash = path.rfind('/');
        path.resize(slash == std::string::npos ? 0 : slash + 1);
    }
    while (target.starts_with("./")) target.remove_prefix(2);
    return path + std::string(target);
}

// A table of a worksheet: the rows that must keep their text (the header and totals rows,
// whose texts the table part repeats as its column names and totals labels).
struct TablePart {
    std::string name;  // xl/tables/table1.xml
    std::string display_name;
    std::vector<CellBlock> kept;
};

int attribute_number(std::string_view tag_text, std::size_t at, std::string_view element, std::string_view name,
                     int fallback) {
    const std::string value = attribute_near(tag_text, at, element, name);
    std::size_t n = 0;
    if (value.empty() || value.size() > 7 || value.find_first_not_of("0123456789") != std::string::npos) return fallback;
    for (char c : value) n = n * 10 + static_cast<std::size_t>(c - '0');
    return static_cast<int>(n);
}

// Reads the table part `name`; false when it names no cell range.
bool read_table_part(MfileRegistry& reg, const std::string& name, int owner, TablePart& table) {
    std::string text;
    if (read_part(reg, name, text) != RC_OK) return false;
    const std::string element = "<" + std::string(root_element_prefix(text)) + "table";
    const std::size_t at = text.find(element);
    if (at == std::string::npos) return false;
    const std::string ref = attribute_near(text, at + 1, element, "ref=\"");
    const std::size_t colon = ref.find(':');
    int first_row = 0, first_column = 0, last_row = 0, last_column = 0;
    if (ref.empty() || parse_cell_ref(ref.substr(0, colon), first_row, first_column) != RC_OK) return false;
    last_row = first_row;
    last_column = first_column;
    if (colon != std::string::npos && parse_cell_ref(ref.substr(colon + 1), last_row, last_column) != RC_OK) return false;
    table.name = name;
    table.display_name = xml_unescape(attribute_near(text, at + 1, element, "displayName=\""));
    if (table.display_name.empty()) table.display_name = xml_unescape(attribute_near(text, at + 1, element, "name=\""));
    const int header_rows = attribute_number(text, at + 1, element, "headerRowCount=\"", 1);
    const int totals_rows = attribute_number(text, at + 1, element, "totalsRowCount=\"", 0);
    if (header_rows > 0)
        table.kept.push_back({first_row, std::min(last_row, first_row + header_rows - 1), first_column, last_column, owner});
    if (totals_rows > 0)
        table.kept.push_back({std::max(first_row, last_row - totals_rows + 1), last_row, first_column, last_column, owner});
    return true;
}

// The table parts that the worksheet's relationships name, in the order they name them.
std::vector<std::string> tables_of_sheet(MfileRegistry& reg, std::string_view sheet) {
    std::vector<std::string> tables;
    const std::size_t slash = sheet.rfind('/');
    const std::string folder(sheet.substr(0, slash + 1));
    const std::string rels = folder + "_rels/" + std::string(sheet.substr(slash + 1)) + ".rels";
    std::string text;
    if (!stream_exists(reg, rels) || read_part(reg, rels, text) != RC_OK) return tables;
    for (std::size_t p = text.find("<Relationship "); p != std::string::npos; p = text.find("<Relationship ", p + 1)) {
        const std::string type = attribute_near(text, p + 1, "<Relationship ", "Type=\"");
        if (!type.ends_with("/table")) continue;
        const std::string target = xml_unescape(attribute_near(text, p + 1, "<Relationship ", "Target=\""));
        if (!target.empty()) tables.push_back(resolve_part_name(folder, target));
    }
    return tables;
}

// The header key of each string item that a header cell needs, computed once.
class HeaderTexts {
public:
    explicit HeaderTexts(std::string_view shared_strings) : table_(shared_strings) {}
    const std::string& key(const HeaderCell& cell) {
        if (!cell.shared) return scratch_ = header_key(cell.text);
        if (!items_) items_ = shared_string_items(table_);
        if (cell.index >= items_->size()) return scratch_ = std::string();
        auto [it, added] = keys_.try_emplace(cell.index);
        if (added) it->second = header_key(shown_item_text((*items_)[cell.index]));
        return it->second;
    }

private:
    std::string_view table_;
    std::optional<std::vector<std::string_view>> items_;
    std::map<std::size_t, std::string> keys_;
    std::string scratch_;
};

// The worksheets by name, from the workbook part and its relationships.
std::vector<WorkbookSheet> named_worksheets(MfileRegistry& reg, std::string_view workbook) {
    constexpr std::string_view WORKBOOK_RELS = "xl/_rels/workbook.xml.rels";
    std::string rels;
    if (workbook.empty() || !stream_exists(reg, WORKBOOK_RELS) || read_part(reg, WORKBOOK_RELS, rels) != RC_OK) return {};
    return workbook_sheets(workbook, rels);
}

// Whether a header text is the letter item `letters` (upper case): letters are read
// whatever their case, so "ssn" in the header row stands for SSN too.
bool same_letters(std::string_view header, std::string_view letters) {
    return header.size() == letters.size() &&
           std::equal(header.begin(), header.end(), letters.begin(),
                      [](char a, char b) { return (a >= 'a' && a <= 'z' ? a - 32 : a) == b; });
}

// The top rows where a header text missing from its header row is looked for.
constexpr int HEADER_SEARCH_ROWS = 20;
constexpr std::size_t HEADER_TEXTS_SHOWN = 30;

// Why `header` of `set` chose nothing in the worksheet `sheet`: the texts its header
// row holds, and the first of the top rows that holds the header text, if one does.
Refusal header_refusal(std::string_view view, HeaderTexts& texts, const std::vector<HeaderCell>& cells,
                       const ColumnSet& set, const std::string& header, const std::string& sheet) {
    Refusal why(RefusalKind::header_not_found, header, sheet);
    why.size = static_cast<std::uint64_t>(set.header_row);
    for (const HeaderCell& cell : cells)
        if (const std::string& key = texts.key(cell); !key.empty() && why.names.size() < HEADER_TEXTS_SHOWN)
            why.names.push_back(key);
    for (int row = 0; row < HEADER_SEARCH_ROWS && why.limit == 0; ++row) {
        if (row == set.header_row - 1) continue;
        for (const HeaderCell& cell : header_row_cells(view, row))
            if (texts.key(cell) == header) {
                why.limit = static_cast<std::uint64_t>(row) + 1;
                break;
            }
    }
    return why;
}

// The kept uses of one worksheet's strings.
struct SheetKept {
    std::string part;
    std::vector<KeptUse> uses;
};

// Which strings are masked, from the bits of the scan; refuses a table whose header or
// totals text would change, and notes header cells that show masked.
int settle_selection(MfileRegistry& reg, const std::vector<std::string>& entries, const FileContext& ctx,
                     const std::vector<TablePart>& tables, const std::vector<SheetKept>& kept, PackageParts& parts) {
    std::vector<std::uint8_t>& flags = parts.shared_string_flags;
    constexpr std::uint8_t STRING_TABLE = 4;
    for (const SheetKept& sheet : kept)
        for (const KeptUse& use : sheet.uses)
            if (use.owner >= 0) flags[use.index] |= STRING_TABLE;
    // Without a column list every string goes but those that only kept cells show, and
    // those of table headers, which must keep their text (a cell that repeats one stays
    // readable with it).
    const bool every = !ctx.has_column_list();
    for (const SheetKept& sheet : kept)
        for (const KeptUse& use : sheet.uses) {
            if (use.owner < 0 || every || !(flags[use.index] & STRING_TARGET)) continue;
            const TablePart& table = tables[static_cast<std::size_t>(use.owner)];
            reg.refusal = Refusal(RefusalKind::table_header_masked, table.name, sheet_of_table(reg, entries, table.name),
                                  table.display_name);
            return RC_UNSUPPORTED_OBJECTS;
        }
    ReportWarning masked_headers{std::string(WARNING_HEADER_MASKED), {}, {}};
    for (const SheetKept& sheet : kept)
        for (const KeptUse& use : sheet.uses)
            if (use.owner < 0 && (flags[use.index] & STRING_TARGET) && !(flags[use.index] & STRING_TABLE) &&
                std::find(masked_headers.parts.begin(), masked_headers.parts.end(), sheet.part) ==
                    masked_headers.parts.end())
                masked_headers.parts.push_back(sheet.part);
    if (!masked_headers.parts.empty()) parts.column_warnings.push_back(std::move(masked_headers));
    for (std::uint8_t& f : flags) {
        const bool masked = every ? !(f & STRING_TABLE) && ((f & STRING_TARGET) || !(f & STRING_KEPT))
                                  : (f & STRING_TARGET) != 0;
        f = masked ? 1 : 0;
    }
    return RC_OK;
}

// Classifies the sorted entries, reads the parts that matter and selects the shared
// strings that cells of the target columns refer to.

int read_parts(MfileRegistry& reg, const std::vector<std::string>& entries, const StoredSettings& s,
               const BackupKey& key, const FileContext& ctx, PackageParts& parts, bool report) {
    const bool masking = ctx.process_direction == Direction::mask;
    std::vector<std::string_view> worksheets, table_entries;
    for (const std::string& name : entries) {
        if (name.starts_with(TABLE_PREFIX)) {
            table_entries.push_back(name);
        } else if (name == WORKBOOK_NAME) {
            if (int rc = read_part(reg, name, parts.workbook_text); rc != RC_OK) return rc;
            parts.has_workbook = true;
        } else if (name == SHARED_STRINGS_NAME) {
            parts.has_shared_strings = true;
            // Restoring takes the text from the backup: the masked text is never read.
            if (!masking) continue;
            if (!stream_exists(reg, name)) return RC_FAIL;
            parts.shared_strings = stream_bytes(reg, name);
            parts.shared_string_flags.assign(count_shared_string_items(parts.shared_strings), 0);
        } else if (is_worksheet_name(name)) {
            worksheets.push_back(name);
        } else if (name.starts_with(DRAWING_PREFIX)) {
            if (parts.drawing_part_names.size() >= DRAWING_PARTS_MAX) return RC_SIZE_LIMIT;
            parts.drawing_part_names.push_back(name);
            if (!masking) continue;
            parts.drawing_texts.emplace_back();
            if (int rc = read_part(reg, name, parts.drawing_texts.back()); rc != RC_OK) return rc;
        }
    }
    if (!masking) return RC_OK;

    // Tables: their header and totals rows keep their text, whatever the column list says,
    // so that the table's column names still match them. A table that no worksheet names,
    // or whose range cannot be read, is refused before anything is rewritten.
    std::vector<TablePart> tables;
    std::vector<std::vector<std::size_t>> sheet_tables(worksheets.size());
    for (std::size_t k = 0; k < worksheets.size(); ++k)
        for (const std::string& name : tables_of_sheet(reg, worksheets[k])) {
            if (std::find(table_entries.begin(), table_entries.end(), name) == table_entries.end()) continue;
            TablePart table;
            if (!read_table_part(reg, name, static_cast<int>(tables.size()), table)) {
                reg.refusal = Refusal(RefusalKind::table, name, sheet_of_table(reg, entries, name));
                return RC_UNSUPPORTED_OBJECTS;
            }
            sheet_tables[k].push_back(tables.size());
            tables.push_back(std::move(table));
        }
    for (std::string_view name : table_entries)
        if (std::none_of(tables.begin(), tables.end(), [&](const TablePart& t) { return t.name == name; })) {
            const std::string sheet = sheet_of_table(reg, entries, name);
            reg.refusal = Refusal(sheet.empty() ? RefusalKind::table_without_sheet : RefusalKind::table,
                                  std::string(name), sheet);
            return RC_UNSUPPORTED_OBJECTS;
        }
    const bool keeps_cells = ctx.keeps_header_row() || !tables.empty();
    parts.select_by_flags = ctx.has_column_list() || keeps_cells;

    // Worksheets are scanned once the table is known, whatever order the names came in.
    // Inline strings of the chosen columns join the table first, so the scan sees them
    // as the shared-string cells they have become.
    bool joinable = false;
    if (int rc = begin_inline_strings(reg, parts.has_shared_strings, parts.shared_strings_text, joinable);
        rc != RC_OK)
        return rc;
    if (!parts.has_shared_strings) parts.shared_strings = parts.shared_strings_text;  // the empty table made
    const std::string table_prefix(root_element_prefix(parts.shared_strings));
    const std::size_t first_new = parts.shared_string_flags.size();
    HeaderTexts header_texts(parts.shared_strings);
    // The names the workbook gives its worksheets: a choice per sheet goes by them, and a
    // sheet it names must be there.
    const std::vector<WorkbookSheet> named = named_worksheets(reg, parts.workbook_text);
    const auto name_of = [&named](std::string_view part) {
        for (const WorkbookSheet& w : named)
            if (w.part == part) return w.name;
        return std::string();
    };
    for (const SheetColumns& choice : ctx.sheet_columns)
        if (std::none_of(named.begin(), named.end(), [&](const WorkbookSheet& w) { return w.name == choice.sheet; })) {
            reg.refusal = Refusal(RefusalKind::sheet_not_found, choice.sheet);
            for (const WorkbookSheet& w : named) reg.refusal.names.push_back(w.name);
            return RC_FAIL;
        }
    // Per header text of the general list, the worksheets that take that list and do not
    // have it, and what the first of them holds instead.
    const ColumnSet general = ctx.general_columns();
    std::vector<std::vector<std::string>> missing(general.headers.size());
    std::vector<Refusal> not_found(general.headers.size());
    std::size_t general_sheets = 0;
    std::vector<SheetKept> kept;
    std::string items, sheet;
    // Plain-text cells always go with the strings.
    const bool numbers = masks_numbers(ctx, s);
    // Which cell styles show a number as a date, for the report.
    const std::vector<bool> dates = numbers ? date_styles(stream_bytes(reg, "xl/styles.xml")) : std::vector<bool>();
    const bool date1904 = uses_1904_dates(parts.workbook_text);
    if (report) parts.item_owners.assign(parts.shared_string_flags.size(), 0);
    for (std::size_t k = 0; k < worksheets.size(); ++k) {
        const std::string_view name = worksheets[k];
        // Looked at where the package holds it: a worksheet is copied only to be rewritten.
        if (!stream_exists(reg, name)) return RC_FAIL;
        std::string_view view = stream_bytes(reg, name);
        const std::string sheet_name = name_of(name);
        // What a refusal calls the worksheet: its name, or its part when the workbook
        // gives none.
        const std::string shown_name = sheet_name.empty() ? std::string(name) : sheet_name;
        const bool own = std::any_of(ctx.sheet_columns.begin(), ctx.sheet_columns.end(),
                                     [&](const SheetColumns& c) { return c.sheet == sheet_name; });
        const ColumnSet set = own ? ctx.columns_for(sheet_name) : general;
        if (!own) ++general_sheets;
        const int header_row = set.header_row - 1;
        SheetSelection selection;
        selection.every_column = !ctx.has_column_list();
        selection.columns = set.letters;
        // The header row stays readable with what stands above it: titles and group rows
        // name the table, they are not its data.
        if (set.keeps_header_row()) selection.kept.push_back({0, header_row, 0, 16383, KEPT_HEADER_ROW});
        for (std::size_t t : sheet_tables[k])
            selection.kept.insert(selection.kept.end(), tables[t].kept.begin(), tables[t].kept.end());
        std::vector<std::pair<int, std::string>> chosen_by_header;  // for the report
        if (!set.headers.empty() || !set.bare_letters.empty()) {
            const std::vector<HeaderCell> cells = header_row_cells(view, header_row);
            // A letter that the header row also holds as a text reads two ways: the user
            // must say which.
            for (const std::string& letters : set.bare_letters)
                for (const HeaderCell& cell : cells)
                    if (same_letters(header_texts.key(cell), letters)) {
                        reg.refusal = Refusal(RefusalKind::ambiguous_column, letters, shown_name);
                        reg.refusal.size = static_cast<std::uint64_t>(set.header_row);
                        reg.refusal.limit = static_cast<std::uint64_t>(cell.column);
                        return RC_FAIL;
                    }
            for (std::size_t h = 0; h < set.headers.size(); ++h) {
                bool found = false;
                for (const HeaderCell& cell : cells)
                    if (header_texts.key(cell) == set.headers[h]) {
                        selection.columns.push_back(cell.column);
                        chosen_by_header.emplace_back(cell.column, set.headers[h]);
                        found = true;
                    }
                if (found) continue;
                // A sheet's own header text must be in that sheet; a general one in some
                // sheet that takes the general list.
                // The first sheet that lacks it says why, unless a later one finds the
                // text on another row.
                if (own || missing[h].empty() || not_found[h].limit == 0) {
                    Refusal why = header_refusal(view, header_texts, cells, set, set.headers[h], shown_name);
                    if (own) {
                        why.kind = RefusalKind::header_not_in_sheet;
                        reg.refusal = std::move(why);
                        return RC_FAIL;
                    }
                    if (missing[h].empty() || why.limit > 0) not_found[h] = std::move(why);
                }
                if (!own) missing[h].emplace_back(name);
            }
        }
        // The report counts what masking does to each chosen column, and gathers the texts
        // of the values it masks for the leak scan.
        if (report) {
            const std::size_t first = parts.columns.size();
            const ColumnCountSetup setup{std::string(name), sheet_name, numbers, joinable, date1904, &dates, &s};
            count_sheet_columns(view, selection, setup, parts.columns, parts.masked_values, parts.item_owners);
            for (std::size_t c = first; c < parts.columns.size(); ++c)
                for (const auto& [column, header] : chosen_by_header)
                    if (parts.columns[c].column == column) parts.columns[c].header = header;
        }
        // The cells' own values (numbers, dates, plain text) are masked where the package
        // holds the worksheet. Its backup needs no copy of it: the deflate stream the
        // package held it in, or the masked bytes with the original values put back.
        Mfile* stream = mopen(reg, name, "rb");
        if (!stream) return RC_FAIL;
        mclose(stream);  // looked at, never read through
        const std::uint32_t original_crc = stream->crc;  // of a stream that keeps its deflated form
        std::vector<std::uint8_t> deflated;  // taken from the stream when masking changes it
        ValueCounts values;
        ValueUndo undo;  // needed only without the deflated form
        const bool keeps_deflated = !mdeflated(stream).empty();
        // (A part kept only deflated has no bytes to mask: it stays as it is.)
        mchange(reg, name, [&](std::span<std::uint8_t> bytes) {
            values = mask_cell_values({reinterpret_cast<char*>(bytes.data()), bytes.size()}, selection, numbers, s,
                                      keeps_deflated ? nullptr : &undo, nullptr, dates);
            return values.changed() > 0;
        }, &deflated);
        view = stream_bytes(reg, name);  // its values masked
        // A formula's cached result can show what masked cells hold (=B2, ="Dear "&A2),
        // from any worksheet: the results go, and the spreadsheet program computes them
        // from the masked values on opening; the worksheet's backup keeps them. The
        // compatible format keeps them where it writes no worksheet backup, so that its
        // readers can still restore (the leak scan names the texts they show).
        std::optional<std::string> without_results;
        if (key.strong_key() || values.changed() > 0) without_results = without_formula_results(view);
        if (without_results) parts.formula_results_dropped = true;
        parts.values += values;
        if (values.left > 0) parts.values_left_parts.emplace_back(name);
        const bool results_dropped = without_results.has_value();
        bool rewrite = false;  // `sheet` is to take the worksheet's place
        if (without_results) {
            sheet = std::move(*without_results);
            rewrite = true;
        }
        if (view.find("inlineStr") != std::string_view::npos) {
            const std::size_t next = parts.shared_string_flags.size();
            if (!rewrite) sheet.assign(view);
            if (!joinable) {  // no table to join: every such string stays as it is, counted
                std::string unchanged = sheet;
                std::string dropped;
                parts.inline_cells_left +=
                    convert_inline_strings(unchanged, selection, table_prefix, next, dropped, parts.inline_cells_left);
            } else if (const std::size_t n =
                           convert_inline_strings(sheet, selection, table_prefix, next, items, parts.inline_cells_left);
                       n > 0) {
                rewrite = true;
                parts.shared_string_flags.resize(next + n, 0);
            }
        }
        // The backup names the worksheet as it is written (its inline strings turned too).
        if (values.changed() > 0 || results_dropped) {
            if (deflated.empty() && values.changed() == 0) {  // unchanged still: its own deflated form
                const auto kept = mdeflated(stream);
                deflated.assign(kept.begin(), kept.end());
            }
            const std::string_view masked = rewrite ? std::string_view(sheet) : view;
            if (int rc = back_up_worksheet(reg, name, {view, masked, original_crc}, deflated, undo, key); rc != RC_OK)
                return rc;
            ++parts.worksheet_backups;
        }
        undo = ValueUndo();  // their memory goes back now
        std::vector<std::uint8_t>().swap(deflated);
        if (rewrite) {
            if (Status st = write_whole_file(reg, name, sheet); st != Status::ok) return code(st);
            view = stream_bytes(reg, name);  // as masked and converted
        }
        std::string().swap(sheet);
        if (parts.select_by_flags) {
            SheetKept sheet_kept{std::string(name), {}};
            parts.target_cells += scan_worksheet(view, selection, parts.shared_string_flags, &sheet_kept.uses);
            if (!sheet_kept.uses.empty()) kept.push_back(std::move(sheet_kept));
        }
    }
    // A header text no worksheet has chose nothing: that is a mistake in the list.
    for (std::size_t h = 0; h < general.headers.size(); ++h) {
        if (missing[h].size() == general_sheets && general_sheets > 0) {
            reg.refusal = std::move(not_found[h]);
            return RC_FAIL;
        }
        if (!missing[h].empty())
            parts.column_warnings.push_back({std::string(WARNING_HEADER_NOT_FOUND), missing[h], general.headers[h]});
    }
    parts.inline_cells = parts.shared_string_flags.size() - first_new;
    if (parts.select_by_flags)
        if (int rc = settle_selection(reg, entries, ctx, tables, kept, parts); rc != RC_OK) return rc;
    if (parts.has_shared_strings && parts.inline_cells > 0) parts.shared_strings_text.assign(parts.shared_strings);
    const int rc = finish_inline_strings(reg, parts.has_shared_strings, parts.shared_strings_text, items,
                                         parts.inline_cells, parts.created_shared_strings);
    std::string().swap(parts.shared_strings_text);  // the stream holds the table now
    parts.shared_strings = parts.has_shared_strings ? stream_bytes(reg, SHARED_STRINGS_NAME) : std::string_view();
    return rc;
}

int restore_parts(MfileRegistry& reg, const PackageParts& parts, const MaskSettings& s, const BackupKey& key,
                  MergeReport& merge) {
    if (parts.has_shared_strings)
        if (int rc = restore_table(reg, key, merge); rc != RC_OK) return rc;
    if (s.is_autoshape) return restore_drawings(reg, parts.drawing_part_names, key);
    // With the option off, drawing backups that the package still holds (masked with the
    // option on) are restored all the same: leaving them would let a later masking
    // overwrite the only copy of the original text with masked text.
    for (std::size_t i = 0; i < parts.drawing_part_names.size(); ++i) {
        const std::string backup = drawing_backup_name(i + 1);
        if (!stream_exists(reg, backup)) continue;
        if (int rc = restore_backup(reg, backup, parts.drawing_part_names[i], key); rc != RC_OK) return rc;
    }
    return RC_OK;
}

// The folder entries composition writes besides the streams.
std::size_t folder_entries(const MfileRegistry& reg) {
    return static_cast<std::size_t>(std::count_if(reg.layout.entries.begin(), reg.layout.entries.end(),
                                                  [](const ArchiveEntryHeader& e) { return e.folder; }));
}

// The entries a masked package will hold (its folder entries among them): the backups masking adds (the workbook part's
// and the package's among them), and one more for the thumbnail: the striped one where there was none, or
// the backup of the thumbnails it replaces (n of them become one and n backups).
std::size_t entries_after_masking(const MfileRegistry& reg, const std::vector<std::string>& entries,
                                  const PackageParts& parts, const MaskSettings& s) {
    std::size_t count = entries.size() + folder_entries(reg) + 3;  // the package backup too
    if (parts.has_shared_strings) ++count;
    if (s.is_autoshape) count += parts.drawing_part_names.size();
    return count + parts.worksheet_backups;
}

// Masking keeps the workbook part and the thumbnails it replaces as backups.
int back_up_marked_parts(MfileRegistry& reg, const std::vector<std::string>& entries, const PackageParts& parts,
                         const BackupKey& key) {
    if (int rc = store_backup(reg, WORKBOOK_TEMP_NAME, parts.workbook_text, BACKUP_WORKBOOK, key); rc != RC_OK)
        return rc;
    for (const std::string& name : entries) {
        if (!name.starts_with(THUMBNAIL_PREFIX)) continue;
        std::string picture;
        if (int rc = read_part(reg, name, picture); rc != RC_OK) return rc;
        const std::string backup = thumbnail_backup_name(std::string_view(name).substr(THUMBNAIL_PREFIX.size()));
        if (int rc = store_backup(reg, THUMBNAIL_TEMP_NAME, picture, backup, key); rc != RC_OK) return rc;
    }
    return RC_OK;
}

// Restoring the workbook part: its backup, byte for byte, when the part is still exactly
// what masking made of it; otherwise (changed since, or masked by a program that keeps
// no such backup) the reservation is cut out of the part as it is, keeping its changes.
int restore_workbook_part(MfileRegistry& reg, PackageParts& parts, const StoredSettings& s, const BackupKey& key) {
    if (stream_exists(reg, BACKUP_WORKBOOK)) {
        std::string original;
        if (int rc = read_backup(reg, BACKUP_WORKBOOK, key, original); rc != RC_OK) return rc;
        mremove(reg, BACKUP_WORKBOOK);
        std::string masked_again = original;
        if (rewrite_workbook_text(masked_again, s, Direction::mask) == RC_OK &&
            (masked_again == parts.workbook_text ||
             (ask_full_calculation(masked_again) && masked_again == parts.workbook_text)))
            return code(write_whole_file(reg, WORKBOOK_NAME, original));
    }
    return rewrite_workbook_part(reg, parts.workbook_text, s, Direction::unmask);
}

// The extensions of the thumbnails whose backups the package holds, in entry order.
std::vector<std::string> thumbnail_backups_in(const std::vector<std::string>& entries) {
    std::vector<std::string> extensions;
    for (const std::string& name : entries)
        if (auto ext = thumbnail_backup_extension(name); !ext.empty()) extensions.emplace_back(ext);
    return extensions;
}

std::size_t live_streams(const MfileRegistry& reg) {
    std::vector<std::string> names;
    mlist(reg, names);
    return names.size();
}

bool holds_backups(const std::vector<std::string>& entries) { return !backup_entries(entries).empty(); }

// Masking puts the striped picture in place of the thumbnails. Restoring gives back every
// thumbnail masking kept, under its own name: a backup left behind would make the
// restored workbook one that cannot be masked again.
int swap_thumbnails(MfileRegistry& reg, const std::vector<std::string>& entries, Direction direction,
                    const BackupKey& key) {
    const std::vector<std::string> kept =
        direction == Direction::unmask ? thumbnail_backups_in(entries) : std::vector<std::string>();
    const int rc = replace_thumbnail(reg, entries, striped_thumbnail_jpeg(), direction, kept);
    if (rc == RC_SIZE_LIMIT || rc == RC_REFUSED || rc == RC_NOMEM) return rc;
    if (rc != RC_OK) return RC_FAIL;
    for (const std::string& ext : kept)
        if (int rrc = restore_backup(reg, thumbnail_backup_name(ext), std::string(THUMBNAIL_PREFIX) + ext, key);
            rrc != RC_OK)
            return rrc;
    return RC_OK;
}

// Findings of scans over parts of one package, in the order of its entry names.
void order_by_entries(const MfileRegistry& reg, std::vector<LeakFinding>& findings) {
    std::vector<std::string> names;
    mlist(reg, names);
    sort_entry_names(names);
    const auto rank = [&](const LeakFinding& f) { return std::find(names.begin(), names.end(), f.part) - names.begin(); };
    std::stable_sort(findings.begin(), findings.end(),
                     [&](const LeakFinding& a, const LeakFinding& b) { return rank(a) < rank(b); });
}

// Masking, in the order that holds the least at once. While the worksheets are unpacked,
// every part but the shared-string table is masked and, with `report`, what the table's
// masking will change is worked out without changing it, and the package is scanned for
// the masked texts. The worksheets, which masking leaves as they are, then keep only
// their stored form; only after that are the table's backup and its masked text made.
int mask_package(MfileRegistry& reg, const std::vector<std::string>& entries, PackageParts& parts,
                 const StoredSettings& s, const FileContext& ctx, const BackupKey& key, MaskReport* report) {
    PackageOriginal original;
    if (int rc = take_package_original(reg, original); rc != RC_OK) return rc;
    if (int rc = back_up_marked_parts(reg, entries, parts, key); rc != RC_OK) return rc;
    if (int rc = rewrite_workbook_part(reg, parts.workbook_text, s, Direction::mask); rc != RC_OK) return rc;
    if (parts.formula_results_dropped && ask_full_calculation(parts.workbook_text))
        if (Status st = write_whole_file(reg, WORKBOOK_NAME, parts.workbook_text); st != Status::ok) return code(st);
    MaskReport found;
    // The masked values of the worksheets are looked for too.
    MaskedTexts masked = std::move(parts.masked_values);
    if (s.is_autoshape) {
        std::vector<std::string> originals;
        if (report) originals = parts.drawing_texts;
        if (int rc = mask_drawings(reg, parts.drawing_part_names, parts.drawing_texts, s, key); rc != RC_OK)
            return rc;
        for (std::size_t i = 0; i < originals.size() && i < parts.drawing_part_names.size(); ++i)
            found.shapes += collect_masked_runs(originals[i], stream_bytes(reg, parts.drawing_part_names[i]), masked);
    }
    // A non-zero count makes the flags decide, for the masker and for the count of what it
    // left alike.
    const int by_flags = parts.select_by_flags ? 1 : 0;
    if (report && parts.has_shared_strings) {
        const auto& flags = parts.shared_string_flags;
        masked.reserve(masked.size() +
                       (by_flags ? static_cast<std::size_t>(std::count(flags.begin(), flags.end(), 1)) : flags.size()));
        MaskedItemTexts collect(root_element_prefix(parts.shared_strings), masked);
        const std::vector<std::uint64_t>& owners = parts.item_owners;
        found.unmasked_items = preview_masked_items(parts.shared_strings, parts.shared_string_flags, by_flags, s,
                                                    [&](std::size_t index, std::string_view item) {
                                                        ++found.shared_strings;
                                                        collect.add(item, index < owners.size() ? owners[index] : 0);
                                                    });
    }
    if (int rc = swap_thumbnails(reg, entries, Direction::mask, key); rc != RC_OK) return rc;
    const auto table = [](std::string_view name) { return name == SHARED_STRINGS_NAME; };
    if (report) found.leaks = scan_package_for_leaks(reg, masked, std::not_fn(table));

    // Every part still as it was unpacked is copied into the output as stored.
    parts.shared_strings = {};
    for (const auto& f : reg.slots)
        if (f && f->state != MFILE_REMOVED && !table(f->name)) mdrop_plain(f.get());

    if (parts.has_shared_strings)
        if (int rc = mask_shared_strings(reg, parts.shared_string_flags, by_flags, s, key); rc != RC_OK)
            return rc;
    // Last, once every other backup exists: their content types are part of what it keeps.
    if (int rc = back_up_package(reg, original, key); rc != RC_OK) return rc;
    if (live_streams(reg) + folder_entries(reg) >= ZIP_MAX_ENTRIES) return RC_SIZE_LIMIT;
    if (report) {
        std::vector<LeakFinding> in_table = scan_package_for_leaks(reg, masked, table);
        found.leaks.insert(found.leaks.end(), in_table.begin(), in_table.end());
        order_by_entries(reg, found.leaks);
        if (ctx.has_column_list()) found.cells = parts.target_cells;
        found.inline_cells_left = parts.inline_cells_left;
        found.values = parts.values;
        found.values_left_parts = parts.values_left_parts;
        found.column_warnings = parts.column_warnings;
        found.columns = std::move(parts.columns);
        attribute_leaks(found.leaks, found.columns);
        found.texts_looked_for = masked.size();
        found.produced = true;
        *report = std::move(found);
    }
    return RC_OK;
}

int transform(MfileRegistry& reg, std::vector<std::string>& entries, const StoredSettings& settings,
              const FileContext& ctx, const BackupKey* given_key, MaskReport* report, MergeReport* merge) {
    // Without a key, the original format under the stored password.
    const BackupKey original = BackupKey::original(settings.password);
    const BackupKey& key = given_key ? *given_key : original;
    // The write reservation's 16-bit hash of "z" and the password would let whoever tries
    // passwords against a strong workbook pass over all but one in 32768 of them at no
    // cost: the strong format reserves with the built-in password instead.
    StoredSettings strong_settings;
    if (key.strong_key()) {
        strong_settings = settings;
        strong_settings.password.clear();
    }
    const StoredSettings& s = key.strong_key() ? strong_settings : settings;
    const Direction direction = ctx.process_direction;
    sort_entry_names(entries);
    // A package that still holds backups was masked before: masking it again would put
    // masked text into the backups, over the only copy of the original.
    if (direction == Direction::mask && holds_backups(entries)) return RC_FAIL;
    PackageParts parts;
    if (int rc = read_parts(reg, entries, s, key, ctx, parts, report != nullptr); rc != RC_OK) return rc;
    if (parts.created_shared_strings) entries.emplace_back(SHARED_STRINGS_NAME);
    // Every workbook package has a workbook part; without one there is nothing to mark.
    if (!parts.has_workbook) return RC_FAIL;

    if (direction == Direction::mask) {
        // A masked package must unpack again to be restored: refuse, before anything is
        // masked, one that its backups would push to the entry limit.
        if (entries_after_masking(reg, entries, parts, s) >= ZIP_MAX_ENTRIES) return RC_SIZE_LIMIT;
        return mask_package(reg, entries, parts, s, ctx, key, report);
    }
    // The package backup is judged before the restore rewrites the parts it keeps.
    std::optional<PackageRestore> package;
    if (!ctx.original_only)
        if (int rc = read_package_backup(reg, key, package); rc != RC_OK) return rc;
    if (int rc = restore_workbook_part(reg, parts, s, key); rc != RC_OK) return rc;
    MergeReport unused;
    MergeReport& given = merge ? *merge : unused;
    if (int rc = restore_parts(reg, parts, s, key, given); rc != RC_OK) return rc;
    if (int rc = restore_worksheets(reg, entries, key, given); rc != RC_OK) return rc;
    if (int rc = swap_thumbnails(reg, entries, direction, key); rc != RC_OK) return rc;
    return ctx.original_only ? RC_OK : restore_package(reg, entries, package);
}

}  // namespace

std::vector<LeakFinding> scan_package_for_leaks(const MfileRegistry& reg, const MaskedTexts& texts,
                                               const std::function<bool(std::string_view)>& wanted) {
    std::vector<std::string> names;
    mlist(reg, names);
    sort_entry_names(names);
    std::vector<std::string> skipped = backup_entries(names);
    std::vector<LeakFinding> findings;
    if (texts.empty()) return findings;
    for (const std::string& name : names) {
        if (std::find(skipped.begin(), skipped.end(), name) != skipped.end() || (wanted && !wanted(name))) continue;
        scan_part(name, stream_bytes(reg, name), texts, findings);
    }
    return findings;
}

bool masks_numbers(const FileContext& ctx, const MaskSettings& s) {
    return ctx.has_column_list() ? !s.is_text_only : s.is_mask_numbers;
}

bool read_when_restoring(std::string_view name) {
    return name == WORKBOOK_NAME || name == "[Content_Types].xml" || name == "_rels/.rels" ||
           name == SHARED_STRINGS_NAME || is_backup_entry(name);
}

int transform_package(MfileRegistry& reg, std::vector<std::string>& entries, const StoredSettings& s,
                      const FileContext& ctx, MaskReport* report, MergeReport* merge, const BackupKey* key) {
    try {
        return transform(reg, entries, s, ctx, key, report, merge);
    } catch (const std::bad_alloc&) {
        return RC_NOMEM;
    }
}

int hsc_read_excel(MfileRegistry& reg, const std::filesystem::path& input_path, const StoredSettings& s,
                   const FileContext& ctx, MaskReport* report) {
    try {
        std::vector<std::string> entries;
        const int rc = unzip_package(reg, ZIP_MODE_MEMORY, input_path, {}, ZIP_MAX_ENTRIES, entries);
        if (rc == RC_SIZE_LIMIT || rc == RC_NOMEM) return rc;
        if (rc != RC_OK) return RC_FAIL;
        return transform(reg, entries, s, ctx, nullptr, report, nullptr);
    } catch (const std::bad_alloc&) {
        return RC_NOMEM;
    }
}

}  // namespace hsc
