// vellox-cli.exe station as an operator runs it on Windows: the program as a child process over
// an emulated bench, with its workers, log and console control events.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <sstream>
#include <thread>

#include "../CliRun.h"
#include "cli/Json.h"
#include "cli/station/Sha256.h"
#include "cli/station/StationLog.h"
#include "cli/station/WorkerProcess.h"
#include "cli/station/windows/ConsoleControlWatch.h"
#include "firmware/ImageFile.h"
#include "sim/SampleImage.h"

using namespace vellox;
using namespace vellox::cli;

namespace {

// Standard output of an in-process run, handed over line by line as it is written.
class LineSink : public std::streambuf {
  public:
    explicit LineSink(std::function<void(const std::string&)> on_line)
        : on_line_(std::move(on_line)) {}
    std::vector<std::string> lines;

  protected:
    int overflow(int c) override {
        if (c == EOF) return 0;
        if (c != '\n') {
            partial_ += static_cast<char>(c);
            return c;
        }
        lines.push_back(partial_);
        partial_.clear();
        on_line_(lines.back());
        return c;
    }

  private:
    std::function<void(const std::string&)> on_line_;
    std::string partial_;
};

struct StationResult {
    int code = -1;
    std::vector<Json> events;
    bool timed_out = false;
};

struct Running {
    std::unique_ptr<WorkerProcess> process;
    StationResult result;
    std::function<void(const Json&, DWORD)> on_event;
};

// Runs stations side by side to their ends; `on_event` of each sees its JSON lines as they
// come, with the station's pid.
void run_stations(std::vector<Running>& stations) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    for (;;) {
        std::vector<HANDLE> handles;
        for (Running& s : stations) s.process->waitables(handles);
        if (handles.empty()) break;
        ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, 1000);
        for (Running& s : stations) {
            for (const std::string& line : s.process->read_out()) {
                if (auto event = parse_json_object(line)) {
                    if (s.on_event) s.on_event(*event, s.process->pid());
                    s.result.events.push_back(*event);
                }
            }
            s.process->read_err();
            if (s.process->output_ended()) s.process->try_reap();
            if (std::chrono::steady_clock::now() > deadline && !s.process->reaped()) {
                // A hung station must fail the test, not the whole run.
                ::TerminateProcess(s.process->process(), 1);
                s.result.timed_out = true;
            }
        }
    }
    for (Running& s : stations) {
        s.process->reap();
        s.result.code = static_cast<int>(s.process->exit_status());
    }
}

Running start(const std::vector<std::string>& args,
              std::function<void(const Json&, DWORD)> on_event = {}) {
    std::vector<std::string> argv{VELLOX_CLI_PROGRAM, "station", "--json"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string error;
    Running running{WorkerProcess::start(argv, error), {}, std::move(on_event)};
    EXPECT_TRUE(running.process) << error;
    return running;
}

StationResult run_station(const std::vector<std::string>& args,
                          std::function<void(const Json&, DWORD)> on_event = {}) {
    std::vector<Running> one;
    one.push_back(start(args, std::move(on_event)));
    if (!one[0].process) return {};
    run_stations(one);
    return one[0].result;
}

std::vector<Json> of_kind(const StationResult& r, std::string_view kind) {
    std::vector<Json> found;
    for (const auto& e : r.events) {
        if (json_string(e, "event") == kind) found.push_back(e);
    }
    return found;
}

std::vector<Json> log_lines(const std::filesystem::path& path) {
    std::vector<Json> records;
    std::ifstream in(path, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        auto record = parse_json_object(line);
        EXPECT_TRUE(record) << "not a whole record: " << line;
        if (record) records.push_back(*record);
    }
    return records;
}

std::string utf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

// Sets an environment variable for the stations this test starts, and puts it back after.
class ScopedEnvironment {
  public:
    ScopedEnvironment(const wchar_t* name, const std::wstring& value) : name_(name) {
        wchar_t old[MAX_PATH] = {};
        had_ = ::GetEnvironmentVariableW(name, old, MAX_PATH) > 0;
        old_ = old;
        ::SetEnvironmentVariableW(name, value.c_str());
    }
    ~ScopedEnvironment() { ::SetEnvironmentVariableW(name_, had_ ? old_.c_str() : nullptr); }

  private:
    const wchar_t* name_;
    std::wstring old_;
    bool had_ = false;
};

}  // namespace

