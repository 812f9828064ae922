// TRIM: the block forms, whole pictures through the coder and back, and
// damaged data.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>

#include "formats/chunk_sink.h"
#include "formats/format_test_util.h"
#include "formats/iff.h"
#include "formats/trim.h"
#include "support/program_fixture.h"

namespace qv::test {
namespace {

std::vector<std::uint8_t> RoundTripBlock(const std::vector<std::uint8_t>& symbols, std::vector<std::uint8_t>* coded = nullptr) {
  std::vector<std::uint8_t> bytes;
  EncodeTrimBlock(symbols, bytes);
  if (coded) *coded = bytes;
  std::vector<std::uint8_t> back(symbols.size());
  std::size_t pos = 0;
  EXPECT_TRUE(DecodeTrimBlock(bytes, pos, back));
  EXPECT_EQ(pos, bytes.size());
  return back;
}

TEST(TrimBlockTest, FormsAndTheirSizes) {
  std::vector<std::uint8_t> coded;
  // One value: 0xF0 and the value, also for a block of zeros.
  EXPECT_EQ(RoundTripBlock(std::vector<std::uint8_t>(256, 0), &coded), std::vector<std::uint8_t>(256, 0));
  EXPECT_EQ(coded, (std::vector<std::uint8_t>{0xF0, 0}));
  RoundTripBlock(std::vector<std::uint8_t>(7, 200), &coded);
  EXPECT_EQ(coded, (std::vector<std::uint8_t>{0xF0, 200}));
  // Ranks mostly 0 and 1 with rare large ones: a small first tier with
  // escapes, far smaller than the symbols.
  std::vector<std::uint8_t> skewed(256);
  for (int i = 0; i < 256; ++i) skewed[i] = i % 50 == 0 ? static_cast<std::uint8_t>(200 + i % 7) : i % 3 == 0;
  EXPECT_EQ(RoundTripBlock(skewed, &coded), skewed);
  EXPECT_LT(coded.size(), 60u);
  EXPECT_EQ(coded[0] >> 4, 1);
  // Uniform noise cannot be packed: the symbols as bytes after 0x80.
  std::mt19937 rng(5);
  std::vector<std::uint8_t> noise(256);
  for (auto& v : noise) v = static_cast<std::uint8_t>(rng());
  EXPECT_EQ(RoundTripBlock(noise, &coded), noise);
  EXPECT_EQ(coded.size(), 257u);
  EXPECT_EQ(coded[0], 0x80);
  // Every distribution between: geometric ranks of many spreads, all of
  // the two- and three-tier forms among them.
  std::set<int> forms;
  for (int spread = 1; spread < 120; spread += 3) {
    std::geometric_distribution<int> g(1.0 / spread);
    std::vector<std::uint8_t> s(1 + spread % 256);
    for (auto& v : s) v = static_cast<std::uint8_t>(std::min(g(rng), 255));
    EXPECT_EQ(RoundTripBlock(s, &coded), s) << spread;
    forms.insert(coded[0] & 15);
  }
  EXPECT_GE(forms.size(), 3u);
}

TEST(TrimBlockTest, DamagedBlocksAreRefused) {
  std::vector<std::uint8_t> out(16);
  for (std::vector<std::uint8_t> bad : {std::vector<std::uint8_t>{0x98},  // a tier of 9 bits
                                       {0x39, 0},                       // b of 9
                                       {0x34, 0x90},                    // c of 9
                                       {0x34, 0x29},                    // d of 9
                                       {0xF3, 1},                       // the single-value form with a second tier
                                       {0xF0},                          // its value missing
                                       {0x38, 0xFF},                    // symbols running out
                                       {}}) {
    std::size_t pos = 0;
    EXPECT_FALSE(DecodeTrimBlock(bad, pos, out)) << ::testing::PrintToString(bad);
  }
}

class TrimTest : public ProgramTest {
 protected:
  // Codes the picture, decodes the channel streams into a new picture of
  // the same size, and compares.
  void ExpectRoundTrip(ImageRecord* image, bool mono) {
    MemorySink sink;
    ASSERT_GT(EncodeTrim(sink, image, mono), 0u);
    EXPECT_EQ(sink.bytes.size() % 2, 0u);
    ImageRecord* back = CreateImage(image->width, image->height, "itst");
    ASSERT_EQ(DecodeTrim(back, sink.bytes, mono), 0) << ::testing::PrintToString(host->notes);
    EXPECT_EQ(Rgb(Pixels(back)), Rgb(Pixels(image)));
    EXPECT_STREQ(back->format, "TRIM");
    EXPECT_EQ(back->fileType, 8);
    FreeImage(back);
  }
};

ImageRecord* Filled(int width, int height, const std::function<std::array<std::uint8_t, 3>(int, int)>& colour) {
  ImageRecord* image = CreateImage(width, height, "itst");
  LockImage(image);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      auto c = colour(x, y);
      std::memcpy(PixelAt(image, x, y), c.data(), 3);
    }
  UnlockImage(image);
  return image;
}

TEST_F(TrimTest, PicturesRoundTrip) {
  std::mt19937 rng(11);
  auto noise = [&](int, int) {
    return std::array<std::uint8_t, 3>{static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng()),
                                       static_cast<std::uint8_t>(rng())};
  };
  // Flat: every block is the single-value form, 2 bytes; four times the
  // blocks (same rank tables) cost 36 more blocks a channel.
  auto colour = [](int, int) { return std::array<std::uint8_t, 3>{12, 200, 77}; };
  ImageRecord* flat = Filled(64, 48, colour);
  ImageRecord* flat4 = Filled(128, 96, colour);
  ExpectRoundTrip(flat, false);
  MemorySink sink, sink4;
  EXPECT_EQ(EncodeTrim(sink4, flat4, false) - EncodeTrim(sink, flat, false), 3u * 36 * 2);
  FreeImage(flat);
  FreeImage(flat4);
  // Noisy, 17 wide (a second block column 1 pixel wide), and odd sizes.
  for (auto [w, h] : {std::pair{17, 33}, std::pair{100, 7}, std::pair{1, 1}, std::pair{31, 16}}) {
    ImageRecord* image = Filled(w, h, noise);
    ExpectRoundTrip(image, false);
    FreeImage(image);
  }
  ImageRecord* pattern = TestPattern(53, 29);
  ExpectRoundTrip(pattern, false);
  FreeImage(pattern);
  // 1 x 100000 of noise: every block the 16-pixel plain form, far more
  // than the old buffer of pixels + pixels * 3 / 256 + 2048 bytes held.
  ImageRecord* thin = Filled(1, 100000, noise);
  ExpectRoundTrip(thin, false);
  sink.bytes.clear();
  std::uint64_t bytes = EncodeTrim(sink, thin, false);
  EXPECT_GT(bytes, 3u * (100000 + 100000 * 3 / 256 + 2048));
  FreeImage(thin);
}

