#include "hid/HidPlatform.h"

#include <cerrno>

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

std::string latin1_to_utf8(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            text += c;
        } else {
            text += static_cast<char>(0xC0 | (byte >> 6));
            text += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return text;
}

bool HidPlatform::is_gone_error(std::uint32_t error) const { return error == ENODEV; }

std::uint32_t HidPlatform::gone_error() const { return ENODEV; }
