#include "ops/op_controls.h"
#include "ops/op_state.h"
#include "support/program_fixture.h"

namespace qv {
namespace {

class OpControlsTest : public test::ProgramTest {};

TEST_F(OpControlsTest, SwirlHasOneAngleRowHeldToItsDial) {
  EXPECT_EQ(SettingsWindowTitle(3133), "Swirl Settings");
  EXPECT_EQ(SettingsWindowTitle(3187), "Sample Contents");
  EXPECT_EQ(RowLabel(3133, 0), "Angle");
  EXPECT_EQ(RowLabel(3133, 1), "");
  EXPECT_EQ(EditParam(3133, 0, "999"), 360);
  EXPECT_EQ(ParamValue(3133, 0), 360);
  EXPECT_EQ(EditParam(3133, 0, "abc"), 360);  // not a number: unchanged
  EXPECT_EQ(EditParam(3133, 0, "-20"), -20);
}

TEST_F(OpControlsTest, ScrollStepsMoveByOneOrTenAndStopAtTheEnds) {
  EXPECT_EQ(ScrollParam(3114, 0, ScrollStep::LineRight), 6);   // Shine "Width" 5, dial 0..50
  EXPECT_EQ(ScrollParam(3114, 0, ScrollStep::PageLeft), 0);    // 6 - 10 stops at 0
  EXPECT_EQ(ScrollParam(3114, 0, ScrollStep::Thumb, 47), 47);
  EXPECT_EQ(ScrollParam(3114, 0, ScrollStep::PageRight), 50);
  EXPECT_EQ(ScrollParam(3114, 0, ScrollStep::LineLeft), 49);
  EXPECT_EQ(ScrollParam(3194, 0, ScrollStep::PageRight), 0);   // Invert Alpha has no rows
}

TEST_F(OpControlsTest, SharedTemplatesShowTheirOwnRowTexts) {
  EXPECT_EQ(RowLabel(3131, 0), "Distortion%");
  EXPECT_EQ(RowLabel(3151, 0), "Depth");
  EXPECT_EQ(RowLabel(3156, 0), "Samples");
  EXPECT_EQ(RowLabel(3182, 0), "Brightness");
  EXPECT_EQ(RowLabel(3122, 1), "Rotation");
  EXPECT_EQ(RowLabel(3135, 2), "Half Waves");
  EXPECT_EQ(RowLabel(3121, 1), "Direction");
  EXPECT_TRUE(IsSwitchRow(OpOf(3138).slots[0]));
  EXPECT_FALSE(IsSwitchRow(OpOf(3139).slots[0]));  // Turn 90 "Steps" 0..3
}

TEST_F(OpControlsTest, SizeRowsFollowEachOtherByConstantZoom) {
  TheProgram().ops.oldWidth = 4000;
  TheProgram().ops.oldHeight = 0;  // counts as 1
  SetParamValue(3173, 5, 1);       // Constant zoom: dimensions follow the percentages
  RecoupleSize(3173);
  EXPECT_EQ(ParamValue(3173, 2), 8000);
  EXPECT_EQ(ParamValue(3173, 3), 2);
  SetParamValue(3174, 2, 999);     // Reduce, Constant zoom off: percentages follow
  RecoupleSize(3174);
  EXPECT_EQ(ParamValue(3174, 0), 24);
  EXPECT_EQ(ParamValue(3174, 1), 800);  // 120 × 100 / 1, held to what a trend could reach
}

}  // namespace
}  // namespace qv
