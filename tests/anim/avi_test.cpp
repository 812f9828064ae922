#include "anim/avi.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "anim/anim_state.h"
#include "anim/film_strip.h"
#include "anim/timeline.h"
#include "display/colour_reduce.h"
#include "formats/image_files.h"
#include "formats/save_choices.h"
#include "formats/save_image.h"
#include "store/image_record.h"
#include "support/peer_tools.h"
#include "support/program_fixture.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using test::Capture;
using test::HaveFfmpeg;
using Bytes = std::vector<std::uint8_t>;

Bytes ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
void WriteAll(const fs::path& p, const Bytes& b) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}
std::uint32_t Get32(const Bytes& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t{b[at + 3]} << 24;
}
// Where a four-character id first occurs at or after `from`.
std::size_t Find(const Bytes& b, const char* id, std::size_t from = 0) {
  for (std::size_t i = from; i + 4 <= b.size(); ++i)
    if (std::memcmp(b.data() + i, id, 4) == 0) return i;
  return std::string::npos;
}

Bytes Rgb(ImageRecord* image) {
  Bytes out;
  LockImage(image);
  for (int y = 0; y < image->height; ++y)
    for (int x = 0; x < image->width; ++x) {
      const std::uint8_t* p = PixelAt(image, x, y);
      out.insert(out.end(), p, p + 3);
    }
  UnlockImage(image);
  return out;
}

// Every channel varying, so swapped channels or flipped rows show; k moves it.
ImageRecord* Pattern(int w, int h, int k, bool fewColours = false) {
  ImageRecord* image = CreateImage(w, h, "test");
  LockImage(image);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = PixelAt(image, x, y);
      if (fewColours) {
        const int c = ((x + k) / 3 + y / 2) % 5;
        p[0] = static_cast<std::uint8_t>(50 * c), p[1] = static_cast<std::uint8_t>(250 - 40 * c);
        p[2] = static_cast<std::uint8_t>(c * c * 9);
      } else {
        p[0] = static_cast<std::uint8_t>(x * 7 + k), p[1] = static_cast<std::uint8_t>(y * 11);
        p[2] = static_cast<std::uint8_t>(x * y + 3 * k);
      }
      p[3] = 255;
    }
  UnlockImage(image);
  return image;
}

struct FrameHost : RecordingHost {
  long frame = 0;
  long ChooseVideoFrame(const VideoFrameRequest& r) override {
    offered = r.frames;
    seconds = r.secondsPerFrame;
    return frame;
  }
  long offered = 0;
  double seconds = 0;
};

class AviTest : public test::ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    chooser = &InstallHost<FrameHost>();
    host = chooser;
    ASSERT_EQ(InitImageTable(), 0);
  }
  Bytes FrameOf(const fs::path& file, long k) {
    chooser->frame = k;
    ImageRecord* image = ReadAviFrameFile(file.string());
    if (!image) return {};
    Bytes rgb = Rgb(image);
    FreeImage(image);
    return rgb;
  }
  // A film of n slots from the pictures (null: an empty slot).
  void MakeFilm(const std::vector<ImageRecord*>& frames, int w, int h) {
    Prefs().filmWidth = w;
    Prefs().filmHeight = h;
    ASSERT_EQ(ChangeFrameCount(static_cast<int>(frames.size())), 0);
    ASSERT_EQ(EnsureFilm(), 0);
    for (std::size_t i = 0; i < frames.size(); ++i)
      if (frames[i]) {
        ASSERT_EQ(PlaceImage(*frames[i], static_cast<long>(i)), 0);
      }
  }
  FrameHost* chooser = nullptr;
};

