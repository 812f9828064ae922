#include "store/image_record.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "base/fixed_text.h"
#include "base/host.h"
#include "base/messages.h"
#include "base/preferences.h"
#include "base/progress.h"
#include "store/display_palettes.h"
#include "store/undo.h"

namespace qv {
namespace {


constexpr int kMessageNoMemoryForImage = 7;
constexpr int kCloneNameLimit = 13;  // shorter names get the "[clone]" suffix

// CreateImage with a flag telling whether the failure was already reported.
ImageRecord* CreateImageReporting(int width, int height, const char* tag, bool& reported, bool opaque = true) {
  reported = false;
  void* header = AllocReal(sizeof(ImageRecord), tag);
  if (!header) return nullptr;
  auto* image = new (header) ImageRecord{};

  width = std::max(width, 1);
  height = std::max(height, 1);
  std::int64_t pixelCount = std::int64_t{width} * height;
  image->pixelPlace = pixelCount <= kMaxImagePixels ? AllocVirtual(pixelCount * 4, "iHrgba") : nullptr;
  if (!image->pixelPlace) {
    FreeReal(header, tag);
    return nullptr;
  }
  image->rowPlace = AllocVirtual(std::int64_t{std::max(width, height)} * 4, "iyof");
  auto fail = [&] {
    FreeVirtual(image->pixelPlace);
    if (image->rowPlace) FreeVirtual(image->rowPlace);
    FreeReal(header, tag);
    ShowMessage(kMessageNoMemoryForImage);
    reported = true;
    return nullptr;
  };
  if (!image->rowPlace) return fail();

  image->width = width;
  image->height = height;
  FillDefaultPalette(image);
  image->dpiXNum = image->dpiYNum = 200;
  image->dpiXDen = image->dpiYDen = 1;
  image->frameIndex = kNoFrame;
  image->saveOption = static_cast<std::uint16_t>(SavePrefs().compress);
  image->saveQuality = static_cast<std::uint16_t>(SavePrefs().jpegQuality);
  if (LockImage(image) != 0) {
    // LockImage has already released whatever it locked.
    return fail();
  }
  ResetRowTable(image);
  if (opaque) ForceOpaqueAlpha(image);
  UnlockImage(image);
  return image;
}


}  // namespace

void FillDefaultPalette(ImageRecord* image) { FillRenderPalette(image->red, image->green, image->blue); }

ImageRecord* CreateImage(int width, int height, const char* tag) {
  bool reported;
  return CreateImageReporting(width, height, tag, reported);
}

ImageRecord* CreateImageToFill(int width, int height, const char* tag) {
  bool reported;
  return CreateImageReporting(width, height, tag, reported, false);
}

ImageRecord* CreateLockedImage(int width, int height, const char* tag) {
  ImageRecord* image = CreateImage(width, height, tag);
  if (image && LockImage(image) != 0) {
    FreeImage(image);
    return nullptr;
  }
  return image;
}

int LockImage(ImageRecord* image) {
  if (!image || !image->pixelPlace) return 0;
  image->lockCount += 1;
  bool lockedPixels = false;
  if (!image->pixels) {
    image->pixels = static_cast<std::uint8_t*>(LockVirtual(image->pixelPlace));
    if (!image->pixels) {
      image->lockCount -= 1;
      return 1;
    }
    lockedPixels = true;
  }
  if (!image->rows) {
    image->rows = static_cast<std::uint32_t*>(LockVirtual(image->rowPlace));
    if (!image->rows) {
      // Give back what this call took, so a failed lock leaves no lock behind.
      image->lockCount -= 1;
      if (lockedPixels) {
        UnlockVirtual(image->pixelPlace);
        image->pixels = nullptr;
      }
      return 4;
    }
  }
  return 0;
}

int UnlockImage(ImageRecord* image) {
  if (!image) return 0;
  if (image->lockCount > 0) image->lockCount -= 1;
  if (image->lockCount == 0) {
    if (image->pixels) UnlockVirtual(image->pixelPlace);
    if (image->rows) UnlockVirtual(image->rowPlace);
    image->pixels = nullptr;
    image->rows = nullptr;
  }
  return 0;
}

void ResetRowTable(ImageRecord* image) {
  if (!image || LockImage(image) != 0) return;
  for (int y = 0; y < image->height; ++y)
    image->rows[y] = static_cast<std::uint32_t>(std::int64_t{y} * image->width);
  UnlockImage(image);
}

void ForceOpaqueAlpha(ImageRecord* image) {
  if (!image || image->hasAlpha || LockImage(image) != 0) return;
  std::int64_t count = std::int64_t{image->width} * image->height;
  std::uint8_t* p = image->pixels;
  for (std::int64_t i = 0; i < count; ++i) p[i * 4 + 3] = 255;
  UnlockImage(image);
}

int EnsureAnnotation(ImageRecord* image, int size) {
  if (!image) return -1;
  std::int64_t need = std::max(size, kMinAnnotationBytes);
  std::int64_t have = image->annotation ? PlaceSizeOfAddress(image->annotation) : 0;
  if (have >= need) return 0;
  auto* grown = static_cast<char*>(AllocReal(need, "Iann"));
  if (!grown) return -2;
  if (image->annotation) {
    // Keep the text already there; the old place is at least 4 bytes longer than asked.
    std::memcpy(grown, image->annotation, static_cast<std::size_t>(std::min(have, need - 1)));
    grown[need - 1] = '\0';
    FreeReal(image->annotation, "Iann");
  }
  image->annotation = grown;
  return 0;
}

void FreeImage(ImageRecord* image) {
  if (!image) return;
  ImageStore& s = Images();
  if (s.current == image || s.currentAction == image) {
    ImageRecord* first = nullptr;
    for (int i = 0; i < s.count && !first; ++i)
      if (s.table[i] != image) first = s.table[i];
    if (s.current == image) s.current = first;
    if (s.currentAction == image) s.currentAction = first;
  }
  // Clones keep a pointer to their source; it must not outlive the source.
  for (int i = 0; i < s.count; ++i)
    if (s.table[i]->parent == image) s.table[i]->parent = nullptr;
  while (image->lockCount > 0) UnlockImage(image);
  if (image->pixelPlace) FreeVirtual(image->pixelPlace);
  if (image->rowPlace) FreeVirtual(image->rowPlace);
  FreeReal(image->annotation, "anno");
  FreeReal(image, "image");
}

ImageRecord* CloneImage(ImageRecord* source, bool openView) {
  if (!source) return nullptr;
  ImageRecord* clone = CreateImage(source->width, source->height, "clone");
  if (!clone) return nullptr;
  if (LockImage(source) != 0) {
    FreeImage(clone);
    return nullptr;
  }
  if (LockImage(clone) != 0) {
    UnlockImage(source);
    FreeImage(clone);
    return nullptr;
  }
  std::memcpy(clone->pixels, source->pixels, static_cast<std::size_t>(source->width) * source->height * 4);

  if (std::strlen(source->name) < kCloneNameLimit) {
    std::snprintf(clone->name, sizeof clone->name, "%s[clone]", source->name);
  } else {
    CopyText(clone->name, source->name);
  }
  std::memcpy(clone->red, source->red, sizeof clone->red);
  std::memcpy(clone->green, source->green, sizeof clone->green);
  std::memcpy(clone->blue, source->blue, sizeof clone->blue);
  clone->dpiXNum = source->dpiXNum;
  clone->dpiXDen = source->dpiXDen;
  clone->dpiYNum = source->dpiYNum;
  clone->dpiYDen = source->dpiYDen;
  clone->hasAlpha = source->hasAlpha;
  CopyText(clone->path, source->path);
  CopyText(clone->format, source->format);
  clone->bitDepth = source->bitDepth;
  if (source->annotation) {
    std::size_t length = std::strlen(source->annotation);
    auto* copy = static_cast<char*>(AllocReal(static_cast<std::int64_t>(length) + 4, "anno"));
    if (!copy) {
      // A clone without its annotation would silently lose it.
      UnlockImage(source);
      FreeImage(clone);
      return nullptr;
    }
    std::memcpy(copy, source->annotation, length);
    clone->annotation = copy;
  }
  clone->parent = source;
  clone->originX = clone->originY = 0;
  clone->undone = clone->changed = 0;

  UnlockImage(clone);
  UnlockImage(source);
  if (openView) AddImage(clone, true);
  return clone;
}

int InitImageTable() {
  ImageStore& s = Images();
  if (s.table) return 0;
  s.table = AllocRealArray<ImageRecord*>(kFirstTableCapacity, "theimgs");
  if (!s.table) return 1;
  s.capacity = kFirstTableCapacity;
  s.count = 0;
  return 0;
}

int AddImage(ImageRecord* image, bool openView) {
  ImageStore& s = Images();
  if (!image) return 1;
  if (!s.table && InitImageTable() != 0) return 1;
  if (s.count >= s.capacity) {
    int grown = s.capacity * 2 + 20;
    auto* table = AllocRealArray<ImageRecord*>(grown, "theimgs");
    if (!table) return 1;
    std::copy_n(s.table, s.count, table);  // the rest is zero-filled
    FreeReal(s.table, "theimgs");
    s.table = table;
    s.capacity = grown;
  }
  s.table[s.count++] = image;
  TheHost().ImageAdded(image, openView);
  if (!s.current) s.current = image;
  return 0;
}

int RemoveImage(ImageRecord* image) {
  if (!image) return 0;
  // Work running under the progress pump may be using this very image.
  if (RefuseCloseWhileBusy()) return 1;
  if (image->changed) {
    int answer = AskSaveOnClose(image->name);
    if (answer == 0) return 2;
    if (answer == 1) {
      TheHost().SaveImageToOwnFile(image);
      if (image->changed) return 2;  // the save failed or was cancelled
    }
  }
  ImageStore& s = Images();
  int index = ImageIndex(image);
  if (index >= 0) {
    std::copy(s.table + index + 1, s.table + s.count, s.table + index);
    s.table[--s.count] = nullptr;
  }
  // Views of the image go with it, whoever removes it (closing the last view,
  // "Remove Other Images", Exit that stops at a later image's question).
  for (auto listener : s.removalListeners) listener(image);
  DropImageLayers(image);
  FreeImage(image);
  return 0;
}

int ImageIndex(const ImageRecord* image) {
  const ImageStore& s = Images();
  for (int i = 0; i < s.count; ++i)
    if (s.table[i] == image) return i;
  return -1;
}

ImageRecord* ImageAt(int index) {
  const ImageStore& s = Images();
  return index >= 0 && index < s.count ? s.table[index] : nullptr;
}

int ImageCount() { return Images().count; }

std::string NextNewImageName() {
  char name[32];
  std::snprintf(name, sizeof name, "NEW_%d", ++Images().newImageCounter);
  return name;
}

NewImageDetails ProposeNewImage() {
  NewImageDetails d = Images().newImage;
  d.name = NextNewImageName();
  return d;
}

int CreateNewImage(const NewImageDetails& entered) {
  NewImageDetails d = entered;
  if (d.width <= 0) d.width = 1;
  if (d.height <= 0) d.height = 1;
  if (d.name.size() > kNewImageNameMax) d.name.resize(kNewImageNameMax);

  bool reported;
  ImageRecord* image = CreateImageReporting(d.width, d.height, "inew", reported);
  if (!image) {
    if (!reported) ShowMessage(kMessageNoMemoryForImage);
    return 1;
  }
  if (LockImage(image) != 0) {
    FreeImage(image);
    ShowMessage(kMessageNoMemoryForImage);
    return 1;
  }
  std::int64_t count = std::int64_t{image->width} * image->height;
  for (std::int64_t i = 0; i < count; ++i) {
    std::uint8_t* p = image->pixels + i * 4;
    p[0] = d.colour[0];
    p[1] = d.colour[1];
    p[2] = d.colour[2];
    p[3] = 255;
  }
  UnlockImage(image);
  CopyText(image->name, d.name.empty() ? std::string_view("new") : std::string_view(d.name));
  image->dpiXNum = d.dpiX;
  image->dpiXDen = 1;
  image->dpiYNum = d.dpiY;
  image->dpiYDen = 1;
  CopyText(image->format, "new");
  image->bitDepth = 24;
  image->undone = image->changed = image->frameIndex = 0;

  Images().newImage = d;
  if (AddImage(image, true) != 0) {
    FreeImage(image);
    ShowMessage(kMessageNoMemoryForImage);
    return 1;
  }
  return 0;
}

int NewImage() {
  NewImageDetails d = ProposeNewImage();
  if (!TheHost().EditNewImageDetails(d)) return 2;
  return CreateNewImage(d);
}

}  // namespace qv
