// Derivative, Variance, Add Images and Subtract.
#include "base/cpu_features.h"
#include "ops/math_ops.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/messages.h"
#include "base/progress.h"
#include "ops/apply.h"
#include "ops/bilinear.h"
#include "ops/effect_support.h"
#include "ops/op_state.h"
#include "ops/tap_sums.h"
#include "store/image_record.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define QV_VARIANCE_AVX2 1
#endif

namespace qv {
namespace {

#if defined(QV_VARIANCE_AVX2)

// The whole-window pixels of a row from their deviations (three planes
// `padded` apart), eight at a time, colour only: the per-pixel expressions
// lane by lane, each division one of floats, exact for numerators below
// 2^24 (a quotient short of a whole number by at least 1 / d stays short of
// it after a float's rounding). Returns how many pixels it did.
__attribute__((target("avx2"))) int VarianceEight(std::uint8_t* p, const std::uint8_t* mask, const std::uint16_t* deviations,
                                                  std::size_t padded, int count, int full, int multiply, bool add) {
  const __m256 fullF = _mm256_set1_ps(static_cast<float>(full)), f255 = _mm256_set1_ps(255.0f);
  const __m256i k = _mm256_set1_epi32(multiply), byte = _mm256_set1_epi32(0xFF), zero = _mm256_setzero_si256();
  const __m256i all = _mm256_set1_epi32(255), alpha = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    std::uint8_t* at = p + std::size_t{4} * static_cast<std::size_t>(i);
    const __m256i px = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
    const __m256i m = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(mask + i)));
    __m256i out = _mm256_and_si256(px, alpha);
    for (int ch = 0; ch < 3; ++ch) {
      const __m256i dev = _mm256_cvtepu16_epi32(
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(deviations + static_cast<std::size_t>(ch) * padded + i)));
      const __m256i old = _mm256_and_si256(_mm256_srli_epi32(px, 8 * ch), byte);
      __m256i v = _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(_mm256_mullo_epi32(dev, k)), fullF));
      if (add) v = _mm256_add_epi32(v, old);
      v = _mm256_min_epi32(_mm256_max_epi32(v, zero), all);
      const __m256i mixed = _mm256_add_epi32(_mm256_mullo_epi32(old, _mm256_sub_epi32(all, m)), _mm256_mullo_epi32(v, m));
      const __m256i o = _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(mixed), f255));
      out = _mm256_or_si256(out, _mm256_slli_epi32(o, 8 * ch));
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), out);
  }
  return i;
}
#endif

constexpr int kMessageNoResultMemory = 70;

struct MathSettings {
  long multiply = 1, radius = 0;
  bool onGray = false, add = false;
  int mode = 0;  // Add Images' "On Gray"
  ImageRecord* source = nullptr;
  bool fromCopy = false;
};
MathSettings mt;

// v blended into the current pixel by m; with affect-alpha the alpha takes
// the luminance of the blend with the alpha instead.
inline void StoreMixed(std::uint8_t* p, const int v[3], int m, bool alpha) {
  if (alpha) {
    int b[3];
    for (int ch = 0; ch < 3; ++ch) b[ch] = (v[ch] * m + p[3] * (255 - m)) / 255;
    p[3] = static_cast<std::uint8_t>(Lum(b[0], b[1], b[2]));
    return;
  }
  for (int ch = 0; ch < 3; ++ch) p[ch] = static_cast<std::uint8_t>((p[ch] * (255 - m) + v[ch] * m) / 255);
}

// ---- Derivative

int PrepareDerivative() {
  mt.multiply = ParamValue(kDerivativeOp, 0);
  mt.onGray = ParamValue(kDerivativeOp, 1) != 0;
  mt.add = ParamValue(kDerivativeOp, 2) != 0;
  WidenBox(Ctx(), 1, 1);
  return 0;
}

