// The Direct2D player drawing into a WIC bitmap under Wine, checked pixel by
// pixel. Wine's Direct2D does not antialias, so edges are tested at whole
// device pixels and samples keep away from curves.
#include "paint/win32/d2d_player.h"

#include <windows.h>

#include <d2d1.h>
#include <dwrite.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "common/win32/text.h"
#include "dom/dom.h"
#include "ostrel/ostrel.h"

namespace {

using Microsoft::WRL::ComPtr;
using namespace ostrel;
using namespace ostrel::paint;
using namespace ostrel::paint::win32;
using Fit = style::ObjectFit;

struct Rgb {
  int r, g, b;
  friend bool operator==(const Rgb&, const Rgb&) = default;
  friend std::ostream& operator<<(std::ostream& os, const Rgb& c) {
    return os << "rgb(" << c.r << ", " << c.g << ", " << c.b << ")";
  }
};
constexpr Rgb white{255, 255, 255}, red{255, 0, 0}, green{0, 255, 0}, blue{0, 0, 255}, black{0, 0, 0},
    yellow{255, 255, 0};

style::Color css(Rgb c, int a = 255) {
  return {static_cast<std::uint8_t>(c.r), static_cast<std::uint8_t>(c.g), static_cast<std::uint8_t>(c.b),
          static_cast<std::uint8_t>(a)};
}

// A WIC bitmap with a Direct2D target on it.
class Canvas {
 public:
  Canvas(IWICImagingFactory& wic, ID2D1Factory& d2d, UINT width, UINT height) : width_(width), height_(height) {
    EXPECT_HRESULT_SUCCEEDED(
        wic.CreateBitmap(width, height, GUID_WICPixelFormat32bppPBGRA, WICBitmapCacheOnLoad, &bitmap_));
    const auto props = D2D1::RenderTargetProperties(
        D2D1_RENDER_TARGET_TYPE_DEFAULT, D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED));
    EXPECT_HRESULT_SUCCEEDED(d2d.CreateWicBitmapRenderTarget(bitmap_.Get(), props, &target_));
  }
  ID2D1RenderTarget* target() const { return target_.Get(); }
  IWICBitmap* bitmap() const { return bitmap_.Get(); }

  Rgb at(int x, int y) const {
    const WICRect r{x, y, 1, 1};
    ComPtr<IWICBitmapLock> lock;
    UINT size = 0;
    BYTE* data = nullptr;
    if (FAILED(bitmap_->Lock(&r, WICBitmapLockRead, &lock)) || FAILED(lock->GetDataPointer(&size, &data)) || size < 4)
      return {-1, -1, -1};
    return {data[2], data[1], data[0]};
  }
  // The colours along a row, each run once.
  std::vector<Rgb> runs(int y) const {
    std::vector<Rgb> out;
    for (int x = 0; x < static_cast<int>(width_); ++x)
      if (out.empty() || !(out.back() == at(x, y))) out.push_back(at(x, y));
    return out;
  }
  int count(const std::function<bool(Rgb)>& pred, int left = 0, int top = 0, int right = 1 << 20,
            int bottom = 1 << 20) const {
    int n = 0;
    for (int y = top; y < std::min<int>(bottom, height_); ++y)
      for (int x = left; x < std::min<int>(right, width_); ++x) n += pred(at(x, y)) ? 1 : 0;
    return n;
  }

 private:
  UINT width_, height_;
  ComPtr<IWICBitmap> bitmap_;
  ComPtr<ID2D1RenderTarget> target_;
};

struct Probe {
  int x, y;
  Rgb color;
};
void expect_pixels(const Canvas& c, const std::vector<Probe>& probes) {
  for (const Probe& p : probes) EXPECT_EQ(c.at(p.x, p.y), p.color) << "at " << p.x << ", " << p.y;
}

Item item(ItemKind kind, float x = 0, float y = 0, float w = 0, float h = 0, float radius = 0) {
  Item it;
  it.kind = kind;
  it.bounds = {x, y, w, h};
  for (float& r : it.radii) r = radius;
  return it;
}
Item rect(float x, float y, float w, float h, Rgb c, float radius = 0, int alpha = 255) {
  Item it = item(ItemKind::rect, x, y, w, h, radius);
  it.color = css(c, alpha);
  return it;
}
Item border(float x, float y, float w, float h, std::vector<float> widths, std::vector<Rgb> colors, float radius = 0) {
  Item it = item(ItemKind::border, x, y, w, h, radius);
  for (std::size_t i = 0; i < 4; ++i) {
    it.widths[i] = widths[widths.size() == 1 ? 0 : i];
    it.side_colors[i] = css(colors[colors.size() == 1 ? 0 : i]);
  }
  return it;
}
Item clip(float x, float y, float w, float h, float radius = 0) {
  return item(ItemKind::push_clip, x, y, w, h, radius);
}
const Item end_clip = item(ItemKind::pop_clip), end_layer = item(ItemKind::pop_layer);
// As the display list builds layers: the transform turns about the box's centre.
Item layer(float x, float y, float w, float h, float opacity, style::Transform m = {}) {
  Item it = item(ItemKind::push_layer, x, y, w, h);
  it.opacity = opacity;
  const float cx = x + w / 2, cy = y + h / 2;
  it.transform = {m.a, m.b, m.c, m.d, cx - m.a * cx - m.c * cy + m.e, cy - m.b * cx - m.d * cy + m.f};
  return it;
}
style::Transform rotation(float degrees) {
  const float r = degrees * 3.14159265f / 180;
  return {std::cos(r), std::sin(r), -std::sin(r), std::cos(r), 0, 0};
}
style::Transform shift(float x) { return {1, 0, 0, 1, x, 0}; }
Item image(float x, float y, float w, float h, const std::string& name, Fit fit) {
  Item it = item(ItemKind::image, x, y, w, h);
  it.image = name;
  it.fit = fit;
  return it;
}
Item text(float x, float y, const std::string& s, float size) {
  Item it = item(ItemKind::text, x, y, 80, 30);
  it.text = s;
  it.font_family = "DejaVu Sans,sans-serif";
  it.font_size = size;
  it.baseline = y + size;
  it.color = css(black);
  return it;
}

