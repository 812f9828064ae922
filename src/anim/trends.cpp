#include "anim/trends.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

#include "anim/anim_state.h"
#include "area/area_mask.h"
#include "base/messages.h"
#include "base/spline.h"
#include "base/string_table.h"
#include "base/text_words.h"
#include "ops/op_state.h"

namespace qv {
namespace {

constexpr int kMessageNoMemory = 22;
constexpr int kMessageNoTrendMemory = 66;
constexpr int kMessagePasteEmpty = 67;
constexpr int kFirstListRoom = 20;
constexpr int kListGrowth = 16;
constexpr int kColourNotice = 16101;  // "Trend this color by dragging OPS into the Timeline"

TrendState& TS() { return Anim().trends; }
const TrendHooks& Hooks() { return Anim().trendHooks; }

void Redraw(Trend& t) {
  if (Hooks().redraw && t.windowOpen) Hooks().redraw(t);
}

int Frames() { return FrameCount(); }

std::int32_t Saturate(std::int64_t v) { return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX)); }

void FreeArrays(Trend& t) {
  if (t.frames) FreeReal(t.frames, "trnx");
  if (t.values) FreeReal(t.values, "trny");
  if (t.frameValues) FreeReal(t.frameValues, "trna");
  t.frames = t.values = t.frameValues = nullptr;
}

// Three arrays of `room` entries; false (nothing changed) when out of memory.
bool MakeArrays(Trend& t, int room, const char* const tags[3]) {
  auto* frames = AllocRealArray<std::int32_t>(room, tags[0]);
  auto* values = AllocRealArray<std::int32_t>(room, tags[1]);
  auto* frameValues = AllocRealArray<std::int32_t>(room, tags[2]);
  if (!frames || !values || !frameValues) {
    if (frames) FreeReal(frames, tags[0]);
    if (values) FreeReal(values, tags[1]);
    if (frameValues) FreeReal(frameValues, tags[2]);
    return false;
  }
  const int keep = std::min(room, t.room);
  if (t.frames) {
    std::copy_n(t.frames, keep, frames);
    std::copy_n(t.values, keep, values);
    std::copy_n(t.frameValues, keep, frameValues);
  }
  FreeArrays(t);
  t.frames = frames, t.values = values, t.frameValues = frameValues;
  t.room = room;
  return true;
}

bool AddToList(Trend* t) {
  TrendState& s = TS();
  if (s.count >= s.capacity) {
    const int grown = s.capacity == 0 ? kFirstListRoom : s.capacity + kListGrowth;
    auto* list = AllocRealArray<Trend*>(grown, "tlst");
    if (!list) return false;
    if (s.list) {
      std::copy_n(s.list, s.count, list);
      FreeReal(s.list, "tlst");
    }
    s.list = list;
    s.capacity = grown;
  }
  s.list[s.count++] = t;
  return true;
}

// The operation whose parameter a binding is (for the window's title).
OpId OwnerOf(TrendVar variable) {
  const OpId current = CurrentOp();
  const OpEntry& e = OpOf(current);
  for (const ParamSlot& slot : e.slots)
    if (slot.labelId != 0 && static_cast<TrendVar>(slot.binding) == variable) return current;
  for (const OpEntry& entry : Catalogue())
    for (const ParamSlot& slot : entry.slots)
      if (slot.labelId != 0 && static_cast<TrendVar>(slot.binding) == variable) return entry.id;
  return 0;
}

// One point per frame, holding the curve as it is now: what painting and
// sharpening work on, so that the next recompute gives what they made.
void PointPerFrame(Trend& t) {
  const int f = Frames();
  for (int i = 0; i < f && i < t.room; ++i) {
    t.frames[i] = i;
    t.values[i] = t.frameValues[i];
  }
  t.count = std::min(f, t.room);
  t.selected = std::clamp(t.selected, 0, t.count - 1);
}

