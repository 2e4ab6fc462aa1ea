// Whole downloads through the real reading threads and handoff, on the virtual backend with
// the emulated firmware: the path the window and the command line take.
#include <gtest/gtest.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <thread>

#include "DownloadRig.h"
#include "hid/PlainHidDispatcher.h"
#include "sim/CountingModel.h"
#include "sim/VirtualHidPlatform.h"

namespace vellox {
namespace {

using namespace std::chrono_literals;

class VirtualHost : public testkit::FakeDialogueHost {};

// Bounds a hang only; nothing here waits for it to pass.
constexpr auto kHangLimit = 60s;

struct VirtualRig {
    VirtualRig(sim::FirmwareSettings settings, bool wait_when_idle)
        : wait_when_idle(wait_when_idle),
          firmware(std::make_shared<sim::EmulatedFirmware>(settings)),
          model(std::make_shared<sim::CountingModel>(firmware)),
          download(dialogue, host) {
        ui.pump = [this] { pump(); };
        device = platform.plug({}, model);
        dialogue.FormActivate();
        // The automatic query after 80 ticks, and its reply.
        const auto give_up = std::chrono::steady_clock::now() + kHangLimit;
        while (dialogue.FlashSize == 0 && dialogue.StatusCode != 3 &&
               std::chrono::steady_clock::now() < give_up) {
            pump();
        }
    }

    // Handoffs, and a tick of virtual time when there is nothing to hand over. A tick waits
    // until every reply the device has sent so far has been handled, so that no time-out can
    // run out while a reply is on its way, however slowly the threads are scheduled. The
    // window's event loop never blocks or yields here; the command line waits up to a
    // millisecond for a handoff when nothing is queued.
    void pump() {
        if (platform.take_device_change()) controller.DeviceChange();
        std::size_t ran = dispatcher.run_pending();
        if (ran == 0 && wait_when_idle) ran = dispatcher.run_next(1ms);
        delivered += static_cast<long>(ran);
        if (ran > 0) return;
        const auto now = std::chrono::steady_clock::now();
        if (model->sent() > delivered) {
            if (now - awaiting_since < kHangLimit) return;
            ADD_FAILURE() << model->sent() - delivered << " replies never handed over";
            delivered = model->sent();
        }
        awaiting_since = now;
        dialogue.Timer1Timer();
        dialogue.Timer2Timer();
        // No yield: the window's event loop does not give up its core either.
    }

    const bool wait_when_idle;
    long delivered = 0;
    std::chrono::steady_clock::time_point awaiting_since = std::chrono::steady_clock::now();

    sim::VirtualHidPlatform platform;
    PlainHidDispatcher dispatcher;
    THidDeviceController controller{platform, dispatcher};
    VirtualHost ui;
    DeviceDialogue dialogue{ui, controller};
    std::shared_ptr<sim::EmulatedFirmware> firmware;
    std::shared_ptr<sim::CountingModel> model;
    std::shared_ptr<sim::VirtualHidDevice> device;
    testkit::FakeDownloadHost host;
    FirmwareDownload download;
};

std::filesystem::path write_image(const std::vector<std::uint8_t>& image) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("vellox-virtual-" + std::to_string(::getpid()) + ".bin");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));
    return path;
}

void run_download(sim::FirmwareSettings settings, std::size_t size, bool wait_when_idle = true) {
    VirtualRig r(settings, wait_when_idle);
    ASSERT_EQ(r.dialogue.ProductId, "V201");
    const auto image = testkit::make_image(size);
    const auto path = write_image(image);
    r.host.file = path;
    r.download.WRITE_24AAClick();
    std::filesystem::remove(path);

    EXPECT_EQ(r.ui.status, "Download OK!");
    EXPECT_TRUE(r.ui.error_boxes.empty());
    EXPECT_FALSE(r.download.Busy);
    std::vector<std::uint8_t> stored;
    {
        // The firmware is driven from the UI thread only; no download runs now.
        const auto f = r.firmware->flash();
        stored.assign(f.begin(), f.begin() + static_cast<std::ptrdiff_t>(image.size()));
    }
    EXPECT_TRUE(stored == image);
    EXPECT_EQ(r.device->dropped_reports(), 0u);
}

// Fewer blocks than the 63 input reports an open handle queues: no echo can be lost whatever
// the threads' timing.
constexpr std::size_t SmallImage = 60 * 50;

TEST(VirtualDownload, NoLinkDelay) { run_download({}, SmallImage); }

TEST(VirtualDownload, HighSpeedLinkInterval) {
    sim::FirmwareSettings s;
    s.interval = 125us;
    run_download(s, SmallImage);
}

TEST(VirtualDownload, FullSpeedLinkInterval) {
    sim::FirmwareSettings s;
    s.interval = 1ms;
    s.latency = 2ms;
    run_download(s, SmallImage);
}

// Many more blocks than the handle's 63-report input queue. Without link delay the device
// answers inside the write, so a reading thread that is not scheduled for some sixty sends
// would find the kernel's queue overflowed, whatever it did once it ran; the record's writes
// therefore wait for the reader once they run far enough ahead of it. The pump never waits.
TEST(VirtualDownload, LargeImageNoLinkDelayKeepsEveryEcho) { run_download({}, 128 * 1024, false); }

// The same on one core, where the reading thread runs only when the sender lets it: without
// the writes waiting for it, every run lost the 193 echoes beyond the 63 the queue keeps.
#ifdef __linux__
TEST(VirtualDownload, LargeImageNoLinkDelayOnOneCoreKeepsEveryEcho) {
    cpu_set_t saved;
    ASSERT_EQ(sched_getaffinity(0, sizeof saved, &saved), 0);
    cpu_set_t one;
    CPU_ZERO(&one);
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (CPU_ISSET(cpu, &saved)) {
            CPU_SET(cpu, &one);
            break;
        }
    }
    // Threads take the affinity of the thread that creates them.
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    run_download({}, 128 * 1024, false);
    sched_setaffinity(0, sizeof saved, &saved);
}
#endif

// A real link paces the writes, so here the pump never waits: the sender gets ahead of the
// deliveries, and only a reader that keeps draining the queue keeps every echo.
TEST(VirtualDownload, LargeImageFullSpeedLinkKeepsEveryEcho) {
    sim::FirmwareSettings s;
    s.interval = 1ms;
    run_download(s, 128 * 1024, false);
}

// A bad report before every reply, among them one a byte too long: the reader passes it on
// whole, so it is not taken for a reply.
TEST(VirtualDownload, NoiseBeforeEveryReplyIsIgnored) {
    sim::FirmwareSettings s;
    s.faults.noise = true;
    run_download(s, SmallImage);
}

}  // namespace
}  // namespace vellox
