#pragma once

#include <QDialog>

#include "core/catalog.h"
#include "core/mask_settings.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace hsc::gui {

// Converts dialog units of the dialog templates to pixels.
QRect dialog_rect(int x, int y, int width, int height);

// The three dialogs that edit one text of the settings: the authentication file, the
// password hint and the authentication-file hint. OK takes the text when it is within
// its byte limit; otherwise an error box and the dialog stays open. Esc and the close
// box change nothing.
class ValueDialog : public QDialog {
    Q_OBJECT
public:
    enum Kind { KeyFile, PasswordHint, KeyfileHint };

    // last_chosen: the path the file chooser returned last in this run; it opens there.
    // lang: the language of its refusals (its own texts follow the installed translator).
    ValueDialog(Kind kind, MaskSettings& settings, QString& last_chosen, Lang lang, QWidget* owner);

    QLineEdit* edit() const { return edit_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* chooseButton() const { return choose_; }  // KeyFile only

private:
    void confirm();
    void choose();

    Kind kind_;
    Lang lang_;
    MaskSettings& settings_;
    QString& last_chosen_;
    QLineEdit* edit_;
    QPushButton* ok_;
    QPushButton* choose_ = nullptr;
};

// The password of a masking, asked when the window would mask with the built-in one:
// typed twice (the fields hidden unless "show" is ticked), with the offer to keep it in
// the settings; or, after a confirmation that names the consequence, the built-in one
// for this drop only.
class NewPasswordDialog : public QDialog {
    Q_OBJECT
public:
    enum Outcome { Cancelled, Typed, BuiltIn };
    NewPasswordDialog(Lang lang, QWidget* owner);

    Outcome outcome() const { return outcome_; }
    QString password() const;
    bool save() const;

    QLineEdit* first() const { return first_; }
    QLineEdit* second() const { return second_; }
    QCheckBox* showBox() const { return show_; }
    QCheckBox* saveBox() const { return save_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* builtInButton() const { return built_in_; }

private:
    void confirm();
    void useBuiltIn();

    Lang lang_;
    Outcome outcome_ = Cancelled;
    QLineEdit* first_;
    QLineEdit* second_;
    QCheckBox* show_;
    QCheckBox* save_;
    QPushButton* ok_;
    QPushButton* built_in_;
};

// The password typed into the window since the last masking, typed once more before it
// masks: a typo would leave the workbooks under a password nobody knows.
class RetypePasswordDialog : public QDialog {
    Q_OBJECT
public:
    RetypePasswordDialog(const QString& expected, Lang lang, QWidget* owner);
    QLineEdit* edit() const { return edit_; }
    QCheckBox* showBox() const { return show_; }
    QPushButton* okButton() const { return ok_; }

private:
    void confirm();

    QString expected_;
    Lang lang_;
    QLineEdit* edit_;
    QCheckBox* show_;
    QPushButton* ok_;
};

// The built-in help, read-only.
class HelpDialog : public QDialog {
    Q_OBJECT
public:
    HelpDialog(Lang lang, QWidget* owner);
};

}  // namespace hsc::gui