int Clamp(std::int64_t v, std::int32_t lo, std::int32_t hi) { return static_cast<int>(std::clamp<std::int64_t>(v, lo, std::max(lo, hi))); }

void RemovePoint(Trend& t, int i) {
  std::copy(t.frames + i + 1, t.frames + t.count, t.frames + i);
  std::copy(t.values + i + 1, t.values + t.count, t.values + i);
  --t.count;
  t.selected = std::clamp(t.selected, 0, t.count - 1);
}

std::string Formatted(const char* format, auto... values) {
  char buffer[200];
  int n = std::snprintf(buffer, sizeof buffer, format, values...);
  return std::string(buffer, static_cast<std::size_t>(std::clamp(n, 0, static_cast<int>(sizeof buffer) - 1)));
}

}  // namespace

std::span<Trend* const> Trends() {
  const TrendState& s = TS();
  return {s.list, static_cast<std::size_t>(s.count)};
}

Trend* FindTrend(TrendVar variable, int level) {
  for (Trend* t : Trends())
    if (t->variable == variable && t->level == level) return t;
  return nullptr;
}

const ParamSlot* SlotOfVar(TrendVar variable) {
  return variable > 0 ? SlotOfBinding(static_cast<ParamBinding>(variable)) : nullptr;
}

std::string TrendVarName(TrendVar variable) {
  if (IsTransparencyVar(variable)) return std::string(LoadString(-variable));
  const ParamSlot* slot = SlotOfVar(variable);
  return slot ? std::string(LoadString(static_cast<int>(slot->labelId))) : std::string{};
}

TrendVar VarNamed(std::string_view name, OpId op, bool prefix) {
  auto matches = [&](std::string_view label) {
    return prefix ? !name.empty() && StartsWithNoCase(label, name) : label == name;
  };
  auto search = [&](const OpEntry& e) -> TrendVar {
    for (const ParamSlot& slot : e.slots)
      if (slot.labelId != 0 && matches(LoadString(static_cast<int>(slot.labelId)))) return static_cast<TrendVar>(slot.binding);
    return 0;
  };
  if (IsCatalogued(op))
    if (TrendVar v = search(OpOf(op))) return v;
  for (const OpEntry& e : Catalogue())
    if (TrendVar v = search(e)) return v;
  for (TrendVar v : {kTrendLevel, kTrendEdgeFade, kTrendGrow})
    if (matches(LoadString(-v))) return v;
  return 0;
}

std::int32_t LiveValue(TrendVar variable) {
  const AreaSelection& s = Area().selection;
  switch (variable) {
    case kTrendLevel: return s.transparencyLevel;
    case kTrendEdgeFade: return s.edgeFade;
    case kTrendGrow: return s.grow;
    default: {
      const std::int32_t* v = variable > 0 ? BindingValue(static_cast<ParamBinding>(variable)) : nullptr;
      return v ? *v : 0;
    }
  }
}

void SetLiveValue(TrendVar variable, std::int32_t value) {
  AreaSelection& s = Area().selection;
  switch (variable) {
    case kTrendLevel: s.transparencyLevel = std::clamp(value, 0, 255); break;
    case kTrendEdgeFade: s.edgeFade = std::clamp(value, 0, 100); break;
    case kTrendGrow: s.grow = std::clamp(value, 0, 100); break;
    default:
      if (std::int32_t* v = variable > 0 ? BindingValue(static_cast<ParamBinding>(variable)) : nullptr) *v = value;
  }
}

