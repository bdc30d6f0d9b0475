#include "stream/rfile.h"

#include <cerrno>
#include <new>

namespace hsc {
namespace {

constexpr std::size_t READ_AHEAD = 4096;
constexpr int LOCK_ATTEMPTS = 100;
constexpr int LOCK_PAUSE_MS = 1;

os::Access access_of(int mode) {
    switch (mode) {
        case RFILE_READ: return os::Access::read;
        case RFILE_UPDATE: return os::Access::create;
        // Truncated only once no reader holds it; no append flag: seeks must move writes.
        default: return os::Access::write;
    }
}

}  // namespace

RFILE::~RFILE() {
    if (fd_ >= 0) os::close(fd_);
}

std::unique_ptr<RFILE> rfile_open(const std::filesystem::path& path, int mode, os::FileMode perms) {
    if (mode < RFILE_READ || mode > RFILE_UPDATE) return nullptr;
    // Without blocking: opening a FIFO would wait for a writer, and a device for its line.
    const int fd = os::open(path, access_of(mode), perms);
    if (fd < 0) return nullptr;
    std::unique_ptr<RFILE> file;
    try {
        file = std::make_unique<RFILE>(fd, mode);
    } catch (const std::bad_alloc&) {
        os::close(fd);
        return nullptr;
    }
    os::FileStatus st;
    if (os::status(fd, st) != 0 || st.directory) return nullptr;
    // What is read is a file's content: a FIFO, device or socket has none to seek in.
    if (mode == RFILE_READ && !st.regular) return nullptr;

    if (mode == RFILE_READ) {
        // Held until the handle closes. Writers of this program hold theirs only for a
        // moment, so a short wait is enough; a file that stays locked is refused.
        for (int attempt = 0;; ++attempt) {
            const int rc = os::lock(fd, os::Lock::shared);
            if (rc != EWOULDBLOCK) break;  // locked, or no locks on this file system: read anyway
            if (attempt == LOCK_ATTEMPTS) return nullptr;
            os::sleep_ms(LOCK_PAUSE_MS);
        }
        return file;
    }
    if (os::lock(fd, os::Lock::exclusive) == EWOULDBLOCK) return nullptr;  // a reader holds the file
    bool ok = true;
    if (mode == RFILE_CREATE && st.regular) ok = os::truncate(fd, 0) == 0;
    if (ok && mode == RFILE_APPEND) ok = os::seek(fd, 0, os::Whence::end) >= 0 || !st.regular;
    os::lock(fd, os::Lock::release);
    if (!ok) return nullptr;
    return file;
}

void rfile_close(std::unique_ptr<RFILE> file) { file.reset(); }

void RFILE::drop_read_ahead() {
    if (ahead_pos_ < ahead_len_)
        os::seek(fd_, -static_cast<std::int64_t>(ahead_len_ - ahead_pos_), os::Whence::current);
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
        const std::int64_t n = os::read(fd_, ahead_.get(), READ_AHEAD);
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
    const std::int64_t n = os::read(file.fd_, buffer, count);
    return n < 0 ? 0 : static_cast<std::size_t>(n);
}

std::size_t rfile_write(const void* bytes, std::size_t count, RFILE& file) {
    if (file.mode_ == RFILE_READ) return 0;
    file.drop_read_ahead();
    const std::int64_t n = os::write(file.fd_, bytes, count);
    return n < 0 ? 0 : static_cast<std::size_t>(n);
}

Status rfile_seek(RFILE& file, std::int32_t offset, int origin) {
    os::Whence whence;
    switch (origin) {
        case RFILE_SEEK_SET: whence = os::Whence::set; break;
        case RFILE_SEEK_END: whence = os::Whence::end; break;
        case RFILE_SEEK_CUR: whence = os::Whence::current; break;
        default: return Status::bad_origin;
    }
    file.drop_read_ahead();
    // A target before the start is refused without moving; the system would call it an
    // invalid argument, but for the caller it is an ordinary refusal.
    std::int64_t base = 0;
    if (whence == os::Whence::current) {
        base = os::seek(file.fd_, 0, os::Whence::current);
    } else if (whence == os::Whence::end) {
        os::FileStatus st;
        base = os::status(file.fd_, st) == 0 ? st.size : -1;
    }
    if (base < 0) return Status::ok;
    if (base + offset < 0) return Status::ok;
    if (os::seek(file.fd_, offset, whence) < 0 && errno == EINVAL) return Status::seek_failed;
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
    return os::sync(file.fd_) == 0 ? Status::ok : Status::short_write;
}

}  // namespace hsc
