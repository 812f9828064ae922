// The Collage operations: Clip and Clip Alpha cut the selection out into a
// new image; Place, Merge and Key In lay a picture into the action image;
// Enlarge and Reduce resample the box to a new size; Make Area hands the
// selection to the TimeLine.
#include "ops/collage_ops.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/messages.h"
#include "base/progress.h"
#include "ops/apply.h"
#include "ops/bilinear.h"
#include "ops/effect_support.h"
#include "ops/new_image.h"
#include "ops/op_state.h"
#include "store/image_record.h"
#include "store/memory_places.h"
#include "store/undo.h"

namespace qv {
namespace {

constexpr int kMessageNoMemoryForResult = 70;

CollageState& Col() { return Pipeline().collage; }

// Stop is asked at every eighth row of the box, as the workers of this
// group have always done: a row is short work.
inline bool Stopped(int row) { return row % 8 == 0 && Progress(row) != 0; }

inline std::int64_t ClampTo(std::int64_t v, std::int64_t low, std::int64_t high) {
  return v < low ? low : v > high ? high : v;
}

void WholeImageBox(ApplyContext& c) {
  c.x0 = 0;
  c.y0 = 0;
  c.x1 = c.image->width - 1;
  c.y1 = c.image->height - 1;
}

// The new colour of a pixel mixed with weight w (0..255) towards s; with
// affect-alpha the alpha is mixed as a grey and stored as the luminance.
inline void MixInto(std::uint8_t* p, const int s[3], int w, bool affectAlpha) {
  const int k = 255 - w;
  if (affectAlpha) {
    const int a = p[3];
    p[3] = static_cast<std::uint8_t>(Lum((s[0] * w + a * k) / 255, (s[1] * w + a * k) / 255, (s[2] * w + a * k) / 255));
    return;
  }
  if (w == 255) {
    p[0] = static_cast<std::uint8_t>(s[0]), p[1] = static_cast<std::uint8_t>(s[1]), p[2] = static_cast<std::uint8_t>(s[2]);
    return;
  }
  p[0] = static_cast<std::uint8_t>((s[0] * w + p[0] * k) / 255);
  p[1] = static_cast<std::uint8_t>((s[1] * w + p[1] * k) / 255);
  p[2] = static_cast<std::uint8_t>((s[2] * w + p[2] * k) / 255);
}

// ---- Clip and Clip Alpha ----------------------------------------------------

int PrepareClip() { return 0; }

// The box becomes a new image: each selected pixel's colour (or, for Clip
// Alpha, its alpha as grey) with the mask as its alpha.
int CutOut(OpId op, const char* tag, bool alphaAsGrey) {
  ApplyContext& c = Ctx();
  ImageRecord* action = c.image;
  const int w = c.x1 - c.x0 + 1, h = c.y1 - c.y0 + 1;
  ImageRecord* piece = StartNewImage(w, h, tag);
  if (!piece) return 1;
  const bool hasAlpha = action->hasAlpha != 0;
  for (int row = 0; row < h; ++row) {
    if (Stopped(row)) {
      FreeImage(piece);
      return 1;
    }
    const int y = c.y0 + row;
    const std::uint8_t* p = PixelAt(action, c.x0, y);
    const std::uint8_t* mp = c.mask + static_cast<std::size_t>(y) * action->width + c.x0;
    std::uint8_t* out = PixelAt(piece, 0, row);
    for (int i = 0; i < w; ++i, p += 4, out += 4) {
      const int m = mp[i];
      if (!m) continue;  // the new image starts clear
      if (!alphaAsGrey) {
        out[0] = p[0], out[1] = p[1], out[2] = p[2], out[3] = static_cast<std::uint8_t>(m);
      } else if (hasAlpha) {
        out[0] = out[1] = out[2] = p[3];
        out[3] = static_cast<std::uint8_t>(m);
      } else {
        out[0] = out[1] = out[2] = out[3] = 255;
      }
    }
  }
  NewImagePlacement placement;
  placement.openView = ParamValue(op, 1) != 0;  // "Display Clip"
  placement.parent = action;
  placement.originX = c.x0;
  placement.originY = c.y0;
  if (FinishNewImage(piece, action, placement) != 0) return 1;
  // "As Source" (Clip Alpha: "Assign the Result as Source").
  if (ParamValue(op, 0) != 0) Pipeline().source = piece;
  return 0;
}

int ClipWorker(std::uint8_t*, std::uint8_t*) { return CutOut(kClip, "iclip", false); }
int ClipAlphaWorker(std::uint8_t*, std::uint8_t*) { return CutOut(kClipAlpha, "iaclip", true); }

// ---- Place ------------------------------------------------------------------

int PreparePlace() {
  ApplyContext& c = Ctx();
  ImageRecord* picture = CollagePicture(c.image);
  Col().picture = picture;
  if (picture == c.image) {
    WholeImageBox(c);
    return 0;
  }
  // The picture's centre lands on the selection's centre.
  const std::int64_t hw = std::max(picture->width / 2, 1), hh = std::max(picture->height / 2, 1);
  const std::int64_t left = std::int64_t{c.cx} - hw, top = std::int64_t{c.cy} - hh;
  const std::int64_t right = left + picture->width - 1, bottom = top + picture->height - 1;
  const std::int64_t w = c.image->width, h = c.image->height;
  c.sx0 = static_cast<std::int32_t>(left);
  c.sy0 = static_cast<std::int32_t>(top);
  c.sx1 = static_cast<std::int32_t>(right);
  c.sy1 = static_cast<std::int32_t>(bottom);
  c.x0 = static_cast<std::int32_t>(ClampTo(left, 0, w - 1));
  c.x1 = static_cast<std::int32_t>(ClampTo(right, 0, w - 1));
  c.y0 = static_cast<std::int32_t>(ClampTo(top, 0, h - 1));
  c.y1 = static_cast<std::int32_t>(ClampTo(bottom, 0, h - 1));
  return 0;
}

int PlaceWorker(std::uint8_t*, std::uint8_t* mask) {
  ApplyContext& c = Ctx();
  PictureRead src;
  if (!src.Open(Col().picture)) return 1;
  ImageRecord* image = c.image;
  const bool onlyInArea = ParamValue(kPlace, 0) != 0;
  const bool affectAlpha = c.affectAlpha;
  const std::int64_t shiftX = (src.width + 1) / 2 - std::int64_t{c.cx};
  const std::int64_t shiftY = (src.height + 1) / 2 - std::int64_t{c.cy};
  for (int y = c.y0; y <= c.y1; ++y) {
    if (Stopped(y - c.y0)) return 1;
    const std::int64_t sy = ClampTo(shiftY + y, 0, src.height - 1);
    std::uint8_t* p = PixelAt(image, c.x0, y);
    const std::uint8_t* mp = mask + static_cast<std::size_t>(y) * image->width;
    for (int x = c.x0; x <= c.x1; ++x, p += 4) {
      const int m = onlyInArea ? mp[x] : 255;
      if (!m) continue;
      const std::uint8_t* s = src.At(ClampTo(shiftX + x, 0, src.width - 1), sy);
      const int w = m * (src.hasAlpha ? s[3] : 255) / 255;
      if (!w) continue;
      const int colour[3] = {s[0], s[1], s[2]};
      MixInto(p, colour, w, affectAlpha);
    }
  }
  return 0;
}

// ---- Merge ------------------------------------------------------------------

int PrepareMerge() {
  ApplyContext& c = Ctx();
  Col().picture = CollagePicture(c.image);
  if (Col().picture == c.image) WholeImageBox(c);
  return 0;
}

// Where an output column samples the picture.
struct Column {
  std::int32_t ix, gx;
  bool use0, use1;  // columns ix and ix + 1 lie inside the picture
};

inline Column ColumnAt(double sxf, int width) {
  Column col{};
  SamplePoint s;
  if (!SplitPosition(sxf, 0, s)) return col;
  col.ix = s.ix;
  col.gx = s.gx;
  col.use0 = s.ix >= 0 && s.ix < width;
  col.use1 = s.ix >= -1 && s.ix < width - 1;
  return col;
}

// The merged colour s mixed in at weight w: the colour, or with
// affect-alpha the alpha as the mixture's luminance.
inline void MixMerged(std::uint8_t* p, const int s[3], int w, bool affectAlpha) {
  if (w == 255 && !affectAlpha) {
    // (0 x t + 255 x s) / 255 is s.
    p[0] = static_cast<std::uint8_t>(s[0]), p[1] = static_cast<std::uint8_t>(s[1]), p[2] = static_cast<std::uint8_t>(s[2]);
    return;
  }
  const int t[3] = {affectAlpha ? p[3] : p[0], affectAlpha ? p[3] : p[1], affectAlpha ? p[3] : p[2]};
  const int k = 255 - w;
  int mixed[3];
  for (int ch = 0; ch < 3; ++ch) mixed[ch] = (k * t[ch] + w * s[ch]) / 255;
  if (affectAlpha) {
    p[3] = static_cast<std::uint8_t>(Lum(mixed[0], mixed[1], mixed[2]));
  } else {
    p[0] = static_cast<std::uint8_t>(mixed[0]), p[1] = static_cast<std::uint8_t>(mixed[1]), p[2] = static_cast<std::uint8_t>(mixed[2]);
  }
}

// One pixel of Merge at mask m from column col of picture rows row0 and
// row1 (either null when outside) at fraction gy: the neighbours outside
// the picture or clear take the pixel's own colour.
void MergePixel(std::uint8_t* p, int m, const Column& col, const std::uint8_t* row0, const std::uint8_t* row1, int gy,
                bool hasAlpha, bool affectAlpha) {
  const int t[3] = {affectAlpha ? p[3] : p[0], affectAlpha ? p[3] : p[1], affectAlpha ? p[3] : p[2]};
  const std::ptrdiff_t left = std::ptrdiff_t{4} * col.ix;
  // Weights in 65536ths; a fraction left of the picture is negative, so
  // the sums can be too (and are clamped).
  const int w00y = 256 - gy, w01y = gy;
  const int wx0 = 256 - col.gx, wx1 = col.gx;
  const int weights[4] = {w00y * wx0, w00y * wx1, w01y * wx0, w01y * wx1};
  const std::uint8_t* q[4] = {row0 && col.use0 ? row0 + left : nullptr, row0 && col.use1 ? row0 + left + 4 : nullptr,
                              row1 && col.use0 ? row1 + left : nullptr, row1 && col.use1 ? row1 + left + 4 : nullptr};
  int sum[3] = {0, 0, 0}, alpha = 0;
  if (q[0] && q[1] && q[2] && q[3] && (!hasAlpha || (q[0][3] & q[1][3] & q[2][3] & q[3][3]) == 255)) {
    // Inside an opaque picture every neighbour counts whole.
    for (int ch = 0; ch < 3; ++ch)
      sum[ch] = q[0][ch] * weights[0] + q[1][ch] * weights[1] + q[2][ch] * weights[2] + q[3][ch] * weights[3];
    alpha = 255 * 65536;
  } else {
    for (int n = 0; n < 4; ++n) {
      const std::uint8_t* sp = q[n];
      const int qa = sp ? (hasAlpha ? sp[3] : 255) : 0;
      const int wn = weights[n];
      if (qa) {
        alpha += qa * wn;
        sum[0] += sp[0] * wn, sum[1] += sp[1] * wn, sum[2] += sp[2] * wn;
      } else {
        sum[0] += t[0] * wn, sum[1] += t[1] * wn, sum[2] += t[2] * wn;
      }
    }
  }
  const int a = Clamp0To255(alpha / 65536);
  if (!a) return;
  const int s[3] = {Clamp0To255(sum[0] / 65536), Clamp0To255(sum[1] / 65536), Clamp0To255(sum[2] / 65536)};
  MixMerged(p, s, m * a / 255, affectAlpha);
}

#if defined(__SSE2__)
// Fractions a and b (0..256) in four sixteen-bit lanes each, a's first,
// built in registers (a set from memory would stall on the store).
inline __m128i SpreadPair(int a, int b) {
  const __m128i v = _mm_cvtsi32_si128(static_cast<int>((static_cast<std::uint32_t>(a) & 0xFFFFu) |
                                                       (static_cast<std::uint32_t>(b) << 16)));
  const __m128i twice = _mm_unpacklo_epi16(v, v);
  return _mm_unpacklo_epi32(twice, twice);
}
#endif

// The plain bilinear sums of one output row inside an opaque picture, for
// count columns reading source byte offsets off and off + 4 of rows r0 and
// r1 at fractions g (0..255) across and gy down. Taken as along the rows
// first, then down: the same whole numbers as the four weights of
// BlendInside, never below 0 nor above 255 << 16.
void BlendPairs(const std::uint8_t* r0, const std::uint8_t* r1, const std::int32_t* off, const std::int16_t* g, int gy,
                int count, std::uint8_t* out) {
  const std::uint32_t wy0 = static_cast<std::uint32_t>(256 - gy), wy1 = static_cast<std::uint32_t>(gy);
  int j = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i w0 = _mm_set1_epi16(static_cast<short>(wy0)), w1 = _mm_set1_epi16(static_cast<short>(wy1));
  auto two = [&](const std::uint8_t* r, std::int32_t a, std::int32_t b) {
    std::int32_t va, vb;
    std::memcpy(&va, r + a, 4);
    std::memcpy(&vb, r + b, 4);
    return _mm_unpacklo_epi8(_mm_unpacklo_epi32(_mm_cvtsi32_si128(va), _mm_cvtsi32_si128(vb)), zero);
  };
  for (; j + 1 < count; j += 2) {
    const std::int32_t oa = off[j], ob = off[j + 1];
    const __m128i g1 = SpreadPair(g[j], g[j + 1]);
    const __m128i g0 = _mm_sub_epi16(_mm_set1_epi16(256), g1);
    const __m128i h0 = _mm_add_epi16(_mm_mullo_epi16(two(r0, oa, ob), g0), _mm_mullo_epi16(two(r0, oa + 4, ob + 4), g1));
    const __m128i h1 = _mm_add_epi16(_mm_mullo_epi16(two(r1, oa, ob), g0), _mm_mullo_epi16(two(r1, oa + 4, ob + 4), g1));
    const __m128i aLo = _mm_mullo_epi16(h0, w0), aHi = _mm_mulhi_epu16(h0, w0);
    const __m128i bLo = _mm_mullo_epi16(h1, w1), bHi = _mm_mulhi_epu16(h1, w1);
    const __m128i first = _mm_add_epi32(_mm_unpacklo_epi16(aLo, aHi), _mm_unpacklo_epi16(bLo, bHi));
    const __m128i second = _mm_add_epi32(_mm_unpackhi_epi16(aLo, aHi), _mm_unpackhi_epi16(bLo, bHi));
    const __m128i v = _mm_packs_epi32(_mm_srli_epi32(first, 16), _mm_srli_epi32(second, 16));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 4 * j), _mm_packus_epi16(v, zero));
  }
#endif
  for (; j < count; ++j) {
    const std::uint8_t* a = r0 + off[j];
    const std::uint8_t* b = r1 + off[j];
    const std::uint32_t gx = static_cast<std::uint32_t>(g[j]), gx0 = 256 - gx;
    for (int k = 0; k < 4; ++k) {
      const std::uint32_t h0 = a[k] * gx0 + a[k + 4] * gx, h1 = b[k] * gx0 + b[k + 4] * gx;
      out[4 * j + k] = static_cast<std::uint8_t>((h0 * wy0 + h1 * wy1) >> 16);
    }
  }
}

