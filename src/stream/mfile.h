#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/progress.h"
#include "core/refusal.h"
#include "core/status.h"

namespace hsc {

// Named, growable in-memory byte streams with a stdio-like interface. Each part of an
// unpacked workbook is one stream named by its entry path. A stream outlives mclose():
// it keeps its bytes and can be reopened by name until the registry is emptied.

inline constexpr int MFILE_MAX_OPEN_FILES = 100000;
inline constexpr std::size_t MFILE_MAX_NAME = 256;
// Lengths and positions are 32-bit signed in the stored formats that carry them.
inline constexpr std::int64_t MFILE_MAX_LENGTH = INT32_MAX;

inline constexpr int MFILE_OPEN = 0;
inline constexpr int MFILE_CLOSED = 1;
inline constexpr int MFILE_REMOVED = 9;
inline constexpr int MFILE_WRITE_FAILED = -9;

// The step of mopen or mwrite that failed last in a registry; merror() words it.
enum class MfileStep { none, missing, count, allocate, grow, read_stored, write_stored };
struct MfileError {
    MfileStep step = MfileStep::none;
    Status status = Status::ok;
};

struct Mfile {
    std::string name;
    int state = MFILE_OPEN;
    std::unique_ptr<std::uint8_t[]> buffer;  // capacity bytes
    std::int64_t step = 1024;
    std::int64_t capacity = 0;
    std::int64_t multiplier = 2;
    std::int64_t length = 0;
    std::int64_t position = 0;
    std::int64_t saved_position = 0;
    MfileError* last_error = nullptr;  // the owning registry's last failure
    // The entry as the package held it: its deflated bytes and the CRC-32 of its content.
    // Kept only while nothing has written to the stream (any write or truncation drops
    // them), so that composition copies an untouched entry instead of deflating it again.
    // Readers always see the plain bytes in `buffer`.
    std::vector<std::uint8_t> deflated;
    std::uint32_t crc = 0;
    // Only `deflated` holds the content (`length` bytes inflated), for an entry that is
    // copied into the output unread: reading it fails instead of giving nothing.
    bool deflated_only = false;
};

// One entry of a zip archive's directory as the package held it: what composition needs
// to write the entry again as it was (its place, its date, its header fields), beside
// the stream that holds its bytes. A folder entry has no stream.
struct ArchiveEntryHeader {
    std::string name;
    bool folder = false;
    std::uint32_t dos_date_time = 0;  // DOS date in the high 16 bits, time in the low
    std::uint16_t version_made_by = 0;
    std::uint16_t flag = 0;
    std::uint16_t method = 8;  // 0 stored, 8 deflated
    std::uint16_t internal_attributes = 0;
    std::uint32_t external_attributes = 0;
    std::string extra;    // the central directory's extra fields, zip64 ones left out
    std::string comment;  // the entry's comment
    bool operator==(const ArchiveEntryHeader&) const = default;
};

// The directory of an archive: its entries in their order, and the archive comment.
struct ArchiveLayout {
    std::vector<ArchiveEntryHeader> entries;
    std::string comment;
    bool operator==(const ArchiveLayout&) const = default;
};

// The registry of one processed workbook. Slots fill from 0 upwards and are freed only
// all together; a removed stream keeps its slot with an empty name.
class MfileRegistry {
public:
    MfileRegistry() = default;
    MfileRegistry(const MfileRegistry&) = delete;
    MfileRegistry& operator=(const MfileRegistry&) = delete;

