#pragma once
// The station's image: checked once when the station starts, and copied to a private file
// that the workers read, so that the digest in the log is that of what every device received
// even if the file is replaced during the run. The copy has no name (nothing is left on the
// disk, whatever ends the station) and is sealed: nobody can change or shorten it.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "hid/UniqueFd.h"

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

// A sealed anonymous file holding a copy of the image, handed to each worker as its
// descriptor 3.
class ImageSnapshot {
  public:
    static std::optional<ImageSnapshot> write(std::span<const std::uint8_t> bytes,
                                              std::string& error);
    // The descriptor to hand to a worker, and the path by which the worker opens it.
    int fd() const { return fd_.get(); }
    static std::string worker_path() { return "/proc/self/fd/3"; }

  private:
    explicit ImageSnapshot(UniqueFd fd) : fd_(std::move(fd)) {}
    UniqueFd fd_;
};

}  // namespace vellox::cli
