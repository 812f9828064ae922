#include "anim/film_strip.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "anim/anim_state.h"
#include "anim/timeline.h"
#include "formats/film_frame.h"
#include "formats/image_files.h"
#include "store/image_record.h"
#include "support/program_fixture.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

struct Colour {
  std::uint8_t r, g, b;
  bool operator==(const Colour&) const = default;
};

// A picture whose pixel (x, y) is colour(x, y).
template <class F>
ImageRecord* Picture(int w, int h, F colour) {
  ImageRecord* image = CreateImage(w, h, "test");
  EXPECT_EQ(LockImage(image), 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      Colour c = colour(x, y);
      std::uint8_t* p = PixelAt(image, x, y);
      p[0] = c.r, p[1] = c.g, p[2] = c.b;
    }
  UnlockImage(image);
  return image;
}

Colour At(ImageRecord* image, int x, int y) {
  EXPECT_EQ(LockImage(image), 0);
  const std::uint8_t* p = PixelAt(image, x, y);
  Colour c{p[0], p[1], p[2]};
  UnlockImage(image);
  return c;
}

void PutU32(Bytes& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

Bytes Header(std::uint32_t w, std::uint32_t h, std::uint32_t n) {
  Bytes b = {'Z', 'F', 'L', 'M'};
  PutU32(b, w);
  PutU32(b, h);
  PutU32(b, n);
  return b;
}

// A film file whose frame i has every red byte i, green 10 + i, blue 20 + i.
Bytes FilmFile(std::uint32_t w, std::uint32_t h, std::uint32_t n) {
  Bytes b = Header(w, h, n);
  for (std::uint32_t i = 0; i < n; ++i)
    for (std::uint8_t base : {0, 10, 20}) b.insert(b.end(), std::size_t{w} * h, static_cast<std::uint8_t>(base + i));
  return b;
}

void Write(const fs::path& p, const Bytes& b) {
  std::ofstream out(p, std::ios::binary);
  out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

Bytes Read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class FilmStripTest : public test::ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    ASSERT_EQ(InitImageTable(), 0);
  }
  // The film's frames as a signature: the red byte of each slot's centre,
  // -1 for an empty slot.
  std::vector<int> Reds() {
    std::vector<int> out;
    for (int i = 0; i < Film().length; ++i) {
      ImageRecord* s = Film().slots[i];
      out.push_back(s ? At(s, Film().frameWidth / 2, Film().frameHeight / 2).r : -1);
    }
    return out;
  }
  void PlaceSolid(int frame, std::uint8_t red) {
    ImageRecord* image = Picture(4, 3, [&](int, int) { return Colour{red, 0, 0}; });
    ASSERT_EQ(PlaceImage(*image, frame), 0);
    FreeImage(image);
  }
};

TEST_F(FilmStripTest, PicturesFitTheFrameByTheirShownShapeAndAreCentred) {
  struct Case {
    int w, h, dpiX, dpiY;
    FilmFit fit;
  } cases[] = {
      {200, 100, 100, 100, {96, 48, 0, 12}},  // wide: full width
      {100, 200, 100, 100, {36, 72, 30, 0}},  // tall: full height
      {96, 72, 200, 200, {96, 72, 0, 0}},
      {100, 100, 50, 100, {96, 48, 0, 12}},   // pixels twice as wide as tall
      {100, 100, 0, 100, {96, 1, 0, 35}},     // a zero field counts as 0.0001: at least one row
      {100, 100, 100, 0, {1, 72, 47, 0}},
  };
  for (const Case& c : cases) {
    ImageRecord* image = CreateImage(c.w, c.h, "test");
    image->dpiXNum = c.dpiX;
    image->dpiYNum = c.dpiY;
    FilmFit fit = FitIntoFrame(*image, 96, 72);
    EXPECT_EQ(fit.width, c.fit.width) << c.w << "x" << c.h << " " << c.dpiX << "/" << c.dpiY;
    EXPECT_EQ(fit.height, c.fit.height) << c.w << "x" << c.h << " " << c.dpiX << "/" << c.dpiY;
    EXPECT_EQ(fit.left, c.fit.left);
    EXPECT_EQ(fit.top, c.fit.top);
    FreeImage(image);
  }
}

