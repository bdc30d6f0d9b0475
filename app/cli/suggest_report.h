#pragma once

#include <string>

#include "engine/suggest.h"

namespace hsc::cli {

// The suggestion of one workbook as lines for the terminal (after "FILE: ") and as the
// members of its JSON object. Neither ever holds a cell's value: only column letters,
// kinds, the header words of our own list and counts.
std::string suggestion_text(const WorkbookSuggestion& s, std::size_t sample_rows);
std::string suggestion_json(const WorkbookSuggestion& s, std::size_t sample_rows);

// Why no suggestion could be made, as the user reads it; empty for SuggestStatus::ok.
std::string suggestion_error(SuggestStatus status, const std::string& input);

}  // namespace hsc::cli
