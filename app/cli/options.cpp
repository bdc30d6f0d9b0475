#include "options.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace hsc::cli {
namespace {

struct Choice {
    std::string_view word;
    int value;
};

constexpr Choice STRENGTHS[] = {{"strong", STEP_STRONG}, {"medium", STEP_MEDIUM}, {"weak", STEP_WEAK}};
constexpr Choice KANJI_MASKS[] = {{"●", MCHAR_CIRCLE}, {"■", MCHAR_SQUARE}, {"※", MCHAR_KOME}, {"none", MCHAR_NONE}};
constexpr Choice ALPHA_MASKS[] = {{"*", CHAR_STAR}, {"X", CHAR_X}, {"none", CHAR_NONE}};
constexpr Choice DIGIT_MASKS[] = {{"9", NUMBER_NINE}, {"0", NUMBER_ZERO}, {"none", NUMBER_NONE}};
constexpr Choice WCHAR_MASKS[] = {{"×", WCHAR_TIMES}, {"¤", WCHAR_CURRENCY}, {"none", WCHAR_NONE}};

template <std::size_t N>
bool choose(const Choice (&choices)[N], std::string_view word, std::optional<int>& out) {
    for (const Choice& c : choices)
        if (c.word == word) {
            out = c.value;
            return true;
        }
    return false;
}

template <std::size_t N>
std::string listing(const Choice (&choices)[N]) {
    std::string s;
    for (const Choice& c : choices) {
        if (!s.empty()) s += '|';
        s += c.word;
    }
    return s;
}

}  // namespace

bool parse_size(std::string_view text, std::uint64_t& bytes) {
    std::uint64_t n = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec != std::errc() || end == text.data()) return false;
    std::string_view unit(end, static_cast<std::size_t>(text.data() + text.size() - end));
    int shift = 0;
    if (unit == "K" || unit == "k") shift = 10;
    else if (unit == "M" || unit == "m") shift = 20;
    else if (unit == "G" || unit == "g") shift = 30;
    else if (!unit.empty()) return false;
    if (n == 0 || n > (UINT64_MAX >> shift)) return false;
    bytes = n << shift;
    return true;
}

