// Weighted sums of a stretch of pixels, one kernel tap at a time: the row
// routines of Blur, Sharpen and Motion Blur add w x byte into 32-bit sums
// for every byte of the stretch. Integer sums come out the same in any
// order, so sixteen bytes at a time give the per-pixel workers' bytes.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/cpu_features.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define QV_TAP_SUMS_AVX2 1
#endif

namespace qv {

#if defined(QV_TAP_SUMS_AVX2)
// Division by a constant as a multiply and a shift: n / D == (n >> Pre) x M >> S
// for every n from 0 to Max, proved below at compile time. Both sides are
// steps that never fall, so agreeing at each multiple of D and just below
// the next one agrees everywhere between; the product stays below 2^32.
template <std::uint32_t D, std::uint32_t M, int S, std::uint32_t Max, int Pre = 0>
struct ByConstant {
  static constexpr std::uint32_t Of(std::uint32_t n) {
    return static_cast<std::uint32_t>((std::uint64_t{n >> Pre} * M) >> S);
  }
  static constexpr bool Exact() {
    if ((std::uint64_t{Max >> Pre} * M) >> 32 != 0) return false;
    for (std::uint64_t q = 0; q * D <= Max; ++q) {
      const std::uint32_t first = static_cast<std::uint32_t>(q * D);
      const std::uint32_t last = static_cast<std::uint32_t>(std::min<std::uint64_t>(q * D + D - 1, Max));
      if (Of(first) != q || Of(last) != q) return false;
    }
    return true;
  }
  static_assert(Exact());
  // Lanes from 0 to Max.
  __attribute__((target("avx2"))) static __m256i Unsigned(__m256i v) {
    if constexpr (Pre != 0) v = _mm256_srli_epi32(v, Pre);
    return _mm256_srli_epi32(_mm256_mullo_epi32(v, _mm256_set1_epi32(static_cast<int>(M))), S);
  }
  // Lanes from -Max to Max, truncated toward zero as C divides.
  __attribute__((target("avx2"))) static __m256i Signed(__m256i v) {
    return _mm256_sign_epi32(Unsigned(_mm256_abs_epi32(v)), v);
  }
};

// The unmasked sums of MaskedTapSums for the first pixels / 8 x 8 pixels,
// eight at a time: the same pairs of taps per multiply-add, each 128-bit
// half holding the pixels four apart, put back in order when stored.
// Returns how many pixels it did.
__attribute__((target("avx2"))) inline int WholeTapSumsAvx2(std::int32_t* sums, const std::uint8_t* const* src,
                                                            const int* w, std::size_t taps, int pixels) {
  const __m256i zero = _mm256_setzero_si256();
  int p = 0;
  for (; p + 8 <= pixels; p += 8) {
    __m256i acc0 = zero, acc1 = zero, acc2 = zero, acc3 = zero;
    for (std::size_t k = 0; k < taps; k += 2) {
      const std::size_t k1 = k + 1 < taps ? k + 1 : k;
      const int wb = k + 1 < taps ? w[k1] : 0;
      const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src[k] + 4 * p));
      const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src[k1] + 4 * p));
      const __m256i wpair = _mm256_set1_epi32(static_cast<int>((static_cast<std::uint32_t>(wb) << 16) | static_cast<std::uint32_t>(w[k])));
      const __m256i alo = _mm256_unpacklo_epi8(a, zero), ahi = _mm256_unpackhi_epi8(a, zero);
      const __m256i blo = _mm256_unpacklo_epi8(b, zero), bhi = _mm256_unpackhi_epi8(b, zero);
      acc0 = _mm256_add_epi32(acc0, _mm256_madd_epi16(_mm256_unpacklo_epi16(alo, blo), wpair));
      acc1 = _mm256_add_epi32(acc1, _mm256_madd_epi16(_mm256_unpackhi_epi16(alo, blo), wpair));
      acc2 = _mm256_add_epi32(acc2, _mm256_madd_epi16(_mm256_unpacklo_epi16(ahi, bhi), wpair));
      acc3 = _mm256_add_epi32(acc3, _mm256_madd_epi16(_mm256_unpackhi_epi16(ahi, bhi), wpair));
    }
    __m256i* s = reinterpret_cast<__m256i*>(sums + 4 * p);
    _mm256_storeu_si256(s, _mm256_permute2x128_si256(acc0, acc1, 0x20));
    _mm256_storeu_si256(s + 1, _mm256_permute2x128_si256(acc2, acc3, 0x20));
    _mm256_storeu_si256(s + 2, _mm256_permute2x128_si256(acc0, acc1, 0x31));
    _mm256_storeu_si256(s + 3, _mm256_permute2x128_si256(acc2, acc3, 0x31));
  }
  return p;
}
#endif

