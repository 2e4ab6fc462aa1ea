#pragma once
// An open handle on a virtual device. Handles that can read own an input queue that the
// device fills.

#include <deque>
#include <memory>

#include "hid/HidPlatform.h"
#include "sim/VirtualHidDevice.h"
#include "sim/VirtualHidState.h"

namespace sim {

class VirtualHidWaker : public HidWaker {
  public:
    explicit VirtualHidWaker(std::shared_ptr<VirtualHidState> state) : state_(std::move(state)) {}
    void wake() override;
    // Guarded by the state's mutex.
    bool woken = false;

  private:
    std::shared_ptr<VirtualHidState> state_;
};

class VirtualHidHandle : public HidHandle {
  public:
    VirtualHidHandle(std::shared_ptr<VirtualHidState> state,
                     std::shared_ptr<VirtualHidDevice> device, HidOpenMode mode);
    ~VirtualHidHandle() override;

    bool get_attributes(HidAttributes& attributes) override;
    std::optional<HidPreparsedData> get_preparsed_data() override;
    bool write(std::span<const std::uint8_t> report, std::uint32_t& written) override;
    bool start_read(std::span<std::uint8_t> buffer) override;
    HidWaitResult wait_read(std::chrono::milliseconds timeout, HidWaker& waker) override;
    bool read_result(std::uint32_t& bytes) override;
    bool cancel_read() override;
    std::uint32_t input_queue_capacity() const override {
        return static_cast<std::uint32_t>(VirtualHidDevice::reader_queue_limit);
    }

  private:
    friend class VirtualHidDevice;

    std::shared_ptr<VirtualHidState> state_;
    std::shared_ptr<VirtualHidDevice> device_;
    HidOpenMode mode_;
    // Guarded by the state's mutex. Reports that have reached the host, unread.
    std::deque<VirtualHidDevice::Queued> queue_;
    std::span<std::uint8_t> buffer_;
    bool has_read_ = false;  // opened for reading, or a read was started
    bool pending_ = false;
    bool result_ok_ = false;
    std::uint32_t bytes_ = 0;
};

}  // namespace sim
