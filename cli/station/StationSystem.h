#pragma once
// What the station needs from the system, with one implementation per system (posix/ and
// windows/); the station's logic, display and log format are written once against it.
//
// Each system provides, besides what is declared here:
//   WorkerProcess   one worker: start, its output read without blocking, its end, terminate
//                   (asked to end) and kill; in WorkerProcess.h
//   StopRequests    the operator's stop requests (signals, console control events): take()
//                   counts them, ending() says the system ends the station shortly
//   ImageSnapshot   the private copy of the image that the workers read; in StationImage.h
//   StationLog      the locked, flushed appends to the shared log; in StationLog.h

#include <chrono>
#include <cstdint>
#include <ctime>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "cli/station/StationImage.h"
#include "cli/station/WorkerProcess.h"
#include "hid/HidChangeSignal.h"

#ifdef _WIN32
#include "cli/station/windows/ConsoleControlWatch.h"
#else
#include "cli/station/posix/SignalWatch.h"
#endif

namespace vellox::cli {

#ifdef _WIN32
using StopRequests = ConsoleControlWatch;
#else
using StopRequests = SignalWatch;
#endif

// How a worker that has been reaped ended, as the log tells it.
struct WorkerEnd {
    bool exited = false;  // it ended by itself, with `code`; otherwise the system ended it
    int code = 0;         // the exit code the log gives
    std::string why;      // when not exited: what ended it
};
WorkerEnd worker_end(const WorkerProcess& worker);

// Starts a worker running `argv` from `executable`, with the image copy handed over.
std::unique_ptr<WorkerProcess> start_worker_process(const std::vector<std::string>& argv,
                                                    const std::string& executable,
                                                    const ImageSnapshot& image, std::string& error);

// The file the workers run, given `program`, this program's own path: this very program's
// file, whatever happens to its path.
std::string worker_executable(const std::string& program);

// What woke the loop.
struct StationWake {
    bool stop_requested = false;
    bool device_change = false;
    bool failed = false;  // the wait itself failed; `error` says why
    std::string error;
};

// Waits, never polling, until a stop request, a device change (`device_change`, which may be
// NoHidWaitable), output or the end of one of `workers`, or `timeout_ms` (-1: no limit).
// Whatever woke it, every worker may then be read without blocking.
StationWake wait_for_station(StopRequests& stop, HidWaitable device_change,
                             std::span<WorkerProcess* const> workers, int timeout_ms);

// How many workers can run at once (the loop's wait has a limit on some systems).
std::size_t worker_limit();

// The log's facts about this station.
std::string station_host_name();
std::int64_t station_process_id();
// Broken-down UTC time of `seconds` since 1970.
bool utc_parts(std::int64_t seconds, struct tm& parts);

}  // namespace vellox::cli
