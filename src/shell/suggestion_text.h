#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "core/catalog.h"
#include "engine/suggest.h"

namespace hsc {

// The suggestion of one workbook as lines for a person to read (the terminal, the
// window's question). It never holds a cell's value: only column letters, kinds, the
// header words of our own list and counts. The kinds stay the identifiers of the JSON.
// (Japanese unless told: the window's calls predate the language.)
// Where the suggestion's command is to run: the workbook as the user named it, and the
// profile the command reads when the caller writes one.
struct SuggestionRun {
    std::string input;
    std::optional<std::string> profile;
};
// With `run`, the text ends with the command that masks what is proposed (or says that
// the header rows need a profile).
std::string suggestion_text(const WorkbookSuggestion& s, std::size_t sample_rows, Lang lang = Lang::ja,
                            const SuggestionRun* run = nullptr);

// The command that masks exactly the proposed columns of each sheet of `run.input` and
// keeps their header rows, quoted for a POSIX shell: by --columns, or by --profile when
// `run.profile` is given. Empty when nothing is proposed, or when the sheets' header rows
// differ and no profile is given (a column text holds one header row only).
std::string suggested_command(const WorkbookSuggestion& s, const SuggestionRun& run);

// `word` as one word of a POSIX shell command: as it is when that is safe, else in
// single quotes (a quote inside as '\'').
std::string shell_quoted(std::string_view word);

// Why no suggestion could be made, as the user reads it; empty for SuggestStatus::ok.
std::string suggestion_error(SuggestStatus status, const std::string& input, Lang lang = Lang::ja);

}  // namespace hsc
