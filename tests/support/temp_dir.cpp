#include "support/temp_dir.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <unistd.h>

namespace hsc::test {

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "hushcel-test-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::filesystem::path source_dir() { return HUSHCEL_SOURCE_DIR; }
std::filesystem::path binary_dir() { return HUSHCEL_BINARY_DIR; }

std::filesystem::path corpus_dir() {
    const char* dir = std::getenv("HUSHCEL_CORPUS");
    if (!dir || !*dir || !std::filesystem::is_directory(dir)) return {};
    return dir;
}

}  // namespace hsc::test
