// libFuzzer target for the settings file reader: any byte string as "Hushcel.ini".
//
// The reader works on files, so each input is written to a private temporary folder.
// Built with the other fuzz targets (HUSHCEL_FUZZ=ON, scripts/fuzz).
//
// Checks, for every input: reading never crashes or overruns, the fields stay within
// their limits, and whatever was read survives a write and a second read unchanged.

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/mask_settings.h"
#include "core/status.h"
#include "shell/settings_file.h"

namespace {

const std::filesystem::path& work_dir() {
    static const std::filesystem::path dir = [] {
        std::string tmpl = (std::filesystem::temp_directory_path() / "hsc-fuzz-XXXXXX").string();
        if (!::mkdtemp(tmpl.data())) std::abort();
        return std::filesystem::path(tmpl);
    }();
    return dir;
}

void write_input(const std::filesystem::path& path, const std::uint8_t* data, std::size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace hsc;
    const auto input = work_dir() / "Hushcel.ini";
    const auto again = work_dir() / "again.ini";
    write_input(input, data, size);

    MaskSettings s;
    hsc_init_settings(s);
    if (hsc_read_ini(s, input) != RC_OK) std::abort();
    if (s.password.size() > PASSWORD_MAX * 3 / 2 || s.password_hint.size() > HINT_MAX * 3 / 2 ||
        s.keyfile_hint.size() > HINT_MAX * 3 / 2 || s.key_file.size() > KEY_FILE_MAX ||
        s.target_column.size() > TARGET_COLUMN_MAX)
        std::abort();

    if (hsc_write_ini(s, again) != RC_OK) std::abort();
    MaskSettings back;
    if (hsc_read_ini(back, again) != RC_OK) std::abort();
    if (!(back == s)) std::abort();
    return 0;
}
