#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <numeric>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

#include "HidTestSupport.h"
#include "hid/THidDeviceReadThread.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

class DeviceTest : public HidTest {
  protected:
    std::unique_ptr<THidDeviceController> ctl;
    std::shared_ptr<sim::VirtualHidDevice> vdev;

    // Plugs one device, creates the controller and checks the record out.
    std::unique_ptr<THidDevice> checked_out(sim::VirtualDeviceSetup setup = {}) {
        vdev = plug(std::move(setup));
        ctl = std::make_unique<THidDeviceController>(platform, dispatcher);
        std::unique_ptr<THidDevice> dev;
        EXPECT_TRUE(ctl->CheckOutAt(ctl->DeviceCount() - 1, dev));
        return dev;
    }
    sim::VirtualHidDevice& device() { return *vdev; }
    // Waits until the record's reading thread has its read handle open, so input sent from
    // now on reaches it.
    void wait_for_reader(sim::VirtualHidDevice& d, std::size_t readers = 1) {
        ASSERT_TRUE(pump_until([&] { return d.reader_count() >= readers; }));
    }
};

TEST_F(DeviceTest, CreationFailuresCarryTheirMessages) {
    sim::VirtualDeviceSetup locked;
    locked.openable = false;
    auto a = platform.plug(locked);
    sim::VirtualDeviceSetup mute;
    mute.identifiable = false;
    auto b = platform.plug(mute);
    const auto info = platform.scan();
    ASSERT_EQ(info.size(), 2u);
    try {
        THidDevice d(platform, dispatcher, info[0], nullptr);
        FAIL();
    } catch (const EControllerError& e) {
        EXPECT_STREQ(e.what(), "device cannot be opened");
    }
    try {
        THidDevice d(platform, dispatcher, info[1], nullptr);
        FAIL();
    } catch (const EControllerError& e) {
        EXPECT_STREQ(e.what(), "device cannot be identified");
    }
}

TEST_F(DeviceTest, CheckedInRecordOpensNothing) {
    plug();
    THidDeviceController ctl(platform, dispatcher);
    THidDevice* d = ctl.DeviceAt(0);
    EXPECT_FALSE(d->CanAccess());
    EXPECT_FALSE(d->OpenMain());
    std::uint32_t written = 7;
    const Bytes report(65, 0);
    EXPECT_FALSE(d->WriteReport(report.data(), 65, written));
    EXPECT_EQ(written, 0u);
    d->SetDataEvent(rec.data());  // checked in: no thread
    EXPECT_FALSE(d->HasReadThread());
}

TEST_F(DeviceTest, CapsAndWriteReachTheDeviceWithoutTheReportId) {
    auto dev = checked_out();
    const HidCaps caps = dev->GetCaps();
    EXPECT_EQ(caps.InputReportByteLength, 65);
    EXPECT_EQ(caps.OutputReportByteLength, 65);
    Bytes report(65);
    std::iota(report.begin(), report.end(), std::uint8_t{0});
    std::uint32_t written = 0;
    ASSERT_TRUE(dev->WriteReport(report.data(), 65, written));
    EXPECT_EQ(written, 65u);
    const auto seen = device().written_reports();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], Bytes(report.begin() + 1, report.end()));

    device().set_refuse_writes(true);
    EXPECT_FALSE(dev->WriteReport(report.data(), 65, written));
    EXPECT_EQ(written, 0u);
}

TEST_F(DeviceTest, CapsAreZeroWithoutADescriptor) {
    sim::VirtualDeviceSetup setup;
    setup.has_descriptor = false;
    auto dev = checked_out(setup);
    const HidCaps caps = dev->GetCaps();
    EXPECT_EQ(caps.InputReportByteLength, 0);
    EXPECT_EQ(caps.OutputReportByteLength, 0);
    EXPECT_EQ(dev->GetPreparsedData(), nullptr);
}

// The read handle belongs to the reading thread: no one else may open it or read through it.
template <typename D>
constexpr bool kOpenReadIsPublic = requires(D& d) {
    d.OpenRead();
};
template <typename D>
constexpr bool kStartReadIsPublic = requires(D& d, std::uint8_t* b) {
    d.StartRead(b, 1u);
};

TEST(DeviceAccess, ReadSideCallsAreNotPublic) {
    EXPECT_FALSE(kOpenReadIsPublic<THidDevice>);
    EXPECT_FALSE(kStartReadIsPublic<THidDevice>);
}

