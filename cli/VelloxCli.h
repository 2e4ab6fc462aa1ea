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
};

int run_cli(std::span<const std::string> args, const CliStreams& io);

}  // namespace vellox::cli
