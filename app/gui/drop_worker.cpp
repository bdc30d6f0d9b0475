#include "drop_worker.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

namespace hsc::gui {

DropWorker::DropWorker(Shell& shell, Reporter& ui, QObject* parent) : QObject(parent), shell_(shell), ui_(ui) {
    qRegisterMetaType<hsc::Progress>("hsc::Progress");
    qRegisterMetaType<hsc::FileOutcome>("hsc::FileOutcome");
}

DropWorker::~DropWorker() { shutDown(); }

void DropWorker::shutDown() {
    closing_ = true;
    cancel();
    // A call the worker already waits on is run here; later ones are not made.
    while (running_) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

void DropWorker::start(DropJob job) {
    queue_.push_back(std::move(job));
    if (!running_) next();
}

void DropWorker::cancel() {
    if (!running_) return;
    cancel_ = true;
    while (queue_.size() > 1) queue_.pop_back();  // the running one stays at the front
}

void DropWorker::next() {
    running_ = true;
    cancel_ = false;
    const DropJob* job = &queue_.front();
    emit jobStarted();
    thread_ = std::thread([this, job] {
        shell_.run(*job, *this);
        QMetaObject::invokeMethod(this, &DropWorker::finished, Qt::QueuedConnection);
    });
}

void DropWorker::finished() {
    if (thread_.joinable()) thread_.join();
    queue_.pop_front();
    running_ = false;
    if (!queue_.empty()) return next();
    emit idle();
}

void DropWorker::onWindowThread(const std::function<void()>& call) {
    if (QThread::currentThread() == thread()) return call();
    // While the window is going away nobody answers: the run is cancelled anyway.
    if (closing_) return;
    QMetaObject::invokeMethod(this, call, Qt::BlockingQueuedConnection);
}

void DropWorker::error(std::string_view text) {
    const std::string t(text);
    onWindowThread([&] { ui_.error(t); });
}

bool DropWorker::ask_yes_no(std::string_view text) {
    const std::string t(text);
    bool yes = false;
    onWindowThread([&] { yes = ui_.ask_yes_no(t); });
    return yes;
}

void DropWorker::info(std::string_view text) {
    const std::string t(text);
    onWindowThread([&] { ui_.info(t); });
}

bool DropWorker::ask(Msg kind, std::string_view text) {
    const std::string t(text);
    bool yes = false;
    onWindowThread([&] { yes = ui_.ask(kind, t); });
    return yes;
}

Reporter::Answer DropWorker::ask_for_all(std::string_view text) {
    const std::string t(text);
    Answer a = Answer::no;
    onWindowThread([&] { a = ui_.ask_for_all(t); });
    return a;
}

void DropWorker::progress(const Progress& p) {
    QMetaObject::invokeMethod(this, [this, p] { emit progressed(p); }, Qt::QueuedConnection);
}

}  // namespace hsc::gui
