#include "cli/station/StationLog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

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
    StationLog log(path, std::move(fd));
    FileLock lock(log.fd_.get(), LOCK_SH);
    if (!log.catch_up(error)) return std::nullopt;
    return log;
}

bool StationLog::catch_up(std::string& error) {
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::pread(fd_.get(), chunk, sizeof chunk, static_cast<off_t>(offset_));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = errno_text("cannot read the log", path_);
            return false;
        }
        if (n == 0) return true;
        index_.feed({chunk, static_cast<std::size_t>(n)});
        offset_ += static_cast<std::uint64_t>(n);
    }
}

bool StationLog::follow_rotation(std::string& error) {
    struct stat now {};
    struct stat held {};
    if (::fstat(fd_.get(), &held) != 0) {
        error = errno_text("cannot look at the log", path_);
        return false;
    }
    // A path that is gone or names another file: the log was rotated (or replaced).
    if (::lstat(path_.c_str(), &now) == 0 && now.st_dev == held.st_dev &&
        now.st_ino == held.st_ino) {
        return true;
    }
    {
        // What others wrote to the old file before it was moved away still counts.
        FileLock lock(fd_.get(), LOCK_SH);
        if (!catch_up(error)) return false;
    }
    UniqueFd fd = open_log_file(path_, error);
    if (!fd.valid()) return false;
    fd_ = std::move(fd);
    offset_ = 0;
    index_.end_of_file();
    return true;
}

bool StationLog::refresh(std::string& error) {
    if (!follow_rotation(error)) return false;
    FileLock lock(fd_.get(), LOCK_SH);
    return catch_up(error);
}

bool StationLog::append(std::string_view line, std::string& error) {
    if (!follow_rotation(error)) return false;
    FileLock lock(fd_.get(), LOCK_EX);
    // Others' records first, so that the index reads the file in its order.
    if (!catch_up(error)) return false;
    std::string record;
    record.reserve(line.size() + 2);
    // A line torn by a crash has no line break yet: end it, so this record starts a line.
    const auto before = static_cast<off_t>(offset_);
    if (before > 0) {
        char last = '\n';
        if (::pread(fd_.get(), &last, 1, before - 1) == 1 && last != '\n') record += '\n';
    }
    record += line;
    record += '\n';

    std::size_t done = 0;
    bool written = true;
    while (done < record.size()) {
        const ssize_t n = ::write(fd_.get(), record.data() + done, record.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            error = errno_text("cannot write the log", path_);
            written = false;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (written && ::fsync(fd_.get()) != 0) {
        error = errno_text("cannot flush the log", path_);
        written = false;
    }
    if (!written) {
        // Still under the lock: nobody appended after the torn part, which goes again.
        while (::ftruncate(fd_.get(), before) != 0 && errno == EINTR) {
        }
        ::fsync(fd_.get());
        return false;
    }
    index_.feed(record);
    offset_ += record.size();
    return true;
}

LogReading read_station_log(const std::filesystem::path& path) {
    LogReading reading;
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) return reading;
    // Shared: waits for a line another station is writing at this moment.
    FileLock lock(fd.get(), LOCK_SH);
    LogIndex index;
    char chunk[65536];
    for (ssize_t n; (n = ::read(fd.get(), chunk, sizeof chunk)) > 0;) {
        index.feed({chunk, static_cast<std::size_t>(n)});
    }
    reading.succeeded_serials = index.succeeded_serials();
    reading.records = index.records();
    reading.skipped = index.skipped();
    return reading;
}

}  // namespace vellox::cli
