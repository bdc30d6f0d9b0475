// Any byte string as _rels/.rels, through the thumbnail replacement in either direction,
// with each kind of thumbnail the package may already hold.

#include "fuzz_thumbnail_parts.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return hsc::fuzz::fuzz_thumbnail_part(false, data, size);
}
