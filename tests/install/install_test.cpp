// `cmake --install` of this build into a fresh folder: each file in its standard place,
// each read by the tool that reads it on a user's machine (man, bash, desktop-file-validate).
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <set>
#include <sys/wait.h>

#include "support/temp_dir.h"

namespace hsc {
namespace {

namespace fs = std::filesystem;

struct Outcome {
    int exit_code = -1;
    std::string out;  // standard output and standard error together
};

Outcome run_command(const std::string& command) {
    Outcome r;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return r;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) r.out.append(buffer, n);
    const int status = ::pclose(pipe);
    r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

std::string quoted(const fs::path& p) { return "'" + p.string() + "'"; }

// One installed tree for every test of this file.
class Install : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new test::TempDir;
        const Outcome r = run_command(std::string(HUSHCEL_CMAKE) + " --install " + quoted(test::binary_dir()) + " --prefix " +
                          quoted(prefix()));
        ASSERT_EQ(r.exit_code, 0) << r.out;
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static fs::path prefix() { return dir_->path() / "usr"; }

    // The long options and short ones that `hushcel --help` lists.
    static std::set<std::string> help_options() {
        const Outcome help = run_command(quoted(prefix() / "bin/hushcel") + " --help");
        EXPECT_EQ(help.exit_code, 0);
        std::set<std::string> options;
        static const std::regex option(R"((^|[\s,])(--?[a-z][a-z-]*))");
        for (std::sregex_iterator it(help.out.begin(), help.out.end(), option), end; it != end; ++it)
            options.insert((*it)[2]);
        return options;
    }

private:
    static inline test::TempDir* dir_ = nullptr;
};

TEST_F(Install, PutsEachFileInItsStandardPlace) {
    for (const char* file : {"bin/hushcel", "bin/hushcel-gui", "share/man/man1/hushcel.1.gz",
                             "share/bash-completion/completions/hushcel", "share/applications/hushcel.desktop",
                             "share/icons/hicolor/64x64/apps/hushcel.png",
                             "share/icons/hicolor/256x256/apps/hushcel.png", "share/doc/hushcel/copyright"})
        EXPECT_TRUE(fs::is_regular_file(prefix() / file)) << file;

    const Outcome version = run_command(quoted(prefix() / "bin/hushcel") + " --version");
    EXPECT_EQ(version.exit_code, 0);
    EXPECT_EQ(version.out.substr(0, version.out.find('\n')), std::string("Hushcel ") + HUSHCEL_VERSION);
}

TEST_F(Install, IconsHaveTheSizeOfTheirFolder) {
    for (int size : {64, 256}) {
        const std::string s = std::to_string(size);
        const std::string png =
            test::read_file(prefix() / ("share/icons/hicolor/" + s + "x" + s + "/apps/hushcel.png"));
        ASSERT_GE(png.size(), 24u);
        ASSERT_EQ(png.substr(1, 3), "PNG");
        auto be32 = [&](std::size_t at) {
            std::uint32_t v = 0;
            for (std::size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<unsigned char>(png[at + i]);
            return v;
        };
        EXPECT_EQ(be32(16), static_cast<std::uint32_t>(size));  // IHDR width
        EXPECT_EQ(be32(20), static_cast<std::uint32_t>(size));  // IHDR height
    }
}

TEST_F(Install, DesktopEntryOpensWorkbooksInTheWindow) {
    const fs::path entry = prefix() / "share/applications/hushcel.desktop";
    const Outcome valid = run_command("desktop-file-validate " + quoted(entry));
    EXPECT_EQ(valid.exit_code, 0) << valid.out;
    EXPECT_EQ(valid.out, "");  // not even a hint
    const std::string text = test::read_file(entry);
    EXPECT_NE(text.find("\nExec=hushcel-gui %F\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nIcon=hushcel\n"), std::string::npos) << text;
    for (const char* type : {"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet;",
                             "application/vnd.ms-excel.sheet.macroEnabled.12;"})
        EXPECT_NE(text.find(type), std::string::npos) << type;
}

TEST_F(Install, ManualPageDocumentsEveryOptionOfTheHelp) {
    const fs::path page = prefix() / "share/man/man1/hushcel.1.gz";
    // Rendered as a user sees it, wide enough that no option is hyphenated.
    const Outcome man = run_command("LC_ALL=C.UTF-8 MANWIDTH=200 MAN_KEEP_FORMATTING= man --warnings -l " + quoted(page) +
                        " | col -b");
    ASSERT_EQ(man.exit_code, 0) << man.out;
    EXPECT_EQ(man.out.find("warning:"), std::string::npos) << man.out;  // what groff says of a fault
    for (const auto& option : help_options())
        EXPECT_NE(man.out.find(option), std::string::npos) << option << " is not in the manual page";
    for (const char* section : {"SYNOPSIS", "EXIT STATUS", "ENVIRONMENT", "FILES", "EXAMPLES"})
        EXPECT_NE(man.out.find(std::string("\n") + section + "\n"), std::string::npos) << section;
    EXPECT_NE(man.out.find(std::string("Hushcel ") + HUSHCEL_VERSION), std::string::npos);
    for (const char* command : {"auto", "mask", "restore", "inspect"})
        EXPECT_NE(man.out.find(std::string("\n       ") + command), std::string::npos) << command;
}

TEST_F(Install, CompletionOffersExactlyTheOptionsOfTheHelp) {
    const fs::path script = prefix() / "share/bash-completion/completions/hushcel";
    auto complete = [&](const std::string& words, const fs::path& cwd) {
        const Outcome r = run_command("cd " + quoted(cwd) + " && bash --norc --noprofile -c 'source \"" + script.string() +
                          "\"; COMP_WORDS=(" + words + "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _hushcel; "
                          "printf \"%s\\n\" \"${COMPREPLY[@]}\"'");
        EXPECT_EQ(r.exit_code, 0) << r.out;
        std::set<std::string> offered;
        std::size_t at = 0;
        for (std::size_t nl; (nl = r.out.find('\n', at)) != std::string::npos; at = nl + 1)
            if (nl > at) offered.insert(r.out.substr(at, nl - at));
        return offered;
    };
    std::set<std::string> options = help_options();
    options.insert("--");  // the end of the options
    options.insert("--jobs");  // -j's long form, not in the help
    EXPECT_EQ(complete("hushcel -", prefix()), options);

    test::TempDir dir;
    for (const char* f : {"a.xlsx", "b.XLSM", "notes.txt", "c.xls"}) test::write_file(dir / f, "");
    fs::create_directory(dir / "sub");
    EXPECT_EQ(complete("hushcel \"\"", dir.path()),
              (std::set<std::string>{"auto", "mask", "restore", "inspect", "a.xlsx", "b.XLSM", "sub"}));
    EXPECT_EQ(complete("hushcel mask \"\"", dir.path()), (std::set<std::string>{"a.xlsx", "b.XLSM", "sub"}));
    EXPECT_EQ(complete("hushcel --strength \"\"", dir.path()), (std::set<std::string>{"strong", "medium", "weak"}));
    EXPECT_EQ(complete("hushcel --alpha-mask = \"\"", dir.path()), (std::set<std::string>{"*", "X", "none"}));
    EXPECT_EQ(complete("hushcel --columns B \"\"", dir.path()),
              (std::set<std::string>{"auto", "mask", "restore", "inspect", "a.xlsx", "b.XLSM", "sub"}));
    EXPECT_EQ(complete("hushcel --settings n", dir.path()), (std::set<std::string>{"notes.txt"}));
}

}  // namespace
}  // namespace hsc
