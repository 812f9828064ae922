// IFF pictures: the decoding rules of each kind, the repairs of the old
// rules, hostile files, and the writers read back.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "formats/chunk_sink.h"
#include "formats/format_test_util.h"
#include "formats/iff.h"
#include "formats/image_files.h"
#include "formats/save_choices.h"
#include "formats/iff_test_support.h"
#include "formats/planar.h"
#include "formats/toaster.h"
#include "support/program_fixture.h"

namespace qv::test {
namespace {

using Colours = std::vector<std::array<std::uint8_t, 3>>;

Colours Ramp(int count) {
  Colours c;
  for (int i = 0; i < count; ++i)
    c.push_back({static_cast<std::uint8_t>(i * 7 + 1), static_cast<std::uint8_t>(255 - i * 3), static_cast<std::uint8_t>(i * 13)});
  return c;
}

class IffTest : public ProgramTest {
 protected:
  // The picture an IFF file gives (null when refused).
  ImageRecord* Read(const std::vector<std::uint8_t>& file) { return ReadIff(file); }
  std::vector<std::uint8_t> Decoded(const std::vector<std::uint8_t>& file) {
    ImageRecord* image = Read(file);
    EXPECT_NE(image, nullptr) << ::testing::PrintToString(host->notes);
    auto out = Rgb(Pixels(image));
    FreeImage(image);
    return out;
  }
};

TEST(ByteRun1Test, RunsLiteralsAndTheEmptyCount) {
  // -128 does nothing; -3 repeats 4 times; 1 copies 2 bytes.
  std::vector<std::uint8_t> data = {0x80, 0xFD, 7, 0x01, 1, 2};
  std::vector<std::uint8_t> out(6, 0xEE);
  ByteRun1Reader r(data);
  EXPECT_TRUE(r.Unpack(out));
  EXPECT_EQ(out, (std::vector<std::uint8_t>{7, 7, 7, 7, 1, 2}));
  // A run longer than a row carries into the next; running dry is told.
  std::vector<std::uint8_t> carried = {0xFB, 9};  // 6 copies
  ByteRun1Reader c(carried);
  std::vector<std::uint8_t> a(4), b(4, 0xEE);
  EXPECT_TRUE(c.Unpack(a));
  EXPECT_FALSE(c.Unpack(b));
  EXPECT_EQ(b, (std::vector<std::uint8_t>{9, 9, 0xEE, 0xEE}));
  // Packing round trip over runs, literals and 128-byte limits.
  std::vector<std::uint8_t> row;
  for (int i = 0; i < 700; ++i) row.push_back(static_cast<std::uint8_t>(i < 300 ? 5 : (i * 31) % 7 == 0 ? 1 : i));
  std::vector<std::uint8_t> packed;
  PackByteRun1(row, packed);
  std::vector<std::uint8_t> back(row.size());
  ByteRun1Reader p(packed);
  EXPECT_TRUE(p.Unpack(back));
  EXPECT_EQ(back, row);
  EXPECT_EQ(p.Consumed(), packed.size());
}

TEST_F(IffTest, AspectGivesResolution) {
  EXPECT_EQ(CorrectedIffAspect(10, 11, 320, 400).x, 88);
  EXPECT_EQ(CorrectedIffAspect(1, 1, 640, 200).y, 104);
  EXPECT_EQ(CorrectedIffAspect(20, 11, 704, 480).x, 44);
  EXPECT_EQ(CorrectedIffAspect(20, 11, 320, 400).x, 20);  // only the high-resolution sizes
  auto dpi = [&](int w, int h, int xa, int ya, std::vector<IffChunk> extra = {}) {
    std::vector<IffChunk> chunks = {Bmhd(w, h, 1, 0, 0, xa, ya)};
    chunks.insert(chunks.end(), extra.begin(), extra.end());
    chunks.push_back(Body(w, h, 1, [](int, int) { return 0u; }));
    ImageRecord* image = Read(IffFile("ILBM", chunks));
    std::array<int, 2> out = {image->dpiXNum, image->dpiYNum};
    FreeImage(image);
    return out;
  };
  EXPECT_EQ(dpi(320, 400, 10, 11), (std::array<int, 2>{52, 88}));
  EXPECT_EQ(dpi(16, 16, 1, 1), (std::array<int, 2>{100, 100}));  // both below 10: times 100
  EXPECT_EQ(dpi(16, 16, 0, 5), (std::array<int, 2>{200, 200}));  // a zero keeps the default
  ByteWriter w;
  w.U16BE(300), w.U16BE(0);
  EXPECT_EQ(dpi(16, 16, 10, 11, {{"DPI ", w.Data()}}), (std::array<int, 2>{300, 10}));
}

TEST_F(IffTest, HamByModesOrColourCount) {
  // Value in planes 0-3, control in 4-5: set blue, red, green, then a
  // palette entry.
  const std::uint64_t codes[] = {0x10 | 0x3, 0x20 | 0xF, 0x30 | 0x1, 0x02};
  auto bits = [&](int x, int) { return codes[x]; };
  Colours map = Ramp(16);
  auto ham = Decoded(IffFile("ILBM", {Bmhd(4, 1, 6), Cmap(map), Body(4, 1, 6, bits)}));
  std::vector<std::uint8_t> expect = {map[0][0], map[0][1], 51, 255, map[0][1], 51, 255, 17, 51,
                                      map[2][0], map[2][1], map[2][2]};
  EXPECT_EQ(ham, expect);
  // A CAMG without the HAM bit makes the same file a palette picture; one
  // with it makes a 5-plane file HAM (the control's upper bit is 0).
  auto plain = Decoded(IffFile("ILBM", {Bmhd(4, 1, 6), Camg(0), Cmap(map), Body(4, 1, 6, bits)}));
  EXPECT_NE(plain, ham);
  EXPECT_EQ(0, std::memcmp(&plain[9], map[2].data(), 3));
  auto ham5 = Decoded(IffFile("ILBM", {Bmhd(4, 1, 5), Camg(0x800), Cmap(map), Body(4, 1, 5, bits)}));
  EXPECT_EQ(ham5[2], 51);      // blue set by control 1
  EXPECT_EQ(ham5[3], map[15][0]);  // control 2 lost its upper bit: palette 15
  // HAM8: 6-bit values scaled v * 4 + v / 16.
  auto ham8 = Decoded(IffFile("ILBM", {Bmhd(1, 1, 8), Cmap(Ramp(64)), Body(1, 1, 8, [](int, int) { return 0x80u | 45; })}));
  EXPECT_EQ(ham8[0], 45 * 4 + 45 / 16);
}

TEST_F(IffTest, HalfBriteWhateverTheMapSizeAndChunkOrder) {
  Colours map = Ramp(32);
  auto bits = [](int x, int) { return std::uint64_t(x); };
  // CAMG before a 32-entry CMAP: the second 32 colours are the halves.
  auto rgb = Decoded(IffFile("ILBM", {Bmhd(64, 1, 6), Camg(0x80), Cmap(map), Body(64, 1, 6, bits)}));
  for (int i = 0; i < 32; ++i)
    for (int c = 0; c < 3; ++c) {
      ASSERT_EQ(rgb[i * 3 + c], map[i][c]);
      ASSERT_EQ(rgb[(32 + i) * 3 + c], map[i][c] / 2) << i;
    }
  // A 64-entry map has its second half replaced.
  auto full = Decoded(IffFile("ILBM", {Bmhd(64, 1, 6), Cmap(Ramp(64)), Camg(0x80), Body(64, 1, 6, bits)}));
  EXPECT_EQ(full[40 * 3], Ramp(64)[8][0] / 2);
}

TEST_F(IffTest, DeepPicturesByChannel) {
  auto value = [](int x, int y, int c) { return static_cast<std::uint64_t>((x * 37 + y * 11 + c * 89) & 255); };
  // 24 planes: 8 a channel, plane 0 the lowest bit of red.
  auto rgb24 = Decoded(IffFile("ILBM", {Bmhd(19, 3, 24, 0, 1), Body(19, 3, 24, [&](int x, int y) {
                                      return value(x, y, 0) | value(x, y, 1) << 8 | value(x, y, 2) << 16;
                                    }, false, true)}));
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 19; ++x)
      for (int c = 0; c < 3; ++c) ASSERT_EQ(rgb24[(y * 19 + x) * 3 + c], value(x, y, c));
  // 12 planes: 4 a channel, repeated into the low bits (v * 17); 9 planes:
  // 3 a channel, still repeated (the old rule left planes below the channel).
  for (int planes : {12, 9}) {
    const int k = planes / 3;
    auto rgb = Decoded(IffFile("ILBM", {Bmhd(8, 1, planes), Body(8, 1, planes, [&](int x, int) {
                                      return std::uint64_t(x % (1 << k)) << k;  // green only
                                    })}));
    for (int x = 0; x < 8; ++x) {
      int v = x % (1 << k), expect = 0;
      for (int b = 7; b >= 0; b -= k) expect |= b - k + 1 >= 0 ? v << (b - k + 1) : v >> (k - 1 - b);
      EXPECT_EQ(rgb[x * 3], 0);
      EXPECT_EQ(rgb[x * 3 + 1], expect) << planes << " planes, value " << v;
    }
  }
  // 32 and 64 planes are RGBA; the picture has alpha.
  for (int planes : {32, 64}) {
    const int k = planes / 4;
    ImageRecord* image = Read(IffFile("ILBM", {Bmhd(2, 1, planes), Body(2, 1, planes, [&](int x, int) {
                                                 std::uint64_t top = x ? 0x40 : 0xC0;  // top byte of each channel
                                                 std::uint64_t v = 0;
                                                 for (int c = 0; c < 4; ++c) v |= (top << (k - 8)) << (c * k);
                                                 return v;
                                               })}));
    ASSERT_NE(image, nullptr);
    EXPECT_TRUE(image->hasAlpha);
    auto px = Pixels(image);
    EXPECT_EQ(px, (std::vector<std::uint8_t>{0xC0, 0xC0, 0xC0, 0xC0, 0x40, 0x40, 0x40, 0x40})) << planes;
    FreeImage(image);
  }
}

TEST_F(IffTest, MaskPlaneIsSkipped) {
  auto index = [](int x, int y) { return std::uint64_t((x + y) % 4); };
  Colours map = Ramp(4);
  for (bool pack : {false, true}) {
    auto plain = Decoded(IffFile("ILBM", {Bmhd(40, 6, 2, 0, pack), Cmap(map), Body(40, 6, 2, index, false, pack)}));
    auto masked = Decoded(IffFile("ILBM", {Bmhd(40, 6, 2, 1, pack), Cmap(map), Body(40, 6, 2, index, true, pack)}));
    EXPECT_EQ(masked, plain);
  }
}

TEST_F(IffTest, ZpveDeviceRows) {
  // A control row: register mode, device entry 1 = (0x12, 0x34, 0x56)
  // from the pixels 23 to 28; then a row of codes 0x01 and 0x00.
  const int width = 32;
  std::vector<std::uint8_t> control = {0x0A, 0x02, 0x0F, 0x05, 0x08, 0x04, 0x0D, 0x0C, 0x06, 0x0D, 0x0B, 0x00, 0x07, 0x0F, 0x01, 4};
  control.resize(width, 0);
  const std::uint8_t entry1[] = {1, 2, 3, 4, 5, 6};
  std::copy(entry1, entry1 + 6, control.begin() + 22);
  std::vector<std::uint8_t> codes(width, 0);
  codes[1] = 1;  // pair 0: code 0x01
  auto rows = [&](int x, int y) -> std::uint64_t { return y == 0 ? control[x] : y == 1 ? codes[x] : 0; };
  Colours map = Ramp(16);
  auto rgb = Decoded(IffFile("ILBM", {Bmhd(width, 3, 4), Cmap(map), Body(width, 3, 4, rows)}));
  // The control row shows device entry 0 (black, never set).
  EXPECT_EQ(rgb[0], 0);
  // Pair 0 is device entry 1; pair 1 (code 0) entry 0; the even pixel of
  // pair 1 is the mean of the two.
  const int r1 = width * 3;
  EXPECT_EQ(rgb[r1 + 3], 0x12);
  EXPECT_EQ(rgb[r1 + 4], 0x34);
  EXPECT_EQ(rgb[r1 + 5], 0x56);
  EXPECT_EQ(rgb[r1 + 6], 0x12 / 2);
  EXPECT_EQ(rgb[r1 + 9], 0);
  // An all-zero row ends device decoding: palette entry 0 again.
  EXPECT_EQ(rgb[2 * r1], map[0][0]);
}

TEST_F(IffTest, ChunkyPbmAndContainers) {
  Colours map = Ramp(256);
  std::vector<std::uint8_t> body;
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 6; ++x) body.push_back(static_cast<std::uint8_t>(x * 40 + y));  // even width: no pad
  auto pbm = Decoded(IffFile("PBM ", {Bmhd(5, 3, 8), Cmap(map), {"BODY", body}}));
  EXPECT_EQ(pbm[3 * (5 + 2)], map[2 * 40 + 1][0]);  // row 1 starts at byte 6 (rows padded to even)

