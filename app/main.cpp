// Program entry: the start-up exclusion test, then the main window and the message loop.

#include <QApplication>
#include <QIcon>

#include "app/StartupExclusion.h"
#include "ui/qt/TMainForm.h"

int main(int argc, char** argv) {
    // Decided before any window exists: when the other tool's window is up, end silently.
    if (vellox::ExclusionWindowExists()) return 0;

    // The layout is in pixels and is not scaled to the screen's DPI.
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vellox"));
    // Names the desktop entry, so that a desktop shows the window with its icon and name.
    QGuiApplication::setDesktopFileName(QStringLiteral(VELLOX_APP_ID));

    vellox::TMainForm form;
    QApplication::setWindowIcon(form.windowIcon());
    form.show();
    application.exec();
    return 0;
}
