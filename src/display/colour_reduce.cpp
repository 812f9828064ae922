// Output colour reduction: palette choice and the mapping of every pixel to
// a palette index, with error diffusion or ordered dithering.
#include "display/colour_reduce.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "base/messages.h"
#include "base/progress.h"
#include "display/colour_quantizer.h"
#include "extlib/palette_library.h"
#include "store/display_palettes.h"
#include "store/image_record.h"

namespace qv {
namespace {

constexpr const char* kNoWorkMemory = "Not enough memory to render";
constexpr const char* kOutputTag = "rdux";


// Ordered-dither thresholds of the fixed palette, per channel.
constexpr int kMr[21] = {16, 18, 7, 12, 3, 9, 2, 17, 5, 13, 10, 4, 11, 19, 8, 14, 20, 3, 16, 6, 1};
constexpr int kMg[18] = {7, 12, 3, 18, 9, 2, 5, 13, 17, 10, 4, 11, 8, 14, 3, 16, 6, 1};
constexpr int kMb[48] = {23, 12, 22, 9, 19, 17, 29, 13, 31, 4, 11, 21, 14, 17, 34, 40, 6, 16, 35, 7, 28, 37, 3, 20,
                         32, 2, 25, 41, 5, 30, 38, 10, 24, 27, 39, 8, 26, 33, 3, 18, 1, 36, 0, 13, 4, 8, 12, 5};
constexpr int kM4[4][4] = {{0, 13, 4, 8}, {12, 5, 1, 9}, {6, 14, 10, 3}, {7, 11, 2, 15}};

inline int Clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

// The pixel's value plus the scaled mean of the error from the left and from
// above, clamped.
inline int Diffuse(int value, int left, int above, int amount) {
  int e = (left + above) / 2;
  if (amount != 100) e = e * amount / 100;
  return Clamp255(value + e);
}

struct Palette {
  std::uint8_t* red;
  std::uint8_t* green;
  std::uint8_t* blue;
};

// Error rows for one call, one signed 16-bit value per column and channel.
struct ErrorRows {
  std::int16_t* row[3] = {nullptr, nullptr, nullptr};
  static constexpr const char* kTags[3] = {"rdit", "gdit", "bdit"};
  bool Allocate(int width) {
    for (int c = 0; c < 3; ++c) row[c] = AllocRealArray<std::int16_t>(width, kTags[c]);
    return row[0] && row[1] && row[2];
  }
  ~ErrorRows() {
    for (int c = 0; c < 3; ++c)
      if (row[c]) FreeReal(row[c], kTags[c]);
  }
};

const std::uint8_t* RowOf(const ImageRecord* image, int y) {
  return image->pixels + static_cast<std::size_t>(image->rows[y]) * 4;
}

// Error diffusion of a gray level; `map(gray)` returns the index and sets
// gray to the shown level.
template <class Map>
void DiffuseGray(const ImageRecord* image, ReducedImage& out, std::int16_t* errors, int amount, Map map) {
  const int w = image->width;
  for (int y = 0; y < image->height; ++y) {
    Progress(y);
    const std::uint8_t* src = RowOf(image, y);
    std::uint8_t* dst = out.Row(y);
    const bool back = (y & 1) != 0;
    int left = 0;
    for (int n = 0, x = back ? w - 1 : 0; n < w; ++n, x += back ? -1 : 1) {
      const std::uint8_t* p = src + x * 4;
      int gray = Diffuse(Luminance(p[0], p[1], p[2]), left, errors[x], amount);
      int shown = gray;
      dst[x] = static_cast<std::uint8_t>(map(shown));
      left = errors[x] = static_cast<std::int16_t>(gray - shown);
    }
  }
}

// Error diffusion per channel; `map(r, g, b)` returns the index and sets the
// three values to that entry's colour.
template <class Map>
void DiffuseColour(const ImageRecord* image, ReducedImage& out, ErrorRows& errors, int amount, Map map) {
  const int w = image->width;
  std::int16_t* er = errors.row[0];
  std::int16_t* eg = errors.row[1];
  std::int16_t* eb = errors.row[2];
  for (int y = 0; y < image->height; ++y) {
    Progress(y);
    const std::uint8_t* src = RowOf(image, y);
    std::uint8_t* dst = out.Row(y);
    const bool back = (y & 1) != 0;
    const int step = back ? -1 : 1;
    int lr = 0, lg = 0, lb = 0;
    for (int n = 0, x = back ? w - 1 : 0; n < w; ++n, x += step) {
      const std::uint8_t* p = src + x * 4;
      int r = Diffuse(p[0], lr, er[x], amount);
      int g = Diffuse(p[1], lg, eg[x], amount);
      int b = Diffuse(p[2], lb, eb[x], amount);
      int sr = r, sg = g, sb = b;
      dst[x] = static_cast<std::uint8_t>(map(sr, sg, sb));
      lr = er[x] = static_cast<std::int16_t>(r - sr);
      lg = eg[x] = static_cast<std::int16_t>(g - sg);
      lb = eb[x] = static_cast<std::int16_t>(b - sb);
    }
  }
}

// Ordered dithering straight onto the levels of the default palette.
void OrderedDefault(const ImageRecord* image, ReducedImage& out) {
  for (int y = 0; y < image->height; ++y) {
    Progress(y);
    const std::uint8_t* src = RowOf(image, y);
    std::uint8_t* dst = out.Row(y);
    for (int x = 0; x < image->width; ++x) {
      int red = src[x * 4], green = src[x * 4 + 1], blue = src[x * 4 + 2];
      if ((red >> 2) == (green >> 2) && (blue ^ green) < 4) {
        int k = green * 20 / 255;
        int v = k * 255 / 20;
        int t = ((y / 4 + x) % 4) * ((x / 4 + y) % 5);
        if (v < green && (green - v) / 2 > t) k = std::min(k + 1, 20);
        if (v > green && (v - green) / 2 > t) k = std::max(k - 1, 0);
        dst[x] = static_cast<std::uint8_t>(224 + k);
        continue;
      }
      auto dither = [](int channel, int level, int top, int value, int threshold) {
        if ((channel - value) / 2 > threshold) return std::min(level + 1, top);
        if ((value - channel) / 2 > threshold) return std::max(level - 1, 0);
        return level;
      };
      int r = red * 6 / 255, g = green * 7 / 255, b = blue * 3 / 255;
      r = dither(red, r, 6, r * 255 / 6, kMr[((x / 3 + y) % 3) * 7 + (y / 2 + x) % 7]);
      g = dither(green, g, 7, g * 255 / 7, kMg[((x / 2 + y) % 6) * 3 + (y / 3 + x) % 3]);
      b = dither(blue, b, 3, 85 * b, kMb[((x / 5 + y) % 8) * 6 + (y / 4 + x) % 6]);
      dst[x] = static_cast<std::uint8_t>((r * 8 + g) * 4 + b);
    }
  }
}

// Ordered dithering against any prepared palette: each entry knows its
// neighbour up and down each channel; a pixel moves to a neighbour when its
// distance from the entry, in steps towards that neighbour, beats the
// threshold of its position.
bool OrderedNearest(const ImageRecord* image, ReducedImage& out, const Palette& pal, int colours, int amount) {
  static constexpr const char* kTags[6] = {"rnext", "gnext", "bnext", "rprev", "gprev", "bprev"};
  std::uint8_t* tables[6] = {};
  bool ok = true;
  for (int i = 0; i < 6; ++i) ok = (tables[i] = AllocRealArray<std::uint8_t>(256, kTags[i])) != nullptr && ok;
  auto release = [&] {
    for (int i = 0; i < 6; ++i)
      if (tables[i]) FreeReal(tables[i], kTags[i]);
  };
  if (!ok) {
    release();
    ShowNote(kNoWorkMemory);
    return false;
  }
  ColourReduceState& s = ReduceState();
  NearestSearch search(s);
  std::uint8_t* channels[3] = {pal.red, pal.green, pal.blue};

  BeginProgress("Setting Quantization Directions", colours);
  for (int i = 0; i < colours; ++i) {
    Progress(i);
    for (int c = 0; c < 3; ++c) {
      int rgb[3] = {pal.red[i], pal.green[i], pal.blue[i]};
      int own = rgb[c];
      int index = i;
      for (int v = own; v < 255 && index == i;) {
        rgb[c] = ++v;
        index = search.Find(rgb[0], rgb[1], rgb[2]);
      }
      tables[c][i] = static_cast<std::uint8_t>(index);
      index = i;
      for (int v = own; v > 0 && index == i;) {
        rgb[c] = --v;
        index = search.Find(rgb[0], rgb[1], rgb[2]);
      }
      tables[3 + c][i] = static_cast<std::uint8_t>(index);
    }
  }
  for (int i = colours; i < 256; ++i)
    for (auto* table : tables) table[i] = static_cast<std::uint8_t>(i);
  EndProgress();

  const int a = amount * 16 / 100;
  // Moves `index` along channel c when the pixel lies far enough towards
  // the neighbouring entry.
  auto step = [&](int index, int c, int value, int threshold) {
    const std::uint8_t* ch = channels[c];
    int d = value - ch[index];
    if (d == 0) return index;
    int other = d > 0 ? tables[c][index] : tables[3 + c][index];
    int span = std::abs(ch[other] - ch[index]);
    if (span == 0) span = 1;
    // threshold < |a x d / span| (truncated), without the division.
    return std::abs(a * d) >= (threshold + 1) * span ? other : index;
  };
  for (int y = 0; y < image->height; ++y) {
    Progress(y);
    const std::uint8_t* src = RowOf(image, y);
    std::uint8_t* dst = out.Row(y);
    for (int x = 0; x < image->width; ++x) {
      const std::uint8_t* p = src + x * 4;
      int index = search.Find(p[0], p[1], p[2]);
      index = step(index, 0, p[0], kM4[y & 3][x & 3]);
      index = step(index, 1, p[1], kM4[(y - 1) & 3][(y + x + 1) & 3]);
      index = step(index, 2, p[2], kM4[(y + x) & 3][(x + 2) & 3]);
      dst[x] = static_cast<std::uint8_t>(index);
    }
  }
  release();
  return true;
}

// The cube, the gray ramp and white: the layout the render palette starts
// with.
void FillDefaultColours(const Palette& pal, int count) {
  for (int i = 0; i < count; ++i) {
    int r = 255, g = 255, b = 255;
    if (i < 224) {
      r = (i >> 5) * 255 / 6;
      g = ((i >> 2) & 7) * 255 / 7;
      b = (i & 3) * 85;
    } else if (i < 245) {
      r = g = b = (i - 224) * 255 / 21;
    }
    pal.red[i] = static_cast<std::uint8_t>(r);
    pal.green[i] = static_cast<std::uint8_t>(g);
    pal.blue[i] = static_cast<std::uint8_t>(b);
  }
}

PaletteRecord RecordOf(const Palette& pal, int count) {
  PaletteRecord record{};
  std::copy_n(pal.red, 256, record.red);
  std::copy_n(pal.green, 256, record.green);
  std::copy_n(pal.blue, 256, record.blue);
  record.count = count;
  return record;
}

// Maps through the prepared nearest search, with or without dithering.
bool MapNearest(const ImageRecord* image, ReducedImage& out, ErrorRows& errors, const Palette& pal, int colours,
                bool ordered, int amount) {
  if (ordered) return OrderedNearest(image, out, pal, colours, amount);
  NearestSearch search(ReduceState());
  DiffuseColour(image, out, errors, amount, [&](int& r, int& g, int& b) {
    int i = search.Find(r, g, b);
    r = pal.red[i];
    g = pal.green[i];
    b = pal.blue[i];
    return i;
  });
  return true;
}

}  // namespace

ReducedImage::ReducedImage(int width, int height, int bitsPerPixel) {
  std::int64_t stride = bitsPerPixel == 24 ? (std::int64_t{width} * 3 + 3) / 4 * 4 : width;
  if (width < 1 || height < 1 || stride > INT32_MAX) return;
  data_ = static_cast<std::uint8_t*>(AllocReal(stride * height, kOutputTag));
  if (!data_) return;
  width_ = width;
  height_ = height;
  bits_ = bitsPerPixel;
  stride_ = static_cast<int>(stride);
}

ReducedImage::ReducedImage(ReducedImage&& other) noexcept { *this = std::move(other); }

ReducedImage& ReducedImage::operator=(ReducedImage&& other) noexcept {
  if (this != &other) {
    Release();
    data_ = std::exchange(other.data_, nullptr);
    width_ = other.width_;
    height_ = other.height_;
    bits_ = other.bits_;
    stride_ = other.stride_;
    colours_ = other.colours_;
  }
  return *this;
}

ReducedImage::~ReducedImage() { Release(); }

void ReducedImage::Release() {
  if (data_) FreeReal(data_, kOutputTag);
  data_ = nullptr;
}

ReducedImage ReduceColours(ImageRecord* image, std::uint8_t* red, std::uint8_t* green, std::uint8_t* blue,
                           int target, int source, bool ordered, bool store, int amount, int givenCount) {
  if (!image || !red || !green || !blue) return {};
  if (target < kReduce24Bits || target > kReduce2Colours) return {};
  PaletteRecord& render = PaletteLibrary().render;
  amount = std::clamp(amount, 0, 100);
  const Palette pal{red, green, blue};

  if (source == kPaletteGray) {
    if (target == kReduce256Colours) target = kReduce256Grays;
    if (target == kReduce16Colours) target = kReduce16Grays;
  }
  int bits = 24;
  if (target == kReduce256Colours || target == kReduce256Grays) bits = 8;
  if (target == kReduce16Colours || target == kReduce16Grays) bits = 4;
  if (target == kReduce2Colours) bits = 1;
  int count = 1 << bits;
  const bool colourTarget = target == kReduce256Colours || target == kReduce16Colours;
  if (colourTarget && (source == kPaletteChoose || source == kPaletteRender))
    count = std::min(count, std::max(2, PaletteCount(render)));
  if (colourTarget && source == kPaletteGiven && givenCount > 0) count = std::min(count, givenCount);
  if (source != kPaletteGiven) {
    int copied = std::min(count, 256);
    std::copy_n(render.red, copied, red);
    std::copy_n(render.green, copied, green);
    std::copy_n(render.blue, copied, blue);
  }
  LogLine("Rendering %3d colors to %d bits\n", count, bits);

  if (LockImage(image) != 0) return {};
  struct Unlock {
    ImageRecord* image;
    ~Unlock() { UnlockImage(image); }
  } unlock{image};

  ErrorRows errors;
  ReducedImage out(image->width, image->height, bits == 24 ? 24 : 8);
  if (!out || !errors.Allocate(image->width)) {
    ShowNote(kNoWorkMemory);
    return {};
  }
  int colours = bits == 24 ? 0 : count;

  switch (target) {
    case kReduce24Bits: {
      BeginProgress("- Conversion -", image->height);
      for (int y = 0; y < image->height; ++y) {
        Progress(y);
        const std::uint8_t* src = RowOf(image, y);
        std::uint8_t* dst = out.Row(y);
        for (int x = 0; x < image->width; ++x, src += 4, dst += 3) {
          dst[0] = src[2];
          dst[1] = src[1];
          dst[2] = src[0];
        }
      }
      EndProgress();
      break;
    }
    case kReduce2Colours: {
      red[0] = green[0] = blue[0] = 0;
      red[1] = green[1] = blue[1] = 255;
      BeginProgress("B & W Render", image->height);
      DiffuseGray(image, out, errors.row[0], amount, [](int& gray) {
        if (gray > 127) {
          gray = 255;
          return 1;
        }
        gray = 0;
        return 0;
      });
      EndProgress();
      break;
    }
    case kReduce16Grays: {
      for (int i = 0; i < 16; ++i) red[i] = green[i] = blue[i] = static_cast<std::uint8_t>(17 * i);
      BeginProgress("Gray Render", image->height);
      DiffuseGray(image, out, errors.row[0], amount, [](int& gray) {
        int index = gray >> 4;
        gray = 17 * index;
        return index;
      });
      EndProgress();
      break;
    }
    case kReduce256Grays: {
      for (int i = 0; i < 256; ++i) red[i] = green[i] = blue[i] = static_cast<std::uint8_t>(i);
      BeginProgress("Gray Render", image->height);
      for (int y = 0; y < image->height; ++y) {
        Progress(y);
        const std::uint8_t* src = RowOf(image, y);
        std::uint8_t* dst = out.Row(y);
        for (int x = 0; x < image->width; ++x, src += 4)
          dst[x] = static_cast<std::uint8_t>(Luminance(src[0], src[1], src[2]));
      }
      EndProgress();
      break;
    }
    case kReduce16Colours:
    case kReduce256Colours: {
      const bool sixteen = target == kReduce16Colours;
      // Sixteen colours are always diffused: ordered patterns of so few
      // colours are too coarse to look at.
      const bool useOrdered = ordered && !sixteen;
      if (source == kPaletteDefault) {
        if (sixteen) {
          for (int i = 0; i < 16; ++i) {
            red[i] = kStandardColours[i].r;
            green[i] = kStandardColours[i].g;
            blue[i] = kStandardColours[i].b;
          }
        } else {
          FillDefaultColours(pal, count);
        }
      } else if (source == kPaletteChoose) {
        PaletteRecord chosen = RecordOf(pal, count);
        if (SelectPaletteColours(image, chosen, count, sixteen ? 0 : 1) != 0) return {};
        colours = std::max(1, chosen.count);
        std::copy_n(chosen.red, 256, red);
        std::copy_n(chosen.green, 256, green);
        std::copy_n(chosen.blue, 256, blue);
      } else {
        if (PrepareNearestSearch(RecordOf(pal, count)) != 0) return {};
      }

      BeginProgress("Color Render", image->height);
      bool mapped = true;
      if (source == kPaletteDefault && sixteen) {
        DiffuseColour(image, out, errors, amount, [&](int& r, int& g, int& b) {
          int i = StandardColourIndex(r, g, b);
          r = kStandardColours[i].r;
          g = kStandardColours[i].g;
          b = kStandardColours[i].b;
          return i;
        });
      } else if (source == kPaletteDefault && useOrdered) {
        OrderedDefault(image, out);
      } else if (source == kPaletteDefault) {
        DiffuseColour(image, out, errors, amount, [&](int& r, int& g, int& b) {
          int i;
          if ((r & 0xE0) == (g & 0xE0) && (b ^ g) <= 31) {
            int k = 21 * (r + g + b) / 767;
            i = k >= 3 ? 224 + k : 0;
          } else {
            i = kRenderLevels.red[r] * 32 + kRenderLevels.green[g] * 4 + kRenderLevels.blue[b];
          }
          r = red[i];
          g = green[i];
          b = blue[i];
          return i;
        });
      } else {
        mapped = MapNearest(image, out, errors, pal, colours, useOrdered, amount);
      }
      EndProgress();
      if (!mapped) return {};
      break;
    }
    default:
      return {};
  }

  out.SetColours(colours);
  if (store && colours > 0) {
    std::copy_n(red, colours, render.red);
    std::copy_n(green, colours, render.green);
    std::copy_n(blue, colours, render.blue);
  }
  return out;
}

ReducedImage ReduceWithSettings(ImageRecord* image, std::uint8_t* red, std::uint8_t* green, std::uint8_t* blue,
                                int target) {
  const ColourReduceState& s = ReduceState();
  return ReduceColours(image, red, green, blue, target, s.chooseColors, s.ordered != 0, true, s.ditherAmount);
}

ReducedImage ReduceFrame(ImageRecord* image, std::uint8_t* red, std::uint8_t* green, std::uint8_t* blue, int target,
                         bool firstFrame) {
  ColourReduceState& s = ReduceState();
  // Only colours chosen from the image change from frame to frame; every
  // other source gives the same palette anyway.
  const bool locking = s.lockAfterFirst && s.chooseColors == kPaletteChoose;
  if (!firstFrame && locking && s.lockedValid && s.lockedTarget == target) {
    std::copy_n(s.lockedRed, 256, red);
    std::copy_n(s.lockedGreen, 256, green);
    std::copy_n(s.lockedBlue, 256, blue);
    return ReduceColours(image, red, green, blue, target, kPaletteGiven, s.ordered != 0, true, s.ditherAmount,
                         s.lockedCount);
  }
  ReducedImage out = ReduceWithSettings(image, red, green, blue, target);
  s.lockedValid = false;
  if (out && locking && out.colours() > 0) {
    s.lockedValid = true;
    s.lockedTarget = target;
    s.lockedCount = out.colours();
    std::copy_n(red, 256, s.lockedRed);
    std::copy_n(green, 256, s.lockedGreen);
    std::copy_n(blue, 256, s.lockedBlue);
  }
  return out;
}

int NumberOfColours() { return PaletteCount(PaletteLibrary().render); }

void SetNumberOfColours(int n) { PaletteLibrary().render.count = std::clamp(n, 1, 256); }

char UsageLetter(int entry) {
  if (entry < 0 || entry >= kMaxPaletteEntries) return 'p';
  static constexpr char kLetters[3] = {'p', 'u', 's'};
  std::uint8_t code = ReduceState().usage[entry];
  return code <= kUseSkip ? kLetters[code] : 'p';
}

void SetUsage(int entry, std::uint8_t code) {
  if (entry < 0 || entry >= kMaxPaletteEntries || code > kUseSkip) return;
  ReduceState().usage[entry] = code;
}

}  // namespace qv
