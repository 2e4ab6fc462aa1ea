// vellox-cli station as an operator runs it: the program as a child process over an emulated
// bench, with its workers, log, display and signals.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstdlib>
#include <functional>
#include <map>

#include "CliRun.h"
#include "cli/Json.h"
#include "cli/station/Sha256.h"
#include "cli/station/StationLog.h"
#include "cli/station/WorkerProcess.h"
#include "sim/SampleImage.h"

using namespace vellox::cli;

namespace {

struct StationResult {
    int code = -1;
    std::vector<std::string> out;  // standard output, line by line
    std::vector<Json> events;      // the lines of standard output that are JSON
    std::string err;               // the first line of standard error
    bool timed_out = false;

    // What the station said, to show with a failure.
    std::string said() const {
        std::string text;
        for (const std::string& line : out) text += line + '\n';
        return text;
    }
};

// Runs the station; `on_event` sees each JSON line as it comes, with the station's pid, and
// `on_err` each line of standard error.
StationResult run_station(const std::vector<std::string>& args,
                          const std::function<void(const Json&, pid_t)>& on_event = {},
                          const std::function<void(const std::string&, pid_t)>& on_err = {},
                          const std::string& program = VELLOX_CLI_PROGRAM) {
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string error;
    auto station = WorkerProcess::start(argv, error);
    StationResult result;
    if (!station) {
        ADD_FAILURE() << error;
        return result;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    while (!station->output_ended()) {
        pollfd fds[2] = {{station->out_fd(), POLLIN, 0}, {station->err_fd(), POLLIN, 0}};
        ::poll(fds, 2, 1000);
        for (const std::string& line : station->read_out()) {
            result.out.push_back(line);
            if (auto event = parse_json_object(line)) {
                if (on_event) on_event(*event, station->pid());
                result.events.push_back(*event);
            }
        }
        for (const std::string& line : station->read_err()) {
            if (on_err) on_err(line, station->pid());
        }
        if (std::chrono::steady_clock::now() > deadline) {
            // A hung station must fail the test, not the whole run.
            ::kill(station->pid(), SIGKILL);
            result.timed_out = true;
        }
    }
    station->reap();
    result.err = station->first_err_line();
    result.code = station->exited() ? station->exit_code() : -1;
    return result;
}

std::map<std::string, Json> log_by_serial(const std::filesystem::path& path) {
    std::map<std::string, Json> records;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        auto record = parse_json_object(line);
        if (record) records.emplace(json_string(*record, "serial"), *record);
    }
    return records;
}

std::vector<Json> of_kind(const StationResult& r, std::string_view kind) {
    std::vector<Json> found;
    for (const auto& e : r.events) {
        if (json_string(e, "event") == kind) found.push_back(e);
    }
    return found;
}

}  // namespace

