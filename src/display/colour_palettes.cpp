#include "display/colour_palettes.h"

#include <cstring>

#include "app/fixed_text.h"

namespace qv {
namespace {

// The 16-colour lookup: one row of 64 hexadecimal digits per red level,
// green-major within the row (digit = green level x 8 + blue level).
constexpr const char* kStandard16Rows[8] = {
    "004444cc004444cc226666cc2266666c2266666e226666eeaaa66eeeaaaaeeee",
    "004444cc004444cc226666cc2266666c2266666e226666eeaaa66eeeaaaaeeee",
    "115555cc115555cc338888cc3388888c3388888e338888eeaaa88eeeaaaaeeee",
    "1155555c1155555c3388888c33888888338888873388887733888777aaa8777e",
    "1155555d1155555d3388888d33888887338888773388877733887777bbb77777",
    "115555dd115555dd338888dd338888773388877733887777bbb77777bbb7777f",
    "99955ddd99955ddd99988ddd3388877733887777bbb77777bbb7777fbbb777ff",
    "9999dddd9999dddd9999dddd9998777dbbb77777bbb7777fbbb777ffbbbb7fff",
};

constexpr int HexDigit(char c) { return c <= '9' ? c - '0' : c - 'a' + 10; }

// Upper bounds of each cube level.
constexpr int kRedTops[] = {24, 66, 109, 151, 194, 236, 255};
constexpr int kGreenTops[] = {20, 56, 93, 129, 166, 202, 238, 255};
constexpr int kBlueTops[] = {52, 137, 222, 255};

template <std::size_t N>
int LevelOf(const int (&tops)[N], int value) {
  int level = 0;
  while (level + 1 < static_cast<int>(N) && value > tops[level]) ++level;
  return level;
}

}  // namespace

const std::array<std::array<std::uint8_t, 3>, 16> kStandard16Colours = {{
    {0, 0, 0}, {128, 0, 0}, {0, 128, 0}, {128, 128, 0},
    {0, 0, 128}, {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
    {128, 128, 128}, {255, 0, 0}, {0, 255, 0}, {255, 255, 0},
    {0, 0, 255}, {255, 0, 255}, {0, 255, 255}, {255, 255, 255},
}};

int PaletteCount(const PaletteRecord& palette) {
  if (palette.count <= 0) return 256;
  return palette.count > kMaxPaletteEntries ? kMaxPaletteEntries : palette.count;
}

void FillRenderPalette(PaletteRecord& palette) {
  std::memset(&palette, 0, sizeof palette);
  for (int r = 0; r < 7; ++r)
    for (int g = 0; g < 8; ++g)
      for (int b = 0; b < 4; ++b) {
        int i = r * 32 + g * 4 + b;
        palette.red[i] = static_cast<std::uint8_t>(r * 255 / 6);
        palette.green[i] = static_cast<std::uint8_t>(g * 255 / 7);
        palette.blue[i] = static_cast<std::uint8_t>(b * 85);
      }
  for (int k = 0; k < 21; ++k) {
    auto gray = static_cast<std::uint8_t>(k * 255 / 21);
    palette.red[224 + k] = palette.green[224 + k] = palette.blue[224 + k] = gray;
  }
  for (int i = 245; i < 256; ++i) palette.red[i] = palette.green[i] = palette.blue[i] = 255;
  palette.count = 256;
  CopyText(palette.name, kRenderPaletteName);
}

void FillGrayPalette(PaletteRecord& palette) {
  std::memset(&palette, 0, sizeof palette);
  for (int i = 0; i < 256; ++i) palette.red[i] = palette.green[i] = palette.blue[i] = static_cast<std::uint8_t>(i);
  palette.count = 256;
  CopyText(palette.name, kMappingPaletteName);
}

DisplayPalettes::DisplayPalettes() {
  FillRenderPalette(render);
  FillGrayPalette(mapping);
}

int Standard16Index(int red, int green, int blue) {
  int green8 = green >> 5;
  int blue8 = blue >> 5;
  return HexDigit(kStandard16Rows[red >> 5][green8 * 8 + blue8]);
}

int CubeRedLevel(int value) { return LevelOf(kRedTops, value); }
int CubeGreenLevel(int value) { return LevelOf(kGreenTops, value); }
int CubeBlueLevel(int value) { return LevelOf(kBlueTops, value); }

int Luminance(int red, int green, int blue) { return red * 85 / 255 + green * 105 / 255 + blue * 65 / 255; }

}  // namespace qv
