// Combining a new mask with the previous one, the previous mask itself,
// resampling, the outline the views draw, and the selection commands.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "area/area_files.h"
#include "area/area_mask.h"
#include "area/stored_area.h"
#include "base/messages.h"

namespace qv {
namespace {

constexpr int kMessageNoSelectionToEdit = 72;


// Nearest-neighbour resample of w x h bytes into nw x nh.
void Resample(const std::uint8_t* from, int w, int h, std::uint8_t* to, int nw, int nh) {
  for (int y = 0; y < nh; ++y) {
    const std::uint8_t* src = from + static_cast<std::size_t>(std::int64_t{y} * h / nh) * w;
    std::uint8_t* dst = to + static_cast<std::size_t>(y) * nw;
    for (int x = 0; x < nw; ++x) dst[x] = src[std::int64_t{x} * w / nw];
  }
}

// The previous mask at the current mask's size (a copy when it must be
// resampled, which `scratch` then owns).
const std::uint8_t* PreviousAtMaskSize(std::vector<std::uint8_t>& scratch) {
  const AreaState& a = Area();
  if (a.previous.width == a.mask.width && a.previous.height == a.mask.height) return a.previous.bytes;
  scratch.resize(static_cast<std::size_t>(a.mask.width) * a.mask.height);
  Resample(a.previous.bytes, a.previous.width, a.previous.height, scratch.data(), a.mask.width, a.mask.height);
  return scratch.data();
}

template <class Rule>
int CombineBytes(Rule rule) {
  AreaState& a = Area();
  if (!a.mask.place || !a.previous.bytes) return 1;
  bool wasLocked = a.mask.address != nullptr;
  auto* mask = wasLocked ? a.mask.address : static_cast<std::uint8_t*>(LockVirtual(a.mask.place));
  if (!mask) return 1;
  std::vector<std::uint8_t> scratch;
  const std::uint8_t* old = PreviousAtMaskSize(scratch);
  std::size_t count = static_cast<std::size_t>(a.mask.width) * a.mask.height;
  for (std::size_t i = 0; i < count; ++i) mask[i] = static_cast<std::uint8_t>(rule(mask[i], old[i]));
  if (!wasLocked) UnlockVirtual(a.mask.place);
  MaskBounds(-1);
  return 0;
}

bool IsEdge(const std::uint8_t* m, int w, int h, int x, int y) {
  if (!m[static_cast<std::size_t>(y) * w + x]) return false;
  if (x == 0 || y == 0 || x == w - 1 || y == h - 1) return true;
  const std::uint8_t* p = m + static_cast<std::size_t>(y) * w + x;
  return !p[-1] || !p[1] || !p[-w] || !p[w];
}

}  // namespace

int CombinationCode(bool shift, bool ctrl) {
  if (shift && ctrl) return 3;
  if (shift) return 1;
  if (ctrl) return 2;
  switch (Area().combination) {
    case AreaCombination::Union: return 1;
    case AreaCombination::Intersection: return 3;
    case AreaCombination::Complement: return 4;
    default: return 0;
  }
}

int BeginSelectionGesture(bool shift, bool ctrl) {
  int code = CombinationCode(shift, ctrl);
  SavePreviousMask();
  return code;
}

int FinishSelection(ImageRecord* image, int viewIndex, int combinationCode) {
  AreaState& a = Area();
  if (BuildAreaMask(image, viewIndex) != 0) return 1;
  // A redone mask was combined and faded when it was first drawn.
  if (a.selection.mode != kAreaRedo) {
    if (combinationCode != 0) CombineWithPrevious(combinationCode);
    if (!a.splatter && ApplyTransparency(image) != 0) return 1;
  }
  TraceMaskOutline();
  return 0;
}

bool SelectionReadyOn(const ImageRecord* image) {
  const AreaState& a = Area();
  if (!image || !a.mask.place || a.mask.address || a.maskImage != image) return false;
  if (a.mask.width != image->width || a.mask.height != image->height) return false;
  const auto* mask = static_cast<const std::uint8_t*>(LockVirtual(a.mask.place));
  if (!mask) return false;
  const std::size_t count = static_cast<std::size_t>(a.mask.width) * a.mask.height;
  const bool any = std::any_of(mask, mask + count, [](std::uint8_t b) { return b != 0; });
  UnlockVirtual(a.mask.place);
  return any;
}

int CombineWithPrevious(int code) {
  switch (code) {
    case 1: return CombineBytes([](int n, int o) { return std::max(n, o); });
    case 2: return CombineBytes([](int n, int o) { return n != 0 ? std::min(255 - n, o) : o; });
    case 3: return CombineBytes([](int n, int o) { return std::min(n, o); });
    case 4: return CombineBytes([](int n, int o) { return o != 0 ? (n == 0 ? o : 0) : n; });
    default: return 1;
  }
}

int CombineOnTimeLine() {
  AreaState& a = Area();
  int result = 0;
  switch (a.combination) {
    case AreaCombination::Complement: result = CombineBytes([](int n, int o) { return std::abs(n - o); }); break;
    case AreaCombination::Intersection: result = CombineBytes([](int n, int o) { return n * o / 255; }); break;
    case AreaCombination::Union: result = CombineBytes([](int n, int o) { return std::max(n, o); }); break;
    default: break;
  }
  if (result != 0) return result;
  if (SavePreviousMask() != 0) return 1;
  if (a.exclude && a.mask.place) {
    auto* mask = static_cast<std::uint8_t*>(LockVirtual(a.mask.place));
    if (!mask) return 1;
    std::size_t count = static_cast<std::size_t>(a.mask.width) * a.mask.height;
    for (std::size_t i = 0; i < count; ++i) mask[i] = static_cast<std::uint8_t>(255 - mask[i]);
    UnlockVirtual(a.mask.place);
    MaskBounds(-1);
  }
  return 0;
}

int SavePreviousMask() {
  AreaState& a = Area();
  if (!a.mask.place) return 0;
  std::size_t count = static_cast<std::size_t>(a.mask.width) * a.mask.height;
  if (!a.previous.bytes || a.previous.width != a.mask.width || a.previous.height != a.mask.height) {
    auto* bytes = static_cast<std::uint8_t*>(AllocReal(static_cast<std::int64_t>(count), "oldm"));
    if (!bytes) return 1;
    if (a.previous.bytes) FreeReal(a.previous.bytes, "oldmask");
    a.previous.bytes = bytes;
    a.previous.width = a.mask.width;
    a.previous.height = a.mask.height;
  }
  bool wasLocked = a.mask.address != nullptr;
  auto* mask = wasLocked ? a.mask.address : static_cast<std::uint8_t*>(LockVirtual(a.mask.place));
  if (!mask) return 1;
  std::memcpy(a.previous.bytes, mask, count);
  if (!wasLocked) UnlockVirtual(a.mask.place);
  return CopyPointList(a.previousOutline, a.selection.outline);
}

int ResizeMask(int width, int height) {
  AreaMask& m = Area().mask;
  width = std::max(width, 1);
  height = std::max(height, 1);
  if (!m.place) {
    m.width = width;
    m.height = height;
    return 0;
  }
  PlaceHandle grown = AllocVirtual(std::int64_t{width} * height, "Mask");
  if (!grown) return 1;
  auto* to = static_cast<std::uint8_t*>(LockVirtual(grown));
  bool wasLocked = m.address != nullptr;
  auto* from = wasLocked ? m.address : static_cast<std::uint8_t*>(LockVirtual(m.place));
  if (!to || !from) {
    if (to) UnlockVirtual(grown);
    if (from && !wasLocked) UnlockVirtual(m.place);
    FreeVirtual(grown);
    return 1;
  }
  Resample(from, m.width, m.height, to, width, height);
  UnlockVirtual(grown);
  UnlockVirtual(m.place);
  if (wasLocked) UnlockVirtual(m.place);
  FreeVirtual(m.place);
  m.place = grown;
  m.address = nullptr;
  m.width = width;
  m.height = height;
  return 0;
}

int SelectEntire(ImageRecord* image, int /*viewIndex*/) {
  return BuildAreaMaskWith(image, kAreaEntire, false, false);
}

int UndoLastSelection() {
  AreaState& a = Area();
  if (!a.mask.place || !a.previous.bytes || a.mask.address) return 1;
  std::size_t oldCount = static_cast<std::size_t>(a.previous.width) * a.previous.height;
  std::size_t maskCount = static_cast<std::size_t>(a.mask.width) * a.mask.height;
  PlaceHandle place = AllocVirtual(static_cast<std::int64_t>(oldCount), "Mask");
  auto* copy = static_cast<std::uint8_t*>(AllocReal(static_cast<std::int64_t>(maskCount), "oldm"));
  auto* to = place ? static_cast<std::uint8_t*>(LockVirtual(place)) : nullptr;
  auto* from = static_cast<std::uint8_t*>(LockVirtual(a.mask.place));
  if (!place || !copy || !to || !from) {
    if (to) UnlockVirtual(place);
    if (place) FreeVirtual(place);
    if (copy) FreeReal(copy, "oldm");
    if (from) UnlockVirtual(a.mask.place);
    return 1;
  }
  std::memcpy(to, a.previous.bytes, oldCount);
  std::memcpy(copy, from, maskCount);
  UnlockVirtual(place);
  UnlockVirtual(a.mask.place);
  FreeVirtual(a.mask.place);
  FreeReal(a.previous.bytes, "oldm");
  a.mask.place = place;
  a.previous.bytes = copy;
  std::swap(a.mask.width, a.previous.width);
  std::swap(a.mask.height, a.previous.height);
  std::swap(a.selection.outline, a.previousOutline);
  MaskBounds(-1);
  TraceMaskOutline();
  return 0;
}

void ClearAreaSelection() {
  AreaState& a = Area();
  UnlockMask();
  if (a.mask.place) FreeVirtual(a.mask.place);
  a.mask.place = nullptr;
  ClearPointList(a.selection.outline);
  ClearPointList(a.shownOutline);
  a.loadedSelection = false;
  a.maskImage = nullptr;
  a.redone = false;
}

int ApplyColourDiscriminator(ImageRecord* image) {
  AreaState& a = Area();
  const ColourDiscriminator& d = a.discriminator;
  if (!d.enabled || !a.mask.place || !image) return 0;
  if (a.mask.width != image->width || a.mask.height != image->height) return 1;
  if (LockImage(image) != 0) return 1;
  auto* mask = static_cast<std::uint8_t*>(LockVirtual(a.mask.place));
  if (!mask) {
    UnlockImage(image);
    return 1;
  }
  int lo[3], hi[3];
  for (int c = 0; c < 3; ++c) {
    lo[c] = std::min(d.from[c], d.to[c]);
    hi[c] = std::max(d.from[c], d.to[c]);
  }
  const AreaSelection& s = a.selection;
  int l = std::clamp(s.left, 0, image->width - 1), r = std::clamp(s.right, 0, image->width - 1);
  int t = std::clamp(s.top, 0, image->height - 1), b = std::clamp(s.bottom, 0, image->height - 1);
  for (int y = t; y <= b; ++y)
    for (int x = l; x <= r; ++x) {
      std::uint8_t& m = mask[static_cast<std::size_t>(y) * image->width + x];
      if (!m) continue;
      const std::uint8_t* p = PixelAt(image, x, y);
      if (p[0] >= lo[0] && p[0] <= hi[0] && p[1] >= lo[1] && p[1] <= hi[1] && p[2] >= lo[2] && p[2] <= hi[2]) m = 0;
    }
  UnlockVirtual(a.mask.place);
  UnlockImage(image);
  return 0;
}

int EditAreaBox(ImageRecord* image, int left, int top, int right, int bottom) {
  AreaState& a = Area();
  AreaSelection& s = a.selection;
  if (!a.mask.place) {
    ShowMessage(kMessageNoSelectionToEdit);
    return 1;
  }
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  // Boxes and points may come from files: every difference in 64 bits, and
  // the scaled points kept where an int reaches.
  const std::int64_t ow = std::max<std::int64_t>(1, std::int64_t{s.right} - s.left);
  const std::int64_t oh = std::max<std::int64_t>(1, std::int64_t{s.bottom} - s.top);
  const std::int64_t nw = std::int64_t{right} - left, nh = std::int64_t{bottom} - top;
  auto scale = [](std::int64_t from, std::int64_t offset, std::int64_t to, std::int64_t old) {
    return ClampToInt(from + MulDiv(offset, to, old));
  };
  auto rescale = [&](PointList& list) {
    for (int i = 0; i < list.count; ++i) {
      AreaPoint& p = list.points[i];
      p.x = scale(left, std::int64_t{p.x} - s.left, nw, ow);
      p.y = scale(top, std::int64_t{p.y} - s.top, nh, oh);
    }
  };
  // I-shape points are already relative to the box.
  if (s.mode != kAreaIShape) rescale(s.capture);
  rescale(s.control);
  SetSelectionBox(s, left, top, right, bottom);
  if (BuildAreaMask(image, -1) != 0) return 1;
  TraceMaskOutline();
  return 0;
}

int TraceMaskOutline() {
  AreaState& a = Area();
  ClearPointList(a.shownOutline);
  if (!a.mask.place) return 1;
  if (!a.traceOutline) return 0;
  int w = a.mask.width, h = a.mask.height;
  std::size_t count = static_cast<std::size_t>(w) * h;
  auto* edges = static_cast<std::uint8_t*>(AllocReal(static_cast<std::int64_t>(count), "Tmask"));
  if (!edges) return 1;
  auto* mask = static_cast<std::uint8_t*>(LockVirtual(a.mask.place));
  if (!mask) {
    FreeReal(edges, "Tmask");
    return 1;
  }
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) edges[static_cast<std::size_t>(y) * w + x] = IsEdge(mask, w, h, x, y) ? 1 : 0;
  UnlockVirtual(a.mask.place);