  // LIST and CAT: the first FORM inside, past a PROP.
  auto form = IffFile("ILBM", {Bmhd(3, 1, 1), Cmap(Ramp(2)), Body(3, 1, 1, [](int x, int) { return x & 1u; })});
  auto inner = IffChunk{"FORM", std::vector<std::uint8_t>(form.begin() + 8, form.end())};
  for (const char* container : {"LIST", "CAT "}) {
    auto file = IffFile("ILBM", {{"PROP", {'I', 'L', 'B', 'M'}}, inner, inner}, container);
    EXPECT_EQ(RecognizeImage(file, "x"), Recognition::Iff);
    EXPECT_EQ(Decoded(file), Decoded(form)) << container;
  }
  // Forms this program does not read are refused with a note.
  for (const char* type : {"ACBM", "RGB8", "8SVX"}) {
    host->notes.clear();
    EXPECT_EQ(Read(IffFile(type, {Bmhd(3, 1, 1)})), nullptr);
    ASSERT_EQ(host->notes.size(), 1u);
    EXPECT_NE(host->notes[0].find(type), std::string::npos);
  }
  auto notForm = form;
  std::memcpy(notForm.data(), "ILBM", 4);
  EXPECT_EQ(Read(notForm), nullptr);
  EXPECT_EQ(host->notes.back(), "File is not an IFF picture.");
}

