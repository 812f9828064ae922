#include "display/render.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <vector>

#include "display/views.h"
#include "store/display_palettes.h"
#include "store/image_record.h"
#include "support/program_fixture.h"

namespace qv {
namespace {

using Rgba = std::array<int, 4>;
using Dib = std::vector<std::uint8_t>;

class RenderTest : public test::ProgramTest {
 protected:
  ImageRecord* Make(int w, int h, const std::function<Rgba(int, int)>& colour, bool hasAlpha = false) {
    ImageRecord* image = CreateImage(w, h, "test");
    EXPECT_EQ(LockImage(image), 0);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        Rgba c = colour(x, y);
        for (int i = 0; i < 4; ++i) PixelAt(image, x, y)[i] = static_cast<std::uint8_t>(c[i]);
      }
    UnlockImage(image);
    image->hasAlpha = hasAlpha;
    return image;
  }
  ImageRecord* Solid(Rgba c, bool hasAlpha = false) {
    return Make(1, 1, [c](int, int) { return c; }, hasAlpha);
  }

  // Renders the whole client area and returns a copy of the DIB (empty on failure).
  Dib Render(ImageRecord* image, ViewRecord* view, int mode) {
    int h = view ? view->clientHeight : image->height;
    PlaceHandle place = RenderView(image, view, nullptr, mode, 0, h - 1);
    if (!place) return {};
    auto bytes = DibBytes(place);
    Dib copy(bytes.begin(), bytes.end());
    FreeVirtual(place);
    return copy;
  }

