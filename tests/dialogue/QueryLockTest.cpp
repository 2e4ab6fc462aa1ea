// The information query and the device lock: it holds the lock shared while it waits for its
// reply, and stays back, keeping the grid, while another program's download holds it.
#include <gtest/gtest.h>

#include "kit/DialogueRig.h"
#include "sim/EmulatedFirmware.h"

namespace vellox {
namespace {

using testkit::DialogueRig;

class QueryLock : public ::testing::Test {
  protected:
    void start(sim::EmulatedDeviceSettings settings = {}) {
        rig.dialogue->FormActivate();
        dev = rig.plug({}, std::make_shared<sim::EmulatedFirmware>(settings));
        rig.run_ticks(QueryDelayTicks);
        rig.settle();
    }
    std::unique_ptr<HidDeviceLock> take(HidLockMode mode, HidLockResult& result) {
        return rig.platform.try_lock(dev->path, mode, result);
    }
    HidLockResult probe(HidLockMode mode) {
        HidLockResult result = HidLockResult::Failed;
        take(mode, result);
        return result;
    }
    std::size_t queries() const {
        return static_cast<std::size_t>(
            std::count_if(dev->writes.begin(), dev->writes.end(),
                          [](const auto& w) { return w[1] == CMD_INFO; }));
    }

    DialogueRig rig;
    std::shared_ptr<testkit::FakeHidDevice> dev;
};

TEST_F(QueryLock, KeptBackByADownloadElsewhereItKeepsTheGridAndAsksAgainOnceFree) {
    start();
    ASSERT_EQ(queries(), 1u);
    ASSERT_TRUE(rig.host.grid.visible);
    const InfoGrid grid = rig.host.grid;

    HidLockResult result;
    auto download = take(HidLockMode::Exclusive, result);
    ASSERT_EQ(result, HidLockResult::Acquired);
    rig.dialogue->VerifyClick();
    rig.run_ticks(5 * BusyRetryTicks);
    EXPECT_EQ(queries(), 1u);
    EXPECT_EQ(rig.host.grid, grid);
    EXPECT_EQ(rig.host.status, DeviceBusyText);
    EXPECT_TRUE(rig.dialogue->DeviceBusy);

    download.reset();
    rig.run_ticks(BusyRetryTicks);
    EXPECT_EQ(queries(), 2u);
    EXPECT_EQ(rig.host.status, "");
    EXPECT_FALSE(rig.dialogue->DeviceBusy);
    rig.settle();
    EXPECT_TRUE(rig.host.grid.visible);
    EXPECT_EQ(rig.host.grid.rows.size(), 6u);
    // Answered: no more attempts.
    rig.run_ticks(5 * BusyRetryTicks);
    EXPECT_EQ(queries(), 2u);
}

TEST_F(QueryLock, HeldSharedUntilTheReplyIsHandled) {
    start();
    rig.dialogue->VerifyClick();
    EXPECT_EQ(probe(HidLockMode::Exclusive), HidLockResult::HeldShared);
    EXPECT_EQ(probe(HidLockMode::Shared), HidLockResult::Acquired);
    rig.settle();
    EXPECT_TRUE(rig.dialogue->ReplyFlag);
    EXPECT_EQ(probe(HidLockMode::Exclusive), HidLockResult::Acquired);
}

TEST_F(QueryLock, HeldSharedUntilAnUnansweredQueryTimesOut) {
    sim::EmulatedDeviceSettings silent;
    silent.faults.silence = true;
    start(silent);
    rig.dialogue->VerifyClick();
    rig.run_ticks(9);
    EXPECT_EQ(probe(HidLockMode::Exclusive), HidLockResult::HeldShared);
    rig.run_ticks(1);
    EXPECT_EQ(rig.dialogue->StatusCode, DialogueStatus::TimedOut);
    EXPECT_EQ(probe(HidLockMode::Exclusive), HidLockResult::Acquired);
}

}  // namespace
}  // namespace vellox
