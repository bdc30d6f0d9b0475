// The window under QT_QPA_PLATFORM=offscreen. Message boxes and the file chooser are
// answered through their pre-answer queues; nothing waits for a user.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProcess>
#include <QFileInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTextDocumentFragment>
#include <QTextDocument>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTimer>
#include <QUrl>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QtTest>
#include <unistd.h>
#include <optional>
#include <set>

#include "core/catalog.h"
#include "core/status.h"
#include "engine/choice_text.h"
#include "engine/driver.h"
#include "engine/suggest.h"
#include "protect/footer.h"
#include "dialogs.h"
#include "gui_reporter.h"
#include "main_window.h"
#include "message_box.h"
#include "shell/settings_file.h"
#include "shell/settings_store.h"
#include "shell/texts.h"
#include "single_instance.h"
#include "support/quick_kdf.h"
#include "support/temp_dir.h"
#include "support/workbook_fixture.h"
#include "support/zip_builder.h"

Q_DECLARE_METATYPE(hsc::Lang)

using hsc::gui::FileChooser;
using hsc::gui::MainWindow;
using hsc::gui::MessageBox;
using hsc::gui::ValueDialog;
namespace fs = std::filesystem;

namespace {

class MemoryStore final : public hsc::SettingsStore {
public:
    int read(hsc::MaskSettings& s) override {
        if (!stored) return hsc::RC_OPEN;
        s = *stored;
        return hsc::RC_OK;
    }
    int write(const hsc::MaskSettings& s) override {
        stored = s;
        ++writes;
        return hsc::RC_OK;
    }
    std::optional<hsc::MaskSettings> stored;
    int writes = 0;
};

class NoPlatform final : public hsc::Platform {
public:
    int get_file_time(const fs::path&, hsc::FileTime&) override { return hsc::RC_OPEN; }
    int find_spreadsheet_process() override { return hsc::RC_FAIL; }
    int open_with_excel(const fs::path& p) override {
        opened.push_back(p);
        return hsc::RC_OK;
    }
    std::vector<fs::path> opened;
};

// The program's own reporter: message boxes, answered from the test's queue.
using ErrorsOnly = hsc::gui::GuiReporter;

// Waits until every drop of the window is processed, the event loop running meanwhile.
bool wait_idle(MainWindow& w, int ms = 60000) {
    if (w.busy()) QTest::qWaitFor([&] { return !w.busy(); }, ms);
    return !w.busy();
}

// A drop, processed to its end.
void drop_and_wait(MainWindow& w, const QStringList& files) {
    w.dropFiles(files);
    QVERIFY(wait_idle(w));
}

// The defaults with a password of one's own: masking then asks nothing about the password.
hsc::MaskSettings own_password_settings() {
    hsc::MaskSettings s;
    hsc::hsc_init_settings(s);
    s.password = "my own words";
    return s;
}

// A workbook that takes a while: about 5 MB of shared strings and as much worksheet.
std::vector<hsc::test::ZipEntry> long_workbook() {
    std::vector<std::string> strings;
    strings.reserve(150000);
    for (int i = 0; i < 150000; ++i) strings.push_back("山田太郎" + std::to_string(i));
    return hsc::test::small_workbook(strings);
}

std::set<std::string> listing(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

// A window over the real pipeline, with a password of one's own in the settings.
struct RealFixture {
    RealFixture() {
        store.stored = own_password_settings();
        shell.start();
        window = std::make_unique<MainWindow>(shell, [] {});
    }
    MemoryStore store;
    NoPlatform platform;
    ErrorsOnly reporter;
    hsc::Shell shell{store, platform, reporter,
                     [](const fs::path& in, fs::path& out, const hsc::MaskSettings& s, hsc::FileContext& ctx,
                        hsc::Reporter& r, hsc::Lang) { return hsc::hsc_process_file(in, out, s, ctx, r, hsc::test::quick_kdf()); }};
    template <typename T>
    T* get(const char* name) { return window->findChild<T*>(name); }
    QProgressBar* get_bar() { return get<QProgressBar>("progress"); }
    std::unique_ptr<MainWindow> window;
};

// One window with everything it talks to.
struct Fixture {
    // Without stored settings of its own: the defaults with a password of one's own, so
    // that masking asks nothing about the password.
    explicit Fixture(std::optional<hsc::MaskSettings> stored = std::nullopt, hsc::Lang lang = hsc::Lang::ja) {
        store.stored = stored ? *stored : own_password_settings();
        shell.set_lang(lang);
        shell.start();
        window = std::make_unique<MainWindow>(shell, [this] { ++exits; });
    }
    template <typename T>
    T* get(const char* name) { return window->findChild<T*>(name); }

    MemoryStore store;
    NoPlatform platform;
    ErrorsOnly reporter;
    std::vector<fs::path> processed;
    hsc::Shell shell{store, platform, reporter,
                     [this](const fs::path& in, fs::path& out, const hsc::MaskSettings& s, hsc::FileContext& ctx,
                            hsc::Reporter& r, hsc::Lang) {
                         processed.push_back(in);
                         last_settings = s;
                         if (during) during();
                         if (in.filename().string().starts_with("bad")) {
                             r.error("rejected");
                             return hsc::RC_FAIL;
                         }
                         ctx.process_direction = hsc::Direction::mask;
                         ctx.report = report;
                         out = in.parent_path() / ("●" + in.filename().string());
                         return hsc::RC_OK;
                     }};
    hsc::MaskReport report;  // what the pipeline reports for a masked file
    hsc::MaskSettings last_settings;
    std::function<void()> during;  // runs inside the pipeline, as events of a nested loop would
    std::unique_ptr<MainWindow> window;
    int exits = 0;
};

// The program's environment: no display, its socket and settings inside `dir`.
QProcessEnvironment gui_environment(const fs::path& dir) {
    const QString tmp = QString::fromStdString(dir.string());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("TMPDIR", tmp);
    // The single-instance socket lives in the user's private runtime folder.
    fs::create_directories(dir / "run");
    fs::permissions(dir / "run", fs::perms::owner_all, fs::perm_options::replace);
    env.insert("XDG_RUNTIME_DIR", tmp + "/run");
    env.insert("HOME", tmp);
    env.insert("XDG_CONFIG_HOME", tmp + "/config");  // no settings file: the defaults
    return env;
}

// The settings file of gui_environment with a password of one's own: with the built-in
// one the program would ask about the password before it masks.
bool write_own_password_settings(const fs::path& dir) {
    fs::create_directories(dir / "config" / "Hushcel");
    return hsc::hsc_write_ini(own_password_settings(), dir / "config" / "Hushcel" / "Hushcel.ini") == hsc::RC_OK;
}

QStringList items(QComboBox* box) {
    QStringList list;
    for (int i = 0; i < box->count(); ++i) list << box->itemText(i);
    return list;
}

// Runs action and, once its modal dialog is up, hands the dialog to inspect and closes it.
// The polling timer dies with this call, so a command that opens nothing leaves no
// stray callback behind.
QString run_modal(const std::function<void()>& action, const std::function<void(QWidget*)>& inspect = {}) {
    QString name;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible()) return;
        poll.stop();
        name = modal->objectName();
        if (inspect) inspect(modal);
        if (auto* d = qobject_cast<QDialog*>(modal); d && d->isVisible()) d->reject();  // unless inspect closed it
    });
    poll.start();
    action();
    return name;
}

// Every text the window shows of its own, keyed by widget (and item): labels, boxes,
// buttons, list items, menus and their commands, and the lines of the results.
QMap<QString, QString> window_texts(MainWindow& w) {
    QMap<QString, QString> texts;
    for (QLabel* l : w.findChildren<QLabel*>()) texts[l->objectName()] = l->text();
    for (QAbstractButton* b : w.findChildren<QAbstractButton*>()) texts[b->objectName()] = b->text();
    for (QComboBox* c : w.findChildren<QComboBox*>())
        for (int i = 0; i < c->count(); ++i) texts[c->objectName() + "/" + QString::number(i)] = c->itemText(i);
    for (QAction* a : w.findChildren<QAction*>())
        if (!a->objectName().isEmpty()) texts[a->objectName()] = a->text();
    int menu = 0;  // in the order they were made
    for (QMenu* m : w.findChildren<QMenu*>()) texts["menu/" + QString::number(menu++)] = m->title();
    auto* results = w.findChild<QListWidget*>("results");
    for (int i = 0; i < results->count(); ++i) texts["results/" + QString::number(i)] = results->item(i)->text();
    return texts;
}

bool has_japanese_letter(const QString& text) {
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if ((u >= 0x3040 && u <= 0x30FF) || (u >= 0x3400 && u <= 0x9FFF) || (u >= 0xFF66 && u <= 0xFF9F)) return true;
    }
    return false;
}

// The texts of the buttons of a real message box, as the window shows it.
QStringList message_box_buttons(bool yes_no) {
    QStringList texts;
    MessageBox::setTestMode(false);
    run_modal([&] { MessageBox::show(nullptr, MessageBox::Question, QStringLiteral("?"), yes_no, false); },
              [&](QWidget* box) {
                  for (QAbstractButton* b : static_cast<QMessageBox*>(box)->buttons()) texts << b->text();
              });
    MessageBox::setTestMode(true);
    texts.sort();
    return texts;
}

}  // namespace

class GuiTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        MessageBox::setTestMode(true);
        MessageBox::clearShown();
        FileChooser::setTestMode(true);
    }
    void cleanup() {
        for (const auto& box : MessageBox::shown()) QVERIFY2(box.answered, qPrintable("unanswered box: " + box.text));
    }

    void suggestColumnsFillsTheColumnFieldOnceConfirmed() {
        hsc::test::TempDir dir;
        std::vector<std::string> strings;
        for (int i = 0; i < 6; ++i) {
            strings.push_back("山田太郎");
            strings.push_back("東京都新宿区西新宿" + std::to_string(i + 1) + "-8-1");
            strings.push_back("090-4100-52" + std::to_string(10 + i));
        }
        hsc::test::write_zip(dir / "名簿.xlsx", hsc::test::small_workbook(strings));
        const QString book = QString::fromStdString((dir / "名簿.xlsx").string());
        Fixture f;
        QAction* action = f.window->action("suggestColumns");
        QVERIFY(action);
        QCOMPARE(action->text(), QStringLiteral("列を提案(&T)"));
        auto* field = f.get<QLineEdit>("targetColumn");
        field->setText(QStringLiteral("A"));

        // Declined: the field keeps what the user typed.
        FileChooser::setNextFileName(book);
        MessageBox::setNextAnswer(MessageBox::No);
        action->trigger();
        QCOMPARE(MessageBox::shown().size(), std::size_t{1});
        const auto& asked = MessageBox::shown().back();
        QVERIFY(asked.yes_no);
        // Per sheet: the proposal holds for the sheet it was made for only.
        QVERIFY2(asked.text.contains(QStringLiteral("「名簿!B,C」")), qPrintable(asked.text));
        QVERIFY2(!asked.text.contains(QStringLiteral("西新宿")), qPrintable(asked.text));  // no values shown
        QCOMPARE(field->text(), QStringLiteral("A"));

        // Confirmed: the suggestion goes into the field.
        FileChooser::setNextFileName(book);
        MessageBox::setNextAnswer(MessageBox::Yes);
        action->trigger();
        QCOMPARE(field->text(), QStringLiteral("名簿!B,C"));

        // No workbook chosen: nothing is asked; an unreadable one is reported.
        MessageBox::clearShown();
        FileChooser::setNextFileName(QString());
        action->trigger();
        QVERIFY(MessageBox::shown().empty());
        hsc::test::write_file(dir / "notes.xlsx", "not a workbook");
        FileChooser::setNextFileName(QString::fromStdString((dir / "notes.xlsx").string()));
        MessageBox::setNextAnswer(MessageBox::Ok);
        action->trigger();
        QCOMPARE(MessageBox::shown().size(), std::size_t{1});
        QCOMPARE(MessageBox::shown().back().icon, MessageBox::Critical);
        QCOMPARE(field->text(), QStringLiteral("名簿!B,C"));
    }

    // Header rows that differ between sheets fit no column field: the suggestion is then
    // offered as a profile, saved where the user says and used from then on.
    void suggestionWithHeaderRowsPerSheetIsSavedAndUsedAsAProfile() {
        hsc::test::TempDir dir;
        std::vector<std::vector<std::string>> customers = {{"氏名", "住所", "電話番号"}};
        std::vector<std::vector<std::string>> members = {{"会員名簿"}, {"氏名", "電話番号"}};
        const char* names[] = {"山田太郎", "佐藤花子", "鈴木一郎", "高橋美咲", "田中健二", "伊藤直子"};
        for (int i = 0; i < 6; ++i) {
            const std::string phone = "090-4100-52" + std::to_string(10 + i);
            customers.push_back({names[i], "東京都新宿区西新宿" + std::to_string(i + 1) + "-8-1", phone});
            members.push_back({names[5 - i], "080-3300-71" + std::to_string(10 + i)});
        }
        const fs::path book = dir / "二表.xlsx";
        hsc::test::write_zip(book, hsc::test::sheets_workbook({{"顧客", customers}, {"会員", members}}));
        const hsc::WorkbookSuggestion s = hsc::suggest_columns(book, hsc::SuggestLimits{});
        QCOMPARE(s.status, hsc::SuggestStatus::ok);
        const hsc::ColumnChoice expected = hsc::suggestion_choice(s);
        QVERIFY(!hsc::one_header_row(expected) || expected.sheets.front().columns.header_row != 1);

        Fixture f;
        const fs::path profile = dir / "二表.profile";
        FileChooser::setNextFileName(QString::fromStdString(book.string()));
        MessageBox::setNextAnswer(MessageBox::No);  // declined: nothing written, nothing used
        f.window->action("suggestColumns")->trigger();
        QVERIFY(!fs::exists(profile));
        QVERIFY(f.window->controls().profile_file.empty());

        FileChooser::setNextFileName(QString::fromStdString(book.string()));
        FileChooser::setNextFileName(QString::fromStdString(profile.string()));
        MessageBox::setNextAnswer(MessageBox::Yes);
        f.window->action("suggestColumns")->trigger();
        QCOMPARE(MessageBox::shown().size(), std::size_t{2});
        QVERIFY(MessageBox::shown().back().yes_no);
        hsc::ChoiceError error;
        const auto saved = hsc::parse_profile(hsc::test::read_file(profile), error);
        QVERIFY(saved);
        QVERIFY(*saved == expected);
        QCOMPARE(f.window->controls().profile_file, profile.string());
        QVERIFY(!f.get<QLineEdit>("targetColumn")->isEnabled());
    }

    void windowHasItsControlsAndSize() {
        Fixture f;
        QCOMPARE(f.window->windowTitle(), QStringLiteral("Hushcel"));
        QVERIFY(f.window->centralWidget()->width() >= 305);
        QVERIFY(f.window->centralWidget()->height() >= 435);
        QCOMPARE(f.window->minimumSize(), f.window->maximumSize());
        QVERIFY(!(f.window->windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(items(f.get<QComboBox>("strength")), (QStringList{"強", "中", "弱"}));
        QCOMPARE(items(f.get<QComboBox>("kanjiMask")), (QStringList{"●", "■", "※", "なし"}));
        QCOMPARE(items(f.get<QComboBox>("alphaMask")), (QStringList{"*", "X", "なし"}));
        QCOMPARE(items(f.get<QComboBox>("digitMask")), (QStringList{"9", "0", "なし"}));
        QCOMPARE(items(f.get<QComboBox>("wcharMask")), (QStringList{"×", "¤", "なし"}));
        QCOMPARE(f.get<QLineEdit>("password")->echoMode(), QLineEdit::Password);
        QCOMPARE(f.get<QPushButton>("cancel")->text(), QStringLiteral("キャンセル"));
        const std::pair<const char*, QString> checks[] = {
            {"overwrite", "上書き更新"}, {"fileHash", "ファイル認証モード"}, {"noPassword", "パスワードを記録しない"},
            {"autoshape", "図形の文字をマスク"}, {"recrypto", "自動再暗号化"}, {"keepHeader", "見出し行を残す"},
            {"compat", "互換形式でマスク(弱い暗号)"}, {"sendCopy", "送付用のコピー(バックアップなし)"}};
        for (const auto& [name, text] : checks) {
            QVERIFY2(f.get<QCheckBox>(name), name);
            QCOMPARE(f.get<QCheckBox>(name)->text(), text);
        }
        // Each label over its control, in three columns: the password and its two boxes on
        // the right, strength and columns, the three mask characters, the fourth, the boxes
        // and the cancel button at the bottom right.
        f.window->show();  // lays the controls out
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        const auto at = [&](const char* name) {
            QWidget* w = f.window->findChild<QWidget*>(name);
            return w ? w->mapTo(f.window->centralWidget(), QPoint(0, 0)) : QPoint(-1, -1);
        };
        const std::pair<const char*, const char*> label_over[] = {
            {"passwordLabel", "password"},        {"strengthLabel", "strength"},   {"targetColumnLabel", "targetColumn"},
            {"kanjiMaskLabel", "kanjiMask"},      {"alphaMaskLabel", "alphaMask"}, {"digitMaskLabel", "digitMask"},
            {"wcharMaskLabel", "wcharMask"}};
        for (const auto& [label, control] : label_over) {
            QCOMPARE(at(label).x(), at(control).x());
            QVERIFY2(at(label).y() < at(control).y(), label);
        }
        QCOMPARE(f.get<QLabel>("digitMaskLabel")->text(), QStringLiteral("数字マスク文字"));
        QCOMPARE(f.get<QLabel>("wcharMaskLabel")->text(), QStringLiteral("その他の文字のマスク文字"));
        QVERIFY(at("password").x() < at("fileHash").x() && at("noPassword").x() == at("fileHash").x());
        QVERIFY(at("noPassword").y() < at("fileHash").y());
        QVERIFY(at("kanjiMask").x() < at("alphaMask").x() && at("alphaMask").x() < at("digitMask").x());
        QVERIFY(at("password").y() < at("strength").y() && at("strength").y() < at("kanjiMask").y());
        QVERIFY(at("kanjiMask").y() < at("wcharMask").y() && at("wcharMask").y() < at("overwrite").y());
        QVERIFY(at("overwrite").y() < at("recrypto").y());
        const auto middle = [&](const char* name) { return at(name).y() + f.window->findChild<QWidget*>(name)->height() / 2; };
        QVERIFY(std::abs(middle("recrypto") - middle("cancel")) <= 2);
        QVERIFY(at("cancel").x() > at("autoshape").x());
        // The header check box beside the list of the other characters' mask, clear of every
        // other control, and its value reaches the settings.
        auto* keep = f.get<QCheckBox>("keepHeader");
        const auto middle_of = [&](const char* name) { return at(name).y() + f.window->findChild<QWidget*>(name)->height() / 2; };
        QVERIFY(std::abs(middle_of("keepHeader") - middle_of("wcharMask")) <= 2);
        for (QWidget* other : f.window->centralWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (other != keep && other->isVisible())
                QVERIFY2(!other->geometry().intersects(keep->geometry()), qPrintable(other->objectName()));
        keep->setChecked(true);
        QVERIFY(f.window->controls().keep_header);
        hsc::MaskSettings s;
        hsc::hsc_get_controls(f.window->controls(), s);
        QVERIFY(s.is_keep_header);
        // The compatible format's box, clear of every other control, below the others; off
        // by default, and its value reaches the settings.
        auto* compat = f.get<QCheckBox>("compat");
        QVERIFY(!compat->isChecked() && !s.is_compat);
        QVERIFY(at("compat").y() > at("cancel").y());
        for (QWidget* other : f.window->centralWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (other != compat && other->isVisible())
                QVERIFY2(!other->geometry().intersects(compat->geometry()), qPrintable(other->objectName()));
        compat->setChecked(true);
        hsc::hsc_get_controls(f.window->controls(), s);
        QVERIFY(s.is_compat);
        // The copy to send out: below the compatible format's box, off at start, and its
        // value reaches the settings.
        auto* send = f.get<QCheckBox>("sendCopy");
        QVERIFY(!send->isChecked() && !s.is_no_backup);
        QVERIFY(at("sendCopy").y() > at("compat").y());
        for (QWidget* other : f.window->centralWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (other != send && other->isVisible())
                QVERIFY2(!other->geometry().intersects(send->geometry()), qPrintable(other->objectName()));
        send->setChecked(true);
        hsc::hsc_get_controls(f.window->controls(), s);
        QVERIFY(s.is_no_backup);
        // The banner is drawn: the panel's picture holds black stripes at (17, 10) onward.
        QImage shot = f.window->centralWidget()->grab().toImage();
        const qreal scale = shot.devicePixelRatio();
        int dark = 0;
        for (int y = 10; y < 139; ++y)
            for (int x = 17; x < 297; ++x) dark += qGray(shot.pixel(int(x * scale), int(y * scale))) < 64;
        QVERIFY(dark > 5000);
    }

    // With the application's font at common sizes, every text of the window fits its
    // widget, and every widget lies inside the window.
    void textsFitTheirWidgets_data() {
        QTest::addColumn<int>("points");
        QTest::addColumn<hsc::Lang>("lang");
        QTest::addColumn<bool>("switched");  // built in the other language, then switched
        for (int points : {9, 12})
            for (hsc::Lang lang : {hsc::Lang::ja, hsc::Lang::en})
                QTest::addRow("%dpt %s", points, lang == hsc::Lang::ja ? "ja" : "en") << points << lang << false;
        QTest::newRow("12pt ja to en") << 12 << hsc::Lang::en << true;
        QTest::newRow("12pt en to ja") << 12 << hsc::Lang::ja << true;
    }
    void textsFitTheirWidgets() {
        QFETCH(int, points);
        QFETCH(hsc::Lang, lang);
        QFETCH(bool, switched);
        const QFont before = QApplication::font();
        QFont font = before;
        font.setPointSize(points);
        QApplication::setFont(font);
        struct RestoreFont {
            QFont font;
            ~RestoreFont() { QApplication::setFont(font); }
        } restore{before};
        const hsc::Lang other = lang == hsc::Lang::ja ? hsc::Lang::en : hsc::Lang::ja;
        Fixture f(std::nullopt, switched ? other : lang);
        f.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        if (switched) f.window->action(lang == hsc::Lang::ja ? "language-ja" : "language-en")->trigger();
        QCOMPARE(f.shell.lang(), lang);
        QCOMPARE(f.get<QCheckBox>("overwrite")->text(), lang == hsc::Lang::ja ? QStringLiteral("上書き更新") : QStringLiteral("Overwrite"));
        QCOMPARE(f.window->font().pointSize(), points);

        const auto inside = [&](QWidget* w) {
            const QRect r(w->mapTo(f.window.get(), QPoint(0, 0)), w->size());
            return f.window->rect().contains(r);
        };
        const auto name = [](QWidget* w, const QString& text) { return (w->objectName() + ": " + text).toUtf8(); };
        int checked = 0;
        for (QLabel* l : f.window->findChildren<QLabel*>()) {
            if (!l->isVisible() || l->text().isEmpty()) continue;
            QVERIFY2(l->fontMetrics().horizontalAdvance(l->text()) <= l->contentsRect().width(), name(l, l->text()).constData());
            QVERIFY2(inside(l), name(l, l->text()).constData());
            ++checked;
        }
        for (QCheckBox* b : f.window->findChildren<QCheckBox*>()) {
            QStyleOptionButton opt;
            opt.initFrom(b);
            opt.text = b->text();
            const QRect text = b->style()->subElementRect(QStyle::SE_CheckBoxContents, &opt, b);
            QVERIFY2(b->fontMetrics().horizontalAdvance(b->text()) <= text.width(), name(b, b->text()).constData());
            QVERIFY2(inside(b), name(b, b->text()).constData());
            ++checked;
        }
        for (QPushButton* b : f.window->findChildren<QPushButton*>()) {
            if (!b->isVisible()) continue;
            QStyleOptionButton opt;
            opt.initFrom(b);
            opt.text = b->text();
            const QRect text = b->style()->subElementRect(QStyle::SE_PushButtonContents, &opt, b);
            QVERIFY2(b->fontMetrics().horizontalAdvance(b->text()) <= text.width(), name(b, b->text()).constData());
            QVERIFY2(inside(b), name(b, b->text()).constData());
            ++checked;
        }
        for (QComboBox* c : f.window->findChildren<QComboBox*>()) {
            QStyleOptionComboBox opt;
            opt.initFrom(c);
            const QRect field = c->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, c);
            for (int i = 0; i < c->count(); ++i)
                QVERIFY2(c->fontMetrics().horizontalAdvance(c->itemText(i)) <= field.width(), name(c, c->itemText(i)).constData());
            QVERIFY2(inside(c), name(c, QString()).constData());
            ++checked;
        }
        QVERIFY(checked >= 20);  // 9 labels with the hint and the status, 5 boxes, 1 button, 5 lists
    }

    // The window in English from the start, and a Japanese one switched by its menu,
    // show the same texts, none of them Japanese but the language's own name; switched
    // back, every text is the Japanese one again. The shell's questions, the dialogs'
    // refusals, the message boxes' buttons and the results follow.
    void languageMenuSwitchesEveryText() {
        Fixture english(std::nullopt, hsc::Lang::en);
        const auto english_texts = window_texts(*english.window);
        english.window.reset();

        Fixture f;
        f.report.produced = true;
        f.report.shared_strings = 3;
        const auto japanese_texts = window_texts(*f.window);
        QCOMPARE(japanese_texts.value("overwrite"), QStringLiteral("上書き更新"));
        QVERIFY(f.window->action("language-ja")->isChecked());
        QCOMPARE(message_box_buttons(true), (QStringList{"いいえ(&N)", "はい(&Y)"}));
        QCOMPARE(message_box_buttons(false), (QStringList{"OK"}));

        f.window->action("language-en")->trigger();
        QCOMPARE(f.shell.lang(), hsc::Lang::en);
        QVERIFY(f.window->action("language-en")->isChecked() && !f.window->action("language-ja")->isChecked());
        const auto switched = window_texts(*f.window);
        QCOMPARE(switched, english_texts);
        QVERIFY(switched.size() >= 40);
        for (auto [key, text] : switched.asKeyValueRange())
            if (key != "language-ja") QVERIFY2(!has_japanese_letter(text), qPrintable(key + ": " + text));
        QCOMPARE(switched.value("language-ja"), QStringLiteral("日本語"));
        QCOMPARE(switched.value("dropHint"), QStringLiteral("Drop workbooks here"));
        QCOMPARE(message_box_buttons(true), (QStringList{"&No", "&Yes"}));

        // The shell asks in English; the line of the file is English.
        MessageBox::setNextAnswer(MessageBox::No);
        drop_and_wait(*f.window, {"/d/book.xlsx"});
        QCOMPARE(MessageBox::shown().back().text, QString::fromStdString(hsc::say(hsc::Lang::en, hsc::Msg::open_output, {"/d/●book.xlsx"})));
        auto* list = f.get<QListWidget>("results");
        QCOMPARE(list->item(0)->text(), QStringLiteral("Masked book.xlsx → ●book.xlsx (shared strings: 3, text in shapes: 0)"));
        // A dialog's refusal is English.
        run_modal([&] { f.window->action("passwordHint")->trigger(); },
                  [&](QWidget* d) {
                      QCOMPARE(d->windowTitle(), QStringLiteral("Hushcel password hint"));
                      auto* dialog = static_cast<ValueDialog*>(d);
                      dialog->edit()->setText(QString(40, 'h'));
                      MessageBox::setNextAnswer(MessageBox::Ok);
                      dialog->okButton()->click();
                  });
        QCOMPARE(MessageBox::shown().back().text, QStringLiteral("The password hint is too long."));
        // The built-in help is the English one.
        run_modal([&] { f.window->action("help")->trigger(); },
                  [&](QWidget* d) {
                      const QString help = d->findChild<QPlainTextEdit*>("helpText")->toPlainText();
                      QCOMPARE(help, QString::fromStdString(hsc::help_text(hsc::Lang::en)).remove('\r'));
                      QVERIFY(!has_japanese_letter(help));
                  });

        // Back in Japanese: the shown result is worded again, everything else as built.
        f.window->action("language-ja")->trigger();
        QCOMPARE(f.shell.lang(), hsc::Lang::ja);
        QCOMPARE(list->item(0)->text(), QStringLiteral("book.xlsx をマスクしました → ●book.xlsx(共有文字列 3件、図形の文字 0件)"));
        auto back = window_texts(*f.window);
        back.remove("results/0");
        QCOMPARE(back, japanese_texts);
        QCOMPARE(message_box_buttons(true), (QStringList{"いいえ(&N)", "はい(&Y)"}));
    }

    void dropHintStandsInTheEmptyListOfResults() {
        Fixture f;
        f.window->show();
        auto* hint = f.get<QLabel>("dropHint");
        QVERIFY(hint);
        QCOMPARE(hint->text(), QStringLiteral("ここにブックをドロップしてください"));
        QVERIFY(hint->isVisible());
        MessageBox::setNextAnswer(MessageBox::No);  // open ●book.xlsx?
        drop_and_wait(*f.window, {"/d/book.xlsx"});
        QCOMPARE(f.get<QListWidget>("results")->count(), 1);
        QVERIFY(!hint->isVisible());
    }

    // Workbooks another program hands over are replaced in place only after a Yes.
    void openedWorkbooksAreOverwrittenOnlyAfterAYes() {
        Fixture f;
        f.get<QCheckBox>("overwrite")->setChecked(true);
        MessageBox::clearShown();
        MessageBox::setNextAnswer(MessageBox::No);  // replace them?
        f.window->openFiles({"/d/a.xlsx", "/d/b.xlsx"});
        QVERIFY(wait_idle(*f.window));
        QVERIFY(f.processed.empty());
        QCOMPARE(MessageBox::shown().back().text,
                 QString::fromStdString(hsc::say(hsc::Lang::ja, hsc::Msg::ask_overwrite_opened, {"/d/a.xlsx\n/d/b.xlsx"})));
        MessageBox::setNextAnswer(MessageBox::Yes);  // replace them?
        MessageBox::setNextAnswer(MessageBox::No);   // open the output?
        f.window->openFiles({"/d/a.xlsx"});
        QVERIFY(wait_idle(*f.window));
        QCOMPARE(f.processed, std::vector<fs::path>{"/d/a.xlsx"});

        // Without overwrite a new file is written beside the workbook: no question first.
        f.get<QCheckBox>("overwrite")->setChecked(false);
        MessageBox::clearShown();
        MessageBox::setNextAnswer(MessageBox::No);  // open the output?
        f.window->openFiles({"/d/c.xlsx"});
        QVERIFY(wait_idle(*f.window));
        QCOMPARE(f.processed.back(), fs::path("/d/c.xlsx"));
        QCOMPARE(MessageBox::shown().size(), std::size_t{1});
    }

    void statusAreaSaysWhenTheKnownPasswordIsInUse() {
        hsc::MaskSettings defaults;
        hsc::hsc_init_settings(defaults);
        Fixture f(defaults);  // the built-in password
        auto* status = f.get<QLabel>("passwordStatus");
        QVERIFY(status);
        QVERIFY(status->text().contains(QStringLiteral("既定のパスワードを使用中です")));
        f.get<QLineEdit>("password")->setText(QStringLiteral("my own words"));
        QCOMPARE(status->text(), QString());
        f.get<QLineEdit>("password")->setText(QString());  // empty is no better
        QVERIFY(!status->text().isEmpty());
    }

    void controlsShowTheStoredSettings() {
        hsc::MaskSettings s;
        s.password = "secret";
        s.target_column = "B,D";
        s.mask_step = 2;
        s.mask_mchar = 3;
        s.mask_char = 1;
        s.mask_number = 2;
        s.mask_wchar = 1;
        s.is_overwrite = s.is_recrypto = true;
        Fixture f(s);
        QCOMPARE(f.get<QLineEdit>("password")->text(), QStringLiteral("secret"));
        QCOMPARE(f.get<QLineEdit>("targetColumn")->text(), QStringLiteral("B,D"));
        QCOMPARE(f.get<QComboBox>("strength")->currentIndex(), 1);
        QCOMPARE(f.get<QComboBox>("kanjiMask")->currentText(), QStringLiteral("なし"));
        QCOMPARE(f.get<QComboBox>("alphaMask")->currentText(), QStringLiteral("X"));
        QCOMPARE(f.get<QComboBox>("digitMask")->currentIndex(), 2);
        QCOMPARE(f.get<QComboBox>("wcharMask")->currentText(), QStringLiteral("¤"));
        QVERIFY(f.get<QCheckBox>("overwrite")->isChecked());
        QVERIFY(f.get<QCheckBox>("recrypto")->isChecked());
        QVERIFY(!f.get<QCheckBox>("autoshape")->isChecked());
    }

    void outOfRangeSettingsSelectNothing() {
        hsc::MaskSettings s;
        s.mask_step = 7;
        s.mask_mchar = 9;
        Fixture f(s);
        QCOMPARE(f.get<QComboBox>("strength")->currentIndex(), -1);
        QCOMPARE(f.get<QComboBox>("kanjiMask")->currentIndex(), -1);
        QCOMPARE(f.window->controls().strength, -1);
    }

    void menuHasEveryCommandAndAccelerator() {
        Fixture f;
        const std::tuple<const char*, QString, QKeySequence> actions[] = {
            {"exit", "終了(&X)", QKeySequence("Ctrl+Q")},
            {"save", "設定保存(&S)", QKeySequence("Ctrl+S")},
            {"keyFile", "認証ファイル(&F)", QKeySequence("Ctrl+F")},
            {"keyfileHint", "認証ファイルヒント(&K)", QKeySequence("Ctrl+K")},
            {"passwordHint", "パスワードヒント(&P)", QKeySequence("Ctrl+P")},
            {"help", "ヘルプ(&H)", QKeySequence("F1")},
            {"version", "バージョン情報(&A)", QKeySequence("Ctrl+A")},
        };
        for (const auto& [name, text, key] : actions) {
            QAction* a = f.window->action(name);
            QVERIFY2(a, name);
            QCOMPARE(a->text(), text);
            QCOMPARE(a->shortcut(), key);
        }
        QStringList menus;
        for (QAction* a : f.window->menuBar()->actions()) menus << a->text();
        QCOMPARE(menus, (QStringList{"ファイル(&F)", "認証(&C)", "表示(&V)", "ヘルプ(&H)"}));

        // Ctrl+X in a text field cuts its text and the window stays.
        f.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        auto* column = f.get<QLineEdit>("targetColumn");
        column->setText("B,C");
        column->setFocus();
        column->selectAll();
        QTest::keyClick(column, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(column->text(), QString());
        QCOMPARE(f.exits, 0);
    }

    void acceleratorOpensItsDialog() {
        Fixture f;
        f.window->show();
        QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
        QString name = run_modal([&] { QTest::keyClick(f.window.get(), Qt::Key_F1); });
        QCOMPARE(name, QStringLiteral("HELPDLG"));
        f.window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
        name = run_modal([&] { QTest::keyClick(f.window.get(), Qt::Key_P, Qt::ControlModifier); });
        QCOMPARE(name, QStringLiteral("PWDHINTDLG"));
    }

    void menuCommandsOpenTheirDialogs() {
        Fixture f;
        f.shell.settings().key_file = "/keys/photo.jpg";
        f.shell.settings().keyfile_hint = "猫";
        QString help_text;
        QCOMPARE(run_modal([&] { f.window->action("help")->trigger(); },
                           [&](QWidget* d) {
                               QCOMPARE(d->windowTitle(), QStringLiteral("Hushcelヘルプ"));
                               auto* edit = d->findChild<QPlainTextEdit*>("helpText");
                               QVERIFY(edit->isReadOnly());
                               help_text = edit->toPlainText();
                           }),
                 QStringLiteral("HELPDLG"));
        QCOMPARE(help_text.size(), QString::fromUtf8(hsc::hsc_help_text.data()).remove('\r').size());
        QString shown;
        QCOMPARE(run_modal([&] { f.window->action("keyFile")->trigger(); },
                           [&](QWidget* d) {
                               QCOMPARE(d->windowTitle(), QStringLiteral("Hushcel認証ファイル"));
                               shown = d->findChild<QLineEdit*>()->text();
                           }),
                 QStringLiteral("FILEDLG"));
        QCOMPARE(shown, QStringLiteral("/keys/photo.jpg"));
        QCOMPARE(run_modal([&] { f.window->action("keyfileHint")->trigger(); },
                           [&](QWidget* d) {
                               QCOMPARE(d->windowTitle(), QStringLiteral("Hushcel認証ファイルヒント"));
                               shown = d->findChild<QLineEdit*>()->text();
                           }),
                 QStringLiteral("KEYHINTDLG"));
        QCOMPARE(shown, QStringLiteral("猫"));
        QCOMPARE(run_modal([&] { f.window->action("passwordHint")->trigger(); }), QStringLiteral("PWDHINTDLG"));
    }

    void versionBoxHasTheThreeLines() {
        Fixture f;
        MessageBox::setNextAnswer(MessageBox::Ok);
        f.window->action("version")->trigger();
        QCOMPARE(MessageBox::shown().size(), size_t(1));
        const auto& box = MessageBox::shown()[0];
        QCOMPARE(box.text, QStringLiteral("Hushcel                 \nversion : 2.0.0.0\nCopyright (C) KESTRIL\n"));
        QCOMPARE(box.icon, MessageBox::NoIcon);
        QVERIFY(box.topmost && box.owned && !box.yes_no);
    }

    void hintLimitCountsCp932Bytes_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("message");
        const QString pwd = "パスワードヒントが長すぎます。", key = "認証ファイルヒントが長すぎます。";
        QTest::newRow("password hint 32 ascii") << int(ValueDialog::PasswordHint) << QString(32, 'h') << true << "";
        QTest::newRow("password hint 33 ascii") << int(ValueDialog::PasswordHint) << QString(33, 'h') << false << pwd;
        QTest::newRow("password hint 16 kanji") << int(ValueDialog::PasswordHint) << QString(16, QChar(0x732B)) << true << "";
        QTest::newRow("keyfile hint 17 kanji") << int(ValueDialog::KeyfileHint) << QString(17, QChar(0x732B)) << false << key;
        QTest::newRow("keyfile hint empty") << int(ValueDialog::KeyfileHint) << QString() << true << "";
        QTest::newRow("path 256") << int(ValueDialog::KeyFile) << "/" + QString(255, 'p') << true << "";
        QTest::newRow("path 257") << int(ValueDialog::KeyFile) << "/" + QString(256, 'p') << false
                                  << "ファイルパスが長すぎます。";
    }
    void hintLimitCountsCp932Bytes() {
        QFETCH(int, kind);
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        QFETCH(QString, message);
        hsc::MaskSettings s;
        s.password_hint = s.keyfile_hint = s.key_file = "before";
        QString last;
        ValueDialog d(ValueDialog::Kind(kind), s, last, hsc::Lang::ja, nullptr);
        d.show();
        d.edit()->setText(text);
        if (!accepted) MessageBox::setNextAnswer(MessageBox::Ok);
        QTest::mouseClick(d.okButton(), Qt::LeftButton);
        std::string field = kind == ValueDialog::KeyFile ? s.key_file
                            : kind == ValueDialog::PasswordHint ? s.password_hint
                                                                : s.keyfile_hint;
        if (accepted) {
            QCOMPARE(d.result(), int(QDialog::Accepted));
            QCOMPARE(QString::fromStdString(field), text);
            QVERIFY(MessageBox::shown().empty());
        } else {
            QVERIFY(d.isVisible());  // stays open
            QCOMPARE(field, std::string("before"));
            QCOMPARE(MessageBox::shown().size(), size_t(1));
            QCOMPARE(MessageBox::shown()[0].text, message);
            QCOMPARE(MessageBox::shown()[0].icon, MessageBox::Critical);
            QVERIFY(MessageBox::shown()[0].topmost);
        }
    }

    void chooserFillsTheFieldAndEscapeKeepsTheSetting() {
        hsc::MaskSettings s;
        s.key_file = "/old/key.png";
        QString last;
        {
            ValueDialog d(ValueDialog::KeyFile, s, last, hsc::Lang::ja, nullptr);
            d.show();
            FileChooser::setNextFileName("/new/key.png");
            QTest::mouseClick(d.chooseButton(), Qt::LeftButton);
            QCOMPARE(d.edit()->text(), QStringLiteral("/new/key.png"));
            QVERIFY(d.isVisible());
            QTest::keyClick(&d, Qt::Key_Escape);
            QVERIFY(!d.isVisible());
        }
        QCOMPARE(s.key_file, std::string("/old/key.png"));
        QCOMPARE(last, QStringLiteral("/new/key.png"));  // the chooser starts there next time
        ValueDialog again(ValueDialog::KeyFile, s, last, hsc::Lang::ja, nullptr);
        QCOMPARE(again.edit()->text(), QStringLiteral("/old/key.png"));
        FileChooser::setNextFileName(QString());  // cancelled: nothing changes
        QTest::mouseClick(again.chooseButton(), Qt::LeftButton);
        QCOMPARE(again.edit()->text(), QStringLiteral("/old/key.png"));
    }

    void dropEventProcessesEachFileWithTheShownControls() {
        Fixture f;
        f.get<QLineEdit>("password")->setText("typed");
        f.get<QComboBox>("strength")->setCurrentIndex(2);
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile("/data/a.xlsx"), QUrl::fromLocalFile("/data/bad.xlsx"),
                      QUrl::fromLocalFile("/data/c.xlsx")});
        MessageBox::setNextAnswer(MessageBox::No);   // a: do not open
        MessageBox::setNextAnswer(MessageBox::Ok);   // bad: its error
        MessageBox::setNextAnswer(MessageBox::Yes);  // c: open
        f.window->show();
        // A drag enters, then drops: the window takes files only as a drop target.
        QDragEnterEvent enter(QPoint(150, 150), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(f.window.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(150, 150), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(f.window.get(), &drop);
        QVERIFY(wait_idle(*f.window));
        QCOMPARE(f.processed, (std::vector<fs::path>{"/data/a.xlsx", "/data/bad.xlsx", "/data/c.xlsx"}));
        QCOMPARE(f.last_settings.password, std::string("typed"));
        QCOMPARE(f.last_settings.mask_step, 3);
        QCOMPARE(f.platform.opened, std::vector<fs::path>{"/data/●c.xlsx"});
        QCOMPARE(MessageBox::shown().size(), size_t(3));
        QCOMPARE(MessageBox::shown()[0].text, QStringLiteral("/data/●a.xlsxを出力しました。内容を確認しますか？"));
        QVERIFY(MessageBox::shown()[0].yes_no && MessageBox::shown()[0].topmost && !MessageBox::shown()[0].owned);
        QCOMPARE(MessageBox::shown()[0].icon, MessageBox::Question);
        QCOMPARE(MessageBox::shown()[1].icon, MessageBox::Critical);
    }

    void closingDuringADropEndsAfterItsLastFile() {
        Fixture f;
        f.window->show();
        int exits_seen_inside = -1;
        f.during = [&] {  // on the worker: the close comes from the window's thread meanwhile
            if (f.processed.size() == 1)
                QMetaObject::invokeMethod(f.window.get(), [&] { f.window->close(); }, Qt::BlockingQueuedConnection);
            exits_seen_inside = f.exits;
        };
        MessageBox::setNextAnswer(MessageBox::Ok);
        MessageBox::setNextAnswer(MessageBox::Ok);
        drop_and_wait(*f.window, {"/d/bad1.xlsx", "/d/bad2.xlsx"});
        QCOMPARE(f.processed.size(), size_t(2));
        QCOMPARE(exits_seen_inside, 0);  // the second file was still handled
        QCOMPARE(f.exits, 1);
    }

    // Each file of a drop gets its line in the window, and each warning its own line
    // in words; a new drop starts a new list.
    void resultsOfADropAreListedInTheWindow() {
        Fixture f;
        f.report.produced = true;
        f.report.shared_strings = 12;
        f.report.cells = 30;
        f.report.leaks = {{hsc::LeakKind::comments, "xl/comments1.xml", 1},
                          {hsc::LeakKind::pivot_cache, "xl/pivotCache/pivotCacheRecords1.xml", 3}};
        auto* list = f.get<QListWidget>("results");
        QVERIFY(list);
        // The list sits under the panel.
        QVERIFY(list->mapTo(f.window.get(), QPoint(0, 0)).y() > f.window->centralWidget()->geometry().bottom());
        QVERIFY(list->isVisibleTo(f.window.get()));
        MessageBox::setNextAnswer(MessageBox::No);  // open ●book.xlsx?
        MessageBox::setNextAnswer(MessageBox::Ok);  // bad1.xlsx: rejected
        drop_and_wait(*f.window, {"/d/book.xlsx", "/d/bad1.xlsx"});
        QStringList lines;
        for (int i = 0; i < list->count(); ++i) lines << list->item(i)->text();
        QCOMPARE(lines, (QStringList{
                            "book.xlsx をマスクしました → ●book.xlsx(共有文字列 12件、セル 30件、図形の文字 0件)",
                            "  マスクした文字列がコメントに読める形で残っています(xl/comments1.xml)。",
                            "  マスクした文字列がピボットテーブルのキャッシュに読める形で残っています"
                            "(xl/pivotCache/pivotCacheRecords1.xml)。",
                            "bad1.xlsx は処理できませんでした: rejected"}));

        f.report = hsc::MaskReport{};
        f.report.produced = true;  // nothing masked
        MessageBox::setNextAnswer(MessageBox::No);
        drop_and_wait(*f.window, {"/d/empty.xlsx"});
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->item(0)->text(), QStringLiteral("empty.xlsx をマスクしました → ●empty.xlsx(共有文字列 0件、図形の文字 0件)"));
        QVERIFY(list->item(1)->text().contains(QStringLiteral("マスクしたものがありません")));
    }

    // A masking's report per column stands under the file's line, one line per column; a
    // column left readable is also one of the warnings.
    void theReportPerColumnIsListedUnderTheFile() {
        Fixture f;
        f.report.produced = true;
        f.report.shared_strings = 2;
        f.report.cells = 2;
        hsc::ColumnReport names;
        names.part = "xl/worksheets/sheet1.xml";
        names.sheet = "名簿";
        names.header = "氏名";
        names.texts = 2;
        names.header_kept = 1;
        hsc::ColumnReport phones = names;
        phones.column = 2;
        phones.header = "電話";
        phones.texts = 0;
        phones.numbers = 2;
        phones.found_elsewhere = {{hsc::LeakKind::charts, "xl/charts/chart1.xml", 0, hsc::column_bit(1)}};
        f.report.columns = {names, phones};
        auto* list = f.get<QListWidget>("results");
        MessageBox::setNextAnswer(MessageBox::No);  // open ●book.xlsx?
        drop_and_wait(*f.window, {"/d/book.xlsx"});
        QStringList lines;
        for (int i = 0; i < list->count(); ++i) lines << list->item(i)->text();
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines[1], QStringLiteral("  列ごとの結果:"));
        QCOMPARE(lines[2], QStringLiteral("    名簿!A (氏名): マスク 文字 2・数値 0・日付 0(うち数式の結果 0)/ 残したもの: 見出し 1 / "
                                          "読める形: なし"));
        QCOMPARE(lines[3], QStringLiteral("    名簿!C (電話): マスク 文字 0・数値 2・日付 0(うち数式の結果 0)/ 残したもの: 見出し 1 / "
                                          "読める形: マスクした値がほかの場所にあります(グラフ(データの写しやタイトル))"));
        QVERIFY2(lines[4].contains(QStringLiteral("マスク列 名簿!C (電話) が読める形で残っています")), qPrintable(lines[4]));
    }

    // A hint or name from a received workbook may hold markup: it is shown as it stands,
    // never drawn as a link or a picture.
    void textsFromFilesAreShownAsPlainText() {
        const QString markup = QStringLiteral("<a href='https://example.com/'>link</a><img src='/tmp/x.png'>");
        const auto box = MessageBox::build(nullptr, MessageBox::Critical, markup, false, true);
        QCOMPARE(box->textFormat(), Qt::PlainText);
        auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        QVERIFY(label);
        QCOMPARE(label->textFormat(), Qt::PlainText);
        QCOMPARE(label->text(), markup);

        Fixture f;
        for (QLabel* l : f.window->findChildren<QLabel*>()) QVERIFY2(l->textFormat() == Qt::PlainText, qPrintable(l->objectName()));
        MessageBox::setNextAnswer(MessageBox::Ok);  // the file's refusal
        drop_and_wait(*f.window, {"/d/bad<b>x<img src='x.png'>.xlsx"});
        auto* list = f.get<QListWidget>("results");
        QCOMPARE(list->count(), 1);
        QVERIFY(list->item(0)->text().contains(QStringLiteral("bad<b>x<img src='x.png'>.xlsx")));
        QTextDocument tooltip;
        tooltip.setHtml(list->item(0)->toolTip());
        QCOMPARE(tooltip.toPlainText(), list->item(0)->text());
    }

    // The real pipeline: the masked workbook's comment still holds a masked name; the
    // window says so, and the restore gets its line.
    void dropOfAWorkbookWithALeakShowsTheWarning() {
        hsc::test::TempDir dir;
        auto entries = hsc::test::small_workbook({"山田太郎", "東京都", "03-1234", "佐藤花子", "大阪府", "06-5678"});
        entries.push_back({"xl/comments1.xml", "<comments><commentList><comment ref=\"B1\"><text><t>山田太郎</t></text>"
                                               "</comment></commentList></comments>"});
        hsc::test::write_zip(dir / "book.xlsx", entries);
        hsc::MaskSettings stored;
        hsc::hsc_init_settings(stored);
        stored.target_column = "A";
        stored.password = "my own words";  // the built-in one would be asked about first
        MemoryStore store;
        store.stored = stored;
        NoPlatform platform;
        ErrorsOnly reporter;
        hsc::Shell shell(store, platform, reporter,
                         [](const fs::path& in, fs::path& out, const hsc::MaskSettings& s, hsc::FileContext& ctx,
                            hsc::Reporter& r, hsc::Lang) { return hsc::hsc_process_file(in, out, s, ctx, r, hsc::test::quick_kdf()); });
        shell.start();
        MainWindow window(shell, [] {});
        auto* list = window.findChild<QListWidget*>("results");
        MessageBox::setNextAnswer(MessageBox::No);
        drop_and_wait(window, {QString::fromStdString((dir / "book.xlsx").string())});
        QCOMPARE(list->count(), 5);
        QCOMPARE(list->item(0)->text(),
                 QStringLiteral("book.xlsx をマスクしました → ●book.xlsx(共有文字列 2件、セル 2件、図形の文字 0件)"));
        // The report per column, then the warnings: the place, and the column it came from.
        QCOMPARE(list->item(1)->text(), QStringLiteral("  列ごとの結果:"));
        QCOMPARE(list->item(2)->text(),
                 QStringLiteral("    名簿!A: マスク 文字 2・数値 0・日付 0(うち数式の結果 0)/ 残したもの: なし / "
                                "読める形: マスクした値がほかの場所にあります(コメント)"));
        QCOMPARE(list->item(3)->text(),
                 QStringLiteral("  マスクした文字列がコメントに読める形で残っています(xl/comments1.xml)。"));
        QCOMPARE(list->item(4)->text(),
                 QStringLiteral("  マスク列 名簿!A が読める形で残っています: マスクした値がほかの場所にあります(コメント)。"));

        MessageBox::setNextAnswer(MessageBox::No);
        drop_and_wait(window, {QString::fromStdString((dir / "●book.xlsx").string())});
        QCOMPARE(list->count(), 1);
        QCOMPARE(list->item(0)->text(), QStringLiteral("●book.xlsx を復元しました → 〇●book.xlsx"));
    }

    void dropOfARealWorkbookMasksAndRestoresIt() {
        const fs::path corpus = hsc::test::corpus_dir();
        if (corpus.empty()) QSKIP("HUSHCEL_CORPUS is not set");
        hsc::test::TempDir dir;
        const fs::path input = dir / "book.xlsx";
        fs::copy_file(corpus / "xlsxwriter/unicode_shift_jis.xlsx", input);
        MemoryStore store;
        store.stored = own_password_settings();
        NoPlatform platform;
        ErrorsOnly reporter;
        hsc::Shell shell(store, platform, reporter,
                     [](const fs::path& in, fs::path& out, const hsc::MaskSettings& s, hsc::FileContext& ctx,
                        hsc::Reporter& r, hsc::Lang) { return hsc::hsc_process_file(in, out, s, ctx, r, hsc::test::quick_kdf()); });
        shell.start();
        MainWindow window(shell, [] {});

        MessageBox::setNextAnswer(MessageBox::No);
        drop_and_wait(window, {QString::fromStdString(input.string())});
        const fs::path masked = dir / "●book.xlsx";
        QCOMPARE(MessageBox::shown().size(), size_t(1));
        QCOMPARE(MessageBox::shown()[0].text,
                 QString::fromStdString(masked.string()) + "を出力しました。内容を確認しますか？");
        QVERIFY(fs::exists(masked));
        QVERIFY(hsc::test::read_file(masked) != hsc::test::read_file(input));

        MessageBox::setNextAnswer(MessageBox::No);
        drop_and_wait(window, {QString::fromStdString(masked.string())});
        const fs::path restored = dir / "〇●book.xlsx";
        QVERIFY(fs::exists(restored));
        const auto original = hsc::test::read_zip(input);
        const auto back = hsc::test::read_zip(restored);
        auto part = [](const std::vector<hsc::test::ZipEntry>& entries, std::string_view name) {
            for (const auto& e : entries)
                if (e.name == name) return e.data;
            return std::string("(missing)");
        };
        QCOMPARE(part(back, "xl/sharedStrings.xml"), part(original, "xl/sharedStrings.xml"));
        QVERIFY(platform.opened.empty());
    }

    void recryptCycleWithAFakeApplication_data() {
        QTest::addColumn<bool>("saves");
        QTest::newRow("application saves") << true;
        QTest::newRow("application does not save") << false;
    }
    void recryptCycleWithAFakeApplication() {
        QFETCH(bool, saves);
        const fs::path corpus = hsc::test::corpus_dir();
        if (corpus.empty()) QSKIP("HUSHCEL_CORPUS is not set");
        hsc::test::TempDir dir;
        const fs::path book = dir / "book.xlsx";
        fs::copy_file(corpus / "xlsxwriter/unicode_shift_jis.xlsx", book);
        // The corpus is read-only, and a read-only workbook is never overwritten.
        fs::permissions(book, fs::perms::owner_read | fs::perms::owner_write);
        const fs::path app = dir / "calc.sh";
        // "Saving" touches the workbook: a new time within the same second still counts.
        hsc::test::write_file(app, saves ? "#!/bin/sh\ntouch \"$1\"\n" : "#!/bin/sh\n");
        fs::permissions(app, fs::perms::owner_all);
        hsc::SpreadsheetLookup lookup;
        lookup.override_command = app.string();
        hsc::LinuxPlatform platform(lookup);
        MemoryStore store;
        store.stored = own_password_settings();
        ErrorsOnly reporter;
        hsc::Shell shell(store, platform, reporter,
                         [](const fs::path& in, fs::path& out, const hsc::MaskSettings& s, hsc::FileContext& ctx,
                            hsc::Reporter& r, hsc::Lang) { return hsc::hsc_process_file(in, out, s, ctx, r, hsc::test::quick_kdf()); });
        shell.start();
        MainWindow window(shell, [] {});
        window.findChild<QCheckBox*>("overwrite")->setChecked(true);
        auto masked = [&] { return hsc::test::read_zip_info(book).comment.starts_with("COMPANY=KESTRIL PRODUCT=Hushcel"); };

        MessageBox::setNextAnswer(MessageBox::No);
        drop_and_wait(window, {QString::fromStdString(book.string())});  // masked in place
        QVERIFY(masked());

        window.findChild<QCheckBox*>("recrypto")->setChecked(true);
        MessageBox::clearShown();
        MessageBox::setNextAnswer(MessageBox::Yes);             // open the restored workbook
        if (saves) MessageBox::setNextAnswer(MessageBox::Ok);  // the re-encryption notice
        drop_and_wait(window, {QString::fromStdString(book.string())});
        QCOMPARE(masked(), saves);
        QCOMPARE(MessageBox::shown().size(), size_t(saves ? 2 : 1));
        if (saves) {
            QCOMPARE(MessageBox::shown()[1].text, QStringLiteral("自動再暗号化"));
            QCOMPARE(MessageBox::shown()[1].icon, MessageBox::Information);
        }
    }

    // The work runs beside the window: while a long workbook is masked, timers fire, the
    // progress bar moves and is drawn, and the window answers.
    void eventLoopRunsWhileALongWorkbookIsProcessed() {
        hsc::test::TempDir dir;
        hsc::test::write_zip(dir / "long.xlsx", long_workbook());
        RealFixture f;
        f.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        auto* bar = f.get_bar();
        QSignalSpy moved(bar, &QProgressBar::valueChanged);
        int ticks = 0, painted = 0;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
        timer.start(10);
        struct PaintCounter : QObject {
            int& count;
            explicit PaintCounter(int& c) : count(c) {}
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::Paint) ++count;
                return false;
            }
        } counter(painted);
        bar->installEventFilter(&counter);
        MessageBox::setNextAnswer(MessageBox::No);  // open the output?
        f.window->dropFiles({QString::fromStdString((dir / "long.xlsx").string())});
        QVERIFY(f.window->busy());
        QVERIFY(ticks == 0);
        QVERIFY(wait_idle(*f.window));
        QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
        QVERIFY(painted >= 2);
        bool between = false;  // a value that was neither the start nor the end
        for (const auto& args : moved) between = between || (args[0].toInt() > 0 && args[0].toInt() < 100);
        QVERIFY(between);
        QVERIFY(fs::exists(dir / "●long.xlsx"));
        QVERIFY(!f.get<QWidget>("progressRow")->isVisible());
    }

    // Stop during the first file of two: nothing of it is written, the second is not
    // begun, the folder is as it was, and the list says both were stopped.
    void stopLeavesTheFolderAsItWas() {
        hsc::test::TempDir dir;
        hsc::test::write_zip(dir / "a.xlsx", long_workbook());
        hsc::test::write_zip(dir / "b.xlsx", hsc::test::small_workbook({"山田太郎"}));
        const std::string before = hsc::test::read_file(dir / "a.xlsx");
        RealFixture f;
        f.window->findChild<QCheckBox*>("overwrite")->setChecked(true);
        auto* bar = f.get_bar();
        // Stopped as soon as the first file shows progress.
        QObject::connect(bar, &QProgressBar::valueChanged, f.window.get(), [&](int v) {
            if (v > 0) QTest::mouseClick(f.get<QPushButton>("stop"), Qt::LeftButton);
        });
        drop_and_wait(*f.window, {QString::fromStdString((dir / "a.xlsx").string()),
                                  QString::fromStdString((dir / "b.xlsx").string())});
        QCOMPARE(listing(dir.path()), (std::set<std::string>{"a.xlsx", "b.xlsx"}));
        QVERIFY(hsc::test::read_file(dir / "a.xlsx") == before);
        hsc::FooterInfo footer;
        QCOMPARE(hsc::hsc_read_footer(dir / "b.xlsx", footer), hsc::RC_OK);
        QVERIFY(!footer.present);
        auto* list = f.get<QListWidget>("results");
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->item(0)->text(), QString::fromStdString(hsc::say(hsc::Lang::ja, hsc::Msg::outcome_cancelled, {"a.xlsx"})));
        QCOMPARE(list->item(1)->text(), QString::fromStdString(hsc::say(hsc::Lang::ja, hsc::Msg::outcome_cancelled, {"b.xlsx"})));
        QVERIFY(MessageBox::shown().empty());  // a stop is no failure to be told of
    }

    // A question that comes again for the files of a drop offers "all"; one such answer
    // does for the rest of the drop. A drop of one file gets the plain question.
    void questionsOfADropOfSeveralOfferApplyToAll() {
        Fixture f;
        f.get<QLineEdit>("password")->setText("my own words");
        MessageBox::setNextAnswer(MessageBox::No);        // a: not opened
        MessageBox::setNextAnswer(MessageBox::YesToAll);  // b, and the rest: opened
        drop_and_wait(*f.window, {"/d/a.xlsx", "/d/b.xlsx", "/d/c.xlsx", "/d/d.xlsx"});
        QCOMPARE(f.processed.size(), size_t(4));
        QCOMPARE(f.platform.opened, (std::vector<fs::path>{"/d/●b.xlsx", "/d/●c.xlsx", "/d/●d.xlsx"}));
        QCOMPARE(MessageBox::shown().size(), size_t(2));
        for (const auto& box : MessageBox::shown()) QVERIFY(box.for_all && box.yes_no);

        MessageBox::clearShown();
        MessageBox::setNextAnswer(MessageBox::Yes);
        drop_and_wait(*f.window, {"/d/e.xlsx"});
        QCOMPARE(MessageBox::shown().size(), size_t(1));
        QVERIFY(!MessageBox::shown()[0].for_all);
        QCOMPARE(f.platform.opened.back(), fs::path("/d/●e.xlsx"));
    }

    // The built-in password is never used without the confirmation that names the
    // consequence, asked again for each drop; without it (No, Cancel) nothing is processed.
    // The same for workbooks handed over by another program.
    void builtInPasswordNeverMasksWithoutTheConfirmation() {
        hsc::MaskSettings defaults;
        hsc::hsc_init_settings(defaults);
        Fixture f(defaults);
        const QString consequence = QString::fromStdString(hsc::say(hsc::Lang::ja, hsc::Msg::confirm_known_password));
        using hsc::gui::NewPasswordDialog;
        const auto built_in = [](QWidget* d) { static_cast<NewPasswordDialog*>(d)->builtInButton()->click(); };

        // Declined confirmation, then the dialog's cancel: nothing.
        MessageBox::setNextAnswer(MessageBox::No);
        QCOMPARE(run_modal([&] { drop_and_wait(*f.window, {"/d/a.xlsx"}); },
                           [&](QWidget* d) {
                               built_in(d);
                               QVERIFY(d->isVisible());  // a No keeps the dialog
                           }),
                 QStringLiteral("NEWPWDDLG"));
        QCOMPARE(run_modal([&] { f.window->openFiles({"/d/b.xlsx"}); }), QStringLiteral("NEWPWDDLG"));
        QVERIFY(f.processed.empty());
        QCOMPARE(MessageBox::shown().size(), size_t(1));
        QCOMPARE(MessageBox::shown()[0].text, consequence);

        // Confirmed: this drop masks with the built-in password.
        MessageBox::clearShown();
        MessageBox::setNextAnswer(MessageBox::Yes);  // the confirmation
        MessageBox::setNextAnswer(MessageBox::No);   // open the output?
        run_modal([&] { drop_and_wait(*f.window, {"/d/c.xlsx"}); }, built_in);
        QCOMPARE(f.processed, std::vector<fs::path>{"/d/c.xlsx"});
        QCOMPARE(f.last_settings.password, std::string("Q-Marle"));
        QCOMPARE(MessageBox::shown()[0].text, consequence);

        // The next drop asks again; a masked workbook (restored) asks nothing.
        QCOMPARE(run_modal([&] { drop_and_wait(*f.window, {"/d/d.xlsx"}); }), QStringLiteral("NEWPWDDLG"));
        QCOMPARE(f.processed.size(), size_t(1));
        hsc::test::TempDir dir;
        hsc::test::write_zip(dir / "m.xlsx", hsc::test::small_workbook({"x"}));
        hsc::MaskSettings own;
        own.password = "something";
        hsc::FileContext ctx;
        fs::path out;
        ErrorsOnly r;
        QCOMPARE(hsc::hsc_process_file(dir / "m.xlsx", out, own, ctx, r, hsc::test::quick_kdf()), hsc::RC_OK);
        MessageBox::setNextAnswer(MessageBox::No);  // open the output?
        QCOMPARE(run_modal([&] { drop_and_wait(*f.window, {QString::fromStdString(out.string())}); }), QString());
        QCOMPARE(f.processed.size(), size_t(2));
    }

    // First use: a password of one's own, typed twice (the show toggle reveals both
    // fields), kept in the settings when the user leaves the offer ticked.
    void firstUseAsksForAPasswordTypedTwice() {
        hsc::MaskSettings defaults;
        hsc::hsc_init_settings(defaults);
        Fixture f(defaults);
        using hsc::gui::NewPasswordDialog;
        MessageBox::setNextAnswer(MessageBox::Ok);  // the two differ
        MessageBox::setNextAnswer(MessageBox::No);  // open the output?
        run_modal([&] { drop_and_wait(*f.window, {"/d/a.xlsx"}); }, [&](QWidget* w) {
            auto* d = static_cast<NewPasswordDialog*>(w);
            QCOMPARE(d->first()->echoMode(), QLineEdit::Password);
            d->showBox()->setChecked(true);
            QCOMPARE(d->first()->echoMode(), QLineEdit::Normal);
            QCOMPARE(d->second()->echoMode(), QLineEdit::Normal);
            QVERIFY(d->saveBox()->isChecked());
            d->first()->setText("correct horse");
            d->second()->setText("correct hrose");
            d->okButton()->click();
            QVERIFY(d->isVisible());  // refused: stays open
            d->second()->setText("correct horse");
            d->okButton()->click();
        });
        QCOMPARE(MessageBox::shown()[0].text, QString::fromStdString(hsc::say(hsc::Lang::ja, hsc::Msg::password_confirm_differs)));
        QCOMPARE(f.processed, std::vector<fs::path>{"/d/a.xlsx"});
        QCOMPARE(f.last_settings.password, std::string("correct horse"));
        QCOMPARE(f.get<QLineEdit>("password")->text(), QStringLiteral("correct horse"));
        QCOMPARE(f.store.writes, 1);
        QCOMPARE(f.store.stored->password, std::string("correct horse"));
        QVERIFY(!f.store.stored->is_no_password);
    }

    // A password typed into the window since the last masking is typed once more before
    // it masks; a different one abandons the drop. Once confirmed it is not asked again.
    void typedPasswordIsTypedAgainBeforeItMasks() {
        Fixture f;
        auto* field = f.get<QLineEdit>("password");
        field->clear();
        QTest::keyClicks(field, "new secret");
        using hsc::gui::RetypePasswordDialog;
        MessageBox::setNextAnswer(MessageBox::Ok);  // differs
        QCOMPARE(run_modal([&] { drop_and_wait(*f.window, {"/d/a.xlsx"}); },
                           [](QWidget* w) {
                               auto* d = static_cast<RetypePasswordDialog*>(w);
                               d->edit()->setText("new secert");
                               d->okButton()->click();
                               QVERIFY(d->isVisible());
                           }),
                 QStringLiteral("RETYPEPWDDLG"));
        QVERIFY(f.processed.empty());

        MessageBox::setNextAnswer(MessageBox::No);  // open the output?
        run_modal([&] { drop_and_wait(*f.window, {"/d/a.xlsx"}); }, [](QWidget* w) {
            auto* d = static_cast<RetypePasswordDialog*>(w);
            d->edit()->setText("new secret");
            d->okButton()->click();
        });
        QCOMPARE(f.last_settings.password, std::string("new secret"));
        MessageBox::setNextAnswer(MessageBox::No);
        QCOMPARE(run_modal([&] { drop_and_wait(*f.window, {"/d/b.xlsx"}); }), QString());  // nothing asked
        QCOMPARE(f.processed.size(), size_t(2));
    }

    void exitWithChangedSettingsAsksAndSavesOnYes() {
        Fixture f;
        f.get<QLineEdit>("password")->setText("new password");
        f.window->saveCommand();  // Ctrl+S writes without asking
        QCOMPARE(f.store.writes, 1);
        QVERIFY(MessageBox::shown().empty());
        MessageBox::setNextAnswer(MessageBox::Yes);
        f.get<QLineEdit>("targetColumn")->setText("C");
        f.window->action("exit")->trigger();
        QCOMPARE(MessageBox::shown().size(), size_t(1));
        QCOMPARE(MessageBox::shown()[0].text, QStringLiteral("設定を保存しますか？"));
        QCOMPARE(MessageBox::shown()[0].icon, MessageBox::Question);
        QCOMPARE(f.store.writes, 2);
        QCOMPARE(f.store.stored->target_column, std::string("C"));
        QCOMPARE(f.exits, 1);
    }

    void exitWritesTheSettingsFileOnYes() {
        hsc::test::TempDir dir;
        const fs::path file = dir / "Hushcel.ini";
        hsc::IniSettingsStore store(file);
        NoPlatform platform;
        ErrorsOnly reporter;
        hsc::Shell shell(store, platform, reporter, [](auto&&...) { return hsc::RC_FAIL; });
        shell.start();
        int exits = 0;
        MainWindow window(shell, [&] { ++exits; });
        QCOMPARE(window.findChild<QLineEdit*>("password")->text(), QStringLiteral("Q-Marle"));  // no file yet

        window.findChild<QLineEdit*>("targetColumn")->setText("B,E");
        // The controls are taken at a drop (here one with the built-in password, confirmed).
        MessageBox::setNextAnswer(MessageBox::Yes);
        run_modal([&] { drop_and_wait(window, {"/nowhere/x.xlsx"}); },
                  [](QWidget* d) { static_cast<hsc::gui::NewPasswordDialog*>(d)->builtInButton()->click(); });
        MessageBox::clearShown();
        window.findChild<QCheckBox*>("overwrite")->setChecked(true);  // and again on Yes
        MessageBox::setNextAnswer(MessageBox::Yes);
        window.close();
        QCOMPARE(exits, 1);
        QCOMPARE(MessageBox::shown().size(), size_t(1));
        QCOMPARE(MessageBox::shown()[0].text, QStringLiteral("設定を保存しますか？"));
        QVERIFY(fs::exists(file));

        hsc::MaskSettings read;
        hsc::hsc_init_settings(read);
        QCOMPARE(hsc::hsc_read_ini(read, file), 0);
        QCOMPARE(read.target_column, std::string("B,E"));
        QVERIFY(read.is_overwrite);
        QCOMPARE(read.password, std::string("Q-Marle"));
    }

    // What the window shows counts on leaving, also when no drop took it: each field
    // typed into and never used asks before the program ends.
    void exitAsksAboutValuesTypedButNeverUsed() {
        const std::vector<std::pair<const char*, std::function<void(Fixture&)>>> edits = {
            {"password", [](Fixture& f) { f.get<QLineEdit>("password")->setText("typed but never taken"); }},
            {"columns", [](Fixture& f) { f.get<QLineEdit>("targetColumn")->setText("氏名,電話番号"); }},
            {"header row", [](Fixture& f) { f.get<QSpinBox>("headerRow")->setValue(3); }},
            {"budget", [](Fixture& f) { f.get<QSpinBox>("maxMemory")->setValue(512); }},
        };
        for (const auto& [name, edit] : edits) {
            MessageBox::clearShown();
            Fixture f;
            edit(f);
            MessageBox::setNextAnswer(MessageBox::No);
            f.window->exitCommand();
            QVERIFY2(MessageBox::shown().size() == 1, name);
            QCOMPARE(MessageBox::shown()[0].text, QStringLiteral("設定を保存しますか？"));
            QCOMPARE(f.store.writes, 0);
            QCOMPARE(f.exits, 1);
        }
    }

    // File > Open… and "Add files" process the chosen workbooks in the order chosen,
    // as a drop of them; a cancelled chooser processes nothing.
    void openAndAddFilesProcessTheChosenFilesAsADrop() {
        Fixture f;
        QCOMPARE(f.window->action("open")->shortcut(), QKeySequence(QKeySequence::Open));
        FileChooser::setNextFileNames({"/d/b.xlsx", "/d/a.xlsx"});
        MessageBox::setNextAnswer(MessageBox::NoToAll);  // "open the output?", for both
        f.window->action("open")->trigger();
        QVERIFY(wait_idle(*f.window));
        QCOMPARE(f.processed, (std::vector<fs::path>{"/d/b.xlsx", "/d/a.xlsx"}));
        QCOMPARE(f.get<QListWidget>("results")->count(), 2);

        FileChooser::setNextFileNames({});
        QTest::mouseClick(f.get<QPushButton>("addFiles"), Qt::LeftButton);
        QVERIFY(wait_idle(*f.window));
        QCOMPARE(f.processed.size(), size_t(2));

        FileChooser::setNextFileNames({"/d/c.xlsx"});
        MessageBox::setNextAnswer(MessageBox::No);
        QTest::mouseClick(f.get<QPushButton>("addFiles"), Qt::LeftButton);
        QVERIFY(wait_idle(*f.window));
        QCOMPARE(f.processed.back(), fs::path("/d/c.xlsx"));
    }

    // The header row and keep-header go with the drop into the settings the pipeline gets,
    // and from there into the settings file; the budget too, in bytes.
    void headerRowKeepHeaderAndBudgetReachThePipelineAndTheSettings() {
        Fixture f;
        QCOMPARE(f.get<QSpinBox>("headerRow")->value(), 1);
        QCOMPARE(f.get<QSpinBox>("maxMemory")->value(), 0);
        QCOMPARE(f.get<QSpinBox>("maxMemory")->text(), QStringLiteral("自動"));
        f.get<QSpinBox>("headerRow")->setValue(2);
        f.get<QCheckBox>("keepHeader")->setChecked(true);
        f.get<QSpinBox>("maxMemory")->setValue(300);
        MessageBox::setNextAnswer(MessageBox::No);
        drop_and_wait(*f.window, {"/d/a.xlsx"});
        QCOMPARE(f.last_settings.header_row, 2);
        QVERIFY(f.last_settings.is_keep_header);
        QCOMPARE(f.last_settings.max_memory, std::uint64_t{300} << 20);
        f.window->saveCommand();
        QVERIFY(f.store.stored);
        QCOMPARE(f.store.stored->header_row, 2);
        QVERIFY(f.store.stored->is_keep_header);
        QCOMPARE(f.store.stored->max_memory, std::uint64_t{300} << 20);

        hsc::MaskSettings stored = own_password_settings();
        stored.header_row = 7;
        stored.max_memory = std::uint64_t{2} << 30;
        Fixture g(stored);
        QCOMPARE(g.get<QSpinBox>("headerRow")->value(), 7);
        QCOMPARE(g.get<QSpinBox>("maxMemory")->value(), 2048);
    }

    // The budget of the window is the core's: a workbook over it is refused, in the
    // words that say how much it needs, and masked once the budget is automatic again.
    void memoryBudgetOfTheWindowBoundsTheRun() {
        hsc::test::TempDir dir;
        hsc::test::write_zip(dir / "long.xlsx", long_workbook());
        const QString book = QString::fromStdString((dir / "long.xlsx").string());
        RealFixture f;
        f.get<QSpinBox>("maxMemory")->setValue(1);
        MessageBox::setNextAnswer(MessageBox::Ok);  // the refusal
        drop_and_wait(*f.window, {book});
        QVERIFY(!fs::exists(dir / "●long.xlsx"));
        QCOMPARE(MessageBox::shown().size(), size_t(1));
        QVERIFY2(MessageBox::shown()[0].text.contains(QStringLiteral("--max-memory")), qPrintable(MessageBox::shown()[0].text));

        f.get<QSpinBox>("maxMemory")->setValue(0);
        MessageBox::setNextAnswer(MessageBox::No);  // open the output?
        drop_and_wait(*f.window, {book});
        QVERIFY(fs::exists(dir / "●long.xlsx"));
    }

    // A profile with a header row per sheet (what the column field cannot say) is loaded,
    // shown by name, masks what it names on each sheet, and is put aside again; a file
    // that is no profile is refused with its line, and the fields stay in use.
    void loadedProfileMasksPerSheetAndIsStoredByPath() {
        hsc::test::TempDir dir;
        const std::vector<hsc::test::NamedSheet> sheets = {
            {"顧客", {{"", "顧客一覧"}, {"氏名", "商品"}, {"山田太郎", "りんご"}, {"佐藤花子", "みかん"}}},
            {"注文", {{"担当", "品名"}, {"鈴木一郎", "ぶどう"}}},
        };
        hsc::test::write_zip(dir / "book.xlsx", hsc::test::sheets_workbook(sheets));
        hsc::test::write_file(dir / "book.profile",
                              "hushcel-profile 1\n[顧客]\nheader-row = 2\ncolumn = 氏名\n[注文]\ncolumn = 担当\n");
        hsc::test::write_file(dir / "bad.profile", "hushcel-profile 1\n[顧客]\ncolour = blue\n");
        const QString profile = QString::fromStdString((dir / "book.profile").string());

        RealFixture f;
        auto* column = f.get<QLineEdit>("targetColumn");
        column->setText("B");
        FileChooser::setNextFileName(QString::fromStdString((dir / "bad.profile").string()));
        MessageBox::setNextAnswer(MessageBox::Ok);
        f.window->action("loadProfile")->trigger();
        QCOMPARE(MessageBox::shown().size(), size_t(1));
        QVERIFY2(MessageBox::shown()[0].text.contains(QStringLiteral("3 行目")), qPrintable(MessageBox::shown()[0].text));
        QVERIFY(f.window->controls().profile_file.empty());
        QVERIFY(column->isEnabled());

        FileChooser::setNextFileName(profile);
        f.window->action("loadProfile")->trigger();
        QCOMPARE(f.window->controls().profile_file, profile.toStdString());
        QVERIFY(!column->isEnabled() && !f.get<QSpinBox>("headerRow")->isEnabled());
        QCOMPARE(f.get<QLabel>("profileStatus")->text(), QStringLiteral("プロファイル: book.profile"));
        QVERIFY(f.window->action("clearProfile")->isEnabled());

        MessageBox::setNextAnswer(MessageBox::No);
        drop_and_wait(*f.window, {QString::fromStdString((dir / "book.xlsx").string())});
        const std::string strings =
            hsc::test::entry_data(hsc::test::read_zip(dir / "●book.xlsx"), "xl/sharedStrings.xml");
        for (const char* hidden : {"山田太郎", "佐藤花子", "鈴木一郎"}) QVERIFY2(strings.find(hidden) == std::string::npos, hidden);
        // The header cells and the other columns stay.
        for (const char* kept : {"氏名", "担当", "りんご", "みかん", "ぶどう"})
            QVERIFY2(strings.find(kept) != std::string::npos, kept);

        f.window->saveCommand();
        QCOMPARE(f.store.stored->profile_file, profile.toStdString());
        QCOMPARE(f.store.stored->target_column, std::string("B"));  // kept, unused

        f.window->action("clearProfile")->trigger();
        QVERIFY(f.window->controls().profile_file.empty());
        QVERIFY(column->isEnabled() && !f.get<QLabel>("profileStatus")->isVisible());
    }

    // Save profile writes the choice in use: the fields' (read back as the same choice
    // with their header row) or the loaded profile's; a column text that does not read
    // is refused before anything is asked or written.
    void saveProfileWritesTheChoiceInUse() {
        hsc::test::TempDir dir;
        Fixture f;
        f.get<QLineEdit>("targetColumn")->setText("顧客!B,氏名;注文!E");
        f.get<QSpinBox>("headerRow")->setValue(3);
        f.get<QCheckBox>("keepHeader")->setChecked(true);
        const fs::path written = dir / "fields.profile";
        FileChooser::setNextFileName(QString::fromStdString(written.string()));
        f.window->action("saveProfile")->trigger();
        QVERIFY(MessageBox::shown().empty());
        hsc::ChoiceError error;
        const auto back = hsc::parse_profile(hsc::test::read_file(written), error);
        QVERIFY(back);
        const auto expected = hsc::parse_column_text("顧客!B,氏名;注文!E", 3, true, error);
        QVERIFY(expected);
        QVERIFY(*back == *expected);

        // Saved again from the profile in use, under another name: the same choice.
        FileChooser::setNextFileName(QString::fromStdString(written.string()));
        f.window->action("loadProfile")->trigger();
        f.get<QLineEdit>("targetColumn")->setText("Z");  // unused while the profile is
        FileChooser::setNextFileName(QString::fromStdString((dir / "copy.profile").string()));
        f.window->action("saveProfile")->trigger();
        QCOMPARE(hsc::test::read_file(dir / "copy.profile"), hsc::test::read_file(written));

        f.window->action("clearProfile")->trigger();
        f.get<QLineEdit>("targetColumn")->setText("'顧客!B");  // an unclosed quote
        const int chooser_before = FileChooser::opened();
        MessageBox::setNextAnswer(MessageBox::Ok);
        f.window->action("saveProfile")->trigger();
        QCOMPARE(MessageBox::shown().size(), size_t(1));
        QCOMPARE(MessageBox::shown()[0].icon, MessageBox::Critical);
        QCOMPARE(FileChooser::opened(), chooser_before);
    }

    // Every control says what it does when the pointer rests on it, in the window's
    // language; the column field is wide enough for a list of header names in both.
    void everyControlHasATooltipInBothLanguages() {
        Fixture f;
        QMap<QString, QString> japanese;
        for (hsc::Lang lang : {hsc::Lang::ja, hsc::Lang::en}) {
            f.window->setLanguage(lang);
            int controls = 0;
            for (QWidget* w : f.window->findChildren<QWidget*>()) {
                const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
                                     qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractSpinBox*>(w);
                // Inner parts of a composite control (a spin box's or list's own field) are not ours.
                if (!control || w->objectName().isEmpty() || w->objectName().startsWith("qt_")) continue;
                ++controls;
                const QString tip = QTextDocumentFragment::fromHtml(w->toolTip()).toPlainText();
                QVERIFY2(!tip.trimmed().isEmpty(), qPrintable(w->objectName()));
                if (lang == hsc::Lang::ja) {
                    japanese[w->objectName()] = tip;
                    QVERIFY2(has_japanese_letter(tip), qPrintable(w->objectName()));
                } else {
                    QVERIFY2(!has_japanese_letter(tip), qPrintable(w->objectName() + ": " + tip));
                    QVERIFY2(tip != japanese.value(w->objectName()), qPrintable(w->objectName()));
                }
            }
            QVERIFY(controls >= 20);
            auto* column = f.get<QLineEdit>("targetColumn");
            const QString list = QStringLiteral("氏名,電話番号,住所,生年月日");
            QVERIFY2(column->width() >= column->fontMetrics().horizontalAdvance(list),
                     qPrintable(QString::number(column->width())));
        }
    }

    void exitPathsWithoutChangesDoNotAsk() {
        Fixture f;
        QTest::mouseClick(f.get<QPushButton>("cancel"), Qt::LeftButton);
        QVERIFY(MessageBox::shown().empty());
        QCOMPARE(f.store.writes, 0);
        QCOMPARE(f.exits, 1);

        Fixture g;
        g.shell.settings().password_hint = "hint";  // as a dialog would
        MessageBox::setNextAnswer(MessageBox::No);
        g.window->show();
        g.window->close();
        QCOMPARE(MessageBox::shown().size(), size_t(1));
        QCOMPARE(g.store.writes, 0);
        QCOMPARE(g.exits, 1);
        QVERIFY(!g.window->isVisible());
    }

    void secondInstanceRaisesTheFirst() {
        const QString name = QStringLiteral("hushcel-test-%1").arg(QCoreApplication::applicationPid());
        hsc::gui::SingleInstance first(name);
        QVERIFY(first.claim());
        QSignalSpy raised(&first, &hsc::gui::SingleInstance::raiseRequested);
        hsc::gui::SingleInstance second(name);
        QVERIFY(!second.claim());
        QVERIFY(raised.wait(2000));

        Fixture f;  // what the raise request does to a minimised window
        f.window->showMinimized();
        f.window->bringToFront();
        QVERIFY(f.window->isVisible());
        QVERIFY(!(f.window->windowState() & Qt::WindowMinimized));
    }

    void laterCopyHandsItsFilesToTheFirst() {
        const QString name = QStringLiteral("hushcel-files-%1").arg(QCoreApplication::applicationPid());
        hsc::gui::SingleInstance first(name);
        QVERIFY(first.claim());
        QSignalSpy files(&first, &hsc::gui::SingleInstance::filesRequested);
        QSignalSpy raised(&first, &hsc::gui::SingleInstance::raiseRequested);
        const QStringList sent = {"/data/名簿 2026.xlsx", "/data/line\nbreak.xlsm", "/data/raise\n.xlsx"};
        hsc::gui::SingleInstance second(name);
        QVERIFY(!second.claim(sent));
        QVERIFY(files.wait(2000));
        QCOMPARE(files.size(), 1);
        QCOMPARE(files[0][0].toStringList(), sent);
        QCOMPARE(raised.size(), 1);

        hsc::gui::SingleInstance third(name);  // no files: only brought forward
        QVERIFY(!third.claim());
        QTRY_COMPARE(raised.size(), 2);
        QTest::qWait(100);
        QCOMPARE(files.size(), 1);
    }

    // The program started with a workbook (as "Open with" of a file manager does) masks it
    // as if it had been dropped. It then waits at the "open the output?" question, so the
    // output is checked on disk.
    void programMasksTheWorkbookOfItsCommandLine() {
        hsc::test::TempDir dir;
        fs::create_directories(dir / "data");
        hsc::test::write_zip(dir / "data" / "名簿.xlsx", hsc::test::small_workbook({"山田太郎", "東京都"}));
        QVERIFY(write_own_password_settings(dir.path()));
        QProcess gui;
        gui.setProcessEnvironment(gui_environment(dir.path()));
        gui.setWorkingDirectory(QString::fromStdString(dir.path().string()));
        gui.start(HUSHCEL_GUI_BINARY, {"data/名簿.xlsx"});  // relative to its folder
        QVERIFY(gui.waitForStarted());
        const fs::path masked = dir / "data" / "●名簿.xlsx";
        QTRY_VERIFY_WITH_TIMEOUT(fs::exists(masked), 30000);
        QCOMPARE(gui.state(), QProcess::Running);
        gui.kill();
        gui.waitForFinished();
        hsc::FooterInfo footer;
        QCOMPARE(hsc::hsc_read_footer(masked, footer), hsc::RC_OK);
        QVERIFY(footer.present);
        const std::string strings = hsc::test::entry_data(hsc::test::read_zip(masked), "xl/sharedStrings.xml");
        QVERIFY(strings.find("山田太郎") == std::string::npos);
        QVERIFY(strings.find("東京都") == std::string::npos);
    }

    // The socket's name is private to the user only inside a runtime folder nobody else
    // may enter; elsewhere it stays a plain name (the shared temporary folder).
    void singleInstanceNameIsPrivateOnlyInAPrivateFolder() {
        hsc::test::TempDir dir;
        const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
        const QString plain = QStringLiteral("Hushcel-%1").arg(::getuid());
        fs::create_directories(dir / "private");
        fs::permissions(dir / "private", fs::perms::owner_all, fs::perm_options::replace);
        fs::create_directories(dir / "shared");
        fs::permissions(dir / "shared", fs::perms::all, fs::perm_options::replace);
        const QString base = QString::fromStdString(dir.path().string());
        qputenv("XDG_RUNTIME_DIR", (base + "/private").toUtf8());
        const QString in_private = hsc::gui::SingleInstance::defaultName();
        qputenv("XDG_RUNTIME_DIR", (base + "/shared").toUtf8());
        const QString in_shared = hsc::gui::SingleInstance::defaultName();
        qunsetenv("XDG_RUNTIME_DIR");
        const QString unset = hsc::gui::SingleInstance::defaultName();
        if (saved.isNull()) qunsetenv("XDG_RUNTIME_DIR"); else qputenv("XDG_RUNTIME_DIR", saved);
        QCOMPARE(in_private, base + "/private/" + plain);
        QCOMPARE(in_shared, plain);
        QCOMPARE(unset, plain);
    }

    // A second start ends at once with 0 and hands its files to the running copy, which
    // masks them; a relative path means the second start's folder, not the first's.
    void secondStartHandsItsFilesToTheFirstAndEndsWithZero() {
        hsc::test::TempDir dir;
        fs::create_directories(dir / "first");
        fs::create_directories(dir / "second" / "data");
        hsc::test::write_zip(dir / "second" / "data" / "b.xlsx", hsc::test::small_workbook({"佐藤花子"}));
        QVERIFY(write_own_password_settings(dir.path()));
        const QString tmp = QString::fromStdString(dir.path().string());
        QProcess first;
        first.setProcessEnvironment(gui_environment(dir.path()));
        first.setWorkingDirectory(tmp + "/first");
        first.start(HUSHCEL_GUI_BINARY, {});
        QVERIFY(first.waitForStarted());
        const QString socket = tmp + "/run/" + QStringLiteral("Hushcel-%1").arg(::getuid());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(socket), 20000);

        QProcess second;
        second.setProcessEnvironment(gui_environment(dir.path()));
        second.setWorkingDirectory(tmp + "/second");
        second.start(HUSHCEL_GUI_BINARY, {"data/b.xlsx"});
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        const fs::path masked = dir / "second" / "data" / "●b.xlsx";
        QTRY_VERIFY_WITH_TIMEOUT(fs::exists(masked), 30000);
        QCOMPARE(first.state(), QProcess::Running);  // the first copy goes on
        first.kill();
        first.waitForFinished();
        hsc::FooterInfo footer;
        QCOMPARE(hsc::hsc_read_footer(masked, footer), hsc::RC_OK);
        QVERIFY(footer.present);
    }
};

QTEST_MAIN(GuiTest)
#include "gui_test.moc"
