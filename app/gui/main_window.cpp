#include "main_window.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <algorithm>

#include "dialogs.h"
#include "message_box.h"
#include "engine/suggest.h"
#include "shell/suggestion_text.h"
#include "shell/texts.h"

// The pictures live in this static library; its resources must be registered by hand.
static void init_resources() { Q_INIT_RESOURCE(resources); }

namespace hsc::gui {
namespace {

QString qs(std::string_view t) { return QString::fromUtf8(t.data(), static_cast<qsizetype>(t.size())); }

QFont ui_font() {
    QFont font;
    font.setPixelSize(12);
    font.setWeight(QFont::Normal);
    return font;
}

template <typename Items>
QComboBox* make_list(QWidget* parent, const char* name, const Items& items, int x, int y) {
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    for (std::string_view item : items) box->addItem(qs(item));
    box->setCurrentIndex(0);
    box->setGeometry(x, y, 60, 20);
    return box;
}

QCheckBox* make_check(QWidget* parent, const char* name, const char* text, int x, int y, int width) {
    auto* box = new QCheckBox(QString::fromUtf8(text), parent);
    box->setObjectName(name);
    // Wide enough for its text where the client area allows: fonts differ from system
    // to system, and a cut label is unreadable.
    width = std::min(std::max(width, box->sizeHint().width()), MainWindow::CLIENT_WIDTH - x);
    box->setGeometry(x, y, width, 20);
    return box;
}

}  // namespace

const PaintedLabel PAINTED_LABELS[7] = {
    {22, 162, "パスワード"},     {122, 207, "マスク列"},       {22, 207, "マスク強度"},
    {22, 252, "漢字マスク文字"}, {122, 252, "英字マスク文字"}, {222, 252, "数字マスク文字"},
    {22, 297, "その他の文字のマスク文字"},
};

Panel::Panel(QWidget* parent) : QWidget(parent), banner_(QStringLiteral(":/hushcel/banner.png")) {
    setObjectName("panel");
    setFixedSize(MainWindow::CLIENT_WIDTH, MainWindow::CLIENT_HEIGHT);
}

void Panel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!banner_.isNull()) painter.drawPixmap(17, 10, banner_);
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::WindowText));
    for (const PaintedLabel& label : PAINTED_LABELS) {
        painter.drawText(QRect(label.x, label.y, width() - label.x, 20), Qt::AlignLeft | Qt::AlignTop,
                         QString::fromUtf8(label.text));
    }
}

MainWindow::MainWindow(Shell& shell, std::function<void()> on_exit)
    : QMainWindow(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                               Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      shell_(shell), on_exit_(std::move(on_exit)) {
    setObjectName("HSC_MAIN");
    setWindowTitle(QStringLiteral("Hushcel"));
    init_resources();
    QIcon icon;
    icon.addFile(QStringLiteral(":/hushcel/icon-64.png"));
    icon.addFile(QStringLiteral(":/hushcel/icon-256.png"));
    setWindowIcon(icon);
    setFont(ui_font());
    setAcceptDrops(true);

    auto* panel = new Panel(this);
    setCentralWidget(panel);
    buildControls(panel);
    buildMenu();
    buildResults();
    password_status_ = new QLabel(this);
    password_status_->setObjectName("passwordStatus");
    statusBar()->addWidget(password_status_);
    statusBar()->setSizeGripEnabled(false);
    connect(password_, &QLineEdit::textChanged, this, &MainWindow::showPasswordStatus);
    setControls(hsc_set_controls(shell_.settings()));
    showPasswordStatus();
    shell_.on_file_done([this](const FileOutcome& outcome) { showOutcome(outcome); });

    // A fixed size: the client area plus the menu bar. Centred on the primary screen.
    adjustSize();
    setFixedSize(sizeHint());
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect area = screen->geometry();
        move(area.x() + (area.width() - CLIENT_WIDTH) / 2, area.y() + (area.height() - CLIENT_HEIGHT) / 2);
    }
}

MainWindow::~MainWindow() { shell_.on_file_done({}); }

void MainWindow::buildResults() {
    // A dock without title or handles: the list sits under the panel, whose size stays.
    auto* dock = new QDockWidget(this);
    dock->setObjectName("resultsDock");
    dock->setFeatures(QDockWidget::NoDockWidgetFeatures);
    dock->setTitleBarWidget(new QWidget(dock));
    results_ = new QListWidget(dock);
    results_->setObjectName("results");
    results_->setWordWrap(true);
    results_->setTextElideMode(Qt::ElideNone);
    results_->setFixedSize(CLIENT_WIDTH, RESULTS_HEIGHT);
    dock->setWidget(results_);
    addDockWidget(Qt::BottomDockWidgetArea, dock);
}

