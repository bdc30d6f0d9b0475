#include "main_window.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
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
#include <QVBoxLayout>
#include <algorithm>

#include "dialogs.h"
#include "message_box.h"
#include "engine/suggest.h"
#include "shell/suggestion_text.h"
#include "shell/texts.h"
#include "core/catalog.h"

// The pictures live in this static library; its resources must be registered by hand.
static void init_resources() { Q_INIT_RESOURCE(resources); }

namespace hsc::gui {
namespace {

QString qs(std::string_view t) { return QString::fromUtf8(t.data(), static_cast<qsizetype>(t.size())); }

// The banner's place; the controls begin under it.
constexpr int BANNER_X = 17, BANNER_Y = 10, BANNER_HEIGHT = 129;

template <typename Items>
QComboBox* make_list(QWidget* parent, const char* name, const Items& items) {
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    for (std::string_view item : items) box->addItem(qs(item));
    box->setCurrentIndex(0);
    box->setMinimumWidth(60);
    return box;
}

QCheckBox* make_check(QWidget* parent, const char* name, const char* text) {
    auto* box = new QCheckBox(QString::fromUtf8(text), parent);
    box->setObjectName(name);
    return box;
}

QLabel* make_label(QWidget* parent, const char* name, const char* text) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setObjectName(name);
    return label;
}

}  // namespace

Panel::Panel(QWidget* parent) : QWidget(parent), banner_(QStringLiteral(":/hushcel/banner.png")) {
    setObjectName("panel");
    setMinimumSize(MainWindow::CLIENT_WIDTH, MainWindow::CLIENT_HEIGHT);
}

void Panel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!banner_.isNull()) painter.drawPixmap(BANNER_X, BANNER_Y, banner_);
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
    setAcceptDrops(true);  // the window takes the application's font: every text fits it

    auto* panel = new Panel(this);
    setCentralWidget(panel);
    buildControls(panel);
    buildMenu();
    buildResults();
    password_status_ = new QLabel(this);
    password_status_->setObjectName("passwordStatus");
    // Room for the notice also when the window is sized without it (a password of one's own).
    password_status_->setMinimumWidth(password_status_->fontMetrics().horizontalAdvance(qs(say(shell_.lang(), Msg::known_password_status))));
    statusBar()->addWidget(password_status_);
    statusBar()->setMinimumWidth(password_status_->minimumWidth() + 2 * statusBar()->style()->pixelMetric(QStyle::PM_LayoutLeftMargin));
    statusBar()->setSizeGripEnabled(false);
    connect(password_, &QLineEdit::textChanged, this, &MainWindow::showPasswordStatus);
    setControls(hsc_set_controls(shell_.settings()));
    showPasswordStatus();
    shell_.on_file_done([this](const FileOutcome& outcome) { showOutcome(outcome); });

    // A fixed size: what the controls need with this font, with the menu bar and the
    // list of results. Centred on the primary screen.
    adjustSize();
    setFixedSize(sizeHint().expandedTo(minimumSizeHint()));
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect area = screen->geometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
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
    results_->setFixedHeight(RESULTS_HEIGHT);
    results_->setMinimumWidth(CLIENT_WIDTH);
    dock->setWidget(results_);
    addDockWidget(Qt::BottomDockWidgetArea, dock);

    drop_hint_ = new QLabel(qs(say(shell_.lang(), Msg::drop_hint)));
    drop_hint_->setObjectName("dropHint");
    drop_hint_->setAlignment(Qt::AlignCenter);
    drop_hint_->setEnabled(false);  // drawn greyed: a hint, not a result
    auto* hint_layout = new QVBoxLayout(results_->viewport());
    hint_layout->addWidget(drop_hint_);
    // The list is never narrower than its hint.
    results_->setMinimumWidth(std::max(CLIENT_WIDTH, drop_hint_->sizeHint().width() + 2 * results_->frameWidth() + 8));
    // The hint stands in the list while it is empty. The connections end with the hint,
    // so the list's teardown never reaches a window being destroyed.
    const auto show_hint = [list = results_, hint = drop_hint_] { hint->setVisible(list->count() == 0); };
    QAbstractItemModel* model = results_->model();
    connect(model, &QAbstractItemModel::rowsInserted, drop_hint_, show_hint);
    connect(model, &QAbstractItemModel::rowsRemoved, drop_hint_, show_hint);
    connect(model, &QAbstractItemModel::modelReset, drop_hint_, show_hint);
    show_hint();
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