// One pixel the plain way.
inline void DerivativePixel(const CopyView& copy, std::uint8_t* p, int x, int y, int m, long k, bool add, bool onGray,
                            bool alpha) {
  if (!m || !copy.Has(x, y)) return;
  const std::uint8_t* q = copy.At(x, y);
  const bool left = x > copy.left, up = y > copy.top;
  const std::uint8_t* u = up ? copy.At(x, y - 1) : nullptr;
  int v[3];
  for (int ch = 0; ch < 3; ++ch) {
    long d = 0;
    if (left) d += q[ch] - q[ch - 4];
    if (up) d += q[ch] - u[ch];
    const long cur = p[ch];
    const long dk = d * k;
    if (add)
      v[ch] = Clamp0To255((onGray ? dk : std::labs(dk)) + cur);
    else
      v[ch] = Clamp0To255(onGray ? dk + 127 : std::labs(dk));
  }
  StoreMixed(p, v, m, alpha);
}

int DerivativeWorker(std::uint8_t*, std::uint8_t* mask) {
  const ApplyContext& c = Ctx();
  const CopyView copy(c.undo);
  const Plane img(c.image, mask);
  const long k = mt.multiply;
  const bool add = mt.add, onGray = mt.onGray;
  // Pixels with both neighbours in the copy, two at a time: d x k fits 16
  // bits while |k| <= 64, saturation clamps as Clamp0To255 does, and a mask
  // of 0 (and the alpha channel, never changed here) keeps p x 255 / 255 = p.
  const bool vector = !c.affectAlpha && k >= -64 && k <= 64;
  for (int y = c.y0; y <= c.y1; ++y) {
    if (y % 8 == 0 && Progress(y - c.y0) != 0) return 1;
    std::uint8_t* p = img.At(c.x0, y);
    const std::uint8_t* mp = &img.MaskAt(c.x0, y);
    int x = c.x0;
#if defined(__SSE2__)
    if (vector && y > copy.top && y < copy.top + copy.height) {
      const int a = std::max(c.x0, copy.left + 1), b = std::min(c.x1, copy.left + copy.width - 1);
      // The pixels before a go the plain way first.
      for (; x < a && x <= c.x1; ++x, p += 4, ++mp) DerivativePixel(copy, p, x, y, *mp, k, add, onGray, false);
      const __m128i zero = _mm_setzero_si128(), kv = _mm_set1_epi16(static_cast<short>(k));
      const __m128i grey = _mm_set1_epi16(127), all = _mm_set1_epi16(255), by255 = _mm_set1_epi16(static_cast<short>(0x8081));
      const __m128i colour = _mm_set_epi16(0, -1, -1, -1, 0, -1, -1, -1);
      for (; x + 1 <= b; x += 2, p += 4 * 2, mp += 2) {
        const std::uint8_t* q = copy.At(x, y);
        auto two = [&](const std::uint8_t* at) { return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(at)), zero); };
        const __m128i here = two(q);
        const __m128i d = _mm_sub_epi16(_mm_add_epi16(here, here), _mm_add_epi16(two(q - 4), two(copy.At(x, y - 1))));
        const __m128i dk = _mm_mullo_epi16(d, kv);
        const __m128i mag = onGray ? dk : _mm_max_epi16(dk, _mm_sub_epi16(zero, dk));
        const __m128i cur = two(p);
        const __m128i v16 = add ? _mm_adds_epi16(mag, cur) : onGray ? _mm_adds_epi16(dk, grey) : mag;
        const __m128i v = _mm_unpacklo_epi8(_mm_packus_epi16(v16, v16), zero);  // clamped to 0..255
        const __m128i m = _mm_and_si128(_mm_set_epi16(mp[1], mp[1], mp[1], mp[1], mp[0], mp[0], mp[0], mp[0]), colour);
        const __m128i mixed = _mm_add_epi16(_mm_mullo_epi16(cur, _mm_sub_epi16(all, m)), _mm_mullo_epi16(v, m));
        const __m128i out = _mm_srli_epi16(_mm_mulhi_epu16(mixed, by255), 7);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_packus_epi16(out, out));
      }
    }
#endif
    for (; x <= c.x1; ++x, p += 4, ++mp) DerivativePixel(copy, p, x, y, *mp, k, add, onGray, c.affectAlpha);
  }
  return 0;
}

// ---- Variance

int PrepareVariance() {
  mt.radius = std::clamp(ParamValue(kVarianceOp, 0), 0, 10000);
  mt.multiply = ParamValue(kVarianceOp, 1);
  mt.add = ParamValue(kVarianceOp, 2) != 0;
  WidenBox(Ctx(), mt.radius, mt.radius);
  return 0;
}

