#include "ops/colour_ops.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

#include "base/colour_space.h"
#include "base/messages.h"
#include "base/progress.h"
#include "display/colour_reduce.h"
#include "extlib/palette_library.h"
#include "ops/apply.h"
#include "ops/apply_state.h"
#include "ops/op_menu.h"
#include "ops/op_state.h"
#include "ops/row_bands.h"
#include "store/display_palettes.h"
#include "store/image_record.h"
#include "store/memory_places.h"

namespace qv {
namespace {

constexpr OpId kContrast = 3181, kBrightness = 3182, kGamma = 3183, kBalance = 3184, kHistogram = 3185,
               kColorFill = 3186, kSample = 3187, kColorize = 3188, kRemap = 3189, kMonochrome = 3179,
               kBuildPalette = 3178, kKeyToAlpha = 3193, kInvertAlpha = 3194, kHardenAlpha = 3195;
constexpr int kMessageNoMemory = 22;
constexpr int kCells = 64 * 64 * 64;


// Gamma's offsets: a lift of the mid-tones that vanishes at both ends.
constexpr std::int16_t kGammaOffsets[256] = {
    0,   1,   2,   3,   4,   5,   6,   8,   10,  9,   8,   7,   6,   5,   4,   4,   3,   2,   2,   2,   1,   0,
    0,   0,   -1,  -2,  -3,  -4,  -4,  -5,  -6,  -6,  -7,  -8,  -8,  -9,  -9,  -10, -10, -11, -11, -12, -13, -14,
    -14, -15, -16, -16, -17, -18, -18, -19, -19, -20, -20, -21, -21, -22, -22, -23, -23, -24, -24, -25, -25, -26,
    -27, -28, -28, -29, -29, -30, -31, -31, -32, -32, -33, -34, -34, -35, -35, -36, -36, -37, -37, -38, -38, -39,
    -39, -40, -40, -41, -41, -42, -42, -43, -43, -44, -44, -45, -45, -46, -46, -47, -47, -48, -49, -50, -50, -51,
    -51, -52, -53, -54, -55, -56, -56, -57, -58, -58, -59, -60, -60, -61, -62, -62, -63, -64, -64, -65, -66, -66,
    -67, -68, -68, -69, -69, -70, -70, -70, -70, -70, -71, -71, -71, -72, -72, -72, -72, -72, -73, -73, -73, -74,
    -74, -74, -74, -74, -74, -74, -74, -74, -74, -74, -74, -74, -74, -74, -75, -75, -75, -75, -75, -75, -75, -75,
    -75, -76, -76, -76, -76, -76, -77, -77, -77, -78, -78, -78, -78, -78, -78, -78, -78, -78, -78, -78, -78, -78,
    -78, -78, -78, -78, -78, -77, -77, -77, -77, -77, -77, -77, -76, -74, -73, -72, -70, -68, -67, -66, -64, -62,
    -61, -60, -58, -56, -55, -54, -52, -50, -49, -48, -46, -44, -43, -42, -40, -38, -37, -36, -34, -32, -31, -30,
    -28, -26, -24, -23, -22, -20, -17, -14, -11, -8,  -6,  -4,  -2,  0};

int Clamp255(long v) { return static_cast<int>(std::clamp<long>(v, 0, 255)); }

ColourOpsState& Col() { return Pipeline().colour; }
std::int32_t* V() { return Col().values; }

// Fills R, G, B and A tables; 1 when they cannot be had.
template <class F>
int FillTables(F f) {
  for (int c = 0; c < 4; ++c) {
    std::int32_t* t = LookupTable(c);
    if (!t) return 1;
    for (int i = 0; i < 256; ++i) t[i] = f(c, i);
  }
  return 0;
}

int PrepareContrast() {
  const long a = ParamValue(kContrast, 0);
  if (a == 0) return NoChangeCancel();
  return FillTables([a](int, int i) { return Clamp255((a + 100) * (i - 128) / 100 + 128); });
}

int PrepareBrightness() {
  const long a = ParamValue(kBrightness, 0);
  if (a == 0) return NoChangeCancel();
  return FillTables([a](int, int i) { return Clamp255(i * (a + 100) / 100); });
}

int PrepareGamma() {
  const long a = ParamValue(kGamma, 0);
  if (a == 0) return NoChangeCancel();
  return FillTables([a](int, int i) { return Clamp255(i + kGammaOffsets[i] * a / -200); });
}

int PrepareColorFill() {
  const int fill[3] = {ParamValue(kColorFill, 0), ParamValue(kColorFill, 1), ParamValue(kColorFill, 2)};
  return FillTables([&fill](int c, int i) { return c < 3 ? Clamp255(fill[c]) : i; });
}

int PrepareBalance() {
  const SampleColour& s = Col().sample;
  const int sample[3] = {s.red, s.green, s.blue};
  const int range[3] = {s.redRange, s.greenRange, s.blueRange};
  const int target[3] = {ParamValue(kBalance, 1), ParamValue(kBalance, 2), ParamValue(kBalance, 3)};
  if (ParamValue(kBalance, 0) == 0) {
    if (sample[0] == target[0] && sample[1] == target[1] && sample[2] == target[2]) return NoChangeCancel();
    return FillTables([&](int c, int i) {
      if (c == 3) return i;
      const long sc = sample[c], t = target[c];
      if (i < sc) return Clamp255(t * i / sc);
      if (i == sc) return Clamp255(t);
      const long span = 255 - sc == 0 ? 1 : 255 - sc;
      return Clamp255((i - sc) * (255 - t) / span + t);
    });
  }
  if (range[0] == 0 && range[1] == 0 && range[2] == 0) return NoChangeCancel();
  return FillTables([&](int c, int i) {
    if (c == 3) return i;
    int lo = Clamp255(sample[c] - range[c]), hi = Clamp255(sample[c] + range[c]);
    if (hi == lo) hi = lo + 1;
    return Clamp255(255L * (i - lo) / (hi - lo));
  });
}

// The key colour and the two Alpha-point operations need an alpha plane.
int PrepareAlpha() {
  ImageRecord* image = Ctx().image;
  if (!image) return 1;
  if (!image->hasAlpha) {
    if (LockImage(image) != 0) return 1;
    ForceOpaqueAlpha(image);
    image->hasAlpha = 1;
    UnlockImage(image);
  }
  return 0;
}

int PrepareKeyToAlpha() {
  KeyColour k = GetKeyColour();
  std::int32_t* v = V();
  v[0] = k.red;
  v[1] = k.green;
  v[2] = k.blue;
  v[3] = k.redRange;
  v[4] = k.greenRange;
  v[5] = k.blueRange;
  v[6] = ParamValue(kKeyToAlpha, 6);
  v[7] = ParamValue(kKeyToAlpha, 7);
  return PrepareAlpha();
}

void KeyToAlphaWorker(std::uint8_t* p, int m) {
  if (m != 255) return;
  const std::int32_t* v = V();
  const int d[3] = {std::abs(p[0] - v[0]), std::abs(p[1] - v[1]), std::abs(p[2] - v[2])};
  const bool inside = d[0] <= v[3] && d[1] <= v[4] && d[2] <= v[5];
  const bool soft = v[7] != 0;
  if (v[6] == 0) {
    if (!inside) {
      p[3] = 255;
    } else if (!soft) {
      p[3] = 0;
    } else {
      long sum = v[3] + v[4] + v[5];
      p[3] = static_cast<std::uint8_t>(Clamp255((d[0] + d[1] + d[2]) * 255L / (sum == 0 ? 1 : sum)));
    }
    return;
  }
  if (inside) {
    p[3] = 255;
  } else if (!soft) {
    p[3] = 0;
  } else {
    long e = 0, span = 0;
    for (int c = 0; c < 3; ++c) {
      e += Clamp255(d[c] - v[3 + c]);
      span += std::abs(std::max(v[c] - v[3 + c], 255 - v[3 + c] - v[c]));
    }
    p[3] = static_cast<std::uint8_t>(Clamp255(255 - 255 * e / (span == 0 ? 1 : span)));
  }
}

void InvertAlphaWorker(std::uint8_t* p, int m) {
  if (m == 255) p[3] = static_cast<std::uint8_t>(255 - p[3]);
}

int PrepareHardenAlpha() {
  V()[0] = ParamValue(kHardenAlpha, 0);
  V()[1] = ParamValue(kHardenAlpha, 1);
  return PrepareAlpha();
}

void HardenAlphaWorker(std::uint8_t* p, int m) {
  if (m != 255) return;
  const long threshold = V()[0], amount = V()[1];
  if (amount == 100)
    p[3] = p[3] < threshold ? 0 : 255;
  else
    p[3] = static_cast<std::uint8_t>(Clamp255((p[3] - threshold) * amount / 20 + p[3]));
}

// Saturation and lightness depend only on the largest and smallest channel,
// and with the hue fixed the new colour only on them: two tables make the
// per-pixel work a few look-ups.
int PrepareColorize() {
  ColourOpsState& col = Col();
  const int hue = ParamValue(kColorize, 0), saturation = ParamValue(kColorize, 1);
  const bool applySat = ParamValue(kColorize, 2) != 0;
  for (int mx = 0; mx < 256; ++mx)
    for (int mn = 0; mn <= mx; ++mn) {
      Hsl h = RgbToHsl(mx, mn, mn);
      col.colorizeSl[mx * 256 + mn] = static_cast<std::uint16_t>(h.s << 8 | h.l);
    }
  V()[0] = hue / 60 >= 0 && hue / 60 <= 6 && hue >= 0;  // other sectors keep the colour
  for (int sat = 0; sat <= 100; ++sat)
    for (int l = 0; l <= 100; ++l) {
      RgbColour out = HslToRgb({hue, applySat ? saturation : sat, l}, {0, 0, 0});
      std::uint8_t* t = col.colorizeRgb[sat * 101 + l];
      t[0] = static_cast<std::uint8_t>(Clamp255(out.r));
      t[1] = static_cast<std::uint8_t>(Clamp255(out.g));
      t[2] = static_cast<std::uint8_t>(Clamp255(out.b));
    }
  return 0;
}

inline void Colorize(const ColourOpsState& col, bool alpha, std::uint8_t* p, int m) {
  const int in[3] = {alpha ? p[3] : p[0], alpha ? p[3] : p[1], alpha ? p[3] : p[2]};
  int out[3] = {in[0], in[1], in[2]};
  if (col.values[0]) {
    const int mx = std::max({in[0], in[1], in[2]}), mn = std::min({in[0], in[1], in[2]});
    const std::uint16_t sl = col.colorizeSl[mx * 256 + mn];
    const std::uint8_t* t = col.colorizeRgb[(sl >> 8) * 101 + (sl & 255)];
    out[0] = t[0];
    out[1] = t[1];
    out[2] = t[2];
  }
  if (!alpha && m == 255) {  // the blend below would give exactly the new colour
    p[0] = static_cast<std::uint8_t>(out[0]);
    p[1] = static_cast<std::uint8_t>(out[1]);
    p[2] = static_cast<std::uint8_t>(out[2]);
    return;
  }
  const int k = 255 - m;
  const int r = (in[0] * k + out[0] * m) / 255;
  const int g = (in[1] * k + out[1] * m) / 255;
  const int b = (in[2] * k + out[2] * m) / 255;
  if (!alpha) {
    p[0] = static_cast<std::uint8_t>(r);
    p[1] = static_cast<std::uint8_t>(g);
    p[2] = static_cast<std::uint8_t>(b);
  } else {
    p[3] = static_cast<std::uint8_t>(Luminance(r, g, b));
  }
}

void ColorizeWorker(std::uint8_t* p, int m) { Colorize(Col(), Ctx().affectAlpha, p, m); }

void ColorizeRow(std::uint8_t* p, const std::uint8_t* mask, int count) {
  const ColourOpsState& col = Col();
  const bool alpha = Ctx().affectAlpha;
  for (int i = 0; i < count; ++i, p += 4)
    if (mask[i]) Colorize(col, alpha, p, mask[i]);
}

int PrepareRemap() {
  ColourOpsState& col = Col();
  const int nearness = ParamValue(kRemap, 0);
  const int n = PaletteCount(col.remapFrom);
  V()[0] = nearness;
  V()[1] = n;
  const std::uint8_t* from[3] = {col.remapFrom.red, col.remapFrom.green, col.remapFrom.blue};
  std::memset(col.remapNear, 0, sizeof col.remapNear);
  for (int c = 0; c < 3; ++c)
    for (int i = 0; i < n; ++i) {
      // An L1 distance within Nearness needs every channel within it too.
      const int lo = std::max(0, from[c][i] - nearness), hi = std::min(255, from[c][i] + nearness);
      for (int v = lo; v <= hi; ++v) col.remapNear[c][v][i >> 6] |= std::uint64_t{1} << (i & 63);
    }
  return 0;
}

void RemapWorker(std::uint8_t* p, int) {
  const ColourOpsState& col = Col();
  const PaletteRecord& from = col.remapFrom;
  const PaletteRecord& to = col.remapTo;
  const int nearness = col.values[0], words = (col.values[1] + 63) >> 6;
  const std::uint64_t* nr = col.remapNear[0][p[0]];
  const std::uint64_t* ng = col.remapNear[1][p[1]];
  const std::uint64_t* nb = col.remapNear[2][p[2]];
  // Candidates in palette order, so the first listed entry still wins.
  for (int w = 0; w < words; ++w) {
    for (std::uint64_t bits = nr[w] & ng[w] & nb[w]; bits != 0; bits &= bits - 1) {
      const int i = w * 64 + std::countr_zero(bits);
      const int d = std::abs(p[2] - from.blue[i]) + std::abs(p[1] - from.green[i]) + std::abs(p[0] - from.red[i]);
      if (d <= nearness) {
        p[0] = static_cast<std::uint8_t>(Clamp255(p[0] - from.red[i] + to.red[i]));
        p[1] = static_cast<std::uint8_t>(Clamp255(p[1] - from.green[i] + to.green[i]));
        p[2] = static_cast<std::uint8_t>(Clamp255(p[2] - from.blue[i] + to.blue[i]));
        return;
      }
    }
  }
}

std::uint32_t MonochromeWorker(std::uint32_t pixel) {
  std::uint8_t b[4];
  std::memcpy(b, &pixel, 4);
  const std::uint8_t grey = static_cast<std::uint8_t>(MonochromeGrey(b[0], b[1], b[2], Col().values[0] != 0));
  b[0] = b[1] = b[2] = grey;
  std::memcpy(&pixel, b, 4);
  return pixel;
}

void MonochromeRow(std::uint32_t* values, int count) {
  const bool luminance = Col().values[0] != 0;
  // A value holds the pixel's bytes in memory order.
  constexpr bool kLittle = std::endian::native == std::endian::little;
  constexpr int kR = kLittle ? 0 : 24, kG = kLittle ? 8 : 16, kB = kLittle ? 16 : 8;
  constexpr std::uint32_t kAlpha = kLittle ? 0xFF000000u : 0xFFu;
  auto row = [&](auto grey) {
    for (int i = 0; i < count; ++i) {
      const std::uint32_t v = values[i];
      const std::uint32_t g = grey((v >> kR) & 255, (v >> kG) & 255, (v >> kB) & 255);
      values[i] = (v & kAlpha) | g << kR | g << kG | g << kB;
    }
  };
  if (luminance)
    row([](std::uint32_t r, std::uint32_t g, std::uint32_t b) { return (30 * r + 59 * g + 11 * b + 50) / 100; });
  else
    row([](std::uint32_t r, std::uint32_t g, std::uint32_t b) { return (r + g + b + 1) / 3; });
}

int PrepareMonochrome() {
  V()[0] = ParamValue(kMonochrome, 0);
  return 0;
}

// Walks the selected pixels of the box, reporting lines from `lineBase`.
template <class F>
int ForSelected(int lineBase, F f) {
  const ApplyContext& c = Ctx();
  for (int y = c.y0; y <= c.y1; ++y) {
    if (Progress(lineBase + y - c.y0) != 0) return 1;
    const std::uint8_t* p = PixelAt(c.image, c.x0, y);
    const std::uint8_t* m = c.mask + static_cast<std::size_t>(y) * c.image->width + c.x0;
    for (int x = c.x0; x <= c.x1; ++x, p += 4, ++m)
      if (*m) f(p);
  }
  return 0;
}

int GatherHistogram(std::uint8_t*, std::uint8_t*) {
  auto& counts = Col().histogram;
  std::int64_t wide[3][256] = {};
  if (ForSelected(0, [&](const std::uint8_t* p) {
        ++wide[0][p[0]];
        ++wide[1][p[1]];
        ++wide[2][p[2]];
      }) != 0)
    return 1;
  std::int64_t largest = 0;
  for (auto& channel : wide) largest = std::max(largest, *std::max_element(channel, channel + 256));
  for (int c = 0; c < 3; ++c)
    for (int i = 0; i < 256; ++i) counts[c][i] = largest == 0 ? 0 : static_cast<std::int32_t>(wide[c][i] * 100 / largest);
  RefreshSettingsDialog();
  return 0;
}

// Histograms of R, G, B, H, S and L of the selected pixels: every sum and
// extreme Sample reports depends on a pixel only through those six values.
struct SampleBins {
  static constexpr int kHue = 768, kSat = kHue + 361, kLight = kSat + 101, kSize = kLight + 101;
  std::int64_t count[kSize] = {};
  // Rows count into two sets of 32-bit bins, even and odd columns apart so
  // that an addition seldom waits for the one before (neighbours mostly
  // fall in the same bins); both together stay within the first level of
  // cache. Fold moves them into the totals before they could overflow.
  std::uint32_t lanes[2][kSize] = {};
  std::int64_t pending = 0;
  std::int64_t pixels = 0;

