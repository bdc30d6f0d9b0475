#include "engine/choice_text.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <iterator>

#include "core/cp932.h"
#include "core/status.h"
#include "core/mask_settings.h"
#include "engine/suggest.h"
#include "engine/text_routines.h"
#include "engine/workbook_scan.h"

namespace hsc {
namespace {

constexpr int HEADER_ROW_LAST = 1048576;

std::string_view trim(std::string_view t) {
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t' || t.front() == '\r')) t.remove_prefix(1);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t' || t.back() == '\r')) t.remove_suffix(1);
    return t;
}

bool starts_with_ci(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(),
                      [](char a, char b) { return a == (b >= 'A' && b <= 'Z' ? b + 32 : b); });
}

// The column of an item that reads as a letter ("b", "$B", "B7"), if it does. Only
// items typed in ASCII are letters: "ＩＤ" is a header text.
std::optional<int> letter_column(std::string_view item) {
    if (!std::all_of(item.begin(), item.end(), [](char c) { return c >= 0x20 && c < 0x7F; })) return std::nullopt;
    const std::string letters = header_key(item);  // " B " reads as B
    if (letters.empty()) return std::nullopt;
    int row = 0, column = 0;
    if (parse_cell_ref(letters + "1", row, column) != RC_OK) return std::nullopt;  // B becomes B1
    return column;
}

// Adds one item of a column list to `set`.
bool add_item(std::string_view raw, ColumnSet& set, ChoiceError& error) {
    const std::string_view item = trim(raw);
    if (item.empty()) return true;
    const auto fail = [&](ChoiceProblem p) {
        error = {p, std::string(item), 0};
        return false;
    };
    const auto add_letter = [&](int column) {
        if (set.letters.size() >= TARGET_COLUMNS_MAX) return fail(ChoiceProblem::too_many_columns);
        set.letters.push_back(column);
        return true;
    };
    if (starts_with_ci(item, "col:")) {
        const auto column = letter_column(item.substr(4));
        return column ? add_letter(*column) : fail(ChoiceProblem::not_a_letter);
    }
    const bool forced = starts_with_ci(item, "h:");
    if (!forced)
        if (const auto column = letter_column(item)) {
            // Kept as the letters of the column, so that "$b" and "B" write back alike.
            const std::string letters = column_letters(*column);
            if (std::find(set.bare_letters.begin(), set.bare_letters.end(), letters) == set.bare_letters.end())
                set.bare_letters.push_back(letters);
            return add_letter(*column);
        }
    std::string header = header_key(forced ? item.substr(2) : item);
    if (header.empty()) return fail(ChoiceProblem::empty_header);
    set.headers.push_back(std::move(header));
    return true;
}

bool add_items(std::string_view list, ColumnSet& set, ChoiceError& error) {
    for (std::size_t p = 0; p <= list.size();) {
        const std::size_t comma = std::min(list.find(',', p), list.size());
        if (!add_item(list.substr(p, comma - p), set, error)) return false;
        p = comma + 1;
    }
    return true;
}

// The item text of a header that must read back as a header.
std::string header_item(const std::string& header) {
    // A leading quote would open a sheet name in a column text.
    const bool looks_other = letter_column(header) || starts_with_ci(header, "h:") || starts_with_ci(header, "col:") ||
                             header.starts_with("'");
    return looks_other ? "h:" + header : header;
}

// The items of a set in writing order: letters, then header texts.
std::vector<std::string> set_items(const ColumnSet& set) {
    std::vector<std::string> items;
    for (int column : set.letters) {
        const std::string letters = column_letters(column);
        const bool bare = std::find(set.bare_letters.begin(), set.bare_letters.end(), letters) != set.bare_letters.end();
        items.push_back(bare ? letters : "col:" + letters);
    }
    for (const std::string& h : set.headers) items.push_back(header_item(h));
    return items;
}

}  // namespace

