// Blur, Sharpen, Remove, Shave, Relief, Elevations, Contour, Apply Canvas and
// Dither. The Generation ones (Blur, Sharpen, Remove, Shave) have a row
// routine beside the per-pixel worker: it takes the pixels whose whole
// window lies in the copy a row at a time and hands every other pixel to the
// worker, so both give the same bytes.
#include "base/cpu_features.h"
#include "ops/texture_ops.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/crt_random.h"
#include "base/messages.h"
#include "base/progress.h"
#include "base/string_table.h"
#include "ops/apply.h"
#include "ops/effect_support.h"
#include "ops/op_state.h"
#include "ops/tap_sums.h"
#include "store/image_record.h"
#include "store/memory_places.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define QV_TEXTURE_AVX2 1
#endif

namespace qv {
namespace {

constexpr int kMessageNoMemory = 22;
constexpr int kMessageNoResultMemory = 70;
constexpr int kOutlinePosition = 16150;
// Kernels wider than this would take minutes a pixel; no trend reaches it.
constexpr int kMaxSpread = 1000;
constexpr long kLongestSpacing = 1 << 20;

#if defined(QV_TEXTURE_AVX2)
#endif

constexpr float kFalloff[41] = {0.984f, 0.975f, 0.947f, 0.934f, 0.915f, 0.896f, 0.876f, 0.852f, 0.831f, 0.807f, 0.782f,
                                0.757f, 0.731f, 0.707f, 0.683f, 0.659f, 0.632f, 0.607f, 0.573f, 0.545f, 0.513f, 0.481f,
                                0.448f, 0.415f, 0.382f, 0.35f,  0.318f, 0.288f, 0.258f, 0.23f,  0.202f, 0.175f, 0.15f,
                                0.127f, 0.104f, 0.083f, 0.064f, 0.047f, 0.033f, 0.025f, 0.0f};

inline std::uint8_t* PixelOf(ImageRecord* image, int x, int y) {
  return image->pixels + (static_cast<std::size_t>(image->rows[y]) + static_cast<std::size_t>(x)) * 4;
}

// ---- The spread kernel of Blur, Sharpen and Apply Canvas

struct Kernel {
  std::int16_t* weights = nullptr;  // memory place "gauss"
  int r = 0;
  // The taps with a weight, so that a window skips the zeros.
  struct Tap {
    int dx, dy, w;
  };
  std::vector<Tap> taps;
  long full = 0;  // W of a window wholly inside the copy
  int Weight(int dx, int dy) const { return weights[std::abs(dx) + std::abs(dy) * (r + 1)]; }
};

void FillKernel(std::int16_t* out, int r, float s) {
  for (int j = 0; j <= r; ++j)
    for (int i = 0; i <= r; ++i) {
      int w = 0;
      if (s > 0) {
        const float d = std::sqrt(static_cast<float>(i * i + j * j)) / s;
        if (d < 1) {
          const int k = static_cast<int>(d * 40);
          const float f = d * 40 - static_cast<float>(k);
          w = static_cast<int>((f * kFalloff[k + 1] + (1 - f) * kFalloff[k]) * 100);
        }
      }
      out[i + j * (r + 1)] = static_cast<std::int16_t>(w);
    }
}

// What the Texture Prepares keep for their workers.
struct TextureSettings {
  Kernel kernel;
  long amount = 0;  // Sharpen's "Amount", Apply Canvas' grain
  // Remove's samples.
  std::int32_t* sx = nullptr;
  std::int32_t* sy = nullptr;
  std::uint8_t* sr = nullptr;
  std::uint8_t* sg = nullptr;
  std::uint8_t* sb = nullptr;
  long capacity = 0, count = 0;
  double invArea = 1;
  // The samples as doubles, for the worker: x, y and the channels.
  std::vector<double> fx, fy, fr, fg, fb;
  // Shave.
  int severity = 0, direction = 0;
  // Relief, Elevations.
  long multiply = 0, shading = 0;
  int table[3][256] = {};
  // Contour.
  int line[3] = {0, 0, 0}, background[3] = {0, 0, 0};
  int interval = 1;
  bool applyBackground = false, edges = false;
  // Apply Canvas.
  ImageRecord* canvas = nullptr;
  long tile = 1, transparency = 0, emboss = 0;
  bool bw = false, fromCopy = false;
  ExactDivider grainDivider;  // by the whole kernel's weight
  SymmetricTaps symmetric;    // the kernel by weight classes
};
TextureSettings t;

int BuildKernel(long p) {
  const long r64 = (std::max<long>(p, 0) + 9) / 10;
  if (r64 > kMaxSpread) {
    ShowMessage(kMessageNoMemory);
    return 1;
  }
  const int r = static_cast<int>(r64);
  const std::int64_t cells = (std::int64_t{r} + 1) * (std::int64_t{r} + 1);
  t.kernel.weights = AllocRealArray<std::int16_t>(cells, "gauss");
  if (!t.kernel.weights) {
    ShowMessage(kMessageNoMemory);
    return 1;
  }
  t.kernel.r = r;
  FillKernel(t.kernel.weights, r, static_cast<float>(p) * 0.1f);
  t.kernel.taps.clear();
  t.kernel.full = 0;
  for (int dy = -r; dy <= r; ++dy)
    for (int dx = -r; dx <= r; ++dx)
      if (const int w = t.kernel.Weight(dx, dy)) {
        t.kernel.taps.push_back({dx, dy, w});
        t.kernel.full += w;
      }
  t.symmetric = SymmetricTapsOf(t.kernel.weights, r);
  return 0;
}

void FreeKernel() {
  t.kernel.weights = static_cast<std::int16_t*>(FreeReal(t.kernel.weights, "gauss"));
  t.kernel.taps.clear();
}

// The weighted average of the copy around (x, y), each channel of `first`..`last`;
// false when no weight falls in the copy.
bool SpreadAverage(const CopyView& copy, int x, int y, int first, int last, int avg[4]) {
  const int r = t.kernel.r;
  const int xa = std::max(x - r, copy.left), xb = std::min(x + r, copy.left + copy.width - 1);
  const int ya = std::max(y - r, copy.top), yb = std::min(y + r, copy.top + copy.height - 1);
  long w = 0, s[4] = {0, 0, 0, 0};
  for (int yy = ya; yy <= yb; ++yy) {
    const std::uint8_t* q = copy.At(xa, yy);
    for (int xx = xa; xx <= xb; ++xx, q += 4) {
      const int k = t.kernel.Weight(xx - x, yy - y);
      w += k;
      for (int ch = first; ch <= last; ++ch) s[ch] += k * q[ch];
    }
  }
  if (w == 0) return false;
  for (int ch = first; ch <= last; ++ch) avg[ch] = static_cast<int>(s[ch] / w);
  return true;
}

// ---- Blur and Sharpen

int PrepareSpread(long p) {
  if (BuildKernel(p) != 0) return 1;
  WidenBox(Ctx(), t.kernel.r, t.kernel.r);
  return 0;
}

int PrepareBlur() {
  const long p = ParamValue(kBlurOp, 0);
  if (p <= 0) return NoChangeCancel();
  return PrepareSpread(p);
}

int PrepareSharpen() {
  t.amount = ParamValue(kSharpenOp, 0);
  const long p = ParamValue(kSharpenOp, 1);
  if (t.amount == 0 || p <= 0) return NoChangeCancel();
  return PrepareSpread(p);
}

inline void StoreBlur(std::uint8_t* p, const int avg[4], int first, int last, int m) {
  for (int ch = first; ch <= last; ++ch) p[ch] = static_cast<std::uint8_t>((avg[ch] * m + p[ch] * (255 - m)) / 255);
}

inline void StoreSharpen(std::uint8_t* p, const int avg[4], int first, int last, int m) {
  for (int ch = first; ch <= last; ++ch) {
    const long old = p[ch];
    p[ch] = static_cast<std::uint8_t>(Clamp0To255((((old - avg[ch]) * t.amount / 50 + old) * m + old * (255 - m)) / 255));
  }
}

template <bool Sharpen>
void SpreadWorker(std::uint8_t* p, int x, int y, int m) {
  if (!m) return;
  const ApplyContext& c = Ctx();
  const CopyView copy(c.undo);
  const int first = c.affectAlpha ? 3 : 0, last = c.affectAlpha ? 3 : 2;
  int avg[4];
  if (!SpreadAverage(copy, x, y, first, last, avg)) return;
  if (Sharpen)
    StoreSharpen(p, avg, first, last, m);
  else
    StoreBlur(p, avg, first, last, m);
}

// Splits a row x0..x1 into the part whose windows of half size r lie wholly
// in the copy (a..b, empty when a > b) and the rest.
struct Interior {
  int a, b;
};
Interior InteriorOf(const CopyView& copy, int x0, int x1, int y, int r) {
  if (y - r < copy.top || y + r > copy.top + copy.height - 1) return {x1 + 1, x1};
  return {std::max(x0, copy.left + r), std::min(x1, copy.left + copy.width - 1 - r)};
}

#if defined(QV_TEXTURE_AVX2)
// StoreSharpen for two pixels at a time, every channel in its lane and the
// average taken from the window sum: the same integer expressions, each
// division one of floats, exact while every numerator stays below 2^24 (a
// quotient short of a whole number by at least 1 / d stays short of it
// after a float's rounding). Channels not worked keep their bytes, as a
// mask of 0 keeps all of them. Returns how many pixels it did.
__attribute__((target("avx2"))) int SharpenPairs(std::uint8_t* row, const std::uint8_t* maskRow, int n,
                                                 const std::int32_t* sum, int first, int last, std::int64_t full,
                                                 long amount) {
  const __m256 fullF = _mm256_set1_ps(static_cast<float>(full)), f50 = _mm256_set1_ps(50.0f), f255 = _mm256_set1_ps(255.0f);
  const __m256i amountV = _mm256_set1_epi32(static_cast<int>(amount)), all = _mm256_set1_epi32(255);
  const __m256i worked = _mm256_setr_epi32(first == 0 ? -1 : 0, first <= 1 && last >= 1 ? -1 : 0, first <= 2 && last >= 2 ? -1 : 0,
                                           last >= 3 ? -1 : 0, first == 0 ? -1 : 0, first <= 1 && last >= 1 ? -1 : 0,
                                           first <= 2 && last >= 2 ? -1 : 0, last >= 3 ? -1 : 0);
  int i = 0;
  for (; i + 2 <= n; i += 2) {
    std::uint8_t* p = row + std::size_t{4} * i;
    const __m256i old = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
    const __m256i avg = _mm256_cvttps_epi32(
        _mm256_div_ps(_mm256_cvtepi32_ps(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(sum + std::size_t{4} * i))), fullF));
    const __m256i lifted = _mm256_cvttps_epi32(
        _mm256_div_ps(_mm256_cvtepi32_ps(_mm256_mullo_epi32(_mm256_sub_epi32(old, avg), amountV)), f50));
    const __m256i m = _mm256_setr_epi32(maskRow[i], maskRow[i], maskRow[i], maskRow[i], maskRow[i + 1], maskRow[i + 1],
                                        maskRow[i + 1], maskRow[i + 1]);
    const __m256i num = _mm256_add_epi32(_mm256_mullo_epi32(_mm256_add_epi32(lifted, old), m),
                                         _mm256_mullo_epi32(old, _mm256_sub_epi32(all, m)));
    __m256i out = _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(num), f255));
    out = _mm256_min_epi32(_mm256_max_epi32(out, _mm256_setzero_si256()), all);
    out = _mm256_blendv_epi8(old, out, worked);
    const __m256i bytes = _mm256_packus_epi16(_mm256_packus_epi32(out, out), _mm256_setzero_si256());
    const __m128i two = _mm_unpacklo_epi32(_mm256_castsi256_si128(bytes), _mm256_extracti128_si256(bytes, 1));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), two);
  }
  return i;
}
#endif

