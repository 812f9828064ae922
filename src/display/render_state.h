// What the renderer keeps between renders (the global display settings, the
// screen it renders for, its scaling maps and error rows), and the fields of
// a view record that rendering reads and writes.
#pragma once

#include <array>
#include <cstdint>

namespace qv {

struct ImageRecord;

// Display modes: the DIB depth every view is rendered to.
enum DisplayModeCode : int {
  kModeRgb24 = 0,
  kModeColour256 = 1,
  kModeGray256 = 2,
  kModeColour16 = 3,
  kModeGray16 = 4,
  kModeBlackWhite = 5,
  kModeRgb16 = 6,
  kModeGray64 = 7,
  kModeRgb32 = 8,
};
inline constexpr int kDisplayModeCount = 9;
inline constexpr int kDisplayModeMenuBase = 302;  // menu id = base + mode
inline constexpr int kDisplayModeKeepAutomatic = 20;

// The screen as the desktop reports it (the headless default is a common
// 24-bit screen).
struct ScreenInfo {
  int bitsPerPixel = 24;
  int planes = 1;
  int colourResolution = 24;  // 0 when the device reports none
  int width = 1024;
  int height = 768;
};

struct DisplayState {
  int mode = kModeRgb24;
  int alphaBack = 1;                                  // blend images with alpha against alphaColour
  std::array<std::uint8_t, 3> alphaColour{0, 0, 255};
  std::array<std::uint8_t, 3> backColour{0, 0, 0};    // off-image colour
  ScreenInfo screen;

  // Scaling maps (-1 = off the image) and error rows; real memory places
  // owned by the renderer, grown on demand.
  std::int32_t* xmap = nullptr;
  std::int32_t* ymap = nullptr;
  int xmapCapacity = 0;
  int ymapCapacity = 0;
  std::int16_t* rdith = nullptr;
  std::int16_t* gdith = nullptr;
  std::int16_t* bdith = nullptr;
  int dithCapacity = 0;
};

// The program's one DisplayState (owned by the Program).
DisplayState& Display();

// How a view window sits in the main window. Maximised, minimised and
// detached views fit their region into the client area with margins.
enum class ViewPlacement : std::uint8_t { DocumentChild, Maximised, Minimised, Detached };

// The view record fields that rendering uses. The view windows own these.
struct ViewRecord {
  ImageRecord* image = nullptr;
  std::uint16_t reRender = 1;     // non-zero: render anew at the next paint
  std::uint16_t zoomKind = 0;     // 0 whole image, 1 zoomed in, 2 zoomed out
  std::uint16_t renderState = 0;  // 0 idle, 1 full render running, 9 resized while rendering
  std::uint16_t kind = 0;         // 0 view, 1 alpha view, 2 grid, 3 area selection view
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;  // region, image pixels
  int clientWidth = 1;
  int clientHeight = 1;
  ViewPlacement placement = ViewPlacement::DocumentChild;
};

inline constexpr std::uint16_t kViewKindAlpha = 1;
inline constexpr std::uint16_t kRenderStateResized = 9;

}  // namespace qv
