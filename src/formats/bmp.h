// Windows and OS/2 bitmaps.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qv {

struct ImageRecord;

// Reads a bitmap held in memory (the whole file). Returns a new image tagged
// "ibmp", unlocked, or null after a note.
ImageRecord* ReadBmp(std::span<const std::uint8_t> file);
ImageRecord* ReadBmpFile(const std::string& path);

// An image reduced to at most 256 colours: one index per pixel, rows top to
// bottom, and the palette as red, green, blue.
struct IndexedImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> indexes;
  std::array<std::array<std::uint8_t, 3>, 256> palette{};
};

// Writes the image at 32, 24, 16, 8, 4 or 1 bits; 0 on success, 1 after a
// note or message. Below 16 bits the image is reduced to a palette first.
int WriteBmp(ImageRecord* image, const std::string& path, int depth);
// Writes an already reduced image at 8, 4 or 1 bits.
int WriteBmpIndexed(const IndexedImage& image, const std::string& path, int depth);

// The bitmap file in memory (what the writers put on disk); empty when the
// depth is not one the writer makes.
std::vector<std::uint8_t> EncodeBmp(ImageRecord* image, int depth);
std::vector<std::uint8_t> EncodeBmpIndexed(const IndexedImage& image, int depth);

// The colour reduction the writer uses below 16 bits: fills out from the
// image with the output reduction of the given mode (1 for 256 colours, 3
// for 16, 5 for 2). 0 on success.
int ReduceImageForSave(ImageRecord* image, int mode, IndexedImage& out);

}  // namespace qv
