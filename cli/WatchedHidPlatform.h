#pragma once
// The session's view of the platform: counts the output reports written through it, so that
// the event loop can tell a sent report from the outside.

#include <memory>
#include <string>
#include <string_view>

#include "hid/HidPlatform.h"
#include "hid/THidDevice.h"

namespace vellox::cli {

class WatchedHidPlatform : public HidPlatform {
  public:
    explicit WatchedHidPlatform(HidPlatform& inner) : inner_(inner) {}

    bool available() const override { return inner_.available(); }
    std::vector<THidPnPInfo> scan() override { return inner_.scan(); }
    std::unique_ptr<HidHandle> open(const std::string& path, HidOpenMode mode) override;
    std::unique_ptr<HidWaker> make_waker() override { return inner_.make_waker(); }
    std::uint32_t last_error() const override { return inner_.last_error(); }
    bool is_gone_error(std::uint32_t error) const override { return inner_.is_gone_error(error); }
    std::uint32_t gone_error() const override { return inner_.gone_error(); }
    std::string device_text(std::string_view bytes) const override {
        return inner_.device_text(bytes);
    }
    bool same_device_path(const std::string& a, const std::string& b) const override {
        return inner_.same_device_path(a, b);
    }
    std::string unavailable_reason() const override { return inner_.unavailable_reason(); }
    HidWaitable device_change_waitable() const override { return inner_.device_change_waitable(); }
    bool take_device_change() override { return inner_.take_device_change(); }
    std::unique_ptr<HidDeviceLock> try_lock(const std::string& path, HidLockMode mode,
                                            HidLockResult& result) override {
        return inner_.try_lock(path, mode, result);
    }

    // Output reports written so far (user-interface thread).
    std::uint64_t writes() const { return writes_; }

  private:
    HidPlatform& inner_;
    std::uint64_t writes_ = 0;
};

}  // namespace vellox::cli
