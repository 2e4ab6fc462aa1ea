#pragma once
// The handoff from reading threads to the user-interface thread. A reading thread never runs
// a handler itself: synchronize() queues the call and blocks until the user-interface thread
// has run it. The user-interface thread runs queued calls from its event loop (run_pending)
// and while it waits for a reading thread to end (run_until), so stopping a reader that is
// blocked in a delivery never deadlocks.
//
// The thread that constructs the dispatcher is its user-interface thread. Adapters override
// wake() to get their event loop to call run_pending(): PlainHidDispatcher for tests and the
// command line, QtHidDispatcher for the window.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

class HidDispatcher {
  public:
    HidDispatcher();
    virtual ~HidDispatcher();
    HidDispatcher(const HidDispatcher&) = delete;
    HidDispatcher& operator=(const HidDispatcher&) = delete;

    // Any thread: runs `call` on the user-interface thread and returns once it has run, with
    // whatever it threw. Called on the user-interface thread itself, it runs `call` at once.
    std::exception_ptr synchronize(const std::function<void()>& call);

    // User-interface thread: runs every queued call, in queue order; returns how many ran.
    std::size_t run_pending();

    // User-interface thread: runs queued calls until `done()` holds. `done` is tested under
    // the dispatcher's lock, so whoever makes it true must call notify() afterwards.
    void run_until(const std::function<bool()>& done);

    // Any thread: makes run_until() test its condition again.
    void notify();

    bool is_ui_thread() const { return std::this_thread::get_id() == ui_thread_; }

  protected:
    // A call was queued (called on the queueing thread, without the lock held).
    virtual void wake() {}

    // For adapters that wait for work themselves.
    bool has_pending_locked() const { return !queue_.empty(); }
    std::mutex& mutex() { return mutex_; }
    std::condition_variable& cond() { return cond_; }

  private:
    struct Pending {
        const std::function<void()>* call;
        bool done = false;
        std::exception_ptr error;
    };

    std::thread::id ui_thread_;
    std::mutex mutex_;
    std::condition_variable cond_;
    std::deque<Pending*> queue_;
};
