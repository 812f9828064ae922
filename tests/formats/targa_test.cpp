// The Targa reader's rules on hand-made files, the writer's header, runs
// and trailer, the stamp, hostile input, and files the peers write and read.
#include <cstring>
#include <filesystem>

#include "app/program.h"
#include "formats/format_test_util.h"
#include "formats/targa.h"
#include "support/program_fixture.h"

namespace qv::test {
namespace {

struct TgaLayout {
  int type = 2, width = 3, height = 2, bits = 24, descriptor = 0;
  int mapType = 0, mapFirst = 0, mapBits = 0;
  std::vector<std::uint8_t> map = {};   // as stored
  std::vector<std::uint8_t> data = {};  // as stored
  std::vector<std::uint8_t> tail = {};  // after the data (areas, footer)
};

std::vector<std::uint8_t> MakeTga(const TgaLayout& t) {
  ByteWriter w;
  int entryBytes = (t.mapBits + 7) / 8;
  w.U8(0), w.U8(static_cast<std::uint8_t>(t.mapType)), w.U8(static_cast<std::uint8_t>(t.type));
  w.U16LE(static_cast<std::uint16_t>(t.mapFirst));
  w.U16LE(static_cast<std::uint16_t>(entryBytes ? t.map.size() / entryBytes : 0));
  w.U8(static_cast<std::uint8_t>(t.mapBits));
  w.U16LE(0), w.U16LE(0), w.U16LE(static_cast<std::uint16_t>(t.width)), w.U16LE(static_cast<std::uint16_t>(t.height));
  w.U8(static_cast<std::uint8_t>(t.bits)), w.U8(static_cast<std::uint8_t>(t.descriptor));
  w.Bytes(t.map.data(), t.map.size());
  w.Bytes(t.data.data(), t.data.size());
  w.Bytes(t.tail.data(), t.tail.size());
  return w.Data();
}

// Six pixels, rows top to bottom, as red, green, blue.
const std::vector<std::array<std::uint8_t, 3>> kSix = {{10, 20, 30}, {40, 50, 60}, {70, 80, 90},
                                                         {1, 2, 3},    {4, 5, 6},    {4, 5, 6}};

std::vector<std::uint8_t> Bgr(int index) { return {kSix[index][2], kSix[index][1], kSix[index][0]}; }

std::vector<std::uint8_t> Rows(const std::vector<int>& order) {
  std::vector<std::uint8_t> out;
  for (int i : order) {
    auto p = Bgr(i);
    out.insert(out.end(), p.begin(), p.end());
  }
  return out;
}

std::vector<std::uint8_t> Expected() {
  std::vector<std::uint8_t> out;
  for (const auto& p : kSix) out.insert(out.end(), {p[0], p[1], p[2], 255});
  return out;
}

class TargaTest : public ProgramTest {};

TEST_F(TargaTest, RowOrdersMirroringAndRunsAcrossRowsGiveOnePicture) {
  // Raw, run and raw packets, bottom-up.
  std::vector<std::uint8_t> rle;
  for (const auto& part : {std::vector<std::uint8_t>{0x00}, Bgr(3), {0x81}, Bgr(4), {0x02}, Bgr(0), Bgr(1), Bgr(2)})
    rle.insert(rle.end(), part.begin(), part.end());
  const std::vector<TgaLayout> layouts = {
      {.descriptor = 0x20, .data = Rows({0, 1, 2, 3, 4, 5})},
      {.descriptor = 0x00, .data = Rows({3, 4, 5, 0, 1, 2})},
      {.descriptor = 0x30, .data = Rows({2, 1, 0, 5, 4, 3})},  // right to left, top down
      {.type = 10, .data = rle},
      // Top down: two raw pixels, then a run of four that crosses into row 2.
      {.type = 10, .descriptor = 0x20, .data = {0x01, 10, 20, 30, 0, 0, 0, 0x83, 0, 0, 0}},
  };
  for (std::size_t i = 0; i < layouts.size(); ++i) {
    ImageRecord* image = ReadTarga(MakeTga(layouts[i]));
    ASSERT_NE(image, nullptr) << "layout " << i;
    if (i < 4) {
      EXPECT_EQ(Pixels(image), Expected()) << "layout " << i;
    } else {
      std::vector<std::uint8_t> want = {30, 20, 10, 255, 0, 0, 0, 255, 0, 0, 0, 255};
      for (int k = 0; k < 3; ++k) want.insert(want.end(), {0, 0, 0, 255});
      EXPECT_EQ(Pixels(image), want);
    }
    EXPECT_EQ(image->bitDepth, 24);
    FreeImage(image);
  }
}

TEST_F(TargaTest, ColourMapsAndSixteenBitPixels) {
  // 15-bit map entries from first entry 2; index 1 lies before the map.
  auto word = [](int r, int g, int b) { return static_cast<std::uint16_t>((r << 10) | (g << 5) | b); };
  std::vector<std::uint8_t> map;
  for (auto v : {word(31, 0, 0), word(1, 16, 31)}) map.insert(map.end(), {std::uint8_t(v), std::uint8_t(v >> 8)});
  TgaLayout mapped{.type = 1, .width = 3, .height = 1, .bits = 8, .descriptor = 0x20, .mapType = 1, .mapFirst = 2,
                   .mapBits = 15, .map = map, .data = {2, 3, 1}};
  ImageRecord* image = ReadTarga(MakeTga(mapped));
  ASSERT_NE(image, nullptr);
  // 5-bit v widens to (v << 3) | (v >> 2): 1 -> 8, 16 -> 132, 31 -> 255.
  EXPECT_EQ(Pixels(image), (std::vector<std::uint8_t>{255, 0, 0, 255, 8, 132, 255, 255, 0, 0, 0, 255}));
  EXPECT_EQ(image->hasAlpha, 0);
  FreeImage(image);

  // A 32-bit map's fourth byte is not alpha; 32-bit pixels are.
  TgaLayout mapped32 = mapped;
  mapped32.mapBits = 32;
  mapped32.mapFirst = 0;
  mapped32.map = {1, 2, 3, 0};
  mapped32.data = {0, 0, 0};
  image = ReadTarga(MakeTga(mapped32));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(Pixels(image)[3], 255);
  FreeImage(image);
  TgaLayout rgba{.width = 1, .height = 1, .bits = 32, .data = {1, 2, 3, 77}};
  image = ReadTarga(MakeTga(rgba));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(Pixels(image), (std::vector<std::uint8_t>{3, 2, 1, 77}));
  EXPECT_EQ(image->hasAlpha, 1);
  FreeImage(image);

  TgaLayout sixteen{.width = 1, .height = 1, .bits = 16, .data = {std::uint8_t(word(2, 30, 7)), std::uint8_t(word(2, 30, 7) >> 8)}};
  image = ReadTarga(MakeTga(sixteen));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(Pixels(image), (std::vector<std::uint8_t>{16, 247, 57, 255}));
  FreeImage(image);
}

// A version 2 tail: the extension area at offset `at` and the footer.
std::vector<std::uint8_t> Tail(std::uint32_t at, const char* author, const char* comment, int year, int aspectNum,
                               int aspectDen) {
  ByteWriter w;
  w.U16LE(495);
  std::vector<std::uint8_t> text(41 + 324);
  std::memcpy(text.data(), author, std::strlen(author));
  std::memcpy(text.data() + 41, comment, std::strlen(comment));
  w.Bytes(text.data(), text.size());
  for (int v : {12, 31, year, 23, 59, 58}) w.U16LE(static_cast<std::uint16_t>(v));
  w.Zeros(41 + 6 + 41 + 3 + 4);
  w.U16LE(static_cast<std::uint16_t>(aspectNum)), w.U16LE(static_cast<std::uint16_t>(aspectDen));
  w.Zeros(4 + 4 + 4 + 4 + 1);
  w.U32LE(at), w.U32LE(0);
  w.Bytes("TRUEVISION-XFILE.", 17);
  w.U8(0);
  return w.Data();
}

TEST_F(TargaTest, ExtensionAreaGivesAuthorCommentAndResolution) {
  StartLog();
  TgaLayout t{.width = 1, .height = 1, .data = {1, 2, 3}};
  const std::uint32_t at = 18 + 3;
  struct Case {
    int num, den, dpiX, dpiY;
  } cases[] = {{4, 3, 40, 30}, {300, 200, 300, 200}, {5000, 10, 1, 1}, {0, 3, 200, 200}};
  for (const auto& c : cases) {
    t.tail = Tail(at, "Ada", "first line", 98, c.num, c.den);
    ImageRecord* image = ReadTarga(MakeTga(t));
    ASSERT_NE(image, nullptr);
    EXPECT_STREQ(image->author, "Ada");
    ASSERT_NE(image->annotation, nullptr);
    EXPECT_STREQ(image->annotation, "first line");
    EXPECT_EQ(image->dpiXNum, c.dpiX) << c.num << ":" << c.den;
    EXPECT_EQ(image->dpiYNum, c.dpiY) << c.num << ":" << c.den;
    FreeImage(image);
  }
  EXPECT_NE(Logged().find("Stamp date: 1998:12:31 23:59:58\n"), std::string::npos);

  // No signature: nothing from the tail. A file shorter than a footer just
  // has none.
  t.tail = Tail(at, "Ada", "x", 5, 4, 3);
  t.tail[t.tail.size() - 3] = 'Y';
  ImageRecord* image = ReadTarga(MakeTga(t));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->author[0], '\0');
  EXPECT_EQ(image->annotation, nullptr);
  EXPECT_EQ(image->dpiXNum, 200);
  FreeImage(image);
  t.tail.clear();
  auto tiny = MakeTga(t);
  ASSERT_LT(tiny.size(), 26u);
  image = ReadTarga(tiny);
  EXPECT_NE(image, nullptr);
  FreeImage(image);
}

TEST_F(TargaTest, WrittenFilesKeepHeaderTableTrailerAndInformation) {
  ImageRecord* image = TestPattern(100, 50);
  std::snprintf(image->author, sizeof image->author, "Quill");
  ASSERT_EQ(EnsureAnnotation(image, 400), 0);
  std::string longComment(400, 'c');
  std::snprintf(image->annotation, 400, "%s", longComment.c_str());
  for (bool compress : {false, true}) {
    auto file = EncodeTarga(image, compress);
    ASSERT_GT(file.size(), 18u + 495 + 26);
    EXPECT_EQ(file[2], compress ? 10 : 2);
    EXPECT_EQ(file[3] | (file[4] << 8), 59) << "first entry written although there is no map";
    EXPECT_EQ(file[16], 24);
    EXPECT_EQ(file[17], 0);
    const std::size_t ext = file[file.size() - 26] | (file[file.size() - 25] << 8) |
                            (file[file.size() - 24] << 16) | (std::size_t{file[file.size() - 23]} << 24);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&file[ext + 426])), "Pixanta:Q/v by Quillon");
    EXPECT_EQ(file[ext + 467] | (file[ext + 468] << 8), 312);
    EXPECT_EQ(std::strlen(reinterpret_cast<const char*>(&file[ext + 43])), 323u) << "comment cut to 323";
    const std::size_t stamp = file[ext + 486] | (file[ext + 487] << 8) | (file[ext + 488] << 16);
    EXPECT_EQ(file[stamp], 36);
    EXPECT_EQ(file[stamp + 1], 18) << "100 x 50 with square pixels";

    ImageRecord* back = ReadTarga(file);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(Pixels(back), Pixels(image));
    EXPECT_STREQ(back->author, "Quill");
    EXPECT_EQ(std::string(back->annotation), longComment.substr(0, 323));
    FreeImage(back);

    TargaThumbnail thumb;
    ASSERT_TRUE(ReadTargaStamp(file, thumb));
    EXPECT_EQ(thumb.width, 36);
    EXPECT_EQ(thumb.height, 18);
    // Stamp pixel (x, y) is image pixel (x * 100 / 36, y * 50 / 18).
    LockImage(image);
    EXPECT_EQ(0, std::memcmp(&thumb.rgba[4 * (5 * 36 + 7)], PixelAt(image, 7 * 100 / 36, 5 * 50 / 18), 3));
    UnlockImage(image);
  }

  // 4:3 pixels and alpha survive; zero resolution fields count as 1.
  image->dpiXNum = 40, image->dpiYNum = 30;
  image->hasAlpha = 1;
  ImageRecord* back = ReadTarga(EncodeTarga(image, true));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->dpiXNum, 40);
  EXPECT_EQ(back->dpiYNum, 30);
  EXPECT_EQ(back->hasAlpha, 1);
  EXPECT_EQ(back->bitDepth, 32);
  FreeImage(back);
  StampSize s = TargaStampSize(100, 50, 0, 0, 0, 0);
  EXPECT_EQ(s.width, 36);
  EXPECT_EQ(s.height, 18);
  s = TargaStampSize(1, 65535, 1, 1, 1, 1);
  EXPECT_EQ(s.width, 4);
  EXPECT_EQ(s.height, 32);
  FreeImage(image);
}

