#include "app/frame.h"

#include <cstdlib>
#include <fstream>
#include <set>

#include "app/commands.h"
#include "app/settings.h"
#include "base/string_table.h"
#include "formats/format_test_util.h"
#include "ops/op_catalogue.h"
#include "ops/op_state.h"
#include "store/undo.h"
#include "support/program_fixture.h"

namespace qv::test {
namespace {

// The names of the images in the table, in order.
std::vector<std::string> Loaded() {
  std::vector<std::string> names;
  for (int i = 0; i < ImageCount(); ++i) names.emplace_back(ImageAt(i)->name);
  return names;
}

class FrameTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    ::setenv("PIXQV_INI", (workDir / "PIXQV.ini").c_str(), 1);
    ASSERT_EQ(StartUp(), 1);
  }
  void TearDown() override {
    ::unsetenv("PIXQV_INI");
    ProgramTest::TearDown();
  }
  std::string MakeFile(const std::string& name, const std::string& content = "") {
    if (content.empty()) {
      WriteBytes(workDir / name, TinyBmp());
    } else {
      std::ofstream(workDir / name, std::ios::binary) << content;
    }
    return (workDir / name).string();
  }
};

TEST_F(FrameTest, CommandLineOpensAtMostNineteenWords) {
  std::vector<std::string> words;
  for (int i = 1; i <= 25; ++i) words.push_back(MakeFile("pic" + std::to_string(i) + ".bmp"));
  ProcessCommandLine(words);
  ASSERT_EQ(Loaded().size(), 19u);
  EXPECT_EQ(Loaded().front(), "pic1.bmp");
  EXPECT_EQ(Loaded().back(), "pic19.bmp");
  EXPECT_EQ(TheProgram().settings.lastFiles[0], words[18]);
}

TEST_F(FrameTest, MissingFilesAreReportedAndStartUpGoesOn) {
  MakeFile("a.bmp");
  ProcessCommandLine({"/icon", "gone.bmp", "./a.bmp", "", MakeFile("b.bmp")});
  EXPECT_EQ(host->MessageNumbers(), std::vector<int>{71});
  EXPECT_EQ(host->messages[0].extra, "File: \"gone.bmp\"");
  EXPECT_EQ(Loaded(), std::vector<std::string>{"a.bmp"}) << "an empty word ends the command line";
  EXPECT_EQ(TheProgram().settings.lastFiles[0], (workDir / "a.bmp").string());
  EXPECT_TRUE(IsIconWord("/ICONIC"));
  EXPECT_FALSE(IsIconWord("/ico"));
}

TEST_F(FrameTest, OpenerLoadsAnImageAndRemembersIt) {
  MakeFile("sky.bmp");
  EXPECT_EQ(OpenFile("./sky.bmp"), 0);
  ASSERT_EQ(ImageCount(), 1);
  EXPECT_EQ(host->added.size(), 1u) << "shown in a view";
  EXPECT_EQ(ImageAt(0)->width, 2);
  EXPECT_EQ(std::string(ImageAt(0)->format), "BMP");
  EXPECT_EQ(TheProgram().settings.lastFiles[0], (workDir / "sky.bmp").string()) << "absolute, without ./";
  EXPECT_TRUE(host->messages.empty());

  // A file that is no picture is reported and not remembered.
  EXPECT_EQ(OpenFile(MakeFile("notes.txt", "plain words, nothing else")), 1);
  EXPECT_EQ(host->MessageNumbers(), std::vector<int>{18});
  EXPECT_EQ(ImageCount(), 1);
  EXPECT_EQ(TheProgram().settings.lastFiles[1], "");
}

TEST_F(FrameTest, CloseAfterFileNamesOpensThemAndExits) {
  TheProgram().settings.toolText = 0;
  ProcessCommandLine({MakeFile("a.bmp"), MakeFile("b.bmp"), "/Close", MakeFile("c.bmp")});
  const auto& recent = TheProgram().settings.lastFiles;
  EXPECT_EQ(recent[0], (workDir / "b.bmp").string());
  EXPECT_EQ(recent[1], (workDir / "a.bmp").string());
  EXPECT_TRUE(recent[2].empty()) << "nothing is opened after /close";
  EXPECT_TRUE(TheProgram().frame.quitRequested);
  EXPECT_EQ(ImageCount(), 0);

  // The settings were written on the way out and come back at the next start.
  ResetProgram();
  ASSERT_EQ(StartUp(), 1);
  EXPECT_EQ(TheProgram().settings.toolText, 0);
  EXPECT_EQ(std::filesystem::path(TheProgram().settings.lastFiles[0]).filename(), "b.bmp");
}

