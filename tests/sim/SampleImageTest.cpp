#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "sim/SampleImage.h"

namespace sim {
namespace {

TEST(SampleImage, CarriesTheProductIdentifierAndIsTheSameEveryTime) {
    const auto image = make_sample_image();
    EXPECT_EQ(image.size(), 100u * 1024u);
    EXPECT_LT(image.size(), 128u * 1024u);  // fits the emulated device
    EXPECT_EQ(std::string(image.begin() + 24, image.begin() + 28), "V201");
    EXPECT_EQ(image, make_sample_image());
    // Blocks must differ, or a block written to the wrong address would go unnoticed.
    EXPECT_FALSE(std::equal(image.begin() + 100, image.begin() + 158, image.begin() + 158));
}

TEST(SampleImage, OtherSizesAndIdentifiers) {
    const auto tiny = make_sample_image(3, "E2");
    EXPECT_EQ(tiny.size(), 28u);
    EXPECT_EQ(std::string(tiny.begin() + 24, tiny.end()), "E2  ");
    const auto big = make_sample_image(128 * 1024);
    EXPECT_EQ(big.size(), 128u * 1024u);
    EXPECT_EQ(std::string(big.begin() + 24, big.begin() + 28), "V201");
}

}  // namespace
}  // namespace sim
