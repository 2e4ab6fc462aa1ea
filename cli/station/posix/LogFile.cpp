// The station's log on Linux: flock for the locks, O_APPEND writes, fsync, and the file's
// device and inode for its identity.
#include "cli/station/LogFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vellox::cli {

std::string failure_text(const std::string& what, const std::filesystem::path& path) {
    return what + " " + path.string() + ": " + std::strerror(errno);
}

// Opens the log without following a link, creating it only where nothing is, and refuses a
// file it cannot trust: a record forged by someone else would make --once-per-serial skip a
// board unflashed, and a link would make the station append to a file of the link's choosing.
std::optional<LogFile> LogFile::open(const std::filesystem::path& path, std::string& error) {
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
                               : failure_text("cannot open the log", path);
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        error = failure_text("cannot look at the log", path);
        return std::nullopt;
    }
    if (!S_ISREG(st.st_mode)) {
        error = "the log " + path.string() + " is not a regular file";
        return std::nullopt;
    }
    if (st.st_uid != ::geteuid()) {
        error = "the log " + path.string() + " belongs to another user (uid " +
                std::to_string(st.st_uid) + ")";
        return std::nullopt;
    }
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        error = "the log " + path.string() + " may be written by others (mode " + mode +
                "): chmod go-w it";
        return std::nullopt;
    }
    if (created) {
        // A new file's name must survive a power cut as well as its lines.
        UniqueFd dir_fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (dir_fd.valid()) ::fsync(dir_fd.get());
    }
    return LogFile(std::move(fd));
}

std::optional<LogFile> LogFile::open_to_read(const std::filesystem::path& path) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) return std::nullopt;
    return LogFile(std::move(fd));
}

long long LogFile::read_at(std::uint64_t offset, char* into, std::size_t size) const {
    for (;;) {
        const ssize_t n = ::pread(handle_.get(), into, size, static_cast<off_t>(offset));
        if (n >= 0 || errno != EINTR) return n;
    }
}

std::optional<bool> LogFile::is_at(const std::filesystem::path& path) const {
    struct stat now {};
    struct stat held {};
    if (::fstat(handle_.get(), &held) != 0) return std::nullopt;
    return ::lstat(path.c_str(), &now) == 0 && now.st_dev == held.st_dev &&
           now.st_ino == held.st_ino;
}

bool LogFile::append(std::string_view record, std::uint64_t /*end: O_APPEND finds it*/) {
    std::size_t done = 0;
    while (done < record.size()) {
        const ssize_t n = ::write(handle_.get(), record.data() + done, record.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool LogFile::flush() { return ::fsync(handle_.get()) == 0; }

void LogFile::cut_back(std::uint64_t size) {
    while (::ftruncate(handle_.get(), static_cast<off_t>(size)) != 0 && errno == EINTR) {
    }
    ::fsync(handle_.get());
}

bool LogFile::lock(bool exclusive) {
    while (::flock(handle_.get(), exclusive ? LOCK_EX : LOCK_SH) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

void LogFile::unlock() { ::flock(handle_.get(), LOCK_UN); }

}  // namespace vellox::cli
