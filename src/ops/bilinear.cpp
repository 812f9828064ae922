#include "ops/bilinear.h"

#include "store/image_record.h"

namespace qv {

PixelPlane PlaneOf(const ImageRecord* image, int x, int y) {
  PixelPlane p;
  if (!image) return p;
  p.pixels = image->pixels;
  p.rows = image->rows;
  p.x = x;
  p.y = y;
  p.width = image->width;
  p.height = image->height;
  return p;
}

}  // namespace qv
