#pragma once
// The 65-byte command and reply reports of the device dialogue: byte 0 report ID, byte 1
// command, bytes 2..4 a big-endian 24-bit address, byte 5 length, bytes 6..63 data, byte 64
// the checksum of bytes 1..63.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vellox {

inline constexpr std::size_t ReportLength = 65;     // report ID + 64 data bytes
inline constexpr std::size_t ReplyDataLength = 64;  // data bytes of a reply that is judged
inline constexpr std::size_t BlockDataLength = 58;  // bytes 6..63
// OutReport doubles as the 8192-byte read buffer of the image sum, hence the capacity.
inline constexpr std::size_t ReportBufferCapacity = 8193;

using ReportBuffer = std::array<std::uint8_t, ReportBufferCapacity>;

inline constexpr std::uint8_t CMD_INFO = 0x00;
inline constexpr std::uint8_t CMD_VERIFY = 0x04;
inline constexpr std::uint8_t CMD_FINISH = 0x06;
inline constexpr std::uint8_t CMD_WRITE = 0x0C;
inline constexpr std::uint8_t CMD_ERASE = 0x10;

// Byte positions inside a report.
inline constexpr std::size_t ByteCommand = 1;
inline constexpr std::size_t ByteAddress = 2;
inline constexpr std::size_t ByteLength = 5;
inline constexpr std::size_t ByteData = 6;
inline constexpr std::size_t ByteChecksum = 64;

// Sum of bytes 1..63 of a report modulo 256. `report` must hold at least 64 bytes.
std::uint8_t report_checksum(std::span<const std::uint8_t> report);

// Writes the low 24 bits of `value` into bytes 2..4, high byte first.
void put_address24(std::span<std::uint8_t> report, std::uint32_t value);

// The dialogue's status codes. Ok is no failure; the numbers are the device protocol's and
// show through the command line's exit codes.
enum class DialogueStatus : std::int32_t {
    Ok = 0,
    NotConnected = 1,  // no device selected, or it went away
    WriteRefused = 2,  // the write of a report failed
    TimedOut = 3,      // no reply within the time-out
    NoData = 4,
    ChipIdError = 5,
    VerifyFailed = 6,  // an echo or the verify sum differed from the image
    DebugLocked = 7,
    WriteSnError = 8,
    WriteRfsnError = 9,
    EchoesMissing = 10,  // blocks went unanswered until no room was left for the next
};

// Message of a status; empty for Ok and negative codes, which are no failures.
std::string_view status_message(DialogueStatus status);

// Bytes as two upper-case hexadecimal digits each, no separators.
std::string hex_bytes(std::span<const std::uint8_t> bytes);

}  // namespace vellox
