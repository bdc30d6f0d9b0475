#include "package/entry_reader.h"

#include <minizip/unzip.h>

#include <vector>

#include "core/status.h"

namespace hsc {
namespace {

constexpr std::size_t PIECE = 65536;

bool locate(unzFile uf, std::string_view name) {
    if (name.empty() || name.size() > ZIP_MAX_ENTRY_NAME) return false;
    const std::string z(name);
    return unzLocateFile(uf, z.c_str(), 1 /* case-sensitive */) == UNZ_OK;
}

}  // namespace

ZipEntryReader::Status ZipEntryReader::open(const std::filesystem::path& archive) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(archive, ec)) {
        archive_.close();
        return Status::cannot_open;
    }
    switch (archive_.open(registry_, archive)) {
        case RC_OK: return Status::ok;
        case RC_OPEN: return Status::not_a_zip;
        case RC_SIZE_LIMIT: return Status::too_large;
        case RC_FAIL: return Status::unsupported;
        default: return Status::damaged;
    }
}

bool ZipEntryReader::has(std::string_view name) const {
    auto uf = static_cast<unzFile>(archive_.handle());
    return uf && locate(uf, name);
}

ZipEntryReader::Status ZipEntryReader::stream(std::string_view name,
                                              const std::function<bool(std::string_view)>& take) {
    auto uf = static_cast<unzFile>(archive_.handle());
    if (!uf) return Status::not_a_zip;
    if (!locate(uf, name)) return Status::missing;
    // The entry's method, size and place were checked when the archive was opened;
    // minizip inflates no further than the declared size.
    unz_file_info64 info{};
    if (unzGetCurrentFileInfo64(uf, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) return Status::damaged;
    if (unzOpenCurrentFile(uf) != UNZ_OK) return Status::damaged;
    std::uint64_t produced = 0;
    std::vector<char> piece(PIECE);
    Status status = Status::ok;
    bool to_end = false;
    for (;;) {
        const int n = unzReadCurrentFile(uf, piece.data(), static_cast<unsigned>(piece.size()));
        if (n < 0) {
            status = Status::damaged;
            break;
        }
        if (n == 0) {
            to_end = true;
            break;
        }
        produced += static_cast<std::uint64_t>(n);
        if (!take(std::string_view(piece.data(), static_cast<std::size_t>(n)))) break;
    }
    // Closing reports a checksum mismatch, which means something only after the last byte.
    const int closed = unzCloseCurrentFile(uf);
    // An entry that ends short of its declared size is damaged too: minizip checks the
    // checksum only once the declared size has come out.
    if (status == Status::ok && to_end && (closed != UNZ_OK || produced != info.uncompressed_size))
        status = Status::damaged;
    return status;
}

ZipEntryReader::Status ZipEntryReader::read(std::string_view name, std::size_t limit, std::string& out) {
    out.clear();
    bool over = false;
    const Status s = stream(name, [&](std::string_view piece) {
        if (piece.size() > limit - out.size()) {
            over = true;
            return false;
        }
        out.append(piece);
        return true;
    });
    if (s == Status::ok && over) {
        out.clear();
        return Status::too_large;
    }
    return s;
}

}  // namespace hsc