// The copy's rows as three planes of bytes each, kept for the rows a window
// spans so that every row is split once; 16 spare bytes end each plane for
// the loads that run past a window.
class PlaneRows {
 public:
  PlaneRows(const CopyView& copy, int rows) : copy_(copy), rows_(rows), stride_(copy.width + 16) {
    bytes_.assign(static_cast<std::size_t>(rows) * 3 * stride_, 0);
    held_.assign(static_cast<std::size_t>(rows), -1);
  }
  // Channel ch of copy row y, from the copy's left edge.
  const std::uint8_t* Row(int y, int ch) {
    const int slot = (y - copy_.top) % rows_;
    std::uint8_t* base = bytes_.data() + static_cast<std::size_t>(slot) * 3 * stride_;
    if (held_[static_cast<std::size_t>(slot)] != y) {
      const std::uint8_t* q = copy_.At(copy_.left, y);
      for (int x = 0; x < copy_.width; ++x, q += 4) {
        base[x] = q[0];
        base[stride_ + x] = q[1];
        base[2 * stride_ + x] = q[2];
      }
      held_[static_cast<std::size_t>(slot)] = y;
    }
    return base + static_cast<std::size_t>(ch) * stride_;
  }

 private:
  const CopyView& copy_;
  int rows_;
  std::size_t stride_;
  std::vector<std::uint8_t> bytes_;
  std::vector<int> held_;
};

// The sum of |mean - v| over `side` bytes from `offset` of each of n rows
// that have at least 7 bytes more after them.
long WindowDeviation(const std::uint8_t* const* rows, int n, std::size_t offset, int side, int mean) {
#if defined(__SSE2__)
  const __m128i mv = _mm_set1_epi8(static_cast<char>(mean));
  // Lanes past the window take the mean, which adds nothing.
  const int tail = side % 8;
  const std::uint64_t tailBits = tail ? (std::uint64_t{1} << (8 * tail)) - 1 : ~std::uint64_t{0};
  const __m128i tailKeep = _mm_set1_epi64x(static_cast<long long>(tailBits));
  __m128i acc = _mm_setzero_si128();
  for (int k = 0; k < n; k += 2) {
    const std::uint8_t* a = rows[k] + offset;
    const std::uint8_t* b = k + 1 < n ? rows[k + 1] + offset : nullptr;
    for (int o = 0; o < side; o += 8) {
      const __m128i lo = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(a + o));
      const __m128i hi = b ? _mm_loadl_epi64(reinterpret_cast<const __m128i*>(b + o)) : mv;
      __m128i v = _mm_unpacklo_epi64(lo, hi);
      if (o + 8 > side) v = _mm_or_si128(_mm_and_si128(v, tailKeep), _mm_andnot_si128(tailKeep, mv));
      acc = _mm_add_epi64(acc, _mm_sad_epu8(v, mv));
    }
  }
  return _mm_cvtsi128_si32(acc) + _mm_cvtsi128_si32(_mm_srli_si128(acc, 8));
#else
  long dev = 0;
  for (int k = 0; k < n; ++k)
    for (int i = 0; i < side; ++i) dev += std::labs(long{mean} - rows[k][offset + i]);
  return dev;
#endif
}

// The deviations of whole windows (side <= 15, so that every sum fits 16
// bits) for the `count` pixels from column `from` of one channel's plane
// rows, sixteen pixels at a time: for each place of the window the bytes
// of sixteen neighbouring pixels at once, their distances from each pixel's
// own mean added up in 16 bits. `means` and the rows must be readable 16
// bytes past the last pixel's window.
void WindowDeviations(const std::uint8_t* const* rows, int side, std::size_t from, int count,
                      const std::uint8_t* means, std::uint16_t* out) {
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (int i = 0; i < count; i += 16) {
    const __m128i m = _mm_loadu_si128(reinterpret_cast<const __m128i*>(means + i));
    __m128i lo = zero, hi = zero;
    for (int k = 0; k < side; ++k) {
      const std::uint8_t* row = rows[k] + from + static_cast<std::size_t>(i);
      for (int dx = 0; dx < side; ++dx) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + dx));
        const __m128i d = _mm_or_si128(_mm_subs_epu8(v, m), _mm_subs_epu8(m, v));
        lo = _mm_add_epi16(lo, _mm_unpacklo_epi8(d, zero));
        hi = _mm_add_epi16(hi, _mm_unpackhi_epi8(d, zero));
      }
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), lo);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), hi);
  }
