#include "ui/QtHidDeviceWatcher.h"

#include <QSocketNotifier>

#include "hid/THidDeviceController.h"

QtHidDeviceWatcher::QtHidDeviceWatcher(THidDeviceController& controller, QObject* parent)
    : QObject(parent), controller_(controller) {
    HidPlatform& platform = controller_.Platform();
    const int fd = platform.device_change_fd();
    if (!platform.available() || fd < 0) return;
    notifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { changed(); });
}

QtHidDeviceWatcher::~QtHidDeviceWatcher() = default;

void QtHidDeviceWatcher::changed() {
    // Draining first keeps the notifier from firing again for the same event; spurious
    // notifications only cost a rescan that finds nothing new.
    if (controller_.Platform().take_device_change()) controller_.DeviceChange();
}
