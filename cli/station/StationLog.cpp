// The log's steps, the same on every system; the file calls under them are LogFile's.
#include "cli/station/StationLog.h"

namespace vellox::cli {
namespace {

// Feeds `index` what the file holds from `offset` to its end, moving `offset` along; false
// when a read fails.
bool read_on(const LogFile& file, std::uint64_t& offset, LogIndex& index) {
    std::string chunk(65536, '\0');
    for (long long n; (n = file.read_at(offset, chunk.data(), chunk.size())) != 0;) {
        if (n < 0) return false;
        index.feed({chunk.data(), static_cast<std::size_t>(n)});
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

}  // namespace

std::optional<StationLog> StationLog::open(const std::filesystem::path& path, std::string& error) {
    std::optional<LogFile> file = LogFile::open(path, error);
    if (!file) return std::nullopt;
    StationLog log(path, std::move(*file));
    {
        // Let go before the log moves out: the lock names the file it holds.
        LogFile::Lock lock(log.file_, false);
        if (!log.catch_up(error)) return std::nullopt;
    }
    return log;
}

bool StationLog::catch_up(std::string& error) {
    if (read_on(file_, offset_, index_)) return true;
    error = failure_text("cannot read the log", path_);
    return false;
}

bool StationLog::follow_rotation(std::string& error) {
    const std::optional<bool> same = file_.is_at(path_);
    if (!same) {
        error = failure_text("cannot look at the log", path_);
        return false;
    }
    // A path that is gone or names another file: the log was rotated (or replaced).
    if (*same) return true;
    {
        // What others wrote to the old file before it was moved away still counts.
        LogFile::Lock lock(file_, false);
        if (!catch_up(error)) return false;
    }
    std::optional<LogFile> file = LogFile::open(path_, error);
    if (!file) return false;
    file_ = std::move(*file);
    offset_ = 0;
    index_.end_of_file();
    return true;
}

bool StationLog::refresh(std::string& error) {
    if (!follow_rotation(error)) return false;
    LogFile::Lock lock(file_, false);
    return catch_up(error);
}

bool StationLog::append(std::string_view line, std::string& error) {
    if (!follow_rotation(error)) return false;
    LogFile::Lock lock(file_, true);
    // Others' records first, so that the index reads the file in its order.
    if (!catch_up(error)) return false;
    std::string record;
    record.reserve(line.size() + 2);
    // A line torn by a crash has no line break yet: end it, so this record starts a line.
    const std::uint64_t before = offset_;
    if (before > 0) {
        char last = '\n';
        if (file_.read_at(before - 1, &last, 1) == 1 && last != '\n') record += '\n';
    }
    record += line;
    record += '\n';

    bool written = file_.append(record, before);
    if (!written) {
        error = failure_text("cannot write the log", path_);
    } else if (!file_.flush()) {
        error = failure_text("cannot flush the log", path_);
        written = false;
    }
    if (!written) {
        // Still under the lock: nobody appended after the torn part, which goes again.
        file_.cut_back(before);
        return false;
    }
    index_.feed(record);
    offset_ += record.size();
    return true;
}

LogReading read_station_log(const std::filesystem::path& path) {
    LogReading reading;
    std::optional<LogFile> file = LogFile::open_to_read(path);
    if (!file) return reading;
    // Shared: waits for a line another station is writing at this moment.
    LogFile::Lock lock(*file, false);
    LogIndex index;
    std::uint64_t offset = 0;
    read_on(*file, offset, index);  // a failing read ends it with what came before
    reading.succeeded_serials = index.succeeded_serials();
    reading.records = index.records();
    reading.skipped = index.skipped();
    return reading;
}

}  // namespace vellox::cli
