// The warps: each pixel of the selection takes the colour found at a mapped
// position in the box as it was (the undo copy), sampled bilinearly.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "base/cpu_features.h"
#include "base/crt_random.h"
#include "base/messages.h"
#include "base/string_table.h"
#include "ops/apply.h"
#include "ops/bilinear.h"
#include "ops/fast_sine.h"
#include "ops/geometric_ops.h"
#include "ops/op_state.h"
#include "store/image_record.h"
#include "store/memory_places.h"

namespace qv {
namespace {

constexpr int kMessageNoMemory = 22;
constexpr double kTwoPi = 6.283185;
// Whorls beyond the trend range would only make the apply endless.
constexpr int kMaxWhorls = 800;

GeometricState& Geo() { return Pipeline().geometric; }

int Clamp255(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

// A double truncated toward zero into int range (not-a-number gives 0).
int TruncToInt(double v) {
  if (std::isnan(v)) return 0;
  return static_cast<int>(std::clamp(v, -kFarAway, kFarAway));
}

// The selection's centre and half sizes as doubles; a selection one pixel
// wide or tall has a half size of 0, which counts as 1.
void TakeEllipse(GeometricState& g) {
  const ApplyContext& c = Ctx();
  g.cx = c.cx;
  g.cy = c.cy;
  g.rx = c.rx == 0 ? 1 : c.rx;
  g.ry = c.ry == 0 ? 1 : c.ry;
}

PixelPlane CopyPlane(const ApplyContext& c) {
  PixelPlane p;
  if (!c.undo) return p;
  p.pixels = c.undo->pixels;
  p.rows = c.undo->rows;
  p.x = c.copyX;
  p.y = c.copyY;
  p.width = c.copyWidth;
  p.height = c.copyHeight;
  return p;
}

// Steps 5 and 6 of every warp: the sample blended through the mask, shaded.
inline void StoreWarped(std::uint8_t* p, int m, const std::uint8_t s[4], int shade, bool affectAlpha) {
  int b[4];
  if (m == 255) {
    for (int k = 0; k < 4; ++k) b[k] = s[k];
  } else {
    for (int k = 0; k < 4; ++k) b[k] = (s[k] * m + p[k] * (255 - m)) / 255;
  }
  if (affectAlpha) {
    p[3] = static_cast<std::uint8_t>(b[3]);
    return;
  }
  if (shade == 0) {
    for (int k = 0; k < 4; ++k) p[k] = static_cast<std::uint8_t>(b[k]);
    return;
  }
  for (int k = 0; k < 3; ++k) p[k] = static_cast<std::uint8_t>(Clamp255(b[k] + b[k] * shade / 255));
  p[3] = static_cast<std::uint8_t>(b[3]);
}

WarpSample MapSurface(const GeometricState& g, int x, int y);

// One row of a warp: Map gives the source position and shade of (x, y).
template <WarpSample (*Map)(const GeometricState&, int, int)>
void WarpRow(std::uint8_t* p, int x0, int x1, int y, const std::uint8_t* mask) {
  const ApplyContext& c = Ctx();
  GeometricState& g = Geo();
  const PixelPlane copy = CopyPlane(c);
  if constexpr (Map == MapSurface) {
    // The action image as its own map is read as it was before this apply,
    // from the copy (its nearest edge beyond the box), so the result does
    // not depend on the order the pixels are visited in.
    if (g.mapIsCopy) {
      g.map = copy;
    } else {
      g.map.pixels = c.sourcePixels;
      g.map.rows = c.sourceRows;
      g.map.x = g.map.y = 0;
      g.map.width = c.sourceWidth;
      g.map.height = c.sourceHeight;
    }
  }
  const bool affectAlpha = c.affectAlpha;
  for (int x = x0; x <= x1; ++x, p += 4, ++mask) {
    const int m = *mask;
    if (!m) continue;
    const WarpSample s = Map(g, x, y);
    std::uint8_t sample[4];
    if (!SampleClamped(copy, s.x, s.y, sample)) continue;
    StoreWarped(p, m, sample, s.shade, affectAlpha);
  }
}

template <WarpSample (*Map)(const GeometricState&, int, int)>
void WarpPixel(std::uint8_t* p, int x, int y, int m) {
  const std::uint8_t mask = static_cast<std::uint8_t>(m);
  WarpRow<Map>(p, x, x, y, &mask);
}

template <WarpSample (*Map)(const GeometricState&, int, int)>
WarpSample Mapping(int x, int y) {
  return Map(Geo(), x, y);
}

// Row is a faster row routine giving WarpRow<Map>'s bytes; the per-pixel
// worker and the mapping stay the plain ones.
template <WarpSample (*Map)(const GeometricState&, int, int)>
constexpr OpRoutines WarpRoutines(PrepareRoutine prepare, FinishRoutine finish = nullptr, RowWorker row = nullptr) {
  OpRoutines r;
  r.prepare = prepare;
  r.pixelWorker = WarpPixel<Map>;
  r.mapping = Mapping<Map>;
  r.finish = finish;
  r.rowWorker = row ? row : WarpRow<Map>;
  // Surface Warp's rows set the map they read.
  r.rowsIndependent = Map != MapSurface;
  return r;
}

// The state a row routine reads, copied out of the pipeline once per row:
// the pixel stores could otherwise alias it and force a reload per pixel.
struct RowFrame {
  PixelPlane copy;
  bool affectAlpha;
  SamplerPath path;
  double cx, cy, rx, ry, k;
  explicit RowFrame(const GeometricState& g)
      : copy(CopyPlane(Ctx())),
        affectAlpha(Ctx().affectAlpha),
        path(g.vectors),
        cx(g.cx),
        cy(g.cy),
        rx(g.rx),
        ry(g.ry),
        k(g.k) {}
  // The widest vectors the row routines may use.
  bool Avx512() const { return (path == SamplerPath::kBest || path == SamplerPath::kAvx512) && CpuHasAvx512F(); }
  bool Avx2() const { return path != SamplerPath::kPlain && CpuHasAvx2(); }
  void Store(std::uint8_t* p, int m, double sx, double sy, int shade = 0) const {
    std::uint8_t sample[4];
    if (SampleClamped(copy, sx, sy, sample)) StoreWarped(p, m, sample, shade, affectAlpha);
  }
};

// A row is mapped a run of pixels at a time: the positions first, then all
// of them sampled at once and stored through the mask.
constexpr int kRun = 128;
struct RunBuffers {
  double sx[kRun], sy[kRun];
  int shade[kRun];
  std::uint8_t sample[4 * kRun], valid[kRun];
};

inline bool NoneMasked(const std::uint8_t* mask, int n) {
  for (int i = 0; i < n; ++i)
    if (mask[i]) return false;
  return true;
}

#if defined(__x86_64__)

// StoreWarped for fully masked pixels two at a time, affect-alpha off. The
// shade's b * shade / 255 is taken in single precision: with |shade| at most
// 4096 the product is below 2^20, held exactly, and its correctly rounded
// quotient lies within 2^-12 of the true one, while a quotient that is not
// whole lies at least 1/255 from every whole number: truncation gives the
// integer division's result. Other pixels take StoreWarped.
__attribute__((target("avx2"))) void StoreRunAvx2(std::uint8_t* p, const std::uint8_t* mask, const RunBuffers& b, int n,
                                                  bool shaded) {
  const __m256i zero = _mm256_setzero_si256(), top = _mm256_set1_epi32(255);
  const __m256 k255 = _mm256_set1_ps(255.0f);
  auto plain = [&](int k) {
    if (mask[k] && b.valid[k]) StoreWarped(p + std::size_t{4} * k, mask[k], b.sample + std::size_t{4} * k, shaded ? b.shade[k] : 0, false);
  };
  int i = 0;
  for (; i + 2 <= n; i += 2) {
    std::uint8_t* at = p + std::size_t{4} * i;
    const std::uint8_t* sample = b.sample + std::size_t{4} * i;
    const int s0 = shaded ? b.shade[i] : 0, s1 = shaded ? b.shade[i + 1] : 0;
    if (mask[i] != 255 || mask[i + 1] != 255 || !b.valid[i] || !b.valid[i + 1] || s0 < -4096 || s0 > 4096 ||
        s1 < -4096 || s1 > 4096) {
      plain(i);
      plain(i + 1);
      continue;
    }
    if (s0 == 0 && s1 == 0) {
      std::memcpy(at, sample, 8);
      continue;
    }
    const __m256i c = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(sample)));
    const __m256i shade = _mm256_setr_epi32(s0, s0, s0, 0, s1, s1, s1, 0);  // alpha unshaded
    const __m256i q = _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(_mm256_mullo_epi32(c, shade)), k255));
    const __m256i r = _mm256_min_epi32(_mm256_max_epi32(_mm256_add_epi32(c, q), zero), top);
    const __m256i words = _mm256_packs_epi32(r, r);
    const __m256i bytes = _mm256_packus_epi16(words, words);
    const std::int32_t first = _mm256_extract_epi32(bytes, 0), second = _mm256_extract_epi32(bytes, 4);
    std::memcpy(at, &first, 4);
    std::memcpy(at + 4, &second, 4);
  }
  for (; i < n; ++i) plain(i);
}
#endif

// Whether every one of n mask bytes is 255.
inline bool AllMasked(const std::uint8_t* mask, int n) {
  int i = 0;
#if defined(__SSE2__)
  const __m128i full = _mm_set1_epi8(-1);
  for (; i + 16 <= n; i += 16)
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(mask + i)), full)) != 0xffff)
      return false;
#endif
  for (; i < n; ++i)
    if (mask[i] != 255) return false;
  return true;
}

