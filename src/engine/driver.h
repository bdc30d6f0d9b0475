#pragma once

#include <filesystem>

#include "core/mask_settings.h"
#include "core/reporter.h"

namespace hsc {

// The whole treatment of one workbook file: classify, verify the footer, mask or
// restore, write the output and, when masking, its footer. Every failure is reported
// once through the reporter. 0 processed; -1 failed and reported; -3 the footer check
// reported the failure itself. `output` receives the path written; `ctx` the per-file
// values (process_direction tells the caller whether the file was restored).
int hsc_process_file(const std::filesystem::path& input, std::filesystem::path& output,
                     const MaskSettings& settings, FileContext& ctx, Reporter& reporter);

}  // namespace hsc
