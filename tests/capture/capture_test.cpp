// Screen capture against a fake screen: naming, conversion, numbered files,
// the replacement question, the delayed capture and the faults it mends.
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>

#include "capture/capture.h"
#include "formats/save_choices.h"
#include "support/program_fixture.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

// A host with a screen to hand over.
class ScreenHost : public RecordingHost {
 public:
  ScreenPixels screen;
  int grabs = 0;
  ScreenPixels GrabScreen() override {
    ++grabs;
    return screen;
  }
};

// Rows with 4 bytes of padding, each pixel distinct, at 16 bits a pixel.
ScreenPixels FakeScreen(int width, int height) {
  ScreenPixels s;
  s.width = width;
  s.height = height;
  s.depth = 16;
  s.stride = static_cast<std::size_t>(width) * 4 + 4;
  s.bytes.assign(s.stride * height, 0xEE);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = &s.bytes[y * s.stride + x * 4];
      p[0] = static_cast<std::uint8_t>(10 * x);       // blue
      p[1] = static_cast<std::uint8_t>(100 + y);      // green
      p[2] = static_cast<std::uint8_t>(200 + x + y);  // red
    }
  return s;
}

class CaptureTest : public test::ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    screen = &InstallHost<ScreenHost>();
    host = screen;
    screen->screen = FakeScreen(5, 3);
    ASSERT_EQ(InitImageTable(), 0);
    Prefs().capFile = (workDir / "cap" / "shot.bmp").string();
    fs::create_directories(workDir / "cap");
  }
  ScreenHost* screen = nullptr;
};

TEST_F(CaptureTest, IntoMemoryTheThirdIsCapture3WithTheScreensPixelsDepthAndResolution) {
  StartLog();
  Prefs().capMem = 1;
  for (int i = 0; i < 3; ++i) ASSERT_EQ(CaptureFromSettings(), 0);
  ASSERT_EQ(ImageCount(), 3);
  ImageRecord* image = ImageAt(2);
  EXPECT_STREQ(image->name, "Capture_3");
  EXPECT_EQ(image->bitDepth, 16);
  EXPECT_EQ(image->dpiXNum * 37, 2000 * image->dpiXDen);
  EXPECT_EQ(image->dpiYNum * 37, 2000 * image->dpiYDen);
  ASSERT_EQ(LockImage(image), 0);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) {
      const std::uint8_t* p = PixelAt(image, x, y);
      ASSERT_EQ(p[0], 200 + x + y);
      ASSERT_EQ(p[1], 100 + y);
      ASSERT_EQ(p[2], 10 * x);
      ASSERT_EQ(p[3], 255);
    }
  UnlockImage(image);
  EXPECT_NE(Logged().find("Captured 5 x 3 \nCaptured 5 x 3 \n"), std::string::npos);
}

TEST_F(CaptureTest, ToFileCounterSevenWritesShot0007AndMovesOnEvenWhenReplacementIsRefused) {
  Prefs().capMem = 0;
  Prefs().capCounter = 7;
  Prefs().cap = {kSaveBitmap, kDepth24, 1, 75};
  const int places = Memory().placesInUse;
  ASSERT_EQ(CaptureFromSettings(), 0);
  EXPECT_EQ(Prefs().capCounter, 8);
  EXPECT_EQ(Memory().placesInUse, places);  // the image went once written
  EXPECT_TRUE(fs::exists(workDir / "cap" / "shot0007.bmp"));

  // An existing shot0008: Cancel keeps it, and 8 is used up all the same.
  const fs::path eight = workDir / "cap" / "shot0008.bmp";
  std::ofstream(eight) << "keep";
  screen->answers = {0};
  EXPECT_EQ(CaptureFromSettings(), 2);
  ASSERT_EQ(screen->MessageNumbers(), std::vector<int>{91});
  EXPECT_EQ(fs::file_size(eight), 4u);
  EXPECT_EQ(Prefs().capCounter, 9);
  EXPECT_EQ(Memory().placesInUse, places);
}

TEST_F(CaptureTest, FaultsFailLoudlyAndLeaveNothingBehind) {
  Prefs().capMem = 0;
  Prefs().cap = {kSaveBitmap, kDepth24, 1, 75};
  const int places = Memory().placesInUse;

  // A counter outside 0..99999999 starts again at 1 instead of overflowing.
  Prefs().capCounter = INT_MAX;
  ASSERT_EQ(CaptureFromSettings(), 0);
  EXPECT_TRUE(fs::exists(workDir / "cap" / "shot0001.bmp"));
  EXPECT_EQ(Prefs().capCounter, 2);

  // A folder that cannot hold files: the writer's note, no partial file.
  std::ofstream(workDir / "plain") << "x";
  Prefs().capFile = (workDir / "plain" / "shot.bmp").string();
  EXPECT_EQ(CaptureFromSettings(), 1);
  ASSERT_FALSE(screen->notes.empty());
  EXPECT_EQ(Memory().placesInUse, places);

  // No pixels, or fewer than the size claims: the reason is shown, no image.
  for (ScreenPixels bad : {ScreenPixels{0, 0, 0, 0, {}, "Wayland hands no pixels"}, FakeScreen(5, 3)}) {
    if (bad.reason.empty()) bad.bytes.resize(bad.bytes.size() - 5);
    screen->screen = bad;
    screen->notes.clear();
    Prefs().capMem = 1;
    EXPECT_EQ(CaptureFromSettings(), 1);
    ASSERT_EQ(screen->notes.size(), 1u);
    EXPECT_EQ(ImageCount(), 0);
  }
  EXPECT_NE(screen->notes[0].find("rows are shorter"), std::string::npos);
}

TEST_F(CaptureTest, ADelayedCaptureWaitsForItsOneTimerWithTheDelayClamped) {
  std::vector<std::pair<int, int>> started;
  int stops = 0;
  ScreenCapture().startTimer = [&](int id, int ms) {
    started.emplace_back(id, ms);
    return true;
  };
  ScreenCapture().stopTimer = [&](int) { ++stops; };
  Prefs().capMem = 1;
  Prefs().capDelay = 1000;  // a hand-edited settings file
  ASSERT_EQ(CaptureNow(), 0);
  EXPECT_EQ(started, (std::vector<std::pair<int, int>>{{1112, 20000}}));
  EXPECT_TRUE(ScreenCapture().pending);
  EXPECT_EQ(screen->grabs, 0);
  ASSERT_EQ(CaptureTimerTick(), 0);
  ASSERT_EQ(CaptureTimerTick(), 0);  // a late tick finds nothing pending
  EXPECT_EQ(screen->grabs, 1);
  EXPECT_FALSE(ScreenCapture().pending);
  EXPECT_GE(stops, 1);

  Prefs().capDelay = 0;
  ASSERT_EQ(CaptureNow(), 0);
  EXPECT_EQ(screen->grabs, 2);
  EXPECT_EQ(started.size(), 1u);
}

}  // namespace
}  // namespace qv
