#include "ops/perspective_handles.h"

#include <algorithm>
#include <cmath>

#include "base/host.h"
#include "display/views.h"
#include "ops/apply.h"
#include "ops/geometric_ops.h"
#include "ops/op_catalogue.h"
#include "ops/op_state.h"
#include "store/image_record.h"

namespace qv {
namespace {

constexpr double kPi = 3.14159265358979323846;
enum Slot { kXRot, kYRot, kZRot, kXDist, kYDist, kZDist, kXMag, kYMag };

// Where each handle lies on the picture, in halves of its width and height
// from its top left corner.
constexpr int kAt[kHandleCount][2] = {{1, 1}, {0, 0}, {2, 0}, {2, 2}, {0, 2}, {1, 0}, {2, 1}, {1, 2}, {0, 1}};

void Store(int slot, double value) {
  const ParamSlot& s = OpOf(kPerspective).slots[slot];
  if (std::isnan(value)) return;
  std::int32_t v = static_cast<std::int32_t>(std::lround(std::clamp<double>(value, s.trendMin, s.trendMax)));
  if (s.wrap > 0) v = ((v % s.wrap) + s.wrap) % s.wrap;
  SetParamValue(kPerspective, slot, v);
}

void Restore(const PerspectiveDrag& drag) {
  for (int k = 0; k < 8; ++k) SetParamValue(kPerspective, k, drag.settings[k]);
}

// The angle of a vector on the screen, in degrees (clockwise, y down).
double ScreenAngle(double x, double y) { return std::atan2(y, x) * 180 / kPi; }

}  // namespace

bool PerspectiveFrame::Whole() const {
  for (int h = kHandleTopLeft; h <= kHandleBottomLeft; ++h)
    if (!point[h].visible) return false;
  return true;
}

ImageRecord* PerspectivePicture() {
  ImageRecord* chosen = Pipeline().source;
  if (chosen && ImageIndex(chosen) >= 0) return chosen;
  return ImageCount() > 0 ? ImageAt(0) : nullptr;
}

PerspectiveFrame PerspectiveFrameFor(int actionWidth, int actionHeight, int pictureWidth, int pictureHeight) {
  double m[9];
  PerspectiveProjection(actionWidth, m);
  // As the worker measures them: from the centres, halves rounded down.
  const double pcx = pictureWidth / 2, pcy = pictureHeight / 2;
  const double acx = actionWidth / 2, acy = actionHeight / 2;
  PerspectiveFrame f;
  for (int h = 0; h < kHandleCount; ++h) {
    const double p = h == kHandleCentre ? 0 : kAt[h][0] * pictureWidth / 2.0 - pcx;
    const double q = h == kHandleCentre ? 0 : kAt[h][1] * pictureHeight / 2.0 - pcy;
    const double z = m[6] * p + m[7] * q + m[8];
    HandlePoint& out = f.point[h];
    out.visible = z > 1e-9;
    if (!out.visible) continue;
    out.x = (m[0] * p + m[1] * q + m[2]) / z + acx;
    out.y = (m[3] * p + m[4] * q + m[5]) / z + acy;
    out.visible = std::isfinite(out.x) && std::isfinite(out.y);
  }
  return f;
}

int PerspectiveHandleAt(const PerspectiveFrame& frame, double x, double y, double reach) {
  int best = kHandleNone;
  double bestD = reach * reach;
  for (int h = 0; h < kHandleCount; ++h) {
    const HandlePoint& p = frame.point[h];
    if (!p.visible) continue;
    const double d = (p.x - x) * (p.x - x) + (p.y - y) * (p.y - y);
    if (d <= bestD) best = h, bestD = d;
  }
  return best;
}

PerspectiveDrag BeginPerspectiveDrag(int actionWidth, int actionHeight, int pictureWidth, int pictureHeight, double x,
                                     double y, double reach) {
  PerspectiveDrag d;
  d.frame = PerspectiveFrameFor(actionWidth, actionHeight, pictureWidth, pictureHeight);
  d.handle = PerspectiveHandleAt(d.frame, x, y, reach);
  d.pressX = x;
  d.pressY = y;
  d.actionWidth = std::max(actionWidth, 1);
  d.actionHeight = std::max(actionHeight, 1);
  for (int k = 0; k < 8; ++k) d.settings[k] = ParamValue(kPerspective, k);
  return d;
}

void DragPerspective(const PerspectiveDrag& drag, double x, double y, bool shift, bool ctrl) {
  if (drag.handle == kHandleNone) return;
  Restore(drag);
  const std::int32_t* s = drag.settings;
  const HandlePoint& centre = drag.frame.point[kHandleCentre];
  const double dx = x - drag.pressX, dy = y - drag.pressY;
  if (drag.handle == kHandleCentre) {
    if (shift) {
      // A hundred pixels up doubles the distance.
      const double z = s[kZDist] == 0 ? 1 : s[kZDist];
      Store(kZDist, z * std::pow(2.0, -dy / 100));
    } else {
      // The centre lands at (tx / tz, ty / tz) whatever the turns are.
      const double tz = std::abs(s[kZDist]) < 1 ? 1 : s[kZDist];
      Store(kXDist, s[kXDist] + dx * 2 * tz / drag.actionWidth);
      Store(kYDist, s[kYDist] - dy * 2 * tz / drag.actionWidth);
    }
    return;
  }
  const HandlePoint& grabbed = drag.frame.point[drag.handle];
  const double ox = grabbed.x - centre.x, oy = grabbed.y - centre.y;  // the handle from the centre
  const double nx = ox + dx, ny = oy + dy;                            // and where the mouse takes it
  if (!centre.visible || (ox == 0 && oy == 0)) return;
  if (drag.handle >= kHandleTop) {
    // Toward the centre tips the edge away: by a quarter turn over the
    // whole way there.
    const double length = std::hypot(ox, oy);
    const double toward = -(dx * ox + dy * oy) / length;
    const double degrees = toward / length * 90;
    switch (drag.handle) {
      case kHandleTop: Store(kXRot, s[kXRot] + degrees); break;
      case kHandleBottom: Store(kXRot, s[kXRot] - degrees); break;
      case kHandleLeft: Store(kYRot, s[kYRot] + degrees); break;
      default: Store(kYRot, s[kYRot] - degrees); break;
    }
    return;
  }
  if (ctrl) {
    // On the screen a positive "Z Rot" turns the picture anticlockwise.
    Store(kZRot, s[kZRot] - (ScreenAngle(nx, ny) - ScreenAngle(ox, oy)));
    return;
  }
  // Stretch along the picture's own axes as they lie on the screen.
  const HandlePoint& right = drag.frame.point[kHandleRight];
  const HandlePoint& bottom = drag.frame.point[kHandleBottom];
  const double ax = right.x - centre.x, ay = right.y - centre.y;
  const double bx = bottom.x - centre.x, by = bottom.y - centre.y;
  const double det = ax * by - ay * bx;
  double kx, ky;
  if (shift || !right.visible || !bottom.visible || std::abs(det) < 1e-9) {
    kx = ky = std::hypot(nx, ny) / std::hypot(ox, oy);
  } else {
    // (o or n) = a * (right - centre) + b * (bottom - centre).
    const double oa = (ox * by - oy * bx) / det, ob = (ax * oy - ay * ox) / det;
    const double na = (nx * by - ny * bx) / det, nb = (ax * ny - ay * nx) / det;
    kx = std::abs(oa) < 1e-9 ? 1 : na / oa;
    ky = std::abs(ob) < 1e-9 ? 1 : nb / ob;
  }
  Store(kXMag, s[kXMag] * kx);
  Store(kYMag, s[kYMag] * ky);
}

ViewRecord* PerspectiveHandlesView() {
  ViewRecord* view = Pipeline().geometric.handlesView;
  if (!view || ViewIndexOf(view) < 0 || CurrentOp() != kPerspective) return nullptr;
  return view;
}

void ShowPerspectiveHandles(ViewRecord* view) {
  RemovePerspectiveHandles();
  if (!view || ViewIndexOf(view) < 0) return;
  Pipeline().geometric.handlesView = view;
  TheHost().InvalidateView(view);
}

void RemovePerspectiveHandles() {
  ViewRecord*& view = Pipeline().geometric.handlesView;
  ViewRecord* was = view;
  view = nullptr;
  if (was && ViewIndexOf(was) >= 0) TheHost().InvalidateView(was);
}

}  // namespace qv
