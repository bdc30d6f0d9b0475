#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace hsc::test {

// Zip archives built record by record, so that a test can state exactly which field is
// wrong: flags, methods, sizes, checksums and offsets can all be set by hand. Entries
// are deflated unless `method` says otherwise; unset fields take their honest values.
struct RawEntry {
    std::string name;
    std::string data;                    // the plain bytes
    std::uint16_t method = 8;            // 0 stored, 8 deflated, anything else written as is
    std::uint16_t flags = 0;
    std::string extra;                   // extra field, in both headers
    std::optional<std::string> payload;  // the stored bytes, instead of data's compressed form
    std::optional<std::uint32_t> crc, compressed_size, uncompressed_size;
    std::optional<std::uint32_t> offset;  // central record: where the local header is
    bool local_header = true;             // false: a central record only (points at another's header)
};

std::string build_raw_zip(const std::vector<RawEntry>& entries, const std::string& comment = {});

}  // namespace hsc::test
