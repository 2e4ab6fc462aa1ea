#include "hid/DefaultHidPlatform.h"

#if defined(__linux__)
#include "hid/linux/LinuxHidPlatform.h"
#elif defined(_WIN32)
#include "hid/windows/WindowsHidPlatform.h"
#endif

#if !defined(__linux__) && !defined(_WIN32)
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

#ifdef _WIN32
namespace {
WinHidLibraryFiles g_library_files;
}

void set_default_hid_library_files(std::string setupapi, std::string hid) {
    g_library_files = {std::move(setupapi), std::move(hid)};
}
#endif

std::unique_ptr<HidPlatform> make_default_hid_platform() {
#if defined(__linux__)
    return std::make_unique<LinuxHidPlatform>();
#elif defined(_WIN32)
    return std::make_unique<WindowsHidPlatform>(g_library_files);
#else
    return std::make_unique<NoHidPlatform>();
#endif
}