int MergeWorker(std::uint8_t*, std::uint8_t* mask) {
  ApplyContext& c = Ctx();
  PictureRead src;
  if (!src.Open(Col().picture)) return 1;
  ImageRecord* image = c.image;
  const bool warp = ParamValue(kMerge, 0) != 0;
  const bool hasAlpha = src.hasAlpha;
  const bool affectAlpha = c.affectAlpha;
  const int W = src.width, H = src.height;
  const double spanX = std::max(std::int64_t{c.sx1} - c.sx0, std::int64_t{1});
  const double spanY = std::max(std::int64_t{c.sy1} - c.sy0, std::int64_t{1});
  // A column samples the same place on every row without the warp, and
  // on every row of the same shape and opaque extent with it.
  std::vector<Column> columns(static_cast<std::size_t>(c.x1 - c.x0 + 1));
  if (!warp)
    for (int x = c.x0; x <= c.x1; ++x)
      columns[static_cast<std::size_t>(x - c.x0)] = ColumnAt((x - c.sx0) / spanX * (W - 1), W);
  // Each column's byte offset and fraction for the rows' plain sums; a
  // column whose neighbours are not both inside, or whose fraction is
  // negative, is not plain and reads offset 0 harmlessly.
  std::vector<std::int32_t> offsets(columns.size());
  std::vector<std::int16_t> fractions(columns.size());
  std::vector<std::uint8_t> plain(columns.size());
  std::vector<std::uint8_t> blend(columns.size() * 4);
  auto describeColumns = [&] {
    for (std::size_t i = 0; i < columns.size(); ++i) {
      const Column& col = columns[i];
      plain[i] = col.use0 && col.use1 && col.gx >= 0;
      offsets[i] = plain[i] ? 4 * col.ix : 0;
      fractions[i] = static_cast<std::int16_t>(plain[i] ? col.gx : 0);
    }
  };
  if (!warp) describeColumns();
  bool columnsFor = false;  // the table holds the warp of shape L..R onto SL..SR
  double columnsL = 0, columnsR = 0, columnsSL = 0, columnsSR = 0;
  for (int y = c.y0; y <= c.y1; ++y) {
    if (Stopped(y - c.y0)) return 1;
    const double syf = (y - c.sy0) / spanY * (H - 1);
    SamplePoint row;
    if (!SplitPosition(0, syf, row)) continue;
    const std::int32_t iy = row.iy, gy = row.gy;
    const bool useRow0 = iy >= 0 && iy < H, useRow1 = iy >= -1 && iy < H - 1;
    const std::uint8_t* row0 = useRow0 ? src.At(0, iy) : nullptr;
    const std::uint8_t* row1 = useRow1 ? src.At(0, std::int64_t{iy} + 1) : nullptr;
    const std::uint8_t* mp = mask + static_cast<std::size_t>(y) * image->width;
    if (warp) {
      // The row's shape (its first and last selected pixels) and the
      // picture row's opaque extent.
      double L, R;
      int first = c.x0;
      while (first <= c.x1 && !mp[first]) ++first;
      int last = c.x1;
      while (last > first && !mp[last]) --last;
      if (first > c.x1 || last <= first) {
        L = static_cast<double>((std::int64_t{c.sx0} + c.sx1) / 2);
        R = L + 1;
      } else {
        L = first;
        R = last;
      }
      int sl = -1, sr = -1;
      if (!hasAlpha) {
        sl = 0, sr = W - 1;
      } else {
        const std::uint8_t* pick = src.At(0, ClampTo(iy, 0, H - 1));
        while (sl + 1 < W && !pick[4 * (sl + 1) + 3]) ++sl;
        if (++sl < W) {
          sr = W - 1;
          while (!pick[4 * sr + 3]) --sr;
        } else {
          sl = -1;
        }
      }
      if (sl < 0) sl = sr = W / 2;
      const double SL = sl, SR = sr;
      if (!columnsFor || L != columnsL || R != columnsR || SL != columnsSL || SR != columnsSR) {
        for (int x = c.x0; x <= c.x1; ++x)
          columns[static_cast<std::size_t>(x - c.x0)] = ColumnAt((x - L) / (R - L) * (SR - SL) + SL, W);
        describeColumns();
        columnsFor = true;
        columnsL = L, columnsR = R, columnsSL = SL, columnsSR = SR;
      }
    }
    const bool plainRow = row0 && row1 && gy >= 0 && W >= 2;
    if (plainRow) BlendPairs(row0, row1, offsets.data(), fractions.data(), gy, static_cast<int>(columns.size()), blend.data());
    std::uint8_t* const line = PixelAt(image, c.x0, y);
    const std::uint8_t* const lineMask = mp + c.x0;
    const std::size_t n = columns.size();
    // Whole selected runs inside an opaque picture take its colours as
    // they are, four pixels at a time, the alpha kept.
    const bool copyRuns = plainRow && !hasAlpha && !affectAlpha;
    for (std::size_t i = 0; i < n;) {
#if defined(__SSE2__)
      if (copyRuns && i + 4 <= n) {
        std::uint32_t m4, plain4;
        std::memcpy(&m4, lineMask + i, 4);
        std::memcpy(&plain4, plain.data() + i, 4);
        if (m4 == 0xFFFFFFFFu && plain4 == 0x01010101u) {
          const __m128i alphaBytes = _mm_set1_epi32(static_cast<int>(0xFF000000u));
          __m128i* at = reinterpret_cast<__m128i*>(line + 4 * i);
          const __m128i merged = _mm_loadu_si128(reinterpret_cast<const __m128i*>(blend.data() + 4 * i));
          _mm_storeu_si128(at, _mm_or_si128(_mm_andnot_si128(alphaBytes, merged),
                                            _mm_and_si128(alphaBytes, _mm_loadu_si128(at))));
          i += 4;
          continue;
        }
      }
#endif
      std::uint8_t* p = line + 4 * i;
      const int m = lineMask[i];
      if (!m) {
        ++i;
        continue;
      }
      if (plainRow && plain[i]) {
        const std::ptrdiff_t left = offsets[i];
        if (!hasAlpha || (row0[left + 3] & row0[left + 7] & row1[left + 3] & row1[left + 7]) == 255) {
          // Inside an opaque picture at fractions of 0 or more: the row's
          // plain sum serves, at weight m.
          const std::uint8_t* b = blend.data() + 4 * i;
          const int s[3] = {b[0], b[1], b[2]};
          MixMerged(p, s, m, affectAlpha);
          ++i;
          continue;
        }
      }
      MergePixel(p, m, columns[i], row0, row1, gy, hasAlpha, affectAlpha);
      ++i;
    }
  }
  return 0;
}

