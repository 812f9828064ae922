// Building the area mask: the mask place, the point lists, the outline of
// the shape modes, and the fills of every mode.
#include "area/area_mask.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "area/area_files.h"
#include "base/colour_space.h"
#include "base/messages.h"
#include "base/progress.h"
#include "base/spline.h"

namespace qv {
namespace {

constexpr int kMessageRedoWithoutSelection = 28;
constexpr int kMessageNoVirtualMemory = 59;
constexpr int kMessageNoRealMemory = 60;


// Vertical span of 255s at column x, clipped to the image.
void Span(std::uint8_t* mask, int w, int h, int x, std::int64_t y0, std::int64_t y1) {
  if (x < 0 || x >= w) return;
  y0 = std::max<std::int64_t>(y0, 0);
  y1 = std::min<std::int64_t>(y1, h - 1);
  for (std::int64_t y = y0; y <= y1; ++y) mask[static_cast<std::size_t>(y) * w + static_cast<std::size_t>(x)] = 255;
}

// Radii up to this are walked step by step; larger ellipses are wider than
// any image, and their rows are computed (a walk would take a step and an
// entry per column offset: two thousand million for a radius read from a
// file).
constexpr std::int64_t kWalkLimit = std::int64_t{1} << 16;

// The two-region midpoint walk. Each step covers the columns cx +- (ix + x)
// from cy - (iy + y) to cy + (iy + y); plain ellipses have ix = iy = 0. The
// walk only records the tallest span of each column offset (y never grows
// as x does), and the rows are then filled left to right, so that large
// ellipses cost one pass over memory rather than a column-wise one. The
// columns between cx - ix and cx + ix are filled too; Round Rect, the only
// caller with ix > 0, gives them their full, taller span afterwards.
// Positions and sizes are 64-bit: centres and radii may be anywhere an int
// reaches, and only the rows and columns inside the image are visited.
void EllipseWalk(std::uint8_t* mask, int w, int h, std::int64_t cx, std::int64_t cy, std::int64_t rx,
                 std::int64_t ry, std::int64_t ix, std::int64_t iy) {
  if (rx <= 0 || ry <= 0) return;
  if (cx + ix + rx < 0 || cx - ix - rx >= w || cy + iy + ry < 0 || cy - iy - ry >= h) return;
  const bool walked = rx <= kWalkLimit && ry <= kWalkLimit;
  std::vector<std::int32_t> tallest;  // by column offset x
  if (walked) {
    auto plot = [&](std::int64_t x, std::int64_t y) {
      if (x >= static_cast<std::int64_t>(tallest.size())) tallest.push_back(static_cast<std::int32_t>(y));
    };
    double rx2 = double(rx) * rx, ry2 = double(ry) * ry;
    std::int64_t x = 0, y = ry;
    double dx = 0, dy = 2 * rx2 * y;
    double d1 = ry2 - rx2 * ry + 0.25 * rx2;
    while (dx < dy) {
      plot(x, y);
      ++x;
      dx += 2 * ry2;
      if (d1 < 0) {
        d1 += dx + ry2;
      } else {
        --y;
        dy -= 2 * rx2;
        d1 += dx - dy + ry2;
      }
    }
    double d2 = ry2 * (x + 0.5) * (x + 0.5) + rx2 * (y - 1.0) * (y - 1.0) - rx2 * ry2;
    while (y >= 0) {
      plot(x, y);
      --y;
      dy -= 2 * rx2;
      if (d2 > 0) {
        d2 += rx2 - dy;
      } else {
        ++x;
        dx += 2 * ry2;
        d2 += dx - dy + rx2;
      }
    }
  }
  const std::int64_t widest = walked ? static_cast<std::int64_t>(tallest.size()) - 1 : rx;
  const std::int64_t reach = iy + (walked ? tallest[0] : ry);
  std::int64_t offset = widest;  // walked: the widest column offset still reaching the row
  // The column offsets that reach `need` rows out from the middle: the
  // walk's steps keep y while the midpoint (x + 1, y - 1/2) lies inside,
  // which the computed rows follow.
  auto columnsFor = [&](std::int64_t need) -> std::int64_t {
    if (need <= 0) return widest;
    if (!walked) {
      if (need > ry) return -1;
      const double f = (double(need) - 0.5) / double(ry);
      return static_cast<std::int64_t>(double(rx) * std::sqrt(std::max(0.0, 1.0 - f * f)));
    }
    while (offset > 0 && tallest[static_cast<std::size_t>(offset)] < need) --offset;
    while (offset < widest && tallest[static_cast<std::size_t>(offset + 1)] >= need) ++offset;
    return offset;
  };
  const std::int64_t first = std::max<std::int64_t>(0, cy - reach), last = std::min<std::int64_t>(h - 1, cy + reach);
  for (std::int64_t row = first; row <= last; ++row) {
    const std::int64_t columns = columnsFor((row < cy ? cy - row : row - cy) - iy);
    if (columns < 0) continue;
    const std::int64_t l = std::max<std::int64_t>(0, cx - ix - columns);
    const std::int64_t r = std::min<std::int64_t>(w - 1, cx + ix + columns);
    if (l <= r)
      std::memset(mask + static_cast<std::size_t>(row) * w + static_cast<std::size_t>(l), 255,
                  static_cast<std::size_t>(r - l + 1));
  }
}

void FillBox(std::uint8_t* mask, int w, int h, int l, int t, int r, int b) {
  if (l > r) std::swap(l, r);
  if (t > b) std::swap(t, b);
  l = std::clamp(l, 0, w - 1);
  r = std::clamp(r, 0, w - 1);
  t = std::clamp(t, 0, h - 1);
  b = std::clamp(b, 0, h - 1);
  for (int y = t; y <= b; ++y) std::memset(mask + static_cast<std::size_t>(y) * w + l, 255, static_cast<std::size_t>(r - l + 1));
}

// Steps along the longer axis, the other coordinate by truncating division
// from the start point; only the part inside the image is walked, so that
// far-away points from a stored selection cost nothing.
void DrawLine(std::uint8_t* mask, int w, int h, int x0, int y0, int x1, int y1) {
  std::int64_t dx = std::int64_t{x1} - x0, dy = std::int64_t{y1} - y0;
  auto put = [&](std::int64_t x, std::int64_t y) {
    if (x >= 0 && x < w && y >= 0 && y < h) mask[static_cast<std::size_t>(y) * w + static_cast<std::size_t>(x)] = 255;
  };
  if (dx == 0 && dy == 0) {
    put(x0, y0);
  } else if (std::abs(dx) >= std::abs(dy)) {
    std::int64_t from = std::max<std::int64_t>(std::min(x0, x1), 0), to = std::min<std::int64_t>(std::max(x0, x1), w - 1);
    for (std::int64_t x = from; x <= to; ++x) put(x, y0 + MulDiv(x - x0, dy, dx));
  } else {
    std::int64_t from = std::max<std::int64_t>(std::min(y0, y1), 0), to = std::min<std::int64_t>(std::max(y0, y1), h - 1);
    for (std::int64_t y = from; y <= to; ++y) put(x0 + MulDiv(y - y0, dx, dy), y);
  }
}

// Even-odd fill of the outline with the outline itself drawn in. Returns 1
// when the user stopped.
int FillOutline(std::uint8_t* mask, int w, int h, const PointList& outline) {
  std::memset(mask, 0, static_cast<std::size_t>(w) * h);
  const AreaPoint* p = outline.points;
  int n = outline.count;
  if (n == 0) return 0;
  int bl = p[0].x, br = p[0].x, bt = p[0].y, bb = p[0].y;
  for (int i = 0; i < n; ++i) {
    bl = std::min(bl, p[i].x);
    br = std::max(br, p[i].x);
    bt = std::min(bt, p[i].y);
    bb = std::max(bb, p[i].y);
    if (i == 0 || p[i].flag == 0) continue;
    AreaPoint u = p[i - 1], l = p[i];
    if (u.y == l.y) continue;
    if (u.y > l.y) std::swap(u, l);
    std::int64_t run = std::max<std::int64_t>(1, std::int64_t{l.y} - u.y);
    for (int y = std::max(u.y, 0); y < l.y && y < h; ++y) {
      std::int64_t along = MulDiv(std::int64_t{y} - u.y, std::int64_t{l.x} - u.x, run);
      int x = static_cast<int>(std::clamp<std::int64_t>(u.x + along, 0, w - 1));
      std::uint8_t& b = mask[static_cast<std::size_t>(y) * w + x];
      b = static_cast<std::uint8_t>(255 - b);
    }
  }
  bl = std::clamp(bl, 0, w - 1);
  br = std::clamp(br, 0, w - 1);
  bt = std::clamp(bt, 0, h - 1);
  bb = std::clamp(bb, 0, h - 1);
  for (int y = bt; y <= bb; ++y) {
    std::uint8_t* row = mask + static_cast<std::size_t>(y) * w;
    bool inside = false;
    for (int x = bl; x <= br; ++x) {
      if (row[x]) inside = !inside;
      if (inside) row[x] = 255;
    }
    if ((y & 63) == 0 && Progress(y) != 0) return 1;
  }
  for (int i = 1; i < n; ++i)
    if (p[i].flag) DrawLine(mask, w, h, p[i - 1].x, p[i - 1].y, p[i].x, p[i].y);
  return 0;
}

bool Within(int a, int b, int range) { return std::abs(a - b) <= range; }

// A curve point back in ints: curves through far-apart points may overshoot
// what an int holds (and NaN stays at 0).
int RoundToInt(double v) {
  if (!(v == v)) return 0;
  return static_cast<int>(std::lround(std::clamp(v, double(INT32_MIN), double(INT32_MAX))));
}

// Run of control points between breaks.
std::vector<std::vector<AreaPoint>> Runs(const PointList& list) {
  std::vector<std::vector<AreaPoint>> runs;
  for (int i = 0; i < list.count; ++i) {
    if (i == 0 || list.points[i].flag == 0) runs.emplace_back();
    runs.back().push_back(list.points[i]);
  }
  return runs;
}

int SplineOutline(PointList& out, std::vector<AreaPoint> pts, bool closed) {
  if (pts.empty()) return 0;
  if (closed && pts.size() > 1 && (pts.front().x != pts.back().x || pts.front().y != pts.back().y))
    pts.push_back(pts.front());
  std::size_t n = pts.size();
  if (PushPoint(out, pts[0].x, pts[0].y, kPenUp)) return 1;
  if (n == 1) return 0;
  std::vector<double> t(n), xs(n), ys(n);
  for (std::size_t i = 0; i < n; ++i) {
    xs[i] = pts[i].x;
    ys[i] = pts[i].y;
    if (i > 0) t[i] = t[i - 1] + std::max(1.0, std::hypot(xs[i] - xs[i - 1], ys[i] - ys[i - 1]));
  }
  CubicSpline sx, sy;
  bool curved = n >= 3 && BuildSpline(t, xs, sx) == 0 && BuildSpline(t, ys, sy) == 0;
  for (std::size_t k = 0; k + 1 < n; ++k) {
    for (int j = 1; j <= 10; ++j) {
      double f = j * 0.1;
      double x = xs[k] + f * (xs[k + 1] - xs[k]);
      double y = ys[k] + f * (ys[k + 1] - ys[k]);
      double s = j == 10 ? t[k + 1] : t[k] + f * (t[k + 1] - t[k]);
      if (curved) {
        EvaluateSpline(sx, s, x);
        EvaluateSpline(sy, s, y);
      }
      if (PushPoint(out, RoundToInt(x), RoundToInt(y), kPenDown)) return 1;
    }
  }
  return 0;
}

int BezierOutline(PointList& out, const std::vector<AreaPoint>& pts) {
  if (pts.empty()) return 0;
  AreaPoint a0 = pts[0];
  if (pts.size() == 1) return PushPoint(out, a0.x, a0.y, kPenUp);
  for (std::size_t g = 1; g < pts.size(); g += 3) {
    AreaPoint next = pts[g];
    AreaPoint h1 = g + 1 < pts.size() ? pts[g + 1] : a0;
    AreaPoint h2 = g + 2 < pts.size() ? pts[g + 2] : next;
    if (PushPoint(out, a0.x, a0.y, kPenUp)) return 1;
    for (std::int64_t t = 0; t <= 512; t += 4) {
      std::int64_t t2 = t * t, t3 = t2 * t;
      std::int64_t b0 = 512 - 3 * t + ((3 * t2) >> 9) - (t3 >> 18);
      std::int64_t b1 = 3 * t - ((6 * t2) >> 9) + ((3 * t3) >> 18);
      std::int64_t b2 = ((3 * t2) >> 9) - ((3 * t3) >> 18);
      std::int64_t b3 = t3 >> 18;
      int x = static_cast<int>((b0 * a0.x + b1 * h1.x + b2 * h2.x + b3 * next.x) >> 9);
      int y = static_cast<int>((b0 * a0.y + b1 * h1.y + b2 * h2.y + b3 * next.y) >> 9);
      if (PushPoint(out, x, y, kPenDown)) return 1;
    }
    a0 = next;
  }
  return 0;
}

// The circular arc from a through b to c (straight lines when the three are
// in a line), without its first point.
int Arc(PointList& out, AreaPoint a, AreaPoint b, AreaPoint c) {
  double ax = a.x, ay = a.y, bx = b.x, by = b.y, cx = c.x, cy = c.y;
  double d = 2 * (ax * (by - cy) + bx * (cy - ay) + cx * (ay - by));
  if (std::abs(d) < 1e-9) {
    if (PushPoint(out, b.x, b.y, kPenDown)) return 1;
    return PushPoint(out, c.x, c.y, kPenDown);
  }
  double a2 = ax * ax + ay * ay, b2 = bx * bx + by * by, c2 = cx * cx + cy * cy;
  double ux = (a2 * (by - cy) + b2 * (cy - ay) + c2 * (ay - by)) / d;
  double uy = (a2 * (cx - bx) + b2 * (ax - cx) + c2 * (bx - ax)) / d;
  double r = std::hypot(ax - ux, ay - uy);
  constexpr double kTurn = 2 * std::numbers::pi;
  auto norm = [&](double v) {
    v = std::fmod(v, kTurn);
    return v < 0 ? v + kTurn : v;
  };
  double start = std::atan2(ay - uy, ax - ux);
  double toEnd = norm(std::atan2(cy - uy, cx - ux) - start);
  double toMid = norm(std::atan2(by - uy, bx - ux) - start);
  double sweep = toMid <= toEnd ? toEnd : toEnd - kTurn;
  const double want = std::ceil(std::abs(sweep) * r);  // huge or NaN for a near-straight arc
  const int steps = want >= 2 ? static_cast<int>(std::min(want, 100000.0)) : 2;
  for (int i = 1; i < steps; ++i) {
    double angle = start + sweep * i / steps;
    if (PushPoint(out, RoundToInt(ux + r * std::cos(angle)), RoundToInt(uy + r * std::sin(angle)), kPenDown))
      return 1;
  }
  return PushPoint(out, c.x, c.y, kPenDown);
}

int PolyArcOutline(PointList& out, const std::vector<AreaPoint>& p, bool closed) {
  if (p.empty()) return 0;
  if (PushPoint(out, p[0].x, p[0].y, kPenUp)) return 1;
  std::size_t n = p.size();
  bool lastIsFirst = p[n - 1].x == p[0].x && p[n - 1].y == p[0].y;
  if (n == 4 && closed && !lastIsFirst) return Arc(out, p[0], p[1], p[2]) || Arc(out, p[2], p[3], p[0]);
  std::size_t i = 0;
  for (; i + 2 < n; i += 2)
    if (Arc(out, p[i], p[i + 1], p[i + 2])) return 1;
  if (i + 1 < n && PushPoint(out, p[i + 1].x, p[i + 1].y, kPenDown)) return 1;
  if (closed && n > 1) return PushPoint(out, p[0].x, p[0].y, kPenDown);
  return 0;
}

void ColourKeyFill(std::uint8_t* mask, ImageRecord* image, bool restrictOnly) {
  const KeyColour key = GetKeyColour();
  const int ref[3] = {key.red, key.green, key.blue};
  ColourRanges ranges;
  ranges.rgb[0] = key.redRange;
  ranges.rgb[1] = key.greenRange;
  ranges.rgb[2] = key.blueRange;
  ranges.hsl[0] = key.extra.hueRange;
  ranges.hsl[1] = key.extra.saturationRange;
  ranges.hsl[2] = key.extra.lightnessRange;
  ranges.useHsl = key.extra.useHsl != 0;
  int w = image->width, h = image->height;
  for (int y = 0; y < h; ++y) {
    std::uint8_t* row = mask + static_cast<std::size_t>(y) * w;
    for (int x = 0; x < w; ++x) {
      if (restrictOnly && row[x] == 0) continue;
      row[x] = PassesColourTest(PixelAt(image, x, y), ref, ranges) ? 255 : 0;
    }
  }
}

// Scan-line flood fill from the seed. The pending list is bounded: a fill
// that reaches the limit stops early, as documented, rather than grow.
int WandFill(std::uint8_t* mask, ImageRecord* image, const AreaSelection& s) {
  int w = image->width, h = image->height;
  std::memset(mask, 0, static_cast<std::size_t>(w) * h);
  int sx = s.seedX, sy = s.seedY;
  if (sx < 0 || sy < 0 || sx >= w || sy >= h) return 0;
  const std::uint8_t* seed = PixelAt(image, sx, sy);
  int ref[3] = {seed[0], seed[1], seed[2]};
  const ColourRanges& ranges = s.wandRanges;
  Hsl refHsl = RgbToHsl(ref[0], ref[1], ref[2]);
  auto passes = [&](int x, int y) {
    const std::uint8_t* p = PixelAt(image, x, y);
    if (!ranges.useHsl)
      return Within(p[0], ref[0], ranges.rgb[0]) && Within(p[1], ref[1], ranges.rgb[1]) &&
             Within(p[2], ref[2], ranges.rgb[2]);
    Hsl c = RgbToHsl(p[0], p[1], p[2]);
    int dh = std::abs(c.h - refHsl.h);
    if (dh > 180) dh = 360 - dh;
    return dh <= ranges.hsl[0] && Within(c.s, refHsl.s, ranges.hsl[1]) && Within(c.l, refHsl.l, ranges.hsl[2]);
  };
  auto at = [&](int x, int y) -> std::uint8_t& { return mask[static_cast<std::size_t>(y) * w + x]; };

  PointList seeds{nullptr, 0, 0, "xfil"};
  auto done = [&](int result) {
    FreePointList(seeds);
    return result;
  };
  if (PushPoint(seeds, sx, sy, 0)) return done(1);
  int index = 0, processed = 0;
  while (seeds.count > 0 && seeds.count < kWandSeedLimit) {
    if (index >= seeds.count) index = 0;
    AreaPoint p = seeds.points[index];
    seeds.points[index] = seeds.points[--seeds.count];
    ++index;
    if (at(p.x, p.y)) continue;
    at(p.x, p.y) = 255;
    int xr = p.x, xl = p.x;
    while (xr + 1 < w && !at(xr + 1, p.y) && passes(xr + 1, p.y)) at(++xr, p.y) = 255;
    while (xl - 1 >= 0 && !at(xl - 1, p.y) && passes(xl - 1, p.y)) at(--xl, p.y) = 255;
    for (int ny : {p.y - 1, p.y + 1}) {
      if (ny < 0 || ny >= h) continue;
      int x = xl;
      while (x <= xr) {
        if (at(x, ny) || !passes(x, ny)) {
          ++x;
          continue;
        }
        int start = x;
        while (x + 1 <= xr && !at(x + 1, ny) && passes(x + 1, ny)) ++x;
        if (PushPoint(seeds, start, ny, 0)) return done(1);
        if (x != start && PushPoint(seeds, x, ny, 0)) return done(1);
        ++x;
      }
    }
    if ((++processed & 255) == 0 && Progress(std::min(p.y, h - 1)) != 0) return done(1);
  }
  return done(0);
}

// Box, centre and radii of the non-zero bytes; 0, 0, 0, 0 when none.
void BoundsOfBytes(AreaSelection& s, const std::uint8_t* mask, int w, int h) {
  int l = w, r = -1, t = h, b = -1;
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* row = mask + static_cast<std::size_t>(y) * w;
    int first = -1, last = -1;
    for (int x = 0; x < w; ++x)
      if (row[x]) {
        if (first < 0) first = x;
        last = x;
      }
    if (first < 0) continue;
    l = std::min(l, first);
    r = std::max(r, last);
    t = std::min(t, y);
    b = y;
  }
  if (r < 0)
    SetSelectionBox(s, 0, 0, 0, 0);
  else
    SetSelectionBox(s, l, t, r, b);
}

void ScaleRedo(AreaSelection& s, int w, int h) {
  int ow = std::max(1, s.imageWidth), oh = std::max(1, s.imageHeight);
  auto sx = [&](int v) { return ClampToInt(std::int64_t{v} * w / ow); };
  auto sy = [&](int v) { return ClampToInt(std::int64_t{v} * h / oh); };
  s.left = sx(s.left);
  s.right = sx(s.right);
  s.centreX = sx(s.centreX);
  s.radiusX = sx(s.radiusX);
  s.top = sy(s.top);
  s.bottom = sy(s.bottom);
  s.centreY = sy(s.centreY);
  s.radiusY = sy(s.radiusY);
}

}  // namespace

