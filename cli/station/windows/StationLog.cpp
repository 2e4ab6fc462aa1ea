// The station's log on Windows: appended with one WriteFile under LockFileEx, then
// FlushFileBuffers, before the device is called done. The lock is on one byte far past any
// data: Windows' locks are binding on reads and writes within their range, and a log that
// others only read must never refuse them. Locks hold on a network share as on a local disk.
#include "cli/station/StationLog.h"

#include <windows.h>

namespace vellox::cli {
namespace {

constexpr DWORD LockOffsetHigh = 0x40000000;  // byte 2^62

std::string utf8_path(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

std::string error_text(const std::string& what, const std::filesystem::path& path) {
    return what + " " + utf8_path(path) + ": " + system_message(::GetLastError());
}

class FileLock {
  public:
    FileLock(HANDLE file, bool exclusive) : file_(file) {
        overlapped_.OffsetHigh = LockOffsetHigh;
        // A failing lock is not worth losing a record over: the holder carries on without it.
        locked_ = ::LockFileEx(file_, exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0, 0, 1, 0,
                               &overlapped_) != 0;
    }
    ~FileLock() {
        if (locked_) ::UnlockFileEx(file_, 0, 1, 0, &overlapped_);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

  private:
    HANDLE file_;
    OVERLAPPED overlapped_{};
    bool locked_ = false;
};

// Reads up to `size` bytes at `offset`; -1 on failure.
long long read_at(HANDLE file, std::uint64_t offset, char* into, DWORD size) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD n = 0;
    if (!::ReadFile(file, into, size, &n, &at))
        return ::GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    return n;
}

bool same_file(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION x{}, y{};
    return ::GetFileInformationByHandle(a, &x) && ::GetFileInformationByHandle(b, &y) &&
           x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
           x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
}

// Opens the log, creating it where nothing is. A link (a reparse point) is refused, since it
// would make the station append to a file of its maker's choosing, and so is anything that is
// not a file on a disk (a device, a pipe). Others may read, append and rename it meanwhile.
WinHandle open_log_file(const std::filesystem::path& path, std::string& error) {
    WinHandle file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                 nullptr));
    if (!file.valid()) {
        error = error_text("cannot open the log", path);
        return {};
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file.get(), &info)) {
        error = error_text("cannot look at the log", path);
        return {};
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        error = "the log " + utf8_path(path) + " is a symbolic link";
        return {};
    }
    if (::GetFileType(file.get()) != FILE_TYPE_DISK ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        error = "the log " + utf8_path(path) + " is not a regular file";
        return {};
    }
    return file;
}

}  // namespace

std::optional<StationLog> StationLog::open(const std::filesystem::path& path, std::string& error) {
    WinHandle file = open_log_file(path, error);
    if (!file.valid()) return std::nullopt;
    StationLog log(path, std::move(file));
    FileLock lock(log.fd_.get(), false);
    if (!log.catch_up(error)) return std::nullopt;
    return log;
}

bool StationLog::catch_up(std::string& error) {
    std::string chunk(65536, '\0');
    for (;;) {
        const long long n = read_at(fd_.get(), offset_, chunk.data(), 65536);
        if (n < 0) {
            error = error_text("cannot read the log", path_);
            return false;
        }
        if (n == 0) return true;
        index_.feed({chunk.data(), static_cast<std::size_t>(n)});
        offset_ += static_cast<std::uint64_t>(n);
    }
}

bool StationLog::follow_rotation(std::string& error) {
    // A path that is gone or names another file: the log was rotated (or replaced).
    WinHandle now(::CreateFileW(path_.c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (now.valid() && same_file(now.get(), fd_.get())) return true;
    {
        // What others wrote to the old file before it was moved away still counts.
        FileLock lock(fd_.get(), false);
        if (!catch_up(error)) return false;
    }
    WinHandle file = open_log_file(path_, error);
    if (!file.valid()) return false;
    fd_ = std::move(file);
    offset_ = 0;
    index_.end_of_file();
    return true;
}

bool StationLog::refresh(std::string& error) {
    if (!follow_rotation(error)) return false;
    FileLock lock(fd_.get(), false);
    return catch_up(error);
}

bool StationLog::append(std::string_view line, std::string& error) {
    if (!follow_rotation(error)) return false;
    FileLock lock(fd_.get(), true);
    // Others' records first, so that the index reads the file in its order.
    if (!catch_up(error)) return false;
    std::string record;
    record.reserve(line.size() + 2);
    // A line torn by a crash has no line break yet: end it, so this record starts a line.
    const std::uint64_t before = offset_;
    if (before > 0) {
        char last = '\n';
        if (read_at(fd_.get(), before - 1, &last, 1) == 1 && last != '\n') record += '\n';
    }
    record += line;
    record += '\n';

    // One write at the end, which the lock keeps for this station.
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(before);
    at.OffsetHigh = static_cast<DWORD>(before >> 32);
    DWORD written = 0;
    bool ok = ::WriteFile(fd_.get(), record.data(), static_cast<DWORD>(record.size()), &written,
                          &at) != 0;
    if (ok && written != record.size()) {
        ::SetLastError(ERROR_DISK_FULL);
        ok = false;
    }
    if (!ok) {
        error = error_text("cannot write the log", path_);
    } else if (!::FlushFileBuffers(fd_.get())) {
        error = error_text("cannot flush the log", path_);
        ok = false;
    }
    if (!ok) {
        // Still under the lock: nobody appended after the torn part, which goes again.
        LARGE_INTEGER end;
        end.QuadPart = static_cast<LONGLONG>(before);
        if (::SetFilePointerEx(fd_.get(), end, nullptr, FILE_BEGIN)) ::SetEndOfFile(fd_.get());
        ::FlushFileBuffers(fd_.get());
        return false;
    }
    index_.feed(record);
    offset_ += record.size();
    return true;
}

LogReading read_station_log(const std::filesystem::path& path) {
    LogReading reading;
    WinHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
    if (!file.valid()) return reading;
    // Shared: waits for a line another station is writing at this moment.
    FileLock lock(file.get(), false);
    LogIndex index;
    std::string chunk(65536, '\0');
    std::uint64_t offset = 0;
    for (long long n; (n = read_at(file.get(), offset, chunk.data(), 65536)) > 0;) {
        index.feed({chunk.data(), static_cast<std::size_t>(n)});
        offset += static_cast<std::uint64_t>(n);
    }
    reading.succeeded_serials = index.succeeded_serials();
    reading.records = index.records();
    reading.skipped = index.skipped();
    return reading;
}

}  // namespace vellox::cli
