#include "os/file.h"

namespace hsc::os {

// Through char8_t: the one conversion that is UTF-8 on every system (a path made from a
// std::string is in the narrow code page on Windows).
std::filesystem::path u8_path(std::string_view utf8) {
    return std::filesystem::path(std::u8string_view(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

std::string path_u8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

}  // namespace hsc::os
