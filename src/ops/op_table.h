// The catalogue's source rows: what the catalogue, the string table and the
// default live values are built from. Private to src/ops.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "ops/op_catalogue.h"

namespace qv::detail {

struct SlotDef {
  std::uint32_t label = 0;  // 0 ends the slots
  std::string_view text;
  std::int32_t def = 0;
  std::int32_t dialMin = 0, dialMax = 0, trendMin = 0, trendMax = 0;
  std::int32_t wrap = 0;
  std::uint32_t kind = kParamNumber;
  OpId sharedWith = 0;  // this label's parameter belongs to that operation
};

struct OpDef {
  OpId id;
  std::string_view name;
  std::uint32_t group;
  std::string_view dialog;
  ApplyKind kind;
  bool source;
  bool noAlphaMask;
  std::array<SlotDef, kSlotCount> slots;
};

struct GroupDef {
  std::uint32_t id;
  std::string_view name;
};

std::span<const OpDef> OpDefinitions();
std::span<const GroupDef> GroupDefinitions();

}  // namespace qv::detail
