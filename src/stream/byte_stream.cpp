#include "stream/byte_stream.h"

#include <climits>

#include "os/file.h"

namespace hsc {

std::unique_ptr<StdioStream> StdioStream::open_read(const std::filesystem::path& path) {
    std::FILE* f = os::open_stream(path, "rb");
    if (!f) return nullptr;
    auto stream = std::make_unique<StdioStream>(f);
    stream->owned_.reset(f);
    return stream;
}

bool StdioStream::seek(std::int64_t offset, Origin origin) {
    if (offset < LONG_MIN || offset > LONG_MAX) return false;
    // Refused here: some C runtimes (Windows's) move the position on a refused seek.
    if (origin == Origin::start && offset < 0) return false;
    return std::fseek(f_, static_cast<long>(offset), origin == Origin::start ? SEEK_SET : SEEK_END) == 0;
}

std::size_t RfileStream::read(void* dst, std::size_t n) {
    const std::size_t got = rfile_read(dst, n, *f_);
    position_ += static_cast<std::int64_t>(got);
    if (got < n) at_end_ = true;
    return got;
}

std::size_t RfileStream::write(const void* src, std::size_t n) {
    const std::size_t put = rfile_write(src, n, *f_);
    position_ += static_cast<std::int64_t>(put);
    return put;
}

bool RfileStream::seek(std::int64_t offset, Origin origin) {
    if (origin != Origin::start || offset < 0 || offset > INT32_MAX) return false;
    if (rfile_seek(*f_, static_cast<std::int32_t>(offset), RFILE_SEEK_SET) != Status::ok) return false;
    position_ = offset;
    at_end_ = false;
    return true;
}

}  // namespace hsc
