// The Alpha group's own operations: Make Alpha builds the alpha plane from
// the selection (optionally shaped by a picture's brightness), Soften Alpha
// ramps hard alpha edges, Shave Alpha flattens single bumps in the alpha.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
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

int MakeAlphaWorker(std::uint8_t*, std::uint8_t* mask) {
  ApplyContext& c = Ctx();
  ImageRecord* image = c.image;
  const int mode = ParamValue(kMakeAlpha, 2);
  const int w = image->width, h = image->height;
  // The picture's brightness once, and where each column and row reads it.
  PictureRead src;
  std::vector<std::uint8_t> brightness;
  std::vector<Tap> columns, rows;
  const bool withSource = Col().picture != nullptr;
  if (withSource) {
    if (!src.Open(Col().picture)) return 1;
    brightness.resize(static_cast<std::size_t>(src.width) * src.height);
    for (int y = 0; y < src.height; ++y)
      for (int x = 0; x < src.width; ++x) {
        const std::uint8_t* q = src.At(x, y);
        brightness[static_cast<std::size_t>(y) * src.width + x] = static_cast<std::uint8_t>(Lum(q[0], q[1], q[2]));
      }
    columns = BrightnessTaps(w, c.cx, c.rx, src.width);
    rows = BrightnessTaps(h, c.cy, c.ry, src.height);
  }
  // Neighbours outside the picture count 0.
  auto lum = [&](std::int64_t x, std::int64_t y) -> int {
    return src.Inside(x, y) ? brightness[static_cast<std::size_t>(y) * src.width + static_cast<std::size_t>(x)] : 0;
  };
  for (int y = 0; y < h; ++y) {
    if (y % 8 == 0 && Progress(y) != 0) return 1;
    std::uint8_t* p = PixelAt(image, 0, y);
    const std::uint8_t* mp = mask + static_cast<std::size_t>(y) * w;
    for (int x = 0; x < w; ++x, p += 4) {
      int v = mp[x];
      if (withSource && v) {
        const Tap& tx = columns[static_cast<std::size_t>(x)];
        const Tap& ty = rows[static_cast<std::size_t>(y)];
        const int w00 = (256 - ty.g) * (256 - tx.g), w10 = (256 - ty.g) * tx.g, w01 = ty.g * (256 - tx.g),
                  w11 = ty.g * tx.g;
        const int b = WeightedChannel(lum(tx.i, ty.i), lum(tx.i + 1, ty.i), lum(tx.i, ty.i + 1), lum(tx.i + 1, ty.i + 1),
                                      w00, w10, w01, w11);
        v = b * v / 255;
      }
      switch (mode) {
        case 1: p[3] = static_cast<std::uint8_t>(std::max<int>(p[3], v)); break;
        case 2: p[3] = static_cast<std::uint8_t>(std::min<int>(p[3], 255 - v)); break;
        default: p[3] = static_cast<std::uint8_t>(v); break;
      }
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
