#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "cli/VelloxCli.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    return vellox::cli::run_cli(args, {std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1});
}
