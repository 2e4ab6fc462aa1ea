#include "ui/MainFormLogic.h"

#include "hid/DefaultHidPlatform.h"
#include "ui/MainFormHost.h"
#include "ui/MainFormLayout.h"

namespace vellox {

MainFormLogic::MainFormLogic(TMainFormOptions options)
    : Language_str(LanguageTable::InitialStr()),
      Language_st_e2(LanguageTable::StE2()),
      Language0(LanguageTable::Zero()),
      options_(std::move(options)) {}

MainFormLogic::~MainFormLogic() = default;

void MainFormLogic::BuildDevices(HidDispatcher& dispatcher) {
    platform_ = options_.platform;
    if (!platform_) platform_ = make_default_hid_platform();
    HidCtl = std::make_unique<THidDeviceController>(*platform_, dispatcher);
    host_ = std::make_unique<MainFormHost>(*this);
    dialogue_ = std::make_unique<DeviceDialogue>(*host_, *HidCtl);
    dialogue_->TraceEnabled = options_.traceEnabled;
    download_ = std::make_unique<FirmwareDownload>(*dialogue_, *host_);
}

void MainFormLogic::ReleaseDevices() {
    // The selected record's reading thread delivers into the engine: stop it first, then the
    // engine gives its records back, then the controller goes, and only then what the
    // controller and its records were built on.
    DevListBoxClick();
    download_.reset();
    dialogue_.reset();
    HidCtl.reset();
    host_.reset();
    platform_.reset();
}

void MainFormLogic::FormCreate() {
    LanguageIndex = 0;
    LinesPerEntry = 4;

    // The gauge sits at the right end of the status bar.
    MoveGaugeOntoStatusBar();

    download_->Busy = false;
    dialogue_->FlashSize = 0;

    SetApplicationTitle();
    SetStatusBarFontPoints(layout::kStatusFontPoints);

    if (dialogue_->TraceEnabled) SetMemo4Visible();

    // The click on language_button, from code.
    language_buttonClick();

    FitGridColumns();
}

void MainFormLogic::CLOSEME(bool& CanClose) {
    // Closing is allowed in every state, during a download too.
    CanClose = true;
    closeRequested_ = true;
}

std::string_view MainFormLogic::LanguageLine(std::size_t line) const {
    return Language_str.Line(line);
}

std::string_view MainFormLogic::LanguageText(std::size_t entry) const {
    return Language_str.Text(entry, LinesPerEntry, LanguageIndex);
}

void MainFormLogic::language_buttonClick() {
    ++LanguageIndex;
    if (LanguageIndex > 1) LanguageIndex = 0;

    LanguageCaptions c;
    std::size_t i = LanguageIndex + 1u;
    c.language_button = LanguageLine(i);
    i += LinesPerEntry;
    c.Write_car = LanguageLine(i);
    i += LinesPerEntry;
    c.Verify = LanguageLine(i);
    i += LinesPerEntry;
    c.READ_car = LanguageLine(i);

    i = static_cast<std::size_t>(LinesPerEntry) * 11u + 1u + LanguageIndex;
    c.gridHeader0 = LanguageLine(i);
    i += LinesPerEntry;
    c.gridHeader1 = LanguageLine(i);
    ApplyLanguageCaptions(c);
}

void MainFormLogic::FormActivate() {
    formActivated_ = true;
    dialogue_->FormActivate();
}

void MainFormLogic::Timer1Timer() { dialogue_->Timer1Timer(); }

void MainFormLogic::Timer2Timer() { dialogue_->Timer2Timer(); }

void MainFormLogic::WRITE_24AAClick() { download_->WRITE_24AAClick(); }

bool MainFormLogic::FirstShow() {
    if (firstShown_ || formActivated_) return false;
    firstShown_ = true;
    return true;
}

void MainFormLogic::FirstActivation() {
    if (!formActivated_) FormActivate();
}

void MainFormLogic::VerifyClick() { dialogue_->VerifyClick(); }

void MainFormLogic::DevListBoxClick() {
    if (dialogue_) dialogue_->DevListBoxClick();
}

std::string MainFormLogic::NoDeviceText(std::string* details) const {
    const std::vector<std::string> denied = platform_->denied_paths(0xFFFF, 0x2016);
    if (denied.empty()) return "No HID device";
    // Panel 0 holds about sixty characters at its font; the whole advice goes into the tooltip.
    if (details) *details = platform_->access_advice(denied.front());
    return "No permission for " + denied.front() + ": a udev rule is needed";
}

}  // namespace vellox
