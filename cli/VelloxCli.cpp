#include "cli/VelloxCli.h"

#include <filesystem>
#include <fstream>

#include "cli/CliOptions.h"
#include "cli/CliSession.h"
#include "cli/ExitCode.h"
#include "cli/PrintableText.h"
#include "cli/station/Station.h"
#include "firmware/ImageFile.h"

#ifndef VELLOX_VERSION
#define VELLOX_VERSION "unknown"
#endif

namespace vellox::cli {
namespace {

std::string worker_program;

int usage_error(const CliStreams& io, const std::string& message) {
    io.err << "vellox-cli: " << without_controls(message) << '\n' << usage_text() << std::flush;
    return to_int(ExitCode::Usage);
}

}  // namespace

void set_worker_program(std::string path) { worker_program = std::move(path); }

int run_cli(std::span<const std::string> args, const CliStreams& io) {
    ParsedCommandLine parsed = parse_command_line(args);
    if (!parsed.options) return usage_error(io, parsed.error);
    const CliOptions& options = *parsed.options;

    if (options.help) {
        io.out << help_text() << std::flush;
        return to_int(ExitCode::Ok);
    }
    if (options.version) {
        io.out << "vellox-cli " << VELLOX_VERSION << '\n' << std::flush;
        return to_int(ExitCode::Ok);
    }
    if (options.command == Command::Download) {
        // Checked before any device is touched: a typing error must not cost an erase.
        std::error_code ec;
        const auto image = path_from_utf8(options.image);
        if (!std::filesystem::is_regular_file(image, ec)) {
            return usage_error(io, "no such image file '" + options.image + "'");
        }
        if (!ImageFile::open(image)) {
            return usage_error(io, "cannot read image file '" + options.image + "'");
        }
    }

    if (options.command == Command::Station) {
        return run_station(options, io, worker_program);
    }

    try {
        CliSession session(options, io);
        return session.run();
    } catch (const std::exception& error) {
        io.err << "vellox-cli: " << error.what() << '\n' << std::flush;
        return to_int(ExitCode::Failure);
    }
}

}  // namespace vellox::cli
