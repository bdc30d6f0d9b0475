#include "main_window.h"

#include <QAction>
#include <QActionGroup>
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
#include <QLibraryInfo>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPainter>
#include <QPushButton>
#include <QFileInfo>
#include <QScreen>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

#include "dialogs.h"
#include "drop_worker.h"
#include "message_box.h"
#include "engine/suggest.h"
#include "engine/choice_text.h"
#include <cerrno>
#include <cstring>
#include "shell/suggestion_text.h"
#include "shell/texts.h"
#include "core/catalog.h"

// The pictures live in this static library; its resources must be registered by hand.
static void init_resources() { Q_INIT_RESOURCE(resources); }

namespace hsc::gui {

QIcon program_icon() {
    QIcon icon;
    for (const char* size : {"16x16", "24x24", "32x32", "48x48", "64x64", "128x128", "256x256", "512x512"})
        icon.addFile(QStringLiteral(":/hushcel/icons/") + QLatin1String(size) + QStringLiteral("/hushcel.png"));
    return icon;
}

namespace {

QString qs(std::string_view t) { return QString::fromUtf8(t.data(), static_cast<qsizetype>(t.size())); }

// The banner's place; the controls begin under it.
constexpr int BANNER_X = 17, BANNER_Y = 10, BANNER_HEIGHT = 129;

// The lists get their items here and their words, in the window's language, in
// retranslate().
template <typename Items>
QComboBox* make_list(QWidget* parent, const char* name, const Items& items) {
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    for (std::string_view item : items) box->addItem(qs(item));
    box->setCurrentIndex(0);
    box->setMinimumWidth(60);
    box->setSizeAdjustPolicy(QComboBox::AdjustToContents);  // follows the items' words
    return box;
}

template <typename Items>
void set_items(QComboBox* box, const Items& items) {
    for (std::size_t i = 0; i < items.size(); ++i) box->setItemText(int(i), qs(items[i]));
}

QCheckBox* make_check(QWidget* parent, const char* name) {
    auto* box = new QCheckBox(parent);
    box->setObjectName(name);
    return box;
}

// Every label draws its text as it stands: never as markup, whatever it holds.
QLabel* make_label(QWidget* parent, const char* name) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    return label;
}

// A tooltip takes markup when its text looks like some, and a name from a file may;
// escaped inside a paragraph of its own it is shown as it stands.
QString plain_tooltip(const QString& text) {
    return QStringLiteral("<p style='white-space:pre-wrap'>") + text.toHtmlEscaped() + QStringLiteral("</p>");
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
    setWindowIcon(program_icon());
    setAcceptDrops(true);  // the window takes the application's font: every text fits it

    auto* panel = new Panel(this);
    setCentralWidget(panel);
    buildControls(panel);
    buildMenu();
    buildResults();
    password_status_ = make_label(this, "passwordStatus");
    statusBar()->addWidget(password_status_);
    statusBar()->setSizeGripEnabled(false);
    connect(password_, &QLineEdit::textChanged, this, &MainWindow::showPasswordStatus);
    connect(password_, &QLineEdit::textEdited, this, [this] { password_typed_ = true; });
    setControls(hsc_set_controls(shell_.settings()));
    worker_ = new DropWorker(shell_, shell_.reporter(), this);
    connect(worker_, &DropWorker::progressed, this, &MainWindow::showProgress);
    connect(worker_, &DropWorker::idle, this, &MainWindow::dropsFinished);
    connect(worker_, &DropWorker::jobStarted, this, [this] { files_done_ = 0; });
    // Told on the worker's thread; the list is the window's.
    shell_.on_file_done([this](const FileOutcome& outcome) { worker_->onWindowThread([&] { showOutcome(outcome); }); });
    built_ = true;

    // The texts, and with them the window's fixed size. Centred on the primary screen.
    setLanguage(shell_.lang());
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect area = screen->geometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
}

MainWindow::~MainWindow() {
    worker_->shutDown();
    shell_.on_file_done({});
}

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

