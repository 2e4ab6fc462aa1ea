#include "ui/qt/QtHidDeviceWatcher.h"

#include <QSocketNotifier>

#include "hid/THidDeviceController.h"

QtHidDeviceWatcher::QtHidDeviceWatcher(THidDeviceController& controller, QObject* parent)
    : QObject(parent), controller_(controller) {
    HidPlatform& platform = controller_.Platform();
    // A file descriptor on Linux, the only system the Qt window runs on.
    const HidWaitable fd = platform.device_change_waitable();
    if (!platform.available() || fd == NoHidWaitable) return;
    notifier_ = std::make_unique<QSocketNotifier>(static_cast<qintptr>(fd), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { changed(); });
}

QtHidDeviceWatcher::~QtHidDeviceWatcher() = default;

void QtHidDeviceWatcher::changed() {
    // Draining first keeps the notifier from firing again for the same event; spurious
    // notifications only cost a rescan that finds nothing new.
    if (controller_.Platform().take_device_change()) controller_.DeviceChange();
}
