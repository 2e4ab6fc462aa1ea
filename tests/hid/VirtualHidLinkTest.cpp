// The virtual backend's model of the link and of the host's input queue per open handle.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <vector>

#include "sim/VirtualHidPlatform.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// Records when each output report reached the device.
class PacedModel : public sim::DeviceModel {
  public:
    explicit PacedModel(sim::Clock::duration interval) : interval_(interval) {}
    bool on_output_report(std::span<const std::uint8_t>, sim::Clock::time_point now,
                          sim::InputSink&) override {
        std::lock_guard<std::mutex> lock(mutex);
        arrivals.push_back(now);
        return true;
    }
    sim::Clock::duration link_interval() const override { return interval_; }

    std::mutex mutex;
    std::vector<sim::Clock::time_point> arrivals;

  private:
    sim::Clock::duration interval_;
};

class VirtualLinkTest : public ::testing::Test {
  protected:
    sim::VirtualHidPlatform platform;
    std::unique_ptr<HidWaker> waker = platform.make_waker();

    // Reads up to `most` reports, waiting at most `wait` for each.
    std::vector<Bytes> read_all(HidHandle& handle, std::chrono::milliseconds wait = 0ms,
                                std::size_t most = 1000) {
        std::vector<Bytes> got;
        Bytes buffer(4096);
        while (got.size() < most) {
            if (!handle.start_read(buffer)) break;
            if (handle.wait_read(wait, *waker) != HidWaitResult::Completed) {
                handle.cancel_read();
                break;
            }
            std::uint32_t n = 0;
            if (!handle.read_result(n)) break;
            got.emplace_back(buffer.begin(), buffer.begin() + n);
        }
        return got;
    }
};

TEST_F(VirtualLinkTest, OpenHandleQueues63ReportsAndDropsNewerOnes) {
    auto device = platform.plug({});
    auto handle = platform.open(device->path(), HidOpenMode::Read);
    ASSERT_TRUE(handle);
    for (int i = 0; i < 70; ++i) device->send_input(Bytes(64, static_cast<std::uint8_t>(i)));
    EXPECT_EQ(device->unread_reports(), 63u);
    const auto got = read_all(*handle);
    ASSERT_EQ(got.size(), 63u);
    EXPECT_EQ(got.back()[1], 62);
    EXPECT_EQ(device->dropped_reports(), 7u);
}

TEST_F(VirtualLinkTest, ReportsNotYetDueTakeNoPlaceInTheHostQueue) {
    auto device = platform.plug({});
    auto handle = platform.open(device->path(), HidOpenMode::Read);
    ASSERT_TRUE(handle);
    const auto later = sim::Clock::now() + 1h;
    for (int i = 0; i < 63; ++i) device->send_input(Bytes(64, 1));
    for (int i = 0; i < 20; ++i) device->send_input(Bytes(64, 2), later);
    EXPECT_EQ(device->unread_reports(), 63u);
    EXPECT_EQ(device->dropped_reports(), 0u);
    EXPECT_EQ(read_all(*handle).size(), 63u);
    EXPECT_EQ(read_all(*handle, 20ms).size(), 0u);  // still inside the device
}

TEST_F(VirtualLinkTest, ReportReachesAReaderThatOpenedBeforeItWasDue) {
    auto device = platform.plug({});
    device->send_input(Bytes(64, 7), sim::Clock::now() + 200ms);
    auto handle = platform.open(device->path(), HidOpenMode::Read);
    ASSERT_TRUE(handle);
    const auto got = read_all(*handle, 10000ms, 1);
    ASSERT_EQ(got.size(), 1u);
    Bytes expected(65, 7);
    expected[0] = 0;  // no numbered reports: a 0 report ID comes first
    EXPECT_EQ(got[0], expected);
}

TEST_F(VirtualLinkTest, ReportsDueBeforeAnOpenAreNotTheNewHandles) {
    auto device = platform.plug({});
    device->send_input(Bytes(64, 7));
    auto handle = platform.open(device->path(), HidOpenMode::Read);
    ASSERT_TRUE(handle);
    EXPECT_TRUE(read_all(*handle).empty());
}

TEST_F(VirtualLinkTest, WritesTakeTheLinkForOneIntervalEach) {
    constexpr auto interval = 4ms;
    auto model = std::make_shared<PacedModel>(interval);
    auto device = platform.plug({}, model);
    auto handle = platform.open(device->path(), HidOpenMode::ReadWrite);
    ASSERT_TRUE(handle);
    const Bytes report(65, 0);
    const auto begin = sim::Clock::now();
    for (int i = 0; i < 11; ++i) {
        std::uint32_t written = 0;
        ASSERT_TRUE(handle->write(report, written));
    }
    // The eleventh write waited for the ten transfers before it.
    EXPECT_GE(sim::Clock::now() - begin, 10 * interval);
    std::lock_guard<std::mutex> lock(model->mutex);
    ASSERT_EQ(model->arrivals.size(), 11u);
    EXPECT_GE(model->arrivals[0] - begin, interval);
    for (std::size_t i = 1; i < model->arrivals.size(); ++i) {
        EXPECT_GE(model->arrivals[i] - model->arrivals[i - 1], interval);
    }
}

}  // namespace
