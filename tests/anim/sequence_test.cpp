#include "anim/sequence.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "anim/anim_state.h"
#include "anim/timeline_file.h"
#include "formats/image_files.h"
#include "formats/save_choices.h"
#include "ops/apply.h"
#include "store/undo.h"
#include "support/program_fixture.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

std::string Bytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A picture with a sharp edge and a ramp, so that blurs, warps and
// brightness changes all show.
ImageRecord* Picture(int w, int h, int seed) {
  ImageRecord* image = CreateLockedImage(w, h, "test");
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = PixelAt(image, x, y);
      p[0] = static_cast<std::uint8_t>(x < w / 2 ? 20 + seed : 220 - seed);
      p[1] = static_cast<std::uint8_t>((x * 7 + y * 3 + seed) & 255);
      p[2] = static_cast<std::uint8_t>(y * 255 / std::max(1, h - 1));
      p[3] = 255;
    }
  UnlockImage(image);
  return image;
}

void WritePicture(const std::string& name, int w, int h, int seed) {
  ImageRecord* image = Picture(w, h, seed);
  ASSERT_EQ(SaveImageFile(image, name, kSaveBitmap, kDepth24, 0, 75), 0);
  FreeImage(image);
}

// A one-level op cell from frame 1 holding to the last frame.
std::string OpRun(int level, int frames, const std::string& op, const std::string& vars) {
  std::string text = "OP L:" + std::to_string(level) + " F:1 \"" + op + "\"\n- Interpolate:1\n" + vars;
  for (int f = 2; f <= frames; ++f)
    text += "OP L:" + std::to_string(level) + " F:" + std::to_string(f) + (f == frames ? " ==\n" : " =\n");
  return text;
}

class SequenceTest : public test::ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    ASSERT_EQ(InitImageTable(), 0);
  }
  void Load(const std::string& text) { ASSERT_EQ(ReadTimeLineText(text), 0); }
  ImageRecord* LoadImage(const std::string& name) {
    std::string path = name;
    ImageRecord* image = LoadImageFile(nullptr, path);
    EXPECT_TRUE(image);
    EXPECT_EQ(AddImage(image, false), 0);
    return image;
  }
  GenerateRequest Request(int begin, int finish, const std::string& out = "out/f") {
    fs::create_directories(workDir / "out");
    GenerateRequest r;
    r.begin = begin;
    r.finish = finish;
    r.save = true;
    r.outPath = out;
    r.extension = "bmp";
    r.type = kSaveBitmap;
    r.depthEntry = kDepth24;
    return r;
  }
};

TEST(SequenceNames, NumberedNamesFollowTheExtensionAndCounter) {
  EXPECT_EQ(OutputFileName("a/f", "tga", 2, 1, kSaveTarga), "a/f0003.tga");
  EXPECT_EQ(OutputFileName("a/f", ".tga", 4, 1, kSaveTarga), "a/f0005.tga");
  EXPECT_EQ(OutputFileName("out/wave.bmp", "bmp", 0, 1, kSaveBitmap), "out/wave0001.bmp")
      << "a typed extension goes before the number";
  EXPECT_EQ(OutputFileName("sequence", "bmp", 0, 7, kSaveBitmap, false), "sequ0007.bmp");
  EXPECT_EQ(OutputFileName("sequence", "bmp", 0, 7, kSaveBitmap, true), "sequence0007.bmp");
  EXPECT_EQ(OutputFileName("f", "", 11, 1, kSaveBitmap), "f0012") << "no trailing dot";
  EXPECT_EQ(OutputFileName("f", "bmp", 0, 99999, kSaveBitmap), "f99999.bmp") << "wider numbers are not cut";
  EXPECT_EQ(OutputFileName("movie", "flc", 5, 1, kSeqTypeFlc), "movie.flc") << "one file takes every frame";
  EXPECT_EQ(OutputFileName("a/*", "bmp", 0, 1, kSaveBitmap), "") << "refused";

  std::string name, ext;
  SplitOutputPath("dir/sub/name.tga", name, ext);
  EXPECT_EQ(name, "dir/sub/name");
  EXPECT_EQ(ext, "tga");

  ASSERT_TRUE(ExtensionChoice("JPG"));
  EXPECT_EQ(ExtensionChoice("JPG")->depthEntry, kDepthLossy);
  EXPECT_EQ(ExtensionChoice(".tga")->depthEntry, kDepthAlpha);
  EXPECT_EQ(ExtensionChoice("pcx")->depthEntry, kDepth8);
  EXPECT_EQ(ExtensionChoice("tiff")->type, kSaveTiff) << "three characters decide";
  EXPECT_FALSE(ExtensionChoice("png"));
  EXPECT_EQ(DottedExtension("bmp"), ".bmp");
  EXPECT_EQ(DottedExtension(".bmp"), ".bmp");
  EXPECT_EQ(FramesPerSecond(0), 1000) << "a rate of 0 ms divides by 1";
  EXPECT_EQ(FramesPerSecond(70), 14);
  EXPECT_EQ(JiffiesPerFrame(1000), 70);
}

