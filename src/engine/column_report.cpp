#include "engine/column_report.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "engine/text_routines.h"

namespace hsc {
namespace {

// The column's entry of the report, made when first met.
class ColumnIndex {
public:
    ColumnIndex(std::vector<ColumnReport>& columns, const ColumnCountSetup& setup) : columns_(columns), setup_(setup) {}
    ColumnReport& at(int column, std::size_t& index) {
        for (std::size_t k = first_; k < columns_.size(); ++k)
            if (columns_[k].column == column) return columns_[index = k];
        ColumnReport c;
        c.part = setup_.part;
        c.sheet = setup_.sheet;
        c.column = column;
        columns_.push_back(std::move(c));
        index = columns_.size() - 1;
        return columns_.back();
    }

private:
    std::vector<ColumnReport>& columns_;
    const ColumnCountSetup& setup_;
    const std::size_t first_ = columns_.size();  // this sheet's entries begin here
};

bool parse_index(std::string_view text, std::size_t& index) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), index);
    return ec == std::errc() && end == text.data() + text.size();
}

std::string two(unsigned n) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%02u", n % 100);
    return buffer;
}

// The forms of a day (and a time of it, in seconds; -1 for none) as date_texts gives them.
std::vector<std::string> day_forms(std::chrono::year_month_day day, long seconds) {
    const int y = static_cast<int>(day.year());
    if (!day.ok() || y < 1900 || y > 9999) return {};
    const unsigned m = static_cast<unsigned>(day.month()), d = static_cast<unsigned>(day.day());
    const std::string iso = std::to_string(y) + "-" + two(m) + "-" + two(d);
    if (seconds > 0)
        return {iso + "T" + two(static_cast<unsigned>(seconds / 3600)) + ":" + two(static_cast<unsigned>(seconds / 60 % 60)) +
                ":" + two(static_cast<unsigned>(seconds % 60))};
    return {iso, iso + "T00:00:00", std::to_string(y) + "/" + two(m) + "/" + two(d),
            std::to_string(y) + "/" + std::to_string(m) + "/" + std::to_string(d)};
}

// "hh:mm:ss" (fraction and zone ignored) as seconds; -1 when it reads as no time.
long time_seconds(std::string_view t) {
    if (t.size() < 8 || t[2] != ':' || t[5] != ':') return -1;
    const auto part = [&](std::size_t at) {
        unsigned n = 0;
        const auto [end, ec] = std::from_chars(t.data() + at, t.data() + at + 2, n);
        return ec == std::errc() && end == t.data() + at + 2 ? static_cast<long>(n) : -1L;
    };
    const long h = part(0), m = part(3), s = part(6);
    if (h < 0 || m < 0 || s < 0 || h > 23 || m > 59 || s > 59) return -1;
    return h * 3600 + m * 60 + s;
}

}  // namespace

std::vector<std::string> date_texts(std::string_view value, bool iso, bool date1904) {
    using namespace std::chrono;
    if (iso) {
        // "1985-03-12", "1985-03-12T09:30:00"; a time alone ("T09:30:00") is no day.
        if (value.size() < 10 || value[4] != '-' || value[7] != '-') return {};
        int y = 0;
        unsigned m = 0, d = 0;
        if (std::from_chars(value.data(), value.data() + 4, y).ptr != value.data() + 4 ||
            std::from_chars(value.data() + 5, value.data() + 7, m).ptr != value.data() + 7 ||
            std::from_chars(value.data() + 8, value.data() + 10, d).ptr != value.data() + 10)
            return {};
        long seconds = 0;
        if (value.size() > 10) {
            if (value[10] != 'T') return {};
            seconds = time_seconds(value.substr(11));
            if (seconds < 0) return {};
        }
        return day_forms(year{y} / month{m} / day{d}, seconds);
    }
    double serial = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), serial);
    if (ec != std::errc() || end != value.data() + value.size() || !(serial >= 1) || serial >= 2958466) return {};
    const double whole = std::floor(serial);
    long seconds = std::lround((serial - whole) * 86400.0);
    auto days = static_cast<long>(whole);
    if (seconds >= 86400) ++days, seconds = 0;
    // Day 1 is 1900-01-01 and day 60 the 29th of February 1900 that the format counts
    // though it never was; from 61 on the days run from 1899-12-30.
    if (!date1904 && days == 60) return {};
    const sys_days origin = date1904            ? sys_days(year{1904} / January / 1)
                            : days < 60 ? sys_days(year{1899} / December / 31)
                                                : sys_days(year{1899} / December / 30);
    return day_forms(year_month_day(origin + std::chrono::days(days)), seconds);
}

