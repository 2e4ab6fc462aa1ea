#include "ui/win32/TMainForm.h"

#include <commctrl.h>
#include <commdlg.h>

#include <string>

#include "ui/MainFormLayout.h"
#include "ui/win32/CallbackBoundary.h"
#include "ui/win32/Resources.h"
#include "ui/win32/SystemEntries.h"
#include "ui/win32/WideText.h"
#include "ui/win32/Win32Look.h"

namespace vellox::win32 {
namespace {

using layout::control;
using layout::ControlEntry;
using layout::ControlKind;

constexpr UINT kTick = WM_APP + 10;
constexpr UINT kFirstActivate = WM_APP + 11;
constexpr wchar_t kPanelClass[] = L"TPanel";
constexpr wchar_t kImageClass[] = L"TImage";

HINSTANCE Instance() { return ::GetModuleHandleW(nullptr); }

int ControlId(std::string_view name) {
    for (std::size_t i = 0; i < layout::kControls.size(); ++i) {
        if (layout::kControls[i].name == name) return 100 + static_cast<int>(i);
    }
    return 0;
}

void RegisterWindowClass(const wchar_t* name, WNDPROC procedure, HICON icon = nullptr,
                         int background = COLOR_BTNFACE) {
    WNDCLASSEXW cls{};
    cls.cbSize = sizeof cls;
    cls.lpfnWndProc = procedure;
    cls.hInstance = Instance();
    cls.hIcon = icon;
    cls.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    cls.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(background + 1));
    cls.lpszClassName = name;
    ::RegisterClassExW(&cls);  // a second window finds it registered
}

void SetText(HWND control, std::string_view text) {
    ::SetWindowTextW(control, Widen(text).c_str());
}

void StackAt(HWND control, HWND where) {
    ::SetWindowPos(control, where, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

}  // namespace

TMainForm::TMainForm(TMainFormOptions options, bool quitOnDestroy)
    : MainFormLogic(std::move(options)), quitOnDestroy_(quitOnDestroy) {
    INITCOMMONCONTROLSEX common{sizeof common,
                                ICC_BAR_CLASSES | ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&common);
    BuildLayout();
    dispatcher_ = std::make_unique<Win32HidDispatcher>();
    BuildDevices(*dispatcher_);
    FormCreate();
    // Errors caught where the reading threads' reports are delivered, in this window's box.
    SetBoundaryErrorSink([this](const std::string& text) { RunErrorBox(text); });
    if (Options().startTimers) {
        ticker_ = std::make_unique<Win32Ticker>(window_, kTick, layout::kTimerInterval);
    }
}

TMainForm::~TMainForm() {
    SetBoundaryErrorSink({});
    ticker_.reset();
    ReleaseDevices();
    if (window_ != nullptr) {
        ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        ::DestroyWindow(window_);
    }
    Gauge1.reset();
    StringGrid1.reset();
    for (HIMAGELIST list : glyphLists_) ::ImageList_Destroy(list);
    for (HGDIOBJ o : gdiObjects_) ::DeleteObject(o);
}

template <typename Object>
Object TMainForm::Keep(Object object) {
    if (object != nullptr) gdiObjects_.push_back(object);
    return object;
}

HWND TMainForm::ControlWindow(std::string_view name) const {
    const ControlEntry& c = control(name);
    if (c.kind == ControlKind::Gauge) return Gauge1 ? Gauge1->window() : nullptr;
    if (c.kind == ControlKind::StringGrid) return StringGrid1 ? StringGrid1->window() : nullptr;
    return ::GetDlgItem(c.parent.empty() ? window_ : Panel2, ControlId(name));
}

void TMainForm::BuildLayout() {
    const layout::WindowFrame& frame = layout::kWindowFrame;
    HICON icon = ::LoadIconW(Instance(), MAKEINTRESOURCEW(IDI_VELLOX));
    const std::wstring windowClass = Widen(layout::kWindowClass);
    RegisterWindowClass(windowClass.c_str(), &TMainForm::WindowProcedure, icon,
                        frame.buttonFaceBackground ? COLOR_BTNFACE : COLOR_WINDOW);
    RegisterWindowClass(kPanelClass, &TMainForm::PanelProcedure);
    RegisterWindowClass(kImageClass, &TMainForm::ImageProcedure);

    windowFont_ = Keep(CreateLayoutFont(layout::kWindowFont));
    banner_ = Keep(static_cast<HBITMAP>(::LoadImageW(Instance(), MAKEINTRESOURCEW(IDB_BANNER),
                                                     IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR)));

    // The client area is the layout's size.
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN |
                        (frame.fixedSize ? 0 : WS_THICKFRAME) |
                        (frame.minimiseBox ? WS_MINIMIZEBOX : 0) |
                        (frame.maximiseBox ? WS_MAXIMIZEBOX : 0);
    RECT outer{0, 0, layout::kClientWidth, layout::kClientHeight};
    ::AdjustWindowRectEx(&outer, style, FALSE, 0);
    const int w = outer.right - outer.left;
    const int h = outer.bottom - outer.top;
    layout::Point at{CW_USEDEFAULT, CW_USEDEFAULT};
    if (frame.centred) {
        RECT work{};
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        at = layout::centred_in(work.left, work.top, work.right - work.left, work.bottom - work.top,
                                w, h);
    }
    window_ = ::CreateWindowExW(0, windowClass.c_str(), Widen(layout::kWindowTitle).c_str(), style,
                                at.x, at.y, w, h, nullptr, nullptr, Instance(), this);

    tooltips_ =
        ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                          WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                          CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr, Instance(), nullptr);

    for (const ControlEntry& c : layout::kControls) {
        if (c.kind == ControlKind::Gauge) {
            Gauge1 = std::make_unique<Win32Gauge>(window_, c.left, c.top, c.width, c.height);
            Gauge1->setFont(Keep(CreateLayoutFont(c.font, true)));
            Gauge1->setLook(kGauge1Look, SystemRgb(COLOR_BTNFACE));
        } else if (c.kind == ControlKind::StringGrid) {
            StringGrid1 = std::make_unique<Win32StringGrid>(
                Panel2, c.left, c.top, c.width, c.height, layout::kGridColumns, layout::kGridRows);
            StringGrid1->setFont(Keep(CreateLayoutFont(c.font)));
            StringGrid1->setDefaultColWidth(layout::kGridDefaultColWidth);
            StringGrid1->setDefaultRowHeight(layout::kGridRowHeight);
            if (c.visible) ::ShowWindow(StringGrid1->window(), SW_SHOWNA);
        } else {
            CreateControl(c.name);
        }
    }

    for (std::string_view name : layout::stacking_order()) StackAt(ControlWindow(name), HWND_TOP);
}

HWND TMainForm::CreateControl(std::string_view name) {
    const ControlEntry& c = control(name);
    HWND parent = c.parent.empty() ? window_ : Panel2;
    const std::wstring caption = Widen(c.caption);
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS | (c.visible ? WS_VISIBLE : 0);
    DWORD exStyle = 0;
    const wchar_t* cls = L"BUTTON";
    switch (c.kind) {
        case ControlKind::SpeedButton:
            style |= BS_PUSHBUTTON;
            break;
        case ControlKind::TwoStateButton:
            style |= BS_AUTOCHECKBOX | BS_PUSHLIKE;
            break;
        case ControlKind::PushButton:
            style |= BS_PUSHBUTTON | WS_TABSTOP;
            break;
        case ControlKind::Picture:
            cls = kImageClass;
            break;
        case ControlKind::Memo:
            cls = L"EDIT";
            exStyle = WS_EX_CLIENTEDGE;
            style |= ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN |
                     (layout::kMemoWordWrap ? 0 : ES_AUTOHSCROLL) |
                     (layout::kMemoScrollBars ? WS_VSCROLL | WS_HSCROLL : 0);
            break;
        case ControlKind::Panel:
            cls = kPanelClass;
            style |= WS_CLIPCHILDREN;
            // Tab goes on into the panel's controls.
            exStyle = WS_EX_CONTROLPARENT;
            break;
        case ControlKind::ListBox:
            cls = L"LISTBOX";
            exStyle = WS_EX_CLIENTEDGE;
            style |= LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL;
            break;
        case ControlKind::StatusBar:
            cls = STATUSCLASSNAMEW;
            // Placed and sized by the layout, not by the status bar itself.
            style |= CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_NODIVIDER | WS_CLIPCHILDREN;
            break;
        case ControlKind::Gauge:
        case ControlKind::StringGrid:
            return nullptr;
    }
    HWND hwnd = ::CreateWindowExW(
        exStyle, cls, caption.c_str(), style, c.left, c.top, c.width, c.height, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(name))), Instance(), this);
    HFONT font = c.font.pixelHeight > 0 ? Keep(CreateLayoutFont(c.font)) : windowFont_;
    ::SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);

    if (c.glyph != layout::Glyph::None && c.kind != ControlKind::Picture) {
        const int id = c.glyph == layout::Glyph::Write   ? IDB_WRITE
                       : c.glyph == layout::Glyph::Query ? IDB_QUERY
                                                         : IDB_READ;
        HBITMAP glyph =
            Keep(static_cast<HBITMAP>(::LoadImageW(Instance(), MAKEINTRESOURCEW(id), IMAGE_BITMAP,
                                                   c.glyphSize, c.glyphSize, LR_DEFAULTCOLOR)));
        if (glyph != nullptr) {
            // The glyphs are drawn on the button-face grey of their pictures, which an image
            // list masks out, so that they sit on whatever face the system draws.
            BITMAP info{};
            ::GetObjectW(glyph, sizeof info, &info);
            HIMAGELIST list =
                ::ImageList_Create(info.bmWidth, info.bmHeight, ILC_COLOR24 | ILC_MASK, 1, 0);
            ::ImageList_AddMasked(list, glyph, RGB(240, 240, 240));
            BUTTON_IMAGELIST image{list, {2, 2, 2, 2}, BUTTON_IMAGELIST_ALIGN_LEFT};
            if (::SendMessageW(hwnd, BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&image))) {
                glyphLists_.push_back(list);
            } else {
                ::ImageList_Destroy(list);
                ::SendMessageW(hwnd, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(glyph));
            }
        }
    }
    if (!c.tooltip.empty()) {
        std::wstring tip = Widen(c.tooltip);
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = parent;
        tool.uId = reinterpret_cast<UINT_PTR>(hwnd);
        tool.lpszText = tip.data();
        ::SendMessageW(tooltips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }

    if (name == "ReadBtn")
        ReadBtn = hwnd;
    else if (name == "Image1")
        Image1 = hwnd;
    else if (name == "Memo4") {
        Memo4 = hwnd;
        ::SendMessageW(hwnd, EM_SETLIMITTEXT, 0, 0);
    } else if (name == "Panel2") {
        Panel2 = hwnd;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    } else if (name == "READ_car")
        READ_car = hwnd;
    else if (name == "Write_car")
        Write_car = hwnd;
    else if (name == "Verify")
        Verify = hwnd;
    else if (name == "DevListBox")
        DevListBox = hwnd;
    else if (name == "language_button")
        language_button = hwnd;
    else if (name == "StatusBar1") {
        StatusBar1 = hwnd;
        // The classic drawing honours the bar's own background colour (red after an error).
        SetWindowThemeFromSystem(hwnd, L"", L"");
        int edges[] = {-1};  // the single panel reaches the right edge
        ::SendMessageW(hwnd, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(edges));
        ::SendMessageW(hwnd, SB_SETMINHEIGHT, static_cast<WPARAM>(c.height), 0);
        SetStatusBar(layout::kStatusInitialText, false, "");
    }
    return hwnd;
}

