#pragma once
// A made-up firmware image for the demo and the benchmark: deterministic bytes, with the
// product identifier where the host looks for it (bytes 24 to 27).

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace sim {

inline constexpr std::size_t sample_image_size = 100 * 1024;

// `size` bytes (at least 28 are always made, so the identifier fits); `product_id` is cut or
// padded with blanks to four characters.
std::vector<std::uint8_t> make_sample_image(std::size_t size = sample_image_size,
                                            std::string_view product_id = "V201");

}  // namespace sim
