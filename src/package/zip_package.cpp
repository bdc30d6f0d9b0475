#include "package/zip_package.h"

#include <minizip/unzip.h>
#include <minizip/zip.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <span>
#include <thread>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <set>
#include <string_view>
#include <zlib.h>

#include "core/mask_settings.h"
#include "core/status.h"
#include "os/file.h"
#include "package/archive_io.h"
#include "package/archive_layout.h"
#include "package/package_entries.h"

namespace hsc {
namespace fs = std::filesystem;

namespace {

constexpr std::size_t WRITE_PIECE = 16384;  // bytes per write into an archive entry
constexpr std::size_t INFLATE_PIECE = 65536;  // inflated bytes per step
constexpr std::size_t INFLATE_FEED = std::size_t{1} << 30;  // stored bytes per step, within zlib's uInt
constexpr std::uint64_t DEFLATE_MAX_RATIO = 1032;
constexpr std::uint64_t DEFLATE_RATIO_SLACK = 4096;  // block headers of tiny entries
constexpr std::uint64_t ZIP64_THRESHOLD = 0xFFFFFFFFull;
constexpr int DEFLATE_MEM_LEVEL = 8;
constexpr int BACKUP_DEFLATE_LEVEL = 1;
constexpr int LARGE_PART_DEFLATE_LEVEL = 2;
constexpr std::size_t LARGE_PART_BYTES = std::size_t{16} << 20;

// ---- the file-function table handed to minizip ----

// What minizip's file functions work on: for reading, the archive's buffered reader; for
// writing, a buffered writer into an open file or (archives kept in memory) a memory
// stream named by the archive path. Nothing is opened by name here.
struct ZipIo {
    MfileRegistry* reg;
    ArchiveReader* reader = nullptr;
    // Where a read archive ends for minizip: just after its end record. minizip looks
    // for that record only in the last 65,535 bytes, so a longer comment would hide it.
    std::int64_t end = -1;
    ArchiveWriter* writer = nullptr;
    bool memory = false;
};

// What the open function hands to minizip: a position in the reader, the writer, or a
// stream; and the last error.
struct ArchiveHandle {
    ArchiveReader* reader = nullptr;
    ArchiveWriter* writer = nullptr;
    Mfile* stream = nullptr;
    std::int64_t end = -1;  // the archive's end as minizip sees it; -1: the real end
    std::int64_t at = 0;    // the reading position
    int error = 0;
};

voidpf ZCALLBACK io_open(voidpf opaque, const void* filename, int mode) {
    auto* io = static_cast<ZipIo*>(opaque);
    if (!filename) return nullptr;
    const bool read_only = (mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) == ZLIB_FILEFUNC_MODE_READ;
    const bool existing = (mode & ZLIB_FILEFUNC_MODE_EXISTING) != 0;
    const bool create = (mode & ZLIB_FILEFUNC_MODE_CREATE) != 0;

    ArchiveHandle h;
    if (read_only && io->reader) {
        h.reader = io->reader;
        h.end = io->end;
    } else if (!read_only && create && io->writer) {
        h.writer = io->writer;
    } else if (!read_only && create && !existing && io->memory) {
        // Memory streams are created; updating an existing one is not offered.
        h.stream = mopen(*io->reg, static_cast<const char*>(filename), "wb");
        if (!h.stream) return nullptr;
    } else {
        return nullptr;
    }
    auto* record = new (std::nothrow) ArchiveHandle(h);
    if (!record && h.stream) mclose(h.stream);
    return record;
}

uLong ZCALLBACK io_read(voidpf, voidpf stream, void* buf, uLong size) {
    auto* h = static_cast<ArchiveHandle*>(stream);
    if (!h || !h->reader || h->at < 0) return 0;
    if (h->end >= 0) {
        if (h->at >= h->end) return 0;
        size = static_cast<uLong>(std::min<std::int64_t>(static_cast<std::int64_t>(size), h->end - h->at));
    }
    const std::size_t n = h->reader->read_at(static_cast<std::uint64_t>(h->at), buf, size);
    h->at += static_cast<std::int64_t>(n);
    if (n < size && h->reader->error() != 0) h->error = h->reader->error();  // the end is not an error
    return static_cast<uLong>(n);
}

uLong ZCALLBACK io_write(voidpf opaque, voidpf stream, const void* buf, uLong size) {
    auto* h = static_cast<ArchiveHandle*>(stream);
    if (!h || size == 0) return 0;
    if (h->stream) {
        if (mwrite(buf, 1, size, h->stream) != size) {
            h->error = ENOMEM;
            return 0;
        }
        return size;
    }
    if (!h->writer) return 0;
    const std::size_t n = h->writer->write(buf, size);
    if (n != size) {
        h->error = h->writer->error() != 0 ? h->writer->error() : EIO;
        static_cast<ZipIo*>(opaque)->reg->os_error = h->error;
    }
    return static_cast<uLong>(n);
}

ZPOS64_T ZCALLBACK io_tell(voidpf, voidpf stream) {
    auto* h = static_cast<ArchiveHandle*>(stream);
    if (!h) return static_cast<ZPOS64_T>(-1);
    if (h->writer) return h->writer->tell();
    const std::int64_t pos = h->stream ? mtell(h->stream) : h->at;
    if (pos < 0) {
        h->error = EINVAL;
        return static_cast<ZPOS64_T>(-1);
    }
    return static_cast<ZPOS64_T>(pos);
}

long ZCALLBACK io_seek(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    auto* h = static_cast<ArchiveHandle*>(stream);
    if (!h) return -1;
    const auto off = static_cast<std::int64_t>(offset);
    if (h->stream) {
        const int whence = origin == ZLIB_FILEFUNC_SEEK_SET ? 0 : origin == ZLIB_FILEFUNC_SEEK_CUR ? 1 : 2;
        if (origin != ZLIB_FILEFUNC_SEEK_SET && origin != ZLIB_FILEFUNC_SEEK_CUR && origin != ZLIB_FILEFUNC_SEEK_END)
            return -1;
        if (mseek(h->stream, off, whence) != Status::ok) {
            h->error = EINVAL;
            return -1;
        }
        return 0;
    }
    const std::int64_t here = h->writer ? static_cast<std::int64_t>(h->writer->tell()) : h->at;
    const std::int64_t last = h->writer   ? static_cast<std::int64_t>(h->writer->end())
                              : h->end >= 0 ? h->end
                                            : static_cast<std::int64_t>(h->reader->size());
    std::int64_t base;
    switch (origin) {
        case ZLIB_FILEFUNC_SEEK_SET: base = 0; break;
        case ZLIB_FILEFUNC_SEEK_CUR: base = here; break;
        case ZLIB_FILEFUNC_SEEK_END: base = last; break;
        default: return -1;
    }
    if (base + off < 0) {
        h->error = EINVAL;
        return -1;
    }
    if (h->writer)
        h->writer->seek(static_cast<std::uint64_t>(base + off));
    else
        h->at = base + off;
    return 0;
}

int ZCALLBACK io_close(voidpf opaque, voidpf stream) {
    auto* h = static_cast<ArchiveHandle*>(stream);
    if (!h) return -1;
    int rc = 0;
    if (h->stream) mclose(h->stream);
    // Whatever is still buffered goes to the file now: a failed write would lose it.
    if (h->writer && !h->writer->flush()) {
        static_cast<ZipIo*>(opaque)->reg->os_error = h->writer->error();
        rc = -1;
    }
    delete h;
    return rc;
}

int ZCALLBACK io_error(voidpf, voidpf stream) {
    auto* h = static_cast<ArchiveHandle*>(stream);
    return h ? h->error : -1;
}

zlib_filefunc64_def make_table(ZipIo& io) {
    zlib_filefunc64_def t{};
    t.zopen64_file = io_open;
    t.zread_file = io_read;
    t.zwrite_file = io_write;
    t.ztell64_file = io_tell;
    t.zseek64_file = io_seek;
    t.zclose_file = io_close;
    t.zerror_file = io_error;
    t.opaque = &io;
    return t;
}

// ---- helpers ----

// Records why the package is refused; the caller words it in the user's language.
int refuse(MfileRegistry& reg, int rc, Refusal refusal) {
    reg.refusal = std::move(refusal);
    return rc;
}
int refuse(MfileRegistry& reg, int rc, RefusalKind kind, std::string_view name = {}) {
    return refuse(reg, rc, Refusal(kind, std::string(name)));
}

bool is_directory_entry(const std::string& name) {
    return !name.empty() && (name.back() == '/' || name.back() == '\\');
}

// The place of an entry below the target directory, or empty when the name could leave
// it: a ".." part, an absolute path, a drive letter or stream name (":"), backslashes
// read as separators.
fs::path safe_relative_path(const std::string& name) {
    if (name.empty() || name.front() == '/' || name.front() == '\\') return {};
    if (name.find(':') != std::string::npos) return {};
    std::string clean = name;
    for (char& c : clean)
        if (c == '\\') c = '/';
    fs::path rel;
    std::size_t start = 0;
    while (start <= clean.size()) {
        std::size_t end = clean.find('/', start);
        if (end == std::string::npos) end = clean.size();
        std::string part = clean.substr(start, end - start);
        if (part == "..") return {};
        if (!part.empty() && part != ".") rel /= os::u8_path(part);
        start = end + 1;
    }
    return rel;
}

std::string strip_leading_separators(const std::string& name) {
    std::size_t i = name.find_first_not_of("/\\");
    return i == std::string::npos ? std::string() : name.substr(i);
}

// The offset just after the archive's end record: the last "PK\5\6" whose comment
// length reaches the end of the file exactly. -1 when there is none.
std::int64_t end_record_end(std::string_view tail, std::uint64_t file_size) {
    constexpr std::size_t END_RECORD = 22;
    if (tail.size() < END_RECORD) return -1;
    const std::uint64_t tail_at = file_size - tail.size();
    for (std::size_t i = tail.size() - END_RECORD + 1; i-- > 0;) {
        if (tail.compare(i, 4, "PK\x05\x06") != 0) continue;
        const auto comment = static_cast<std::size_t>(static_cast<unsigned char>(tail[i + 20]) |
                                                      static_cast<unsigned char>(tail[i + 21]) << 8);
        if (i + END_RECORD + comment == tail.size()) return static_cast<std::int64_t>(tail_at + i + END_RECORD);
    }
    return -1;
}

// An archive open for reading through our file-function table, its end clamped to the
// end record; closed when it goes out of scope. The file is opened once, its last bytes
// read once, and every read after goes through one buffered reader.
struct ReadArchive {
    int owned_fd = -1;  // an archive opened here by its path
    std::unique_ptr<ArchiveReader> owned_reader;
    ArchiveReader* reader = nullptr;
    ZipIo io{};
    zlib_filefunc64_def table{};
    unzFile uf = nullptr;
    std::uint64_t size = 0;
    std::string comment;  // the archive comment

