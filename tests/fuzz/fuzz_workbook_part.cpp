// Any byte string as xl/workbook.xml, rewritten in either direction: the rewrite
// succeeds or refuses, and on success the stream holds exactly the rewritten text.

#include <cstdint>
#include <string>

#include "core/mask_settings.h"
#include "core/status.h"
#include "engine/workbook_part.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace hsc;
    const auto [options, xml] = fuzz::split_options(data, size);
    StoredSettings s;
    s.password = std::string("secret-password").substr(0, options >> 4);
    const Direction direction = options & 1 ? Direction::unmask : Direction::mask;

    MfileRegistry reg;
    std::string text(xml);
    fuzz::put(reg, "xl/workbook.xml", text);
    const int rc = rewrite_workbook_part(reg, text, s, direction);
    if (rc == RC_OK)
        fuzz::check(fuzz::get(reg, "xl/workbook.xml") == text);
    else
        fuzz::check(text == xml);
    return 0;
}
