#include "area/stored_area.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "area/area_files.h"
#include "area/area_mask.h"
#include "area/key_colour.h"
#include "base/fixed_text.h"
#include "base/messages.h"
#include "base/progress.h"

namespace qv {
namespace {

constexpr int kMessageNoMemory = 22;


bool IsBoxFamily(int mode) { return mode == kAreaRectangle || mode == kAreaEllipse || mode == kAreaRoundRect; }
bool IsCurve(int mode) { return mode == kAreaPolyArc || mode == kAreaSpline || mode == kAreaBezier; }
bool IsOutlineMode(int mode) { return mode == kAreaFreehand || mode == kAreaPolygon || IsCurve(mode); }

std::uint16_t U16(int v) { return static_cast<std::uint16_t>(std::clamp(v, 0, 65535)); }

StoredArea* Allocate() {
  void* place = AllocReal(sizeof(StoredArea), "area");
  return place ? std::construct_at(static_cast<StoredArea*>(place)) : nullptr;
}

int CopyPoints(StoredArea& r, const PointList& list) {
  std::vector<StoredPoint> pts(static_cast<std::size_t>(list.count));
  for (int i = 0; i < list.count; ++i) pts[static_cast<std::size_t>(i)] = {list.points[i].x, list.points[i].y, list.points[i].flag};
  return SetStoredPoints(r, pts.data(), list.count);
}

void PointsInto(PointList& list, const StoredArea& r) {
  ClearPointList(list);
  for (int i = 0; i < r.pointCount; ++i)
    if (PushPoint(list, r.points[i].x, r.points[i].y, r.points[i].flag ? kPenDown : kPenUp)) break;
}

std::int64_t Blend(std::int64_t a, std::int64_t b, std::int64_t t, std::int64_t steps) {
  return a + (b - a) * t / steps;
}

// The first and last selected column of a row within [l, r]; false when
// the row has none there.
bool RowRun(const std::uint8_t* row, int l, int r, int& first, int& last) {
  int i = l;
  while (i <= r && row[i] == 0) ++i;
  if (i > r) return false;
  int j = r;
  while (row[j] == 0) --j;
  first = i, last = j;
  return true;
}

// The selected run of every row of a box; a row without one takes the
// previous row's, and leading empty rows the first run found (a shape whose
// top rows are empty would otherwise start from nothing). With no run at all
// every row gets the box's middle column, which reads as unselected.
std::vector<std::pair<int, int>> Runs(const std::uint8_t* mask, int w, const MaskBox& box) {
  std::vector<std::pair<int, int>> runs(static_cast<std::size_t>(box.bottom - box.top + 1), {-1, -1});
  int firstFound = -1;
  for (int y = box.top; y <= box.bottom; ++y) {
    auto& run = runs[static_cast<std::size_t>(y - box.top)];
    if (RowRun(mask + static_cast<std::size_t>(y) * w, box.left, box.right, run.first, run.second)) {
      if (firstFound < 0) firstFound = y - box.top;
    } else if (y > box.top && runs[static_cast<std::size_t>(y - box.top - 1)].first >= 0) {
      run = runs[static_cast<std::size_t>(y - box.top - 1)];
    }
  }
  const std::pair<int, int> lead =
      firstFound < 0 ? std::pair{(box.left + box.right) / 2, (box.left + box.right) / 2} : runs[static_cast<std::size_t>(firstFound)];
  for (auto& run : runs)
    if (run.first < 0) run = lead;
  return runs;
}

MaskBox Clamped(MaskBox b, int w, int h) {
  if (b.left > b.right) std::swap(b.left, b.right);
  if (b.top > b.bottom) std::swap(b.top, b.bottom);
  b.left = std::clamp(b.left, 0, w - 1), b.right = std::clamp(b.right, 0, w - 1);
  b.top = std::clamp(b.top, 0, h - 1), b.bottom = std::clamp(b.bottom, 0, h - 1);
  return b;
}

MaskBox SelectionBox() {
  const AreaSelection& s = Area().selection;
  return {s.left, s.top, s.right, s.bottom};
}

// The mask bytes as they are now, or empty when there is no mask or no memory.
std::uint8_t* CopyOfMask(const char* tag) {
  const AreaMask& m = Area().mask;
  if (!m.place) return nullptr;
  const std::int64_t count = std::int64_t{m.width} * m.height;
  auto* copy = static_cast<std::uint8_t*>(AllocReal(count, tag));
  if (!copy) return nullptr;
  auto* bytes = static_cast<const std::uint8_t*>(LockVirtual(m.place));
  if (!bytes) {
    FreeReal(copy, tag);
    return nullptr;
  }
  std::memcpy(copy, bytes, static_cast<std::size_t>(count));
  UnlockVirtual(m.place);
  return copy;
}

}  // namespace

StoredArea* NewStoredArea(int mode) {
  StoredArea* r = Allocate();
  if (!r) return nullptr;
  r->mode = U16(mode);
  if (SetStoredText(*r, {}) != 0) {
    FreeStoredArea(r);
    return nullptr;
  }
  return r;
}

StoredArea* StoreArea(int mode) {
  const AreaState& a = Area();
  const AreaSelection& s = a.selection;
  StoredArea* r = NewStoredArea(mode);
  if (!r) return nullptr;
  r->maskWidth = s.imageWidth, r->maskHeight = s.imageHeight;
  r->centreX = s.centreX, r->centreY = s.centreY;
  if (IsBoxFamily(mode)) {
    r->left = s.centreX - s.radiusX, r->right = s.centreX + s.radiusX;
    r->top = s.centreY - s.radiusY, r->bottom = s.centreY + s.radiusY;
  } else {
    r->left = std::min(s.left, s.right), r->right = std::max(s.left, s.right);
    r->top = std::min(s.top, s.bottom), r->bottom = std::max(s.top, s.bottom);
  }
  if (mode == kAreaColourWand) r->centreX = s.seedX, r->centreY = s.seedY;
  r->magnificationX = s.magnificationX, r->magnificationY = s.magnificationY;
  r->rotation = s.rotation, r->shear = s.shear;
  CopyText(r->fontFace, s.font.face);
  r->fontSize = s.font.pixelSize;
  r->fontX = s.seedX, r->fontY = s.seedY;
  CopyText(r->shapeName, AreaFiles().shapeName);
  r->roundness = s.roundness;
  r->level = s.transparencyLevel, r->edgeFade = s.edgeFade, r->grow = s.grow;
  const PointList& points = mode == kAreaIShape || mode == kAreaFreehand || mode == kAreaPolygon ? s.capture
                            : IsCurve(mode)                                                      ? s.control
                                                                                                 : s.outline;
  if (CopyPoints(*r, points) != 0 || (mode == kAreaFont && SetStoredText(*r, s.fontText) != 0)) {
    FreeStoredArea(r);
    return nullptr;
  }
  r->modify = static_cast<std::uint16_t>(a.combination);
  r->exclude = a.exclude;
  const KeyColour key = GetKeyColour();
  r->keyColour[0] = U16(key.red), r->keyColour[1] = U16(key.green), r->keyColour[2] = U16(key.blue);
  if (mode == kAreaColourWand) {
    for (int c = 0; c < 3; ++c) r->keyRange[c] = U16(s.wandRanges.rgb[c]), r->hslRange[c] = U16(s.wandRanges.hsl[c]);
    r->keyHsl = s.wandRanges.useHsl;
  } else {
    r->keyRange[0] = U16(key.redRange), r->keyRange[1] = U16(key.greenRange), r->keyRange[2] = U16(key.blueRange);
    r->hslRange[0] = U16(key.extra.hueRange), r->hslRange[1] = U16(key.extra.saturationRange);
    r->hslRange[2] = U16(key.extra.lightnessRange);
    r->keyHsl = key.extra.useHsl != 0;
  }
  r->discriminatorOn = a.discriminator.enabled;
  for (int c = 0; c < 3; ++c) r->discriminator[2 * c] = U16(a.discriminator.from[c]), r->discriminator[2 * c + 1] = U16(a.discriminator.to[c]);
  r->keyRestriction = a.colourKey;
  r->splatterOn = a.splatter;
  r->splatNumber = a.splat.number, r->splatSeed = a.splat.seed, r->splatSizing = a.splat.sizing;
  r->splatShape = U16(a.splat.shape), r->holdSquare = U16(a.splat.holdSquare), r->inFromEdge = U16(a.splat.inFromEdge);
  return r;
}

StoredArea* CopyStoredArea(const StoredArea& from) {
  StoredArea* r = Allocate();
  if (!r) return nullptr;
  *r = from;
  r->points = nullptr;
  r->pointCount = 0;
  r->text = nullptr;
  if (SetStoredPoints(*r, from.points, from.pointCount) != 0 || SetStoredText(*r, StoredText(from)) != 0) {
    FreeStoredArea(r);
    return nullptr;
  }
  return r;
}

void FreeStoredArea(StoredArea* record) {
  if (!record) return;
  if (record->points) FreeReal(record->points, "apts");
  if (record->text) FreeReal(record->text, "atxt");
  FreeReal(record, "area");
}

int SetStoredPoints(StoredArea& r, const StoredPoint* points, int count) {
  StoredPoint* copy = nullptr;
  if (count > 0) {
    copy = AllocRealArray<StoredPoint>(count, "apts");
    if (!copy) return 1;
    std::copy_n(points, count, copy);
  }
  if (r.points) FreeReal(r.points, "apts");
  r.points = copy;
  r.pointCount = count;
  return 0;
}

int SetStoredText(StoredArea& r, std::string_view text) {
  const std::size_t room = std::max<std::size_t>(kStoredTextRoom, text.size() + 1);
  auto* copy = static_cast<char*>(AllocReal(static_cast<std::int64_t>(room), "atxt"));
  if (!copy) return 1;
  // An empty text may have no address at all: nothing to copy then.
  if (!text.empty()) std::memcpy(copy, text.data(), text.size());
  std::memset(copy + text.size(), 0, room - text.size());
  if (r.text) FreeReal(r.text, "atxt");
  r.text = copy;
  return 0;
}

std::string_view StoredText(const StoredArea& r) { return r.text ? std::string_view(r.text) : std::string_view{}; }

int ApplyStoredArea(const StoredArea& r, ImageRecord* image, int viewIndex) {
  if (!image) return 1;
  AreaState& a = Area();
  AreaSelection& s = a.selection;
  s.mode = static_cast<std::int16_t>(r.mode);
  s.imageWidth = r.maskWidth, s.imageHeight = r.maskHeight;
  SetSelectionBox(s, r.left, r.top, r.right, r.bottom);
  if (!IsBoxFamily(r.mode)) s.centreX = r.centreX, s.centreY = r.centreY;
  s.roundness = std::clamp(r.roundness, 0, 100);
  s.transparencyLevel = std::clamp(r.level, 0, 255);
  s.edgeFade = std::clamp(r.edgeFade, 0, 100);
  s.grow = std::clamp(r.grow, 0, 100);
  s.closed = true;
  if (r.mode == kAreaIShape || r.mode == kAreaFreehand || r.mode == kAreaPolygon) PointsInto(s.capture, r);
  if (IsCurve(r.mode)) PointsInto(s.control, r);
  if (r.mode == kAreaColourWand) {
    s.seedX = r.centreX, s.seedY = r.centreY;
    for (int c = 0; c < 3; ++c) s.wandRanges.rgb[c] = r.keyRange[c], s.wandRanges.hsl[c] = r.hslRange[c];
    s.wandRanges.useHsl = r.keyHsl != 0;
  }
  if (r.mode == kAreaFont) {
    s.seedX = r.fontX, s.seedY = r.fontY;
    s.fontText = std::string(StoredText(r));
    if (r.fontFace[0]) s.font.face = std::string(r.fontFace, strnlen(r.fontFace, sizeof r.fontFace));
    s.font.pixelSize = std::clamp(r.fontSize, 1, 100);
    s.magnificationX = r.magnificationX, s.magnificationY = r.magnificationY;
    s.rotation = r.rotation, s.shear = r.shear;
  }
  if (r.mode == kAreaColourKey || r.keyRestriction) {
    KeyColour key = GetKeyColour();
    key.red = r.keyColour[0], key.green = r.keyColour[1], key.blue = r.keyColour[2];
    key.redRange = r.keyRange[0], key.greenRange = r.keyRange[1], key.blueRange = r.keyRange[2];
    key.extra.hueRange = r.hslRange[0], key.extra.saturationRange = r.hslRange[1], key.extra.lightnessRange = r.hslRange[2];
    key.extra.useHsl = r.keyHsl;
    SetKeyColour(key);
  }
  const int mode = FitStoredSelection(image->width, image->height, viewIndex);

  // The record decides how its mask meets the one before it, so that a
  // TimeLine gives the same frames whatever the toolbox shows.
  const AreaCombination combination = a.combination;
  const bool exclude = a.exclude, colourKey = a.colourKey;
  const ColourDiscriminator discriminator = a.discriminator;
  a.combination = static_cast<AreaCombination>(std::min<int>(r.modify, 3));
  a.exclude = r.exclude != 0;
  a.colourKey = r.keyRestriction != 0;
  a.discriminator.enabled = r.discriminatorOn != 0;
  for (int c = 0; c < 3; ++c) a.discriminator.from[c] = r.discriminator[2 * c], a.discriminator.to[c] = r.discriminator[2 * c + 1];
  int result = BuildAreaMaskWith(image, mode, a.colourKey, false);
  if (result == 0) result = CombineOnTimeLine();
  if (result == 0) result = ApplyTransparency(image);
  if (result == 0) result = ApplyColourDiscriminator(image);
  if (result == 0 && a.discriminator.enabled) MaskBounds(viewIndex);
  a.combination = combination;
  a.exclude = exclude;
  a.colourKey = colourKey;
  a.discriminator = discriminator;

  a.splatter = r.splatterOn != 0;
  a.splat.number = r.splatNumber, a.splat.seed = r.splatSeed, a.splat.sizing = r.splatSizing;
  a.splat.shape = r.splatShape, a.splat.holdSquare = r.holdSquare, a.splat.inFromEdge = r.inFromEdge;
  return result == 0 ? 0 : 1;
}

AreaChoice InterpolateArea(const StoredArea& a, const StoredArea& b, int fA, int fB, int f, int frameCount) {
  if (f == fA) return {&a, false};
  if (fB == 0) fB = frameCount;
  if (f == fB) return {&b, false};
  const std::int64_t t = std::int64_t{f} - fA, steps = std::max<std::int64_t>(1, std::int64_t{fB} - fA);

  // Entire takes part as the rectangle of its image.
  StoredArea ends[2] = {a, b};
  int roundness[2] = {0, 0};
  for (StoredArea& e : ends) {
    if (e.mode != kAreaEntire) continue;
    e.mode = kAreaRectangle;
    e.left = 0, e.top = 0, e.right = e.maskWidth - 1, e.bottom = e.maskHeight - 1;
    e.centreX = e.maskWidth / 2, e.centreY = e.maskHeight / 2;
  }
  const bool boxes = IsBoxFamily(ends[0].mode) && IsBoxFamily(ends[1].mode);
  if (boxes) {
    for (int i = 0; i < 2; ++i)
      roundness[i] = ends[i].mode == kAreaRectangle ? 0 : ends[i].mode == kAreaEllipse ? 100 : ends[i].roundness;
  } else {
    const bool sameKind = a.mode == b.mode && !IsOutlineMode(a.mode) &&
                          (a.mode != kAreaIShape || std::strncmp(a.shapeName, b.shapeName, sizeof a.shapeName) == 0) &&
                          (a.mode != kAreaFont || StoredText(a) == StoredText(b));
    if (!sameKind) return {&a, true};
  }

  AreaFilesState& files = AreaFiles();
  if (!files.scratch) {
    void* place = AllocReal(sizeof(StoredArea), "aream");
    if (!place) return {&a, false};
    files.scratch = std::construct_at(static_cast<StoredArea*>(place));
  }
  StoredArea& r = *files.scratch;
  const StoredArea& ea = ends[0];
  const StoredArea& eb = ends[1];
  r = a;  // mode, flags, points and text come from A (the points stay A's)
  auto mix = [&](std::int64_t va, std::int64_t vb) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(Blend(va, vb, t, steps), INT32_MIN, INT32_MAX));
  };
  auto mix16 = [&](std::uint16_t va, std::uint16_t vb) { return U16(mix(va, vb)); };
  auto mixf = [&](float va, float vb) { return static_cast<float>(va + (vb - va) * static_cast<double>(t) / static_cast<double>(steps)); };
  r.maskWidth = mix(ea.maskWidth, eb.maskWidth), r.maskHeight = mix(ea.maskHeight, eb.maskHeight);
  r.centreX = mix(ea.centreX, eb.centreX), r.centreY = mix(ea.centreY, eb.centreY);
  r.left = mix(ea.left, eb.left), r.top = mix(ea.top, eb.top);
  r.right = mix(ea.right, eb.right), r.bottom = mix(ea.bottom, eb.bottom);
  r.roundness = boxes ? mix(roundness[0], roundness[1]) : mix(ea.roundness, eb.roundness);
  if (boxes) r.mode = kAreaRoundRect;
  r.fontX = mix(ea.fontX, eb.fontX), r.fontY = mix(ea.fontY, eb.fontY);
  r.fontSize = mix(ea.fontSize, eb.fontSize);
  r.magnificationX = mixf(ea.magnificationX, eb.magnificationX);
  r.magnificationY = mixf(ea.magnificationY, eb.magnificationY);
  r.rotation = mixf(ea.rotation, eb.rotation), r.shear = mixf(ea.shear, eb.shear);
  r.level = mix(ea.level, eb.level), r.edgeFade = mix(ea.edgeFade, eb.edgeFade), r.grow = mix(ea.grow, eb.grow);
  for (int c = 0; c < 3; ++c) {
    r.keyColour[c] = mix16(ea.keyColour[c], eb.keyColour[c]);
    r.keyRange[c] = mix16(ea.keyRange[c], eb.keyRange[c]);
    r.hslRange[c] = mix16(ea.hslRange[c], eb.hslRange[c]);
  }
  r.splatNumber = mix(ea.splatNumber, eb.splatNumber);
  r.splatSeed = mix(ea.splatSeed, eb.splatSeed);
  r.splatSizing = mix(ea.splatSizing, eb.splatSizing);
  return {&r, false};
}

