#include "hid/linux/LinuxHidPlatform.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "hid/DefaultHidPlatform.h"
#include "hid/linux/HidrawAccess.h"
#include "hid/linux/HidrawSysfs.h"
#include "hid/linux/LinuxHidHandle.h"

namespace fs = std::filesystem;

namespace {

// flock belongs to the open file: closing it, or the process ending, lets go.
class FlockLock : public HidDeviceLock {
  public:
    explicit FlockLock(UniqueFd fd) : fd_(std::move(fd)) {}

  private:
    UniqueFd fd_;
};

}  // namespace

LinuxHidPlatform::LinuxHidPlatform() : LinuxHidPlatform(Options()) {}

LinuxHidPlatform::LinuxHidPlatform(Options options)
    : options_(std::move(options)), monitor_(options_.hotplug, options_.retry_interval) {}

LinuxHidPlatform::~LinuxHidPlatform() = default;

std::vector<std::string> LinuxHidPlatform::denied_paths(std::uint16_t vendor,
                                                        std::uint16_t product) const {
    return vellox::denied_hidraw_nodes(vendor, product, options_.sys_root, options_.dev_root);
}

bool LinuxHidPlatform::access_denied(const std::string& path) const {
    return vellox::check_node_access(path) == vellox::NodeAccess::PermissionDenied;
}

std::string LinuxHidPlatform::access_advice(const std::string& path) const {
    return vellox::permission_denied_message(path);
}

bool LinuxHidPlatform::available() const {
    // Without sysfs there is nothing to scan; a missing hidraw class merely lists nothing.
    std::error_code ec;
    return fs::is_directory(options_.sys_root, ec);
}

std::vector<THidPnPInfo> LinuxHidPlatform::scan() {
    std::vector<THidPnPInfo> list;
    for (const auto& name : list_hidraw_names(options_.sys_root)) {
        const auto info = read_hidraw_interface(options_.sys_root, name);
        if (!info) continue;
        THidPnPInfo pnp;
        pnp.InstanceId = info->hid_name;
        // "0003:FFFF:2016.0007": the part after the dot is the kernel's sequence number.
        const auto dot = info->hid_name.rfind('.');
        if (dot != std::string::npos) {
            pnp.DevInst = static_cast<std::uint32_t>(
                std::strtoul(info->hid_name.c_str() + dot + 1, nullptr, 16));
        }
        pnp.DevicePath = options_.dev_root + "/" + name;
        const auto field = [&](const char* key) {
            const auto it = info->uevent.find(key);
            return it == info->uevent.end() ? std::string() : it->second;
        };
        pnp.DeviceDesc = field("HID_NAME");
        pnp.LocationInformation = field("HID_PHYS");
        pnp.Driver = field("DRIVER");
        pnp.Service = pnp.Driver;
        pnp.Class = "hidraw";
        pnp.EnumeratorName = "HID";
        pnp.Mfg = usb_device_attribute(options_.sys_root, info->hid_dir, "manufacturer");
        std::error_code ec;
        const auto relative =
            fs::relative(info->hid_dir, fs::weakly_canonical(options_.sys_root), ec);
        if (!ec) pnp.PhysicalDeviceObjectName = "/" + relative.string();
        std::uint16_t vendor = 0, product = 0;
        if (parse_hid_id(field("HID_ID"), vendor, product)) {
            char id[40];
            std::snprintf(id, sizeof id, "HID\\VID_%04X&PID_%04X", vendor, product);
            pnp.HardwareID.emplace_back(id);
        }
        list.push_back(std::move(pnp));
    }
    return list;
}

std::unique_ptr<HidHandle> LinuxHidPlatform::open(const std::string& path, HidOpenMode mode) {
    // Query-only needs no more than read access to the node: the identity and descriptor come
    // from sysfs.
    const int flags = (mode == HidOpenMode::ReadWrite ? O_RDWR : O_RDONLY) | O_CLOEXEC |
                      (mode == HidOpenMode::Read ? O_NONBLOCK : 0);
    UniqueFd fd(::open(path.c_str(), flags));
    if (!fd.valid()) {
        const int error = errno;
        // The node is there (or about to be) but not ours yet: udev may still be at work.
        if (error == EACCES || error == EPERM || error == ENOENT) monitor_.arm_retry();
        hid_set_last_error(static_cast<std::uint32_t>(error));
        return nullptr;
    }
    return std::make_unique<LinuxHidHandle>(std::move(fd), options_.sys_root,
                                            fs::path(path).filename().string(),
                                            [this] { monitor_.request_rescan(); });
}

std::unique_ptr<HidWaker> LinuxHidPlatform::make_waker() {
    return std::make_unique<LinuxHidWaker>();
}

HidWaitable LinuxHidPlatform::device_change_waitable() const { return monitor_.fd(); }

bool LinuxHidPlatform::take_device_change() { return monitor_.take(); }

std::unique_ptr<HidDeviceLock> LinuxHidPlatform::try_lock(const std::string& path, HidLockMode mode,
                                                          HidLockResult& result) {
    // A file of its own, so that the lock outlives the handles a record opens and closes.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid()) {
        hid_set_last_error(static_cast<std::uint32_t>(errno));
        result = HidLockResult::Failed;
        return nullptr;
    }
    const int operation = mode == HidLockMode::Exclusive ? LOCK_EX : LOCK_SH;
    if (::flock(fd.get(), operation | LOCK_NB) == 0) {
        result = HidLockResult::Acquired;
        return std::make_unique<FlockLock>(std::move(fd));
    }
    if (errno != EWOULDBLOCK) {
        hid_set_last_error(static_cast<std::uint32_t>(errno));
        result = HidLockResult::Failed;
        return nullptr;
    }
    // Whether a download or only queries stand in the way: a shared lock is refused by an
    // exclusive holder alone. Closing the file gives the probe back.
    result = mode == HidLockMode::Exclusive && ::flock(fd.get(), LOCK_SH | LOCK_NB) == 0
                 ? HidLockResult::HeldShared
                 : HidLockResult::HeldExclusive;
    return nullptr;
}

std::unique_ptr<HidPlatform> make_default_hid_platform() {
    return std::make_unique<LinuxHidPlatform>();
}
