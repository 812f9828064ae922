// The image operations of the Geometric group: Rotate, Flip, Turn 90 and
// Perspective. Each reads the picture as it was from the undo copy (or the
// chosen source) and writes the whole box in one call.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "base/messages.h"
#include "base/progress.h"
#include "area/area_mask.h"
#include "ops/apply.h"
#include "ops/bilinear.h"
#include "ops/geometric_ops.h"
#include "ops/new_image.h"
#include "ops/op_state.h"
#include "store/image_record.h"

namespace qv {
namespace {

constexpr int kMessageNoMemoryForResult = 70;
constexpr std::uint8_t kClear[4] = {0, 0, 0, 0};

GeometricState& Geo() { return Pipeline().geometric; }

// A nested progress run with the operation's own title, ended on every way out.
class ProgressRun {
 public:
  ProgressRun(OpId op, int rows) { BeginProgress(std::string(OpName(op)), rows); }
  ~ProgressRun() { EndProgress(); }
  ProgressRun(const ProgressRun&) = delete;
  ProgressRun& operator=(const ProgressRun&) = delete;
};

// The undo copy's pixel at image position (x, y), clear outside the copy.
inline const std::uint8_t* CopyPixel(const ApplyContext& c, std::int64_t x, std::int64_t y) {
  x -= c.copyX;
  y -= c.copyY;
  if (x < 0 || y < 0 || x >= c.copyWidth || y >= c.copyHeight) return kClear;
  return c.undo->pixels + (std::size_t{c.undo->rows[y]} + static_cast<std::size_t>(x)) * 4;
}

// Rotate.

int PrepareRotate() {
  ApplyContext& c = Ctx();
  GeometricState& g = Geo();
  const ImageRecord* image = c.image;
  float aspect = 1.0f;
  if (image->dpiXNum != 0 && image->dpiXDen != 0 && image->dpiYNum != 0 && image->dpiYDen != 0)
    aspect = (static_cast<float>(image->dpiYNum) / static_cast<float>(image->dpiYDen)) /
             (static_cast<float>(image->dpiXNum) / static_cast<float>(image->dpiXDen));
  if (!std::isfinite(aspect) || aspect == 0) aspect = 1.0f;
  g.aspect = aspect;
  g.inPlace = ParamValue(kRotate, 1) != 0;
  const double angle = ParamValue(kRotate, 0) * 0.0174532925239284;
  const double cosA = std::cos(angle), sinA = std::sin(angle);
  const double corners[4][2] = {{static_cast<double>(c.sx0), static_cast<double>(c.sy0)},
                                {static_cast<double>(c.sx1), static_cast<double>(c.sy0)},
                                {static_cast<double>(c.sx0), static_cast<double>(c.sy1)},
                                {static_cast<double>(c.sx1), static_cast<double>(c.sy1)}};
  double lowX = corners[0][0], highX = lowX, lowY = corners[0][1], highY = lowY;
  for (const auto& corner : corners) {
    const double dx = (corner[0] - c.cx) * aspect, dy = corner[1] - c.cy;
    const double turnedX = (dx * cosA - dy * sinA) / aspect + c.cx;
    const double turnedY = dx * sinA + dy * cosA + c.cy;
    for (const auto& [x, y] : {std::pair{corner[0], corner[1]}, std::pair{turnedX, turnedY}}) {
      if (std::isnan(x) || std::isnan(y)) continue;
      lowX = std::min(lowX, x);
      highX = std::max(highX, x);
      lowY = std::min(lowY, y);
      highY = std::max(highY, y);
    }
  }
  auto whole = [](double v) { return static_cast<std::int64_t>(std::clamp(v, -kFarAway, kFarAway)); };
  g.bx0 = whole(lowX);
  g.by0 = whole(lowY);
  g.bx1 = whole(highX + 0.99);
  g.by1 = whole(highY + 0.99);
  c.x0 = c.sx0 = static_cast<std::int32_t>(std::clamp<std::int64_t>(g.bx0 - 1, 0, image->width - 1));
  c.y0 = c.sy0 = static_cast<std::int32_t>(std::clamp<std::int64_t>(g.by0 - 1, 0, image->height - 1));
  c.x1 = c.sx1 = static_cast<std::int32_t>(std::clamp<std::int64_t>(g.bx1 + 1, 0, image->width - 1));
  c.y1 = c.sy1 = static_cast<std::int32_t>(std::clamp<std::int64_t>(g.by1 + 1, 0, image->height - 1));
  g.cosBack = static_cast<float>(std::cos(-angle));
  g.sinBack = static_cast<float>(std::sin(-angle));
  return 0;
}

// The turned-back position of image pixel (x, y), in single precision.
inline void TurnedBack(const ApplyContext& c, const GeometricState& g, int x, int y, float& sxf, float& syf) {
  const float dx = static_cast<float>(x - c.cx) * g.aspect, dy = static_cast<float>(y - c.cy);
  sxf = (dx * g.cosBack - dy * g.sinBack) / g.aspect + static_cast<float>(c.cx);
  syf = dx * g.sinBack + dy * g.cosBack + static_cast<float>(c.cy);
}

// A turned-back position whose four neighbours lie inside the mask and the
// copy, right of and below 0: the weights are not negative and nothing
// needs clamping or an edge. top and bottom point into the copy.
struct InsidePoint {
  const std::uint8_t* top;
  const std::uint8_t* bottom;
  std::int32_t gx, gy, coverage;
};
inline bool RotatedInside(const ApplyContext& c, const std::uint8_t* mask, float sxf, float syf, InsidePoint& out) {
  if (!(sxf >= 0 && syf >= 0 && sxf <= kFarAway && syf <= kFarAway)) return false;
  const std::int32_t ix = static_cast<std::int32_t>(sxf), iy = static_cast<std::int32_t>(syf);
  const int width = c.image->width, height = c.image->height;
  const std::int64_t cx = std::int64_t{ix} - c.copyX, cy = std::int64_t{iy} - c.copyY;
  if (!(ix + std::int64_t{1} < width && iy + std::int64_t{1} < height && cx >= 0 && cy >= 0 && cx + 1 < c.copyWidth &&
        cy + 1 < c.copyHeight))
    return false;
  out.gx = static_cast<std::int32_t>((sxf - static_cast<float>(ix)) * 256.0f);
  out.gy = static_cast<std::int32_t>((syf - static_cast<float>(iy)) * 256.0f);
  const int w00 = (256 - out.gy) * (256 - out.gx), w10 = (256 - out.gy) * out.gx, w01 = out.gy * (256 - out.gx),
            w11 = out.gy * out.gx;
  const std::uint8_t* m0 = mask + static_cast<std::size_t>(iy) * width + ix;
  const std::uint8_t* m1 = m0 + width;
  out.coverage = (m0[0] * w00 + m0[1] * w10 + m1[0] * w01 + m1[1] * w11) >> 16;
  const std::uint8_t* base = c.undo->pixels + static_cast<std::size_t>(cx) * 4;
  out.top = base + std::size_t{c.undo->rows[cy]} * 4;
  out.bottom = base + std::size_t{c.undo->rows[cy + 1]} * 4;
  return true;
}

// The turned-back position of (x, y) sampled from the copy and the mask:
// false where nothing covers the pixel (coverage 0).
bool RotatedSample(const ApplyContext& c, const GeometricState& g, const std::uint8_t* mask, int x, int y,
                   std::uint8_t colour[4], int& coverage) {
  float sxf, syf;
  TurnedBack(c, g, x, y, sxf, syf);
  if (!(std::fabs(sxf) <= kFarAway && std::fabs(syf) <= kFarAway)) return false;  // far off, or not a number
  InsidePoint inside;
  if (RotatedInside(c, mask, sxf, syf, inside)) {
    coverage = inside.coverage;
    if (coverage == 0) return false;
    BlendInside(inside.top, inside.bottom, inside.gx, inside.gy, colour);
    return true;
  }
  SamplePoint s;
  s.ix = static_cast<std::int32_t>(sxf);
  s.iy = static_cast<std::int32_t>(syf);
  s.gx = static_cast<std::int32_t>((sxf - static_cast<float>(s.ix)) * 256.0f);
  s.gy = static_cast<std::int32_t>((syf - static_cast<float>(s.iy)) * 256.0f);
  const int w00 = (256 - s.gy) * (256 - s.gx), w10 = (256 - s.gy) * s.gx, w01 = s.gy * (256 - s.gx),
            w11 = s.gy * s.gx;
  const int width = c.image->width, height = c.image->height;
  auto maskAt = [&](std::int64_t mx, std::int64_t my) -> int {
    if (mx < 0 || my < 0 || mx >= width || my >= height) return 0;
    return mask[my * width + mx];
  };
  coverage = WeightedChannel(maskAt(s.ix, s.iy), maskAt(std::int64_t{s.ix} + 1, s.iy), maskAt(s.ix, std::int64_t{s.iy} + 1),
                             maskAt(std::int64_t{s.ix} + 1, std::int64_t{s.iy} + 1), w00, w10, w01, w11);
  if (coverage == 0) return false;
  Blend4(CopyPixel(c, s.ix, s.iy), CopyPixel(c, std::int64_t{s.ix} + 1, s.iy), CopyPixel(c, s.ix, std::int64_t{s.iy} + 1),
         CopyPixel(c, std::int64_t{s.ix} + 1, std::int64_t{s.iy} + 1), s.gx, s.gy, colour);
  return true;
}

// Runs of a row: the covered pixels whose neighbours lie inside are blended
// together after the run's positions are known; the others one by one.
// The box is visited in bands of rows, a run's width across the band at a
// time, so that the turned-back positions of a run stay within a few pages
// of the copy and the mask (a steep turn's rows cross them all).
int RotateInPlace(ApplyContext& c, const GeometricState& g, std::uint8_t* mask) {
  ImageRecord* image = c.image;
  const int x0 = static_cast<int>(std::max<std::int64_t>(g.bx0, 0));
  const int x1 = static_cast<int>(std::min<std::int64_t>(g.bx1, image->width - 1));
  const int y0 = static_cast<int>(std::max<std::int64_t>(g.by0, 0));
  const int y1 = static_cast<int>(std::min<std::int64_t>(g.by1, image->height - 1));
  constexpr int kRun = 64, kBand = 32;
  const std::uint8_t* tops[kRun];
  const std::uint8_t* bottoms[kRun];
  std::int32_t gxs[kRun], gys[kRun], coverages[kRun], places[kRun];
  std::uint8_t colours[4 * kRun];
  auto mix = [](std::uint8_t* p, int k, const std::uint8_t colour[4]) {
    for (int ch = 0; ch < 4; ++ch) p[ch] = static_cast<std::uint8_t>((k * colour[ch] + (256 - k) * p[ch]) >> 8);
  };
  ProgressRun progress(kRotate, y1 - y0 + 1);
  for (int band = y0; band <= y1; band += kBand) {
    const int bandEnd = std::min(band + kBand - 1, y1);
    for (int y = band; y <= bandEnd; ++y)
      if (Progress(y - y0) != 0) return 1;
    for (int xs = x0; xs <= x1; xs += kRun) {
      const int n = std::min(kRun, x1 - xs + 1);
      for (int y = band; y <= bandEnd; ++y) {
        std::uint8_t* row = PixelAt(image, x0, y);
        int count = 0;
        for (int i = 0; i < n; ++i) {
          const int x = xs + i;
          float sxf, syf;
          TurnedBack(c, g, x, y, sxf, syf);
          InsidePoint inside;
          if (RotatedInside(c, mask, sxf, syf, inside)) {
            if (inside.coverage == 0) continue;
            tops[count] = inside.top;
            bottoms[count] = inside.bottom;
            gxs[count] = inside.gx;
            gys[count] = inside.gy;
            coverages[count] = inside.coverage;
            places[count++] = x - x0;
            continue;
          }
          std::uint8_t colour[4];
          int k = 0;
          if (RotatedSample(c, g, mask, x, y, colour, k)) mix(row + std::size_t{4} * (x - x0), k, colour);
        }
        BlendRun(tops, bottoms, gxs, gys, count, colours);
        for (int j = 0; j < count; ++j) mix(row + std::size_t{4} * places[j], coverages[j], colours + std::size_t{4} * j);
      }
    }
  }
  return 0;
}

// "In Place" off: the whole rotated box becomes a new image with the
// coverage as its alpha; the action image stays as it was.
int RotateToNewImage(ApplyContext& c, const GeometricState& g, std::uint8_t* mask) {
  ImageRecord* action = c.image;
  const std::int64_t w = g.bx1 - g.bx0 + 1, h = g.by1 - g.by0 + 1;
  ImageRecord* result = StartNewImage(w, h, "irot");
  if (!result) return 1;
  {
    ProgressRun progress(kRotate, static_cast<int>(h));
    for (int row = 0; row < h; ++row) {
      if (Progress(row) != 0) {
        FreeImage(result);
        return 1;
      }
      const int y = static_cast<int>(g.by0 + row);
      std::uint8_t* p = PixelAt(result, 0, row);
      for (int col = 0; col < w; ++col, p += 4) {
        std::uint8_t colour[4];
        int k = 0;
        if (!RotatedSample(c, g, mask, static_cast<int>(g.bx0 + col), y, colour, k)) {
          std::memcpy(p, kClear, 4);
          continue;
        }
        p[0] = colour[0];
        p[1] = colour[1];
        p[2] = colour[2];
        p[3] = static_cast<std::uint8_t>(k);
      }
    }
  }
  NewImagePlacement placement;  // a turned piece keeps no parent
  return FinishNewImage(result, action, placement);
}

int RotateWorker(std::uint8_t*, std::uint8_t* mask) {
  ApplyContext& c = Ctx();
  const GeometricState& g = Geo();
  if (!c.undo) return 1;
  return g.inPlace ? RotateInPlace(c, g, mask) : RotateToNewImage(c, g, mask);
}

// Flip and Turn 90: a source position per pixel of the box, read from the
// copy, mixed into the image through the mask. The target's own alpha
// weights the mix while "Mask with Alpha" is on, so a mirrored logo stays
// inside its picture; with it off a transparent background takes the
// mirrored pixels whole.

template <class Source>
int MirrorBox(ApplyContext& c, OpId title, Source source) {
  ImageRecord* image = c.image;
  const bool affectAlpha = c.affectAlpha;
  const bool alphaWeight = !affectAlpha && image->hasAlpha && Area().maskWithAlpha;
  const int width = image->width;
  ProgressRun progress(title, c.y1 - c.y0 + 1);
  for (int y = c.y0; y <= c.y1; ++y) {
    if (Progress(y - c.y0) != 0) return 1;
    std::uint8_t* p = PixelAt(image, c.x0, y);
    const std::uint8_t* mp = c.mask + static_cast<std::size_t>(y) * width + c.x0;
    // The source moves along a straight line with x: with both ends of the
    // row inside the copy every pixel between is, and is read unchecked.
    std::int64_t fx, fy, lx, ly;
    source(c.x0, y, fx, fy);
    source(c.x1, y, lx, ly);
    auto inCopy = [&c](std::int64_t sx, std::int64_t sy) {
      return sx >= c.copyX && sy >= c.copyY && sx - c.copyX < c.copyWidth && sy - c.copyY < c.copyHeight;
    };
    const bool inside = inCopy(fx, fy) && inCopy(lx, ly);
    if (inside && fy == ly && !alphaWeight && !affectAlpha) {
      // One source row, walked forwards or backwards: a flip's rows.
      const std::ptrdiff_t step = lx > fx ? 4 : lx < fx ? -4 : 0;
      const std::uint8_t* first = c.undo->pixels + (std::size_t{c.undo->rows[fy - c.copyY]} + static_cast<std::size_t>(fx - c.copyX)) * 4;
      const int count = c.x1 - c.x0 + 1;
      for (int i = 0; i < count; ++i, p += 4) {
        const int m = mp[i];
        const std::uint8_t* s = first + step * i;
        if (m == 255) {
          std::memcpy(p, s, 4);
        } else if (m) {
          const int k = 255 - m;
          for (int ch = 0; ch < 4; ++ch) p[ch] = static_cast<std::uint8_t>((s[ch] * m + p[ch] * k) / 255);
        }
      }
      continue;
    }
    for (int x = c.x0; x <= c.x1; ++x, p += 4, ++mp) {
      int m = *mp;
      if (!m) continue;
      std::int64_t sx, sy;
      source(x, y, sx, sy);
      const std::uint8_t* s =
          inside ? c.undo->pixels + (std::size_t{c.undo->rows[sy - c.copyY]} + static_cast<std::size_t>(sx - c.copyX)) * 4
                 : CopyPixel(c, sx, sy);
      if (alphaWeight) m = m * p[3] / 255;
      if (m == 255) {
        if (affectAlpha)
          p[3] = s[3];
        else
          std::memcpy(p, s, 4);
        continue;
      }
      const int k = 255 - m;
      if (!affectAlpha)
        for (int ch = 0; ch < 3; ++ch) p[ch] = static_cast<std::uint8_t>((s[ch] * m + p[ch] * k) / 255);
      p[3] = static_cast<std::uint8_t>((s[3] * m + p[3] * k) / 255);
    }
  }
  return 0;
}

int PrepareFlip() { return 0; }

int FlipWorker(std::uint8_t*, std::uint8_t*) {
  ApplyContext& c = Ctx();
  if (!c.undo) return 1;
  const bool vertical = ParamValue(kFlip, 0) != 0, horizontal = ParamValue(kFlip, 1) != 0;
  const std::int64_t mirrorX = std::int64_t{c.sx0} + c.sx1, mirrorY = std::int64_t{c.sy0} + c.sy1;
  return MirrorBox(c, kFlip, [&](int x, int y, std::int64_t& sx, std::int64_t& sy) {
    sx = horizontal ? mirrorX - x : x;
    sy = vertical ? mirrorY - y : y;
  });
}

int PrepareTurn90() {
  ApplyContext& c = Ctx();
  GeometricState& g = Geo();
  const ImageRecord* image = c.image;
  g.steps = ((ParamValue(kTurn90, 0) % 4) + 4) % 4;
  g.entire = Area().selection.mode == kAreaEntire;
  if (g.entire) {
    c.x0 = c.sx0 = 0;
    c.y0 = c.sy0 = 0;
    c.x1 = c.sx1 = image->width - 1;
    c.y1 = c.sy1 = image->height - 1;
    return 0;
  }
  if (g.steps % 2 == 1) {
    // Widened to hold the turned selection.
    const std::int64_t halfH = std::llabs(std::int64_t{c.sy1} - c.sy0) / 2;
    const std::int64_t halfW = std::llabs(std::int64_t{c.sx1} - c.sx0) / 2;
    auto clampX = [&](std::int64_t v) { return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, 0, image->width - 1)); };
    auto clampY = [&](std::int64_t v) { return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, 0, image->height - 1)); };
    c.x0 = clampX(std::min<std::int64_t>(c.cx - halfH - 2, c.sx0));
    c.x1 = clampX(std::max<std::int64_t>(c.cx + halfH + 2, c.sx1));
    c.y0 = clampY(std::min<std::int64_t>(c.cy - halfW - 2, c.sy0));
    c.y1 = clampY(std::max<std::int64_t>(c.cy + halfW + 2, c.sy1));
  }
  return 0;
}