int PushPoint(PointList& list, int x, int y, std::uint8_t flag) {
  if (list.count >= list.capacity) {
    int grown = list.capacity * 2 + 256;
    auto* points = AllocRealArray<AreaPoint>(grown, list.tag);
    if (!points) return 1;
    if (list.count) std::memcpy(points, list.points, sizeof(AreaPoint) * static_cast<std::size_t>(list.count));
    if (list.points) FreeReal(list.points, list.tag);
    list.points = points;
    list.capacity = grown;
  }
  list.points[list.count++] = AreaPoint{x, y, flag};
  return 0;
}

void ClearPointList(PointList& list) { list.count = 0; }

void FreePointList(PointList& list) {
  if (list.points) FreeReal(list.points, list.tag);
  list.points = nullptr;
  list.count = list.capacity = 0;
}

int CopyPointList(PointList& to, const PointList& from) {
  ClearPointList(to);
  for (int i = 0; i < from.count; ++i)
    if (PushPoint(to, from.points[i].x, from.points[i].y, from.points[i].flag)) return 1;
  return 0;
}

bool PassesColourTest(const std::uint8_t* rgb, const int ref[3], const ColourRanges& ranges) {
  if (!ranges.useHsl)
    return Within(rgb[0], ref[0], ranges.rgb[0]) && Within(rgb[1], ref[1], ranges.rgb[1]) &&
           Within(rgb[2], ref[2], ranges.rgb[2]);
  Hsl c = RgbToHsl(rgb[0], rgb[1], rgb[2]);
  Hsl r = RgbToHsl(ref[0], ref[1], ref[2]);
  int dh = std::abs(c.h - r.h);
  if (dh > 180) dh = 360 - dh;
  return dh <= ranges.hsl[0] && Within(c.s, r.s, ranges.hsl[1]) && Within(c.l, r.l, ranges.hsl[2]);
}