// ---- Key In -----------------------------------------------------------------

int PrepareKeyIn() {
  ApplyContext& c = Ctx();
  Col().picture = CollagePicture(c.image);
  if (Col().picture == c.image) WholeImageBox(c);
  return 0;
}

// Each channel's distance from the key in 255ths of its range, per value.
struct KeyTables {
  long d[3][256];
  KeyTables(const int key[3], const int range[3]) {
    for (int ch = 0; ch < 3; ++ch)
      for (int v = 0; v < 256; ++v) d[ch][v] = std::labs(v - key[ch]) * 255 / std::max(range[ch], 1);
  }
  // The key colour's verdict on a colour: 0 at the key, 255 beyond its ranges.
  int Distance(const int colour[3]) const {
    const long r = d[0][colour[0]], g = d[1][colour[1]], b = d[2][colour[2]];
    if (r > 255 || g > 255 || b > 255) return 255;
    const double length = std::sqrt(static_cast<double>(r * r + g * g + b * b));
    return Clamp0To255((static_cast<long>(length + 0.5) + 1) / 3);
  }
};

// The stretched picture at (sxf, syf) for Key In: its alpha (0 for a
// position that is not a number), the bilinear colour s with neighbours
// outside or clear taking pixel p's own, and the colour tested, the
// nearest pixel's (black outside).
int StretchedSample(const PictureRead& src, double sxf, double syf, const std::uint8_t* p, bool affectAlpha, int s[3],
                    int tested[3]) {
  SamplePoint at;
  if (!SplitPosition(sxf, syf, at)) return 0;
  const int t[3] = {affectAlpha ? p[3] : p[0], affectAlpha ? p[3] : p[1], affectAlpha ? p[3] : p[2]};
  tested[0] = tested[1] = tested[2] = 0;
  if (src.Inside(at.ix, at.iy)) {
    const std::uint8_t* q = src.At(at.ix, at.iy);
    tested[0] = q[0], tested[1] = q[1], tested[2] = q[2];
  }
  const std::int64_t wx[2] = {256 - at.gx, at.gx}, wy[2] = {256 - at.gy, at.gy};
  std::int64_t sum[3] = {0, 0, 0}, alpha = 0;
  for (int n = 0; n < 4; ++n) {
    const std::int64_t nx = std::int64_t{at.ix} + (n & 1), ny = std::int64_t{at.iy} + (n >> 1);
    const std::int64_t weight = wx[n & 1] * wy[n >> 1];
    const std::uint8_t* q = src.Inside(nx, ny) ? src.At(nx, ny) : nullptr;
    const int qa = q ? (src.hasAlpha ? int{q[3]} : 255) : 0;
    if (qa) {
      alpha += qa * weight;
      for (int ch = 0; ch < 3; ++ch) sum[ch] += q[ch] * weight;
    } else {
      for (int ch = 0; ch < 3; ++ch) sum[ch] += t[ch] * weight;
    }
  }
  for (int ch = 0; ch < 3; ++ch) s[ch] = static_cast<int>(ClampTo(sum[ch] / 65536, 0, 255));
  return static_cast<int>(ClampTo(alpha / 65536, 0, 255));
}