TEST_F(TargaTest, RowRunsFollowTheRules) {
  // 130 equal pixels: a run of 128 and a run of 2; then A B C D D D: a raw
  // list closed where three equal pixels start; a lone pixel at the end.
  ImageRecord* image = CreateLockedImage(138, 1, "test");
  auto set = [&](int x, std::uint8_t v) {
    std::uint8_t* p = PixelAt(image, x, 0);
    p[0] = p[1] = p[2] = v;
  };
  for (int x = 0; x < 130; ++x) set(x, 9);
  std::uint8_t rest[] = {1, 2, 3, 4, 4, 4, 5, 6};
  for (int i = 0; i < 8; ++i) set(130 + i, rest[i]);
  UnlockImage(image);
  auto file = EncodeTarga(image, true);
  const std::vector<std::uint8_t> want = {0xFF, 9, 9, 9, 0x81, 9, 9, 9, 0x02, 1, 1, 1, 2, 2, 2, 3, 3, 3,
                                          0x82, 4, 4, 4, 0x01, 5, 5, 5, 6, 6, 6};
  EXPECT_EQ(std::vector<std::uint8_t>(file.begin() + 18, file.begin() + 18 + want.size()), want);
  FreeImage(image);

  // Equal rows still make one packet per row; 200 different pixels: raw
  // lists of 127 and 73.
  image = CreateImage(2, 2, "test");
  file = EncodeTarga(image, true);
  EXPECT_EQ(std::vector<std::uint8_t>(file.begin() + 18, file.begin() + 26),
            (std::vector<std::uint8_t>{0x81, 0, 0, 0, 0x81, 0, 0, 0}));
  FreeImage(image);
  image = TestPattern(200, 1);
  file = EncodeTarga(image, true);
  EXPECT_EQ(file[18], 126);
  EXPECT_EQ(file[18 + 1 + 127 * 3], 72);
  FreeImage(image);
}