TEST_F(FrameTest, OpenerRoutesByTheFirstBytes) {
  EXPECT_EQ(OpenFile(MakeFile("strip.flm", "ZFLM0001")), 1);
  // A project without images or settings lines is still a project.
  EXPECT_EQ(OpenFile(MakeFile("job.qvp", "QVPROJ v1")), 0);
  EXPECT_EQ(OpenFile(MakeFile("x", "Z")), 1);
  // A batch frame of a TimeLine that is not there: message 71, nothing written.
  ProcessCommandLine({"/e:run.qvt,3,out"});
  EXPECT_TRUE(host->notes.empty());
  EXPECT_EQ(TheProgram().frame.batchResult, 1);
  EXPECT_FALSE(std::filesystem::exists(workDir / "out"));
  // Neither film strips nor projects go to the image reader, which would
  // find a one-byte file too small: the film strip loader finds the header
  // cut short.
  EXPECT_EQ(host->MessageNumbers(), (std::vector<int>{92, 79, 71}));
  EXPECT_EQ(ImageCount(), 0);
  EXPECT_FALSE(TheProgram().frame.quitRequested);
  EXPECT_EQ(std::filesystem::path(TheProgram().settings.lastFiles[0]).filename(), "job.qvp");
  EXPECT_TRUE(TheProgram().settings.lastFiles[1].empty());
}

TEST_F(FrameTest, CancelledSaveQuestionKeepsTheProgramRunning) {
  ASSERT_EQ(NewImage(), 0);
  ImageAt(0)->changed = 1;
  host->answers.push_back(0);  // Cancel, do not close
  EXPECT_EQ(RouteCommand(9898), 1);
  EXPECT_FALSE(TheProgram().frame.exiting);
  EXPECT_FALSE(TheProgram().frame.quitRequested);
  EXPECT_FALSE(std::filesystem::exists(workDir / "PIXQV.ini"));
  EXPECT_EQ(ImageCount(), 1);

  host->answers.push_back(2);  // close without saving
  EXPECT_EQ(RouteCommand(9898), 0);
  EXPECT_TRUE(TheProgram().frame.quitRequested);
  EXPECT_TRUE(std::filesystem::exists(workDir / "PIXQV.ini"));
}

TEST_F(FrameTest, ShutDownFreesEveryOwnerFirst) {
  ASSERT_EQ(NewImage(), 0);
  ASSERT_EQ(TakeUndo(0, 0, 9, 9, ImageAt(0)), 0);
  ASSERT_NE(EnsureProfile(ProfileId::Arm), nullptr);
  ImageAt(0)->changed = 0;
  ASSERT_EQ(ShutDown(), 0);
  // Nothing may point into the released places afterwards.
  const Program& p = TheProgram();
  EXPECT_EQ(p.undo.stack, nullptr);
  EXPECT_EQ(p.undo.latest, nullptr);
  EXPECT_EQ(FindProfile(ProfileId::Arm), nullptr);
  EXPECT_EQ(p.area.mask.place, nullptr);
  EXPECT_EQ(p.memory.placesInUse, 0);
}

TEST_F(FrameTest, AFileDirectlyUnderTheRootIsNotACommand) {
  const std::string missing = "/qv-missing-" + std::to_string(::getpid()) + ".bmp";
  ProcessCommandLine({missing, "/icon", "/tmp"});
  EXPECT_EQ(host->MessageNumbers(), (std::vector<int>{71, 71})) << "\"/icon\" stays a command";
  EXPECT_EQ(host->messages[0].extra, "File: \"" + missing + "\"");
  EXPECT_EQ(host->messages[1].extra, "File: \"/tmp\"") << "a folder, not a command";
  // One that is there opens, where the test may write there.
  const std::filesystem::path there = "/qv-frame-test-" + std::to_string(::getpid()) + ".bmp";
  {
    std::ofstream out(there, std::ios::binary);
    const auto bytes = TinyBmp();
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
      std::error_code ec;
      std::filesystem::remove(there, ec);
      GTEST_SKIP() << "cannot write under /";
    }
  }
  ProcessCommandLine({there.string()});
  std::filesystem::remove(there);
  EXPECT_EQ(Loaded(), std::vector<std::string>{there.filename().string()});
}