// The averages of n pixels (n even) from their window sums, stored: the
// division by the constant W as a multiplication by its reciprocal, exact
// for these sizes (an integer one while 255 x W x W stays below 2^32, a
// double one beyond).
template <bool Sharpen>
void FinishSpread(std::uint8_t* row, const std::uint8_t* maskRow, int n, const std::int32_t* sum, int first, int last,
                  std::int64_t full) {
  const bool integerReciprocal = 255 * full * full < (std::int64_t{1} << 32);
  const std::uint64_t reciprocal = ((std::uint64_t{1} << 32) + full - 1) / full;
  const double inv = 1.0 / static_cast<double>(full);
  int i = 0;
#if defined(__SSE2__)
  if (!Sharpen && reciprocal <= 0xFFFFFFFFu) {
    // Two pixels at a time. A mask of 0 (and a channel not worked) leaves
    // p x 255 / 255 = p, so no pixel needs a test; x / 255 for x up to
    // 255 x 255 is (x x 0x8081) >> 23.
    const __m128i zero = _mm_setzero_si128();
    const __m128i channels = _mm_set_epi16(last >= 3, first <= 2, first <= 1, first == 0, last >= 3, first <= 2,
                                           first <= 1, first == 0);
    const __m128i worked = _mm_sub_epi16(zero, channels);  // 0xFFFF per channel worked
    const __m128i all = _mm_set1_epi16(255), by255 = _mm_set1_epi16(static_cast<short>(0x8081));
    const __m128i rec = _mm_set1_epi32(static_cast<int>(reciprocal)), highs = _mm_set_epi32(-1, 0, -1, 0);
    const __m128d half = _mm_set1_pd(0.5), invs = _mm_set1_pd(inv);
    auto average = [&](const std::int32_t* at) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
      if (integerReciprocal) {
        const __m128i even = _mm_srli_epi64(_mm_mul_epu32(v, rec), 32);
        const __m128i odd = _mm_and_si128(_mm_mul_epu32(_mm_srli_epi64(v, 32), rec), highs);
        return _mm_or_si128(even, odd);
      }
      const __m128i lo = _mm_cvttpd_epi32(_mm_mul_pd(_mm_add_pd(_mm_cvtepi32_pd(v), half), invs));
      const __m128i hi = _mm_cvttpd_epi32(_mm_mul_pd(_mm_add_pd(_mm_cvtepi32_pd(_mm_srli_si128(v, 8)), half), invs));
      return _mm_unpacklo_epi64(lo, hi);
    };
    for (; i + 2 <= n; i += 2) {
      const __m128i avg = _mm_packs_epi32(average(sum + std::size_t{4} * i), average(sum + std::size_t{4} * i + 4));
      const std::uint8_t* mk = maskRow + i;
      const __m128i m = _mm_and_si128(_mm_set_epi16(mk[1], mk[1], mk[1], mk[1], mk[0], mk[0], mk[0], mk[0]), worked);
      std::uint8_t* p = row + std::size_t{4} * i;
      const __m128i old = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), zero);
      const __m128i x = _mm_add_epi16(_mm_mullo_epi16(avg, m), _mm_mullo_epi16(old, _mm_sub_epi16(all, m)));
      const __m128i out = _mm_srli_epi16(_mm_mulhi_epu16(x, by255), 7);
      _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_packus_epi16(out, out));
    }
  }
#endif
#if defined(QV_TEXTURE_AVX2)
  // The sums' and the sharpened mix's numerators below 2^24.
  if (Sharpen && integerReciprocal && 255 * full < (1L << 24) && t.amount >= 0 && t.amount <= 200 && CpuHasAvx2())
    i = SharpenPairs(row, maskRow, n, sum, first, last, full, t.amount);
#endif
  for (; i < n; ++i) {
    const int m = maskRow[i];
    if (!m) continue;
    int avg[4];
    for (int ch = first; ch <= last; ++ch) {
      const std::int32_t v = sum[static_cast<std::size_t>(i) * 4 + ch];
      avg[ch] = integerReciprocal ? static_cast<int>((static_cast<std::uint64_t>(v) * reciprocal) >> 32)
                                  : static_cast<int>((static_cast<double>(v) + 0.5) * inv);
    }
    std::uint8_t* p = row + std::size_t{4} * i;
    if (Sharpen)
      StoreSharpen(p, avg, first, last, m);
    else
      StoreBlur(p, avg, first, last, m);
  }
}

// Interior pixels: the sums of the whole window by weight classes (the
// integer sums come out the same in any order), in stretches whose buffers
// live on the stack (an allocation per row costs more than the sums, in
// page faults), on the heap only for kernels too wide for them.
template <bool Sharpen>
void SpreadRow(std::uint8_t* row, int x0, int x1, int y, const std::uint8_t* maskRow) {
  const ApplyContext& c = Ctx();
  const CopyView copy(c.undo);
  const int first = c.affectAlpha ? 3 : 0, last = c.affectAlpha ? 3 : 2;
  const Interior in = InteriorOf(copy, x0, x1, y, t.kernel.r);
  const std::int64_t full = t.kernel.full;
  // Sums fit 32 bits while 255 x W does.
  const bool fast = full > 0 && full < (1L << 22);
  const int count = fast ? std::max(in.b - in.a + 1, 0) & ~1 : 0;
  auto worker = [&](int x) { SpreadWorker<Sharpen>(row + std::size_t{4} * (x - x0), x, y, maskRow[x - x0]); };
  if (count == 0) {
    for (int x = x0; x <= x1; ++x) worker(x);
    return;
  }
  for (int x = x0; x < in.a; ++x) worker(x);
  const SymmetricTaps& taps = t.symmetric;
  const int reach = taps.reach;
  constexpr int kStretch = 256;
  constexpr std::size_t kStackValues = 32768;
  const std::size_t values = static_cast<std::size_t>(taps.rows + 1) * (kStretch + 2 * reach) * 4;
  alignas(16) std::int16_t stackVertical[kStackValues];
  std::vector<std::int16_t> heapVertical(values <= kStackValues ? 0 : values);
  std::int16_t* vertical = values <= kStackValues ? stackVertical : heapVertical.data();
  alignas(16) std::int32_t sum[kStretch * 4];
  for (int from = 0; from < count; from += kStretch) {
    const int n = std::min(kStretch, count - from);
    SymmetricSums(taps, [&](int dy) { return copy.At(in.a + from - reach, y + dy); }, n, vertical, sum);
    FinishSpread<Sharpen>(row + std::size_t{4} * (in.a + from - x0), maskRow + (in.a + from - x0), n, sum, first, last,
                          full);
  }
  for (int x = in.a + count; x <= x1; ++x) worker(x);
}

// ---- Remove

int PrepareRemove() {
  const long amount = ParamValue(kRemoveOp, 0);
  if (amount <= 0) return NoChangeCancel();
  t.capacity = (3 * amount + 48) * 2;
  t.count = 0;
  const char* tags[5] = {"xrem", "yrem", "rrem", "grem", "brem"};
  t.sx = AllocRealArray<std::int32_t>(t.capacity, tags[0]);
  t.sy = AllocRealArray<std::int32_t>(t.capacity, tags[1]);
  t.sr = AllocRealArray<std::uint8_t>(t.capacity, tags[2]);
  t.sg = AllocRealArray<std::uint8_t>(t.capacity, tags[3]);
  t.sb = AllocRealArray<std::uint8_t>(t.capacity, tags[4]);
  if (!t.sx || !t.sy || !t.sr || !t.sg || !t.sb) {
    ShowMessage(kMessageNoMemory);
    return 1;
  }
  return 0;
}

void FreeRemove() {
  t.sx = static_cast<std::int32_t*>(FreeReal(t.sx, "xrem"));
  t.sy = static_cast<std::int32_t*>(FreeReal(t.sy, "yrem"));
  t.sr = static_cast<std::uint8_t*>(FreeReal(t.sr, "rrem"));
  t.sg = static_cast<std::uint8_t*>(FreeReal(t.sg, "grem"));
  t.sb = static_cast<std::uint8_t*>(FreeReal(t.sb, "brem"));
  t.count = 0;
  for (auto* v : {&t.fx, &t.fy, &t.fr, &t.fg, &t.fb}) std::vector<double>().swap(*v);
}

void FinishRemove() { FreeRemove(); }

void RecordSample(const ApplyContext& c, int x, int y) {
  // Narrow boxes with many scan lines find more edges than the arrays
  // hold; the ones past the end add nothing the others do not.
  if (t.count >= t.capacity) return;
  const std::uint8_t* p = PixelOf(c.image, x, y);
  t.sx[t.count] = x;
  t.sy[t.count] = y;
  if (c.affectAlpha) {
    t.sr[t.count] = p[3];
  } else {
    t.sr[t.count] = p[0];
    t.sg[t.count] = p[1];
    t.sb[t.count] = p[2];
  }
  ++t.count;
}

void RemovePrePass() {
  const ApplyContext& c = Ctx();
  const long amount = std::max<long>(ParamValue(kRemoveOp, 0), 1);
  const int w = c.image->width, h = c.image->height;
  const SelectionRect sel{c.sx0, c.sy0, c.sx1, c.sy1};
  const double areaW = std::max<double>(static_cast<double>(sel.x1) - sel.x0, 1);
  const double areaH = std::max<double>(static_cast<double>(sel.y1) - sel.y0, 1);
  t.invArea = 1 / (areaW * areaH);
  t.count = 0;
  // The scan range: one pixel around the box, one in from the image's edges.
  const int sx0 = std::max(c.x0 - 1, 1), sx1 = std::min(c.x1 + 1, w - 2);
  const int sy0 = std::max(c.y0 - 1, 1), sy1 = std::min(c.y1 + 1, h - 2);
  auto mask = [&](int x, int y) { return c.mask[static_cast<std::size_t>(y) * w + x]; };
  if (sx0 <= sx1 && sy0 <= sy1) {
    const int stepY = static_cast<int>(std::max<long>((sy1 - sy0) / amount, 1));
    const int stepX = static_cast<int>(std::max<long>((sx1 - sx0) / amount, 1));
    const int lines = (sy1 - sy0) / stepY + (sx1 - sx0) / stepX + 2;
    BeginProgress(std::string(LoadString(kOutlinePosition)), lines);
    int done = 0;
    for (int y = sy0; y <= sy1; y += stepY) {
      Progress(done++);
      for (int x = sx0; x <= sx1; ++x)
        if (mask(x, y) == 0 && mask(x + 1, y) != 0) {
          RecordSample(c, x, y);
          break;
        }
      for (int x = sx1; x >= sx0; --x)
        if (mask(x, y) == 0 && mask(x - 1, y) != 0) {
          RecordSample(c, x, y);
          break;
        }
    }
    for (int x = sx0; x <= sx1; x += stepX) {
      Progress(done++);
      for (int y = sy0; y <= sy1; ++y)
        if (mask(x, y) == 0 && mask(x, y + 1) != 0) {
          RecordSample(c, x, y);
          break;
        }
      for (int y = sy1; y >= sy0; --y)
        if (mask(x, y) == 0 && mask(x, y - 1) != 0) {
          RecordSample(c, x, y);
          break;
        }
    }
    EndProgress();
  }
  if (t.count == 0) RecordSample(c, std::clamp(c.x0 - 1, 0, w - 1), std::clamp(c.y0 - 1, 0, h - 1));
  const std::size_t n = static_cast<std::size_t>(t.count);
  for (auto* v : {&t.fx, &t.fy, &t.fr, &t.fg, &t.fb}) v->resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    t.fx[i] = t.sx[i], t.fy[i] = t.sy[i];
    t.fr[i] = t.sr[i];
    t.fg[i] = c.affectAlpha ? 0 : t.sg[i];
    t.fb[i] = c.affectAlpha ? 0 : t.sb[i];
  }
}

