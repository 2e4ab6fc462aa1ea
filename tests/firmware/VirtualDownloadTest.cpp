// Whole downloads through the real reading threads and handoff, on the virtual backend with
// the emulated firmware: the path the window and the command line take.
#include <gtest/gtest.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <thread>

#include "DownloadRig.h"
#include "hid/PumpedHidDispatcher.h"
#include "sim/CountingModel.h"
#include "sim/VirtualClock.h"
#include "sim/VirtualHidPlatform.h"

namespace vellox {
namespace {

using namespace std::chrono_literals;

class VirtualHost : public testkit::FakeDialogueHost {};

// Bounds a hang only; nothing here waits for it to pass.
constexpr auto kHangLimit = 60s;

// Holds a reading thread still: its read handle waits here before it looks for a report.
// Closed, it lets through only the reads it has been given permits for.
class ReadGate {
  public:
    void close() {
        std::lock_guard lock(mutex_);
        open_ = false;
    }
    void open() {
        {
            std::lock_guard lock(mutex_);
            open_ = true;
        }
        cond_.notify_all();
    }
    void permit() {
        {
            std::lock_guard lock(mutex_);
            ++permits_;
        }
        cond_.notify_all();
    }
    bool is_open() {
        std::lock_guard lock(mutex_);
        return open_;
    }
    // Reading thread: waits until the gate is open or a read is permitted; true when the read
    // that follows uses up a permit.
    bool pass() {
        std::unique_lock lock(mutex_);
        cond_.wait(lock, [&] { return open_ || permits_ > 0; });
        return !open_;
    }
    void used_permit() {
        std::lock_guard lock(mutex_);
        if (!open_ && permits_ > 0) --permits_;
    }
    // The same with a bound, for a hold that nothing on the user-interface thread may end.
    void pass_for(std::chrono::milliseconds bound) {
        std::unique_lock lock(mutex_);
        cond_.wait_for(lock, bound, [&] { return open_; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable cond_;
    bool open_ = true;
    long permits_ = 0;
};

// The virtual backend with a gate in front of every reading thread's read handle, and an eye on
// the block writes: the gate closes at block `close_at_block`; while it is closed each block
// write gives `permits_per_write` reads.
class GatedPlatform : public HidPlatform {
  public:
    // The link's delays and the replies' due times count by the rig's ticks.
    sim::VirtualClock clock;
    sim::VirtualHidPlatform inner{&clock};
    ReadGate gate;
    ReadGate first_start;  // the first read start of any reading thread waits here
    long close_at_block = -1;
    long permits_per_write = 0;
    std::atomic<long> writes{0};
    std::atomic<long> block_writes{0};
    std::atomic<long> writes_while_held{0};

    bool available() const override { return inner.available(); }
    std::vector<THidPnPInfo> scan() override { return inner.scan(); }
    std::unique_ptr<HidWaker> make_waker() override { return inner.make_waker(); }
    HidWaitable device_change_waitable() const override { return inner.device_change_waitable(); }
    bool take_device_change() override { return inner.take_device_change(); }
    std::unique_ptr<HidHandle> open(const std::string& path, HidOpenMode mode) override {
        auto handle = inner.open(path, mode);
        if (!handle) return nullptr;
        return std::make_unique<Handle>(*this, std::move(handle), mode);
    }

  private:
    class Handle : public HidHandle {
      public:
        Handle(GatedPlatform& owner, std::unique_ptr<HidHandle> inner, HidOpenMode mode)
            : owner_(owner), inner_(std::move(inner)), mode_(mode) {}
        bool get_attributes(HidAttributes& a) override { return inner_->get_attributes(a); }
        std::optional<HidPreparsedData> get_preparsed_data() override {
            return inner_->get_preparsed_data();
        }
        std::uint32_t input_queue_capacity() const override {
            return inner_->input_queue_capacity();
        }
        bool write(std::span<const std::uint8_t> report, std::uint32_t& written) override {
            ++owner_.writes;
            const bool block = report.size() > ByteCommand && report[ByteCommand] == CMD_WRITE;
            if (block && owner_.block_writes++ == owner_.close_at_block) owner_.gate.close();
            if (block && !owner_.gate.is_open()) {
                ++owner_.writes_while_held;
                for (long i = 0; i < owner_.permits_per_write; ++i) owner_.gate.permit();
            }
            return inner_->write(report, written);
        }
        bool start_read(std::span<std::uint8_t> buffer) override {
            if (mode_ == HidOpenMode::Read && !owner_.started_.exchange(true)) {
                owner_.first_start.pass_for(300ms);
            }
            return inner_->start_read(buffer);
        }
        HidWaitResult wait_read(std::chrono::milliseconds timeout, HidWaker& waker) override {
            const bool permitted = owner_.gate.pass();
            const auto result = inner_->wait_read(timeout, waker);
            if (permitted && result == HidWaitResult::Completed) owner_.gate.used_permit();
            return result;
        }
        bool read_result(std::uint32_t& bytes) override { return inner_->read_result(bytes); }
        bool cancel_read() override { return inner_->cancel_read(); }

      private:
        GatedPlatform& owner_;
        std::unique_ptr<HidHandle> inner_;
        HidOpenMode mode_;
    };

    std::atomic<bool> started_{false};
};

struct VirtualRig {
    VirtualRig(sim::EmulatedDeviceSettings settings, bool wait_when_idle,
               const std::function<void(VirtualRig&)>& prepare = {})
        : wait_when_idle(wait_when_idle),
          firmware(std::make_shared<sim::EmulatedFirmware>(settings)),
          model(std::make_shared<sim::CountingModel>(firmware)),
          download(dialogue, host) {
        ui.pump = [this] { pump(); };
        if (prepare) prepare(*this);
        device = platform.inner.plug({}, model);
        dialogue.FormActivate();
        // The automatic query after 80 ticks, and its reply.
        const auto give_up = std::chrono::steady_clock::now() + kHangLimit;
        while (dialogue.FlashSize == 0 && dialogue.StatusCode != DialogueStatus::TimedOut &&
               std::chrono::steady_clock::now() < give_up) {
            pump();
        }
    }

    ~VirtualRig() {
        // A held reading thread must be able to see that it is stopped.
        platform.gate.open();
        platform.first_start.open();
    }

    // Handoffs, and a tick of virtual time when there is nothing to hand over. The clock moves
    // first; the tick then waits until every reply the device has made due by then has been
    // handled, so that no time-out can run out while a reply is on its way, however slowly
    // the threads are scheduled. The window's event loop never blocks or yields here; the
    // command line waits up to a millisecond for a handoff when nothing is queued.
    void pump() {
        if (platform.take_device_change()) controller.DeviceChange();
        std::size_t ran = dispatcher.run_pending();
        if (ran == 0 && wait_when_idle) ran = dispatcher.run_next(1ms);
        delivered += static_cast<long>(ran);
        open_gates();
        if (ran > 0) return;
        if (!clock_moved) {
            platform.clock.tick();
            clock_moved = true;
        }
        const auto now = std::chrono::steady_clock::now();
        const long due = model->sent_by(platform.clock.now());
        if (hold_ticks_for_replies && due > delivered) {
            if (now - awaiting_since < kHangLimit) return;
            ADD_FAILURE() << due - delivered << " replies never handed over";
            delivered = due;
        }
        awaiting_since = now;
        clock_moved = false;
        dialogue.Timer1Timer();
        dialogue.Timer2Timer();
        // No yield: the window's event loop does not give up its core either.
    }

    // The gates open after `gate_passes` pump passes without a new block write (the write
    // phase is waiting for echoes), or, for the first read start, without a new write at all.
    void open_gates() {
        const long writes = platform.writes;
        idle_passes = writes == last_writes ? idle_passes + 1 : 0;
        last_writes = writes;
        if (idle_passes < gate_passes) return;
        platform.gate.open();
        platform.first_start.open();
    }

    const bool wait_when_idle;
    // Off: every pass without a handoff is a tick, whatever the reading thread is doing.
    bool hold_ticks_for_replies = true;
    long gate_passes = 200;
    long idle_passes = 0;
    long last_writes = -1;
    long delivered = 0;
    bool clock_moved = false;
    std::chrono::steady_clock::time_point awaiting_since = std::chrono::steady_clock::now();

    GatedPlatform platform;
    PumpedHidDispatcher dispatcher;
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

void run_download(sim::EmulatedDeviceSettings settings, std::size_t size, bool wait_when_idle = true,
                  const std::function<void(VirtualRig&)>& prepare = {}) {
    VirtualRig r(settings, wait_when_idle, prepare);
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
    sim::EmulatedDeviceSettings s;
    s.interval = 125us;
    run_download(s, SmallImage);
}

TEST(VirtualDownload, FullSpeedLinkInterval) {
    sim::EmulatedDeviceSettings s;
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
    sim::EmulatedDeviceSettings s;
    s.interval = 1ms;
    run_download(s, 128 * 1024, false);
}

// A bad report before every reply, among them one a byte too long: the reader passes it on
// whole, so it is not taken for a reply.
TEST(VirtualDownload, NoiseBeforeEveryReplyIsIgnored) {
    sim::EmulatedDeviceSettings s;
    s.faults.noise = true;
    run_download(s, SmallImage);
}

// The reading thread held still from block 20 on, while the user-interface thread goes on
// pumping and ticking; it is let go only once the writes have stopped for 200 passes. Only a
// write phase that stops at the echoes its reader can still keep, and time-outs that wait for
// the reader, get every echo through.
constexpr std::size_t HeldImage = 600 * 58;
constexpr long HeldFromBlock = 20;
// What the virtual backend's 63-report queue allows: (63 - 1) / 2 blocks awaiting their echo.
constexpr long EchoWindow = 31;

void hold_reader(VirtualRig& r, long permits_per_write) {
    r.hold_ticks_for_replies = false;
    r.platform.close_at_block = HeldFromBlock;
    r.platform.permits_per_write = permits_per_write;
}

TEST(VirtualDownload, ReaderHeldStillLosesNoEcho) {
    long held = 0;
    run_download({}, HeldImage, true, [&](VirtualRig& r) {
        hold_reader(r, 0);
        r.ui.pump = [&r, &held] {
            r.pump();
            held = r.platform.writes_while_held;
        };
    });
    EXPECT_GT(held, 0);
    // A read already past the gate when it closes may free one more place.
    EXPECT_LE(held, EchoWindow + 1);
}

// Two reports for every write (a bad one before each echo) and one read let through per write:
// the unread reports grow by one a write unless the writes stop at the echoes.
TEST(VirtualDownload, ReaderHeldWithTwoReportsPerWriteLosesNoEcho) {
    sim::EmulatedDeviceSettings s;
    s.faults.noise = true;
    run_download(s, HeldImage, true, [](VirtualRig& r) { hold_reader(r, 1); });
}

// The reading thread's first read starts late (up to 300 ms, or until the query's reply has had
// 200 passes): the query still gets its reply instead of a time-out.
TEST(VirtualDownload, LateFirstReadStillGetsTheQueryReply) {
    VirtualRig r({}, true, [](VirtualRig& rig) {
        rig.hold_ticks_for_replies = false;
        rig.platform.first_start.close();
    });
    EXPECT_EQ(r.dialogue.ProductId, "V201");
    EXPECT_EQ(r.dialogue.StatusCode, DialogueStatus::Ok);
    EXPECT_EQ(r.device->dropped_reports(), 0u);
}

}  // namespace
}  // namespace vellox