// Enough of a DirectWrite painter to put ink where the item says: the first
// family of the list (installed under Wine), origin on the baseline.
class TestTextPainter final : public TextPainter {
 public:
  TestTextPainter() {
    DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                        reinterpret_cast<IUnknown**>(factory_.GetAddressOf()));
  }
  void draw_text(ID2D1RenderTarget& target, const Item& it, float, ID2D1SolidColorBrush& brush) override {
    ++calls;
    const std::wstring family = vx::win32::widen(it.font_family.substr(0, it.font_family.find(',')));
    const std::wstring s = vx::win32::widen(it.text);
    ComPtr<IDWriteTextFormat> format;
    ComPtr<IDWriteTextLayout> layout;
    DWRITE_LINE_METRICS line{};
    UINT32 lines = 0;
    if (!factory_ ||
        FAILED(factory_->CreateTextFormat(family.c_str(), nullptr, static_cast<DWRITE_FONT_WEIGHT>(it.font_weight),
                                          DWRITE_FONT_STYLE_NORMAL, DWRITE_FONT_STRETCH_NORMAL, it.font_size, L"en-us",
                                          &format)) ||
        FAILED(
            factory_->CreateTextLayout(s.c_str(), static_cast<UINT32>(s.size()), format.Get(), 1e4f, 1e4f, &layout)) ||
        FAILED(layout->GetLineMetrics(&line, 1, &lines)))
      return;
    if (it.underline) layout->SetUnderline(TRUE, {0, static_cast<UINT32>(s.size())});
    target.DrawTextLayout(D2D1::Point2F(it.bounds.x, it.baseline - line.baseline), layout.Get(), &brush);
  }
  int calls = 0;

 private:
  ComPtr<IDWriteFactory> factory_;
};

struct ViewDeleter {
  void operator()(View* v) const { view_free(v); }
};

class D2DPlayerTest : public ::testing::Test {
 protected:
  // One set of factories for the suite: Wine builds a Direct3D device per
  // Direct2D factory, which costs about a second.
  static void SetUpTestSuite() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ASSERT_HRESULT_SUCCEEDED(
        CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&wic_)));
    ASSERT_HRESULT_SUCCEEDED(D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, d2d_.GetAddressOf()));
  }
  static void TearDownTestSuite() {
    d2d_.Reset();
    wic_.Reset();
    CoUninitialize();
  }

  D2DPlayerTest() {
    player_ = std::make_unique<D2DPlayer>(wic_.Get());
    player_->set_document(&document());
    player_->set_text_painter(&painter_);
  }

  Canvas& canvas(UINT w, UINT h, float scale = 1) {
    canvas_ = std::make_unique<Canvas>(*wic_.Get(), *d2d_.Get(), w, h);
    player_->set_target(canvas_->target());
    player_->set_scale(scale);
    return *canvas_;
  }

  // Draws all of a list of CSS size w x h over a white canvas.
  PlayResult play(float w, float h, std::vector<Item> items) {
    items.insert(items.begin(), rect(0, 0, w, h, white));
    DisplayList list;
    list.width = w, list.height = h;
    list.items = std::move(items);
    return player_->draw(list, {0, 0, w, h});
  }

  static bool encode_png(IWICBitmapSource* source, IStream* stream) {
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    ComPtr<IPropertyBag2> options;
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
    return SUCCEEDED(wic_->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) &&
           SUCCEEDED(encoder->Initialize(stream, WICBitmapEncoderNoCache)) &&
           SUCCEEDED(encoder->CreateNewFrame(&frame, &options)) && SUCCEEDED(frame->Initialize(options.Get())) &&
           SUCCEEDED(frame->SetPixelFormat(&format)) && SUCCEEDED(frame->WriteSource(source, nullptr)) &&
           SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
  }

  // A 4 x 2 PNG, left half one colour, right half the other.
  std::string halves_png(Rgb left = red, Rgb right = blue) {
    std::vector<BYTE> px;
    for (int i = 0; i < 8; ++i) {
      const Rgb c = i % 4 < 2 ? left : right;
      px.insert(px.end(), {static_cast<BYTE>(c.b), static_cast<BYTE>(c.g), static_cast<BYTE>(c.r), 255});
    }
    ComPtr<IWICBitmap> bitmap;
    ComPtr<IStream> stream;
    STATSTG stat{};
    ULONG read = 0;
    if (FAILED(wic_->CreateBitmapFromMemory(4, 2, GUID_WICPixelFormat32bppBGRA, 16, 32, px.data(), &bitmap)) ||
        FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream)) || !encode_png(bitmap.Get(), stream.Get()) ||
        FAILED(stream->Stat(&stat, STATFLAG_NONAME)) || FAILED(stream->Seek({}, STREAM_SEEK_SET, nullptr)))
      return {};
    std::string bytes(static_cast<std::size_t>(stat.cbSize.QuadPart), '\0');
    stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
    return bytes.substr(0, read);
  }

  // Into the build tree, seen through Wine's drive for the Unix root.
  void save(const Canvas& c, const std::string& file) {
    std::string dir = OSTREL_ARTIFACTS;
    if (dir.starts_with('/')) dir = "Z:" + dir;
    CreateDirectoryW(vx::win32::widen(dir).c_str(), nullptr);
    ComPtr<IWICStream> stream;
    EXPECT_TRUE(SUCCEEDED(wic_->CreateStream(&stream)) &&
                SUCCEEDED(stream->InitializeFromFilename(vx::win32::widen(dir + "/" + file).c_str(), GENERIC_WRITE)) &&
                encode_png(c.bitmap(), stream.Get()))
        << file;
  }

  void set_image(const std::string& name, const std::string& bytes) {
    ASSERT_EQ(image_set(&document(), name.data(), name.size(), bytes.data(), bytes.size()), status_ok) << last_error();
  }
  Document& document() { return *view_document(view_.get()); }

  static inline ComPtr<IWICImagingFactory> wic_;
  static inline ComPtr<ID2D1Factory> d2d_;
  std::unique_ptr<View, ViewDeleter> view_{view_new()};
  TestTextPainter painter_;
  std::unique_ptr<Canvas> canvas_;
  std::unique_ptr<D2DPlayer> player_;
};

