#include "area/area_gesture.h"
#include "base/preferences.h"

#include <algorithm>
#include <cstdlib>


namespace qv {

void SetBoxFromDrag(AreaSelection& s, const BoxDrag& d) {
  int dx = d.x - d.pressX, dy = d.y - d.pressY;
  int ax = std::abs(dx), ay = std::abs(dy);
  switch (d.hold) {
    case HoldConstraint::Square:
      ax = ay = std::max(ax, ay);
      break;
    case HoldConstraint::Aspect:
    case HoldConstraint::Source: {
      // The larger extent, measured in the picture's proportions, decides.
      int aw = std::max(1, d.aspectWidth), ah = std::max(1, d.aspectHeight);
      if (static_cast<long long>(ax) * ah >= static_cast<long long>(ay) * aw)
        ay = static_cast<int>(static_cast<long long>(ax) * ah / aw);
      else
        ax = static_cast<int>(static_cast<long long>(ay) * aw / ah);
      break;
    }
    case HoldConstraint::None:
      break;
  }
  // The drag direction is kept whatever the constraint made of the size.
  dx = dx < 0 ? -ax : ax;
  dy = dy < 0 ? -ay : ay;
  if (d.fromCorner) {
    s.left = std::min(d.pressX, d.pressX + dx);
    s.right = std::max(d.pressX, d.pressX + dx);
    s.top = std::min(d.pressY, d.pressY + dy);
    s.bottom = std::max(d.pressY, d.pressY + dy);
    s.centreX = (s.left + s.right) / 2;
    s.centreY = (s.top + s.bottom) / 2;
    s.radiusX = std::max(s.centreX - s.left, s.right - s.centreX);
    s.radiusY = std::max(s.centreY - s.top, s.bottom - s.centreY);
  } else {
    s.centreX = d.pressX;
    s.centreY = d.pressY;
    s.radiusX = ax;
    s.radiusY = ay;
    s.left = d.pressX - ax;
    s.right = d.pressX + ax;
    s.top = d.pressY - ay;
    s.bottom = d.pressY + ay;
  }
}

int CornerToggleOf(int mode) {
  switch (mode) {
    case kAreaIShape: return 622;
    case kAreaRectangle: return 623;
    case kAreaRoundRect: return 624;
    case kAreaEllipse: return 625;
    default: return 0;
  }
}

bool DragsFromCorner(int mode, bool alt) {
  const Settings& s = Prefs();
  int setting = 0;
  switch (mode) {
    case kAreaIShape: setting = s.cornerShape; break;
    case kAreaRectangle: setting = s.cornerRect; break;
    case kAreaRoundRect: setting = s.cornerRound; break;
    case kAreaEllipse: setting = s.cornerOval; break;
    default: break;
  }
  return (setting != 0) != alt;
}

}  // namespace qv