// Each sample's weight, two at a time where SSE2 has them (the same IEEE
// operations as one at a time), added up in the samples' order so that the
// sums round as they always have.
void RemoveWorker(std::uint8_t* p, int x, int y, int m) {
  if (!m || t.count == 0) return;
  const bool alpha = Ctx().affectAlpha;
  const double fx = x, fy = y, invArea = t.invArea;
  const double* xs = t.fx.data();
  const double* ys = t.fy.data();
  const double* rs = t.fr.data();
  const double* gs = t.fg.data();
  const double* bs = t.fb.data();
  const long n = t.count;
  double sw = 0, s[3] = {0, 0, 0};
  long i = 0;
#if defined(__SSE2__)
  const __m128d px = _mm_set1_pd(fx), py = _mm_set1_pd(fy), area = _mm_set1_pd(invArea);
  const __m128d zero = _mm_setzero_pd(), tiny = _mm_set1_pd(0.0001), least = _mm_set1_pd(1e-7), one = _mm_set1_pd(1);
  alignas(16) double w2[2], r2[2], g2[2], b2[2];
  for (; i + 2 <= n; i += 2) {
    const __m128d dx = _mm_sub_pd(px, _mm_loadu_pd(xs + i)), dy = _mm_sub_pd(py, _mm_loadu_pd(ys + i));
    __m128d d2 = _mm_add_pd(_mm_mul_pd(dx, dx), _mm_mul_pd(dy, dy));
    const __m128d at = _mm_cmpeq_pd(d2, zero);
    d2 = _mm_or_pd(_mm_and_pd(at, tiny), _mm_andnot_pd(at, d2));
    const __m128d w = _mm_max_pd(_mm_sub_pd(_mm_div_pd(one, d2), area), least);
    _mm_store_pd(w2, w);
    _mm_store_pd(r2, _mm_mul_pd(w, _mm_loadu_pd(rs + i)));
    if (!alpha) {
      _mm_store_pd(g2, _mm_mul_pd(w, _mm_loadu_pd(gs + i)));
      _mm_store_pd(b2, _mm_mul_pd(w, _mm_loadu_pd(bs + i)));
    }
    for (int k = 0; k < 2; ++k) {
      sw += w2[k];
      s[0] += r2[k];
      if (!alpha) {
        s[1] += g2[k];
        s[2] += b2[k];
      }
    }
  }
#endif
  for (; i < n; ++i) {
    const double dx = fx - xs[i], dy = fy - ys[i];
    double d2 = dx * dx + dy * dy;
    if (d2 == 0) d2 = 0.0001;
    double w = 1 / d2 - invArea;
    if (w < 1e-7) w = 1e-7;
    sw += w;
    s[0] += w * rs[i];
    if (!alpha) {
      s[1] += w * gs[i];
      s[2] += w * bs[i];
    }
  }
  if (alpha) {
    const int v = static_cast<int>(s[0] / sw);
    p[3] = static_cast<std::uint8_t>((v * m + p[3] * (255 - m)) / 255);
    return;
  }
  for (int ch = 0; ch < 3; ++ch) {
    const int v = static_cast<int>(s[ch] / sw);
    p[ch] = static_cast<std::uint8_t>((v * m + p[ch] * (255 - m)) / 255);
  }
}

// ---- Shave

int PrepareShave() {
  t.severity = std::clamp(ParamValue(kShaveOp, 0), 0, 16);
  t.direction = std::clamp(ParamValue(kShaveOp, 1), 0, 2);
  if (t.severity == 0) return NoChangeCancel();
  WidenBox(Ctx(), 1, 1);
  return 0;
}

// One channel judged over its window: the new value, or -1 to keep it.
inline int ShaveChannel(const std::uint8_t* const* window, int n, int ch, int centre, int m) {
  int sum = 0, diff = 0, lower = 0, higher = 0;
  for (int i = 0; i < n; ++i) {
    const int v = window[i][ch];
    sum += v;
    if (v < centre) ++lower;
    if (v > centre) ++higher;
  }
  diff = lower + higher;
  if (lower == 0 || higher == 0) diff *= 2;
  if (t.direction != 0) diff *= 4;
  if (diff <= 16 - t.severity) return -1;
  const int mean = (sum - centre) / std::max(n - 1, 1);
  return (mean * m + centre * (255 - m)) / 255;
}

inline void ShaveJudge(std::uint8_t* p, const std::uint8_t* const* window, int n, const std::uint8_t* centre, int m,
                       bool alpha) {
  if (alpha) {
    const int v = ShaveChannel(window, n, 3, centre[3], m);
    if (v >= 0) p[3] = static_cast<std::uint8_t>(v);
    return;
  }
  for (int ch = 0; ch < 3; ++ch) {
    const int v = ShaveChannel(window, n, ch, centre[ch], m);
    if (v >= 0) p[ch] = static_cast<std::uint8_t>(v);
  }
}

// A whole window of N pixels: the four channels counted together, without
// branches on the values (noise would make every branch a guess).
template <int N>
inline void ShaveFull(std::uint8_t* p, const std::uint8_t* const* window, const std::uint8_t* centre, int m, bool alpha) {
  int sum[4] = {0, 0, 0, 0}, lower[4] = {0, 0, 0, 0}, higher[4] = {0, 0, 0, 0};
  for (int i = 0; i < N; ++i)
    for (int ch = 0; ch < 4; ++ch) {
      const int v = window[i][ch];
      sum[ch] += v;
      lower[ch] += v < centre[ch];
      higher[ch] += v > centre[ch];
    }
  const int first = alpha ? 3 : 0, last = alpha ? 3 : 2;
  for (int ch = first; ch <= last; ++ch) {
    int diff = lower[ch] + higher[ch];
    if (lower[ch] == 0 || higher[ch] == 0) diff *= 2;
    if (t.direction != 0) diff *= 4;
    if (diff <= 16 - t.severity) continue;
    const int mean = (sum[ch] - centre[ch]) / (N - 1);
    p[ch] = static_cast<std::uint8_t>((mean * m + centre[ch] * (255 - m)) / 255);
  }
}

void ShaveWorker(std::uint8_t* p, int x, int y, int m) {
  if (!m) return;
  const ApplyContext& c = Ctx();
  const CopyView copy(c.undo);
  if (!copy.Has(x, y)) return;
  const std::uint8_t* window[9];
  int n = 0;
  const int ya = t.direction == 2 ? y : y - 1, yb = t.direction == 2 ? y : y + 1;
  const int xa = t.direction == 1 ? x : x - 1, xb = t.direction == 1 ? x : x + 1;
  for (int yy = ya; yy <= yb; ++yy)
    for (int xx = xa; xx <= xb; ++xx)
      if (copy.Has(xx, yy)) window[n++] = copy.At(xx, yy);
  ShaveJudge(p, window, n, copy.At(x, y), m, c.affectAlpha);
}

void ShaveFour(const CopyView& copy, std::uint8_t* p, int x, int y, const std::uint8_t* mask, bool alpha);
void ShaveOne(const CopyView& copy, std::uint8_t* row, int x0, int x, int y, const std::uint8_t* maskRow, bool inRows,
              int a, int b);

// Where all directions count, four whole windows at a time; the rest pixel
// by pixel.
#if defined(QV_TEXTURE_AVX2)
// ShaveFour for eight pixels: the same byte and 16-bit operations, each
// 128-bit half holding four of the pixels.
__attribute__((target("avx2"))) void ShaveEight(const CopyView& copy, std::uint8_t* p, int x, int y, const std::uint8_t* mask,
                                                bool alpha) {
  const __m256i zero = _mm256_setzero_si256();
  const std::uint8_t* q = copy.At(x, y);
  const std::size_t stride = copy.At(x, y + 1) - q;
  const __m256i centre = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q));
  __m256i notLower = zero, notHigher = zero, sumLo = zero, sumHi = zero;
  const std::uint8_t* rows[3] = {q - stride, q, q + stride};
  for (const std::uint8_t* r : rows)
    for (int dx = -4; dx <= 4; dx += 4) {
      const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r + dx));
      notLower = _mm256_sub_epi8(notLower, _mm256_cmpeq_epi8(_mm256_subs_epu8(centre, v), zero));
      notHigher = _mm256_sub_epi8(notHigher, _mm256_cmpeq_epi8(_mm256_subs_epu8(v, centre), zero));
      sumLo = _mm256_add_epi16(sumLo, _mm256_unpacklo_epi8(v, zero));
      sumHi = _mm256_add_epi16(sumHi, _mm256_unpackhi_epi8(v, zero));
    }
  const __m256i nine = _mm256_set1_epi8(9);
  const __m256i lower = _mm256_sub_epi8(nine, notLower), higher = _mm256_sub_epi8(nine, notHigher);
  const __m256i old = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  const __m256i limit = _mm256_set1_epi16(static_cast<short>(16 - t.severity));
  const __m256i worked = alpha ? _mm256_set1_epi64x(static_cast<long long>(0xFFFF000000000000ull))
                               : _mm256_set1_epi64x(0x0000FFFFFFFFFFFFll);
  const __m256i all = _mm256_set1_epi16(255), by255 = _mm256_set1_epi16(static_cast<short>(0x8081));
  __m256i half[2];
  for (int h = 0; h < 2; ++h) {
    const __m256i lo = h ? _mm256_unpackhi_epi8(lower, zero) : _mm256_unpacklo_epi8(lower, zero);
    const __m256i hi = h ? _mm256_unpackhi_epi8(higher, zero) : _mm256_unpacklo_epi8(higher, zero);
    const __m256i c16 = h ? _mm256_unpackhi_epi8(centre, zero) : _mm256_unpacklo_epi8(centre, zero);
    const __m256i o16 = h ? _mm256_unpackhi_epi8(old, zero) : _mm256_unpacklo_epi8(old, zero);
    __m256i diff = _mm256_add_epi16(lo, hi);
    const __m256i oneSided = _mm256_or_si256(_mm256_cmpeq_epi16(lo, zero), _mm256_cmpeq_epi16(hi, zero));
    diff = _mm256_add_epi16(diff, _mm256_and_si256(oneSided, diff));
    const __m256i mean = _mm256_srli_epi16(_mm256_sub_epi16(h ? sumHi : sumLo, c16), 3);
    // Pixels 2h, 2h + 1 in the low half, 2h + 4, 2h + 5 in the high one.
    const short m0 = mask[2 * h], m1 = mask[2 * h + 1], m4 = mask[2 * h + 4], m5 = mask[2 * h + 5];
    const __m256i m = _mm256_setr_epi16(m0, m0, m0, m0, m1, m1, m1, m1, m4, m4, m4, m4, m5, m5, m5, m5);
    const __m256i mixed = _mm256_add_epi16(_mm256_mullo_epi16(mean, m), _mm256_mullo_epi16(c16, _mm256_sub_epi16(all, m)));
    const __m256i made = _mm256_srli_epi16(_mm256_mulhi_epu16(mixed, by255), 7);
    const __m256i change = _mm256_and_si256(_mm256_and_si256(_mm256_cmpgt_epi16(diff, limit), worked),
                                            _mm256_xor_si256(_mm256_cmpeq_epi16(m, zero), _mm256_set1_epi16(-1)));
    half[h] = _mm256_or_si256(_mm256_and_si256(change, made), _mm256_andnot_si256(change, o16));
  }
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), _mm256_packus_epi16(half[0], half[1]));
}
#endif

void ShaveRow(std::uint8_t* row, int x0, int x1, int y, const std::uint8_t* maskRow) {
  const ApplyContext& c = Ctx();
  const CopyView copy(c.undo);
  const bool inRows = y - 1 >= copy.top && y + 1 <= copy.top + copy.height - 1;
  const int a = std::max(x0, copy.left + 1), b = std::min(x1, copy.left + copy.width - 2);
  int x = x0;
#if defined(__SSE2__)
  if (t.direction == 0 && inRows && a <= b) {
    for (; x < a; ++x) ShaveOne(copy, row, x0, x, y, maskRow, inRows, a, b);
#if defined(QV_TEXTURE_AVX2)
    if (CpuHasAvx2())
      for (; x + 7 <= b; x += 8) ShaveEight(copy, row + std::size_t{4} * (x - x0), x, y, maskRow + (x - x0), c.affectAlpha);
#endif
    for (; x + 3 <= b; x += 4) ShaveFour(copy, row + std::size_t{4} * (x - x0), x, y, maskRow + (x - x0), c.affectAlpha);
  }
#endif
  for (; x <= x1; ++x) ShaveOne(copy, row, x0, x, y, maskRow, inRows, a, b);
}

