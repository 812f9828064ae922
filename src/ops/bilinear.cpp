#include "base/cpu_features.h"
#include "ops/bilinear.h"

#include <algorithm>
#include <cstddef>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "store/image_record.h"

namespace qv {

PixelPlane PlaneOf(const ImageRecord* image, int x, int y) {
  PixelPlane p;
  if (!image) return p;
  p.pixels = image->pixels;
  p.rows = image->rows;
  p.x = x;
  p.y = y;
  p.width = image->width;
  p.height = image->height;
  return p;
}

namespace {

void SampleRunPlain(const PixelPlane& plane, const double* sx, const double* sy, int n, std::uint8_t* out,
                    std::uint8_t* valid) {
  for (int i = 0; i < n; ++i) valid[i] = SampleClamped(plane, sx[i], sy[i], out + std::size_t{4} * i) ? 1 : 0;
}

#if defined(__x86_64__)
// Four positions split as SampleInside splits them: the same truncations of
// the same double expressions, four at a time. A position that is not at or
// right of and below 0, or not a number, gets the whole part -1, which no
// plane at or right of 0 holds, so it is left to the one-by-one sampler.
__attribute__((target("avx2"))) inline void SplitFour(const double* sx, const double* sy, __m128i& ix, __m128i& iy,
                                                      __m128i& gx, __m128i& gy) {
  const __m256d zero = _mm256_setzero_pd(), far = _mm256_set1_pd(kFarAway), scale = _mm256_set1_pd(256.0);
  const __m256d outside = _mm256_set1_pd(-1.0);
  __m256d x = _mm256_loadu_pd(sx), y = _mm256_loadu_pd(sy);
  const __m256d ok = _mm256_and_pd(_mm256_and_pd(_mm256_cmp_pd(x, zero, _CMP_GE_OQ), _mm256_cmp_pd(y, zero, _CMP_GE_OQ)),
                                   _mm256_and_pd(_mm256_cmp_pd(x, far, _CMP_LE_OQ), _mm256_cmp_pd(y, far, _CMP_LE_OQ)));
  x = _mm256_blendv_pd(outside, x, ok);
  y = _mm256_blendv_pd(outside, y, ok);
  ix = _mm256_cvttpd_epi32(x);
  iy = _mm256_cvttpd_epi32(y);
  gx = _mm256_cvttpd_epi32(_mm256_mul_pd(_mm256_sub_pd(x, _mm256_cvtepi32_pd(ix)), scale));
  gy = _mm256_cvttpd_epi32(_mm256_mul_pd(_mm256_sub_pd(y, _mm256_cvtepi32_pd(iy)), scale));
}

// Eight blends at a time, two to a register. A pixel and its right
// neighbour are loaded together, their channels paired with the weights
// (256 - gx, gx) and summed exactly in whole numbers; the rows above and
// below are then weighted by (256 - gy, gy) in single precision. That gives
// the four weights' sum exactly (every value a whole number below 2^24), so
// the same bytes as BlendInside whatever the order of the additions.
__attribute__((target("avx2"))) inline __m256i BlendEightAvx2(const std::uint8_t* const* top, const std::uint8_t* const* bottom,
                                                              __m256i gx, __m256i gy) {
  const __m256i full = _mm256_set1_epi32(256);
  const __m256 k256 = _mm256_set1_ps(256.0f);
  // Bytes p00 c0..c3, p10 c0..c3 to words p00 c0, p10 c0, p00 c1, p10 c1, ...
  const __m256i pairUp = _mm256_setr_epi8(0, -1, 4, -1, 1, -1, 5, -1, 2, -1, 6, -1, 3, -1, 7, -1,
                                          0, -1, 4, -1, 1, -1, 5, -1, 2, -1, 6, -1, 3, -1, 7, -1);
  const __m256i xWeights = _mm256_or_si256(_mm256_sub_epi32(full, gx), _mm256_slli_epi32(gx, 16));
  const __m256 below = _mm256_cvtepi32_ps(gy);
  const __m256 above = _mm256_sub_ps(k256, below);
  __m256i rows[4];
  for (int j = 0; j < 4; ++j) {
    const __m256i t = _mm256_shuffle_epi8(
        _mm256_set_m128i(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(top[2 * j + 1])),
                         _mm_loadl_epi64(reinterpret_cast<const __m128i*>(top[2 * j]))),
        pairUp);
    const __m256i b = _mm256_shuffle_epi8(
        _mm256_set_m128i(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(bottom[2 * j + 1])),
                         _mm_loadl_epi64(reinterpret_cast<const __m128i*>(bottom[2 * j]))),
        pairUp);
    const __m256i pick = _mm256_setr_epi32(2 * j, 2 * j, 2 * j, 2 * j, 2 * j + 1, 2 * j + 1, 2 * j + 1, 2 * j + 1);
    const __m256i w = _mm256_permutevar8x32_epi32(xWeights, pick);
    const __m256 upper = _mm256_cvtepi32_ps(_mm256_madd_epi16(t, w));
    const __m256 lower = _mm256_cvtepi32_ps(_mm256_madd_epi16(b, w));
    const __m256 sum = _mm256_add_ps(_mm256_mul_ps(upper, _mm256_permutevar8x32_ps(above, pick)),
                                     _mm256_mul_ps(lower, _mm256_permutevar8x32_ps(below, pick)));
    rows[j] = _mm256_srli_epi32(_mm256_cvttps_epi32(sum), 16);
  }
  const __m256i bytes = _mm256_packus_epi16(_mm256_packs_epi32(rows[0], rows[1]), _mm256_packs_epi32(rows[2], rows[3]));
  return _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
}

