// PCX files: 1, 2, 4 and 8 bits in one plane, 1 bit in up to four planes,
// 24 bits in three planes and 32 in four; written at 24, 8, 4 and 1 bits.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qv {

struct ImageRecord;
struct IndexedImage;

// Reads a PCX file held in memory. Returns a new image tagged "ipcx",
// unlocked, or null after a note.
ImageRecord* ReadPcx(std::span<const std::uint8_t> file);
ImageRecord* ReadPcxFile(const std::string& path);

// The file the writer puts on disk: 24 bits from the image itself; 8, 4 and
// 1 bits from an already reduced image.
std::vector<std::uint8_t> EncodePcx24(ImageRecord* image);
std::vector<std::uint8_t> EncodePcxIndexed(const IndexedImage& image, int depth);
// Writes the image at 24, 8, 4 or 1 bits (any other depth as 24), reducing
// it with the current output colour reduction below 24. 0 on success, 1
// after a note or message.
int WritePcx(ImageRecord* image, const std::string& path, int depth);

}  // namespace qv
