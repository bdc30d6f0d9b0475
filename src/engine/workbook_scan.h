#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/mask_report.h"
#include "core/mask_settings.h"

// Selection of the shared strings to mask: which items do cells of the target columns
// refer to.
namespace hsc {

// Number of string items of the shared-string table: every <si> element, empty or not.
std::size_t count_shared_string_items(std::string_view shared_strings);

// A block of cells (zero-based, bounds included) that stays readable whatever the
// column list says: the header row, or the header and totals rows of a table.
inline constexpr int KEPT_HEADER_ROW = -1;  // owner of the header row's block
struct CellBlock {
    int first_row = 0, last_row = 0, first_column = 0, last_column = 16383;
    int owner = KEPT_HEADER_ROW;  // or the index of the table it belongs to
};

// What is chosen in one worksheet: the columns (the letters of the list and the columns
// whose header cell holds one of its header texts), or every column, and the cells that
// are never marked.
struct SheetSelection {
    bool every_column = false;  // no column list: every cell is a target
    std::vector<int> columns;   // zero-based
    std::vector<CellBlock> kept;
};

// The letter columns of `ctx` (every column without a column list), nothing kept yet.
SheetSelection letter_selection(const FileContext& ctx);

// Bits of the flags that scan_worksheet sets per shared-string item.
inline constexpr std::uint8_t STRING_TARGET = 1;  // the value of a target cell
inline constexpr std::uint8_t STRING_KEPT = 2;    // the value of a cell that stays readable

// A shared string used by a kept cell, and whose block it was.
struct KeptUse {
    std::size_t index;
    int owner;
};

// Sets STRING_TARGET in flags[N] for every shared-string cell of a chosen column (not in
// a kept block) whose value is N < flags.size(), and STRING_KEPT for such cells of the
// kept blocks (listed in `kept_uses` when given); returns the number of target cells.
// Never fails: what does not parse flags nothing.
std::size_t scan_worksheet(std::string_view sheet, const SheetSelection& selection, std::vector<std::uint8_t>& flags,
                           std::vector<KeptUse>* kept_uses = nullptr);

// Turns the inline-string cells of the chosen columns (of every column when none are
// chosen) into shared-string cells, except those of the kept blocks: t="inlineStr"
// becomes t="s" and the <is> element a <v> with the next index, counting from
// `next_index`. The string of each cell is appended to `items` as an <si> item, its
// markup written with the table's element prefix `table_prefix`. Returns the number of
// cells turned; with 0 the sheet is untouched. Cells of those columns without a
// well-formed <is> element are added to `unconverted`.
std::size_t convert_inline_strings(std::string& sheet, const SheetSelection& selection, std::string_view table_prefix,
                                   std::size_t next_index, std::string& items, std::size_t& unconverted);

// What masking a worksheet's values changed, kept so that the worksheet as it was can be
// had again from the masked one without a copy of the whole: the place and the original
// bytes of each value.
class ValueUndo {
public:
    // The value at `at` was `original` (the masked one has its length).
    void record(std::size_t at, std::string_view original);
    // Puts the original values back into `sheet`: the worksheet as masked (or a copy of it).
    void apply(std::span<char> sheet) const;
    std::size_t size() const { return at_.size(); }

private:
    std::vector<std::size_t> at_;
    std::vector<std::size_t> ends_;  // of each value's bytes in bytes_
    std::string bytes_;
};

// Masks in place, keeping every byte length, the values that the chosen cells (not those
// of the kept blocks) hold themselves: plain text (t="str") always, and with `numbers`
// numbers and dates (no t, t="n", t="d"). A formula keeps its formula; its cached value is
// masked by the same rules. Booleans, errors and string cells (shared or inline) stay.
// `undo` (when given) records each value that changed; `masked_value` (when given) gets
// each such value as it was; `date_styles` says per cell style whether a number shows as
// a date (counted as a date then). Nothing is written when counts.changed() is 0.
ValueCounts mask_cell_values(std::span<char> sheet, const SheetSelection& selection, bool numbers,
                             const MaskSettings& s, ValueUndo* undo = nullptr,
                             const std::function<void(std::string_view)>& masked_value = nullptr,
                             const std::vector<bool>& date_styles = {});
// A cell's own value `before` masked into `value` as mask_cell_values does, keeping its
// length: `type` is the cell's t ("str", "n", "d"; "n" without one). True when it changed.
bool mask_value_bytes(std::string_view before, std::string& value, std::string_view type, const MaskSettings& s);
// Why masking left a value as it is: nothing in it a mask character stands for (digits,
// letters, other scripts), only characters that are their own mask already ("99" under
// the digit mask 9: masked all the same), or characters the settings pass by (a mask
// character "none"), which stay readable.
enum class Unchanged { nothing_to_mask, already_masked, readable };
Unchanged why_unchanged(std::string_view value, std::string_view type, const MaskSettings& s);

// A cell of the chosen columns as the masking passes see it, for a report of what they did.
struct ChosenCell {
    int row = -2, column = -2;    // zero-based; -2 when the markup does not say
    bool kept = false;            // in a kept block (the header row, a table's header or totals)
    bool empty = false;           // "<c .../>"
    bool formula = false;         // holds an <f>
    bool inline_string = false;   // t="inlineStr" with an <is> element
    std::string_view type;        // its t, "n" without one
    std::string_view style;       // its s
    std::string_view value;       // its <v> text, empty without one; of an inline string the
                                  // content of its <is>, or without one all it holds
};
// Calls visit(cell) for every cell of the chosen columns (every cell without a column
// list), in document order.
void for_each_chosen_cell(std::string_view sheet, const SheetSelection& selection,
                          const std::function<void(const ChosenCell&)>& visit);

// A text as header texts are compared: surrounding spaces trimmed, full-width ASCII
// letters, digits and signs (and the ideographic space) as their half-width forms.
std::string header_key(std::string_view text);

// A cell of the header row as the worksheet holds it: a shared-string index, or the
// shown text of an inline string.
struct HeaderCell {
    int column = 0;
    bool shared = false;
    std::size_t index = 0;  // with `shared`
    std::string text;       // without `shared`
};
// The string cells of row `row` (zero-based).
std::vector<HeaderCell> header_row_cells(std::string_view sheet, int row);

// One cell of a worksheet as it stands in the sheet's text, for callers that rewrite
// single cells: its place (zero-based; -2 when the markup does not say), its type
// attribute and where its pieces are.
struct SheetCell {
    int row = -2, column = -2;
    std::string_view type;        // the t value, empty without one
    bool has_type = false;
    std::size_t begin = 0;        // its '<'
    std::size_t tag_end = 0;      // just after its start tag
    std::size_t end = 0;          // just after its end tag (tag_end for "<c .../>")
    bool empty = false;           // "<c .../>"
};
// Every cell of the sheet, in document order.
std::vector<SheetCell> sheet_cells(std::string_view sheet);

// The sheet without the cached results of its formulas (each formula cell's <v>), so
// that a spreadsheet program computes them anew on opening; nothing when it has none.
std::optional<std::string> without_formula_results(std::string_view sheet);

// The content of every string item of the shared-string table, in order.
std::vector<std::string_view> shared_string_items(std::string_view shared_strings);

}  // namespace hsc
