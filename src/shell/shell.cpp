#include "shell/shell.h"

#include "os/file.h"
#include "core/catalog.h"
#include "core/status.h"
#include "protect/footer.h"
#include "shell/texts.h"

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
    queue_.push_back({std::move(files), controls});
    if (busy_) return;  // the running handler takes it up when its own drop is done
    busy_ = true;
    struct Release {
        bool& flag;
        ~Release() { flag = false; }
    } release{busy_};
    while (!queue_.empty()) {
        PendingDrop next = std::move(queue_.front());
        queue_.pop_front();
        handle(next);
    }
}

void Shell::handle(const PendingDrop& drop) {
    hsc_get_controls(drop.controls, settings_);
    known_password_answer_.reset();
    for (const fs::path& file : drop.files) handle_file(file);
}

namespace {

// Passes everything on and keeps the failure texts of one file.
class RecordingReporter final : public Reporter {
public:
    explicit RecordingReporter(Reporter& to) : to_(to) {}
    void error(std::string_view text) override {
        errors.emplace_back(text);
        to_.error(text);
    }
    bool ask_yes_no(std::string_view text) override { return to_.ask_yes_no(text); }
    void info(std::string_view text) override { to_.info(text); }
    std::vector<std::string> errors;

private:
    Reporter& to_;
};

}  // namespace

int Shell::process(const fs::path& input, fs::path& output, FileContext& ctx) {
    RecordingReporter reporter(reporter_);
    const int rc = process_(input, output, settings_, ctx, reporter, lang_);
    if (file_done_) {
        FileOutcome outcome;
        outcome.lang = lang_;
        outcome.input = input;
        outcome.output = output;
        outcome.messages = std::move(reporter.errors);
        if (rc == RC_OK) {
            outcome.result = ctx.process_direction == Direction::unmask ? FileOutcome::Result::restored
                                                                       : FileOutcome::Result::masked;
            outcome.report = ctx.report;
            outcome.merge = ctx.merge;
        }
        file_done_(outcome);
    }
    return rc;
}

void Shell::handle_file(const fs::path& input) {
    // The password field is easy to leave as it is when the key is a file: ask before a
    // workbook is masked with a password that every copy of the program knows.
    if (settings_.is_file_hash && uses_known_password(settings_)) {
        FooterInfo footer;
        const bool restoring = hsc_read_footer(input, footer) == RC_OK && footer.present;
        if (!restoring) {
            if (!known_password_answer_) known_password_answer_ = reporter_.ask_yes_no(say(lang_, Msg::ask_known_password));
            if (!*known_password_answer_) return;
        }
    }
    fs::path output;
    FileContext ctx;
    if (process(input, output, ctx) != RC_OK) return;  // already reported
    if (!reporter_.ask_yes_no(say(lang_, Msg::open_output, {os::path_u8(output)}))) return;

    // Re-encryption: a workbook just restored in place is masked again once the
    // spreadsheet application has ended, when it was saved meanwhile.
    const bool recrypt =
        ctx.process_direction == Direction::unmask && settings_.is_recrypto && settings_.is_overwrite;
    FileTime before;
    if (recrypt) {
        if (platform_.get_file_time(output, before) != RC_OK) return;
        // Another instance of the application would take the file over and let the one
        // we start end at once; ask the user to close it first.
        while (platform_.find_spreadsheet_process() == RC_OK) {
            if (reporter_.ask_yes_no(say(lang_, Msg::close_spreadsheet))) return;
        }
    }

    platform_.open_with_excel(output);  // a failure to start leaves the time unchanged
    if (!recrypt) return;

    FileTime after;
    if (platform_.get_file_time(output, after) != RC_OK) return;
    if (after == before) return;  // not saved: it stays restored
    reporter_.info(say(lang_, Msg::recrypt));
    fs::path again;
    FileContext again_ctx;
    process(input, again, again_ctx);  // failures are reported by the pipeline
}

void Shell::save_settings(const ControlValues& controls) {
    hsc_get_controls(controls, settings_);
    if (int rc = store_.write(settings_); rc != RC_OK) {
        // Said plainly: otherwise the user leaves believing the settings were kept.
        reporter_.error(say(lang_, Msg::save_settings_failed, {std::to_string(rc)}));
    }
}

void Shell::save_prompt(const ControlValues& controls) {
    if (!settings_changed()) return;
    if (reporter_.ask_yes_no(say(lang_, Msg::save_settings))) save_settings(controls);
}

bool Shell::settings_changed() const { return hsc_settings_changed(settings_, snapshot_) == 0; }

}  // namespace hsc
