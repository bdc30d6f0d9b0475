#include "dialogs.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>

#include "message_box.h"
#include "shell/text_limits.h"
#include "shell/texts.h"
#include "core/catalog.h"

namespace hsc::gui {
namespace {

QString qs(std::string_view t) { return QString::fromUtf8(t.data(), static_cast<qsizetype>(t.size())); }

struct KindInfo {
    const char* title;  // in the dialog's translation context
    const char* object_name;
    std::string MaskSettings::*field;
    std::size_t limit;
    bool cp932;  // hints are stored in their CP932 form and counted so
    Msg too_long;
};

const KindInfo& info(ValueDialog::Kind kind) {
    static const KindInfo kinds[] = {
        {QT_TRANSLATE_NOOP("hsc::gui::ValueDialog", "Hushcel認証ファイル"), "FILEDLG",
         &MaskSettings::key_file, KEY_FILE_MAX, false, Msg::path_too_long},
        {QT_TRANSLATE_NOOP("hsc::gui::ValueDialog", "Hushcelパスワードヒント"), "PWDHINTDLG",
         &MaskSettings::password_hint, HINT_MAX, true, Msg::password_hint_too_long},
        {QT_TRANSLATE_NOOP("hsc::gui::ValueDialog", "Hushcel認証ファイルヒント"), "KEYHINTDLG",
         &MaskSettings::keyfile_hint, HINT_MAX, true, Msg::keyfile_hint_too_long},
    };
    return kinds[kind];
}

QFont dialog_font() {
    QFont font;
    font.setPointSize(9);
    return font;
}

}  // namespace

QRect dialog_rect(int x, int y, int width, int height) {
    // One horizontal unit is a quarter of the average character width and one vertical
    // unit an eighth of the character height, for the 9-point dialog font.
    auto px = [](int v) { return v * 3 / 2; };
    auto py = [](int v) { return v * 13 / 8; };
    return QRect(px(x), py(y), px(width), py(height));
}

ValueDialog::ValueDialog(Kind kind, MaskSettings& settings, QString& last_chosen, Lang lang, QWidget* owner)
    : QDialog(owner), kind_(kind), lang_(lang), settings_(settings), last_chosen_(last_chosen) {
    const KindInfo& k = info(kind);
    setObjectName(k.object_name);
    setWindowTitle(tr(k.title));
    setFont(dialog_font());
    setModal(true);
    const bool file = kind == KeyFile;
    setFixedSize(dialog_rect(0, 0, file ? 400 : 120, 60).size());

    edit_ = new QLineEdit(this);
    edit_->setGeometry(dialog_rect(10, 10, file ? 350 : 100, 15));
    edit_->setText(qs(settings_.*k.field));
    ok_ = new QPushButton(tr("OK"), this);
    ok_->setGeometry(dialog_rect(file ? 180 : 40, 35, 40, 16));
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &ValueDialog::confirm);
    if (file) {
        choose_ = new QPushButton(QStringLiteral("..."), this);
        choose_->setGeometry(dialog_rect(370, 10, 20, 16));
        choose_->setAutoDefault(false);
        connect(choose_, &QPushButton::clicked, this, &ValueDialog::choose);
    }
}

void ValueDialog::confirm() {
    const KindInfo& k = info(kind_);
    std::string text = edit_->text().toStdString();
    std::size_t bytes = k.cp932 ? cp932_length(text) : text.size();
    if (bytes > k.limit) {
        MessageBox::show(nullptr, MessageBox::Critical, qs(say(lang_, k.too_long)), false, true);
        return;  // stays open, the settings untouched
    }
    settings_.*k.field = std::move(text);
    accept();
}

void ValueDialog::choose() {
    QString path = FileChooser::getOpenFileName(this, tr("認証ファイルパス"), last_chosen_, tr("All files (*)"));
    if (path.isEmpty()) return;
    last_chosen_ = path;
    edit_->setText(path);
}

namespace {

QLineEdit* hidden_field(QWidget* parent, const char* name) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setEchoMode(QLineEdit::Password);
    edit->setMinimumWidth(220);
    return edit;
}

// Ticked, the fields show what is typed in them.
QCheckBox* show_toggle(QWidget* parent, std::initializer_list<QLineEdit*> fields) {
    auto* box = new QCheckBox(QCoreApplication::translate("hsc::gui::NewPasswordDialog", "パスワードを表示"), parent);
    box->setObjectName("showPassword");
    std::vector<QLineEdit*> list(fields);
    QObject::connect(box, &QCheckBox::toggled, parent, [list](bool on) {
        for (QLineEdit* f : list) f->setEchoMode(on ? QLineEdit::Normal : QLineEdit::Password);
    });
    return box;
}

QLabel* text_label(QWidget* parent, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

}  // namespace

