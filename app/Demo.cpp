// vellox-demo: the window on the virtual backend, with one emulated device that is plugged in
// shortly after start, so that the whole program can be seen and tried without the hardware.
//
//   vellox-demo [--plug-after=MS] [--device=SETTINGS] [--download=FILE [--download-after=MS]]
//
// SETTINGS is the emulated device's text form (as vellox-cli --simulate takes it), applied
// over the demo's device. --download presses Download by itself MS milliseconds after the
// device information has arrived and answers the file dialog with FILE (for screenshots).

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "sim/EmulatedFirmware.h"
#include "sim/FirmwareSettings.h"
#include "sim/VirtualHidPlatform.h"
#include "ui/TMainForm.h"

namespace {

struct DemoOptions {
    int plugAfterMs = 1000;
    std::string device;
    QString download;
    int downloadAfterMs = 1500;
};

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

bool ParseInt(std::string_view text, int& out) {
    try {
        std::size_t used = 0;
        out = std::stoi(std::string(text), &used);
        return used == text.size() && out >= 0;
    } catch (...) {
        return false;
    }
}

bool ParseOptions(int argc, char** argv, DemoOptions& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&](std::string_view key) -> std::optional<std::string_view> {
            if (arg.substr(0, key.size()) != key) return std::nullopt;
            return arg.substr(key.size());
        };
        if (auto v = value("--plug-after=")) {
            if (!ParseInt(*v, o.plugAfterMs)) return false;
        } else if (auto v = value("--device=")) {
            o.device = *v;
        } else if (auto v = value("--download=")) {
            o.download = QString::fromLocal8Bit(v->data(), static_cast<qsizetype>(v->size()));
        } else if (auto v = value("--download-after=")) {
            if (!ParseInt(*v, o.downloadAfterMs)) return false;
        } else {
            return false;
        }
    }
    return true;
}

// The demo's device: product "V201", 128 KiB, an erase slow enough to watch and a
// full-speed USB link.
sim::FirmwareSettings DemoDevice() {
    sim::FirmwareSettings s;
    s.product_id = "V201";
    s.capacity = 128 * 1024;
    s.hardware_version = "HW 2.0";
    s.application_version = "1.4.2";
    s.rf_version = "RF 3.1";
    s.icon_version = "IC 1.0";
    s.serial_number = "VX2016-DEMO-0001";
    s.erase_pace = std::chrono::milliseconds(150);
    s.erase_step = 10;
    s.interval = std::chrono::milliseconds(1);
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    DemoOptions options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: %s [--plug-after=MS] [--device=SETTINGS] [--download=FILE "
                     "[--download-after=MS]]\n%s",
                     argv[0], sim::settings_help().c_str());
        return 2;
    }
    sim::FirmwareSettings settings = DemoDevice();
    if (!options.device.empty()) {
        // The text form starts from its own defaults; the demo's device is what it overrides.
        const sim::ParsedSettings parsed =
            sim::parse_settings(sim::format_settings(settings) + "," + options.device);
        if (!parsed) {
            std::fprintf(stderr, "%s: %s\n", argv[0], parsed.error.c_str());
            return 2;
        }
        settings = *parsed.settings;
    }

    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vellox-demo"));

    auto platform = std::make_shared<sim::VirtualHidPlatform>();
    auto firmware = std::make_shared<sim::EmulatedFirmware>(settings);
    DemoForm form{
        vellox::TMainFormOptions{.startTimers = true, .platform = platform, .deniedNodes = {}}};
    QApplication::setWindowIcon(form.windowIcon());

    // The sample image the build made lies beside the demo's build tree.
    const QString sample = QStringLiteral(VELLOX_SAMPLE_IMAGE_PATH);
    if (QFileInfo::exists(sample)) form.OpenFlashfile.InitialDir = QFileInfo(sample).absolutePath();

    QTimer::singleShot(options.plugAfterMs, &form, [platform, firmware] {
        sim::VirtualDeviceSetup setup;
        setup.product_name = "Vellox emulated device";
        setup.exclusive = firmware->settings().faults.query_only;
        platform->plug(setup, firmware);
    });

    if (!options.download.isEmpty()) {
        // Press Download once the information grid is up.
        auto* poll = new QTimer(&form);
        poll->setInterval(50);
        QObject::connect(poll, &QTimer::timeout, &form, [&form, poll, &options] {
            if (form.Dialogue().FlashSize == 0) return;
            poll->stop();
            form.autoFile = options.download;
            QTimer::singleShot(options.downloadAfterMs, &form, [&form] { form.Write_car.click(); });
        });
        poll->start();
    }

    form.show();
    application.exec();
    return 0;
}
