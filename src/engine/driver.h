#pragma once

#include <filesystem>
#include <functional>

#include "core/mask_settings.h"
#include "core/reporter.h"

namespace hsc {

// The whole treatment of one workbook file: classify, verify the footer, mask or
// restore, write the output and, when masking, its footer. Every failure is reported
// once through the reporter. 0 processed; -1 failed and reported; -3 the footer check
// reported the failure itself. `output` receives the path written; `ctx` the per-file
// values (process_direction tells the caller whether the file was restored) and, after
// a masking, its report: what was masked and what of it is still readable elsewhere.
int hsc_process_file(const std::filesystem::path& input, std::filesystem::path& output,
                     const MaskSettings& settings, FileContext& ctx, Reporter& reporter);

// Direction a caller may insist on; a file in the other state is refused.
inline constexpr int DIRECTION_ANY = 1;

// The points between the steps of writing the output, for tests that inject faults.
enum class WriteStep { composed, footer_written, synced };

struct ProcessOptions {
    int only_direction = DIRECTION_ANY;  // DIRECTION_ANY, DIRECTION_MASK or DIRECTION_UNMASK
    // Called at each step; a non-zero status fails that step as if it had failed itself.
    std::function<int(WriteStep)> fault;
};

int hsc_process_file(const std::filesystem::path& input, std::filesystem::path& output,
                     const MaskSettings& settings, FileContext& ctx, Reporter& reporter,
                     const ProcessOptions& options);

}  // namespace hsc