TEST_F(SequenceTest, RangeWritesItsFramesUnderTheirNumbersAndAsksBeforeReplacing) {
  WritePicture("a.bmp", 12, 8, 0);
  Load("TIMELINE\nFrames:6\n" + OpRun(1, 6, "Brightness", "- Var:\"Amount\",40\n"));
  LoadImage("a.bmp");
  ASSERT_EQ(Generate(Request(3, 5)), 0);
  for (int n = 1; n <= 6; ++n) EXPECT_EQ(fs::exists(workDir / ("out/f000" + std::to_string(n) + ".bmp")), n >= 3 && n <= 5) << n;
  EXPECT_TRUE(host->MessageNumbers().empty());

  // 91: refused leaves every file as it was, even those not existing yet.
  fs::remove(workDir / "out/f0003.bmp");
  std::ofstream(workDir / "out/f0004.bmp") << "kept";
  host->answers.push_back(0);
  EXPECT_EQ(Generate(Request(3, 5)), 2);
  EXPECT_EQ(host->MessageNumbers(), std::vector<int>{91});
  EXPECT_FALSE(fs::exists(workDir / "out/f0003.bmp"));
  EXPECT_EQ(Bytes(workDir / "out/f0004.bmp"), "kept");
  host->answers.push_back(1);
  EXPECT_EQ(Generate(Request(3, 5)), 0);
  EXPECT_NE(Bytes(workDir / "out/f0004.bmp"), "kept");
  EXPECT_FALSE(Sequence().running);
  EXPECT_FALSE(Pipeline().generating);
}

TEST_F(SequenceTest, AccumulateOffStartsEveryFrameAfreshEvenWithoutUndoLevels) {
  WritePicture("a.bmp", 16, 10, 3);
  ImageRecord* image = LoadImage("a.bmp");
  const std::string original = Bytes("a.bmp");
  image->changed = 5;  // the user's unsaved edit
  ASSERT_EQ(SetUndoLevels(UndoStack().levels, 0), 0);
  UndoStack().levels = 0;
  // A warp reads its undo copy: with no undo levels it needs one all the same.
  Load("TIMELINE\nFrames:3\n" + OpRun(1, 3, "Swirl", "- Var:\"Angle\",60\n"));
  GenerateRequest r = Request(1, 3);
  r.image = image;
  ASSERT_EQ(Generate(r), 0) << (host->messages.empty() ? std::string("-") : host->messages.back().text)
                            << (host->notes.empty() ? std::string("-") : host->notes.back());
  const std::string one = Bytes("out/f0001.bmp");
  EXPECT_NE(one, original);
  EXPECT_EQ(Bytes("out/f0002.bmp"), one);
  EXPECT_EQ(Bytes("out/f0003.bmp"), one);
  EXPECT_EQ(image->changed, 5) << "the unsaved mark is the image's own";
  ASSERT_EQ(SaveImageFile(image, "after.bmp", kSaveBitmap, kDepth24, 0, 75), 0);
  EXPECT_EQ(Bytes("after.bmp"), original) << "the image is given back as it was";

  r.accumulate = true;
  r.replace = true;
  ASSERT_EQ(Generate(r), 0);
  EXPECT_EQ(Bytes("out/f0001.bmp"), one);
  EXPECT_NE(Bytes("out/f0002.bmp"), one);
  EXPECT_NE(Bytes("out/f0003.bmp"), Bytes("out/f0002.bmp"));
  EXPECT_GT(image->changed, 5) << "accumulated changes are unsaved";

  // A range of an accumulating run replays the frames before it unwritten.
  const std::string three = Bytes("out/f0003.bmp");
  std::string fresh = "a.bmp";
  ImageRecord* again = LoadImageFile(nullptr, fresh);
  ASSERT_EQ(AddImage(again, false), 0);
  fs::remove_all(workDir / "out");
  GenerateRequest range = Request(3, 3);
  range.image = again;
  range.accumulate = true;
  range.replayFromStart = true;
  ASSERT_EQ(Generate(range), 0);
  EXPECT_EQ(Bytes("out/f0003.bmp"), three);
  EXPECT_FALSE(fs::exists("out/f0001.bmp")) << "replayed frames are not written";
}

