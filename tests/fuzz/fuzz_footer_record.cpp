// Any byte string, cut or padded to 512 bytes, as a footer record, in memory. A block
// without the prefix is no record; a record that can be written reads back equal, and
// its written block reads and writes back to the same bytes.

#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "protect/footer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace hsc;
    const auto [options, rest] = fuzz::split_options(data, size);
    // Inputs often lack the prefix: option bit 0 puts it in front.
    std::string text = (options & 1) ? std::string(FOOTER_PREFIX) + std::string(rest) : std::string(rest);
    text.resize(FOOTER_SIZE, '\0');
    const std::span block(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());

    const auto record = parse_footer(block);
    fuzz::check(record.has_value() == text.starts_with(FOOTER_PREFIX));
    if (!record) return 0;
    const auto written = write_footer(*record);
    if (!written) return 0;
    const auto again = parse_footer(*written);
    fuzz::check(again == record);
    // The written block is itself an accepted record: it writes back to the same bytes.
    fuzz::check(write_footer(*again) == written);
    return 0;
}
