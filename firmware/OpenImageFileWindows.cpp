#include "firmware/OpenImageFile.h"

namespace vellox {

std::FILE* open_image_file(const std::filesystem::path& path) {
    return ::_wfopen(path.c_str(), L"rb");
}

}  // namespace vellox