int KeyInWorker(std::uint8_t*, std::uint8_t* mask) {
  ApplyContext& c = Ctx();
  PictureRead src;
  if (!src.Open(Col().picture)) return 1;
  ImageRecord* image = c.image;
  const int key[3] = {ParamValue(kKeyIn, 0), ParamValue(kKeyIn, 1), ParamValue(kKeyIn, 2)};
  const int range[3] = {ParamValue(kKeyIn, 3), ParamValue(kKeyIn, 4), ParamValue(kKeyIn, 5)};
  const bool onSource = ParamValue(kKeyIn, 6) != 0, inverse = ParamValue(kKeyIn, 7) != 0;
  const bool soft = ParamValue(kKeyIn, 8) != 0;
  const bool affectAlpha = c.affectAlpha;
  const KeyTables keyTables(key, range);
  const std::int64_t sw = src.width, sh = src.height;
  const std::int64_t w2 = std::max<std::int64_t>(2 * std::int64_t{c.rx}, 1);
  const std::int64_t h2 = std::max<std::int64_t>(2 * std::int64_t{c.ry}, 1);
  // A picture about the selection's size is laid 1:1 from its corner;
  // any other is stretched over the selection around its centre.
  const bool oneToOne = std::llabs(sw - w2) < 3 && std::llabs(sh - h2) < 3;
  const double halfW = static_cast<double>((sw + 1) / 2), halfH = static_cast<double>((sh + 1) / 2);
  const bool alpha = src.hasAlpha;
  for (int y = c.y0; y <= c.y1; ++y) {
    if (Stopped(y - c.y0)) return 1;
    std::uint8_t* p = PixelAt(image, c.x0, y);
    const std::uint8_t* mp = mask + static_cast<std::size_t>(y) * image->width;
    const double syf = static_cast<double>(y - c.cy) / static_cast<double>(h2) * static_cast<double>(sh) + halfH;
    const std::uint8_t* laidRow = oneToOne ? src.At(0, ClampTo(std::int64_t{y} - c.sy0, 0, sh - 1)) : nullptr;
    for (int x = c.x0; x <= c.x1; ++x, p += 4) {
      const int m = mp[x];
      if (!m) continue;
      int s[3], tested[3], a;
      if (oneToOne) {
        const std::uint8_t* q = laidRow + 4 * ClampTo(std::int64_t{x} - c.sx0, 0, sw - 1);
        a = alpha ? q[3] : 255;
        if (!a) continue;
        s[0] = tested[0] = q[0], s[1] = tested[1] = q[1], s[2] = tested[2] = q[2];
      } else {
        const double sxf = static_cast<double>(x - c.cx) / static_cast<double>(w2) * static_cast<double>(sw) + halfW;
        a = StretchedSample(src, sxf, syf, p, affectAlpha, s, tested);
        if (!a) continue;
      }
      if (!onSource) tested[0] = p[0], tested[1] = p[1], tested[2] = p[2];
      int q = keyTables.Distance(tested);
      if (onSource == inverse) {
        q = 255 - q;
      } else if (!soft && q < 255) {
        q = 0;
      }
      int w = a * m / 255;
      if (soft) {
        w = w * q / 255;
      } else if (q == 0) {
        w = 0;
      }
      if (!w) continue;
      if (w == 255 && !affectAlpha) {
        // (t x 0 + s x 255) / 255 is s.
        p[0] = static_cast<std::uint8_t>(s[0]), p[1] = static_cast<std::uint8_t>(s[1]), p[2] = static_cast<std::uint8_t>(s[2]);
        continue;
      }
      const int t[3] = {affectAlpha ? p[3] : p[0], affectAlpha ? p[3] : p[1], affectAlpha ? p[3] : p[2]};
      const int k = 255 - w;
      int mixed[3];
      for (int ch = 0; ch < 3; ++ch) mixed[ch] = (t[ch] * k + s[ch] * w) / 255;
      if (affectAlpha) {
        p[3] = static_cast<std::uint8_t>(Lum(mixed[0], mixed[1], mixed[2]));
      } else {
        p[0] = static_cast<std::uint8_t>(mixed[0]), p[1] = static_cast<std::uint8_t>(mixed[1]), p[2] = static_cast<std::uint8_t>(mixed[2]);
      }
    }
  }
  return 0;
}

