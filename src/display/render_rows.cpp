#include "display/render_rows.h"

#include "display/render_state.h"

namespace qv::dither {
namespace {

int Clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

// The two-neighbour rule: half the sum of the error to the left and the
// error stored by the row rendered before, rounding toward zero.
int Diffuse(int value, int leftError, int rowError) { return Clamp255(value + (leftError + rowError) / 2); }

// Visits the columns of a row in the order the error diffusion runs.
template <class F>
inline void Columns(int width, bool rightToLeft, F&& f) {
  if (rightToLeft)
    for (int x = width - 1; x >= 0; --x) f(x);
  else
    for (int x = 0; x < width; ++x) f(x);
}

void SetNibble(std::uint8_t* out, int x, int index) {
  out[x >> 1] = static_cast<std::uint8_t>(out[x >> 1] | (index << ((x & 1) ? 0 : 4)));
}

int Shown565(int v, int mask, int shift) { return (v & mask) + ((v & mask) >> shift); }

// The colour modes' error diffusion: the error left of the pixel, per
// channel, and the row before's in the error rows.
struct ColourDiffusion {
  const ErrorRows& e;
  int lr = 0, lg = 0, lb = 0;

  // The source colour at x with the errors added.
  void Take(const PixelSource& src, int x, int& r, int& g, int& b) const {
    src.Colour(x, r, g, b);
    r = Diffuse(r, lr, e.r[x]);
    g = Diffuse(g, lg, e.g[x]);
    b = Diffuse(b, lb, e.b[x]);
  }
  // What the shown colour missed becomes the error at x and to its right.
  void Leave(int x, int r, int g, int b, int shownR, int shownG, int shownB) {
    e.r[x] = std::int16_t(lr = r - shownR);
    e.g[x] = std::int16_t(lg = g - shownG);
    e.b[x] = std::int16_t(lb = b - shownB);
  }
};

}  // namespace

void RenderRow(int mode, const PixelSource& src, std::uint8_t* out, int width, bool rightToLeft,
               const ErrorRows& e, CarriedErrors& carried) {
  switch (mode) {
    case kModeRgb24:
      for (int x = 0; x < width; ++x) {
        int r, g, b;
        src.Colour(x, r, g, b);
        out[3 * x] = std::uint8_t(b), out[3 * x + 1] = std::uint8_t(g), out[3 * x + 2] = std::uint8_t(r);
      }
      break;
    case kModeRgb32:
      for (int x = 0; x < width; ++x) {
        int r, g, b, a = 255;
        src.Colour(x, r, g, b);
        if (const std::uint8_t* p = src.Pixel(x)) a = src.alphaView ? 0 : p[3];
        std::uint8_t* o = out + 4 * x;
        o[0] = std::uint8_t(b), o[1] = std::uint8_t(g), o[2] = std::uint8_t(r), o[3] = std::uint8_t(a);
      }
      break;
    case kModeGray256:
      for (int x = 0; x < width; ++x) out[x] = std::uint8_t(src.Gray(x));
      break;
    case kModeRgb16: {
      ColourDiffusion d{e, carried.r, carried.g, carried.b};
      for (int x = 0; x < width; ++x) {
        int r, g, b;
        d.Take(src, x, r, g, b);
        d.Leave(x, r, g, b, Shown565(r, 0xF8, 5), Shown565(g, 0xFC, 6), Shown565(b, 0xF8, 5));
        out[3 * x] = std::uint8_t(b), out[3 * x + 1] = std::uint8_t(g), out[3 * x + 2] = std::uint8_t(r);
      }
      carried = {d.lr, d.lg, d.lb};
      break;
    }
    case kModeColour256: {
      ColourDiffusion d{e};
      Columns(width, rightToLeft, [&](int x) {
        int r, g, b;
        d.Take(src, x, r, g, b);
        int index;
        int top = r & 0xE0;
        if (top == (g & 0xE0) && top == (b & 0xE0)) {
          int k = kRenderGraySteps * (r + g + b) / 767;
          index = k >= 3 ? kRenderGrayFirst + k : 0;
        } else {
          index = kRenderLevels.red[unsigned(r)] * 32 + kRenderLevels.green[unsigned(g)] * 4 +
                  kRenderLevels.blue[unsigned(b)];
        }
        Rgb8 c = kRenderPalette[unsigned(index)];
        d.Leave(x, r, g, b, c.r, c.g, c.b);
        out[x] = std::uint8_t(index);
      });
      break;
    }
    case kModeColour16: {
      ColourDiffusion d{e};
      Columns(width, rightToLeft, [&](int x) {
        int r, g, b;
        d.Take(src, x, r, g, b);
        int index = StandardColourIndex(r, g, b);
        Rgb8 c = kStandardColours[std::size_t(index)];
        d.Leave(x, r, g, b, c.r, c.g, c.b);
        SetNibble(out, x, index);
      });
      break;
    }
    case kModeGray16: {
      int left = 0;
      Columns(width, rightToLeft, [&](int x) {
        int gray = Diffuse(src.Gray(x), left, e.r[x]);
        int index = gray >> 4;
        e.r[x] = std::int16_t(left = gray - 17 * index);
        SetNibble(out, x, index);
      });
      break;
    }
    case kModeBlackWhite: {
      int left = 0;
      Columns(width, rightToLeft, [&](int x) {
        int gray = Diffuse(src.Gray(x), left, e.r[x]);
        if (gray > 192) {
          out[x >> 3] = std::uint8_t(out[x >> 3] | (0x80 >> (x & 7)));
          left = gray - 255;
        } else {
          left = gray;
        }
        e.r[x] = std::int16_t(left);
      });
      break;
    }
    case kModeGray64: {
      int left = 0;
      for (int x = 0; x < width; ++x) {
        int gray = Diffuse(src.Gray(x), left, e.r[x]);
        int index = gray / 4;
        e.r[x] = std::int16_t(left = gray - Mode7Level(index));
        out[x] = std::uint8_t(index);
      }
      break;
    }
    default:
      break;
  }
}

}  // namespace qv::dither
