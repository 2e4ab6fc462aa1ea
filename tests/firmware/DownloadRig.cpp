#include "DownloadRig.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace vellox::testkit {

std::vector<std::uint8_t> make_image(std::size_t size, const std::string& product) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>((i * 31 + i / 251) ^ 0x5C);
    for (std::size_t i = 0; i < product.size() && 24 + i < size; ++i) {
        bytes[24 + i] = static_cast<std::uint8_t>(product[i]);
    }
    return bytes;
}

DownloadRig::DownloadRig(sim::EmulatedDeviceSettings settings)
    : dialogue(*rig.dialogue),
      firmware(std::make_shared<sim::EmulatedFirmware>(settings)),
      download_engine(dialogue, host) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir = std::filesystem::temp_directory_path() /
          ("vellox-dl-" + std::to_string(::getpid()) + "-" + std::string(info->test_suite_name()) +
           "-" + info->name());
    std::filesystem::create_directories(dir);

    device = rig.plug({}, firmware);
    dialogue.FormActivate();
    // The automatic query 80 ticks after the device change, and its reply.
    rig.run_ticks(QueryDelayTicks);
    rig.settle();
}

DownloadRig::~DownloadRig() { std::filesystem::remove_all(dir); }

std::filesystem::path DownloadRig::pick(const std::vector<std::uint8_t>& bytes) {
    const auto path = dir / "image.bin";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    host.file = path;
    return path;
}

std::vector<std::vector<std::uint8_t>> DownloadRig::writes_of(std::uint8_t command) const {
    std::vector<std::vector<std::uint8_t>> found;
    for (const auto& w : device->writes) {
        if (w.size() > 1 && w[1] == command) found.push_back(w);
    }
    return found;
}

}  // namespace vellox::testkit
