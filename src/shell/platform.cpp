#include "shell/platform.h"

#include "core/status.h"
#include "os/file.h"

namespace hsc {
namespace fs = std::filesystem;

int hsc_find_process(std::string_view name) { return os::process_running(name) ? RC_OK : RC_FAIL; }

int hsc_get_file_time(const fs::path& path, FileTime& time) { return os::file_time(path, time) ? RC_OK : RC_OPEN; }

int run_and_wait(const fs::path& program, const std::vector<std::string>& argv) {
    return os::run_and_wait(program, argv) ? RC_OK : RC_FAIL;
}

SpreadsheetLookup LinuxPlatform::lookup() { return lookup_ ? *lookup_ : SpreadsheetLookup::from_environment(); }

int LinuxPlatform::get_file_time(const fs::path& path, FileTime& time) { return hsc_get_file_time(path, time); }

int LinuxPlatform::find_spreadsheet_process() {
    auto command = resolve_spreadsheet(lookup(), "");
    if (!command) return RC_FAIL;
    return hsc_find_process(command->process_name);
}

int LinuxPlatform::open_with_excel(const fs::path& path) {
    auto command = resolve_spreadsheet(lookup(), os::path_u8(path));
    if (!command) return RC_FAIL;
    return run_and_wait(command->program, command->argv);
}

}  // namespace hsc