// Samples n positions and stores them through the mask. Where every mask
// byte is 255, nothing is shaded and all four channels are stored, each
// stored pixel is its sample and a position that is not a number leaves
// its pixel, just as the sampler leaves its output: the sampler then writes
// into the picture's row itself. The copy it reads is the undo copy, never
// the row, so the order of reading and writing cannot matter.
inline void SampleAndStore(const RowFrame& f, RunBuffers& b, const double* sx, const double* sy, std::uint8_t* p,
                           const std::uint8_t* mask, int n, bool shaded) {
  if (!shaded && !f.affectAlpha && AllMasked(mask, n)) {
    SampleRun(f.copy, sx, sy, n, p, b.valid, f.path);
    return;
  }
  SampleRun(f.copy, sx, sy, n, b.sample, b.valid, f.path);
#if defined(__x86_64__)
  if (!f.affectAlpha && f.Avx2()) {
    StoreRunAvx2(p, mask, b, n, shaded);
    return;
  }
#endif
  for (int i = 0; i < n; ++i) {
    const int m = mask[i];
    if (!m || !b.valid[i]) continue;
    StoreWarped(p + std::size_t{4} * i, m, b.sample + std::size_t{4} * i, shaded ? b.shade[i] : 0, f.affectAlpha);
  }
}
inline void SampleAndStore(const RowFrame& f, RunBuffers& b, std::uint8_t* p, const std::uint8_t* mask, int n, bool shaded) {
  SampleAndStore(f, b, b.sx, b.sy, p, mask, n, shaded);
}

// Dome's and Caricature's new radius for radius r, as MapDome and
// MapCaricature have it.
inline double DomeRadius(double k, double r) {
  const double q = 1 - r;
  if (k >= 0) {
    double divisor = 1 + k * q;
    if (divisor == 0) divisor = 0.0001;
    return r / divisor;
  }
  return (1 - q * q * k / 2) * r;
}
inline double CaricatureRadius(double k, double r) {
  const double q = 1 - r;
  if (k < 0) {
    double divisor = 1 - q * k;
    if (divisor == 0) divisor = 0.0001;
    return r / divisor;
  }
  return (q * q * k + 1) * r;
}

// Along a row, Dome's and Caricature's positions depend on the distance d
// from the centre's column alone and mirror about it. The centre is a whole
// number, so x - cx is d exactly and u is negated exactly d either side: r,
// the new radius and the cosine stay, the sine is negated and with it the
// offset rx radius sine from cx. Each distance is mapped once for both of
// its pixels. The table holds the positions in pixel order: right of the
// centre's column from distance nearest on, left of it up to distance
// nearest. Every entry is written before it is read.
struct MirrorTable {
  std::unique_ptr<double[]> storage;
  std::size_t n;
  double *rightX, *rightY, *leftX, *leftY;
  explicit MirrorTable(std::size_t count)
      : storage(std::make_unique_for_overwrite<double[]>(4 * count)),
        n(count),
        rightX(storage.get()),
        rightY(rightX + count),
        leftX(rightY + count),
        leftY(leftX + count) {}
};

// Samples the pixels from..to of the row starting at x0 at the positions a
// mirror table holds for them, and stores them through the mask.
void SampleMirrored(const RowFrame& f, const MirrorTable& table, std::int64_t centre, std::int64_t nearest,
                    std::int64_t farthest, int x0, std::int64_t from, std::int64_t to, std::uint8_t* p,
                    const std::uint8_t* mask) {
  RunBuffers b;
  for (std::int64_t x = from; x <= to;) {
    std::int64_t n = std::min<std::int64_t>(kRun, to - x + 1);
    const double *sx, *sy;
    if (x >= centre) {
      const std::size_t k = static_cast<std::size_t>(x - centre - nearest);
      sx = table.rightX + k, sy = table.rightY + k;
    } else {
      n = std::min(n, centre - x);  // the left side's entries end at the centre
      const std::size_t k = static_cast<std::size_t>(x - (centre - farthest));
      sx = table.leftX + k, sy = table.leftY + k;
    }
    const std::size_t at = static_cast<std::size_t>(x - x0);
    if (!NoneMasked(mask + at, static_cast<int>(n)))
      SampleAndStore(f, b, sx, sy, p + 4 * at, mask + at, static_cast<int>(n), false);
    x += n;
  }
}

// Entries from `from` on (distance nearest + k), as MapDome and
// MapCaricature give the positions.
template <double (*Radius)(double, double)>
void BulgeDistances(const RowFrame& f, double v, std::int64_t nearest, std::size_t from, MirrorTable& t) {
  for (std::size_t k = from; k < t.n; ++k) {
    const double u = static_cast<double>(nearest + static_cast<std::int64_t>(k)) / f.rx;
    const double r = std::sqrt(u * u + v * v);
    double sine = 0, cosine = 1;
    if (r > 0) {
      sine = u / r;
      cosine = v / r;
    }
    const double radius = Radius(f.k, r);
    const double offset = f.rx * radius * sine, sy = f.cy + f.ry * radius * cosine;
    t.rightX[k] = f.cx + offset;
    t.rightY[k] = sy;
    t.leftX[t.n - 1 - k] = f.cx - offset;
    t.leftY[t.n - 1 - k] = sy;
  }
}

#if defined(__x86_64__)
// BulgeDistances four entries at a time: the same operations in the same
// order on each lane (no fused multiply-adds), so the same doubles. Square
// root and division are correctly rounded in both. Returns the entries done.
template <double (*Radius)(double, double)>
__attribute__((target("avx2"))) std::size_t BulgeDistancesAvx2(const RowFrame& f, double v, std::int64_t nearest,
                                                               MirrorTable& t) {
  constexpr bool kDomeRadius = Radius == DomeRadius;
  const __m256d cx = _mm256_set1_pd(f.cx), rx = _mm256_set1_pd(f.rx), cy = _mm256_set1_pd(f.cy), ry = _mm256_set1_pd(f.ry);
  const __m256d k = _mm256_set1_pd(f.k), vv = _mm256_set1_pd(v), vSquared = _mm256_set1_pd(v * v);
  const __m256d zero = _mm256_setzero_pd(), one = _mm256_set1_pd(1.0), two = _mm256_set1_pd(2.0);
  const __m256d tiny = _mm256_set1_pd(0.0001), steps = _mm256_set_pd(3, 2, 1, 0);
  const bool divides = kDomeRadius ? f.k >= 0 : f.k < 0;
  std::size_t i = 0;
  for (; i + 4 <= t.n; i += 4) {
    const __m256d ds = _mm256_add_pd(_mm256_set1_pd(static_cast<double>(nearest + static_cast<std::int64_t>(i))), steps);
    const __m256d u = _mm256_div_pd(ds, rx);
    const __m256d r = _mm256_sqrt_pd(_mm256_add_pd(_mm256_mul_pd(u, u), vSquared));
    const __m256d positive = _mm256_cmp_pd(r, zero, _CMP_GT_OQ);
    const __m256d sine = _mm256_blendv_pd(zero, _mm256_div_pd(u, r), positive);
    const __m256d cosine = _mm256_blendv_pd(one, _mm256_div_pd(vv, r), positive);
    const __m256d q = _mm256_sub_pd(one, r);
    __m256d radius;
    if (divides) {
      __m256d divisor = kDomeRadius ? _mm256_add_pd(one, _mm256_mul_pd(k, q)) : _mm256_sub_pd(one, _mm256_mul_pd(q, k));
      divisor = _mm256_blendv_pd(divisor, tiny, _mm256_cmp_pd(divisor, zero, _CMP_EQ_OQ));
      radius = _mm256_div_pd(r, divisor);
    } else if (kDomeRadius) {
      radius = _mm256_mul_pd(_mm256_sub_pd(one, _mm256_div_pd(_mm256_mul_pd(_mm256_mul_pd(q, q), k), two)), r);
    } else {
      radius = _mm256_mul_pd(_mm256_add_pd(_mm256_mul_pd(_mm256_mul_pd(q, q), k), one), r);
    }
    const __m256d offset = _mm256_mul_pd(_mm256_mul_pd(rx, radius), sine);
    const __m256d sy = _mm256_add_pd(cy, _mm256_mul_pd(_mm256_mul_pd(ry, radius), cosine));
    const std::size_t back = t.n - 4 - i;
    _mm256_storeu_pd(t.rightX + i, _mm256_add_pd(cx, offset));
    _mm256_storeu_pd(t.rightY + i, sy);
    _mm256_storeu_pd(t.leftX + back, _mm256_permute4x64_pd(_mm256_sub_pd(cx, offset), 0x1b));
    _mm256_storeu_pd(t.leftY + back, _mm256_permute4x64_pd(sy, 0x1b));
  }
  return i;
}

