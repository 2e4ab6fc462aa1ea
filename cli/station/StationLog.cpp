#include "cli/station/StationLog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
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

// Opens the log without following a link, creating it only where nothing is, and refuses a
// file it cannot trust: a record forged by someone else would make --once-per-serial skip a
// board unflashed, and a link would make the station append to a file of the link's choosing.
UniqueFd open_log_file(const std::filesystem::path& path, std::string& error) {
    constexpr int flags = O_RDWR | O_APPEND | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
    const std::filesystem::path dir = path.has_parent_path() ? path.parent_path() : ".";
    UniqueFd fd;
    bool created = false;
    // Two tries: another station may create the file between the open and the creation.
    for (int tries = 0; tries < 2 && !fd.valid(); ++tries) {
        fd = UniqueFd(::open(path.c_str(), flags));
        if (fd.valid() || errno != ENOENT) break;
        // Only the owner reads a log in a folder that anyone may write to.
        struct stat dir_st {};
        const bool open_dir = ::stat(dir.c_str(), &dir_st) == 0 && (dir_st.st_mode & S_IWOTH) != 0;
        fd = UniqueFd(::open(path.c_str(), flags | O_CREAT | O_EXCL, open_dir ? 0600 : 0640));
        created = fd.valid();
        if (!fd.valid() && errno != EEXIST) break;
    }
    if (!fd.valid()) {
        error = errno == ELOOP ? "the log " + path.string() + " is a symbolic link"
                               : errno_text("cannot open the log", path);
        return {};
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        error = errno_text("cannot look at the log", path);
        return {};
    }
    if (!S_ISREG(st.st_mode)) {
        error = "the log " + path.string() + " is not a regular file";
        return {};
    }
    if (st.st_uid != ::geteuid()) {
        error = "the log " + path.string() + " belongs to another user (uid " +
                std::to_string(st.st_uid) + ")";
        return {};
    }
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        error = "the log " + path.string() + " may be written by others (mode " + mode +
                "): chmod go-w it";
        return {};
    }
    if (created) {
        // A new file's name must survive a power cut as well as its lines.
        UniqueFd dir_fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (dir_fd.valid()) ::fsync(dir_fd.get());
    }
    return fd;
}

}  // namespace

std::optional<StationLog> StationLog::open(const std::filesystem::path& path, std::string& error) {
    UniqueFd fd = open_log_file(path, error);
    if (!fd.valid()) return std::nullopt;
    return StationLog(path, std::move(fd));
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
