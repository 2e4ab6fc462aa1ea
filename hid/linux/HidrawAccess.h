#pragma once
// Why a hidraw node of a given device cannot be used: the scan of sysfs finds the node even
// when the user may not open it, so a program can tell "no device" from "no permission" and
// point at the udev rule. Plain C++, so that the window and the command line share it.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vellox {

struct HidrawNode {
    std::string device_path;  // "/dev/hidraw3"
    std::string hid_name;     // sysfs name of the HID device, "0003:FFFF:2016.0007"
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
};

enum class NodeAccess {
    Granted,           // opens for reading and writing
    PermissionDenied,  // EACCES or EPERM
    Missing,           // no such node (yet, or any more)
    Failed,            // any other error
};

// Every hidraw node whose HID device has this vendor and product, in sysfs order. The roots
// are parameters so that tests can lay out a tree of their own.
std::vector<HidrawNode> find_hidraw_nodes(std::uint16_t vendor, std::uint16_t product,
                                          const std::filesystem::path& sys_root = "/sys",
                                          const std::filesystem::path& dev_root = "/dev");

// Tries to open `path` for reading and writing, and closes it again at once.
NodeAccess check_node_access(const std::string& path);

// The nodes of this vendor and product that this user is not allowed to open.
std::vector<std::string> denied_hidraw_nodes(std::uint16_t vendor, std::uint16_t product,
                                             const std::filesystem::path& sys_root = "/sys",
                                             const std::filesystem::path& dev_root = "/dev");

// The source tree's rule that grants access (the package installs it under /usr/lib/udev).
inline constexpr const char* UdevRuleFile = "udev/70-vellox.rules";

// True when the running program lies inside the build tree it was built in: the installed
// rule and manual page are then not there, the source tree's are.
bool running_from_build_tree();

// The advice for a node this user may not open: the installed rule and the manual page, or
// the source tree's rule and README.md for a program run from its build tree.
std::string permission_denied_message(const std::string& device_path,
                                      bool from_build_tree = running_from_build_tree());

}  // namespace vellox
