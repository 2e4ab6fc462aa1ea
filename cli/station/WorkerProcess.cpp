#include "cli/station/WorkerProcess.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

extern char** environ;

namespace vellox::cli {
namespace {

struct Pipe {
    UniqueFd read;
    UniqueFd write;
};

bool make_pipe(Pipe& p) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    p.read = UniqueFd(fds[0]);
    p.write = UniqueFd(fds[1]);
    // The station must never block on one worker's pipe while others wait.
    ::fcntl(p.read.get(), F_SETFL, ::fcntl(p.read.get(), F_GETFL) | O_NONBLOCK);
    return true;
}

class SpawnSetup {
  public:
    SpawnSetup() {
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawnattr_init(&attr);
    }
    ~SpawnSetup() {
        ::posix_spawn_file_actions_destroy(&actions);
        ::posix_spawnattr_destroy(&attr);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
};

}  // namespace

std::unique_ptr<WorkerProcess> WorkerProcess::start(const std::vector<std::string>& argv,
                                                    std::string& error) {
    Pipe out;
    Pipe err;
    if (!make_pipe(out) || !make_pipe(err)) {
        error = std::string("cannot make a pipe: ") + std::strerror(errno);
        return nullptr;
    }
    SpawnSetup setup;
    ::posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_adddup2(&setup.actions, out.write.get(), STDOUT_FILENO);
    ::posix_spawn_file_actions_adddup2(&setup.actions, err.write.get(), STDERR_FILENO);

    // A process group of its own: the terminal's Ctrl-C goes to the station alone. SIGPIPE
    // stays ignored, as the station has it: a worker whose station died finishes its device
    // instead of dying on its first line of output. Everything else starts at its default.
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGHUP);
    sigset_t none;
    sigemptyset(&none);
    ::posix_spawnattr_setflags(
        &setup.attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    ::posix_spawnattr_setpgroup(&setup.attr, 0);
    ::posix_spawnattr_setsigdefault(&setup.attr, &defaults);
    ::posix_spawnattr_setsigmask(&setup.attr, &none);

    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, args[0], &setup.actions, &setup.attr, args.data(), environ);
    if (rc != 0) {
        error = "cannot start " + argv[0] + ": " + std::strerror(rc);
        return nullptr;
    }
    return std::unique_ptr<WorkerProcess>(
        new WorkerProcess(pid, std::move(out.read), std::move(err.read)));
}

WorkerProcess::~WorkerProcess() {
    out_.reset();
    err_.reset();
    reap();
}

bool WorkerProcess::drain(UniqueFd& fd, std::string& buffer) {
    char chunk[4096];
    while (fd.valid()) {
        const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n > 0) {
            buffer.append(chunk, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
        fd.reset();
        return false;
    }
    return false;
}

std::vector<std::string> WorkerProcess::read_out() {
    const bool open = drain(out_, out_buffer_);
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t nl; (nl = out_buffer_.find('\n', start)) != std::string::npos;
         start = nl + 1) {
        lines.push_back(out_buffer_.substr(start, nl - start));
    }
    out_buffer_.erase(0, start);
    if (!open && !out_buffer_.empty()) {
        lines.push_back(std::move(out_buffer_));
        out_buffer_.clear();
    }
    return lines;
}

void WorkerProcess::read_err() {
    const bool open = drain(err_, err_buffer_);
    std::size_t start = 0;
    for (std::size_t nl; (nl = err_buffer_.find('\n', start)) != std::string::npos;
         start = nl + 1) {
        if (nl > start) last_err_ = err_buffer_.substr(start, nl - start);
    }
    err_buffer_.erase(0, start);
    if (!open && !err_buffer_.empty()) last_err_ = std::move(err_buffer_);
    if (!open) err_buffer_.clear();
    // A redrawing progress line would otherwise grow without end.
    if (err_buffer_.size() > 4096) err_buffer_.erase(0, err_buffer_.size() - 4096);
}

void WorkerProcess::reap() {
    if (reaped_ || pid_ <= 0) return;
    while (::waitpid(pid_, &status_, 0) < 0) {
        if (errno != EINTR) {
            status_ = 0;
            break;
        }
    }
    reaped_ = true;
}

}  // namespace vellox::cli
