// What the Collage and Alpha operations keep during one apply (their
// Prepare fills it, their workers read it), and the one switch of Make
// Area's dialog, which lasts for the session.
#pragma once

#include <cstdint>

namespace qv {

struct ImageRecord;

struct CollageState {
  // Make Area: "Update the Time Line with this selection".
  bool updateTimeLine = true;
  // Place, Merge, Key In, Make Alpha: the picture laid in (the chosen source,
  // else the first image); the action image itself is read from its copy.
  ImageRecord* picture = nullptr;
  // Enlarge and Reduce: the new size.
  std::int64_t newWidth = 1, newHeight = 1;
  // Soften Alpha: the ramp ("salmap"), radius x radius bytes.
  std::uint8_t* ramp = nullptr;
  int radius = 1;
  // Shave Alpha.
  int bumpSize = 1;
};

}  // namespace qv
