#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "core/catalog.h"
#include "core/mask_report.h"
#include "core/merge_report.h"

// The report of a masking in words a user reads: the window and the command line show
// the same sentences.
namespace hsc {

// "共有文字列 12件、セル 30件、図形の文字 2件" (the cells only when they were counted).
std::string report_counts_text(const MaskReport& report, Lang lang);

// One sentence per warning of the report, naming the parts where something was found.
// (Japanese unless told: the window's calls predate the language.)
std::vector<std::string> report_warning_texts(const MaskReport& report, Lang lang = Lang::ja);

// What a column of the report is called: "Sheet1!C", and "Sheet1!C (電話番号)" when it was
// chosen by its header text.
std::string column_label(const ColumnReport& column);
// The report per column: one line per chosen column of each worksheet (what was masked,
// what was left and why, what is still readable).
std::vector<std::string> column_report_lines(const MaskReport& report, Lang lang);

// The counts of a restore into an edited workbook: given back, still masked, rows
// deleted, changed by the other side.
std::string merge_counts_text(const MergeReport& report, Lang lang);
// One sentence per kind of cell the restore could not give back, naming the cells
// ("Sheet1!B7"; after `max_cells` of a kind, "…" and how many more).
std::vector<std::string> merge_warning_texts(const MergeReport& report, Lang lang, std::size_t max_cells = 20);

// What became of one file of a drop.
struct FileOutcome {
    enum class Result { masked, restored, failed, cancelled };
    std::filesystem::path input, output;
    Result result = Result::failed;
    MaskReport report;                  // of a masking
    MergeReport merge;                  // of a restore that went cell by cell
    std::vector<std::string> messages;  // the failures reported for the file
    Lang lang = Lang::ja;               // the language the file was processed in
};

// The line a file gets in the window: "book.xlsx をマスクしました → ●book.xlsx(共有文字列 ...)",
// "●book.xlsx を復元しました → 〇●book.xlsx", "book.xlsx は処理できませんでした: ...".
std::string outcome_text(const FileOutcome& outcome, Lang lang);
// The same in the outcome's own language.
std::string outcome_text(const FileOutcome& outcome);

}  // namespace hsc
