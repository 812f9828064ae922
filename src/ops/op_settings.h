// OpSettings: the snapshot of one operation's settings that a TimeLine op
// cell holds, and its restore.
#pragma once

#include <cstdint>
#include <type_traits>

#include "ops/op_catalogue.h"

namespace qv {

inline constexpr std::uint16_t kOpCellKind = 2;
inline constexpr int kOpSettingsTextSize = 304;

struct OpSettings {
  std::uint16_t cellKind = kOpCellKind;
  std::uint16_t reserved = 0;
  OpId id = 0;
  std::uint16_t interpolate = 1;
  std::uint16_t reserved2 = 0;
  ParamBinding bindings[kSlotCount] = {};
  std::int32_t values[kSlotCount] = {};
  std::uint32_t labelIds[kSlotCount] = {};
  std::uint32_t kinds[kSlotCount] = {};
  // Transition: the current Zelvane point file; Distortion: its own.
  char text[kOpSettingsTextSize] = {};
};
static_assert(sizeof(OpSettings) == 588 && std::is_trivially_copyable_v<OpSettings>,
              "op cells are copied byte for byte");

// The settings of an operation as they are now (an id not in the catalogue
// gives the first operation's).
OpSettings MakeOpSettings(OpId id);
// The same in a new memory place "opset", with the parameters' trends
// attached when asked; null when out of memory.
OpSettings* SnapshotOpSettings(OpId id, bool attachTrends);
void FreeOpSettings(OpSettings* settings);
// Makes the snapshot's operation current and writes its values back; 1 (and
// nothing changed) when its operation is not in the catalogue.
int RestoreOpSettings(const OpSettings& settings);

}  // namespace qv
