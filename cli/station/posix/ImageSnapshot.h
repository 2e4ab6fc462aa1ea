#pragma once
// The image's private copy on Linux: an anonymous file (nothing is left on the disk, whatever
// ends the station), sealed so that nobody can change or shorten it.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "hid/UniqueFd.h"

namespace vellox::cli {

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
