#include "package/file_type.h"

#include <cstring>
#include <memory>
#include <unordered_set>
#include <vector>

#include "os/file.h"
#include "core/status.h"
#include "stream/byte_stream.h"

namespace hsc {
namespace {

constexpr std::size_t CFB_SECTOR = 512;
constexpr std::size_t CFB_DIR_ENTRY = 128;
constexpr std::size_t CFB_START_SECTOR_AT = 116;
constexpr std::size_t CFB_STREAM_SIZE_AT = 120;

std::string utf16le(std::string_view ascii) {
    std::string out;
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

bool ends_with_ignoring_case(std::string_view name, std::string_view ext) {
    if (name.size() < ext.size()) return false;
    std::string_view tail = name.substr(name.size() - ext.size());
    for (std::size_t i = 0; i < ext.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(tail[i]) != lower(ext[i])) return false;
    }
    return true;
}

std::uint32_t le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// Looks for a directory entry of that name in a compound file. Reads sequentially from
// the current position: the first directory sector is the first 512-byte block that
// begins with the root entry; entries follow in file order (the sector chain is not
// followed). 0 found; 1403 not found; -104 the entry's first sector cannot be reached.
int find_compound_entry(ByteStream& s, std::string_view entry_name, std::uint32_t& stream_size) {
    static const std::string root = utf16le("Root Entry");
    const std::string wanted = utf16le(entry_name);
    unsigned char block[CFB_SECTOR];
    std::int64_t block_start = 0;
    for (;;) {
        block_start = s.tell();
        if (s.read(block, CFB_SECTOR) < CFB_SECTOR) return RC_NOT_FOUND;
        if (std::memcmp(block, root.data(), root.size()) == 0) break;
    }
    if (!s.seek(block_start, ByteStream::Origin::start)) return RC_NOT_FOUND;
    unsigned char entry[CFB_DIR_ENTRY];
    for (;;) {
        if (s.read(entry, CFB_DIR_ENTRY) < CFB_DIR_ENTRY) return RC_NOT_FOUND;
        if (le32(entry) == 0xFFFFFFFFu) return RC_NOT_FOUND;
        if (std::memcmp(entry, wanted.data(), wanted.size()) == 0) break;
    }
    const std::uint32_t first_sector = le32(entry + CFB_START_SECTOR_AT);
    stream_size = le32(entry + CFB_STREAM_SIZE_AT);
    if (!s.seek((static_cast<std::int64_t>(first_sector) + 1) * static_cast<std::int64_t>(CFB_SECTOR),
                ByteStream::Origin::start))
        return RC_SEEK;
    return RC_OK;
}

// The same search along the directory's sector chain, for compound files whose
// directory is not stored in one run after its first sector (the file-order scan
// misses the entry there). 0 found; 1403 not found or the structure is damaged.
int find_compound_entry_by_chain(ByteStream& s, std::string_view entry_name) {
    constexpr std::uint32_t END_OF_CHAIN = 0xFFFFFFFE;
    constexpr std::uint32_t MAX_REGULAR = 0xFFFFFFFA;
    constexpr std::size_t HEADER_DIFAT = 109;
    unsigned char header[CFB_SECTOR];
    if (!s.seek(0, ByteStream::Origin::start) || s.read(header, sizeof header) < sizeof header) return RC_NOT_FOUND;
    const unsigned shift = header[30] | header[31] << 8;
    if (shift != 9 && shift != 12) return RC_NOT_FOUND;
    const std::size_t sector_size = std::size_t{1} << shift;
    const std::uint32_t fat_sectors = le32(header + 44);
    const std::uint32_t first_dir = le32(header + 48);
    std::uint32_t difat_next = le32(header + 68);
    const std::uint32_t difat_count = le32(header + 72);
    const std::size_t per_sector = sector_size / 4;
    if (fat_sectors == 0 || fat_sectors > (1u << 20)) return RC_NOT_FOUND;

    std::vector<unsigned char> sector(sector_size);
    auto read_sector = [&](std::uint32_t index) {
        if (index > MAX_REGULAR) return false;
        return s.seek((static_cast<std::int64_t>(index) + 1) * static_cast<std::int64_t>(sector_size),
                      ByteStream::Origin::start) &&
               s.read(sector.data(), sector_size) == sector_size;
    };
    // The FAT sectors are listed in the header and then in the DIFAT chain. A sector listed
    // twice is taken once: otherwise a few sectors naming themselves over and over would
    // make the FAT as large as the header claims, whatever the size of the file.
    std::vector<std::uint32_t> fat_list;
    std::unordered_set<std::uint32_t> listed;
    std::size_t count = 0;
    auto list = [&](std::uint32_t index) {
        ++count;
        if (listed.insert(index).second) fat_list.push_back(index);
    };
    for (std::size_t i = 0; i < HEADER_DIFAT && count < fat_sectors; ++i) list(le32(header + 76 + 4 * i));
    // A DIFAT chain that comes back to a sector it has read is broken; stopping there also
    // keeps a small file from listing the million FAT sectors its header may claim.
    std::unordered_set<std::uint32_t> difat_read;
    for (std::uint32_t n = 0; n < difat_count && count < fat_sectors; ++n) {
        if (!difat_read.insert(difat_next).second || !read_sector(difat_next)) return RC_NOT_FOUND;
        for (std::size_t i = 0; i + 1 < per_sector && count < fat_sectors; ++i) list(le32(sector.data() + 4 * i));
        difat_next = le32(sector.data() + 4 * (per_sector - 1));
    }
    std::vector<std::uint32_t> fat;
    for (std::uint32_t f : fat_list) {
        if (!read_sector(f)) return RC_NOT_FOUND;
        for (std::size_t i = 0; i < per_sector; ++i) fat.push_back(le32(sector.data() + 4 * i));
    }
    const std::string wanted = utf16le(entry_name);
    std::size_t visited = 0;
    for (std::uint32_t dir = first_dir; dir != END_OF_CHAIN; dir = fat[dir]) {
        if (dir >= fat.size() || ++visited > fat.size() || !read_sector(dir)) return RC_NOT_FOUND;
        for (std::size_t at = 0; at + CFB_DIR_ENTRY <= sector_size; at += CFB_DIR_ENTRY) {
            const unsigned char* e = sector.data() + at;
            const unsigned name_bytes = e[64] | e[65] << 8;
            if (name_bytes == wanted.size() + 2 && std::memcmp(e, wanted.data(), wanted.size()) == 0) return RC_OK;
        }
    }
    return RC_NOT_FOUND;
}

// The entry found by either search, from the start of the file.
bool has_compound_entry(ByteStream& s, std::string_view entry_name) {
    std::uint32_t size = 0;
    if (!s.seek(0, ByteStream::Origin::start)) return false;
    return find_compound_entry(s, entry_name, size) == RC_OK || find_compound_entry_by_chain(s, entry_name) == RC_OK;
}

bool is_locked_row(int code) { return code == 19 || code == 29 || code == 39; }

int classify(ByteStream* source, std::string_view head, std::string_view name, bool buffer_mode, int& code_out) {
    for (const FileSignature& row : FILE_SIGNATURES) {
        if (row.signature.empty()) {
            if (buffer_mode || !ends_with_ignoring_case(name, row.extension)) continue;
            code_out = row.code;
            return RC_OK;
        }
        if (head.substr(0, row.signature.size()) != row.signature) continue;
        if (buffer_mode) {
            code_out = row.code;
            return RC_OK;
        }
        if (!ends_with_ignoring_case(name, row.extension)) continue;
        if (is_locked_row(row.code)) {
            if (!source->seek(0, ByteStream::Origin::start)) return RC_SEEK;
            if (!has_compound_entry(*source, "EncryptedPackage")) return RC_FAIL;
        }
        code_out = row.code;
        return RC_OK;
    }
    return RC_OK;
}

}  // namespace

int tiv_file_type(MfileRegistry& reg, int mode, std::string_view name, int& code_out) {
    code_out = TYPE_UNKNOWN;
    if (mode == FILE_TYPE_BUFFER) {
        if (name.size() < FILE_TYPE_HEAD) return RC_OK;
        return classify(nullptr, name.substr(0, FILE_TYPE_HEAD), {}, true, code_out);
    }
    std::unique_ptr<Mfile, void (*)(Mfile*)> memory(nullptr, &mclose);
    std::unique_ptr<ByteStream> source;
    if (mode == FILE_TYPE_STREAM) {
        memory.reset(mopen(reg, name, "rb"));
        if (!memory) return RC_OPEN;
        source = std::make_unique<MemoryStream>(memory.get());
    } else {
        auto f = rfile_open(os::u8_path(name), RFILE_READ);
        if (!f) return RC_OPEN;
        source = std::make_unique<RfileStream>(std::move(f));
    }
    char head[FILE_TYPE_HEAD];
    if (source->read(head, sizeof head) < sizeof head) return RC_OK;
    return classify(source.get(), std::string_view(head, sizeof head), name, false, code_out);
}

int tiv_file_type(ByteStream& source, std::string_view name, int& code_out) {
    code_out = TYPE_UNKNOWN;
    char head[FILE_TYPE_HEAD];
    if (!source.seek(0, ByteStream::Origin::start) || source.read(head, sizeof head) < sizeof head) return RC_OK;
    return classify(&source, std::string_view(head, sizeof head), name, false, code_out);
}

int tiv_file_type(const std::filesystem::path& path, int& code_out) {
    MfileRegistry unused;
    return tiv_file_type(unused, FILE_TYPE_FILE, os::path_u8(path), code_out);
}

int compound_file_type(ByteStream& source) {
    char head[SIG_CFB.size()];
    if (!source.seek(0, ByteStream::Origin::start) || source.read(head, sizeof head) < sizeof head ||
        std::string_view(head, sizeof head) != SIG_CFB)
        return TYPE_UNKNOWN;
    if (has_compound_entry(source, "EncryptedPackage")) return TYPE_XLSX_LOCKED;
    // "Book" is the stream of the oldest binary versions.
    if (has_compound_entry(source, "Workbook") || has_compound_entry(source, "Book")) return TYPE_XLS;
    return TYPE_UNKNOWN;
}

std::string_view file_type_name(int code) {
    for (const FileSignature& row : FILE_SIGNATURES)
        if (row.code == code) return row.type_name;
    return "unknown";
}

}  // namespace hsc
