#pragma once
// Hotplug for the Linux backend, as one file descriptor the window's event loop can watch:
// uevents of subsystem hidraw (from udev when a udev daemon runs, so that permissions are set
// by then; from the kernel otherwise), plus a short series of retries when an interface's
// node existed but could not be opened (udev still setting its permissions).

#include <atomic>
#include <chrono>
#include <span>

#include "hid/UniqueFd.h"

class LinuxHotplugMonitor {
  public:
    enum class Source { Automatic, Udev, Kernel, None };

    explicit LinuxHotplugMonitor(
        Source source = Source::Automatic,
        std::chrono::milliseconds retry_interval = std::chrono::milliseconds(200), int retries = 5);

    // Readable when take() has something; -1 if nothing could be set up.
    int fd() const { return epoll_.valid() ? epoll_.get() : -1; }
    // Drains what is pending; true when a rescan is due.
    bool take();
    // An interface could not be opened yet: have take() ask for another rescan shortly,
    // at most `retries` times since the last uevent. Any thread.
    void arm_retry();
    // A reader saw its device hang up, maybe before any uevent (or with none coming at all,
    // as in a container): have take() ask for a rescan at once. Any thread.
    void request_rescan();
    bool listening() const { return uevents_.valid(); }
    int retries_left() const { return retries_left_.load(); }

    // Whether a uevent datagram (kernel or udev format) concerns subsystem hidraw.
    static bool is_hidraw_event(std::span<const char> message);

  private:
    UniqueFd epoll_;
    UniqueFd uevents_;
    UniqueFd timer_;
    UniqueFd requests_;
    std::chrono::milliseconds retry_interval_;
    int retries_;
    std::atomic<int> retries_left_;
    std::atomic<bool> timer_armed_{false};
};
