#include "engine/driver.h"

#include <algorithm>
#include <new>
#include <span>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <system_error>

#include "core/cp932.h"
#include "core/status.h"
#include "engine/text_routines.h"
#include "engine/backup_check.h"
#include "engine/backups.h"
#include "engine/read_excel.h"
#include "engine/workbook_scan.h"
#include "stream/atomic_file.h"
#include "package/file_type.h"
#include "package/open_package.h"
#include "package/package_entries.h"
#include "package/zip_package.h"
#include "protect/crypto.h"
#include "protect/footer.h"

namespace hsc {
namespace {

// The driver's messages, as the user reads them.
constexpr const char* MSG_OPEN = "ファイルオープンエラーです(%s)。ファイルを開いている場合は閉じてください。";
constexpr const char* MSG_FILE_TYPE = "内部処理エラーです(tiv_file_type() rc=%d)でエラーが発生しました。";
constexpr const char* MSG_READ_PASSWORD = "読み取りパスワードが設定されているファイルはサポート対象外です。(%s)";
constexpr const char* MSG_UNSUPPORTED = "サポート対象外のファイルです(%s)。";
constexpr const char* MSG_KEY_FILE = "認証ファイル(%s)を読み込む事が出来ませんでした。処理を中断します。";
constexpr const char* MSG_COLUMNS = "マスク列(%s)の指定内容が不正です。";
constexpr const char* MSG_HEADER_ROW = "見出し行(%d)の指定が不正です。1 から 1048576 の行番号を指定してください。";
constexpr const char* MSG_CHECK_FOOTER = "内部処理エラーです(hsc_check_footer() rc=%d)。処理を中断します。";
constexpr const char* MSG_READ_NOMEM = "メモリ不足です。処理を中断します。";
constexpr const char* MSG_SIZE = "処理可能なサイズを超えました。処理を中断します。";
constexpr const char* MSG_OBJECTS = "未対応のオブジェクト(テーブル書式設定等)が含まれています。処理を中断します。";
constexpr const char* MSG_READ = "内部処理エラーです(hsc_read_excel() rc=%d)。処理を中断します。";
constexpr const char* MSG_WRITE_NOMEM = "メモリ不足です。処理を中断します。";
constexpr const char* MSG_WRITE = "内部処理エラーです(hsc_write_excel() rc=%d)。処理を中断します。";
constexpr const char* MSG_FOOTER = "内部処理エラーです(hsc_write_footer() rc=%d)。処理を中断します。";
// Refusals that keep data safe.
constexpr const char* MSG_FOOTER_LOST =
    "マスク済みのバックアップ(%s)がありますが、フッターがありません。再マスクすると元のテキストが失われるため、"
    "処理を中断します。";
constexpr const char* MSG_BACKUP_PASSWORD =
    "パスワードが一致しないか、バックアップが破損しています(バックアップを復号できません)。処理を中断します。";
constexpr const char* MSG_SAVE = "出力ファイル(%s)を保存できませんでした。処理を中断します。";
constexpr const char* MSG_ALREADY_MASKED = "マスク済みのファイルです。マスクは行いません(%s)。";
constexpr const char* MSG_CHANGED_ASK =
    "マスク後にブックが変更されています(%s)。復元すると、マスク後の変更は失われます。復元しますか？";
constexpr const char* MSG_CHANGED =
    "マスク後にブックが変更されています(%s)。復元するとその変更が失われるため、復元を中断しました。"
    "ファイルは変更していません。";
constexpr const char* MSG_NOT_MASKED = "マスクされたファイルではありません。復元は行いません(%s)。";
// The input, with the cause the system gave.
constexpr const char* MSG_NOT_FOUND = "ファイル(%s)が見つかりません。";
constexpr const char* MSG_IS_FOLDER = "(%s)はフォルダです。ブックのファイルを指定してください。";
constexpr const char* MSG_NOT_A_FILE = "(%s)は通常のファイルではありません。ブックのファイルを指定してください。";
constexpr const char* MSG_NO_READ_PERMISSION = "ファイル(%s)を読み取る権限がありません。";
constexpr const char* MSG_NAME_TOO_LONG = "ファイル名が長すぎます(%s)。";
constexpr const char* MSG_BUSY = "ファイル(%s)は別のプログラムが書き込み中です。終わってからもう一度処理してください。";
constexpr const char* MSG_OPEN_CAUSE = "ファイル(%s)を開けませんでした(%e)。";
constexpr const char* MSG_OLD_XLS =
    "古い形式(.xls)のブックです(%s)。表計算ソフトで .xlsx 形式で保存してから処理してください。";
constexpr const char* MSG_HARD_LINK =
    "ファイル(%s)には別の名前(ハードリンク)があります。上書きしても別の名前には元の内容が残るため、処理を中断します。";
// The output.
constexpr const char* MSG_ASK_REPLACE = "出力ファイル(%s)は既に存在します。置き換えますか？";
constexpr const char* MSG_OUTPUT_EXISTS = "出力ファイル(%s)が既に存在するため、保存しませんでした。";
constexpr const char* MSG_OUTPUT_IS_INPUT = "出力ファイル(%s)が入力ファイルそのものを指しているため、保存しませんでした。";
constexpr const char* MSG_CHANGED_DURING_RUN =
    "処理中にファイル(%s)が変更されました。変更を失わないよう結果は保存しませんでした。もう一度処理してください。";
constexpr const char* MSG_NO_SPACE = "ディスクの空き容量が足りないため、出力ファイル(%s)を保存できませんでした。";
constexpr const char* MSG_NO_WRITE_PERMISSION = "フォルダに書き込む権限がないため、出力ファイル(%s)を保存できませんでした。";
constexpr const char* MSG_READ_ONLY_FS = "読み取り専用の場所のため、出力ファイル(%s)を保存できませんでした。";
constexpr const char* MSG_OUTPUT_NAME_TOO_LONG = "出力ファイル名が長すぎます(%s)。";
constexpr const char* MSG_SAVE_CAUSE = "出力ファイル(%s)を保存できませんでした(%e)。";

std::string with_text(const char* format, std::string_view text) {
    std::string s(format);
    if (auto at = s.find("%s"); at != std::string::npos) s.replace(at, 2, text);
    return s;
}

std::string with_number(const char* format, int value) {
    std::string s(format);
    if (auto at = s.find("%d"); at != std::string::npos) s.replace(at, 2, std::to_string(value));
    return s;
}

std::string with_cause(const char* format, std::string_view text, int error) {
    std::string s = with_text(format, text);
    if (auto at = s.find("%e"); at != std::string::npos) s.replace(at, 2, std::strerror(error));
    return s;
}

bool is_no_space(int error) { return error == ENOSPC || error == EFBIG || error == EDQUOT; }

FailReason save_failure_reason(int error) {
    if (is_no_space(error)) return FailReason::no_space;
    if (error == EEXIST) return FailReason::output_exists;
    return FailReason::cannot_save;
}

std::string save_failure_message(int error, const std::filesystem::path& target) {
    const std::string name = target.string();
    if (is_no_space(error)) return with_text(MSG_NO_SPACE, name);
    if (error == EACCES || error == EPERM) return with_text(MSG_NO_WRITE_PERMISSION, name);
    if (error == EROFS) return with_text(MSG_READ_ONLY_FS, name);
    if (error == ENAMETOOLONG) return with_text(MSG_OUTPUT_NAME_TOO_LONG, name);
    if (error == EEXIST) return with_text(MSG_OUTPUT_EXISTS, name);
    if (error == 0) return with_text(MSG_SAVE, name);
    return with_cause(MSG_SAVE_CAUSE, name, error);
}

// Why the package reader refused: `refusal` is its text, set for a damaged or hostile
// package unless `reason` names another cause.
FailReason read_failure_reason(int rc, const std::string& refusal, FailReason reason) {
    if (reason != FailReason::none) return reason;
    if (rc == RC_NOMEM) return FailReason::out_of_memory;
    if (rc == SIZE_LIMIT_EXCEEDED) return FailReason::too_large;
    if (rc == UNSUPPORTED_OBJECTS) return FailReason::unsupported_table;
    return refusal.empty() ? FailReason::internal_error : FailReason::damaged;
}

// A footer that cannot be read: the file cannot be opened, or is too short to be a workbook.
FailReason footer_read_reason(int rc) { return rc == RC_OPEN ? FailReason::cannot_open : FailReason::damaged; }

// The authentication file's check value, taken once for the run; false when the file
// cannot be digested.
bool key_file_check(const std::string& key_file, std::string& check) {
    if (key_file.empty()) return false;
    std::error_code ec;
    // A folder opens for reading on this system but has no content to digest.
    if (!std::filesystem::is_regular_file(key_file, ec)) return false;
    return key_file_check_value(key_file, check);
}

// Why the package could not be read into memory, as the package reader says it.
int extraction_status(int rc) { return rc == RC_SIZE_LIMIT || rc == RC_NOMEM ? rc : RC_FAIL; }

}  // namespace

// The column list: its items are column letters ("B", "$B", "B7") or header texts. An
// item of ASCII characters that reads as a column is a letter; "h:" before an item makes
// it a header text whatever it looks like.
bool parse_columns(const std::string& target_column, FileContext& ctx) {
    ctx.target_column_count = 0;
    ctx.target_headers.clear();
    if (target_column.empty()) return true;
    // The limit counts the stored (CP932) form; a header text without one counts as UTF-8.
    std::string sjis;
    const std::size_t size = utf8_to_cp932(target_column, sjis) ? sjis.size() : target_column.size();
    if (size > TARGET_COLUMN_MAX) return false;
    std::size_t offset = 0;
    std::string item;
    while (split_next_item(ENC_UTF8, target_column, offset, item) == RC_OK) {
        const bool forced = item.starts_with("h:") || item.starts_with("H:");
        const std::string letters = header_key(item);  // "A, B" reads as A and B
        const bool ascii = std::all_of(item.begin(), item.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
        int row = 0, column = 0;
        if (!forced && ascii && parse_cell_ref(letters + "1", row, column) == RC_OK) {  // B becomes B1
            if (ctx.target_column_count >= static_cast<int>(TARGET_COLUMNS_MAX)) return false;
            ctx.target_column_numbers[ctx.target_column_count++] = column;
            continue;
        }
        std::string header = header_key(forced ? std::string_view(item).substr(2) : std::string_view(item));
        if (header.empty()) return false;
        ctx.target_headers.push_back(std::move(header));
    }
    return true;
}

FailReason open_failure_reason(int error) {
    return error == ENOENT || error == ENOTDIR ? FailReason::not_found : FailReason::cannot_open;
}

std::string open_failure_message(int error, const std::filesystem::path& path) {
    const std::string name = path.string();
    switch (error) {
        case ENOENT: case ENOTDIR: return with_text(MSG_NOT_FOUND, name);
        case EISDIR: return with_text(MSG_IS_FOLDER, name);
        case EINVAL: return with_text(MSG_NOT_A_FILE, name);
        case EACCES: case EPERM: return with_text(MSG_NO_READ_PERMISSION, name);
        case ENAMETOOLONG: return with_text(MSG_NAME_TOO_LONG, name);
        case EWOULDBLOCK: return with_text(MSG_BUSY, name);
        default: return with_cause(MSG_OPEN_CAUSE, name, error);
    }
}

std::uint64_t default_memory_budget() {
    constexpr std::uint64_t CAP = std::uint64_t{1} << 30;
    const long pages = ::sysconf(_SC_PHYS_PAGES), page = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || page <= 0) return CAP;
    return std::min(CAP, static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page) / 8);
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
    const std::string path_text = input.string();
    auto fail = [&](FailReason why, std::string text) {
        ctx.failure = why;
        reporter.error(text);
        return RC_FAIL;
    };
    auto save_failed = [&](int error, const std::filesystem::path& target) {
        return fail(save_failure_reason(error), save_failure_message(error, target));
    };

