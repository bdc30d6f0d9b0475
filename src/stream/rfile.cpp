#include "stream/rfile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

namespace hsc {
namespace {

constexpr std::size_t READ_AHEAD = 4096;
constexpr int LOCK_ATTEMPTS = 100;
constexpr useconds_t LOCK_PAUSE_US = 1000;

int open_flags(int mode) {
    switch (mode) {
        case RFILE_READ: return O_RDONLY;
        case RFILE_CREATE: return O_WRONLY | O_CREAT;  // truncated only once no reader holds it
        case RFILE_APPEND: return O_WRONLY | O_CREAT;  // no O_APPEND: seeks must move writes
        case RFILE_UPDATE: return O_RDWR | O_CREAT;
        default: return -1;
    }
}

int lock(int fd, int operation) {
    int rc;
    do rc = ::flock(fd, operation);
    while (rc != 0 && errno == EINTR);
    return rc;
}

}  // namespace

RFILE::~RFILE() {
    if (fd_ >= 0) ::close(fd_);
}

std::unique_ptr<RFILE> rfile_open(const std::filesystem::path& path, int mode, mode_t perms) {
    int flags = open_flags(mode);
    if (flags < 0) return nullptr;
    int fd;
    // Without blocking: opening a FIFO would wait for a writer, and a device for its line.
    do fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, perms);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return nullptr;
    std::unique_ptr<RFILE> file;
    try {
        file = std::make_unique<RFILE>(fd, mode);
    } catch (const std::bad_alloc&) {
        ::close(fd);
        return nullptr;
    }
    struct stat st{};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) return nullptr;
    // What is read is a file's content: a FIFO, device or socket has none to seek in.
    if (mode == RFILE_READ && !S_ISREG(st.st_mode)) return nullptr;
    if (const int fl = ::fcntl(fd, F_GETFL); fl < 0 || ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK) != 0) return nullptr;

    if (mode == RFILE_READ) {
        // Held until the handle closes. Writers of this program hold theirs only for a
        // moment, so a short wait is enough; a file that stays locked is refused.
        for (int attempt = 0;; ++attempt) {
            if (lock(fd, LOCK_SH | LOCK_NB) == 0) break;
            if (errno != EWOULDBLOCK) break;  // no locks on this file system: read anyway
            if (attempt == LOCK_ATTEMPTS) return nullptr;
            ::usleep(LOCK_PAUSE_US);
        }
        return file;
    }
    if (lock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) return nullptr;  // a reader holds the file
    }
    bool ok = true;
    if (mode == RFILE_CREATE && S_ISREG(st.st_mode)) ok = ::ftruncate(fd, 0) == 0;
    if (ok && mode == RFILE_APPEND) ok = ::lseek(fd, 0, SEEK_END) >= 0 || !S_ISREG(st.st_mode);
    lock(fd, LOCK_UN);
    if (!ok) return nullptr;
    return file;
}

void rfile_close(std::unique_ptr<RFILE> file) { file.reset(); }

void RFILE::drop_read_ahead() {
    if (ahead_pos_ < ahead_len_)
        ::lseek(fd_, -static_cast<off_t>(ahead_len_ - ahead_pos_), SEEK_CUR);
    ahead_pos_ = ahead_len_ = 0;
}

bool RFILE::next_byte(unsigned char& byte) {
    if (ahead_pos_ == ahead_len_) {
        if (!ahead_) {
            try {
                ahead_ = std::make_unique<unsigned char[]>(READ_AHEAD);
            } catch (const std::bad_alloc&) {
                return false;
            }
        }
        ssize_t n;
        do n = ::read(fd_, ahead_.get(), READ_AHEAD);
        while (n < 0 && errno == EINTR);
        if (n <= 0) return false;
        ahead_pos_ = 0;
        ahead_len_ = static_cast<std::size_t>(n);
    }
    byte = ahead_[ahead_pos_++];
    return true;
}

void RFILE::unread_byte() {
    if (ahead_pos_ > 0) --ahead_pos_;
}

std::size_t rfile_read(void* buffer, std::size_t count, RFILE& file) {
    if (file.mode_ != RFILE_READ && file.mode_ != RFILE_UPDATE) return 0;
    file.drop_read_ahead();
    auto* out = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        ssize_t n = ::read(file.fd_, out + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::size_t rfile_write(const void* bytes, std::size_t count, RFILE& file) {
    if (file.mode_ == RFILE_READ) return 0;
    file.drop_read_ahead();
    const auto* in = static_cast<const unsigned char*>(bytes);
    std::size_t done = 0;
    while (done < count) {
        ssize_t n = ::write(file.fd_, in + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

Status rfile_seek(RFILE& file, std::int32_t offset, int origin) {
    int whence;
    switch (origin) {
        case RFILE_SEEK_SET: whence = SEEK_SET; break;
        case RFILE_SEEK_END: whence = SEEK_END; break;
        case RFILE_SEEK_CUR: whence = SEEK_CUR; break;
        default: return Status::bad_origin;
    }
    file.drop_read_ahead();
    // A target before the start is refused without moving; the system would call it an
    // invalid argument, but for the caller it is an ordinary refusal.
    off_t base = 0;
    if (whence == SEEK_CUR) {
        base = ::lseek(file.fd_, 0, SEEK_CUR);
    } else if (whence == SEEK_END) {
        struct stat st{};
        base = ::fstat(file.fd_, &st) == 0 ? st.st_size : -1;
    }
    if (base < 0) return Status::ok;
    if (base + offset < 0) return Status::ok;
    if (::lseek(file.fd_, offset, whence) < 0 && errno == EINVAL) return Status::seek_failed;
    return Status::ok;
}

bool rfile_read_line(std::string& line, std::size_t size, RFILE& file) {
    line.clear();
    if (size < 2 || (file.mode_ != RFILE_READ && file.mode_ != RFILE_UPDATE)) return false;
    const std::size_t limit = size - 1;
    unsigned char c;
    while (line.size() < limit) {
        if (!file.next_byte(c)) return !line.empty();
        if (c == '\n') return true;
        if (c == '\r') {
            if (file.next_byte(c) && c != '\n') file.unread_byte();
            return true;
        }
        line.push_back(static_cast<char>(c));
        if (c == '"') {
            while (line.size() < limit) {
                if (!file.next_byte(c)) return true;  // the end of the file ends the stretch
                line.push_back(static_cast<char>(c));
                if (c == '"') break;
            }
        }
    }
    return true;
}

Status rfile_write_line(std::string_view text, RFILE& file) {
    // A text that already ends its line gets no second line end. (Only a final LF
    // counts: a CR inside the text must not swallow the line end.)
    bool ends_line = text.size() >= 2 && text.back() == '\n';
    std::string line;
    try {
        line.reserve(text.size() + 2);
    } catch (const std::bad_alloc&) {
        return Status::no_memory;
    }
    line = text;
    if (!ends_line) line += "\r\n";
    if (rfile_write(line.data(), line.size(), file) != line.size()) return Status::short_write;
    return Status::ok;
}

Status rfile_sync(RFILE& file) {
    file.drop_read_ahead();
    int rc;
    do rc = ::fsync(file.fd_);
    while (rc != 0 && errno == EINTR);
    return rc == 0 ? Status::ok : Status::short_write;
}

}  // namespace hsc
