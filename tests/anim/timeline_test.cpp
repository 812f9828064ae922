#include "anim/timeline.h"

#include <bit>

#include "anim/anim_state.h"
#include "base/fixed_text.h"
#include "ops/op_state.h"
#include "support/program_fixture.h"

namespace qv {
namespace {

constexpr OpId kContrast = 3181;
constexpr OpId kBrightness = 3182;

class TimeLineTest : public test::ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    ChangeFrameCount(7);
  }
  // A row as text: '.' empty, '-' hold, '|' hold end, 'R' a record.
  static std::string Row(int level, int row) {
    std::string out;
    for (int f = 0; f < FrameCount(); ++f) {
      Cell c = CellAt(level, f, row);
      out += IsRecordCell(c) ? 'R' : c == kCellHold ? '-' : c == kCellHoldEnd ? '|' : '.';
    }
    return out;
  }
  static int OpValueAt(int level, int frame) { return EffectiveContent(level, frame, kRowOp).op->values[0]; }
  static void OpWith(int level, int frame, OpId op, int value) {
    TheProgram().ops.current = op;
    SetParamValue(op, 0, value);
    ASSERT_EQ(AddOpAt(level, frame), 0);
  }
  static TimeFileRecord* File(const char* name) {
    TimeFileRecord* r = NewFileRecord();
    CopyText(r->fileName, name);
    return r;
  }
};

TEST_F(TimeLineTest, KeysHoldToTheNextKeyAndRunsFollowTheFrameCount) {
  TheProgram().ops.current = kContrast;
  ASSERT_EQ(CreateGrid(), 0);
  EXPECT_EQ(Row(0, kRowOp), "R-----|");
  EXPECT_EQ(Anim().timeline.cursor.row, kRowOp);
  ASSERT_EQ(AddOpAt(0, 2), 0);
  EXPECT_EQ(Row(0, kRowOp), "R|R---|");
  ASSERT_EQ(ChangeFrameCount(10), 0);
  EXPECT_EQ(Row(0, kRowOp), "R|R------|");
  ASSERT_EQ(ChangeFrameCount(5), 0);
  EXPECT_EQ(Row(0, kRowOp), "R|R-|");
  // A last cell that is a key is not extended.
  ASSERT_EQ(AddOpAt(0, 4), 0);
  ChangeFrameCount(7);
  EXPECT_EQ(Row(0, kRowOp), "R|R|R..");
  // A level whose cells all lie past the new end is no longer in use.
  ASSERT_EQ(AddOpAt(2, 6), 0);
  EXPECT_EQ(LevelsInUse(), 3);
  ChangeFrameCount(5);
  EXPECT_FALSE(RowExists(2, kRowOp));
  EXPECT_EQ(LevelsInUse(), 1);
  EXPECT_EQ(Row(0, kRowOp), "R|R|R");
  // The count stays within 2..4096.
  ChangeFrameCount(1);
  EXPECT_EQ(FrameCount(), 2);
  ChangeFrameCount(100000);
  EXPECT_EQ(FrameCount(), kMaxFrames);
}

TEST_F(TimeLineTest, FilesAssignedOneToARunOrOnePerFrame) {
  ASSERT_EQ(AssignFiles({"dir/a.bmp"}, File(""), 1, 2, kRowSource), 0);
  EXPECT_EQ(Row(1, kRowSource), "..R---|");
  ASSERT_EQ(AssignFiles({"dir/clip.AVI"}, File(""), 1, 4, kRowSource), 0);
  EXPECT_EQ(Row(1, kRowSource), "..R|R-|");
  EXPECT_TRUE(FileRecordOf(CellAt(1, 4, kRowSource))->video);
  EXPECT_FALSE(FileRecordOf(CellAt(1, 2, kRowSource))->video);
  // Four names at frame 5 of 7: frames 5 and 6, no holds.
  ASSERT_EQ(AssignFiles({"a", "b", "c", "d"}, File(""), 0, 5, kRowAction), 0);
  EXPECT_EQ(Row(0, kRowAction), ".....RR");
  EXPECT_EQ(CellText(kRowAction, CellAt(0, 6, kRowAction)), "b");
  EXPECT_EQ(LevelsInUse(), 2);
}

TEST_F(TimeLineTest, RemovingTidiesTheLevelMovesUpperLevelsDownAndTheirTrends) {
  OpWith(0, 0, kContrast, 10);
  OpWith(1, 3, kBrightness, 20);
  OpWith(2, 1, kContrast, 30);
  Trend* upper = FindOrCreateTrend(static_cast<TrendVar>(OpOf(kContrast).slots[0].binding), 2);
  Trend* middle = FindOrCreateTrend(kTrendLevel, 1);
  ASSERT_TRUE(upper && middle);
  Anim().timeline.cursor = {1, 3, kRowOp};
  RemoveRecordAt(1, 3, kRowOp);
  EXPECT_EQ(LevelsInUse(), 2);
  EXPECT_EQ(Row(1, kRowOp), ".R----|");
  EXPECT_EQ(upper->level, 1);
  EXPECT_EQ(Trends().size(), 1u) << "the removed level's Trend goes with it";
  // The cursor falls back to a row the level has.
  Anim().timeline.cursor = {1, 0, kRowArea};
  RemoveRecordAt(1, 1, kRowOp);
  EXPECT_EQ(LevelsInUse(), 1);
  EXPECT_EQ(Anim().timeline.cursor.level, 0);
  EXPECT_EQ(Anim().timeline.cursor.row, kRowOp);
}

