#include "base/cpu_features.h"
#include "base/colour_space.h"

#include <algorithm>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QV_HSL_AVX2 1
#endif

namespace qv {

RgbColour HslToRgb(const Hsl& c, RgbColour unchanged) {
  int m2 = c.l < 51 ? (c.s + 100) * c.l / 100 : c.l + c.s - c.l * c.s / 100;
  int v = m2 * 255 / 100;
  if (v < 1) return {0, 0, 0};
  int m1 = c.l * 510 / 100 - v;
  int sector = c.h / 60;
  int f = c.h - sector * 60;
  int t = (v - m1) * f / 60;
  switch (sector) {
    case 0:
    case 6: return {v, m1 + t, m1};
    case 1: return {v - t, v, m1};
    case 2: return {m1, v, m1 + t};
    case 3: return {m1, v - t, v};
    case 4: return {m1 + t, m1, v};
    case 5: return {v, m1, v - t};
    default: return unchanged;
  }
}

namespace {

void RgbToHslPlain(const std::uint8_t* p, int count, std::int32_t* h, std::int32_t* s, std::int32_t* l) {
  for (int i = 0; i < count; ++i, p += 4) {
    const Hsl c = RgbToHsl(p[0], p[1], p[2]);
    h[i] = c.h, s[i] = c.s, l[i] = c.l;
  }
}

#ifdef QV_HSL_AVX2
__attribute__((target("avx2"))) inline __m256i Quotient8(__m256i n, __m256i d) {
  return _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(n), _mm256_cvtepi32_ps(d)));
}

// Eight pixels at a time. Each quotient is taken in single precision and
// truncated: every numerator is below 2^24 and so exact as a float, and a
// correctly rounded n / d is off by at most n / d x 2^-24, which never
// reaches the distance 1 / d from a true quotient that is not whole to the
// next whole number (n x 2^-24 < 1). So the truncation is the integer one.
__attribute__((target("avx2"))) void RgbToHslAvx2(const std::uint8_t* p, int count, std::int32_t* h,
                                                  std::int32_t* s, std::int32_t* l) {
  const __m256i byte = _mm256_set1_epi32(255), zero = _mm256_setzero_si256(), one = _mm256_set1_epi32(1);
  const __m256i hundred = _mm256_set1_epi32(100), sixty = _mm256_set1_epi32(60), fifty = _mm256_set1_epi32(50);
  const __m256i full = _mm256_set1_epi32(510), turn = _mm256_set1_epi32(360);
  const __m256i third = _mm256_set1_epi32(120), twoThirds = _mm256_set1_epi32(240);
  const __m256 over510 = _mm256_set1_ps(510.0f);
  int i = 0;
  for (; i + 8 <= count; i += 8, p += 32) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i r = _mm256_and_si256(v, byte);
    const __m256i g = _mm256_and_si256(_mm256_srli_epi32(v, 8), byte);
    const __m256i b = _mm256_and_si256(_mm256_srli_epi32(v, 16), byte);
    const __m256i mx = _mm256_max_epi32(r, _mm256_max_epi32(g, b));
    const __m256i mn = _mm256_min_epi32(r, _mm256_min_epi32(g, b));
    const __m256i sum = _mm256_add_epi32(mx, mn), span = _mm256_sub_epi32(mx, mn);
    const __m256i light = _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(_mm256_mullo_epi32(sum, hundred)), over510));
    // A zero divisor comes only with a zero span (black or white), whose
    // quotient is 0 whatever it is divided by.
    const __m256i dark = _mm256_cmpgt_epi32(fifty, light);
    const __m256i divisor = _mm256_max_epi32(_mm256_blendv_epi8(_mm256_sub_epi32(full, sum), sum, dark), one);
    const __m256i sat = Quotient8(_mm256_mullo_epi32(span, hundred), divisor);
    const __m256i redMax = _mm256_cmpeq_epi32(r, mx);
    const __m256i greenMax = _mm256_andnot_si256(redMax, _mm256_cmpeq_epi32(g, mx));
    __m256i num = _mm256_sub_epi32(r, g), offset = twoThirds;
    num = _mm256_blendv_epi8(num, _mm256_sub_epi32(b, r), greenMax);
    offset = _mm256_blendv_epi8(offset, third, greenMax);
    num = _mm256_blendv_epi8(num, _mm256_sub_epi32(g, b), redMax);
    offset = _mm256_blendv_epi8(offset, zero, redMax);
    const __m256i q = Quotient8(_mm256_mullo_epi32(_mm256_abs_epi32(num), sixty), _mm256_max_epi32(span, one));
    __m256i hue = _mm256_add_epi32(_mm256_sign_epi32(q, num), offset);
    hue = _mm256_add_epi32(hue, _mm256_and_si256(_mm256_cmpgt_epi32(zero, hue), turn));
    hue = _mm256_sub_epi32(hue, _mm256_and_si256(_mm256_cmpgt_epi32(hue, turn), turn));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(h + i), hue);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(s + i), sat);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(l + i), light);
  }
  RgbToHslPlain(p, count - i, h + i, s + i, l + i);
}
#endif

}  // namespace

void RgbToHslRow(const std::uint8_t* rgba, int count, std::int32_t* h, std::int32_t* s, std::int32_t* l) {
#ifdef QV_HSL_AVX2
  if (CpuHasAvx2()) return RgbToHslAvx2(rgba, count, h, s, l);
#endif
  RgbToHslPlain(rgba, count, h, s, l);
}

}  // namespace qv
