#pragma once
// Runs vellox-cli in-process, as a shell would, and keeps what it printed.

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/VelloxCli.h"
#include "tests/TempDir.h"

struct CliResult {
    int code = -1;
    std::string out;
    std::string err;

    std::vector<std::string> err_lines() const { return lines(err); }
    std::vector<std::string> out_lines() const { return lines(out); }

    static std::vector<std::string> lines(const std::string& text) {
        std::vector<std::string> result;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) result.push_back(line);
        return result;
    }
};

// Runs in-process put the emulated device and the loop on a virtual clock (given first, so
// that a test's own clock= decides): their delays and ticks then take no wall-clock time, and
// no load on the machine can stretch one against another.
inline std::string on_virtual_clock(const std::string& arg) {
    if (arg == "--simulate") return "--simulate=clock=virtual";
    if (arg.starts_with("--simulate=")) return "--simulate=clock=virtual," + arg.substr(11);
    return arg;
}

inline CliResult run_cli(const std::vector<std::string>& args, bool terminal = false) {
    std::ostringstream out;
    std::ostringstream err;
    CliResult result;
    std::vector<std::string> virtual_args;
    for (const std::string& arg : args) virtual_args.push_back(on_virtual_clock(arg));
    result.code = vellox::cli::run_cli(virtual_args, {out, err, terminal});
    result.out = out.str();
    result.err = err.str();
    return result;
}

inline std::filesystem::path write_file(const std::filesystem::path& path,
                                        const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return path;
}

inline std::vector<std::uint8_t> read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