  static std::uint32_t At(const Dib& dib, int x, int y) {
    DibLayout l;
    EXPECT_TRUE(ReadDibLayout(dib, l));
    return DibPixel(dib, l, x, y);
  }
  static std::uint32_t Bgr(int r, int g, int b) { return std::uint32_t(b | g << 8 | r << 16); }
  static std::uint32_t Field(const Dib& dib, int offset) {
    return dib[offset] | dib[offset + 1] << 8 | dib[offset + 2] << 16 | std::uint32_t(dib[offset + 3]) << 24;
  }
};

TEST_F(RenderTest, HeaderColourTableAndPaddedBottomUpRows) {
  // Odd width: every depth needs padding.
  ImageRecord* image = Make(5, 3, [](int x, int y) { return Rgba{x * 50, y * 100, 7, 255}; });
  const int bits[] = {24, 8, 8, 4, 4, 1, 24, 8, 32};
  const int colours[] = {0, 246, 256, 16, 16, 2, 0, 64, 0};
  const int strides[] = {16, 8, 8, 4, 4, 4, 16, 8, 20};
  for (int mode = 0; mode < kDisplayModeCount; ++mode) {
    SCOPED_TRACE(mode);
    Dib dib = Render(image, nullptr, mode);
    ASSERT_FALSE(dib.empty());
    EXPECT_EQ(Field(dib, 0), 40u);
    EXPECT_EQ(Field(dib, 4), 5u);
    EXPECT_EQ(Field(dib, 8), 3u);
    EXPECT_EQ(Field(dib, 12), 1u | std::uint32_t(bits[mode]) << 16);  // planes, bits
    EXPECT_EQ(Field(dib, 16), 0u);
    EXPECT_EQ(Field(dib, 20), std::uint32_t(strides[mode] * 3));
    EXPECT_EQ(Field(dib, 24), 1000u);
    EXPECT_EQ(Field(dib, 28), 1000u);
    EXPECT_EQ(Field(dib, 32), std::uint32_t(colours[mode]));
    EXPECT_EQ(Field(dib, 36), std::uint32_t(colours[mode]));
    ASSERT_EQ(dib.size(), 40u + 4u * colours[mode] + strides[mode] * 3u);
    DibLayout l;
    ASSERT_TRUE(ReadDibLayout(dib, l));
    EXPECT_EQ(l.stride, strides[mode]);
    EXPECT_FALSE(ReadDibLayout(std::span(dib).first(dib.size() - 1), l));
    std::size_t used = (5u * bits[mode] + 7) / 8;
    for (int row = 0; row < 3; ++row)
      for (std::size_t i = used; i < std::size_t(strides[mode]); ++i)
        EXPECT_EQ(dib[l.pixelOffset + row * strides[mode] + i], 0) << "padding of row " << row;
  }
  // The first DIB row is the bottom of the picture.
  Dib dib = Render(image, nullptr, kModeRgb24);
  EXPECT_EQ(dib[40 + 1], 200);        // green of (0, 2)
  EXPECT_EQ(dib[40 + 2 * 16 + 1], 0); // green of (0, 0)
}

TEST_F(RenderTest, ColourTablesOfThePaletteModes) {
  ImageRecord* image = Solid({0, 0, 0, 255});
  Dib m3 = Render(image, nullptr, kModeColour16);
  EXPECT_EQ(DibColour(m3, 0), 0u);
  EXPECT_EQ(DibColour(m3, 1), 127u);                          // (128, 0, 0) less one
  EXPECT_EQ(DibColour(m3, 7), 191u | 191u << 8 | 191u << 16);
  EXPECT_EQ(DibColour(m3, 8), 127u | 127u << 8 | 127u << 16);
  EXPECT_EQ(DibColour(m3, 12), 254u << 16);                   // blue
  EXPECT_EQ(DibColour(m3, 15), 254u | 254u << 8 | 254u << 16);
  Dib m1 = Render(image, nullptr, kModeColour256);
  EXPECT_EQ(DibColour(m1, 1 * 32 + 7 * 4 + 3), 42u | 255u << 8 | 255u << 16);
  EXPECT_EQ(DibColour(m1, 234), 121u * 0x010101u);            // 10 x 255 / 21
  EXPECT_EQ(DibColour(m1, 245), 0xFFFFFFu);
  Dib m7 = Render(image, nullptr, kModeGray64);
  EXPECT_EQ(DibColour(m7, 63), 0xFFFFFFu);
  // Spot checks of the 16-colour lookup's rows (the gradient test relies on it).
  EXPECT_EQ(StandardColourIndex(255, 0, 0), 9);
  EXPECT_EQ(StandardColourIndex(128, 128, 128), 8);  // red 4, cell 36: '8'
  EXPECT_EQ(StandardColourIndex(96, 0, 224), 12);    // red 3, cell 7: 'c'
  EXPECT_EQ(StandardColourIndex(200, 32, 255), 13);  // red 6, cell 15: 'd'
}

TEST_F(RenderTest, StretchRegionAndFitMaps) {
  // Enlarging repeats pixels: 3 columns of a 2-pixel image show 0, 0, 1.
  ImageRecord* two = Make(2, 1, [](int x, int) { return Rgba{x ? 200 : 10, 0, 0, 255}; });
  ViewRecord view{.image = two, .clientWidth = 3, .clientHeight = 1};
  Dib dib = Render(two, &view, kModeRgb24);
  EXPECT_EQ(At(dib, 0, 0), Bgr(10, 0, 0));
  EXPECT_EQ(At(dib, 1, 0), Bgr(10, 0, 0));
  EXPECT_EQ(At(dib, 2, 0), Bgr(200, 0, 0));

  ImageRecord* wide = Make(40, 20, [](int x, int y) { return Rgba{x, y, 0, 255}; });
  // Shrinking reaches both edges: (width - 1) x / (W - 1).
  ViewRecord shrunk{.image = wide, .clientWidth = 3, .clientHeight = 3};
  dib = Render(wide, &shrunk, kModeRgb24);
  EXPECT_EQ(At(dib, 0, 0), Bgr(0, 0, 0));
  EXPECT_EQ(At(dib, 1, 1), Bgr(19, 9, 0));
  EXPECT_EQ(At(dib, 2, 2), Bgr(39, 19, 0));

  // A zoomed region; columns past the image show the off-image colour.
  TheProgram().display.backColour = {1, 2, 3};
  ViewRecord zoomed{.image = wide, .zoomKind = 2, .left = 30, .top = 4, .right = 50, .bottom = 8,
                    .clientWidth = 4, .clientHeight = 2};
  dib = Render(wide, &zoomed, kModeRgb24);
  EXPECT_EQ(At(dib, 0, 0), Bgr(30, 4, 0));
  EXPECT_EQ(At(dib, 1, 1), Bgr(35, 6, 0));
  EXPECT_EQ(At(dib, 2, 0), Bgr(1, 2, 3));

  // Maximised: fitted keeping its shape, centred, margins in the off-image
  // colour, and the region widened over the margins afterwards.
  ViewRecord max{.image = wide, .left = 0, .top = 0, .right = 39, .bottom = 19, .clientWidth = 10,
                 .clientHeight = 10, .placement = ViewPlacement::Maximised};
  dib = Render(wide, &max, kModeRgb24);
  EXPECT_EQ(At(dib, 5, 1), Bgr(1, 2, 3));
  EXPECT_EQ(At(dib, 5, 7), Bgr(1, 2, 3));
  EXPECT_EQ(At(dib, 0, 2), Bgr(0, 0, 0));
  EXPECT_EQ(At(dib, 9, 6), Bgr(35, 15, 0));  // 9 x 39 / 10, 4 x 19 / 5
  // 2 margin rows of 19/5 pixels above and below.
  EXPECT_EQ((std::array<int, 4>{max.left, max.top, max.right, max.bottom}), (std::array<int, 4>{0, -7, 39, 31}));
  // Rendered again it is drawn the same way through the widened region.
  Dib again = Render(wide, &max, kModeRgb24);
  EXPECT_EQ(At(again, 9, 6), Bgr(35, 15, 0));
  EXPECT_EQ(At(again, 5, 1), Bgr(1, 2, 3));

  // Pixels twice as dense across as down are drawn half as wide.
  ImageRecord* dense = Make(20, 20, [](int, int) { return Rgba{255, 255, 255, 255}; });
  dense->dpiXNum = 400;
  ViewRecord fit{.image = dense, .right = 19, .bottom = 19, .clientWidth = 10, .clientHeight = 10,
                 .placement = ViewPlacement::Detached};
  dib = Render(dense, &fit, kModeRgb24);
  EXPECT_EQ(At(dib, 1, 5), Bgr(1, 2, 3));
  EXPECT_EQ(At(dib, 2, 5), 0xFFFFFFu);
  EXPECT_EQ(At(dib, 6, 5), 0xFFFFFFu);
  EXPECT_EQ(At(dib, 7, 5), Bgr(1, 2, 3));
}

// A fitted view's region is widened over its margins by the first render;
// every later render (a band refreshed after a change, a repaint) goes
// through that region and must draw the picture where the first one did.
TEST_F(RenderTest, FittedViewsRenderAgainThroughTheirWidenedRegionUnchanged) {
  ImageRecord* image = Make(97, 61, [](int x, int y) { return Rgba{x * 2, y * 4, (x * y) & 255, 255}; });
  struct Case {
    int w, h;
    ViewPlacement placement;
    std::uint16_t zoomKind;
    std::array<int, 4> region;
  };
  const Case cases[] = {
      {300, 120, ViewPlacement::Maximised, 0, {0, 0, 96, 60}},    // letterboxed across, magnified
      {160, 400, ViewPlacement::Maximised, 0, {0, 0, 96, 60}},    // letterboxed down
      {53, 37, ViewPlacement::Detached, 0, {0, 0, 96, 60}},       // shrunk
      {8, 3, ViewPlacement::Maximised, 0, {0, 0, 96, 60}},        // tiny
      {200, 90, ViewPlacement::Maximised, 1, {40, 20, 49, 25}},   // zoomed in, margins over the image
      {120, 100, ViewPlacement::Maximised, 1, {-30, 50, 20, 70}}, // zoomed in past the edges
      {250, 140, ViewPlacement::Maximised, 2, {-40, -30, 140, 90}},  // zoomed out
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.w << "x" << c.h << " zoom " << c.zoomKind);
    ViewRecord view{.image = image, .zoomKind = c.zoomKind, .left = c.region[0], .top = c.region[1],
                    .right = c.region[2], .bottom = c.region[3], .clientWidth = c.w, .clientHeight = c.h,
                    .placement = c.placement};
    Dib first = Render(image, &view, kModeRgb24);
    const std::array<int, 4> widened{view.left, view.top, view.right, view.bottom};
    EXPECT_EQ(Render(image, &view, kModeRgb24), first);
    EXPECT_EQ((std::array<int, 4>{view.left, view.top, view.right, view.bottom}), widened);
    // The same region given to a fresh view (as the command line does).
    ViewRecord fresh = view;
    fresh.zoomKind = c.zoomKind ? c.zoomKind : kZoomIn;
    EXPECT_EQ(Render(image, &fresh, kModeRgb24), first);
    // A band refreshed after a change holds the rows of the whole picture.
    host->viewRows.clear();
    ASSERT_EQ(RefreshViewRows(&view, 0, c.h / 3, c.w - 1, c.h / 2), 0);
    ASSERT_EQ(host->viewRows.size(), 1u);
    for (int y = c.h / 3; y <= c.h / 2; ++y)
      for (int x = 0; x < c.w; ++x) ASSERT_EQ(At(host->viewRows[0].dib, x, y), At(first, x, y)) << x << "," << y;
  }
}

