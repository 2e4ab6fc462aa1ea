#pragma once
// vellox-cli station IMAGE: the production bench. Waits for supported devices and flashes each
// new one with IMAGE, several at once, each through a worker process of its own running
// `vellox-cli --json download` against that one device; keeps the log and the operator's
// display. What differs by system is behind StationSystem.h.

#include <string>

#include "cli/CliOptions.h"
#include "cli/VelloxCli.h"

namespace vellox::cli {

// `program` is this program's own path, the name the workers are given; they run the very
// file of the station's process, whatever happens to that path.
int run_station(const CliOptions& options, const CliStreams& io, const std::string& program);

}  // namespace vellox::cli
