#include "hid/PumpedHidDispatcher.h"

std::size_t PumpedHidDispatcher::run_next(std::chrono::milliseconds timeout) {
    if (!wait_for_work(timeout)) return 0;
    return run_pending();
}
