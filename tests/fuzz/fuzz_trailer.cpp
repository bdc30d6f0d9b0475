// Any byte string as the trailer block of a container, in memory. A trailer that is
// accepted writes back to the same bytes, and its pad count completes the last payload block.

#include <algorithm>
#include <cstdint>
#include <span>

#include "fuzz_support.h"
#include "protect/container.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace hsc;
    const std::span<const std::uint8_t> block(data, size);
    const auto trailer = parse_trailer(block);
    if (!trailer) return 0;
    const auto written = write_trailer(*trailer);
    fuzz::check(std::equal(written.begin(), written.end(), block.begin(), block.end()));
    fuzz::check(parse_trailer(written) == trailer);
    // The pad count completes the last payload block.
    fuzz::check(trailer->pad_count < CONTAINER_BLOCK &&
                (static_cast<std::uint64_t>(trailer->source_size) + trailer->pad_count) % CONTAINER_BLOCK == 0);
    return 0;
}
