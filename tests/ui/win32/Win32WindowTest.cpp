// The Win32 window in this process, under wine: what only this window shows. The engines and
// the handlers' logic are tested below the windows; the Qt window's tests cover the same rules.

#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/EmulatedFirmware.h"
#include "sim/SampleImage.h"
#include "sim/VirtualHidPlatform.h"
#include "ui/MainFormLayout.h"
#include "ui/win32/TMainForm.h"
#include "ui/win32/WideText.h"
#include "ui/win32/Win32Gauge.h"
#include "ui/win32/Win32Look.h"

namespace vellox::win32 {
namespace {

using namespace std::chrono_literals;

// Only turns a hang into a failure.
constexpr auto kHangLimit = 60s;

std::string WindowText(HWND w) {
    wchar_t text[512] = {};
    ::GetWindowTextW(w, text, 512);
    return Narrow(text);
}

// Panel 0 of the status bar through the bar's own message, without the centring tab.
std::string StatusText(HWND bar) {
    wchar_t text[512] = {};
    const LRESULT r = ::SendMessageW(bar, SB_GETTEXTLENGTHW, 0, 0);
    if (LOWORD(r) >= 512) return "<too long>";
    ::SendMessageW(bar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
    std::string s = Narrow(text);
    while (!s.empty() && s.front() == '\t') s.erase(s.begin());
    return s;
}

RECT PlaceIn(HWND w) {
    RECT r{};
    ::GetWindowRect(w, &r);
    ::MapWindowPoints(nullptr, ::GetParent(w), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// The window on the virtual backend, its timers ticked by hand, its boxes and file dialog
// answered without a modal loop.
class Rig : public TMainForm {
  public:
    explicit Rig(bool startTimers = false, bool quitOnDestroy = false)
        : TMainForm(TMainFormOptions{.startTimers = startTimers, .platform = platform},
                    quitOnDestroy) {}

    static inline std::shared_ptr<sim::VirtualHidPlatform> platform;
    std::vector<std::string> errorBoxes;
    std::filesystem::path file;
    std::function<void()> onPump;

    void RunPendingMessages() override {
        if (onPump) onPump();
        TMainForm::RunPendingMessages();
    }

    std::shared_ptr<sim::EmulatedFirmware> firmware;

    void plug(sim::EmulatedDeviceSettings s) {
        firmware = std::make_shared<sim::EmulatedFirmware>(s);
        platform->plug(sim::VirtualDeviceSetup{}, firmware);
    }

    // Pumps and ticks until `done`.
    bool run_until(const std::function<bool()>& done) {
        const auto give_up = std::chrono::steady_clock::now() + kHangLimit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > give_up) return false;
            RunPendingMessages();
            Timer1Timer();
            Timer2Timer();
            ::Sleep(1);
        }
        return true;
    }

  protected:
    void RunErrorBox(std::string_view text) override { errorBoxes.emplace_back(text); }
    void RunMessageBox(std::string_view text) override { errorBoxes.emplace_back(text); }
    std::optional<std::filesystem::path> RunOpenFlashfile() override { return file; }
};

class Win32Window : public ::testing::Test {
  protected:
    void SetUp() override { Rig::platform = std::make_shared<sim::VirtualHidPlatform>(); }
    void TearDown() override { Rig::platform.reset(); }
};

sim::EmulatedDeviceSettings QuickDevice() {
    sim::EmulatedDeviceSettings s;
    s.product_id = "V201";
    s.serial_number = "VX2016-TEST-0001";
    s.erase_pace = 0ns;
    s.latency = 0ns;
    s.interval = 0ns;
    return s;
}

TEST_F(Win32Window, StartsAsTheLayoutSays) {
    Rig form;
    form.Show();
    EXPECT_EQ(::FindWindowA("TMainForm", "Vellox"), form.window());
    RECT client{};
    ::GetClientRect(form.window(), &client);
    EXPECT_EQ(client.right, 800);
    EXPECT_EQ(client.bottom, 450);
    const LONG style = ::GetWindowLongW(form.window(), GWL_STYLE);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME) << "fixed border";
    EXPECT_EQ(Narrow(form.ApplicationTitle()), "Vellox");

    // Starting: the banner and the status bar; the device panel and the gauge hidden.
    EXPECT_FALSE(::IsWindowVisible(form.Panel2));
    EXPECT_TRUE(::IsWindowVisible(form.Image1));
    EXPECT_EQ(StatusText(form.StatusBar1), "Idle");
    EXPECT_FALSE(::IsWindowVisible(form.Gauge1->window()));

    // FormCreate: the gauge at the right end of the status bar, the captions of language 1,
    // the grid's columns filling it.
    EXPECT_EQ(::GetParent(form.Gauge1->window()), form.StatusBar1);
    const RECT gauge = PlaceIn(form.Gauge1->window());
    EXPECT_EQ(gauge.left, 600);
    EXPECT_EQ(gauge.top, 4);
    EXPECT_EQ(gauge.right - gauge.left, 200);
    EXPECT_EQ(gauge.bottom - gauge.top, 39);
    EXPECT_EQ(WindowText(form.Write_car), "Download");
    EXPECT_EQ(WindowText(form.Verify), "Query");
    EXPECT_EQ(WindowText(form.READ_car), "Read");
    EXPECT_EQ(WindowText(form.language_button), "中文");
    EXPECT_EQ(form.StringGrid1->Cells(0, 0), "Information");
    EXPECT_EQ(form.StringGrid1->Cells(1, 0), "Content");
    EXPECT_EQ(form.StringGrid1->ColWidths(0), 360);
    EXPECT_EQ(form.StringGrid1->ColWidths(1), 440);

    // Every control of the table where the table puts it.
    for (const layout::ControlEntry& c : layout::kControls) {
        if (c.kind == layout::ControlKind::Gauge) continue;
        HWND w = form.ControlWindow(c.name);
        const RECT r = PlaceIn(w);
        EXPECT_EQ(r.left, c.left) << c.name;
        EXPECT_EQ(r.top, c.top) << c.name;
        EXPECT_EQ(r.right - r.left, c.width) << c.name;
        EXPECT_EQ(r.bottom - r.top, c.height) << c.name;
    }

    // Memo4 lies beneath Panel2 and StatusBar1, which cover it where they overlap.
    auto above = [](HWND upper, HWND lower) {
        for (HWND w = ::GetWindow(upper, GW_HWNDNEXT); w != nullptr;
             w = ::GetWindow(w, GW_HWNDNEXT)) {
            if (w == lower) return true;
        }
        return false;
    };
    EXPECT_TRUE(above(form.Panel2, form.Memo4));
    EXPECT_TRUE(above(form.StatusBar1, form.Panel2));
}

// Named and CALLBACK: a lambda would convert to a cdecl pointer, wrong for 32-bit stdcall.
void CALLBACK PostTick(HWND w, UINT, UINT_PTR, DWORD) { ::PostMessageW(w, WM_APP + 10, 0, 0); }

// Plugs the device, waits for its information, then clicks Download with a 20 KiB image. The
// click runs the whole download in its handler, with the timers ticking in between.
std::vector<std::uint8_t> DownloadInto(Rig& form, const sim::EmulatedDeviceSettings& device) {
    form.Show();
    form.plug(device);
    form.FormActivate();
    EXPECT_TRUE(form.run_until([&] { return ::IsWindowVisible(form.StringGrid1->window()) != 0; }));
    const std::vector<std::uint8_t> image = sim::make_sample_image(20 * 1024, "V201");
    form.file = std::filesystem::temp_directory_path() / "vellox-win32-window-test.bin";
    std::ofstream(form.file, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));
    const UINT_PTR ticker = ::SetTimer(form.window(), 1, 10, PostTick);
    ::SendMessageW(form.Write_car, BM_CLICK, 0, 0);
    ::KillTimer(form.window(), ticker);
    std::filesystem::remove(form.file);
    return image;
}

TEST_F(Win32Window, ShowsTheDeviceAndDownloadsIntoIt) {
    Rig form;
    const auto image = DownloadInto(form, QuickDevice());
    EXPECT_TRUE(::IsWindowVisible(form.Panel2));
    EXPECT_EQ(form.StringGrid1->Cells(0, 2), "Product ID");
    EXPECT_EQ(form.StringGrid1->Cells(1, 2), "V201");
    EXPECT_EQ(form.StringGrid1->Cells(1, 6), "VX2016-TEST-0001");
    EXPECT_EQ(StatusText(form.StatusBar1), "Download OK!");
    EXPECT_FALSE(form.StatusBarRed());
    EXPECT_TRUE(form.errorBoxes.empty());
    EXPECT_FALSE(::IsWindowVisible(form.Gauge1->window()));
    ASSERT_TRUE(form.firmware);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), form.firmware->flash().begin()));
}