TEST(StationRun, MixedFaultsGiveEachTheirOwnOutcomeAndTheCleanFlashEqualsTheImage) {
    TempDir dir;
    const auto image = sim::make_sample_image(8192);
    const auto image_path = write_file(dir / "fw.bin", image);
    const auto log = dir / "bench.log";
    StationResult r =
        run_station({"station", image_path.string(), "--log", log.string(),
                     "--simulate=devices=4,fault-on=2:wrong-verify-sum,fault-on=3:unplug-after:20,"
                     "fault-on=4:silence",
                     "--simulate-dump=" + (dir / "flash").string()});
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.code, 9);

    const auto records = log_by_serial(log);
    ASSERT_EQ(records.size(), 4u);
    const struct {
        const char* serial;
        bool ok;
        const char* message;
        int exit_code;
    } expected[] = {
        {"VX2016-000001", true, "Download OK!", 0},
        {"VX2016-000002", false, "Verify error", 16},
        {"VX2016-000003", false, " no connected", 11},
        // A silent device never tells its serial number.
        {"", false, "Time out  error", 13},
    };
    Sha256 digest;
    digest.update(image);
    const std::string sha = digest.hex_digest();
    for (const auto& e : expected) {
        SCOPED_TRACE(e.serial);
        ASSERT_EQ(records.count(e.serial), 1u);
        const Json& rec = records.at(e.serial);
        EXPECT_EQ(json_flag(rec, "ok"), e.ok);
        EXPECT_EQ(json_string(rec, "message"), e.message);
        EXPECT_EQ(json_number(rec, "exit_code"), e.exit_code);
        EXPECT_EQ(json_string(rec, "image"), image_path.string());
        EXPECT_EQ(json_number(rec, "image_size"), 8192);
        EXPECT_EQ(json_string(rec, "image_sha256"), sha);
        EXPECT_LE(json_string(rec, "start"), json_string(rec, "end"));
        EXPECT_GE(json_number(rec, "duration_ms").value_or(-1), 0);
        EXPECT_TRUE(json_string(rec, "node").starts_with("virtual:hidraw"));
    }
    // Asked three times in all, as a board still starting up would be; the others once (a
    // device that answered is never started again).
    EXPECT_EQ(json_number(records.at(""), "attempts"), 3);
    EXPECT_EQ(json_number(records.at("VX2016-000002"), "attempts"), 1);
    EXPECT_EQ(json_string(records.at("VX2016-000001"), "product_id"), "V201");

    const auto flash = read_file(dir / "flash.1");
    ASSERT_EQ(flash.size(), 128u * 1024u);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
    EXPECT_TRUE(std::all_of(flash.begin() + 8192, flash.end(), [](auto b) { return b == 0xFF; }));

    // The operator's lines: one per finished device, then the counts.
    ASSERT_FALSE(r.out.empty());
    EXPECT_EQ(r.out.back(), "1 OK, 3 failed");
    EXPECT_EQ(std::count_if(
                  r.out.begin(), r.out.end(),
                  [](const std::string& l) { return l.ends_with("VX2016-000002: Verify error"); }),
              1);
}

TEST(StationRun, OncePerSerialReadsALogWithATornLastLineAndCountEndsTheRun) {
    TempDir dir;
    const auto image_path = write_file(dir / "fw.bin", sim::make_sample_image(4096));
    const auto log = dir / "bench.log";
    {
        std::ofstream out(log, std::ios::binary);
        out << R"({"serial":"VX2016-000002","ok":true,"message":"Download OK!"})" << '\n'
            << R"({"serial":"VX2016-000001","ok":tr)";
    }
    // Two devices, each plugged twice: only the first plug of device 1 is flashed.
    StationResult r =
        run_station({"station", image_path.string(), "--log", log.string(), "--once-per-serial",
                     "--json", "--simulate=devices=2,plugs=4,plug-every=100ms"});
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.code, 0) << r.said();
    EXPECT_EQ(r.err, "The log " + log.string() + ": 1 line skipped (torn or not a record)");
    EXPECT_EQ(of_kind(r, "done").size(), 1u);
    EXPECT_EQ(of_kind(r, "skipped").size(), 3u);
    const auto summary = of_kind(r, "summary");
    ASSERT_EQ(summary.size(), 1u);
    EXPECT_EQ(json_number(summary[0], "succeeded"), 1);
    EXPECT_EQ(json_number(summary[0], "skipped"), 3);
    const LogReading reading = read_station_log(log);
    EXPECT_EQ(reading.records, 2u);
    EXPECT_EQ(reading.skipped, 1u);
    EXPECT_EQ(reading.succeeded_serials, (std::set<std::string>{"VX2016-000001", "VX2016-000002"}));

    // --count: three devices on the bench, two flashed, and the station ends by itself.
    StationResult c = run_station(
        {"station", image_path.string(), "--json", "--count", "2", "--simulate=devices=3"});
    ASSERT_FALSE(c.timed_out);
    EXPECT_EQ(c.code, 0);
    EXPECT_EQ(of_kind(c, "done").size(), 2u);
    EXPECT_EQ(of_kind(c, "started").size(), 2u);
}

