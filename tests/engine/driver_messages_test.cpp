// The words of the pipeline in both languages: each row drives a real cause through
// hsc_process_file once in Japanese and once in English. The Japanese text is the
// program's own, byte for byte; the English one has no Japanese letter left in it, names
// what the Japanese one names, and the outcome does not depend on the language.
#include <gtest/gtest.h>

#include <functional>

#include "core/status.h"
#include "engine/driver.h"
#include "engine/leak_check.h"
#include "protect/footer.h"
#include "support/quick_kdf.h"
#include "support/raw_zip.h"
#include "support/recording_reporter.h"
#include "support/temp_dir.h"
#include "support/workbook_fixture.h"
#include "support/zip_builder.h"

namespace hsc {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> NAMES = {"Yamada Taro", "Chiyoda 1-1", "03-1234-5678",
                                        "Sato Hanako", "Kita 2-2",    "06-9876-5432"};

// A Japanese letter: kana, kanji, the CJK punctuation and full-width forms.
bool has_japanese(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0xE0 || i + 2 >= text.size()) continue;
        const char32_t cp = (char32_t(c & 0x0F) << 12) | (char32_t(text[i + 1] & 0x3F) << 6) | (text[i + 2] & 0x3F);
        if ((cp >= 0x3000 && cp <= 0x30FF) || (cp >= 0x3400 && cp <= 0x9FFF) || (cp >= 0xFF00 && cp <= 0xFFEF))
            return true;
    }
    return false;
}

// What one run is set up with: the settings, the options and the folder it runs in.
struct Scene {
    const fs::path& dir;
    MaskSettings& settings;
    ProcessOptions& options;
    test::RecordingReporter& reporter;
    fs::path book() const { return dir / "book.xlsx"; }
    fs::path key(const char* name) const { return dir / name; }
};

struct MessageCase {
    const char* label;
    // Prepares the folder and returns the input.
    std::function<fs::path(Scene&)> setup;
    int status;
    FailReason failure;
    // The Japanese text; PATH stands for the input, KEY for the key file, OUT for the output,
    // ADVICE for what to do with a damaged file.
    std::string ja;
    // What the English text must name too, with the same stand-ins; empty: nothing.
    std::string named;
    // The question asked before the refusal, in Japanese; empty: none.
    std::string ja_question = {};
};
void PrintTo(const MessageCase& c, std::ostream* os) { *os << c.label; }

fs::path good_book(Scene& r) {
    test::write_zip(r.book(), test::small_workbook(NAMES));
    return r.book();
}

// A workbook masked in place with these settings; the run then checks it with its own.
fs::path masked_book(Scene& r, const MaskSettings& with) {
    good_book(r);
    MaskSettings m = with;
    m.is_overwrite = true;
    FileContext ctx;
    fs::path out;
    test::RecordingReporter quiet;
    EXPECT_EQ(hsc_process_file(r.book(), out, m, ctx, quiet, test::quick_kdf()), RC_OK);
    return r.book();
}

MaskSettings with_password(std::string password, std::string hint = {}) {
    MaskSettings s;
    s.password = std::move(password);
    s.password_hint = std::move(hint);
    return s;
}

