// What --json prints, as a script reads it: every outcome, each from a real cause, gives
// one object per line that Python's json module parses, with `schema`, a `kind` from the
// README's table, `message`, and `backups` a list wherever it is printed.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "cli_run.h"
#include "support/raw_zip.h"
#include "support/temp_dir.h"
#include "support/workbook_fixture.h"
#include "support/zip_builder.h"

namespace hsc {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> TEXTS = {"山田太郎", "東京都新宿区1-2-3", "090-1234-5678",
                                        "佐藤花子", "大阪市北区",        "06-1111-2222"};

// Runs a shell line in `dir`; HUSHCEL stands for the program. Standard output goes to
// `out` when given.
int sh(const fs::path& dir, const std::string& line, const fs::path& out = "/dev/null") {
    const std::string binary = "'" + (test::binary_dir() / "hushcel").string() + "'";
    std::string script = line;
    for (std::size_t at = 0; (at = script.find("HUSHCEL", at)) != std::string::npos;) {
        if (script.compare(at, 8, "HUSHCEL_") == 0) {  // HUSHCEL_PASSWORD=...
            at += 8;
            continue;
        }
        script.replace(at, 7, binary);
        at += binary.size();
    }
    test::write_file(dir.parent_path() / (dir.filename().string() + ".sh"),
                     "cd '" + dir.string() + "' && unset LC_ALL LC_MESSAGES && export HOME=/nonexistent "
                     "XDG_CONFIG_HOME=/nonexistent LANG=ja_JP.UTF-8 HUSHCEL_PASSWORD='correct horse' && " + script + "\n");
    return test::run_shell("bash '" + (dir.parent_path() / (dir.filename().string() + ".sh")).string() + "' >'" +
                           out.string() + "' 2>/dev/null");
}

// Reads every line with Python's json module and prints the kinds, one a line; exits 1
// on a line that is not an object with the members every object has.
constexpr const char* CHECKER = R"(import json, sys
for line in open(sys.argv[1], encoding='utf-8'):
    o = json.loads(line)
    assert isinstance(o, dict), line
    assert o.get('schema') == 1 and type(o['schema']) is int, line
    assert isinstance(o.get('kind'), str) and o['kind'], line
    assert isinstance(o.get('message'), str), line
    if o.get('action') == 'inspect' and 'suggestion' not in o:
        assert isinstance(o.get('backups'), list), line
    if o['kind'] == 'usage':
        assert set(o) == {'schema', 'kind', 'message'} and o['message'], line
    elif o['kind'] in ('masked', 'masked-with-warnings', 'restored', 'inspected', 'inspected-with-warnings', 'suggested'):
        assert o['status'] == 0 and o['message'] == '', line
    else:
        assert o['status'] != 0 and o['message'], line
    print(o['kind'])
)";

std::string kinds_of(const fs::path& out) {
    test::TempDir tmp;
    test::write_file(tmp / "check.py", CHECKER);
    const int rc = test::run_shell("python3 '" + (tmp / "check.py").string() + "' '" + out.string() + "' >'" +
                                   (tmp / "kinds").string() + "'");
    if (rc != 0) return "(not valid: " + test::read_file(out) + ")";
    return test::read_file(tmp / "kinds");
}

// Rewrites a zip with Python's zipfile: `python` edits `d` (the bytes of entry `name`)
// and `comment` (the footer is the zip comment).
void rewrite_zip(const fs::path& dir, const std::string& file, const std::string& python) {
    // Beside the folder, named after it: tests run in parallel share the parent.
    const fs::path script = dir.parent_path() / (dir.filename().string() + ".rewrite.py");
    test::write_file(script,
                     "import zipfile\n"
                     "src = zipfile.ZipFile('" + file + "')\n"
                     "items = [(i.filename, src.read(i.filename)) for i in src.infolist()]\n"
                     "comment = src.comment\nsrc.close()\n"
                     "with zipfile.ZipFile('" + file + "', 'w', zipfile.ZIP_DEFLATED) as z:\n"
                     "    for name, d in items:\n"
                     "        " + python + "\n"
                     "        z.writestr(name, d)\n"
                     "    z.comment = comment\n");
    ASSERT_EQ(test::run_shell("cd '" + dir.string() + "' && python3 '" + script.string() + "'"), 0);
    fs::remove(script);
}

