// Lightning: a bolt stepped forward a few pixels at a time toward its
// target, zig-zagging at random and sending off branches, stamped as light
// intensity into the blue byte of the box and composed at the end over the
// undo copy.
#include "ops/lightning_op.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "base/crt_random.h"
#include "base/messages.h"
#include "base/progress.h"
#include "base/string_table.h"
#include "area/area_mask.h"
#include "ops/apply.h"
#include "ops/effect_support.h"
#include "ops/op_state.h"
#include "store/image_record.h"
#include "store/memory_places.h"

namespace qv {
namespace {

constexpr OpId kLightning = 3211;
constexpr int kMessageNoMemory = 22;
constexpr double kDegree = 0.0174532925239284;

struct BoltSegment {
  double startX, startY, targetX, targetY, x, y, width, travelled, distance, heading;
  std::uint16_t level;  // 1 the main bolt, a branch one more than its parent
};

// A stamp of one radius: 255 - distance / radius x 255 for each offset.
struct Stamp {
  std::vector<double> light;
  // Per row, the farthest offset either side whose light is above 0 (-1:
  // none): beyond it a stamp cannot brighten anything.
  std::vector<int> reach;
  // The light at one strength, as StampPoint works it out per pixel.
  double scaledFor = -1;
  std::vector<std::uint8_t> scaled;
};
constexpr int kKeptRadius = 64;  // all kept stamps together: under 3 MB

struct LightningSettings {
  BoltSegment* list = nullptr;  // "LIGS"
  long room = 0, count = 0;
  bool pathMode = false;
  double L = 1, R0 = 1, Wt = 1, W0 = 2;
  long long N = 0;
  int zagging = 50, branching = 10, taper = 0;
  std::uint32_t seed = 19;
  int k[256] = {};
  std::uint8_t col[3][256] = {};
  // The stamp of the radius in use, and those of small radii kept while the
  // bolt and its branches take turns with them.
  int stampRadius = -1;
  Stamp* current = nullptr;
  Stamp large;
  std::vector<Stamp> kept;
  std::int64_t stamped = 0;
};
LightningSettings lg;

void FreeList() {
  lg.list = static_cast<BoltSegment*>(FreeReal(lg.list, "LIGS"));
  lg.room = lg.count = 0;
  lg.kept.clear();
  lg.large = {};
  lg.current = nullptr;
  lg.stampRadius = -1;
}

// Room for one more segment; false (message 22) when the list cannot grow.
// Settings far beyond the dials (a width and branching that fork without
// end) meet the ceiling instead of taking all the memory there is.
constexpr long kMostSegments = 1L << 20;
bool MakeRoom() {
  if (lg.count < lg.room) return true;
  const long room = lg.room * 2 + 32;
  auto* grown = room <= kMostSegments ? AllocRealArray<BoltSegment>(room, "LIGS") : nullptr;
  if (!grown) {
    ShowMessageWith(kMessageNoMemory, std::string(LoadString(static_cast<int>(kLightning))));
    return false;
  }
  if (lg.count) std::memcpy(grown, lg.list, sizeof(BoltSegment) * static_cast<std::size_t>(lg.count));
  FreeReal(lg.list, "LIGS");
  lg.list = grown;
  lg.room = room;
  return true;
}

bool Append(double x, double y, double tx, double ty, double width, std::uint16_t level, double heading) {
  if (!MakeRoom()) return false;
  BoltSegment& s = lg.list[lg.count++];
  s = {x, y, tx, ty, x, y, width, 0, std::hypot(tx - x, ty - y), heading, level};
  return true;
}

void Remove(long i) {
  lg.list[i] = lg.list[lg.count - 1];
  --lg.count;
}

int PrepareLightning() {
  ApplyContext& c = Ctx();
  FreeList();
  const AreaSelection& sel = TheAreaSelection();
  const double rx = std::abs(c.rx), ry = std::abs(c.ry);
  double x0, y0, x1, y1;
  lg.pathMode = (sel.mode == kAreaFreehand || sel.mode == kAreaPolygon) && sel.capture.count >= 2;
  if (lg.pathMode) {
    const AreaPoint& a = sel.capture.points[0];
    const AreaPoint& b = sel.capture.points[sel.capture.count - 2];
    x0 = a.x, y0 = a.y, x1 = b.x, y1 = b.y;
    // The whole image for this apply; the mask is not used.
    c.x0 = c.y0 = 0;
    c.x1 = c.image->width - 1;
    c.y1 = c.image->height - 1;
  } else {
    const double direction = ParamValue(kLightning, 1);
    const double a1 = (-180 - direction) * kDegree, a2 = -direction * kDegree;
    x0 = c.cx + rx * std::sin(a1), y0 = c.cy + ry * std::cos(a1);
    x1 = c.cx + rx * std::sin(a2), y1 = c.cy + ry * std::cos(a2);
  }
  lg.L = std::hypot(x1 - x0, y1 - y0);
  if (lg.L == 0) lg.L = 0.0001;
  lg.R0 = std::max(std::sqrt(rx * rx + ry * ry), 1.0);
  lg.branching = std::clamp(ParamValue(kLightning, 2), 0, 100000);
  lg.N = (static_cast<long long>(c.y1 - c.y0) + (c.x1 - c.x0) + 1000) * (lg.branching + 10);
  const long width = ParamValue(kLightning, 0);
  lg.Wt = (width == 0 ? 1 : width) * lg.R0 * 0.01;
  lg.W0 = std::max(lg.Wt, 2.0);
  lg.seed = static_cast<std::uint32_t>(ParamValue(kLightning, 3));
  lg.zagging = ParamValue(kLightning, 4);
  lg.taper = ParamValue(kLightning, 10);
  if (!Append(x0, y0, x1, y1, lg.W0, 1, 0)) return 1;
  const int glow = ParamValue(kLightning, 9);
  const double g = glow == 50 ? 1 : glow < 50 ? 5 - 0.08 * glow : 1 + 0.015 * (50 - glow);
  const long saturation = ParamValue(kLightning, 8);
  int colour[3], core[3];
  for (int ch = 0; ch < 3; ++ch) {
    colour[ch] = Clamp0To255(ParamValue(kLightning, 5 + ch));
    core[ch] = static_cast<int>(((colour[ch] - 255) * saturation + 25500) / 100);
  }
  for (int i = 0; i < 256; ++i) {
    lg.k[i] = static_cast<int>(std::pow(i / 255.0, g) * 255);
    for (int ch = 0; ch < 3; ++ch)
      lg.col[ch][i] = static_cast<std::uint8_t>(Clamp0To255(((255 - lg.k[i]) * colour[ch] + lg.k[i] * core[ch]) / 255));
  }
  lg.stampRadius = -1;
  return 0;
}

inline double R() { return Rand() * 3.051850947599719e-5; }

// Light of strength f around (px, py) with radius rr into the blue bytes of
// the box, the brighter light kept.
void StampPoint(const Plane& img, const ApplyContext& c, long px, long py, int rr, double f) {
  const long xa = std::max<long>(px - rr, c.x0), xb = std::min<long>(px + rr, c.x1);
  const long ya = std::max<long>(py - rr, c.y0), yb = std::min<long>(py + rr, c.y1);
  const int side = 2 * rr + 1;
  Stamp& st = *lg.current;
  if (f != st.scaledFor) {
    st.scaled.resize(st.light.size());
    for (std::size_t i = 0; i < st.light.size(); ++i)
      st.scaled[i] = static_cast<std::uint8_t>(Clamp0To255(static_cast<long>(st.light[i] * f)));
    st.scaledFor = f;
  }
  std::int64_t stamped = 0;
  for (long y = ya; y <= yb; ++y) {
    const int reach = st.reach[static_cast<std::size_t>(y - py + rr)];
    const long x0 = std::max(xa, px - reach), x1 = std::min(xb, px + reach);
    if (x1 < x0) continue;
    stamped += x1 - x0 + 1;
    const std::uint8_t* row = &st.scaled[static_cast<std::size_t>(y - py + rr) * side + (x0 - px + rr)];
    std::uint8_t* p = img.At(static_cast<int>(x0), static_cast<int>(y)) + 2;
    for (long x = x0; x <= x1; ++x, p += 4, ++row)
      if (*row > *p) *p = *row;
  }
  lg.stamped += stamped;
}

void StampLine(const Plane& img, const ApplyContext& c, long ax, long ay, long bx, long by, int rr, double f) {
  if (rr != lg.stampRadius) {
    Stamp* st = &lg.large;
    if (rr <= kKeptRadius) {
      if (lg.kept.size() <= static_cast<std::size_t>(rr)) lg.kept.resize(static_cast<std::size_t>(rr) + 1);
      st = &lg.kept[static_cast<std::size_t>(rr)];
    }
    if (st == &lg.large || st->light.empty()) {
      const int side = 2 * rr + 1;
      st->light.assign(static_cast<std::size_t>(side) * side, 0);
      for (int dy = -rr; dy <= rr; ++dy)
        for (int dx = -rr; dx <= rr; ++dx)
          st->light[static_cast<std::size_t>(dy + rr) * side + dx + rr] = 255 - std::sqrt(double(dx * dx + dy * dy)) / rr * 255;
      st->reach.assign(static_cast<std::size_t>(side), -1);
      for (int dy = -rr; dy <= rr; ++dy)
        for (int dx = 0; dx <= rr && st->light[static_cast<std::size_t>(dy + rr) * side + dx + rr] > 0; ++dx)
          st->reach[static_cast<std::size_t>(dy + rr)] = dx;
      st->scaledFor = -1;
    }
    lg.current = st;
    lg.stampRadius = rr;
  }
  // A line that cannot reach the box stamps nothing there.
  if (std::max(ax, bx) + rr < c.x0 || std::min(ax, bx) - rr > c.x1 || std::max(ay, by) + rr < c.y0 ||
      std::min(ay, by) - rr > c.y1)
    return;
  const long dx = bx - ax, dy = by - ay;
  const bool vertical = std::labs(dy) >= std::labs(dx);
  const long longer = vertical ? dy : dx;
  const long steps = std::labs(longer), sign = longer < 0 ? -1 : 1, divisor = steps == 0 ? 1 : steps;
  for (long j = 0; j <= steps; ++j) {
    long px, py;
    if (vertical) {
      py = ay + j * sign;
      px = ax + j * dx / divisor;
    } else {
      px = ax + j * sign;
      py = ay + j * dy / divisor;
    }
    StampPoint(img, c, px, py, rr, f);
  }
}

// One step of segment i; false when the list could not grow.
bool StepSegment(const Plane& img, const ApplyContext& c, long i, long long& n) {
  BoltSegment& sg = lg.list[i];
  double s = 8 * R();
  if (s == 0) s = 0.0001;
  if (s < 2.0) s = 2.0;
  const double ddx = sg.targetX - sg.x, ddy = sg.targetY - sg.y;
  const double aim = ddx == 0 && ddy == 0 ? 0 : std::atan2(ddy, ddx);
  const double a = (R() - 0.5) / 8 * s * lg.zagging * 0.05 + aim;
  const double q = R();
  sg.heading = q * sg.heading + (1 - q) * a;
  const double px = sg.x + s * std::cos(sg.heading), py = sg.y + s * std::sin(sg.heading);
  const int rr = std::max(static_cast<int>(std::clamp(sg.width, 0.0, 1e6)), 1);
  const double f = std::pow(std::fabs(sg.width / lg.W0), 0.2);
  StampLine(img, c, static_cast<long>(sg.x), static_cast<long>(sg.y), static_cast<long>(px), static_cast<long>(py), rr,
            f);
  sg.x = px;
  sg.y = py;
  sg.travelled += s;
  const double left = std::hypot(sg.targetX - px, sg.targetY - py);
  if (sg.level > 1) {
    sg.width -= s / lg.R0 * lg.W0;
    if (sg.width < 1.0) {
      Remove(i);
      return true;
    }
  } else if (lg.taper > 0) {
    sg.width = (1 - (lg.L - left) / lg.L * lg.taper / 100) * lg.Wt;
  }
  if (left < 8) {
    Remove(i);
    return true;
  }
  if (static_cast<int>(Rand() * 100L / kRandMax) < lg.branching) {
    const double v = sg.level > 1 ? R() * sg.width - 1 : std::sqrt(R()) * sg.width;
    if (v >= 1) {
      const double spread = v / lg.W0 * 0.75 + 1.5;
      const double b = (R() - 0.5) * spread + sg.heading;
      const std::uint16_t level = static_cast<std::uint16_t>(std::min(sg.level + 1, 65535));
      const double heading = b;  // a branch sets off toward its own aim
      if (!Append(px, py, px + left * std::cos(b), py + left * std::sin(b), v, level, heading)) return false;
      ++n;
      BoltSegment& parent = lg.list[i];  // the list may have moved
      if (parent.level > 1) {
        parent.width -= parent.level == 2 ? v / 6 : v / 2;
        if (parent.width < 1.0) Remove(i);
      }
    }
  }
  return true;
}

int LightningWorker(std::uint8_t*, std::uint8_t* mask) {
  const ApplyContext& c = Ctx();
  Plane img(c.image, mask);
  CopyView copy(c.undo);
  const double total = (lg.zagging / 150.0 + 1) * lg.R0 * 1.5;
  SetProgressTotal(static_cast<int>(std::min(total, 2e9)));
  for (int y = c.y0; y <= c.y1; ++y) {
    std::uint8_t* p = img.At(c.x0, y) + 2;
    for (int x = c.x0; x <= c.x1; ++x, p += 4) *p = 0;
  }
  Srand(lg.seed);
  lg.stamped = 0;
  int result = 0;
  long long n = 0;
  while (lg.count > 0 && n < lg.N) {
    if (lg.list[0].level == 1 &&
        Progress(static_cast<int>(std::min(lg.list[0].travelled, 2e9))) != 0) {
      n = lg.N;
      result = 1;
    }
    for (long i = 0; i < lg.count && n < lg.N; ++i)
      if (!StepSegment(img, c, i, n)) {
        result = 1;
        n = lg.N;
      }
    ++n;
  }
  if (result != 0) return result;
  const bool alphaLimits = MaskWithAlphaOn() && c.image->hasAlpha;
  for (int y = c.y0; y <= c.y1; ++y) {
    std::uint8_t* p = img.At(c.x0, y);
    for (int x = c.x0; x <= c.x1; ++x, p += 4) {
      const int i = p[2];
      const std::uint8_t* o = copy.At(x, y);
      int w = lg.pathMode ? lg.k[i] : lg.k[i] * img.MaskAt(x, y) / 255;
      if (alphaLimits && o[3] < 255) w = o[3] * w / 255;
      for (int ch = 0; ch < 3; ++ch) p[ch] = static_cast<std::uint8_t>(Clamp0To255((o[ch] * (255 - w) + lg.col[ch][i] * w) / 255));
    }
  }
  return 0;
}

}  // namespace

std::int64_t LightningStampedPixels() { return lg.stamped; }

std::span<const OpRoutineEntry> LightningRoutines() {
  static const OpRoutineEntry table[] = {[] {
    OpRoutineEntry e{kLightning, {}};
    e.routines.prepare = PrepareLightning;
    e.routines.imageWorker = LightningWorker;
    e.routines.finish = FreeList;
    return e;
  }()};
  return table;
}

}  // namespace qv