TEST_F(D2DPlayerTest, FillsRectsOverTheCanvasAndRoundsTheirCorners) {
  Canvas& c = canvas(100, 100);
  ASSERT_EQ(play(100, 100, {rect(10, 10, 30, 20, red), rect(50, 50, 40, 40, blue, 12), rect(0, 0, 9, 9, red, 0, 0)}),
            PlayResult::ok);
  // Edges on whole pixels; the rounded rect's corners stay canvas, its edges and arcs are filled.
  expect_pixels(c, {{10, 10, red}, {39, 29, red}, {9, 10, white}, {40, 20, white}, {20, 30, white}, {5, 5, white}});
  expect_pixels(c, {{50, 50, white}, {89, 89, white}, {51, 88, white}, {70, 50, blue}, {50, 70, blue}, {54, 54, blue}});

  // Without a canvas rect first, the region is cleared to the background.
  player_->set_background(css(black));
  DisplayList bare;
  bare.width = bare.height = 100;
  bare.items = {rect(5, 5, 10, 10, red)};
  ASSERT_EQ(player_->draw(bare, {0, 0, 100, 100}), PlayResult::ok);
  expect_pixels(c, {{30, 30, black}, {8, 8, red}});
}

TEST_F(D2DPlayerTest, BordersPaintEachSideInItsOwnColour) {
  Canvas& c = canvas(200, 200);
  const std::vector<Rgb> sides = {red, green, blue, yellow};
  ASSERT_EQ(play(200, 200,
                 {border(10, 10, 60, 40, {4, 6, 8, 10}, sides), border(110, 10, 60, 40, {4, 6, 8, 10}, sides, 14),
                  border(10, 110, 80, 80, {3}, {blue}, 20)}),
            PlayResult::ok);
  for (int dx : {0, 100}) {
    SCOPED_TRACE(dx ? "rounded" : "square");
    expect_pixels(c, {{dx + 40, 11, red},
                      {dx + 40, 13, red},
                      {dx + 40, 14, white},
                      {dx + 67, 30, green},
                      {dx + 63, 30, white},
                      {dx + 40, 46, blue},
                      {dx + 11, 30, yellow},
                      {dx + 19, 30, yellow},
                      {dx + 20, 30, white},
                      {dx + 40, 30, white}});
  }
  // Square corners split along the line from (10, 10) to (20, 14); rounded
  // ones leave the corner itself outside.
  expect_pixels(c, {{16, 11, red}, {11, 16, yellow}, {110, 10, white}, {169, 49, white}});
  // One colour, one ring: 19px from the arc's centre (30, 130) lies between its curves.
  expect_pixels(c, {{50, 111, blue}, {50, 114, white}, {11, 111, white}, {11, 125, blue}, {50, 150, white}});
}

// Hairlines stay whole device pixels: one at 96 DPI, two at 192; at 120 and
// 144 DPI the width rounds down to one pixel and nothing is half-covered.
TEST_F(D2DPlayerTest, BordersSnapToDevicePixels) {
  struct Case {
    float scale;
    int outer, width;  // device pixels along the middle row
  };
  for (const Case k : {Case{1, 10, 1}, Case{2, 20, 2}, Case{1.5f, 15, 1}, Case{1.25f, 13, 1}}) {
    SCOPED_TRACE(k.scale);
    Canvas& c = canvas(80, 80, k.scale);
    ASSERT_EQ(play(80 / k.scale, 80 / k.scale, {rect(10, 10, 20, 20, green), border(10, 10, 20, 20, {1}, {black})}),
              PlayResult::ok);
    const int y = static_cast<int>(20 * k.scale);
    expect_pixels(c, {{k.outer - 1, y, white}, {k.outer + k.width - 1, y, black}, {k.outer + k.width, y, green}});
    EXPECT_EQ(c.runs(y), (std::vector<Rgb>{white, black, green, black, white}));
  }
}

TEST_F(D2DPlayerTest, ClipsCutWhatTheyHold) {
  Canvas& c = canvas(200, 100);
  ASSERT_EQ(
      play(200, 100,
           {clip(20, 20, 30, 30), rect(0, 0, 100, 100, red), clip(0, 0, 35, 100), rect(0, 0, 100, 100, blue), end_clip,
            end_clip, rect(60, 60, 10, 10, green), clip(110, 10, 60, 60, 30), rect(100, 0, 100, 100, red), end_clip}),
      PlayResult::ok);
  expect_pixels(c, {{19, 30, white}, {20, 30, blue}, {34, 30, blue}, {35, 30, red}, {49, 49, red}, {50, 49, white}});
  expect_pixels(c, {{65, 65, green}});  // after the pops nothing is clipped
  // Rounded into a circle of radius 30: the corners are cut.
  expect_pixels(c, {{140, 40, red}, {140, 11, red}, {113, 13, white}, {166, 66, white}, {175, 40, white}});
}

