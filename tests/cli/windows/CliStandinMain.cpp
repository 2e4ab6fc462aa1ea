// vellox-cli, with SetupApi.dll and HID.dll replaced by the files that VELLOX_TEST_SETUPAPI_DLL
// and VELLOX_TEST_HID_DLL name: the Windows backend's end-to-end tests reach an emulated device
// through the backend's normal binding and the real file calls.
#include <cstdlib>
#include <iostream>

#include "cli/VelloxCli.h"
#include "cli/WindowsArguments.h"
#include "hid/windows/WindowsHidPlatform.h"

int main() {
    const char* setupapi = std::getenv("VELLOX_TEST_SETUPAPI_DLL");
    const char* hid = std::getenv("VELLOX_TEST_HID_DLL");
    set_default_hid_library_files(setupapi ? setupapi : "", hid ? hid : "");
    return vellox::cli::run_cli(vellox::cli::windows_arguments(), {std::cout, std::cerr, false});
}
