#include <array>
#include <cstring>

#include "ops/op_settings.h"
#include "ops/op_state.h"
#include "support/program_fixture.h"

namespace qv {
namespace {

class OpSettingsTest : public test::ProgramTest {};

TEST_F(OpSettingsTest, SnapshotHoldsEveryFieldInOrder) {
  SetParamValue(3121, 1, -45);
  OpSettings* s = SnapshotOpSettings(3121, false);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ((std::array<std::int64_t, 3>{s->cellKind, s->id, s->interpolate}), (std::array<std::int64_t, 3>{2, 3121, 1}));
  const OpEntry& e = OpOf(3121);
  for (int k = 0; k < kSlotCount; ++k) {
    EXPECT_EQ(s->bindings[k], e.slots[k].binding);
    EXPECT_EQ(s->labelIds[k], e.slots[k].labelId);
    EXPECT_EQ(s->kinds[k], e.slots[k].kind);
  }
  EXPECT_EQ((std::array<int, 3>{s->values[0], s->values[1], s->values[3]}), (std::array<int, 3>{50, -45, 0}));
  EXPECT_EQ(s->text[0], '\0');
  // Byte layout: the fields follow each other without gaps.
  const auto* bytes = reinterpret_cast<const unsigned char*>(s);
  std::int32_t second;
  std::memcpy(&second, bytes + 12 + 17 * 4 + 4, 4);
  EXPECT_EQ(second, -45);
  EXPECT_EQ(TheProgram().memory.placesInUse, 1);
  FreeOpSettings(s);
  EXPECT_EQ(TheProgram().memory.placesInUse, 0);

  EXPECT_EQ(MakeOpSettings(3213).kinds[4], kParamColour);
}

TEST_F(OpSettingsTest, RestoreMakesTheOperationCurrentAndWritesTheValuesBack) {
  TheProgram().ops.distortionPointFile = "points/face.zpt";
  SetParamValue(3199, 0, 17);
  OpSettings s = MakeOpSettings(3199);
  EXPECT_STREQ(s.text, "points/face.zpt");
  ResetParamValues();
  TheProgram().ops.distortionPointFile.clear();
  TheProgram().ops.current = 3111;

  EXPECT_EQ(RestoreOpSettings(s), 0);
  EXPECT_EQ(CurrentOp(), 3199u);
  EXPECT_EQ(ParamValue(3199, 0), 17);
  EXPECT_EQ(TheProgram().ops.distortionPointFile, "points/face.zpt");

  // A cell from a damaged file: unknown operation, text without its end.
  OpSettings bad = s;
  bad.id = 4242;
  EXPECT_EQ(RestoreOpSettings(bad), 1);
  std::memset(s.text, 'x', sizeof s.text);
  s.bindings[0] = 999999;  // names no parameter
  EXPECT_EQ(RestoreOpSettings(s), 0);
  EXPECT_EQ(TheProgram().ops.distortionPointFile.size(), sizeof s.text);
}

TEST_F(OpSettingsTest, TrendsAreAttachedOnlyWhenAskedAndMemoryFailureGivesNoCell) {
  int attached = 0;
  TheProgram().ops.hooks.attachTrends = [&](OpSettings& s) {
    EXPECT_EQ(s.id, 3133u);
    ++attached;
  };
  FreeOpSettings(SnapshotOpSettings(3133, false));
  EXPECT_EQ(attached, 0);
  FreeOpSettings(SnapshotOpSettings(3133, true));
  EXPECT_EQ(attached, 1);

  TheProgram().memory.faults.allocate = [](std::int64_t) { return true; };
  EXPECT_EQ(SnapshotOpSettings(3133, true), nullptr);
  EXPECT_EQ(attached, 1);
}

}  // namespace
}  // namespace qv
