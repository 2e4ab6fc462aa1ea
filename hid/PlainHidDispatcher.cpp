#include "hid/PlainHidDispatcher.h"

bool PlainHidDispatcher::wait_for_work(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex());
    return cond().wait_for(lock, timeout, [&] { return has_pending_locked(); });
}

std::size_t PlainHidDispatcher::run_next(std::chrono::milliseconds timeout) {
    if (!wait_for_work(timeout)) return 0;
    return run_pending();
}
