#pragma once

#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/catalog.h"
#include "core/mask_settings.h"
#include "core/reporter.h"
#include "shell/controls.h"
#include "shell/platform.h"
#include "shell/report_text.h"
#include "shell/settings_file.h"

namespace hsc {

// The per-file pipeline as the shell calls it, with the language its messages are to be
// in; hsc_process_file in the product, a fake in tests.
using ProcessFile = std::function<int(const std::filesystem::path& input, std::filesystem::path& output,
                                      const MaskSettings& settings, FileContext& ctx, Reporter& reporter,
                                      Lang lang)>;

// One drop as it is run: its files, in drop order, and the settings the controls gave at
// the moment of the drop (a copy: the window may change its own meanwhile).
struct DropJob {
    std::vector<std::filesystem::path> files;
    MaskSettings settings;
    Lang lang = Lang::ja;
};

// Where the settings persist.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // Reads the stored settings over settings; non-zero when there is nothing to read
    // (settings then keep their values).
    virtual int read(MaskSettings& settings) = 0;
    // The fields whose stored values the last read could not unseal (they fell back).
    virtual std::vector<std::string> unreadable_fields() const { return {}; }
    // Writes settings; non-zero on failure.
    virtual int write(const MaskSettings& settings) = 0;
};

// The application logic behind the main window, free of any toolkit. Owns the settings
// record and the start-up snapshot.
class Shell {
public:
    Shell(SettingsStore& store, Platform& platform, Reporter& reporter, ProcessFile process);

    // Start-up: defaults, the stored settings over them, then the snapshot.
    void start();

    MaskSettings& settings() { return settings_; }
    // Where the shell's messages and questions go (the window's message boxes).
    Reporter& reporter() { return reporter_; }
    // The settings as last read or saved.
    const MaskSettings& snapshot() const { return snapshot_.values; }

    // A drop of files, in drop order, with the values the controls showed at that moment.
    // A drop that arrives while another is being handled (from inside one of its
    // questions) is queued and handled after it.
    void drop(std::vector<std::filesystem::path> files, const ControlValues& controls);
    bool busy() const { return busy_; }

    // The same in two halves, for a window that runs the work on a thread of its own.
    // plan: on the window's thread, the controls into the settings and the job's copy.
    DropJob plan(std::vector<std::filesystem::path> files, const ControlValues& controls);
    // run: on any thread. It touches nothing of the shell that plan or the settings
    // commands change, and speaks only through `reporter` and the file-done listener
    // (both called on this thread). Questions that come again for other files of a
    // drop of several offer to answer for all (Reporter::ask_for_all). Stops before the
    // next file, and within a file between its steps, once the reporter says cancelled;
    // each file not processed then gets the outcome `cancelled`.
    void run(const DropJob& job, Reporter& reporter) const;

    // The files of a list that would be masked rather than restored (no footer).
    static std::vector<std::filesystem::path> to_mask(const std::vector<std::filesystem::path>& files);

    // Told of every file once it has been processed (re-encryption included), before the
    // question whether to open it.
    void on_file_done(std::function<void(const FileOutcome&)> listener) { file_done_ = std::move(listener); }

    // Ctrl+S: the controls into the settings, then the settings file.
    void save_settings(const ControlValues& controls);

    // The exit paths: when the settings, with the values the controls show now, differ
    // from those last read or saved, asks whether to save them and saves on Yes. The
    // program ends afterwards whatever the answer.
    void save_prompt(const ControlValues& controls);

    // True when the settings differ from those last read or saved in anything but the
    // strength.
    bool settings_changed() const;
    // The same with the values of `controls` taken in (they are not kept).
    bool settings_changed(const ControlValues& controls) const;

    // The language of the questions and messages; the window can switch it.
    Lang lang() const { return lang_; }
    void set_lang(Lang lang) { lang_ = lang; }

private:
    struct Run;
    void handle_file(Run& run, const std::filesystem::path& input) const;
    // The pipeline on one file, its outcome told to the listener.
    int process(Run& run, const std::filesystem::path& input, std::filesystem::path& output, FileContext& ctx) const;
    void tell_done(FileOutcome outcome) const;

    SettingsStore& store_;
    Platform& platform_;
    Reporter& reporter_;
    ProcessFile process_;
    MaskSettings settings_;
    SettingsSnapshot snapshot_;
    std::function<void(const FileOutcome&)> file_done_;
    std::deque<DropJob> queue_;
    bool busy_ = false;
    Lang lang_ = Lang::ja;
};

}  // namespace hsc
