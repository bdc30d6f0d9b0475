#pragma once

#include <string>

#include "core/mask_settings.h"

namespace hsc {

// What the main window's controls show. A list index of -1 means nothing is selected.
struct ControlValues {
    std::string password;
    std::string target_column;
    int strength = 0;  // index in STRENGTH_ITEMS; mask_step - 1
    int kanji = 0;
    int alpha = 0;
    int digit = 0;
    int wchar = 0;
    bool overwrite = false;
    bool file_hash = false;
    bool no_password = false;
    bool autoshape = false;
    bool recrypto = false;
    bool keep_header = false;  // the header row stays readable also with column letters
    bool text_only = false;    // the chosen columns keep their numbers and dates
    bool compat = false;       // mask in the original (compatible) format
    bool send_copy = false;    // mask a copy to send out, without backups
    int header_row = 1;        // one-based: where header texts of the column list stand
    std::string profile_file;  // the profile in use in place of the three above; empty: none
    int max_memory_mb = 0;     // the memory budget in MiB; 0: a share of the machine's

    bool operator==(const ControlValues&) const = default;
};

// Controls to settings. In the compatible format the password is cut to 31 bytes of its
// CP932 form (the strong format takes it whole); the target columns to 1023 bytes, both on
// a character boundary. Always 0.
int hsc_get_controls(const ControlValues& controls, MaskSettings& settings);

// Settings to controls. An index outside its list selects nothing (-1); a budget that
// is no whole number of MiB shows rounded up.
ControlValues hsc_set_controls(const MaskSettings& settings);

}  // namespace hsc
