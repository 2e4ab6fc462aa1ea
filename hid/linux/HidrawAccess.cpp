#include "hid/linux/HidrawAccess.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fstream>
#include <optional>
#include <string_view>
#include <system_error>

namespace vellox {
namespace {

std::optional<std::uint32_t> parse_hex(std::string_view text) {
    std::uint32_t value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value, 16);
    if (text.empty() || ec != std::errc{} || ptr != end) return std::nullopt;
    return value;
}

// HID_ID=0003:0000FFFF:00002016 (bus, vendor, product) from the HID device's uevent.
bool read_hid_id(const std::filesystem::path& uevent, std::uint16_t& vendor,
                 std::uint16_t& product) {
    std::ifstream in(uevent);
    std::string line;
    while (std::getline(in, line)) {
        constexpr std::string_view key = "HID_ID=";
        if (!line.starts_with(key)) continue;
        const std::string_view id = std::string_view(line).substr(key.size());
        const std::size_t first = id.find(':');
        const std::size_t second = id.find(':', first == id.npos ? id.npos : first + 1);
        if (first == id.npos || second == id.npos) return false;
        auto v = parse_hex(id.substr(first + 1, second - first - 1));
        auto p = parse_hex(id.substr(second + 1));
        if (!v || !p || *v > 0xFFFF || *p > 0xFFFF) return false;
        vendor = static_cast<std::uint16_t>(*v);
        product = static_cast<std::uint16_t>(*p);
        return true;
    }
    return false;
}

}  // namespace

std::vector<HidrawNode> find_hidraw_nodes(std::uint16_t vendor, std::uint16_t product,
                                          const std::filesystem::path& sys_root,
                                          const std::filesystem::path& dev_root) {
    std::vector<HidrawNode> nodes;
    std::error_code ec;
    const std::filesystem::path class_dir = sys_root / "class" / "hidraw";
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(class_dir, ec)) {
        names.push_back(entry.path().filename().string());
    }
    // hidraw2 before hidraw10, as the kernel numbered them.
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    for (const std::string& name : names) {
        const std::filesystem::path device = class_dir / name / "device";
        HidrawNode node;
        if (!read_hid_id(device / "uevent", node.vendor, node.product)) continue;
        if (node.vendor != vendor || node.product != product) continue;
        node.device_path = (dev_root / name).string();
        node.hid_name = std::filesystem::canonical(device, ec).filename().string();
        if (ec) node.hid_name.clear();
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

std::string permission_denied_message(const std::string& device_path) {
    return "No permission to open " + device_path + ": install the udev rule " + UdevRuleFile +
           " (see \"Device access without root\" in README.md), then plug the device in again.";
}

}  // namespace vellox
