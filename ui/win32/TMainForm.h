#pragma once
// The program's one window on Windows, in plain Win32: banner, device panel, information
// grid, status bar with the progress gauge. Layout, state and handlers come from
// MainFormLogic and the layout table; this class creates the controls and draws them.

#include <windows.h>

#include <commctrl.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ui/MainFormLogic.h"
#include "ui/win32/Win32Gauge.h"
#include "ui/win32/Win32HidDispatcher.h"
#include "ui/win32/Win32StringGrid.h"
#include "ui/win32/Win32Ticker.h"

namespace vellox::win32 {

class TMainForm : public MainFormLogic {
  public:
    // `quitOnDestroy`: the program's window ends the message loop when it goes.
    explicit TMainForm(TMainFormOptions options = {}, bool quitOnDestroy = false);
    ~TMainForm() override;

    HWND window() const { return window_; }

    // Controls, by their layout names.
    HWND ReadBtn = nullptr;
    HWND Image1 = nullptr;
    HWND Memo4 = nullptr;
    HWND Panel2 = nullptr;
    HWND READ_car = nullptr;
    HWND Write_car = nullptr;
    HWND Verify = nullptr;
    std::unique_ptr<Win32StringGrid> StringGrid1;
    HWND DevListBox = nullptr;
    HWND language_button = nullptr;
    HWND StatusBar1 = nullptr;
    std::unique_ptr<Win32Gauge> Gauge1;

    // A control's window by its layout name.
    HWND ControlWindow(std::string_view name) const;

    // Folder the open-file dialog starts in; empty for the system's choice.
    std::wstring OpenFlashfileInitialDir;

    // The application title, which message boxes carry.
    const std::wstring& ApplicationTitle() const { return applicationTitle_; }
    // StatusBar1's colour: red after an error.
    bool StatusBarRed() const { return statusRed_; }
    // Ticks of Timer1 so far.
    std::uint64_t Timer1Ticks() const { return timer1Ticks_; }

    // Shows the window; its first activation follows from the message loop.
    void Show(int how = SW_SHOWNORMAL);
    // Runs the message loop until the window is gone and the loop told to end; the exit code.
    int Run();
    // Handles everything pending and returns: the engines' waits, and tests.
    void RunPendingMessages() override;

  protected:
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

  private:
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM w, LPARAM l);
    static LRESULT CALLBACK PanelProcedure(HWND window, UINT message, WPARAM w, LPARAM l);
    static LRESULT CALLBACK ImageProcedure(HWND window, UINT message, WPARAM w, LPARAM l);
    LRESULT Handle(UINT message, WPARAM w, LPARAM l);
    // Runs a window procedure's work; an exception ends here, in this window's error box (see
    // CallbackBoundary), and the message counts as handled.
    template <typename Work>
    LRESULT AtBoundary(Work work) noexcept;
    void BuildLayout();
    HWND CreateControl(std::string_view name);
    void Command(HWND control, WORD code);
    // Runs a handler that may wait with nested message loops; a close asked for meanwhile is
    // carried out when the outermost one returns.
    template <typename Handler>
    void Guarded(Handler handler);
    void CloseNow();
    void WatchDeviceChanges();
    // Keeps a GDI object until the window goes.
    template <typename Object>
    Object Keep(Object object);

    bool quitOnDestroy_;
    HWND window_ = nullptr;
    HWND tooltips_ = nullptr;
    std::wstring applicationTitle_;
    bool statusRed_ = false;
    bool closePending_ = false;
    bool quit_ = false;
    int quitCode_ = 0;
    int handlerDepth_ = 0;
    std::uint64_t timer1Ticks_ = 0;

    // Fonts and bitmaps, deleted with the window; the window's own font is the controls'
    // default.
    std::vector<HGDIOBJ> gdiObjects_;
    std::vector<HIMAGELIST> glyphLists_;
    HFONT windowFont_ = nullptr;
    HBITMAP banner_ = nullptr;

    std::unique_ptr<Win32HidDispatcher> dispatcher_;
    std::unique_ptr<Win32Ticker> ticker_;
};

}  // namespace vellox::win32