TEST_F(D2DPlayerTest, LayersBlendAsOneGroup) {
  Canvas& c = canvas(100, 100);
  ASSERT_EQ(play(100, 100,
                 {layer(10, 10, 60, 30, 0.5f), rect(10, 10, 40, 30, red), rect(30, 10, 40, 30, red), end_layer,
                  layer(0, 60, 10, 10, 0), rect(0, 60, 100, 40, blue), end_layer, rect(80, 80, 10, 10, green)}),
            PlayResult::ok);
  const Rgb half = c.at(15, 20);
  EXPECT_EQ(half.r, 255);
  EXPECT_NEAR(half.g, 128, 2);
  EXPECT_NEAR(half.b, 128, 2);
  // Where the two overlap the group fades, not each rect; opacity 0 hides
  // everything inside, and the list goes on after it.
  expect_pixels(c, {{40, 20, half}, {75, 20, white}, {50, 70, white}, {85, 85, green}});
}

TEST_F(D2DPlayerTest, TransformedLayersTurnTheirContentAndClips) {
  Canvas& c = canvas(100, 100);
  ASSERT_EQ(play(100, 100, {layer(30, 30, 40, 40, 1, rotation(45)), rect(30, 30, 40, 40, red), end_layer}),
            PlayResult::ok);
  // A diamond about (50, 50) reaching 28px out.
  expect_pixels(c, {{50, 50, red}, {50, 25, red}, {75, 50, red}, {32, 32, white}, {67, 67, white}});

  // The clip turns with the layer rather than clipping to its bounding box.
  ASSERT_EQ(play(100, 100,
                 {layer(30, 30, 40, 40, 1, rotation(45)), clip(30, 30, 40, 40), rect(0, 0, 100, 100, blue), end_clip,
                  end_layer}),
            PlayResult::ok);
  expect_pixels(c, {{50, 25, blue}, {25, 50, blue}, {28, 28, white}, {71, 71, white}});

  // Layer transforms are in CSS pixels, then scaled: (10 + 20) x 2.
  Canvas& scaled = canvas(200, 200, 2);
  ASSERT_EQ(play(100, 100, {layer(0, 0, 10, 10, 1, shift(20)), rect(10, 10, 10, 10, red), end_layer}), PlayResult::ok);
  EXPECT_EQ(scaled.runs(30), (std::vector<Rgb>{white, red, white}));
  expect_pixels(scaled, {{59, 30, white}, {60, 30, red}, {79, 30, red}});
}

TEST_F(D2DPlayerTest, DrawsOnlyTheRegion) {
  Canvas& c = canvas(100, 100, 2);
  ASSERT_EQ(play(50, 50, {rect(0, 0, 50, 50, red)}), PlayResult::ok);
  DisplayList next;
  next.width = next.height = 50;
  next.items = {rect(0, 0, 50, 50, white), rect(0, 0, 50, 50, blue)};
  ASSERT_EQ(player_->draw(next, {10.25f, 5, 20, 10}), PlayResult::ok);
  // Device pixels 20..61 by 10..30: partly covered pixels are redrawn whole.
  expect_pixels(c, {{20, 10, blue}, {60, 29, blue}, {19, 10, red}, {61, 20, red}, {40, 9, red}, {40, 30, red}});
  EXPECT_EQ(c.count([](Rgb p) { return p == blue; }), 41 * 20);
}

TEST_F(D2DPlayerTest, DrawsRasterImagesWithObjectFit) {
  set_image("halves.png", halves_png());
  // A 4 x 2 image in a 40 x 40 box at (10, 10).
  const std::pair<Fit, std::vector<Probe>> cases[] = {
      {Fit::contain, {{15, 30, red}, {45, 30, blue}, {30, 15, white}, {30, 45, white}}},
      // 80 x 40 centred: the middle half shows, nothing spills out.
      {Fit::cover, {{12, 12, red}, {48, 48, blue}, {5, 30, white}, {55, 30, white}}},
      // Pixel for pixel in the middle.
      {Fit::none, {{28, 29, red}, {31, 30, blue}, {27, 29, white}, {32, 30, white}, {30, 28, white}}},
  };
  for (const auto& [fit, pixels] : cases) {
    SCOPED_TRACE(static_cast<int>(fit));
    Canvas& c = canvas(60, 60);
    ASSERT_EQ(play(60, 60, {image(10, 10, 40, 40, "halves.png", fit)}), PlayResult::ok);
    expect_pixels(c, pixels);
  }
}

TEST_F(D2DPlayerTest, DecodesEachImageOncePerGenerationAndUploadsPerTarget) {
  set_image("a.png", halves_png());
  const Item a = image(0, 0, 20, 20, "a.png", Fit::fill);
  Canvas& first = canvas(20, 20);
  for (int i = 0; i < 2; ++i) ASSERT_EQ(play(20, 20, {a}), PlayResult::ok);
  EXPECT_EQ(first.at(2, 10), red);
  EXPECT_EQ(player_->stats().images_decoded, 1u);
  EXPECT_EQ(player_->stats().bitmaps_uploaded, 1u);

  // A new target needs its own bitmap, not a new decode.
  Canvas& second = canvas(20, 20);
  ASSERT_EQ(play(20, 20, {a}), PlayResult::ok);
  EXPECT_EQ(second.at(2, 10), red);
  EXPECT_EQ(player_->stats().images_decoded, 1u);
  EXPECT_EQ(player_->stats().bitmaps_uploaded, 2u);

  // Replacing the image under the same name is a new generation.
  set_image("a.png", halves_png(green, green));
  ASSERT_EQ(play(20, 20, {a}), PlayResult::ok);
  EXPECT_EQ(second.at(2, 10), green);
  EXPECT_EQ(player_->stats().images_decoded, 2u);
}

