// The BMP reader's rules on hand-made files, the writer read back by the
// peers, and hostile input.
#include <filesystem>

#include "app/program.h"
#include "formats/bmp.h"
#include "formats/format_test_util.h"
#include "support/program_fixture.h"

namespace qv::test {
namespace {

struct BmpLayout {
  int width = 4, height = 2, bits = 8;
  std::uint32_t compression = 0;
  std::vector<std::array<std::uint8_t, 3>> palette = {};  // red, green, blue
  std::vector<std::uint8_t> data = {};                // pixel data as stored
  std::vector<std::uint32_t> masks = {};              // after the header
  bool os2 = false;
};

std::vector<std::uint8_t> MakeBmp(const BmpLayout& s) {
  ByteWriter w;
  std::uint32_t info = s.os2 ? 12 : 40;
  std::uint32_t offset = 14 + info + 4 * static_cast<std::uint32_t>(s.masks.size()) +
                         static_cast<std::uint32_t>(s.palette.size()) * (s.os2 ? 3 : 4);
  w.U8('B');
  w.U8('M');
  w.U32LE(offset + static_cast<std::uint32_t>(s.data.size()));
  w.U32LE(0);
  w.U32LE(offset);
  w.U32LE(info);
  if (s.os2) {
    w.U16LE(static_cast<std::uint16_t>(s.width));
    w.U16LE(static_cast<std::uint16_t>(s.height));
  } else {
    w.U32LE(static_cast<std::uint32_t>(s.width));
    w.U32LE(static_cast<std::uint32_t>(s.height));
  }
  w.U16LE(1);
  w.U16LE(static_cast<std::uint16_t>(s.bits));
  if (!s.os2) {
    w.U32LE(s.compression);
    w.U32LE(static_cast<std::uint32_t>(s.data.size()));
    w.U32LE(0);
    w.U32LE(0);
    w.U32LE(static_cast<std::uint32_t>(s.palette.size()));
    w.U32LE(0);
  }
  for (auto m : s.masks) w.U32LE(m);
  for (const auto& c : s.palette) {
    w.U8(c[2]);
    w.U8(c[1]);
    w.U8(c[0]);
    if (!s.os2) w.U8(0);
  }
  w.Bytes(s.data.data(), s.data.size());
  return w.Data();
}

std::vector<std::array<std::uint8_t, 3>> GreyPalette(int n) {
  std::vector<std::array<std::uint8_t, 3>> p;
  for (int i = 0; i < n; ++i) p.push_back({static_cast<std::uint8_t>(i * 10), static_cast<std::uint8_t>(i * 10 + 1), static_cast<std::uint8_t>(i * 10 + 2)});
  return p;
}

class BmpTest : public ProgramTest {
 protected:
  // Red channel of each pixel, which the grey palette makes index * 10.
  std::vector<int> Indexes(ImageRecord* image) {
    std::vector<int> out;
    auto px = Pixels(image);
    for (std::size_t i = 0; i < px.size(); i += 4) out.push_back(px[i] / 10);
    return out;
  }
};

TEST_F(BmpTest, TwoColourTableAlsoFillsEntry255) {
  BmpLayout s{.width = 8, .height = 1, .bits = 1, .palette = {{10, 20, 30}, {200, 210, 220}}, .data = {0xA0, 0, 0, 0}};
  ImageRecord* image = ReadBmp(MakeBmp(s));
  ASSERT_NE(image, nullptr);
  auto pal = TheProgram().files.palette;
  EXPECT_EQ(pal[255][0], 200);
  EXPECT_EQ(pal[255][2], 220);
  auto px = Pixels(image);
  EXPECT_EQ(px[0], 200);  // bit 7 is the leftmost pixel
  EXPECT_EQ(px[4], 10);
  EXPECT_EQ(px[8], 200);
  EXPECT_EQ(px[3], 255);  // an indexed pixel is opaque
  FreeImage(image);
}

TEST_F(BmpTest, RunLengthRules) {
  // Compression 3 on an 8-bit file is RLE8; a run past the right edge loses
  // its extra pixels, a delta moves the cursor, rows run bottom-up.
  BmpLayout rle8{.width = 4, .height = 3, .bits = 8, .compression = 3, .palette = GreyPalette(16),
               .data = {6, 5, 0, 0, 1, 7, 0, 2, 2, 1, 0, 3, 1, 2, 3, 0, 0, 1}};
  ImageRecord* image = ReadBmp(MakeBmp(rle8));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(Indexes(image), (std::vector<int>{0, 0, 0, 1, 7, 0, 0, 0, 5, 5, 5, 5}));
  FreeImage(image);

  // RLE4: a run past the edge goes on at the start of the next row up; a run
  // that exactly fills a row followed by end-of-line does not skip a row.
  BmpLayout rle4{.width = 4, .height = 3, .bits = 4, .compression = 2, .palette = GreyPalette(16),
               .data = {6, 0x12, 2, 0x33, 0, 0, 0, 4, 0x45, 0x67, 0, 1}};
  image = ReadBmp(MakeBmp(rle4));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(Indexes(image), (std::vector<int>{4, 5, 6, 7, 1, 2, 3, 3, 1, 2, 1, 2}));
  FreeImage(image);
}

TEST_F(BmpTest, RowLayouts) {
  // 1 pixel wide at 24 bits: each row takes 4 bytes.
  BmpLayout narrow{.width = 1, .height = 2, .bits = 24, .data = {1, 2, 3, 0, 4, 5, 6, 0}};
  ImageRecord* image = ReadBmp(MakeBmp(narrow));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(Pixels(image), (std::vector<std::uint8_t>{6, 5, 4, 255, 3, 2, 1, 255}));
  FreeImage(image);

  // A negative height is a top-down file.
  BmpLayout top = narrow;
  top.height = -2;
  image = ReadBmp(MakeBmp(top));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(Pixels(image), (std::vector<std::uint8_t>{3, 2, 1, 255, 6, 5, 4, 255}));
  FreeImage(image);

  // 16 bits: 5-5-5 shifted without masks, by the masks when they are given.
  BmpLayout plain{.width = 2, .height = 1, .bits = 16, .data = {0xFF, 0x7F, 0x1F, 0x00}};
  image = ReadBmp(MakeBmp(plain));
  EXPECT_EQ(Rgb(Pixels(image)), (std::vector<std::uint8_t>{248, 248, 248, 0, 0, 248}));
  FreeImage(image);
  BmpLayout b565{.width = 2, .height = 1, .bits = 16, .compression = 3, .data = {0xE0, 0x07, 0x00, 0xF8}, .masks = {0xF800, 0x07E0, 0x001F}};
  image = ReadBmp(MakeBmp(b565));
  EXPECT_EQ(Rgb(Pixels(image)), (std::vector<std::uint8_t>{0, 255, 0, 255, 0, 0}));
  FreeImage(image);

  // 32 bits with the fourth byte all zero: opaque, not invisible.
  BmpLayout x32{.width = 1, .height = 1, .bits = 32, .data = {1, 2, 3, 0}};
  image = ReadBmp(MakeBmp(x32));
  EXPECT_EQ(Pixels(image), (std::vector<std::uint8_t>{3, 2, 1, 255}));
  EXPECT_EQ(image->hasAlpha, 0);
  FreeImage(image);
}

TEST_F(BmpTest, SideLimitIs40000) {
  for (auto [w, h, ok] : {std::tuple{40000, 1, true}, {1, 40000, true}, {40001, 1, false}, {1, 40001, false}}) {
    BmpLayout s{.width = w, .height = h, .bits = 8, .palette = GreyPalette(2)};
    s.data.assign(static_cast<std::size_t>(((w + 3) / 4) * 4) * h, 1);
    host->notes.clear();
    ImageRecord* image = ReadBmp(MakeBmp(s));
    EXPECT_EQ(image != nullptr, ok) << w << "x" << h;
    if (!ok) {
      const std::string side = w > 40000 ? "width 40001" : "height 40001";
      EXPECT_EQ(host->notes, std::vector<std::string>{"BMP file looks corrupted\n" + side + " > 40000"});
    }
    FreeImage(image);
  }
}

// Every prefix of a valid file of each kind: a note and no image, except
// that run-length data may end early (decoding stops where the data does).
TEST_F(BmpTest, TruncatedFilesGiveANoteAndNoImage) {
  std::vector<BmpLayout> kinds = {
      {.width = 9, .height = 2, .bits = 1, .palette = GreyPalette(2), .data = std::vector<std::uint8_t>(8, 0x55)},
      {.width = 3, .height = 2, .bits = 4, .palette = GreyPalette(16), .data = std::vector<std::uint8_t>(8, 0x12)},
      {.width = 3, .height = 2, .bits = 8, .palette = GreyPalette(4), .data = std::vector<std::uint8_t>(8, 1)},
      {.width = 4, .height = 2, .bits = 8, .compression = 1, .palette = GreyPalette(4), .data = {4, 1, 0, 0, 0, 3, 1, 2, 3, 0, 0, 1}},
      {.width = 4, .height = 2, .bits = 4, .compression = 2, .palette = GreyPalette(4), .data = {4, 0x12, 0, 0, 0, 3, 0x12, 0x30, 0, 1}},
      {.width = 3, .height = 2, .bits = 16, .data = std::vector<std::uint8_t>(16, 7)},
      {.width = 3, .height = 2, .bits = 16, .compression = 3, .data = std::vector<std::uint8_t>(16, 7), .masks = {0xF800, 0x7E0, 0x1F}},
      {.width = 3, .height = 2, .bits = 24, .data = std::vector<std::uint8_t>(24, 9)},
      {.width = 3, .height = 2, .bits = 32, .data = std::vector<std::uint8_t>(24, 9)},
      {.width = 3, .height = 2, .bits = 8, .palette = GreyPalette(4), .data = std::vector<std::uint8_t>(8, 1), .os2 = true},
  };
  for (const auto& kind : kinds) {
    auto full = MakeBmp(kind);
    std::size_t dataStart = full.size() - kind.data.size();
    ImageRecord* whole = ReadBmp(full);
    ASSERT_NE(whole, nullptr) << kind.bits << " bits";
    FreeImage(whole);
    for (std::size_t n = 0; n < full.size(); ++n) {
      host->notes.clear();
      std::vector<std::uint8_t> prefix(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
      ImageRecord* image = ReadBmp(prefix);
      bool lenient = kind.compression && kind.bits <= 8 && n >= dataStart;
      if (!lenient) {
        EXPECT_EQ(image, nullptr) << kind.bits << " bits, " << n << " bytes";
        EXPECT_EQ(host->notes.size(), 1u) << kind.bits << " bits, " << n << " bytes";
      }
      FreeImage(image);
    }
  }
  EXPECT_EQ(TheProgram().memory.placesInUse, 0);
}

TEST_F(BmpTest, AbsurdHeadersAllocateNothing) {
  auto patched = [](BmpLayout s, std::size_t at, std::uint32_t value, std::size_t at2 = 0, std::uint32_t value2 = 0) {
    auto b = MakeBmp(s);
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    for (int i = 0; i < 4 && at2; ++i) b[at2 + i] = static_cast<std::uint8_t>(value2 >> (8 * i));
    return b;
  };
  BmpLayout small{.width = 2, .height = 2, .bits = 24, .data = std::vector<std::uint8_t>(16, 1)};
  BmpLayout rle{.width = 2, .height = 2, .bits = 8, .compression = 1, .palette = GreyPalette(2), .data = {2, 1, 0, 1}};
  const std::vector<std::vector<std::uint8_t>> files = {
      patched(small, 18, 40000), patched(small, 22, 40000),   // claims far more than the file holds
      patched(rle, 18, 40000, 22, 40000),                     // run-length bomb
      patched(small, 10, 0xFFFFFFFF),                         // pixel data past the end
      patched(small, 14, 0xFFFFFFF0),                         // info size
      patched(small, 22, 0x80000000),                         // most negative height
      patched(rle, 46, 0xFFFFFFFF),                           // colours used
      patched(small, 34, 0xFFFFFFFF),                         // image size
  };
  for (std::size_t i = 0; i < files.size(); ++i) {
    host->notes.clear();
    ImageRecord* image = ReadBmp(files[i]);
    if (image) {
      EXPECT_LE(image->width * image->height, 4) << "case " << i;
      FreeImage(image);
    } else {
      EXPECT_EQ(host->notes.size(), 1u) << "case " << i;
    }
    EXPECT_LT(TheProgram().memory.virtualMax, 1 << 20) << "case " << i;
  }
}

class BmpWriterTest : public BmpTest {};

TEST_F(BmpWriterTest, TrueColourFilesReadBackByOurselvesAndThePeers) {
  ImageRecord* opaque = TestPattern(13, 7);
  ImageRecord* alpha = TestPattern(13, 7, true);
  // 32 bits asked of an image without alpha gives a 24-bit file.
  auto bytes = EncodeBmp(opaque, 32);
  EXPECT_EQ(bytes[28], 24);
  EXPECT_EQ(bytes.size(), 54u + 40u * 7u);
  EXPECT_EQ(EncodeBmp(alpha, 32)[28], 32);

  for (auto [image, depth] : {std::pair{opaque, 24}, {alpha, 32}, {opaque, 16}}) {
    std::string name = std::string("w").append(std::to_string(depth));
    name += ".bmp";
    ASSERT_EQ(WriteBmp(image, name, depth), 0);
    auto want = Pixels(image);
    if (depth == 16)
      for (std::size_t i = 0; i < want.size(); ++i) want[i] = (i % 4 == 3) ? 255 : static_cast<std::uint8_t>(want[i] & 0xF8);
    ImageRecord* back = ReadBmpFile(name);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(Pixels(back), want) << name;
    FreeImage(back);
    if (HaveTool("convert")) {
      auto theirs = MagickRgba(name);
      if (depth != 32) {
        theirs = Rgb(theirs);
        want = Rgb(want);
      }
      if (depth == 16)  // the peer widens 5-bit channels its own way
        for (auto& v : theirs) v &= 0xF8;
      EXPECT_EQ(theirs, want) << name << " by ImageMagick";
    }
  }
  FreeImage(opaque);
  FreeImage(alpha);
}

// Rows are moved several pixels at a time with a byte loop for the rest:
// every width up to a few of those steps, byte for byte both ways.
TEST_F(BmpWriterTest, EveryNarrowWidthKeepsItsBytesBothWays) {
  for (int width = 1; width <= 19; ++width)
    for (bool alpha : {false, true}) {
      if (alpha && width == 1) continue;  // its alpha is all 0, which reads back opaque
      ImageRecord* image = TestPattern(width, 3, alpha);
      const auto px = Pixels(image);
      const int bytes = alpha ? 4 : 3;
      const std::size_t rowSize = (static_cast<std::size_t>(width) * bytes + 3) / 4 * 4;
      const auto file = EncodeBmp(image, alpha ? 32 : 24);
      ASSERT_EQ(file.size(), 54 + rowSize * 3) << width;
      for (int y = 0; y < 3; ++y)
        for (int x = 0; x < width; ++x) {
          const std::uint8_t* p = &px[(static_cast<std::size_t>(y) * width + x) * 4];
          const std::uint8_t* f = &file[54 + rowSize * (2 - y) + static_cast<std::size_t>(x) * bytes];
          ASSERT_EQ((std::array<int, 3>{f[0], f[1], f[2]}), (std::array<int, 3>{p[2], p[1], p[0]})) << width << " " << x;
          if (alpha) {
            ASSERT_EQ(f[3], p[3]) << width << " " << x;
          }
        }
      ImageRecord* back = ReadBmp(file);
      ASSERT_NE(back, nullptr);
      EXPECT_EQ(Pixels(back), px) << width << (alpha ? " with alpha" : "");
      FreeImage(back);
      FreeImage(image);
    }
}

TEST_F(BmpWriterTest, IndexedFilesMapIndexesToTheirColours) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick needed";
  IndexedImage reduced;
  reduced.width = 11;
  reduced.height = 3;
  for (int i = 0; i < 256; ++i)
    reduced.palette[i] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i), static_cast<std::uint8_t>(i * 7)};
  for (int depth : {8, 4, 1}) {
    int colours = 1 << depth;
    reduced.indexes.clear();
    for (int y = 0; y < reduced.height; ++y)
      for (int x = 0; x < reduced.width; ++x) reduced.indexes.push_back(static_cast<std::uint8_t>((x * 5 + y * 3) % colours));
    std::string name = std::string("i").append(std::to_string(depth));
    name += ".bmp";
    ASSERT_EQ(WriteBmpIndexed(reduced, name, depth), 0);
    std::vector<std::uint8_t> want;
    for (auto i : reduced.indexes) want.insert(want.end(), reduced.palette[i].begin(), reduced.palette[i].end());
    EXPECT_EQ(Rgb(MagickRgba(name)), want) << name << " by ImageMagick";
    if (HaveTool("bmptopnm")) {
      std::string raw = RunOutput("bmptopnm " + name + " 2>/dev/null | pnmtopnm 2>/dev/null | tail -c " + std::to_string(want.size()));
      EXPECT_EQ(std::vector<std::uint8_t>(raw.begin(), raw.end()), want) << name << " by netpbm";
    }
    ImageRecord* back = ReadBmpFile(name);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->bitDepth, depth);
    EXPECT_EQ(Rgb(Pixels(back)), want);
    FreeImage(back);
  }
}

