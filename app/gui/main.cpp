// hushcel-gui: the desktop window.
#include <QApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QScreen>
#include <iostream>

#include "engine/driver.h"
#include "gui_reporter.h"
#include "main_window.h"
#include "shell/messages.h"
#include "shell/settings_store.h"
#include "shell/texts.h"
#include "single_instance.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);  // the command line is not used
    QApplication::setApplicationName(QStringLiteral("Hushcel"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/hushcel/icon-256.png")));

    // A second copy brings the first one forward and ends, before reading any settings.
    hsc::gui::SingleInstance instance;
    if (!instance.claim()) return 0;

    hsc::MessageTable table = hsc::MessageTable::standard();
    hsc::TivContext context(table);
    context.third_line = hsc::APP_THIRD_LINE;
    hsc::gui::GuiReporter reporter;

    hsc::IniSettingsStore store(hsc::settings_path(QCoreApplication::applicationDirPath().toStdString()));
    hsc::LinuxPlatform platform;
    hsc::Shell shell(store, platform, reporter,
                     [](const std::filesystem::path& in, std::filesystem::path& out, const hsc::MaskSettings& s,
                        hsc::FileContext& ctx,
                        hsc::Reporter& r) { return hsc::hsc_process_file(in, out, s, ctx, r); });
    shell.start();

    if (!QGuiApplication::primaryScreen()) {
        hsc::hsc_startup_failure(context, "InitInstance() ", std::cerr, reporter);
        return 0;
    }
    hsc::gui::MainWindow window(shell, [] { QCoreApplication::exit(0); });
    QObject::connect(&instance, &hsc::gui::SingleInstance::raiseRequested, &window,
                     &hsc::gui::MainWindow::bringToFront);
    window.show();
    return app.exec();
}