TEST_F(IffTest, HostileFilesAreRefusedBeforeAllocating) {
  struct Case {
    std::vector<std::uint8_t> file;
    std::string note;
  };
  auto pixels = [](int x, int) { return std::uint64_t(x & 1); };
  std::vector<std::uint8_t> bomb = {0x81, 0};  // 128 zeros from 2 bytes
  std::vector<std::uint8_t> bombs;
  for (int i = 0; i < 2000; ++i) bombs.insert(bombs.end(), bomb.begin(), bomb.end());
  const std::vector<Case> cases = {
      {IffFile("ILBM", {Bmhd(65535, 65535, 3, 0, 1), {"BODY", bombs}}), "IFF picture is larger than the data in the file."},
      {IffFile("ILBM", {Bmhd(65535, 65535, 24), {"RGBT", bomb}}), "IFF picture is larger than the data in the file."},
      {IffFile("ILBM", {{"BMHD", {0, 4, 0, 4}}, Body(4, 4, 1, pixels)}), "IFF bitmap header is truncated."},
      {IffFile("ILBM", {Bmhd(0, 4, 1), Body(4, 4, 1, pixels)}), "IFF bitmap header looks corrupted."},
      {IffFile("ILBM", {Bmhd(4, 4, 1)}), "IFF file has no picture data."},
      {IffFile("ILBM", {Body(4, 4, 1, pixels), Bmhd(4, 4, 1)}), "IFF file has no picture data."},
      {IffFile("ILBM", {Cmap(Ramp(2))}), "IFF file has no bitmap header."},
      {IffFile("ILBM", {Bmhd(4, 4, 1, 0, 2), Body(4, 4, 1, pixels)}), "IFF picture packing cannot be read."},
      {IffFile("PBM ", {Bmhd(4, 4, 24), Body(4, 4, 24, pixels)}), "IFF chunky pictures of more than 8 planes cannot be read."},
  };
  for (const auto& c : cases) {
    host->notes.clear();
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Read(c.file), nullptr);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    ASSERT_FALSE(host->notes.empty()) << c.note;
    EXPECT_EQ(host->notes[0].substr(0, c.note.size()), c.note);
    EXPECT_EQ(TheProgram().memory.placesInUse, 0);
  }
  // A body cut short keeps the rows it had; a chunk size past the end of
  // the file is cut to the file.
  auto whole = IffFile("ILBM", {Bmhd(16, 8, 1), Cmap({{0, 0, 0}, {200, 100, 50}}), Body(16, 8, 1, [](int, int) { return 1u; })});
  whole.resize(whole.size() - 2 * 3 - 1);
  ImageRecord* image = Read(whole);
  ASSERT_NE(image, nullptr);
  auto px = Rgb(Pixels(image));
  EXPECT_EQ(px[(3 * 16) * 3], 200);  // row 3 was there
  EXPECT_EQ(px[(4 * 16) * 3], 0);    // row 4 was cut: left as made
  FreeImage(image);
}

