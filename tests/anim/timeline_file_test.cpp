#include "anim/timeline_file.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "anim/anim_state.h"
#include "area/stored_area.h"
#include "ops/op_state.h"
#include "support/program_fixture.h"

namespace qv {
namespace {

constexpr OpId kMotionBlur = 3121;
constexpr OpId kBrightness = 3182;

std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class TimeLineFileTest : public test::ProgramTest {
 protected:
  std::vector<std::string> Read(const std::string& text) {
    TimeLineLoadReport report;
    EXPECT_EQ(ReadTimeLineText(text, &report), 0);
    return report.warnings;
  }
};

TEST_F(TimeLineFileTest, AFileOfEveryLineKindLoadsAndSavesByteForByte) {
  const auto fixture = std::filesystem::path(QV_SOURCE_DIR) / "tests/anim/data/every_kind.tml";
  TimeLineLoadReport report;
  ASSERT_EQ(LoadTimeLine(fixture, &report), 0);
  EXPECT_TRUE(report.warnings.empty()) << report.warnings.front();
  EXPECT_EQ(FrameCount(), 24);
  EXPECT_EQ(LevelsInUse(), 2);
  EXPECT_EQ(CellText(kRowAction, CellAt(0, 0, kRowAction)), "my pictures/start.bmp");
  EXPECT_EQ(CellText(kRowSource, CellAt(1, 0, kRowSource)), "Level(1)");
  EXPECT_EQ(FileRecordOf(CellAt(0, 3, kRowSource))->increment, 2);
  const StoredArea* font = AreaRecordOf(CellAt(1, 0, kRowArea));
  ASSERT_TRUE(font);
  EXPECT_EQ(StoredText(*font), "Hi there");
  EXPECT_FLOAT_EQ(font->magnificationY, 2.5f);
  EXPECT_EQ(AreaRecordOf(CellAt(1, 3, kRowArea))->mode, kAreaColourKey);
  EXPECT_EQ(AreaRecordOf(CellAt(1, 4, kRowArea))->discriminator[5], 60);
  const OpSettings* blur = OpRecordOf(CellAt(0, 3, kRowOp));
  ASSERT_TRUE(blur);
  EXPECT_EQ(blur->id, kMotionBlur);
  EXPECT_EQ(blur->values[1], -90);
  Trend* grow = FindTrend(kTrendGrow, 1);
  ASSERT_TRUE(grow);
  EXPECT_EQ(grow->count, 24);
  EXPECT_EQ(grow->frameValues[23], 92);
  EXPECT_FALSE(Anim().timeline.modified);

  const auto copy = workDir / "every_kind.tml";
  ASSERT_EQ(SaveTimeLine(copy), 0);
  EXPECT_EQ(ReadFile(copy), ReadFile(fixture));
}

TEST_F(TimeLineFileTest, HeaderFramesAndCellPlacesAreCheckedAndKeptInRange) {
  TheProgram().ops.current = kBrightness;
  ChangeFrameCount(7);
  ASSERT_EQ(CreateGrid(), 0);
  for (std::string bad : {"", "TIMELIN\nFrames:9\n"}) {
    host->messages.clear();
    EXPECT_EQ(ReadTimeLineText(bad), 1);
    EXPECT_EQ(host->MessageNumbers(), std::vector<int>{bad.empty() ? 14 : 17});
    EXPECT_EQ(FrameCount(), 7) << "a refused file changes nothing";
    EXPECT_TRUE(RowExists(0, kRowOp));
  }
  Read("timeline\nFrames:1\n");
  EXPECT_EQ(FrameCount(), 2);
  EXPECT_FALSE(RowExists(0, kRowOp)) << "the TimeLine is cleared before reading";

  host->messages.clear();
  auto warnings = Read("TIMELINE\nFrames:999999\nSRC L:0 F:1 =\nSRC L:101 F:1 =\nSRC L:3 F:5000 =\nSRC L:2 F:-4 ==\n");
  EXPECT_EQ(FrameCount(), kMaxFrames);
  EXPECT_EQ(host->MessageNumbers(), std::vector<int>{17});
  EXPECT_EQ(warnings.size(), 4u);
  EXPECT_EQ(CellAt(1, 0, kRowSource), kCellHoldEnd);
  EXPECT_EQ(LevelsInUse(), 2);
}

TEST_F(TimeLineFileTest, OpCellsAreTheNamedOperationsWithValuesInRange) {
  TheProgram().ops.current = kBrightness;
  SetParamValue(kMotionBlur, 2, 33);
  auto warnings = Read(
      "TIMELINE\nFrames:5\n"
      "OP L:1 F:1 \"motion\"\n- Var:\"Length\",999999\n"
      "OP L:1 F:2 \"No Such Effect\"\n- Var:\"Nothing\",5\n"
      "OP L:1 F:3 \"Contrast\"\n- Trend Var:\"Amo\" Splined:1 9,5 2,7 2,8 -3,1\n");
  const OpSettings* r = OpRecordOf(CellAt(0, 0, kRowOp));
  ASSERT_TRUE(r);
  EXPECT_EQ(r->id, kMotionBlur);
  EXPECT_EQ(r->values[0], 2000) << "Length's trend range ends at 2000";
  // The slots the file did not set are Motion Blur's own, not Brightness's.
  EXPECT_EQ(r->bindings[2], OpOf(kMotionBlur).slots[2].binding);
  EXPECT_EQ(r->values[2], 33);
  EXPECT_EQ(OpRecordOf(CellAt(0, 1, kRowOp))->id, Catalogue().front().id);
  ASSERT_EQ(warnings.size(), 4u);
  // Trend points: inside 0..F-1, sorted, one per frame, from end to end.
  Trend* t = FindTrend(static_cast<TrendVar>(OpOf(3181).slots[0].binding), 0);
  ASSERT_TRUE(t);
  EXPECT_TRUE(t->spline);
  std::vector<int> points;
  for (int i = 0; i < t->count; ++i) points.insert(points.end(), {t->frames[i], t->values[i]});
  EXPECT_EQ(points, (std::vector<int>{0, 1, 1, 8, 4, 5}));
}

TEST_F(TimeLineFileTest, QuotedNamesComeBackWholeAndUnquotedOnesAsOlderFilesHadThem) {
  auto warnings = Read("TIMELINE\nFrames:3\nSRC L:1 F:1 V:0 S:1 I:1 \"a b.bmp\"\nSRC L:1 F:2 V:0 S:1 I:1 a b.bmp\n"
                       "SRC L:2 F:1 V:0 S:0 I:5000 Level(2)\n");
  // The start frame, the increment and a level that is not below this one
  // are each told; the name stays as written.
  ASSERT_EQ(warnings.size(), 3u);
  EXPECT_NE(warnings[2].find("Level(2) names no level below level 2"), std::string::npos);
  EXPECT_EQ(CellText(kRowSource, CellAt(0, 0, kRowSource)), "a b.bmp");
  EXPECT_EQ(CellText(kRowSource, CellAt(0, 1, kRowSource)), "a");
  const TimeFileRecord* r = FileRecordOf(CellAt(1, 0, kRowSource));
  EXPECT_EQ(r->startFrame, 1);
  EXPECT_EQ(r->increment, kMaxIncrement);
  const std::string text = TimeLineText("t");
  EXPECT_NE(text.find("SRC L:1 F:1 V:0 S:1 I:1 \"a b.bmp\"\n"), std::string::npos);
  EXPECT_NE(text.find("SRC L:1 F:2 V:0 S:1 I:1 a\n"), std::string::npos);
  EXPECT_NE(text.find("SRC L:2 F:1 V:0 S:1 I:1000 Level(2)\n"), std::string::npos);
}

TEST_F(TimeLineFileTest, AreaFieldsOutOfRangeOrNoNumberAreSkippedAndTold) {
  auto warnings = Read(
      "TIMELINE\nFrames:3\nAREA L:1 F:1\n- Mode:Font\n- Image:2000000,20\n- FontW:nan\n- FontH:   1e300\n"
      "- FontRot:inf\n- Point:0,5,2000000,0\n- Point:1,5,6,255\n- TranLevel:300\n"
      "AREA L:1 F:2\n- Mode:Lasso\nAREA L:1 F:3\n- M\"o\"de:Polygon\n");
  const StoredArea* font = AreaRecordOf(CellAt(0, 0, kRowArea));
  ASSERT_TRUE(font);
  EXPECT_EQ(font->mode, kAreaFont);
  EXPECT_EQ(font->maskWidth, 0) << "beyond +-1000000 is no number";
  EXPECT_EQ(font->maskHeight, 20);
  EXPECT_FLOAT_EQ(font->magnificationX, 1.0f);
  EXPECT_FLOAT_EQ(font->magnificationY, 100.0f);
  EXPECT_FLOAT_EQ(font->rotation, 0.0f);
  ASSERT_EQ(font->pointCount, 1);
  EXPECT_EQ(font->points[0].y, 6);
  EXPECT_EQ(font->level, 255);
  EXPECT_EQ(AreaRecordOf(CellAt(0, 1, kRowArea))->mode, kAreaRedo);
  // Quotes inside the key: the line no longer holds the token as written.
  EXPECT_EQ(AreaRecordOf(CellAt(0, 2, kRowArea))->mode, kAreaPolygon);
  EXPECT_EQ(warnings.size(), 6u);
}

TEST_F(TimeLineFileTest, EveryCellOfABigGridIsReadAndLongLinesAreCut) {
  std::string text = "TIMELINE\nFrames:30\n";
  for (int l = 1; l <= 50; ++l)
    for (int f = 1; f <= 30; ++f)
      for (const char* row : {"SRC", "AREA", "OP", "ACT"}) text += std::string(row) + " L:" + std::to_string(l) + " F:" + std::to_string(f) + " =\n";
  text += "SRC L:1 F:1 V:0 S:1 I:1 " + std::string(5000, 'x') + "\nSRC L:2 F:2 V:0 S:1 I:1 b.bmp\n";
  auto warnings = Read(text);
  EXPECT_EQ(CellAt(49, 29, kRowAction), kCellHold);
  EXPECT_EQ(CellText(kRowSource, CellAt(0, 0, kRowSource)).size(), std::size_t{kFileNameRoom - 1});
  EXPECT_EQ(CellText(kRowSource, CellAt(1, 1, kRowSource)), "b.bmp");
  ASSERT_EQ(warnings.size(), 2u);
  EXPECT_NE(warnings[0].find("longer than 1023"), std::string::npos);
  EXPECT_NE(warnings[1].find("cut to 311"), std::string::npos);
}

TEST_F(TimeLineFileTest, SavingReportsFailureAndClearsTheModifiedMark) {
  ASSERT_EQ(CreateGrid(), 0);
  Anim().timeline.modified = true;
  EXPECT_EQ(SaveTimeLine(workDir / "none" / "x.tml"), 1);
  EXPECT_EQ(host->MessageNumbers(), std::vector<int>{84});
  EXPECT_TRUE(Anim().timeline.modified);
  // What stands where the file would go stays, with nothing left beside it.
  std::filesystem::create_directories(workDir / "taken.tml" / "inside");
  const auto entries = [&] {
    return std::distance(std::filesystem::directory_iterator(workDir), std::filesystem::directory_iterator{});
  };
  const auto before = entries();
  EXPECT_EQ(SaveTimeLine(workDir / "taken.tml"), 1);
  EXPECT_EQ(host->MessageNumbers(), (std::vector<int>{84, 84}));
  EXPECT_TRUE(std::filesystem::exists(workDir / "taken.tml" / "inside"));
  EXPECT_EQ(entries(), before);
  EXPECT_TRUE(Anim().timeline.modified);
  ASSERT_EQ(SaveTimeLine(workDir / "x.tml"), 0);
  EXPECT_FALSE(Anim().timeline.modified);
  EXPECT_EQ(LoadTimeLine(workDir / "none.tml"), 1);
  EXPECT_EQ(host->MessageNumbers().back(), 71);
  ClearTimeLine();
  EXPECT_EQ(TimeLineText("e.tml"), "TIMELINE - e.tml\nFrames:7\n* Empty TimeLine\n");
}

TEST_F(TimeLineFileTest, NamesResolveBesideTheFileThenInTheProjectFolder) {
  std::filesystem::create_directories(workDir / "tml" / "pics");
  std::filesystem::create_directories(workDir / "proj");
  std::ofstream(workDir / "tml" / "pics" / "a.bmp") << "x";
  std::ofstream(workDir / "proj" / "b.bmp") << "x";
  EXPECT_EQ(ResolveTimeLinePath("pics\\a.bmp", workDir / "tml", workDir / "proj"), workDir / "tml" / "pics" / "a.bmp");
  EXPECT_EQ(ResolveTimeLinePath("b.bmp", workDir / "tml", workDir / "proj"), workDir / "proj" / "b.bmp");
  EXPECT_EQ(ResolveTimeLinePath("c.bmp", workDir / "tml", workDir / "proj"), std::filesystem::path("c.bmp"));
  EXPECT_EQ(ResolveTimeLinePath("/x/c.bmp", workDir / "tml", {}), std::filesystem::path("/x/c.bmp"));
}

}  // namespace
}  // namespace qv
