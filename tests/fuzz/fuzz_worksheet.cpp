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
    ctx.process_direction = Direction::mask;
    ctx.target_column_count = 1 + options % 3;
    ctx.target_column_numbers[0] = 0;                 // A
    ctx.target_column_numbers[1] = 1 + options / 8;   // B and beyond
    ctx.target_column_numbers[2] = 16383;             // XFD

    SheetSelection selection = letter_selection(ctx);
    if (options & 0x40) selection.kept.push_back({0, 0, 0, 16383, KEPT_HEADER_ROW});  // the header row stays
    std::vector<std::uint8_t> flags(options % 64, 0);
    const std::size_t before = flags.size();
    std::vector<KeptUse> kept;
    scan_worksheet(sheet, selection, flags, &kept);
    fuzz::check(flags.size() == before);
    for (std::uint8_t f : flags) fuzz::check((f & ~(STRING_TARGET | STRING_KEPT)) == 0);
    for (const KeptUse& use : kept) fuzz::check(use.index < before && (flags[use.index] & STRING_KEPT));
    (void)header_row_cells(sheet, 0);
    (void)count_shared_string_items(sheet);

    std::string turned(sheet), items;
    const std::string prefix = (options & 0x80) ? "x:" : "";
    std::size_t unconverted = 0;
    const std::size_t n = convert_inline_strings(turned, selection, prefix, before, items, unconverted);
    fuzz::check(n == 0 ? turned == sheet && items.empty() : !items.empty());
    std::string again_items;
    std::string again = turned;
    fuzz::check(convert_inline_strings(again, selection, prefix, before + n, again_items, unconverted) == 0);
    return 0;
}
