#include "core/catalog.h"

#include <array>
#include <cstdlib>

namespace hsc {
namespace {

constexpr std::array TEXTS{
    MessageText{Msg::open_output, "open-output", "%sを出力しました。内容を確認しますか？",
                "%s has been written. Open it to check its content?"},
    MessageText{Msg::close_spreadsheet, "close-spreadsheet",
                "自動再暗号化のためにExcelを終了させてください。\n処理を中断しますか？",
                "Please close Excel so the workbook can be encrypted again automatically.\n"
                "Stop processing?"},
    MessageText{Msg::recrypt, "recrypt", "自動再暗号化", "Automatic re-encryption"},
    MessageText{Msg::save_settings, "save-settings", "設定を保存しますか？", "Save the settings?"},
    MessageText{Msg::unreadable_setting, "unreadable-setting",
                "設定ファイルの %s の値を読み取れませんでした。この項目は空として扱います。",
                "The value of %s in the settings file could not be read. It is taken as empty."},
    MessageText{Msg::known_password_status, "known-password-status",
                "既定のパスワードを使用中です(Hushcel があれば誰でも復元できます)",
                "Using the built-in password (anyone with Hushcel can restore)"},
    MessageText{Msg::ask_known_password, "ask-known-password",
                "ファイル認証モードでも、バックアップはパスワードで暗号化されます。既定のパスワードのままでは、"
                "Hushcel を持っている人なら誰でもブックを復元できます。このままマスクしますか？",
                "In authentication file mode too, the backup is encrypted with the password. With the "
                "built-in password, anyone who has Hushcel can restore the workbook. Mask anyway?"},
    MessageText{Msg::save_settings_failed, "save-settings-failed", "設定を保存できませんでした(rc=%s)。",
                "The settings could not be saved (rc=%s)."},
    MessageText{Msg::drop_hint, "drop-hint", "ここにブックをドロップしてください", "Drop workbooks here"},
    MessageText{Msg::path_too_long, "path-too-long", "ファイルパスが長すぎます。", "The file path is too long."},
    MessageText{Msg::password_hint_too_long, "password-hint-too-long", "パスワードヒントが長すぎます。",
                "The password hint is too long."},
    MessageText{Msg::keyfile_hint_too_long, "keyfile-hint-too-long", "認証ファイルヒントが長すぎます。",
                "The authentication file hint is too long."},
    // -- the pipeline --
    MessageText{Msg::open_error, "open-error",
                "ファイルオープンエラーです(%s)。ファイルを開いている場合は閉じてください。",
                "The file %s could not be opened. If another program has it open, close it there."},
    MessageText{Msg::file_type_error, "file-type-error",
                "内部処理エラーです(tiv_file_type() rc=%d)でエラーが発生しました。",
                "Internal error: the file type could not be read (tiv_file_type() rc=%d)."},
    MessageText{Msg::read_password, "read-password",
                "読み取りパスワードが設定されているファイルはサポート対象外です。(%s)",
                "Workbooks with a password to open are not supported (%s). Remove the password first."},
    MessageText{Msg::unsupported_file, "unsupported-file", "サポート対象外のファイルです(%s)。",
                "%s is not a supported file. Only xlsx and xlsm workbooks can be processed."},
    MessageText{Msg::old_xls, "old-xls",
                "古い形式(.xls)のブックです(%s)。表計算ソフトで .xlsx 形式で保存してから処理してください。",
                "%s is a workbook in the old .xls format. Save it as .xlsx in your spreadsheet program first."},
    MessageText{Msg::not_found, "not-found", "ファイル(%s)が見つかりません。", "The file %s was not found."},
    MessageText{Msg::is_folder, "is-folder", "(%s)はフォルダです。ブックのファイルを指定してください。",
                "%s is a folder. Give the file of a workbook."},
    MessageText{Msg::not_a_file, "not-a-file",
                "(%s)は通常のファイルではありません。ブックのファイルを指定してください。",
                "%s is not a regular file. Give the file of a workbook."},
    MessageText{Msg::no_read_permission, "no-read-permission", "ファイル(%s)を読み取る権限がありません。",
                "You have no permission to read the file %s."},
    MessageText{Msg::name_too_long, "name-too-long", "ファイル名が長すぎます(%s)。", "The file name is too long (%s)."},
    MessageText{Msg::busy, "busy",
                "ファイル(%s)は別のプログラムが書き込み中です。終わってからもう一度処理してください。",
                "Another program is writing the file %s. Try again when it has finished."},
    MessageText{Msg::open_cause, "open-cause", "ファイル(%s)を開けませんでした(%e)。",
                "The file %s could not be opened (%e)."},
    MessageText{Msg::key_file_unreadable, "key-file-unreadable",
                "認証ファイル(%s)を読み込む事が出来ませんでした。処理を中断します。",
                "The authentication file %s could not be read. Processing stopped."},
    MessageText{Msg::invalid_columns, "invalid-columns", "マスク列(%s)の指定内容が不正です。",
                "The mask columns (%s) are not valid. Give column letters or header texts separated by commas."},
    MessageText{Msg::invalid_header_row, "invalid-header-row",
                "見出し行(%d)の指定が不正です。1 から 1048576 の行番号を指定してください。",
                "The header row (%d) is not valid. Give a row number from 1 to 1048576."},
    MessageText{Msg::setting_password, "setting-password", "パスワード", "password"},
    MessageText{Msg::setting_password_hint, "setting-password-hint", "パスワードのヒント", "password hint"},
    MessageText{Msg::setting_keyfile_hint, "setting-keyfile-hint", "認証ファイルのヒント",
                "authentication file hint"},
    MessageText{Msg::setting_not_cp932, "setting-not-cp932",
                "%sに使用できない文字が含まれています(Shift-JISで表せる文字のみ使用できます)。",
                "The %s contains characters that cannot be used (only characters Shift-JIS can represent)."},
    MessageText{Msg::setting_too_long, "setting-too-long",
                "%sが長すぎます(Shift-JISで%dバイトまで、現在%dバイト)。",
                "The %s is too long (at most %d bytes in Shift-JIS, now %d bytes)."},
    MessageText{Msg::check_footer_error, "check-footer-error",
                "内部処理エラーです(hsc_check_footer() rc=%d)。処理を中断します。",
                "Internal error: the footer could not be checked (hsc_check_footer() rc=%d). Processing stopped."},
    MessageText{Msg::key_file_required, "key-file-required",
                "ファイル認証モードで暗号化されています。処理を中断します。",
                "The workbook was masked with an authentication file. Choose that file to restore it. "
                "Processing stopped."},
    MessageText{Msg::wrong_key_file, "wrong-key-file", "認証ファイルが一致しませんでした。処理を中断します。",
                "The authentication file does not match. Processing stopped."},
    MessageText{Msg::wrong_key_file_hint, "wrong-key-file-hint",
                "認証ファイルが一致しませんでした。ヒントは\"%s\"です。",
                "The authentication file does not match. The hint is \"%s\"."},
    MessageText{Msg::wrong_password, "wrong-password", "パスワードが一致しませんでした。処理を中断します。",
                "The password does not match. Processing stopped."},
    MessageText{Msg::wrong_password_hint, "wrong-password-hint",
                "パスワードが一致しませんでした。ヒントは\"%s\"です。",
                "The password does not match. The hint is \"%s\"."},
    MessageText{Msg::backup_password, "backup-password",
                "パスワードが一致しないか、バックアップが破損しています(バックアップを復号できません)。処理を中断します。",
                "The password does not match, or the backup is damaged (the backup cannot be deciphered). "
                "Processing stopped."},
    MessageText{Msg::already_masked, "already-masked", "マスク済みのファイルです。マスクは行いません(%s)。",
                "%s is already masked. It was not masked again."},
    MessageText{Msg::not_masked, "not-masked", "マスクされたファイルではありません。復元は行いません(%s)。",
                "%s is not a masked workbook. Nothing was restored."},
    MessageText{Msg::changed_ask, "changed-ask",
                "マスク後にブックが変更されています(%s)。復元すると、マスク後の変更は失われます。復元しますか？",
                "The workbook was changed after masking (%s). Restoring loses those changes. Restore anyway?"},
    MessageText{Msg::changed_since_masking, "changed-since-masking",
                "マスク後にブックが変更されています(%s)。復元するとその変更が失われるため、復元を中断しました。"
                "ファイルは変更していません。",
                "The workbook was changed after masking (%s). Restoring would lose those changes, so it was "
                "stopped. The file is unchanged."},
    MessageText{Msg::footer_lost, "footer-lost",
                "マスク済みのバックアップ(%s)がありますが、フッターがありません。再マスクすると元のテキストが失われるため、"
                "処理を中断します。",
                "The workbook holds a masked backup (%s) but no footer. Masking it again would lose the original "
                "text, so processing stopped."},
    MessageText{Msg::hard_link, "hard-link",
                "ファイル(%s)には別の名前(ハードリンク)があります。上書きしても別の名前には元の内容が残るため、"
                "処理を中断します。",
                "The file %s has other names (hard links) that would keep the original content after "
                "overwriting, so processing stopped."},
    MessageText{Msg::out_of_memory, "out-of-memory", "メモリ不足です。処理を中断します。",
                "Out of memory. Processing stopped."},
    MessageText{Msg::too_large, "too-large", "処理可能なサイズを超えました。処理を中断します。",
                "The workbook is larger than can be processed. Processing stopped."},
    MessageText{Msg::unsupported_objects, "unsupported-objects",
                "未対応のオブジェクト(テーブル書式設定等)が含まれています。処理を中断します。",
                "The workbook holds objects that cannot be processed (such as tables). Processing stopped."},
    MessageText{Msg::read_error, "read-error", "内部処理エラーです(hsc_read_excel() rc=%d)。処理を中断します。",
                "Internal error: the workbook could not be read (hsc_read_excel() rc=%d). Processing stopped."},
    MessageText{Msg::in_file, "in-file", "%s(%s)", "%s (%s)"},
    MessageText{Msg::then, "then", "%s%s", "%s %s"},
    MessageText{Msg::not_a_zip, "not-a-zip",
                "zip形式のファイルとして読み取れません。ファイルが破損している可能性があります。",
                "The file cannot be read as a zip archive. It may be damaged."},
    MessageText{Msg::encrypted_entry, "encrypted-entry", "暗号化されたエントリ(%s)が含まれているため処理できません。",
                "The package holds an encrypted entry (%s) and cannot be processed."},
    MessageText{Msg::unsupported_method, "unsupported-method",
                "対応していない圧縮形式のエントリ(%s)が含まれているため処理できません。",
                "The package holds an entry (%s) compressed in a way that is not supported, and cannot be "
                "processed."},
    MessageText{Msg::duplicate_entry, "duplicate-entry", "同じ名前のエントリ(%s)が複数含まれているため処理できません。",
                "The package holds more than one entry named %s and cannot be processed."},
    MessageText{Msg::bad_entry_name, "bad-entry-name", "不正な名前のエントリ(%s)が含まれているため処理できません。",
                "The package holds an entry with an invalid name (%s) and cannot be processed."},
    MessageText{Msg::unsafe_entry_path, "unsafe-entry-path",
                "展開先フォルダの外を指すエントリ(%s)が含まれているため処理できません。",
                "The package holds an entry (%s) that points outside the folder it is extracted to, and cannot "
                "be processed."},
    MessageText{Msg::entry_checksum, "entry-checksum", "エントリ(%s)のチェックサムが一致しません。ファイルが破損しています。",
                "The checksum of entry %s does not match. The file is damaged."},
    MessageText{Msg::entry_damaged, "entry-damaged",
                "エントリ(%s)が破損しています。ファイルが破損しているか、途中で切れています。",
                "Entry %s is damaged. The file is damaged or cut short."},
    MessageText{Msg::too_many_entries, "too-many-entries", "エントリの数が上限(%d)を超えています。",
                "The package holds more entries than the limit (%d)."},
    MessageText{Msg::entry_too_large, "entry-too-large", "エントリ(%s)の展開後のサイズが上限を超えています。",
                "Entry %s is larger than the limit once inflated."},
    MessageText{Msg::larger_than_declared, "larger-than-declared",
                "エントリ(%s)が記録されたサイズより大きく展開されます。ファイルが破損しています。",
                "Entry %s inflates to more than its recorded size. The file is damaged."},
    MessageText{Msg::entry_name_too_long, "entry-name-too-long", "エントリ名が長すぎます(%d)。",
                "An entry name is too long (%d bytes)."},
    MessageText{Msg::over_memory_budget, "over-memory-budget",
                "展開に必要なメモリが使用できるメモリの上限を超えるため処理できません(必要/上限: %s/%s)。",
                "Unpacking needs more memory than may be used, so the workbook cannot be processed "
                "(needed/limit: %s/%s)."},
    MessageText{Msg::overlapping_entries, "overlapping-entries",
                "エントリ(%s)のデータが別のエントリのデータと重なっています。ファイルが破損しているか、細工されています。",
                "The data of entry %s overlaps the data of another entry. The file is damaged or crafted."},
    MessageText{Msg::damaged_backup, "damaged-backup",
                "バックアップ(%s)が破損しているか、別のパスワードでマスクされています。元のテキストを復元できないため、"
                "処理を中断します。",
                "The backup (%s) is damaged or was masked with another password. The original text cannot be "
                "restored, so processing stopped."},
    MessageText{Msg::table_in_sheet, "table-in-sheet",
                "シート「%s」にテーブル(%s)が含まれているため処理できません。表計算ソフトでテーブルを範囲に変換してから"
                "処理してください。",
                "Sheet \"%s\" holds a table (%s), which cannot be processed. Convert the table to a range in your "
                "spreadsheet program first."},
    MessageText{Msg::table_without_sheet, "table-without-sheet",
                "テーブル(%s)が含まれているため処理できません。表計算ソフトでテーブルを範囲に変換してから処理してください。",
                "The workbook holds a table (%s), which cannot be processed. Convert the table to a range in your "
                "spreadsheet program first."},
    MessageText{Msg::table_header_masked, "table-header-masked",
                "シート「%s」のテーブル「%s」(%s)の見出しまたは集計行と同じ文字列がマスクするセルにもあるため、マスクすると"
                "テーブルが壊れます。マスク列を見直してください。処理を中断します。",
                "In sheet \"%s\", table \"%s\" (%s) has a header or totals text that cells to be masked hold too; "
                "masking would break the table. Check the mask columns. Processing stopped."},
    MessageText{Msg::header_not_found, "header-not-found", "マスク列の見出し「%s」が、どのシートの%d行目にもありません。",
                "No sheet has the mask column header \"%s\" in row %d."},
    MessageText{Msg::leak_unreadable, "leak-unreadable", "ワークブックとして読み込めませんでした(%s)。",
                "%s could not be read as a workbook."},
    MessageText{Msg::leak_not_masked, "leak-not-masked",
                "マスクされたファイルではないため、マスクした文字列の残りは調べられません(%s)。",
                "%s is not a masked workbook, so it cannot be checked for traces of masked text."},
    MessageText{Msg::leak_no_decipher, "leak-no-decipher",
                "バックアップを復号できません(パスワードが一致しないか、バックアップが破損しています)。"
                "マスクした文字列の残りは調べられません(%s)。",
                "The backup cannot be deciphered (the password does not match, or the backup is damaged), so %s "
                "cannot be checked for traces of masked text."},
    MessageText{Msg::write_error, "write-error", "内部処理エラーです(hsc_write_excel() rc=%d)。処理を中断します。",
                "Internal error: the workbook could not be packed (hsc_write_excel() rc=%d). Processing stopped."},
    MessageText{Msg::footer_write_error, "footer-write-error",
                "内部処理エラーです(hsc_write_footer() rc=%d)。処理を中断します。",
                "Internal error: the footer could not be written (hsc_write_footer() rc=%d). Processing stopped."},
    MessageText{Msg::save_failed, "save-failed", "出力ファイル(%s)を保存できませんでした。処理を中断します。",
                "The output file %s could not be saved. Processing stopped."},
    MessageText{Msg::ask_replace, "ask-replace", "出力ファイル(%s)は既に存在します。置き換えますか？",
                "The output file %s already exists. Replace it?"},
    MessageText{Msg::output_exists, "output-exists", "出力ファイル(%s)が既に存在するため、保存しませんでした。",
                "The output file %s already exists, so nothing was saved."},
    MessageText{Msg::output_is_input, "output-is-input",
                "出力ファイル(%s)が入力ファイルそのものを指しているため、保存しませんでした。",
                "The output file %s is the input file itself, so nothing was saved."},
    MessageText{Msg::changed_during_run, "changed-during-run",
                "処理中にファイル(%s)が変更されました。変更を失わないよう結果は保存しませんでした。もう一度処理してください。",
                "The file %s was changed while it was processed. The result was not saved so that the change is "
                "not lost. Process it again."},
    MessageText{Msg::no_space, "no-space", "ディスクの空き容量が足りないため、出力ファイル(%s)を保存できませんでした。",
                "The disk is full, so the output file %s could not be saved."},
    MessageText{Msg::no_write_permission, "no-write-permission",
                "フォルダに書き込む権限がないため、出力ファイル(%s)を保存できませんでした。",
                "You have no permission to write in the folder, so the output file %s could not be saved."},
    MessageText{Msg::read_only_fs, "read-only-fs", "読み取り専用の場所のため、出力ファイル(%s)を保存できませんでした。",
                "The place is read-only, so the output file %s could not be saved."},
    MessageText{Msg::output_name_too_long, "output-name-too-long", "出力ファイル名が長すぎます(%s)。",
                "The output file name is too long (%s)."},
    MessageText{Msg::save_cause, "save-cause", "出力ファイル(%s)を保存できませんでした(%e)。",
                "The output file %s could not be saved (%e)."},

    // -- the command line and the shell --

};

constexpr bool in_key_order() {
    for (std::size_t i = 0; i < TEXTS.size(); ++i)
        if (TEXTS[i].key != static_cast<Msg>(i)) return false;
    return TEXTS.size() == static_cast<std::size_t>(Msg::count_);
}
static_assert(in_key_order(), "one row per key, in the order of Msg");

bool set(const char* value) { return value != nullptr && *value != '\0'; }

}  // namespace

Lang lang_from_locale(const char* lc_all, const char* lc_messages, const char* lang) {
    for (const char* value : {lc_all, lc_messages, lang})
        if (set(value)) return std::string_view(value).starts_with("ja") ? Lang::ja : Lang::en;
    return Lang::en;
}

Lang lang_from_environment() {
    return lang_from_locale(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"));
}

std::optional<Lang> parse_lang(std::string_view name) {
    if (name == "ja") return Lang::ja;
    if (name == "en") return Lang::en;
    return std::nullopt;
}

std::string_view lang_name(Lang lang) { return lang == Lang::ja ? "ja" : "en"; }

std::span<const MessageText> message_texts() { return TEXTS; }

std::string_view message_template(Lang lang, Msg key) {
    const MessageText& row = TEXTS.at(static_cast<std::size_t>(key));
    return lang == Lang::ja ? row.ja : row.en;
}

std::string fill(std::string_view templ, std::initializer_list<std::string_view> args) {
    std::string out;
    out.reserve(templ.size());
    auto next = args.begin();
    for (std::size_t i = 0; i < templ.size(); ++i) {
        const bool filler = templ[i] == '%' && i + 1 < templ.size() &&
                            (templ[i + 1] == 's' || templ[i + 1] == 'd' || templ[i + 1] == 'e');
        if (filler && next != args.end()) {
            out += *next++;
            ++i;
        } else {
            out += templ[i];
        }
    }
    return out;
}

std::string say(Lang lang, Msg key, std::initializer_list<std::string_view> args) {
    return fill(message_template(lang, key), args);
}

}  // namespace hsc
