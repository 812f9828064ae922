// What a drag on a view means for the box-shaped area modes: the box, centre
// and radii set from the press and the cursor, in image pixels.
#pragma once

#include "area/area_mask.h"

namespace qv {

struct BoxDrag {
  int pressX = 0, pressY = 0;
  int x = 0, y = 0;
  bool fromCorner = false;  // the press is a corner, else the centre
  HoldConstraint hold = HoldConstraint::None;
  int aspectWidth = 1, aspectHeight = 1;  // the picture held to (aspect and source)
};

// Sets left, top, right, bottom, centre and radii of the selection.
void SetBoxFromDrag(AreaSelection& s, const BoxDrag& drag);

// Whether a box mode starts from a corner: its "from corner" setting,
// reversed while ALT is held.
bool DragsFromCorner(int mode, bool alt);

// The id of a mode's "from corner" menu toggle (622..625), 0 for none.
int CornerToggleOf(int mode);

}  // namespace qv
