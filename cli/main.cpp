#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "cli/VelloxCli.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
#ifndef _WIN32
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    vellox::cli::set_worker_program(!ec ? self.string() : argc > 0 ? argv[0] : "");
#endif
    return vellox::cli::run_cli(args, {std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1});
}
