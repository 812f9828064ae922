#include "base/colour_space.h"

#include <algorithm>

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

}  // namespace qv