TEST_F(DeviceTest, ReportsArriveWhenTheCapabilitiesCouldNotBeRead) {
    sim::VirtualDeviceSetup setup;
    setup.has_descriptor = false;
    auto dev = checked_out(setup);
    dev->SetDataEvent(rec.data());
    wait_for_reader(device());
    device().send_input(Bytes(64, 0x42));
    ASSERT_TRUE(pump_until([&] { return !rec.reports.empty(); }));
    EXPECT_EQ(rec.reports[0].data, Bytes(64, 0x42));
}

TEST_F(DeviceTest, QueryOnlyInterfaceGetsNoReadingThreadAndCannotWrite) {
    sim::VirtualDeviceSetup setup;
    setup.exclusive = true;
    auto dev = checked_out(setup);
    EXPECT_FALSE(dev->ReadWriteAccess());
    dev->SetDataEvent(rec.data());
    EXPECT_FALSE(dev->HasReadThread());
    EXPECT_EQ(dev->GetCaps().OutputReportByteLength, 65);
    const Bytes report(65, 0);
    std::uint32_t written = 0;
    EXPECT_FALSE(dev->WriteReport(report.data(), 65, written));
}

TEST_F(DeviceTest, SleepTimeBounds) {
    plug();
    THidDeviceController ctl(platform, dispatcher);
    THidDevice* d = ctl.DeviceAt(0);
    EXPECT_EQ(d->ThreadSleepTime(), 100);
    d->SetThreadSleepTime(0);
    d->SetThreadSleepTime(10001);
    d->SetThreadSleepTime(9);
    EXPECT_EQ(d->ThreadSleepTime(), 100);
    d->SetThreadSleepTime(10);
    EXPECT_EQ(d->ThreadSleepTime(), 10);
    d->SetThreadSleepTime(10000);
    EXPECT_EQ(d->ThreadSleepTime(), 10000);
}

TEST_F(DeviceTest, ReportsArriveInOrderWithIdDataAndSize) {
    // The device answers each output report with an input report echoing it.
    sim::OutputHandler echo = [](std::span<const std::uint8_t> data, sim::Clock::time_point now,
                                 sim::InputSink& link) {
        link.send_input(data, now);
        return true;
    };
    vdev = platform.plug({}, echo);
    ctl = std::make_unique<THidDeviceController>(platform, dispatcher);
    std::unique_ptr<THidDevice> dev;
    ASSERT_TRUE(ctl->CheckOutAt(0, dev));
    dev->SetDataEvent(rec.data());
    ASSERT_TRUE(dev->HasReadThread());
    wait_for_reader(device());

    for (std::uint8_t i = 1; i <= 3; ++i) {
        Bytes report(65, i);
        report[0] = 0;
        std::uint32_t written = 0;
        ASSERT_TRUE(dev->WriteReport(report.data(), 65, written));
    }
    const std::uint8_t one[] = {7};
    device().queue_raw_read(std::span<const std::uint8_t>(), sim::Clock::now());  // 0 bytes
    device().queue_raw_read(one, sim::Clock::now());
    ASSERT_TRUE(pump_until([&] { return rec.reports.size() >= 4; }));
    dev->SetDataEvent(THidDataEvent());
    ASSERT_EQ(rec.reports.size(), 4u);
    for (std::uint8_t i = 0; i < 3; ++i) {
        EXPECT_EQ(rec.reports[i].device, dev.get());
        EXPECT_EQ(rec.reports[i].id, 0);
        EXPECT_EQ(rec.reports[i].data, Bytes(64, static_cast<std::uint8_t>(i + 1)));
    }
    // A 1-byte read gives Size 0; the 0-byte read before it gave no event.
    EXPECT_EQ(rec.reports[3].id, 7);
    EXPECT_TRUE(rec.reports[3].data.empty());
}

TEST_F(DeviceTest, AssigningTheDataEventWhileCheckedInStartsReadingAtCheckOut) {
    plug();
    ctl = std::make_unique<THidDeviceController>(platform, dispatcher);
    ctl->DeviceAt(0)->SetDataEvent(rec.data());
    EXPECT_FALSE(ctl->DeviceAt(0)->HasReadThread());
    std::unique_ptr<THidDevice> dev;
    ASSERT_TRUE(ctl->CheckOutAt(0, dev));
    EXPECT_TRUE(dev->HasReadThread());
    dev.reset();
}