TEST_F(AviTest, AnEightBitFilmHasOnePaletteThreeKeyFramesAndItsRate) {
  Prefs().animMillis = 40;
  ReduceState().chooseColors = kPaletteChoose;
  std::vector<ImageRecord*> pictures{Pattern(20, 12, 0, true), Pattern(20, 12, 1, true), Pattern(20, 12, 2, true)};
  MakeFilm(pictures, 20, 12);
  ASSERT_EQ(SaveFilmAsAvi("eight.avi", 8), 0);
  const Bytes f = ReadAll("eight.avi");
  const std::size_t strf = Find(f, "strf");
  ASSERT_NE(strf, std::string::npos);
  EXPECT_EQ(Get32(f, strf + 4), 40u + 256 * 4);
  EXPECT_EQ(Find(f, "strf", strf + 4), std::string::npos);
  const std::size_t strh = Find(f, "strh");
  EXPECT_EQ(Get32(f, strh + 8 + 20), 40000u);    // scale
  EXPECT_EQ(Get32(f, strh + 8 + 24), 1000000u);  // rate
  EXPECT_EQ(Get32(f, Find(f, "avih") + 8), 40000u);
  const std::size_t idx = Find(f, "idx1");
  ASSERT_EQ(Get32(f, idx + 4), 3u * 16);
  for (int k = 0; k < 3; ++k) {
    const std::size_t e = idx + 8 + 16 * k;
    EXPECT_EQ(std::memcmp(f.data() + e, "00db", 4), 0);
    EXPECT_EQ(Get32(f, e + 4), kAviKeyFrame);
    EXPECT_EQ(std::memcmp(f.data() + Get32(f, e + 8), "00db", 4), 0) << "offsets count from the file's start";
  }
  EXPECT_EQ(Get32(f, 4), f.size() - 8);
  // A few colours shared by every frame come back exactly.
  for (int k = 0; k < 3; ++k) EXPECT_EQ(FrameOf("eight.avi", k), Rgb(Film().slots[k])) << k;
  EXPECT_EQ(chooser->offered, 3);
  EXPECT_DOUBLE_EQ(chooser->seconds, 0.04);

  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg absent";
  EXPECT_EQ(Capture("ffprobe -v error -count_frames -show_entries stream=width,height,pix_fmt,r_frame_rate,nb_read_frames "
                "-of csv=p=0 eight.avi"),
            "20,12,pal8,25/1,3\n");
}

TEST_F(AviTest, TwentyFourBitFramesReadBackAsWrittenByUsAndByFfmpeg) {
  ArmAvi("full.avi");
  std::vector<ImageRecord*> pictures{Pattern(13, 7, 0), Pattern(13, 7, 5), Pattern(13, 7, 9)};
  for (ImageRecord* p : pictures) ASSERT_EQ(AddAviFrame(p, "full.avi", 24), 0);
  ASSERT_EQ(CloseAvi(), 0);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(FrameOf("full.avi", k), Rgb(pictures[k])) << k;
  chooser->frame = 3;
  EXPECT_EQ(ReadAviFrameFile("full.avi"), nullptr);  // past the end

  // Without an index the frames are found by walking the movi list.
  Bytes f = ReadAll("full.avi");
  f.resize(Find(f, "idx1"));
  WriteAll("noindex.avi", f);
  EXPECT_EQ(FrameOf("noindex.avi", 2), Rgb(pictures[2]));

  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg absent";
  ASSERT_EQ(std::system("ffmpeg -v error -y -i full.avi -pix_fmt rgb24 -f rawvideo full.rgb"), 0);
  const Bytes peer = ReadAll("full.rgb");
  const std::size_t frame = 13 * 7 * 3;
  ASSERT_EQ(peer.size(), 3 * frame);
  for (int k = 0; k < 3; ++k)
    EXPECT_TRUE(std::equal(peer.begin() + k * frame, peer.begin() + (k + 1) * frame, Rgb(pictures[k]).begin())) << k;
}