void TMainForm::Show(int how) {
    // The window has a fixed size: a maximise request (a shortcut's "Run: Maximized") shows it
    // normal. The system may put the starting program's request in place of the first call's.
    if (how == SW_SHOWMAXIMIZED || how == SW_MAXIMIZE) how = SW_SHOWNORMAL;
    ::ShowWindow(window_, how);
    if (::IsZoomed(window_)) ::ShowWindow(window_, SW_RESTORE);
    ::UpdateWindow(window_);
}

int TMainForm::Run() {
    while (!quit_) {
        HANDLE change = nullptr;
        if (HidCtl) {
            const HidWaitable w = Platform().device_change_waitable();
            if (w != NoHidWaitable) change = reinterpret_cast<HANDLE>(w);
        }
        const DWORD count = change != nullptr ? 1 : 0;
        const DWORD r = ::MsgWaitForMultipleObjectsEx(count, &change, INFINITE, QS_ALLINPUT,
                                                      MWMO_INPUTAVAILABLE);
        // The wait took the auto-reset signal; put it back for the platform to take.
        if (count == 1 && r == WAIT_OBJECT_0) ::SetEvent(change);
        RunPendingMessages();
    }
    return quitCode_;
}

void TMainForm::WatchDeviceChanges() {
    if (HidCtl && Platform().take_device_change()) HidCtl->DeviceChange();
}