TEST_F(DeviceTest, ClearingTheDataEventDeliversTheWaitingReportFirst) {
    auto dev = checked_out();
    dev->SetDataEvent(rec.data());
    wait_for_reader(device());
    const Bytes data(64, 0x5A);
    device().send_input(data);
    // The reader now blocks in the handoff; nothing has run the handler yet.
    ASSERT_TRUE(dispatcher.wait_for_work(10s));
    EXPECT_TRUE(rec.reports.empty());
    dev->SetDataEvent(THidDataEvent());
    EXPECT_FALSE(dev->HasReadThread());
    ASSERT_EQ(rec.reports.size(), 1u);
    EXPECT_EQ(rec.reports[0].data, data);
}

TEST_F(DeviceTest, ReplacingTheDataEventKeepsTheThreadAndUsesTheNewHandler) {
    auto dev = checked_out();
    Recorder first;
    dev->SetDataEvent(first.data());
    wait_for_reader(device());
    dev->SetDataEvent(rec.data());
    EXPECT_TRUE(dev->HasReadThread());
    device().send_input(Bytes(64, 1));
    ASSERT_TRUE(pump_until([&] { return !rec.reports.empty(); }));
    EXPECT_TRUE(first.reports.empty());
}

TEST_F(DeviceTest, UnplugWhileReadingGivesRepeatedDataErrorsUntilCleared) {
    auto dev = checked_out();
    dev->SetDataErrorEvent(rec.data_error());
    dev->SetDataEvent(rec.data());
    wait_for_reader(device());
    device().unplug();
    ctl->DeviceChange();
    EXPECT_FALSE(dev->PluggedIn());
    ASSERT_TRUE(pump_until([&] { return rec.errors.size() >= 5; }));
    EXPECT_EQ(rec.errors[0], static_cast<std::uint32_t>(ENODEV));
    dev->SetDataEvent(THidDataEvent());
    const auto seen = rec.errors.size();
    EXPECT_EQ(dispatcher.run_pending(), 0u);
    EXPECT_EQ(rec.errors.size(), seen);
    EXPECT_EQ(device().reader_count(), 0u);  // the reader let go of its handle
}

TEST_F(DeviceTest, UnplugNoticedByTheControllerBeforeTheDeviceHangsUp) {
    // The record is unplugged while its read is still pending on a live handle: the
    // reading thread must drop its handle and report errors, not keep waiting.
    auto dev = checked_out();
    dev->SetDataErrorEvent(rec.data_error());
    dev->SetDataEvent(rec.data());
    wait_for_reader(device());
    dev->Unplug();
    ASSERT_TRUE(pump_until([&] { return rec.errors.size() >= 2; }));
    EXPECT_EQ(device().reader_count(), 0u);
    dev.reset();
    EXPECT_EQ(ctl->DeviceCount(), 0);
}

TEST_F(DeviceTest, ReadThatCannotStartIsReportedAndRetried) {
    auto dev = checked_out();
    device().set_read_start_error(EIO);
    dev->SetDataErrorEvent(rec.data_error());
    dev->SetDataEvent(rec.data());
    ASSERT_TRUE(pump_until([&] { return rec.errors.size() >= 3; }));
    EXPECT_EQ(rec.errors[0], static_cast<std::uint32_t>(EIO));
    device().set_read_start_error(0);
    device().send_input(Bytes(64, 9));
    ASSERT_TRUE(pump_until([&] { return !rec.reports.empty(); }));
}

// Sends `count` reports numbered from `first` in batches the device's 63-report queue can
// hold, each once the reader has taken the one before; false if the reader stops taking them.
bool send_drained(sim::VirtualHidDevice& d, int first, int count) {
    for (int i = 0; i < count; ++i) {
        if (i % 50 == 0) {
            const auto give_up = std::chrono::steady_clock::now() + 10s;
            while (d.unread_reports() > 0) {
                if (std::chrono::steady_clock::now() > give_up) return false;
                std::this_thread::yield();
            }
        }
        Bytes data(64, 0);
        data[0] = static_cast<std::uint8_t>((first + i) >> 8);
        data[1] = static_cast<std::uint8_t>(first + i);
        d.send_input(data);
    }
    return true;
}

int number_of(const Report& r) { return (r.data[0] << 8) | r.data[1]; }

