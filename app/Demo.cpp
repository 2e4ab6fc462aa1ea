// vellox-demo: the window on the virtual backend, with one emulated device that is plugged in
// shortly after start, so that the whole program can be seen and tried without the hardware.
// Its command line: see DemoSetup.h.

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "app/DemoSetup.h"
#include "sim/EmulatedFirmware.h"
#include "sim/EmulatedDeviceSettings.h"
#include "sim/VirtualHidPlatform.h"
#include "ui/qt/TMainForm.h"

namespace {

// The window with a file dialog that can be answered once from the command line.
class DemoForm : public vellox::TMainForm {
  public:
    using TMainForm::TMainForm;
    QString autoFile;

  protected:
    std::optional<QString> ExecuteOpenFlashfile() override {
        if (autoFile.isEmpty()) return TMainForm::ExecuteOpenFlashfile();
        return std::exchange(autoFile, QString());
    }
};

}  // namespace

int main(int argc, char** argv) {
    const vellox::demo::ParsedDemoOptions parsed = vellox::demo::parse_demo_options(argc, argv);
    if (!parsed) {
        std::fputs(parsed.error.c_str(), stderr);
        return 2;
    }
    const vellox::demo::DemoOptions& options = parsed.options;
    const sim::EmulatedDeviceSettings& settings = options.device;

    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vellox-demo"));

    auto platform = std::make_shared<sim::VirtualHidPlatform>();
    auto firmware = std::make_shared<sim::EmulatedFirmware>(settings);
    DemoForm form{vellox::TMainFormOptions{.startTimers = true, .platform = platform}};
    QApplication::setWindowIcon(form.windowIcon());

    // The sample image the build made lies beside the demo's build tree.
    const QString sample = QStringLiteral(VELLOX_SAMPLE_IMAGE_PATH);
    if (QFileInfo::exists(sample)) form.OpenFlashfile.InitialDir = QFileInfo(sample).absolutePath();

    QTimer::singleShot(options.plugAfterMs, &form, [platform, firmware] {
        sim::VirtualDeviceSetup setup;
        setup.product_name = "Vellox emulated device";
        setup.exclusive = firmware->settings().faults.query_only;
        setup.locked_elsewhere = firmware->settings().faults.locked_elsewhere;
        platform->plug(setup, firmware);
    });

    if (!options.download.empty()) {
        // Press Download once the information grid is up.
        auto* poll = new QTimer(&form);
        poll->setInterval(50);
        QObject::connect(poll, &QTimer::timeout, &form, [&form, poll, &options] {
            if (form.Dialogue().FlashSize == 0) return;
            poll->stop();
            form.autoFile = QString::fromStdString(options.download);
            QTimer::singleShot(options.downloadAfterMs, &form, [&form] { form.Write_car.click(); });
        });
        poll->start();
    }

    form.show();
    application.exec();
    return 0;
}