std::optional<ColumnChoice> parse_column_text(std::string_view text, int header_row, bool keep_header,
                                              ChoiceError& error) {
    // The limit counts the stored (CP932) form, as the column setting keeps it; a text
    // without one counts as UTF-8.
    std::string sjis;
    if ((utf8_to_cp932(text, sjis) ? sjis.size() : text.size()) > TARGET_COLUMN_MAX) {
        error = {ChoiceProblem::too_long, std::to_string(TARGET_COLUMN_MAX), 0};
        return std::nullopt;
    }
    ColumnChoice choice;
    choice.general.header_row = header_row;
    choice.general.keep_header = keep_header;
    bool general_seen = false;
    std::size_t p = 0;
    while (p < text.size()) {
        while (p < text.size() && (text[p] == ' ' || text[p] == ';')) ++p;
        if (p >= text.size()) break;
        std::optional<std::string> sheet;
        if (text[p] == '\'') {  // 'name', a quote doubled inside
            std::string name;
            std::size_t q = p + 1;
            for (;; ++q) {
                if (q >= text.size()) {
                    error = {ChoiceProblem::unclosed_quote, std::string(text.substr(p)), 0};
                    return std::nullopt;
                }
                if (text[q] != '\'') {
                    name += text[q];
                } else if (q + 1 < text.size() && text[q + 1] == '\'') {
                    name += '\'';
                    ++q;
                } else {
                    break;
                }
            }
            p = q + 1;
            while (p < text.size() && text[p] == ' ') ++p;
            if (p >= text.size() || text[p] != '!') {
                error = {ChoiceProblem::no_bang, name, 0};
                return std::nullopt;
            }
            ++p;
            sheet = std::move(name);
        }
        const std::size_t end = std::min(text.find(';', p), text.size());
        std::string_view part = text.substr(p, end - p);
        p = end;
        if (!sheet)
            if (const std::size_t bang = part.find('!'); bang != std::string_view::npos) {
                sheet = std::string(trim(part.substr(0, bang)));
                part.remove_prefix(bang + 1);
            }
        ColumnSet set;
        set.header_row = header_row;
        set.keep_header = keep_header;
        if (!add_items(part, set, error)) return std::nullopt;
        if (!sheet) {
            if (general_seen) {
                error = {ChoiceProblem::two_general, std::string(trim(part)), 0};
                return std::nullopt;
            }
            general_seen = true;
            choice.general = std::move(set);
            continue;
        }
        const auto fail = [&](ChoiceProblem problem) {
            error = {problem, *sheet, 0};
            return std::nullopt;
        };
        if (sheet->empty()) return fail(ChoiceProblem::empty_sheet_name);
        if (set.empty()) return fail(ChoiceProblem::sheet_without_columns);
        if (std::any_of(choice.sheets.begin(), choice.sheets.end(), [&](const SheetColumns& s) { return s.sheet == *sheet; }))
            return fail(ChoiceProblem::sheet_twice);
        choice.sheets.push_back({std::move(*sheet), std::move(set)});
    }
    return choice;
}

std::string sheet_in_column_text(std::string_view sheet) {
    const bool plain = !sheet.empty() && sheet.find_first_of("!;,'") == std::string_view::npos &&
                       trim(sheet).size() == sheet.size();
    if (plain) return std::string(sheet);
    std::string quoted = "'";
    for (char c : sheet) quoted += c == '\'' ? std::string("''") : std::string(1, c);
    return quoted + "'";
}

std::optional<std::string> column_text(const ColumnChoice& choice) {
    const auto list = [](const ColumnSet& set) -> std::optional<std::string> {
        std::string out;
        for (const std::string& item : set_items(set)) {
            if (item.find_first_of(",;!") != std::string::npos) return std::nullopt;
            if (!out.empty()) out += ',';
            out += item;
        }
        return out;
    };
    std::string text;
    if (!choice.general.empty()) {
        const auto general = list(choice.general);
        if (!general) return std::nullopt;
        text = *general;
    }
    for (const SheetColumns& s : choice.sheets) {
        const auto items = list(s.columns);
        if (!items) return std::nullopt;
        if (!text.empty()) text += ';';
        text += sheet_in_column_text(s.sheet) + "!" + *items;
    }
    return text;
}

