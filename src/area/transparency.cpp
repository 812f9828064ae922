// Finishing the mask: transparency (level, edge fade, grow), the soft edge,
// masking with the image's alpha, and splatter.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "area/area_mask.h"
#include "area/area_options.h"
#include "base/crt_random.h"
#include "store/undo.h"

namespace qv {
namespace {

constexpr int kOpMakeAlpha = 3192;
constexpr int kOpFirstAlphaTool = 3193;  // Key to Alpha .. Shave Alpha
constexpr int kOpLastAlphaTool = 3197;
constexpr int kSplatTries = 100;


bool AlphaMayLimit(const AlphaMaskRule& rule, bool redone) {
  if (rule.catalogueForbids || rule.affectAlpha) return false;
  if (rule.opId >= kOpFirstAlphaTool && rule.opId <= kOpLastAlphaTool) return false;
  if (rule.opId == kOpMakeAlpha) return rule.makeAlphaUsesMask;
  return !redone;
}

// The factor of one axis: 0 outside the shrunk extent [lo, hi], rising over
// the fade at each end, Level between.
int AxisFactor(int pos, int first, int last, int grow, int fade, int level) {
  int lo = first + (last - first) * (100 - grow) / 200;
  int hi = first + (last - lo);
  int a = lo + (hi - lo) * fade / 200;
  int b = hi - (a - lo);
  if (pos < lo || pos > hi) return 0;
  if (pos < a) return (pos - lo) * level / std::max(1, a - lo);
  if (pos > b) return (hi - pos) * level / std::max(1, hi - b);
  return level;
}

void ExtentFade(std::uint8_t* mask, int w, int l, int t, int r, int b, int grow, int fade, int level, std::int32_t* xp1,
                std::int32_t* xp2, std::int32_t* yp1, std::int32_t* yp2) {
  for (int y = t; y <= b; ++y) {
    xp1[y] = -1;
    for (int x = l; x <= r; ++x)
      if (mask[static_cast<std::size_t>(y) * w + x]) {
        if (xp1[y] < 0) xp1[y] = x;
        xp2[y] = x;
      }
  }
  for (int x = l; x <= r; ++x) yp1[x] = -1;
  for (int y = t; y <= b; ++y)
    for (int x = l; x <= r; ++x)
      if (mask[static_cast<std::size_t>(y) * w + x]) {
        if (yp1[x] < 0) yp1[x] = y;
        yp2[x] = y;
      }
  for (int y = t; y <= b; ++y)
    for (int x = l; x <= r; ++x) {
      std::uint8_t& m = mask[static_cast<std::size_t>(y) * w + x];
      if (!m) continue;
      int hf = AxisFactor(x, xp1[y], xp2[y], grow, fade, level);
      int vf = AxisFactor(y, yp1[x], yp2[x], grow, fade, level);
      m = static_cast<std::uint8_t>(hf * vf / 255);
    }
}

void EllipseFade(std::uint8_t* mask, int w, int l, int t, int r, int b, const AreaSelection& s, int grow, int fade,
                 int level) {
  const std::int64_t cx = s.centreX, cy = s.centreY;
  double rx = double(std::max<std::int64_t>(1, std::max(cx - s.left, s.right - cx)));
  double ry = double(std::max<std::int64_t>(1, std::max(cy - s.top, s.bottom - cy)));
  int outer = grow * 10;
  int inner = outer - outer * fade / 100;
  for (int y = t; y <= b; ++y)
    for (int x = l; x <= r; ++x) {
      std::uint8_t& m = mask[static_cast<std::size_t>(y) * w + x];
      if (!m) continue;
      double fx = double(x - cx) / rx, fy = double(y - cy) / ry;
      // Beyond the outer ring anyway: kept where an int reaches.
      int d = static_cast<int>(std::min(1e9, 1000.0 * std::sqrt(fx * fx + fy * fy)));
      if (d > outer)
        m = 0;
      else if (d > inner)
        m = static_cast<std::uint8_t>((outer - d) * level / std::max(1, outer - inner));
      else
        m = static_cast<std::uint8_t>(level);
    }
}

void SoftEdge(std::uint8_t* mask, int w, int h, int l, int t, int r, int b) {
  for (int y = t; y <= b; ++y)
    for (int x = l; x <= r; ++x) {
      std::uint8_t* p = mask + static_cast<std::size_t>(y) * w + x;
      if (!*p) continue;
      bool edge = x == 0 || y == 0 || x == w - 1 || y == h - 1 || !p[-1] || !p[1] || !p[-w] || !p[w];
      if (edge) *p = static_cast<std::uint8_t>(std::max(1, *p / 2));
    }
}

}  // namespace

int FadeMaskBytes(std::uint8_t* mask, int w, int h, const AreaSelection& s) {
  int level = std::clamp(s.transparencyLevel, 0, 255);
  int fade = std::clamp(s.edgeFade, 0, 100);
  int grow = std::clamp(s.grow, 0, 100);
  if (!mask || w <= 0 || h <= 0 || (fade == 0 && level == 255 && grow == 100)) return 0;
  int result = 0;
  auto widened = [](std::int64_t v, int size) { return static_cast<int>(std::clamp<std::int64_t>(v, 0, size - 1)); };
  int l = widened(std::int64_t{s.left} - 1, w), r = widened(std::int64_t{s.right} + 1, w);
  int t = widened(std::int64_t{s.top} - 1, h), b = widened(std::int64_t{s.bottom} + 1, h);
  if (fade == 0 && grow == 100) {
    for (int y = t; y <= b; ++y)
      for (int x = l; x <= r; ++x) {
        std::uint8_t& m = mask[static_cast<std::size_t>(y) * w + x];
        if (m) m = static_cast<std::uint8_t>(level);
      }
  } else if (grow < 100 || level < 255 || fade > 1) {
    if (s.mode == kAreaEllipse) {
      EllipseFade(mask, w, l, t, r, b, s, grow, fade, level);
    } else {
      auto* xp1 = AllocRealArray<std::int32_t>(h, "xp1");
      auto* xp2 = AllocRealArray<std::int32_t>(h, "xp2");
      auto* yp1 = AllocRealArray<std::int32_t>(w, "yp1");
      auto* yp2 = AllocRealArray<std::int32_t>(w, "yp2");
      if (xp1 && xp2 && yp1 && yp2)
        ExtentFade(mask, w, l, t, r, b, grow, fade, level, xp1, xp2, yp1, yp2);
      else
        result = 1;
      FreeReal(xp1, "xp1");
      FreeReal(xp2, "xp2");
      FreeReal(yp1, "yp1");
      FreeReal(yp2, "yp2");
    }
  }
  if (result == 0 && fade == 1) SoftEdge(mask, w, h, l, t, r, b);
  return result;
}

int ApplyTransparency(ImageRecord* image) {
  if (!image) return 1;
  std::uint8_t* mask = LockMaskFor(image, "Hmas");
  if (!mask) return 1;
  int result = FadeMaskBytes(mask, image->width, image->height, Area().selection);
  UnlockMask();
  return result;
}

bool AlphaLimitsMask(const ImageRecord* image, const AlphaMaskRule& rule) {
  const AreaState& a = Area();
  return image && image->hasAlpha && a.maskWithAlpha &&
         AlphaMayLimit(rule, a.redone || a.selection.mode == kAreaRedo);
}

void LimitMaskByAlpha(std::uint8_t* mask, ImageRecord* image, int left, int top, int right, int bottom) {
  const int w = image->width, h = image->height;
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::min(right, w - 1);
  bottom = std::min(bottom, h - 1);
  for (int y = top; y <= bottom; ++y) {
    std::uint8_t* row = mask + static_cast<std::size_t>(y) * w;
    const std::uint8_t* p = PixelAt(image, 0, y);
    for (int x = left; x <= right; ++x)
      if (row[x]) row[x] = static_cast<std::uint8_t>(p[4 * x + 3] * row[x] / 255);
  }
}

int BeginSplatter(ImageRecord* image, int /*viewIndex*/) {
  AreaState& a = Area();
  SplatterRun& run = a.run;
  const AreaSelection& s = a.selection;
  if (!image || !a.mask.place || run.active) return 1;
  std::size_t count = static_cast<std::size_t>(a.mask.width) * a.mask.height;
  auto* saved = static_cast<std::uint8_t*>(AllocReal(static_cast<std::int64_t>(count), "splat"));
  if (!saved) return 1;
  auto* mask = static_cast<std::uint8_t*>(LockVirtual(a.mask.place));
  if (!mask) {
    FreeReal(saved, "splat");
    return 1;
  }
  std::memcpy(saved, mask, count);
  UnlockVirtual(a.mask.place);

  ImageRecord* clone = CloneImage(image, false);
  if (!clone) {
    FreeReal(saved, "splat");
    return 1;
  }
  clone->parent = image;
  clone->originX = clone->originY = -1;
  std::strcpy(clone->name, "Splatter");

  run = {};
  run.active = true;
  run.savedMask = saved;
  run.savedWidth = a.mask.width;
  run.savedHeight = a.mask.height;
  run.savedMode = s.mode;
  run.box[0] = run.overall[0] = s.left;
  run.box[1] = run.overall[1] = s.top;
  run.box[2] = run.overall[2] = s.right;
  run.box[3] = run.overall[3] = s.bottom;
  run.centre[0] = s.centreX;
  run.centre[1] = s.centreY;
  run.clone = clone;
  run.image = image;
  return 0;
}

int MakeSplat(ImageRecord* image, int /*viewIndex*/, int splat) {
  AreaState& a = Area();
  SplatterRun& run = a.run;
  const SplatterSettings& st = a.splat;
  if (!run.active || !image || image->width != run.savedWidth || image->height != run.savedHeight) return 1;
  // The box may be anywhere an int reaches: the arithmetic is 64-bit, and a
  // splat size from an edited settings file is kept where an int reaches.
  std::int64_t bl = run.box[0], bt = run.box[1], br = run.box[2], bb = run.box[3];
  double area = double(std::max<std::int64_t>(1, br - bl)) * double(std::max<std::int64_t>(1, bb - bt));
  int sizing = std::clamp(st.sizing, 0, kMaxSplatSizing);
  double size = std::sqrt(area / std::max(1, st.number)) * sizing * 0.015;
  const std::int64_t whole = static_cast<std::int64_t>(std::min(size, double(INT32_MAX)));
  if (!st.inFromEdge) {
    bl -= whole;
    bt -= whole;
    br += whole;
    bb += whole;
  }
  Srand(static_cast<std::uint32_t>(st.seed));
  for (int i = 0; i < 5 * splat; ++i) Rand();

  std::int64_t dpiX = std::int64_t{image->dpiXNum} * std::max(1, image->dpiYDen);
  std::int64_t dpiY = std::int64_t{image->dpiYNum} * std::max(1, image->dpiXDen);
  int w = image->width, h = image->height;
  auto selected = [&](int x, int y) { return run.savedMask[static_cast<std::size_t>(y) * w + x] != 0; };
  int l = 0, t = 0, r = 0, b = 0;
  for (int attempt = 0; attempt < kSplatTries; ++attempt) {
    std::int64_t x = std::int64_t{Rand()} * (br - bl) / kRandMax + bl;
    std::int64_t y = std::int64_t{Rand()} * (bb - bt) / kRandMax + bt;
    std::int64_t sw = std::int64_t{Rand()} * whole / kRandMax;
    std::int64_t sh = std::int64_t{Rand()} * whole / kRandMax;
    if (st.holdSquare && dpiX > 0)
      sh = std::min<std::int64_t>(MulDiv(sw, dpiY, dpiX), INT32_MAX);
    l = ClampToInt(x + (-1 - sw) / 2);
    r = ClampToInt(std::int64_t{l} + std::max<std::int64_t>(1, sw));
    t = ClampToInt(y + (-1 - sh) / 2);
    b = ClampToInt(std::int64_t{t} + std::max<std::int64_t>(1, sh));
    if (!st.inFromEdge) break;
    if (l >= 0 && t >= 0 && r < w && b < h && selected(l, t) && selected(r, t) && selected(l, b) && selected(r, b))
      break;
  }
  run.overall[0] = std::min(run.overall[0], l);
  run.overall[1] = std::min(run.overall[1], t);
  run.overall[2] = std::max(run.overall[2], r);
  run.overall[3] = std::max(run.overall[3], b);

  SetSelectionBox(a.selection, l, t, r, b);
  if (BuildAreaMaskWith(image, st.shape == 0 ? kAreaEllipse : kAreaRectangle, false, false) != 0) return 1;
  if (ApplyTransparency(image) != 0) return 1;
  // Clipping to the selection also when In from Edge is on: a splat that
  // found no place inside after every try must still not leak out of it.
  auto* mask = static_cast<std::uint8_t*>(LockVirtual(a.mask.place));
  if (!mask) return 1;
  std::size_t count = static_cast<std::size_t>(w) * h;
  for (std::size_t i = 0; i < count; ++i)
    if (!run.savedMask[i]) mask[i] = 0;
  UnlockVirtual(a.mask.place);
  return 0;
}

int EndSplatter(ImageRecord* image, int /*viewIndex*/) {
  AreaState& a = Area();
  SplatterRun& run = a.run;
  if (!run.active) return 1;
  AreaSelection& s = a.selection;
  s.mode = run.savedMode;
  int result = 0;
  if (image && image->width == run.savedWidth && image->height == run.savedHeight) {
    std::uint8_t* mask = LockMaskFor(image);
    if (mask)
      std::memcpy(mask, run.savedMask, static_cast<std::size_t>(run.savedWidth) * run.savedHeight);
    else
      result = 1;
    UnlockMask();
  }
  FreeReal(run.savedMask, "splat");
  SetSelectionBox(s, run.box[0], run.box[1], run.box[2], run.box[3]);
  s.centreX = run.centre[0];
  s.centreY = run.centre[1];
  int w = run.savedWidth, h = run.savedHeight;
  a.changeBox[0] = std::clamp(run.overall[0], 0, w - 1);
  a.changeBox[1] = std::clamp(run.overall[1], 0, h - 1);
  a.changeBox[2] = std::clamp(run.overall[2], 0, w - 1);
  a.changeBox[3] = std::clamp(run.overall[3], 0, h - 1);
  // One Undo takes back every splat; a run that changed nothing (an
  // inspecting operation, a cancel, a stop before the first splat landed)
  // leaves the undo history as it found it.
  if (run.changed)
    KeepWholeImageLayer(run.image, run.clone, run.opId);
  else
    FreeImage(run.clone);
  run = {};
  return result;
}

}  // namespace qv