TEST_F(D2DPlayerTest, BrokenOrMissingImagesDrawNothing) {
  // Past the header check that image_set makes, but not decodable.
  ImageEntry broken;
  broken.bytes = halves_png().substr(0, 40);
  broken.generation = 1000;
  document().images[document().names.intern("broken.png")] = broken;
  ImageEntry hollow;  // an SVG entry without its picture
  hollow.is_svg = true;
  document().images[document().names.intern("hollow.svg")] = hollow;

  Canvas& c = canvas(40, 40);
  for (const char* name : {"broken.png", "hollow.svg", "missing.png", ""}) {
    SCOPED_TRACE(name);
    ASSERT_EQ(play(40, 40, {image(0, 0, 40, 40, name, Fit::fill), rect(30, 30, 5, 5, red)}), PlayResult::ok);
    expect_pixels(c, {{10, 10, white}, {32, 32, red}});  // and what follows still draws
  }
  EXPECT_GE(player_->stats().image_failures, 4u);
  EXPECT_EQ(player_->stats().images_decoded, 0u);
  player_->set_document(nullptr);
  EXPECT_EQ(play(40, 40, {image(0, 0, 40, 40, "broken.png", Fit::fill)}), PlayResult::ok);
}

TEST_F(D2DPlayerTest, DrawsSvgPicturesAsGeometry) {
  set_image("corner.svg",
            "<svg xmlns='http://www.w3.org/2000/svg' width='10' height='10' viewBox='0 0 10 10'>"
            "<path d='M0 0 L10 0 L0 10 Z' fill='#00ff00'/><circle cx='7.5' cy='7.5' r='2' fill='currentColor'/></svg>");
  Canvas& c = canvas(120, 60);
  Item picture = image(10, 10, 40, 40, "corner.svg", Fit::contain);
  picture.color = css(blue);
  // Cover in a wide box: 50 x 50 centred, cut to the box.
  ASSERT_EQ(play(120, 60, {picture, image(60, 20, 50, 20, "corner.svg", Fit::cover)}), PlayResult::ok);
  // The triangle above the diagonal, the circle in the element's colour.
  expect_pixels(c, {{13, 13, green}, {20, 20, green}, {47, 47, white}, {40, 40, blue}, {49, 40, white}});
  expect_pixels(c, {{62, 22, green}, {62, 18, white}});
  ASSERT_EQ(play(120, 60, {picture}), PlayResult::ok);
  EXPECT_EQ(player_->stats().pictures_built, 1u);
}

TEST_F(D2DPlayerTest, TextGoesThroughThePainterWithTheTransform) {
  auto dark = [](Rgb p) { return p.r < 128 && p.g < 128 && p.b < 128; };
  Canvas& c = canvas(400, 200, 2);
  ASSERT_EQ(play(200, 100,
                 {text(10, 10, "Hello", 24), layer(0, 0, 10, 10, 1, shift(100)), text(10, 50, "Hello", 24), end_layer}),
            PlayResult::ok);
  EXPECT_EQ(painter_.calls, 1) << "the same text again is a copy of the first drawing";
  // Ink lands in the scaled boxes (with room for overhang), and only there.
  const int first = c.count(dark, 16, 16, 184, 84), second = c.count(dark, 216, 96, 384, 164);
  EXPECT_GT(first, 100);
  EXPECT_NEAR(second, first, first / 10);
  EXPECT_EQ(c.count(dark), first + second);

  // Another colour, or another fraction of a pixel, is drawn anew.
  const int drawn = painter_.calls;
  Item red_text = text(10, 10, "Hello", 24);
  red_text.color = css(red);
  ASSERT_EQ(play(200, 100, {red_text, text(10.3f, 50, "Hello", 24)}), PlayResult::ok);
  EXPECT_EQ(painter_.calls, drawn + 2);

  // Inside an opacity group the ink is faded.
  ASSERT_EQ(play(200, 100, {layer(0, 0, 200, 100, 0.5f), text(10, 10, "Hello", 24), end_layer}), PlayResult::ok);
  EXPECT_EQ(c.count([](Rgb p) { return p.r < 100; }), 0);
  EXPECT_GT(c.count([](Rgb p) { return p.r < 140 && p.r > 110; }), 50);
}

// A painter that rasterises every text as a solid block, 4 px a character
// and 10 px tall above the baseline, in the text's colour; it draws the
// same block when asked to draw.
class BlockPainter final : public TextPainter {
 public:
  void draw_text(ID2D1RenderTarget& target, const Item& it, float, ID2D1SolidColorBrush& brush) override {
    target.FillRectangle(D2D1::RectF(it.bounds.x, it.baseline - 10, it.bounds.x + width(it), it.baseline), &brush);
  }
  bool rasterize(const Item& it, float scale_x, float scale_y, float, float, Picture& out) override {
    ++rasterized;
    out.left = 0;
    out.top = static_cast<int>(-10 * scale_y);
    out.width = static_cast<int>(width(it) * scale_x);
    out.height = static_cast<int>(10 * scale_y);
    out.pixels.clear();
    for (int i = 0; i < out.width * out.height; ++i)
      out.pixels.insert(out.pixels.end(), {it.color.b, it.color.g, it.color.r, 255});
    return true;
  }
  int rasterized = 0;

 private:
  static float width(const Item& it) { return 4.0f * static_cast<float>(it.text.size()); }
};

