// What the geometric operations keep between their Prepare and their workers
// during one apply: the warps' constants, Turbulence's whorls, Rotate's turn
// and box, Perspective's inverse matrix and source.
#pragma once

#include <cstdint>
#include <vector>

#include "ops/bilinear.h"
#include "ops/pixel_plane.h"

namespace qv {

struct ImageRecord;
struct ViewRecord;

struct GeometricState {
  // Elliptic coordinates: the selection's centre and half sizes (a half
  // size of 0 counts as 1).
  double cx = 0, cy = 0, rx = 1, ry = 1;
  double k = 0;  // Dome, Caricature, Swirl
  // The widest vectors the warps' row routines and their sampler may use
  // (tests name each in turn; the best the processor has otherwise).
  SamplerPath vectors = SamplerPath::kBest;
  // Waves: the displacement of a column (a) and of a row (b), by x - x0 and y - y0.
  double lx = 1, ly = 1, aYFront = 0, aYSide = 0, aXFront = 0, aXSide = 0;
  int shading = 0;
  std::vector<double> waveA, waveB;
  int waveX0 = 0, waveY0 = 0;
  // Turbulence: memory places "xtur", "ytur" (centres), "xdur", "ydur" (radius, twist).
  int whorls = 0;
  std::int32_t* whorlX = nullptr;
  std::int32_t* whorlY = nullptr;
  double* whorlRadius = nullptr;
  double* whorlTwist = nullptr;
  // Surface Warp: the displacement per unit of height, the height map's
  // placement over the selection rectangle.
  double ax = 0, ay = 0, midLevel = 127, mapScaleX = 0, mapScaleY = 0;
  double sx0 = 0, sy0 = 0;
  bool mapHasAlpha = false;
  bool mapIsCopy = false;  // the action image is its own map: read as it was
  PixelPlane map;          // set for each row
  // Radial Wave.
  double rIn = 0, rOut = 0, waveLength = 1, phase = 0, amplitude = 0;
  int distortion = 0;
  // Rotate: the aspect, the turn back, the rotated box (unclamped).
  float aspect = 1.0f, cosBack = 1.0f, sinBack = 0.0f;
  std::int64_t bx0 = 0, by0 = 0, bx1 = 0, by1 = 0;
  bool inPlace = true;
  // Turn 90.
  int steps = 0;
  bool entire = false;
  // Perspective: the adjugate of the projection, row by row, and the picture.
  double inverse[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  ImageRecord* picture = nullptr;
  // The view showing Perspective's handles; null while none does.
  ViewRecord* handlesView = nullptr;
};

}  // namespace qv
