// The GIF reader's LZW edge cases on hand-made code streams, interlacing,
// placement, the writer's table and clear codes, hostile input, and the
// peers on both sides.
#include <cstring>

#include "app/program.h"
#include "formats/bmp.h"
#include "formats/format_test_util.h"
#include "formats/gif.h"
#include "support/program_fixture.h"

namespace qv::test {
namespace {

// A GIF of one image whose LZW codes are given with their widths; global
// table of four entries, index i = (50i, 50i + 1, 50i + 2).
std::vector<std::uint8_t> HandGif(int width, int height, int minSize, const std::vector<std::pair<int, int>>& codes) {
  ByteWriter w;
  w.Bytes("GIF89a", 6);
  w.U16LE(static_cast<std::uint16_t>(width)), w.U16LE(static_cast<std::uint16_t>(height));
  w.U8(0x81), w.U8(0), w.U8(0);
  for (int i = 0; i < 4; ++i) w.U8(static_cast<std::uint8_t>(50 * i)), w.U8(static_cast<std::uint8_t>(50 * i + 1)), w.U8(static_cast<std::uint8_t>(50 * i + 2));
  w.U8(','), w.U16LE(0), w.U16LE(0), w.U16LE(static_cast<std::uint16_t>(width)), w.U16LE(static_cast<std::uint16_t>(height)), w.U8(0);
  w.U8(static_cast<std::uint8_t>(minSize));
  std::vector<std::uint8_t> data;
  std::uint32_t acc = 0;
  int bits = 0;
  for (auto [code, size] : codes) {
    acc |= static_cast<std::uint32_t>(code) << bits;
    for (bits += size; bits >= 8; bits -= 8, acc >>= 8) data.push_back(static_cast<std::uint8_t>(acc));
  }
  if (bits) data.push_back(static_cast<std::uint8_t>(acc));
  w.U8(static_cast<std::uint8_t>(data.size()));
  w.Bytes(data.data(), data.size());
  w.U8(0), w.U8(';');
  return w.Data();
}

std::vector<std::uint8_t> Indexes(ImageRecord* image) {
  std::vector<std::uint8_t> out;
  auto px = Pixels(image);
  for (std::size_t i = 0; i < px.size(); i += 4) out.push_back(static_cast<std::uint8_t>(px[i] / 50));
  return out;
}

IndexedImage Indexed(int width, int height, std::vector<std::uint8_t> indexes) {
  IndexedImage image;
  image.width = width;
  image.height = height;
  image.indexes = std::move(indexes);
  for (int i = 0; i < 256; ++i) image.palette[i] = {std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i / 2)};
  return image;
}

constexpr std::size_t kDescriptorFlags = 13 + 768 + 9;

// Noise indexes below `colours`.
std::vector<std::uint8_t> Noise(std::size_t count, int colours) {
  std::uint32_t state = 7;
  std::vector<std::uint8_t> out(count);
  for (auto& v : out) {
    state = state * 214013 + 2531011;
    v = static_cast<std::uint8_t>(((state >> 16) & 0x7FFF) % colours);
  }
  return out;
}

class GifTest : public ProgramTest {};

TEST_F(GifTest, CodeStreamEdgeCases) {
  // Clear 4, end 5: after "1", code 6 is the one being defined (its string
  // is the previous one plus its own first byte), then 7 likewise.
  ImageRecord* image = ReadGif(HandGif(6, 1, 2, {{4, 3}, {1, 3}, {6, 3}, {7, 3}, {5, 3}}));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(Indexes(image), std::vector<std::uint8_t>(6, 1));
  EXPECT_EQ(Pixels(image)[0], 50);
  EXPECT_EQ(Pixels(image)[3], 255) << "pixels are opaque";
  FreeImage(image);

  // Codes widen to 4 bits once code 7 is defined; a clear narrows them again.
  image = ReadGif(HandGif(5, 1, 2, {{4, 3}, {2, 3}, {3, 3}, {1, 3}, {4, 4}, {0, 3}, {0, 3}, {5, 3}}));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(Indexes(image), (std::vector<std::uint8_t>{2, 3, 1, 0, 0}));
  FreeImage(image);

  host->notes.clear();
  for (const auto& bad : {HandGif(3, 1, 2, {{4, 3}, {1, 3}, {7, 3}}), HandGif(3, 1, 2, {{4, 3}, {6, 3}}),
                          HandGif(3, 1, 12, {{4096, 13}})}) {
    EXPECT_EQ(ReadGif(bad), nullptr);
  }
  ASSERT_EQ(host->notes.size(), 3u);
  EXPECT_EQ(host->notes[0], "Invalid GIF format\na code past the next free one");
  EXPECT_EQ(host->notes[2], "Invalid GIF format\nminimum code size 12");
  EXPECT_EQ(TheProgram().memory.placesInUse, 0);
}

TEST_F(GifTest, InterlacedRowsPlacementAndTheAspectByte) {
  std::vector<std::uint8_t> rows(10);
  for (int i = 0; i < 10; ++i) rows[i] = static_cast<std::uint8_t>(i);
  auto file = EncodeGif(Indexed(1, 10, rows));
  file[kDescriptorFlags] |= 0x40;
  file[12] = 49;  // a GIF89a aspect byte: read, not refused
  ImageRecord* image = ReadGif(file);
  ASSERT_NE(image, nullptr);
  // Stream rows land at 0, 8, 4, 2, 6, 1, 3, 5, 7, 9.
  std::vector<std::uint8_t> red;
  auto px = Pixels(image);
  for (std::size_t i = 0; i < px.size(); i += 4) red.push_back(px[i]);
  EXPECT_EQ(red, (std::vector<std::uint8_t>{0, 5, 3, 6, 2, 7, 4, 8, 1, 9}));
  EXPECT_TRUE(host->notes.empty());
  FreeImage(image);

  // An image placed at 2, 1 on its 4 x 3 screen: what falls off is dropped.
  std::vector<std::uint8_t> ones(12, 1);
  file = EncodeGif(Indexed(4, 3, ones));
  file[13 + 768 + 1] = 2;
  file[13 + 768 + 3] = 1;
  image = ReadGif(file);
  ASSERT_NE(image, nullptr);
  px = Pixels(image);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(px[4 * (y * 4 + x)], (x >= 2 && y >= 1) ? 1 : 0) << x << "," << y;
  FreeImage(image);
}

// The code widths a decoder reads the writer's stream with; counts the
// clear codes after the first and checks each restarts at 9 bits.
int ClearCodesAfterTheFirst(const std::vector<std::uint8_t>& file) {
  std::size_t at = 13 + 768 + 10;
  EXPECT_EQ(file[at++], 8);
  std::vector<std::uint8_t> data;
  while (file[at]) {
    data.insert(data.end(), &file[at + 1], &file[at + 1] + file[at]);
    at += 1 + file[at];
  }
  int width = 9, next = 258, clears = 0;
  bool first = true;
  std::size_t bit = 0;
  while (bit + width <= data.size() * 8) {
    int code = 0;
    for (int b = 0; b < width; ++b, ++bit) code |= ((data[bit / 8] >> (bit % 8)) & 1) << b;
    if (code == 256) {
      clears += bit > 9;
      width = 9, next = 258, first = true;
      continue;
    }
    if (code == 257) break;
    if (!first && next < 4096 && ++next == (1 << width) && width < 12) ++width;
    first = false;
  }
  return clears;
}

TEST_F(GifTest, WriterTablesClearCodesAndRoundTrips) {
  // Two colours still get the full table of 256.
  auto file = EncodeGif(Indexed(3, 2, {0, 1, 1, 0, 0, 1}));
  EXPECT_EQ(std::string(file.begin(), file.begin() + 6), "GIF87a");
  EXPECT_EQ(file[10], 0xF7);
  EXPECT_EQ(file[13 + 3 * 255], 255);
  EXPECT_EQ(file[kDescriptorFlags], 0);
  EXPECT_EQ(file.back(), ';');

  // Noise needs more than 4096 codes: the table is cleared and started again.
  const auto noise = Noise(160 * 120, 256);
  file = EncodeGif(Indexed(160, 120, noise));
  EXPECT_GE(ClearCodesAfterTheFirst(file), 3);
  ImageRecord* image = ReadGif(file);
  ASSERT_NE(image, nullptr);
  auto px = Pixels(image);
  for (std::size_t i = 0; i < noise.size(); ++i) ASSERT_EQ(px[4 * i], noise[i]) << i;
  FreeImage(image);

  // Through the colour reduction: a picture in the default palette comes back.
  image = CreateLockedImage(7, 5, "test");
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) {
      std::uint8_t* p = PixelAt(image, x, y);
      p[0] = static_cast<std::uint8_t>(x * 255 / 6), p[1] = static_cast<std::uint8_t>(y * 255 / 7), p[2] = 170;
    }
  UnlockImage(image);
  ASSERT_EQ(WriteGif(image, "cube.gif"), 0);
  ImageRecord* back = ReadGifFile("cube.gif");
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(Pixels(back), Pixels(image));
  EXPECT_EQ(back->bitDepth, 8);
  FreeImage(back);
  FreeImage(image);
}

