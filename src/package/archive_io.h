#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// Buffered positional I/O under the zip reader and writer. minizip asks for a few bytes
// per call (its directory walk one byte per call: 1.36 million reads for a workbook of
// 4,010 entries), and writes headers in pieces of a few bytes that it goes back to fill
// in; here every such call is served from memory, and the system sees large reads and
// writes at positions of their own, so an open file's shared position never moves.
namespace hsc {

// An archive read from an open file (kept open by the caller) or from bytes in memory.
// Small reads come from a window of the file; the end of the file, where the end record
// and the central directory stand, is read once (keep_tail) and held for as long as the
// reader lives, since minizip reads it backwards and then byte by byte.
class ArchiveReader {
public:
    static constexpr std::size_t WINDOW = std::size_t{256} << 10;
    // The end record with the longest comment: what keep_tail reads first.
    static constexpr std::size_t TAIL = 22 + 65535;
    // The most a kept tail grows to take in a directory that starts before it.
    static constexpr std::size_t MAX_KEPT = std::size_t{16} << 20;

    ArchiveReader(int fd, std::uint64_t size);
    explicit ArchiveReader(std::span<const std::uint8_t> bytes);
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    std::uint64_t size() const { return size_; }
    // Up to n bytes at `at` into dst; fewer at the end of the archive or when the system
    // read fails (error() then holds its errno).
    std::size_t read_at(std::uint64_t at, void* dst, std::size_t n);

    // Reads the last TAIL bytes (all of a shorter file) once, and then, when the end
    // record names a central directory starting before them, the bytes from there on too
    // (at most MAX_KEPT in all). False when a read fails.
    bool keep_tail();
    // The kept bytes at the end of the archive (empty before keep_tail).
    std::span<const std::uint8_t> tail() const { return kept_; }

    int error() const { return error_; }
    // System reads made so far (0 for bytes in memory).
    std::uint64_t system_reads() const { return reads_; }

private:
    bool fill(std::uint64_t at, std::uint8_t* dst, std::size_t n);
    bool keep_from(std::uint64_t from);

    int fd_ = -1;
    std::span<const std::uint8_t> bytes_;
    std::uint64_t size_ = 0;
    std::vector<std::uint8_t> kept_;  // the archive's bytes from kept_at_ to its end
    std::uint64_t kept_at_ = 0;
    std::vector<std::uint8_t> window_;
    std::uint64_t window_at_ = 0;
    int error_ = 0;
    std::uint64_t reads_ = 0;
};

// An archive written into an open file (kept open by the caller) from its offset 0,
// through one buffer: small writes gather there, and a write back into bytes still
// buffered (a header filled in once its entry is done) changes them there.
class ArchiveWriter {
public:
    static constexpr std::size_t BUFFER = std::size_t{1} << 20;

    explicit ArchiveWriter(int fd) : fd_(fd) {}
    ArchiveWriter(const ArchiveWriter&) = delete;
    ArchiveWriter& operator=(const ArchiveWriter&) = delete;

    // Bytes taken at the position (all of them, or 0 after a failure: error() says why).
    std::size_t write(const void* src, std::size_t n);
    void seek(std::uint64_t at) { position_ = at; }
    std::uint64_t tell() const { return position_; }
    // One past the last byte written.
    std::uint64_t end() const { return end_; }
    // Hands the buffered bytes to the system. False after any failure.
    bool flush();

    int error() const { return error_; }
    std::uint64_t system_writes() const { return writes_; }

private:
    bool put(std::uint64_t at, const std::uint8_t* src, std::size_t n);

    int fd_;
    std::vector<std::uint8_t> buffer_;  // bytes for offsets buffer_at_ ..
    std::uint64_t buffer_at_ = 0;
    std::uint64_t position_ = 0;
    std::uint64_t end_ = 0;
    int error_ = 0;
    std::uint64_t writes_ = 0;
};

}  // namespace hsc
