// Motion Blur, Spiral Blur and Explode. Every pixel of the (widened) box
// takes a weighted mean of the usable samples on its path and of itself;
// a sample is usable when it lies in the image and the copy and the mask
// there is set.
#include "base/cpu_features.h"
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

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define QV_MOTION_AVX2 1
#endif

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
  // The band of rows the last tiled call finished.
  int bandGeneration = -1, bandFirst = 0, bandLast = -1;
  // Explode: per image row, whether the mask is set over all the copy's
  // columns (-1 until asked).
  std::vector<signed char> rowSet;
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

// Finish with the three divisions in doubles: numerator and divisor are
// whole numbers below 2^33, so the rounded quotient truncates to the
// integer quotient (a quotient short of n + 1 by at least 1 / divisor stays
// short of it after a rounding of 2^-53 relative).
inline void FinishExact(std::uint8_t* p, long w, const long s[3], long k, bool alpha) {
  if (w < 1) return;
  const double den = static_cast<double>(w + k);
  int out[3];
  for (int ch = 0; ch < 3; ++ch) {
    const long old = alpha ? p[3] : p[ch];
    const long v = static_cast<long>(static_cast<double>(s[ch] + k * old) / den);
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
  ms.rowSet.assign(static_cast<std::size_t>(std::max(c.image->height, 0)), -1);
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

bool MaskRowsSet(const Sampler& s, long ya, long yb);
#if defined(QV_MOTION_AVX2)
int MotionFinishAvx2(std::uint8_t* row, const std::int32_t* sums, const std::int32_t* weights, int n, int k);
#endif

// Where every sample of a stretch of pixels lies in the copy (and so in the
// image), only the mask decides: the sums are taken step by step over the
// stretch, a whole row of samples at a time. A step whose row lies outside
// the copy has no usable sample and is left out.
void MotionBlurRow(std::uint8_t* row, int x0, int x1, int y, const std::uint8_t*) {
  const Sampler s;
  const CopyView& copy = s.copy;
  const long top = std::max(copy.top, 0), bottom = std::min(copy.top + copy.height, s.height) - 1;
  const long left = std::max(copy.left, 0), right = std::min(copy.left + copy.width, s.width) - 1;
  // The steps whose samples fall in the copy's rows, and how far they reach
  // sideways and down.
  std::vector<int> used, weights;
  int minOx = 0, maxOx = 0;
  long firstRow = y, lastRow = y;
  for (std::size_t k = 0; k < ms.w.size(); ++k) {
    const long sy = long{y} - ms.oy[k];
    if (sy < top || sy > bottom) continue;
    if (used.empty()) minOx = maxOx = ms.ox[k], firstRow = lastRow = sy;
    used.push_back(static_cast<int>(k));
    weights.push_back(ms.w[k]);
    minOx = std::min(minOx, ms.ox[k]), maxOx = std::max(maxOx, ms.ox[k]);
    firstRow = std::min(firstRow, sy), lastRow = std::max(lastRow, sy);
  }
  // The 32-bit sums hold 100 x 255 per step for any trend's length.
  const bool fits = ms.w.size() < 80000 && copy.width > 0 && copy.height > 0;
  const int a = static_cast<int>(std::max<long>(x0, left + maxOx));
  const int b = static_cast<int>(std::min<long>(x1, right + minOx));
  const bool masksSet = fits && MaskRowsSet(s, firstRow, lastRow);
  const int chOf[3] = {s.alpha ? 3 : 0, s.alpha ? 3 : 1, s.alpha ? 3 : 2};
  const std::size_t width = static_cast<std::size_t>(s.width);
  constexpr int kStretch = 128;
  alignas(16) std::int32_t sw[kStretch], sums[kStretch * 4];
  const std::size_t taps = used.size();
  std::vector<const std::uint8_t*> src(taps), masks(taps);
#if defined(QV_MOTION_AVX2)
  const bool vectorFinish = !s.alpha && ms.amount >= 0 && ms.amount <= 100 && CpuHasAvx2();
#endif
  for (int x = x0; x <= x1;) {
    const int n = std::min(kStretch, b - x + 1) & ~3;
    if (!fits || x < a || n <= 0) {
      MotionBlurWorker(row + std::size_t{4} * (x - x0), x, y, 0);
      ++x;
      continue;
    }
    for (std::size_t j = 0; j < taps; ++j) {
      const std::size_t k = static_cast<std::size_t>(used[j]);
      const int sx = x - ms.ox[k], sy = y - ms.oy[k];
      src[j] = copy.At(sx, sy);
      masks[j] = s.c.mask + static_cast<std::size_t>(sy) * width + static_cast<std::size_t>(sx);
    }
    MaskedTapSums(sums, sw, src.data(), masks.data(), weights.data(), taps, n, masksSet);
    int i = 0;
#if defined(QV_MOTION_AVX2)
    if (vectorFinish) i = MotionFinishAvx2(row + std::size_t{4} * (x - x0), sums, sw, n, 400);
#endif
    for (; i < n; ++i) {
      const long sum[3] = {sums[4 * i + chOf[0]], sums[4 * i + chOf[1]], sums[4 * i + chOf[2]]};
      FinishExact(row + std::size_t{4} * (x - x0 + i), sw[i], sum, 400, s.alpha);
    }
    x += n;
  }
}

#if defined(QV_MOTION_AVX2)
// FinishExact in colour for four pixels at a time (Amount 0..100, sums and
// sums + K x 255 within 32 bits): the same divisions in doubles, lane by
// lane; a mean never exceeds 255,
// so neither does the mix (clamped all the same). Returns how many pixels
// it did.
__attribute__((target("avx2"))) int MotionFinishAvx2(std::uint8_t* row, const std::int32_t* sums,
                                                     const std::int32_t* weights, int n, int k) {
  const __m128i byte = _mm_set1_epi32(0xFF), kv = _mm_set1_epi32(k), zero = _mm_setzero_si128();
  const __m128i amount = _mm_set1_epi32(static_cast<int>(ms.amount)), keep = _mm_set1_epi32(static_cast<int>(ms.keep));
  const __m256d hundred = _mm256_set1_pd(100.0);
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    std::uint8_t* p = row + std::size_t{4} * i;
    const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(weights + i));
    // With no usable sample (w < 1) the pixel keeps its bytes.
    const __m128i none = _mm_cmpgt_epi32(_mm_set1_epi32(1), w);
    const __m256d den = _mm256_cvtepi32_pd(_mm_add_epi32(w, kv));
    // The four pixels' sums, channel by channel.
    const __m128i s0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + 4 * i));
    const __m128i s1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + 4 * i + 4));
    const __m128i s2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + 4 * i + 8));
    const __m128i s3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + 4 * i + 12));
    const __m128i t01lo = _mm_unpacklo_epi32(s0, s1), t23lo = _mm_unpacklo_epi32(s2, s3);
    const __m128i t01hi = _mm_unpackhi_epi32(s0, s1), t23hi = _mm_unpackhi_epi32(s2, s3);
    const __m128i channel[3] = {_mm_unpacklo_epi64(t01lo, t23lo), _mm_unpackhi_epi64(t01lo, t23lo),
                                _mm_unpacklo_epi64(t01hi, t23hi)};
    const __m128i px = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i out = _mm_andnot_si128(_mm_set1_epi32(0x00FFFFFF), px);
    for (int ch = 0; ch < 3; ++ch) {
      const __m128i old = _mm_and_si128(_mm_srli_epi32(px, 8 * ch), byte);
      const __m128i num = _mm_add_epi32(channel[ch], _mm_mullo_epi32(old, kv));
      const __m128i v = _mm256_cvttpd_epi32(_mm256_div_pd(_mm256_cvtepi32_pd(num), den));
      const __m128i mix = _mm_add_epi32(_mm_mullo_epi32(v, amount), _mm_mullo_epi32(old, keep));
      const __m128i o = _mm256_cvttpd_epi32(_mm256_div_pd(_mm256_cvtepi32_pd(mix), hundred));
      out = _mm_or_si128(out, _mm_slli_epi32(_mm_min_epi32(_mm_max_epi32(o, zero), byte), 8 * ch));
    }
    out = _mm_or_si128(_mm_and_si128(none, px), _mm_andnot_si128(none, out));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), out);
  }
  return i;
}
#endif

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
  ms.bandGeneration = -1, ms.bandLast = -1;
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

