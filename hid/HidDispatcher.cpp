#include "hid/HidDispatcher.h"

#include "hid/HidPlatform.h"

HidDispatcher::HidDispatcher() : ui_thread_(std::this_thread::get_id()) {}

HidDispatcher::~HidDispatcher() = default;

void HidDispatcher::enqueue(Handoff& handoff, const std::function<void()>& call, HidWaker* waker) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        handoff.call_ = &call;
        handoff.waker_ = waker;
        handoff.done_ = false;
        handoff.error_ = nullptr;
        queue_.push_back(&handoff);
    }
    cond_.notify_all();
    wake();
}

std::exception_ptr HidDispatcher::synchronize(const std::function<void()>& call) {
    if (is_ui_thread()) {
        try {
            call();
        } catch (...) {
            return std::current_exception();
        }
        return nullptr;
    }
    Handoff handoff;
    enqueue(handoff, call, nullptr);
    return wait(handoff);
}

void HidDispatcher::post(Handoff& handoff, const std::function<void()>& call, HidWaker* waker) {
    enqueue(handoff, call, waker);
}

bool HidDispatcher::done(Handoff& handoff) {
    std::lock_guard<std::mutex> lock(mutex_);
    return handoff.done_;
}

std::exception_ptr HidDispatcher::wait(Handoff& handoff) {
    std::unique_lock<std::mutex> lock(mutex_);
    cond_.wait(lock, [&] { return handoff.done_; });
    return handoff.error_;
}

std::size_t HidDispatcher::run_pending() {
    std::size_t count = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!queue_.empty()) {
        Handoff* handoff = queue_.front();
        queue_.pop_front();
        const std::function<void()>* call = handoff->call_;
        lock.unlock();
        std::exception_ptr error;
        try {
            (*call)();
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        // Once done is set the posting thread may go on and reuse or drop the handoff; the
        // waker stays: reading threads are only destroyed on this thread.
        HidWaker* waker = handoff->waker_;
        handoff->error_ = error;
        handoff->done_ = true;
        cond_.notify_all();
        ++count;
        if (waker != nullptr) {
            lock.unlock();
            waker->wake();
            lock.lock();
        }
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

bool HidDispatcher::wait_for_work(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cond_.wait_for(lock, timeout, [&] { return !queue_.empty(); });
}
