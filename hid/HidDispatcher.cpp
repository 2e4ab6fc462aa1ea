#include "hid/HidDispatcher.h"

HidDispatcher::HidDispatcher() : ui_thread_(std::this_thread::get_id()) {}

HidDispatcher::~HidDispatcher() = default;

std::exception_ptr HidDispatcher::synchronize(const std::function<void()>& call) {
    if (is_ui_thread()) {
        try {
            call();
        } catch (...) {
            return std::current_exception();
        }
        return nullptr;
    }
    Pending pending{&call, false, nullptr};
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(&pending);
    }
    cond_.notify_all();
    wake();
    std::unique_lock<std::mutex> lock(mutex_);
    cond_.wait(lock, [&] { return pending.done; });
    return pending.error;
}

std::size_t HidDispatcher::run_pending() {
    std::size_t count = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!queue_.empty()) {
        Pending* pending = queue_.front();
        queue_.pop_front();
        lock.unlock();
        std::exception_ptr error;
        try {
            (*pending->call)();
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        // Once done is set the waiting thread may return and the record goes away.
        pending->error = error;
        pending->done = true;
        cond_.notify_all();
        ++count;
    }
    return count;
}

void HidDispatcher::run_until(const std::function<bool()>& done) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (!queue_.empty()) {
            lock.unlock();
            run_pending();
            lock.lock();
            continue;
        }
        if (done()) return;
        cond_.wait(lock);
    }
}

void HidDispatcher::notify() {
    { std::lock_guard<std::mutex> lock(mutex_); }
    cond_.notify_all();
}