    // Password and hints enter stored bytes as CP932; refuse before touching anything.
    MaskSettings stored;
    std::string message;
    if (!stored_settings(settings, stored, message)) return fail(FailReason::invalid_settings, message);

    // The input stays open and locked for the run; what the system says about it is
    // what the user reads.
    InputFile in;
    if (int error = in.open(input); error != 0)
        return fail(open_failure_reason(error), open_failure_message(error, input));

    // Every step reads the package from that one open file: its type, its footer (the
    // zip comment) and its entries, whose directory is read and checked once here. The
    // registry holds the package for the run; every step that unpacks keeps to one budget.
    const std::uint64_t budget = options.max_memory ? options.max_memory : default_memory_budget();
    MfileRegistry reg;
    reg.max_package_bytes = budget;
    OpenPackage package;
    int rc = package.open(in.fd(), input, reg);
    const int type = package.file_type();
    if (rc == RC_OPEN) return fail(FailReason::cannot_open, with_text(MSG_OPEN, path_text));
    if (rc != RC_OK) return fail(FailReason::cannot_open, with_number(MSG_FILE_TYPE, rc));
    if (type == TYPE_XLSX_LOCKED) return fail(FailReason::read_password, with_text(MSG_READ_PASSWORD, path_text));
    if (type == TYPE_XLS) return fail(FailReason::old_xls, with_text(MSG_OLD_XLS, path_text));
    if (type != TYPE_XLSX && type != TYPE_XLSM) return fail(FailReason::unsupported_file, with_text(MSG_UNSUPPORTED, path_text));

