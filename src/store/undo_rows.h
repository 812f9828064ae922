// An undo layer whose rows the caller fills.
#pragma once

#include "store/image_record.h"

namespace qv {

// As TakeUndo, but the layer's pixels are left for the caller to copy from
// the image: each row of the rectangle before the caller changes it, and
// every row before the layer is used or the caller returns. An apply whose
// rows are shared out over threads copies each row on the thread that
// changes it, while the row is in that core's cache.
int TakeUndoRowsLater(int left, int top, int right, int bottom, ImageRecord* image, int opId);

}  // namespace qv
