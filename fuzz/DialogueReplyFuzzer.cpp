// Input reports of any length and content, arriving during the information query and during
// every phase of a download, through the real controller, dialogue and download engines on
// the test host's virtual ticks.
//
// The device behind the link is the emulated firmware, but the fuzz input decides, for each
// output report, what actually comes back: the firmware's replies as they are, altered,
// delayed, dropped, or reports made up from the input; it may also refuse the write or pull
// the plug. A faithful device is what an exhausted input gives, so every run ends.
//
// Checked: no crash or undefined behaviour (the sanitizers); the download ends within a tick
// budget that the replies themselves account for; at its end Busy is clear and the gauge is
// hidden; the status code is one the dialogue defines.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "DownloadRig.h"
#include "dialogue/Report.h"
#include "firmware/FirmwareDownload.h"
#include "sim/EmulatedFirmware.h"
#include "sim/SampleImage.h"

namespace {

using vellox::testkit::DialogueRig;
using vellox::testkit::FakeDownloadHost;

[[noreturn]] void fail(const char* what, long value) {
    std::fprintf(stderr, "dialogue fuzz invariant broken: %s (%ld)\n", what, value);
    std::abort();
}

// Collects what the firmware would send, so that the fuzz input can decide what is sent.
struct CapturingSink : sim::InputSink {
    void send_input(std::span<const std::uint8_t> data, sim::Clock::time_point due) override {
        sent.push_back({{data.begin(), data.end()}, due});
    }
    void unplug() override { unplug_asked = true; }
    struct Item {
        std::vector<std::uint8_t> data;
        sim::Clock::time_point due;
    };
    std::vector<Item> sent;
    bool unplug_asked = false;
};

class FuzzedDevice : public sim::DeviceModel {
  public:
    explicit FuzzedDevice(FuzzedDataProvider& input) : input_(input), firmware_(settings()) {}

    bool on_output_report(std::span<const std::uint8_t> data, sim::Clock::time_point now,
                          sim::InputSink& link) override {
        CapturingSink captured;
        const bool taken = firmware_.on_output_report(data, now, captured);
        const std::uint8_t command = data.empty() ? 0 : data[0];

        switch (input_.ConsumeIntegralInRange<int>(0, 7)) {
            case 0:  // as the firmware answers
            default:
                for (auto& item : captured.sent) emit(link, item.data, item.due);
                break;
            case 1:  // answered late
            {
                const int ticks = input_.ConsumeIntegralInRange<int>(1, 120);
                for (auto& item : captured.sent) {
                    emit(link, item.data, item.due + std::chrono::milliseconds(10 * ticks));
                    delay_ticks += ticks;
                }
                break;
            }
            case 2:  // one byte of each reply altered, the checksum mended or not
                for (auto& item : captured.sent) {
                    if (!item.data.empty()) {
                        const auto at =
                            input_.ConsumeIntegralInRange<std::size_t>(0, item.data.size() - 1);
                        item.data[at] ^= input_.ConsumeIntegralInRange<std::uint8_t>(1, 255);
                        if (input_.ConsumeBool()) mend_checksum(item.data);
                    }
                    emit(link, item.data, item.due);
                }
                break;
            case 3:  // no reply at all
                break;
            case 4:  // reports made up from the input, of any length
            {
                const int count = input_.ConsumeIntegralInRange<int>(1, 4);
                for (int i = 0; i < count; ++i) {
                    const bool full = input_.ConsumeBool();
                    std::size_t length =
                        full ? 64 : input_.ConsumeIntegralInRange<std::size_t>(0, 300);
                    std::vector<std::uint8_t> report = input_.ConsumeBytes<std::uint8_t>(length);
                    report.resize(length);
                    if (full && input_.ConsumeBool()) {
                        report[0] = input_.ConsumeBool() ? command : vellox::CMD_ERASE;
                        mend_checksum(report);
                    }
                    const int ticks = input_.ConsumeIntegralInRange<int>(0, 20);
                    delay_ticks += ticks;
                    emit(link, report, now + std::chrono::milliseconds(10 * ticks));
                }
                break;
            }
            case 5:  // the firmware's replies, each sent twice
                for (auto& item : captured.sent) {
                    emit(link, item.data, item.due);
                    emit(link, item.data, item.due);
                }
                break;
            case 6:  // the host's write fails
                return false;
            case 7:  // the cable is pulled after this report
                link.unplug();
                break;
        }
        if (captured.unplug_asked) link.unplug();
        return taken;
    }