// A pixel's samples lie on an arc across the picture, each moving a pixel
// or so from one pixel to the next; row after row the arcs of a whole row
// touch more of the copy than the caches hold. So the first row of a band
// works the band's rows in square tiles (each sample's neighbourhood then
// stays cached) and the band's later rows find their pixels done. Every
// pixel reads only the copy, the mask and itself, so the order changes
// nothing.
constexpr int kSpiralBand = 16;

void SpiralBlurRow(std::uint8_t* row, int x0, int x1, int y, const std::uint8_t*) {
  const Sampler s;
  const ApplyContext& c = s.c;
  if (c.generation == ms.bandGeneration && y >= ms.bandFirst && y <= ms.bandLast) return;
  const int last = std::min(y + kSpiralBand - 1, c.y1);
  if (row != c.image->pixels + (static_cast<std::size_t>(c.image->rows[y]) + static_cast<std::size_t>(x0)) * 4 ||
      x0 != c.x0 || x1 != c.x1 || y < c.y0 || last <= y) {
    for (int x = x0; x <= x1; ++x) SpiralBlurFast(s, row + std::size_t{4} * (x - x0), x, y);
    return;
  }
  for (int tx = x0; tx <= x1; tx += kSpiralBand) {
    const int tx1 = std::min(tx + kSpiralBand - 1, x1);
    for (int yy = y; yy <= last; ++yy) {
      std::uint8_t* p = c.image->pixels + (static_cast<std::size_t>(c.image->rows[yy]) + static_cast<std::size_t>(tx)) * 4;
      for (int x = tx; x <= tx1; ++x, p += 4) SpiralBlurFast(s, p, x, yy);
    }
  }
  ms.bandGeneration = c.generation, ms.bandFirst = y, ms.bandLast = last;
}

// ---- Explode