    std::vector<std::unique_ptr<Mfile>> slots;
    MfileError last_error;
    // Why the package unpacked into this registry (or a part of it) was refused; empty
    // when it was not. Set by unzip_package and the steps after it, kept until mfree_all.
    Refusal refusal;
    // The system's errno of the last failed write or create of an archive on disk; 0
    // when none failed. Tells a full disk from a folder that takes no file.
    int os_error = 0;
    // The bytes a package unpacked into this registry may hold: the declared inflated
    // sizes and the stored bytes of all its entries together; 0: only the fixed limits
    // of the zip reader.
    std::uint64_t max_package_bytes = 0;
    // Told of each part read from or written into an archive; may stop the work.
    PartMeter* meter = nullptr;
    // The directory of the archive unpacked into this registry (entries in their order,
    // folder entries among them, and its comment); composition follows it for the
    // entries it names and writes the others after them. A restore puts the directory
    // of the original package here.
    ArchiveLayout layout;
    // The archive comment composition writes; empty unless a restore gives the original
    // one back (a masked workbook's comment is its footer, written afterwards).
    std::string archive_comment;
};

// mode "rb"/"ab" read a live stream (a name not registered is missing: null, and the
// last error says so; the disk is never read), "wb" create/truncate.
Mfile* mopen(MfileRegistry& reg, std::string_view name, std::string_view mode);
std::size_t mread(void* dst, std::size_t size, std::size_t count, Mfile* f);
std::size_t mwrite(const void* src, std::size_t size, std::size_t count, Mfile* f);
// Origin 0 start, 1 position, 2 length. ok; bad_origin; seek_failed for a target
// before the start or beyond the capacity (the position stays).
Status mseek(Mfile* f, std::int64_t offset, int origin);
std::int64_t mtell(const Mfile* f);
// True when the position is at or past the length (or there is no stream).
bool meof(const Mfile* f);
void mclose(Mfile* f);
void mremove(MfileRegistry& reg, std::string_view name);
void mfree_all(MfileRegistry& reg);
// The stream `to` (created when there is none, keeping its place when there is) takes
// the content of the live stream `from`, without copying; `from` is removed. ok;
// not_found when `from` is not a readable stream; no_memory when `to` cannot be made.
Status mmove(MfileRegistry& reg, std::string_view from, std::string_view to);
int mcount(const MfileRegistry& reg);
void mlist(const MfileRegistry& reg, std::vector<std::string>& names);
std::int64_t msize(const MfileRegistry& reg, std::string_view name);
// The last failure of mopen or mwrite as a text ("mopen() fopen()"); empty when none.
std::string merror(const MfileRegistry& reg);

// Makes room for a stream of `length` bytes in all, so that writing up to that length
// never grows (and copies) the buffer; the content stays. ok; size_limit beyond the
// longest stream; no_memory (nothing changes on failure).
Status mreserve(Mfile* f, std::int64_t length);

// Lets `change` rewrite the bytes of the live stream `name` where they are (the length
// stays); when it returns true the stream is no longer the entry it was unpacked from,
// and its deflated form goes (into `taken` when given: the entry as it was, unchanged).
// ok; not_found for no such stream with plain bytes.
Status mchange(MfileRegistry& reg, std::string_view name, const std::function<bool(std::span<std::uint8_t>)>& change,
               std::vector<std::uint8_t>* taken = nullptr);
// Makes the stream opened for writing `length` bytes long and gives them to `fill` to
// write, so that content made in place (a sealed backup) needs no copy on its way in.
// ok; size_limit; no_memory (the stream stays empty).
Status mfill(Mfile* f, std::int64_t length, const std::function<void(std::span<std::uint8_t>)>& fill);
// The stream's bytes, without copying.
std::span<const std::uint8_t> mdata(const Mfile* f);
// Records the entry's deflated form just read from a package (see Mfile::deflated).
void mkeep_deflated(Mfile* f, std::vector<std::uint8_t> deflated, std::uint32_t crc);
// The same for an entry kept only in its deflated form, `length` bytes when inflated:
// composition copies it, reads of it fail (nothing was inflated to read), and writing
// it anew ("wb") makes it an ordinary stream again.
void mkeep_deflated_only(Mfile* f, std::vector<std::uint8_t> deflated, std::uint32_t crc, std::int64_t length);
// Lets go of the plain bytes of a stream nothing has written to since it was unpacked:
// from then on it is as mkeep_deflated_only made it. False (nothing changes) for a
// stream without its deflated form.
bool mdrop_plain(Mfile* f);
// The deflated form of a stream nothing has written to since it was unpacked, or empty.
std::span<const std::uint8_t> mdeflated(const Mfile* f);
// Writes a whole string at the position; true when every byte was written.
bool mwrite_all(Mfile* f, std::string_view bytes);

// Size of a disk file: ok, open_failed (cannot be opened for reading) or not_a_file.
Status aod_fsze(const std::filesystem::path& path, std::int64_t& size);
// The stream `name` created (or truncated) with exactly `bytes`: ok, open_failed or
// short_write.
Status write_whole_file(MfileRegistry& reg, std::string_view name, std::string_view bytes);
// Mode 0: the whole stream of that name into out: ok, open_failed (also for another
// mode) or no_memory.
Status read_whole_file(MfileRegistry& reg, int mode, std::string_view name, std::string& out);

}  // namespace hsc
