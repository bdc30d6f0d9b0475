// Any byte string as a worksheet, scanned for shared-string cells of some target
// columns: never reads outside the text nor flags an item that does not exist.

#include <cstdint>
#include <string>
#include <vector>

#include "core/mask_settings.h"
#include "engine/workbook_scan.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace hsc;
    const auto [options, sheet] = fuzz::split_options(data, size);
    FileContext ctx;
    ctx.process_direction = DIRECTION_MASK;
    ctx.target_column_count = 1 + options % 3;
    ctx.target_column_numbers[0] = 0;                 // A
    ctx.target_column_numbers[1] = 1 + options / 8;   // B and beyond
    ctx.target_column_numbers[2] = 16383;             // XFD

    std::vector<std::uint8_t> flags(options % 64, 0);
    const std::size_t before = flags.size();
    scan_worksheet(sheet, ctx, flags);
    fuzz::check(flags.size() == before);
    for (std::uint8_t f : flags) fuzz::check(f == 0 || f == 1);
    (void)count_shared_string_items(sheet);
    return 0;
}
