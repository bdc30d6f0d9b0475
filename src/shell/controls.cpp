#include "shell/controls.h"

#include <algorithm>
#include <climits>

#include "shell/text_limits.h"
#include "shell/texts.h"

namespace hsc {
namespace {

constexpr std::uint64_t MIB = 1024 * 1024;

template <typename Items>
int list_index(int value, const Items& items) {
    return value >= 0 && value < static_cast<int>(items.size()) ? value : -1;
}

}  // namespace

int hsc_get_controls(const ControlValues& c, MaskSettings& s) {
    s.password = c.compat ? cp932_prefix(c.password, PASSWORD_MAX) : c.password;
    s.target_column = utf8_prefix(c.target_column, TARGET_COLUMN_MAX);
    s.mask_step = c.strength + 1;
    s.mask_mchar = c.kanji;
    s.mask_char = c.alpha;
    s.mask_number = c.digit;
    s.mask_wchar = c.wchar;
    s.is_overwrite = c.overwrite;
    s.is_file_hash = c.file_hash;
    s.is_no_password = c.no_password;
    s.is_autoshape = c.autoshape;
    s.is_recrypto = c.recrypto;
    s.is_keep_header = c.keep_header;
    s.is_text_only = c.text_only;
    s.is_compat = c.compat;
    s.is_no_backup = c.send_copy;
    s.header_row = c.header_row;
    s.profile_file = c.profile_file;
    s.max_memory = c.max_memory_mb > 0 ? static_cast<std::uint64_t>(c.max_memory_mb) * MIB : 0;
    return 0;
}

ControlValues hsc_set_controls(const MaskSettings& s) {
    ControlValues c;
    c.password = s.password;
    c.target_column = s.target_column;
    c.strength = list_index(s.mask_step - 1, STRENGTH_ITEMS);
    c.kanji = list_index(s.mask_mchar, KANJI_MASK_ITEMS);
    c.alpha = list_index(s.mask_char, ALPHA_MASK_ITEMS);
    c.digit = list_index(s.mask_number, DIGIT_MASK_ITEMS);
    c.wchar = list_index(s.mask_wchar, WCHAR_MASK_ITEMS);
    c.overwrite = s.is_overwrite;
    c.file_hash = s.is_file_hash;
    c.no_password = s.is_no_password;
    c.autoshape = s.is_autoshape;
    c.recrypto = s.is_recrypto;
    c.keep_header = s.is_keep_header;
    c.text_only = s.is_text_only;
    c.compat = s.is_compat;
    c.send_copy = s.is_no_backup;
    c.header_row = s.header_row;
    c.profile_file = s.profile_file;
    const std::uint64_t mb = (s.max_memory + MIB - 1) / MIB;
    c.max_memory_mb = static_cast<int>(std::min<std::uint64_t>(mb, INT_MAX));
    return c;
}

}  // namespace hsc
