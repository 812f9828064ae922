#include "anim/flic.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "anim/anim_state.h"
#include "anim/timeline.h"
#include "display/colour_reduce.h"
#include "formats/byte_io.h"
#include "formats/format_test_util.h"
#include "formats/image_files.h"
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

void Put16(Bytes& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(Bytes& b, std::uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
std::uint32_t Get32(const Bytes& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t{b[at + 3]} << 24;
}
int Get16(const Bytes& b, std::size_t at) { return b[at] | b[at + 1] << 8; }

Bytes Chunk(int type, const Bytes& data) {
  Bytes c;
  Put32(c, static_cast<std::uint32_t>(data.size() + 6));
  Put16(c, static_cast<std::uint32_t>(type));
  c.insert(c.end(), data.begin(), data.end());
  return c;
}

// A FLIC file of the given frames, each a list of sub-chunks.
Bytes Flic(std::uint16_t magic, int w, int h, const std::vector<std::vector<Bytes>>& frames, std::uint32_t speed = 5) {
  Bytes f(128, 0);
  for (const auto& frame : frames) {
    Bytes body;
    for (const Bytes& c : frame) body.insert(body.end(), c.begin(), c.end());
    Put32(f, static_cast<std::uint32_t>(body.size() + 16));
    Put16(f, kFlicFrameType);
    Put16(f, static_cast<std::uint32_t>(frame.size()));
    f.insert(f.end(), 8, 0);
    f.insert(f.end(), body.begin(), body.end());
  }
  Bytes h0;
  Put32(h0, static_cast<std::uint32_t>(f.size()));
  Put16(h0, magic);
  Put16(h0, static_cast<std::uint32_t>(frames.size()));
  Put16(h0, static_cast<std::uint32_t>(w));
  Put16(h0, static_cast<std::uint32_t>(h));
  Put16(h0, 8);
  Put16(h0, 0);
  Put32(h0, speed);
  std::copy(h0.begin(), h0.end(), f.begin());
  return f;
}

Bytes Palette(int shift) {
  Bytes d;
  Put16(d, 1);
  d.push_back(0);
  d.push_back(0);
  for (int i = 0; i < 256; ++i) {
    d.push_back(static_cast<std::uint8_t>(((i * 7) & 0xFF) >> shift));
    d.push_back(static_cast<std::uint8_t>(((i * 13) & 0xFF) >> shift));
    d.push_back(static_cast<std::uint8_t>((255 - i) >> shift));
  }
  return d;
}

// Red, green, blue of every pixel.
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

// A picture of a few colours that differ from frame to frame: blocks that
// move with k.
ImageRecord* FewColours(int w, int h, int k) {
  ImageRecord* image = CreateImage(w, h, "test");
  LockImage(image);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = PixelAt(image, x, y);
      const int c = ((x + 3 * k) / 5 + y / 4) % 4;
      p[0] = static_cast<std::uint8_t>(40 * c + 10 * k);
      p[1] = static_cast<std::uint8_t>(200 - 30 * c);
      p[2] = static_cast<std::uint8_t>(c == 2 ? 255 : 17 * k);
      p[3] = 255;
    }
  UnlockImage(image);
  return image;
}

ImageRecord* Noise(int w, int h, unsigned seed) {
  std::mt19937 rng(seed);
  ImageRecord* image = CreateImage(w, h, "test");
  LockImage(image);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = PixelAt(image, x, y);
      for (int c = 0; c < 3; ++c) p[c] = static_cast<std::uint8_t>(rng());
      p[3] = 255;
    }
  UnlockImage(image);
  return image;
}

struct ChunkInfo {
  std::uint16_t type;
  std::vector<int> subTypes;
};

// The frame chunks of a file and the types of their sub-chunks.
std::vector<ChunkInfo> Chunks(const Bytes& f) {
  std::vector<ChunkInfo> out;
  for (std::size_t at = 128; at + 16 <= f.size();) {
    const std::uint32_t size = Get32(f, at);
    ChunkInfo info{static_cast<std::uint16_t>(Get16(f, at + 4)), {}};
    std::size_t pos = at + 16;
    for (int k = 0; k < Get16(f, at + 6) && pos + 6 <= f.size(); ++k) {
      info.subTypes.push_back(Get16(f, pos + 4));
      pos += Get32(f, pos);
    }
    out.push_back(info);
    if (size < 16) break;
    at += size;
  }
  return out;
}

