// GIF files: one picture per file (every image descriptor drawn into it),
// written as 8-bit GIF87a with a 256-entry colour table.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qv {

struct ImageRecord;
struct IndexedImage;

// Reads a GIF file held in memory. Returns a new image tagged "igif",
// unlocked, or null after a note or message.
ImageRecord* ReadGif(std::span<const std::uint8_t> file);
ImageRecord* ReadGifFile(const std::string& path);

// The GIF file of an image already reduced to 256 colours.
std::vector<std::uint8_t> EncodeGif(const IndexedImage& image);
// Reduces the image with the current output colour reduction and writes
// it. 0 on success, 1 after a note or message.
int WriteGif(ImageRecord* image, const std::string& path);

}  // namespace qv
