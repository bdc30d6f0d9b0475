#include "message_box.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace hsc::gui {

std::deque<MessageBox::Button> MessageBox::answers_;
std::vector<MessageBox::Shown> MessageBox::shown_;
bool MessageBox::test_mode_ = false;

namespace {

MessageBox::Button run(QWidget* owner, MessageBox::Icon icon, const QString& text, bool yes_no, bool topmost, bool for_all) {
    const int result = MessageBox::build(owner, icon, text, yes_no, topmost, for_all)->exec();
    switch (result) {
        case QMessageBox::Yes: return MessageBox::Yes;
        case QMessageBox::YesToAll: return MessageBox::YesToAll;
        case QMessageBox::NoToAll: return MessageBox::NoToAll;
        default: return yes_no ? MessageBox::No : MessageBox::Ok;
    }
}

}  // namespace

MessageBox::Button MessageBox::show(QWidget* owner, Icon icon, const QString& text, bool yes_no, bool topmost) {
    if (!answers_.empty() || test_mode_) {
        bool answered = !answers_.empty();
        Button answer = yes_no ? No : Ok;
        if (answered) {
            answer = answers_.front();
            answers_.pop_front();
        }
        shown_.push_back({text, icon, yes_no, topmost, owner != nullptr, answered});
        // Only a box that offers them answers for all.
        if (answer == YesToAll) answer = Yes;
        if (answer == NoToAll) answer = No;
        return answer;
    }
    return run(owner, icon, text, yes_no, topmost, false);
}

MessageBox::Button MessageBox::askForAll(const QString& text) {
    if (!answers_.empty() || test_mode_) {
        bool answered = !answers_.empty();
        Button answer = No;
        if (answered) {
            answer = answers_.front();
            answers_.pop_front();
        }
        shown_.push_back({text, Question, true, true, false, answered, true});
        return answer;
    }
    return run(nullptr, Question, text, true, true, true);
}

std::unique_ptr<QMessageBox> MessageBox::build(QWidget* owner, Icon icon, const QString& text, bool yes_no,
                                               bool topmost, bool for_all) {
    static constexpr QMessageBox::Icon icons[] = {QMessageBox::NoIcon, QMessageBox::Information,
                                                  QMessageBox::Question, QMessageBox::Critical};
    QMessageBox::StandardButtons buttons = yes_no ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok;
    if (yes_no && for_all) buttons |= QMessageBox::YesToAll | QMessageBox::NoToAll;
    auto box = std::make_unique<QMessageBox>(icons[icon], QStringLiteral("Hushcel"), QString(), buttons, owner);
    box->setTextFormat(Qt::PlainText);
    box->setText(text);
    if (topmost) box->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    // The buttons in the window's language, whatever translations Qt itself has.
    if (yes_no) {
        box->button(QMessageBox::Yes)->setText(QCoreApplication::translate("hsc::gui::MessageBox", "はい(&Y)"));
        box->button(QMessageBox::No)->setText(QCoreApplication::translate("hsc::gui::MessageBox", "いいえ(&N)"));
        if (for_all) {
            box->button(QMessageBox::YesToAll)->setText(QCoreApplication::translate("hsc::gui::MessageBox", "すべてはい(&A)"));
            box->button(QMessageBox::NoToAll)->setText(QCoreApplication::translate("hsc::gui::MessageBox", "すべていいえ(&O)"));
        }
    } else {
        box->button(QMessageBox::Ok)->setText(QCoreApplication::translate("hsc::gui::MessageBox", "OK"));
    }
    return box;
}

void MessageBox::setNextAnswer(Button button) { answers_.push_back(button); }
void MessageBox::setTestMode(bool on) { test_mode_ = on; }
const std::vector<MessageBox::Shown>& MessageBox::shown() { return shown_; }
void MessageBox::clearShown() {
    shown_.clear();
    answers_.clear();
}

std::deque<QStringList> FileChooser::names_;
bool FileChooser::test_mode_ = false;
int FileChooser::opened_ = 0;

std::optional<QStringList> FileChooser::queued() {
    ++opened_;
    if (names_.empty() && !test_mode_) return std::nullopt;
    QStringList names;
    if (!names_.empty()) {
        names = names_.front();
        names_.pop_front();
    }
    return names;
}

QString FileChooser::getOpenFileName(QWidget* owner, const QString& title, const QString& start,
                                     const QString& filter) {
    if (auto names = queued()) return names->value(0);
    return QFileDialog::getOpenFileName(owner, title, start, filter);
}

QStringList FileChooser::getOpenFileNames(QWidget* owner, const QString& title, const QString& start,
                                          const QString& filter) {
    if (auto names = queued()) return *names;
    return QFileDialog::getOpenFileNames(owner, title, start, filter);
}

QString FileChooser::getSaveFileName(QWidget* owner, const QString& title, const QString& start,
                                     const QString& filter) {
    if (auto names = queued()) return names->value(0);
    return QFileDialog::getSaveFileName(owner, title, start, filter);
}

void FileChooser::setNextFileName(const QString& path) { names_.push_back(path.isEmpty() ? QStringList() : QStringList{path}); }
void FileChooser::setNextFileNames(const QStringList& paths) { names_.push_back(paths); }
void FileChooser::setTestMode(bool on) { test_mode_ = on; }

}  // namespace hsc::gui