// Answers "Select Video Frame" with the frame a test asks for.
struct FrameHost : RecordingHost {
  long frame = 0;
  long ChooseVideoFrame(const VideoFrameRequest&) override { return frame; }
};

class FlicTest : public test::ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    chooser = &InstallHost<FrameHost>();
    host = chooser;
    ASSERT_EQ(InitImageTable(), 0);
  }
  // Frame k (from 0) of a file as the reader gives it; empty when refused.
  Bytes FrameOf(const Bytes& file, long k) {
    chooser->frame = k;
    ImageRecord* image = ReadFlicFrame(file, "t.flc");
    if (!image) return {};
    Bytes rgb = Rgb(image);
    FreeImage(image);
    return rgb;
  }
  FrameHost* chooser = nullptr;
};

// ---- writing ----

TEST_F(FlicTest, FiveAppendedFramesMakeFiveFramesAndARingFrameThatPlayersDecodeAlike) {
  ReduceState().chooseColors = kPaletteChoose;  // a palette per image
  Prefs().animMillis = 40;
  std::vector<ImageRecord*> images;
  for (int k = 0; k < 5; ++k) {
    images.push_back(FewColours(48, 30, k));
    ASSERT_EQ(AppendFlicFrame(images.back(), "five.flc", k, k == 4), 0) << k;
  }
  EndFlicRun();
  const Bytes f = ReadAll("five.flc");
  EXPECT_EQ(Get16(f, 4), kFlcMagic);
  EXPECT_EQ(Get16(f, 6), 5);
  EXPECT_EQ(Get32(f, 0), f.size());
  EXPECT_EQ(Get32(f, 16), 40u);  // milliseconds, as every other player reads an FLC
  const auto chunks = Chunks(f);
  ASSERT_EQ(chunks.size(), 6u);
  EXPECT_EQ(chunks[0].subTypes, (std::vector<int>{kFlicPalette256, kFlicByteRun}));
  for (int k = 1; k < 6; ++k) {
    // Every frame brings its own palette, the ring frame the first one's.
    EXPECT_EQ(chunks[k].subTypes.front(), kFlicPalette256) << k;
    EXPECT_EQ(chunks[k].subTypes.back(), kFlicWordDelta) << k;
  }
  for (int k = 0; k < 5; ++k) EXPECT_EQ(FrameOf(f, k), Rgb(images[k])) << "frame " << k;
  // The ring frame (past the counted frames) leads back to frame 0.
  FlicDecoder dec;
  ASSERT_TRUE(dec.Start(f, "five.flc"));
  for (int k = 0; k < 6; ++k) ASSERT_TRUE(dec.DecodeNext(f)) << k;
  ImageRecord* ring = CreateLockedImage(48, 30, "test");
  dec.Convert(ring);
  UnlockImage(ring);
  EXPECT_EQ(Rgb(ring), Rgb(images[0]));

  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg absent: the peer check is skipped";
  EXPECT_NE(Capture("ffprobe -v error -show_entries stream=r_frame_rate -of csv=p=0 five.flc").find("25/1"),
            std::string::npos);
  ASSERT_EQ(std::system("ffmpeg -v error -y -i five.flc -pix_fmt rgb24 -f rawvideo five.rgb"), 0);
  const Bytes peer = ReadAll("five.rgb");
  const std::size_t frame = 48 * 30 * 3;
  ASSERT_EQ(peer.size(), 6 * frame);
  for (int k = 0; k < 6; ++k)
    EXPECT_TRUE(std::equal(peer.begin() + k * frame, peer.begin() + (k + 1) * frame, Rgb(images[k % 5]).begin()))
        << "ffmpeg's frame " << k;
}

