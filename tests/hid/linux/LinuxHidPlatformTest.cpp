#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "HidTestSupport.h"
#include "hid/linux/LinuxHidPlatform.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

const Bytes kVendor64 = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x09, 0x02,
                         0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x40,
                         0x81, 0x02, 0x09, 0x03, 0x95, 0x40, 0x91, 0x02, 0xC0};
// Report ID 5 with an 8-byte input report.
const Bytes kNumbered = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x05,
                         0x75, 0x08, 0x95, 0x08, 0x09, 0x01, 0x81, 0x02, 0xC0};

void write_file(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string as_text(const Bytes& b) { return std::string(b.begin(), b.end()); }

bool wait_readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 10000) == 1;
}

// A sysfs and /dev tree as the kernel lays them out, in a temporary directory.
class FakeTree {
  public:
    FakeTree() {
        char pattern[] = "/tmp/vellox-hidraw-XXXXXX";
        root_ = ::mkdtemp(pattern);
        fs::create_directories(sys() / "class" / "hidraw");
        fs::create_directories(dev());
    }
    ~FakeTree() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    fs::path sys() const { return root_ / "sys"; }
    fs::path dev() const { return root_ / "dev"; }

    // Adds hidrawN whose HID device `hid_name` sits below a USB device (bcd empty: none).
    void add(int n, const std::string& hid_name, const std::string& hid_id, const Bytes& desc,
             const std::string& bcd, bool node = true, bool fifo = false) {
        const fs::path usb = sys() / "devices" / "pci0000:00" / "usb1" / ("1-" + std::to_string(n));
        if (!bcd.empty()) {
            write_file(usb / "bcdDevice", bcd + "\n");
            write_file(usb / "manufacturer", "Acme\n");
        }
        const fs::path hid = usb / ("1-" + std::to_string(n) + ":1.0") / hid_name;
        write_file(hid / "uevent", "DRIVER=hid-generic\nHID_ID=" + hid_id +
                                       "\nHID_NAME=Test device " + std::to_string(n) +
                                       "\nHID_PHYS=usb-0000:00:14.0-" + std::to_string(n) +
                                       "/input0\n");
        write_file(hid / "report_descriptor", as_text(desc));
        const fs::path cls = sys() / "class" / "hidraw" / ("hidraw" + std::to_string(n));
        fs::create_directories(cls);
        fs::create_directory_symlink(fs::relative(hid, cls), cls / "device");
        const fs::path node_path = dev() / ("hidraw" + std::to_string(n));
        if (fifo) {
            ::mkfifo(node_path.c_str(), 0600);
        } else if (node) {
            write_file(node_path, "");
        }
    }

    LinuxHidPlatform::Options options() const {
        LinuxHidPlatform::Options o;
        o.sys_root = sys().string();
        o.dev_root = dev().string();
        o.hotplug = LinuxHotplugMonitor::Source::None;
        return o;
    }

  private:
    fs::path root_;
};

class LinuxBackendTest : public ::testing::Test {
  protected:
    FakeTree tree;
    PumpedHidDispatcher dispatcher;
};

TEST_F(LinuxBackendTest, ScanReadsIdentityPathAndDescriptionInNodeOrder) {
    tree.add(10, "0003:046D:C31C.000B", "0003:0000046D:0000C31C", kVendor64, "");
    tree.add(3, "0003:FFFF:2016.0007", "0003:0000FFFF:00002016", kVendor64, "0100");
    LinuxHidPlatform platform(tree.options());
    ASSERT_TRUE(platform.available());
    const auto list = platform.scan();
    ASSERT_EQ(list.size(), 2u);
    const THidPnPInfo& a = list[0];
    EXPECT_EQ(a.InstanceId, "0003:FFFF:2016.0007");
    EXPECT_EQ(a.DevInst, 7u);
    EXPECT_EQ(a.DevicePath, (tree.dev() / "hidraw3").string());
    EXPECT_EQ(a.DeviceDesc, "Test device 3");
    EXPECT_EQ(a.Mfg, "Acme");
    EXPECT_EQ(a.Driver, "hid-generic");
    EXPECT_EQ(a.LocationInformation, "usb-0000:00:14.0-3/input0");
    EXPECT_EQ(a.HardwareID, (std::vector<std::string>{"HID\\VID_FFFF&PID_2016"}));
    EXPECT_EQ(list[1].InstanceId, "0003:046D:C31C.000B");
    EXPECT_EQ(list[1].Mfg, "");
}

