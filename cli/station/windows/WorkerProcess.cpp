#include "cli/station/windows/WorkerProcess.h"

#include <atomic>

#include "cli/station/WorkerOutput.h"
#include "cli/station/windows/WindowsCommandLine.h"

namespace vellox::cli {
namespace {

std::string last_error_text(const std::string& what) {
    return what + ": " + system_message(::GetLastError());
}

// The station's job: every worker in it, and it ends them all when its last handle closes,
// which the system does when the station's process ends, however it ends. Made once, never
// closed by the station itself.
HANDLE station_job(std::string& error) {
    static HANDLE job = [] {
        HANDLE made = ::CreateJobObjectW(nullptr, nullptr);
        if (made == nullptr) return made;
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (!::SetInformationJobObject(made, JobObjectExtendedLimitInformation, &limits,
                                       sizeof limits)) {
            ::CloseHandle(made);
            return HANDLE{nullptr};
        }
        return made;
    }();
    if (job == nullptr) error = last_error_text("cannot make the workers' job object");
    return job;
}

// A pipe whose read end (the station's) is overlapped, so that its reads never block the
// loop; anonymous pipes cannot be. The write end is inheritable, for the worker.
bool make_pipe(WinHandle& read, WinHandle& write, std::string& error) {
    static std::atomic<unsigned> serial{0};
    const std::wstring name = L"\\\\.\\pipe\\vellox-station-" +
                              std::to_wstring(::GetCurrentProcessId()) + L"-" +
                              std::to_wstring(serial.fetch_add(1));
    read = WinHandle(::CreateNamedPipeW(
        name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0, 65536,
        0, nullptr));
    if (!read.valid()) {
        error = last_error_text("cannot make a pipe");
        return false;
    }
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    write = WinHandle(::CreateFileW(name.c_str(), GENERIC_WRITE, 0, &inherit, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!write.valid()) {
        error = last_error_text("cannot open a pipe");
        return false;
    }
    return true;
}

}  // namespace

WorkerProcess::PipeReader::~PipeReader() { close(); }

void WorkerProcess::PipeReader::close() {
    if (pending_) {
        // The buffer and the OVERLAPPED must outlive the read.
        ::CancelIo(pipe_.get());
        DWORD n = 0;
        ::GetOverlappedResult(pipe_.get(), &overlapped_, &n, TRUE);
        pending_ = false;
    }
    pipe_.reset();
}

bool WorkerProcess::PipeReader::attach(WinHandle pipe) {
    pipe_ = std::move(pipe);
    event_ = WinHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    overlapped_.hEvent = event_.get();
    if (!event_.valid()) {
        close();
        return false;
    }
    return start_read();
}

bool WorkerProcess::PipeReader::start_read() {
    // Completed at once or not, the result is taken by the next drain().
    if (::ReadFile(pipe_.get(), chunk_, sizeof chunk_, nullptr, &overlapped_) ||
        ::GetLastError() == ERROR_IO_PENDING) {
        pending_ = true;
        return true;
    }
    close();  // the worker has already closed its end
    return false;
}

bool WorkerProcess::PipeReader::drain(std::string& buffer) {
    while (pipe_.valid()) {
        if (pending_) {
            DWORD n = 0;
            if (!::GetOverlappedResult(pipe_.get(), &overlapped_, &n, FALSE)) {
                if (::GetLastError() == ERROR_IO_INCOMPLETE) return true;
                pending_ = false;
                close();  // the worker closed its end (ERROR_BROKEN_PIPE) or the pipe failed
                return false;
            }
            pending_ = false;
            buffer.append(chunk_, n);
        }
        if (!start_read()) return false;
    }
    return false;
}

std::unique_ptr<WorkerProcess> WorkerProcess::start(const std::vector<std::string>& argv,
                                                    std::string& error,
                                                    const std::string& executable) {
    HANDLE job = station_job(error);
    if (job == nullptr) return nullptr;
    WinHandle out_read, out_write, err_read, err_write;
    if (!make_pipe(out_read, out_write, error) || !make_pipe(err_read, err_write, error)) {
        return nullptr;
    }
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    WinHandle nul(::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                OPEN_EXISTING, 0, nullptr));

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul.get();
    startup.hStdOutput = out_write.get();
    startup.hStdError = err_write.get();
    const std::wstring program = wide_text(executable.empty() ? argv[0] : executable);
    std::wstring line = wide_text(windows_command_line(argv));
    PROCESS_INFORMATION info{};
    // Suspended until it is in the job, so that nothing it does escapes it. The station is
    // single-threaded: the only inheritable handles at this moment are the three above.
    // A process group of its own and no console at all: the keyboard's Ctrl+C and Ctrl+Break
    // go to every process of a console whatever its group, and so does the closing of its
    // window; the worker hears none of it, as on Linux, and the station decides. (A console
    // of its own, CREATE_NO_WINDOW, would cost a console host process per worker.)
    constexpr DWORD flags =
        CREATE_SUSPENDED | CREATE_NEW_PROCESS_GROUP | DETACHED_PROCESS | CREATE_UNICODE_ENVIRONMENT;
    if (!::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, flags, nullptr,
                          nullptr, &startup, &info)) {
        error = last_error_text("cannot start " + argv[0]);
        return nullptr;
    }
    WinHandle thread(info.hThread);
    std::unique_ptr<WorkerProcess> worker(new WorkerProcess());
    worker->pid_ = info.dwProcessId;
    worker->process_ = WinHandle(info.hProcess);
    if (!::AssignProcessToJobObject(job, info.hProcess)) {
        error = last_error_text("cannot put the worker in the station's job object");
        ::TerminateProcess(info.hProcess, 1);
        worker->reap();
        return nullptr;
    }
    ::ResumeThread(thread.get());
    // The station's copies of the worker's ends: the pipes end when the worker's do.
    out_write.reset();
    err_write.reset();
    // A pipe that cannot be read counts as ended: the process handle still tells the end.
    worker->out_.attach(std::move(out_read));
    worker->err_.attach(std::move(err_read));
    return worker;
}

