// The bilinear sampler that the warps, Motion, Collage and Alpha operations
// share: weights in 256ths of a pixel, truncated toward zero, one division by
// their sum, results clamped to 0..255.
#pragma once

#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "ops/pixel_plane.h"

namespace qv {

struct ImageRecord;

PixelPlane PlaneOf(const ImageRecord* image, int x, int y);

// Positions beyond this are treated as this far away, so that they convert
// to int safely; no picture comes near it.
inline constexpr double kFarAway = 1073741824.0;

// The position split into whole pixels and 256ths, both truncated toward
// zero (so a negative position has negative fractions).
struct SamplePoint {
  std::int32_t ix, iy, gx, gy;
};
// False for a position that is not a number.
inline bool SplitPosition(double sxf, double syf, SamplePoint& out) {
  if (sxf != sxf || syf != syf) return false;
  sxf = sxf < -kFarAway ? -kFarAway : sxf > kFarAway ? kFarAway : sxf;
  syf = syf < -kFarAway ? -kFarAway : syf > kFarAway ? kFarAway : syf;
  out.ix = static_cast<std::int32_t>(sxf);
  out.iy = static_cast<std::int32_t>(syf);
  out.gx = static_cast<std::int32_t>((sxf - out.ix) * 256);
  out.gy = static_cast<std::int32_t>((syf - out.iy) * 256);
  return true;
}

// The four neighbours' weighted sum per channel, divided by the weights'
// sum and clamped. p00 at (ix, iy), p10 at (ix + 1, iy), p01 at (ix, iy + 1),
// p11 at (ix + 1, iy + 1). The weights always sum to 65536; a negative sum
// (negative fractions left of and above 0) clamps to 0 whichever way its
// division rounds, so a shift divides exactly as the division would.
inline int WeightedChannel(int p00, int p10, int p01, int p11, int w00, int w10, int w01, int w11) {
  const int sum = p00 * w00 + p10 * w10 + p01 * w01 + p11 * w11;
  if (sum < 0) return 0;
  const int v = sum >> 16;
  return v > 255 ? 255 : v;
}

inline void Blend4(const std::uint8_t* p00, const std::uint8_t* p10, const std::uint8_t* p01,
                   const std::uint8_t* p11, int gx, int gy, std::uint8_t out[4]) {
  const int w00 = (256 - gy) * (256 - gx), w10 = (256 - gy) * gx, w01 = gy * (256 - gx), w11 = gy * gx;
  for (int k = 0; k < 4; ++k)
    out[k] = static_cast<std::uint8_t>(WeightedChannel(p00[k], p10[k], p01[k], p11[k], w00, w10, w01, w11));
}

// The weighted sum of a pixel and its right neighbour at a, and the two
// below them at b, for fractions gx, gy in 0..255: never negative, never
// past 255 << 16, so taken without clamping.
inline void BlendInside(const std::uint8_t* a, const std::uint8_t* b, int gx, int gy, std::uint8_t out[4]) {
  const int w00 = (256 - gy) * (256 - gx), w10 = (256 - gy) * gx, w01 = gy * (256 - gx), w11 = gy * gx;
#if defined(__SSE2__)
  // Every product and partial sum is a whole number below 2^24, which single
  // precision holds exactly: the four channels at once, the same bytes.
  const __m128i zero = _mm_setzero_si128();
  auto channels = [zero](const std::uint8_t* q) {
    std::int32_t bytes;
    std::memcpy(&bytes, q, 4);
    const __m128i wide = _mm_unpacklo_epi8(_mm_cvtsi32_si128(bytes), zero);
    return _mm_cvtepi32_ps(_mm_unpacklo_epi16(wide, zero));
  };
  const __m128 sum = _mm_add_ps(
      _mm_add_ps(_mm_mul_ps(channels(a), _mm_set1_ps(static_cast<float>(w00))),
                 _mm_mul_ps(channels(a + 4), _mm_set1_ps(static_cast<float>(w10)))),
      _mm_add_ps(_mm_mul_ps(channels(b), _mm_set1_ps(static_cast<float>(w01))),
                 _mm_mul_ps(channels(b + 4), _mm_set1_ps(static_cast<float>(w11)))));
  const __m128i v = _mm_srli_epi32(_mm_cvttps_epi32(sum), 16);
  const __m128i packed = _mm_packus_epi16(_mm_packs_epi32(v, zero), zero);
  const std::int32_t result = _mm_cvtsi128_si32(packed);
  std::memcpy(out, &result, 4);
#else
  for (int k = 0; k < 4; ++k)
    out[k] = static_cast<std::uint8_t>((a[k] * w00 + a[k + 4] * w10 + b[k] * w01 + b[k + 4] * w11) >> 16);
#endif
}

// The common case of SampleClamped: a position at or right of and below 0
// whose four neighbours all lie inside the plane. Its fractions and weights
// are then never negative and the weighted sum never passes 255 << 16, so
// neither clamp can act: the same bytes without a test per channel. False,
// out untouched, for any other position.
inline bool SampleInside(const PixelPlane& plane, double sxf, double syf, std::uint8_t out[4]) {
  if (!(sxf >= 0 && syf >= 0 && sxf <= kFarAway && syf <= kFarAway)) return false;  // also not a number
  const std::int32_t ix = static_cast<std::int32_t>(sxf), iy = static_cast<std::int32_t>(syf);
  const std::int64_t cx = std::int64_t{ix} - plane.x, cy = std::int64_t{iy} - plane.y;
  if (cx < 0 || cy < 0 || cx + 1 >= plane.width || cy + 1 >= plane.height) return false;
  const int gx = static_cast<std::int32_t>((sxf - ix) * 256), gy = static_cast<std::int32_t>((syf - iy) * 256);
  const std::uint8_t* a = plane.pixels + (std::size_t{plane.rows[cy]} + static_cast<std::size_t>(cx)) * 4;
  const std::uint8_t* b = plane.pixels + (std::size_t{plane.rows[cy + 1]} + static_cast<std::size_t>(cx)) * 4;
  BlendInside(a, b, gx, gy, out);
  return true;
}

// Samples the plane at (sxf, syf) in image coordinates; a neighbour outside
// the plane takes its nearest edge pixel. False (out untouched) for a
// position that is not a number.
inline bool SampleClamped(const PixelPlane& plane, double sxf, double syf, std::uint8_t out[4]) {
  if (SampleInside(plane, sxf, syf, out)) return true;
  SamplePoint s;
  if (!SplitPosition(sxf, syf, s)) return false;
  std::int64_t cx = std::int64_t{s.ix} - plane.x, cy = std::int64_t{s.iy} - plane.y;
  cx = cx < 0 ? 0 : cx >= plane.width ? plane.width - 1 : cx;
  cy = cy < 0 ? 0 : cy >= plane.height ? plane.height - 1 : cy;
  const std::int64_t nx = cx + 1 < plane.width ? cx + 1 : cx;
  const std::int64_t ny = cy + 1 < plane.height ? cy + 1 : cy;
  const std::uint8_t* row0 = plane.pixels + std::size_t{plane.rows[cy]} * 4;
  const std::uint8_t* row1 = plane.pixels + std::size_t{plane.rows[ny]} * 4;
  Blend4(row0 + cx * 4, row0 + nx * 4, row1 + cx * 4, row1 + nx * 4, s.gx, s.gy, out);
  return true;
}

// BlendInside over n pixels: top[i] points at a pixel and its right
// neighbour, bottom[i] at the two below them, fractions gx[i], gy[i] in
// 0..255; out takes 4 bytes each. The same bytes; vector instructions where
// the processor has them, unless plain is set.
void BlendRun(const std::uint8_t* const* top, const std::uint8_t* const* bottom, const std::int32_t* gx,
              const std::int32_t* gy, int n, std::uint8_t* out, bool plain = false);

// The way SampleRun takes its samples: the best the processor has, or one
// named (a path it lacks falls back to the next best it has).
enum class SamplerPath { kBest, kPlain, kAvx2, kAvx512 };
bool SamplerPathAvailable(SamplerPath path);

// SampleClamped over n positions: out takes 4 bytes per position, valid 1
// where a sample was taken (0 for a position that is not a number). The
// same bytes one by one whichever path takes them.
void SampleRun(const PixelPlane& plane, const double* sx, const double* sy, int n, std::uint8_t* out,
               std::uint8_t* valid, SamplerPath path = SamplerPath::kBest);

}  // namespace qv