// Four whole windows of all directions at once, a byte per channel: the
// counts of lower and higher neighbours by saturated differences, the sums
// in 16 bits, then the rule of ShaveFull<9> lane by lane. A channel the
// rule keeps, a mask of 0 and a channel not worked keep the image's byte.
void ShaveFour(const CopyView& copy, std::uint8_t* p, int x, int y, const std::uint8_t* mask, bool alpha) {
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const std::uint8_t* q = copy.At(x, y);
  const std::size_t stride = copy.At(x, y + 1) - q;
  const __m128i centre = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
  __m128i notLower = zero, notHigher = zero, sumLo = zero, sumHi = zero;
  for (const std::uint8_t* r : {q - stride, q, q + stride})
    for (int dx = -4; dx <= 4; dx += 4) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r + dx));
      notLower = _mm_sub_epi8(notLower, _mm_cmpeq_epi8(_mm_subs_epu8(centre, v), zero));
      notHigher = _mm_sub_epi8(notHigher, _mm_cmpeq_epi8(_mm_subs_epu8(v, centre), zero));
      sumLo = _mm_add_epi16(sumLo, _mm_unpacklo_epi8(v, zero));
      sumHi = _mm_add_epi16(sumHi, _mm_unpackhi_epi8(v, zero));
    }
  const __m128i nine = _mm_set1_epi8(9);
  const __m128i lower = _mm_sub_epi8(nine, notLower), higher = _mm_sub_epi8(nine, notHigher);
  const __m128i old = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i limit = _mm_set1_epi16(static_cast<short>(16 - t.severity));
  const __m128i worked = alpha ? _mm_set_epi16(-1, 0, 0, 0, -1, 0, 0, 0) : _mm_set_epi16(0, -1, -1, -1, 0, -1, -1, -1);
  const __m128i all = _mm_set1_epi16(255), by255 = _mm_set1_epi16(static_cast<short>(0x8081));
  __m128i half[2];
  for (int h = 0; h < 2; ++h) {
    auto widen = [&](__m128i v) { return h ? _mm_unpackhi_epi8(v, zero) : _mm_unpacklo_epi8(v, zero); };
    const __m128i lo = widen(lower), hi = widen(higher), c16 = widen(centre), o16 = widen(old);
    __m128i diff = _mm_add_epi16(lo, hi);
    const __m128i oneSided = _mm_or_si128(_mm_cmpeq_epi16(lo, zero), _mm_cmpeq_epi16(hi, zero));
    diff = _mm_add_epi16(diff, _mm_and_si128(oneSided, diff));
    const __m128i mean = _mm_srli_epi16(_mm_sub_epi16(h ? sumHi : sumLo, c16), 3);
    const int m0 = mask[2 * h], m1 = mask[2 * h + 1];
    const __m128i m = _mm_set_epi16(static_cast<short>(m1), static_cast<short>(m1), static_cast<short>(m1),
                                    static_cast<short>(m1), static_cast<short>(m0), static_cast<short>(m0),
                                    static_cast<short>(m0), static_cast<short>(m0));
    const __m128i mixed = _mm_add_epi16(_mm_mullo_epi16(mean, m), _mm_mullo_epi16(c16, _mm_sub_epi16(all, m)));
    const __m128i made = _mm_srli_epi16(_mm_mulhi_epu16(mixed, by255), 7);
    const __m128i change =
        _mm_and_si128(_mm_and_si128(_mm_cmpgt_epi16(diff, limit), worked), _mm_xor_si128(_mm_cmpeq_epi16(m, zero), _mm_set1_epi16(-1)));
    half[h] = _mm_or_si128(_mm_and_si128(change, made), _mm_andnot_si128(change, o16));
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_packus_epi16(half[0], half[1]));
#else
  (void)copy, (void)p, (void)x, (void)y, (void)mask, (void)alpha;
#endif
}

// One pixel of a row. Most of a picture is smooth: a pixel whose whole
// window equals it keeps every channel, so it is skipped without judging
// the channels; other whole windows without a bounds test; the rest by the
// worker.
void ShaveOne(const CopyView& copy, std::uint8_t* row, int x0, int x, int y, const std::uint8_t* maskRow, bool inRows,
              int a, int b) {
  const ApplyContext& c = Ctx();
  {
    const int m = maskRow[x - x0];
    if (!m) return;
    if (inRows && x >= a && x <= b) {
      const std::uint8_t* q = copy.At(x, y);
      const std::size_t stride = copy.At(x, y + 1) - q;
      std::uint32_t centre, left, right, up, down;
      std::memcpy(&centre, q, 4);
      std::memcpy(&left, q - 4, 4);
      std::memcpy(&right, q + 4, 4);
      std::memcpy(&up, q - stride, 4);
      std::memcpy(&down, q + stride, 4);
      const std::uint32_t keep = c.affectAlpha ? 0xFF000000u : 0x00FFFFFFu;
      bool flat = ((left ^ centre) & keep) == 0 && ((right ^ centre) & keep) == 0;
      bool flatV = ((up ^ centre) & keep) == 0 && ((down ^ centre) & keep) == 0;
      if (t.direction == 1) flat = flatV;
      else if (t.direction == 0 && flat && flatV) {
        std::uint32_t d[4];
        std::memcpy(&d[0], q - stride - 4, 4);
        std::memcpy(&d[1], q - stride + 4, 4);
        std::memcpy(&d[2], q + stride - 4, 4);
        std::memcpy(&d[3], q + stride + 4, 4);
        for (std::uint32_t v : d) flat = flat && ((v ^ centre) & keep) == 0;
      } else if (t.direction == 0) {
        flat = false;
      }
      if (flat) return;
      // The window in the copy's own order, without a bounds test per pixel.
      const std::uint8_t* window[9];
      int n = 0;
      if (t.direction == 0) {
        for (const std::uint8_t* r : {q - stride, q, q + stride}) window[n++] = r - 4, window[n++] = r, window[n++] = r + 4;
      } else if (t.direction == 1) {
        window[n++] = q - stride, window[n++] = q, window[n++] = q + stride;
      } else {
        window[n++] = q - 4, window[n++] = q, window[n++] = q + 4;
      }
      if (n == 9)
        ShaveFull<9>(row + std::size_t{4} * (x - x0), window, q, m, c.affectAlpha);
      else
        ShaveFull<3>(row + std::size_t{4} * (x - x0), window, q, m, c.affectAlpha);
      return;
    }
    ShaveWorker(row + std::size_t{4} * (x - x0), x, y, m);
  }
}

// ---- Relief

int PrepareRelief() {
  t.multiply = ParamValue(kReliefOp, 0);
  if (t.multiply == 0) return NoChangeCancel();
  WidenBox(Ctx(), 3, 3);
  return 0;
}

inline int Sum3(const std::uint8_t* q) { return q[0] + q[1] + q[2]; }

#if defined(__SSE2__)
// Two pixels with all four neighbours, colour only: the channel differences
// in 16 bits, summed per pixel by a multiply-add; d x Multiply / 4 / 3 is
// trunc(d x Multiply / 12), exact in doubles; a mask of 0 and the alpha
// keep p x 255 / 255 = p.
inline void ReliefTwo(const std::uint8_t* q, std::ptrdiff_t stride, std::uint8_t* p, const std::uint8_t* mp, long multiply) {
  const __m128i zero = _mm_setzero_si128();
  auto two = [&](const std::uint8_t* at) { return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(at)), zero); };
  const __m128i diff = _mm_sub_epi16(_mm_add_epi16(two(q + 4), two(q + stride)), _mm_add_epi16(two(q - 4), two(q - stride)));
  const __m128i pairs = _mm_madd_epi16(diff, _mm_set_epi16(0, 1, 1, 1, 0, 1, 1, 1));       // r+g, b, r'+g', b'
  const __m128i d = _mm_add_epi32(pairs, _mm_shuffle_epi32(pairs, _MM_SHUFFLE(2, 3, 0, 1)));  // d in lanes 0 and 2
  const __m128d scaled = _mm_mul_pd(_mm_cvtepi32_pd(_mm_shuffle_epi32(d, _MM_SHUFFLE(3, 1, 2, 0))),
                                    _mm_set1_pd(static_cast<double>(multiply)));
  const __m128i g32 = _mm_add_epi32(_mm_cvttpd_epi32(_mm_div_pd(scaled, _mm_set1_pd(12.0))), _mm_set1_epi32(127));
  __m128i g = _mm_packs_epi32(g32, g32);  // g0, g1, g0, g1, ...
  g = _mm_min_epi16(_mm_max_epi16(g, zero), _mm_set1_epi16(255));
  g = _mm_unpacklo_epi16(g, g);                                            // g0 g0 g1 g1 ...
  g = _mm_unpacklo_epi32(g, g);                                            // g0 x4, g1 x4
  const __m128i m = _mm_and_si128(_mm_set_epi16(mp[1], mp[1], mp[1], mp[1], mp[0], mp[0], mp[0], mp[0]),
                                  _mm_set_epi16(0, -1, -1, -1, 0, -1, -1, -1));
  const __m128i old = two(p);
  const __m128i mixed = _mm_add_epi16(_mm_mullo_epi16(g, m), _mm_mullo_epi16(old, _mm_sub_epi16(_mm_set1_epi16(255), m)));
  const __m128i out = _mm_srli_epi16(_mm_mulhi_epu16(mixed, _mm_set1_epi16(static_cast<short>(0x8081))), 7);
  _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_packus_epi16(out, out));
}
#endif

#if defined(QV_TEXTURE_AVX2)
// Eight pixels of a row of 16-bit channels (four to a 256-bit half) from
// eight values, each value over its pixel's four channels.
__attribute__((target("avx2"))) inline void SpreadToChannels(__m256i v, __m256i out[2]) {
  const __m128i v16 = _mm_packs_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
  const __m128i pairs[2] = {_mm_unpacklo_epi16(v16, v16), _mm_unpackhi_epi16(v16, v16)};
  for (int h = 0; h < 2; ++h) out[h] = _mm256_set_m128i(_mm_unpackhi_epi32(pairs[h], pairs[h]), _mm_unpacklo_epi32(pairs[h], pairs[h]));
}

// Four mask bytes over their pixels' colour channels as 16-bit values, 0
// for the alpha.
__attribute__((target("avx2"))) inline __m256i MaskToColour(const std::uint8_t* mp) {
  std::int32_t four;
  std::memcpy(&four, mp, 4);
  __m128i m8 = _mm_cvtsi32_si128(four);
  m8 = _mm_unpacklo_epi8(m8, m8);
  m8 = _mm_unpacklo_epi16(m8, m8);
  return _mm256_and_si256(_mm256_cvtepu8_epi16(m8), _mm256_set1_epi64x(0x0000FFFFFFFFFFFFll));
}

// ReliefTwo for eight pixels, the same operations lane by lane; with
// |d x Multiply| below 2^24 the quotient is one of floats, exact alike.
__attribute__((target("avx2"))) void ReliefEight(const std::uint8_t* q, std::ptrdiff_t stride, std::uint8_t* p,
                                                 const std::uint8_t* mp, long multiply) {
  auto load = [](const std::uint8_t* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); };
  const __m256i pattern = _mm256_set1_epi64x(0x0000000100010001ll);
  __m256i pairs[2];
  for (int h = 0; h < 2; ++h) {
    const std::uint8_t* at = q + 16 * h;
    const __m256i diff = _mm256_sub_epi16(_mm256_add_epi16(_mm256_cvtepu8_epi16(load(at + 4)), _mm256_cvtepu8_epi16(load(at + stride))),
                                          _mm256_add_epi16(_mm256_cvtepu8_epi16(load(at - 4)), _mm256_cvtepu8_epi16(load(at - stride))));
    pairs[h] = _mm256_madd_epi16(diff, pattern);  // r+g, b per pixel
  }
  const __m256i d = _mm256_permute4x64_epi64(_mm256_hadd_epi32(pairs[0], pairs[1]), 0xD8);
  const __m256i g32 = _mm256_add_epi32(
      _mm256_cvttps_epi32(_mm256_div_ps(_mm256_mul_ps(_mm256_cvtepi32_ps(d), _mm256_set1_ps(static_cast<float>(multiply))),
                                        _mm256_set1_ps(12.0f))),
      _mm256_set1_epi32(127));
  __m256i g[2];
  SpreadToChannels(g32, g);
  const __m256i zero = _mm256_setzero_si256(), all = _mm256_set1_epi16(255), by255 = _mm256_set1_epi16(static_cast<short>(0x8081));
  __m256i half[2];
  for (int h = 0; h < 2; ++h) {
    const __m256i gg = _mm256_min_epi16(_mm256_max_epi16(g[h], zero), all);
    const __m256i m = MaskToColour(mp + 4 * h);
    const __m256i old = _mm256_cvtepu8_epi16(load(p + 16 * h));
    const __m256i mixed = _mm256_add_epi16(_mm256_mullo_epi16(gg, m), _mm256_mullo_epi16(old, _mm256_sub_epi16(all, m)));
    half[h] = _mm256_srli_epi16(_mm256_mulhi_epu16(mixed, by255), 7);
  }
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), _mm256_permute4x64_epi64(_mm256_packus_epi16(half[0], half[1]), 0xD8));
}
#endif