// Records on which thread each read handle is opened.
class OpenRecordingPlatform : public HidPlatform {
  public:
    explicit OpenRecordingPlatform(HidPlatform& inner) : inner_(inner) {}
    bool available() const override { return inner_.available(); }
    std::vector<THidPnPInfo> scan() override { return inner_.scan(); }
    std::unique_ptr<HidHandle> open(const std::string& path, HidOpenMode mode) override {
        if (mode == HidOpenMode::Read) {
            std::lock_guard<std::mutex> lock(mutex);
            read_opens.push_back(std::this_thread::get_id());
        }
        return inner_.open(path, mode);
    }
    std::unique_ptr<HidWaker> make_waker() override { return inner_.make_waker(); }

    std::mutex mutex;
    std::vector<std::thread::id> read_opens;

  private:
    HidPlatform& inner_;
};

TEST_F(DeviceTest, ReadHandleIsOpenedBeforeReadingIsSwitchedOn) {
    // A device that answers at once: the reply to a command written right after the data
    // event is set must find the read handle open.
    sim::OutputHandler echo = [](std::span<const std::uint8_t> data, sim::Clock::time_point now,
                                 sim::InputSink& link) {
        link.send_input(data, now);
        return true;
    };
    vdev = platform.plug({}, echo);
    OpenRecordingPlatform recording(platform);
    THidDeviceController controller(recording, dispatcher);
    std::unique_ptr<THidDevice> dev;
    ASSERT_TRUE(controller.CheckOutAt(0, dev));
    dev->SetDataEvent(rec.data());
    {
        std::lock_guard<std::mutex> lock(recording.mutex);
        ASSERT_EQ(recording.read_opens.size(), 1u);
        EXPECT_EQ(recording.read_opens[0], std::this_thread::get_id());
    }
    const Bytes report(65, 0x21);
    std::uint32_t written = 0;
    ASSERT_TRUE(dev->WriteReport(report.data(), 65, written));
    ASSERT_TRUE(pump_until([&] { return !rec.reports.empty(); }));
    EXPECT_EQ(rec.reports[0].data, Bytes(64, 0x21));
}

// Main handles whose next write fails with a chosen error; counts the main opens.
class FailingWritePlatform : public HidPlatform {
  public:
    explicit FailingWritePlatform(HidPlatform& inner) : inner_(inner) {}
    bool available() const override { return inner_.available(); }
    std::vector<THidPnPInfo> scan() override { return inner_.scan(); }
    std::unique_ptr<HidHandle> open(const std::string& path, HidOpenMode mode) override {
        auto handle = inner_.open(path, mode);
        if (!handle || mode != HidOpenMode::ReadWrite) return handle;
        ++main_opens;
        return std::make_unique<Handle>(std::move(handle), *this);
    }
    std::unique_ptr<HidWaker> make_waker() override { return inner_.make_waker(); }

    int main_opens = 0;
    std::uint32_t next_write_error = 0;  // 0: writes pass through

  private:
    class Handle : public HidHandle {
      public:
        Handle(std::unique_ptr<HidHandle> inner, FailingWritePlatform& owner)
            : inner_(std::move(inner)), owner_(owner) {}
        bool get_attributes(HidAttributes& a) override { return inner_->get_attributes(a); }
        std::optional<HidPreparsedData> get_preparsed_data() override {
            return inner_->get_preparsed_data();
        }
        bool write(std::span<const std::uint8_t> report, std::uint32_t& written) override {
            if (owner_.next_write_error == 0) return inner_->write(report, written);
            hid_set_last_error(std::exchange(owner_.next_write_error, 0));
            written = 0;
            return false;
        }
        bool start_read(std::span<std::uint8_t> b) override { return inner_->start_read(b); }
        HidWaitResult wait_read(std::chrono::milliseconds t, HidWaker& w) override {
            return inner_->wait_read(t, w);
        }
        bool read_result(std::uint32_t& bytes) override { return inner_->read_result(bytes); }
        bool cancel_read() override { return inner_->cancel_read(); }
        std::uint32_t input_queue_capacity() const override {
            return inner_->input_queue_capacity();
        }

      private:
        std::unique_ptr<HidHandle> inner_;
        FailingWritePlatform& owner_;
    };
    HidPlatform& inner_;
};