NewPasswordDialog::NewPasswordDialog(Lang lang, QWidget* owner) : QDialog(owner), lang_(lang) {
    setObjectName("NEWPWDDLG");
    setWindowTitle(tr("Hushcelパスワード"));
    setModal(true);
    auto* column = new QVBoxLayout(this);
    column->addWidget(text_label(this, tr("マスクに使うパスワードを決めてください。復元にはこのパスワードが要ります。")));
    column->addWidget(text_label(this, tr("パスワード")));
    first_ = hidden_field(this, "firstPassword");
    column->addWidget(first_);
    column->addWidget(text_label(this, tr("パスワード(確認)")));
    second_ = hidden_field(this, "secondPassword");
    column->addWidget(second_);
    show_ = show_toggle(this, {first_, second_});
    column->addWidget(show_);
    save_ = new QCheckBox(tr("設定に保存する(次回から入力不要。設定ファイルに封印して記録され、このパソコンの Hushcel なら読み出せます)"), this);
    save_->setObjectName("savePassword");
    save_->setChecked(true);
    column->addWidget(save_);
    auto* buttons = new QDialogButtonBox(this);
    ok_ = buttons->addButton(tr("OK"), QDialogButtonBox::AcceptRole);
    ok_->setObjectName("ok");
    ok_->setDefault(true);
    built_in_ = buttons->addButton(tr("既定のパスワードを使う..."), QDialogButtonBox::ActionRole);
    built_in_->setObjectName("builtIn");
    built_in_->setAutoDefault(false);
    QPushButton* cancel = buttons->addButton(tr("キャンセル"), QDialogButtonBox::RejectRole);
    cancel->setObjectName("cancel");
    cancel->setAutoDefault(false);
    connect(ok_, &QPushButton::clicked, this, &NewPasswordDialog::confirm);
    connect(built_in_, &QPushButton::clicked, this, &NewPasswordDialog::useBuiltIn);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    column->addWidget(buttons);
}

QString NewPasswordDialog::password() const { return outcome_ == Typed ? first_->text() : QString(); }
bool NewPasswordDialog::save() const { return save_->isChecked(); }

void NewPasswordDialog::confirm() {
    const QString typed = first_->text();
    if (typed != second_->text() || typed.isEmpty()) {
        const Msg why = typed != second_->text() ? Msg::password_confirm_differs : Msg::password_empty;
        MessageBox::show(this, MessageBox::Critical, qs(say(lang_, why)), false, true);
        return;  // stays open
    }
    outcome_ = Typed;
    accept();
}

void NewPasswordDialog::useBuiltIn() {
    if (MessageBox::show(this, MessageBox::Question, qs(say(lang_, Msg::confirm_known_password)), true, true) !=
        MessageBox::Yes)
        return;
    outcome_ = BuiltIn;
    accept();
}

RetypePasswordDialog::RetypePasswordDialog(const QString& expected, Lang lang, QWidget* owner)
    : QDialog(owner), expected_(expected), lang_(lang) {
    setObjectName("RETYPEPWDDLG");
    setWindowTitle(tr("Hushcelパスワード"));
    setModal(true);
    auto* column = new QVBoxLayout(this);
    column->addWidget(text_label(this, tr("入力したパスワードでマスクします。確認のため、もう一度入力してください。")));
    edit_ = hidden_field(this, "againPassword");
    column->addWidget(edit_);
    show_ = show_toggle(this, {edit_});
    column->addWidget(show_);
    auto* buttons = new QDialogButtonBox(this);
    ok_ = buttons->addButton(tr("OK"), QDialogButtonBox::AcceptRole);
    ok_->setObjectName("ok");
    ok_->setDefault(true);
    QPushButton* cancel = buttons->addButton(tr("キャンセル"), QDialogButtonBox::RejectRole);
    cancel->setObjectName("cancel");
    cancel->setAutoDefault(false);
    connect(ok_, &QPushButton::clicked, this, &RetypePasswordDialog::confirm);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    column->addWidget(buttons);
}

void RetypePasswordDialog::confirm() {
    if (edit_->text() != expected_) {
        MessageBox::show(this, MessageBox::Critical, qs(say(lang_, Msg::password_confirm_differs)), false, true);
        edit_->clear();
        return;  // stays open
    }
    accept();
}

HelpDialog::HelpDialog(Lang lang, QWidget* owner) : QDialog(owner) {
    setObjectName("HELPDLG");
    setWindowTitle(tr("Hushcelヘルプ"));
    setFont(dialog_font());
    setModal(true);
    setFixedSize(dialog_rect(0, 0, 300, 280).size());
    auto* text = new QPlainTextEdit(this);
    text->setObjectName("helpText");
    text->setGeometry(dialog_rect(10, 10, 280, 225));
    text->setReadOnly(true);
    text->setPlainText(qs(help_text(lang)).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    auto* ok = new QPushButton(tr("OK"), this);
    ok->setGeometry(dialog_rect(130, 250, 40, 16));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::reject);
}

}  // namespace hsc::gui
