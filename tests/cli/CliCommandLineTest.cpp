// The command line itself: what it accepts, how it refuses bad usage, and the program as a
// shell sees it.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <array>
#include <cstdio>
#include <memory>

#include "CliRun.h"
#include "cli/CliOptions.h"
#include "cli/ExitCode.h"

using namespace vellox::cli;

namespace {

ParsedCommandLine parse(std::vector<std::string> args) { return parse_command_line(args); }

}  // namespace

TEST(CliCommandLine, OptionsGoBeforeOrAfterTheCommand) {
    auto a = parse({"--json", "--device", "/dev/hidraw4", "download", "fw.bin", "--trace"});
    ASSERT_TRUE(a.options) << a.error;
    EXPECT_EQ(a.options->command, Command::Download);
    EXPECT_EQ(a.options->image, "fw.bin");
    EXPECT_EQ(a.options->device, "/dev/hidraw4");
    EXPECT_TRUE(a.options->json);
    EXPECT_TRUE(a.options->trace);
    EXPECT_FALSE(a.options->wait);

    auto b = parse({"info", "--device=/dev/hidraw2", "--wait"});
    ASSERT_TRUE(b.options) << b.error;
    EXPECT_EQ(b.options->device, "/dev/hidraw2");
    EXPECT_EQ(b.options->wait, std::chrono::seconds(30));

    auto c = parse({"--wait=7", "list"});
    ASSERT_TRUE(c.options) << c.error;
    EXPECT_EQ(c.options->wait, std::chrono::seconds(7));

    // After "--" a word that looks like an option is the image's name.
    auto d = parse({"download", "--", "-odd.bin"});
    ASSERT_TRUE(d.options) << d.error;
    EXPECT_EQ(d.options->image, "-odd.bin");

    // The station's --simulate describes a bench; the station reads it, not the parser.
    auto e = parse({"--log", "bench.log", "station", "fw.bin", "--count", "5", "--once-per-serial",
                    "--simulate=devices=3"});
    ASSERT_TRUE(e.options) << e.error;
    EXPECT_EQ(e.options->command, Command::Station);
    EXPECT_EQ(e.options->image, "fw.bin");
    EXPECT_EQ(e.options->log, "bench.log");
    EXPECT_EQ(e.options->count, 5u);
    EXPECT_TRUE(e.options->once_per_serial);
    EXPECT_EQ(e.options->station_simulate, "devices=3");
    EXPECT_FALSE(e.options->simulate);
}

TEST(CliCommandLine, SimulateReadsEmulatedDeviceSettingsAndThePlugDelay) {
    auto plain = parse({"--simulate", "info"});
    ASSERT_TRUE(plain.options && plain.options->simulate);
    EXPECT_EQ(plain.options->simulate->firmware.product_id, "V201");
    EXPECT_EQ(plain.options->simulate->firmware.capacity, 128u * 1024u);
    EXPECT_EQ(plain.options->simulate->plug_after.count(), 0);

    auto set =
        parse({"--simulate=product=E201, plug-after=250ms,capacity=64K,fault=noise", "info"});
    ASSERT_TRUE(set.options && set.options->simulate) << set.error;
    EXPECT_EQ(set.options->simulate->firmware.product_id, "E201");
    EXPECT_EQ(set.options->simulate->firmware.capacity, 64u * 1024u);
    EXPECT_TRUE(set.options->simulate->firmware.faults.noise);
    EXPECT_EQ(set.options->simulate->plug_after, std::chrono::milliseconds(250));
}