Trend* FindOrCreateTrend(TrendVar variable, int level) {
  if (Trend* t = FindTrend(variable, level)) return t;
  const ParamSlot* slot = SlotOfVar(variable);
  if (!slot && !IsTransparencyVar(variable)) return nullptr;
  void* place = AllocReal(sizeof(Trend), "ntre");
  Trend* t = place ? std::construct_at(static_cast<Trend*>(place)) : nullptr;
  static constexpr const char* kTags[3] = {"trnx", "trny", "trna"};
  const int f = Frames();
  if (!t || !MakeArrays(*t, f + 2, kTags) || !AddToList(t)) {
    if (t) {
      FreeArrays(*t);
      FreeReal(t, "ntre");
    }
    ShowMessage(kMessageNoTrendMemory);
    return nullptr;
  }
  t->variable = variable;
  t->level = level;
  Anim().trends.createdSinceStart = true;
  if (slot) {
    t->nameId = slot->labelId;
    t->op = OwnerOf(variable);
    t->lower = slot->dialMin, t->upper = slot->dialMax;
    t->minimum = slot->trendMin, t->maximum = slot->trendMax;
    t->period = slot->wrap;
    t->twoState = slot->trendMin == 0 && slot->trendMax == 1;
  } else {
    t->nameId = static_cast<std::uint32_t>(-variable);
    const std::int32_t top = variable == kTrendLevel ? 255 : 100;
    t->lower = t->minimum = 0;
    t->upper = t->maximum = top;
  }
  const std::int32_t v = LiveValue(variable);
  t->frames[0] = 0, t->values[0] = v;
  t->frames[1] = f - 1, t->values[1] = v;
  t->count = 2;
  for (int g = 0; g < f; ++g) {
    const OpSettings* r = OpRecordOf(CellAt(level, g, kRowOp));
    if (!r) continue;
    for (int k = 0; k < kSlotCount; ++k)
      if (r->labelIds[k] != 0 && static_cast<TrendVar>(r->bindings[k]) == variable) SetTrendPoint(*t, g, r->values[k]);
  }
  RecomputeTrend(*t);
  return t;
}

Trend* OpenTrendOfSlot(OpId op, const ParamSlot& slot) {
  if (slot.kind == kParamColour) {
    ShowNote(LoadString(kColourNotice));
    return nullptr;
  }
  Trend* t = FindOrCreateTrend(static_cast<TrendVar>(slot.binding), Anim().timeline.cursor.level);
  if (!t) return nullptr;
  if (IsCatalogued(op)) t->op = op;
  t->windowOpen = true;
  if (Hooks().show) Hooks().show(*t);
  return t;
}

Trend* OpenTrend(std::uint32_t nameId) {
  for (TrendVar v : {kTrendLevel, kTrendEdgeFade, kTrendGrow})
    if (static_cast<std::uint32_t>(-v) == nameId) {
      Trend* t = FindOrCreateTrend(v, Anim().timeline.cursor.level);
      if (!t) return nullptr;
      t->windowOpen = true;
      if (Hooks().show) Hooks().show(*t);
      return t;
    }
  for (const OpEntry& e : Catalogue())
    for (const ParamSlot& slot : e.slots)
      if (slot.labelId != 0 && slot.labelId == nameId) return OpenTrendOfSlot(e.id, slot);
  return nullptr;
}

int ApplyTrend(TrendVar variable, int level, int frame) {
  const Trend* t = FindTrend(variable, level);
  if (!t) return 0;
  const std::int32_t v = t->frameValues[std::clamp(frame, 0, std::min(Frames(), t->room) - 1)];
  if (LiveValue(variable) == v) return 0;
  SetLiveValue(variable, v);
  return 1;
}

void ApplyAllTrends(OpId op, int level, int frame) {
  for (const ParamSlot& slot : OpOf(op).slots)
    if (slot.labelId != 0) ApplyTrend(static_cast<TrendVar>(slot.binding), level, frame);
}

void SetTrendPoint(Trend& t, int frame, std::int32_t value) {
  frame = std::clamp(frame, 0, Frames() - 1);
  int after = -1;
  for (int i = 0; i < t.count; ++i) {
    if (t.frames[i] == frame) {
      t.values[i] = value;
      return;
    }
    if (t.frames[i] <= frame) after = i;
  }
  if (t.count >= t.room) return;
  const int at = after + 1;
  std::copy_backward(t.frames + at, t.frames + t.count, t.frames + t.count + 1);
  std::copy_backward(t.values + at, t.values + t.count, t.values + t.count + 1);
  t.frames[at] = frame;
  t.values[at] = value;
  ++t.count;
}