TEST_F(SequenceTest, FramesInAnyOrderEqualOneRunWithAreasAndTrends) {
  WritePicture("a.bmp", 20, 14, 9);
  Load("TIMELINE\nFrames:5\n"
       "ACT L:1 F:1 V:0 S:1 I:1 a.bmp\nACT L:1 F:2 =\nACT L:1 F:3 =\nACT L:1 F:4 =\nACT L:1 F:5 ==\n"
       "AREA L:1 F:1\n- Mode:Rectangle\n- Image:20,14\n- Center:5,5\n- Pos:2,2,8,8\n- TranLevel:255\n- TranEdge:0\n"
       "- TranGrow:100\n- Interpolate:1\n- Prompt:0\n- Modify:0\n- Exclude:0\n"
       "AREA L:1 F:5\n- Mode:Rectangle\n- Image:20,14\n- Center:13,9\n- Pos:10,6,16,12\n- TranLevel:255\n- TranEdge:0\n"
       "- TranGrow:100\n- Interpolate:1\n- Prompt:0\n- Modify:0\n- Exclude:0\n" +
       OpRun(1, 5, "Brightness", "- Var:\"Amount\",0\n- Trend Var:\"Amount\" Splined:0 1,0 5,80\n"));
  ASSERT_EQ(Generate(Request(1, 5, "whole/f")), 1) << "no folder: the save fails";
  fs::create_directories(workDir / "whole");
  ASSERT_EQ(Generate(Request(1, 5, "whole/f")), 0);
  std::vector<std::string> whole;
  for (int n = 1; n <= 5; ++n) whole.push_back(Bytes(workDir / ("whole/f000" + std::to_string(n) + ".bmp")));
  // Frame 1: Amount 0 leaves the picture; later frames differ from each
  // other as the Trend rises and the area moves.
  EXPECT_EQ(whole[0], Bytes("a.bmp"));
  for (int n = 1; n < 5; ++n) EXPECT_NE(whole[n], whole[n - 1]) << n;

  for (int n = 5; n >= 1; --n) {
    GenerateRequest r = Request(n, n);
    r.replace = true;
    ASSERT_EQ(Generate(r), 0);
    EXPECT_EQ(Bytes(workDir / ("out/f000" + std::to_string(n) + ".bmp")), whole[n - 1]) << "frame " << n;
  }

  // The area confines the change: a corner outside both rectangles stays.
  std::string last = workDir / "whole/f0005.bmp";
  ImageRecord* shown = LoadImageFile(nullptr, last);
  std::string a = "a.bmp";
  ImageRecord* input = LoadImageFile(nullptr, a);
  ASSERT_TRUE(shown && input);
  LockImage(shown);
  LockImage(input);
  EXPECT_EQ(PixelAt(shown, 0, 13)[0], PixelAt(input, 0, 13)[0]);
  EXPECT_NE(PixelAt(shown, 13, 9)[1], PixelAt(input, 13, 9)[1]);
  UnlockImage(shown);
  UnlockImage(input);
  FreeImage(shown);
  FreeImage(input);
}

