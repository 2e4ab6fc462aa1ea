#pragma once
// One open HID interface on Windows. The reading handle has one outstanding overlapped read;
// its completion event and the waker's event are waited on together, so a stop or a close
// cuts the wait short. Reads always start with the report ID, as the HID class driver
// delivers them. Every handle is opened overlapped, so that a write can be bounded
// (WriteBoundMs) and cancelled.

#include <windows.h>

#include <optional>

#include "hid/HidPlatform.h"

class WinHidLibrary;

class WindowsHidWaker : public HidWaker {
  public:
    WindowsHidWaker();
    ~WindowsHidWaker() override;
    void wake() override;
    HANDLE event() const { return event_; }

  private:
    HANDLE event_;
};

class WindowsHidHandle : public HidHandle {
  public:
    // Takes ownership of `handle`, whose input buffer holds `input_buffers` reports. `library`
    // outlives the handle (the platform owns both).
    WindowsHidHandle(const WinHidLibrary& library, HANDLE handle, std::uint32_t input_buffers);
    ~WindowsHidHandle() override;
    WindowsHidHandle(const WindowsHidHandle&) = delete;
    WindowsHidHandle& operator=(const WindowsHidHandle&) = delete;

    bool get_attributes(HidAttributes& attributes) override;
    std::optional<HidPreparsedData> get_preparsed_data() override;
    bool write(std::span<const std::uint8_t> report, std::uint32_t& written) override;
    bool start_read(std::span<std::uint8_t> buffer) override;
    HidWaitResult wait_read(std::chrono::milliseconds timeout, HidWaker& waker) override;
    bool read_result(std::uint32_t& bytes) override;
    bool cancel_read() override;
    std::uint32_t input_queue_capacity() const override { return input_buffers_; }

  private:
    void complete();
    void fail(DWORD error);

    // How long a write may wait for the device to take the report: an echo takes a few
    // milliseconds, a device that stopped taking output never does.
    static constexpr DWORD WriteBoundMs = 5000;

    const WinHidLibrary& library_;
    HANDLE handle_;
    std::uint32_t input_buffers_;
    OVERLAPPED overlapped_{};
    HANDLE write_event_ = nullptr;
    std::optional<std::uint32_t> input_length_;
    bool pending_ = false;
    bool result_ok_ = false;
    bool gone_ = false;  // the device went away: nothing more will come from this handle
    std::uint32_t bytes_ = 0;
};

// Errors that mean the interface is gone rather than one read failing.
bool is_device_gone_error(DWORD error);