TEST_F(TargaTest, HostileFilesGiveANoteAndNoImage) {
  ImageRecord* image = TestPattern(9, 7);
  std::vector<std::vector<std::uint8_t>> files;
  for (bool rle : {false, true}) {
    auto file = EncodeTarga(image, rle);
    file.resize(file.size() - 26 - 495 - 2 - 36 * 28 * 3);  // just the header and the pixels
    files.push_back(file);
  }
  FreeImage(image);
  for (const auto& file : files)
    for (std::size_t n = 0; n < file.size(); ++n) {
      host->notes.clear();
      ImageRecord* cut = ReadTarga(std::span(file.data(), n));
      EXPECT_EQ(cut, nullptr) << n;
      EXPECT_EQ(host->notes.size(), 1u) << n;
    }

  auto bomb = MakeTga({.width = 65535, .height = 65535, .data = {1, 2, 3}});
  auto bombRle = MakeTga({.type = 10, .width = 65535, .height = 65535, .data = {0xFF, 1, 2, 3}});
  auto oddMap = MakeTga({.type = 1, .width = 1, .height = 1, .bits = 8, .mapType = 1, .mapBits = 8, .map = {1, 2}, .data = {0}});
  auto grey = MakeTga({.type = 3, .width = 1, .height = 1, .bits = 8, .data = {1}});
  auto noMap = MakeTga({.type = 9, .width = 1, .height = 1, .bits = 8, .data = {0, 0}});
  auto wide = MakeTga({.width = 0, .height = 5, .data = {}});
  for (const auto& file : {bomb, bombRle, oddMap, grey, noMap, wide}) {
    host->notes.clear();
    EXPECT_EQ(ReadTarga(file), nullptr);
    EXPECT_EQ(host->notes.size(), 1u);
  }
  EXPECT_NE(host->notes.back().find("0 x 5"), std::string::npos) << host->notes.back();
  EXPECT_EQ(TheProgram().memory.placesInUse, 0);
}