// sums[i] += w x src[i] for i < 4 x pixels (pixels a multiple of 4), w in
// 0..128 so that each product fits 16 bits.
inline void AddTap(std::int32_t* sums, const std::uint8_t* src, int w, int pixels) {
  const int bytes = 4 * pixels;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i wv = _mm_set1_epi16(static_cast<short>(w));
  for (int i = 0; i < bytes; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    const __m128i lo = _mm_mullo_epi16(_mm_unpacklo_epi8(v, zero), wv);
    const __m128i hi = _mm_mullo_epi16(_mm_unpackhi_epi8(v, zero), wv);
    __m128i* s = reinterpret_cast<__m128i*>(sums + i);
    _mm_storeu_si128(s, _mm_add_epi32(_mm_loadu_si128(s), _mm_unpacklo_epi16(lo, zero)));
    _mm_storeu_si128(s + 1, _mm_add_epi32(_mm_loadu_si128(s + 1), _mm_unpackhi_epi16(lo, zero)));
    _mm_storeu_si128(s + 2, _mm_add_epi32(_mm_loadu_si128(s + 2), _mm_unpacklo_epi16(hi, zero)));
    _mm_storeu_si128(s + 3, _mm_add_epi32(_mm_loadu_si128(s + 3), _mm_unpackhi_epi16(hi, zero)));
  }
#else
  for (int i = 0; i < bytes; ++i) sums[i] += w * src[i];
#endif
}

// As AddTap, but only for the pixels whose mask byte is set; their weights
// go to weights[p] too (one per pixel).
inline void AddMaskedTap(std::int32_t* sums, std::int32_t* weights, const std::uint8_t* src,
                         const std::uint8_t* mask, int w, int pixels) {
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i wv = _mm_set1_epi16(static_cast<short>(w));
  const __m128i w32 = _mm_set1_epi32(w);
  for (int p = 0; p < pixels; p += 4) {
    std::int32_t four;
    __builtin_memcpy(&four, mask + p, 4);
    // Each mask byte spread over its pixel's four bytes, then set to all
    // ones where the mask is not 0.
    __m128i m = _mm_cvtsi32_si128(four);
    m = _mm_unpacklo_epi8(m, m);
    m = _mm_unpacklo_epi16(m, m);
    const __m128i on = _mm_xor_si128(_mm_cmpeq_epi8(m, zero), _mm_set1_epi8(-1));
    const __m128i v = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * p)), on);
    const __m128i lo = _mm_mullo_epi16(_mm_unpacklo_epi8(v, zero), wv);
    const __m128i hi = _mm_mullo_epi16(_mm_unpackhi_epi8(v, zero), wv);
    __m128i* s = reinterpret_cast<__m128i*>(sums + 4 * p);
    _mm_storeu_si128(s, _mm_add_epi32(_mm_loadu_si128(s), _mm_unpacklo_epi16(lo, zero)));
    _mm_storeu_si128(s + 1, _mm_add_epi32(_mm_loadu_si128(s + 1), _mm_unpackhi_epi16(lo, zero)));
    _mm_storeu_si128(s + 2, _mm_add_epi32(_mm_loadu_si128(s + 2), _mm_unpacklo_epi16(hi, zero)));
    _mm_storeu_si128(s + 3, _mm_add_epi32(_mm_loadu_si128(s + 3), _mm_unpackhi_epi16(hi, zero)));
    // One lane per pixel: the first byte of each pixel's spread mask.
    const __m128i perPixel = _mm_srli_epi32(on, 24);  // 255 where set
    __m128i* wp = reinterpret_cast<__m128i*>(weights + p);
    _mm_storeu_si128(wp, _mm_add_epi32(_mm_loadu_si128(wp), _mm_and_si128(w32, _mm_cmpeq_epi32(perPixel, _mm_set1_epi32(255)))));
  }
