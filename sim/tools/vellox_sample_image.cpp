// vellox-sample-image: writes the demo's firmware image, which matches the emulated device.
//   vellox-sample-image OUTPUT [SIZE [PRODUCT]]

#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string_view>

#include "sim/SampleImage.h"

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4 || std::strcmp(argv[1], "--help") == 0) {
        std::fprintf(stderr, "usage: %s OUTPUT [SIZE [PRODUCT]]\n", argv[0]);
        return 2;
    }
    std::size_t size = sim::sample_image_size;
    if (argc >= 3) {
        std::string_view text = argv[2];
        auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), size);
        if (ec != std::errc{} || end != text.data() + text.size() || size > (64u << 20)) {
            std::fprintf(stderr, "%s: bad size '%s'\n", argv[0], argv[2]);
            return 2;
        }
    }
    const std::string_view product = argc >= 4 ? argv[3] : "V201";
    const auto image = sim::make_sample_image(size, product);
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()),
              static_cast<std::streamsize>(image.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "%s: cannot write '%s'\n", argv[0], argv[1]);
        return 1;
    }
    return 0;
}