int ReliefWorker(std::uint8_t*, std::uint8_t* mask) {
  const ApplyContext& c = Ctx();
  const CopyView copy(c.undo);
  const Plane img(c.image, mask);
  const int cx1 = copy.left + copy.width - 1, cy1 = copy.top + copy.height - 1;
  for (int y = c.y0; y <= c.y1; ++y) {
    if (y % 8 == 0 && Progress(y - c.y0) != 0) return 1;
    if (!copy.Has(c.x0, y)) continue;
    std::uint8_t* p = img.At(c.x0, y);
    const std::uint8_t* mp = &img.MaskAt(c.x0, y);
    const bool pairs = !c.affectAlpha && y > copy.top && y < cy1 && std::labs(t.multiply) <= (1L << 20);
#if defined(QV_TEXTURE_AVX2)
    // |d| is at most 6 x 255.
    const bool eights = pairs && std::labs(t.multiply) * 1530 < (1L << 24) && CpuHasAvx2();
#endif
    for (int x = c.x0; x <= c.x1; ++x, p += 4, ++mp) {
#if defined(QV_TEXTURE_AVX2)
      if (eights && x > copy.left && x + 7 < cx1 && x + 7 <= c.x1) {
        ReliefEight(copy.At(x, y), copy.At(x, y + 1) - copy.At(x, y), p, mp, t.multiply);
        x += 7, p += 28, mp += 7;  // the loop steps past the eighth
        continue;
      }
#endif
#if defined(__SSE2__)
      if (pairs && x > copy.left && x + 1 < cx1 && x + 1 <= c.x1) {
        ReliefTwo(copy.At(x, y), copy.At(x, y + 1) - copy.At(x, y), p, mp, t.multiply);
        ++x, p += 4, ++mp;  // the second pixel: the loop steps past it
        continue;
      }
#endif
      const int m = *mp;
      if (!m || !copy.Has(x, y)) continue;
      const std::uint8_t* q = copy.At(x, y);
      const int v = Sum3(q);
      long d = 0, n = 0;
      int g;
      if (x > copy.left && x < cx1 && y > copy.top && y < cy1) {
        // All four neighbours: the left and right terms leave right - left,
        // and the count is the constant 4.
        d = Sum3(q + 4) - Sum3(q - 4) + Sum3(copy.At(x, y + 1)) - Sum3(copy.At(x, y - 1));
        g = Clamp0To255((d * t.multiply) / 4 / 3 + 127);
      } else {
        if (x > copy.left) d += v - Sum3(q - 4), ++n;
        if (x < cx1) d += Sum3(q + 4) - v, ++n;
        if (y > copy.top) d += v - Sum3(copy.At(x, y - 1)), ++n;
        if (y < cy1) d += Sum3(copy.At(x, y + 1)) - v, ++n;
        g = Clamp0To255((d * t.multiply) / std::max<long>(n, 1) / 3 + 127);
      }
      if (c.affectAlpha) {
        const int b = (g * m + p[3] * (255 - m)) / 255;
        p[3] = static_cast<std::uint8_t>(Lum(b, b, b));
      } else {
        for (int ch = 0; ch < 3; ++ch) p[ch] = static_cast<std::uint8_t>((g * m + p[ch] * (255 - m)) / 255);
      }
    }
  }
  return 0;
}

// ---- Elevations

void ElevationTables(int sea, bool usePalette) {
  if (usePalette) {
    const PaletteRecord& pal = MappingPalette();
    const long n = std::clamp(MappingCount(), 1, kMaxPaletteEntries), h = n / 2;
    for (long l = 0; l < 256; ++l) {
      const long q = l < sea ? l * h * 256 / std::max(sea, 1)
                             : h * 256 + (n - h - 1) * (l - sea) * 256 / std::max(255 - sea, 1);
      const long e = std::clamp<long>(q / 256, 0, n - 1), f = q & 255;
      // At the top of the range f is 0 and the next entry lies past the
      // palette: the last entry stands in for it.
      const long e1 = std::min(e + 1, n - 1);
      t.table[0][l] = static_cast<int>((pal.red[e1] * f + pal.red[e] * (255 - f)) / 255);
      t.table[1][l] = static_cast<int>((pal.green[e1] * f + pal.green[e] * (255 - f)) / 255);
      t.table[2][l] = static_cast<int>((pal.blue[e1] * f + pal.blue[e] * (255 - f)) / 255);
    }
    return;
  }
  for (int l = 0; l < 256; ++l) {
    if (l < sea) {
      t.table[0][l] = t.table[1][l] = 100 * l / std::max(sea, 1);
      t.table[2][l] = 195 * l / std::max(sea, 1) + 60;
    } else {
      const int d = l - sea, dd = std::max(255 - sea, 1);
      t.table[0][l] = 195 * d / dd + 60;
      t.table[1][l] = 135 * d / dd + 120;
      t.table[2][l] = Clamp0To255(455 * d / dd - 200);
    }
  }
}

int PrepareElevations() {
  const int sea = std::clamp(ParamValue(kElevationsOp, 0), 0, 255);
  t.shading = ParamValue(kElevationsOp, 1);
  WidenBox(Ctx(), 5, 5);
  ElevationTables(sea, ParamValue(kElevationsOp, 2) != 0);
  return 0;
}

inline int LumOf(const std::uint8_t* q) { return Lum(q[0], q[1], q[2]); }

// The luminance of each pixel of copy row y, from the copy's left edge.
// Four pixels at a time: each weighted channel i x w / 255 (at most
// 255 x 105) by the multiply-high for / 255, exact below 2^16, then the
// three added: the tables' own values.
#if defined(QV_TEXTURE_AVX2)
// LumRow's four-pixel steps eight at a time, each 128-bit half doing four.
__attribute__((target("avx2"))) int LumEight(const std::uint8_t* q, int width, int* out) {
  const __m256i zero = _mm256_setzero_si256(), by255 = _mm256_set1_epi16(static_cast<short>(0x8081));
  const __m256i weights = _mm256_set1_epi64x(0x0000004100690055ll), ones = _mm256_set1_epi64x(0x0000000100010001ll);
  int i = 0;
  for (; i + 8 <= width; i += 8, q += 32) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q));
    const __m256i wl = _mm256_srli_epi16(_mm256_mulhi_epu16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(v, zero), weights), by255), 7);
    const __m256i wh = _mm256_srli_epi16(_mm256_mulhi_epu16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(v, zero), weights), by255), 7);
    const __m256 lo = _mm256_castsi256_ps(_mm256_madd_epi16(wl, ones)), hi = _mm256_castsi256_ps(_mm256_madd_epi16(wh, ones));
    const __m256i sums = _mm256_add_epi32(_mm256_castps_si256(_mm256_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0))),
                                          _mm256_castps_si256(_mm256_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1))));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), sums);
  }
  return i;
}
#endif

void LumRow(const CopyView& copy, int y, int* out) {
  const std::uint8_t* q = copy.At(copy.left, y);
  int i = 0;
#if defined(QV_TEXTURE_AVX2)
  if (CpuHasAvx2()) {
    i = LumEight(q, copy.width, out);
    q += std::size_t{4} * static_cast<std::size_t>(i);
  }
#endif
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128(), by255 = _mm_set1_epi16(static_cast<short>(0x8081));
  const __m128i weights = _mm_set_epi16(0, 65, 105, 85, 0, 65, 105, 85), ones = _mm_set_epi16(0, 1, 1, 1, 0, 1, 1, 1);
  for (; i + 4 <= copy.width; i += 4, q += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
    auto part = [&](__m128i half) {
      const __m128i w = _mm_srli_epi16(_mm_mulhi_epu16(_mm_mullo_epi16(half, weights), by255), 7);
      return _mm_castsi128_ps(_mm_madd_epi16(w, ones));  // red + green, blue per pixel
    };
    const __m128 lo = part(_mm_unpacklo_epi8(v, zero)), hi = part(_mm_unpackhi_epi8(v, zero));
    const __m128i sums = _mm_add_epi32(_mm_castps_si128(_mm_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0))),
                                       _mm_castps_si128(_mm_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1))));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), sums);
  }
#endif
  for (; i < copy.width; ++i, q += 4) out[i] = LumOf(q);
}

#if defined(__SSE2__)
// Four shaded pixels with every term present, in colour. d x Shading / 4 /
// 10 is trunc(d x Shading / 40), exact as a float quotient of whole numbers
// below 2^24; the shift is saturated to 16 bits and added with saturation,
// which the pack then clamps to the same end as Clamp0To255; a mask of 0
// and the alpha keep p x 255 / 255 = p.
inline void ElevationsFour(std::uint8_t* p, const std::uint8_t* mp, const int* row, const int* above, const int* below,
                           const std::uint32_t* packed, float shading) {
  auto at = [](const int* q) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q)); };
  const __m128i l = at(row);
  const __m128i d = _mm_add_epi32(_mm_sub_epi32(_mm_add_epi32(l, l), _mm_add_epi32(_mm_add_epi32(at(row - 1), at(above)), at(above - 1))),
                                  at(below + 1));
  const __m128i q = _mm_cvttps_epi32(_mm_div_ps(_mm_mul_ps(_mm_cvtepi32_ps(d), _mm_set1_ps(shading)), _mm_set1_ps(40.0f)));
  __m128i shift = _mm_packs_epi32(q, q);
  shift = _mm_unpacklo_epi16(shift, shift);
  const __m128i zero = _mm_setzero_si128();
  const __m128i colours = _mm_set_epi32(static_cast<int>(packed[row[3]]), static_cast<int>(packed[row[2]]),
                                        static_cast<int>(packed[row[1]]), static_cast<int>(packed[row[0]]));
  const __m128i lo = _mm_adds_epi16(_mm_unpacklo_epi8(colours, zero), _mm_unpacklo_epi32(shift, shift));
  const __m128i hi = _mm_adds_epi16(_mm_unpackhi_epi8(colours, zero), _mm_unpackhi_epi32(shift, shift));
  const __m128i col = _mm_packus_epi16(lo, hi);
  const __m128i old = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i all = _mm_set1_epi16(255), by255 = _mm_set1_epi16(static_cast<short>(0x8081));
  const __m128i colour = _mm_set_epi16(0, -1, -1, -1, 0, -1, -1, -1);
  __m128i half[2];
  for (int h = 0; h < 2; ++h) {
    const __m128i c16 = h ? _mm_unpackhi_epi8(col, zero) : _mm_unpacklo_epi8(col, zero);
    const __m128i o16 = h ? _mm_unpackhi_epi8(old, zero) : _mm_unpacklo_epi8(old, zero);
    const int m0 = mp[2 * h], m1 = mp[2 * h + 1];
    const __m128i m = _mm_and_si128(_mm_set_epi16(static_cast<short>(m1), static_cast<short>(m1), static_cast<short>(m1),
                                                  static_cast<short>(m1), static_cast<short>(m0), static_cast<short>(m0),
                                                  static_cast<short>(m0), static_cast<short>(m0)),
                                    colour);
    const __m128i x = _mm_add_epi16(_mm_mullo_epi16(c16, m), _mm_mullo_epi16(o16, _mm_sub_epi16(all, m)));
    half[h] = _mm_srli_epi16(_mm_mulhi_epu16(x, by255), 7);
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_packus_epi16(half[0], half[1]));
}
#endif

