#include "hid/HidPlatform.h"

#include <cerrno>

namespace {
thread_local std::uint32_t t_last_error = 0;
}

void hid_set_last_error(std::uint32_t code) { t_last_error = code; }

std::uint32_t hid_last_error() { return t_last_error; }

std::uint32_t HidPlatform::last_error() const { return hid_last_error(); }

bool HidPlatform::is_gone_error(std::uint32_t error) const { return error == ENODEV; }

std::uint32_t HidPlatform::gone_error() const { return ENODEV; }
