#include "cli/station/posix/WorkerProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "cli/station/WorkerOutput.h"

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
                                                    std::string& error,
                                                    const std::string& executable, int shared_fd) {
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
    if (shared_fd >= 0) ::posix_spawn_file_actions_adddup2(&setup.actions, shared_fd, 3);

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
    const std::string& program = executable.empty() ? argv[0] : executable;
    const int rc =
        ::posix_spawn(&pid, program.c_str(), &setup.actions, &setup.attr, args.data(), environ);
    if (rc != 0) {
        error = "cannot start " + argv[0] + ": " + std::strerror(rc);
        return nullptr;
    }
    // Readable when the process ends, so the loop learns of it without waiting in waitpid.
    UniqueFd exit(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    return std::unique_ptr<WorkerProcess>(
        new WorkerProcess(pid, std::move(out.read), std::move(err.read), std::move(exit)));
}

WorkerProcess::~WorkerProcess() {
    out_.reset();
    err_.reset();
    reap();
}

void WorkerProcess::terminate() {
    if (!reaped_) ::kill(-pid_, SIGTERM);
}

void WorkerProcess::kill() {
    if (!reaped_) ::kill(-pid_, SIGKILL);
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

void WorkerProcess::wait_for_output(int timeout_ms) const {
    pollfd fds[3] = {
        {out_fd(), POLLIN, 0}, {err_fd(), POLLIN, 0}, {output_ended() ? exit_fd() : -1, POLLIN, 0}};
    ::poll(fds, 3, timeout_ms);
}

std::vector<std::string> WorkerProcess::read_out() {
    const bool open = drain(out_, out_buffer_);
    return take_lines(out_buffer_, open);
}

std::vector<std::string> WorkerProcess::read_err() {
    const bool open = drain(err_, err_buffer_);
    return take_error_lines(err_buffer_, open, first_err_);
}

bool WorkerProcess::wait(int options) {
    if (reaped_ || pid_ <= 0) return true;
    for (;;) {
        const pid_t got = ::waitpid(pid_, &status_, options);
        if (got == 0) return false;  // still running
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) status_ = 0;
        break;
    }
    reaped_ = true;
    exit_.reset();
    return true;
}

bool WorkerProcess::try_reap() { return wait(WNOHANG); }

void WorkerProcess::reap() { wait(0); }

}  // namespace vellox::cli
