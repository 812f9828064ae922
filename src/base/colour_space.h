// Integer colour-space conversions shared by the colour operations, the
// colour key and the colour wand.
#pragma once

#include <algorithm>
#include <cstdint>

namespace qv {

struct Hsl {
  int h;  // 0..360
  int s;  // 0..100
  int l;  // 0..100
};

namespace hsl_detail {
// Every division in RgbToHsl has a numerator of at most 255 x 100 and a
// divisor of at most 510; multiplying by floor(2^32 / d) + 1 and shifting
// gives the exact quotient for those (the error term n x e stays below
// 2^32). Entry 0 is 0, which makes a grey come out as 0 without a branch.
inline constexpr int kLargestDivisor = 510;
struct Reciprocals {
  std::uint64_t of[kLargestDivisor + 1] = {};
  constexpr Reciprocals() {
    for (int d = 1; d <= kLargestDivisor; ++d) of[d] = (std::uint64_t{1} << 32) / static_cast<std::uint64_t>(d) + 1;
  }
};
inline constexpr Reciprocals kReciprocals;
inline int Quotient(int n, int d) {  // 0 <= n <= 25500, 0 <= d <= 510, truncating
  return static_cast<int>((static_cast<std::uint64_t>(n) * kReciprocals.of[d]) >> 32);
}
}  // namespace hsl_detail

// Integer HSL with truncating divisions. Sample, the colour key and the
// colour wand convert every pixel of a selection, so this is written without
// hardware divisions or data-dependent branches (photographs make those
// unpredictable).
inline Hsl RgbToHsl(int r, int g, int b) {
  using hsl_detail::Quotient;
  const int mx = std::max(r, std::max(g, b));
  const int mn = std::min(r, std::min(g, b));
  const int sum = mx + mn, span = mx - mn;
  Hsl out;
  out.l = sum * 100 / 510;
  out.s = Quotient(span * 100, out.l < 50 ? sum : 510 - sum);
  // The hue's sector: red largest, else green, else blue.
  const bool redMax = r == mx, greenMax = !redMax && g == mx;
  const int numerator = redMax ? g - b : greenMax ? b - r : r - g;
  const int offset = redMax ? 0 : greenMax ? 120 : 240;
  const int q = Quotient((numerator < 0 ? -numerator : numerator) * 60, span);
  int h = (numerator < 0 ? -q : q) + offset;
  h += h < 0 ? 360 : 0;
  h -= h > 360 ? 360 : 0;
  out.h = h;
  return out;
}

// HSL of `count` RGBA pixels (4 bytes each, alpha ignored) into h, s and l:
// exactly RgbToHsl of each, several pixels at a time where the processor
// allows.
void RgbToHslRow(const std::uint8_t* rgba, int count, std::int32_t* h, std::int32_t* s, std::int32_t* l);

struct RgbColour {
  int r, g, b;
};
// Back from HSL; a hue outside 0..419 leaves `unchanged`.
RgbColour HslToRgb(const Hsl& hsl, RgbColour unchanged);

}  // namespace qv