#else
  for (int p = 0; p < pixels; ++p) {
    if (!mask[p]) continue;
    weights[p] += w;
    for (int k = 0; k < 4; ++k) sums[4 * p + k] += w * src[4 * p + k];
  }
#endif
}

// Every tap of a stretch of n pixels (n a multiple of 4) at once: tap k
// reads src[k] and mask[k] from the stretch's first pixel with weight w[k]
// (0..128). sums[4 x p + ch] and weights[p] are set, not added to. Four
// pixels' sums stay in registers over all taps, two taps to a
// multiply-add; the integer sums are those of AddMaskedTap tap by tap.
// masksSet tells that every mask byte the stretch reads is known to be set.
inline void MaskedTapSums(std::int32_t* sums, std::int32_t* weights, const std::uint8_t* const* src,
                          const std::uint8_t* const* mask, const int* w, std::size_t taps, int pixels,
                          bool masksSet = false) {
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  // Where every mask byte the stretch reads is set, as over a whole
  // selection, the masks drop out and every weight sum is the same.
  __m128i anyOff = zero;
  for (std::size_t k = 0; k < taps && !masksSet; ++k) {
    int p = 0;
    for (; p + 16 <= pixels; p += 16)
      anyOff = _mm_or_si128(anyOff, _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(mask[k] + p)), zero));
    for (; p < pixels; ++p)
      if (!mask[k][p]) anyOff = _mm_set1_epi8(-1);
  }
  if (_mm_movemask_epi8(anyOff) == 0) {
    std::int32_t total = 0;
    for (std::size_t k = 0; k < taps; ++k) total += w[k];
    int p = 0;
#if defined(QV_TAP_SUMS_AVX2)
    if (CpuHasAvx2()) {
      p = WholeTapSumsAvx2(sums, src, w, taps, pixels);
      for (int i = 0; i < p; i += 4) _mm_storeu_si128(reinterpret_cast<__m128i*>(weights + i), _mm_set1_epi32(total));
    }
#endif
    for (; p < pixels; p += 4) {
      __m128i acc0 = zero, acc1 = zero, acc2 = zero, acc3 = zero;
      for (std::size_t k = 0; k < taps; k += 2) {
        const std::size_t k1 = k + 1 < taps ? k + 1 : k;
        const int wb = k + 1 < taps ? w[k1] : 0;
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src[k] + 4 * p));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src[k1] + 4 * p));
        const __m128i wpair = _mm_set1_epi32(static_cast<int>((static_cast<std::uint32_t>(wb) << 16) | static_cast<std::uint32_t>(w[k])));
        const __m128i alo = _mm_unpacklo_epi8(a, zero), ahi = _mm_unpackhi_epi8(a, zero);
        const __m128i blo = _mm_unpacklo_epi8(b, zero), bhi = _mm_unpackhi_epi8(b, zero);
        acc0 = _mm_add_epi32(acc0, _mm_madd_epi16(_mm_unpacklo_epi16(alo, blo), wpair));
        acc1 = _mm_add_epi32(acc1, _mm_madd_epi16(_mm_unpackhi_epi16(alo, blo), wpair));
        acc2 = _mm_add_epi32(acc2, _mm_madd_epi16(_mm_unpacklo_epi16(ahi, bhi), wpair));
        acc3 = _mm_add_epi32(acc3, _mm_madd_epi16(_mm_unpackhi_epi16(ahi, bhi), wpair));
      }
      __m128i* s = reinterpret_cast<__m128i*>(sums + 4 * p);
      _mm_storeu_si128(s, acc0);
      _mm_storeu_si128(s + 1, acc1);
      _mm_storeu_si128(s + 2, acc2);
      _mm_storeu_si128(s + 3, acc3);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(weights + p), _mm_set1_epi32(total));
    }
    return;
  }
  auto off = [&](const std::uint8_t* m) {
    std::int32_t four;
    __builtin_memcpy(&four, m, 4);
    __m128i v = _mm_cvtsi32_si128(four);
    v = _mm_unpacklo_epi8(v, v);
    v = _mm_unpacklo_epi16(v, v);
    return _mm_cmpeq_epi8(v, zero);  // all ones where the mask is 0
  };
  for (int p = 0; p < pixels; p += 4) {
    __m128i acc0 = zero, acc1 = zero, acc2 = zero, acc3 = zero, accW = zero;
    std::size_t k = 0;
    for (; k < taps; k += 2) {
      const bool pair = k + 1 < taps;
      const std::size_t k1 = pair ? k + 1 : k;
      const int wb = pair ? w[k1] : 0;
      const __m128i offA = off(mask[k] + p), offB = off(mask[k1] + p);
      const __m128i a = _mm_andnot_si128(offA, _mm_loadu_si128(reinterpret_cast<const __m128i*>(src[k] + 4 * p)));
      const __m128i b = _mm_andnot_si128(offB, _mm_loadu_si128(reinterpret_cast<const __m128i*>(src[k1] + 4 * p)));
      const __m128i wa32 = _mm_set1_epi32(w[k]), wb32 = _mm_set1_epi32(wb);
      const __m128i wpair = _mm_or_si128(wa32, _mm_slli_epi32(wb32, 16));
      const __m128i alo = _mm_unpacklo_epi8(a, zero), ahi = _mm_unpackhi_epi8(a, zero);
      const __m128i blo = _mm_unpacklo_epi8(b, zero), bhi = _mm_unpackhi_epi8(b, zero);
      acc0 = _mm_add_epi32(acc0, _mm_madd_epi16(_mm_unpacklo_epi16(alo, blo), wpair));
      acc1 = _mm_add_epi32(acc1, _mm_madd_epi16(_mm_unpackhi_epi16(alo, blo), wpair));
      acc2 = _mm_add_epi32(acc2, _mm_madd_epi16(_mm_unpacklo_epi16(ahi, bhi), wpair));
      acc3 = _mm_add_epi32(acc3, _mm_madd_epi16(_mm_unpackhi_epi16(ahi, bhi), wpair));
      accW = _mm_add_epi32(accW, _mm_add_epi32(_mm_andnot_si128(offA, wa32), _mm_andnot_si128(offB, wb32)));
    }
    __m128i* s = reinterpret_cast<__m128i*>(sums + 4 * p);
    _mm_storeu_si128(s, acc0);
    _mm_storeu_si128(s + 1, acc1);
    _mm_storeu_si128(s + 2, acc2);
    _mm_storeu_si128(s + 3, acc3);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(weights + p), accW);
  }
