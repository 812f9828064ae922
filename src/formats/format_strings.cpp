// Texts of the image-file subsystem: the save dialog's type filters and
// depth entries.
#include "base/string_table.h"

namespace qv {

std::span<const StringEntry> FormatStrings() {
  static constexpr StringEntry kEntries[] = {
      {21110,
       "Bitmap (*.BMP)|*.BMP|Flick (*.FLC)|*.FLC|GIF (*.GIF)|*.GIF|IFF/ILBM for Amiga (*.IFF)|*.IFF|JFIF/JPEG "
       "(*.JPG)|*.JPG|Paint (*.PCX)|*.PCX|Targa (*.TGA)|*.TGA|TIFF (*.TIF)|*.TIF|TRIM (*.TRM)|*.TRM|Video for Windows "
       "(*.AVI)|*.AVI|Toaster FS (*.FS)|*.FS|PNG (*.PNG)|*.PNG|"},
      {21112,
       "Bitmap (*.BMP)|*.BMP|Flick (*.FLC)|*.FLC|IFF/ILBM for Amiga (*.IFF)|*.IFF|JFIF/JPEG (*.JPG)|*.JPG|Paint "
       "(*.PCX)|*.PCX|Targa (*.TGA)|*.TGA|TIFF (*.TIF)|*.TIF|TRIM (*.TRM)|*.TRM|Video for Windows (*.AVI)|*.AVI|Toaster "
       "FS (*.FS)|*.FS|PNG (*.PNG)|*.PNG|"},
      {21113, "24/32-bit with Alpha"},
      {21114, "32-bit CMYK"},
      {21115, "24-bit full color"},
      {21116, "Full color (lossy)"},
      {21117, "16-bit 32k/64k colors"},
      {21118, "8-bit 256 colors"},
      {21119, "4-bit 16 colors"},
      {21120, "1-bit 2 colors"},
  };
  return kEntries;
}

}  // namespace qv
