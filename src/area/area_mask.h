// The area selection: the current AreaSelection (mode and shape), the
// AreaMask it makes (one byte per image pixel, 0 outside, 255 inside, values
// between for partial effect), the previous mask kept for combining, and the
// toolbox state that decides how a new shape meets the old one.
#pragma once

#include <cstdint>
#include <string>

#include "area/key_colour.h"
#include "store/image_record.h"
#include "store/memory_places.h"

namespace qv {

// Area mode ids (string-table ids; the toolbox and the TimeLine share them).
inline constexpr int kAreaFreehand = 9750;
inline constexpr int kAreaPolygon = 9751;
inline constexpr int kAreaIShape = 9752;
inline constexpr int kAreaRectangle = 9753;
inline constexpr int kAreaRoundRect = 9754;
inline constexpr int kAreaEllipse = 9755;
inline constexpr int kAreaPolyArc = 9756;
inline constexpr int kAreaSpline = 9757;
inline constexpr int kAreaBezier = 9758;
inline constexpr int kAreaNumRect = 9759;
inline constexpr int kAreaColourWand = 9760;
inline constexpr int kAreaEntire = 9761;
inline constexpr int kAreaFont = 9762;
inline constexpr int kAreaRedo = 9763;
inline constexpr int kAreaEditArea = 9764;
inline constexpr int kAreaColourKey = 9765;
inline constexpr int kAreaSplatter = 9766;
inline constexpr int kAreaComplement = 9767;
inline constexpr int kAreaIntersection = 9768;
inline constexpr int kAreaUnion = 9769;
inline constexpr int kAreaExclude = 9770;

inline constexpr std::uint8_t kPenDown = 0xFF;  // line from the previous point
inline constexpr std::uint8_t kPenUp = 0;       // start of a new sub-path
inline constexpr int kWandSeedLimit = 10000;

// Coordinates and sizes are ints, but sums and products of them are made in
// 64 bits (a selection may come from a file); a result goes back through this.
inline std::int32_t ClampToInt(std::int64_t v) {
  return static_cast<std::int32_t>(v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : v);
}
// a x b / c (c != 0, truncated), exact while the product fits 64 bits, and
// kept within +-2^62 so that an int may still be added to it.
inline std::int64_t MulDiv(std::int64_t a, std::int64_t b, std::int64_t c) {
  constexpr std::int64_t kLimit = std::int64_t{1} << 62;
  std::int64_t product = 0;
  if (!__builtin_mul_overflow(a, b, &product)) {
    const std::int64_t q = product / c;
    return q < -kLimit ? -kLimit : q > kLimit ? kLimit : q;
  }
  const long double q = static_cast<long double>(a) * static_cast<long double>(b) / static_cast<long double>(c);
  return q < -kLimit ? -kLimit : q > kLimit ? kLimit : static_cast<std::int64_t>(q);
}

struct AreaPoint {
  std::int32_t x;
  std::int32_t y;
  std::uint8_t flag;
};

// A growable point list in a real place. Plain on purpose: the places are
// released with the rest of the program state, and FreePointList gives one
// back early.
struct PointList {
  AreaPoint* points = nullptr;
  int count = 0;
  int capacity = 0;
  const char* tag = "xlin";
};
int PushPoint(PointList& list, int x, int y, std::uint8_t flag);  // 0 ok, 1 no memory
void ClearPointList(PointList& list);                             // keeps the place
void FreePointList(PointList& list);
int CopyPointList(PointList& to, const PointList& from);          // 0 ok, 1 no memory

struct ColourRanges {
  int rgb[3] = {20, 20, 20};
  int hsl[3] = {40, 40, 40};
  bool useHsl = true;
};

// The font a Font selection is drawn with. Size is the em height in pixels.
struct AreaFont {
  std::string face = "Arial";
  int pixelSize = 23;
  bool bold = false;
  bool italic = false;
  int colour[3] = {255, 0, 0};  // R, G, B the text is previewed in
};

struct AreaSelection {
  std::int16_t mode = 0;
  std::int32_t imageWidth = 0;
  std::int32_t imageHeight = 0;
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;  // inclusive
  std::int32_t centreX = 0, centreY = 0;
  std::int32_t radiusX = 0, radiusY = 0;
  std::int32_t roundness = 50;
  // Image pixels (a view converts its window positions through its zoom as
  // the points arrive). I-shape capture points are per-mille shape points.
  PointList capture{nullptr, 0, 0, "xlin"};
  PointList control{nullptr, 0, 0, "xlin"};
  PointList outline{nullptr, 0, 0, "Ixli"};
  bool closed = true;  // curves: the last point joins the first
  // The clicked pixel: Color Wand's start, and for Font the start of the
  // base line.
  std::int32_t seedX = 0, seedY = 0;
  // Color Key tests against the operations' key colour (shared with Key In
  // and Key to Alpha); Color Wand against the seed with its own ranges.
  ColourRanges wandRanges;
  std::string fontText;
  AreaFont font;
  float rotation = 0.0f, magnificationX = 1.0f, magnificationY = 1.0f, shear = 0.0f;
  std::int32_t transparencyLevel = 255;
  std::int32_t edgeFade = 0;
  std::int32_t grow = 100;
};

struct AreaMask {
  PlaceHandle place = nullptr;      // "Mask", width x height bytes
  std::uint8_t* address = nullptr;  // while locked
  std::int32_t width = 640;
  std::int32_t height = 480;
};

struct PreviousMask {
  std::uint8_t* bytes = nullptr;  // real place "oldm"
  std::int32_t width = 0;
  std::int32_t height = 0;
};

enum class AreaCombination { None, Complement, Intersection, Union };
enum class HoldConstraint { None, Square, Aspect, Source };

struct ColourDiscriminator {
  bool enabled = false;
  int from[3] = {0, 0, 0};
  int to[3] = {0, 0, 0};
};

struct SplatterSettings {
  int number = 20;
  int seed = 9;
  int shape = 0;  // 0 ellipses, else rectangles
  int sizing = 100;
  int holdSquare = 1;
  int inFromEdge = 0;
};

// What a splatter run keeps between BeginSplatter and EndSplatter. The
// clone is the picture before the run: the one undo layer of the whole run,
// kept when a splat changed the image (the pipeline sets `changed`).
struct SplatterRun {
  bool active = false;
  std::uint8_t* savedMask = nullptr;  // real place "splat"
  std::int32_t savedWidth = 0, savedHeight = 0;
  std::int16_t savedMode = 0;
  std::int32_t box[4] = {0, 0, 0, 0};      // left, top, right, bottom
  std::int32_t overall[4] = {0, 0, 0, 0};  // grows with every splat
  std::int32_t centre[2] = {0, 0};
  ImageRecord* clone = nullptr;
  ImageRecord* image = nullptr;
  int opId = 0;          // names the run's undo layer
  bool changed = false;  // a splat changed the image
};

// Whether the operation about to use the mask lets the image's alpha limit
// it. The apply pipeline fills this in for every apply.
struct AlphaMaskRule {
  int opId = 0;
  bool makeAlphaUsesMask = false;  // Make Alpha's own option
  bool catalogueForbids = false;   // NoAlphaMaskA / NoAlphaMaskB
  bool affectAlpha = false;        // the pipeline's affect-alpha switch
};

struct AreaState {
  AreaSelection selection;
  AreaMask mask;
  PreviousMask previous;
  PointList previousOutline{nullptr, 0, 0, "Lxli"};
  PointList shownOutline{nullptr, 0, 0, "Dpoi"};  // traced for the views
  bool traceOutline = true;  // false where no view shows it (the command line)
  bool loadedSelection = false;  // an area file or cell gave a selection
  // The image the mask was last made on (null when none, or when that build
  // was stopped), and whether Redo made it: Immediate Painting applies only
  // to the selection of the image it changes, and a redone mask is not
  // limited by alpha.
  const ImageRecord* maskImage = nullptr;
  bool redone = false;

