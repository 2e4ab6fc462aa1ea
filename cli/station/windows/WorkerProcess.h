#pragma once
// One worker on Windows: a vellox-cli process started with CreateProcessW in a process group
// of its own and without a console (the console's Ctrl+C reaches the station only), inside the
// station's job object, which ends every worker when the station's process ends, however it ends.
// Its standard output and error come through overlapped pipes: the station's loop waits on their
// events and the process handle, and no read ever blocks it.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli/station/windows/WinHandle.h"

namespace vellox::cli {

class WorkerProcess {
  public:
    // Starts `argv` (UTF-8) from `executable` (argv[0] when empty). Null with `error` set.
    static std::unique_ptr<WorkerProcess> start(const std::vector<std::string>& argv,
                                                std::string& error,
                                                const std::string& executable = {});
    // Waits for the process if it has not ended yet.
    ~WorkerProcess();
    WorkerProcess(const WorkerProcess&) = delete;
    WorkerProcess& operator=(const WorkerProcess&) = delete;

    DWORD pid() const { return pid_; }
    HANDLE process() const { return process_.get(); }
    // The handles that say something new happened to this worker, for a wait: the pipes'
    // pending reads, and the process once both pipes have ended.
    void waitables(std::vector<HANDLE>& into) const;
    // Waits up to `timeout_ms` (-1: no limit) for one of waitables() (for callers without a
    // loop of their own).
    void wait_for_output(int timeout_ms) const;

    // As on POSIX: the whole lines of standard output completed since the last call (an
    // unfinished last line counts at the end), and of standard error, whose first non-empty
    // line is kept as the worker's message.
    std::vector<std::string> read_out();
    std::vector<std::string> read_err();
    const std::string& first_err_line() const { return first_err_; }
    bool output_ended() const { return !out_.open() && !err_.open(); }

    // True once the process has ended (never waits).
    bool try_reap();
    void reap();
    bool reaped() const { return reaped_; }
    // The process handle is waited on: its end is never missed.
    bool end_watched() const { return true; }
    DWORD exit_status() const { return status_; }

    // Asks the worker to end (nothing on Windows: see the .cpp), or makes it (TerminateProcess).
    void terminate();
    void kill();

  private:
    // One end of a pipe with one overlapped read kept outstanding.
    class PipeReader {
      public:
        PipeReader() = default;
        ~PipeReader();
        PipeReader(const PipeReader&) = delete;
        PipeReader& operator=(const PipeReader&) = delete;
        bool attach(WinHandle pipe);
        // Appends what has arrived to `buffer` and starts the next read; false at the end.
        bool drain(std::string& buffer);
        bool open() const { return pipe_.valid(); }
        HANDLE event() const { return event_.get(); }
        void close();

      private:
        bool start_read();
        WinHandle pipe_;
        WinHandle event_;
        OVERLAPPED overlapped_{};
        bool pending_ = false;
        char chunk_[4096];
    };

    WorkerProcess() = default;

    DWORD pid_ = 0;
    WinHandle process_;
    PipeReader out_;
    PipeReader err_;
    std::string out_buffer_;
    std::string err_buffer_;
    std::string first_err_;
    bool reaped_ = false;
    DWORD status_ = 0;
};

}  // namespace vellox::cli
