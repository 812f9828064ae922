// Weighted sums of a stretch of pixels, one kernel tap at a time: the row
// routines of Blur, Sharpen and Motion Blur add w x byte into 32-bit sums
// for every byte of the stretch. Integer sums come out the same in any
// order, so sixteen bytes at a time give the per-pixel workers' bytes.
#pragma once

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qv {

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
