// Targa files: colour-mapped and true-colour, plain and run-length encoded,
// with the version 2 footer, extension area and postage stamp.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qv {

struct ImageRecord;

// Reads a Targa file held in memory. Returns a new image tagged "itga",
// unlocked, or null after a note or message.
ImageRecord* ReadTarga(std::span<const std::uint8_t> file);
ImageRecord* ReadTargaFile(const std::string& path);

// The whole file the writer puts on disk: 24 bits, or 32 when the image
// has alpha; rows run-length encoded when compress is set. Empty when the
// image cannot be locked.
std::vector<std::uint8_t> EncodeTarga(ImageRecord* image, bool compress);
// 0 on success, 1 after message 22, 26, 37 or 103.
int WriteTarga(ImageRecord* image, const std::string& path, bool compress);

// A file's postage stamp, scaled to fit 36 x 32: red, green, blue, alpha
// per pixel (alpha 255 when the file has none), rows top down.
struct TargaThumbnail {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgba;
};
// Fills the thumbnail from a 24- or 32-bit true-colour Targa with a
// version 2 footer and a stamp; false (and an empty thumbnail) otherwise.
bool ReadTargaStamp(std::span<const std::uint8_t> file, TargaThumbnail& out);
bool ReadTargaStampFile(const std::string& path, TargaThumbnail& out);

// The stamp the writer makes for a picture of this size and resolution.
struct StampSize {
  int width = 0;
  int height = 0;
};
StampSize TargaStampSize(int width, int height, std::int64_t dpiXNum, std::int64_t dpiXDen, std::int64_t dpiYNum,
                         std::int64_t dpiYDen);

}  // namespace qv
