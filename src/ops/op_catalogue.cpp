#include "ops/op_catalogue.h"

#include <array>
#include <string>
#include <vector>

#include "base/messages.h"
#include "base/string_table.h"
#include "ops/op_state.h"
#include "ops/op_table.h"

namespace qv {
namespace {

constexpr OpId kHistogram = 3185;

struct Built {
  // Room for kCatalogueRoom operations and the terminating entry with id 0.
  std::array<OpEntry, kCatalogueRoom + 1> entries{};
  int count = 0;
  std::vector<std::int32_t> defaults;
};

ParamSlot BuildSlot(const detail::SlotDef& def, ParamBinding binding) {
  ParamSlot s;
  s.binding = binding;
  s.labelId = def.label;
  s.kind = def.kind;
  s.dialMin = def.dialMin;
  s.dialMax = def.dialMax;
  s.trendMin = def.trendMin;
  s.trendMax = def.trendMax;
  s.wrap = def.wrap;
  s.defaultValue = def.def;
  return s;
}

Built Build() {
  Built b;
  auto defs = detail::OpDefinitions();
  for (const auto& def : defs) {
    OpEntry& e = b.entries[static_cast<std::size_t>(b.count)];
    e.id = def.id;
    e.group = def.group;
    e.dialog = def.dialog;
    e.kind = def.kind;
    e.needsSource = def.source ? 1 : 0;
    e.noAlphaMaskA = def.noAlphaMask ? 1 : 0;
    for (int k = 0; k < kSlotCount; ++k) {
      const detail::SlotDef& sd = def.slots[static_cast<std::size_t>(k)];
      if (sd.label == 0) break;
      if (sd.sharedWith != 0) {
        // The owner comes earlier in the table, so its slot is built already.
        for (int i = 0; i < b.count; ++i)
          if (b.entries[static_cast<std::size_t>(i)].id == sd.sharedWith)
            for (const auto& owned : b.entries[static_cast<std::size_t>(i)].slots)
              if (owned.labelId == sd.label) e.slots[k] = owned;
        continue;
      }
      b.defaults.push_back(sd.def);
      e.slots[k] = BuildSlot(sd, static_cast<ParamBinding>(b.defaults.size()));
    }
    ++b.count;
  }
  for (const auto& r : RegisteredRoutines())
    for (int i = 0; i < b.count; ++i)
      if (b.entries[static_cast<std::size_t>(i)].id == r.id) b.entries[static_cast<std::size_t>(i)].routines = r.routines;
  return b;
}

const Built& TheCatalogue() {
  static const Built built = Build();
  return built;
}

}  // namespace

std::string_view ApplyKindName(ApplyKind kind) {
  switch (kind) {
    case ApplyKind::Point: return "Point";
    case ApplyKind::Value: return "Value";
    case ApplyKind::Pixel: return "Pixel";
    case ApplyKind::Generation: return "Generation";
    case ApplyKind::Warp: return "Warp";
    case ApplyKind::Image: return "Image";
    case ApplyKind::Inspect: return "Inspect";
  }
  return "?";
}

std::span<const OpEntry> Catalogue() {
  const Built& b = TheCatalogue();
  return {b.entries.data(), static_cast<std::size_t>(b.count)};
}

int ParamCount() { return static_cast<int>(TheCatalogue().defaults.size()); }

std::span<const std::int32_t> DefaultParamValues() { return TheCatalogue().defaults; }

int FindOp(OpId id) {
  auto cat = Catalogue();
  for (std::size_t i = 0; i < cat.size(); ++i)
    if (cat[i].id == id) return static_cast<int>(i);
  return 0;
}

bool IsCatalogued(OpId id) { return id != 0 && Catalogue()[static_cast<std::size_t>(FindOp(id))].id == id; }

const OpEntry& OpAt(int index) {
  auto cat = Catalogue();
  if (index < 0 || static_cast<std::size_t>(index) >= cat.size()) index = 0;
  return cat[static_cast<std::size_t>(index)];
}

const OpEntry& OpOf(OpId id) { return OpAt(FindOp(id)); }

std::string_view OpName(OpId id) { return LoadString(static_cast<int>(id)); }

int LabelledSlotCount(const OpEntry& entry) {
  int n = 0;
  while (n < kSlotCount && entry.slots[n].labelId != 0) ++n;
  return n;
}

ApplyKind EffectiveKind(const OpEntry& entry) {
  if (entry.id == kHistogram && ParamValue(kHistogram, 0) == 0) return ApplyKind::Point;
  return entry.kind;
}

bool NeedsSource(OpId id) { return IsCatalogued(id) && OpOf(id).needsSource != 0; }
bool NoAlphaMaskA(OpId id) { return IsCatalogued(id) && OpOf(id).noAlphaMaskA != 0; }
bool NoAlphaMaskB(OpId id) { return IsCatalogued(id) && OpOf(id).noAlphaMaskB != 0; }

const ParamSlot* SlotByLabel(int entryIndex, std::uint32_t labelId) {
  if (labelId == 0) return nullptr;
  const OpEntry& e = OpAt(entryIndex);
  for (const auto& s : e.slots)
    if (s.labelId == labelId) return &s;
  return nullptr;
}

const ParamSlot* SlotOfBinding(ParamBinding binding) {
  if (binding == 0) return nullptr;
  for (const auto& e : Catalogue())
    for (const auto& s : e.slots)
      if (s.binding == binding) return &s;
  return nullptr;
}

bool HasWorker(const OpEntry& entry) {
  const OpRoutines& r = entry.routines;
  if (entry.id == kHistogram) return r.imageWorker && r.pointWorker;  // it runs under both drivers
  switch (entry.kind) {
    case ApplyKind::Point: return r.pointWorker != nullptr;
    case ApplyKind::Value: return r.valueWorker != nullptr;
    case ApplyKind::Pixel:
    case ApplyKind::Generation:
    case ApplyKind::Warp: return r.pixelWorker != nullptr;
    case ApplyKind::Image:
    case ApplyKind::Inspect: return r.imageWorker != nullptr;
  }
  return false;
}

bool OperationAvailable(OpId id) { return IsCatalogued(id) && HasWorker(OpOf(id)); }

int CheckOperationAvailable(OpId id) {
  if (OperationAvailable(id)) return 0;
  std::string text(LoadString(kNotAvailableText));
  std::string name = IsCatalogued(id) ? std::string(OpName(id)) : "Operation " + std::to_string(id);
  if (auto at = text.find("%s"); at != std::string::npos) text.replace(at, 2, name);
  ShowNote(text);
  return 1;
}

}  // namespace qv
