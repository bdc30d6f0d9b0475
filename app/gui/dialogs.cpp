#include "dialogs.h"

#include <QCoreApplication>
#include <QLineEdit>
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