TEST(StationRun, AWorkerKilledMidDownloadIsLoggedAsFailedAndTheStationGoesOnWithTheSameImage) {
    TempDir dir;
    // "é.bin": a name outside ASCII must reach the log and the JSON lines as the same text.
    const auto image_path = write_file(dir / "\xC3\xA9.bin", sim::make_sample_image(4096));
    const auto log = dir / "bench.log";
    std::map<std::string, pid_t> workers;
    bool killed = false;
    // A slow erase keeps the first device busy long enough to be killed in the middle.
    StationResult r =
        run_station({"station", image_path.string(), "--json", "--log", log.string(),
                     "--simulate=devices=2,plug-every=200ms,erase-pace=100ms"},
                    [&](const Json& e, pid_t) {
                        if (json_string(e, "event") == "started") {
                            workers[json_string(e, "node")] =
                                static_cast<pid_t>(json_number(e, "pid").value_or(0));
                            // The file changes under the station: devices still get the image it
                            // checked.
                            write_file(image_path, std::vector<std::uint8_t>(4096, 0));
                        }
                        if (!killed && json_string(e, "event") == "progress" &&
                            json_string(e, "serial") == "VX2016-000001" &&
                            json_string(e, "phase") == "Erase......") {
                            killed = true;
                            ::kill(workers.at(json_string(e, "node")), SIGKILL);
                        }
                    });
    ASSERT_FALSE(r.timed_out);
    ASSERT_TRUE(killed);
    EXPECT_EQ(r.code, 9);
    const auto records = log_by_serial(log);
    ASSERT_EQ(records.size(), 2u);
    const Json& dead = records.at("VX2016-000001");
    EXPECT_EQ(json_flag(dead, "ok"), false);
    EXPECT_EQ(json_number(dead, "exit_code"), 128 + SIGKILL);
    EXPECT_TRUE(json_string(dead, "message").starts_with("The worker ended on signal 9"))
        << json_string(dead, "message");
    EXPECT_EQ(json_flag(records.at("VX2016-000002"), "ok"), true);
    EXPECT_EQ(read_station_log(log).skipped, 0u);
    EXPECT_EQ(json_string(dead, "image"), image_path.string());
    const auto done = of_kind(r, "done");
    ASSERT_EQ(done.size(), 2u);
    for (const Json& d : done) EXPECT_EQ(json_string(d, "image"), image_path.string());
}

TEST(StationRun, TheFirstInterruptLetsTheRunningDownloadFinishAndTakesNoMoreDevices) {
    TempDir dir;
    const auto image_path = write_file(dir / "fw.bin", sim::make_sample_image(4096));
    bool interrupted = false;
    StationResult r = run_station({"station", image_path.string(), "--json",
                                   "--simulate=devices=2,plug-every=20s,erase-pace=50ms"},
                                  [&](const Json& e, pid_t station) {
                                      if (!interrupted && json_string(e, "event") == "device") {
                                          interrupted = true;
                                          ::kill(station, SIGINT);
                                      }
                                  });
    ASSERT_FALSE(r.timed_out);
    ASSERT_TRUE(interrupted);
    EXPECT_EQ(r.code, 0);
    const auto done = of_kind(r, "done");
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(json_flag(done[0], "ok"), true);
    EXPECT_EQ(of_kind(r, "started").size(), 1u);
}

TEST(StationRun, ABoardAnotherProgramIsFlashingIsReportedAsHeldAndNotAsFailed) {
    TempDir dir;
    const auto image_path = write_file(dir / "fw.bin", sim::make_sample_image(4096));
    const auto log = dir / "bench.log";
    StationResult r = run_station({"station", image_path.string(), "--json", "--log", log.string(),
                                   "--simulate=devices=2,fault-on=2:locked-elsewhere"});
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.code, 0) << r.said();
    const auto held = of_kind(r, "held");
    ASSERT_EQ(held.size(), 1u) << r.said();
    EXPECT_EQ(json_number(held[0], "exit_code"), 22);
    const auto summary = of_kind(r, "summary");
    ASSERT_EQ(summary.size(), 1u);
    EXPECT_EQ(json_number(summary[0], "succeeded"), 1);
    EXPECT_EQ(json_number(summary[0], "failed"), 0);
    EXPECT_EQ(json_number(summary[0], "held"), 1);
    // The log keeps flashes; the held board was not flashed by this station.
    EXPECT_EQ(log_by_serial(log).size(), 1u);
}