    std::string key_check;  // digested once, for the footer check and the footer written
    if (settings.is_file_hash && !key_file_check(settings.key_file, key_check))
        return fail(FailReason::key_file_unreadable, with_text(MSG_KEY_FILE, settings.key_file));
    const std::string* key = settings.is_file_hash ? &key_check : nullptr;

    ctx = FileContext{};
    if (!parse_columns(settings.target_column, ctx))
        return fail(FailReason::invalid_columns, with_text(MSG_COLUMNS, settings.target_column));
    if (settings.header_row < 1 || settings.header_row > 1048576)
        return fail(FailReason::invalid_columns, with_number(MSG_HEADER_ROW, settings.header_row));
    ctx.header_row = settings.header_row - 1;
    ctx.keep_header = settings.is_keep_header;

    std::string block;  // the file's last bytes, where a footer stands
    if (rc = package.last_bytes(FOOTER_SIZE, block); rc != RC_OK)
        return fail(footer_read_reason(rc), with_number(MSG_CHECK_FOOTER, rc));
    if (options.only_direction != DIRECTION_ANY) {
        const bool present = parse_footer(std::span(reinterpret_cast<const std::uint8_t*>(block.data()), block.size())).has_value();
        if (options.only_direction == DIRECTION_MASK && present)
            return fail(FailReason::already_masked, with_text(MSG_ALREADY_MASKED, path_text));
        if (options.only_direction == DIRECTION_UNMASK && !present)
            return fail(FailReason::not_masked, with_text(MSG_NOT_MASKED, path_text));
    }

