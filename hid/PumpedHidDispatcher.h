#pragma once
// The handoff for programs without an event loop (tests, the command line): the owner calls
// run_pending() whenever it pumps messages, and may block in wait_for_work().

#include <chrono>

#include "hid/HidDispatcher.h"

class PumpedHidDispatcher : public HidDispatcher {
  public:
    // Waits for work (wait_for_work), then runs it; returns how many calls ran.
    std::size_t run_next(std::chrono::milliseconds timeout);
};