// Non-ASCII everywhere a name goes: the image, the log, the dump and the temporary folder that
// holds the workers' copy of the image (so their command lines carry it too).
TEST(WindowsStation, MixedFaultsUnderNonAsciiNamesGiveEachItsOutcomeAndFlashesEqualTheImage) {
    TempDir dir;
    // Wide names: a narrow one would be read in the ANSI code page.
    const auto folder = (dir / "x").parent_path() / std::u8string(u8"Prüfstand 固件");
    std::filesystem::create_directories(folder / "temp");
    const ScopedEnvironment tmp(L"TMP", (folder / "temp").wstring());
    const auto image = sim::make_sample_image(8192);
    const auto image_path = write_file(folder / std::u8string(u8"Ünïcode fw.bin"), image);
    const auto log = folder / "bench.log";
    StationResult r = run_station({utf8(image_path), "--log", utf8(log),
                                   "--simulate=devices=4,fault-on=2:wrong-verify-sum",
                                   "--simulate-dump=" + utf8(folder / "flash")});
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.code, 9);

    const auto records = log_lines(log);
    ASSERT_EQ(records.size(), 4u);
    Sha256 digest;
    digest.update(image);
    const std::string sha = digest.hex_digest();
    int ok = 0;
    for (const Json& rec : records) {
        const std::string serial = json_string(rec, "serial");
        SCOPED_TRACE(serial);
        EXPECT_EQ(json_string(rec, "image"), utf8(image_path));
        EXPECT_EQ(json_string(rec, "image_sha256"), sha);
        if (serial == "VX2016-000002") {
            EXPECT_EQ(json_flag(rec, "ok"), false);
            EXPECT_EQ(json_string(rec, "message"), "Verify error");
            EXPECT_EQ(json_number(rec, "exit_code"), 16);
            continue;
        }
        ++ok;
        EXPECT_EQ(json_flag(rec, "ok"), true);
        EXPECT_EQ(json_number(rec, "exit_code"), 0);
        const auto flash = read_file(folder / ("flash." + serial.substr(serial.size() - 1)));
        ASSERT_EQ(flash.size(), 128u * 1024u);
        EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
    }
    EXPECT_EQ(ok, 3);
    // The copy of the image is gone with the station.
    EXPECT_TRUE(std::filesystem::is_empty(folder / "temp"));
}

TEST(WindowsStation, AWorkerKilledMidDownloadIsLoggedAsFailedAndTheStationGoesOn) {
    TempDir dir;
    const auto image_path = write_file(dir / "fw.bin", sim::make_sample_image(4096));
    const auto log = dir / "bench.log";
    std::map<std::string, DWORD> workers;
    bool killed = false;
    // A slow erase keeps the first device busy long enough to be killed in the middle.
    StationResult r =
        run_station({utf8(image_path), "--log", utf8(log),
                     "--simulate=devices=2,plug-every=200ms,erase-pace=100ms"},
                    [&](const Json& e, DWORD) {
                        if (json_string(e, "event") == "started") {
                            workers[json_string(e, "node")] =
                                static_cast<DWORD>(json_number(e, "pid").value_or(0));
                        }
                        if (!killed && json_string(e, "event") == "progress" &&
                            json_string(e, "serial") == "VX2016-000001" &&
                            json_string(e, "phase") == "Erase......") {
                            // As Task Manager's End task does.
                            HANDLE worker = ::OpenProcess(PROCESS_TERMINATE, FALSE,
                                                          workers.at(json_string(e, "node")));
                            killed = worker != nullptr && ::TerminateProcess(worker, 1);
                            if (worker != nullptr) ::CloseHandle(worker);
                        }
                    });
    ASSERT_FALSE(r.timed_out);
    ASSERT_TRUE(killed);
    EXPECT_EQ(r.code, 9);
    std::map<std::string, Json> by_serial;
    for (const Json& rec : log_lines(log)) by_serial.emplace(json_string(rec, "serial"), rec);
    ASSERT_EQ(by_serial.size(), 2u);
    const Json& dead = by_serial.at("VX2016-000001");
    EXPECT_EQ(json_flag(dead, "ok"), false);
    EXPECT_EQ(json_number(dead, "exit_code"), 1);
    EXPECT_EQ(json_string(dead, "message"), "The worker ended without a result");
    EXPECT_EQ(json_flag(by_serial.at("VX2016-000002"), "ok"), true);
}

