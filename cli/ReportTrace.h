#pragma once
// --trace for builds whose dialogue engine has its trace switched off: the same lines the
// engine writes into Memo4 ("out->:" for each report sent, "IN<-  " for each report handed to
// its reply handler), taken at the same two points from outside the engine.
//
// Sent reports are seen by wrapping the platform's handles (the write happens inside
// send_report, on the user-interface thread, right where the engine would trace it). Received
// reports are seen by wrapping the selected record's data event, which the engine sets to its
// HidDevData; reattach() must run before handed-over reports are delivered.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "hid/HidPlatform.h"
#include "hid/THidDevice.h"

namespace vellox {
class DeviceDialogue;
}

namespace vellox::cli {

using TraceSink = std::function<void(std::string_view line)>;

// The session's view of the platform: optionally traces every written output report, and
// counts them.
class WatchedHidPlatform : public HidPlatform {
  public:
    // An empty sink traces nothing.
    WatchedHidPlatform(HidPlatform& inner, TraceSink sink)
        : inner_(inner), sink_(std::move(sink)) {}

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
    TraceSink sink_;
    std::uint64_t writes_ = 0;
};

// Sits between the selected record and the engine's reply handler.
class ReplyTraceTap {
  public:
    ReplyTraceTap(DeviceDialogue& dialogue, TraceSink sink)
        : dialogue_(dialogue), sink_(std::move(sink)) {}

    // Puts the tap in front of HidDevData if the engine has just (re)installed it.
    void reattach();

    void operator()(THidDevice* HidDev, std::uint8_t ReportID, const std::uint8_t* Data,
                    std::uint16_t Size);

  private:
    DeviceDialogue& dialogue_;
    TraceSink sink_;
};

}  // namespace vellox::cli
