// libFuzzer target for the column choice: any byte string as a column text and as a
// profile.
//
// Checks, for every input: reading never crashes or overruns, and whatever is accepted
// is written back into a text that reads as the same choice.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "engine/choice_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    hsc::ChoiceError error;
    if (const auto choice = hsc::parse_column_text(text, 2, true, error)) {
        if (const auto again = hsc::column_text(*choice)) {
            // Written out, a text may grow past the setting's limit ("ｈ:x" becomes "h:h:x").
            const auto back = hsc::parse_column_text(*again, 2, true, error);
            if (back ? *back != *choice : error.problem != hsc::ChoiceProblem::too_long) std::abort();
        }
    }
    if (const auto choice = hsc::parse_profile(text, error)) {
        const auto back = hsc::parse_profile(hsc::profile_text(*choice), error);
        if (!back || *back != *choice) std::abort();
    }
    return 0;
}
