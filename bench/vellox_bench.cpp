// vellox-bench: complete downloads through FirmwareDownload and DeviceDialogue, the device
// records and their reading threads, and the virtual backend against the emulated firmware.
// Prints one table; the figures are measured, never asserted.
//
//   vellox-bench [--quick]

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchHost.h"
#include "dialogue/DeviceDialogue.h"
#include "firmware/FirmwareDownload.h"
#include "hid/PumpedHidDispatcher.h"
#include "hid/THidDevice.h"
#include "hid/THidDeviceController.h"
#include "hid/THidDeviceReadThread.h"
#include "sim/EmulatedFirmware.h"
#include "sim/VirtualHidPlatform.h"

namespace vellox::bench {
namespace {

using namespace std::chrono_literals;

struct Case {
    const char* name;
    std::chrono::nanoseconds interval;
    std::uint32_t image_size;
};

struct Result {
    bool ok = false;
    std::string outcome;
    std::uint64_t blocks = 0;
    double write_seconds = 0;
    double write_cpu_seconds = 0;
    int erase_repaints = 0;
    int write_repaints = 0;
    std::uint64_t kernel_drops = 0;  // reports the handle's 63-report queue dropped
    std::uint64_t reader_drops = 0;  // reports the reader's backlog dropped
    bool flash_matches = false;
};

std::vector<std::uint8_t> make_image(std::uint32_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::uint32_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>((i * 31 + i / 251) ^ 0x5C);
    const char product[] = "V201";
    for (int i = 0; i < 4; ++i) bytes[24 + i] = static_cast<std::uint8_t>(product[i]);
    return bytes;
}

std::uint64_t blocks_of(std::uint32_t size) {
    // 58-byte blocks that never cross a 32 KiB boundary.
    std::uint64_t blocks = 0;
    for (std::uint32_t offset = 0; offset < size; ++blocks) {
        std::uint32_t length = 58;
        if (offset % 32768 + length > 32768) length = 32768 - offset % 32768;
        offset += std::min(length, size - offset);
    }
    return blocks;
}

const BenchHost::Phase* find_phase(const BenchHost& host, std::string_view text) {
    for (const auto& phase : host.phases())
        if (phase.text == text) return &phase;
    return nullptr;
}

Result run(const Case& c) {
    sim::EmulatedDeviceSettings settings;
    settings.capacity = std::max<std::uint32_t>(c.image_size, 128 * 1024);
    settings.interval = c.interval;
    settings.erase_pace = 1ms;  // the erase is not what is measured
    auto firmware = std::make_shared<sim::EmulatedFirmware>(settings);

    sim::VirtualHidPlatform platform;
    auto device = platform.plug({}, firmware);
    PumpedHidDispatcher dispatcher;
    THidDeviceController controller(platform, dispatcher);
    BenchHost host(dispatcher);
    DeviceDialogue dialogue(host, controller);
    FirmwareDownload download(dialogue, host);
    host.set_tick_handler([&] {
        dialogue.Timer1Timer();
        dialogue.Timer2Timer();
    });

    const auto image = make_image(c.image_size);
    const auto path = std::filesystem::temp_directory_path() /
                      ("vellox-bench-" + std::to_string(::getpid()) + ".bin");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));
    host.set_file(path);

    Result r;
    dialogue.FormActivate();
    dialogue.VerifyClick();  // rather than 80 ticks of waiting for the automatic query
    const auto give_up = BenchHost::Clock::now() + 10s;
    while (dialogue.FlashSize == 0 && dialogue.StatusCode == DialogueStatus::Ok &&
           BenchHost::Clock::now() < give_up)
        host.pump_messages();
    if (dialogue.FlashSize == 0) {
        r.outcome = "no information reply";
        std::filesystem::remove(path);
        return r;
    }

    download.WRITE_24AAClick();
    std::filesystem::remove(path);

    r.outcome = host.status();
    r.ok = host.status() == "Download OK!" && host.errors().empty();
    r.blocks = blocks_of(c.image_size);
    const auto* erase = find_phase(host, "Erase......");
    const auto* writing = find_phase(host, "Writing......");
    const auto* verify = find_phase(host, "Verify......");
    if (writing != nullptr && verify != nullptr) {
        r.write_seconds = std::chrono::duration<double>(verify->start - writing->start).count();
        r.write_cpu_seconds = static_cast<double>(verify->cpu_ns - writing->cpu_ns) * 1e-9;
    }
    if (erase != nullptr) r.erase_repaints = erase->repaints;
    if (writing != nullptr) r.write_repaints = writing->repaints;
    r.kernel_drops = device->dropped_reports();
    if (THidDevice* selected = dialogue.SelectedDevice;
        selected != nullptr && selected->ReadThread() != nullptr) {
        r.reader_drops = selected->ReadThread()->DroppedReports();
    }
    const auto flash = firmware->flash();
    r.flash_matches = std::equal(image.begin(), image.end(), flash.begin());
    return r;
}

