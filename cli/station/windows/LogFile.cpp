// The station's log on Windows: appended with one WriteFile under LockFileEx, then
// FlushFileBuffers, before the device is called done. The lock is on one byte far past any
// data: Windows' locks are binding on reads and writes within their range, and a log that
// others only read must never refuse them. Locks hold on a network share as on a local disk.
#include "cli/station/LogFile.h"

#include <windows.h>

namespace vellox::cli {
namespace {

constexpr DWORD LockOffsetHigh = 0x40000000;  // byte 2^62

std::string utf8_path(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

OVERLAPPED at_offset(std::uint64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
}

}  // namespace

std::string failure_text(const std::string& what, const std::filesystem::path& path) {
    return what + " " + utf8_path(path) + ": " + system_message(::GetLastError());
}

// Opens the log, creating it where nothing is. A link (a reparse point) is refused, since it
// would make the station append to a file of its maker's choosing, and so is anything that is
// not a file on a disk (a device, a pipe). Others may read, append and rename it meanwhile.
std::optional<LogFile> LogFile::open(const std::filesystem::path& path, std::string& error) {
    WinHandle file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                 nullptr));
    if (!file.valid()) {
        error = failure_text("cannot open the log", path);
        return std::nullopt;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file.get(), &info)) {
        error = failure_text("cannot look at the log", path);
        return std::nullopt;
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        error = "the log " + utf8_path(path) + " is a symbolic link";
        return std::nullopt;
    }
    if (::GetFileType(file.get()) != FILE_TYPE_DISK ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        error = "the log " + utf8_path(path) + " is not a regular file";
        return std::nullopt;
    }
    return LogFile(std::move(file));
}

std::optional<LogFile> LogFile::open_to_read(const std::filesystem::path& path) {
    WinHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
    if (!file.valid()) return std::nullopt;
    return LogFile(std::move(file));
}

long long LogFile::read_at(std::uint64_t offset, char* into, std::size_t size) const {
    OVERLAPPED at = at_offset(offset);
    DWORD n = 0;
    if (!::ReadFile(handle_.get(), into, static_cast<DWORD>(size), &n, &at))
        return ::GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    return n;
}

std::optional<bool> LogFile::is_at(const std::filesystem::path& path) const {
    WinHandle now(::CreateFileW(path.c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION x{}, y{};
    return now.valid() && ::GetFileInformationByHandle(now.get(), &x) &&
           ::GetFileInformationByHandle(handle_.get(), &y) &&
           x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
           x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
}

bool LogFile::append(std::string_view record, std::uint64_t end) {
    // One write at the end, which the lock keeps for this station.
    OVERLAPPED at = at_offset(end);
    DWORD written = 0;
    if (!::WriteFile(handle_.get(), record.data(), static_cast<DWORD>(record.size()), &written,
                     &at)) {
        return false;
    }
    if (written != record.size()) {
        ::SetLastError(ERROR_DISK_FULL);
        return false;
    }
    return true;
}

bool LogFile::flush() { return ::FlushFileBuffers(handle_.get()) != 0; }

void LogFile::cut_back(std::uint64_t size) {
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    if (::SetFilePointerEx(handle_.get(), end, nullptr, FILE_BEGIN)) ::SetEndOfFile(handle_.get());
    ::FlushFileBuffers(handle_.get());
}

bool LogFile::lock(bool exclusive) {
    OVERLAPPED at = at_offset(std::uint64_t{LockOffsetHigh} << 32);
    return ::LockFileEx(handle_.get(), exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0, 0, 1, 0, &at) != 0;
}

void LogFile::unlock() {
    OVERLAPPED at = at_offset(std::uint64_t{LockOffsetHigh} << 32);
    ::UnlockFileEx(handle_.get(), 0, 1, 0, &at);
}

}  // namespace vellox::cli
