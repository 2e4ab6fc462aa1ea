#pragma once
// The handoff for programs without an event loop (tests, the command line): the owner calls
// run_pending() whenever it pumps messages, and may block in wait_for_work().

#include <chrono>

#include "hid/HidDispatcher.h"

class PlainHidDispatcher : public HidDispatcher {
  public:
    // Blocks until a call is queued or `timeout` passes; true when a call is waiting.
    bool wait_for_work(std::chrono::milliseconds timeout);
    // Waits for work as above, then runs it; returns how many calls ran.
    std::size_t run_next(std::chrono::milliseconds timeout);
};