#else
  for (int i = 0; i < count; ++i) {
    int dev = 0;
    for (int k = 0; k < side; ++k)
      for (int dx = 0; dx < side; ++dx) dev += std::abs(int{means[i]} - rows[k][from + i + dx]);
    out[i] = static_cast<std::uint16_t>(dev);
  }
#endif
}

int VarianceWorker(std::uint8_t*, std::uint8_t* mask) {
  const ApplyContext& c = Ctx();
  const CopyView copy(c.undo);
  const Plane img(c.image, mask);
  const int r = static_cast<int>(mt.radius);
  const long full = (2L * r + 1) * (2L * r + 1);
  // The largest numerator: the multiplied deviation of a whole window.
  const ExactDivider byFull(full, std::max(mt.multiply, 1L) * 255 * full);
  const int side = 2 * r + 1;
  const int cx1 = copy.left + copy.width - 1, cy1 = copy.top + copy.height - 1;
  // Whole windows: the sums by columns, the deviations by sums of absolute
  // differences of eight bytes at a time. Windows too wide for the copy's
  // planes, or sums beyond 32 bits, go the plain way.
  const bool planar = copy.width > 0 && side <= copy.width && full < (1L << 20);
  PlaneRows planes(copy, planar ? side : 1);
  std::vector<std::int32_t> columns(planar ? static_cast<std::size_t>(copy.width) * 3 : 0);
  std::vector<const std::uint8_t*> planeRows[3];
  for (auto& rows : planeRows) rows.resize(static_cast<std::size_t>(side));
  // Small windows: a row's means and deviations sixteen pixels at a time.
  const bool rowWise = planar && side <= 15;
  const std::size_t padded = rowWise ? static_cast<std::size_t>(copy.width) + 32 : 0;
  std::vector<std::uint8_t> means(3 * padded);
  std::vector<std::uint16_t> deviations(3 * padded);
#if defined(QV_VARIANCE_AVX2)
  // Colour only; every multiplied deviation of a window of up to 15 x 15
  // below 2^24.
  const bool eightWise = CpuHasAvx2() && !c.affectAlpha && mt.multiply >= 0 && mt.multiply * 255 * 225 < (1L << 24);
#endif
  for (int y = c.y0; y <= c.y1; ++y) {
    if (y % 8 == 0 && Progress(y - c.y0) != 0) return 1;
    const int ya = std::max(y - r, copy.top), yb = std::min(y + r, cy1);
    const bool wholeRows = planar && y - r >= copy.top && y + r <= cy1;
    // The whole-window pixels of this row and the columns' sums they need.
    int fa = c.x1 + 1, fb = c.x1;
    if (wholeRows) {
      fa = std::max(c.x0, copy.left + r), fb = std::min(c.x1, cx1 - r);
      if (fa <= fb) {
        for (int ch = 0; ch < 3; ++ch)
          for (int k = 0; k < side; ++k) planeRows[ch][static_cast<std::size_t>(k)] = planes.Row(ya + k, ch);
        std::fill(columns.begin(), columns.end(), 0);
        for (int yy = ya; yy <= yb; ++yy)
          for (int ch = 0; ch < 3; ++ch) {
            const std::uint8_t* q = planes.Row(yy, ch);
            std::int32_t* col = columns.data() + static_cast<std::size_t>(ch) * copy.width;
            for (int x = fa - r - copy.left; x <= fb + r - copy.left; ++x) col[x] += q[x];
          }
        if (rowWise) {
          // The means by sliding sums along the columns, then the
          // deviations of the row's whole windows.
          const int count = fb - fa + 1;
          const std::size_t first = static_cast<std::size_t>(fa - r - copy.left);
          for (int ch = 0; ch < 3; ++ch) {
            const std::int32_t* col = columns.data() + static_cast<std::size_t>(ch) * copy.width;
            std::uint8_t* mean = means.data() + ch * padded;
            std::int32_t sum = 0;
            for (int k = 0; k < side; ++k) sum += col[first + k];
            // Window sums are never negative: the divider's multiplication
            // applies to every one of them when it applies at all.
            if (byFull.fast) {
              for (int i = 0; i < count; ++i) {
                if (i > 0) sum += col[first + i + side - 1] - col[first + i - 1];
                mean[i] = static_cast<std::uint8_t>((static_cast<std::uint64_t>(sum) * byFull.reciprocal) >> 32);
              }
            } else {
              for (int i = 0; i < count; ++i) {
                if (i > 0) sum += col[first + i + side - 1] - col[first + i - 1];
                mean[i] = static_cast<std::uint8_t>(byFull(sum));
              }
            }
            WindowDeviations(planeRows[ch].data(), side, first, count, mean, deviations.data() + ch * padded);
          }
        }
      }
    }
    std::int32_t window[3] = {0, 0, 0};
    std::uint8_t* p = img.At(c.x0, y);
    const std::uint8_t* mp = &img.MaskAt(c.x0, y);
    int vectorDone = fa;  // the whole-window pixels before this are done
#if defined(QV_VARIANCE_AVX2)
    // The row's whole windows eight pixels at a time.
    if (rowWise && fa <= fb && eightWise)
      vectorDone += VarianceEight(img.At(fa, y), &img.MaskAt(fa, y), deviations.data(), padded, fb - fa + 1,
                                  static_cast<int>(full), static_cast<int>(mt.multiply), mt.add);
#endif
    for (int x = c.x0; x <= c.x1; ++x, p += 4, ++mp) {
      if (x >= fa && x < vectorDone) continue;
      if (rowWise && x >= fa && x <= fb) {
        const int m = *mp;
        if (!m) continue;
        const std::size_t i = static_cast<std::size_t>(x - fa);
        int v[3];
        for (int ch = 0; ch < 3; ++ch)
          v[ch] = Clamp0To255(byFull(mt.multiply * deviations[ch * padded + i]) + (mt.add ? p[ch] : 0));
        StoreMixed(p, v, m, c.affectAlpha);
        continue;
      }
      if (x >= fa && x <= fb) {
        // The horizontal sum slides along the columns.
        const int at = x - copy.left;
        for (int ch = 0; ch < 3; ++ch) {
          const std::int32_t* col = columns.data() + static_cast<std::size_t>(ch) * copy.width;
          if (x == fa) {
            window[ch] = 0;
            for (int k = at - r; k <= at + r; ++k) window[ch] += col[k];
          } else {
            window[ch] += col[at + r] - col[at - r - 1];
          }
        }
      }
      const int m = *mp;
      if (!m) continue;
      const int xa = std::max(x - r, copy.left), xb = std::min(x + r, cx1);
      if (x >= fa && x <= fb) {
        int v[3];
        for (int ch = 0; ch < 3; ++ch) {
          const int mean = static_cast<int>(byFull(window[ch]));
          const long dev = WindowDeviation(planeRows[ch].data(), side, static_cast<std::size_t>(xa - copy.left), side, mean);
          v[ch] = Clamp0To255(byFull(mt.multiply * dev) + (mt.add ? p[ch] : 0));
        }
        StoreMixed(p, v, m, c.affectAlpha);
        continue;
      }
      long n = 0, sum[3] = {0, 0, 0};
      for (int yy = ya; yy <= yb; ++yy) {
        const std::uint8_t* q = copy.At(xa, yy);
        for (int xx = xa; xx <= xb; ++xx, q += 4, ++n)
          for (int ch = 0; ch < 3; ++ch) sum[ch] += q[ch];
      }
      if (n == 0) n = 1;
      // Whole windows share one count: divide by it through its reciprocal.
      const bool whole = n == full;
      long mean[3], dev[3] = {0, 0, 0};
      for (int ch = 0; ch < 3; ++ch) mean[ch] = whole ? byFull(sum[ch]) : sum[ch] / n;
      for (int yy = ya; yy <= yb; ++yy) {
        const std::uint8_t* q = copy.At(xa, yy);
        for (int xx = xa; xx <= xb; ++xx, q += 4)
          for (int ch = 0; ch < 3; ++ch) dev[ch] += std::labs(mean[ch] - q[ch]);
      }
      int v[3];
      for (int ch = 0; ch < 3; ++ch) {
        const long kd = mt.multiply * dev[ch];
        v[ch] = Clamp0To255((whole ? byFull(kd) : kd / n) + (mt.add ? p[ch] : 0));
      }
      StoreMixed(p, v, m, c.affectAlpha);
    }
  }
  return 0;
}

