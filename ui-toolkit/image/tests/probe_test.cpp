#include "ostrel/image/probe.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>

namespace {

using ostrel::image::probe_raster;
using ostrel::image::RasterFormat;
using namespace std::string_literals;

std::string bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}
std::string be32(std::uint32_t v) {
  return bytes({int(v >> 24 & 0xFF), int(v >> 16 & 0xFF), int(v >> 8 & 0xFF), int(v & 0xFF)});
}
std::string le32(std::uint32_t v) {
  return bytes({int(v & 0xFF), int(v >> 8 & 0xFF), int(v >> 16 & 0xFF), int(v >> 24 & 0xFF)});
}
std::string le16(std::uint32_t v) { return bytes({int(v & 0xFF), int(v >> 8 & 0xFF)}); }

std::string png(std::uint32_t w, std::uint32_t h, std::string chunk = "IHDR") {
  return "\x89PNG\r\n\x1A\n"s + be32(13) + chunk + be32(w) + be32(h) + bytes({8, 6, 0, 0, 0}) + be32(0);
}
std::string bmp_info(std::uint32_t w, std::uint32_t h, std::uint32_t header = 40) {
  return "BM"s + le32(70) + le32(0) + le32(54) + le32(header) + le32(w) + le32(h) + le16(1) + le16(32);
}
// SOI, a JFIF APP0 segment, then a baseline frame header of the given size.
std::string jpeg(std::uint32_t w, std::uint32_t h, int sof = 0xC0) {
  return bytes({0xFF, 0xD8, 0xFF, 0xE0, 0, 16}) + "JFIF\0"s + bytes({1, 1, 0, 0, 1, 0, 1, 0, 0}) +
         bytes({0xFF, sof, 0, 11, 8, int(h >> 8), int(h & 0xFF), int(w >> 8), int(w & 0xFF), 1, 1, 0x11, 0});
}

void expect_size(const std::string& data, RasterFormat format, std::uint32_t w, std::uint32_t h) {
  const auto info = probe_raster(data);
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(info->format, format);
  EXPECT_EQ(info->width, w);
  EXPECT_EQ(info->height, h);
}

TEST(ProbePng, ReadsIhdrAndRejectsDamagedHeaders) {
  expect_size(png(1, 1), RasterFormat::Png, 1, 1);
  expect_size(png(287, 93), RasterFormat::Png, 287, 93);
  expect_size(png(0x7FFFFFFF, 2), RasterFormat::Png, 0x7FFFFFFF, 2);
  EXPECT_FALSE(probe_raster(png(0, 5)));
  EXPECT_FALSE(probe_raster(png(5, 0)));
  EXPECT_FALSE(probe_raster(png(0x80000000u, 5)));  // above the format's limit
  EXPECT_FALSE(probe_raster(png(5, 5, "IDAT")));    // IHDR must come first
  std::string wrong_length = png(5, 5);
  wrong_length[11] = 12;
  EXPECT_FALSE(probe_raster(wrong_length));
}

TEST(ProbeAll, EveryTruncatedHeaderIsRejected) {
  // Minimum lengths at which each header is complete.
  const std::pair<std::string, std::size_t> files[] = {
      {png(3, 4), 24}, {bmp_info(3, 4), 26}, {"GIF89a"s + le16(3) + le16(4) + bytes({0, 0, 0}), 10}, {jpeg(3, 4), 0}};
  for (const auto& [file, needed] : files) {
    ASSERT_TRUE(probe_raster(file).has_value());
    // A JPEG needs its whole frame header segment.
    const std::size_t limit = needed ? needed : file.size();
    for (std::size_t n = 0; n < limit; ++n) EXPECT_FALSE(probe_raster(file.substr(0, n))) << n;
    EXPECT_TRUE(probe_raster(file.substr(0, limit)).has_value());
  }
}

