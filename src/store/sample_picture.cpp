#include "store/sample_picture.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "store/image_record.h"

namespace qv {
namespace {

using Rgb = std::array<int, 3>;

constexpr Rgb kSkyTop{24, 38, 104};
constexpr Rgb kSkyHorizon{246, 164, 92};
constexpr Rgb kGroundNear{58, 128, 64};
constexpr Rgb kGroundFar{22, 70, 40};
constexpr Rgb kSunCore{255, 242, 196};
constexpr Rgb kSunGlow{255, 206, 128};
constexpr Rgb kCheckLight{236, 236, 228};
constexpr Rgb kCheckDark{52, 56, 70};

// Floor of the square root; exact, so the picture does not depend on the
// machine's floating point.
std::int64_t IntSqrt(std::int64_t v) {
  if (v <= 0) return 0;
  std::int64_t r = 0;
  std::int64_t bit = std::int64_t{1} << 62;
  while (bit > v) bit >>= 2;
  while (bit != 0) {
    if (v >= r + bit) {
      v -= r + bit;
      r = (r >> 1) + bit;
    } else {
      r >>= 1;
    }
    bit >>= 2;
  }
  return r;
}

// a toward b by w / 256.
Rgb Mix(const Rgb& a, const Rgb& b, int w) {
  w = std::clamp(w, 0, 256);
  Rgb out{};
  for (int i = 0; i < 3; ++i) out[std::size_t(i)] = (a[std::size_t(i)] * (256 - w) + b[std::size_t(i)] * w) / 256;
  return out;
}

// A fully saturated colour of the hue circle; h runs 0..1535.
Rgb HueColour(int h) {
  h = std::clamp(h, 0, 1535);
  int f = h % 256;
  switch (h / 256) {
    case 0: return {255, f, 0};
    case 1: return {255 - f, 255, 0};
    case 2: return {0, 255, f};
    case 3: return {0, 255 - f, 255};
    case 4: return {f, 0, 255};
    default: return {255, 0, 255 - f};
  }
}

// The direction of (dx, dy) as 0..2047 for a full turn, monotonic in the
// angle though not proportional to it: enough to spread the hues evenly.
int PseudoAngle(int dx, int dy) {
  int ax = std::abs(dx), ay = std::abs(dy);
  if (ax == 0 && ay == 0) return 0;
  int a = ax >= ay ? ay * 256 / ax : 512 - ax * 256 / ay;
  if (dx >= 0 && dy >= 0) return a;
  if (dx < 0 && dy >= 0) return 1024 - a;
  if (dx < 0) return 1024 + a;
  return std::min(2047, 2048 - a);
}

Rgb Background(const SampleLayout& l, int x, int y) {
  if (y < l.horizon) {
    Rgb sky = Mix(kSkyTop, kSkyHorizon, y * 256 / std::max(1, l.horizon));
    // A faint violet toward the left keeps the sky from being one-dimensional.
    sky[0] += (l.width - 1 - x) * 28 / l.width;
    sky[2] += (l.width - 1 - x) * 18 / l.width;
    return sky;
  }
  int depth = l.height - l.horizon;
  Rgb ground = Mix(kGroundFar, kGroundNear, (y - l.horizon) * 256 / std::max(1, depth));
  // Slanted furrows: a triangle wave across the field.
  int period = std::max(8, std::min(l.width, l.height) / 16);
  int phase = (x + 2 * (y - l.horizon)) % period;
  int shade = std::abs(2 * phase - period) * 24 / period - 12;
  for (int& c : ground) c += shade;
  return ground;
}

Rgb AddSun(const SampleLayout& l, int x, int y, Rgb c) {
  std::int64_t dx = x - l.sunX, dy = y - l.sunY;
  std::int64_t d16 = IntSqrt((dx * dx + dy * dy) * 256);  // distance in 1/16 pixel
  std::int64_t r16 = std::int64_t{l.sunRadius} * 16;
  if (d16 < 3 * r16) {
    std::int64_t q = (3 * r16 - d16) * 256 / (2 * r16);  // 0 at the glow's rim, 256 at the disc
    q = std::min<std::int64_t>(q, 256);
    c = Mix(c, kSunGlow, static_cast<int>(q * q * 170 / 65536));
  }
  // The disc fades into its glow over half its radius.
  std::int64_t soft16 = std::max<std::int64_t>(32, r16 / 2);
  if (d16 < r16 + soft16 / 2) c = Mix(c, kSunCore, static_cast<int>((r16 + soft16 / 2 - d16) * 256 / soft16));
  return c;
}

Rgb AddWheel(const SampleLayout& l, int x, int y, Rgb c) {
  int dx = x - l.wheelX, dy = y - l.wheelY;
  std::int64_t d2 = std::int64_t{dx} * dx + std::int64_t{dy} * dy;
  std::int64_t r = l.wheelRadius;
  if (d2 > r * r) return c;
  int saturation = static_cast<int>(IntSqrt(d2) * 256 / std::max<std::int64_t>(1, r));
  return Mix({255, 255, 255}, HueColour(PseudoAngle(dx, dy) * 3 / 4), saturation);
}

Rgb AddShadow(const SampleLayout& l, int x, int y, Rgb c) {
  std::int64_t rx = std::max(2, (l.blockRight - l.blockLeft) * 8 / 10);
  std::int64_t ry = std::max(2, std::min(l.width, l.height) / 28);
  std::int64_t dx = x - ((l.blockLeft + l.blockRight) / 2 + rx / 3), dy = y - l.blockBottom;
  std::int64_t k = (dx * dx * ry * ry + dy * dy * rx * rx) * 256 / (rx * rx * ry * ry);
  if (k >= 256) return c;
  int darken = static_cast<int>((256 - k) * 120 / 256);
  for (int& v : c) v = v * (256 - darken) / 256;
  return c;
}

std::uint8_t Alpha(const SampleLayout& l, int x, int y) {
  int alpha = 255;
  int z = x + y;
  int solid = l.cornerReach * 2 / 3;
  if (z < solid) alpha = 0;
  else if (z < l.cornerReach) alpha = (z - solid) * 255 / std::max(1, l.cornerReach - solid);
  if (y >= l.rampTop) alpha = std::min(alpha, 255 - x * 255 / std::max(1, l.width - 1));
  return static_cast<std::uint8_t>(alpha);
}

}  // namespace

SampleLayout SampleLayoutFor(int width, int height) {
  SampleLayout l;
  int s = std::min(width, height);
  l.width = width;
  l.height = height;
  l.horizon = height * 60 / 100;
  l.sunX = width * 74 / 100, l.sunY = height * 22 / 100, l.sunRadius = std::max(2, s * 9 / 100);
  l.wheelX = width * 21 / 100, l.wheelY = height * 33 / 100, l.wheelRadius = std::max(2, s * 15 / 100);
  l.blockLeft = width * 42 / 100, l.blockRight = width * 56 / 100 - 1;
  l.blockTop = height * 44 / 100, l.blockBottom = height * 72 / 100;
  l.diamondX = width * 82 / 100, l.diamondY = height * 76 / 100, l.diamondHalf = std::max(1, s * 10 / 100);
  l.checkCell = std::max(1, s / 40);
  l.checkLeft = width * 6 / 100, l.checkTop = height * 78 / 100;
  l.rampTop = height - std::max(1, height * 6 / 100);
  l.cornerReach = std::max(3, s * 18 / 100);
  return l;
}

ImageRecord* MakeSamplePicture(int width, int height) {
  if (width < 16 || height < 16 || std::int64_t{width} * height > kMaxImagePixels) return nullptr;
  ImageRecord* image = CreateLockedImage(width, height, "inew");
  if (!image) return nullptr;
  const SampleLayout l = SampleLayoutFor(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      Rgb c = Background(l, x, y);
      c = AddSun(l, x, y, c);
      c = AddWheel(l, x, y, c);
      if (y >= l.horizon) c = AddShadow(l, x, y, c);
      if (x >= l.blockLeft && x <= l.blockRight && y >= l.blockTop && y <= l.blockBottom)
        c = {kSampleBlockColour[0], kSampleBlockColour[1], kSampleBlockColour[2]};
      if (std::abs(x - l.diamondX) + std::abs(y - l.diamondY) <= l.diamondHalf)
        c = {kSampleDiamondColour[0], kSampleDiamondColour[1], kSampleDiamondColour[2]};
      int cx = (x - l.checkLeft) / l.checkCell, cy = (y - l.checkTop) / l.checkCell;
      if (x >= l.checkLeft && y >= l.checkTop && cx < 8 && cy < 4) c = (cx + cy) % 2 ? kCheckDark : kCheckLight;
      std::uint8_t* p = PixelAt(image, x, y);
      for (int i = 0; i < 3; ++i) p[i] = static_cast<std::uint8_t>(std::clamp(c[std::size_t(i)], 0, 255));
      p[3] = Alpha(l, x, y);
    }
  }
  UnlockImage(image);
  image->hasAlpha = 1;
  image->bitDepth = 32;
  std::snprintf(image->name, sizeof image->name, "sample");
  std::snprintf(image->format, sizeof image->format, "new");
  return image;
}

}  // namespace qv
