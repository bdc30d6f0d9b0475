#include "support/zip_builder.h"

#include <zlib.h>

#include <stdexcept>

#include "support/temp_dir.h"

namespace hsc::test {
namespace {

constexpr std::uint32_t LOCAL_SIG = 0x04034b50;
constexpr std::uint32_t CENTRAL_SIG = 0x02014b50;
constexpr std::uint32_t END_SIG = 0x06054b50;
constexpr std::size_t LOCAL_SIZE = 30;
constexpr std::size_t CENTRAL_SIZE = 46;
constexpr std::size_t END_SIZE = 22;

std::uint32_t get16(std::string_view s, std::size_t at) {
    if (at + 2 > s.size()) throw std::runtime_error("zip: truncated record");
    return static_cast<std::uint8_t>(s[at]) | static_cast<std::uint8_t>(s[at + 1]) << 8;
}
std::uint32_t get32(std::string_view s, std::size_t at) { return get16(s, at) | get16(s, at + 2) << 16; }

std::uint32_t crc_of(std::string_view data) {
    uLong crc = crc32(0L, Z_NULL, 0);
    return static_cast<std::uint32_t>(
        crc32_z(crc, reinterpret_cast<const Bytef*>(data.data()), data.size()));
}

std::string raw_inflate(std::string_view data, std::size_t expected) {
    z_stream zs{};
    if (inflateInit2(&zs, -MAX_WBITS) != Z_OK) throw std::runtime_error("inflateInit2");
    std::string out(expected, '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    int rc = inflate(&zs, Z_FINISH);
    inflateEnd(&zs);
    if (rc != Z_STREAM_END || zs.total_out != expected) throw std::runtime_error("zip: bad deflate data");
    return out;
}

}  // namespace

void put16(std::string& s, std::uint32_t v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void put32(std::string& s, std::uint32_t v) {
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}

std::string raw_deflate(std::string_view data, int level) {
    z_stream zs{};
    if (deflateInit2(&zs, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    std::string out(deflateBound(&zs, data.size()), '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    int rc = deflate(&zs, Z_FINISH);
    deflateEnd(&zs);
    if (rc != Z_STREAM_END) throw std::runtime_error("deflate");
    out.resize(zs.total_out);
    return out;
}

void PrintTo(const ZipEntry& e, std::ostream* os) {
    *os << "{\"" << e.name << "\", " << e.data.size() << " bytes}";
}

std::string build_zip(const std::vector<ZipEntry>& entries, const ZipBuildOptions& options) {
    std::string out, central;
    for (const ZipEntry& e : entries) {
        const bool dir = !e.name.empty() && e.name.back() == '/';
        const std::uint16_t method = options.deflate && !dir ? 8 : 0;
        const std::string payload = method == 8 ? raw_deflate(e.data, options.level) + options.trailing : e.data;
        const std::uint32_t crc = crc_of(e.data);
        const auto offset = static_cast<std::uint32_t>(out.size());

        put32(out, LOCAL_SIG);
        put16(out, 20);
        put16(out, 0);
        put16(out, method);
        put16(out, options.dos_time);
        put16(out, options.dos_date);
        put32(out, crc);
        put32(out, static_cast<std::uint32_t>(payload.size()));
        put32(out, static_cast<std::uint32_t>(e.data.size()));
        put16(out, static_cast<std::uint32_t>(e.name.size()));
        put16(out, 0);
        out += e.name;
        out += payload;

        put32(central, CENTRAL_SIG);
        put16(central, 20);
        put16(central, 20);
        put16(central, 0);
        put16(central, method);
        put16(central, options.dos_time);
        put16(central, options.dos_date);
        put32(central, crc);
        put32(central, static_cast<std::uint32_t>(payload.size()));
        put32(central, static_cast<std::uint32_t>(e.data.size()));
        put16(central, static_cast<std::uint32_t>(e.name.size()));
        put16(central, 0);  // extra
        put16(central, 0);  // comment
        put16(central, 0);  // disk
        put16(central, 0);  // internal attributes
        put32(central, dir ? 0x10 : 0);
        put32(central, offset);
        central += e.name;
    }
    const auto cd_offset = static_cast<std::uint32_t>(out.size());
    out += central;
    put32(out, END_SIG);
    put16(out, 0);
    put16(out, 0);
    put16(out, static_cast<std::uint32_t>(entries.size()));
    put16(out, static_cast<std::uint32_t>(entries.size()));
    put32(out, static_cast<std::uint32_t>(central.size()));
    put32(out, cd_offset);
    put16(out, static_cast<std::uint32_t>(options.comment.size()));
    out += options.comment;
    return out;
}

void write_zip(const std::filesystem::path& path, const std::vector<ZipEntry>& entries,
               const ZipBuildOptions& options) {
    write_file(path, build_zip(entries, options));
}

ZipArchiveInfo read_zip_bytes(std::string_view bytes) {
    if (bytes.size() < END_SIZE) throw std::runtime_error("zip: too short");
    // The end record: the last signature whose comment length fits the file.
    std::size_t end = std::string_view::npos;
    for (std::size_t at = bytes.size() - END_SIZE + 1; at-- > 0;) {
        if (get32(bytes, at) == END_SIG && at + END_SIZE + get16(bytes, at + 20) <= bytes.size()) {
            end = at;
            break;
        }
        if (bytes.size() - at > END_SIZE + 0xFFFF) break;
    }
    if (end == std::string_view::npos) throw std::runtime_error("zip: no end-of-central-directory record");

    ZipArchiveInfo info;
    const std::uint32_t count = get16(bytes, end + 10);
    const std::uint32_t cd_size = get32(bytes, end + 12);
    const std::uint32_t cd_offset = get32(bytes, end + 16);
    const std::uint32_t comment_length = get16(bytes, end + 20);
    if (count == 0xFFFF || cd_offset == 0xFFFFFFFF) throw std::runtime_error("zip: zip64 is not read here");
    info.comment = std::string(bytes.substr(end + END_SIZE, comment_length));
    info.comment_ends_file = end + END_SIZE + comment_length == bytes.size();
    if (std::size_t(cd_offset) + cd_size > end) throw std::runtime_error("zip: central directory out of range");

    std::size_t at = cd_offset;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (get32(bytes, at) != CENTRAL_SIG) throw std::runtime_error("zip: bad central record");
        ZipEntryInfo e;
        e.flags = static_cast<std::uint16_t>(get16(bytes, at + 8));
        e.method = static_cast<std::uint16_t>(get16(bytes, at + 10));
        e.dos_time = static_cast<std::uint16_t>(get16(bytes, at + 12));
        e.dos_date = static_cast<std::uint16_t>(get16(bytes, at + 14));
        const std::uint32_t crc = get32(bytes, at + 16);
        const std::uint32_t csize = get32(bytes, at + 20);
        const std::uint32_t usize = get32(bytes, at + 24);
        const std::uint32_t name_length = get16(bytes, at + 28);
        e.extra_length = static_cast<std::uint16_t>(get16(bytes, at + 30));
        e.comment_length = static_cast<std::uint16_t>(get16(bytes, at + 32));
        e.external_attributes = get32(bytes, at + 38);
        const std::uint32_t local = get32(bytes, at + 42);
        if (at + CENTRAL_SIZE + name_length > bytes.size()) throw std::runtime_error("zip: truncated name");
        e.name = std::string(bytes.substr(at + CENTRAL_SIZE, name_length));
        at += CENTRAL_SIZE + name_length + e.extra_length + e.comment_length;

        if (get32(bytes, local) != LOCAL_SIG) throw std::runtime_error("zip: bad local header");
        e.local_extra_length = static_cast<std::uint16_t>(get16(bytes, local + 28));
        e.local_method = static_cast<std::uint16_t>(get16(bytes, local + 8));
        e.local_dos_time = static_cast<std::uint16_t>(get16(bytes, local + 10));
        e.local_dos_date = static_cast<std::uint16_t>(get16(bytes, local + 12));
        const std::size_t data_at = local + LOCAL_SIZE + get16(bytes, local + 26) + e.local_extra_length;
        if (data_at + csize > bytes.size()) throw std::runtime_error("zip: data out of range");
        const std::string_view payload = bytes.substr(data_at, csize);
        e.compressed = std::string(payload);
        if (e.method == 8)
            e.data = raw_inflate(payload, usize);
        else if (e.method == 0)
            e.data = std::string(payload);
        else
            throw std::runtime_error("zip: unknown method");
        e.crc_ok = crc_of(e.data) == crc;
        info.entries.push_back(std::move(e));
    }
    return info;
}

ZipArchiveInfo read_zip_info(const std::filesystem::path& path) { return read_zip_bytes(read_file(path)); }

std::vector<ZipEntry> read_zip(const std::filesystem::path& path) {
    std::vector<ZipEntry> out;
    for (auto& e : read_zip_info(path).entries) out.push_back({std::move(e.name), std::move(e.data)});
    return out;
}

}  // namespace hsc::test
