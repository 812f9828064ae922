// The bilinear sampler that the warps, Motion, Collage and Alpha operations
// share: weights in 256ths of a pixel, truncated toward zero, one division by
// their sum, results clamped to 0..255.
#pragma once

#include <cstdint>

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

// Samples the plane at (sxf, syf) in image coordinates; a neighbour outside
// the plane takes its nearest edge pixel. False (out untouched) for a
// position that is not a number.
inline bool SampleClamped(const PixelPlane& plane, double sxf, double syf, std::uint8_t out[4]) {
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

}  // namespace qv
