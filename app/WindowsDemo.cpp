// vellox-demo on Windows: the Win32 window on the virtual backend, with one emulated device
// plugged in shortly after start. Its command line: see DemoSetup.h.

#include <windows.h>

#include <shellapi.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/DemoSetup.h"
#include "firmware/ImageFile.h"
#include "sim/EmulatedFirmware.h"
#include "sim/VirtualHidPlatform.h"
#include "ui/win32/CallbackBoundary.h"
#include "ui/win32/TMainForm.h"
#include "ui/win32/WideText.h"

namespace {

// The window with a file dialog that can be answered once from the command line.
class DemoForm : public vellox::win32::TMainForm {
  public:
    using TMainForm::TMainForm;
    std::string autoFile;

  protected:
    std::optional<std::filesystem::path> RunOpenFlashfile() override {
        if (autoFile.empty()) return TMainForm::RunOpenFlashfile();
        return vellox::path_from_utf8(std::exchange(autoFile, std::string()));
    }
};

struct Demo {
    DemoForm* form = nullptr;
    std::shared_ptr<sim::VirtualHidPlatform> platform;
    std::shared_ptr<sim::EmulatedFirmware> firmware;
    vellox::demo::DemoOptions options;
    bool downloadArmed = false;
};
Demo* g_demo = nullptr;

void CALLBACK PlugDevice(HWND, UINT, UINT_PTR timer, DWORD) {
    ::KillTimer(nullptr, timer);
    vellox::win32::CatchAtBoundary(0, [] {
        sim::VirtualDeviceSetup setup;
        setup.product_name = "Vellox emulated device";
        setup.exclusive = g_demo->firmware->settings().faults.query_only;
        setup.locked_elsewhere = g_demo->firmware->settings().faults.locked_elsewhere;
        g_demo->platform->plug(setup, g_demo->firmware);
        return 0;
    });
}

void CALLBACK PressDownload(HWND, UINT, UINT_PTR timer, DWORD) {
    ::KillTimer(nullptr, timer);
    g_demo->form->autoFile = g_demo->options.download;
    ::SendMessageW(g_demo->form->Write_car, BM_CLICK, 0, 0);
}

// Presses Download once the information grid is up.
void CALLBACK WatchForInformation(HWND, UINT, UINT_PTR timer, DWORD) {
    if (g_demo->form->Dialogue().FlashSize == 0 || g_demo->downloadArmed) return;
    g_demo->downloadArmed = true;
    ::KillTimer(nullptr, timer);
    ::SetTimer(nullptr, 0, static_cast<UINT>(g_demo->options.downloadAfterMs), &PressDownload);
}

std::vector<std::string> Arguments() {
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 0; i < count; ++i) args.push_back(vellox::win32::Narrow(wide[i]));
    ::LocalFree(wide);
    return args;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show) {
    const std::vector<std::string> args = Arguments();
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    const vellox::demo::ParsedDemoOptions parsed =
        vellox::demo::parse_demo_options(static_cast<int>(argv.size()), argv.data());
    if (!parsed) {
        ::MessageBoxW(nullptr, vellox::win32::Widen(parsed.error).c_str(), L"vellox-demo",
                      MB_OK | MB_ICONERROR);
        return 2;
    }

    Demo demo;
    g_demo = &demo;
    demo.options = parsed.options;
    demo.platform = std::make_shared<sim::VirtualHidPlatform>();
    demo.firmware = std::make_shared<sim::EmulatedFirmware>(demo.options.device);
    DemoForm form(vellox::TMainFormOptions{.startTimers = true, .platform = demo.platform},
                  /*quitOnDestroy=*/true);
    demo.form = &form;

    // The sample image lies beside the demo.
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    form.OpenFlashfileInitialDir = std::filesystem::path(self).parent_path().wstring();

    ::SetTimer(nullptr, 0, static_cast<UINT>(std::max(demo.options.plugAfterMs, 1)), &PlugDevice);
    if (!demo.options.download.empty()) ::SetTimer(nullptr, 0, 50, &WatchForInformation);

    form.Show(show);
    form.Run();
    g_demo = nullptr;
    return 0;
}
