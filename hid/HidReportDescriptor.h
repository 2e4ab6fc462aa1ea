#pragma once
// Our own HID report descriptor parser: enough of it to give the report lengths the way the
// Windows HID capabilities count them (the longest report of each kind across all report IDs,
// plus one byte for the report ID), and whether the device uses numbered reports.

#include <cstdint>
#include <optional>
#include <span>

#include "hid/HidTypes.h"

// Empty when the descriptor is malformed: a truncated item, Pop without Push, an End
// Collection without a Collection, an unclosed collection, report ID 0, or a report too
// long for 16 bits. An empty descriptor gives all-zero lengths.
std::optional<HidPreparsedData> parse_hid_report_descriptor(
    std::span<const std::uint8_t> descriptor);
