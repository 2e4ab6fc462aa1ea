#include "hid/DefaultHidPlatform.h"

#if defined(__linux__)
#include "hid/linux/LinuxHidPlatform.h"
#endif

#if !defined(__linux__)
namespace {

// A platform without a HID service: lists nothing, reports no changes.
class NoHidPlatform : public HidPlatform {
  public:
    bool available() const override { return false; }
    std::vector<THidPnPInfo> scan() override { return {}; }
    std::unique_ptr<HidHandle> open(const std::string&, HidOpenMode) override { return nullptr; }
    std::unique_ptr<HidWaker> make_waker() override { return nullptr; }
};

}  // namespace
#endif

std::unique_ptr<HidPlatform> make_default_hid_platform() {
#if defined(__linux__)
    return std::make_unique<LinuxHidPlatform>();
#else
    return std::make_unique<NoHidPlatform>();
#endif
}
