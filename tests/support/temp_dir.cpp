#include "support/temp_dir.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "os/file.h"
#include "os/system.h"

namespace hsc::test {

// A folder created under a fresh random name: creating it fails when the name is taken,
// so no other process can hand us its folder.
TempDir::TempDir() {
    std::random_device entropy;
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[40];
        std::snprintf(name, sizeof name, "hushcel-test-%08x%08x", entropy(), entropy());
        std::error_code ec;
        if (std::filesystem::create_directory(base / name, ec) && !ec) {
            std::filesystem::permissions(base / name, std::filesystem::perms::owner_all, ec);
            path_ = base / name;
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + os::path_u8(path));
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + os::path_u8(path));
}

std::filesystem::path source_dir() { return HUSHCEL_SOURCE_DIR; }
std::filesystem::path binary_dir() { return HUSHCEL_BINARY_DIR; }

std::filesystem::path corpus_dir() {
    const std::string dir = os::environment("HUSHCEL_CORPUS").value_or("");
    if (dir.empty() || !std::filesystem::is_directory(os::u8_path(dir))) return {};
    return os::u8_path(dir);
}

}  // namespace hsc::test
