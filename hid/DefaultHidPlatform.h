#pragma once
// The platform backend the programs run on this system.

#include <memory>

#include "hid/HidPlatform.h"

std::unique_ptr<HidPlatform> make_default_hid_platform();

#ifdef _WIN32
#include <string>
// Test programs name stand-ins for SetupApi.dll and HID.dll here, before any platform is made;
// the product never calls it, so it always loads the system's own.
void set_default_hid_library_files(std::string setupapi, std::string hid);
#endif