bool parse_options(int argc, char** argv, Lang lang, Options& o, std::string& message) {
    o.lang = lang;
    bool only_files = false;
    bool command_allowed = true;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (only_files || arg == "-" || !arg.starts_with("-")) {
            if (command_allowed && !only_files) {
                command_allowed = false;
                if (arg == "auto") continue;
                if (arg == "mask") { o.command = Command::mask; continue; }
                if (arg == "restore") { o.command = Command::restore; continue; }
                if (arg == "inspect") { o.command = Command::inspect; continue; }
            }
            o.files.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            only_files = true;
            continue;
        }
        // --name=value or --name value
        std::string name(arg);
        std::optional<std::string> inline_value;
        if (auto eq = name.find('='); arg.starts_with("--") && eq != std::string::npos) {
            inline_value = name.substr(eq + 1);
            name.resize(eq);
        }
        auto value = [&](std::string& out) {
            if (inline_value) {
                out = *inline_value;
                return true;
            }
            if (i + 1 >= argc) {
                message = say(lang, Msg::option_needs_value, {name});
                return false;
            }
            out = argv[++i];
            return true;
        };
        auto flag = [&](bool& out) {
            if (inline_value) {
                message = say(lang, Msg::option_takes_no_value, {name});
                return false;
            }
            out = true;
            return true;
        };
        std::string v;
        if (name == "-h" || name == "--help") {
            if (!flag(o.help)) return false;
        } else if (name == "--version") {
            if (!flag(o.version)) return false;
        } else if (name == "--json") {
            if (!flag(o.json)) return false;
        } else if (name == "-q" || name == "--quiet") {
            if (!flag(o.quiet)) return false;
        } else if (name == "--suggest") {
            if (!flag(o.suggest)) return false;
        } else if (name == "--shapes") {
            if (!flag(o.shapes)) return false;
        } else if (name == "--overwrite") {
            if (!flag(o.overwrite)) return false;
        } else if (name == "--force") {
            if (!flag(o.force)) return false;
        } else if (name == "--no-record-password") {
            if (!flag(o.no_record_password)) return false;
        } else if (name == "--compat") {
            if (!flag(o.compat)) return false;
        } else if (name == "--no-backup") {
            if (!flag(o.no_backup)) return false;
        } else if (name == "--leaks") {
            if (!flag(o.leaks)) return false;
        } else if (name == "--ask-password") {
            if (!flag(o.ask_password)) return false;
        } else if (name == "--allow-default-password") {
            if (!flag(o.allow_default_password)) return false;
        } else if (name == "--max-memory") {
            if (!value(v)) return false;
            std::uint64_t bytes = 0;
            if (!parse_size(v, bytes)) {
                message = say(lang, Msg::option_max_memory, {v});
                return false;
            }
            o.max_memory = bytes;
        } else if (name == "-j" || name == "--jobs") {
            if (!value(v)) return false;
            int n = 0;
            auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
            if (ec != std::errc() || end != v.data() + v.size() || n < 1 || n > 64) {
                message = say(lang, Msg::option_jobs, {v});
                return false;
            }
            o.jobs = n;
        } else if (name == "--columns") {
            if (!value(v)) return false;
            o.columns = v;
        } else if (name == "--profile") {
            if (!value(v)) return false;
            o.profile = v;
        } else if (name == "--write-profile") {
            if (!value(v)) return false;
            o.write_profile = v;
        } else if (name == "--keep-header") {
            if (!flag(o.keep_header)) return false;
        } else if (name == "--text-only") {
            if (!flag(o.text_only)) return false;
        } else if (name == "--numbers") {
            if (!flag(o.mask_numbers)) return false;
        } else if (name == "--dry-run") {
            if (!flag(o.dry_run)) return false;
        } else if (name == "--report") {
            if (!flag(o.report)) return false;
        } else if (name == "--header-row") {
            if (!value(v)) return false;
            int n = 0;
            auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
            if (ec != std::errc() || end != v.data() + v.size() || n < 1 || n > 1048576) {
                message = say(lang, Msg::option_header_row, {v});
                return false;
            }
            o.header_row = n;
        } else if (name == "--strength") {
            if (!value(v)) return false;
            if (!choose(STRENGTHS, v, o.strength)) {
                message = say(lang, Msg::option_choice, {name, listing(STRENGTHS), v});
                return false;
            }
        } else if (name == "--kanji-mask") {
            if (!value(v)) return false;
            if (!choose(KANJI_MASKS, v, o.kanji_mask)) {
                message = say(lang, Msg::option_choice, {name, listing(KANJI_MASKS), v});
                return false;
            }
        } else if (name == "--alpha-mask") {
            if (!value(v)) return false;
            if (!choose(ALPHA_MASKS, v, o.alpha_mask)) {
                message = say(lang, Msg::option_choice, {name, listing(ALPHA_MASKS), v});
                return false;
            }
        } else if (name == "--digit-mask") {
            if (!value(v)) return false;
            if (!choose(DIGIT_MASKS, v, o.digit_mask)) {
                message = say(lang, Msg::option_choice, {name, listing(DIGIT_MASKS), v});
                return false;
            }
        } else if (name == "--wchar-mask") {
            if (!value(v)) return false;
            if (!choose(WCHAR_MASKS, v, o.wchar_mask)) {
                message = say(lang, Msg::option_choice, {name, listing(WCHAR_MASKS), v});
                return false;
            }
        } else if (name == "--hint") {
            if (!value(v)) return false;
            o.hint = v;
        } else if (name == "--key-file") {
            if (!value(v)) return false;
            if (v.empty()) {
                message = say(lang, Msg::option_key_file_empty);
                return false;
            }
            o.key_file = v;
        } else if (name == "-o" || name == "--output") {
            if (!value(v)) return false;
            o.output = v;
        } else if (name == "--output-dir") {
            if (!value(v)) return false;
            o.output_dir = v;
        } else if (name == "--original-name") {
            if (!flag(o.original_name)) return false;
        } else if (name == "--from") {
            if (!value(v)) return false;
            o.from = v;
        } else if (name == "--settings") {
            if (!value(v)) return false;
            o.settings_file = v;
        } else if (name == "--lang") {
            if (!value(v)) return false;
            const auto chosen = parse_lang(v);
            if (!chosen) {
                message = say(lang, Msg::option_choice, {name, "ja|en", v});
                return false;
            }
            o.lang = *chosen;
        } else if (name == "--password-file") {
            if (!value(v)) return false;
            o.password_file = v;
        } else if (name == "--password") {
            message = say(lang, Msg::option_password);
            return false;
        } else {
            message = say(lang, Msg::option_unknown, {arg});
            return false;
        }
    }
    if (o.leaks && o.command != Command::inspect) {
        message = say(lang, Msg::option_needs_inspect, {"--leaks"});
        return false;
    }
    if (o.from && o.command != Command::restore) {
        message = say(lang, Msg::option_from_needs_restore);
        return false;
    }
    if (o.no_backup && (o.command == Command::restore || o.command == Command::inspect)) {
        message = say(lang, Msg::option_no_backup_needs_mask);
        return false;
    }
    if (o.no_backup && o.overwrite) {
        message = say(lang, Msg::no_backup_overwrite);
        return false;
    }
    if (o.leaks && o.suggest) {
        message = say(lang, Msg::option_leaks_and_suggest);
        return false;
    }
    if (o.profile) {
        const char* other = o.columns ? "--columns" : o.header_row ? "--header-row" : o.keep_header ? "--keep-header" : nullptr;
        if (other) {
            message = say(lang, Msg::option_profile_with, {other});
            return false;
        }
    }
    if (o.write_profile && !o.suggest) {
        message = say(lang, Msg::option_needs_inspect, {"--suggest --write-profile"});
        return false;
    }
    if (o.suggest) {
        if (o.command != Command::inspect) {
            message = say(lang, Msg::option_needs_inspect, {"--suggest"});
            return false;
        }
        o.command = Command::suggest;
    }
    // Where the outputs go: one way at a time, but for the original name in another folder.
    const std::pair<bool, const char*> placements[] = {
        {o.output.has_value(), "-o"}, {o.output_dir.has_value(), "--output-dir"},
        {o.original_name, "--original-name"}, {o.overwrite, "--overwrite"}};
    const char* placed = nullptr;
    for (const auto& [given, option] : placements) {
        if (!given) continue;
        const bool together = placed && std::string_view(placed) == "--output-dir" && std::string_view(option) == "--original-name";
        if (placed && !together) {
            message = say(lang, Msg::option_output_conflict, {placed, option});
            return false;
        }
        if (!placed) placed = option;
    }
    if (placed && placed != std::string_view("--overwrite") &&
        (o.command == Command::inspect || o.command == Command::suggest)) {
        message = say(lang, Msg::option_output_not_for_inspect, {placed});
        return false;
    }
    if (o.original_name && o.command != Command::restore) {
        message = say(lang, Msg::option_original_name_needs_restore);
        return false;
    }
    if (o.output && o.files.size() > 1) {
        message = say(lang, Msg::option_output_one_file);
        return false;
    }
    if (!o.help && !o.version && o.files.empty()) {
        message = say(lang, Msg::no_files);
        return false;
    }
    return true;
}

