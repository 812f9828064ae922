// The Collage group (Clip, Merge, Key In, Place, Enlarge, Reduce) with the
// two Alpha-group operations that work like them (Clip Alpha, Make Area),
// and the Alpha group's own operations (Make Alpha, Soften Alpha, Shave
// Alpha). Their routines, registered in the catalogue.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "ops/op_catalogue.h"

namespace qv {

struct ImageRecord;

inline constexpr OpId kClip = 3171, kMerge = 3172, kEnlarge = 3173, kReduce = 3174, kPlace = 3175,
                      kClipAlpha = 3176, kKeyIn = 3177, kMakeArea = 3191, kMakeAlpha = 3192,
                      kSoftenAlpha = 3196, kShaveAlpha = 3197;

std::span<const OpRoutineEntry> CollageOperationRoutines();
std::span<const OpRoutineEntry> AlphaOperationRoutines();

// The picture Place, Merge, Key In and Make Alpha lay in: the chosen source,
// else the first image of the table (the action image when none is listed).
ImageRecord* CollagePicture(ImageRecord* action);

// A picture read by the collage workers: the chosen image, locked for the
// worker, or the action image's undo copy when the picture is the action
// image itself (its box is then the whole image).
class PictureRead {
 public:
  // False after message 70 when the picture cannot be locked.
  bool Open(ImageRecord* picture);
  ~PictureRead();
  const std::uint8_t* At(std::int64_t x, std::int64_t y) const {
    return pixels_ + (static_cast<std::size_t>(rows_[y]) + static_cast<std::size_t>(x)) * 4;
  }
  bool Inside(std::int64_t x, std::int64_t y) const { return x >= 0 && y >= 0 && x < width && y < height; }
  int width = 0, height = 0;
  bool hasAlpha = false;  // without alpha every pixel counts as opaque

 private:
  const std::uint8_t* pixels_ = nullptr;
  const std::uint32_t* rows_ = nullptr;
  ImageRecord* locked_ = nullptr;
};

}  // namespace qv
