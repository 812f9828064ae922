// The routines of the operations whose effects exist. Each effect family
// keeps a table of its operations' routines in its own file and is listed
// here; an operation without routines is catalogued but not yet available.
#include <span>
#include <vector>

#include "ops/collage_ops.h"
#include "ops/colour_ops.h"
#include "ops/geometric_ops.h"
#include "ops/lighting_ops.h"
#include "ops/math_ops.h"
#include "ops/motion_ops.h"
#include "ops/pattern_ops.h"
#include "ops/op_catalogue.h"
#include "ops/texture_ops.h"
#include "ops/zelvane_routines.h"

namespace qv {
namespace {

constexpr std::span<const OpRoutineEntry> (*kFamilies[])() = {
    ColourOperationRoutines,
    WarpOperationRoutines,
    GeometricOperationRoutines,
    LightingOperationRoutines,
    PatternOperationRoutines,
    TextureOperationRoutines,
    MotionOperationRoutines,
    MathOperationRoutines,
    CollageOperationRoutines,
    AlphaOperationRoutines,
    ZelvaneOperationRoutines,
};

}  // namespace

std::span<const OpRoutineEntry> RegisteredRoutines() {
  static const std::vector<OpRoutineEntry> all = [] {
    std::vector<OpRoutineEntry> v;
    for (auto family : kFamilies)
      if (family) {
        auto part = family();
        v.insert(v.end(), part.begin(), part.end());
      }
    return v;
  }();
  return all;
}

}  // namespace qv
