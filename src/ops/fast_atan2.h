// An arc tangent of y / x on four lanes for the guarded fast paths of the
// angle-driven operations: within kAtanError of the library's atan2 for
// every finite (y, x) but (0, 0), which is flagged with the non-finite. Callers use it only where a
// difference of that size cannot change a result, and take the library's
// value otherwise.
//
// Why the bound holds: with a = min(|x|, |y|) / max(|x|, |y|) in [0, 1]
// (one rounding) and c = k / 64 the nearest 64th, atan(a) = atan(c) +
// atan(r) exactly for r = (a - c) / (1 + a c). a - c is exact (Sterbenz:
// c / 2 <= a <= 2 c once k >= 1, and c = 0 otherwise), so r carries under
// four roundings and |r| <= 1 / 128. The series to r^9 leaves out under
// r^11 / 11 < 1e-24; atan(c) comes from the library within an ulp; the
// sum and the turns by pi / 2 and pi round a few times more. The total is
// under 2e-15, and the library's own atan2 is within an ulp of the truth:
// both together are a fiftieth of kAtanError. A test sweeps the plane
// against the library to confirm it.
#pragma once

#include <cmath>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "base/cpu_features.h"

namespace qv {

inline constexpr double kAtanError = 1e-13;

// atan(k / 64) for k = 0..64, from the library.
struct AtanSteps {
  double value[65];
  AtanSteps() {
    for (int k = 0; k <= 64; ++k) value[k] = std::atan(k / 64.0);
  }
};
inline const AtanSteps& AtanTable() {
  static const AtanSteps table;
  return table;
}

#if defined(__x86_64__)
// atan2(y, x) on four lanes; lanes with x and y both zero (or either one
// infinite or not a number)
// are set in the returned mask and their results are not to be used.
__attribute__((target("avx2"))) inline __m256d FastAtan2Four(__m256d y, __m256d x, __m256d& angle) {
  const __m256d sign = _mm256_set1_pd(-0.0);
  const __m256d ax = _mm256_andnot_pd(sign, x), ay = _mm256_andnot_pd(sign, y);
  const __m256d mx = _mm256_max_pd(ax, ay), mn = _mm256_min_pd(ax, ay);
  // Both zero, either infinite or not a number (max drops a NaN operand).
  const __m256d bad = _mm256_or_pd(
      _mm256_or_pd(_mm256_cmp_pd(mx, _mm256_setzero_pd(), _CMP_NGT_UQ), _mm256_cmp_pd(x, y, _CMP_UNORD_Q)),
      _mm256_cmp_pd(mx, _mm256_set1_pd(INFINITY), _CMP_EQ_OQ));
  // Flagged lanes work on 0, so their table index stays in range.
  const __m256d a = _mm256_andnot_pd(bad, _mm256_div_pd(mn, _mm256_blendv_pd(mx, _mm256_set1_pd(1.0), bad)));
  const __m256d k = _mm256_round_pd(_mm256_mul_pd(a, _mm256_set1_pd(64.0)), _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
  const __m256d c = _mm256_mul_pd(k, _mm256_set1_pd(1.0 / 64));
  const __m256d r =
      _mm256_div_pd(_mm256_sub_pd(a, c), _mm256_add_pd(_mm256_set1_pd(1.0), _mm256_mul_pd(a, c)));
  const __m256d r2 = _mm256_mul_pd(r, r);
  __m256d p = _mm256_set1_pd(1.0 / 9);
  p = _mm256_sub_pd(_mm256_set1_pd(1.0 / 7), _mm256_mul_pd(r2, p));
  p = _mm256_sub_pd(_mm256_set1_pd(1.0 / 5), _mm256_mul_pd(r2, p));
  p = _mm256_sub_pd(_mm256_set1_pd(1.0 / 3), _mm256_mul_pd(r2, p));
  const __m256d series = _mm256_sub_pd(r, _mm256_mul_pd(_mm256_mul_pd(r, r2), p));
  // The table read one lane at a time: the gather instruction is far slower
  // on processors patched against its data leak.
  alignas(16) int index[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(index), _mm256_cvtpd_epi32(k));
  const double* table = AtanTable().value;
  __m256d z = _mm256_add_pd(_mm256_setr_pd(table[index[0]], table[index[1]], table[index[2]], table[index[3]]), series);
  // Back out of the first octant: past 45 degrees, then past 90, then below.
  const __m256d steep = _mm256_cmp_pd(ay, ax, _CMP_GT_OQ);
  z = _mm256_blendv_pd(z, _mm256_sub_pd(_mm256_set1_pd(1.57079632679489661923), z), steep);
  const __m256d left = _mm256_cmp_pd(x, _mm256_setzero_pd(), _CMP_LT_OQ);
  z = _mm256_blendv_pd(z, _mm256_sub_pd(_mm256_set1_pd(3.14159265358979323846), z), left);
  // y's sign, -0 included, as the library gives it.
  angle = _mm256_xor_pd(z, _mm256_and_pd(y, sign));
  return bad;
}
#endif

}  // namespace qv