// Texts share a few atlas pages that hold some views' worth of texts: any
// number of different texts keeps the bitmaps within that, and a text whose
// page was emptied for others is drawn again, in place, when it shows again,
// also when one frame holds more texts than all pages do.
TEST_F(D2DPlayerTest, TextsShareBoundedAtlasPagesAndComeBackAfterTheirPageIsReused) {
  BlockPainter painter;
  player_->set_text_painter(&painter);
  Canvas& c = canvas(200, 100);
  const auto label = [](int n) { return "text " + std::to_string(n); };
  const auto at = [&](int n, float x, float y, Rgb color) {
    Item it = text(x, y, label(n), 10);
    it.color = css(color);
    return it;
  };
  // Pages hold 1024 x 256 pixels; two of them are the least any view gets.
  const std::size_t budget = 2 * 1024 * 256 * 4;
  for (int frame = 0; frame < 300; ++frame) {
    std::vector<Item> items;
    for (int i = 0; i < 10; ++i) items.push_back(at(frame * 10 + i, 5, 8.0f * i, i % 2 ? red : blue));
    ASSERT_EQ(play(200, 100, items), PlayResult::ok);
  }
  EXPECT_LE(player_->memory_usage().text_bitmaps, budget);
  EXPECT_EQ(painter.rasterized, 3000);
  // The first texts' page was emptied long ago: drawn again, where they belong.
  ASSERT_EQ(play(200, 100, {at(0, 20, 40, blue), at(1, 20, 60, red)}), PlayResult::ok);
  EXPECT_EQ(painter.rasterized, 3002);
  expect_pixels(c, {{22, 45, blue}, {22, 65, red}, {22, 35, white}, {20 + 4 * 6 + 1, 45, white}});

  // One frame with more texts than both pages hold: the first ones drawn stay right.
  std::vector<Item> crowd;
  for (int i = 0; i < 1500; ++i) crowd.push_back(at(10000 + i, static_cast<float>(i % 4) * 50, 15, red));
  crowd.push_back(at(20000, 5, 60, blue));
  ASSERT_EQ(play(200, 100, crowd), PlayResult::ok);
  EXPECT_LE(player_->memory_usage().text_bitmaps, budget);
  expect_pixels(c, {{7, 20, red}, {157, 20, red}, {7, 10, white}, {157, 10, white}, {7, 65, blue}, {7, 75, white}});
}

// Counts the calls that must balance and fails EndDraw on request; drawing
// goes to a real target. COM interfaces have no virtual destructor: Release
// deletes the concrete type.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class CheckedTarget final : public ID2D1RenderTarget {
 public:
  static ComPtr<CheckedTarget> wrap(ID2D1RenderTarget* inner) {
    ComPtr<CheckedTarget> out;
    out.Attach(new CheckedTarget(inner));
    return out;
  }
  HRESULT end_draw_result = S_OK;
  int clips = 0, draws = 0;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    const bool ours = iid == __uuidof(IUnknown) || iid == __uuidof(ID2D1Resource) || iid == __uuidof(ID2D1RenderTarget);
    *out = ours ? this : nullptr;
    if (ours) AddRef();
    return ours ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  void STDMETHODCALLTYPE PushAxisAlignedClip(const D2D1_RECT_F* r, D2D1_ANTIALIAS_MODE m) override {
    ++clips, inner_->PushAxisAlignedClip(r, m);
  }
  void STDMETHODCALLTYPE PopAxisAlignedClip() override { --clips, inner_->PopAxisAlignedClip(); }
  void STDMETHODCALLTYPE BeginDraw() override { ++draws, inner_->BeginDraw(); }
  HRESULT STDMETHODCALLTYPE EndDraw(D2D1_TAG* a, D2D1_TAG* b) override {
    --draws;
    const HRESULT hr = inner_->EndDraw(a, b);
    return FAILED(end_draw_result) ? end_draw_result : hr;
  }

