// Headerless RAW data described by the user in "RawDlg", and the I-RAW
// layout ("I24", width and height, then RGB triples).
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "base/host.h"

namespace qv {

struct ImageRecord;

enum RawLayout : int { kRawGray = 0, kRawInterleaved = 1, kRawBlocks = 2, kRawFiles = 3 };
inline constexpr int kRawLayoutCount = 4;

// What "RawDlg" starts with next time: the starting byte, layout and the
// green and blue extensions used last.
struct RawChoices {
  std::int64_t start = 0;
  int layout = kRawGray;
  std::string greenExtension = ".grn";
  std::string blueExtension = ".blu";
};

struct RawSize {
  int width = 1;
  int height = 1;
};
// The dimensions proposed for the bytes after start read in this layout:
// the usual screen sizes by pixel count, else about 4:3. Nothing after the
// start gives 1 x 1.
RawSize ProposeRawSize(std::uint64_t fileSize, std::int64_t start, int layout);

// The path of the green (or blue) file of the three-file layout: the
// extension replaced by the one given (with or without its dot).
std::string RawChannelPath(const std::string& path, const std::string& extension);

// Reads a RAW file: shows "RawDlg" with the proposal (the host may change
// it), then reads. Returns a new image tagged "raw" (8 bits for gray scale,
// else 24), or null when cancelled or after a message. A short file keeps
// what was read.
ImageRecord* ReadRawFile(const std::string& path);
// Reads as the request says, without asking.
ImageRecord* ReadRaw(const std::string& path, const RawImageRequest& request);
// The same on bytes already read: data from the starting byte on (the red
// file's, for three files), and the green and blue files' bytes from theirs.
ImageRecord* DecodeRaw(const RawImageRequest& request, std::span<const std::uint8_t> data,
                       std::span<const std::uint8_t> green = {}, std::span<const std::uint8_t> blue = {});

// Reads an I-RAW file held in memory: a new image tagged "iirw", or null
// after a box.
ImageRecord* ReadIRaw(std::span<const std::uint8_t> file);
ImageRecord* ReadIRawFile(const std::string& path);

}  // namespace qv