void SetPointsFromOpRecord(const OpSettings& record, int level, int frame) {
  for (int k = 0; k < kSlotCount; ++k) {
    if (record.labelIds[k] == 0) continue;
    Trend* t = FindTrend(static_cast<TrendVar>(record.bindings[k]), level);
    if (!t) continue;
    SetTrendPoint(*t, frame, record.values[k]);
    RecomputeTrend(*t);
  }
}

namespace {

// The spline through three or more points, evaluated at every frame. The
// points ("ttspline" frames, "xtspline" values) and the frames and values
// it is evaluated at ("ttline", "xtline") are work places of their own.
template <typename Clamp>
void SplineCurve(Trend& t, int frames, const Clamp& clampValue) {
  const int n = t.count;
  auto* knots = AllocRealArray<double>(n, "ttspline");
  auto* knotValues = AllocRealArray<double>(n, "xtspline");
  auto* at = AllocRealArray<double>(frames, "ttline");
  auto* line = AllocRealArray<double>(frames, "xtline");
  if (knots && knotValues && at && line) {
    std::copy_n(t.frames, n, knots);
    std::copy_n(t.values, n, knotValues);
    CubicSpline spline;
    if (BuildSpline({knots, static_cast<std::size_t>(n)}, {knotValues, static_cast<std::size_t>(n)}, spline) == 0) {
      for (int g = 0; g < frames; ++g) {
        at[g] = g;
        if (EvaluateSpline(spline, at[g], line[g]) && std::isfinite(line[g]))
          t.frameValues[g] = clampValue(static_cast<std::int64_t>(std::clamp(line[g], -4e18, 4e18)));
      }
    }
  } else {
    ShowMessage(kMessageNoTrendMemory);
  }
  const std::pair<double*, const char*> places[] = {{knots, "ttspline"}, {knotValues, "xtspline"}, {at, "ttline"}, {line, "xtline"}};
  for (auto [place, tag] : places)
    if (place) FreeReal(place, tag);
}

}  // namespace

void RecomputeTrend(Trend& t) {
  const int f = std::min(Frames(), t.room);
  const int n = t.count;
  std::int32_t* a = t.frameValues;
  const std::int32_t* x = t.frames;
  const std::int32_t* y = t.values;
  auto clampValue = [&](std::int64_t v) { return Saturate(std::clamp<std::int64_t>(v, t.minimum, std::max(t.minimum, t.maximum))); };
  if (!t.spline) {
    for (int k = 0; k + 1 < n; ++k) {
      const std::int64_t dx = x[k + 1] - x[k] == 0 ? 1 : std::int64_t{x[k + 1]} - x[k];
      for (std::int64_t g = std::max(0, x[k]); g <= x[k + 1] && g < f; ++g)
        a[g] = Saturate(y[k] + (g - x[k]) * (std::int64_t{y[k + 1]} - y[k]) / dx);
    }
  } else if (n == 1) {
    std::fill(a, a + f, y[0]);
  } else if (n == 2) {
    const std::int64_t dx = std::max<std::int64_t>(1, std::int64_t{x[1]} - x[0]);
    for (int g = 0; g < f; ++g) a[g] = clampValue(y[0] + (g - std::int64_t{x[0]}) * (std::int64_t{y[1]} - y[0]) / dx);
  } else if (n >= 3) {
    SplineCurve(t, f, clampValue);
  }
  Redraw(t);
}