// The whole picture turned by a quarter (clockwise when clockwise is true):
// pixels move whole, in tiles, into the image's own place laid out with the
// sizes exchanged; the copy keeps the picture as it was.
int QuarterTurnWhole(ApplyContext& c, bool clockwise) {
  ImageRecord* image = c.image;
  const int w = image->width, h = image->height;
  const auto* from = reinterpret_cast<const std::uint32_t*>(c.undo->pixels);
  const std::uint32_t* fromRows = c.undo->rows;
  auto* to = reinterpret_cast<std::uint32_t*>(image->pixels);
  constexpr int kTile = 32;
  // The turned picture is h wide and w tall: target (tx, ty) takes the source
  // (ty, h - 1 - tx) turning clockwise, (w - 1 - ty, tx) the other way.
  ProgressRun progress(kFlip, w);
  for (int ty0 = 0; ty0 < w; ty0 += kTile) {
    const int ty1 = std::min(ty0 + kTile, w);
    for (int ty = ty0; ty < ty1; ++ty)
      if (Progress(ty) != 0) return 1;
    for (int tx0 = 0; tx0 < h; tx0 += kTile) {
      const int tx1 = std::min(tx0 + kTile, h);
      for (int ty = ty0; ty < ty1; ++ty) {
        std::uint32_t* out = to + static_cast<std::size_t>(ty) * h;
        const int sx = clockwise ? ty : w - 1 - ty;
        for (int tx = tx0; tx < tx1; ++tx) {
          const int sy = clockwise ? h - 1 - tx : tx;
          std::memcpy(out + tx, from + fromRows[sy] + sx, 4);
        }
      }
    }
  }
  // The copy becomes a whole-image layer carrying the old size and
  // resolution, so that Undo gives both back.
  ImageRecord* layer = c.undo;
  layer->originX = -1;
  layer->originY = -1;
  layer->dpiXNum = image->dpiXNum;
  layer->dpiXDen = image->dpiXDen;
  layer->dpiYNum = image->dpiYNum;
  layer->dpiYDen = image->dpiYDen;
  layer->hasAlpha = image->hasAlpha;
  std::swap(image->width, image->height);
  std::swap(image->dpiXNum, image->dpiYNum);
  std::swap(image->dpiXDen, image->dpiYDen);
  for (int y = 0; y < image->height; ++y) image->rows[y] = static_cast<std::uint32_t>(std::int64_t{y} * image->width);
  Pipeline().sizeChanged = true;
  return 0;
}

