#include <gtest/gtest.h>

#include <map>

#include "core/catalog.h"
#include "core/status.h"
#include "shell/settings_store.h"
#include "shell/shell.h"
#include "shell/texts.h"
#include "support/temp_dir.h"

namespace hsc {
namespace {
namespace fs = std::filesystem;

// One log of everything the shell does with the outside, in order.
struct Log {
    std::vector<std::string> events;
};

// Reporter that logs and answers from a script (No when it runs dry).
class ScriptedReporter final : public Reporter {
public:
    explicit ScriptedReporter(Log& log) : log_(log) {}
    void error(std::string_view t) override { log_.events.push_back("error: " + std::string(t)); }
    bool ask_yes_no(std::string_view t) override {
        log_.events.push_back("ask: " + std::string(t));
        if (on_ask) on_ask(t);
        if (answers.empty()) return false;
        bool a = answers.front();
        answers.erase(answers.begin());
        return a;
    }
    void info(std::string_view t) override { log_.events.push_back("info: " + std::string(t)); }
    // Unscripted, it asks as a reporter without "for all" does.
    Answer ask_for_all(std::string_view t) override {
        if (all_answers.empty()) return Reporter::ask_for_all(t);
        log_.events.push_back("ask for all: " + std::string(t));
        const Answer a = all_answers.front();
        all_answers.erase(all_answers.begin());
        return a;
    }
    bool cancelled() override { return cancel; }

    std::vector<bool> answers;
    std::vector<Answer> all_answers;  // for the questions that offer to answer for all
    bool cancel = false;
    std::function<void(std::string_view)> on_ask;

private:
    Log& log_;
};

class FakePlatform final : public Platform {
public:
    explicit FakePlatform(Log& log) : log_(log) {}
    int get_file_time(const fs::path& path, FileTime& t) override {
        log_.events.push_back("time " + path.filename().string());
        if (!file_exists) return RC_OPEN;
        t = FileTime{2026, 12, 10, 3, 0, 0, mtime};
        return RC_OK;
    }
    int find_spreadsheet_process() override {
        log_.events.push_back("running?");
        if (running_answers.empty()) return RC_FAIL;
        bool r = running_answers.front();
        running_answers.erase(running_answers.begin());
        return r ? RC_OK : RC_FAIL;
    }
    int open_with_excel(const fs::path& path) override {
        log_.events.push_back("open " + path.filename().string());
        if (app_saves) ++mtime;
        return RC_OK;
    }

    bool app_saves = false;
    bool file_exists = true;
    long mtime = 1;
    std::vector<bool> running_answers;

private:
    Log& log_;
};

class FakeStore final : public SettingsStore {
public:
    int read(MaskSettings& s) override {
        if (!stored) return RC_OPEN;
        s = *stored;
        return RC_OK;
    }
    int write(const MaskSettings& s) override {
        ++writes;
        if (fail) return RC_OPEN;
        stored = s;
        return RC_OK;
    }
    std::optional<MaskSettings> stored;
    int writes = 0;
    bool fail = false;
};

// The pipeline stand-in: a file named "bad*" is rejected with an error, a file named
// "masked*" is restored (in place when overwrite is on), anything else is masked.
struct FakePipeline {
    Log& log;
    std::vector<MaskSettings> seen;
    std::vector<Lang> langs;
    int operator()(const fs::path& in, fs::path& out, const MaskSettings& s, FileContext& ctx, Reporter& r, Lang lang) {
        seen.push_back(s);
        langs.push_back(lang);
        std::string name = in.filename().string();
        log.events.push_back("process " + name);
        if (name.starts_with("bad")) {
            r.error("rejected " + name);
            return RC_FAIL;
        }
        ctx.process_direction = name.starts_with("masked") ? Direction::unmask : Direction::mask;
        const char* prefix = ctx.process_direction == Direction::mask ? "●" : "〇";
        out = s.is_overwrite ? in : in.parent_path() / (prefix + name);
        return RC_OK;
    }
};

class ShellTest : public ::testing::Test {
protected:
    ShellTest()
        : reporter(log), platform(log), pipeline{log, {}},
          shell(store, platform, reporter, [this](auto&&... a) { return pipeline(a...); }) {
        shell.start();
    }
    std::string ask_open(std::string_view output) {
        return "ask: " + say(Lang::ja, Msg::open_output, {output});
    }

