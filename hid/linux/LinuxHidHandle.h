#pragma once
// One open hidraw node. Reads go through poll() with the wait bound; a device without
// numbered reports gets a 0 report-ID byte put in front of every report, so that every read
// looks the same to the layer above.

#include <functional>
#include <optional>
#include <string>

#include "hid/HidPlatform.h"
#include "hid/UniqueFd.h"

class LinuxHidWaker : public HidWaker {
  public:
    LinuxHidWaker();
    void wake() override;
    int fd() const { return fd_.get(); }
    void drain();

  private:
    UniqueFd fd_;
};

class LinuxHidHandle : public HidHandle {
  public:
    // `sys_root` and `name` ("hidraw3") locate the interface in sysfs. `on_hang_up` is called
    // (on the reading thread) once when the node reports that its device is gone.
    LinuxHidHandle(UniqueFd fd, std::string sys_root, std::string name,
                   std::function<void()> on_hang_up = {});

    bool get_attributes(HidAttributes& attributes) override;
    std::optional<HidPreparsedData> get_preparsed_data() override;
    bool write(std::span<const std::uint8_t> report, std::uint32_t& written) override;
    bool start_read(std::span<std::uint8_t> buffer) override;
    HidWaitResult wait_read(std::chrono::milliseconds timeout, HidWaker& waker) override;
    bool read_result(std::uint32_t& bytes) override;
    bool cancel_read() override;
    // hidraw keeps 64 slots per open file and counts one free slot as full.
    std::uint32_t input_queue_capacity() const override { return 63; }

  private:
    void read_now();
    void hang_up();

    UniqueFd fd_;
    std::string sys_root_;
    std::string name_;
    std::function<void()> on_hang_up_;
    std::optional<bool> numbered_;
    bool hung_up_ = false;
    std::span<std::uint8_t> buffer_;
    bool pending_ = false;
    bool result_ok_ = false;
    std::uint32_t bytes_ = 0;
};
