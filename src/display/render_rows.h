// One window row of a view in each display mode, with the error diffusion
// the modes share. Used by the renderer only.
#pragma once

#include <cstdint>

#include "store/display_palettes.h"

namespace qv::dither {

// The colour a window pixel shows before any dithering.
struct PixelSource {
  const std::int32_t* xmap = nullptr;
  const std::uint8_t* row = nullptr;  // the image row, null off the image
  bool blend = false;
  bool alphaView = false;
  int back[3] = {0, 0, 0};
  int alpha[3] = {0, 0, 0};

  const std::uint8_t* Pixel(int x) const {
    if (!row) return nullptr;
    std::int32_t ix = xmap[x];
    return ix < 0 ? nullptr : row + std::size_t(ix) * 4;
  }

  void Colour(int x, int& r, int& g, int& b) const {
    const std::uint8_t* p = Pixel(x);
    if (!p) {
      r = back[0], g = back[1], b = back[2];
    } else if (alphaView) {
      r = g = b = p[3];
    } else if (blend && p[3] < 255) {
      int a = p[3];
      r = (p[0] * a + alpha[0] * (255 - a)) / 255;
      g = (p[1] * a + alpha[1] * (255 - a)) / 255;
      b = (p[2] * a + alpha[2] * (255 - a)) / 255;
    } else {
      r = p[0], g = p[1], b = p[2];
    }
  }

  int Gray(int x) const {
    if (alphaView) {
      const std::uint8_t* p = Pixel(x);
      if (p) return p[3];
    }
    int r, g, b;
    Colour(x, r, g, b);
    return Luminance(r, g, b);
  }
};

struct ErrorRows {
  std::int16_t* r;
  std::int16_t* g;
  std::int16_t* b;
};

// Mode 6 carries its left errors from one row into the next.
struct CarriedErrors {
  int r = 0, g = 0, b = 0;
};

inline int Mode7Level(int index) { return 4 * index + index / 16; }

// Renders one row into its DIB bytes (the row's errors updated as it goes);
// rightToLeft runs the diffusion backwards (serpentine modes, odd rows).
void RenderRow(int mode, const PixelSource& src, std::uint8_t* out, int width, bool rightToLeft,
               const ErrorRows& e, CarriedErrors& carried);

}  // namespace qv::dither