    Log log;
    ScriptedReporter reporter;
    FakePlatform platform;
    FakeStore store;
    FakePipeline pipeline;
    Shell shell;
};

TEST_F(ShellTest, ThreeFilesAreProcessedInTurnAndNoDoesNotStopTheNext) {
    reporter.answers = {false, true, false};
    shell.drop({"/d/a.xlsx", "/d/b.xlsx", "/d/c.xlsx"}, ControlValues{});
    EXPECT_EQ(log.events, (std::vector<std::string>{
                              "process a.xlsx", ask_open("/d/●a.xlsx"),
                              "process b.xlsx", ask_open("/d/●b.xlsx"), "open ●b.xlsx",
                              "process c.xlsx", ask_open("/d/●c.xlsx")}));
}

// The window's list learns of each file before the question whether to open it, with
// the failure texts that were also shown; the re-encryption's masking is told as well.
TEST_F(ShellTest, EveryFileOutcomeIsToldBeforeTheQuestion) {
    std::vector<std::string> told;
    shell.on_file_done([&](const FileOutcome& o) {
        told.push_back(outcome_text(o));
        log.events.push_back("told " + o.input.filename().string());
    });
    shell.drop({"/d/bad.xlsx", "/d/a.xlsx", "/d/masked.xlsx"}, ControlValues{});
    EXPECT_EQ(log.events, (std::vector<std::string>{
                              "process bad.xlsx", "error: rejected bad.xlsx", "told bad.xlsx",
                              "process a.xlsx", "told a.xlsx", ask_open("/d/●a.xlsx"),
                              "process masked.xlsx", "told masked.xlsx", ask_open("/d/〇masked.xlsx")}));
    EXPECT_EQ(told, (std::vector<std::string>{"bad.xlsx は処理できませんでした: rejected bad.xlsx",
                                              "a.xlsx をマスクしました → ●a.xlsx",
                                              "masked.xlsx を復元しました → 〇masked.xlsx"}));
}

// The window's language reaches the pipeline, and the outcome is told in it.
TEST_F(ShellTest, TheShellsLanguageReachesThePipelineAndTheOutcome) {
    std::vector<std::string> told;
    shell.on_file_done([&](const FileOutcome& o) { told.push_back(outcome_text(o)); });
    shell.drop({"/d/a.xlsx"}, ControlValues{});
    shell.set_lang(Lang::en);
    shell.drop({"/d/bad.xlsx", "/d/masked.xlsx"}, ControlValues{});
    EXPECT_EQ(pipeline.langs, (std::vector<Lang>{Lang::ja, Lang::en, Lang::en}));
    EXPECT_EQ(told, (std::vector<std::string>{"a.xlsx をマスクしました → ●a.xlsx",
                                              "bad.xlsx could not be processed: rejected bad.xlsx",
                                              "masked.xlsx restored → 〇masked.xlsx"}));
}

TEST_F(ShellTest, RejectedFileGivesOnlyItsErrorAndTheNextGoesOn) {
    shell.drop({"/d/bad.xlsx", "/d/ok.xlsx"}, ControlValues{});
    EXPECT_EQ(log.events, (std::vector<std::string>{"process bad.xlsx", "error: rejected bad.xlsx",
                                                    "process ok.xlsx", ask_open("/d/●ok.xlsx")}));
}

TEST_F(ShellTest, ControlsAreTakenOncePerDrop) {
    ControlValues c;
    c.password = "first";
    c.strength = 1;
    shell.drop({"/d/a.xlsx", "/d/b.xlsx"}, c);
    ASSERT_EQ(pipeline.seen.size(), 2u);
    EXPECT_EQ(pipeline.seen[0].password, "first");
    EXPECT_EQ(pipeline.seen[1].mask_step, 2);
    EXPECT_EQ(shell.settings().password, "first");
}

// A question that comes again in a drop of several files offers "for all"; such an answer
// stands for the rest of the drop (and only of this drop), a plain one for its file only.
TEST_F(ShellTest, AnAnswerForAllStandsForTheRestOfTheDrop) {
    using A = Reporter::Answer;
    reporter.all_answers = {A::no, A::yes_to_all};
    shell.drop({"/d/a.xlsx", "/d/b.xlsx", "/d/c.xlsx", "/d/d.xlsx"}, ControlValues{});
    EXPECT_EQ(log.events, (std::vector<std::string>{
                              "process a.xlsx", "ask for all: " + ask_open("/d/●a.xlsx").substr(5),
                              "process b.xlsx", "ask for all: " + ask_open("/d/●b.xlsx").substr(5), "open ●b.xlsx",
                              "process c.xlsx", "open ●c.xlsx", "process d.xlsx", "open ●d.xlsx"}));
    // The next drop asks again; a single file gets the plain question.
    log.events.clear();
    reporter.all_answers = {A::no_to_all};
    shell.drop({"/d/e.xlsx", "/d/f.xlsx"}, ControlValues{});
    EXPECT_EQ(log.events, (std::vector<std::string>{"process e.xlsx", "ask for all: " + ask_open("/d/●e.xlsx").substr(5),
                                                    "process f.xlsx"}));
    log.events.clear();
    shell.drop({"/d/g.xlsx"}, ControlValues{});
    EXPECT_EQ(log.events, (std::vector<std::string>{"process g.xlsx", ask_open("/d/●g.xlsx")}));
}

// A cancel stops before the next file; each file left is told as stopped, not processed.
TEST_F(ShellTest, CancelStopsBeforeTheNextFileAndTellsTheRestStopped) {
    std::vector<std::string> told;
    shell.on_file_done([&](const FileOutcome& o) { told.push_back(outcome_text(o)); });
    reporter.on_ask = [&](std::string_view) { reporter.cancel = true; };  // during a's question
    shell.drop({"/d/a.xlsx", "/d/b.xlsx", "/d/c.xlsx"}, ControlValues{});
    EXPECT_EQ(pipeline.seen.size(), 1u);
    EXPECT_EQ(told, (std::vector<std::string>{"a.xlsx をマスクしました → ●a.xlsx",
                                              say(Lang::ja, Msg::outcome_cancelled, {"b.xlsx"}),
                                              say(Lang::ja, Msg::outcome_cancelled, {"c.xlsx"})}));
}

// plan takes the controls into the settings at once; the job keeps its own copy, so a
// later change of the settings (Ctrl+S while the job runs) does not reach it.
TEST_F(ShellTest, AJobKeepsTheSettingsOfItsDrop) {
    ControlValues c;
    c.password = "at the drop";
    const DropJob job = shell.plan({"/d/a.xlsx"}, c);
    EXPECT_EQ(shell.settings().password, "at the drop");
    c.password = "later";
    shell.save_settings(c);
    shell.run(job, reporter);
    ASSERT_EQ(pipeline.seen.size(), 1u);
    EXPECT_EQ(pipeline.seen[0].password, "at the drop");
}

TEST(ShellStart, UnsealableSettingsAreNamedAndFallBack) {
    test::TempDir dir;
    test::write_file(dir / "Hushcel.ini", "[Hushcel]\r\nPASSWORD=\"0g\"\r\nPASSWORD_HINT=\"\"\r\nMASK_STEP=\"2\"\r\n");
    IniSettingsStore store(dir / "Hushcel.ini");
    Log log;
    ScriptedReporter reporter(log);
    FakePlatform platform(log);
    Shell shell(store, platform, reporter, [](auto&&...) { return RC_OK; });
    shell.start();
    EXPECT_EQ(log.events, std::vector<std::string>{"error: " + say(Lang::ja, Msg::unreadable_setting, {"PASSWORD"})});
    EXPECT_EQ(shell.settings().password, "");
    EXPECT_EQ(shell.settings().mask_step, 2);
}

// In file-authentication mode the backup is still enciphered with the password: with
// the built-in one the user is asked once per drop before anything is masked.
TEST_F(ShellTest, KnownPasswordInFileModeIsAskedOncePerDrop) {
    ControlValues c;
    c.password = MaskSettings{}.password;
    c.file_hash = true;
    const std::string question = "ask: " + say(Lang::ja, Msg::ask_known_password);
    reporter.answers = {false};
    shell.drop({"/d/a.xlsx", "/d/b.xlsx"}, c);
    EXPECT_EQ(log.events, std::vector<std::string>{question});

    log.events.clear();
    reporter.answers = {true, false, false};
    shell.drop({"/d/a.xlsx", "/d/b.xlsx"}, c);
    EXPECT_EQ(log.events, (std::vector<std::string>{question, "process a.xlsx", ask_open("/d/●a.xlsx"),
                                                    "process b.xlsx", ask_open("/d/●b.xlsx")}));

    // A password of one's own, or password mode: nobody is asked.
    for (auto [password, file_hash] : {std::pair{"mine", true}, std::pair{"Q-Marle", false}}) {
        log.events.clear();
        c.password = password;
        c.file_hash = file_hash;
        shell.drop({"/d/a.xlsx"}, c);
        EXPECT_EQ(log.events, (std::vector<std::string>{"process a.xlsx", ask_open("/d/●a.xlsx")}));
    }
}

struct CycleCase {
    const char* name;
    bool recrypto, overwrite, app_saves;
    std::vector<std::string> expected;  // after the question to open
};

class Recrypt : public ShellTest, public ::testing::WithParamInterface<CycleCase> {};

TEST_P(Recrypt, FollowsTheRule) {
    const CycleCase& p = GetParam();
    platform.app_saves = p.app_saves;
    ControlValues c;
    c.recrypto = p.recrypto;
    c.overwrite = p.overwrite;
    reporter.answers = {true};
    shell.drop({"/d/masked.xlsx"}, c);
    std::string out = p.overwrite ? "/d/masked.xlsx" : "/d/〇masked.xlsx";
    std::vector<std::string> expected{"process masked.xlsx", ask_open(out)};
    expected.insert(expected.end(), p.expected.begin(), p.expected.end());
    EXPECT_EQ(log.events, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Recrypt,
    ::testing::Values(
        CycleCase{"SavedIsMaskedAgainAfterTheNotice", true, true, true,
                  {"time masked.xlsx", "running?", "open masked.xlsx", "time masked.xlsx",
                   "info: 自動再暗号化", "process masked.xlsx"}},
        CycleCase{"NotSavedStaysRestored", true, true, false,
                  {"time masked.xlsx", "running?", "open masked.xlsx", "time masked.xlsx"}},
        CycleCase{"OverwriteOffOnlyOpens", true, false, true, {"open 〇masked.xlsx"}},
        CycleCase{"RecryptOffOnlyOpens", false, true, true, {"open masked.xlsx"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ShellTest, MaskedOutputIsNeverMaskedAgain) {
    platform.app_saves = true;
    ControlValues c;
    c.recrypto = c.overwrite = true;
    reporter.answers = {true};
    shell.drop({"/d/plain.xlsx"}, c);
    EXPECT_EQ(log.events, (std::vector<std::string>{"process plain.xlsx", ask_open("/d/plain.xlsx"),
                                                    "open plain.xlsx"}));
}

TEST_F(ShellTest, RunningApplicationIsAskedToCloseUntilItIs) {
    platform.running_answers = {true, true, false};
    ControlValues c;
    c.recrypto = c.overwrite = true;
    reporter.answers = {true, false, false};  // open: yes; abort: no, no
    shell.drop({"/d/masked.xlsx"}, c);
    std::string close_q = "ask: " + say(Lang::ja, Msg::close_spreadsheet);
    EXPECT_EQ(log.events, (std::vector<std::string>{"process masked.xlsx", ask_open("/d/masked.xlsx"),
                                                    "time masked.xlsx", "running?", close_q, "running?",
                                                    close_q, "running?", "open masked.xlsx",
                                                    "time masked.xlsx"}));
}

TEST_F(ShellTest, AbortingWhileTheApplicationRunsSkipsToTheNextFile) {
    platform.running_answers = {true};
    ControlValues c;
    c.recrypto = c.overwrite = true;
    reporter.answers = {true, true, false};
    shell.drop({"/d/masked.xlsx", "/d/b.xlsx"}, c);
    EXPECT_EQ(log.events, (std::vector<std::string>{"process masked.xlsx", ask_open("/d/masked.xlsx"),
                                                    "time masked.xlsx", "running?",
                                                    "ask: " + say(Lang::ja, Msg::close_spreadsheet),
                                                    "process b.xlsx", ask_open("/d/b.xlsx")}));
}

TEST_F(ShellTest, VanishedOutputEndsThatFileSilently) {
    platform.file_exists = false;
    ControlValues c;
    c.recrypto = c.overwrite = true;
    reporter.answers = {true};
    shell.drop({"/d/masked.xlsx"}, c);
    EXPECT_EQ(log.events, (std::vector<std::string>{"process masked.xlsx", ask_open("/d/masked.xlsx"),
                                                    "time masked.xlsx"}));
}

TEST_F(ShellTest, DropDuringAQuestionIsQueuedNotInterleaved) {
    ControlValues second;
    second.password = "second";
    bool dropped = false;
    reporter.on_ask = [&](std::string_view) {
        if (dropped) return;
        dropped = true;
        shell.drop({"/d/late.xlsx"}, second);  // arrives while the first drop asks
    };
    shell.drop({"/d/a.xlsx", "/d/b.xlsx"}, ControlValues{});
    EXPECT_EQ(log.events, (std::vector<std::string>{"process a.xlsx", ask_open("/d/●a.xlsx"),
                                                    "process b.xlsx", ask_open("/d/●b.xlsx"),
                                                    "process late.xlsx", ask_open("/d/●late.xlsx")}));
    ASSERT_EQ(pipeline.seen.size(), 3u);
    EXPECT_EQ(pipeline.seen[1].password, "");
    EXPECT_EQ(pipeline.seen[2].password, "second");
    EXPECT_FALSE(shell.busy());
}

TEST_F(ShellTest, StartTakesStoredSettingsAndSnapshot) {
    MaskSettings stored;
    stored.password = "stored";
    store.stored = stored;
    shell.start();
    EXPECT_EQ(shell.settings().password, "stored");
    EXPECT_EQ(shell.snapshot(), stored);
    EXPECT_FALSE(shell.settings_changed());
}

TEST_F(ShellTest, SavePromptOnlyWhenSettingsDifferFromTheSnapshot) {
    ControlValues c = hsc_set_controls(shell.settings());
    c.strength = 2;  // the strength alone does not count
    shell.drop({"/d/bad.xlsx"}, c);
    log.events.clear();
    shell.save_prompt(c);
    EXPECT_TRUE(log.events.empty());
    EXPECT_EQ(store.writes, 0);

    c.password = "changed";
    shell.drop({"/d/bad.xlsx"}, c);
    log.events.clear();
    reporter.answers = {false};
    shell.save_prompt(c);
    EXPECT_EQ(log.events, std::vector<std::string>{"ask: " + say(Lang::ja, Msg::save_settings)});
    EXPECT_EQ(store.writes, 0);

    reporter.answers = {true};
    shell.save_prompt(c);
    ASSERT_EQ(store.writes, 1);
    EXPECT_EQ(store.stored->password, "changed");
    EXPECT_EQ(store.stored->mask_step, 3);
}

// Leaving must not lose what the window shows: a value typed and never used asks too,
// and once saved nothing asks again.
TEST_F(ShellTest, ChangesTypedButNeverTakenAskAndSavedOnesDoNot) {
    ControlValues c = hsc_set_controls(shell.settings());
    c.password = "typed only";
    c.header_row = 2;
    reporter.answers = {true};
    shell.save_prompt(c);
    EXPECT_EQ(log.events, std::vector<std::string>{"ask: " + say(Lang::ja, Msg::save_settings)});
    ASSERT_EQ(store.writes, 1);
    EXPECT_EQ(store.stored->password, "typed only");
    EXPECT_EQ(store.stored->header_row, 2);

    log.events.clear();
    shell.save_prompt(c);
    EXPECT_TRUE(log.events.empty());
    c.max_memory_mb = 300;
    EXPECT_TRUE(shell.settings_changed(c));
    c.max_memory_mb = 0;
    c.strength = 2;  // the strength alone still does not count
    EXPECT_FALSE(shell.settings_changed(c));
}

TEST_F(ShellTest, DialogChangesCountForThePrompt) {
    shell.settings().password_hint = "ヒント";
    reporter.answers = {true};
    shell.save_prompt(hsc_set_controls(shell.settings()));
    ASSERT_TRUE(store.stored);
    EXPECT_EQ(store.stored->password_hint, "ヒント");
}

TEST_F(ShellTest, FailedSaveIsReported) {
    store.fail = true;
    shell.save_settings(ControlValues{});
    ASSERT_EQ(log.events.size(), 1u);
    EXPECT_TRUE(log.events[0].starts_with("error: 設定を保存できませんでした(rc=-101)"));
}

}  // namespace
}  // namespace hsc

namespace hsc {
namespace {

// The cycle against the real platform layer and a small fake spreadsheet application.
class RecryptWithFakeApplication : public ::testing::TestWithParam<bool> {};

TEST_P(RecryptWithFakeApplication, MasksAgainOnlyWhenTheApplicationSaved) {
    const bool saves = GetParam();
    test::TempDir dir;
    fs::path app = dir / "calc.sh";
    // "Saving" rewrites the file: its time changes even within the same second.
    test::write_file(app, saves ? "#!/bin/sh\nprintf 'edited' > \"$1\"\n" : "#!/bin/sh\ncat \"$1\" > /dev/null\n");
    fs::permissions(app, fs::perms::owner_all);
    fs::path book = dir / "masked.xlsx";
    test::write_file(book, "restored");

    SpreadsheetLookup lookup;
    lookup.override_command = app.string();
    LinuxPlatform platform(lookup);
    Log log;
    ScriptedReporter reporter(log);
    reporter.answers = {true};
    FakeStore store;
    FakePipeline pipeline{log, {}};
    Shell shell(store, platform, reporter, [&](auto&&... a) { return pipeline(a...); });
    shell.start();
    ControlValues c;
    c.recrypto = c.overwrite = true;
    shell.drop({book}, c);

    std::vector<std::string> expected{"process masked.xlsx", "ask: " + say(Lang::ja, Msg::open_output, {book.string()})};
    if (saves) {
        expected.push_back("info: 自動再暗号化");
        expected.push_back("process masked.xlsx");
    }
    EXPECT_EQ(log.events, expected);
    EXPECT_EQ(test::read_file(book), saves ? "edited" : "restored");
}

INSTANTIATE_TEST_SUITE_P(Cases, RecryptWithFakeApplication, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Saves" : "DoesNotSave"; });

}  // namespace
}  // namespace hsc
