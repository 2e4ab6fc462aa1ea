// vellox-station-bench: `vellox-cli station` over emulated devices at a 1 ms link, four
// devices plugged in together against one alone, each a worker process of its own. Prints
// the wall time of whole station runs (start to exit) and their ratio; measured, never
// asserted.
//
//   vellox-station-bench [--quick]

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/station/JsonLine.h"
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
            auto event = vellox::cli::JsonLine::parse(line);
            if (!event || event->text("event") != "done") continue;
            if (event->flag("ok") == true) ++run.succeeded;
            run.slowest_device =
                std::max(run.slowest_device,
                         static_cast<double>(event->number("duration_ms").value_or(0)) / 1000);
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
    std::filesystem::remove_all(dir);
    return 0;
}
