#include "hid/linux/HidrawAccess.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "hid/linux/HidrawSysfs.h"

namespace vellox {

std::vector<HidrawNode> find_hidraw_nodes(std::uint16_t vendor, std::uint16_t product,
                                          const std::filesystem::path& sys_root,
                                          const std::filesystem::path& dev_root) {
    std::vector<HidrawNode> nodes;
    // The same reading of sysfs as the backend's scan, so both agree on what is there.
    const std::string sys = sys_root.string();
    for (const std::string& name : list_hidraw_names(sys)) {
        const auto interface = read_hidraw_interface(sys, name);
        if (!interface) continue;
        const auto id = interface->uevent.find("HID_ID");
        HidrawNode node;
        if (id == interface->uevent.end() || !parse_hid_id(id->second, node.vendor, node.product))
            continue;
        if (node.vendor != vendor || node.product != product) continue;
        node.device_path = (dev_root / name).string();
        node.hid_name = interface->hid_name;
        nodes.push_back(std::move(node));
    }
    return nodes;
}

NodeAccess check_node_access(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd >= 0) {
        ::close(fd);
        return NodeAccess::Granted;
    }
    switch (errno) {
        case EACCES:
        case EPERM:
            return NodeAccess::PermissionDenied;
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return NodeAccess::Missing;
        default:
            return NodeAccess::Failed;
    }
}

std::vector<std::string> denied_hidraw_nodes(std::uint16_t vendor, std::uint16_t product,
                                             const std::filesystem::path& sys_root,
                                             const std::filesystem::path& dev_root) {
    std::vector<std::string> denied;
    for (const HidrawNode& node : find_hidraw_nodes(vendor, product, sys_root, dev_root)) {
        if (check_node_access(node.device_path) == NodeAccess::PermissionDenied) {
            denied.push_back(node.device_path);
        }
    }
    return denied;
}

bool running_from_build_tree() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return false;
    const std::filesystem::path tree(VELLOX_BUILD_DIR);
    return std::mismatch(tree.begin(), tree.end(), exe.begin(), exe.end()).first == tree.end();
}

std::string permission_denied_message(const std::string& device_path, bool from_build_tree) {
    if (from_build_tree) {
        return "No permission to open " + device_path + ": install the udev rule " + UdevRuleFile +
               " (see \"Device access without root\" in README.md), then plug the device in "
               "again.";
    }
    return "No permission to open " + device_path + ": the udev rule " + VELLOX_UDEV_RULES_PATH +
           " grants access (see DEVICE ACCESS in the manual page vellox-cli(1)); plug the "
           "device in again.";
}

}  // namespace vellox
