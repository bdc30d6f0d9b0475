#include <fstream>

#include "os/file.h"
#include "os/spreadsheet.h"

namespace hsc {
namespace fs = std::filesystem;

std::optional<std::vector<std::string>> split_command_line(std::string_view line) {
    std::vector<std::string> words;
    std::string word;
    bool in_word = false;
    char quote = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (quote == '\'') {
            if (c == '\'') quote = 0;
            else word += c;
        } else if (c == '\\' && i + 1 < line.size()) {
            word += line[++i];
            in_word = true;
        } else if (quote == '"') {
            if (c == '"') quote = 0;
            else word += c;
        } else if (c == '"' || c == '\'') {
            quote = c;
            in_word = true;
        } else if (c == ' ' || c == '\t' || c == '\n') {
            if (in_word) words.push_back(std::move(word));
            word.clear();
            in_word = false;
        } else {
            word += c;
            in_word = true;
        }
    }
    if (quote) return std::nullopt;
    if (in_word) words.push_back(std::move(word));
    return words;
}

std::optional<std::vector<std::string>> desktop_exec_argv(std::string_view exec, const std::string& file) {
    auto words = split_command_line(exec);
    if (!words || words->empty()) return std::nullopt;
    std::vector<std::string> argv;
    bool placed = false;
    for (const std::string& w : *words) {
        // A word that is just a list code expands to the file (or nothing).
        if (w == "%F" || w == "%U" || w == "%f" || w == "%u") {
            if (!placed) argv.push_back(file);
            placed = true;
            continue;
        }
        if (w == "%i" || w == "%c" || w == "%k") continue;  // icon, name, entry: not ours to give
        std::string out;
        for (std::size_t i = 0; i < w.size(); ++i) {
            if (w[i] != '%' || i + 1 == w.size()) {
                out += w[i];
                continue;
            }
            char code = w[++i];
            if (code == '%') out += '%';
            else if (code == 'f' || code == 'u' || code == 'F' || code == 'U') {
                out += file;
                placed = true;
            }
            // other codes are deprecated or not applicable: dropped
        }
        argv.push_back(std::move(out));
    }
    if (!placed) argv.push_back(file);
    return argv;
}

namespace {

// The Exec value of the [Desktop Entry] group of one file.
std::optional<std::string> read_desktop_exec(const fs::path& file) {
    std::ifstream in(file);
    if (!in) return std::nullopt;
    std::string line;
    bool in_entry = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.starts_with('[')) {
            in_entry = line == "[Desktop Entry]";
            continue;
        }
        if (!in_entry || !line.starts_with("Exec")) continue;
        std::size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = line.substr(0, eq);
        while (!key.empty() && key.back() == ' ') key.pop_back();
        if (key != "Exec") continue;
        std::size_t start = line.find_first_not_of(' ', eq + 1);
        return start == std::string::npos ? std::string() : line.substr(start);
    }
    return std::nullopt;
}

std::string process_name_for(const fs::path& program) {
    std::error_code ec;
    fs::path real = fs::canonical(program, ec);
    std::string base = os::path_u8((ec ? program : real).filename());
    std::string given = os::path_u8(program.filename());
    // LibreOffice's launchers are scripts that end up in soffice.bin.
    for (const std::string& name : {base, given}) {
        if (name == "soffice" || name == "localc" || name.starts_with("libreoffice")) return "soffice.bin";
    }
    return base;
}

}  // namespace

std::optional<std::string> find_desktop_exec(std::string_view desktop_id, const std::vector<fs::path>& data_dirs) {
    if (desktop_id.empty() || desktop_id.find('/') != std::string_view::npos) return std::nullopt;
    for (const fs::path& dir : data_dirs) {
        fs::path apps = dir / "applications";
        // "vendor-app.desktop" may live at applications/vendor/app.desktop.
        std::string id(desktop_id);
        std::vector<fs::path> candidates{apps / id};
        for (std::size_t dash = id.find('-'); dash != std::string::npos; dash = id.find('-', dash + 1)) {
            std::string sub = id;
            sub[dash] = '/';
            candidates.push_back(apps / sub);
        }
        for (const fs::path& c : candidates) {
            if (auto exec = read_desktop_exec(c)) return exec;
        }
    }
    return std::nullopt;
}

std::optional<SpreadsheetCommand> resolve_spreadsheet(const SpreadsheetLookup& lookup, const std::string& file) {
    std::optional<std::vector<std::string>> argv;
    if (lookup.override_command) {
        argv = split_command_line(*lookup.override_command);
        if (!argv || argv->empty()) return std::nullopt;
        argv->push_back(file);
    } else if (!lookup.registered_argv.empty()) {
        argv = lookup.registered_argv;
        argv->push_back(file);
    } else {
        if (auto exec = find_desktop_exec(lookup.desktop_id, lookup.data_dirs)) argv = desktop_exec_argv(*exec, file);
        if (!argv || argv->empty() || !find_program(argv->front(), lookup.search_path)) {
            if (!find_program("libreoffice", lookup.search_path)) return std::nullopt;
            argv = std::vector<std::string>{"libreoffice", "--calc", file};
        }
    }
    auto program = find_program(argv->front(), lookup.search_path);
    if (!program) return std::nullopt;
    std::string name = process_name_for(*program);
    return SpreadsheetCommand{std::move(*program), std::move(*argv), std::move(name)};
}

}  // namespace hsc
