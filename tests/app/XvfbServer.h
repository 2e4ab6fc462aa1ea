#pragma once
// A private X server for one test, and the child processes the test starts on it.

#include <sys/types.h>
#include <xcb/xcb.h>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

namespace vellox::test {

class XvfbServer {
  public:
    XvfbServer();
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // False when Xvfb is not installed or did not come up.
    bool running() const { return pid_ > 0 && !display_.empty(); }
    const std::string& display() const { return display_; }

  private:
    void Start();
    bool Reachable() const;

    pid_t pid_ = -1;
    std::string display_;
};

// A top-level window made through its own connection; it lives as long as the object.
class TestWindow {
  public:
    enum class Shown {
        Mapped,
        Unmapped,  // never mapped: a hidden window
        // Minimised behind a reparenting window manager: the client, marked iconic in
        // WM_STATE, sits unmapped in an unmapped frame.
        IconicInFrame,
    };
    // Empty className or title: the property is left out. With useNetWmName false the title
    // goes to WM_NAME only.
    TestWindow(const std::string& display, std::string_view className, std::string_view title,
               bool useNetWmName = true, Shown shown = Shown::Mapped);
    ~TestWindow();
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

  private:
    xcb_connection_t* connection_ = nullptr;
};

// A program started with DISPLAY set; it is killed if still running at destruction.
class ChildProcess {
  public:
    ChildProcess(const std::string& program, const std::string& display);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    // Waits up to `limit` for the process to end; its exit code, or -1 if it is still
    // running or was ended by a signal.
    int waitForExit(std::chrono::milliseconds limit);

  private:
    pid_t pid_ = -1;
};

// Polls until `condition` holds or `limit` passes.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit);

}  // namespace vellox::test
