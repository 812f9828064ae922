// Stored area selections: the record a TimeLine area cell keeps of the
// selection at a key frame, and the selection of any frame between two of
// them, blended number by number where the two are of one kind and made by
// tweening the two masks row by row where they are not.
#pragma once

#include <cstdint>
#include <string_view>

#include "area/area_mask.h"

namespace qv {

inline constexpr std::uint16_t kStoredAreaKind = 3;
inline constexpr int kStoredFaceRoom = 60;
inline constexpr int kStoredShapeNameRoom = 40;
inline constexpr int kStoredTextRoom = 102;  // at least this much room for the text

struct StoredPoint {
  std::int32_t x;
  std::int32_t y;
  std::uint16_t flag;
};

// A real place "area". Points ("apts") and text ("atxt") belong to it.
struct StoredArea {
  std::uint16_t kind = kStoredAreaKind;
  std::uint16_t mode = 0;
  std::int32_t maskWidth = 0, maskHeight = 0;
  std::int32_t centreX = 0, centreY = 0;  // Color Wand: its seed
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;
  float magnificationX = 1.0f, magnificationY = 1.0f;
  float rotation = 0.0f;
  float shear = 0.0f;
  char fontFace[kStoredFaceRoom] = {};
  std::int32_t fontSize = 23;
  std::int32_t fontX = 0, fontY = 0;
  char shapeName[kStoredShapeNameRoom] = {};
  std::int32_t roundness = 50;
  std::int32_t level = 255, edgeFade = 0, grow = 100;
  std::int32_t pointCount = 0;
  StoredPoint* points = nullptr;  // I-shape per-mille, curve controls, else outline pixels
  char* text = nullptr;
  std::uint16_t interpolate = 1;
  std::uint16_t prompt = 0;
  std::uint16_t modify = 0;  // 0 none, 1 Complement, 2 Intersection, 3 Union
  std::uint16_t exclude = 0;
  std::uint16_t keyColour[3] = {0, 0, 255};
  std::uint16_t keyRange[3] = {20, 20, 20};  // Color Wand: its own ranges
  std::uint16_t keyHsl = 1;
  std::uint16_t discriminatorOn = 0;
  std::uint16_t discriminator[6] = {};  // R from, R to, G from, G to, B from, B to
  std::uint16_t keyRestriction = 0;
  std::uint16_t splatterOn = 0;
  std::int32_t splatNumber = 20, splatSeed = 9, splatSizing = 100;
  std::uint16_t splatShape = 0, holdSquare = 1, inFromEdge = 0;
  // The hue, saturation and lightness tolerances of Color Key and Color
  // Wand, so that a cell gives the same mask on every machine.
  std::uint16_t hslRange[3] = {40, 40, 40};
};

// A record with the defaults of a new selection in this mode; null when
// out of memory.
StoredArea* NewStoredArea(int mode);
// The current selection, with the toolbox state that shapes its mask;
// null when out of memory.
StoredArea* StoreArea(int mode);
StoredArea* CopyStoredArea(const StoredArea& from);
void FreeStoredArea(StoredArea* record);
// Replaces the record's points (0 ok, 1 no memory) and its text.
int SetStoredPoints(StoredArea& record, const StoredPoint* points, int count);
int SetStoredText(StoredArea& record, std::string_view text);
std::string_view StoredText(const StoredArea& record);

// Makes the record the current selection, refitted to the image, and builds
// its mask as the TimeLine does: the record's own combination, Exclude,
// Color Key restriction and discriminator decide, not the toolbox (which is
// left as it was); its splatter settings are left in force for the apply.
// 0 ok, 1 failure.
int ApplyStoredArea(const StoredArea& record, ImageRecord* image, int viewIndex);

// The record for frame f between key A at frame fA and key B at frame fB (a
// next key at frame 0 is reached at the frame count): A, B, the blended
// scratch record ("aream"), or A with a request to tween the masks.
struct AreaChoice {
  const StoredArea* record = nullptr;
  bool tween = false;
};
AreaChoice InterpolateArea(const StoredArea& a, const StoredArea& b, int fA, int fB, int f, int frameCount);

// The mask of frame f made on the image: the interpolated record, or the two
// masks tweened. 0 ok, 1 failure.
int AreaForFrame(const StoredArea& a, const StoredArea& b, int fA, int fB, int f, int frameCount, ImageRecord* image,
                 int viewIndex);

// The mask tween itself on plain bytes (w x h): A's and B's masks with their
// boxes (inclusive), t of T steps from A to B. Returns the result box.
struct MaskBox {
  int left = 0, top = 0, right = 0, bottom = 0;
};
MaskBox TweenMasks(const std::uint8_t* maskA, MaskBox boxA, const std::uint8_t* maskB, MaskBox boxB, int w, int h,
                   std::int64_t t, std::int64_t steps, std::uint8_t* out);

void FreeAreaScratch();

}  // namespace qv
