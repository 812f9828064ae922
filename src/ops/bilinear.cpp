#include "ops/bilinear.h"

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

bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}
#endif

}  // namespace

void BlendRun(const std::uint8_t* const* top, const std::uint8_t* const* bottom, const std::int32_t* gx,
              const std::int32_t* gy, int n, std::uint8_t* out, bool plain) {
#if defined(__x86_64__)
  if (!plain && HasAvx2()) {
    BlendRunAvx2(top, bottom, gx, gy, n, out);
    return;
  }
#endif
  for (int i = 0; i < n; ++i) BlendInside(top[i], bottom[i], gx[i], gy[i], out + std::size_t{4} * i);
}

void SampleRun(const PixelPlane& plane, const double* sx, const double* sy, int n, std::uint8_t* out,
               std::uint8_t* valid, bool plain) {
#if defined(__x86_64__)
  if (!plain && HasAvx2()) {
    SampleRunAvx2(plane, sx, sy, n, out, valid);
    return;
  }
#endif
  SampleRunPlain(plane, sx, sy, n, out, valid);
}

}  // namespace qv
