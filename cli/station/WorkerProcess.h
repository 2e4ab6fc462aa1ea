#pragma once
// One worker: a vellox-cli process that flashes (or queries) one device for the station, with
// its standard output and error on pipes. Workers run in a process group of their own, so the
// operator's Ctrl-C reaches the station only and a download in progress is never cut short by
// it; a worker outlives a station that dies.

#include <sys/types.h>
#include <sys/wait.h>

#include <memory>
#include <string>
#include <vector>

#include "hid/linux/UniqueFd.h"

namespace vellox::cli {

class WorkerProcess {
  public:
    // Starts `argv` (argv[0] the program); null with `error` set on failure.
    static std::unique_ptr<WorkerProcess> start(const std::vector<std::string>& argv,
                                                std::string& error);
    // Waits for the process if it has not been reaped yet.
    ~WorkerProcess();
    WorkerProcess(const WorkerProcess&) = delete;
    WorkerProcess& operator=(const WorkerProcess&) = delete;

    pid_t pid() const { return pid_; }
    // The pipes still open, for poll(); -1 once closed.
    int out_fd() const { return out_.get(); }
    int err_fd() const { return err_.get(); }

    // Reads what the pipe holds now and returns the whole lines of standard output it
    // completed. At the end of the output an unfinished last line counts as a line.
    std::vector<std::string> read_out();
    // Reads standard error; its last non-empty line is kept.
    void read_err();
    const std::string& last_err_line() const { return last_err_; }

    // Both pipes are closed: the process has ended or is about to.
    bool output_ended() const { return !out_.valid() && !err_.valid(); }

    // Waits for the process to end (after output_ended()).
    void reap();
    bool exited() const { return reaped_ && WIFEXITED(status_); }
    int exit_code() const { return WEXITSTATUS(status_); }
    bool killed() const { return reaped_ && WIFSIGNALED(status_); }
    int signal() const { return WTERMSIG(status_); }

  private:
    WorkerProcess(pid_t pid, UniqueFd out, UniqueFd err)
        : pid_(pid), out_(std::move(out)), err_(std::move(err)) {}
    // Appends what the pipe holds to `buffer`; false at its end (the pipe is then closed).
    static bool drain(UniqueFd& fd, std::string& buffer);

    pid_t pid_;
    UniqueFd out_;
    UniqueFd err_;
    std::string out_buffer_;
    std::string err_buffer_;
    std::string last_err_;
    bool reaped_ = false;
    int status_ = 0;
};

}  // namespace vellox::cli
