#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hsc {

// Where the text of a masked string was still found readable after masking.
enum class LeakKind {
    shared_strings,   // another item of the shared-string table
    inline_strings,   // a cell that holds its own string
    formula_results,  // a cell's cached value (t="str" and the like)
    formulas,         // a string literal inside a formula
    comments,         // comments, threaded comments and their persons
    vml,              // legacy drawings (comment boxes, form controls)
    shapes,           // drawing parts whose text was not masked
    charts,           // chart caches and titles
    pivot_cache,      // pivot cache definitions and records
    pivot_table,      // pivot table parts
    doc_properties,   // docProps/*
    headers_footers,  // page headers and footers
    defined_names,    // defined names of the workbook
    sheet_names,      // sheet names of the workbook
    hyperlinks,       // hyperlink targets, tooltips and display texts
    data_validation,  // validation lists, prompts and messages
    filters,          // values of autoFilters and custom views' filters
    scenarios,        // input values of what-if scenarios
    external_links,   // cached values of linked workbooks
    custom_xml,       // customXml/*
    other,            // any other XML part or element
};

// The stable name of a kind, as --json prints it ("pivot-cache", ...).
std::string_view leak_kind_name(LeakKind kind);

// Matches of masked texts found in one part, for one kind. The text is never kept.
struct LeakFinding {
    LeakKind kind = LeakKind::other;
    std::string part;
    std::size_t count = 0;
    // The columns of the report whose masked texts these are: bit k for MaskReport::columns[k]
    // (k < 63), bit 63 for the later ones (those share it); 0 when no column is known.
    std::uint64_t columns = 0;
    bool operator==(const LeakFinding&) const = default;
};

// One warning of a report: a stable kind (one of the WARNING_ names or a leak kind's name) and
// the parts it was found in, in the order of the findings.
struct ReportWarning {
    std::string kind;
    std::vector<std::string> parts;
    std::string header;  // the header text of the column list it is about, if any
    bool operator==(const ReportWarning&) const = default;
};
inline constexpr std::string_view WARNING_NOTHING_MASKED = "nothing-masked";
// A header text of the column list that some worksheets (the parts) do not have.
inline constexpr std::string_view WARNING_HEADER_NOT_FOUND = "header-not-found";
// A header cell that stays readable by choice shows masked: its shared string is also
// the value of a masked cell.
inline constexpr std::string_view WARNING_HEADER_MASKED = "header-masked";
// Selected shared strings the masker left readable, inline strings of chosen columns that
// could not be masked.
inline constexpr std::string_view WARNING_UNMASKED_STRINGS = "unmasked-strings";
inline constexpr std::string_view WARNING_UNMASKED_INLINE_STRINGS = "unmasked-inline-strings";
// Numbers, dates or plain-text cells of chosen columns that the settings left readable
// (a mask character "none").
inline constexpr std::string_view WARNING_UNMASKED_VALUES = "unmasked-values";

// Cells that hold their own value, masked in place, by kind.
struct ValueCounts {
    std::size_t numbers = 0;   // number cells
    std::size_t dates = 0;     // dates: ISO dates (t="d") and numbers whose cell style shows a date
    std::size_t texts = 0;     // plain text cells (t="str")
    std::size_t formulas = 0;  // of the above, formula cells whose cached value was masked
    std::size_t left = 0;      // cells of those kinds whose value the settings leave readable
    std::size_t literals = 0;  // formula cells whose text literals were masked
    std::size_t changed() const { return numbers + dates + texts + literals; }
    ValueCounts& operator+=(const ValueCounts& o) {
        numbers += o.numbers, dates += o.dates, texts += o.texts, formulas += o.formulas, left += o.left,
            literals += o.literals;
        return *this;
    }
    bool operator==(const ValueCounts&) const = default;
};

// What became of the cells of one chosen column of one worksheet (every column with
// cells, without a column list).
struct ColumnReport {
    std::string part;   // the worksheet part
    std::string sheet;  // its name in the workbook; empty when the workbook gives none
    int column = 0;     // zero-based
    std::string header; // the header text it was chosen by, if it was
    // Masked, by kind: text cells (shared, inline and plain strings), numbers, dates; of
    // those, formula cells whose cached value was masked.
    std::size_t texts = 0, numbers = 0, dates = 0, formulas = 0;
    // Left as they are, with nothing personal to read: formula cells whose result was not
    // masked (none cached, a boolean or an error), booleans, errors, cells without a value,
    // and cells of a kept header (or a table's header and totals rows).
    std::size_t formulas_left = 0, booleans = 0, errors = 0, empty = 0, header_kept = 0;
    // Numbers and dates that the settings keep readable on purpose (--text-only, or no
    // column list without --numbers).
    std::size_t numbers_kept = 0;
    // Left readable against the choice: values the mask characters leave as they are
    // ("none"), and inline strings that could not be masked.
    std::size_t unmasked = 0, inline_left = 0;
    // Masked texts of this column still readable elsewhere (kinds and parts, no counts).
    std::vector<LeakFinding> found_elsewhere;

    std::size_t masked() const { return texts + numbers + dates; }
    // Something of the column can still be read though the column was chosen.
    bool readable() const { return unmasked > 0 || inline_left > 0 || !found_elsewhere.empty(); }
    bool operator==(const ColumnReport&) const = default;
};

// The bit of LeakFinding::columns that stands for column `index` of a report.
inline std::uint64_t column_bit(std::size_t index) { return std::uint64_t{1} << (index < 63 ? index : 63); }

// What masking one workbook did, and what of the masked text is still readable.
struct MaskReport {
    bool produced = false;              // set by a masking that ran to its end
    std::size_t shared_strings = 0;     // items of the shared-string table the masker changed
    std::optional<std::size_t> cells;   // shared-string cells of the chosen columns (all masked);
                                        // none when every string is masked (no column list)
    std::size_t shapes = 0;             // texts of drawing parts the masker changed
    std::size_t unmasked_items = 0;     // selected items the masker left with text it masks
    std::size_t inline_cells_left = 0;  // inline strings of chosen columns that could not be masked
    std::size_t texts_looked_for = 0;   // masked texts the leak scan searched for
    // Cells that hold their own values, masked in place, and the worksheets where such
    // cells of the chosen columns stay readable.
    ValueCounts values;
    std::vector<std::string> values_left_parts;
    std::vector<LeakFinding> leaks;
    // What the column list met: header texts missing in some worksheets, header cells
    // that show masked (kinds WARNING_HEADER_NOT_FOUND, WARNING_HEADER_MASKED).
    std::vector<ReportWarning> column_warnings;
    // Per chosen column of each worksheet, in worksheet and column order.
    std::vector<ColumnReport> columns;

    bool nothing_masked() const { return shared_strings == 0 && shapes == 0 && values.changed() == 0; }
    // Nothing to warn about: something was masked, nothing chosen stayed readable, the
    // column list met no trouble and none of it was found elsewhere.
    bool complete() const {
        return !nothing_masked() && unmasked_items == 0 && inline_cells_left == 0 && values.left == 0 && leaks.empty() &&
               column_warnings.empty() && std::none_of(columns.begin(), columns.end(), [](const ColumnReport& c) {
                   return c.readable();
               });
    }
};

// The warnings of a produced report: "nothing-masked", then the text of chosen columns
// left unmasked, then those of the column list, then one per leak kind.
std::vector<ReportWarning> report_warnings(const MaskReport& report);

}  // namespace hsc
