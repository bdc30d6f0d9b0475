#pragma once

#include <cstddef>
#include <cstdint>

namespace hsc {

// How far the work on one workbook has come: its parts read from the archive and
// written into the output, and their stored bytes. The output is about as large as the
// input, so reading and writing each count for half of the way.
struct Progress {
    std::size_t parts_read = 0;
    std::size_t parts_written = 0;
    std::size_t parts_total = 0;  // the file entries of the input
    std::uint64_t bytes_read = 0;
    std::uint64_t bytes_written = 0;
    std::uint64_t bytes_total = 0;  // the input file's size
    bool complete = false;          // the output is in place

    // 0 to 100; 100 only once the output is complete.
    int percent() const {
        if (complete) return 100;
        if (bytes_total == 0) return 0;
        const std::uint64_t done = bytes_read + bytes_written;
        const std::uint64_t all = 2 * bytes_total;
        return done >= all ? 99 : static_cast<int>(done * 100 / all);
    }
};

// Told by the zip reader and writer as each part goes by; the driver turns these into
// Progress for the reporter. The reader may call from several threads at once. false:
// stop (the user cancelled); the step then fails and the run reports the cancellation.
class PartMeter {
public:
    virtual ~PartMeter() = default;
    virtual bool part_read(std::uint64_t stored_bytes) = 0;
    virtual bool part_written(std::uint64_t stored_bytes) = 0;
};

}  // namespace hsc
