#pragma once

#include <QDialog>

#include "core/catalog.h"
#include "core/mask_settings.h"

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

// The built-in help, read-only.
class HelpDialog : public QDialog {
    Q_OBJECT
public:
    HelpDialog(Lang lang, QWidget* owner);
};

}  // namespace hsc::gui
