#pragma once
// The platform HID backend of the machine the command line runs on.

#include <memory>

#include "hid/HidPlatform.h"

namespace vellox::cli {

std::unique_ptr<HidPlatform> make_system_platform();

}  // namespace vellox::cli
