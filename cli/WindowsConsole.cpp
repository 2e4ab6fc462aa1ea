#include "cli/WindowsConsole.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>

namespace vellox::cli {
namespace {

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
constexpr DWORD ENABLE_VIRTUAL_TERMINAL_PROCESSING = 0x0004;
#endif

UINT saved_code_page = 0;
HANDLE mode_handle = nullptr;
DWORD saved_mode = 0;
std::atomic<bool> changed{false};

}  // namespace

WindowsConsole::WindowsConsole() {
    saved_code_page = ::GetConsoleOutputCP();
    if (saved_code_page != 0 && saved_code_page != CP_UTF8) ::SetConsoleOutputCP(CP_UTF8);
    HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (err != INVALID_HANDLE_VALUE && err != nullptr && ::GetConsoleMode(err, &mode) &&
        (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) == 0) {
        if (::SetConsoleMode(err, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
            mode_handle = err;
            saved_mode = mode;
        } else {
            escapes_ = false;  // a console without escape sequences
        }
    }
    changed = true;
    std::atexit(&restore_console);
}

WindowsConsole::~WindowsConsole() { restore_console(); }

void restore_console() {
    if (!changed.exchange(false)) return;
    if (saved_code_page != 0 && saved_code_page != CP_UTF8) ::SetConsoleOutputCP(saved_code_page);
    if (mode_handle != nullptr) ::SetConsoleMode(mode_handle, saved_mode);
}

}  // namespace vellox::cli
