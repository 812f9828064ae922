// The Alpha group's own operations: Make Alpha builds the alpha plane from
// the selection (optionally shaped by a picture's brightness), Soften Alpha
// ramps hard alpha edges, Shave Alpha flattens single bumps in the alpha.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base/messages.h"
#include "base/progress.h"
#include "ops/apply.h"
#include "ops/bilinear.h"
#include "ops/collage_ops.h"
#include "ops/effect_support.h"
#include "ops/op_state.h"
#include "store/image_record.h"
#include "store/memory_places.h"

namespace qv {
namespace {

constexpr int kMessageNoMemory = 22;
constexpr int kMessageNoMemoryForResult = 70;

CollageState& Col() { return Pipeline().collage; }

// ---- Make Alpha -------------------------------------------------------------

int PrepareMakeAlpha() {
  ApplyContext& c = Ctx();
  c.x0 = 0;
  c.y0 = 0;
  c.x1 = c.image->width - 1;
  c.y1 = c.image->height - 1;
  Col().picture = ParamValue(kMakeAlpha, 1) != 0 ? CollagePicture(c.image) : nullptr;
  return 0;
}

// Where the picture's brightness is read for one output column or row: the
// picture stretched over the selection's ellipse around its centre.
struct Tap {
  std::int64_t i;
  int g;
};
std::vector<Tap> BrightnessTaps(int count, int centre, int radius, int size) {
  std::vector<Tap> taps(static_cast<std::size_t>(count));
  const double span = static_cast<double>(std::max<std::int64_t>(2 * std::int64_t{radius}, 1));
  const double middle = static_cast<double>((std::int64_t{size} + 1) / 2);
  for (int v = 0; v < count; ++v) {
    SamplePoint s{};
    SplitPosition(static_cast<double>(v - centre) / span * size + middle, 0, s);
    taps[static_cast<std::size_t>(v)] = {s.ix, s.gx};
  }
  return taps;
}

// A picture row's brightness. Three table reads per pixel: gathered
// through memory by the vectoriser they run slower than plain loads.
#if defined(__GNUC__) && !defined(__clang__)
__attribute__((optimize("no-tree-vectorize")))
#endif
void BrightnessRow(const std::uint8_t* q, int width, std::uint8_t* out) {
  for (int x = 0; x < width; ++x, q += 4) out[x] = static_cast<std::uint8_t>(Lum(q[0], q[1], q[2]));
}

// Brightness rows b0 and b1 summed for every column: along at fraction
// fraction[x] from offset[x], then down with wy0 and wy1.
#if defined(__GNUC__) && !defined(__clang__)
__attribute__((optimize("no-tree-vectorize")))
#endif
void ShadeRow(const std::uint8_t* b0, const std::uint8_t* b1, const std::int32_t* offset, const std::int32_t* fraction,
              int wy0, int wy1, int count, std::uint8_t* shade) {
  for (int x = 0; x < count; ++x) {
    const std::size_t i = static_cast<std::size_t>(offset[x]);
    const int gx = fraction[x], gx0 = 256 - gx;
    shade[x] = static_cast<std::uint8_t>(((b0[i] * gx0 + b0[i + 1] * gx) * wy0 + (b1[i] * gx0 + b1[i + 1] * gx) * wy1) >> 16);
  }
}

// The picture's brightness at column tap tx and row tap ty, neighbours
// outside the picture counting 0.
std::uint8_t BrightnessAt(const std::uint8_t* brightness, int width, int height, const Tap& tx, const Tap& ty) {
  auto lum = [&](std::int64_t x, std::int64_t y) -> int {
    return x >= 0 && y >= 0 && x < width && y < height
               ? brightness[static_cast<std::size_t>(y) * width + static_cast<std::size_t>(x)]
               : 0;
  };
  const int w00 = (256 - ty.g) * (256 - tx.g), w10 = (256 - ty.g) * tx.g, w01 = ty.g * (256 - tx.g), w11 = ty.g * tx.g;
  return static_cast<std::uint8_t>(WeightedChannel(lum(tx.i, ty.i), lum(tx.i + 1, ty.i), lum(tx.i, ty.i + 1),
                                                   lum(tx.i + 1, ty.i + 1), w00, w10, w01, w11));
}

int MakeAlphaWorker(std::uint8_t*, std::uint8_t* mask) {
  ApplyContext& c = Ctx();
  ImageRecord* image = c.image;
  const int mode = ParamValue(kMakeAlpha, 2);
  const int w = image->width, h = image->height;
  // The picture's brightness once, and where each column and row reads it.
  PictureRead src;
  // Every byte is written before it is read: no zero fill.
  std::unique_ptr<std::uint8_t[]> brightness;
  std::vector<Tap> columns, rows;
  const bool withSource = Col().picture != nullptr;
  if (withSource) {
    if (!src.Open(Col().picture)) return 1;
    try {
      brightness.reset(new std::uint8_t[static_cast<std::size_t>(src.width) * src.height]);
    } catch (const std::bad_alloc&) {
      ShowMessage(kMessageNoMemoryForResult);
      return 1;
    }
    for (int y = 0; y < src.height; ++y)
      BrightnessRow(src.At(0, y), src.width, brightness.get() + static_cast<std::size_t>(y) * src.width);
    columns = BrightnessTaps(w, c.cx, c.rx, src.width);
    rows = BrightnessTaps(h, c.cy, c.ry, src.height);
  }
  // Columns whose two neighbours both lie inside the picture at a fraction
  // of 0 or more: their sums are taken along the two rows first and then
  // down, the same whole numbers, never below 0 nor above 255 << 16.
  std::vector<std::uint8_t> inside(withSource ? static_cast<std::size_t>(w) : 0);
  std::vector<std::int32_t> offsets(inside.size()), fractions(inside.size());
  for (std::size_t x = 0; x < inside.size(); ++x) {
    inside[x] = columns[x].i >= 0 && columns[x].i + 1 < src.width && columns[x].g >= 0;
    // A column not inside reads the first two harmlessly; its value is
    // replaced.
    offsets[x] = inside[x] ? static_cast<std::int32_t>(columns[x].i) : 0;
    fractions[x] = inside[x] ? columns[x].g : 0;
  }
  std::vector<std::uint8_t> shade(withSource ? static_cast<std::size_t>(w) : 0);
  for (int y = 0; y < h; ++y) {
    if (y % 8 == 0 && Progress(y) != 0) return 1;
    std::uint8_t* p = PixelAt(image, 0, y);
    const std::uint8_t* mp = mask + static_cast<std::size_t>(y) * w;
    if (withSource) {
      // The picture's brightness under each column of the row.
      const Tap& ty = rows[static_cast<std::size_t>(y)];
      const bool rowInside = ty.i >= 0 && ty.i + 1 < src.height && ty.g >= 0;
      const std::uint8_t* b0 = rowInside ? brightness.get() + static_cast<std::size_t>(ty.i) * src.width : nullptr;
      const std::uint8_t* b1 = rowInside ? b0 + src.width : nullptr;
      const int wy0 = 256 - ty.g, wy1 = ty.g;
      if (rowInside && src.width >= 2)
        ShadeRow(b0, b1, offsets.data(), fractions.data(), wy0, wy1, w, shade.data());
      for (int x = 0; x < w; ++x)
        if (mp[x] && !(rowInside && inside[static_cast<std::size_t>(x)]))
          shade[static_cast<std::size_t>(x)] =
              BrightnessAt(brightness.get(), src.width, src.height, columns[static_cast<std::size_t>(x)], ty);
    }
    // The row's new alpha values first, then one loop per mode.
    const std::uint8_t* values = mp;
    if (withSource) {
      // An unselected pixel's shade, whatever it holds, gives 0.
      std::uint8_t* shaded = shade.data();
      for (int x = 0; x < w; ++x) shaded[x] = static_cast<std::uint8_t>(shaded[x] * mp[x] / 255);
      values = shade.data();
    }
    switch (mode) {
      case 1:
        for (int x = 0; x < w; ++x) p[4 * x + 3] = std::max(p[4 * x + 3], values[x]);
        break;
      case 2:
        for (int x = 0; x < w; ++x) p[4 * x + 3] = std::min(p[4 * x + 3], static_cast<std::uint8_t>(255 - values[x]));
        break;
      default:
        for (int x = 0; x < w; ++x) p[4 * x + 3] = values[x];
        break;
    }
  }
  image->hasAlpha = 1;
  return 0;
}

// ---- Soften Alpha -----------------------------------------------------------

int PrepareSoftenAlpha() {
  ApplyContext& c = Ctx();
  CollageState& s = Col();
  ImageRecord* image = c.image;
  const int radius = std::clamp(ParamValue(kSoftenAlpha, 0), 1, 20);
  if (!image->hasAlpha) {
    if (LockImage(image) != 0) {
      ShowMessageWith(kMessageNoMemory, OpName(kSoftenAlpha));
      return 1;
    }
    const std::size_t count = static_cast<std::size_t>(image->width) * image->height;
    for (std::size_t i = 0; i < count; ++i) image->pixels[i * 4 + 3] = 255;
    UnlockImage(image);
    image->hasAlpha = 1;
  }
  s.ramp = AllocRealArray<std::uint8_t>(std::int64_t{radius} * radius, "salmap");
  if (!s.ramp) {
    ShowMessageWith(kMessageNoMemory, OpName(kSoftenAlpha));
    return 1;
  }
  s.radius = radius;
  for (int i = 0; i < radius; ++i)
    for (int j = 0; j < radius; ++j) {
      int v = radius == 1 ? 127
                          : Clamp0To255(static_cast<long>((std::sqrt(static_cast<double>(i * i + j * j)) + 1) /
                                                           (radius + 1) * 255));
      s.ramp[i * radius + j] = static_cast<std::uint8_t>(v == 0 ? 1 : v);
    }
  // An edge pixel lowers the alpha up to radius - 1 pixels away, selected or
  // not: the box (and so the undo copy, a stop and the redraw) must reach
  // that far.
  WidenBox(c, radius - 1, radius - 1);
  return 0;
}

void SoftenAlphaWorker(std::uint8_t* p, int x, int y, int) {
  if (p[3] == 0) return;
  const ApplyContext& c = Ctx();
  const CollageState& s = Col();
  ImageRecord* image = c.image;
  const int w = image->width, h = image->height;
  const bool edge = (x > 0 && p[-4 + 3] == 0) || (x + 1 < w && p[4 + 3] == 0) ||
                    (y > 0 && PixelAt(image, x, y - 1)[3] == 0) || (y + 1 < h && PixelAt(image, x, y + 1)[3] == 0);
  if (!edge) return;
  const int r = s.radius;
  const int i0 = std::max(x - r + 1, 0), i1 = std::min(x + r - 1, w - 1);
  const int j0 = std::max(y - r + 1, 0), j1 = std::min(y + r - 1, h - 1);
  for (int j = j0; j <= j1; ++j) {
    const std::uint8_t* ramp = s.ramp + std::abs(j - y) * r;
    std::uint8_t* q = PixelAt(image, i0, j);
    for (int i = i0; i <= i1; ++i, q += 4) q[3] = std::min(q[3], ramp[std::abs(i - x)]);
  }
}

void FinishSoftenAlpha() {
  CollageState& s = Col();
  s.ramp = static_cast<std::uint8_t*>(FreeReal(s.ramp, "salmap"));
}

// ---- Shave Alpha ------------------------------------------------------------

int PrepareShaveAlpha() {
  Col().bumpSize = std::clamp(ParamValue(kShaveAlpha, 0), 1, 20);
  return 0;
}

// The least and greatest alpha on the perimeter of the square left..right,
// top..bottom, over its pixels inside the image; false when none is.
bool RingRange(ImageRecord* image, int left, int top, int right, int bottom, int& lo, int& hi) {
  const int w = image->width, h = image->height;
  lo = 256, hi = -1;
  auto take = [&](int x, int y) {
    if (x < 0 || y < 0 || x >= w || y >= h) return;
    const int a = PixelAt(image, x, y)[3];
    lo = std::min(lo, a);
    hi = std::max(hi, a);
  };
  for (int x = left; x <= right; ++x) {
    take(x, top);
    take(x, bottom);
  }
  for (int y = top + 1; y < bottom; ++y) {
    take(left, y);
    take(right, y);
  }
  return hi >= 0;
}

void ShaveAlphaWorker(std::uint8_t* p, int x, int y, int m) {
  if (m != 255) return;
  ImageRecord* image = Ctx().image;
  const int a = p[3];
  for (int size = Col().bumpSize; size > 0;) {
    const int h = std::max(size / 2, 1), e = size - h + 1;
    int lo, hi;
    // A ring wholly outside the image says nothing: the next one is tried.
    if (RingRange(image, x - h, y - h, x + e, y + e, lo, hi) && (a < lo || a > hi)) {
      p[3] = static_cast<std::uint8_t>((lo + hi) / 2);
      return;
    }
    size -= 2;
    if (size == 0) size = 1;
  }
}

OpRoutines InOrderPixelRoutines(PrepareRoutine prepare, PixelWorker worker, FinishRoutine finish) {
  OpRoutines r = PixelRoutines(prepare, worker, finish);
  // Both read alpha their earlier pixels may have changed, some rows away.
  r.inPixelOrder = true;
  return r;
}

const OpRoutineEntry kRoutines[] = {
    {kMakeAlpha, ImageRoutines(PrepareMakeAlpha, MakeAlphaWorker)},
    {kSoftenAlpha, InOrderPixelRoutines(PrepareSoftenAlpha, SoftenAlphaWorker, FinishSoftenAlpha)},
    {kShaveAlpha, InOrderPixelRoutines(PrepareShaveAlpha, ShaveAlphaWorker, nullptr)},
};

}  // namespace

std::span<const OpRoutineEntry> AlphaOperationRoutines() { return kRoutines; }

}  // namespace qv
