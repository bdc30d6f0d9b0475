#include "engine/driver.h"

#include <algorithm>
#include <new>
#include <span>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <system_error>

#include "os/file.h"
#include "core/cp932.h"
#include "core/secret.h"
#include "core/status.h"
#include "engine/text_routines.h"
#include "engine/backup_check.h"
#include "engine/backups.h"
#include "engine/choice_text.h"
#include "engine/masked_look.h"
#include "engine/memory_need.h"
#include "engine/merge.h"
#include "engine/read_excel.h"
#include "engine/refusal_text.h"
#include "engine/workbook_part.h"
#include "engine/workbook_scan.h"
#include "os/atomic_file.h"
#include "os/system.h"
#include "package/file_type.h"
#include "package/open_package.h"
#include "package/package_entries.h"
#include "package/zip_package.h"
#include "protect/crypto.h"
#include "protect/backup_key.h"
#include "protect/footer.h"
#include "protect/strong_key.h"

namespace hsc {
namespace {

bool is_no_space(int error) { return os::is_out_of_space(error); }

FailReason save_failure_reason(int error) {
    if (is_no_space(error)) return FailReason::no_space;
    if (error == EFBIG) return FailReason::file_size_limit;
    if (error == EPERM) return FailReason::not_writable;
    if (error == EEXIST) return FailReason::output_exists;
    return FailReason::cannot_save;
}

std::string save_failure_message(int error, const std::filesystem::path& target, Lang lang) {
    const std::string name = os::path_u8(target);
    if (is_no_space(error)) return say(lang, Msg::no_space, {name});
    if (error == EFBIG) return say(lang, Msg::file_size_limit, {name});
    // EPERM, unlike EACCES, is a file that may not be replaced: immutable or append-only,
    // or another user's in a shared (sticky) folder.
    if (error == EPERM) return say(lang, Msg::output_not_replaceable, {name});
    if (error == EACCES) return say(lang, Msg::no_write_permission, {name});
    if (error == EROFS) return say(lang, Msg::read_only_fs, {name});
    if (error == ENAMETOOLONG) return say(lang, Msg::output_name_too_long, {name});
    if (error == EEXIST) return say(lang, Msg::output_exists, {name});
    if (error == 0) return say(lang, Msg::save_failed, {name});
    return say(lang, Msg::save_cause, {name, std::strerror(error)});
}

// Turns the zip code's parts into Progress for the reporter, one call at a time and only
// when the percentage moves, and passes the reporter's cancel back to the zip code.
class ProgressMeter final : public PartMeter {
public:
    ProgressMeter(Reporter& reporter, std::size_t parts, std::uint64_t bytes) : reporter_(reporter) {
        progress_.parts_total = parts;
        progress_.bytes_total = bytes;
    }
    bool part_read(std::uint64_t stored) override {
        return tell([&] { ++progress_.parts_read, progress_.bytes_read += stored; });
    }
    bool part_written(std::uint64_t stored) override {
        return tell([&] { ++progress_.parts_written, progress_.bytes_written += stored; });
    }
    // Once the output is in place.
    void finished() {
        std::lock_guard lock(mutex_);
        progress_.bytes_read = progress_.bytes_written = progress_.bytes_total;
        progress_.parts_read = progress_.parts_written = progress_.parts_total;
        progress_.complete = true;
        reporter_.progress(progress_);
    }

private:
    template <class Change>
    bool tell(Change change) {
        std::lock_guard lock(mutex_);
        const int before = progress_.percent();
        change();
        if (progress_.percent() != before) reporter_.progress(progress_);
        return !reporter_.cancelled();
    }
    Reporter& reporter_;
    std::mutex mutex_;
    Progress progress_;
};

// Why the package reader refused: `refusal` is set for a damaged or hostile package, and
// for a header text of the column list that no worksheet has.
FailReason read_failure_reason(int rc, const Refusal& refusal) {
    if (refusal.kind == RefusalKind::header_not_found || refusal.kind == RefusalKind::header_not_in_sheet)
        return FailReason::header_not_found;
    if (refusal.kind == RefusalKind::sheet_not_found) return FailReason::sheet_not_found;
    if (refusal.kind == RefusalKind::ambiguous_column) return FailReason::ambiguous_column;
    // More bytes than recorded: a damaged deflate stream or a lying header, not a size.
    if (refusal.kind == RefusalKind::larger_than_declared) return FailReason::damaged;
    if (rc == RC_NOMEM) return FailReason::out_of_memory;
    if (rc == SIZE_LIMIT_EXCEEDED) return FailReason::too_large;
    if (rc == UNSUPPORTED_OBJECTS) return FailReason::unsupported_table;
    return refusal.empty() ? FailReason::internal_error : FailReason::damaged;
}

// A footer that cannot be read: the file cannot be opened, or is too short to be a workbook.
FailReason footer_read_reason(int rc) { return rc == RC_OPEN ? FailReason::cannot_open : FailReason::damaged; }

// The authentication file's check value, taken once for the run, and its size; false
// when the file cannot be digested.
bool key_file_check(const std::string& key_file, std::string& check, std::uintmax_t& size) {
    if (key_file.empty()) return false;
    std::error_code ec;
    // A folder opens for reading on this system but has no content to digest, and a FIFO
    // or device has no end.
    if (!std::filesystem::is_regular_file(key_file, ec)) return false;
    size = std::filesystem::file_size(key_file, ec);
    return !ec && key_file_check_value(key_file, check);
}

// The settings of a copy to send out: its write reservation takes the built-in password,
// since the reservation's short hash of the user's would help to guess it.
StoredSettings without_password(const StoredSettings& stored) {
    StoredSettings s = stored;
    wipe(s.password);
    wipe(s.password_utf8);
    return s;
}

// Why the package could not be read into memory, as the package reader says it.
// Whether the options name where the output goes.
bool placed_output(const ProcessOptions& options) {
    return options.output || options.output_dir || options.original_name;
}

// The input's file name without the "●" masking put in front of it.
std::filesystem::path original_file_name(const std::filesystem::path& input) {
    constexpr std::string_view MASKED_PREFIX = "\xE2\x97\x8F";  // ●
    std::string name = os::path_u8(input.filename());
    if (name.starts_with(MASKED_PREFIX) && name.size() > MASKED_PREFIX.size()) name.erase(0, MASKED_PREFIX.size());
    return name;
}

// Where the output of `input` goes: the options' file or folder, the original name, or
// beside the input with its prefix (the input itself when overwriting).
std::filesystem::path output_target(const std::filesystem::path& input, Direction direction, bool overwriting,
                                    const ProcessOptions& options) {
    if (options.output) return *options.output;
    const std::filesystem::path usual = options.original_name && direction == Direction::unmask
                                            ? input.parent_path() / original_file_name(input)
                                            : output_path_for(input, direction, overwriting);
    return options.output_dir ? *options.output_dir / usual.filename() : usual;
}

int extraction_status(int rc) { return rc == RC_SIZE_LIMIT || rc == RC_NOMEM ? rc : RC_FAIL; }

}  // namespace

bool parse_columns(const std::string& target_column, FileContext& ctx) {
    ChoiceError error;
    const auto choice = parse_column_text(target_column, ctx.header_row + 1, ctx.keep_header, error);
    if (!choice) return false;
    ctx.set_choice(*choice);
    return true;
}

FailReason open_failure_reason(int error) {
    return error == ENOENT || error == ENOTDIR ? FailReason::not_found : FailReason::cannot_open;
}

std::string open_failure_message(int error, const std::filesystem::path& path, Lang lang) {
    const std::string name = os::path_u8(path);
    switch (error) {
        case ENOENT: case ENOTDIR: return say(lang, Msg::not_found, {name});
        case EISDIR: return say(lang, Msg::is_folder, {name});
        case EINVAL: return say(lang, Msg::not_a_file, {name});
        case EACCES: case EPERM: return say(lang, Msg::no_read_permission, {name});
        case ENAMETOOLONG: return say(lang, Msg::name_too_long, {name});
        case EWOULDBLOCK: return say(lang, Msg::busy, {name});
        default: return say(lang, Msg::open_cause, {name, std::strerror(error)});
    }
}

std::uint64_t default_memory_budget() {
    constexpr std::uint64_t CAP = std::uint64_t{1} << 30;
    const std::uint64_t memory = os::physical_memory();
    return memory == 0 ? CAP : std::min(CAP, memory / 8);
}

int hsc_process_file(const std::filesystem::path& input, std::filesystem::path& output,
                     const MaskSettings& settings, FileContext& ctx, Reporter& reporter) {
    return hsc_process_file(input, output, settings, ctx, reporter, ProcessOptions{});
}

int hsc_process_file(const std::filesystem::path& input, std::filesystem::path& output,
                     const MaskSettings& settings, FileContext& ctx, Reporter& reporter,
                     const ProcessOptions& options) {
    output.clear();
    ctx.failure = FailReason::none;
    const std::string path_text = os::path_u8(input);
    const Lang lang = options.lang;
    auto fail = [&](FailReason why, std::string text) {
        ctx.failure = why;
        reporter.error(text);
        return RC_FAIL;
    };
    auto save_failed = [&](int error, const std::filesystem::path& target) {
        return fail(save_failure_reason(error), save_failure_message(error, target, lang));
    };

    // Password and hints enter stored bytes as CP932; refuse before touching anything.
    StoredSettings stored;
    const WipeOnExit wipe_password(stored.password);
    std::string message;
    if (!stored_settings(settings, stored, message, lang)) return fail(FailReason::invalid_settings, message);

    // The input stays open and locked for the run; what the system says about it is
    // what the user reads.
    // A run that replaces its input holds it alone: a second such run is refused, not
    // left to overwrite the first one's result.
    InputFile in;
    if (int error = in.open(input, settings.is_overwrite && !placed_output(options) ? InputLock::exclusive : InputLock::shared); error != 0)
        return fail(open_failure_reason(error), open_failure_message(error, input, lang));

    // Every step reads the package from that one open file: its type, its footer (the
    // zip comment) and its entries, whose directory is read and checked once here. The
    // registry holds the package for the run; every step that unpacks keeps to one budget.
    const std::uint64_t budget = options.max_memory    ? options.max_memory
                                 : settings.max_memory ? settings.max_memory
                                                       : default_memory_budget();
    MfileRegistry reg;
    reg.max_package_bytes = budget;
    OpenPackage package;
    int rc = package.open(in.fd(), input, reg);
    const int type = package.file_type();
    if (rc == RC_OPEN) return fail(FailReason::cannot_open, say(lang, Msg::open_error, {path_text}));
    if (rc != RC_OK) return fail(FailReason::cannot_open, say(lang, Msg::file_type_error, {std::to_string(rc)}));
    if (type == TYPE_XLSX_LOCKED) return fail(FailReason::read_password, say(lang, Msg::read_password, {path_text}));
    if (type == TYPE_XLS) return fail(FailReason::old_xls, say(lang, Msg::old_xls, {path_text}));
    if (type != TYPE_XLSX && type != TYPE_XLSM) return fail(FailReason::unsupported_file, say(lang, Msg::unsupported_file, {path_text}));

    // How far the file has come, and the user's stop, between the steps and part by part.
    std::size_t parts = 0;
    for (const std::string& name : package.entry_names()) parts += name.ends_with('/') ? 0 : 1;
    ProgressMeter meter(reporter, parts, package.size());
    reg.meter = &meter;
    const auto stopped = [&] {
        if (!reporter.cancelled()) return false;
        mfree_all(reg);
        ctx.failure = FailReason::cancelled;
        return true;
    };

    std::string key_check;  // digested once, for the footer check and the footer written
    const WipeOnExit wipe_key(key_check);
    std::uintmax_t key_size = 0;
    if (settings.is_file_hash && !key_file_check(settings.key_file, key_check, key_size))
        return fail(FailReason::key_file_unreadable, say(lang, Msg::key_file_unreadable, {settings.key_file}));
    const std::string* key = settings.is_file_hash ? &key_check : nullptr;

    ctx = FileContext{};
    ctx.original_only = options.original_only;
    ChoiceError choice_error;
    std::optional<ColumnChoice> choice = options.columns;
    if (!choice && !settings.profile_file.empty()) {
        std::string why;
        choice = read_profile_file(settings.profile_file, lang, why);
        if (!choice) return fail(FailReason::invalid_columns, why);
    }
    if (!choice) choice = parse_column_text(settings.target_column, settings.header_row, settings.is_keep_header, choice_error);
    if (!choice) return fail(FailReason::invalid_columns, say(lang, Msg::invalid_columns, {settings.target_column}));
    if (settings.header_row < 1 || settings.header_row > 1048576)
        return fail(FailReason::invalid_columns, say(lang, Msg::invalid_header_row, {std::to_string(settings.header_row)}));
    ctx.set_choice(*choice);

    std::string block;  // the file's last bytes, where a footer stands
    if (rc = package.last_bytes(FOOTER_SIZE, block); rc != RC_OK) {
        // Shorter than a footer: no workbook is that small, whatever its name says.
        if (package.size() < FOOTER_SIZE) return fail(FailReason::damaged,
                        say(lang, Msg::in_file, {short_file_text(lang, reg.refusal, package.size()), path_text}));
        return fail(footer_read_reason(rc), say(lang, Msg::check_footer_error, {std::to_string(rc)}));
    }
    const bool merging = options.merge_from.has_value();
    if (options.only_direction && !merging) {
        const bool present = parse_footer(std::span(reinterpret_cast<const std::uint8_t*>(block.data()), block.size())).has_value();
        if (options.only_direction == Direction::mask && present)
            return fail(FailReason::already_masked, say(lang, Msg::already_masked, {path_text}));
        if (options.only_direction == Direction::unmask && !present) {
            // A masked copy that a spreadsheet program saved keeps its masked text and
            // loses the rest: the user must hear that the kept copy is needed now.
            if (const MaskedLook look = masked_look_of_file(input); look.looks_masked())
                return fail(FailReason::backups_lost,
                            say(lang, Msg::backups_lost_restore, {path_text, masked_look_text(look, lang), path_text}));
            return fail(FailReason::not_masked, say(lang, Msg::not_masked, {path_text}));
        }
    }

    // A workbook of the original format, and a masking in it, take the password's CP932
    // form of at most 31 bytes; the strong format takes any.
    const auto record = parse_footer(std::span(reinterpret_cast<const std::uint8_t*>(block.data()), block.size()));
    const bool writes_original = options.original_only || settings.is_compat;
    const bool original_password = record ? options.original_only || footer_format(*record) != FooterFormat::strong
                                           : writes_original;
    if (original_password && !stored.has_original_password)
        return fail(FailReason::invalid_settings, original_password_problem(settings, lang));

    int present = FOOTER_ABSENT;
    FooterCheck check;
    check.original_only = options.original_only;
    check.defer_derivation = true;  // derived beside the unpacking, below
    rc = hsc_check_footer_block(block, stored, key, present, reporter, &ctx.failure, lang, check);
    if (rc == RC_REFUSED) return RC_REFUSED;
    if (rc != RC_OK) return fail(footer_read_reason(rc), say(lang, Msg::check_footer_error, {std::to_string(rc)}));
    ctx.process_direction = present == FOOTER_PRESENT ? Direction::unmask : Direction::mask;
    // A copy masked without backups is given back only from the copy that was kept.
    if (check.no_backup && !merging)
        return fail(FailReason::no_backup, say(lang, Msg::no_backup_restore, {path_text, path_text}));
    // Masking without backups writes a copy beside the input, never over it.
    const bool no_backup = settings.is_no_backup && ctx.process_direction == Direction::mask && !merging;
    if (no_backup && settings.is_overwrite)
        return fail(FailReason::invalid_settings, say(lang, Msg::no_backup_overwrite));

    // A short file is as easy to guess as a short password (an empty one is the same for
    // everybody). Workbooks masked with one before are still restored.
    if (settings.is_file_hash && ctx.process_direction == Direction::mask && key_size < KEY_FILE_MIN_BYTES)
        return fail(FailReason::key_file_too_short,
                    say(lang, Msg::key_file_too_short, {settings.key_file, std::to_string(key_size), std::to_string(KEY_FILE_MIN_BYTES)}));
    // A workbook that still holds its backups is restored from them; the merge is for
    // one that lost them.
    MergeSource source;
    if (merging) {
        if ((present == FOOTER_PRESENT && !check.no_backup) || !backup_entries(package.entry_names()).empty())
            return fail(FailReason::still_masked, say(lang, Msg::merge_still_masked, {path_text}));
        ctx.process_direction = Direction::unmask;
        if (rc = load_merge_source(*options.merge_from, stored, key, ctx, budget, source, reporter, lang, ctx.failure);
            rc != RC_OK)
            return rc;
    }

    // A masked workbook that lost its footer still holds the only copy of the original
    // text; masking it again would overwrite that copy.
    if (ctx.process_direction == Direction::mask) {
        const auto backups = backup_entries(package.entry_names());
        if (!backups.empty()) return fail(FailReason::footer_missing, say(lang, Msg::in_file, {say(lang, Msg::footer_lost, {backups.front()}), path_text}));
        // One that lost footer and backups alike (saved by a spreadsheet program) shows
        // only its masked text: masking it again would keep that as the original.
        if (!options.force) {
            const MaskedLook look = masked_look_of_file(input);
            const std::string signs = look.looks_masked() ? masked_look_text(look, lang) : std::string();
            if (look.looks_masked() && !reporter.ask_yes_no(say(lang, Msg::looks_masked_ask, {path_text, signs})))
                return fail(FailReason::backups_lost, say(lang, Msg::backups_lost_mask, {path_text, signs, path_text}));
        }
    }

    // More memory than the budget is refused before it is taken, in the words that say
    // which budget would do.
    const auto over_budget = [&](std::uint64_t need) {
        const Refusal refusal = Refusal::of_size(RefusalKind::over_memory_budget, need, budget);
        return fail(FailReason::too_large,
                    say(lang, Msg::in_file,
                        {say(lang, Msg::then, {say(lang, Msg::too_large), refusal_text(lang, refusal)}), path_text}));
    };
    // A restore needs what the footer recorded when the workbook was masked.
    if (ctx.process_direction == Direction::unmask && record)
        if (const auto need = footer_restore_need(*record); need && *need > budget) return over_budget(*need);

    // The key of every backup, derived once for the file: from the footer when restoring,
    // with a fresh salt when masking in the strong format. A new key is derived on a
    // second thread while the package is unpacked, so the derivation (a third of a second
    // or more) adds little to the run.
    std::optional<BackupKey> backup_key;
    std::function<std::optional<StrongKey>()> derive;
    if (no_backup) {
        // The backups are made and dropped before anything is written: no key to them
        // need be derived, and none is kept.
        backup_key = BackupKey::original(std::string());
    } else if (check.pending) {
        derive = [&stored, pending = *check.pending] { return derive_pending(stored, pending); };
    } else if (ctx.process_direction == Direction::unmask || writes_original) {
        backup_key = BackupKey::original(stored.password);
        if (ctx.process_direction == Direction::mask) reporter.info(say(lang, Msg::compat_weakness));
    } else {
        derive = [&stored, file_mode = settings.is_file_hash, salt = StrongKey::random_salt(),
                  cost = options.kdf_cost] { return derive_strong_key(stored, file_mode, salt, cost); };
    }
    // The key is derived beside the unpacking: the derivation's memory counts with the
    // package's (the stored bytes are at most the file's). A package the reader refused
    // is reported in the reader's words, below.
    if (derive && package.directory_status() == RC_OK) {
        std::uint64_t need = package.size() + (check.pending ? check.pending->cost.mem_bytes : options.kdf_cost.mem_bytes);
        for (const std::uint64_t size : package.entry_sizes()) need += size;
        if (need > budget) return over_budget(need);
    }
    std::future<std::optional<StrongKey>> deriving;
    if (derive) {
        try {
            deriving = std::async(std::launch::async, derive);
        } catch (const std::system_error&) {
            deriving = std::async(std::launch::deferred, derive);  // no thread to be had: in turn
        }
    }

    // The package, unpacked once for every step that follows; a refusal is reported
    // where the transform would have met it. Restoring reads a few parts (the others are
    // checked and copied as they are stored) and deciphers each backup once, here; the
    // restore takes the plain text as it is.
    const bool restoring = ctx.process_direction == Direction::unmask && !merging;
    std::vector<std::string> entries;
    int deciphered = RC_OK;
    const auto unpack = [&](EntryFilter read) {
        try {
            return package.extract(reg, entries, nullptr, read);
        } catch (const std::bad_alloc&) {
            return RC_NOMEM;
        }
    };
    // Each backup is deciphered once, with the file's key, before anything is decided.
    const auto decipher = [&] {
        try {
            return restoring ? decipher_backups(reg, backup_entries(entries), *backup_key) : RC_OK;
        } catch (const std::bad_alloc&) {
            return RC_NOMEM;
        }
    };
    int read_rc = unpack(restoring ? read_when_restoring : nullptr);
    if (stopped()) return RC_FAIL;
    // What the restore's first judge reads of the masked table needs no key: read while
    // the key is still being derived.
    MaskedTable masked_table;
    if (restoring && read_rc == RC_OK) {
        try {
            masked_table = read_masked_table(reg);
        } catch (const std::bad_alloc&) {
            read_rc = RC_NOMEM;
        }
    }

    // Restoring: the password is verified here, before anything is deciphered.
    if (deriving.valid() && check.pending) {
        if (finish_strong_check(check, deriving.get(), stored, reporter, &ctx.failure, lang) != RC_OK)
            return RC_REFUSED;
        backup_key = BackupKey::strong(std::move(*check.strong));
    } else if (deriving.valid()) {
        auto derived = deriving.get();
        if (!derived && settings.is_file_hash && !key_file_secret(settings.key_file))
            return fail(FailReason::key_file_unreadable, say(lang, Msg::key_file_unreadable, {settings.key_file}));
        if (!derived)
            return fail(FailReason::out_of_memory,
                        say(lang, Msg::key_derivation_failed, {std::to_string(options.kdf_cost.mem_bytes >> 20)}));
        backup_key = BackupKey::strong(std::move(*derived));
    }

    // The backups must decipher to what they recorded before they replace the masked
    // text: a footer without a check value lets any password through to here.
    // Once a check value has proved the password, a backup that does not open was changed,
    // cut or moved; without one, another password cannot be told from damage.
    if (restoring && read_rc == RC_OK) deciphered = decipher();
    if (restoring && read_rc == RC_OK && deciphered == RC_REFUSED) {
        const bool proved = backup_key->strong_key() && check.verified;
        ctx.failure = proved ? FailReason::damaged : FailReason::wrong_password;
        reporter.error(proved ? say(lang, Msg::in_file, {say(lang, Msg::backup_tampered, {printable(reg.refusal.name)}), path_text})
                              : say(lang, Msg::backup_password));
        return RC_REFUSED;
    }

    // Masking keeps every length and every item of the table in its place: a masked part
    // that differs was edited afterwards, and its backup would silently drop those edits.
    // Restoring it anyway gives the table back item by item, which reads the worksheets.
    if (restoring && read_rc == RC_OK) {
        const std::vector<std::string> changed =
            parts_changed_since_masking(reg, package.entry_names(), package.entry_sizes(), &masked_table);
        masked_table = {};  // the views end with the streams they look into
        if (!changed.empty()) {
            std::string parts;
            for (const std::string& name : changed) parts += (parts.empty() ? "" : ", ") + printable(name);
            if (!options.force && !reporter.ask(Msg::changed_ask, say(lang, Msg::changed_ask, {parts})))
                return fail(FailReason::changed_since_masking, say(lang, Msg::in_file, {say(lang, Msg::changed_since_masking, {parts}), path_text}));
            mfree_all(reg);
            entries.clear();
            read_rc = unpack(nullptr);
            if (read_rc == RC_OK) deciphered = decipher();
            if (read_rc == RC_OK && deciphered != RC_OK) read_rc = RC_FAIL;
        }
    }

    // What the parsers, the masked copies and the backups will hold, counted on the
    // unpacked package before any of it is parsed. (What the restore of a masking needs
    // is counted on the masked package, below: a refusal names the need of its step.)
    // A masking counts the backups of the worksheets whose values it may change, and so
    // what their restore will need: such a run is refused before it begins.
    std::optional<ValueMasking> value_masking;
    if (ctx.process_direction == Direction::mask && !merging)
        value_masking = ValueMasking{masks_numbers(ctx, settings), backup_key && backup_key->strong_key() != nullptr};
    if (read_rc == RC_OK)
        if (const std::uint64_t need = processing_need(reg, value_masking); need > budget) {
            mfree_all(reg);
            return over_budget(need);
        }

    // Where the output goes, settled before the work: an existing file that is not the
    // input is replaced only when the user says so.
    const bool overwriting = settings.is_overwrite && !placed_output(options);
    std::filesystem::path target = output_target(input, ctx.process_direction, overwriting, options);
    bool replace = overwriting;
    if (overwriting) {
        // Replacing a symbolic link would leave the workbook it names unchanged.
        std::error_code ec;
        if (std::filesystem::is_symlink(input, ec)) {
            auto real = std::filesystem::canonical(input, ec);
            if (!ec) target = real;
        }
        // The folder would let us rename over a file that is not ours to write, or that
        // its owner made read-only; no option overrides that.
        if (const WriteAccess access = in.write_access(target); access != WriteAccess::allowed)
            return fail(FailReason::not_writable,
                        say(lang,
                            access == WriteAccess::read_only   ? Msg::input_read_only
                            : access == WriteAccess::immutable ? Msg::input_immutable
                                                               : Msg::input_not_writable,
                            {path_text}));
        // The other names of a hard-linked file would keep the old content.
        if (in.links() > 1 && !options.force) return fail(FailReason::hard_link, say(lang, Msg::hard_link, {path_text}));
    } else if (!options.dry_run) {
        std::error_code ec;
        const auto status = std::filesystem::symlink_status(target, ec);
        // A name the system cannot look at (too long) fails at the commit with its cause.
        if (!ec && status.type() != std::filesystem::file_type::not_found) {
            if (identity_of(target) == in.identity()) return fail(FailReason::output_is_input, say(lang, Msg::output_is_input, {os::path_u8(target)}));
            if (!options.force && !reporter.ask(Msg::ask_replace, say(lang, Msg::ask_replace, {os::path_u8(target)})))
                return fail(FailReason::output_exists, say(lang, Msg::output_exists, {os::path_u8(target)}));
            replace = true;
        }
    }

    MaskReport report;
    MergeReport merged;
    if (read_rc != RC_OK) rc = extraction_status(read_rc);
    else if (merging) rc = merge_into_package(reg, source, merged);
    else rc = transform_package(reg, entries, no_backup ? without_password(stored) : stored, ctx, &report, &merged,
                                &*backup_key);
    // The write reservation of a copy that went out (kept by some programs) leaves with
    // the masking, as a restore takes it out.
    if (rc == RC_OK && merging) {
        std::string workbook;
        if (read_part(reg, "xl/workbook.xml", workbook) == RC_OK)
            rc = rewrite_workbook_part(reg, workbook, stored, Direction::unmask);
    }
    // A copy to send out keeps none of the backups the masking made.
    if (rc == RC_OK && no_backup) {
        std::vector<std::string> names;
        mlist(reg, names);
        for (const std::string& name : names)
            if (is_backup_entry(name)) mremove(reg, name);
    }
    // Backups that a reader of the original format would not restore: such a reader must
    // refuse the workbook rather than give back only part of it.
    bool unknown_backups = false;
    if (rc == RC_OK && ctx.process_direction == Direction::mask && !backup_key->strong_key() && !no_backup) {
        std::vector<std::string> names;
        mlist(reg, names);
        unknown_backups = std::any_of(names.begin(), names.end(), [](const std::string& name) {
            return is_backup_entry(name) && !known_to_original_readers(name);
        });
    }
    // The masked package is what a restore unpacks and deciphers: one that could not be
    // restored within the same budget is not masked, and the footer records the need.
    std::uint64_t restore_need = 0;
    if (rc == RC_OK && ctx.process_direction == Direction::mask) {
        restore_need = processing_need(reg);
        if (restore_need > budget) {
            mfree_all(reg);
            return over_budget(restore_need);
        }
    }
    drop_deciphered(reg);
    if (stopped()) return RC_FAIL;
    if (rc != RC_OK) {
        // Why a damaged or hostile package was refused, when the reader could say.
        const FailReason why = read_failure_reason(rc, reg.refusal);
        const std::string refusal = refusal_text(lang, reg.refusal);
        mfree_all(reg);
        if (rc == RC_NOMEM) return fail(why, say(lang, Msg::out_of_memory));
        if (rc == SIZE_LIMIT_EXCEEDED && !refusal.empty() && why == FailReason::too_large)
            return fail(why, say(lang, Msg::in_file, {say(lang, Msg::then, {say(lang, Msg::too_large), refusal}), path_text}));
        if (rc == SIZE_LIMIT_EXCEEDED && why == FailReason::too_large) return fail(why, say(lang, Msg::too_large));
        if (!refusal.empty()) return fail(why, say(lang, Msg::in_file, {refusal, path_text}));
        if (rc == UNSUPPORTED_OBJECTS) return fail(why, say(lang, Msg::unsupported_objects));
        return fail(why, say(lang, Msg::read_error, {std::to_string(rc)}));
    }

    if (options.dry_run) {
        mfree_all(reg);
        ctx.report = std::move(report);
        ctx.merge = std::move(merged);
        return RC_OK;
    }

    // The output is composed in a private temporary file beside its target and takes
    // the target's place only when complete.
    AtomicFile out(options.named_temp ? TempKind::named : TempKind::unnamed_if_possible);
    if (int error = out.open(target); error != 0) {
        mfree_all(reg);
        return save_failed(error, target);
    }
    // A masked workbook ends with its footer, the zip comment, written with the rest.
    std::string footer;
    if (ctx.process_direction == Direction::mask) {
        rc = hsc_format_footer(stored, key, FooterProtection{backup_key->strong_key(), unknown_backups, no_backup, restore_need},
                               footer);
        if (rc != RC_OK) {
            mfree_all(reg);
            return fail(FailReason::cannot_save, say(lang, Msg::footer_write_error, {std::to_string(rc)}));
        }
    }
    std::filesystem::path named;
    rc = hsc_write_excel(reg, input, named, ctx.process_direction, overwriting, out.fd(), footer);
    const int write_error = reg.os_error;
    if (stopped()) return RC_FAIL;  // the temporary file goes with `out`
    mfree_all(reg);
    if (rc == RC_OK && options.fault) rc = options.fault(WriteStep::composed);
    if (rc != RC_OK && write_error != 0) return save_failed(write_error, target);
    if (rc == RC_NOMEM) return fail(FailReason::out_of_memory, say(lang, Msg::out_of_memory));
    if (rc != RC_OK) return fail(FailReason::cannot_save, say(lang, Msg::write_error, {std::to_string(rc)}));
    if (!footer.empty() && options.fault && (rc = options.fault(WriteStep::footer_written)) != RC_OK)
        return fail(FailReason::cannot_save, say(lang, Msg::footer_write_error, {std::to_string(rc)}));

    // A replaced workbook keeps its mode, owner, group and extended attributes; a new
    // one takes the input's permission bits, so a private workbook stays private, and
    // restored plain text is no more open than the user's umask lets new files be.
    const os::FileMode umask = ctx.process_direction == Direction::unmask ? process_umask() : 0;
    int error = overwriting ? out.sync(in.mode(), in.fd()) : out.sync(in.mode() & 0777 & ~umask);
    if (error != 0) return save_failed(error, target);
    if (options.fault && (rc = options.fault(WriteStep::synced)) != RC_OK)
        return fail(FailReason::cannot_save, say(lang, Msg::save_failed, {os::path_u8(target)}));
    if (stopped()) return RC_FAIL;  // the last moment before the folder changes
    if (overwriting) {
        // A version saved by someone else while we worked is never replaced: nothing wrote
        // into the open file, and the name still holds it at the moment it is exchanged.
        const auto changed = [&] { return fail(FailReason::changed_during_run, say(lang, Msg::changed_during_run, {path_text})); };
        if (!in.unchanged()) return changed();
        if (options.fault && (rc = options.fault(WriteStep::checked)) != RC_OK)
            return fail(FailReason::cannot_save, say(lang, Msg::save_failed, {os::path_u8(target)}));
        const AtomicFile::ReplaceResult replaced = out.replace_if(in);
        if (replaced.outcome == AtomicFile::Replaced::changed) return changed();
        if (replaced.outcome == AtomicFile::Replaced::failed) return save_failed(replaced.error, target);
    } else if (error = out.commit(replace); error != 0) {
        return save_failed(error, target);
    }
    output = target;
    ctx.report = std::move(report);
    ctx.merge = std::move(merged);
    meter.finished();
    return RC_OK;
}

}  // namespace hsc