// ---- Add Images and Subtract

ImageRecord* ChosenSource() {
  ImageRecord* chosen = Pipeline().source;
  if (!chosen || ImageIndex(chosen) < 0) chosen = ImageCount() > 0 ? ImageAt(0) : Ctx().image;
  return chosen;
}

int PrepareCombine(OpId op) {
  ApplyContext& c = Ctx();
  mt.mode = std::clamp(ParamValue(op, 0), 0, op == kAddImagesOp ? 2 : 1);
  mt.source = ChosenSource();
  mt.fromCopy = mt.source == c.image;
  if (mt.fromCopy) {
    c.x0 = 0, c.y0 = 0;
    c.x1 = c.image->width - 1, c.y1 = c.image->height - 1;
  }
  return 0;
}
int PrepareAddImages() { return PrepareCombine(kAddImagesOp); }
int PrepareSubtract() { return PrepareCombine(kSubtractOp); }

inline int Combine(bool add, int mode, int s, int t) {
  if (add) {
    if (mode == 0) return Clamp0To255((s + t) / 2);
    if (mode == 1) return Clamp0To255(s + t);
    return Clamp0To255(s + t - 127);
  }
  return mode ? Clamp0To255(t - s + 127) : std::abs(s - t);
}

#if defined(QV_VARIANCE_AVX2)
// x / 255 for every x a mix can give (at most 255 * 255), as one
// multiply-high and a shift in 16-bit lanes.
constexpr bool ByMultiplyDivides255() {
  for (std::uint32_t x = 0; x <= 255 * 255; ++x)
    if ((x * 0x8081u) >> 23 != x / 255) return false;
  return true;
}
static_assert(ByMultiplyDivides255());