    // While a drop runs: its file, how far it has come, and the stop.
    progress_row_ = new QWidget(dock);
    progress_row_->setObjectName("progressRow");
    progress_file_ = make_label(progress_row_, "progressFile");
    progress_ = new QProgressBar(progress_row_);
    progress_->setObjectName("progress");
    progress_->setRange(0, 100);
    stop_ = new QPushButton(progress_row_);
    stop_->setObjectName("stop");
    connect(stop_, &QPushButton::clicked, this, &MainWindow::stopCommand);
    auto* row = new QGridLayout(progress_row_);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(progress_file_, 0, 0, 1, 2);
    row->addWidget(progress_, 1, 0);
    row->addWidget(stop_, 1, 1);
    row->setColumnStretch(0, 1);
    // Its room is kept while it is hidden, so the window's size never jumps.
    QSizePolicy keep = progress_row_->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    progress_row_->setSizePolicy(keep);
    progress_row_->hide();

    auto* area = new QWidget(dock);
    auto* column = new QVBoxLayout(area);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(progress_row_);
    column->addWidget(results_);
    dock->setWidget(area);
    addDockWidget(Qt::BottomDockWidgetArea, dock);

    drop_hint_ = make_label(nullptr, "dropHint");
    drop_hint_->setAlignment(Qt::AlignCenter);
    drop_hint_->setEnabled(false);  // drawn greyed: a hint, not a result
    auto* hint_layout = new QVBoxLayout(results_->viewport());
    hint_layout->addWidget(drop_hint_);
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
    outcomes_.push_back(outcome);
    addOutcomeLines(outcome);
    results_->scrollToBottom();
    ++files_done_;
    showProgress(Progress{});  // the next file starts from nothing
}

void MainWindow::showProgress(const Progress& progress) {
    const DropJob* job = worker_->current();
    if (!job || job->files.empty()) return;
    const std::size_t n = job->files.size();
    const std::size_t at = std::min(files_done_, n - 1);
    const QString name = qs(job->files[at].filename().string());
    progress_file_->setText(n > 1 ? tr("%1(%2/%3)").arg(name).arg(at + 1).arg(n) : name);
    progress_->setValue(progress.percent());
    progress_->setToolTip(tr("%1 / %2 パート").arg(progress.parts_read + progress.parts_written).arg(2 * progress.parts_total));
}

bool MainWindow::busy() const { return worker_->busy(); }

void MainWindow::stopCommand() { worker_->cancel(); }

void MainWindow::dropsFinished() {
    progress_row_->hide();
    progress_file_->clear();
    progress_->reset();
    show();
    emit dropsDone();
    if (exit_after_drop_) leave();
}

void MainWindow::addOutcomeLines(const FileOutcome& outcome) {
    auto warnings = report_warning_texts(outcome.report, shell_.lang());
    for (std::string& w : merge_warning_texts(outcome.merge, shell_.lang())) warnings.push_back(std::move(w));
    auto add = [this](const QString& text, QStyle::StandardPixmap icon) { addResultLine(text, icon); };
    const QString input = qs(outcome.input.filename().string());
    const QString output = qs(outcome.output.filename().string());
    QString line;
    switch (outcome.result) {
        case FileOutcome::Result::masked:
            line = tr("%1 をマスクしました → %2").arg(input, output);
            if (outcome.report.produced) {
                const MaskReport& r = outcome.report;
                line += r.cells ? tr("(共有文字列 %1件、セル %2件、図形の文字 %3件)")
                                      .arg(r.shared_strings).arg(*r.cells).arg(r.shapes)
                                : tr("(共有文字列 %1件、図形の文字 %2件)").arg(r.shared_strings).arg(r.shapes);
            }
            break;
        case FileOutcome::Result::restored:
            line = tr("%1 を復元しました → %2").arg(input, output);
            // An edited workbook restored cell by cell: the counts as the command line says them.
            if (outcome.merge.produced) line += QStringLiteral(" (") + qs(merge_counts_text(outcome.merge, shell_.lang())) + ")";
            break;
        case FileOutcome::Result::cancelled:
            line = qs(say(shell_.lang(), Msg::outcome_cancelled, {outcome.input.filename().string()}));
            break;
        case FileOutcome::Result::failed:
            std::string reasons;  // the failures as the pipeline worded them
            for (const std::string& m : outcome.messages) reasons.append(reasons.empty() ? "" : " ").append(m);
            line = reasons.empty() ? tr("%1 は処理できませんでした").arg(input)
                                   : tr("%1 は処理できませんでした: %2").arg(input, qs(reasons));
            break;
    }
    const QStyle::StandardPixmap icon = outcome.result == FileOutcome::Result::failed ? QStyle::SP_MessageBoxCritical
                                        : outcome.result == FileOutcome::Result::cancelled ? QStyle::SP_BrowserStop
                                        : warnings.empty() ? QStyle::SP_DialogApplyButton
                                                           : QStyle::SP_MessageBoxWarning;
    add(line, icon);
    addColumnLines(outcome);
    for (const std::string& w : warnings) add(QStringLiteral("  ") + qs(w), QStyle::SP_MessageBoxWarning);
}

