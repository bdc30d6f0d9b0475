#include "package/archive_layout.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <set>

namespace hsc {
namespace {

constexpr std::string_view LAYOUT_MARK = "HSCLAYOUT1";
constexpr std::string_view HEX_DIGITS = "0123456789abcdef";

void put_hex_bytes(std::string& out, std::string_view bytes) {
    if (bytes.empty()) {
        out += '-';
        return;
    }
    for (unsigned char c : bytes) {
        out += HEX_DIGITS[c >> 4];
        out += HEX_DIGITS[c & 15];
    }
}

bool hex_bytes(std::string_view text, std::string& out) {
    out.clear();
    if (text == "-") return true;
    if (text.empty() || text.size() % 2 != 0) return false;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        unsigned value = 0;
        const auto [end, ec] = std::from_chars(text.data() + i, text.data() + i + 2, value, 16);
        if (ec != std::errc() || end != text.data() + i + 2) return false;
        out += static_cast<char>(value);
    }
    return true;
}

template <typename T>
bool hex_number(std::string_view text, T& out) {
    unsigned long long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value > static_cast<T>(-1)) return false;
    out = static_cast<T>(value);
    return true;
}

std::vector<std::string_view> fields_of(std::string_view line) {
    std::vector<std::string_view> fields;
    for (std::size_t at = 0; at <= line.size();) {
        const std::size_t space = std::min(line.find(' ', at), line.size());
        fields.push_back(line.substr(at, space - at));
        at = space + 1;
    }
    return fields;
}

}  // namespace

std::vector<std::string> composition_order(const ArchiveLayout& layout, const std::vector<std::string>& live) {
    const std::set<std::string_view> streams(live.begin(), live.end());
    std::set<std::string_view> placed;
    std::vector<std::string> names;
    names.reserve(layout.entries.size() + live.size());
    for (const ArchiveEntryHeader& e : layout.entries)
        if ((e.folder ? !streams.contains(e.name) : streams.contains(e.name)) && placed.insert(e.name).second)
            names.push_back(e.name);
    for (const std::string& name : live)
        if (!placed.contains(name)) names.push_back(name);
    return names;
}

std::string layout_record(const ArchiveLayout& layout) {
    std::string out(LAYOUT_MARK);
    out += "\nC ";
    put_hex_bytes(out, layout.comment);
    out += '\n';
    char number[80];
    for (const ArchiveEntryHeader& e : layout.entries) {
        const auto n = std::snprintf(number, sizeof number, "E %c %x %x %x %x %x %x ", e.folder ? 'D' : 'F',
                                     static_cast<unsigned>(e.dos_date_time), static_cast<unsigned>(e.version_made_by),
                                     static_cast<unsigned>(e.flag), static_cast<unsigned>(e.method),
                                     static_cast<unsigned>(e.internal_attributes),
                                     static_cast<unsigned>(e.external_attributes));
        out.append(number, static_cast<std::size_t>(n));
        put_hex_bytes(out, e.name);
        out += ' ';
        put_hex_bytes(out, e.extra);
        out += ' ';
        put_hex_bytes(out, e.comment);
        out += '\n';
    }
    return out;
}

bool read_layout_record(std::string_view record, ArchiveLayout& layout) {
    ArchiveLayout read;
    bool first = true, commented = false;
    while (!record.empty()) {
        const std::size_t eol = record.find('\n');
        if (eol == std::string_view::npos) return false;  // every line ends with one
        const std::string_view line = record.substr(0, eol);
        record.remove_prefix(eol + 1);
        if (first) {
            if (line != LAYOUT_MARK) return false;
            first = false;
            continue;
        }
        const std::vector<std::string_view> f = fields_of(line);
        if (f.size() == 2 && f[0] == "C" && !commented) {
            if (!hex_bytes(f[1], read.comment)) return false;
            commented = true;
            continue;
        }
        ArchiveEntryHeader e;
        if (f.size() != 11 || f[0] != "E" || (f[1] != "D" && f[1] != "F") || !hex_number(f[2], e.dos_date_time) ||
            !hex_number(f[3], e.version_made_by) || !hex_number(f[4], e.flag) || !hex_number(f[5], e.method) ||
            !hex_number(f[6], e.internal_attributes) || !hex_number(f[7], e.external_attributes) ||
            !hex_bytes(f[8], e.name) || e.name.empty() || !hex_bytes(f[9], e.extra) || !hex_bytes(f[10], e.comment))
            return false;
        e.folder = f[1] == "D";
        read.entries.push_back(std::move(e));
    }
    if (first || !commented) return false;
    layout = std::move(read);
    return true;
}

}  // namespace hsc
