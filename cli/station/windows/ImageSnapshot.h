#pragma once
// The image's private copy on Windows: a file of its own in the temporary folder, which the
// workers open by its name (vellox-cli reads an image by name; a handle would need a second
// way in). The station keeps it open for its whole run sharing reading only, so nobody can
// write, shorten, rename or delete it meanwhile, and deletes it at the end.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "cli/station/windows/WinHandle.h"

namespace vellox::cli {

class ImageSnapshot {
  public:
    static std::optional<ImageSnapshot> write(std::span<const std::uint8_t> bytes,
                                              std::string& error);
    ImageSnapshot(ImageSnapshot&&) noexcept = default;
    ImageSnapshot& operator=(ImageSnapshot&&) = delete;
    ImageSnapshot(const ImageSnapshot&) = delete;
    ImageSnapshot& operator=(const ImageSnapshot&) = delete;
    ~ImageSnapshot();

    // The name by which the workers open it (UTF-8).
    const std::string& worker_path() const { return path_; }

  private:
    ImageSnapshot(WinHandle file, std::wstring name, std::string path)
        : file_(std::move(file)), name_(std::move(name)), path_(std::move(path)) {}
    WinHandle file_;
    std::wstring name_;
    std::string path_;
};

}  // namespace vellox::cli