// Samples eight at a time where all eight have their neighbours inside the
// plane; runs with one outside are sampled one by one.
__attribute__((target("avx2"))) void SampleRunAvx2(const PixelPlane& plane, const double* sx, const double* sy, int n,
                                                   std::uint8_t* out, std::uint8_t* valid) {
  int i = 0;
  if (plane.pixels && plane.x >= 0 && plane.y >= 0) {
    const __m256i originX = _mm256_set1_epi32(plane.x), originY = _mm256_set1_epi32(plane.y);
    const __m256i lastX = _mm256_set1_epi32(plane.width - 1), lastY = _mm256_set1_epi32(plane.height - 1);
    const __m256i minusOne = _mm256_set1_epi32(-1);
    alignas(32) std::int32_t cxs[8], cys[8];
    const std::uint8_t* top[8];
    const std::uint8_t* bottom[8];
    for (; i + 8 <= n; i += 8) {
      __m128i ixl, iyl, gxl, gyl, ixh, iyh, gxh, gyh;
      SplitFour(sx + i, sy + i, ixl, iyl, gxl, gyl);
      SplitFour(sx + i + 4, sy + i + 4, ixh, iyh, gxh, gyh);
      const __m256i cx = _mm256_sub_epi32(_mm256_set_m128i(ixh, ixl), originX);
      const __m256i cy = _mm256_sub_epi32(_mm256_set_m128i(iyh, iyl), originY);
      const __m256i in = _mm256_and_si256(_mm256_and_si256(_mm256_cmpgt_epi32(cx, minusOne), _mm256_cmpgt_epi32(lastX, cx)),
                                          _mm256_and_si256(_mm256_cmpgt_epi32(cy, minusOne), _mm256_cmpgt_epi32(lastY, cy)));
      if (_mm256_movemask_ps(_mm256_castsi256_ps(in)) != 0xff) {
        for (int l = i; l < i + 8; ++l) valid[l] = SampleClamped(plane, sx[l], sy[l], out + std::size_t{4} * l) ? 1 : 0;
        continue;
      }
      _mm256_store_si256(reinterpret_cast<__m256i*>(cxs), cx);
      _mm256_store_si256(reinterpret_cast<__m256i*>(cys), cy);
      for (int l = 0; l < 8; ++l) {
        const std::size_t column = static_cast<std::size_t>(cxs[l]);
        top[l] = plane.pixels + (std::size_t{plane.rows[cys[l]]} + column) * 4;
        bottom[l] = plane.pixels + (std::size_t{plane.rows[cys[l] + 1]} + column) * 4;
      }
      const __m256i bytes = BlendEightAvx2(top, bottom, _mm256_set_m128i(gxh, gxl), _mm256_set_m128i(gyh, gyl));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + std::size_t{4} * i), bytes);
      std::memset(valid + i, 1, 8);
    }
  }
  SampleRunPlain(plane, sx + i, sy + i, n - i, out + std::size_t{4} * i, valid + i);
}

