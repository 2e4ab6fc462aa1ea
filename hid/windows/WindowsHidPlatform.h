#pragma once
// The Windows backend: SetupApi.dll scans the HID interface class, HID.dll identifies an
// interface and tells its report lengths, the kernel's file calls open, write and read it.
// Device changes arrive as WM_DEVICECHANGE with DBT_DEVNODES_CHANGED, which Windows sends to
// top-level windows only: the platform keeps a hidden top-level window of its own on the
// thread that creates it, and raises its change signal from that window's procedure. The
// host's loop must dispatch that thread's window messages (hid_wait_signalled does).

#include <windows.h>

#include <memory>
#include <string>

#include "hid/HidPlatform.h"
#include "hid/windows/WinHidLibrary.h"

// The name part of an interface's lock: the path without its \\?\ or \\.\ prefix, in upper
// case, with '/' for '\' (a kernel object name takes no further backslash); a long path is
// replaced by its hash.
std::wstring device_lock_key(const std::string& path);

class WindowsHidPlatform : public HidPlatform {
  public:
    explicit WindowsHidPlatform(const WinHidLibraryFiles& files = {});
    ~WindowsHidPlatform() override;

    bool available() const override { return library_.loaded(); }
    std::string unavailable_reason() const override { return library_.failure(); }
    bool is_gone_error(std::uint32_t error) const override;
    std::uint32_t gone_error() const override { return ERROR_DEVICE_NOT_CONNECTED; }
    bool same_device_path(const std::string& a, const std::string& b) const override;
    std::string device_text(std::string_view bytes) const override;
    std::vector<THidPnPInfo> scan() override;
    std::unique_ptr<HidHandle> open(const std::string& path, HidOpenMode mode) override;
    std::unique_ptr<HidWaker> make_waker() override;
    HidWaitable device_change_waitable() const override;
    bool take_device_change() override { return change_.take(); }
    // Named mutexes in the session's namespace, keyed by the interface path as Windows
    // compares it. Mutexes belong to a thread: take and release a lock on one thread, and one
    // thread does not keep itself out.
    std::unique_ptr<HidDeviceLock> try_lock(const std::string& path, HidLockMode mode,
                                            HidLockResult& result) override;

    // The interface class scanned: what HID.dll reports, else the published HID class.
    const GUID& hid_guid() const { return guid_; }

  private:
    static LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM w, LPARAM l);
    void fill_properties(HDEVINFO set, SP_DEVINFO_DATA& devinfo, THidPnPInfo& pnp) const;

    WinHidLibrary library_;
    GUID guid_{};
    HidChangeSignal change_;
    HWND window_ = nullptr;
};

// Test programs name stand-ins for SetupApi.dll and HID.dll here, before any platform is made;
// the product never calls it, so it always loads the system's own.
void set_default_hid_library_files(std::string setupapi, std::string hid);
