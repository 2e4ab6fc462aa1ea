#pragma once
// SHA-256 of a byte stream, for naming the exact image a device received in the station's log.

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace vellox::cli {

class Sha256 {
  public:
    Sha256();
    void update(std::span<const std::uint8_t> bytes);
    // The digest as 64 lower-case hexadecimal digits; the object is spent afterwards.
    std::string hex_digest();

  private:
    void compress(const std::uint8_t* block);

    std::array<std::uint32_t, 8> state_;
    std::array<std::uint8_t, 64> buffer_{};
    std::size_t buffered_ = 0;
    std::uint64_t length_ = 0;
};

}  // namespace vellox::cli
