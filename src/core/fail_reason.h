#pragma once

namespace hsc {

// Why a workbook was not processed, beside the words the user reads: callers that
// branch on the outcome (the command line's JSON `kind`) use this, never the text.
enum class FailReason {
    none,
    invalid_settings,       // password or hint not storable (CP932, byte limits)
    not_found,              // the input does not exist
    cannot_open,            // the input exists but cannot be opened or read
    unsupported_file,       // not a workbook package
    read_password,          // encrypted with a read password
    old_xls,                // the binary format of old spreadsheet programs
    key_file_unreadable,    // the authentication file cannot be digested
    key_file_too_short,     // an authentication file too short to mask with
    invalid_columns,        // the column list is not one
    header_not_found,       // a header text of the column list stands in no worksheet
    sheet_not_found,        // the column list names a worksheet the workbook does not have
    ambiguous_column,       // an item of the column list is a letter and a header text
    already_masked,         // `mask` given a masked workbook
    not_masked,             // `restore` (or the leak scan) given an unmasked one
    wrong_password,         // the password does not match the footer or the backups
    wrong_key_file,         // the authentication file does not match the footer
    wrong_password_or_key_file,  // strong format, file mode: the key made from both does not match
    key_file_required,      // masked in file-authentication mode, asked with a password
    changed_since_masking,  // edited after masking; restoring would drop the edits
    footer_missing,         // backups without a footer: masking again would lose them
    still_masked,           // `restore --from` given a workbook that still holds its backups
    backups_lost,           // looks masked, but a spreadsheet program dropped its backups
    no_backup,              // masked without backups: restored only with --from
    hard_link,              // overwriting would leave the other names unchanged
    output_is_input,        // the output name is the input itself
    output_exists,          // an existing output not to be replaced
    out_of_memory,
    too_large,              // over a size limit or the memory budget
    unsupported_table,      // table parts in the way of the masking
    damaged,                // a package or backup that does not read back
    no_space,               // the disk or the user's quota is full
    file_size_limit,        // the output would pass the file size limit (ulimit -f)
    cannot_save,            // the output could not be written
    changed_during_run,     // the input changed while it was processed
    not_writable,           // to be replaced, but read-only, immutable or not ours to write
    cancelled,              // the user stopped it; nothing was written
    internal_error,         // a step failed for a reason it cannot name; stays the last
};

}  // namespace hsc