TEST(CliCommandLine, BadUsageIsOneLineThenTheUsageAndExitCodeTwo) {
    TempDir dir;
    const std::string existing = write_file(dir / "fw.bin", std::vector<std::uint8_t>(64)).string();
    const std::string short_image =
        write_file(dir / "short.bin", std::vector<std::uint8_t>(27)).string();
    const struct {
        std::vector<std::string> args;
        std::string error;
    } cases[] = {
        {{"--frobnicate", "list"}, "vellox-cli: unknown option '--frobnicate'"},
        {{"list", "info"}, "vellox-cli: two commands given: 'list' and 'info'"},
        {{}, "vellox-cli: no command given"},
        {{"flash"}, "vellox-cli: unknown command 'flash'"},
        {{"download"}, "vellox-cli: download needs an IMAGE file"},
        {{"download", (dir / "missing.bin").string()},
         "vellox-cli: no such image file '" + (dir / "missing.bin").string() + "'"},
        {{"download", existing, "more.bin"}, "vellox-cli: unexpected argument 'more.bin'"},
        {{"info", "--wait=soon"},
         "vellox-cli: option --wait takes a whole number of seconds up to 86400, not 'soon'"},
        {{"info", "--device"}, "vellox-cli: option --device needs a device path"},
        {{"info", "--json=yes"}, "vellox-cli: option --json takes no value"},
        {{"--simulate=fault=gremlins", "info"},
         "vellox-cli: bad --simulate settings: unknown fault 'gremlins'"},
        {{"--simulate=plug-after=later", "info"},
         "vellox-cli: bad --simulate settings: plug-after: expected a duration such as 500ms, "
         "got 'later'"},
        {{"--simulate-dump=x.bin", "info"}, "vellox-cli: option --simulate-dump needs --simulate"},
        {{"station"}, "vellox-cli: station needs an IMAGE file"},
        {{"station", existing, "--device=/dev/hidraw1"},
         "vellox-cli: station takes no --device, --wait or --trace"},
        {{"station", existing, "--once-per-serial"},
         "vellox-cli: option --once-per-serial needs --log FILE, where the successes are"},
        {{"station", existing, "--count=0"},
         "vellox-cli: option --count takes a whole number from 1 to 1000000"},
#ifndef _WIN32  // checked by the station itself, which Windows builds leave out
        {{"station", short_image},
         "vellox-cli: image file '" + short_image + "' is too short to hold a product identifier"},
        {{"station", existing, "--simulate=devices=0"},
         "vellox-cli: bad --simulate settings: devices: expected 1 to 64, got '0'"},
#endif
        {{"info", "--log", "x.log"},
         "vellox-cli: options --log, --once-per-serial, --count and --worker-deadline are for "
         "station"},
        // Quoted arguments cannot break the line or reach the terminal as escapes.
        {{"--simulate=fault=a\nb\x1B[2J", "info"},
         "vellox-cli: bad --simulate settings: unknown fault 'a\\x0Ab\\x1B[2J'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        CliResult r = run_cli(c.args);
        EXPECT_EQ(r.code, 2);
        EXPECT_EQ(r.out, "");
        const auto lines = r.err_lines();
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[0], c.error);
        EXPECT_EQ(r.err.substr(r.err.find('\n') + 1), usage_text());
    }
}

TEST(CliCommandLine, HelpNamesEveryFaultAndTheExitCodes) {
    CliResult r = run_cli({"--help"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "");
    for (const auto& fault : sim::fault_catalogue()) {
        EXPECT_NE(r.out.find(std::string(fault.name)), std::string::npos) << fault.name;
    }
    EXPECT_NE(r.out.find("plug-after="), std::string::npos);
    EXPECT_NE(r.out.find("16 \"Verify error\""), std::string::npos);
    EXPECT_NE(r.out.find("2 bad usage"), std::string::npos);
    for (const char* station : {"station IMAGE", "--log FILE", "--once-per-serial", "--count N",
                                "fault-on=K:FAULT", "plug-every=DURATION", "9 station"}) {
        EXPECT_NE(r.out.find(station), std::string::npos) << station;
    }

    CliResult v = run_cli({"--version"});
    EXPECT_EQ(v.code, 0);
    EXPECT_EQ(v.out.rfind("vellox-cli ", 0), 0u);
}

TEST(CliCommandLine, ExitCodesOfDialogueFailuresFollowTheStatusCodes) {
    EXPECT_EQ(exit_code_for_status(vellox::DialogueStatus{1}), 11);
    EXPECT_EQ(exit_code_for_status(vellox::DialogueStatus{3}), 13);
    EXPECT_EQ(exit_code_for_status(vellox::DialogueStatus{6}), 16);
    EXPECT_EQ(exit_code_for_status(vellox::DialogueStatus{10}), 20);
    EXPECT_EQ(exit_code_for_status(vellox::DialogueStatus{11}), 21);
    EXPECT_EQ(exit_code_for_status(vellox::DialogueStatus{99}), 21);
}

// Through a POSIX shell; the Windows build runs its program from the wine tests instead.
#ifndef _WIN32
namespace {

struct ChildResult {
    int code = -1;
    std::string out;
};

// Runs a shell command and returns its exit code and standard output.
ChildResult shell(const std::string& command) {
    ChildResult result;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe) return result;
    std::array<char, 4096> buf{};
    while (std::size_t n = std::fread(buf.data(), 1, buf.size(), pipe.get())) {
        result.out.append(buf.data(), n);
    }
    const int status = ::pclose(pipe.release());
    result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

}  // namespace

TEST(CliProgram, RunsAsAChildProcessWithTheSameExitCodes) {
    const std::string program = VELLOX_CLI_PROGRAM;
    EXPECT_EQ(shell("'" + program + "' --frobnicate 2>&1").code, 2);
    ChildResult list = shell("'" + program + "' --simulate list 2>&1");
    EXPECT_EQ(list.code, 0);
    EXPECT_NE(list.out.find(" FFFF2016 "), std::string::npos) << list.out;
}

TEST(CliProgram, LinksNoQt) {
    if (shell("command -v ldd >/dev/null").code != 0) GTEST_SKIP() << "no ldd here";
    ChildResult ldd = shell("ldd '" + std::string(VELLOX_CLI_PROGRAM) + "'");
    ASSERT_EQ(ldd.code, 0);
    EXPECT_NE(ldd.out.find("libc.so"), std::string::npos) << ldd.out;
    EXPECT_EQ(ldd.out.find("Qt"), std::string::npos) << ldd.out;
}
#endif
