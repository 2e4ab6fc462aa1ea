#include "cli/SystemPlatform.h"

#include <stdexcept>

namespace vellox::cli {

std::unique_ptr<HidPlatform> make_system_platform() {
    throw std::runtime_error("the Linux HID backend is not part of this build yet");
}

}  // namespace vellox::cli
