#pragma once

#include <cstdint>
#include <filesystem>

#include "core/catalog.h"
#include "core/fail_reason.h"
#include "core/mask_report.h"
#include "core/mask_settings.h"
#include "core/reporter.h"
#include "package/open_package.h"

namespace hsc {

// The leak scan of a workbook masked before, changing nothing: the masked texts are the
// items of its backups (deciphered with `settings.password`) that differ from the masked
// parts, and they are looked for in every other part. Fills `report` (no cell count:
// the columns of that masking are not recorded). Failures are reported once through
// the reporter. 0; -1 not a readable workbook package or no backups to compare with;
// -3 a backup does not decipher with the password. The package keeps to the memory
// budget `max_memory` (0: default_memory_budget()). `*why`, when given, gets the reason
// of a failure; the texts are in `lang`.
int hsc_inspect_leaks(const std::filesystem::path& input, const MaskSettings& settings, MaskReport& report,
                      Reporter& reporter, std::uint64_t max_memory = 0, FailReason* why = nullptr,
                      Lang lang = Lang::ja);
// The same for a workbook already open as `package` (named `input`), whose entries are
// unpacked into `reg` (with its memory budget).
int hsc_inspect_leaks(OpenPackage& package, MfileRegistry& reg, const std::filesystem::path& input,
                      const MaskSettings& settings, MaskReport& report, Reporter& reporter,
                      FailReason* why = nullptr, Lang lang = Lang::ja);
// The settings go in as the user gave them (UTF-8); their stored form is made inside.
int hsc_inspect_leaks(const std::filesystem::path&, const StoredSettings&, MaskReport&, Reporter&,
                      std::uint64_t = 0, FailReason* = nullptr, Lang = Lang::ja) = delete;

}  // namespace hsc