TEST_F(FilmStripTest, PlaceImageSamplesNearestAndFillsTheMarginsWithTheBackground) {
  Prefs().filmWidth = 8;
  Prefs().filmHeight = 8;
  Film().background = {1, 2, 3};
  // Four columns: 0, 60, 120, 180 in red; rows tell in green.
  ImageRecord* image = Picture(4, 2, [](int x, int y) { return Colour{std::uint8_t(x * 60), std::uint8_t(y), 9}; });
  ASSERT_EQ(PlaceImage(*image, 2), 0);
  ASSERT_EQ(Film().length, FrameCount());
  ImageRecord* slot = Film().slots[2];
  ASSERT_TRUE(slot);
  EXPECT_EQ(slot->width, 8);
  EXPECT_EQ(slot->height, 8);
  // 4 x 2 at 200 dpi both ways fits as 8 x 4, two rows of margin above and below.
  for (int x = 0; x < 8; ++x) {
    EXPECT_EQ(At(slot, x, 1), (Colour{1, 2, 3})) << x;
    EXPECT_EQ(At(slot, x, 6), (Colour{1, 2, 3})) << x;
    EXPECT_EQ(At(slot, x, 2), (Colour{std::uint8_t(x / 2 * 60), 0, 9})) << x;
    EXPECT_EQ(At(slot, x, 5), (Colour{std::uint8_t(x / 2 * 60), 1, 9})) << x;
  }
  EXPECT_EQ(Film().used[2], 1);
  EXPECT_EQ(Reds(), (std::vector<int>{-1, -1, 120, -1, -1, -1, -1}));
  // Frames outside the film are ignored, not written.
  EXPECT_EQ(PlaceImage(*image, 7), 0);
  EXPECT_EQ(PlaceImage(*image, -1), 0);
  EXPECT_EQ(Reds(), (std::vector<int>{-1, -1, 120, -1, -1, -1, -1}));
  FreeImage(image);
}

TEST_F(FilmStripTest, RescaleResamplesEveryPresentSlotAndCapsTheSide) {
  Prefs().filmWidth = 2;
  Prefs().filmHeight = 2;
  ImageRecord* quad = Picture(2, 2, [](int x, int y) { return Colour{std::uint8_t(x), std::uint8_t(y), 0}; });
  ASSERT_EQ(PlaceImage(*quad, 0), 0);
  ASSERT_EQ(RescaleFilm(5, 4), 0);
  EXPECT_EQ(Film().frameWidth, 5);
  EXPECT_EQ(Film().frameHeight, 4);
  ImageRecord* slot = Film().slots[0];
  ASSERT_EQ(slot->width, 5);
  ASSERT_EQ(slot->height, 4);
  // x source = x * 2 / 5: columns 0..2 from 0, 3..4 from 1.
  for (int x = 0; x < 5; ++x) EXPECT_EQ(At(slot, x, 3), (Colour{std::uint8_t(x >= 3), 1, 0})) << x;
  EXPECT_EQ(At(slot, 0, 1), (Colour{0, 0, 0}));
  EXPECT_EQ(Film().slots[1], nullptr);
  // Sides past what a film file holds are brought down to it.
  ASSERT_EQ(RescaleFilm(2048, 3), 0);
  EXPECT_EQ(Film().frameWidth, kFilmMaxSide);
  EXPECT_EQ(Film().slots[0]->width, kFilmMaxSide);
  FreeImage(quad);
}

TEST_F(FilmStripTest, ATimeLineOfAnotherLengthResizesTheFilmKeepingItsFrames) {
  PlaceSolid(1, 11);
  PlaceSolid(6, 66);
  ASSERT_EQ(ChangeFrameCount(4), 0);
  EXPECT_EQ(Reds(), (std::vector<int>{-1, 11, -1, -1}));
  ASSERT_EQ(ChangeFrameCount(6), 0);
  EXPECT_EQ(Reds(), (std::vector<int>{-1, 11, -1, -1, -1, -1}));
  // A film that cannot grow keeps the TimeLine's count where it was.
  int allocations = 0;
  Memory().faults.allocate = [&](std::int64_t) { return ++allocations == 1; };
  EXPECT_EQ(ChangeFrameCount(9), 1);
  Memory().faults.allocate = nullptr;
  EXPECT_EQ(FrameCount(), 6);
  EXPECT_EQ(Film().length, 6);
  EXPECT_EQ(host->MessageNumbers(), std::vector<int>{4});
}

