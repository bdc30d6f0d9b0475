#include "os/file.h"

#include "os/win32.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <algorithm>

namespace hsc::os {

namespace win32 {

constexpr DWORD DISK_QUOTA_EXCEEDED = 1295;  // not in every SDK's headers

int errno_from(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME: return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT: return EACCES;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: return EWOULDBLOCK;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: return EEXIST;
        case ERROR_DISK_FULL:
        case DISK_QUOTA_EXCEEDED:
        case ERROR_HANDLE_DISK_FULL: return ENOSPC;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY: return ENOMEM;
        case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
        case ERROR_DIRECTORY: return ENOTDIR;
        case ERROR_INVALID_PARAMETER:
        case ERROR_INVALID_NAME: return EINVAL;
        case ERROR_NOT_SUPPORTED: return ENOTSUP;
        default: return EIO;
    }
}

int set_errno_from_last_error() {
    errno = errno_from(::GetLastError());
    return errno;
}

std::wstring wide(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string utf8(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                        nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
    return out;
}

HANDLE handle_of(int fd) { return reinterpret_cast<HANDLE>(::_get_osfhandle(fd)); }

}  // namespace win32

std::FILE* open_stream(const std::filesystem::path& path, const char* mode) {
    return ::_wfopen(path.c_str(), win32::wide(mode).c_str());
}

// Every sharing flag: other programs may read and write as on POSIX, and a file we hold
// open can still be renamed over or removed (the temporary file is, while open).
int open(const std::filesystem::path& path, Access access, FileMode mode) {
    DWORD rights = GENERIC_READ | GENERIC_WRITE, disposition = OPEN_ALWAYS;
    int flags = _O_RDWR;
    switch (access) {
        case Access::read: rights = GENERIC_READ; disposition = OPEN_EXISTING; flags = _O_RDONLY; break;
        case Access::read_write: disposition = OPEN_EXISTING; break;
        case Access::write: rights = GENERIC_WRITE; flags = _O_WRONLY; break;
        case Access::create: break;
        case Access::create_truncate: disposition = CREATE_ALWAYS; break;
        case Access::create_exclusive: disposition = CREATE_NEW; break;
    }
    DWORD attributes = (mode & 0200) ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
    // A folder opens for reading as on POSIX, so that callers tell it apart by status().
    if (access == Access::read) attributes |= FILE_FLAG_BACKUP_SEMANTICS;
    HANDLE h = ::CreateFileW(path.c_str(), rights, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             disposition, attributes, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        win32::set_errno_from_last_error();
        return -1;
    }
    // Binary: the runtime would otherwise turn LF into CR LF.
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), flags | _O_BINARY | _O_NOINHERIT);
    if (fd < 0) {
        ::CloseHandle(h);
        errno = EMFILE;
        return -1;
    }
    return fd;
}

int close(int fd) { return ::_close(fd); }

int duplicate(int fd) { return ::_dup(fd); }