#define FORWARD(ret, name, params, args) \
  ret STDMETHODCALLTYPE name params override { return inner_->name args; }
  // clang-format off
  FORWARD(void, GetFactory, (ID2D1Factory** f) const, (f))
  FORWARD(HRESULT, CreateBitmap, (D2D1_SIZE_U s, const void* d, UINT32 p, const D2D1_BITMAP_PROPERTIES* b, ID2D1Bitmap** o), (s, d, p, b, o))
  FORWARD(HRESULT, CreateBitmapFromWicBitmap, (IWICBitmapSource* s, const D2D1_BITMAP_PROPERTIES* p, ID2D1Bitmap** o), (s, p, o))
  FORWARD(HRESULT, CreateSharedBitmap, (REFIID i, void* d, const D2D1_BITMAP_PROPERTIES* p, ID2D1Bitmap** o), (i, d, p, o))
  FORWARD(HRESULT, CreateBitmapBrush, (ID2D1Bitmap* b, const D2D1_BITMAP_BRUSH_PROPERTIES* p, const D2D1_BRUSH_PROPERTIES* q, ID2D1BitmapBrush** o), (b, p, q, o))
  FORWARD(HRESULT, CreateSolidColorBrush, (const D2D1_COLOR_F* c, const D2D1_BRUSH_PROPERTIES* p, ID2D1SolidColorBrush** o), (c, p, o))
  FORWARD(HRESULT, CreateGradientStopCollection, (const D2D1_GRADIENT_STOP* s, UINT n, D2D1_GAMMA g, D2D1_EXTEND_MODE e, ID2D1GradientStopCollection** o), (s, n, g, e, o))
  FORWARD(HRESULT, CreateLinearGradientBrush, (const D2D1_LINEAR_GRADIENT_BRUSH_PROPERTIES* l, const D2D1_BRUSH_PROPERTIES* p, ID2D1GradientStopCollection* s, ID2D1LinearGradientBrush** o), (l, p, s, o))
  FORWARD(HRESULT, CreateRadialGradientBrush, (const D2D1_RADIAL_GRADIENT_BRUSH_PROPERTIES* r, const D2D1_BRUSH_PROPERTIES* p, ID2D1GradientStopCollection* s, ID2D1RadialGradientBrush** o), (r, p, s, o))
  FORWARD(HRESULT, CreateCompatibleRenderTarget, (const D2D1_SIZE_F* s, const D2D1_SIZE_U* ps, const D2D1_PIXEL_FORMAT* f, D2D1_COMPATIBLE_RENDER_TARGET_OPTIONS o, ID2D1BitmapRenderTarget** out), (s, ps, f, o, out))
  FORWARD(HRESULT, CreateLayer, (const D2D1_SIZE_F* s, ID2D1Layer** o), (s, o))
  FORWARD(HRESULT, CreateMesh, (ID2D1Mesh** o), (o))
  FORWARD(void, DrawLine, (D2D1_POINT_2F a, D2D1_POINT_2F b, ID2D1Brush* br, FLOAT w, ID2D1StrokeStyle* s), (a, b, br, w, s))
  FORWARD(void, DrawRectangle, (const D2D1_RECT_F* r, ID2D1Brush* b, FLOAT w, ID2D1StrokeStyle* s), (r, b, w, s))
  FORWARD(void, FillRectangle, (const D2D1_RECT_F* r, ID2D1Brush* b), (r, b))
  FORWARD(void, DrawRoundedRectangle, (const D2D1_ROUNDED_RECT* r, ID2D1Brush* b, FLOAT w, ID2D1StrokeStyle* s), (r, b, w, s))
  FORWARD(void, FillRoundedRectangle, (const D2D1_ROUNDED_RECT* r, ID2D1Brush* b), (r, b))
  FORWARD(void, DrawEllipse, (const D2D1_ELLIPSE* e, ID2D1Brush* b, FLOAT w, ID2D1StrokeStyle* s), (e, b, w, s))
  FORWARD(void, FillEllipse, (const D2D1_ELLIPSE* e, ID2D1Brush* b), (e, b))
  FORWARD(void, DrawGeometry, (ID2D1Geometry* g, ID2D1Brush* b, FLOAT w, ID2D1StrokeStyle* s), (g, b, w, s))
  FORWARD(void, FillGeometry, (ID2D1Geometry* g, ID2D1Brush* b, ID2D1Brush* o), (g, b, o))
  FORWARD(void, FillMesh, (ID2D1Mesh* m, ID2D1Brush* b), (m, b))
  FORWARD(void, FillOpacityMask, (ID2D1Bitmap* m, ID2D1Brush* b, D2D1_OPACITY_MASK_CONTENT c, const D2D1_RECT_F* d, const D2D1_RECT_F* s), (m, b, c, d, s))
  FORWARD(void, DrawBitmap, (ID2D1Bitmap* b, const D2D1_RECT_F* d, FLOAT o, D2D1_BITMAP_INTERPOLATION_MODE m, const D2D1_RECT_F* s), (b, d, o, m, s))
  FORWARD(void, DrawText, (const WCHAR* s, UINT n, IDWriteTextFormat* f, const D2D1_RECT_F* r, ID2D1Brush* b, D2D1_DRAW_TEXT_OPTIONS o, DWRITE_MEASURING_MODE m), (s, n, f, r, b, o, m))
  FORWARD(void, DrawTextLayout, (D2D1_POINT_2F p, IDWriteTextLayout* l, ID2D1Brush* b, D2D1_DRAW_TEXT_OPTIONS o), (p, l, b, o))
  FORWARD(void, DrawGlyphRun, (D2D1_POINT_2F p, const DWRITE_GLYPH_RUN* g, ID2D1Brush* b, DWRITE_MEASURING_MODE m), (p, g, b, m))
  FORWARD(void, SetTransform, (const D2D1_MATRIX_3X2_F* m), (m))
  FORWARD(void, GetTransform, (D2D1_MATRIX_3X2_F* m) const, (m))
  FORWARD(void, SetAntialiasMode, (D2D1_ANTIALIAS_MODE m), (m))
  FORWARD(D2D1_ANTIALIAS_MODE, GetAntialiasMode, () const, ())
  FORWARD(void, SetTextAntialiasMode, (D2D1_TEXT_ANTIALIAS_MODE m), (m))
  FORWARD(D2D1_TEXT_ANTIALIAS_MODE, GetTextAntialiasMode, () const, ())
  FORWARD(void, SetTextRenderingParams, (IDWriteRenderingParams* p), (p))
  FORWARD(void, GetTextRenderingParams, (IDWriteRenderingParams** p) const, (p))
  FORWARD(void, SetTags, (D2D1_TAG a, D2D1_TAG b), (a, b))
  FORWARD(void, GetTags, (D2D1_TAG* a, D2D1_TAG* b) const, (a, b))
  FORWARD(void, PushLayer, (const D2D1_LAYER_PARAMETERS* p, ID2D1Layer* l), (p, l))
  FORWARD(void, PopLayer, (), ())
  FORWARD(HRESULT, Flush, (D2D1_TAG* a, D2D1_TAG* b), (a, b))
  FORWARD(void, SaveDrawingState, (ID2D1DrawingStateBlock* s) const, (s))
  FORWARD(void, RestoreDrawingState, (ID2D1DrawingStateBlock* s), (s))
  FORWARD(void, Clear, (const D2D1_COLOR_F* c), (c))
  FORWARD(D2D1_PIXEL_FORMAT*, GetPixelFormat, (D2D1_PIXEL_FORMAT* f) const, (f))
  FORWARD(void, SetDpi, (FLOAT x, FLOAT y), (x, y))
  FORWARD(void, GetDpi, (FLOAT* x, FLOAT* y) const, (x, y))
  FORWARD(D2D1_SIZE_F*, GetSize, (D2D1_SIZE_F* s) const, (s))
  FORWARD(D2D1_SIZE_U*, GetPixelSize, (D2D1_SIZE_U* s) const, (s))
  FORWARD(UINT32, GetMaximumBitmapSize, () const, ())
  FORWARD(BOOL, IsSupported, (const D2D1_RENDER_TARGET_PROPERTIES* p) const, (p))
  // clang-format on
#undef FORWARD

 private:
  explicit CheckedTarget(ID2D1RenderTarget* inner) : inner_(inner) {}
  ~CheckedTarget() = default;
  ComPtr<ID2D1RenderTarget> inner_;
  ULONG refs_ = 1;
};
#pragma GCC diagnostic pop