__attribute__((target("avx2"))) void BlendRunAvx2(const std::uint8_t* const* top, const std::uint8_t* const* bottom,
                                                  const std::int32_t* gx, const std::int32_t* gy, int n, std::uint8_t* out) {
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m256i bytes = BlendEightAvx2(top + i, bottom + i, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(gx + i)),
                                         _mm256_loadu_si256(reinterpret_cast<const __m256i*>(gy + i)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + std::size_t{4} * i), bytes);
  }
  for (; i < n; ++i) BlendInside(top[i], bottom[i], gx[i], gy[i], out + std::size_t{4} * i);
}


// The 512-bit sampler: sixteen positions at a time, each byte widened beside
// its right neighbour's by one byte permutation. The sums are BlendEightAvx2's,
// whole numbers below 2^24 at every step, so the same bytes.
// GCC 12's 512-bit intrinsics start some results from a deliberately
// undefined vector, which its flow analysis reports as maybe uninitialised.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#define QV_SAMPLER_512 __attribute__((target("avx512f,avx512bw,avx512vbmi")))

QV_SAMPLER_512 inline void SplitEight(const double* sx, const double* sy, __m256i& ix, __m256i& iy, __m256i& gx,
                                      __m256i& gy) {
  const __m512d zero = _mm512_setzero_pd(), far = _mm512_set1_pd(kFarAway), scale = _mm512_set1_pd(256.0);
  const __m512d outside = _mm512_set1_pd(-1.0);
  __m512d x = _mm512_loadu_pd(sx), y = _mm512_loadu_pd(sy);
  const __mmask8 ok = _mm512_cmp_pd_mask(x, zero, _CMP_GE_OQ) & _mm512_cmp_pd_mask(y, zero, _CMP_GE_OQ) &
                      _mm512_cmp_pd_mask(x, far, _CMP_LE_OQ) & _mm512_cmp_pd_mask(y, far, _CMP_LE_OQ);
  x = _mm512_mask_mov_pd(outside, ok, x);
  y = _mm512_mask_mov_pd(outside, ok, y);
  ix = _mm512_cvttpd_epi32(x);
  iy = _mm512_cvttpd_epi32(y);
  gx = _mm512_cvttpd_epi32(_mm512_mul_pd(_mm512_sub_pd(x, _mm512_cvtepi32_pd(ix)), scale));
  gy = _mm512_cvttpd_epi32(_mm512_mul_pd(_mm512_sub_pd(y, _mm512_cvtepi32_pd(iy)), scale));
}

// Eight pixel pairs, 8 bytes each at its own address, side by side.
inline __m128i TwoPairs(const std::uint8_t* a, const std::uint8_t* b) {
  const __m128i low = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(a));
  return _mm_castpd_si128(_mm_loadh_pd(_mm_castsi128_pd(low), reinterpret_cast<const double*>(b)));
}
QV_SAMPLER_512 inline __m512i EightPairs(const std::uint8_t* const* at) {
  __m512i v = _mm512_castsi128_si512(TwoPairs(at[0], at[1]));
  v = _mm512_inserti32x4(v, TwoPairs(at[2], at[3]), 1);
  v = _mm512_inserti32x4(v, TwoPairs(at[4], at[5]), 2);
  return _mm512_inserti32x4(v, TwoPairs(at[6], at[7]), 3);
}
// The same, at base plus these pixel offsets, shifted by `apart` bytes.
inline __m128i TwoPairsAt(const std::uint8_t* base, const std::uint32_t* at, std::ptrdiff_t apart) {
  return TwoPairs(base + std::size_t{4} * at[0] + apart, base + std::size_t{4} * at[1] + apart);
}
QV_SAMPLER_512 inline __m512i EightPairsAt(const std::uint8_t* base, const std::uint32_t* at, std::ptrdiff_t apart) {
  __m512i v = _mm512_castsi128_si512(TwoPairsAt(base, at, apart));
  v = _mm512_inserti32x4(v, TwoPairsAt(base, at + 2, apart), 1);
  v = _mm512_inserti32x4(v, TwoPairsAt(base, at + 4, apart), 2);
  return _mm512_inserti32x4(v, TwoPairsAt(base, at + 6, apart), 3);
}

