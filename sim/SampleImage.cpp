#include "sim/SampleImage.h"

#include <algorithm>
#include <string_view>

namespace sim {

std::vector<std::uint8_t> make_sample_image(std::size_t size, std::string_view product_id) {
    std::vector<std::uint8_t> image(std::max<std::size_t>(size, 28));
    // A header a little like a real one: a name, then the size, then the identifier.
    constexpr std::string_view name = "Vellox demo fw 1";
    std::copy(name.begin(), name.end(), image.begin());
    for (std::size_t i = 0; i < 4; ++i) {
        image[16 + i] = static_cast<std::uint8_t>(image.size() >> (8 * i));
    }
    for (std::size_t i = 0; i < 4; ++i) {
        image[24 + i] = i < product_id.size() ? static_cast<std::uint8_t>(product_id[i]) : ' ';
    }
    // The body: xorshift bytes, so every block differs and a misplaced block shows.
    std::uint32_t state = 0x2016FFFFu;
    for (std::size_t i = 28; i < image.size(); ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        image[i] = static_cast<std::uint8_t>(state >> 24);
    }
    return image;
}

}  // namespace sim
