#include "options.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace hsc::cli {
namespace {

struct Choice {
    std::string_view word;
    int value;
};

constexpr Choice STRENGTHS[] = {{"strong", STEP_STRONG}, {"medium", STEP_MEDIUM}, {"weak", STEP_WEAK}};
constexpr Choice KANJI_MASKS[] = {{"●", MCHAR_CIRCLE}, {"■", MCHAR_SQUARE}, {"※", MCHAR_KOME}, {"none", MCHAR_NONE}};
constexpr Choice ALPHA_MASKS[] = {{"*", CHAR_STAR}, {"X", CHAR_X}, {"none", CHAR_NONE}};
constexpr Choice DIGIT_MASKS[] = {{"9", NUMBER_NINE}, {"0", NUMBER_ZERO}, {"none", NUMBER_NONE}};
constexpr Choice WCHAR_MASKS[] = {{"×", WCHAR_TIMES}, {"¤", WCHAR_CURRENCY}, {"none", WCHAR_NONE}};

template <std::size_t N>
bool choose(const Choice (&choices)[N], std::string_view word, std::optional<int>& out) {
    for (const Choice& c : choices)
        if (c.word == word) {
            out = c.value;
            return true;
        }
    return false;
}

template <std::size_t N>
std::string listing(const Choice (&choices)[N]) {
    std::string s;
    for (const Choice& c : choices) {
        if (!s.empty()) s += '|';
        s += c.word;
    }
    return s;
}

}  // namespace

bool parse_size(std::string_view text, std::uint64_t& bytes) {
    std::uint64_t n = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec != std::errc() || end == text.data()) return false;
    std::string_view unit(end, static_cast<std::size_t>(text.data() + text.size() - end));
    int shift = 0;
    if (unit == "K" || unit == "k") shift = 10;
    else if (unit == "M" || unit == "m") shift = 20;
    else if (unit == "G" || unit == "g") shift = 30;
    else if (!unit.empty()) return false;
    if (n == 0 || n > (UINT64_MAX >> shift)) return false;
    bytes = n << shift;
    return true;
}

