// The download and the device lock: held from the first report to the closing query's reply,
// and a download of another program on the device stops this one before it sends anything.
#include <gtest/gtest.h>

#include "DownloadRig.h"

namespace vellox {
namespace {

using testkit::DownloadRig;
using testkit::make_image;

std::unique_ptr<HidDeviceLock> take(DownloadRig& r, HidLockMode mode, HidLockResult& result) {
    return r.rig.platform.try_lock(r.device->path, mode, result);
}

HidLockResult probe(DownloadRig& r, HidLockMode mode) {
    HidLockResult result = HidLockResult::Failed;
    take(r, mode, result);
    return result;
}

TEST(DownloadLock, AnotherProgramsDownloadStopsItBeforeAnythingIsSent) {
    DownloadRig r;
    r.pick(make_image(4096));
    HidLockResult result;
    auto other = take(r, HidLockMode::Exclusive, result);
    ASSERT_EQ(result, HidLockResult::Acquired);
    const auto writes_before = r.writes().size();

    r.download();
    EXPECT_EQ(r.host.message_boxes, std::vector<std::string>{std::string(DeviceBusyText)});
    EXPECT_EQ(r.writes().size(), writes_before);
    EXPECT_EQ(r.firmware->erase_count(), 0u);
    EXPECT_TRUE(r.rig.host.error_boxes.empty());
    EXPECT_FALSE(r.download_engine.Busy);

    other.reset();
    r.download();
    EXPECT_EQ(r.rig.host.status, "Download OK!");
}

TEST(DownloadLock, HeldFromTheFirstReportToTheClosingQuerysReply) {
    DownloadRig r;
    r.pick(make_image(32 * 1024));
    const auto writes_before = r.writes().size();
    long probes = 0;
    long free_while_writing = 0;
    r.rig.host.pump = [&] {
        ++probes;
        if (r.writes().size() > writes_before &&
            probe(r, HidLockMode::Shared) == HidLockResult::Acquired) {
            ++free_while_writing;
        }
        r.rig.pump();
    };
    r.download();
    r.rig.host.pump = [&] { r.rig.pump(); };
    ASSERT_EQ(r.rig.host.status, "Download OK!");
    EXPECT_GT(probes, 100);
    EXPECT_EQ(free_while_writing, 0);

    // The closing query is out, its reply not handled yet.
    EXPECT_EQ(probe(r, HidLockMode::Shared), HidLockResult::HeldExclusive);
    r.rig.settle();
    EXPECT_EQ(probe(r, HidLockMode::Exclusive), HidLockResult::Acquired);
}

TEST(DownloadLock, AFailedDownloadLetsGoAtItsEnd) {
    sim::EmulatedDeviceSettings settings;
    settings.faults.wrong_verify_sum = true;
    DownloadRig r(settings);
    r.pick(make_image(4096));
    r.download();
    ASSERT_EQ(r.rig.host.status, "Verify error");
    EXPECT_EQ(probe(r, HidLockMode::Exclusive), HidLockResult::Acquired);
}

TEST(DownloadLock, WaitsForQueriesElsewhereToEndButNotForEver) {
    DownloadRig r;
    r.pick(make_image(4096));
    HidLockResult result;
    auto query = take(r, HidLockMode::Shared, result);
    int pumps = 0;
    r.rig.host.pump = [&] {
        if (++pumps == 20) query.reset();
        r.rig.pump();
    };
    r.download();
    EXPECT_EQ(r.rig.host.status, "Download OK!");
    EXPECT_TRUE(r.host.message_boxes.empty());
    r.rig.settle();

    // A query that never ends: the download gives up after its wait, having sent nothing.
    query = take(r, HidLockMode::Shared, result);
    ASSERT_EQ(result, HidLockResult::Acquired);
    const auto writes_before = r.writes().size();
    const long ticks_before = r.rig.ticks;
    r.download();
    EXPECT_EQ(r.host.message_boxes, std::vector<std::string>{std::string(DeviceBusyText)});
    EXPECT_EQ(r.writes().size(), writes_before);
    EXPECT_EQ(r.rig.ticks - ticks_before, QueryLockWaitTicks);
}

}  // namespace
}  // namespace vellox
