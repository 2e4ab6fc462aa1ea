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

std::string_view status_message(DialogueStatus status) {
    using enum DialogueStatus;
    switch (status) {
        case Ok:
            return {};
        case NotConnected:
            return " no connected";
        case WriteRefused:
            return "HID out Data error";
        case TimedOut:
            return "Time out  error";
        case NoData:
            return "No Data respond";
        case ChipIdError:
            return "Chip ID error";
        case VerifyFailed:
            return "Verify error";
        case DebugLocked:
            return "DEBUG LOCKED";
        case WriteSnError:
            return "Write SN error";
        case WriteRfsnError:
            return "Write RFSN error";
        case EchoesMissing:
            return "Write  error __";
    }
    return static_cast<std::int32_t>(status) < 0 ? std::string_view{} : "other error";
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
