#include "shell/shell.h"

#include "os/file.h"
#include "core/catalog.h"
#include "core/status.h"
#include "protect/footer.h"
#include "shell/texts.h"

#include <map>
#include <string>

namespace hsc {
namespace fs = std::filesystem;

Shell::Shell(SettingsStore& store, Platform& platform, Reporter& reporter, ProcessFile process)
    : store_(store), platform_(platform), reporter_(reporter), process_(std::move(process)) {}

void Shell::start() {
    hsc_init_settings(settings_);
    store_.read(settings_);  // nothing stored: the defaults stay
    // A sealed value that could not be read back fell back to empty: say which.
    for (const std::string& field : store_.unreadable_fields())
        reporter_.error(say(lang_, Msg::unreadable_setting, {field}));
    snapshot_ = hsc_take_snapshot(settings_);
}

void Shell::drop(std::vector<fs::path> files, const ControlValues& controls) {
    queue_.push_back(plan(std::move(files), controls));
    if (busy_) return;  // the running handler takes it up when its own drop is done
    busy_ = true;
    struct Release {
        bool& flag;
        ~Release() { flag = false; }
    } release{busy_};
    while (!queue_.empty()) {
        DropJob next = std::move(queue_.front());
        queue_.pop_front();
        run(next, reporter_);
    }
}

DropJob Shell::plan(std::vector<fs::path> files, const ControlValues& controls) {
    hsc_get_controls(controls, settings_);
    return DropJob{std::move(files), settings_, lang_};
}

std::vector<fs::path> Shell::to_mask(const std::vector<fs::path>& files) {
    std::vector<fs::path> masking;
    for (const fs::path& file : files) {
        FooterInfo footer;
        if (hsc_read_footer(file, footer) == RC_OK && footer.present) continue;
        masking.push_back(file);
    }
    return masking;
}

namespace {

// Passes everything on to another reporter.
class ForwardingReporter : public Reporter {
public:
    explicit ForwardingReporter(Reporter& to) : to_(to) {}
    void error(std::string_view text) override { to_.error(text); }
    bool ask_yes_no(std::string_view text) override { return to_.ask_yes_no(text); }
    void info(std::string_view text) override { to_.info(text); }
    bool ask(Msg kind, std::string_view text) override { return to_.ask(kind, text); }
    Answer ask_for_all(std::string_view text) override { return to_.ask_for_all(text); }
    void progress(const Progress& p) override { to_.progress(p); }
    bool cancelled() override { return to_.cancelled(); }

protected:
    Reporter& to_;
};

// Keeps the failure texts of one file.
class RecordingReporter final : public ForwardingReporter {
public:
    using ForwardingReporter::ForwardingReporter;
    void error(std::string_view text) override {
        errors.emplace_back(text);
        to_.error(text);
    }
    std::vector<std::string> errors;
};

// A drop of several files: a question that comes again for the next file offers to
// answer for all of them, and such an answer stands for the rest of the drop.
class BatchReporter final : public ForwardingReporter {
public:
    BatchReporter(Reporter& to, bool several) : ForwardingReporter(to), several_(several) {}
    bool ask(Msg kind, std::string_view text) override {
        if (!several_) return to_.ask(kind, text);
        if (auto known = for_all_.find(kind); known != for_all_.end()) return known->second;
        const Answer a = to_.ask_for_all(text);
        if (a == Answer::yes_to_all || a == Answer::no_to_all) for_all_[kind] = a == Answer::yes_to_all;
        return a == Answer::yes || a == Answer::yes_to_all;
    }

private:
    bool several_;
    std::map<Msg, bool> for_all_;
};

}  // namespace

// What one run of a drop keeps from file to file.
struct Shell::Run {
    const DropJob& job;
    BatchReporter reporter;
    // The answer to masking with the known password in file-authentication mode, asked
    // once per drop.
    std::optional<bool> known_password_answer;
};

void Shell::run(const DropJob& job, Reporter& reporter) const {
    Run run{job, BatchReporter(reporter, job.files.size() > 1), std::nullopt};
    for (const fs::path& file : job.files) {
        if (run.reporter.cancelled()) {
            FileOutcome outcome;
            outcome.lang = job.lang;
            outcome.input = file;
            outcome.result = FileOutcome::Result::cancelled;
            tell_done(std::move(outcome));
            continue;
        }
        handle_file(run, file);
    }
}

void Shell::tell_done(FileOutcome outcome) const {
    if (file_done_) file_done_(outcome);
}

int Shell::process(Run& run, const fs::path& input, fs::path& output, FileContext& ctx) const {
    RecordingReporter reporter(run.reporter);
    const int rc = process_(input, output, run.job.settings, ctx, reporter, run.job.lang);
    if (file_done_) {
        FileOutcome outcome;
        outcome.lang = run.job.lang;
        outcome.input = input;
        outcome.output = output;
        outcome.messages = std::move(reporter.errors);
        if (rc == RC_OK) {
            outcome.result = ctx.process_direction == Direction::unmask ? FileOutcome::Result::restored
                                                                       : FileOutcome::Result::masked;
            outcome.report = ctx.report;
            outcome.merge = ctx.merge;
        } else if (ctx.failure == FailReason::cancelled) {
            outcome.result = FileOutcome::Result::cancelled;
        }
        tell_done(std::move(outcome));
    }
    return rc;
}

void Shell::handle_file(Run& run, const fs::path& input) const {
    const MaskSettings& settings = run.job.settings;
    const Lang lang = run.job.lang;
    Reporter& reporter = run.reporter;
    // The password field is easy to leave as it is when the key is a file: ask before a
    // workbook is masked with a password that every copy of the program knows.
    if (settings.is_file_hash && uses_known_password(settings)) {
        FooterInfo footer;
        const bool restoring = hsc_read_footer(input, footer) == RC_OK && footer.present;
        if (!restoring) {
            if (!run.known_password_answer) run.known_password_answer = reporter.ask_yes_no(say(lang, Msg::ask_known_password));
            if (!*run.known_password_answer) return;
        }
    }
    fs::path output;
    FileContext ctx;
    if (process(run, input, output, ctx) != RC_OK) return;  // already reported
    if (!reporter.ask(Msg::open_output, say(lang, Msg::open_output, {os::path_u8(output)}))) return;

    // Re-encryption: a workbook just restored in place is masked again once the
    // spreadsheet application has ended, when it was saved meanwhile.
    const bool recrypt =
        ctx.process_direction == Direction::unmask && settings.is_recrypto && settings.is_overwrite;
    FileTime before;
    if (recrypt) {
        if (platform_.get_file_time(output, before) != RC_OK) return;
        // Another instance of the application would take the file over and let the one
        // we start end at once; ask the user to close it first.
        while (platform_.find_spreadsheet_process() == RC_OK) {
            if (reporter.ask_yes_no(say(lang, Msg::close_spreadsheet))) return;
        }
    }

    platform_.open_with_excel(output);  // a failure to start leaves the time unchanged
    if (!recrypt) return;

    FileTime after;
    if (platform_.get_file_time(output, after) != RC_OK) return;
    if (after == before) return;  // not saved: it stays restored
    reporter.info(say(lang, Msg::recrypt));
    fs::path again;
    FileContext again_ctx;
    process(run, input, again, again_ctx);  // failures are reported by the pipeline
}

void Shell::save_settings(const ControlValues& controls) {
    hsc_get_controls(controls, settings_);
    if (int rc = store_.write(settings_); rc != RC_OK) {
        // Said plainly: otherwise the user leaves believing the settings were kept.
        reporter_.error(say(lang_, Msg::save_settings_failed, {std::to_string(rc)}));
        return;
    }
    snapshot_ = hsc_take_snapshot(settings_);  // what is stored now: nothing left unsaved
}

void Shell::save_prompt(const ControlValues& controls) {
    // What the window shows counts, not only what a drop took: a password typed and never
    // used is lost on leaving unless it is saved.
    if (!settings_changed(controls)) return;
    if (reporter_.ask_yes_no(say(lang_, Msg::save_settings))) save_settings(controls);
}

bool Shell::settings_changed() const { return hsc_settings_changed(settings_, snapshot_) == 0; }

bool Shell::settings_changed(const ControlValues& controls) const {
    MaskSettings shown = settings_;
    hsc_get_controls(controls, shown);
    return hsc_settings_changed(shown, snapshot_) == 0;
}

}  // namespace hsc
