#include "firmware/OpenImageFile.h"

namespace vellox {

std::FILE* open_image_file(const std::filesystem::path& path) {
    return std::fopen(path.c_str(), "rb");
}

}  // namespace vellox
