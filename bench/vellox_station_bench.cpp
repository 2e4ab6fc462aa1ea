// vellox-station-bench: `vellox-cli station` over emulated devices at a 1 ms link, four
// devices plugged in together against one alone, each a worker process of its own. Prints
// the wall time of whole station runs (start to exit) and their ratio; measured, never
// asserted. Then the log's index for --once-per-serial: reading a large shared log once at
// the start, and what each device costs afterwards (only what was appended since is read).
//
//   vellox-station-bench [--quick]

#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/Json.h"
#include "cli/station/StationLog.h"
#include "cli/station/WorkerProcess.h"
#include "sim/SampleImage.h"

namespace {

struct Run {
    double seconds = 0;         // the station's whole run
    double slowest_device = 0;  // the longest device duration it logged
    int succeeded = 0;
};

Run run_station(const std::string& image, int devices) {
    const std::string n = std::to_string(devices);
    std::vector<std::string> argv{VELLOX_CLI_PROGRAM,
                                  "station",
                                  "--json",
                                  "--count",
                                  n,
                                  "--simulate=devices=" + n + ",interval=1ms",
                                  image};
    Run run;
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    auto station = vellox::cli::WorkerProcess::start(argv, error);
    if (!station) {
        std::fprintf(stderr, "vellox-station-bench: %s\n", error.c_str());
        return run;
    }
    while (!station->output_ended()) {
        pollfd fds[2] = {{station->out_fd(), POLLIN, 0}, {station->err_fd(), POLLIN, 0}};
        ::poll(fds, 2, -1);
        for (const std::string& line : station->read_out()) {
            auto event = vellox::cli::parse_json_object(line);
            if (!event || vellox::cli::json_string(*event, "event") != "done") continue;
            if (vellox::cli::json_flag(*event, "ok") == true) ++run.succeeded;
            run.slowest_device = std::max(
                run.slowest_device,
                static_cast<double>(vellox::cli::json_number(*event, "duration_ms").value_or(0)) /
                    1000);
        }
        station->read_err();
    }
    station->reap();
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return run;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A log of `records` lines shaped as the station writes them; the index at the start, then
// the look before each device with another station appending one record in between.
void bench_log_index(const std::filesystem::path& dir, std::size_t records) {
    const auto path = dir / "bench.log";
    {
        std::ofstream out(path, std::ios::binary);
        char serial[32];
        for (std::size_t i = 0; i < records; ++i) {
            std::snprintf(serial, sizeof serial, "VX2016-%06zu", i % 1000000);
            out << R"({"start":"2026-12-08T06:21:29.998Z","end":"2026-12-08T06:21:32.110Z",)"
                << R"("node":"/dev/hidraw3","serial":")" << serial << R"(","product_id":"V201",)"
                << R"("image":"/srv/fw/fw-2.4.bin","image_size":102400,"image_sha256":)"
                << R"("23b66162aa8e7b5b2f7dbd1de6a4b8b2c4d6e8f00112233445566778899aabbcc",)"
                << R"("ok":true,"message":"Download OK!","exit_code":0,"duration_ms":2112,)"
                << R"("attempts":1,"host":"bench-2","pid":4711})" << '\n';
        }
    }
    const double megabytes = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    auto log = vellox::cli::StationLog::open(path, error);
    const double open_s = seconds_since(start);
    auto other = vellox::cli::StationLog::open(path, error);
    if (!log || !other) {
        std::fprintf(stderr, "vellox-station-bench: %s\n", error.c_str());
        return;
    }
    std::vector<double> looks;
    for (int i = 0; i < 200; ++i) {
        other->append(R"({"serial":"OTHER","ok":true})", error);
        const auto look = std::chrono::steady_clock::now();
        log->refresh(error);
        looks.push_back(seconds_since(look));
    }
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf(
        "log index: %zu records, %.1f MB: read once at the start in %.3f s; per device "
        "afterwards %.1f us (median of 200); %zu serials indexed; peak RSS %.1f MB\n",
        records, megabytes, open_s, median(looks) * 1e6, log->index().succeeded_serials().size(),
        static_cast<double>(usage.ru_maxrss) / 1024);
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const int rounds = quick ? 1 : 5;
    const auto dir = std::filesystem::temp_directory_path() /
                     ("vellox-station-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string image = (dir / "image.bin").string();
    {
        const auto bytes = sim::make_sample_image();
        std::ofstream out(image, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }

    std::printf("vellox-cli station, %zu-byte image, emulated devices at a 1 ms link, %d round%s\n",
                sim::sample_image_size, rounds, rounds == 1 ? "" : "s");
    std::printf("%-8s %10s %12s %10s\n", "devices", "run s", "slowest s", "ok");
    std::vector<double> alone;
    std::vector<double> together;
    int failures = 0;
    // Alternating, so that a change in the machine's load falls on both sides alike.
    for (int round = 0; round < rounds; ++round) {
        for (int devices : {1, 4}) {
            const Run run = run_station(image, devices);
            (devices == 1 ? alone : together).push_back(run.seconds);
            failures += devices - run.succeeded;
            std::printf("%-8d %10.3f %12.3f %7d/%d\n", devices, run.seconds, run.slowest_device,
                        run.succeeded, devices);
        }
    }
    const double one = median(alone);
    const double four = median(together);
    std::printf(
        "median: one alone %.3f s, four together %.3f s, ratio %.3f (target at most 1.15)\n", one,
        four, four / one);
    if (failures > 0) std::printf("%d device run%s failed\n", failures, failures == 1 ? "" : "s");
    bench_log_index(dir, quick ? 30000 : 300000);
    std::filesystem::remove_all(dir);
    return 0;
}
