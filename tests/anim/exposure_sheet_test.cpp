#include "anim/exposure_sheet.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "anim/anim_state.h"
#include "anim/sequence.h"
#include "anim/timeline_file.h"
#include "area/stored_area.h"
#include "formats/image_files.h"
#include "formats/save_choices.h"
#include "ops/apply.h"
#include "ops/collage_ops.h"
#include "ops/op_state.h"
#include "store/image_record.h"
#include "support/program_fixture.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
constexpr OpId kFlip = 3138;  // "Vertical" on by default

std::string Bytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A picture whose halves differ, with alpha 0 on its right half when asked.
void WritePicture(const std::string& name, int type, int seed, bool clearRight = false) {
  ImageRecord* image = CreateLockedImage(12, 8, "test");
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 12; ++x) {
      std::uint8_t* p = PixelAt(image, x, y);
      p[0] = static_cast<std::uint8_t>(seed + x * 9);
      p[1] = static_cast<std::uint8_t>(seed * 3 + y * 20);
      p[2] = static_cast<std::uint8_t>(x < 6 ? seed : 255 - seed);
      p[3] = clearRight && x >= 6 ? 0 : 255;
    }
  image->hasAlpha = clearRight;
  UnlockImage(image);
  ASSERT_EQ(SaveImageFile(image, name, type, type == kSaveTarga ? kDepthAlpha : kDepth24, 0, 75), 0);
  FreeImage(image);
}

class SheetTest : public test::ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    ASSERT_EQ(InitImageTable(), 0);
    ASSERT_EQ(ChangeFrameCount(4), 0);
    SetWorkMethod(kDrawFirst);  // applies by hand change the whole image
  }
  ImageRecord* Load(const std::string& name) {
    std::string path = name;
    ImageRecord* image = LoadImageFile(nullptr, path);
    EXPECT_TRUE(image);
    EXPECT_EQ(AddImage(image, false), 0);
    return image;
  }
  // RGB of a picture, as the 24-bit frames keep it.
  static std::vector<std::uint8_t> Rgb(ImageRecord* image) {
    LockImage(image);
    std::vector<std::uint8_t> out;
    for (std::int64_t i = 0; i < std::int64_t{image->width} * image->height; ++i) out.insert(out.end(), image->pixels + i * 4, image->pixels + i * 4 + 3);
    UnlockImage(image);
    return out;
  }
  std::vector<std::uint8_t> FrameRgb(const std::string& file) { return Rgb(Load(file)); }
  void Put(int column, int frame, const std::string& file) { ASSERT_EQ(PutSheetRecord(column, frame, SheetFileRecord(file)), 0); }
  GenerateRequest Request() {
    GenerateRequest r;
    r.begin = 1;
    r.finish = 2;
    r.save = true;
    r.outPath = "f";
    r.extension = "bmp";
    r.type = kSaveBitmap;
    r.depthEntry = kDepth24;
    return r;
  }
};

TEST_F(SheetTest, ActorsAreMergedOntoTheBackgroundOrHandedToTheOperationAfterThem) {
  WritePicture("bg.bmp", kSaveBitmap, 10);
  WritePicture("actor.tga", kSaveTarga, 200, true);
  Put(0, 0, "bg.bmp"), Put(1, 0, "actor.tga");
  Put(0, 1, "bg.bmp"), Put(1, 1, "actor.tga");
  Ops().current = kFlip;
  ASSERT_EQ(PutCurrentOpAt(2, 1), 0);
  Ops().current = 3111;  // the run gives the current operation back
  ASSERT_EQ(RunSheet(Request()), 0) << (host->messages.empty() ? "" : host->messages.back().text);
  EXPECT_EQ(Ops().current, 3111);
  EXPECT_EQ(ImageCount(), 0) << "the run's images are gone";

  // By hand: Merge over the whole image with the actor as the source.
  ImageRecord* bg = Load("bg.bmp");
  ImageRecord* actor = Load("actor.tga");
  const auto before = Rgb(bg);
  Images().currentAction = bg;
  Pipeline().source = actor;
  Area().selection.mode = kAreaEntire;
  ASSERT_EQ(ApplyOperation(kMerge, bg, 0), 0);
  EXPECT_NE(Rgb(bg), before) << "the merge shows";
  EXPECT_EQ(FrameRgb("f0001.bmp"), Rgb(bg));

  ImageRecord* flipped = Load("actor.tga");
  Area().selection.mode = kAreaEntire;
  ASSERT_EQ(ApplyOperation(kFlip, flipped, 0), 0);
  EXPECT_EQ(FrameRgb("f0002.bmp"), Rgb(flipped)) << "the actor is transformed, not merged";
}

