// vellox-screenshot OUTPUT.png [DELAY_MS]: waits for the Vellox window on the X display, lets
// it paint (DELAY_MS after it appeared, 1500 by default), and writes a picture of it. Used by
// scripts/screenshot.sh under Xvfb.

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "app/StartupExclusion.h"

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s OUTPUT.png [DELAY_MS]\n", argv[0]);
        return 2;
    }
    const int delay_ms = argc == 3 ? std::atoi(argv[2]) : 1500;
    using namespace std::chrono_literals;
    std::uint32_t id = 0;
    for (int attempt = 0; attempt < 300 && id == 0; ++attempt) {
        for (const vellox::TopLevelWindow& w : vellox::ListTopLevelWindows()) {
            if (w.title == "Vellox") id = w.id;
        }
        if (id == 0) std::this_thread::sleep_for(100ms);
    }
    if (id == 0) {
        std::fprintf(stderr, "screenshot: no Vellox window appeared\n");
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms));  // first paint

    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(id);
    if (shot.isNull() || !shot.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "screenshot: cannot grab or write the picture\n");
        return 1;
    }
    std::printf("screenshot: %s (%dx%d)\n", argv[1], shot.width(), shot.height());
    return 0;
}