void TMainForm::RunPendingMessages() {
    WatchDeviceChanges();
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        // Noted for Run; a handler waiting in here still gets its ticks and replies.
        if (msg.message == WM_QUIT) {
            quit_ = true;
            quitCode_ = static_cast<int>(msg.wParam);
            continue;
        }
        // Tab and the arrow keys move the focus among the controls.
        if (window_ != nullptr && ::IsDialogMessageW(window_, &msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

template <typename Handler>
void TMainForm::Guarded(Handler handler) {
    // Left by a return or an exception alike: a close asked for meanwhile still happens.
    struct Depth {
        TMainForm& form;
        explicit Depth(TMainForm& f) : form(f) { ++form.handlerDepth_; }
        ~Depth() {
            if (--form.handlerDepth_ == 0 && form.closePending_) {
                form.closePending_ = false;
                form.CloseNow();
            }
        }
    } depth(*this);
    handler();
}

template <typename Work>
LRESULT TMainForm::AtBoundary(Work work) noexcept {
    try {
        return work();
    } catch (...) {
        try {
            RunErrorBox(BoundaryErrorText());
        } catch (...) {
            // The box itself failed (no memory): nothing more can be told.
        }
        return 0;
    }
}

void TMainForm::CloseNow() {
    if (window_ != nullptr) ::DestroyWindow(window_);
}

void TMainForm::Command(HWND control, WORD code) {
    if (control == nullptr) return;
    if (control == DevListBox) {
        if (code == LBN_SELCHANGE) Guarded([this] { DevListBoxClick(); });
        return;
    }
    if (code != BN_CLICKED) return;
    // Speed buttons never keep the keyboard focus the click gave them: Space must not start a
    // download from a focused Download button.
    if (control != language_button && ::GetFocus() == control) ::SetFocus(window_);
    if (control == Write_car) {
        Guarded([this] { WRITE_24AAClick(); });
    } else if (control == Verify) {
        Guarded([this] { VerifyClick(); });
    } else if (control == language_button) {
        language_buttonClick();
    }
}

LRESULT TMainForm::Handle(UINT message, WPARAM w, LPARAM l) {
    switch (message) {
        case WM_COMMAND:
            Command(reinterpret_cast<HWND>(l), HIWORD(w));
            return 0;
        case kTick:
            if (ticker_) ticker_->handled();
            ++timer1Ticks_;
            Guarded([this] { Timer1Timer(); });
            Guarded([this] { Timer2Timer(); });
            return 0;
        case WM_WINDOWPOSCHANGED:
            // Not WM_SHOWWINDOW: a first show that minimises or maximises sends none.
            if ((reinterpret_cast<const WINDOWPOS*>(l)->flags & SWP_SHOWWINDOW) != 0 &&
                FirstShow()) {
                ::PostMessageW(window_, kFirstActivate, 0, 0);
            }
            break;
        case kFirstActivate:
            Guarded([this] { FirstActivation(); });
            return 0;
        case WM_CLOSE: {
            bool canClose = true;
            CLOSEME(canClose);
            if (!canClose) return 0;
            if (handlerDepth_ > 0) {
                // A handler is waiting in a nested loop (a download): it runs on to its end,
                // and the window goes when it returns. It stays in sight meanwhile, with its
                // gauge: a user who saw it gone would unplug the device or start a second
                // copy that talks to it.
                closePending_ = true;
            } else {
                CloseNow();
            }
            return 0;
        }
        case WM_DESTROY:
            // No more ticks for a window that is going.
            ticker_.reset();
            if (quitOnDestroy_) ::PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY: {
            HWND going = window_;
            window_ = nullptr;
            return ::DefWindowProcW(going, message, w, l);
        }
        default:
            break;
    }
    return ::DefWindowProcW(window_, message, w, l);
}

LRESULT CALLBACK TMainForm::WindowProcedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(l);
        ::SetWindowLongPtrW(window, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        reinterpret_cast<TMainForm*>(create->lpCreateParams)->window_ = window;
    }
    auto* self = reinterpret_cast<TMainForm*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) return ::DefWindowProcW(window, message, w, l);
    return self->AtBoundary([&] { return self->Handle(message, w, l); });
}

LRESULT CALLBACK TMainForm::PanelProcedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    // The panel's children report to the panel; the window handles them.
    if (message == WM_COMMAND || message == WM_NOTIFY) {
        auto* self = reinterpret_cast<TMainForm*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self != nullptr) return self->AtBoundary([&] { return self->Handle(message, w, l); });
    }
    return ::DefWindowProcW(window, message, w, l);
}

