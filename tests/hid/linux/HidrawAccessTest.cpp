// Telling "no device" from "no permission": the sysfs scan for the device's hidraw nodes and
// the access check on them.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "hid/linux/HidrawAccess.h"
#include "hid/linux/LinuxHidPlatform.h"
#include "tests/TempDir.h"

using namespace vellox;

namespace {

// /sys/class/hidraw/<name>/device/uevent and /dev/<name>, as the kernel lays them out.
void add_node(const TempDir& dir, const std::string& name, const std::string& uevent) {
    const auto device = dir / ("sys/class/hidraw/" + name + "/device");
    std::filesystem::create_directories(device);
    std::ofstream(device / "uevent") << uevent;
    std::filesystem::create_directories(dir / "dev");
    std::ofstream(dir / ("dev/" + name)) << "";
}

}  // namespace

TEST(HidrawAccess, FindsTheNodesOfOneDeviceInKernelOrder) {
    TempDir dir;
    add_node(dir, "hidraw10", "DRIVER=hid-generic\nHID_ID=0003:0000FFFF:00002016\n");
    add_node(dir, "hidraw2", "HID_ID=0003:0000FFFF:00002016\nHID_NAME=Vellox\n");
    add_node(dir, "hidraw3", "HID_ID=0003:0000FFFF:00002017\n");  // another product
    add_node(dir, "hidraw4", "HID_ID=0003:0000046D:00002016\n");  // another vendor
    add_node(dir, "hidraw5", "HID_ID=garbage\n");
    add_node(dir, "hidraw6", "HID_NAME=no id at all\n");

    const auto nodes = find_hidraw_nodes(0xFFFF, 0x2016, dir / "sys", dir / "dev");
    ASSERT_EQ(nodes.size(), 2u);
    EXPECT_EQ(nodes[0].device_path, (dir / "dev/hidraw2").string());
    EXPECT_EQ(nodes[1].device_path, (dir / "dev/hidraw10").string());
    EXPECT_EQ(nodes[0].vendor, 0xFFFF);
    EXPECT_EQ(nodes[0].product, 0x2016);

    EXPECT_TRUE(find_hidraw_nodes(0xFFFF, 0x2016, dir / "nothing", dir / "dev").empty());
}

TEST(HidrawAccess, TellsMissingFromGranted) {
    TempDir dir;
    add_node(dir, "hidraw0", "HID_ID=0003:0000FFFF:00002016\n");
    EXPECT_EQ(check_node_access((dir / "dev/hidraw0").string()), NodeAccess::Granted);
    EXPECT_EQ(check_node_access((dir / "dev/hidraw7").string()), NodeAccess::Missing);
    EXPECT_TRUE(denied_hidraw_nodes(0xFFFF, 0x2016, dir / "sys", dir / "dev").empty());
}

TEST(HidrawAccess, ANodeThisUserMayNotOpenIsReportedWithTheRule) {
    TempDir dir;
    add_node(dir, "hidraw0", "HID_ID=0003:0000FFFF:00002016\n");
    const std::string node = (dir / "dev/hidraw0").string();
    ASSERT_EQ(::chmod(node.c_str(), 0), 0);
    // The platform interface answers the same over its own roots, for the shared layers.
    const auto denied = [&] {
        const LinuxHidPlatform platform({.sys_root = (dir / "sys").string(),
                                         .dev_root = (dir / "dev").string(),
                                         .hotplug = LinuxHotplugMonitor::Source::None});
        const std::vector<std::string> expected{node};
        return check_node_access(node) == NodeAccess::PermissionDenied &&
               denied_hidraw_nodes(0xFFFF, 0x2016, dir / "sys", dir / "dev") == expected &&
               platform.access_denied(node) && platform.denied_paths(0xFFFF, 0x2016) == expected;
    };
    if (::geteuid() != 0) {
        EXPECT_TRUE(denied());
        return;
    }
    // Root opens every node (and CI runs as root): the check runs in a child that has given
    // root up for the unprivileged "nobody".
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        constexpr uid_t kNobody = 65534;
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
            ::_exit(2);
        }
        ::_exit(denied() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: not reported as denied, 2: root not given up";
}

TEST(HidrawAccess, MessageNamesTheNodeAndTheRule) {
    // Run from its build tree, as this test is, the advice names the source tree's files.
    EXPECT_TRUE(running_from_build_tree());
    EXPECT_EQ(permission_denied_message("/dev/hidraw3"),
              "No permission to open /dev/hidraw3: install the udev rule udev/70-vellox.rules "
              "(see \"Device access without root\" in README.md), then plug the device in again.");
    EXPECT_EQ(permission_denied_message("/dev/hidraw3", false),
              "No permission to open /dev/hidraw3: the udev rule "
              "/usr/lib/udev/rules.d/70-vellox.rules grants access (see DEVICE ACCESS in the "
              "manual page vellox-cli(1)); plug the device in again.");
    // The rule the message points at exists and grants access to this device only.
    std::ifstream rule(std::string(VELLOX_SOURCE_DIR) + "/" + UdevRuleFile);
    ASSERT_TRUE(rule);
    std::string text((std::istreambuf_iterator<char>(rule)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("SUBSYSTEM==\"hidraw\", KERNELS==\"*:FFFF:2016.*\", TAG+=\"uaccess\""),
              std::string::npos);
}
