#include "area/area_files.h"

#include <filesystem>
#include <fstream>

#include "area_test_support.h"
#include "ops/op_state.h"
#include "support/program_fixture.h"

namespace qv {
namespace {

using namespace qv::test;

class AreaFilesTest : public ProgramTest {
 protected:
  // Draws the selection on the image, writes it, forgets it, reads it back
  // and makes it again: the mask must come back byte for byte.
  void ExpectReloads(ImageRecord* image, const char* what) {
    SCOPED_TRACE(what);
    ASSERT_EQ(FinishSelection(image, 0, 0), 0);
    const std::vector<std::uint8_t> drawn = MaskBytes();
    const std::string file = AreaFileText();
    ClearAreaSelection();
    AreaSelection& s = Sel();
    s.mode = kAreaEllipse;
    SetSelectionBox(s, 0, 0, 1, 1);
    ClearPointList(s.capture);
    ClearPointList(s.control);
    s.fontText.clear();
    ASSERT_EQ(ReadAreaFileText(file), 0) << file;
    ASSERT_EQ(FinishLoadedSelection(image, 0), 0);
    EXPECT_EQ(Art(MaskBytes(), image->width), Art(drawn, image->width)) << file;
  }
};

TEST_F(AreaFilesTest, EveryModeReloadsToTheMaskItWasDrawnAs) {
  ImageRecord* image = Picture(40, 30, [](int x, int y) {
    return x < 20 ? std::array<int, 3>{0, 0, 250} : std::array<int, 3>{200, 200, 10 + y};
  });
  AreaSelection& s = Sel();
  s.mode = kAreaFreehand;
  Points(s.capture, {{3, 3}, {30, 5}, {25, 25}, {5, 20}, {3, 3}});
  ExpectReloads(image, "freehand");
  s.mode = kAreaPolygon;
  Points(s.capture, {{10, 2}, {35, 28}, {2, 28}, {10, 2}});
  ExpectReloads(image, "polygon");
  s.mode = kAreaIShape;
  SetIShapeCapture(s);
  SetSelectionBox(s, 2, 1, 33, 27);
  ExpectReloads(image, "I-shape");
  for (int mode : {kAreaRectangle, kAreaNumRect, kAreaEllipse, kAreaRoundRect}) {
    s.mode = static_cast<std::int16_t>(mode);
    // Radii the corner split divides without a remainder: the builder's
    // truncation would otherwise narrow the bounds the file keeps.
    s.roundness = 50;
    SetSelectionBox(s, 4, 6, 32, 22);
    ExpectReloads(image, "box modes");
  }
  for (int mode : {kAreaSpline, kAreaBezier, kAreaPolyArc}) {
    s.mode = static_cast<std::int16_t>(mode);
    Points(s.control, {{5, 5}, {30, 8}, {28, 25}, {8, 22}});
    ExpectReloads(image, "curves");
  }
  s.mode = kAreaColourWand;
  s.seedX = 25, s.seedY = 10;
  s.wandRanges.useHsl = false;
  ExpectReloads(image, "wand");
  s.mode = kAreaColourKey;
  ExpectReloads(image, "key");
  s.mode = kAreaEntire;
  ExpectReloads(image, "entire");
  s.mode = kAreaFont;
  s.fontText = "Hi there";
  s.seedX = 2, s.seedY = 24;
  s.rotation = 12.5f;
  ExpectReloads(image, "font");
  EXPECT_EQ(Sel().fontText, "Hi there");
  EXPECT_FLOAT_EQ(Sel().rotation, 12.5f);
}

TEST_F(AreaFilesTest, AFileIsWrittenLineByLineAsOlderReadersExpect) {
  AreaSelection& s = Sel();
  s.mode = kAreaRoundRect;
  s.transparencyLevel = 200, s.edgeFade = 5, s.grow = 90;
  s.imageWidth = 640, s.imageHeight = 480;
  SetSelectionBox(s, 10, 20, 30, 60);
  s.roundness = 40;
  EXPECT_EQ(AreaFileText(),
            "AREASELECT Pixanta:Q/v File\n\nTranLevel:  200\nTranEdge:     5\nTranGrow:    90\n\n"
            "Mode: ROUNDRECT\nSize:  640  480\nPos:   20   40\nRad:   10   20\nRoundness:   40\n");
  s.mode = kAreaPolygon;
  Points(s.capture, {{1, 2}, {3, 4}});
  EXPECT_NE(AreaFileText().find("Mode: POLYGON\nSize:  640  480\nP:    1    2    0\nP:    3    4  255\n"), std::string::npos);
}

TEST_F(AreaFilesTest, StoredBoxesScaleToTheImageAndOutlinesKeepTheirPixels) {
  // Scaled before dividing: 400 / 300 taken first would leave the centre.
  ASSERT_EQ(ReadAreaFileText("areasel\nMode: RECT\nSize: 300 200\nPos: 150 100\nRad: 30 20\n"), 0);
  EXPECT_EQ(FitStoredSelection(400, 200, 0), kAreaRectangle);
  EXPECT_EQ(Sel().centreX, 200);
  EXPECT_EQ(Sel().radiusX, 40);
  EXPECT_EQ(Sel().left, 160);
  EXPECT_EQ(Sel().right, 240);
  EXPECT_EQ(Sel().top, 80);

  ASSERT_EQ(ReadAreaFileText("AREASELECT\nMode: FREEHAND\nSize: 20 20\nP: 2 3 0\nP: 15 3 255\nP: 8 12 255\n"), 0);
  FitStoredSelection(200, 100, 0);
  EXPECT_EQ(Sel().left, 2);
  EXPECT_EQ(Sel().right, 15);
  EXPECT_EQ(Sel().bottom, 12);
  EXPECT_EQ(Sel().capture.count, 3);
}

TEST_F(AreaFilesTest, ReaderTakesPrefixesWordsAndLeavesWhatItCannotRead) {
  AreaSelection& s = Sel();
  s.roundness = 77;
  Points(s.capture, {{9, 9}});
  Points(s.control, {{7, 7}, {8, 8}});
  const std::string file =
      "AreaSelect\n"
      "TRANLEVEL: 128\nTranEdge: many\nTranGrow: 2000000\n"
      "Mode: ellipsoid\n"             // ELLI
      "Mode: SQUARE\n"               // unknown: the mode stays
      "Size: 100 -5\nPos: 10 9999999\nRad: 4 5\n"
      "Text:   two  words \n"
      "Mag: inf 2.5\nShear: 1e300\n"
      "S: 1 2 0\nS: 3 x 255\nS: 4 5\n"
      "Color: 1 2 300\nRange: 5 6 7\n"
      "unknown line\n";
  ASSERT_EQ(ReadAreaFileText(file), 0);
  EXPECT_EQ(s.mode, kAreaEllipse);
  EXPECT_EQ(s.transparencyLevel, 128);
  EXPECT_EQ(s.edgeFade, 0);      // "many" leaves it
  EXPECT_EQ(s.grow, 100);        // beyond +-1000000 is no number
  EXPECT_EQ(s.imageWidth, 100);
  EXPECT_EQ(s.imageHeight, 0);   // sizes are never negative
  EXPECT_EQ(s.centreX, 10);
  EXPECT_EQ(s.radiusY, 5);
  EXPECT_EQ(s.roundness, 77);
  EXPECT_EQ(s.fontText, "two  words ");
  EXPECT_FLOAT_EQ(s.magnificationX, 1.0f);
  EXPECT_FLOAT_EQ(s.magnificationY, 2.5f);
  EXPECT_FLOAT_EQ(s.shear, 0.0f);
  // The first S line emptied the control list; the unreadable one is skipped.
  ASSERT_EQ(s.control.count, 2);
  EXPECT_EQ(s.control.points[1].x, 4);
  EXPECT_EQ(s.control.points[1].flag, kPenDown);
  EXPECT_EQ(s.capture.count, 1);  // no P line: the captures stay
  KeyColour key = GetKeyColour();
  EXPECT_EQ(key.blue, 255);
  EXPECT_EQ(key.greenRange, 6);
  EXPECT_TRUE(Area().loadedSelection);
}

TEST_F(AreaFilesTest, HostileAreaFilesGiveAMessageAndChangeNothing) {
  Sel().mode = kAreaPolygon;
  for (std::string_view bad : {std::string_view(""), std::string_view("AREASE\n"), std::string_view("\0AREASEL", 8),
                               std::string_view("TranLevel: 3\n")}) {
    host->messages.clear();
    EXPECT_EQ(ReadAreaFileText(bad), 1);
    EXPECT_EQ(host->MessageNumbers(), std::vector<int>{42});
    EXPECT_EQ(Sel().mode, kAreaPolygon);
  }
  // A 10 MB line, NUL bytes and a truncated point line are read past.
  using namespace std::string_literals;
  std::string big = "AREASEL\nMode: FREEHAND\n"s + std::string(10 << 20, 'P') + "\nP: 1 2 0\nP\0 5 6\nP: 7\0\0"s;
  ASSERT_EQ(ReadAreaFileText(big), 0);
  EXPECT_EQ(Sel().mode, kAreaFreehand);
  ASSERT_EQ(Sel().capture.count, 2);  // a NUL parts words as a blank does
  EXPECT_EQ(Sel().capture.points[1].x, 5);

  EXPECT_EQ(LoadAreaFile(workDir / "missing.asf"), 1);
  EXPECT_EQ(host->MessageNumbers().back(), 71);
}

TEST_F(AreaFilesTest, AFailedSaveSaysSoAndKeepsTheOldFile) {
  std::filesystem::path target = workDir / "kept.asf";
  std::ofstream(target) << "old";
  Sel().mode = kAreaEntire;
  EXPECT_EQ(SaveAreaFile(workDir / "no-such-folder" / "a.asf"), 1);
  EXPECT_EQ(host->MessageNumbers(), std::vector<int>{71});
  // A save that cannot take the place of what is there leaves it, and no
  // half-written file beside it.
  std::filesystem::create_directories(workDir / "taken.asf" / "inside");
  const auto entries = [&] {
    return std::distance(std::filesystem::directory_iterator(workDir), std::filesystem::directory_iterator{});
  };
  const auto before = entries();
  EXPECT_EQ(SaveAreaFile(workDir / "taken.asf"), 1);
  EXPECT_EQ(host->MessageNumbers(), (std::vector<int>{71, 71}));
  EXPECT_TRUE(std::filesystem::exists(workDir / "taken.asf" / "inside"));
  EXPECT_EQ(entries(), before);
  ASSERT_EQ(SaveAreaFile(target), 0);
  ASSERT_EQ(LoadAreaFile(target), 0);
  EXPECT_EQ(Sel().mode, kAreaEntire);
}

TEST_F(AreaFilesTest, RedoOfALoadedFileBuildsItWithoutAMask) {
  ImageRecord* image = Picture(20, 10);
  ASSERT_EQ(ReadAreaFileText("AREASEL\nMode: RECT\nSize: 10 10\nPos: 5 5\nRad: 2 2\n"), 0);
  ASSERT_EQ(BuildAreaMaskWith(image, kAreaRedo, false, false), 0);
  EXPECT_MASK(Expected(20, 10, [](int x, int y) { return x >= 6 && x <= 14 && y >= 3 && y <= 7 ? 255 : 0; }), 20);
  EXPECT_EQ(Sel().mode, kAreaRectangle);
  EXPECT_FALSE(Area().loadedSelection);
}

// ---- I-shapes ----

std::vector<std::array<int, 3>> ShapePoints() {
  std::vector<std::array<int, 3>> out;
  const PointList& p = AreaFiles().shape;
  for (int i = 0; i < p.count; ++i) out.push_back({p.points[i].x, p.points[i].y, p.points[i].flag});
  return out;
}

TEST_F(AreaFilesTest, IShapesLoadNormalisedWithYUpAndSubPathsAtEmptyLines) {
  InitIShape();
  EXPECT_EQ(AreaFiles().shapeName, "Triangle");
  ASSERT_EQ(ReadIShapeText("ISHAPE\nname\n0 0\n* a comment\n10 0\n\n10 10\n", "box"), 0);
  using P = std::array<int, 3>;
  EXPECT_EQ(ShapePoints(), (std::vector<P>{{0, 1000, 0}, {1000, 1000, 255}, {1000, 0, 0}}));
  EXPECT_EQ(AreaFiles().shapeName, "box");
  // One vertical line: the extent is 0.001, every x' is 0.
  ASSERT_EQ(ReadIShapeText("ishape\n* first a comment\nline\n5 1\n5 3.5\n5 nan\n5 2\n", "v"), 0);
  EXPECT_EQ(ShapePoints(), (std::vector<P>{{0, 1000, 0}, {0, 0, 255}, {0, 600, 255}}));

  for (std::string_view bad : {"", "ISHAP\n1 2\n", "ISHAPE\nname only\n\n* nothing\n", "ISHAPE\nn\ninf 2\n"}) {
    host->messages.clear();
    EXPECT_EQ(ReadIShapeText(bad, "bad"), 1) << bad;
    EXPECT_EQ(host->MessageNumbers(), std::vector<int>{42});
    EXPECT_EQ(AreaFiles().shapeName, "v");
  }
  EXPECT_EQ(LoadIShape(workDir / "none.ish"), 1);
  EXPECT_EQ(host->MessageNumbers().back(), 63);
}

TEST_F(AreaFilesTest, SavingAShapeNormalisesTheSelectionAndNamesItAfterTheFile) {
  InitIShape();
  AreaSelection& s = Sel();
  s.mode = kAreaRectangle;
  Points(s.capture, {{10, 10}, {20, 10}});
  EXPECT_EQ(SaveIShape(workDir / "x.ish"), 2);  // not a mode with capture points
  s.mode = kAreaFreehand;
  ClearPointList(s.capture);
  PushPoint(s.capture, 10, 20, kPenUp);
  PushPoint(s.capture, 30, 20, kPenDown);
  PushPoint(s.capture, 30, 40, kPenDown);
  PushPoint(s.capture, 20, 30, kPenUp);
  ASSERT_EQ(SaveIShape(workDir / "corner.ish"), 0);
  std::ifstream in(workDir / "corner.ish");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "ISHAPE\nTriangle\n\n   0 1000\n1000 1000\n1000    0\n\n 500  500\n");
  EXPECT_EQ(AreaFiles().shapeName, "corner");
  ASSERT_EQ(LoadIShape(workDir / "corner.ish"), 0);
  using P = std::array<int, 3>;
  EXPECT_EQ(ShapePoints(), (std::vector<P>{{0, 0, 0}, {1000, 0, 255}, {1000, 1000, 255}, {500, 500, 0}}));
  EXPECT_EQ(SaveIShape(workDir / "missing" / "y.ish"), 1);
  EXPECT_EQ(host->MessageNumbers(), std::vector<int>{63});
}

TEST_F(AreaFilesTest, DialogFolderDropsShortNamesAndCompletesDrives) {
  EXPECT_EQ(AreaDialogFolder(""), "");
  EXPECT_EQ(AreaDialogFolder("a.as"), "");
  EXPECT_EQ(AreaDialogFolder("/home/me/a.asf"), "/home/me/a.asf");
  EXPECT_EQ(AreaDialogFolder("drive:"), "drive:/");
}

}  // namespace
}  // namespace qv