MaskBox TweenMasks(const std::uint8_t* maskA, MaskBox boxA, const std::uint8_t* maskB, MaskBox boxB, int w, int h,
                   std::int64_t t, std::int64_t steps, std::uint8_t* out) {
  steps = std::max<std::int64_t>(1, steps);
  t = std::clamp<std::int64_t>(t, 0, steps);
  boxA = Clamped(boxA, w, h);
  boxB = Clamped(boxB, w, h);
  auto mix = [&](int a, int b) { return static_cast<int>(Blend(a, b, t, steps)); };
  MaskBox box = Clamped({mix(boxA.left, boxB.left), mix(boxA.top, boxB.top), mix(boxA.right, boxB.right),
                         mix(boxA.bottom, boxB.bottom)},
                        w, h);
  std::memset(out, 0, static_cast<std::size_t>(w) * h);
  const auto runsA = Runs(maskA, w, boxA);
  const auto runsB = Runs(maskB, w, boxB);
  const std::int64_t height = std::max(1, box.bottom - box.top);
  for (int y = box.top; y <= box.bottom; ++y) {
    const int yA = boxA.top + static_cast<int>((std::int64_t{y} - box.top) * (boxA.bottom - boxA.top) / height);
    const int yB = boxB.top + static_cast<int>((std::int64_t{y} - box.top) * (boxB.bottom - boxB.top) / height);
    const auto [a0, a1] = runsA[static_cast<std::size_t>(yA - boxA.top)];
    const auto [b0, b1] = runsB[static_cast<std::size_t>(yB - boxB.top)];
    const std::int64_t x0 = (std::int64_t{b0} * t + std::int64_t{a0} * (steps - t)) / steps;
    const std::int64_t x1 = (std::int64_t{b1} * t + std::int64_t{a1} * (steps - t)) / steps;
    const std::int64_t span = std::max<std::int64_t>(1, x1 - x0);
    const std::uint8_t* rowA = maskA + static_cast<std::size_t>(yA) * w;
    const std::uint8_t* rowB = maskB + static_cast<std::size_t>(yB) * w;
    std::uint8_t* row = out + static_cast<std::size_t>(y) * w;
    for (std::int64_t x = std::max<std::int64_t>(box.left, x0); x <= std::min<std::int64_t>(box.right, x1); ++x) {
      const int sa = rowA[a0 + (x - x0) * (a1 - a0) / span];
      const int sb = rowB[b0 + (x - x0) * (b1 - b0) / span];
      row[x] = static_cast<std::uint8_t>((sb * t + sa * (steps - t)) / steps);
    }
    if (((y - box.top) & 63) == 0 && Progress(y - box.top) != 0) break;
  }
  return box;
}