// ---- Enlarge and Reduce -----------------------------------------------------

// Slots of the size rows.
constexpr int kXSize = 0, kYSize = 1, kXDim = 2, kYDim = 3, kReplace = 4, kConstantZoom = 5;

int PrepareResize(OpId op) {
  ApplyContext& c = Ctx();
  CollageState& s = Col();
  if (ParamValue(op, kConstantZoom) != 0) {
    s.newWidth = (std::int64_t{c.x1} - c.x0 + 1) * ParamValue(op, kXSize) / 100;
    s.newHeight = (std::int64_t{c.y1} - c.y0 + 1) * ParamValue(op, kYSize) / 100;
  } else {
    s.newWidth = ParamValue(op, kXDim);
    s.newHeight = ParamValue(op, kYDim);
  }
  // A zoom that rounds to nothing still gives a pixel.
  s.newWidth = std::max<std::int64_t>(s.newWidth, 1);
  s.newHeight = std::max<std::int64_t>(s.newHeight, 1);
  return 0;
}
int PrepareEnlarge() { return PrepareResize(kEnlarge); }
int PrepareReduce() { return PrepareResize(kReduce); }

// The source column (or row) of each output one and its fraction in 256ths.
struct Taps {
  std::int32_t* whole = nullptr;
  std::int32_t* fraction = nullptr;
  const char* wholeTag;
  const char* fractionTag;
  Taps(std::int64_t count, const char* a, const char* b) : wholeTag(a), fractionTag(b) {
    whole = AllocRealArray<std::int32_t>(count, a);
    fraction = AllocRealArray<std::int32_t>(count, b);
  }
  ~Taps() {
    FreeReal(whole, wholeTag);
    FreeReal(fraction, fractionTag);
  }
  Taps(const Taps&) = delete;
  Taps& operator=(const Taps&) = delete;
  bool Ok() const { return whole && fraction; }
};

