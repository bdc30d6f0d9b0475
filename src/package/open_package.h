#pragma once

#include <cstdint>
#include <memory>
#include <filesystem>
#include <string>
#include <vector>

#include "package/zip_package.h"
#include "stream/mfile.h"

namespace hsc {

// The input workbook as every step of a run sees it, read from the one file the run
// holds open: its type, its last bytes (the footer is the zip comment) and, for a zip
// archive, its central directory, read and checked once by the bounded package reader.
// Entries are extracted from that same open archive. Nothing here opens a path.
class OpenPackage {
public:
    OpenPackage();
    ~OpenPackage();
    OpenPackage(const OpenPackage&) = delete;
    OpenPackage& operator=(const OpenPackage&) = delete;

    // Reads the type and the last bytes of the open file `fd` (kept open by the caller for
    // as long as this lives); `name` is the file's name, whose extension the type needs.
    // The zip directory is then read with `reg`'s memory budget, whatever the type: a
    // refusal (a file that is no zip archive among them) is kept, with `reg.refusal` set,
    // for the step that needs the entries.
    // A compound file gets the type of what it holds whatever its name (compound_file_type).
    // 0; the status of tiv_file_type when the type cannot be read.
    int open(int fd, const std::filesystem::path& name, MfileRegistry& reg);

    int file_type() const { return type_; }
    std::uint64_t size() const { return size_; }

    // The last `n` bytes of the file (n at most 65,557). 0; -103 the file is shorter.
    int last_bytes(std::size_t n, std::string& out) const;

    // 0 when the directory was read and every entry passed the checks; otherwise the
    // reader's refusal status (-101 not a zip archive, -9, -1, -103 ...).
    int directory_status() const { return directory_rc_; }
    // Every entry name (folders too) in directory order, with the inflated size each
    // declares; empty unless directory_status() is 0.
    const std::vector<std::string>& entry_names() const { return archive_.names(); }
    const std::vector<std::uint64_t>& entry_sizes() const { return archive_.sizes(); }

    // Extracts the file entries `wanted` accepts (all without it) into memory streams of
    // `reg`; `names` receives their names in directory order. Entries `read` rejects
    // are checked but kept deflated only (CheckedArchive::extract). The directory's
    // refusal when it was refused; else the statuses of unzip_package.
    int extract(MfileRegistry& reg, std::vector<std::string>& names, EntryFilter wanted = nullptr,
                EntryFilter read = nullptr);

private:
    int type_ = -1;
    std::uint64_t size_ = 0;
    std::unique_ptr<ArchiveReader> reader_;  // holds the file's last bytes: the end record and its comment
    int directory_rc_ = -101;
    CheckedArchive archive_;
};

}  // namespace hsc