void MainWindow::showOutcome(const FileOutcome& outcome) {
    const auto warnings = report_warning_texts(outcome.report);
    auto add = [this](const std::string& text, QStyle::StandardPixmap icon) {
        auto* item = new QListWidgetItem(style()->standardIcon(icon), qs(text));
        item->setToolTip(qs(text));
        results_->addItem(item);
    };
    const QStyle::StandardPixmap icon = outcome.result == FileOutcome::Result::failed ? QStyle::SP_MessageBoxCritical
                                        : warnings.empty() ? QStyle::SP_DialogApplyButton
                                                           : QStyle::SP_MessageBoxWarning;
    add(outcome_text(outcome), icon);
    for (const std::string& w : warnings) add("  " + w, QStyle::SP_MessageBoxWarning);
    results_->scrollToBottom();
}

void MainWindow::buildControls(QWidget* panel) {
    password_ = new QLineEdit(panel);
    password_->setObjectName("password");
    password_->setEchoMode(QLineEdit::Password);
    password_->setGeometry(22, 180, 105, 20);
    target_column_ = new QLineEdit(panel);
    target_column_->setObjectName("targetColumn");
    target_column_->setGeometry(122, 225, 155, 20);
    strength_ = make_list(panel, "strength", STRENGTH_ITEMS, 22, 225);
    kanji_ = make_list(panel, "kanjiMask", KANJI_MASK_ITEMS, 22, 270);
    alpha_ = make_list(panel, "alphaMask", ALPHA_MASK_ITEMS, 122, 270);
    digit_ = make_list(panel, "digitMask", DIGIT_MASK_ITEMS, 222, 270);
    wchar_ = make_list(panel, "wcharMask", WCHAR_MASK_ITEMS, 22, 315);
    cancel_ = new QPushButton(QStringLiteral("キャンセル"), panel);
    cancel_->setObjectName("cancel");
    cancel_->setGeometry(195, 385, 100, 20);
    connect(cancel_, &QPushButton::clicked, this, &MainWindow::leave);
    overwrite_ = make_check(panel, "overwrite", "上書き更新", 22, 355, 100);
    file_hash_ = make_check(panel, "fileHash", "ファイル認証モード", 140, 180, 120);
    no_password_ = make_check(panel, "noPassword", "パスワードを記録しない", 140, 155, 150);
    autoshape_ = make_check(panel, "autoshape", "図形の文字をマスク", 122, 355, 150);
    recrypto_ = make_check(panel, "recrypto", "自動再暗号化", 22, 385, 100);
    keep_header_ = make_check(panel, "keepHeader", "見出し行を残す", 122, 315, 150);
}

void MainWindow::buildMenu() {
    auto add = [this](QMenu* menu, const char* name, const char* text, QKeySequence key, void (MainWindow::*slot)()) {
        QAction* a = menu->addAction(QString::fromUtf8(text));
        a->setObjectName(name);
        a->setShortcut(key);
        a->setShortcutContext(Qt::WindowShortcut);
        connect(a, &QAction::triggered, this, slot);
    };
    QMenu* file = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    add(file, "exit", "終了(&X)", QKeySequence(Qt::CTRL | Qt::Key_X), &MainWindow::exitCommand);
    add(file, "save", "設定保存(&S)", QKeySequence(Qt::CTRL | Qt::Key_S), &MainWindow::saveCommand);
    add(file, "suggestColumns", "列を提案(&T)", QKeySequence(), &MainWindow::suggestColumnsCommand);
    QMenu* auth = menuBar()->addMenu(QStringLiteral("認証(&C)"));
    add(auth, "keyFile", "認証ファイル(&F)", QKeySequence(Qt::CTRL | Qt::Key_F), &MainWindow::keyFileCommand);
    add(auth, "keyfileHint", "認証ファイルヒント(&K)", QKeySequence(Qt::CTRL | Qt::Key_K),
        &MainWindow::keyfileHintCommand);
    add(auth, "passwordHint", "パスワードヒント(&P)", QKeySequence(Qt::CTRL | Qt::Key_P),
        &MainWindow::passwordHintCommand);
    QMenu* help = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    add(help, "help", "ヘルプ(&H)", QKeySequence(Qt::Key_F1), &MainWindow::helpCommand);
    help->addSeparator();
    add(help, "version", "バージョン情報(&A)", QKeySequence(Qt::CTRL | Qt::Key_A), &MainWindow::versionCommand);
}

QAction* MainWindow::action(const char* name) const { return findChild<QAction*>(name); }

