#include "engine/leak_check.h"

#include <algorithm>
#include <string>
#include <vector>

#include "os/file.h"
#include "core/cp932.h"
#include "core/status.h"
#include "engine/driver.h"
#include "engine/leak_scan.h"
#include "engine/read_excel.h"
#include "engine/refusal_text.h"
#include "engine/text_routines.h"
#include "package/open_package.h"
#include "package/package_entries.h"
#include "engine/backups.h"
#include "protect/backup_key.h"
#include "protect/footer.h"
#include "os/atomic_file.h"

namespace hsc {
namespace {

constexpr std::string_view DRAWING_PREFIX = "xl/drawings/drawing";

std::string stream_text(MfileRegistry& reg, std::string_view name) {
    std::string text;
    read_whole_file(reg, 0, name, text);
    return text;
}

// The original text of a backup, checked on the way, or -3 when it does not decipher.
int decipher(MfileRegistry& reg, std::string_view backup, const BackupKey& key, std::string& original) {
    return read_backup(reg, backup, key, original) == RC_OK ? RC_OK : RC_REFUSED;
}

}  // namespace

int hsc_inspect_leaks(OpenPackage& package, MfileRegistry& reg, const std::filesystem::path& input,
                      const MaskSettings& settings, MaskReport& report, Reporter& reporter, FailReason* why,
                      Lang lang) {
    report = MaskReport{};
    const std::string path = os::path_u8(input);
    const auto fail = [&](FailReason reason, const std::string& text, int rc = RC_FAIL) {
        if (why) *why = reason;
        reporter.error(text);
        return rc;
    };
    StoredSettings stored;
    std::string message;
    if (!stored_settings(settings, stored, message, lang)) return fail(FailReason::invalid_settings, message);
    std::vector<std::string> names;
    if (const int rc = package.extract(reg, names); rc != RC_OK) {
        if (reg.refusal.empty()) return fail(FailReason::unsupported_file, say(lang, Msg::leak_unreadable, {path}));
        return fail(rc == RC_SIZE_LIMIT ? FailReason::too_large : FailReason::damaged,
                    say(lang, Msg::in_file, {refusal_text(lang, reg.refusal), path}));
    }
    const std::vector<std::string> backups = backup_entries(names);
    if (backups.empty()) return fail(FailReason::not_masked, say(lang, Msg::leak_not_masked, {path}));
    // The backups' key as the footer records it: a strong footer's salt and cost, or the
    // password itself. A footer that refuses the password refuses the deciphering.
    std::string block;
    FooterCheck check;
    int present = FOOTER_ABSENT;
    SilentReporter quiet;
    if (package.last_bytes(FOOTER_SIZE, block) == RC_OK &&
        hsc_check_footer_block(block, stored, nullptr, present, quiet, nullptr, lang, check) == RC_REFUSED)
        return fail(FailReason::wrong_password, say(lang, Msg::leak_no_decipher, {path}), RC_REFUSED);
    const BackupKey key = check.strong ? BackupKey::strong(std::move(*check.strong)) : BackupKey::original(stored.password);
    sort_entry_names(names);
    MaskedTexts masked;
    std::string original;
    const auto has = [&](std::string_view name) { return std::find(names.begin(), names.end(), name) != names.end(); };
    if (has(BACKUP_SHARED_STRINGS)) {
        if (decipher(reg, BACKUP_SHARED_STRINGS, key, original) != RC_OK) {
            return fail(FailReason::wrong_password, say(lang, Msg::leak_no_decipher, {path}), RC_REFUSED);
        }
        report.shared_strings = collect_masked_items(original, stream_text(reg, "xl/sharedStrings.xml"), masked);
    }
    // Backup k belongs to the k-th drawing part in the order masking numbered them.
    std::size_t k = 0;
    for (const std::string& name : names) {
        if (!name.starts_with(DRAWING_PREFIX)) continue;
        const std::string backup = std::string(BACKUP_DRAWING_PREFIX) + std::to_string(++k) + ".xml";
        if (!has(backup)) continue;
        if (decipher(reg, backup, key, original) != RC_OK) {
            return fail(FailReason::wrong_password, say(lang, Msg::leak_no_decipher, {path}), RC_REFUSED);
        }
        report.shapes += collect_masked_runs(original, stream_text(reg, name), masked);
    }
    report.texts_looked_for = masked.size();
    report.leaks = scan_package_for_leaks(reg, masked);
    report.produced = true;
    return RC_OK;
}

int hsc_inspect_leaks(const std::filesystem::path& input, const MaskSettings& settings, MaskReport& report,
                      Reporter& reporter, std::uint64_t max_memory, FailReason* why, Lang lang) {
    MfileRegistry reg;
    reg.max_package_bytes = max_memory ? max_memory : default_memory_budget();
    InputFile in;
    OpenPackage package;
    // A file that cannot be opened or typed has no entries: the step that unpacks says so.
    if (in.open(input) == 0) package.open(in.fd(), input, reg);
    return hsc_inspect_leaks(package, reg, input, settings, report, reporter, why, lang);
}

}  // namespace hsc
