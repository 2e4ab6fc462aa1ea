#include "dialogue/Report.h"

#include <cassert>

namespace vellox {

std::uint8_t report_checksum(std::span<const std::uint8_t> report) {
    assert(report.size() >= ByteChecksum);
    unsigned sum = 0;
    for (std::size_t i = 1; i < ByteChecksum; ++i) sum += report[i];
    return static_cast<std::uint8_t>(sum);
}

void put_address24(std::span<std::uint8_t> report, std::uint32_t value) {
    report[ByteAddress] = static_cast<std::uint8_t>(value >> 16);
    report[ByteAddress + 1] = static_cast<std::uint8_t>(value >> 8);
    report[ByteAddress + 2] = static_cast<std::uint8_t>(value);
}

std::string_view status_message(int code) {
    switch (code) {
        case 1:
            return " no connected";
        case 2:
            return "HID out Data error";
        case 3:
            return "Time out  error";
        case 4:
            return "No Data respond";
        case 5:
            return "Chip ID error";
        case 6:
            return "Verify error";
        case 7:
            return "DEBUG LOCKED";
        case 8:
            return "Write SN error";
        case 9:
            return "Write RFSN error";
        case 10:
            return "Write  error __";
        default:
            return code <= 0 ? std::string_view{} : std::string_view{"other error"};
    }
}

std::string hex_bytes(std::span<const std::uint8_t> bytes) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (std::uint8_t b : bytes) {
        text.push_back(digits[b >> 4]);
        text.push_back(digits[b & 0x0F]);
    }
    return text;
}

}  // namespace vellox
