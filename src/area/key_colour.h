// The key colour of the colour-key selection, Key In and Key to Alpha. The
// operations keep it among their settings; the area reads and changes it
// through the two functions the program installs here.
#pragma once

#include <cstdint>

namespace qv {

// The key colour's ranges for hue, saturation and lightness; its R, G, B and
// their ranges are the live parameters of Key In (shared with Key to Alpha).
struct KeyColourExtra {
  std::int32_t hueRange = 40;
  std::int32_t saturationRange = 40;
  std::int32_t lightnessRange = 40;
  std::int32_t useHsl = 1;
};

struct KeyColour {
  std::int32_t red = 0, green = 0, blue = 255;
  std::int32_t redRange = 20, greenRange = 20, blueRange = 20;
  KeyColourExtra extra;
};

struct KeyColourAccess {
  KeyColour (*get)() = nullptr;
  void (*set)(const KeyColour& key) = nullptr;
};

// Through the installed access (the default colour without one).
KeyColour GetKeyColour();
void SetKeyColour(const KeyColour& key);

}  // namespace qv
