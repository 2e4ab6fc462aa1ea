// The Windows backend against wine's own HID stack, and its binding of the two libraries.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>

#include "hid/windows/SystemLibrary.h"
#include "hid/windows/WindowsHidPlatform.h"

namespace {

namespace fs = std::filesystem;

TEST(WindowsHidPlatform, ScansTheSystemsHidInterfacesWithIdentityAndReportLengths) {
    WindowsHidPlatform platform;
    ASSERT_TRUE(platform.available());
    EXPECT_NE(platform.device_change_waitable(), NoHidWaitable);
    // Wine lists its own virtual devices once its device services have them up; on a busy
    // machine, with other tests' programs starting and ending, that can take a moment.
    auto list = platform.scan();
    for (int i = 0; i < 150 && list.empty(); ++i) {
        ::Sleep(200);
        list = platform.scan();
    }
    ASSERT_FALSE(list.empty()) << "wine lists virtual HID devices";
    int wines = 0;  // wine's own virtual devices, vendor 845E
    for (const auto& pnp : list) {
        EXPECT_FALSE(pnp.DevicePath.empty());
        EXPECT_EQ(pnp.InstanceId, std::to_string(pnp.DevInst));
        auto handle = platform.open(pnp.DevicePath, HidOpenMode::QueryOnly);
        if (!handle) continue;
        HidAttributes attributes;
        ASSERT_TRUE(handle->get_attributes(attributes));
        EXPECT_EQ(attributes.Size, sizeof attributes);
        const auto data = handle->get_preparsed_data();
        ASSERT_TRUE(data);
        EXPECT_GT(data->Caps.InputReportByteLength, 0);
        if (attributes.VendorID == 0x845E) {
            EXPECT_NE(attributes.ProductID, 0);
            ++wines;
        }
    }
    EXPECT_GT(wines, 0);
}

TEST(WindowsHidPlatform, AMissingLibraryOrEntryGivesTheEmptySilentState) {
    // No such file; and a "HID library" that lacks every HID entry (the setup stand-in).
    for (const WinHidLibraryFiles& files : {WinHidLibraryFiles{"no-such-setupapi.dll", ""},
                                            WinHidLibraryFiles{"", STANDIN_SETUPAPI}}) {
        WindowsHidPlatform platform(files);
        EXPECT_FALSE(platform.available());
        EXPECT_TRUE(platform.scan().empty());
        EXPECT_EQ(platform.device_change_waitable(), NoHidWaitable);
        EXPECT_FALSE(platform.take_device_change());
        EXPECT_EQ(platform.open("\\\\.\\pipe\\anything", HidOpenMode::ReadWrite), nullptr);
    }
}

TEST(WindowsHidPlatform, LibrariesPlantedBesideTheProgramAreNotLoaded) {
    // Stand-ins listing one device of their own, planted under the system names in the
    // program's folder, which is also the current folder (the test runs in its own folder).
    const fs::path here = fs::current_path();
    const fs::path devices = here / "planted-devices";
    fs::create_directories(devices);
    std::ofstream(devices / "planted.dev") << "\\\\.\\pipe\\vellox-planted 4242\n";
    _putenv_s("VELLOX_TEST_HID_DIR", devices.string().c_str());
    fs::copy_file(STANDIN_SETUPAPI, here / "setupapi.dll", fs::copy_options::overwrite_existing);
    fs::copy_file(STANDIN_HID, here / "hid.dll", fs::copy_options::overwrite_existing);

    const auto lists_planted = [](const WinHidLibraryFiles& files) {
        WindowsHidPlatform platform(files);
        bool listed = false;
        for (const auto& pnp : platform.scan()) listed |= pnp.DevInst == 4242;
        return listed;
    };
    // Named on purpose they are loaded, so the check below can fail.
    EXPECT_TRUE(lists_planted({(here / "setupapi.dll").string(), (here / "hid.dll").string()}));
    EXPECT_FALSE(lists_planted({}));

    // Both rules, also the full path that a loader without the search flag (Windows 7 before
    // its loader update) gets: the library comes from the system folder.
    wchar_t system[MAX_PATH] = {};
    ASSERT_GT(::GetSystemDirectoryW(system, MAX_PATH), 0u);
    for (const auto rule : {vellox::windows::SystemFolderRule::SearchFlag,
                            vellox::windows::SystemFolderRule::FullPath}) {
        HMODULE hid = vellox::windows::load_system_library(L"hid.dll", rule);
        ASSERT_NE(hid, nullptr);
        wchar_t file[MAX_PATH] = {};
        ::GetModuleFileNameW(hid, file, MAX_PATH);
        EXPECT_EQ(::_wcsicmp(fs::path(file).parent_path().wstring().c_str(), system), 0)
            << fs::path(file).string();
        ::FreeLibrary(hid);
    }

    fs::remove(here / "setupapi.dll");
    fs::remove(here / "hid.dll");
    fs::remove_all(devices);
    _putenv_s("VELLOX_TEST_HID_DIR", "");
}

}  // namespace
