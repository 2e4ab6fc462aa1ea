#include "cli/station/windows/ConsoleControlWatch.h"

#include <atomic>

namespace vellox::cli {
namespace {

std::atomic<int> requests{0};
std::atomic<bool> closing_requested{false};
// Set while a watch exists, left alone until it is gone.
HANDLE requested_event = nullptr;
HANDLE finished_event = nullptr;
// The system ends the process some 5 s after a closing event; what is left is for the log.
constexpr DWORD ClosingHold = 4500;

BOOL WINAPI console_control(DWORD event) { return ConsoleControlWatch::handle(event); }

}  // namespace

BOOL ConsoleControlWatch::handle(DWORD event) {
    if (requested_event == nullptr) return FALSE;
    const bool closing =
        event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT;
    if (!closing && event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    // Three at once: the workers are cut and logged as stopped, as a third Ctrl+C would.
    if (closing) closing_requested = true;
    requests += closing ? 3 : 1;
    ::SetEvent(requested_event);
    // Returning ends the process: held until the station has written its lines and ended.
    if (closing) ::WaitForSingleObject(finished_event, ClosingHold);
    return TRUE;
}

ConsoleControlWatch::ConsoleControlWatch()
    : requested_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    requests = 0;
    closing_requested = false;
    requested_event = requested_.get();
    // Never closed: a held handler may still be waiting on it when the watch goes.
    if (finished_event == nullptr) finished_event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ::ResetEvent(finished_event);
    ::SetConsoleCtrlHandler(&console_control, TRUE);
}

ConsoleControlWatch::~ConsoleControlWatch() {
    ::SetConsoleCtrlHandler(&console_control, FALSE);
    // A held closing handler may now return; the process ends with it.
    requested_event = nullptr;
    ::SetEvent(finished_event);
}

bool ConsoleControlWatch::ending() const { return closing_requested; }

int ConsoleControlWatch::take() {
    ::ResetEvent(requested_.get());
    return requests.exchange(0);
}

}  // namespace vellox::cli