int RescaleTrends(int oldFrames, int newFrames) {
  if (oldFrames < 2 || newFrames < 2) return 0;
  static constexpr const char* kTags[3] = {"xmark", "ymark", "array"};
  int result = 0;
  for (Trend* t : Trends()) {
    std::vector<std::pair<std::int32_t, std::int32_t>> points;
    for (int i = 0; i < t->count; ++i) {
      const auto x = static_cast<std::int32_t>(std::int64_t{t->frames[i]} * (newFrames - 1) / (oldFrames - 1));
      if (!points.empty() && points.back().first >= x) continue;
      points.emplace_back(std::min(x, newFrames - 1), t->values[i]);
    }
    if (!MakeArrays(*t, newFrames + 2, kTags)) {
      ShowMessage(kMessageNoTrendMemory);
      result = 1;
      continue;
    }
    t->count = 0;
    for (auto [x, v] : points) {
      t->frames[t->count] = x;
      t->values[t->count++] = v;
    }
    t->selected = std::clamp(t->selected, 0, std::max(0, t->count - 1));
    RecomputeTrend(*t);
  }
  return result;
}

void KillTrend(Trend* trend) {
  TrendState& s = TS();
  auto* end = s.list + s.count;
  auto* it = std::find(s.list, end, trend);
  if (!trend || it == end) return;
  if (trend->windowOpen && Hooks().close) Hooks().close(*trend);
  std::copy(it + 1, end, it);
  --s.count;
  FreeArrays(*trend);
  FreeReal(trend, "ntre");
}

void KillAllTrends() {
  while (TS().count > 0) KillTrend(TS().list[TS().count - 1]);
}

void RemoveTrendLevel(int level) {
  std::vector<Trend*> gone;
  for (Trend* t : Trends()) {
    if (t->level == level)
      gone.push_back(t);
    else if (t->level > level)
      --t->level;
  }
  for (Trend* t : gone) KillTrend(t);
}

// ---- the window ----------------------------------------------------------------

void SetTrendPlot(Trend& t, int left, int top, int right, int bottom) {
  t.plot[0] = left, t.plot[1] = top, t.plot[2] = right, t.plot[3] = bottom;
}

int TrendFrameAt(const Trend& t, int x) {
  const std::int64_t f1 = std::max(1, Frames() - 1);
  const std::int64_t w = std::max(1, t.plot[2] - t.plot[0]);
  const std::int64_t f = (w / (2 * f1) - t.plot[0] + x) * f1 / w;
  return static_cast<int>(std::clamp<std::int64_t>(f, 0, Frames() - 1));
}

std::int32_t TrendValueAt(const Trend& t, int y) {
  const std::int64_t h = std::max(1, t.plot[3] - t.plot[1]);
  const std::int64_t v = t.upper + ((std::int64_t{t.upper} - t.lower) * (t.plot[1] - y) - h / 2) / h;
  return Clamp(v, t.lower, t.upper);
}

void TrendButtonDown(Trend& t, int x, int y) {
  const int f = TrendFrameAt(t, x);
  const std::int32_t v = TrendValueAt(t, y);
  int at = 0;
  for (int i = 0; i < t.count; ++i)
    if (t.frames[i] <= f) at = i;
  if (t.frames[at] != f && t.count < t.room) {
    SetTrendPoint(t, f, v);
    for (int i = 0; i < t.count; ++i)
      if (t.frames[i] == f) at = i;
  }
  t.selected = at;
  RecomputeTrend(t);
}

void TrendDrag(Trend& t, int x, int y) {
  const int i = std::clamp(t.selected, 0, t.count - 1);
  int f = TrendFrameAt(t, x);
  if (i == 0)
    f = 0;
  else if (i == t.count - 1)
    f = Frames() - 1;
  else
    f = std::clamp(f, t.frames[i - 1] + 1, std::max(t.frames[i - 1] + 1, t.frames[i + 1] - 1));
  t.frames[i] = f;
  t.values[i] = TrendValueAt(t, y);
  RecomputeTrend(t);
}

bool TrendDeleteSelected(Trend& t) {
  const int i = t.selected;
  if (t.count < 3 || i <= 0 || i >= t.count - 1) return false;
  RemovePoint(t, i);
  RecomputeTrend(t);
  return true;
}