    ReadArchive() = default;
    ReadArchive(const ReadArchive&) = delete;
    ReadArchive& operator=(const ReadArchive&) = delete;
    ~ReadArchive() {
        if (uf) unzClose(uf);
        if (owned_fd >= 0) os::close(owned_fd);
    }

    // The archive at a path, or in the memory stream of that name. 0, or -101 with the
    // registry's refusal set.
    int open(MfileRegistry& reg, const fs::path& archive, const ZipArchiveLocation& location) {
        try {
            if (location.on_disk) {
                // Never waited for: a FIFO or device is no archive.
                owned_fd = os::open(archive, os::Access::read);
                os::FileStatus st;
                if (owned_fd < 0 || os::status(owned_fd, st) != 0 || !st.regular)
                    return refuse(reg, RC_OPEN, RefusalKind::not_a_zip);
                owned_reader = std::make_unique<ArchiveReader>(owned_fd, static_cast<std::uint64_t>(st.size));
            } else {
                Mfile* m = mopen(reg, os::path_u8(archive), "rb");
                if (!m) return refuse(reg, RC_OPEN, RefusalKind::not_a_zip);
                owned_reader = std::make_unique<ArchiveReader>(mdata(m));
                mclose(m);
            }
        } catch (const std::bad_alloc&) {
            return RC_NOMEM;
        }
        return open(reg, *owned_reader);
    }

    // The archive the reader reads (kept by the caller while this is open).
    int open(MfileRegistry& reg, ArchiveReader& from) {
        reader = &from;
        size = from.size();
        if (!from.keep_tail()) return refuse(reg, RC_OPEN, RefusalKind::not_a_zip);
        io = ZipIo{&reg};
        io.reader = &from;
        const auto tail = from.tail();
        io.end = end_record_end(std::string_view(reinterpret_cast<const char*>(tail.data()), tail.size()), size);
        // The comment runs from the end record to the end of the file.
        if (io.end >= 0)
            comment.assign(reinterpret_cast<const char*>(tail.data()) + (tail.size() - static_cast<std::size_t>(size - static_cast<std::uint64_t>(io.end))),
                           static_cast<std::size_t>(size - static_cast<std::uint64_t>(io.end)));
        table = make_table(io);
        uf = unzOpen2_64("archive", &table);
        return uf ? RC_OK : refuse(reg, RC_OPEN, RefusalKind::not_a_zip);
    }