TEST_F(GifTest, ShortAndHostileFiles) {
  const auto noise = Noise(40 * 30, 7);
  const auto file = EncodeGif(Indexed(40, 30, noise));
  // Data that stops early: the note, and the rows that were there.
  host->notes.clear();
  const std::size_t dataAt = 13 + 768 + 10;
  ImageRecord* image = ReadGif(std::span(file.data(), dataAt + (file.size() - dataAt) / 2));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(host->notes, std::vector<std::string>{"Premature EOF in GIF, Part 3"});
  EXPECT_EQ(Pixels(image)[4 * 41], noise[41]);
  FreeImage(image);
  // Every cut but the one that loses only the trailer.
  for (std::size_t n = 0; n + 1 < file.size(); ++n) {
    host->notes.clear();
    image = ReadGif(std::span(file.data(), n));
    EXPECT_EQ(host->notes.size(), 1u) << n;
    FreeImage(image);
  }
  host->notes.clear();
  auto huge = HandGif(65535, 65535, 2, {{4, 3}, {5, 3}});
  EXPECT_EQ(ReadGif(huge), nullptr);
  ASSERT_EQ(host->notes.size(), 1u);
  EXPECT_EQ(host->notes[0].rfind("Invalid GIF format\n", 0), 0u);
  EXPECT_EQ(TheProgram().memory.placesInUse, 0);
}

