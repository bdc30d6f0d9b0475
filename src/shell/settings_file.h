#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/mask_settings.h"
#include "stream/tokenizer.h"

// The settings file "Hushcel.ini" and the store it is read into and written from.
//
// The file, as written: the section line "[Hushcel]", then one line NAME="value" for
// every entry in ascending byte order of the names, every line ending in CR LF. The
// password, the hints, the target columns and the authentication file path are sealed
// (lowercase hexadecimal of AES units under "71209486"); numbers are decimal, flags "Y"
// or "N". Texts are UTF-8. A reader that knows only some of the keys passes the others
// over, so keys are added, never renamed.
namespace hsc {

inline constexpr std::string_view SETTINGS_FILE_NAME = "Hushcel.ini";
inline constexpr std::string_view SETTINGS_SECTION = "Hushcel";
inline constexpr std::string_view SETTINGS_FOLDER = "Hushcel";  // under the config folder

inline constexpr int INI_LIVE = -1;
inline constexpr int INI_DELETED = 0;
inline constexpr int INI_SEALED = 1;  // lowest bit of the `sealed` word of ini_set/ini_get
inline constexpr int INI_PLAIN = 0;

inline constexpr std::size_t INI_NAME_MAX = 80;       // bytes of an entry name
inline constexpr std::size_t INI_SECTION_LINE_MAX = 81;  // bytes of a section line, brackets included
inline constexpr std::size_t INI_LINE_SIZE = 16384;   // a line holds at most 16383 bytes
inline constexpr std::size_t INI_VALUE_MAX = 8192;    // bytes of a stored (possibly sealed) value

struct INIENTRY {
    std::string name;
    std::string value;  // as stored: sealed values in their hexadecimal form
    int state = INI_LIVE;
};

// The store of one settings file.
struct INIFILE {
    std::filesystem::path path;
    std::string section;  // written as the section line; on reading, the last one seen
    std::string seal_password;
    int charset = CHARSET_SJIS;  // for the tokenizer
    std::vector<INIENTRY> entries;  // file order (reading) or order of first setting
};

// Reads the file at store.path into store.entries (replacing them). 0; -2 out of
// memory; -101 the file cannot be opened. Comment lines (first byte "#" or ";"), lines
// that do not read NAME = VALUE and names longer than 80 bytes are skipped.
int ini_load(INIFILE& store);
// Replaces the file at store.path by the store's live entries, sorted by name. The
// folder is created when missing; the file is written beside the target, flushed and
// renamed over it, and is readable by its owner only. 0; -2; -101 the file cannot be
// created; -103 a line cannot be written.
int ini_save(INIFILE& store);
// Sets the first entry of that name, or appends one; with the INI_SEALED bit the value
// is stored sealed. 0; -1 a value to seal holds a zero byte; -2 out of memory; -9 when
// the stored value would exceed INI_VALUE_MAX bytes. On failure the store is unchanged.
int ini_set(INIFILE& store, int sealed, std::string_view name, std::string_view value);
// The value of the first live entry of that name (case-sensitive). 0 and the value in
// `out`; 1403 not found. With the INI_SEALED bit the value is unsealed; -1 (`out`
// empty) when the stored text is not sealed text (hexadecimal in units of 32 digits).
int ini_get(const INIFILE& store, int sealed, std::string_view name, std::string& out);
// Drops every entry. 0.
int ini_free(INIFILE& store);

// Puts the defaults into the record. 0.
int hsc_init_settings(MaskSettings& settings);

// Reads the settings file over the record. Missing keys take their defaults (a missing
// KEY_FILE leaves `key_file` as it was). 0; -2 or -101 from ini_load, in which case the
// record is unchanged. Values that are not valid (bad sealed text, text that is not
// UTF-8, a KEY_FILE longer than 256 bytes) count as missing; longer texts are cut to
// their field without splitting a character (password and hints measured in the bytes
// of their CP932 form, the target columns in UTF-8 bytes).
// `unreadable`, when given, receives the keys of sealed values that could not be
// unsealed, so that the user can be told which field fell back.
int hsc_read_ini(MaskSettings& settings, const std::filesystem::path& file,
                 std::vector<std::string>* unreadable = nullptr);

// Writes every stored field of the record to the file. 0; -1 when the store cannot be
// built (nothing is written); otherwise the result of ini_save.
int hsc_write_ini(const MaskSettings& settings, const std::filesystem::path& file);

// The settings as they were right after start-up; kept by the caller and never
// refreshed, not even after a save.
struct SettingsSnapshot {
    MaskSettings values;
};
SettingsSnapshot hsc_take_snapshot(const MaskSettings& settings);

// 0 when the record differs from the snapshot in any field other than `mask_step` (the
// strength alone does not count) and `is_no_backup` (never stored), -1 when it does not.
int hsc_settings_changed(const MaskSettings& settings, const SettingsSnapshot& snapshot);

// Where the settings file lives: "Hushcel.ini" beside the executable when that file
// exists (portable use), otherwise $XDG_CONFIG_HOME/Hushcel/Hushcel.ini, by default
// ~/.config/Hushcel/Hushcel.ini. The first form reads the environment.
std::filesystem::path settings_path(const std::filesystem::path& executable_dir);
std::filesystem::path settings_path(const std::filesystem::path& executable_dir,
                                    std::string_view xdg_config_home, std::string_view home);

}  // namespace hsc