__attribute__((target("avx2"))) inline __m256i By255(__m256i x) {
  return _mm256_srli_epi16(_mm256_mulhi_epu16(x, _mm256_set1_epi16(static_cast<short>(0x8081))), 7);
}

// Combine on 16-bit lanes holding bytes.
template <bool Add>
__attribute__((target("avx2"))) inline __m256i CombineLanes(int mode, __m256i s, __m256i t) {
  const __m256i top = _mm256_set1_epi16(255), mid = _mm256_set1_epi16(127);
  if (Add) {
    const __m256i sum = _mm256_add_epi16(s, t);
    if (mode == 0) return _mm256_srli_epi16(sum, 1);
    if (mode == 1) return _mm256_min_epu16(sum, top);
    return _mm256_min_epu16(_mm256_subs_epu16(sum, mid), top);
  }
  if (mode) return _mm256_min_epu16(_mm256_subs_epu16(_mm256_add_epi16(t, mid), s), top);
  return _mm256_or_si256(_mm256_subs_epu16(s, t), _mm256_subs_epu16(t, s));
}

// Eight pixels of CombineWorker's one-to-one colour path at a time, the
// source's pixels side by side in q: the same integer steps in 16-bit
// lanes (every product and sum stays below 2^16). A pixel of mask 0 or
// transparent source gets weight 0, which gives back its own bytes; alpha
// is never written. Returns how many pixels it did.
template <bool Add>
__attribute__((target("avx2"))) int CombineEight(std::uint8_t* p, const std::uint8_t* mask, const std::uint8_t* q, int n,
                                                 int mode, bool srcAlpha) {
  const __m256i zero = _mm256_setzero_si256(), full = _mm256_set1_epi16(255);
  const __m256i keepAlpha = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
  // Each pixel's alpha (word 3) or mask to its four words.
  const __m256i spread = _mm256_setr_epi8(6, 7, 6, 7, 6, 7, 6, 7, 14, 15, 14, 15, 14, 15, 14, 15, 6, 7, 6, 7, 6, 7, 6, 7, 14,
                                          15, 14, 15, 14, 15, 14, 15);
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m256i t8 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + std::size_t{4} * i));
    const __m256i s8 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + std::size_t{4} * i));
    // The mask bytes placed where each pixel's alpha byte lies.
    const __m256i m8 = _mm256_slli_epi32(
        _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(mask + i))), 24);
    const __m256i halves[2][3] = {
        {_mm256_unpacklo_epi8(t8, zero), _mm256_unpacklo_epi8(s8, zero), _mm256_unpacklo_epi8(m8, zero)},
        {_mm256_unpackhi_epi8(t8, zero), _mm256_unpackhi_epi8(s8, zero), _mm256_unpackhi_epi8(m8, zero)}};
    __m256i out[2];
    for (int h = 0; h < 2; ++h) {
      const __m256i t = halves[h][0], src = halves[h][1];
      const __m256i m = _mm256_shuffle_epi8(halves[h][2], spread);
      const __m256i a = srcAlpha ? _mm256_shuffle_epi8(src, spread) : full;
      const __m256i w = By255(_mm256_mullo_epi16(m, a));
      const __m256i mixed = _mm256_add_epi16(_mm256_mullo_epi16(t, _mm256_sub_epi16(full, w)),
                                             _mm256_mullo_epi16(CombineLanes<Add>(mode, src, t), w));
      out[h] = By255(mixed);
    }
    const __m256i bytes = _mm256_packus_epi16(out[0], out[1]);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + std::size_t{4} * i), _mm256_blendv_epi8(bytes, t8, keepAlpha));
  }
  return i;
}
#endif

