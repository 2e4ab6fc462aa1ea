// Another program for the device-lock test: takes the lock of PATH in MODE (shared or
// exclusive), prints what it found on one line, and keeps what it got until it is ended.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "hid/windows/WindowsHidPlatform.h"

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    WindowsHidPlatform platform;
    HidLockResult result = HidLockResult::Failed;
    auto lock = platform.try_lock(
        argv[1],
        std::strcmp(argv[2], "exclusive") == 0 ? HidLockMode::Exclusive : HidLockMode::Shared,
        result);
    const char* said = result == HidLockResult::Acquired        ? "acquired"
                       : result == HidLockResult::HeldShared    ? "held-shared"
                       : result == HidLockResult::HeldExclusive ? "held-exclusive"
                                                                : "failed";
    std::printf("%s\n", said);
    std::fflush(stdout);
    // The test ends this process as a crash would.
    for (;;) ::Sleep(INFINITE);
}
