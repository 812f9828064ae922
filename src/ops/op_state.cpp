#include "ops/op_state.h"

#include <algorithm>

#include "area/area_mask.h"
#include "ops/apply.h"
#include "store/memory_places.h"

namespace qv {
namespace {

constexpr ProfileInfo kProfiles[kProfileCount] = {
    {"Arm", 3111, 255, "aprof"}, {"Shape", 3112, 255, "nprof"}, {"CcH", 3113, 360, "prof"},
    {"CcS", 3113, 255, "prof"},  {"CcL", 3113, 255, "prof"},    {"CpH", 3113, 100, "prof"},
    {"CpS", 3113, 100, "prof"},  {"CpL", 3113, 100, "prof"},    {"RcH", 3113, 360, "prof"},
    {"RcS", 3113, 255, "prof"},  {"RcL", 3113, 255, "prof"},    {"RpH", 3113, 100, "prof"},
    {"RpS", 3113, 100, "prof"},  {"RpL", 3113, 100, "prof"},
};

constexpr OpId kKeyIn = 3177;


}  // namespace

const ProfileInfo& InfoOf(ProfileId id) { return kProfiles[static_cast<int>(id)]; }

OpsState::OpsState() {
  auto defaults = DefaultParamValues();
  values.assign(defaults.begin(), defaults.end());
  // The engine's own Apply entry; a GUI may replace it.
  hooks.areaSelectionExists = [] {
    const AreaState& a = Area();
    return a.mask.place != nullptr && a.selection.mode != 0;
  };
  hooks.applyToCurrentView = [] { return Apply(static_cast<int>(CurrentOp()), 0); };
}

std::int32_t* BindingValue(ParamBinding binding) {
  auto& values = Ops().values;
  if (binding == 0 || binding > values.size()) return nullptr;
  return &values[binding - 1];
}

std::int32_t ParamValue(OpId id, int slot) {
  if (!IsCatalogued(id) || slot < 0 || slot >= kSlotCount) return 0;
  const std::int32_t* v = BindingValue(OpOf(id).slots[slot].binding);
  return v ? *v : 0;
}

void SetParamValue(OpId id, int slot, std::int32_t value) {
  if (!IsCatalogued(id) || slot < 0 || slot >= kSlotCount) return;
  if (std::int32_t* v = BindingValue(OpOf(id).slots[slot].binding)) *v = value;
}

void ResetParamValues() {
  auto defaults = DefaultParamValues();
  Ops().values.assign(defaults.begin(), defaults.end());
}

OpId CurrentOp() { return Ops().current; }

void ValidateCurrentOp() {
  OpId& current = Ops().current;
  if (!IsCatalogued(current)) current = Catalogue().front().id;
  // A first shape must not meet an effect that is not built yet: the first
  // one that is stands in until then.
  if (OperationAvailable(current)) return;
  for (const OpEntry& e : Catalogue())
    if (HasWorker(e)) {
      current = e.id;
      return;
    }
}

KeyColour KeyInColour() {
  KeyColour k;
  k.red = ParamValue(kKeyIn, 0);
  k.green = ParamValue(kKeyIn, 1);
  k.blue = ParamValue(kKeyIn, 2);
  k.redRange = ParamValue(kKeyIn, 3);
  k.greenRange = ParamValue(kKeyIn, 4);
  k.blueRange = ParamValue(kKeyIn, 5);
  k.extra = Ops().keyExtra;
  return k;
}

void SetKeyInColour(const KeyColour& key) {
  const std::int32_t six[] = {key.red, key.green, key.blue, key.redRange, key.greenRange, key.blueRange};
  for (int i = 0; i < 6; ++i) SetParamValue(kKeyIn, i, six[i]);
  Ops().keyExtra = key.extra;
}

std::array<std::int16_t, kProfileLength> DefaultProfile() {
  std::array<std::int16_t, kProfileLength> p{};
  for (int i = 0; i <= 100; ++i) {
    auto v = static_cast<std::int16_t>(i * i * 255 / 10000);
    p[static_cast<std::size_t>(i)] = v;
    p[static_cast<std::size_t>(200 - i)] = v;
  }
  return p;
}

std::int16_t* FindProfile(ProfileId id) { return Ops().profiles[static_cast<std::size_t>(id)]; }

std::int16_t* EnsureProfile(ProfileId id) {
  std::int16_t*& slot = Ops().profiles[static_cast<std::size_t>(id)];
  if (slot) return slot;
  slot = AllocRealArray<std::int16_t>(kProfileLength, InfoOf(id).tag);
  if (slot && (id == ProfileId::Arm || id == ProfileId::Shape)) {
    auto curve = DefaultProfile();
    std::copy(curve.begin(), curve.end(), slot);
  }
  return slot;
}

void FreeProfiles() {
  for (int i = 0; i < kProfileCount; ++i) {
    auto& p = Ops().profiles[static_cast<std::size_t>(i)];
    p = static_cast<std::int16_t*>(FreeReal(p, InfoOf(static_cast<ProfileId>(i)).tag));
  }
}

}  // namespace qv
