#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/catalog.h"
#include "core/mask_settings.h"

namespace hsc::cli {

// suggest: `inspect --suggest`, which looks for the columns to mask.
enum class Command { automatic, mask, restore, inspect, suggest };

// What the command line asks for. Each set override replaces one settings field.
struct Options {
    Command command = Command::automatic;
    std::vector<std::string> files;
    bool help = false;
    bool version = false;
    bool json = false;
    bool quiet = false;  // no progress line, no line per processed file
    Lang lang = Lang::en;  // of everything printed
    bool suggest = false;
    int jobs = 1;
    std::optional<std::string> settings_file;
    std::optional<std::string> password_file;
    bool ask_password = false;
    bool leaks = false;  // inspect: look for the masked texts elsewhere in the package

    std::optional<std::string> columns;
    std::optional<std::string> profile;        // a profile file: the column choice per sheet
    std::optional<std::string> write_profile;  // inspect --suggest: the suggestion as a profile
    std::optional<int> header_row;  // one-based
    bool keep_header = false;
    bool text_only = false;     // chosen columns: their text only, numbers and dates stay
    bool mask_numbers = false;  // no column list: numbers and dates too
    bool dry_run = false;       // report what would be done, write nothing
    bool report = false;        // print the report per column after each masked file
    std::optional<int> strength;
    std::optional<int> kanji_mask, alpha_mask, digit_mask, wchar_mask;
    bool shapes = false;
    bool overwrite = false;
    bool no_record_password = false;
    bool compat = false;  // mask in the original (compatible) format
    bool no_backup = false;  // mask a copy to send out, without any backup
    std::optional<std::string> hint;
    std::optional<std::string> key_file;

    // restore --from: the masked copy that was kept (or the original), whose texts go
    // back into the edited workbooks named as the files.
    std::optional<std::string> from;
    std::optional<std::string> output;      // -o: the output of the one file
    std::optional<std::string> output_dir;  // --output-dir: the folder of the outputs
    bool original_name = false;             // restore --original-name: the name without "●"
    bool force = false;  // replace existing outputs, accept hard-linked inputs, restore edited workbooks
    bool allow_default_password = false;  // mask with the built-in or an empty password
    std::optional<std::uint64_t> max_memory;  // bytes for the packages in memory at once
};

// "512M", "2G", "1048576": bytes; false for anything else or zero.
bool parse_size(std::string_view text, std::uint64_t& bytes);

// false with a message, in `lang`, on a usage error. options.lang is `lang` unless --lang
// names another.
bool parse_options(int argc, char** argv, Lang lang, Options& options, std::string& message);

// The language --lang asks for (the last one given), also on a command line
// parse_options refuses; nothing when it is absent or not a language.
std::optional<Lang> lang_requested(int argc, char** argv);

// Whether --json is among the options, also on a command line parse_options refused.
bool json_requested(int argc, char** argv);

// The overrides over the settings read from the settings file.
void apply_overrides(const Options& options, MaskSettings& settings);

// The text of --help.
std::string usage_text(Lang lang);

}  // namespace hsc::cli
