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

#include "ui/MainFormLogic.h"
#include "ui/qt/TGauge.h"
#include "ui/qt/TOpenDialog.h"
#include "ui/qt/TStatusBar.h"
#include "ui/qt/TStringGrid.h"

class QCloseEvent;
class QShowEvent;
class QtHidDeviceWatcher;
class QtHidDispatcher;

namespace vellox {

class TMainForm : public QWidget, public MainFormLogic {
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

    // Non-visual members.
    TOpenDialog OpenFlashfile;
    QTimer Timer1;
    QTimer Timer2;

    QtHidDispatcher& Dispatcher() { return *dispatcher_; }

    // Lookup in the active table for the current language.
    QString text(std::size_t entry) const;

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

    // MainFormLogic's hooks.
    void MoveGaugeOntoStatusBar() override;
    void SetApplicationTitle() override;
    void SetStatusBarFontPoints(int points) override;
    void SetMemo4Visible() override;
    void ApplyLanguageCaptions(const LanguageCaptions& captions) override;
    void FitGridColumns() override;
    void SetStatusBar(std::string_view text, bool red, std::string_view details) override;
    void ClearMemo4() override;
    void AppendMemo4(std::string_view line) override;
    void SetPanel2Visible(bool visible) override;
    void SetGridRows(const std::vector<std::pair<std::string, std::string>>& rows,
                     bool visible) override;
    void SetGaugeVisible(bool visible) override;
    void SetGaugeMax(std::int32_t max) override;
    void SetGaugeProgress(std::int32_t progress) override;
    void RunErrorBox(std::string_view text) override;
    void RunMessageBox(std::string_view text) override;
    std::optional<std::filesystem::path> RunOpenFlashfile() override;
    void RunPendingMessages() override;

  private:
    void BuildLayout();

    int downloadDepth_ = 0;
    bool closeAfterDownload_ = false;
    // Outlives the controller (see ~TMainForm); the watcher goes first.
    std::unique_ptr<QtHidDispatcher> dispatcher_;
    std::unique_ptr<QtHidDeviceWatcher> watcher_;
};

}  // namespace vellox
