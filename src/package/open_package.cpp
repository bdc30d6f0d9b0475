#include "package/open_package.h"

#include <algorithm>

#include "core/status.h"
#include "os/file.h"
#include "package/archive_io.h"
#include "package/file_type.h"
#include "stream/byte_stream.h"

namespace hsc {
namespace {

// The archive's reader as a stream, for the type check's look at the first bytes and
// into a compound file.
class ReaderStream final : public ByteStream {
public:
    explicit ReaderStream(ArchiveReader& reader) : reader_(reader) {}
    std::size_t read(void* dst, std::size_t n) override {
        const std::size_t got = reader_.read_at(static_cast<std::uint64_t>(at_), dst, n);
        at_ += static_cast<std::int64_t>(got);
        if (got < n) at_end_ = true;
        return got;
    }
    std::size_t write(const void*, std::size_t) override { return 0; }
    bool seek(std::int64_t offset, Origin origin) override {
        const std::int64_t to = origin == Origin::start ? offset : static_cast<std::int64_t>(reader_.size()) + offset;
        if (to < 0) return false;
        at_ = to;
        at_end_ = false;
        return true;
    }
    std::int64_t tell() const override { return at_; }
    bool at_end() const override { return at_end_; }

private:
    ArchiveReader& reader_;
    std::int64_t at_ = 0;
    bool at_end_ = false;
};

}  // namespace

OpenPackage::OpenPackage() = default;
OpenPackage::~OpenPackage() = default;

int OpenPackage::open(int fd, const std::filesystem::path& name, MfileRegistry& reg) {
    os::FileStatus st;
    if (os::status(fd, st) != 0) return RC_OPEN;
    size_ = static_cast<std::uint64_t>(st.size);
    // One reader for every look at the file: its last bytes are read once, and the zip
    // directory from the same memory.
    archive_.close();
    reader_ = std::make_unique<ArchiveReader>(fd, size_);
    reader_->keep_tail();  // unreadable: no footer either, and the zip reader refuses
    ReaderStream stream(*reader_);
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

    // Whatever the type, so that a file that is no zip archive gets the reader's refusal.
    directory_rc_ = archive_.open(reg, *reader_);
    return RC_OK;
}

int OpenPackage::last_bytes(std::size_t n, std::string& out) const {
    const auto tail = reader_ ? reader_->tail() : std::span<const std::uint8_t>();
    if (n > tail.size()) return RC_SHORT_WRITE;  // as a read that came up short
    out.assign(reinterpret_cast<const char*>(tail.data()) + tail.size() - n, n);
    return RC_OK;
}

int OpenPackage::extract(MfileRegistry& reg, std::vector<std::string>& names, EntryFilter wanted,
                         EntryFilter read) {
    names.clear();
    if (directory_rc_ != RC_OK) return directory_rc_;
    return archive_.extract(reg, names, wanted, read);
}

}  // namespace hsc