TEST_F(FilmStripTest, UpdatesAfterAnOperationScrollPlaceOrLeaveTheFilm) {
  ImageRecord* a = Picture(4, 3, [](int, int) { return Colour{50, 0, 0}; });
  ImageRecord* b = Picture(4, 3, [](int, int) { return Colour{60, 0, 0}; });
  UpdateFilmAfterOperation(*a);  // the window is closed: nothing
  EXPECT_EQ(Film().length, 0);
  Film().windowOpen = true;
  ASSERT_EQ(ChangeFrameCount(3), 0);
  Prefs().filmScrolling = kFilmScroll;
  UpdateFilmAfterOperation(*a);
  UpdateFilmAfterOperation(*b);
  EXPECT_EQ(Reds(), (std::vector<int>{-1, 50, 60}));
  UpdateFilmAfterOperation(*a);
  UpdateFilmAfterOperation(*a);  // the first picture leaves at the start
  EXPECT_EQ(Reds(), (std::vector<int>{60, 50, 50}));
  Prefs().filmScrolling = kFilmPlaceCurrent;
  SetCurrentFilmFrame(0);
  UpdateFilmAfterOperation(*a);
  EXPECT_EQ(Reds(), (std::vector<int>{50, 50, 50}));
  Prefs().filmScrolling = kFilmNoUpdate;
  UpdateFilmAfterOperation(*b);
  EXPECT_EQ(Reds(), (std::vector<int>{50, 50, 50}));
  FreeImage(a);
  FreeImage(b);
}

TEST_F(FilmStripTest, PlaybackPongsRunsForwardOrBackward) {
  ASSERT_EQ(ChangeFrameCount(4), 0);
  ASSERT_EQ(EnsureFilm(), 0);
  auto play = [](int start, int ticks) {
    Film().playPosition = start;
    Film().direction = 1;
    std::vector<int> drawn;
    for (int i = 0; i < ticks; ++i) drawn.push_back(PlaybackTick());
    return drawn;
  };
  EXPECT_EQ(play(0, 9), (std::vector<int>{0, 1, 2, 3, 2, 1, 0, 1, 2}));
  Prefs().filmPong = 0;
  EXPECT_EQ(play(0, 6), (std::vector<int>{0, 1, 2, 3, 0, 1}));
  Prefs().filmReverse = 1;
  EXPECT_EQ(play(3, 6), (std::vector<int>{3, 2, 1, 0, 3, 2}));
  EXPECT_EQ(PlaybackInterval(70), 413);
  EXPECT_EQ(PlaybackInterval(50), 451);
  EXPECT_EQ(PlaybackInterval(1000), 0);
  EXPECT_EQ(PlaybackInterval(0), 1000);
}

TEST_F(FilmStripTest, PlayNeedsARenderedFilmAndATimer) {
  EXPECT_EQ(StartPlayback(), 1);
  PlaceSolid(0, 10);
  ASSERT_EQ(RenderFilm(0), 0);
  EXPECT_TRUE(FilmRendered());
  EXPECT_EQ(StartPlayback(), 1);  // no timer without a window system
  int interval = -1;
  Film().startTimer = [&](int id, int ms) {
    EXPECT_EQ(id, kFilmTimerId);
    interval = ms;
    return true;
  };
  EXPECT_EQ(StartPlayback(), 0);
  EXPECT_EQ(interval, 413);
  SetPlaybackSpeed(50);
  EXPECT_EQ(interval, 451);
  Film().startTimer = [](int, int) { return false; };
  SetPlaybackSpeed(70);
  EXPECT_FALSE(Film().playing);
  EXPECT_EQ(host->MessageNumbers(), (std::vector<int>{19, 77, 77}));
}

