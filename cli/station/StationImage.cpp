#include "cli/station/StationImage.h"

#include <filesystem>

#include "cli/station/Sha256.h"
#include "firmware/ImageFile.h"

namespace vellox::cli {

std::optional<ImageFacts> check_image(const std::string& given, std::vector<std::uint8_t>& bytes,
                                      std::string& error) {
    // Names are UTF-8 on every system: Windows' narrow form would lose other scripts.
    const std::filesystem::path file = path_from_utf8(given);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) {
        error = "no such image file '" + given + "'";
        return std::nullopt;
    }
    ImageFacts facts;
    const std::u8string absolute =
        std::filesystem::absolute(file, ec).lexically_normal().u8string();
    facts.path = ec ? given : std::string(absolute.begin(), absolute.end());
    const auto size = image_file_size(file);
    if (size && *size >= ImageSizeLimit) {
        error = "image file '" + given + "' is larger than any device's flash";
        return std::nullopt;
    }
    auto opened = ImageFile::open(file);
    bytes.assign(size.value_or(0), 0);
    const auto got = opened ? opened->read(bytes) : std::nullopt;
    if (!size || !got || *got != *size) {
        error = "cannot read image file '" + given + "'";
        return std::nullopt;
    }
    const auto product = image_product_id(bytes);
    if (!product) {
        error = "image file '" + given + "' is too short to hold a product identifier";
        return std::nullopt;
    }
    Sha256 sha;
    sha.update(bytes);
    facts.size = *size;
    facts.product_id = *product;
    facts.sha256 = sha.hex_digest();
    return facts;
}

}  // namespace vellox::cli
