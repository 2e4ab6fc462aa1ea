#pragma once
// Watches the platform's device-change descriptor from the window's event loop and rescans
// the controller when HID interfaces may have come or gone. Nothing is watched when the
// platform's HID service is unavailable.

#include <QObject>
#include <memory>

class QSocketNotifier;
class THidDeviceController;

class QtHidDeviceWatcher : public QObject {
  public:
    explicit QtHidDeviceWatcher(THidDeviceController& controller, QObject* parent = nullptr);
    ~QtHidDeviceWatcher() override;

    bool watching() const { return notifier_ != nullptr; }

  private:
    void changed();

    THidDeviceController& controller_;
    std::unique_ptr<QSocketNotifier> notifier_;
};
