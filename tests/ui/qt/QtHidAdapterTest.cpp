#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <memory>
#include <thread>

#include "HidTestSupport.h"
#include "ui/qt/QtHidDeviceWatcher.h"
#include "ui/qt/QtHidDispatcher.h"

namespace {

int argc = 1;
char arg0[] = "vellox_hid_qt_tests";
char* argv[] = {arg0, nullptr};

class QtAdapterTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (QCoreApplication::instance() == nullptr) {
            app = std::make_unique<QCoreApplication>(argc, argv);
        }
    }
    // Qt's own globals are gone by static destruction time.
    static void TearDownTestSuite() { app.reset(); }
    // Runs the event loop until `done` holds; the timer only turns a hang into a failure.
    static bool loop_until(const std::function<bool()>& done) {
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (done()) loop.quit();
        });
        poll.start(1);
        QTimer::singleShot(10000, &loop, [&] { loop.exit(1); });
        return done() || loop.exec() == 0;
    }
    static inline std::unique_ptr<QCoreApplication> app;
};

TEST_F(QtAdapterTest, DeliveriesRunOnTheEventLoopThread) {
    QtHidDispatcher dispatcher;
    std::thread::id ran_on;
    std::atomic<bool> back{false};
    std::thread reader([&] {
        dispatcher.synchronize([&] { ran_on = std::this_thread::get_id(); });
        back = true;
    });
    ASSERT_TRUE(loop_until([&] { return back.load(); }));
    reader.join();
    EXPECT_EQ(ran_on, std::this_thread::get_id());
}

TEST_F(QtAdapterTest, PlugAndUnplugReachDeviceChange) {
    sim::VirtualHidPlatform platform;
    QtHidDispatcher dispatcher;
    Recorder rec;
    THidDeviceController ctl(platform, dispatcher);
    ctl.SetOnDeviceChange(rec.change());
    QtHidDeviceWatcher watcher(ctl);
    ASSERT_TRUE(watcher.watching());
    rec.log.clear();
    auto device = platform.plug({});
    ASSERT_TRUE(loop_until([&] { return rec.log.size() == 1; }));
    EXPECT_EQ(ctl.DeviceCount(), 1);

    // Reports from a checked-out record reach its handler through the event loop.
    std::unique_ptr<THidDevice> dev;
    ASSERT_TRUE(ctl.CheckOutAt(0, dev));
    dev->SetDataEvent(rec.data());
    ASSERT_TRUE(loop_until([&] { return device->reader_count() == 1; }));
    device->send_input(std::vector<std::uint8_t>(64, 3));
    ASSERT_TRUE(loop_until([&] { return rec.reports.size() == 1; }));
    dev.reset();

    device->unplug();
    ASSERT_TRUE(loop_until([&] { return rec.log.size() == 2; }));
    EXPECT_EQ(ctl.DeviceCount(), 0);
}

}  // namespace
