// The geometric operations: the warps (Dome, Caricature, Swirl, Waves,
// Turbulence, Surface Warp, Radial Wave) and the image operations (Rotate,
// Flip, Turn 90, Perspective). Their routines, registered in the catalogue.
#pragma once

#include <span>

#include "ops/op_catalogue.h"

namespace qv {

inline constexpr OpId kDome = 3131, kCaricature = 3132, kSwirl = 3133, kWaves = 3134, kRadialWave = 3135,
                      kPerspective = 3136, kRotate = 3137, kFlip = 3138, kTurn90 = 3139, kTurbulence = 3129,
                      kSurfaceWarp = 3128;

std::span<const OpRoutineEntry> WarpOperationRoutines();
std::span<const OpRoutineEntry> GeometricOperationRoutines();

// Perspective's projection as the current settings make it for an action
// image this wide: [[Xu, Xv, tx], [Yu, Yv, ty], [Zu, Zv, tz]].
void PerspectiveProjection(int actionWidth, double m[9]);

}  // namespace qv
