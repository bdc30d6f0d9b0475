// Any 512-byte block (padded or cut to 512) as the end of a workbook, through the footer
// check and the footer reader. The check reads a file, so each input is written to a
// private temporary folder. A block without the prefix is never a footer; with it, the
// check decides without reading past the record, and refuses only through the reporter.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "core/mask_settings.h"
#include "core/reporter.h"
#include "core/status.h"
#include "fuzz_support.h"
#include "protect/footer.h"

namespace {

class CountingReporter final : public hsc::Reporter {
public:
    int errors = 0;
    void error(std::string_view) override { ++errors; }
    bool ask_yes_no(std::string_view) override { return false; }
};

const std::filesystem::path& work_file() {
    static const std::filesystem::path file = [] {
        std::string tmpl = (std::filesystem::temp_directory_path() / "hsc-fuzz-XXXXXX").string();
        if (!::mkdtemp(tmpl.data())) std::abort();
        return std::filesystem::path(tmpl) / "book.xlsx";
    }();
    return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace hsc;
    const auto [options, rest] = fuzz::split_options(data, size);
    // Some archive bytes before the record, as in a workbook.
    std::string bytes = "PK\x05\x06" + std::string(18, '\0') + std::string(rest.substr(0, 600));
    if (options & 1) bytes.resize(22 + FOOTER_SIZE, '\0');
    {
        std::FILE* f = std::fopen(work_file().c_str(), "wb");
        fuzz::check(f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size());
        std::fclose(f);
    }
    StoredSettings s;
    s.password = "Q-Marle";
    s.is_file_hash = (options & 2) != 0;
    s.key_file = work_file().string();
    CountingReporter reporter;
    int present = 7;
    const int rc = hsc_check_footer(work_file(), s, present, reporter);
    const bool prefixed = bytes.size() >= FOOTER_SIZE &&
                          bytes.compare(bytes.size() - FOOTER_SIZE, FOOTER_PREFIX.size(), FOOTER_PREFIX) == 0;
    if (rc == RC_OK) fuzz::check(present == (prefixed ? FOOTER_PRESENT : FOOTER_ABSENT));
    if (rc == RC_REFUSED) fuzz::check(prefixed && reporter.errors == 1);
    if (rc != RC_REFUSED) fuzz::check(reporter.errors == 0);

    FooterInfo info;
    if (hsc_read_footer(work_file(), info) == RC_OK) {
        fuzz::check(info.present == prefixed);
        fuzz::check(info.version.size() <= FOOTER_SIZE && info.hint.size() <= FOOTER_SIZE);
    }
    return 0;
}