TEST_F(SheetTest, FilesReadBackWithCopiesForHoldsAndOnlyWhatTheSheetCanHold) {
  ASSERT_EQ(ReadTimeLineText("TIMELINE\nFrames:4\nOP L:1 F:1 \"Flip\"\n"), 0);
  const std::string text =
      "TIMELINE - s.tml\nFrames:4\n"
      "SRC L:1 F:1 V:0 S:1 I:1 src.bmp\n"
      "ACT L:2 F:1 V:0 S:3 I:2 a.bmp\nACT L:2 F:2 =\nACT L:2 F:3 ==\n"
      "ACT L:3 F:1 =\n"
      "ACT L:4 F:2 V:0 S:1 I:1 Level 3\n"
      "ACT L:150 F:4 V:0 S:1 I:1 \"far away.bmp\"\n"
      "ACT L:200 F:1 V:0 S:1 I:1 last.bmp\nACT L:201 F:1 V:0 S:1 I:1 off.bmp\n"
      "OP L:5 F:1 \"Flip\"\n- Interpolate:0\n"
      "AREA L:6 F:2\n- Mode:Polygon\n- Image:12,8\n- Center:4,4\n- Point:0,1,1,255\n- Point:1,9,2,255\n- Point:2,5,7,0\n"
      "- DoD:1\n- RDisc1:10\n- BDisc2:250\n";
  TimeLineLoadReport report;
  ASSERT_EQ(ReadSheetText(text, false, &report), 0);
  EXPECT_EQ(LevelsInUse(), 1) << "the TimeLine is not touched";
  EXPECT_EQ(SheetTagAt(0, 0), 0) << "Source lines are skipped";
  for (int f = 0; f < 3; ++f) {
    ASSERT_TRUE(SheetFileAt(1, f)) << f;
    EXPECT_STREQ(SheetFileAt(1, f)->fileName, "a.bmp");
    EXPECT_EQ(SheetFileAt(1, f)->startFrame, 3);
  }
  EXPECT_NE(SheetFileAt(1, 0), SheetFileAt(1, 1)) << "each cell has its own record";
  EXPECT_EQ(SheetTagAt(2, 0), 0) << "nothing above: empty";
  EXPECT_EQ(SheetTagAt(3, 1), 0) << "a TimeLine result is refused";
  ASSERT_TRUE(SheetFileAt(149, 3));
  EXPECT_STREQ(SheetFileAt(149, 3)->fileName, "far away.bmp");
  EXPECT_TRUE(SheetFileAt(199, 0));
  EXPECT_EQ(SheetColumnsInUse(), 200) << "column 201 is off the sheet";
  ASSERT_TRUE(SheetAreaAt(5, 1));
  EXPECT_EQ(SheetAreaAt(5, 1)->pointCount, 3);
  EXPECT_EQ(SheetAreaAt(5, 1)->discriminator[5], 250);
  EXPECT_EQ(SheetStatusText(4, 0), "Op: Flip");
  EXPECT_EQ(SheetStatusText(5, 1), "Area: Polygon");
  EXPECT_EQ(SheetStatusText(149, 3), "File: far away.bmp");
  EXPECT_EQ(SheetStatusText(6, 0), "(empty)");

  // Saved and read again, the sheet writes the same file.
  const std::string saved = SheetText("s.tml");
  EXPECT_EQ(saved.find("SRC"), std::string::npos);
  EXPECT_NE(saved.find("ACT L:150 F:4"), std::string::npos);
  ASSERT_EQ(ReadSheetText(saved, false), 0);
  EXPECT_EQ(SheetText("s.tml"), saved);
  EXPECT_FALSE(Sheet().modified);
  // Merge keeps what is there.
  ASSERT_EQ(ReadSheetText("TIMELINE\nACT L:7 F:1 V:0 S:1 I:1 b.bmp\n", true), 0);
  EXPECT_TRUE(SheetFileAt(1, 0) && SheetFileAt(6, 0));
  EXPECT_TRUE(Sheet().modified);
}