TEST_F(IffTest, LogLinesOfARead) {
  StartLog();
  ByteWriter dpi;
  dpi.U16BE(72), dpi.U16BE(72);
  auto file = IffFile("ILBM", {Bmhd(640, 200, 6, 0, 0, 10, 11), Cmap(Ramp(16)), Camg(0x804), {"AUTH", {'m', 'e'}},
                               {"DPI ", dpi.Data()}, Body(640, 200, 6, [](int x, int) { return std::uint64_t(x & 63); })});
  FreeImage(Read(file));
  const std::string log = Logged();
  for (const char* line : {"This is an Inter-Leaved Bit Map\n", "Chunk : BMHD\n", "This is a bitmap header.\n",
                           "BMHD size: 20 , Chunk size = 20\n", "Aspect adjusted to : 44 / 104\n",
                           "CMAP size: 48 , Colors = 16 , Chunk size = 48\n", "HAM image: Yes\n",
                           "CAMG file type 00000804\n", "CAMG = Lace: Yes  Ham: Yes  HBrite: No\n", "Author: me\n",
                           "BODY size: 96000 , Chunk size = 96000\n"})
    EXPECT_NE(log.find(line), std::string::npos) << line;
}

class IffWriteTest : public IffTest {};

TEST_F(IffWriteTest, SaveTypesRunTheirWriters) {
  ImageRecord* image = TestPattern(12, 9);
  struct Case {
    int type;
    const char* path;
    const char* format;
  };
  for (const Case& c : {Case{kSaveIff, "s.iff", "IFF/ILBM"}, Case{kSaveTrim, "s.trm", "TRiM"}, Case{kSaveToasterFs, "s.fs", "Toaster FS"}}) {
    ASSERT_EQ(SaveImageFile(image, c.path, c.type, OfferedDepths(c.type).front(), 1, 75), 0) << c.path;
    std::string path = c.path;
    ImageRecord* back = LoadImageFile(nullptr, path);
    ASSERT_NE(back, nullptr) << c.path;
    EXPECT_STREQ(back->format, c.format);
    FreeImage(back);
  }
  FreeImage(image);
}

