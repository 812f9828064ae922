// The Font area mode: the text's glyphs as 1-bit bitmaps under the
// selection's rotation, magnification and shear, set into the mask.
#include <ft2build.h>
#include FT_FREETYPE_H
#include <fontconfig/fontconfig.h>

#include <cmath>
#include <memory>
#include <string>

#include "area/area_mask.h"
#include "base/messages.h"

namespace qv {
namespace {

struct FcPatternFree {
  void operator()(FcPattern* p) const { FcPatternDestroy(p); }
};
using PatternPtr = std::unique_ptr<FcPattern, FcPatternFree>;
struct FcConfigFree {
  void operator()(FcConfig* c) const { FcConfigDestroy(c); }
};
using ConfigPtr = std::unique_ptr<FcConfig, FcConfigFree>;

struct FtLibrary {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  ~FtLibrary() {
    if (face) FT_Done_Face(face);
    if (library) FT_Done_FreeType(library);
  }
};

// The file and face index fontconfig chooses for the face name; a family it
// does not know resolves to its metric-compatible stand-in or its default.
// A configuration of our own, loaded from fontconfig's caches for the one
// look-up and destroyed afterwards: the library's shared default keeps
// allocations that are never given back.
bool ResolveFace(const AreaFont& font, std::string& file, int& index) {
  ConfigPtr config(FcInitLoadConfigAndFonts());
  PatternPtr pattern(FcPatternCreate());
  if (!config || !pattern) return false;
  FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(font.face.c_str()));
  FcPatternAddInteger(pattern.get(), FC_WEIGHT, font.bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern.get(), FC_SLANT, font.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pattern.get(), FC_SCALABLE, FcTrue);
  FcConfigSubstitute(config.get(), pattern.get(), FcMatchPattern);
  FcDefaultSubstitute(pattern.get());
  FcResult result = FcResultNoMatch;
  PatternPtr match(FcFontMatch(config.get(), pattern.get(), &result));
  if (!match) return false;
  FcChar8* path = nullptr;
  if (FcPatternGetString(match.get(), FC_FILE, 0, &path) != FcResultMatch || !path) return false;
  file = reinterpret_cast<const char*>(path);
  if (FcPatternGetInteger(match.get(), FC_INDEX, 0, &index) != FcResultMatch) index = 0;
  return true;
}

// Decodes one UTF-8 character; bad bytes come out as themselves.
char32_t NextCharacter(const std::string& text, std::size_t& i) {
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char c = byte(i++);
  int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
  if (extra == 0 || i + extra > text.size()) return c;
  char32_t v = c & (0x3F >> extra);
  for (int k = 0; k < extra; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return c;
    v = (v << 6) | (byte(i + k) & 0x3F);
  }
  i += extra;
  return v;
}

FT_Fixed Fixed(double v) { return static_cast<FT_Fixed>(std::lround(v * 65536.0)); }

}  // namespace

int DrawFontMask(std::uint8_t* mask, int width, int height, const AreaSelection& s, int x, int y) {
  std::string file;
  int index = 0;
  if (!ResolveFace(s.font, file, index)) {
    LogLine("Font area: no face found for \"%s\"\n", s.font.face.c_str());
    return 1;
  }
  FtLibrary ft;
  if (FT_Init_FreeType(&ft.library) != 0 || FT_New_Face(ft.library, file.c_str(), index, &ft.face) != 0) {
    LogLine("Font area: cannot open \"%s\"\n", file.c_str());
    return 1;
  }
  if (FT_Set_Pixel_Sizes(ft.face, 0, static_cast<FT_UInt>(std::max(1, s.font.pixelSize))) != 0) return 1;

  double a = -s.rotation / 57.29577951;
  double m11 = s.magnificationX * std::cos(a), m12 = s.magnificationX * std::sin(a);
  double m21 = s.magnificationY * (s.shear * std::cos(a) - std::sin(a));
  double m22 = s.magnificationY * (s.shear * std::sin(a) + std::cos(a));
  // Glyph space is y-up like the classic outline matrix: x' = m11 x + m21 y,
  // y' = m12 x + m22 y.
  FT_Matrix matrix{Fixed(m11), Fixed(m21), Fixed(m12), Fixed(m22)};
  FT_Set_Transform(ft.face, &matrix, nullptr);

  // The pen in 26.6 image pixels, y down.
  FT_Pos penX = FT_Pos{x} * 64, penY = FT_Pos{y} * 64;
  for (std::size_t i = 0; i < s.fontText.size();) {
    char32_t c = NextCharacter(s.fontText, i);
    if (FT_Load_Char(ft.face, c, FT_LOAD_DEFAULT | FT_LOAD_TARGET_MONO) != 0) continue;
    FT_GlyphSlot g = ft.face->glyph;
    if (FT_Render_Glyph(g, FT_RENDER_MODE_MONO) == 0 && g->bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
      const FT_Bitmap& bm = g->bitmap;
      // 64-bit positions: the clicked point may be anywhere an int reaches.
      const std::int64_t ox = static_cast<std::int64_t>(penX >> 6) + g->bitmap_left;
      const std::int64_t oy = static_cast<std::int64_t>(penY >> 6) - g->bitmap_top;
      for (unsigned row = 0; row < bm.rows; ++row) {
        const std::int64_t my = oy + row;
        if (my < 0 || my >= height) continue;
        const unsigned char* bits = bm.buffer + static_cast<std::ptrdiff_t>(row) * bm.pitch;
        for (unsigned col = 0; col < bm.width; ++col) {
          if (!(bits[col >> 3] & (0x80 >> (col & 7)))) continue;
          const std::int64_t mx = ox + col;
          if (mx >= 0 && mx < width)
            mask[static_cast<std::size_t>(my) * static_cast<std::size_t>(width) + static_cast<std::size_t>(mx)] = 255;
        }
      }
    }
    penX += g->advance.x;
    penY -= g->advance.y;
  }
  return 0;
}

}  // namespace qv