int AreaForFrame(const StoredArea& a, const StoredArea& b, int fA, int fB, int f, int frameCount, ImageRecord* image,
                 int viewIndex) {
  const AreaChoice choice = InterpolateArea(a, b, fA, fB, f, frameCount);
  if (ApplyStoredArea(*choice.record, image, viewIndex) != 0) return 1;
  if (!choice.tween) return 0;
  AreaState& area = Area();
  std::uint8_t* maskA = CopyOfMask("cmask");
  if (!maskA) {
    ShowMessageWith(kMessageNoMemory, "for Area Interpolation.");
    return 0;
  }
  const MaskBox boxA = SelectionBox();
  const int result = ApplyStoredArea(b, image, viewIndex);
  std::uint8_t* maskB = result == 0 ? CopyOfMask("tmask") : nullptr;
  auto* out = area.mask.place ? static_cast<std::uint8_t*>(LockVirtual(area.mask.place)) : nullptr;
  if (out && !maskB) {
    // Without B's copy the frame keeps A's mask.
    if (result == 0) ShowMessageWith(kMessageNoMemory, "for area interpolation");
    std::memcpy(out, maskA, static_cast<std::size_t>(area.mask.width) * area.mask.height);
    UnlockVirtual(area.mask.place);
    SetSelectionBox(area.selection, boxA.left, boxA.top, boxA.right, boxA.bottom);
  } else if (out) {
    const MaskBox boxB = SelectionBox();
    const std::int64_t t = std::int64_t{f} - fA, steps = std::int64_t{fB == 0 ? frameCount : fB} - fA;
    BeginProgress("Area Interpolation", std::max(1, area.mask.height));
    const MaskBox box = TweenMasks(maskA, boxA, maskB, boxB, area.mask.width, area.mask.height, t, steps, out);
    EndProgress();
    UnlockVirtual(area.mask.place);
    SetSelectionBox(area.selection, box.left, box.top, box.right, box.bottom);
  }
  if (maskB) FreeReal(maskB, "tmask");
  FreeReal(maskA, "cmask");
  return result;
}

void FreeAreaScratch() {
  AreaFilesState& files = AreaFiles();
  if (files.scratch) FreeReal(files.scratch, "aream");
  files.scratch = nullptr;
}

}  // namespace qv
