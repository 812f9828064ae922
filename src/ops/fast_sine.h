// A sine and cosine for the warps' guarded fast paths: within kSineError of
// the library's values for |x| up to kSineReach, false beyond it. Callers use
// them only where a difference of that size cannot change a result, and take
// the library's values otherwise.
//
// Why the bound holds: x is reduced by the nearest multiple n of pi/2 with
// pi/2 split in two (n * the first part is exact for |n| < 2^20, its tail
// errs by under 2^-86 per unit of n), leaving |r| <= pi/4 + 2^-40. The Taylor
// series to r^15 (sine) and r^16 (cosine) then leave out less than 5e-17,
// and Horner's rule with terms below 1 rounds by a few units of 2^-53. The
// total, under 1e-15, is a hundredth of kSineError; a test sweeps the range
// against the library to confirm it.
#pragma once

#include <cmath>

namespace qv {

inline constexpr double kSineError = 1e-13;
inline constexpr double kSineReach = 64;

inline bool FastSinCos(double x, double& sine, double& cosine) {
  if (!(std::fabs(x) <= kSineReach)) return false;  // also not a number
  constexpr double kTwoOverPi = 6.36619772367581382433e-01;
  constexpr double kHalfPiHead = 1.57079632673412561417e+00;  // 33 bits
  constexpr double kHalfPiTail = 6.07710050650619224932e-11;
  const double n = std::nearbyint(x * kTwoOverPi);
  const double r = (x - n * kHalfPiHead) - n * kHalfPiTail;
  const double r2 = r * r;
  const double s =
      r + r * r2 *
              (-1.0 / 6 +
               r2 * (1.0 / 120 +
                     r2 * (-1.0 / 5040 +
                           r2 * (1.0 / 362880 +
                                 r2 * (-1.0 / 39916800 + r2 * (1.0 / 6227020800 + r2 * (-1.0 / 1307674368000)))))));
  const double c =
      1 + r2 * (-0.5 +
                r2 * (1.0 / 24 +
                      r2 * (-1.0 / 720 +
                            r2 * (1.0 / 40320 +
                                  r2 * (-1.0 / 3628800 +
                                        r2 * (1.0 / 479001600 +
                                              r2 * (-1.0 / 87178291200 + r2 * (1.0 / 20922789888000))))))));
  switch (static_cast<int>(n) & 3) {
    case 0:
      sine = s, cosine = c;
      break;
    case 1:
      sine = c, cosine = -s;
      break;
    case 2:
      sine = -s, cosine = -c;
      break;
    default:
      sine = -c, cosine = s;
      break;
  }
  return true;
}

}  // namespace qv