// Byte j of a group of four pixels (words at even j) comes from this byte of
// eight pairs: channel k of a pixel, then of its right neighbour.
struct PairIndex {
  alignas(64) std::int8_t first[64], second[64];
  constexpr PairIndex() : first(), second() {
    constexpr int order[8] = {0, 4, 1, 5, 2, 6, 3, 7};
    for (int j = 0; j < 64; ++j) {
      first[j] = static_cast<std::int8_t>(8 * (j / 16) + order[(j % 16) / 2]);
      second[j] = static_cast<std::int8_t>(first[j] + 32);
    }
  }
};
constexpr PairIndex kPairIndex;

QV_SAMPLER_512 inline void BlendSixteen(const __m512i top[2], const __m512i bottom[2], __m512i gx, __m512i gy,
                                        std::uint8_t* out) {
  constexpr __mmask64 kWords = 0x5555555555555555ull;
  const __m512i first = _mm512_load_si512(kPairIndex.first), second = _mm512_load_si512(kPairIndex.second);
  const __m512i xWeights = _mm512_or_si512(_mm512_sub_epi32(_mm512_set1_epi32(256), gx), _mm512_slli_epi32(gx, 16));
  const __m512i spread = _mm512_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3);
  __m512i v[4];
  for (int g = 0; g < 4; ++g) {
    const __m512i index = g & 1 ? second : first;
    const __m512i t = _mm512_maskz_permutexvar_epi8(kWords, index, top[g >> 1]);
    const __m512i b = _mm512_maskz_permutexvar_epi8(kWords, index, bottom[g >> 1]);
    const __m512i pick = _mm512_add_epi32(spread, _mm512_set1_epi32(4 * g));
    const __m512i w = _mm512_permutexvar_epi32(pick, xWeights);
    // upper * (256 - gy) + lower * gy as upper * 256 + (lower - upper) * gy:
    // whole numbers, never negative, below 2^24, so the same sum as ever.
    const __m512i upper = _mm512_madd_epi16(t, w);
    const __m512i lower = _mm512_madd_epi16(b, w);
    const __m512i sum = _mm512_add_epi32(_mm512_slli_epi32(upper, 8),
                                         _mm512_mullo_epi32(_mm512_sub_epi32(lower, upper), _mm512_permutexvar_epi32(pick, gy)));
    v[g] = _mm512_srli_epi32(sum, 16);
  }
  // Every value lies in 0..255, so packing keeps it. The packs leave pixel
  // 4g + k at 32-bit place 4k + g; one permutation puts them in order.
  const __m512i bytes = _mm512_packus_epi16(_mm512_packus_epi32(v[0], v[1]), _mm512_packus_epi32(v[2], v[3]));
  const __m512i order = _mm512_setr_epi32(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
  _mm512_storeu_si512(out, _mm512_permutexvar_epi32(order, bytes));
}

QV_SAMPLER_512 inline __m512i Join(const __m256i* v) {
  return _mm512_inserti64x4(_mm512_castsi256_si512(v[0]), v[1], 1);
}
QV_SAMPLER_512 inline __m512i Channel(__m512i pixels, int k) {
  return _mm512_and_si512(_mm512_srli_epi32(pixels, static_cast<unsigned>(8 * k)), _mm512_set1_epi32(255));
}

