// A stand-in palette library for the tests: it has AskCol and LoadPal only,
// so the other entries are missing.
#include "extlib/qvpal_abi.h"

#include <cstring>

extern "C" {

__attribute__((visibility("default"))) int AskCol(void*, void*, int* red, int* green, int* blue, void*,
                                                  QvPalAllocate allocate, QvPalFree release, QvPalMessage message,
                                                  uint32_t* customColours, const char* title) {
  *red = 255 - *red;
  *green = 255 - *green;
  *blue = 255 - *blue;
  void* place = allocate(64, "fake");
  release(place);
  message(0, 1, title);
  return customColours[15] == 0x010203 ? 0 : 5;
}

__attribute__((visibility("default"))) int LoadPal(PaletteRecord* palette) {
  palette->count = 2;
  std::strcpy(palette->name, "fake.gpl");
  return 0;
}
}
