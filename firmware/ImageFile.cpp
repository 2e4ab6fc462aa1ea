#include "firmware/ImageFile.h"

#include <algorithm>
#include <system_error>

#include "firmware/OpenImageFile.h"

namespace vellox {

std::filesystem::path path_from_utf8(std::string_view text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::optional<ImageFile> ImageFile::open(const std::filesystem::path& path) {
    std::FILE* f = open_image_file(path);
    if (f == nullptr) return std::nullopt;
    return ImageFile(f);
}

std::optional<std::size_t> ImageFile::read(std::span<std::uint8_t> into) {
    std::size_t total = 0;
    // fread may stop short on a signal; keep going until end of file or a real error.
    while (total < into.size()) {
        const std::size_t n = std::fread(into.data() + total, 1, into.size() - total, file_.get());
        total += n;
        if (n == 0) {
            if (std::ferror(file_.get()) != 0) return std::nullopt;
            break;
        }
    }
    return total;
}

std::optional<std::uint16_t> sum_image_file(const std::filesystem::path& path,
                                            std::span<std::uint8_t> chunk) {
    auto file = ImageFile::open(path);
    if (!file) return std::nullopt;
    std::uint16_t sum = 0;
    const auto buffer = chunk.first(std::min(chunk.size(), ImageSumChunk));
    for (;;) {
        const auto n = file->read(buffer);
        if (!n) return std::nullopt;
        for (std::size_t i = 0; i < *n; ++i) sum = static_cast<std::uint16_t>(sum + buffer[i]);
        if (*n < buffer.size()) return sum;
    }
}

std::optional<std::uint64_t> image_file_size(const std::filesystem::path& path) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) return std::nullopt;
    return size;
}

std::optional<std::string> image_product_id(std::span<const std::uint8_t> header) {
    if (header.size() < ProductIdOffset + ProductIdLength) return std::nullopt;
    const auto id = header.subspan(ProductIdOffset, ProductIdLength);
    return std::string(id.begin(), id.end());
}

std::uint32_t block_length_at(std::uint32_t offset) {
    const std::uint32_t within = offset % BlockBoundary;
    return within + 58 > BlockBoundary ? BlockBoundary - within : 58;
}

std::vector<ImageBlock> plan_blocks(std::uint32_t size) {
    std::vector<ImageBlock> blocks;
    for (std::uint32_t offset = 0; offset < size;) {
        const std::uint32_t length = std::min(block_length_at(offset), size - offset);
        blocks.push_back({offset, length});
        offset += length;
    }
    return blocks;
}

}  // namespace vellox
