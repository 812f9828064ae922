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
#if defined(__x86_64__)
#include <immintrin.h>
#endif

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

#if defined(__x86_64__)
namespace sine_lanes {
__attribute__((target("avx2"))) inline __m256d mul(__m256d a, __m256d b) { return _mm256_mul_pd(a, b); }
__attribute__((target("avx2"))) inline __m256d add(__m256d a, __m256d b) { return _mm256_add_pd(a, b); }
__attribute__((target("avx2"))) inline __m256d k(double v) { return _mm256_set1_pd(v); }
__attribute__((target("avx512f"))) inline __m512d k8(double v) { return _mm512_set1_pd(v); }
}  // namespace sine_lanes

// FastSinCos on four lanes with the same operations in the same order, so
// the same doubles; lanes beyond the reach (or not a number) are flagged in
// the returned mask and their outputs are not to be used.
__attribute__((target("avx2"))) inline __m256d FastSinCosFour(__m256d x, __m256d& sine, __m256d& cosine) {
  using sine_lanes::add, sine_lanes::k, sine_lanes::mul;
  const __m256d sign = _mm256_set1_pd(-0.0);
  const __m256d outside = _mm256_cmp_pd(_mm256_andnot_pd(sign, x), _mm256_set1_pd(kSineReach), _CMP_NLE_UQ);
  x = _mm256_andnot_pd(outside, x);
  const __m256d n = _mm256_round_pd(mul(x, k(6.36619772367581382433e-01)), _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
  const __m256d r = _mm256_sub_pd(_mm256_sub_pd(x, mul(n, k(1.57079632673412561417e+00))), mul(n, k(6.07710050650619224932e-11)));
  const __m256d r2 = mul(r, r);
  // Horner's rule from the innermost term out, as the scalar form nests it.
  const double sineTerms[] = {-1.0 / 6, 1.0 / 120, -1.0 / 5040, 1.0 / 362880, -1.0 / 39916800, 1.0 / 6227020800,
                              -1.0 / 1307674368000};
  const double cosineTerms[] = {-0.5, 1.0 / 24, -1.0 / 720, 1.0 / 40320, -1.0 / 3628800, 1.0 / 479001600,
                                -1.0 / 87178291200, 1.0 / 20922789888000};
  __m256d ps = k(sineTerms[6]), pc = k(cosineTerms[7]);
  for (int i = 5; i >= 0; --i) ps = add(k(sineTerms[i]), mul(r2, ps));
  for (int i = 6; i >= 0; --i) pc = add(k(cosineTerms[i]), mul(r2, pc));
  const __m256d s = add(r, mul(mul(r, r2), ps));
  const __m256d c = add(k(1), mul(r2, pc));
  // The quadrant n & 3: odd ones exchange sine and cosine; 2 and 3 negate
  // the sine, 1 and 2 the cosine.
  const __m256i q = _mm256_cvtepi32_epi64(_mm256_cvtpd_epi32(n));
  const __m256i one = _mm256_set1_epi64x(1), two = _mm256_set1_epi64x(2);
  const __m256d swap = _mm256_castsi256_pd(_mm256_cmpeq_epi64(_mm256_and_si256(q, one), one));
  const __m256d negateSine = _mm256_castsi256_pd(_mm256_cmpeq_epi64(_mm256_and_si256(q, two), two));
  const __m256d negateCosine =
      _mm256_castsi256_pd(_mm256_cmpeq_epi64(_mm256_and_si256(_mm256_add_epi64(q, one), two), two));
  sine = _mm256_xor_pd(_mm256_blendv_pd(s, c, swap), _mm256_and_pd(negateSine, sign));
  cosine = _mm256_xor_pd(_mm256_blendv_pd(c, s, swap), _mm256_and_pd(negateCosine, sign));
  return outside;
}

// FastSinCosFour on eight lanes, for processors with 512-bit vectors: the
// same operations in the same order, so the same doubles. Lanes beyond the
// reach (or not a number) are set in the returned mask.
__attribute__((target("avx512f"))) inline __mmask8 FastSinCosEight(__m512d x, __m512d& sine, __m512d& cosine) {
  const auto k = sine_lanes::k8;
  const __mmask8 outside = _mm512_cmp_pd_mask(_mm512_abs_pd(x), k(kSineReach), _CMP_NLE_UQ);
  x = _mm512_maskz_mov_pd(static_cast<__mmask8>(~outside), x);
  const __m512d n =
      _mm512_roundscale_pd(_mm512_mul_pd(x, k(6.36619772367581382433e-01)), _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
  const __m512d r = _mm512_sub_pd(_mm512_sub_pd(x, _mm512_mul_pd(n, k(1.57079632673412561417e+00))),
                                  _mm512_mul_pd(n, k(6.07710050650619224932e-11)));
  const __m512d r2 = _mm512_mul_pd(r, r);
  const double sineTerms[] = {-1.0 / 6, 1.0 / 120, -1.0 / 5040, 1.0 / 362880, -1.0 / 39916800, 1.0 / 6227020800,
                              -1.0 / 1307674368000};
  const double cosineTerms[] = {-0.5, 1.0 / 24, -1.0 / 720, 1.0 / 40320, -1.0 / 3628800, 1.0 / 479001600,
                                -1.0 / 87178291200, 1.0 / 20922789888000};
  __m512d ps = k(sineTerms[6]), pc = k(cosineTerms[7]);
  for (int i = 5; i >= 0; --i) ps = _mm512_add_pd(k(sineTerms[i]), _mm512_mul_pd(r2, ps));
  for (int i = 6; i >= 0; --i) pc = _mm512_add_pd(k(cosineTerms[i]), _mm512_mul_pd(r2, pc));
  const __m512d s = _mm512_add_pd(r, _mm512_mul_pd(_mm512_mul_pd(r, r2), ps));
  const __m512d c = _mm512_add_pd(k(1), _mm512_mul_pd(r2, pc));
  const __m512i q = _mm512_cvtepi32_epi64(_mm512_cvtpd_epi32(n));
  const __m512i one = _mm512_set1_epi64(1), two = _mm512_set1_epi64(2);
  const __mmask8 swap = _mm512_test_epi64_mask(q, one);
  const __mmask8 negateSine = _mm512_test_epi64_mask(q, two);
  const __mmask8 negateCosine = _mm512_test_epi64_mask(_mm512_add_epi64(q, one), two);
  const __m512i sign = _mm512_set1_epi64(static_cast<long long>(0x8000000000000000ull));
  const __m512i swappedSine = _mm512_castpd_si512(_mm512_mask_blend_pd(swap, s, c));
  const __m512i swappedCosine = _mm512_castpd_si512(_mm512_mask_blend_pd(swap, c, s));
  sine = _mm512_castsi512_pd(_mm512_mask_xor_epi64(swappedSine, negateSine, swappedSine, sign));
  cosine = _mm512_castsi512_pd(_mm512_mask_xor_epi64(swappedCosine, negateCosine, swappedCosine, sign));
  return outside;
}
#endif

}  // namespace qv
