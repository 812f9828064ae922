// Runs an operation's Prepare, driver and Finish straight, with its row
// routine or with the per-pixel worker alone, over a random picture and a
// soft mask, so the two can be compared byte for byte.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "base/crt_random.h"
#include "ops/apply_test_support.h"
#include "store/memory_places.h"

namespace qv::test {

struct DirectRun {
  int w = 0, h = 0;
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // the selection's box
  bool affectAlpha = false;
  std::uint32_t seed = 1;
  bool fullMask = false;  // every mask byte 255 instead of the soft disc
  int shiftX = 0;         // the selection's centre this far right of the box's
};

class RowEquivalenceTest : public ApplyTest {
 protected:
  // The last RunDirect's picture before the run, and its mask.
  std::vector<std::uint8_t> lastBefore, lastMask;
  // A picture of random pixels, flat patches and a soft mask that is 0
  // outside a disc, 255 inside a smaller one and ragged between.
  std::vector<std::uint8_t> RunDirect(OpId op, const DirectRun& r, bool rows) {
    Srand(r.seed);
    ImageRecord* image = Add(r.w, r.h, [](int x, int y) {
      if ((x / 7 + y / 5) % 3 == 0) return std::array<int, 4>{90, 90, 90, 200};  // smooth patches
      return std::array<int, 4>{Rand() & 255, Rand() & 255, Rand() & 255, Rand() & 255};
    });
    image->hasAlpha = 1;
    AreaMask& m = TheProgram().area.mask;
    if (m.place) FreeVirtual(m.place);
    m.place = AllocVirtual(std::int64_t{r.w} * r.h, "Mask");
    m.width = r.w;
    m.height = r.h;
    auto* bytes = static_cast<std::uint8_t*>(LockVirtual(m.place));
    const double cx = (r.x0 + r.x1) / 2.0, cy = (r.y0 + r.y1) / 2.0;
    const double rr = std::max(r.x1 - r.x0, r.y1 - r.y0) / 2.0 + 1;
    for (int y = 0; y < r.h; ++y)
      for (int x = 0; x < r.w; ++x) {
        const double d = std::hypot(x - cx, y - cy) / rr;
        const bool inBox = x >= r.x0 && x <= r.x1 && y >= r.y0 && y <= r.y1;
        bytes[y * r.w + x] =
            static_cast<std::uint8_t>(r.fullMask ? 255 : !inBox || d > 1 ? 0 : d < 0.5 ? 255 : Rand() & 255);
      }
    lastMask.assign(bytes, bytes + std::size_t(r.w) * r.h);
    UnlockVirtual(m.place);
    lastBefore = Pixels(image);
    ApplyContext& c = Ctx();
    c = ApplyContext{};
    c.image = image;
    c.op = op;
    c.x0 = c.sx0 = r.x0, c.y0 = c.sy0 = r.y0, c.x1 = c.sx1 = r.x1, c.y1 = c.sy1 = r.y1;
    c.cx = (r.x0 + r.x1) / 2, c.cy = (r.y0 + r.y1) / 2, c.rx = (r.x1 - r.x0) / 2, c.ry = (r.y1 - r.y0) / 2;
    c.cx += r.shiftX;
    c.affectAlpha = r.affectAlpha;
    const OpEntry& e = OpOf(op);
    EXPECT_EQ(e.routines.prepare ? e.routines.prepare() : 0, 0) << op;
    c.routines = e.routines;
    if (!rows) c.routines.rowWorker = nullptr;
    c.kind = e.kind;
    EXPECT_EQ(RunDriver(e.kind), 0) << op;
    if (c.routines.finish) c.routines.finish();
    return Pixels(image);
  }

  // Both ways over boxes in the middle and at every edge, affect-alpha off
  // and on.
  void ExpectSameBothWays(OpId op, int w = 61, int h = 47) {
    const DirectRun cases[] = {
        {w, h, 12, 9, w - 14, h - 11, false, 3},
        {w, h, 0, 0, w - 1, h - 1, false, 5},
        {w, h, 0, 5, w / 2, h - 1, true, 7},
        {w, h, w / 3, 0, w - 1, h / 2, true, 9},
    };
    for (const DirectRun& r : cases) {
      const auto fast = RunDirect(op, r, true);
      const auto plain = RunDirect(op, r, false);
      ASSERT_EQ(fast.size(), plain.size());
      std::size_t first = fast.size();
      for (std::size_t i = 0; i < fast.size() && first == fast.size(); ++i)
        if (fast[i] != plain[i]) first = i;
      EXPECT_EQ(first, fast.size()) << "op " << op << " box " << r.x0 << "," << r.y0 << "-" << r.x1 << "," << r.y1
                                    << " alpha " << r.affectAlpha << ": first difference at pixel " << first / 4;
    }
  }
};

}  // namespace qv::test
