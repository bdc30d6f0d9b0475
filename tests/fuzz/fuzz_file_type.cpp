// Any byte string as a dropped file, classified from a memory stream: a code always
// comes back, whatever the signature, the zip entries or the compound-file structure.

#include <cstdint>
#include <string>

#include "core/status.h"
#include "fuzz_support.h"
#include "package/file_type.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace hsc;
    const auto [options, bytes] = fuzz::split_options(data, size);
    static const char* const names[] = {"book.xlsx", "book.xlsm", "book.xls", "book"};
    MfileRegistry reg;
    const std::string name = names[options % 4];
    fuzz::put(reg, name, bytes);
    int code = -12345;
    const int rc = tiv_file_type(reg, FILE_TYPE_STREAM, name, code);
    if (rc == RC_OK) fuzz::check(code != -12345);
    int buffer_code = -12345;
    if (bytes.size() >= FILE_TYPE_HEAD) (void)tiv_file_type(reg, FILE_TYPE_BUFFER, std::string(bytes), buffer_code);
    return 0;
}
