// Any byte string as a workbook archive, unpacked from a memory stream. Whatever is
// accepted must pack again and unpack to the same entries.

#include <cstdint>
#include <string>
#include <vector>

#include "core/status.h"
#include "fuzz_support.h"
#include "package/zip_package.h"

namespace {

std::string stripped(const std::string& name) {
    const std::size_t i = name.find_first_not_of("/\\");
    return i == std::string::npos ? std::string() : name.substr(i);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace hsc;
    // Archive names longer than any entry name, so that no entry can overwrite them.
    const std::string in_name(MFILE_MAX_NAME, 'I'), out_name(MFILE_MAX_NAME, 'O');
    ZipArchiveLocation memory;
    tiv_zip_on_memory(memory, 0);

    MfileRegistry reg;
    fuzz::put(reg, in_name, std::string_view(reinterpret_cast<const char*>(data), size));
    std::vector<std::string> names;
    const int rc = unzip_package(reg, ZIP_MODE_MEMORY, in_name, {}, ZIP_MAX_ENTRIES, names, memory);
    if (rc != RC_OK) {
        fuzz::check(rc < 0);
        return 0;
    }
    fuzz::check(reg.refusal.empty());
    fuzz::check(names.size() < static_cast<std::size_t>(ZIP_MAX_ENTRIES));

    fuzz::check(zip_package(reg, ZIP_MODE_MEMORY, out_name, {}, names, memory) == RC_OK);
    MfileRegistry again;
    fuzz::put(again, in_name, fuzz::get(reg, out_name));
    std::vector<std::string> names_again;
    fuzz::check(unzip_package(again, ZIP_MODE_MEMORY, in_name, {}, ZIP_MAX_ENTRIES, names_again, memory) == RC_OK);
    fuzz::check(names_again.size() == names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        fuzz::check(names_again[i] == stripped(names[i]));
        fuzz::check(fuzz::get(again, names_again[i]) == fuzz::get(reg, names[i]));
    }
    return 0;
}