TEST_F(Win32Window, AnExceptionInAHandlerEndsInTheErrorBoxAndTheNextDownloadWorks) {
    Rig form;
    bool thrown = false;
    // Thrown from inside the Download click's waits, in the middle of the erase.
    form.onPump = [&] {
        if (thrown || StatusText(form.StatusBar1) != "Erase......") return;
        thrown = true;
        throw std::runtime_error("handler fault");
    };
    DownloadInto(form, QuickDevice());
    ASSERT_TRUE(thrown);
    EXPECT_EQ(form.errorBoxes, std::vector<std::string>{"Unexpected error: handler fault"});
    ASSERT_TRUE(::IsWindow(form.window()));

    form.onPump = nullptr;
    form.errorBoxes.clear();
    const auto image = sim::make_sample_image(20 * 1024, "V201");
    std::ofstream(form.file, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));
    struct Tick {
        static void CALLBACK Post(HWND w, UINT, UINT_PTR, DWORD) {
            ::PostMessageW(w, WM_APP + 10, 0, 0);
        }
    };
    const UINT_PTR ticker = ::SetTimer(form.window(), 1, 10, &Tick::Post);
    ::SendMessageW(form.Write_car, BM_CLICK, 0, 0);
    ::KillTimer(form.window(), ticker);
    std::filesystem::remove(form.file);
    EXPECT_EQ(StatusText(form.StatusBar1), "Download OK!");
    EXPECT_TRUE(form.errorBoxes.empty());
}