bool parse_options(int argc, char** argv, Options& o, std::string& message) {
    bool only_files = false;
    bool command_allowed = true;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (only_files || arg == "-" || !arg.starts_with("-")) {
            if (command_allowed && !only_files) {
                command_allowed = false;
                if (arg == "auto") continue;
                if (arg == "mask") { o.command = Command::mask; continue; }
                if (arg == "restore") { o.command = Command::restore; continue; }
                if (arg == "inspect") { o.command = Command::inspect; continue; }
            }
            o.files.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            only_files = true;
            continue;
        }
        // --name=value or --name value
        std::string name(arg);
        std::optional<std::string> inline_value;
        if (auto eq = name.find('='); arg.starts_with("--") && eq != std::string::npos) {
            inline_value = name.substr(eq + 1);
            name.resize(eq);
        }
        auto value = [&](std::string& out) {
            if (inline_value) {
                out = *inline_value;
                return true;
            }
            if (i + 1 >= argc) {
                message = name + " には値が必要です。";
                return false;
            }
            out = argv[++i];
            return true;
        };
        auto flag = [&](bool& out) {
            if (inline_value) {
                message = name + " は値をとりません。";
                return false;
            }
            out = true;
            return true;
        };
        std::string v;
        if (name == "-h" || name == "--help") {
            if (!flag(o.help)) return false;
        } else if (name == "--version") {
            if (!flag(o.version)) return false;
        } else if (name == "--json") {
            if (!flag(o.json)) return false;
        } else if (name == "--suggest") {
            if (!flag(o.suggest)) return false;
        } else if (name == "--shapes") {
            if (!flag(o.shapes)) return false;
        } else if (name == "--overwrite") {
            if (!flag(o.overwrite)) return false;
        } else if (name == "--force") {
            if (!flag(o.force)) return false;
        } else if (name == "--no-record-password") {
            if (!flag(o.no_record_password)) return false;
        } else if (name == "--leaks") {
            if (!flag(o.leaks)) return false;
        } else if (name == "--ask-password") {
            if (!flag(o.ask_password)) return false;
        } else if (name == "--allow-default-password") {
            if (!flag(o.allow_default_password)) return false;
        } else if (name == "--max-memory") {
            if (!value(v)) return false;
            std::uint64_t bytes = 0;
            if (!parse_size(v, bytes)) {
                message = "--max-memory にはバイト数を指定してください(例: 512M、2G): " + v;
                return false;
            }
            o.max_memory = bytes;
        } else if (name == "-j" || name == "--jobs") {
            if (!value(v)) return false;
            int n = 0;
            auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
            if (ec != std::errc() || end != v.data() + v.size() || n < 1 || n > 64) {
                message = "-j には 1 から 64 の数を指定してください: " + v;
                return false;
            }
            o.jobs = n;
        } else if (name == "--columns") {
            if (!value(v)) return false;
            o.columns = v;
        } else if (name == "--keep-header") {
            if (!flag(o.keep_header)) return false;
        } else if (name == "--header-row") {
            if (!value(v)) return false;
            int n = 0;
            auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
            if (ec != std::errc() || end != v.data() + v.size() || n < 1 || n > 1048576) {
                message = "--header-row には 1 から 1048576 の行番号を指定してください: " + v;
                return false;
            }
            o.header_row = n;
        } else if (name == "--strength") {
            if (!value(v)) return false;
            if (!choose(STRENGTHS, v, o.strength)) {
                message = "--strength には " + listing(STRENGTHS) + " を指定してください: " + v;
                return false;
            }
        } else if (name == "--kanji-mask") {
            if (!value(v)) return false;
            if (!choose(KANJI_MASKS, v, o.kanji_mask)) {
                message = "--kanji-mask には " + listing(KANJI_MASKS) + " を指定してください: " + v;
                return false;
            }
        } else if (name == "--alpha-mask") {
            if (!value(v)) return false;
            if (!choose(ALPHA_MASKS, v, o.alpha_mask)) {
                message = "--alpha-mask には " + listing(ALPHA_MASKS) + " を指定してください: " + v;
                return false;
            }
        } else if (name == "--digit-mask") {
            if (!value(v)) return false;
            if (!choose(DIGIT_MASKS, v, o.digit_mask)) {
                message = "--digit-mask には " + listing(DIGIT_MASKS) + " を指定してください: " + v;
                return false;
            }
        } else if (name == "--wchar-mask") {
            if (!value(v)) return false;
            if (!choose(WCHAR_MASKS, v, o.wchar_mask)) {
                message = "--wchar-mask には " + listing(WCHAR_MASKS) + " を指定してください: " + v;
                return false;
            }
        } else if (name == "--hint") {
            if (!value(v)) return false;
            o.hint = v;
        } else if (name == "--key-file") {
            if (!value(v)) return false;
            if (v.empty()) {
                message = "--key-file に認証ファイルを指定してください。";
                return false;
            }
            o.key_file = v;
        } else if (name == "--settings") {
            if (!value(v)) return false;
            o.settings_file = v;
        } else if (name == "--password-file") {
            if (!value(v)) return false;
            o.password_file = v;
        } else if (name == "--password") {
            message = "パスワードはコマンドラインでは受け付けません(--password-file、--ask-password、"
                      "環境変数 HUSHCEL_PASSWORD のいずれかを使ってください)。";
            return false;
        } else {
            message = "不明なオプションです: " + std::string(arg);
            return false;
        }
    }
    if (o.leaks && o.command != Command::inspect) {
        message = "--leaks は inspect と一緒に指定してください。";
        return false;
    }
    if (o.leaks && o.suggest) {
        message = "--leaks と --suggest は別々に指定してください。";
        return false;
    }
    if (o.suggest) {
        if (o.command != Command::inspect) {
            message = "--suggest は inspect と一緒に指定してください。";
            return false;
        }
        o.command = Command::suggest;
    }
    if (!o.help && !o.version && o.files.empty()) {
        message = "ファイルが指定されていません。";
        return false;
    }
    return true;
}

bool json_requested(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--") return false;
        if (arg == "--json") return true;
    }
    return false;
}