    int present = FOOTER_ABSENT;
    rc = hsc_check_footer_block(block, stored, key, present, reporter, &ctx.failure);
    if (rc == RC_REFUSED) return RC_REFUSED;
    if (rc != RC_OK) return fail(footer_read_reason(rc), with_number(MSG_CHECK_FOOTER, rc));
    ctx.process_direction = present == FOOTER_PRESENT ? DIRECTION_UNMASK : DIRECTION_MASK;

    // A masked workbook that lost its footer still holds the only copy of the original
    // text; masking it again would overwrite that copy.
    if (ctx.process_direction == DIRECTION_MASK) {
        const auto backups = backup_entries(package.entry_names());
        if (!backups.empty()) return fail(FailReason::footer_missing, with_text(MSG_FOOTER_LOST, backups.front()) + "(" + path_text + ")");
    }

    // The package, unpacked once for every step that follows; a refusal is reported
    // where the transform would have met it.
    std::vector<std::string> entries;
    int read_rc = RC_OK;
    try {
        // Restoring reads a few parts; the others are checked and copied as they are stored.
        read_rc = package.extract(reg, entries, nullptr,
                                  ctx.process_direction == DIRECTION_UNMASK ? read_when_restoring : nullptr);
    } catch (const std::bad_alloc&) {
        read_rc = RC_NOMEM;
    }

    // The backups must decipher to what they recorded before they replace the masked
    // text: a footer without a check value lets any password through to here. Each is
    // deciphered once, here; the restore takes the plain text as it is.
    if (ctx.process_direction == DIRECTION_UNMASK && read_rc == RC_OK &&
        decipher_backups(reg, backup_entries(entries), stored.password) == RC_REFUSED) {
        ctx.failure = FailReason::wrong_password;
        reporter.error(MSG_BACKUP_PASSWORD);
        return RC_REFUSED;
    }

    // Masking keeps every length: a masked part of another length was edited afterwards,
    // and its backup would silently drop those edits.
    if (ctx.process_direction == DIRECTION_UNMASK && !options.force && read_rc == RC_OK) {
        const std::vector<std::string> changed =
            parts_changed_since_masking(reg, package.entry_names(), package.entry_sizes());
        if (!changed.empty()) {
            std::string parts;
            for (const std::string& name : changed) parts += (parts.empty() ? "" : ", ") + printable(name);
            if (!reporter.ask_yes_no(with_text(MSG_CHANGED_ASK, parts)))
                return fail(FailReason::changed_since_masking, with_text(MSG_CHANGED, parts) + "(" + path_text + ")");
        }
    }

