// PPM, SGI, RAW and I-RAW: header forms, sample sizes, row order, the RAW
// proposals and dialog, and hostile headers.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "formats/format_test_util.h"
#include "formats/image_files.h"
#include "formats/ppm.h"
#include "formats/raw.h"
#include "formats/sgi.h"
#include "support/program_fixture.h"

namespace qv::test {
namespace {

std::vector<std::uint8_t> Bytes(const std::string& header, const std::vector<std::uint8_t>& data = {}) {
  std::vector<std::uint8_t> out(header.begin(), header.end());
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

class PpmTest : public ProgramTest {};

TEST_F(PpmTest, HeaderFormsAndSampleSizes) {
  const std::vector<std::uint8_t> pixels = {1, 2, 3, 4, 5, 6};
  // Comments, runs of blanks and CR LF between the numbers.
  for (std::string header : {"P6\n2 1\n255\n", "P6 2 1 255 ", "P6\n# made by hand\n2   1\r\n#\n255\n", "P6\t2\n1 #x\n255\n"}) {
    ImageRecord* image = ReadPpm(Bytes(header, pixels), "x.ppm");
    ASSERT_NE(image, nullptr) << header;
    EXPECT_EQ(Rgb(Pixels(image)), pixels);
    EXPECT_EQ(image->bitDepth, 24);
    EXPECT_STREQ(image->format, "PPM");
    FreeImage(image);
  }
  // A maximum of 15 stretches 15 to 255; 0 counts as 255.
  ImageRecord* image = ReadPpm(Bytes("P6 1 1 15\n", {15, 1, 16}), "x.ppm");
  EXPECT_EQ(Rgb(Pixels(image)), (std::vector<std::uint8_t>{255, 17, 255}));
  FreeImage(image);
  image = ReadPpm(Bytes("P6 1 1 0\n", {15, 1, 16}), "x.ppm");
  EXPECT_EQ(Rgb(Pixels(image)), (std::vector<std::uint8_t>{15, 1, 16}));
  FreeImage(image);
  // Above 255 each sample is 2 bytes, most significant first.
  image = ReadPpm(Bytes("P6 2 1 1000\n", {0x03, 0xE8, 0x01, 0xF4, 0, 2, 0, 0, 0x27, 0x10, 0x00, 0x01}), "x.ppm");
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(Rgb(Pixels(image)), (std::vector<std::uint8_t>{255, 128, 1, 0, 255, 0}));
  FreeImage(image);
  image = ReadPpm(Bytes("P6 1 1 65535\n", {0xFF, 0xFF, 0x80, 0x00, 0x00, 0x80}), "x.ppm");
  EXPECT_EQ(Rgb(Pixels(image)), (std::vector<std::uint8_t>{255, 128, 0}));
  FreeImage(image);
}

TEST_F(PpmTest, BadHeadersAndShortFiles) {
  const std::pair<std::string, int> cases[] = {
      {"P6\n0 1\n255\n", 24},
      {"P6x2 1\n255\n", 24},
      {"P6\n2 1\n", 24},
      {"P6\n2 1 255", 24},
      {"P6\n-2 1\n255\n", 24},
      {"P6\n2 1\n70000\n", 24},
      {"P6\n123456789012345678901 1\n255\n", 24},  // a 21-digit number
      {"P6\n99999999999999999999 99999999999999999999\n255\n", 24},
      {"P6\n65535 65535\n255\n", 25},  // a huge picture over no pixels
      {"P6\n2 2\n255\n", 25},
  };
  for (const auto& [header, message] : cases) {
    host->messages.clear();
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ReadPpm(Bytes(header, {1, 2, 3, 4, 5, 6}), "bad.ppm"), nullptr) << header;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(host->MessageNumbers(), std::vector<int>{message}) << header;
  }
  EXPECT_EQ(TheProgram().memory.placesInUse, 0);
}

// A verbatim or run-length SGI file of 8- or 16-bit samples; rows is the
// picture from the top, channel by channel.
std::vector<std::uint8_t> Sgi(int width, int height, int channels, int sampleBytes, bool rle,
                              const std::function<int(int x, int y, int c)>& sample) {
  ByteWriter w;
  w.U16BE(474), w.U8(rle ? 1 : 0), w.U8(static_cast<std::uint8_t>(sampleBytes));
  w.U16BE(3), w.U16BE(static_cast<std::uint16_t>(width)), w.U16BE(static_cast<std::uint16_t>(height));
  w.U16BE(static_cast<std::uint16_t>(channels));
  w.Zeros(512 - w.Size());
  auto put = [&](ByteWriter& to, int v) { sampleBytes == 2 ? to.U16BE(static_cast<std::uint16_t>(v)) : to.U8(static_cast<std::uint8_t>(v)); };
  if (!rle) {
    for (int c = 0; c < channels; ++c)
      for (int fileRow = 0; fileRow < height; ++fileRow)
        for (int x = 0; x < width; ++x) put(w, sample(x, height - 1 - fileRow, c));
    return w.Data();
  }
  // Each row as literal packets of at most 127 samples.
  std::vector<ByteWriter> rows;
  for (int c = 0; c < channels; ++c)
    for (int fileRow = 0; fileRow < height; ++fileRow) {
      ByteWriter r;
      for (int x0 = 0; x0 < width; x0 += 127) {
        int n = std::min(127, width - x0);
        put(r, 0x80 | n);
        for (int x = x0; x < x0 + n; ++x) put(r, sample(x, height - 1 - fileRow, c));
      }
      put(r, 0);
      rows.push_back(r);
    }
  std::uint32_t at = static_cast<std::uint32_t>(512 + rows.size() * 8);
  for (const auto& r : rows) w.U32BE(at), at += static_cast<std::uint32_t>(r.Size());
  for (const auto& r : rows) w.U32BE(static_cast<std::uint32_t>(r.Size()));
  for (const auto& r : rows) w.Bytes(r.Data().data(), r.Size());
  return w.Data();
}

class SgiTest : public ProgramTest {};

TEST_F(SgiTest, ChannelsSampleSizesAndRowOrder) {
  auto value = [](int x, int y, int c) { return (x * 40 + y * 7 + c * 60) & 255; };
  for (bool rle : {false, true})
    for (int bytes : {1, 2})
      for (int channels : {1, 2, 3, 4}) {
        auto file = Sgi(130, 3, channels, bytes, rle, [&](int x, int y, int c) { return bytes == 2 ? value(x, y, c) * 257 : value(x, y, c); });
        ImageRecord* image = ReadSgi(file, "x.rgb");
        ASSERT_NE(image, nullptr) << channels << " channels, " << bytes << " bytes, rle " << rle;
        auto px = Pixels(image);
        for (int y = 0; y < 3; ++y)
          for (int x = 0; x < 130; ++x) {
            const std::uint8_t* p = &px[(y * 130 + x) * 4];
            int gray = value(x, y, 0);
            std::array<int, 4> want = channels <= 2 ? std::array<int, 4>{gray, gray, gray, channels == 2 ? value(x, y, 1) : 255}
                                                    : std::array<int, 4>{gray, value(x, y, 1), value(x, y, 2), channels == 4 ? value(x, y, 3) : 255};
            for (int c = 0; c < 4; ++c) ASSERT_EQ(p[c], want[c]) << x << "," << y << " channel " << c;
          }
        EXPECT_EQ(image->hasAlpha != 0, channels == 2 || channels == 4);
        EXPECT_EQ(image->bitDepth, channels == 1 ? 8 : channels % 2 ? 24 : 32);
        FreeImage(image);
      }
  // 16-bit samples round to the nearest 8-bit value.
  ImageRecord* image = ReadSgi(Sgi(3, 1, 1, 2, false, [](int x, int, int) { return std::array{128, 383, 65535}[x]; }), "x");
  EXPECT_EQ(Rgb(Pixels(image)), (std::vector<std::uint8_t>{0, 0, 0, 1, 1, 1, 255, 255, 255}));
  FreeImage(image);
}

TEST_F(SgiTest, HostileFilesAreRefused) {
  auto good = Sgi(4, 4, 3, 1, true, [](int x, int, int) { return x; });
  auto patched = [&](std::size_t at, std::vector<std::uint8_t> bytes, std::size_t keep = 0) {
    auto f = good;
    std::copy(bytes.begin(), bytes.end(), f.begin() + static_cast<std::ptrdiff_t>(at));
    if (keep) f.resize(keep);
    return f;
  };
  // 65535 x 64 pixels of one row's data, every row the same.
  auto bomb = Sgi(1, 64, 1, 1, true, [](int, int, int) { return 0; });
  bomb[6] = bomb[7] = 0xFF;
  const std::pair<std::vector<std::uint8_t>, std::string> cases[] = {
      {bomb, "SGI image is larger than the data in the file."},
      {patched(6, {0xFF, 0xFF, 0xFF, 0xFF}), "SGI image tables run past the end of the file."},
      {patched(10, {0xFF, 0xFF}), "SGI image tables run past the end of the file."},
      {patched(512, {0, 0, 0xFF, 0xFF}), "SGI image data is damaged."},  // a row offset past the end
      {patched(512 + 48, {0x7F, 0, 0, 0}), "SGI image data is damaged."},  // a row length past the end
      {patched(3, {3}), "SGI image header looks corrupted."},
      {patched(6, {0, 0}), "SGI image header looks corrupted."},
      {patched(0, {}, 300), "SGI image header is truncated."},
      {Sgi(4, 4, 3, 1, false, [](int, int, int) { return 0; }), ""},
  };
  for (const auto& [file, note] : cases) {
    host->notes.clear();
    auto bytes = file;
    if (note.empty()) bytes.resize(bytes.size() - 1);  // verbatim data one byte short
    EXPECT_EQ(ReadSgi(bytes, "bad.rgb"), nullptr) << note;
    ASSERT_EQ(host->notes.size(), 1u) << note;
    std::string want = note.empty() ? "SGI image data is truncated." : note;
    EXPECT_EQ(host->notes[0].substr(0, want.size()), want);
  }
  // A run that would write past the row is a damaged file, not a
  // picture cut at its width.
  auto runs = Sgi(4, 1, 1, 1, true, [](int x, int, int) { return x; });
  runs.resize(512 + 8);
  for (std::uint8_t b : {0x7F, 9, 0}) runs.push_back(b);  // 127 copies of 9
  runs[512 + 7] = 3;                                        // row length 3
  host->notes.clear();
  EXPECT_EQ(ReadSgi(runs, "x"), nullptr);
  EXPECT_EQ(host->notes.size(), 1u);
  runs[520] = 4;  // 4 copies: the row exactly
  ImageRecord* image = ReadSgi(runs, "x");
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(Rgb(Pixels(image)), std::vector<std::uint8_t>(12, 9));
  FreeImage(image);
  EXPECT_EQ(TheProgram().memory.placesInUse, 0);
}

class RawTest : public ProgramTest {
 protected:
  void Write(const std::string& name, std::vector<std::uint8_t> bytes) { WriteBytes(name, bytes); }
};

TEST_F(RawTest, Proposals) {
  auto p = [](std::uint64_t size, std::int64_t start, int layout) {
    RawSize s = ProposeRawSize(size, start, layout);
    return std::pair{s.width, s.height};
  };
  EXPECT_EQ(p(921600, 0, kRawInterleaved), std::pair(640, 480));
  EXPECT_EQ(p(921600, 0, kRawBlocks), std::pair(640, 480));
  EXPECT_EQ(p(307200 + 100, 100, kRawGray), std::pair(640, 480));
  EXPECT_EQ(p(64000, 0, kRawFiles), std::pair(320, 200));
  EXPECT_EQ(p(786432, 0, kRawGray), std::pair(1024, 768));
  EXPECT_EQ(p(1000, 0, kRawGray), std::pair(36, 27));
  EXPECT_EQ(p(3, 0, kRawGray), std::pair(2, 1));
  // Nothing after the start: 1 x 1 rather than a division by zero.
  EXPECT_EQ(p(1000, 1000, kRawGray), std::pair(1, 1));
  EXPECT_EQ(p(1000, 5000, kRawInterleaved), std::pair(1, 1));
  EXPECT_EQ(p(2, 0, kRawInterleaved), std::pair(1, 1));
}

TEST_F(RawTest, LayoutsThroughTheDialog) {
  // 2 x 2 pictures after a 3-byte header.
  std::vector<std::uint8_t> head = {7, 7, 7};  // nothing a signature test takes
  auto withHead = [&](std::vector<std::uint8_t> v) {
    v.insert(v.begin(), head.begin(), head.end());
    return v;
  };
  Write("g.raw", withHead({10, 20, 30, 40}));
  Write("i.raw", withHead({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
  Write("b.raw", withHead({1, 4, 7, 10, 2, 5, 8, 11, 3, 6, 9, 12}));
  Write("f.red", withHead({1, 4, 7, 10}));
  Write("f.grn", withHead({2, 5, 8, 11}));
  Write("f.blu", withHead({3, 6, 9, 12}));
  const std::vector<std::uint8_t> colour = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  struct Case {
    std::string file;
    int layout;
    std::vector<std::uint8_t> rgb;
  };
  for (const Case& c : {Case{"g.raw", kRawGray, {10, 10, 10, 20, 20, 20, 30, 30, 30, 40, 40, 40}},
                        Case{"i.raw", kRawInterleaved, colour}, Case{"b.raw", kRawBlocks, colour},
                        Case{"f.red", kRawFiles, colour}}) {
    host->onRawImage = [&](RawImageRequest& r) {
      r.start = 3, r.width = 2, r.height = 2, r.layout = c.layout;
      return true;
    };
    std::string path = c.file;
    ImageRecord* image = LoadImageFile(nullptr, path);
    ASSERT_NE(image, nullptr) << c.file;
    EXPECT_EQ(Rgb(Pixels(image)), c.rgb) << c.file;
    EXPECT_EQ(image->fileType, kFileRaw);
    EXPECT_EQ(image->bitDepth, c.layout == kRawGray ? 8 : 24);
    FreeImage(image);
  }
  // The dialog opens with the start and layout used last, the proposal
  // for them, the file's name and size.
  host->onRawImage = nullptr;
  std::string path = "i.raw";
  FreeImage(LoadImageFile(nullptr, path));
  const RawImageRequest& shown = host->rawRequests.back();
  EXPECT_EQ(shown.start, 3);
  EXPECT_EQ(shown.layout, kRawFiles);
  EXPECT_EQ(shown.fileSize, 15u);
  EXPECT_EQ(shown.fileName, "i.raw");
  EXPECT_EQ(std::pair(shown.width, shown.height), std::pair(4, 3));  // 12 pixels: sqrt(16) = 4, 12 / 4
  // ".RED" anywhere in the path, a folder's name too, makes a file RAW.
  std::filesystem::create_directory("take.RED");
  Write("take.RED/frame", {0x7F, 0x7F, 0x7F, 0x7F, 0x7F});
  path = "take.RED/frame";
  ImageRecord* frame = LoadImageFile(nullptr, path);
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->fileType, kFileRaw);
  FreeImage(frame);
  // Cancelled: no picture, no message.
  host->onRawImage = [](RawImageRequest&) { return false; };
  host->messages.clear();
  EXPECT_EQ(LoadImageFile(nullptr, path), nullptr);
  EXPECT_TRUE(host->messages.empty() && host->notes.empty());
}

TEST_F(RawTest, ShortFilesKeepWhatWasReadAndStartsPastTheEndAreRefused) {
  Write("s.raw", {1, 2, 3, 4, 5});
  RawImageRequest r;
  r.fileName = "s.raw";
  r.width = 2, r.height = 2, r.layout = kRawInterleaved;
  ImageRecord* image = ReadRaw("s.raw", r);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(Rgb(Pixels(image)), (std::vector<std::uint8_t>{1, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  FreeImage(image);
  // Three files with the blue one missing: told, the picture kept.
  Write("t.red", {7}), Write("t.grn", {8});
  r.layout = kRawFiles, r.width = 1, r.height = 1;
  image = ReadRaw("t.red", r);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(Rgb(Pixels(image)), (std::vector<std::uint8_t>{7, 8, 0}));
  EXPECT_EQ(host->MessageNumbers(), std::vector<int>{6});
  EXPECT_EQ(host->messages[0].extra, "File: \"t.blu\"");
  FreeImage(image);
  for (std::int64_t start : {5, 6, 1000}) {
    r.start = start;
    host->notes.clear();
    EXPECT_EQ(ReadRaw("s.raw", r), nullptr);
    EXPECT_EQ(host->notes.size(), 1u);
  }
  // A size the user typed is read as far as the file goes, no further.
  r.start = 0, r.layout = kRawGray, r.width = 2000, r.height = 2000;
  image = ReadRaw("s.raw", r);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->width, 2000);
  FreeImage(image);
}

TEST_F(RawTest, IRawBoxes) {
  ByteWriter w;
  w.Bytes("I24", 3), w.U8(0), w.U32LE(2), w.U32LE(1);
  w.Bytes("\x01\x02\x03\x04\x05\x06", 6);
  ImageRecord* image = ReadIRaw(w.Data());
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(Rgb(Pixels(image)), (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(image->fileType, 0);  // I-RAW pictures keep type 0
  FreeImage(image);
  auto header = [](std::uint32_t width, std::uint32_t height) {
    ByteWriter h;
    h.Bytes("I24", 3), h.U8(0), h.U32LE(width), h.U32LE(height), h.Zeros(30);
    return h.Data();
  };
  const std::pair<std::vector<std::uint8_t>, std::string> cases[] = {
      {{'I', '2', '4', 0, 1, 0}, "I-Raw file damaged"},
      {header(0xFFFFFFFF, 0xFFFFFFFF), "I-Raw image damaged"},
      {header(11, 1), "I-Raw image damaged"},
      {header(0, 5), "I-Raw image damaged"},
  };
  for (const auto& [file, text] : cases) {
    host->messages.clear();
    EXPECT_EQ(ReadIRaw(file), nullptr);
    ASSERT_EQ(host->messages.size(), 1u);
    EXPECT_EQ(host->messages[0].title, "Error");
    EXPECT_EQ(host->messages[0].text, text);
  }
  EXPECT_EQ(TheProgram().memory.placesInUse, 0);
}

}  // namespace
}  // namespace qv::test
