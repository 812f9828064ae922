#include "ops/op_controls.h"

#include <algorithm>

#include "base/string_table.h"
#include "base/text_words.h"
#include "ops/op_state.h"

namespace qv {
namespace {

constexpr OpId kSample = 3187;
constexpr OpId kEnlarge = 3173;
constexpr OpId kReduce = 3174;
// Slots of the size rows.
constexpr int kXSize = 0, kYSize = 1, kXDim = 2, kYDim = 3, kConstantZoom = 5;

struct RowText {
  OpId op;
  int slot;
  int text;  // string id
};

// Rows of the shared templates (C1Dlg, C2Dlg, C3Dlg, C6Dlg) that read
// differently from the parameter's own label.
constexpr RowText kRowTexts[] = {
    {3131, 0, 16110}, {3132, 0, 16110}, {3151, 0, 16111}, {3156, 0, 16112}, {3181, 0, 16113},
    {3182, 0, 16114}, {3183, 0, 16115}, {3154, 0, 16116}, {3122, 0, 16117}, {3122, 1, 16118},
    {3135, 0, 16110}, {3135, 1, 16119}, {3135, 2, 16120}, {3176, 0, 16160},
};

// What a person sets is held to the dial; what is computed from another
// row may go as far as a trend could (a 4000-pixel image doubled is 8000).
std::int32_t Store(OpId id, int slot, std::int64_t v, bool dial = true) {
  const ParamSlot& s = OpOf(id).slots[slot];
  std::int32_t* live = BindingValue(s.binding);
  if (!live) return 0;
  *live = static_cast<std::int32_t>(dial ? std::clamp<std::int64_t>(v, s.dialMin, s.dialMax)
                                         : std::clamp<std::int64_t>(v, s.trendMin, s.trendMax));
  return *live;
}

bool ValidSlot(OpId id, int slot) {
  return IsCatalogued(id) && slot >= 0 && slot < kSlotCount && OpOf(id).slots[slot].labelId != 0;
}

}  // namespace

std::string SettingsWindowTitle(OpId id) {
  std::string format(LoadString(id == kSample ? 16103 : 16102));
  if (auto at = format.find("%s"); at != std::string::npos) format.replace(at, 2, OpName(id));
  return format;
}

std::string_view RowLabel(OpId id, int slot) {
  for (const auto& r : kRowTexts)
    if (r.op == id && r.slot == slot) return LoadString(r.text);
  if (!ValidSlot(id, slot)) return {};
  return LoadString(static_cast<int>(OpOf(id).slots[slot].labelId));
}

bool IsSwitchRow(const ParamSlot& slot) { return slot.kind == kParamNumber && slot.dialMin == 0 && slot.dialMax == 1; }

std::int32_t ScrollParam(OpId id, int slot, ScrollStep step, std::int32_t thumb) {
  if (!ValidSlot(id, slot)) return 0;
  std::int64_t v = ParamValue(id, slot);
  switch (step) {
    case ScrollStep::LineLeft: v -= 1; break;
    case ScrollStep::LineRight: v += 1; break;
    case ScrollStep::PageLeft: v -= 10; break;
    case ScrollStep::PageRight: v += 10; break;
    case ScrollStep::Thumb: v = thumb; break;
  }
  return Store(id, slot, v);
}

std::int32_t EditParam(OpId id, int slot, std::string_view text) {
  if (!ValidSlot(id, slot)) return 0;
  auto v = ParseLong(text);
  return v ? Store(id, slot, *v) : ParamValue(id, slot);
}

void RecoupleSize(OpId id) {
  if (id != kEnlarge && id != kReduce) return;
  const OpsState& ops = Ops();
  const std::int64_t oldSize[2] = {std::max(ops.oldWidth, 1), std::max(ops.oldHeight, 1)};
  const int percent[2] = {kXSize, kYSize};
  const int dimension[2] = {kXDim, kYDim};
  const bool constantZoom = ParamValue(id, kConstantZoom) != 0;
  for (int axis = 0; axis < 2; ++axis) {
    if (constantZoom) {
      Store(id, dimension[axis], oldSize[axis] * ParamValue(id, percent[axis]) / 100, false);
    } else {
      Store(id, percent[axis], ParamValue(id, dimension[axis]) * 100 / oldSize[axis], false);
    }
  }
}

}  // namespace qv