    // Where the archive's bytes end for the entries: at the end record when there is one
    // (what follows is its comment).
    std::uint64_t limit() const { return io.end >= 0 ? static_cast<std::uint64_t>(io.end) : size; }
};

// Reads the current entry's header: its information and its whole name.
int current_entry(unzFile uf, unz_file_info64& info, std::string& name) {
    int rc = unzGetCurrentFileInfo64(uf, &info, nullptr, 0, nullptr, 0, nullptr, 0);
    if (rc != UNZ_OK) return rc;
    if (info.size_filename > ZIP_MAX_ENTRY_NAME) return RC_SIZE_LIMIT;
    char buf[ZIP_MAX_ENTRY_NAME + 1] = {};
    rc = unzGetCurrentFileInfo64(uf, &info, buf, sizeof buf, nullptr, 0, nullptr, 0);
    if (rc != UNZ_OK) return rc;
    name.assign(buf, info.size_filename);
    return RC_OK;
}

// The current entry's directory record as composition writes it again: its place is
// the caller's, its date and header fields are taken here. Extra fields of the zip64
// kind are left out (the writer adds its own where sizes need them), and all of them
// when they do not parse.
int current_header(unzFile uf, const unz_file_info64& info, const std::string& name, ArchiveEntryHeader& header) {
    std::string extra(info.size_file_extra, '\0'), comment(info.size_file_comment, '\0');
    if (unzGetCurrentFileInfo64(uf, nullptr, nullptr, 0, extra.data(), static_cast<uLong>(extra.size()), comment.data(),
                                static_cast<uLong>(comment.size())) != UNZ_OK)
        return UNZ_BADZIPFILE;
    header.name = name;
    header.folder = is_directory_entry(name);
    header.dos_date_time = static_cast<std::uint32_t>(info.dosDate);
    header.version_made_by = static_cast<std::uint16_t>(info.version);
    header.flag = static_cast<std::uint16_t>(info.flag);
    header.method = static_cast<std::uint16_t>(info.compression_method);
    header.internal_attributes = static_cast<std::uint16_t>(info.internal_fa);
    header.external_attributes = static_cast<std::uint32_t>(info.external_fa);
    header.comment = std::move(comment);
    for (std::size_t at = 0; at + 4 <= extra.size();) {
        const auto byte = [&](std::size_t i) { return static_cast<unsigned>(static_cast<unsigned char>(extra[i])); };
        const unsigned id = byte(at) | byte(at + 1) << 8, size = byte(at + 2) | byte(at + 3) << 8;
        if (at + 4 + size > extra.size()) {
            header.extra.clear();
            break;
        }
        if (id != 0x0001) header.extra.append(extra, at, 4 + size);
        at += 4 + size;
    }
    return UNZ_OK;
}

// One entry as the checks read it from the directory: extraction takes it from here,
// so the directory is walked once.
struct CheckedEntry {
    std::string name;
    unz_file_info64 info{};
    std::uint64_t data_at = 0;  // where a file entry's stored bytes start
    ArchiveEntryHeader header;  // as composition writes it again
};

// Where an entry's data lies in the archive.
struct DataRange {
    std::uint64_t at = 0, size = 0;
    std::size_t entry = 0;  // index in directory order
};

// Checks one file entry's header against what we can process faithfully.
int check_file_entry(MfileRegistry& reg, unzFile uf, const unz_file_info64& info, const std::string& name,
                     std::uint64_t archive_size, std::uint64_t& total, DataRange& range) {
    if (info.flag & 1) return refuse(reg, RC_FAIL, RefusalKind::encrypted_entry, name);
    if (info.compression_method != 0 && info.compression_method != Z_DEFLATED)
        return refuse(reg, RC_FAIL, RefusalKind::unsupported_method, name);
    // Sizes that cannot both be true are damage, whatever they add up to: the limits
    // below are for sizes the stored data can really give, so that a damaged header is
    // not reported as a workbook too large to process.
    if (info.compression_method == 0 && info.compressed_size != info.uncompressed_size)
        return refuse(reg, UNZ_BADZIPFILE, RefusalKind::entry_damaged, name);
    // Deflate cannot do better than 1032 to 1 (258 bytes from a 2-bit code): a larger
    // declared size is a lie that would only make us reserve memory for nothing.
    if (info.compression_method == Z_DEFLATED &&
        info.uncompressed_size > info.compressed_size * DEFLATE_MAX_RATIO + DEFLATE_RATIO_SLACK)
        return refuse(reg, UNZ_BADZIPFILE, RefusalKind::entry_damaged, name);
    // A stream holds at most MFILE_MAX_LENGTH bytes; the package as a whole is bounded too,
    // so that entries sharing one deflated kernel cannot multiply it.
    if (info.uncompressed_size > static_cast<ZPOS64_T>(MFILE_MAX_LENGTH))
        return refuse(reg, RC_SIZE_LIMIT, RefusalKind::entry_too_large, name);
    total += info.uncompressed_size;
    if (total > static_cast<std::uint64_t>(ZIP_MAX_PACKAGE_BYTES)) return refuse(reg, RC_SIZE_LIMIT, RefusalKind::entry_too_large, name);

    // The local header must be where the directory says, and the data inside the file.
    int method = 0, level = 0;
    if (unzOpenCurrentFile2(uf, &method, &level, 1) != UNZ_OK) return refuse(reg, UNZ_BADZIPFILE, RefusalKind::entry_damaged, name);
    const ZPOS64_T data_at = unzGetCurrentFileZStreamPos64(uf);
    unzCloseCurrentFile(uf);
    if (data_at > archive_size || info.compressed_size > archive_size - data_at)
        return refuse(reg, UNZ_BADZIPFILE, RefusalKind::entry_damaged, name);
    range.at = data_at;
    range.size = info.compressed_size;
    return RC_OK;
}

// Entries whose data overlap: in a sound archive every entry's data is its own. Records
// that share one stretch of data would multiply what extraction holds in memory, and
// each could declare a tiny size. Returns the index of the later entry of the first
// overlap found, or -1. Empty data counts as the point where it starts: a sound
// archive puts a local header before each entry's data, so no two start alike.
std::ptrdiff_t overlapping_entry(std::vector<DataRange>& ranges) {
    std::sort(ranges.begin(), ranges.end(), [](const DataRange& a, const DataRange& b) { return a.at < b.at; });
    for (std::size_t i = 1; i < ranges.size(); ++i) {
        const DataRange& prev = ranges[i - 1];
        if (ranges[i].at == prev.at || ranges[i].at < prev.at + prev.size)
            return static_cast<std::ptrdiff_t>(std::max(ranges[i].entry, prev.entry));
    }
    return -1;
}

// Checks every entry before anything is extracted: count, names, sizes, methods,
// encryption, duplicates, where the data lies, and (disk mode) where it would go.
// `checked` receives every entry (folders too) in directory order.
int check_entries(MfileRegistry& reg, unzFile uf, int mode, int capacity, std::uint64_t archive_size,
                  std::vector<CheckedEntry>& checked) {
    checked.clear();
    unz_global_info64 global{};
    if (unzGetGlobalInfo64(uf, &global) != UNZ_OK) return refuse(reg, UNZ_BADZIPFILE, RefusalKind::not_a_zip);
    // The most entries a package may hold is one less than the capacity.
    const auto too_many = [&](std::uint64_t count) {
        return refuse(reg, RC_SIZE_LIMIT,
                      Refusal::of_size(RefusalKind::too_many_entries, count, static_cast<std::uint64_t>(capacity - 1)));
    };
    if (global.number_entry >= static_cast<ZPOS64_T>(capacity)) return too_many(global.number_entry);

    std::set<std::string> seen;
    std::vector<CheckedEntry> entries;  // in directory order
    std::vector<DataRange> ranges;
    std::uint64_t total = 0;
    int rc = unzGoToFirstFile(uf);
    while (rc == UNZ_OK) {
        // the directory may hold more than it says
        if (seen.size() + 1 >= static_cast<std::size_t>(capacity)) return too_many(seen.size() + 1);
        CheckedEntry entry;
        unz_file_info64& info = entry.info;
        std::string& name = entry.name;
        if (int r = current_entry(uf, info, name); r != RC_OK) {
            if (r == RC_SIZE_LIMIT)
                return refuse(reg, r, Refusal::of_size(RefusalKind::entry_name_too_long, info.size_filename, ZIP_MAX_ENTRY_NAME));
            return refuse(reg, r, RefusalKind::not_a_zip);
        }
        if (int r = current_header(uf, info, name, entry.header); r != UNZ_OK) return refuse(reg, r, RefusalKind::not_a_zip);
        if (name.empty() || name.find('\0') != std::string::npos) return refuse(reg, RC_FAIL, RefusalKind::bad_entry_name, name);
        if (mode != ZIP_MODE_MEMORY && safe_relative_path(name).empty())
            return refuse(reg, RC_FAIL, RefusalKind::unsafe_entry_path, name);
        // Composition drops leading separators, so "/a" and "a" would become one name.
        if (!seen.insert(strip_leading_separators(name)).second) return refuse(reg, RC_FAIL, RefusalKind::duplicate_entry, name);
        if (!is_directory_entry(name)) {
            DataRange range;
            range.entry = entries.size();
            if (int r = check_file_entry(reg, uf, info, name, archive_size, total, range); r != RC_OK) return r;
            entry.data_at = range.at;
            ranges.push_back(range);
        }
        entries.push_back(std::move(entry));
        rc = unzGoToNextFile(uf);
    }
    if (rc != UNZ_END_OF_LIST_OF_FILE) return refuse(reg, rc, RefusalKind::not_a_zip);
    if (auto e = overlapping_entry(ranges); e >= 0)
        return refuse(reg, UNZ_BADZIPFILE, RefusalKind::overlapping_entries, entries[static_cast<std::size_t>(e)].name);
    // Extraction holds every entry's stored bytes beside its inflated bytes, and keeps the
    // deflated form for composition: refuse what would not fit before inflating anything.
    // The stored bytes are the archive's own, each once, now that none overlap.
    std::uint64_t held = total;
    for (const DataRange& r : ranges) held += r.size;
    if (reg.max_package_bytes > 0 && held > reg.max_package_bytes)
        return refuse(reg, RC_SIZE_LIMIT,
                      Refusal::of_size(RefusalKind::over_memory_budget, held, reg.max_package_bytes));
    checked = std::move(entries);
    return RC_OK;
}

// Where inflated bytes go: a stream or a file.
struct Sink {
    Mfile* stream = nullptr;
    std::FILE* file = nullptr;
    int put(const unsigned char* bytes, std::size_t n) {
        if (n == 0) return RC_OK;
        if (stream) return mwrite(bytes, n, 1, stream) == 1 ? RC_OK : RC_NOMEM;
        return std::fwrite(bytes, 1, n, file) == n ? RC_OK : RC_FAIL;
    }
};

struct InflateEnd {
    z_stream* zs;
    ~InflateEnd() { inflateEnd(zs); }
};

// One file entry on its way out of the archive: its stored bytes are read in directory
// order, then inflated, on whichever core is free, into its destination.
struct Extraction {
    std::string name;
    unz_file_info64 info{};
    std::vector<std::uint8_t> stored;  // the entry's data as the archive holds it
    Sink sink;
    fs::path dest;
    bool clean = false;  // deflated data that ends exactly where the entry ends
    // False for an entry nobody reads: it is inflated only to check its size and
    // checksum, and kept in its deflated form alone.
    bool keep_inflated = true;
    int rc = RC_OK;

