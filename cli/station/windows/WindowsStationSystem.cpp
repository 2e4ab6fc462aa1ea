// The station's system services on Windows: CreateProcessW'd workers in a job object, the
// console's control events, MsgWaitForMultipleObjects as the loop's wait, and the image in a
// temporary file that only the station may change.
#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "cli/station/StationSystem.h"

namespace vellox::cli {
namespace {

// A process ended by an unhandled exception or by the system leaves an NTSTATUS error code.
bool is_status_code(DWORD code) { return code >= 0xC0000000u; }

}  // namespace

WorkerEnd worker_end(const WorkerProcess& worker) {
    const DWORD status = worker.exit_status();
    // As cmd.exe shows it: the 32-bit value read as signed.
    const int code = static_cast<int>(static_cast<std::int32_t>(status));
    if (!is_status_code(status)) return {true, code, {}};
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(status));
    if (status == 0xC000013Au) {  // STATUS_CONTROL_C_EXIT
        return {false, code,
                std::string("The worker was ended by a console control event (") + hex + ")"};
    }
    return {false, code, std::string("The worker ended on exception ") + hex};
}

std::unique_ptr<WorkerProcess> start_worker_process(const std::vector<std::string>& argv,
                                                    const std::string& executable,
                                                    const ImageSnapshot&, std::string& error) {
    return WorkerProcess::start(argv, error, executable);
}

std::string worker_executable(const std::string& program) {
    // Pinned for the run: while the station holds the file sharing reading only, nobody can
    // replace, rename or delete it, so every worker runs the same program. (A running
    // program's file cannot be changed on Windows, but it can be renamed and another put in
    // its place.) Deliberately never closed; a second station in this process pins it again.
    ::CreateFileW(wide_text(program).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                  0, nullptr);
    return program;
}

StationWake wait_for_station(StopRequests& stop, HidWaitable device_change,
                             std::span<WorkerProcess* const> workers, int timeout_ms) {
    std::vector<HANDLE> handles{stop.event()};
    const bool watch_change = device_change != NoHidWaitable;
    if (watch_change) handles.push_back(reinterpret_cast<HANDLE>(device_change));
    for (const WorkerProcess* worker : workers) worker->waitables(handles);
    StationWake wake;
    if (handles.size() >= MAXIMUM_WAIT_OBJECTS) {
        wake.failed = true;
        wake.error = "too many handles to wait on";
        return wake;
    }
    // Device changes reach this thread's window as messages: pumped here, they raise the
    // platform's change event, which the next wait sees.
    const DWORD count = static_cast<DWORD>(handles.size());
    const DWORD r = ::MsgWaitForMultipleObjects(
        count, handles.data(), FALSE, timeout_ms < 0 ? INFINITE : static_cast<DWORD>(timeout_ms),
        QS_ALLINPUT);
    if (r == WAIT_FAILED) {
        wake.failed = true;
        wake.error = "MsgWaitForMultipleObjects: " + system_message(::GetLastError());
        return wake;
    }
    // Auto-reset: the wait consumed its signal, which goes back for take_device_change().
    if (watch_change && r == WAIT_OBJECT_0 + 1) ::SetEvent(handles[1]);
    if (r == WAIT_OBJECT_0 + count) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    wake.stop_requested = ::WaitForSingleObject(stop.event(), 0) == WAIT_OBJECT_0;
    wake.device_change = watch_change;  // take_device_change() says whether it fired
    return wake;
}

// MsgWaitForMultipleObjects takes 63 handles: the stop event, the device change, and at
// most two per worker (its pipes, or its process once they have ended).
std::size_t worker_limit() { return (MAXIMUM_WAIT_OBJECTS - 1 - 2) / 2; }

std::string station_host_name() {
    wchar_t name[256] = {};
    DWORD size = 256;
    if (!::GetComputerNameExW(ComputerNameDnsHostname, name, &size)) return {};
    return utf8_text(std::wstring_view(name, size));
}

std::int64_t station_process_id() { return ::GetCurrentProcessId(); }

bool utc_parts(std::int64_t seconds, struct tm& parts) {
    const auto t = static_cast<__time64_t>(seconds);
    return ::_gmtime64_s(&parts, &t) == 0;
}

std::optional<ImageSnapshot> ImageSnapshot::write(std::span<const std::uint8_t> bytes,
                                                  std::string& error) {
    wchar_t folder[MAX_PATH + 1] = {};
    const DWORD n = ::GetTempPathW(MAX_PATH + 1, folder);
    if (n == 0 || n > MAX_PATH) {
        error = "cannot find the temporary folder for a copy of the image";
        return std::nullopt;
    }
    WinHandle file;
    std::wstring name;
    for (unsigned attempt = 0; attempt < 100 && !file.valid(); ++attempt) {
        name = std::wstring(folder) + L"vellox-station-" +
               std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(attempt) + L".bin";
        // Writing and deleting are the station's alone while it runs.
        file = WinHandle(::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                       nullptr, CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY, nullptr));
        if (!file.valid() && ::GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (!file.valid()) {
        error = "cannot make a copy of the image: " + system_message(::GetLastError());
        return std::nullopt;
    }
    ImageSnapshot snapshot(std::move(file), name, utf8_text(name));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
        DWORD written = 0;
        if (!::WriteFile(snapshot.file_.get(), bytes.data() + done, chunk, &written, nullptr) ||
            written == 0) {
            error = "cannot write a copy of the image: " + system_message(::GetLastError());
            return std::nullopt;
        }
        done += written;
    }
    return snapshot;
}

ImageSnapshot::~ImageSnapshot() {
    if (!file_.valid()) return;
    file_.reset();
    ::DeleteFileW(name_.c_str());
}

}  // namespace vellox::cli
