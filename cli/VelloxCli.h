#pragma once
// Entry of vellox-cli, callable in-process: the arguments after the program name, the output
// streams, and whether standard error is a terminal (the progress line redraws itself there).

#include <ostream>
#include <span>
#include <string>

namespace vellox::cli {

struct CliStreams {
    std::ostream& out;
    std::ostream& err;
    bool err_is_terminal = false;
    // The terminal understands escape sequences (ESC [K); a Windows console may not.
    bool terminal_escapes = true;
};

int run_cli(std::span<const std::string> args, const CliStreams& io);

// The program station workers run: this program itself, set by main(). In-process callers
// leave it empty, and station then refuses to start.
void set_worker_program(std::string path);

}  // namespace vellox::cli
