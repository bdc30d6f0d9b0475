// Any byte string as xl/sharedStrings.xml through the masking pass, with any mask
// characters and strength: every byte length is kept, and only text is touched.

#include <cstdint>
#include <string>
#include <vector>

#include "core/mask_settings.h"
#include "engine/text_mask.h"
#include "engine/workbook_scan.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace hsc;
    const auto [options, xml] = fuzz::split_options(data, size);
    MaskSettings s;
    s.mask_mchar = options % 4;
    s.mask_char = (options >> 2) % 3;
    s.mask_number = (options >> 4) % 3;
    s.mask_step = 1 + (options >> 6) % 3;

    std::string text(xml);
    // Every other item selected, or all of them.
    std::vector<std::uint8_t> flags(count_shared_string_items(text));
    for (std::size_t i = 0; i < flags.size(); i += 2) flags[i] = 1;
    mask_shared_strings_text(text, flags, (options & 0x80) ? 0 : 1, s);
    fuzz::check(text.size() == xml.size());
    // Markup outside text is never changed: '<' and '>' stay where they were.
    for (std::size_t i = 0; i < text.size(); ++i)
        if (xml[i] == '<' || xml[i] == '>') fuzz::check(text[i] == xml[i]);
    return 0;
}