TEST(StationRun, ARecordTheDiskRefusesIsCutBackSaidWithTheOutcomeAndEndsTheStation) {
    TempDir dir;
    const auto image_path = write_file(dir / "fw.bin", sim::make_sample_image(4096));
    const auto log = dir / "bench.log";
    std::string before;
    // Larger than the image, whose copy the limit must not refuse.
    for (int i = 0; i < 300; ++i) before += R"({"serial":"OLD-)" + std::to_string(i) + "\"}\n";
    std::ofstream(log, std::ios::binary) << before;
    // The file size limit stands in for a full disk: one byte more fits, then EFBIG.
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit limited = old;
    limited.rlim_cur = before.size() + 1;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    std::unique_ptr<WorkerProcess> station;
    {
        std::string error;
        station = WorkerProcess::start({VELLOX_CLI_PROGRAM, "station", image_path.string(), "--log",
                                        log.string(), "--simulate=devices=2,plug-every=20s"},
                                       error);
        ::setrlimit(RLIMIT_FSIZE, &old);
        ASSERT_TRUE(station) << error;
    }
    std::vector<std::string> out;
    while (!station->output_ended()) {
        pollfd fds[2] = {{station->out_fd(), POLLIN, 0}, {station->err_fd(), POLLIN, 0}};
        ::poll(fds, 2, -1);
        for (std::string& line : station->read_out()) out.push_back(std::move(line));
        station->read_err();
    }
    station->reap();
    EXPECT_EQ(station->exit_code(), 1);
    // Shown as flashed but not logged, and the second device, due later, never taken.
    ASSERT_EQ(out.size(), 2u);
    EXPECT_TRUE(out[0].ends_with("  VX2016-000001: OK (not logged)")) << out[0];
    EXPECT_EQ(out[1], "1 OK, 0 failed");
    const auto after = read_file(log);
    EXPECT_EQ(std::string(after.begin(), after.end()), before);
}

TEST(StationRun, AHungWorkerIsCutShortAtItsDeadlineOrAtTheThirdInterrupt) {
    TempDir dir;
    const auto image_path = write_file(dir / "fw.bin", sim::make_sample_image(4096));
    const auto log = dir / "bench.log";
    // A stopped worker stands in for a hung one: it heeds SIGTERM only once continued, so the
    // station has to kill it.
    const auto stop_worker = [](const Json& e, pid_t) {
        if (json_string(e, "event") == "started")
            ::kill(static_cast<pid_t>(*json_number(e, "pid")), SIGSTOP);
    };
    StationResult late = run_station({"station", image_path.string(), "--json", "--log",
                                      log.string(), "--worker-deadline", "1", "--simulate"},
                                     stop_worker);
    ASSERT_FALSE(late.timed_out);
    EXPECT_EQ(late.code, 9);
    auto done = of_kind(late, "done");
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(json_string(done[0], "message"), "worker timed out");
    EXPECT_EQ(json_number(done[0], "exit_code"), 23);
    EXPECT_EQ(log_by_serial(log).size(), 1u);

    // Without a deadline to meet: the operator's third Ctrl-C, each sent once the station has
    // answered the one before.
    StationResult stopped = run_station(
        {"station", image_path.string(), "--json", "--simulate"},
        [&](const Json& e, pid_t station) {
            stop_worker(e, station);
            if (json_string(e, "event") == "started") ::kill(station, SIGINT);
        },
        [](const std::string& line, pid_t station) {
            if (line.starts_with("Stopping:") || line.starts_with("Still waiting")) {
                ::kill(station, SIGINT);
            }
        });
    ASSERT_FALSE(stopped.timed_out);
    EXPECT_EQ(stopped.code, 9);
    done = of_kind(stopped, "done");
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(json_string(done[0], "message"), "worker stopped by the operator");
    EXPECT_EQ(json_number(done[0], "exit_code"), 23);
}

TEST(StationRun, WorkersRunTheStationsOwnProgramAndImageWhateverHappensToTheirFiles) {
    TempDir dir;
    const auto image_path = write_file(dir / "fw.bin", sim::make_sample_image(4096));
    const auto copy = dir / "vellox-cli";
    std::filesystem::copy_file(VELLOX_CLI_PROGRAM, copy);
    const auto tmp = dir / "tmp";
    std::filesystem::create_directories(tmp);
    ::setenv("TMPDIR", tmp.c_str(), 1);
    bool checked = false;
    StationResult r = run_station(
        {"station", image_path.string(), "--json", "--simulate=devices=2,plug-every=1s"},
        [&](const Json& e, pid_t) {
            if (checked || json_string(e, "event") != "started") return;
            checked = true;
            // The copy of the image is nowhere on the disk, and the program goes away.
            EXPECT_TRUE(std::filesystem::is_empty(tmp));
            std::filesystem::remove(copy);
        },
        {}, copy.string());
    ::unsetenv("TMPDIR");
    ASSERT_FALSE(r.timed_out);
    ASSERT_TRUE(checked);
    EXPECT_EQ(r.code, 0) << r.said();
    EXPECT_EQ(of_kind(r, "done").size(), 2u);
}

