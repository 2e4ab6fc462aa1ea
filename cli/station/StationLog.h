#pragma once
// The station's record: one JSON line per device and outcome, appended to a file that several
// stations may share. Each line reaches the disk (fsync) before the station calls the device
// done, and goes out in one write() under an exclusive lock, so lines of two stations never
// mix. A line torn by a crash or power cut is closed off by the next append, so it stays a
// line of its own that readers skip instead of spoiling the next record.
// The file's trust checks, locks and identity are the system's own (LogFile, in posix/ and
// windows/); what the lines say is LogIndex's, the same on every system.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "cli/station/LogFile.h"
#include "cli/station/LogIndex.h"

namespace vellox::cli {

class StationLog {
  public:
    // Opens (creating it if needed) for appending and reads what it holds; nullopt with
    // `error` set on failure or when the file cannot be trusted (see LogFile::open).
    static std::optional<StationLog> open(const std::filesystem::path& path, std::string& error);

    // Appends `line` (one JSON object, no line break) and flushes it to the disk. On failure
    // the file is cut back to where it was, so no torn record stays behind.
    bool append(std::string_view line, std::string& error);

    // Takes in what others appended since, and follows the path to a new file when the log
    // was rotated (renamed or replaced). False with `error` set when that fails.
    bool refresh(std::string& error);

    // As read at the last open, append or refresh.
    const LogIndex& index() const { return index_; }
    const std::filesystem::path& path() const { return path_; }

  private:
    StationLog(std::filesystem::path path, LogFile file)
        : path_(std::move(path)), file_(std::move(file)) {}
    // Reads from `offset_` to the end of the file (under a lock held by the caller).
    bool catch_up(std::string& error);
    bool follow_rotation(std::string& error);

    std::filesystem::path path_;
    LogFile file_;
    std::uint64_t offset_ = 0;  // how much of the file the index has read
    LogIndex index_;
};

struct LogReading {
    std::set<std::string> succeeded_serials;  // serial numbers of lines with "ok":true
    std::size_t records = 0;                  // whole lines read as records
    std::size_t skipped = 0;                  // torn or garbled lines passed over
};

// Reads the log as it is now; a missing file reads as empty.
LogReading read_station_log(const std::filesystem::path& path);

}  // namespace vellox::cli