    // Where the output goes, settled before the work: an existing file that is not the
    // input is replaced only when the user says so.
    std::filesystem::path target = output_path_for(input, ctx.process_direction, settings.is_overwrite);
    bool replace = settings.is_overwrite;
    if (settings.is_overwrite) {
        // Replacing a symbolic link would leave the workbook it names unchanged.
        std::error_code ec;
        if (std::filesystem::is_symlink(input, ec)) {
            auto real = std::filesystem::canonical(input, ec);
            if (!ec) target = real;
        }
        // The other names of a hard-linked file would keep the old content.
        if (in.links() > 1 && !options.force) return fail(FailReason::hard_link, with_text(MSG_HARD_LINK, path_text));
    } else {
        std::error_code ec;
        const auto status = std::filesystem::symlink_status(target, ec);
        // A name the system cannot look at (too long) fails at the commit with its cause.
        if (!ec && status.type() != std::filesystem::file_type::not_found) {
            if (identity_of(target) == in.identity()) return fail(FailReason::output_is_input, with_text(MSG_OUTPUT_IS_INPUT, target.string()));
            if (!options.force && !reporter.ask_yes_no(with_text(MSG_ASK_REPLACE, target.string())))
                return fail(FailReason::output_exists, with_text(MSG_OUTPUT_EXISTS, target.string()));
            replace = true;
        }
    }

    MaskReport report;
    rc = read_rc == RC_OK ? transform_package(reg, entries, stored, ctx, &report) : extraction_status(read_rc);
    drop_deciphered(reg);
    if (rc != RC_OK) {
        // Why a damaged or hostile package was refused, when the reader could say.
        const std::string refusal = reg.refusal;
        const FailReason why = read_failure_reason(rc, refusal, reg.refusal_reason);
        mfree_all(reg);
        if (rc == RC_NOMEM) return fail(why, MSG_READ_NOMEM);
        if (rc == SIZE_LIMIT_EXCEEDED && !refusal.empty())
            return fail(why, std::string(MSG_SIZE) + refusal + "(" + path_text + ")");
        if (rc == SIZE_LIMIT_EXCEEDED) return fail(why, MSG_SIZE);
        if (!refusal.empty()) return fail(why, refusal + "(" + path_text + ")");
        if (rc == UNSUPPORTED_OBJECTS) return fail(why, MSG_OBJECTS);
        return fail(why, with_number(MSG_READ, rc));
    }

    // The output is composed in a private temporary file beside its target and takes
    // the target's place only when complete.
    AtomicFile out(options.named_temp ? TempKind::named : TempKind::unnamed_if_possible);
    if (int error = out.open(target); error != 0) {
        mfree_all(reg);
        return save_failed(error, target);
    }
    std::filesystem::path named;
    rc = hsc_write_excel(reg, input, named, ctx.process_direction, settings.is_overwrite, out.fd());
    const int write_error = reg.os_error;
    mfree_all(reg);
    if (rc == RC_OK && options.fault) rc = options.fault(WriteStep::composed);
    if (rc != RC_OK && write_error != 0) return save_failed(write_error, target);
    if (rc == RC_NOMEM) return fail(FailReason::out_of_memory, MSG_WRITE_NOMEM);
    if (rc != RC_OK) return fail(FailReason::cannot_save, with_number(MSG_WRITE, rc));

    if (ctx.process_direction == DIRECTION_MASK) {
        errno = 0;
        rc = hsc_write_footer(out.temp_path(), stored, key);
        const int footer_error = errno;
        if (rc == RC_OK && options.fault) rc = options.fault(WriteStep::footer_written);
        if (rc != RC_OK && is_no_space(footer_error)) return save_failed(footer_error, target);
        if (rc != RC_OK) return fail(FailReason::cannot_save, with_number(MSG_FOOTER, rc));
    }

    // A replaced workbook keeps its mode, owner, group and extended attributes; a new
    // one takes the input's permission bits, so a private workbook stays private.
    int error = settings.is_overwrite ? out.sync(in.mode(), in.fd()) : out.sync(in.mode() & 0777);
    if (error != 0) return save_failed(error, target);
    if (options.fault && (rc = options.fault(WriteStep::synced)) != RC_OK)
        return fail(FailReason::cannot_save, with_text(MSG_SAVE, target.string()));
    // A version saved by someone else while we worked is never replaced.
    if (settings.is_overwrite && !in.unchanged(target)) return fail(FailReason::changed_during_run, with_text(MSG_CHANGED_DURING_RUN, path_text));
    if (error = out.commit(replace); error != 0) return save_failed(error, target);
    output = target;
    ctx.report = std::move(report);
    return RC_OK;
}

}  // namespace hsc
