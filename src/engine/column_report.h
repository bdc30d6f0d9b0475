#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/mask_report.h"
#include "core/mask_settings.h"
#include "engine/leak_scan.h"
#include "engine/workbook_scan.h"

// The report per column: what masking does to each cell of the chosen columns of a
// worksheet, counted beside the masking passes (it changes nothing).
namespace hsc {

// What the count needs to know of the run and of the worksheet.
struct ColumnCountSetup {
    std::string part;                // the worksheet part
    std::string sheet;               // its name in the workbook
    bool numbers = false;            // numbers and dates of the chosen columns are masked
    bool inline_joinable = true;     // inline strings can become shared strings
    bool date1904 = false;           // the workbook counts days from 1904
    const std::vector<bool>* date_styles = nullptr;  // per cell style: shows a number as a date
    const MaskSettings* settings = nullptr;
};

// Adds the chosen columns of one worksheet to `columns` (those of a column list first, in
// its order, even when they hold no cell; then any other column met, in the order met),
// counting each cell by what masking does to it. The texts of the values masking changes
// go into `texts` under their column's bit (column_bit), a date also in the forms a
// reader writes it elsewhere; the bit of each shared-string item a column's cell shows
// is set in `item_owners` (indices beyond its size are not recorded).
void count_sheet_columns(std::string_view sheet, const SheetSelection& selection, const ColumnCountSetup& setup,
                         std::vector<ColumnReport>& columns, MaskedTexts& texts,
                         std::vector<std::uint64_t>& item_owners);

// The written forms of a masked date a reader may find elsewhere in the package: from a
// date cell's serial number (`iso` false) or its ISO value (t="d"). A whole day gives
// "1985-03-12", "1985-03-12T00:00:00", "1985/03/12" and "1985/3/12"; a day with a time
// only "1985-03-12T09:30:00". Nothing for what reads as no date (a time alone, a serial
// before 1900 or past 9999).
std::vector<std::string> date_texts(std::string_view value, bool iso, bool date1904);

// Gives each column of the report the leak findings that hold its texts.
void attribute_leaks(const std::vector<LeakFinding>& leaks, std::vector<ColumnReport>& columns);

// Whether the workbook part counts its dates from 1904.
bool uses_1904_dates(std::string_view workbook);

}  // namespace hsc