  static constexpr int kDx[8] = {1, 1, 0, -1, -1, -1, 0, 1};
  static constexpr int kDy[8] = {0, 1, 1, 1, 0, -1, -1, -1};
  int result = 0;
  for (int sy = 0; sy < h && result == 0; ++sy)
    for (int sx = 0; sx < w && result == 0; ++sx) {
      if (edges[static_cast<std::size_t>(sy) * w + sx] != 1) continue;
      int x = sx, y = sy;
      std::uint8_t flag = kPenUp;
      for (;;) {
        edges[static_cast<std::size_t>(y) * w + x] = 2;
        if (PushPoint(a.shownOutline, x, y, flag)) {
          result = 1;
          break;
        }
        flag = kPenDown;
        int k = 0;
        for (; k < 8; ++k) {
          int nx = x + kDx[k], ny = y + kDy[k];
          if (nx >= 0 && ny >= 0 && nx < w && ny < h && edges[static_cast<std::size_t>(ny) * w + nx] == 1) break;
        }
        if (k == 8) break;
        x += kDx[k];
        y += kDy[k];
      }
    }
  FreeReal(edges, "Tmask");
  return result;
}

void FreeAreaState() {
  AreaState& a = Area();
  ClearAreaSelection();
  if (a.previous.bytes) FreeReal(a.previous.bytes, "oldm");
  a.previous = {};
  FreePointList(a.selection.capture);
  FreePointList(a.selection.control);
  FreePointList(a.selection.outline);
  FreePointList(a.previousOutline);
  FreePointList(a.shownOutline);
  FreePointList(AreaFiles().shape);
  FreeAreaScratch();
  if (a.run.savedMask) FreeReal(a.run.savedMask, "splat");
  FreeImage(a.run.clone);
  a.run = {};
}

}  // namespace qv
