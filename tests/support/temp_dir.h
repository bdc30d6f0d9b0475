#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "os/file.h"

namespace hsc::test {

// A fresh folder under the system temp folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // name is UTF-8 on every system.
    std::filesystem::path operator/(std::string_view name) const { return path_ / os::u8_path(name); }

private:
    std::filesystem::path path_;
};

std::string read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, std::string_view bytes);

// The repository's root folder and the build folder the tests were built in.
std::filesystem::path source_dir();
std::filesystem::path binary_dir();

// The shared workbook corpus folder (HUSHCEL_CORPUS), or empty when it is not there.
std::filesystem::path corpus_dir();

}  // namespace hsc::test