TEST(StationRun, AWorkerThatCannotStartIsAFaultOfTheStationNotOfTheDevice) {
    TempDir dir;
    const auto image_path = write_file(dir / "fw.bin", sim::make_sample_image(4096));
    const auto log = dir / "bench.log";
    // One process allowed to the user: the station runs, its worker cannot be started. Root
    // has no such limit, so as root the station runs as a user id nothing else runs as.
    std::vector<std::string> argv{"--nproc=1"};
    if (::geteuid() == 0) {
        argv.insert(argv.end(), {"setpriv", "--reuid=65533", "--regid=65533", "--clear-groups"});
        ASSERT_EQ(::chmod(log.parent_path().c_str(), 0777), 0);
    }
    // LeakSanitizer's check at exit needs a thread of its own, which the limit refuses.
    const char* asan = std::getenv("ASAN_OPTIONS");
    argv.insert(argv.end(), {"/usr/bin/env",
                             std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":detect_leaks=0",
                             VELLOX_CLI_PROGRAM, "station", image_path.string(), "--json", "--log",
                             log.string(), "--simulate=devices=2"});
    StationResult r = run_station(argv, {}, {}, "/usr/bin/prlimit");
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.code, 1) << r.said();
    EXPECT_TRUE(of_kind(r, "done").empty());
    EXPECT_EQ(read_station_log(log).records, 0u);
    EXPECT_TRUE(r.err.starts_with("vellox-cli: the station cannot run its workers: ")) << r.err;
}

TEST(StationRun, AHangUpStopsTheStationAsSigtermDoesEvenWithItsDisplayGone) {
    TempDir dir;
    const auto image_path = write_file(dir / "fw.bin", sim::make_sample_image(4096));
    const auto log = dir / "bench.log";
    // Standard output can take nothing, as a closed terminal; the phases still come on
    // standard error, and the hang-up comes in the middle of the erase.
    bool hung_up = false;
    StationResult r = run_station(
        {"-c", "exec \"$0\" \"$@\" >/dev/full", VELLOX_CLI_PROGRAM, "station", image_path.string(),
         "--log", log.string(), "--simulate=devices=2,plug-every=20s,erase-pace=50ms"},
        {},
        [&](const std::string& line, pid_t station) {
            if (!hung_up && line.ends_with("Erase......")) {
                hung_up = true;
                ::kill(station, SIGHUP);
            }
        },
        "/bin/sh");
    ASSERT_FALSE(r.timed_out);
    ASSERT_TRUE(hung_up);
    EXPECT_EQ(r.code, 0);
    const auto records = log_by_serial(log);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(json_flag(records.at("VX2016-000001"), "ok"), true);
}

TEST(StationRun, ABoardStillAtItsQueryWhenTheStationStopsIsLetGoAsSkipped) {
    TempDir dir;
    const auto image_path = write_file(dir / "fw.bin", sim::make_sample_image(4096));
    const auto log = dir / "bench.log";
    // A board that does not answer would be asked three times: the interrupt comes first.
    StationResult r = run_station({"station", image_path.string(), "--json", "--log", log.string(),
                                   "--once-per-serial", "--simulate=fault-on=1:silence"},
                                  [](const Json& e, pid_t station) {
                                      if (json_string(e, "event") == "started")
                                          ::kill(station, SIGINT);
                                  });
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.code, 0) << r.said();
    EXPECT_TRUE(of_kind(r, "done").empty());
    const auto skipped = of_kind(r, "skipped");
    ASSERT_EQ(skipped.size(), 1u);
    EXPECT_EQ(json_string(skipped[0], "reason"), "not flashed, the station was stopping");
    EXPECT_EQ(read_station_log(log).records, 0u);
}
