// The fixed colour tables of the display: the layout of the render palette
// ("RENDER.pal"), the gray ramp of the mapping palette ("GRAY256.pal"), the
// sixteen standard colours with their 512-cell lookup, and the level ranges
// by which the 256-colour display picks a cube entry.
//
// Everything here is constant data computed at compile time; the palette
// records that a user can edit are built from these layouts.
#pragma once

#include <array>
#include <cstdint>

namespace qv {

struct Rgb8 {
  std::uint8_t r, g, b;
};

// The render palette layout: a 7 x 8 x 4 cube in entries 0-223
// (index = red level x 32 + green level x 4 + blue level), a 21-step gray
// ramp in 224-244, white in 245-255.
inline constexpr int kRenderCubeEntries = 224;
inline constexpr int kRenderGrayFirst = 224;
inline constexpr int kRenderGraySteps = 21;
inline constexpr int kRenderDisplayEntries = 246;  // what the 256-colour view uses

constexpr Rgb8 RenderPaletteEntry(int i) {
  if (i < kRenderCubeEntries) {
    int r = i / 32, g = (i / 4) % 8, b = i % 4;
    return {static_cast<std::uint8_t>(r * 255 / 6), static_cast<std::uint8_t>(g * 255 / 7),
            static_cast<std::uint8_t>(b * 85)};
  }
  if (i < kRenderGrayFirst + kRenderGraySteps) {
    auto v = static_cast<std::uint8_t>((i - kRenderGrayFirst) * 255 / kRenderGraySteps);
    return {v, v, v};
  }
  return {255, 255, 255};
}

constexpr std::array<Rgb8, 256> MakeRenderPalette() {
  std::array<Rgb8, 256> t{};
  for (int i = 0; i < 256; ++i) t[static_cast<std::size_t>(i)] = RenderPaletteEntry(i);
  return t;
}
inline constexpr std::array<Rgb8, 256> kRenderPalette = MakeRenderPalette();

// Fills 256 entries of three channel arrays with the render palette layout
// or with the 256-step gray ramp.
void FillRenderPalette(std::uint8_t* red, std::uint8_t* green, std::uint8_t* blue);
void FillGrayRamp(std::uint8_t* red, std::uint8_t* green, std::uint8_t* blue);

// Level ranges of the 256-colour display, per channel value. They are not
// the nearest cube level everywhere (the boundaries lean towards the lower
// level), so they are kept as the table that defines them.
struct RenderLevels {
  std::array<std::uint8_t, 256> red{}, green{}, blue{};
};
constexpr RenderLevels MakeRenderLevels() {
  // Highest value of each level; the last level runs to 255.
  constexpr int kRedTop[] = {24, 66, 109, 151, 194, 236, 255};
  constexpr int kGreenTop[] = {20, 56, 93, 129, 166, 202, 238, 255};
  constexpr int kBlueTop[] = {52, 137, 222, 255};
  RenderLevels l;
  int r = 0, g = 0, b = 0;
  for (int v = 0; v < 256; ++v) {
    while (v > kRedTop[r]) ++r;
    while (v > kGreenTop[g]) ++g;
    while (v > kBlueTop[b]) ++b;
    l.red[v] = static_cast<std::uint8_t>(r);
    l.green[v] = static_cast<std::uint8_t>(g);
    l.blue[v] = static_cast<std::uint8_t>(b);
  }
  return l;
}
inline constexpr RenderLevels kRenderLevels = MakeRenderLevels();

// The sixteen standard colours in index order, at their nominal values.
inline constexpr std::array<Rgb8, 16> kStandardColours = {{
    {0, 0, 0}, {128, 0, 0}, {0, 128, 0}, {128, 128, 0},
    {0, 0, 128}, {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
    {128, 128, 128}, {255, 0, 0}, {0, 255, 0}, {255, 255, 0},
    {0, 0, 255}, {255, 0, 255}, {0, 255, 255}, {255, 255, 255},
}};

// Standard colour index of a colour cell: (red >> 5) x 64 + (green >> 5) x 8 + (blue >> 5).
extern const std::array<std::uint8_t, 512> kStandardColourLookup;

inline int StandardColourIndex(int red, int green, int blue) {
  return kStandardColourLookup[static_cast<unsigned>((red >> 5) * 64 + (green >> 5) * 8 + (blue >> 5))];
}

// Luminance 0..255 as the sum of three rounded-down weights (85, 105, 65 of 255).
struct LuminanceTables {
  std::array<std::uint8_t, 256> red{}, green{}, blue{};
};
constexpr LuminanceTables MakeLuminanceTables() {
  LuminanceTables t;
  for (int i = 0; i < 256; ++i) {
    t.red[i] = static_cast<std::uint8_t>(i * 85 / 255);
    t.green[i] = static_cast<std::uint8_t>(i * 105 / 255);
    t.blue[i] = static_cast<std::uint8_t>(i * 65 / 255);
  }
  return t;
}
inline constexpr LuminanceTables kLuminance = MakeLuminanceTables();

inline int Luminance(int red, int green, int blue) {
  return kLuminance.red[static_cast<unsigned>(red)] + kLuminance.green[static_cast<unsigned>(green)] +
         kLuminance.blue[static_cast<unsigned>(blue)];
}

}  // namespace qv
