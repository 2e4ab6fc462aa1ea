#pragma once
// How long a worker may run before the station cuts it short. A download ends by itself when
// the device stops answering, but a worker stuck outside the dialogue (a hung driver, a stopped
// process) would hold its bench slot for ever. The bound is what the slowest device that still
// answers within every time-out could take: the query, an erase that reports each percent at
// the end of its time-out, every block echoed at the end of its own, the drain, verify and
// finish, and half a minute for the worker to start and open its device.

#include <chrono>
#include <cstdint>

#include "dialogue/DeviceDialogue.h"
#include "dialogue/Report.h"
#include "firmware/FirmwareDownload.h"

namespace vellox::cli {

inline std::chrono::seconds worker_deadline(std::uint64_t image_size) {
    const auto size = static_cast<std::uint32_t>(std::max<std::uint64_t>(image_size, 1));
    const std::int64_t blocks = (size + BlockDataLength - 1) / BlockDataLength;
    const std::int64_t ticks = QueryDelayTicks + MinReplyTicks + 100 * EraseTicks +
                               blocks * WriteTicks + DrainTicks + verify_ticks(size) +
                               finish_ticks(size) + InfoTicks;
    // Ticks of 10 ms, rounded up to whole seconds.
    return std::chrono::seconds(30 + (ticks + 99) / 100);
}

}  // namespace vellox::cli