// SampleClamped on sixteen positions at once, for groups with a neighbour
// beyond the plane's edge: the same split, the same clamps to the edge, and
// the four weights' sum taken exactly in whole numbers as the left pair's and
// right pair's sums (below 2^31 in size: 255 times 511 times 511 at most),
// then clamped as WeightedChannel clamps. A position that is not a number
// leaves its 4 bytes untouched and valid 0.
QV_SAMPLER_512 void EdgeSixteen(const PixelPlane& plane, const double* sx, const double* sy, std::uint8_t* out,
                                std::uint8_t* valid) {
  const __m512d far = _mm512_set1_pd(kFarAway), nearFar = _mm512_set1_pd(-kFarAway), scale = _mm512_set1_pd(256.0);
  __m256i ix[2], iy[2], gx[2], gy[2];
  __mmask16 numbers = 0;
  for (int h = 0; h < 2; ++h) {
    __m512d x = _mm512_loadu_pd(sx + 8 * h), y = _mm512_loadu_pd(sy + 8 * h);
    const __mmask8 ok = _mm512_cmp_pd_mask(x, x, _CMP_ORD_Q) & _mm512_cmp_pd_mask(y, y, _CMP_ORD_Q);
    numbers = static_cast<__mmask16>(numbers | ok << (8 * h));
    x = _mm512_min_pd(_mm512_max_pd(_mm512_maskz_mov_pd(ok, x), nearFar), far);
    y = _mm512_min_pd(_mm512_max_pd(_mm512_maskz_mov_pd(ok, y), nearFar), far);
    ix[h] = _mm512_cvttpd_epi32(x);
    iy[h] = _mm512_cvttpd_epi32(y);
    gx[h] = _mm512_cvttpd_epi32(_mm512_mul_pd(_mm512_sub_pd(x, _mm512_cvtepi32_pd(ix[h])), scale));
    gy[h] = _mm512_cvttpd_epi32(_mm512_mul_pd(_mm512_sub_pd(y, _mm512_cvtepi32_pd(iy[h])), scale));
  }
  const __m512i zero = _mm512_setzero_si512();
  const __m512i lastX = _mm512_set1_epi32(plane.width - 1), lastY = _mm512_set1_epi32(plane.height - 1);
  const __m512i one = _mm512_set1_epi32(1), full = _mm512_set1_epi32(256), top = _mm512_set1_epi32(255);
  const __m512i cx = _mm512_min_epi32(_mm512_max_epi32(_mm512_sub_epi32(Join(ix), _mm512_set1_epi32(plane.x)), zero), lastX);
  const __m512i cy = _mm512_min_epi32(_mm512_max_epi32(_mm512_sub_epi32(Join(iy), _mm512_set1_epi32(plane.y)), zero), lastY);
  const __m512i nx = _mm512_min_epi32(_mm512_add_epi32(cx, one), lastX);
  const __m512i ny = _mm512_min_epi32(_mm512_add_epi32(cy, one), lastY);
  alignas(64) std::int32_t cxs[16], cys[16], nxs[16], nys[16];
  alignas(64) std::uint32_t p00[16], p10[16], p01[16], p11[16];
  _mm512_store_si512(cxs, cx);
  _mm512_store_si512(cys, cy);
  _mm512_store_si512(nxs, nx);
  _mm512_store_si512(nys, ny);
  for (int l = 0; l < 16; ++l) {
    const std::uint8_t* row0 = plane.pixels + std::size_t{plane.rows[cys[l]]} * 4;
    const std::uint8_t* row1 = plane.pixels + std::size_t{plane.rows[nys[l]]} * 4;
    std::memcpy(&p00[l], row0 + std::size_t{4} * static_cast<std::uint32_t>(cxs[l]), 4);
    std::memcpy(&p10[l], row0 + std::size_t{4} * static_cast<std::uint32_t>(nxs[l]), 4);
    std::memcpy(&p01[l], row1 + std::size_t{4} * static_cast<std::uint32_t>(cxs[l]), 4);
    std::memcpy(&p11[l], row1 + std::size_t{4} * static_cast<std::uint32_t>(nxs[l]), 4);
  }
  const __m512i fx = Join(gx), fy = Join(gy);
  const __m512i left = _mm512_sub_epi32(full, fx), upper = _mm512_sub_epi32(full, fy);
  const __m512i a0 = _mm512_load_si512(p00), a1 = _mm512_load_si512(p10), b0 = _mm512_load_si512(p01),
                b1 = _mm512_load_si512(p11);
  __m512i result = zero;
  for (int k = 0; k < 4; ++k) {
    const __m512i t = _mm512_add_epi32(_mm512_mullo_epi32(Channel(a0, k), left), _mm512_mullo_epi32(Channel(a1, k), fx));
    const __m512i b = _mm512_add_epi32(_mm512_mullo_epi32(Channel(b0, k), left), _mm512_mullo_epi32(Channel(b1, k), fx));
    const __m512i sum = _mm512_add_epi32(_mm512_mullo_epi32(t, upper), _mm512_mullo_epi32(b, fy));
    const __m512i v = _mm512_min_epi32(_mm512_max_epi32(_mm512_srai_epi32(sum, 16), zero), top);
    result = _mm512_or_si512(result, _mm512_slli_epi32(v, 8 * k));
  }
  _mm512_mask_storeu_epi32(out, numbers, result);
  for (int l = 0; l < 16; ++l) valid[l] = static_cast<std::uint8_t>(numbers >> l & 1);
}

