#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/suggest_detect.h"

namespace hsc {

// A suggestion of the columns to mask: which columns of which worksheets look like
// personal data, judged by their header words and by the start of their values. Reads
// the workbook only (no password, nothing written) and never keeps more than a sample.

struct SuggestLimits {
    std::size_t sample_rows = 1000;  // data rows looked at per worksheet
    std::size_t header_rows = 10;    // rows above the data where a header may stand
    int reference_year = 0;          // this year (0: from the clock)
};

struct ColumnSuggestion {
    int column = 0;  // zero-based
    ColumnVerdict verdict;
    // What its cells below the header row hold, in the rows read: masking the column
    // masks all three.
    std::size_t texts = 0, numbers = 0, dates = 0;
    // Its shared strings that cells outside the proposal (other columns, header rows) also
    // use, in the rows read: masking the column masks them there too.
    std::size_t shared_elsewhere = 0;
};

struct SheetSuggestion {
    std::string name;          // as the workbook names it
    std::string part;          // its worksheet part, e.g. xl/worksheets/sheet1.xml
    int header_row = 0;        // one-based; 0 when no header word was found
    std::size_t rows_read = 0; // rows with cells that were looked at
    bool sampled = false;      // the worksheet has more rows than were looked at
    std::vector<ColumnSuggestion> columns;
    // Cells above the header row in proposed columns whose value looks like personal data
    // (one-based row, zero-based column): the header row and the rows above it stay
    // readable, so these are not masked by the proposal and need a look of their own.
    std::vector<std::pair<long, int>> kept_above;
};

enum class SuggestStatus { ok, cannot_open, not_a_workbook, damaged };

struct WorkbookSuggestion {
    SuggestStatus status = SuggestStatus::ok;
    std::vector<SheetSuggestion> sheets;
    // The suggested columns of all worksheets as a column list ("B,C,F"), ready for the
    // column setting.
    std::string columns;
};

WorkbookSuggestion suggest_columns(const std::filesystem::path& workbook, const SuggestLimits& limits = {});

// The text cells (shared, inline or plain strings), numbers and date cells of the first
// `rows` rows with cells of each worksheet, texts as a spreadsheet shows them, and the
// text of the workbook part: read the same bounded way as a suggestion.
struct StringCell {
    enum class Kind { text, number, date };
    long row = 0;  // one-based
    int column = 0;  // zero-based
    std::string text;  // a number as written in the cell; a date cell's date ("1985-03-12")
    Kind kind = Kind::text;
};
struct SheetStrings {
    std::string name;
    std::vector<StringCell> cells;
};
struct WorkbookStrings {
    SuggestStatus status = SuggestStatus::ok;
    std::string workbook;
    std::vector<SheetStrings> sheets;
};
WorkbookStrings sample_workbook_strings(const std::filesystem::path& workbook, std::size_t rows);

// The text a string item (the content of <si> or <is>) shows: its text runs, without
// the phonetic readings, references and escapes decoded.
std::string shown_item_text(std::string_view item_content);
// The text a cell's <v> shows (a t="str" cell): references and escapes decoded.
std::string shown_value_text(std::string_view value);

// Per cell style of a styles part (the s attribute of a cell): whether it shows a number
// as a date or time.
std::vector<bool> date_styles(std::string_view styles);

// A worksheet of the workbook: its name and its part ("xl/worksheets/sheet1.xml"), in
// the order of the workbook part, from the texts of "xl/workbook.xml" and its
// relationships. Chart and dialog sheets are not listed.
struct WorkbookSheet {
    std::string name, part;
};
std::vector<WorkbookSheet> workbook_sheets(std::string_view workbook, std::string_view rels);

// The column letters of a zero-based column number (0 -> A, 27 -> AB).
std::string column_letters(int column);

}  // namespace hsc