std::int32_t TrendPaintValue(const Trend& t, int frame) {
  return t.frameValues[std::clamp(frame, 0, std::min(Frames(), t.room) - 1)] == 0 ? 1 : 0;
}

void TrendPaint(Trend& t, int fromFrame, int toFrame, std::int32_t value) {
  PointPerFrame(t);
  if (fromFrame > toFrame) std::swap(fromFrame, toFrame);
  for (int g = std::max(0, fromFrame); g <= toFrame && g < t.count; ++g) t.values[g] = value;
  RecomputeTrend(t);
}

std::string TrendPositionText(const Trend& t, int x, int y) {
  return Formatted("F:%ld, Y:%ld", static_cast<long>(TrendFrameAt(t, x) + 1), static_cast<long>(TrendValueAt(t, y)));
}

std::string TrendTitle(const Trend& t) {
  const long level = t.level + 1;
  if (IsTransparencyVar(t.variable)) return Formatted("Trend - %s (Level: %ld)", TrendVarName(t.variable).c_str(), level);
  return Formatted("Trend - %s: %s (Level: %ld)", std::string(OpName(t.op)).c_str(), TrendVarName(t.variable).c_str(), level);
}

int TrendCommand(Trend& t, int id) {
  const int f = Frames();
  const int n = t.count;
  const std::int32_t lo = t.lower, hi = t.upper;
  switch (id) {
    case 8014:  // Move Left
      if (f < 4) return 1;
      for (int i = 1; i + 1 < n; ++i) t.frames[i] = std::min(std::max(t.frames[i] - 1, t.frames[i - 1] + 1), f - 2);
      break;
    case 8015:  // Move Up
      for (int i = 0; i < n; ++i) t.values[i] = Clamp(std::int64_t{t.values[i]} + 5, INT32_MIN, std::max(hi, t.values[i]));
      break;
    case 8016:  // Move Down
      for (int i = 0; i < n; ++i) t.values[i] = Clamp(std::int64_t{t.values[i]} - 5, std::min(lo, t.values[i]), INT32_MAX);
      break;
    case 8017:  // Move Right
      if (f < 4) return 1;
      for (int i = n - 2; i >= 1; --i) t.frames[i] = std::clamp(t.frames[i] + 1, 1, std::max(1, t.frames[i + 1] - 1));
      break;
    case 8021: {  // Sharpen: each frame away from the mean of the 21 around it
      std::vector<std::int32_t> c;
      try {
        c.assign(t.frameValues, t.frameValues + std::min(f, t.room));
      } catch (const std::bad_alloc&) {
        ShowMessage(kMessageNoMemory);
        return 1;
      }
      auto at = [&](int k) { return std::int64_t{c[static_cast<std::size_t>(std::clamp(k, 0, f - 1))]}; };
      std::int64_t sum = 0;
      for (int k = -10; k <= 10; ++k) sum += at(k);
      PointPerFrame(t);
      for (int g = 1; g + 1 < t.count; ++g) {
        sum += at(g + 10) - at(g - 11);
        const std::int64_t v = c[static_cast<std::size_t>(g)];
        t.values[g] = Clamp(v + (v - sum / 21) / 4, lo, hi);
      }
      break;
    }
    case 8022: {  // Smooth
      if (n < 3) return 1;
      std::vector<std::int64_t> old(t.values, t.values + n);
      for (int i = 1; i + 1 < n; ++i) t.values[i] = Saturate((old[i - 1] + 2 * old[i] + old[i + 1]) / 4);
      break;
    }
    case 8024: {  // Copy
      TrendPasteBuffer& b = TS().paste;
      b.frames.assign(t.frames, t.frames + n);
      b.values.assign(t.values, t.values + n);
      b.lower = lo, b.upper = hi;
      b.frameCount = f;
      b.full = true;
      return 0;
    }
    case 8025: {  // Paste: frames across frame counts, values across extents
      const TrendPasteBuffer& b = TS().paste;
      if (!b.full || b.frames.empty()) {
        ShowMessage(kMessagePasteEmpty);
        return 1;
      }
      const std::int64_t from = std::max(1, b.frameCount - 1), to = f - 1;
      const std::int64_t range = std::max<std::int64_t>(1, std::int64_t{b.upper} - b.lower);
      int kept = 0;
      for (std::size_t i = 0; i < b.frames.size() && kept < t.room; ++i) {
        const auto x = static_cast<std::int32_t>(std::clamp<std::int64_t>(b.frames[i] * to / from, 0, to));
        if (kept > 0 && t.frames[kept - 1] >= x) continue;
        const std::int64_t v = b.values[i];
        t.frames[kept] = x;
        t.values[kept] = t.twoState ? (2 * v > std::int64_t{b.lower} + b.upper ? 1 : 0)
                                    : Saturate(lo + (v - b.lower) * (std::int64_t{hi} - lo) / range);
        ++kept;
      }
      t.count = kept;
      t.selected = 0;
      break;
    }
    case 8026:  // Flip
      for (int i = 0; i < n; ++i) t.values[i] = Saturate(std::int64_t{hi} + lo - t.values[i]);
      break;
    case 8027: {  // Symmetry
      std::vector<std::pair<std::int32_t, std::int32_t>> keep, mirror;
      for (int i = 0; i < n; ++i) {
        if (t.frames[i] < (f + 1) / 2) keep.emplace_back(t.frames[i], t.values[i]);
        if (t.frames[i] < f / 2) mirror.emplace_back(f - 1 - t.frames[i], t.values[i]);
      }
      std::reverse(mirror.begin(), mirror.end());
      keep.insert(keep.end(), mirror.begin(), mirror.end());
      t.count = 0;
      for (auto [x, v] : keep)
        if (t.count < t.room && (t.count == 0 || x > t.frames[t.count - 1])) {
          t.frames[t.count] = x;
          t.values[t.count++] = v;
        }
      t.selected = 0;
      break;
    }
    case 8028:    // Dropping Slope
    case 8029: {  // Rising Slope
      const std::int64_t p = t.period;
      const bool periodic = p != 0 && std::int64_t{lo} + p == hi;
      for (int i = 0; i < n; ++i) {
        const std::int64_t x = t.frames[i];
        const std::int64_t along = periodic ? p * x / f : x * (std::int64_t{hi} - lo) / std::max(1, f - 1);
        t.values[i] = Saturate(id == 8028 ? hi - along : lo + along);
      }
      break;
    }
    case 8031:  // Kill Trend
      KillTrend(&t);
      return 0;
    case 8032:  // Close Trend
      if (Hooks().close) Hooks().close(t);
      t.windowOpen = false;
      return 0;
    case 8035:  // Use Splines
      t.spline = !t.spline;
      break;
    default:
      return 1;
  }
  RecomputeTrend(t);
  return 0;
}

