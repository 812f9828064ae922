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

__attribute__((target("avx2"))) inline __m256i ChannelOf(__m256i p, int c) {
  const __m256i byte = _mm256_set1_epi32(255);
  switch (c) {
    case 0:
      return _mm256_and_si256(p, byte);
    case 1:
      return _mm256_and_si256(_mm256_srli_epi32(p, 8), byte);
    case 2:
      return _mm256_and_si256(_mm256_srli_epi32(p, 16), byte);
    default:
      return _mm256_srli_epi32(p, 24);
  }
}

// Eight samples at a time: the four neighbours gathered, each channel's
// weighted sum in single precision. As in BlendInside every product and
// partial sum is a whole number below 2^24, held exactly, so the order of
// the additions cannot change a byte. Lanes whose neighbours are not all
// inside the plane are sampled one by one.
__attribute__((target("avx2"))) void SampleRunAvx2(const PixelPlane& plane, const double* sx, const double* sy, int n,
                                                   std::uint8_t* out, std::uint8_t* valid) {
  int i = 0;
  // Pixel indices are gathered as int: planes whose offsets could pass that
  // are left to the plain sampler lane by lane (their row offsets fail below).
  const bool usable = plane.pixels && plane.x >= 0 && plane.y >= 0 && plane.width >= 2 && plane.height >= 2 &&
                      plane.width <= (1 << 30);
  if (usable) {
    const __m256i originX = _mm256_set1_epi32(plane.x), originY = _mm256_set1_epi32(plane.y);
    const __m256i lastX = _mm256_set1_epi32(plane.width - 1), lastY = _mm256_set1_epi32(plane.height - 1);
    const __m256i minusOne = _mm256_set1_epi32(-1), rowLimit = _mm256_set1_epi32(1 << 30), one = _mm256_set1_epi32(1);
    const __m256i zero = _mm256_setzero_si256();
    const __m256 k256 = _mm256_set1_ps(256.0f);
    const int* pixels = reinterpret_cast<const int*>(plane.pixels);
    const int* rows = reinterpret_cast<const int*>(plane.rows);
    for (; i + 8 <= n; i += 8) {
      __m128i ixl, iyl, gxl, gyl, ixh, iyh, gxh, gyh;
      SplitFour(sx + i, sy + i, ixl, iyl, gxl, gyl);
      SplitFour(sx + i + 4, sy + i + 4, ixh, iyh, gxh, gyh);
      const __m256i ix = _mm256_set_m128i(ixh, ixl), iy = _mm256_set_m128i(iyh, iyl);
      const __m256i gx = _mm256_set_m128i(gxh, gxl), gy = _mm256_set_m128i(gyh, gyl);
      const __m256i cx = _mm256_sub_epi32(ix, originX), cy = _mm256_sub_epi32(iy, originY);
      __m256i in = _mm256_and_si256(_mm256_and_si256(_mm256_cmpgt_epi32(cx, minusOne), _mm256_cmpgt_epi32(lastX, cx)),
                                    _mm256_and_si256(_mm256_cmpgt_epi32(cy, minusOne), _mm256_cmpgt_epi32(lastY, cy)));
      const __m256i row0 = _mm256_mask_i32gather_epi32(zero, rows, cy, in, 4);
      const __m256i row1 = _mm256_mask_i32gather_epi32(zero, rows, _mm256_add_epi32(cy, one), in, 4);
      in = _mm256_and_si256(in, _mm256_and_si256(_mm256_and_si256(_mm256_cmpgt_epi32(row0, minusOne), _mm256_cmpgt_epi32(rowLimit, row0)),
                                                 _mm256_and_si256(_mm256_cmpgt_epi32(row1, minusOne), _mm256_cmpgt_epi32(rowLimit, row1))));
      const int inBits = _mm256_movemask_ps(_mm256_castsi256_ps(in));
      if (inBits != 0) {
        const __m256i at0 = _mm256_add_epi32(row0, cx), at1 = _mm256_add_epi32(row1, cx);
        const __m256i p00 = _mm256_mask_i32gather_epi32(zero, pixels, at0, in, 4);
        const __m256i p10 = _mm256_mask_i32gather_epi32(zero, pixels + 1, at0, in, 4);
        const __m256i p01 = _mm256_mask_i32gather_epi32(zero, pixels, at1, in, 4);
        const __m256i p11 = _mm256_mask_i32gather_epi32(zero, pixels + 1, at1, in, 4);
        const __m256 fx = _mm256_cvtepi32_ps(gx), fy = _mm256_cvtepi32_ps(gy);
        const __m256 ox = _mm256_sub_ps(k256, fx), oy = _mm256_sub_ps(k256, fy);
        const __m256 w00 = _mm256_mul_ps(oy, ox), w10 = _mm256_mul_ps(oy, fx);
        const __m256 w01 = _mm256_mul_ps(fy, ox), w11 = _mm256_mul_ps(fy, fx);
        __m256i result = zero;
        for (int c = 0; c < 4; ++c) {
          const __m256 sum = _mm256_add_ps(
              _mm256_add_ps(_mm256_mul_ps(_mm256_cvtepi32_ps(ChannelOf(p00, c)), w00),
                            _mm256_mul_ps(_mm256_cvtepi32_ps(ChannelOf(p10, c)), w10)),
              _mm256_add_ps(_mm256_mul_ps(_mm256_cvtepi32_ps(ChannelOf(p01, c)), w01),
                            _mm256_mul_ps(_mm256_cvtepi32_ps(ChannelOf(p11, c)), w11)));
          const __m256i v = _mm256_srli_epi32(_mm256_cvttps_epi32(sum), 16);
          result = _mm256_or_si256(result, _mm256_slli_epi32(v, 8 * c));
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + std::size_t{4} * i), result);
      }
      for (int l = 0; l < 8; ++l) {
        if (inBits & (1 << l)) {
          valid[i + l] = 1;
        } else {
          const int k = i + l;
          valid[k] = SampleClamped(plane, sx[k], sy[k], out + std::size_t{4} * k) ? 1 : 0;
        }
      }
    }
  }
  SampleRunPlain(plane, sx + i, sy + i, n - i, out + std::size_t{4} * i, valid + i);
}

bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}
#endif

}  // namespace

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