#if defined(QV_TEXTURE_AVX2)
// ElevationsFour for eight pixels, the same operations lane by lane.
__attribute__((target("avx2"))) void ElevationsEight(std::uint8_t* p, const std::uint8_t* mp, const int* row,
                                                     const int* above, const int* below, const std::uint32_t* packed,
                                                     float shading) {
  const __m256i l = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row));
  const __m256i around = _mm256_add_epi32(
      _mm256_add_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(row - 1)),
                       _mm256_loadu_si256(reinterpret_cast<const __m256i*>(above))),
      _mm256_loadu_si256(reinterpret_cast<const __m256i*>(above - 1)));
  const __m256i d = _mm256_add_epi32(_mm256_sub_epi32(_mm256_add_epi32(l, l), around),
                                     _mm256_loadu_si256(reinterpret_cast<const __m256i*>(below + 1)));
  const __m256i q =
      _mm256_cvttps_epi32(_mm256_div_ps(_mm256_mul_ps(_mm256_cvtepi32_ps(d), _mm256_set1_ps(shading)), _mm256_set1_ps(40.0f)));
  const __m128i q16 = _mm_packs_epi32(_mm256_castsi256_si128(q), _mm256_extracti128_si256(q, 1));
  const __m128i pairs[2] = {_mm_unpacklo_epi16(q16, q16), _mm_unpackhi_epi16(q16, q16)};
  const __m256i all = _mm256_set1_epi16(255), by255 = _mm256_set1_epi16(static_cast<short>(0x8081));
  const __m256i colour = _mm256_set1_epi64x(0x0000FFFFFFFFFFFFll), zero = _mm256_setzero_si256();
  __m256i half[2];
  for (int h = 0; h < 2; ++h) {
    const int* r = row + 4 * h;
    const __m256i shift = _mm256_set_m128i(_mm_unpackhi_epi32(pairs[h], pairs[h]), _mm_unpacklo_epi32(pairs[h], pairs[h]));
    const __m128i colours = _mm_set_epi32(static_cast<int>(packed[r[3]]), static_cast<int>(packed[r[2]]),
                                          static_cast<int>(packed[r[1]]), static_cast<int>(packed[r[0]]));
    const __m256i sum = _mm256_adds_epi16(_mm256_cvtepu8_epi16(colours), shift);
    const __m256i c16 = _mm256_min_epi16(_mm256_max_epi16(sum, zero), all);
    const __m256i o16 = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * h)));
    std::int32_t four;
    std::memcpy(&four, mp + 4 * h, 4);
    __m128i m8 = _mm_cvtsi32_si128(four);
    m8 = _mm_unpacklo_epi8(m8, m8);
    m8 = _mm_unpacklo_epi16(m8, m8);
    const __m256i m = _mm256_and_si256(_mm256_cvtepu8_epi16(m8), colour);
    const __m256i x = _mm256_add_epi16(_mm256_mullo_epi16(c16, m), _mm256_mullo_epi16(o16, _mm256_sub_epi16(all, m)));
    half[h] = _mm256_srli_epi16(_mm256_mulhi_epu16(x, by255), 7);
  }
  const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(half[0], half[1]), 0xD8);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), bytes);
}
#endif

int ElevationsWorker(std::uint8_t*, std::uint8_t* mask) {
  const ApplyContext& c = Ctx();
  const CopyView copy(c.undo);
  const Plane img(c.image, mask);
  const int cx1 = copy.left + copy.width - 1, cy1 = copy.top + copy.height - 1;
  // Three rows of luminances (above, this, below), each row's taken once
  // and passed up as y moves down.
  const std::size_t span = static_cast<std::size_t>(std::max(copy.width, 0));
  std::vector<int> lums(3 * span);
  int* lumAbove = lums.data();
  int* lumRow = lumAbove + span;
  int* lumBelow = lumRow + span;
  int heldRow = -2;  // the copy row lumRow holds
  const long shading = t.shading;
  // The three colours of each luminance in one word, for four pixels at a
  // time; shading products then stay below 2^24 and are exact in floats.
  std::uint32_t packed[256];
  bool byteTables = std::labs(shading) <= (1L << 14);
  for (int l = 0; l < 256; ++l) {
    for (int ch = 0; ch < 3; ++ch) byteTables = byteTables && t.table[ch][l] >= 0 && t.table[ch][l] <= 255;
    packed[l] = static_cast<std::uint32_t>(t.table[0][l] & 255) | static_cast<std::uint32_t>(t.table[1][l] & 255) << 8 |
                static_cast<std::uint32_t>(t.table[2][l] & 255) << 16;
  }
#if defined(QV_TEXTURE_AVX2)
  const bool eightWide = byteTables && CpuHasAvx2();
#endif
  for (int y = c.y0; y <= c.y1; ++y) {
    if (y % 8 == 0 && Progress(y - c.y0) != 0) return 1;
    if (y < copy.top || y > cy1) continue;
    const bool up = y > copy.top, down = y < cy1;
    if (heldRow == y - 1) {
      std::swap(lumAbove, lumRow);
      std::swap(lumRow, lumBelow);
      if (down) LumRow(copy, y + 1, lumBelow);
    } else {
      if (up) LumRow(copy, y - 1, lumAbove);
      LumRow(copy, y, lumRow);
      if (down) LumRow(copy, y + 1, lumBelow);
    }
    heldRow = y;
    std::uint8_t* p = img.At(c.x0, y);
    const std::uint8_t* mp = &img.MaskAt(c.x0, y);
    // Pixels with every shading term present, in colour: the count is the
    // constant 4 and one shift serves the three channels.
    const bool inner = !c.affectAlpha && shading != 0 && up && down;
    const int a = inner ? std::max(c.x0, copy.left + 1) : c.x1 + 1, b = inner ? std::min(c.x1, cx1 - 1) : c.x1;
    for (int x = c.x0; x <= c.x1; ++x, p += 4, ++mp) {
      const int m = *mp;
      if (!m || x < copy.left || x > cx1) continue;
      const std::size_t i = static_cast<std::size_t>(x - copy.left);
      const int l = lumRow[i];
#if defined(QV_TEXTURE_AVX2)
      if (eightWide && x >= a && x + 7 <= b) {
        ElevationsEight(p, mp, lumRow + i, lumAbove + i, lumBelow + i, packed, static_cast<float>(shading));
        x += 7, p += 28, mp += 7;  // the loop steps past the eighth
        continue;
      }
#endif
#if defined(__SSE2__)
      if (byteTables && x >= a && x + 3 <= b) {
        ElevationsFour(p, mp, lumRow + i, lumAbove + i, lumBelow + i, packed, static_cast<float>(shading));
        x += 3, p += 12, mp += 3;  // the loop steps past the fourth
        continue;
      }
#endif
      if (x >= a && x <= b) {
        const long d = 3L * l - lumRow[i - 1] - lumAbove[i] - lumAbove[i - 1] + lumBelow[i + 1] - l;
        const long shift = shading * d / 4 / 10;
        const int col[3] = {Clamp0To255(t.table[0][l] + shift), Clamp0To255(t.table[1][l] + shift),
                            Clamp0To255(t.table[2][l] + shift)};
        if (m == 255) {
          p[0] = static_cast<std::uint8_t>(col[0]), p[1] = static_cast<std::uint8_t>(col[1]);
          p[2] = static_cast<std::uint8_t>(col[2]);
        } else {
          BlendRgb(p, col, m);
        }
        continue;
      }
      int col[3] = {t.table[0][l], t.table[1][l], t.table[2][l]};
      if (shading != 0) {
        const bool left = x > copy.left, downRight = down && x < cx1;
        if (left && up && downRight) {
          // Every term present: a constant count of 4.
          const long d = 3L * l - lumRow[i - 1] - lumAbove[i] - lumAbove[i - 1] + lumBelow[i + 1] - l;
          for (int& v : col) v = Clamp0To255(v + shading * d / 4 / 10);
        } else {
          long d = 0, n = 0;
          if (left) d += l - lumRow[i - 1], ++n;
          if (up) d += l - lumAbove[i], ++n;
          if (left && up) d += l - lumAbove[i - 1], ++n;
          if (downRight) d += lumBelow[i + 1] - l, ++n;
          if (n > 0)
            for (int& v : col) v = Clamp0To255(v + shading * d / n / 10);
        }
      }
      if (c.affectAlpha) {
        int bl[3];
        for (int ch = 0; ch < 3; ++ch) bl[ch] = (col[ch] * m + p[3] * (255 - m)) / 255;
        p[3] = static_cast<std::uint8_t>(Lum(bl[0], bl[1], bl[2]));
      } else {
        BlendRgb(p, col, m);
      }
    }
  }
  return 0;
}

// ---- Contour

int PrepareContour() {
  for (int k = 0; k < 3; ++k) {
    t.line[k] = Clamp0To255(ParamValue(kContourOp, k));
    t.background[k] = Clamp0To255(ParamValue(kContourOp, 3 + k));
  }
  t.applyBackground = ParamValue(kContourOp, 6) != 0;
  t.interval = ParamValue(kContourOp, 7);
  if (t.interval <= 0) t.interval = 1;
  t.edges = ParamValue(kContourOp, 8) != 0;
  WidenBox(Ctx(), 1, 1);
  return 0;
}

void ContourWorker(std::uint8_t* p, int x, int y, int m) {
  const CopyView copy(Ctx().undo);
  if (!copy.Has(x, y)) return;
  const int l = LumOf(copy.At(x, y));
  auto at = [&](int nx, int ny) { return copy.Has(nx, ny) ? LumOf(copy.At(nx, ny)) : l; };
  const int n[4] = {at(x + 1, y - 1), at(x + 1, y), at(x, y + 1), at(x + 1, y + 1)};
  bool line = false;
  for (int v : n)
    line = line || (t.edges ? std::abs(l - v) >= t.interval : v / t.interval != l / t.interval);
  if (line)
    BlendRgb(p, t.line, m);
  else if (t.applyBackground)
    BlendRgb(p, t.background, m);
}

// ---- Apply Canvas

ImageRecord* ChosenSource() {
  ImageRecord* chosen = Pipeline().source;
  if (!chosen || ImageIndex(chosen) < 0) chosen = ImageCount() > 0 ? ImageAt(0) : Ctx().image;
  return chosen;
}

int PrepareCanvas() {
  ApplyContext& c = Ctx();
  const long p = ParamValue(kApplyCanvasOp, 0);
  t.amount = ParamValue(kApplyCanvasOp, 1);
  t.tile = ParamValue(kApplyCanvasOp, 2);
  t.transparency = ParamValue(kApplyCanvasOp, 3);
  t.emboss = ParamValue(kApplyCanvasOp, 4);
  t.bw = ParamValue(kApplyCanvasOp, 5) != 0;
  if ((p <= 0 || t.amount == 0) && t.transparency == 0 && t.emboss == 0) return NoChangeCancel();
  t.canvas = ChosenSource();
  t.fromCopy = t.canvas == c.image;
  if (t.fromCopy) {
    c.x0 = 0, c.y0 = 0;
    c.x1 = c.image->width - 1, c.y1 = c.image->height - 1;
  }
  if (p <= 0) t.amount = 0;  // no grain without a spread
  if (BuildKernel(std::max<long>(p, 0)) != 0) return 1;
  t.grainDivider = ExactDivider(t.kernel.full, 255 * t.kernel.full);
  return 0;
}

void FinishCanvas() { FreeKernel(); }

// The canvas as the worker reads it, at 0, 0.
struct CanvasView {
  const std::uint8_t* pixels = nullptr;
  const std::uint32_t* rows = nullptr;
  int width = 0, height = 0;
  bool alpha = true;
  const std::uint8_t* At(int x, int y) const {
    return pixels + (static_cast<std::size_t>(rows[y]) + static_cast<std::size_t>(x)) * 4;
  }
};

// The canvas' grain at (x, y): each channel's distance from its spread average.
void Grain(const CanvasView& cv, int x, int y, const std::uint8_t* s, int g[3]) {
  const int r = t.kernel.r;
  long w = 0, sum[3] = {0, 0, 0};
  if (x >= r && y >= r && x + r < cv.width && y + r < cv.height) {
    // The whole window in the canvas: only the taps that weigh.
    for (const Kernel::Tap& k : t.kernel.taps) {
      const std::uint8_t* q = cv.At(x + k.dx, y + k.dy);
      sum[0] += k.w * q[0];
      sum[1] += k.w * q[1];
      sum[2] += k.w * q[2];
    }
    if (t.grainDivider.d == static_cast<std::uint64_t>(t.kernel.full) && t.kernel.full > 0) {
      for (int ch = 0; ch < 3; ++ch) g[ch] = static_cast<int>((s[ch] - t.grainDivider(sum[ch])) * t.amount / 5);
      if (t.bw) g[0] = g[1] = g[2] = (g[0] + g[1] + g[2]) / 3;
      return;
    }
    w = t.kernel.full;
  } else {
    const int xa = std::max(x - r, 0), xb = std::min(x + r, cv.width - 1);
    const int ya = std::max(y - r, 0), yb = std::min(y + r, cv.height - 1);
    for (int yy = ya; yy <= yb; ++yy) {
      const std::uint8_t* q = cv.At(xa, yy);
      for (int xx = xa; xx <= xb; ++xx, q += 4) {
        const int k = t.kernel.Weight(xx - x, yy - y);
        w += k;
        sum[0] += k * q[0];
        sum[1] += k * q[1];
        sum[2] += k * q[2];
      }
    }
  }
  if (w == 0) w = 1;
  for (int ch = 0; ch < 3; ++ch) g[ch] = static_cast<int>((s[ch] - sum[ch] / w) * t.amount / 5);
  if (t.bw) g[0] = g[1] = g[2] = (g[0] + g[1] + g[2]) / 3;
}