// Output position j samples j x step + first (single precision, as the
// program always has), never beyond the last pixel.
inline void Tap(std::int64_t j, float step, int first, int last, std::int32_t& whole, std::int32_t& fraction) {
  const float s = static_cast<float>(j) * step + static_cast<float>(first);
  std::int32_t i = static_cast<std::int32_t>(std::min(s, static_cast<float>(last)));
  i = std::min(i, last);
  whole = i;
  fraction = std::clamp(static_cast<std::int32_t>((s - static_cast<float>(i)) * 256.0f), 0, 256);
}

// The first step of the two-step bilinear sum for one source row: each
// output column's colour and mask, times 256 - gx and gx, summed (at most
// 65280, so sixteen bits hold it exactly).
void AlongRow(const std::uint8_t* r, const std::uint8_t* m, int width, const std::int32_t* xval,
              const std::int32_t* xrac, int newW, std::uint16_t* h) {
  int j = 0;
#if defined(__SSE2__)
  // Two output columns at a time, eight sixteen-bit lanes: every product
  // and sum fits, so the low halves are the whole values.
  const __m128i zero = _mm_setzero_si128();
  auto pixel = [&](int x) {
    std::uint32_t v;
    std::memcpy(&v, r + 4 * x, 4);
    return (v & 0x00FFFFFFu) | (std::uint32_t{m[x]} << 24);
  };
  for (; j + 1 < newW; j += 2) {
    const int ixA = xval[j], ixB = xval[j + 1];
    const int nxA = ixA == width - 1 ? ixA : ixA + 1, nxB = ixB == width - 1 ? ixB : ixB + 1;
    const __m128i a = _mm_unpacklo_epi8(
        _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(pixel(ixA))), _mm_cvtsi32_si128(static_cast<int>(pixel(ixB)))),
        zero);
    const __m128i b = _mm_unpacklo_epi8(
        _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(pixel(nxA))), _mm_cvtsi32_si128(static_cast<int>(pixel(nxB)))),
        zero);
    const __m128i g1 = SpreadPair(xrac[j], xrac[j + 1]);
    const __m128i g0 = _mm_sub_epi16(_mm_set1_epi16(256), g1);
    const __m128i sum = _mm_add_epi16(_mm_mullo_epi16(a, g0), _mm_mullo_epi16(b, g1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(h + 4 * j), sum);
  }