#else
  for (int p = 0; p < pixels; ++p) {
    weights[p] = 0;
    for (int ch = 0; ch < 4; ++ch) sums[4 * p + ch] = 0;
  }
  for (std::size_t k = 0; k < taps; ++k) AddMaskedTap(sums, weights, src[k], mask[k], w[k], pixels);
#endif
}

}  // namespace qv

namespace qv {

// Division of non-negative numerators up to `most` by a fixed positive
// divisor, as one multiplication where that is exact (most x d < 2^32),
// else as a plain division: trunc(v / d) either way.
struct ExactDivider {
  std::uint64_t d = 1, reciprocal = 0;
  bool fast = false;
  ExactDivider() = default;
  ExactDivider(std::int64_t divisor, std::int64_t most) {
    d = static_cast<std::uint64_t>(divisor < 1 ? 1 : divisor);
    fast = most >= 0 && static_cast<std::uint64_t>(most) < (std::uint64_t{1} << 32) / d;
    reciprocal = ((std::uint64_t{1} << 32) + d - 1) / d;
  }
  std::int64_t operator()(std::int64_t v) const {
    if (fast && v >= 0) return static_cast<std::int64_t>((static_cast<std::uint64_t>(v) * reciprocal) >> 32);
    return v / static_cast<std::int64_t>(d);
  }
};

}  // namespace qv

