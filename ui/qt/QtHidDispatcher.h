#pragma once
// The handoff from reading threads to the window's thread: each queued delivery posts one
// call into the Qt event loop of the thread that created the dispatcher, which runs every
// pending delivery. Create it on the window's thread, before the controller, and destroy it
// after every device record.

#include <QObject>
#include <chrono>
#include <cstddef>

#include "hid/HidDispatcher.h"

class QtHidDispatcher : public QObject, public HidDispatcher {
  public:
    explicit QtHidDispatcher(QObject* parent = nullptr);

    // Deliveries run from the event loop so far.
    std::size_t delivered() const { return delivered_; }

  protected:
    void wake() override;

  private:
    std::size_t delivered_ = 0;
};