ControlValues MainWindow::controls() const {
    ControlValues c;
    c.password = password_->text().toStdString();
    c.target_column = target_column_->text().toStdString();
    c.strength = strength_->currentIndex();
    c.kanji = kanji_->currentIndex();
    c.alpha = alpha_->currentIndex();
    c.digit = digit_->currentIndex();
    c.wchar = wchar_->currentIndex();
    c.overwrite = overwrite_->isChecked();
    c.file_hash = file_hash_->isChecked();
    c.no_password = no_password_->isChecked();
    c.autoshape = autoshape_->isChecked();
    c.recrypto = recrypto_->isChecked();
    c.keep_header = keep_header_->isChecked();
    return c;
}

void MainWindow::setControls(const ControlValues& c) {
    password_->setText(qs(c.password));
    target_column_->setText(qs(c.target_column));
    strength_->setCurrentIndex(c.strength);
    kanji_->setCurrentIndex(c.kanji);
    alpha_->setCurrentIndex(c.alpha);
    digit_->setCurrentIndex(c.digit);
    wchar_->setCurrentIndex(c.wchar);
    overwrite_->setChecked(c.overwrite);
    file_hash_->setChecked(c.file_hash);
    no_password_->setChecked(c.no_password);
    autoshape_->setChecked(c.autoshape);
    recrypto_->setChecked(c.recrypto);
    keep_header_->setChecked(c.keep_header);
}

void MainWindow::showPasswordStatus() {
    MaskSettings typed;
    typed.password = password_->text().toStdString();
    password_status_->setText(uses_known_password(typed) ? qs(MSG_KNOWN_PASSWORD_STATUS) : QString());
}

void MainWindow::dropFiles(const QStringList& paths) {
    std::vector<std::filesystem::path> files;
    for (const QString& p : paths) files.emplace_back(p.toStdString());
    if (files.empty()) return;
    if (!shell_.busy()) results_->clear();  // the list shows the files of this drop
    shell_.drop(std::move(files), controls());  // queued by the shell when one is running
    if (shell_.busy()) return;
    show();
    if (exit_after_drop_) leave();
}

void MainWindow::bringToFront() {
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) paths << url.toLocalFile();
    }
    event->acceptProposedAction();
    dropFiles(paths);
}

void MainWindow::leave() {
    if (leaving_) return;
    if (shell_.busy()) {
        // Never end in the middle of a drop: finish its files first.
        exit_after_drop_ = true;
        return;
    }
    leaving_ = true;
    shell_.save_prompt(controls());
    hide();
    on_exit_();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!leaving_) leave();
    if (leaving_) event->accept();
    else event->ignore();
}

void MainWindow::exitCommand() { leave(); }

void MainWindow::saveCommand() { shell_.save_settings(controls()); }

void MainWindow::helpCommand() {
    HelpDialog dialog(this);
    dialog.exec();
}

void MainWindow::versionCommand() {
    QString text = qs(hsc_version_text(APP_THIRD_LINE));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    MessageBox::show(this, MessageBox::NoIcon, text, false, true);
}

void MainWindow::passwordHintCommand() {
    ValueDialog dialog(ValueDialog::PasswordHint, shell_.settings(), last_chosen_key_file_, this);
    dialog.exec();
}

void MainWindow::keyfileHintCommand() {
    ValueDialog dialog(ValueDialog::KeyfileHint, shell_.settings(), last_chosen_key_file_, this);
    dialog.exec();
}

void MainWindow::keyFileCommand() {
    ValueDialog dialog(ValueDialog::KeyFile, shell_.settings(), last_chosen_key_file_, this);
    dialog.exec();
}

void MainWindow::suggestColumnsCommand() {
    const QString path = FileChooser::getOpenFileName(this, QStringLiteral("列を提案するブック"), QString(),
                                                      QStringLiteral("Excel ブック (*.xlsx *.xlsm)"));
    if (path.isEmpty()) return;
    const SuggestLimits limits;
    const WorkbookSuggestion s = suggest_columns(std::filesystem::path(path.toStdString()), limits);
    if (s.status != SuggestStatus::ok) {
        MessageBox::show(this, MessageBox::Critical, qs(suggestion_error(s.status, path.toStdString())), false, true);
        return;
    }
    const QString report = qs(suggestion_text(s, limits.sample_rows));
    if (s.columns.empty()) {
        MessageBox::show(this, MessageBox::Information, report, false, true);
        return;
    }
    const QString question = report + QStringLiteral("\n\nマスク列を「%1」にしますか?").arg(qs(s.columns));
    if (MessageBox::show(this, MessageBox::Question, question, true, true) == MessageBox::Yes)
        target_column_->setText(qs(s.columns));
}

}  // namespace hsc::gui