    Extraction() = default;
    Extraction(const Extraction&) = delete;
    Extraction& operator=(const Extraction&) = delete;
    ~Extraction() {
        if (sink.file) std::fclose(sink.file);
        if (sink.stream) mclose(sink.stream);
    }

    // Inflates the stored bytes into the sink, never beyond the declared size: the copy
    // stops as soon as it would. The bytes must then match the declared size and
    // checksum exactly. Sets rc: 0, RC_SIZE_LIMIT, UNZ_CRCERROR, UNZ_BADZIPFILE,
    // RC_NOMEM or a write status of the sink.
    void inflate_now() {
        try {
            rc = inflate_into_sink();
            // Bytes after the deflated data cannot be copied as they are: such an entry is
            // deflated anew, so its content is needed after all.
            if (rc == RC_OK && !keep_inflated && !clean) {
                keep_inflated = true;
                rc = inflate_into_sink();
            }
        } catch (const std::bad_alloc&) {
            rc = RC_NOMEM;
        }
    }

private:
    int inflate_into_sink() {
        const std::uint64_t declared = info.uncompressed_size;
        std::uint64_t produced = 0;
        uLong crc = crc32(0L, Z_NULL, 0);
        auto take = [&](const unsigned char* bytes, std::size_t n) {
            if (n > declared - produced) return RC_SIZE_LIMIT;
            produced += n;
            crc = crc32_z(crc, bytes, n);
            return keep_inflated ? sink.put(bytes, n) : RC_OK;
        };
        if (info.compression_method != Z_DEFLATED) {
            if (int r = take(stored.data(), stored.size()); r != RC_OK) return r;
        } else {
            z_stream zs{};
            if (inflateInit2(&zs, -MAX_WBITS) != Z_OK) return RC_NOMEM;
            InflateEnd guard{&zs};
            std::vector<unsigned char> out(INFLATE_PIECE);
            std::size_t fed = 0;  // stored bytes handed to zlib so far
            for (;;) {
                // zlib takes at most 4 GiB - 1 at once; a larger entry is fed in parts.
                if (zs.avail_in == 0 && fed < stored.size()) {
                    const std::size_t n = std::min<std::size_t>(stored.size() - fed, INFLATE_FEED);
                    zs.next_in = stored.data() + fed;
                    zs.avail_in = static_cast<uInt>(n);
                    fed += n;
                }
                zs.next_out = out.data();
                zs.avail_out = static_cast<uInt>(out.size());
                const int z = inflate(&zs, Z_NO_FLUSH);
                if (z != Z_OK && z != Z_STREAM_END) return z == Z_MEM_ERROR ? RC_NOMEM : UNZ_BADZIPFILE;
                if (int r = take(out.data(), out.size() - zs.avail_out); r != RC_OK) return r;
                if (z == Z_STREAM_END) break;
                // Bytes after the end of the deflated data are not content.
            }
            clean = zs.avail_in == 0 && fed == stored.size();
        }
        if (produced != declared) return UNZ_BADZIPFILE;
        return crc == static_cast<uLong>(info.crc) ? RC_OK : UNZ_CRCERROR;
    }
};

// Runs job(i) for i = 0 .. count - 1 on every core, the caller's thread included.
template <class Job>
void run_on_all_cores(std::size_t count, Job job) {
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t i; (i = next.fetch_add(1)) < count;) job(i);
    };
    std::vector<std::thread> helpers;
    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    // Room for every helper first: a vector that grew after a thread started and could
    // not would destroy a running thread, which ends the process.
    try {
        const std::size_t wanted = std::min<std::size_t>({cores, count, 8});
        helpers.reserve(wanted > 0 ? wanted - 1 : 0);
        while (helpers.size() + 1 < wanted) helpers.emplace_back(work);
    } catch (const std::exception&) {
        // fewer helpers; the caller takes what is left
    }
    work();
    for (auto& t : helpers) t.join();
}

// Reads a file entry's stored bytes, from where the checks found them, in one read,
// and creates its destination.
int begin_extraction(MfileRegistry& reg, ArchiveReader& reader, std::uint64_t data_at, int mode,
                     const fs::path& target, Extraction& x) {
    x.stored.resize(static_cast<std::size_t>(x.info.compressed_size));  // checked against the file size
    if (reader.read_at(data_at, x.stored.data(), x.stored.size()) != x.stored.size()) return UNZ_BADZIPFILE;

    if (mode == ZIP_MODE_MEMORY) {
        x.sink.stream = mopen(reg, x.name, "wb");
        // Only deflated data can be kept as it is.
        if (x.info.compression_method != Z_DEFLATED) x.keep_inflated = true;
        // The whole entry at once: no growth copies on the way. The size was checked.
        if (x.sink.stream && x.keep_inflated &&
            mreserve(x.sink.stream, static_cast<std::int64_t>(x.info.uncompressed_size)) != Status::ok)
            return RC_NOMEM;
    } else {
        x.dest = target / safe_relative_path(x.name);
        std::error_code ec;
        fs::create_directories(x.dest.parent_path(), ec);
        x.sink.file = os::open_stream(x.dest, "wb");
    }
    return x.sink.stream || x.sink.file ? RC_OK : RC_OPEN;
}

// Finishes the destination. Memory: an entry inflated cleanly keeps its deflated form,
// so that composition can copy it as it is when nothing changes it.
int end_extraction(Extraction& x) {
    int rc = x.rc;
    if (x.sink.stream) {
        if (rc == RC_OK && !x.keep_inflated)
            mkeep_deflated_only(x.sink.stream, std::move(x.stored), static_cast<std::uint32_t>(x.info.crc),
                                static_cast<std::int64_t>(x.info.uncompressed_size));
        else if (rc == RC_OK && x.clean && x.info.compression_method == Z_DEFLATED)
            mkeep_deflated(x.sink.stream, std::move(x.stored), static_cast<std::uint32_t>(x.info.crc));
        mclose(x.sink.stream);
        x.sink.stream = nullptr;
    }
    std::vector<std::uint8_t>().swap(x.stored);
    if (x.sink.file) {
        if (std::fclose(x.sink.file) != 0 && rc == RC_OK) rc = RC_FAIL;
        x.sink.file = nullptr;
        if (rc == RC_OK) set_file_dos_time(x.dest, static_cast<std::uint32_t>(x.info.dosDate));
    }
    return rc;
}