TEST_F(SequenceTest, ALevelStartsFromTheResultOfTheLevelItNames) {
  WritePicture("a.bmp", 24, 16, 0);
  WritePicture("b.bmp", 24, 16, 60);
  const std::string actA = "ACT L:1 F:1 V:0 S:1 I:1 a.bmp\nACT L:1 F:2 ==\n";
  const std::string warp = OpRun(2, 2, "Surface Warp", "");
  const std::string actB = "ACT L:2 F:1 V:0 S:1 I:1 b.bmp\nACT L:2 F:2 ==\n";
  // The brightened picture, made once as a file of its own.
  Load("TIMELINE\nFrames:2\n" + actA + OpRun(1, 2, "Brightness", "- Var:\"Amount\",60\n"));
  ASSERT_EQ(Generate(Request(1, 1, "bright")), 0);
  ASSERT_TRUE(fs::exists("bright0001.bmp"));

  Load("TIMELINE\nFrames:2\n" + actA + OpRun(1, 2, "Brightness", "- Var:\"Amount\",60\n") +
       "SRC L:2 F:1 V:0 S:1 I:1 Level(1)\nSRC L:2 F:2 ==\n" + actB + warp);
  ASSERT_EQ(Generate(Request(1, 1, "named")), 0);
  Load("TIMELINE\nFrames:2\nSRC L:1 F:1 V:0 S:1 I:1 bright0001.bmp\nSRC L:1 F:2 ==\n" +
       std::string("ACT L:1 F:1 V:0 S:1 I:1 b.bmp\nACT L:1 F:2 ==\n") + OpRun(1, 2, "Surface Warp", ""));
  ASSERT_EQ(Generate(Request(1, 1, "direct")), 0);
  Load("TIMELINE\nFrames:2\nSRC L:1 F:1 V:0 S:1 I:1 a.bmp\nSRC L:1 F:2 ==\n" +
       std::string("ACT L:1 F:1 V:0 S:1 I:1 b.bmp\nACT L:1 F:2 ==\n") + OpRun(1, 2, "Surface Warp", ""));
  ASSERT_EQ(Generate(Request(1, 1, "plain")), 0);
  EXPECT_EQ(Bytes("named0001.bmp"), Bytes("direct0001.bmp"));
  EXPECT_NE(Bytes("named0001.bmp"), Bytes("plain0001.bmp")) << "the source must be level 1's result";
  for (int i = 0; i < ImageCount(); ++i)
    EXPECT_STRNE(ImageAt(i)->name, "Level(1)") << "level results go with their frame";
}

TEST_F(SequenceTest, APictureAFrameHoldsOnlyTheFrameBeingMade) {
  std::string text = "TIMELINE\nFrames:6\n" + OpRun(1, 6, "Brightness", "- Var:\"Amount\",20\n");
  for (int f = 1; f <= 6; ++f) {
    WritePicture("p" + std::to_string(f) + ".bmp", 10, 6, f * 20);
    text += "ACT L:1 F:" + std::to_string(f) + " V:0 S:1 I:1 p" + std::to_string(f) + ".bmp\n";
  }
  Load(text);
  ASSERT_EQ(Generate(Request(1, 6)), 0);
  EXPECT_LE(ImageCount(), 1) << "a file the next frame does not name is let go";
  EXPECT_TRUE(Sequence().kept.empty());
  for (int f = 2; f <= 6; ++f)
    EXPECT_NE(Bytes("out/f000" + std::to_string(f) + ".bmp"), Bytes("out/f000" + std::to_string(f - 1) + ".bmp"));
  // The same frame alone, with nothing loaded before it.
  for (int i = ImageCount() - 1; i >= 0; --i) RemoveImage(ImageAt(i));
  GenerateRequest alone = Request(4, 4, "alone");
  ASSERT_EQ(Generate(alone), 0);
  EXPECT_EQ(Bytes("alone0004.bmp"), Bytes("out/f0004.bmp"));
}

TEST_F(SequenceTest, NoLevelsNoImageAndLevelsNotBelowAreRefused) {
  WritePicture("a.bmp", 8, 8, 0);
  ImageRecord* image = LoadImage("a.bmp");
  Load("TIMELINE\nFrames:2\n");
  GenerateRequest r = Request(1, 2);
  r.image = image;
  EXPECT_EQ(Generate(r), 2);
  EXPECT_EQ(host->MessageNumbers(), std::vector<int>{82});
  EXPECT_FALSE(fs::exists("out/f0001.bmp"));
  host->answers.push_back(1);
  ASSERT_EQ(Generate(r), 0);
  EXPECT_EQ(Bytes("out/f0002.bmp"), Bytes("a.bmp")) << "frames go out unchanged";

  // A level may only take the result of a level below it.
  for (const char* name : {"Level(2)", "Level(3)", "Level(0)"}) {
    host->messages.clear();
    Load(std::string("TIMELINE\nFrames:2\nSRC L:2 F:1 V:0 S:1 I:1 ") + name + "\nSRC L:2 F:2 ==\n" +
         OpRun(1, 2, "Brightness", "") + OpRun(2, 2, "Brightness", ""));
    GenerateRequest again = Request(1, 2, "lv/f");
    again.image = image;
    fs::create_directories("lv");
    EXPECT_EQ(Generate(again), 1) << name;
    EXPECT_EQ(host->MessageNumbers(), std::vector<int>{87}) << name;
    EXPECT_FALSE(fs::exists("lv/f0001.bmp"));
  }

  // Nothing to act on.
  for (int i = ImageCount() - 1; i >= 0; --i) {
    ImageAt(i)->changed = 0;
    RemoveImage(ImageAt(i));
  }
  host->messages.clear();
  Load("TIMELINE\nFrames:2\n" + OpRun(1, 2, "Brightness", ""));
  EXPECT_EQ(Generate(Request(1, 2, "none")), 1);
  EXPECT_EQ(host->MessageNumbers(), std::vector<int>{87});
}