std::uint8_t* LockMaskFor(ImageRecord* image, const char* tag) {
  AreaMask& m = Area().mask;
  if (m.address) return m.address;
  int w = image->width, h = image->height;
  if (m.place && (m.width != w || m.height != h) && ResizeMask(w, h) != 0) {
    ShowMessage(kMessageNoVirtualMemory);
    return nullptr;
  }
  if (!m.place) {
    m.place = AllocVirtual(std::int64_t{w} * h, tag);
    if (!m.place) {
      ShowMessage(kMessageNoVirtualMemory);
      return nullptr;
    }
    m.width = w;
    m.height = h;
    auto* bytes = static_cast<std::uint8_t*>(LockVirtual(m.place));
    if (bytes) {
      std::memset(bytes, 0, static_cast<std::size_t>(w) * h);
      UnlockVirtual(m.place);
    }
  }
  m.address = static_cast<std::uint8_t*>(LockVirtual(m.place));
  if (!m.address) ShowMessage(kMessageNoRealMemory);
  return m.address;
}

void UnlockMask() {
  AreaMask& m = Area().mask;
  if (m.address) UnlockVirtual(m.place);
  m.address = nullptr;
}

int BuildOutline(int mode) {
  AreaSelection& s = Area().selection;
  PointList& out = s.outline;
  ClearPointList(out);
  switch (mode) {
    case kAreaFreehand:
    case kAreaPolygon:
      return CopyPointList(out, s.capture);
    case kAreaIShape: {
      // Per-mille shape points into the box.
      auto into = [](std::int64_t from, std::int64_t span, int permille) {
        return ClampToInt(from + MulDiv(permille, span, 1000));
      };
      const std::int64_t width = std::int64_t{s.right} - s.left, height = std::int64_t{s.bottom} - s.top;
      for (int i = 0; i < s.capture.count; ++i) {
        const AreaPoint& p = s.capture.points[i];
        if (PushPoint(out, into(s.left, width, p.x), into(s.top, height, p.y), p.flag)) return 1;
      }
      return 0;
    }
    case kAreaSpline:
      for (auto& run : Runs(s.control))
        if (SplineOutline(out, run, s.closed)) return 1;
      return 0;
    case kAreaBezier:
      for (auto& run : Runs(s.control))
        if (BezierOutline(out, run)) return 1;
      return 0;
    case kAreaPolyArc:
      for (auto& run : Runs(s.control))
        if (PolyArcOutline(out, run, s.closed)) return 1;
      return 0;
    default:
      return 0;
  }
}

