#pragma once
// The reading thread of one checked-out record. It keeps a read outstanding at all times and
// moves every report it gets into a backlog of its own, so that the platform's small input
// queue (63 reports per open hidraw file) never overflows while the user-interface thread is
// busy. From the backlog it hands one report at a time to the user-interface thread, in
// order, and hands over the next only once the handler has run. A read that cannot start is
// reported after the reports before it, waiting until the handler has run.
//
// The platform's queue itself is kept from overflowing by the writers: they keep no more
// reports unanswered than it holds (see THidDevice::InputQueueCapacity), whatever the
// scheduler does with this thread.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "hid/HidDispatcher.h"
#include "hid/HidPlatform.h"

class THidDevice;

class THidDeviceReadThread {
  public:
    // Reports kept while the user-interface thread has not taken them, the one being handed
    // over included; newer ones are dropped beyond this.
    static constexpr std::size_t BacklogLimit = 4096;
    // Reads ask for this much whatever the capabilities say: a report longer than the
    // interface declares arrives whole (and is then judged by its true length) rather than cut
    // to a valid-looking one, and a device whose capabilities could not be read when reading
    // started still gets its reports through.
    static constexpr std::uint32_t ReadBufferSize = 4096;

    // Starts reading through the record's read handle, which the caller has opened, and returns
    // once the thread has posted its first read or recorded that it could not: a reply to a
    // command written next cannot come before its reader.
    THidDeviceReadThread(THidDevice& device, HidDispatcher& dispatcher,
                         std::unique_ptr<HidWaker> waker);
    // Stops the thread (see Stop).
    ~THidDeviceReadThread();
    THidDeviceReadThread(const THidDeviceReadThread&) = delete;
    THidDeviceReadThread& operator=(const THidDeviceReadThread&) = delete;

    // User-interface thread: sets the terminate flag and waits for the thread to end, running
    // the call it has handed over meanwhile. Reports still in the backlog are dropped.
    void Stop();
    // Any thread: cuts the current wait short so that the thread looks at its record again.
    void Wake();

    std::uint32_t ReadError() const { return ReadError_.load(); }
    std::uint32_t BytesRead() const { return BytesRead_.load(); }
    bool Terminated() const { return Terminated_.load(); }
    // The loop has ended (terminated, or a handler failed).
    bool Finished() const { return Finished_.load(); }
    // What a handler threw, which ended the thread (null otherwise); read it once Finished().
    std::exception_ptr FatalException() const { return FatalException_; }
    // Reports dropped because the backlog was full.
    std::uint64_t DroppedReports() const { return Dropped_.load(); }
    // Reports read from the platform so far (dropped ones included).
    std::uint64_t ReportsRead() const { return ReportsRead_.load(); }

    // Whether the thread has looked at its handle and found nothing there, with nothing left
    // to hand over (or has handed over that it cannot read), since the last TakeLook();
    // Looked() only peeks. Both wake the thread so that it looks again (TakeLook only when
    // asked to).
    bool TakeLook(bool ask_again);
    bool Looked();

  private:
    struct Item {
        bool report = true;
        std::vector<std::uint8_t> bytes;  // report ID first
        std::uint32_t error = 0;
    };

    void Execute();
    void Keep(std::uint32_t bytes);
    // Takes note of a handed-over call that has run; false when its handler threw.
    bool Settle();
    void HandOver();
    // Hands over the whole backlog, waiting for each call; false when a handler threw.
    bool Flush();
    void RunItem();

    THidDevice& Device_;
    HidDispatcher& Dispatcher_;
    std::unique_ptr<HidWaker> Waker_;
    std::vector<std::uint8_t> Buffer_;
    // Reading thread only, but for the front item, which the user-interface thread reads
    // while it is handed over (a deque keeps its elements in place as it grows).
    std::deque<Item> Backlog_;
    const Item* Current_ = nullptr;
    bool InFlight_ = false;
    HidDispatcher::Handoff Handoff_;
    std::function<void()> Call_;
    std::atomic<std::uint32_t> ReadError_{0};
    std::atomic<std::uint32_t> BytesRead_{0};
    std::atomic<bool> Terminated_{false};
    std::atomic<bool> Finished_{false};
    std::atomic<std::uint64_t> Dropped_{0};
    std::atomic<std::uint64_t> ReportsRead_{0};
    // Set by the thread once its first read is posted (or could not be); under the mutex.
    std::mutex StartMutex_;
    std::condition_variable StartedCondition_;
    bool Started_ = false;
    std::atomic<bool> Looked_{false};
    std::exception_ptr FatalException_;
    std::thread Thread_;
};