TEST_F(IffWriteTest, IlbmAndTrimReadBackExactly) {
  ImageRecord* source = TestPattern(37, 11);
  source->dpiXNum = 52, source->dpiYNum = 88;
  std::snprintf(source->author, sizeof source->author, "Quillon");
  ASSERT_EQ(EnsureAnnotation(source, 400), 0);
  std::snprintf(source->annotation, 400, "a note\nof two lines");
  const auto expect = Rgb(Pixels(source));
  for (bool trim : {false, true})
    for (bool compress : {false, true}) {
      const std::string path = trim ? "out.trm" : "out.iff";
      ASSERT_EQ(WriteIlbm(source, path, trim, compress), 0);
      ImageRecord* back = ReadIffFile(path);
      ASSERT_NE(back, nullptr);
      EXPECT_EQ(Rgb(Pixels(back)), expect) << trim << compress;
      EXPECT_EQ(back->fileType, trim ? 8 : 3);
      EXPECT_STREQ(back->author, "Quillon");
      EXPECT_STREQ(back->annotation, "a note\nof two lines");
      // The aspect written is 88 : 52, read back as 52 x 88 dpi.
      EXPECT_EQ(back->dpiXNum, 52);
      EXPECT_EQ(back->dpiYNum, 88);
      FreeImage(back);
    }
  FreeImage(source);
}

