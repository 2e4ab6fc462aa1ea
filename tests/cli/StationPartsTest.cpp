// The station's parts below its process handling: the image digest, the reading of JSON lines,
// the log file, the emulated bench's settings and the operator's display.
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <sstream>

#include "CliRun.h"
#include "cli/Json.h"
#include "cli/station/Sha256.h"
#include "cli/station/StationDisplay.h"
#include "cli/station/StationLog.h"
#include "cli/station/StationSimulation.h"
#include "cli/station/WorkerProcess.h"

using namespace vellox::cli;

namespace {

std::string sha_of(std::string_view text) {
    Sha256 sha;
    sha.update({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    return sha.hex_digest();
}

std::string read_text(const std::filesystem::path& path) {
    const auto bytes = read_file(path);
    return {bytes.begin(), bytes.end()};
}

}  // namespace

TEST(StationImageDigest, KnownSha256Values) {
    EXPECT_EQ(sha_of(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha_of("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // 56 bytes: the length no longer fits the first block's tail.
    EXPECT_EQ(sha_of("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    // Fed in uneven pieces, as a file arrives.
    Sha256 million;
    const std::vector<std::uint8_t> a(1000, 'a');
    for (std::size_t fed = 0; fed < 1000000; fed += 997) {
        million.update(std::span(a).first(std::min<std::size_t>(997, 1000000 - fed)));
    }
    EXPECT_EQ(million.hex_digest(),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(StationJsonLine, ReadsAnObjectsMembersByTypeAndRefusesTornLines) {
    const std::string serial = "SN\x01\xC3\xA9\"\\";
    const std::string text = json_text({{"serial", serial},
                                        {"ok", true},
                                        {"fields", {{{"x", 1}}}},
                                        {"exit_code", 16},
                                        {"gone", nullptr}});

    const auto line = parse_json_object(text);
    ASSERT_TRUE(line);
    EXPECT_EQ(json_string(*line, "serial"), serial);
    EXPECT_EQ(json_flag(*line, "ok"), true);
    EXPECT_EQ(json_number(*line, "exit_code"), 16);
    EXPECT_TRUE(line->contains("fields"));
    EXPECT_TRUE(line->contains("gone"));
    // A member of another type reads as absent, never as a fault.
    EXPECT_EQ(json_number(*line, "serial"), std::nullopt);
    EXPECT_EQ(json_string(*line, "exit_code"), "");
    EXPECT_EQ(json_flag(*line, "gone"), std::nullopt);
    EXPECT_EQ(json_number(*parse_json_object(R"({"n":1e300})"), "n"), std::nullopt);

    for (std::size_t cut = 1; cut < text.size(); ++cut) {
        EXPECT_FALSE(parse_json_object(text.substr(0, cut))) << cut;
    }
    EXPECT_FALSE(parse_json_object(text + "x"));
    EXPECT_FALSE(parse_json_object("[1]"));
}

TEST(StationLogFile, ATornLastLineIsClosedOffAndSkippedAndTheNextRecordIsWhole) {
    TempDir dir;
    const auto path = dir / "bench.log";
    {
        std::ofstream out(path, std::ios::binary);
        out << R"({"serial":"A1","ok":true})" << '\n'
            << R"({"serial":"B2","ok":false})" << '\n'
            << "garbage\n"
            << R"({"serial":"C3","ok":tr)";  // the power went here
    }
    LogReading before = read_station_log(path);
    EXPECT_EQ(before.records, 2u);
    EXPECT_EQ(before.skipped, 2u);
    EXPECT_EQ(before.succeeded_serials, std::set<std::string>{"A1"});

    std::string error;
    auto log = StationLog::open(path, error);
    ASSERT_TRUE(log) << error;
    ASSERT_TRUE(log->append(R"({"serial":"D4","ok":true})", error)) << error;
    EXPECT_TRUE(read_text(path).ends_with("ok\":tr\n{\"serial\":\"D4\",\"ok\":true}\n"));
    LogReading after = read_station_log(path);
    EXPECT_EQ(after.records, 3u);
    EXPECT_EQ(after.skipped, 2u);
    EXPECT_EQ(after.succeeded_serials, (std::set<std::string>{"A1", "D4"}));

    EXPECT_EQ(read_station_log(dir / "none.log").records, 0u);
    EXPECT_FALSE(StationLog::open(dir / "no-such-dir" / "x.log", error));
    EXPECT_NE(error.find("cannot open the log"), std::string::npos);
}

// Runs `check` (which returns what went wrong, empty when all is well) as the unprivileged
// "nobody" when started as root, for rules that root would pass; directly otherwise.
static void expect_unprivileged(const std::function<std::string()>& check) {
    if (::geteuid() != 0) {
        EXPECT_EQ(check(), "");
        return;
    }
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(fds[0]);
        constexpr uid_t kNobody = 65534;
        std::string said = "root not given up";
        if (::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0) {
            said = check();
        }
        [[maybe_unused]] const auto n = ::write(fds[1], said.data(), said.size());
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string said;
    char buffer[256];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) said.append(buffer, n);
    ::close(fds[0]);
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(said, "");
}

TEST(StationLogFile, OnlyARegularFileOfTheStationsOwnUserThatOthersCannotWriteIsUsed) {
    TempDir dir;
    const auto shared = dir / "shared";  // world-writable, as /tmp
    const auto own = dir / "own";
    std::filesystem::create_directories(shared);
    std::filesystem::create_directories(own);
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    // Root's own records, which a link must not lead the station to.
    const auto roots = write_file(dir / "root.log", {'{', '}', '\n'});
    ASSERT_EQ(::chmod(roots.c_str(), 0600), 0);
    const auto foreign = write_file(shared / "foreign.log", {});
    ASSERT_EQ(::chmod(foreign.c_str(), 0666), 0);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(own.c_str(), 65534, 65534), 0);
    }
    const mode_t old_mask = ::umask(022);

    expect_unprivileged([&]() -> std::string {
        std::string problems;
        const auto refused = [&](const std::filesystem::path& path, std::string_view rule) {
            std::string error;
            if (StationLog::open(path, error)) return problems += path.string() + " opened; ";
            if (error.find(rule) == std::string::npos) problems += error + "; ";
            return problems;
        };
        std::filesystem::create_symlink(roots, shared / "link.log");
        refused(shared / "link.log", "is a symbolic link");
        ::mkfifo((shared / "fifo.log").c_str(), 0600);
        refused(shared / "fifo.log", "is not a regular file");
        const auto open_mode = write_file(shared / "forged.log", {});
        ::chmod(open_mode.c_str(), 0666);
        refused(open_mode, "may be written by others (mode 0666)");
        // Started as root, this file is root's and the check runs as nobody.
        struct stat st {};
        if (::stat(foreign.c_str(), &st) == 0 && st.st_uid != ::geteuid()) {
            refused(foreign, "belongs to another user");
        }
        // New logs: readable by the group at most, by the owner alone in a shared folder.
        for (const auto& [path, mode] :
             {std::pair{own / "new.log", 0640u}, std::pair{shared / "new.log", 0600u}}) {
            std::string error;
            if (!StationLog::open(path, error)) problems += error + "; ";
            struct stat st {};
            if (::stat(path.c_str(), &st) != 0 || (st.st_mode & 07777) != mode) {
                problems += path.string() + " has the wrong mode; ";
            }
        }
        return problems;
    });
    ::umask(old_mask);
}

TEST(StationLogFile, TwoProcessesAppendingNeverMixWithinALine) {
    TempDir dir;
    const auto path = dir / "shared.log";
    // Lines far longer than a pipe's atomic write, from two processes at once.
    auto writer = [&path](char fill) {
        std::string error;
        auto log = StationLog::open(path, error);
        if (!log) return 1;
        for (int i = 0; i < 100; ++i) {
            const std::string line =
                R"({"serial":")" + std::string(20000, fill) + R"(","ok":true})";
            if (!log->append(line, error)) return 1;
        }
        return 0;
    };
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) ::_exit(writer('b'));
    const int mine = writer('a');
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_EQ(mine, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    const LogReading reading = read_station_log(path);
    EXPECT_EQ(reading.records, 200u);
    EXPECT_EQ(reading.skipped, 0u);
    EXPECT_EQ(reading.succeeded_serials.size(), 2u);
}

TEST(StationLogFile, OthersAppendsAreReadThroughTheHeldFileAndARotatedLogIsFollowed) {
    TempDir dir;
    const auto path = dir / "bench.log";
    std::string error;
    auto mine = StationLog::open(path, error);
    auto other = StationLog::open(path, error);
    ASSERT_TRUE(mine && other) << error;
    ASSERT_TRUE(mine->append(R"({"serial":"A","ok":true})", error)) << error;
    ASSERT_TRUE(other->append(R"({"serial":"B","ok":true})", error)) << error;
    ASSERT_TRUE(mine->refresh(error)) << error;
    EXPECT_EQ(mine->index().succeeded_serials(), (std::set<std::string>{"A", "B"}));

    // mv bench.log bench.log.1: this station's next record starts the new file, and what the
    // old one said still counts.
    std::filesystem::rename(path, dir / "bench.log.1");
    ASSERT_TRUE(mine->append(R"({"serial":"C","ok":true})", error)) << error;
    EXPECT_EQ(read_station_log(path).succeeded_serials, std::set<std::string>{"C"});
    EXPECT_EQ(read_station_log(dir / "bench.log.1").records, 2u);

    // Replaced by a file of the same user holding another station's record.
    const auto fresh = dir / "fresh.log";
    std::ofstream(fresh) << R"({"serial":"D","ok":true})" << '\n';
    ASSERT_EQ(::chmod(fresh.c_str(), 0640), 0);
    std::filesystem::rename(fresh, path);
    ASSERT_TRUE(mine->refresh(error)) << error;
    EXPECT_EQ(mine->index().succeeded_serials(), (std::set<std::string>{"A", "B", "C", "D"}));
    EXPECT_EQ(mine->index().records(), 4u);
    EXPECT_EQ(mine->index().skipped(), 0u);
}

TEST(StationSimulationSettings, DevicesGetSerialsAndTheirOwnFaults) {
    auto parsed = parse_station_simulation(
        "devices=4,plug-every=1s,fault-on=3:wrong-verify-sum,fault-on=2:unplug-after:20,"
        "capacity=64K,plug-after=50ms");
    ASSERT_TRUE(parsed.simulation) << parsed.error;
    const StationSimulation& s = *parsed.simulation;
    ASSERT_EQ(s.devices.size(), 4u);
    EXPECT_EQ(s.plugs, 4u);
    EXPECT_EQ(s.plug_every, std::chrono::seconds(1));
    EXPECT_EQ(s.plug_after, std::chrono::milliseconds(50));
    EXPECT_EQ(s.devices[0].serial_number, "VX2016-000001");
    EXPECT_EQ(s.devices[3].serial_number, "VX2016-000004");
    for (const auto& d : s.devices) EXPECT_EQ(d.capacity, 64u * 1024u);
    EXPECT_TRUE(s.devices[2].faults.wrong_verify_sum);
    EXPECT_EQ(s.devices[1].faults.unplug_after, 20u);
    EXPECT_FALSE(s.devices[0].faults.wrong_verify_sum || s.devices[0].faults.unplug_after);
    EXPECT_FALSE(s.devices[3].faults.wrong_verify_sum);

    auto named = parse_station_simulation("devices=2,plugs=5,serial=LINE7");
    ASSERT_TRUE(named.simulation) << named.error;
    EXPECT_EQ(named.simulation->devices[1].serial_number, "LINE7-2");
    EXPECT_EQ(named.simulation->device_of_plug(4), 0u);

    const std::pair<const char*, const char*> bad[] = {
        {"devices=0", "devices: expected 1 to 64, got '0'"},
        {"devices=2,fault-on=3:silence", "fault-on: there is no device 3 of 2"},
        {"fault-on=1", "fault-on: expected DEVICE:FAULT such as 3:wrong-verify-sum, got '1'"},
        {"fault-on=1:gremlins", "device 1: unknown fault 'gremlins'"},
        {"plug-every=soon", "plug-every: expected a duration such as 1s, got 'soon'"},
    };
    for (const auto& [text, error] : bad) {
        auto p = parse_station_simulation(text);
        EXPECT_FALSE(p.simulation) << text;
        EXPECT_EQ(p.error, error);
    }
}

TEST(StationOperatorDisplay, ALineThatStaysGoesAboveTheRedrawnBlockWhichComesBackBelowIt) {
    std::ostringstream out;
    std::ostringstream err;
    {
        StationDisplay display(StationDisplay::Mode::Terminal, out, err);
        display.set_active({"hidraw1  Writing...... 5%", "0 OK, 0 failed"});
        display.set_active({"hidraw1  Writing...... 5%", "0 OK, 0 failed"});  // unchanged
        display.result("hidraw2  SN-2: OK");
        display.set_active({"hidraw1  Writing...... 5%", "1 OK, 0 failed"});
    }
    EXPECT_EQ(out.str(), "hidraw2  SN-2: OK\n");
    EXPECT_EQ(err.str(),
              "hidraw1  Writing...... 5%\x1b[K\n0 OK, 0 failed\x1b[K\n"
              "\x1b[2F\x1b[J"
              "hidraw1  Writing...... 5%\x1b[K\n1 OK, 0 failed\x1b[K\n"
              "\x1b[2F\x1b[J");  // the block goes when the display does

    std::ostringstream json_out;
    std::ostringstream json_err;
    StationDisplay json(StationDisplay::Mode::Json, json_out, json_err);
    json.set_active({"x"});
    json.result("x: OK");
    json.event(R"({"event":"summary"})");
    json.note("vellox-cli: cannot write the log");
    EXPECT_EQ(json_out.str(), "{\"event\":\"summary\"}\n");
    EXPECT_EQ(json_err.str(), "vellox-cli: cannot write the log\n");
}

TEST(StationWorkerProcess, IsReapedWithoutWaitingAndItsMessageIsItsFirstErrorLine) {
    std::string error;
    auto talker = WorkerProcess::start(
        {"/bin/sh", "-c", "echo 'cannot open x' >&2; echo 'Try --help' >&2"}, error);
    ASSERT_TRUE(talker) << error;
    while (!talker->output_ended()) {
        pollfd fds[2] = {{talker->out_fd(), POLLIN, 0}, {talker->err_fd(), POLLIN, 0}};
        ::poll(fds, 2, -1);
        talker->read_out();
        talker->read_err();
    }
    EXPECT_EQ(talker->first_err_line(), "cannot open x");

    // Its output closed, the process runs on: looking must not wait for it (the sleep only
    // bounds how long a waiting look would hang).
    auto silent = WorkerProcess::start({"/bin/sh", "-c", "exec >&- 2>&-; sleep 60"}, error);
    ASSERT_TRUE(silent) << error;
    while (!silent->output_ended()) {
        pollfd fds[2] = {{silent->out_fd(), POLLIN, 0}, {silent->err_fd(), POLLIN, 0}};
        ::poll(fds, 2, -1);
        silent->read_out();
        silent->read_err();
    }
    EXPECT_FALSE(silent->try_reap());
    silent->kill();
    if (silent->exit_fd() >= 0) {
        // Readable once it has ended: then looking finds it.
        pollfd ended{silent->exit_fd(), POLLIN, 0};
        EXPECT_EQ(::poll(&ended, 1, -1), 1);
        EXPECT_TRUE(silent->try_reap());
    }
    silent->reap();
    EXPECT_TRUE(silent->killed());
    EXPECT_EQ(silent->signal(), SIGKILL);
}