int refuse_extraction(MfileRegistry& reg, int rc, const std::string& name) {
    if (rc == UNZ_CRCERROR) return refuse(reg, rc, RefusalKind::entry_checksum, name);
    if (rc == UNZ_BADZIPFILE) return refuse(reg, rc, RefusalKind::entry_damaged, name);
    if (rc == RC_SIZE_LIMIT) return refuse(reg, rc, RefusalKind::larger_than_declared, name);
    return rc;
}

std::uint32_t dos_from_tm(const std::tm& t) {
    int year = t.tm_year + 1900;
    if (year < 1980) return (1u << 5 | 1u) << 16;  // earliest DOS date: 1980-01-01 00:00:00
    if (year > 2107) year = 2107;
    std::uint32_t date = static_cast<std::uint32_t>(((year - 1980) << 9) | ((t.tm_mon + 1) << 5) | t.tm_mday);
    std::uint32_t time = static_cast<std::uint32_t>((t.tm_hour << 11) | (t.tm_min << 5) | (t.tm_sec / 2));
    return date << 16 | time;
}

// One entry from a file below `source` into the open archive, deflated on the way.
int write_file_entry(zipFile zf, const fs::path& source, const std::string& list_name, std::vector<char>& buf) {
    const std::string entry = strip_leading_separators(list_name);
    if (entry.size() > ZIP_MAX_ENTRY_NAME) return RC_SIZE_LIMIT;

    zip_fileinfo zi{};
    const fs::path disk_path = source.empty() ? os::u8_path(entry) : source / os::u8_path(entry);
    std::uint32_t dos = 0;
    if (get_file_dos_time(disk_path, dos) == RC_OK) zi.dosDate = dos;
    std::error_code ec;
    const auto size = fs::file_size(disk_path, ec);
    const int zip64 = !ec && size >= ZIP64_THRESHOLD ? 1 : 0;
    if (zipOpenNewFileInZip3_64(zf, entry.c_str(), &zi, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS, DEFLATE_MEM_LEVEL, Z_DEFAULT_STRATEGY,
                                nullptr, 0, zip64) != ZIP_OK)
        return RC_OPEN;

    std::FILE* file = os::open_stream(disk_path, "rb");
    if (!file) return RC_OPEN;  // zipClose finishes the open entry
    int rc = RC_OK;
    for (;;) {
        const std::size_t n = std::fread(buf.data(), 1, buf.size(), file);
        if (n < buf.size() && !std::feof(file)) {
            rc = RC_SHORT_READ;
            break;
        }
        if (n == 0) break;
        if (zipWriteInFileInZip(zf, buf.data(), static_cast<unsigned>(n)) < 0) {
            rc = RC_SHORT_WRITE;
            break;
        }
    }
    std::fclose(file);
    if (rc != RC_OK) return rc;
    return zipCloseFileInZip(zf) == ZIP_OK ? RC_OK : RC_ZIP_CLOSE;
}

// ---- composition from memory streams ----

// Whether the start of the bytes deflates at all: sealed backups (authenticated
// ciphertext) look random, and deflating 87 MB of them took 1.9 s of a 7.3 s masking to
// gain nothing.
bool compressible(std::span<const std::uint8_t> bytes) {
    constexpr std::size_t PROBE = 65536;
    const std::size_t n = std::min(bytes.size(), PROBE);
    if (n < 1024) return true;
    uLongf out_size = compressBound(static_cast<uLong>(n));
    std::vector<Bytef> out(out_size);
    if (compress2(out.data(), &out_size, bytes.data(), static_cast<uLong>(n), 1) != Z_OK) return true;
    return out_size < n - n / 50;  // at least 2 % smaller
}

// How hard a part is deflated. A backup of the original format is AES ciphertext of
// 16-byte units enciphered one by one, so only units repeated whole in the plain text
// repeat: on generated records level 1 left 73.9 % of it, the default level 73.1 % in a
// third more time. A backup that does not deflate (the strong format's) is stored in
// the deflate stream as it is.
// A large part is deflated at a fast level: on a 100 MB worksheet level 2 took a fifth of
// the default level's time for 26 % more bytes (level 1: the same time, 55 % more), and
// a masking that rewrites a million rows spends most of its time here otherwise.
int deflate_level_for(std::string_view name, std::span<const std::uint8_t> bytes) {
    if (!is_backup_entry(name)) return bytes.size() >= LARGE_PART_BYTES ? LARGE_PART_DEFLATE_LEVEL : Z_DEFAULT_COMPRESSION;
    return compressible(bytes) ? BACKUP_DEFLATE_LEVEL : Z_NO_COMPRESSION;
}

// A part of an entry's bytes deflated on its own. Large entries are cut into pieces so
// that both cores share even a single large part: each piece but the last ends on a
// byte boundary without closing the stream (a sync flush) and starts from the previous
// piece's last 32 KiB as its dictionary, so the pieces laid end to end are one deflate
// stream, compressed nearly as well as in one go.
struct DeflatePiece {
    std::span<const std::uint8_t> plain;
    std::span<const std::uint8_t> dictionary;  // the bytes before `plain`, up to 32 KiB
    bool last = true;
    int level = Z_DEFAULT_COMPRESSION;
    std::vector<std::uint8_t> out;
    std::uint32_t crc = 0;
    int rc = RC_OK;

    void run() {
        z_stream zs{};
        if (deflateInit2(&zs, level, Z_DEFLATED, -MAX_WBITS, DEFLATE_MEM_LEVEL, Z_DEFAULT_STRATEGY) != Z_OK) {
            rc = RC_NOMEM;
            return;
        }
        struct End {
            z_stream* zs;
            ~End() { deflateEnd(zs); }
        } end{&zs};
        if (!dictionary.empty() &&
            deflateSetDictionary(&zs, dictionary.data(), static_cast<uInt>(dictionary.size())) != Z_OK) {
            rc = RC_NOMEM;
            return;
        }
        try {
            out.resize(deflateBound(&zs, static_cast<uLong>(plain.size())) + 16);  // room for the sync flush
        } catch (const std::bad_alloc&) {
            rc = RC_NOMEM;
            return;
        }
        zs.next_in = const_cast<Bytef*>(plain.data());
        zs.avail_in = static_cast<uInt>(plain.size());
        zs.next_out = out.data();
        zs.avail_out = static_cast<uInt>(out.size());
        const int z = deflate(&zs, last ? Z_FINISH : Z_SYNC_FLUSH);
        const bool done = last ? z == Z_STREAM_END : (z == Z_OK && zs.avail_in == 0 && zs.avail_out > 0);
        out.resize(zs.total_out);
        out.shrink_to_fit();  // the bound is about the plain size: give back what deflating saved
        if (!done) {
            rc = RC_NOMEM;
            return;
        }
        crc = static_cast<std::uint32_t>(crc32_z(0L, plain.data(), plain.size()));
    }
};

constexpr std::size_t PIECE_BYTES = std::size_t{4} << 20;  // smaller entries stay in one piece
constexpr std::size_t DICTIONARY_BYTES = 32768;

// One entry ready to be copied into the archive: the form kept from the input for an
// untouched entry, or the pieces of its bytes deflated anew.
struct DeflatedEntry {
    std::string entry;                    // the name in the archive
    // The header the input's directory gave the entry (its date and fields), or none for
    // an entry that masking made.
    const ArchiveEntryHeader* header = nullptr;
    bool stored = false;                  // written as `kept` holds it, not deflated (and folders)
    std::span<const std::uint8_t> kept;   // the deflated form kept from the input
    std::vector<DeflatePiece> pieces;     // otherwise
    // Stored in the deflate stream as they are (a backup that does not deflate): each
    // piece is made just before it is written, so that no copy of the whole is held.
    bool as_written = false;
    std::uint32_t crc = 0;
    std::uint64_t size = 0;

