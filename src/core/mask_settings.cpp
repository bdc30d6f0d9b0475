#include "core/mask_settings.h"

#include <algorithm>

namespace hsc {

ColumnSet FileContext::general_columns() const {
    ColumnSet set;
    const int count = std::clamp(target_column_count, 0, static_cast<int>(target_column_numbers.size()));
    set.letters.assign(target_column_numbers.begin(), target_column_numbers.begin() + count);
    set.headers = target_headers;
    set.bare_letters = bare_letters;
    set.header_row = header_row + 1;
    set.keep_header = keep_header;
    return set;
}

ColumnSet FileContext::columns_for(const std::string& sheet) const {
    for (const SheetColumns& s : sheet_columns)
        if (s.sheet == sheet) return s.columns;
    return general_columns();
}

void FileContext::set_choice(const ColumnChoice& choice) {
    const ColumnSet& g = choice.general;
    target_column_count = static_cast<int>(std::min(g.letters.size(), target_column_numbers.size()));
    std::copy_n(g.letters.begin(), target_column_count, target_column_numbers.begin());
    target_headers = g.headers;
    bare_letters = g.bare_letters;
    header_row = g.header_row - 1;
    keep_header = g.keep_header;
    sheet_columns = choice.sheets;
}

}  // namespace hsc
