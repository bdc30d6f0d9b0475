// The language of what the command line prints: the locale decides (LC_ALL, then
// LC_MESSAGES, then LANG; "ja…" Japanese, anything else or nothing English), and --lang
// decides over it.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "cli_run.h"
#include "support/temp_dir.h"
#include "support/workbook_fixture.h"
#include "support/zip_builder.h"

namespace hsc {
namespace {

namespace fs = std::filesystem;
using test::run_hushcel;
using Env = std::map<std::string, std::string>;

const std::vector<std::string> NAMES = {"山田太郎", "東京都新宿区1-2", "090-1234-5678",
                                       "佐藤花子", "大阪府大阪市3-4", "080-2345-6789"};

// A letter of Japanese writing: kana, kanji, the full-width punctuation and forms. The
// output prefix "〇" (U+3007) is a file name's character, not a word, and is left out.
bool has_japanese(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto b = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
        if (b(0) < 0x80) {
            ++i;
            continue;
        }
        std::size_t n = b(0) >= 0xF0 ? 4 : b(0) >= 0xE0 ? 3 : 2;
        if (i + n > text.size()) return false;
        char32_t cp = n == 2 ? (b(0) & 0x1F) : n == 3 ? (b(0) & 0x0F) : (b(0) & 0x07);
        for (std::size_t k = 1; k < n; ++k) cp = cp << 6 | (b(k) & 0x3F);
        if ((cp >= 0x3040 && cp <= 0x30FF) || (cp >= 0x4E00 && cp <= 0x9FFF) || cp == 0x3001 || cp == 0x3002 ||
            (cp >= 0x300C && cp <= 0x300F) || (cp >= 0xFF01 && cp <= 0xFF60))
            return true;
        i += n;
    }
    return false;
}

TEST(LangHelper, TellsJapaneseFromEnglish) {
    EXPECT_TRUE(has_japanese("a: 警告"));
    EXPECT_TRUE(has_japanese("マスク"));
    EXPECT_TRUE(has_japanese("x。"));
    EXPECT_FALSE(has_japanese("book.xlsx: restored -> 〇●book.xlsx (e.g. ●|■|※, ×)"));
}

struct LangCase {
    const char* label;
    Env env;                        // the locale variables; none named: none set
    std::vector<std::string> lang;  // --lang as given, or nothing
    bool japanese;
};
void PrintTo(const LangCase& c, std::ostream* os) { *os << c.label; }

const LangCase LANG_CASES[] = {
    {"lang_c", {{"LANG", "C.UTF-8"}}, {}, false},
    {"lang_ja", {{"LANG", "ja_JP.UTF-8"}}, {}, true},
    {"lang_en_us", {{"LANG", "en_US.UTF-8"}}, {}, false},
    {"nothing_set", {{"LANG", ""}}, {}, false},
    {"lc_all_over_lang_en", {{"LC_ALL", "C.UTF-8"}, {"LANG", "ja_JP.UTF-8"}}, {}, false},
    {"lc_all_over_lang_ja", {{"LC_ALL", "ja_JP.UTF-8"}, {"LANG", "C.UTF-8"}}, {}, true},
    {"lc_messages_over_lang", {{"LC_MESSAGES", "ja_JP.UTF-8"}, {"LANG", "C"}}, {}, true},
    {"option_en_over_locale", {{"LC_ALL", "ja_JP.UTF-8"}, {"LANG", "ja_JP.UTF-8"}}, {"--lang", "en"}, false},
    {"option_ja_over_locale", {{"LC_ALL", "C.UTF-8"}, {"LANG", "C.UTF-8"}}, {"--lang=ja"}, true},
    {"last_option_decides", {{"LANG", "C.UTF-8"}}, {"--lang", "en", "--lang", "ja"}, true},
};

std::vector<std::string> with_lang(const LangCase& c, std::vector<std::string> args) {
    args.insert(args.begin(), c.lang.begin(), c.lang.end());
    return args;
}

Env with_password(Env env, const std::string& password) {
    env["HUSHCEL_PASSWORD"] = password;
    return env;
}

class CliLang : public ::testing::TestWithParam<LangCase> {};

TEST_P(CliLang, SuccessLineAndWarning) {
    const LangCase& c = GetParam();
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", test::small_workbook(NAMES));
    auto r = run_hushcel(dir.path(), with_lang(c, {"--columns", "A", "book.xlsx"}), with_password(c.env, "pw-1"));
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, c.japanese ? "book.xlsx: マスクしました -> ●book.xlsx(共有文字列 2件、セル 2件、図形の文字 0件)\n"
                                : "book.xlsx: masked -> ●book.xlsx (shared strings 2, cells 2, shape texts 0)\n");
    EXPECT_EQ(r.err, "");