int Turn90Worker(std::uint8_t*, std::uint8_t*) {
  ApplyContext& c = Ctx();
  const GeometricState& g = Geo();
  if (!c.undo) return 1;
  if (g.entire && g.steps % 2 == 1) return QuarterTurnWhole(c, g.steps == 1);
  const std::int64_t cx = c.cx, cy = c.cy;
  const std::int64_t mirrorX = std::int64_t{c.sx0} + c.sx1, mirrorY = std::int64_t{c.sy0} + c.sy1;
  switch (g.steps) {
    case 1:
      return MirrorBox(c, kFlip, [&](int x, int y, std::int64_t& sx, std::int64_t& sy) {
        sx = y + cx - cy;
        sy = cy + cx - x;
      });
    case 2:
      return MirrorBox(c, kFlip, [&](int x, int y, std::int64_t& sx, std::int64_t& sy) {
        sx = mirrorX - x;
        sy = mirrorY - y;
      });
    case 3:
      return MirrorBox(c, kFlip, [&](int x, int y, std::int64_t& sx, std::int64_t& sy) {
        sx = cy + cx - y;
        sy = x + cy - cx;
      });
    default:
      return MirrorBox(c, kFlip, [](int x, int y, std::int64_t& sx, std::int64_t& sy) {
        sx = x;
        sy = y;
      });
  }
}

