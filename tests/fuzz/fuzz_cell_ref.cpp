// Any byte string as a cell reference: a result is either a failure with row and
// column 0, or a success with both in range.

#include <climits>
#include <cstdint>
#include <string_view>

#include "core/status.h"
#include "engine/text_routines.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace hsc;
    const std::string_view ref(reinterpret_cast<const char*>(data), size);
    int row = -7, column = -7;
    const int rc = parse_cell_ref(ref, row, column);
    if (rc == RC_OK) {
        fuzz::check(row >= 0 && column >= 0);
    } else {
        fuzz::check(rc == RC_FAIL && row == 0 && column == 0);
    }
    std::size_t offset = 0;
    std::string item;
    for (int items = 0; split_next_item(ENC_SJIS, ref, offset, item) == RC_OK; ++items) {
        fuzz::check(item.size() <= ITEM_MAX && !item.empty() && offset <= ref.size());
        fuzz::check(items <= static_cast<int>(ref.size()));  // always moves on
    }
    return 0;
}
