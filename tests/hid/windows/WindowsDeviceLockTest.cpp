// The device lock between two processes under wine: named mutexes keyed by the interface path
// as Windows compares it, given back by the system when the holding process is ended.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "hid/windows/WindowsHidPlatform.h"

namespace {

const std::string Path =
    R"(\\?\hid#vid_ffff&pid_2016#7&1a2b&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})";
// The same interface as Windows compares paths.
const std::string SamePath =
    R"(\\.\HID#VID_FFFF&PID_2016#7&1A2B&0&0000#{4D1E55B2-F16F-11CF-88CB-001111000030})";
const std::string OtherPath =
    R"(\\?\hid#vid_ffff&pid_2016#7&9&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})";

// Another program holding (or trying for) the lock: vellox-lock-holder beside this test.
class LockHolder {
  public:
    LockHolder(const std::string& path, const char* mode) {
        wchar_t self[MAX_PATH];
        const DWORD n = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring exe(self, n);
        exe = exe.substr(0, exe.find_last_of(L"\\/") + 1) + L"vellox-lock-holder.exe";
        std::wstring line = L"\"" + exe + L"\" \"" + std::wstring(path.begin(), path.end()) +
                            L"\" " + std::wstring(mode, mode + std::strlen(mode));

        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE write_end = nullptr;
        if (!::CreatePipe(&read_end_, &write_end, &inherit, 0)) return;
        ::SetHandleInformation(read_end_, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = write_end;
        startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
        startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
        started_ = ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                    nullptr, &startup, &process_);
        ::CloseHandle(write_end);
    }
    ~LockHolder() {
        end();
        if (read_end_) ::CloseHandle(read_end_);
    }

    // What the holder found, once it has said it.
    std::string said() {
        std::string text;
        char c = 0;
        DWORD got = 0;
        while (started_ && ::ReadFile(read_end_, &c, 1, &got, nullptr) && got == 1 && c != '\n') {
            if (c != '\r') text += c;
        }
        return text;
    }
    // Ended as a crash would end it: nothing of its own lets go of the lock.
    void end() {
        if (!started_) return;
        ::TerminateProcess(process_.hProcess, 9);
        ::WaitForSingleObject(process_.hProcess, INFINITE);
        ::CloseHandle(process_.hProcess);
        ::CloseHandle(process_.hThread);
        started_ = false;
    }

  private:
    HANDLE read_end_ = nullptr;
    PROCESS_INFORMATION process_{};
    bool started_ = false;
};

HidLockResult attempt(HidPlatform& platform, const std::string& path, HidLockMode mode,
                      std::unique_ptr<HidDeviceLock>* keep = nullptr) {
    HidLockResult result = HidLockResult::Failed;
    auto lock = platform.try_lock(path, mode, result);
    EXPECT_EQ(lock != nullptr, result == HidLockResult::Acquired);
    if (keep) *keep = std::move(lock);
    return result;
}

TEST(WindowsDeviceLock, KeysIgnoreCaseAndThePrefixAndStayShort) {
    EXPECT_EQ(device_lock_key(Path), device_lock_key(SamePath));
    EXPECT_NE(device_lock_key(Path), device_lock_key(OtherPath));
    EXPECT_EQ(device_lock_key(Path).find(L'\\'), std::wstring::npos);
    const std::string long_path = Path + std::string(300, 'x');
    EXPECT_LE(device_lock_key(long_path).size(), 160u);
    EXPECT_NE(device_lock_key(long_path), device_lock_key(long_path + "y"));
}

TEST(WindowsDeviceLock, ADownloadInAnotherProcessKeepsEveryoneOutUntilThatProcessEnds) {
    WindowsHidPlatform platform;
    LockHolder download(Path, "exclusive");
    ASSERT_EQ(download.said(), "acquired");
    EXPECT_EQ(attempt(platform, SamePath, HidLockMode::Shared), HidLockResult::HeldExclusive);
    EXPECT_EQ(attempt(platform, Path, HidLockMode::Exclusive), HidLockResult::HeldExclusive);
    EXPECT_EQ(attempt(platform, OtherPath, HidLockMode::Exclusive), HidLockResult::Acquired);
    download.end();
    EXPECT_EQ(attempt(platform, Path, HidLockMode::Exclusive), HidLockResult::Acquired);
}

TEST(WindowsDeviceLock, QueriesShareItAndADownloadWaitsForThem) {
    WindowsHidPlatform platform;
    LockHolder query(Path, "shared");
    ASSERT_EQ(query.said(), "acquired");
    std::unique_ptr<HidDeviceLock> ours;
    EXPECT_EQ(attempt(platform, SamePath, HidLockMode::Shared, &ours), HidLockResult::Acquired);
    ours.reset();
    EXPECT_EQ(attempt(platform, Path, HidLockMode::Exclusive), HidLockResult::HeldShared);
    query.end();
    ASSERT_EQ(attempt(platform, Path, HidLockMode::Exclusive, &ours), HidLockResult::Acquired);

    // Ours now: the other process is kept out, queries and downloads alike.
    LockHolder late_query(Path, "shared");
    EXPECT_EQ(late_query.said(), "held-exclusive");
    LockHolder late_download(SamePath, "exclusive");
    EXPECT_EQ(late_download.said(), "held-exclusive");
}

}  // namespace
