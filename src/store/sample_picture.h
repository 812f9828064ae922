// The program's own sample picture: a landscape of gradients with a few
// shapes, some with hard and some with soft edges, and an alpha plane that
// has a transparent corner and a ramp, so that every kind of effect, area
// and display mode has something to show. It is made from integers only, so
// the same size gives the same bytes on every machine.
#pragma once

#include <array>
#include <cstdint>

namespace qv {

struct ImageRecord;

inline constexpr int kSampleWidth = 640;
inline constexpr int kSampleHeight = 480;

// Where the picture's features lie at a given size (image pixels), so that
// demonstrations and tests can aim areas at them.
struct SampleLayout {
  int width = 0, height = 0;
  int horizon = 0;                      // first row of the ground
  int sunX = 0, sunY = 0, sunRadius = 0;          // soft-edged disc with a glow
  int wheelX = 0, wheelY = 0, wheelRadius = 0;    // hard-edged hue wheel
  int blockLeft = 0, blockTop = 0, blockRight = 0, blockBottom = 0;  // flat block, inclusive
  int diamondX = 0, diamondY = 0, diamondHalf = 0;  // flat diamond: |dx| + |dy| <= half
  int checkLeft = 0, checkTop = 0, checkCell = 0;   // 8 x 4 cells
  int rampTop = 0;                      // rows from here down fade out left to right
  int cornerReach = 0;                  // top-left corner transparent where x + y < reach
};

// The flat colours, exact in every pixel of their shape.
inline constexpr std::array<std::uint8_t, 3> kSampleBlockColour{36, 132, 208};
inline constexpr std::array<std::uint8_t, 3> kSampleDiamondColour{224, 48, 200};

SampleLayout SampleLayoutFor(int width, int height);

// A new image record (not in the image table) named "sample", 32-bit with
// alpha; null when the size is below 16 x 16, too large, or memory runs out.
ImageRecord* MakeSamplePicture(int width = kSampleWidth, int height = kSampleHeight);

}  // namespace qv
