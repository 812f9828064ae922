// The PCX reader by bits and planes on hand-made files, the run rules of
// both directions, refusals, and the peers on both sides.
#include "app/program.h"
#include "formats/bmp.h"
#include "formats/format_test_util.h"
#include "formats/pcx.h"
#include "support/program_fixture.h"

namespace qv::test {
namespace {

// A PCX file whose plane lines are given (each row: its planes in order),
// stored byte by byte; header palette entry i = (16i, 16i + 1, 16i + 2).
std::vector<std::uint8_t> MakePcx(int bits, int planes, int width, int height, int bytesPerLine,
                                  const std::vector<std::uint8_t>& lines, const std::vector<std::uint8_t>& after = {}) {
  ByteWriter w;
  w.U8(10), w.U8(5), w.U8(1), w.U8(static_cast<std::uint8_t>(bits));
  w.U16LE(0), w.U16LE(0), w.U16LE(static_cast<std::uint16_t>(width - 1)), w.U16LE(static_cast<std::uint16_t>(height - 1));
  w.U16LE(72), w.U16LE(72);
  for (int i = 0; i < 16; ++i) w.U8(static_cast<std::uint8_t>(16 * i)), w.U8(static_cast<std::uint8_t>(16 * i + 1)), w.U8(static_cast<std::uint8_t>(16 * i + 2));
  w.U8(0), w.U8(static_cast<std::uint8_t>(planes)), w.U16LE(static_cast<std::uint16_t>(bytesPerLine)), w.U16LE(1);
  w.Zeros(58);
  for (auto b : lines) {
    if (b >= 0xC0) w.U8(0xC1);
    w.U8(b);
  }
  w.Bytes(after.data(), after.size());
  return w.Data();
}

std::vector<int> HeaderIndexes(ImageRecord* image) {
  std::vector<int> out;
  auto px = Pixels(image);
  for (std::size_t i = 0; i < px.size(); i += 4) out.push_back(px[i] / 16);
  return out;
}

class PcxTest : public ProgramTest {};

TEST_F(PcxTest, EveryLayoutDecodesByBitsAndPlanes) {
  struct Case {
    int bits, planes;
    std::vector<std::uint8_t> lines;
    std::vector<int> want;  // header palette indexes of the 5 x 1 picture
  } cases[] = {
      {1, 1, {0b10100000}, {1, 0, 1, 0, 0}},
      {1, 2, {0b10100000, 0b11000000}, {3, 2, 1, 0, 0}},
      {1, 3, {0b10000000, 0b01000000, 0b00100000}, {1, 2, 4, 0, 0}},
      {1, 4, {0b10000000, 0b01000000, 0b00100000, 0b00010000}, {1, 2, 4, 8, 0}},
      {2, 1, {0b11100100, 0b01000000}, {3, 2, 1, 0, 1}},
      // Four bits in one plane: two pixels a byte, not four planes.
      {4, 1, {0xF1, 0x2E, 0x70}, {15, 1, 2, 14, 7}},
  };
  for (const auto& c : cases) {
    ImageRecord* image = ReadPcx(MakePcx(c.bits, c.planes, 5, 1, static_cast<int>(c.lines.size() / c.planes), c.lines));
    ASSERT_NE(image, nullptr) << c.bits << " x " << c.planes;
    EXPECT_EQ(HeaderIndexes(image), c.want) << c.bits << " x " << c.planes;
    EXPECT_EQ(image->bitDepth, c.bits * c.planes);
    FreeImage(image);
  }

  // 8 bits: the palette after the data (the byte 12 before it may be
  // missing: a warning in the log); 24 and 32 bits in planes.
  StartLog();
  std::vector<std::uint8_t> palette(768);
  for (int i = 0; i < 768; ++i) palette[i] = static_cast<std::uint8_t>(255 - i / 3);
  for (bool leadIn : {true, false}) {
    std::vector<std::uint8_t> after = {static_cast<std::uint8_t>(leadIn ? 12 : 0)};
    after.insert(after.end(), palette.begin(), palette.end());
    ImageRecord* image = ReadPcx(MakePcx(8, 1, 2, 1, 2, {3, 0xC5}, after));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(Pixels(image), (std::vector<std::uint8_t>{252, 252, 252, 255, 58, 58, 58, 255}));
    FreeImage(image);
  }
  EXPECT_EQ(Logged().find("WARNING: Palette lead in not found !\n"), Logged().rfind("WARNING"));
  EXPECT_NE(Logged().find("WARNING: Palette lead in not found !\n"), std::string::npos);

  ImageRecord* image = ReadPcx(MakePcx(8, 4, 2, 1, 2, {1, 2, 3, 4, 5, 6, 7, 8}));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(Pixels(image), (std::vector<std::uint8_t>{1, 3, 5, 7, 2, 4, 6, 8}));
  EXPECT_EQ(image->hasAlpha, 1);
  FreeImage(image);

  // One bit whose two header entries are alike (left zero by most writers):
  // black and white, not a flat field.
  auto flat = MakePcx(1, 1, 8, 1, 1, {0b01000000});
  std::fill(flat.begin() + 16, flat.begin() + 22, 0);
  image = ReadPcx(flat);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(Pixels(image)[0], 0);
  EXPECT_EQ(Pixels(image)[4], 255);
  FreeImage(image);
}

TEST_F(PcxTest, RunsAreCutAtTheLineAndWrittenByTheRule) {
  // A run of 9 into a 4-byte line: the line takes 4, the rest is dropped
  // and the next line starts with the next byte.
  std::vector<std::uint8_t> file = MakePcx(8, 3, 4, 1, 4, {});
  for (std::uint8_t b : {0xC9, 7, 0xC4, 8, 1, 2, 3, 4}) file.push_back(b);
  ImageRecord* image = ReadPcx(file);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(Pixels(image), (std::vector<std::uint8_t>{7, 8, 1, 255, 7, 8, 2, 255, 7, 8, 3, 255, 7, 8, 4, 255}));
  FreeImage(image);

  // Written: 0xC1 always as a pair; runs up to 63; a 9-pixel one-bit line
  // takes 2 bytes.
  IndexedImage indexed;
  indexed.width = 70;
  indexed.height = 1;
  indexed.indexes.assign(70, 5);
  indexed.indexes[0] = 0xC1;
  auto out = EncodePcxIndexed(indexed, 8);
  EXPECT_EQ(std::vector<std::uint8_t>(out.begin() + 128, out.begin() + 134),
            (std::vector<std::uint8_t>{0xC1, 0xC1, 0xFF, 5, 0xC6, 5}));
  EXPECT_EQ(out[out.size() - 769], 12);
  indexed.width = 9;
  indexed.indexes.assign(9, 1);
  out = EncodePcxIndexed(indexed, 1);
  EXPECT_EQ(out[66], 2);
  EXPECT_EQ(out[65], 1);
  out = EncodePcxIndexed(indexed, 4);
  EXPECT_EQ(out[65], 4);
  EXPECT_EQ(out[3], 1);
}

TEST_F(PcxTest, RefusalsSayWhy) {
  const std::vector<std::uint8_t> line(8, 1);
  struct Case {
    std::vector<std::uint8_t> file;
    std::string note;
  } cases[] = {
      {MakePcx(8, 1, 5, 1, 4, line), "PCX file looks corrupted\n4 bytes per line hold fewer than 5 pixels of 8 bits"},
      {MakePcx(2, 2, 4, 1, 1, line), "This kind of PCX file cannot be read\n2 bits in 2 planes"},
      {MakePcx(8, 3, 8, 2, 8, line), "Truncated PCX file"},
      {std::vector<std::uint8_t>(100, 10), "Truncated PCX file"},
      {MakePcx(1, 1, 65535, 65535, 8192, line), "PCX file looks corrupted\n4294836225 pixels > 1073741824"},
  };
  for (const auto& c : cases) {
    host->notes.clear();
    EXPECT_EQ(ReadPcx(c.file), nullptr);
    EXPECT_EQ(host->notes, std::vector<std::string>{c.note});
  }
  // Every cut of a written file: a note and nothing, never a crash.
  ImageRecord* image = TestPattern(13, 5);
  auto file = EncodePcx24(image);
  FreeImage(image);
  for (std::size_t n = 0; n < file.size(); ++n) {
    host->notes.clear();
    EXPECT_EQ(ReadPcx(std::span(file.data(), n)), nullptr) << n;
    EXPECT_EQ(host->notes.size(), 1u) << n;
  }
  EXPECT_EQ(TheProgram().memory.placesInUse, 0);
}

// Written at every depth and read back by netpbm and ffmpeg (ImageMagick
// inverts one-bit PCX); the peers' files read with their pixels.
TEST_F(PcxTest, PeersReadOursAndWeReadTheirs) {
  if (!HaveTool("pcxtoppm") || !HaveTool("ffmpeg") || !HaveTool("convert")) GTEST_SKIP() << "peers missing";
  ImageRecord* image = TestPattern(45, 21);
  for (int depth : {24, 8, 4, 1}) {
    const std::string name = "ours" + std::to_string(depth) + ".pcx";
    ASSERT_EQ(WritePcx(image, name, depth), 0);
    ImageRecord* back = ReadPcxFile(name);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->bitDepth, depth);
    const auto ours = Rgb(Pixels(back));
    if (depth == 24) {
      EXPECT_EQ(ours, Rgb(Pixels(image)));
    }
    FreeImage(back);
    for (const std::string& command : std::vector<std::string>{"pcxtoppm " + name + " | convert - -depth 8 rgb:-",
                                      "ffmpeg -v error -i " + name + " -f rawvideo -pix_fmt rgb24 -"}) {
      auto out = RunOutput(command + " 2>/dev/null");
      EXPECT_EQ(std::vector<std::uint8_t>(out.begin(), out.end()), ours) << command;
    }
  }
  FreeImage(image);

  for (const std::string& command : std::vector<std::string>{
       "convert -size 29x13 gradient:red-blue -type truecolor im24.pcx",
        "convert -size 29x13 gradient:red-blue -colors 100 -type palette im8.pcx",
        "convert -size 29x13 gradient:red-blue ppm:- | ppmtopcx -24bit > pbm24.pcx",
        "convert -size 29x13 gradient:red-blue ppm:- | pnmquant 16 | ppmtopcx -planes 4 > pbm4.pcx",
        "convert -size 29x13 gradient:red-blue ppm:- | pnmquant 200 | ppmtopcx -8bit > pbm8.pcx"}) {
    ASSERT_EQ(std::system((command + " 2>/dev/null").c_str()), 0) << command;
    const std::string name = command.substr(command.rfind(' ') + 1);
    ImageRecord* read = ReadPcxFile(name);
    ASSERT_NE(read, nullptr) << name;
    auto theirs = RunOutput("pcxtoppm " + name + " 2>/dev/null | convert - -depth 8 rgb:-");
    EXPECT_EQ(Rgb(Pixels(read)), std::vector<std::uint8_t>(theirs.begin(), theirs.end())) << name;
    FreeImage(read);
  }
}

}  // namespace
}  // namespace qv::test
