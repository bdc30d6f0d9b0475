#include "os/file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace hsc::os {

std::FILE* open_stream(const std::filesystem::path& path, const char* mode) { return std::fopen(path.c_str(), mode); }

int open(const std::filesystem::path& path, Access access, FileMode mode) {
    int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    switch (access) {
        case Access::read: flags |= O_RDONLY; break;
        case Access::read_write: flags |= O_RDWR; break;
        case Access::write: flags |= O_WRONLY | O_CREAT; break;
        case Access::create: flags |= O_RDWR | O_CREAT; break;
        case Access::create_truncate: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
        case Access::create_exclusive: flags |= O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW; break;
    }
    int fd;
    do fd = ::open(path.c_str(), flags, static_cast<mode_t>(mode));
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return -1;
    // Blocking again once open: a FIFO that was opened anyway is refused by its callers.
    if (const int fl = ::fcntl(fd, F_GETFL); fl < 0 || ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

int close(int fd) { return ::close(fd); }

int duplicate(int fd) { return ::fcntl(fd, F_DUPFD_CLOEXEC, 0); }

namespace {

template <typename Call>
std::int64_t whole(std::size_t count, Call call) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = call(done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && done == 0) return -1;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
}

}  // namespace

std::int64_t read(int fd, void* buffer, std::size_t count) {
    auto* out = static_cast<char*>(buffer);
    return whole(count, [&](std::size_t done) { return ::read(fd, out + done, count - done); });
}

std::int64_t read_at(int fd, void* buffer, std::size_t count, std::int64_t offset) {
    auto* out = static_cast<char*>(buffer);
    return whole(count, [&](std::size_t done) {
        return ::pread(fd, out + done, count - done, static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
    });
}

std::int64_t write(int fd, const void* bytes, std::size_t count) {
    const auto* in = static_cast<const char*>(bytes);
    return whole(count, [&](std::size_t done) { return ::write(fd, in + done, count - done); });
}

std::int64_t write_at(int fd, const void* bytes, std::size_t count, std::int64_t offset) {
    const auto* in = static_cast<const char*>(bytes);
    return whole(count, [&](std::size_t done) {
        return ::pwrite(fd, in + done, count - done, static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
    });
}

std::int64_t seek(int fd, std::int64_t offset, Whence whence) {
    const int w = whence == Whence::set ? SEEK_SET : whence == Whence::current ? SEEK_CUR : SEEK_END;
    return ::lseek(fd, static_cast<off_t>(offset), w);
}

int truncate(int fd, std::int64_t size) { return ::ftruncate(fd, static_cast<off_t>(size)); }

int sync(int fd) {
    int rc;
    do rc = ::fsync(fd);
    while (rc != 0 && errno == EINTR);
    return rc;
}

namespace {
void fill(const struct stat& s, FileStatus& st) {
    st.regular = S_ISREG(s.st_mode);
    st.directory = S_ISDIR(s.st_mode);
    st.size = s.st_size;
}
}  // namespace

int status(int fd, FileStatus& st) {
    struct stat s {};
    if (::fstat(fd, &s) != 0) return -1;
    fill(s, st);
    return 0;
}

int status(const std::filesystem::path& path, FileStatus& st) {
    struct stat s {};
    if (::stat(path.c_str(), &s) != 0) return -1;
    fill(s, st);
    return 0;
}

int lock(int fd, Lock kind) {
    const int op = kind == Lock::shared ? LOCK_SH | LOCK_NB : kind == Lock::exclusive ? LOCK_EX | LOCK_NB : LOCK_UN;
    int rc;
    do rc = ::flock(fd, op);
    while (rc != 0 && errno == EINTR);
    return rc == 0 ? 0 : errno;
}

void sync_folder(const std::filesystem::path& folder) {
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    sync(fd);
    ::close(fd);
}

int modified_time(const std::filesystem::path& path, std::time_t& when) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return -1;
    when = st.st_mtime;
    return 0;
}

int set_modified_time(const std::filesystem::path& path, std::time_t when) {
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = when;
    times[1].tv_nsec = 0;
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0 ? 0 : -1;
}

bool local_time(std::time_t when, std::tm& local) { return ::localtime_r(&when, &local) != nullptr; }

int remove(const std::filesystem::path& path) { return ::unlink(path.c_str()) == 0 ? 0 : errno; }

int rename(const std::filesystem::path& from, const std::filesystem::path& to) {
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

bool is_out_of_space(int error) { return error == ENOSPC || error == EDQUOT; }

bool is_terminal(int fd) { return ::isatty(fd) == 1; }

void sleep_ms(int milliseconds) { ::usleep(static_cast<useconds_t>(milliseconds) * 1000); }

}  // namespace hsc::os