  // Toolbox.
  AreaCombination combination = AreaCombination::None;
  bool exclude = false;
  bool colourKey = false;
  bool splatter = false;
  bool editArea = false;
  HoldConstraint hold = HoldConstraint::None;
  ColourDiscriminator discriminator;

  bool maskWithAlpha = true;  // "WithAlpha"
  KeyColourAccess keyColour;  // kept by the operations
  SplatterSettings splat;
  SplatterRun run;
  // The box the operation changed, as EndSplatter leaves it for the pipeline.
  std::int32_t changeBox[4] = {0, 0, 0, 0};
};

// The program's one AreaState (owned by the Program).
AreaState& Area();

// An image is leaving the table: a later image may get the same address, and
// a selection made on this one is not its own.
void ForgetAreaImage(const ImageRecord* image);

// Building.
int BuildAreaMask(ImageRecord* image, int viewIndex);  // 0 ok, 1 failure or stop
// The same with the Color Key restriction and Exclude given explicitly (the
// TimeLine path applies Exclude after combining).
int BuildAreaMaskWith(ImageRecord* image, int mode, bool keyRestrict, bool exclude);
// The outline of the shape modes in image pixels, from the capture or
// control points; the mask is filled from it.
int BuildOutline(int mode);  // 0 ok, 1 no memory

// Gestures: what a view calls when a button goes down (returns the
// combination code, 0 none) and when the gesture ends. FinishSelection makes
// the mask the outline shows (shape, Color Key, Exclude, combination,
// transparency) once; the apply uses it as it is. Redo (selection mode
// kAreaRedo) brings back the last finished mask scaled to the image, without
// combining or fading it again.
int CombinationCode(bool shift, bool ctrl);
int BeginSelectionGesture(bool shift, bool ctrl);
int FinishSelection(ImageRecord* image, int viewIndex, int combinationCode);
// Whether the current mask is a selection made on this image (and selects
// something), as Immediate Painting needs before it applies.
bool SelectionReadyOn(const ImageRecord* image);

int CombineWithPrevious(int code);          // 0 ok, 1 no masks
int CombineOnTimeLine();                    // the stored-area rules; 0 ok, 1 no masks
int SavePreviousMask();                     // 0 ok, 1 no memory
int ResizeMask(int width, int height);      // 0 ok, 1 no memory
void MaskBounds(int viewIndex);
int SelectEntire(ImageRecord* image, int viewIndex);
int UndoLastSelection();                    // 0 ok, 1 nothing to swap or no memory
void ClearAreaSelection();
// Sets the selection box (inclusive) with its centre and radii (the sums in
// 64 bits; a radius past what an int holds is kept at its largest value).
void SetSelectionBox(AreaSelection& s, int left, int top, int right, int bottom);
int ApplyColourDiscriminator(ImageRecord* image);
// Edit Area: rescales the capture points from the current box into a new
// one and rebuilds; message 72 when there is no selection.
int EditAreaBox(ImageRecord* image, int left, int top, int right, int bottom);

// Colour tests (pixel colour against a reference).
bool PassesColourTest(const std::uint8_t* rgb, const int ref[3], const ColourRanges& ranges);

// Traces the mask's boundary into the shown outline: edge pixels (selected,
// on the border or next to an unselected 4-neighbour) followed through their
// 8-neighbours; each chain starts with a pen-up point.
int TraceMaskOutline();  // 0 ok, 1 no mask or no memory

// Font mode: rasterises the selection's text at (x, y) (start of the base
// line) into the mask. 0 ok, 1 no face or no memory.
int DrawFontMask(std::uint8_t* mask, int width, int height, const AreaSelection& s, int x, int y);

// Transparency and splatter. ApplyTransparency finishes a selection's mask
// (level, edge fade, grow, soft edge). "Mask with Alpha" is not part of it:
// whether alpha limits the mask depends on the operation applied through it,
// so the apply pipeline limits the mask for each apply (AlphaLimitsMask,
// LimitMaskByAlpha) and gives it back as drawn afterwards.
int ApplyTransparency(ImageRecord* image);
// Level, Edge Fade, Grow and the soft edge of a selection on plain mask bytes
// (width x height); 0 ok, 1 no memory.
int FadeMaskBytes(std::uint8_t* mask, int width, int height, const AreaSelection& s);
bool AlphaLimitsMask(const ImageRecord* image, const AlphaMaskRule& rule);
// mask = mask x alpha / 255 over the inclusive box (clamped to the image);
// the image is locked by the caller.
void LimitMaskByAlpha(std::uint8_t* mask, ImageRecord* image, int left, int top, int right, int bottom);
int BeginSplatter(ImageRecord* image, int viewIndex);
int MakeSplat(ImageRecord* image, int viewIndex, int splat);
int EndSplatter(ImageRecord* image, int viewIndex);

// Locks the mask for the image's size, allocating or resampling as needed
// (messages 59 and 60). The returned address stays valid until UnlockMask.
std::uint8_t* LockMaskFor(ImageRecord* image, const char* tag = "Mask");
void UnlockMask();

void FreeAreaState();

}  // namespace qv