void count_sheet_columns(std::string_view sheet, const SheetSelection& selection, const ColumnCountSetup& setup,
                         std::vector<ColumnReport>& columns, MaskedTexts& texts,
                         std::vector<std::uint64_t>& item_owners) {
    ColumnIndex index(columns, setup);
    std::size_t unused = 0;
    if (!selection.every_column) {
        std::vector<int> listed = selection.columns;
        std::sort(listed.begin(), listed.end());
        listed.erase(std::unique(listed.begin(), listed.end()), listed.end());
        for (int column : listed) index.at(column, unused);
    }
    const MaskSettings& s = *setup.settings;
    std::string masked;
    for_each_chosen_cell(sheet, selection, [&](const ChosenCell& cell) {
        if (cell.column < 0) return;  // a cell the markup places nowhere: no column to count it in
        std::size_t k = 0;
        ColumnReport& c = index.at(cell.column, k);
        const std::uint64_t bit = column_bit(k);
        if (cell.kept) {
            ++c.header_kept;
            return;
        }
        const std::string_view type = cell.type;
        if (cell.empty) {
            ++c.empty;
        } else if (type == "s") {
            std::size_t item = 0;
            if (!parse_index(cell.value, item)) {
                ++c.empty;
                return;
            }
            ++c.texts;
            if (item < item_owners.size()) item_owners[item] |= bit;
        } else if (type == "inlineStr") {
            if (!cell.inline_string) {
                // No string to turn: nothing in it is nothing readable, any other text stays.
                ++(std::all_of(cell.value.begin(), cell.value.end(), is_xml_space) ? c.empty : c.inline_left);
            } else if (setup.inline_joinable) {
                // Looked for once it has joined the table, if masking changes it there.
                ++c.texts;
            } else {
                ++c.inline_left;
            }
        } else if (type == "b" || type == "e") {
            ++(cell.formula ? c.formulas_left : type == "b" ? c.booleans : c.errors);
        } else if (type == "str" || type == "n" || type == "d") {
            const bool text = type == "str";
            if (cell.value.empty()) {
                ++(cell.formula ? c.formulas_left : c.empty);
            } else if (!text && !setup.numbers) {
                ++(cell.formula ? c.formulas_left : c.numbers_kept);
            } else {
                const bool changed = mask_value_bytes(cell.value, masked, type, s);
                const Unchanged why = changed ? Unchanged::already_masked : why_unchanged(cell.value, type, s);
                if (why == Unchanged::readable) {
                    ++c.unmasked;
                    return;
                }
                if (why == Unchanged::nothing_to_mask) {
                    ++c.empty;
                    return;
                }
                std::size_t style = 0;
                const bool date = type == "d" || (setup.date_styles && parse_index(cell.style, style) &&
                                                  style < setup.date_styles->size() && (*setup.date_styles)[style]);
                ++(text ? c.texts : date ? c.dates : c.numbers);
                if (cell.formula) ++c.formulas;
                if (!changed) return;  // reads the same masked: nothing to look for
                texts.add_raw(cell.value, bit);
                if (date)
                    for (const std::string& form : date_texts(cell.value, type == "d", setup.date1904))
                        texts.add(form, bit);
            }
        }
    });
}

void attribute_leaks(const std::vector<LeakFinding>& leaks, std::vector<ColumnReport>& columns) {
    for (std::size_t k = 0; k < columns.size(); ++k)
        for (const LeakFinding& f : leaks)
            if (f.columns & column_bit(k)) {
                LeakFinding mine = f;
                mine.columns = column_bit(k);
                columns[k].found_elsewhere.push_back(std::move(mine));
            }
}

bool uses_1904_dates(std::string_view workbook) {
    for (std::string_view on : {"date1904=\"1\"", "date1904=\"true\"", "date1904='1'", "date1904='true'"})
        if (workbook.find(on) != std::string_view::npos) return true;
    return false;
}

}  // namespace hsc
