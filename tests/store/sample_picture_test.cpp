#include "store/sample_picture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <vector>

#include "store/image_record.h"
#include "support/program_fixture.h"

namespace qv {
namespace {

class SamplePictureTest : public test::ProgramTest {};

// The pixels of an image, RGBA, row by row.
std::vector<std::uint8_t> Bytes(ImageRecord* image) {
  std::vector<std::uint8_t> out;
  LockImage(image);
  for (int y = 0; y < image->height; ++y)
    for (int x = 0; x < image->width; ++x) {
      const std::uint8_t* p = PixelAt(image, x, y);
      out.insert(out.end(), p, p + 4);
    }
  UnlockImage(image);
  return out;
}

struct Picture {
  int width, height;
  std::vector<std::uint8_t> bytes;
  const std::uint8_t* At(int x, int y) const { return &bytes[(static_cast<std::size_t>(y) * width + x) * 4]; }
  bool Is(int x, int y, const std::array<std::uint8_t, 3>& c) const {
    const std::uint8_t* p = At(x, y);
    return p[0] == c[0] && p[1] == c[1] && p[2] == c[2];
  }
  int Step(int x0, int y0, int x1, int y1) const {
    const std::uint8_t *a = At(x0, y0), *b = At(x1, y1);
    return std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]);
  }
};

Picture Make(int width, int height) {
  ImageRecord* image = MakeSamplePicture(width, height);
  EXPECT_NE(image, nullptr);
  if (!image) return {width, height, {}};
  EXPECT_EQ(image->width, width);
  EXPECT_EQ(image->height, height);
  Picture p{width, height, Bytes(image)};
  FreeImage(image);
  return p;
}

TEST_F(SamplePictureTest, SameSizeGivesSameBytesTheSizeMattersAndManyColoursAreUsed) {
  Picture a = Make(320, 240), b = Make(320, 240), c = Make(240, 320);
  EXPECT_EQ(a.bytes, b.bytes);
  EXPECT_NE(a.bytes.size(), 0u);
  EXPECT_EQ(c.bytes.size(), a.bytes.size());
  EXPECT_NE(a.bytes, c.bytes);
  std::set<std::uint32_t> colours;
  for (std::size_t i = 0; i < a.bytes.size(); i += 4)
    colours.insert(a.bytes[i] | a.bytes[i + 1] << 8 | a.bytes[i + 2] << 16);
  EXPECT_GT(colours.size(), 3000u);
}

TEST_F(SamplePictureTest, IsAnAlphaImageWithATransparentCornerAndAFadingBand) {
  ImageRecord* image = MakeSamplePicture(320, 240);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->hasAlpha, 1);
  EXPECT_EQ(image->bitDepth, 32);
  EXPECT_STREQ(image->name, "sample");
  FreeImage(image);

  Picture p = Make(320, 240);
  SampleLayout l = SampleLayoutFor(320, 240);
  EXPECT_EQ(p.At(0, 0)[3], 0);
  EXPECT_EQ(p.At(l.cornerReach, 0)[3], 255);
  // Between fully clear and opaque the corner's edge is graded.
  int partial = 0;
  for (int x = 0; x < l.cornerReach; ++x) partial += p.At(x, 0)[3] > 0 && p.At(x, 0)[3] < 255;
  EXPECT_GE(partial, 2);
  EXPECT_EQ(p.At(160, l.rampTop - 1)[3], 255);
  int bottom = p.height - 1;
  EXPECT_EQ(p.At(0, bottom)[3], 255);
  EXPECT_EQ(p.At(p.width - 1, bottom)[3], 0);
  for (int x = 1; x < p.width; ++x) ASSERT_LE(p.At(x, bottom)[3], p.At(x - 1, bottom)[3]) << x;
}

TEST_F(SamplePictureTest, FlatShapesAreExactAndHardEdgedWhileTheSunIsSoft) {
  Picture p = Make(320, 240);
  SampleLayout l = SampleLayoutFor(320, 240);
  for (int y = l.blockTop; y <= l.blockBottom; ++y)
    for (int x = l.blockLeft; x <= l.blockRight; ++x) ASSERT_TRUE(p.Is(x, y, kSampleBlockColour)) << x << "," << y;
  EXPECT_FALSE(p.Is(l.blockLeft - 1, l.blockTop, kSampleBlockColour));
  EXPECT_FALSE(p.Is(l.blockRight + 1, l.blockBottom, kSampleBlockColour));
  EXPECT_FALSE(p.Is(l.blockLeft, l.blockTop - 1, kSampleBlockColour));
  EXPECT_TRUE(p.Is(l.diamondX, l.diamondY - l.diamondHalf, kSampleDiamondColour));
  EXPECT_TRUE(p.Is(l.diamondX + l.diamondHalf, l.diamondY, kSampleDiamondColour));
  EXPECT_FALSE(p.Is(l.diamondX + l.diamondHalf + 1, l.diamondY, kSampleDiamondColour));
  // The diamond's colour is found nowhere else (Key to Alpha relies on it).
  int diamond = 0;
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x)
      if (std::abs(x - l.diamondX) + std::abs(y - l.diamondY) > l.diamondHalf) diamond += p.Is(x, y, kSampleDiamondColour);
  EXPECT_EQ(diamond, 0);

  // The wheel's rim is one hard step; the sun's rim changes gently.
  int wheelRim = l.wheelX + l.wheelRadius;
  EXPECT_GT(p.Step(wheelRim, l.wheelY, wheelRim + 1, l.wheelY), 150);
  int largest = 0;
  for (int x = l.sunX; x + 1 < l.sunX + 3 * l.sunRadius && x + 1 < p.width; ++x)
    largest = std::max(largest, p.Step(x, l.sunY, x + 1, l.sunY));
  EXPECT_GT(p.Step(l.sunX, l.sunY, l.sunX + 3 * l.sunRadius, l.sunY), 60);
  EXPECT_LT(largest, 40);
}

TEST_F(SamplePictureTest, ExtremeShapesStayInsideAndTinySizesAreRefused) {
  // Each of these walks every feature at its limits (the sanitizers watch).
  for (auto [w, h] : {std::pair{16, 16}, {16, 900}, {900, 16}, {17, 31}}) {
    Picture p = Make(w, h);
    EXPECT_EQ(p.bytes.size(), static_cast<std::size_t>(w) * h * 4);
  }
  EXPECT_EQ(MakeSamplePicture(15, 100), nullptr);
  EXPECT_EQ(MakeSamplePicture(100, 0), nullptr);
  EXPECT_EQ(MakeSamplePicture(1 << 16, 1 << 15), nullptr);
}

}  // namespace
}  // namespace qv
