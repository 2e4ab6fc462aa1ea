#pragma once
// One worker on POSIX: a vellox-cli process that flashes (or queries) one device for the station,
// with its standard output and error on pipes. Workers run in a process group of their own, so the
// operator's Ctrl-C reaches the station only and a download in progress is never cut short by
// it; a worker outlives a station that dies.

#include <sys/types.h>
#include <sys/wait.h>

#include <memory>
#include <string>
#include <vector>

#include "hid/UniqueFd.h"

namespace vellox::cli {

class WorkerProcess {
  public:
    // Starts `argv` from `executable` (argv[0] when empty); `shared_fd`, when given, is the
    // worker's descriptor 3. Null with `error` set on failure.
    static std::unique_ptr<WorkerProcess> start(const std::vector<std::string>& argv,
                                                std::string& error,
                                                const std::string& executable = {},
                                                int shared_fd = -1);
    // Waits for the process if it has not been reaped yet.
    ~WorkerProcess();
    WorkerProcess(const WorkerProcess&) = delete;
    WorkerProcess& operator=(const WorkerProcess&) = delete;

    pid_t pid() const { return pid_; }
    // The pipes still open, for poll(); -1 once closed.
    int out_fd() const { return out_.get(); }
    int err_fd() const { return err_.get(); }
    // Readable once the process has ended, for poll(); -1 where the system has no pidfd (the
    // caller then polls with a short time-out while try_reap() says no).
    int exit_fd() const { return reaped_ ? -1 : exit_.get(); }
    // The loop learns of the process's end without looking again (a pidfd).
    bool end_watched() const { return exit_.valid(); }

    // Waits up to `timeout_ms` (-1: no limit) for output or, once it has ended, the process's
    // end (for callers without a loop of their own).
    void wait_for_output(int timeout_ms) const;

    // Reads what the pipe holds now and returns the whole lines of standard output it
    // completed. At the end of the output an unfinished last line counts as a line.
    std::vector<std::string> read_out();
    // Reads standard error and returns the lines it completed; the first non-empty line is
    // kept, as the worker's message: later lines are consequences of it.
    std::vector<std::string> read_err();
    const std::string& first_err_line() const { return first_err_; }

    // Both pipes are closed: the process has ended or is about to.
    bool output_ended() const { return !out_.valid() && !err_.valid(); }

    // Reaps the process if it has ended, without waiting; true once reaped.
    bool try_reap();
    // Waits for the process to end.
    void reap();
    bool reaped() const { return reaped_; }
    bool exited() const { return reaped_ && WIFEXITED(status_); }
    int exit_code() const { return WEXITSTATUS(status_); }
    bool killed() const { return reaped_ && WIFSIGNALED(status_); }
    int signal() const { return WTERMSIG(status_); }

    // Asks the worker's process group to end (SIGTERM), or makes it (SIGKILL).
    void terminate();
    void kill();

  private:
    WorkerProcess(pid_t pid, UniqueFd out, UniqueFd err, UniqueFd exit)
        : pid_(pid), out_(std::move(out)), err_(std::move(err)), exit_(std::move(exit)) {}
    // Appends what the pipe holds to `buffer`; false at its end (the pipe is then closed).
    static bool drain(UniqueFd& fd, std::string& buffer);
    bool wait(int options);

    pid_t pid_;
    UniqueFd out_;
    UniqueFd err_;
    UniqueFd exit_;
    std::string out_buffer_;
    std::string err_buffer_;
    std::string first_err_;
    bool reaped_ = false;
    int status_ = 0;
};

}  // namespace vellox::cli
