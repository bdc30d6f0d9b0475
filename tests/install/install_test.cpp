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
                             "share/man/man1/hushcel-gui.1.gz", "share/man/ja/man1/hushcel.1.gz",
                             "share/man/ja/man1/hushcel-gui.1.gz",
                             "share/bash-completion/completions/hushcel", "share/applications/hushcel.desktop",
                             "share/metainfo/example.kestril.Hushcel.metainfo.xml",
                             "share/icons/hicolor/scalable/apps/hushcel.svg",
                             "share/doc/hushcel/README.md", "share/doc/hushcel/json-output.md",
                             "share/doc/hushcel/copyright",
                             "share/doc/hushcel-gui/copyright"})
        EXPECT_TRUE(fs::is_regular_file(prefix() / file)) << file;

    const Outcome version = run_command(quoted(prefix() / "bin/hushcel") + " --version");
    EXPECT_EQ(version.exit_code, 0);
    EXPECT_EQ(version.out.substr(0, version.out.find('\n')), std::string("Hushcel ") + HUSHCEL_VERSION);
}

// Every size is rendered from the one vector source, which is installed too.
// The JSON reference is the README's section, whole: the layout and every kind.
TEST_F(Install, JsonReferenceIsTheReadmeSectionWhole) {
    const std::string reference = test::read_file(prefix() / "share/doc/hushcel/json-output.md");
    const std::string readme = test::read_file(test::source_dir() / "README.md");
    ASSERT_TRUE(reference.starts_with("### JSON output\n"));
    EXPECT_NE(readme.find(reference.substr(0, reference.size() - 1)), std::string::npos);
    for (const char* kind : {"`schema`", "`kind`", "`masked`", "`restored`", "`wrong-password`", "`internal-error`"})
        EXPECT_NE(reference.find(kind), std::string::npos) << kind;
    EXPECT_EQ(reference.find("\n## "), std::string::npos);  // no section after it
}