int PrepareExplode() {
  ApplyContext& c = Ctx();
  ms.length = ParamValue(kExplodeOp, 0);
  ms.amount = ParamValue(kExplodeOp, 1);
  ms.keep = 100 - ms.amount;
  if (ms.amount == 0 || ms.length == 0) return NoChangeCancel();
  if (ms.length > 0) WidenBox(c, ms.length, ms.length);
  ms.rowSet.assign(static_cast<std::size_t>(std::max(c.image->height, 0)), -1);
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
  const long sums[3] = {s0, s1, s2};
  FinishExact(p, w, sums, total, s.alpha);
}

#if defined(QV_MOTION_AVX2)
// Eight neighbouring pixels' rays at once, when they take the same number
// of steps and lie wholly in the copy and the image; false leaves the
// eight to ExplodeFast. The directions and sample positions are the same
// roots, quotients, products and differences, lane by lane. Mostly the
// eight samples of a step are eight neighbours in one row of the copy (the
// rays of neighbouring pixels run nearly alike away from the centre): one
// load then takes them all. Two steps go into one multiply-add with their
// weights |L| - |k|; integer sums come out the same in any order.
struct ExplodeBounds {
  long left, top, right, bottom;  // the copy's part inside the image
  // With the copy's rows evenly spaced, a pixel's place in the copy is
  // y x stride + x + base.
  double stride, base;
};

__attribute__((target("avx2"))) inline __m256i Truncated(__m256d lo, __m256d hi) {
  return _mm256_set_m128i(_mm256_cvttpd_epi32(hi), _mm256_cvttpd_epi32(lo));
}

// The eight lanes' positions: x + i, y and the directions.
struct ExplodeLanes {
  __m256d fx0, fx1, fy, ux0, ux1, uy0, uy1;
};

// The samples of step k: eight neighbours from place `at` (and `maskAt`)
// when `together`, else lane by lane.
template <bool Masked>
__attribute__((target("avx2"))) inline __m256i ExplodeStep(const Sampler& s, const ExplodeLanes& l, const ExplodeBounds& b, bool together,
                                                           std::int32_t at, std::int32_t maskAt, long k, __m256i& on) {
  on = _mm256_set1_epi32(-1);
  if (together) {
    const __m256i q = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s.copy.pixels + std::size_t{4} * static_cast<std::uint32_t>(at)));
    if (!Masked) return q;
    const std::uint8_t* m = s.c.mask + static_cast<std::uint32_t>(maskAt);
    const __m256i bytes = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(m)));
    on = _mm256_xor_si256(_mm256_cmpeq_epi32(bytes, _mm256_setzero_si256()), on);
    return _mm256_and_si256(q, on);
  }
  // Lane by lane: the places as whole numbers in doubles, eight loads.
  const __m256d kj = _mm256_set1_pd(static_cast<double>(k));
  const int zeroToward = _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC;
  const __m256d x0 = _mm256_round_pd(_mm256_sub_pd(l.fx0, _mm256_mul_pd(l.ux0, kj)), zeroToward);
  const __m256d x1 = _mm256_round_pd(_mm256_sub_pd(l.fx1, _mm256_mul_pd(l.ux1, kj)), zeroToward);
  const __m256d y0 = _mm256_round_pd(_mm256_sub_pd(l.fy, _mm256_mul_pd(l.uy0, kj)), zeroToward);
  const __m256d y1 = _mm256_round_pd(_mm256_sub_pd(l.fy, _mm256_mul_pd(l.uy1, kj)), zeroToward);
  const __m256d stride = _mm256_set1_pd(b.stride), base = _mm256_set1_pd(b.base);
  alignas(32) std::int32_t places[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(places),
                     Truncated(_mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(y0, stride), x0), base),
                               _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(y1, stride), x1), base)));
  const std::uint8_t* pixels = s.copy.pixels;
  auto word = [pixels](std::int32_t place) {
    std::int32_t v;
    std::memcpy(&v, pixels + std::size_t{4} * static_cast<std::uint32_t>(place), 4);
    return v;
  };
  const __m256i q = _mm256_setr_epi32(word(places[0]), word(places[1]), word(places[2]), word(places[3]), word(places[4]),
                                      word(places[5]), word(places[6]), word(places[7]));
  if (!Masked) return q;
  const __m256d width = _mm256_set1_pd(static_cast<double>(s.width));
  _mm256_store_si256(reinterpret_cast<__m256i*>(places), Truncated(_mm256_add_pd(_mm256_mul_pd(y0, width), x0),
                                                                     _mm256_add_pd(_mm256_mul_pd(y1, width), x1)));
  const std::uint8_t* mask = s.c.mask;
  const __m256i bytes = _mm256_setr_epi32(mask[places[0]], mask[places[1]], mask[places[2]], mask[places[3]],
                                          mask[places[4]], mask[places[5]], mask[places[6]], mask[places[7]]);
  on = _mm256_xor_si256(_mm256_cmpeq_epi32(bytes, _mm256_setzero_si256()), on);
  return _mm256_and_si256(q, on);
}