TEST_F(AviTest, FfmpegsFilesReadAsFfmpegDecodesThem) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg absent";
  struct Case {
    const char* pixFmt;
    int w, h;
    int mask;  // 5-bit channels are widened by shifting alone
  };
  for (const Case c : {Case{"pal8", 24, 18, 0xFF}, Case{"bgr24", 25, 17, 0xFF}, Case{"rgb555le", 23, 15, 0xF8},
                       Case{"bgra", 10, 6, 0xFF}}) {
    const std::string name = std::string(c.pixFmt) + ".avi";
    const std::string make = "ffmpeg -v error -y -f lavfi -i testsrc=size=" + std::to_string(c.w) + "x" +
                             std::to_string(c.h) + ":rate=5:duration=0.6 -vf format=" + c.pixFmt +
                             " -c:v rawvideo -pix_fmt " + c.pixFmt + " " + name;
    ASSERT_EQ(std::system(make.c_str()), 0) << make;
    ASSERT_EQ(std::system(("ffmpeg -v error -y -i " + name + " -pix_fmt rgb24 -f rawvideo peer.rgb").c_str()), 0);
    const Bytes peer = ReadAll("peer.rgb");
    const std::size_t frame = static_cast<std::size_t>(c.w) * c.h * 3;
    ASSERT_EQ(peer.size() % frame, 0u);
    for (std::size_t k = 0; k < peer.size() / frame; ++k) {
      const Bytes ours = FrameOf(name, static_cast<long>(k));
      ASSERT_EQ(ours.size(), frame) << name << " frame " << k;
      std::size_t differ = 0;
      for (std::size_t i = 0; i < frame; ++i) differ += ours[i] != (peer[k * frame + i] & c.mask);
      EXPECT_EQ(differ, 0u) << name << " frame " << k;
    }
  }
  ASSERT_EQ(std::system("ffmpeg -v error -y -f lavfi -i sine=duration=0.1 audio.avi"), 0);
  host->messages.clear();
  EXPECT_TRUE(FrameOf("audio.avi", 0).empty());
  EXPECT_EQ(host->MessageNumbers(), std::vector<int>{98});
  ASSERT_EQ(std::system("ffmpeg -v error -y -f lavfi -i testsrc=size=16x16:rate=5:duration=0.4 -c:v mjpeg mj.avi"), 0);
  host->messages.clear();
  EXPECT_TRUE(FrameOf("mj.avi", 0).empty());
  EXPECT_EQ(host->MessageNumbers(), std::vector<int>{99});
}

TEST_F(AviTest, AFrameOfAnotherSizeOrPastTheLimitEndsTheRunWithAPlayableFile) {
  ArmAvi("sizes.avi");
  ASSERT_EQ(AddAviFrame(Pattern(16, 8, 0), "sizes.avi", 24), 0);
  ASSERT_EQ(AddAviFrame(Pattern(16, 8, 1), "sizes.avi", 24), 0);
  EXPECT_EQ(AddAviFrame(Pattern(8, 8, 2), "sizes.avi", 24), 1);
  EXPECT_EQ(host->MessageNumbers(), std::vector<int>{51});
  AviSummary s;
  ASSERT_TRUE(SummariseAvi("sizes.avi", s));
  EXPECT_EQ(s.frames, 2);
  EXPECT_EQ(FrameOf("sizes.avi", 1), Rgb(Pattern(16, 8, 1)));

  // The 4 GB limit, lowered to three frames' worth.
  ArmAvi("limit.avi");
  Anim().avi.limit = 4096 + 3 * (8 + 16 * 8 * 3) + 8 + 16 * 3;
  for (int k = 0; k < 3; ++k) ASSERT_EQ(AddAviFrame(Pattern(16, 8, k), "limit.avi", 24), 0) << k;
  host->messages.clear();
  EXPECT_EQ(AddAviFrame(Pattern(16, 8, 3), "limit.avi", 24), 1);
  EXPECT_EQ(host->MessageNumbers(), std::vector<int>{73});
  ASSERT_TRUE(SummariseAvi("limit.avi", s));
  EXPECT_EQ(s.frames, 3);

  // An Add without Arm writes nothing.
  host->messages.clear();
  EXPECT_EQ(AddAviFrame(Pattern(16, 8, 0), "unarmed.avi", 24), 1);
  EXPECT_EQ(host->MessageNumbers(), std::vector<int>{57});
  EXPECT_FALSE(fs::exists("unarmed.avi"));
}