// The report per column of a masking, one line per chosen column under the file's line;
// a column left readable carries the warning icon.
void MainWindow::addColumnLines(const FileOutcome& outcome) {
    if (outcome.result != FileOutcome::Result::masked || outcome.report.columns.empty()) return;
    const std::vector<std::string> lines = column_report_lines(outcome.report, shell_.lang());
    addResultLine(QStringLiteral("  ") + qs(say(shell_.lang(), Msg::report_heading)), QStyle::SP_FileDialogDetailedView);
    for (std::size_t i = 0; i < lines.size(); ++i)
        addResultLine(QStringLiteral("    ") + qs(lines[i]), outcome.report.columns[i].readable()
                                                                ? QStyle::SP_MessageBoxWarning
                                                                : QStyle::SP_MessageBoxInformation);
}

void MainWindow::addResultLine(const QString& text, QStyle::StandardPixmap icon) {
    auto* item = new QListWidgetItem(style()->standardIcon(icon), text);
    item->setToolTip(plain_tooltip(text));
    results_->addItem(item);
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
    // Wide enough for a list of header names, not only a few letters.
    target_column_->setMinimumWidth(
        target_column_->fontMetrics().horizontalAdvance(QStringLiteral("氏名,電話番号,住所,生年月日,メール")) + 16);
    header_row_ = new QSpinBox(panel);
    header_row_->setObjectName("headerRow");
    header_row_->setRange(1, 1048576);  // the rows of a worksheet
    max_memory_ = new QSpinBox(panel);
    max_memory_->setObjectName("maxMemory");
    max_memory_->setRange(0, 1 << 20);  // MiB, up to a tebibyte
    max_memory_->setSingleStep(256);
    max_memory_->setSuffix(QStringLiteral(" MB"));
    add_files_ = new QPushButton(panel);
    add_files_->setObjectName("addFiles");
    connect(add_files_, &QPushButton::clicked, this, &MainWindow::openCommand);
    strength_ = make_list(panel, "strength", STRENGTH_ITEMS);
    kanji_ = make_list(panel, "kanjiMask", KANJI_MASK_ITEMS);
    alpha_ = make_list(panel, "alphaMask", ALPHA_MASK_ITEMS);
    digit_ = make_list(panel, "digitMask", DIGIT_MASK_ITEMS);
    wchar_ = make_list(panel, "wcharMask", WCHAR_MASK_ITEMS);
    cancel_ = new QPushButton(panel);
    cancel_->setObjectName("cancel");
    cancel_->setMinimumWidth(100);
    connect(cancel_, &QPushButton::clicked, this, &MainWindow::leave);
    overwrite_ = make_check(panel, "overwrite");
    file_hash_ = make_check(panel, "fileHash");
    no_password_ = make_check(panel, "noPassword");
    autoshape_ = make_check(panel, "autoshape");
    recrypto_ = make_check(panel, "recrypto");
    keep_header_ = make_check(panel, "keepHeader");
    text_only_ = make_check(panel, "textOnly");
    compat_ = make_check(panel, "compat");
    send_copy_ = make_check(panel, "sendCopy");
    password_label_ = make_label(panel, "passwordLabel");
    strength_label_ = make_label(panel, "strengthLabel");
    target_column_label_ = make_label(panel, "targetColumnLabel");
    kanji_label_ = make_label(panel, "kanjiMaskLabel");
    alpha_label_ = make_label(panel, "alphaMaskLabel");
    digit_label_ = make_label(panel, "digitMaskLabel");
    wchar_label_ = make_label(panel, "wcharMaskLabel");
    header_row_label_ = make_label(panel, "headerRowLabel");
    max_memory_label_ = make_label(panel, "maxMemoryLabel");
    profile_label_ = make_label(panel, "profileStatus");
    profile_label_->hide();

    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(22, BANNER_Y + BANNER_HEIGHT + 10, 10, 10);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(2);
    for (int column = 0; column < 3; ++column) grid->setColumnMinimumWidth(column, 90);
    const auto left = Qt::AlignLeft | Qt::AlignVCenter;
    int row = 0;
    const auto gap = [&] { grid->setRowMinimumHeight(row++, 6); };
    grid->addWidget(password_label_, row, 0);
    grid->addWidget(no_password_, row++, 1, 1, 2);
    grid->addWidget(password_, row, 0);
    grid->addWidget(file_hash_, row++, 1, 1, 2);
    gap();
    grid->addWidget(strength_label_, row, 0);
    grid->addWidget(header_row_label_, row, 1);
    grid->addWidget(max_memory_label_, row++, 2);
    grid->addWidget(strength_, row, 0, left);
    grid->addWidget(header_row_, row, 1, left);
    grid->addWidget(max_memory_, row++, 2, left);
    grid->addWidget(target_column_label_, row++, 0, 1, 3);
    grid->addWidget(target_column_, row++, 0, 1, 3);
    grid->addWidget(profile_label_, row++, 0, 1, 3);
    gap();
    grid->addWidget(kanji_label_, row, 0);
    grid->addWidget(alpha_label_, row, 1);
    grid->addWidget(digit_label_, row++, 2);
    grid->addWidget(kanji_, row, 0, left);
    grid->addWidget(alpha_, row, 1, left);
    grid->addWidget(digit_, row++, 2, left);
    gap();
    grid->addWidget(wchar_label_, row++, 0, 1, 3);
    grid->addWidget(wchar_, row, 0, left);
    grid->addWidget(keep_header_, row++, 1, 1, 2);
    grid->addWidget(text_only_, row++, 1, 1, 2);
    gap();
    grid->addWidget(overwrite_, row, 0);
    grid->addWidget(autoshape_, row++, 1, 1, 2);
    grid->addWidget(recrypto_, row, 0);
    grid->addWidget(add_files_, row, 1, Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(cancel_, row++, 2, Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(compat_, row++, 0, 1, 3);
    grid->addWidget(send_copy_, row++, 0, 1, 3);
    grid->setRowStretch(row, 1);  // spare height goes under the controls
}

void MainWindow::buildMenu() {
    auto add = [this](QMenu* menu, const char* name, QKeySequence key, void (MainWindow::*slot)()) {
        QAction* a = menu->addAction(QString());
        a->setObjectName(name);
        a->setShortcut(key);
        a->setShortcutContext(Qt::WindowShortcut);
        connect(a, &QAction::triggered, this, slot);
    };
    file_menu_ = menuBar()->addMenu(QString());
    add(file_menu_, "open", QKeySequence::Open, &MainWindow::openCommand);
    file_menu_->addSeparator();
    // The platform's own key for leaving, Ctrl+Q where the platform names none: Ctrl+X is
    // the cut of a text field.
    const QList<QKeySequence> quit = QKeySequence::keyBindings(QKeySequence::Quit);
    add(file_menu_, "exit", quit.isEmpty() ? QKeySequence(Qt::CTRL | Qt::Key_Q) : quit.first(), &MainWindow::exitCommand);
    add(file_menu_, "save", QKeySequence(Qt::CTRL | Qt::Key_S), &MainWindow::saveCommand);
    add(file_menu_, "suggestColumns", QKeySequence(), &MainWindow::suggestColumnsCommand);
    file_menu_->addSeparator();
    add(file_menu_, "loadProfile", QKeySequence(), &MainWindow::loadProfileCommand);
    add(file_menu_, "saveProfile", QKeySequence(), &MainWindow::saveProfileCommand);
    add(file_menu_, "clearProfile", QKeySequence(), &MainWindow::clearProfileCommand);
    action("clearProfile")->setEnabled(false);
    auth_menu_ = menuBar()->addMenu(QString());
    add(auth_menu_, "keyFile", QKeySequence(Qt::CTRL | Qt::Key_F), &MainWindow::keyFileCommand);
    add(auth_menu_, "keyfileHint", QKeySequence(Qt::CTRL | Qt::Key_K), &MainWindow::keyfileHintCommand);
    add(auth_menu_, "passwordHint", QKeySequence(Qt::CTRL | Qt::Key_P), &MainWindow::passwordHintCommand);

    view_menu_ = menuBar()->addMenu(QString());
    language_menu_ = view_menu_->addMenu(QString());
    language_menu_->setObjectName("languageMenu");
    auto* languages = new QActionGroup(this);
    // Each language is named in its own words, so that a user who cannot read the
    // current one still finds theirs.
    const std::pair<Lang, const char*> choices[] = {{Lang::ja, "日本語"}, {Lang::en, "English"}};
    for (const auto& [lang, own_name] : choices) {
        QAction* a = language_menu_->addAction(QString::fromUtf8(own_name));
        a->setObjectName(QStringLiteral("language-") + qs(lang_name(lang)));
        a->setCheckable(true);
        a->setActionGroup(languages);
        connect(a, &QAction::triggered, this, [this, lang = lang] { setLanguage(lang); });
    }

    help_menu_ = menuBar()->addMenu(QString());
    add(help_menu_, "help", QKeySequence(Qt::Key_F1), &MainWindow::helpCommand);
    help_menu_->addSeparator();
    add(help_menu_, "version", QKeySequence(Qt::CTRL | Qt::Key_A), &MainWindow::versionCommand);
}

void MainWindow::setLanguage(Lang lang) {
    shell_.set_lang(lang);
    QCoreApplication::removeTranslator(&translator_);
    QCoreApplication::removeTranslator(&qt_translator_);
    // Qt's own texts (the file chooser, the edit fields' menus) where the system has
    // their translations; English is their own language.
    if (qt_translator_.load(QLocale(lang == Lang::ja ? QLocale::Japanese : QLocale::English), QStringLiteral("qtbase"),
                            QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qt_translator_);
    // Japanese is the language the texts are written in; English comes from its catalogue.
    if (lang == Lang::en) {
        // Built into the program: a failure is a broken build, which the tests catch.
        if (translator_.isEmpty() && !translator_.load(QStringLiteral(":/hushcel/i18n/hushcel_en.qm")))
            qWarning("hushcel-gui: the English texts are missing");
        QCoreApplication::installTranslator(&translator_);
    }
    retranslate();
}

void MainWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange && built_) retranslate();
    QMainWindow::changeEvent(event);
}

void MainWindow::retranslate() {
    password_label_->setText(tr("パスワード"));
    no_password_->setText(tr("パスワードを記録しない"));
    file_hash_->setText(tr("ファイル認証モード"));
    strength_label_->setText(tr("マスク強度"));
    target_column_label_->setText(tr("マスク列"));
    kanji_label_->setText(tr("漢字マスク文字"));
    alpha_label_->setText(tr("英字マスク文字"));
    digit_label_->setText(tr("数字マスク文字"));
    wchar_label_->setText(tr("その他の文字のマスク文字"));
    keep_header_->setText(tr("見出し行を残す"));
    text_only_->setText(tr("数値と日付は残す"));
    overwrite_->setText(tr("上書き更新"));
    autoshape_->setText(tr("図形の文字をマスク"));
    recrypto_->setText(tr("自動再暗号化"));
    compat_->setText(tr("互換形式でマスク(弱い暗号)"));
    compat_->setToolTip(tr("この形式しか読めない相手に渡すときだけ。パスワードの先頭16バイトだけが鍵になり、総当たりに弱い形式です。復元はどちらの形式も読みます。"));
    send_copy_->setText(tr("送付用のコピー(バックアップなし)"));
    send_copy_->setToolTip(tr("外に渡すコピーを、バックアップを入れずにマスクします。解読できるものを何も含みません。元のブックは手元に残し、戻ってきたブックは hushcel restore --from で元のブックから復元します。上書き更新とは一緒に使えません。"));
    cancel_->setText(tr("キャンセル"));
    header_row_label_->setText(tr("見出し行"));
    max_memory_label_->setText(tr("メモリ上限"));
    max_memory_->setSpecialValueText(tr("自動"));
    add_files_->setText(tr("ファイルを追加..."));
    useProfile(profile_file_);  // its line in the new language
    retranslateTooltips();
    stop_->setText(tr("中止"));
    stop_->setToolTip(tr("処理中のブックを途中で止めます。止めたブックの出力は作られず、フォルダは元のままです。"));

    const Lang lang = shell_.lang();
    set_items(strength_, strength_items(lang));
    set_items(kanji_, kanji_mask_items(lang));
    set_items(alpha_, alpha_mask_items(lang));
    set_items(digit_, digit_mask_items(lang));
    set_items(wchar_, wchar_mask_items(lang));

    file_menu_->setTitle(tr("ファイル(&F)"));
    action("exit")->setText(tr("終了(&X)"));
    action("save")->setText(tr("設定保存(&S)"));
    action("suggestColumns")->setText(tr("列を提案(&T)"));
    action("open")->setText(tr("開く(&O)..."));
    action("loadProfile")->setText(tr("プロファイルを読み込む(&L)..."));
    action("saveProfile")->setText(tr("プロファイルを保存(&V)..."));
    action("clearProfile")->setText(tr("プロファイルを使わない(&U)"));
    auth_menu_->setTitle(tr("認証(&C)"));
    action("keyFile")->setText(tr("認証ファイル(&F)"));
    action("keyfileHint")->setText(tr("認証ファイルヒント(&K)"));
    action("passwordHint")->setText(tr("パスワードヒント(&P)"));
    view_menu_->setTitle(tr("表示(&V)"));
    language_menu_->setTitle(tr("言語(&L)"));
    for (Lang lang : {Lang::ja, Lang::en})
        action(qPrintable(QStringLiteral("language-") + qs(lang_name(lang))))->setChecked(lang == shell_.lang());
    help_menu_->setTitle(tr("ヘルプ(&H)"));
    action("help")->setText(tr("ヘルプ(&H)"));
    action("version")->setText(tr("バージョン情報(&A)"));

    // The catalogue's texts follow the shell's language.
    drop_hint_->setText(qs(say(shell_.lang(), Msg::drop_hint)));
    // Room for the notice also when the window is sized without it (a password of one's own).
    password_status_->setMinimumWidth(
        password_status_->fontMetrics().horizontalAdvance(qs(say(shell_.lang(), Msg::known_password_status))));
    statusBar()->setMinimumWidth(password_status_->minimumWidth() +
                                 2 * statusBar()->style()->pixelMetric(QStyle::PM_LayoutLeftMargin));
    showPasswordStatus();
    // The list is never narrower than its hint.
    results_->setMinimumWidth(std::max(CLIENT_WIDTH, drop_hint_->sizeHint().width() + 2 * results_->frameWidth() + 8));
    results_->clear();
    for (const FileOutcome& outcome : outcomes_) addOutcomeLines(outcome);

    fitToTexts();
}

void MainWindow::fitToTexts() {
    // A fixed size: what the controls need with this font and these texts, with the menu
    // bar and the list of results.
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    centralWidget()->layout()->invalidate();
    layout()->invalidate();
    layout()->activate();
    adjustSize();
    setFixedSize(sizeHint().expandedTo(minimumSizeHint()));
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
    c.text_only = text_only_->isChecked();
    c.compat = compat_->isChecked();
    c.send_copy = send_copy_->isChecked();
    c.header_row = header_row_->value();
    c.profile_file = profile_file_.toStdString();
    c.max_memory_mb = max_memory_->value();
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
    text_only_->setChecked(c.text_only);
    compat_->setChecked(c.compat);
    send_copy_->setChecked(c.send_copy);
    header_row_->setValue(c.header_row);
    max_memory_->setValue(c.max_memory_mb);
    useProfile(qs(c.profile_file));
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
    if (!Shell::to_mask(files).empty() && !passwordReadyToMask()) return;
    if (!busy()) {  // the list shows the files of this drop
        results_->clear();
        outcomes_.clear();
    }
    worker_->start(shell_.plan(std::move(files), controls()));  // after the running one
    progress_row_->show();
    showProgress(Progress{});
}

bool MainWindow::passwordReadyToMask() {
    if (file_hash_->isChecked()) return true;  // the shell asks about the password in that mode
    MaskSettings typed;
    typed.password = password_->text().toStdString();
    if (uses_known_password(typed)) {
        show();
        NewPasswordDialog dialog(shell_.lang(), this);
        if (dialog.exec() != QDialog::Accepted) return false;
        if (dialog.outcome() == NewPasswordDialog::BuiltIn) return true;  // for this drop only
        password_->setText(dialog.password());
        password_typed_ = false;  // typed twice already
        no_password_->setChecked(!dialog.save());
        if (dialog.save()) shell_.save_settings(controls());
        return true;
    }
    if (!password_typed_) return true;
    show();
    RetypePasswordDialog dialog(password_->text(), shell_.lang(), this);
    if (dialog.exec() != QDialog::Accepted) return false;
    password_typed_ = false;
    return true;
}

void MainWindow::openFiles(const QStringList& paths) {
    if (paths.isEmpty()) return;
    if (overwrite_->isChecked()) {
        show();
        const std::string question =
            say(shell_.lang(), Msg::ask_overwrite_opened, {paths.join(QLatin1Char('\n')).toStdString()});
        if (MessageBox::show(this, MessageBox::Question, qs(question), true, true) != MessageBox::Yes) return;
    }
    dropFiles(paths);
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
    if (busy()) {
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
    HelpDialog dialog(shell_.lang(), this);
    dialog.exec();
}

void MainWindow::versionCommand() {
    QString text = qs(hsc_version_text(APP_THIRD_LINE));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    MessageBox::show(this, MessageBox::NoIcon, text, false, true);
}

void MainWindow::passwordHintCommand() {
    ValueDialog dialog(ValueDialog::PasswordHint, shell_.settings(), last_chosen_key_file_, shell_.lang(), this);
    dialog.exec();
}

void MainWindow::keyfileHintCommand() {
    ValueDialog dialog(ValueDialog::KeyfileHint, shell_.settings(), last_chosen_key_file_, shell_.lang(), this);
    dialog.exec();
}

void MainWindow::keyFileCommand() {
    ValueDialog dialog(ValueDialog::KeyFile, shell_.settings(), last_chosen_key_file_, shell_.lang(), this);
    dialog.exec();
}

void MainWindow::suggestColumnsCommand() {
    const QString path = FileChooser::getOpenFileName(this, tr("列を提案するブック"), QString(),
                                                      tr("Excel ブック (*.xlsx *.xlsm)"));
    if (path.isEmpty()) return;
    const SuggestLimits limits;
    const WorkbookSuggestion s = suggest_columns(std::filesystem::path(path.toStdString()), limits);
    if (s.status != SuggestStatus::ok) {
        MessageBox::show(this, MessageBox::Critical, qs(suggestion_error(s.status, path.toStdString(), shell_.lang())), false, true);
        return;
    }
    const QString report = qs(suggestion_text(s, limits.sample_rows, shell_.lang()));
    if (s.columns.empty()) {
        MessageBox::show(this, MessageBox::Information, report, false, true);
        return;
    }
    // The field holds the proposal per sheet with one header row, the first: other
    // header rows need a profile.
    const ColumnChoice choice = suggestion_choice(s);
    const auto text = column_text(choice);
    if (!text || !one_header_row(choice) || choice.sheets.front().columns.header_row != 1) {
        // Only a profile holds a header row per sheet: offered to be saved and used.
        const QString offer = report + QStringLiteral("\n\n") +
                              tr("見出し行がシートごとに違うため、この提案はプロファイルに保存して使います。保存しますか?");
        if (MessageBox::show(this, MessageBox::Question, offer, true, true) != MessageBox::Yes) return;
        const QString profile = FileChooser::getSaveFileName(this, tr("プロファイルを保存"), QString(),
                                                             tr("プロファイル (*.profile *.txt);;すべてのファイル (*)"));
        if (profile.isEmpty()) return;
        if (int error = write_profile_file(profile.toStdString(), choice); error != 0) {
            MessageBox::show(this, MessageBox::Critical,
                             qs(say(shell_.lang(), Msg::profile_unwritable, {profile.toStdString(), std::strerror(error)})),
                             false, true);
            return;
        }
        useProfile(profile);
        return;
    }
    const QString question = report + QStringLiteral("\n\n") + tr("マスク列を「%1」にしますか?").arg(qs(*text));
    if (MessageBox::show(this, MessageBox::Question, question, true, true) == MessageBox::Yes) {
        target_column_->setText(qs(*text));
        keep_header_->setChecked(choice.sheets.front().columns.keep_header);
    }
}

void MainWindow::openCommand() {
    const QStringList paths = FileChooser::getOpenFileNames(this, tr("開くブック"), QString(),
                                                            tr("Excel ブック (*.xlsx *.xlsm);;すべてのファイル (*)"));
    dropFiles(paths);
}

void MainWindow::useProfile(const QString& path) {
    profile_file_ = path;
    const bool in_use = !path.isEmpty();
    // The profile holds the columns, header rows and keep-header: the fields stay as
    // they are, unused, until it is put aside.
    for (QWidget* w : std::initializer_list<QWidget*>{target_column_, header_row_, keep_header_}) w->setEnabled(!in_use);
    profile_label_->setVisible(in_use);
    profile_label_->setText(in_use ? tr("プロファイル: %1").arg(QFileInfo(path).fileName()) : QString());
    profile_label_->setToolTip(in_use ? plain_tooltip(path) : QString());
    if (QAction* clear = action("clearProfile")) clear->setEnabled(in_use);
}

void MainWindow::loadProfileCommand() {
    const QString path = FileChooser::getOpenFileName(this, tr("プロファイルを読み込む"), QString(),
                                                      tr("プロファイル (*.profile *.txt);;すべてのファイル (*)"));
    if (path.isEmpty()) return;
    std::string message;
    if (!read_profile_file(path.toStdString(), shell_.lang(), message)) {
        MessageBox::show(this, MessageBox::Critical, qs(message), false, true);
        return;
    }
    useProfile(path);
}

void MainWindow::saveProfileCommand() {
    // The choice in use: the profile's, else the fields' with their header row.
    const Lang lang = shell_.lang();
    std::optional<ColumnChoice> choice;
    std::string message;
    if (!profile_file_.isEmpty()) {
        choice = read_profile_file(profile_file_.toStdString(), lang, message);
    } else {
        const std::string text = target_column_->text().toStdString();
        ChoiceError error;
        choice = parse_column_text(text, header_row_->value(), keep_header_->isChecked(), error);
        if (!choice)
            message = say(lang, Msg::then, {say(lang, Msg::invalid_column_list, {text}),
                                            say(lang, Msg::choice_reason, {choice_problem_text(lang, error)})});
    }
    if (!choice) {
        MessageBox::show(this, MessageBox::Critical, qs(message), false, true);
        return;
    }
    const QString path = FileChooser::getSaveFileName(this, tr("プロファイルを保存"), QString(),
                                                      tr("プロファイル (*.profile *.txt);;すべてのファイル (*)"));
    if (path.isEmpty()) return;
    if (int error = write_profile_file(path.toStdString(), *choice); error != 0)
        MessageBox::show(this, MessageBox::Critical,
                         qs(say(lang, Msg::profile_unwritable, {path.toStdString(), std::strerror(error)})), false, true);
}

void MainWindow::clearProfileCommand() { useProfile(QString()); }

void MainWindow::retranslateTooltips() {
    const auto tip = [](QWidget* w, const QString& text) { w->setToolTip(plain_tooltip(text)); };
    tip(password_, tr("マスクと復元のパスワード。同じパスワードでしか元に戻せません。"));
    tip(no_password_, tr("パスワードの確認値とヒントをブックに記録しません。復元のときヒントは出ません。"));
    tip(file_hash_, tr("パスワードの代わりに、認証ファイル(「認証」メニューで選ぶ16バイト以上のファイル)の内容を鍵にします。"));
    tip(strength_, tr("強: すべての文字を置き換えます。中は 2 文字に 1 文字、弱は 3 文字に 1 文字だけを置き換え、残りの文字は読めます(名前が推測できることがあります)。"));
    tip(header_row_, tr("マスク列に見出しの名前を書いたとき、その名前を探す行の番号です(1 が先頭行)。"));
    tip(target_column_, tr("マスクする列。列記号(B,D)、見出しの名前(氏名,電話番号)、シートごと(顧客!B,C;注文!E)で書けます。空欄ならすべての文字列をマスクします。"));
    tip(kanji_, tr("漢字・かななど全角の文字を置き換える文字。"));
    tip(alpha_, tr("英字を置き換える文字。"));
    tip(digit_, tr("数字を置き換える文字。"));
    tip(wchar_, tr("アクセント付きの文字やギリシャ文字などを置き換える文字。"));
    tip(keep_header_, tr("列記号で選んだときも、見出し行の文字をマスクせずに残します。見出しの名前で選んだときは常に残ります。"));
    tip(text_only_, tr("選んだ列の数値と日付はマスクせず、文字列だけをマスクします。"));
    tip(overwrite_, tr("別のブックを作らずに、元のブックをマスク(復元)した内容で置き換えます。元に戻せることを確かめたブックで使ってください。"));
    tip(autoshape_, tr("図形やテキストボックスの文字もマスクします。"));
    tip(recrypto_, tr("上書き更新と一緒に使います。復元したブックを表計算ソフトで開き、保存して閉じると自動でマスクし直します。"));
    tip(max_memory_, tr("1 つのブックに使うメモリの上限。自動はこのコンピューターのメモリの 8 分の 1(最大 1 GB)です。超えるブックは処理せず、必要な量を知らせます。"));
    tip(add_files_, tr("処理するブックを選びます。ドロップと同じように処理されます。"));
    tip(cancel_, tr("設定を保存するか確かめてから終了します。"));
}

}  // namespace hsc::gui
