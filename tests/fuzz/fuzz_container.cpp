// Any byte string as the encrypted backup of the shared strings. A restore either gives
// back exactly the source the trailer describes, or refuses and leaves the part alone.

#include <cstdint>
#include <cstring>
#include <string>

#include "core/status.h"
#include "fuzz_support.h"
#include "protect/container.h"
#include "protect/crypto.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace hsc;
    constexpr std::string_view BACKUP = "xl/BKsharedStrings.xml", PART = "xl/sharedStrings.xml";
    const std::string_view box(reinterpret_cast<const char*>(data), size);

    MfileRegistry reg;
    fuzz::put(reg, BACKUP, box);
    fuzz::put(reg, PART, "masked");
    const int rc = decrypt_stream_to(reg, BACKUP, PART, "pw");
    const std::string part = fuzz::get(reg, PART);
    if (rc != RC_OK) {
        fuzz::check(rc < 0);
        if (rc == RC_BAD_MAGIC || rc == RC_SHORT_READ || rc == RC_SEEK) fuzz::check(part == "masked");
        return 0;
    }
    // Accepted: the trailer's size and digest describe exactly what was written.
    fuzz::check(size >= static_cast<std::size_t>(CONTAINER_BLOCK));
    const auto* trailer = data + size - CONTAINER_BLOCK;
    const std::uint32_t source_size = trailer[16] | trailer[17] << 8 | trailer[18] << 16 |
                                      static_cast<std::uint32_t>(trailer[19]) << 24;
    fuzz::check(part.size() == source_size);
    std::uint8_t digest[16];
    md5_context md5;
    md5_init(md5);
    md5_update(md5, part.data(), part.size());
    md5_final(md5, digest);
    fuzz::check(std::memcmp(digest, trailer + 22, 16) == 0);
    return 0;
}