TEST_F(SheetTest, DropsFillColumnsByPlacementAndPastesStopAtTheEdges) {
  Sheet().backgroundRepeat = 1;
  Sheet().actorRepeat = 2;
  SelectSheetBlock({0, 1, 0, 3});
  EXPECT_EQ(PlaceSheetFiles({"a.bmp", "b.bmp", "Level(3)", "c.bmp", "d.bmp", "e.bmp"}), 6);
  const char* want[2][4] = {{"a.bmp", "b.bmp", "c.bmp", "d.bmp"}, {"e.bmp", "e.bmp", nullptr, nullptr}};
  for (int c = 0; c < 2; ++c)
    for (int f = 0; f < 4; ++f) {
      const TimeFileRecord* r = SheetFileAt(c, f);
      EXPECT_EQ(r ? std::string(r->fileName) : "", want[c][f] ? want[c][f] : "") << c << "," << f;
    }

  SelectSheetBlock({0, 1, 0, 1});
  ASSERT_EQ(CopySheetCells(), 0);
  SelectSheetBlock({kSheetColumns - 1, kSheetColumns - 1, 3, 3});
  ASSERT_EQ(PasteSheetCells(), 0);
  ASSERT_TRUE(SheetFileAt(kSheetColumns - 1, 3));
  EXPECT_STREQ(SheetFileAt(kSheetColumns - 1, 3)->fileName, "a.bmp");
  SelectSheetBlock({1, 1, 3, 3});
  ASSERT_EQ(PasteSheetCells(), 0);
  EXPECT_STREQ(SheetFileAt(1, 3)->fileName, "a.bmp");
  EXPECT_STREQ(SheetFileAt(2, 3)->fileName, "e.bmp");

  // Fewer frames free the cells past the end and keep the selection inside.
  SelectSheetBlock({0, 3, 2, 3});
  ASSERT_EQ(ChangeFrameCount(2), 0);
  EXPECT_EQ(Sheet().selection.lastFrame, 1);
  EXPECT_EQ(Sheet().columns[0].size(), 2u);
  EXPECT_EQ(SheetColumnsInUse(), 2);
}

TEST_F(SheetTest, PerformWritesEachWritableFileOnceAndNothingElse) {
  WritePicture("a.bmp", kSaveBitmap, 40);
  std::ofstream("clip.avi") << "not touched";
  // A type read but never written.
  std::ofstream("p.ppm", std::ios::binary) << "P6\n2 2\n255\n" << std::string(12, '\x40');
  const std::string a = Bytes("a.bmp"), ppm = Bytes("p.ppm");
  Put(0, 0, "a.bmp"), Put(0, 1, "a.bmp");  // twice: flipped twice would give it back
  Put(1, 0, "p.ppm"), Put(1, 1, "clip.avi");
  Ops().current = kFlip;

  PerformRequest r;
  r.block = {0, kSheetColumns - 1, 0, 3};
  r.save = true;
  host->answers.push_back(0);
  EXPECT_EQ(PerformSheet(r), 2);
  EXPECT_EQ(Bytes("a.bmp"), a) << "refused at the one confirmation";

  host->answers.push_back(1);
  host->messages.clear();
  ASSERT_EQ(PerformSheet(r), 0);
  EXPECT_EQ(host->MessageNumbers(), (std::vector<int>{91, 103, 103}));
  EXPECT_NE(Bytes("a.bmp"), a);
  EXPECT_EQ(Bytes("p.ppm"), ppm);
  EXPECT_EQ(Bytes("clip.avi"), "not touched");
  ImageRecord* once = Load("a.bmp");
  WritePicture("ref.bmp", kSaveBitmap, 40);
  ImageRecord* ref = Load("ref.bmp");
  Area().selection.mode = kAreaEntire;
  ASSERT_EQ(ApplyOperation(kFlip, ref, 0), 0);
  EXPECT_EQ(Rgb(once), Rgb(ref)) << "changed once";
  for (const auto& e : fs::directory_iterator(workDir))
    EXPECT_TRUE(e.path().extension() != ".tmp" && e.path().filename().string().find("~") == std::string::npos)
        << e.path() << " left behind";

  // Preview writes nothing.
  const std::string after = Bytes("a.bmp");
  r.save = false;
  r.block.lastColumn = 0;  // the fake video would not load
  ASSERT_EQ(PerformSheet(r), 0);
  EXPECT_EQ(Bytes("a.bmp"), after);
}

}  // namespace
}  // namespace qv