std::optional<Lang> lang_requested(int argc, char** argv) {
    std::optional<Lang> chosen;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--") break;
        if (arg == "--lang" && i + 1 < argc) chosen = parse_lang(argv[++i]);
        else if (arg.starts_with("--lang=")) chosen = parse_lang(arg.substr(7));
    }
    return chosen;
}

bool json_requested(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--") return false;
        if (arg == "--json") return true;
    }
    return false;
}

void apply_overrides(const Options& o, MaskSettings& s) {
    if (o.columns) s.target_column = *o.columns;
    // A column choice on the command line replaces a profile of the settings whole.
    if (o.columns || o.header_row || o.keep_header || o.profile) s.profile_file.clear();
    if (o.max_memory) s.max_memory = *o.max_memory;
    if (o.header_row) s.header_row = *o.header_row;
    if (o.keep_header) s.is_keep_header = true;
    if (o.text_only) s.is_text_only = true;
    if (o.mask_numbers) s.is_mask_numbers = true;
    if (o.strength) s.mask_step = *o.strength;
    if (o.kanji_mask) s.mask_mchar = *o.kanji_mask;
    if (o.alpha_mask) s.mask_char = *o.alpha_mask;
    if (o.digit_mask) s.mask_number = *o.digit_mask;
    if (o.wchar_mask) s.mask_wchar = *o.wchar_mask;
    if (o.shapes) s.is_autoshape = true;
    if (o.overwrite) s.is_overwrite = true;
    // An output named for this run wins over the overwrite setting of the file.
    if (o.output || o.output_dir || o.original_name) s.is_overwrite = false;
    if (o.no_record_password) s.is_no_password = true;
    if (o.compat) s.is_compat = true;
    if (o.no_backup) s.is_no_backup = true;
    if (o.key_file) {
        s.is_file_hash = true;
        s.key_file = *o.key_file;
    }
    // The hint of the mode this run authenticates with.
    if (o.hint) (s.is_file_hash ? s.keyfile_hint : s.password_hint) = *o.hint;
}

std::string usage_text(Lang lang) { return say(lang, Msg::cli_help, {"●", "〇", "●", "〇"}); }

}  // namespace hsc::cli