TEST_F(SequenceTest, BusyRunningAndStoppedRunsEndCleanly) {
  WritePicture("a.bmp", 8, 8, 0);
  ImageRecord* image = LoadImage("a.bmp");
  Load("TIMELINE\nFrames:4\n" + OpRun(1, 4, "Brightness", "- Var:\"Amount\",30\n"));
  GenerateRequest r = Request(1, 4);
  r.image = image;

  Pipeline().busy = true;
  EXPECT_EQ(Generate(r), 1);
  Pipeline().busy = false;
  Sequence().running = true;
  EXPECT_EQ(GenerateCommand(), 1);
  Sequence().running = false;
  EXPECT_EQ(host->MessageNumbers(), (std::vector<int>{86, 78}));

  int asked = 0;
  r.stopAfterFrame = [&asked] { return ++asked == 2; };
  EXPECT_EQ(Generate(r), 1);
  EXPECT_TRUE(fs::exists("out/f0002.bmp"));
  EXPECT_FALSE(fs::exists("out/f0003.bmp")) << "the stop comes between frames";

  // A stop asked for inside an apply ends the run at that frame.
  host->onPump = [] { RequestStop(); };
  r.stopAfterFrame = nullptr;
  r.replace = true;
  fs::remove_all("out");
  EXPECT_EQ(Generate(r), 1);
  host->onPump = nullptr;
  EXPECT_FALSE(fs::exists("out/f0001.bmp"));
  EXPECT_FALSE(IsSequenceRunning());
  EXPECT_FALSE(Sequence().running);
  EXPECT_EQ(Anim().timeline.cursor.frame, 3) << "the cursor frame is given back";
}

TEST_F(SequenceTest, AFailedSaveLeavesThePreviousFile) {
  ImageRecord* image = Picture(6, 6, 0);
  // A writer that fails after writing part of its file.
  TheProgram().files.animationFiles.saveFlic = [](ImageRecord*, const std::string& path, int) {
    std::ofstream(path) << "part";
    return 1;
  };
  std::ofstream("frame.flc") << "previous";
  EXPECT_EQ(SaveFrame(image, "frame.flc", kSaveFlick, kDepth8, 1, 75), 1);
  EXPECT_EQ(Bytes("frame.flc"), "previous");
  for (const auto& entry : fs::directory_iterator(workDir))
    EXPECT_EQ(entry.path().filename().string().rfind(".partial", 0), std::string::npos) << "no temporary file stays";
  EXPECT_EQ(SaveFrame(image, "frame.bmp", kSaveBitmap, kDepth24, 1, 75), 0);
  FreeImage(image);
}

TEST_F(SequenceTest, SequenceControlsCheckTheRangeAndResizeTheTimeLine) {
  Load("TIMELINE\nFrames:7\n" + OpRun(1, 7, "Brightness", ""));
  SequenceRange r{1, 1, 1, 1};
  EXPECT_EQ(TakeSequenceRange(r), 32);
  r = {7, 1, 7, 9};
  EXPECT_EQ(TakeSequenceRange(r), 30);
  EXPECT_EQ(r.current, 7) << "corrected for another look";
  r = {7, 1, 7, 0};
  EXPECT_EQ(TakeSequenceRange(r), 46);
  EXPECT_EQ(r.current, 1);
  r = {7, 5, 3, 2};
  EXPECT_EQ(TakeSequenceRange(r), 46) << "begin after finish";
  r = {7, 2, 6, 4};
  EXPECT_EQ(TakeSequenceRange(r), 0);
  EXPECT_EQ(Anim().timeline.firstFrame, 2);
  EXPECT_EQ(Anim().timeline.cursor.frame, 3);
  r = {12, 2, 6, 4};
  EXPECT_EQ(TakeSequenceRange(r), 0);
  EXPECT_EQ(FrameCount(), 12);
  EXPECT_EQ(Anim().timeline.firstFrame, 1);
  EXPECT_EQ(Anim().timeline.lastFrame, 12);
  EXPECT_EQ(CellAt(0, 11, kRowOp), kCellHoldEnd) << "the op still reaches the end";
}

}  // namespace
}  // namespace qv
