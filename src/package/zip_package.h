#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/direction.h"
#include "stream/mfile.h"

namespace hsc {

class ArchiveReader;

// Zip extraction and composition of workbook packages through minizip, always over our
// own file-function table, so that archives can live on disk or in memory streams.

// Where the entries go (unzip_package) or come from (zip_package).
inline constexpr int ZIP_MODE_MEMORY = 0;  // memory streams named by the entry path
inline constexpr int ZIP_MODE_DISK = -1;   // files below a directory

// A workbook package holds fewer entries than this (directory entries counted).
inline constexpr int ZIP_MAX_ENTRIES = 5000;
// Entry names are at most this many bytes.
inline constexpr std::size_t ZIP_MAX_ENTRY_NAME = 255;
// The inflated bytes of all entries of one package together are at most this many; each
// entry also fits a memory stream (MFILE_MAX_LENGTH).
inline constexpr std::int64_t ZIP_MAX_PACKAGE_BYTES = std::int64_t{2} << 30;  // 2 GiB

// Where archives themselves live. Workbook archives are always disk files; a caller may
// keep whole archives in memory streams named by the archive path instead.
struct ZipArchiveLocation {
    bool on_disk = true;
    // On disk, composition only: an open file, written from its start (emptied first, and
    // emptied again on failure), instead of a new file made at the archive path. The
    // caller keeps it open; its name, mode and owner are the caller's.
    int into = -1;
    // Composition only: the archive's comment (at most 65,535 bytes, any bytes), written
    // through the same handle once the archive is complete.
    std::string_view comment;
};

// Sets the archive location: flag 0 memory streams, nonzero disk files. Always 0.
int tiv_zip_on_memory(ZipArchiveLocation& location, int flag);

// Extracts every file entry of the archive, in central-directory order, into memory
// streams (mode ZIP_MODE_MEMORY) or into files below `target` (disk mode; the target
// directory is emptied first). `names` receives the extracted entry names.
// The archive is untrusted: every entry is checked before anything is extracted, and
// each entry is inflated no further than its declared size.
// 0; -3 capacity below 1 or (disk mode) empty target; -101 not a readable archive or a
// destination cannot be created; -9 the archive holds `capacity` entries or more, a name
// of 256 bytes or more, an entry larger than a stream can hold, more than
// ZIP_MAX_PACKAGE_BYTES in all, more than `reg.max_package_bytes` (when set) inflated
// and stored bytes together, or an entry that inflates beyond its declared size;
// -1 an entry that cannot be processed faithfully (encrypted, compressed other than
// stored or deflated, a name given twice, an empty name) or (disk mode) a name that
// leaves the target or a file write failure; -2 a stream write failed or no memory; -103 (the zip library's "bad zip file") damaged entry data or entry
// data outside the file or overlapping another entry's; -105 a checksum mismatch. On
// every refusal `reg.refusal` says why; nothing is extracted when the refusal
// comes from the checks.
// With `wanted` given, only the file entries it accepts are extracted (all are checked).
using EntryFilter = bool (*)(std::string_view name);
int unzip_package(MfileRegistry& reg, int mode, const std::filesystem::path& archive,
                  const std::filesystem::path& target, int capacity, std::vector<std::string>& names,
                  const ZipArchiveLocation& location = {}, EntryFilter wanted = nullptr);

// An archive opened by the same reader as unzip_package, with every entry checked as
// unzip_package checks them before it extracts anything, for a reader that then takes
// single entries piece by piece (see package/entry_reader.h).
class CheckedArchive {
public:
    CheckedArchive();
    ~CheckedArchive();
    CheckedArchive(const CheckedArchive&) = delete;
    CheckedArchive& operator=(const CheckedArchive&) = delete;
    // Closes any archive open before. `reg` must outlive the open archive.
    // 0, or a refusal status of unzip_package with `reg.refusal` set.
    int open(MfileRegistry& reg, const std::filesystem::path& archive, const ZipArchiveLocation& location = {});
    // The archive `reader` reads; the caller keeps the reader (and its file) while the
    // archive is open.
    int open(MfileRegistry& reg, ArchiveReader& reader);
    void close();
    // The zip library's handle (unzFile) of the open archive, or null.
    void* handle() const;
    // Every entry name (folders too) in directory order, and the inflated size each
    // declares (0 for a folder), as the checks read them.
    const std::vector<std::string>& names() const;
    const std::vector<std::uint64_t>& sizes() const;
    // Extracts the file entries `wanted` accepts (all without it) into memory streams of
    // `reg`, in directory order, as unzip_package does; `names` receives their names.
    // Entries that `read` (when given) rejects are for copying only: each is inflated to
    // check its size and checksum all the same, but kept in its deflated form alone
    // (mkeep_deflated_only), unless it cannot be copied as it is (stored, or with bytes
    // after its deflated data). The archive stays open, so that a later call can take
    // other entries.
    int extract(MfileRegistry& reg, std::vector<std::string>& names, EntryFilter wanted = nullptr,
                EntryFilter read = nullptr);

private:
    struct Open;
    int check(MfileRegistry& reg, std::unique_ptr<Open> opened);
    std::unique_ptr<Open> open_;
};

// Writes one deflated entry per name, in list order, from memory streams (mode
// ZIP_MODE_MEMORY) or from files below `source` (disk mode; empty: the current
// directory). Entries get no extra fields and no comments; the archive no comment.
// In memory mode entries are dated all-zero (1980-01-00 00:00:00); in disk mode they get
// the file's local last-write time. Leading "/" and "\" are dropped from entry names.
// A stream nothing has written to since it was unpacked is copied with the deflated
// bytes and checksum it came with; the others are deflated on every core (backups at
// the fastest level, which does nearly as well on ciphertext as the default).
// A failed composition leaves no archive behind.
// 0; -2 no memory; -9 an entry name of 256 bytes or more; -101 the archive or a source
// cannot be created or opened, or the zip library refuses an entry; -102 short read;
// -103 the zip library fails to take data; -5 an entry or the archive cannot be finished.
int zip_package(MfileRegistry& reg, int mode, const std::filesystem::path& archive,
                const std::filesystem::path& source, const std::vector<std::string>& names,
                const ZipArchiveLocation& location = {});

// The output name of a processed workbook: the input itself when overwriting, otherwise
// the same folder with "●" (masking) or "〇" (restoring) in front of the file name.
std::filesystem::path output_path_for(const std::filesystem::path& input, Direction direction, bool is_overwrite);

// Packs every live stream of the registry, in registry order, into a workbook archive
// written into the open file `compose_into` (the output's temporary file: it keeps its
// name, mode and owner); `output` receives the final output name (output_path_for). The
// caller moves the archive there. `comment`, when given, ends the archive as its zip
// comment (the footer of a masked workbook). Status of zip_package; `reg.os_error`
// holds the system's cause of a failed write.
int hsc_write_excel(MfileRegistry& reg, const std::filesystem::path& input, std::filesystem::path& output,
                    Direction direction, bool is_overwrite, int compose_into, std::string_view comment = {});

// The same, into a new file made at the path `compose_into`.
int hsc_write_excel(MfileRegistry& reg, const std::filesystem::path& input, std::filesystem::path& output,
                    Direction direction, bool is_overwrite, const std::filesystem::path& compose_into);

// Disk helpers of the disk modes.
int make_dirs(const std::filesystem::path& path);    // 0 or -1
int remove_tree(const std::filesystem::path& path);  // 0 or -1
// DOS date in the high 16 bits, time in the low 16 bits, local time. 0 or -1.
int get_file_dos_time(const std::filesystem::path& path, std::uint32_t& dos_date_time);
int set_file_dos_time(const std::filesystem::path& path, std::uint32_t dos_date_time);

}  // namespace hsc