#if defined(QV_TEXTURE_AVX2)
// Two neighbouring pixels of a tiled row at once, colour only, every
// channel in its own lane: the worker's integer expressions, each division
// one of floats. A numerator below 2^24 is exact in a float and its
// quotient, rounded, stays on the same side of every whole number (a
// quotient short of one by at least 1 / d is short of it by more than the
// rounding), so truncation gives C's quotient, negative ones too.
struct CanvasPair {
  const std::uint8_t* s;      // the canvas pixel of the first of the two
  const std::uint8_t* up;     // ... the one above it (clamped), and left of each
  const std::int32_t* sums;   // the grain's window sums, or null
  float full;
  int amount, transparency, emboss;
  bool bw;
};

// Two pixels' bytes, one per lane.
__attribute__((target("avx2"))) inline __m256i Widen(const std::uint8_t* at) {
  return _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(at)));
}

__attribute__((target("avx2"))) inline __m256i DivTrunc(__m256i v, __m256 d) {
  return _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(v), d));
}

// The pair's numerators: a cover or a mix of two bytes weighed to 255
// (below 255 x 256), a mix weighed to 100 (255 x 100), the grain (+-255 x
// 100 before / 5 and three of those / 3 for grey), the emboss (+-765 x 100).
using By255 = ByConstant<255, 32897, 23, 255 * 256>;
using By100 = ByConstant<100, 41944, 22, 255 * 100>;
using EmbossBy100 = ByConstant<100, 20972, 19, 765 * 100, 2>;
using By5 = ByConstant<5, 26215, 17, 255 * 100>;
using By3 = ByConstant<3, 21846, 16, 3 * 255 * 100 / 5>;

// The mean of channels 0..2 of each pixel, in those lanes.
__attribute__((target("avx2"))) inline __m256i GreyOf(__m256i v) {
  const __m256i sum = _mm256_add_epi32(_mm256_add_epi32(v, _mm256_shuffle_epi32(v, _MM_SHUFFLE(3, 0, 2, 1))),
                                       _mm256_shuffle_epi32(v, _MM_SHUFFLE(3, 1, 0, 2)));
  return By3::Signed(sum);
}

__attribute__((target("avx2"))) inline void CanvasTwo(std::uint8_t* p, const std::uint8_t* mp, const CanvasPair& k,
                                                       bool canvasAlpha) {
  const __m256i old = Widen(p), s = Widen(k.s);
  std::uint16_t twoMasks;
  std::memcpy(&twoMasks, mp, 2);
  const __m256i m = _mm256_permutevar8x32_epi32(_mm256_cvtepu8_epi32(_mm_cvtsi32_si128(twoMasks)),
                                                _mm256_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1));
  const __m256i cover = canvasAlpha ? _mm256_shuffle_epi32(s, _MM_SHUFFLE(3, 3, 3, 3)) : _mm256_set1_epi32(255);
  const __m256i a = By255::Unsigned(_mm256_mullo_epi32(m, cover));
  __m256i g = _mm256_setzero_si256();
  if (k.sums) {
    const __m256i avg = DivTrunc(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(k.sums)), _mm256_set1_ps(k.full));
    const __m256i grain = _mm256_mullo_epi32(_mm256_sub_epi32(s, avg), _mm256_set1_epi32(k.amount));
    g = By5::Signed(grain);
    if (k.bw) g = GreyOf(g);
  }
  const __m256i t = _mm256_set1_epi32(k.transparency);
  __m256i col = By100::Unsigned(_mm256_add_epi32(_mm256_mullo_epi32(s, t), _mm256_mullo_epi32(old, _mm256_sub_epi32(_mm256_set1_epi32(100), t))));
  const __m256i left = Widen(k.s - 4), up = Widen(k.up), upLeft = Widen(k.up - 4);
  __m256i e = _mm256_sub_epi32(_mm256_sub_epi32(_mm256_sub_epi32(_mm256_add_epi32(s, _mm256_add_epi32(s, s)), upLeft), up), left);
  if (k.bw) e = GreyOf(e);
  col = _mm256_add_epi32(col, EmbossBy100::Signed(_mm256_mullo_epi32(e, _mm256_set1_epi32(k.emboss))));
  const __m256i mixed = _mm256_min_epi32(_mm256_max_epi32(_mm256_add_epi32(col, g), _mm256_setzero_si256()), _mm256_set1_epi32(255));
  const __m256i out = By255::Unsigned(_mm256_add_epi32(_mm256_mullo_epi32(old, _mm256_sub_epi32(_mm256_set1_epi32(255), a)), _mm256_mullo_epi32(a, mixed)));
  const __m256i bytes16 = _mm256_packus_epi32(out, out);
  const __m256i bytes8 = _mm256_packus_epi16(bytes16, bytes16);
  const __m128i two = _mm_unpacklo_epi32(_mm256_castsi256_si128(bytes8), _mm256_extracti128_si256(bytes8, 1));
  const __m128i was = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
  const __m128i alphas = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_or_si128(_mm_and_si128(was, alphas), _mm_andnot_si128(alphas, two)));
}

// A run of pairs along a row, in one call so that the pair's constants
// stay in registers and the pairs overlap.
__attribute__((target("avx2"))) void CanvasRun(std::uint8_t* p, const std::uint8_t* mp, CanvasPair k, int pairs,
                                               bool canvasAlpha) {
  for (int i = 0; i < pairs; ++i, p += 8, mp += 2, k.s += 8, k.up += 8) {
    CanvasTwo(p, mp, k, canvasAlpha);
    if (k.sums) k.sums += 8;
  }
}

#endif

int CanvasWorker(std::uint8_t*, std::uint8_t* mask) {
  const ApplyContext& c = Ctx();
  CanvasView cv;
  ImageRecord* locked = nullptr;
  if (t.fromCopy) {
    if (!c.undo) return 1;
    cv.pixels = c.undo->pixels;
    cv.rows = c.undo->rows;
    cv.width = c.undo->width;
    cv.height = c.undo->height;
    cv.alpha = c.image->hasAlpha != 0;
  } else {
    if (!t.canvas || ImageIndex(t.canvas) < 0 || LockImage(t.canvas) != 0) {
      ShowMessage(kMessageNoResultMemory);
      return 1;
    }
    locked = t.canvas;
    cv.pixels = t.canvas->pixels;
    cv.rows = t.canvas->rows;
    cv.width = t.canvas->width;
    cv.height = t.canvas->height;
    cv.alpha = t.canvas->hasAlpha != 0;
  }
  const Plane img(c.image, mask);
  const std::int64_t cw = cv.width, ch = cv.height;
  const std::int64_t spanX = std::max(c.x1 - c.x0, 1), spanY = std::max(c.y1 - c.y0, 1);
  const bool grain = t.amount != 0;
  const long amount = t.amount, transparency = t.transparency, emboss = t.emboss;
  const bool bw = t.bw, tile = t.tile != 0, affectAlpha = c.affectAlpha;
  // The grain's sums of a whole canvas row at once, where the box is wide
  // enough for that to pay (the pixels whose window lies in the canvas).
  const int r = t.kernel.r;
  const int sumFirst = r, sumCount = static_cast<int>(std::max<std::int64_t>(cw - 2 * std::int64_t{r}, 0)) & ~1;
  const bool rowSums = grain && t.kernel.full > 0 && t.kernel.full < (1L << 22) && sumCount > 0 &&
                       (std::int64_t{c.x1} - c.x0 + 1) * 4 >= cw;
  std::vector<std::int16_t> vertical;
  std::vector<std::int32_t> sums;
  if (rowSums) {
    vertical.resize(static_cast<std::size_t>(t.symmetric.rows + 1) * (sumCount + 2 * t.symmetric.reach) * 4);
    sums.resize(static_cast<std::size_t>(sumCount) * 4);
  }
  int summedRow = -1;
  int result = 0;
#if defined(QV_TEXTURE_AVX2)
  // Every numerator of the pair's expressions below 2^24 (window sums up to
  // 255 x W among them).
  auto percent = [](long v) { return v >= 0 && v <= 100; };
  const bool vector = CpuHasAvx2() && tile && !affectAlpha && percent(amount) && percent(transparency) &&
                      percent(emboss) && (!grain || 255 * t.kernel.full < (1L << 24));
#endif
  for (int y = c.y0; y <= c.y1 && result == 0; ++y) {
    if (y % 8 == 0 && Progress(y - c.y0) != 0) {
      result = 1;
      break;
    }
    const int sy = static_cast<int>(tile ? (y - c.y0) % ch : (y - c.y0) * (ch - 1) / spanY);
    const bool rowInside = rowSums && sy >= r && sy + r < ch;
    if (rowInside && summedRow != sy) {
      const int reach = t.symmetric.reach;
      SymmetricSums(t.symmetric, [&](int dy) { return cv.At(sumFirst - reach, sy + dy); }, sumCount, vertical.data(),
                    sums.data());
      summedRow = sy;
    }
    std::uint8_t* p = img.At(c.x0, y);
    const std::uint8_t* mp = &img.MaskAt(c.x0, y);
    std::int64_t tiled = 0;  // (x - x0) mod the canvas' width
    const int uy = std::max(sy - 1, 0);
    for (int x = c.x0; x <= c.x1; ++x, p += 4, ++mp, tiled = tiled + 1 == cw ? 0 : tiled + 1) {
#if defined(QV_TEXTURE_AVX2)
      // A pair of tiled neighbours with a left neighbour each in the canvas
      // and, with grain, their window sums at hand.
      if (vector && tiled >= 1 && tiled + 1 < cw && x < c.x1 &&
          (!grain || (rowInside && tiled >= sumFirst && tiled + 1 < sumFirst + sumCount))) {
        // The whole run of such pairs in one go: the tiled place only
        // wraps after it.
        const std::int64_t high = grain ? std::min<std::int64_t>(cw, sumFirst + sumCount) : cw;
        const int pairs = static_cast<int>(std::min<std::int64_t>((high - tiled) / 2, (std::int64_t{c.x1} - x + 1) / 2));
        const int sx = static_cast<int>(tiled);
        const CanvasPair pair{cv.At(sx, sy), cv.At(sx, uy),
                              grain ? sums.data() + std::size_t{4} * static_cast<std::size_t>(sx - sumFirst) : nullptr,
                              static_cast<float>(t.kernel.full), static_cast<int>(amount), static_cast<int>(transparency),
                              static_cast<int>(emboss), bw};
        CanvasRun(p, mp, pair, pairs, cv.alpha);
        // The second of the last pair; the loop steps past it.
        x += 2 * pairs - 1, p += std::size_t{8} * pairs - 4, mp += 2 * pairs - 1, tiled += 2 * pairs - 1;
        continue;
      }
#endif
      const int m = *mp;
      if (!m) continue;
      const int sx = static_cast<int>(tile ? tiled : (x - c.x0) * (cw - 1) / spanX);
      const std::uint8_t* s = cv.At(sx, sy);
      const int tc[3] = {affectAlpha ? p[3] : p[0], affectAlpha ? p[3] : p[1], affectAlpha ? p[3] : p[2]};
      const int a = m * (cv.alpha ? s[3] : 255) / 255;
      int g[3] = {0, 0, 0};
      if (grain) {
        if (rowInside && sx >= sumFirst && sx < sumFirst + sumCount) {
          const std::int32_t* sum = sums.data() + std::size_t{4} * static_cast<std::size_t>(sx - sumFirst);
          for (int k = 0; k < 3; ++k) g[k] = static_cast<int>((s[k] - t.grainDivider(sum[k])) * amount / 5);
          if (bw) g[0] = g[1] = g[2] = (g[0] + g[1] + g[2]) / 3;
        } else {
          Grain(cv, sx, sy, s, g);
        }
      }
      int col[3] = {tc[0], tc[1], tc[2]};
      if (transparency != 0)
        for (int k = 0; k < 3; ++k) col[k] = static_cast<int>((s[k] * transparency + tc[k] * (100 - transparency)) / 100);
      if (emboss != 0) {
        const int ux = std::max(sx - 1, 0), uy = std::max(sy - 1, 0);
        const std::uint8_t* up = cv.At(sx, uy);
        const std::uint8_t* left = cv.At(ux, sy);
        const std::uint8_t* ul = cv.At(ux, uy);
        int e[3];
        for (int k = 0; k < 3; ++k) e[k] = 3 * s[k] - ul[k] - up[k] - left[k];
        if (bw) e[0] = e[1] = e[2] = (e[0] + e[1] + e[2]) / 3;
        for (int k = 0; k < 3; ++k) col[k] = static_cast<int>(col[k] + e[k] * emboss / 100);
      }
      int out[3];
      for (int k = 0; k < 3; ++k) out[k] = (tc[k] * (255 - a) + a * Clamp0To255(col[k] + g[k])) / 255;
      if (affectAlpha) {
        p[3] = static_cast<std::uint8_t>(Lum(out[0], out[1], out[2]));
      } else {
        for (int k = 0; k < 3; ++k) p[k] = static_cast<std::uint8_t>(out[k]);
      }
    }
  }
  if (locked) UnlockImage(locked);
  return result;
}

