// Any byte string as a drawing part through the drawing masker: every byte length is
// kept, and markup is never changed.

#include <cstdint>
#include <string>

#include "core/mask_settings.h"
#include "engine/text_mask.h"
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
    mask_drawing_text(text, s);
    fuzz::check(text.size() == xml.size());
    for (std::size_t i = 0; i < text.size(); ++i)
        if (xml[i] == '<' || xml[i] == '>') fuzz::check(text[i] == xml[i]);
    return 0;
}
