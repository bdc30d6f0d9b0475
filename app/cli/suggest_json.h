#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "engine/suggest.h"

namespace hsc::cli {

// The suggestion of one workbook as further members of its JSON object
// (",\"suggestion\":{...}"). Like the text, it never holds a cell's value.
// `command` is the command that masks what is proposed (empty: none), `profile` the
// profile written for it.
std::string suggestion_json(const WorkbookSuggestion& s, std::size_t sample_rows, const std::string& command,
                            const std::optional<std::string>& profile);

}  // namespace hsc::cli