TEST_F(RenderTest, DocumentedSinglePixelCases) {
  EXPECT_EQ(At(Render(Solid({128, 128, 128, 255}), nullptr, kModeColour256), 0, 0), 234u);
  EXPECT_EQ(At(Render(Solid({0, 0, 0, 255}), nullptr, kModeColour256), 0, 0), 0u);
  EXPECT_EQ(At(Render(Solid({24, 24, 24, 255}), nullptr, kModeColour256), 0, 0), 0u);  // k = 1
  // Mode 5's threshold, reached exactly through an alpha view's gray.
  ViewRecord alphaView{.kind = kViewKindAlpha};
  EXPECT_EQ(At(Render(Solid({0, 0, 0, 192}, true), &alphaView, kModeBlackWhite), 0, 0), 0u);
  EXPECT_EQ(At(Render(Solid({0, 0, 0, 193}, true), &alphaView, kModeBlackWhite), 0, 0), 1u);
}

TEST_F(RenderTest, AlphaBlendingAndAlphaViews) {
  DisplayState& d = TheProgram().display;
  d.alphaColour = {10, 200, 77};
  ImageRecord* image = Make(3, 1, [](int x, int) { return Rgba{200, 100, 50, x * 128 > 255 ? 255 : x * 128}; }, true);
  Dib dib = Render(image, nullptr, kModeRgb24);
  EXPECT_EQ(At(dib, 0, 0), Bgr(10, 200, 77));  // fully transparent: AlphaColor exactly
  EXPECT_EQ(At(dib, 1, 0), Bgr((200 * 128 + 10 * 127) / 255, (100 * 128 + 200 * 127) / 255, (50 * 128 + 77 * 127) / 255));
  EXPECT_EQ(At(dib, 2, 0), Bgr(200, 100, 50));
  dib = Render(image, nullptr, kModeRgb32);
  EXPECT_EQ(At(dib, 0, 0), Bgr(10, 200, 77));
  EXPECT_EQ(At(dib, 1, 0) >> 24, 128u);  // alpha kept

  d.alphaBack = 0;
  EXPECT_EQ(At(Render(image, nullptr, kModeRgb24), 0, 0), Bgr(200, 100, 50));

  ViewRecord alphaView{.image = image, .kind = kViewKindAlpha, .clientWidth = 3, .clientHeight = 1};
  dib = Render(image, &alphaView, kModeRgb32);
  EXPECT_EQ(At(dib, 1, 0), 128u * 0x010101u);  // gray, alpha 0
  EXPECT_EQ(At(Render(image, &alphaView, kModeGray256), 1, 0), 128u);

  // An image without alpha has meaningless alpha bytes: its alpha view is white.
  ImageRecord* opaque = Make(2, 2, [](int x, int y) { return Rgba{9, 9, 9, x + y}; });
  ViewRecord opaqueView{.image = opaque, .kind = kViewKindAlpha, .clientWidth = 2, .clientHeight = 2};
  dib = Render(opaque, &opaqueView, kModeRgb24);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) EXPECT_EQ(At(dib, x, y), 0xFFFFFFu);
}