namespace qv {

// A kernel whose weight depends only on |dx| and |dy| sums the pixels that
// share a weight first: the rows y - j and y + j added, then the columns
// x - i and x + i of that, each at most 4 x 255 and so a 16-bit value, and
// only then one multiplication per (i, j). Two such classes go into one
// multiply-add. The integer sums are those of tap after tap.
struct SymmetricTaps {
  struct Class {
    int i, j, w;
  };
  std::vector<Class> classes;  // w != 0, in pairs (the last padded with w 0)
  int rows = 0;                // j runs 0..rows-1
  int reach = 0;               // the largest i
};

// weights[i + j x (r + 1)] for 0 <= i, j <= r.
inline SymmetricTaps SymmetricTapsOf(const std::int16_t* weights, int r) {
  SymmetricTaps s;
  for (int j = 0; j <= r; ++j)
    for (int i = 0; i <= r; ++i)
      if (const int w = weights[i + j * (r + 1)]) {
        s.classes.push_back({i, j, w});
        s.rows = std::max(s.rows, j + 1);
        s.reach = std::max(s.reach, i);
      }
  if (s.classes.size() % 2) s.classes.push_back({0, 0, 0});
  return s;
}

#if defined(__SSE2__)
// Two weight classes: the four places they add, from a pixel's place, and
// their weights as a multiply-add pair.
struct SymmetricPair {
  std::ptrdiff_t a0, a1, b0, b1;
  __m128i w;
};
#endif

#if defined(QV_TAP_SUMS_AVX2)
// The pairs' sums of SymmetricSums four pixels at a time, each 128-bit
// half holding the pixels two apart, put back in order when stored.
// Returns how many pixels it did.
__attribute__((target("avx2"))) inline int SymmetricPairsAvx2(const SymmetricPair* pairs, std::size_t n,
                                                              const std::int16_t* base, int count, std::int32_t* sums) {
  int k = 0;
  for (; k + 4 <= count; k += 4) {
    const std::int16_t* at = base + 4 * static_cast<std::size_t>(k);
    __m256i lo = _mm256_setzero_si256(), hi = _mm256_setzero_si256();
    for (std::size_t i = 0; i < n; ++i) {
      const SymmetricPair& pr = pairs[i];
      const __m256i w = _mm256_broadcastsi128_si256(pr.w);
      const __m256i hp = _mm256_add_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + pr.a0)),
                                          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + pr.a1)));
      const __m256i hq = _mm256_add_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + pr.b0)),
                                          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + pr.b1)));
      lo = _mm256_add_epi32(lo, _mm256_madd_epi16(_mm256_unpacklo_epi16(hp, hq), w));
      hi = _mm256_add_epi32(hi, _mm256_madd_epi16(_mm256_unpackhi_epi16(hp, hq), w));
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums + 4 * k), _mm256_permute2x128_si256(lo, hi, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums + 4 * k + 8), _mm256_permute2x128_si256(lo, hi, 0x31));
  }
  return k;
}
#endif

