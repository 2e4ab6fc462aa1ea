#pragma once
// The handoff from reading threads to the user-interface thread. A reading thread never runs
// a handler itself: synchronize() queues the call and blocks until the user-interface thread
// has run it. The user-interface thread runs queued calls from its event loop (run_pending)
// and while it waits for a reading thread to end (run_until), so stopping a reader that is
// blocked in a delivery never deadlocks.
//
// The thread that constructs the dispatcher is its user-interface thread. Adapters override
// wake() to get their event loop to call run_pending(): PumpedHidDispatcher for tests and the
// command line, QtHidDispatcher for the window.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

class HidWaker;

class HidDispatcher {
  public:
    // A call that a reading thread keeps in flight while it goes on reading. post() queues it
    // and returns at once; once the user-interface thread has run it, done() holds and the
    // waker given to post() is woken. The handoff must outlive its call (wait() before it
    // goes away), and only one call is in flight per handoff.
    class Handoff {
      private:
        friend class HidDispatcher;
        const std::function<void()>* call_ = nullptr;
        HidWaker* waker_ = nullptr;
        bool done_ = true;  // guarded by the dispatcher's lock
        std::exception_ptr error_;
    };

    HidDispatcher();
    virtual ~HidDispatcher();
    HidDispatcher(const HidDispatcher&) = delete;
    HidDispatcher& operator=(const HidDispatcher&) = delete;

    // Any thread: runs `call` on the user-interface thread and returns once it has run, with
    // whatever it threw. Called on the user-interface thread itself, it runs `call` at once.
    std::exception_ptr synchronize(const std::function<void()>& call);

    // Any thread but the user-interface thread: queues `call` (which must outlive it) on
    // `handoff` and returns without waiting; `waker`, if given, is woken once it has run.
    void post(Handoff& handoff, const std::function<void()>& call, HidWaker* waker);
    // Whether the call posted on `handoff` has run.
    bool done(Handoff& handoff);
    // Blocks until the call posted on `handoff` has run; returns what it threw.
    std::exception_ptr wait(Handoff& handoff);

    // User-interface thread: runs every queued call, in queue order; returns how many ran.
    std::size_t run_pending();

    // User-interface thread: runs queued calls until `done()` holds. `done` is tested under
    // the dispatcher's lock, so whoever makes it true must call notify() afterwards.
    void run_until(const std::function<bool()>& done);

    // Any thread: makes run_until() test its condition again.
    void notify();

    // Blocks until a reading thread has queued a call or `timeout` passes; true when one is
    // waiting. For hosts that drive their own clock (the command line, tests).
    bool wait_for_work(std::chrono::milliseconds timeout);

    bool is_ui_thread() const { return std::this_thread::get_id() == ui_thread_; }

  protected:
    // A call was queued (called on the queueing thread, without the lock held).
    virtual void wake() {}

  private:
    void enqueue(Handoff& handoff, const std::function<void()>& call, HidWaker* waker);

    std::thread::id ui_thread_;
    std::mutex mutex_;
    std::condition_variable cond_;
    std::deque<Handoff*> queue_;
};
