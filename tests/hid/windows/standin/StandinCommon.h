#pragma once
// What the two stand-in DLLs share: the class GUIDs Windows uses for HID devices, and a
// register of the objects they have handed out, so that a handle freed twice or never
// handed out fails as the real service would fail it instead of corrupting memory.

#include <windows.h>

#include <functional>
#include <memory>
#include <mutex>
#include <set>

namespace standin {

// The HID device interface class, as HidD_GetHidGuid gives it.
inline constexpr GUID hid_interface_guid = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
// The setup class of HID devices ("HIDClass").
inline constexpr GUID hid_setup_class_guid = {
    0x745A17A0, 0x74D3, 0x11D0, {0xB6, 0xFE, 0x00, 0xA0, 0xC9, 0x0F, 0x57, 0xDA}};

template <typename T>
class Register {
  public:
    T* add(std::unique_ptr<T> object) {
        std::lock_guard<std::mutex> lock(mutex_);
        return live_.insert(std::move(object)).first->get();
    }
    // The object if it is live; the caller must not keep it past remove().
    T* find(const void* handle) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = live_.find(handle);
        return it == live_.end() ? nullptr : it->get();
    }
    bool remove(const void* handle) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = live_.find(handle);
        if (it == live_.end()) return false;
        live_.erase(it);
        return true;
    }

  private:
    // Ordered by address, searchable by a plain pointer.
    struct ByAddress {
        using is_transparent = void;
        bool operator()(const std::unique_ptr<T>& a, const std::unique_ptr<T>& b) const {
            return less(a.get(), b.get());
        }
        bool operator()(const std::unique_ptr<T>& a, const void* b) const {
            return less(a.get(), b);
        }
        bool operator()(const void* a, const std::unique_ptr<T>& b) const {
            return less(a, b.get());
        }
        static bool less(const void* a, const void* b) { return std::less<const void*>{}(a, b); }
    };
    std::mutex mutex_;
    std::set<std::unique_ptr<T>, ByAddress> live_;
};

}  // namespace standin
