#pragma once

#include <cstdint>
#include <filesystem>

#include "os/file.h"

// Files on disk: the input held for the run, and the output written so that its target
// is replaced only by a complete file. Every failure returns the system's errno value
// (0 for success), so that the user can be told the cause.
namespace hsc {

// What tells whether a file's content may have changed since it was read: another
// save either writes a new file over the name or changes size or modification time;
// a rewrite in place that puts the old modification time back still moves the change
// time, which no program can set.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;  // the file index on Windows
    std::int64_t size = -1;
    std::int64_t mtime_ns = 0;
    std::int64_t ctime_ns = 0;
    bool operator==(const FileIdentity&) const = default;
    // The same file with the same content as far as a rename can tell: renaming a file
    // moves its change time, so that one is left out.
    bool same_content(const FileIdentity& o) const {
        return device == o.device && inode == o.inode && size == o.size && mtime_ns == o.mtime_ns;
    }
};

// How the input is locked for the run: shared to read it, exclusive when the run will
// replace it, so that two runs that replace one workbook never work at once.
enum class InputLock { shared, exclusive };

// Whether the user may replace a file: its own permission, not only the folder's.
enum class WriteAccess { allowed, read_only, immutable, denied };

// The input workbook, open for the whole run under an advisory lock: a program that
// saves it under an exclusive lock waits for us (or we refuse while it saves), and its
// identity is remembered when it is opened. Readers share the lock; a run that replaces
// the file holds it alone.
class InputFile {
public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Opens and locks the file, without waiting for a FIFO or a device: only a regular
    // file is read. 0; the errno of the failure; EISDIR for a folder, EINVAL for anything
    // else that is not a regular file; EWOULDBLOCK when another process holds a lock
    // that excludes ours.
    int open(const std::filesystem::path& path, InputLock lock = InputLock::shared);
    int fd() const { return fd_; }
    const FileIdentity& identity() const { return identity_; }
    os::FileMode mode() const { return mode_; }
    // Whether the user may write the file at `path` (the one opened): a file without a
    // write permission bit for anyone, or one its owner made read-only for itself, is
    // read_only even to the administrator; a file marked unchangeable (chattr +i) is
    // immutable; a file the user may not write is denied, though the folder would let a
    // rename replace it.
    WriteAccess write_access(const std::filesystem::path& path) const;
    std::uint64_t links() const { return links_; }
    // Closes the file now, releasing its lock (also done by the destructor).
    void close();
    // True when `path` still names the file that was opened, with the same size and
    // modification time.
    bool unchanged(const std::filesystem::path& path) const;
    // True when the open file itself still has the size and times it had when opened:
    // nothing wrote to it in place.
    bool unchanged() const;

private:
    int fd_ = -1;
    FileIdentity identity_;
    os::FileMode mode_ = 0;
    std::uint32_t owner_ = 0;
    std::uint64_t links_ = 0;
};

// The process's file mode creation mask, read without changing it (other threads may be
// creating files meanwhile).
os::FileMode process_umask();

// Moves `from` to the name `to` unless that name is taken (EEXIST), where the system has
// neither the no-replace rename nor hard links (FAT, exFAT, some network shares): the
// name is taken by an exclusive create first, and the rename replaces only that empty
// file of ours. 0 or errno.
int move_without_replacing(const std::filesystem::path& from, const std::filesystem::path& to);

// The identity of the file at `path` (following links); size -1 when it cannot be read.
FileIdentity identity_of(const std::filesystem::path& path);

// Where the temporary file lives before it is committed.
enum class TempKind {
    unnamed_if_possible,  // a file without a name (O_TMPFILE): a crash leaves nothing
    named,                // a hidden 0600 file in the folder, removed on SIGINT/SIGTERM/SIGHUP
};

// The output: written to a temporary file of mode 0600 in the target's folder, flushed
// to the disk and moved to the target's name. Until commit() the target is untouched;
// a temporary file that was not committed is removed.
class AtomicFile {
public:
    explicit AtomicFile(TempKind kind = TempKind::unnamed_if_possible) : kind_(kind) {}
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the empty temporary file beside `target`. 0 or errno.
    int open(const std::filesystem::path& target);
    // A path through which the temporary file can be opened and written.
    const std::filesystem::path& temp_path() const { return temp_; }
    int fd() const { return fd_; }  // the temporary file, open for reading and writing
    const std::filesystem::path& target() const { return target_; }
    bool unnamed() const { return unnamed_; }

    // Gives the temporary file the permission bits `mode`; with `owner_of` >= 0 also the
    // owner and group (where permitted) and the extended attributes of that open file;
    // then flushes it to the disk. 0 or errno.
    int sync(os::FileMode mode, int owner_of = -1);
    // Moves the temporary file to the target's name and flushes the folder. With
    // `replace` false an existing target is kept and EEXIST returned. 0 or errno.
    int commit(bool replace);

    enum class Replaced { done, changed, failed };
    struct ReplaceResult {
        Replaced outcome = Replaced::failed;
        int error = 0;  // the errno when failed
    };
    // Replaces the target only if it is still the file `input` opened: the new file and
    // the target are exchanged in one step, and what came out is compared with the
    // input's identity; if it differs, it is exchanged back and the target keeps it
    // (changed). Nothing can slip in between the comparison and the replacement this way.
    // Where a file held open cannot be replaced (Windows without the POSIX rename, Wine),
    // the comparison comes first and `input` is closed just before the rename.
    ReplaceResult replace_if(InputFile& input);
    // Removes the temporary file now (also done by the destructor).
    void discard();

private:
    int link_to(const std::filesystem::path& name);
    int give_name();
    void finish();
    int move_to(const std::filesystem::path& name, bool replace);

    TempKind kind_;
    std::filesystem::path target_;
    std::filesystem::path temp_;  // the named file, or /proc/self/fd/N of the unnamed one
    int fd_ = -1;
    bool unnamed_ = false;
    int signal_slot_ = -1;
};

}  // namespace hsc