// FinishExact in colour for eight pixels whose sums lie in acc[j] as
// pixels j and j + 4, every numerator below 2^24: each division one of
// floats, which truncates to C's quotient (a quotient short of a whole
// number by at least 1 / d stays short of it after a float's rounding).
__attribute__((target("avx2"))) inline void ExplodeFinishFloat(std::uint8_t* p, const __m256i acc[4], __m256i weights, int k) {
  const __m256i was = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  const __m256 kf = _mm256_set1_ps(static_cast<float>(k));
  const __m256i amount = _mm256_set1_epi32(static_cast<int>(ms.amount)), keep = _mm256_set1_epi32(static_cast<int>(ms.keep));
  const __m256i shifts = _mm256_setr_epi32(0, 8, 16, 24, 0, 8, 16, 24), byte = _mm256_set1_epi32(0xFF);
  // The alpha lane and pixels without a usable sample keep their bytes.
  const __m256i alphaLane = _mm256_setr_epi32(0, 0, 0, -1, 0, 0, 0, -1), one = _mm256_set1_epi32(1);
  __m256i out[4];
  for (int j = 0; j < 4; ++j) {
    const __m256i lanes = _mm256_setr_epi32(j, j, j, j, j + 4, j + 4, j + 4, j + 4);
    const __m256i old = _mm256_and_si256(_mm256_srlv_epi32(_mm256_permutevar8x32_epi32(was, lanes), shifts), byte);
    const __m256i w = _mm256_permutevar8x32_epi32(weights, lanes);
    const __m256 oldF = _mm256_cvtepi32_ps(old);
    const __m256 num = _mm256_add_ps(_mm256_cvtepi32_ps(acc[j]), _mm256_mul_ps(oldF, kf));
    const __m256 den = _mm256_cvtepi32_ps(_mm256_add_epi32(w, _mm256_set1_epi32(k)));
    // The mean is a byte and "Amount" and its rest lie in 0..100: the
    // mix stays below 25500, in reach of the exact multiply and shift.
    const __m256i v = _mm256_cvttps_epi32(_mm256_div_ps(num, den));
    const __m256i mix = _mm256_add_epi32(_mm256_mullo_epi32(v, amount), _mm256_mullo_epi32(old, keep));
    __m256i o = ByConstant<100, 41944, 22, 255 * 100>::Unsigned(mix);
    o = _mm256_min_epi32(_mm256_max_epi32(o, _mm256_setzero_si256()), byte);
    const __m256i keepOld = _mm256_or_si256(alphaLane, _mm256_cmpgt_epi32(one, w));
    out[j] = _mm256_blendv_epi8(o, old, keepOld);
  }
  const __m256i bytes = _mm256_packus_epi16(_mm256_packus_epi32(out[0], out[1]), _mm256_packus_epi32(out[2], out[3]));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), bytes);
}

// ExplodeFinishFloat where every pixel has the same weight (no mask, so at
// least |L|): the same float divisions, then the means (bytes) and the
// mixes (below 25500) in 16-bit lanes, in the pixels' own order, and the
// division by 100 as the same exact multiply and shift split into a
// multiply-high and a shift.
__attribute__((target("avx2"))) inline void ExplodeFinishEven(std::uint8_t* p, const __m256i acc[4], int weight, int k) {
  const __m256i was = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), zero = _mm256_setzero_si256();
  // Pixels 0, 1 (4, 5 in the upper half) and 2, 3 (6, 7), a channel to a
  // 16-bit lane; widened again, pixel j (and j + 4) as in acc[j].
  const __m256i lo = _mm256_unpacklo_epi8(was, zero), hi = _mm256_unpackhi_epi8(was, zero);
  const __m256i old[4] = {_mm256_unpacklo_epi16(lo, zero), _mm256_unpackhi_epi16(lo, zero), _mm256_unpacklo_epi16(hi, zero),
                          _mm256_unpackhi_epi16(hi, zero)};
  const __m256 kf = _mm256_set1_ps(static_cast<float>(k)), den = _mm256_set1_ps(static_cast<float>(weight + k));
  __m256i v[4];
  for (int j = 0; j < 4; ++j)
    v[j] = _mm256_cvttps_epi32(
        _mm256_div_ps(_mm256_add_ps(_mm256_cvtepi32_ps(acc[j]), _mm256_mul_ps(_mm256_cvtepi32_ps(old[j]), kf)), den));
  const __m256i amount = _mm256_set1_epi16(static_cast<short>(ms.amount)), keep = _mm256_set1_epi16(static_cast<short>(ms.keep));
  const __m256i magic = _mm256_set1_epi16(static_cast<short>(41944));
  const __m256i alpha = _mm256_set1_epi64x(static_cast<long long>(0xFFFF000000000000ULL));
  const __m256i means[2] = {_mm256_packs_epi32(v[0], v[1]), _mm256_packs_epi32(v[2], v[3])}, before[2] = {lo, hi};
  __m256i out[2];
  for (int h = 0; h < 2; ++h) {
    const __m256i mix = _mm256_add_epi16(_mm256_mullo_epi16(means[h], amount), _mm256_mullo_epi16(before[h], keep));
    out[h] = _mm256_blendv_epi8(_mm256_srli_epi16(_mm256_mulhi_epu16(mix, magic), 6), before[h], alpha);
  }
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), _mm256_packus_epi16(out[0], out[1]));
}

// The least (or greatest) of four lanes, in every lane.
__attribute__((target("avx2"))) inline __m256d AcrossLanes(__m256d v, bool least) {
  const __m256d swapped = _mm256_permute4x64_pd(v, 0x4E);  // halves exchanged
  v = least ? _mm256_min_pd(v, swapped) : _mm256_max_pd(v, swapped);
  const __m256d neighbour = _mm256_permute_pd(v, 0x5);  // pairs exchanged
  return least ? _mm256_min_pd(v, neighbour) : _mm256_max_pd(v, neighbour);
}

