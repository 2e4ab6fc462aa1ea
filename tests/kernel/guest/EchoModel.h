#pragma once
// A minimal device model for checking the link itself: it answers every output report with
// the same 64 bytes, keeps what it received as its "flash", and knows two link commands
// (0xB0 n: send n numbered reports at once; 0xDD: drop off the bus).

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <vector>

#include "sim/DeviceModel.h"

namespace guest {

class EchoModel final : public sim::DeviceModel {
  public:
    static constexpr std::uint8_t cmd_burst = 0xB0;
    static constexpr std::uint8_t cmd_unplug = 0xDD;

    explicit EchoModel(std::chrono::microseconds delay = std::chrono::microseconds(0))
        : delay_(delay) {}

    bool on_output_report(std::span<const std::uint8_t> data, sim::Clock::time_point now,
                          sim::InputSink& link) override {
        if (!data.empty() && data[0] == cmd_unplug) {
            link.unplug();
            return true;
        }
        if (data.size() >= 2 && data[0] == cmd_burst) {
            for (unsigned i = 0; i < data[1]; ++i) {
                std::array<std::uint8_t, 64> r{};
                r[0] = cmd_burst;
                r[1] = static_cast<std::uint8_t>(i);
                link.send_input(r, now);
            }
            return true;
        }
        received_.insert(received_.end(), data.begin(), data.end());
        link.send_input(data, now + delay_);
        return true;
    }

    const std::vector<std::uint8_t>& received() const { return received_; }

  private:
    std::chrono::microseconds delay_;
    std::vector<std::uint8_t> received_;
};

}  // namespace guest
