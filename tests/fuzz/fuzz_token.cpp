// Any byte string cut into tokens with each character set: every call either moves on
// or ends, tokens stay within their limit and within the text.

#include <cstdint>
#include <string>
#include <string_view>

#include "core/status.h"
#include "fuzz_support.h"
#include "stream/tokenizer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace hsc;
    const auto [options, text] = fuzz::split_options(data, size);
    const int charset = options % 4;
    std::size_t position = 0;
    std::string token;
    for (;;) {
        const std::size_t before = position;
        const Status rc = next_token(charset, text, position, token);
        if (rc != Status::ok) {
            fuzz::check(rc == Status::not_found || rc == Status::size_limit);
            fuzz::check(position == before);
            break;
        }
        fuzz::check(position > before && position <= text.size());
        fuzz::check(token.size() <= TOKEN_MAX && token.size() <= position - before);
        std::string stripped = token;
        strip_quotes(stripped);
        fuzz::check(stripped.size() <= token.size());
    }
    return 0;
}
