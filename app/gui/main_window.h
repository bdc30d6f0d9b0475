#pragma once

#include <QIcon>
#include <QMainWindow>
#include <QPixmap>
#include <QStyle>
#include <QTranslator>
#include <functional>
#include <vector>

#include "core/catalog.h"
#include "shell/report_text.h"
#include "shell/shell.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace hsc::gui {

class DropWorker;

// The program icon in every size it is rendered in.
QIcon program_icon();

// The banner, with the controls laid out under it.
class Panel : public QWidget {
public:
    explicit Panel(QWidget* parent);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QPixmap banner_;
};

// The main window: the controls, the menu with its accelerators, drops, and the exit
// paths. The logic is the shell's; this class moves values between widgets and shell.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // The least size of the client area; it grows to fit the texts of a larger font.
    static constexpr int CLIENT_WIDTH = 305;
    static constexpr int CLIENT_HEIGHT = 435;
    static constexpr int RESULTS_HEIGHT = 120;  // the list of results under the panel

    // on_exit ends the program (the application's event loop in the product).
    MainWindow(Shell& shell, std::function<void()> on_exit);
    ~MainWindow() override;

    ControlValues controls() const;           // hsc_get_controls' source
    void setControls(const ControlValues& c); // hsc_set_controls' target

    // Handles one drop of files (what a drop event does). The files are processed on a
    // thread of the window's own; a drop while one runs waits for it.
    void dropFiles(const QStringList& paths);
    // While a drop is being processed (or waits for the spreadsheet program).
    bool busy() const;
    // Stops the running drop between two steps of its file; the files left are listed
    // as stopped, and nothing of the stopped file is written.
    void stopCommand();
    // Workbooks handed over by another program (a file manager's "Open with", a second
    // start): processed like a drop, but with overwrite chosen only once the user says
    // so, since a double-click on a workbook is often meant to view it.
    void openFiles(const QStringList& paths);

    // Adds the outcome of one file to the list of results: a line for the file, one
    // for each warning of its report.
    void showOutcome(const FileOutcome& outcome);

    // Brings the window to the front, also out of the minimised state.
    void bringToFront();

    // Speaks `lang` from now on: the window's texts, its dialogs and message boxes, and
    // the shell's questions. The window takes the size its texts need in that language.
    void setLanguage(Lang lang);

    QAction* action(const char* name) const;

    // The commands of the menu.
    void exitCommand();
    void saveCommand();
    void helpCommand();
    void versionCommand();
    void passwordHintCommand();
    void keyfileHintCommand();
    void keyFileCommand();
    // Suggests the columns of a chosen workbook and, once the user agrees, puts them
    // into the column field.
    void suggestColumnsCommand();
    // Chosen workbooks, processed as a drop of them.
    void openCommand();
    // A profile file whose per-sheet choice replaces the column field, the header row
    // and keep-header until it is put aside; it is read again at each drop, as the
    // command line reads --profile.
    void loadProfileCommand();
    // Writes the choice in use (the profile's, else the fields') as a profile file.
    void saveProfileCommand();
    void clearProfileCommand();

signals:
    void dropsDone();  // every drop so far is processed

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildControls(QWidget* panel);
    void buildMenu();
    void buildResults();
    void retranslate();  // every text of the window in the current language
    void fitToTexts();   // the fixed size the texts of the current language need
    void addOutcomeLines(const FileOutcome& outcome);
    void addColumnLines(const FileOutcome& outcome);
    void addResultLine(const QString& text, QStyle::StandardPixmap icon);
    void leave();  // the save prompt, then the end of the program
    void showPasswordStatus();  // the status area says when the known password is in use
    // Before a drop that masks: the built-in password never without a confirmation that
    // names the consequence, asked for each drop (or a password of one's own chosen now);
    // a password typed since the last masking is typed once more. false: the drop is
    // abandoned.
    bool passwordReadyToMask();
    void showProgress(const Progress& progress);
    void dropsFinished();
    void useProfile(const QString& path);  // empty: none; the column fields follow
    void retranslateTooltips();

    Shell& shell_;
    std::function<void()> on_exit_;
    QString last_chosen_key_file_;
    bool leaving_ = false;
    bool exit_after_drop_ = false;
    bool password_typed_ = false;  // typed into the field since the last masking
    std::size_t files_done_ = 0;  // of the running drop
    bool built_ = false;  // every widget exists: texts can be set
    QTranslator translator_;  // the English texts; Japanese is the texts' own language
    QTranslator qt_translator_;  // Qt's own texts in the window's language, when installed
    std::vector<FileOutcome> outcomes_;  // of the latest drop, shown again in a new language

    QLineEdit* password_;
    QLineEdit* target_column_;
    QComboBox* strength_;
    QComboBox* kanji_;
    QComboBox* alpha_;
    QComboBox* digit_;
    QComboBox* wchar_;
    QPushButton* cancel_;
    QCheckBox* overwrite_;
    QCheckBox* file_hash_;
    QCheckBox* no_password_;
    QCheckBox* autoshape_;
    QCheckBox* recrypto_;
    QCheckBox* compat_;
    QCheckBox* send_copy_;  // a copy to send out: masked without backups
    QCheckBox* keep_header_;
    QCheckBox* text_only_;  // the chosen columns keep their numbers and dates
    QLabel* password_label_;
    QLabel* strength_label_;
    QLabel* target_column_label_;
    QLabel* kanji_label_;
    QLabel* alpha_label_;
    QLabel* digit_label_;
    QLabel* wchar_label_;
    QMenu* file_menu_;
    QMenu* auth_menu_;
    QMenu* view_menu_;
    QMenu* language_menu_;
    QMenu* help_menu_;
    QLabel* password_status_;
    QListWidget* results_;
    QWidget* progress_row_;       // shown while a drop runs
    QLabel* progress_file_;       // the file being processed, and its place in the drop
    QProgressBar* progress_;      // how far that file has come
    QPushButton* stop_;
    DropWorker* worker_;
    QLabel* drop_hint_;  // in the list of results while it is empty
    QSpinBox* header_row_;
    QLabel* header_row_label_;
    QSpinBox* max_memory_;  // MiB; 0 shows as automatic
    QLabel* max_memory_label_;
    QLabel* profile_label_;  // the profile in use, when there is one
    QPushButton* add_files_;
    QString profile_file_;
};

}  // namespace hsc::gui