// Below 16 bits the writer reduces through the output colour reduction with
// the current settings: colours of the target palette survive exactly.
TEST_F(BmpWriterTest, ReducedDepthsKeepColoursOfTheirPalette) {
  const std::uint8_t cube[][3] = {{255, 0, 0}, {0, 0, 255}, {255, 255, 0}, {0, 0, 0}, {85, 0, 170}};
  ImageRecord* image = CreateImage(10, 4, "test");
  ASSERT_EQ(LockImage(image), 0);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 10; ++x) std::copy_n(cube[(x + y) % 5], 3, PixelAt(image, x, y));
  UnlockImage(image);
  auto want = Rgb(Pixels(image));

  ASSERT_EQ(WriteBmp(image, "r8.bmp", 8), 0);
  ImageRecord* back = ReadBmpFile("r8.bmp");
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->bitDepth, 8);
  EXPECT_EQ(Rgb(Pixels(back)), want);
  FreeImage(back);
  if (HaveTool("convert")) {
    EXPECT_EQ(Rgb(MagickRgba("r8.bmp")), want) << "by ImageMagick";
  }

  // More colours than two are split at luminance 127: gray 128 has
  // luminance 126 and goes black, gray 129 has 128 and goes white (the first
  // pixel, which no diffused error reaches).
  for (int gray : {128, 129}) {
    ImageRecord* dots = CreateImage(3, 1, "test");
    ASSERT_EQ(LockImage(dots), 0);
    std::fill_n(dots->pixels, 3, static_cast<std::uint8_t>(gray));
    PixelAt(dots, 1, 0)[0] = 255;
    PixelAt(dots, 2, 0)[2] = 255;
    UnlockImage(dots);
    ASSERT_EQ(WriteBmp(dots, "r1.bmp", 1), 0);
    back = ReadBmpFile("r1.bmp");
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->bitDepth, 1);
    auto first = Rgb(Pixels(back));
    first.resize(3);
    EXPECT_EQ(first, std::vector<std::uint8_t>(3, gray == 128 ? 0 : 255)) << gray;
    FreeImage(back);
    FreeImage(dots);
  }

  ASSERT_EQ(WriteBmp(image, "r4.bmp", 4), 0);
  back = ReadBmpFile("r4.bmp");
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->bitDepth, 4);
  FreeImage(back);
  FreeImage(image);
}

TEST_F(BmpWriterTest, FailedSaveLeavesTheOldFile) {
  ImageRecord* image = TestPattern(4, 4);
  WriteBytes("keep.bmp", {'o', 'l', 'd'});
  std::filesystem::create_directory("locked");
  EXPECT_EQ(WriteBmp(image, "missing-dir/x.bmp", 24), 1);
  EXPECT_EQ(host->notes.back(), "Unable to Create file.");
  // A target that is a folder cannot be replaced: the write fails after the
  // temporary file was made, and nothing is left behind.
  EXPECT_EQ(WriteBmp(image, "locked", 24), 1);
  EXPECT_TRUE(std::filesystem::is_directory("locked"));
  EXPECT_EQ(FileBytes("keep.bmp"), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
  int files = 0;
  for (auto& e : std::filesystem::directory_iterator(".")) files += e.is_regular_file();
  EXPECT_EQ(files, 1);
  FreeImage(image);
}

}  // namespace
}  // namespace qv::test