// What the peers write, read with the pixels they decode; what we write,
// read by them with ours (ImageMagick needs -auto-orient for bottom-up rows).
TEST_F(TargaTest, PeersReadOursAndWeReadTheirs) {
  if (!HaveTool("convert") || !HaveTool("ffmpeg")) GTEST_SKIP() << "ImageMagick and ffmpeg are needed";
  ImageRecord* image = TestPattern(37, 23, true);
  for (bool alpha : {false, true})
    for (bool rle : {false, true}) {
      image->hasAlpha = alpha;
      const std::string name = std::string("ours") + (alpha ? "32" : "24") + (rle ? "rle" : "") + ".tga";
      ASSERT_EQ(WriteTarga(image, name, rle), 0);
      auto ours = Pixels(image);
      if (!alpha) ours = Rgb(ours);
      const std::string format = alpha ? "rgba" : "rgb";
      auto magick = RunOutput("convert " + name + " -auto-orient -depth 8 " + format + ":-");
      auto ffmpeg = RunOutput("ffmpeg -v error -i " + name + " -f rawvideo -pix_fmt " + (alpha ? "rgba" : "rgb24") + " -");
      EXPECT_EQ(std::vector<std::uint8_t>(magick.begin(), magick.end()), ours) << name;
      EXPECT_EQ(std::vector<std::uint8_t>(ffmpeg.begin(), ffmpeg.end()), ours) << name;
    }
  FreeImage(image);

  const std::vector<std::string> peers = {
      "convert -size 41x17 gradient:red-blue -compress none -type truecolor im24.tga",
      "convert -size 41x17 gradient:red-blue -compress RLE -type truecolor imrle.tga",
      "convert -size 41x17 gradient:red-blue -alpha set -channel A -fx 'i/w' -type truecoloralpha im32.tga",
      "convert -size 41x17 gradient:red-blue -colors 12 -type palette immap.tga",
      "ffmpeg -v error -f lavfi -i testsrc=size=41x17 -frames:v 1 -y ff24.tga",
      "ffmpeg -v error -f lavfi -i testsrc=size=41x17 -frames:v 1 -pix_fmt bgra -y ff32.tga",
  };
  for (const auto& command : peers) {
    ASSERT_EQ(std::system((command + " 2>/dev/null").c_str()), 0) << command;
    const std::string name = command.substr(command.rfind(' ') + 1);
    ImageRecord* read = ReadTargaFile(name);
    ASSERT_NE(read, nullptr) << name;
    auto ours = Pixels(read);
    if (!read->hasAlpha) ours = Rgb(ours);
    auto oriented = RunOutput("convert " + name + " -auto-orient -depth 8 " + (read->hasAlpha ? "rgba" : "rgb") + ":-");
    EXPECT_EQ(ours, std::vector<std::uint8_t>(oriented.begin(), oriented.end())) << name;
    FreeImage(read);
  }
}

}  // namespace
}  // namespace qv::test
