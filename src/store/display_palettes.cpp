#include "store/display_palettes.h"

#include <string_view>

namespace qv {
namespace {

// One row of 64 hexadecimal digits per red level, green-major within the
// row; each digit is a standard colour index.
constexpr std::string_view kLookupRows[8] = {
    "004444cc004444cc226666cc2266666c2266666e226666eeaaa66eeeaaaaeeee",
    "004444cc004444cc226666cc2266666c2266666e226666eeaaa66eeeaaaaeeee",
    "115555cc115555cc338888cc3388888c3388888e338888eeaaa88eeeaaaaeeee",
    "1155555c1155555c3388888c33888888338888873388887733888777aaa8777e",
    "1155555d1155555d3388888d33888887338888773388877733887777bbb77777",
    "115555dd115555dd338888dd338888773388877733887777bbb77777bbb7777f",
    "99955ddd99955ddd99988ddd3388877733887777bbb77777bbb7777fbbb777ff",
    "9999dddd9999dddd9999dddd9998777dbbb77777bbb7777fbbb777ffbbbb7fff",
};

constexpr std::array<std::uint8_t, 512> MakeLookup() {
  std::array<std::uint8_t, 512> t{};
  for (int r = 0; r < 8; ++r)
    for (int i = 0; i < 64; ++i) {
      char c = kLookupRows[r][static_cast<std::size_t>(i)];
      t[static_cast<std::size_t>(r * 64 + i)] = static_cast<std::uint8_t>(c <= '9' ? c - '0' : c - 'a' + 10);
    }
  return t;
}

}  // namespace

const std::array<std::uint8_t, 512> kStandardColourLookup = MakeLookup();

void FillRenderPalette(std::uint8_t* red, std::uint8_t* green, std::uint8_t* blue) {
  for (int i = 0; i < 256; ++i) {
    Rgb8 c = RenderPaletteEntry(i);
    red[i] = c.r;
    green[i] = c.g;
    blue[i] = c.b;
  }
}

void FillGrayRamp(std::uint8_t* red, std::uint8_t* green, std::uint8_t* blue) {
  for (int i = 0; i < 256; ++i) red[i] = green[i] = blue[i] = static_cast<std::uint8_t>(i);
}

}  // namespace qv