#endif
  for (; j < newW; ++j) {
    const int ix = xval[j], ix1 = ix == width - 1 ? ix : ix + 1, gx = xrac[j], gx0 = 256 - gx;
    const std::uint8_t* a = r + 4 * ix;
    const std::uint8_t* b = r + 4 * ix1;
    std::uint16_t* q = h + 4 * j;
    q[0] = static_cast<std::uint16_t>(a[0] * gx0 + b[0] * gx);
    q[1] = static_cast<std::uint16_t>(a[1] * gx0 + b[1] * gx);
    q[2] = static_cast<std::uint16_t>(a[2] * gx0 + b[2] * gx);
    q[3] = static_cast<std::uint16_t>(m[ix] * gx0 + m[ix1] * gx);
  }
}

// The second step: down between two first-step rows with weights wy0 and
// wy1 (summing to 256), >> 16. A pixel no selected pixel reaches (mask 0)
// stays clear.
void DownRows(const std::uint16_t* h0, const std::uint16_t* h1, std::uint32_t wy0, std::uint32_t wy1, int newW,
              std::uint8_t* out) {
  int j = 0;
#if defined(__SSE2__)
  // Two pixels at a time: the 32-bit products from their low and high
  // sixteen-bit halves, the sum below 255 << 16 + 65536.
  const __m128i zero = _mm_setzero_si128();
  const __m128i w0 = _mm_set1_epi16(static_cast<short>(wy0)), w1 = _mm_set1_epi16(static_cast<short>(wy1));
  for (; j + 1 < newW; j += 2) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h0 + 4 * j));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h1 + 4 * j));
    const __m128i aLo = _mm_mullo_epi16(a, w0), aHi = _mm_mulhi_epu16(a, w0);
    const __m128i bLo = _mm_mullo_epi16(b, w1), bHi = _mm_mulhi_epu16(b, w1);
    const __m128i first = _mm_add_epi32(_mm_unpacklo_epi16(aLo, aHi), _mm_unpacklo_epi16(bLo, bHi));
    const __m128i second = _mm_add_epi32(_mm_unpackhi_epi16(aLo, aHi), _mm_unpackhi_epi16(bLo, bHi));
    __m128i v = _mm_packs_epi32(_mm_srli_epi32(first, 16), _mm_srli_epi32(second, 16));
    const __m128i alpha = _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, _MM_SHUFFLE(3, 3, 3, 3)), _MM_SHUFFLE(3, 3, 3, 3));
    v = _mm_andnot_si128(_mm_cmpeq_epi16(alpha, zero), v);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 4 * j), _mm_packus_epi16(v, zero));
  }
#endif
  for (; j < newW; ++j) {
    std::uint8_t* p = out + 4 * j;
    for (int k = 0; k < 4; ++k) p[k] = static_cast<std::uint8_t>((h0[4 * j + k] * wy0 + h1[4 * j + k] * wy1) >> 16);
    if (p[3] == 0) p[0] = p[1] = p[2] = 0;
  }
}

