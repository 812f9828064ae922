// The bodies of the fuzz targets, shared by the libFuzzer programs and the
// normal suite's replay of the seed files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "app/program.h"
#include "formats/bmp.h"
#include "formats/image_files.h"
#include "store/image_record.h"

namespace qv::fuzz {

inline void QuietProgram() {
  ResetProgram();
  static_cast<HeadlessHost&>(TheHost()).SetQuiet(true);
}

// An image a reader made must be whole, and a reader must leave nothing
// allocated behind it.
inline void CheckAndFree(ImageRecord* image) {
  if (image) {
    if (image->width < 1 || image->height < 1) __builtin_trap();
    LockImage(image);
    volatile std::uint8_t sink = image->pixels[(std::size_t{4} * image->width * image->height) - 1];
    (void)sink;
    UnlockImage(image);
    FreeImage(image);
  }
  if (TheProgram().memory.placesInUse != 0) __builtin_trap();
}

// The BMP reader on any bytes.
inline void FuzzBmp(const std::uint8_t* data, std::size_t size) {
  CheckAndFree(ReadBmp(std::span<const std::uint8_t>(data, size)));
}

// Recognition on any bytes, under a name taken from the first byte, and the
// BMP reader behind it when that is the verdict.
inline void FuzzRecognize(const std::uint8_t* data, std::size_t size) {
  static const char* const names[] = {"x.bmp", "x.RED", "dir.raw/x", "x.tif", "x"};
  const char* name = size ? names[data[0] % 5] : "x";
  std::span<const std::uint8_t> bytes(data, size);
  Recognition r = RecognizeImage(bytes.first(std::min(size, kProbeBytes)), name);
  if (RecognizeImage(bytes, name) != r) __builtin_trap();  // only the probes may matter
  if (r == Recognition::Bmp) FuzzBmp(data, size);
}

}  // namespace qv::fuzz
