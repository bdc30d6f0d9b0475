#pragma once

#include <filesystem>

// Writes a file so that its target is replaced only by a complete file: the content is
// written to a temporary file in the target's folder, flushed to the disk and renamed
// over the target. Until commit() the target is untouched; a temporary file that was
// not committed is removed.
namespace hsc {

class AtomicFile {
public:
    AtomicFile() = default;
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates an empty temporary file beside `target`. 0; -101 when the folder takes no
    // new file.
    int open(const std::filesystem::path& target);
    const std::filesystem::path& temp_path() const { return temp_; }
    const std::filesystem::path& target() const { return target_; }

    // Gives the temporary file the permissions of an existing target and flushes it to
    // the disk. 0; -103.
    int sync();
    // Renames the temporary file over the target and flushes the folder. 0; -101.
    int commit();
    // Removes the temporary file now (also done by the destructor).
    void discard();

private:
    std::filesystem::path target_;
    std::filesystem::path temp_;
};

}  // namespace hsc
