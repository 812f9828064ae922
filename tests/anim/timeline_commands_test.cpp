// The Area menu's file commands and the TimeLine's own, through the dialogs
// and questions a person answers.
#include <filesystem>

#include "anim/anim_state.h"
#include "anim/timeline_file.h"
#include "app/commands.h"
#include "area/area_files.h"
#include "support/program_fixture.h"

namespace qv {
namespace {

class FileCommandsTest : public test::ProgramTest {};

TEST_F(FileCommandsTest, AreaAndShapeFilesGoThroughTheirDialogsAndAreRemembered) {
  ASSERT_EQ(InitImageTable(), 0);
  ImageRecord* image = CreateImage(30, 20, "test");
  ASSERT_EQ(AddImage(image, false), 0);
  TheProgram().images.current = image;
  AreaSelection& s = TheProgram().area.selection;
  s.mode = kAreaFreehand;
  PushPoint(s.capture, 2, 2, kPenUp);
  PushPoint(s.capture, 20, 4, kPenDown);
  PushPoint(s.capture, 10, 15, kPenDown);
  const std::string area = (workDir / "a.asf").string(), shape = (workDir / "s.ish").string();
  host->chosenSaveFiles = {area, shape};
  EXPECT_EQ(RouteCommand(627), 0);
  EXPECT_EQ(RouteCommand(9772), 0);
  EXPECT_EQ(host->fileDialogs, (std::vector<std::string>{"Save Area Selection", "Save Shape"}));
  const Settings& settings = TheProgram().settings;
  EXPECT_EQ(settings.areaPath, area);
  EXPECT_EQ(settings.iShapeName, "s");
  EXPECT_EQ(settings.iShapeExtn, ".ish");
  EXPECT_EQ(settings.iShapePath, workDir.string());

  ClearAreaSelection();
  s.mode = kAreaEllipse;
  host->chosenFiles = {{area}, {shape}};
  EXPECT_EQ(RouteCommand(626), 0);
  EXPECT_EQ(s.mode, kAreaFreehand);
  EXPECT_EQ(TheProgram().area.maskImage, image) << "made on the current image at once";
  EXPECT_EQ(RouteCommand(9771), 0);
  EXPECT_EQ(AreaFiles().shapeName, "s");
  EXPECT_EQ(RouteCommand(626), 2) << "cancelled";
}

TEST_F(FileCommandsTest, AChangedTimeLineIsOfferedForSavingBeforeItGoes) {
  ASSERT_EQ(CreateGrid(), 0);
  EXPECT_EQ(AskToSaveTimeLine(), 0) << "nothing changed yet";
  AddOpAt(0, 3);
  host->answers = {0};  // Cancel
  EXPECT_EQ(EraseTimeLineCommand(), 2);
  EXPECT_TRUE(RowExists(0, kRowOp));
  host->answers = {1};  // Save, to a file chosen now
  host->chosenSaveFiles = {(workDir / "t.tml").string()};
  host->chosenFiles = {{(workDir / "t.tml").string()}};
  EXPECT_EQ(LoadTimeLineCommand(), 0);
  EXPECT_EQ(CellAt(0, 3, kRowOp) > 10, true) << "saved, then read back";
  EXPECT_FALSE(Anim().timeline.modified);
  AddOpAt(0, 5);
  host->answers = {2};  // Lose Changes
  EXPECT_EQ(EraseTimeLineCommand(), 0);
  EXPECT_EQ(LevelsInUse(), 0);
  EXPECT_EQ(host->MessageNumbers(), (std::vector<int>{85, 85, 85}));
}

}  // namespace
}  // namespace qv