int Resize(OpId op) {
  ApplyContext& c = Ctx();
  ImageRecord* action = c.image;
  const CollageState& s = Col();
  const bool enlarge = op == kEnlarge;
  ImageRecord* made = StartNewImage(s.newWidth, s.newHeight, enlarge ? "ienl" : "ired");
  if (!made) return 1;
  const int newW = made->width, newH = made->height;
  Taps columns(newW, "xval", "xrac");
  if (!columns.Ok()) {
    FreeImage(made);
    ShowMessage(kMessageNoMemoryForResult);
    return 1;
  }
  const float stepX = enlarge ? static_cast<float>(c.x1 - c.x0) / static_cast<float>(std::max(newW - 1, 1))
                              : static_cast<float>(c.x1 - c.x0 + 1) / static_cast<float>(std::max(newW, 1));
  const float stepY = enlarge ? static_cast<float>(c.y1 - c.y0) / static_cast<float>(std::max(newH - 1, 1))
                              : static_cast<float>(c.y1 - c.y0 + 1) / static_cast<float>(std::max(newH, 1));
  const int width = action->width, height = action->height;
  for (int j = 0; j < newW; ++j) Tap(j, stepX, c.x0, width - 1, columns.whole[j], columns.fraction[j]);
  const std::int32_t* xval = columns.whole;
  const std::int32_t* xrac = columns.fraction;
  // The bilinear sum is taken in two steps with the same whole numbers:
  // along each source row first (colour and mask times 256 - gx and gx, at
  // most 65280), then down between two such rows. A source row's first step
  // serves every output row that reads it.
  std::vector<std::uint16_t> across[2];
  std::int32_t acrossRow[2] = {-1, -1};
  try {
    across[0].resize(static_cast<std::size_t>(newW) * 4);
    across[1].resize(static_cast<std::size_t>(newW) * 4);
  } catch (const std::bad_alloc&) {
    FreeImage(made);
    ShowMessage(kMessageNoMemoryForResult);
    return 1;
  }
  // The first step of source row y in one of the two rows kept: the one
  // that already holds it, else the one that does not hold row keep.
  auto rowFor = [&](std::int32_t y, std::int32_t keep) -> const std::uint16_t* {
    for (int n = 0; n < 2; ++n)
      if (acrossRow[n] == y) return across[n].data();
    const int n = acrossRow[0] == keep ? 1 : 0;
    AlongRow(PixelAt(action, 0, y), c.mask + static_cast<std::size_t>(y) * width, width, xval, xrac, newW,
             across[n].data());
    acrossRow[n] = y;
    return across[n].data();
  };
  for (int row = 0; row < newH; ++row) {
    if (Stopped(row)) {
      FreeImage(made);
      return 1;
    }
    std::int32_t iy, gy;
    Tap(row, stepY, c.y0, height - 1, iy, gy);
    const int iy1 = iy == height - 1 ? iy : iy + 1;
    const std::uint32_t wy0 = static_cast<std::uint32_t>(256 - gy), wy1 = static_cast<std::uint32_t>(gy);
    // A lower row of no weight is not read: any row gives the same sums.
    const std::uint16_t* h0 = rowFor(iy, wy1 == 0 ? -1 : iy1);
    DownRows(h0, wy1 == 0 ? h0 : rowFor(iy1, iy), wy0, wy1, newW, PixelAt(made, 0, row));
  }
  if (ParamValue(op, kReplace) == 0) {
    NewImagePlacement placement;
    placement.parent = action;
    placement.originX = c.x0;
    placement.originY = c.y0;
    return FinishNewImage(made, action, placement);
  }
  // "Replace": the new picture takes the action image's place and the undo
  // copy becomes a layer of the whole old picture, so that Undo brings back
  // its size as well as its pixels. The bodies change hands, not the
  // bytes; each record keeps its own count of locks.
  ImageRecord* layer = c.undo;
  if (!layer) {
    FreeImage(made);
    return 1;
  }
  made->hasAlpha = 1;
  made->dpiXNum = action->dpiXNum;
  made->dpiXDen = action->dpiXDen;
  made->dpiYNum = action->dpiYNum;
  made->dpiYDen = action->dpiYDen;
  const std::uint16_t actionLocks = action->lockCount, layerLocks = layer->lockCount, madeLocks = made->lockCount;
  SwapImageBodies(action, made);  // action: the new picture; made: the old one
  SwapImageBodies(layer, made);   // layer: the old picture; made: the box's copy
  action->lockCount = actionLocks;
  layer->lockCount = layerLocks;
  made->lockCount = madeLocks;
  layer->originX = -1;
  layer->originY = -1;
  FreeImage(made);
  c.copyX = c.copyY = 0;
  c.copyWidth = layer->width;
  c.copyHeight = layer->height;
  action->changed = 0;  // the pipeline's count makes it 1
  c.x0 = 0;
  c.y0 = 0;
  c.x1 = newW - 1;
  c.y1 = newH - 1;
  return 0;
}

int EnlargeWorker(std::uint8_t*, std::uint8_t*) { return Resize(kEnlarge); }
int ReduceWorker(std::uint8_t*, std::uint8_t*) { return Resize(kReduce); }

// ---- Make Area --------------------------------------------------------------

int PrepareMakeArea() {
  WholeImageBox(Ctx());
  return 0;
}

int MakeAreaWorker(std::uint8_t*, std::uint8_t*) {
  const ApplyState& p = Pipeline();
  if (!p.collage.updateTimeLine || !p.hooks.areaToTimeLine) return 0;
  return p.hooks.areaToTimeLine() == 0 ? 0 : 1;
}

// Enlarge and Reduce read the action image and build a new picture from it.
constexpr OpRoutines ResizeRoutines(PrepareRoutine prepare, ImageWorker worker) {
  OpRoutines r = ImageRoutines(prepare, worker);
  r.copyOnlyToStop = true;
  return r;
}

const OpRoutineEntry kRoutines[] = {
    {kClip, ImageRoutines(PrepareClip, ClipWorker)},
    {kMerge, ImageRoutines(PrepareMerge, MergeWorker)},
    {kKeyIn, ImageRoutines(PrepareKeyIn, KeyInWorker)},
    {kPlace, ImageRoutines(PreparePlace, PlaceWorker)},
    {kEnlarge, ResizeRoutines(PrepareEnlarge, EnlargeWorker)},
    {kReduce, ResizeRoutines(PrepareReduce, ReduceWorker)},
    {kClipAlpha, ImageRoutines(PrepareClip, ClipAlphaWorker)},
    {kMakeArea, ImageRoutines(PrepareMakeArea, MakeAreaWorker)},
};

}  // namespace

ImageRecord* CollagePicture(ImageRecord* action) {
  ImageRecord* chosen = Pipeline().source;
  if (chosen && ImageIndex(chosen) >= 0) return chosen;
  return ImageCount() > 0 ? ImageAt(0) : action;
}

bool PictureRead::Open(ImageRecord* picture) {
  const ApplyContext& c = Ctx();
  if (!picture || picture == c.image) {
    // The box is the whole image, so its copy is the whole picture as it was.
    const ImageRecord* copy = c.undo;
    if (!copy || !copy->pixels || c.copyWidth < 1 || c.copyHeight < 1) {
      ShowMessage(kMessageNoMemoryForResult);
      return false;
    }
    pixels_ = copy->pixels;
    rows_ = copy->rows;
    width = c.copyWidth;
    height = c.copyHeight;
    hasAlpha = copy->hasAlpha != 0;
    return true;
  }
  if (LockImage(picture) != 0) {
    ShowMessage(kMessageNoMemoryForResult);
    return false;
  }
  locked_ = picture;
  pixels_ = picture->pixels;
  rows_ = picture->rows;
  width = picture->width;
  height = picture->height;
  hasAlpha = picture->hasAlpha != 0;
  return true;
}

PictureRead::~PictureRead() {
  if (locked_) UnlockImage(locked_);
}

std::span<const OpRoutineEntry> CollageOperationRoutines() { return kRoutines; }

}  // namespace qv