TEST_F(Win32Window, SpeedButtonsKeepNoFocusAndTabMovesIt) {
    Rig form;
    form.Show();
    form.plug(QuickDevice());
    form.FormActivate();
    ASSERT_TRUE(form.run_until([&] { return ::IsWindowVisible(form.StringGrid1->window()) != 0; }));
    ::SendMessageW(form.Verify, BM_CLICK, 0, 0);
    EXPECT_NE(::GetFocus(), form.Verify);
    // The query hides the grid until its reply: Tab can only reach the grid once it is back.
    ASSERT_TRUE(form.run_until([&] { return ::IsWindowVisible(form.StringGrid1->window()) != 0; }));

    ::SetFocus(form.language_button);
    ASSERT_EQ(::GetFocus(), form.language_button);
    ::PostMessageW(form.language_button, WM_KEYDOWN, VK_TAB, 0);
    form.RunPendingMessages();
    EXPECT_EQ(::GetFocus(), form.StringGrid1->window());
}

TEST_F(Win32Window, AFailureTurnsTheBarRedWithItsBox) {
    Rig form;
    sim::EmulatedDeviceSettings device = QuickDevice();
    device.faults.wrong_verify_sum = true;
    DownloadInto(form, device);
    EXPECT_EQ(StatusText(form.StatusBar1), "Verify error");
    EXPECT_TRUE(form.StatusBarRed());
    EXPECT_EQ(form.errorBoxes, std::vector<std::string>{"Verify error"});
}

TEST_F(Win32Window, ClosingDuringADownloadLetsItFinishThenCloses) {
    // As the program's window: its going ends the message loop.
    Rig form(/*startTimers=*/false, /*quitOnDestroy=*/true);
    sim::EmulatedDeviceSettings device = QuickDevice();
    device.faults.wrong_verify_sum = true;
    bool goneWhileBusy = false, hiddenWhileClosing = false;
    form.onPump = [&] {
        if (!form.closeRequested() && form.window() != nullptr &&
            StatusText(form.StatusBar1) == "Writing......") {
            ::PostMessageW(form.window(), WM_CLOSE, 0, 0);
        }
        if (form.closeRequested() && form.Download().Busy) {
            goneWhileBusy |= form.window() == nullptr;
            hiddenWhileClosing |= form.window() != nullptr && !::IsWindowVisible(form.window());
        }
    };
    const auto image = DownloadInto(form, device);
    EXPECT_TRUE(form.closeRequested());
    EXPECT_FALSE(goneWhileBusy) << "the window stays until the download returns";
    EXPECT_FALSE(hiddenWhileClosing) << "and in sight, so that no one unplugs the device";
    EXPECT_EQ(form.window(), nullptr) << "the window went once the download had returned";
    EXPECT_FALSE(form.Download().Busy);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), form.firmware->flash().begin()))
        << "the download ran to its end";
    EXPECT_TRUE(form.errorBoxes.empty()) << "the box after the close request returned at once";
    MSG quit;
    EXPECT_TRUE(::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
        << "the program ends after the download";
}

TEST_F(Win32Window, TimersTickFromStartUp) {
    Rig form(/*startTimers=*/true);
    form.Show();
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < 1s) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        form.RunPendingMessages();
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // A figure for the record, not a target: 100 a second is the aim.
    std::printf("Timer1: %llu ticks in %.3f s\n",
                static_cast<unsigned long long>(form.Timer1Ticks()), seconds);
    EXPECT_GT(form.Timer1Ticks(), 0u) << "no device is listed, and the timers tick all the same";
}