template <bool Masked>
__attribute__((target("avx2"))) bool ExplodeEight(const Sampler& s, const ExplodeBounds& b, std::uint8_t* p, int x,
                                                  int y) {
  const long l = ms.length, step = l >= 1 ? 1 : -1, total = std::labs(l);
  if (x < b.left || x + 7 > b.right || y < b.top || y > b.bottom) return false;
  const __m256d fx0 = _mm256_setr_pd(x, x + 1, x + 2, x + 3), fx1 = _mm256_setr_pd(x + 4, x + 5, x + 6, x + 7);
  const __m256d fy = _mm256_set1_pd(static_cast<double>(y));
  const __m256d ddy = _mm256_set1_pd(static_cast<double>(y - s.c.cy)), cx = _mm256_set1_pd(static_cast<double>(s.c.cx));
  const __m256d ddx0 = _mm256_sub_pd(fx0, cx), ddx1 = _mm256_sub_pd(fx1, cx);
  const __m256i dd = Truncated(_mm256_sqrt_pd(_mm256_add_pd(_mm256_mul_pd(ddx0, ddx0), _mm256_mul_pd(ddy, ddy))),
                               _mm256_sqrt_pd(_mm256_add_pd(_mm256_mul_pd(ddx1, ddx1), _mm256_mul_pd(ddy, ddy))));
  if (!_mm256_testz_si256(_mm256_cmpeq_epi32(dd, _mm256_setzero_si256()), _mm256_set1_epi32(-1))) return false;
  // The last k: it stops at L or at the distance, the same in every lane.
  long end = l + 1;
  if (l >= 1) {
    const __m256i last = _mm256_sub_epi32(_mm256_min_epi32(dd, _mm256_set1_epi32(static_cast<int>(l))), _mm256_set1_epi32(1));
    end = _mm_cvtsi128_si32(_mm256_castsi256_si128(last));
    if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(last, _mm256_set1_epi32(static_cast<int>(end)))) != -1) return false;
  }
  // The 32-bit sums: every weight is at most |L|, over |end| + 1 steps and
  // the pixel itself; weights as 16-bit multipliers.
  if (total >= 32768 || (static_cast<std::int64_t>(std::labs(end)) + 2) * total * 255 >= (std::int64_t{1} << 31)) return false;
  const __m256d ux0 = _mm256_div_pd(ddx0, _mm256_cvtepi32_pd(_mm256_castsi256_si128(dd)));
  const __m256d ux1 = _mm256_div_pd(ddx1, _mm256_cvtepi32_pd(_mm256_extracti128_si256(dd, 1)));
  const __m256d uy0 = _mm256_div_pd(ddy, _mm256_cvtepi32_pd(_mm256_castsi256_si128(dd)));
  const __m256d uy1 = _mm256_div_pd(ddy, _mm256_cvtepi32_pd(_mm256_extracti128_si256(dd, 1)));
  const ExplodeLanes lanes{fx0, fx1, fy, ux0, ux1, uy0, uy1};
  // Positions move monotonically along a ray: the ends in the box put
  // every sample there.
  {
    const __m256d ke = _mm256_set1_pd(static_cast<double>(end));
    const __m256i ex = Truncated(_mm256_sub_pd(fx0, _mm256_mul_pd(ux0, ke)), _mm256_sub_pd(fx1, _mm256_mul_pd(ux1, ke)));
    const __m256i ey = Truncated(_mm256_sub_pd(fy, _mm256_mul_pd(uy0, ke)), _mm256_sub_pd(fy, _mm256_mul_pd(uy1, ke)));
    const __m256i out = _mm256_or_si256(
        _mm256_or_si256(_mm256_cmpgt_epi32(_mm256_set1_epi32(static_cast<int>(b.left)), ex),
                        _mm256_cmpgt_epi32(ex, _mm256_set1_epi32(static_cast<int>(b.right)))),
        _mm256_or_si256(_mm256_cmpgt_epi32(_mm256_set1_epi32(static_cast<int>(b.top)), ey),
                        _mm256_cmpgt_epi32(ey, _mm256_set1_epi32(static_cast<int>(b.bottom)))));
    if (!_mm256_testz_si256(out, out)) return false;
  }
  // Lane i's x position at step k is i + X0 + (ux0 - ux_i) k in exact
  // arithmetic, where X0 is lane 0's, and its y position Y0 + (uy0 - uy_i) k:
  // where lane 0's fraction lies far enough inside [0, 1) that no lane's
  // difference can carry it over a whole number, the eight samples are the
  // eight neighbours of lane 0's one, and only lane 0's place is worked,
  // four steps at a time. The margin covers every rounding of the
  // positions and of this test many times over; elsewhere the lanes are
  // worked one by one.
  // The lanes' differences from lane 0 (0 in lane 0 itself), their least
  // and greatest; for steps of one sign the products' least and greatest
  // are those of the two ends.
  const __m256d ux0b = _mm256_permute4x64_pd(ux0, 0), uy0b = _mm256_permute4x64_pd(uy0, 0);
  const __m256d dA = _mm256_sub_pd(ux0b, ux0), dB = _mm256_sub_pd(ux0b, ux1);
  const __m256d eA = _mm256_sub_pd(uy0b, uy0), eB = _mm256_sub_pd(uy0b, uy1);
  const __m256d dLowV = AcrossLanes(_mm256_min_pd(dA, dB), true), dHighV = AcrossLanes(_mm256_max_pd(dA, dB), false);
  const __m256d eLowV = AcrossLanes(_mm256_min_pd(eA, eB), true), eHighV = AcrossLanes(_mm256_max_pd(eA, eB), false);
  const bool forward = step > 0;
  const __m256d dFirst = forward ? dLowV : dHighV, dSecond = forward ? dHighV : dLowV;
  const __m256d eFirst = forward ? eLowV : eHighV, eSecond = forward ? eHighV : eLowV;
  const double margin =
      (std::fabs(static_cast<double>(x)) + std::fabs(static_cast<double>(y)) + 4.0 * static_cast<double>(std::labs(end)) + 64.0) *
      0x1p-48;
  const __m256d lowest = _mm256_set1_pd(margin), highest = _mm256_set1_pd(1 - margin);
  const __m256d lane0x = _mm256_set1_pd(static_cast<double>(x));
  // A sample's place in the copy and in the mask as whole numbers in
  // doubles (exact: all below 2^53).
  const __m256d strideV = _mm256_set1_pd(b.stride), baseV = _mm256_set1_pd(b.base);
  const __m256d widthV = _mm256_set1_pd(static_cast<double>(s.width));
  const double stepD = static_cast<double>(step);
  const __m256d stepFour = _mm256_set1_pd(4 * stepD);
  __m256d kk = _mm256_setr_pd(stepD, 2 * stepD, 3 * stepD, 4 * stepD);
  const std::uint8_t* pixels = s.copy.pixels;
  const __m256i zero = _mm256_setzero_si256();
  __m256i acc0 = zero, acc1 = zero, acc2 = zero, acc3 = zero, accW = zero;
  const long steps = std::labs(end) + 1;
  // Weights of steps c and c + 1 as one multiply-add pair.
  __m256i wpair = _mm256_set1_epi32(static_cast<int>((static_cast<std::uint32_t>(total) << 16)));
  const __m256i pairStep = _mm256_set1_epi16(2);
  // Rays of up to 32 steps: the four steps' weights as bytes, two steps to
  // a byte multiply-add and the four summed in 16 bits (at most 255 x 122)
  // before they join the 32-bit sums.
  const bool shortRays = total <= 32;
  auto bytePair = [](long first, long second) {
    return static_cast<short>(((second & 0xFF) << 8) | (first & 0xFF));
  };
  // Step 0 samples the eight pixels themselves (a product with 0 moves
  // nothing), always neighbours: it goes alone, weighed |L|, so that the
  // steps after it fill whole groups of four.
  {
    __m256i on;
    const double place = static_cast<double>(y) * b.stride + static_cast<double>(x) + b.base;
    const double maskPlace = static_cast<double>(y) * static_cast<double>(s.width) + static_cast<double>(x);
    const __m256i q0 = ExplodeStep<Masked>(s, lanes, b, true, static_cast<std::int32_t>(place),
                                           static_cast<std::int32_t>(maskPlace), 0, on);
    if (Masked) accW = _mm256_and_si256(on, _mm256_set1_epi32(static_cast<int>(total)));
    // As the second of a pair (weighed |L|) whose first is nothing.
    const __m256i lo = _mm256_unpacklo_epi8(q0, zero), hi = _mm256_unpackhi_epi8(q0, zero);
    acc0 = _mm256_madd_epi16(_mm256_unpacklo_epi16(zero, lo), wpair);
    acc1 = _mm256_madd_epi16(_mm256_unpackhi_epi16(zero, lo), wpair);
    acc2 = _mm256_madd_epi16(_mm256_unpacklo_epi16(zero, hi), wpair);
    acc3 = _mm256_madd_epi16(_mm256_unpackhi_epi16(zero, hi), wpair);
    wpair = _mm256_set1_epi32(static_cast<int>((static_cast<std::uint32_t>(total - 2) << 16) |
                                               static_cast<std::uint32_t>(total - 1)));
  }
  __m256i bytesFirst = _mm256_set1_epi16(bytePair(total - 1, total - 2));
  __m256i bytesSecond = _mm256_set1_epi16(bytePair(total - 3, total - 4));
  for (long c = 1; c < steps; c += 4) {
    const __m256d px = _mm256_sub_pd(lane0x, _mm256_mul_pd(ux0b, kk)), py = _mm256_sub_pd(fy, _mm256_mul_pd(uy0b, kk));
    const __m256d tx = _mm256_round_pd(px, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
    const __m256d ty = _mm256_round_pd(py, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
    const __m256d fx = _mm256_sub_pd(px, tx), fyr = _mm256_sub_pd(py, ty);
    const __m256d inside = _mm256_and_pd(
        _mm256_and_pd(_mm256_cmp_pd(_mm256_add_pd(fx, _mm256_mul_pd(dFirst, kk)), lowest, _CMP_GE_OQ),
                      _mm256_cmp_pd(_mm256_add_pd(fx, _mm256_mul_pd(dSecond, kk)), highest, _CMP_LE_OQ)),
        _mm256_and_pd(_mm256_cmp_pd(_mm256_add_pd(fyr, _mm256_mul_pd(eFirst, kk)), lowest, _CMP_GE_OQ),
                      _mm256_cmp_pd(_mm256_add_pd(fyr, _mm256_mul_pd(eSecond, kk)), highest, _CMP_LE_OQ)));
    const int together = _mm256_movemask_pd(inside);
    alignas(16) std::int32_t at[4], maskAt[4] = {0, 0, 0, 0};
    _mm_store_si128(reinterpret_cast<__m128i*>(at),
                    _mm256_cvttpd_epi32(_mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(ty, strideV), tx), baseV)));
    if (Masked)
      _mm_store_si128(reinterpret_cast<__m128i*>(maskAt), _mm256_cvttpd_epi32(_mm256_add_pd(_mm256_mul_pd(ty, widthV), tx)));
    kk = _mm256_add_pd(kk, stepFour);
    __m256i q[4];
    if (!Masked && together == 15 && c + 4 <= steps) {
      for (int j = 0; j < 4; ++j)
        q[j] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pixels + std::size_t{4} * static_cast<std::uint32_t>(at[j])));
    } else {
      const int here = static_cast<int>(std::min<long>(4, steps - c));
      for (int j = 0; j < 4; ++j) {
        __m256i on;
        q[j] = j >= here ? zero
                         : ExplodeStep<Masked>(s, lanes, b, together >> j & 1, at[j], maskAt[j], step * (c + j), on);
        if (Masked && j < here)
          accW = _mm256_add_epi32(accW, _mm256_and_si256(on, _mm256_set1_epi32(static_cast<int>(total - c - j))));
      }
    }
    if (shortRays) {
      const __m256i lo = _mm256_add_epi16(_mm256_maddubs_epi16(_mm256_unpacklo_epi8(q[0], q[1]), bytesFirst),
                                          _mm256_maddubs_epi16(_mm256_unpacklo_epi8(q[2], q[3]), bytesSecond));
      const __m256i hi = _mm256_add_epi16(_mm256_maddubs_epi16(_mm256_unpackhi_epi8(q[0], q[1]), bytesFirst),
                                          _mm256_maddubs_epi16(_mm256_unpackhi_epi8(q[2], q[3]), bytesSecond));
      acc0 = _mm256_add_epi32(acc0, _mm256_unpacklo_epi16(lo, zero));
      acc1 = _mm256_add_epi32(acc1, _mm256_unpackhi_epi16(lo, zero));
      acc2 = _mm256_add_epi32(acc2, _mm256_unpacklo_epi16(hi, zero));
      acc3 = _mm256_add_epi32(acc3, _mm256_unpackhi_epi16(hi, zero));
      bytesFirst = _mm256_sub_epi8(bytesFirst, _mm256_set1_epi8(4));
      bytesSecond = _mm256_sub_epi8(bytesSecond, _mm256_set1_epi8(4));
      continue;
    }
    for (int j = 0; j < 4; j += 2) {
      const __m256i alo = _mm256_unpacklo_epi8(q[j], zero), ahi = _mm256_unpackhi_epi8(q[j], zero);
      const __m256i blo = _mm256_unpacklo_epi8(q[j + 1], zero), bhi = _mm256_unpackhi_epi8(q[j + 1], zero);
      acc0 = _mm256_add_epi32(acc0, _mm256_madd_epi16(_mm256_unpacklo_epi16(alo, blo), wpair));
      acc1 = _mm256_add_epi32(acc1, _mm256_madd_epi16(_mm256_unpackhi_epi16(alo, blo), wpair));
      acc2 = _mm256_add_epi32(acc2, _mm256_madd_epi16(_mm256_unpacklo_epi16(ahi, bhi), wpair));
      acc3 = _mm256_add_epi32(acc3, _mm256_madd_epi16(_mm256_unpackhi_epi16(ahi, bhi), wpair));
      wpair = _mm256_sub_epi16(wpair, pairStep);
    }
  }
  const std::int32_t unmaskedWeight = static_cast<std::int32_t>(steps * total - steps * (steps - 1) / 2);
  const __m256i weightV = Masked ? accW : _mm256_set1_epi32(unmaskedWeight);
  if (!s.alpha && ms.amount >= 0 && ms.amount <= 100 && 255 * (std::int64_t{unmaskedWeight} + total) < (1 << 24)) {
    const __m256i acc[4] = {acc0, acc1, acc2, acc3};
    if (Masked)
      ExplodeFinishFloat(p, acc, weightV, static_cast<int>(total));
    else
      ExplodeFinishEven(p, acc, unmaskedWeight, static_cast<int>(total));
    return true;
  }
  alignas(32) std::int32_t sums[32], weights[8];
  __m256i* out = reinterpret_cast<__m256i*>(sums);
  _mm256_store_si256(out, _mm256_permute2x128_si256(acc0, acc1, 0x20));
  _mm256_store_si256(out + 1, _mm256_permute2x128_si256(acc2, acc3, 0x20));
  _mm256_store_si256(out + 2, _mm256_permute2x128_si256(acc0, acc1, 0x31));
  _mm256_store_si256(out + 3, _mm256_permute2x128_si256(acc2, acc3, 0x31));
  _mm256_store_si256(reinterpret_cast<__m256i*>(weights), weightV);
  if (!s.alpha && ms.amount >= 0 && ms.amount <= 100) {
    MotionFinishAvx2(p, sums, weights, 8, static_cast<int>(total));
    return true;
  }
  const int c0i = s.alpha ? 3 : 0, c1i = s.alpha ? 3 : 1, c2i = s.alpha ? 3 : 2;
  for (int i = 0; i < 8; ++i) {
    const long sum[3] = {sums[4 * i + c0i], sums[4 * i + c1i], sums[4 * i + c2i]};
    FinishExact(p + 4 * i, weights[i], sum, total, s.alpha);
  }
  return true;
}