TEST_F(D2DPlayerTest, ALostDeviceIsReportedAndTheNextTargetGetsNewBitmaps) {
  set_image("a.png", halves_png());
  const ComPtr<CheckedTarget> lost = CheckedTarget::wrap(canvas(20, 20).target());
  player_->set_target(lost.Get());
  lost->end_draw_result = D2DERR_RECREATE_TARGET;
  DisplayList list;
  list.width = list.height = 20;
  list.items = {image(0, 0, 20, 20, "a.png", Fit::fill)};
  player_->play(list, {0, 0, 20, 20});
  EXPECT_EQ(player_->last_result(), PlayResult::recreate_target);
  player_->play(list, {0, 0, 20, 20});
  EXPECT_EQ(player_->last_result(), PlayResult::no_target);  // until a new target is given

  Canvas& next = canvas(20, 20);
  player_->play(list, {0, 0, 20, 20});
  EXPECT_EQ(player_->last_result(), PlayResult::ok);
  EXPECT_EQ(next.at(15, 10), blue);
  EXPECT_EQ(player_->stats().images_decoded, 1u);
  EXPECT_EQ(player_->stats().bitmaps_uploaded, 2u);
}

// The view ends its frames on a presenter thread: record here, EndDraw there,
// finish here.
TEST_F(D2DPlayerTest, EndDrawMayRunOnAnotherThread) {
  Canvas& c = canvas(40, 40);
  DisplayList list;
  list.width = list.height = 40;
  list.items = {rect(0, 0, 40, 40, white), rect(10, 10, 10, 10, blue)};
  PlayResult result;
  ASSERT_TRUE(player_->record(list, {0, 0, 40, 40}, result));
  HRESULT ended = E_FAIL;
  std::thread([&] { ended = player_->end_draw(); }).join();
  EXPECT_EQ(player_->finish(ended), PlayResult::ok);
  expect_pixels(c, {{15, 15, blue}, {5, 5, white}});

  EXPECT_FALSE(player_->record(list, {50, 50, 10, 10}, result)) << "a region outside the target begins nothing";
  EXPECT_EQ(result, PlayResult::ok);
  ASSERT_TRUE(player_->record(list, {0, 0, 40, 40}, result));
  EXPECT_EQ(player_->finish(D2DERR_RECREATE_TARGET), PlayResult::recreate_target);
  EXPECT_FALSE(player_->record(list, {0, 0, 40, 40}, result));
  EXPECT_EQ(result, PlayResult::no_target);
}

// Windows fails EndDraw when clips are left pushed; Wine does not check.
TEST_F(D2DPlayerTest, UnbalancedListsLeaveTheTargetBalanced) {
  Canvas& c = canvas(40, 40);
  const ComPtr<CheckedTarget> checked = CheckedTarget::wrap(c.target());
  player_->set_target(checked.Get());
  const std::pair<std::vector<Item>, Rgb> cases[] = {
      {{end_clip, end_layer, rect(0, 0, 40, 40, red)}, red},
      {{clip(0, 0, 20, 20), layer(0, 0, 20, 20, 0.5f), clip(0, 0, 10, 10, 4), rect(0, 0, 40, 40, red)}, white},
      // The first pop ends the clip, the second has nothing to end.
      {{clip(0, 0, 20, 20), end_layer, end_layer, rect(0, 0, 40, 40, red)}, red},
      // A clip outside the view hides everything up to its own pop.
      {{clip(50, 50, 10, 10), clip(0, 0, 10, 10), rect(0, 0, 40, 40, red), end_clip}, white},
  };
  for (const auto& [items, at_30_30] : cases) {
    EXPECT_EQ(play(40, 40, items), PlayResult::ok);
    EXPECT_EQ(checked->clips, 0);
    EXPECT_EQ(checked->draws, 0);
    EXPECT_EQ(c.at(30, 30), at_30_30);
  }
}

// Everything at once at 150%, saved as artifacts/player.png for a look.
TEST_F(D2DPlayerTest, ComposedFrame) {
  set_image("halves.png", halves_png());
  set_image("mark.svg",
            "<svg xmlns='http://www.w3.org/2000/svg' width='24' height='24'><circle cx='12' cy='12' r='10' "
            "fill='#2e7d32'/><path d='M7 12 L11 16 L17 8' fill='none' stroke='#fff' stroke-width='2'/></svg>");
  Canvas& c = canvas(480, 300, 1.5f);
  Item caption = text(20, 150, "Ostrel player 1.5x", 18);
  caption.underline = true;
  DisplayList list;
  list.width = 320, list.height = 200;
  list.items = {rect(0, 0, 320, 200, {240, 242, 245}),
                rect(10, 10, 140, 60, {61, 132, 221}, 8),
                border(10, 10, 140, 60, {2, 4, 6, 8}, {red, green, blue, yellow}, 8),
                border(160, 10, 60, 60, {1}, {black}),
                clip(230, 10, 40, 40, 12),
                rect(230, 10, 80, 80, {255, 152, 0}),
                end_clip,
                layer(20, 80, 60, 60, 0.5f),
                rect(20, 80, 60, 60, red),
                rect(40, 100, 60, 60, blue),
                end_layer,
                layer(120, 90, 40, 40, 1, rotation(30)),
                rect(120, 90, 40, 40, {156, 39, 176}),
                end_layer,
                image(180, 80, 60, 60, "halves.png", Fit::contain),
                image(250, 80, 50, 50, "mark.svg", Fit::contain),
                caption};
  ASSERT_EQ(player_->draw(list, {0, 0, 320, 200}), PlayResult::ok);
  save(c, "player.png");
  expect_pixels(c, {{15, 15, {240, 242, 245}}, {120, 60, {61, 132, 221}}});  // outside and inside the rounded corner
  EXPECT_GT(c.count([](Rgb p) { return p.r < 100 && p.g < 100 && p.b < 100; }, 30, 225, 450, 275), 100);
}

}  // namespace
