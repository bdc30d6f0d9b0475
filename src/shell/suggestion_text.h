#pragma once

#include <cstddef>
#include <string>

#include "core/catalog.h"
#include "engine/suggest.h"

namespace hsc {

// The suggestion of one workbook as lines for a person to read (the terminal, the
// window's question). It never holds a cell's value: only column letters, kinds, the
// header words of our own list and counts. The kinds stay the identifiers of the JSON.
// (Japanese unless told: the window's calls predate the language.)
std::string suggestion_text(const WorkbookSuggestion& s, std::size_t sample_rows, Lang lang = Lang::ja);

// Why no suggestion could be made, as the user reads it; empty for SuggestStatus::ok.
std::string suggestion_error(SuggestStatus status, const std::string& input, Lang lang = Lang::ja);

}  // namespace hsc
