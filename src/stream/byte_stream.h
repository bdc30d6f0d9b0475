#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "stream/mfile.h"
#include "stream/rfile.h"

// One interface for the bytes a routine reads or writes, whatever holds them: a memory
// stream, a stdio file or a file handle of this program. Routines that work on either
// take a ByteStream and never learn which.
namespace hsc {

class ByteStream {
public:
    enum class Origin { start, end };

    virtual ~ByteStream() = default;
    // Bytes transferred; fewer than asked at the end or on failure.
    virtual std::size_t read(void* dst, std::size_t n) = 0;
    virtual std::size_t write(const void* src, std::size_t n) = 0;
    // True when the position moved; a refused move leaves it where it was.
    virtual bool seek(std::int64_t offset, Origin origin) = 0;
    // The position, or -1 when it is not known.
    virtual std::int64_t tell() const = 0;
    // True when nothing more is to be read: a memory stream at or past its length, a
    // file once a read has met its end.
    virtual bool at_end() const = 0;
};

// A memory stream, opened and closed by the caller.
class MemoryStream final : public ByteStream {
public:
    explicit MemoryStream(Mfile* f) : f_(f) {}
    std::size_t read(void* dst, std::size_t n) override { return mread(dst, 1, n, f_); }
    std::size_t write(const void* src, std::size_t n) override { return mwrite(src, 1, n, f_); }
    bool seek(std::int64_t offset, Origin origin) override {
        return mseek(f_, offset, origin == Origin::start ? 0 : 2) == Status::ok;
    }
    std::int64_t tell() const override { return mtell(f_); }
    bool at_end() const override { return meof(f_); }

private:
    Mfile* f_;
};

// A stdio file: borrowed from the caller, or opened here for reading and closed with it.
class StdioStream final : public ByteStream {
public:
    explicit StdioStream(std::FILE* f) : f_(f), owned_(nullptr, &std::fclose) {}
    // Null when the file cannot be opened.
    static std::unique_ptr<StdioStream> open_read(const std::filesystem::path& path);
    std::size_t read(void* dst, std::size_t n) override { return std::fread(dst, 1, n, f_); }
    std::size_t write(const void* src, std::size_t n) override { return std::fwrite(src, 1, n, f_); }
    bool seek(std::int64_t offset, Origin origin) override;
    std::int64_t tell() const override { return std::ftell(f_); }
    bool at_end() const override { return std::feof(f_) != 0; }

private:
    std::FILE* f_;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> owned_;
};

// A file handle of this program (its sharing rules hold while the stream lives).
class RfileStream final : public ByteStream {
public:
    explicit RfileStream(std::unique_ptr<RFILE> f) : f_(std::move(f)) {}
    ~RfileStream() override { rfile_close(std::move(f_)); }
    std::size_t read(void* dst, std::size_t n) override;
    std::size_t write(const void* src, std::size_t n) override;
    // Offsets from the start only, within 32 bits.
    bool seek(std::int64_t offset, Origin origin) override;
    std::int64_t tell() const override { return position_; }
    bool at_end() const override { return at_end_; }

private:
    std::unique_ptr<RFILE> f_;
    std::int64_t position_ = 0;  // rfile has no tell; the position is followed here
    bool at_end_ = false;
};

}  // namespace hsc