// Whether rows from..to of the plane lie at first + row * stride (wrapping
// in 32 bits) and each ends below 2^31.
QV_SAMPLER_512 bool RowsInStep(const PixelPlane& plane, std::uint32_t first, std::uint32_t stride, int from, int to) {
  const std::int64_t limit = (std::int64_t{1} << 31) - plane.width;
  if (limit <= 0) return false;
  const __m512i firstV = _mm512_set1_epi32(static_cast<std::int32_t>(first));
  const __m512i strideV = _mm512_set1_epi32(static_cast<std::int32_t>(stride));
  const __m512i limitV = _mm512_set1_epi32(static_cast<std::int32_t>(limit));
  const __m512i count = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  int r = from;
  for (; r + 16 <= to + 1; r += 16) {
    const __m512i got = _mm512_loadu_si512(plane.rows + r);
    const __m512i want = _mm512_add_epi32(firstV, _mm512_mullo_epi32(_mm512_add_epi32(count, _mm512_set1_epi32(r)), strideV));
    if (_mm512_cmpneq_epi32_mask(got, want) | _mm512_cmpge_epu32_mask(got, limitV)) return false;
  }
  for (; r <= to; ++r)
    if (plane.rows[r] >= limit || plane.rows[r] != first + static_cast<std::uint32_t>(r) * stride) return false;
  return true;
}

