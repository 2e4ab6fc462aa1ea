#pragma once
// The reading thread of one checked-out record: one outstanding read, a wait of at most the
// record's ThreadSleepTime, and each report or read-start error handed to the
// user-interface thread through the dispatcher, waiting until the handler has run.

#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <thread>
#include <vector>

#include "hid/HidPlatform.h"

class HidDispatcher;
class THidDevice;

class THidDeviceReadThread {
  public:
    // Starts reading at once; `input_length` is the record's InputReportByteLength.
    THidDeviceReadThread(THidDevice& device, HidDispatcher& dispatcher,
                         std::unique_ptr<HidWaker> waker, std::uint32_t input_length);
    // Stops the thread (see Stop).
    ~THidDeviceReadThread();
    THidDeviceReadThread(const THidDeviceReadThread&) = delete;
    THidDeviceReadThread& operator=(const THidDeviceReadThread&) = delete;

    // User-interface thread: sets the terminate flag and waits for the thread to end, running
    // the calls it queued meanwhile.
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

  private:
    void Execute();
    bool Deliver(bool report);

    THidDevice& Device_;
    HidDispatcher& Dispatcher_;
    std::unique_ptr<HidWaker> Waker_;
    std::vector<std::uint8_t> Buffer_;
    std::atomic<std::uint32_t> ReadError_{0};
    std::atomic<std::uint32_t> BytesRead_{0};
    std::atomic<bool> Terminated_{false};
    std::atomic<bool> Finished_{false};
    std::exception_ptr FatalException_;
    std::thread Thread_;
};
