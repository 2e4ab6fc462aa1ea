#pragma once
// The platform backend the programs run on this system.

#include <memory>

#include "hid/HidPlatform.h"

std::unique_ptr<HidPlatform> make_default_hid_platform();