int BuildAreaMask(ImageRecord* image, int /*viewIndex*/) {
  const AreaState& a = Area();
  return BuildAreaMaskWith(image, a.selection.mode, a.colourKey, a.exclude);
}

int BuildAreaMaskWith(ImageRecord* image, int mode, bool keyRestrict, bool exclude) {
  AreaState& a = Area();
  AreaSelection& s = a.selection;
  if (!image) return 1;
  // Redo of an area file no mask was made from yet builds it from its
  // description, refitted to this image.
  if (mode == kAreaRedo && a.loadedSelection) mode = RefitLoadedSelection(image);
  if (mode == kAreaRedo && !a.mask.place && !a.loadedSelection) {
    ShowMessage(kMessageRedoWithoutSelection);
    return 1;
  }
  if (LockImage(image) != 0) {
    ShowMessage(kMessageNoRealMemory);
    return 1;
  }
  int w = image->width, h = image->height;
  if (mode == kAreaEntire && a.mask.place && !a.mask.address) {
    // A fresh mask, whatever size the old one had.
    FreeVirtual(a.mask.place);
    a.mask.place = nullptr;
  }
  if (mode == kAreaRedo && a.mask.place) ScaleRedo(s, w, h);
  std::uint8_t* mask = LockMaskFor(image);
  if (!mask) {
    UnlockImage(image);
    return 1;
  }
  std::size_t bytes = static_cast<std::size_t>(w) * h;
  BeginProgress("Masking", h);
  int result = 0;
  switch (mode) {
    case kAreaFreehand:
    case kAreaPolygon:
    case kAreaIShape:
    case kAreaPolyArc:
    case kAreaSpline:
    case kAreaBezier:
      result = BuildOutline(mode);
      if (result == 0) result = FillOutline(mask, w, h, s.outline);
      break;
    case kAreaRectangle:
    case kAreaNumRect:
      std::memset(mask, 0, bytes);
      FillBox(mask, w, h, s.left, s.top, s.right, s.bottom);
      break;
    case kAreaEllipse:
      std::memset(mask, 0, bytes);
      EllipseWalk(mask, w, h, s.centreX, s.centreY, s.radiusX, s.radiusY, 0, 0);
      break;
    case kAreaRoundRect: {
      std::memset(mask, 0, bytes);
      const std::int64_t r = std::clamp(s.roundness, 0, 100);
      const std::int64_t cx = s.centreX, cy = s.centreY, rx = s.radiusX, ry = s.radiusY;
      const std::int64_t ex = r * rx / 100, ey = r * ry / 100;
      const std::int64_t ix = (100 - r) * rx / 100, iy = (100 - r) * ry / 100;
      if (ex != 0 && ey != 0) EllipseWalk(mask, w, h, cx, cy, ex, ey, ix, iy);
      const std::int64_t from = std::max<std::int64_t>(0, cx - ix), to = std::min<std::int64_t>(w - 1, cx + ix);
      for (std::int64_t x = from; x <= to; ++x) Span(mask, w, h, static_cast<int>(x), cy - ry, cy + ry);
      break;
    }
    case kAreaColourWand:
      result = WandFill(mask, image, s);
      break;
    case kAreaColourKey:
      ColourKeyFill(mask, image, false);
      break;
    case kAreaEntire:
      std::memset(mask, 255, bytes);
      break;
    case kAreaFont:
      std::memset(mask, 0, bytes);
      result = DrawFontMask(mask, w, h, s, s.seedX, s.seedY);
      break;
    case kAreaRedo:
      break;
    default:
      std::memset(mask, 0, bytes);
      break;
  }
  if (result == 0 && mode != kAreaRedo) {
    // A redone mask already carries the restriction and the inversion.
    if (keyRestrict) ColourKeyFill(mask, image, true);
    if (exclude)
      for (std::size_t i = 0; i < bytes; ++i) mask[i] = static_cast<std::uint8_t>(255 - mask[i]);
  }
  if (!a.run.active) {
    // A splat's mask stands in for the selection only during its pass.
    a.maskImage = result == 0 ? image : nullptr;
    a.redone = result == 0 && mode == kAreaRedo;
  }
  if (result == 0) {
    if (mode == kAreaEntire && !exclude)
      SetSelectionBox(s, 0, 0, w - 1, h - 1);
    else
      BoundsOfBytes(s, mask, w, h);
    if (mode == kAreaEntire && !exclude) {
      s.centreX = (w - 1) / 2;
      s.centreY = (h - 1) / 2;
    }
    if (mode != kAreaRedo) s.mode = static_cast<std::int16_t>(mode);
    a.loadedSelection = false;
    s.imageWidth = w;
    s.imageHeight = h;
  }
  EndProgress();
  UnlockMask();
  UnlockImage(image);
  return result == 0 ? 0 : 1;
}

void MaskBounds(int /*viewIndex*/) {
  AreaState& a = Area();
  if (!a.mask.place) {
    SetSelectionBox(a.selection, 0, 0, 0, 0);
    return;
  }
  bool wasLocked = a.mask.address != nullptr;
  auto* mask = wasLocked ? a.mask.address : static_cast<std::uint8_t*>(LockVirtual(a.mask.place));
  if (!mask) return;
  BoundsOfBytes(a.selection, mask, a.mask.width, a.mask.height);
  if (!wasLocked) UnlockVirtual(a.mask.place);
}

void SetSelectionBox(AreaSelection& s, int l, int t, int r, int b) {
  s.left = l;
  s.top = t;
  s.right = r;
  s.bottom = b;
  const std::int64_t cx = (std::int64_t{l} + r) / 2, cy = (std::int64_t{t} + b) / 2;
  s.centreX = static_cast<std::int32_t>(cx);
  s.centreY = static_cast<std::int32_t>(cy);
  s.radiusX = ClampToInt(std::max(cx - l, r - cx));
  s.radiusY = ClampToInt(std::max(cy - t, b - cy));
}

}  // namespace qv
