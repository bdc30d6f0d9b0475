#include "support/raw_zip.h"

#include <zlib.h>

#include <stdexcept>

#include "support/zip_builder.h"

namespace hsc::test {


std::string build_raw_zip(const std::vector<RawEntry>& entries, const std::string& comment) {
    std::string out, central;
    std::uint32_t last_local = 0;
    for (const RawEntry& e : entries) {
        const std::string payload = e.payload ? *e.payload : e.method == 8 ? raw_deflate(e.data, Z_BEST_COMPRESSION) : e.data;
        const std::uint32_t crc =
            e.crc.value_or(static_cast<std::uint32_t>(crc32(0L, reinterpret_cast<const Bytef*>(e.data.data()),
                                                            static_cast<uInt>(e.data.size()))));
        const std::uint32_t csize = e.compressed_size.value_or(static_cast<std::uint32_t>(payload.size()));
        const std::uint32_t usize = e.uncompressed_size.value_or(static_cast<std::uint32_t>(e.data.size()));
        if (e.local_header) {
            last_local = static_cast<std::uint32_t>(out.size());
            put32(out, 0x04034b50);
            put16(out, 20);
            put16(out, e.flags);
            put16(out, e.method);
            put16(out, 0);
            put16(out, 0x0021);
            put32(out, crc);
            put32(out, csize);
            put32(out, usize);
            put16(out, static_cast<std::uint32_t>(e.name.size()));
            put16(out, static_cast<std::uint32_t>(e.extra.size()));
            out += e.name;
            out += e.extra;
            out += payload;
        }
        put32(central, 0x02014b50);
        put16(central, 20);
        put16(central, 20);
        put16(central, e.flags);
        put16(central, e.method);
        put16(central, 0);
        put16(central, 0x0021);
        put32(central, crc);
        put32(central, csize);
        put32(central, usize);
        put16(central, static_cast<std::uint32_t>(e.name.size()));
        put16(central, static_cast<std::uint32_t>(e.extra.size()));
        put16(central, 0);
        put16(central, 0);
        put16(central, 0);
        put32(central, 0);
        put32(central, e.offset.value_or(last_local));
        central += e.name;
        central += e.extra;
    }
    const auto cd_offset = static_cast<std::uint32_t>(out.size());
    out += central;
    put32(out, 0x06054b50);
    put16(out, 0);
    put16(out, 0);
    put16(out, static_cast<std::uint32_t>(entries.size()));
    put16(out, static_cast<std::uint32_t>(entries.size()));
    put32(out, static_cast<std::uint32_t>(central.size()));
    put32(out, cd_offset);
    put16(out, static_cast<std::uint32_t>(comment.size()));
    out += comment;
    return out;
}

}  // namespace hsc::test
