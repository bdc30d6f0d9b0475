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
    <message>
        <source>見出し行</source>
        <translation>Header row</translation>
    </message>
    <message>
        <source>メモリ上限</source>
        <translation>Memory limit</translation>
    </message>
    <message>
        <source>自動</source>
        <translation>Automatic</translation>
    </message>
    <message>
        <source>ファイルを追加...</source>
        <translation>Add files...</translation>
    </message>
    <message>
        <source>開く(&amp;O)...</source>
        <translation>&amp;Open...</translation>
    </message>
    <message>
        <source>プロファイルを読み込む(&amp;L)...</source>
        <translation>&amp;Load profile...</translation>
    </message>
    <message>
        <source>プロファイルを保存(&amp;V)...</source>
        <translation>Sa&amp;ve profile...</translation>
    </message>
    <message>
        <source>プロファイルを使わない(&amp;U)</source>
        <translation>Stop &amp;using the profile</translation>
    </message>
    <message>
        <source>開くブック</source>
        <translation>Workbooks to process</translation>
    </message>
    <message>
        <source>Excel ブック (*.xlsx *.xlsm);;すべてのファイル (*)</source>
        <translation>Excel workbooks (*.xlsx *.xlsm);;All files (*)</translation>
    </message>
    <message>
        <source>プロファイル: %1</source>
        <translation>Profile: %1</translation>
    </message>
    <message>
        <source>プロファイルを読み込む</source>
        <translation>Load profile</translation>
    </message>
    <message>
        <source>プロファイル (*.profile *.txt);;すべてのファイル (*)</source>
        <translation>Profiles (*.profile *.txt);;All files (*)</translation>
    </message>
    <message>
        <source>プロファイルを保存</source>
        <translation>Save profile</translation>
    </message>
    <message>
        <source>マスクと復元のパスワード。同じパスワードでしか元に戻せません。</source>
        <translation>The password that masks and restores. Only the same password gives the text back.</translation>
    </message>
    <message>
        <source>パスワードの確認値とヒントをブックに記録しません。復元のときヒントは出ません。</source>
        <translation>Records neither the password check value nor the hint in the workbook. No hint is shown when restoring.</translation>
    </message>
    <message>
        <source>パスワードの代わりに、認証ファイル(「認証」メニューで選ぶ16バイト以上のファイル)の内容を鍵にします。</source>
        <translation>Uses the contents of an authentication file (at least 16 bytes, chosen in the Authentication menu) as the key instead of the password.</translation>
    </message>
    <message>
        <source>強: すべての文字を置き換えます。中は 2 文字に 1 文字、弱は 3 文字に 1 文字だけを置き換え、残りの文字は読めます(名前が推測できることがあります)。</source>
        <translation>Strong replaces every character. Medium replaces every second character and weak every third; the others stay readable (names may still be guessed).</translation>
    </message>
    <message>
        <source>マスク列に見出しの名前を書いたとき、その名前を探す行の番号です(1 が先頭行)。</source>
        <translation>The row where the header names of the mask columns are looked up (1 is the first row).</translation>
    </message>
    <message>
        <source>マスクする列。列記号(B,D)、見出しの名前(氏名,電話番号)、シートごと(顧客!B,C;注文!E)で書けます。空欄ならすべての文字列をマスクします。</source>
        <translation>The columns to mask: letters (B,D), header names (Name,Phone) or per sheet (Customers!B,C;Orders!E). Empty masks every text of the workbook.</translation>
    </message>
    <message>
        <source>漢字・かななど全角の文字を置き換える文字。</source>
        <translation>The character that replaces kanji, kana and other full-width characters.</translation>
    </message>
    <message>
        <source>英字を置き換える文字。</source>
        <translation>The character that replaces letters.</translation>
    </message>
    <message>
        <source>数字を置き換える文字。</source>
        <translation>The character that replaces digits.</translation>
    </message>
    <message>
        <source>アクセント付きの文字やギリシャ文字などを置き換える文字。</source>
        <translation>The character that replaces accented letters, Greek, Cyrillic and similar characters.</translation>
    </message>
    <message>
        <source>列記号で選んだときも、見出し行の文字をマスクせずに残します。見出しの名前で選んだときは常に残ります。</source>
        <translation>Keeps the header row readable also when the columns are chosen by letter. Columns chosen by header name always keep it.</translation>
    </message>
    <message>
        <source>選んだ列の数値と日付はマスクせず、文字列だけをマスクします。</source>
        <translation>Masks only the texts of the chosen columns and leaves their numbers and dates.</translation>
    </message>
    <message>
        <source>別のブックを作らずに、元のブックをマスク(復元)した内容で置き換えます。元に戻せることを確かめたブックで使ってください。</source>
        <translation>Replaces the workbook itself by its masked (restored) form instead of writing a new one. Use it only with workbooks seen to restore correctly.</translation>
    </message>
    <message>
        <source>図形やテキストボックスの文字もマスクします。</source>
        <translation>Also masks the text of shapes and text boxes.</translation>
    </message>
    <message>
        <source>上書き更新と一緒に使います。復元したブックを表計算ソフトで開き、保存して閉じると自動でマスクし直します。</source>
        <translation>Works with Overwrite: a restored workbook opens in the spreadsheet program and is masked again once it was saved and the program closed.</translation>
    </message>
    <message>
        <source>1 つのブックに使うメモリの上限。自動はこのコンピューターのメモリの 8 分の 1(最大 1 GB)です。超えるブックは処理せず、必要な量を知らせます。</source>
        <translation>The most memory one workbook may take. Automatic is an eighth of this computer&apos;s memory, at most 1 GB. A workbook that needs more is not processed, and the message says how much it needs.</translation>
    </message>
    <message>
        <source>処理するブックを選びます。ドロップと同じように処理されます。</source>
        <translation>Choose workbooks to process, as if they were dropped on the window.</translation>
    </message>
    <message>
        <source>設定を保存するか確かめてから終了します。</source>
        <translation>Ends the program, asking first whether to save changed settings.</translation>
    </message>
    <message>
        <source>見出し行がシートごとに違うため、この提案はプロファイルに保存して使います。保存しますか?</source>
        <translation>The sheets' header rows differ, which only a profile holds: save this suggestion as a profile and use it?</translation>
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