TEST_F(TimeLineTest, EffectiveContentFollowsHoldsGapsAndInterpolation) {
  TimeFileRecord* clip = File("clip.flc");
  clip->startFrame = 10, clip->increment = 3;
  AssignFiles({"clip.flc"}, clip, 0, 1, kRowSource);
  SetCell(0, 3, kRowSource, kCellEmpty);  // a gap ends the run
  EXPECT_EQ(EffectiveContent(0, 0, kRowSource).key, kCellEmpty);
  EXPECT_EQ(EffectiveContent(0, 2, kRowSource).videoFrame, 13);
  EXPECT_EQ(EffectiveContent(0, 3, kRowSource).key, kCellEmpty);
  EXPECT_EQ(EffectiveContent(0, 5, kRowSource).key, kCellEmpty);

  OpWith(0, 0, kContrast, 0);
  OpWith(0, 4, kContrast, 100);
  EXPECT_EQ(OpValueAt(0, 2), 50);
  // Past the last key the run wraps to frame 0's, reached at F (7): from
  // 100 at frame 4 towards 0 over 3 frames.
  EXPECT_EQ(OpValueAt(0, 5), 67);
  EXPECT_EQ(OpValueAt(0, 6), 34);
  OpRecordOf(CellAt(0, 0, kRowOp))->interpolate = 0;
  EXPECT_EQ(OpValueAt(0, 2), 0);
  // Another operation at the next key: the key's values stand.
  OpWith(1, 0, kContrast, 10);
  OpWith(1, 4, kBrightness, 90);
  EXPECT_EQ(OpValueAt(1, 2), 10);
}

TEST_F(TimeLineTest, OpsBlendIn64BitsByKindAndKeepSlotsWithoutAPartner) {
  OpSettings a = MakeOpSettings(kContrast), b = a;
  a.values[0] = -2000000000, b.values[0] = 2000000000;
  EXPECT_EQ(InterpolateOp(a, b, 0, 4, 2).values[0], 0);
  a.kinds[0] = b.kinds[0] = kParamFloat;
  a.values[0] = std::bit_cast<std::int32_t>(1.5f), b.values[0] = std::bit_cast<std::int32_t>(3.5f);
  EXPECT_FLOAT_EQ(std::bit_cast<float>(InterpolateOp(a, b, 0, 4, 2).values[0]), 2.5f);
  a.kinds[0] = b.kinds[0] = kParamColour;
  a.values[0] = 0x00FF0010, b.values[0] = 0x00010030;
  EXPECT_EQ(InterpolateOp(a, b, 0, 2, 1).values[0], 0x00800020);
  b.bindings[0] = 0;  // no partner
  a.values[0] = 42;
  EXPECT_EQ(InterpolateOp(a, b, 0, 2, 1).values[0], 42);
}

TEST_F(TimeLineTest, CopiedCellsAndWrittenBackOpsAreCellsOfTheirOwn) {
  OpWith(0, 0, kContrast, 25);
  ASSERT_EQ(CopyCell(kRowOp, 0, 0, 3, 2), 0);
  EXPECT_EQ(Row(3, kRowOp), "..R....");
  EXPECT_NE(CellAt(3, 2, kRowOp), CellAt(0, 0, kRowOp));
  EXPECT_EQ(Anim().timeline.cursor.level, 3);
  EXPECT_EQ(OpValueAt(3, 2), 25);

  const auto binding = static_cast<TrendVar>(OpOf(kContrast).slots[0].binding);
  Trend* t = FindOrCreateTrend(binding, 3);
  SetEditedOp(3, 2);
  SetParamValue(kContrast, 0, -60);
  WriteBackEditedOp();
  EXPECT_EQ(OpValueAt(3, 2), -60);
  EXPECT_EQ(t->frameValues[2], -60);
  // Written back once only.
  SetParamValue(kContrast, 0, 5);
  WriteBackEditedOp();
  EXPECT_EQ(OpValueAt(3, 2), -60);
}

TEST_F(TimeLineTest, StatusLineNamesTheCellFrameTimeAndLevel) {
  EXPECT_EQ(FrameTime(1000, 70), "01:10.000");
  EXPECT_EQ(FrameTime(3, 70), "00:00.210");
  OpWith(0, 0, kContrast, 0);
  Anim().timeline.cursor = {0, 1, kRowOp};
  EXPECT_EQ(CursorStatusText(70), "Repeat Op   Frame:    2   Time: 00:00.070   Level:  1");
  Anim().timeline.cursor.frame = 0;
  EXPECT_EQ(CursorStatusText(70).substr(0, 8), "Contrast");
}

}  // namespace
}  // namespace qv
