// Operations that make a new image instead of changing the action image
// (Rotate without "In Place", Clip, Clip Alpha, Enlarge and Reduce without
// "Replace") all go through here: the size is checked before anything is
// allocated, and the finished image is named, described and listed in one
// way, so that every such piece looks alike to the rest of the program.
#pragma once

#include <cstdint>

namespace qv {

struct ImageRecord;

// A locked, zero-filled image for an operation's result; null after message
// 70 when the size is not a picture the program can hold (0, negative, or
// above the image limit) or memory runs out.
ImageRecord* StartNewImage(std::int64_t width, std::int64_t height, const char* tag);

// How the finished result joins the program.
struct NewImagePlacement {
  bool openView = true;
  // The image the piece was cut from and where its top-left corner lay
  // there; null for none.
  ImageRecord* parent = nullptr;
  std::int32_t originX = 0, originY = 0;
};

// Names the result "NEW_%d", marks it as having alpha, copies the action
// image's resolution, unlocks it, adds it to the image table and makes it
// the image the pipeline redraws and counts (so its change count ends at
// 1). 0 done; 1 after message 70, the result freed.
int FinishNewImage(ImageRecord* result, const ImageRecord* action, const NewImagePlacement& placement);

}  // namespace qv
