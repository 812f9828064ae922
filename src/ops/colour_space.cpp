#include "ops/colour_space.h"

#include <algorithm>

namespace qv {

Hsl RgbToHsl(int r, int g, int b) {
  int mx = std::max({r, g, b});
  int mn = std::min({r, g, b});
  Hsl out{0, 0, (mx + mn) * 100 / 510};
  if (mx == mn) return out;
  int span = mx - mn;
  out.s = span * 100 / (out.l < 50 ? mx + mn : 510 - mx - mn);
  if (r == mx)
    out.h = (g - b) * 60 / span;
  else if (g == mx)
    out.h = (b - r) * 60 / span + 120;
  else
    out.h = (r - g) * 60 / span + 240;
  if (out.h < 0) out.h += 360;
  if (out.h > 360) out.h -= 360;
  return out;
}

}  // namespace qv
