#pragma once
// Records what an emulated device sends, for the tests to look at.

#include <cstdint>
#include <span>
#include <vector>

#include "sim/DeviceModel.h"

namespace sim::test {

struct SentReport {
    std::vector<std::uint8_t> data;
    Clock::time_point due;
};

class RecordingSink : public InputSink {
  public:
    void send_input(std::span<const std::uint8_t> data, Clock::time_point due) override {
        sent.push_back({{data.begin(), data.end()}, due});
    }
    void unplug() override { ++unplugs; }

    std::vector<SentReport> sent;
    int unplugs = 0;
};

}  // namespace sim::test
