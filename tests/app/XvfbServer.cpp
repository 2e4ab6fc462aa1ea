#include "XvfbServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

extern char** environ;

namespace vellox::test {
namespace {

pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv,
            const posix_spawn_file_actions_t* actions) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        bool replaced = false;
        for (const auto& x : extraEnv) {
            if (entry.compare(0, x.find('=') + 1, x, 0, x.find('=') + 1) == 0) replaced = true;
        }
        if (!replaced) envStrings.push_back(entry);
    }
    envStrings.insert(envStrings.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> envp;
    for (auto& e : envStrings) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0].c_str(), actions, nullptr, argv.data(), envp.data()) != 0) {
        return -1;
    }
    return pid;
}

void Reap(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 200; ++i) {
        if (waitpid(pid, &status, WNOHANG) == pid) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
}

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
    const auto cookie = xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookie, nullptr);
    const xcb_atom_t atom = reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

}  // namespace

XvfbServer::XvfbServer() {
    // A server that came up but does not take connections is replaced.
    for (int attempt = 0; attempt < 3 && !running(); ++attempt) {
        Start();
        if (running() && !Reachable()) {
            Reap(pid_);
            pid_ = -1;
            display_.clear();
        }
    }
}

void XvfbServer::Start() {
    int fds[2];
    if (pipe(fds) != 0) return;
    // Xvfb picks a free display itself and writes its number to the pipe once it listens.
    // Without -noreset it resets whenever its last client leaves and drops connections that
    // arrive meanwhile, which the short-lived connections of the window search would hit.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    const std::string fd = std::to_string(fds[1]);
    pid_ = Spawn(
        {"Xvfb", "-displayfd", fd, "-nolisten", "tcp", "-noreset", "-screen", "0", "800x600x24"},
        {}, &actions);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (pid_ > 0) {
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        char ch = 0;
        while (poll(&p, 1, 10000) > 0 && read(fds[0], &ch, 1) == 1 && ch != '\n') number += ch;
        if (!number.empty()) display_ = ":" + number;
    }
    close(fds[0]);
    if (display_.empty()) {
        Reap(pid_);
        pid_ = -1;
    }
}

bool XvfbServer::Reachable() const {
    xcb_connection_t* c = xcb_connect(display_.c_str(), nullptr);
    const bool ok = xcb_connection_has_error(c) == 0;
    xcb_disconnect(c);
    return ok;
}

XvfbServer::~XvfbServer() { Reap(pid_); }

TestWindow::TestWindow(const std::string& display, std::string_view className,
                       std::string_view title, bool useNetWmName, Shown shown) {
    connection_ = xcb_connect(display.c_str(), nullptr);
    if (xcb_connection_has_error(connection_)) return;
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    xcb_window_t parent = screen->root;
    if (shown == Shown::IconicInFrame) {
        parent = xcb_generate_id(connection_);
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, parent, screen->root, 10, 10, 140, 110,
                          0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    }
    const xcb_window_t w = xcb_generate_id(connection_);
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, w, parent, 10, 10, 120, 80, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    if (shown == Shown::IconicInFrame) {
        const std::uint32_t iconic[2] = {3, XCB_NONE};  // IconicState, no icon window
        const xcb_atom_t wmState = Atom(connection_, "WM_STATE");
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, w, wmState, wmState, 32, 2, iconic);
    }
    if (!className.empty()) {
        std::string value = "instance";
        value.push_back('\0');
        value.append(className);
        value.push_back('\0');
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_CLASS,
                            XCB_ATOM_STRING, 8, static_cast<std::uint32_t>(value.size()),
                            value.data());
    }
    if (!title.empty()) {
        if (useNetWmName) {
            xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, w,
                                Atom(connection_, "_NET_WM_NAME"), Atom(connection_, "UTF8_STRING"),
                                8, static_cast<std::uint32_t>(title.size()), title.data());
            // A legacy name that differs, to show which one is read.
            xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_NAME,
                                XCB_ATOM_STRING, 8, 5, "other");
        } else {
            xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_NAME,
                                XCB_ATOM_STRING, 8, static_cast<std::uint32_t>(title.size()),
                                title.data());
        }
    }
    if (shown == Shown::Mapped) xcb_map_window(connection_, w);
    // A round trip, so the window exists on the server before anyone looks.
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

TestWindow::~TestWindow() {
    if (connection_) xcb_disconnect(connection_);
}

ChildProcess::ChildProcess(const std::string& program, const std::string& display) {
    pid_ = Spawn({program}, {"DISPLAY=" + display, "QT_QPA_PLATFORM=xcb"}, nullptr);
}

ChildProcess::~ChildProcess() { Reap(pid_); }

int ChildProcess::waitForExit(std::chrono::milliseconds limit) {
    if (pid_ <= 0) return -1;
    int status = 0;
    const bool ended = WaitUntil([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, limit);
    if (!ended) return -1;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

}  // namespace vellox::test