TEST_F(FilmStripTest, WindowControlsMoveTheSelectionWithinTheFilm) {
  ASSERT_EQ(ChangeFrameCount(20), 0);
  auto after = [](int id, int value = 0) {
    EXPECT_EQ(FilmWindowCommand(id, value), 0) << id;
    return Film().current;
  };
  EXPECT_EQ(after(9705), 8);
  EXPECT_EQ(after(9705), 16);
  EXPECT_EQ(after(9705), 19);  // at most the last frame
  EXPECT_EQ(after(9711), 18);
  EXPECT_EQ(after(9704), 10);
  EXPECT_EQ(after(9702), 0);
  EXPECT_EQ(after(9711), 0);
  EXPECT_EQ(after(9703), 19);
  EXPECT_EQ(after(9708, 1000), 19);  // value * F / 1001
  EXPECT_EQ(after(9708, 500), 9);
  EXPECT_EQ(after(9708, 0), 0);
  EXPECT_EQ(after(9710), 1);
  EXPECT_EQ(FilmPositionText(), "  2 / 20");
  ASSERT_EQ(ChangeFrameCount(1000), 0);
  SetCurrentFilmFrame(900);
  EXPECT_EQ(FilmTimeText(70), "01:03.000");
}

TEST_F(FilmStripTest, EjectAsksThenSavesDiscardsOrKeeps) {
  EXPECT_EQ(EjectFilmCommand(), 1);
  EXPECT_EQ(host->MessageNumbers(), std::vector<int>{56});
  host->messages.clear();
  PlaceSolid(1, 40);
  EXPECT_EQ(EjectFilmCommand(), 2);  // without an answer: nothing is lost
  ASSERT_EQ(host->messages.size(), 1u);
  EXPECT_EQ(host->messages[0].title, "Eject Film Strip");
  EXPECT_EQ(host->messages[0].buttons.size(), 3u);
  EXPECT_TRUE(FilmHasSlots());
  // Save first: the save dialog is cancelled, so the film stays.
  host->answers = {1};
  EXPECT_EQ(EjectFilmCommand(), 2);
  EXPECT_TRUE(FilmHasSlots());
  host->answers = {2};
  EXPECT_EQ(EjectFilmCommand(), 0);
  EXPECT_FALSE(FilmHasSlots());
  EXPECT_EQ(Film().length, 7);
}

TEST_F(FilmStripTest, SavedFilmHasPlanesAndZerosForEmptySlotsAndLoadsBack) {
  Prefs().filmWidth = 3;
  Prefs().filmHeight = 2;
  ASSERT_EQ(ChangeFrameCount(3), 0);
  ImageRecord* image = Picture(3, 2, [](int x, int y) { return Colour{std::uint8_t(x + 3 * y), 100, 200}; });
  ASSERT_EQ(PlaceImage(*image, 0), 0);
  ASSERT_EQ(PlaceImage(*image, 2), 0);
  FreeImage(image);
  ASSERT_EQ(SaveFilmStrip("a.flm"), 0);
  Bytes file = Read("a.flm");
  Bytes expected = Header(3, 2, 3);
  const Bytes frame = {0, 1, 2, 3, 4, 5, 100, 100, 100, 100, 100, 100, 200, 200, 200, 200, 200, 200};
  expected.insert(expected.end(), frame.begin(), frame.end());
  expected.insert(expected.end(), 18, 0);
  expected.insert(expected.end(), frame.begin(), frame.end());
  EXPECT_EQ(file, expected);

  EjectFilm();
  EXPECT_FALSE(FilmHasSlots());
  ASSERT_EQ(LoadFilmStrip("a.flm"), 0);
  ASSERT_EQ(Film().length, 3);
  for (int i : {0, 1, 2}) ASSERT_TRUE(Film().slots[i]) << i;
  EXPECT_EQ(At(Film().slots[2], 2, 1), (Colour{5, 100, 200}));
  EXPECT_EQ(At(Film().slots[1], 1, 1), (Colour{0, 0, 0}));  // the empty slot comes back black
  ASSERT_EQ(SaveFilmStrip("b.flm"), 0);
  EXPECT_EQ(Read("b.flm"), file);
}