namespace {

constexpr std::size_t CHUNK = 1u << 30;  // the runtime counts in unsigned int

template <typename Call>
std::int64_t whole(std::size_t count, Call call) {
    std::size_t done = 0;
    while (done < count) {
        const std::int64_t n = call(done, std::min(count - done, CHUNK));
        if (n < 0 && done == 0) return -1;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
}

}  // namespace

std::int64_t read(int fd, void* buffer, std::size_t count) {
    auto* out = static_cast<char*>(buffer);
    return whole(count, [&](std::size_t done, std::size_t n) {
        return static_cast<std::int64_t>(::_read(fd, out + done, static_cast<unsigned>(n)));
    });
}

namespace {

// ReadFile and WriteFile at an offset move the handle's position; it is put back, so
// that the descriptor's own position stays where it was, as with pread and pwrite.
template <typename Call>
std::int64_t at_offset(int fd, std::size_t count, Call call) {
    HANDLE h = win32::handle_of(fd);
    if (h == INVALID_HANDLE_VALUE) {
        errno = EBADF;
        return -1;
    }
    const std::int64_t saved = ::_lseeki64(fd, 0, SEEK_CUR);
    const std::int64_t moved = whole(count, [&](std::size_t done, std::size_t n) { return call(h, done, n); });
    if (saved >= 0) ::_lseeki64(fd, saved, SEEK_SET);
    return moved;
}

OVERLAPPED overlapped_at(std::int64_t offset, std::size_t done) {
    OVERLAPPED at{};
    const std::uint64_t where = static_cast<std::uint64_t>(offset) + done;
    at.Offset = static_cast<DWORD>(where);
    at.OffsetHigh = static_cast<DWORD>(where >> 32);
    return at;
}

}  // namespace

std::int64_t read_at(int fd, void* buffer, std::size_t count, std::int64_t offset) {
    auto* out = static_cast<char*>(buffer);
    return at_offset(fd, count, [&](HANDLE h, std::size_t done, std::size_t n) -> std::int64_t {
        OVERLAPPED at = overlapped_at(offset, done);
        DWORD read = 0;
        if (!::ReadFile(h, out + done, static_cast<DWORD>(n), &read, &at)) {
            if (::GetLastError() == ERROR_HANDLE_EOF) return 0;
            win32::set_errno_from_last_error();
            return -1;
        }
        return read;
    });
}

std::int64_t write_at(int fd, const void* bytes, std::size_t count, std::int64_t offset) {
    const auto* in = static_cast<const char*>(bytes);
    return at_offset(fd, count, [&](HANDLE h, std::size_t done, std::size_t n) -> std::int64_t {
        OVERLAPPED at = overlapped_at(offset, done);
        DWORD written = 0;
        if (!::WriteFile(h, in + done, static_cast<DWORD>(n), &written, &at)) {
            win32::set_errno_from_last_error();
            return -1;
        }
        return written;
    });
}

std::int64_t write(int fd, const void* bytes, std::size_t count) {
    const auto* in = static_cast<const char*>(bytes);
    return whole(count, [&](std::size_t done, std::size_t n) {
        return static_cast<std::int64_t>(::_write(fd, in + done, static_cast<unsigned>(n)));
    });
}

std::int64_t seek(int fd, std::int64_t offset, Whence whence) {
    const int w = whence == Whence::set ? SEEK_SET : whence == Whence::current ? SEEK_CUR : SEEK_END;
    return ::_lseeki64(fd, offset, w);
}

int truncate(int fd, std::int64_t size) {
    const errno_t rc = ::_chsize_s(fd, size);
    if (rc != 0) errno = rc;
    return rc == 0 ? 0 : -1;
}

int sync(int fd) { return ::_commit(fd) == 0 ? 0 : -1; }

int status(int fd, FileStatus& st) {
    struct _stat64 s {};
    if (::_fstat64(fd, &s) != 0) return -1;
    st.regular = (s.st_mode & _S_IFMT) == _S_IFREG;
    st.directory = (s.st_mode & _S_IFMT) == _S_IFDIR;
    st.size = s.st_size;
    return 0;
}

int status(const std::filesystem::path& path, FileStatus& st) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        win32::set_errno_from_last_error();
        return -1;
    }
    st.directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    st.regular = !st.directory && (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) == 0;
    st.size = static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    return 0;
}

// Windows locks are mandatory for the bytes they cover, so the advisory lock is one byte
// far past any real end of file: our programs see it, and nobody's reads or writes of
// the content are stopped by it.
int lock(int fd, Lock kind) {
    HANDLE h = win32::handle_of(fd);
    if (h == INVALID_HANDLE_VALUE) return EBADF;
    OVERLAPPED at{};
    at.Offset = 0xFFFFFFF0u;
    at.OffsetHigh = 0x7FFFFFFFu;
    if (kind == Lock::release) return ::UnlockFileEx(h, 0, 1, 0, &at) ? 0 : win32::errno_from(::GetLastError());
    const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (kind == Lock::exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    if (::LockFileEx(h, flags, 0, 1, 0, &at)) return 0;
    const DWORD error = ::GetLastError();
    return error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING ? EWOULDBLOCK : win32::errno_from(error);
}

// The folder's entries are written through by MoveFileEx's write-through flag.
void sync_folder(const std::filesystem::path&) {}

namespace {
// 100-ns intervals between 1601 and 1970.
constexpr std::uint64_t EPOCH_DIFFERENCE = 116444736000000000ull;
}  // namespace

int modified_time(const std::filesystem::path& path, std::time_t& when) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    const std::uint64_t ticks =
        (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    when = static_cast<std::time_t>((ticks - EPOCH_DIFFERENCE) / 10000000ull);
    return 0;
}

int set_modified_time(const std::filesystem::path& path, std::time_t when) {
    HANDLE h = ::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return -1;
    const std::uint64_t ticks = static_cast<std::uint64_t>(when) * 10000000ull + EPOCH_DIFFERENCE;
    FILETIME written{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    const BOOL ok = ::SetFileTime(h, nullptr, nullptr, &written);
    ::CloseHandle(h);
    return ok ? 0 : -1;
}

bool local_time(std::time_t when, std::tm& local) { return ::localtime_s(&local, &when) == 0; }

int remove(const std::filesystem::path& path) {
    if (::DeleteFileW(path.c_str())) return 0;
    return win32::errno_from(::GetLastError());
}

int rename(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 0;
    return win32::errno_from(::GetLastError());
}

// A full quota comes as ENOSPC too (see errno_from).
bool is_out_of_space(int error) { return error == ENOSPC; }

bool is_terminal(int fd) { return ::_isatty(fd) != 0; }

void sleep_ms(int milliseconds) { ::Sleep(static_cast<DWORD>(milliseconds)); }

}  // namespace hsc::os
