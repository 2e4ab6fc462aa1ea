#pragma once
// Exit codes of vellox-cli. Scripts depend on these numbers: never renumber, only add.

#include "dialogue/Report.h"

namespace vellox::cli {

enum class ExitCode : int {
    Ok = 0,
    Failure = 1,           // anything not listed below (an unexpected fault of the tool)
    Usage = 2,             // bad command line
    NoDevice = 3,          // no supported device (after --wait, if given)
    PermissionDenied = 4,  // a supported device exists but its node cannot be opened
    ImageUnreadable = 5,   // the image file cannot be opened or read
    ImageTooLarge = 6,     // "Size of file is error"
    ProductMismatch = 7,   // "Product ID is error"
    NoCapacity = 8,        // the device reports no flash capacity: nothing can be written
    DeviceFailed = 9,      // station: at least one device was not flashed successfully
    // 10 + the dialogue's status code: 11 " no connected", 12 "HID out Data error",
    // 13 "Time out  error", 16 "Verify error", 20 "Write  error __", 21 "other error".
    DialogueBase = 10,
    DeviceBusy = 22,  // another Vellox program is flashing the device; nothing was sent
    WorkerCut = 23,   // station: a worker cut short (past its deadline, or the third Ctrl-C)
    // A second Ctrl+C (SIGINT, SIGTERM) abandoned a download or query: the device may be left
    // erased or half written. The shells' code for an interrupt.
    Interrupted = 130,
};

constexpr int to_int(ExitCode code) { return static_cast<int>(code); }

// Exit code for a failed dialogue status (1..10; higher codes share 21).
constexpr int exit_code_for_status(DialogueStatus status) {
    const auto code = static_cast<int>(status);
    return to_int(ExitCode::DialogueBase) + (code > 10 ? 11 : code);
}

}  // namespace vellox::cli
