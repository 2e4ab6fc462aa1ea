#include "hid/PlainHidDispatcher.h"

std::size_t PlainHidDispatcher::run_next(std::chrono::milliseconds timeout) {
    if (!wait_for_work(timeout)) return 0;
    return run_pending();
}
