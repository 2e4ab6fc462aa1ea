// Ctrl+C during a download, on the program as a child process: the first interrupt lets the
// download finish, a second abandons it with its own exit code.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>

#include "CliRun.h"
#include "cli/ExitCode.h"
#include "cli/Json.h"
#include "cli/station/WorkerProcess.h"
#include "sim/SampleImage.h"

using namespace vellox::cli;

namespace {

struct Interrupted {
    int code = -1;
    std::vector<std::string> out;
    std::string err;  // every line of standard error
};

Interrupted download_interrupted(int interrupts) {
    TempDir dir;
    const auto image = write_file(dir / "fw.bin", sim::make_sample_image(16384));
    std::string error;
    auto cli = WorkerProcess::start(
        {VELLOX_CLI_PROGRAM, "--json", "--simulate", "download", image.string()}, error);
    Interrupted r;
    if (!cli) {
        ADD_FAILURE() << error;
        return r;
    }
    // The interrupts land in the middle of the download: the program is never more than a pipe
    // ahead of this reader, and after its first line (the device) more progress events follow
    // than the smallest pipe holds. So that first line is read alone, byte by byte.
    if (::fcntl(cli->out_fd(), F_SETPIPE_SZ, 4096) < 0) {
        ADD_FAILURE() << "cannot shrink the pipe";
        return r;
    }
    std::string first;
    while (first.empty() || first.back() != '\n') {
        pollfd fd{cli->out_fd(), POLLIN, 0};
        char c = 0;
        if (::poll(&fd, 1, -1) < 0 || ::read(cli->out_fd(), &c, 1) != 1) break;
        first += c;
    }
    const auto device = parse_json_object(first.substr(0, first.size() - 1));
    EXPECT_TRUE(device && json_string(*device, "event") == "device") << first;
    for (int i = 0; i < interrupts; ++i) ::kill(cli->pid(), i == 0 ? SIGINT : SIGTERM);
    while (!cli->output_ended()) {
        pollfd fds[2] = {{cli->out_fd(), POLLIN, 0}, {cli->err_fd(), POLLIN, 0}};
        ::poll(fds, 2, 1000);
        for (std::string& line : cli->read_out()) r.out.push_back(std::move(line));
        for (std::string& line : cli->read_err()) r.err += line + '\n';
    }
    cli->reap();
    r.code = cli->exited() ? cli->exit_code() : -cli->signal();
    return r;
}

TEST(CliInterrupt, TheFirstLetsTheDownloadFinishAndTheSecondAbandonsIt) {
    const Interrupted once = download_interrupted(1);
    EXPECT_EQ(once.code, 0);
    ASSERT_FALSE(once.out.empty());
    const auto result = parse_json_object(once.out.back());
    ASSERT_TRUE(result);
    EXPECT_EQ(json_flag(*result, "ok"), true);
    EXPECT_NE(once.err.find("the download will finish"), std::string::npos) << once.err;

    const Interrupted twice = download_interrupted(2);
    EXPECT_EQ(twice.code, to_int(ExitCode::Interrupted));
    EXPECT_NE(twice.err.find("download abandoned"), std::string::npos) << twice.err;
}

}  // namespace
