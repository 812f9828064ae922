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

struct RgbColour {
  int r, g, b;
};
// Back from HSL; a hue outside 0..419 leaves `unchanged`.
RgbColour HslToRgb(const Hsl& hsl, RgbColour unchanged);

}  // namespace qv
