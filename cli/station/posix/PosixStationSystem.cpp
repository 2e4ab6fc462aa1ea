// The station's system services on Linux: posix_spawn'd workers watched through pipes and
// pidfds, signals on a pipe, poll() as the loop's wait, and the image in a sealed memfd.
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli/station/StationSystem.h"

namespace vellox::cli {

WorkerEnd worker_end(const WorkerProcess& worker) {
    if (worker.exited()) return {true, worker.exit_code(), {}};
    const int signo = worker.signal();
    const char* name = ::strsignal(signo);
    return {false, 128 + signo,
            "The worker ended on signal " + std::to_string(signo) +
                (name != nullptr ? std::string(" (") + name + ")" : std::string())};
}

std::unique_ptr<WorkerProcess> start_worker_process(const std::vector<std::string>& argv,
                                                    const std::string& executable,
                                                    const ImageSnapshot& image,
                                                    std::string& error) {
    return WorkerProcess::start(argv, error, executable, image.fd());
}

// Workers run this very program, even if its file is removed or replaced during the run.
std::string worker_executable(const std::string&) { return "/proc/self/exe"; }

StationWake wait_for_station(StopRequests& stop, HidWaitable device_change,
                             std::span<WorkerProcess* const> workers, int timeout_ms) {
    std::vector<pollfd> fds;
    fds.push_back({stop.fd(), POLLIN, 0});
    fds.push_back({static_cast<int>(device_change), POLLIN, 0});
    for (const WorkerProcess* worker : workers) {
        fds.push_back({worker->out_fd(), POLLIN, 0});
        fds.push_back({worker->err_fd(), POLLIN, 0});
        // Only once its output has ended: the end of the process is what is left to see.
        fds.push_back({worker->output_ended() ? worker->exit_fd() : -1, POLLIN, 0});
    }
    StationWake wake;
    if (::poll(fds.data(), fds.size(), timeout_ms) < 0) {
        if (errno != EINTR) {
            wake.failed = true;
            wake.error = std::string("poll: ") + std::strerror(errno);
        }
        return wake;
    }
    wake.stop_requested = fds[0].revents != 0;
    wake.device_change = fds[1].fd >= 0 && fds[1].revents != 0;
    return wake;
}

std::size_t worker_limit() { return static_cast<std::size_t>(-1); }

std::string station_host_name() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

std::int64_t station_process_id() { return ::getpid(); }

bool utc_parts(std::int64_t seconds, struct tm& parts) {
    const auto t = static_cast<std::time_t>(seconds);
    return ::gmtime_r(&t, &parts) != nullptr;
}

std::optional<ImageSnapshot> ImageSnapshot::write(std::span<const std::uint8_t> bytes,
                                                  std::string& error) {
    UniqueFd fd(::memfd_create("vellox-station-image", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (!fd.valid()) {
        error = std::string("cannot make a copy of the image: ") + std::strerror(errno);
        return std::nullopt;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = std::string("cannot write a copy of the image: ") + std::strerror(errno);
            return std::nullopt;
        }
        done += static_cast<std::size_t>(n);
    }
    constexpr int seals = F_SEAL_SEAL | F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE;
    if (::fcntl(fd.get(), F_ADD_SEALS, seals) != 0) {
        error = std::string("cannot seal the copy of the image: ") + std::strerror(errno);
        return std::nullopt;
    }
    return ImageSnapshot(std::move(fd));
}

}  // namespace vellox::cli