std::optional<ColumnChoice> parse_profile(std::string_view text, ChoiceError& error) {
    struct Section {
        std::optional<std::string> sheet;  // none: the general one
        ColumnSet set;
        std::optional<int> header_row;
        std::optional<bool> keep_header;
    };
    std::vector<Section> sections;
    bool first = true, general_seen = false;
    std::size_t number = 0;
    const auto fail = [&](ChoiceProblem problem, std::string_view detail) {
        error = {problem, std::string(detail), number};
        return std::nullopt;
    };
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);  // a byte order mark some editors write
    for (std::size_t p = 0; p < text.size();) {
        const std::size_t nl = std::min(text.find('\n', p), text.size());
        const std::string_view line = trim(text.substr(p, nl - p));
        p = nl + 1;
        ++number;
        if (line.empty() || line.front() == '#') continue;
        if (first) {
            if (line != PROFILE_FIRST_LINE) return fail(ChoiceProblem::no_profile_line, line);
            first = false;
            continue;
        }
        if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
            const std::string_view name = line.substr(1, line.size() - 2);
            Section section;
            if (name != "*") section.sheet = std::string(name);
            if (section.sheet && section.sheet->empty()) return fail(ChoiceProblem::empty_sheet_name, line);
            const bool twice = section.sheet ? std::any_of(sections.begin(), sections.end(),
                                                           [&](const Section& s) { return s.sheet == section.sheet; })
                                             : general_seen;
            if (twice) return fail(ChoiceProblem::section_twice, name);
            general_seen = general_seen || !section.sheet;
            sections.push_back(std::move(section));
            continue;
        }
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) return fail(ChoiceProblem::bad_line, line);
        const std::string_view key = trim(line.substr(0, eq)), value = trim(line.substr(eq + 1));
        if (sections.empty()) return fail(ChoiceProblem::key_outside_section, key);
        Section& section = sections.back();
        if (key == "column") {
            if (!add_item(value, section.set, error)) {
                error.line = number;
                return std::nullopt;
            }
            if (value.empty()) return fail(ChoiceProblem::empty_header, line);
        } else if (key == "header-row") {
            if (section.header_row) return fail(ChoiceProblem::key_twice, key);
            int n = 0;
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
            if (ec != std::errc() || end != value.data() + value.size() || n < 1 || n > HEADER_ROW_LAST)
                return fail(ChoiceProblem::bad_header_row, value);
            section.header_row = n;
        } else if (key == "keep-header") {
            if (section.keep_header) return fail(ChoiceProblem::key_twice, key);
            if (value != "yes" && value != "no") return fail(ChoiceProblem::bad_flag, value);
            section.keep_header = value == "yes";
        } else {
            return fail(ChoiceProblem::unknown_key, key);
        }
    }
    if (first) return fail(ChoiceProblem::no_profile_line, "");
    ColumnChoice choice;
    for (const Section& s : sections)
        if (!s.sheet) {
            choice.general = s.set;
            choice.general.header_row = s.header_row.value_or(1);
            choice.general.keep_header = s.keep_header.value_or(false);
        }
    for (Section& s : sections) {
        if (!s.sheet) continue;
        if (s.set.empty()) {
            error = {ChoiceProblem::sheet_without_columns, *s.sheet, 0};
            return std::nullopt;
        }
        s.set.header_row = s.header_row.value_or(choice.general.header_row);
        s.set.keep_header = s.keep_header.value_or(choice.general.keep_header);
        choice.sheets.push_back({std::move(*s.sheet), std::move(s.set)});
    }
    return choice;
}

namespace {

// The bytes of a small text file, or the errno that stopped reading it.
int read_small_file(const std::filesystem::path& path, std::string& text) {
    constexpr std::size_t LIMIT = 1 << 20;  // a profile is a few lines
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) return errno != 0 ? errno : ENOENT;
    text.clear();
    char buffer[4096];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        text.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (text.size() > LIMIT) return EFBIG;  // not read on without end (/dev/zero)
    }
    if (in.bad()) return EIO;
    return 0;
}

}  // namespace

std::optional<ColumnChoice> read_profile_file(const std::filesystem::path& path, Lang lang, std::string& message) {
    const std::string file = path.string();
    std::string text;
    if (int error = read_small_file(path, text); error != 0) {
        message = say(lang, Msg::profile_unreadable, {file, std::strerror(error)});
        return std::nullopt;
    }
    ChoiceError error;
    auto choice = parse_profile(text, error);
    if (!choice)
        message = error.line > 0
                      ? say(lang, Msg::profile_error, {file, std::to_string(error.line), choice_problem_text(lang, error)})
                      : say(lang, Msg::profile_error_whole, {file, choice_problem_text(lang, error)});
    return choice;
}