#endif

// Whether the mask is set over the copy's columns in every image row from
// ya to yb that the copy holds.
bool MaskRowsSet(const Sampler& s, long ya, long yb) {
  const CopyView& copy = s.copy;
  ya = std::max<long>({ya, copy.top, 0}), yb = std::min<long>({yb, copy.top + copy.height - 1, s.height - 1});
  const long xa = std::max(copy.left, 0), xb = std::min(copy.left + copy.width, s.width) - 1;
  if (ms.rowSet.size() != static_cast<std::size_t>(s.height)) return false;
  for (long y = ya; y <= yb; ++y) {
    signed char& known = ms.rowSet[static_cast<std::size_t>(y)];
    if (known < 0) {
      const std::uint8_t* m = s.c.mask + static_cast<std::size_t>(y) * static_cast<std::size_t>(s.width);
      known = static_cast<signed char>(std::find(m + xa, m + xb + 1, std::uint8_t{0}) == m + xb + 1);
    }
    if (!known) return false;
  }
  return true;
}

// Whether the copy's image rows ya to yb lie evenly `stride` pixels apart
// from its first, so that a sample's place there is one number (below
// 2^31). A row's rays read only the rows within their reach: asking the
// whole copy for every row would cost as much as a ray.
bool EvenRows(const CopyView& copy, long ya, long yb, std::uint32_t& stride) {
  stride = copy.height < 2 ? static_cast<std::uint32_t>(copy.width) : copy.rows[1] - copy.rows[0];
  if (std::int64_t{copy.rows[copy.height - 1]} + copy.width >= (std::int64_t{1} << 31)) return false;
  const long ra = std::max<long>(ya - copy.top, 0), rb = std::min<long>(yb - copy.top, copy.height - 1L);
  for (long r = ra; r <= rb; ++r)
    if (copy.rows[r] != copy.rows[0] + static_cast<std::uint32_t>(r) * stride) return false;
  return true;
}