// sums[4 x k + ch] for the pixels k < count (count even) of a row y from
// its pixel x: rowAt(dy) points at pixel x - reach of row y + dy, and
// count + 2 x reach pixels from there must be readable. `vertical` holds
// (rows + 1) x (count + 2 x reach) x 4 values.
template <class RowAt>
void SymmetricSums(const SymmetricTaps& s, RowAt rowAt, int count, std::int16_t* vertical, std::int32_t* sums) {
  const int span = count + 2 * s.reach;
  for (int j = 0; j < s.rows; ++j) {
    std::int16_t* v = vertical + static_cast<std::size_t>(j) * span * 4;
    const std::uint8_t* a = rowAt(-j);
    const std::uint8_t* b = rowAt(j);
    int k = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; k + 2 <= span; k += 2) {
      const __m128i x = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(a + 4 * k)), zero);
      const __m128i y = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(b + 4 * k)), zero);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(v + 4 * k), j ? _mm_add_epi16(x, y) : x);
    }
#endif
    for (; k < span; ++k)
      for (int ch = 0; ch < 4; ++ch) v[4 * k + ch] = static_cast<std::int16_t>(a[4 * k + ch] + (j ? b[4 * k + ch] : 0));
  }
  const std::size_t rowSize = static_cast<std::size_t>(span) * 4;
  const std::size_t n = s.classes.size();
#if defined(__SSE2__)
  // Each class as the two places it adds (the centre column's second one a
  // row of zeros) from pixel k's place, two classes to a weight pair.
  std::int16_t* zeros = vertical + static_cast<std::size_t>(s.rows) * rowSize;
  std::fill(zeros, zeros + rowSize, std::int16_t{0});
  using Pair = SymmetricPair;
  std::vector<Pair> pairs(n / 2);
  const std::int16_t* base = vertical + 4 * static_cast<std::size_t>(s.reach);
  auto places = [&](const SymmetricTaps::Class& t, std::ptrdiff_t& first, std::ptrdiff_t& second) {
    const std::int16_t* row = vertical + t.j * rowSize + 4 * static_cast<std::size_t>(s.reach);
    first = row - 4 * t.i - base;
    second = t.i ? row + 4 * t.i - base : zeros + 4 * static_cast<std::size_t>(s.reach) - base;
  };
  for (std::size_t c = 0; c < n; c += 2) {
    Pair& pr = pairs[c / 2];
    places(s.classes[c], pr.a0, pr.a1);
    places(s.classes[c + 1], pr.b0, pr.b1);
    pr.w = _mm_set1_epi32(static_cast<int>((static_cast<std::uint32_t>(s.classes[c + 1].w) << 16) |
                                           static_cast<std::uint16_t>(s.classes[c].w)));
  }
  int k = 0;
#if defined(QV_TAP_SUMS_AVX2)
  if (CpuHasAvx2()) k = SymmetricPairsAvx2(pairs.data(), pairs.size(), base, count, sums);
#endif
  for (; k < count; k += 2) {
    const std::int16_t* at = base + 4 * static_cast<std::size_t>(k);
    __m128i lo = _mm_setzero_si128(), hi = _mm_setzero_si128();
    for (const Pair& pr : pairs) {
      auto load = [&](std::ptrdiff_t d) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + d)); };
      const __m128i hp = _mm_add_epi16(load(pr.a0), load(pr.a1));
      const __m128i hq = _mm_add_epi16(load(pr.b0), load(pr.b1));
      lo = _mm_add_epi32(lo, _mm_madd_epi16(_mm_unpacklo_epi16(hp, hq), pr.w));
      hi = _mm_add_epi32(hi, _mm_madd_epi16(_mm_unpackhi_epi16(hp, hq), pr.w));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(sums + 4 * k), lo);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(sums + 4 * k + 4), hi);
  }
#else
  for (int k = 0; k < count; ++k)
    for (int ch = 0; ch < 4; ++ch) {
      std::int32_t total = 0;
      for (std::size_t c = 0; c < n; ++c) {
        const SymmetricTaps::Class& t = s.classes[c];
        const std::int16_t* v = vertical + t.j * rowSize + 4 * static_cast<std::size_t>(k + s.reach) + ch;
        total += t.w * (t.i ? v[-4 * t.i] + v[4 * t.i] : v[0]);
      }
      sums[4 * k + ch] = total;
    }
#endif
}

}  // namespace qv
