#include "app/settings.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "ops/op_state.h"
#include "support/program_fixture.h"

namespace qv::test {
namespace {

class SettingsTest : public ProgramTest {
 protected:
  // The key colour in the order of its settings line.
  static std::array<int, 10> KeyColourNumbers() {
    KeyColour k = GetKeyColour();
    return {k.red, k.green, k.blue, k.extra.useHsl, k.redRange, k.greenRange, k.blueRange,
            k.extra.hueRange, k.extra.saturationRange, k.extra.lightnessRange};
  }
  static std::array<int, 4> Place(const WindowPlace& w) { return {w.x, w.y, w.width, w.height}; }
  static std::array<int, 4> NewImageSize() {
    const NewImageDetails& n = TheProgram().images.newImage;
    return {n.width, n.height, n.dpiX, n.dpiY};
  }
  void SetUp() override {
    ProgramTest::SetUp();
    iniPath = workDir / "cfg" / "PIXQV.ini";
    ::setenv("PIXQV_INI", iniPath.c_str(), 1);
    TheProgram().display.screen = {24, 1, 24, 800, 600};
  }
  void TearDown() override {
    ::unsetenv("PIXQV_INI");
    ProgramTest::TearDown();
  }
  void WriteIni(const std::string& text) {
    std::filesystem::create_directories(iniPath.parent_path());
    std::ofstream(iniPath) << text;
  }
  std::string ReadIni() const {
    std::ifstream in(iniPath);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  // The value of a key as written, or "<none>".
  std::string Written(const std::string& key) const {
    std::istringstream in(ReadIni());
    std::string line;
    while (std::getline(in, line))
      if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
    return "<none>";
  }

  std::filesystem::path iniPath;
};

TEST_F(SettingsTest, FreshSystemGetsTheDocumentedStart) {
  TheProgram().display.screen.bitsPerPixel = 8;
  LoadSettings();
  const Program& p = TheProgram();
  const Settings& s = p.settings;
  // 1024 x 768 limited to the 800 x 600 screen.
  EXPECT_EQ(Place(s.main), (std::array<int, 4>{0, 0, 800, 600}));
  EXPECT_EQ(p.area.selection.mode, kAreaEllipse);
  EXPECT_EQ(p.undo.levels, 3);
  // Dome, once it can be applied; until then the first effect that can.
  EXPECT_TRUE(OperationAvailable(p.ops.current)) << p.ops.current;
  if (OperationAvailable(3131)) {
    EXPECT_EQ(p.ops.current, 3131u);
  }
  EXPECT_EQ(NewImageSize(), (std::array<int, 4>{320, 200, 100, 100}));
  EXPECT_EQ(p.images.newImage.colour, (std::array<std::uint8_t, 3>{30, 30, 70}));
  EXPECT_EQ(p.display.mode, kModeColour256) << "an 8-bit display starts in 256 Color";
  EXPECT_EQ(p.area.selection.font.pixelSize, 23);
  EXPECT_EQ(KeyColourNumbers(), (std::array<int, 10>{0, 0, 255, 1, 20, 20, 20, 40, 40, 40}));
}

TEST_F(SettingsTest, ValuesAreReadByTheirRules) {
  WriteIni(
      "[pixqv]\n"
      "posmain = 10 -5 50 900\n"
      "PosView=900 20 2000 30\n"
      "PosTool=-1 4000\n"
      "AreaMode=2\n"
      "Points=150\n"
      "FrameControl=10 2 8 0\n"
      "UndoWant=99\n"
      "NewImage=0 50 0 72 300 -4 9\n"
      "DisplayMode=20\n"
      "Operation=99999\n"
      "WithAlpha=0\n"
      "BackColor=300 -2 7\n"
      "HSLRange=7 x 9\n"
      "KeyColor=\n"
      "WandRange=0 1 2\n"
      "Font=\"A face whose name is far longer than thirty-one characters\"\n");
  LoadSettings();
  const Program& p = TheProgram();
  const Settings& s = p.settings;
  // A width of 60 or less takes the whole screen from x 0; the height is cut to the screen.
  EXPECT_EQ(Place(s.main), (std::array<int, 4>{0, 0, 800, 600}));
  EXPECT_EQ(Place(s.view), (std::array<int, 4>{8, 20, 800 / 2 - 8, 30}));
  EXPECT_EQ(s.tool.x, 8);
  EXPECT_EQ(s.tool.y, 8);
  EXPECT_EQ(p.area.selection.mode, kAreaPolygon);
  EXPECT_EQ(p.area.selection.font.pixelSize, 23);
  const TimeLineState& t = p.anim.timeline;
  EXPECT_EQ((std::array<int, 4>{t.frames, t.firstFrame, t.lastFrame, t.cursor.frame + 1}),
            (std::array<int, 4>{10, 2, 8, 1}));
  EXPECT_EQ(p.undo.levels, 20);
  EXPECT_EQ(NewImageSize(), (std::array<int, 4>{320, 200, 100, 100}));
  EXPECT_EQ(p.images.newImage.colour, (std::array<std::uint8_t, 3>{255, 0, 9}));
  EXPECT_EQ(p.display.mode, kModeRgb24) << "20 keeps the mode of the 24-bit display";
  EXPECT_EQ(p.ops.hslTolerance, (std::array<std::int32_t, 3>{7, 20, 20})) << "a short parse leaves the rest";
  EXPECT_EQ(KeyColourNumbers()[2], 255) << "an empty KeyColor keeps the built-in values";
  const ColourRanges& wand = p.area.selection.wandRanges;
  EXPECT_EQ((std::array<int, 5>{wand.useHsl, wand.rgb[0], wand.rgb[1], wand.rgb[2], wand.hsl[0]}),
            (std::array<int, 5>{0, 1, 2, 20, 40}));
  EXPECT_EQ(p.area.selection.font.face.size(), kFontNameMax);
  EXPECT_TRUE(IsCatalogued(p.ops.current)) << "an operation not in the catalogue";
  EXPECT_FALSE(p.area.maskWithAlpha);
  EXPECT_EQ(p.display.backColour, (std::array<std::uint8_t, 3>{255, 0, 7}));

  WriteIni("[PixQv]\nAreaMode=9760\nDisplayMode=4\nUndoWant=-3\nChooseColors=4\n");
  LoadSettings();
  EXPECT_EQ(p.reduce.chooseColors, kPaletteDefault) << "only the window's four choices";
  EXPECT_EQ(p.area.selection.mode, kAreaColourWand);
  EXPECT_EQ(p.display.mode, kModeGray16);
  EXPECT_EQ(p.undo.levels, 0);
}

TEST_F(SettingsTest, WritesEveryKeyInOrderAndReadsItBack) {
  Program& p = TheProgram();
  p.settings.modAlpha = 1;
  p.settings.lastFiles[0] = "/pictures/sky.bmp";
  p.area.selection.font.pixelSize = 40;
  p.settings.main = {5, 6, 700, 500};
  SetKeyColour({1, 2, 3, 4, 5, 6, {7, 8, 9, 0}});
  p.ops.current = 3188;
  p.ops.workMethod = kWorkDrawFirst;
  p.reduce.chooseColors = 2;
  p.area.splat.seed = 77;
  p.display.alphaColour = {10, 20, 30};
  p.settings.iShapeName = "star";
  p.save.jpegQuality = 90;
  SetCustomColour(0, {1, 22, 255});
  ASSERT_EQ(SaveSettings(), 0);

  EXPECT_EQ(Written("ModAlpha"), "2");
  EXPECT_EQ(Written("CustomColor1"), "  1  22 255");
  EXPECT_EQ(Written("Points"), "40");
  EXPECT_EQ(Written("KeyColor"), "1 2 3 0 4 5 6 7 8 9");
  EXPECT_EQ(Written("Operation"), "3188");
  EXPECT_EQ(Written("DisplayMode"), "0");
  EXPECT_EQ(Written("FrameControl"), "7 1 7 4");
  EXPECT_EQ(Written("ChopMem"), "<none>");
  EXPECT_EQ(Written("PosExp"), "<none>") << "the exposure sheet was not opened";
  std::string text = ReadIni();
  EXPECT_EQ(text.rfind("[PixQv]\nPosMain=5 6 700 500\nPosView=", 0), 0u);
  auto wand = text.find("WandRange=");
  auto shapes = text.find("[IShapes]\nIShapePath=\nIShapeName=star\nIShapeExtn=\n");
  ASSERT_NE(wand, std::string::npos);
  ASSERT_NE(shapes, std::string::npos);
  EXPECT_LT(wand, shapes);
  EXPECT_LT(text.find("ImagePath="), text.find("PalUsePath="));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(iniPath.parent_path()), {}), 1) << "no temporary left";

