// Undo and de-undo. Before an operation changes an image, the pixels of the
// changed rectangle are kept in an UndoLayer; undo and de-undo exchange the
// layer's pixels with the image's, so a layer always holds the other
// version and serves both directions. One stack is shared by all images,
// newest first.
#pragma once

#include <cstdint>

#include "store/image_record.h"

namespace qv {

inline constexpr int kMaxUndoLevels = 20;

struct UndoState {
  ImageRecord** stack = nullptr;  // real place "undo"
  int capacity = 0;
  int levels = 3;                 // "UndoWant"

  // The layer just taken and its rectangle, read by the apply pipeline.
  ImageRecord* latest = nullptr;
  std::int32_t beforeLeft = 0, beforeTop = 0;
  std::int32_t beforeWidth = 0, beforeHeight = 0;
  std::int32_t imageWidth = 0, imageHeight = 0;
};

// The program's one UndoState (owned by the Program).
UndoState& UndoStack();

// wholeImage: the operation replaces the whole picture (Enlarge and Reduce
// with their whole-image setting), whatever rectangle is given.
int TakeUndo(int left, int top, int right, int bottom, ImageRecord* image, int opId = 0, bool wholeImage = false);
void DropRedoLayers(ImageRecord* image);
int UndoLatest(ImageRecord* image);  // 0 restored, 1 nothing to restore or lock failure
int Undo();                          // 0 done, 1 refused or failed, 2 cancelled
int DeUndo();
int SetUndoLevels(int oldCount, int newCount);  // 0 ok, 1 no memory
// The "Number of Undo levels" dialog's answer: clamped to 0..20, then the
// stack resized from the current count. 0 ok, 1 no memory (the old count
// stays).
int ChangeUndoLevels(int requested);
// The tool bar's "Undo / De-undo", for comparing before and after: while the
// newest layer is undoable it undoes that one change; once it is undone, it
// re-applies every undone layer of its image, back to the latest state.
// Never asks. 0 done, 1 nothing to flip or failed.
int UndoOrDeUndo();
void DropImageLayers(ImageRecord* image);
void FreeUndoStack();
int SwapWithLayer(ImageRecord* image, ImageRecord* layer, const char* title);

// Exchanges everything that makes up a picture's body (size, places,
// addresses, alpha, lock count, resolution): how a whole-image layer swaps,
// and how an operation that resizes an image in place installs its result.
void SwapImageBodies(ImageRecord* a, ImageRecord* b);

// Replaces the image's newest undoable layer by a whole-image layer (an
// operation that changed the picture's size in place). 0 ok, 1 none there.
int ReplaceNewestLayer(ImageRecord* image, ImageRecord* wholeImageLayer);

// A splatter run keeps the picture as it was before the run as its one
// layer, pushed when the run has changed the image (one Undo takes back
// every splat); each splat pass meanwhile works on a copy of its box that
// never goes on the stack, so that nothing a pass does, or a stop inside
// it, touches the earlier history.
// The copy: a locked layer of the rectangle (clamped), owned by the caller;
// null after message 38 or 39.
ImageRecord* CopyUndoRectangle(int left, int top, int right, int bottom, ImageRecord* image);
// Pushes a whole-image layer of the image, labelled with the operation;
// 0 ok, 1 no memory (message given, the layer freed).
int KeepWholeImageLayer(ImageRecord* image, ImageRecord* layer, int opId);

}  // namespace qv