TEST(ProbeBmp, SignedHeightsAndOldHeaders) {
  expect_size(bmp_info(640, 480), RasterFormat::Bmp, 640, 480);
  expect_size(bmp_info(640, static_cast<std::uint32_t>(-480)), RasterFormat::Bmp, 640, 480);  // top-down
  expect_size(bmp_info(1, 0x80000000u), RasterFormat::Bmp, 1, 0x80000000u);                   // INT32_MIN stays defined
  expect_size(bmp_info(7, 9, 124), RasterFormat::Bmp, 7, 9);                                  // V5 header
  EXPECT_FALSE(probe_raster(bmp_info(static_cast<std::uint32_t>(-640), 480)));
  EXPECT_FALSE(probe_raster(bmp_info(640, 0)));
  EXPECT_FALSE(probe_raster(bmp_info(640, 480, 41)));  // no such header

  const std::string core =
      "BM"s + le32(32) + le32(0) + le32(26) + le32(12) + le16(300) + le16(200) + le16(1) + le16(24);
  expect_size(core, RasterFormat::Bmp, 300, 200);
  EXPECT_FALSE(probe_raster(core.substr(0, 21)));
}

TEST(ProbeGif, BothVersionsLittleEndian) {
  expect_size("GIF87a"s + le16(0x0102) + le16(3), RasterFormat::Gif, 0x0102, 3);
  expect_size("GIF89a"s + le16(16) + le16(0xFFFF), RasterFormat::Gif, 16, 0xFFFF);
  EXPECT_FALSE(probe_raster("GIF88a"s + le16(16) + le16(16)));
  EXPECT_FALSE(probe_raster("GIF89a"s + le16(16) + le16(0)));
}

TEST(ProbeJpeg, WalksSegmentsToTheFrameHeader) {
  expect_size(jpeg(1920, 1080), RasterFormat::Jpeg, 1920, 1080);
  expect_size(jpeg(3, 5, 0xC2), RasterFormat::Jpeg, 3, 5);  // progressive
  expect_size(jpeg(3, 5, 0xCF), RasterFormat::Jpeg, 3, 5);

  // Fill bytes before a marker, a restart marker and a table whose bytes look
  // like a frame header must all be stepped over.
  const std::string table = bytes({0xFF, 0xC4, 0, 9, 0xFF, 0xC0, 0, 11, 8, 0, 1});
  const std::string body = jpeg(40, 30).substr(2);
  expect_size(bytes({0xFF, 0xD8, 0xFF, 0xFF, 0xFF}) + table.substr(1) + bytes({0xFF, 0xD3}) + body, RasterFormat::Jpeg,
              40, 30);
  // DHT, JPG and DAC share the C0-CF range but carry no size.
  for (int marker : {0xC4, 0xC8, 0xCC}) EXPECT_FALSE(probe_raster(jpeg(4, 4, marker))) << marker;
}

TEST(ProbeJpeg, RejectsBrokenSegmentChains) {
  EXPECT_FALSE(probe_raster(jpeg(4, 0)));  // height defined later by DNL: unknown here
  EXPECT_FALSE(probe_raster(jpeg(0, 4)));
  EXPECT_FALSE(probe_raster(bytes({0xFF, 0xD8, 0xFF, 0xE0, 0, 1}) + jpeg(4, 4).substr(2)));  // length below 2
  EXPECT_FALSE(probe_raster(bytes({0xFF, 0xD8, 0xFF, 0xE1, 0xFF, 0xF0, 0, 0})));             // past the end
  EXPECT_FALSE(probe_raster(bytes({0xFF, 0xD8, 0xFF, 0xDA, 0, 2}) + jpeg(4, 4).substr(2)));  // scan first
  EXPECT_FALSE(probe_raster(bytes({0xFF, 0xD8, 0x00, 0xFF}) + jpeg(4, 4).substr(2)));        // garbage
  EXPECT_FALSE(probe_raster(bytes({0xFF, 0xD8, 0xFF, 0xC0, 0, 6, 8, 0, 4, 0, 4})));          // frame too short
  EXPECT_FALSE(probe_raster(bytes({0xFF, 0xD8, 0xFF, 0xFF, 0xFF})));                         // only fill
}

TEST(ProbeAll, UnknownFormats) {
  for (const std::string& s : {""s, "B"s, "BMP"s, "RIFF\x10\0\0\0WEBPVP8 "s, "\x89PNG"s, "<svg/>"s, "\xFF"s}) {
    EXPECT_FALSE(probe_raster(s)) << s;
  }
}

}  // namespace
