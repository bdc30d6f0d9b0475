#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

class QMessageBox;
class QWidget;

namespace hsc::gui {

// Every message box of the program goes through here. Tests queue the answers with
// setNextAnswer and read what was shown; in test mode a box without a queued answer
// is recorded and answered with its default (Ok or No) instead of waiting.
class MessageBox {
public:
    enum Button { NoButton = 0, Ok, Yes, No, YesToAll, NoToAll };
    enum Icon { NoIcon, Information, Question, Critical };

    struct Shown {
        QString text;
        Icon icon;
        bool yes_no;
        bool topmost;
        bool owned;     // had an owner window
        bool answered;  // by a queued answer (false: the test-mode default)
        bool for_all = false;  // offered "Yes to all" and "No to all"
    };

    // Shows a box with the caption "Hushcel". yes_no: Yes and No buttons, otherwise Ok.
    static Button show(QWidget* owner, Icon icon, const QString& text, bool yes_no, bool topmost);
    // A question about one file of several, with "Yes to all" and "No to all" beside Yes and No.
    static Button askForAll(const QString& text);
    // The box that show() runs. Its text is plain: a hint or name from a workbook may
    // hold markup, which would otherwise be drawn as links and pictures.
    static std::unique_ptr<QMessageBox> build(QWidget* owner, Icon icon, const QString& text, bool yes_no, bool topmost,
                                              bool for_all = false);

    static void setNextAnswer(Button button);
    static void setTestMode(bool on);
    static const std::vector<Shown>& shown();
    static void clearShown();

private:
    static std::deque<Button> answers_;
    static std::vector<Shown> shown_;
    static bool test_mode_;
};

// The file chooser, with the same pre-answer scheme: setNextFileName queues the path
// the next chooser returns (an empty one: the user cancelled), setNextFileNames the
// files of a chooser that takes several.
class FileChooser {
public:
    static QString getOpenFileName(QWidget* owner, const QString& title, const QString& start,
                                   const QString& filter);
    static QStringList getOpenFileNames(QWidget* owner, const QString& title, const QString& start,
                                        const QString& filter);
    static QString getSaveFileName(QWidget* owner, const QString& title, const QString& start,
                                   const QString& filter);
    static void setNextFileName(const QString& path);
    static void setNextFileNames(const QStringList& paths);
    static void setTestMode(bool on);
    static int opened() { return opened_; }

private:
    // The next queued answer, when there is one or the chooser is in test mode.
    static std::optional<QStringList> queued();
    static std::deque<QStringList> names_;
    static bool test_mode_;
    static int opened_;
};

}  // namespace hsc::gui