void apply_overrides(const Options& o, MaskSettings& s) {
    if (o.columns) s.target_column = *o.columns;
    if (o.header_row) s.header_row = *o.header_row;
    if (o.keep_header) s.is_keep_header = true;
    if (o.strength) s.mask_step = *o.strength;
    if (o.kanji_mask) s.mask_mchar = *o.kanji_mask;
    if (o.alpha_mask) s.mask_char = *o.alpha_mask;
    if (o.digit_mask) s.mask_number = *o.digit_mask;
    if (o.wchar_mask) s.mask_wchar = *o.wchar_mask;
    if (o.shapes) s.is_autoshape = true;
    if (o.overwrite) s.is_overwrite = true;
    if (o.no_record_password) s.is_no_password = true;
    if (o.key_file) {
        s.is_file_hash = true;
        s.key_file = *o.key_file;
    }
    // The hint of the mode this run authenticates with.
    if (o.hint) (s.is_file_hash ? s.keyfile_hint : s.password_hint) = *o.hint;
}

const char* const HELP_TEXT = R"(hushcel - masks personal data in chosen columns of xlsx/xlsm workbooks, and restores it

Usage:
  hushcel [auto] FILE...      mask a workbook without a footer, restore one with a footer
  hushcel mask FILE...        mask only (a masked workbook is refused)
  hushcel restore FILE...     restore only (a workbook that is not masked is refused)
  hushcel inspect FILE...     change nothing; show type, masked state, authentication, hint, backups
  hushcel inspect --suggest FILE...
                              change nothing; suggest the columns that look like personal data
                              (by header words and by the first 1000 data rows of each worksheet)
  hushcel inspect --leaks FILE...
                              also decipher the backups (password as below) and look for the
                              masked texts elsewhere in the masked workbook

The output goes beside the input as "●NAME" (masked) or "〇NAME" (restored), or over the
input with --overwrite. The input is replaced only by a complete workbook.

Options (each overrides one field of the settings file for this run):
  --columns LIST          columns to mask, e.g. "B,D,AA" (empty: every text of the workbook);
                          also header texts, mixed with letters: "氏名,電話番号,E" chooses in
                          each worksheet the columns whose header cell holds that text (a text
                          that reads as a column letter is the letter: "h:ID" for the header)
  --header-row N          the row of the header texts (default 1); with header texts in the
                          list it stays readable
  --keep-header           keep the header row readable also when columns are letters
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
  --hint TEXT             hint shown when a wrong password (or authentication file) is used
  --key-file FILE         authenticate with the contents of FILE instead of a password
  --settings FILE         read the settings from FILE (it must exist)

Safety:
  --force                 replace an existing "●NAME"/"〇NAME" that is not the input,
                          overwrite an input that has other names (hard links), and restore
                          a masked workbook that was changed after masking (without it such
                          a workbook is refused: restoring would lose the changes)
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
                          (input, output, action, status, message; after a masking also
                          shared_strings, cells, shapes, complete and warnings: a list of
                          {kind, parts}; with --suggest also suggestion: the columns per
                          worksheet and why)
  -j N                    process N files at once
  -h, --help              this text
  --version               the program's name and version

Report: after each masking, the line of the file counts the masked shared strings
(strings=), the shared-string cells of the chosen columns (cells=) and the masked shape
texts (shapes=). Warnings follow on standard error: nothing was masked, or a masked text
is still readable in another part of the workbook (comments, charts, pivot caches,
formula results, ...), each named there; the texts themselves are never printed.

Exit status: 0 all processed, masking complete; 1 at least one failed; 2 usage error;
             3 the only failures were refused passwords or authentication files;
             4 all processed, with warnings: nothing was masked, a header text was missing
               in some worksheets, a kept header shows masked, or something masked is
               still readable elsewhere in the workbook (also inspect --leaks finding any).

Examples:
  hushcel --columns B,C --password-file pw.txt customers.xlsx
  hushcel --columns "氏名,電話番号,h:ID" --password-file pw.txt customers.xlsx
  echo "$PW" | hushcel restore --password-file - ●customers.xlsx
  hushcel mask --key-file ~/usb/hushcel.key --hint "the blue stick" --overwrite *.xlsx
  hushcel inspect --json ●customers.xlsx
  hushcel inspect --suggest customers.xlsx
  HUSHCEL_PASSWORD=secret hushcel -j 4 reports/*.xlsx
)";

}  // namespace hsc::cli