TEST_F(TrimTest, GrayPicturesAreWrittenMono) {
  ImageRecord* gray = Filled(40, 20, [](int x, int y) {
    std::uint8_t v = static_cast<std::uint8_t>(x * 6 + y);
    return std::array<std::uint8_t, 3>{v, v, v};
  });
  EXPECT_TRUE(IsGrayPicture(gray));
  ExpectRoundTrip(gray, true);
  MemorySink sink;
  std::string note;
  ASSERT_EQ(EncodeIlbm(sink, gray, true, true, note), 0);
  EXPECT_EQ(std::string(sink.bytes.begin() + 8, sink.bytes.begin() + 12), "TRIM");
  EXPECT_EQ(std::string(sink.bytes.begin() + 40, sink.bytes.begin() + 44), "MONO");
  ImageRecord* back = ReadIff(sink.bytes);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(Pixels(back), Pixels(gray));
  FreeImage(back);
  // One pixel off gray makes it RGBT.
  LockImage(gray);
  PixelAt(gray, 5, 5)[2] ^= 1;
  UnlockImage(gray);
  sink.bytes.clear();
  ASSERT_EQ(EncodeIlbm(sink, gray, true, true, note), 0);
  EXPECT_EQ(std::string(sink.bytes.begin() + 40, sink.bytes.begin() + 44), "RGBT");
  FreeImage(gray);
}

TEST_F(TrimTest, ACutStreamGivesANoteAndNoPicture) {
  ImageRecord* image = TestPattern(20, 20);
  MemorySink sink;
  ASSERT_GT(EncodeTrim(sink, image, false), 0u);
  sink.bytes.resize(sink.bytes.size() / 2);
  ImageRecord* back = CreateImage(20, 20, "itst");
  EXPECT_EQ(DecodeTrim(back, sink.bytes, false), 1);
  EXPECT_EQ(host->notes, (std::vector<std::string>{"TRIM image data is damaged."}));
  EXPECT_STRNE(back->format, "TRIM");
  FreeImage(back);
  FreeImage(image);
}

}  // namespace
}  // namespace qv::test