  ResetProgram();
  TheProgram().display.screen = {24, 1, 24, 800, 600};
  LoadSettings();
  const Program& q = TheProgram();
  const Settings& s = q.settings;
  EXPECT_EQ(s.modAlpha, 2);
  EXPECT_EQ(s.lastFiles[0], "/pictures/sky.bmp");
  EXPECT_EQ(q.area.selection.font.pixelSize, 40);
  EXPECT_EQ(s.main.width, 700);
  EXPECT_EQ(KeyColourNumbers(), (std::array<int, 10>{1, 2, 3, 0, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(q.ops.current, 3188u);
  EXPECT_EQ(q.ops.workMethod, kWorkDrawFirst);
  EXPECT_EQ(q.reduce.chooseColors, 2);
  EXPECT_EQ(q.area.splat.seed, 77);
  EXPECT_EQ(q.display.alphaColour, (std::array<std::uint8_t, 3>{10, 20, 30}));
  EXPECT_EQ(s.iShapeName, "star");
  EXPECT_EQ(TheProgram().save.jpegQuality, 90);
  EXPECT_EQ(UnpackColour(TheProgram().palettes.customColours[0]).green, 22);
}

TEST_F(SettingsTest, KeysItDoesNotWriteSurviveAnExit) {
  WriteIni("; mine\n[PixQv]\nChopMem=1\nPosExp=1 2 3 4\nFutureKey=yes\nPoints=12\n[Other]\na=b\n");
  LoadSettings();
  EXPECT_EQ(TheProgram().save.chopMem, 1);
  ASSERT_EQ(SaveSettings(), 0);
  EXPECT_EQ(Written("ChopMem"), "1");
  EXPECT_EQ(Written("PosExp"), "1 2 3 4");
  EXPECT_EQ(Written("FutureKey"), "yes");
  EXPECT_EQ(Written("a"), "b");
  EXPECT_EQ(ReadIni().find("Points=12\n"), ReadIni().rfind("Points=")) << "no key twice";

  TheProgram().settings.expOpened = true;
  TheProgram().settings.exp = {9, 9, 99, 99};
  ASSERT_EQ(SaveSettings(), 0);
  EXPECT_EQ(Written("PosExp"), "9 9 99 99");
}

TEST_F(SettingsTest, ValuesCannotForgeKeysAndFailuresLeaveTheOldFile) {
  TheProgram().files.imagePath = "/x\nKeepLog=1";
  ASSERT_EQ(SaveSettings(), 0);
  EXPECT_EQ(Written("KeepLog"), "0");
  std::string before = ReadIni();

  // A settings path that is a folder cannot be written; nothing is left behind.
  std::filesystem::path folder = workDir / "folder.ini";
  std::filesystem::create_directories(folder);
  ::setenv("PIXQV_INI", folder.c_str(), 1);
  EXPECT_EQ(SaveSettings(), 1);
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(workDir), {}), 2);
  EXPECT_EQ(ReadIni(), before);
}

TEST_F(SettingsTest, RecentFilesKeepSixWithoutDuplicates) {
  for (const char* name : {"f1", "f2", "f3", "f4", "f5", "f6", "f7"}) RememberRecentFile(name);
  RememberRecentFile("f4");
  const auto& files = TheProgram().settings.lastFiles;
  EXPECT_EQ(files, (std::array<std::string, 6>{"f4", "f7", "f6", "f5", "f3", "f2"}));
}

}  // namespace
}  // namespace qv::test