void book(const fs::path& d) { test::write_zip(d / "book.xlsx", test::small_workbook(TEXTS)); }
void masked(const fs::path& d) {
    book(d);
    ASSERT_EQ(sh(d, "HUSHCEL --columns A book.xlsx"), 0);
}
void masked_with_key(const fs::path& d) {
    book(d);
    test::write_file(d / "k1.key", "the first key file");
    test::write_file(d / "k2.key", "another key file");
    ASSERT_EQ(sh(d, "HUSHCEL --columns A --key-file k1.key book.xlsx"), 0);
}
void masked_with_key_compat(const fs::path& d) {
    book(d);
    test::write_file(d / "k1.key", "the first key file");
    test::write_file(d / "k2.key", "another key file");
    ASSERT_EQ(sh(d, "HUSHCEL --compat --columns A --key-file k1.key book.xlsx"), 0);
}

struct JsonCase {
    const char* label;
    std::function<void(const fs::path&)> setup;
    std::string line;
    int exit_code;
    std::string kind;
    const char* corpus_file = nullptr;  // copied in as input.xlsx; the case is skipped without the corpus
};
void PrintTo(const JsonCase& c, std::ostream* os) { *os << c.label; }

const std::string LONG_NAME = std::string(248, 'n') + ".xlsx";  // "●" makes the output name too long