TEST_F(LinuxBackendTest, ControllerIdentifiesRecordsAndLeavesOutUnopenableOnes) {
    tree.add(0, "0003:FFFF:2016.0001", "0003:0000FFFF:00002016", kVendor64, "0213");
    tree.add(1, "0003:1234:5678.0002", "0003:00001234:00005678", kVendor64, "0100",
             /*node=*/false);
    tree.add(2, "0003:046D:C31C.0003", "0003:0000046D:0000C31C", kNumbered, "");
    LinuxHidPlatform platform(tree.options());
    THidDeviceController ctl(platform, dispatcher);
    ASSERT_EQ(ctl.DeviceCount(), 2);
    std::unique_ptr<THidDevice> dev;
    ASSERT_TRUE(ctl.CheckOutAt(0, dev));
    EXPECT_EQ(dev->Attributes().VendorID, 0xFFFF);
    EXPECT_EQ(dev->Attributes().ProductID, 0x2016);
    EXPECT_EQ(dev->Attributes().VersionNumber, 0x0213);
    EXPECT_TRUE(dev->ReadWriteAccess());
    EXPECT_EQ(dev->GetCaps().InputReportByteLength, 65);
    EXPECT_EQ(dev->GetCaps().OutputReportByteLength, 65);

    std::unique_ptr<THidDevice> other;
    ASSERT_TRUE(ctl.CheckOutAt(1, other));
    EXPECT_EQ(other->Attributes().VendorID, 0x046D);
    EXPECT_EQ(other->Attributes().VersionNumber, 0);  // no USB device above it
    EXPECT_EQ(other->GetCaps().InputReportByteLength, 9);
    EXPECT_EQ(other->GetCaps().OutputReportByteLength, 0);

    // The write reaches the node whole, report ID first.
    Bytes report(65, 0xA5);
    report[0] = 0;
    std::uint32_t written = 0;
    ASSERT_TRUE(dev->WriteReport(report.data(), 65, written));
    EXPECT_EQ(written, 65u);
    dev.reset();
    std::ifstream node(tree.dev() / "hidraw0", std::ios::binary);
    const std::string seen((std::istreambuf_iterator<char>(node)),
                           std::istreambuf_iterator<char>());
    EXPECT_EQ(seen, as_text(report));
}

TEST_F(LinuxBackendTest, MissingHidrawClassOrSysfsGivesNothing) {
    fs::remove_all(tree.sys() / "class" / "hidraw");
    LinuxHidPlatform platform(tree.options());
    EXPECT_TRUE(platform.scan().empty());
    auto options = tree.options();
    options.sys_root = (tree.sys() / "missing").string();
    LinuxHidPlatform none(options);
    EXPECT_FALSE(none.available());
    THidDeviceController ctl(none, dispatcher);
    EXPECT_EQ(ctl.DeviceCount(), 0);
}

TEST_F(LinuxBackendTest, ReadsPrependAReportIdOnlyWithoutNumberedReports) {
    tree.add(0, "0003:FFFF:2016.0001", "0003:0000FFFF:00002016", kVendor64, "", true, true);
    tree.add(1, "0003:FFFF:2017.0002", "0003:0000FFFF:00002017", kNumbered, "", true, true);
    LinuxHidPlatform platform(tree.options());
    auto waker = platform.make_waker();
    struct Case {
        int n;
        Bytes sent;
        Bytes expected;
    };
    const Case cases[] = {{0, Bytes(64, 0x11),
                           [] {
                               Bytes b(65, 0x11);
                               b[0] = 0;
                               return b;
                           }()},
                          {1, Bytes{5, 1, 2, 3, 4, 5, 6, 7, 8}, Bytes{5, 1, 2, 3, 4, 5, 6, 7, 8}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.n);
        const std::string path = (tree.dev() / ("hidraw" + std::to_string(c.n))).string();
        auto handle = platform.open(path, HidOpenMode::Read);
        ASSERT_TRUE(handle);
        const int feed = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
        ASSERT_GE(feed, 0);
        Bytes buffer(65, 0xEE);
        ASSERT_TRUE(handle->start_read(buffer));
        EXPECT_EQ(handle->wait_read(0ms, *waker), HidWaitResult::TimedOut);
        waker->wake();
        EXPECT_EQ(handle->wait_read(10s, *waker), HidWaitResult::Woken);
        ASSERT_EQ(::write(feed, c.sent.data(), c.sent.size()), static_cast<ssize_t>(c.sent.size()));
        ASSERT_EQ(handle->wait_read(10s, *waker), HidWaitResult::Completed);
        std::uint32_t bytes = 0;
        ASSERT_TRUE(handle->read_result(bytes));
        ASSERT_EQ(bytes, c.expected.size());
        EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + bytes), c.expected);

        // The other end going away is a hang-up: the read fails, no new read starts.
        ASSERT_TRUE(handle->start_read(buffer));
        ::close(feed);
        ASSERT_EQ(handle->wait_read(10s, *waker), HidWaitResult::Completed);
        EXPECT_FALSE(handle->read_result(bytes));
        EXPECT_FALSE(handle->start_read(buffer));
    }
}

