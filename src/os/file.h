#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

// Files through the C runtime's int descriptors, on every system: the layers above hold
// an int and never call the system themselves. Paths are UTF-8 (std::filesystem::path
// built with u8path, or a UTF-8 std::string); the Windows side opens them through the
// wide API, in binary mode, with every sharing flag so that an open file can still be
// renamed over. Failures leave the cause in errno, as the POSIX calls do.
namespace hsc::os {

// Permission bits (the POSIX mode; Windows keeps only whether the owner may write).
using FileMode = std::uint32_t;
inline constexpr FileMode DEFAULT_FILE_MODE = 0666;  // "normal" files, less the umask
inline constexpr FileMode PRIVATE_FILE_MODE = 0600;

enum class Access {
    read,              // the file must exist
    read_write,        // the file must exist
    write,             // write only; created when missing, never truncated here
    create,            // read and write; created when missing, never truncated here
    create_truncate,   // read and write; created or emptied
    create_exclusive,  // read and write; only when the name is free (EEXIST otherwise)
};

// A path from a UTF-8 text: std::filesystem::path(std::string) takes the narrow code
// page on Windows, so every conversion goes through here.
std::filesystem::path u8_path(std::string_view utf8);
// The path as UTF-8 (the inverse of u8_path).
std::string path_u8(const std::filesystem::path& path);

// A C stream (mode as for fopen, "rb", "wb"), or null.
std::FILE* open_stream(const std::filesystem::path& path, const char* mode);

// A descriptor, or -1. Opens without waiting for a FIFO or a device, and without
// making a terminal the controlling one; the descriptor is not inherited by children.
int open(const std::filesystem::path& path, Access access, FileMode mode = DEFAULT_FILE_MODE);
int close(int fd);
// A second descriptor of the same open file, not inherited; -1 on failure.
int duplicate(int fd);

// Bytes moved, retrying interrupted calls until count or the end; -1 on failure
// before the first byte.
std::int64_t read(int fd, void* buffer, std::size_t count);
std::int64_t read_at(int fd, void* buffer, std::size_t count, std::int64_t offset);
std::int64_t write(int fd, const void* bytes, std::size_t count);
// Writes at an offset; the descriptor's own position is left where it was.
std::int64_t write_at(int fd, const void* bytes, std::size_t count, std::int64_t offset);

enum class Whence { set, current, end };
// The new offset, or -1.
std::int64_t seek(int fd, std::int64_t offset, Whence whence);
int truncate(int fd, std::int64_t size);  // 0 or -1
int sync(int fd);                         // 0 or -1: written bytes reach the disk

struct FileStatus {
    bool regular = false;
    bool directory = false;
    std::int64_t size = 0;
};
// 0 or -1.
int status(int fd, FileStatus& st);
int status(const std::filesystem::path& path, FileStatus& st);

// Advisory whole-file locks that other programs' locks of the same kind respect.
enum class Lock { shared, exclusive, release };
// 0; EWOULDBLOCK when another holder excludes us; another errno when the file system
// has no such locks (callers then go on without one).
int lock(int fd, Lock kind);

// Flushes a folder's entries (a rename in it) to the disk; failing that loses no file.
void sync_folder(const std::filesystem::path& folder);

// A file's last-write time (whole seconds since the epoch): 0 or -1.
int modified_time(const std::filesystem::path& path, std::time_t& when);
// Sets the last-write time and keeps the last-access time: 0 or -1.
int set_modified_time(const std::filesystem::path& path, std::time_t when);
// The local calendar fields of a time; false when the system cannot give them.
bool local_time(std::time_t when, std::tm& local);

// Removes a name; 0 or errno.
int remove(const std::filesystem::path& path);
// Renames, replacing the target; 0 or errno.
int rename(const std::filesystem::path& from, const std::filesystem::path& to);

// Whether an errno value says the disk or the user's quota is full.
bool is_out_of_space(int error);

// Whether the descriptor is a terminal or console.
bool is_terminal(int fd);
inline constexpr int STDIN_FD = 0, STDOUT_FD = 1, STDERR_FD = 2;

void sleep_ms(int milliseconds);

}  // namespace hsc::os
