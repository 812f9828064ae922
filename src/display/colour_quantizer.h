// Internal to the colour reduction: the fast path of the nearest-colour
// search, inlined into the per-pixel loops.
#pragma once

#include <cstdint>

#include "display/colour_reduce.h"

namespace qv {

inline int CellOf(int red, int green, int blue) { return (red >> 2) * 4096 + (green >> 2) * 64 + (blue >> 2); }

// The search of a colour that is neither in the tree nor in a covered cell.
int NearestByTrial(ColourReduceState& s, int red, int green, int blue);

// The state's grids as plain pointers, valid while nothing re-prepares them.
struct NearestSearch {
  explicit NearestSearch(ColourReduceState& state) : s(state) {}
  ColourReduceState& s;

  int Find(int red, int green, int blue) const {
    const ColourTree* tree = s.tree;
    if (tree->marker[red]) {
      std::uint16_t node = tree->nodeOf[red * 256 + green];
      if (node != 0xFFFF) {
        std::uint16_t index = tree->nodes[node][blue];
        if (index != 0xFFFF) return index;
      }
    }
    int cell = CellOf(red, green, blue);
    if (s.rads[cell] != 255) return s.regs[cell];
    return NearestByTrial(s, red, green, blue);
  }
};

}  // namespace qv
