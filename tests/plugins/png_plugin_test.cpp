// The PNG loader library through the dispatcher and the save choices: every
// colour type and depth, interlacing, transparency, resolution and texts,
// and what it writes read back by the peers.
#include <algorithm>
#include <cstdlib>
#include <set>
#include <cstring>
#include <filesystem>

#include "app/program.h"
#include "formats/format_test_util.h"
#include "formats/image_files.h"
#include "formats/loader_library.h"
#include "formats/save_choices.h"
#include "formats/save_image.h"
#include "formats/still_writers.h"
#include "support/program_fixture.h"

namespace qv::test {
namespace {

class PngPluginTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    if (FindLoaderLibrary(kPngLibrary).empty()) GTEST_SKIP() << "the PNG loader library is not built";
    if (!HaveTool("convert") || !HaveTool("pngtopnm")) GTEST_SKIP() << "ImageMagick and netpbm are needed";
  }
  ImageRecord* Load(std::string path) { return LoadImageFile(nullptr, path); }
};

// netpbm's samples scaled to 8 bits by rounding, as RGBA.
std::vector<std::uint8_t> NetpbmRgba(const std::string& png, bool alpha) {
  auto pam = RunOutput("pngtopam " + std::string(alpha ? "-alphapam " : "") + png + " | pamtopam 2>/dev/null");
  int width = 0, height = 0, depth = 0, maxval = 1;
  std::sscanf(pam.c_str() + pam.find("WIDTH"), "WIDTH %d", &width);
  std::sscanf(pam.c_str() + pam.find("HEIGHT"), "HEIGHT %d", &height);
  std::sscanf(pam.c_str() + pam.find("DEPTH"), "DEPTH %d", &depth);
  std::sscanf(pam.c_str() + pam.find("MAXVAL"), "MAXVAL %d", &maxval);
  const auto* s = reinterpret_cast<const unsigned char*>(pam.data() + pam.find("ENDHDR\n") + 7);
  const int bytes = maxval > 255 ? 2 : 1;
  auto next = [&] {
    int v = bytes == 2 ? (s[0] << 8) | s[1] : s[0];
    s += bytes;
    return static_cast<std::uint8_t>((v * 255 + maxval / 2) / maxval);
  };
  std::vector<std::uint8_t> out;
  for (int i = 0; i < width * height; ++i) {
    std::uint8_t v[4] = {0, 0, 0, 255};
    if (depth <= 2) {
      v[0] = v[1] = v[2] = next();
    } else {
      for (int c = 0; c < 3; ++c) v[c] = next();
    }
    if (depth == 2 || depth == 4) v[3] = next();
    out.insert(out.end(), v, v + 4);
  }
  return out;
}