    void cut(std::span<const std::uint8_t> plain, int level) {
        std::size_t at = 0;
        do {
            DeflatePiece p;
            const std::size_t n = plain.size() - at <= 2 * PIECE_BYTES ? plain.size() - at : PIECE_BYTES;
            p.plain = plain.subspan(at, n);
            const std::size_t dict = std::min(at, DICTIONARY_BYTES);
            p.dictionary = plain.subspan(at - dict, dict);
            p.level = level;
            as_written = level == Z_NO_COMPRESSION;
            at += n;
            p.last = at == plain.size();
            pieces.push_back(std::move(p));
        } while (at < plain.size());
    }
};

// Deflates the pieces on every core while the caller copies finished entries into the
// archive in their order. The caller helps: while it waits for an entry it deflates
// pieces nobody has taken yet, that entry's first, then the largest.
class DeflateWork {
public:
    explicit DeflateWork(std::vector<DeflatedEntry>& entries) {
        for (std::size_t e = 0; e < entries.size(); ++e) {
            first_.push_back(pieces_.size());
            if (entries[e].as_written) continue;  // the writer makes them
            for (auto& p : entries[e].pieces) pieces_.push_back(&p);
        }
        first_.push_back(pieces_.size());
        state_.assign(pieces_.size(), PENDING);
        for (std::size_t i = 0; i < pieces_.size(); ++i) order_.push_back(i);
        std::stable_sort(order_.begin(), order_.end(), [&](std::size_t a, std::size_t b) {
            return pieces_[a]->plain.size() > pieces_[b]->plain.size();
        });
        const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
        const std::size_t helpers = std::min<std::size_t>({cores - 1, pieces_.size() > 0 ? pieces_.size() - 1 : 0, 7});
        // Reserved before any thread starts, so that no growth can fail with one running.
        try {
            threads_.reserve(helpers);
            while (threads_.size() < helpers) threads_.emplace_back([this] { run(); });
        } catch (const std::exception&) {
            // fewer helpers; the caller deflates what is left
        }
    }
    DeflateWork(const DeflateWork&) = delete;
    DeflateWork& operator=(const DeflateWork&) = delete;
    ~DeflateWork() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        for (auto& t : threads_) t.join();
    }

    // Returns once every piece of entry e is deflated.
    void wait(std::size_t e) {
        std::unique_lock lock(mutex_);
        for (std::size_t i = first_[e]; i < first_[e + 1]; ++i) {
            while (state_[i] != DONE) {
                if (state_[i] == PENDING) {
                    run_one(i, lock);
                } else if (auto j = next_pending(); j < pieces_.size()) {
                    run_one(j, lock);
                } else {
                    done_.wait(lock);
                }
            }
        }
    }

private:
    enum : unsigned char { PENDING, TAKEN, DONE };

    std::size_t next_pending() const {
        for (std::size_t i : order_)
            if (state_[i] == PENDING) return i;
        return pieces_.size();
    }
    // Deflates piece i outside the lock.
    void run_one(std::size_t i, std::unique_lock<std::mutex>& lock) {
        state_[i] = TAKEN;
        lock.unlock();
        pieces_[i]->run();
        lock.lock();
        state_[i] = DONE;
        done_.notify_all();
    }
    void run() {
        std::unique_lock lock(mutex_);
        while (!stopping_) {
            const std::size_t i = next_pending();
            if (i >= pieces_.size()) return;
            run_one(i, lock);
        }
    }

    std::vector<DeflatePiece*> pieces_;
    std::vector<std::size_t> first_;  // entry e owns pieces first_[e] .. first_[e + 1] - 1
    std::vector<unsigned char> state_;
    std::vector<std::size_t> order_;
    std::mutex mutex_;
    std::condition_variable done_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

// Deflated bytes into the open entry, in pieces minizip takes.
bool put_deflated(zipFile zf, std::span<const std::uint8_t> bytes) {
    for (std::size_t at = 0; at < bytes.size(); at += WRITE_PIECE) {
        const std::size_t n = std::min(WRITE_PIECE, bytes.size() - at);
        if (zipWriteInFileInZip(zf, bytes.data() + at, static_cast<unsigned>(n)) < 0) return false;
    }
    return true;
}

// An entry that masking made: dated 1980-01-01 00:00:00, the earliest valid DOS date.
constexpr std::uint32_t NEW_ENTRY_DOS_DATE = (1u << 5 | 1u) << 16;
constexpr uLong NEW_ENTRY_VERSION_MADE_BY = 0;  // made on MS-DOS, as the zip library says by default

// An entry whose bytes are at hand (deflated, or as they are for a stored entry), copied
// into the archive with the header of the input's directory: its date, version, flags,
// attributes, extra fields and comment. The flags for encryption and for a data
// descriptor are never copied: neither is written here.
int write_deflated_entry(zipFile zf, DeflatedEntry& e) {
    zip_fileinfo zi{};
    zi.dosDate = NEW_ENTRY_DOS_DATE;
    const ArchiveEntryHeader* h = e.header;
    if (h) {
        zi.dosDate = h->dos_date_time;
        zi.internal_fa = h->internal_attributes;
        zi.external_fa = h->external_attributes;
    }
    const int method = e.stored ? 0 : Z_DEFLATED;
    const uInt extra_size = h ? static_cast<uInt>(h->extra.size()) : 0;
    if (zipOpenNewFileInZip4_64(zf, e.entry.c_str(), &zi, nullptr, 0, h && extra_size ? h->extra.data() : nullptr,
                                extra_size, h && !h->comment.empty() ? h->comment.c_str() : nullptr, method,
                                Z_DEFAULT_COMPRESSION, 1 /* raw */, -MAX_WBITS, DEFLATE_MEM_LEVEL, Z_DEFAULT_STRATEGY,
                                nullptr, 0, h ? h->version_made_by : NEW_ENTRY_VERSION_MADE_BY,
                                h ? static_cast<uLong>(h->flag & ~0x0009u) : 0, 0) != ZIP_OK)
        return RC_OPEN;
    std::uint32_t crc = e.crc;
    if (e.pieces.empty()) {
        if (!put_deflated(zf, e.kept)) return RC_SHORT_WRITE;
    } else {
        crc = 0;
        for (DeflatePiece& p : e.pieces) {
            if (e.as_written) p.run();
            if (p.rc != RC_OK) return p.rc;
            if (!put_deflated(zf, p.out)) return RC_SHORT_WRITE;
            crc = static_cast<std::uint32_t>(crc32_combine(crc, p.crc, static_cast<z_off_t>(p.plain.size())));
            std::vector<std::uint8_t>().swap(p.out);  // written: its memory goes back now
        }
    }
    return zipCloseFileInZipRaw64(zf, e.size, crc) == ZIP_OK ? RC_OK : RC_ZIP_CLOSE;
}