// A station that dies (killed outright, as Task Manager's End task does) takes its workers
// with it: they are in its kill-on-close job object. A worker left behind would finish its
// download unwatched and leave the device's flash behind in the dump.
TEST(WindowsStation, AStationThatDiesLeavesNoWorkerBehind) {
    TempDir dir;
    const auto image_path = write_file(dir / "fw.bin", sim::make_sample_image(4096));
    DWORD worker_pid = 0;
    HANDLE worker = nullptr;
    run_station({utf8(image_path), "--simulate=devices=1,erase-pace=1s",
                 "--simulate-dump=" + utf8(dir / "flash")},
                [&](const Json& e, DWORD station) {
                    if (json_string(e, "event") == "started") {
                        worker_pid = static_cast<DWORD>(json_number(e, "pid").value_or(0));
                    }
                    if (worker != nullptr || json_string(e, "event") != "progress") return;
                    // The worker is erasing: the station dies under it.
                    worker = ::OpenProcess(SYNCHRONIZE, FALSE, worker_pid);
                    HANDLE killer = ::OpenProcess(PROCESS_TERMINATE, FALSE, station);
                    ::TerminateProcess(killer, 1);
                    ::CloseHandle(killer);
                });
    ASSERT_NE(worker, nullptr);
    // A bound load cannot reach: the download alone takes longer than the kill.
    EXPECT_EQ(::WaitForSingleObject(worker, 120000), WAIT_OBJECT_0);
    ::CloseHandle(worker);
    EXPECT_FALSE(std::filesystem::exists(dir / "flash.1"));
}

// Ctrl+C at the console while two downloads run: the station stops taking devices, its two
// running downloads finish (the workers, in process groups of their own, never see it) and
// the counts come. Wine delivers no console control event to another process's group
// (GenerateConsoleCtrlEvent fails there), so the station runs in this process and the
// system's handler is called as the system calls it, on a thread of its own.
TEST(WindowsStation, CtrlCLetsTheRunningDownloadsFinishAndTakesNoMoreDevices) {
    TempDir dir;
    const auto image_path = write_file(dir / "fw.bin", sim::make_sample_image(4096));
    set_worker_program(VELLOX_CLI_PROGRAM);
    int answered = 0;
    std::thread control;
    LineSink out([&](const std::string& line) {
        auto e = parse_json_object(line);
        if (e && json_string(*e, "event") == "device" && ++answered == 2) {
            control = std::thread([] { ConsoleControlWatch::handle(CTRL_C_EVENT); });
        }
    });
    std::ostream out_stream(&out);
    std::ostringstream err;
    // Two devices at once; the first comes back for a third plug only after its download.
    const std::vector<std::string> args{
        "station", "--json", utf8(image_path),
        "--simulate=devices=2,plugs=3,plug-every=1ms,erase-pace=50ms"};
    const int code = vellox::cli::run_cli(args, CliStreams{out_stream, err, false});
    if (control.joinable()) control.join();
    ASSERT_EQ(answered, 2);
    EXPECT_EQ(code, 0);
    StationResult r;
    for (const std::string& line : out.lines) {
        if (auto e = parse_json_object(line)) r.events.push_back(*e);
    }
    EXPECT_EQ(of_kind(r, "started").size(), 2u);
    const auto done = of_kind(r, "done");
    ASSERT_EQ(done.size(), 2u);
    EXPECT_EQ(json_flag(done[0], "ok"), true);
    EXPECT_EQ(json_flag(done[1], "ok"), true);
    const auto summary = of_kind(r, "summary");
    ASSERT_EQ(summary.size(), 1u);
    EXPECT_EQ(json_number(summary[0], "succeeded"), 2);
    EXPECT_NE(err.str().find("Stopping: no new devices are taken; 2 running downloads may finish."),
              std::string::npos)
        << err.str();
}