class CommandTest : public FrameTest {};

TEST_F(CommandTest, TableIsCompleteAndConsistent) {
  // Every command the main window documents, menus and buttons.
  const std::set<int> documented = {
      3030, 3040, 3050, 106, 103, 118, 111, 107, 108, 6700, 9898, 209, 613, 6420, 202, 203, 204, 9493,
      201, 310, 302, 308, 303, 304, 309, 305, 306, 307, 632, 612, 611, 361, 362, 363, 364, 366,
      367, 368, 369, 370, 387, 123, 117, 115, 116, 205, 114, 119, 608, 609, 616, 626, 627, 9771,
      9772, 619, 622, 623, 624, 625, 618, 621, 620, 911, 912, 393, 901, 3010, 3020, 3022, 3024,
      3026, 908, 902, 904, 905, 3027, 3025, 3029, 3997, 628, 629, 706, 709, 710, 705, 708, 701,
      711, 702, 703, 797, 704, 798, 707, 9714, 9716, 9721};
  std::set<int> ids;
  for (const auto& e : CommandTable()) {
    EXPECT_TRUE(ids.insert(e.id).second) << "id " << e.id << " twice";
    EXPECT_FALSE(CommandText(e.id).empty()) << "id " << e.id << " has no text";
    if (e.flags & (kToggle | kRadio)) {
      EXPECT_TRUE(!e.handler || e.checked) << "id " << e.id;
    }
  }
  for (int id : documented) EXPECT_TRUE(ids.count(id)) << "id " << id << " missing";
  EXPECT_EQ(ids.size(), documented.size() + 6) << "plus Stop, Pause and the zoom commands 9410, 9420, 9718, 9720";
  EXPECT_EQ(MenuTitle(Menu::View), "&View");
  EXPECT_EQ(static_cast<int>(Menu::View), kViewMenuIndex);
  EXPECT_TRUE(DuplicateStringIds().empty());
}

TEST_F(CommandTest, DisplayModeIsRefusedWhileASequenceRuns) {
  EXPECT_TRUE(CommandChecked(302));
  BeginSequence("Generating", 10);
  EXPECT_EQ(RouteCommand(303), 1);
  EXPECT_EQ(host->MessageNumbers(), std::vector<int>{78});
  EXPECT_EQ(TheProgram().display.mode, kModeRgb24);
  EXPECT_EQ(host->redraws, 0);
  TogglePause();  // paused counts as running
  EXPECT_EQ(RouteCommand(307), 1);
  EXPECT_EQ(TheProgram().display.mode, kModeRgb24);
  // Commands that disturb nothing stay available.
  EXPECT_EQ(RouteCommand(612), 0);
  EndSequence();

  EXPECT_EQ(RouteCommand(303), 0);
  EXPECT_EQ(TheProgram().display.mode, kModeColour256);
  EXPECT_TRUE(CommandChecked(303));
  EXPECT_FALSE(CommandChecked(302));
  EXPECT_EQ(host->redraws, 1);
}

TEST_F(CommandTest, BusyWorkRefusesExitAndImageChanges) {
  std::string file = MakeFile("a.bmp");
  BeginProgress("Blur", 100);
  EXPECT_EQ(RouteCommand(9898), 1);
  EXPECT_EQ(RouteCommand(106), 1);
  EXPECT_EQ(OpenFileCommand(file), 1);
  EXPECT_EQ(host->MessageNumbers(), (std::vector<int>{86, 86, 86}));
  EXPECT_FALSE(TheProgram().frame.exiting);
  EXPECT_EQ(ImageCount(), 0);
  EXPECT_TRUE(CommandAvailable(9727));
  EXPECT_EQ(RouteCommand(9727), 0);
  EXPECT_EQ(Progress(1), 1) << "Stop reaches the running loop";
  EndProgress();
  EXPECT_FALSE(CommandAvailable(9727));
}