// Sixteen at a time where all sixteen have their neighbours inside the
// plane; groups with one beyond an edge are taken by EdgeSixteen, the rest
// by the 256-bit sampler.
QV_SAMPLER_512 void SampleRunAvx512(const PixelPlane& plane, const double* sx, const double* sy, int n,
                                    std::uint8_t* out, std::uint8_t* valid) {
  int i = 0;
  if (plane.pixels && plane.x >= 0 && plane.y >= 0) {
    const __m512i originX = _mm512_set1_epi32(plane.x), originY = _mm512_set1_epi32(plane.y);
    const __m512i lastX = _mm512_set1_epi32(plane.width - 1), lastY = _mm512_set1_epi32(plane.height - 1);
    const __m512i minusOne = _mm512_set1_epi32(-1);
    // Origins and positions then differ by less than 2^31.
    const bool edges = plane.width > 0 && plane.height > 0 && plane.x <= kFarAway && plane.y <= kFarAway;
    alignas(64) std::int32_t cxs[16], cys[16];
    const std::uint8_t* top[16];
    const std::uint8_t* bottom[16];
    // Where the rows lie evenly `stride` pixels apart, a pixel's offset is
    // rows[0] + cy * stride + cx, found in one vector instead of two table
    // loads per sample. Rows are checked as the samples first reach them
    // (checked rows lo..hi); one found out of step ends the shortcut for the
    // run. The offsets wrap in 32-bit lanes, but each checked row ends below
    // 2^31, so the wrapped result is the true offset, and the row below lies
    // stride, taken as signed, further on.
    bool even = plane.height > 1 && plane.width > 0;
    const std::uint32_t first = even ? plane.rows[0] : 0, stride = even ? plane.rows[1] - first : 0;
    const std::ptrdiff_t below = std::ptrdiff_t{4} * static_cast<std::int32_t>(stride);
    int lo = 0, hi = -1;
    const __m512i firstV = _mm512_set1_epi32(static_cast<std::int32_t>(first));
    const __m512i strideV = _mm512_set1_epi32(static_cast<std::int32_t>(stride));
    auto checkRows = [&plane, first, stride](int from, int to) { return RowsInStep(plane, first, stride, from, to); };
    alignas(64) std::uint32_t offsets[16], ahead[16];
    for (; i + 16 <= n; i += 16) {
      __m256i ixl, iyl, gxl, gyl, ixh, iyh, gxh, gyh;
      SplitEight(sx + i, sy + i, ixl, iyl, gxl, gyl);
      SplitEight(sx + i + 8, sy + i + 8, ixh, iyh, gxh, gyh);
      const __m512i cx = _mm512_sub_epi32(_mm512_inserti64x4(_mm512_castsi256_si512(ixl), ixh, 1), originX);
      const __m512i cy = _mm512_sub_epi32(_mm512_inserti64x4(_mm512_castsi256_si512(iyl), iyh, 1), originY);
      const __mmask16 in = _mm512_cmpgt_epi32_mask(cx, minusOne) & _mm512_cmpgt_epi32_mask(lastX, cx) &
                           _mm512_cmpgt_epi32_mask(cy, minusOne) & _mm512_cmpgt_epi32_mask(lastY, cy);
      // Samples that cross rows quickly reach lines not yet in cache: ask
      // for those of two groups on while this one is blended. Only hints,
      // taken as plain numbers: a place beyond the plane is never read.
      const int rowsCrossed =
          _mm_extract_epi32(_mm512_extracti32x4_epi32(cy, 3), 3) - _mm_cvtsi128_si32(_mm512_castsi512_si128(cy));
      if (even && i + 48 <= n && (rowsCrossed > 3 || rowsCrossed < -3)) {
        const __m512i px = _mm512_inserti64x4(_mm512_castsi256_si512(_mm512_cvttpd_epi32(_mm512_loadu_pd(sx + i + 32))),
                                              _mm512_cvttpd_epi32(_mm512_loadu_pd(sx + i + 40)), 1);
        const __m512i py = _mm512_inserti64x4(_mm512_castsi256_si512(_mm512_cvttpd_epi32(_mm512_loadu_pd(sy + i + 32))),
                                              _mm512_cvttpd_epi32(_mm512_loadu_pd(sy + i + 40)), 1);
        const __m512i zero = _mm512_setzero_si512();
        const __m512i qx = _mm512_min_epi32(_mm512_max_epi32(_mm512_sub_epi32(px, originX), zero), lastX);
        const __m512i qy = _mm512_min_epi32(_mm512_max_epi32(_mm512_sub_epi32(py, originY), zero), lastY);
        _mm512_store_si512(ahead, _mm512_add_epi32(_mm512_add_epi32(firstV, _mm512_mullo_epi32(qy, strideV)), qx));
#if defined(__GNUC__)
        asm("" : "+m"(ahead));
#endif
        const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(plane.pixels);
        for (int l = 0; l < 16; ++l) {
          const std::uintptr_t at = base + std::uintptr_t{4} * ahead[l];
          _mm_prefetch(reinterpret_cast<const char*>(at), _MM_HINT_T0);
          _mm_prefetch(reinterpret_cast<const char*>(at + below), _MM_HINT_T0);
        }
      }
      if (in != 0xffff) {
        if (edges)
          EdgeSixteen(plane, sx + i, sy + i, out + std::size_t{4} * i, valid + i);
        else
          SampleRunAvx2(plane, sx + i, sy + i, 16, out + std::size_t{4} * i, valid + i);
        continue;
      }
      if (even && (_mm512_cmplt_epi32_mask(cy, _mm512_set1_epi32(lo)) | _mm512_cmpge_epi32_mask(cy, _mm512_set1_epi32(hi)))) {
        // Checked a stretch beyond the rows needed, as the next samples
        // are likely to move on the same way.
        constexpr int kAhead = 48;
        const int from = std::max(_mm512_reduce_min_epi32(cy) - kAhead, 0);
        const int to = std::min(_mm512_reduce_max_epi32(cy) + 1 + kAhead, plane.height - 1);
        even = hi < lo ? checkRows(from, to) : checkRows(from, lo - 1) && checkRows(hi + 1, to);
        lo = hi < lo ? from : std::min(lo, from);
        hi = std::max(hi, to);
      }
      __m512i tops[2], bottoms[2];
      if (even) {
        const __m512i upper = _mm512_add_epi32(_mm512_add_epi32(firstV, _mm512_mullo_epi32(cy, strideV)), cx);
        _mm512_store_si512(offsets, upper);
#if defined(__GNUC__)
        // Read back one by one from memory: taken out of the register lane
        // by lane they would queue on the shuffle port the blend needs.
        asm("" : "+m"(offsets));
#endif
        tops[0] = EightPairsAt(plane.pixels, offsets, 0);
        tops[1] = EightPairsAt(plane.pixels, offsets + 8, 0);
        bottoms[0] = EightPairsAt(plane.pixels, offsets, below);
        bottoms[1] = EightPairsAt(plane.pixels, offsets + 8, below);
      } else {
        _mm512_store_si512(cxs, cx);
        _mm512_store_si512(cys, cy);
        for (int l = 0; l < 16; ++l) {
          const std::size_t column = static_cast<std::size_t>(cxs[l]);
          top[l] = plane.pixels + (std::size_t{plane.rows[cys[l]]} + column) * 4;
          bottom[l] = plane.pixels + (std::size_t{plane.rows[cys[l] + 1]} + column) * 4;
        }
        tops[0] = EightPairs(top);
        tops[1] = EightPairs(top + 8);
        bottoms[0] = EightPairs(bottom);
        bottoms[1] = EightPairs(bottom + 8);
      }
      BlendSixteen(tops, bottoms, _mm512_inserti64x4(_mm512_castsi256_si512(gxl), gxh, 1),
                   _mm512_inserti64x4(_mm512_castsi256_si512(gyl), gyh, 1), out + std::size_t{4} * i);
      std::memset(valid + i, 1, 16);
    }
  }
  SampleRunAvx2(plane, sx + i, sy + i, n - i, out + std::size_t{4} * i, valid + i);
}
#undef QV_SAMPLER_512
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#endif

}  // namespace