TEST_F(FlicTest, AFrameWhoseDeltaIsLargerThanThePictureIsStoredRaw) {
  ImageRecord* a = Noise(40, 20, 1);
  ImageRecord* b = Noise(40, 20, 2);
  ASSERT_EQ(AppendFlicFrame(a, "noise.flc", 0, false), 0);
  ASSERT_EQ(AppendFlicFrame(b, "noise.flc", 1, false), 0);
  const auto chunks = Chunks(ReadAll("noise.flc"));
  ASSERT_EQ(chunks.size(), 2u);
  EXPECT_EQ(chunks[0].subTypes.back(), kFlicRaw);  // the byte run would be larger too
  EXPECT_EQ(chunks[1].subTypes.back(), kFlicRaw);
}

TEST_F(FlicTest, AnotherSizeIsRefusedAndTheFileStaysAsItWas) {
  ASSERT_EQ(AppendFlicFrame(FewColours(160, 100, 0), "small.flc", 0, false), 0);
  const Bytes before = ReadAll("small.flc");
  EXPECT_EQ(AppendFlicFrame(FewColours(320, 200, 1), "small.flc", 1, false), 1);
  EXPECT_EQ(host->MessageNumbers(), std::vector<int>{51});
  EXPECT_EQ(ReadAll("small.flc"), before);
  // An empty film slot is passed over with message 74.
  EXPECT_EQ(AppendFlicFrame(nullptr, "small.flc", 1, false), 0);
  EXPECT_EQ(host->MessageNumbers().back(), 74);
  EXPECT_EQ(ReadAll("small.flc"), before);
}

TEST_F(FlicTest, FramesAppendAfterTheLastOneHeldAndCutWhatFollowsTheirPlace) {
  ReduceState().chooseColors = kPaletteChoose;
  // A run that begins at frame 3 on a missing file makes a 3-frame file.
  for (int k = 2; k < 5; ++k) ASSERT_EQ(AppendFlicFrame(FewColours(30, 20, k), "late.flc", k, k == 4), 0);
  EndFlicRun();
  Bytes f = ReadAll("late.flc");
  EXPECT_EQ(Get16(f, 6), 3);
  EXPECT_EQ(Chunks(f).size(), 4u);
  EXPECT_EQ(FrameOf(f, 2), Rgb(FewColours(30, 20, 4)));
  // Frame 2 again, in a new run: frames 2 and the ring frame are replaced.
  ImageRecord* again = FewColours(30, 20, 9);
  ASSERT_EQ(AppendFlicFrame(again, "late.flc", 1, false), 0);
  f = ReadAll("late.flc");
  EXPECT_EQ(Get16(f, 6), 2);
  EXPECT_EQ(Get32(f, 0), f.size());
  EXPECT_EQ(Chunks(f).size(), 2u);
  EXPECT_EQ(FrameOf(f, 0), Rgb(FewColours(30, 20, 2)));
  EXPECT_EQ(FrameOf(f, 1), Rgb(again));
}

TEST_F(FlicTest, WordDeltasRebuildTheNextFrameForEveryWidth) {
  std::mt19937 rng(7);
  for (int width = 1; width <= 9; ++width) {
    for (int trial = 0; trial < 40; ++trial) {
      const int height = 1 + static_cast<int>(rng() % 4);
      Bytes a(static_cast<std::size_t>(width * height)), b;
      for (auto& v : a) v = static_cast<std::uint8_t>(rng() % 3);
      b = a;
      // Sparse and dense changes, at the edges too.
      const int changes = static_cast<int>(rng() % (width * height + 1));
      for (int c = 0; c < changes; ++c) b[rng() % b.size()] = static_cast<std::uint8_t>(rng() % 5);
      const Bytes delta = EncodeWordDelta(a, b, width, height);
      if (delta.empty()) {
        EXPECT_TRUE(width < 2 || width % 2 == 1) << "only odd or tiny widths need raw frames";
        continue;
      }
      const Bytes file = Flic(kFlcMagic, width, height, {{Chunk(kFlicRaw, a)}, {Chunk(kFlicWordDelta, delta)}});
      FlicDecoder dec;
      ASSERT_TRUE(dec.Start(file, "d.flc"));
      ASSERT_TRUE(dec.DecodeNext(file));
      ASSERT_TRUE(dec.DecodeNext(file)) << width << "x" << height;
      EXPECT_EQ(dec.area, b) << width << "x" << height << " trial " << trial;
    }
  }
}