WorkerProcess::~WorkerProcess() {
    // Closed first: a worker blocked on a full pipe must not hold the station here.
    out_.close();
    err_.close();
    reap();
}

void WorkerProcess::waitables(std::vector<HANDLE>& into) const {
    if (out_.open()) into.push_back(out_.event());
    if (err_.open()) into.push_back(err_.event());
    if (output_ended() && !reaped_) into.push_back(process_.get());
}

void WorkerProcess::wait_for_output(int timeout_ms) const {
    std::vector<HANDLE> handles;
    waitables(handles);
    if (!handles.empty()) {
        ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE,
                                 timeout_ms < 0 ? INFINITE : static_cast<DWORD>(timeout_ms));
    }
}

std::vector<std::string> WorkerProcess::read_out() {
    const bool open = out_.drain(out_buffer_);
    return take_lines(out_buffer_, open);
}

std::vector<std::string> WorkerProcess::read_err() {
    const bool open = err_.drain(err_buffer_);
    return take_error_lines(err_buffer_, open, first_err_);
}

bool WorkerProcess::try_reap() {
    if (reaped_) return true;
    if (::WaitForSingleObject(process_.get(), 0) != WAIT_OBJECT_0) return false;
    if (!::GetExitCodeProcess(process_.get(), &status_)) status_ = 0;
    reaped_ = true;
    return true;
}

void WorkerProcess::reap() {
    if (reaped_ || !process_.valid()) return;
    ::WaitForSingleObject(process_.get(), INFINITE);
    try_reap();
}

void WorkerProcess::terminate() {
    // Nothing to send: a worker has no console to be sent an event through, and vellox-cli reads a
    // first interrupt as "run to the end" in any case. It has its grace, then kill().
}

void WorkerProcess::kill() {
    if (!reaped_) ::TerminateProcess(process_.get(), 1);
}

}  // namespace vellox::cli
