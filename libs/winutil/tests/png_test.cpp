// The PNG writer, read back by libpng: an independent decoder that checks every
// chunk's CRC and the zlib stream's Adler-32.
#include "winutil/png.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#ifdef VX_HAVE_LIBPNG
#include <png.h>
#endif

namespace {

using vx::winutil::encode_png_rgba;

TEST(PngWriter, ChecksumsMatchTheirReferenceValues) {
  EXPECT_EQ(vx::winutil::crc32("123456789"), 0xCBF43926u);
  EXPECT_EQ(vx::winutil::adler32("Wikipedia"), 0x11E60398u);
  // All 0xFF bytes make the Adler sums grow fastest: a missed reduction shows.
  EXPECT_EQ(vx::winutil::adler32(std::string(1'000'000, '\xFF')), 0x3843E1BEu);
}

#ifdef VX_HAVE_LIBPNG
TEST(PngWriter, LibpngReadsBackEveryPixel) {
  // 64×255 fills exactly one stored block of 65,535 bytes; 200×100 needs two;
  // 256×256 is the largest icon; 1×20000 has many short rows.
  const std::pair<std::uint32_t, std::uint32_t> sizes[] = {{1, 1},     {48, 48},   {64, 255},
                                                           {200, 100}, {256, 256}, {1, 20000}};
  std::mt19937 random(1);
  for (const auto& [width, height] : sizes) {
    SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
    std::vector<std::uint8_t> pixels(std::size_t{width} * height * 4);
    for (auto& b : pixels) b = static_cast<std::uint8_t>(random());
    const std::string png = encode_png_rgba(width, height, pixels);
    ASSERT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1A\n", 8));
    EXPECT_EQ(png.substr(37, 6), std::string("IDAT\x78\x01")) << "one IDAT right after IHDR, zlib header 78 01";

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&image, png.data(), png.size())) << image.message;
    EXPECT_EQ(image.width, width);
    EXPECT_EQ(image.height, height);
    EXPECT_EQ(image.format, static_cast<png_uint_32>(PNG_FORMAT_RGBA)) << "8-bit colour with alpha";
    std::vector<std::uint8_t> decoded(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, decoded.data(), 0, nullptr)) << image.message;
    EXPECT_TRUE(decoded == pixels);
  }
}
#endif

TEST(PngWriter, RefusesPicturesItCannotDescribe) {
  const std::vector<std::uint8_t> four(4 * 4 * 4, 0x80);
  EXPECT_EQ(encode_png_rgba(0, 4, four), "");
  EXPECT_EQ(encode_png_rgba(4, 4, std::span(four).first(four.size() - 1)), "") << "one byte short";
  EXPECT_EQ(encode_png_rgba(4, 3, four), "") << "bytes left over";
  // Sizes whose byte counts would wrap 64-bit arithmetic or pass the chunk limit.
  EXPECT_EQ(encode_png_rgba(0x7FFFFFFF, 0x7FFFFFFF, four), "");
  EXPECT_EQ(encode_png_rgba(0x40000000, 4, four), "");
}

}  // namespace