void BlendRun(const std::uint8_t* const* top, const std::uint8_t* const* bottom, const std::int32_t* gx,
              const std::int32_t* gy, int n, std::uint8_t* out, bool plain) {
#if defined(__x86_64__)
  if (!plain && CpuHasAvx2()) {
    BlendRunAvx2(top, bottom, gx, gy, n, out);
    return;
  }
#endif
  for (int i = 0; i < n; ++i) BlendInside(top[i], bottom[i], gx[i], gy[i], out + std::size_t{4} * i);
}

bool SamplerPathAvailable(SamplerPath path) {
#if defined(__x86_64__)
  if (path == SamplerPath::kAvx2) return CpuHasAvx2();
  if (path == SamplerPath::kAvx512) return CpuHasAvx512Vbmi();
  return true;
#else
  return path == SamplerPath::kPlain || path == SamplerPath::kBest;
#endif
}

void SampleRun(const PixelPlane& plane, const double* sx, const double* sy, int n, std::uint8_t* out,
               std::uint8_t* valid, SamplerPath path) {
#if defined(__x86_64__)
  if ((path == SamplerPath::kBest || path == SamplerPath::kAvx512) && CpuHasAvx512Vbmi()) {
    SampleRunAvx512(plane, sx, sy, n, out, valid);
    return;
  }
  if (path != SamplerPath::kPlain && CpuHasAvx2()) {
    SampleRunAvx2(plane, sx, sy, n, out, valid);
    return;
  }
#endif
  SampleRunPlain(plane, sx, sy, n, out, valid);
}

}  // namespace qv