TEST_F(FilmStripTest, SavingRefusesAnEmptyFilmAndReportsWriteFailures) {
  EXPECT_EQ(SaveFilmStrip("a.flm"), 1);
  EXPECT_FALSE(fs::exists("a.flm"));
  PlaceSolid(0, 10);
  EXPECT_EQ(SaveFilmStrip("no/such/folder/a.flm"), 1);
  // A folder in the way: the rename fails and the folder stays.
  fs::create_directories("taken.flm/inside");
  EXPECT_EQ(SaveFilmStrip("taken.flm"), 1);
  EXPECT_TRUE(fs::exists("taken.flm/inside"));
  EXPECT_EQ(host->MessageNumbers(), (std::vector<int>{19, 26, 26}));
  EXPECT_NE(host->messages[1].extra.find("no/such/folder/a.flm"), std::string::npos);
}

TEST_F(FilmStripTest, LoadingALongerFilmLengthensTheTimeLineAShorterOneAsksFirst) {
  Write("twelve.flm", FilmFile(4, 2, 12));
  Write("three.flm", FilmFile(4, 2, 3));
  ASSERT_EQ(FrameCount(), 7);
  ASSERT_EQ(LoadFilmStrip("twelve.flm"), 0);
  EXPECT_EQ(FrameCount(), 12);
  EXPECT_EQ(Film().frameWidth, 4);
  EXPECT_EQ(Reds()[11], 11);
  EXPECT_TRUE(host->messages.empty());

  ASSERT_EQ(CreateGrid(), 0);  // the TimeLine now has a level to lose
  host->answers = {0};
  EXPECT_EQ(LoadFilmStrip("three.flm"), 2);
  EXPECT_EQ(FrameCount(), 12);
  EXPECT_EQ(Reds()[11], 11);
  ASSERT_EQ(host->messages.size(), 1u);
  EXPECT_EQ(host->messages[0].kind, MessageKind::Proceed);
  host->answers = {1};
  EXPECT_EQ(LoadFilmStrip("three.flm"), 0);
  EXPECT_EQ(FrameCount(), 3);
  EXPECT_EQ(Reds(), (std::vector<int>{0, 1, 2}));
}

TEST_F(FilmStripTest, DamagedFilesAreRefusedAndTheFilmIsKept) {
  PlaceSolid(3, 33);
  const std::vector<int> before = Reds();
  Bytes truncated = FilmFile(4, 2, 3);
  truncated.resize(truncated.size() - 1);
  Bytes flic(16, 0);
  flic[4] = 0x12;
  flic[5] = 0xAF;
  struct Case {
    const char* name;
    Bytes bytes;
  } cases[] = {
      {"short.flm", {'Z', 'F', 'L', 'M', 1, 0, 0}},
      {"wide.flm", Header(1025, 1, 1)},
      {"zero.flm", Header(0, 1, 1)},
      {"long.flm", Header(1, 1, 4097)},
      {"truncated.flm", truncated},
      {"huge.flm", Header(1024, 1024, 4096)},  // 16 bytes claiming 12 GiB
  };
  const std::int64_t peak = Memory().virtualMax;
  for (const Case& c : cases) {
    host->messages.clear();
    Write(c.name, c.bytes);
    EXPECT_EQ(LoadFilmStrip(c.name), 1) << c.name;
    EXPECT_EQ(host->MessageNumbers(), std::vector<int>{92}) << c.name;
    EXPECT_EQ(Reds(), before) << c.name;
  }
  // Nothing was allocated for what the files claimed.
  EXPECT_LT(Memory().virtualMax - peak, 1 << 20);
  EXPECT_NE(host->messages[0].extra.find("12884901904 needed"), std::string::npos) << host->messages[0].extra;
  host->messages.clear();
  Write("flic.flc", flic);
  Write("other.bin", Bytes(30, 7));
  EXPECT_EQ(LoadFilmStrip("flic.flc"), 1);
  EXPECT_EQ(LoadFilmStrip("other.bin"), 1);
  EXPECT_EQ(LoadFilmStrip("missing.flm"), 1);
  // The FLIC goes to the FLIC reader, which finds its header cut short.
  EXPECT_EQ(host->MessageNumbers().front(), 24);
  ASSERT_EQ(host->notes.size(), 1u);
  EXPECT_NE(host->notes[0].find("File is not a Zelvane film strip"), std::string::npos);
  EXPECT_EQ(host->MessageNumbers(), (std::vector<int>{24, 71}));
  EXPECT_EQ(Reds(), before);
}

