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

namespace {

hsc::ProcessFile pipeline() {
#ifdef HUSHCEL_NO_PIPELINE
    return [](const std::filesystem::path&, std::filesystem::path&, const hsc::MaskSettings&, hsc::FileContext&,
              hsc::Reporter& reporter) {
        reporter.error("この版には処理エンジンが組み込まれていません。");
        return -1;
    };
#else
    return hsc::hsc_process_file;
#endif
}

}  // namespace

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
    hsc::Shell shell(store, platform, reporter, pipeline());
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
