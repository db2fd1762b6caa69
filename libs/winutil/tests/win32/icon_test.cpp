// Icon images from a real executable through the shell, from made-up icons of
// exact sizes, and for keys that must not reach the shell. PNGs are read back
// with WIC, a decoder independent of ours.
#include "winutil/win32/icon.h"

#include <windows.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/win32/text.h"
#include "test_files.h"
#include "winutil/icon.h"

namespace {

using vx::winutil::fallback_icon_png;
using vx::winutil::win32::icon_to_png;
using vx::winutil::win32::render_icon_image;

// The pages render icons on apartment-threaded COM threads.
class IconRendering : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
  void TearDown() override { CoUninitialize(); }
};

struct Picture {
  UINT width = 0, height = 0;
  std::vector<std::uint8_t> rgba;
  const std::uint8_t* at(UINT x, UINT y) const { return &rgba[(std::size_t{y} * width + x) * 4]; }
};

Picture decode(const std::optional<std::string>& png) {
  using Microsoft::WRL::ComPtr;
  ComPtr<IWICImagingFactory> wic;
  ComPtr<IWICStream> stream;
  ComPtr<IWICBitmapDecoder> decoder;
  ComPtr<IWICBitmapFrameDecode> frame;
  ComPtr<IWICFormatConverter> converter;
  Picture out;
  if (!png || FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&wic))) ||
      FAILED(wic->CreateStream(&stream)) ||
      FAILED(stream->InitializeFromMemory(reinterpret_cast<BYTE*>(const_cast<char*>(png->data())),
                                          static_cast<DWORD>(png->size()))) ||
      FAILED(wic->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand, &decoder)) ||
      FAILED(decoder->GetFrame(0, &frame)) || FAILED(wic->CreateFormatConverter(&converter)) ||
      FAILED(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppRGBA, WICBitmapDitherTypeNone, nullptr, 0,
                                   WICBitmapPaletteTypeCustom)))
    return out;
  converter->GetSize(&out.width, &out.height);
  out.rgba.resize(std::size_t{out.width} * out.height * 4);
  if (FAILED(converter->CopyPixels(nullptr, out.width * 4, static_cast<UINT>(out.rgba.size()), out.rgba.data())))
    out = {};
  return out;
}

TEST_F(IconRendering, ExecutableIconBecomesAPngOfItsSize) {
  const std::string fixture = vx::win32::narrow(vx::winutil::testing::beside_test(L"winutil_fixture.exe"));
  const std::optional<std::string> png = render_icon_image("exe1:" + fixture + ",0");
  ASSERT_NE(png.value_or(""), fallback_icon_png(1));
  const Picture picture = decode(png);
  EXPECT_EQ(picture.width, static_cast<UINT>(GetSystemMetrics(SM_CXICON)));
  EXPECT_EQ(picture.height, static_cast<UINT>(GetSystemMetrics(SM_CYICON)));
  ASSERT_FALSE(picture.rgba.empty());
  // Our icon is a rounded shape: its corners are see-through, its middle is not.
  EXPECT_EQ(picture.at(0, 0)[3], 0);
  EXPECT_EQ(picture.at(picture.width / 2, picture.height / 2)[3], 255);
  EXPECT_EQ(render_icon_image("exe1:\"" + fixture + "\""), png) << "quoted path, same icon";
}

TEST_F(IconRendering, UnreadableSourcesGiveTheClassPicture) {
  EXPECT_EQ(render_icon_image("exe0:C:\\Vorlix.Tests\\없는 파일.exe,2"), std::string(fallback_icon_png(0)));
  EXPECT_EQ(render_icon_image("exe3:"), std::string(fallback_icon_png(3)));
  // Longer than the shell's fixed path buffer, which it writes back into.
  EXPECT_EQ(render_icon_image("exe1:C:\\" + std::string(400, 'a') + ".exe"), std::string(fallback_icon_png(1)));
  // A NUL would make the shell read a different, existing path.
  EXPECT_EQ(render_icon_image(std::string("exe2:C:\\windows\\notepad.exe\0x", 29)), std::string(fallback_icon_png(2)));
  EXPECT_FALSE(render_icon_image("exe7:C:\\windows\\notepad.exe"));
  EXPECT_FALSE(render_icon_image("exeX:C:\\windows\\notepad.exe"));
}

// An icon whose pixel (x, y) has colour (x, y, 0x40) and alpha `alpha`, and
// whose mask hides the right half.
struct MadeIcon {
  HICON handle = nullptr;
  MadeIcon(int width, int height, std::uint8_t alpha) {
    BITMAPV5HEADER header{};
    header.bV5Size = sizeof header;
    header.bV5Width = width;
    header.bV5Height = -height;
    header.bV5Planes = 1;
    header.bV5BitCount = 32;
    void* bits = nullptr;
    HBITMAP colour =
        CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits, nullptr, 0);
    for (int i = 0; colour && i < width * height; ++i) {
      const std::uint8_t bgra[] = {0x40, static_cast<std::uint8_t>(i / width), static_cast<std::uint8_t>(i % width),
                                   alpha};
      std::memcpy(static_cast<std::uint8_t*>(bits) + i * 4, bgra, 4);
    }
    const int stride = (width + 15) / 16 * 2;  // monochrome rows are padded to 16 bits
    std::vector<std::uint8_t> mask_bits(static_cast<std::size_t>(stride) * height, 0);
    for (int y = 0; y < height; ++y)
      for (int x = width / 2; x < width; ++x) mask_bits[y * stride + x / 8] |= 0x80 >> (x % 8);
    HBITMAP mask = CreateBitmap(width, height, 1, 1, mask_bits.data());
    ICONINFO info{TRUE, 0, 0, mask, colour};
    if (colour && mask) handle = CreateIconIndirect(&info);
    DeleteObject(colour);
    DeleteObject(mask);
  }
  ~MadeIcon() { DestroyIcon(handle); }
};

TEST_F(IconRendering, ColourBitsBecomeRgbaWithAlphaOrMask) {
  const MadeIcon with_alpha(48, 48, 0xC0), without_alpha(32, 20, 0);
  const Picture picture = decode(icon_to_png(with_alpha.handle));
  ASSERT_EQ(picture.width, 48u);
  ASSERT_EQ(picture.height, 48u);
  for (const auto& [x, y] : {std::pair{0u, 0u}, {47u, 1u}, {5u, 40u}}) {
    const std::uint8_t* p = picture.at(x, y);
    EXPECT_EQ(std::vector<int>(p, p + 4), (std::vector<int>{int(x), int(y), 0x40, 0xC0})) << x << "," << y;
  }
  const Picture masked = decode(icon_to_png(without_alpha.handle));
  ASSERT_EQ(masked.width, 32u);
  ASSERT_EQ(masked.height, 20u);
  EXPECT_EQ(masked.at(15, 19)[3], 255);
  EXPECT_EQ(masked.at(16, 0)[3], 0);
}

TEST_F(IconRendering, OnlyColourIconsUpTo256PixelsConvert) {
  const MadeIcon too_wide(300, 16, 0xFF);
  ASSERT_TRUE(too_wide.handle);
  EXPECT_FALSE(icon_to_png(too_wide.handle));
  EXPECT_FALSE(icon_to_png(nullptr));
  const std::vector<std::uint8_t> and_bits(32 * 4, 0x00), xor_bits(32 * 4, 0xFF);
  const HICON monochrome = CreateIcon(nullptr, 32, 32, 1, 1, and_bits.data(), xor_bits.data());
  EXPECT_FALSE(icon_to_png(monochrome)) << "no colour bitmap";
  DestroyIcon(monochrome);
}

}  // namespace