TEST_F(AviTest, AnEmptyFirstSlotIsSkippedAndNoFrameLeavesTheOldFile) {
  MakeFilm({nullptr, Pattern(12, 6, 1), Pattern(12, 6, 2)}, 12, 6);
  ASSERT_EQ(SaveFilmAsAvi("gap.avi", 24), 0);
  EXPECT_EQ(host->MessageNumbers(), std::vector<int>{74});
  AviSummary s;
  ASSERT_TRUE(SummariseAvi("gap.avi", s));
  EXPECT_EQ(s.frames, 2);
  EXPECT_EQ(FrameOf("gap.avi", 0), Rgb(Film().slots[1]));

  WriteAll("keep.avi", {'o', 'l', 'd'});
  ArmAvi("keep.avi");
  EXPECT_EQ(CloseAvi(), 0);
  EXPECT_EQ(ReadAll("keep.avi"), (Bytes{'o', 'l', 'd'}));
  EXPECT_EQ(std::distance(fs::directory_iterator(workDir), fs::directory_iterator()), 2) << "no temporary file left";
}

TEST_F(AviTest, DamagedFilesGiveAMessageNeverACrash) {
  ArmAvi("whole.avi");
  for (int k = 0; k < 2; ++k) ASSERT_EQ(AddAviFrame(Pattern(9, 5, k), "whole.avi", 8), 0);
  ASSERT_EQ(CloseAvi(), 0);
  const Bytes whole = ReadAll("whole.avi");
  // Every cut, and every 4-byte field set to a huge value in the headers.
  for (std::size_t cut = 0; cut < whole.size(); cut += 7) {
    chooser->frame = 0;
    ImageRecord* image = ReadAviFrame(std::span<const std::uint8_t>(whole.data(), cut), "cut.avi");
    if (image) FreeImage(image);
  }
  for (std::size_t at = 0; at + 4 <= 4096 + 64; at += 4) {
    Bytes bad = whole;
    bad[at] = bad[at + 1] = bad[at + 2] = 0xFF;
    bad[at + 3] = 0x7F;
    ImageRecord* image = ReadAviFrame(bad, "bad.avi");
    if (image) FreeImage(image);
  }
  // A stated rate of zero falls back to 15 frames a second.
  Bytes zero = whole;
  const std::size_t strh = Find(zero, "strh");
  std::fill_n(zero.begin() + static_cast<std::ptrdiff_t>(strh + 8 + 20), 8, 0);
  ImageRecord* image = ReadAviFrame(zero, "zero.avi");
  ASSERT_NE(image, nullptr);
  FreeImage(image);
  EXPECT_DOUBLE_EQ(chooser->seconds, 1.0 / 15);
}

TEST_F(AviTest, AStillSavedAsAviOrFlickIsAOneFrameFileAndItsFramesLoadAsImages) {
  ImageRecord* picture = Pattern(10, 6, 4);
  ASSERT_EQ(SaveImageFile(picture, "still.avi", kSaveAvi, kDepth24, 1, 75), 0);
  std::string path = "still.avi";
  ImageRecord* back = LoadImageFile(nullptr, path);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->fileType, kFileAvi);
  EXPECT_EQ(Rgb(back), Rgb(picture));
  // Saving it again would replace the animation with one frame: Save As
  // is asked instead (the recording host cancels).
  std::snprintf(back->path, sizeof back->path, "%s", (workDir / "still.avi").c_str());
  EXPECT_EQ(SaveToOwnFile(back), 2);
  FreeImage(back);

  ASSERT_EQ(SaveImageFile(picture, "still.flc", kSaveFlick, kDepth8, 1, 75), 0);
  path = "still.flc";
  back = LoadImageFile(nullptr, path);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->fileType, kFileFlc);
  FreeImage(back);
}

}  // namespace
}  // namespace qv