// Every named stream into the open archive, in list order.
// A name of the registry's layout that is a folder entry there, or a stream otherwise,
// keeps the header the layout gives it.
int write_stream_entries(MfileRegistry& reg, zipFile zf, const std::vector<std::string>& names) {
    std::map<std::string_view, const ArchiveEntryHeader*> headers;
    for (const ArchiveEntryHeader& h : reg.layout.entries) headers.emplace(h.name, &h);
    std::vector<DeflatedEntry> entries(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        DeflatedEntry& e = entries[i];
        e.entry = strip_leading_separators(names[i]);
        if (e.entry.size() > ZIP_MAX_ENTRY_NAME) return RC_SIZE_LIMIT;
        if (const auto found = headers.find(names[i]); found != headers.end()) e.header = found->second;
        if (e.header && e.header->folder) {
            e.stored = true;
            continue;
        }
        Mfile* f = mopen(reg, names[i], "rb");
        if (!f) return RC_OPEN;
        e.size = static_cast<std::uint64_t>(f->length);
        e.kept = mdeflated(f);
        e.crc = f->crc;
        if (e.header && e.header->method == 0 && !f->deflated_only) {
            // Stored in the input: stored again, as it is now.
            e.stored = true;
            e.kept = mdata(f);
            e.crc = static_cast<std::uint32_t>(crc32_z(0L, e.kept.data(), e.kept.size()));
        } else if (e.kept.empty()) {
            // A stream that was written to is deflated anew.
            e.cut(mdata(f), deflate_level_for(names[i], mdata(f)));
        }
        mclose(f);
    }
    DeflateWork work(entries);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        work.wait(i);
        // One made as it is written stores about its size (its pieces are made below).
        std::uint64_t stored = entries[i].kept.size() + (entries[i].as_written ? entries[i].size : 0);
        for (const DeflatePiece& p : entries[i].pieces) {
            if (p.rc != RC_OK) return p.rc;
            stored += p.out.size();
        }
        if (int rc = write_deflated_entry(zf, entries[i]); rc != RC_OK) return rc;
        if (reg.meter && !reg.meter->part_written(stored)) return RC_FAIL;  // cancelled
    }
    return RC_OK;
}

// The archive's comment, after its end record (written with an empty one): its length
// into the record's last two bytes, then its bytes, through the handle that wrote the
// rest.
int append_comment(MfileRegistry& reg, const fs::path& archive, ArchiveWriter* writer, std::string_view comment) {
    const std::uint8_t length[2] = {static_cast<std::uint8_t>(comment.size() & 0xFF),
                                    static_cast<std::uint8_t>(comment.size() >> 8)};
    if (writer) {
        if (writer->end() < 2) return RC_SHORT_WRITE;
        writer->seek(writer->end() - 2);
        const bool ok = writer->write(length, 2) == 2 && writer->write(comment.data(), comment.size()) == comment.size() &&
                        writer->flush();
        if (!ok) reg.os_error = writer->error();
        return ok ? RC_OK : RC_SHORT_WRITE;
    }
    Mfile* m = mopen(reg, os::path_u8(archive), "rb");
    const bool ok = m && mseek(m, -2, 2) == Status::ok && mwrite(length, 1, 2, m) == 2 && mwrite_all(m, comment);
    mclose(m);
    return ok ? RC_OK : RC_SHORT_WRITE;
}

void discard_archive(MfileRegistry& reg, const fs::path& archive, const ZipArchiveLocation& location) {
    if (location.on_disk && location.into >= 0) {
        [[maybe_unused]] int ignored = os::truncate(location.into, 0);  // the caller's file: emptied, not removed
    } else if (location.on_disk) {
        std::error_code ec;
        fs::remove(archive, ec);
    } else {
        mremove(reg, os::path_u8(archive));
    }
}

}  // namespace

namespace {
int extract_checked(MfileRegistry& reg, ArchiveReader& reader, const std::vector<CheckedEntry>& entries,
                    std::string_view archive_comment, int mode,
                    const fs::path& target, int capacity, std::vector<std::string>& names, EntryFilter wanted,
                    EntryFilter read = nullptr);
}  // namespace

int tiv_zip_on_memory(ZipArchiveLocation& location, int flag) {
    location.on_disk = flag != 0;
    return RC_OK;
}

int unzip_package(MfileRegistry& reg, int mode, const fs::path& archive, const fs::path& target, int capacity,
                  std::vector<std::string>& names, const ZipArchiveLocation& location, EntryFilter wanted) {
    if (capacity < 1 || (mode != ZIP_MODE_MEMORY && target.empty())) return RC_REFUSED;
    names.clear();
    reg.refusal = {};

    ReadArchive in;
    if (int rc = in.open(reg, archive, location); rc != RC_OK) return rc;

    // Everything that can refuse the archive is checked before anything is written.
    std::vector<CheckedEntry> entries;
    if (int rc = check_entries(reg, in.uf, mode, capacity, in.limit(), entries); rc != RC_OK) return rc;
    return extract_checked(reg, *in.reader, entries, in.comment, mode, target, capacity, names, wanted);
}

namespace {

// Extracts the entries of an archive whose entries check_entries accepted. In memory,
// the entries `read` rejects are kept deflated only.
int extract_checked(MfileRegistry& reg, ArchiveReader& reader, const std::vector<CheckedEntry>& entries,
                    std::string_view archive_comment, int mode,
                    const fs::path& target, int capacity, std::vector<std::string>& names, EntryFilter wanted,
                    EntryFilter read) {
    names.clear();
    if (mode != ZIP_MODE_MEMORY) {
        remove_tree(target);
        if (make_dirs(target) != RC_OK) return RC_FAIL;
    }

    // Stored bytes are read in directory order; inflating them, the bulk of the work,
    // runs on every core, the largest entries first.
    std::vector<std::unique_ptr<Extraction>> work;
    reg.layout = {};
    reg.layout.comment = archive_comment;
    for (const CheckedEntry& entry : entries) {
        auto x = std::make_unique<Extraction>();
        x->info = entry.info;
        x->name = entry.name;
        reg.layout.entries.push_back(entry.header);
        if (is_directory_entry(x->name)) {
            if (mode != ZIP_MODE_MEMORY && make_dirs(target / safe_relative_path(x->name)) != RC_OK) return RC_FAIL;
        } else if (!wanted || wanted(x->name)) {  // the others were checked, and are neither inflated nor listed
            if (static_cast<int>(names.size()) >= capacity) return refuse_extraction(reg, RC_SIZE_LIMIT, x->name);
            x->keep_inflated = mode != ZIP_MODE_MEMORY || !read || read(x->name);
            if (int r = begin_extraction(reg, reader, entry.data_at, mode, target, *x); r != RC_OK)
                return refuse_extraction(reg, r, x->name);
            names.push_back(x->name);
            work.push_back(std::move(x));
        }
    }

    std::vector<Extraction*> by_size;
    for (auto& x : work) by_size.push_back(x.get());
    std::stable_sort(by_size.begin(), by_size.end(),
                     [](const Extraction* a, const Extraction* b) { return a->stored.size() > b->stored.size(); });
    // A stop asked through the meter leaves the entries not yet begun failed.
    std::atomic<bool> stopped{false};
    run_on_all_cores(by_size.size(), [&](std::size_t i) {
        Extraction& x = *by_size[i];
        if (stopped) {
            x.rc = RC_FAIL;
            return;
        }
        x.inflate_now();
        if (reg.meter && !reg.meter->part_read(x.stored.size())) stopped = true;
    });
    // The first entry that fails, in directory order, is the one reported.
    int result = RC_OK;
    for (auto& x : work) {
        const int r = end_extraction(*x);
        if (r != RC_OK && result == RC_OK) result = refuse_extraction(reg, r, x->name);
    }
    return result;
}

}  // namespace

struct CheckedArchive::Open {
    ReadArchive in;
    std::vector<CheckedEntry> entries;
    std::vector<std::string> names;
    std::vector<std::uint64_t> sizes;
};

CheckedArchive::CheckedArchive() = default;
CheckedArchive::~CheckedArchive() = default;

int CheckedArchive::open(MfileRegistry& reg, const fs::path& archive, const ZipArchiveLocation& location) {
    open_.reset();
    reg.refusal = {};
    auto opened = std::make_unique<Open>();
    if (int rc = opened->in.open(reg, archive, location); rc != RC_OK) return rc;
    return check(reg, std::move(opened));
}

int CheckedArchive::open(MfileRegistry& reg, ArchiveReader& reader) {
    open_.reset();
    reg.refusal = {};
    auto opened = std::make_unique<Open>();
    if (int rc = opened->in.open(reg, reader); rc != RC_OK) return rc;
    return check(reg, std::move(opened));
}

