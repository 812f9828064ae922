// Small pictures and whole-mask comparisons for the area tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/program.h"
#include "area/area_mask.h"
#include "store/image_record.h"

namespace qv::test {

inline AreaSelection& Sel() { return TheProgram().area.selection; }

// A w x h image; colour(x, y) gives R, G, B (opaque).
inline ImageRecord* Picture(int w, int h, std::function<std::array<int, 3>(int, int)> colour = {}) {
  ImageRecord* image = CreateImage(w, h, "test");
  LockImage(image);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::array<int, 3> c = colour ? colour(x, y) : std::array<int, 3>{100, 100, 100};
      std::uint8_t* p = PixelAt(image, x, y);
      p[0] = static_cast<std::uint8_t>(c[0]);
      p[1] = static_cast<std::uint8_t>(c[1]);
      p[2] = static_cast<std::uint8_t>(c[2]);
    }
  UnlockImage(image);
  return image;
}

inline std::vector<std::uint8_t> MaskBytes() {
  const AreaMask& m = Area().mask;
  std::vector<std::uint8_t> out(static_cast<std::size_t>(m.width) * m.height);
  if (!m.place) return out;
  auto* bytes = static_cast<std::uint8_t*>(LockVirtual(m.place));
  std::copy(bytes, bytes + out.size(), out.begin());
  UnlockVirtual(m.place);
  return out;
}

inline std::vector<std::uint8_t> Expected(int w, int h, std::function<int(int, int)> value) {
  std::vector<std::uint8_t> out(static_cast<std::size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) out[static_cast<std::size_t>(y) * w + x] = static_cast<std::uint8_t>(value(x, y));
  return out;
}

// '#' for 255, '.' for 0, '+' between: readable failure output.
inline std::string Art(const std::vector<std::uint8_t>& m, int w) {
  std::string s = "\n";
  for (std::size_t i = 0; i < m.size(); ++i) {
    s += m[i] == 255 ? '#' : m[i] == 0 ? '.' : '+';
    if ((i + 1) % static_cast<std::size_t>(w) == 0) s += '\n';
  }
  return s;
}

#define EXPECT_MASK(expected, w) EXPECT_EQ(Art(MaskBytes(), w), Art(expected, w))

inline void Box(int l, int t, int r, int b) {
  AreaSelection& s = Sel();
  s.left = l, s.top = t, s.right = r, s.bottom = b;
  s.centreX = (l + r) / 2, s.centreY = (t + b) / 2;
  s.radiusX = std::max(s.centreX - l, r - s.centreX);
  s.radiusY = std::max(s.centreY - t, b - s.centreY);
}

inline void Points(PointList& list, std::initializer_list<std::pair<int, int>> pts) {
  ClearPointList(list);
  bool first = true;
  for (auto [x, y] : pts) {
    PushPoint(list, x, y, first ? kPenUp : kPenDown);
    first = false;
  }
}

}  // namespace qv::test
