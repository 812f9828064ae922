#include "morph.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zelvane {
namespace {

struct Moving {
  double x, y;    // where the pair's point is at time t
  double dx, dy;  // from there back to the picture's own point
};

// Bilinear sample with the edges repeated outward; whole-pixel positions
// give the pixel's own bytes.
void Sample(const Picture& p, double sx, double sy, std::uint8_t* out) {
  const double fxf = std::floor(sx), fyf = std::floor(sy);
  int fx = static_cast<int>(std::lround((sx - fxf) * 256)), fy = static_cast<int>(std::lround((sy - fyf) * 256));
  // Far outside, every position reads the edge: keep the integers small.
  double bx = std::clamp(fxf, -2.0, static_cast<double>(p.width) + 1);
  double by = std::clamp(fyf, -2.0, static_cast<double>(p.height) + 1);
  int x0 = static_cast<int>(bx), y0 = static_cast<int>(by);
  if (fx == 256) ++x0, fx = 0;
  if (fy == 256) ++y0, fy = 0;
  const int xa = std::clamp(x0, 0, p.width - 1), xb = std::clamp(x0 + 1, 0, p.width - 1);
  const int ya = std::clamp(y0, 0, p.height - 1), yb = std::clamp(y0 + 1, 0, p.height - 1);
  const std::size_t w = static_cast<std::size_t>(p.width);
  const std::uint8_t* a = &p.rgba[(ya * w + xa) * 4];
  const std::uint8_t* b = &p.rgba[(ya * w + xb) * 4];
  const std::uint8_t* c = &p.rgba[(yb * w + xa) * 4];
  const std::uint8_t* d = &p.rgba[(yb * w + xb) * 4];
  for (int k = 0; k < 4; ++k) {
    const int top = a[k] * (256 - fx) + b[k] * fx;
    const int bottom = c[k] * (256 - fx) + d[k] * fx;
    out[k] = static_cast<std::uint8_t>((top * (256 - fy) + bottom * fy + 32768) >> 16);
  }
}

// The picture warped so that its points (own[i]) sit at their places at time t.
Picture Warp(const Picture& p, const std::vector<Moving>& moving) {
  Picture out;
  out.width = p.width;
  out.height = p.height;
  out.rgba.resize(p.rgba.size());
  if (moving.empty()) {
    out.rgba = p.rgba;
    return out;
  }
  std::uint8_t* o = out.rgba.data();
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x, o += 4) {
      double sw = 0, sx = 0, sy = 0;
      for (const auto& m : moving) {
        const double ex = x - m.x, ey = y - m.y;
        const double w = 1.0 / (ex * ex + ey * ey + 1.0);
        sw += w;
        sx += w * m.dx;
        sy += w * m.dy;
      }
      Sample(p, x + sx / sw, y + sy / sw, o);
    }
  return out;
}

std::vector<Moving> MovingPoints(const std::vector<PointPair>& pairs, double t, bool fromEnd) {
  std::vector<Moving> moving;
  moving.reserve(pairs.size());
  for (const auto& p : pairs) {
    const double x = p.x0 + t * (p.x1 - p.x0), y = p.y0 + t * (p.y1 - p.y0);
    moving.push_back({x, y, (fromEnd ? p.x1 : p.x0) - x, (fromEnd ? p.y1 : p.y0) - y});
  }
  return moving;
}

// The end picture at the start's size (nearest pixel; the same size is a copy).
Picture Stretch(const Picture& end, int width, int height) {
  if (end.width == width && end.height == height) return end;
  Picture out;
  out.width = width;
  out.height = height;
  out.rgba.resize(static_cast<std::size_t>(width) * height * 4);
  std::uint8_t* o = out.rgba.data();
  for (int y = 0; y < height; ++y) {
    const std::int64_t ey = static_cast<std::int64_t>(y) * end.height / height;
    for (int x = 0; x < width; ++x, o += 4) {
      const std::int64_t ex = static_cast<std::int64_t>(x) * end.width / width;
      std::memcpy(o, &end.rgba[static_cast<std::size_t>((ey * end.width + ex) * 4)], 4);
    }
  }
  return out;
}

}  // namespace

double FrameTime(long n, long m) {
  if (m <= 1) return n > 1 ? 1.0 : 0.0;
  return std::clamp(static_cast<double>(n - 1) / static_cast<double>(m - 1), 0.0, 1.0);
}

Picture DistortFrame(const Picture& start, const std::vector<PointPair>& pairs, long n, long m) {
  return Warp(start, MovingPoints(pairs, FrameTime(n, m), false));
}

Picture TransitionFrame(const Picture& start, const Picture& end, const std::vector<PointPair>& pairs, long n, long m) {
  const double t = FrameTime(n, m);
  const std::int64_t bigM = std::max<long>(m - 1, 1);
  const std::int64_t k = std::clamp<std::int64_t>(n - 1, 0, bigM);
  Picture s = Warp(start, MovingPoints(pairs, t, false));
  if (k == 0) return s;
  const Picture e = Warp(Stretch(end, start.width, start.height), MovingPoints(pairs, t, true));
  for (std::size_t i = 0; i < s.rgba.size(); ++i)
    s.rgba[i] = static_cast<std::uint8_t>((s.rgba[i] * (bigM - k) + e.rgba[i] * k + bigM / 2) / bigM);
  return s;
}

}  // namespace zelvane
