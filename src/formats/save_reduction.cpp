// The seam between the writers that need a palette and the output colour
// reduction, which lives with the display code.
#include "app/messages.h"
#include "formats/bmp.h"

namespace qv {

int ReduceImageForSave(ImageRecord*, int, IndexedImage&) {
  ShowNote("Saving below 16 bits needs the colour reduction, which this version does not have yet.");
  return 1;
}

}  // namespace qv
