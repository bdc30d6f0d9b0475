#pragma once

#include <cstddef>
#include <string>

#include "engine/suggest.h"

namespace hsc::cli {

// The suggestion of one workbook as further members of its JSON object
// (",\"suggestion\":{...}"). Like the text, it never holds a cell's value.
std::string suggestion_json(const WorkbookSuggestion& s, std::size_t sample_rows);

}  // namespace hsc::cli
