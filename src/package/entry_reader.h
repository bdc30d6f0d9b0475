#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace hsc {

// Reads single entries of a zip archive on disk piece by piece, without unpacking the
// rest: for looking at the start of a large worksheet without inflating all of it.
// The archive is untrusted: an entry is inflated no further than the caller asks and
// no further than its declared size; encrypted entries and compression methods other
// than stored and deflate are refused.
class ZipEntryReader {
public:
    enum class Status { ok, cannot_open, not_a_zip, missing, unsupported, damaged, too_large };

    ZipEntryReader() = default;
    ~ZipEntryReader();
    ZipEntryReader(const ZipEntryReader&) = delete;
    ZipEntryReader& operator=(const ZipEntryReader&) = delete;

    Status open(const std::filesystem::path& archive);
    bool has(std::string_view name) const;

    // Hands the inflated bytes of `name` to `take` in pieces until the entry ends or
    // `take` returns false. The checksum is checked only when the entry was read to its end.
    Status stream(std::string_view name, const std::function<bool(std::string_view)>& take);
    // The whole entry, refused (too_large) beyond `limit` bytes.
    Status read(std::string_view name, std::size_t limit, std::string& out);

private:
    void* archive_ = nullptr;  // minizip's unzFile
};

}  // namespace hsc