    r = run_hushcel(dir.path(), with_lang(c, {"restore", "●book.xlsx"}), with_password(c.env, "pw-1"));
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, c.japanese ? "●book.xlsx: 復元しました -> 〇●book.xlsx\n" : "●book.xlsx: restored -> 〇●book.xlsx\n");

    // A column without text: the warning, and its frame, in the same language.
    test::write_zip(dir / "numbers.xlsx", test::small_workbook(NAMES));
    r = run_hushcel(dir.path(), with_lang(c, {"--columns", "XFD", "numbers.xlsx"}), with_password(c.env, "pw-1"));
    EXPECT_EQ(r.exit_code, 4) << r.err;
    EXPECT_EQ(r.err, c.japanese ? "numbers.xlsx: 警告: マスクしたものがありません。マスク列の指定を確認してください"
                                  "(空の列は対象になりません。数値と日付は列を指定したとき、または --numbers のときだけ対象です)。\n"
                                : "numbers.xlsx: warning: Nothing was masked. Check the mask columns (empty columns are "
                                  "not masked; numbers and dates only with a column list, or with --numbers).\n");
}

// A refusal of the command line itself, before any file is touched: masking with the
// password every copy of the program knows.
TEST_P(CliLang, RefusalOfTheBuiltInPassword) {
    const LangCase& c = GetParam();
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", test::small_workbook(NAMES));
    const auto r = run_hushcel(dir.path(), with_lang(c, {"mask", "book.xlsx"}), c.env);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_FALSE(fs::exists(dir / "●book.xlsx"));
    if (c.japanese) {
        EXPECT_NE(r.err.find("hushcel: パスワードが指定されていないか、既定のパスワードです。"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("\n'hushcel --help' で使い方を表示します。\n"), std::string::npos) << r.err;
    } else {
        EXPECT_NE(r.err.find("hushcel: No password is given, or it is the built-in one."), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("\nRun 'hushcel --help' to see how to use it.\n"), std::string::npos) << r.err;
        EXPECT_FALSE(has_japanese(r.err)) << r.err;
    }
}

// A refusal of the pipeline: the wrong password on restore. The reason's JSON `kind`
// is the same English identifier in both languages; the words follow the language.
TEST_P(CliLang, RefusalOfAWrongPassword) {
    const LangCase& c = GetParam();
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", test::small_workbook(NAMES));
    ASSERT_EQ(run_hushcel(dir.path(), {"book.xlsx"}, {{"HUSHCEL_PASSWORD", "pw-1"}}).exit_code, 0);
    auto r = run_hushcel(dir.path(), with_lang(c, {"restore", "●book.xlsx"}), with_password(c.env, "pw-2"));
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(fs::exists(dir / "〇●book.xlsx"));
    if (c.japanese) {
        EXPECT_EQ(r.err, "●book.xlsx: パスワードが一致しませんでした。処理を中断します。\n");
    }
    r = run_hushcel(dir.path(), with_lang(c, {"--json", "restore", "●book.xlsx"}), with_password(c.env, "pw-2"));
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_NE(r.out.find("\"kind\":\"wrong-password\""), std::string::npos) << r.out;
    if (c.japanese) {
        EXPECT_NE(r.out.find("\"message\":\"パスワードが一致しませんでした。処理を中断します。\""), std::string::npos);
    }
}

// The pipeline's refusals follow the command line's language too.
TEST(CliLangPipeline, WrongPasswordIsToldInEnglish) {
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", test::small_workbook(NAMES));
    ASSERT_EQ(run_hushcel(dir.path(), {"book.xlsx"}, {{"HUSHCEL_PASSWORD", "pw-1"}}).exit_code, 0);
    const auto r = run_hushcel(dir.path(), {"--json", "●book.xlsx"}, {{"LANG", "C.UTF-8"}, {"HUSHCEL_PASSWORD", "pw-2"}});
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_NE(r.out.find("\"kind\":\"wrong-password\""), std::string::npos) << r.out;
    EXPECT_FALSE(has_japanese(r.out)) << r.out;
    EXPECT_NE(r.out.find("\"message\":\""), r.out.find("\"message\":\"\"")) << "a message is given";
}

TEST_P(CliLang, UsageErrorsAlsoInJson) {
    const LangCase& c = GetParam();
    test::TempDir dir;
    auto r = run_hushcel(dir.path(), with_lang(c, {"--colour", "book.xlsx"}), c.env);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, c.japanese ? "hushcel: 不明なオプションです: --colour\n'hushcel --help' で使い方を表示します。\n"
                                : "hushcel: Unknown option: --colour\nRun 'hushcel --help' to see how to use it.\n");

    r = run_hushcel(dir.path(), with_lang(c, {"--json", "mask"}), c.env);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.out, c.japanese ? "{\"schema\":1,\"kind\":\"usage\",\"message\":\"ファイルが指定されていません。\"}\n"
                                : "{\"schema\":1,\"kind\":\"usage\",\"message\":\"No file is given. Name the workbooks "
                                  "to process.\"}\n");
}

