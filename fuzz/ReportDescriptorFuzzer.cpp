// The report-descriptor parser on any bytes: it reads only inside the descriptor (the
// sanitizers see to that, as the input is a heap block of exactly its size), reads items
// whole, and counts no more collections than the descriptor could hold.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "hid/HidReportDescriptor.h"

namespace {

[[noreturn]] void fail(const char* what, unsigned value) {
    std::fprintf(stderr, "descriptor fuzz invariant broken: %s (%u)\n", what, value);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> descriptor(data, size);
    const auto parsed = parse_hid_report_descriptor(descriptor);
    if (!parsed) return 0;
    const HidCaps& caps = parsed->Caps;

    // Each main item is at least one byte: no descriptor holds more collections than bytes.
    if (caps.NumberLinkCollectionNodes > size) fail("collections", caps.NumberLinkCollectionNodes);
    // Numbered reports need a Report ID item (at least two bytes).
    if (parsed->NumberedReports && size < 2) fail("numbered reports without a report ID", 0);

    // Items are read whole: a main item without data appended changes no length, and one
    // whose announced data never comes is refused rather than read past the end.
    std::vector<std::uint8_t> longer(descriptor.begin(), descriptor.end());
    longer.push_back(0x00);
    const auto again = parse_hid_report_descriptor(longer);
    if (!again || again->Caps.InputReportByteLength != caps.InputReportByteLength ||
        again->Caps.OutputReportByteLength != caps.OutputReportByteLength ||
        again->Caps.FeatureReportByteLength != caps.FeatureReportByteLength) {
        fail("an empty main item changed the lengths", 0);
    }
    std::vector<std::uint8_t> truncated(descriptor.begin(), descriptor.end());
    truncated.push_back(0x03);  // a Main item announcing four data bytes that never come
    if (parse_hid_report_descriptor(truncated)) fail("truncated item accepted", 0);
    return 0;
}