LRESULT CALLBACK TMainForm::ImageProcedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message != WM_PAINT) return ::DefWindowProcW(window, message, w, l);
    // The banner unscaled from the top-left corner, clipped to the control.
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(window, &ps);
    HWND form = ::GetParent(window);
    auto* self = reinterpret_cast<TMainForm*>(::GetWindowLongPtrW(form, GWLP_USERDATA));
    if (self != nullptr && self->banner_ != nullptr) {
        BITMAP info{};
        ::GetObjectW(self->banner_, sizeof info, &info);
        HDC memory = ::CreateCompatibleDC(dc);
        HGDIOBJ old = ::SelectObject(memory, self->banner_);
        ::BitBlt(dc, 0, 0, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
        ::SelectObject(memory, old);
        ::DeleteDC(memory);
    }
    ::EndPaint(window, &ps);
    return 0;
}

void TMainForm::MoveGaugeOntoStatusBar() {
    HWND gauge = Gauge1->window();
    RECT bar{};
    ::GetClientRect(StatusBar1, &bar);
    RECT place{};
    ::GetWindowRect(gauge, &place);
    ::MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&place), 2);
    ::SetParent(gauge, StatusBar1);
    ::SetWindowPos(gauge, HWND_TOP, bar.right - Gauge1->width(), place.top, 0, 0,
                   SWP_NOSIZE | SWP_NOACTIVATE);
}