const JsonCase CASES[] = {
    {"masked", book, "HUSHCEL --json --columns A book.xlsx", 0, "masked"},
    // XFD holds nothing: the output is written, but nothing in it is hidden.
    {"masked_with_warnings", book, "HUSHCEL --json --columns XFD book.xlsx", 4, "masked-with-warnings"},
    {"restored", masked, "HUSHCEL --json ●book.xlsx", 0, "restored"},
    {"inspected", masked, "HUSHCEL --json inspect ●book.xlsx", 0, "inspected"},
    // Not a package: its backups are an empty list, not null.
    {"inspected_unreadable", [](const fs::path& d) { test::write_file(d / "notes.txt", "plain text"); },
     "HUSHCEL --json inspect notes.txt", 0, "inspected"},
    {"inspected_with_warnings",
     [](const fs::path& d) {
         auto entries = test::small_workbook(TEXTS);
         entries.push_back({"docProps/custom.xml", "<Properties><property><lpwstr>山田太郎</lpwstr></property></Properties>"});
         test::write_zip(d / "book.xlsx", entries);
         ASSERT_EQ(sh(d, "HUSHCEL --columns A book.xlsx"), 4);
     },
     "HUSHCEL --json inspect --leaks ●book.xlsx", 4, "inspected-with-warnings"},
    {"suggested", book, "HUSHCEL --json inspect --suggest book.xlsx", 0, "suggested"},
    {"usage_unknown_option", book, "HUSHCEL --no-such-option --json book.xlsx", 2, "usage"},
    {"usage_same_file_twice", book, "HUSHCEL --json book.xlsx ./book.xlsx", 2, "usage"},
    {"wrong_password", masked, "HUSHCEL_PASSWORD='not the one' HUSHCEL --json ●book.xlsx", 3, "wrong-password"},
    {"wrong_key_file", masked_with_key_compat, "HUSHCEL --json --key-file k2.key ●book.xlsx", 3, "wrong-key-file"},
    {"wrong_password_or_key_file", masked_with_key, "HUSHCEL --json --key-file k2.key ●book.xlsx", 3,
     "wrong-password-or-key-file"},
    {"wrong_password_with_the_key_file", masked_with_key,
     "HUSHCEL_PASSWORD='not the one' HUSHCEL --json --key-file k1.key ●book.xlsx", 3, "wrong-password-or-key-file"},
    {"key_file_required", masked_with_key, "HUSHCEL --json ●book.xlsx", 3, "key-file-required"},
    {"key_file_unreadable", book, "HUSHCEL --json --key-file missing.key book.xlsx", 1, "key-file-unreadable"},
    {"already_masked", masked, "HUSHCEL --json mask ●book.xlsx", 1, "already-masked"},
    {"not_masked", book, "HUSHCEL --json restore book.xlsx", 1, "not-masked"},
    {"changed_since_masking",
     [](const fs::path& d) {
         masked(d);
         rewrite_zip(d, "●book.xlsx",
                     "d = d.replace(b'</sst>', b'<si><t>added later</t></si></sst>') if name == 'xl/sharedStrings.xml' else d");
     },
     "HUSHCEL --json ●book.xlsx", 1, "changed-since-masking"},
    {"footer_missing",
     [](const fs::path& d) {
         masked(d);
         rewrite_zip(d, "●book.xlsx", "comment = b''");
     },
     "HUSHCEL --json ●book.xlsx", 1, "footer-missing"},
    {"hard_link",
     [](const fs::path& d) {
         book(d);
         fs::create_hard_link(d / "book.xlsx", d / "other-name.xlsx");
     },
     "HUSHCEL --json --overwrite book.xlsx", 1, "hard-link"},
    {"output_is_input",
     [](const fs::path& d) {
         book(d);
         fs::create_symlink("book.xlsx", d / "●book.xlsx");
     },
     "HUSHCEL --json book.xlsx", 1, "output-is-input"},
    {"output_exists",
     [](const fs::path& d) {
         book(d);
         test::write_file(d / "●book.xlsx", "someone's file");
     },
     "HUSHCEL --json book.xlsx", 1, "output-exists"},
    {"too_large", book, "HUSHCEL --json --max-memory 1 book.xlsx", 1, "too-large"},
    // The table's header cell A1 and the data cell A2 share a string: masking A would
    // change the header.
    {"unsupported_table",
     [](const fs::path& d) {
         auto entries = test::workbook_with_table(TEXTS);
         for (auto& e : entries)
             if (e.name == "xl/worksheets/sheet1.xml") {
                 const std::string a2 = "r=\"A2\" t=\"s\"><v>3</v>";
                 ASSERT_NE(e.data.find(a2), std::string::npos);
                 e.data.replace(e.data.find(a2), a2.size(), "r=\"A2\" t=\"s\"><v>0</v>");
             }
         test::write_zip(d / "book.xlsx", entries);
     },
     "HUSHCEL --json --columns A book.xlsx", 1, "unsupported-table"},
    {"damaged",
     [](const fs::path& d) {
         // One byte of the stored shared strings changed: its checksum no longer matches.
         std::string zip = test::build_zip(test::small_workbook(TEXTS), {.deflate = false});
         const std::size_t at = zip.find("山田太郎");
         ASSERT_NE(at, std::string::npos);
         zip[at + 2] = '\x81';
         test::write_file(d / "book.xlsx", zip);
     },
     "HUSHCEL --json book.xlsx", 1, "damaged"},
    {"old_xls",
     [](const fs::path& d) {
         std::string cfb("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
         cfb.resize(4096, '\0');
         test::write_file(d / "old.xls", cfb);
     },
     "HUSHCEL --json old.xls", 1, "old-xls"},
    // The same old workbook under its own name and saved under an .xlsx name: the kind
    // says what the file is.
    {"old_xls_with_its_workbook_stream", [](const fs::path& d) { test::write_file(d / "old.xls", test::compound_file(false)); },
     "HUSHCEL --json old.xls", 1, "old-xls"},
    {"old_xls_named_xlsx", [](const fs::path& d) { test::write_file(d / "old.xlsx", test::compound_file(false)); },
     "HUSHCEL --json old.xlsx", 1, "old-xls"},
    // Damage a larger memory limit would not mend: no central directory (long and short),
    // and an entry whose checksum and size no data could give.
    {"damaged_without_a_directory",
     [](const fs::path& d) {
         const std::string zip = test::build_zip(test::small_workbook(TEXTS));
         test::write_file(d / "book.xlsx", zip.substr(0, zip.find("PK\x01\x02")));
     },
     "HUSHCEL --json book.xlsx", 1, "damaged"},
    {"damaged_and_short",
     [](const fs::path& d) { test::write_file(d / "book.xlsx", test::build_zip(test::small_workbook(TEXTS)).substr(0, 300)); },
     "HUSHCEL --json book.xlsx", 1, "damaged"},
    {"damaged_checksum_and_size",
     [](const fs::path& d) {
         std::vector<test::RawEntry> raw;
         for (const auto& e : test::small_workbook(TEXTS)) {
             test::RawEntry x{.name = e.name, .data = e.data};
             if (e.name == "xl/sharedStrings.xml") {
                 x.crc = 0xDEADBEEF;
                 x.uncompressed_size = 0xFFFFFFF0u;
             }
             raw.push_back(x);
         }
         test::write_file(d / "book.xlsx", test::build_raw_zip(raw));
     },
     "HUSHCEL --json book.xlsx", 1, "damaged"},
    {"read_password", nullptr, "HUSHCEL --json input.xlsx", 1, "read-password", "poi/protect.xlsx"},
    {"unsupported_file", [](const fs::path& d) { test::write_file(d / "notes.xlsx", "plain text"); },
     "HUSHCEL --json notes.xlsx", 1, "unsupported-file"},
    {"not_found", nullptr, "HUSHCEL --json nope.xlsx", 1, "not-found"},
    // A header text that no worksheet's header row holds chooses nothing: a mistake in the list.
    {"header_not_found", book, "HUSHCEL --json --columns h:会員番号 book.xlsx", 1, "header-not-found"},
    {"cannot_open", [](const fs::path& d) { fs::create_directory(d / "folder.xlsx"); }, "HUSHCEL --json folder.xlsx",
     1, "cannot-open"},
    // The write fails with EFBIG: a limit, not a full disk.
    {"file_size_limit", book, "ulimit -f 2; HUSHCEL --json book.xlsx", 1, "file-size-limit"},
    {"cannot_save", [](const fs::path& d) { test::write_zip(d / LONG_NAME, test::small_workbook(TEXTS)); },
     "HUSHCEL --json " + LONG_NAME, 1, "cannot-save"},
};

class CliJson : public ::testing::TestWithParam<JsonCase> {};

TEST_P(CliJson, EachOutcomeHasItsKind) {
    const JsonCase& c = GetParam();
    test::TempDir dir;
    if (c.corpus_file) {
        if (test::corpus_dir().empty()) GTEST_SKIP() << "no corpus (HUSHCEL_CORPUS)";
        fs::copy_file(test::corpus_dir() / c.corpus_file, dir / "input.xlsx");
    }
    if (c.setup) c.setup(dir.path());
    if (HasFatalFailure()) return;
    const fs::path out = dir / "out.json";
    EXPECT_EQ(sh(dir.path(), c.line, out), c.exit_code) << test::read_file(out);
    EXPECT_EQ(kinds_of(out), c.kind + "\n");
}

INSTANTIATE_TEST_SUITE_P(Outcomes, CliJson, ::testing::ValuesIn(CASES),
                         [](const auto& info) { return std::string(info.param.label); });

// A run of several files prints one object per file, in the order given.
TEST(CliJsonRun, OneObjectPerFileInOrder) {
    test::TempDir dir;
    book(dir.path());
    test::write_file(dir / "notes.xlsx", "plain text");
    const fs::path out = dir / "out.json";
    EXPECT_EQ(sh(dir.path(), "HUSHCEL --json -j 2 --columns A notes.xlsx book.xlsx nope.xlsx", out), 1);
    EXPECT_EQ(kinds_of(out), "unsupported-file\nmasked\nnot-found\n");
}

// The README documents every kind a script can meet.
TEST(CliJsonRun, EveryKindIsInTheReadmeTable) {
    const std::string readme = test::read_file(test::source_dir() / "README.md");
    std::set<std::string> kinds;
    for (const JsonCase& c : CASES) kinds.insert(c.kind);
    for (const std::string& kind : kinds)
        EXPECT_NE(readme.find("| `" + kind + "` |"), std::string::npos) << kind;
}

}  // namespace
}  // namespace hsc
