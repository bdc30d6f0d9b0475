#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "package/zip_package.h"
#include "stream/mfile.h"

namespace hsc {

// Reads single entries of a zip archive on disk piece by piece, without unpacking the
// rest: for looking at the start of a large worksheet without inflating all of it.
// The archive is untrusted: it is opened by the package reader, which checks every
// entry (names, sizes, methods, encryption, duplicates, where the data lies) as it does
// before extracting, so both refuse the same archives; an entry is then inflated no
// further than the caller asks and no further than its declared size.
class ZipEntryReader {
public:
    enum class Status { ok, cannot_open, not_a_zip, missing, unsupported, damaged, too_large };

    ZipEntryReader() = default;
    ZipEntryReader(const ZipEntryReader&) = delete;
    ZipEntryReader& operator=(const ZipEntryReader&) = delete;

    // not_a_zip for an archive the package reader cannot read; unsupported, damaged or
    // too_large for one whose entries it refuses.
    Status open(const std::filesystem::path& archive);
    bool has(std::string_view name) const;

    // Hands the inflated bytes of `name` to `take` in pieces until the entry ends or
    // `take` returns false. The checksum is checked only when the entry was read to its end.
    Status stream(std::string_view name, const std::function<bool(std::string_view)>& take);
    // The whole entry, refused (too_large) beyond `limit` bytes.
    Status read(std::string_view name, std::size_t limit, std::string& out);

private:
    MfileRegistry registry_;  // for the reader's refusal; holds no streams
    CheckedArchive archive_;
};

}  // namespace hsc
