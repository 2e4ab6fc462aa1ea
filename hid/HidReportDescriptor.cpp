#include "hid/HidReportDescriptor.h"

#include <algorithm>
#include <map>
#include <vector>

namespace {

enum ItemType : std::uint8_t { kMain = 0, kGlobal = 1, kLocal = 2 };

// Main item tags.
constexpr std::uint8_t kInput = 0x8;
constexpr std::uint8_t kOutput = 0x9;
constexpr std::uint8_t kCollection = 0xA;
constexpr std::uint8_t kFeature = 0xB;
constexpr std::uint8_t kEndCollection = 0xC;
// Global item tags.
constexpr std::uint8_t kUsagePage = 0x0;
constexpr std::uint8_t kReportSize = 0x7;
constexpr std::uint8_t kReportId = 0x8;
constexpr std::uint8_t kReportCount = 0x9;
constexpr std::uint8_t kPush = 0xA;
constexpr std::uint8_t kPop = 0xB;
// Local item tags.
constexpr std::uint8_t kUsage = 0x0;

// A stack deeper than any real descriptor needs; it bounds what a hostile one can allocate.
constexpr std::size_t kMaxPushDepth = 64;

struct Globals {
    std::uint32_t usage_page = 0;
    std::uint32_t report_size = 0;
    std::uint32_t report_count = 0;
    std::uint32_t report_id = 0;
};

using BitsById = std::map<std::uint32_t, std::uint64_t>;

// Bytes of the longest report, plus the report-ID byte; 0 when there is no such report.
bool longest(const BitsById& bits, std::uint16_t& length) {
    std::uint64_t bytes = 0;
    for (const auto& [id, count] : bits) bytes = std::max(bytes, (count + 7) / 8);
    if (bits.empty()) {
        length = 0;
        return true;
    }
    if (bytes + 1 > 0xFFFF) return false;
    length = static_cast<std::uint16_t>(bytes + 1);
    return true;
}

}  // namespace

std::optional<HidPreparsedData> parse_hid_report_descriptor(
    std::span<const std::uint8_t> descriptor) {
    HidPreparsedData result;
    Globals globals;
    std::vector<Globals> stack;
    BitsById input, output, feature;
    std::uint32_t usage = 0;
    bool have_usage = false;
    bool top_level_seen = false;
    int depth = 0;
    std::uint32_t collections = 0;

    std::size_t pos = 0;
    while (pos < descriptor.size()) {
        const std::uint8_t prefix = descriptor[pos];
        if (prefix == 0xFE) {
            // Long item: size byte, tag byte, data. None is defined; skip it whole.
            if (descriptor.size() - pos < 3) return std::nullopt;
            const std::size_t size = descriptor[pos + 1];
            if (descriptor.size() - pos - 3 < size) return std::nullopt;
            pos += 3 + size;
            continue;
        }
        const std::size_t size = (prefix & 0x3) == 3 ? 4 : (prefix & 0x3);
        const auto type = static_cast<std::uint8_t>((prefix >> 2) & 0x3);
        const auto tag = static_cast<std::uint8_t>(prefix >> 4);
        if (descriptor.size() - pos - 1 < size) return std::nullopt;
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < size; ++i) {
            value |= static_cast<std::uint32_t>(descriptor[pos + 1 + i]) << (8 * i);
        }
        pos += 1 + size;

        if (type == kMain) {
            switch (tag) {
                case kInput:
                case kOutput:
                case kFeature: {
                    BitsById& bits = tag == kInput ? input : tag == kOutput ? output : feature;
                    const std::uint64_t add =
                        static_cast<std::uint64_t>(globals.report_size) * globals.report_count;
                    std::uint64_t& total = bits[globals.report_id];
                    total += add;
                    // Far beyond any 16-bit length: stop before the sum can overflow.
                    if (total > 8ull * 0x10000) return std::nullopt;
                    break;
                }
                case kCollection:
                    if (depth == 0 && !top_level_seen) {
                        top_level_seen = true;
                        result.Caps.UsagePage = static_cast<std::uint16_t>(
                            have_usage && usage > 0xFFFF ? usage >> 16 : globals.usage_page);
                        result.Caps.Usage = static_cast<std::uint16_t>(usage & 0xFFFF);
                    }
                    ++depth;
                    ++collections;
                    break;
                case kEndCollection:
                    if (depth == 0) return std::nullopt;
                    --depth;
                    break;
                default:
                    break;
            }
            // Local items apply to the next main item only.
            usage = 0;
            have_usage = false;
        } else if (type == kGlobal) {
            switch (tag) {
                case kUsagePage:
                    globals.usage_page = value;
                    break;
                case kReportSize:
                    globals.report_size = value;
                    break;
                case kReportCount:
                    globals.report_count = value;
                    break;
                case kReportId:
                    if (value == 0 || value > 0xFF) return std::nullopt;
                    globals.report_id = value;
                    result.NumberedReports = true;
                    break;
                case kPush:
                    if (stack.size() >= kMaxPushDepth) return std::nullopt;
                    stack.push_back(globals);
                    break;
                case kPop:
                    if (stack.empty()) return std::nullopt;
                    globals = stack.back();
                    stack.pop_back();
                    break;
                default:
                    break;
            }
        } else if (type == kLocal && tag == kUsage && !have_usage) {
            usage = value;
            have_usage = true;
        }
    }
    if (depth != 0) return std::nullopt;

    if (!longest(input, result.Caps.InputReportByteLength) ||
        !longest(output, result.Caps.OutputReportByteLength) ||
        !longest(feature, result.Caps.FeatureReportByteLength)) {
        return std::nullopt;
    }
    result.Caps.NumberLinkCollectionNodes =
        static_cast<std::uint16_t>(std::min<std::uint32_t>(collections, 0xFFFF));
    return result;
}