// Perspective: the picture on a plane turned in space, moved and projected
// onto the whole action image.

// The projection from the parameters: rows X, Y, Z of (u, v, w) and the
// translation, as [[Xu, Xv, tx], [Yu, Yv, ty], [Zu, Zv, tz]].
void PerspectiveMatrix(int actionWidth, double m[9]) {
  double rows[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  auto radians = [](int degrees) { return degrees * 3.14159265 / 180; };
  const double xRot = radians(ParamValue(kPerspective, 0)), yRot = radians(ParamValue(kPerspective, 1));
  const double zRot = radians(ParamValue(kPerspective, 2));
  for (auto& r : rows) {
    double u = r[0], v = r[1], w = r[2];
    double nu = u * std::cos(zRot) - v * std::sin(zRot), nv = u * std::sin(zRot) + v * std::cos(zRot);
    u = nu;
    v = nv;
    nv = v * std::cos(xRot) - w * std::sin(xRot);
    double nw = v * std::sin(xRot) + w * std::cos(xRot);
    v = nv;
    w = nw;
    nu = u * std::cos(yRot) - w * std::sin(yRot);
    nw = w * std::cos(yRot) + u * std::sin(yRot);
    r[0] = nu;
    r[1] = v;
    r[2] = nw;
  }
  const double xMag = ParamValue(kPerspective, 6), yMag = ParamValue(kPerspective, 7);
  for (double& v : rows[0]) v *= xMag;
  for (double& v : rows[1]) v *= yMag;
  const double tx = ParamValue(kPerspective, 3) * static_cast<double>(actionWidth) / 2;
  const double ty = -ParamValue(kPerspective, 4) * static_cast<double>(actionWidth) / 2;
  const double tz = ParamValue(kPerspective, 5);
  const double out[9] = {rows[0][0], rows[0][1], tx, rows[1][0], rows[1][1], ty, rows[2][0], rows[2][1], tz};
  std::copy(std::begin(out), std::end(out), m);
}

void Adjugate(const double m[9], double adj[9]) {
  const double a = m[0], b = m[1], c = m[2], d = m[3], e = m[4], f = m[5], g = m[6], h = m[7], i = m[8];
  const double out[9] = {e * i - f * h, c * h - b * i, b * f - c * e,
                         f * g - d * i, a * i - c * g, c * d - a * f,
                         d * h - e * g, b * g - a * h, a * e - b * d};
  std::copy(std::begin(out), std::end(out), adj);
}

int PreparePerspective() {
  ApplyContext& c = Ctx();
  GeometricState& g = Geo();
  ImageRecord* chosen = Pipeline().source;
  if (!chosen || ImageIndex(chosen) < 0) chosen = ImageCount() > 0 ? ImageAt(0) : c.image;
  g.picture = chosen;
  c.x0 = c.sx0 = 0;
  c.y0 = c.sy0 = 0;
  c.x1 = c.sx1 = c.image->width - 1;
  c.y1 = c.sy1 = c.image->height - 1;
  double m[9];
  PerspectiveMatrix(c.image->width, m);
  Adjugate(m, g.inverse);
  return 0;
}

struct Covered {
  int left = 0, top = 0, right = -1, bottom = -1;
  void Add(int x, int y) {
    if (right < left) {
      left = right = x;
      top = bottom = y;
      return;
    }
    left = std::min(left, x);
    right = std::max(right, x);
    top = std::min(top, y);
    bottom = std::max(bottom, y);
  }
  bool Any() const { return right >= left; }
};

// The covered pixels become the selection.
void SelectCovered(const Covered& box) {
  AreaSelection& s = Area().selection;
  if (!box.Any()) {
    s.left = s.top = s.right = s.bottom = 0;
    s.centreX = s.centreY = s.radiusX = s.radiusY = 0;
    return;
  }
  s.left = box.left;
  s.top = box.top;
  s.right = box.right;
  s.bottom = box.bottom;
  s.centreX = (box.left + box.right) / 2;
  s.centreY = (box.top + box.bottom) / 2;
  s.radiusX = std::max(s.centreX - box.left, box.right - s.centreX);
  s.radiusY = std::max(s.centreY - box.top, box.bottom - s.centreY);
}

int ProjectRows(ApplyContext& c, const GeometricState& g, const PixelPlane& picture, Covered& covered) {
  ImageRecord* image = c.image;
  const int w = image->width, h = image->height;
  const int pw = picture.width, ph = picture.height;
  const double pcx = pw / 2, pcy = ph / 2;
  const bool withAlpha = Area().maskWithAlpha && image->hasAlpha;
  const double* inv = g.inverse;
  ProgressRun progress(kPerspective, h);
  for (int y = 0; y < h; ++y) {
    if (Progress(y) != 0) return 1;
    std::uint8_t* p = PixelAt(image, 0, y);
    std::uint8_t* mp = c.mask + static_cast<std::size_t>(y) * w;
    const double dy = y - h / 2;
    for (int x = 0; x < w; ++x, p += 4, ++mp) {
      *mp = 0;
      const double dx = x - w / 2;
      double z = inv[6] * dx + inv[7] * dy + inv[8];
      if (z == 0) z = 0.0001;
      const double px = (inv[0] * dx + inv[1] * dy + inv[2]) / z + pcx;
      const double py = (inv[3] * dx + inv[4] * dy + inv[5]) / z + pcy;
      if (!(std::fabs(px) <= kFarAway && std::fabs(py) <= kFarAway)) continue;  // far off, or not a number
      const double fx = std::floor(px), fy = std::floor(py);
      const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
      if (ix < -8 || iy < -8 || ix > pw + 8 || iy > ph + 8) continue;
      const int gx = static_cast<int>((px - fx) * 256), gy = static_cast<int>((py - fy) * 256);
      bool fromPicture = false;
      auto neighbour = [&](int nx, int ny) -> const std::uint8_t* {
        if (nx >= 0 && ny >= 0 && nx < pw && ny < ph) {
          const std::uint8_t* q = picture.pixels + (std::size_t{picture.rows[ny]} + static_cast<std::size_t>(nx)) * 4;
          if (q[3] != 0) {
            fromPicture = true;
            return q;
          }
        }
        return p;
      };
      const std::uint8_t* n00 = neighbour(ix, iy);
      const std::uint8_t* n10 = neighbour(ix + 1, iy);
      const std::uint8_t* n01 = neighbour(ix, iy + 1);
      const std::uint8_t* n11 = neighbour(ix + 1, iy + 1);
      std::uint8_t mixed[4];
      Blend4(n00, n10, n01, n11, gx, gy, mixed);
      int a = mixed[3];
      if (withAlpha) a = p[3] * a / 255;
      for (int ch = 0; ch < 3; ++ch) p[ch] = static_cast<std::uint8_t>((mixed[ch] * a + p[ch] * (255 - a)) / 255);
      if (fromPicture) {
        *mp = static_cast<std::uint8_t>(a);
        covered.Add(x, y);
      }
    }
  }
  return 0;
}

// Transparency settings other than the plain ones reshape the coverage over
// the covered box's rows and columns; the picture is then mixed again
// between the copy and the projection through the reshaped mask.
void ReworkTransparency(ApplyContext& c, const Covered& covered) {
  const AreaSelection& s = Area().selection;
  if (!covered.Any() || (s.transparencyLevel == 255 && s.edgeFade == 0 && s.grow == 100)) return;
  AreaSelection shape = s;
  shape.mode = kAreaRectangle;
  ImageRecord* image = c.image;
  if (FadeMaskBytes(c.mask, image->width, image->height, shape) != 0) return;
  for (int y = covered.top; y <= covered.bottom; ++y) {
    std::uint8_t* p = PixelAt(image, covered.left, y);
    const std::uint8_t* mp = c.mask + static_cast<std::size_t>(y) * image->width + covered.left;
    for (int x = covered.left; x <= covered.right; ++x, p += 4, ++mp) {
      const std::uint8_t* old = CopyPixel(c, x, y);
      const int m = *mp;
      for (int ch = 0; ch < 3; ++ch) p[ch] = static_cast<std::uint8_t>((p[ch] * m + old[ch] * (255 - m)) / 255);
    }
  }
}

int PerspectiveWorker(std::uint8_t*, std::uint8_t*) {
  ApplyContext& c = Ctx();
  const GeometricState& g = Geo();
  if (!c.undo) return 1;
  ImageRecord* picture = g.picture;
  PixelPlane plane;
  const bool own = !picture || picture == c.image;
  if (own) {
    plane.pixels = c.undo->pixels;
    plane.rows = c.undo->rows;
    plane.width = c.copyWidth;
    plane.height = c.copyHeight;
  } else {
    if (LockImage(picture) != 0) {
      ShowMessage(kMessageNoMemoryForResult);
      return 1;
    }
    plane = PlaneOf(picture, 0, 0);
  }
  Covered covered;
  const int result = ProjectRows(c, g, plane, covered);
  if (!own) UnlockImage(picture);
  if (result != 0) return result;
  SelectCovered(covered);
  ReworkTransparency(c, covered);
  return 0;
}

const OpRoutineEntry kRoutines[] = {
    {kRotate, ImageRoutines(PrepareRotate, RotateWorker)},
    {kFlip, ImageRoutines(PrepareFlip, FlipWorker)},
    {kTurn90, ImageRoutines(PrepareTurn90, Turn90Worker)},
    {kPerspective, ImageRoutines(PreparePerspective, PerspectiveWorker)},
};

}  // namespace

void PerspectiveProjection(int actionWidth, double m[9]) { PerspectiveMatrix(actionWidth, m); }

std::span<const OpRoutineEntry> GeometricOperationRoutines() { return kRoutines; }

}  // namespace qv