TEST_F(Install, IconsHaveTheSizeOfTheirFolder) {
    EXPECT_EQ(test::read_file(prefix() / "share/icons/hicolor/scalable/apps/hushcel.svg"),
              test::read_file(test::source_dir() / "resources/icon.svg"));
    for (int size : {16, 24, 32, 48, 64, 128, 256, 512}) {
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

// The manual page `page` (gzipped) as a user reads it, and what groff said about it.
Outcome rendered(const fs::path& page, const std::string& locale = "C.UTF-8") {
    return run_command("LC_ALL=" + locale + " MANWIDTH=200 MAN_KEEP_FORMATTING= man --warnings -l " + quoted(page) + " | col -b");
}

// What groff says of a fault, leaving out the line breaks it cannot find in Japanese text
// (it breaks only at spaces).
std::string faults(const std::string& text) {
    std::string found;
    std::size_t at = 0;
    for (std::size_t nl; (nl = text.find('\n', at)) != std::string::npos; at = nl + 1) {
        const std::string line = text.substr(at, nl - at);
        const bool from_groff = line.find("troff") != std::string::npos && line.find("warning") != std::string::npos;
        if (from_groff && line.find("can't break line") == std::string::npos)
            found += line + "\n";
    }
    return found;
}

// Every page in both languages renders without a fault, names the version, and the
// Japanese page of the command line documents every option of its help.
TEST_F(Install, ManualPagesInBothLanguagesRenderAndTheJapaneseOneHasEveryOption) {
    for (const char* page : {"share/man/man1/hushcel-gui.1.gz", "share/man/ja/man1/hushcel.1.gz",
                             "share/man/ja/man1/hushcel-gui.1.gz"}) {
        const Outcome man = rendered(prefix() / page);
        ASSERT_EQ(man.exit_code, 0) << page << man.out;
        EXPECT_EQ(faults(man.out), "") << page;
        EXPECT_NE(man.out.find(std::string("Hushcel ") + HUSHCEL_VERSION), std::string::npos) << page;
    }
    const Outcome ja = rendered(prefix() / "share/man/ja/man1/hushcel.1.gz");
    for (const auto& option : help_options())
        EXPECT_NE(ja.out.find(option), std::string::npos) << option << " is not in the Japanese manual page";
    for (const char* section : {"名前", "書式", "説明", "オプション", "例"})
        EXPECT_NE(ja.out.find(std::string("\n") + section + "\n"), std::string::npos) << section;
    // The window's page names every menu command of the window.
    const Outcome gui = rendered(prefix() / "share/man/man1/hushcel-gui.1.gz");
    for (const char* command : {"Open...", "Load profile...", "Save profile...", "Stop using the profile",
                                "Header row", "Memory limit", "Re-encrypt automatically"})
        EXPECT_NE(gui.out.find(command), std::string::npos) << command;
}

// The commands the manual pages show, as they stand there, each in a folder of the files
// they name: every one ends with exit status 0.
TEST_F(Install, EveryExampleOfTheManualPagesRuns) {
    const fs::path bin = prefix() / "bin";
    std::vector<std::string> commands;
    for (const char* page : {"share/man/man1/hushcel.1.gz", "share/man/ja/man1/hushcel.1.gz"}) {
        const Outcome source = run_command("gzip -dc " + quoted(prefix() / page));
        ASSERT_EQ(source.exit_code, 0);
        bool inside = false;
        std::size_t at = 0, found = 0;
        for (std::size_t nl; (nl = source.out.find('\n', at)) != std::string::npos; at = nl + 1) {
            std::string line = source.out.substr(at, nl - at);
            if (line == ".EX") { inside = true; continue; }
            if (line == ".EE") { inside = false; continue; }
            if (!inside) continue;
            // The escapes these lines use: \- a hyphen, \e a backslash, \[uXXXX] a character.
            for (std::size_t p; (p = line.find("\\-")) != std::string::npos;) line.replace(p, 2, "-");
            for (std::size_t p; (p = line.find("\\[u25CF]")) != std::string::npos;) line.replace(p, 8, "●");
            for (std::size_t p; (p = line.find("\\e")) != std::string::npos;) line.replace(p, 2, "\\");
            ASSERT_EQ(line.find("\\["), std::string::npos) << "an escape this test does not know: " << line;
            commands.push_back(line);
            ++found;
        }
        EXPECT_GE(found, 5u) << page;
    }
    for (const std::string& command : commands) {
        SCOPED_TRACE(command);
        // A folder with what the examples name: a workbook and its masked copy, a folder of
        // reports, the password in a file and in $PW, a key file under $HOME.
        test::TempDir dir;
        const fs::path sample = test::source_dir() / "examples/sample_customers.xlsx";
        fs::copy_file(sample, dir / "customers.xlsx");
        fs::create_directories(dir / "reports");
        fs::create_directories(dir / "home/usb");
        fs::copy_file(sample, dir / "reports/april.xlsx");
        fs::copy_file(sample, dir / "reports/may.xlsx");
        test::write_file(dir / "pw.txt", "example words\n");
        test::write_file(dir / "home/usb/hushcel.key", "a key file of more than sixteen bytes\n");
        const std::string env = "cd " + quoted(dir.path()) + " && export PATH=" + quoted(bin) + ":\"$PATH\" HOME=" +
                                quoted(dir / "home") + " PW='example words' LC_ALL=C.UTF-8 && unset HUSHCEL_PASSWORD && ";
        if (command.find("●customers.xlsx") != std::string::npos) {
            const Outcome masked = run_command(env + "hushcel -q --columns B --password-file pw.txt customers.xlsx");
            ASSERT_EQ(masked.exit_code, 0) << masked.out;
        }
        const Outcome run = run_command(env + "( " + command + " ) </dev/null");  // no terminal to prompt on
        EXPECT_EQ(run.exit_code, 0) << command << "\n" << run.out;
    }
}

// The command-line package holds no part of the window and links no Qt; the window's
// package holds the window and what only it needs.
TEST_F(Install, ComponentsSplitTheCommandLineFromTheWindow) {
    test::TempDir dir;
    for (const char* component : {"cli", "gui"}) {
        const Outcome r = run_command(std::string(HUSHCEL_CMAKE) + " --install " + quoted(test::binary_dir()) +
                                      " --component " + component + " --prefix " + quoted(dir / component / "usr"));
        ASSERT_EQ(r.exit_code, 0) << r.out;
    }
    const fs::path cli = dir / "cli/usr", gui = dir / "gui/usr";
    for (const char* file : {"bin/hushcel", "share/man/man1/hushcel.1.gz", "share/man/ja/man1/hushcel.1.gz",
                             "share/doc/hushcel/README.md", "share/bash-completion/completions/hushcel"}) {
        EXPECT_TRUE(fs::is_regular_file(cli / file)) << file;
        EXPECT_FALSE(fs::exists(gui / file)) << file;
    }
    for (const char* file : {"bin/hushcel-gui", "share/applications/hushcel.desktop", "share/man/man1/hushcel-gui.1.gz",
                             "share/metainfo/example.kestril.Hushcel.metainfo.xml",
                             "share/icons/hicolor/256x256/apps/hushcel.png"}) {
        EXPECT_TRUE(fs::is_regular_file(gui / file)) << file;
        EXPECT_FALSE(fs::exists(cli / file)) << file;
    }
    const Outcome libraries = run_command("ldd " + quoted(cli / "bin/hushcel"));
    ASSERT_EQ(libraries.exit_code, 0);
    EXPECT_EQ(libraries.out.find("libQt"), std::string::npos) << libraries.out;
    // The window's package depends on the command line's of the same version.
    const std::string config = test::read_file(test::binary_dir() / "CPackConfig.cmake");
    EXPECT_NE(config.find(std::string("set(CPACK_DEBIAN_GUI_PACKAGE_DEPENDS \"hushcel (= ") + HUSHCEL_VERSION + ")\")"),
              std::string::npos);
}

TEST_F(Install, AppStreamMetadataValidatesAndNamesTheDesktopEntry) {
    const fs::path metainfo = prefix() / "share/metainfo/example.kestril.Hushcel.metainfo.xml";
    const Outcome valid = run_command("appstreamcli validate --no-net " + quoted(metainfo));
    EXPECT_EQ(valid.exit_code, 0) << valid.out;
    const std::string text = test::read_file(metainfo);
    EXPECT_NE(text.find("<launchable type=\"desktop-id\">hushcel.desktop</launchable>"), std::string::npos);
    EXPECT_TRUE(fs::is_regular_file(prefix() / "share/applications/hushcel.desktop"));
}

// One version: the programs, the packages, the manual pages and the AppStream release.
TEST_F(Install, OneVersionStringEverywhere) {
    const std::string version = HUSHCEL_VERSION;
    const Outcome cli = run_command(quoted(prefix() / "bin/hushcel") + " --version");
    EXPECT_EQ(cli.out.substr(0, cli.out.find('\n')), "Hushcel " + version);
    const std::string config = test::read_file(test::binary_dir() / "CPackConfig.cmake");
    EXPECT_NE(config.find("set(CPACK_PACKAGE_VERSION \"" + version + "\")"), std::string::npos);
    for (const char* page : {"share/man/man1/hushcel.1.gz", "share/man/man1/hushcel-gui.1.gz",
                             "share/man/ja/man1/hushcel.1.gz", "share/man/ja/man1/hushcel-gui.1.gz"}) {
        const Outcome source = run_command("gzip -dc " + quoted(prefix() / page) + " | grep '^\\.TH'");
        EXPECT_NE(source.out.find("\"Hushcel " + version + "\""), std::string::npos) << page << ": " << source.out;
    }
    const std::string metainfo = test::read_file(prefix() / "share/metainfo/example.kestril.Hushcel.metainfo.xml");
    EXPECT_NE(metainfo.find("<release version=\"" + version + "\""), std::string::npos);
    // Every version-like text in the sources of these files is the build's version.
    static const std::regex other(R"(\b[0-9]+\.[0-9]+\.[0-9]+(\.[0-9]+)?\b)");
    for (const std::string& text : {metainfo, test::read_file(prefix() / "share/applications/hushcel.desktop")})
        for (std::sregex_iterator it(text.begin(), text.end(), other), end; it != end; ++it)
            EXPECT_TRUE((*it)[0] == version || (*it)[0] == "1.0" || (*it)[0] == "1.1") << (*it)[0];
}

}  // namespace
}  // namespace hsc
