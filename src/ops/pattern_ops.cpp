// Pixelize, Random Tile, 3-D Net, Cellular and Lined: whole-image workers
// that read the untouched pixels from the undo copy and write into the
// action image. Writes stay inside the box, so that undo and the redraw
// cover everything an apply changes.
#include "ops/pattern_ops.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/crt_random.h"
#include "base/progress.h"
#include "ops/apply.h"
#include "ops/effect_support.h"
#include "ops/gradient_ops.h"
#include "ops/op_state.h"

namespace qv {
namespace {

constexpr OpId kNet = 3141, kRandomTile = 3142, kPixelize = 3143, kCellular = 3144, kLined = 3145;

// Sizes as a file or Trend may hand them in, kept workable.
int Size(OpId op, int slot) { return std::clamp(ParamValue(op, slot), 1, 100000); }
int Channel(OpId op, int slot) { return Clamp0To255(ParamValue(op, slot)); }

struct Box {
  int x0, y0, x1, y1;
  bool Has(int x, int y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
};
Box BoxOf(const ApplyContext& c) { return {c.x0, c.y0, c.x1, c.y1}; }

// The cells of a grid anchored at the centre c with step s over lo..hi:
// the first and the last cell's start (integer division toward zero).
struct GridRange {
  long first, last;
};
GridRange AnchoredGrid(long lo, long hi, long c, long s) {
  return {((lo - s - c + 1) / s) * s + c, ((s - c + hi - 1) / s) * s + c};
}

// What a worker starts from: the image and mask, the copy, the box.
struct Work {
  const ApplyContext& c;
  Plane img;
  CopyView copy;
  Box box;
  bool alpha;
  explicit Work(std::uint8_t* mask)
      : c(Ctx()), img(c.image, mask), copy(c.undo), box(BoxOf(c)), alpha(c.affectAlpha) {}
};

// What each Prepare keeps for its worker.
struct PatternSettings {
  SelectionRect sel;
  int colour[3] = {0, 0, 0};
  int background[3] = {0, 0, 0};
  int w = 1, h = 1, border = 0, moveX = 0, moveY = 0, amount = 0, fade = 0;
  bool discrete = false, translucent = false, placeBackground = true;
  long D = 1;
};
PatternSettings g;

// A Prepare's start: its settings cleared, the selection rectangle kept.
ApplyContext& Begin() {
  ApplyContext& c = Ctx();
  g = {};
  g.sel = CurrentSelectionRect(c);
  return c;
}

void ReadColour(OpId op, int first, int out[3]) {
  for (int k = 0; k < 3; ++k) out[k] = Channel(op, first + k);
}

// ---- Pixelize

int PreparePixelize() {
  ApplyContext& c = Begin();
  ReadColour(kPixelize, 0, g.colour);
  g.w = Size(kPixelize, 3);
  g.h = Size(kPixelize, 4);
  g.border = std::clamp(ParamValue(kPixelize, 5), 0, 100000);
  WidenBox(c, g.w, g.h);
  return 0;
}

int PixelizeWorker(std::uint8_t*, std::uint8_t* mask) {
  [[maybe_unused]] const auto& [c, img, copy, box, alpha] = Work(mask);
  const GridRange cols = AnchoredGrid(g.sel.x0, g.sel.x1, c.cx, g.w);
  const GridRange rows = AnchoredGrid(g.sel.y0, g.sel.y1, c.cy, g.h);
  for (long y = rows.first; y <= rows.last; y += g.h) {
    if (y > g.sel.y0 && y < g.sel.y1 && Progress(static_cast<int>(y - c.y0)) != 0) return 1;
    const int ya = static_cast<int>(std::max<long>(y, copy.top));
    const int yb = static_cast<int>(std::min<long>(y + g.h, copy.top + copy.height));
    const int wy0 = static_cast<int>(std::max<long>(y, box.y0));
    const int wy1 = static_cast<int>(std::min<long>(y + g.h - 1, box.y1));
    for (long x = cols.first; x <= cols.last; x += g.w) {
      long sum[4] = {0, 0, 0, 0};
      long n = 0;
      const int xa = static_cast<int>(std::max<long>(x, copy.left));
      const int xb = static_cast<int>(std::min<long>(x + g.w, copy.left + copy.width));
      for (int yy = ya; yy < yb; ++yy) {
        // A row's sums fit 32 bits (at most 100000 pixels of 255).
        const std::uint8_t* p = copy.At(xa, yy);
        std::uint32_t row[4] = {0, 0, 0, 0};
        for (int xx = xa; xx < xb; ++xx, p += 4) {
          row[0] += p[0];
          row[1] += p[1];
          row[2] += p[2];
          row[3] += p[3];
        }
        for (int k = 0; k < 4; ++k) sum[k] += row[k];
        n += xb > xa ? xb - xa : 0;
      }
      if (n == 0) n = 1;
      const int avg[3] = {static_cast<int>(sum[0] / n), static_cast<int>(sum[1] / n), static_cast<int>(sum[2] / n)};
      const int avgAlpha = static_cast<int>(sum[3] / n);
      const int wx0 = static_cast<int>(std::max<long>(x, box.x0));
      const int wx1 = static_cast<int>(std::min<long>(x + g.w - 1, box.x1));
      if (wx1 < wx0) continue;
      // Columns before this one are the cell's left border.
      const int borderEnd = static_cast<int>(std::clamp<long>(x + g.border, wx0, static_cast<long>(wx1) + 1));
      for (int yy = wy0; yy <= wy1; ++yy) {
        const bool borderRow = yy - y < g.border;
        std::uint8_t* p = img.At(wx0, yy);
        const std::uint8_t* m = &img.MaskAt(wx0, yy);
        const int split = borderRow ? wx1 + 1 : borderEnd;
        if (alpha) {
          for (int xx = wx0; xx <= wx1; ++xx, p += 4, ++m)
            if (*m) {
              const int v = xx < split ? g.colour[0] : avgAlpha;
              p[3] = static_cast<std::uint8_t>((v * *m + p[3] * (255 - *m)) / 255);
            }
          continue;
        }
        auto fill = [&](int from, int to, const int* col) {
          // Fully covered pixels take the colour in one word, their alpha kept.
          const std::uint8_t colourBytes[4] = {static_cast<std::uint8_t>(col[0]), static_cast<std::uint8_t>(col[1]),
                                               static_cast<std::uint8_t>(col[2]), 0};
          static constexpr std::uint8_t kAlphaBytes[4] = {0, 0, 0, 255};
          std::uint32_t colour, alphaOnly;
          std::memcpy(&colour, colourBytes, 4);
          std::memcpy(&alphaOnly, kAlphaBytes, 4);
          for (int xx = from; xx < to; ++xx, p += 4, ++m) {
            // Eight fully covered pixels at once where the mask allows it.
            std::uint64_t eight;
            if (xx + 8 <= to && (std::memcpy(&eight, m, 8), eight == ~std::uint64_t{0})) {
              std::uint32_t v[8];
              std::memcpy(v, p, sizeof v);
              for (std::uint32_t& w : v) w = (w & alphaOnly) | colour;
              std::memcpy(p, v, sizeof v);
              xx += 7, p += 28, m += 7;
              continue;
            }
            if (*m == 255) {
              std::uint32_t v;
              std::memcpy(&v, p, 4);
              v = (v & alphaOnly) | colour;
              std::memcpy(p, &v, 4);
            } else if (*m) {
              BlendRgb(p, col, *m);
            }
          }
        };
        fill(wx0, split, g.colour);
        fill(split, wx1 + 1, avg);
      }
    }
  }
  return 0;
}

// ---- Random Tile

// Random Tile and 3-D Net share their first slots: a colour, the tile's
// width and height, and how far a tile may move, which widens the box.
ApplyContext& BeginTiles(OpId op, int colour[3]) {
  ApplyContext& c = Begin();
  ReadColour(op, 0, colour);
  g.w = Size(op, 3);
  g.h = Size(op, 4);
  g.moveX = std::clamp(ParamValue(op, 5), 0, 100000);
  g.moveY = std::clamp(ParamValue(op, 6), 0, 100000);
  WidenBox(c, g.moveX, g.moveY);
  return c;
}

int PrepareRandomTile() {
  BeginTiles(kRandomTile, g.background);
  g.amount = std::clamp(ParamValue(kRandomTile, 7), 0, 100);
  g.border = std::clamp(ParamValue(kRandomTile, 8), 0, 100000);
  return 0;
}

int RandomTileWorker(std::uint8_t*, std::uint8_t* mask) {
  [[maybe_unused]] const auto& [c, img, copy, box, alpha] = Work(mask);
  for (int y = box.y0; y <= box.y1; ++y) {
    std::uint8_t* p = img.At(box.x0, y);
    const std::uint8_t* m = &img.MaskAt(box.x0, y);
    for (int x = box.x0; x <= box.x1; ++x, p += 4, ++m)
      if (*m) {
        p[0] = static_cast<std::uint8_t>(g.background[0]);
        p[1] = static_cast<std::uint8_t>(g.background[1]);
        p[2] = static_cast<std::uint8_t>(g.background[2]);
      }
  }
  Srand(5);
  const long long W = g.w, H = g.h;
  for (long ty = box.y0; ty <= box.y1; ty += g.h) {
    if (Progress(static_cast<int>(ty - box.y0)) != 0) return 1;
    for (long tx = box.x0; tx <= box.x1; tx += g.w) {
      const long long tw = W + ((W * Rand() / kRandMax - W / 2) * g.amount) / 100;
      const long long th = H + ((H * Rand() / kRandMax - H / 2) * g.amount) / 100;
      const long long ox = g.moveX * static_cast<long long>(Rand()) / kRandMax - g.moveX / 2;
      const long long oy = g.moveY * static_cast<long long>(Rand()) / kRandMax - g.moveY / 2;
      // Only source pixels whose destination lies in the box can change anything.
      const long long ya = std::max<long long>({ty, copy.top, box.y0 - oy});
      const long long yb = std::min<long long>({ty + th, copy.top + copy.height - 1LL, box.y1 - oy});
      const long long xa = std::max<long long>({tx, copy.left, box.x0 - ox});
      const long long xb = std::min<long long>({tx + tw, copy.left + copy.width - 1LL, box.x1 - ox});
      for (long long y = ya; y <= yb; ++y) {
        const bool borderRow = y - ty < g.border || ty + th - y < g.border;
        for (long long x = xa; x <= xb; ++x) {
          const int dx = static_cast<int>(x + ox), dy = static_cast<int>(y + oy);
          const int m = img.MaskAt(dx, dy);
          if (!m) continue;
          const bool border = borderRow || x - tx < g.border || tx + tw - x < g.border;
          const std::uint8_t* s = copy.At(static_cast<int>(x), static_cast<int>(y));
          std::uint8_t* p = img.At(dx, dy);
          if (alpha) {
            const int v = border ? 0 : s[3];
            p[3] = static_cast<std::uint8_t>((v * m + p[3] * (255 - m)) / 255);
          } else {
            static constexpr int kBlack[3] = {0, 0, 0};
            const int col[3] = {s[0], s[1], s[2]};
            BlendRgb(p, border ? kBlack : col, m);
          }
        }
      }
    }
  }
  return 0;
}

// ---- 3-D Net

int PrepareNet() {
  BeginTiles(kNet, g.colour);
  g.border = std::clamp(ParamValue(kNet, 7), 1, 1000);  // the line width
  return 0;
}

// A line of squares of the line width from a to b, one step per pixel of
// the longer axis; coinciding ends paint their one square.
void NetLine(const Plane& img, const Box& box, bool alpha, long ax, long ay, long bx, long by) {
  const long dx = bx - ax, dy = by - ay;
  long n = std::max(std::labs(dx), std::labs(dy));
  const long steps = n;
  if (n == 0) n = 1;
  const int lumA = Lum(g.colour[0], g.colour[1], g.colour[2]);
  for (long j = 0; j <= steps; ++j) {
    const long px = ax + j * dx / n, py = ay + j * dy / n;
    const long x0 = std::max<long>(px, box.x0), x1 = std::min<long>(px + g.border - 1, box.x1);
    const long y0 = std::max<long>(py, box.y0), y1 = std::min<long>(py + g.border - 1, box.y1);
    for (long y = y0; y <= y1; ++y) {
      std::uint8_t* p = img.At(static_cast<int>(x0), static_cast<int>(y));
      for (long x = x0; x <= x1; ++x, p += 4) {
        if (alpha) {
          p[3] = static_cast<std::uint8_t>(lumA);
        } else {
          p[0] = static_cast<std::uint8_t>(g.colour[0]);
          p[1] = static_cast<std::uint8_t>(g.colour[1]);
          p[2] = static_cast<std::uint8_t>(g.colour[2]);
        }
      }
    }
  }
}

int NetWorker(std::uint8_t*, std::uint8_t* mask) {
  const Work wk(mask);  // named: the lambdas below capture its parts
  const ApplyContext& c = wk.c;
  const Plane& img = wk.img;
  const CopyView& copy = wk.copy;
  const Box& box = wk.box;
  auto present = [&](long x, long y) {
    return box.Has(static_cast<int>(x), static_cast<int>(y)) && copy.Has(static_cast<int>(x), static_cast<int>(y)) &&
           img.MaskAt(static_cast<int>(x), static_cast<int>(y)) != 0;
  };
  auto lifted = [&](long x, long y, long& lx, long& ly) {
    const std::uint8_t* p = copy.At(static_cast<int>(x), static_cast<int>(y));
    const long b = p[0] + p[1] + p[2];
    lx = x + (static_cast<long>(g.moveX) * b) / -765;
    ly = y + (static_cast<long>(g.moveY) * b) / -765;
  };
  for (long y = box.y0; y <= box.y1; y += g.h) {
    if (Progress(static_cast<int>(y - box.y0)) != 0) return 1;
    for (long x = box.x0; x <= box.x1; x += g.w) {
      if (!present(x, y)) continue;
      long ax, ay, bx, by;
      lifted(x, y, ax, ay);
      if (present(x + g.w, y)) {
        lifted(x + g.w, y, bx, by);
        NetLine(img, box, c.affectAlpha, ax, ay, bx, by);
      }
      if (present(x, y + g.h)) {
        lifted(x, y + g.h, bx, by);
        NetLine(img, box, c.affectAlpha, ax, ay, bx, by);
      }
    }
  }
  return 0;
}

// ---- Cellular

int PrepareCellular() {
  ApplyContext& c = Begin();
  ReadColour(kCellular, 0, g.colour);
  g.discrete = ParamValue(kCellular, 3) != 0;
  g.translucent = ParamValue(kCellular, 4) != 0;
  g.w = Size(kCellular, 5);
  g.h = Size(kCellular, 6);
  g.fade = std::clamp(ParamValue(kCellular, 7), 0, 100);
  WidenBox(c, g.w, g.h);
  const long hh = std::max(g.h / 2, 1), hw = std::max(g.w / 2, 1);
  g.D = hh * hh + hw * hw;
  return 0;
}

int CellularWorker(std::uint8_t*, std::uint8_t* mask) {
  const Work wk(mask);  // named: the lambdas below capture its parts
  const ApplyContext& c = wk.c;
  const Plane& img = wk.img;
  const CopyView& copy = wk.copy;
  const Box& box = wk.box;
  const bool alpha = wk.alpha;
  const long W = g.w, H = g.h, D = g.D;
  const GridRange cols = AnchoredGrid(g.sel.x0, g.sel.x1, c.cx, W);
  const GridRange rows = AnchoredGrid(g.sel.y0, g.sel.y1, c.cy, H);
  auto q = [&](long d2) { return std::min<long>(g.fade * d2 / 50, D); };
  auto corner = [&](long x, long y) {
    return img.Has(static_cast<int>(x), static_cast<int>(y)) && img.MaskAt(static_cast<int>(x), static_cast<int>(y));
  };
  for (long y = rows.first; y <= rows.last; y += H) {
    if (y > g.sel.y0 && y < g.sel.y1 && Progress(static_cast<int>(y - g.sel.y0)) != 0) return 1;
    for (long x = cols.first; x <= cols.last; x += W) {
      if (g.discrete && !(corner(x, y) && corner(x + W, y) && corner(x, y + H) && corner(x + W, y + H))) continue;
      int avg[3] = {0, 0, 0};
      if (!g.translucent) {
        long sum[4] = {0, 0, 0, 0};
        long n = 0;
        const long xa = std::max<long>(x, copy.left), xb = std::min<long>(x + W, copy.left + copy.width);
        const long ya = std::max<long>(y, copy.top), yb = std::min<long>(y + H, copy.top + copy.height);
        for (long yy = ya; yy < yb; ++yy)
          for (long xx = xa; xx < xb; ++xx) {
            const std::uint8_t* p = copy.At(static_cast<int>(xx), static_cast<int>(yy));
            sum[0] += p[0], sum[1] += p[1], sum[2] += p[2], sum[3] += p[3];
            ++n;
          }
        if (n == 0) n = 1;
        for (int k = 0; k < 3; ++k) avg[k] = static_cast<int>((alpha ? sum[3] : sum[k]) / n);
      }
      const long wx0 = std::max<long>(x, box.x0), wx1 = std::min<long>(x + W - 1, box.x1);
      const long wy0 = std::max<long>(y, box.y0), wy1 = std::min<long>(y + H - 1, box.y1);
      for (long v = wy0; v <= wy1; ++v) {
        const long dy = v - H / 2 - y;
        for (long u = wx0; u <= wx1; ++u) {
          const int m = img.MaskAt(static_cast<int>(u), static_cast<int>(v));
          if (!m) continue;
          const long dx = u - W / 2 - x;
          const long qq = q(dy * dy + dx * dx);
          std::uint8_t* p = img.At(static_cast<int>(u), static_cast<int>(v));
          int base[3];
          if (g.translucent) {
            for (int k = 0; k < 3; ++k) base[k] = alpha ? p[3] : p[k];
          } else {
            for (int k = 0; k < 3; ++k) base[k] = avg[k];
          }
          int col[3];
          for (int k = 0; k < 3; ++k) col[k] = static_cast<int>((base[k] * (D - qq) + g.colour[k] * qq) / D);
          if (alpha)
            p[3] = static_cast<std::uint8_t>((col[0] * m + p[3] * (255 - m)) / 255);
          else
            BlendRgb(p, col, m);
        }
      }
    }
  }
  return 0;
}

// ---- Lined

int PrepareLined() {
  ApplyContext& c = Begin();
  ReadColour(kLined, 0, g.colour);
  g.placeBackground = ParamValue(kLined, 3) != 0;
  ReadColour(kLined, 4, g.background);
  g.h = Size(kLined, 7);
  WidenBox(c, 0, g.h);
  return 0;
}

// With "Place Background" off the rows beyond the line keep their pixels;
// a first sample point outside the copy takes the copy's nearest pixel.
int LinedWorker(std::uint8_t*, std::uint8_t* mask) {
  [[maybe_unused]] const auto& [c, img, copy, box, alpha] = Work(mask);
  const long H = g.h;
  const GridRange bands = AnchoredGrid(g.sel.y0, g.sel.y1, c.cy, H);
  int sample[3] = {0, 0, 0};
  bool sampled = false;
  const int xa = std::max(g.sel.x0, 0), xb = std::min(g.sel.x1, img.width - 1);
  for (long y = bands.first; y <= bands.last; y += H) {
    if (y > g.sel.y0 && y < g.sel.y1 && Progress(static_cast<int>(y - g.sel.y0)) != 0) return 1;
    const long sy = y + H / 2;
    for (int x = xa; x <= xb; ++x) {
      const std::uint8_t* s = nullptr;
      if (copy.Has(x, static_cast<int>(sy)))
        s = copy.At(x, static_cast<int>(sy));
      else if (!sampled && copy.width > 0)
        s = copy.At(std::clamp(x, copy.left, copy.left + copy.width - 1),
                    static_cast<int>(std::clamp<long>(sy, copy.top, copy.top + copy.height - 1)));
      if (s) {
        for (int k = 0; k < 3; ++k) sample[k] = alpha ? s[3] : s[k];
        sampled = true;
      }
      const long sv = static_cast<long>(sample[0] + sample[1] + sample[2]) * H;
      const long lo = y + H / 2 - sv / 1530, hi = y + H / 2 + sv / 1530;
      const long e = (sv * 128 / 765) % 256;
      const long ya = std::max<long>(y, box.y0), yb = std::min<long>(y + H - 1, box.y1);
      for (long yy = ya; yy <= yb; ++yy) {
        const int m = img.MaskAt(x, static_cast<int>(yy));
        if (!m) continue;
        std::uint8_t* p = img.At(x, static_cast<int>(yy));
        int col[3];
        if (yy > lo && yy < hi) {
          for (int k = 0; k < 3; ++k) col[k] = g.colour[k];
        } else if (yy == lo || yy == hi) {
          for (int k = 0; k < 3; ++k) {
            const int base = g.placeBackground ? g.background[k] : (alpha ? p[3] : p[k]);
            col[k] = Clamp0To255((base * (256 - e) + g.colour[k] * e) / 256);
          }
        } else if (g.placeBackground) {
          for (int k = 0; k < 3; ++k) col[k] = g.background[k];
        } else {
          continue;
        }
        if (alpha)
          p[3] = static_cast<std::uint8_t>((col[0] * m + p[3] * (255 - m)) / 255);
        else
          BlendRgb(p, col, m);
      }
    }
  }
  return 0;
}

}  // namespace

std::span<const OpRoutineEntry> PatternOperationRoutines() {
  static const std::vector<OpRoutineEntry> table = [] {
    std::vector<OpRoutineEntry> t = {
        {kNet, ImageRoutines(PrepareNet, NetWorker)},
        {kRandomTile, ImageRoutines(PrepareRandomTile, RandomTileWorker)},
        {kPixelize, ImageRoutines(PreparePixelize, PixelizeWorker)},
        {kCellular, ImageRoutines(PrepareCellular, CellularWorker)},
        {kLined, ImageRoutines(PrepareLined, LinedWorker)},
    };
    auto more = GradientOperationRoutines();
    t.insert(t.end(), more.begin(), more.end());
    return t;
  }();
  return table;
}

}  // namespace qv