// The documented diffusion written out plainly: one pass per DIB row from the
// bottom, serpentine where the mode says so, quantizers from the tables as
// documented. Returns the shown value (index, or packed colour for mode 6)
// of every window pixel, rows top-down.
std::vector<std::uint32_t> ReferenceDiffusion(int mode, int w, int h, const std::function<Rgba(int, int)>& colour) {
  static const int kRedTop[] = {24, 66, 109, 151, 194, 236, 255};
  static const int kGreenTop[] = {20, 56, 93, 129, 166, 202, 238, 255};
  static const int kBlueTop[] = {52, 137, 222, 255};
  static const int kStandard[16][3] = {{0, 0, 0},     {128, 0, 0},     {0, 128, 0},   {128, 128, 0},
                                       {0, 0, 128},   {128, 0, 128},   {0, 128, 128}, {192, 192, 192},
                                       {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                                       {0, 0, 255},   {255, 0, 255},   {0, 255, 255}, {255, 255, 255}};
  auto level = [](const int* tops, int v) {
    int l = 0;
    while (v > tops[l]) ++l;
    return l;
  };
  auto clamp = [](int v) { return v < 0 ? 0 : v > 255 ? 255 : v; };
  std::vector<std::uint32_t> out(std::size_t(w) * h);
  std::vector<int> below[3];
  for (auto& b : below) b.assign(std::size_t(w), 0);
  int carried[3] = {0, 0, 0};
  for (int row = 0; row < h; ++row) {
    int y = h - 1 - row;
    bool reverse = (row % 2 == 1) && mode != 6 && mode != 7;
    int left[3] = {0, 0, 0};
    if (mode == 6) std::copy(carried, carried + 3, left);
    for (int i = 0; i < w; ++i) {
      int x = reverse ? w - 1 - i : i;
      Rgba c = colour(x, y);
      int gray = c[0] * 85 / 255 + c[1] * 105 / 255 + c[2] * 65 / 255;
      int in[3] = {c[0], c[1], c[2]};
      int channels = (mode == 1 || mode == 3 || mode == 6) ? 3 : 1;
      if (channels == 1) in[0] = gray;
      int v[3], shown[3] = {0, 0, 0};
      for (int k = 0; k < channels; ++k) v[k] = clamp(in[k] + (left[k] + below[k][std::size_t(x)]) / 2);
      std::uint32_t result = 0;
      if (mode == 1) {
        if ((v[0] >> 5) == (v[1] >> 5) && (v[1] >> 5) == (v[2] >> 5)) {
          int k = 21 * (v[0] + v[1] + v[2]) / 767;
          result = k >= 3 ? 224 + k : 0;
          int g = k >= 3 ? k * 255 / 21 : 0;
          shown[0] = shown[1] = shown[2] = g;
        } else {
          int r = level(kRedTop, v[0]), g = level(kGreenTop, v[1]), b = level(kBlueTop, v[2]);
          result = r * 32 + g * 4 + b;
          shown[0] = r * 255 / 6, shown[1] = g * 255 / 7, shown[2] = b * 85;
        }
      } else if (mode == 3) {
        result = StandardColourIndex(v[0], v[1], v[2]);
        for (int k = 0; k < 3; ++k) shown[k] = kStandard[result][k];
      } else if (mode == 6) {
        shown[0] = (v[0] & 0xF8) + ((v[0] & 0xF8) >> 5);
        shown[1] = (v[1] & 0xFC) + ((v[1] & 0xFC) >> 6);
        shown[2] = (v[2] & 0xF8) + ((v[2] & 0xF8) >> 5);
        result = std::uint32_t(v[2] | v[1] << 8 | v[0] << 16);
      } else if (mode == 4) {
        result = v[0] / 16;
        shown[0] = 17 * int(result);
      } else if (mode == 5) {
        result = v[0] > 192;
        shown[0] = result ? 255 : 0;
      } else {  // 7
        result = v[0] / 4;
        shown[0] = 4 * int(result) + int(result) / 16;
      }
      for (int k = 0; k < channels; ++k) left[k] = below[k][std::size_t(x)] = v[k] - shown[k];
      out[std::size_t(y) * w + x] = result;
    }
    std::copy(left, left + 3, carried);
  }
  return out;
}

TEST_F(RenderTest, GradientMatchesPlainDiffusionInEveryDitheredMode) {
  auto colour = [](int x, int y) { return Rgba{x * 255 / 36, (y * 13 + x * 3) % 256, 255 - x * 5, 255}; };
  ImageRecord* image = Make(37, 21, colour);
  for (int mode : {1, 3, 4, 5, 6, 7}) {
    SCOPED_TRACE(mode);
    Dib dib = Render(image, nullptr, mode);
    DibLayout l;
    ASSERT_TRUE(ReadDibLayout(dib, l));
    std::vector<std::uint32_t> expected = ReferenceDiffusion(mode, 37, 21, colour);
    int mismatches = 0;
    for (int y = 0; y < 21; ++y)
      for (int x = 0; x < 37; ++x)
        if (DibPixel(dib, l, x, y) != expected[std::size_t(y) * 37 + x]) ++mismatches;
    EXPECT_EQ(mismatches, 0);
  }
}

TEST_F(RenderTest, ResizeStopsA256ColourRenderOnly) {
  ImageRecord* image = Make(8, 40, [](int x, int y) { return Rgba{x * 30, y * 6, 90, 255}; });
  ViewRecord view{.image = image, .reRender = 0, .renderState = 1, .clientWidth = 8, .clientHeight = 40};
  host->onPump = [&] { view.renderState = kRenderStateResized; };
  int placesBefore = TheProgram().memory.placesInUse;
  EXPECT_EQ(RenderView(image, &view, nullptr, kModeColour256, 0, 39), nullptr);
  EXPECT_EQ(view.renderState, 1);
  EXPECT_EQ(view.reRender, 1);
  ASSERT_GE(host->progress.size(), 2u);
  EXPECT_EQ(host->progress[1].operationText, "Render");
  EXPECT_FALSE(IsBusy());
  EXPECT_EQ(image->lockCount, 0);
  EXPECT_EQ(TheProgram().display.xmap, nullptr);
  EXPECT_EQ(TheProgram().memory.placesInUse, placesBefore + 3);  // only the error rows are kept
  EXPECT_TRUE(host->messages.empty());

  view.renderState = kRenderStateResized;
  PlaceHandle dib = RenderView(image, &view, nullptr, kModeRgb24, 0, 39);
  EXPECT_NE(dib, nullptr);
  FreeVirtual(dib);
}

TEST_F(RenderTest, FailuresTellTheUserAndRenderNothing) {
  ImageRecord* image = Solid({1, 2, 3, 255});
  auto& faults = TheProgram().memory.faults;
  faults.allocate = [](std::int64_t) { return true; };
  EXPECT_TRUE(Render(image, nullptr, kModeRgb24).empty());
  ASSERT_EQ(host->messages.size(), 1u);
  EXPECT_EQ(host->messages[0].number, 22);
  EXPECT_EQ(host->messages[0].extra, "to display");

  faults.allocate = nullptr;
  Render(image, nullptr, kModeRgb24);  // maps now exist
  faults.allocate = [](std::int64_t) { return true; };
  EXPECT_TRUE(Render(image, nullptr, kModeColour256).empty());
  EXPECT_EQ(host->messages.back().extra, "to draw");
  EXPECT_TRUE(Render(image, nullptr, kModeRgb24).empty());  // the DIB itself
  EXPECT_EQ(host->messages.back().number, 0);
  faults.allocate = nullptr;

  int locks = 0;
  faults.lock = [&] { return ++locks == 2; };  // the DIB locks, the image does not
  EXPECT_TRUE(Render(image, nullptr, kModeRgb24).empty());
  EXPECT_EQ(host->messages.back().title, "Error");
  EXPECT_EQ(host->messages.back().text, "Cannot get real image memory");
  faults.lock = nullptr;
  EXPECT_EQ(image->lockCount, 0);
  EXPECT_EQ(TheProgram().memory.placesInUse, 5);  // the image (3) and the maps (2): no DIB left behind
}

TEST_F(RenderTest, RefreshSetsOnlyTheClampedBand) {
  ImageRecord* image = Make(6, 8, [](int x, int y) { return Rgba{x * 40, y * 30, 5, 255}; });
  ViewRecord view{.image = image, .clientWidth = 6, .clientHeight = 8};
  Dib full = Render(image, &view, kModeRgb24);
  EXPECT_EQ(RefreshViewRows(&view, 0, 2, 5, 4), 0);
  ASSERT_EQ(host->viewRows.size(), 1u);
  const auto& band = host->viewRows[0];
  EXPECT_EQ(band.view, &view);
  EXPECT_EQ(band.startRow, 3);  // 8 - 4 - 1
  EXPECT_EQ(band.rowCount, 3);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 6; ++x)
      EXPECT_EQ(At(band.dib, x, y), (y >= 2 && y <= 4) ? At(full, x, y) : 0u) << x << "," << y;

  EXPECT_EQ(RefreshViewRows(&view, 0, -5, 5, 100), 0);
  EXPECT_EQ(host->viewRows.back().startRow, 0);
  EXPECT_EQ(host->viewRows.back().rowCount, 8);
  EXPECT_EQ(RefreshViewRows(&view, 0, 9, 5, 12), 0);  // below the client: nothing to show
  EXPECT_EQ(host->viewRows.size(), 2u);
}

