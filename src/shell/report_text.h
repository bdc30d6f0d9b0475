#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "core/mask_report.h"

// The report of a masking in words a user reads: the window and the command line show
// the same sentences.
namespace hsc {

// "共有文字列 12件、セル 30件、図形の文字 2件" (the cells only when they were counted).
std::string report_counts_text(const MaskReport& report);

// One sentence per warning of the report, naming the parts where something was found.
std::vector<std::string> report_warning_texts(const MaskReport& report);

// What became of one file of a drop.
struct FileOutcome {
    enum class Result { masked, restored, failed };
    std::filesystem::path input, output;
    Result result = Result::failed;
    MaskReport report;                  // of a masking
    std::vector<std::string> messages;  // the failures reported for the file
};

// The line a file gets in the window: "●book.xlsx にマスクしました(共有文字列 ...)",
// "〇book.xlsx に復元しました", "book.xlsx は処理できませんでした: ...".
std::string outcome_text(const FileOutcome& outcome);

}  // namespace hsc
