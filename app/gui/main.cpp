// hushcel-gui: the desktop window.
#include <QApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QScreen>
#include <QTimer>
#include <iostream>

#include "core/catalog.h"
#include "engine/driver.h"
#include "gui_reporter.h"
#include "main_window.h"
#include "os/system.h"
#include "shell/messages.h"
#include "shell/platform.h"
#include "shell/settings_store.h"
#include "shell/texts.h"
#include "single_instance.h"

int main(int argc, char** argv) {
    hsc::os::keep_memory_private();
    QApplication app(argc, argv);  // takes Qt's own options out of the command line
    QApplication::setApplicationName(QStringLiteral("Hushcel"));
    QApplication::setWindowIcon(hsc::gui::program_icon());

    // Workbooks named on the command line ("Open with" of a file manager) are processed
    // as if dropped. Made absolute here, since a running copy works in its own folder.
    QStringList files;
    for (const QString& arg : QApplication::arguments().mid(1))
        if (!arg.isEmpty()) files << QFileInfo(arg).absoluteFilePath();

    // A second copy brings the first one forward, hands it its files and ends, before
    // reading any settings.
    hsc::gui::SingleInstance instance;
    if (!instance.claim(files)) return 0;

    hsc::MessageTable table = hsc::MessageTable::standard(hsc::lang_from_environment());
    hsc::TivContext context(table);
    context.third_line = hsc::APP_THIRD_LINE;
    hsc::gui::GuiReporter reporter;

    hsc::IniSettingsStore store(hsc::settings_path(QCoreApplication::applicationDirPath().toStdString()));
    hsc::LinuxPlatform platform;
    hsc::Shell shell(store, platform, reporter,
                     [](const std::filesystem::path& in, std::filesystem::path& out, const hsc::MaskSettings& s,
                        hsc::FileContext& ctx, hsc::Reporter& r, hsc::Lang lang) {
                         hsc::ProcessOptions options;
                         options.lang = lang;
                         return hsc::hsc_process_file(in, out, s, ctx, r, options);
                     });
    // The window speaks the locale's language until its menu switches it; the shell's
    // questions at start already follow it.
    shell.set_lang(hsc::lang_from_environment());
    shell.start();

    if (!QGuiApplication::primaryScreen()) {
        hsc::hsc_startup_failure(context, "InitInstance() ", std::cerr, reporter);
        return 0;
    }
    hsc::gui::MainWindow window(shell, [] { QCoreApplication::exit(0); });
    QObject::connect(&instance, &hsc::gui::SingleInstance::raiseRequested, &window,
                     &hsc::gui::MainWindow::bringToFront);
    QObject::connect(&instance, &hsc::gui::SingleInstance::filesRequested, &window,
                     &hsc::gui::MainWindow::openFiles);
    window.show();
    if (!files.isEmpty()) QTimer::singleShot(0, &window, [&window, files] { window.openFiles(files); });
    return app.exec();
}