TEST_F(GifTest, PeersReadOursAndWeReadTheirs) {
  if (!HaveTool("convert") || !HaveTool("giftopnm") || !HaveTool("ffmpeg")) GTEST_SKIP() << "peers missing";
  const auto noise = Noise(97 * 61, 256);
  IndexedImage indexed = Indexed(97, 61, noise);
  ASSERT_EQ(WriteFileSafely("ours.gif", EncodeGif(indexed)), 0);
  std::vector<std::uint8_t> want;
  for (auto v : noise) want.insert(want.end(), indexed.palette[v].begin(), indexed.palette[v].end());
  for (const std::string& command : std::vector<std::string>{
       "convert ours.gif -depth 8 rgb:-", "giftopnm ours.gif | convert - -depth 8 rgb:-",
        "ffmpeg -v error -i ours.gif -f rawvideo -pix_fmt rgb24 -"}) {
    auto out = RunOutput(command + " 2>/dev/null");
    EXPECT_EQ(std::vector<std::uint8_t>(out.begin(), out.end()), want) << command;
  }

  for (const std::string& command : std::vector<std::string>{
       "convert -size 53x31 plasma:fractal -seed 5 -colors 200 im.gif",
        "convert -size 53x31 gradient:red-blue -colors 60 -interlace GIF iminterlaced.gif",
        "convert -size 53x31 gradient:green-yellow ppm:- | ppmquant 16 2>/dev/null | ppmtogif > pbm.gif"}) {
    ASSERT_EQ(std::system((command + " 2>/dev/null").c_str()), 0) << command;
    const std::string name = command.substr(command.rfind(' ') + 1);
    ImageRecord* image = ReadGifFile(name);
    ASSERT_NE(image, nullptr) << name;
    EXPECT_EQ(Rgb(Pixels(image)), Rgb(MagickRgba(name))) << name;
    FreeImage(image);
  }
}

}  // namespace
}  // namespace qv::test
