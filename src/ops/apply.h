// The apply pipeline: from the user's Apply (or a generated frame) to a
// changed, redisplayed image, confined by the mask, undoable, stoppable and
// timed. It owns the seven drivers and the look-up-table worker shared by
// the colour operations.
#pragma once

#include <cstdint>
#include <string>

#include "ops/apply_state.h"

namespace qv {

inline constexpr int kSwapActionAndSource = 3200;
inline constexpr int kRemoveOtherImages = 3201;
inline constexpr int kCloneActionAsSource = 3203;
inline constexpr int kMessageNoChange = 65;

ApplyContext& Ctx();

// The image an apply changes: the current action image, else the current
// image, else the first one; null when none is loaded.
ImageRecord* ActionImage();
// The chosen source image, or the action image when none is chosen.
ImageRecord* SourceImage();

// The Apply entry: the three Apply commands, or Apply Operation followed by
// the count of applied changes. 0 done, 1 failed or stopped, 2 cancelled.
int Apply(int command, int viewIndex = 0);
int ApplyOperation(OpId op, ImageRecord* action, int viewIndex);

// Runs the driver of this kind over the published context.
int RunDriver(ApplyKind kind);

// The look-up-table worker and its four tables (null when they cannot be had).
void LookupTableWorker(std::uint8_t* pixel, int mask);
void LookupTableRow(std::uint8_t* pixels, const std::uint8_t* mask, int count);
std::int32_t* LookupTable(int channel);  // 0 R, 1 G, 2 B, 3 A

// What a Prepare returns when its settings would change nothing: message 65,
// silent while a sequence is generated.
int NoChangeCancel();

// The working method, and "Draw First" as the catalogue's hook asks it.
bool DrawFirst();
void SetWorkMethod(int method);
// A view finished an area selection (its mask is made): Immediate Painting
// applies the current operation now; Draw First waits for the effect to be
// chosen. The result of the apply, or 0.
int AreaSelectionMade(int viewIndex);
// Redo from the area toolbox: the last selection rebuilt once on this image
// (its view acts), which Immediate Painting then changes. 0 done, 1 no
// selection to redo (message 28) or the apply failed, 2 cancelled.
int RedoSelection(ImageRecord* image);

// Chronograph: begin returns the start in milliseconds of the day; end
// returns the milliseconds elapsed since.
long ChronographBegin(const std::string& action);
long ChronographEnd(long start, const std::string& action);
std::string FormatChronoTime(long millisecondsOfDay);

}  // namespace qv
