// Downloads in a row through vellox-cli in-process, the reading threads and the virtual
// backend, each against an emulated device with one of its faults switched on (drawn from
// the device's own fault list, so a fault added there is drawn too), at a random block, or
// with no fault at all. Every outcome is checked against its fault; afterwards the process
// holds no more threads, descriptors or memory than after the first download.
//
// VELLOX_SOAK_COUNT: downloads (default 100). VELLOX_SOAK_SEED: the seed (printed).
// It runs on a virtual clock; VELLOX_SOAK_CLOCK=real runs it on the steady clock, as a user's
// --simulate does.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <string>

#include "CliRun.h"
#include "sim/EmulatedDeviceSettings.h"
#include "sim/SampleImage.h"

namespace {

struct Outcome {
    int code;  // exit code; 0 also means the flash holds the image
    std::string message;
    bool operator==(const Outcome&) const = default;
};
// What a fault may lead to: one outcome, or two where the end depends on which thread of
// the program sees the device go first.
using Outcomes = std::vector<Outcome>;

const Outcome Ok{0, "Download OK!"};
const Outcome TimeOut{13, "Time out  error"};
const Outcome VerifyError{16, "Verify error"};
const Outcome WriteError{20, "Write  error __"};
const Outcome OutDataError{12, "HID out Data error"};
const Outcome NotConnected{11, " no connected"};
const Outcome DeviceBusy{22, "Another program is flashing the device; nothing was written."};

// Blocks the download keeps awaiting their echo with the virtual backend's 63-report queue: a
// device that stops echoing fills them only when that many blocks are still to come.
constexpr std::uint32_t EchoWindow = 31;

// What each fault leads to, for a download of `blocks` blocks with the fault's count `n`.
Outcomes expected_outcomes(std::string_view fault, std::uint32_t n, std::uint32_t blocks) {
    if (fault.empty()) return {Ok};
    if (fault == "silence") return {TimeOut};  // the information query gets no reply
    if (fault == "no-erase-replies") return {Ok};
    if (fault == "corrupt-echo") return {n < blocks ? VerifyError : Ok};
    if (fault == "echo-stop") {
        if (n >= blocks) return {Ok};
        return {blocks >= n + EchoWindow ? WriteError : TimeOut};  // else the drain times out
    }
    if (fault == "wrong-verify-sum") return {VerifyError};
    if (fault == "no-verify-reply") return {TimeOut};
    if (fault == "no-finish-reply") return {TimeOut};
    if (fault == "noise") return {Ok};
    if (fault == "refuse-writes") return {OutDataError};
    if (fault == "query-only") return {OutDataError};
    if (fault == "locked-elsewhere") return {DeviceBusy};
    if (fault == "unplug-after") {
        if (n == 0) return {OutDataError};  // the first block's write already fails
        if (n < blocks) return {NotConnected};
        // Gone right after the last block: its echo is read before the reading thread sees
        // the device gone, and verify finds no device, or it is lost with the device and the
        // drain times out.
        if (n == blocks) return {NotConnected, TimeOut};
        return {Ok};
    }
    return {};
}

struct ProcessFigures {
    long threads = 0;
    long rss_kib = 0;
    long fds = 0;
};

ProcessFigures process_figures() {
    ProcessFigures f;
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("Threads:")) f.threads = std::stol(line.substr(8));
        if (line.starts_with("VmRSS:")) f.rss_kib = std::stol(line.substr(6));
    }
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
        ++f.fds;
    }
    --f.fds;  // the directory iterator's own descriptor
    return f;
}

std::ostream& operator<<(std::ostream& out, const ProcessFigures& f) {
    return out << f.threads << " threads, " << f.fds << " descriptors, " << f.rss_kib
               << " KiB resident";
}

unsigned long env_number(const char* name, unsigned long fallback) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return fallback;
    return std::stoul(text);
}