TEST_P(CliLang, HelpAndPasswordMessages) {
    const LangCase& c = GetParam();
    test::TempDir dir;
    auto r = run_hushcel(dir.path(), with_lang(c, {"--help"}), c.env);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(has_japanese(r.out.substr(0, r.out.find("\nExamples:"))), c.japanese) << r.out;
    EXPECT_NE(r.out.find(c.japanese ? "\n使い方:\n" : "\nUsage:\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"●NAME\""), std::string::npos);
    EXPECT_NE(r.out.find("\"〇NAME\""), std::string::npos);

    // No terminal to ask on (the runner leaves none).
    r = run_hushcel(dir.path(), with_lang(c, {"--ask-password", "book.xlsx"}), c.env);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_NE(r.err.find(c.japanese ? "パスワードを入力する端末がありません" : "There is no terminal to type the password on"),
              std::string::npos)
        << r.err;
}

INSTANTIATE_TEST_SUITE_P(Locales, CliLang, ::testing::ValuesIn(LANG_CASES),
                         [](const auto& info) { return std::string(info.param.label); });

// Both helps name the same options: one added to the one language only is caught here
// (the manual page and the completion are checked against the English one).
TEST(LangOption, BothHelpsNameTheSameOptions) {
    test::TempDir dir;
    const auto options = [&](const char* lang) {
        const auto r = run_hushcel(dir.path(), {"--lang", lang, "--help"});
        EXPECT_EQ(r.exit_code, 0);
        std::set<std::string> found;
        const std::regex option(R"((^|[\s,(])(--?[a-z][a-z-]*))");
        for (std::sregex_iterator it(r.out.begin(), r.out.end(), option), end; it != end; ++it) found.insert((*it)[2]);
        return found;
    };
    const auto en = options("en");
    EXPECT_EQ(options("ja"), en);
    EXPECT_TRUE(en.count("--lang"));
    EXPECT_TRUE(en.count("--allow-default-password"));
}

// A --lang that names no language is a usage error, told in the locale's language; the
// command line is not read any further.
TEST(LangOption, UnknownLanguageIsAUsageErrorInTheLocalesLanguage) {
    test::TempDir dir;
    auto r = run_hushcel(dir.path(), {"--lang", "de", "book.xlsx"}, {{"LANG", "C.UTF-8"}});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err, "hushcel: --lang takes ja|en: de\nRun 'hushcel --help' to see how to use it.\n");
    r = run_hushcel(dir.path(), {"--json", "--lang=jp", "book.xlsx"}, {{"LANG", "ja_JP.UTF-8"}});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.out, "{\"schema\":1,\"kind\":\"usage\",\"message\":\"--lang には ja|en を指定してください: jp\"}\n");
    r = run_hushcel(dir.path(), {"book.xlsx", "--lang"}, {{"LANG", "C.UTF-8"}});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err, "hushcel: --lang needs a value.\nRun 'hushcel --help' to see how to use it.\n");
}

// Every fixed Japanese text the command line shows, byte for byte in Japanese mode.
struct DescribedText {
    const char* label;
    std::function<void(const fs::path&)> prepare;  // beside the workbook book.xlsx
    std::vector<std::string> args;
    Env env;
    std::string line;  // a whole line of standard error
};
void PrintTo(const DescribedText& t, std::ostream* os) { *os << t.label; }

