#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/mask_settings.h"

// The character masker and the passes that find the text runs of the shared-string
// table and of drawing parts. Everything works in place and keeps every byte length.
namespace hsc {

// Whether a run may hold the "_xHHHH_" escapes of cell text (one character each, such
// as _x000D_ for a carriage return). Drawing text has none.
enum class RunEscapes { none, cell_text };

// A mask character, of any choice of the settings, at the start of `text`: its byte
// length, or 0.
std::size_t mask_character(std::string_view text);

// Masks one run of XML text (UTF-8 with entity references) in place. Every
// `mask_step`-th character of each class is replaced: three-byte characters by the
// `mask_mchar` character, two-byte characters by the `mask_wchar` character and
// four-byte characters by two of those, ASCII letters by `mask_char`, digits by
// `mask_number`. Entity references (and, in cell text, _xHHHH_ escapes) stay whole and
// uncounted; with `preserve` spaces are not counted. Nothing outside the span is read or
// written. Returns 0.
int mask_text_run(std::span<char> run, bool preserve, const MaskSettings& s,
                  RunEscapes escapes = RunEscapes::none);

// Masks a number as a cell stores it ("-12.5E+3") in place: every `mask_step`-th digit of
// its mantissa becomes the `mask_number` character; signs, the point and the exponent
// stay, so it is still a number of the same length. Returns whether a byte changed.
bool mask_number_text(std::span<char> value, const MaskSettings& s);
// Masks the date or time of an ISO 8601 cell value ("1985-03-12", "T09:30:00") in place to
// a fixed moment of the same form ("1900-01-01", "T00:00:00"), so that it stays a valid
// date whatever the mask characters. Returns whether a byte changed.
bool mask_iso_date(std::span<char> value);
// Masks the text literals of a formula as the content of <f> stores it (XML-escaped) in
// place, like cell text: "=\"Mr \"&A2" keeps its function names, references, numbers and
// quoted sheet names, and shows masked text once recalculated. A quote is '"' or
// "&quot;"; two of them inside a literal are one quote and stay. Returns whether a byte
// changed.
bool mask_formula_literals(std::span<char> formula, const MaskSettings& s);
// The masking pass over the shared-string table. With `target_column_count` 0 every
// item is masked; otherwise only items whose entry in `flags` is non-zero.
void mask_shared_strings_text(std::string& text, const std::vector<std::uint8_t>& flags,
                              int target_column_count, const MaskSettings& s);

// What mask_shared_strings_text would do to the table, without changing it:
// `changed(item)` with the content, as it is now, of each selected item that masking
// changes. Returns the number of selected items masking leaves as they are although
// they hold text the settings mask (in elements the masker does not reach).
std::size_t preview_masked_items(std::string_view text, const std::vector<std::uint8_t>& flags,
                                 int target_column_count, const MaskSettings& s,
                                 const std::function<void(std::string_view)>& changed);
// The same, with the index of each changed item.
std::size_t preview_masked_items(std::string_view text, const std::vector<std::uint8_t>& flags,
                                 int target_column_count, const MaskSettings& s,
                                 const std::function<void(std::size_t, std::string_view)>& changed);

// The masking pass over a drawing part: the text of every <a:t> element.
void mask_drawing_text(std::string& text, const MaskSettings& s);

}  // namespace hsc
