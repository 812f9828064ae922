#include "formats/toaster.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace qv {
namespace {

// The decoding tables in units of 1/65536: brightness by sample sum, and
// the contribution of each chroma component to red, green and blue,
// indexed by the component + 512.
struct Tables {
  std::array<std::int32_t, 512> y{};
  std::array<std::array<std::int32_t, 1024>, 6> c{};  // C1 red, green, blue; C2 red, green, blue
  Tables() {
    for (int s = 0; s < 512; ++s) y[s] = s < 137 ? 0 : s == 137 ? 41268 : 103970 + 62702 * (s - 138);
    static constexpr std::int32_t start[6] = {-15345439, 4366066, 17737144, -9968114, 10385459, -27320018};
    static constexpr std::int32_t step[6] = {29972, -8528, -34643, 19469, -20285, 53360};
    for (int t = 0; t < 6; ++t)
      for (int j = 0; j < 1024; ++j) c[t][j] = start[t] + j * step[t];
  }
};

const Tables& TheTables() {
  static const Tables tables;
  return tables;
}

int StartPhase(int row) { return (row % 4 == 1 || row % 4 == 2) ? 0 : 2; }

std::uint8_t Clamp255(std::int32_t v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); }

}  // namespace

void DecodeFramestoreRow(const std::uint8_t* a, const std::uint8_t* b, int width, int row, std::uint8_t* rgba) {
  if (width < 1) return;
  const Tables& t = TheTables();
  // The first two pixels are sampled differently: their doubled samples
  // are 2A and B.
  auto S = [&](int i) { return int(a[i]) + int(b[i]); };
  auto D = [&](int i) { return i == 0 ? 2 * a[0] : i == 1 ? int(b[1]) : 2 * b[i]; };
  const int last = width - 1;
  int phase = StartPhase(row);
  for (int i = 0; i < width; ++i, phase = (phase + 1) & 3) {
    const int s = S(i), d = D(i);
    int sp, dp, sn, dn;
    if (i == 0) {
      const int j = width > 1 ? 1 : 0;
      sp = S(j), dp = 2 * a[j];
    } else {
      sp = S(i - 1), dp = D(i - 1);
    }
    // The last pixel has no right neighbour: its left one stands in.
    const int n = i < last ? i + 1 : std::max(0, i - 1);
    sn = S(n), dn = D(n);
    int c1, c2;
    switch (phase) {
      case 0: c1 = 2 * (d - s), c2 = sp + dn - sn - dp; break;
      case 1: c2 = 2 * (d - s), c1 = dp + sn - sp - dn; break;
      case 2: c1 = 2 * (s - d), c2 = dp + sn - sp - dn; break;
      default: c2 = 2 * (s - d), c1 = sp + dn - sn - dp; break;
    }
    const int j1 = std::clamp(c1 + 512, 0, 1023), j2 = std::clamp(c2 + 512, 0, 1023);
    const std::int32_t y = t.y[s];
    std::uint8_t* p = rgba + 4 * i;
    p[0] = Clamp255((y + t.c[0][j1] + t.c[3][j2]) >> 16);
    p[1] = Clamp255((y + t.c[1][j1] + t.c[4][j2]) >> 16);
    p[2] = Clamp255((y + t.c[2][j1] + t.c[5][j2]) >> 16);
  }
}

void EncodeFramestoreRow(const std::uint8_t* rgba, int width, int row, std::uint8_t* a, std::uint8_t* b) {
  // The decoding is linear: colour = Y(S) + k1 C1 + k2 C2 + offset, with
  // Y(S) = 103970 + 62702 (S - 138) and the colour tables' slopes and
  // values at C = 0, all over 65536. Its inverse gives S, C1 and C2.
  static const auto inverse = [] {
    const double m[3][3] = {{1, 29972, 19469}, {1, -8528, -20285}, {1, -34643, 53360}};
    double inv[3][3];
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) {
        const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
        inv[r][c] = (m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1]) / det;
      }
    return std::array<std::array<double, 3>, 3>{{{inv[0][0], inv[0][1], inv[0][2]},
                                                 {inv[1][0], inv[1][1], inv[1][2]},
                                                 {inv[2][0], inv[2][1], inv[2][2]}}};
  }();
  // Values of the colour tables at C = 0, red, green and blue (C1 + C2).
  static constexpr double kOffset[3] = {225 + 14, -270 - 461, -72 + 302};
  int phase = StartPhase(row);
  for (int i = 0; i < width; ++i, phase = (phase + 1) & 3) {
    const std::uint8_t* p = rgba + 4 * i;
    // Aim at the middle of each colour step, as decoding truncates.
    double rhs[3];
    for (int k = 0; k < 3; ++k) rhs[k] = (p[k] + 0.5) * 65536.0 - kOffset[k];
    double yv = 0, c1 = 0, c2 = 0;
    for (int k = 0; k < 3; ++k) {
      yv += inverse[0][k] * rhs[k];
      c1 += inverse[1][k] * rhs[k];
      c2 += inverse[2][k] * rhs[k];
    }
    const double sReal = std::clamp(138.0 + (yv - 103970.0) / 62702.0, 0.0, 510.0);
    // The pixel's own samples carry one chroma component at its phase.
    const double own = phase == 0 ? c1 / 2 : phase == 1 ? c2 / 2 : phase == 2 ? -c1 / 2 : -c2 / 2;
    // S and X = B - A must be both even or both odd; of the nearest such
    // pairs take the one closest in colour (a step of X moves a channel
    // further than a step of S).
    int s = static_cast<int>(std::lround(sReal)), x = static_cast<int>(std::lround(own));
    if (((s ^ x) & 1) != 0) {
      double best = 1e9;
      int bs = s, bx = x;
      for (auto [ds, dx] : {std::pair{-1, 0}, std::pair{1, 0}, std::pair{0, -1}, std::pair{0, 1}}) {
        double cost = std::abs(s + ds - sReal) * 0.96 + std::abs(x + dx - own) * 1.7;
        if (cost < best) best = cost, bs = s + ds, bx = x + dx;
      }
      s = bs, x = bx;
    }
    int av, bv;
    if (i == 0) {
      // Decoded as D - S = A - B.
      av = (s + x) / 2, bv = (s - x) / 2;
    } else if (i == 1) {
      // Decoded as D - S = -A.
      av = -x, bv = s + x;
    } else {
      av = (s - x) / 2, bv = (s + x) / 2;
    }
    a[i] = Clamp255(av);
    b[i] = Clamp255(bv);
  }
}

}  // namespace qv
