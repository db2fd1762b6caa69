#include "win32/screen.h"

#include <wincodec.h>
#include <wrl/client.h>

#include <filesystem>

namespace vx::testing {

using Microsoft::WRL::ComPtr;

Capture capture(HWND window) {
  Capture out;
  RECT rc{};
  GetClientRect(window, &rc);
  out.width = rc.right;
  out.height = rc.bottom;
  if (out.width <= 0 || out.height <= 0) return out;
  // From the screen, not the window's own DC: under Wine a window of another
  // process reads back black through its DC.
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  // A mirrored (right-to-left) window's client origin is its right edge.
  if (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) origin.x -= out.width;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, out.width, out.height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, out.width, out.height, screen, origin.x, origin.y, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = out.width;
  info.bmiHeader.biHeight = -out.height;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  out.pixels.resize(static_cast<std::size_t>(out.width) * out.height);
  GetDIBits(memory, bitmap, 0, out.height, out.pixels.data(), &info, DIB_RGB_COLORS);
  for (std::uint32_t& p : out.pixels) p &= 0xFFFFFF;
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return out;
}

bool save_artifact(const Capture& picture, const std::wstring& name) {
  std::error_code ignored;
  std::filesystem::create_directories(VORLIX_ARTIFACTS, ignored);
  const std::wstring path = std::filesystem::path(VORLIX_ARTIFACTS).append(name).wstring();
  // COM for this call, whatever the calling thread has set up.
  struct Com {
    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ~Com() {
      if (SUCCEEDED(hr)) CoUninitialize();
    }
  } com;
  ComPtr<IWICImagingFactory> wic;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&wic))))
    return false;
  ComPtr<IWICStream> stream;
  ComPtr<IWICBitmapEncoder> encoder;
  ComPtr<IWICBitmapFrameEncode> frame;
  if (FAILED(wic->CreateStream(&stream)) || FAILED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE)) ||
      FAILED(wic->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) ||
      FAILED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) ||
      FAILED(encoder->CreateNewFrame(&frame, nullptr)) || FAILED(frame->Initialize(nullptr)))
    return false;
  frame->SetSize(picture.width, picture.height);
  WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGR;
  frame->SetPixelFormat(&format);
  const UINT stride = static_cast<UINT>(picture.width) * 4;
  return SUCCEEDED(frame->WritePixels(picture.height, stride, stride * picture.height,
                                      reinterpret_cast<BYTE*>(const_cast<std::uint32_t*>(picture.pixels.data())))) &&
         SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
}

}  // namespace vx::testing