// ---- Dither

int PrepareDither() { return 0; }

int DitherWorker(std::uint8_t*, std::uint8_t* mask) {
  const ApplyContext& c = Ctx();
  const long X = std::max(ParamValue(kDitherOp, 0), 1), Y = std::max(ParamValue(kDitherOp, 1), 1);
  const long amount = ParamValue(kDitherOp, 2);
  const bool gray = ParamValue(kDitherOp, 3) != 0;
  const std::int64_t entries = std::int64_t{c.image->width} + X;
  // Spacings far beyond the picture would only ask for tables of no use.
  if (X > kLongestSpacing || Y > kLongestSpacing) {
    ShowMessage(kMessageNoMemory);
    return 1;
  }
  const char* tags[6] = {"rhi1", "ghi1", "bhi1", "rhi2", "ghi2", "bhi2"};
  std::int32_t* table[6] = {};
  auto freeTables = [&] {
    for (int k = 0; k < 6; ++k) table[k] = static_cast<std::int32_t*>(FreeReal(table[k], tags[k]));
  };
  for (int k = 0; k < 6; ++k)
    if (!(table[k] = AllocRealArray<std::int32_t>(entries, tags[k]))) {
      freeTables();
      ShowMessage(kMessageNoMemory);
      return 1;
    }
  std::int32_t* upper[3] = {table[0], table[1], table[2]};
  std::int32_t* lower[3] = {table[3], table[4], table[5]};
  const long A = std::max<long>(amount * 255 / 100, 1), h = A / 2;
  auto noise = [&] { return static_cast<std::int32_t>(Rand() * A / 32767 - h); };
  Srand(3);
  for (std::int64_t col = 0; col < entries; col += X) {
    for (auto* u : upper) u[col] = noise();
    for (auto* l : lower) l[col] = noise();
  }
  const Plane img(c.image, mask);
  const long xy = X * Y;
  // The division by X x Y as a multiplication: exact while |sum| x X x Y,
  // at most (X x Y)^2 x A, stays below 2^32.
  const bool byReciprocal = static_cast<std::uint64_t>(xy) * static_cast<std::uint64_t>(xy) * static_cast<std::uint64_t>(A) <
                            (std::uint64_t{1} << 32);
  const std::uint64_t reciprocal = ((std::uint64_t{1} << 32) + static_cast<std::uint64_t>(xy) - 1) / static_cast<std::uint64_t>(xy);
  auto divide = [&](long v) -> int {
    if (!byReciprocal) return static_cast<int>(v / xy);
    const std::uint64_t q = (static_cast<std::uint64_t>(v < 0 ? -v : v) * reciprocal) >> 32;
    return v < 0 ? -static_cast<int>(q) : static_cast<int>(q);
  };
  // A row's noise is worked out once for the whole row: per lattice column
  // the two rows mixed by ey, then per pixel the two columns mixed by ex
  // (the same integer sums, grouped), then divided.
  const int boxWidth = c.x1 - c.x0 + 1;
  const long firstCol = c.x0 - c.x0 % X;
  const std::size_t lattice = static_cast<std::size_t>((c.x1 - firstCol) / X + 2);
  std::vector<long> mixed(3 * lattice);
  std::vector<std::int32_t> rowNoise(4 * static_cast<std::size_t>(boxWidth) + 8, 0);
  const int channels = gray ? 1 : 3;
  // |X x v0|, |v1 - v0| and every numerator stay below X x Y x A.
  const bool exactInDoubles = static_cast<double>(X) * static_cast<double>(Y) * static_cast<double>(A) < 0x1p50;
#if defined(__SSE2__)
  const __m128d divisor = _mm_set1_pd(static_cast<double>(xy));
#endif
  for (int y = c.y0; y <= c.y1; ++y) {
    if (y % 8 == 0 && Progress(y - c.y0) != 0) {
      freeTables();
      return 1;
    }
    const long ey = Y == 1 ? 0 : y % Y;
    if (ey == 0)
      for (std::int64_t col = 0; col < entries; col += X)
        for (int k = 0; k < 3; ++k) {
          upper[k][col] = lower[k][col];
          lower[k][col] = noise();
        }
    for (int k = 0; k < channels; ++k)
      for (std::size_t j = 0; j < lattice; ++j) {
        const long col = firstCol + static_cast<long>(j) * X;
        mixed[k * lattice + j] = col < entries ? (Y - ey) * upper[k][col] + ey * lower[k][col] : 0;
      }
    // Lattice cell j spans the pixels from firstCol + j x X, where ex
    // counts from 0: (X - ex) x v0 + ex x v1 = X x v0 + ex x (v1 - v0).
    for (std::size_t j = 0; j + 1 < lattice; ++j) {
      const long cellX = firstCol + static_cast<long>(j) * X;
      const int xa = static_cast<int>(std::max<long>(cellX, c.x0)), xb = static_cast<int>(std::min<long>(cellX + X - 1, c.x1));
      if (xa > xb) break;
      for (int k = 0; k < channels; ++k) {
        const long v0 = mixed[k * lattice + j], v1 = mixed[k * lattice + j + 1];
        std::int32_t* out = rowNoise.data() + 4 * static_cast<std::size_t>(xa - c.x0) + k;
        int x = xa;
#if defined(__SSE2__)
        if (exactInDoubles) {
          // Whole numbers below 2^53 throughout, so the products and the
          // sum are exact and the rounded quotient truncates to divide's.
          const __m128d base = _mm_set1_pd(static_cast<double>(X * v0)), step = _mm_set1_pd(static_cast<double>(v1 - v0));
          for (; x + 1 <= xb; x += 2, out += 8) {
            const double ex = static_cast<double>(x - cellX);
            const __m128d num = _mm_add_pd(base, _mm_mul_pd(_mm_set_pd(ex + 1, ex), step));
            const __m128i q = _mm_cvttpd_epi32(_mm_div_pd(num, divisor));
            out[0] = _mm_cvtsi128_si32(q);
            out[4] = _mm_cvtsi128_si32(_mm_srli_si128(q, 4));
          }
        }
#endif
        for (; x <= xb; ++x, out += 4) {
          const long ex = X == 1 ? 0 : x % X;
          *out = divide((X - ex) * v0 + ex * v1);
        }
      }
    }
    if (gray)
      for (int i = 0; i < boxWidth; ++i) rowNoise[4 * i + 1] = rowNoise[4 * i + 2] = rowNoise[4 * i];
    std::uint8_t* p = img.At(c.x0, y);
    const std::uint8_t* mp = &img.MaskAt(c.x0, y);
    int i = 0;
#if defined(__SSE2__)
    if (!c.affectAlpha) {
      // Two pixels at a time: the noise saturated to 16 bits and added with
      // saturation, then clamped by the pack (noise beyond 16 bits clamps
      // to the same end either way), and mixed by the mask as
      // (p x (255 - m) + r x m) / 255, the alpha's weight 0.
      const __m128i zero = _mm_setzero_si128(), all = _mm_set1_epi16(255);
      const __m128i by255 = _mm_set1_epi16(static_cast<short>(0x8081));
      const __m128i colour = _mm_set_epi16(0, -1, -1, -1, 0, -1, -1, -1);
      for (; i + 2 <= boxWidth; i += 2, p += 8, mp += 2) {
        const __m128i old = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), zero);
        const std::int32_t* nz = rowNoise.data() + 4 * static_cast<std::size_t>(i);
        const __m128i n = _mm_packs_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(nz)),
                                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(nz + 4)));
        const __m128i r8 = _mm_packus_epi16(_mm_adds_epi16(old, n), zero);
        const __m128i r = _mm_unpacklo_epi8(r8, zero);
        const __m128i m = _mm_and_si128(_mm_set_epi16(mp[1], mp[1], mp[1], mp[1], mp[0], mp[0], mp[0], mp[0]), colour);
        const __m128i x = _mm_add_epi16(_mm_mullo_epi16(old, _mm_sub_epi16(all, m)), _mm_mullo_epi16(r, m));
        const __m128i out = _mm_srli_epi16(_mm_mulhi_epu16(x, by255), 7);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_packus_epi16(out, out));
      }
    }
#endif
    for (; i < boxWidth; ++i, p += 4, ++mp) {
      const int m = *mp;
      if (!m) continue;
      const std::int32_t* n = rowNoise.data() + 4 * static_cast<std::size_t>(i);
      int r[3];
      for (int k = 0; k < 3; ++k) r[k] = Clamp0To255(p[k] + n[k]);
      if (c.affectAlpha) {
        int q[3];
        for (int k = 0; k < 3; ++k) q[k] = (r[k] * m + p[3] * (255 - m)) / 255;
        p[3] = static_cast<std::uint8_t>(Lum(q[0], q[1], q[2]));
      } else {
        for (int k = 0; k < 3; ++k) p[k] = static_cast<std::uint8_t>((p[k] * (255 - m) + r[k] * m) / 255);
      }
    }
  }
  freeTables();
  return 0;
}

void FinishSpread() { FreeKernel(); }

const OpRoutineEntry kTextureRoutines[] = {
    {kReliefOp, {.prepare = PrepareRelief, .imageWorker = ReliefWorker}},
    {kDitherOp, {.prepare = PrepareDither, .imageWorker = DitherWorker}},
    {kElevationsOp, {.prepare = PrepareElevations, .imageWorker = ElevationsWorker}},
    {kSharpenOp,
     {.prepare = PrepareSharpen, .pixelWorker = SpreadWorker<true>, .finish = FinishSpread, .rowWorker = SpreadRow<true>}},
    {kBlurOp,
     {.prepare = PrepareBlur, .pixelWorker = SpreadWorker<false>, .finish = FinishSpread, .rowWorker = SpreadRow<false>}},
    {kRemoveOp,
     {.prepare = PrepareRemove, .prePass = RemovePrePass, .pixelWorker = RemoveWorker, .finish = FinishRemove}},
    {kShaveOp, {.prepare = PrepareShave, .pixelWorker = ShaveWorker, .rowWorker = ShaveRow}},
    {kApplyCanvasOp, {.prepare = PrepareCanvas, .imageWorker = CanvasWorker, .finish = FinishCanvas}},
    {kContourOp, {.prepare = PrepareContour, .pixelWorker = ContourWorker}},
};

constexpr std::string_view kShaveDirections[] = {"All directions", "Remove Horizontal Features",
                                                 "Remove Vertical Features"};

}  // namespace

std::vector<std::int16_t> SpreadKernel(int p) {
  const int r = (std::max(p, 0) + 9) / 10;
  if (r > kMaxSpread) return {};
  std::vector<std::int16_t> k(static_cast<std::size_t>(r + 1) * (r + 1));
  FillKernel(k.data(), r, static_cast<float>(p) * 0.1f);
  return k;
}

std::span<const std::string_view> ShaveDirectionNames() { return kShaveDirections; }

std::span<const OpRoutineEntry> TextureOperationRoutines() { return kTextureRoutines; }

}  // namespace qv