TEST_F(RenderTest, DisplayInformationAndStartingMode) {
  DisplayInformation info = DescribeDisplay({.bitsPerPixel = 24, .planes = 1, .colourResolution = 8, .width = 800, .height = 600});
  EXPECT_EQ(info.depthText, "  24");
  EXPECT_EQ(info.widthText, " 800");
  EXPECT_EQ(info.colours, "16.8 million");
  EXPECT_EQ(info.recommended, "RGB 24-bit");
  info = DescribeDisplay({.bitsPerPixel = 16, .planes = 1, .colourResolution = 0});
  EXPECT_EQ(info.paletteDepth, 18);
  EXPECT_EQ(info.colours, "65,536");
  info = DescribeDisplay({.bitsPerPixel = 1, .planes = 18, .colourResolution = 18});
  EXPECT_EQ(info.colours, "262144");
  EXPECT_EQ(info.recommended, "RGB 24-bit");
  EXPECT_EQ(DescribeDisplay({.bitsPerPixel = 15}).recommended, "RGB 16-bit");
  EXPECT_EQ(DescribeDisplay({.bitsPerPixel = 2}).colours, "4");

  EXPECT_EQ(InitialDisplayMode(32, 20), kModeRgb24);
  EXPECT_EQ(InitialDisplayMode(16, 20), kModeRgb16);
  EXPECT_EQ(InitialDisplayMode(8, 20), kModeColour256);
  EXPECT_EQ(InitialDisplayMode(1, 20), kModeBlackWhite);
  EXPECT_EQ(InitialDisplayMode(24, 4), kModeGray16);
  EXPECT_EQ(InitialDisplayMode(8, 12), kModeColour256);  // no such mode: keep the screen's
}

}  // namespace
}  // namespace qv
