#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/column_choice.h"
#include "core/direction.h"
#include "core/fail_reason.h"
#include "core/mask_report.h"
#include "core/merge_report.h"

namespace hsc {

// Mask-character indices: the positions in the main window's drop-down lists.
inline constexpr int MCHAR_CIRCLE = 0, MCHAR_SQUARE = 1, MCHAR_KOME = 2, MCHAR_NONE = 3;
inline constexpr int CHAR_STAR = 0, CHAR_X = 1, CHAR_NONE = 2;
inline constexpr int NUMBER_NINE = 0, NUMBER_ZERO = 1, NUMBER_NONE = 2;
// Two-byte characters (accented Latin, Greek, Cyrillic, Hebrew, Arabic, ...); a four-byte
// character (emoji, rare kanji) becomes two of them.
inline constexpr int WCHAR_TIMES = 0, WCHAR_CURRENCY = 1, WCHAR_NONE = 2;
inline constexpr int STEP_STRONG = 1, STEP_MEDIUM = 2, STEP_WEAK = 3;

// Byte limits of the text fields (without terminator). The password's counts its CP932
// form and holds for the original format; the strong format takes any length.
inline constexpr std::size_t PASSWORD_MAX = 31;
inline constexpr std::size_t KEY_FILE_MAX = 256;
inline constexpr std::size_t TARGET_COLUMN_MAX = 1023;
inline constexpr std::size_t HINT_MAX = 32;
inline constexpr std::size_t TARGET_COLUMNS_MAX = 1024;

// The built-in password: the masking password until the user sets one, and the write
// password of a workbook masked with an empty one.
inline constexpr std::string_view DEFAULT_PASSWORD = "Q-Marle";

// The user's choices. Texts are UTF-8; they become CP932 only where they enter stored
// bytes of a workbook (password check value, key, hints). The yes/no fields are plain
// bools here; the settings file keeps "Y"/"N".
struct MaskSettings {
    std::string password{DEFAULT_PASSWORD};
    int mask_mchar = MCHAR_CIRCLE;
    int mask_char = CHAR_STAR;
    int mask_number = NUMBER_NINE;
    int mask_wchar = WCHAR_TIMES;
    bool is_overwrite = false;
    bool is_autoshape = false;
    bool is_file_hash = false;
    bool is_no_password = false;
    bool is_recrypto = false;
    std::string key_file;
    std::string target_column;
    std::string password_hint;
    std::string keyfile_hint;
    int mask_step = STEP_STRONG;
    // The header row (one-based) where header texts of the column list are looked up, and
    // whether that row stays readable also when the columns are chosen by letters.
    int header_row = 1;
    bool is_keep_header = false;
    // The chosen columns lose their numbers and dates too unless `is_text_only`; without a
    // column list numbers and dates stay unless `is_mask_numbers` (amounts and counts must
    // usually stay usable). Plain-text cells are text: they go with the strings.
    bool is_text_only = false;
    bool is_mask_numbers = false;
    // Mask in the original (compatible) format rather than the strong one. Restoring
    // reads both whatever this says.
    bool is_compat = false;
    // Mask a copy to send out: no backup at all goes into it (nothing to decipher), and
    // it is given back only from the copy that was kept. A choice for one run, never
    // stored in the settings file, so that no later run drops the backups unasked.
    bool is_no_backup = false;
    // A profile file whose per-sheet choice replaces the column text, the header row and
    // keep-header; empty: none. It is read when a file is processed, as the command
    // line's --profile is.
    std::string profile_file;
    // The bytes one package may hold in memory; 0: a share of the machine's memory.
    std::uint64_t max_memory = 0;

    bool operator==(const MaskSettings&) const = default;
};

// The settings with the texts that enter stored bytes of a workbook (password,
// password_hint, keyfile_hint) in their CP932 form, as stored_settings() makes them. The
// routines that write or check stored bytes take this type, so the UTF-8 settings cannot
// reach them by mistake; the other choices read as in MaskSettings.
struct StoredSettings : MaskSettings {
    // Declared so that no brace form turns a MaskSettings into one; the built-in
    // password is ASCII, the same in both forms.
    StoredSettings() = default;
    // The password as the user gave it (UTF-8): the strong format's secret, of any length.
    std::string password_utf8;
    // Whether `password` holds the original format's form: CP932, at most PASSWORD_MAX
    // bytes. Without one (possible only outside the compatible format) `password` is
    // empty, and a workbook of the original format cannot be restored with it.
    bool has_original_password = true;
};

// The built-in default password is known to every copy of the program, and an empty one
// is no better: a workbook masked with either can be restored by anyone.
inline bool uses_known_password(const MaskSettings& s) { return s.password.empty() || s.password == MaskSettings{}.password; }

// The values the processing driver derives for one file and the engine reads, and
// what the driver hands back about it.
struct FileContext {
    Direction process_direction = Direction::unmask;
    std::array<int, TARGET_COLUMNS_MAX> target_column_numbers{};
    int target_column_count = 0;  // 0 and no header texts: every shared string is masked
    // Items of the column list that are header texts (trimmed, half-width): each chooses,
    // per worksheet, the columns whose cell in the header row holds it.
    std::vector<std::string> target_headers;
    int header_row = 0;        // zero-based
    bool keep_header = false;  // the header row stays readable (always with header texts)
    // The fields above are the general choice; these letter items of it were written
    // without "col:" (see ColumnSet::bare_letters).
    std::vector<std::string> bare_letters;
    // Worksheets named with a choice of their own, which replaces the general one there.
    // With any, an empty general choice chooses nothing.
    std::vector<SheetColumns> sheet_columns;
    MaskReport report;         // filled when a masking was written
    MergeReport merge;         // filled when a restore went cell by cell

    bool has_column_list() const {
        return target_column_count > 0 || !target_headers.empty() || !sheet_columns.empty();
    }
    // Cells of the header row are never marked.
    bool keeps_header_row() const { return keep_header || !target_headers.empty(); }
    // The general choice as a set (header_row one-based, as sets count it).
    ColumnSet general_columns() const;
    // The choice of the worksheet named `sheet`.
    ColumnSet columns_for(const std::string& sheet) const;
    // Takes `choice` in: the general set into the fields above, the named ones as they are.
    void set_choice(const ColumnChoice& choice);
    FailReason failure = FailReason::none;  // why the file was not processed
    // Restore as a reader built to the original format's description does: the package
    // backup (content types, relationships, the archive's directory) is left as it is.
    bool original_only = false;
};

}  // namespace hsc
