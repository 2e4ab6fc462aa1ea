#include "hid/HidPlatform.h"

namespace {
thread_local std::uint32_t t_last_error = 0;
}

void hid_set_last_error(std::uint32_t code) { t_last_error = code; }

std::uint32_t hid_last_error() { return t_last_error; }

std::uint32_t HidPlatform::last_error() const { return hid_last_error(); }

std::unique_ptr<HidDeviceLock> HidPlatform::try_lock(const std::string& /*path*/,
                                                     HidLockMode /*mode*/, HidLockResult& result) {
    result = HidLockResult::Acquired;
    return std::make_unique<HidDeviceLock>();
}
