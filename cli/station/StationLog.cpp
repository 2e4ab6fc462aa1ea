#include "cli/station/StationLog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "cli/station/JsonLine.h"

namespace vellox::cli {
namespace {

std::string errno_text(const std::string& what, const std::filesystem::path& path) {
    return what + " " + path.string() + ": " + std::strerror(errno);
}

// Holds a flock for one scope; a failing lock is not worth losing a record over, so the
// holder carries on without it.
class FileLock {
  public:
    FileLock(int fd, int how) : fd_(fd) {
        while (::flock(fd_, how) != 0 && errno == EINTR) {
        }
    }
    ~FileLock() { ::flock(fd_, LOCK_UN); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

  private:
    int fd_;
};

}  // namespace

std::optional<StationLog> StationLog::open(const std::filesystem::path& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = errno_text("cannot open the log", path);
        return std::nullopt;
    }
    UniqueFd owned(fd);
    // A new file's name must survive a power cut as well as its lines.
    const std::filesystem::path dir = path.has_parent_path() ? path.parent_path() : ".";
    UniqueFd dir_fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir_fd.valid()) ::fsync(dir_fd.get());
    return StationLog(path, std::move(owned));
}

bool StationLog::append(std::string_view line, std::string& error) {
    FileLock lock(fd_.get(), LOCK_EX);
    std::string record;
    record.reserve(line.size() + 2);
    // A line torn by a crash has no line break yet: end it, so this record starts a line.
    struct stat st {};
    if (::fstat(fd_.get(), &st) == 0 && st.st_size > 0) {
        char last = '\n';
        if (::pread(fd_.get(), &last, 1, st.st_size - 1) == 1 && last != '\n') record += '\n';
    }
    record += line;
    record += '\n';

    std::size_t done = 0;
    while (done < record.size()) {
        const ssize_t n = ::write(fd_.get(), record.data() + done, record.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = errno_text("cannot write the log", path_);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd_.get()) != 0) {
        error = errno_text("cannot flush the log", path_);
        return false;
    }
    return true;
}

LogReading read_station_log(const std::filesystem::path& path) {
    LogReading reading;
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) return reading;
    // Shared: waits for a line another station is writing at this moment.
    FileLock lock(fd.get(), LOCK_SH);
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        // No line break after the last line: it was torn while being written.
        if (end == std::string::npos) {
            ++reading.skipped;
            break;
        }
        const std::string_view line(text.data() + start, end - start);
        start = end + 1;
        if (line.empty()) continue;
        const auto record = JsonLine::parse(line);
        if (!record) {
            ++reading.skipped;
            continue;
        }
        ++reading.records;
        if (record->flag("ok") == true && !record->text("serial").empty()) {
            reading.succeeded_serials.insert(record->text("serial"));
        }
    }
    return reading;
}

}  // namespace vellox::cli