void TMainForm::SetApplicationTitle() {
    wchar_t title[256] = {};
    ::GetWindowTextW(window_, title, 256);
    applicationTitle_ = title;
}

void TMainForm::SetStatusBarFontPoints(int points) {
    HFONT font = Keep(CreateLayoutFont({layout::kWindowFont.face, PointsToPixels(points)}));
    ::SendMessageW(StatusBar1, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

void TMainForm::SetMemo4Visible() { ::ShowWindow(Memo4, SW_SHOWNA); }

void TMainForm::ApplyLanguageCaptions(const LanguageCaptions& c) {
    SetText(language_button, c.language_button);
    SetText(Write_car, c.Write_car);
    SetText(Verify, c.Verify);
    SetText(READ_car, c.READ_car);
    StringGrid1->setCells(0, 0, c.gridHeader0);
    StringGrid1->setCells(1, 0, c.gridHeader1);
}

void TMainForm::FitGridColumns() {
    RECT grid{};
    ::GetClientRect(StringGrid1->window(), &grid);
    StringGrid1->setColWidths(1, grid.right - StringGrid1->ColWidths(0));
}

void TMainForm::SetStatusBar(std::string_view text, bool red, std::string_view details) {
    statusRed_ = red;
    ::SendMessageW(StatusBar1, SB_SETBKCOLOR, 0, red ? RGB(255, 0, 0) : CLR_DEFAULT);
    // A leading tab centres the text in its panel.
    const std::wstring shown = (layout::kStatusPanelCentred ? L"\t" : L"") + Widen(text);
    ::SendMessageW(StatusBar1, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(shown.c_str()));
    const std::wstring tip = Widen(details);
    ::SendMessageW(StatusBar1, SB_SETTIPTEXTW, 0, reinterpret_cast<LPARAM>(tip.c_str()));
    ::InvalidateRect(StatusBar1, nullptr, TRUE);
}

void TMainForm::ClearMemo4() { ::SetWindowTextW(Memo4, L""); }

void TMainForm::AppendMemo4(std::string_view line) {
    const int length = ::GetWindowTextLengthW(Memo4);
    const std::wstring text = (length > 0 ? L"\r\n" : L"") + Widen(line);
    ::SendMessageW(Memo4, EM_SETSEL, static_cast<WPARAM>(length), static_cast<LPARAM>(length));
    ::SendMessageW(Memo4, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

void TMainForm::SetPanel2Visible(bool visible) {
    ::ShowWindow(Panel2, visible ? SW_SHOWNA : SW_HIDE);
}

void TMainForm::SetGridRows(const std::vector<std::pair<std::string, std::string>>& rows,
                            bool visible) {
    StringGrid1->setRowCount(static_cast<int>(rows.size()) + 1);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const int row = static_cast<int>(i) + 1;
        StringGrid1->setCells(0, row, rows[i].first);
        StringGrid1->setCells(1, row, rows[i].second);
    }
    ::ShowWindow(StringGrid1->window(), visible ? SW_SHOWNA : SW_HIDE);
}

void TMainForm::SetGaugeVisible(bool visible) {
    ::ShowWindow(Gauge1->window(), visible ? SW_SHOWNA : SW_HIDE);
}

void TMainForm::SetGaugeMax(std::int32_t max) { Gauge1->setMaxValue(max); }

void TMainForm::SetGaugeProgress(std::int32_t progress) { Gauge1->setProgress(progress); }

void TMainForm::RunErrorBox(std::string_view text) {
    ::MessageBoxW(window_, Widen(text).c_str(), applicationTitle_.c_str(), MB_OK | MB_ICONERROR);
}

void TMainForm::RunMessageBox(std::string_view text) {
    ::MessageBoxW(window_, Widen(text).c_str(), applicationTitle_.c_str(), MB_OK);
}

std::optional<std::filesystem::path> TMainForm::RunOpenFlashfile() {
    const FileDialogSettings settings;
    // Pairs of description and pattern, each ended by a nul, the list by another.
    std::wstring filter = Widen(settings.filter);
    filter.push_back(L'\0');
    filter += Widen(settings.pattern);
    filter.push_back(L'\0');
    const std::wstring title = Widen(settings.title);
    std::wstring file(32768, L'\0');

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = window_;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrTitle = title.c_str();
    dialog.lpstrInitialDir =
        OpenFlashfileInitialDir.empty() ? nullptr : OpenFlashfileInitialDir.c_str();
    dialog.Flags = OFN_EXPLORER | OFN_NOCHANGEDIR | (settings.hideReadOnly ? OFN_HIDEREADONLY : 0) |
                   (settings.pathMustExist ? OFN_PATHMUSTEXIST : 0) |
                   (settings.fileMustExist ? OFN_FILEMUSTEXIST : 0) |
                   (settings.resizable ? OFN_ENABLESIZING : 0);
    if (!::GetOpenFileNameW(&dialog)) return std::nullopt;
    file.resize(file.find(L'\0'));
    return std::filesystem::path(file);
}

}  // namespace vellox::win32