// Masks book.xlsx into ●book.xlsx with the password "pw-1" and the given options.
std::function<void(const fs::path&)> masked(std::vector<std::string> options) {
    return [options](const fs::path& dir) {
        std::vector<std::string> args = options;
        args.push_back("book.xlsx");
        const auto r = run_hushcel(dir, args, {{"HUSHCEL_PASSWORD", "pw-1"}});
        ASSERT_EQ(r.exit_code, 0) << r.err;
    };
}
void write_keys(const fs::path& dir) {
    test::write_file(dir / "a.key", std::string(300, 'a'));
    test::write_file(dir / "b.key", std::string(300, 'b'));
}

class DescribedTexts : public ::testing::TestWithParam<DescribedText> {};

TEST_P(DescribedTexts, AreShownByteForByteInJapanese) {
    const DescribedText& t = GetParam();
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", test::small_workbook(NAMES));
    if (t.prepare) t.prepare(dir.path());
    if (HasFatalFailure()) return;
    std::vector<std::string> args = {"--lang", "ja"};
    args.insert(args.end(), t.args.begin(), t.args.end());
    Env env = t.env;
    env["LANG"] = "C.UTF-8";  // --lang decides
    const auto r = run_hushcel(dir.path(), args, env);
    EXPECT_NE(r.exit_code, 0);
    EXPECT_NE(("\n" + r.err).find("\n" + t.line + "\n"), std::string::npos) << r.err;
}

const DescribedText DESCRIBED_TEXTS[] = {
    {"file_open_error", nullptr, {"inspect", "--suggest", "missing.xlsx"}, {},
     "missing.xlsx: ファイルオープンエラーです(missing.xlsx)。ファイルを開いている場合は閉じてください。"},
    {"unsupported_file", [](const fs::path& d) { test::write_file(d / "notes.xlsx", "plain text"); }, {"notes.xlsx"},
     {{"HUSHCEL_PASSWORD", "pw-1"}}, "notes.xlsx: サポート対象外のファイルです(notes.xlsx)。"},
    {"key_file_unreadable", nullptr, {"--key-file", "missing.key", "book.xlsx"}, {{"HUSHCEL_PASSWORD", "pw-1"}},
     "book.xlsx: 認証ファイル(missing.key)を読み込む事が出来ませんでした。処理を中断します。"},
    {"mask_columns_invalid", nullptr, {"--columns", "A,h:", "book.xlsx"}, {{"HUSHCEL_PASSWORD", "pw-1"}},
     "hushcel: マスク列(A,h:)の指定内容が不正です。列は英字の列名か見出しの文字列をコンマで区切って指定してください"
     "(例: B,D,AA、氏名,電話番号,E)。理由: 「h:」: 見出しの文字列がありません。"},
    {"password_mismatch", masked({}), {"●book.xlsx"}, {{"HUSHCEL_PASSWORD", "pw-2"}},
     "●book.xlsx: パスワードが一致しませんでした。処理を中断します。"},
    {"password_mismatch_hint", masked({"--hint", "馬の名前"}), {"●book.xlsx"}, {{"HUSHCEL_PASSWORD", "pw-2"}},
     "●book.xlsx: パスワードが一致しませんでした。ヒントは\"馬の名前\"です。"},
    // The compatible format checks the key file alone; the strong one names both secrets.
    {"key_file_mismatch",
     [](const fs::path& d) {
         write_keys(d);
         masked({"--compat", "--key-file", "a.key"})(d);
     },
     {"--key-file", "b.key", "●book.xlsx"}, {{"HUSHCEL_PASSWORD", "pw-1"}},
     "●book.xlsx: 認証ファイルが一致しませんでした。処理を中断します。"},
    {"key_file_mismatch_hint",
     [](const fs::path& d) {
         write_keys(d);
         masked({"--compat", "--key-file", "a.key", "--hint", "青いUSB"})(d);
     },
     {"--key-file", "b.key", "●book.xlsx"}, {{"HUSHCEL_PASSWORD", "pw-1"}},
     "●book.xlsx: 認証ファイルが一致しませんでした。ヒントは\"青いUSB\"です。"},
    {"key_file_mode",
     [](const fs::path& d) {
         write_keys(d);
         masked({"--key-file", "a.key"})(d);
     },
     {"●book.xlsx"}, {{"HUSHCEL_PASSWORD", "pw-1"}}, "●book.xlsx: ファイル認証モードで暗号化されています。処理を中断します。"},
};

INSTANTIATE_TEST_SUITE_P(Japanese, DescribedTexts, ::testing::ValuesIn(DESCRIBED_TEXTS),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace hsc
