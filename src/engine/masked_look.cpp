#include "engine/masked_look.h"

#include <algorithm>
#include <map>
#include <new>
#include <set>
#include <utility>

#include "engine/text_mask.h"
#include "os/file.h"

namespace hsc {
namespace {

// How many points each sign is worth; a workbook looks masked from LOOK_POINTS on, and
// only with some evidence in its cells. One column of varied masked texts and the ● name,
// or the reservation, or two such columns, or one long one, or one whose texts keep the
// spaces and signs of names and addresses ("●● ●●●"), make it; a few "●●●" cells and the
// name do not.
constexpr int NAME_POINTS = 1;
constexpr int RESERVATION_POINTS = 2;
constexpr int COLUMN_POINTS = 2;       // a column that reads as masked
constexpr int LONG_COLUMN_POINTS = 3;  // one with many different masked texts, or with spaced ones
constexpr int SCATTERED_POINTS = 1;    // masked-looking cells, but no such column
constexpr int CELL_POINTS_MAX = 4;
constexpr int LOOK_POINTS = 3;

// A column reads as masked when at least this many of its cells fit a masking, with this
// many different texts, and they are at least COLUMN_SHARE of the cells that can tell.
constexpr std::size_t COLUMN_CELLS = 5;
constexpr std::size_t COLUMN_DISTINCT = 3;
constexpr double COLUMN_SHARE = 0.8;
constexpr std::size_t LONG_COLUMN_CELLS = 50;
constexpr std::size_t LONG_COLUMN_DISTINCT = 10;
constexpr std::size_t SCATTERED_CELLS = 3;

constexpr std::string_view MASKING_USER = "Hushcel";  // the user name masking reserves with

bool is_ascii_alnum(char c) { return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z'); }

std::size_t utf8_length(unsigned char lead) {
    return lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

// The masker's turns over a text as a spreadsheet shows it: a multi-byte character
// every `step` of them, a single byte every `step` of them (spaces counted or not, as
// the run was written with or without xml:space="preserve").
MaskFit fit_with(std::string_view shown, int step, bool count_spaces) {
    int multi = 0, single = 0;
    bool told = false;
    for (std::size_t i = 0; i < shown.size();) {
        const std::size_t n = std::min(utf8_length(static_cast<unsigned char>(shown[i])), shown.size() - i);
        const std::string_view c = shown.substr(i, n);
        i += n;
        if (n > 1) {
            if (++multi < step) continue;
            multi = 0;
            if (mask_character(c) != n) return MaskFit::contradicts;
            told = true;
            continue;
        }
        if (c[0] == ' ' && !count_spaces) continue;
        if (++single < step) continue;
        single = 0;
        if (mask_character(c) == 1) {
            // A digit mask alone says nothing: "900" is a number as often as a masked one.
            told = told || !(c[0] >= '0' && c[0] <= '9');
        } else if (is_ascii_alnum(c[0])) {
            return MaskFit::contradicts;
        }
    }
    return told ? MaskFit::fits : MaskFit::neutral;
}

// A number as masking leaves it: every digit it replaces (before any exponent) is 9, and
// at least three are, since "99" is as often a real value. A number of zeros written out
// in full ("0000000") is the zero mask; a spreadsheet program would write "0".
MaskFit number_fit(std::string_view value, int step) {
    int turn = 0;
    std::size_t nines = 0, zeros = 0, replaced = 0;
    bool all_zero = true;
    for (const char c : value) {
        if (c == 'E' || c == 'e') break;
        if (c < '0' || c > '9') continue;
        all_zero = all_zero && c == '0';
        zeros += c == '0';
        if (++turn < step) continue;
        turn = 0;
        ++replaced;
        nines += c == '9';
    }
    if (all_zero && zeros >= 3) return MaskFit::fits;
    if (nines != replaced) return MaskFit::contradicts;
    return replaced >= 3 ? MaskFit::fits : MaskFit::neutral;
}

// A date cell's masked value is always the same moment.
MaskFit date_fit(std::string_view date) { return date == "1900-01-01" ? MaskFit::fits : MaskFit::contradicts; }

MaskFit cell_fit(const StringCell& cell, int step) {
    switch (cell.kind) {
    case StringCell::Kind::number: return number_fit(cell.text, step);
    case StringCell::Kind::date: return date_fit(cell.text);
    case StringCell::Kind::text: break;
    }
    return mask_fit(cell.text, step);
}

// Mask characters on both sides of a character that is none: "●● ●●", "****.**@***",
// "山●太●". Masked names, readings, mail and addresses read so; a rating ("***"), a mark
// ("●●") or a hidden password ("********") does not.
bool spaced_mask_text(std::string_view shown) {
    bool mask_before = false, gap = false;
    for (std::size_t i = 0; i < shown.size();) {
        const std::size_t n = std::min(utf8_length(static_cast<unsigned char>(shown[i])), shown.size() - i);
        const bool mask = mask_character(shown.substr(i, n)) == n;
        i += n;
        if (mask && mask_before && gap) return true;
        if (mask) mask_before = true;
        else if (mask_before) gap = true;
    }
    return false;
}

struct ColumnCount {
    std::size_t masked = 0, others = 0;
    std::size_t values = 0;  // of the masked cells, numbers and dates
    std::set<std::string_view> texts, spaced;
    // Masked texts vary with what they hid; masked numbers of one kind look all alike, so
    // a column of them needs no variety, only its length.
    bool reads_masked() const {
        const double share = static_cast<double>(masked) / static_cast<double>(masked + others);
        return masked >= COLUMN_CELLS && share >= COLUMN_SHARE &&
               (texts.size() >= COLUMN_DISTINCT || values >= COLUMN_CELLS);
    }
};

}  // namespace

MaskFit mask_fit(std::string_view shown, int step) {
    const MaskFit a = fit_with(shown, step, true), b = fit_with(shown, step, false);
    if (a == MaskFit::fits || b == MaskFit::fits) return MaskFit::fits;
    return a == MaskFit::contradicts || b == MaskFit::contradicts ? MaskFit::contradicts : MaskFit::neutral;
}

// Most of its different masked texts keep the shape of what was masked: no ratings or
// marks look so.
bool MaskedColumn::spaced_form() const { return spaced >= COLUMN_DISTINCT && spaced * 2 >= distinct; }

bool MaskedLook::looks_masked() const {
    int cells = 0;
    for (const MaskedColumn& c : columns)
        cells += (c.masked >= LONG_COLUMN_CELLS && c.distinct >= LONG_COLUMN_DISTINCT) || c.spaced_form() ? LONG_COLUMN_POINTS
                                                                                                          : COLUMN_POINTS;
    if (cells == 0 && masked_cells >= SCATTERED_CELLS) cells = SCATTERED_POINTS;
    if (cells == 0) return false;
    const int points = std::min(cells, CELL_POINTS_MAX) + (masked_name ? NAME_POINTS : 0) +
                       (reservation ? RESERVATION_POINTS : 0);
    return points >= LOOK_POINTS;
}

std::string MaskedLook::column_list() const {
    std::string list;
    for (const MaskedColumn& c : columns) {
        if (!list.empty()) list += ", ";
        list += c.sheet + "!" + column_letters(c.column);
    }
    return list;
}

std::string masked_look_text(const MaskedLook& look, Lang lang) {
    std::vector<std::string> signs;
    if (!look.columns.empty()) signs.push_back(say(lang, Msg::look_columns, {look.column_list()}));
    else signs.push_back(say(lang, Msg::look_cells, {std::to_string(look.masked_cells)}));
    if (look.masked_name) signs.push_back(say(lang, Msg::look_name));
    if (look.reservation) signs.push_back(say(lang, Msg::look_reservation));
    std::string text;
    for (const std::string& sign : signs) text += (text.empty() ? "" : say(lang, Msg::look_separator)) + sign;
    return text;
}

MaskedLook judge_masked_look(std::string_view file_name, const WorkbookStrings& strings) {
    MaskedLook look;
    look.masked_name = file_name.starts_with("●");
    // <fileSharing ... userName="Hushcel"/>, with or without a prefix, in either quotes.
    for (std::size_t at = strings.workbook.find("fileSharing"); at != std::string::npos;
         at = strings.workbook.find("fileSharing", at + 1)) {
        const std::size_t end = strings.workbook.find('>', at);
        const std::string_view tag = std::string_view(strings.workbook).substr(at, end == std::string::npos ? std::string::npos : end - at);
        for (const char quote : {'"', '\''}) {
            const std::string attr = "userName=" + std::string(1, quote) + std::string(MASKING_USER) + quote;
            if (tag.find(attr) != std::string_view::npos) look.reservation = true;
        }
    }
    // One strength masked the whole workbook: the one under which most cells fit.
    std::vector<MaskedColumn> best;
    std::size_t best_cells = 0;
    for (int step = STEP_STRONG; step <= STEP_WEAK; ++step) {
        std::vector<MaskedColumn> columns;
        std::size_t cells = 0;
        for (const SheetStrings& sheet : strings.sheets) {
            std::map<int, ColumnCount> counts;
            for (const StringCell& cell : sheet.cells) {
                const MaskFit fit = cell_fit(cell, step);
                ColumnCount& count = counts[cell.column];
                if (fit == MaskFit::fits) {
                    ++count.masked;
                    count.values += cell.kind != StringCell::Kind::text;
                    count.texts.insert(cell.text);
                    if (spaced_mask_text(cell.text)) count.spaced.insert(cell.text);
                } else if (fit == MaskFit::contradicts) {
                    ++count.others;
                }
            }
            for (const auto& [column, count] : counts) {
                cells += count.masked;
                if (count.reads_masked())
                    columns.push_back({sheet.name, column, count.masked, count.others, count.texts.size(),
                                       count.spaced.size()});
            }
        }
        if (cells > best_cells) {
            best_cells = cells;
            best = std::move(columns);
        }
    }
    look.masked_cells = best_cells;
    look.columns = std::move(best);
    return look;
}

MaskedLook masked_look_of_file(const std::filesystem::path& path) {
    try {
        const WorkbookStrings strings = sample_workbook_strings(path, MASKED_LOOK_ROWS);
        if (strings.status != SuggestStatus::ok) return {};
        return judge_masked_look(os::path_u8(path.filename()), strings);
    } catch (const std::bad_alloc&) {
        return {};
    }
}

}  // namespace hsc
