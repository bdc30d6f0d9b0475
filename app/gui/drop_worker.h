#pragma once

#include <QObject>
#include <atomic>
#include <deque>
#include <thread>

#include "core/reporter.h"
#include "shell/shell.h"

namespace hsc::gui {

// Runs the drops on a thread of its own, one after the other, so the window keeps
// drawing and answering while a workbook is processed and while the spreadsheet
// program is open. What the work says goes to the window's thread: messages and
// questions through `ui` (the worker waits for the answer), progress and the end of
// each drop as queued signals.
class DropWorker final : public QObject, private Reporter {
    Q_OBJECT
public:
    DropWorker(Shell& shell, Reporter& ui, QObject* parent);
    ~DropWorker() override;  // shutDown()

    // Stops the running drop and waits for its end, answering what it asks meanwhile with
    // No and showing nothing more. For a window that is going away.
    void shutDown();

    // Queues a job; it starts at once when nothing runs.
    void start(DropJob job);
    bool busy() const { return running_; }
    // The running drop.
    const DropJob* current() const { return queue_.empty() ? nullptr : &queue_.front(); }

    // Stops the running drop between two steps and drops the queued ones.
    void cancel();

    // Runs `call` on the window's thread and waits for it: the worker's way to the user.
    void onWindowThread(const std::function<void()>& call);

signals:
    void jobStarted();  // a drop begins its first file
    void progressed(const hsc::Progress& progress);
    void fileDone(const hsc::FileOutcome& outcome);
    void idle();  // every queued drop is done

private:
    void next();
    void finished();
    // The Reporter the shell's run speaks to, on the worker's thread.
    void error(std::string_view text) override;
    bool ask_yes_no(std::string_view text) override;
    void info(std::string_view text) override;
    bool ask(Msg kind, std::string_view text) override;
    Answer ask_for_all(std::string_view text) override;
    void progress(const Progress& p) override;
    bool cancelled() override { return cancel_; }

    Shell& shell_;
    Reporter& ui_;
    std::deque<DropJob> queue_;  // the front one runs
    std::thread thread_;
    bool running_ = false;
    std::atomic<bool> cancel_{false};
    std::atomic<bool> closing_{false};
};

}  // namespace hsc::gui