const MessageCase CASES[] = {
    {"missing_file", [](Scene& r) { return r.book(); }, RC_FAIL, FailReason::not_found,
     "ファイル(PATH)が見つかりません。", "PATH"},
    {"read_password",
     [](Scene& r) {
         test::write_file(r.book(), test::compound_file(true));
         return r.book();
     },
     RC_FAIL, FailReason::read_password, "読み取りパスワードが設定されているファイルはサポート対象外です。(PATH)", "PATH"},
    {"text_file_named_xlsx",
     [](Scene& r) {
         test::write_file(r.book(), "name,address\nyamada,tokyo\n");
         return r.book();
     },
     RC_FAIL, FailReason::unsupported_file, "サポート対象外のファイルです(PATH)。", "PATH"},
    {"old_xls",
     [](Scene& r) {
         std::string cfb("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
         cfb.resize(4096, '\0');
         test::write_file(r.dir / "old.xls", cfb);
         return r.dir / "old.xls";
     },
     RC_FAIL, FailReason::old_xls,
     "古い形式(.xls)のブックです(PATH)。表計算ソフトで .xlsx 形式で保存してから処理してください。", "PATH"},
    // The same bytes under each name: the file is named by what it holds.
    {"old_xls_with_its_workbook_stream",
     [](Scene& r) {
         test::write_file(r.dir / "old.xls", test::compound_file(false));
         return r.dir / "old.xls";
     },
     RC_FAIL, FailReason::old_xls,
     "古い形式(.xls)のブックです(PATH)。表計算ソフトで .xlsx 形式で保存してから処理してください。", "PATH"},
    {"old_xls_saved_as_xlsx",
     [](Scene& r) {
         test::write_file(r.book(), test::compound_file(false));
         return r.book();
     },
     RC_FAIL, FailReason::old_xls,
     "古い形式(.xls)のブックです(PATH)。表計算ソフトで .xlsx 形式で保存してから処理してください。", "PATH"},
    {"read_password_named_xls",
     [](Scene& r) {
         test::write_file(r.dir / "locked.xls", test::compound_file(true));
         return r.dir / "locked.xls";
     },
     RC_FAIL, FailReason::read_password, "読み取りパスワードが設定されているファイルはサポート対象外です。(PATH)", "PATH"},
    {"compound_document_named_xlsx",
     [](Scene& r) {
         test::write_file(r.book(), test::compound_file_holding("WordDocument"));
         return r.book();
     },
     RC_FAIL, FailReason::unsupported_file, "サポート対象外のファイルです(PATH)。", "PATH"},
    {"key_file_missing",
     [](Scene& r) {
         r.settings.is_file_hash = true;
         r.settings.key_file = r.key("none.key").string();
         return good_book(r);
     },
     RC_FAIL, FailReason::key_file_unreadable, "認証ファイル(KEY)を読み込む事が出来ませんでした。処理を中断します。",
     "KEY"},
    {"invalid_columns",
     [](Scene& r) {
         r.settings.target_column = "A,h:";
         return good_book(r);
     },
     RC_FAIL, FailReason::invalid_columns, "マスク列(A,h:)の指定内容が不正です。", "A,h:"},
    // Shorter than a footer: a zip archive too small to be a workbook, and the start of
    // one cut before its directory.
    {"too_short_for_a_workbook",
     [](Scene& r) {
         std::string zip = test::build_zip({{"a", ""}});
         zip.resize(200, 'x');  // the comment's length is not checked: still a zip archive
         test::write_file(r.book(), zip);
         return r.book();
     },
     RC_FAIL, FailReason::damaged,
     "ファイルが短すぎるため(200バイト)、ブックとして読み取れません。ファイルが破損しているか、途中で切れています。"
     "ADVICE(PATH)",
     "200"},
    {"short_and_without_a_directory",
     [](Scene& r) {
         test::write_file(r.book(), test::build_zip(test::small_workbook(NAMES)).substr(0, 300));
         return r.book();
     },
     RC_FAIL, FailReason::damaged, "zip形式のファイルとして読み取れません。ファイルが破損している可能性があります。ADVICE(PATH)",
     "PATH"},
    {"password_without_cp932_form",
     [](Scene& r) {
         r.settings.password = "pass\xF0\x9F\x94\x91";
         r.settings.is_compat = true;  // the strong format takes it
         return good_book(r);
     },
     RC_FAIL, FailReason::invalid_settings,
     "パスワードに使用できない文字が含まれています(Shift-JISで表せる文字のみ使用できます)。互換形式のパスワードはShift-JISで31バイトまでです(既定の強い形式には長さの制限はありません)。", "password"},
    {"hint_too_long",
     [](Scene& r) {
         r.settings.password_hint = std::string(33, 'h');
         return good_book(r);
     },
     RC_FAIL, FailReason::invalid_settings, "パスワードのヒントが長すぎます(Shift-JISで32バイトまで、現在33バイト)。",
     "33"},
    {"already_masked",
     [](Scene& r) {
         r.options.only_direction = Direction::mask;
         return masked_book(r, MaskSettings{});
     },
     RC_FAIL, FailReason::already_masked, "マスク済みのファイルです。マスクは行いません(PATH)。", "PATH"},
    {"not_masked",
     [](Scene& r) {
         r.options.only_direction = Direction::unmask;
         return good_book(r);
     },
     RC_FAIL, FailReason::not_masked, "マスクされたファイルではありません。復元は行いません(PATH)。", "PATH"},
    {"wrong_password",
     [](Scene& r) {
         masked_book(r, with_password("right"));
         r.settings.password = "wrong";
         return r.book();
     },
     RC_REFUSED, FailReason::wrong_password, "パスワードが一致しませんでした。処理を中断します。", ""},
    {"wrong_password_with_hint",
     [](Scene& r) {
         masked_book(r, with_password("right", "usual one"));
         r.settings.password = "wrong";
         return r.book();
     },
     RC_REFUSED, FailReason::wrong_password, "パスワードが一致しませんでした。ヒントは\"usual one\"です。",
     "\"usual one\""},
    {"masked_with_a_key_file",
     [](Scene& r) {
         test::write_file(r.key("a.key"), "the key file called a");
         MaskSettings m;
         m.is_file_hash = true;
         m.key_file = r.key("a.key").string();
         return masked_book(r, m);
     },
     RC_REFUSED, FailReason::key_file_required, "ファイル認証モードで暗号化されています。処理を中断します。", ""},
    // The compatible format checks the file alone.
    {"wrong_key_file",
     [](Scene& r) {
         test::write_file(r.key("a.key"), "the key file called a");
         test::write_file(r.key("b.key"), "the key file called b");
         MaskSettings m;
         m.is_compat = true;
         m.is_file_hash = true;
         m.key_file = r.key("a.key").string();
         masked_book(r, m);
         r.settings.is_file_hash = true;
         r.settings.key_file = r.key("b.key").string();
         return r.book();
     },
     RC_REFUSED, FailReason::wrong_key_file, "認証ファイルが一致しませんでした。処理を中断します。", ""},
    // The strong format's key comes from both: either one wrong reads alike.
    {"strong_wrong_key_file",
     [](Scene& r) {
         test::write_file(r.key("a.key"), "the key file called a");
         test::write_file(r.key("b.key"), "the key file called b");
         MaskSettings m = with_password("password of both");
         m.is_file_hash = true;
         m.key_file = r.key("a.key").string();
         masked_book(r, m);
         r.settings = m;
         r.settings.key_file = r.key("b.key").string();
         return r.book();
     },
     RC_REFUSED, FailReason::wrong_password_or_key_file,
     "パスワードまたは認証ファイルが一致しませんでした(鍵は両方から作られ、どちらが違うかはブックに記録されていません)。"
     "処理を中断します。",
     "password or the authentication file does not match"},
    {"strong_wrong_password_with_the_key_file",
     [](Scene& r) {
         test::write_file(r.key("a.key"), "the key file called a");
         MaskSettings m = with_password("password of both");
         m.is_file_hash = true;
         m.key_file = r.key("a.key").string();
         m.keyfile_hint = "the usual file";
         masked_book(r, m);
         r.settings = m;
         r.settings.password = "another password";
         return r.book();
     },
     RC_REFUSED, FailReason::wrong_password_or_key_file,
     "パスワードまたは認証ファイルが一致しませんでした(鍵は両方から作られ、どちらが違うかはブックに記録されていません)。"
     "ヒントは\"the usual file\"です。",
     "password or the authentication file does not match"},
    {"masked_workbook_that_lost_its_footer",
     [](Scene& r) {
         masked_book(r, MaskSettings{});
         std::string bytes = test::read_file(r.book());
         bytes.resize(bytes.size() - FOOTER_SIZE);
         bytes[bytes.size() - 1] = bytes[bytes.size() - 2] = '\0';
         test::write_file(r.book(), bytes);
         return r.book();
     },
     RC_FAIL, FailReason::footer_missing,
     "マスク済みのバックアップ(xl/BKsharedStrings.xml)がありますが、フッターがありません。"
     "再マスクすると元のテキストが失われるため、処理を中断します。(PATH)",
     "PATH"},
    {"broken_zip",
     [](Scene& r) {
         test::write_file(r.book(), "PK\x03\x04" + std::string(2000, '\x11'));
         return r.book();
     },
     RC_FAIL, FailReason::damaged, "zip形式のファイルとして読み取れません。ファイルが破損している可能性があります。ADVICE(PATH)",
     "PATH"},
    {"no_central_directory",
     [](Scene& r) {
         const std::string zip = test::build_zip(test::small_workbook(NAMES));
         test::write_file(r.book(), zip.substr(0, zip.find("PK\x01\x02")));
         return r.book();
     },
     RC_FAIL, FailReason::damaged, "zip形式のファイルとして読み取れません。ファイルが破損している可能性があります。ADVICE(PATH)",
     "PATH"},
    {"checksum_mismatch",
     [](Scene& r) {
         test::ZipBuildOptions stored;
         stored.deflate = false;
         std::string zip = test::build_zip(test::small_workbook(NAMES), stored);
         zip[zip.find("5678")] = '9';  // the stored bytes no longer match their CRC
         test::write_file(r.book(), zip);
         return r.book();
     },
     RC_FAIL, FailReason::damaged,
     "エントリ(xl/sharedStrings.xml)のチェックサムが一致しません。ファイルが破損しています。ADVICE(PATH)", "PATH"},
    // A checksum and a size that no data could give: damage, not a size over the limits
    // (a larger memory limit would not help).
    {"checksum_and_size_garbage",
     [](Scene& r) {
         std::vector<test::RawEntry> raw;
         for (const auto& e : test::small_workbook(NAMES)) {
             test::RawEntry x;
             x.name = e.name;
             x.data = e.data;
             if (e.name == "xl/sharedStrings.xml") {
                 x.crc = 0xDEADBEEF;
                 x.uncompressed_size = 0xFFFFFFF0u;
             }
             raw.push_back(x);
         }
         test::write_file(r.book(), test::build_raw_zip(raw));
         return r.book();
     },
     RC_FAIL, FailReason::damaged,
     "エントリ(xl/sharedStrings.xml)が破損しています。ファイルが破損しているか、途中で切れています。ADVICE(PATH)",
     "Ask for the file again, or open it in your spreadsheet program and save it again"},
    // A damaged deflate stream (or a lying header) is damage, not a size over the limits.
    {"inflates_past_its_recorded_size",
     [](Scene& r) {
         std::vector<test::RawEntry> raw;
         for (const auto& e : test::small_workbook(NAMES)) {
             test::RawEntry x;
             x.name = e.name;
             x.data = e.data;
             if (e.name == "xl/sharedStrings.xml") x.uncompressed_size = static_cast<std::uint32_t>(e.data.size() - 1);
             raw.push_back(x);
         }
         test::write_file(r.book(), test::build_raw_zip(raw));
         return r.book();
     },
     RC_FAIL, FailReason::damaged,
     "エントリ(xl/sharedStrings.xml)が記録されたサイズより大きく展開されます。ファイルが破損しています。ADVICE(PATH)", "PATH"},
    {"over_the_memory_budget",
     [](Scene& r) {
         r.options.max_memory = 1;
         return good_book(r);
     },
     RC_FAIL, FailReason::too_large,
     "処理可能なサイズを超えました。処理を中断します。"
     "処理に必要なメモリが使用できるメモリの上限を超えるため処理できません(必要/上限: 1 MB/1 MB)。"
     "--max-memory を 1M 以上にすると処理できます。(PATH)",
     "PATH"},
    {"table_no_worksheet_names",
     [](Scene& r) {
         test::write_zip(r.book(), test::workbook_with_unnamed_table(NAMES));
         return r.book();
     },
     RC_FAIL, FailReason::unsupported_table,
     "テーブル(xl/tables/table1.xml)が含まれているため処理できません。"
     "表計算ソフトでテーブルを範囲に変換してから処理してください。(PATH)",
     "PATH"},
    // The message lists what the header row holds, and the row that has the text.
    {"header_in_no_worksheet",
     [](Scene& r) {
         r.settings.target_column = "B,Member";
         test::write_zip(r.book(), test::sheets_workbook({{"List", {{"Club list"}, {"Name", "Member"}, {"Yamada", "M-1"}}}}));
         return r.book();
     },
     RC_FAIL, FailReason::header_not_found,
     "マスク列の見出し「Member」が、どのシートの1行目にもありません。シート「List」の1行目の見出し: Club list。"
     "この見出しは2行目にあります: --header-row 2 を指定してください(プロファイルでは header-row = 2)。(PATH)",
     "give --header-row 2"},
    // A step of writing the output that fails, as a full or failing device would make it.
    {"packing_fails",
     [](Scene& r) {
         r.options.fault = [](WriteStep step) { return step == WriteStep::composed ? RC_SHORT_WRITE : RC_OK; };
         return good_book(r);
     },
     RC_FAIL, FailReason::cannot_save, "内部処理エラーです(hsc_write_excel() rc=-103)。処理を中断します。", "rc=-103"},
    {"footer_write_fails",
     [](Scene& r) {
         r.options.fault = [](WriteStep step) { return step == WriteStep::footer_written ? RC_SHORT_WRITE : RC_OK; };
         return good_book(r);
     },
     RC_FAIL, FailReason::cannot_save, "内部処理エラーです(hsc_write_footer() rc=-103)。処理を中断します。", "rc=-103"},
    {"output_not_saved",
     [](Scene& r) {
         r.options.fault = [](WriteStep step) { return step == WriteStep::synced ? RC_SHORT_WRITE : RC_OK; };
         return good_book(r);
     },
     RC_FAIL, FailReason::cannot_save, "出力ファイル(OUT)を保存できませんでした。処理を中断します。", "OUT"},
    {"output_exists",
     [](Scene& r) {
         test::write_file(r.dir / "●book.xlsx", "older");
         return good_book(r);
     },
     RC_FAIL, FailReason::output_exists, "出力ファイル(OUT)が既に存在するため、保存しませんでした。", "OUT",
     "出力ファイル(OUT)は既に存在します。置き換えますか？"},
};

class DriverMessages : public ::testing::TestWithParam<MessageCase> {
protected:
    struct Outcome {
        int status = 0;
        FailReason failure = FailReason::none;
        std::vector<std::string> errors, questions;
        std::string path, key, out;
    };
    static Outcome run(const MessageCase& c, Lang lang) {
        test::TempDir dir;
        MaskSettings settings;
        ProcessOptions options = test::quick_kdf();
        test::RecordingReporter reporter;
        Scene r{dir.path(), settings, options, reporter};
        const fs::path input = c.setup(r);
        options.lang = lang;
        FileContext ctx;
        fs::path output;
        Outcome o;
        o.status = hsc_process_file(input, output, settings, ctx, reporter, options);
        o.failure = ctx.failure;
        o.errors = reporter.errors;
        o.questions = reporter.questions;
        o.path = input.string();
        o.key = settings.key_file;
        o.out = (dir / "●book.xlsx").string();
        return o;
    }
    static std::string with_stand_ins(std::string text, const Outcome& o) {
        // What to do with a damaged file, said after what is wrong with it.
        const std::string advice = "ファイルをもう一度入手するか、表計算ソフトで開いて保存し直してから処理してください。";
        for (auto [token, value] : {std::pair<std::string, std::string>{"PATH", o.path}, {"KEY", o.key}, {"OUT", o.out},
                                    {"ADVICE", advice}})
            if (auto at = text.find(token); at != std::string::npos) text.replace(at, token.size(), value);
        return text;
    }
};

TEST_P(DriverMessages, JapaneseAsWrittenEnglishWithoutJapanese) {
    const MessageCase& c = GetParam();
    const Outcome ja = run(c, Lang::ja);
    const Outcome en = run(c, Lang::en);

    EXPECT_EQ(ja.status, c.status);
    EXPECT_EQ(ja.failure, c.failure);
    EXPECT_EQ(ja.errors, std::vector<std::string>{with_stand_ins(c.ja, ja)});
    EXPECT_EQ(ja.questions, c.ja_question.empty() ? std::vector<std::string>{}
                                                  : std::vector<std::string>{with_stand_ins(c.ja_question, ja)});

    // The outcome is the same whatever the language; only the words differ.
    EXPECT_EQ(en.status, ja.status);
    EXPECT_EQ(en.failure, ja.failure);
    ASSERT_EQ(en.errors.size(), 1u);
    ASSERT_EQ(en.questions.size(), ja.questions.size());
    const std::string& text = en.errors[0];
    EXPECT_FALSE(has_japanese(text)) << text;
    if (!c.named.empty()) {
        EXPECT_NE(text.find(with_stand_ins(c.named, en)), std::string::npos) << text;
    }
    for (const std::string& q : en.questions) {
        EXPECT_FALSE(has_japanese(q)) << q;
        EXPECT_NE(q.find(en.out), std::string::npos) << q;
    }
}

INSTANTIATE_TEST_SUITE_P(Causes, DriverMessages, ::testing::ValuesIn(CASES),
                         [](const auto& info) { return std::string(info.param.label); });

// Callers that choose no language keep the Japanese texts.
TEST(DriverMessagesDefault, JapaneseWhenNoLanguageIsGiven) {
    test::TempDir dir;
    MaskSettings settings;
    FileContext ctx;
    fs::path output;
    test::RecordingReporter reporter;
    EXPECT_EQ(hsc_process_file(dir / "none.xlsx", output, settings, ctx, reporter, test::quick_kdf()), RC_FAIL);
    EXPECT_EQ(reporter.errors, std::vector<std::string>{"ファイル(" + (dir / "none.xlsx").string() + ")が見つかりません。"});
}

// A text for an input that cannot be opened, in each language, for each cause the system
// gives; the command line uses it before the pipeline runs.
TEST(DriverMessagesDefault, OpenFailureInBothLanguages) {
    const fs::path path = "/tmp/book.xlsx";
    for (int error : {ENOENT, EISDIR, EINVAL, EACCES, ENAMETOOLONG, EWOULDBLOCK, EIO}) {
        SCOPED_TRACE(error);
        const std::string ja = open_failure_message(error, path, Lang::ja);
        const std::string en = open_failure_message(error, path, Lang::en);
        EXPECT_TRUE(has_japanese(ja)) << ja;
        EXPECT_FALSE(has_japanese(en)) << en;
        EXPECT_NE(en.find(path.string()), std::string::npos) << en;
        EXPECT_EQ(open_failure_message(error, path), ja) << "Japanese by default";
    }
    EXPECT_EQ(open_failure_message(EIO, path, Lang::en).find("%e"), std::string::npos);
}

// The leak scan of a masked workbook refuses in the caller's language too.
TEST(LeakScanMessages, EachRefusalInBothLanguages) {
    struct Case {
        const char* label;
        std::function<void(const fs::path&)> setup;
        std::string password;
        FailReason failure;
        std::string ja;  // PATH stands for the input
    };
    const Case cases[] = {
        {"not_masked", [](const fs::path& p) { test::write_zip(p, test::small_workbook(NAMES)); }, "",
         FailReason::not_masked, "マスクされたファイルではないため、マスクした文字列の残りは調べられません(PATH)。"},
        {"not_a_workbook", [](const fs::path& p) { test::write_file(p, "plain text"); }, "", FailReason::damaged,
         "zip形式のファイルとして読み取れません。ファイルが破損している可能性があります。"
         "ファイルをもう一度入手するか、表計算ソフトで開いて保存し直してから処理してください。(PATH)"},
        {"wrong_password",
         [](const fs::path& p) {
             test::write_zip(p, test::small_workbook(NAMES));
             MaskSettings m = with_password("right");
             m.is_overwrite = true;
             FileContext ctx;
             fs::path out;
             test::RecordingReporter quiet;
             ASSERT_EQ(hsc_process_file(p, out, m, ctx, quiet, test::quick_kdf()), RC_OK);
         },
         "wrong", FailReason::wrong_password,
         "バックアップを復号できません(パスワードが一致しないか、バックアップが破損しています)。"
         "マスクした文字列の残りは調べられません(PATH)。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        test::TempDir dir;
        const fs::path book = dir / "book.xlsx";
        c.setup(book);
        std::string expected = c.ja;
        expected.replace(expected.find("PATH"), 4, book.string());
        for (Lang lang : {Lang::ja, Lang::en}) {
            test::RecordingReporter reporter;
            MaskReport report;
            FailReason why = FailReason::none;
            EXPECT_NE(hsc_inspect_leaks(book, with_password(c.password), report, reporter, 0, &why, lang), RC_OK);
            EXPECT_EQ(why, c.failure);
            ASSERT_EQ(reporter.errors.size(), 1u);
            const std::string& text = reporter.errors[0];
            if (lang == Lang::ja) {
                EXPECT_EQ(text, expected);
            } else {
                EXPECT_FALSE(has_japanese(text)) << text;
                EXPECT_NE(text.find(book.string()), std::string::npos) << text;
            }
        }
    }
}

}  // namespace
}  // namespace hsc
