#pragma once
// The station's record: one JSON line per device and outcome, appended to a file that several
// stations may share. Each line reaches the disk (fsync) before the station calls the device
// done, and goes out in one write() under an exclusive lock, so lines of two stations never
// mix. A line torn by a crash or power cut is closed off by the next append, so it stays a
// line of its own that readers skip instead of spoiling the next record.

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "hid/linux/UniqueFd.h"

namespace vellox::cli {

class StationLog {
  public:
    // Opens (creating it if needed) for appending, and for reading its last byte; nullopt with
    // `error` set on failure.
    static std::optional<StationLog> open(const std::filesystem::path& path, std::string& error);

    // Appends `line` (one JSON object, no line break) and flushes it to the disk.
    bool append(std::string_view line, std::string& error);

    const std::filesystem::path& path() const { return path_; }

  private:
    StationLog(std::filesystem::path path, UniqueFd fd)
        : path_(std::move(path)), fd_(std::move(fd)) {}

    std::filesystem::path path_;
    UniqueFd fd_;
};

struct LogReading {
    std::set<std::string> succeeded_serials;  // serial numbers of lines with "ok":true
    std::size_t records = 0;                  // whole lines read as records
    std::size_t skipped = 0;                  // torn or garbled lines passed over
};

// Reads the log as it is now; a missing file reads as empty.
LogReading read_station_log(const std::filesystem::path& path);

}  // namespace vellox::cli
