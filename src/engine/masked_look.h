#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/catalog.h"
#include "engine/suggest.h"

// A workbook that looks masked but carries neither footer nor backups: a spreadsheet
// program opened a masked copy and saved it, dropping our entries and the zip comment.
// Masking it again would keep masked text as the "original"; restoring it from itself is
// impossible. It is recognised by evidence, never by one weak sign: a real list may have
// a few "●●●" cells, and anybody may begin a file name with "●".
namespace hsc {

// What a masking of `step` (1 strong, 2 medium, 3 weak) would have to leave in a text.
enum class MaskFit {
    fits,         // every position masking replaces holds a mask character, and one of them is not a digit
    contradicts,  // some position masking replaces holds a character masking never writes
    neutral,      // nothing to tell: no such position, or digits only
};
MaskFit mask_fit(std::string_view shown, int step);

// A column in which nearly every cell reads as masked text or a masked value.
struct MaskedColumn {
    std::string sheet;
    int column = 0;            // zero-based
    std::size_t masked = 0;    // cells that fit a masking
    std::size_t others = 0;    // cells that contradict one
    std::size_t distinct = 0;  // different masked texts
    std::size_t spaced = 0;    // of those, mask characters on both sides of another character
    bool spaced_form() const;
};

struct MaskedLook {
    bool masked_name = false;   // the file name begins with "●"
    bool reservation = false;   // the write reservation masking sets (user name "Hushcel")
    std::size_t masked_cells = 0;         // cells that fit a masking, in all sheets
    std::vector<MaskedColumn> columns;    // the columns that read as masked
    bool looks_masked() const;
    // "Sheet1!B, Sheet1!E" for the user.
    std::string column_list() const;
};

// The signs found, for the user: "columns of mask characters only: Sheet1!B; its name
// begins with ●".
std::string masked_look_text(const MaskedLook& look, Lang lang);

// Judges the sampled cells, the workbook part's text and the file name.
MaskedLook judge_masked_look(std::string_view file_name, const WorkbookStrings& strings);

// The rows of each worksheet read for the judgement.
inline constexpr std::size_t MASKED_LOOK_ROWS = 2000;

// Reads the file (the start of each worksheet, the workbook part) and judges it. A file
// that cannot be read as a workbook does not look masked.
MaskedLook masked_look_of_file(const std::filesystem::path& path);

}  // namespace hsc
