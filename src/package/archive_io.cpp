#include "package/archive_io.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <string_view>

#include "os/file.h"

namespace hsc {
namespace {

constexpr std::size_t END_RECORD = 22;

std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// Where the central directory starts by the last end record in `tail` (the archive's
// last bytes, from `tail_at`): just before the record, by the directory's size. None
// when there is no record, or the size is a zip64 stand-in or larger than what precedes.
std::uint64_t directory_start(std::span<const std::uint8_t> tail, std::uint64_t tail_at) {
    if (tail.size() < END_RECORD) return tail_at;
    for (std::size_t i = tail.size() - END_RECORD + 1; i-- > 0;) {
        if (std::memcmp(tail.data() + i, "PK\x05\x06", 4) != 0) continue;
        const std::uint32_t size = le32(tail.data() + i + 12);
        const std::uint64_t record_at = tail_at + i;
        if (size == 0xFFFFFFFFu || size > record_at) return tail_at;
        return record_at - size;
    }
    return tail_at;
}

}  // namespace

ArchiveReader::ArchiveReader(int fd, std::uint64_t size) : fd_(fd), size_(size), kept_at_(size) {}

ArchiveReader::ArchiveReader(std::span<const std::uint8_t> bytes)
    : bytes_(bytes), size_(bytes.size()), kept_at_(bytes.size()) {}

bool ArchiveReader::fill(std::uint64_t at, std::uint8_t* dst, std::size_t n) {
    ++reads_;
    errno = 0;  // a short count with errno still 0: the file ended before the size it had
    if (os::read_at(fd_, dst, n, static_cast<std::int64_t>(at)) == static_cast<std::int64_t>(n)) return true;
    error_ = errno != 0 ? errno : EIO;
    return false;
}

std::size_t ArchiveReader::read_at(std::uint64_t at, void* dst, std::size_t n) {
    if (n == 0 || at >= size_) return 0;  // an empty entry's buffer may be no buffer at all
    n = static_cast<std::size_t>(std::min<std::uint64_t>(n, size_ - at));
    auto* out = static_cast<std::uint8_t*>(dst);
    if (fd_ < 0) {
        std::memcpy(out, bytes_.data() + at, n);
        return n;
    }
    std::size_t done = 0;
    while (done < n) {
        const std::uint64_t pos = at + done;
        const std::size_t want = n - done;
        if (pos >= kept_at_) {  // the kept tail reaches the end of the archive
            const std::size_t k = std::min<std::size_t>(want, static_cast<std::size_t>(size_ - pos));
            std::memcpy(out + done, kept_.data() + (pos - kept_at_), k);
            done += k;
            continue;
        }
        if (pos >= window_at_ && pos < window_at_ + window_.size()) {
            const std::size_t k = std::min<std::size_t>(want, static_cast<std::size_t>(window_at_ + window_.size() - pos));
            std::memcpy(out + done, window_.data() + (pos - window_at_), k);
            done += k;
            continue;
        }
        // Up to the kept tail, what the window cannot hold goes straight to the caller.
        const std::uint64_t limit = kept_at_;
        const std::size_t direct = static_cast<std::size_t>(std::min<std::uint64_t>(want, limit - pos));
        if (direct >= WINDOW) {
            if (!fill(pos, out + done, direct)) return done;
            done += direct;
            continue;
        }
        // A window that holds pos, reaching as far on as the file goes (and back as far
        // as it must, for the backward reads near the end).
        const std::uint64_t start = pos + WINDOW <= limit ? pos : limit > WINDOW ? limit - WINDOW : 0;
        try {
            window_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(WINDOW, limit - start)));
        } catch (const std::bad_alloc&) {
            error_ = ENOMEM;
            return done;
        }
        window_at_ = start;
        if (!fill(start, window_.data(), window_.size())) {
            window_.clear();
            return done;
        }
    }
    return done;
}

bool ArchiveReader::keep_from(std::uint64_t from) {
    if (from >= kept_at_) return true;
    if (fd_ < 0) {  // bytes in memory are at hand already
        kept_.insert(kept_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(from),
                     bytes_.begin() + static_cast<std::ptrdiff_t>(kept_at_));
        kept_at_ = from;
        return true;
    }
    std::vector<std::uint8_t> more;
    try {
        more.resize(static_cast<std::size_t>(size_ - from));
    } catch (const std::bad_alloc&) {
        error_ = ENOMEM;
        return false;
    }
    const std::size_t head = static_cast<std::size_t>(kept_at_ - from);
    if (!fill(from, more.data(), head)) return false;
    std::copy(kept_.begin(), kept_.end(), more.begin() + static_cast<std::ptrdiff_t>(head));
    kept_ = std::move(more);
    kept_at_ = from;
    // The window's bytes are all in the tail now, or before it.
    if (window_at_ + window_.size() > kept_at_) window_.clear();
    return true;
}

bool ArchiveReader::keep_tail() {
    const std::uint64_t tail_at = size_ - std::min<std::uint64_t>(size_, TAIL);
    if (!keep_from(tail_at)) return false;
    const std::uint64_t start = directory_start(kept_, kept_at_);
    if (start < kept_at_ && size_ - start <= MAX_KEPT) return keep_from(start);
    return true;
}

bool ArchiveWriter::put(std::uint64_t at, const std::uint8_t* src, std::size_t n) {
    ++writes_;
    errno = 0;  // a write cut short after some bytes leaves its cause in errno
    if (os::write_at(fd_, src, n, static_cast<std::int64_t>(at)) == static_cast<std::int64_t>(n)) return true;
    error_ = errno != 0 ? errno : EIO;
    return false;
}

bool ArchiveWriter::flush() {
    if (error_ != 0) return false;
    if (buffer_.empty()) return true;
    const bool ok = put(buffer_at_, buffer_.data(), buffer_.size());
    buffer_.clear();
    return ok;
}

std::size_t ArchiveWriter::write(const void* src, std::size_t n) {
    if (error_ != 0) return 0;
    if (n == 0) return 0;
    const auto* bytes = static_cast<const std::uint8_t*>(src);
    const std::uint64_t buffered_end = buffer_at_ + buffer_.size();
    const bool inside = !buffer_.empty() && position_ >= buffer_at_ && position_ <= buffered_end &&
                        position_ + n <= buffer_at_ + BUFFER;
    if (!inside) {
        if (!flush()) return 0;
        if (n >= BUFFER) {
            if (!put(position_, bytes, n)) return 0;
            position_ += n;
            end_ = std::max(end_, position_);
            return n;
        }
        buffer_at_ = position_;
    }
    const std::size_t offset = static_cast<std::size_t>(position_ - buffer_at_);
    try {
        if (buffer_.capacity() < BUFFER) buffer_.reserve(BUFFER);
        if (offset + n > buffer_.size()) buffer_.resize(offset + n);
    } catch (const std::bad_alloc&) {
        error_ = ENOMEM;
        return 0;
    }
    std::memcpy(buffer_.data() + offset, bytes, n);
    position_ += n;
    end_ = std::max(end_, position_);
    return n;
}

}  // namespace hsc
