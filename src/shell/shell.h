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
    const MaskSettings& snapshot() const { return snapshot_.values; }

    // A drop of files, in drop order, with the values the controls showed at that moment.
    // A drop that arrives while another is being handled (from inside one of its
    // questions) is queued and handled after it.
    void drop(std::vector<std::filesystem::path> files, const ControlValues& controls);
    bool busy() const { return busy_; }

    // Told of every file once it has been processed (re-encryption included), before the
    // question whether to open it.
    void on_file_done(std::function<void(const FileOutcome&)> listener) { file_done_ = std::move(listener); }

    // Ctrl+S: the controls into the settings, then the settings file.
    void save_settings(const ControlValues& controls);

    // The exit paths: when the settings differ from the start-up snapshot, asks whether
    // to save them and saves on Yes. The program ends afterwards whatever the answer.
    void save_prompt(const ControlValues& controls);

    // True when the settings differ from the snapshot in anything but the strength.
    bool settings_changed() const;

    // The language of the questions and messages; the window can switch it.
    Lang lang() const { return lang_; }
    void set_lang(Lang lang) { lang_ = lang; }

private:
    struct PendingDrop {
        std::vector<std::filesystem::path> files;
        ControlValues controls;
    };
    void handle(const PendingDrop& drop);
    void handle_file(const std::filesystem::path& input);
    // The pipeline on one file, its outcome told to the listener.
    int process(const std::filesystem::path& input, std::filesystem::path& output, FileContext& ctx);

    SettingsStore& store_;
    Platform& platform_;
    Reporter& reporter_;
    ProcessFile process_;
    MaskSettings settings_;
    SettingsSnapshot snapshot_;
    std::function<void(const FileOutcome&)> file_done_;
    std::deque<PendingDrop> queue_;
    bool busy_ = false;
    // The answer to masking with the known password in file-authentication mode, asked
    // once per drop.
    std::optional<bool> known_password_answer_;
    Lang lang_ = Lang::ja;
};

}  // namespace hsc