TEST_F(IffWriteTest, AspectFromResolutionWithoutDividingByZero) {
  ImageRecord* image = TestPattern(3, 2);
  image->dpiXNum = 600, image->dpiXDen = 0;  // a zero denominator counts as 1
  image->dpiYNum = 1200, image->dpiYDen = 2;
  MemorySink sink;
  std::string note;
  ASSERT_EQ(EncodeIlbm(sink, image, false, true, note), 0);
  // x aspect from dpi y (600), y from dpi x (600), halved together: 150 : 150.
  EXPECT_EQ(sink.bytes[12 + 8 + 14], 150);
  EXPECT_EQ(sink.bytes[12 + 8 + 15], 150);
  FreeImage(image);
}

TEST_F(IffWriteTest, SidesOver65535AreRefused) {
  ImageRecord* image = CreateImage(65536, 1, "itst");
  EXPECT_EQ(WriteIlbm(image, "wide.iff", false, true), 1);
  EXPECT_EQ(WriteIlbm(image, "wide.trm", true, true), 1);
  EXPECT_EQ(host->notes, (std::vector<std::string>(2, "IFF pictures cannot be wider or taller than 65535 pixels.")));
  EXPECT_FALSE(std::filesystem::exists("wide.iff"));
  EXPECT_EQ(WriteIlbm(image, "nowhere/x.iff", false, true), 1);
  EXPECT_EQ(host->notes.back(), "Unable to Create file.");
  FreeImage(image);
}

// Framestores: the composite encoding turns colour blocks back into their
// colours within 2 per channel away from the block edges (where chroma is
// shared with the neighbours) and the first two and last columns.
TEST_F(IffWriteTest, ToasterFramestoreRoundTrip) {
  const std::array<std::array<std::uint8_t, 3>, 8> colours = {{{0, 0, 0}, {255, 255, 255}, {128, 128, 128}, {200, 40, 40},
                                                               {40, 180, 60}, {30, 60, 200}, {220, 200, 40}, {90, 30, 120}}};
  ImageRecord* image = CreateImage(94, 60, "itst");  // 8 x 8 blocks of 752 x 480
  LockImage(image);
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 94; ++x) std::memcpy(PixelAt(image, x, y), colours[(x / 2 + y / 3) % 8].data(), 3);
  UnlockImage(image);
  for (bool compress : {false, true}) {
    ASSERT_EQ(WriteToasterFs(image, "out.fs", compress), 0);
    ImageRecord* back = ReadIffFile("out.fs");
    ASSERT_NE(back, nullptr);
    EXPECT_STREQ(back->format, "Toaster FS");
    ASSERT_EQ(back->width, 752);
    ASSERT_EQ(back->height, 480);
    LockImage(back);
    int worst = 0;
    for (int y = 0; y < 480; ++y)
      for (int x = 2; x < 751; ++x) {
        if (x % 16 < 3 || x % 16 > 13) continue;  // near a block edge
        const auto& want = colours[(x / 16 + y / 24) % 8];
        for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(PixelAt(back, x, y)[c] - want[c]));
      }
    EXPECT_LE(worst, 2) << compress;
    UnlockImage(back);
    FreeImage(back);
  }
  FreeImage(image);
}

TEST(FramestoreRowTest, DecodingRuleOnAFlatGrayRow) {
  // Equal samples carry no chroma: brightness alone, Y[S] >> 16 (from the
  // fourth pixel: the first two are sampled differently).
  std::vector<std::uint8_t> a(8, 150), b(8, 150), rgba(32, 7);
  DecodeFramestoreRow(a.data(), b.data(), 8, 0, rgba.data());
  const int expect = (103970 + 62702 * (300 - 138) + (-15345439 + 512 * 29972) + (-9968114 + 512 * 19469)) >> 16;
  for (int x = 3; x < 8; ++x) EXPECT_EQ(rgba[4 * x], expect) << x;
  EXPECT_EQ(rgba[3], 7);  // alpha untouched
}

}  // namespace
}  // namespace qv::test