template <bool Add>
int CombineWorker(std::uint8_t*, std::uint8_t* mask) {
  const ApplyContext& c = Ctx();
  PixelPlane src;
  bool srcAlpha = true;
  ImageRecord* locked = nullptr;
  if (mt.fromCopy) {
    if (!c.undo) return 1;
    src = PixelPlane{c.undo->pixels, c.undo->rows, 0, 0, c.undo->width, c.undo->height};
    srcAlpha = c.image->hasAlpha != 0;
  } else {
    if (!mt.source || ImageIndex(mt.source) < 0 || LockImage(mt.source) != 0) {
      ShowMessage(kMessageNoResultMemory);
      return 1;
    }
    locked = mt.source;
    src = PixelPlane{mt.source->pixels, mt.source->rows, 0, 0, mt.source->width, mt.source->height};
    srcAlpha = mt.source->hasAlpha != 0;
  }
  const Plane img(c.image, mask);
  const bool alpha = c.affectAlpha;
  const long sw = src.width, sh = src.height;
  const long w2 = std::max(2L * c.rx, 1L), h2 = std::max(2L * c.ry, 1L);
  const bool oneToOne = std::labs(sw - w2) < 3 && std::labs(sh - h2) < 3;
  auto srcAt = [&](long x, long y) {
    return src.pixels + (static_cast<std::size_t>(src.rows[y]) + static_cast<std::size_t>(x)) * 4;
  };
  int result = 0;
  for (int y = c.y0; y <= c.y1; ++y) {
    if (y % 8 == 0 && Progress(y - c.y0) != 0) {
      result = 1;
      break;
    }
    std::uint8_t* p = img.At(c.x0, y);
    const std::uint8_t* mp = &img.MaskAt(c.x0, y);
#if defined(QV_VARIANCE_AVX2)
    // One to one, the pixels whose source lies inside it read one run of it.
    const long runFrom = std::max<long>(c.x0, c.sx0), runTo = std::min<long>(c.x1, c.sx0 + sw - 1);
    const bool vectors = oneToOne && !alpha && CpuHasAvx2() && runTo - runFrom >= 7;
#endif
    for (int x = c.x0; x <= c.x1; ++x, p += 4, ++mp) {
#if defined(QV_VARIANCE_AVX2)
      if (vectors && x == runFrom) {
        const std::uint8_t* q = srcAt(x - c.sx0, std::clamp<long>(long{y} - c.sy0, 0, sh - 1));
        const int done = CombineEight<Add>(p, mp, q, static_cast<int>(runTo - runFrom + 1), mt.mode, srcAlpha);
        x += done, p += std::size_t{4} * done, mp += done;
        if (x > c.x1) break;
      }
#endif
      const int m = *mp;
      if (!m) continue;
      const int tc[3] = {alpha ? p[3] : p[0], alpha ? p[3] : p[1], alpha ? p[3] : p[2]};
      int s[3], a;
      if (oneToOne) {
        const std::uint8_t* q = srcAt(std::clamp<long>(long{x} - c.sx0, 0, sw - 1), std::clamp<long>(long{y} - c.sy0, 0, sh - 1));
        for (int ch = 0; ch < 3; ++ch) s[ch] = q[ch];
        a = srcAlpha ? q[3] : 255;
      } else {
        const double sxf = static_cast<double>(x - c.cx) / static_cast<double>(w2) * static_cast<double>(sw) +
                           static_cast<double>((sw + 1) / 2);
        const double syf = static_cast<double>(y - c.cy) / static_cast<double>(h2) * static_cast<double>(sh) +
                           static_cast<double>((sh + 1) / 2);
        SamplePoint sp;
        if (!SplitPosition(sxf, syf, sp)) continue;
        // A neighbour outside the source, or transparent there, lends the
        // target's own colour and no coverage.
        const std::uint8_t own[4] = {static_cast<std::uint8_t>(tc[0]), static_cast<std::uint8_t>(tc[1]),
                                     static_cast<std::uint8_t>(tc[2]), 0};
        auto neighbour = [&](std::int64_t nx, std::int64_t ny, std::uint8_t out[4]) {
          if (nx >= 0 && ny >= 0 && nx < sw && ny < sh) {
            const std::uint8_t* q = srcAt(static_cast<long>(nx), static_cast<long>(ny));
            const int qa = srcAlpha ? q[3] : 255;
            if (qa != 0) {
              out[0] = q[0], out[1] = q[1], out[2] = q[2], out[3] = static_cast<std::uint8_t>(qa);
              return;
            }
          }
          std::copy(own, own + 4, out);
        };
        std::uint8_t n00[4], n10[4], n01[4], n11[4], mixed[4];
        neighbour(sp.ix, sp.iy, n00);
        neighbour(std::int64_t{sp.ix} + 1, sp.iy, n10);
        neighbour(sp.ix, std::int64_t{sp.iy} + 1, n01);
        neighbour(std::int64_t{sp.ix} + 1, std::int64_t{sp.iy} + 1, n11);
        Blend4(n00, n10, n01, n11, sp.gx, sp.gy, mixed);
        for (int ch = 0; ch < 3; ++ch) s[ch] = mixed[ch];
        a = mixed[3];
      }
      if (a == 0) continue;
      const int w = m * a / 255;
      int out[3];
      for (int ch = 0; ch < 3; ++ch) out[ch] = (tc[ch] * (255 - w) + Combine(Add, mt.mode, s[ch], tc[ch]) * w) / 255;
      if (alpha) {
        p[3] = static_cast<std::uint8_t>(Lum(out[0], out[1], out[2]));
      } else {
        for (int ch = 0; ch < 3; ++ch) p[ch] = static_cast<std::uint8_t>(out[ch]);
      }
    }
  }
  if (locked) UnlockImage(locked);
  return result;
}

const OpRoutineEntry kMathRoutines[] = {
    {kDerivativeOp, {.prepare = PrepareDerivative, .imageWorker = DerivativeWorker}},
    {kVarianceOp, {.prepare = PrepareVariance, .imageWorker = VarianceWorker}},
    {kAddImagesOp, {.prepare = PrepareAddImages, .imageWorker = CombineWorker<true>}},
    {kSubtractOp, {.prepare = PrepareSubtract, .imageWorker = CombineWorker<false>}},
};

constexpr std::string_view kAddModes[] = {"Add and average", "Absolute add", "Add about gray"};

}  // namespace

std::span<const std::string_view> AddImagesModeNames() { return kAddModes; }

std::span<const OpRoutineEntry> MathOperationRoutines() { return kMathRoutines; }

}  // namespace qv
