#include "package/entry_reader.h"

#include <minizip/unzip.h>

#include <vector>
#include <zlib.h>

namespace hsc {
namespace {

constexpr std::size_t PIECE = 65536;
constexpr std::size_t MAX_NAME = 255;

bool locate(unzFile uf, std::string_view name) {
    if (name.empty() || name.size() > MAX_NAME) return false;
    const std::string z(name);
    return unzLocateFile(uf, z.c_str(), 1 /* case-sensitive */) == UNZ_OK;
}

}  // namespace

ZipEntryReader::~ZipEntryReader() {
    if (archive_) unzClose(static_cast<unzFile>(archive_));
}

ZipEntryReader::Status ZipEntryReader::open(const std::filesystem::path& archive) {
    if (archive_) {
        unzClose(static_cast<unzFile>(archive_));
        archive_ = nullptr;
    }
    std::error_code ec;
    if (!std::filesystem::is_regular_file(archive, ec)) return Status::cannot_open;
    archive_ = unzOpen64(archive.c_str());
    return archive_ ? Status::ok : Status::not_a_zip;
}

bool ZipEntryReader::has(std::string_view name) const {
    return archive_ && locate(static_cast<unzFile>(archive_), name);
}

ZipEntryReader::Status ZipEntryReader::stream(std::string_view name,
                                              const std::function<bool(std::string_view)>& take) {
    auto uf = static_cast<unzFile>(archive_);
    if (!uf) return Status::not_a_zip;
    if (!locate(uf, name)) return Status::missing;
    unz_file_info64 info{};
    if (unzGetCurrentFileInfo64(uf, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) return Status::damaged;
    if ((info.flag & 1) != 0 || (info.compression_method != 0 && info.compression_method != Z_DEFLATED))
        return Status::unsupported;
    // minizip inflates no further than the declared size.
    if (unzOpenCurrentFile(uf) != UNZ_OK) return Status::damaged;
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
        if (!take(std::string_view(piece.data(), static_cast<std::size_t>(n)))) break;
    }
    // Closing reports a checksum mismatch, which means something only after the last byte.
    const int closed = unzCloseCurrentFile(uf);
    if (status == Status::ok && to_end && closed != UNZ_OK) status = Status::damaged;
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