TEST_F(DeviceTest, AWriteFailingAsGoneDropsTheMainHandleAndARefusedOneKeepsIt) {
    vdev = plug();
    FailingWritePlatform failing(platform);
    THidDeviceController controller(failing, dispatcher);
    std::unique_ptr<THidDevice> dev;
    ASSERT_TRUE(controller.CheckOutAt(0, dev));
    const Bytes report(65, 0x21);
    std::uint32_t written = 0;
    ASSERT_TRUE(dev->WriteReport(report.data(), 65, written));
    const int opens = failing.main_opens;

    failing.next_write_error = EPIPE;  // refused: the handle is still good
    EXPECT_FALSE(dev->WriteReport(report.data(), 65, written));
    ASSERT_TRUE(dev->WriteReport(report.data(), 65, written));
    EXPECT_EQ(failing.main_opens, opens);

    failing.next_write_error = failing.gone_error();  // gone: the next write opens afresh
    EXPECT_FALSE(dev->WriteReport(report.data(), 65, written));
    EXPECT_EQ(failing.last_error(), failing.gone_error());
    ASSERT_TRUE(dev->WriteReport(report.data(), 65, written));
    EXPECT_EQ(failing.main_opens, opens + 1);
}

TEST_F(DeviceTest, ReaderKeepsDrainingWhileTheUserInterfaceTakesNoDeliveries) {
    auto dev = checked_out();
    dev->SetDataEvent(rec.data());
    // Nothing is delivered while these go out: the reader must empty the device's queue
    // into its own, again and again.
    ASSERT_TRUE(send_drained(device(), 0, 1000));
    ASSERT_TRUE(pump_until([&] { return rec.reports.size() >= 1000; }));
    dev->SetDataEvent(THidDataEvent());
    ASSERT_EQ(rec.reports.size(), 1000u);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(number_of(rec.reports[i]), i);
    EXPECT_EQ(device().dropped_reports(), 0u);
}

TEST_F(DeviceTest, ReaderBacklogIsBoundedAndDropsNewerReports) {
    auto dev = checked_out();
    dev->SetDataEvent(rec.data());
    const int limit = static_cast<int>(THidDeviceReadThread::BacklogLimit);
    ASSERT_TRUE(send_drained(device(), 0, limit + 100));
    // Wait, delivering nothing, until the reader has taken the last ones too.
    const auto give_up = std::chrono::steady_clock::now() + 10s;
    while (dev->ReadThread()->DroppedReports() < 100 && std::chrono::steady_clock::now() < give_up)
        std::this_thread::yield();
    EXPECT_EQ(dev->ReadThread()->DroppedReports(), 100u);
    ASSERT_TRUE(pump_until([&] { return rec.reports.size() >= static_cast<std::size_t>(limit); }));
    dev->SetDataEvent(THidDataEvent());
    ASSERT_EQ(rec.reports.size(), static_cast<std::size_t>(limit));
    EXPECT_EQ(number_of(rec.reports.front()), 0);
    EXPECT_EQ(number_of(rec.reports.back()), limit - 1);
}

TEST_F(DeviceTest, ReportsReadBeforeAReadErrorAreDeliveredBeforeIt) {
    auto dev = checked_out();
    dev->SetDataErrorEvent(rec.data_error());
    dev->SetDataEvent(rec.data());
    ASSERT_TRUE(send_drained(device(), 0, 40));
    ASSERT_TRUE(pump_until([&] { return device().unread_reports() == 0; }));
    // Ends the outstanding read; the next cannot start.
    device().unplug();
    ASSERT_TRUE(pump_until([&] { return !rec.errors.empty(); }));
    EXPECT_EQ(rec.reports.size(), 40u);
}

TEST_F(DeviceTest, OverLongReportArrivesWithItsTrueLength) {
    auto dev = checked_out();
    dev->SetDataEvent(rec.data());
    device().send_input(Bytes(65, 0x33));  // one byte more than the interface declares
    device().send_input(Bytes(64, 0x44));
    ASSERT_TRUE(pump_until([&] { return rec.reports.size() >= 2; }));
    EXPECT_EQ(rec.reports[0].data, Bytes(65, 0x33));
    EXPECT_EQ(rec.reports[1].data, Bytes(64, 0x44));
}

