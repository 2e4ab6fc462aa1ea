#pragma once
// The station's image: checked once when the station starts, and copied to a private file
// that the workers read (ImageSnapshot, the system's own), so that the digest in the log is
// that of what every device received even if the file is replaced during the run.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vellox::cli {

struct ImageFacts {
    std::string path;  // absolute, as the log names it
    std::uint64_t size = 0;
    std::string product_id;
    std::string sha256;
};

// Reads the whole image into `bytes` and checks it: readable, no larger than a device address
// reaches, long enough to hold the product identifier. Nullopt with `error` set otherwise.
std::optional<ImageFacts> check_image(const std::string& given, std::vector<std::uint8_t>& bytes,
                                      std::string& error);

}  // namespace vellox::cli

#ifdef _WIN32
#include "cli/station/windows/ImageSnapshot.h"
#else
#include "cli/station/posix/ImageSnapshot.h"
#endif
