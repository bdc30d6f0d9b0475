#include "package/open_package.h"

#include <algorithm>

#include "core/status.h"
#include "os/file.h"
#include "package/file_type.h"
#include "stream/byte_stream.h"

namespace hsc {
namespace {

constexpr std::size_t MAX_TAIL = 22 + 65535;  // an end record with the longest comment

// An open file read at positions of its own, for the type check's look into a compound
// file: the descriptor's shared position stays where it was.
class PositionalStream final : public ByteStream {
public:
    PositionalStream(int fd, std::int64_t size) : fd_(fd), size_(size) {}
    std::size_t read(void* dst, std::size_t n) override {
        const std::int64_t got = os::read_at(fd_, dst, n, at_);
        const std::size_t done = got < 0 ? 0 : static_cast<std::size_t>(got);
        if (done < n) at_end_ = true;
        at_ += static_cast<std::int64_t>(done);
        return done;
    }
    std::size_t write(const void*, std::size_t) override { return 0; }
    bool seek(std::int64_t offset, Origin origin) override {
        const std::int64_t to = origin == Origin::start ? offset : size_ + offset;
        if (to < 0) return false;
        at_ = to;
        at_end_ = false;
        return true;
    }
    std::int64_t tell() const override { return at_; }
    bool at_end() const override { return at_end_; }

private:
    int fd_;
    std::int64_t size_;
    std::int64_t at_ = 0;
    bool at_end_ = false;
};

}  // namespace

int OpenPackage::open(int fd, const std::filesystem::path& name, MfileRegistry& reg) {
    fd_ = fd;
    os::FileStatus st;
    if (os::status(fd, st) != 0) return RC_OPEN;
    size_ = static_cast<std::uint64_t>(st.size);
    PositionalStream stream(fd, static_cast<std::int64_t>(size_));
    int rc = tiv_file_type(stream, os::path_u8(name), type_);
    // The table goes by the name as well as the content: a compound file is named by
    // what it holds (an old workbook saved under ".xlsx", an encrypted package under
    // ".xlsm" or ".xls"), so that the user hears what the file is. One whose content
    // says nothing keeps the type its ".xls" name gave it.
    if (rc == RC_FAIL || (rc == RC_OK && (type_ == TYPE_UNKNOWN || type_ == TYPE_XLS))) {
        const int held = compound_file_type(stream);
        if (held != TYPE_UNKNOWN || type_ != TYPE_XLS) type_ = held;
        rc = RC_OK;
    }
    if (rc != RC_OK) return rc;

    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size_, MAX_TAIL));
    tail_.assign(n, '\0');
    if (!stream.seek(static_cast<std::int64_t>(size_ - n), ByteStream::Origin::start) || stream.read(tail_.data(), n) != n)
        tail_.clear();  // unreadable: no footer can be read either
    // Whatever the type, so that a file that is no zip archive gets the reader's refusal.
    directory_rc_ = archive_.open(reg, fd);
    return RC_OK;
}

int OpenPackage::last_bytes(std::size_t n, std::string& out) const {
    if (n > tail_.size()) return RC_SHORT_WRITE;  // as a read that came up short
    out.assign(tail_, tail_.size() - n, n);
    return RC_OK;
}

int OpenPackage::extract(MfileRegistry& reg, std::vector<std::string>& names, EntryFilter wanted,
                         EntryFilter read) {
    names.clear();
    if (directory_rc_ != RC_OK) return directory_rc_;
    return archive_.extract(reg, names, wanted, read);
}

}  // namespace hsc