TEST_F(DeviceTest, HandlerFailureEndsTheReadingThread) {
    auto dev = checked_out();
    auto thrower = [](THidDevice*, std::uint8_t, const std::uint8_t*, std::uint16_t) {
        throw std::runtime_error("handler failed");
    };
    dev->SetDataEvent(THidDataEvent::bind(&thrower));
    wait_for_reader(device());
    device().send_input(Bytes(64, 1));
    ASSERT_TRUE(pump_until([&] { return dev->ReadThread()->Finished(); }));
    EXPECT_TRUE(dev->ReadThread()->FatalException());
    device().send_input(Bytes(64, 2));
    EXPECT_EQ(dispatcher.run_pending(), 0u);
}

TEST_F(DeviceTest, DeviceUnplugAfterItsReplyWriteStillSucceeds) {
    sim::OutputHandler bye = [](std::span<const std::uint8_t>, sim::Clock::time_point,
                                sim::InputSink& link) {
        link.unplug();
        return true;
    };
    vdev = platform.plug({}, bye);
    ctl = std::make_unique<THidDeviceController>(platform, dispatcher);
    std::unique_ptr<THidDevice> dev;
    ASSERT_TRUE(ctl->CheckOutAt(0, dev));
    const Bytes report(65, 0);
    std::uint32_t written = 0;
    ASSERT_TRUE(platform.take_device_change());  // the plug
    EXPECT_TRUE(dev->WriteReport(report.data(), 65, written));
    EXPECT_TRUE(platform.take_device_change());
    EXPECT_FALSE(dev->WriteReport(report.data(), 65, written));
}

}  // namespace

namespace {

// The virtual backend, with every read start held for up to 300 ms unless the test lets it go.
class SlowStartPlatform : public HidPlatform {
  public:
    explicit SlowStartPlatform(sim::VirtualHidPlatform& inner) : inner_(inner) {}
    bool available() const override { return inner_.available(); }
    std::vector<THidPnPInfo> scan() override { return inner_.scan(); }
    std::unique_ptr<HidWaker> make_waker() override { return inner_.make_waker(); }
    std::unique_ptr<HidHandle> open(const std::string& path, HidOpenMode mode) override {
        auto handle = inner_.open(path, mode);
        return handle ? std::make_unique<Handle>(*this, std::move(handle)) : nullptr;
    }
    void release() {
        {
            std::lock_guard lock(mutex_);
            released_ = true;
        }
        cond_.notify_all();
    }
    std::atomic<int> starts{0};

  private:
    class Handle : public HidHandle {
      public:
        Handle(SlowStartPlatform& owner, std::unique_ptr<HidHandle> inner)
            : owner_(owner), inner_(std::move(inner)) {}
        bool get_attributes(HidAttributes& a) override { return inner_->get_attributes(a); }
        std::optional<HidPreparsedData> get_preparsed_data() override {
            return inner_->get_preparsed_data();
        }
        bool write(std::span<const std::uint8_t> report, std::uint32_t& written) override {
            return inner_->write(report, written);
        }
        bool start_read(std::span<std::uint8_t> buffer) override {
            {
                std::unique_lock lock(owner_.mutex_);
                owner_.cond_.wait_for(lock, 300ms, [&] { return owner_.released_; });
            }
            ++owner_.starts;
            return inner_->start_read(buffer);
        }
        HidWaitResult wait_read(std::chrono::milliseconds timeout, HidWaker& waker) override {
            return inner_->wait_read(timeout, waker);
        }
        bool read_result(std::uint32_t& bytes) override { return inner_->read_result(bytes); }
        bool cancel_read() override { return inner_->cancel_read(); }
        std::uint32_t input_queue_capacity() const override {
            return inner_->input_queue_capacity();
        }

      private:
        SlowStartPlatform& owner_;
        std::unique_ptr<HidHandle> inner_;
    };

    sim::VirtualHidPlatform& inner_;
    std::mutex mutex_;
    std::condition_variable cond_;
    bool released_ = false;
};

// A command written right after reading is switched on must find its reader reading, however
// late the new thread runs.
TEST_F(DeviceTest, SwitchingReadingOnReturnsOnceTheFirstReadIsPosted) {
    plug();
    SlowStartPlatform slow(platform);
    THidDeviceController controller(slow, dispatcher);
    std::unique_ptr<THidDevice> dev;
    ASSERT_TRUE(controller.CheckOutAt(0, dev));
    dev->SetDataEvent(rec.data());
    EXPECT_EQ(slow.starts, 1);
    EXPECT_EQ(dev->InputQueueCapacity(), 63u);
    slow.release();
}

}  // namespace