int write_profile_file(const std::filesystem::path& path, const ColumnChoice& choice) {
    const std::string text = profile_text(choice);
    errno = 0;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return errno != 0 ? errno : EACCES;
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    return out ? 0 : (errno != 0 ? errno : EIO);
}

std::string profile_text(const ColumnChoice& choice) {
    std::string out = std::string(PROFILE_FIRST_LINE) + "\n";
    const auto section = [&out](std::string_view name, const ColumnSet& set) {
        out += "\n[" + std::string(name) + "]\n";
        out += "header-row = " + std::to_string(set.header_row) + "\n";
        out += std::string("keep-header = ") + (set.keep_header ? "yes" : "no") + "\n";
        for (const std::string& item : set_items(set)) out += "column = " + item + "\n";
    };
    section("*", choice.general);
    for (const SheetColumns& s : choice.sheets) section(s.sheet, s.columns);
    return out;
}

}  // namespace hsc

namespace hsc {

ColumnChoice suggestion_choice(const WorkbookSuggestion& s) {
    ColumnChoice choice;
    for (const SheetSuggestion& sheet : s.sheets) {
        if (sheet.columns.empty()) continue;
        ColumnSet set;
        for (const ColumnSuggestion& c : sheet.columns) {
            set.letters.push_back(c.column);
            set.bare_letters.push_back(column_letters(c.column));
        }
        set.header_row = sheet.header_row > 0 ? sheet.header_row : 1;
        set.keep_header = sheet.header_row > 0;
        choice.sheets.push_back({sheet.name, std::move(set)});
    }
    return choice;
}

bool one_header_row(const ColumnChoice& choice) {
    const auto same = [&](const ColumnSet& a, const ColumnSet& b) {
        return a.header_row == b.header_row && a.keep_header == b.keep_header;
    };
    const ColumnSet& first = choice.sheets.empty() ? choice.general : choice.sheets.front().columns;
    return (choice.general.empty() || same(choice.general, first)) &&
           std::all_of(choice.sheets.begin(), choice.sheets.end(),
                       [&](const SheetColumns& s) { return same(s.columns, first); });
}

std::string choice_problem_text(Lang lang, const ChoiceError& error) {
    const Msg key = [&] {
        switch (error.problem) {
            case ChoiceProblem::too_long: return Msg::choice_too_long;
            case ChoiceProblem::too_many_columns: return Msg::choice_too_many_columns;
            case ChoiceProblem::empty_header: return Msg::choice_empty_header;
            case ChoiceProblem::not_a_letter: return Msg::choice_not_a_letter;
            case ChoiceProblem::unclosed_quote: return Msg::choice_unclosed_quote;
            case ChoiceProblem::no_bang: return Msg::choice_no_bang;
            case ChoiceProblem::empty_sheet_name: return Msg::choice_empty_sheet_name;
            case ChoiceProblem::sheet_twice: return Msg::choice_sheet_twice;
            case ChoiceProblem::sheet_without_columns: return Msg::choice_sheet_without_columns;
            case ChoiceProblem::two_general: return Msg::choice_two_general;
            case ChoiceProblem::no_profile_line: return Msg::choice_no_profile_line;
            case ChoiceProblem::bad_line: return Msg::choice_bad_line;
            case ChoiceProblem::key_outside_section: return Msg::choice_key_outside_section;
            case ChoiceProblem::unknown_key: return Msg::choice_unknown_key;
            case ChoiceProblem::key_twice: return Msg::choice_key_twice;
            case ChoiceProblem::bad_header_row: return Msg::choice_bad_header_row;
            case ChoiceProblem::bad_flag: return Msg::choice_bad_flag;
            case ChoiceProblem::section_twice: return Msg::choice_section_twice;
        }
        return Msg::choice_bad_line;
    }();
    return say(lang, key, {printable(error.detail)});
}

}  // namespace hsc
