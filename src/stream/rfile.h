#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "core/status.h"
#include "os/file.h"

// A thin file layer over descriptors for callers that need an exact position in
// a real file: the footer (relative to the end of a workbook), file type detection
// (leading bytes) and the settings file (line by line).
namespace hsc {

// Open modes.
inline constexpr int RFILE_READ = 1;    // read; the file must exist; others may read
inline constexpr int RFILE_CREATE = 2;  // write; created or truncated
inline constexpr int RFILE_APPEND = 3;  // write; created when missing; starts at the end
inline constexpr int RFILE_UPDATE = 4;  // read and write; created when missing; starts at 0

// Seek origins.
inline constexpr int RFILE_SEEK_SET = 1;
inline constexpr int RFILE_SEEK_END = 2;
inline constexpr int RFILE_SEEK_CUR = 3;

// Permissions of a file that an open creates ("normal" files: 0666 less the umask).
inline constexpr os::FileMode RFILE_DEFAULT_PERMS = os::DEFAULT_FILE_MODE;

// One open file. It closes itself when destroyed.
//
// Sharing: advisory locks stand in for sharing modes. An
// RFILE_READ handle holds a shared lock for its lifetime; an open that cannot get it
// within about 0.1 s fails. A writing open takes an exclusive lock without waiting and
// gives it back at once; when a reader holds the file the open fails, so a writer never
// truncates or changes a file under a reader of this program. Writers do not exclude
// each other.
class RFILE {
public:
    RFILE(int fd, int mode) : fd_(fd), mode_(mode) {}
    ~RFILE();
    RFILE(const RFILE&) = delete;
    RFILE& operator=(const RFILE&) = delete;

    int mode() const { return mode_; }

private:
    friend std::size_t rfile_read(void*, std::size_t, RFILE&);
    friend std::size_t rfile_write(const void*, std::size_t, RFILE&);
    friend Status rfile_seek(RFILE&, std::int32_t, int);
    friend bool rfile_read_line(std::string&, std::size_t, RFILE&);
    friend Status rfile_sync(RFILE&);

    // rfile_read_line reads ahead; every other operation first hands the unread bytes
    // back to the descriptor, so the file position is always the logical one.
    bool next_byte(unsigned char& byte);
    void unread_byte();
    void drop_read_ahead();

    int fd_;
    int mode_;
    std::unique_ptr<unsigned char[]> ahead_;
    std::size_t ahead_pos_ = 0;
    std::size_t ahead_len_ = 0;
};

// A new handle, or null when the mode is not 1 to 4, the path names a folder or (for
// reading) anything but a regular file, a reader holds the file (writing modes), or the
// system refuses the open. A FIFO or device is never waited for. `perms` apply only
// when the open creates the file.
std::unique_ptr<RFILE> rfile_open(const std::filesystem::path& path, int mode,
                                  os::FileMode perms = RFILE_DEFAULT_PERMS);
// Closes and releases the handle.
void rfile_close(std::unique_ptr<RFILE> file);

// Bytes read; 0 at the end of the file or on failure (also for a write-only handle).
std::size_t rfile_read(void* buffer, std::size_t count, RFILE& file);
// Bytes written; fewer than asked on failure (0 for a read-only handle).
std::size_t rfile_write(const void* bytes, std::size_t count, RFILE& file);

// ok (also when the move is refused: a target before the start leaves the position
// where it was, so the following read or write comes up short); bad_origin for an
// origin other than 1, 2, 3; seek_failed when the system rejects the move as an invalid
// argument.
Status rfile_seek(RFILE& file, std::int32_t offset, int origin);

// One line of at most size - 1 bytes into `line` (without its end): true when a line
// was read, false at the end of the file. A line ends at LF, CR LF or a lone CR; a double quote
// opens a stretch, up to the next double quote, in which CR and LF are ordinary bytes.
// A longer line is cut and its rest comes with the next call. size < 2 reads nothing.
bool rfile_read_line(std::string& line, std::size_t size, RFILE& file);

// Writes the text and CR LF (nothing is added when the text already ends in a line
// end). ok; no_memory; short_write when the line is not written in full.
Status rfile_write_line(std::string_view text, RFILE& file);

// Flushes the written bytes to the disk: ok, or short_write.
Status rfile_sync(RFILE& file);

}  // namespace hsc