TEST_F(FlicTest, ByteRunsRoundTripAtTheirLengthLimits) {
  Bytes pixels;
  for (int i = 0; i < 300; ++i) pixels.push_back(7);          // runs past 127
  for (int i = 0; i < 300; ++i) pixels.push_back(static_cast<std::uint8_t>(i));  // literals past 126
  const Bytes run = EncodeByteRun(pixels, 300, 2);
  const Bytes file = Flic(kFliMagic, 300, 2, {{Chunk(kFlicByteRun, run)}});
  FlicDecoder dec;
  ASSERT_TRUE(dec.Start(file, "r.fli"));
  ASSERT_TRUE(dec.DecodeNext(file));
  EXPECT_EQ(dec.area, pixels);
}

// ---- reading ----

TEST_F(FlicTest, SixtyFourLevelPalettesShowAsTheirFullScaleTwins) {
  Bytes raw(16 * 4);
  for (std::size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<std::uint8_t>(i * 4);
  const Bytes fli = Flic(kFliMagic, 16, 4, {{Chunk(kFlicPalette64, Palette(2)), Chunk(kFlicRaw, raw)}});
  Bytes full = Palette(2);
  for (std::size_t i = 4; i < full.size(); ++i) full[i] = static_cast<std::uint8_t>(full[i] << 2);
  const Bytes flc = Flic(kFlcMagic, 16, 4, {{Chunk(kFlicPalette256, full), Chunk(kFlicRaw, raw)}});
  EXPECT_EQ(FrameOf(fli, 0), FrameOf(flc, 0));
  EXPECT_FALSE(FrameOf(fli, 0).empty());
}

TEST_F(FlicTest, SpeedIsMillisecondsInFlcAndJiffiesInFli) {
  FlicHeader h;
  ASSERT_TRUE(ParseFlicHeader(Flic(kFlcMagic, 4, 4, {{}}, 40), h));
  EXPECT_DOUBLE_EQ(FlicSecondsPerFrame(h), 0.040);
  ASSERT_TRUE(ParseFlicHeader(Flic(kFliMagic, 4, 4, {{}}, 7), h));
  EXPECT_DOUBLE_EQ(FlicSecondsPerFrame(h), 0.1);
}

TEST_F(FlicTest, MalformedChunksFailTheFrameWithoutHangingOrWritingOutside) {
  Bytes packets;  // a palette packet running past entry 255
  Put16(packets, 2);
  packets.push_back(250);
  packets.push_back(10);
  for (int i = 0; i < 30; ++i) packets.push_back(99);
  packets.push_back(0);
  packets.push_back(1);
  packets.insert(packets.end(), {1, 2, 3});
  const Bytes past = Flic(kFlcMagic, 4, 4, {{Chunk(kFlicPalette256, packets), Chunk(kFlicClear, {})}});
  EXPECT_FALSE(FrameOf(past, 0).empty());

  Bytes zero = Flic(kFlcMagic, 4, 4, {{Chunk(kFlicClear, {})}});
  zero[128 + 16] = 0;  // the sub-chunk's size: 0
  EXPECT_TRUE(FrameOf(zero, 0).empty());

  Bytes overrun;  // a word delta packet of 3 words on a 4-pixel line
  Put16(overrun, 1);
  Put16(overrun, 1);
  overrun.insert(overrun.end(), {0, 3, 1, 2, 3, 4, 5, 6});
  const Bytes bad = Flic(kFlcMagic, 4, 2, {{Chunk(kFlicClear, {})}, {Chunk(kFlicWordDelta, overrun)}});
  EXPECT_TRUE(FrameOf(bad, 0).size() == 4 * 2 * 3);  // the first frame is fine
  StartLog();
  FrameOf(bad, 1);
  EXPECT_NE(Logged().find("FLC over-run 2"), std::string::npos);

  Bytes lc;  // a byte delta past the last line
  Put16(lc, 1);
  Put16(lc, 5);
  FrameOf(Flic(kFliMagic, 4, 2, {{Chunk(kFlicClear, {})}, {Chunk(kFlicByteDelta, lc)}}), 1);
  EXPECT_NE(Logged().find("Illegal start or end line in FLI_LC chunk"), std::string::npos);

  // A 4096 x 4096 header over a few hundred bytes is refused before the
  // index buffer is made.
  EXPECT_TRUE(FrameOf(Flic(kFliMagic, 4096, 4096, {{Chunk(kFlicClear, {})}}), 0).empty());
}

TEST_F(FlicTest, CorpusFilesDecodeAsTheirPeersAndBrokenOnesAreRefused) {
  const fs::path corpus = test::CorpusDir() / "flic";
  if (!fs::is_directory(corpus)) GTEST_SKIP() << "corpus not found at " << corpus << " (set QV_CORPUS)";
  // The same picture with the palette chunk first or second.
  const Bytes a = FrameOf(ReadAll(corpus / "pillow/hopper.fli"), 0);
  ASSERT_EQ(a.size(), 128u * 128 * 3);
  EXPECT_EQ(a, FrameOf(ReadAll(corpus / "pillow/hopper_palette_chunk_second.fli"), 0));

  for (const auto& entry : fs::recursive_directory_iterator(corpus / "bad")) {
    if (!entry.is_regular_file()) continue;
    // Pillow itself reads this one: a short frame over a wide header.
    if (entry.path().filename() == "fli_overflow.fli") continue;
    host->messages.clear();
    host->notes.clear();
    EXPECT_TRUE(FrameOf(ReadAll(entry.path()), 0).empty()) << entry.path();
    EXPECT_FALSE(host->messages.empty() && host->notes.empty()) << entry.path() << ": refused without a word";
  }

  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg absent";
  // The 64-level palette is widened by shifting; ffmpeg also copies the top
  // bits into the two low ones, which is all that differs.
  const fs::path serenity = corpus / "serenity/serenity.fli";
  ASSERT_EQ(std::system(("ffmpeg -v error -y -i " + serenity.string() + " -pix_fmt rgb24 -f rawvideo s.rgb").c_str()), 0);
  const Bytes peer = ReadAll("s.rgb");
  const Bytes file = ReadAll(serenity);
  const std::size_t frame = 320 * 200 * 3;
  ASSERT_GE(peer.size(), 2 * frame);
  for (int k = 0; k < 2; ++k) {
    const Bytes ours = FrameOf(file, k);
    ASSERT_EQ(ours.size(), frame);
    std::size_t differ = 0;
    for (std::size_t i = 0; i < frame; ++i) differ += ours[i] != (peer[k * frame + i] & 0xFC);
    EXPECT_EQ(differ, 0u) << "frame " << k;
  }
}

TEST_F(FlicTest, AFlicLoadsIntoTheFilmFrameByFrame) {
  ReduceState().chooseColors = kPaletteChoose;
  for (int k = 0; k < 3; ++k) ASSERT_EQ(AppendFlicFrame(FewColours(24, 16, k), "film.flc", k, k == 2), 0);
  EndFlicRun();
  ASSERT_EQ(ChangeFrameCount(3), 0);
  ASSERT_EQ(LoadFlicIntoFilm("film.flc"), 0);
  ASSERT_EQ(Film().frameWidth, 24);
  const Bytes f = ReadAll("film.flc");
  for (int k = 0; k < 3; ++k) {
    ASSERT_NE(Film().slots[k], nullptr);
    EXPECT_EQ(Rgb(Film().slots[k]), FrameOf(f, k)) << k;
  }
  // And back out: the film saved as a FLIC holds the same frames.
  ASSERT_EQ(SaveFilmAsFlic("again.flc"), 0);
  const Bytes again = ReadAll("again.flc");
  EXPECT_EQ(Get16(again, 6), 3);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(FrameOf(again, k), FrameOf(f, k)) << k;
}

}  // namespace
}  // namespace qv