TEST(FaultSoak, EveryDownloadEndsAsItsFaultSaysAndNothingPilesUp) {
    const unsigned long count = env_number("VELLOX_SOAK_COUNT", 100);
    const unsigned long seed = env_number("VELLOX_SOAK_SEED", 2016);
    const char* clock_text = std::getenv("VELLOX_SOAK_CLOCK");
    const std::string clock = clock_text != nullptr && *clock_text != '\0' ? clock_text : "virtual";
    std::cout << "fault soak: " << count << " downloads, seed " << seed
              << " (VELLOX_SOAK_SEED to repeat), clock " << clock << std::endl;
    std::mt19937_64 random(seed);
    auto draw = [&random](std::uint32_t low, std::uint32_t high) {
        return std::uniform_int_distribution<std::uint32_t>(low, high)(random);
    };

    const auto catalogue = sim::fault_catalogue();
    for (const auto& fault : catalogue) {
        ASSERT_FALSE(expected_outcomes(fault.name, 0, 1).empty())
            << "the soak has no expected outcome for fault '" << fault.name << "'";
    }

    TempDir dir;
    const std::string image_path = (dir / "image.bin").string();
    const std::string dump_path = (dir / "flash.bin").string();
    std::map<std::string, std::map<std::string, int>> tally;
    ProcessFigures first;
    int failures = 0;
    unsigned long done = 0;
    const auto start = std::chrono::steady_clock::now();

    for (unsigned long i = 0; i < count && failures < 10; ++i, ++done) {
        // Mostly a few blocks; now and then more than the ring of echoes holds.
        const std::uint32_t blocks = draw(0, 7) == 0 ? draw(256, 256 + 40) : draw(1, 40);
        const std::size_t size = std::max<std::size_t>(28, blocks * 58 - draw(0, 57));
        // About a third without a fault; the rest spread over every fault the device has.
        std::string fault;
        std::uint32_t n = 0;
        std::string settings = "--simulate=erase-pace=0,clock=" + clock;
        if (draw(0, 2) != 0) {
            const auto& info = catalogue[draw(0, static_cast<std::uint32_t>(catalogue.size() - 1))];
            fault = info.name;
            settings += ",fault=" + fault;
            if (info.takes_count) {
                n = draw(0, blocks + 1);
                settings += ":" + std::to_string(n);
            }
        }
        const Outcomes want = expected_outcomes(fault, n, blocks);
        SCOPED_TRACE("download " + std::to_string(i) + " of seed " + std::to_string(seed) + ": " +
                     settings + ", " + std::to_string(size) + " bytes");

        const auto image = sim::make_sample_image(size);
        write_file(image_path, image);
        auto download = [&] {
            std::filesystem::remove(dump_path);
            return run_cli({settings, "--simulate-dump=" + dump_path, "download", image_path});
        };
        auto outcome_of = [](const CliResult& r) {
            const auto& lines = r.code == 0 ? r.out_lines() : r.err_lines();
            return Outcome{r.code, lines.empty() ? "" : lines.back()};
        };
        auto expected = [&want](const Outcome& got) {
            return std::find(want.begin(), want.end(), got) != want.end();
        };
        const CliResult r = download();
        const Outcome got = outcome_of(r);
        bool good = expected(got);
        EXPECT_TRUE(good) << "ended with " << got.code << " \"" << got.message << "\", expected "
                          << want.front().code << " \"" << want.front().message << "\""
                          << (want.size() > 1 ? " or another" : "") << "\n"
                          << r.err;
        if (good && got.code == 0) {
            const auto flash = read_file(dump_path);
            const bool holds = flash.size() >= image.size() &&
                               std::equal(image.begin(), image.end(), flash.begin()) &&
                               std::all_of(flash.begin() + static_cast<std::ptrdiff_t>(size),
                                           flash.end(), [](std::uint8_t b) { return b == 0xFF; });
            EXPECT_TRUE(holds) << "the flash does not hold the image";
            good = holds;
        }
        if (!good) ++failures;
        ++tally[fault.empty() ? "(none)" : fault][got.message];
        if (i == 0) first = process_figures();
    }

    const ProcessFigures last = process_figures();
    const auto seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::cout << "fault soak: " << done << " downloads in " << seconds << " s\n";
    for (const auto& [fault, outcomes] : tally) {
        for (const auto& [message, times] : outcomes) {
            std::cout << "  " << fault << " -> \"" << message << "\": " << times << "\n";
        }
    }
    std::cout << "  after the first download: " << first << "\n  after the last:  " << last
              << std::endl;
    EXPECT_LE(last.threads, first.threads);
    EXPECT_LE(last.fds, first.fds);
    // The margin lets the allocator's caches move; a session, record or buffer left behind
    // by every download, some KiB each, passes it within a thousand downloads. Under
    // AddressSanitizer freed memory sits in quarantine, and its leak check does this job;
    // ThreadSanitizer's shadow memory grows with what it has seen.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    EXPECT_LE(last.rss_kib, first.rss_kib + 8 * 1024);
#endif
}

}  // namespace