// Gauge1's own look on a 200 × 39 borderless bar; the pixels come from the off-screen picture.
class Win32GaugePixels : public ::testing::Test {
  protected:
    void SetUp() override {
        parent_ = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 300, 100, nullptr, nullptr,
                                    ::GetModuleHandleW(nullptr), nullptr);
        gauge_ = std::make_unique<Win32Gauge>(parent_, 0, 0, 200, 39);
        font_ = CreateLayoutFont({layout::FontFace::Sans, 21}, true);
        gauge_->setFont(font_);
        gauge_->setBorderStyle(TBorderStyle::bsNone);
        gauge_->setForeColor(layout::kBlue);
        gauge_->setBackColor(SystemRgb(COLOR_BTNFACE));
    }
    void TearDown() override {
        gauge_.reset();
        ::DestroyWindow(parent_);
        ::DeleteObject(font_);
    }
    std::uint32_t At(const std::vector<std::uint32_t>& p, int x, int y) {
        return p[static_cast<std::size_t>(y) * 200 + x];
    }

    HWND parent_ = nullptr;
    HFONT font_ = nullptr;
    std::unique_ptr<Win32Gauge> gauge_;
};

constexpr std::uint32_t kBluePixel = 0x0000FF;
constexpr std::uint32_t kYellowPixel = 0xFFFF00;

std::uint32_t Pixel(layout::Rgb c) {
    return (std::uint32_t{c.r} << 16) | (std::uint32_t{c.g} << 8) | c.b;
}

TEST_F(Win32GaugePixels, HalfFillsTheLeftHalfAndInvertsTheText) {
    gauge_->setProgress(50);
    const auto p = gauge_->PaintPixels();
    const std::uint32_t face = Pixel(SystemRgb(COLOR_BTNFACE));
    // Rows 0 and 38 carry no text: the fill ends after x 99.
    for (int y : {0, 38}) {
        for (int x = 0; x < 200; ++x)
            ASSERT_EQ(At(p, x, y), x < 100 ? kBluePixel : face) << x << "," << y;
    }
    // The text: yellow over the blue part, the inverse of the face over the rest, and
    // nothing else anywhere.
    int yellow = 0, inverted = 0;
    for (int y = 0; y < 39; ++y) {
        for (int x = 0; x < 200; ++x) {
            const std::uint32_t c = At(p, x, y);
            if (x < 100) {
                ASSERT_TRUE(c == kBluePixel || c == kYellowPixel)
                    << std::hex << c << " at " << std::dec << x << "," << y;
                yellow += c == kYellowPixel;
            } else {
                ASSERT_TRUE(c == face || c == (face ^ 0xFFFFFFu))
                    << std::hex << c << " at " << std::dec << x << "," << y;
                inverted += c != face;
            }
        }
    }
    EXPECT_GT(yellow, 10);
    EXPECT_GT(inverted, 10);
}

TEST_F(Win32GaugePixels, AnEmptyRangeShowsNoFill) {
    gauge_->setMaxValue(0);
    gauge_->setProgress(0);
    EXPECT_EQ(gauge_->Model().Text(), "0%");
    const auto p = gauge_->PaintPixels();
    for (std::uint32_t c : p) ASSERT_NE(c, kBluePixel);
}

TEST(Win32Fonts, ChineseTextHasGlyphs) {
    const std::wstring family = InstalledFamily(layout::FontFace::Song);
    std::printf("Song face: %s\n", Narrow(family).c_str());
    HFONT font = CreateLayoutFont({layout::FontFace::Song, 16});
    HDC screen = ::GetDC(nullptr);
    HDC dc = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, 64, 32);
    ::SelectObject(dc, bitmap);
    ::SelectObject(dc, font);
    WORD glyphs[2] = {};
    ASSERT_EQ(::GetGlyphIndicesW(dc, L"中文", 2, glyphs, GGI_MARK_NONEXISTING_GLYPHS), 2u);
    EXPECT_NE(glyphs[0], 0xFFFF);
    EXPECT_NE(glyphs[1], 0xFFFF);
    // And they draw: ink on a white ground.
    const RECT all{0, 0, 64, 32};
    ::FillRect(dc, &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    ::SetBkMode(dc, TRANSPARENT);
    ::TextOutW(dc, 2, 2, L"中文", 2);
    int ink = 0;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 64; ++x) ink += ::GetPixel(dc, x, y) != RGB(255, 255, 255);
    }
    EXPECT_GT(ink, 30);
    ::DeleteDC(dc);
    ::DeleteObject(bitmap);
    ::DeleteObject(font);
    ::ReleaseDC(nullptr, screen);
}

}  // namespace
}  // namespace vellox::win32