// A person who picks the second frame.
class FrameChooser : public RecordingHost {
 public:
  long ChooseVideoFrame(const VideoFrameRequest& r) override {
    asked = r.frames;
    return answer;
  }
  long answer = 1;
  long asked = 0;
};

TEST_F(FilmStripTest, OneFrameOfAFilmFileLoadsAsAnImage) {
  Write("clip.flm", FilmFile(5, 3, 4));
  StartLog();
  std::string path = "clip.flm";
  ImageRecord* first = LoadImageFile(nullptr, path);  // without a person: the first frame
  ASSERT_TRUE(first);
  EXPECT_EQ(At(first, 4, 2), (Colour{0, 10, 20}));
  FreeImage(first);
  EXPECT_NE(Logged().find("Reading \"clip.flm\" as a zelvane .FLM"), std::string::npos);
  EXPECT_NE(Logged().find("Zelvane film strip:  Width    5 Height    3 NFrames    4"), std::string::npos);

  auto& chooser = InstallHost<FrameChooser>();
  chooser.answer = 2;
  ImageRecord* third = LoadImageFile(nullptr, path);
  ASSERT_TRUE(third);
  EXPECT_EQ(chooser.asked, 4);
  EXPECT_EQ(third->width, 5);
  EXPECT_EQ(third->height, 3);
  EXPECT_EQ(third->bitDepth, 24);
  EXPECT_EQ(third->frameIndex, 2);
  EXPECT_STREQ(third->format, "FiLM");
  EXPECT_EQ(third->fileType, kFileFlm);
  EXPECT_EQ(At(third, 0, 0), (Colour{2, 12, 22}));
  FreeImage(third);
  chooser.answer = -1;
  EXPECT_EQ(LoadImageFile(nullptr, path), nullptr);  // cancelled: no message
  EXPECT_TRUE(chooser.messages.empty());

  // The last frame of the largest film lies past 12 GiB (a sparse file).
  {
    std::fstream big("big.flm", std::ios::binary | std::ios::out | std::ios::trunc);
    const Bytes header = Header(1024, 1024, 4096);
    big.write(reinterpret_cast<const char*>(header.data()), 16);
    big.seekp(16 + std::streamoff{4095} * 3 * 1024 * 1024 + 1024 * 1024 + 5);  // green, x = 5
    big.put(char(77));
  }
  fs::resize_file("big.flm", 16 + std::uintmax_t{4096} * 3 * 1024 * 1024);
  chooser.answer = 4095;
  std::string bigPath = "big.flm";
  ImageRecord* last = LoadImageFile(nullptr, bigPath);
  ASSERT_TRUE(last);
  EXPECT_EQ(At(last, 5, 0), (Colour{0, 77, 0}));
  EXPECT_EQ(last->frameIndex, 4095);
  FreeImage(last);

  // The last frame cut short; a short header; another file's magic.
  Bytes cut = FilmFile(5, 3, 4);
  cut.resize(cut.size() - 1);
  chooser.answer = 3;
  EXPECT_EQ(ReadFilmFrame(cut, "cut.flm"), nullptr);
  EXPECT_EQ(ReadFilmFrame(Bytes{'Z', 'F', 'L', 'M', 1}, "short.flm"), nullptr);
  EXPECT_EQ(ReadFilmFrame(Bytes(16, 'x'), "x.flm"), nullptr);
  EXPECT_EQ(chooser.MessageNumbers(), (std::vector<int>{25, 24, 17}));
}

}  // namespace
}  // namespace qv