TEST_F(CommandTest, TogglesRadiosAndMissingSubsystems) {
  EXPECT_EQ(RouteCommand(115), 0);
  EXPECT_TRUE(CommandChecked(115));
  EXPECT_FALSE(CommandChecked(117));
  EXPECT_EQ(TheProgram().settings.modAlpha, 0);

  EXPECT_EQ(RouteCommand(114), 0);
  EXPECT_TRUE(LogIsOpen());
  EXPECT_TRUE(CommandChecked(114));
  EXPECT_EQ(RouteCommand(114), 0);
  EXPECT_FALSE(LogIsOpen());

  // Toggles whose value another subsystem owns, an int and a bool.
  EXPECT_TRUE(CommandChecked(363));
  EXPECT_EQ(RouteCommand(363), 0);
  EXPECT_EQ(TheProgram().display.alphaBack, 0);
  EXPECT_FALSE(CommandChecked(363));
  EXPECT_EQ(host->redraws, 1) << "the views show the change";
  EXPECT_TRUE(CommandChecked(393));
  EXPECT_EQ(RouteCommand(393), 0);
  EXPECT_FALSE(TheProgram().area.maskWithAlpha);
  EXPECT_FALSE(CommandChecked(393));

  // Not built yet: shown disabled, and routing it does nothing.
  EXPECT_FALSE(CommandAvailable(710));
  EXPECT_EQ(RouteCommand(710), 1);
  EXPECT_EQ(RouteCommand(12345), -1);
  EXPECT_TRUE(host->messages.empty());

  EXPECT_EQ(RouteCommand(107), 1);
  EXPECT_EQ(host->MessageNumbers(), std::vector<int>{11});
}

// What a part not built yet would carry out is offered greyed, and lights up
// by itself once that part registers it: an effect its routines, a setting
// the command of the part that reads it.
TEST_F(CommandTest, PartsNotBuiltYetAreGreyedUntilTheyAre) {
  int built = 0;
  OpId missing = 0;
  for (const OpEntry& e : Catalogue()) {
    EXPECT_EQ(CommandAvailable(static_cast<int>(e.id)), HasWorker(e)) << e.id;
    built += HasWorker(e) ? 1 : 0;
    if (!HasWorker(e) && !missing) missing = e.id;
  }
  EXPECT_GT(built, 0);
  if (missing) {
    const OpId before = CurrentOp();
    EXPECT_EQ(RouteCommand(static_cast<int>(missing)), 1);
    EXPECT_EQ(CurrentOp(), before);
    ASSERT_EQ(host->notes.size(), 1u);
    EXPECT_NE(host->notes[0].find("is not available yet"), std::string::npos);
  }
  const std::pair<int, std::vector<int>> owners[] = {
      {201, {202, 203, 204}}, {902, {904, 905}}, {901, {3027, 3025, 3029}}};
  for (const auto& [owner, settings] : owners)
    for (int id : settings) EXPECT_EQ(CommandAvailable(id), CommandAvailable(owner)) << id;
  EXPECT_FALSE(CommandAvailable(387));
  const int accumulate = TheProgram().settings.accumulate;
  if (!CommandAvailable(202)) {
    EXPECT_EQ(RouteCommand(202), 1);
    EXPECT_EQ(TheProgram().settings.accumulate, accumulate);
  }
}

TEST_F(CommandTest, LoadImageOpensEveryChosenFile) {
  EXPECT_TRUE(CommandAvailable(103));
  std::filesystem::create_directory(workDir / "in");
  host->chosenFiles.push_back({workDir.string() + "/none.bmp", MakeFile("in/a.bmp"), MakeFile("in/b.bmp")});
  EXPECT_EQ(RouteCommand(103), 1) << "one of three failed";
  EXPECT_EQ(host->fileDialogs, std::vector<std::string>{"Load Image"});
  EXPECT_EQ(Loaded(), (std::vector<std::string>{"a.bmp", "b.bmp"}));
  EXPECT_EQ(host->MessageNumbers(), std::vector<int>{6});
  EXPECT_EQ(TheProgram().files.imagePath, (workDir / "in").string()) << "the first that loaded";
  EXPECT_EQ(TheProgram().images.newImage.width, 2);
  EXPECT_TRUE(TheProgram().settings.lastFiles[0].empty()) << "only a single choice is remembered";

  host->chosenFiles.push_back({MakeFile("c.bmp")});
  EXPECT_EQ(RouteCommand(103), 0);
  EXPECT_EQ(TheProgram().settings.lastFiles[0], (workDir / "c.bmp").string());
  EXPECT_EQ(RouteCommand(103), 2) << "a cancelled dialog";
}

}  // namespace
}  // namespace qv::test
