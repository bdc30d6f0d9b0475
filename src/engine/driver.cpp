#include "engine/driver.h"

#include <cstdio>
#include <string>
#include <system_error>

#include "core/cp932.h"
#include "core/status.h"
#include "engine/text_routines.h"
#include "engine/backup_check.h"
#include "engine/read_excel.h"
#include "package/atomic_file.h"
#include "package/file_type.h"
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
constexpr const char* MSG_NOT_MASKED = "マスクされたファイルではありません。復元は行いません(%s)。";

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

bool key_file_readable(const std::string& key_file) {
    if (key_file.empty()) return false;
    std::error_code ec;
    // A folder opens for reading on this system but has no content to digest.
    if (!std::filesystem::is_regular_file(key_file, ec)) return false;
    std::uint8_t digest[64];
    return sha512_file(std::filesystem::path(key_file), digest) == RC_OK;
}

// The column list: items of the CP932 text, each read as a column letter.
bool parse_columns(const std::string& target_column, FileContext& ctx) {
    ctx.target_column_count = 0;
    if (target_column.empty()) return true;
    std::string sjis;
    if (!utf8_to_cp932(target_column, sjis) || sjis.size() > TARGET_COLUMN_MAX) return false;
    std::size_t offset = 0;
    std::string item;
    while (split_next_item(ENC_SJIS, sjis, offset, item) == RC_OK) {
        item += "1";  // B becomes the cell reference B1
        int row = 0, column = 0;
        if (parse_cell_ref(item, row, column) != RC_OK) return false;
        if (ctx.target_column_count >= static_cast<int>(TARGET_COLUMNS_MAX)) return false;
        ctx.target_column_numbers[ctx.target_column_count++] = column;
    }
    return true;
}

}  // namespace

int hsc_process_file(const std::filesystem::path& input, std::filesystem::path& output,
                     const MaskSettings& settings, FileContext& ctx, Reporter& reporter) {
    return hsc_process_file(input, output, settings, ctx, reporter, ProcessOptions{});
}

int hsc_process_file(const std::filesystem::path& input, std::filesystem::path& output,
                     const MaskSettings& settings, FileContext& ctx, Reporter& reporter,
                     const ProcessOptions& options) {
    output.clear();
    const std::string path_text = input.string();
    auto fail = [&](std::string text) {
        reporter.error(text);
        return RC_FAIL;
    };

    // Password and hints enter stored bytes as CP932; refuse before touching anything.
    MaskSettings stored;
    std::string message;
    if (!stored_settings(settings, stored, message)) return fail(message);

    int type = TYPE_UNKNOWN;
    int rc = tiv_file_type(input, type);
    if (rc == RC_OPEN) return fail(with_text(MSG_OPEN, path_text));
    if (rc != RC_OK) return fail(with_number(MSG_FILE_TYPE, rc));
    if (type == TYPE_XLSX_LOCKED) return fail(with_text(MSG_READ_PASSWORD, path_text));
    if (type != TYPE_XLSX && type != TYPE_XLSM) return fail(with_text(MSG_UNSUPPORTED, path_text));

    if (settings.is_file_hash && !key_file_readable(settings.key_file))
        return fail(with_text(MSG_KEY_FILE, settings.key_file));

    ctx = FileContext{};
    if (!parse_columns(settings.target_column, ctx)) return fail(with_text(MSG_COLUMNS, settings.target_column));

    if (options.only_direction != DIRECTION_ANY) {
        FooterInfo info;
        if (rc = hsc_read_footer(input, info); rc != RC_OK) return fail(with_number(MSG_CHECK_FOOTER, rc));
        if (options.only_direction == DIRECTION_MASK && info.present)
            return fail(with_text(MSG_ALREADY_MASKED, path_text));
        if (options.only_direction == DIRECTION_UNMASK && !info.present)
            return fail(with_text(MSG_NOT_MASKED, path_text));
    }

    int present = FOOTER_ABSENT;
    rc = hsc_check_footer(input, stored, present, reporter);
    if (rc == RC_REFUSED) return RC_REFUSED;
    if (rc != RC_OK) return fail(with_number(MSG_CHECK_FOOTER, rc));
    ctx.process_direction = present == FOOTER_PRESENT ? DIRECTION_UNMASK : DIRECTION_MASK;

    // The backups must decipher to what they recorded before they replace the masked
    // text: a footer without a check value lets any password through to here.
    if (ctx.process_direction == DIRECTION_UNMASK &&
        verify_backup_password(input, stored.password) == RC_REFUSED) {
        reporter.error(MSG_BACKUP_PASSWORD);
        return RC_REFUSED;
    }

    // A masked workbook that lost its footer still holds the only copy of the original
    // text; masking it again would overwrite that copy.
    if (ctx.process_direction == DIRECTION_MASK) {
        std::vector<std::string> names;
        if (list_package_entries(input, names) == RC_OK) {
            auto backups = backup_entries(names);
            if (!backups.empty()) return fail(with_text(MSG_FOOTER_LOST, backups.front()) + "(" + path_text + ")");
        }
    }

    MfileRegistry reg;  // the package of this file only; released on every path
    MaskReport report;
    rc = hsc_read_excel(reg, input, stored, ctx, &report);
    if (rc != RC_OK) {
        // Why a damaged or hostile package was refused, when the reader could say.
        const std::string refusal = reg.refusal;
        mfree_all(reg);
        if (rc == RC_NOMEM) return fail(MSG_READ_NOMEM);
        if (rc == SIZE_LIMIT_EXCEEDED) return fail(MSG_SIZE);
        if (rc == UNSUPPORTED_OBJECTS) return fail(MSG_OBJECTS);
        if (!refusal.empty()) return fail(refusal + "(" + path_text + ")");
        return fail(with_number(MSG_READ, rc));
    }

    // The output is composed beside its target and replaces it only when complete.
    std::filesystem::path target = output_path_for(input, ctx.process_direction, settings.is_overwrite);
    if (settings.is_overwrite) {
        // Replacing a symbolic link would leave the workbook it names unchanged.
        std::error_code ec;
        if (std::filesystem::is_symlink(input, ec)) {
            auto real = std::filesystem::canonical(input, ec);
            if (!ec) target = real;
        }
    }
    AtomicFile out;
    if (rc = out.open(target); rc != RC_OK) {
        mfree_all(reg);
        return fail(with_text(MSG_SAVE, target.string()));
    }
    std::filesystem::path named;
    rc = hsc_write_excel(reg, input, named, ctx.process_direction, settings.is_overwrite, out.temp_path());
    mfree_all(reg);
    if (rc == RC_OK && options.fault) rc = options.fault(WriteStep::composed);
    if (rc == RC_NOMEM) return fail(MSG_WRITE_NOMEM);
    if (rc != RC_OK) return fail(with_number(MSG_WRITE, rc));

    if (ctx.process_direction == DIRECTION_MASK) {
        rc = hsc_write_footer(out.temp_path(), stored);
        if (rc == RC_OK && options.fault) rc = options.fault(WriteStep::footer_written);
        if (rc != RC_OK) return fail(with_number(MSG_FOOTER, rc));
    }

    rc = out.sync();
    if (rc == RC_OK && options.fault) rc = options.fault(WriteStep::synced);
    if (rc == RC_OK) rc = out.commit();
    if (rc != RC_OK) return fail(with_text(MSG_SAVE, target.string()));
    output = target;
    ctx.report = std::move(report);
    return RC_OK;
}

}  // namespace hsc
