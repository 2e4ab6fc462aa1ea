#include <gtest/gtest.h>

#include <fstream>
#include <numeric>

#include "dialogue/Report.h"
#include "firmware/ImageFile.h"

namespace vellox {
namespace {

class ImageFileTest : public ::testing::Test {
  protected:
    std::filesystem::path write_file(const std::vector<std::uint8_t>& bytes) {
        const auto path = dir_ / ("image" + std::to_string(count_++) + ".bin");
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    void SetUp() override {
        dir_ =
            std::filesystem::temp_directory_path() /
            ("vellox-image-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::filesystem::path dir_;
    int count_ = 0;
    ReportBuffer chunk_{};
};

TEST_F(ImageFileTest, SumTable) {
    EXPECT_EQ(sum_image_file(write_file({}), chunk_), 0);
    EXPECT_EQ(sum_image_file(write_file({'a', 'b', 'c'}), chunk_), 294);
    EXPECT_EQ(sum_image_file(write_file(std::vector<std::uint8_t>(8192, 0xFF)), chunk_), 57344);
    EXPECT_EQ(sum_image_file(write_file(std::vector<std::uint8_t>(65536, 0x01)), chunk_), 0);
}

TEST_F(ImageFileTest, SumCountsEveryByteOnceAcrossChunks) {
    // 8193 bytes: one full chunk and one byte; a stale chunk must not be added twice.
    std::vector<std::uint8_t> bytes(8193);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
    const unsigned expected = std::accumulate(bytes.begin(), bytes.end(), 0u) & 0xFFFF;
    EXPECT_EQ(sum_image_file(write_file(bytes), chunk_), expected);
    // The chunk buffer is the storage of OutReport: its first byte holds the last chunk.
    EXPECT_EQ(chunk_[0], bytes[8192]);
}

TEST_F(ImageFileTest, MissingFileIsAFailureNotASum) {
    EXPECT_EQ(sum_image_file(dir_ / "absent.bin", chunk_), std::nullopt);
    EXPECT_EQ(image_file_size(dir_ / "absent.bin"), std::nullopt);
    EXPECT_FALSE(ImageFile::open(dir_ / "absent.bin").has_value());
    EXPECT_EQ(sum_image_file(dir_, chunk_), std::nullopt);  // a directory reads nothing
}

TEST_F(ImageFileTest, ReadsSequentiallyToTheEnd) {
    const auto path = write_file({1, 2, 3, 4, 5});
    EXPECT_EQ(image_file_size(path), 5u);
    auto file = ImageFile::open(path);
    ASSERT_TRUE(file);
    std::uint8_t buf[3] = {};
    EXPECT_EQ(file->read(buf), 3u);
    EXPECT_EQ(buf[2], 3);
    EXPECT_EQ(file->read(buf), 2u);
    EXPECT_EQ(buf[0], 4);
    EXPECT_EQ(buf[2], 3);  // bytes past the count keep what an earlier read left
    EXPECT_EQ(file->read(buf), 0u);
}

TEST(ImageProductId, BytesTwentyFourToTwentySevenVerbatim) {
    std::vector<std::uint8_t> header(32, 0);
    header[24] = 'V';
    header[25] = '2';
    header[26] = 0x00;
    header[27] = 0xFF;
    EXPECT_EQ(image_product_id(header), std::string("V2\0\xFF", 4));
    EXPECT_EQ(image_product_id(std::span(header).first(28)), std::string("V2\0\xFF", 4));
    EXPECT_EQ(image_product_id(std::span(header).first(27)), std::nullopt);
    EXPECT_EQ(image_product_id({}), std::nullopt);
}

TEST(BlockPlan, NeverCrossesA32KiBBoundary) {
    EXPECT_EQ(block_length_at(0), 58u);
    EXPECT_EQ(block_length_at(32654), 58u);
    EXPECT_EQ(block_length_at(32712), 56u);
    EXPECT_EQ(block_length_at(32768), 58u);
    EXPECT_EQ(block_length_at(32768 + 32712), 56u);
    EXPECT_EQ(block_length_at(32767), 1u);

    EXPECT_EQ(plan_blocks(58), (std::vector<ImageBlock>{{0, 58}}));
    EXPECT_TRUE(plan_blocks(0).empty());

    const auto blocks = plan_blocks(32770);
    ASSERT_EQ(blocks.size(), 566u);  // 564 of 58, one of 56, one of 2
    EXPECT_EQ(blocks[563], (ImageBlock{32654, 58}));
    EXPECT_EQ(blocks[564], (ImageBlock{32712, 56}));
    EXPECT_EQ(blocks[565], (ImageBlock{32768, 2}));

    std::uint32_t next = 0;
    for (const auto& b : plan_blocks(200000)) {
        EXPECT_EQ(b.offset, next);
        EXPECT_EQ(b.offset / BlockBoundary, (b.offset + b.length - 1) / BlockBoundary);
        next += b.length;
    }
    EXPECT_EQ(next, 200000u);
}

}  // namespace
}  // namespace vellox
