// Choosing palette colours from an image, and the nearest-colour search.
//
// Colour space is cut into 64 x 64 x 64 cells. Each chosen colour paints the
// cells around it with its distance ("rads") and its index ("regs"), so that
// a later colour can be placed far enough from those already chosen, and the
// nearest search can answer most colours from one cell look-up.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "base/messages.h"
#include "base/progress.h"
#include "display/colour_quantizer.h"
#include "display/colour_reduce.h"
#include "store/image_record.h"

namespace qv {
namespace {

constexpr int kMessageNoMemory = 22;
constexpr const char* kNoMemoryDetail = "for color quantization.";
constexpr int kMaxPaint = 30;                     // painting radius cap, in cells
constexpr int kLradSide = kMaxPaint + 1;          // offsets 0..30


// Level value of a 6-bit cell coordinate.
constexpr int Level(int i) { return i * 255 / 63; }

void ComputeCellDistances(std::uint8_t* lrad) {
  BeginProgress("Color Space", kLradSide);
  for (int dr = 0; dr < kLradSide; ++dr) {
    Progress(dr);
    // Red and green are measured one and two cells further out: the measure
    // leans away from the cell a colour lies in along those two axes.
    long long r2 = static_cast<long long>(Level(dr + 1)) * Level(dr + 1);
    for (int dg = 0; dg < kLradSide; ++dg) {
      long long g2 = static_cast<long long>(Level(dg + 2)) * Level(dg + 2);
      for (int db = 0; db < kLradSide; ++db) {
        long long b2 = static_cast<long long>(Level(db)) * Level(db);
        long long d = std::llround(std::sqrt(static_cast<double>(r2 + g2 + b2)));
        lrad[(dr * kLradSide + dg) * kLradSide + db] = static_cast<std::uint8_t>(std::min<long long>(d, 255));
      }
    }
  }
  EndProgress();
}

// The grids, the distance table and the tree, allocated once.
bool EnsureGrids() {
  ColourReduceState& s = ReduceState();
  if (!s.rads) s.rads = AllocRealArray<std::uint8_t>(kGridCells, "rads");
  if (!s.regs) s.regs = AllocRealArray<std::uint8_t>(kGridCells, "regs");
  if (!s.tree) {
    void* block = AllocReal(sizeof(ColourTree), "tree");
    if (block) s.tree = new (block) ColourTree{};
  }
  if (!s.lrad) {
    s.lrad = AllocRealArray<std::uint8_t>(kLradSide * kLradSide * kLradSide, "lrad");
    if (s.lrad) ComputeCellDistances(s.lrad);
  }
  if (s.rads && s.regs && s.tree && s.lrad) return true;
  ShowMessageWith(kMessageNoMemory, kNoMemoryDetail);
  return false;
}

void ResetGrids() {
  ColourReduceState& s = ReduceState();
  std::memset(s.rads, 255, kGridCells);
  std::memset(s.regs, 0, kGridCells);
  std::memset(s.tree->marker, 0, sizeof s.tree->marker);
  std::fill(std::begin(s.tree->nodeOf), std::end(s.tree->nodeOf), std::uint16_t{0xFFFF});
  s.tree->nodeCount = 0;
  s.searchable.fill(false);
  s.prepared = false;
}

bool InTree(const ColourTree& tree, int r, int g, int b) {
  if (!tree.marker[r]) return false;
  std::uint16_t node = tree.nodeOf[r * 256 + g];
  return node != 0xFFFF && tree.nodes[node][b] != 0xFFFF;
}

void AddToTree(ColourTree& tree, int r, int g, int b, int entry) {
  std::uint16_t& node = tree.nodeOf[r * 256 + g];
  if (node == 0xFFFF) {
    if (tree.nodeCount >= kMaxChosenColours) return;
    node = static_cast<std::uint16_t>(tree.nodeCount++);
    std::fill(std::begin(tree.nodes[node]), std::end(tree.nodes[node]), std::uint16_t{0xFFFF});
  }
  tree.marker[r] = 1;
  // The first entry of a colour keeps it.
  if (tree.nodes[node][b] == 0xFFFF) tree.nodes[node][b] = static_cast<std::uint16_t>(entry);
}

// Puts a colour into the search: the tree, and the cells within `paint`
// cells of its own in each channel where it is the closest so far.
void AddColour(int r, int g, int b, int entry, int paint) {
  ColourReduceState& s = ReduceState();
  AddToTree(*s.tree, r, g, b, entry);
  s.searchable[entry] = true;
  int cr = r >> 2, cg = g >> 2, cb = b >> 2;
  int r0 = std::max(0, cr - paint), r1 = std::min(63, cr + paint);
  int g0 = std::max(0, cg - paint), g1 = std::min(63, cg + paint);
  int b0 = std::max(0, cb - paint), b1 = std::min(63, cb + paint);
  auto e = static_cast<std::uint8_t>(entry);
  for (int ir = r0; ir <= r1; ++ir) {
    int dr = std::abs(ir - cr);
    for (int ig = g0; ig <= g1; ++ig) {
      int dg = std::abs(ig - cg);
      const std::uint8_t* distances = s.lrad + (dr * kLradSide + dg) * kLradSide;
      std::uint8_t* rads = s.rads + ir * 4096 + ig * 64;
      std::uint8_t* regs = s.regs + ir * 4096 + ig * 64;
      for (int ib = b0; ib <= b1; ++ib) {
        std::uint8_t d = distances[std::abs(ib - cb)];
        if (d < rads[ib]) {
          rads[ib] = d;
          regs[ib] = e;
        }
      }
    }
  }
}

int BaseRadius(int count) { return count >= 60 ? 12 : 12 + (60 - count) * 12 / 44; }
int PaintRadius(int count) { return std::min(kMaxPaint, BaseRadius(count) + 4); }

void KeepSearchCopy(const PaletteRecord& palette, int count) {
  ColourReduceState& s = ReduceState();
  s.searchPalette = palette;
  s.searchPalette.count = count;
  s.searchCount = count;
  std::copy_n(s.usage.begin(), kMaxChosenColours, s.searchUsage.begin());
  s.prepared = true;
}

// The choosing loop shared by both selections. `scan(add)` visits the
// candidate colours in order in chunks; it calls add(r, g, b), which returns
// true when the scan must end, and returns true when the user asked to stop.
template <class Scan>
int ChooseColours(PaletteRecord& palette, int count, int flag, Scan scan) {
  if (!EnsureGrids()) return -1;
  ColourReduceState& s = ReduceState();
  // The grids hold one byte per index.
  count = std::clamp(count, 1, kMaxChosenColours);
  ResetGrids();
  int paint = PaintRadius(count);
  int threshold = 4 * BaseRadius(count);
  int entry = 0;
  auto put = [&](int r, int g, int b) {
    palette.red[entry] = static_cast<std::uint8_t>(r);
    palette.green[entry] = static_cast<std::uint8_t>(g);
    palette.blue[entry] = static_cast<std::uint8_t>(b);
    AddColour(r, g, b, entry, paint);
    ++entry;
  };
  if (flag == 0) put(0, 0, 0);

  BeginProgress("Color Selection", 1);
  bool stopped = false;
  while (entry < count && !stopped) {
    std::uint8_t code = s.usage[entry];
    if (code == kUseSkip) {
      ++entry;
      continue;
    }
    if (code == kUseAsIs) {
      put(palette.red[entry], palette.green[entry], palette.blue[entry]);
      continue;
    }
    const ColourTree& tree = *s.tree;
    const std::uint8_t* rads = s.rads;
    auto consider = [&](int r, int g, int b) {
      bool add = threshold >= 9 ? rads[CellOf(r, g, b)] > threshold : !InTree(tree, r, g, b);
      if (!add) return false;
      put(r, g, b);
      return entry >= count || s.usage[entry] != kUsePick;
    };
    stopped = scan(consider);
    if (stopped) break;
    threshold = threshold > 4 ? threshold * 4 / 5 : threshold - 1;
    if (threshold < 3) break;
  }
  EndProgress();
  palette.count = entry;
  KeepSearchCopy(palette, entry);
  return 0;
}

}  // namespace

int NearestByTrial(ColourReduceState& s, int red, int green, int blue) {
  int best = -1;
  long long bestDistance = 0;
  for (int e = 0; e < s.searchCount; ++e) {
    if (!s.searchable[e]) continue;
    int dr = red - s.searchPalette.red[e];
    int dg = green - s.searchPalette.green[e];
    int db = blue - s.searchPalette.blue[e];
    long long d = std::llround(std::sqrt(static_cast<double>(dr * dr + dg * dg + db * db)));
    if (best < 0 || d < bestDistance) {
      best = e;
      bestDistance = d;
    }
  }
  if (best < 0) return 0;
  int cell = CellOf(red, green, blue);
  s.rads[cell] = 254;
  s.regs[cell] = static_cast<std::uint8_t>(best);
  return best;
}

int SelectPaletteColours(ImageRecord* image, PaletteRecord& palette, int count, int flag) {
  if (!image) return -1;
  if (LockImage(image) != 0) return -1;
  const std::uint8_t* pixels = image->pixels;
  const int width = image->width;
  const int height = image->height;
  int result = ChooseColours(palette, count, flag, [&](auto& consider) {
    SetProgressTotal(height);
    for (int y = 0; y < height; ++y) {
      if (Progress(y)) return true;
      const std::uint8_t* p = pixels + static_cast<std::size_t>(y) * width * 4;
      for (int x = 0; x < width; ++x, p += 4)
        if (consider(p[0], p[1], p[2])) return false;
    }
    return false;
  });
  UnlockImage(image);
  return result;
}

int SelectPaletteFromCells(const std::uint8_t* presence, PaletteRecord& palette, int count, int flag) {
  if (!presence) return -1;
  auto widen = [](int v) { return 4 * v + v / 16; };
  return ChooseColours(palette, count, flag, [&](auto& consider) {
    SetProgressTotal(64);
    for (int r = 0; r < 64; ++r) {
      if (Progress(r)) return true;
      for (int g = 0; g < 64; ++g) {
        const std::uint8_t* row = presence + r * 4096 + g * 64;
        for (int b = 0; b < 64; ++b)
          if (row[b] && consider(widen(r), widen(g), widen(b))) return false;
      }
    }
    return false;
  });
}

int PrepareNearestSearch(const PaletteRecord& palette) {
  ColourReduceState& s = ReduceState();
  int count = std::min(PaletteCount(palette), kMaxChosenColours);
  if (s.prepared && s.searchCount == count &&
      std::equal(palette.red, palette.red + count, s.searchPalette.red) &&
      std::equal(palette.green, palette.green + count, s.searchPalette.green) &&
      std::equal(palette.blue, palette.blue + count, s.searchPalette.blue) &&
      std::equal(s.usage.begin(), s.usage.begin() + count, s.searchUsage.begin()))
    return 0;
  if (!EnsureGrids()) return -1;
  ResetGrids();
  int paint = PaintRadius(count);
  for (int e = 0; e < count; ++e)
    if (s.usage[e] != kUseSkip) AddColour(palette.red[e], palette.green[e], palette.blue[e], e, paint);
  KeepSearchCopy(palette, count);
  return 0;
}

int NearestPaletteIndex(int red, int green, int blue) {
  ColourReduceState& s = ReduceState();
  if (!s.prepared) return 0;
  red = std::clamp(red, 0, 255);
  green = std::clamp(green, 0, 255);
  blue = std::clamp(blue, 0, 255);
  return NearestSearch(s).Find(red, green, blue);
}

}  // namespace qv