// The CRC of a PNG chunk (type and data), so that a forged header passes
// libpng's own check and reaches ours.
std::uint32_t ChunkCrc(const std::uint8_t* data, std::size_t size) {
  std::uint32_t crc = 0xFFFFFFFF;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

TEST_F(PngPluginTest, EveryColourTypeAndDepthReads) {
  ASSERT_EQ(std::system("convert -size 23x11 gradient:red-blue \\( -size 23x11 gradient:white-black \\) -alpha off "
                        "-compose copy_opacity -composite PNG32:src.png"), 0);
  // name, then ImageMagick's options and output prefix.
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"g1.png", "-alpha off -colorspace gray -depth 1"},
      {"g4.png", "-alpha off -colorspace gray -depth 4"},
      {"g8.png", "-alpha off -colorspace gray -define png:color-type=0"},
      {"g16.png", "-alpha off -colorspace gray -depth 16 -define png:color-type=0"},
      {"ga8.png", "-colorspace gray -define png:color-type=4"},
      {"ga16.png", "-colorspace gray -depth 16 -define png:color-type=4"},
      {"rgb8.png", "-alpha off PNG24:"},
      {"rgb16.png", "-alpha off -depth 16 PNG48:"},
      {"rgba16.png", "-depth 16 PNG64:"},
      {"pal.png", "-alpha off -colors 200 PNG8:"},
      {"paltrns.png", "-colors 30 PNG8:"},
      {"adam7.png", "-interlace PNG PNG32:"},
  };
  std::set<std::string> kinds;
  for (const auto& [name, options] : cases) {
    std::string prefix = options.back() == ':' ? options.substr(options.rfind(' ') + 1) : "";
    std::string rest = prefix.empty() ? options : options.substr(0, options.rfind(' '));
    ASSERT_EQ(std::system(("convert src.png " + rest + " " + prefix + name + " 2>/dev/null").c_str()), 0) << name;
    // What ImageMagick chose: bit depth and colour type from the header,
    // transparency from the chunks.
    const auto bytes = FileBytes(name);
    const int channels[] = {1, 0, 3, 1, 2, 0, 4};
    const int depth = bytes[24] * channels[bytes[25]];
    const bool alpha = bytes[25] == 4 || bytes[25] == 6 ||
                       std::search(bytes.begin(), bytes.end(), std::begin("tRNS"), std::end("tRNS") - 1) != bytes.end();
    kinds.insert(std::to_string(bytes[24]) + "/" + std::to_string(bytes[25]) + (bytes[28] ? "i" : ""));
    ImageRecord* image = Load(name);
    ASSERT_NE(image, nullptr) << name;
    EXPECT_EQ(image->fileType, kFilePng);
    EXPECT_STREQ(image->format, "PNG");
    EXPECT_EQ(image->bitDepth, depth) << name;
    EXPECT_EQ(image->hasAlpha != 0, alpha) << name;
    auto ours = Pixels(image);
    auto theirs = NetpbmRgba(name, alpha);
    if (!alpha) ours = Rgb(ours), theirs = Rgb(theirs);
    EXPECT_EQ(ours, theirs) << name;
    FreeImage(image);
  }
  // Every colour type and depth the cases were meant to cover.
  for (const char* kind : {"1/0", "4/0", "8/0", "16/0", "8/4", "16/4", "8/2", "16/2", "16/6", "8/3", "8/6i"})
    EXPECT_TRUE(kinds.count(kind)) << kind << " not covered: " << ::testing::PrintToString(kinds);

  // The fuzzer's seeds load, but for the one it found: a text chunk whose
  // length claims two gigabytes in a 457-byte file.
  for (const auto& e : std::filesystem::directory_iterator(std::filesystem::path(QV_SOURCE_DIR) / "tests/fuzz/seeds/png")) {
    ImageRecord* seed = Load(e.path().string());
    EXPECT_EQ(seed == nullptr, e.path().filename() == "huge-chunk-length.png") << e.path();
    FreeImage(seed);
  }
  ASSERT_EQ(host->MessageNumbers(), std::vector<int>{6});
  host->messages.clear();

  // A header claiming 65535 x 65535 in a few hundred bytes: message 6.
  auto small = FileBytes("g8.png");
  small[16] = small[17] = small[20] = small[21] = 0;
  small[18] = small[19] = small[22] = small[23] = 0xFF;
  const std::uint32_t crc = ChunkCrc(&small[12], 17);
  for (int k = 0; k < 4; ++k) small[29 + k] = static_cast<std::uint8_t>(crc >> (24 - 8 * k));
  WriteBytes("huge.png", small);
  EXPECT_EQ(Load("huge.png"), nullptr);
  EXPECT_EQ(host->MessageNumbers(), std::vector<int>{6});
  EXPECT_EQ(TheProgram().memory.placesInUse, 0);
}

TEST_F(PngPluginTest, WrittenFilesKeepPixelsResolutionAndTexts) {
  ImageRecord* image = TestPattern(31, 17, true);
  image->dpiXNum = 300, image->dpiYNum = 150;
  std::snprintf(image->author, sizeof image->author, "Ada");
  ASSERT_EQ(EnsureAnnotation(image, 400), 0);
  std::snprintf(image->annotation, 400, "two\nlines");
  for (int entry : {kDepthAlpha, kDepth24})
    for (int compress : {0, 1}) {
      const std::string name = "out" + std::to_string(entry) + std::to_string(compress) + ".png";
      ASSERT_EQ(SaveImageFile(image, name, kSavePng, entry, compress, 75), 0);
      ImageRecord* back = Load(name);
      ASSERT_NE(back, nullptr);
      auto want = Pixels(image);
      if (entry == kDepth24)
        for (std::size_t i = 3; i < want.size(); i += 4) want[i] = 255;
      EXPECT_EQ(Pixels(back), want) << name;
      EXPECT_EQ(back->hasAlpha, entry == kDepthAlpha ? 1 : 0);
      EXPECT_EQ(back->dpiXNum, 300);
      EXPECT_EQ(back->dpiYNum, 150);
      EXPECT_STREQ(back->author, "Ada");
      ASSERT_NE(back->annotation, nullptr);
      EXPECT_STREQ(back->annotation, "two\nlines");
      EXPECT_EQ(MagickRgba(name), want) << name;
      FreeImage(back);
    }
  const auto stored = FileBytes("out00.png").size(), packed = FileBytes("out01.png").size();
  EXPECT_GT(stored, std::size_t{31 * 17 * 4});
  EXPECT_LT(packed, stored);
  EXPECT_NE(RunOutput("identify -verbose out01.png").find("Author: Ada"), std::string::npos);

  // Save after Save As writes PNG again.
  ASSERT_EQ(InitImageTable(), 0);
  ASSERT_EQ(AddImage(image, false), 0);
  RecordSavedType(image, kSavePng);
  std::snprintf(image->path, sizeof image->path, "again.bmp");
  image->changed = 1;
  ASSERT_EQ(SaveToOwnFile(image), 0);
  EXPECT_EQ(RecognizeImage(FileBytes("again.bmp"), "again.bmp"), Recognition::Png);
}

}  // namespace
}  // namespace qv::test
