#include "package/zip_package.h"

#include <minizip/unzip.h>
#include <minizip/zip.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include "core/mask_settings.h"
#include "core/status.h"

namespace hsc {
namespace fs = std::filesystem;

namespace {

constexpr std::size_t READ_PIECE = 8192;    // bytes per read from an archive entry
constexpr std::size_t WRITE_PIECE = 16384;  // bytes per write into an archive entry
constexpr std::uint64_t ZIP64_THRESHOLD = 0xFFFFFFFFull;
constexpr int DEFLATE_MEM_LEVEL = 8;

// ---- the file-function table handed to minizip ----

struct ZipIo {
    MfileRegistry* reg;
    bool on_disk;
};

// What the open function hands to minizip: a descriptor or a stream, and the last error.
struct ArchiveHandle {
    int fd = -1;
    Mfile* stream = nullptr;
    int error = 0;
};

voidpf ZCALLBACK io_open(voidpf opaque, const void* filename, int mode) {
    auto* io = static_cast<ZipIo*>(opaque);
    if (!filename) return nullptr;
    const char* path = static_cast<const char*>(filename);
    const bool read_only = (mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) == ZLIB_FILEFUNC_MODE_READ;
    const bool existing = (mode & ZLIB_FILEFUNC_MODE_EXISTING) != 0;
    const bool create = (mode & ZLIB_FILEFUNC_MODE_CREATE) != 0;

    ArchiveHandle h;
    if (io->on_disk) {
        if (read_only)
            h.fd = ::open(path, O_RDONLY | O_CLOEXEC);
        else if (existing)
            h.fd = ::open(path, O_RDWR | O_CLOEXEC);
        else if (create)
            h.fd = ::open(path, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (h.fd < 0) return nullptr;
    } else {
        // Memory streams can be read or created; updating an existing one is not offered.
        if (read_only)
            h.stream = mopen(*io->reg, path, "rb");
        else if (create && !existing)
            h.stream = mopen(*io->reg, path, "wb");
        if (!h.stream) return nullptr;
    }
    auto* record = new (std::nothrow) ArchiveHandle(h);
    if (!record) {
        if (h.fd >= 0) ::close(h.fd);
        if (h.stream) mclose(h.stream);
    }
    return record;
}

uLong ZCALLBACK io_read(voidpf, voidpf stream, void* buf, uLong size) {
    auto* h = static_cast<ArchiveHandle*>(stream);
    if (!h) return 0;
    if (h->stream) return static_cast<uLong>(mread(buf, 1, size, h->stream));
    uLong done = 0;
    while (done < size) {
        ssize_t n = ::read(h->fd, static_cast<char*>(buf) + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            h->error = errno;
            break;
        }
        if (n == 0) break;  // end of file is not an error
        done += static_cast<uLong>(n);
    }
    return done;
}

uLong ZCALLBACK io_write(voidpf, voidpf stream, const void* buf, uLong size) {
    auto* h = static_cast<ArchiveHandle*>(stream);
    if (!h) return 0;
    if (h->stream) {
        if (size == 0) return 0;
        if (mwrite(buf, 1, size, h->stream) != size) {
            h->error = ENOMEM;
            return 0;
        }
        return size;
    }
    uLong done = 0;
    while (done < size) {
        ssize_t n = ::write(h->fd, static_cast<const char*>(buf) + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            h->error = n < 0 ? errno : EIO;
            break;
        }
        done += static_cast<uLong>(n);
    }
    return done;
}

ZPOS64_T ZCALLBACK io_tell(voidpf, voidpf stream) {
    auto* h = static_cast<ArchiveHandle*>(stream);
    if (!h) return static_cast<ZPOS64_T>(-1);
    std::int64_t pos = h->stream ? mtell(h->stream) : static_cast<std::int64_t>(::lseek(h->fd, 0, SEEK_CUR));
    if (pos < 0) {
        h->error = h->stream ? EINVAL : errno;
        return static_cast<ZPOS64_T>(-1);
    }
    return static_cast<ZPOS64_T>(pos);
}

long ZCALLBACK io_seek(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    auto* h = static_cast<ArchiveHandle*>(stream);
    if (!h) return -1;
    int whence;
    switch (origin) {
        case ZLIB_FILEFUNC_SEEK_SET: whence = SEEK_SET; break;
        case ZLIB_FILEFUNC_SEEK_CUR: whence = SEEK_CUR; break;
        case ZLIB_FILEFUNC_SEEK_END: whence = SEEK_END; break;
        default: return -1;
    }
    const auto off = static_cast<std::int64_t>(offset);
    if (h->stream) {
        if (mseek(h->stream, off, whence) != 0) {
            h->error = EINVAL;
            return -1;
        }
        return 0;
    }
    if (::lseek(h->fd, static_cast<off_t>(off), whence) < 0) {
        h->error = errno;
        return -1;
    }
    return 0;
}

int ZCALLBACK io_close(voidpf, voidpf stream) {
    auto* h = static_cast<ArchiveHandle*>(stream);
    if (!h) return -1;
    int rc = 0;
    if (h->stream) mclose(h->stream);
    if (h->fd >= 0 && ::close(h->fd) != 0) rc = -1;  // a failed close may lose written data
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

bool is_directory_entry(const std::string& name) {
    return !name.empty() && (name.back() == '/' || name.back() == '\\');
}

// The place of an entry below the target directory, or empty when the name would leave
// it ("..") or is empty.
fs::path safe_relative_path(const std::string& name) {
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
        if (!part.empty() && part != ".") rel /= part;
        start = end + 1;
    }
    return rel;
}

std::string strip_leading_separators(const std::string& name) {
    std::size_t i = name.find_first_not_of("/\\");
    return i == std::string::npos ? std::string() : name.substr(i);
}

struct UnzCloser {
    unzFile uf;
    ~UnzCloser() { unzClose(uf); }
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

// Checks every entry before anything is extracted: count, name length, size, path.
int check_entries(unzFile uf, int mode, int capacity) {
    unz_global_info64 global{};
    if (int rc = unzGetGlobalInfo64(uf, &global); rc != UNZ_OK) return rc;
    if (global.number_entry >= static_cast<ZPOS64_T>(capacity)) return RC_SIZE_LIMIT;

    long long seen = 0;
    int rc = unzGoToFirstFile(uf);
    while (rc == UNZ_OK) {
        if (++seen >= capacity) return RC_SIZE_LIMIT;  // the directory holds more than it says
        unz_file_info64 info{};
        std::string name;
        if (int r = current_entry(uf, info, name); r != RC_OK) return r;
        if (name.find('\0') != std::string::npos) return RC_FAIL;
        if (!is_directory_entry(name)) {
            // minizip never inflates past the declared size, so this bounds the data too.
            if (mode == ZIP_MODE_MEMORY && info.uncompressed_size > static_cast<ZPOS64_T>(MFILE_MAX_LENGTH))
                return RC_SIZE_LIMIT;
            if (mode != ZIP_MODE_MEMORY && safe_relative_path(name).empty()) return RC_FAIL;
        }
        rc = unzGoToNextFile(uf);
    }
    return rc == UNZ_END_OF_LIST_OF_FILE ? RC_OK : rc;
}

// Copies the open entry into a stream or a file. 0 or a status.
int copy_entry(unzFile uf, std::vector<char>& buf, Mfile* stream, std::FILE* file) {
    std::int64_t total = 0;
    for (;;) {
        int n = unzReadCurrentFile(uf, buf.data(), static_cast<unsigned>(buf.size()));
        if (n < 0) return n;
        if (n == 0) return RC_OK;
        total += n;
        if (stream) {
            if (total > MFILE_MAX_LENGTH) return RC_SIZE_LIMIT;
            if (mwrite(buf.data(), static_cast<std::size_t>(n), 1, stream) != 1) return RC_NOMEM;
        } else if (std::fwrite(buf.data(), 1, static_cast<std::size_t>(n), file) != static_cast<std::size_t>(n)) {
            return RC_FAIL;
        }
    }
}

// Extracts the current (file) entry. `names` receives its name once a destination exists.
int extract_entry(MfileRegistry& reg, unzFile uf, int mode, const fs::path& target, const std::string& name,
                  std::uint32_t dos_date_time, int capacity, std::vector<char>& buf, std::vector<std::string>& names) {
    if (unzOpenCurrentFilePassword(uf, nullptr) != UNZ_OK) return RC_FAIL;

    Mfile* stream = nullptr;
    std::FILE* file = nullptr;
    fs::path dest;
    if (mode == ZIP_MODE_MEMORY) {
        stream = mopen(reg, name, "wb");
    } else {
        dest = target / safe_relative_path(name);
        std::error_code ec;
        fs::create_directories(dest.parent_path(), ec);
        file = std::fopen(dest.c_str(), "wb");
    }
    if (!stream && !file) {
        unzCloseCurrentFile(uf);
        return RC_OPEN;
    }
    int rc = RC_OK;
    if (static_cast<int>(names.size()) >= capacity)
        rc = RC_SIZE_LIMIT;
    else
        names.push_back(name);
    if (rc == RC_OK) rc = copy_entry(uf, buf, stream, file);

    if (stream) mclose(stream);
    if (file) {
        if (std::fclose(file) != 0 && rc == RC_OK) rc = RC_FAIL;
        if (rc == RC_OK) set_file_dos_time(dest, dos_date_time);
    }
    int close_rc = unzCloseCurrentFile(uf);  // reports a checksum mismatch
    if (rc == RC_OK) rc = close_rc;
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

// One entry from a stream or a file into the open archive.
int write_entry(MfileRegistry& reg, zipFile zf, int mode, const fs::path& source, const std::string& list_name,
                std::vector<char>& buf) {
    const std::string entry = strip_leading_separators(list_name);
    if (entry.size() > ZIP_MAX_ENTRY_NAME) return RC_SIZE_LIMIT;

    zip_fileinfo zi{};  // all-zero date: minizip stores date word 0x0020, time word 0
    int zip64 = 0;
    fs::path disk_path;
    if (mode != ZIP_MODE_MEMORY) {
        disk_path = source.empty() ? fs::path(entry) : source / entry;
        std::uint32_t dos = 0;
        if (get_file_dos_time(disk_path, dos) == RC_OK) zi.dosDate = dos;
        std::error_code ec;
        auto size = fs::file_size(disk_path, ec);
        if (!ec && size >= ZIP64_THRESHOLD) zip64 = 1;
    }
    if (zipOpenNewFileInZip3_64(zf, entry.c_str(), &zi, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS, DEFLATE_MEM_LEVEL, Z_DEFAULT_STRATEGY,
                                nullptr, 0, zip64) != ZIP_OK)
        return RC_OPEN;

    Mfile* stream = nullptr;
    std::FILE* file = nullptr;
    if (mode == ZIP_MODE_MEMORY)
        stream = mopen(reg, list_name, "rb");
    else
        file = std::fopen(disk_path.c_str(), "rb");
    if (!stream && !file) return RC_OPEN;  // zipClose finishes the open entry

    int rc = RC_OK;
    for (;;) {
        std::size_t n = stream ? mread(buf.data(), 1, buf.size(), stream) : std::fread(buf.data(), 1, buf.size(), file);
        if (n < buf.size()) {
            bool at_end = stream ? meof(stream) != 0 : std::feof(file) != 0;
            if (!at_end) {
                rc = RC_SHORT_READ;
                break;
            }
        }
        if (n == 0) break;
        if (zipWriteInFileInZip(zf, buf.data(), static_cast<unsigned>(n)) < 0) {
            rc = RC_SHORT_WRITE;
            break;
        }
    }
    if (stream) mclose(stream);
    if (file) std::fclose(file);
    if (rc != RC_OK) return rc;
    return zipCloseFileInZip(zf) == ZIP_OK ? RC_OK : RC_ZIP_CLOSE;
}

void discard_archive(MfileRegistry& reg, const fs::path& archive, const ZipArchiveLocation& location) {
    if (location.on_disk) {
        std::error_code ec;
        fs::remove(archive, ec);
    } else {
        mremove(reg, archive.string());
    }
}

}  // namespace

int tiv_zip_on_memory(ZipArchiveLocation& location, int flag) {
    location.on_disk = flag != 0;
    return RC_OK;
}

int unzip_package(MfileRegistry& reg, int mode, const fs::path& archive, const fs::path& target, int capacity,
                  std::vector<std::string>& names, const ZipArchiveLocation& location) {
    if (capacity < 1 || (mode != ZIP_MODE_MEMORY && target.empty())) return RC_REFUSED;
    names.clear();

    ZipIo io{&reg, location.on_disk};
    zlib_filefunc64_def table = make_table(io);
    unzFile uf = unzOpen2_64(archive.c_str(), &table);
    if (!uf) return RC_OPEN;
    UnzCloser closer{uf};

    // Everything that can refuse the archive is checked before anything is written.
    if (int rc = check_entries(uf, mode, capacity); rc != RC_OK) return rc;

    if (mode != ZIP_MODE_MEMORY) {
        remove_tree(target);
        if (make_dirs(target) != RC_OK) return RC_FAIL;
    }

    std::vector<char> buf;
    try {
        buf.resize(READ_PIECE);
    } catch (const std::bad_alloc&) {
        return RC_SEEK;  // no memory for the extraction buffer
    }

    int rc = unzGoToFirstFile(uf);
    while (rc == UNZ_OK) {
        unz_file_info64 info{};
        std::string name;
        if (int r = current_entry(uf, info, name); r != RC_OK) return r;
        if (is_directory_entry(name)) {
            if (mode != ZIP_MODE_MEMORY && make_dirs(target / safe_relative_path(name)) != RC_OK) return RC_FAIL;
        } else if (int r = extract_entry(reg, uf, mode, target, name, static_cast<std::uint32_t>(info.dosDate),
                                         capacity, buf, names);
                   r != RC_OK) {
            return r;
        }
        rc = unzGoToNextFile(uf);
    }
    return rc == UNZ_END_OF_LIST_OF_FILE ? RC_OK : rc;
}

int zip_package(MfileRegistry& reg, int mode, const fs::path& archive, const fs::path& source,
                const std::vector<std::string>& names, const ZipArchiveLocation& location) {
    std::vector<char> buf;
    try {
        buf.resize(WRITE_PIECE);
    } catch (const std::bad_alloc&) {
        return RC_NOMEM;
    }
    if (location.on_disk) {
        // A fresh file: never write through an existing link at the archive path.
        std::error_code ec;
        fs::remove(archive, ec);
    }

    ZipIo io{&reg, location.on_disk};
    zlib_filefunc64_def table = make_table(io);
    zipFile zf = zipOpen2_64(archive.c_str(), APPEND_STATUS_CREATE, nullptr, &table);
    if (!zf) return RC_OPEN;

    int rc = RC_OK;
    for (const std::string& name : names) {
        rc = write_entry(reg, zf, mode, source, name, buf);
        if (rc != RC_OK) break;
    }
    if (zipClose(zf, nullptr) != ZIP_OK && rc == RC_OK) rc = RC_ZIP_CLOSE;
    if (rc != RC_OK) discard_archive(reg, archive, location);
    return rc;
}

fs::path output_path_for(const fs::path& input, int direction, bool is_overwrite) {
    if (is_overwrite) return input;
    // Composed on the UTF-8 text of the file name, so no character is ever split.
    const std::string prefix = direction == DIRECTION_MASK ? "\xE2\x97\x8F" /* ● */ : "\xE3\x80\x87" /* 〇 */;
    return input.parent_path() / fs::path(prefix + input.filename().string());
}

int hsc_write_excel(MfileRegistry& reg, const fs::path& input, fs::path& output, int direction, bool is_overwrite,
                    const fs::path& compose_into) {
    output = output_path_for(input, direction, is_overwrite);
    std::vector<std::string> names;
    try {
        names.reserve(static_cast<std::size_t>(mcount(reg)));
        mlist(reg, names);
    } catch (const std::bad_alloc&) {
        return RC_NOMEM;
    }
    return zip_package(reg, ZIP_MODE_MEMORY, compose_into, {}, names);
}

int hsc_write_excel(MfileRegistry& reg, const fs::path& input, fs::path& output, int direction, bool is_overwrite) {
    const fs::path final_path = output_path_for(input, direction, is_overwrite);
    fs::path dir = final_path.parent_path();
    std::string tmpl = ((dir.empty() ? fs::path(".") : dir) / ".hushcel-XXXXXX").string();
    int fd = ::mkstemp(tmpl.data());
    if (fd < 0) {
        output = final_path;
        return RC_OPEN;
    }
    ::close(fd);
    const fs::path temp = tmpl;
    int rc = hsc_write_excel(reg, input, output, direction, is_overwrite, temp);
    std::error_code ec;
    if (rc == RC_OK) {
        // An overwritten workbook keeps its permissions.
        auto st = fs::status(final_path, ec);
        if (!ec && fs::exists(st)) fs::permissions(temp, st.permissions(), ec);
        fs::rename(temp, final_path, ec);
        if (ec) rc = RC_OPEN;
    }
    if (rc != RC_OK) fs::remove(temp, ec);
    return rc;
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
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) return RC_FAIL;
    std::tm local{};
    if (!::localtime_r(&st.st_mtime, &local)) return RC_FAIL;
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
    // Linux keeps no settable creation time; the last-write time is set, last access kept.
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = t;
    times[1].tv_nsec = 0;
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0 ? RC_OK : RC_FAIL;
}

}  // namespace hsc
