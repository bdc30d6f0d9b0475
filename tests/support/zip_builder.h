#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace hsc::test {

// Zip packages for tests, written and read by hand (zlib for deflate and CRC only), so
// that they are independent of the minizip code under test.

struct ZipEntry {
    std::string name;
    std::string data;
    bool operator==(const ZipEntry&) const = default;
};
void PrintTo(const ZipEntry& e, std::ostream* os);

struct ZipBuildOptions {
    bool deflate = true;      // method 8, else stored (0)
    std::uint16_t dos_date = 0x0021;  // 1980-01-01
    std::uint16_t dos_time = 0;
    int level = -1;           // deflate level
    std::string trailing = {};  // bytes after each entry's deflated data, inside the entry
    std::string comment;      // archive comment
};

// Little-endian fields and raw deflate data, for archives built by hand.
void put16(std::string& s, std::uint32_t v);
void put32(std::string& s, std::uint32_t v);
std::string raw_deflate(std::string_view data, int level = -1);  // -1: zlib's default level

// A zip archive holding the entries in order. A name ending in "/" is a directory entry.
std::string build_zip(const std::vector<ZipEntry>& entries, const ZipBuildOptions& options = {});
void write_zip(const std::filesystem::path& path, const std::vector<ZipEntry>& entries,
               const ZipBuildOptions& options = {});

// One entry as its central-directory record describes it, with its inflated bytes.
struct ZipEntryInfo {
    std::string name;
    std::string data;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint16_t dos_time = 0;
    std::uint16_t dos_date = 0;
    std::uint16_t extra_length = 0;        // central directory
    std::uint16_t local_extra_length = 0;  // local header
    std::uint16_t local_method = 0;
    std::uint16_t local_dos_time = 0;
    std::uint16_t local_dos_date = 0;
    std::string compressed;                // the entry's data as stored
    std::uint16_t comment_length = 0;
    std::uint32_t external_attributes = 0;
    bool crc_ok = false;
};

struct ZipArchiveInfo {
    std::vector<ZipEntryInfo> entries;  // central-directory order
    std::string comment;                // archive comment
    bool comment_ends_file = false;     // the end record's comment length reaches the end exactly
};

// Reads a whole archive; throws std::runtime_error when it is not a readable zip.
ZipArchiveInfo read_zip_bytes(std::string_view bytes);
ZipArchiveInfo read_zip_info(const std::filesystem::path& path);
// The (name, bytes) pairs of a zip file, in central-directory order.
std::vector<ZipEntry> read_zip(const std::filesystem::path& path);

}  // namespace hsc::test
