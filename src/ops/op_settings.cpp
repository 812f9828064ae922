#include "ops/op_settings.h"

#include <cstring>
#include <memory>

#include "base/fixed_text.h"
#include "ops/op_state.h"
#include "store/memory_places.h"

namespace qv {
namespace {

constexpr OpId kTransition = 3198;
constexpr OpId kDistortion = 3199;

}  // namespace

OpSettings MakeOpSettings(OpId id) {
  const OpEntry& e = OpOf(id);
  OpSettings s;
  s.id = e.id;
  for (int k = 0; k < kSlotCount; ++k) {
    const ParamSlot& slot = e.slots[k];
    if (slot.labelId == 0) continue;
    s.bindings[k] = slot.binding;
    s.labelIds[k] = slot.labelId;
    s.kinds[k] = slot.kind;
    if (const std::int32_t* v = BindingValue(slot.binding)) s.values[k] = *v;
  }
  const OpsState& ops = Ops();
  if (e.id == kTransition) CopyText(s.text, ops.transitionPointFile);
  if (e.id == kDistortion) CopyText(s.text, ops.distortionPointFile);
  return s;
}

OpSettings* SnapshotOpSettings(OpId id, bool attachTrends) {
  void* place = AllocReal(sizeof(OpSettings), "opset");
  if (!place) return nullptr;
  OpSettings* s = std::construct_at(static_cast<OpSettings*>(place), MakeOpSettings(id));
  const auto& attach = Ops().hooks.attachTrends;
  if (attachTrends && attach) attach(*s);
  return s;
}

void FreeOpSettings(OpSettings* settings) { FreeReal(settings, "opset"); }

int RestoreOpSettings(const OpSettings& settings) {
  if (!IsCatalogued(settings.id)) return 1;
  OpsState& ops = Ops();
  ops.current = settings.id;
  for (int k = 0; k < kSlotCount; ++k) {
    if (settings.labelIds[k] == 0) continue;
    if (std::int32_t* v = BindingValue(settings.bindings[k])) *v = settings.values[k];
  }
  // The text may come from a file: never read past its end.
  std::string_view text(settings.text, strnlen(settings.text, sizeof settings.text));
  if (settings.id == kTransition) ops.transitionPointFile = text;
  if (settings.id == kDistortion) ops.distortionPointFile = text;
  return 0;
}

}  // namespace qv
