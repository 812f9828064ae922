// View rendering: the 32-bit image turned into a device-independent bitmap
// (DIB) in the depth of the display mode, scaled to a view's client area,
// dithered by error diffusion in the palette modes.
//
// The DIB is one movable memory place: a 40-byte header, the colour table
// (4 bytes per entry: blue, green, red, 0), then the rows bottom-up, each
// padded to 4 bytes. All header fields are little-endian.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "display/render_state.h"
#include "store/memory_places.h"

namespace qv {

struct ImageRecord;

inline constexpr int kDibHeaderBytes = 40;
inline constexpr int kDibPixelsPerMetre = 1000;

struct DisplayModeInfo {
  int menuId;
  int dibBits;
  int colours;  // entries in the DIB colour table (0: none)
};
// Mode 0 for codes out of range.
const DisplayModeInfo& DisplayModeOf(int mode);

// Bytes per DIB row for a width and depth (rows are padded to 4 bytes).
std::int64_t DibRowStride(int width, int bits);

// The layout of a DIB, read back from its bytes.
struct DibLayout {
  int width = 0;
  int height = 0;
  int bits = 0;
  int colours = 0;
  std::int64_t stride = 0;
  std::int64_t pixelOffset = 0;  // header + colour table
};
// False when the bytes are not a DIB this renderer makes (or are too short).
bool ReadDibLayout(std::span<const std::uint8_t> dib, DibLayout& layout);
// The value at window pixel (x, y), y counted from the top: a colour-table
// index for 1, 4 and 8 bits, else blue | green << 8 | red << 16 (| alpha << 24).
std::uint32_t DibPixel(std::span<const std::uint8_t> dib, const DibLayout& layout, int x, int y);
// Colour-table entry i as red | green << 8 | blue << 16.
std::uint32_t DibColour(std::span<const std::uint8_t> dib, int i);
// The bytes of a DIB place (locks it; the span stays valid until it is freed).
std::span<const std::uint8_t> DibBytes(PlaceHandle dib);

// Renders window rows firstRow..lastRow (top-down, clamped to the client) of
// a view, or with no view the whole image at 1:1. Frees `previous`; returns
// the new DIB place, or null on failure (after telling the user) or when a
// 256-colour render was stopped by a resize.
PlaceHandle RenderView(ImageRecord* image, ViewRecord* view, PlaceHandle previous, int mode, int firstRow,
                       int lastRow);

// Re-renders the band of window rows top..bottom of a view after its image
// changed, in the current display mode, and hands the band to the host to
// set into the view's kept bitmap. 0 done (also when the band is empty),
// 1 failure.
int RefreshViewRows(ViewRecord* view, int left, int top, int right, int bottom);

// The mode the program starts in: from the screen depth, unless a stored
// mode below 20 replaces it.
int InitialDisplayMode(int screenBits, int storedMode);

// The values and texts of the "Display Information" dialog.
struct DisplayInformation {
  int bits = 0;          // bits per pixel x planes
  int paletteDepth = 0;  // colour resolution in bits
  int width = 0;
  int height = 0;
  std::string bitsText, depthText, widthText, heightText;  // "%4d"
  std::string colours;      // "16.8 million", "65,536", ...
  std::string recommended;  // the display mode's name
  int recommendedMode = 0;
};
DisplayInformation DescribeDisplay(const ScreenInfo& screen);

// The plain boxes of rendering and painting failures, titled "Error".
inline constexpr std::string_view kNoImageMemoryText = "Cannot get real image memory";
inline constexpr std::string_view kNoPaletteText = "Can't create palette";
inline constexpr std::string_view kNoIndexTableText = "Can't create Indexed color table";
void ShowErrorBox(std::string_view text);

}  // namespace qv
