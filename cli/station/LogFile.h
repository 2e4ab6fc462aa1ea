#pragma once
// The station log's file as each system keeps it (posix/LogFile.cpp, windows/LogFile.cpp): its
// trust checks, reads and writes at an offset, locks, identity and flushes. StationLog's steps
// are written once over these. A call that fails leaves the system's error (errno,
// GetLastError) for failure_text.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#ifdef _WIN32
#include "cli/station/windows/WinHandle.h"
#else
#include "hid/UniqueFd.h"
#endif

namespace vellox::cli {

class LogFile {
  public:
    // Opens the log for reading and appending, creating it where nothing is, and refuses a file
    // it cannot trust; nullopt with `error` set.
    static std::optional<LogFile> open(const std::filesystem::path& path, std::string& error);
    // Opens an existing log for reading only; nullopt when there is none to open.
    static std::optional<LogFile> open_to_read(const std::filesystem::path& path);

    // Reads up to `size` bytes at `offset`: how many, 0 at the end, -1 on failure.
    long long read_at(std::uint64_t offset, char* into, std::size_t size) const;
    // Whether `path` still names this file (false when it is gone or names another); nullopt
    // when this file cannot be looked at.
    std::optional<bool> is_at(const std::filesystem::path& path) const;
    // Writes `record` in one go at the end, which the exclusive lock holds at `end`; a short
    // write fails as a full disk.
    bool append(std::string_view record, std::uint64_t end);
    // Brings what was written to the disk.
    bool flush();
    // Cuts the file back to `size` bytes, and flushes that.
    void cut_back(std::uint64_t size);

    // Holds a shared or exclusive lock for one scope. A failing lock is not worth losing a
    // record over: the holder carries on without it.
    class Lock {
      public:
        Lock(LogFile& file, bool exclusive) : file_(file), locked_(file.lock(exclusive)) {}
        ~Lock() {
            if (locked_) file_.unlock();
        }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

      private:
        LogFile& file_;
        bool locked_;
    };

  private:
#ifdef _WIN32
    using Handle = WinHandle;
#else
    using Handle = UniqueFd;
#endif
    explicit LogFile(Handle handle) : handle_(std::move(handle)) {}
    bool lock(bool exclusive);
    void unlock();

    Handle handle_;
};

// "`what` `path`: the system's message" for the failure just seen.
std::string failure_text(const std::string& what, const std::filesystem::path& path);

}  // namespace vellox::cli