int CheckedArchive::check(MfileRegistry& reg, std::unique_ptr<Open> opened) {
    if (int rc = check_entries(reg, opened->in.uf, ZIP_MODE_MEMORY, ZIP_MAX_ENTRIES, opened->in.limit(),
                               opened->entries);
        rc != RC_OK)
        return rc;
    for (const CheckedEntry& e : opened->entries) {
        opened->names.push_back(e.name);
        opened->sizes.push_back(is_directory_entry(e.name) ? 0 : e.info.uncompressed_size);
    }
    open_ = std::move(opened);
    return RC_OK;
}

void CheckedArchive::close() { open_.reset(); }

void* CheckedArchive::handle() const { return open_ ? open_->in.uf : nullptr; }

const std::vector<std::string>& CheckedArchive::names() const {
    static const std::vector<std::string> none;
    return open_ ? open_->names : none;
}

const std::vector<std::uint64_t>& CheckedArchive::sizes() const {
    static const std::vector<std::uint64_t> none;
    return open_ ? open_->sizes : none;
}

int CheckedArchive::extract(MfileRegistry& reg, std::vector<std::string>& names, EntryFilter wanted,
                            EntryFilter read) {
    names.clear();
    if (!open_) return RC_OPEN;
    reg.refusal = {};
    return extract_checked(reg, *open_->in.reader, open_->entries, open_->in.comment, ZIP_MODE_MEMORY, {}, ZIP_MAX_ENTRIES, names, wanted,
                           read);
}

int zip_package(MfileRegistry& reg, int mode, const fs::path& archive, const fs::path& source,
                const std::vector<std::string>& names, const ZipArchiveLocation& location) {
    std::vector<char> buf;
    try {
        buf.resize(WRITE_PIECE);
    } catch (const std::bad_alloc&) {
        return RC_NOMEM;
    }
    if (location.comment.size() > 0xFFFF) return RC_SIZE_LIMIT;
    // The file written: the caller's, emptied first, or a fresh one made at the path
    // (never written through an existing link there).
    int fd = location.into;
    if (location.on_disk && location.into >= 0 && os::truncate(fd, 0) != 0) {
        reg.os_error = errno;
        return RC_OPEN;
    }
    if (location.on_disk && location.into < 0) {
        std::error_code ec;
        fs::remove(archive, ec);
        fd = os::open(archive, os::Access::create_exclusive);
        if (fd < 0) {
            reg.os_error = errno;
            return RC_OPEN;
        }
    }
    struct Owned {
        int fd;
        ~Owned() {
            if (fd >= 0) os::close(fd);
        }
    } owned{location.on_disk && location.into < 0 ? fd : -1};
    std::optional<ArchiveWriter> writer;
    ZipIo io{&reg};
    if (location.on_disk) {
        writer.emplace(fd);
        io.writer = &*writer;
    } else {
        io.memory = true;
    }
    zlib_filefunc64_def table = make_table(io);
    zipFile zf = zipOpen2_64(os::path_u8(archive).c_str(), APPEND_STATUS_CREATE, nullptr, &table);
    if (!zf) {
        if (location.on_disk && location.into < 0) discard_archive(reg, archive, location);
        return RC_OPEN;
    }

    int rc = RC_OK;
    if (mode == ZIP_MODE_MEMORY) {
        try {
            rc = write_stream_entries(reg, zf, names);
        } catch (const std::bad_alloc&) {
            rc = RC_NOMEM;
        }
    } else {
        for (const std::string& name : names) {
            rc = write_file_entry(zf, source, name, buf);
            if (rc != RC_OK) break;
        }
    }
    if (zipClose(zf, nullptr) != ZIP_OK && rc == RC_OK) rc = RC_ZIP_CLOSE;
    // A masked workbook's comment is its footer; a restore gives the original one back.
    const std::string_view comment =
        !location.comment.empty() ? std::string_view(location.comment)
                                  : mode == ZIP_MODE_MEMORY ? std::string_view(reg.archive_comment) : std::string_view();
    if (rc == RC_OK && !comment.empty()) rc = append_comment(reg, archive, writer ? &*writer : nullptr, comment);
    if (rc != RC_OK) discard_archive(reg, archive, location);
    return rc;
}

fs::path output_path_for(const fs::path& input, Direction direction, bool is_overwrite) {
    if (is_overwrite) return input;
    // Composed on the UTF-8 text of the file name, so no character is ever split.
    const std::string prefix = direction == Direction::mask ? "\xE2\x97\x8F" /* ● */ : "\xE3\x80\x87" /* 〇 */;
    return input.parent_path() / os::u8_path(prefix + os::path_u8(input.filename()));
}

namespace {

// Every live stream of the registry into the archive, in the order of the registry's
// layout with its folder entries, then the others in registry order.
int compose_registry(MfileRegistry& reg, const fs::path& archive, const ZipArchiveLocation& location) {
    std::vector<std::string> names;
    try {
        std::vector<std::string> live;
        live.reserve(static_cast<std::size_t>(mcount(reg)));
        mlist(reg, live);
        names = composition_order(reg.layout, live);
    } catch (const std::bad_alloc&) {
        return RC_NOMEM;
    }
    return zip_package(reg, ZIP_MODE_MEMORY, archive, {}, names, location);
}

}  // namespace

int hsc_write_excel(MfileRegistry& reg, const fs::path& input, fs::path& output, Direction direction, bool is_overwrite,
                    int compose_into, std::string_view comment) {
    output = output_path_for(input, direction, is_overwrite);
    ZipArchiveLocation into;
    into.into = compose_into;
    into.comment = comment;
    return compose_registry(reg, "/proc/self/fd/" + std::to_string(compose_into), into);
}

int hsc_write_excel(MfileRegistry& reg, const fs::path& input, fs::path& output, Direction direction, bool is_overwrite,
                    const fs::path& compose_into) {
    output = output_path_for(input, direction, is_overwrite);
    return compose_registry(reg, compose_into, {});
}

int make_dirs(const fs::path& path) {
    if (path.empty()) return RC_FAIL;
    std::error_code ec;
    fs::create_directories(path, ec);
    return !ec && fs::is_directory(path, ec) ? RC_OK : RC_FAIL;
}

int remove_tree(const fs::path& path) {
    std::error_code ec;
    fs::remove_all(path, ec);
    return ec ? RC_FAIL : RC_OK;
}

int get_file_dos_time(const fs::path& path, std::uint32_t& dos_date_time) {
    std::time_t modified = 0;
    if (os::modified_time(path, modified) != 0) return RC_FAIL;
    std::tm local{};
    if (!os::local_time(modified, local)) return RC_FAIL;
    dos_date_time = dos_from_tm(local);
    return RC_OK;
}

int set_file_dos_time(const fs::path& path, std::uint32_t dos_date_time) {
    const std::uint32_t date = dos_date_time >> 16, time = dos_date_time & 0xFFFF;
    std::tm local{};
    local.tm_year = static_cast<int>((date >> 9) & 0x7F) + 80;
    local.tm_mon = static_cast<int>((date >> 5) & 0x0F) - 1;
    local.tm_mday = static_cast<int>(date & 0x1F);
    local.tm_hour = static_cast<int>(time >> 11);
    local.tm_min = static_cast<int>((time >> 5) & 0x3F);
    local.tm_sec = static_cast<int>((time & 0x1F) * 2);
    local.tm_isdst = -1;
    std::time_t t = std::mktime(&local);
    if (t == static_cast<std::time_t>(-1)) return RC_FAIL;
    // The last-write time is set, last access kept.
    return os::set_modified_time(path, t) == 0 ? RC_OK : RC_FAIL;
}

}  // namespace hsc
