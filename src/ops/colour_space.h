// Integer colour-space conversions shared by the colour operations, the
// colour key and the colour wand.
#pragma once

namespace qv {

struct Hsl {
  int h;  // 0..360
  int s;  // 0..100
  int l;  // 0..100
};

Hsl RgbToHsl(int r, int g, int b);

struct Rgb {
  int r, g, b;
};
// Back from HSL; a hue outside 0..419 leaves `unchanged`.
Rgb HslToRgb(const Hsl& hsl, Rgb unchanged);

}  // namespace qv
