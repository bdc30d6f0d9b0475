// Any byte string as a worksheet, scanned for shared-string cells of some target
// columns: never reads outside the text nor flags an item that does not exist. Its
// inline strings turned into shared-string cells: one item per turned cell, and the
// turned sheet holds no inline string of those columns for a second pass to turn.

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

    std::string turned(sheet), items;
    const std::string prefix = (options & 0x80) ? "x:" : "";
    std::size_t unconverted = 0;
    const std::size_t n = convert_inline_strings(turned, ctx, prefix, before, items, unconverted);
    fuzz::check(n == 0 ? turned == sheet && items.empty() : !items.empty());
    std::string again_items;
    std::string again = turned;
    fuzz::check(convert_inline_strings(again, ctx, prefix, before + n, again_items, unconverted) == 0);
    return 0;
}
