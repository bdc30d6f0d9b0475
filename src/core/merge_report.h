#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace hsc {

// A cell named in the report of a restore into an edited workbook: its sheet and its
// reference ("Customers", "B7").
struct MergeCell {
    std::string sheet, ref;
    bool operator==(const MergeCell&) const = default;
};

// What restoring the original texts into a workbook edited elsewhere did. The cells
// given back had exactly one original that fits; every other cell that still shows a
// masked text stays masked and is listed with the reason.
struct MergeReport {
    bool produced = false;  // set by a restore that went cell by cell
    std::size_t given_back = 0;
    // Still masked in the output: several originals fit (the same masked text in rows
    // that cannot be told apart) ...
    std::vector<MergeCell> ambiguous;
    // ... or no row of the source is this cell's row (a new row, a new sheet, a row
    // edited beyond recognition), or its text is not one the backups recorded.
    std::vector<MergeCell> unmatched;
    // Masked cells of the source whose row the edited workbook no longer has; named as
    // the source has them.
    std::vector<MergeCell> row_deleted;
    // Masked cells of the source whose row is there but whose text the other side
    // changed: their edit is kept. Named as the output has them when known.
    std::vector<MergeCell> changed;

    std::size_t left_masked() const { return ambiguous.size() + unmatched.size(); }
};

}  // namespace hsc