// The device hangs up before any uevent (or with none coming, as in a container).
TEST_F(LinuxBackendTest, AHangUpAsksForARescanAndReadingAgainGetsAFreshHandle) {
    tree.add(0, "0003:FFFF:2016.0001", "0003:0000FFFF:00002016", kVendor64, "", true, true);
    LinuxHidPlatform platform(tree.options());
    THidDeviceController ctl(platform, dispatcher);
    Recorder rec;
    std::unique_ptr<THidDevice> dev;
    ASSERT_TRUE(ctl.CheckOutAt(0, dev));
    dev->SetDataErrorEvent(rec.data_error());
    const std::string node = (tree.dev() / "hidraw0").string();
    const auto pump_until = [&](const std::function<bool()>& done) {
        const auto give_up = std::chrono::steady_clock::now() + 10s;
        while (!done() && std::chrono::steady_clock::now() < give_up) dispatcher.run_next(10ms);
        return done();
    };
    // Writes one report through the node, waits for it, and hangs up.
    const auto feed_one = [&](std::uint8_t value) {
        // The reader has the node open, so opening it for writing does not block.
        const int feed = ::open(node.c_str(), O_WRONLY | O_CLOEXEC);
        const Bytes report(64, value);
        const bool written = feed >= 0 && ::write(feed, report.data(), 64) == 64;
        const auto seen = rec.reports.size();
        const bool arrived = written && pump_until([&] { return rec.reports.size() > seen; });
        if (feed >= 0) ::close(feed);
        return arrived && rec.reports.back().data == report;
    };

    dev->SetDataEvent(rec.data());
    ASSERT_TRUE(feed_one(1));
    ASSERT_TRUE(pump_until([&] { return !rec.errors.empty(); }));
    ASSERT_TRUE(wait_readable(static_cast<int>(platform.device_change_waitable())));
    EXPECT_TRUE(platform.take_device_change());

    // Reading switched off and on again opens the node afresh.
    dev->SetDataEvent(THidDataEvent());
    dev->SetDataEvent(rec.data());
    EXPECT_TRUE(feed_one(2));

    // The rescan that follows finds the interface gone and unplugs the record.
    fs::remove_all(tree.sys() / "class" / "hidraw" / "hidraw0");
    ctl.DeviceChange();
    EXPECT_FALSE(dev->PluggedIn());
    dev.reset();
    EXPECT_EQ(ctl.DeviceCount(), 0);
}

TEST(LinuxHotplug, RecognisesHidrawUeventsInBothFormats) {
    const std::string kernel =
        std::string("add@/devices/pci0000:00/usb1/1-1/1-1:1.0/0003:FFFF:2016.0007/hidraw/hidraw3") +
        '\0' + "ACTION=add" + '\0' + "SUBSYSTEM=hidraw" + '\0' + "DEVNAME=hidraw3" + '\0';
    std::string udev("libudev\0\xfe\xed\xca\xfe", 12);
    udev += std::string(28, '\x01') + "ACTION=add" + '\0' + "SUBSYSTEM=hidraw" + '\0';
    const std::string other = std::string("add@/devices/x") + '\0' + "SUBSYSTEM=hid" + '\0' +
                              "HID_NAME=SUBSYSTEM=hidraw" + '\0';
    EXPECT_TRUE(LinuxHotplugMonitor::is_hidraw_event(kernel));
    EXPECT_TRUE(LinuxHotplugMonitor::is_hidraw_event(udev));
    EXPECT_FALSE(LinuxHotplugMonitor::is_hidraw_event(other));
    EXPECT_FALSE(LinuxHotplugMonitor::is_hidraw_event(std::string("SUBSYSTEM=hidraw", 15)));
}

TEST(LinuxHotplug, AnUnopenableNodeBringsABoundedSeriesOfRescans) {
    LinuxHidPlatform::Options options;
    options.hotplug = LinuxHotplugMonitor::Source::None;
    options.retry_interval = 1ms;
    LinuxHidPlatform platform(options);
    ASSERT_NE(platform.device_change_waitable(), NoHidWaitable);
    EXPECT_FALSE(platform.take_device_change());
    for (int i = 0; i < 5; ++i) {
        EXPECT_FALSE(platform.open("/nonexistent/hidraw9", HidOpenMode::ReadWrite));
        ASSERT_TRUE(wait_readable(static_cast<int>(platform.device_change_waitable())));
        EXPECT_TRUE(platform.take_device_change());
    }
    LinuxHotplugMonitor monitor(LinuxHotplugMonitor::Source::None, 1ms, 5);
    for (int i = 0; i < 5; ++i) {
        monitor.arm_retry();
        ASSERT_TRUE(wait_readable(monitor.fd()));
        EXPECT_TRUE(monitor.take());
    }
    EXPECT_EQ(monitor.retries_left(), 0);
    monitor.arm_retry();  // spent: no more rescans until the next uevent
    EXPECT_FALSE(monitor.take());
}

}  // namespace
