#pragma once
// The program's one window: banner, device panel, information grid, status bar with the
// progress gauge, and the handlers that the device work runs in.

#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dialogue/DeviceDialogue.h"
#include "firmware/FirmwareDownload.h"
#include "hid/HidPlatform.h"
#include "hid/THidDeviceController.h"
#include "dialogue/LanguageTable.h"
#include "ui/TGauge.h"
#include "ui/TOpenDialog.h"
#include "ui/TStatusBar.h"
#include "ui/TStringGrid.h"

class QCloseEvent;
class QShowEvent;
class QtHidDeviceWatcher;
class QtHidDispatcher;

namespace vellox {

// What the window is built with. The program uses the defaults; tests and the demo pass
// their own.
struct TMainFormOptions {
    // Start Timer1 and Timer2 at creation. Tests switch this off and call the tick handlers
    // themselves.
    bool startTimers = true;
    // The HID backend. Empty: the system's own (hidraw), which also turns on the permission
    // check below.
    std::shared_ptr<HidPlatform> platform;
    // Device nodes of the supported device that this user may not open. Asked whenever no
    // supported device is listed, so that the status bar can point at the udev rule.
    std::function<std::vector<std::string>()> deniedNodes;
};

class TMainFormHost;

class TMainForm : public QWidget {
    Q_OBJECT
  public:
    explicit TMainForm(TMainFormOptions options = {}, QWidget* parent = nullptr);
    ~TMainForm() override;

    TMainForm(const TMainForm&) = delete;
    TMainForm& operator=(const TMainForm&) = delete;

    // Controls, by their layout names. Declaration order matters: a control is destroyed
    // before the control it lives in, and StatusBar1 comes before Gauge1 because FormCreate
    // moves the gauge into it. The stacking order is set explicitly in the constructor.
    QToolButton ReadBtn;
    QLabel Image1;
    QPlainTextEdit Memo4;
    QFrame Panel2;
    QToolButton READ_car;
    QToolButton Write_car;
    QToolButton Verify;
    TStringGrid StringGrid1;
    QListWidget DevListBox;
    QPushButton language_button;
    TStatusBar StatusBar1;
    TGauge Gauge1;

    // Language tables: the active one and the two variants copied into it.
    LanguageTable Language_str;
    LanguageTable Language_st_e2;
    LanguageTable Language0;

    // Non-visual members.
    TOpenDialog OpenFlashfile;
    QTimer Timer1;
    QTimer Timer2;

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
    QtHidDispatcher& Dispatcher() { return *dispatcher_; }

    // Lookup in the active table for the current language.
    QString text(std::size_t entry) const;

    // True once the window has been asked to close. A nested wait (a download) runs on to its
    // end after that, and message boxes it raises close at once.
    bool closeRequested() const { return closeRequested_; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

    // Hooks for what waits on the user or the event loop, so that tests can answer them
    // without a modal loop. None is called once the window has been asked to close.
    // The modal error box: error icon, one OK button.
    virtual void ExecuteErrorBox(const QString& text);
    // The plain message box: the text and an OK button.
    virtual void ExecuteMessageBox(const QString& text);
    // OpenFlashfile; the chosen file, or nothing when cancelled.
    virtual std::optional<QString> ExecuteOpenFlashfile();
    // One pass of the message loop for the engines' waits.
    virtual void PumpMessages();

  private:
    friend class TMainFormHost;

    void BuildLayout();
    void BuildDevices();
    QString LanguageLine(std::size_t line) const;
    // "No HID device", or why the supported device cannot be opened (with the full advice in
    // `details`).
    QString NoDeviceText(QString* details = nullptr) const;

    TMainFormOptions options_;
    bool closeRequested_ = false;
    bool activated_ = false;

    // Destroyed in reverse order, after the engines: watcher, controller, dispatcher, platform.
    std::shared_ptr<HidPlatform> platform_;
    std::unique_ptr<QtHidDispatcher> dispatcher_;
    std::unique_ptr<QtHidDeviceWatcher> watcher_;
    std::unique_ptr<TMainFormHost> host_;
    std::unique_ptr<DeviceDialogue> dialogue_;
    std::unique_ptr<FirmwareDownload> download_;
};

}  // namespace vellox