    // Ticks the engines may spend beyond their own time-outs because of what this device did.
    long delay_ticks = 0;
    long replies = 0;

  private:
    // Room for the longest image, and little more: the flash is made anew for every input.
    static sim::EmulatedDeviceSettings settings() {
        sim::EmulatedDeviceSettings s;
        s.capacity = 1024;
        return s;
    }
    static void mend_checksum(std::vector<std::uint8_t>& report) {
        if (report.size() < 64) return;
        report[63] = sim::EmulatedFirmware::checksum(report);
    }
    void emit(sim::InputSink& link, const std::vector<std::uint8_t>& data,
              sim::Clock::time_point due) {
        ++replies;
        link.send_input(data, due);
    }

    FuzzedDataProvider& input_;
    sim::EmulatedFirmware firmware_;
};

struct Images {
    std::filesystem::path dir;
    std::vector<std::filesystem::path> files;
};

// A few image sizes: one byte, one block, a block and a byte, a handful of blocks, and more
// blocks than the echo window holds. Larger images only add more of the same write passes.
const Images& images() {
    static const Images made = [] {
        Images result;
        result.dir =
            std::filesystem::temp_directory_path() / ("vellox-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(result.dir);
        for (std::size_t size : {std::size_t{1}, std::size_t{58}, std::size_t{59}, std::size_t{700},
                                 std::size_t{300 * 58}}) {
            auto bytes = sim::make_sample_image(size);
            bytes.resize(size);
            const auto path = result.dir / ("image-" + std::to_string(size) + ".bin");
            std::ofstream(path, std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()),
                       static_cast<std::streamsize>(bytes.size()));
            result.files.push_back(path);
        }
        std::atexit([] { std::filesystem::remove_all(images().dir); });
        return result;
    }();
    return made;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const auto& files = images().files;
    const auto& image = files[input.ConsumeIntegralInRange<std::size_t>(0, files.size() - 1)];

    DialogueRig rig;
    auto device = std::make_shared<FuzzedDevice>(input);
    rig.plug({}, device);
    rig.dialogue->FormActivate();
    // The automatic query, and whatever comes back to it.
    rig.run_ticks(vellox::QueryDelayTicks + 20);
    rig.settle();

    FakeDownloadHost host;
    host.file = image;
    vellox::FirmwareDownload download(*rig.dialogue, host);

    const long start = rig.ticks;
    const auto image_size = static_cast<std::uint32_t>(std::filesystem::file_size(image));
    // The engines' own waits (each block may wait its full time-out once before the download
    // ends), then every reply may re-arm a time-out and every delay add its ticks.
    auto budget = [&] {
        return vellox::EraseTicks + vellox::WriteTicks + vellox::DrainTicks +
               vellox::verify_ticks(image_size) + vellox::finish_ticks(image_size) +
               vellox::InfoTicks + 100 * device->replies + device->delay_ticks + 100;
    };
    rig.host.pump = [&] {
        rig.pump();
        if (rig.ticks - start > budget())
            fail("download runs past its tick budget", rig.ticks - start);
    };

    download.WRITE_24AAClick();

    if (download.Busy) fail("Busy still set after the download", 1);
    if (host.gauge_visible) fail("gauge still shown after the download", 1);
    const auto status = static_cast<std::int32_t>(rig.dialogue->StatusCode);
    if (status < 0 || status > 10) fail("status code the dialogue does not define", status);
    return 0;
}
