#include "ops/new_image.h"

#include <cstdio>
#include <string>

#include "base/messages.h"
#include "ops/apply.h"
#include "store/image_record.h"

namespace qv {
namespace {

constexpr int kMessageNoMemoryForResult = 70;

}  // namespace

ImageRecord* StartNewImage(std::int64_t width, std::int64_t height, const char* tag) {
  // Each side is checked before the product, so the product cannot overflow.
  if (width < 1 || height < 1 || width > kMaxImagePixels || height > kMaxImagePixels ||
      width * height > kMaxImagePixels) {
    ShowMessage(kMessageNoMemoryForResult);
    return nullptr;
  }
  // Clear, alpha too: what a worker leaves alone is transparent black.
  ImageRecord* made = CreateImageToFill(static_cast<int>(width), static_cast<int>(height), tag);
  if (made && LockImage(made) != 0) {
    FreeImage(made);
    made = nullptr;
  }
  if (!made) ShowMessage(kMessageNoMemoryForResult);
  return made;
}

int FinishNewImage(ImageRecord* result, const ImageRecord* action, const NewImagePlacement& placement) {
  const std::string name = NextNewImageName();
  std::snprintf(result->name, sizeof result->name, "%s", name.c_str());
  result->hasAlpha = 1;
  result->dpiXNum = action->dpiXNum;
  result->dpiXDen = action->dpiXDen;
  result->dpiYNum = action->dpiYNum;
  result->dpiYDen = action->dpiYDen;
  result->parent = placement.parent;
  result->originX = placement.originX;
  result->originY = placement.originY;
  result->changed = 0;  // the pipeline counts the change
  UnlockImage(result);
  if (AddImage(result, placement.openView) != 0) {
    FreeImage(result);
    ShowMessage(kMessageNoMemoryForResult);
    return 1;
  }
  Ctx().result = result;
  return 0;
}

}  // namespace qv
