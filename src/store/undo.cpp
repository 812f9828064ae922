#include "store/undo.h"
#include "store/undo_rows.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/fixed_text.h"
#include "base/host.h"
#include "base/messages.h"
#include "base/progress.h"
#include "base/string_table.h"

namespace qv {
namespace {

constexpr int kMessageNoMemoryForUndoNoLevels = 38;
constexpr int kMessageNoMemoryForUndo = 39;
constexpr int kMessageNoImagesToUndo = 41;
constexpr int kMessageNothingToUndo = 49;
constexpr int kMessageCannotLockForUndo = 52;
constexpr int kMessageNothingToDeUndo = 64;
constexpr int kMessageLayerOfClosedImage = 106;
constexpr int kOpEnlarge = 3173;
constexpr int kOpReduce = 3174;


// How many entries the stack logically has (at least one, for N = 0).
int Span() { return std::min(std::max(1, UndoStack().levels), UndoStack().capacity); }

void ReportNoMemory() {
  ShowMessage(UndoStack().levels != 0 ? kMessageNoMemoryForUndo : kMessageNoMemoryForUndoNoLevels);
}

int EnsureStack() {
  UndoState& u = UndoStack();
  if (u.stack) return 0;
  int capacity = u.levels + 4;
  u.stack = AllocRealArray<ImageRecord*>(capacity, "undo");
  if (!u.stack) return 1;
  u.capacity = capacity;
  return 0;
}

void FreeLayer(ImageRecord* layer) {
  if (!layer) return;
  if (UndoStack().latest == layer) UndoStack().latest = nullptr;
  FreeImage(layer);
}

// Removes entry i, shifting the later ones up; the last becomes null.
void RemoveEntry(int i) {
  UndoState& u = UndoStack();
  FreeLayer(u.stack[i]);
  std::copy(u.stack + i + 1, u.stack + u.capacity, u.stack + i);
  u.stack[u.capacity - 1] = nullptr;
}

// The entry the next push frees.
int PushedOff() {
  const UndoState& u = UndoStack();
  return u.levels > 0 ? std::min(u.levels, u.capacity) - 1 : 0;
}

// Puts a layer at the top, pushing the oldest entry off the end.
void PushLayer(ImageRecord* layer) {
  UndoState& u = UndoStack();
  int oldest = PushedOff();
  FreeLayer(u.stack[oldest]);
  for (int i = oldest; i > 0; --i) u.stack[i] = u.stack[i - 1];
  u.stack[0] = layer;
}

bool LocksFailed(ImageRecord* image, ImageRecord* layer) {
  if (LockImage(image) != 0) return true;
  if (LockImage(layer) != 0) {
    UnlockImage(image);
    return true;
  }
  return false;
}

void RefreshViews(ImageRecord* image, int oldWidth, int oldHeight) {
  TheHost().RefreshImageViews(image, image->width != oldWidth || image->height != oldHeight);
}

std::string EntryText(const ImageRecord* layer) {
  return std::string(layer->path) + " - " + layer->name;
}

}  // namespace

void SwapImageBodies(ImageRecord* a, ImageRecord* b) {
  std::swap(a->width, b->width);
  std::swap(a->height, b->height);
  std::swap(a->pixelPlace, b->pixelPlace);
  std::swap(a->rowPlace, b->rowPlace);
  std::swap(a->pixels, b->pixels);
  std::swap(a->rows, b->rows);
  std::swap(a->hasAlpha, b->hasAlpha);
  std::swap(a->lockCount, b->lockCount);
  std::swap(a->dpiXNum, b->dpiXNum);
  std::swap(a->dpiXDen, b->dpiXDen);
  std::swap(a->dpiYNum, b->dpiYNum);
  std::swap(a->dpiYDen, b->dpiYDen);
}

namespace {

// The layer of the clamped rectangle, locked; its pixels copied from the
// image, or left for the caller to copy when `copy` is false. `dropped`, a
// layer that goes once this one is pushed, lends its planes when they have
// the size wanted: pages in use cost nothing, where fresh ones must first
// be cleared by the system (a few milliseconds for a photograph). It keeps
// the new layer's small planes, and gets its own back on a failure.
ImageRecord* MakeUndoRectangle(int left, int top, int right, int bottom, ImageRecord* image, bool copy,
                               ImageRecord* dropped = nullptr) {
  if (!image) return nullptr;
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  left = std::clamp(left, 0, image->width - 1);
  right = std::clamp(right, 0, image->width - 1);
  top = std::clamp(top, 0, image->height - 1);
  bottom = std::clamp(bottom, 0, image->height - 1);
  int w = right - left + 1, h = bottom - top + 1;
  const bool reuse = dropped && dropped->width == w && dropped->height == h && dropped->lockCount == 0 &&
                     dropped->pixelPlace && dropped->rowPlace;
  // Every byte of the copy is written below, so it is not made opaque first.
  ImageRecord* layer = reuse ? CreateImageToFill(1, 1, "iund") : CreateImageToFill(w, h, "iund");
  if (layer && reuse) {
    SwapImageBodies(layer, dropped);
    ResetRowTable(layer);
  }
  auto discard = [&] {
    while (layer->lockCount > 0) UnlockImage(layer);
    if (reuse) SwapImageBodies(layer, dropped);
    FreeImage(layer);
  };
  if (layer && LockImage(layer) != 0) {
    discard();
    layer = nullptr;
  }
  if (!layer) {
    ReportNoMemory();
    return nullptr;
  }
  if (LockImage(image) != 0) {
    discard();
    ReportNoMemory();
    return nullptr;
  }
  if (copy)
    for (int y = 0; y < h; ++y)
      std::memcpy(PixelAt(layer, 0, y), PixelAt(image, left, top + y), static_cast<std::size_t>(w) * 4);
  UnlockImage(image);
  layer->parent = image;
  layer->originX = left;
  layer->originY = top;
  layer->dpiXNum = image->dpiXNum;
  layer->dpiXDen = image->dpiXDen;
  layer->dpiYNum = image->dpiYNum;
  layer->dpiYDen = image->dpiYDen;
  layer->hasAlpha = image->hasAlpha;
  CopyText(layer->name, image->name);
  return layer;
}

int PushUndoRectangle(int left, int top, int right, int bottom, ImageRecord* image, int opId, bool wholeImage,
                      bool copy) {
  UndoState& u = UndoStack();
  if (!image) return 1;
  if (wholeImage && (opId == kOpEnlarge || opId == kOpReduce)) {
    left = top = 0;
    right = image->width - 1;
    bottom = image->height - 1;
  }
  if (EnsureStack() != 0) {
    ReportNoMemory();
    return 1;
  }
  ImageRecord* layer = MakeUndoRectangle(left, top, right, bottom, image, copy, u.stack[PushedOff()]);
  if (!layer) return 1;
  PushLayer(layer);
  CopyText(layer->path, std::string(LoadString(opId)).substr(0, 100));
  u.latest = layer;
  u.beforeLeft = layer->originX;
  u.beforeTop = layer->originY;
  u.beforeWidth = layer->width;
  u.beforeHeight = layer->height;
  u.imageWidth = image->width;
  u.imageHeight = image->height;
  return 0;
}

}  // namespace

ImageRecord* CopyUndoRectangle(int left, int top, int right, int bottom, ImageRecord* image) {
  return MakeUndoRectangle(left, top, right, bottom, image, true);
}

int TakeUndo(int left, int top, int right, int bottom, ImageRecord* image, int opId, bool wholeImage) {
  return PushUndoRectangle(left, top, right, bottom, image, opId, wholeImage, true);
}

int TakeUndoRowsLater(int left, int top, int right, int bottom, ImageRecord* image, int opId) {
  return PushUndoRectangle(left, top, right, bottom, image, opId, false, false);
}

void DropRedoLayers(ImageRecord* image) {
  UndoState& u = UndoStack();
  if (!u.stack) return;
  for (int i = 0; i < u.capacity;) {
    ImageRecord* layer = u.stack[i];
    if (layer && layer->parent == image && layer->undone == 1)
      RemoveEntry(i);
    else
      ++i;
  }
  if (u.levels == 0 && u.stack[0]) {
    FreeLayer(u.stack[0]);
    u.stack[0] = nullptr;
  }
}

int UndoLatest(ImageRecord* image) {
  UndoState& u = UndoStack();
  if (!u.stack || !u.stack[0] || u.stack[0]->parent != image) return 1;
  for (int i = 0; i < Span(); ++i) {
    ImageRecord* layer = u.stack[i];
    if (!layer || layer->parent != image || layer->undone) continue;
    if (SwapWithLayer(image, layer, "Undo") != 0) return 1;
    layer->undone = 1;
    return 0;
  }
  return 1;
}

int SwapWithLayer(ImageRecord* image, ImageRecord* layer, const char* title) {
  if (layer->originX == -1) {
    SwapImageBodies(image, layer);
    return 0;
  }
  if (LocksFailed(image, layer)) {
    ShowMessage(kMessageCannotLockForUndo);
    return 1;
  }
  std::swap(image->hasAlpha, layer->hasAlpha);
  int w = std::min(layer->width, image->width - layer->originX);
  BeginProgress(title, layer->height);
  for (int y = 0; y < layer->height; ++y) {
    int iy = layer->originY + y;
    if (iy < 0 || iy >= image->height || w <= 0) continue;
    std::swap_ranges(PixelAt(layer, 0, y), PixelAt(layer, 0, y) + static_cast<std::size_t>(w) * 4,
                     PixelAt(image, layer->originX, iy));
    Progress(y);
  }
  EndProgress();
  UnlockImage(layer);
  UnlockImage(image);
  return 0;
}

int Undo() {
  UndoState& u = UndoStack();
  if (ImageCount() == 0) {
    ShowMessage(kMessageNoImagesToUndo);
    return 1;
  }
  if (!u.stack || !u.stack[0]) {
    ShowMessage(kMessageNothingToUndo);
    return 1;
  }
  std::vector<ImageRecord*> candidates;
  for (int i = 0; i < Span(); ++i)
    if (u.stack[i] && u.stack[i]->undone == 0) candidates.push_back(u.stack[i]);
  if (candidates.empty()) {
    ShowMessage(kMessageNothingToUndo);
    return 1;
  }
  int k = 0;
  if (candidates.size() > 1) {
    std::vector<std::string> entries;
    for (auto* layer : candidates) entries.push_back(EntryText(layer));
    k = TheHost().ChooseUndoLayer(false, entries, 0);
    if (k < 0 || k >= static_cast<int>(candidates.size())) return 2;
  }
  ImageRecord* target = candidates[k]->parent;
  if (ImageIndex(target) < 0) {
    ShowMessage(kMessageLayerOfClosedImage);
    return 1;
  }
  int oldW = target->width, oldH = target->height;
  int position = 0;
  for (int i = 0; i < Span() && position <= k; ++i) {
    ImageRecord* layer = u.stack[i];
    if (!layer || layer->undone != 0) continue;
    if (layer->parent == target) {
      if (SwapWithLayer(target, layer, "Undo") != 0) break;
      if (target->changed > 0) target->changed -= 1;
      layer->undone = 1;
    }
    ++position;
  }
  RefreshViews(target, oldW, oldH);
  return 0;
}

int DeUndo() {
  UndoState& u = UndoStack();
  if (ImageCount() == 0) {
    ShowMessage(kMessageNoImagesToUndo);
    return 1;
  }
  std::vector<int> undone;
  if (u.stack)
    for (int i = 0; i < u.capacity; ++i)
      if (u.stack[i] && u.stack[i]->undone == 1) undone.push_back(i);
  if (undone.empty()) {
    ShowMessage(kMessageNothingToDeUndo);
    return 1;
  }
  int chosen = static_cast<int>(undone.size()) - 1;
  if (undone.size() > 1) {
    std::vector<std::string> entries;
    for (int i : undone) entries.push_back(EntryText(u.stack[i]));
    chosen = TheHost().ChooseUndoLayer(true, entries, chosen);
    if (chosen < 0 || chosen >= static_cast<int>(undone.size())) return 2;
  }
  int from = undone[chosen];
  ImageRecord* target = u.stack[from]->parent;
  if (ImageIndex(target) < 0) {
    ShowMessage(kMessageLayerOfClosedImage);
    return 1;
  }
  int oldW = target->width, oldH = target->height;
  for (int i = u.capacity - 1; i >= from; --i) {
    ImageRecord* layer = u.stack[i];
    if (!layer || layer->undone != 1 || layer->parent != target) continue;
    if (SwapWithLayer(target, layer, "De-Undo") != 0) break;
    target->changed += 1;
    layer->undone = 0;
  }
  RefreshViews(target, oldW, oldH);
  return 0;
}

int SetUndoLevels(int oldCount, int newCount) {
  UndoState& u = UndoStack();
  newCount = std::clamp(newCount, 0, kMaxUndoLevels);
  if (!u.stack) {
    u.levels = newCount;
    return 0;
  }
  if (newCount < oldCount) {
    for (int i = newCount; i < oldCount && i < u.capacity; ++i) {
      FreeLayer(u.stack[i]);
      u.stack[i] = nullptr;
    }
  } else if (newCount > u.capacity) {
    auto* grown = AllocRealArray<ImageRecord*>(newCount, "undo");
    if (!grown) {
      ShowMessage(kMessageNoMemoryForUndo);
      u.levels = oldCount;
      return 1;
    }
    std::copy_n(u.stack, u.capacity, grown);
    FreeReal(u.stack, "undo");
    u.stack = grown;
    u.capacity = newCount;
  }
  u.levels = newCount;
  return 0;
}

int ChangeUndoLevels(int requested) {
  return SetUndoLevels(UndoStack().levels, std::clamp(requested, 0, kMaxUndoLevels));
}

int UndoOrDeUndo() {
  UndoState& u = UndoStack();
  if (ImageCount() == 0) {
    ShowMessage(kMessageNoImagesToUndo);
    return 1;
  }
  ImageRecord* layer = u.stack ? u.stack[0] : nullptr;
  if (!layer) {
    ShowMessage(kMessageNothingToUndo);
    return 1;
  }
  ImageRecord* target = layer->parent;
  if (ImageIndex(target) < 0) {
    ShowMessage(kMessageLayerOfClosedImage);
    return 1;
  }
  int oldW = target->width, oldH = target->height;
  if (layer->undone == 0) {
    if (SwapWithLayer(target, layer, "Undo") != 0) return 1;
    if (target->changed > 0) target->changed -= 1;
    layer->undone = 1;
  } else {
    // Every undone layer of the image is a later state than the picture
    // shown; they go back on oldest first so that the flip returns to the
    // latest state rather than to a mixture.
    for (int i = u.capacity - 1; i >= 0; --i) {
      ImageRecord* l = u.stack[i];
      if (!l || l->undone != 1 || l->parent != target) continue;
      if (SwapWithLayer(target, l, "De-Undo") != 0) break;
      target->changed += 1;
      l->undone = 0;
    }
  }
  RefreshViews(target, oldW, oldH);
  return 0;
}

void DropImageLayers(ImageRecord* image) {
  UndoState& u = UndoStack();
  if (!u.stack || !image) return;
  for (int i = 0; i < u.capacity;) {
    if (u.stack[i] && u.stack[i]->parent == image)
      RemoveEntry(i);
    else
      ++i;
  }
}

void FreeUndoStack() {
  UndoState& u = UndoStack();
  if (!u.stack) return;
  for (int i = 0; i < u.capacity; ++i) FreeLayer(u.stack[i]);
  FreeReal(u.stack, "undo");
  u.stack = nullptr;
  u.capacity = 0;
  u.latest = nullptr;
}

int KeepWholeImageLayer(ImageRecord* image, ImageRecord* layer, int opId) {
  if (!image || !layer) {
    FreeImage(layer);
    return 1;
  }
  if (EnsureStack() != 0) {
    ReportNoMemory();
    FreeImage(layer);
    return 1;
  }
  layer->parent = image;
  layer->originX = layer->originY = -1;
  layer->undone = 0;
  PushLayer(layer);
  CopyText(layer->path, std::string(LoadString(opId)).substr(0, 100));
  return 0;
}

int ReplaceNewestLayer(ImageRecord* image, ImageRecord* wholeImageLayer) {
  UndoState& u = UndoStack();
  if (!u.stack) {
    FreeImage(wholeImageLayer);
    return 1;
  }
  for (int i = 0; i < u.capacity; ++i) {
    ImageRecord* layer = u.stack[i];
    if (layer && layer->parent == image && layer->undone == 0) {
      CopyText(wholeImageLayer->path, layer->path);
      FreeLayer(layer);
      u.stack[i] = wholeImageLayer;
      return 0;
    }
  }
  FreeImage(wholeImageLayer);
  return 1;
}

}  // namespace qv
