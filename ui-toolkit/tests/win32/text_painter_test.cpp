// Text rasterised on the CPU for the player's cache lands where Direct2D
// draws the same glyph runs, with about the same ink, Hangul fallback included.
#include "win32/text_painter.h"

#include <windows.h>

#include <d2d1.h>
#include <gtest/gtest.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <algorithm>

namespace {

using Microsoft::WRL::ComPtr;
using ostrel::paint::Item;
using ostrel::paint::ItemKind;

struct Ink {
  int left = 1 << 20, top = 1 << 20, right = -1, bottom = -1, count = 0;
};

// Draws into a white 240 x 40 picture and reports where it is dark.
template <class Draw>
Ink ink_of(Draw draw) {
  ComPtr<IWICImagingFactory> wic;
  ComPtr<ID2D1Factory> d2d;
  EXPECT_HRESULT_SUCCEEDED(
      CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&wic)));
  EXPECT_HRESULT_SUCCEEDED(D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, d2d.GetAddressOf()));
  ComPtr<IWICBitmap> bitmap;
  ComPtr<ID2D1RenderTarget> target;
  EXPECT_HRESULT_SUCCEEDED(wic->CreateBitmap(240, 40, GUID_WICPixelFormat32bppPBGRA, WICBitmapCacheOnLoad, &bitmap));
  EXPECT_HRESULT_SUCCEEDED(d2d->CreateWicBitmapRenderTarget(
      bitmap.Get(),
      D2D1::RenderTargetProperties(D2D1_RENDER_TARGET_TYPE_DEFAULT,
                                   D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED)),
      &target));
  target->BeginDraw();
  target->Clear(D2D1::ColorF(1, 1, 1, 1));
  draw(*target.Get());
  EXPECT_HRESULT_SUCCEEDED(target->EndDraw());
  Ink ink;
  const WICRect whole{0, 0, 240, 40};
  ComPtr<IWICBitmapLock> lock;
  UINT size = 0, stride = 0;
  BYTE* data = nullptr;
  EXPECT_HRESULT_SUCCEEDED(bitmap->Lock(&whole, WICBitmapLockRead, &lock));
  lock->GetStride(&stride);
  lock->GetDataPointer(&size, &data);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 240; ++x)
      if (data[y * stride + x * 4 + 1] < 128) {
        ink.left = std::min(ink.left, x), ink.right = std::max(ink.right, x);
        ink.top = std::min(ink.top, y), ink.bottom = std::max(ink.bottom, y);
        ++ink.count;
      }
  return ink;
}

TEST(TextPainter, RasterisedTextMatchesWhatDirect2DDraws) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const std::unique_ptr<ostrel::text::win32::FontSystem> fonts = ostrel::text::win32::FontSystem::create();
  ASSERT_NE(fonts, nullptr);
  ostrel::win32::GlyphTextPainter painter(*fonts);
  Item text;
  text.kind = ItemKind::text;
  text.text = "Beta Viewer 응용 프로그램";
  text.font_family = "Segoe UI,sans-serif";
  text.font_size = 12;
  text.bounds = {10.25f, 6, 200, 16};
  text.baseline = 20;
  text.color = {0, 0, 0, 255};

  const Ink direct = ink_of([&](ID2D1RenderTarget& target) {
    ComPtr<ID2D1SolidColorBrush> brush;
    target.CreateSolidColorBrush(D2D1::ColorF(0, 0, 0, 1), &brush);
    painter.draw_text(target, text, 1, *brush.Get());
  });
  ostrel::paint::win32::TextPainter::Picture picture;
  ASSERT_TRUE(painter.rasterize(text, 1, 1, 0.25f, 0, picture));
  ASSERT_GT(picture.width, 0);
  const Ink cpu = ink_of([&](ID2D1RenderTarget& target) {
    ComPtr<ID2D1Bitmap> bitmap;
    ASSERT_HRESULT_SUCCEEDED(target.CreateBitmap(
        D2D1::SizeU(picture.width, picture.height), picture.pixels.data(), picture.width * 4,
        D2D1::BitmapProperties(D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED)), &bitmap));
    // The baseline origin (10.25, 20) is a quarter pixel past the whole pixel (10, 20).
    const float x = 10.0f + picture.left, y = 20.0f + picture.top;
    target.DrawBitmap(bitmap.Get(), D2D1::RectF(x, y, x + picture.width, y + picture.height));
  });
  ASSERT_GT(direct.count, 50) << "Direct2D drew the text";
  EXPECT_NEAR(cpu.left, direct.left, 1);
  EXPECT_NEAR(cpu.right, direct.right, 1);
  EXPECT_NEAR(cpu.top, direct.top, 1);
  EXPECT_NEAR(cpu.bottom, direct.bottom, 1);
  EXPECT_NEAR(cpu.count, direct.count, direct.count / 4) << "about the same ink";

  text.underline = true;
  EXPECT_FALSE(painter.rasterize(text, 1, 1, 0, 0, picture)) << "underlined text is left to Direct2D";
}

}  // namespace