void ExplodeRow(std::uint8_t* row, int x0, int x1, int y, const std::uint8_t*) {
  const Sampler s;
  int x = x0;
#if defined(QV_MOTION_AVX2)
  const CopyView& copy = s.copy;
  std::uint32_t stride = 0;
  // Mask places as 32-bit numbers too.
  const bool small = std::int64_t{s.width} * s.height < (std::int64_t{1} << 31);
  // Every sample lies within `reach` rows of the pixel; the bounds keep
  // the rays to those rows all the same.
  const long reach = std::labs(ms.length) + 1;
  if (CpuHasAvx2() && small && copy.height > 0 && copy.width > 0 && EvenRows(copy, y - reach, y + reach, stride)) {
    const double base = static_cast<double>(copy.rows[0]) - static_cast<double>(copy.top) * stride - copy.left;
    const ExplodeBounds b{std::max(copy.left, 0), std::max<long>({copy.top, 0, y - reach}),
                          std::min(copy.left + copy.width, s.width) - 1L,
                          std::min<long>({copy.top + copy.height - 1L, s.height - 1L, y + reach}), static_cast<double>(stride),
                          base};
    const bool masked = !MaskRowsSet(s, y - reach, y + reach);
    for (; x + 7 <= x1; x += 8) {
      std::uint8_t* p = row + std::size_t{4} * (x - x0);
      if (!(masked ? ExplodeEight<true>(s, b, p, x, y) : ExplodeEight<false>(s, b, p, x, y)))
        for (int i = 0; i < 8; ++i) ExplodeFast(s, p + 4 * i, x + i, y);
    }
  }
#endif
  for (; x <= x1; ++x) ExplodeFast(s, row + std::size_t{4} * (x - x0), x, y);
}

const OpRoutineEntry kMotionRoutines[] = {
    {kMotionBlurOp, {.prepare = PrepareMotionBlur, .pixelWorker = MotionBlurWorker, .rowWorker = MotionBlurRow}},
    {kSpiralBlurOp, {.prepare = PrepareSpiralBlur, .pixelWorker = SpiralBlurWorker, .rowWorker = SpiralBlurRow}},
    {kExplodeOp, {.prepare = PrepareExplode, .pixelWorker = ExplodeWorker, .rowWorker = ExplodeRow}},
};

}  // namespace

std::span<const OpRoutineEntry> MotionOperationRoutines() { return kMotionRoutines; }

}  // namespace qv