void SetTrendExtents(Trend& t, std::int32_t lower, std::int32_t upper) {
  const std::int64_t maximum = std::max<std::int64_t>(t.maximum, std::int64_t{t.minimum} + 1);
  t.lower = static_cast<std::int32_t>(std::clamp<std::int64_t>(lower, t.minimum, maximum - 1));
  t.upper = static_cast<std::int32_t>(std::clamp<std::int64_t>(upper, std::int64_t{t.lower} + 1, maximum));
  Redraw(t);
}

// ---- settings and project files -------------------------------------------------

bool WriteTrendLines(std::string& out, std::string_view key, const ParamSlot& slot) {
  const Trend* t = FindTrend(static_cast<TrendVar>(slot.binding), Anim().timeline.cursor.level);
  if (!t) return false;
  const int f = std::min(Frames(), t->room);
  out += Formatted("Trend[%s] %ld %ld %ld %d\n", std::string(key).c_str(), static_cast<long>(f), static_cast<long>(t->lower),
                   static_cast<long>(t->upper), t->twoState);
  for (int g = 0; g < f; ++g) {
    out += Formatted(" %d", t->frameValues[g]);
    if (g % 20 == 19) out += '\n';
  }
  if (f % 20 != 0) out += '\n';
  return true;
}

void ReadTrendLines(const std::string& line, const ParamSlot& slot, const std::function<bool(std::string&)>& nextLine) {
  const std::size_t close = line.find(']');
  auto words = SplitWords(close == std::string::npos ? std::string_view{} : std::string_view(line).substr(close + 1), 4);
  auto number = [&](std::size_t i) { return i < words.size() ? ParseLong(words[i]) : std::nullopt; };
  const int f = Frames();
  // Never more values than a TimeLine has frames.
  const int count = static_cast<int>(std::clamp<std::int64_t>(number(0).value_or(f), 1, kMaxFrames));
  Trend* t = FindOrCreateTrend(static_cast<TrendVar>(slot.binding), Anim().timeline.cursor.level);
  if (!t) return;
  const std::int64_t lowest = slot.trendMin, highest = slot.trendMax;
  auto lower = number(1), upper = number(2), twoState = number(3);
  if (lower && upper && *lower < *upper) {
    t->lower = static_cast<std::int32_t>(std::clamp(*lower, lowest, highest));
    t->upper = static_cast<std::int32_t>(std::clamp(*upper, std::int64_t{t->lower}, highest));
  }
  if (twoState) t->twoState = *twoState != 0;
  std::vector<std::int32_t> a;
  a.reserve(static_cast<std::size_t>(count));
  std::string next;
  for (int used = 0; used < (count + 1) / 20 + 1 && static_cast<int>(a.size()) < count && nextLine(next); ++used)
    for (const auto& w : SplitWords(next, 64)) {
      if (static_cast<int>(a.size()) >= count) break;
      if (auto v = ParseLong(w)) a.push_back(static_cast<std::int32_t>(std::clamp(*v, lowest, highest)));
    }
  if (a.empty()) return;
  while (static_cast<int>(a.size()) < count) a.push_back(a.back());
  // Resampled to this TimeLine's frames in 32 bits, never reading past the
  // last value.
  const int n = static_cast<int>(a.size());
  t->count = 0;
  for (int k = 0; k < f && k < t->room; ++k) {
    std::int32_t v = a[static_cast<std::size_t>(std::min(k, n - 1))];
    if (n != f) {
      const std::int64_t p = std::int64_t{n - 1} * k * 256 / std::max(1, f - 1);
      const std::int64_t i = std::min<std::int64_t>(p / 256, n - 1), frac = p % 256;
      const std::int64_t after = a[static_cast<std::size_t>(std::min<std::int64_t>(i + 1, n - 1))];
      v = static_cast<std::int32_t>((a[static_cast<std::size_t>(i)] * (256 - frac) + after * frac) / 256);
    }
    t->frames[k] = k;
    t->values[k] = v;
    ++t->count;
  }
  t->selected = 0;
  RecomputeTrend(*t);
}

void RemoveTrendOfSlot(const ParamSlot& slot) {
  KillTrend(FindTrend(static_cast<TrendVar>(slot.binding), Anim().timeline.cursor.level));
}

void InstallTrendHooks() {
  OpsHooks& hooks = Ops().hooks;
  hooks.writeTrend = WriteTrendLines;
  hooks.readTrend = ReadTrendLines;
  hooks.removeTrend = RemoveTrendOfSlot;
}

void FreeTrendState() {
  KillAllTrends();
  TrendState& s = TS();
  if (s.list) FreeReal(s.list, "tlst");
  s.list = nullptr;
  s.count = s.capacity = 0;
  s.paste = {};
}

}  // namespace qv
