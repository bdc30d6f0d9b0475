#include "core/catalog.h"

#include <array>
#include <cstdlib>

#include "os/system.h"

namespace hsc {
namespace {

// Sized by the message list (a deduced std::array of this many rows is past what some
// compilers deduce).
constexpr std::array<MessageText, static_cast<std::size_t>(Msg::count_)> TEXTS{
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
    MessageText{Msg::ask_overwrite_opened, "ask-overwrite-opened",
                "上書き更新が選ばれています。次のブックを、マスク済みなら復元し、それ以外はマスクして、元のファイルを置き換えますか？\n%s",
                "Overwrite is chosen. Replace these workbooks with their masked form (or, for masked ones, "
                "their restored form)?\n%s"},
    MessageText{Msg::confirm_known_password, "confirm-known-password",
                "既定のパスワードは Hushcel のどのコピーにも入っています。このパスワードでマスクしたブックは、"
                "Hushcel を持っている人なら誰でも元に戻せます。今回のブックを既定のパスワードでマスクしますか？",
                "The built-in password is in every copy of Hushcel: anyone who has Hushcel can restore a workbook "
                "masked with it. Mask the workbooks of this drop with the built-in password?"},
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
    MessageText{Msg::key_file_too_short, "key-file-too-short",
                "認証ファイル(%s)は%sバイトしかありません。短いファイルは推測されやすいため、%sバイト以上のファイルを指定してください。",
                "The authentication file %s holds only %s bytes. A short file is easy to guess, so give one of at "
                "least %s bytes."},
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
    MessageText{Msg::wrong_password_or_key_file, "wrong-password-or-key-file",
                "パスワードまたは認証ファイルが一致しませんでした(鍵は両方から作られ、どちらが違うかはブックに記録されていません)。"
                "処理を中断します。",
                "The password or the authentication file does not match (the key is made from both, and the workbook "
                "does not record which one is wrong). Processing stopped."},
    MessageText{Msg::wrong_password_or_key_file_hint, "wrong-password-or-key-file-hint",
                "パスワードまたは認証ファイルが一致しませんでした(鍵は両方から作られ、どちらが違うかはブックに記録されていません)。"
                "ヒントは\"%s\"です。",
                "The password or the authentication file does not match (the key is made from both, and the workbook "
                "does not record which one is wrong). The hint is \"%s\"."},
    MessageText{Msg::backup_password, "backup-password",
                "パスワードが一致しないか、バックアップが破損しています(バックアップを復号できません)。処理を中断します。",
                "The password does not match, or the backup is damaged (the backup cannot be deciphered). "
                "Processing stopped."},
    MessageText{Msg::backup_tampered, "backup-tampered",
                "バックアップ(%s)は認証に失敗しました。パスワードは正しいので、マスク後にバックアップが変更・切り詰め・入れ替えされています(破損または改ざん)。何も書き込まずに処理を中断します。",
                "The backup %s fails its authentication. The password is right, so the backup was changed, cut "
                "short or swapped after masking (damaged or tampered with). Nothing was written; processing stopped."},
    MessageText{Msg::footer_damaged, "footer-damaged",
                "ブックのフッター(%s)が破損しているため、鍵を導出できません。何も書き込まずに処理を中断します。",
                "The footer of the workbook is damaged (%s): the key cannot be derived. Nothing was written; "
                "processing stopped."},
    MessageText{Msg::key_derivation_failed, "key-derivation-failed",
                "パスワードから鍵を導出できませんでした(メモリが%d MiB必要です)。処理を中断します。",
                "The key could not be derived from the password (it needs %d MiB of memory). Processing stopped."},
    MessageText{Msg::compat_weakness, "compat-weakness",
                "互換形式でマスクします。この形式ではバックアップがパスワードの先頭16バイトだけを鍵とするAES-128(ECBモード、ソルトも鍵導出もなし)で暗号化され、フッターにはパスワードのソルトなしSHA-512が記録されます。ブックを受け取った人は1秒間に数十億のパスワードを試せます。この形式しか読めない相手に渡す場合だけ使ってください。",
                "Masking in the compatible format. Its backups are enciphered with AES-128 in ECB mode "
                "under only the first 16 bytes of the password (no salt, no key derivation), and the footer "
                "records an unsalted SHA-512 of the password: whoever receives the workbook can try billions of "
                "passwords per second. Use it only for readers that know no other format."},
    MessageText{Msg::compat_password_limit, "compat-password-limit",
                "%s互換形式のパスワードはShift-JISで31バイトまでです(既定の強い形式には長さの制限はありません)。",
                "%s The compatible format takes passwords of at most 31 bytes in Shift-JIS (the default, "
                "strong format takes any length)."},
    MessageText{Msg::already_masked, "already-masked", "マスク済みのファイルです。マスクは行いません(%s)。",
                "%s is already masked. It was not masked again."},
    MessageText{Msg::not_masked, "not-masked", "マスクされたファイルではありません。復元は行いません(%s)。",
                "%s is not a masked workbook. Nothing was restored."},
    MessageText{Msg::changed_ask, "changed-ask",
                "マスク後にブックが変更されています(%s)。文字列ごとに復元し、変更された文字列はそのまま残します"
                "(元が確かでないセルはマスクのままです)。復元しますか？",
                "The workbook was changed after masking (%s). It is restored string by string: what was changed "
                "stays as it is, and cells whose original is not certain stay masked. Restore?"},
    MessageText{Msg::changed_since_masking, "changed-since-masking",
                "マスク後にブックが変更されています(%s)。そのまま復元すると変更と食い違うため、復元を中断しました。"
                "ファイルは変更していません(--force で文字列ごとに復元します)。",
                "The workbook was changed after masking (%s). Its backup no longer fits it, so it was not restored. "
                "The file is unchanged (--force restores it string by string)."},
    MessageText{Msg::footer_lost, "footer-lost",
                "マスク済みのバックアップ(%s)がありますが、フッターがありません。再マスクすると元のテキストが失われるため、"
                "処理を中断します。",
                "The workbook holds a masked backup (%s) but no footer. Masking it again would lose the original "
                "text, so processing stopped."},
    MessageText{Msg::merge_still_masked, "merge-still-masked",
                "(%s)はまだバックアップを持つマスク済みのブックです。--from を付けずに復元してください。",
                "%s still holds its backups. Restore it without --from."},
    MessageText{Msg::looks_masked_ask, "looks-masked-ask",
                "(%s)はマスクされたブックに見えますが、バックアップがありません(%s)。表計算ソフトで保存したときに失われています。"
                "もう一度マスクすると、マスク文字が元の文字列として保存されます。それでもマスクしますか？",
                "%s looks masked (%s) but carries no backups: a spreadsheet program dropped them when it saved the "
                "workbook. Masking it again would keep the mask characters as its original text. Mask it anyway?"},
    MessageText{Msg::backups_lost_mask, "backups-lost-mask",
                "(%s)はマスクされたブックに見えますが、バックアップがありません(%s)。表計算ソフトで保存したときに失われています。"
                "もう一度マスクはしません。元に戻すには、手元に残したマスク済みのブック(または元のブック)から復元してください: "
                "hushcel restore --from 残したブック.xlsx %s(それでもマスクするには --force)。",
                "%s looks masked (%s) but carries no backups: a spreadsheet program dropped them when it saved the "
                "workbook. It was not masked again. To give the originals back, restore it from the masked copy you "
                "kept (or the original): hushcel restore --from KEPT.xlsx %s (--force masks it anyway)."},
    MessageText{Msg::backups_lost_restore, "backups-lost-restore",
                "(%s)にはバックアップがありません。表計算ソフトで保存したときに失われました(マスクされたままです: %s)。"
                "このファイルだけでは復元できません。手元に残したマスク済みのブック(または元のブック)から復元してください: "
                "hushcel restore --from 残したブック.xlsx %s",
                "%s has lost its backups: a spreadsheet program dropped them when it saved the workbook (it still "
                "looks masked: %s). It cannot be restored from itself. Restore it from the masked copy you kept (or "
                "the original): hushcel restore --from KEPT.xlsx %s"},
    MessageText{Msg::look_name, "look-name", "名前が●で始まる", "its name begins with ●"},
    MessageText{Msg::look_reservation, "look-reservation", "Hushcelの書き込み予約", "the write reservation of Hushcel"},
    MessageText{Msg::look_columns, "look-columns", "マスク文字だけの列: %s", "columns of mask characters only: %s"},
    MessageText{Msg::look_cells, "look-cells", "マスク文字だけのセル %s 個", "%s cells of mask characters only"},
    MessageText{Msg::look_separator, "look-separator", "、", "; "},
    MessageText{Msg::no_backup_restore, "no-backup-restore",
                "(%s)はバックアップなしでマスクした送付用のコピーです。このファイルだけでは復元できません。"
                "手元に残したマスク済みのブック(または元のブック)から復元してください: hushcel restore --from 残したブック.xlsx %s",
                "%s is a copy to send out, masked without backups: it cannot be restored from itself. Restore it "
                "from the masked copy you kept (or the original): hushcel restore --from KEPT.xlsx %s"},
    MessageText{Msg::no_backup_source, "no-backup-source",
                "(%s)はバックアップなしでマスクした送付用のコピーで、元の文字列を持っていません。--from にはバックアップ付きの"
                "マスク済みのブックか元のブックを指定してください。",
                "%s is a copy to send out, masked without backups: it holds no original text. Give --from the "
                "masked copy with backups that you kept, or the original."},
    MessageText{Msg::looks_masked_source, "looks-masked-source",
                "(%s)はマスクされたブックに見えますが(%s)、バックアップがありません。元の文字列を持たないので --from には"
                "使えません。--from には、マスクしたときに手元に残したブック(表計算ソフトで保存し直していないもの)か、元のブックを"
                "指定してください。",
                "%s looks masked (%s) but carries no backups: it holds no original text and cannot be the source. Give "
                "--from the masked copy that Hushcel wrote and you kept (not one a spreadsheet program saved again), or "
                "the original workbook."},
    MessageText{Msg::inspect_no_backup, "inspect-no-backup",
                "バックアップなし(送付用のコピー): このファイルからは復元できません。手元に残したブックか元のブックを --from に指定して復元します",
                "no backup (a copy to send out): it cannot be restored from itself; restore it with --from the copy you "
                "kept or the original"},
    MessageText{Msg::no_backup_overwrite, "no-backup-overwrite",
                "送付用のコピー(バックアップなし)は上書き更新と一緒には作れません。元のブックが失われます。",
                "A copy to send out (without backups) is never written over its input: the original would be lost."},
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
                "処理に必要なメモリが使用できるメモリの上限を超えるため処理できません(必要/上限: %s/%s)。"
                "--max-memory を %s 以上にすると処理できます。",
                "Processing needs more memory than may be used, so the workbook cannot be processed "
                "(needed/limit: %s/%s). Raise --max-memory to at least %s."},
    MessageText{Msg::overlapping_entries, "overlapping-entries",
                "エントリ(%s)のデータが別のエントリのデータと重なっています。ファイルが破損しているか、細工されています。",
                "The data of entry %s overlaps the data of another entry. The file is damaged or crafted."},
    MessageText{Msg::too_short, "too-short",
                "ファイルが短すぎるため(%dバイト)、ブックとして読み取れません。ファイルが破損しているか、途中で切れています。",
                "The file is too short to be a workbook (%d bytes). It is damaged or cut short."},
    MessageText{Msg::damaged_advice, "damaged-advice",
                "ファイルをもう一度入手するか、表計算ソフトで開いて保存し直してから処理してください。",
                "Ask for the file again, or open it in your spreadsheet program and save it again, then process "
                "it once more."},
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
    MessageText{Msg::input_read_only, "input-read-only",
                "ファイル(%s)は読み取り専用のため、上書きしませんでした。",
                "The file %s is read-only, so it was not overwritten."},
    MessageText{Msg::input_not_writable, "input-not-writable",
                "ファイル(%s)に書き込む権限がないため、上書きしませんでした。",
                "You have no permission to write the file %s, so it was not overwritten."},
    MessageText{Msg::input_immutable, "input-immutable",
                "ファイル(%s)は変更できない設定(immutable)のため、上書きしませんでした。",
                "The file %s is marked unchangeable (immutable), so it was not overwritten."},
    MessageText{Msg::file_size_limit, "file-size-limit",
                "ファイルサイズの上限(ulimit -f)を超えるため、出力ファイル(%s)を保存できませんでした。",
                "The output file %s would pass the file size limit (ulimit -f), so it could not be saved."},
    MessageText{Msg::output_not_replaceable, "output-not-replaceable",
                "出力ファイル(%s)は置き換えが許可されていないため、保存できませんでした(変更できない設定のファイル、または共有フォルダにある他のユーザーのファイル)。",
                "Replacing the output file %s is not permitted (a file marked unchangeable, or another user's file "
                "in a shared folder), so it could not be saved."},
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
    MessageText{Msg::cli_masked, "cli-masked", "%s: マスクしました -> %s",
                "%s: masked -> %s"},
    MessageText{Msg::cli_masked_counts, "cli-masked-counts", "%s: マスクしました -> %s(%s)",
                "%s: masked -> %s (%s)"},
    MessageText{Msg::cli_restored, "cli-restored", "%s: 復元しました -> %s",
                "%s: restored -> %s"},
    MessageText{Msg::cli_would_mask, "cli-would-mask", "%s: マスクできます(%s)。--dry-run のため何も書き込んでいません",
                "%s: would be masked (%s); nothing written (--dry-run)"},
    MessageText{Msg::cli_would_restore, "cli-would-restore", "%s: 復元できます。--dry-run のため何も書き込んでいません",
                "%s: would be restored; nothing written (--dry-run)"},
    MessageText{Msg::cli_merged, "cli-merged", "%s: 編集されたブックに元のテキストを戻しました -> %s (%s)",
                "%s: originals put back into the edited workbook -> %s (%s)"},
    MessageText{Msg::cli_warning, "cli-warning", "%s: 警告: %s",
                "%s: warning: %s"},
    MessageText{Msg::cli_not_processed, "cli-not-processed", "処理できませんでした(rc=%d)。",
                "The workbook could not be processed (rc=%d)."},
    MessageText{Msg::usage_hint, "usage-hint", "'hushcel --help' で使い方を表示します。",
                "Run 'hushcel --help' to see how to use it."},
    MessageText{Msg::option_needs_value, "option-needs-value", "%s には値が必要です。",
                "%s needs a value."},
    MessageText{Msg::option_takes_no_value, "option-takes-no-value", "%s は値をとりません。",
                "%s takes no value."},
    MessageText{Msg::option_choice, "option-choice", "%s には %s を指定してください: %s",
                "%s takes %s: %s"},
    MessageText{Msg::option_max_memory, "option-max-memory", "--max-memory にはバイト数を指定してください(例: 512M、2G): %s",
                "--max-memory takes a number of bytes (e.g. 512M, 2G): %s"},
    MessageText{Msg::option_jobs, "option-jobs", "-j には 1 から 64 の数を指定してください: %s",
                "-j takes a number from 1 to 64: %s"},
    MessageText{Msg::option_header_row, "option-header-row", "--header-row には 1 から 1048576 の行番号を指定してください: %s",
                "--header-row takes a row number from 1 to 1048576: %s"},
    MessageText{Msg::option_key_file_empty, "option-key-file-empty", "--key-file に認証ファイルを指定してください。",
                "--key-file needs the name of an authentication file."},
    MessageText{Msg::option_password, "option-password", "パスワードはコマンドラインでは受け付けません(--password-file、--ask-password、環境変数 HUSHCEL_PASSWORD のいずれかを使ってください)。",
                "A password is not taken on the command line (use --password-file, --ask-password or the environment variable HUSHCEL_PASSWORD)."},
    MessageText{Msg::option_unknown, "option-unknown", "不明なオプションです: %s",
                "Unknown option: %s"},
    MessageText{Msg::option_needs_inspect, "option-needs-inspect", "%s は inspect と一緒に指定してください。",
                "%s works only with inspect."},
    MessageText{Msg::option_leaks_and_suggest, "option-leaks-and-suggest", "--leaks と --suggest は別々に指定してください。",
                "Give --leaks and --suggest in separate runs."},
    MessageText{Msg::option_from_needs_restore, "option-from-needs-restore",
                "--from は restore と一緒に指定してください。",
                "--from goes with restore: hushcel restore --from KEPT RETURNED."},
    MessageText{Msg::option_no_backup_needs_mask, "option-no-backup-needs-mask",
                "--no-backup はマスクするときだけ使えます(mask または自動)。",
                "--no-backup is for masking only (mask, or the automatic mode)."},
    MessageText{Msg::option_output_one_file, "option-output-one-file",
                "-o は 1 つのファイルの出力先です。複数のファイルには --output-dir を使ってください。",
                "-o names the output of one file; for several files use --output-dir DIR."},
    MessageText{Msg::option_output_conflict, "option-output-conflict", "%s と %s は一緒に指定できません。",
                "%s and %s cannot be given together."},
    MessageText{Msg::option_original_name_needs_restore, "option-original-name-needs-restore",
                "--original-name は restore と一緒に指定してください。",
                "--original-name goes with restore: hushcel restore --original-name FILE."},
    MessageText{Msg::option_output_not_for_inspect, "option-output-not-for-inspect",
                "inspect は何も書き込まないため、%s は指定できません。",
                "inspect writes nothing: %s does not go with it."},
    MessageText{Msg::output_dir_missing, "output-dir-missing", "出力フォルダ(%s)がありません。",
                "The output folder (%s) does not exist."},
    MessageText{Msg::no_files, "no-files", "ファイルが指定されていません。",
                "No file is given. Name the workbooks to process."},
    MessageText{Msg::same_file_twice, "same-file-twice", "同じファイルが2回指定されています: %s",
                "The same file is named twice: %s"},
    MessageText{Msg::output_named_as_input, "output-named-as-input", "出力ファイル名(%s)が入力ファイルとして指定されています。同じ実行で一方の出力が他方を置き換えてしまいます。",
                "The output name (%s) is also named as an input. In one run the output of one would replace the other: process them in separate runs."},
    MessageText{Msg::mixed_batch, "mixed-batch", "マスク済みのブックとマスクされていないブックが混在しています。mask か restore を指定してください。",
                "Masked and unmasked workbooks are mixed. Give mask or restore."},
    MessageText{Msg::known_password_refused, "known-password-refused", "パスワードが指定されていないか、既定のパスワードです。このままマスクすると、Hushcel を持っている人なら誰でもブックを復元できます%s。--password-file、--ask-password、HUSHCEL_PASSWORD のいずれかでパスワードを指定してください(承知の上で使う場合は --allow-default-password)。",
                "No password is given, or it is the built-in one. Masked so, anyone who has Hushcel can restore the workbook%s. Give a password with --password-file, --ask-password or HUSHCEL_PASSWORD (or, knowing this, --allow-default-password)."},
    MessageText{Msg::known_password_file_mode, "known-password-file-mode", "(ファイル認証モードでもバックアップはパスワードで暗号化されます)",
                " (in authentication file mode too, the backup is encrypted with the password)"},
    MessageText{Msg::invalid_column_list, "invalid-column-list", "マスク列(%s)の指定内容が不正です。列は英字の列名か見出しの文字列をコンマで区切って指定してください(例: B,D,AA、氏名,電話番号,E)。",
                "The mask columns (%s) are invalid. Give column letters or header texts separated by commas (e.g. B,D,AA or Name,Phone,E)."},
    MessageText{Msg::settings_file_missing, "settings-file-missing", "設定ファイル(%s)が見つかりません。",
                "The settings file (%s) was not found."},
    MessageText{Msg::settings_file_unreadable, "settings-file-unreadable", "設定ファイル(%s)を読み込めませんでした(rc=%d)。",
                "The settings file (%s) could not be read (rc=%d)."},
    MessageText{Msg::password_stdin_unreadable, "password-stdin-unreadable", "パスワードを標準入力から読み込めませんでした。",
                "The password could not be read from standard input."},
    MessageText{Msg::password_file_unreadable, "password-file-unreadable", "パスワードファイル(%s)を読み込めませんでした。",
                "The password file (%s) could not be read."},
    MessageText{Msg::password_file_empty, "password-file-empty", "パスワードファイル(%s)の1行目が空です。",
                "The first line of the password file (%s) is empty."},
    MessageText{Msg::password_file_too_long, "password-file-too-long",
                "パスワードファイル(%s)の1行目が%sバイトを超えています。パスワードだけを1行目に書いてください。",
                "The first line of the password file (%s) is longer than %s bytes. Write only the password on the first line."},
    MessageText{Msg::password_no_terminal, "password-no-terminal", "パスワードを入力する端末がありません(--password-file を使ってください)。",
                "There is no terminal to type the password on (use --password-file)."},
    MessageText{Msg::password_prompt, "password-prompt", "パスワード: ",
                "Password: "},
    MessageText{Msg::password_prompt_again, "password-prompt-again", "パスワード(確認): ",
                "Password (again): "},
    MessageText{Msg::password_not_typed, "password-not-typed", "パスワードが入力されませんでした。",
                "No password was typed."},
    MessageText{Msg::password_confirm_differs, "password-confirm-differs", "確認のパスワードが一致しませんでした。",
                "The two passwords differ. Type the same password twice."},
    MessageText{Msg::password_empty, "password-empty", "パスワードが空です。",
                "The password is empty."},
    MessageText{Msg::counts, "counts", "共有文字列 %d件、図形の文字 %d件",
                "shared strings %d, shape texts %d"},
    MessageText{Msg::counts_values, "counts-values", "数値・日付 %d件、文字のセル %d件",
                "numbers and dates %d, text cells %d"},
    MessageText{Msg::warn_unmasked_values, "warn-unmasked-values", "マスク列の数値・日付・文字のセルのうち %d件が読める形で残っています。数字などのマスク文字が「なし」になっていないか確認してください(%s)。",
                "%d number, date or text cells of the mask columns are still readable. Check that the mask characters (digits and the like) are not \"none\" (%s)."},
    MessageText{Msg::report_heading, "report-heading", "列ごとの結果:",
                "Per column:"},
    MessageText{Msg::report_column, "report-column", "%s: マスク 文字 %d・数値 %d・日付 %d(うち数式の結果 %d)/ 残したもの: %s / 読める形: %s",
                "%s: masked texts %d, numbers %d, dates %d (formula results %d) / left: %s / readable: %s"},
    MessageText{Msg::column_left_header, "column-left-header", "見出し %d",
                "header %d"},
    MessageText{Msg::column_left_formulas, "column-left-formulas", "数式 %d",
                "formulas %d"},
    MessageText{Msg::column_left_booleans, "column-left-booleans", "真偽値 %d",
                "booleans %d"},
    MessageText{Msg::column_left_errors, "column-left-errors", "エラー値 %d",
                "errors %d"},
    MessageText{Msg::column_left_empty, "column-left-empty", "空 %d",
                "empty %d"},
    MessageText{Msg::column_left_numbers_kept, "column-left-numbers-kept", "数値・日付(設定で残す) %d",
                "numbers and dates kept by the settings %d"},
    MessageText{Msg::column_readable_unmasked, "column-readable-unmasked", "マスク文字「なし」で変わらない値 %d件",
                "%d values the mask characters leave as they are"},
    MessageText{Msg::column_readable_inline, "column-readable-inline", "マスクできなかったセル内の文字列 %d件",
                "%d in-cell texts that could not be masked"},
    MessageText{Msg::column_readable_elsewhere, "column-readable-elsewhere", "マスクした値がほかの場所にあります(%s)",
                "masked values found elsewhere (%s)"},
    MessageText{Msg::column_nothing, "column-nothing", "なし",
                "none"},
    MessageText{Msg::warn_column_readable, "warn-column-readable", "マスク列 %s が読める形で残っています: %s。",
                "Mask column %s is still readable: %s."},
    MessageText{Msg::counts_with_cells, "counts-with-cells", "共有文字列 %d件、セル %d件、図形の文字 %d件",
                "shared strings %d, cells %d, shape texts %d"},
    MessageText{Msg::outcome_masked, "outcome-masked", "%s をマスクしました → %s",
                "%s masked → %s"},
    MessageText{Msg::outcome_masked_counts, "outcome-masked-counts", "%s をマスクしました → %s(%s)",
                "%s masked → %s (%s)"},
    MessageText{Msg::outcome_restored, "outcome-restored", "%s を復元しました → %s",
                "%s restored → %s"},
    MessageText{Msg::outcome_failed, "outcome-failed", "%s は処理できませんでした",
                "%s could not be processed"},
    MessageText{Msg::outcome_cancelled, "outcome-cancelled", "%s は中止しました(何も書き込んでいません)",
                "%s: stopped (nothing was written)"},
    MessageText{Msg::warn_nothing_masked, "warn-nothing-masked", "マスクしたものがありません。マスク列の指定を確認してください(空の列は対象になりません。数値と日付は列を指定したとき、または --numbers のときだけ対象です)。",
                "Nothing was masked. Check the mask columns (empty columns are not masked; numbers and dates only with a column list, or with --numbers)."},
    MessageText{Msg::warn_unmasked_strings, "warn-unmasked-strings", "マスク列の文字列のうち %d件をマスクできませんでした。読める形で残っています。",
                "%d texts of the mask columns could not be masked. They are still readable."},
    MessageText{Msg::warn_unmasked_inline, "warn-unmasked-inline", "マスク列のセル内の文字列のうち %d件をマスクできませんでした。読める形で残っています。",
                "%d in-cell texts of the mask columns could not be masked. They are still readable."},
    MessageText{Msg::warn_header_not_found, "warn-header-not-found", "マスク列の見出し「%s」がないシートがあります。そのシートではこの見出しの列をマスクしていません(%s)。",
                "Some worksheets have no header \"%s\" of the mask columns. There no column was masked for it (%s)."},
    MessageText{Msg::warn_header_masked, "warn-header-masked", "見出し行の文字列がマスクしたセルの値と同じため、見出しもマスクされて表示されます(%s)。",
                "A header text equals the value of a masked cell, so the header shows masked too (%s)."},
    MessageText{Msg::warn_left_readable, "warn-left-readable", "マスクした文字列が%sに読める形で残っています(%s)。",
                "A masked text is still readable in %s (%s)."},
    MessageText{Msg::merge_counts, "merge-counts",
                "戻したセル %s、マスクのまま %s、行が削除されたセル %s、相手が変更したセル %s",
                "cells given back %s, still masked %s, rows deleted %s, changed by the other side %s"},
    MessageText{Msg::warn_merge_ambiguous, "warn-merge-ambiguous",
                "元のテキストが一つに決まらないため、マスクのままのセルがあります: %s",
                "These cells stay masked because more than one original fits: %s"},
    MessageText{Msg::warn_merge_unmatched, "warn-merge-unmatched",
                "マスク済みのコピーに対応する行がないため、マスクのままのセルがあります: %s",
                "These cells stay masked because no row of the masked copy matches theirs: %s"},
    MessageText{Msg::warn_merge_row_deleted, "warn-merge-row-deleted",
                "行が削除されたため、元のテキストを戻せなかったマスク済みのセルがあります: %s",
                "These masked cells could not be given back because their row was deleted: %s"},
    MessageText{Msg::warn_merge_changed, "warn-merge-changed",
                "マスクしたセルを相手が変更しています(変更後の内容のままです): %s",
                "The other side changed these masked cells (their edits are kept): %s"},
    MessageText{Msg::place_shared_strings, "place-shared-strings", "マスクしていない別の文字列",
                "other texts that were not masked"},
    MessageText{Msg::place_inline_strings, "place-inline-strings", "マスク列以外のセル(セル内の文字列)",
                "cells outside the mask columns (in-cell texts)"},
    MessageText{Msg::place_formula_results, "place-formula-results", "数式セルの計算結果",
                "results of formula cells"},
    MessageText{Msg::place_formulas, "place-formulas", "数式の中の文字列",
                "texts inside formulas"},
    MessageText{Msg::place_comments, "place-comments", "コメント",
                "comments"},
    MessageText{Msg::place_vml, "place-vml", "コメントやフォームの図形",
                "shapes of comments or forms"},
    MessageText{Msg::place_shapes, "place-shapes", "図形やテキストボックスの文字",
                "the text of shapes or text boxes"},
    MessageText{Msg::place_charts, "place-charts", "グラフ(データの写しやタイトル)",
                "charts (copies of the data, titles)"},
    MessageText{Msg::place_pivot_cache, "place-pivot-cache", "ピボットテーブルのキャッシュ",
                "pivot table caches"},
    MessageText{Msg::place_pivot_table, "place-pivot-table", "ピボットテーブル",
                "pivot tables"},
    MessageText{Msg::place_doc_properties, "place-doc-properties", "ファイルのプロパティ(作成者、タイトル等)",
                "the file's properties (author, title and so on)"},
    MessageText{Msg::place_headers_footers, "place-headers-footers", "ヘッダーやフッター",
                "page headers or footers"},
    MessageText{Msg::place_defined_names, "place-defined-names", "名前の定義",
                "defined names"},
    MessageText{Msg::place_sheet_names, "place-sheet-names", "シート名",
                "sheet names"},
    MessageText{Msg::place_hyperlinks, "place-hyperlinks", "ハイパーリンク",
                "hyperlinks"},
    MessageText{Msg::place_data_validation, "place-data-validation", "入力規則",
                "data validation rules"},
    MessageText{Msg::place_filters, "place-filters", "フィルターの条件",
                "filter values"},
    MessageText{Msg::place_scenarios, "place-scenarios", "シナリオの入力値",
                "scenario input values"},
    MessageText{Msg::place_external_links, "place-external-links", "外部参照のキャッシュ",
                "caches of external references"},
    MessageText{Msg::place_custom_xml, "place-custom-xml", "カスタムXML",
                "custom XML"},
    MessageText{Msg::place_other, "place-other", "その他の部品",
                "other parts"},
    MessageText{Msg::suggest_none, "suggest-none", "個人情報らしい列はありません",
                "no column looks like personal data"},
    MessageText{Msg::suggest_columns, "suggest-columns", "マスク列の候補 %s",
                "suggested columns %s"},
    MessageText{Msg::suggest_sample, "suggest-sample", "(各シートのデータ行を最大 %d 行調べました)",
                " (at most %d data rows of each worksheet looked at)"},
    MessageText{Msg::suggest_sheet, "suggest-sheet", "シート「%s」(%s): ",
                "sheet \"%s\" (%s): "},
    MessageText{Msg::suggest_header_row, "suggest-header-row", "見出し行 %d",
                "header row %d"},
    MessageText{Msg::suggest_no_header_row, "suggest-no-header-row", "見出し行なし",
                "no header row"},
    MessageText{Msg::suggest_rows, "suggest-rows", "、%d 行",
                ", %d rows"},
    MessageText{Msg::suggest_rows_sampled, "suggest-rows-sampled", "、%d 行を読みました(続きあり)",
                ", %d rows read of more"},
    MessageText{Msg::suggest_nothing, "suggest-nothing", "。候補なし",
                "; nothing suggested"},
    MessageText{Msg::suggest_header_word, "suggest-header-word", "見出し語「%s」",
                "header word \"%s\""},
    MessageText{Msg::suggest_content, "suggest-content", "%s の値 %s(%d 件中)",
                "%s values %s of %d"},
    MessageText{Msg::suggest_reason_separator, "suggest-reason-separator", "、",
                "; "},
    MessageText{Msg::suggest_cannot_open, "suggest-cannot-open", "ファイルオープンエラーです(%s)。ファイルを開いている場合は閉じてください。",
                "The file (%s) could not be opened. If it is open in another program, close it."},
    MessageText{Msg::suggest_not_a_workbook, "suggest-not-a-workbook", "ワークブック(xlsx/xlsm)として読み取れないため、列を提案できません。",
                "The file cannot be read as a workbook (xlsx/xlsm), so no column can be suggested."},
    MessageText{Msg::suggest_damaged, "suggest-damaged", "ワークブックの一部が破損しているため、列を提案できません。",
                "Part of the workbook is damaged, so no column can be suggested."},
    MessageText{Msg::item_strong, "item-strong", "強",
                "Strong"},
    MessageText{Msg::item_medium, "item-medium", "中",
                "Medium"},
    MessageText{Msg::item_weak, "item-weak", "弱",
                "Weak"},
    MessageText{Msg::item_none, "item-none", "なし",
                "None"},
    MessageText{Msg::init_error, "init-error", "%s初期化エラー。処理を中断します。",
                "%sfailed at start-up. Processing is stopped."},
    // The prefixes of the output names are fillers: the same characters in every language.
    MessageText{Msg::cli_help, "cli-help",
                R"(hushcel - xlsx/xlsm ブックの指定した列の個人情報をマスクし、また復元します

使い方:
  hushcel [auto] FILE...      フッターのないブックはマスク、フッターのあるブックは復元
  hushcel mask FILE...        マスクだけ (マスク済みのブックは拒否)
  hushcel restore FILE...     復元だけ (マスクされていないブックは拒否)
  hushcel restore --from KEPT FILE...
                              他所で編集されバックアップを失ったブック FILE に、手元に残した
                              マスク済みのコピー (または元のブック) KEPT から元のテキストを
                              戻す。行と列の並べ替え、行の追加・削除、シート名の変更を追い、
                              元が一つに決まるセルだけを戻す (ほかはマスクのまま一覧にする)
  hushcel inspect FILE...     何も変えずに、種類、マスク状態、認証、ヒント、バックアップを表示
  hushcel inspect --suggest FILE...
                              何も変えずに、個人情報らしい列を提案 (見出しの語と、
                              各ワークシートの最初の 1000 データ行から判断)。
                              --write-profile FILE で提案をプロファイルに書く
  hushcel inspect --leaks FILE...
                              バックアップを復号し (パスワードは下記)、マスクした文字列が
                              マスク済みブックの別の場所に残っていないかを調べる

出力は入力と同じフォルダに "%sNAME" (マスク) または "%sNAME" (復元) として書かれ、
--overwrite では入力の上に書かれます。入力は完全なブックでしか置き換えられません。
  -o, --output FILE       1 つのファイルの出力を FILE に書く
  --output-dir DIR        出力を (同じ名前で) フォルダ DIR に書く
  --original-name         restore で、名前の前の "●" を除いた元の名前に書く
既存のファイルは --force なしには置き換えません。

オプション (それぞれ、この実行に限り設定ファイルの項目を上書き):
  --columns LIST          マスクする列。例: "B,D,AA" (空: ブックのすべての文字列)。
                          見出しの文字列も英字と混ぜて指定可: "氏名,電話番号,E" は各
                          ワークシートで見出しのセルにその文字列がある列を選ぶ (列名と
                          読める文字列は列名: 見出しなら "h:ID"、列名なら "col:ID")。
                          見出し行にもある列名 (SSN、DOB など) は、どちらか書くまで拒否。
                          シートごと: "顧客!B,C;注文!E" (";" で区切り、"!" の前がシート名。
                          シート名のない指定はほかのシートに効く。シート名のない指定が
                          なければ、名前のないシートはそのまま)。"!"、";"、"," を含む
                          シート名は単引用符で囲み、中の引用符は二重に: "'A!b'!C"
  --profile FILE          シートごとの列、見出し行、見出しを残すかをファイルから読む
                          (--columns、--header-row、--keep-header の代わり。書式は README)
  --header-row N          見出しの行 (既定 1)。見出しの文字列を指定したとき、その行は
                          読めるまま
  --keep-header           列を英字で指定したときも見出し行とその上の行を読めるままにする
  --text-only             マスク列の数値と日付はそのままにし、文字だけをマスクする
  --numbers               列の指定がないとき、すべての数値と日付もマスクする
  --dry-run               何も書き込まずに、マスクまたは復元の結果だけを表示する
  --report                マスク列ごとに、マスクしたセル (文字・数値・日付)、残したセルと
                          その理由 (見出し、数式、真偽値、エラー値、空)、読める形で残るものを
                          1 列 1 行で表示する (--json には常に含まれる)
  --strength strong|medium|weak
                          マスク強度 (強|中|弱)
  --kanji-mask ●|■|※|none   全角文字 (漢字など) のマスク文字
  --alpha-mask '*'|X|none     英字のマスク文字
  --digit-mask 9|0|none       数字のマスク文字
  --wchar-mask ×|¤|none       2 バイト文字 (アクセント付き、ギリシャ、キリル、ヘブライ、
                              アラビア文字など) のマスク文字。4 バイト文字 (絵文字、
                              まれな漢字) はその 2 文字になる
  --shapes                図形 (描画) の文字もマスク
  --overwrite             結果を入力の上に書く
  --no-record-password    パスワードの照合値を記録しない (復元はどのパスワードでも受け付ける)
  --compat                互換形式でマスクする (この形式しか読めない相手向け。パスワードは
                          Shift-JISで31バイトまで、総当たりに弱い。既定は強い形式)
  --no-backup             送付用のコピー: バックアップを入れずにマスクする (解読できるものを
                          何も含まない)。元のブックか通常のマスク済みブックを手元に残し、
                          戻ってきたら restore --from でそれから復元する。--overwrite とは併用不可
  --hint TEXT             パスワード (または認証ファイル) が違うときに表示するヒント
  --key-file FILE         パスワードの代わりに FILE の内容で認証
  --settings FILE         設定を FILE から読む (FILE は存在すること)
  --lang ja|en            表示の言語 (既定: LC_ALL、LC_MESSAGES、LANG の順に最初に設定
                          されているもの。ja で始まれば日本語、それ以外は英語)

安全:
  --force                 入力でない既存の "%sNAME"/"%sNAME" を置き換え、別名 (ハードリンク)
                          のある入力を上書きし、マスク後に変更されたマスク済みブックを
                          文字列ごとに復元する (相手が加えた・変えた文字列はそのまま残り、
                          マスクのままのセルは一覧にする。指定しないとそのようなブックは
                          拒否)。フッターもバックアップもないのにマスク済みに見えるブック
                          (表計算ソフトで保存されたもの) もマスクする
  --allow-default-password  組み込みの既定パスワードや空のパスワードでもマスクする
                          (Hushcel を持っている人なら誰でもブックを復元できてしまう)
  --max-memory SIZE       展開した部品が SIZE を超えるブックを拒否 (例: 512M、2G)。
                          -j の各処理で分け合う。既定: メモリの 1/8、最大 1G

パスワード (オプションでは受け付けない)、最初に当てはまるもの:
  --password-file FILE    FILE の 1 行目 ("-": 標準入力)
  --ask-password          端末でエコーなしに尋ねる (マスクでは 2 回)
  HUSHCEL_PASSWORD        環境変数
  設定ファイル

出力:
  --json                  ファイルごとに 1 つの JSON オブジェクトを標準出力に書く
                          (schema、kind、input、output、action、status、message。マスク後は
                          shared_strings、cells、shapes、complete と warnings: {kind, parts}
                          のリスト。--suggest では suggestion: ワークシートごとの列と理由)
  -q, --quiet             端末に進み具合の行を出さず、処理したファイルの行も出さない
                          (失敗と警告は標準エラーに出す)
  -j N                    N 個のファイルを同時に処理
  -h, --help              この説明
  --version               プログラムの名前と版

報告: マスクのたびに、ファイルの行にマスクした共有文字列、指定列の共有文字列のセル、
マスクした図形の文字の件数を示します。警告は標準エラーに続きます: 何もマスクされなかった、
またはマスクした文字列がブックの別の部品 (コメント、グラフ、ピボットキャッシュ、数式の
結果など) に読める形で残っている。部品の名前を示し、文字列そのものは表示しません。

終了コード: 0 すべて処理し、マスクは完全; 1 少なくとも 1 つが失敗; 2 使い方の誤り;
            3 失敗はパスワードまたは認証ファイルの拒否だけ;
            4 すべて処理したが警告あり: 何もマスクされなかった、見出しの文字列がない
              ワークシートがあった、残した見出しがマスクされて見える、マスクしたものが
              ブックの別の場所で読める (inspect --leaks で見つかった場合も)

例:
  hushcel --columns B,C --password-file pw.txt customers.xlsx
  hushcel --columns "氏名,電話番号,h:ID" --password-file pw.txt customers.xlsx
  echo "$PW" | hushcel restore --password-file - ●customers.xlsx
  hushcel mask --key-file ~/usb/hushcel.key --password-file pw.txt --hint "青いUSBメモリ" --overwrite reports/*.xlsx
  hushcel inspect --json ●customers.xlsx
  hushcel inspect --suggest customers.xlsx
  HUSHCEL_PASSWORD=secret hushcel -j 4 reports/*.xlsx
)",
                R"(hushcel - masks personal data in chosen columns of xlsx/xlsm workbooks, and restores it

Usage:
  hushcel [auto] FILE...      mask a workbook without a footer, restore one with a footer
  hushcel mask FILE...        mask only (a masked workbook is refused)
  hushcel restore FILE...     restore only (a workbook that is not masked is refused)
  hushcel restore --from KEPT FILE...
                              put the originals back into FILE, a masked workbook edited
                              elsewhere that lost its backups, from KEPT, the masked copy that
                              was kept (or the original). Rows may be sorted, inserted or
                              deleted, columns added, sheets renamed: a cell is given back
                              only when exactly one original fits; the others stay masked
                              and are listed
  hushcel inspect FILE...     change nothing; show type, masked state, authentication, hint, backups
  hushcel inspect --suggest FILE...
                              change nothing; suggest the columns that look like personal data
                              (by header words and by the first 1000 data rows of each worksheet);
                              --write-profile FILE writes the proposal as a profile
  hushcel inspect --leaks FILE...
                              also decipher the backups (password as below) and look for the
                              masked texts elsewhere in the masked workbook

The output goes beside the input as "%sNAME" (masked) or "%sNAME" (restored), or over the
input with --overwrite. The input is replaced only by a complete workbook.
  -o, --output FILE       write the output of one file to FILE
  --output-dir DIR        write the outputs (named as above) into the folder DIR
  --original-name         restore: write the original name, without the "●" in front
An existing file is never replaced without --force.

Options (each overrides one field of the settings file for this run):
  --columns LIST          columns to mask, e.g. "B,D,AA" (empty: every text of the workbook);
                          also header texts, mixed with letters: "Name,Phone,E" chooses in
                          each worksheet the columns whose header cell holds that text (a text
                          that reads as a column letter is the letter: "h:ID" for the header,
                          "col:ID" for the letter; a letter that the header row also holds,
                          such as SSN or DOB, is refused until one of them is written).
                          Per sheet: "Customers!B,C;Orders!E" (";" separates, the sheet name
                          stands before "!"; a part without one holds for the sheets not
                          named, and without such a part those sheets stay as they are).
                          A sheet name with "!", ";" or "," goes in single quotes, a quote
                          inside doubled: "'A!b'!C"
  --profile FILE          read the columns, header row and keep-header per sheet from FILE
                          (instead of --columns, --header-row, --keep-header; see README)
  --header-row N          the row of the header texts (default 1); with header texts in the
                          list it stays readable
  --keep-header           keep the header row and the rows above it readable also
                          when columns are letters
  --text-only             mask only the text of the mask columns; their numbers and dates stay
  --numbers               without a column list, mask every number and date as well
  --dry-run               show what masking or restoring would do; write nothing
  --report                print one line per mask column: the cells masked (texts, numbers,
                          dates), the cells left and why (header, formula, boolean, error,
                          empty) and what is still readable (always in --json)
  --strength strong|medium|weak
  --kanji-mask ●|■|※|none   mask character for double-byte characters
  --alpha-mask '*'|X|none     mask character for letters
  --digit-mask 9|0|none       mask character for digits
  --wchar-mask ×|¤|none       mask character for two-byte characters (accented, Greek,
                              Cyrillic, Hebrew, Arabic, ...); a four-byte character
                              (emoji, rare kanji) becomes two of them
  --shapes                also mask the text of shapes (drawings)
  --overwrite             write the result over the input
  --no-record-password    do not record the password check value (restore accepts any password)
  --compat                mask in the compatible format, for readers that know no other
                          (passwords of at most 31 bytes in Shift-JIS, cheap to guess);
                          the default is the strong format. Restoring reads both
  --no-backup             a copy to send out: mask without any backup (nothing in it to
                          decipher). Keep the original or a masked copy with backups, and
                          when it comes back restore it from that with restore --from.
                          Never with --overwrite
  --hint TEXT             hint shown when a wrong password (or authentication file) is used
  --key-file FILE         authenticate with the contents of FILE instead of a password
  --settings FILE         read the settings from FILE (it must exist)
  --lang ja|en            language of the messages (default: the first of LC_ALL,
                          LC_MESSAGES and LANG that is set; Japanese when it starts with
                          "ja", English otherwise)

Safety:
  --force                 replace an existing "%sNAME"/"%sNAME" that is not the input,
                          overwrite an input that has other names (hard links), and restore
                          a masked workbook that was changed after masking string by string
                          (what the other side added or changed stays, cells still masked
                          are listed; without it such a workbook is refused); mask a
                          workbook that looks masked but has neither footer nor backups
                          (saved by a spreadsheet program)
  --allow-default-password  mask even with the built-in default password or an empty one
                          (anyone with Hushcel could then restore the workbook)
  --max-memory SIZE       refuse a workbook whose unpacked parts exceed SIZE (e.g. 512M, 2G);
                          shared by the -j workers; default: 1/8 of the memory, at most 1G

Password (never a plain option), first that applies:
  --password-file FILE    first line of FILE ("-": standard input)
  --ask-password          ask on the terminal without echo (twice when masking)
  HUSHCEL_PASSWORD        environment variable
  the settings file

Output:
  --json                  one JSON object per file on standard output
                          (schema, kind, input, output, action, status, message; after a
                          masking also shared_strings, cells, shapes, complete and warnings:
                          a list of {kind, parts}; with --suggest also suggestion: the
                          columns per worksheet and why)
  -q, --quiet             no progress line on the terminal and no line per processed
                          file (failures and warnings still go to standard error)
  -j N                    process N files at once
  -h, --help              this text
  --version               the program's name and version

Report: after each masking, the line of the file counts the masked shared strings, the
shared-string cells of the chosen columns and the masked shape texts. Warnings follow on
standard error: nothing was masked, or a masked text is still readable in another part of
the workbook (comments, charts, pivot caches, formula results, ...), each named there; the
texts themselves are never printed.

Exit status: 0 all processed, masking complete; 1 at least one failed; 2 usage error;
             3 the only failures were refused passwords or authentication files;
             4 all processed, with warnings: nothing was masked, a header text was missing
               in some worksheets, a kept header shows masked, or something masked is
               still readable elsewhere in the workbook (also inspect --leaks finding any).

Examples:
  hushcel --columns B,C --password-file pw.txt customers.xlsx
  hushcel --columns "Name,Phone,h:ID" --password-file pw.txt customers.xlsx
  echo "$PW" | hushcel restore --password-file - ●customers.xlsx
  hushcel mask --key-file ~/usb/hushcel.key --password-file pw.txt --hint "the blue stick" --overwrite reports/*.xlsx
  hushcel inspect --json ●customers.xlsx
  hushcel inspect --suggest customers.xlsx
  HUSHCEL_PASSWORD=secret hushcel -j 4 reports/*.xlsx
)"},
    // The window's built-in help: lines joined by CR LF, with a CR LF after the last.
    MessageText{Msg::builtin_help, "builtin-help",
                "[はじめに]\r\n"
                "    Excelブックの選んだ列の文字列を、同じ長さのマスク文字に置き換える(マスクする)プログラムです。\r\n"
                "    元の文字列は暗号化してブックの中に残すので、同じパスワードで元に戻せます(復元)。\r\n"
                "    マスク後は縞模様のサムネイルと、書き込みパスワードが付いたブックとなります。\r\n"
                "    対象は拡張子が xlsx,xlsm (2007以降)で、読み取りパスワードが設定されていないブックです。\r\n"
                "\r\n"
                "[使用方法]\r\n"
                "    処理対象ブックをドラッグ＆ドロップするか、「ファイル」メニューの「開く」で選んでください(複数可)。\r\n"
                "    マスクの場合、元のフォルダに、先頭に「%s」が付いたブックが出力されます。\r\n"
                "    マスク解除の場合、元のフォルダに、先頭に「%s」が付いたブックが出力されます。\r\n"
                "    「上書き更新」をチェックすると、元のブックを更新します。\r\n"
                "\r\n"
                "[設定]\r\n"
                "    マスク列: 列記号(B,D)、見出しの名前(氏名,電話番号)、シートごと(顧客!B,C;注文!E)で指定します。空欄ならすべての文字列をマスクします。\r\n"
                "    見出し行: 見出しの名前を探す行です。「見出し行を残す」では、列記号で選んだときもその行を残します。\r\n"
                "    プロファイル: シートごとの列と見出し行を「ファイル」メニューから保存・読み込みします。「列を提案」はブックから候補を作ります。\r\n"
                "    マスク強度: 強はすべての文字、中は2文字に1文字、弱は3文字に1文字を置き換えます。中と弱では名前などが読めることがあります。\r\n"
                "    マスク文字: 漢字・かな、英字、数字、その他の文字の置き換え文字です。「なし」はその種類を残します。\r\n"
                "    選んだ列の数値と日付もマスクします。「数値と日付は残す」では文字列だけをマスクします。\r\n"
                "    「図形の文字をマスク」は図形やテキストボックスの文字もマスクします。\r\n"
                "    メモリ上限: 1つのブックに使うメモリの上限です。自動はメモリの8分の1(最大1GB)です。\r\n"
                "    「互換形式でマスク」は古い形式しか読めない相手に渡すときだけ使います(総当たりに弱い形式です)。\r\n"
                "    「送付用のコピー」はバックアップを入れずにマスクします。元のブックを手元に残してください。\r\n"
                "\r\n"
                "[認証]\r\n"
                "    パスワードの代わりに16バイト以上のファイルを鍵にする、ファイル認証モードもあります。\r\n"
                "    パスワードとファイル認証で個別に、「認証」メニューからヒントを付けることができます。\r\n"
                "    「パスワードを記録しない」では、パスワードの確認値とヒントをブックに記録しません。\r\n"
                "\r\n"
                "[自動再暗号化]\r\n"
                "    「上書き更新」と「自動再暗号化」をチェックしてマスク済みのブックを処理すると、復元したブックを表計算ソフトで開きます。\r\n"
                "    保存して表計算ソフトを終了すると、同じ設定でマスクし直します。保存しなかったブックは復元したままです。\r\n"
                "\r\n"
                "[注意事項]\r\n"
                "    マスク対象列と同じ文字列が、対象外のセルに存在する場合でもマスクされます。\r\n"
                "    書き込みパスワードは、パスワードの先頭に\"z\"を付けたものになります。\r\n"
                "    書き込みパスワードを入力してブックを上書きすると、元に戻すことができなくなります。\r\n"
                "    テーブルの見出し行と集計行はマスクされません。\r\n"
                "    「上書き更新」オプションは、元に戻る事が確認出来たブックで利用してください。\r\n",
                "[Introduction]\r\n"
                "    This program replaces the texts of chosen columns of Excel workbooks by mask characters of the same length (masking).\r\n"
                "    The original texts stay in the workbook, encrypted, so the same password gives them back (restoring).\r\n"
                "    A masked workbook has a striped thumbnail and a write password.\r\n"
                "    It takes workbooks named .xlsx or .xlsm (Excel 2007 and later) without a read password.\r\n"
                "\r\n"
                "[How to use]\r\n"
                "    Drag and drop the workbooks to process onto the window, or choose them with Open in the File menu (several at once are fine).\r\n"
                "    Masking writes a workbook whose name starts with \"%s\" into the same folder.\r\n"
                "    Unmasking writes a workbook whose name starts with \"%s\" into the same folder.\r\n"
                "    With \"Overwrite\" checked, the original workbook itself is updated.\r\n"
                "\r\n"
                "[Settings]\r\n"
                "    Columns to mask: letters (B,D), header names (Name,Phone) or per sheet (Customers!B,C;Orders!E). Empty masks every text.\r\n"
                "    Header row: the row where header names are looked up. \"Keep the header row\" keeps it also when columns are chosen by letter.\r\n"
                "    Profile: the columns and header row of each sheet, saved and loaded in the File menu. \"Suggest columns\" proposes them from a workbook.\r\n"
                "    Strength: strong replaces every character, medium every second, weak every third. With medium and weak, names may stay readable.\r\n"
                "    Mask characters: what replaces kanji and kana, letters, digits and other characters. \"None\" leaves that kind as it is.\r\n"
                "    Numbers and dates of the chosen columns are masked too. \"Keep numbers and dates\" masks only the texts.\r\n"
                "    \"Mask text in shapes\" also masks the text of shapes and text boxes.\r\n"
                "    Memory limit: the most memory one workbook may take. Automatic is an eighth of the memory, at most 1 GB.\r\n"
                "    \"Mask in the compatible format\" is only for recipients that read nothing else (it is weak against guessing).\r\n"
                "    \"Copy to send out\" masks without backups. Keep the original workbook yourself.\r\n"
                "\r\n"
                "[Authentication]\r\n"
                "    In authentication file mode a file of at least 16 bytes takes the place of the password.\r\n"
                "    The password and the authentication file each can have a hint, set in the \"Credentials\" menu.\r\n"
                "    \"Don't record the password\" keeps the password check value and the hint out of the workbook.\r\n"
                "\r\n"
                "[Automatic re-encryption]\r\n"
                "    With \"Overwrite\" and \"Re-encrypt automatically\" checked, a restored workbook is opened in the spreadsheet program.\r\n"
                "    Once it was saved and the program closed, it is masked again with the same settings. A workbook not saved stays restored.\r\n"
                "\r\n"
                "[Notes]\r\n"
                "    A text equal to one in the mask columns is masked also in cells outside them.\r\n"
                "    The write password is the password with \"z\" in front of it.\r\n"
                "    Saving a workbook over itself after typing the write password makes it impossible to restore.\r\n"
                "    The header and totals rows of tables are not masked.\r\n"
                "    Use the \"Overwrite\" option only with workbooks you have seen restore correctly.\r\n"},

    // The column choice.
    MessageText{Msg::choice_too_long, "choice-too-long", "長すぎます(%s バイトまで)。",
                "It is too long (at most %s bytes)."},
    MessageText{Msg::choice_too_many_columns, "choice-too-many-columns", "列が多すぎます(「%s」)。",
                "Too many columns (at \"%s\")."},
    MessageText{Msg::choice_empty_header, "choice-empty-header", "「%s」: 見出しの文字列がありません。",
                "\"%s\": the header text is empty."},
    MessageText{Msg::choice_not_a_letter, "choice-not-a-letter", "「%s」: col: の後は列名(英字)にしてください。",
                "\"%s\": col: must be followed by a column letter."},
    MessageText{Msg::choice_unclosed_quote, "choice-unclosed-quote", "シート名 %s の引用符が閉じていません。",
                "The quoted sheet name %s has no closing quote."},
    MessageText{Msg::choice_no_bang, "choice-no-bang", "引用符で囲んだシート名「%s」の後に「!」がありません。",
                "The quoted sheet name \"%s\" is not followed by \"!\"."},
    MessageText{Msg::choice_empty_sheet_name, "choice-empty-sheet-name", "シート名が空です(「%s」)。",
                "A sheet name is empty (\"%s\")."},
    MessageText{Msg::choice_sheet_twice, "choice-sheet-twice", "シート「%s」が 2 回指定されています。",
                "Sheet \"%s\" is named twice."},
    MessageText{Msg::choice_sheet_without_columns, "choice-sheet-without-columns", "シート「%s」に列が指定されていません。",
                "Sheet \"%s\" is given no columns."},
    MessageText{Msg::choice_two_general, "choice-two-general", "シート名のない指定は 1 つだけにしてください(2 つ目:「%s」)。",
                "Only one part may go without a sheet name (the second: \"%s\")."},
    MessageText{Msg::choice_no_profile_line, "choice-no-profile-line", "1 行目が \"hushcel-profile 1\" ではありません(「%s」)。",
                "The first line is not \"hushcel-profile 1\" (\"%s\")."},
    MessageText{Msg::choice_bad_line, "choice-bad-line", "「%s」は [シート名] でも キー = 値 でもありません。",
                "\"%s\" is neither [sheet name] nor key = value."},
    MessageText{Msg::choice_key_outside_section, "choice-key-outside-section", "「%s」が [*] や [シート名] の前にあります。",
                "\"%s\" stands before any [*] or [sheet name]."},
    MessageText{Msg::choice_unknown_key, "choice-unknown-key", "不明なキー「%s」です(column、header-row、keep-header のいずれか)。",
                "Unknown key \"%s\" (column, header-row or keep-header)."},
    MessageText{Msg::choice_key_twice, "choice-key-twice", "「%s」が同じ節に 2 回あります。",
                "\"%s\" appears twice in one section."},
    MessageText{Msg::choice_bad_header_row, "choice-bad-header-row", "header-row「%s」は 1 から 1048576 の行番号にしてください。",
                "header-row \"%s\" must be a row number from 1 to 1048576."},
    MessageText{Msg::choice_bad_flag, "choice-bad-flag", "keep-header「%s」は yes か no にしてください。",
                "keep-header \"%s\" must be yes or no."},
    MessageText{Msg::choice_section_twice, "choice-section-twice", "節 [%s] が 2 回あります。",
                "Section [%s] appears twice."},
    MessageText{Msg::choice_reason, "choice-reason", "理由: %s",
                "Reason: %s"},
    MessageText{Msg::profile_error, "profile-error", "プロファイル %s の %d 行目: %s",
                "Profile %s, line %d: %s"},
    MessageText{Msg::profile_error_whole, "profile-error-whole", "プロファイル %s: %s",
                "Profile %s: %s"},
    MessageText{Msg::profile_unreadable, "profile-unreadable", "プロファイル %s を読み込めません(%s)。",
                "The profile %s cannot be read (%s)."},
    MessageText{Msg::profile_unwritable, "profile-unwritable", "プロファイル %s を書き込めません(%s)。",
                "The profile %s cannot be written (%s)."},
    MessageText{Msg::option_profile_with, "option-profile-with", "--profile は %s と一緒に指定できません(列、見出し行、見出しを残すかはプロファイルが持ちます)。",
                "--profile cannot be combined with %s (the profile holds the columns, header rows and keep-header)."},
    MessageText{Msg::sheet_not_found, "sheet-not-found", "マスク列で指定したシート「%s」はこのブックにありません。シート: %s",
                "The mask columns name sheet \"%s\", which this workbook does not have. Its sheets: %s"},
    MessageText{Msg::header_not_in_sheet, "header-not-in-sheet", "マスク列の見出し「%s」が、シート「%s」の%d行目にありません。",
                "The mask column header \"%s\" is not in sheet \"%s\", row %d."},
    MessageText{Msg::header_row_holds, "header-row-holds", "シート「%s」の%d行目の見出し: %s。",
                "Sheet \"%s\", row %d holds: %s."},
    MessageText{Msg::header_row_empty, "header-row-empty", "シート「%s」の%d行目に文字列はありません。",
                "Sheet \"%s\" has no texts in row %d."},
    MessageText{Msg::header_on_row, "header-on-row", "この見出しは%d行目にあります: --header-row %d を指定してください(プロファイルでは header-row = %d)。",
                "That header stands in row %d: give --header-row %d (in a profile, header-row = %d)."},
    MessageText{Msg::ambiguous_column, "ambiguous-column", "「%s」は列名(%s列)とも、シート「%s」の%d行目の見出し(%s列のセル)とも読めます。列名なら col:%s、見出しなら h:%s と書いてください。",
                "\"%s\" is both a column letter (column %s) and, in sheet \"%s\", a header text of row %d (the cell in column %s). Write col:%s for the letter or h:%s for the header."},
    MessageText{Msg::suggest_cells, "suggest-cells", "。文字 %d、数値 %d、日付 %d",
                "; text %d, numbers %d, dates %d"},
    MessageText{Msg::suggest_shared_elsewhere, "suggest-shared-elsewhere", "。うち %d 個の文字列は候補外のセルにもあり、そこでもマスクされます",
                " — %d of its strings stand also in cells not proposed, which show masked too"},
    MessageText{Msg::suggest_kept_above, "suggest-kept-above", "見出し行とその上の行は読めるまま残ります。その上の行のセル %s は個人情報に見えるので、確かめてください。",
                "The header row and the rows above it stay readable; above it, %s look like personal data: check them."},
    MessageText{Msg::suggest_command, "suggest-command", "この提案どおりにマスクするには:",
                "To mask as proposed:"},
    MessageText{Msg::suggest_needs_profile, "suggest-needs-profile", "見出し行がシートごとに違うため、コマンドはプロファイルを使います: --write-profile FILE を付けて実行し直してください。",
                "The sheets' header rows differ, which only a profile holds: run again with --write-profile FILE."},
    MessageText{Msg::suggest_profile_written, "suggest-profile-written", "プロファイルを %s に書き出しました。",
                "The profile was written to %s."},
    MessageText{Msg::option_write_profile_one_file, "option-write-profile-one-file", "--write-profile はブック 1 つにしか使えません。",
                "--write-profile takes one workbook only."},

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
    const std::string locale = os::user_locale();
    return lang_from_locale(locale.c_str(), nullptr, nullptr);
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