// Closing the console window: the system ends the process some 5 s after the event, when its
// handler returns. The handler is held until the station has cut its workers at once and
// logged both devices, so the log is complete when the process may end.
TEST(WindowsStation, AClosingConsoleIsHeldUntilEveryRunningDeviceIsLogged) {
    TempDir dir;
    const auto image_path = write_file(dir / "fw.bin", sim::make_sample_image(4096));
    const auto log = dir / "bench.log";
    set_worker_program(VELLOX_CLI_PROGRAM);
    int answered = 0;
    std::size_t logged_at_return = 0;
    std::thread control;
    LineSink out([&](const std::string& line) {
        auto e = parse_json_object(line);
        if (e && json_string(*e, "event") == "device" && ++answered == 2) {
            control = std::thread([&] {
                ConsoleControlWatch::handle(CTRL_CLOSE_EVENT);
                logged_at_return = read_station_log(log).records;
            });
        }
    });
    std::ostream out_stream(&out);
    std::ostringstream err;
    const std::vector<std::string> args{
        "station", "--json",  utf8(image_path),
        "--log",   utf8(log), "--simulate=devices=2,plug-every=1ms,erase-pace=3s"};
    const int code = vellox::cli::run_cli(args, CliStreams{out_stream, err, false});
    if (control.joinable()) control.join();
    ASSERT_EQ(answered, 2);
    EXPECT_EQ(code, 9);
    EXPECT_EQ(logged_at_return, 2u);
    const auto records = log_lines(log);
    ASSERT_EQ(records.size(), 2u);
    for (const Json& rec : records) {
        EXPECT_EQ(json_string(rec, "message"), "worker stopped by the operator");
        EXPECT_EQ(json_number(rec, "exit_code"), 23);
    }
}

TEST(WindowsStation, TwoStationsAppendingToOneLogNeverMixOrLoseALine) {
    TempDir dir;
    const auto image_path = write_file(dir / "fw.bin", sim::make_sample_image(4096));
    const auto log = dir / "shared.log";
    std::vector<Running> stations;
    for (int i = 0; i < 2; ++i) {
        stations.push_back(start({utf8(image_path), "--log", utf8(log), "--simulate=devices=4"}));
        ASSERT_TRUE(stations.back().process);
    }
    run_stations(stations);
    std::map<std::int64_t, int> per_station;
    for (const Running& s : stations) {
        ASSERT_FALSE(s.result.timed_out);
        EXPECT_EQ(s.result.code, 0);
        per_station[s.process->pid()] = 0;
    }
    const auto records = log_lines(log);
    EXPECT_EQ(records.size(), 8u);
    for (const Json& rec : records) {
        EXPECT_EQ(json_flag(rec, "ok"), true);
        ++per_station[json_number(rec, "pid").value_or(0)];
    }
    for (const auto& [pid, count] : per_station) EXPECT_EQ(count, 4) << "station " << pid;
    const LogReading reading = read_station_log(log);
    EXPECT_EQ(reading.records, 8u);
    EXPECT_EQ(reading.skipped, 0u);
}

// The lowest layer of the same: two handles on one log, appending from two threads at once.
// Windows' locks belong to a handle, so these contend as two stations' would.
TEST(WindowsStationLog, TwoHandlesAppendingAtOnceNeverOverwriteOrMixALine) {
    TempDir dir;
    const auto path = dir / "shared.log";
    constexpr int PerWriter = 300;
    std::string error;
    auto first = StationLog::open(path, error);
    auto second = StationLog::open(path, error);
    ASSERT_TRUE(first && second) << error;
    const auto append = [&](StationLog& log, char who) {
        for (int i = 0; i < PerWriter; ++i) {
            std::string ignored;
            log.append(std::string(R"({"serial":")") + who + std::to_string(i) + R"(","ok":true})",
                       ignored);
        }
    };
    std::thread a(append, std::ref(*first), 'A');
    std::thread b(append, std::ref(*second), 'B');
    a.join();
    b.join();
    const LogReading reading = read_station_log(path);
    EXPECT_EQ(reading.records, 2u * PerWriter);
    EXPECT_EQ(reading.succeeded_serials.size(), 2u * PerWriter);
    EXPECT_EQ(reading.skipped, 0u);
}
