#pragma once
// The firmware image: a flat binary whose byte N goes to device address N, with a
// four-character product identifier at bytes 24..27.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vellox {

inline constexpr std::size_t ImageSumChunk = 8192;
inline constexpr std::size_t ImageHeaderLength = 32;
inline constexpr std::size_t ProductIdOffset = 24;
inline constexpr std::size_t ProductIdLength = 4;
inline constexpr std::uint32_t BlockBoundary = 32768;
// Device addresses are 24 bits wide; an image reaching 16 MiB would wrap onto address 0.
inline constexpr std::uint64_t ImageSizeLimit = 1u << 24;

// A path from UTF-8 text: command lines reach the engines as UTF-8 on every system, and
// Windows file names are wide, so a name in the ANSI code page would lose characters.
std::filesystem::path path_from_utf8(std::string_view text);

// A file opened for sequential reading; closed when the object goes.
class ImageFile {
  public:
    static std::optional<ImageFile> open(const std::filesystem::path& path);

    // Reads up to `into.size()` bytes; returns the count read, or nullopt on a read error.
    // A count short of the request means the end of the file was reached.
    std::optional<std::size_t> read(std::span<std::uint8_t> into);

  private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    explicit ImageFile(std::FILE* f) : file_(f) {}
    std::unique_ptr<std::FILE, Closer> file_;
};

// Wrapping 16-bit sum of every byte of the file, read in chunks of 8192 bytes into `chunk`
// (at least 8192 bytes). Nullopt when the file cannot be opened or read.
std::optional<std::uint16_t> sum_image_file(const std::filesystem::path& path,
                                            std::span<std::uint8_t> chunk);

// Size of the file as the file system reports it; nullopt when it cannot be had.
std::optional<std::uint64_t> image_file_size(const std::filesystem::path& path);

// The product identifier held in a header read from offset 0; nullopt when the header is
// too short to hold all four bytes.
std::optional<std::string> image_product_id(std::span<const std::uint8_t> header);

// Length of the block that starts at `offset`: 58 bytes, cut so that no block crosses a
// 32 KiB boundary of the offset.
std::uint32_t block_length_at(std::uint32_t offset);

struct ImageBlock {
    std::uint32_t offset;
    std::uint32_t length;
    bool operator==(const ImageBlock&) const = default;
};

// Every block of an image of `size` bytes, in sending order; the last holds what remains.
std::vector<ImageBlock> plan_blocks(std::uint32_t size);

}  // namespace vellox
