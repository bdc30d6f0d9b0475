#pragma once

#include <string>
#include <vector>

namespace hsc {

// The columns chosen in one worksheet (or in every worksheet not named on its own): the
// column letters, the header texts, and the header row where those are looked up.
struct ColumnSet {
    std::vector<int> letters;          // zero-based, in the order given
    std::vector<std::string> headers;  // as header_key makes them
    // The letter items written without "col:" ("SSN" as typed, upper case): a header cell
    // that holds the same text makes such an item ambiguous.
    std::vector<std::string> bare_letters;
    int header_row = 1;        // one-based
    bool keep_header = false;  // the header row stays readable also with letters only

    bool empty() const { return letters.empty() && headers.empty(); }
    // Cells of the header row are never marked.
    bool keeps_header_row() const { return keep_header || !headers.empty(); }
    bool operator==(const ColumnSet&) const = default;
};

// A worksheet named on its own, by the name the workbook gives it.
struct SheetColumns {
    std::string sheet;
    ColumnSet columns;
    bool operator==(const SheetColumns&) const = default;
};

// What a run masks: per named worksheet its own set, the general set for the others.
// Without any named worksheet an empty general set chooses every column (every shared
// string is masked); with named worksheets it chooses nothing, and the worksheets not
// named stay as they are.
struct ColumnChoice {
    ColumnSet general;
    std::vector<SheetColumns> sheets;

    bool has_list() const { return !general.empty() || !sheets.empty(); }
    // The set for the worksheet named `sheet`: its own, else the general one.
    const ColumnSet& for_sheet(const std::string& sheet) const {
        for (const SheetColumns& s : sheets)
            if (s.sheet == sheet) return s.columns;
        return general;
    }
    bool operator==(const ColumnChoice&) const = default;
};

}  // namespace hsc
