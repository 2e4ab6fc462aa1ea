#pragma once
// The station's stop requests on Windows: the console's Ctrl+C and Ctrl+Break, counted like
// SIGINT on Linux, and its closing (the window closed, a logoff, a shutdown), which gives the
// process about 5 s: counted as the operator's stop-now (with no grace for the workers, see
// ending()), and the system's thread that carries it is held until the station has logged
// what it could and ended. One at a time per process.

#include <windows.h>

#include "cli/station/windows/WinHandle.h"

namespace vellox::cli {

class ConsoleControlWatch {
  public:
    ConsoleControlWatch();
    // Lets a held closing event go: the station is done with its log.
    ~ConsoleControlWatch();
    ConsoleControlWatch(const ConsoleControlWatch&) = delete;
    ConsoleControlWatch& operator=(const ConsoleControlWatch&) = delete;

    // Signalled while requests are waiting to be taken.
    HANDLE event() const { return requested_.get(); }
    // How many requests came since the last call; a closing console counts as three.
    int take();
    // The console is closing: the system ends the process in a few seconds.
    bool ending() const;

    // What the system's handler does with `event` (a CTRL_*_EVENT); the tests drive it
    // directly where wine cannot deliver the console's own. True: handled.
    static BOOL handle(DWORD event);

  private:
    WinHandle requested_;
};

}  // namespace vellox::cli
