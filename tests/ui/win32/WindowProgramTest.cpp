// vellox.exe and vellox-demo.exe as processes, seen from outside through the window system:
// the start-up exclusion, two programs at once, and the demo's download read back from its
// status bar and information grid. The waits are hang guards, not timing targets.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr DWORD kGuardMs = 60000;  // far beyond anything the programs need

std::wstring Widen(const char* text) {
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(n, 1)), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), n);
    wide.resize(wide.find(L'\0'));
    return wide;
}

std::string Narrow(const std::wstring& text) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(std::max(n, 1)), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, narrow.data(), n, nullptr, nullptr);
    narrow.resize(narrow.find('\0'));
    return narrow;
}

// A path as the build wrote it: under wine a Unix path, which lives on drive Z:.
std::wstring WindowsPath(const char* path) {
    std::wstring p = Widen(path);
    if (!p.empty() && p[0] == L'/') p = L"Z:" + p;
    std::replace(p.begin(), p.end(), L'/', L'\\');
    return p;
}

// Handles what is sent to this thread's own windows while it waits (broadcasts from the
// programs starting must not stall on the test's stand-in window).
void Pump() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
}

template <typename Condition>
bool WaitUntil(Condition condition, DWORD guardMs = kGuardMs) {
    const ULONGLONG end = ::GetTickCount64() + guardMs;
    while (!condition()) {
        if (::GetTickCount64() > end) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        Pump();
    }
    return true;
}

struct VelloxWindowSearch {
    DWORD pid;
    std::vector<HWND> found;
};

// Named and CALLBACK: a lambda would convert to a cdecl pointer, wrong for 32-bit stdcall.
BOOL CALLBACK CollectVelloxWindow(HWND w, LPARAM l) {
    auto* s = reinterpret_cast<VelloxWindowSearch*>(l);
    char cls[64] = {};
    char title[64] = {};
    ::GetClassNameA(w, cls, sizeof cls);
    ::GetWindowTextA(w, title, sizeof title);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(w, &owner);
    if (std::string(cls) == "TMainForm" && std::string(title) == "Vellox" && s->pid == owner) {
        s->found.push_back(w);
    }
    return TRUE;
}

// The top-level windows of class TMainForm titled Vellox of one process.
std::vector<HWND> VelloxWindows(DWORD pid) {
    VelloxWindowSearch search{pid, {}};
    ::EnumWindows(CollectVelloxWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A window's text through WM_GETTEXT, which the system carries between processes.
std::wstring Text(HWND w) {
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(w, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 10000, &length)) {
        return L"<no answer>";
    }
    // Room to spare: the text may grow between the two messages.
    std::wstring text(length + 1024, L'\0');
    DWORD_PTR copied = 0;
    if (!::SendMessageTimeoutW(w, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                               SMTO_ABORTIFHUNG, 10000, &copied)) {
        return L"<no answer>";
    }
    text.resize(std::min<std::size_t>(copied, text.size() - 1));
    return text;
}

// The status bar's text as shown: the leading tab that centres it (which wine hands back
// with the text) taken off.
std::wstring StatusText(HWND form) {
    HWND bar = ::FindWindowExA(form, nullptr, "msctls_statusbar32", nullptr);
    if (bar == nullptr) return L"<no status bar>";
    std::wstring text = Text(bar);
    if (!text.empty() && text[0] == L'\t') text.erase(0, 1);
    return text;
}

// One started program; ended by force only when a test failed to end it.
class Program {
  public:
    // `show`: the window state the starter asks for, as a shortcut's "Run:" or `start /min`.
    explicit Program(const std::wstring& commandLine, int show = -1) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        if (show >= 0) {
            startup.dwFlags = STARTF_USESHOWWINDOW;
            startup.wShowWindow = static_cast<WORD>(show);
        }
        std::wstring line = commandLine;
        started_ = ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                    nullptr, &startup, &info_) != FALSE;
    }
    ~Program() {
        if (!started_) return;
        if (::WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
            ::TerminateProcess(info_.hProcess, 99);
            ::WaitForSingleObject(info_.hProcess, kGuardMs);
        }
        ::CloseHandle(info_.hThread);
        ::CloseHandle(info_.hProcess);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool started() const { return started_; }
    DWORD pid() const { return info_.dwProcessId; }
    bool Ended() const { return ::WaitForSingleObject(info_.hProcess, 0) == WAIT_OBJECT_0; }

    // Its main window once it is there; nullptr when it ended first or never showed one.
    HWND Window() const {
        HWND found = nullptr;
        WaitUntil([&] {
            const std::vector<HWND> w = VelloxWindows(pid());
            if (!w.empty()) found = w.front();
            return found != nullptr || Ended();
        });
        return found;
    }

    // The exit code once it ended; -1 when it did not within the guard.
    long ExitCode() const {
        if (!WaitUntil([&] { return Ended(); })) return -1;
        DWORD code = 0;
        ::GetExitCodeProcess(info_.hProcess, &code);
        return static_cast<long>(code);
    }

    long CloseAndWait() const {
        const std::vector<HWND> windows = VelloxWindows(pid());
        if (windows.empty()) return -2;
        ::PostMessageW(windows.front(), WM_CLOSE, 0, 0);
        return ExitCode();
    }

  private:
    PROCESS_INFORMATION info_{};
    bool started_ = false;
};