// GCC 12's 512-bit intrinsics start some results from a deliberately
// undefined vector, which its flow analysis reports as maybe uninitialised.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
// The same on eight lanes.
template <double (*Radius)(double, double)>
__attribute__((target("avx512f"))) std::size_t BulgeDistancesAvx512(const RowFrame& f, double v, std::int64_t nearest,
                                                                    MirrorTable& t) {
  constexpr bool kDomeRadius = Radius == DomeRadius;
  const __m512d cx = _mm512_set1_pd(f.cx), rx = _mm512_set1_pd(f.rx), cy = _mm512_set1_pd(f.cy), ry = _mm512_set1_pd(f.ry);
  const __m512d k = _mm512_set1_pd(f.k), vv = _mm512_set1_pd(v), vSquared = _mm512_set1_pd(v * v);
  const __m512d zero = _mm512_setzero_pd(), one = _mm512_set1_pd(1.0), two = _mm512_set1_pd(2.0);
  const __m512d tiny = _mm512_set1_pd(0.0001), steps = _mm512_set_pd(7, 6, 5, 4, 3, 2, 1, 0);
  const __m512i reverse = _mm512_set_epi64(0, 1, 2, 3, 4, 5, 6, 7);
  const bool divides = kDomeRadius ? f.k >= 0 : f.k < 0;
  std::size_t i = 0;
  for (; i + 8 <= t.n; i += 8) {
    const __m512d ds = _mm512_add_pd(_mm512_set1_pd(static_cast<double>(nearest + static_cast<std::int64_t>(i))), steps);
    const __m512d u = _mm512_div_pd(ds, rx);
    const __m512d r = _mm512_sqrt_pd(_mm512_add_pd(_mm512_mul_pd(u, u), vSquared));
    const __mmask8 positive = _mm512_cmp_pd_mask(r, zero, _CMP_GT_OQ);
    const __m512d sine = _mm512_mask_div_pd(zero, positive, u, r);
    const __m512d cosine = _mm512_mask_div_pd(one, positive, vv, r);
    const __m512d q = _mm512_sub_pd(one, r);
    __m512d radius;
    if (divides) {
      __m512d divisor = kDomeRadius ? _mm512_add_pd(one, _mm512_mul_pd(k, q)) : _mm512_sub_pd(one, _mm512_mul_pd(q, k));
      divisor = _mm512_mask_mov_pd(divisor, _mm512_cmp_pd_mask(divisor, zero, _CMP_EQ_OQ), tiny);
      radius = _mm512_div_pd(r, divisor);
    } else if (kDomeRadius) {
      radius = _mm512_mul_pd(_mm512_sub_pd(one, _mm512_div_pd(_mm512_mul_pd(_mm512_mul_pd(q, q), k), two)), r);
    } else {
      radius = _mm512_mul_pd(_mm512_add_pd(_mm512_mul_pd(_mm512_mul_pd(q, q), k), one), r);
    }
    const __m512d offset = _mm512_mul_pd(_mm512_mul_pd(rx, radius), sine);
    const __m512d sy = _mm512_add_pd(cy, _mm512_mul_pd(_mm512_mul_pd(ry, radius), cosine));
    const std::size_t back = t.n - 8 - i;
    _mm512_storeu_pd(t.rightX + i, _mm512_add_pd(cx, offset));
    _mm512_storeu_pd(t.rightY + i, sy);
    _mm512_storeu_pd(t.leftX + back, _mm512_permutexvar_pd(reverse, _mm512_sub_pd(cx, offset)));
    _mm512_storeu_pd(t.leftY + back, _mm512_permutexvar_pd(reverse, sy));
  }
  return i;
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

template <double (*Radius)(double, double)>
void BulgeRow(std::uint8_t* p, int x0, int x1, int y, const std::uint8_t* mask) {
  const RowFrame f(Geo());
  int first = 0, last = x1 - x0;
  while (first <= last && !mask[first]) ++first;
  while (last >= first && !mask[last]) --last;
  if (first > last) return;
  const std::int64_t centre = static_cast<std::int64_t>(f.cx);
  const std::int64_t from = std::int64_t{x0} + first, to = std::int64_t{x0} + last;
  const std::int64_t a = from - centre, z = to - centre;
  const std::int64_t nearest = a <= 0 && z >= 0 ? 0 : std::min(std::llabs(a), std::llabs(z));
  const std::int64_t farthest = std::max(std::llabs(a), std::llabs(z));
  const double v = (y - f.cy) / f.ry;
  MirrorTable table(static_cast<std::size_t>(farthest - nearest + 1));
  std::size_t done = 0;
#if defined(__x86_64__)
  if (f.Avx512())
    done = BulgeDistancesAvx512<Radius>(f, v, nearest, table);
  else if (f.Avx2())
    done = BulgeDistancesAvx2<Radius>(f, v, nearest, table);
#endif
  BulgeDistances<Radius>(f, v, nearest, done, table);
  SampleMirrored(f, table, centre, nearest, farthest, x0, from, to, p, mask);
}

// Swirl's turn depends on the radius alone, which is the same at the
// distance d either side of the centre's column (u is negated exactly): the
// sine and cosine are taken once per distance along the row, only over the
// masked pixels' distances.
//
// They are first taken by FastSinCos. The position they give differs from
// the library's by at most rx (|u| + |v|) kSineError, plus the rounding of
// the two evaluations (a few units of 2^-53 of the largest term each). A
// pixel whose position, widened by twice that, stays on one side of 0 and
// within one 256th of a pixel in x and in y samples exactly as the library's
// would (the sampler reads only the whole pixels and 256ths, truncated);
// any other takes the library's sine and cosine. Left of 0 the whole pixel
// is the ceiling and the 256ths are the ceiling of 256 times the position
// less 256 times that, so the ceiling of 256 times the position fixes both,
// as the floor does right of 0: truncation gives each.
inline bool SettledPosition(double centre, double half, double reach, double at) {
  const double spread = reach * half;
  const double e = 2 * (spread * kSineError + 4e-15 * (std::fabs(centre) + spread));
  const double low = at - e, high = at + e;
  const bool oneSide = (low >= 0 && high <= kFarAway) || (high <= 0 && low >= -kFarAway);
  return oneSide && static_cast<std::int64_t>(low * 256) == static_cast<std::int64_t>(high * 256);
}

// The turns of one row by distance from the centre's column, from the
// nearest on, one array per quantity so that neighbours load together.
// exact is -1 (sign bit set) where the library's sine and cosine are held.
// Every entry is written before it is read, so the storage is not cleared.
struct TurnTable {
  std::unique_ptr<double[]> storage;
  double *u, *turn, *sine, *cosine, *exact;
  explicit TurnTable(std::size_t n)
      : storage(std::make_unique_for_overwrite<double[]>(5 * n)),
        u(storage.get()),
        turn(u + n),
        sine(turn + n),
        cosine(sine + n),
        exact(cosine + n) {}
  void TakeLibrary(std::size_t k) {
    sine[k] = std::sin(turn[k]);
    cosine[k] = std::cos(turn[k]);
    exact[k] = -1.0;
  }
};

#if defined(__x86_64__)
// The table's entries from nearest on, four at a time; the first distance
// left to the caller is returned.
__attribute__((target("avx2"))) std::int64_t SwirlTurnsAvx2(const RowFrame& f, double v, std::int64_t nearest,
                                                            std::int64_t d, std::int64_t farthest, TurnTable& table) {
  const __m256d rx = _mm256_set1_pd(f.rx), k = _mm256_set1_pd(f.k), vSquared = _mm256_set1_pd(v * v);
  const __m256d one = _mm256_set1_pd(1.0), steps = _mm256_set_pd(3, 2, 1, 0);
  for (; d + 3 <= farthest; d += 4) {
    const std::size_t at = static_cast<std::size_t>(d - nearest);
    const __m256d ds = _mm256_add_pd(_mm256_set1_pd(static_cast<double>(d)), steps);
    const __m256d us = _mm256_div_pd(ds, rx);
    const __m256d r = _mm256_sqrt_pd(_mm256_add_pd(_mm256_mul_pd(us, us), vSquared));
    const __m256d turns = _mm256_mul_pd(_mm256_sub_pd(one, r), k);
    __m256d s, c;
    const __m256d outside = FastSinCosFour(turns, s, c);
    _mm256_storeu_pd(table.u + at, us);
    _mm256_storeu_pd(table.turn + at, turns);
    _mm256_storeu_pd(table.sine + at, s);
    _mm256_storeu_pd(table.cosine + at, c);
    _mm256_storeu_pd(table.exact + at, _mm256_setzero_pd());
    const int far = _mm256_movemask_pd(outside);
    for (int l = 0; l < 4; ++l)
      if (far >> l & 1) table.TakeLibrary(at + l);
  }
  return d;
}
#endif

// Both positions at the distance nearest + k: right of the centre's column
// with u, left of it with -u. (-u) co and (-u) s are the products negated
// exactly, so the left pixel's sums are b - a and c + e.
inline void SwirlPair(const RowFrame& f, double v, const TurnTable& t, std::size_t k, MirrorTable& m) {
  const double a = t.u[k] * t.cosine[k], b = v * t.sine[k], c = v * t.cosine[k], e = t.u[k] * t.sine[k];
  m.rightX[k] = f.cx + f.rx * (a + b);
  m.rightY[k] = f.cy + f.ry * (c - e);
  m.leftX[m.n - 1 - k] = f.cx + f.rx * (b - a);
  m.leftY[m.n - 1 - k] = f.cy + f.ry * (c + e);
}

// The pairs from `from` up to `to`; a fast turn that cannot be shown to
// sample as the library's would, on either side, is replaced by the
// library's.
inline void SwirlPairs(const RowFrame& f, double v, std::size_t from, std::size_t to, TurnTable& t, MirrorTable& m) {
  for (std::size_t k = from; k < to; ++k) {
    SwirlPair(f, v, t, k, m);
    if (t.exact[k] != 0) continue;
    const double reach = std::fabs(t.u[k]) + std::fabs(v);
    const std::size_t back = m.n - 1 - k;
    if (SettledPosition(f.cx, f.rx, reach, m.rightX[k]) && SettledPosition(f.cy, f.ry, reach, m.rightY[k]) &&
        SettledPosition(f.cx, f.rx, reach, m.leftX[back]) && SettledPosition(f.cy, f.ry, reach, m.leftY[back]))
      continue;
    t.TakeLibrary(k);
    SwirlPair(f, v, t, k, m);
  }
}

#if defined(__x86_64__)
// SettledPosition on four lanes (truncation is the floor at or right of 0,
// the ceiling at or left of it).
__attribute__((target("avx2"))) inline __m256d SettledFour(double centre, double half, __m256d reach, __m256d at) {
  const __m256d spread = _mm256_mul_pd(reach, _mm256_set1_pd(half));
  const __m256d e = _mm256_mul_pd(
      _mm256_set1_pd(2.0),
      _mm256_add_pd(_mm256_mul_pd(spread, _mm256_set1_pd(kSineError)),
                    _mm256_mul_pd(_mm256_set1_pd(4e-15), _mm256_add_pd(_mm256_set1_pd(std::fabs(centre)), spread))));
  const __m256d low = _mm256_sub_pd(at, e), high = _mm256_add_pd(at, e);
  const __m256d scale = _mm256_set1_pd(256.0), zero = _mm256_setzero_pd();
  const __m256d lowScaled = _mm256_mul_pd(low, scale), highScaled = _mm256_mul_pd(high, scale);
  const __m256d right = _mm256_and_pd(
      _mm256_and_pd(_mm256_cmp_pd(low, zero, _CMP_GE_OQ), _mm256_cmp_pd(high, _mm256_set1_pd(kFarAway), _CMP_LE_OQ)),
      _mm256_cmp_pd(_mm256_floor_pd(lowScaled), _mm256_floor_pd(highScaled), _CMP_EQ_OQ));
  const __m256d left = _mm256_and_pd(
      _mm256_and_pd(_mm256_cmp_pd(high, zero, _CMP_LE_OQ), _mm256_cmp_pd(low, _mm256_set1_pd(-kFarAway), _CMP_GE_OQ)),
      _mm256_cmp_pd(_mm256_ceil_pd(lowScaled), _mm256_ceil_pd(highScaled), _CMP_EQ_OQ));
  return _mm256_or_pd(right, left);
}

// SwirlPairs four entries at a time; a group with a lane that needs the
// library's turn is left to SwirlPairs. Returns the first entry left.
__attribute__((target("avx2"))) std::size_t SwirlPairsAvx2(const RowFrame& f, double v, std::size_t k, TurnTable& t,
                                                           MirrorTable& m) {
  const __m256d cx = _mm256_set1_pd(f.cx), rx = _mm256_set1_pd(f.rx), cy = _mm256_set1_pd(f.cy), ry = _mm256_set1_pd(f.ry);
  const __m256d vv = _mm256_set1_pd(v), sign = _mm256_set1_pd(-0.0), vAbs = _mm256_set1_pd(std::fabs(v));
  for (; k + 4 <= m.n; k += 4) {
    const __m256d u = _mm256_loadu_pd(t.u + k), s = _mm256_loadu_pd(t.sine + k);
    const __m256d co = _mm256_loadu_pd(t.cosine + k), exact = _mm256_loadu_pd(t.exact + k);
    const __m256d a = _mm256_mul_pd(u, co), b = _mm256_mul_pd(vv, s), c = _mm256_mul_pd(vv, co), e = _mm256_mul_pd(u, s);
    const __m256d rightX = _mm256_add_pd(cx, _mm256_mul_pd(rx, _mm256_add_pd(a, b)));
    const __m256d rightY = _mm256_add_pd(cy, _mm256_mul_pd(ry, _mm256_sub_pd(c, e)));
    const __m256d leftX = _mm256_add_pd(cx, _mm256_mul_pd(rx, _mm256_sub_pd(b, a)));
    const __m256d leftY = _mm256_add_pd(cy, _mm256_mul_pd(ry, _mm256_add_pd(c, e)));
    const __m256d reach = _mm256_add_pd(_mm256_andnot_pd(sign, u), vAbs);
    const __m256d settled =
        _mm256_and_pd(_mm256_and_pd(SettledFour(f.cx, f.rx, reach, rightX), SettledFour(f.cy, f.ry, reach, rightY)),
                      _mm256_and_pd(SettledFour(f.cx, f.rx, reach, leftX), SettledFour(f.cy, f.ry, reach, leftY)));
    // Exact lanes carry the sign bit.
    if (_mm256_movemask_pd(_mm256_or_pd(settled, exact)) != 0xf) {
      SwirlPairs(f, v, k, k + 4, t, m);
      continue;
    }
    const std::size_t back = m.n - 4 - k;
    _mm256_storeu_pd(m.rightX + k, rightX);
    _mm256_storeu_pd(m.rightY + k, rightY);
    _mm256_storeu_pd(m.leftX + back, _mm256_permute4x64_pd(leftX, 0x1b));
    _mm256_storeu_pd(m.leftY + back, _mm256_permute4x64_pd(leftY, 0x1b));
  }
  return k;
}

// GCC 12's 512-bit intrinsics start some results from a deliberately
// undefined vector, which its flow analysis reports as maybe uninitialised.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
// SwirlTurnsAvx2 on eight lanes, from distance d on.
__attribute__((target("avx512f"))) std::int64_t SwirlTurnsAvx512(const RowFrame& f, double v, std::int64_t nearest,
                                                                 std::int64_t d, std::int64_t farthest, TurnTable& table) {
  const __m512d rx = _mm512_set1_pd(f.rx), k = _mm512_set1_pd(f.k), vSquared = _mm512_set1_pd(v * v);
  const __m512d one = _mm512_set1_pd(1.0), steps = _mm512_set_pd(7, 6, 5, 4, 3, 2, 1, 0);
  for (; d + 7 <= farthest; d += 8) {
    const std::size_t at = static_cast<std::size_t>(d - nearest);
    const __m512d ds = _mm512_add_pd(_mm512_set1_pd(static_cast<double>(d)), steps);
    const __m512d us = _mm512_div_pd(ds, rx);
    const __m512d r = _mm512_sqrt_pd(_mm512_add_pd(_mm512_mul_pd(us, us), vSquared));
    const __m512d turns = _mm512_mul_pd(_mm512_sub_pd(one, r), k);
    __m512d s, c;
    const __mmask8 far = FastSinCosEight(turns, s, c);
    _mm512_storeu_pd(table.u + at, us);
    _mm512_storeu_pd(table.turn + at, turns);
    _mm512_storeu_pd(table.sine + at, s);
    _mm512_storeu_pd(table.cosine + at, c);
    _mm512_storeu_pd(table.exact + at, _mm512_setzero_pd());
    for (int l = 0; l < 8; ++l)
      if (far >> l & 1) table.TakeLibrary(at + l);
  }
  return d;
}

// SettledFour on eight lanes.
__attribute__((target("avx512f"))) inline __mmask8 SettledEight(double centre, double half, __m512d reach, __m512d at) {
  constexpr int kDown = _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC, kUp = _MM_FROUND_TO_POS_INF | _MM_FROUND_NO_EXC;
  const __m512d spread = _mm512_mul_pd(reach, _mm512_set1_pd(half));
  const __m512d e = _mm512_mul_pd(
      _mm512_set1_pd(2.0),
      _mm512_add_pd(_mm512_mul_pd(spread, _mm512_set1_pd(kSineError)),
                    _mm512_mul_pd(_mm512_set1_pd(4e-15), _mm512_add_pd(_mm512_set1_pd(std::fabs(centre)), spread))));
  const __m512d low = _mm512_sub_pd(at, e), high = _mm512_add_pd(at, e);
  const __m512d scale = _mm512_set1_pd(256.0), zero = _mm512_setzero_pd();
  const __m512d lowScaled = _mm512_mul_pd(low, scale), highScaled = _mm512_mul_pd(high, scale);
  const __mmask8 right = _mm512_cmp_pd_mask(low, zero, _CMP_GE_OQ) &
                         _mm512_cmp_pd_mask(high, _mm512_set1_pd(kFarAway), _CMP_LE_OQ) &
                         _mm512_cmp_pd_mask(_mm512_roundscale_pd(lowScaled, kDown), _mm512_roundscale_pd(highScaled, kDown), _CMP_EQ_OQ);
  const __mmask8 left = _mm512_cmp_pd_mask(high, zero, _CMP_LE_OQ) &
                        _mm512_cmp_pd_mask(low, _mm512_set1_pd(-kFarAway), _CMP_GE_OQ) &
                        _mm512_cmp_pd_mask(_mm512_roundscale_pd(lowScaled, kUp), _mm512_roundscale_pd(highScaled, kUp), _CMP_EQ_OQ);
  return right | left;
}

// SwirlPairsAvx2 on eight lanes.
__attribute__((target("avx512f"))) std::size_t SwirlPairsAvx512(const RowFrame& f, double v, TurnTable& t, MirrorTable& m) {
  const __m512d cx = _mm512_set1_pd(f.cx), rx = _mm512_set1_pd(f.rx), cy = _mm512_set1_pd(f.cy), ry = _mm512_set1_pd(f.ry);
  const __m512d vv = _mm512_set1_pd(v), vAbs = _mm512_set1_pd(std::fabs(v)), zero = _mm512_setzero_pd();
  const __m512i reverse = _mm512_set_epi64(0, 1, 2, 3, 4, 5, 6, 7);
  std::size_t k = 0;
  for (; k + 8 <= m.n; k += 8) {
    const __m512d u = _mm512_loadu_pd(t.u + k), s = _mm512_loadu_pd(t.sine + k);
    const __m512d co = _mm512_loadu_pd(t.cosine + k), exact = _mm512_loadu_pd(t.exact + k);
    const __m512d a = _mm512_mul_pd(u, co), b = _mm512_mul_pd(vv, s), c = _mm512_mul_pd(vv, co), e = _mm512_mul_pd(u, s);
    const __m512d rightX = _mm512_add_pd(cx, _mm512_mul_pd(rx, _mm512_add_pd(a, b)));
    const __m512d rightY = _mm512_add_pd(cy, _mm512_mul_pd(ry, _mm512_sub_pd(c, e)));
    const __m512d leftX = _mm512_add_pd(cx, _mm512_mul_pd(rx, _mm512_sub_pd(b, a)));
    const __m512d leftY = _mm512_add_pd(cy, _mm512_mul_pd(ry, _mm512_add_pd(c, e)));
    const __m512d reach = _mm512_add_pd(_mm512_abs_pd(u), vAbs);
    const __mmask8 settled = SettledEight(f.cx, f.rx, reach, rightX) & SettledEight(f.cy, f.ry, reach, rightY) &
                             SettledEight(f.cx, f.rx, reach, leftX) & SettledEight(f.cy, f.ry, reach, leftY);
    // Exact lanes hold -1.
    if ((settled | _mm512_cmp_pd_mask(exact, zero, _CMP_LT_OQ)) != 0xff) {
      SwirlPairs(f, v, k, k + 8, t, m);
      continue;
    }
    const std::size_t back = m.n - 8 - k;
    _mm512_storeu_pd(m.rightX + k, rightX);
    _mm512_storeu_pd(m.rightY + k, rightY);
    _mm512_storeu_pd(m.leftX + back, _mm512_permutexvar_pd(reverse, leftX));
    _mm512_storeu_pd(m.leftY + back, _mm512_permutexvar_pd(reverse, leftY));
  }
  return k;
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

void SwirlRow(std::uint8_t* p, int x0, int x1, int y, const std::uint8_t* mask) {
  const RowFrame f(Geo());
  int first = 0, last = x1 - x0;
  while (first <= last && !mask[first]) ++first;
  while (last >= first && !mask[last]) --last;
  if (first > last) return;
  const std::int64_t centre = static_cast<std::int64_t>(f.cx);
  const std::int64_t a = x0 + first - centre, z = x0 + last - centre;
  const std::int64_t nearest = a <= 0 && z >= 0 ? 0 : std::min(std::llabs(a), std::llabs(z));
  const std::int64_t farthest = std::max(std::llabs(a), std::llabs(z));
  const double v = (y - f.cy) / f.ry;
  TurnTable table(static_cast<std::size_t>(farthest - nearest + 1));
  std::int64_t d = nearest;
#if defined(__x86_64__)
  if (f.Avx512()) d = SwirlTurnsAvx512(f, v, nearest, d, farthest, table);
  if (f.Avx2()) d = SwirlTurnsAvx2(f, v, nearest, d, farthest, table);
#endif
  for (; d <= farthest; ++d) {
    const std::size_t k = static_cast<std::size_t>(d - nearest);
    table.u[k] = static_cast<double>(d) / f.rx;
    const double r = std::sqrt(table.u[k] * table.u[k] + v * v);
    table.turn[k] = (1 - r) * f.k;
    if (FastSinCos(table.turn[k], table.sine[k], table.cosine[k]))
      table.exact[k] = 0;
    else
      table.TakeLibrary(k);
  }
  MirrorTable mirror(static_cast<std::size_t>(farthest - nearest + 1));
  std::size_t k = 0;
#if defined(__x86_64__)
  if (f.Avx512()) k = SwirlPairsAvx512(f, v, table, mirror);
  if (f.Avx2()) k = SwirlPairsAvx2(f, v, k, table, mirror);
#endif
  SwirlPairs(f, v, k, mirror.n, table, mirror);
  SampleMirrored(f, mirror, centre, nearest, farthest, x0, x0 + first, x0 + last, p, mask);
}

// (u, v) the elliptic coordinates, r their radius; (sin, cos) of the angle
// atan2(u, v), which is 0 at the centre.
struct Polar {
  double u, v, r, sine, cosine;
};
inline Polar PolarAt(const GeometricState& g, int x, int y) {
  Polar p;
  p.u = (x - g.cx) / g.rx;
  p.v = (y - g.cy) / g.ry;
  p.r = std::sqrt(p.u * p.u + p.v * p.v);
  if (p.r > 0) {
    p.sine = p.u / p.r;
    p.cosine = p.v / p.r;
  } else {
    p.sine = 0;
    p.cosine = 1;
  }
  return p;
}

inline WarpSample AtRadius(const GeometricState& g, const Polar& p, double radius) {
  return {g.cx + g.rx * radius * p.sine, g.cy + g.ry * radius * p.cosine, 0};
}

// Dome and Caricature.

int PrepareBulge(OpId op) {
  const int distortion = ParamValue(op, 0);
  if (distortion == 0) return NoChangeCancel();
  GeometricState& g = Geo();
  TakeEllipse(g);
  g.k = distortion / 100.0;
  return 0;
}
int PrepareDome() { return PrepareBulge(kDome); }
int PrepareCaricature() { return PrepareBulge(kCaricature); }

WarpSample MapDome(const GeometricState& g, int x, int y) {
  const Polar p = PolarAt(g, x, y);
  return AtRadius(g, p, DomeRadius(g.k, p.r));
}

WarpSample MapCaricature(const GeometricState& g, int x, int y) {
  const Polar p = PolarAt(g, x, y);
  return AtRadius(g, p, CaricatureRadius(g.k, p.r));
}

// Swirl: the angle grows by (1 - r) k. With r sin t = u and r cos t = v the
// turned position needs only the sine and cosine of the growth.

int PrepareSwirl() {
  const int angle = ParamValue(kSwirl, 0);
  if (angle == 0) return NoChangeCancel();
  GeometricState& g = Geo();
  TakeEllipse(g);
  g.k = angle / 100.0;
  return 0;
}

WarpSample MapSwirl(const GeometricState& g, int x, int y) {
  const double u = (x - g.cx) / g.rx, v = (y - g.cy) / g.ry;
  const double r = std::sqrt(u * u + v * v);
  const double turn = (1 - r) * g.k;
  const double s = std::sin(turn), co = std::cos(turn);
  return {g.cx + g.rx * (u * co + v * s), g.cy + g.ry * (v * co - u * s), 0};
}

// Waves: a depends on the column only and b on the row only, so both are
// tabled across the box once.

int PrepareWaves() {
  const int xLength = ParamValue(kWaves, 0), xFront = ParamValue(kWaves, 1), xSide = ParamValue(kWaves, 2);
  const int yLength = ParamValue(kWaves, 3), yFront = ParamValue(kWaves, 4), ySide = ParamValue(kWaves, 5);
  const int shading = ParamValue(kWaves, 6), xPhase = ParamValue(kWaves, 7), yPhase = ParamValue(kWaves, 8);
  if (xFront == 0 && xSide == 0 && yFront == 0 && ySide == 0) return NoChangeCancel();
  GeometricState& g = Geo();
  const ApplyContext& c = Ctx();
  TakeEllipse(g);
  // A length of 0 (only a file can give it) would divide by zero: it counts as 1.
  g.lx = g.rx / (yLength == 0 ? 1 : yLength) * 4;
  g.ly = g.ry / (xLength == 0 ? 1 : xLength) * 4;
  g.aYFront = yFront / 100.0;
  g.aYSide = ySide / 100.0;
  g.aXFront = xFront / 100.0;
  g.aXSide = xSide / 100.0;
  g.shading = shading;
  const double phaseY = yPhase / 57.29578, phaseX = xPhase / 57.29578;
  g.waveX0 = c.x0;
  g.waveY0 = c.y0;
  g.waveA.resize(static_cast<std::size_t>(c.x1 - c.x0 + 1));
  g.waveB.resize(static_cast<std::size_t>(c.y1 - c.y0 + 1));
  for (int x = c.x0; x <= c.x1; ++x)
    g.waveA[static_cast<std::size_t>(x - c.x0)] = -std::sin((x - g.cx) * kTwoPi / g.lx - phaseY);
  for (int y = c.y0; y <= c.y1; ++y)
    g.waveB[static_cast<std::size_t>(y - c.y0)] = -std::sin((y - g.cy) * kTwoPi / g.ly + phaseX);
  return 0;
}

WarpSample MapWaves(const GeometricState& g, int x, int y) {
  const double a = g.waveA[static_cast<std::size_t>(x - g.waveX0)];
  const double b = g.waveB[static_cast<std::size_t>(y - g.waveY0)];
  WarpSample s;
  s.x = x + a * g.aYFront * g.lx + b * g.aXSide * g.ly;
  s.y = y + b * g.aXFront * g.ly + a * g.aYSide * g.lx;
  s.shade = TruncToInt((a * g.aYFront + a * g.aYSide + b * g.aXSide + b * g.aXFront) * g.shading * 2);
  return s;
}

void WavesRow(std::uint8_t* p, int x0, int x1, int y, const std::uint8_t* mask) {
  const GeometricState& g = Geo();
  const RowFrame f(g);
  const double* column = g.waveA.data() - g.waveX0;
  const double b = g.waveB[static_cast<std::size_t>(y - g.waveY0)];
  const double aYFront = g.aYFront, aYSide = g.aYSide, aXFront = g.aXFront, aXSide = g.aXSide;
  const double lx = g.lx, ly = g.ly;
  const int shading = g.shading;
  RunBuffers run;
  for (int x = x0; x <= x1; x += kRun) {
    const int n = std::min(kRun, x1 - x + 1);
    const std::size_t at = static_cast<std::size_t>(x - x0);
    if (NoneMasked(mask + at, n)) continue;
    for (int i = 0; i < n; ++i) {
      const double a = column[x + i];
      run.sx[i] = (x + i) + a * aYFront * lx + b * aXSide * ly;
      run.sy[i] = y + b * aXFront * ly + a * aYSide * lx;
      run.shade[i] = shading == 0 ? 0 : TruncToInt((a * aYFront + a * aYSide + b * aXSide + b * aXFront) * shading * 2);
    }
    SampleAndStore(f, run, p + 4 * at, mask + at, n, true);
  }
}

void FinishWaves() {
  GeometricState& g = Geo();
  g.waveA = {};
  g.waveB = {};
}

// Turbulence: whorls drawn from the seed, acting one after another on the
// running position.

void FreeWhorls() {
  GeometricState& g = Geo();
  FreeReal(g.whorlX, "xtur");
  FreeReal(g.whorlY, "ytur");
  FreeReal(g.whorlRadius, "xdur");
  FreeReal(g.whorlTwist, "ydur");
  g.whorlX = g.whorlY = nullptr;
  g.whorlRadius = g.whorlTwist = nullptr;
  g.whorls = 0;
}

int PrepareTurbulence() {
  const int whorls = std::clamp(ParamValue(kTurbulence, 0), 0, kMaxWhorls);
  const int swirliness = ParamValue(kTurbulence, 1), movement = ParamValue(kTurbulence, 2);
  const int seed = ParamValue(kTurbulence, 3);
  if (movement == 0) return NoChangeCancel();
  GeometricState& g = Geo();
  const ApplyContext& c = Ctx();
  TakeEllipse(g);
  FreeWhorls();
  const int n = std::max(whorls, 1);
  g.whorlX = AllocRealArray<std::int32_t>(n, "xtur");
  g.whorlY = AllocRealArray<std::int32_t>(n, "ytur");
  g.whorlRadius = AllocRealArray<double>(n, "xdur");
  g.whorlTwist = AllocRealArray<double>(n, "ydur");
  if (!g.whorlX || !g.whorlY || !g.whorlRadius || !g.whorlTwist) {
    FreeWhorls();
    ShowMessageWith(kMessageNoMemory, OpName(kTurbulence));
    return 2;
  }
  g.whorls = whorls;
  const std::int64_t x0 = c.x0, y0 = c.y0, x1 = c.x1, y1 = c.y1;
  const std::int64_t d = std::max(std::llabs(x1 - x0), std::llabs(y1 - y0));
  const std::int64_t rx = c.rx;
  double twistDivisor = 50 - 0.4 * swirliness;
  if (twistDivisor == 0) twistDivisor = 0.0001;
  Srand(static_cast<std::uint32_t>(seed));
  for (int i = 0; i < whorls; ++i) {
    g.whorlX[i] = static_cast<std::int32_t>(x0 + (x1 - x0) * Rand() / kRandMax);
    g.whorlY[i] = static_cast<std::int32_t>(y0 + (y1 - y0) * Rand() / kRandMax);
    double radius = static_cast<double>((d * Rand() / kRandMax) / 2 - rx) * swirliness * 0.01 + static_cast<double>(rx);
    if (radius == 0) radius = 0.5;
    g.whorlRadius[i] = radius;
    g.whorlTwist[i] = ((Rand() * 360 / kRandMax) - 180) / twistDivisor * movement * 0.0025;
  }
  return 0;
}

WarpSample MapTurbulence(const GeometricState& g, int x, int y) {
  double sx = x, sy = y;
  for (int i = 0; i < g.whorls; ++i) {
    const double radius = g.whorlRadius[i];
    const double du = (sx - g.whorlX[i]) / radius, dv = (sy - g.whorlY[i]) / radius;
    const double d2 = du * du + dv * dv;
    if (!(d2 < 1)) continue;
    const double d = std::sqrt(d2);
    const double turn = g.whorlTwist[i] * (1 - d) * (1 - d);
    // R d sin(atan2(du, dv) + turn), without the angle itself.
    const double s = std::sin(turn), co = std::cos(turn);
    sx = (du * co + dv * s) * radius + g.whorlX[i];
    sy = (dv * co - du * s) * radius + g.whorlY[i];
  }
  return {sx, sy, 0};
}

// The library's chain of whorls for one pixel, as MapTurbulence takes it. A
// whorl that the running position lies outside of by a whole radius in x or
// in y is passed by before dividing: its du or dv would be at least 1 in
// size, and so d2 too.
struct WhorlChain {
  int whorls;
  const std::int32_t* x;
  const std::int32_t* y;
  const double* radius;
  const double* twist;
  explicit WhorlChain(const GeometricState& g)
      : whorls(g.whorls), x(g.whorlX), y(g.whorlY), radius(g.whorlRadius), twist(g.whorlTwist) {}
  void Exact(double& sx, double& sy) const {
    for (int i = 0; i < whorls; ++i) {
      const double r = radius[i];
      const double ox = sx - x[i], oy = sy - y[i];
      const double reach = std::fabs(r);
      if (std::fabs(ox) > reach || std::fabs(oy) > reach) continue;
      const double du = ox / r, dv = oy / r;
      const double d2 = du * du + dv * dv;
      if (!(d2 < 1)) continue;
      const double d = std::sqrt(d2);
      const double turn = twist[i] * (1 - d) * (1 - d);
      const double s = std::sin(turn), co = std::cos(turn);
      sx = (du * co + dv * s) * r + x[i];
      sy = (dv * co - du * s) * r + y[i];
    }
  }
};

#if defined(__x86_64__)
// The whorl chain four pixels at a time with the fast sine, carrying a bound
// e on the distance between the running position and the one the library's
// chain would have reached.
//
// Why the bound holds: a whorl maps p to c + Rot(t(d)) (p - c), with d the
// distance to its centre c in radii and t = T (1 - d)^2; its derivative has
// norm at most 1 + 2 |T| d (1 - d) <= 1 + |T| / 2 over the disc, which is
// convex, so two points both inside move apart by at most (1 + |T|) e. The
// fast sine and cosine add at most 2 |R| kSineError; each chain's own
// roundings (a few units of 2^-53 of the terms |R| (1 + |T|), the centre and
// the position) are covered by 2^-46 of their sum; the fast chain takes du
// and dv as products with the rounded 1 / R instead of quotients, which adds
// one unit of 2^-53 of each, well inside that. Whether a whorl acts
// (d2 < 1) is the same for both chains when d2 lies further from 1 than its
// possible change (delta = e / |R| in radii). A lane whose decision is in
// doubt, whose turn lies beyond the fast sine's reach, or whose final
// position widened by e may be split otherwise by the sampler (all the
// sampler reads is the split) is flagged in the returned bits and taken by
// Exact.
struct WhorlBound {
  double growth, added, inverseReach, reach;
};

// Lanes whose position widened by e either way is split alike by the
// sampler: the whole pixels and 256ths are truncated toward zero, so at or
// right of 0 the floor of 256 times the position fixes both, at or left of
// 0 its ceiling, within kFarAway either way.
__attribute__((target("avx2"))) inline __m256d WithinOne256th(__m256d at, __m256d e) {
  const __m256d scale = _mm256_set1_pd(256.0), zero = _mm256_setzero_pd();
  const __m256d low = _mm256_sub_pd(at, e), high = _mm256_add_pd(at, e);
  const __m256d lowScaled = _mm256_mul_pd(low, scale), highScaled = _mm256_mul_pd(high, scale);
  const __m256d right = _mm256_and_pd(
      _mm256_and_pd(_mm256_cmp_pd(low, zero, _CMP_GE_OQ), _mm256_cmp_pd(high, _mm256_set1_pd(kFarAway), _CMP_LE_OQ)),
      _mm256_cmp_pd(_mm256_floor_pd(lowScaled), _mm256_floor_pd(highScaled), _CMP_EQ_OQ));
  const __m256d left = _mm256_and_pd(
      _mm256_and_pd(_mm256_cmp_pd(high, zero, _CMP_LE_OQ), _mm256_cmp_pd(low, _mm256_set1_pd(-kFarAway), _CMP_GE_OQ)),
      _mm256_cmp_pd(_mm256_ceil_pd(lowScaled), _mm256_ceil_pd(highScaled), _CMP_EQ_OQ));
  return _mm256_or_pd(right, left);
}

// G groups of four pixels side by side from x on, their chains interleaved
// so that one group's long chain of dependent steps overlaps the others'.
// Bit 4 k + l of the result flags lane l of group k.
template <int G>
__attribute__((target("avx2"))) int WhorlsFour(const WhorlChain& w, const WhorlBound* bounds, int x, double y, double* outX,
                                               double* outY) {
  const __m256d one = _mm256_set1_pd(1.0), sign = _mm256_set1_pd(-0.0), zero = _mm256_setzero_pd();
  const __m256d roundings = _mm256_set1_pd(1e-14), all = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
  const __m256d widen = _mm256_set1_pd(1 + 0x1p-50);
  __m256d px[G], py[G], e[G], doubtful[G];
  for (int k = 0; k < G; ++k) {
    px[k] = _mm256_add_pd(_mm256_set1_pd(static_cast<double>(x + 4 * k)), _mm256_set_pd(3, 2, 1, 0));
    py[k] = _mm256_set1_pd(y);
    e[k] = doubtful[k] = zero;
  }
  for (int i = 0; i < w.whorls; ++i) {
    const __m256d cx = _mm256_set1_pd(static_cast<double>(w.x[i])), cy = _mm256_set1_pd(static_cast<double>(w.y[i]));
    const __m256d r = _mm256_set1_pd(w.radius[i]), twist = _mm256_set1_pd(w.twist[i]);
    const __m256d inverse = _mm256_set1_pd(1 / w.radius[i]);
    const __m256d inverseReach = _mm256_set1_pd(bounds[i].inverseReach), reach = _mm256_set1_pd(bounds[i].reach);
    const __m256d growth = _mm256_set1_pd(bounds[i].growth), added = _mm256_set1_pd(bounds[i].added);
    __m256d du[G], dv[G], d2[G], inside[G];
    // Lanes further from the centre than the radius plus e in x or in y
    // (widened past the roundings of ox and of the limit) are passed by in
    // both chains; when all are, the whorl is skipped.
    int near = 0;
    __m256d ox[G], oy[G];
    for (int k = 0; k < G; ++k) {
      ox[k] = _mm256_sub_pd(px[k], cx);
      oy[k] = _mm256_sub_pd(py[k], cy);
      const __m256d limit = _mm256_mul_pd(_mm256_add_pd(e[k], reach), widen);
      const __m256d far = _mm256_or_pd(_mm256_cmp_pd(_mm256_andnot_pd(sign, ox[k]), limit, _CMP_GT_OQ),
                                       _mm256_cmp_pd(_mm256_andnot_pd(sign, oy[k]), limit, _CMP_GT_OQ));
      near |= ~_mm256_movemask_pd(far) & 0xf;
    }
    if (!near) continue;
    int any = 0, doubts = 0;
    for (int k = 0; k < G; ++k) {
      du[k] = _mm256_mul_pd(ox[k], inverse);
      dv[k] = _mm256_mul_pd(oy[k], inverse);
      d2[k] = _mm256_add_pd(_mm256_mul_pd(du[k], du[k]), _mm256_mul_pd(dv[k], dv[k]));
      // d2 may move by 2 d delta + delta^2 <= (d2 + 1) delta + delta^2,
      // its own roundings by far less than 10^-14 (d2 + 1).
      const __m256d delta = _mm256_mul_pd(e[k], inverseReach);
      const __m256d margin = _mm256_add_pd(_mm256_mul_pd(_mm256_add_pd(d2[k], one), _mm256_add_pd(delta, roundings)),
                                           _mm256_mul_pd(delta, delta));
      // Ordered: a bound that is not a number leaves the decision in doubt.
      const __m256d sure = _mm256_cmp_pd(_mm256_andnot_pd(sign, _mm256_sub_pd(d2[k], one)), margin, _CMP_GT_OQ);
      doubtful[k] = _mm256_or_pd(doubtful[k], _mm256_andnot_pd(sure, all));
      inside[k] = _mm256_cmp_pd(d2[k], one, _CMP_LT_OQ);
      any |= _mm256_movemask_pd(inside[k]);
      doubts += _mm256_movemask_pd(doubtful[k]) == 0xf;
    }
    // A chain so long that its bound gives up on every lane.
    if (doubts == G) return (1 << (4 * G)) - 1;
    if (!any) continue;
    for (int k = 0; k < G; ++k) {
      const __m256d q = _mm256_sub_pd(one, _mm256_sqrt_pd(d2[k]));
      const __m256d turn = _mm256_mul_pd(_mm256_mul_pd(twist, q), q);
      __m256d s, co;
      doubtful[k] = _mm256_or_pd(doubtful[k], _mm256_and_pd(inside[k], FastSinCosFour(turn, s, co)));
      const __m256d nx =
          _mm256_add_pd(_mm256_mul_pd(_mm256_add_pd(_mm256_mul_pd(du[k], co), _mm256_mul_pd(dv[k], s)), r), cx);
      const __m256d ny =
          _mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(_mm256_mul_pd(dv[k], co), _mm256_mul_pd(du[k], s)), r), cy);
      px[k] = _mm256_blendv_pd(px[k], nx, inside[k]);
      py[k] = _mm256_blendv_pd(py[k], ny, inside[k]);
      e[k] = _mm256_blendv_pd(e[k], _mm256_add_pd(_mm256_mul_pd(e[k], growth), added), inside[k]);
    }
  }
  int left = 0;
  for (int k = 0; k < G; ++k) {
    const __m256d fine = _mm256_andnot_pd(doubtful[k], _mm256_and_pd(WithinOne256th(px[k], e[k]), WithinOne256th(py[k], e[k])));
    _mm256_storeu_pd(outX + 4 * k, px[k]);
    _mm256_storeu_pd(outY + 4 * k, py[k]);
    left |= (~_mm256_movemask_pd(fine) & 0xf) << (4 * k);
  }
  return left;
}
// WhorlsFour with 512-bit vectors: G groups of eight pixels. Bit 8 k + l of
// the result flags lane l of group k.
// GCC 12's 512-bit intrinsics start some results from a deliberately
// undefined vector, which its flow analysis reports as maybe uninitialised.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
__attribute__((target("avx512f"))) inline __mmask8 WithinOne256th(__m512d at, __m512d e) {
  const __m512d scale = _mm512_set1_pd(256.0), zero = _mm512_setzero_pd();
  const __m512d low = _mm512_sub_pd(at, e), high = _mm512_add_pd(at, e);
  const __m512d lowScaled = _mm512_mul_pd(low, scale), highScaled = _mm512_mul_pd(high, scale);
  constexpr int kDown = _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC, kUp = _MM_FROUND_TO_POS_INF | _MM_FROUND_NO_EXC;
  const __mmask8 right = _mm512_cmp_pd_mask(low, zero, _CMP_GE_OQ) &
                         _mm512_cmp_pd_mask(high, _mm512_set1_pd(kFarAway), _CMP_LE_OQ) &
                         _mm512_cmp_pd_mask(_mm512_roundscale_pd(lowScaled, kDown), _mm512_roundscale_pd(highScaled, kDown), _CMP_EQ_OQ);
  const __mmask8 left = _mm512_cmp_pd_mask(high, zero, _CMP_LE_OQ) &
                        _mm512_cmp_pd_mask(low, _mm512_set1_pd(-kFarAway), _CMP_GE_OQ) &
                        _mm512_cmp_pd_mask(_mm512_roundscale_pd(lowScaled, kUp), _mm512_roundscale_pd(highScaled, kUp), _CMP_EQ_OQ);
  return right | left;
}

