#include "cli/station/StationImage.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "cli/station/Sha256.h"
#include "firmware/ImageFile.h"

namespace vellox::cli {

std::optional<ImageFacts> check_image(const std::string& given, std::vector<std::uint8_t>& bytes,
                                      std::string& error) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(given, ec)) {
        error = "no such image file '" + given + "'";
        return std::nullopt;
    }
    ImageFacts facts;
    facts.path = std::filesystem::absolute(given, ec).lexically_normal().string();
    if (ec) facts.path = given;
    const auto size = image_file_size(given);
    if (size && *size >= ImageSizeLimit) {
        error = "image file '" + given + "' is larger than any device's flash";
        return std::nullopt;
    }
    auto file = ImageFile::open(given);
    bytes.assign(size.value_or(0), 0);
    const auto got = file ? file->read(bytes) : std::nullopt;
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

std::optional<ImageSnapshot> ImageSnapshot::write(std::span<const std::uint8_t> bytes,
                                                  std::string& error) {
    UniqueFd fd(::memfd_create("vellox-station-image", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (!fd.valid()) {
        error = std::string("cannot make a copy of the image: ") + std::strerror(errno);
        return std::nullopt;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = std::string("cannot write a copy of the image: ") + std::strerror(errno);
            return std::nullopt;
        }
        done += static_cast<std::size_t>(n);
    }
    constexpr int seals = F_SEAL_SEAL | F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE;
    if (::fcntl(fd.get(), F_ADD_SEALS, seals) != 0) {
        error = std::string("cannot seal the copy of the image: ") + std::strerror(errno);
        return std::nullopt;
    }
    return ImageSnapshot(std::move(fd));
}

}  // namespace vellox::cli