std::wstring Quoted(const std::wstring& s) { return L"\"" + s + L"\""; }

// The tree's vellox.exe, or the copy named by VELLOX_EXE_UNDER_TEST (installer.sh runs the
// installed one).
std::wstring Vellox() {
    const char* other = std::getenv("VELLOX_EXE_UNDER_TEST");
    return Quoted(WindowsPath(other != nullptr && *other != '\0' ? other : VELLOX_EXE));
}

// A top-level window of this thread's own, standing in for the other tool's.
class StandIn {
  public:
    StandIn(const wchar_t* cls, const wchar_t* title) : cls_(cls) {
        WNDCLASSW c{};
        c.lpfnWndProc = &::DefWindowProcW;
        c.hInstance = ::GetModuleHandleW(nullptr);
        c.lpszClassName = cls;
        ::RegisterClassW(&c);
        window_ = ::CreateWindowExW(0, cls, title, WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                                    nullptr, c.hInstance, nullptr);
    }
    ~StandIn() {
        ::DestroyWindow(window_);
        ::UnregisterClassW(cls_, ::GetModuleHandleW(nullptr));
    }
    StandIn(const StandIn&) = delete;
    StandIn& operator=(const StandIn&) = delete;
    HWND window() const { return window_; }

  private:
    const wchar_t* cls_;
    HWND window_ = nullptr;
};

TEST(WindowProgram, EndsAtOnceWithoutAWindowWhileTheOtherToolsWindowIsUp) {
    StandIn other(L"TMainForm1", L"Quillet");
    ASSERT_NE(other.window(), nullptr);
    Program vellox(Vellox());
    ASSERT_TRUE(vellox.started());
    bool windowSeen = false;
    ASSERT_TRUE(WaitUntil([&] {
        windowSeen = windowSeen || !VelloxWindows(vellox.pid()).empty();
        return windowSeen || vellox.Ended();
    })) << "vellox.exe neither ended nor showed a window";
    ASSERT_FALSE(windowSeen) << "vellox.exe showed its window";
    EXPECT_EQ(vellox.ExitCode(), 0);
}

TEST(WindowProgram, StartsBesideAWindowOfAnotherTitleOrClassAndEndsCleanlyOnClose) {
    for (const auto& [cls, title] :
         {std::pair{L"TMainForm1", L"Quillet2"}, std::pair{L"TQuilletForm", L"Quillet"}}) {
        SCOPED_TRACE(Narrow(std::wstring(cls) + L" / " + title));
        StandIn other(cls, title);
        ASSERT_NE(other.window(), nullptr);
        Program vellox(Vellox());
        ASSERT_TRUE(vellox.started());
        HWND form = vellox.Window();
        ASSERT_NE(form, nullptr) << "vellox.exe ended without a window";
        RECT client{};
        ::GetClientRect(form, &client);
        EXPECT_EQ(client.right - client.left, 800);
        EXPECT_EQ(client.bottom - client.top, 450);
        // Its start-up ran: the scan of wine's HID devices found none of its kind.
        std::wstring status;
        EXPECT_TRUE(WaitUntil([&] { return (status = StatusText(form)) == L"No HID device"; }))
            << Narrow(status);
        EXPECT_EQ(vellox.CloseAndWait(), 0);
    }
}

