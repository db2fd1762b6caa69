// The floor for memory-footprint: what any program pays that draws with
// Direct2D, with DirectWrite and WIC loaded. A window of the program's size, a
// Direct2D DC target bound to a bitmap (as the view draws), a DirectWrite
// factory with the system font collection, a WIC factory, and frames drawn
// (cleared, one line of text, twelve parts of a bitmap, as texts are drawn
// from their atlas): two, or as many as asked. Nothing of ours is linked in,
// so its image is as small as a program's can be. It prints its figures as
// memory-footprint's modes do.
#include <windows.h>

#include <cstdint>
#include <vector>

#include <d2d1.h>
#include <dwrite.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <iterator>

#include "host_window.h"
#include "memory_probe.h"
#include "message_pump.h"

namespace {

using Microsoft::WRL::ComPtr;
using vorlix_bench::pump_for;

int run(int client_width, int client_height, int frames) {
  constexpr DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_VISIBLE;
  const HWND window =
      vorlix_bench::host_window_for_client(L"VorlixMemoryFloor", L"floor", style, client_width, client_height);
  if (!window) return 1;
  ComPtr<ID2D1Factory> d2d;
  ComPtr<IDWriteFactory> dwrite;
  ComPtr<IDWriteFontCollection> fonts;
  ComPtr<IWICImagingFactory> wic;
  ComPtr<ID2D1DCRenderTarget> target;
  ComPtr<IDWriteTextFormat> format;
  ComPtr<ID2D1SolidColorBrush> brush;
  RECT client;
  GetClientRect(window, &client);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = client.right;
  info.bmiHeader.biHeight = -client.bottom;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  const HDC dc = CreateCompatibleDC(nullptr);
  const HBITMAP picture = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  const HGDIOBJ old = SelectObject(dc, picture);
  const D2D1_RENDER_TARGET_PROPERTIES dc_properties = D2D1::RenderTargetProperties(
      D2D1_RENDER_TARGET_TYPE_DEFAULT, D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_IGNORE), 96, 96);
  if (FAILED(D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, __uuidof(ID2D1Factory), nullptr,
                               reinterpret_cast<void**>(d2d.GetAddressOf()))) ||
      FAILED(DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                                 reinterpret_cast<IUnknown**>(dwrite.GetAddressOf()))) ||
      FAILED(dwrite->GetSystemFontCollection(&fonts, FALSE)) ||
      FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&wic))) ||
      FAILED(d2d->CreateDCRenderTarget(&dc_properties, &target)) || FAILED(target->BindDC(dc, &client)) ||
      FAILED(dwrite->CreateTextFormat(L"DejaVu Sans", fonts.Get(), DWRITE_FONT_WEIGHT_NORMAL, DWRITE_FONT_STYLE_NORMAL,
                                      DWRITE_FONT_STRETCH_NORMAL, 12, L"en-us", &format)) ||
      FAILED(target->CreateSolidColorBrush(D2D1::ColorF(0, 0, 0), &brush)))
    return 1;
  constexpr wchar_t line[] = L"Vorlix";
  ComPtr<ID2D1Bitmap> bitmap;
  std::vector<std::uint32_t> pixels(1024 * 256, 0xff336699u);
  if (FAILED(target->CreateBitmap(
          D2D1::SizeU(1024, 256), pixels.data(), 1024 * 4,
          D2D1::BitmapProperties(D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED)),
          &bitmap)))
    return 1;
  for (int frame = 0; frame < frames; ++frame) {
    target->BeginDraw();
    target->Clear(D2D1::ColorF(1, 1, 1));
    for (int i = 0; i < 12; ++i)
      target->DrawBitmap(bitmap.Get(), D2D1::RectF(10, 50 + 20.0f * i, 210, 66 + 20.0f * i), 1.0f,
                         D2D1_BITMAP_INTERPOLATION_MODE_NEAREST_NEIGHBOR,
                         D2D1::RectF(0, 16.0f * (i + frame % 4), 200, 16.0f * (i + frame % 4) + 16));
    target->DrawText(line, static_cast<UINT32>(std::size(line) - 1), format.Get(), D2D1::RectF(10, 10, 300, 40),
                     brush.Get());
    if (FAILED(target->EndDraw())) return 1;
    pump_for(frames > 2 ? 16 : 1500);
  }
  if (frames > 2) pump_for(1500);
  vorlix_bench::Figures figures;
  vorlix_bench::measure_process(figures);
  figures.print();
  target.Reset();
  SelectObject(dc, old);
  DeleteObject(picture);
  DeleteDC(dc);
  DestroyWindow(window);
  return 0;
}

}  // namespace

// memory-floor WIDTH HEIGHT [ID [FRAMES]]: the client size in pixels; the ID
// only makes the command line unique.
int main(int argc, char** argv) {
  if (argc < 3) return 2;
  SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  const int rc = run(std::atoi(argv[1]), std::atoi(argv[2]), argc > 4 ? std::atoi(argv[4]) : 2);
  CoUninitialize();
  return rc;
}