template <int G>
__attribute__((target("avx512f"))) int WhorlsEight(const WhorlChain& w, const WhorlBound* bounds, int x, double y,
                                                   double* outX, double* outY) {
  const __m512d one = _mm512_set1_pd(1.0), roundings = _mm512_set1_pd(1e-14), widen = _mm512_set1_pd(1 + 0x1p-50);
  __m512d px[G], py[G], e[G];
  __mmask8 doubtful[G];
  for (int k = 0; k < G; ++k) {
    px[k] = _mm512_add_pd(_mm512_set1_pd(static_cast<double>(x + 8 * k)), _mm512_set_pd(7, 6, 5, 4, 3, 2, 1, 0));
    py[k] = _mm512_set1_pd(y);
    e[k] = _mm512_setzero_pd();
    doubtful[k] = 0;
  }
  for (int i = 0; i < w.whorls; ++i) {
    const __m512d cx = _mm512_set1_pd(static_cast<double>(w.x[i])), cy = _mm512_set1_pd(static_cast<double>(w.y[i]));
    const __m512d r = _mm512_set1_pd(w.radius[i]), twist = _mm512_set1_pd(w.twist[i]);
    const __m512d inverse = _mm512_set1_pd(1 / w.radius[i]);
    const __m512d inverseReach = _mm512_set1_pd(bounds[i].inverseReach), reach = _mm512_set1_pd(bounds[i].reach);
    const __m512d growth = _mm512_set1_pd(bounds[i].growth), added = _mm512_set1_pd(bounds[i].added);
    __m512d ox[G], oy[G], du[G], dv[G], d2[G];
    __mmask8 inside[G];
    int near = 0;
    for (int k = 0; k < G; ++k) {
      ox[k] = _mm512_sub_pd(px[k], cx);
      oy[k] = _mm512_sub_pd(py[k], cy);
      const __m512d limit = _mm512_mul_pd(_mm512_add_pd(e[k], reach), widen);
      near |= _mm512_cmp_pd_mask(_mm512_abs_pd(ox[k]), limit, _CMP_NGT_UQ) &
              _mm512_cmp_pd_mask(_mm512_abs_pd(oy[k]), limit, _CMP_NGT_UQ);
    }
    if (!near) continue;
    int any = 0, doubts = 0;
    for (int k = 0; k < G; ++k) {
      du[k] = _mm512_mul_pd(ox[k], inverse);
      dv[k] = _mm512_mul_pd(oy[k], inverse);
      d2[k] = _mm512_add_pd(_mm512_mul_pd(du[k], du[k]), _mm512_mul_pd(dv[k], dv[k]));
      const __m512d delta = _mm512_mul_pd(e[k], inverseReach);
      const __m512d margin = _mm512_add_pd(_mm512_mul_pd(_mm512_add_pd(d2[k], one), _mm512_add_pd(delta, roundings)),
                                           _mm512_mul_pd(delta, delta));
      const __mmask8 sure = _mm512_cmp_pd_mask(_mm512_abs_pd(_mm512_sub_pd(d2[k], one)), margin, _CMP_GT_OQ);
      doubtful[k] = static_cast<__mmask8>(doubtful[k] | ~sure);
      inside[k] = _mm512_cmp_pd_mask(d2[k], one, _CMP_LT_OQ);
      any |= inside[k];
      doubts += doubtful[k] == 0xff;
    }
    if (doubts == G) return (1 << (8 * G)) - 1;
    if (!any) continue;
    for (int k = 0; k < G; ++k) {
      const __m512d q = _mm512_sub_pd(one, _mm512_sqrt_pd(d2[k]));
      const __m512d turn = _mm512_mul_pd(_mm512_mul_pd(twist, q), q);
      __m512d s, co;
      doubtful[k] = static_cast<__mmask8>(doubtful[k] | (inside[k] & FastSinCosEight(turn, s, co)));
      const __m512d nx =
          _mm512_add_pd(_mm512_mul_pd(_mm512_add_pd(_mm512_mul_pd(du[k], co), _mm512_mul_pd(dv[k], s)), r), cx);
      const __m512d ny =
          _mm512_add_pd(_mm512_mul_pd(_mm512_sub_pd(_mm512_mul_pd(dv[k], co), _mm512_mul_pd(du[k], s)), r), cy);
      px[k] = _mm512_mask_mov_pd(px[k], inside[k], nx);
      py[k] = _mm512_mask_mov_pd(py[k], inside[k], ny);
      e[k] = _mm512_mask_mov_pd(e[k], inside[k], _mm512_add_pd(_mm512_mul_pd(e[k], growth), added));
    }
  }
  int left = 0;
  for (int k = 0; k < G; ++k) {
    const __mmask8 fine = static_cast<__mmask8>(~doubtful[k] & WithinOne256th(px[k], e[k]) & WithinOne256th(py[k], e[k]));
    _mm512_storeu_pd(outX + 8 * k, px[k]);
    _mm512_storeu_pd(outY + 8 * k, py[k]);
    left |= (~fine & 0xff) << (8 * k);
  }
  return left;
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif


// MapTurbulence a row at a time: the fast chain on 512-bit or 256-bit
// vectors where the processor has them, the library's chain for the pixels
// it leaves.
void TurbulenceRow(std::uint8_t* p, int x0, int x1, int y, const std::uint8_t* mask) {
  const GeometricState& g = Geo();
  const RowFrame f(g);
  const WhorlChain chain(g);
  RunBuffers run;
#if defined(__x86_64__)
  const bool vector = f.Avx2();
  std::vector<WhorlBound> bounds;
  if (vector) {
    bounds.resize(static_cast<std::size_t>(std::max(chain.whorls, 0)));
    for (int i = 0; i < chain.whorls; ++i) {
      const double reach = std::fabs(chain.radius[i]), twist = std::fabs(chain.twist[i]);
      const double centres = std::fabs(static_cast<double>(chain.x[i])) + std::fabs(static_cast<double>(chain.y[i]));
      bounds[static_cast<std::size_t>(i)] = {1 + twist, 2 * reach * kSineError + 0x1p-46 * (8 * reach * (1 + twist) + 2 * centres),
                                             1.01 / reach, reach};
    }
  }
#endif
  for (int x0Run = x0; x0Run <= x1; x0Run += kRun) {
    const int n = std::min(kRun, x1 - x0Run + 1);
    const std::size_t at = static_cast<std::size_t>(x0Run - x0);
    if (NoneMasked(mask + at, n)) continue;
    int j = 0;
#if defined(__x86_64__)
    if (vector) {
      constexpr int kGroups = 2, kWideGroups = 2;
      auto fourAtATime = [&](auto groups) {
        constexpr int kLanes = 4 * decltype(groups)::value;
        for (; j + kLanes <= n; j += kLanes) {
          if (NoneMasked(mask + at + j, kLanes)) continue;
          const int left = WhorlsFour<decltype(groups)::value>(chain, bounds.data(), x0Run + j, y, run.sx + j, run.sy + j);
          for (unsigned bits = static_cast<unsigned>(left); bits; bits &= bits - 1) {
            const int l = std::countr_zero(bits);
            run.sx[j + l] = x0Run + j + l, run.sy[j + l] = y;
            chain.Exact(run.sx[j + l], run.sy[j + l]);
          }
        }
      };
      if (f.Avx512()) {
        auto eightAtATime = [&](auto groups) {
          constexpr int kLanes = 8 * decltype(groups)::value;
          for (; j + kLanes <= n; j += kLanes) {
            if (NoneMasked(mask + at + j, kLanes)) continue;
            const int left = WhorlsEight<decltype(groups)::value>(chain, bounds.data(), x0Run + j, y, run.sx + j, run.sy + j);
            for (unsigned bits = static_cast<unsigned>(left); bits; bits &= bits - 1) {
              const int l = std::countr_zero(bits);
              run.sx[j + l] = x0Run + j + l, run.sy[j + l] = y;
              chain.Exact(run.sx[j + l], run.sy[j + l]);
            }
          }
        };
        eightAtATime(std::integral_constant<int, kWideGroups>{});
        eightAtATime(std::integral_constant<int, 1>{});
      }
      fourAtATime(std::integral_constant<int, kGroups>{});
      fourAtATime(std::integral_constant<int, 1>{});
    }
#endif
    for (; j < n; ++j) {
      run.sx[j] = x0Run + j, run.sy[j] = y;
      chain.Exact(run.sx[j], run.sy[j]);
    }
    // Not sampled, not stored.
    if (!AllMasked(mask + at, n))
      for (j = 0; j < n; ++j)
        if (!mask[at + j]) run.sx[j] = run.sy[j] = std::numeric_limits<double>::quiet_NaN();
    SampleAndStore(f, run, p + 4 * at, mask + at, n, false);
  }
}

// Surface Warp: the source image, stretched over the selection rectangle, is
// a height map; each pixel moves along the direction by its height.

int PrepareSurfaceWarp() {
  const int direction = ParamValue(kSurfaceWarp, 0), amount = ParamValue(kSurfaceWarp, 1);
  const int midLevel = ParamValue(kSurfaceWarp, 2), shading = ParamValue(kSurfaceWarp, 3);
  if (amount == 0) return NoChangeCancel();
  GeometricState& g = Geo();
  const ApplyContext& c = Ctx();
  const ImageRecord* map = SourceImage();
  const ImageRecord* action = c.image;
  const double alpha = -direction * 0.017453292520882225;
  const double halfH = (c.sy1 - c.sy0) / 2, halfW = (c.sx1 - c.sx0) / 2;
  const double d = std::sqrt(halfH * halfH + halfW * halfW);
  const double amp = d * amount * 0.01;
  g.ax = std::sin(alpha) * amp;
  g.ay = std::cos(alpha) * amp;
  g.midLevel = midLevel;
  g.shading = shading;
  g.sx0 = c.sx0;
  g.sy0 = c.sy0;
  double spanX = c.sx1 - c.sx0, spanY = c.sy1 - c.sy0;
  if (spanX == 0) spanX = 0.0001;
  if (spanY == 0) spanY = 0.0001;
  const ImageRecord* m = map ? map : action;
  g.mapScaleX = (m->width - 1) / spanX;
  g.mapScaleY = (m->height - 1) / spanY;
  g.mapHasAlpha = m->hasAlpha != 0;
  g.mapIsCopy = m == action;
  return 0;
}

WarpSample MapSurface(const GeometricState& g, int x, int y) {
  const PixelPlane& map = g.map;
  std::uint8_t h4[4] = {0, 0, 0, 255};
  if (map.pixels && map.width > 0 && map.height > 0)
    SampleClamped(map, (x - g.sx0) * g.mapScaleX, (y - g.sy0) * g.mapScaleY, h4);
  // 0.33 R + 0.46 G + 0.21 B - Mid Level in hundredths, exactly: a flat
  // map at the mid level moves nothing.
  double h = (33 * h4[0] + 46 * h4[1] + 21 * h4[2] - 100 * g.midLevel) / 25500.0;
  if (g.mapHasAlpha && h4[3] < 255) h = h * h4[3] / 255;
  return {x + g.ax * h, y + g.ay * h, TruncToInt(g.shading * h * 5)};
}

// Radial Wave: rings between an inner and an outer radius move in and out
// along the radius.

int PrepareRadialWave() {
  const int distortion = ParamValue(kRadialWave, 0), length = ParamValue(kRadialWave, 1);
  const int halfWaves = ParamValue(kRadialWave, 2), radius = ParamValue(kRadialWave, 3);
  const int phase = ParamValue(kRadialWave, 4), shading = ParamValue(kRadialWave, 5);
  if (!((distortion != 0 || shading != 0) && halfWaves != 0 && length != 0)) return NoChangeCancel();
  GeometricState& g = Geo();
  TakeEllipse(g);
  const ApplyContext& c = Ctx();
  double r0 = std::sqrt(static_cast<double>(c.rx) * c.rx + static_cast<double>(c.ry) * c.ry);
  if (r0 < 0.001) r0 = 0.001;
  g.rIn = radius * 0.001;
  g.waveLength = 1.0 / length;
  g.rOut = halfWaves * g.waveLength * 0.5 + g.rIn;
  g.phase = phase * g.waveLength / 360;
  g.amplitude = distortion * r0 * g.waveLength * 0.01;
  g.distortion = distortion;
  g.shading = shading;
  return 0;
}

void RadialWaveRow(std::uint8_t* p, int x0, int x1, int y, const std::uint8_t* mask) {
  const ApplyContext& c = Ctx();
  const GeometricState& g = Geo();
  const PixelPlane copy = CopyPlane(c);
  const double v = (y - g.cy) / g.ry;
  for (int x = x0; x <= x1; ++x, p += 4, ++mask) {
    const int m = *mask;
    if (!m) continue;
    const double u = (x - g.cx) / g.rx;
    const double r = std::sqrt(u * u + v * v);
    if (r < g.rIn || r > g.rOut) continue;
    const double s = std::sin((r - g.phase - g.rIn) / g.waveLength * 6.283185306);
    const double d = s * g.amplitude;
    std::uint8_t sample[4];
    if (!SampleClamped(copy, x + d * u, y + d * v, sample)) continue;
    if (g.shading != 0) {
      const int f = TruncToInt(g.distortion * g.shading * s * 0.01) + 100;
      for (int k = 0; k < 3; ++k) sample[k] = static_cast<std::uint8_t>(Clamp255(sample[k] * f / 100));
    }
    for (int k = 0; k < 4; ++k) p[k] = static_cast<std::uint8_t>((sample[k] * m + p[k] * (255 - m)) / 255);
  }
}

void RadialWavePixel(std::uint8_t* p, int x, int y, int m) {
  const std::uint8_t mask = static_cast<std::uint8_t>(m);
  RadialWaveRow(p, x, x, y, &mask);
}

OpRoutines RadialWaveRoutines() {
  OpRoutines r;
  r.prepare = PrepareRadialWave;
  r.pixelWorker = RadialWavePixel;
  r.rowWorker = RadialWaveRow;
  r.rowsIndependent = true;
  return r;
}

const OpRoutineEntry kRoutines[] = {
    {kDome, WarpRoutines<MapDome>(PrepareDome, nullptr, BulgeRow<DomeRadius>)},
    {kCaricature, WarpRoutines<MapCaricature>(PrepareCaricature, nullptr, BulgeRow<CaricatureRadius>)},
    {kSwirl, WarpRoutines<MapSwirl>(PrepareSwirl, nullptr, SwirlRow)},
    {kWaves, WarpRoutines<MapWaves>(PrepareWaves, FinishWaves, WavesRow)},
    {kTurbulence, WarpRoutines<MapTurbulence>(PrepareTurbulence, FreeWhorls, TurbulenceRow)},
    {kSurfaceWarp, WarpRoutines<MapSurface>(PrepareSurfaceWarp)},
    {kRadialWave, RadialWaveRoutines()},
};

}  // namespace

std::span<const OpRoutineEntry> WarpOperationRoutines() { return kRoutines; }

}  // namespace qv