TEST(WindowProgram, TwoRunAtOnceAndBothCloseCleanly) {
    Program first(Vellox());
    Program second(Vellox());
    ASSERT_TRUE(first.started() && second.started());
    ASSERT_NE(first.Window(), nullptr);
    ASSERT_NE(second.Window(), nullptr);
    // Counted by process: other tests may have windows of their own up meanwhile.
    EXPECT_EQ(VelloxWindows(first.pid()).size() + VelloxWindows(second.pid()).size(), 2u);
    EXPECT_EQ(first.CloseAndWait(), 0);
    EXPECT_EQ(second.CloseAndWait(), 0);
}

TEST(WindowProgram, StartedMinimisedOrMaximisedTheDemoListsItsDevice) {
    for (const int show : {SW_SHOWMINNOACTIVE, SW_SHOWMAXIMIZED}) {
        SCOPED_TRACE(show);
        Program demo(Quoted(WindowsPath(VELLOX_DEMO_EXE)) + L" --plug-after=200", show);
        ASSERT_TRUE(demo.started());
        HWND form = demo.Window();
        ASSERT_NE(form, nullptr);
        // The demo's device selected and its information shown, as only the first activation
        // (which starts following device changes) brings about.
        // Found as soon as it is created: its controls may come a moment later.
        HWND grid = nullptr;
        ASSERT_TRUE(WaitUntil([&] {
            HWND panel = ::FindWindowExA(form, nullptr, "TPanel", nullptr);
            grid = ::FindWindowExA(panel, nullptr, "TStringGrid", nullptr);
            return grid != nullptr;
        }));
        EXPECT_TRUE(WaitUntil([&] {
            return Narrow(Text(grid)).find("\r\nProduct ID\tV201\r\n") != std::string::npos;
        })) << "the device was never shown";
        EXPECT_FALSE(::IsZoomed(form));
        EXPECT_EQ(demo.CloseAndWait(), 0);
    }
}

TEST(WindowProgram, DemoDownloadsTheSampleAndShowsTheDevicesInformation) {
    Program demo(Quoted(WindowsPath(VELLOX_DEMO_EXE)) + L" --plug-after=500 " +
                 Quoted(L"--download=" + WindowsPath(VELLOX_SAMPLE_IMAGE)));
    ASSERT_TRUE(demo.started());
    HWND form = demo.Window();
    ASSERT_NE(form, nullptr);
    std::wstring status;
    const bool done = WaitUntil(
        [&] {
            status = StatusText(form);
            return status == L"Download OK!" || demo.Ended();
        },
        120000);
    ASSERT_TRUE(done && status == L"Download OK!") << "status bar: " << Narrow(status);

    HWND panel = ::FindWindowExA(form, nullptr, "TPanel", nullptr);
    ASSERT_NE(panel, nullptr);
    HWND grid = ::FindWindowExA(panel, nullptr, "TStringGrid", nullptr);
    ASSERT_NE(grid, nullptr);
    const std::string cells = Narrow(Text(grid));
    EXPECT_EQ(cells.rfind("Information\tContent\r\n", 0), 0u) << cells;
    EXPECT_NE(cells.find("\r\nProduct ID\tV201\r\n"), std::string::npos) << cells;
    EXPECT_NE(cells.find("\r\nSN\tVX2016-DEMO-0001\r\n"), std::string::npos) << cells;
    EXPECT_EQ(demo.CloseAndWait(), 0);
}

}  // namespace