const char* mark(bool met) { return met ? "yes" : "NO"; }

}  // namespace
}  // namespace vellox::bench

int main(int argc, char** argv) {
    using namespace vellox::bench;
    using namespace std::chrono_literals;
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const std::uint32_t scale = quick ? 4 : 1;

    struct Row {
        Case c;
        int runs;
    };
    const Row rows[] = {
        {{"no link delay", 0ns, 4u * 1024 * 1024 / scale}, 5},
        {{"1 ms interval", 1ms, 128u * 1024 / scale}, 1},
        {{"125 us interval", 125us, 1024u * 1024 / scale}, 1},
    };

    std::printf("%-16s %7s %5s %9s %10s %10s %8s %9s %6s %s\n", "link", "blocks", "runs",
                "lossless", "blocks/s", "CPU us/blk", "of link", "repaints", "drops", "target met");
    bool all = true;
    for (const Row& row : rows) {
        const Case& c = row.c;
        int lossless_runs = 0, worst_erase = 0, worst_write = 0;
        std::uint64_t drops = 0;
        double best_seconds = 0, best_cpu = 0;
        std::string failure;
        for (int i = 0; i < row.runs; ++i) {
            const Result r = run(c);
            const bool lossless =
                r.ok && r.flash_matches && r.kernel_drops == 0 && r.reader_drops == 0;
            drops += r.kernel_drops + r.reader_drops;
            if (!lossless) {
                if (failure.empty()) failure = r.outcome;
                continue;
            }
            ++lossless_runs;
            worst_erase = std::max(worst_erase, r.erase_repaints);
            worst_write = std::max(worst_write, r.write_repaints);
            if (best_seconds == 0 || r.write_seconds < best_seconds) {
                best_seconds = r.write_seconds;
                best_cpu = r.write_cpu_seconds;
            }
        }
        const std::uint64_t blocks = blocks_of(c.image_size);
        const double rate = best_seconds > 0 ? static_cast<double>(blocks) / best_seconds : 0;
        const double cpu_us = best_cpu * 1e6 / static_cast<double>(blocks);
        std::string link_share = "-";
        bool met;
        if (c.interval.count() == 0) {
            met = rate >= 20000;
        } else {
            const double floor_s =
                std::chrono::duration<double>(c.interval).count() * static_cast<double>(blocks);
            const double share = best_seconds > 0 ? floor_s / best_seconds : 0;
            char text[16];
            std::snprintf(text, sizeof text, "%.3f", share);
            link_share = text;
            met = share >= 0.98;
        }
        met = met && lossless_runs == row.runs && worst_erase <= 101 && worst_write <= 101;
        all = all && met;
        char lossless_text[32], repaints[32];
        std::snprintf(lossless_text, sizeof lossless_text, "%d/%d", lossless_runs, row.runs);
        std::snprintf(repaints, sizeof repaints, "%d/%d", worst_erase, worst_write);
        std::printf("%-16s %7llu %5d %9s %10.0f %10.2f %8s %9s %6llu %s%s%s\n", c.name,
                    static_cast<unsigned long long>(blocks), row.runs, lossless_text, rate, cpu_us,
                    link_share.c_str(), repaints, static_cast<unsigned long long>(drops), mark(met),
                    failure.empty() ? "" : "  (a lossy run ended: ",
                    failure.empty() ? "" : (failure + ")").c_str());
    }
    std::printf(
        "\nblocks/s, CPU and 'of link' (floor of one block per interval / write-phase time) are\n"
        "from the fastest lossless run; CPU counts every thread of the process (host, reading\n"
        "thread, emulated device). repaints: erase/writing phase, the most of any run. drops:\n"
        "reports lost by a full 63-report handle queue or the reader's 4096-report backlog.\n"
        "Targets: >= 20000 blocks/s without link delay; >= 0.98 of the link's rate at 1 ms and\n"
        "125 us; <= 101 gauge repaints per phase; no report dropped in any run.\n");
    return all ? 0 : 1;
}
