#pragma once
// The platform backend the programs run on this system; each backend's own source defines it,
// and the build takes the one of the system it builds for.

#include <memory>

#include "hid/HidPlatform.h"

std::unique_ptr<HidPlatform> make_default_hid_platform();
