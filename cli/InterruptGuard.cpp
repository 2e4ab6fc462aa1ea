#include "cli/InterruptGuard.h"

#include <atomic>

#include "cli/ExitCode.h"

#ifdef _WIN32
#include <windows.h>

#include "cli/WindowsConsole.h"
#else
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace vellox::cli {
namespace {

static_assert(std::atomic<int>::is_always_lock_free, "touched from a signal handler");
std::atomic<int> interrupts{0};
// Set before the handler is installed and left alone until it is removed again.
std::string first_text;
std::string abandoned_text;

#ifdef _WIN32
void say(const std::string& text) {
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), text.data(), static_cast<DWORD>(text.size()),
                &written, nullptr);
}

// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI console_control(DWORD event) {
    // A closing console or a logoff ends the process whatever the handler returns.
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    if (interrupts.fetch_add(1) == 0) {
        say(first_text);
        return TRUE;
    }
    say(abandoned_text);
    restore_console();
    // Not ExitProcess: the main thread may hold a lock that the exit path would wait for.
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(to_int(ExitCode::Interrupted)));
    return TRUE;
}
#else
struct sigaction old_int {};
struct sigaction old_term {};

void say(const std::string& text) {
    [[maybe_unused]] const auto n = ::write(STDERR_FILENO, text.data(), text.size());
}

extern "C" void interrupt_signal(int) {
    const int saved = errno;
    if (interrupts.fetch_add(1) == 0) {
        say(first_text);
    } else {
        say(abandoned_text);
        ::_exit(to_int(ExitCode::Interrupted));
    }
    errno = saved;
}
#endif

}  // namespace

InterruptGuard::InterruptGuard(std::string first, std::string abandoned) {
    first_text = std::move(first);
    abandoned_text = std::move(abandoned);
    interrupts = 0;
#ifdef _WIN32
    ::SetConsoleCtrlHandler(&console_control, TRUE);
#else
    struct sigaction action {};
    action.sa_handler = interrupt_signal;
    sigemptyset(&action.sa_mask);
    // Both signals held off while the handler runs: two at once still count one by one.
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &old_int);
    ::sigaction(SIGTERM, &action, &old_term);
#endif
}

InterruptGuard::~InterruptGuard() {
#ifdef _WIN32
    ::SetConsoleCtrlHandler(&console_control, FALSE);
#else
    ::sigaction(SIGINT, &old_int, nullptr);
    ::sigaction(SIGTERM, &old_term, nullptr);
#endif
}

int InterruptGuard::count() { return interrupts.load(); }

}  // namespace vellox::cli
