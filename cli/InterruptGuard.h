#pragma once
// Ctrl+C (SIGINT, SIGTERM; on Windows the console's Ctrl+C and Ctrl+Break events) while a
// command talks to the device. Ending the process there would leave a device erased and half
// written with no word: the first interrupt says that the command runs to its end and that a
// second one abandons it; the second prints `abandoned` and ends the process at once with
// ExitCode::Interrupted. The old dispositions come back at destruction. One at a time.

#include <string>

namespace vellox::cli {

class InterruptGuard {
  public:
    // Both texts are whole lines; they are written from the handler as they stand.
    InterruptGuard(std::string first, std::string abandoned);
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

    // Interrupts since this guard was set up.
    static int count();
};

}  // namespace vellox::cli
