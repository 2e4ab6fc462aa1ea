#pragma once
// The main window without its toolkit: the window state, the language tables and switch, the
// device controller and the engines with their build and release order, the handlers in the
// order they run, and the mapping from engine calls to control changes (MainFormHost). The Qt
// window and the Win32 window derive from it and implement the hooks below, which create and
// draw nothing but what the hook names.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dialogue/DeviceDialogue.h"
#include "dialogue/LanguageTable.h"
#include "firmware/FirmwareDownload.h"
#include "hid/HidPlatform.h"
#include "hid/THidDeviceController.h"

class HidDispatcher;

namespace vellox {

// What the window is built with. The program uses the defaults; tests and the demo pass
// their own.
struct TMainFormOptions {
    // Start Timer1 and Timer2 at creation. Tests switch this off and call the tick handlers
    // themselves.
    bool startTimers = true;
    // The HID backend. Empty: the system's own. Whenever no supported device is listed it is
    // asked for interfaces this user may not open, so that the status bar can say so.
    std::shared_ptr<HidPlatform> platform;
    // The report trace in Memo4, shown from start-up.
    bool traceEnabled = TraceByDefault;
};

// The captions the language switch sets.
struct LanguageCaptions {
    std::string language_button, Write_car, Verify, READ_car;
    std::string gridHeader0, gridHeader1;
};

class MainFormHost;

class MainFormLogic {
  public:
    explicit MainFormLogic(TMainFormOptions options);
    virtual ~MainFormLogic();

    MainFormLogic(const MainFormLogic&) = delete;
    MainFormLogic& operator=(const MainFormLogic&) = delete;

    // Language tables: the active one and the two variants copied into it.
    LanguageTable Language_str;
    LanguageTable Language_st_e2;
    LanguageTable Language0;

    // The device controller; the platform and the dispatcher it was given outlive it.
    std::unique_ptr<THidDeviceController> HidCtl;

    // Window state; every other field starts as zero, false or empty. Busy and FlashSize
    // live in the engines (Download().Busy, Dialogue().FlashSize).
    std::uint8_t LanguageIndex = 0;
    std::uint8_t LinesPerEntry = 0;

    // Handlers. The device work is done by the engines; these delegate.
    void FormCreate();
    void FormActivate();
    void CLOSEME(bool& CanClose);
    void language_buttonClick();
    void Timer1Timer();
    void Timer2Timer();
    void WRITE_24AAClick();
    void VerifyClick();
    void DevListBoxClick();

    DeviceDialogue& Dialogue() { return *dialogue_; }
    FirmwareDownload& Download() { return *download_; }
    HidPlatform& Platform() { return *platform_; }
    const TMainFormOptions& Options() const { return options_; }

    // Lookup in the active table for the current language, and line n of it.
    std::string_view LanguageText(std::size_t entry) const;
    std::string_view LanguageLine(std::size_t line) const;

    // True once FormActivate has run: the toolkit's first showing then brings no other.
    bool FormActivated() const { return formActivated_; }

    // True once the window has been asked to close. A nested wait (a download) runs on to its
    // end after that, and message boxes it raises close at once.
    bool closeRequested() const { return closeRequested_; }

    // What panel 0 shows for "No HID device": that text, or why the supported device cannot
    // be opened (with the full advice in `details`).
    std::string NoDeviceText(std::string* details = nullptr) const;

    // The first activation comes once the event loop runs after the window was first shown,
    // however it was shown; later ones are those after the program's own message boxes (see
    // MainFormHost), not every focus change. The toolkit calls FirstShow at each show and,
    // when it answers true (once), queues FirstActivation behind what is pending.
    bool FirstShow();
    // FormActivate, unless an activation came first.
    void FirstActivation();

  protected:
    // Builds the controller and the engines on the window's thread, once the controls exist
    // and before FormCreate. The dispatcher must outlive ReleaseDevices.
    void BuildDevices(HidDispatcher& dispatcher);
    // The first thing the toolkit window's destructor does, while its controls still exist.
    void ReleaseDevices();

    // FormCreate's steps that belong to the toolkit, in the order FormCreate runs them.
    // Move Gauge1 into StatusBar1, keeping its top and size, its left edge at the bar's width
    // less its own.
    virtual void MoveGaugeOntoStatusBar() = 0;
    virtual void SetApplicationTitle() = 0;
    virtual void SetStatusBarFontPoints(int points) = 0;
    virtual void SetMemo4Visible() = 0;
    virtual void ApplyLanguageCaptions(const LanguageCaptions& captions) = 0;
    // Column 1 of StringGrid1 takes what column 0 leaves of the grid's width.
    virtual void FitGridColumns() = 0;

    // What the engines change, through MainFormHost.
    virtual void SetStatusBar(std::string_view text, bool red, std::string_view details) = 0;
    virtual void ClearMemo4() = 0;
    virtual void AppendMemo4(std::string_view line) = 0;
    virtual void SetPanel2Visible(bool visible) = 0;
    // Row 0 is the header and keeps the texts the language switch put there.
    virtual void SetGridRows(const std::vector<std::pair<std::string, std::string>>& rows,
                             bool visible) = 0;
    virtual void SetGaugeVisible(bool visible) = 0;
    virtual void SetGaugeMax(std::int32_t max) = 0;
    virtual void SetGaugeProgress(std::int32_t progress) = 0;

    // What waits on the user or the event loop. None is called once the window has been
    // asked to close.
    // The modal error box: error icon, one OK button, titled with the application title.
    virtual void RunErrorBox(std::string_view text) = 0;
    // The plain message box: the text and an OK button.
    virtual void RunMessageBox(std::string_view text) = 0;
    // OpenFlashfile; the chosen file, or nothing when cancelled.
    virtual std::optional<std::filesystem::path> RunOpenFlashfile() = 0;
    // One pass of the message loop for the engines' waits.
    virtual void RunPendingMessages() = 0;

  private:
    friend class MainFormHost;

    TMainFormOptions options_;
    bool closeRequested_ = false;
    bool formActivated_ = false;
    bool firstShown_ = false;

    // Destroyed in reverse order, after the engines: controller, host, platform.
    std::shared_ptr<HidPlatform> platform_;
    std::unique_ptr<MainFormHost> host_;
    std::unique_ptr<DeviceDialogue> dialogue_;
    std::unique_ptr<FirmwareDownload> download_;
};

}  // namespace vellox
