#include "os/system.h"

namespace hsc::os {
namespace fs = std::filesystem;

fs::path config_folder_from(std::string_view xdg_config_home, std::string_view home) {
    if (!xdg_config_home.empty() && fs::path(xdg_config_home).is_absolute()) return fs::path(xdg_config_home);
    if (!home.empty()) return fs::path(home) / ".config";
    return {};
}

}  // namespace hsc::os
