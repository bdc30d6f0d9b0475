<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>hsc::gui::HelpDialog</name>
    <message>
        <source>Hushcelヘルプ</source>
        <translation>Hushcel help</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>hsc::gui::MainWindow</name>
    <message>
        <source>%1 をマスクしました → %2</source>
        <translation>Masked %1 → %2</translation>
    </message>
    <message>
        <source>(共有文字列 %1件、セル %2件、図形の文字 %3件)</source>
        <translation> (shared strings: %1, cells: %2, text in shapes: %3)</translation>
    </message>
    <message>
        <source>(共有文字列 %1件、図形の文字 %2件)</source>
        <translation> (shared strings: %1, text in shapes: %2)</translation>
    </message>
    <message>
        <source>%1 を復元しました → %2</source>
        <translation>Restored %1 → %2</translation>
    </message>
    <message>
        <source>%1 は処理できませんでした</source>
        <translation>Could not process %1</translation>
    </message>
    <message>
        <source>%1 は処理できませんでした: %2</source>
        <translation>Could not process %1: %2</translation>
    </message>
    <message>
        <source>パスワード</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>パスワードを記録しない</source>
        <translation>Don&apos;t record the password</translation>
    </message>
    <message>
        <source>ファイル認証モード</source>
        <translation>Authentication file mode</translation>
    </message>
    <message>
        <source>マスク強度</source>
        <translation>Mask strength</translation>
    </message>
    <message>
        <source>マスク列</source>
        <translation>Columns to mask</translation>
    </message>
    <message>
        <source>漢字マスク文字</source>
        <translation>Kanji mask</translation>
    </message>
    <message>
        <source>英字マスク文字</source>
        <translation>Letter mask</translation>
    </message>
    <message>
        <source>数字マスク文字</source>
        <translation>Digit mask</translation>
    </message>
    <message>
        <source>その他の文字のマスク文字</source>
        <translation>Mask for other characters</translation>
    </message>
    <message>
        <source>見出し行を残す</source>
        <translation>Keep the header row</translation>
    </message>
    <message>
        <source>数値と日付は残す</source>
        <translation>Keep numbers and dates</translation>
    </message>
    <message>
        <source>送付用のコピー(バックアップなし)</source>
        <translation>Copy to send out (no backups)</translation>
    </message>
    <message>
        <source>外に渡すコピーを、バックアップを入れずにマスクします。解読できるものを何も含みません。元のブックは手元に残し、戻ってきたブックは hushcel restore --from で元のブックから復元します。上書き更新とは一緒に使えません。</source>
        <translation>Masks a copy that leaves your hands without any backup: nothing in it can be deciphered. Keep the original, and restore what comes back from it with hushcel restore --from. Not together with overwrite.</translation>
    </message>
    <message>
        <source>互換形式でマスク(弱い暗号)</source>
        <translation>Mask in the compatible format (weak cipher)</translation>
    </message>
    <message>
        <source>この形式しか読めない相手に渡すときだけ。パスワードの先頭16バイトだけが鍵になり、総当たりに弱い形式です。復元はどちらの形式も読みます。</source>
        <translation>Only for readers that know no other format. Only the first 16 bytes of the password make its key, and passwords are cheap to guess. Restoring reads both formats.</translation>
    </message>
    <message>
        <source>上書き更新</source>
        <translation>Overwrite</translation>
    </message>
    <message>
        <source>図形の文字をマスク</source>
        <translation>Mask text in shapes</translation>
    </message>
    <message>
        <source>自動再暗号化</source>
        <translation>Re-encrypt automatically</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>ファイル(&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>終了(&amp;X)</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>設定保存(&amp;S)</source>
        <translation>&amp;Save settings</translation>
    </message>
    <message>
        <source>列を提案(&amp;T)</source>
        <translation>Sugges&amp;t columns...</translation>
    </message>
    <message>
        <source>認証(&amp;C)</source>
        <translation>&amp;Credentials</translation>
    </message>
    <message>
        <source>認証ファイル(&amp;F)</source>
        <translation>Authentication &amp;file...</translation>
    </message>
    <message>
        <source>認証ファイルヒント(&amp;K)</source>
        <translation>Authentication file hint (&amp;K)...</translation>
    </message>
    <message>
        <source>パスワードヒント(&amp;P)</source>
        <translation>&amp;Password hint...</translation>
    </message>
    <message>
        <source>表示(&amp;V)</source>
        <translation>&amp;View</translation>
    </message>
    <message>
        <source>言語(&amp;L)</source>
        <translation>&amp;Language</translation>
    </message>
    <message>
        <source>ヘルプ(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>バージョン情報(&amp;A)</source>
        <translation>&amp;About Hushcel</translation>
    </message>
    <message>
        <source>列を提案するブック</source>
        <translation>Workbook to suggest columns for</translation>
    </message>
    <message>
        <source>Excel ブック (*.xlsx *.xlsm)</source>
        <translation>Excel workbooks (*.xlsx *.xlsm)</translation>
    </message>
    <message>
        <source>マスク列を「%1」にしますか?</source>
        <translation>Set the columns to mask to &quot;%1&quot;?</translation>
    </message>
    <message>
        <source>%1(%2/%3)</source>
        <translation>%1 (%2/%3)</translation>
    </message>
    <message>
        <source>%1 / %2 パート</source>
        <translation>%1 / %2 parts</translation>
    </message>
    <message>
        <source>中止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>処理中のブックを途中で止めます。止めたブックの出力は作られず、フォルダは元のままです。</source>
        <translation>Stops the workbook being processed. No output is made for it and the folder stays as it was.</translation>
    </message>
</context>
<context>
    <name>hsc::gui::MessageBox</name>
    <message>
        <source>はい(&amp;Y)</source>
        <translation>&amp;Yes</translation>
    </message>
    <message>
        <source>いいえ(&amp;N)</source>
        <translation>&amp;No</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>すべてはい(&amp;A)</source>
        <translation>Yes to &amp;all</translation>
    </message>
    <message>
        <source>すべていいえ(&amp;O)</source>
        <translation>N&amp;o to all</translation>
    </message>
</context>
<context>
    <name>hsc::gui::NewPasswordDialog</name>
    <message>
        <source>パスワードを表示</source>
        <translation>Show the password</translation>
    </message>
    <message>
        <source>Hushcelパスワード</source>
        <translation>Hushcel password</translation>
    </message>
    <message>
        <source>マスクに使うパスワードを決めてください。復元にはこのパスワードが要ります。</source>
        <translation>Choose the password to mask with. Restoring will need this password.</translation>
    </message>
    <message>
        <source>パスワード</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>パスワード(確認)</source>
        <translation>Password (again)</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>既定のパスワードを使う...</source>
        <translation>Use the built-in password...</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>設定に保存する(次回から入力不要。設定ファイルに封印して記録され、このパソコンの Hushcel なら読み出せます)</source>
        <translation>Keep it in the settings (not asked again; stored sealed in the settings file, which Hushcel on this computer can read back)</translation>
    </message>
</context>
<context>
    <name>hsc::gui::RetypePasswordDialog</name>
    <message>
        <source>Hushcelパスワード</source>
        <translation>Hushcel password</translation>
    </message>
    <message>
        <source>入力したパスワードでマスクします。確認のため、もう一度入力してください。</source>
        <translation>The workbooks will be masked with the password you typed. Type it once more to confirm.</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>hsc::gui::ValueDialog</name>
    <message>
        <source>Hushcel認証ファイル</source>
        <translation>Hushcel authentication file</translation>
    </message>
    <message>
        <source>Hushcelパスワードヒント</source>
        <translation>Hushcel password hint</translation>
    </message>
    <message>
        <source>Hushcel認証ファイルヒント</source>
        <translation>Hushcel authentication file hint</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>認証ファイルパス</source>
        <translation>Authentication file path</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>All files (*)</translation>
    </message>
</context>
</TS>
