#pragma once

#include <filesystem>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/catalog.h"
#include "core/mask_settings.h"
#include "core/reporter.h"
#include "protect/strong_key.h"

namespace hsc {

// The whole treatment of one workbook file: classify, verify the footer, mask or
// restore, write the output and, when masking, its footer. Every failure is reported
// once through the reporter. 0 processed; -1 failed and reported; -3 the footer check
// reported the failure itself. `output` receives the path written; `ctx` the per-file
// values (process_direction tells the caller whether the file was restored) and, after
// a masking, its report: what was masked and what of it is still readable elsewhere.
// On a failure ctx.failure says why, beside the text given to the reporter. The reporter
// is told how far the file has come; once it says cancelled, the file stops at the next
// step with nothing written, ctx.failure is `cancelled` and nothing is reported (the
// user asked for it).
int hsc_process_file(const std::filesystem::path& input, std::filesystem::path& output,
                     const MaskSettings& settings, FileContext& ctx, Reporter& reporter);

// The points between the steps of writing the output, for tests that inject faults.
// `checked` comes after the last look at a replaced input, just before the exchange.
enum class WriteStep { composed, footer_written, synced, checked };

struct ProcessOptions {
    // The direction a caller insists on; a file in the other state is refused. None:
    // whichever the file asks for.
    std::optional<Direction> only_direction;
    // Without asking: replace an existing output that is not the input, replace an input
    // that has other names (hard links) when overwriting, and restore a workbook that was
    // changed after masking. Otherwise the reporter is asked, and a No (the answer of a
    // reporter with nobody to ask) refuses.
    bool force = false;
    // Everything up to the output, which is not written: the report says what masking or
    // restoring would do, and the folder stays as it was (no question about an existing
    // output either).
    bool dry_run = false;
    // The bytes one package may hold in memory, inflated and as stored in the archive;
    // 0: the settings' max_memory, and without one default_memory_budget().
    std::uint64_t max_memory = 0;
    // The output's temporary file gets a hidden name even where the folder takes files
    // without one, as on file systems that do not (network shares, FAT).
    bool named_temp = false;
    // Called at each step; a non-zero status fails that step as if it had failed itself.
    // The step `synced` comes just before the output is moved into place.
    std::function<int(WriteStep)> fault;
    // The language of every text given to the reporter.
    Lang lang = Lang::ja;
    // Restore into an edited workbook: the input is a workbook that came back from
    // elsewhere without its backups, and this file (the masked copy that was kept, or
    // the original) gives the originals of the cells that still show masked texts. The
    // output is named as a restore's; FileContext::merge says what was given back.
    std::optional<std::filesystem::path> merge_from;
    // Where the output goes instead of beside the input with its prefix ("●", "〇"): the
    // file `output`; or the folder `output_dir`, with the usual name; and with
    // `original_name` a restore takes the input's name without its "●" prefix. An
    // existing file there is replaced only with `force` or the reporter's yes, and never
    // when it is the input itself. The overwrite setting does not apply with any of them.
    std::optional<std::filesystem::path> output;
    std::optional<std::filesystem::path> output_dir;
    bool original_name = false;
    // Read and write only the original format, as a reader built to its description
    // does: footer extensions passed over, HASH taken as the SHA-512 of the password or
    // key file, backups read as stream containers. Shows what such a reader does with
    // our workbooks.
    bool original_only = false;
    // The cost of the strong format's key derivation for a new masking (a restore takes
    // the cost its footer records).
    KdfCost kdf_cost = KDF_DEFAULT;
    // The column choice of a profile, in place of the settings' profile file, column
    // text, header row and keep-header.
    std::optional<ColumnChoice> columns;
};

// The smallest authentication file that masks: fewer bytes are soon guessed.
constexpr std::uintmax_t KEY_FILE_MIN_BYTES = 16;

// A share of the machine's memory for one package at a time: an eighth of the physical
// memory, at most 1 GiB.
std::uint64_t default_memory_budget();

// The message for an input file that cannot be opened: the cause the system gave
// (`error` is an errno value) with the path.
std::string open_failure_message(int error, const std::filesystem::path& path, Lang lang = Lang::ja);
// What such a failure counts as: not_found or cannot_open.
FailReason open_failure_reason(int error);

// Reads the column text ("B,D,AA", "氏名,電話番号,E", "h:ID", "顧客!B,C;注文!E") into
// ctx's column choice, each set with ctx's header row and keep-header; false when
// parse_column_text refuses it.
bool parse_columns(const std::string& target_column, FileContext& ctx);

int hsc_process_file(const std::filesystem::path& input, std::filesystem::path& output,
                     const MaskSettings& settings, FileContext& ctx, Reporter& reporter,
                     const ProcessOptions& options);

// The settings go in as the user gave them (UTF-8); their stored form is made inside.
int hsc_process_file(const std::filesystem::path&, std::filesystem::path&, const StoredSettings&, FileContext&,
                     Reporter&) = delete;
int hsc_process_file(const std::filesystem::path&, std::filesystem::path&, const StoredSettings&, FileContext&,
                     Reporter&, const ProcessOptions&) = delete;

}  // namespace hsc
