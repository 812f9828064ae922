// Motion Blur, Spiral Blur and Explode. Every pixel of the (widened) box
// takes a weighted mean of the usable samples on its path and of itself;
// a sample is usable when it lies in the image and the copy and the mask
// there is set.
#include "ops/motion_ops.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/messages.h"
#include "ops/apply.h"
#include "ops/effect_support.h"
#include "ops/op_state.h"
#include "ops/tap_sums.h"
#include "store/image_record.h"

namespace qv {
namespace {

// Degrees to radians with the factor the streaks have always used.
constexpr double kRadiansPerDegree = 0.0174532925239284;
constexpr int kMessageNoMemory = 22;
constexpr long kLongestStreak = 1 << 20;

struct MotionSettings {
  long length = 0, amount = 0, keep = 0;
  // Motion Blur: the streak and, per step k, the sample's offset and weight.
  long dx = 0, dy = 0;
  std::vector<int> ox, oy, w;
  int minOx = 0, maxOx = 0, minOy = 0, maxOy = 0;
  // Spiral Blur: sin and cos of the turn at each step j along the arc.
  double rot = 0;
  long rmax = 0;
  std::vector<double> turnSin, turnCos;
};
MotionSettings ms;

// What one worker call reads: the copy, the mask and the image's size.
struct Sampler {
  const ApplyContext& c;
  CopyView copy;
  int width, height;
  bool alpha;
  Sampler() : c(Ctx()), copy(c.undo), width(c.image->width), height(c.image->height), alpha(c.affectAlpha) {}
  // The usable sample at (x, y), or null.
  const std::uint8_t* Usable(long x, long y) const {
    if (x < 0 || y < 0 || x >= width || y >= height || !copy.Has(static_cast<int>(x), static_cast<int>(y))) return nullptr;
    if (c.mask[static_cast<std::size_t>(y) * width + static_cast<std::size_t>(x)] == 0) return nullptr;
    return copy.At(static_cast<int>(x), static_cast<int>(y));
  }
};

struct Sums {
  long w = 0, s[3] = {0, 0, 0};
  void Add(const std::uint8_t* q, long weight, bool alpha) {
    w += weight;
    if (alpha) {
      s[0] += weight * q[3];
      s[1] += weight * q[3];
      s[2] += weight * q[3];
    } else {
      s[0] += weight * q[0];
      s[1] += weight * q[1];
      s[2] += weight * q[2];
    }
  }
};

// The ending every worker shares: the mean of the samples and the pixel
// itself (weight k), mixed with the old value by "Amount".
inline void Finish(std::uint8_t* p, const Sums& sum, long k, bool alpha) {
  if (sum.w < 1) return;
  int out[3];
  for (int ch = 0; ch < 3; ++ch) {
    const long old = alpha ? p[3] : p[ch];
    const long v = (sum.s[ch] + k * old) / (sum.w + k);
    out[ch] = Clamp0To255((v * ms.amount + old * ms.keep) / 100);
  }
  if (alpha) {
    p[3] = static_cast<std::uint8_t>(Lum(out[0], out[1], out[2]));
  } else {
    for (int ch = 0; ch < 3; ++ch) p[ch] = static_cast<std::uint8_t>(out[ch]);
  }
}

inline long ClampTo(long v, long hi) { return std::clamp<long>(v, 0, hi); }

// ---- Motion Blur

int PrepareMotionBlur() {
  ApplyContext& c = Ctx();
  ms.length = ParamValue(kMotionBlurOp, 0);
  ms.amount = ParamValue(kMotionBlurOp, 2);
  ms.keep = 100 - ms.amount;
  if (ms.amount == 0 || ms.length == 0) return NoChangeCancel();
  // A streak far longer than any picture would only fill memory.
  if (ms.length > kLongestStreak) {
    ShowMessage(kMessageNoMemory);
    return 1;
  }
  const double a = ParamValue(kMotionBlurOp, 1) * kRadiansPerDegree;
  const long l = ms.length;
  ms.dx = static_cast<long>(std::sin(a) * static_cast<double>(l));
  ms.dy = -static_cast<long>(std::cos(a) * static_cast<double>(l));
  const long w = c.image->width - 1, h = c.image->height - 1;
  if (ms.dx < 1)
    c.x0 = static_cast<std::int32_t>(ClampTo(c.x0 + ms.dx, w));
  else
    c.x1 = static_cast<std::int32_t>(ClampTo(c.x1 + ms.dx, w));
  if (ms.dy < 1)
    c.y0 = static_cast<std::int32_t>(ClampTo(c.y0 + ms.dy, h));
  else
    c.y1 = static_cast<std::int32_t>(ClampTo(c.y1 + ms.dy, h));
  const long n = std::max<long>(l, 0);
  ms.ox.assign(static_cast<std::size_t>(n), 0);
  ms.oy.assign(static_cast<std::size_t>(n), 0);
  ms.w.assign(static_cast<std::size_t>(n), 0);
  ms.minOx = ms.maxOx = ms.minOy = ms.maxOy = 0;
  for (long k = 0; k < n; ++k) {
    ms.ox[k] = static_cast<int>(k * ms.dx / l);
    ms.oy[k] = static_cast<int>(k * ms.dy / l);
    ms.w[k] = static_cast<int>((100 * l - 100 * k) / l);
    ms.minOx = std::min(ms.minOx, ms.ox[k]), ms.maxOx = std::max(ms.maxOx, ms.ox[k]);
    ms.minOy = std::min(ms.minOy, ms.oy[k]), ms.maxOy = std::max(ms.maxOy, ms.oy[k]);
  }
  return 0;
}

void MotionBlurWorker(std::uint8_t* p, int x, int y, int) {
  const Sampler s;
  Sums sum;
  for (std::size_t k = 0; k < ms.w.size(); ++k)
    if (const std::uint8_t* q = s.Usable(long{x} - ms.ox[k], long{y} - ms.oy[k])) sum.Add(q, ms.w[k], s.alpha);
  Finish(p, sum, 400, s.alpha);
}

// Where every sample of a stretch of pixels lies in the copy (and so in the
// image), only the mask decides: the sums are taken step by step over the
// stretch, a whole row of samples at a time.
void MotionBlurRow(std::uint8_t* row, int x0, int x1, int y, const std::uint8_t*) {
  const Sampler s;
  const CopyView& copy = s.copy;
  // The 32-bit sums hold 100 x 255 per step for any trend's length.
  const bool fits = ms.w.size() < 80000;
  const bool rowsIn = fits && y - ms.maxOy >= copy.top && y - ms.minOy <= copy.top + copy.height - 1;
  const int a = std::max(x0, copy.left + ms.maxOx), b = std::min(x1, copy.left + copy.width - 1 + ms.minOx);
  const int chOf[3] = {s.alpha ? 3 : 0, s.alpha ? 3 : 1, s.alpha ? 3 : 2};
  const std::size_t width = static_cast<std::size_t>(s.width);
  constexpr int kStretch = 128;
  alignas(16) std::int32_t sw[kStretch], sums[kStretch * 4];
  const std::size_t taps = ms.w.size();
  std::vector<const std::uint8_t*> src(rowsIn ? taps : 0), masks(rowsIn ? taps : 0);
  for (int x = x0; x <= x1;) {
    const int n = std::min(kStretch, b - x + 1) & ~3;
    if (!rowsIn || x < a || n <= 0) {
      MotionBlurWorker(row + std::size_t{4} * (x - x0), x, y, 0);
      ++x;
      continue;
    }
    for (std::size_t k = 0; k < taps; ++k) {
      const int sx = x - ms.ox[k], sy = y - ms.oy[k];
      src[k] = copy.At(sx, sy);
      masks[k] = s.c.mask + static_cast<std::size_t>(sy) * width + static_cast<std::size_t>(sx);
    }
    MaskedTapSums(sums, sw, src.data(), masks.data(), ms.w.data(), taps, n);
    for (int i = 0; i < n; ++i) {
      Sums sum;
      sum.w = sw[i];
      for (int ch = 0; ch < 3; ++ch) sum.s[ch] = sums[4 * i + chOf[ch]];
      Finish(row + std::size_t{4} * (x - x0 + i), sum, 400, s.alpha);
    }
    x += n;
  }
}

// ---- Spiral Blur

int PrepareSpiralBlur() {
  ApplyContext& c = Ctx();
  ms.length = ParamValue(kSpiralBlurOp, 0);
  ms.amount = ParamValue(kSpiralBlurOp, 2);
  ms.keep = 100 - ms.amount;
  if (ms.amount == 0 || ms.length == 0) return NoChangeCancel();
  ms.rot = ParamValue(kSpiralBlurOp, 1) * kRadiansPerDegree;
  const double rx = c.rx, ry = c.ry;
  ms.rmax = static_cast<long>(std::sqrt(rx * rx + ry * ry));
  const long e = std::max(c.rx, c.ry), l = ms.length;
  const long w = c.image->width - 1, h = c.image->height - 1;
  c.x0 = static_cast<std::int32_t>(ClampTo(c.cx - e - l, w));
  c.x1 = static_cast<std::int32_t>(ClampTo(c.cx + e + l, w));
  c.y0 = static_cast<std::int32_t>(ClampTo(c.cy - e - l, h));
  c.y1 = static_cast<std::int32_t>(ClampTo(c.cy + e + l, h));
  const double step = ms.rot / static_cast<double>(l);
  const std::size_t steps = static_cast<std::size_t>(std::max<long>(ms.rmax, 0)) + 1;
  ms.turnSin.resize(steps);
  ms.turnCos.resize(steps);
  for (std::size_t j = 0; j < steps; ++j) {
    const double a = step * static_cast<double>(j);
    ms.turnSin[j] = std::sin(a);
    ms.turnCos[j] = std::cos(a);
  }
  return 0;
}

void SpiralBlurWorker(std::uint8_t* p, int x, int y, int) {
  const Sampler s;
  const long cx = s.c.cx, cy = s.c.cy, l = ms.length;
  const double ex = static_cast<double>(cx - x), ey = static_cast<double>(y - cy);
  const double d = std::sqrt(ex * ex + ey * ey);
  const long dd = static_cast<long>(d);
  const double ll = static_cast<double>(l);
  const double phi0 = std::atan2(ex, ey) - d / ll * ms.rot;
  const double step = ms.rot / ll;
  Sums sum;
  const long last = std::min(dd, ms.rmax);
  for (long j = std::max<long>(0, dd - l + 1); j <= last; ++j) {
    const double phi = step * static_cast<double>(j) + phi0;
    const double jj = static_cast<double>(j);
    const long sx = cx + static_cast<long>(std::sin(phi) * jj);
    const long sy = cy - static_cast<long>(std::cos(phi) * jj);
    const long w = j + l - dd;
    if (w <= 0) continue;
    if (const std::uint8_t* q = s.Usable(sx, sy)) sum.Add(q, w, s.alpha);
  }
  Finish(p, sum, l, s.alpha);
}

// The sample offsets of the spiral by the angle-sum rule from the turn
// tables, with a guard: wherever the product could lie within the rule's
// error of a whole number, trunc could differ from the one of sin and cos
// themselves, and those are asked instead. The bound takes the rounding of
// phi = turn + phi0 (half an ulp of |phi|), the libm and table errors and
// the few roundings of the rule, times 4.
// The distance to the nearest whole number is min(|f|, 1 - |f|) for the
// fraction f = v - trunc(v): both are exact in doubles, and no rounding
// mode has to be asked, as nearbyint does on every call.
inline long GuardedTrunc(double approx, double exact(double), double phi, double j, double bound) {
  const double v = approx * j;
  const long whole = static_cast<long>(v);
  const double f = std::fabs(v - static_cast<double>(whole));
  if (std::min(f, 1 - f) > bound) return whole;
  return static_cast<long>(exact(phi) * j);
}

void SpiralBlurFast(const Sampler& s, std::uint8_t* p, int x, int y) {
  const long cx = s.c.cx, cy = s.c.cy, l = ms.length;
  const double ex = static_cast<double>(cx - x), ey = static_cast<double>(y - cy);
  const double d = std::sqrt(ex * ex + ey * ey);
  const long dd = static_cast<long>(d);
  const double ll = static_cast<double>(l);
  const double phi0 = std::atan2(ex, ey) - d / ll * ms.rot;
  const double step = ms.rot / ll;
  const double s0 = std::sin(phi0), c0 = std::cos(phi0);
  Sums sum;
  const long last = std::min(dd, ms.rmax);
  for (long j = std::max<long>(0, dd - l + 1); j <= last; ++j) {
    const long w = j + l - dd;
    if (w <= 0) continue;
    const double turn = step * static_cast<double>(j);
    const double phi = turn + phi0;
    const double jj = static_cast<double>(j);
    const double sa = ms.turnSin[static_cast<std::size_t>(j)], ca = ms.turnCos[static_cast<std::size_t>(j)];
    const double bound = 4 * (jj * ((std::fabs(turn) + std::fabs(phi0)) * 1.2e-16 + 1e-15) + 1e-13);
    const long sx = cx + GuardedTrunc(sa * c0 + ca * s0, std::sin, phi, jj, bound);
    const long sy = cy - GuardedTrunc(ca * c0 - sa * s0, std::cos, phi, jj, bound);
    if (const std::uint8_t* q = s.Usable(sx, sy)) sum.Add(q, w, s.alpha);
  }
  Finish(p, sum, l, s.alpha);
}

void SpiralBlurRow(std::uint8_t* row, int x0, int x1, int y, const std::uint8_t*) {
  const Sampler s;
  for (int x = x0; x <= x1; ++x) SpiralBlurFast(s, row + std::size_t{4} * (x - x0), x, y);
}

// ---- Explode

int PrepareExplode() {
  ApplyContext& c = Ctx();
  ms.length = ParamValue(kExplodeOp, 0);
  ms.amount = ParamValue(kExplodeOp, 1);
  ms.keep = 100 - ms.amount;
  if (ms.amount == 0 || ms.length == 0) return NoChangeCancel();
  if (ms.length > 0) WidenBox(c, ms.length, ms.length);
  return 0;
}

void ExplodeWorker(std::uint8_t* p, int x, int y, int) {
  const Sampler s;
  const long l = ms.length, step = l >= 1 ? 1 : -1;
  const long dx = x - s.c.cx, dy = y - s.c.cy;
  const double ddx = static_cast<double>(dx), ddy = static_cast<double>(dy);
  const long dd = static_cast<long>(std::sqrt(ddx * ddx + ddy * ddy));
  if (dd == 0) return;  // the centre has no ray
  const double ux = ddx / static_cast<double>(dd), uy = ddy / static_cast<double>(dd);
  Sums sum;
  for (long k = 0; k != l && k != dd; k += step) {
    const double kk = static_cast<double>(k);
    const long sx = static_cast<long>(x - ux * kk), sy = static_cast<long>(y - uy * kk);
    const long w = std::abs(l) - std::abs(k);
    if (w <= 0) continue;
    if (const std::uint8_t* q = s.Usable(sx, sy)) sum.Add(q, w, s.alpha);
  }
  Finish(p, sum, std::abs(l), s.alpha);
}

// Along a ray the sample positions move monotonically, so when both ends
// lie in the copy and the image every sample does: only the mask decides.
void ExplodeFast(const Sampler& s, std::uint8_t* p, int x, int y) {
  const long l = ms.length, step = l >= 1 ? 1 : -1;
  const long dx = x - s.c.cx, dy = y - s.c.cy;
  const double ddx = static_cast<double>(dx), ddy = static_cast<double>(dy);
  const long dd = static_cast<long>(std::sqrt(ddx * ddx + ddy * ddy));
  if (dd == 0) return;
  const double ux = ddx / static_cast<double>(dd), uy = ddy / static_cast<double>(dd);
  // The last k of the loop below: it stops at l or at dd.
  const long end = l >= 1 ? std::min(l, dd) - 1 : l + 1;
  const double fx = static_cast<double>(x), fy = static_cast<double>(y);
  const double ke = static_cast<double>(end);
  const long ex = static_cast<long>(fx - ux * ke), ey = static_cast<long>(fy - uy * ke);
  const CopyView& copy = s.copy;
  const long left = std::max(copy.left, 0), top = std::max(copy.top, 0);
  const long right = std::min(copy.left + copy.width, s.width) - 1, bottom = std::min(copy.top + copy.height, s.height) - 1;
  if (std::min<long>(x, ex) < left || std::max<long>(x, ex) > right || std::min<long>(y, ey) < top ||
      std::max<long>(y, ey) > bottom) {
    ExplodeWorker(p, x, y, 0);
    return;
  }
  const std::uint8_t* mask = s.c.mask;
  const std::size_t width = static_cast<std::size_t>(s.width);
  const int c0 = s.alpha ? 3 : 0, c1 = s.alpha ? 3 : 1, c2 = s.alpha ? 3 : 2;
  const long total = std::labs(l);
  long w = 0, s0 = 0, s1 = 0, s2 = 0;
  for (long k = 0; k != end + step; k += step) {
    const double kk = static_cast<double>(k);
    const long sx = static_cast<long>(fx - ux * kk), sy = static_cast<long>(fy - uy * kk);
    if (!mask[static_cast<std::size_t>(sy) * width + static_cast<std::size_t>(sx)]) continue;
    const std::uint8_t* q = copy.At(static_cast<int>(sx), static_cast<int>(sy));
    const long weight = total - std::labs(k);
    w += weight;
    s0 += weight * q[c0];
    s1 += weight * q[c1];
    s2 += weight * q[c2];
  }
  Sums sum;
  sum.w = w;
  sum.s[0] = s0, sum.s[1] = s1, sum.s[2] = s2;
  Finish(p, sum, total, s.alpha);
}

void ExplodeRow(std::uint8_t* row, int x0, int x1, int y, const std::uint8_t*) {
  const Sampler s;
  for (int x = x0; x <= x1; ++x) ExplodeFast(s, row + std::size_t{4} * (x - x0), x, y);
}

const OpRoutineEntry kMotionRoutines[] = {
    {kMotionBlurOp, {.prepare = PrepareMotionBlur, .pixelWorker = MotionBlurWorker, .rowWorker = MotionBlurRow}},
    {kSpiralBlurOp, {.prepare = PrepareSpiralBlur, .pixelWorker = SpiralBlurWorker, .rowWorker = SpiralBlurRow}},
    {kExplodeOp, {.prepare = PrepareExplode, .pixelWorker = ExplodeWorker, .rowWorker = ExplodeRow}},
};

}  // namespace

std::span<const OpRoutineEntry> MotionOperationRoutines() { return kMotionRoutines; }

}  // namespace qv