// Three columns under the banner, each label over its control. The grid gives every
// widget at least the width its text needs in the current font, so a larger font
// widens the window instead of cutting a label.
void MainWindow::buildControls(QWidget* panel) {
    password_ = new QLineEdit(panel);
    password_->setObjectName("password");
    password_->setEchoMode(QLineEdit::Password);
    password_->setMinimumWidth(105);
    target_column_ = new QLineEdit(panel);
    target_column_->setObjectName("targetColumn");
    target_column_->setMinimumWidth(155);
    strength_ = make_list(panel, "strength", STRENGTH_ITEMS);
    kanji_ = make_list(panel, "kanjiMask", KANJI_MASK_ITEMS);
    alpha_ = make_list(panel, "alphaMask", ALPHA_MASK_ITEMS);
    digit_ = make_list(panel, "digitMask", DIGIT_MASK_ITEMS);
    wchar_ = make_list(panel, "wcharMask", WCHAR_MASK_ITEMS);
    cancel_ = new QPushButton(QStringLiteral("キャンセル"), panel);
    cancel_->setObjectName("cancel");
    cancel_->setMinimumWidth(100);
    connect(cancel_, &QPushButton::clicked, this, &MainWindow::leave);
    overwrite_ = make_check(panel, "overwrite", "上書き更新");
    file_hash_ = make_check(panel, "fileHash", "ファイル認証モード");
    no_password_ = make_check(panel, "noPassword", "パスワードを記録しない");
    autoshape_ = make_check(panel, "autoshape", "図形の文字をマスク");
    recrypto_ = make_check(panel, "recrypto", "自動再暗号化");
    keep_header_ = make_check(panel, "keepHeader", "見出し行を残す");

    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(22, BANNER_Y + BANNER_HEIGHT + 10, 10, 10);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(2);
    for (int column = 0; column < 3; ++column) grid->setColumnMinimumWidth(column, 90);
    const auto left = Qt::AlignLeft | Qt::AlignVCenter;
    int row = 0;
    const auto gap = [&] { grid->setRowMinimumHeight(row++, 6); };
    grid->addWidget(make_label(panel, "passwordLabel", "パスワード"), row, 0);
    grid->addWidget(no_password_, row++, 1, 1, 2);
    grid->addWidget(password_, row, 0);
    grid->addWidget(file_hash_, row++, 1, 1, 2);
    gap();
    grid->addWidget(make_label(panel, "strengthLabel", "マスク強度"), row, 0);
    grid->addWidget(make_label(panel, "targetColumnLabel", "マスク列"), row++, 1, 1, 2);
    grid->addWidget(strength_, row, 0, left);
    grid->addWidget(target_column_, row++, 1, 1, 2);
    gap();
    grid->addWidget(make_label(panel, "kanjiMaskLabel", "漢字マスク文字"), row, 0);
    grid->addWidget(make_label(panel, "alphaMaskLabel", "英字マスク文字"), row, 1);
    grid->addWidget(make_label(panel, "digitMaskLabel", "数字マスク文字"), row++, 2);
    grid->addWidget(kanji_, row, 0, left);
    grid->addWidget(alpha_, row, 1, left);
    grid->addWidget(digit_, row++, 2, left);
    gap();
    grid->addWidget(make_label(panel, "wcharMaskLabel", "その他の文字のマスク文字"), row++, 0, 1, 3);
    grid->addWidget(wchar_, row, 0, left);
    grid->addWidget(keep_header_, row++, 1, 1, 2);
    gap();
    grid->addWidget(overwrite_, row, 0);
    grid->addWidget(autoshape_, row++, 1, 1, 2);
    grid->addWidget(recrypto_, row, 0);
    grid->addWidget(cancel_, row++, 2, Qt::AlignRight | Qt::AlignVCenter);
    grid->setRowStretch(row, 1);  // spare height goes under the controls
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
    password_status_->setText(uses_known_password(typed) ? qs(say(shell_.lang(), Msg::known_password_status)) : QString());
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
