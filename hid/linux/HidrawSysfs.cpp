#include "hid/linux/HidrawSysfs.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string trim(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
    return s;
}

// The USB device directory is the first ancestor of the HID device that holds bcdDevice
// (HID device -> USB interface -> USB device); stop at the sysfs root.
std::optional<fs::path> usb_device_dir(const std::string& sys_root, const std::string& hid_dir) {
    std::error_code ec;
    const fs::path root = fs::weakly_canonical(sys_root, ec);
    fs::path dir = fs::path(hid_dir).parent_path();
    for (int level = 0; level < 4 && !dir.empty() && dir != root && dir != dir.root_path();
         ++level) {
        if (fs::exists(dir / "bcdDevice", ec)) return dir;
        dir = dir.parent_path();
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> read_sysfs_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return data;
}

std::vector<std::string> list_hidraw_names(const std::string& sys_root) {
    std::vector<std::pair<long, std::string>> found;
    std::error_code ec;
    for (fs::directory_iterator it(fs::path(sys_root) / "class" / "hidraw", ec), end;
         !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind("hidraw", 0) != 0 || name.size() == 6) continue;
        char* tail = nullptr;
        const long number = std::strtol(name.c_str() + 6, &tail, 10);
        if (*tail != '\0' || number < 0) continue;
        found.emplace_back(number, name);
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> names;
    for (auto& entry : found) names.push_back(std::move(entry.second));
    return names;
}

std::optional<HidrawInterface> read_hidraw_interface(const std::string& sys_root,
                                                     const std::string& name) {
    std::error_code ec;
    const fs::path device = fs::path(sys_root) / "class" / "hidraw" / name / "device";
    const fs::path hid_dir = fs::canonical(device, ec);
    if (ec) return std::nullopt;
    const auto uevent = read_sysfs_file((hid_dir / "uevent").string());
    if (!uevent) return std::nullopt;
    HidrawInterface info;
    info.name = name;
    info.hid_dir = hid_dir.string();
    info.hid_name = hid_dir.filename().string();
    info.uevent = parse_uevent_text(*uevent);
    return info;
}

std::map<std::string, std::string> parse_uevent_text(const std::string& text) {
    std::map<std::string, std::string> properties;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const auto eq = line.find('=');
        if (eq != std::string::npos) properties[line.substr(0, eq)] = trim(line.substr(eq + 1));
    }
    return properties;
}

bool parse_hid_id(const std::string& value, std::uint16_t& vendor, std::uint16_t& product) {
    unsigned long fields[3];
    const char* p = value.c_str();
    for (int i = 0; i < 3; ++i) {
        char* end = nullptr;
        fields[i] = std::strtoul(p, &end, 16);
        if (end == p || (i < 2 && *end != ':')) return false;
        p = end + 1;
    }
    // The kernel prints 32-bit fields; the USB numbers are their low 16 bits.
    vendor = static_cast<std::uint16_t>(fields[1] & 0xFFFF);
    product = static_cast<std::uint16_t>(fields[2] & 0xFFFF);
    return true;
}

std::optional<std::uint16_t> usb_bcd_device(const std::string& sys_root,
                                            const std::string& hid_dir) {
    const auto dir = usb_device_dir(sys_root, hid_dir);
    if (!dir) return std::nullopt;
    const auto text = read_sysfs_file((*dir / "bcdDevice").string());
    if (!text) return std::nullopt;
    char* end = nullptr;
    const unsigned long value = std::strtoul(text->c_str(), &end, 16);
    if (end == text->c_str() || value > 0xFFFF) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

std::string usb_device_attribute(const std::string& sys_root, const std::string& hid_dir,
                                 const std::string& attribute) {
    const auto dir = usb_device_dir(sys_root, hid_dir);
    if (!dir) return {};
    return trim(read_sysfs_file((*dir / attribute).string()).value_or(""));
}
