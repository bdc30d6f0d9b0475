#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "core/catalog.h"
#include "core/column_choice.h"

// The column choice as people write it: the text of --columns and of the window's
// column field, and the profile file. Both are read and written here and nowhere else.
namespace hsc {

// What is wrong with a choice; `detail` names the item, sheet or key, `line` counts the
// profile's lines from 1 (0 in a column text).
enum class ChoiceProblem {
    too_long,               // more bytes than the column setting holds
    too_many_columns,       // more letters than a set holds
    empty_header,           // "h:" with nothing after it
    not_a_letter,           // "col:" before something that is no column
    unclosed_quote,         // a quoted sheet name without its closing quote
    no_bang,                // a quoted sheet name not followed by '!'
    empty_sheet_name,
    sheet_twice,
    sheet_without_columns,  // "顧客!" with nothing after it
    two_general,            // two parts without a sheet name
    // The profile only.
    no_profile_line,        // the first line is not PROFILE_FIRST_LINE
    bad_line,               // neither a section, a key = value, a comment nor blank
    key_outside_section,
    unknown_key,
    key_twice,
    bad_header_row,
    bad_flag,
    section_twice,
};
struct ChoiceError {
    ChoiceProblem problem = ChoiceProblem::too_long;
    std::string detail;
    std::size_t line = 0;
};

// The first line of every profile; another version is refused.
inline constexpr std::string_view PROFILE_FIRST_LINE = "hushcel-profile 1";

// Reads a column text: "B,氏名" for every worksheet, "顧客!B,C;注文!E" per worksheet,
// "'A!b'!C" for a sheet name with '!', ';' or ',' (a quote doubled inside). A part
// without a sheet name is the general choice. Items are letters ("B", "$B", "B7"),
// header texts, "h:" + a header text, "col:" + a letter. Every set takes `header_row`
// (one-based) and `keep_header`.
std::optional<ColumnChoice> parse_column_text(std::string_view text, int header_row, bool keep_header,
                                              ChoiceError& error);

// The column text of `choice`, which parse_column_text reads back as it is but for the
// header rows and keep-header, which a column text does not hold; nothing when a header
// text cannot be written in one (it holds ',', ';' or '!').
std::optional<std::string> column_text(const ColumnChoice& choice);

// A sheet name as the column text writes it: quoted when it must be.
std::string sheet_in_column_text(std::string_view sheet);

// Reads a profile (UTF-8):
//   hushcel-profile 1
//   [*]                     the general choice
//   header-row = 1
//   keep-header = yes
//   column = B
//   [顧客]                  a worksheet by its name (sheet names never hold ']')
//   header-row = 3
//   column = 氏名
// One item per "column" line; a worksheet's header-row and keep-header default to the
// general section's, the general section's to 1 and no. '#' starts a comment line.
std::optional<ColumnChoice> parse_profile(std::string_view text, ChoiceError& error);

// The profile of `choice`, every value written; parse_profile reads it back equal.
std::string profile_text(const ColumnChoice& choice);

// The choice of the profile file `path`; nothing, with `message` saying why (in `lang`),
// when it cannot be read or is no profile.
std::optional<ColumnChoice> read_profile_file(const std::filesystem::path& path, Lang lang, std::string& message);
// Writes profile_text(choice) to `path`, replacing the file; the errno that stopped it,
// or 0.
int write_profile_file(const std::filesystem::path& path, const ColumnChoice& choice);

}  // namespace hsc

namespace hsc {

struct WorkbookSuggestion;

// The choice that masks exactly the proposed columns of each worksheet (by letter) and
// keeps each worksheet's header row; the worksheets without a proposal are not named,
// and no general set is given, so they stay as they are.
ColumnChoice suggestion_choice(const WorkbookSuggestion& s);

// Whether one column text with one --header-row and --keep-header gives `choice`: every
// set has the same header row and keep-header.
bool one_header_row(const ColumnChoice& choice);

// What is wrong, in words; the profile's line is the caller's to say.
std::string choice_problem_text(Lang lang, const ChoiceError& error);

}  // namespace hsc