  void AddRow(const std::uint8_t* p, const std::uint8_t* m, int width) {
    constexpr int kChunk = 256;
    std::int32_t hue[kChunk], sat[kChunk], light[kChunk];
    if (pending + width > (std::int64_t{1} << 31)) Fold();
    std::int64_t selected = 0;
    for (int x0 = 0; x0 < width; x0 += kChunk) {
      const int n = std::min(kChunk, width - x0);
      const std::uint8_t* pc = p + std::size_t{4} * x0;
      const std::uint8_t* mc = m + x0;
      // Most stretches of a selection are wholly in or wholly out: those
      // take no test per pixel.
      const bool whole = std::memchr(mc, 0, static_cast<std::size_t>(n)) == nullptr;
      if (!whole && std::all_of(mc, mc + n, [](std::uint8_t v) { return v == 0; })) continue;
      RgbToHslRow(pc, n, hue, sat, light);
      for (int x = 0; x < n; ++x) {
        if (!whole && !mc[x]) continue;
        std::uint32_t* bins = lanes[x & 1];
        const std::uint8_t* q = pc + 4 * x;
        ++bins[q[0]];
        ++bins[256 + q[1]];
        ++bins[512 + q[2]];
        ++bins[kHue + hue[x]];
        ++bins[kSat + sat[x]];
        ++bins[kLight + light[x]];
        ++selected;
      }
    }
    pixels += selected;
    pending += width;
  }
  void Fold() {
    for (int i = 0; i < kSize; ++i) count[i] += std::int64_t{lanes[0][i]} + lanes[1][i], lanes[0][i] = lanes[1][i] = 0;
    pending = 0;
  }
};

// Counts the box's rows, in bands over the worker threads when the box is
// large: each band counts into its own bins and adds them to the totals,
// and whole-number sums come out the same in any order.
int GatherSampleBins(SampleBins& totals) {
  const ApplyContext& c = Ctx();
  const int rows = c.y1 - c.y0 + 1, width = c.x1 - c.x0 + 1, y0 = c.y0;
  ImageRecord* image = c.image;
  const std::uint8_t* mask = c.mask + c.x0;
  const std::size_t stride = static_cast<std::size_t>(image->width);
  const int threads = std::int64_t{width} * rows >= (1 << 16) ? RowThreads() : 1;
  if (threads == 1) {
    for (int r = 0; r < rows; ++r) {
      if (Progress(r) != 0) return 1;
      totals.AddRow(PixelAt(image, c.x0, y0 + r), mask + (y0 + r) * stride, width);
    }
    totals.Fold();
    return 0;
  }
  std::mutex merging;
  const int x0 = c.x0;
  return RunRowBands(
      rows, threads,
      [&](int first, int end) {
        auto band = std::make_unique<SampleBins>();
        for (int r = first; r < end; ++r) band->AddRow(PixelAt(image, x0, y0 + r), mask + (y0 + r) * stride, width);
        band->Fold();
        std::lock_guard lock(merging);
        for (int i = 0; i < SampleBins::kSize; ++i) totals.count[i] += band->count[i];
        totals.pixels += band->pixels;
      },
      [](int done) { return Progress(done); });
}

int SampleSelection(std::uint8_t*, std::uint8_t*) {
  const ApplyContext& c = Ctx();
  const int lines = c.y1 - c.y0 + 1;
  SetProgressTotal(2 * lines);
  // One walk over the pixels gathers the histograms; the second pass runs
  // over the histograms instead of the pixels.
  auto bins = std::make_unique<SampleBins>();
  if (GatherSampleBins(*bins) != 0) return 1;
  const std::int64_t* rgb[3] = {bins->count, bins->count + 256, bins->count + 512};
  const std::int64_t* hue = bins->count + SampleBins::kHue;
  const std::int64_t* sat = bins->count + SampleBins::kSat;
  const std::int64_t* light = bins->count + SampleBins::kLight;
  const std::int64_t n = bins->pixels;
  const std::int64_t count = n == 0 ? 1 : n;
  int mean[3];
  for (int k = 0; k < 3; ++k) {
    std::int64_t sum = 0;
    for (int v = 0; v < 256; ++v) sum += rgb[k][v] * v;
    mean[k] = static_cast<int>(sum / count);
  }
  const Hsl h0 = RgbToHsl(mean[0], mean[1], mean[2]);
  if (Progress(lines) != 0) return 1;

  std::int64_t dev[3] = {}, devH = 0, devS = 0, devL = 0;
  int lo[5] = {255, 255, 255, 100, 100}, hi[5] = {0, 0, 0, 0, 0}, maxDh = 0;
  const bool extremes = ParamValue(kSample, 1) != 0;
  auto spread = [](const std::int64_t* bin, int size, int centre, std::int64_t& deviation, int& low, int& high) {
    for (int v = 0; v < size; ++v) {
      if (bin[v] == 0) continue;
      deviation += bin[v] * std::abs(v - centre);
      low = std::min(low, v);
      high = std::max(high, v);
    }
  };
  for (int k = 0; k < 3; ++k) spread(rgb[k], 256, mean[k], dev[k], lo[k], hi[k]);
  spread(sat, 101, h0.s, devS, lo[3], hi[3]);
  spread(light, 101, h0.l, devL, lo[4], hi[4]);
  for (int v = 0; v <= 360; ++v) {
    if (hue[v] == 0) continue;
    int dh = std::abs(v - h0.h);
    if (dh > 180) dh = 360 - dh;
    devH += hue[v] * dh;
    maxDh = std::max(maxDh, dh);
  }
  if (Progress(2 * lines - 1) != 0) return 1;

  SampleColour& s = Col().sample;
  if (extremes && n > 0) {
    s.red = (lo[0] + hi[0]) / 2;
    s.green = (lo[1] + hi[1]) / 2;
    s.blue = (lo[2] + hi[2]) / 2;
    s.redRange = std::abs(hi[0] - lo[0]) / 2;
    s.greenRange = std::abs(hi[1] - lo[1]) / 2;
    s.blueRange = std::abs(hi[2] - lo[2]) / 2;
    s.hue = h0.h;
    s.saturation = (lo[3] + hi[3]) / 2;
    s.lightness = (lo[4] + hi[4]) / 2;
    s.hueRange = maxDh;
    s.saturationRange = std::abs(hi[3] - lo[3]) / 2;
    s.lightnessRange = std::abs(hi[4] - lo[4]) / 2;
  } else {
    s.red = mean[0];
    s.green = mean[1];
    s.blue = mean[2];
    s.redRange = static_cast<int>(dev[0] / count * 2);
    s.greenRange = static_cast<int>(dev[1] / count * 2);
    s.blueRange = static_cast<int>(dev[2] / count * 2);
    s.hue = h0.h;
    s.saturation = h0.s;
    s.lightness = h0.l;
    s.hueRange = static_cast<int>(devH / count * 2);
    s.saturationRange = static_cast<int>(devS / count * 2);
    s.lightnessRange = static_cast<int>(devL / count * 2);
  }
  if (ParamValue(kSample, 0) != 0) {
    KeyColour k = GetKeyColour();
    k.red = s.red;
    k.green = s.green;
    k.blue = s.blue;
    k.redRange = s.redRange;
    k.greenRange = s.greenRange;
    k.blueRange = s.blueRange;
    k.extra.hueRange = s.hueRange;
    k.extra.saturationRange = s.saturationRange;
    k.extra.lightnessRange = s.lightnessRange;
    SetKeyColour(k);
  }
  RefreshSettingsDialog();
  return 0;
}

int BuildPalette(std::uint8_t*, std::uint8_t*) {
  ColourOpsState& col = Col();
  bool fresh = false;
  if (!col.presence) {
    col.presence = static_cast<std::uint8_t*>(AllocReal(kCells, "plbuse"));
    if (!col.presence) {
      ShowMessage(kMessageNoMemory);
      return 1;
    }
    fresh = true;
  }
  if (fresh || ParamValue(kBuildPalette, 0) != 0) std::memset(col.presence, 0, kCells);
  if (ParamValue(kBuildPalette, 1) != 0 &&
      ForSelected(0, [&](const std::uint8_t* p) { col.presence[(p[0] >> 2) * 4096 + (p[1] >> 2) * 64 + (p[2] >> 2)] = 1; }) != 0)
    return 1;
  if (ParamValue(kBuildPalette, 2) != 0) {
    PaletteRecord& render = PaletteLibrary().render;
    if (SelectPaletteFromCells(col.presence, render, NumberOfColours(), 0) != 0) return 1;
  }
  return 0;
}

const OpRoutineEntry kRoutines[] = {
    {kContrast, {PrepareContrast, nullptr, LookupTableWorker, nullptr, nullptr, nullptr, nullptr, nullptr, LookupTableRow}},
    {kBrightness, {PrepareBrightness, nullptr, LookupTableWorker, nullptr, nullptr, nullptr, nullptr, nullptr, LookupTableRow}},
    {kGamma, {PrepareGamma, nullptr, LookupTableWorker, nullptr, nullptr, nullptr, nullptr, nullptr, LookupTableRow}},
    {kColorFill, {PrepareColorFill, nullptr, LookupTableWorker, nullptr, nullptr, nullptr, nullptr, nullptr, LookupTableRow}},
    {kBalance, {PrepareBalance, nullptr, LookupTableWorker, nullptr, nullptr, nullptr, nullptr, nullptr, LookupTableRow}},
    // Inspect while gathering; otherwise the pipeline fills the tables from the map.
    {kHistogram, {nullptr, nullptr, LookupTableWorker, nullptr, nullptr, GatherHistogram, nullptr, nullptr, LookupTableRow}},
    {kSample, {nullptr, nullptr, nullptr, nullptr, nullptr, SampleSelection}},
    {kColorize, {PrepareColorize, nullptr, ColorizeWorker, nullptr, nullptr, nullptr, nullptr, nullptr, ColorizeRow}},
    {kRemap, {PrepareRemap, nullptr, RemapWorker}},
    {kMonochrome, {PrepareMonochrome, nullptr, nullptr, MonochromeWorker, nullptr, nullptr, nullptr, nullptr, nullptr, MonochromeRow}},
    {kBuildPalette, {nullptr, nullptr, nullptr, nullptr, nullptr, BuildPalette}},
    {kKeyToAlpha, {PrepareKeyToAlpha, nullptr, KeyToAlphaWorker}},
    {kInvertAlpha, {PrepareAlpha, nullptr, InvertAlphaWorker}},
    {kHardenAlpha, {PrepareHardenAlpha, nullptr, HardenAlphaWorker}},
};

}  // namespace

std::span<const OpRoutineEntry> ColourOperationRoutines() { return kRoutines; }

int MonochromeGrey(int r, int g, int b, bool luminance) {
  // The grey has always been the weighted sum in double precision plus a
  // half, rounded to single precision and truncated. In hundredths the sum
  // is a whole number, and where that plus a half is not whole it is at
  // least 1/100 (1/6 for the average) from the next whole number, far more
  // than either rounding moves it: whole-number arithmetic gives the same
  // grey for every colour, and the compiler can vectorise it.
  return luminance ? (30 * r + 59 * g + 11 * b + 50) / 100 : (r + g + b + 1) / 3;
}

}  // namespace qv
